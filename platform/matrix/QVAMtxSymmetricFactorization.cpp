#include "platform/matrix/QVAMtxSymmetricFactorization.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/matrix/QVAMtxLapack.h"

namespace {

// Bunch-Kaufman's alpha = (1 + sqrt(17)) / 8; a column whose multipliers all
// stay within 1 / alpha takes its diagonal entry as a 1 x 1 pivot.
constexpr double kBunchKaufmanAlpha = 0.6403882032022076;
constexpr double kLargestMultiplier = 1.0 / kBunchKaufmanAlpha;
// Columns of one block: wide enough for the level-3 updates, narrow enough
// that the unblocked work on the diagonal block and the work lost with a
// block that fails stay small.
constexpr int kBlockColumns = 32;
// Columns of one panel of the update of the Schur complement's lower triangle.
constexpr int kUpdateColumns = 64;

std::size_t At(int row, int column, int ld) {
  return static_cast<std::size_t>(row) + static_cast<std::size_t>(column) * ld;
}

// False also for a NaN or infinite multiplier.
bool Acceptable(double multiplier) { return std::fabs(multiplier) <= kLargestMultiplier; }

// L D L^T of the width x width diagonal block (leading dimension ld), column
// by column without interchanges: D on the diagonal, the multipliers below.
// False as soon as a pivot is zero or not finite or a multiplier fails.
bool FactorDiagonalBlock(int width, double* block, int ld) {
  for (int k = 0; k < width; ++k) {
    double* column = block + At(0, k, ld);
    const double pivot = column[k];
    if (pivot == 0.0 || !std::isfinite(pivot)) return false;
    for (int i = k + 1; i < width; ++i) {
      column[i] /= pivot;
      if (!Acceptable(column[i])) return false;
    }
    for (int j = k + 1; j < width; ++j) {
      const double weight = pivot * column[j];
      double* target = block + At(0, j, ld);
      for (int i = j; i < width; ++i) target[i] -= column[i] * weight;
    }
  }
  return true;
}

// Factorizes blocks of leading columns without interchanges while every
// multiplier is acceptable. Returns the number of columns factorized: n, or
// the first column of the block that failed, whose columns are restored so
// that the trailing lower triangle holds the Schur complement of the columns
// before it.
int FactorLeadingBlocks(int n, double* a, std::vector<double>& scratch) {
  const std::size_t panelSize = At(0, kBlockColumns, n);
  if (scratch.size() < 2 * panelSize) scratch.resize(2 * panelSize);
  double* saved = scratch.data();
  double* weighted = scratch.data() + panelSize;
  const double one = 1.0;
  for (int first = 0; first < n; first += kBlockColumns) {
    const int width = std::min(kBlockColumns, n - first);
    const int rows = n - first;
    const int below = rows - width;
    double* diagonal = a + At(first, first, n);
    double* lower = diagonal + width;
    for (int k = 0; k < width; ++k) {
      std::copy_n(diagonal + At(k, k, n), rows - k, saved + At(k, k, rows));
    }
    bool accepted = FactorDiagonalBlock(width, diagonal, n);
    if (accepted && below > 0) {
      // A21 L11^-T = L21 D1: kept as `weighted` for the update, then divided
      // by D1 into the multipliers L21.
      const char right = 'R', lowerTriangle = 'L', transpose = 'T', unit = 'U';
      dtrsm_(&right, &lowerTriangle, &transpose, &unit, &below, &width, &one, diagonal, &n, lower,
             &n, 1, 1, 1, 1);
      for (int k = 0; k < width && accepted; ++k) {
        double* column = lower + At(0, k, n);
        std::copy_n(column, below, weighted + At(0, k, below));
        const double inversePivot = 1.0 / diagonal[At(k, k, n)];
        for (int i = 0; i < below; ++i) {
          column[i] *= inversePivot;
          accepted = accepted && Acceptable(column[i]);
        }
      }
    }
    if (!accepted) {
      for (int k = 0; k < width; ++k) {
        std::copy_n(saved + At(k, k, rows), rows - k, diagonal + At(k, k, n));
      }
      return first;
    }
    // A22 <- A22 - L21 (L21 D1)^T on the lower triangle, by column panels.
    double* complement = lower + At(0, width, n);
    for (int column = 0; column < below; column += kUpdateColumns) {
      const int columns = std::min(kUpdateColumns, below - column);
      QVAMtxGemm('N', 'T', below - column, columns, width, -1.0, lower + column, n,
                 weighted + column, below, 1.0, complement + At(column, column, n), n);
    }
  }
  return n;
}

}  // namespace

int QVAMtxFactorSymmetric(int n, double* values, int* pivots, std::vector<double>& scratch) {
  const int factorized = FactorLeadingBlocks(n, values, scratch);
  for (int k = 0; k < factorized; ++k) pivots[k] = k + 1;
  if (factorized == n) return 0;

  // dsytrf on the Schur complement; its pivot indices count from the
  // complement's first row and are shifted to the whole matrix (a negative
  // index marks a 2 x 2 pivot).
  const char lower = 'L';
  const int remaining = n - factorized;
  double* complement = values + At(factorized, factorized, n);
  int* complementPivots = pivots + factorized;
  double optimalWork = 0.0;
  const int query = -1;
  int info = 0;
  dsytrf_(&lower, &remaining, complement, &n, complementPivots, &optimalWork, &query, &info, 1);
  const int workSize = std::max(1, static_cast<int>(optimalWork));
  if (scratch.size() < static_cast<std::size_t>(workSize)) {
    scratch.resize(static_cast<std::size_t>(workSize));
  }
  dsytrf_(&lower, &remaining, complement, &n, complementPivots, scratch.data(), &workSize, &info,
          1);
  for (int k = factorized; k < n; ++k) pivots[k] += pivots[k] > 0 ? factorized : -factorized;
  return info > 0 ? info + factorized : info;
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
