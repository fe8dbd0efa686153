#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "QVADynTransientCoefficients.h"
#include "tests/QVADyn/QVADynCore/QVADynTransientExactSolution.h"

namespace {

using qva_transient_test::ExactResponse;
using qva_transient_test::ExactState;
using qva_transient_test::GaussLegendre;
using qva_transient_test::Quad;

const double kEps = QVADynTransientEpsilon();
constexpr double kRoundoff = std::numeric_limits<double>::epsilon();

std::array<double, 15> Flatten(const QVADynStepCoefficients& step,
                               const QVADynWorkCoefficients& work) {
  return {step.A,    step.B,    step.C,    step.D,    step.E,    step.F,    step.G,   step.H,
          work.W[0], work.W[1], work.W[2], work.W[3], work.W[4], work.W[5], work.W[6]};
}

std::array<double, 15> Coefficients(double lambda, double c, double h, bool damped,
                                    QVADynModeClass* modeClass = nullptr) {
  QVADynStepCoefficients step;
  QVADynWorkCoefficients work;
  const QVADynModeClass found = QVADynComputeStepCoefficients(lambda, c, h, damped, step, &work);
  if (modeClass != nullptr) *modeClass = found;
  return Flatten(step, work);
}

const char* ClassName(QVADynModeClass modeClass) {
  switch (modeClass) {
    case QVADynModeClass::kRigid:
      return "rigid";
    case QVADynModeClass::kDampedRigid:
      return "damped_rigid";
    case QVADynModeClass::kUndamped:
      return "undamped";
    case QVADynModeClass::kUnderdamped:
      return "underdamped";
    case QVADynModeClass::kCriticallyDamped:
      return "critical";
    case QVADynModeClass::kOverdamped:
      return "overdamped";
    case QVADynModeClass::kUndecided:
      return "undecided";
  }
  return "?";
}

// ---------------------------------------------------------------------------------------------
// Classification

TEST(QVADynTransientClassification, ToleranceIsTheRootOfTheLiteral) {
  EXPECT_EQ(kEps, std::sqrt(2.22e-16));
  // Printed value with 16 digits: equal to within one unit in the last place.
  EXPECT_NEAR(kEps, 1.489966442575134e-08, 1.489966442575134e-08 * kRoundoff);
}

// The classes at and around their bounds: without damping sqrt(lambda) h
// below 100 eps is rigid and an eigenvalue below eps counts as zero whatever
// the step; with damping there is no 100 eps threshold, a damping that is not
// positive leaves a stiffness-free mode rigid, and lambda = 1, c = 2 zeta
// with |zeta - 1| < eps/2 is critical. NaN inputs are undecided (without
// raising the invalid-operation trap of the Debug tests) unless the mode has
// no stiffness and no positive damping.
TEST(QVADynTransientClassification, ClassesAtTheirBounds) {
  using Class = QVADynModeClass;
  const double threshold = 100.0 * kEps;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double lambda, c, h;
    bool damped;
    Class expected;
  } cases[] = {
      {0.0, 0.0, 1.0, false, Class::kRigid},
      {0.9 * kEps, 0.0, 1e6, false, Class::kRigid},
      {kEps, 0.0, 1e6, false, Class::kUndamped},
      {1.0, 0.0, 0.99 * threshold, false, Class::kRigid},
      {1.0, 0.0, 1.01 * threshold, false, Class::kUndamped},
      {4.0, 7.0, 0.5, false, Class::kUndamped},  // damping ignored without the flag
      {0.0, 0.5, 1.0, true, Class::kDampedRigid},
      {kEps, 0.5, 1.0, true, Class::kDampedRigid},
      {0.5 * kEps, 0.0, 1.0, true, Class::kRigid},
      {0.0, -0.5, 1.0, true, Class::kRigid},
      {2.0, 0.0, 1.0, true, Class::kUndamped},
      {2.0, -0.0, 1.0, true, Class::kUndamped},
      {2.0, 0.0, 1e-12, true, Class::kUndamped},
      {1.0, 1.0, 1.0, true, Class::kUnderdamped},
      {1.0, 2.0, 1.0, true, Class::kCriticallyDamped},
      {1.0, 2.0 * (1.0 + kEps / 4.0), 1.0, true, Class::kCriticallyDamped},
      {1.0, 2.0 * (1.0 - kEps / 4.0), 1.0, true, Class::kCriticallyDamped},
      {1.0, 2.0 * (1.0 + kEps), 1.0, true, Class::kOverdamped},
      {1.0, 2.0 * (1.0 - kEps), 1.0, true, Class::kUnderdamped},
      {1.0, 2e4, 1.0, true, Class::kOverdamped},
      {nan, 0.0, 1.0, false, Class::kUndecided},
      {nan, 1.0, 1.0, true, Class::kUndecided},
      {1.0, nan, 1.0, true, Class::kUndecided},
      {1.0, 0.0, nan, false, Class::kUndecided},
      {1.0, 1.0, nan, true, Class::kUndecided},
      {0.0, nan, 1.0, true, Class::kRigid},
  };
  for (const auto& mode : cases) {
    EXPECT_EQ(ClassName(QVADynClassifyMode(mode.lambda, mode.c, mode.h, mode.damped)),
              std::string(ClassName(mode.expected)))
        << "lambda=" << mode.lambda << " c=" << mode.c << " h=" << mode.h
        << " damped=" << mode.damped;
  }
  // An undecided mode gets all-zero coefficients.
  QVADynModeClass modeClass = Class::kRigid;
  for (const double value : Coefficients(1.0, nan, 0.5, true, &modeClass)) EXPECT_EQ(value, 0.0);
  EXPECT_EQ(modeClass, Class::kUndecided);
}

// ---------------------------------------------------------------------------------------------
// Reference values

// tests/QVADyn/QVADynCore/data/transient_coefficients.txt holds 128-bit values of all fifteen
// coefficients over the classes, step sizes (omega h from the rigid threshold to 1e3, c h from
// 1e-12 to 1e3) and damping ratios up to 1e4, made by QVADynTransientReferenceGenerator.cpp
// beside it. Each value comes with its natural size (at least |value|; at a zero crossing the
// oscillation amplitude or the value a little way off), see the generator.
TEST(QVADynTransientCoefficients, MatchReferenceValuesToTwelveDigits) {
  std::ifstream file(QVA_TRANSIENT_DATA);
  ASSERT_TRUE(file.good()) << QVA_TRANSIENT_DATA;
  const char* const names[15] = {"A",  "B",  "C",  "D",  "E",  "F",  "G", "H",
                                 "W0", "W1", "W2", "W3", "W4", "W5", "W6"};
  // At least 12 significant digits: error below 1e-12 of the natural size. Values below
  // 1e-290 are in the range where doubles lose digits to gradual underflow.
  constexpr double kTolerance = 1e-12;
  constexpr double kUnderflow = 1e-290;
  std::map<std::string, std::array<double, 15>> worst;
  std::string line;
  int lines = 0;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string expectedClass, lambdaText, cText, hText;
    int damped = 0;
    fields >> expectedClass >> damped >> lambdaText >> cText >> hText;
    const double lambda = std::strtod(lambdaText.c_str(), nullptr);
    const double c = std::strtod(cText.c_str(), nullptr);
    const double h = std::strtod(hText.c_str(), nullptr);
    QVADynModeClass modeClass = QVADynModeClass::kUndecided;
    const std::array<double, 15> computed = Coefficients(lambda, c, h, damped != 0, &modeClass);
    ASSERT_EQ(ClassName(modeClass), expectedClass) << line.substr(0, 80);
    auto& classWorst = worst[expectedClass];
    for (int i = 0; i < 15; ++i) {
      std::string valueText, scaleText;
      fields >> valueText >> scaleText;
      const long double reference = std::strtold(valueText.c_str(), nullptr);
      const double scale = std::strtod(scaleText.c_str(), nullptr);
      const double error = static_cast<double>(std::fabs(computed[i] - reference));
      EXPECT_LE(error, kTolerance * scale + kUnderflow)
          << expectedClass << " " << names[i] << " lambda=" << lambda << " c=" << c << " h=" << h
          << " computed=" << computed[i] << " reference=" << valueText;
      if (scale > kUnderflow) classWorst[i] = std::max(classWorst[i], error / scale);
    }
    ++lines;
  }
  EXPECT_GT(lines, 400);
  for (const auto& [name, classWorst] : worst) {
    std::ostringstream summary;
    summary << "worst error / natural size, " << name << ":";
    for (int i = 0; i < 15; ++i) summary << " " << names[i] << "=" << classWorst[i];
    RecordProperty(name, summary.str());
  }
}

// ---------------------------------------------------------------------------------------------
// Exact response over many uneven steps

struct ModeCase {
  const char* name;
  double lambda, c;
  bool damped;
  QVADynModeClass expected;
  double typicalStep;
};

// Classes whose coefficients are those of the equation itself (the critically damped case with
// lambda = (c/2)^2 exactly, the rigid cases with lambda = 0).
const ModeCase kModeCases[] = {
    {"rigid", 0.0, 0.0, false, QVADynModeClass::kRigid, 0.3},
    {"damped_rigid", 0.0, 1.7, true, QVADynModeClass::kDampedRigid, 0.4},
    {"undamped", 9.0, 0.0, false, QVADynModeClass::kUndamped, 0.45},
    {"underdamped", 9.0, 0.6, true, QVADynModeClass::kUnderdamped, 0.35},
    {"underdamped_near_critical", 9.0, 6.0 * (1.0 - 1e-6), true, QVADynModeClass::kUnderdamped,
     0.2},
    {"critical", 9.0, 6.0, true, QVADynModeClass::kCriticallyDamped, 0.3},
    {"overdamped", 9.0, 9.0, true, QVADynModeClass::kOverdamped, 0.3},
    {"overdamped_strongly", 4.0, 600.0, true, QVADynModeClass::kOverdamped, 0.05},
    {"negative_damping", 9.0, -0.05, true, QVADynModeClass::kUnderdamped, 0.3},
};

// Deterministic irregular sequence in [0, 1).
double Irregular(int i) {
  const double x = std::sin(12.9898 * i + 78.233) * 43758.5453;
  return x - std::floor(x);
}

class QVADynTransientTrajectory : public ::testing::TestWithParam<ModeCase> {};

TEST_P(QVADynTransientTrajectory, FollowsTheExactSolutionOverUnevenSteps) {
  const ModeCase& mode = GetParam();
  constexpr int kSteps = 300;
  double u = 0.7, v = -1.3;
  Quad exactU = u, exactV = v;
  double force = 0.4;
  double largestU = std::fabs(u), largestV = std::fabs(v);
  double worstU = 0.0, worstV = 0.0;
  for (int n = 0; n < kSteps; ++n) {
    // Step sizes vary by a factor of 4 and the load jumps; every step gets fresh coefficients.
    const double h = mode.typicalStep * (0.4 + 1.2 * Irregular(n));
    const double nextForce = std::sin(0.37 * n) + 2.0 * (Irregular(n + 1000) - 0.5);
    QVADynStepCoefficients step;
    ASSERT_EQ(QVADynComputeStepCoefficients(mode.lambda, mode.c, h, mode.damped, step, nullptr),
              mode.expected);
    const double nextU = step.A * u + step.B * v + step.C * force + step.D * nextForce;
    const double nextV = step.E * u + step.F * v + step.G * force + step.H * nextForce;
    const Quad slope = (static_cast<Quad>(nextForce) - force) / h;
    const ExactState exact =
        ExactResponse(mode.lambda, mode.damped ? mode.c : 0.0, exactU, exactV, force, slope, h);
    u = nextU;
    v = nextV;
    exactU = exact.u;
    exactV = exact.v;
    force = nextForce;
    largestU = std::max(largestU, std::fabs(u));
    largestV = std::max(largestV, std::fabs(v));
    worstU = std::max(worstU, static_cast<double>(qva_transient_test::QuadAbs(u - exactU)));
    worstV = std::max(worstV, static_cast<double>(qva_transient_test::QuadAbs(v - exactV)));
  }
  // Each step adds the coefficients' error (below 1e-13 of the state) to an error that the
  // (at most neutrally stable) recurrence carries on: 300 steps stay well below 1e-10 of the
  // largest state reached.
  constexpr double kTolerance = 1e-10;
  EXPECT_LE(worstU, kTolerance * largestU) << mode.name;
  EXPECT_LE(worstV, kTolerance * largestV) << mode.name;
}

INSTANTIATE_TEST_SUITE_P(AllClasses, QVADynTransientTrajectory, ::testing::ValuesIn(kModeCases),
                         [](const ::testing::TestParamInfo<ModeCase>& paramInfo) {
                           return std::string(paramInfo.param.name);
                         });

// ---------------------------------------------------------------------------------------------
// External work

// Work of the load over one step by the work coefficients.
double StepWork(const QVADynWorkCoefficients& work, double u, double v, double f0, double f1,
                double h, double* termSize) {
  const double g = (f1 - f0) / h;
  const double* w = work.W;
  *termSize = std::fabs(f0) * (std::fabs(w[0] * u) + std::fabs(w[1] * v) + std::fabs(w[2] * g) +
                               std::fabs(w[3] * f0)) +
              std::fabs(g) * (std::fabs(w[4] * u) + std::fabs(w[5] * v) + std::fabs(w[6] * g));
  return f0 * (w[0] * u + w[1] * v + w[2] * g + w[3] * f0) + g * (w[4] * u + w[5] * v + w[6] * g);
}

// Integral of f v over the step by composite 20-point Gauss-Legendre quadrature on the exact
// velocity. Panels halve towards t = 0 until they resolve the fastest decay exp(-|c| t), and
// each panel is cut so that it spans at most one radian of the oscillation.
Quad QuadratureWork(const ModeCase& mode, double h, double u, double v, double f0, double f1) {
  constexpr int kNodes = 20;
  Quad nodes[kNodes], weights[kNodes];
  GaussLegendre(kNodes, nodes, weights);
  const double damping = mode.damped ? mode.c : 0.0;
  const double omega = std::sqrt(mode.lambda);
  std::vector<double> edges = {h};
  while (edges.back() * std::fabs(damping) > 1.0) edges.push_back(edges.back() / 2.0);
  edges.push_back(0.0);
  std::reverse(edges.begin(), edges.end());
  const Quad slope = (static_cast<Quad>(f1) - f0) / h;
  Quad total = 0;
  for (std::size_t panel = 0; panel + 1 < edges.size(); ++panel) {
    const double length = edges[panel + 1] - edges[panel];
    const int pieces = std::max(1, static_cast<int>(std::ceil(length * omega)));
    const Quad width = static_cast<Quad>(length) / pieces;
    for (int piece = 0; piece < pieces; ++piece) {
      for (int i = 0; i < kNodes; ++i) {
        const Quad t = edges[panel] + width * (piece + (nodes[i] + 1) / 2);
        const ExactState state = ExactResponse(mode.lambda, damping, u, v, f0, slope, t);
        total += weights[i] / 2 * width * (f0 + slope * t) * state.v;
      }
    }
  }
  return total;
}

TEST(QVADynTransientWork, MatchesQuadratureOfLoadTimesVelocity) {
  // Step sizes from a small to a large fraction of each mode's time scale.
  const double steps[] = {1e-3, 0.07, 0.6, 2.5};
  for (const ModeCase& mode : kModeCases) {
    for (int s = 0; s < 4; ++s) {
      const double h = steps[s] * (1.0 + 0.1 * Irregular(s));
      QVADynStepCoefficients step;
      QVADynWorkCoefficients work;
      QVADynComputeStepCoefficients(mode.lambda, mode.c, h, mode.damped, step, &work);
      const double u = 0.8 - Irregular(3 * s), v = Irregular(3 * s + 1) - 0.3;
      const double f0 = 1.1 - Irregular(3 * s + 2), f1 = f0 + 2.0 * Irregular(7 * s) - 0.5;
      double termSize = 0.0;
      const double work0 = StepWork(work, u, v, f0, f1, h, &termSize);
      const double reference = static_cast<double>(QuadratureWork(mode, h, u, v, f0, f1));
      // Each coefficient is good to 1e-13 of its size: the error of the sum is bounded by that
      // share of the sum of the magnitudes of its terms.
      EXPECT_LE(std::fabs(work0 - reference), 1e-12 * termSize)
          << mode.name << " h=" << h << " work=" << work0 << " quadrature=" << reference;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Edge cases

TEST(QVADynTransientCoefficients, RigidModesUseThePolynomialMotion) {
  const double h = 0.75;
  const std::array<double, 15> rigid = {1.0,
                                        h,
                                        h * h / 3.0,
                                        h * h / 6.0,
                                        0.0,
                                        1.0,
                                        h / 2.0,
                                        h / 2.0,
                                        0.0,
                                        h,
                                        h * h * h / 2.0,
                                        h * h / 2.0,
                                        0.0,
                                        h * h / 2.0,
                                        h * h * h * h / 8.0};
  // Eigenvalue below eps without damping, below the 100 eps threshold, or damped without
  // positive damping: all are rigid and ignore lambda and c.
  EXPECT_EQ(Coefficients(0.5 * kEps, 0.0, h, false), rigid);
  EXPECT_EQ(Coefficients(0.9 * kEps, -3.0, h, true), rigid);
  const double tiny = 0.75e-6;  // sqrt(lambda) h = 7.5e-7 < 100 eps = 1.49e-6
  const std::array<double, 15> tinyRigid = {1.0,
                                            tiny,
                                            tiny * tiny / 3.0,
                                            tiny * tiny / 6.0,
                                            0.0,
                                            1.0,
                                            tiny / 2.0,
                                            tiny / 2.0,
                                            0.0,
                                            tiny,
                                            tiny * tiny * tiny / 2.0,
                                            tiny * tiny / 2.0,
                                            0.0,
                                            tiny * tiny / 2.0,
                                            (tiny * tiny) * (tiny * tiny) / 8.0};
  EXPECT_EQ(Coefficients(1.0, 0.0, tiny, false), tinyRigid);
}

TEST(QVADynTransientCoefficients, DampedRigidModesDecayWithExpOfMinusCH) {
  for (const double q : {1e-12, 1e-3, 0.9, 1.1, 40.0, 800.0}) {
    const double c = 2.5, h = q / c;
    QVADynModeClass modeClass = QVADynModeClass::kUndecided;
    const std::array<double, 15> values = Coefficients(0.5 * kEps, c, h, true, &modeClass);
    EXPECT_EQ(modeClass, QVADynModeClass::kDampedRigid);
    EXPECT_EQ(values[0], 1.0);   // A: no stiffness, a displacement stays
    EXPECT_EQ(values[4], 0.0);   // E
    EXPECT_EQ(values[8], 0.0);   // W0
    EXPECT_EQ(values[12], 0.0);  // W4
    // F = exp(-c h): the series or the per-root form, a few roundings away.
    EXPECT_NEAR(values[5], std::exp(-q), 4.0 * kRoundoff * std::exp(-q)) << "q=" << q;
  }
}

// A zero step leaves every state unchanged and does no work, in every class.
TEST(QVADynTransientCoefficients, ZeroStepIsTheIdentity) {
  const double cases[][3] = {{0.0, 0.0, 0}, {0.0, 1.0, 1}, {4.0, 0.0, 0},
                             {4.0, 1.0, 1}, {4.0, 4.0, 1}, {4.0, 9.0, 1}};
  for (const auto& mode : cases) {
    const std::array<double, 15> values = Coefficients(mode[0], mode[1], 0.0, mode[2] != 0.0);
    for (int i = 0; i < 15; ++i) {
      const double identity = (i == 0 || i == 5) ? 1.0 : 0.0;
      EXPECT_EQ(values[i], identity) << "lambda=" << mode[0] << " c=" << mode[1] << " i=" << i;
    }
  }
}

// Damping ratios within eps of 1 take the critically damped forms: finite, and the same as at
// exactly 1 up to the change of the damping itself.
TEST(QVADynTransientCoefficients, CriticalBandHasNoDivisionByZero) {
  // Steps away from the zero crossings of F (alpha h = 1) and G (alpha h ~ 1.79).
  for (const double h : {1e-9, 1e-3, 0.5, 2.5, 3.0}) {
    const std::array<double, 15> exact = Coefficients(1.0, 2.0, h, true);
    for (const double shift : {-0.45, -0.1, 0.1, 0.45}) {
      QVADynModeClass modeClass = QVADynModeClass::kUndecided;
      const double c = 2.0 * (1.0 + shift * kEps);
      const std::array<double, 15> values = Coefficients(1.0, c, h, true, &modeClass);
      EXPECT_EQ(modeClass, QVADynModeClass::kCriticallyDamped);
      for (int i = 0; i < 15; ++i) {
        ASSERT_TRUE(std::isfinite(values[i]));
        // c moves by under eps/2 ~ 7e-9 relative; with alpha h <= 3 the coefficients move by
        // less than ~10 times that.
        EXPECT_NEAR(values[i], exact[i], 1e-7 * std::fabs(exact[i]) + 1e-300)
            << "h=" << h << " shift=" << shift << " i=" << i;
      }
    }
  }
}

// From zeta = 100 on the slow root comes from its series; the coefficients are continuous
// across the switch to round-off, and stay accurate at zeta = 1e4 (MatchReferenceValues...).
TEST(QVADynTransientCoefficients, LargeDampingRatiosAreContinuousAtTheSeriesSwitch) {
  for (const double omegaH : {1e-4, 0.02, 3.0, 400.0}) {
    const std::array<double, 15> below = Coefficients(1.0, 2.0 * 99.99999999, omegaH, true);
    const std::array<double, 15> at = Coefficients(1.0, 2.0 * 100.0, omegaH, true);
    for (int i = 0; i < 15; ++i) {
      // A relative change of 1e-10 in zeta moves no coefficient by more than ~1e-9 relative
      // (they depend on zeta at most like its square times a bounded factor).
      EXPECT_NEAR(below[i], at[i], 1e-9 * std::fabs(at[i]) + 1e-300)
          << "Omega=" << omegaH << " i=" << i;
    }
  }
}

// The table builder lays out the per-mode coefficients as the solver reads them.
TEST(QVADynTransientCoefficients, TableHoldsEightArraysAndSevenWorkValuesPerMode) {
  const double lambda[] = {0.0, 4.0, 4.0, 4.0, 4.0, std::numeric_limits<double>::quiet_NaN()};
  const double damping[] = {1.0, 0.0, 1.0, 4.0, 9.0, 1.0};
  constexpr int kModes = 6;
  const double h = 0.37;
  std::vector<double> table(8 * kModes, -1.0), work(7 * kModes, -1.0);
  QVADynBuildCoefficientTable(kModes, lambda, damping, h, true, table.data(), work.data());
  for (int k = 0; k < kModes; ++k) {
    QVADynStepCoefficients step;
    QVADynWorkCoefficients modeWork;
    QVADynComputeStepCoefficients(lambda[k], damping[k], h, true, step, &modeWork);
    const double values[8] = {step.A, step.B, step.C, step.D, step.E, step.F, step.G, step.H};
    for (int row = 0; row < 8; ++row) EXPECT_EQ(table[row * kModes + k], values[row]);
    for (int entry = 0; entry < 7; ++entry) EXPECT_EQ(work[7 * k + entry], modeWork.W[entry]);
  }
  // Without damping and without a work table: the damping array is not read.
  QVADynBuildCoefficientTable(kModes, lambda, nullptr, h, false, table.data(), nullptr);
  EXPECT_EQ(table[0], 1.0);  // mode 0 rigid: A = 1
  // Mode 1 undamped: B = sin(omega h) / omega, to a few roundings.
  EXPECT_NEAR(table[kModes + 1], std::sin(2.0 * h) / 2.0, 4.0 * kRoundoff);
}

}  // namespace
