#pragma once

// Blocked dense matrix of the model database. It is built over a distribution
// (whole or restricted to members, seen as rows x columns, see
// QVASimDistribution) and reads and writes the database's values in place;
// QVASrvScratchDenseMatrix and QVASrvMatrixContainer make ones that own their
// values instead. A dense matrix may also be a view of a rectangle of another
// (CreateSubMatrix), sharing its values.
//
// Blocks. The chunk sizes of the distribution cut the matrix into blocks of
// at most RowChunk rows and ColumnChunk columns, counted from the matrix's
// first row and column; the component reads and writes by column blocks:
//
//   100 x 12 matrix, chunks 100 x 5: NumberOfColumnBlocks() == 3,
//   FirstColumnInBlock(2) == 10, NumberOfColumnsInBlock(2) == 2,
//   MaxNumberOfColumnsInBlock() == 5, MaxNumberOfRowsInBlock() == 100.
//
// How the values lie in memory is this class's own affair: products over many
// blocks run as few large BLAS level-3 calls. Bounds and sizes are checked;
// a violation raises QVABasError naming the matrix, the index and the bound.
//
// Members. Rows and columns correspond to members of the distribution's row
// and column sets; a matrix without sets (scratch, container copies without
// member lists) numbers its members as its rows and columns.

#include <cstdint>

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimDistributionID.h"

class QVA_PLATFORM_EXPORT QVASrvDenseMatrix : public mem_AllocationOperators {
 public:
  // Over a whole distribution of at most two dimensions. An invalid identifier
  // gives a null matrix (IsNull() true, 0 x 0).
  explicit QVASrvDenseMatrix(const QVASimDistributionID& distribution);
  // Over a restricted distribution.
  explicit QVASrvDenseMatrix(const QVASimDistribution& distribution);
  QVASrvDenseMatrix(const QVASrvDenseMatrix&) = delete;
  QVASrvDenseMatrix& operator=(const QVASrvDenseMatrix&) = delete;
  virtual ~QVASrvDenseMatrix();

  bool IsNull() const;
  // The distribution the values belong to; invalid for scratch and container matrices.
  QVASimDistributionID DistributionID() const;
  QVASimCSetID RowSet() const;
  QVASimCSetID ColumnSet() const;
  // Row (column) of `member`, or -1 when the matrix has no such member.
  int RowOfMember(int member) const;
  int ColumnOfMember(int member) const;
  // Member of `row` (`column`). A view made by CreateSubMatrix answers with the
  // members of the rows and columns it covers, while RowSet() and ColumnSet()
  // stay the sets of the whole matrix it was made from.
  int RowMember(int row) const;
  int ColumnMember(int column) const;

  int NumberOfRows() const;
  int NumberOfColumns() const;
  int NumberOfRowBlocks() const;
  int FirstRowInBlock(int block) const;
  int NumberOfRowsInBlock(int block) const;
  int MaxNumberOfRowsInBlock() const;
  int NumberOfColumnBlocks() const;
  int FirstColumnInBlock(int block) const;
  int NumberOfColumnsInBlock(int block) const;
  int MaxNumberOfColumnsInBlock() const;

  // Access pattern hint (0 default, 2 many small row reads); kept.
  void SetAccess(int accessType);
  int Access() const;

  // Rows firstRow ... lastRow, columns firstColumn ... lastColumn (inclusive)
  // into / from `block` (at least that many rows and columns).
  void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 QVASrvMatrix& block) const;
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const QVASrvMatrix& block);
  // All rows of columns first ... last.
  void GetColumns(int first, int last, QVASrvMatrix& block) const;
  void SetColumns(int first, int last, const QVASrvMatrix& block);
  // All columns of rows first ... last.
  void GetRows(int first, int last, QVASrvMatrix& block) const;

  // Fills `out` (`rows` x NumberOfColumns()) with zeros, then puts row i of this
  // matrix on row rowList[i] of `out`, i = 0 ... NumberOfRows() - 1. Every
  // rowList entry must lie in 0 ... rows - 1.
  void CopyRowsToMemory(const int* rowList, int rows, QVASrvMatrix& out) const;

  // Entry (row, firstColumn + k) -> out[rowOffsets[row] + k * columnStride]
  // for every row of this matrix and k = 0 ... lastColumn - firstColumn: the
  // columns laid out in the caller's own order, for example node by node with
  // rowOffsets[row] = node * stride + place. `out` holds outSize values; every
  // offset must keep the whole row inside it (0 <= offset and offset + (columns
  // - 1) * columnStride < outSize), columnStride > 0. Values of out that no
  // row reaches are left as they are. An offset outside raises QVABasError
  // (kQVASrvIndexOutOfRange) naming the row; rows before it are then copied.
  void ScatterColumnsToMemory(int firstColumn, int lastColumn, const std::int64_t* rowOffsets,
                              std::int64_t columnStride, double* out, std::int64_t outSize) const;

  // Entry (i, j) of this matrix <- entry (row of rowMembers[i], column of
  // columnMembers[j]) of `source`, members looked up in the source's row and
  // column sets, for every row i and column j of this matrix. A member the
  // source lacks raises. A null list stands for this matrix's own members
  // (RowMember(i), ColumnMember(j)).
  void CopyMappedValues(const QVASrvDenseMatrix& source, const int* rowMembers,
                        const int* columnMembers);

  // For every range r = 0 ... numberOfRanges - 1 with list positions
  // ranges[r] ... ranges[r + 1] - 1 (the boundaries of
  // QVASrvFindContiguousRanges), whose rows of this matrix are the consecutive
  // rows rowList[ranges[r]] ... : rows ranges[r] ... ranges[r + 1] - 1 of `out`
  // <- those rows of this matrix times q (NumberOfColumns() x
  // out.NumberOfColumns()). Each row of out is written once. Consecutive
  // ranges whose rows of this matrix continue one another are multiplied as
  // one run, one dgemm per run.
  virtual void MultiplyRowRanges(const QVASrvMatrix& q, QVASrvDenseMatrix& out, const int* rowList,
                                 const int* ranges, int numberOfRanges) const;

  // A new view of rows firstRow ... lastRow, columns firstColumn ... lastColumn
  // sharing this matrix's values and chunk sizes; the caller deletes it and
  // keeps this matrix alive while the view lives.
  virtual QVASrvDenseMatrix* CreateSubMatrix(int firstRow, int lastRow, int firstColumn,
                                             int lastColumn) const;

  // result <- transpose(this) * other, a NumberOfColumns() x
  // other.NumberOfColumns() column-major array. With `symmetric` true the
  // product is known to be symmetric (this == other up to sparsity of the
  // operator between them) and may be formed from one triangle.
  virtual void TransposeMultiply(const QVASrvDenseMatrix& other, double* result,
                                 bool symmetric) const;
  // result <- alpha * transpose(this) * other' + beta * result, where row r of
  // other' is row rowMap[r] of `other` (r = 0 ... NumberOfRows() - 1; a
  // negative entry contributes nothing); result is NumberOfColumns() x
  // other.NumberOfColumns(), column-major.
  virtual void TransposeMultiplyMapped(const int* rowMap, const QVASrvMatrix& other, double* result,
                                       double alpha, double beta) const;
  // result <- this * coefficients, result being NumberOfRows() x coefficients.NumberOfColumns().
  virtual void Multiply(const QVASrvMatrix& coefficients, QVASrvDenseMatrix& result) const;

  // The storage seen as one column-major array; for the platform's own kernels.
  double* Values() const;
  std::int64_t LeadingDimension() const;

 protected:
  struct View;
  QVASrvDenseMatrix();
  View* view_ = nullptr;
};
