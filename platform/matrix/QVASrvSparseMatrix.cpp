#include "platform/matrix/QVASrvSparseMatrix.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/impl/QVASrvDenseMatrixView.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimDistribution.h"

// Compressed rows: the entries of row r are positions rowStarts[r] ...
// rowStarts[r + 1] - 1 of columns and values, columns ascending, no repeats.
struct QVASrvSparseMatrix::Data {
  bool isNull = true;
  int rows = 0;
  int columns = 0;
  std::vector<int> rowStarts{0};
  std::vector<int> columnIndices;
  std::vector<double> values;
};

namespace {

std::string Describe(const QVASrvSparseMatrix& matrix) {
  if (matrix.IsNull()) return "QVASrvSparseMatrix (null)";
  return "QVASrvSparseMatrix " + std::to_string(matrix.NumberOfRows()) + " x " +
         std::to_string(matrix.NumberOfColumns()) + " (" +
         std::to_string(matrix.NumberOfNonZeros()) + " non-zeros)";
}

// The product kernel shared by the dense forms: result (leading dimension
// resultLeading) <- A * dense or transpose(A) * dense, one pass over the
// non-zeros, every column of `dense` at once.
void MultiplyKernel(const QVASrvSparseMatrix& sparse, const double* dense,
                    std::int64_t denseLeading, int denseRows, int denseColumns, double* result,
                    std::int64_t resultLeading, bool transpose) {
  const int resultRows = transpose ? sparse.NumberOfColumns() : sparse.NumberOfRows();
  for (int column = 0; column < denseColumns; ++column) {
    std::fill_n(result + column * resultLeading, resultRows, 0.0);
  }
  const int* rowStarts = sparse.RowStarts();
  const int* columns = sparse.ColumnIndices();
  const double* values = sparse.StoredValues();
  std::vector<double> row(QVAIndex(denseColumns));
  const int rows = transpose ? std::min(sparse.NumberOfRows(), denseRows) : sparse.NumberOfRows();
  for (int r = 0; r < rows; ++r) {
    if (rowStarts[r] == rowStarts[r + 1]) continue;
    if (transpose) {
      // Row r of dense scattered into the result rows of this row's columns.
      for (int k = 0; k < denseColumns; ++k) row[k] = dense[r + k * denseLeading];
      for (int entry = rowStarts[r]; entry < rowStarts[r + 1]; ++entry) {
        double* target = result + columns[entry];
        const double value = values[entry];
        for (int k = 0; k < denseColumns; ++k) target[k * resultLeading] += value * row[k];
      }
    } else {
      // Row r of the result gathered from the dense rows of this row's columns.
      std::fill(row.begin(), row.end(), 0.0);
      for (int entry = rowStarts[r]; entry < rowStarts[r + 1]; ++entry) {
        const double* source = dense + columns[entry];
        const double value = values[entry];
        for (int k = 0; k < denseColumns; ++k) row[k] += value * source[k * denseLeading];
      }
      for (int k = 0; k < denseColumns; ++k) result[r + k * resultLeading] = row[k];
    }
  }
}

void VerifyProductSizes(const QVASrvSparseMatrix& sparse, const QVASrvDenseMatrix& dense,
                        bool transpose) {
  QVA_VERIFY(transpose || dense.NumberOfRows() == sparse.NumberOfColumns(), kQVASrvSizeMismatch,
             Describe(sparse) << "::MultiplyDense: " << QVASrvDescribe(dense) << " needs "
                              << sparse.NumberOfColumns() << " rows");
}

}  // namespace

QVASrvSparseMatrix::QVASrvSparseMatrix() : data_(new Data) {}

QVASrvSparseMatrix::QVASrvSparseMatrix(int rows, int columns) : data_(new Data) {
  if (rows < 0 || columns < 0) {
    delete data_;
    QVA_RAISE(kQVASrvSizeMismatch,
              "QVASrvSparseMatrix: size " << rows << " x " << columns << " is negative");
  }
  data_->isNull = false;
  data_->rows = rows;
  data_->columns = columns;
  data_->rowStarts.assign(QVAIndex(rows) + 1, 0);
}

QVASrvSparseMatrix::QVASrvSparseMatrix(const QVASrvSparseMatrix& other)
    : data_(new Data(*other.data_)) {}

QVASrvSparseMatrix& QVASrvSparseMatrix::operator=(const QVASrvSparseMatrix& other) {
  if (this != &other) {
    Data* copy = new Data(*other.data_);
    delete data_;
    data_ = copy;
  }
  return *this;
}

QVASrvSparseMatrix::~QVASrvSparseMatrix() { delete data_; }

void QVASrvSparseMatrix::SetFromTriplets(int count, const int* rows, const int* columns,
                                         const double* values) {
  QVA_VERIFY(count >= 0, kQVASrvSizeMismatch,
             Describe(*this) << "::SetFromTriplets: " << count << " triplets");
  for (int i = 0; i < count; ++i) {
    QVA_VERIFY(
        rows[i] >= 0 && rows[i] < data_->rows && columns[i] >= 0 && columns[i] < data_->columns,
        kQVASrvIndexOutOfRange,
        Describe(*this) << "::SetFromTriplets: triplet " << i << " at (" << rows[i] << ", "
                        << columns[i] << ") outside 0 ... " << data_->rows - 1 << " x 0 ... "
                        << data_->columns - 1);
  }
  std::vector<int> order(QVAIndex(count));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return rows[a] != rows[b] ? rows[a] < rows[b] : columns[a] < columns[b];
  });
  std::vector<int> rowStarts(QVAIndex(data_->rows) + 1, 0);
  std::vector<int> columnIndices;
  std::vector<double> sums;
  columnIndices.reserve(order.size());
  sums.reserve(order.size());
  int previousRow = -1;
  for (const int i : order) {
    if (rows[i] == previousRow && columns[i] == columnIndices.back()) {
      sums.back() += values[i];
      continue;
    }
    previousRow = rows[i];
    columnIndices.push_back(columns[i]);
    sums.push_back(values[i]);
    ++rowStarts[QVAIndex(rows[i]) + 1];
  }
  std::partial_sum(rowStarts.begin(), rowStarts.end(), rowStarts.begin());
  data_->rowStarts = std::move(rowStarts);
  data_->columnIndices = std::move(columnIndices);
  data_->values = std::move(sums);
}

bool QVASrvSparseMatrix::IsNull() const { return data_->isNull; }
int QVASrvSparseMatrix::NumberOfRows() const { return data_->rows; }
int QVASrvSparseMatrix::NumberOfColumns() const { return data_->columns; }
int QVASrvSparseMatrix::NumberOfNonZeros() const {
  return static_cast<int>(data_->columnIndices.size());
}
const int* QVASrvSparseMatrix::RowStarts() const { return data_->rowStarts.data(); }
const int* QVASrvSparseMatrix::ColumnIndices() const { return data_->columnIndices.data(); }
const double* QVASrvSparseMatrix::StoredValues() const { return data_->values.data(); }

double QVASrvSparseMatrix::Value(int row, int column) const {
  QVA_VERIFY(row >= 0 && row < data_->rows && column >= 0 && column < data_->columns,
             kQVASrvIndexOutOfRange,
             Describe(*this) << "::Value: entry (" << row << ", " << column << ") outside 0 ... "
                             << data_->rows - 1 << " x 0 ... " << data_->columns - 1);
  const auto begin = data_->columnIndices.begin() + data_->rowStarts[row];
  const auto end = data_->columnIndices.begin() + data_->rowStarts[row + 1];
  const auto found = std::lower_bound(begin, end, column);
  if (found == end || *found != column) return 0.0;
  return data_->values[QVAIndex(found - data_->columnIndices.begin())];
}

void QVASrvSparseMatrix::PermuteRows(const int* newRowOfRow) {
  const int rows = data_->rows;
  std::vector<int> oldRowOfRow(QVAIndex(rows), -1);
  for (int row = 0; row < rows; ++row) {
    const int target = newRowOfRow[row];
    if (target == -1) continue;
    QVA_VERIFY(target >= 0 && target < rows, kQVASrvIndexOutOfRange,
               Describe(*this) << "::PermuteRows: row " << row << " moves to row " << target
                               << ", outside 0 ... " << rows - 1 << " (or -1 to drop it)");
    QVA_VERIFY(oldRowOfRow[QVAIndex(target)] == -1, kQVASrvIndexOutOfRange,
               Describe(*this) << "::PermuteRows: rows " << oldRowOfRow[QVAIndex(target)] << " and "
                               << row << " both move to row " << target);
    oldRowOfRow[QVAIndex(target)] = row;
  }
  std::vector<int> rowStarts(QVAIndex(rows) + 1, 0);
  std::vector<int> columnIndices;
  std::vector<double> values;
  columnIndices.reserve(data_->columnIndices.size());
  values.reserve(data_->values.size());
  for (int target = 0; target < rows; ++target) {
    const int source = oldRowOfRow[QVAIndex(target)];
    if (source >= 0) {
      for (int entry = data_->rowStarts[source]; entry < data_->rowStarts[source + 1]; ++entry) {
        columnIndices.push_back(data_->columnIndices[QVAIndex(entry)]);
        values.push_back(data_->values[QVAIndex(entry)]);
      }
    }
    rowStarts[QVAIndex(target) + 1] = static_cast<int>(columnIndices.size());
  }
  data_->rowStarts = std::move(rowStarts);
  data_->columnIndices = std::move(columnIndices);
  data_->values = std::move(values);
}

void QVASrvSparseMatrix::Subtract(const QVASrvSparseMatrix& a, const QVASrvSparseMatrix& b) {
  if (a.IsNull() && b.IsNull()) {
    *this = QVASrvSparseMatrix();
    return;
  }
  QVA_VERIFY(a.IsNull() || b.IsNull() ||
                 (a.data_->rows == b.data_->rows && a.data_->columns == b.data_->columns),
             kQVASrvSizeMismatch,
             Describe(*this) << "::Subtract: " << Describe(a) << " and " << Describe(b)
                             << " differ in size");
  const Data& shape = a.IsNull() ? *b.data_ : *a.data_;
  Data* difference = new Data;
  try {
    difference->isNull = false;
    difference->rows = shape.rows;
    difference->columns = shape.columns;
    difference->rowStarts.assign(QVAIndex(shape.rows) + 1, 0);
    const Data empty;
    const Data& left = a.IsNull() ? empty : *a.data_;
    const Data& right = b.IsNull() ? empty : *b.data_;
    for (int row = 0; row < shape.rows; ++row) {
      int i = left.isNull ? 0 : left.rowStarts[row];
      const int iEnd = left.isNull ? 0 : left.rowStarts[row + 1];
      int j = right.isNull ? 0 : right.rowStarts[row];
      const int jEnd = right.isNull ? 0 : right.rowStarts[row + 1];
      while (i < iEnd || j < jEnd) {
        const int columnI = i < iEnd ? left.columnIndices[QVAIndex(i)] : INT32_MAX;
        const int columnJ = j < jEnd ? right.columnIndices[QVAIndex(j)] : INT32_MAX;
        double value = 0.0;
        if (columnI <= columnJ) value += left.values[QVAIndex(i++)];
        if (columnJ <= columnI) value -= right.values[QVAIndex(j++)];
        difference->columnIndices.push_back(std::min(columnI, columnJ));
        difference->values.push_back(value);
      }
      difference->rowStarts[QVAIndex(row) + 1] = static_cast<int>(difference->columnIndices.size());
    }
  } catch (...) {
    delete difference;
    throw;
  }
  delete data_;
  data_ = difference;
}

void QVASrvSparseMatrix::Multiply(const double* x, int numberOfVectors, double* y,
                                  bool transpose) const {
  QVA_VERIFY(numberOfVectors >= 0, kQVASrvSizeMismatch,
             Describe(*this) << "::Multiply: " << numberOfVectors << " vectors");
  const int xRows = transpose ? data_->rows : data_->columns;
  MultiplyKernel(*this, x, xRows, xRows, numberOfVectors, y,
                 transpose ? data_->columns : data_->rows, transpose);
}

void QVASrvSparseMatrix::MultiplyDense(const QVASrvDenseMatrix& dense, double* result,
                                       bool transpose) const {
  VerifyProductSizes(*this, dense, transpose);
  MultiplyKernel(*this, dense.Values(), dense.LeadingDimension(), dense.NumberOfRows(),
                 dense.NumberOfColumns(), result, transpose ? data_->columns : data_->rows,
                 transpose);
}

void QVASrvSparseMatrix::MultiplyDense(const QVASrvDenseMatrix& dense, QVASrvDenseMatrix& result,
                                       bool transpose) const {
  VerifyProductSizes(*this, dense, transpose);
  const int resultRows = transpose ? data_->columns : data_->rows;
  QVA_VERIFY(
      result.NumberOfRows() == resultRows && result.NumberOfColumns() == dense.NumberOfColumns(),
      kQVASrvSizeMismatch,
      Describe(*this) << "::MultiplyDense: result " << QVASrvDescribe(result) << " needs "
                      << resultRows << " x " << dense.NumberOfColumns());
  QVA_VERIFY(result.Values() != dense.Values() || resultRows == 0 || dense.NumberOfColumns() == 0,
             kQVASrvInvalidState,
             Describe(*this) << "::MultiplyDense: result and operand share their storage");
  MultiplyKernel(*this, dense.Values(), dense.LeadingDimension(), dense.NumberOfRows(),
                 dense.NumberOfColumns(), result.Values(), result.LeadingDimension(), transpose);
}

void QVASrvSparseMatrix::Export(const QVASimCSetID& rowSet, const QVASimCSetID& columnSet,
                                const QVASimDistributionID& distribution) const {
  const QVASimDistribution target(distribution);
  QVA_VERIFY(target.IsSparse() && target.NumberOfDimensions() == 2, kQVASrvInvalidState,
             Describe(*this) << "::Export: distribution " << distribution.Index()
                             << " is not a sparse matrix");
  QVA_VERIFY(target.Set(0) == rowSet && target.Set(1) == columnSet, kQVASrvInvalidState,
             Describe(*this) << "::Export: distribution " << distribution.Index()
                             << " is not over the given row and column sets");
  const int rows = QVASimCSet(rowSet).Size();
  const int columns = QVASimCSet(columnSet).Size();
  QVA_VERIFY(
      rows == data_->rows && columns == data_->columns, kQVASrvSizeMismatch,
      Describe(*this) << "::Export: the sets have " << rows << " x " << columns << " members");
  target.WriteSparse(data_->rowStarts.data(), data_->columnIndices.data(), data_->values.data());
}
