// The shared numerical vocabulary: the constants against their definitions,
// the debug check of QVAIndex, and QVAGemm's empty inner dimension, which it
// handles itself instead of calling BLAS.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "internal/QVABlas.h"
#include "internal/QVANumerics.h"

namespace {

TEST(QVANumericsTest, ConstantsMatchTheirDefinitions) {
  // Exact: each is the double nearest its definition.
  EXPECT_EQ(kQVATwoPi, 2.0 * std::numbers::pi);
  EXPECT_EQ(kQVASqrtMachineEpsilon, std::sqrt(kQVAMachineEpsilon));
  EXPECT_LT(kQVAMachineEpsilon, std::numeric_limits<double>::epsilon());
  // (2, 1) of a matrix with leading dimension 4.
  EXPECT_EQ(QVAColumnMajor(2, 1, 4), 6u);
}

TEST(QVANumericsTest, GemmWithEmptyInnerDimensionScalesC) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> c = {nan, nan, 1.0, 2.0, 3.0, 4.0};  // 2 x 3, leading dimension 2
  // beta 0 sets c to 0 without reading it; a and b are not read.
  QVAGemm('N', 'N', 2, 1, 0, 1.0, nullptr, 2, nullptr, 0, 0.0, c.data(), 2);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], 0.0);
  // beta 2 doubles the two columns 2 ... 3 (exact: a product by 2).
  QVAGemm('T', 'N', 2, 2, 0, 1.0, nullptr, 0, nullptr, 0, 2.0, c.data() + 2, 2);
  EXPECT_EQ(c, (std::vector<double>{0.0, 0.0, 2.0, 4.0, 6.0, 8.0}));
}

#ifndef NDEBUG
TEST(QVANumericsDeathTest, IndexRefusesNegativeValues) {
  const int position = -3;
  EXPECT_DEATH(static_cast<void>(QVAIndex(position)), "value >= 0.*\n.*\n  with value = -3");
}
#endif

}  // namespace
