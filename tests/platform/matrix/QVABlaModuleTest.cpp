// BLAS by address: a transposed product and a symmetric rank update against
// naive loops (LAPACK's eigen routines are checked through the complex eigen
// kernels).

#include <gtest/gtest.h>

#include <vector>

#include "platform/matrix/QVABlaModule.h"
#include "tests/platform/matrix/QVAMatrixTestSupport.h"

namespace {

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

// The lower triangle of c - a a^T; the strictly upper triangle keeps its values.
TEST(QVABlaModule, DsyrkUpdatesTheLowerTriangleOnly) {
  const int n = 5;
  const int k = 3;
  const std::vector<double> a = QVARandomValues(n, k, 4);
  std::vector<double> c = QVARandomValues(n, n, 5);
  const std::vector<double> c0 = c;
  const char lower = 'L';
  const char noTranspose = 'N';
  const double alpha = -1.0;
  const double beta = 1.0;
  BLAC_DSYRK(&lower, &noTranspose, &n, &k, &alpha, a.data(), &n, &beta, c.data(), &n);
  const std::vector<double> product = QVANaiveProduct(a, n, k, QVATransposed(a, n, k), n);
  for (int column = 0; column < n; ++column) {
    for (int row = 0; row < n; ++row) {
      const std::size_t at = static_cast<std::size_t>(row + column * n);
      const double expected = row >= column ? c0[at] - product[at] : c0[at];
      // As the product above: k + 1 roundings.
      EXPECT_NEAR(c[at], expected, QVAProductTolerance(k + 1)) << row << ", " << column;
    }
  }
}

}  // namespace
