#pragma once

// Exact one-step coefficients of a modal equation of motion
//
//   q'' + c q' + lambda q = f(t),   f linear over the step [0, h],
//
// for the transient solver. The state at the end of a step is
//
//   u1 = A u0 + B v0 + C f0 + D f1
//   v1 = E u0 + F v0 + G f0 + H f1
//
// and, when the external work is wanted, the work of the load over the step is
//
//   dW = f0 (W0 u0 + W1 v0 + W2 g + W3 f0) + g (W4 u0 + W5 v0 + W6 g),  g = (f1 - f0) / h,
//
// with u0, v0 the state at the start of the step; dW is exactly the integral of f v dt.
//
// Example: lambda = 4 (omega = 2), c = 0, h = 0.5, undamped, theta = omega h = 1:
//   A = cos 1 = 0.5403,  B = sin(1) / 2 = 0.4207,  E = -2 sin 1 = -1.683,  F = 0.5403,
//   C = (sin 1 - cos 1) / 4 = 0.0752,  D = (1 - sin 1) / 4 = 0.0396.
//
// Every coefficient keeps at least 12 significant digits for all step sizes and damping
// ratios up to 1e4: small arguments use power series of the exact solution, strongly
// damped modes use per-root forms, and the closed forms are used only where they do
// not cancel.

#include <cstdint>

// Class of a mode for one step size, deciding which closed forms describe its step.
enum class QVADynModeClass : std::uint8_t {
  kRigid,             // no stiffness and no damping: polynomial motion
  kDampedRigid,       // no stiffness, positive damping: velocity decays with exp(-c h)
  kUndamped,          // oscillates without decay
  kUnderdamped,       // damping ratio below 1
  kCriticallyDamped,  // damping ratio 1 within the classification tolerance
  kOverdamped,        // damping ratio above 1
  kUndecided          // not a number somewhere: all coefficients 0.0, the mode stays at rest
};

// The eight step coefficients, in the order of the solver's coefficient table.
struct QVADynStepCoefficients {
  double A = 0.0, B = 0.0, C = 0.0, D = 0.0;  // displacement row
  double E = 0.0, F = 0.0, G = 0.0, H = 0.0;  // velocity row
};

// The seven work coefficients W0 ... W6 of one mode, in the order of the work table.
struct QVADynWorkCoefficients {
  double W[7] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};

// Classification tolerance: the square root of 2.22e-16 (1.489966442575134e-08).
double QVADynTransientEpsilon();

// Class of a mode with eigenvalue `lambda` (omega^2) and diagonal damping `damping` (c, used
// only when `damped`) for the step size `stepSize`. Eigenvalues below the tolerance count as 0.
// Without damping a mode is rigid when lambda counts as 0, otherwise undamped at every step size
// (the undamped coefficients are exact however small sqrt(lambda) h is); with damping
// the ratio d = 1 - (c/2)^2 / lambda selects underdamped (d >= eps), critically damped
// (|d| < eps) or overdamped (d <= -eps), lambda <= eps gives damped rigid (c > 0) or rigid, and
// c exactly 0.0 gives undamped. A NaN eigenvalue or step size, or a NaN ratio, is undecided.
// Raises no floating-point exception for NaN inputs.
QVADynModeClass QVADynClassifyMode(double lambda, double damping, double stepSize, bool damped);

// Step coefficients of one mode (arguments as for QVADynClassifyMode) and, when `work` is not
// null, its work coefficients. Returns the class used. Undecided modes get all zeros.
QVADynModeClass QVADynComputeStepCoefficients(double lambda, double damping, double stepSize,
                                              bool damped, QVADynStepCoefficients& step,
                                              QVADynWorkCoefficients* work);

// Fills the solver's tables for `numberOfModes` modes and one step size.
// `coefficientTable` holds 8 * numberOfModes doubles: the arrays A, B, C, D, E, F, G, H of
// numberOfModes values each. `workTable` (may be null) holds 7 doubles per mode, mode-major:
// W0 ... W6 of mode 0, then of mode 1, ... `damping` holds the diagonal damping c per mode and may
// be null when `damped` is false.
void QVADynBuildCoefficientTable(int numberOfModes, const double* lambda, const double* damping,
                                 double stepSize, bool damped, double* coefficientTable,
                                 double* workTable);
