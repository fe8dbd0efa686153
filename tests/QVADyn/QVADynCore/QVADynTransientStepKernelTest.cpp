#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "QVADynTransientStepKernel.h"
#include "tests/support/QVATestTolerances.h"

namespace {

double Irregular(int i) {
  const double x = std::sin(12.9898 * i + 78.233) * 43758.5453;
  return x - std::floor(x) - 0.5;
}

// 37 modes (not a multiple of any vector width) and 3 load cases.
constexpr int kModes = 37;
constexpr int kCases = 3;

struct Blocks {
  std::vector<double> table, lambda, damping, u0, v0, f0, f1, u1, v1, a1;
  Blocks()
      : table(8 * kModes),
        lambda(kModes),
        damping(kModes),
        u0(kModes * kCases),
        v0(kModes * kCases),
        f0(kModes * kCases),
        f1(kModes * kCases),
        u1(kModes * kCases),
        v1(kModes * kCases),
        a1(kModes * kCases) {
    int seed = 0;
    for (double& value : table) value = Irregular(++seed);
    for (int k = 0; k < kModes; ++k) {
      lambda[k] = 10.0 * (Irregular(++seed) + 0.5);
      damping[k] = Irregular(++seed) + 0.5;
    }
    for (auto* values : {&u0, &v0, &f0, &f1}) {
      for (double& value : *values) value = Irregular(++seed);
    }
  }
};

// The kernel against a plain loop over cases and modes. The same products and sums in the same
// order give the same doubles; a compiler that fuses multiply-adds may move each result by a
// few roundings of the sum of the magnitudes of its terms.
void ExpectPlainLoopResult(const Blocks& blocks, bool damped) {
  const double* t = blocks.table.data();
  for (int j = 0; j < kCases; ++j) {
    for (int k = 0; k < kModes; ++k) {
      const int i = j * kModes + k;
      const double terms[8] = {t[k] * blocks.u0[i],
                               t[kModes + k] * blocks.v0[i],
                               t[2 * kModes + k] * blocks.f0[i],
                               t[3 * kModes + k] * blocks.f1[i],
                               t[4 * kModes + k] * blocks.u0[i],
                               t[5 * kModes + k] * blocks.v0[i],
                               t[6 * kModes + k] * blocks.f0[i],
                               t[7 * kModes + k] * blocks.f1[i]};
      const double u = terms[0] + terms[1] + terms[2] + terms[3];
      const double v = terms[4] + terms[5] + terms[6] + terms[7];
      const double c = damped ? blocks.damping[k] : 0.0;
      const double a = blocks.f1[i] - c * v - blocks.lambda[k] * u;
      const double uSize =
          std::fabs(terms[0]) + std::fabs(terms[1]) + std::fabs(terms[2]) + std::fabs(terms[3]);
      const double vSize =
          std::fabs(terms[4]) + std::fabs(terms[5]) + std::fabs(terms[6]) + std::fabs(terms[7]);
      const double aSize =
          std::fabs(blocks.f1[i]) + std::fabs(c) * vSize + std::fabs(blocks.lambda[k]) * uSize;
      EXPECT_NEAR(blocks.u1[i], u, 4.0 * kQVAEps * uSize) << "case " << j << " mode " << k;
      EXPECT_NEAR(blocks.v1[i], v, 4.0 * kQVAEps * vSize) << "case " << j << " mode " << k;
      EXPECT_NEAR(blocks.a1[i], a, 8.0 * kQVAEps * aSize) << "case " << j << " mode " << k;
    }
  }
}

TEST(QVADynTransientStepKernel, DiagonalDampingMatchesPlainLoop) {
  Blocks blocks;
  QVADynAdvanceUncoupledModes(kModes, kCases, blocks.table.data(), blocks.lambda.data(),
                              blocks.damping.data(), blocks.u0.data(), blocks.v0.data(),
                              blocks.f0.data(), blocks.f1.data(), blocks.u1.data(),
                              blocks.v1.data(), blocks.a1.data());
  ExpectPlainLoopResult(blocks, true);
}

// Empty blocks touch nothing.
TEST(QVADynTransientStepKernel, EmptyBlocksAreNoOps) {
  double value = 3.0;
  QVADynAdvanceUncoupledModes(0, 5, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &value, &value, &value);
  QVADynAdvanceUncoupledModes(5, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &value, &value, &value);
  EXPECT_EQ(value, 3.0);
}

}  // namespace
