#include "platform/matrix/QVAMtxSymmetricFactorization.h"

#include <algorithm>
#include <cstddef>

#include "platform/matrix/QVAMtxLapack.h"

namespace {

std::size_t At(int row, int column, int ld) {
  return static_cast<std::size_t>(row) + static_cast<std::size_t>(column) * ld;
}

}  // namespace

int QVAMtxFactorSymmetric(int n, double* values, int* pivots, std::vector<double>& scratch) {
  const char lower = 'L';
  double optimalWork = 0.0;
  const int query = -1;
  int info = 0;
  dsytrf_(&lower, &n, values, &n, pivots, &optimalWork, &query, &info, 1);
  const int workSize = std::max(1, static_cast<int>(optimalWork));
  if (scratch.size() < static_cast<std::size_t>(workSize)) {
    scratch.resize(static_cast<std::size_t>(workSize));
  }
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
    double* solution = b + At(0, column, n);
    for (int k = 0; k < n; ++k) solution[k] /= factors[At(k, k, n)];
  }
  dtrsm_(&left, &lower, &transpose, &unit, &n, &numberOfRightHandSides, &one, factors, &n, b, &n, 1,
         1, 1, 1);
  return 0;
}
