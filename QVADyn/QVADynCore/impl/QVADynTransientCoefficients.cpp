#include "QVADynTransientCoefficients.h"

#include <cmath>
#include <cstddef>

#include "internal/QVANumerics.h"

// How the coefficients are evaluated.
//
// Let phi(t) be the impulse response of q'' + c q' + lambda q = 0 (phi(0) = 0, phi'(0) = 1) and
// Phi1, Phi2, Phi3 its first three integrals from 0. The response to u0, v0 and the load
// f(t) = f0 + g t, g = (f1 - f0) / h, is
//
//   u(t) = (phi' + c phi) u0 + phi v0 + f0 Phi1 + g Phi2,
//   v(t) = -lambda phi u0 + phi' v0 + f0 phi + g Phi1,
//
// so that, at t = h,
//
//   A = phi' + c phi = 1 - lambda Phi1,  B = phi,  C = Phi1 - Phi2 / h,  D = Phi2 / h,
//   E = -lambda phi,  F = phi',  G = phi - Phi1 / h,  H = Phi1 / h.
//
// External work. With v(t) as above, the work of the load over the step is
//
//   int_0^h (f0 + g t) v dt = f0 u0 (-lambda Phi1) + f0 v0 phi + f0^2 Phi1
//                           + f0 g (int Phi1 + int t phi) + g u0 (-lambda int t phi)
//                           + g v0 (int t phi') + g^2 int t Phi1,
//
// and integrating by parts (int_0^h t phi = h Phi1 - Phi2, int_0^h t phi' = h phi - Phi1,
// int_0^h t Phi1 = h Phi2 - Phi3) gives, for every class alike,
//
//   W0 = -lambda h H,  W1 = B,  W2 = h^2 H,  W3 = h H,  W4 = -lambda h C,  W5 = h G,
//   W6 = h Phi2 - Phi3.
//
// Integrating the equation of motion of phi three times gives lambda Phi3 = h^2/2 - Phi1 - c Phi2
// at t = h, and with Phi1 = h H = (1 - A) / lambda, Phi2 = h D the work coefficients of the
// undamped, underdamped and overdamped classes are, in terms of their own step coefficients,
//
//   W0 = A - 1,  W1 = B,  W2 = h (1 - A) / lambda,  W3 = (1 - A) / lambda,
//   W4 = -lambda h C,  W5 = h G,  W6 = h ((lambda h + c) D + H - h/2) / lambda,
//
// which reproduce the undamped table (W0 = k - 1, W4 = h k - s / omega, ...). For the
// underdamped class, with e = exp(-alpha h), s = sin(omega_d h), k = cos(omega_d h):
// W0 = (k + (alpha / omega_d) s) e - 1, W3 = (1 - (k + (alpha / omega_d) s) e) / lambda, and so on;
// the overdamped class is the same with cosh, sinh / beta, beta = sqrt(alpha^2 - lambda).
// The critically damped class moves like lambda_c = alpha^2 and scales its load response by
// alpha^2 / lambda (as its C, D, G, H do); its W0, W1, W4, W5 are those of lambda_c and W2, W3,
// W6 carry the factor: with q = alpha h, e = exp(-q),
//   W0 = (q + 1) e - 1,  W1 = e h,  W2 = h (1 - (q + 1) e) / lambda,
//   W3 = (1 - (q + 1) e) / lambda,
//   W4 = -(2 - (2q + 2 + q^2) e) / alpha,  W5 = ((q^2 + q + 1) e - 1) / alpha^2,
//   W6 = (alpha^2 / lambda) h ((alpha^2 h + 2 alpha) D_c + H_c - h/2) / alpha^2,
// D_c, H_c being D, H before the scaling. For the rigid and damped rigid classes the relations
// valid for every class, with lambda = 0, give their tables.
//
// Evaluation. With rho = max |root| h of the characteristic equation:
// - rho <= 1: power series of phi(s h) / h in s, which converges without cancellation there;
// - overdamped with the slow root times h below 1/2: the per-root forms
//   Phi_m(h) = h^(m+1) (phi_m(-x) - phi_m(-y)) / (y - x), x, y the two roots times h and
//   phi_m the exponential functions phi_0 = exp, phi_(m+1)(z) = (phi_m(z) - 1/m!) / z;
// - otherwise the closed forms written with e cos, e sin / omega_d (or e cosh, e sinh / beta,
//   or e and e h), which do not cancel once rho > 1 and the slow root is not small.

namespace {

// Largest root size rho = |root| h evaluated by the power series.
constexpr double kSeriesLimit = 1.0;
// Overdamped modes whose slow root times h is below this use the per-root forms; the roots
// are then at least 1/2 apart (times h), so their divided differences do not cancel.
constexpr double kSlowRootLimit = 0.5;
// Overdamped modes with beta h up to this use cosh and sinh; beyond, the two exponentials.
constexpr double kHyperbolicLimit = 1.0;
// Series terms: the n-th term is bounded by rho^(n-1) / (n-1)!, below 1e-28 for rho <= 1.
constexpr int kSeriesTerms = 28;
// Terms of the exponential-function series for |z| <= 1: below 1/23! ~ 4e-23.
constexpr int kPhiSeriesTerms = 20;

// The rigid step: polynomial motion under the linear load.
void RigidCoefficients(double h, QVADynStepCoefficients& step, QVADynWorkCoefficients* work) {
  const double h2 = h * h;
  step = {1.0, h, h2 / 3.0, h2 / 6.0, 0.0, 1.0, h / 2.0, h / 2.0};
  if (work != nullptr) {
    *work = {{0.0, h, h2 * h / 2.0, h2 / 2.0, 0.0, h2 / 2.0, h2 * h2 / 8.0}};
  }
}

// W0 ... W5 follow from the step coefficients; W6 is given.
void WorkFromStep(double lambda, double h, const QVADynStepCoefficients& step, double w6,
                  QVADynWorkCoefficients& work) {
  work.W[0] = -lambda * h * step.H;
  work.W[1] = step.B;
  work.W[2] = h * h * step.H;
  work.W[3] = h * step.H;
  work.W[4] = -lambda * h * step.C;
  work.W[5] = h * step.G;
  work.W[6] = w6;
}

// Power series of psi(s) = phi(s h) / h on s in [0, 1]:
// psi'' + q psi' + Omega^2 psi = 0, psi(0) = 0, psi'(0) = 1, with q = c h, Omega^2 = lambda h^2.
// For psi = sum a_n s^n every coefficient is a sum over a_n with a rational weight:
//   B = h sum a_n, F = sum n a_n, H = h sum a_n / (n+1), G = h sum n a_n / (n+1),
//   C = h^2 sum a_n / (n+2), D = h^2 sum a_n / ((n+1)(n+2)), W6 = h^4 sum a_n / ((n+1)(n+3)).
void SeriesCoefficients(double lambda, double damping, double h, QVADynStepCoefficients& step,
                        double& w6) {
  const double q = damping * h;
  const double omegaH2 = lambda * h * h;
  double previous = 0.0;  // a_(n-1)
  double current = 1.0;   // a_n, starting at n = 1
  double sumB = 0.0, sumF = 0.0, sumH = 0.0, sumG = 0.0, sumC = 0.0, sumD = 0.0, sumW6 = 0.0;
  for (int n = 1; n <= kSeriesTerms; ++n) {
    const double order = n;
    sumB += current;
    sumF += order * current;
    sumH += current / (order + 1.0);
    sumG += current * order / (order + 1.0);
    sumC += current / (order + 2.0);
    sumD += current / ((order + 1.0) * (order + 2.0));
    sumW6 += current / ((order + 1.0) * (order + 3.0));
    const double next = -(q * order * current + omegaH2 * previous) / ((order + 1.0) * order);
    previous = current;
    current = next;
  }
  const double h2 = h * h;
  step.A = 1.0 - omegaH2 * sumH;
  step.B = h * sumB;
  step.C = h2 * sumC;
  step.D = h2 * sumD;
  step.E = -lambda * step.B;
  step.F = sumF;
  step.G = h * sumG;
  step.H = h * sumH;
  w6 = h2 * h2 * sumW6;
}

// Closed forms of a decaying oscillation, written with
//   decayCos = e cos(omega_d h),  decaySin = e sin(omega_d h) / omega_d,  e = exp(-alpha h)
// (cosh and sinh / beta for an overdamped mode, 1 and h for a critically damped one) and
// mu = (omega_d^2 - alpha^2) / lambda. Requires lambda h != 0.
void OscillatorCoefficients(double lambda, double alpha, double h, double decayCos, double decaySin,
                            double mu, QVADynStepCoefficients& step, double& w6) {
  const double lambdaH = lambda * h;
  const double staticRate = 2.0 * alpha / lambda;
  step.A = decayCos + alpha * decaySin;
  step.B = decaySin;
  step.C = ((mu - alpha * h) * decaySin - (h + staticRate) * decayCos + staticRate) / lambdaH;
  step.D = (staticRate * decayCos - mu * decaySin + (h - staticRate)) / lambdaH;
  step.E = -lambda * decaySin;
  step.F = decayCos - alpha * decaySin;
  step.G = ((lambdaH + alpha) * decaySin + decayCos - 1.0) / lambdaH;
  step.H = (1.0 - alpha * decaySin - decayCos) / lambdaH;
  w6 = h * ((lambdaH + 2.0 * alpha) * step.D + step.H - h / 2.0) / lambda;
}

// The exponential functions at a real argument z, and the differences of consecutive ones.
struct ExponentialFunctions {
  double phi0 = 0.0;       // exp(z)
  double phi1 = 0.0;       // (exp(z) - 1) / z
  double phi2 = 0.0;       // (exp(z) - 1 - z) / z^2
  double phi0Less1 = 0.0;  // phi0 - phi1
  double phi1Less2 = 0.0;  // phi1 - phi2
  double phi2Less3 = 0.0;  // phi2 - phi3
};

ExponentialFunctions ExponentialFunctionsAt(double z) {
  ExponentialFunctions result;
  result.phi0 = std::exp(z);
  if (std::fabs(z) <= 1.0) {
    // term = z^j / (j+3)!; z^j / (j+1)! = term (j+2)(j+3), z^j / (j+2)! = term (j+3).
    double term = 1.0 / 6.0;
    for (int j = 0; j < kPhiSeriesTerms; ++j) {
      const double order = j;
      const double over1 = term * (order + 2.0) * (order + 3.0);
      const double over2 = term * (order + 3.0);
      result.phi1 += over1;
      result.phi2 += over2;
      result.phi0Less1 += order * over1;
      result.phi1Less2 += (order + 1.0) * over2;
      result.phi2Less3 += (order + 2.0) * term;
      term *= z / (order + 4.0);
    }
    return result;
  }
  const double expm1 = std::expm1(z);
  const double z2 = z * z;
  result.phi1 = expm1 / z;
  result.phi2 = (expm1 - z) / z2;
  result.phi0Less1 = ((z - 1.0) * result.phi0 + 1.0) / z;
  result.phi1Less2 = (1.0 + (z - 1.0) * result.phi0) / z2;
  result.phi2Less3 = ((z - 1.0) * result.phi0 + 1.0 - z2 / 2.0) / (z2 * z);
  return result;
}

// Per-root forms for the two real roots -x / h and -y / h (x, y: the decay rates times h,
// x != y): every coefficient is a divided difference of an exponential function over -x, -y.
void TwoRootCoefficients(double lambda, double x, double y, double h, QVADynStepCoefficients& step,
                         double& w6) {
  const ExponentialFunctions slow = ExponentialFunctionsAt(-x);
  const ExponentialFunctions fast = ExponentialFunctionsAt(-y);
  const double spread = y - x;
  const double h2 = h * h;
  step.A = (y * slow.phi0 - x * fast.phi0) / spread;
  step.B = h * (slow.phi0 - fast.phi0) / spread;
  step.C = h2 * (slow.phi1Less2 - fast.phi1Less2) / spread;
  step.D = h2 * (slow.phi2 - fast.phi2) / spread;
  step.E = -lambda * step.B;
  step.F = (y * fast.phi0 - x * slow.phi0) / spread;
  step.G = h * (slow.phi0Less1 - fast.phi0Less1) / spread;
  step.H = h * (slow.phi1 - fast.phi1) / spread;
  w6 = h2 * h2 * (slow.phi2Less3 - fast.phi2Less3) / spread;
}

void DampedRigidCoefficients(double damping, double h, QVADynStepCoefficients& step, double& w6) {
  const double q = damping * h;
  if (std::fabs(q) <= kSeriesLimit) {
    SeriesCoefficients(0.0, damping, h, step, w6);
  } else {
    TwoRootCoefficients(0.0, 0.0, q, h, step, w6);
  }
  step.A = 1.0;
  step.E = 0.0;
}

void UndampedCoefficients(double lambda, double h, QVADynStepCoefficients& step, double& w6) {
  const double omega = std::sqrt(lambda);
  const double theta = omega * h;
  if (std::fabs(theta) <= kSeriesLimit) {
    SeriesCoefficients(lambda, 0.0, h, step, w6);
    return;
  }
  OscillatorCoefficients(lambda, 0.0, h, std::cos(theta), std::sin(theta) / omega, 1.0, step, w6);
}

void UnderdampedCoefficients(double lambda, double alpha, double h, QVADynStepCoefficients& step,
                             double& w6) {
  if (std::fabs(std::sqrt(lambda) * h) <= kSeriesLimit) {
    SeriesCoefficients(lambda, 2.0 * alpha, h, step, w6);
    return;
  }
  // lambda - alpha^2 with one rounding, so that omega_d keeps full accuracy near d = eps.
  const double omegaD = std::sqrt(std::fma(-alpha, alpha, lambda));
  const double theta = omegaD * h;
  const double decay = std::exp(-alpha * h);
  const double mu = std::fma(-2.0 * alpha, alpha, lambda) / lambda;
  OscillatorCoefficients(lambda, alpha, h, decay * std::cos(theta),
                         decay * std::sin(theta) / omegaD, mu, step, w6);
}

// The critically damped class: motion of lambda_c = alpha^2, load response scaled by
// alpha^2 / lambda.
void CriticallyDampedCoefficients(double lambda, double alpha, double h,
                                  QVADynStepCoefficients& step, QVADynWorkCoefficients* work) {
  const double lambdaCritical = alpha * alpha;
  double w6 = 0.0;
  if (std::fabs(alpha * h) <= kSeriesLimit) {
    SeriesCoefficients(lambdaCritical, 2.0 * alpha, h, step, w6);
  } else {
    const double decay = std::exp(-alpha * h);
    OscillatorCoefficients(lambdaCritical, alpha, h, decay, decay * h, -1.0, step, w6);
  }
  const double loadScale = lambdaCritical / lambda;
  if (work != nullptr) {
    WorkFromStep(lambdaCritical, h, step, w6, *work);
    work->W[2] *= loadScale;
    work->W[3] *= loadScale;
    work->W[6] *= loadScale;
  }
  step.C *= loadScale;
  step.D *= loadScale;
  step.G *= loadScale;
  step.H *= loadScale;
}

void OverdampedCoefficients(double lambda, double alpha, double h, QVADynStepCoefficients& step,
                            double& w6) {
  const double omega = std::sqrt(lambda);
  const double zeta = alpha / omega;
  // beta = omega sqrt(zeta^2 - 1), from alpha^2 - lambda with one rounding.
  const double beta = std::sqrt(std::fma(alpha, alpha, -lambda));
  const double fastRate = alpha + std::copysign(beta, alpha);  // tau omega
  double slowRate = lambda / fastRate;                         // sigma omega = lambda / (tau omega)
  if (zeta >= 100.0) {
    const double inverse = 1.0 / zeta;
    const double inverse2 = inverse * inverse;
    const double sigma =
        inverse * (0.5 + inverse2 * (0.125 + inverse2 * (0.0625 + inverse2 * 0.0390625)));
    slowRate = sigma * omega;
  }
  const double slow = slowRate * h;
  const double fast = fastRate * h;
  if (std::fabs(fast) <= kSeriesLimit) {
    SeriesCoefficients(lambda, 2.0 * alpha, h, step, w6);
    return;
  }
  if (std::fabs(slow) < kSlowRootLimit) {
    TwoRootCoefficients(lambda, slow, fast, h, step, w6);
    return;
  }
  const double mu = std::fma(-2.0 * alpha, alpha, lambda) / lambda;
  const double halfSpread = beta * h;
  if (std::fabs(halfSpread) <= kHyperbolicLimit) {
    const double decay = std::exp(-alpha * h);
    OscillatorCoefficients(lambda, alpha, h, decay * std::cosh(halfSpread),
                           decay * std::sinh(halfSpread) / beta, mu, step, w6);
    return;
  }
  // Well separated roots: e cosh and e sinh / beta from the two exponentials. A and F are
  // differences of nearly equal halves in that form, so they are taken per root instead.
  const double slowDecay = std::exp(-slow);
  const double fastDecay = std::exp(-fast);
  const double spread = fast - slow;
  OscillatorCoefficients(lambda, alpha, h, (slowDecay + fastDecay) / 2.0,
                         h * (slowDecay - fastDecay) / spread, mu, step, w6);
  step.A = (fast * slowDecay - slow * fastDecay) / spread;
  step.F = (fast * fastDecay - slow * slowDecay) / spread;
}

}  // namespace

double QVADynTransientEpsilon() { return kQVASqrtMachineEpsilon; }

QVADynModeClass QVADynClassifyMode(double lambda, double damping, double stepSize, bool damped) {
  // Quiet comparisons throughout: a NaN input must not raise the invalid-operation flag.
  if (std::isnan(lambda) || std::isnan(stepSize)) return QVADynModeClass::kUndecided;
  const double lambdaClipped = std::isless(lambda, kQVASqrtMachineEpsilon) ? 0.0 : lambda;
  // The undamped coefficients hold for every omega h, so only a zero
  // (clipped) eigenvalue makes a mode rigid.
  if (!damped) return lambdaClipped > 0.0 ? QVADynModeClass::kUndamped : QVADynModeClass::kRigid;
  const double alpha = damping / 2.0;
  if (std::islessequal(lambdaClipped, kQVASqrtMachineEpsilon)) {
    return std::isgreater(alpha, 0.0) ? QVADynModeClass::kDampedRigid : QVADynModeClass::kRigid;
  }
  if (alpha == 0.0) return QVADynModeClass::kUndamped;
  const double ratio = 1.0 - alpha * alpha / lambdaClipped;
  if (std::isgreaterequal(ratio, kQVASqrtMachineEpsilon)) return QVADynModeClass::kUnderdamped;
  if (std::isless(std::fabs(ratio), kQVASqrtMachineEpsilon))
    return QVADynModeClass::kCriticallyDamped;
  if (std::islessequal(ratio, -kQVASqrtMachineEpsilon)) return QVADynModeClass::kOverdamped;
  return QVADynModeClass::kUndecided;
}

QVADynModeClass QVADynComputeStepCoefficients(double lambda, double damping, double stepSize,
                                              bool damped, QVADynStepCoefficients& step,
                                              QVADynWorkCoefficients* work) {
  const QVADynModeClass modeClass = QVADynClassifyMode(lambda, damping, stepSize, damped);
  step = {};
  if (work != nullptr) *work = {};
  const double h = stepSize;
  const double lambdaClipped = std::isless(lambda, kQVASqrtMachineEpsilon) ? 0.0 : lambda;
  const double alpha = damping / 2.0;
  double w6 = 0.0;
  switch (modeClass) {
    case QVADynModeClass::kUndecided:
      return modeClass;
    case QVADynModeClass::kRigid:
      RigidCoefficients(h, step, work);
      return modeClass;
    case QVADynModeClass::kCriticallyDamped:
      CriticallyDampedCoefficients(lambdaClipped, alpha, h, step, work);
      return modeClass;
    case QVADynModeClass::kDampedRigid:
      DampedRigidCoefficients(damping, h, step, w6);
      if (work != nullptr) {
        WorkFromStep(0.0, h, step, w6, *work);
        work->W[0] = 0.0;
        work->W[4] = 0.0;
      }
      return modeClass;
    case QVADynModeClass::kUndamped:
      UndampedCoefficients(lambdaClipped, h, step, w6);
      break;
    case QVADynModeClass::kUnderdamped:
      UnderdampedCoefficients(lambdaClipped, alpha, h, step, w6);
      break;
    case QVADynModeClass::kOverdamped:
      OverdampedCoefficients(lambdaClipped, alpha, h, step, w6);
      break;
  }
  if (work != nullptr) WorkFromStep(lambdaClipped, h, step, w6, *work);
  return modeClass;
}

void QVADynBuildCoefficientTable(int numberOfModes, const double* lambda, const double* damping,
                                 double stepSize, bool damped, double* coefficientTable,
                                 double* workTable) {
  const auto modes = QVAIndex(numberOfModes < 0 ? 0 : numberOfModes);
  for (std::size_t mode = 0; mode < modes; ++mode) {
    const double modeDamping = damping != nullptr ? damping[mode] : 0.0;
    QVADynStepCoefficients step;
    QVADynWorkCoefficients work;
    QVADynComputeStepCoefficients(lambda[mode], modeDamping, stepSize, damped, step,
                                  workTable != nullptr ? &work : nullptr);
    const double values[8] = {step.A, step.B, step.C, step.D, step.E, step.F, step.G, step.H};
    for (std::size_t row = 0; row < 8; ++row) coefficientTable[row * modes + mode] = values[row];
    if (workTable != nullptr) {
      for (std::size_t entry = 0; entry < 7; ++entry) workTable[7 * mode + entry] = work.W[entry];
    }
  }
}
