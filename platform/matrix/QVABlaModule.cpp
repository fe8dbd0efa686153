// BLAS and LAPACK by address, forwarded to OpenBLAS. The character flags are
// one-character texts; DGEEV and ZGEEV receive their lengths from the caller,
// the others have length 1.

#include "platform/matrix/QVABlaModule.h"

#include <cstddef>

#include "internal/QVANumerics.h"
#include "platform/matrix/impl/QVAMtxLapack.h"

void BLAC_DGEMM(const char* transposeA, const char* transposeB, const int* m, const int* n,
                const int* k, const double* alpha, const double* a, const int* lda, const double* b,
                const int* ldb, const double* beta, double* c, const int* ldc) {
  dgemm_(transposeA, transposeB, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);
}

void BLAC_DGEMV(const char* transpose, const int* m, const int* n, const double* alpha,
                const double* a, const int* lda, const double* x, const int* incx,
                const double* beta, double* y, const int* incy) {
  dgemv_(transpose, m, n, alpha, a, lda, x, incx, beta, y, incy, 1);
}

void BLAC_DSYRK(const char* upperOrLower, const char* transpose, const int* n, const int* k,
                const double* alpha, const double* a, const int* lda, const double* beta, double* c,
                const int* ldc) {
  dsyrk_(upperOrLower, transpose, n, k, alpha, a, lda, beta, c, ldc, 1, 1);
}

void BLAC_DGEEV(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda,
                double* wr, double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr,
                double* work, const int* lwork, int* info, int jobvlLength, int jobvrLength) {
  dgeev_(jobvl, jobvr, n, a, lda, wr, wi, vl, ldvl, vr, ldvr, work, lwork, info,
         QVAIndex(jobvlLength), QVAIndex(jobvrLength));
}

void BLAC_ZGEEV(const char* jobvl, const char* jobvr, const int* n, std::complex<double>* a,
                const int* lda, std::complex<double>* w, std::complex<double>* vl, const int* ldvl,
                std::complex<double>* vr, const int* ldvr, std::complex<double>* work,
                const int* lwork, double* rwork, int* info, int jobvlLength, int jobvrLength) {
  zgeev_(jobvl, jobvr, n, a, lda, w, vl, ldvl, vr, ldvr, work, lwork, rwork, info,
         QVAIndex(jobvlLength), QVAIndex(jobvrLength));
}
