// Compressed-row sparse matrices: assembly from triplets, row permutation,
// differences, and products with vectors and dense matrices against the same
// products of the dense equivalent.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "tests/platform/matrix/QVAMatrixTestSupport.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

// A random sparse matrix (about a third of the entries set, some twice) and
// its dense column-major equivalent.
struct SparseCase {
  QVASrvSparseMatrix sparse;
  std::vector<double> dense;
};

SparseCase RandomSparse(int rows, int columns, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::uniform_int_distribution<int> rowOf(0, rows - 1);
  std::uniform_int_distribution<int> columnOf(0, columns - 1);
  const int count = rows * columns / 3 + 1;
  std::vector<int> tripletRows;
  std::vector<int> tripletColumns;
  std::vector<double> values;
  SparseCase result{QVASrvSparseMatrix(rows, columns),
                    std::vector<double>(QVAIndex(rows * columns), 0.0)};
  for (int i = 0; i < count; ++i) {
    tripletRows.push_back(rowOf(generator));
    tripletColumns.push_back(columnOf(generator));
    values.push_back(uniform(generator));
    result.dense[QVAIndex(tripletRows.back() + tripletColumns.back() * rows)] += values.back();
  }
  result.sparse.SetFromTriplets(count, tripletRows.data(), tripletColumns.data(), values.data());
  return result;
}

// Sums of at most `inner` products of entries below 2 in size (an entry may
// be the sum of two triplets) against the naive loop: 4 * inner * eps.
double SparseTolerance(int inner) { return 2.0 * QVAProductTolerance(inner); }

TEST(QVASrvSparseMatrixAssembly, TripletsAreSummedAndSorted) {
  QVASrvSparseMatrix matrix(3, 4);
  EXPECT_FALSE(matrix.IsNull());
  EXPECT_EQ(matrix.NumberOfNonZeros(), 0);
  const int rows[] = {2, 0, 2, 0};
  const int columns[] = {1, 3, 1, 0};
  const double values[] = {1.5, 2.0, 0.25, -1.0};
  matrix.SetFromTriplets(4, rows, columns, values);
  EXPECT_EQ(matrix.NumberOfNonZeros(), 3);
  EXPECT_EQ(matrix.Value(2, 1), 1.75);  // 1.5 + 0.25, exact
  EXPECT_EQ(matrix.Value(0, 3), 2.0);
  EXPECT_EQ(matrix.Value(1, 1), 0.0);
  EXPECT_EQ(matrix.RowStarts()[1], 2);  // row 0: columns 0 and 3, in order
  EXPECT_EQ(matrix.ColumnIndices()[0], 0);
  EXPECT_EQ(matrix.ColumnIndices()[1], 3);

  const int outside[] = {3};
  QVAExpectRaises([&] { matrix.SetFromTriplets(1, outside, columns, values); },
                  kQVASrvIndexOutOfRange, {"triplet 0 at (3, 1)"});
  QVAExpectRaises([&] { static_cast<void>(matrix.Value(0, 4)); }, kQVASrvIndexOutOfRange,
                  {"(0, 4)"});
  EXPECT_TRUE(QVASrvSparseMatrix().IsNull());
}

TEST(QVASrvSparseMatrixAssembly, CopiesOwnTheirEntries) {
  auto original = std::make_unique<QVASrvSparseMatrix>(RandomSparse(5, 4, 3).sparse);
  const QVASrvSparseMatrix copy(*original);
  QVASrvSparseMatrix assigned;
  assigned = *original;
  const double value = original->Value(1, 1);
  original.reset();
  EXPECT_EQ(copy.Value(1, 1), value);
  EXPECT_EQ(assigned.Value(1, 1), value);
  EXPECT_EQ(copy.NumberOfRows(), 5);
}

TEST(QVASrvSparseMatrixProducts, MultiplyMatchesDenseProductBothWays) {
  const int rows = 9;
  const int columns = 6;
  const int vectors = 3;
  const SparseCase a = RandomSparse(rows, columns, 7);
  const std::vector<double> x = QVARandomValues(columns, vectors, 8);
  std::vector<double> y(QVAIndex(rows * vectors), 99.0);
  a.sparse.Multiply(x.data(), vectors, y.data(), false);
  EXPECT_LE(QVAMaxDifference(y, QVANaiveProduct(a.dense, rows, columns, x, vectors)),
            SparseTolerance(columns));

  const std::vector<double> z = QVARandomValues(rows, vectors, 9);
  std::vector<double> w(QVAIndex(columns * vectors), 99.0);
  a.sparse.Multiply(z.data(), vectors, w.data(), true);
  EXPECT_LE(QVAMaxDifference(w, QVANaiveProduct(QVATransposed(a.dense, rows, columns), columns,
                                                rows, z, vectors)),
            SparseTolerance(rows));
}

TEST(QVASrvSparseMatrixProducts, MultiplyDenseIntoBufferAndDenseMatrix) {
  const int rows = 8;
  const int columns = 5;
  const int modes = 4;
  const SparseCase a = RandomSparse(rows, columns, 17);

  // A view whose leading dimension (12) differs from its row count.
  QVASrvScratchDenseMatrix storage(12, modes + 1, 4, 2);
  const std::vector<double> phi = QVARandomValues(columns, modes, 18);
  for (int j = 0; j < modes; ++j) {
    for (int i = 0; i < columns; ++i) {
      storage.Values()[3 + i + (1 + j) * 12] = phi[QVAIndex(i + j * columns)];
    }
  }
  const std::unique_ptr<QVASrvDenseMatrix> dense(storage.CreateSubMatrix(3, 7, 1, modes));
  std::vector<double> product(QVAIndex(rows * modes), 99.0);
  a.sparse.MultiplyDense(*dense, product.data(), false);
  EXPECT_LE(QVAMaxDifference(product, QVANaiveProduct(a.dense, rows, columns, phi, modes)),
            SparseTolerance(columns));

  QVASrvScratchDenseMatrix result(rows, modes, 128, 32);
  a.sparse.MultiplyDense(*dense, result, false);
  EXPECT_EQ(std::vector<double>(result.Values(), result.Values() + rows * modes), product);

  // Transposed: rows of A beyond the dense row count contribute nothing, as
  // if A were cut to its first `columns` rows.
  std::vector<double> projection(QVAIndex(columns * modes), 99.0);
  a.sparse.MultiplyDense(*dense, projection.data(), true);
  std::vector<double> cut(a.dense.begin(), a.dense.end());
  std::vector<double> firstRows(QVAIndex(columns * columns));
  for (int j = 0; j < columns; ++j) {
    for (int i = 0; i < columns; ++i) {
      firstRows[QVAIndex(i + j * columns)] = cut[QVAIndex(i + j * rows)];
    }
  }
  EXPECT_LE(QVAMaxDifference(projection, QVANaiveProduct(QVATransposed(firstRows, columns, columns),
                                                         columns, columns, phi, modes)),
            SparseTolerance(columns));

  QVASrvScratchDenseMatrix wrong(rows + 1, modes, 128, 32);
  QVAExpectRaises([&] { a.sparse.MultiplyDense(*dense, wrong, false); }, kQVASrvSizeMismatch,
                  {"needs 8 x 4"});
  QVASrvScratchDenseMatrix tooFewRows(columns - 1, modes, 128, 32);
  QVAExpectRaises([&] { a.sparse.MultiplyDense(tooFewRows, product.data(), false); },
                  kQVASrvSizeMismatch, {"needs 5 rows"});
}

TEST(QVASrvSparseMatrixRows, PermuteRowsMovesAndDropsRows) {
  const SparseCase a = RandomSparse(4, 3, 27);
  QVASrvSparseMatrix permuted(a.sparse);
  const int newRowOfRow[] = {2, -1, 0, 1};
  permuted.PermuteRows(newRowOfRow);
  EXPECT_EQ(permuted.NumberOfRows(), 4);
  for (int column = 0; column < 3; ++column) {
    EXPECT_EQ(permuted.Value(2, column), a.sparse.Value(0, column));
    EXPECT_EQ(permuted.Value(0, column), a.sparse.Value(2, column));
    EXPECT_EQ(permuted.Value(1, column), a.sparse.Value(3, column));
    EXPECT_EQ(permuted.Value(3, column), 0.0);  // nothing moved there
  }
  const int twice[] = {0, 0, 1, 2};
  QVAExpectRaises([&] { permuted.PermuteRows(twice); }, kQVASrvIndexOutOfRange,
                  {"rows 0 and 1 both move to row 0"});
  const int outside[] = {0, 1, 2, 4};
  QVAExpectRaises([&] { permuted.PermuteRows(outside); }, kQVASrvIndexOutOfRange,
                  {"row 3 moves to row 4"});
}

TEST(QVASrvSparseMatrixRows, SubtractMergesRowsAndTreatsNullAsZero) {
  const SparseCase a = RandomSparse(5, 6, 37);
  const SparseCase b = RandomSparse(5, 6, 38);
  QVASrvSparseMatrix difference;
  difference.Subtract(a.sparse, b.sparse);
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 6; ++j) {
      // One subtraction of the stored sums: the same rounding as the reference.
      EXPECT_EQ(difference.Value(i, j), a.sparse.Value(i, j) - b.sparse.Value(i, j));
    }
  }
  QVASrvSparseMatrix negated;
  negated.Subtract(QVASrvSparseMatrix(), b.sparse);
  EXPECT_EQ(negated.Value(2, 3), -b.sparse.Value(2, 3));
  QVASrvSparseMatrix same(a.sparse);
  same.Subtract(same, QVASrvSparseMatrix());
  EXPECT_EQ(same.Value(4, 5), a.sparse.Value(4, 5));
  QVASrvSparseMatrix none(3, 3);
  none.Subtract(QVASrvSparseMatrix(), QVASrvSparseMatrix());
  EXPECT_TRUE(none.IsNull());
  QVAExpectRaises([&] { none.Subtract(a.sparse, QVASrvSparseMatrix(4, 6)); }, kQVASrvSizeMismatch,
                  {"differ in size"});
}

}  // namespace
