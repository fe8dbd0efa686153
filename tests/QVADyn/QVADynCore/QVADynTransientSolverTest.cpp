// The transient solver against 128-bit exact solutions per mode class, coupled damping against
// the matrix exponential of the full modal system, and the work against the energy balance.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynEnergy.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADynEventTestSupport.h"
#include "QVADynTransientCoefficients.h"
#include "QVADynTransientTestModel.h"
#include "internal/QVANumerics.h"
#include "tests/QVADyn/QVADynCore/QVADynTransientExactSolution.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

using qva_transient_test::ExactResponse;
using qva_transient_test::ExactState;
using qva_transient_test::Exponential;
using qva_transient_test::Quad;
using qva_transient_test::QuadMatrix;

constexpr int kAllEnergies = 63;

// The arrays of one solve, copied out of the solution.
struct Histories {
  std::vector<double> u, v, a;
};

Histories Solve(QVADynTransientSolver& solver, const QVADynModalOperators& ops,
                const std::vector<QVADynFrameValue>& frames, const QVADynLoadCaseList& loads,
                QVADynEnergy* energy = nullptr) {
  QVADynSolution solution;
  const int numberOfFrames = static_cast<int>(frames.size());
  solver.Solve(solution, ops, numberOfFrames, frames.data(), energy, loads, QVADynLogFile());
  const std::size_t size = QVAIndex(ops.NumberOfActiveModes()) * QVAIndex(loads.NumberOfCases()) *
                           QVAIndex(numberOfFrames);
  Histories out;
  out.u.assign(solution.Displacement(), solution.Displacement() + size);
  out.v.assign(solution.Velocity(), solution.Velocity() + size);
  out.a.assign(solution.Acceleration(), solution.Acceleration() + size);
  return out;
}

// Entry (k, k) of a matrix, read without writing access.
double Diagonal(const QVASrvMatrix& matrix, int k) { return matrix(k, k); }

// Uneven steps around 0.05: every third step repeats the one before, the
// others vary by up to +-60 %.
std::vector<double> UnevenSteps(int count) {
  std::vector<double> steps(QVAIndex(count));
  for (int n = 0; n < count; ++n) {
    steps[QVAIndex(n)] =
        n % 3 == 2 ? steps[QVAIndex(n - 1)] : 0.05 * (1.0 + 0.6 * std::sin(1.3 * n));
  }
  return steps;
}

std::vector<double> Times(const std::vector<double>& steps) {
  std::vector<double> times(1, 0.0);
  for (const double step : steps) times.push_back(times.back() + step);
  return times;
}

// A smooth load history with a ramp, a(t) = sin(0.9 t) + 0.3 t - 0.5 cos(2.3 t).
std::vector<double> LoadHistory(const std::vector<double>& times) {
  std::vector<double> values;
  for (const double t : times)
    values.push_back(std::sin(0.9 * t) + 0.3 * t - 0.5 * std::cos(2.3 * t));
  return values;
}

// Exact history of q'' + c q' + lambda q = f over the frames, f linear between
// frames, from (u0, v0); acceleration a = f - c v - lambda u (frame 0 too).
struct ExactHistory {
  std::vector<Quad> u, v, a;
};

ExactHistory Exact(double lambda, double damping, double u0, double v0,
                   const std::vector<double>& forces, const std::vector<double>& steps) {
  ExactHistory history;
  ExactState state{u0, v0};
  for (std::size_t n = 0; n <= steps.size(); ++n) {
    if (n > 0) {
      const Quad step = steps[n - 1];
      const Quad slope = (static_cast<Quad>(forces[n]) - forces[n - 1]) / step;
      state = ExactResponse(lambda, damping, state.u, state.v, forces[n - 1], slope, step);
    }
    history.u.push_back(state.u);
    history.v.push_back(state.v);
    history.a.push_back(forces[n] - damping * state.v - lambda * state.u);
  }
  return history;
}

// max_n |computed(n) - exact(n)| / max_n |exact(n)| over frames 1 ... F-1 of
// one mode (m modes, one load case).
double RelativeError(const std::vector<double>& computed, int m, int k,
                     const std::vector<Quad>& exact) {
  Quad worst = 0, scale = 0;
  for (std::size_t n = 1; n < exact.size(); ++n) {
    const Quad difference = qva_transient_test::QuadAbs(computed[n * m + k] - exact[n]);
    worst = std::max(worst, difference);
    scale = std::max(scale, qva_transient_test::QuadAbs(exact[n]));
  }
  return static_cast<double>(worst / scale);
}

// Mode classes against their exact single-mode solutions

struct ClassCase {
  double lambda;
  QVADynDiagonalDamping record;
  QVADynModeClass expected;
};

// One solve of all `modes` from u0, v0 and an inconsistent a0 = 7 over 200 uneven steps; each
// mode against its exact solution with its own c.
void ExpectExactPerMode(const std::vector<ClassCase>& modes, bool damped) {
  const int m = static_cast<int>(modes.size());
  std::vector<double> eigenvalues;
  std::vector<QVADynDiagonalDamping> records;
  for (const ClassCase& mode : modes) {
    eigenvalues.push_back(mode.lambda);
    records.push_back(mode.record);
  }
  const QVATestTransientModel model(eigenvalues);
  const auto ops = model.Operators(damped ? records : std::vector<QVADynDiagonalDamping>{});
  ASSERT_EQ(ops->IsDamped(), damped);

  const std::vector<double> steps = UnevenSteps(200);
  const std::vector<double> amplitudes = LoadHistory(Times(steps));
  std::vector<double> pattern, u0, v0, a0(QVAIndex(m), 7.0);
  for (int k = 0; k < m; ++k) {
    pattern.push_back(1.0 + 0.1 * k);
    u0.push_back(0.1 * (k + 1));
    v0.push_back(-0.2 + 0.05 * k);
  }
  const QVATestTransientLoads loads(m, {pattern}, {amplitudes});
  QVADynTransientSolver solver;
  solver.SetInitialCondition(QVADynRecoverDisplacement, m, u0.data());
  solver.SetInitialCondition(QVADynRecoverVelocity, m, v0.data());
  solver.SetInitialCondition(QVADynRecoverAcceleration, m, a0.data());
  const Histories result = Solve(solver, *ops, QVATestFrames(steps), loads.List());

  for (int k = 0; k < m; ++k) {
    const ClassCase& mode = modes[QVAIndex(k)];
    const double c = damped ? Diagonal(*ops->ViscousDamping(), k) +
                                  mode.record.structural * std::sqrt(mode.lambda)
                            : 0.0;
    for (const double step : steps) {
      ASSERT_EQ(QVADynClassifyMode(mode.lambda, c, step, damped), mode.expected) << "mode " << k;
    }
    std::vector<double> forces;
    for (const double a : amplitudes) forces.push_back(pattern[QVAIndex(k)] * a);
    const ExactHistory exact =
        Exact(mode.lambda, c, u0[QVAIndex(k)], v0[QVAIndex(k)], forces, steps);
    // Coefficients of 12 significant digits over 200 steps that neither grow nor decay by much.
    constexpr double kTolerance = 2e-10;
    EXPECT_LE(RelativeError(result.u, m, k, exact.u), kTolerance) << "u, mode " << k;
    EXPECT_LE(RelativeError(result.v, m, k, exact.v), kTolerance) << "v, mode " << k;
    EXPECT_LE(RelativeError(result.a, m, k, exact.a), kTolerance) << "a, mode " << k;
    EXPECT_EQ(result.a[QVAIndex(k)], 7.0) << "frame 0 keeps the given a0";
  }
}

TEST(QVADynTransientSolverClasses, DampedModesOfEveryClassFollowTheirExactSolutions) {
  // c from the records: viscous 2 xi omega + alpha, structural s omega.
  ExpectExactPerMode(
      {
          {0.0, {}, QVADynModeClass::kRigid},
          {0.0, {0.0, 0.0, 0.8, 0.0}, QVADynModeClass::kDampedRigid},        // c = alpha = 0.8
          {4.0, {}, QVADynModeClass::kUndamped},                             // c exactly 0
          {9.0, {0.1, 0.0, 0.0, 0.0}, QVADynModeClass::kUnderdamped},        // c = 0.1 * 3
          {16.0, {0.0, 1.0, 0.0, 0.0}, QVADynModeClass::kCriticallyDamped},  // c = 8
          {25.0, {0.0, 3.0, 0.0, 0.0}, QVADynModeClass::kOverdamped},        // zeta 3
          {1.0, {0.0, 200.0, 0.0, 0.0}, QVADynModeClass::kOverdamped},       // zeta 200: series
      },
      true);
}

TEST(QVADynTransientSolverClasses, UndampedModesAndTinyEigenvaluesFollowTheirExactSolutions) {
  // 1e-14 is below the eigenvalue tolerance and rigid too: off the exact motion by ~lambda t^2 ~
  // 1e-12.
  ExpectExactPerMode(
      {
          {0.0, {}, QVADynModeClass::kRigid},
          {1e-20, {}, QVADynModeClass::kRigid},
          {1e-14, {}, QVADynModeClass::kRigid},
          {4.0, {}, QVADynModeClass::kUndamped},
          {100.0, {}, QVADynModeClass::kUndamped},
      },
      false);
}

// A slow undamped mode, lambda = 1, under steps with omega h = 1e-6 and 1e-8 between steps of
// 0.1 (omega T = 1.4), from u0 = 0.3, v0 = -0.5 under f = a + b t (a = 0.2, b = 0.4), against
//   u = (u0 - a) cos t + (v0 - b) sin t + a + b t,   v = (v0 - b) cos t - (u0 - a) sin t + b,
// alone and beside an unloaded damped mode, which makes the event damped and changes nothing.
TEST(QVADynTransientSolverClasses, SlowUndampedModeFollowsItsExactSolution) {
  std::vector<double> steps;
  for (const double tiny : {1e-6, 1e-8, 1e-6}) {
    steps.insert(steps.end(), 1000, tiny);
    steps.insert(steps.end(), 7, 0.1);
  }
  const double a = 0.2, b = 0.4, u0 = 0.3, v0 = -0.5;
  std::vector<double> amplitudes;
  std::vector<long double> times(1, 0.0L);
  for (const double step : steps) times.push_back(times.back() + step);
  for (const long double t : times) amplitudes.push_back(static_cast<double>(a + b * t));
  long double peakU = 0.0L, peakV = 0.0L;
  std::vector<long double> exactU, exactV;
  for (const long double t : times) {
    exactU.push_back((u0 - a) * std::cos(t) + (v0 - b) * std::sin(t) + a + b * t);
    exactV.push_back((v0 - b) * std::cos(t) - (u0 - a) * std::sin(t) + b);
    peakU = std::max(peakU, std::fabs(exactU.back()));
    peakV = std::max(peakV, std::fabs(exactV.back()));
  }
  for (const bool withDampedMode : {false, true}) {
    SCOPED_TRACE(withDampedMode ? "beside a damped mode" : "alone");
    const int m = withDampedMode ? 2 : 1;
    const QVATestTransientModel model(withDampedMode ? std::vector<double>{1.0, 9.0}
                                                     : std::vector<double>{1.0});
    const auto ops = model.Operators(
        withDampedMode ? std::vector<QVADynDiagonalDamping>{{}, {0.0, 0.05, 0.0, 0.0}}
                       : std::vector<QVADynDiagonalDamping>{});
    ASSERT_EQ(ops->IsDamped(), withDampedMode);
    const std::vector<double> initialU{u0, 0.0}, initialV{v0, 0.0};
    const QVATestTransientLoads loads(m, {{1.0, 0.0}}, {amplitudes});
    QVADynTransientSolver solver;
    solver.SetInitialCondition(QVADynRecoverDisplacement, m, initialU.data());
    solver.SetInitialCondition(QVADynRecoverVelocity, m, initialV.data());
    const Histories result = Solve(solver, *ops, QVATestFrames(steps), loads.List());
    long double worstU = 0.0L, worstV = 0.0L;
    for (std::size_t n = 0; n < times.size(); ++n) {
      worstU = std::max(worstU, std::fabs(result.u[n * m] - exactU[n]));
      worstV = std::max(worstV, std::fabs(result.v[n * m] - exactV[n]));
      if (withDampedMode) {
        ASSERT_EQ(result.u[n * m + 1], 0.0) << "frame " << n;
      }
    }
    // 3000 steps of coefficients exact to 12 digits and round-off of the state.
    EXPECT_LE(worstU / peakU, 1e-12L);
    EXPECT_LE(worstV / peakV, 1e-12L);
  }
}

// Coupled damping against the full modal system

// Exact history of q'' + C q' + Lambda q = f(t), f linear between frames, through the state
// z = [q, q', f0, slope] and z(t0 + h) = exp(S h) z(t0).
std::vector<std::vector<Quad>> ExactCoupled(
    const std::vector<double>& lambda, const std::vector<double>& damping /* m x m, col-major */,
    const std::vector<double>& u0, const std::vector<double>& v0,
    const std::vector<std::vector<double>>& forces /* per frame */,
    const std::vector<double>& steps) {
  const int m = static_cast<int>(lambda.size());
  const int d = 4 * m;
  std::map<double, QuadMatrix> propagators;
  std::vector<std::vector<Quad>> displacement;
  std::vector<Quad> q(u0.begin(), u0.end()), v(v0.begin(), v0.end());
  displacement.push_back(q);
  for (std::size_t n = 0; n < steps.size(); ++n) {
    const double step = steps[n];
    if (propagators.count(step) == 0) {
      QuadMatrix system(QVAIndex(d * d), 0);
      for (int i = 0; i < m; ++i) {
        system[i * d + m + i] = step;
        system[(m + i) * d + i] = -static_cast<Quad>(lambda[QVAIndex(i)]) * step;
        for (int j = 0; j < m; ++j) {
          system[(m + i) * d + m + j] = -static_cast<Quad>(damping[QVAIndex(i + j * m)]) * step;
        }
        system[(m + i) * d + 2 * m + i] = step;
        system[(2 * m + i) * d + 3 * m + i] = step;
      }
      propagators[step] = Exponential(system, d);
    }
    const QuadMatrix& propagator = propagators[step];
    std::vector<Quad> state(QVAIndex(d));
    for (int i = 0; i < m; ++i) {
      state[i] = q[i];
      state[m + i] = v[i];
      state[2 * m + i] = forces[n][QVAIndex(i)];
      state[3 * m + i] =
          (static_cast<Quad>(forces[n + 1][QVAIndex(i)]) - forces[n][QVAIndex(i)]) / step;
    }
    for (int i = 0; i < m; ++i) {
      Quad displacementSum = 0, velocitySum = 0;
      for (int j = 0; j < d; ++j) {
        displacementSum += propagator[i * d + j] * state[j];
        velocitySum += propagator[(m + i) * d + j] * state[j];
      }
      q[i] = displacementSum;
      v[i] = velocitySum;
    }
    displacement.push_back(q);
  }
  return displacement;
}

// Three modes with coupling damping: lambda 1, 4, 9, load (1, -0.5, 0.8) (sin(1.1 t) + 0.2 t),
// initial displacement and velocity, over 0 ... 6.
class CoupledDampingTest : public ::testing::Test {
 protected:
  const std::vector<double> lambda_{1.0, 4.0, 9.0};
  const std::vector<double> pattern_{1.0, -0.5, 0.8};
  const std::vector<double> u0_{0.1, 0.0, -0.05};
  const std::vector<double> v0_{0.0, 0.2, 0.0};

  // Displacement error of a solve with `steps`, relative to the largest
  // displacement, at the frames whose time is a multiple of `sampling`.
  double Error(const QVATestTransientModel& model,
               const std::vector<QVADynDiagonalDamping>& records,
               const std::vector<double>& assembled, const std::vector<double>& steps,
               int* builds = nullptr) {
    const int m = 3;
    const auto ops = model.Operators(records);
    const std::vector<double> times = Times(steps);
    std::vector<double> amplitudes;
    for (const double t : times) amplitudes.push_back(std::sin(1.1 * t) + 0.2 * t);
    const QVATestTransientLoads loads(m, {pattern_}, {amplitudes});
    QVADynTransientSolver solver;
    solver.SetInitialCondition(QVADynRecoverDisplacement, m, u0_.data());
    solver.SetInitialCondition(QVADynRecoverVelocity, m, v0_.data());
    const Histories result = Solve(solver, *ops, QVATestFrames(steps), loads.List());
    if (builds != nullptr) *builds = solver.CoefficientBuilds();
    std::vector<std::vector<double>> forces;
    for (const double a : amplitudes) {
      forces.push_back({pattern_[0] * a, pattern_[1] * a, pattern_[2] * a});
    }
    const auto exact = ExactCoupled(lambda_, assembled, u0_, v0_, forces, steps);
    Quad worst = 0, scale = 0;
    for (std::size_t n = 0; n < exact.size(); ++n) {
      for (int k = 0; k < m; ++k) {
        worst = std::max(worst, qva_transient_test::QuadAbs(result.u[n * m + k] - exact[n][k]));
        scale = std::max(scale, qva_transient_test::QuadAbs(exact[n][k]));
      }
    }
    return static_cast<double>(worst / scale);
  }

  // Off-diagonal damping forces are linear over each step (O(h^2) error): halving h must divide
  // the error by 4 (within 10 %); a wrong assembly of C would leave an O(1) error.
  void ExpectSecondOrder(const QVATestTransientModel& model,
                         const std::vector<QVADynDiagonalDamping>& records,
                         const std::vector<double>& assembled) {
    int builds = 0;
    const double coarse = Error(model, records, assembled, std::vector<double>(150, 0.04), &builds);
    EXPECT_EQ(builds, 1);
    const double medium = Error(model, records, assembled, std::vector<double>(300, 0.02));
    const double fine = Error(model, records, assembled, std::vector<double>(600, 0.01));
    EXPECT_NEAR(coarse / medium, 4.0, 0.4) << coarse << " " << medium;
    EXPECT_NEAR(medium / fine, 4.0, 0.4) << medium << " " << fine;
    // Interpolation error h^2/8 |Zo v''| ~ 1e-5 * 0.1 * 0.5 of the force at h = 0.01.
    EXPECT_LE(fine, 1e-6);
  }
};

TEST_F(CoupledDampingTest, FullViscousWithDiagonalRecordsConvergesToTheModalSystem) {
  // Projected viscous damping (full) plus records: xi (viscous) and s
  // (structural, diagonal); C = Zv + diag(2 xi omega + s omega).
  const std::vector<double> viscous{0.10, 0.05, -0.03, 0.05, 0.20, 0.04, -0.03, 0.04, 0.30};
  const QVATestTransientModel model(lambda_, viscous);
  const std::vector<QVADynDiagonalDamping> records{
      {0.02, 0.01, 0.0, 0.0}, {0.0, 0.02, 0.0, 0.0}, {0.05, 0.0, 0.0, 0.0}};
  std::vector<double> assembled(viscous);
  for (int k = 0; k < 3; ++k) {
    const double omega = std::sqrt(lambda_[QVAIndex(k)]);
    assembled[QVAIndex(4 * k)] += 2.0 * records[QVAIndex(k)].criticalFraction * omega +
                                  records[QVAIndex(k)].structural * omega;
  }
  ExpectSecondOrder(model, records, assembled);
}

TEST_F(CoupledDampingTest, FullStructuralIsScaledByTheNaturalFrequencies) {
  // Projected structural damping S (full) and a Rayleigh mass term alpha:
  // C(i, j) = S(i, j) / sqrt(omega_i omega_j) + alpha delta_ij.
  const std::vector<double> structural{0.20, 0.08, 0.05, 0.08, 0.30, -0.06, 0.05, -0.06, 0.50};
  const QVATestTransientModel model(lambda_, {}, structural);
  const std::vector<QVADynDiagonalDamping> records(3, {0.0, 0.0, 0.05, 0.0});
  std::vector<double> assembled(9);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      assembled[QVAIndex(i + 3 * j)] =
          structural[QVAIndex(i + 3 * j)] /
              std::sqrt(std::sqrt(lambda_[QVAIndex(i)]) * std::sqrt(lambda_[QVAIndex(j)])) +
          (i == j ? 0.05 : 0.0);
    }
  }
  ExpectSecondOrder(model, records, assembled);
}

TEST_F(CoupledDampingTest, VariableStepsRefactorizeAtEveryChange) {
  const std::vector<double> viscous{0.10, 0.05, -0.03, 0.05, 0.20, 0.04, -0.03, 0.04, 0.30};
  const QVATestTransientModel model(lambda_, viscous);
  // Blocks of 0.01, 0.02 and 0.005: five changes, six builds.
  std::vector<double> steps;
  for (const double step : {0.01, 0.02, 0.005, 0.02, 0.01, 0.005})
    steps.insert(steps.end(), 40, step);
  int builds = 0;
  const double error = Error(model, {}, viscous, steps, &builds);
  EXPECT_EQ(builds, 6);
  // h <= 0.02: below 4x the 1e-6 bound at h = 0.01; a stale system would be off by ~1e-3.
  EXPECT_LE(error, 4e-6);
}

// Step sizes, initial conditions, one frame

// Coefficients are built only when the step changes; a zero third value takes the second as the
// increment (the same arithmetic: identical to the bit).
TEST(QVADynTransientSolverSteps, CoefficientsAreBuiltOnlyWhenTheStepChanges) {
  const QVATestTransientModel model({0.0, 4.0, 9.0});
  const auto ops = model.Operators({{0.0, 0.05, 0.0, 0.0}, {}, {0.0, 0.5, 0.0, 0.0}});
  const std::vector<double> steps{0.1, 0.1, 0.2, 0.2, 0.2, 0.1, 0.3};
  std::vector<QVADynFrameValue> frames = QVATestFrames(steps);
  // The last frame's increment leads nowhere and is never read.
  frames.back().third = 99.0;
  const QVATestTransientLoads loads(3, {{1.0, -1.0, 0.5}}, {LoadHistory(Times(steps))});
  QVADynTransientSolver solver;
  const Histories byThird = Solve(solver, *ops, frames, loads.List());
  EXPECT_EQ(solver.CoefficientBuilds(), 4);  // 0.1, 0.2, 0.1, 0.3

  const std::vector<double> equal(7, 0.1);
  Solve(solver, *ops, QVATestFrames(equal), loads.List());
  EXPECT_EQ(solver.CoefficientBuilds(), 1);

  std::vector<QVADynFrameValue> seconds = QVATestFrames(steps);
  for (QVADynFrameValue& frame : seconds) std::swap(frame.second, frame.third);
  const Histories bySecond = Solve(solver, *ops, seconds, loads.List());
  EXPECT_EQ(bySecond.u, byThird.u);
  EXPECT_EQ(bySecond.v, byThird.v);
  EXPECT_EQ(bySecond.a, byThird.a);
}

TEST(QVADynTransientSolverInitialConditions, FrameZeroHoldsThemAsGiven) {
  const QVATestTransientModel model({1.0, 4.0});
  const auto ops = model.Operators({});
  const std::vector<double> steps{0.1, 0.1};
  // A load at frame 0 that a consistent acceleration would show; the given one is kept.
  const QVATestTransientLoads loads(2, {{1.0, 1.0}, {2.0, 0.0}},
                                    {{5.0, 5.0, 5.0}, {1.0, 1.0, 1.0}});
  QVADynTransientSolver solver;
  // Two load cases, modes fastest: 2 x 2 values each.
  const double displacement[] = {0.5, -0.25, 1.5, 2.0};
  const double velocity[] = {1.0, 2.0, 3.0, 4.0};
  const double firstAcceleration[] = {9.0, 9.0, 9.0, 9.0};
  const double acceleration[] = {-1.0, -2.0, -3.0, -4.0};
  solver.SetInitialCondition(QVADynRecoverDisplacement, 4, displacement);
  solver.SetInitialCondition(QVADynRecoverVelocity, 4, velocity);
  solver.SetInitialCondition(QVADynRecoverAcceleration, 4, firstAcceleration);
  solver.SetInitialCondition(QVADynRecoverAcceleration, 4, acceleration);   // replaces
  solver.SetInitialCondition(QVADynRecoverReactionForce, 4, displacement);  // ignored
  const Histories started = Solve(solver, *ops, QVATestFrames(steps), loads.List());
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(started.u[i], displacement[i]);
    EXPECT_EQ(started.v[i], velocity[i]);
    EXPECT_EQ(started.a[i], acceleration[i]);
  }
  // The solver keeps only its initial conditions: a second solve repeats the first.
  const Histories again = Solve(solver, *ops, QVATestFrames(steps), loads.List());
  EXPECT_EQ(again.u, started.u);
  EXPECT_EQ(again.a, started.a);
}

TEST(QVADynTransientSolverInitialConditions, OneFrameGivesTheInitialStateAndItsEnergies) {
  const QVATestTransientModel model({1.0, 4.0});
  const auto ops = model.Operators({{0.0, 0.1, 0.0, 0.0}, {0.0, 0.1, 0.0, 0.0}});
  // A one-column table: evaluating any frame beyond 0 would raise.
  const QVATestTransientLoads loads(2, {{1.0, 1.0}}, {{3.0}});
  QVADynTransientSolver solver;
  const double displacement[] = {0.5, -0.25};
  const double velocity[] = {2.0, 1.0};
  solver.SetInitialCondition(QVADynRecoverDisplacement, 2, displacement);
  solver.SetInitialCondition(QVADynRecoverVelocity, 2, velocity);
  QVADynEnergy energy(kAllEnergies, 2, 1, 1);
  const std::vector<QVADynFrameValue> frames(1, QVADynFrameValue{0.0, 0.0, 0.1});
  const Histories result = Solve(solver, *ops, frames, loads.List(), &energy);
  ASSERT_EQ(result.u.size(), 2U);
  EXPECT_EQ(result.u[1], -0.25);
  EXPECT_EQ(result.a[0], 0.0);
  // Exact values: halves, squares of binary fractions. Kinds KE, SE, Work
  // per mode, then AllKE, AllSE, AllWork.
  const std::vector<std::vector<double>> expected = {{2.0, 0.5}, {0.125, 0.125}, {0.0, 0.0},
                                                     {2.5},      {0.25},         {0.0}};
  for (int kind = 0; kind < 6; ++kind) {
    const std::vector<double>& values = expected[QVAIndex(kind)];
    EXPECT_EQ(std::vector<double>(energy.Array(kind), energy.Array(kind) + values.size()), values)
        << "kind " << kind;
  }
  EXPECT_EQ(solver.CoefficientBuilds(), 1);
}

// Work and energies

TEST(QVADynTransientSolverEnergy, WorkOnUndampedModesEqualsTheirEnergyGain) {
  // Rigid (lambda 0) and oscillating modes, no damping: the work of the load
  // up to frame n equals KE + SE at n minus KE + SE at 0, mode by mode.
  const QVATestTransientModel model({0.0, 4.0, 9.0, 100.0});
  const auto ops = model.Operators({});
  const std::vector<double> steps = UnevenSteps(200);
  const std::vector<double> amplitudes = LoadHistory(Times(steps));
  const QVATestTransientLoads loads(4, {{1.0, 0.5, -0.7, 2.0}}, {amplitudes});
  QVADynTransientSolver solver;
  const double u0[] = {0.0, 0.2, -0.1, 0.01};
  const double v0[] = {0.3, 0.0, 0.5, -0.2};
  solver.SetInitialCondition(QVADynRecoverDisplacement, 4, u0);
  solver.SetInitialCondition(QVADynRecoverVelocity, 4, v0);
  const int frames = static_cast<int>(steps.size()) + 1;
  QVADynEnergy energy(kAllEnergies, 4, 1, frames);
  Solve(solver, *ops, QVATestFrames(steps), loads.List(), &energy);

  const double* kinetic = energy.Array(QVADynEnergyKE);
  const double* strain = energy.Array(QVADynEnergySE);
  const double* work = energy.Array(QVADynEnergyWork);
  const double* totalWork = energy.Array(QVADynEnergyAllWork);
  double scale = 0.0;
  for (int i = 0; i < 4 * frames; ++i) scale = std::max(scale, kinetic[i] + strain[i]);
  // Each step's work is exact for the computed state up to the coefficients'
  // 12 digits and the rounding of the sums: 200 steps x 1e-12 of the energy.
  const double tolerance = 2e-10 * scale;
  double summedTotal = 0.0;
  for (int k = 0; k < 4; ++k) {
    double done = 0.0;
    for (int n = 1; n < frames; ++n) {
      done += work[n * 4 + k];
      const double gain = kinetic[n * 4 + k] + strain[n * 4 + k] - kinetic[k] - strain[k];
      ASSERT_NEAR(done, gain, tolerance) << "mode " << k << ", frame " << n;
    }
  }
  for (int n = 1; n < frames; ++n) summedTotal += totalWork[n];
  const double allGain = energy.Array(QVADynEnergyAllKE)[frames - 1] +
                         energy.Array(QVADynEnergyAllSE)[frames - 1] -
                         energy.Array(QVADynEnergyAllKE)[0] - energy.Array(QVADynEnergyAllSE)[0];
  EXPECT_NEAR(summedTotal, allGain, 4 * tolerance);
  EXPECT_EQ(totalWork[0], 0.0);
}

TEST(QVADynTransientSolverEnergy, ArraysFollowTheAccumulatorLayout) {
  // KE and SE of every (frame, case, mode) at (f N + c) m + k, sums at f N + c; the work of load
  // case 0 only, per mode at n m + k, summed at n.
  const int m = 3, cases = 2, frames = 4;
  const QVATestTransientModel model({1.0, 4.0, 9.0});
  const auto ops = model.Operators({});
  const std::vector<double> steps{0.1, 0.2, 0.1};
  const QVATestTransientLoads loads(m, {{1.0, 0.5, 0.25}, {-1.0, 2.0, 0.0}},
                                    {{0.0, 1.0, 2.0, 1.5}, {1.0, 0.0, -1.0, 0.5}});
  QVADynTransientSolver solver;
  QVADynEnergy energy(kAllEnergies, m, cases, frames);
  const Histories result = Solve(solver, *ops, QVATestFrames(steps), loads.List(), &energy);

  const double lambda[] = {1.0, 4.0, 9.0};
  // Sums of three terms in another order than the solver's: a few ulps.
  constexpr double kSumTolerance = 4 * kQVAEps;
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < cases; ++c) {
      double kineticSum = 0.0, strainSum = 0.0;
      for (int k = 0; k < m; ++k) {
        const std::size_t i = QVAIndex((f * cases + c) * m + k);
        // The same products in the same order: exactly equal.
        EXPECT_EQ(energy.Array(QVADynEnergyKE)[i], 0.5 * result.v[i] * result.v[i]);
        EXPECT_EQ(energy.Array(QVADynEnergySE)[i], 0.5 * lambda[k] * result.u[i] * result.u[i]);
        kineticSum += 0.5 * result.v[i] * result.v[i];
        strainSum += 0.5 * lambda[k] * result.u[i] * result.u[i];
      }
      EXPECT_NEAR(energy.Array(QVADynEnergyAllKE)[f * cases + c], kineticSum,
                  kSumTolerance * kineticSum);
      EXPECT_NEAR(energy.Array(QVADynEnergyAllSE)[f * cases + c], strainSum,
                  kSumTolerance * strainSum);
    }
  }
  const double* work = energy.Array(QVADynEnergyWork);
  for (int k = 0; k < m; ++k) EXPECT_EQ(work[k], 0.0) << "frame 0 does no work";
  EXPECT_EQ(energy.Array(QVADynEnergyAllWork)[0], 0.0);
  for (int n = 1; n < frames; ++n) {
    double sum = 0.0;
    for (int k = 0; k < m; ++k) sum += work[n * m + k];
    EXPECT_NEAR(energy.Array(QVADynEnergyAllWork)[n], sum, kSumTolerance * std::fabs(sum));
    EXPECT_NE(work[n * m], 0.0);
  }
  // The work array has room for every case; what lies beyond case 0's frames is 0.0.
  for (std::size_t i = QVAIndex(m * frames); i < energy.Length(QVADynEnergyWork); ++i) {
    EXPECT_EQ(work[i], 0.0);
  }
}

// Limits

TEST(QVADynTransientSolverLimits, ShortInitialConditionsNoFramesAndAcousticModesAreRefused) {
  const QVATestTransientModel model({1.0, 4.0});
  const auto ops = model.Operators({});
  const QVATestTransientLoads loads(2, {{1.0, 1.0}, {1.0, 1.0}}, {{0.0, 1.0}, {0.0, 1.0}});
  QVADynTransientSolver solver;
  const double values[] = {1.0, 2.0, 3.0};
  solver.SetInitialCondition(QVADynRecoverVelocity, 3, values);
  ExpectPlatformError(
      [&] { Solve(solver, *ops, QVATestFrames({0.1}), loads.List()); }, kQVABasInvalidArgument,
      {"QVADynTransientSolver::Solve: initial condition 1 holds 3 values, 2 modes x 2 load cases "
       "need 4"});
  ExpectPlatformError([&] { solver.SetInitialCondition(QVADynRecoverVelocity, -1, values); },
                      kQVABasInvalidArgument, {"negative number of values -1"});
  ExpectPlatformError([&] { solver.SetInitialCondition(QVADynRecoverVelocity, 2, nullptr); },
                      kQVABasInvalidArgument, {"no values for 2 entries"});

  QVADynTransientSolver fresh;
  QVADynSolution solution;
  ExpectPlatformError(
      [&] { fresh.Solve(solution, *ops, 0, nullptr, nullptr, loads.List(), QVADynLogFile()); },
      kQVABasInvalidArgument, {"0 frames; the transient solve needs at least one"});

  QVATestModalBasis basis({.acousticNodes = 2,
                           .numberOfModes = 5,
                           .numberOfAcousticModes = 2,
                           .acousticCoupling = true});
  {
    const std::unique_ptr<QVADynModalSystem> system = basis.Open();
    QVADynModalOperators acoustic(*system, nullptr);
    const QVADynModalDamping none(nullptr, 0, nullptr, nullptr, nullptr);
    const int modes[] = {0, 1, 2, 3, 4};
    acoustic.Build(5, modes, none);
    const QVATestTransientLoads fiveModes(5, {{1.0, 1.0, 1.0, 1.0, 1.0}}, {{0.0, 1.0}});
    ExpectPlatformError(
        [&] { Solve(fresh, acoustic, QVATestFrames({0.1}), fiveModes.List()); },
        kQVABasInvalidArgument,
        {"the operators have 3 structural modes of 5 active modes; the transient solver "
         "integrates structural modes only"});
  }
}

}  // namespace
