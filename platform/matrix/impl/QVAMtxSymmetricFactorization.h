#pragma once

// The symmetric indefinite factorization behind QVASrvMatrix's symmetric
// storage: A = L D L^T with Bunch-Kaufman pivoting by LAPACK's dsytrf on the
// lower triangle, and its solve. Internal to the matrix services.
//
//   std::vector<double> scratch;
//   const int info = QVAMtxFactorSymmetric(n, values, pivots, scratch);
//   if (info == 0) QVAMtxSolveSymmetric(n, values, pivots, 1, b);

#include <vector>

// Factorizes the n x n symmetric matrix `values` (leading dimension n) in
// place from its lower triangle by dsytrf with its optimal workspace and
// writes n pivot indices in dsytrf's convention to `pivots`; the strictly
// upper triangle is not written. `scratch` grows as needed and may be kept
// for the next call. Returns dsytrf's info: 0, or k > 0 when D(k, k)
// (1-based) is exactly zero.
int QVAMtxFactorSymmetric(int n, double* values, int* pivots, std::vector<double>& scratch);

// Solves A X = B in place for the `numberOfRightHandSides` columns of `b`
// (leading dimension n) with the factors of QVAMtxFactorSymmetric: by two
// unit triangular solves around the division by D when every pivot is 1 x 1
// without interchange, by dsytrs otherwise. Returns dsytrs's info.
int QVAMtxSolveSymmetric(int n, const double* factors, const int* pivots,
                         int numberOfRightHandSides, double* b);
