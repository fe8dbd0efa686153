#pragma once

// In-core dense matrix of doubles, stored column by column. Three storage
// kinds, chosen at construction by two flags:
//
//   full       (false, false)  rows x columns values;
//   symmetric  (true,  false)  n x n values; the matrix is symmetric. Factorize
//                              and ForwardBackwardPass read its lower triangle
//                              only; every other operation uses all values;
//   diagonal   (true,  true)   n values, the diagonal; off-diagonal entries
//                              read as 0 and cannot be written. The second
//                              flag alone also gives diagonal storage.
//
// With a caller buffer the matrix works on that memory (rows*columns values,
// or n for a diagonal matrix) and never frees it; otherwise it owns its values.
//
//   QVASrvMatrix stiffness(3, 3, nullptr, true, true);   // diagonal, 3 values
//   stiffness(1, 1) = 400.0;
//   QVASrvMatrix loads(3, 2, buffer);                      // view of caller memory
//
// A matrix records what it holds: after Factorize() it holds its factors and
// answers ForwardBackwardPass(); other operations on it raise until values are
// assigned again. Index and size errors raise QVABasError with the bounds in
// the message.

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"

class QVA_PLATFORM_EXPORT QVASrvMatrix : public mem_AllocationOperators {
 public:
  enum class Content { kValues, kFactors };

  // 0 x 0 full matrix.
  QVASrvMatrix();
  // Values are zero when the matrix owns them; a caller buffer is used as is.
  // A diagonal matrix needs rows == columns.
  QVASrvMatrix(int rows, int columns, double* buffer = nullptr, bool symmetric = false,
               bool diagonal = false);
  // A copy owns its values.
  QVASrvMatrix(const QVASrvMatrix& other);
  // Takes the other's size, storage kind and values. A matrix over a caller
  // buffer keeps its buffer and needs the same size and storage kind.
  QVASrvMatrix& operator=(const QVASrvMatrix& other);
  // Sets every stored value.
  QVASrvMatrix& operator=(double value);
  ~QVASrvMatrix();

  int NumberOfRows() const { return rows_; }
  int NumberOfColumns() const { return columns_; }
  // The first storage flag (symmetric or diagonal storage) and the second (diagonal).
  bool IsSymmetric() const { return symmetric_; }
  bool IsDiagonal() const { return diagonal_; }
  Content State() const { return content_; }

  // The stored values: column-major with leading dimension NumberOfRows(), or
  // the n diagonal values.
  double* Values() { return values_; }
  const double* Values() const { return values_; }

  // Entry (row, column); reading an off-diagonal entry of a diagonal matrix
  // gives 0, writing one raises (the non-const form counts as writing: read
  // such entries through a const matrix).
  double operator()(int row, int column) const;
  double& operator()(int row, int column);

  // Rows firstRow ... lastRow and columns firstColumn ... lastColumn (inclusive,
  // zero-based) into / from `block`, which has at least that many rows and
  // columns (its leading dimension is its row count).
  void GetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 QVASrvMatrix& block) const;
  void SetValues(int firstRow, int lastRow, int firstColumn, int lastColumn,
                 const QVASrvMatrix& block);

  // this <- this + alpha * b (any storage kinds; a diagonal matrix can only
  // take a diagonal b).
  void Add(double alpha, const QVASrvMatrix& b);
  // this <- a * b; `this` has the product's size already. Calls dgemm for full
  // operands and scales rows or columns for diagonal ones.
  void Multiply(const QVASrvMatrix& a, const QVASrvMatrix& b);
  // this <- alpha * this.
  void Multiply(double alpha);
  QVASrvMatrix& operator*=(double alpha);
  // this <- a * b where the product is known to be symmetric (as B D B with
  // D diagonal); `this` becomes symmetric storage holding the full product.
  void SymmetricMultiply(const QVASrvMatrix& a, const QVASrvMatrix& b);
  // this <- transpose(this); a full rectangular matrix changes shape.
  void Transpose();
  // Writes alpha * b into the block of this matrix that starts at (row, column).
  void SetSlice(double alpha, const QVASrvMatrix& b, int row, int column);
  // this <- (1 - t) * a + t * b.
  void Interpolate(double t, const QVASrvMatrix& a, const QVASrvMatrix& b);

  // Factorizes in place: LU with partial pivoting (dgetrf) for full storage,
  // symmetric indefinite L D L^T with Bunch-Kaufman pivoting (dsytrf, lower
  // triangle) for symmetric storage, the diagonal itself for diagonal
  // storage. When `pivots` is given, the n pivot
  // indices are copied there too. Raises QVABasError (kQVASrvSingularMatrix)
  // naming the zero pivot when the matrix is singular.
  void Factorize(int* pivots = nullptr);
  // Solves A x = b in place for every column of `rightHandSide` (n rows) with
  // the factors of Factorize() (dgetrs; triangular solves, or dsytrs when a
  // pivot interchanges; division). `pivots` may be
  // null (the matrix keeps its own). flag 0 solves with A, any other value with
  // transpose(A). Raises unless the matrix holds factors.
  void ForwardBackwardPass(const int* pivots, QVASrvMatrix& rightHandSide, int flag = 0) const;

 private:
  int rows_ = 0;
  int columns_ = 0;
  bool symmetric_ = false;
  bool diagonal_ = false;
  bool ownsValues_ = true;
  Content content_ = Content::kValues;
  double* values_ = nullptr;
  int* pivots_ = nullptr;
  double zero_ = 0.0;
};
