// BLAS and LAPACK by address: products against naive loops, eigenpairs
// checked by their residuals.

#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "platform/matrix/QVABlaModule.h"
#include "tests/platform/matrix/QVAMatrixTestSupport.h"

namespace {

using Complex = std::complex<double>;

TEST(QVABlaModule, DgemmWithTranspositionsMatchesNaiveLoops) {
  const int m = 6;
  const int n = 4;
  const int k = 5;
  const std::vector<double> aT = QVARandomValues(k, m, 1);  // stored transposed
  const std::vector<double> b = QVARandomValues(k, n, 2);
  std::vector<double> c = QVARandomValues(m, n, 3);
  const std::vector<double> c0 = c;
  const char transpose = 'T';
  const char noTranspose = 'N';
  const double alpha = -1.0;
  const double beta = 1.0;
  BLAC_DGEMM(&transpose, &noTranspose, &m, &n, &k, &alpha, aT.data(), &k, b.data(), &k, &beta,
             c.data(), &m);
  std::vector<double> reference = QVANaiveProduct(QVATransposed(aT, k, m), m, k, b, n);
  for (std::size_t i = 0; i < reference.size(); ++i) reference[i] = c0[i] - reference[i];
  // One more rounding for the update with beta = 1.
  EXPECT_LE(QVAMaxDifference(c, reference), QVAProductTolerance(k + 1));
}

TEST(QVABlaModule, DgemvMatchesNaiveLoop) {
  const int m = 7;
  const int n = 3;
  const std::vector<double> a = QVARandomValues(m, n, 4);
  const std::vector<double> x = QVARandomValues(n, 1, 5);
  std::vector<double> y(static_cast<std::size_t>(m), 0.0);
  const char noTranspose = 'N';
  const double one = 1.0;
  const double zero = 0.0;
  const int increment = 1;
  BLAC_DGEMV(&noTranspose, &m, &n, &one, a.data(), &m, x.data(), &increment, &zero, y.data(),
             &increment);
  EXPECT_LE(QVAMaxDifference(y, QVANaiveProduct(a, m, n, x, 1)), QVAProductTolerance(n));
}

// |A v - lambda v| / (|A| |v|) over every eigenpair; a backward-stable
// eigensolver keeps it near n * eps (tolerance 10 n eps).
TEST(QVABlaModule, DgeevEigenpairsHaveSmallResiduals) {
  const int n = 6;
  const std::vector<double> a = QVARandomValues(n, n, 6);
  std::vector<double> work = a;
  std::vector<double> wr(n);
  std::vector<double> wi(n);
  std::vector<double> vl(1);
  std::vector<double> vr(static_cast<std::size_t>(n * n));
  const int lwork = 4 * n * n;
  std::vector<double> scratch(static_cast<std::size_t>(lwork));
  const int one = 1;
  int info = -1;
  BLAC_DGEEV("n", "v", &n, work.data(), &n, wr.data(), wi.data(), vl.data(), &one, vr.data(), &n,
             scratch.data(), &lwork, &info, 1, 1);
  ASSERT_EQ(info, 0);
  bool sawComplexPair = false;
  for (int j = 0; j < n; ++j) {
    std::vector<Complex> v(static_cast<std::size_t>(n));
    const Complex lambda(wr[j], wi[j]);
    for (int i = 0; i < n; ++i) {
      // A complex pair stores the real part in column j and the imaginary part in j + 1.
      if (wi[j] == 0.0) {
        v[i] = vr[static_cast<std::size_t>(i + j * n)];
      } else if (wi[j] > 0.0) {
        v[i] = Complex(vr[static_cast<std::size_t>(i + j * n)],
                       vr[static_cast<std::size_t>(i + (j + 1) * n)]);
      } else {
        v[i] = Complex(vr[static_cast<std::size_t>(i + (j - 1) * n)],
                       -vr[static_cast<std::size_t>(i + j * n)]);
      }
    }
    sawComplexPair = sawComplexPair || wi[j] != 0.0;
    double residual = 0.0;
    double size = 0.0;
    for (int i = 0; i < n; ++i) {
      Complex av = 0.0;
      for (int l = 0; l < n; ++l) av += a[static_cast<std::size_t>(i + l * n)] * v[l];
      residual = std::max(residual, std::abs(av - lambda * v[i]));
      size = std::max(size, std::abs(v[i]));
    }
    EXPECT_LE(residual / (n * QVAMaxAbs(a) * size), 10.0 * n * kQVAEps) << "eigenpair " << j;
  }
  EXPECT_TRUE(sawComplexPair);  // a random real matrix of order 6 has one (seeded)
}

TEST(QVABlaModule, ZgeevEigenpairsHaveSmallResiduals) {
  const int n = 5;
  const std::vector<double> re = QVARandomValues(n, n, 7);
  const std::vector<double> im = QVARandomValues(n, n, 8);
  std::vector<Complex> a(static_cast<std::size_t>(n * n));
  double largest = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    a[i] = Complex(re[i], im[i]);
    largest = std::max(largest, std::abs(a[i]));
  }
  std::vector<Complex> work = a;
  std::vector<Complex> w(n);
  std::vector<Complex> vl(1);
  std::vector<Complex> vr(static_cast<std::size_t>(n * n));
  const int lwork = 100;
  std::vector<Complex> scratch(lwork);
  std::vector<double> rwork(static_cast<std::size_t>(2 * n));
  const int one = 1;
  int info = -1;
  BLAC_ZGEEV("n", "v", &n, work.data(), &n, w.data(), vl.data(), &one, vr.data(), &n,
             scratch.data(), &lwork, rwork.data(), &info, 1, 1);
  ASSERT_EQ(info, 0);
  for (int j = 0; j < n; ++j) {
    double residual = 0.0;
    double size = 0.0;
    for (int i = 0; i < n; ++i) {
      Complex av = 0.0;
      for (int l = 0; l < n; ++l)
        av += a[static_cast<std::size_t>(i + l * n)] * vr[static_cast<std::size_t>(l + j * n)];
      residual = std::max(residual, std::abs(av - w[j] * vr[static_cast<std::size_t>(i + j * n)]));
      size = std::max(size, std::abs(vr[static_cast<std::size_t>(i + j * n)]));
    }
    // As for dgeev; complex arithmetic adds a few roundings per product.
    EXPECT_LE(residual / (n * largest * size), 10.0 * n * kQVAEps) << "eigenpair " << j;
  }
}

}  // namespace
