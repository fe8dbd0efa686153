#pragma once

// BLAS and LAPACK by address, as the host's numerical libraries offer them
// (every argument, flags included, is passed by address; the character flags
// of DGEEV and ZGEEV are followed by their lengths). They call OpenBLAS.
//
//   const char noTranspose = 'N';
//   BLAC_DGEMM(&noTranspose, &noTranspose, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc);

#include <complex>

#include "platform/base/QVAPlatformExport.h"

QVA_PLATFORM_EXPORT void BLAC_DGEMM(const char* transposeA, const char* transposeB, const int* m,
                                    const int* n, const int* k, const double* alpha,
                                    const double* a, const int* lda, const double* b,
                                    const int* ldb, const double* beta, double* c, const int* ldc);

QVA_PLATFORM_EXPORT void BLAC_DGEMV(const char* transpose, const int* m, const int* n,
                                    const double* alpha, const double* a, const int* lda,
                                    const double* x, const int* incx, const double* beta, double* y,
                                    const int* incy);

QVA_PLATFORM_EXPORT void BLAC_DSYRK(const char* upperOrLower, const char* transpose, const int* n,
                                    const int* k, const double* alpha, const double* a,
                                    const int* lda, const double* beta, double* c, const int* ldc);

QVA_PLATFORM_EXPORT void BLAC_DGEEV(const char* jobvl, const char* jobvr, const int* n, double* a,
                                    const int* lda, double* wr, double* wi, double* vl,
                                    const int* ldvl, double* vr, const int* ldvr, double* work,
                                    const int* lwork, int* info, int jobvlLength, int jobvrLength);

QVA_PLATFORM_EXPORT void BLAC_ZGEEV(const char* jobvl, const char* jobvr, const int* n,
                                    std::complex<double>* a, const int* lda,
                                    std::complex<double>* w, std::complex<double>* vl,
                                    const int* ldvl, std::complex<double>* vr, const int* ldvr,
                                    std::complex<double>* work, const int* lwork, double* rwork,
                                    int* info, int jobvlLength, int jobvrLength);

QVA_PLATFORM_EXPORT void QVABlaModule_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABlaModule_finalize(int& moduleCount);
