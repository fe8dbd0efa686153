#include "platform/matrix/QVASrvMatrix.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "internal/QVABlas.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/impl/QVAMtxLapack.h"
#include "platform/matrix/impl/QVAMtxSymmetricFactorization.h"

namespace {

// Scratch memory of Factorize on the calling thread: the copy of the values
// that a singular matrix gets back, and the factorization's workspace. It is
// kept from call to call, so that a solver factorizing a matrix of the same
// size at every frequency or time step does not map and zero new pages each
// time; scratch of more than kKeptScratchValues values is given back after
// the call.
struct FactorizeScratch {
  static constexpr std::size_t kKeptScratchValues = std::size_t{4} << 20;  // 32 MB
  std::vector<double> original;
  std::vector<double> work;

  static FactorizeScratch& OfThisThread() {
    thread_local FactorizeScratch scratch;
    return scratch;
  }
  // Releases the memory when it has grown past what is kept.
  void Trim() {
    if (original.capacity() + work.capacity() > kKeptScratchValues) {
      std::vector<double>().swap(original);
      std::vector<double>().swap(work);
    }
  }
};

// Copies the part of the n x n `values` that a factorization writes to
// `saved`, or back with `restore`: every value, or with `lowerOnly` the lower
// triangle, column by column.
void CopyFactorizedPart(double* values, int n, bool lowerOnly, double* saved, bool restore) {
  std::size_t at = 0;
  for (int column = 0; column < n; ++column) {
    const int first = lowerOnly ? column : 0;
    double* part = values + first + static_cast<std::int64_t>(column) * n;
    const int count = n - first;
    if (restore) {
      std::copy_n(saved + at, count, part);
    } else {
      std::copy_n(part, count, saved + at);
    }
    at += QVAIndex(count);
  }
}

// "QVASrvMatrix 3 x 4 (full)": the object named in every message.
std::string Describe(const QVASrvMatrix& matrix) {
  std::string text = "QVASrvMatrix " + std::to_string(matrix.NumberOfRows()) + " x " +
                     std::to_string(matrix.NumberOfColumns());
  if (matrix.IsDiagonal()) return text + " (diagonal)";
  if (matrix.IsSymmetric()) return text + " (symmetric)";
  return text + " (full)";
}

std::int64_t StoredCount(int rows, int columns, bool diagonal) {
  return diagonal ? rows : static_cast<std::int64_t>(rows) * columns;
}

std::int64_t StoredCount(const QVASrvMatrix& matrix) {
  return StoredCount(matrix.NumberOfRows(), matrix.NumberOfColumns(), matrix.IsDiagonal());
}

// Entry (row, column) of a matrix holding values; indices already checked.
double Entry(const QVASrvMatrix& matrix, int row, int column) {
  if (matrix.IsDiagonal()) return row == column ? matrix.Values()[row] : 0.0;
  return matrix.Values()[row + static_cast<std::int64_t>(column) * matrix.NumberOfRows()];
}

// Writes entry (row, column); a diagonal matrix accepts zero off its diagonal
// (nothing to store) and refuses anything else.
void StoreEntry(QVASrvMatrix& matrix, int row, int column, double value, const char* operation) {
  if (matrix.IsDiagonal()) {
    if (row == column) {
      matrix.Values()[row] = value;
      return;
    }
    QVA_VERIFY(value == 0.0, kQVASrvInvalidState,
               Describe(matrix) << "::" << operation << ": cannot store " << value
                                << " at off-diagonal entry (" << row << ", " << column
                                << "); use full or symmetric storage");
    return;
  }
  matrix.Values()[row + static_cast<std::int64_t>(column) * matrix.NumberOfRows()] = value;
}

bool SharesStorage(const QVASrvMatrix& a, const QVASrvMatrix& b) {
  const std::int64_t countA = StoredCount(a);
  const std::int64_t countB = StoredCount(b);
  if (countA == 0 || countB == 0) return false;
  const std::less<const double*> before;
  return before(a.Values(), b.Values() + countB) && before(b.Values(), a.Values() + countA);
}

void VerifyValues(const QVASrvMatrix& matrix, const char* operation) {
  QVA_VERIFY(matrix.State() == QVASrvMatrix::Content::kValues, kQVASrvInvalidState,
             Describe(matrix) << "::" << operation
                              << ": the matrix holds its factors, not values; assign values "
                                 "before using it this way");
}

void VerifyRange(const QVASrvMatrix& matrix, const char* operation, const char* dimension,
                 int first, int last, int size) {
  QVA_VERIFY(first >= 0 && last < size && last >= first - 1, kQVASrvIndexOutOfRange,
             Describe(matrix) << "::" << operation << ": " << dimension << "s " << first << " ... "
                              << last << " outside 0 ... " << size - 1);
}

void VerifyIndex(const QVASrvMatrix& matrix, const char* operation, int row, int column) {
  QVA_VERIFY(
      row >= 0 && row < matrix.NumberOfRows() && column >= 0 && column < matrix.NumberOfColumns(),
      kQVASrvIndexOutOfRange,
      Describe(matrix) << "::" << operation << ": entry (" << row << ", " << column
                       << ") outside 0 ... " << matrix.NumberOfRows() - 1 << " x 0 ... "
                       << matrix.NumberOfColumns() - 1);
}

void VerifySameSize(const QVASrvMatrix& target, const QVASrvMatrix& operand,
                    const char* operation) {
  QVA_VERIFY(target.NumberOfRows() == operand.NumberOfRows() &&
                 target.NumberOfColumns() == operand.NumberOfColumns(),
             kQVASrvSizeMismatch,
             Describe(target) << "::" << operation << ": operand " << Describe(operand)
                              << " differs in size");
}

// Copies the rows x columns rectangle of `source` starting at (sourceRow,
// sourceColumn) to `target` at (targetRow, targetColumn), scaled by alpha.
// Bounds are checked by the callers; overlapping storage goes through a copy.
void CopyRectangle(const QVASrvMatrix& source, int sourceRow, int sourceColumn,
                   QVASrvMatrix& target, int targetRow, int targetColumn, int rows, int columns,
                   double alpha, const char* operation) {
  if (rows <= 0 || columns <= 0) return;
  if (SharesStorage(source, target)) {
    const QVASrvMatrix copy(source);
    CopyRectangle(copy, sourceRow, sourceColumn, target, targetRow, targetColumn, rows, columns,
                  alpha, operation);
    return;
  }
  if (!source.IsDiagonal() && !target.IsDiagonal()) {
    for (int column = 0; column < columns; ++column) {
      const double* from = source.Values() + sourceRow +
                           static_cast<std::int64_t>(sourceColumn + column) * source.NumberOfRows();
      double* to = target.Values() + targetRow +
                   static_cast<std::int64_t>(targetColumn + column) * target.NumberOfRows();
      if (alpha == 1.0) {
        std::copy_n(from, rows, to);
      } else {
        for (int row = 0; row < rows; ++row) to[row] = alpha * from[row];
      }
    }
    return;
  }
  for (int column = 0; column < columns; ++column) {
    for (int row = 0; row < rows; ++row) {
      StoreEntry(target, targetRow + row, targetColumn + column,
                 alpha * Entry(source, sourceRow + row, sourceColumn + column), operation);
    }
  }
}

}  // namespace

QVASrvMatrix::QVASrvMatrix() = default;

QVASrvMatrix::QVASrvMatrix(int rows, int columns, double* buffer, bool symmetric, bool diagonal)
    : rows_(rows),
      columns_(columns),
      symmetric_(symmetric || diagonal),
      diagonal_(diagonal),
      ownsValues_(buffer == nullptr) {
  QVA_VERIFY(rows >= 0 && columns >= 0, kQVASrvSizeMismatch,
             "QVASrvMatrix: size " << rows << " x " << columns << " is negative");
  QVA_VERIFY(!symmetric_ || rows == columns, kQVASrvSizeMismatch,
             Describe(*this) << ": symmetric and diagonal storage need a square matrix");
  if (buffer != nullptr) {
    values_ = buffer;
    return;
  }
  const std::int64_t count = StoredCount(rows, columns, diagonal);
  values_ = mem_AllocArray<double>(QVAIndex(count));
  std::fill_n(values_, count, 0.0);
}

QVASrvMatrix::QVASrvMatrix(const QVASrvMatrix& other)
    : rows_(other.rows_),
      columns_(other.columns_),
      symmetric_(other.symmetric_),
      diagonal_(other.diagonal_),
      content_(other.content_) {
  const std::int64_t count = StoredCount(other);
  values_ = mem_AllocArray<double>(QVAIndex(count));
  std::copy_n(other.values_, count, values_);
  if (other.pivots_ != nullptr) {
    try {
      pivots_ = mem_AllocArray<int>(QVAIndex(rows_));
    } catch (...) {
      mem_Free(values_);
      throw;
    }
    std::copy_n(other.pivots_, rows_, pivots_);
  }
}

QVASrvMatrix& QVASrvMatrix::operator=(const QVASrvMatrix& other) {
  if (this == &other) return *this;
  const std::int64_t count = StoredCount(other);
  int* newPivots = nullptr;
  if (other.pivots_ != nullptr) {
    newPivots = mem_AllocArray<int>(QVAIndex(other.rows_));
    std::copy_n(other.pivots_, other.rows_, newPivots);
  }
  if (ownsValues_) {
    double* newValues = nullptr;
    try {
      newValues = mem_AllocArray<double>(QVAIndex(count));
    } catch (...) {
      mem_Free(newPivots);
      throw;
    }
    std::copy_n(other.values_, count, newValues);
    mem_Free(values_);
    values_ = newValues;
    rows_ = other.rows_;
    columns_ = other.columns_;
    symmetric_ = other.symmetric_;
    diagonal_ = other.diagonal_;
  } else {
    if (rows_ != other.rows_ || columns_ != other.columns_ || symmetric_ != other.symmetric_ ||
        diagonal_ != other.diagonal_) {
      mem_Free(newPivots);
      QVA_RAISE(kQVASrvSizeMismatch, Describe(*this) << "::operator=: works on a caller buffer "
                                                        "and cannot take the size or storage of "
                                                     << Describe(other));
    }
    std::copy(other.values_, other.values_ + count, values_);
  }
  mem_Free(pivots_);
  pivots_ = newPivots;
  content_ = other.content_;
  return *this;
}

QVASrvMatrix& QVASrvMatrix::operator=(double value) {
  std::fill_n(values_, StoredCount(*this), value);
  content_ = Content::kValues;
  return *this;
}

QVASrvMatrix::~QVASrvMatrix() {
  if (ownsValues_) mem_Free(values_);
  mem_Free(pivots_);
}

double QVASrvMatrix::operator()(int row, int column) const {
  VerifyIndex(*this, "operator()", row, column);
  VerifyValues(*this, "operator()");
  return Entry(*this, row, column);
}

double& QVASrvMatrix::operator()(int row, int column) {
  VerifyIndex(*this, "operator()", row, column);
  VerifyValues(*this, "operator()");
  QVA_VERIFY(!diagonal_ || row == column, kQVASrvInvalidState,
             Describe(*this) << "::operator(): off-diagonal entry (" << row << ", " << column
                             << ") cannot be written; read it through a const matrix");
  if (diagonal_) return values_[row];
  return values_[row + static_cast<std::int64_t>(column) * rows_];
}

void QVASrvMatrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             QVASrvMatrix& block) const {
  VerifyValues(*this, "GetValues");
  VerifyValues(block, "GetValues");
  VerifyRange(*this, "GetValues", "row", firstRow, lastRow, rows_);
  VerifyRange(*this, "GetValues", "column", firstColumn, lastColumn, columns_);
  const int rows = lastRow - firstRow + 1;
  const int columns = lastColumn - firstColumn + 1;
  QVA_VERIFY(block.rows_ >= rows && block.columns_ >= columns, kQVASrvSizeMismatch,
             Describe(*this) << "::GetValues: block " << Describe(block) << " cannot hold " << rows
                             << " x " << columns << " values");
  CopyRectangle(*this, firstRow, firstColumn, block, 0, 0, rows, columns, 1.0, "GetValues");
}

void QVASrvMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                             const QVASrvMatrix& block) {
  VerifyValues(*this, "SetValues");
  VerifyValues(block, "SetValues");
  VerifyRange(*this, "SetValues", "row", firstRow, lastRow, rows_);
  VerifyRange(*this, "SetValues", "column", firstColumn, lastColumn, columns_);
  const int rows = lastRow - firstRow + 1;
  const int columns = lastColumn - firstColumn + 1;
  QVA_VERIFY(block.rows_ >= rows && block.columns_ >= columns, kQVASrvSizeMismatch,
             Describe(*this) << "::SetValues: block " << Describe(block) << " has fewer than "
                             << rows << " x " << columns << " values");
  CopyRectangle(block, 0, 0, *this, firstRow, firstColumn, rows, columns, 1.0, "SetValues");
}

void QVASrvMatrix::Add(double alpha, const QVASrvMatrix& b) {
  VerifyValues(*this, "Add");
  VerifyValues(b, "Add");
  VerifySameSize(*this, b, "Add");
  if (b.diagonal_) {
    for (int i = 0; i < b.rows_; ++i) {
      const double sum = Entry(*this, i, i) + alpha * b.values_[i];
      StoreEntry(*this, i, i, sum, "Add");
    }
    return;
  }
  QVA_VERIFY(!diagonal_, kQVASrvInvalidState,
             Describe(*this) << "::Add: cannot take the off-diagonal entries of " << Describe(b));
  const std::int64_t count = StoredCount(*this);
  for (std::int64_t i = 0; i < count; ++i) values_[i] += alpha * b.values_[i];
}

void QVASrvMatrix::Multiply(const QVASrvMatrix& a, const QVASrvMatrix& b) {
  VerifyValues(*this, "Multiply");
  VerifyValues(a, "Multiply");
  VerifyValues(b, "Multiply");
  QVA_VERIFY(a.columns_ == b.rows_ && rows_ == a.rows_ && columns_ == b.columns_,
             kQVASrvSizeMismatch,
             Describe(*this) << "::Multiply: cannot hold the product of " << Describe(a) << " and "
                             << Describe(b));
  if (diagonal_) {
    QVA_VERIFY(a.diagonal_ && b.diagonal_, kQVASrvInvalidState,
               Describe(*this) << "::Multiply: the product of " << Describe(a) << " and "
                               << Describe(b) << " is not diagonal");
    for (int i = 0; i < rows_; ++i) values_[i] = a.values_[i] * b.values_[i];
    return;
  }
  if (SharesStorage(*this, a) || SharesStorage(*this, b)) {
    QVASrvMatrix product(rows_, columns_);
    product.Multiply(a, b);
    std::copy_n(product.values_, StoredCount(product), values_);
    return;
  }
  if (!a.diagonal_ && !b.diagonal_) {
    QVAGemm('N', 'N', rows_, columns_, a.columns_, 1.0, a.values_, a.rows_, b.values_, b.rows_, 0.0,
            values_, rows_);
    return;
  }
  for (int column = 0; column < columns_; ++column) {
    double* target = values_ + static_cast<std::int64_t>(column) * rows_;
    for (int row = 0; row < rows_; ++row) {
      target[row] = a.diagonal_ ? a.values_[row] * Entry(b, row, column)
                                : Entry(a, row, column) * b.values_[column];
    }
  }
}

void QVASrvMatrix::Multiply(double alpha) {
  VerifyValues(*this, "Multiply");
  const std::int64_t count = StoredCount(*this);
  for (std::int64_t i = 0; i < count; ++i) values_[i] *= alpha;
}

QVASrvMatrix& QVASrvMatrix::operator*=(double alpha) {
  Multiply(alpha);
  return *this;
}

void QVASrvMatrix::SymmetricMultiply(const QVASrvMatrix& a, const QVASrvMatrix& b) {
  VerifyValues(*this, "SymmetricMultiply");
  QVA_VERIFY(rows_ == columns_, kQVASrvSizeMismatch,
             Describe(*this) << "::SymmetricMultiply: a symmetric product is square");
  QVA_VERIFY(!diagonal_ || ownsValues_, kQVASrvInvalidState,
             Describe(*this) << "::SymmetricMultiply: a diagonal matrix over a caller buffer "
                                "cannot grow to symmetric storage");
  QVASrvMatrix product(rows_, columns_);
  product.Multiply(a, b);
  // The product is symmetric in exact arithmetic; the lower triangle, which
  // the factorization reads, is copied to the upper one so that the stored
  // matrix is symmetric to the last bit.
  for (int column = 1; column < columns_; ++column) {
    for (int row = 0; row < column; ++row) {
      product.values_[row + static_cast<std::int64_t>(column) * rows_] =
          product.values_[column + static_cast<std::int64_t>(row) * rows_];
    }
  }
  if (diagonal_) {
    std::swap(values_, product.values_);
  } else {
    std::copy_n(product.values_, StoredCount(product), values_);
  }
  symmetric_ = true;
  diagonal_ = false;
}

void QVASrvMatrix::Transpose() {
  VerifyValues(*this, "Transpose");
  if (diagonal_) return;
  if (rows_ == columns_) {
    for (int column = 1; column < columns_; ++column) {
      for (int row = 0; row < column; ++row) {
        std::swap(values_[row + static_cast<std::int64_t>(column) * rows_],
                  values_[column + static_cast<std::int64_t>(row) * rows_]);
      }
    }
    return;
  }
  const std::vector<double> original(values_, values_ + StoredCount(*this));
  for (int column = 0; column < columns_; ++column) {
    for (int row = 0; row < rows_; ++row) {
      values_[column + static_cast<std::int64_t>(row) * columns_] =
          original[row + QVAIndex(column) * rows_];
    }
  }
  std::swap(rows_, columns_);
}

void QVASrvMatrix::SetSlice(double alpha, const QVASrvMatrix& b, int row, int column) {
  VerifyValues(*this, "SetSlice");
  VerifyValues(b, "SetSlice");
  QVA_VERIFY(row >= 0 && column >= 0 && static_cast<std::int64_t>(row) + b.rows_ <= rows_ &&
                 static_cast<std::int64_t>(column) + b.columns_ <= columns_,
             kQVASrvIndexOutOfRange,
             Describe(*this) << "::SetSlice: " << Describe(b) << " at (" << row << ", " << column
                             << ") reaches beyond row " << rows_ - 1 << " or column "
                             << columns_ - 1);
  CopyRectangle(b, 0, 0, *this, row, column, b.rows_, b.columns_, alpha, "SetSlice");
}

void QVASrvMatrix::Interpolate(double t, const QVASrvMatrix& a, const QVASrvMatrix& b) {
  VerifyValues(*this, "Interpolate");
  VerifyValues(a, "Interpolate");
  VerifyValues(b, "Interpolate");
  VerifySameSize(*this, a, "Interpolate");
  VerifySameSize(*this, b, "Interpolate");
  if (diagonal_) {
    QVA_VERIFY(a.diagonal_ && b.diagonal_, kQVASrvInvalidState,
               Describe(*this) << "::Interpolate: operands " << Describe(a) << " and "
                               << Describe(b) << " are not both diagonal");
    for (int i = 0; i < rows_; ++i) values_[i] = (1.0 - t) * a.values_[i] + t * b.values_[i];
    return;
  }
  // Entry by entry at the same place, so `a` or `b` may be this matrix.
  for (int column = 0; column < columns_; ++column) {
    for (int row = 0; row < rows_; ++row) {
      values_[row + static_cast<std::int64_t>(column) * rows_] =
          (1.0 - t) * Entry(a, row, column) + t * Entry(b, row, column);
    }
  }
}

void QVASrvMatrix::Factorize(int* pivots) {
  VerifyValues(*this, "Factorize");
  QVA_VERIFY(rows_ == columns_, kQVASrvSizeMismatch,
             Describe(*this) << "::Factorize: only a square matrix can be factorized");
  const int n = rows_;
  if (pivots_ == nullptr) pivots_ = mem_AllocArray<int>(QVAIndex(n));
  if (diagonal_) {
    for (int i = 0; i < n; ++i) {
      QVA_VERIFY(values_[i] != 0.0, kQVASrvSingularMatrix,
                 Describe(*this) << "::Factorize: the matrix is singular: diagonal entry " << i
                                 << " of 0 ... " << n - 1 << " is zero");
      pivots_[i] = i + 1;
    }
  } else if (n > 0) {
    // Kept so that a singular matrix is left as it was, not half factorized:
    // every value, or the lower triangle of symmetric storage, which alone
    // its factorization writes.
    FactorizeScratch& scratch = FactorizeScratch::OfThisThread();
    scratch.original.resize(symmetric_ ? QVAIndex(n) * (n + 1) / 2 : QVAIndex(n) * n);
    CopyFactorizedPart(values_, n, symmetric_, scratch.original.data(), false);
    int info = 0;
    const char* routine = symmetric_ ? "dsytrf" : "dgetrf";
    if (symmetric_) {
      info = QVAMtxFactorSymmetric(n, values_, pivots_, scratch.work);
    } else {
      dgetrf_(&n, &n, values_, &n, pivots_, &info);
    }
    if (info != 0) {
      CopyFactorizedPart(values_, n, symmetric_, scratch.original.data(), true);
      scratch.Trim();
      QVA_VERIFY(info > 0, kQVABasInvalidArgument,
                 Describe(*this) << "::Factorize: " << routine << " rejected argument " << -info);
      QVA_RAISE(kQVASrvSingularMatrix,
                Describe(*this) << "::Factorize: the matrix is singular: pivot " << info - 1
                                << " of 0 ... " << n - 1 << " is exactly zero (" << routine
                                << " info " << info
                                << "); check for a zero row or column or a missing constraint");
    }
    scratch.Trim();
  }
  content_ = Content::kFactors;
  if (pivots != nullptr) std::copy_n(pivots_, n, pivots);
}

void QVASrvMatrix::ForwardBackwardPass(const int* pivots, QVASrvMatrix& rightHandSide,
                                       int flag) const {
  QVA_VERIFY(content_ == Content::kFactors, kQVASrvInvalidState,
             Describe(*this) << "::ForwardBackwardPass: needs Factorize() first");
  VerifyValues(rightHandSide, "ForwardBackwardPass");
  QVA_VERIFY(rightHandSide.rows_ == rows_, kQVASrvSizeMismatch,
             Describe(*this) << "::ForwardBackwardPass: right-hand side " << Describe(rightHandSide)
                             << " needs " << rows_ << " rows");
  QVA_VERIFY(!rightHandSide.diagonal_ && !SharesStorage(*this, rightHandSide), kQVASrvInvalidState,
             Describe(*this) << "::ForwardBackwardPass: right-hand side " << Describe(rightHandSide)
                             << " must be full storage apart from the factors");
  const int n = rows_;
  const int numberOfRightHandSides = rightHandSide.columns_;
  if (n == 0 || numberOfRightHandSides == 0) return;
  if (diagonal_) {
    for (int column = 0; column < numberOfRightHandSides; ++column) {
      double* solution = rightHandSide.values_ + static_cast<std::int64_t>(column) * n;
      for (int i = 0; i < n; ++i) solution[i] /= values_[i];
    }
    return;
  }
  const int* usedPivots = pivots_;
  if (pivots != nullptr) {
    for (int i = 0; i < n; ++i) {
      QVA_VERIFY(pivots[i] != 0 && pivots[i] >= -n && pivots[i] <= n, kQVABasInvalidArgument,
                 Describe(*this) << "::ForwardBackwardPass: pivot " << i << " is " << pivots[i]
                                 << ", outside 1 ... " << n << " (or -" << n << " ... -1)");
    }
    usedPivots = pivots;
  }
  int info = 0;
  if (symmetric_) {
    info =
        QVAMtxSolveSymmetric(n, values_, usedPivots, numberOfRightHandSides, rightHandSide.values_);
  } else {
    const char transpose = flag == 0 ? 'N' : 'T';
    dgetrs_(&transpose, &n, &numberOfRightHandSides, values_, &n, usedPivots, rightHandSide.values_,
            &n, &info, 1);
  }
  QVA_VERIFY(info == 0, kQVABasInvalidArgument,
             Describe(*this) << "::ForwardBackwardPass: LAPACK rejected argument " << -info);
}
