#include "workspace/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace morvane {

namespace {

std::atomic<int> gHilosPorOperacion{0};

// What the in-order step needs to know of a worked row.
struct RowState {
  std::atomic<bool> ready{false};
  bool goesOn = true;
  std::exception_ptr error;
};

}  // namespace

int FijarHilosPorOperacion(int n) {
  return gHilosPorOperacion.exchange(n < 0 ? 0 : n, std::memory_order_relaxed);
}

int HilosPorOperacion() {
  const int n = gHilosPorOperacion.load(std::memory_order_relaxed);
  if (n > 0) return n;
  const int procesadores = static_cast<int>(std::thread::hardware_concurrency());
  return procesadores > 0 ? procesadores : 1;
}

bool HilosFijados() {
  return gHilosPorOperacion.load(std::memory_order_relaxed) > 0;
}

void RecorrerBandas(int first, int last, int bandas,
                    const std::function<void(int row0, int row1, int b)>& band) {
  if (first >= last) return;
  bandas = std::clamp(bandas, 1, last - first);
  const long long rows = last - first;
  auto row = [&](int b) { return first + static_cast<int>(rows * b / bandas); };
  std::vector<std::jthread> workers;
  workers.reserve(static_cast<std::size_t>(bandas));
  int next = 1;
  try {
    for (; next < bandas; ++next) {
      const int b = next;
      workers.emplace_back([&band, b, r0 = row(b), r1 = row(b + 1)] { band(r0, r1, b); });
    }
  } catch (const std::system_error&) {
    // No more threads to be had: the bands left run here.
  }
  band(row(0), row(1), 0);
  for (int b = next; b < bandas; ++b) band(row(b), row(b + 1), b);
}  // the workers join here

void RecorrerFilasEnOrden(int first, int last, int threads, const RowWork& work,
                          const RowDone& done) {
  if (first >= last) return;
  if (threads <= 0) threads = HilosPorOperacion();
  threads = std::clamp(threads, 1, last - first);
  if (threads == 1) {
    for (int r = first; r < last; ++r) {
      const bool goesOn = work(r);
      done(r);
      if (!goesOn) return;
    }
    return;
  }

  const auto rows = std::make_unique<RowState[]>(static_cast<std::size_t>(last - first));
  auto row = [&](int r) -> RowState& { return rows[static_cast<std::size_t>(r - first)]; };
  std::atomic<int> next{first};
  std::atomic<int> end{last};  // rows at or after it need no work
  // Takes the next row, works it out unless the run has already ended before
  // it, and marks it ready. Returns false when no row is left.
  auto takeRow = [&](const std::stop_token& stop) {
    const int r = next++;
    if (r >= last) return false;
    RowState& state = row(r);
    if (!stop.stop_requested() && r < end.load()) {
      try {
        state.goesOn = work(r);
      } catch (...) {
        state.error = std::current_exception();
        state.goesOn = false;
      }
      if (!state.goesOn) {
        int seen = end.load();
        while (r + 1 < seen && !end.compare_exchange_weak(seen, r + 1)) {
        }
      }
    }
    state.ready.store(true, std::memory_order_release);
    state.ready.notify_one();
    return true;
  };

  std::vector<std::jthread> workers;
  workers.reserve(static_cast<std::size_t>(threads));
  try {
    for (int t = 0; t < threads; ++t)
      workers.emplace_back([&](std::stop_token stop) {
        while (takeRow(stop)) {
        }
      });
  } catch (const std::system_error&) {
    // No more threads to be had: the calling thread takes rows too.
  }
  const bool callerWorks = static_cast<int>(workers.size()) < threads;
  const std::stop_token noStop;
  for (int r = first; r < last; ++r) {
    RowState& state = row(r);
    while (callerWorks && !state.ready.load(std::memory_order_acquire) && takeRow(noStop)) {
    }
    state.ready.wait(false, std::memory_order_acquire);
    // An exception here leaves with the workers told to stop and joined.
    if (state.error) std::rethrow_exception(state.error);
    done(r);
    if (!state.goesOn) return;
  }
}  // the workers join here

}  // namespace morvane
