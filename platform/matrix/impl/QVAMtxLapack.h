#pragma once

// The Fortran BLAS and LAPACK routines of OpenBLAS that the matrix services
// call, declared with their Fortran calling convention: every argument by
// address, and one hidden length (size_t, by value) per character argument,
// appended after the others in order. Internal to the matrix services.
//
//   const char lower = 'L';
//   dsytrf_(&lower, &n, a, &lda, pivots, work, &lwork, &info, 1);

#include <complex>
#include <cstddef>

extern "C" {

void dgemm_(const char* transposeA, const char* transposeB, const int* m, const int* n,
            const int* k, const double* alpha, const double* a, const int* lda, const double* b,
            const int* ldb, const double* beta, double* c, const int* ldc,
            std::size_t transposeALength, std::size_t transposeBLength);

void dgemv_(const char* transpose, const int* m, const int* n, const double* alpha, const double* a,
            const int* lda, const double* x, const int* incx, const double* beta, double* y,
            const int* incy, std::size_t transposeLength);

void dgeev_(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda,
            double* wr, double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr,
            double* work, const int* lwork, int* info, std::size_t jobvlLength,
            std::size_t jobvrLength);

void zgeev_(const char* jobvl, const char* jobvr, const int* n, std::complex<double>* a,
            const int* lda, std::complex<double>* w, std::complex<double>* vl, const int* ldvl,
            std::complex<double>* vr, const int* ldvr, std::complex<double>* work, const int* lwork,
            double* rwork, int* info, std::size_t jobvlLength, std::size_t jobvrLength);

void dtrsm_(const char* side, const char* upperOrLower, const char* transpose,
            const char* unitDiagonal, const int* m, const int* n, const double* alpha,
            const double* a, const int* lda, double* b, const int* ldb, std::size_t sideLength,
            std::size_t upperOrLowerLength, std::size_t transposeLength,
            std::size_t unitDiagonalLength);

void dsyrk_(const char* upperOrLower, const char* transpose, const int* n, const int* k,
            const double* alpha, const double* a, const int* lda, const double* beta, double* c,
            const int* ldc, std::size_t upperOrLowerLength, std::size_t transposeLength);

void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* pivots, int* info);

void dgetrs_(const char* transpose, const int* n, const int* numberOfRightHandSides,
             const double* a, const int* lda, const int* pivots, double* b, const int* ldb,
             int* info, std::size_t transposeLength);

void dsytrf_(const char* upperOrLower, const int* n, double* a, const int* lda, int* pivots,
             double* work, const int* lwork, int* info, std::size_t upperOrLowerLength);

void dsytrs_(const char* upperOrLower, const int* n, const int* numberOfRightHandSides,
             const double* a, const int* lda, const int* pivots, double* b, const int* ldb,
             int* info, std::size_t upperOrLowerLength);

}  // extern "C"
