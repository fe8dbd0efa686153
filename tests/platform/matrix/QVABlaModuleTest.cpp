// BLAS by address: a transposed product against naive loops (LAPACK's eigen routines are
// checked through the complex eigen kernels).

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

}  // namespace
