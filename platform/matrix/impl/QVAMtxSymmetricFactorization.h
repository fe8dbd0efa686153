#pragma once

// The symmetric indefinite factorization behind QVASrvMatrix's symmetric
// storage: A = L D L^T with Bunch-Kaufman pivoting, held as LAPACK's dsytrf
// holds it for the lower triangle, so that its factors and pivot indices
// answer dsytrs. Internal to the matrix services.
//
// Bunch-Kaufman takes the diagonal entry of column k as a 1 x 1 pivot without
// interchange exactly when no multiplier of that column exceeds 1 / alpha =
// 1.5616 in magnitude (alpha = (1 + sqrt(17)) / 8). Leading columns are
// factorized here by blocks of columns with level-3 BLAS and that test is
// made afterwards, which spares dsytrf's column-by-column search; from the
// first block holding a column that fails, dsytrf factorizes the Schur
// complement that remains. Matrices whose diagonal dominates, as the reduced
// systems of a harmonic solve away from resonance, are factorized by blocks
// throughout.
//
//   std::vector<double> scratch;
//   const int info = QVAMtxFactorSymmetric(n, values, pivots, scratch);
//   if (info == 0) QVAMtxSolveSymmetric(n, values, pivots, 1, b);

#include <vector>

// Factorizes the n x n symmetric matrix `values` (leading dimension n) in
// place from its lower triangle and writes n pivot indices in dsytrf's
// convention to `pivots`; the strictly upper triangle is not written.
// `scratch` grows as needed and may be kept for the next call. Returns
// dsytrf's info: 0, or k > 0 when D(k, k) (1-based) is exactly zero.
int QVAMtxFactorSymmetric(int n, double* values, int* pivots, std::vector<double>& scratch);

// Solves A X = B in place for the `numberOfRightHandSides` columns of `b`
// (leading dimension n) with the factors of QVAMtxFactorSymmetric: by two
// unit triangular solves around the division by D when every pivot is 1 x 1
// without interchange, by dsytrs otherwise. Returns dsytrs's info.
int QVAMtxSolveSymmetric(int n, const double* factors, const int* pivots,
                         int numberOfRightHandSides, double* b);
