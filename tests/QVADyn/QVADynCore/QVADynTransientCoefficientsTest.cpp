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
#include "tests/support/QVATestTolerances.h"

namespace {

using qva_transient_test::ExactResponse;
using qva_transient_test::ExactState;
using qva_transient_test::GaussLegendre;
using qva_transient_test::Quad;

const double kEps = QVADynTransientEpsilon();

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

// Classification

TEST(QVADynTransientClassification, ToleranceIsTheRootOfTheLiteral) {
  EXPECT_EQ(kEps, std::sqrt(2.22e-16));
  // Printed value with 16 digits: equal to within one unit in the last place.
  EXPECT_NEAR(kEps, 1.489966442575134e-08, 1.489966442575134e-08 * kQVAEps);
}

// The classes at and around their bounds (lambda below eps rigid, however small omega h of an
// undamped mode; |zeta - 1| < eps/2 critical);
// NaN inputs are undecided without raising the invalid-operation trap.
TEST(QVADynTransientClassification, ClassesAtTheirBounds) {
  using Class = QVADynModeClass;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double lambda, c, h;
    bool damped;
    Class expected;
  } cases[] = {
      {0.0, 0.0, 1.0, false, Class::kRigid},
      {0.9 * kEps, 0.0, 1e6, false, Class::kRigid},
      {kEps, 0.0, 1e6, false, Class::kUndamped},
      {1.0, 0.0, 1e-8, false, Class::kUndamped},
      {1.0, 0.0, 0.0, false, Class::kUndamped},
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

// Reference values

// data/transient_coefficients.txt: 128-bit values of all fifteen coefficients over every class,
// step size and damping ratio up to 1e4, each with its natural size (QVADynTransientReferenceGenerator.cpp).
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

// Mode cases

struct ModeCase {
  const char* name;
  double lambda, c;
  bool damped;
};

// Classes whose coefficients are those of the equation itself (the critically damped case with
// lambda = (c/2)^2 exactly, the rigid cases with lambda = 0).
const ModeCase kModeCases[] = {
    {"rigid", 0.0, 0.0, false},
    {"damped_rigid", 0.0, 1.7, true},
    {"undamped", 9.0, 0.0, false},
    {"underdamped", 9.0, 0.6, true},
    {"underdamped_near_critical", 9.0, 6.0 * (1.0 - 1e-6), true},
    {"critical", 9.0, 6.0, true},
    {"overdamped", 9.0, 9.0, true},
    {"overdamped_strongly", 4.0, 600.0, true},
    {"negative_damping", 9.0, -0.05, true},
};

// Deterministic irregular sequence in [0, 1).
double Irregular(int i) {
  const double x = std::sin(12.9898 * i + 78.233) * 43758.5453;
  return x - std::floor(x);
}

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

// Edge cases

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

}  // namespace
