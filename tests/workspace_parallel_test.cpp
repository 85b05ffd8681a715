#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "workspace/parallel.h"

namespace morvane {
namespace {

constexpr int kFirst = 3;
constexpr int kLast = 60;

// Row `stop` returns false, row `raise` and every third after it throw.
using Recorrido = std::pair<std::vector<std::string>, std::string>;
Recorrido Recorrer(int threads, int stop, int raise, int doneRaise) {
  std::vector<int> value(kLast, -1);
  std::vector<std::atomic<int>> worked(kLast);
  Recorrido run;
  try {
    RecorrerFilasEnOrden(
        kFirst, kLast, threads,
        [&](int r) {
          ++worked[r];
          if (r % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
          if (r == raise || (raise >= 0 && r > raise && (r - raise) % 3 == 0))
            throw std::runtime_error("row " + std::to_string(r));
          value[r] = r * 10;
          return r != stop;
        },
        [&](int r) {
          if (r == doneRaise) throw std::logic_error("done " + std::to_string(r));
          run.first.push_back(std::to_string(r) + ":" + std::to_string(value[r]));
        });
    run.second = "end";
  } catch (const std::exception& e) {
    run.second = e.what();
  }
  for (int r = 0; r < kLast; ++r) EXPECT_LE(worked[r].load(), 1) << r;
  return run;
}

TEST(OrderedRows, HandedOverInScanOrderAsOneThreadWould) {
  const struct {
    int stop, raise, doneRaise, handedUpTo;
    const char* left;
  } cases[] = {{-1, -1, -1, kLast, "end"},
               {20, -1, -1, 21, "end"},
               {-1, 30, -1, 30, "row 30"},
               {25, 30, -1, 26, "end"},
               {-1, -1, 40, 40, "done 40"}};
  for (int threads : {0, 1, 2, 3, 4, 8, 100})
    for (const auto& c : cases) {
      Recorrido want{{}, c.left};
      for (int r = kFirst; r < c.handedUpTo; ++r)
        want.first.push_back(std::to_string(r) + ":" + std::to_string(r * 10));
      EXPECT_EQ(Recorrer(threads, c.stop, c.raise, c.doneRaise), want) << threads;
    }
  bool called = false;
  RecorrerFilasEnOrden(
      5, 5, 2, [&](int) { return called = true; }, [&](int) { called = true; });
  EXPECT_FALSE(called);
}

TEST(Bands, CoverEveryRowOnceInNearlyEqualRuns) {
  for (auto [first, last, bandas] : {std::array{4, 4, 3}, {0, 1, 5}, {3, 613, 8}, {0, 100, 3}}) {
    std::vector<std::atomic<int>> seen(static_cast<std::size_t>(last + 1));
    std::vector<std::pair<int, int>> runs(static_cast<std::size_t>(bandas), {-1, -1});
    RecorrerBandas(first, last, bandas, [&](int row0, int row1, int b) {
      runs[static_cast<std::size_t>(b)] = {row0, row1};
      for (int r = row0; r < row1; ++r) ++seen[static_cast<std::size_t>(r)];
    });
    for (int r = 0; r <= last; ++r) EXPECT_EQ(seen[r], r >= first && r < last ? 1 : 0) << r;
    for (const auto& [row0, row1] : runs)  // unset: fewer rows than bands
      EXPECT_TRUE(row0 < 0 || (row1 - row0 <= (last - first + bandas - 1) / bandas &&
                               row1 - row0 >= (last - first) / bandas));
  }
  const int before = FijarHilosPorOperacion(3);
  EXPECT_TRUE(HilosPorOperacion() == 3 && HilosFijados());
  EXPECT_EQ(FijarHilosPorOperacion(before), 3);
  EXPECT_GE(HilosPorOperacion(), 1);
}

}  // namespace
}  // namespace morvane
