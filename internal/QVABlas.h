#pragma once

// BLAS products with arguments by value, over the matrix services' BLAC_
// wrappers, for the library's own kernels:
//
//   // c (m x n) <- a (m x k) * b^T (b is n x k), all column-major
//   QVAGemm('N', 'T', m, n, k, 1.0, a, m, b, n, 0.0, c, m);

#include <algorithm>

#include "internal/QVANumerics.h"
#include "platform/matrix/QVABlaModule.h"

// c <- alpha op(a) op(b) + beta c on column-major arrays, op(a) m x k and
// op(b) k x n. Nothing happens for an empty c; with k = 0, c becomes beta c
// (0 where beta is 0, c not read). Leading dimensions below 1 (empty arrays)
// are raised to 1 as BLAS requires.
inline void QVAGemm(char transposeA, char transposeB, int m, int n, int k, double alpha,
                    const double* a, int lda, const double* b, int ldb, double beta, double* c,
                    int ldc) {
  if (m <= 0 || n <= 0) return;
  if (k <= 0) {
    for (int column = 0; column < n; ++column) {
      for (int row = 0; row < m; ++row) {
        double& value = c[QVAColumnMajor(row, column, ldc)];
        value = beta == 0.0 ? 0.0 : beta * value;
      }
    }
    return;
  }
  const int validLda = std::max(1, lda);
  const int validLdb = std::max(1, ldb);
  const int validLdc = std::max(1, ldc);
  BLAC_DGEMM(&transposeA, &transposeB, &m, &n, &k, &alpha, a, &validLda, b, &validLdb, &beta, c,
             &validLdc);
}
