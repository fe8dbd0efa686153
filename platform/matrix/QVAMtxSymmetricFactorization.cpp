#include "platform/matrix/impl/QVAMtxSymmetricFactorization.h"

#include <algorithm>
#include <cstddef>

#include "internal/QVAAssert.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/impl/QVAMtxLapack.h"

int QVAMtxFactorSymmetric(int n, double* values, int* pivots, std::vector<double>& scratch) {
  QVA_ASSERT(n >= 0 && (n == 0 || (values != nullptr && pivots != nullptr)), n);
  const char lower = 'L';
  double optimalWork = 0.0;
  const int query = -1;
  int info = 0;
  dsytrf_(&lower, &n, values, &n, pivots, &optimalWork, &query, &info, 1);
  const int workSize = std::max(1, static_cast<int>(optimalWork));
  if (scratch.size() < QVAIndex(workSize)) scratch.resize(QVAIndex(workSize));
  dsytrf_(&lower, &n, values, &n, pivots, scratch.data(), &workSize, &info, 1);
  return info;
}

int QVAMtxSolveSymmetric(int n, const double* factors, const int* pivots,
                         int numberOfRightHandSides, double* b) {
  const char lower = 'L';
  for (int k = 0; k < n; ++k) {
    if (pivots[k] != k + 1) {
      int info = 0;
      dsytrs_(&lower, &n, &numberOfRightHandSides, factors, &n, pivots, b, &n, &info, 1);
      return info;
    }
  }
  if (n == 0 || numberOfRightHandSides == 0) return 0;
  // L D L^T x = b: L y = b, then D z = y, then L^T x = z.
  const char left = 'L', noTranspose = 'N', transpose = 'T', unit = 'U';
  const double one = 1.0;
  dtrsm_(&left, &lower, &noTranspose, &unit, &n, &numberOfRightHandSides, &one, factors, &n, b, &n,
         1, 1, 1, 1);
  for (int column = 0; column < numberOfRightHandSides; ++column) {
    double* solution = b + QVAColumnMajor(0, column, n);
    for (int k = 0; k < n; ++k) solution[k] /= factors[QVAColumnMajor(k, k, n)];
  }
  dtrsm_(&left, &lower, &transpose, &unit, &n, &numberOfRightHandSides, &one, factors, &n, b, &n, 1,
         1, 1, 1);
  return 0;
}
