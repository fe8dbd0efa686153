#include "platform/matrix/QVASrvDenseMatrix.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "internal/QVABlas.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/impl/QVAMtxLapack.h"
#include "platform/matrix/impl/QVASrvDenseMatrixView.h"
#include "platform/modeldb/QVASimCSet.h"

std::string QVASrvDescribe(const QVASrvDenseMatrix& matrix) {
  if (matrix.IsNull()) return "QVASrvDenseMatrix (null)";
  const std::string size =
      std::to_string(matrix.NumberOfRows()) + " x " + std::to_string(matrix.NumberOfColumns());
  const QVASimDistributionID distribution = matrix.DistributionID();
  if (distribution.IsValid()) {
    return "QVASrvDenseMatrix (distribution " + std::to_string(distribution.Index()) + ", " + size +
           ")";
  }
  return "QVASrvDenseMatrix (in-core, " + size + ")";
}

namespace {

void VerifyRange(const QVASrvDenseMatrix& matrix, const char* operation, const char* dimension,
                 int first, int last, int size) {
  QVA_VERIFY(first >= 0 && last < size && last >= first - 1, kQVASrvIndexOutOfRange,
             QVASrvDescribe(matrix) << "::" << operation << ": " << dimension << "s " << first
                                    << " ... " << last << " outside 0 ... " << size - 1);
}

void VerifyBlock(const QVASrvDenseMatrix& matrix, const char* operation, int block,
                 int numberOfBlocks) {
  QVA_VERIFY(block >= 0 && block < numberOfBlocks, kQVASrvIndexOutOfRange,
             QVASrvDescribe(matrix) << "::" << operation << ": block " << block << " outside 0 ... "
                                    << numberOfBlocks - 1);
}

// The in-core operand of a product or copy: holds values, and (unless
// `diagonalAllowed`) keeps every entry in its storage.
void VerifyInCore(const QVASrvDenseMatrix& matrix, const char* operation,
                  const QVASrvMatrix& operand, bool diagonalAllowed) {
  QVA_VERIFY(operand.State() == QVASrvMatrix::Content::kValues, kQVASrvInvalidState,
             QVASrvDescribe(matrix)
                 << "::" << operation << ": the in-core matrix holds factors, not values");
  QVA_VERIFY(diagonalAllowed || !operand.IsDiagonal(), kQVASrvInvalidState,
             QVASrvDescribe(matrix)
                 << "::" << operation << ": the in-core matrix " << operand.NumberOfRows() << " x "
                 << operand.NumberOfColumns() << " has diagonal storage; full storage is needed");
}

// The leading dimension as BLAS takes it.
int BlasLeadingDimension(const QVASrvDenseMatrix& matrix) {
  const std::int64_t leadingDimension = matrix.LeadingDimension();
  QVA_VERIFY(leadingDimension <= INT_MAX, kQVASrvSizeMismatch,
             QVASrvDescribe(matrix) << ": leading dimension " << leadingDimension
                                    << " exceeds the BLAS limit " << INT_MAX);
  return static_cast<int>(leadingDimension);
}

// The address range that a column-major rectangle occupies.
struct Extent {
  const double* begin;
  const double* end;
};

Extent ExtentOf(const double* values, std::int64_t leadingDimension, int rows, int columns) {
  if (rows <= 0 || columns <= 0 || values == nullptr) return {nullptr, nullptr};
  return {values, values + leadingDimension * (columns - 1) + rows};
}

Extent ExtentOf(const QVASrvDenseMatrix& matrix) {
  return ExtentOf(matrix.Values(), matrix.LeadingDimension(), matrix.NumberOfRows(),
                  matrix.NumberOfColumns());
}

Extent ExtentOf(const QVASrvMatrix& matrix) {
  return ExtentOf(matrix.Values(), matrix.NumberOfRows(),
                  matrix.IsDiagonal() ? 1 : matrix.NumberOfRows(),
                  matrix.IsDiagonal() ? 1 : matrix.NumberOfColumns());
}

bool Overlap(const Extent& a, const Extent& b) {
  if (a.begin == nullptr || b.begin == nullptr) return false;
  const std::less<const double*> before;
  return before(a.begin, b.end) && before(b.begin, a.end);
}

void VerifyApart(const QVASrvDenseMatrix& matrix, const char* operation, const Extent& result,
                 const Extent& operand) {
  QVA_VERIFY(!Overlap(result, operand), kQVASrvInvalidState,
             QVASrvDescribe(matrix)
                 << "::" << operation << ": the result shares storage with an operand");
}

// Copies a rows x columns rectangle between column-major arrays.
void CopyColumns(const double* from, std::int64_t fromLeading, double* to, std::int64_t toLeading,
                 int rows, int columns) {
  for (int column = 0; column < columns; ++column) {
    std::copy_n(from + column * fromLeading, rows, to + column * toLeading);
  }
}

}  // namespace

// ---------------------------------------------------------------- View

QVASrvDenseMatrix::View::~View() { mem_Free(ownedValues); }

int QVASrvDenseMatrix::View::Members::MemberAt(int index) const {
  if (!list.empty()) return list[QVAIndex(index)];
  if (set.IsValid()) return QVASimCSet(set)[firstInSet + index];
  return index;
}

int QVASrvDenseMatrix::View::Members::IndexOf(int member, int size) const {
  if (!list.empty()) {
    const auto found = positionOfMember.find(member);
    return found == positionOfMember.end() ? -1 : found->second;
  }
  int index = member;
  if (set.IsValid()) {
    const int position = QVASimCSet(set).IndexOf(member);
    if (position < 0) return -1;
    index = position - firstInSet;
  }
  return index >= 0 && index < size ? index : -1;
}

void QVASrvDenseMatrix::View::Members::SetList(const int* members, int count) {
  list.clear();
  positionOfMember.clear();
  if (members == nullptr) return;
  list.assign(members, members + count);
  for (int i = 0; i < count; ++i) positionOfMember.emplace(members[i], i);
}

void QVASrvDenseMatrix::View::Members::TakeRange(const Members& parent, int first, int count) {
  set = parent.set;
  firstInSet = parent.firstInSet + first;
  SetList(parent.list.empty() ? nullptr : parent.list.data() + first, count);
}

void QVASrvDenseMatrix::View::AssignDistribution(const QVASimDistribution& source) {
  QVA_VERIFY(!source.IsSparse(), kQVASrvInvalidState,
             "QVASrvDenseMatrix: distribution " << source.ID().Index()
                                                << " is sparse; a dense matrix needs dense values");
  isNull = false;
  values = source.Values();
  leadingDimension = source.LeadingDimension();
  rows = source.Rows();
  columns = source.Columns();
  SetChunks(source.RowChunk(), source.ColumnChunk());
  distribution = source.ID();
  rowMembers.set = source.RowSet();
  columnMembers.set = source.ColumnSet();
}

void QVASrvDenseMatrix::View::AllocateOwned(int numberOfRows, int numberOfColumns) {
  QVA_VERIFY(
      numberOfRows >= 0 && numberOfColumns >= 0, kQVASrvSizeMismatch,
      "QVASrvDenseMatrix: size " << numberOfRows << " x " << numberOfColumns << " is negative");
  const std::int64_t count = static_cast<std::int64_t>(numberOfRows) * numberOfColumns;
  ownedValues = mem_AllocArray<double>(QVAIndex(count));
  std::fill_n(ownedValues, count, 0.0);
  isNull = false;
  values = ownedValues;
  leadingDimension = numberOfRows;
  rows = numberOfRows;
  columns = numberOfColumns;
}

void QVASrvDenseMatrix::View::SetChunks(int requestedRowChunk, int requestedColumnChunk) {
  const auto normalize = [](int chunk, int size) {
    if (chunk < 1 || chunk > size) chunk = size;
    return std::max(chunk, 1);
  };
  rowChunk = normalize(requestedRowChunk, rows);
  columnChunk = normalize(requestedColumnChunk, columns);
}

// ---------------------------------------------------------------- construction

QVASrvDenseMatrix::QVASrvDenseMatrix() : view_(new View) {}

QVASrvDenseMatrix::QVASrvDenseMatrix(const QVASimDistributionID& distribution) : view_(new View) {
  if (!distribution.IsValid()) return;
  try {
    view_->AssignDistribution(QVASimDistribution(distribution));
  } catch (...) {
    delete view_;
    throw;
  }
}

QVASrvDenseMatrix::QVASrvDenseMatrix(const QVASimDistribution& distribution) : view_(new View) {
  try {
    view_->AssignDistribution(distribution);
  } catch (...) {
    delete view_;
    throw;
  }
}

QVASrvDenseMatrix::~QVASrvDenseMatrix() { delete view_; }

// ---------------------------------------------------------------- sizes and members

bool QVASrvDenseMatrix::IsNull() const { return view_->isNull; }
QVASimDistributionID QVASrvDenseMatrix::DistributionID() const { return view_->distribution; }
QVASimCSetID QVASrvDenseMatrix::RowSet() const { return view_->rowMembers.set; }
QVASimCSetID QVASrvDenseMatrix::ColumnSet() const { return view_->columnMembers.set; }

int QVASrvDenseMatrix::RowOfMember(int member) const {
  return view_->rowMembers.IndexOf(member, view_->rows);
}

int QVASrvDenseMatrix::ColumnOfMember(int member) const {
  return view_->columnMembers.IndexOf(member, view_->columns);
}

int QVASrvDenseMatrix::RowMember(int row) const {
  VerifyRange(*this, "RowMember", "row", row, row, view_->rows);
  return view_->rowMembers.MemberAt(row);
}

int QVASrvDenseMatrix::ColumnMember(int column) const {
  VerifyRange(*this, "ColumnMember", "column", column, column, view_->columns);
  return view_->columnMembers.MemberAt(column);
}

int QVASrvDenseMatrix::NumberOfRows() const { return view_->rows; }
int QVASrvDenseMatrix::NumberOfColumns() const { return view_->columns; }

int QVASrvDenseMatrix::NumberOfRowBlocks() const {
  return (view_->rows + view_->rowChunk - 1) / view_->rowChunk;
}

int QVASrvDenseMatrix::FirstRowInBlock(int block) const {
  VerifyBlock(*this, "FirstRowInBlock", block, NumberOfRowBlocks());
  return block * view_->rowChunk;
}

int QVASrvDenseMatrix::NumberOfRowsInBlock(int block) const {
  VerifyBlock(*this, "NumberOfRowsInBlock", block, NumberOfRowBlocks());
  return std::min(view_->rowChunk, view_->rows - block * view_->rowChunk);
}

int QVASrvDenseMatrix::MaxNumberOfRowsInBlock() const {
  return std::min(view_->rowChunk, view_->rows);
}

int QVASrvDenseMatrix::NumberOfColumnBlocks() const {
  return (view_->columns + view_->columnChunk - 1) / view_->columnChunk;
}

int QVASrvDenseMatrix::FirstColumnInBlock(int block) const {
  VerifyBlock(*this, "FirstColumnInBlock", block, NumberOfColumnBlocks());
  return block * view_->columnChunk;
}

int QVASrvDenseMatrix::NumberOfColumnsInBlock(int block) const {
  VerifyBlock(*this, "NumberOfColumnsInBlock", block, NumberOfColumnBlocks());
  return std::min(view_->columnChunk, view_->columns - block * view_->columnChunk);
}

int QVASrvDenseMatrix::MaxNumberOfColumnsInBlock() const {
  return std::min(view_->columnChunk, view_->columns);
}

void QVASrvDenseMatrix::SetAccess(int accessType) { view_->access = accessType; }
int QVASrvDenseMatrix::Access() const { return view_->access; }

double* QVASrvDenseMatrix::Values() const { return view_->values; }
std::int64_t QVASrvDenseMatrix::LeadingDimension() const { return view_->leadingDimension; }

// ---------------------------------------------------------------- block transfer

void QVASrvDenseMatrix::GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                                  QVASrvMatrix& block) const {
  VerifyRange(*this, "GetValues", "row", firstRow, lastRow, view_->rows);
  VerifyRange(*this, "GetValues", "column", firstColumn, lastColumn, view_->columns);
  VerifyInCore(*this, "GetValues", block, false);
  const int rows = lastRow - firstRow + 1;
  const int columns = lastColumn - firstColumn + 1;
  QVA_VERIFY(block.NumberOfRows() >= rows && block.NumberOfColumns() >= columns,
             kQVASrvSizeMismatch,
             QVASrvDescribe(*this) << "::GetValues: the in-core matrix " << block.NumberOfRows()
                                   << " x " << block.NumberOfColumns() << " cannot hold " << rows
                                   << " x " << columns << " values");
  const double* from = view_->values + firstRow + firstColumn * view_->leadingDimension;
  if (Overlap(ExtentOf(from, view_->leadingDimension, rows, columns), ExtentOf(block))) {
    std::vector<double> copy(QVAIndex(rows) * std::max(columns, 0));
    CopyColumns(from, view_->leadingDimension, copy.data(), rows, rows, columns);
    CopyColumns(copy.data(), rows, block.Values(), block.NumberOfRows(), rows, columns);
    return;
  }
  CopyColumns(from, view_->leadingDimension, block.Values(), block.NumberOfRows(), rows, columns);
}

void QVASrvDenseMatrix::SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                                  const QVASrvMatrix& block) {
  VerifyRange(*this, "SetValues", "row", firstRow, lastRow, view_->rows);
  VerifyRange(*this, "SetValues", "column", firstColumn, lastColumn, view_->columns);
  VerifyInCore(*this, "SetValues", block, true);
  const int rows = lastRow - firstRow + 1;
  const int columns = lastColumn - firstColumn + 1;
  QVA_VERIFY(block.NumberOfRows() >= rows && block.NumberOfColumns() >= columns,
             kQVASrvSizeMismatch,
             QVASrvDescribe(*this) << "::SetValues: the in-core matrix " << block.NumberOfRows()
                                   << " x " << block.NumberOfColumns() << " has fewer than " << rows
                                   << " x " << columns << " values");
  double* to = view_->values + firstRow + firstColumn * view_->leadingDimension;
  if (block.IsDiagonal()) {
    for (int column = 0; column < columns; ++column) {
      for (int row = 0; row < rows; ++row) {
        to[row + column * view_->leadingDimension] = block(row, column);
      }
    }
    return;
  }
  if (Overlap(ExtentOf(to, view_->leadingDimension, rows, columns), ExtentOf(block))) {
    const QVASrvMatrix copy(block);
    CopyColumns(copy.Values(), copy.NumberOfRows(), to, view_->leadingDimension, rows, columns);
    return;
  }
  CopyColumns(block.Values(), block.NumberOfRows(), to, view_->leadingDimension, rows, columns);
}

void QVASrvDenseMatrix::GetColumns(int first, int last, QVASrvMatrix& block) const {
  GetValues(0, view_->rows - 1, first, last, block);
}

void QVASrvDenseMatrix::SetColumns(int first, int last, const QVASrvMatrix& block) {
  SetValues(0, view_->rows - 1, first, last, block);
}

void QVASrvDenseMatrix::GetRows(int first, int last, QVASrvMatrix& block) const {
  GetValues(first, last, 0, view_->columns - 1, block);
}

void QVASrvDenseMatrix::CopyRowsToMemory(const int* rowList, int rows, QVASrvMatrix& out) const {
  VerifyInCore(*this, "CopyRowsToMemory", out, false);
  QVA_VERIFY(
      out.NumberOfRows() >= rows && out.NumberOfColumns() >= view_->columns, kQVASrvSizeMismatch,
      QVASrvDescribe(*this) << "::CopyRowsToMemory: the in-core matrix " << out.NumberOfRows()
                            << " x " << out.NumberOfColumns() << " cannot hold " << rows << " x "
                            << view_->columns << " values");
  QVA_VERIFY(!Overlap(ExtentOf(*this), ExtentOf(out)), kQVASrvInvalidState,
             QVASrvDescribe(*this) << "::CopyRowsToMemory: the in-core matrix shares its storage");
  for (int row = 0; row < view_->rows; ++row) {
    QVA_VERIFY(rowList[row] >= 0 && rowList[row] < rows, kQVASrvIndexOutOfRange,
               QVASrvDescribe(*this) << "::CopyRowsToMemory: row " << row << " goes to row "
                                     << rowList[row] << ", outside 0 ... " << rows - 1);
  }
  out = 0.0;
  const std::int64_t outLeading = out.NumberOfRows();
  for (int column = 0; column < view_->columns; ++column) {
    const double* from = view_->values + column * view_->leadingDimension;
    double* to = out.Values() + column * outLeading;
    for (int row = 0; row < view_->rows; ++row) to[rowList[row]] = from[row];
  }
}

void QVASrvDenseMatrix::ScatterColumnsToMemory(int firstColumn, int lastColumn,
                                               const std::int64_t* rowOffsets,
                                               std::int64_t columnStride, double* out,
                                               std::int64_t outSize) const {
  VerifyRange(*this, "ScatterColumnsToMemory", "column", firstColumn, lastColumn, view_->columns);
  const int columns = lastColumn - firstColumn + 1;
  if (columns == 0 || view_->rows == 0) return;
  QVA_VERIFY(columnStride > 0, kQVASrvIndexOutOfRange,
             QVASrvDescribe(*this) << "::ScatterColumnsToMemory: column stride " << columnStride
                                   << " is not positive");
  const Extent written = outSize > 0 ? Extent{out, out + outSize} : Extent{nullptr, nullptr};
  VerifyApart(*this, "ScatterColumnsToMemory", written, ExtentOf(*this));
  const std::int64_t lastOffset = outSize - 1 - (columns - 1) * columnStride;
  const std::int64_t leading = view_->leadingDimension;
  // A few columns per pass over the rows: every row's values lie close
  // together in out, and the pass reads as many columns as the processor
  // follows as streams.
  constexpr int kColumnsPerPass = 8;
  for (int passColumn = 0; passColumn < columns; passColumn += kColumnsPerPass) {
    const int passColumns = std::min(kColumnsPerPass, columns - passColumn);
    const double* from = view_->values + (firstColumn + passColumn) * leading;
    double* to = out + passColumn * columnStride;
    for (int row = 0; row < view_->rows; ++row) {
      const std::int64_t offset = rowOffsets[row];
      QVA_VERIFY(offset >= 0 && offset <= lastOffset, kQVASrvIndexOutOfRange,
                 QVASrvDescribe(*this)
                     << "::ScatterColumnsToMemory: row " << row << " goes to offset " << offset
                     << ", outside 0 ... " << lastOffset << " for " << columns
                     << " columns in steps of " << columnStride << " within " << outSize
                     << " values");
      for (int column = 0; column < passColumns; ++column) {
        to[offset + column * columnStride] = from[row + column * leading];
      }
    }
  }
}

void QVASrvDenseMatrix::CopyMappedValues(const QVASrvDenseMatrix& source, const int* rowMembers,
                                         const int* columnMembers) {
  std::vector<std::int64_t> sourceRow(QVAIndex(view_->rows));
  for (int row = 0; row < view_->rows; ++row) {
    const int member = rowMembers != nullptr ? rowMembers[row] : RowMember(row);
    const int found = source.RowOfMember(member);
    QVA_VERIFY(found >= 0, kQVASrvIndexOutOfRange,
               QVASrvDescribe(*this) << "::CopyMappedValues: member " << member << " of row " << row
                                     << " is not a row of " << QVASrvDescribe(source));
    sourceRow[QVAIndex(row)] = found;
  }
  std::vector<std::int64_t> sourceColumn(QVAIndex(view_->columns));
  for (int column = 0; column < view_->columns; ++column) {
    const int member = columnMembers != nullptr ? columnMembers[column] : ColumnMember(column);
    const int found = source.ColumnOfMember(member);
    QVA_VERIFY(found >= 0, kQVASrvIndexOutOfRange,
               QVASrvDescribe(*this) << "::CopyMappedValues: member " << member << " of column "
                                     << column << " is not a column of " << QVASrvDescribe(source));
    sourceColumn[QVAIndex(column)] = found;
  }
  // A source sharing this matrix's storage is read from a copy of its values.
  std::vector<double> copy;
  const double* sourceValues = source.Values();
  std::int64_t sourceLeading = source.LeadingDimension();
  if (Overlap(ExtentOf(*this), ExtentOf(source))) {
    copy.resize(QVAIndex(source.NumberOfRows()) * source.NumberOfColumns());
    CopyColumns(sourceValues, sourceLeading, copy.data(), source.NumberOfRows(),
                source.NumberOfRows(), source.NumberOfColumns());
    sourceValues = copy.data();
    sourceLeading = source.NumberOfRows();
  }
  for (int column = 0; column < view_->columns; ++column) {
    const double* from = sourceValues + sourceColumn[QVAIndex(column)] * sourceLeading;
    double* to = view_->values + column * view_->leadingDimension;
    for (int row = 0; row < view_->rows; ++row) {
      to[row] = from[sourceRow[QVAIndex(row)]];
    }
  }
}

// ---------------------------------------------------------------- products and views

void QVASrvDenseMatrix::MultiplyRowRanges(const QVASrvMatrix& q, QVASrvDenseMatrix& out,
                                          const int* rowList, const int* ranges,
                                          int numberOfRanges) const {
  VerifyInCore(*this, "MultiplyRowRanges", q, false);
  QVA_VERIFY(q.NumberOfRows() == view_->columns && q.NumberOfColumns() == out.NumberOfColumns(),
             kQVASrvSizeMismatch,
             QVASrvDescribe(*this) << "::MultiplyRowRanges: q is " << q.NumberOfRows() << " x "
                                   << q.NumberOfColumns() << ", needs " << view_->columns << " x "
                                   << out.NumberOfColumns() << " for " << QVASrvDescribe(out));
  QVA_VERIFY(numberOfRanges >= 0, kQVASrvIndexOutOfRange,
             QVASrvDescribe(*this) << "::MultiplyRowRanges: " << numberOfRanges << " ranges");
  if (numberOfRanges == 0) return;
  VerifyApart(*this, "MultiplyRowRanges", ExtentOf(out), ExtentOf(*this));
  VerifyApart(*this, "MultiplyRowRanges", ExtentOf(out), ExtentOf(q));
  QVA_VERIFY(ranges[0] >= 0 && ranges[numberOfRanges] <= out.NumberOfRows(), kQVASrvIndexOutOfRange,
             QVASrvDescribe(*this) << "::MultiplyRowRanges: list positions " << ranges[0] << " ... "
                                   << ranges[numberOfRanges] - 1 << " outside the "
                                   << out.NumberOfRows() << " rows of " << QVASrvDescribe(out));
  for (int range = 0; range < numberOfRanges; ++range) {
    const int first = ranges[range];
    const int size = ranges[range + 1] - first;
    QVA_VERIFY(size >= 0, kQVASrvIndexOutOfRange,
               QVASrvDescribe(*this)
                   << "::MultiplyRowRanges: range " << range << " ends before it starts (" << first
                   << " > " << ranges[range + 1] << ")");
    if (size == 0) continue;
    const int firstRow = rowList[first];
    QVA_VERIFY(firstRow >= 0 && static_cast<std::int64_t>(firstRow) + size <= view_->rows,
               kQVASrvIndexOutOfRange,
               QVASrvDescribe(*this)
                   << "::MultiplyRowRanges: range " << range << " covers rows " << firstRow
                   << " ... " << firstRow + size - 1 << ", outside 0 ... " << view_->rows - 1);
    for (int i = 1; i < size; ++i) {
      QVA_VERIFY(rowList[first + i] == firstRow + i, kQVASrvIndexOutOfRange,
                 QVASrvDescribe(*this)
                     << "::MultiplyRowRanges: range " << range
                     << " is not contiguous: list position " << first + i << " holds row "
                     << rowList[first + i] << ", expected " << firstRow + i);
    }
  }
  // Consecutive ranges always meet in the output; where the next one also
  // starts on the row after the last one of this matrix, both are one run and
  // share one dgemm: a recovery of a whole basis cut into row blocks is a
  // single product instead of thousands of small ones.
  const int leading = BlasLeadingDimension(*this);
  const int outLeading = BlasLeadingDimension(out);
  int range = 0;
  while (range < numberOfRanges) {
    const int first = ranges[range];
    int end = ranges[++range];
    if (end == first) continue;
    while (range < numberOfRanges &&
           (ranges[range + 1] == end || rowList[end] == rowList[first] + (end - first))) {
      end = ranges[++range];
    }
    QVAGemm('N', 'N', end - first, out.NumberOfColumns(), view_->columns, 1.0,
            view_->values + rowList[first], leading, q.Values(), q.NumberOfRows(), 0.0,
            out.Values() + first, outLeading);
  }
}

QVASrvDenseMatrix* QVASrvDenseMatrix::CreateSubMatrix(int firstRow, int lastRow, int firstColumn,
                                                      int lastColumn) const {
  VerifyRange(*this, "CreateSubMatrix", "row", firstRow, lastRow, view_->rows);
  VerifyRange(*this, "CreateSubMatrix", "column", firstColumn, lastColumn, view_->columns);
  QVASrvDenseMatrix* subMatrix = new QVASrvDenseMatrix();
  View& view = *subMatrix->view_;
  try {
    view.isNull = false;
    view.values = view_->values + firstRow + firstColumn * view_->leadingDimension;
    view.leadingDimension = view_->leadingDimension;
    view.rows = lastRow - firstRow + 1;
    view.columns = lastColumn - firstColumn + 1;
    view.rowChunk = view_->rowChunk;
    view.columnChunk = view_->columnChunk;
    view.access = view_->access;
    view.distribution = view_->distribution;
    view.rowMembers.TakeRange(view_->rowMembers, firstRow, view.rows);
    view.columnMembers.TakeRange(view_->columnMembers, firstColumn, view.columns);
  } catch (...) {
    delete subMatrix;
    throw;
  }
  return subMatrix;
}

void QVASrvDenseMatrix::TransposeMultiply(const QVASrvDenseMatrix& other, double* result,
                                          bool symmetric) const {
  QVA_VERIFY(other.NumberOfRows() == view_->rows, kQVASrvSizeMismatch,
             QVASrvDescribe(*this) << "::TransposeMultiply: " << QVASrvDescribe(other) << " needs "
                                   << view_->rows << " rows");
  const int columns = view_->columns;
  const int otherColumns = other.NumberOfColumns();
  VerifyApart(*this, "TransposeMultiply", ExtentOf(result, columns, columns, otherColumns),
              ExtentOf(*this));
  VerifyApart(*this, "TransposeMultiply", ExtentOf(result, columns, columns, otherColumns),
              ExtentOf(other));
  QVAGemm('T', 'N', columns, otherColumns, view_->rows, 1.0, view_->values,
          BlasLeadingDimension(*this), other.Values(), BlasLeadingDimension(other), 0.0, result,
          columns);
  if (symmetric && columns == otherColumns) {
    // Known to be symmetric: the lower triangle is copied to the upper one so
    // that the result is symmetric to the last bit.
    for (std::int64_t column = 1; column < columns; ++column) {
      for (std::int64_t row = 0; row < column; ++row) {
        result[row + column * columns] = result[column + row * columns];
      }
    }
  }
}

void QVASrvDenseMatrix::TransposeMultiplyMapped(const int* rowMap, const QVASrvMatrix& other,
                                                double* result, double alpha, double beta) const {
  VerifyInCore(*this, "TransposeMultiplyMapped", other, true);
  const int rows = view_->rows;
  const int otherColumns = other.NumberOfColumns();
  std::vector<double> mapped(QVAIndex(rows) * std::max(otherColumns, 0), 0.0);
  for (int row = 0; row < rows; ++row) {
    const int otherRow = rowMap[row];
    if (otherRow < 0) continue;
    QVA_VERIFY(otherRow < other.NumberOfRows(), kQVASrvIndexOutOfRange,
               QVASrvDescribe(*this)
                   << "::TransposeMultiplyMapped: row " << row << " maps to row " << otherRow
                   << ", outside 0 ... " << other.NumberOfRows() - 1 << " of the in-core matrix");
    for (int column = 0; column < otherColumns; ++column) {
      mapped[QVAIndex(row) + QVAIndex(column) * rows] = other(otherRow, column);
    }
  }
  const int columns = view_->columns;
  VerifyApart(*this, "TransposeMultiplyMapped", ExtentOf(result, columns, columns, otherColumns),
              ExtentOf(*this));
  QVAGemm('T', 'N', columns, otherColumns, rows, alpha, view_->values, BlasLeadingDimension(*this),
          mapped.data(), rows, beta, result, columns);
}

void QVASrvDenseMatrix::Multiply(const QVASrvMatrix& coefficients,
                                 QVASrvDenseMatrix& result) const {
  VerifyInCore(*this, "Multiply", coefficients, false);
  QVA_VERIFY(coefficients.NumberOfRows() == view_->columns &&
                 result.NumberOfRows() == view_->rows &&
                 result.NumberOfColumns() == coefficients.NumberOfColumns(),
             kQVASrvSizeMismatch,
             QVASrvDescribe(*this) << "::Multiply: coefficients " << coefficients.NumberOfRows()
                                   << " x " << coefficients.NumberOfColumns() << " and result "
                                   << QVASrvDescribe(result) << " do not fit");
  VerifyApart(*this, "Multiply", ExtentOf(result), ExtentOf(*this));
  VerifyApart(*this, "Multiply", ExtentOf(result), ExtentOf(coefficients));
  QVAGemm('N', 'N', view_->rows, result.NumberOfColumns(), view_->columns, 1.0, view_->values,
          BlasLeadingDimension(*this), coefficients.Values(), coefficients.NumberOfRows(), 0.0,
          result.Values(), BlasLeadingDimension(result));
}
