#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include <malloc.h>

#include "workspace/plane.h"

namespace morvane {
namespace {

TEST(Plane, StartsAtZeroKeepsRowsApartAndCopies) {
  // Freed memory comes back dirty (0xA5), so a plane not cleared shows it.
  mallopt(M_PERTURB, 0x5A);
  for (auto [rows, cols] : {std::pair{3, 5}, std::pair{1200, 3333}, std::pair{2, 4000000}}) {
    for (int k = 0; k < 3; ++k) {
      Plane dirty(rows, cols);
      for (int r = 0; r < rows; ++r) std::fill_n(dirty[r], cols, std::uint8_t{0xA5});
    }
    Plane a(rows, cols), b(rows, cols);
    ASSERT_TRUE(a.exists());
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)  // 0 until written
        ASSERT_EQ(std::exchange(a[r][c], static_cast<std::uint8_t>(r * 31 + c)), 0)
            << r << "," << c;
    CopiarPlano(a, b);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        ASSERT_EQ(b[r][c], static_cast<std::uint8_t>(r * 31 + c)) << r << "," << c;
    LiberarPlano(a);
    EXPECT_TRUE(!a.exists() && a.rows() == 0);
  }
}

}  // namespace
}  // namespace morvane
