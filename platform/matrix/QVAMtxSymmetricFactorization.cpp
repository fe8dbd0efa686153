#include "platform/matrix/impl/QVAMtxSymmetricFactorization.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "internal/QVAAssert.h"
#include "internal/QVABlas.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/impl/QVAMtxLapack.h"

namespace {

// Bunch-Kaufman's alpha = (1 + sqrt(17)) / 8; a column whose multipliers all
// stay within 1 / alpha takes its diagonal entry as a 1 x 1 pivot.
constexpr double kBunchKaufmanAlpha = 0.6403882032022076;
constexpr double kLargestMultiplier = 1.0 / kBunchKaufmanAlpha;
// Columns of one block: wide enough for the level-3 updates, narrow enough
// that the unblocked work on the diagonal block and the work lost with a
// block that fails stay small.
constexpr int kBlockColumns = 32;
// Order up to which a diagonal square of the update of the Schur complement
// is computed whole by one product into a temporary, of which the lower
// triangle is then subtracted.
constexpr int kUpdateLeaf = 32;

// True when every multiplier scale * values[i] (i < count) is at most
// 1 / alpha in magnitude: the largest entry, found by idamax, decides.
bool MultipliersAcceptable(int count, const double* values, double scale) {
  if (count <= 0) return true;
  const int increment = 1;
  const int largest = idamax_(&count, values, &increment) - 1;
  return std::fabs(scale * values[largest]) <= kLargestMultiplier;
}

// c <- c - l w^T on the lower triangle of the n x n matrix c, with l and w
// n x k: halved until the diagonal squares are small, each off-diagonal
// rectangle one product. The strictly upper triangle of c is not written.
void LowerUpdate(int n, int k, const double* l, int ldl, const double* w, int ldw, double* c,
                 int ldc) {
  if (n <= kUpdateLeaf) {
    double square[kUpdateLeaf * kUpdateLeaf];
    QVAGemm('N', 'T', n, n, k, 1.0, l, ldl, w, ldw, 0.0, square, n);
    for (int column = 0; column < n; ++column) {
      for (int row = column; row < n; ++row)
        c[QVAColumnMajor(row, column, ldc)] -= square[QVAColumnMajor(row, column, n)];
    }
    return;
  }
  const int half = n / 2;
  LowerUpdate(half, k, l, ldl, w, ldw, c, ldc);
  QVAGemm('N', 'T', n - half, half, k, -1.0, l + half, ldl, w, ldw, 1.0, c + half, ldc);
  LowerUpdate(n - half, k, l + half, ldl, w + half, ldw, c + QVAColumnMajor(half, half, ldc), ldc);
}

// L D L^T of the width x width diagonal block (leading dimension ld), column
// by column without interchanges: D on the diagonal, the multipliers below.
// False as soon as a pivot is zero or not finite or a multiplier fails.
bool FactorDiagonalBlock(int width, double* block, int ld) {
  for (int k = 0; k < width; ++k) {
    double* column = block + QVAColumnMajor(0, k, ld);
    const double pivot = column[k];
    if (pivot == 0.0 || !std::isfinite(pivot)) return false;
    const double inversePivot = 1.0 / pivot;
    for (int i = k + 1; i < width; ++i) column[i] *= inversePivot;
    if (!MultipliersAcceptable(width - k - 1, column + k + 1, 1.0)) return false;
    for (int j = k + 1; j < width; ++j) {
      const double weight = pivot * column[j];
      double* target = block + QVAColumnMajor(0, j, ld);
      for (int i = j; i < width; ++i) target[i] -= column[i] * weight;
    }
  }
  return true;
}

// Factorizes blocks of leading columns without interchanges while every
// multiplier is acceptable. Returns the number of columns factorized: n, or
// the first column of the block that failed, whose values are left as they
// were, so that the trailing lower triangle holds the Schur complement of
// the columns before it.
int FactorLeadingBlocks(int n, double* a, std::vector<double>& scratch) {
  const std::size_t blockSize = QVAColumnMajor(0, kBlockColumns, kBlockColumns);
  const std::size_t panelSize = QVAColumnMajor(0, kBlockColumns, n);
  if (scratch.size() < blockSize + panelSize) scratch.resize(blockSize + panelSize);
  double* savedDiagonal = scratch.data();
  double* weighted = scratch.data() + blockSize;
  const double one = 1.0;
  for (int first = 0; first < n; first += kBlockColumns) {
    const int width = std::min(kBlockColumns, n - first);
    const int below = n - first - width;
    double* diagonal = a + QVAColumnMajor(first, first, n);
    double* lower = diagonal + width;
    for (int k = 0; k < width; ++k) {
      std::copy_n(diagonal + QVAColumnMajor(k, k, n), width - k,
                  savedDiagonal + QVAColumnMajor(k, k, width));
    }
    bool accepted = FactorDiagonalBlock(width, diagonal, n);
    if (accepted && below > 0) {
      // W21 = A21 L11^-T = L21 D1 into `weighted`, kept for the update; A21
      // becomes L21 = W21 D1^-1 once every multiplier passes.
      for (int k = 0; k < width; ++k) {
        std::copy_n(lower + QVAColumnMajor(0, k, n), below, weighted + QVAColumnMajor(0, k, below));
      }
      const char right = 'R', lowerTriangle = 'L', transpose = 'T', unit = 'U';
      dtrsm_(&right, &lowerTriangle, &transpose, &unit, &below, &width, &one, diagonal, &n,
             weighted, &below, 1, 1, 1, 1);
      for (int k = 0; k < width && accepted; ++k) {
        accepted = MultipliersAcceptable(below, weighted + QVAColumnMajor(0, k, below),
                                         1.0 / diagonal[QVAColumnMajor(k, k, n)]);
      }
      for (int k = 0; k < width && accepted; ++k) {
        const double inversePivot = 1.0 / diagonal[QVAColumnMajor(k, k, n)];
        const double* from = weighted + QVAColumnMajor(0, k, below);
        double* to = lower + QVAColumnMajor(0, k, n);
        for (int i = 0; i < below; ++i) to[i] = from[i] * inversePivot;
      }
    }
    if (!accepted) {
      for (int k = 0; k < width; ++k) {
        std::copy_n(savedDiagonal + QVAColumnMajor(k, k, width), width - k,
                    diagonal + QVAColumnMajor(k, k, n));
      }
      return first;
    }
    // A22 <- A22 - L21 (L21 D1)^T on the lower triangle.
    LowerUpdate(below, width, lower, n, weighted, below, lower + QVAColumnMajor(0, width, n), n);
  }
  return n;
}

}  // namespace

int QVAMtxFactorSymmetric(int n, double* values, int* pivots, std::vector<double>& scratch) {
  QVA_ASSERT(n >= 0 && (n == 0 || (values != nullptr && pivots != nullptr)), n);
  const int factorized = FactorLeadingBlocks(n, values, scratch);
  for (int k = 0; k < factorized; ++k) pivots[k] = k + 1;
  if (factorized == n) return 0;

  // dsytrf on the Schur complement; its pivot indices count from the
  // complement's first row and are shifted to the whole matrix (a negative
  // index marks a 2 x 2 pivot).
  const char lower = 'L';
  const int remaining = n - factorized;
  double* complement = values + QVAColumnMajor(factorized, factorized, n);
  int* complementPivots = pivots + factorized;
  double optimalWork = 0.0;
  const int query = -1;
  int info = 0;
  dsytrf_(&lower, &remaining, complement, &n, complementPivots, &optimalWork, &query, &info, 1);
  const int workSize = std::max(1, static_cast<int>(optimalWork));
  if (scratch.size() < QVAIndex(workSize)) {
    scratch.resize(QVAIndex(workSize));
  }
  dsytrf_(&lower, &remaining, complement, &n, complementPivots, scratch.data(), &workSize, &info,
          1);
  for (int k = factorized; k < n; ++k) pivots[k] += pivots[k] > 0 ? factorized : -factorized;
  return info > 0 ? info + factorized : info;
}

int QVAMtxSolveSymmetric(int n, const double* factors, const int* pivots,
                         int numberOfRightHandSides, double* b) {
  QVA_ASSERT(n >= 0 && numberOfRightHandSides >= 0, n, numberOfRightHandSides);
  const char lower = 'L';
  for (int k = 0; k < n; ++k) {
    QVA_ASSERT(pivots[k] != 0 && pivots[k] >= -n && pivots[k] <= n, k, pivots[k], n);
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
