// The uncoupled step kernel, with and without damping, against the 128-bit exact state of each
// mode after one step under a linear load.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "QVADynTransientCoefficients.h"
#include "QVADynTransientStepKernel.h"
#include "tests/QVADyn/QVADynCore/QVADynTransientExactSolution.h"

namespace {

using qva_transient_test::ExactResponse;
using qva_transient_test::ExactState;

double Irregular(int i) {
  const double x = std::sin(12.9898 * i + 78.233) * 43758.5453;
  return x - std::floor(x) - 0.5;
}

// 37 modes (not a multiple of any vector width) and 3 load cases, one step of 0.3.
constexpr int kModes = 37;
constexpr int kCases = 3;
constexpr double kStep = 0.3;

// Coefficients of 12 significant digits; each result is a sum of four terms of the size of the
// state and the loads, which stay within 1 here.
constexpr double kTolerance = 1e-11;

TEST(QVADynTransientStepKernel, OneStepIsTheExactMotionWithAndWithoutDamping) {
  std::vector<double> lambda(kModes), damping(kModes);
  std::vector<double> u0(kModes * kCases), v0(u0), f0(u0), f1(u0);
  int seed = 0;
  for (int k = 0; k < kModes; ++k) {
    lambda[k] = k == 0 ? 0.0 : 20.0 * (Irregular(++seed) + 0.5);
    damping[k] = 3.0 * (Irregular(++seed) + 0.5);
  }
  for (auto* values : {&u0, &v0, &f0, &f1}) {
    for (double& value : *values) value = Irregular(++seed);
  }
  for (const bool damped : {true, false}) {
    SCOPED_TRACE(damped ? "damped" : "undamped");
    std::vector<double> table(8 * kModes);
    QVADynBuildCoefficientTable(kModes, lambda.data(), damping.data(), kStep, damped, table.data(),
                                nullptr);
    std::vector<double> u1(u0.size()), v1(u0.size()), a1(u0.size());
    QVADynAdvanceUncoupledModes(kModes, kCases, table.data(), lambda.data(),
                                damped ? damping.data() : nullptr, u0.data(), v0.data(), f0.data(),
                                f1.data(), u1.data(), v1.data(), a1.data());
    for (int j = 0; j < kCases; ++j) {
      for (int k = 0; k < kModes; ++k) {
        const int i = j * kModes + k;
        const double c = damped ? damping[k] : 0.0;
        const ExactState exact =
            ExactResponse(lambda[k], c, u0[i], v0[i], f0[i], (f1[i] - f0[i]) / kStep, kStep);
        const double u = static_cast<double>(exact.u);
        const double v = static_cast<double>(exact.v);
        EXPECT_NEAR(u1[i], u, kTolerance) << "case " << j << " mode " << k;
        EXPECT_NEAR(v1[i], v, kTolerance) << "case " << j << " mode " << k;
        EXPECT_NEAR(a1[i], f1[i] - c * v - lambda[k] * u, 20.0 * kTolerance)
            << "case " << j << " mode " << k;
      }
    }
  }
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
