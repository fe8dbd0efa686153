// In-core dense matrices: storage kinds, block copies, products against naive
// loops, and the LAPACK factorizations checked by their residuals.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "tests/platform/matrix/QVAMatrixTestSupport.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

extern "C" {
void dsysv_(const char* upperOrLower, const int* n, const int* numberOfRightHandSides, double* a,
            const int* lda, int* pivots, double* b, const int* ldb, double* work, const int* lwork,
            int* info, std::size_t upperOrLowerLength);
}

namespace {

QVASrvMatrix FullMatrix(int rows, int columns, const std::vector<double>& values) {
  QVASrvMatrix matrix(rows, columns);
  std::copy(values.begin(), values.end(), matrix.Values());
  return matrix;
}

std::vector<double> ValuesOf(const QVASrvMatrix& matrix) {
  std::vector<double> values(QVAIndex(matrix.NumberOfRows()) * QVAIndex(matrix.NumberOfColumns()));
  for (int j = 0; j < matrix.NumberOfColumns(); ++j) {
    for (int i = 0; i < matrix.NumberOfRows(); ++i) {
      values[QVAIndex(i + j * matrix.NumberOfRows())] = matrix(i, j);
    }
  }
  return values;
}

// Relative residual |A x - b| / (|A| |x| + |b|) in the max norm; a
// backward-stable solve keeps it near n * eps.
double RelativeResidual(const std::vector<double>& a, int n, const std::vector<double>& x,
                        const std::vector<double>& b, int numberOfRightHandSides) {
  const std::vector<double> ax = QVANaiveProduct(a, n, n, x, numberOfRightHandSides);
  return QVAMaxDifference(ax, b) / (n * QVAMaxAbs(a) * QVAMaxAbs(x) + QVAMaxAbs(b));
}

// `values` (n x n, column-major) with the lower triangle copied onto the upper.
std::vector<double> Symmetrized(std::vector<double> values, int n) {
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < j; ++i) {
      values[QVAIndex(i + j * n)] = values[QVAIndex(j + i * n)];
    }
  }
  return values;
}

// Residual bound of the LAPACK solves on the small random systems below:
// backward error ~ n * eps times a modest pivot growth; 10 n eps leaves room
// for the growth of partial (LU) and Bunch-Kaufman (symmetric) pivoting.
double SolveTolerance(int n) { return 10.0 * n * kQVAEps; }

TEST(QVASrvMatrixStorage, CallerBufferIsUsedAndNeverFreed) {
  std::vector<double> buffer = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  {
    QVASrvMatrix view(2, 3, buffer.data());
    EXPECT_EQ(view.Values(), buffer.data());
    EXPECT_EQ(view(1, 2), 6.0);
    view(0, 1) = 30.0;
    QVASrvMatrix copy(view);  // a copy owns its values
    copy(0, 0) = -1.0;
    EXPECT_EQ(buffer[0], 1.0);
    EXPECT_EQ(copy(0, 1), 30.0);
  }
  EXPECT_EQ(buffer[2], 30.0);  // still readable: the view did not free it
}

TEST(QVASrvMatrixStorage, BadSizesIndicesAndDiagonalWritesRaise) {
  QVAExpectRaises([] { QVASrvMatrix bad(-1, 2); }, kQVASrvSizeMismatch, {"-1 x 2"});
  QVAExpectRaises([] { QVASrvMatrix bad(2, 3, nullptr, true); }, kQVASrvSizeMismatch, {"square"});
  QVASrvMatrix matrix(3, 2);
  QVAExpectRaises([&] { matrix(3, 0) = 1.0; }, kQVASrvIndexOutOfRange,
                  {"QVASrvMatrix 3 x 2", "(3, 0)", "0 ... 2"});
  QVAExpectRaises([&] { static_cast<void>(std::as_const(matrix)(0, -1)); }, kQVASrvIndexOutOfRange,
                  {"(0, -1)"});
  QVASrvMatrix diagonal(3, 3, nullptr, true, true);
  QVAExpectRaises([&] { diagonal(0, 1) = 2.0; }, kQVASrvInvalidState, {"diagonal", "(0, 1)"});
}

TEST(QVASrvMatrixBlocks, GetAndSetValuesCopyRectangles) {
  const std::vector<double> values = QVARandomValues(5, 4, 11);
  const QVASrvMatrix source = FullMatrix(5, 4, values);
  QVASrvMatrix block(3, 3);
  source.GetValues(1, 3, 2, 3, block);
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(block(i, j), values[QVAIndex(1 + i + (2 + j) * 5)]);
  }
  EXPECT_EQ(block(0, 2), 0.0);  // outside the copied rectangle

  QVASrvMatrix target(5, 4);
  target.SetValues(2, 4, 0, 1, block);
  EXPECT_EQ(target(2, 0), block(0, 0));
  EXPECT_EQ(target(4, 1), block(2, 1));
  EXPECT_EQ(target(1, 0), 0.0);

  // An empty range copies nothing.
  source.GetValues(0, -1, 0, 2, block);
  QVAExpectRaises([&] { source.GetValues(0, 5, 0, 0, block); }, kQVASrvIndexOutOfRange,
                  {"GetValues", "rows 0 ... 5", "0 ... 4"});
  QVAExpectRaises([&] { source.GetValues(0, 3, 0, 0, block); }, kQVASrvSizeMismatch,
                  {"cannot hold 4 x 1"});

  // A diagonal matrix takes the diagonal of a block and zeros off it only.
  QVASrvMatrix diagonal(2, 2, nullptr, true, true);
  QVASrvMatrix identity(2, 2);
  identity(0, 0) = 1.0;
  identity(1, 1) = 2.0;
  diagonal.SetValues(0, 1, 0, 1, identity);
  EXPECT_EQ(diagonal.Values()[1], 2.0);
  identity(1, 0) = 3.0;
  QVAExpectRaises([&] { diagonal.SetValues(0, 1, 0, 1, identity); }, kQVASrvInvalidState,
                  {"off-diagonal entry (1, 0)"});
}

TEST(QVASrvMatrixArithmetic, AddHandlesEveryStorageKind) {
  QVASrvMatrix full = FullMatrix(3, 3, QVARandomValues(3, 3, 1));
  const QVASrvMatrix original(full);
  QVASrvMatrix diagonal(3, 3, nullptr, true, true);
  diagonal(0, 0) = 1.0;
  diagonal(1, 1) = 2.0;
  diagonal(2, 2) = 4.0;
  full.Add(-1.0, diagonal);
  EXPECT_EQ(full(1, 1), original(1, 1) - 2.0);
  EXPECT_EQ(full(0, 1), original(0, 1));
  full.Add(2.0, original);
  EXPECT_EQ(full(0, 1), 3.0 * original(0, 1));
  diagonal.Add(0.5, diagonal);
  EXPECT_EQ(diagonal.Values()[2], 6.0);
  QVAExpectRaises([&] { diagonal.Add(1.0, full); }, kQVASrvInvalidState, {"off-diagonal"});
  QVASrvMatrix other(3, 2);
  QVAExpectRaises([&] { full.Add(1.0, other); }, kQVASrvSizeMismatch, {"differs in size"});
}

TEST(QVASrvMatrixArithmetic, MultiplyMatchesNaiveLoopsForEveryStorageKind) {
  const int rows = 7;
  const int inner = 5;
  const int columns = 4;
  const std::vector<double> aValues = QVARandomValues(rows, inner, 21);
  const std::vector<double> bValues = QVARandomValues(inner, columns, 22);
  const QVASrvMatrix a = FullMatrix(rows, inner, aValues);
  const QVASrvMatrix b = FullMatrix(inner, columns, bValues);
  QVASrvMatrix c(rows, columns);
  c.Multiply(a, b);
  EXPECT_LE(QVAMaxDifference(ValuesOf(c), QVANaiveProduct(aValues, rows, inner, bValues, columns)),
            QVAProductTolerance(inner));

  // Diagonal operands scale rows or columns; products of two values are exact
  // up to one rounding, which the naive loop makes identically.
  QVASrvMatrix scale(inner, inner, nullptr, true, true);
  std::vector<double> scaleValues(QVAIndex(inner * inner), 0.0);
  for (int i = 0; i < inner; ++i) {
    scale(i, i) = 1.0 + i;
    scaleValues[QVAIndex(i + i * inner)] = 1.0 + i;
  }
  QVASrvMatrix rowScaled(inner, columns);
  rowScaled.Multiply(scale, b);
  EXPECT_EQ(ValuesOf(rowScaled), QVANaiveProduct(scaleValues, inner, inner, bValues, columns));
  QVASrvMatrix columnScaled(rows, inner);
  columnScaled.Multiply(a, scale);
  EXPECT_EQ(ValuesOf(columnScaled), QVANaiveProduct(aValues, rows, inner, scaleValues, inner));
  QVASrvMatrix squared(inner, inner, nullptr, true, true);
  squared.Multiply(scale, scale);
  EXPECT_EQ(squared.Values()[4], 25.0);
  QVASrvMatrix squaredFull(inner, inner);
  squaredFull.Multiply(scale, scale);
  EXPECT_EQ(squaredFull(3, 3), 16.0);
  EXPECT_EQ(squaredFull(3, 2), 0.0);

  // The target may be an operand.
  QVASrvMatrix square = FullMatrix(inner, inner, QVARandomValues(inner, inner, 23));
  const std::vector<double> squareValues = ValuesOf(square);
  square.Multiply(square, square);
  EXPECT_LE(QVAMaxDifference(ValuesOf(square),
                             QVANaiveProduct(squareValues, inner, inner, squareValues, inner)),
            QVAProductTolerance(inner));

  QVAExpectRaises([&] { c.Multiply(b, a); }, kQVASrvSizeMismatch, {"Multiply", "5 x 4", "7 x 5"});
  QVAExpectRaises([&] { squared.Multiply(a, b); }, kQVASrvSizeMismatch, {"Multiply"});
  QVASrvMatrix diagonalTarget(inner, inner, nullptr, true, true);
  QVAExpectRaises([&] { diagonalTarget.Multiply(scale, square); }, kQVASrvInvalidState,
                  {"not diagonal"});

  QVASrvMatrix scaled(a);
  scaled *= 2.0;
  scaled.Multiply(0.5);
  EXPECT_EQ(ValuesOf(scaled), aValues);  // scaling by powers of two is exact
}

TEST(QVASrvMatrixArithmetic, SymmetricMultiplyStoresAnExactlySymmetricProduct) {
  const int n = 6;
  const std::vector<double> bValues = Symmetrized(QVARandomValues(n, n, 31), n);
  const QVASrvMatrix b = FullMatrix(n, n, bValues);
  QVASrvMatrix d(n, n, nullptr, true, true);
  for (int i = 0; i < n; ++i) d(i, i) = 0.5 + i;
  QVASrvMatrix w(n, n);
  w.Multiply(b, d);
  // The target starts diagonal and grows to symmetric storage.
  QVASrvMatrix t(n, n, nullptr, true, true);
  t.SymmetricMultiply(w, b);
  EXPECT_TRUE(t.IsSymmetric());
  EXPECT_FALSE(t.IsDiagonal());
  const std::vector<double> reference = QVANaiveProduct(ValuesOf(w), n, n, bValues, n);
  // Entries of w are below 6 in size: inner * 6 * eps per entry.
  EXPECT_LE(QVAMaxDifference(ValuesOf(t), reference), 6.0 * QVAProductTolerance(n));
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) EXPECT_EQ(t(i, j), t(j, i));
  }
  std::vector<double> buffer(QVAIndex(n), 0.0);
  QVASrvMatrix fixed(n, n, buffer.data(), true, true);
  QVAExpectRaises([&] { fixed.SymmetricMultiply(w, b); }, kQVASrvInvalidState, {"caller buffer"});
}

TEST(QVASrvMatrixArithmetic, TransposeSquareAndRectangular) {
  const std::vector<double> values = QVARandomValues(3, 5, 41);
  QVASrvMatrix owned = FullMatrix(3, 5, values);
  owned.Transpose();
  EXPECT_EQ(owned.NumberOfRows(), 5);
  EXPECT_EQ(ValuesOf(owned), QVATransposed(values, 3, 5));

  std::vector<double> buffer = values;
  QVASrvMatrix view(3, 5, buffer.data());
  view.Transpose();
  EXPECT_EQ(view.NumberOfColumns(), 3);
  EXPECT_EQ(buffer, QVATransposed(values, 3, 5));

  const std::vector<double> squareValues = QVARandomValues(4, 4, 42);
  QVASrvMatrix square = FullMatrix(4, 4, squareValues);
  square.Transpose();
  EXPECT_EQ(ValuesOf(square), QVATransposed(squareValues, 4, 4));
}

// LU (full storage; symmetric storage below): 12 unknowns, 3 right-hand
// sides, solve and transposed solve.
TEST(QVASrvMatrixFactorize, ResidualsOfLuSolveAndTransposedSolveAreBackwardStable) {
  const int n = 12;
  const int numberOfRightHandSides = 3;
  const std::vector<double> aValues = QVARandomValues(n, n, 51);
  QVASrvMatrix a = FullMatrix(n, n, aValues);
  const std::vector<double> bValues = QVARandomValues(n, numberOfRightHandSides, 52);

  std::vector<int> pivots(QVAIndex(n), 0);
  a.Factorize(pivots.data());
  EXPECT_EQ(a.State(), QVASrvMatrix::Content::kFactors);
  for (const int pivot : pivots) EXPECT_NE(pivot, 0);

  QVASrvMatrix x = FullMatrix(n, numberOfRightHandSides, bValues);
  a.ForwardBackwardPass(pivots.data(), x);
  std::vector<double> solution(x.Values(), x.Values() + n * numberOfRightHandSides);
  EXPECT_LE(RelativeResidual(aValues, n, solution, bValues, numberOfRightHandSides),
            SolveTolerance(n));

  // The matrix's own pivots serve as well, and flag 1 solves with transpose(A).
  QVASrvMatrix y = FullMatrix(n, numberOfRightHandSides, bValues);
  a.ForwardBackwardPass(nullptr, y, 1);
  solution.assign(y.Values(), y.Values() + n * numberOfRightHandSides);
  EXPECT_LE(
      RelativeResidual(QVATransposed(aValues, n, n), n, solution, bValues, numberOfRightHandSides),
      SolveTolerance(n));
}

TEST(QVASrvMatrixFactorize, SingularMatricesRaiseNamingThePivotAndKeepTheirValues) {
  // LU: the second pivot of [[1, 2], [2, 4]] is exactly 2 - 0.5 * 4 = 0.
  QVASrvMatrix lu(2, 2);
  lu(0, 0) = 1.0;
  lu(0, 1) = 2.0;
  lu(1, 0) = 2.0;
  lu(1, 1) = 4.0;
  QVAExpectRaises([&] { lu.Factorize(); }, kQVASrvSingularMatrix,
                  {"QVASrvMatrix 2 x 2 (full)", "singular", "pivot 1 of 0 ... 1", "dgetrf info 2"});
  EXPECT_EQ(lu.State(), QVASrvMatrix::Content::kValues);
  EXPECT_EQ(lu(1, 1), 4.0);

  // Symmetric indefinite: a zero row and column give a zero 1 x 1 pivot.
  QVASrvMatrix symmetric(3, 3, nullptr, true, false);
  symmetric(0, 0) = 2.0;
  symmetric(2, 2) = 3.0;
  QVAExpectRaises([&] { symmetric.Factorize(); }, kQVASrvSingularMatrix,
                  {"(symmetric)", "pivot 1 of 0 ... 2", "dsytrf"});
  EXPECT_EQ(symmetric(0, 0), 2.0);

  QVASrvMatrix diagonal(3, 3, nullptr, true, true);
  diagonal(0, 0) = 1.0;
  diagonal(2, 2) = 1.0;
  QVAExpectRaises([&] { diagonal.Factorize(); }, kQVASrvSingularMatrix,
                  {"(diagonal)", "diagonal entry 1"});
}

// Factorizations of several sizes one after another on one thread, as a
// solver does frame by frame: a singular matrix after a larger one gets back
// every value exactly, and a smaller regular one after both still solves
// backward-stably (tolerance as in the solve test above).
TEST(QVASrvMatrixFactorize, FactorizationsOfChangingSizesOnOneThread) {
  const int large = 40;
  QVASrvMatrix first(large, large, nullptr, true, false);
  const std::vector<double> firstValues = Symmetrized(QVARandomValues(large, large, 61), large);
  std::copy(firstValues.begin(), firstValues.end(), first.Values());
  first.Factorize();

  // Row and column 1 are zero: singular.
  std::vector<double> singularValues = Symmetrized(QVARandomValues(3, 3, 62), 3);
  for (int k = 0; k < 3; ++k) {
    singularValues[QVAIndex(1 + 3 * k)] = 0.0;
    singularValues[QVAIndex(k + 3 * 1)] = 0.0;
  }
  QVASrvMatrix singular(3, 3, nullptr, true, false);
  std::copy(singularValues.begin(), singularValues.end(), singular.Values());
  QVAExpectRaises([&] { singular.Factorize(); }, kQVASrvSingularMatrix, {"dsytrf"});
  EXPECT_EQ(ValuesOf(singular), singularValues);

  const int small = 7;
  const std::vector<double> aValues = QVARandomValues(small, small, 63);
  QVASrvMatrix a = FullMatrix(small, small, aValues);
  a.Factorize();
  const std::vector<double> bValues = QVARandomValues(small, 1, 64);
  QVASrvMatrix x = FullMatrix(small, 1, bValues);
  a.ForwardBackwardPass(nullptr, x);
  const std::vector<double> solution(x.Values(), x.Values() + small);
  EXPECT_LE(RelativeResidual(aValues, small, solution, bValues, 1), SolveTolerance(small));
}

// A symmetric n x n matrix whose diagonal dominates: off-diagonal entries
// 0.02 * uniform [-1, 1), diagonal +-(2 + k % 5) with both signs, so that
// Bunch-Kaufman takes every diagonal entry as its pivot.
std::vector<double> DominantIndefinite(int n, unsigned seed) {
  std::vector<double> values = Symmetrized(QVARandomValues(n, n, seed), n);
  for (double& value : values) value *= 0.02;
  for (int k = 0; k < n; ++k) {
    values[QVAIndex(k + k * n)] = (k % 3 == 0 ? -1.0 : 1.0) * (2.0 + k % 5);
  }
  return values;
}

void SetSymmetric(std::vector<double>& values, int n, int row, int column, double value) {
  values[QVAIndex(row + column * n)] = value;
  values[QVAIndex(column + row * n)] = value;
}

// Normwise backward error |A x - b| / (|A| |x|) in the max norm (x, b one column each).
double BackwardError(const std::vector<double>& a, int n, const std::vector<double>& x,
                     const std::vector<double>& b) {
  return QVAMaxDifference(QVANaiveProduct(a, n, n, x, 1), b) / (n * QVAMaxAbs(a) * QVAMaxAbs(x));
}

// Adversarial symmetric matrices of order n, built on the dominant indefinite
// one, whose columns a factorization may take without interchanges.
std::vector<double> Adversarial(const std::string& kind, int n) {
  std::vector<double> values = DominantIndefinite(n, 80 + static_cast<unsigned>(n));
  const auto at = [n](int row, int column) { return QVAIndex(row + column * n); };
  if (kind == "Indefinite") return Symmetrized(QVARandomValues(n, n, 90), n);
  if (kind == "TwoByTwoPivotLate" && n >= 2) {
    // Two columns late in the matrix, past the leading blocks: zero diagonals
    // coupled by 3, a 2 x 2 pivot.
    const int p = 2 * (n - 2) / 3;
    SetSymmetric(values, n, p, p, 0.0);
    SetSymmetric(values, n, p + 1, p + 1, 0.0);
    SetSymmetric(values, n, p + 1, p, 3.0);
  } else if (kind == "LargeMultiplierLow" && n >= 2) {
    // Column 0 with the small pivot 1e-4, nothing in the next 31 rows and 1e4
    // in every second row after them: multipliers of 1e8 below a leading block
    // of 32 columns (in the last row for smaller orders), each followed by a
    // zero.
    values[at(0, 0)] = 1e-4;
    for (int row = 1; row < n; ++row) {
      const double coupling = row >= 32 ? (row % 2 == 0 ? 1e4 : 0.0) : (row == n - 1 ? 1e4 : 0.0);
      SetSymmetric(values, n, row, 0, coupling);
    }
  } else if (kind == "Graded") {
    // D A D with D from 1e-6 to 1e6: entries from 1e-12 to 1e12.
    for (int column = 0; column < n; ++column) {
      for (int row = 0; row < n; ++row) {
        const double exponent = n == 1 ? 0.0 : -12.0 + 12.0 * (row + column) / (n - 1);
        values[at(row, column)] *= std::pow(10.0, exponent);
      }
    }
  } else if (kind == "ZeroDiagonal") {
    values = Symmetrized(QVARandomValues(n, n, 91), n);
    for (int k = 0; k < n; ++k) values[at(k, k)] = 0.0;
    if (n == 1) values[0] = 1.0;
  } else if (kind == "NearSingular") {
    // H diag(lambda) H, H = I - 2 v v^T / v^T v, lambda = +-(2 + k % 5) and one 1e-11.
    const std::vector<double> v = QVARandomValues(n, 1, 92);
    double vv = 0.0;
    for (const double value : v) vv += value * value;
    std::vector<double> lambda(QVAIndex(n)), w(lambda);
    double vw = 0.0;
    for (int k = 0; k < n; ++k) {
      lambda[k] = k == n / 2 ? 1e-11 : (k % 3 == 0 ? -1.0 : 1.0) * (2.0 + k % 5);
      w[k] = lambda[k] * v[k] * 2.0 / vv;
      vw += v[k] * w[k];
    }
    // H L H = L - v w^T - w v^T + (v^T w) (2 / v^T v) v v^T.
    for (int column = 0; column < n; ++column) {
      for (int row = 0; row < n; ++row) {
        values[at(row, column)] = (row == column ? lambda[row] : 0.0) - v[row] * w[column] -
                                  w[row] * v[column] + vw * 2.0 / vv * v[row] * v[column];
      }
    }
  }
  return values;
}

// Factorize and ForwardBackwardPass of symmetric matrices of orders across
// block boundaries (32 and 64 columns), judged by their backward error
// against dsysv's on the same system: a backward-stable factorization keeps
// it within a small multiple of n eps whatever the matrix; a pivot taken where
// Bunch-Kaufman interchanges lets the entries grow and the error with them.
TEST(QVASrvMatrixFactorize, SymmetricSolvesAreBackwardStableLikeDsysv) {
  const char* const kinds[] = {"Indefinite",         "Dominant", "TwoByTwoPivotLate",
                               "LargeMultiplierLow", "Graded",   "ZeroDiagonal",
                               "NearSingular"};
  for (const int n : {1, 2, 3, 31, 32, 33, 63, 64, 65, 97, 200, 600}) {
    for (const char* kind : kinds) {
      SCOPED_TRACE(std::string(kind) + ", n = " + std::to_string(n));
      const std::vector<double> values = Adversarial(kind, n);
      const std::vector<double> b = QVARandomValues(n, 1, 93);

      std::vector<double> lapackFactors = values;
      std::vector<double> lapackSolution = b;
      std::vector<int> pivots(QVAIndex(n));
      const char lower = 'L';
      const int one = 1;
      const int workSize = 64 * n;
      std::vector<double> work(QVAIndex(workSize));
      int info = 0;
      dsysv_(&lower, &n, &one, lapackFactors.data(), &n, pivots.data(), lapackSolution.data(), &n,
             work.data(), &workSize, &info, 1);
      ASSERT_EQ(info, 0);

      QVASrvMatrix a(n, n, nullptr, true, false);
      std::copy(values.begin(), values.end(), a.Values());
      // Symmetric storage reads the lower triangle only.
      for (int column = 1; column < n; ++column) a(0, column) = 1.0e6;
      a.Factorize();
      QVASrvMatrix x = FullMatrix(n, 1, b);
      a.ForwardBackwardPass(nullptr, x);
      const std::vector<double> solution(x.Values(), x.Values() + n);
      // Bunch-Kaufman's growth is bounded (2.57^(n-1) in theory, small in
      // practice): within 10 times LAPACK's own error or 10 n eps.
      EXPECT_LE(BackwardError(values, n, solution, b),
                10.0 * std::max(BackwardError(values, n, lapackSolution, b), n * kQVAEps));
    }
  }
}

TEST(QVASrvMatrixFactorize, TheMatrixRecordsWhetherItHoldsValuesOrFactors) {
  QVASrvMatrix a(2, 2);
  a(0, 0) = 4.0;
  a(1, 1) = 2.0;
  QVASrvMatrix rightHandSide(2, 1);
  QVAExpectRaises([&] { a.ForwardBackwardPass(nullptr, rightHandSide); }, kQVASrvInvalidState,
                  {"needs Factorize()"});
  a.Factorize();
  QVASrvMatrix block(2, 2);
  QVAExpectRaises([&] { a.GetValues(0, 1, 0, 1, block); }, kQVASrvInvalidState, {"factors"});
  QVAExpectRaises([&] { block.Multiply(a, a); }, kQVASrvInvalidState, {"factors"});
  QVAExpectRaises([&] { a.Factorize(); }, kQVASrvInvalidState, {"factors"});
  QVASrvMatrix wrongRows(3, 1);
  QVAExpectRaises([&] { a.ForwardBackwardPass(nullptr, wrongRows); }, kQVASrvSizeMismatch,
                  {"needs 2 rows"});
  std::vector<int> badPivots = {1, 7};
  QVAExpectRaises([&] { a.ForwardBackwardPass(badPivots.data(), rightHandSide); },
                  kQVABasInvalidArgument, {"pivot 1 is 7"});

  // A copy of the factors solves too; new values make it an ordinary matrix again.
  const QVASrvMatrix factors(a);
  rightHandSide = 8.0;
  factors.ForwardBackwardPass(nullptr, rightHandSide);
  EXPECT_EQ(rightHandSide(0, 0), 2.0);
  EXPECT_EQ(rightHandSide(1, 0), 4.0);
  a = 1.0;
  EXPECT_EQ(a.State(), QVASrvMatrix::Content::kValues);
  EXPECT_EQ(a(0, 1), 1.0);
}

}  // namespace
