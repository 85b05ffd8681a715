#include "restoration/ordered_rows.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace morvane {

namespace {

// What the hand-over needs to know of a worked row.
struct RowState {
  std::atomic<bool> ready{false};
  bool goesOn = true;
  std::exception_ptr error;
};

}  // namespace

void RecorrerFilasEnOrden(int first, int last, int threads, const RowWork& work,
                          const RowDone& done) {
  if (first >= last) return;
  if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
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
