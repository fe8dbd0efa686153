// Writes the reference values of the transient step and work coefficients that
// QVADynTransientCoefficientsTest compares against (transient_coefficients.txt).
// Not part of the build; run it by hand after changing the sample grid:
//
//   g++ -O2 -std=gnu++20 QVADynTransientReferenceGenerator.cpp -lquadmath -o generator
//   ./generator > transient_coefficients.txt            (the committed grid)
//   ./generator --dense > /tmp/transient_dense.txt      (a finer grid for accuracy surveys)
//
// Everything is computed in 128-bit floating point (113-bit significand, ~34 digits) from the
// exact double inputs, by a route independent of the component's double code: the impulse
// response phi of q'' + c q' + lambda q = 0 and its integrals Phi1..Phi3 come from partial
// fractions over the (complex) roots with the exponential functions phi_m, or, for small
// root sizes, from the power series of phi in time; the two are checked against each other
// where both are accurate, and both against the textbook closed forms of each class. The
// larger of the two errors of any route is reported on stderr; it must stay far below 1e-20.
//
// Line format (whitespace separated):
//   class damped lambda c h   then for A B C D E F G H W0 W1 W2 W3 W4 W5 W6: value scale
// lambda, c, h are C99 hexadecimal doubles (exact). `scale` is the coefficient's natural size,
// never below |value|: for an oscillating mode whose step spans at least a quarter period, the
// amplitude (the largest value over eight phases of the oscillation at the same h and envelope);
// otherwise the smaller of |value| at h (1 - 1/20) and h (1 + 1/20). Near a zero crossing this is
// the size of the coefficient a little way off; elsewhere it is |value|.

#include <quadmath.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

__extension__ typedef __float128 Quad;
__extension__ typedef __complex128 ComplexQuad;

enum ModeClass {
  kRigid,
  kDampedRigid,
  kUndamped,
  kUnderdamped,
  kCritical,
  kOverdamped,
  kUndecided
};
const char* const kClassNames[] = {"rigid",    "damped_rigid", "undamped", "underdamped",
                                   "critical", "overdamped",   "undecided"};
constexpr int kValues = 15;

// Classification in double arithmetic, rule by rule.
ModeClass Classify(double lambda, double c, double h, bool damped) {
  const double eps = std::sqrt(2.22e-16);
  const double lambdaClipped = lambda < eps ? 0.0 : lambda;
  if (!damped) return lambdaClipped > 0.0 ? kUndamped : kRigid;
  const double alpha = c / 2.0;
  if (lambdaClipped <= eps) return alpha > 0.0 ? kDampedRigid : kRigid;
  if (alpha == 0.0) return kUndamped;
  const double d = 1.0 - alpha * alpha / lambdaClipped;
  if (d >= eps) return kUnderdamped;
  if (std::fabs(d) < eps) return kCritical;
  if (d <= -eps) return kOverdamped;
  return kUndecided;
}

// phi(h), phi'(h), Phi1(h), Phi2(h), Phi3(h).
struct Base {
  Quad phi, dphi, integral[3];
};

Quad Abs(Quad x) { return x < 0 ? -x : x; }

// Power series of phi(s h) / h in s, summed to far below quad round-off.
Base SeriesBase(Quad lambda, Quad c, Quad h) {
  const Quad q = c * h;
  const Quad omegaH2 = lambda * h * h;
  Quad previous = 0, current = 1;
  Quad psi = 0, dpsi = 0, p1 = 0, p2 = 0, p3 = 0;
  for (int n = 1; n < 400; ++n) {
    const Quad order = n;
    psi += current;
    dpsi += order * current;
    p1 += current / (order + 1);
    p2 += current / ((order + 1) * (order + 2));
    p3 += current / ((order + 1) * (order + 2) * (order + 3));
    const Quad next = -(q * order * current + omegaH2 * previous) / ((order + 1) * order);
    previous = current;
    current = next;
    if (n > 20 && Abs(current) + Abs(previous) < 1e-45Q * (Abs(psi) + Abs(p3))) break;
  }
  return {h * psi, dpsi, {h * h * p1, h * h * h * p2, h * h * h * h * p3}};
}

// phi_0 ... phi_4 at a complex argument. A `phase` other than 1 multiplies exp(z) (not the
// polynomial parts): the functions of an oscillation whose phase is shifted.
void PhiFunctions(ComplexQuad z, ComplexQuad out[5], ComplexQuad phase = 1) {
  if (cabsq(z) <= 1 && phase == 1) {
    for (int m = 0; m < 5; ++m) {
      ComplexQuad term = 1;
      for (int k = 1; k <= m; ++k) term /= k;
      ComplexQuad sum = 0;
      for (int j = 0; j < 60; ++j) {
        sum += term;
        term *= z / (j + m + 1);
      }
      out[m] = sum;
    }
    return;
  }
  out[0] = cexpq(z) * phase;
  Quad factorial = 1;
  for (int m = 0; m < 4; ++m) {
    out[m + 1] = (out[m] - 1 / factorial) / z;
    factorial *= m + 1;
  }
}

// Partial fractions over the roots of r^2 + c r + lambda = 0; `phase` shifts the phase of an
// oscillation (complex roots only).
Base RootBase(Quad lambda, Quad c, Quad h, ComplexQuad phase = 1) {
  const Quad alpha = c / 2;
  const Quad disc = alpha * alpha - lambda;
  ComplexQuad r1, r2;
  if (disc < 0) {
    const Quad omegaD = sqrtq(-disc);
    __real__ r1 = -alpha;
    __imag__ r1 = omegaD;
    __real__ r2 = -alpha;
    __imag__ r2 = -omegaD;
  } else {
    const Quad fast = -(alpha + (alpha < 0 ? -sqrtq(disc) : sqrtq(disc)));
    r1 = fast;
    r2 = fast == 0 ? 0 : lambda / fast;
  }
  ComplexQuad f1[5], f2[5];
  const ComplexQuad z1 = r1 * h, z2 = r2 * h;
  PhiFunctions(z1, f1, phase);
  Base base;
  Quad power = h;
  if (disc == 0) {
    base.phi = crealq(h * f1[0]);
    base.dphi = crealq((1 + z1) * f1[0]);
    for (int m = 1; m <= 3; ++m) {
      power *= h;
      base.integral[m - 1] = crealq(power * (f1[m] - m * f1[m + 1]));
    }
    return base;
  }
  PhiFunctions(z2, f2, conjq(phase));
  const ComplexQuad spread = z1 - z2;
  base.phi = crealq(h * (f1[0] - f2[0]) / spread);
  base.dphi = crealq((z1 * f1[0] - z2 * f2[0]) / spread);
  for (int m = 1; m <= 3; ++m) {
    power *= h;
    base.integral[m - 1] = crealq(power * (f1[m] - f2[m]) / spread);
  }
  return base;
}

Quad RootSize(Quad lambda, Quad c, Quad h) {
  const Quad alpha = Abs(c / 2);
  const Quad disc = alpha * alpha - lambda;
  const Quad size = disc < 0 ? sqrtq(lambda) : alpha + sqrtq(disc);
  return size * Abs(h);
}

struct Discrepancy {
  double seriesVsRoots = 0.0;
  double closedForms[7] = {0, 0, 0, 0, 0, 0, 0};
} gDiscrepancy;

void Note(double& worst, Quad a, Quad b, Quad scale) {
  if (scale == 0) return;
  const double error = static_cast<double>(Abs(a - b) / scale);
  if (error > worst) worst = error;
}

// Coefficients of the system (lambdaSystem, cSystem); loadScale multiplies the load response.
void FromBase(const Base& b, Quad lambdaSystem, Quad cSystem, Quad h, Quad loadScale,
              Quad out[kValues]) {
  const Quad phi1 = b.integral[0], phi2 = b.integral[1], phi3 = b.integral[2];
  out[0] = b.dphi + cSystem * b.phi;
  out[1] = b.phi;
  out[2] = loadScale * (phi1 - phi2 / h);
  out[3] = loadScale * (phi2 / h);
  out[4] = -lambdaSystem * b.phi;
  out[5] = b.dphi;
  out[6] = loadScale * (b.phi - phi1 / h);
  out[7] = loadScale * (phi1 / h);
  out[8] = -lambdaSystem * phi1;
  out[9] = b.phi;
  out[10] = loadScale * h * phi1;
  out[11] = loadScale * phi1;
  out[12] = -lambdaSystem * (h * phi1 - phi2);
  out[13] = h * b.phi - phi1;
  out[14] = loadScale * (h * phi2 - phi3);
}

// The textbook closed forms of each class (step coefficients; work for three classes).
// Returns the number of values filled.
int ClosedForms(ModeClass cls, Quad lambda, Quad c, Quad h, Quad out[kValues]) {
  const Quad alpha = c / 2;
  const Quad eps = sqrtq(2.22e-16Q);
  const Quad lam = lambda < eps ? 0 : lambda;
  switch (cls) {
    case kRigid: {
      const Quad v[kValues] = {
          1,         h, h * h / 3, h * h / 6,        0, 1, h / 2, h / 2, 0, h, h * h * h / 2,
          h * h / 2, 0, h * h / 2, h * h * h * h / 8};
      std::memcpy(out, v, sizeof v);
      return kValues;
    }
    case kDampedRigid: {
      const Quad q = c * h, e = expq(-q), p = 1 - e;
      const Quad v[kValues] = {1,
                               p / c,
                               (1 / q + 1) * h / c - p * (1 / q + 1) / (c * c) - h / (2 * c),
                               p / (q * c * c) - 1 / (c * c) + h / (2 * c),
                               0,
                               e,
                               (p * (1 / q + 1) - 1) / c,
                               (1 - p / q) / c,
                               0,
                               p / c,
                               (h / c) * (h - p / c),
                               (h - p / c) / c,
                               0,
                               (p / c - e * h) / c,
                               (p - q * e - q * q / 2 + q * q * q / 3) / (c * c * c * c)};
      std::memcpy(out, v, sizeof v);
      return kValues;
    }
    case kUndamped: {
      const Quad w = sqrtq(lam), th = w * h, s = sinq(th), k = cosq(th);
      const Quad v[kValues] = {k,
                               s / w,
                               (s - th * k) / (w * w * w * h),
                               (th - s) / (w * w * w * h),
                               -w * s,
                               k,
                               (th * s + k - 1) / (lam * h),
                               (1 - k) / (lam * h),
                               k - 1,
                               s / w,
                               h * (1 - k) / lam,
                               (1 - k) / lam,
                               h * k - s / w,
                               (th * s + k - 1) / lam,
                               (th * th / 2 + 1 - k - th * s) / (lam * lam)};
      std::memcpy(out, v, sizeof v);
      return kValues;
    }
    case kUnderdamped: {
      const Quad wd = sqrtq(lam - alpha * alpha), th = wd * h, s = sinq(th), k = cosq(th);
      const Quad e = expq(-alpha * h), kap = 2 * alpha * wd / lam,
                 mu = (wd * wd - alpha * alpha) / lam, n = th * lam;
      out[0] = (k + (alpha / wd) * s) * e;
      out[1] = e * s / wd;
      out[2] = (((mu - alpha * h) * s - (th + kap) * k) * e + kap) / n;
      out[3] = ((kap * k - mu * s) * e + th - kap) / n;
      out[4] = -(lam / wd) * e * s;
      out[5] = (k - (alpha / wd) * s) * e;
      out[6] = (((lam * h + alpha) * s + wd * k) * e - wd) / n;
      out[7] = (wd - (alpha * s + wd * k) * e) / n;
      return 8;
    }
    case kCritical: {
      const Quad q = alpha * h, e = expq(-q);
      out[0] = (q + 1) * e;
      out[1] = e * h;
      out[2] = (2 - (2 * q + 2 + q * q) * e) / (q * lam);
      out[3] = ((q + 2) * e + q - 2) / (q * lam);
      out[4] = -q * alpha * e;
      out[5] = (1 - q) * e;
      out[6] = ((q * q + q + 1) * e - 1) / (h * lam);
      out[7] = (1 - (q + 1) * e) / (h * lam);
      return 8;
    }
    case kOverdamped: {
      const Quad w = sqrtq(lam), z = alpha / w, r = sqrtq(z * z - 1), t = z + r;
      const Quad sg = 1 / t;  // zeta - r without cancellation
      const Quad om = w * h, e1 = expq(-sg * om), e2 = expq(-t * om), p = lam * r * w * h;
      out[0] = (t * e1 - sg * e2) / (2 * r);
      out[1] = (e1 - e2) / (2 * r * w);
      out[2] = (2 * z * r - (om + t) * t * e1 / 2 + (om + sg) * sg * e2 / 2) / p;
      out[3] = (t * t * e1 - sg * sg * e2) / (2 * p) + 1 / lam - 2 * z / (lam * w * h);
      out[4] = -(w / r) * (e1 - e2) / 2;
      out[5] = (t * e2 - sg * e1) / (2 * r);
      out[6] = (((om + t) * e1 - (om + sg) * e2) / (2 * r) - 1) / (lam * h);
      out[7] = (sg * e2 / 2 - t * e1 / 2 + r) / (lam * r * h);
      return 8;
    }
    case kUndecided:
      break;
  }
  return 0;
}

// Reference values of one mode at step size h (the class is that of the unperturbed step).
// `check` receives the values of the second route (series or roots) where both are accurate,
// and `closed` the closed forms where they do not cancel; the return values say how many.
struct Checks {
  int fromOtherRoute = 0;
  int fromClosedForms = 0;
  Quad otherRoute[kValues];
  Quad closedForms[kValues];
};

void Reference(ModeClass cls, double lambdaIn, double cIn, Quad h, Quad out[kValues],
               Checks* checks) {
  const Quad eps = sqrtq(2.22e-16Q);
  const Quad lambda = lambdaIn < eps ? 0 : static_cast<Quad>(lambdaIn);
  const Quad c = cIn;
  Quad lambdaSystem = lambda, cSystem = c, loadScale = 1;
  switch (cls) {
    case kRigid:
      lambdaSystem = 0;
      cSystem = 0;
      break;
    case kDampedRigid:
      lambdaSystem = 0;
      break;
    case kUndamped:
      cSystem = 0;
      break;
    case kCritical:
      lambdaSystem = (c / 2) * (c / 2);
      loadScale = lambdaSystem / lambda;
      break;
    default:
      break;
  }
  const Quad rho = RootSize(lambdaSystem, cSystem, h);
  Quad fromSeries[kValues], fromRoots[kValues];
  FromBase(SeriesBase(lambdaSystem, cSystem, h), lambdaSystem, cSystem, h, loadScale, fromSeries);
  const bool useSeries = rho <= 2;
  if (!useSeries || rho >= 0.05Q) {
    FromBase(RootBase(lambdaSystem, cSystem, h), lambdaSystem, cSystem, h, loadScale, fromRoots);
  }
  std::memcpy(out, useSeries ? fromSeries : fromRoots, sizeof fromSeries);
  if (checks == nullptr) return;
  if (rho >= 0.05Q && rho <= 4) {
    checks->fromOtherRoute = kValues;
    std::memcpy(checks->otherRoute, useSeries ? fromRoots : fromSeries, sizeof fromSeries);
  }
  if (rho >= 0.3Q)
    checks->fromClosedForms = ClosedForms(cls, lambdaIn, cIn, h, checks->closedForms);
}

// Natural size of the coefficients of an oscillating mode (undamped or underdamped) whose step
// holds at least a quarter period: the largest value over eight phases of the oscillation at the
// same step size and envelope. Returns false where that does not apply.
bool OscillationAmplitude(ModeClass cls, double lambdaIn, double cIn, Quad h, Quad scale[kValues]) {
  if (cls != kUndamped && cls != kUnderdamped) return false;
  const Quad lambda = lambdaIn;
  const Quad c = cls == kUndamped ? 0 : static_cast<Quad>(cIn);
  const Quad omegaD2 = lambda - (c / 2) * (c / 2);
  if (omegaD2 <= 0 || sqrtq(omegaD2) * Abs(h) < M_PI_2q) return false;
  for (int i = 0; i < kValues; ++i) scale[i] = 0;
  for (int k = 0; k < 8; ++k) {
    ComplexQuad phase;
    __real__ phase = cosq(k * M_PI_4q);
    __imag__ phase = sinq(k * M_PI_4q);
    Quad shifted[kValues];
    FromBase(RootBase(lambda, c, h, phase), lambda, c, h, 1, shifted);
    for (int i = 0; i < kValues; ++i)
      scale[i] = Abs(shifted[i]) > scale[i] ? Abs(shifted[i]) : scale[i];
  }
  return true;
}

void PrintDouble(double value) { std::printf(" %a", value); }

void PrintQuad(Quad value, const char* format) {
  char buffer[64];
  quadmath_snprintf(buffer, sizeof buffer, format, value);
  std::printf(" %s", buffer);
}

void Emit(double lambda, double c, double h, bool damped) {
  const ModeClass cls = Classify(lambda, c, h, damped);
  if (cls == kUndecided) return;
  Quad value[kValues], below[kValues], above[kValues];
  const Quad hq = h;
  Checks checks;
  Reference(cls, lambda, c, hq, value, &checks);
  Reference(cls, lambda, c, hq * (1 - 0.05Q), below, nullptr);
  Reference(cls, lambda, c, hq * (1 + 0.05Q), above, nullptr);
  std::printf("%s %d", kClassNames[cls], damped ? 1 : 0);
  PrintDouble(lambda);
  PrintDouble(c);
  PrintDouble(h);
  Quad amplitude[kValues];
  const bool oscillating = OscillationAmplitude(cls, lambda, c, hq, amplitude);
  for (int i = 0; i < kValues; ++i) {
    const Quad neighbour = Abs(below[i]) < Abs(above[i]) ? Abs(below[i]) : Abs(above[i]);
    const Quad offCrossing = oscillating ? amplitude[i] : neighbour;
    const Quad scale = Abs(value[i]) > offCrossing ? Abs(value[i]) : offCrossing;
    if (i < checks.fromOtherRoute) {
      Note(gDiscrepancy.seriesVsRoots, checks.otherRoute[i], value[i], scale);
    }
    if (i < checks.fromClosedForms) {
      Note(gDiscrepancy.closedForms[cls], checks.closedForms[i], value[i], scale);
    }
    PrintQuad(value[i], "%.18Qe");
    PrintQuad(scale, "%.1Qe");
  }
  std::printf("\n");
}

// Step size for a dimensionless Omega = omega h, and damping for a damping ratio zeta.
void EmitRatio(double lambda, double zeta, double omegaH, bool damped) {
  const double omega = std::sqrt(lambda);
  Emit(lambda, 2.0 * zeta * omega, omegaH / omega, damped);
}

std::vector<double> LogGrid(double from, double to, int count) {
  std::vector<double> grid;
  for (int i = 0; i < count; ++i) {
    // A slightly irregular grid, so that no point sits on a round number by construction.
    const double t = (i + 0.37 * std::sin(1.7 * i + 0.4) * (i > 0 && i + 1 < count)) / (count - 1);
    grid.push_back(from * std::pow(to / from, t));
  }
  return grid;
}

}  // namespace

int main(int argc, char** argv) {
  const bool dense = argc > 1 && std::strcmp(argv[1], "--dense") == 0;
  const int count = dense ? 160 : 10;
  const double lambdas[] = {1.0, 0.0371, 6.4e5};
  // Points around the switches between evaluation routes (root size 1, slow root 1/4).
  const double nearSwitch[] = {0.23, 0.26, 0.5, 0.97, 1.0, 1.03, 1.3, 2.1};
  int pick = 0;
  auto nextLambda = [&]() { return lambdas[pick++ % 3]; };

  // Rigid: no stiffness or stiffness below the tolerance; a slow mode (omega h ~ 1e-6) stays
  // undamped.
  Emit(0.0, 0.0, 0.25, false);
  Emit(1e-9, 0.0, 3.5, false);
  Emit(1.0, 0.0, 1.2e-6, false);
  Emit(4.0e4, 0.0, 7.0e-9, false);
  Emit(1e-9, 0.0, 2.0, true);
  Emit(0.0, -0.3, 0.75, true);

  // Undamped, without and with the damping flag.
  for (double omegaH : LogGrid(1.6e-6, 1e3, 2 * count)) EmitRatio(nextLambda(), 0.0, omegaH, false);
  for (double omegaH : nearSwitch) EmitRatio(nextLambda(), 0.0, omegaH, false);
  for (double omegaH : LogGrid(1e-9, 1e3, count / 2)) EmitRatio(nextLambda(), 0.0, omegaH, true);

  // Damped rigid: q = c h from 1e-12 to 1e3, with no stiffness or stiffness below eps.
  const double rigidLambdas[] = {0.0, 1.2e-8};
  for (double q : LogGrid(1e-12, 1e3, 2 * count)) {
    const double c = 0.8 + 1.3 * (pick % 4);
    Emit(rigidLambdas[pick++ % 2], c, q / c, true);
  }
  for (double q : nearSwitch) Emit(0.0, 2.5, q / 2.5, true);

  // Underdamped, critically damped and overdamped over the step-size range.
  const double underdamped[] = {1e-4, 0.05, 0.3, 0.7, 0.95, 1.0 - 1e-8};
  const double overdamped[] = {1.0 + 1e-8, 1.01, 1.5, 3.0, 10.0, 99.5, 100.0, 1e3, 1e4};
  for (double zeta : underdamped) {
    for (double omegaH : LogGrid(1e-8, 1e3, count)) EmitRatio(nextLambda(), zeta, omegaH, true);
    for (double omegaH : nearSwitch) EmitRatio(nextLambda(), zeta, omegaH, true);
  }
  // Critical: exact (c = 2 omega with omega^2 exact) and within the tolerance on both sides.
  const double omegas[] = {1.0, 0.25, 800.0};
  for (double relative : {0.0, 3e-9, -3e-9}) {
    for (double alphaH : LogGrid(1e-8, 1e3, count)) {
      const double omega = omegas[pick++ % 3];
      Emit(omega * omega, 2.0 * omega * (1.0 + relative), alphaH / omega, true);
    }
    for (double alphaH : nearSwitch) Emit(1.0, 2.0 * (1.0 + relative), alphaH, true);
  }
  for (double zeta : overdamped) {
    // Root size rho = (zeta + r) Omega: cover rho up to 1e3 and beyond for large zeta.
    for (double omegaH : LogGrid(1e-9, 1e3, count)) EmitRatio(nextLambda(), zeta, omegaH, true);
    for (double slowH : nearSwitch) {
      const double sigma = 1.0 / (zeta + std::sqrt(zeta * zeta - 1.0));
      EmitRatio(nextLambda(), zeta, slowH / sigma, true);
      EmitRatio(nextLambda(), zeta, slowH / (zeta + std::sqrt(zeta * zeta - 1.0)), true);
    }
  }
  std::fprintf(stderr, "series against roots: %.3g\n", gDiscrepancy.seriesVsRoots);
  for (int cls = 0; cls < 6; ++cls) {
    std::fprintf(stderr, "closed forms, %s: %.3g\n", kClassNames[cls],
                 gDiscrepancy.closedForms[cls]);
  }
  return 0;
}
