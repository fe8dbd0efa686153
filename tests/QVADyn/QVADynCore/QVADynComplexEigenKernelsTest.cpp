// The dense kernels of the complex frequency solve: the state-space eigen solve (DGEEV and
// ZGEEV) against closed-form eigenvalues, the band selection rules, the ordering of nearly
// equal frequencies and the normalization of complex vectors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <limits>
#include <vector>

#include "QVADynComplexEigenKernels.h"
#include "internal/QVANumerics.h"
#include "tests/support/QVAFloatingPoint.h"
#include "tests/support/QVATestTolerances.h"

namespace {

using Complex = std::complex<double>;

// Q diag(values) Q^T with Q the rotation by `angle`: a symmetric 2 x 2 matrix
// whose eigenvectors are the columns of Q whatever the values.
QVASrvMatrix Rotated(double angle, double first, double second) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  QVASrvMatrix matrix(2, 2);
  matrix(0, 0) = c * c * first + s * s * second;
  matrix(1, 1) = s * s * first + c * c * second;
  matrix(0, 1) = c * s * (first - second);
  matrix(1, 0) = matrix(0, 1);
  return matrix;
}

// The root with positive imaginary part of lambda^2 + c lambda + k + i s = 0.
Complex UpperRoot(double c, double k, double s) {
  const Complex root = std::sqrt(Complex(c * c - 4.0 * k, -4.0 * s));
  const Complex first = 0.5 * (-c + root);
  const Complex second = 0.5 * (-c - root);
  return first.imag() > 0.0 ? first : second;
}

struct Eigenpairs {
  explicit Eigenpairs(int order)
      : real(order, 1),
        imaginary(order, 1),
        vectorReal(order, order),
        vectorImaginary(order, order) {}
  QVASrvMatrix real;
  QVASrvMatrix imaginary;
  QVASrvMatrix vectorReal;
  QVASrvMatrix vectorImaginary;
  Complex Value(int k) const { return {real(k, 0), imaginary(k, 0)}; }
  Complex Vector(int row, int k) const { return {vectorReal(row, k), vectorImaginary(row, k)}; }
};

int Solve(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
          const QVASrvMatrix* structural, Eigenpairs& pairs) {
  return QVADynSolveStateEigenproblem(stiffness, viscous, structural, pairs.real, pairs.imaginary,
                                      pairs.vectorReal, pairs.vectorImaginary);
}

// max_k ||A v_k - lambda_k v_k|| / ||v_k|| over all eigenpairs, with the state
// matrix A of K, V, S applied blockwise: A [x; y] = [y; -(K + i S) x - V y].
double StateResidual(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
                     const QVASrvMatrix* structural, const Eigenpairs& pairs) {
  const int n = stiffness.NumberOfRows();
  double worst = 0.0;
  for (int k = 0; k < 2 * n; ++k) {
    const Complex lambda = pairs.Value(k);
    double residual = 0.0;
    double norm = 0.0;
    for (int i = 0; i < n; ++i) {
      Complex lower = 0.0;
      for (int j = 0; j < n; ++j) {
        const double s = structural != nullptr ? (*structural)(i, j) : 0.0;
        const double v = viscous != nullptr ? (*viscous)(i, j) : 0.0;
        lower -= Complex(stiffness(i, j), s) * pairs.Vector(j, k) + v * pairs.Vector(n + j, k);
      }
      residual += std::norm(pairs.Vector(n + i, k) - lambda * pairs.Vector(i, k));
      residual += std::norm(lower - lambda * pairs.Vector(n + i, k));
      norm += std::norm(pairs.Vector(i, k)) + std::norm(pairs.Vector(n + i, k));
    }
    worst = std::max(worst, std::sqrt(residual / norm));
  }
  return worst;
}

// The eigenvalues with positive imaginary part, sorted by it.
std::vector<Complex> UpperHalf(const Eigenpairs& pairs) {
  std::vector<Complex> values;
  for (int k = 0; k < pairs.real.NumberOfRows(); ++k) {
    if (pairs.imaginary(k, 0) > 0.0) values.push_back(pairs.Value(k));
  }
  std::sort(values.begin(), values.end(),
            [](const Complex& a, const Complex& b) { return a.imag() < b.imag(); });
  return values;
}

}  // namespace

// K, V and S commute (common eigenvectors Q, rotated by 0.3 rad, so none of
// them is diagonal): each column of Q decouples into lambda^2 + c lambda + k +
// i s = 0. Both routines run on order 4, where the work length rule gives its
// fixed minimum of 100 and the routines must still succeed.
TEST(QVADynComplexEigenKernelsTest, TwoDofSystemMatchesClosedFormRoots) {
  const double angle = 0.3;
  const QVASrvMatrix stiffness = Rotated(angle, 100.0, 400.0);
  const QVASrvMatrix viscous = Rotated(angle, 0.4, 2.0);
  const QVASrvMatrix structural = Rotated(angle, 3.0, 8.0);
  // Backward-stable QR algorithm on a 4 x 4 state matrix with ||A|| ~ 400 and
  // well-separated, well-conditioned eigenvalues (|lambda| ~ 10 ... 20): an
  // eigenvalue error ~ 4 * ||A|| * eps ~ 4e-13, relative to |lambda| ~ 1e-13.
  constexpr double kRelativeTolerance = 1e-11;
  // Every stored vector is an eigenvector of its eigenvalue. In the real case
  // this checks the unpacking of DGEEV's packed pairs, including the sign of
  // the conjugate's imaginary part. Backward-stable: residual ~ N ||A|| eps.
  const double residualTolerance = 100.0 * 4 * 400.0 * kQVAEps;

  for (const QVASrvMatrix* s : std::initializer_list<const QVASrvMatrix*>{nullptr, &structural}) {
    SCOPED_TRACE(s == nullptr ? "DGEEV" : "ZGEEV");
    Eigenpairs pairs(4);
    ASSERT_EQ(Solve(stiffness, &viscous, s, pairs), 0);
    const std::vector<Complex> upper = UpperHalf(pairs);
    ASSERT_EQ(upper.size(), 2U);
    const Complex expected[] = {UpperRoot(0.4, 100.0, s == nullptr ? 0.0 : 3.0),
                                UpperRoot(2.0, 400.0, s == nullptr ? 0.0 : 8.0)};
    for (int i = 0; i < 2; ++i) {
      EXPECT_LE(std::abs(upper[i] - expected[i]), kRelativeTolerance * std::abs(expected[i]))
          << upper[i] << " vs " << expected[i];
    }
    EXPECT_LE(StateResidual(stiffness, &viscous, s, pairs), residualTolerance);
  }
}

// Without damping the eigenvalues are +-i omega with omega^2 the eigenvalues of
// K; proportional damping V = diag(2 zeta omega) gives -zeta omega +- i omega
// sqrt(1 - zeta^2) per mode. Order 10 (n = 5) and order 12 use the N^2 rule.
TEST(QVADynComplexEigenKernelsTest, UndampedAndProportionallyDampedModes) {
  for (int n : {5, 6}) {
    QVASrvMatrix stiffness(n, n);
    QVASrvMatrix viscous(n, n);
    std::vector<double> omega(QVAIndex(n));
    std::vector<double> zeta(QVAIndex(n));
    for (int i = 0; i < n; ++i) {
      omega[i] = 3.0 + 2.5 * i;
      zeta[i] = 0.01 * (i + 1);
      stiffness(i, i) = omega[i] * omega[i];
      viscous(i, i) = 2.0 * zeta[i] * omega[i];
    }
    // Backward-stable QR, ||A|| ~ omega_max^2 ~ 256, eigenvalues >= 3 apart:
    // error ~ N ||A|| eps ~ 1e-12 absolute.
    constexpr double kTolerance = 1e-10;
    for (const QVASrvMatrix* v : std::initializer_list<const QVASrvMatrix*>{nullptr, &viscous}) {
      Eigenpairs pairs(2 * n);
      ASSERT_EQ(Solve(stiffness, v, nullptr, pairs), 0);
      const std::vector<Complex> upper = UpperHalf(pairs);
      ASSERT_EQ(upper.size(), QVAIndex(n));
      for (int i = 0; i < n; ++i) {
        const double z = v == nullptr ? 0.0 : zeta[i];
        EXPECT_NEAR(upper[i].real(), -z * omega[i], kTolerance) << "n " << n << " mode " << i;
        EXPECT_NEAR(upper[i].imag(), omega[i] * std::sqrt(1.0 - z * z), kTolerance) << "n " << n;
      }
      EXPECT_LE(StateResidual(stiffness, v, nullptr, pairs), kTolerance);
    }
  }
}

// Band edges are strict; negative imaginary parts do not qualify unless they
// are below 2.22e-13 in magnitude, when the eigenvalue counts as real and
// qualifies with y > 0 or y <= -0.01.
TEST(QVADynComplexEigenKernelsTest, SelectionRules) {
  const double real[] = {-1.0,  -1.0, -1.0, -1.0, -0.005, 0.0, 0.001,
                         -0.01, -0.5, -0.5, -2.0, -1.0,   -0.5};
  const double imaginary[] = {2.0, 10.0,   5.0,    -0.5, 0.0,          0.0,        0.0,
                              0.0, -1e-13, -3e-13, 9.99, 10.0 - 1e-12, 2.0 + 1e-15};
  double selectedReal[13];
  double selectedImaginary[13];
  int selectedIndex[13];
  // Band (-1, 10). Taken: 2 (k 0), 5 (k 2), real 0.001 (k 6), real -0.01
  // (k 7), -1e-13 with y = -0.5 (k 8), 9.99 (k 10), 10 - 1e-12 (k 11),
  // 2 + 1e-15 (k 12). Skipped: 10 (upper edge, k 1), -0.5 (negative, k 3),
  // real -0.005 and 0 (k 4, 5), -3e-13 (negative beyond the limit, k 9).
  const int count = QVADynSelectComplexEigenvalues(13, real, imaginary, -1.0, 10.0, 13,
                                                   selectedReal, selectedImaginary, selectedIndex);
  const std::vector<int> expected = {0, 2, 6, 7, 8, 10, 11, 12};
  ASSERT_EQ(count, static_cast<int>(expected.size()));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(selectedIndex[i], expected[i]);
    EXPECT_EQ(selectedReal[i], real[expected[i]]);
    EXPECT_EQ(selectedImaginary[i], imaginary[expected[i]]);
  }

  // The lower edge is strict too: a band starting at exactly 2.0 drops k 0.
  EXPECT_EQ(QVADynSelectComplexEigenvalues(13, real, imaginary, 2.0, 10.0, 13, selectedReal,
                                           selectedImaginary, selectedIndex),
            4);
  EXPECT_EQ(selectedIndex[0], 2);

  // The scan stops as soon as `capacity` candidates are held.
  EXPECT_EQ(QVADynSelectComplexEigenvalues(13, real, imaginary, -1.0, 10.0, 3, selectedReal,
                                           selectedImaginary, selectedIndex),
            3);
  EXPECT_EQ(selectedIndex[2], 6);
}

// Sorted by imaginary part; neighbours within 1e-5 of the second one's
// magnitude are then put in ascending real part by one pass from the left.
TEST(QVADynComplexEigenKernelsTest, OrderingByImaginaryPartWithNearlyEqualNeighbours) {
  double real[] = {-0.3, 0.0, -0.01, -5.0, -0.2};
  double imaginary[] = {30.0, 10.0, 10.00005, 20.0, 20.0001};
  int index[] = {0, 1, 2, 3, 4};
  QVADynOrderComplexEigenvalues(5, real, imaginary, index);
  // 10 and 10.00005 differ by 5e-5 < 1e-5 * 10.00005: the more damped first.
  // 20 and 20.0001 differ by 1e-4 < 2.0001e-4 but already ascend in real part.
  const int expectedIndex[] = {2, 1, 3, 4, 0};
  const double expectedReal[] = {-0.01, 0.0, -5.0, -0.2, -0.3};
  const double expectedImaginary[] = {10.00005, 10.0, 20.0, 20.0001, 30.0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(index[i], expectedIndex[i]);
    EXPECT_EQ(real[i], expectedReal[i]);
    EXPECT_EQ(imaginary[i], expectedImaginary[i]);
  }

  // Differences at or above the fraction are left in frequency order. One
  // pass only: a run of three nearly equal values moves the smallest real
  // part by at most one place to the left.
  double farReal[] = {0.0, -0.01};
  double farImaginary[] = {10.0, 10.0002};
  int farIndex[] = {0, 1};
  QVADynOrderComplexEigenvalues(2, farReal, farImaginary, farIndex);
  EXPECT_EQ(farIndex[0], 0);
  double runReal[] = {0.0, -1.0, -2.0};
  double runImaginary[] = {10.0, 10.000001, 10.000002};
  int runIndex[] = {0, 1, 2};
  QVADynOrderComplexEigenvalues(3, runReal, runImaginary, runIndex);
  EXPECT_EQ(std::vector<int>(runIndex, runIndex + 3), (std::vector<int>{1, 2, 0}));
}

TEST(QVADynComplexEigenKernelsTest, NormalizationToLargestComponent) {
  // Largest component 3 - 4i (|z|^2 = 25) at index 1; the first of equal
  // magnitudes wins (index 3 has 4 + 3i, also 25).
  std::vector<double> re = {1.0, 3.0, 0.5, 4.0};
  std::vector<double> im = {2.0, -4.0, 0.0, 3.0};
  std::vector<Complex> original;
  for (int i = 0; i < 4; ++i) original.emplace_back(re[i], im[i]);
  QVADynNormalizeComplexVector(4, re.data(), im.data());
  // Division by 3 - 4i costs a few roundings per entry, |z| <= 1.
  constexpr double kTolerance = 4 * kQVAEps;
  for (int i = 0; i < 4; ++i) {
    const Complex expected = original[i] / original[1];
    EXPECT_NEAR(re[i], expected.real(), kTolerance) << i;
    EXPECT_NEAR(im[i], expected.imag(), kTolerance) << i;
  }

  // Squared magnitude below sqrt(2.22e-16) ~ 1.49e-8: multiplied by the
  // conjugate only, the component becomes |z|^2 + 0i = 1e-8 (exact to rounding).
  std::vector<double> smallRe = {0.6e-4, 0.0};
  std::vector<double> smallIm = {0.8e-4, 1e-5};
  QVADynNormalizeComplexVector(2, smallRe.data(), smallIm.data());
  EXPECT_NEAR(smallRe[0], 1e-8, 4 * kQVAEps * 1e-8);
  EXPECT_NEAR(smallIm[0], 0.0, 4 * kQVAEps * 1e-8);
  // (0 + 1e-5 i)(0.6e-4 - 0.8e-4 i) = 0.8e-9 + 0.6e-9 i.
  EXPECT_NEAR(smallRe[1], 0.8e-9, 4 * kQVAEps * 1e-9);
  EXPECT_NEAR(smallIm[1], 0.6e-9, 4 * kQVAEps * 1e-9);

  // Zeros stay zeros; an empty vector is accepted.
  std::vector<double> zeroRe(3, 0.0);
  std::vector<double> zeroIm(3, 0.0);
  QVADynNormalizeComplexVector(3, zeroRe.data(), zeroIm.data());
  EXPECT_EQ(zeroRe, std::vector<double>(3, 0.0));
  EXPECT_EQ(zeroIm, std::vector<double>(3, 0.0));
  QVADynNormalizeComplexVector(0, nullptr, nullptr);
}
