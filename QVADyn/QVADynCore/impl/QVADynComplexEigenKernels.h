#pragma once

// Dense kernels of the complex frequency solve. The damped eigenproblem
// (lambda^2 I + lambda V + K + i S) q = 0 in a subspace of n real modes is
// solved as the eigenproblem of the 2n x 2n state matrix
//
//   A = |    0          I |      A [q; lambda q] = lambda [q; lambda q],
//       | -K - i S     -V |
//
// whose eigenvalues are then filtered by a band of imaginary parts, ordered,
// and whose vectors are scaled so that their largest component is 1 + 0i.
//
// Example, n = 1, K = 4, V = 0.4, no S: A = | 0  1 ; -4  -0.4 |, eigenvalues
// -0.2 +- 1.98997i; with the band (0, 10) only -0.2 + 1.98997i is selected.

#include "platform/matrix/QVASrvMatrix.h"

// Threshold below which an imaginary part counts as zero in the selection.
inline constexpr double kQVADynRealEigenvalueLimit = 2.22e-13;
// Real eigenvalues with -kQVADynRealEigenvalueSkip < real part <= 0 are skipped.
inline constexpr double kQVADynRealEigenvalueSkip = 0.01;
// Neighbours whose imaginary parts differ by less than this fraction of the
// second one's magnitude are ordered by real part.
inline constexpr double kQVADynEqualFrequencyFraction = 1e-5;

// The work length L of the eigen routine for a state matrix of order N:
// 100 when N <= 9, else N^2. ZGEEV gets LWORK = L (complex entries), DGEEV
// LWORK = 2 L (doubles).
int QVADynComplexEigenWorkLength(int order);
int QVADynComplexEigenLwork(int order, bool complexMatrix);

// Eigenvalues and right eigenvectors of the state matrix of K (n x n) and,
// when given, V and S (n x n; in-core, only rows and columns 0 ... n-1 read).
// With S the matrix is complex and ZGEEV is called, else DGEEV. On status 0
// the outputs hold the N = 2n eigenvalues (eigenvalueReal, eigenvalueImaginary:
// N x 1) and the eigenvectors (vectorReal, vectorImaginary: N x N, column k
// belongs to eigenvalue k) in the routine's order; DGEEV's packed conjugate
// pairs are unpacked into two columns each. On any other status the outputs
// are left as they were. Returns the routine's status (INFO).
int QVADynSolveStateEigenproblem(const QVASrvMatrix& stiffness, const QVASrvMatrix* viscous,
                                 const QVASrvMatrix* structural, QVASrvMatrix& eigenvalueReal,
                                 QVASrvMatrix& eigenvalueImaginary, QVASrvMatrix& vectorReal,
                                 QVASrvMatrix& vectorImaginary);

// Scans eigenvalues k = 0 ... order-1 (parts real[k], imaginary[k]) and keeps
// the ones whose imaginary part x lies strictly inside (lowerBound,
// upperBound) and that are either x > 0 or, with |x| below
// kQVADynRealEigenvalueLimit, real with real part y > 0 or |y| >=
// kQVADynRealEigenvalueSkip. Appends (y, x, k) to the three arrays and stops
// when `capacity` are held. Returns the number kept.
int QVADynSelectComplexEigenvalues(int order, const double* real, const double* imaginary,
                                   double lowerBound, double upperBound, int capacity,
                                   double* selectedReal, double* selectedImaginary,
                                   int* selectedIndex);

// Sorts the `count` candidates by imaginary part, ascending (QVASRVSORT13),
// then makes one pass over neighbours (i, i+1) from the left and exchanges
// them when their imaginary parts differ by less than
// kQVADynEqualFrequencyFraction of |imaginary[i+1]| and real[i] > real[i+1].
void QVADynOrderComplexEigenvalues(int count, double* real, double* imaginary, int* index);

// Scales the complex vector re + i im (length entries) by the conjugate of its
// first component of largest squared magnitude d, divided by d; the component
// becomes 1 + 0i. When d < sqrt(2.22e-16) the conjugate is not divided (the
// component becomes d + 0i); a zero vector stays zero.
void QVADynNormalizeComplexVector(int length, double* re, double* im);
