#pragma once

// Sparse matrix of doubles in compressed-row storage, for physical operators
// (mass, load patterns, structural-acoustic coupling). A host fills it from
// triplets; products with dense matrices run in one pass over the non-zeros.
//
//   QVASrvSparseMatrix mass(n, n);
//   mass.SetFromTriplets(count, rows, columns, values);   // duplicates are summed
//   mass.Multiply(x, 6, y, false);                          // y = M x for 6 vectors
//
// A default-constructed matrix is null: it stands for an absent operator
// (IsNull() true, 0 x 0). A matrix built with a size is not null even while
// it holds no entries.

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimDistributionID.h"

class QVASrvDenseMatrix;

class QVA_PLATFORM_EXPORT QVASrvSparseMatrix : public mem_AllocationOperators {
 public:
  QVASrvSparseMatrix();
  QVASrvSparseMatrix(int rows, int columns);
  QVASrvSparseMatrix(const QVASrvSparseMatrix& other);
  QVASrvSparseMatrix& operator=(const QVASrvSparseMatrix& other);
  ~QVASrvSparseMatrix();

  // Replaces the entries; entries at the same place are summed. Raises for a
  // place outside the matrix.
  void SetFromTriplets(int count, const int* rows, const int* columns, const double* values);

  bool IsNull() const;
  int NumberOfRows() const;
  int NumberOfColumns() const;
  int NumberOfNonZeros() const;
  // Entry (row, column); 0 where none is stored.
  double Value(int row, int column) const;
  const int* RowStarts() const;
  const int* ColumnIndices() const;
  const double* StoredValues() const;

  // Moves row r to row newRowOfRow[r] for every row r; rows mapped to -1 are
  // dropped. The row count stays; target rows must be distinct.
  void PermuteRows(const int* newRowOfRow);
  // this <- a - b (same sizes); a null operand counts as zero.
  void Subtract(const QVASrvSparseMatrix& a, const QVASrvSparseMatrix& b);

  // y <- A x (transpose false; x columns x numberOfVectors, y rows x
  // numberOfVectors) or y <- transpose(A) x (transpose true), column-major.
  void Multiply(const double* x, int numberOfVectors, double* y, bool transpose) const;
  // result <- A * dense (transpose false: columns of A == dense rows; result is
  // rows(A) x columns(dense)) or transpose(A) * dense (transpose true: rows of
  // A at or beyond dense's row count contribute nothing; result is
  // columns(A) x columns(dense)); column-major array, overwritten.
  void MultiplyDense(const QVASrvDenseMatrix& dense, double* result, bool transpose) const;
  // As above into a dense matrix of the product's size.
  void MultiplyDense(const QVASrvDenseMatrix& dense, QVASrvDenseMatrix& result,
                     bool transpose) const;

  // Writes the entries into a sparse distribution over (rowSet, columnSet)
  // whose sizes equal this matrix's.
  void Export(const QVASimCSetID& rowSet, const QVASimCSetID& columnSet,
              const QVASimDistributionID& distribution) const;

 private:
  struct Data;
  Data* data_;
};
