// Blocked dense matrices over scratch storage and container copies: blocks,
// block transfers, views, member lookup, and the products against naive loops.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrixContainer.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "tests/platform/matrix/QVAMatrixTestSupport.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

// Fills a dense matrix with seeded random values and returns them column-major.
std::vector<double> FillRandom(QVASrvDenseMatrix& matrix, unsigned seed) {
  const int rows = matrix.NumberOfRows();
  const int columns = matrix.NumberOfColumns();
  std::vector<double> values = QVARandomValues(rows, columns, seed);
  QVASrvMatrix block(rows, columns, values.data());
  matrix.SetValues(0, rows - 1, 0, columns - 1, block);
  return values;
}

std::vector<double> ReadAll(const QVASrvDenseMatrix& matrix) {
  const int rows = matrix.NumberOfRows();
  const int columns = matrix.NumberOfColumns();
  std::vector<double> values(QVAIndex(rows) * QVAIndex(columns));
  QVASrvMatrix block(rows, columns, values.data());
  matrix.GetValues(0, rows - 1, 0, columns - 1, block);
  return values;
}

TEST(QVASrvDenseMatrixBlocks, ChunksCutTheMatrixFromItsFirstRowAndColumn) {
  QVASrvScratchDenseMatrix matrix(100, 12, 100, 5);
  EXPECT_FALSE(matrix.IsNull());
  EXPECT_FALSE(matrix.DistributionID().IsValid());
  EXPECT_EQ(matrix.NumberOfColumnBlocks(), 3);
  EXPECT_EQ(matrix.FirstColumnInBlock(2), 10);
  EXPECT_EQ(matrix.NumberOfColumnsInBlock(2), 2);
  EXPECT_EQ(matrix.MaxNumberOfColumnsInBlock(), 5);
  EXPECT_EQ(matrix.MaxNumberOfRowsInBlock(), 100);
  EXPECT_EQ(matrix.NumberOfRowBlocks(), 1);
  QVAExpectRaises([&] { static_cast<void>(matrix.FirstColumnInBlock(3)); }, kQVASrvIndexOutOfRange,
                  {"FirstColumnInBlock", "block 3", "0 ... 2"});

  QVASrvScratchDenseMatrix rows(25, 3, 10, -1);
  EXPECT_EQ(rows.NumberOfRowBlocks(), 3);
  EXPECT_EQ(rows.FirstRowInBlock(2), 20);
  EXPECT_EQ(rows.NumberOfRowsInBlock(2), 5);
  EXPECT_EQ(rows.MaxNumberOfColumnsInBlock(), 3);  // -1: the whole dimension
  QVASrvScratchDenseMatrix small(4, 2, 128, 32);
  EXPECT_EQ(small.MaxNumberOfRowsInBlock(), 4);  // cut to the dimension
  EXPECT_EQ(small.MaxNumberOfColumnsInBlock(), 2);

  // A view keeps the chunk sizes and counts its blocks from its own first column.
  const std::unique_ptr<QVASrvDenseMatrix> view(matrix.CreateSubMatrix(0, 99, 3, 11));
  EXPECT_EQ(view->NumberOfColumnBlocks(), 2);
  EXPECT_EQ(view->NumberOfColumnsInBlock(0), 5);
  EXPECT_EQ(view->NumberOfColumnsInBlock(1), 4);

  const QVASrvDenseMatrix null{QVASimDistributionID()};
  EXPECT_TRUE(null.IsNull());
  EXPECT_EQ(null.NumberOfRows(), 0);
  EXPECT_EQ(null.NumberOfColumnBlocks(), 0);
}

TEST(QVASrvDenseMatrixTransfer, ValuesColumnsAndRowsRoundTrip) {
  QVASrvScratchDenseMatrix matrix(6, 5, 4, 2);
  const std::vector<double> values = FillRandom(matrix, 1);
  EXPECT_EQ(ReadAll(matrix), values);

  QVASrvMatrix columns(6, 2);
  matrix.GetColumns(3, 4, columns);
  EXPECT_EQ(columns(5, 1), values[5 + 4 * 6]);
  QVASrvMatrix rows(2, 5);
  matrix.GetRows(1, 2, rows);
  EXPECT_EQ(rows(1, 3), values[2 + 3 * 6]);

  columns = 7.0;
  matrix.SetColumns(0, 1, columns);
  EXPECT_EQ(ReadAll(matrix)[5 + 1 * 6], 7.0);
  EXPECT_EQ(ReadAll(matrix)[0 + 2 * 6], values[0 + 2 * 6]);

  // A diagonal in-core matrix is written with its zeros.
  QVASrvMatrix diagonal(2, 2, nullptr, true, true);
  diagonal = 3.0;
  matrix.SetValues(4, 5, 3, 4, diagonal);
  EXPECT_EQ(ReadAll(matrix)[4 + 3 * 6], 3.0);
  EXPECT_EQ(ReadAll(matrix)[5 + 3 * 6], 0.0);

  // Empty ranges move nothing.
  matrix.SetValues(0, -1, 0, -1, diagonal);

  QVAExpectRaises([&] { matrix.GetValues(0, 6, 0, 0, columns); }, kQVASrvIndexOutOfRange,
                  {"QVASrvDenseMatrix (in-core, 6 x 5)", "rows 0 ... 6", "0 ... 5"});
  QVAExpectRaises([&] { matrix.SetValues(0, 0, 4, 5, columns); }, kQVASrvIndexOutOfRange,
                  {"columns 4 ... 5", "0 ... 4"});
  QVAExpectRaises([&] { matrix.GetColumns(0, 2, columns); }, kQVASrvSizeMismatch,
                  {"cannot hold 6 x 3"});
  QVAExpectRaises([&] { matrix.GetValues(0, 1, 0, 1, diagonal); }, kQVASrvInvalidState,
                  {"diagonal storage"});
}

TEST(QVASrvDenseMatrixViews, SubMatricesShareValuesAndMembers) {
  QVASrvMatrixContainer container;
  const int rowMembers[] = {10, 11, 12, 13, 14};
  const int columnMembers[] = {7, 3, 9};
  QVASrvDenseMatrix& parent = container.Create(0, 5, 3, rowMembers, columnMembers, 2, 2);
  const std::vector<double> values = FillRandom(parent, 2);

  auto view = std::unique_ptr<QVASrvDenseMatrix>(parent.CreateSubMatrix(1, 3, 1, 2));
  EXPECT_EQ(view->NumberOfRows(), 3);
  EXPECT_EQ(view->NumberOfColumns(), 2);
  EXPECT_EQ(view->LeadingDimension(), 5);
  EXPECT_EQ(ReadAll(*view)[0], values[1 + 1 * 5]);
  EXPECT_EQ(view->RowMember(0), 11);
  EXPECT_EQ(view->ColumnMember(1), 9);
  EXPECT_EQ(view->RowOfMember(13), 2);
  EXPECT_EQ(view->RowOfMember(10), -1);  // a member of the parent outside the view

  QVASrvMatrix block(1, 1);
  block(0, 0) = -5.0;
  view->SetValues(2, 2, 1, 1, block);
  EXPECT_EQ(ReadAll(parent)[3 + 2 * 5], -5.0);

  // A view of a view, released before its parent's view.
  const std::unique_ptr<QVASrvDenseMatrix> inner(view->CreateSubMatrix(1, 2, 0, 0));
  EXPECT_EQ(inner->RowMember(1), 13);
  EXPECT_EQ(ReadAll(*inner)[0], values[2 + 1 * 5]);
  QVAExpectRaises([&] { view->CreateSubMatrix(0, 3, 0, 0); }, kQVASrvIndexOutOfRange,
                  {"CreateSubMatrix", "rows 0 ... 3", "0 ... 2"});
}

TEST(QVASrvDenseMatrixContainer, HoldsAppendedMatricesAndLooksUpMembers) {
  QVASrvMatrixContainer container;
  EXPECT_EQ(container.Size(), 0);
  const int modes[] = {0, 2, 5};
  QVASrvDenseMatrix& copy = container.Create(container.Size(), 3, 3, modes, modes, 128, 32);
  QVASrvDenseMatrix& plain = container.Create(1, 2, 4, nullptr, nullptr, 128, 32);
  EXPECT_EQ(container.Size(), 2);
  EXPECT_EQ(&container[0], &copy);
  EXPECT_TRUE(container.Holds(&plain));
  QVASrvScratchDenseMatrix other(1, 1, 1, 1);
  EXPECT_FALSE(container.Holds(&other));
  EXPECT_EQ(copy.RowOfMember(5), 2);
  EXPECT_EQ(copy.ColumnOfMember(1), -1);
  EXPECT_EQ(plain.ColumnOfMember(3), 3);  // without lists members are the column numbers
  EXPECT_EQ(plain.ColumnOfMember(4), -1);
  EXPECT_EQ(copy.MaxNumberOfRowsInBlock(), 3);
  for (const double value : ReadAll(copy)) EXPECT_EQ(value, 0.0);
  QVAExpectRaises([&] { container.Create(5, 1, 1, nullptr, nullptr, 1, 1); },
                  kQVASrvIndexOutOfRange, {"index 5", "2"});
  QVAExpectRaises([&] { static_cast<void>(container[2]); }, kQVASrvIndexOutOfRange,
                  {"index 2", "0 ... 1"});
}

TEST(QVASrvDenseMatrixCopies, CopyMappedValuesTakesEntriesByMember) {
  QVASrvMatrixContainer container;
  const int sourceMembers[] = {0, 1, 2, 3, 4, 5};
  QVASrvDenseMatrix& source = container.Create(0, 6, 6, sourceMembers, sourceMembers, 128, 32);
  const std::vector<double> values = FillRandom(source, 3);
  const int modes[] = {5, 0, 2};
  QVASrvDenseMatrix& copy = container.Create(1, 3, 3, modes, modes, 128, 32);
  copy.CopyMappedValues(source, modes, modes);
  const std::vector<double> copied = ReadAll(copy);
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(copied[QVAIndex(i + 3 * j)], values[QVAIndex(modes[i] + 6 * modes[j])]);
    }
  }
  // Null lists: this matrix's own members.
  QVASrvDenseMatrix& again = container.Create(2, 3, 3, modes, modes, 128, 32);
  again.CopyMappedValues(copy, nullptr, nullptr);
  EXPECT_EQ(ReadAll(again), copied);

  const int missing[] = {5, 6, 2};
  QVAExpectRaises([&] { copy.CopyMappedValues(source, missing, modes); }, kQVASrvIndexOutOfRange,
                  {"member 6 of row 1", "is not a row of"});
}

TEST(QVASrvDenseMatrixCopies, CopyRowsToMemoryPlacesRowsAndZerosTheRest) {
  QVASrvScratchDenseMatrix amplitudes(3, 4, 128, 32);
  const std::vector<double> values = FillRandom(amplitudes, 4);
  const int activeModes[] = {4, 0, 2};
  QVASrvMatrix q(5, 4);
  q = 9.0;
  amplitudes.CopyRowsToMemory(activeModes, 5, q);
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(q(4, j), values[QVAIndex(0 + 3 * j)]);
    EXPECT_EQ(q(0, j), values[QVAIndex(1 + 3 * j)]);
    EXPECT_EQ(q(2, j), values[QVAIndex(2 + 3 * j)]);
    EXPECT_EQ(q(1, j), 0.0);
    EXPECT_EQ(q(3, j), 0.0);
  }
  const int outside[] = {4, 5, 2};
  QVAExpectRaises([&] { amplitudes.CopyRowsToMemory(outside, 5, q); }, kQVASrvIndexOutOfRange,
                  {"row 1 goes to row 5", "0 ... 4"});
}

// Rows of a view (leading dimension above its row count) laid out node by
// node: 7 rows over 3 nodes of 4 places with gaps, columns 1 ... 10 of 12
// (a pass of 8 columns and one of 2), stride 4 between columns. Values are
// copied, so the comparisons are exact.
TEST(QVASrvDenseMatrixCopies, ScatterColumnsToMemoryLaysRowsOutAtTheirOffsets) {
  QVASrvScratchDenseMatrix whole(9, 12, 4, 5);
  const std::vector<double> values = FillRandom(whole, 21);
  const std::unique_ptr<QVASrvDenseMatrix> view(whole.CreateSubMatrix(1, 7, 0, 11));
  const int rows = 7;
  const int firstColumn = 1;
  const int columns = 10;
  const std::int64_t places = 4;
  const std::int64_t nodeStride = places * columns;
  // Row -> (node, place): node 0 places 0, 2; node 2 places 1, 2, 3; node 1 places 3, 0.
  const int nodeOfRow[] = {0, 0, 2, 2, 2, 1, 1};
  const int placeOfRow[] = {0, 2, 1, 2, 3, 3, 0};
  std::vector<std::int64_t> offsets(rows);
  for (int row = 0; row < rows; ++row) {
    offsets[QVAIndex(row)] = nodeOfRow[row] * nodeStride + placeOfRow[row];
  }
  const double untouched = -7.5;
  std::vector<double> out(QVAIndex(3 * nodeStride), untouched);
  view->ScatterColumnsToMemory(firstColumn, firstColumn + columns - 1, offsets.data(), places,
                               out.data(), static_cast<std::int64_t>(out.size()));

  std::vector<double> expected(out.size(), untouched);
  for (int row = 0; row < rows; ++row) {
    for (int k = 0; k < columns; ++k) {
      expected[QVAIndex(offsets[QVAIndex(row)] + k * places)] =
          values[QVAIndex(1 + row + (firstColumn + k) * 9)];
    }
  }
  EXPECT_EQ(out, expected);

  // An offset that would carry a row past the end, and a target inside the matrix's own
  // storage, are refused.
  std::vector<std::int64_t> broken = offsets;
  broken[4] = static_cast<std::int64_t>(out.size()) - (columns - 1) * places;
  QVAExpectRaises(
      [&] {
        view->ScatterColumnsToMemory(firstColumn, firstColumn + columns - 1, broken.data(), places,
                                     out.data(), static_cast<std::int64_t>(out.size()));
      },
      kQVASrvIndexOutOfRange, {"row 4 goes to offset 84", "outside 0 ... 83"});
  QVAExpectRaises(
      [&] { view->ScatterColumnsToMemory(0, 0, offsets.data(), 1, whole.Values() + 50, 20); },
      kQVASrvInvalidState, {"shares storage"});
}

// Rows outside the matrix and a q of the wrong size are refused.
TEST(QVASrvDenseMatrixProducts, MultiplyRowRangesRefusesRowsOutsideAndAWrongQ) {
  QVASrvScratchDenseMatrix phi(60, 7, 10, 3);
  QVASrvMatrix q(7, 4);
  QVASrvScratchDenseMatrix out(2, 4, 10, 20);
  const int farRows[] = {59, 60};
  const int oneRange[] = {0, 2};
  QVAExpectRaises([&] { phi.MultiplyRowRanges(q, out, farRows, oneRange, 1); },
                  kQVASrvIndexOutOfRange, {"rows 59 ... 60", "0 ... 59"});
  QVASrvMatrix wrongQ(8, 4);
  QVAExpectRaises([&] { phi.MultiplyRowRanges(wrongQ, out, farRows, oneRange, 1); },
                  kQVASrvSizeMismatch, {"q is 8 x 4", "needs 7 x 4"});
}

// Random range lists over mode shapes 80 x 9 times q (9 x 5): runs of 0 to 5
// rows that continue the previous range's rows (one run in both the matrix
// and the output), continue an earlier range's rows (next to it in the
// matrix, not in the output), or start anywhere, with empty ranges between.
// The product over the whole list, one call per range, and the naive product
// of the listed rows agree; output rows outside the list keep their values.
TEST(QVASrvDenseMatrixProducts, MultiplyRowRangesGivesTheSameRowsHoweverRangesMeet) {
  const int rows = 80;
  const int modes = 9;
  const int frames = 5;
  QVASrvScratchDenseMatrix phi(rows, modes, 16, 4);
  const std::vector<double> phiValues = FillRandom(phi, 11);
  const std::vector<double> qValues = QVARandomValues(modes, frames, 12);
  QVASrvMatrix q(modes, frames);
  std::copy(qValues.begin(), qValues.end(), q.Values());
  const std::vector<double> full = QVANaiveProduct(phiValues, rows, modes, qValues, frames);
  // Untouched rows keep this exactly representable value.
  const double untouched = 1234.5;

  for (unsigned trial = 0; trial < 20; ++trial) {
    std::mt19937 generator(100 + trial);
    const int leadingRows = static_cast<int>(generator() % 3);
    std::vector<int> rowList(QVAIndex(leadingRows), 0);
    std::vector<int> ranges{leadingRows};
    std::vector<int> runEnds;  // one past the last matrix row of every range so far
    int joinedInBoth = 0;
    int joinedInMatrixOnly = 0;
    for (int range = 0; range < 40; ++range) {
      const int size = static_cast<int>(generator() % 6);
      int firstRow = static_cast<int>(generator() % static_cast<unsigned>(rows - size + 1));
      const unsigned choice = generator() % 3;
      if (choice == 0 && !runEnds.empty() && runEnds.back() + size <= rows) {
        firstRow = runEnds.back();
        joinedInBoth += size > 0 ? 1 : 0;
      } else if (choice == 1 && runEnds.size() > 1) {
        const int earlier = runEnds[generator() % (runEnds.size() - 1)];
        if (earlier + size <= rows) {
          firstRow = earlier;
          joinedInMatrixOnly += size > 0 && earlier != runEnds.back() ? 1 : 0;
        }
      }
      for (int i = 0; i < size; ++i) rowList.push_back(firstRow + i);
      ranges.push_back(static_cast<int>(rowList.size()));
      runEnds.push_back(size > 0 ? firstRow + size : (runEnds.empty() ? 0 : runEnds.back()));
    }
    const int numberOfRanges = static_cast<int>(ranges.size()) - 1;
    const int count = static_cast<int>(rowList.size()) + 2;  // two rows after the list
    ASSERT_GT(joinedInBoth, 0);
    ASSERT_GT(joinedInMatrixOnly, 0);

    QVASrvScratchDenseMatrix merged(count, frames, 7, 2);
    QVASrvScratchDenseMatrix single(count, frames, 7, 2);
    std::vector<double> filler(QVAIndex(count) * frames, untouched);
    const QVASrvMatrix fill(count, frames, filler.data());
    merged.SetValues(0, count - 1, 0, frames - 1, fill);
    single.SetValues(0, count - 1, 0, frames - 1, fill);
    phi.MultiplyRowRanges(q, merged, rowList.data(), ranges.data(), numberOfRanges);
    for (int range = 0; range < numberOfRanges; ++range) {
      phi.MultiplyRowRanges(q, single, rowList.data(), ranges.data() + range, 1);
    }

    const std::vector<double> mergedValues = ReadAll(merged);
    const std::vector<double> singleValues = ReadAll(single);
    double fromNaive = 0.0;
    for (int f = 0; f < frames; ++f) {
      for (int i = 0; i < count; ++i) {
        const std::size_t at = QVAIndex(i + f * count);
        if (i < ranges.front() || i >= ranges.back()) {
          EXPECT_EQ(mergedValues[at], untouched) << "trial " << trial << ", row " << i;
          continue;
        }
        const int row = rowList[QVAIndex(i)];
        fromNaive =
            std::max(fromNaive, std::abs(mergedValues[at] - full[QVAIndex(row + f * rows)]));
      }
    }
    // Each entry is a sum of 9 products of entries in [-1, 1]: every
    // summation order lies within the product tolerance of the exact value,
    // and two such orders within twice that of each other.
    EXPECT_LE(fromNaive, QVAProductTolerance(modes)) << "trial " << trial;
    EXPECT_LE(QVAMaxDifference(mergedValues, singleValues), 2.0 * QVAProductTolerance(modes))
        << "trial " << trial;
  }
}

TEST(QVASrvDenseMatrixProducts, TransposedAndThirdMatrixProductsMatchNaiveLoops) {
  const int rows = 9;
  const int columns = 4;
  const int others = 3;
  QVASrvScratchDenseMatrix phi(rows, columns, 4, 2);
  QVASrvScratchDenseMatrix w(rows, others, 4, 2);
  const std::vector<double> phiValues = FillRandom(phi, 8);
  const std::vector<double> wValues = FillRandom(w, 9);
  std::vector<double> projected(QVAIndex(columns * others), 99.0);
  phi.TransposeMultiply(w, projected.data(), false);
  EXPECT_LE(QVAMaxDifference(projected, QVANaiveProduct(QVATransposed(phiValues, rows, columns),
                                                        columns, rows, wValues, others)),
            QVAProductTolerance(rows));

  // A known symmetric product is symmetric to the last bit.
  std::vector<double> gram(QVAIndex(columns * columns));
  phi.TransposeMultiply(phi, gram.data(), true);
  for (int j = 0; j < columns; ++j) {
    for (int i = 0; i < columns; ++i) {
      EXPECT_EQ(gram[QVAIndex(i + j * columns)], gram[QVAIndex(j + i * columns)]);
    }
  }
  EXPECT_LE(QVAMaxDifference(gram, QVANaiveProduct(QVATransposed(phiValues, rows, columns), columns,
                                                   rows, phiValues, columns)),
            QVAProductTolerance(rows));

  // Rows of the in-core matrix picked by a map; -1 contributes nothing.
  const int tRows = 5;
  const std::vector<double> tValues = QVARandomValues(tRows, others, 10);
  QVASrvMatrix t(tRows, others);
  std::copy(tValues.begin(), tValues.end(), t.Values());
  const int rowMap[] = {4, -1, 0, 1, 1, 3, -1, 2, 0};
  std::vector<double> mapped(QVAIndex(rows * others), 0.0);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < others; ++c) {
      if (rowMap[r] >= 0) {
        mapped[QVAIndex(r + c * rows)] = tValues[QVAIndex(rowMap[r] + c * tRows)];
      }
    }
  }
  std::vector<double> result(QVAIndex(columns * others), 1.0);
  phi.TransposeMultiplyMapped(rowMap, t, result.data(), 2.0, -1.0);
  std::vector<double> reference =
      QVANaiveProduct(QVATransposed(phiValues, rows, columns), columns, rows, mapped, others);
  for (double& value : reference) value = 2.0 * value - 1.0;
  // alpha = 2 doubles the product's error bound; beta adds one rounding.
  EXPECT_LE(QVAMaxDifference(result, reference), 2.0 * QVAProductTolerance(rows + 1));
  const int badMap[] = {5, 0, 0, 0, 0, 0, 0, 0, 0};
  QVAExpectRaises([&] { phi.TransposeMultiplyMapped(badMap, t, result.data(), 1.0, 0.0); },
                  kQVASrvIndexOutOfRange, {"row 0 maps to row 5", "0 ... 4"});

  // this * coefficients into a third dense matrix, here a view with a
  // leading dimension larger than its row count.
  const std::vector<double> cValues = QVARandomValues(columns, others, 11);
  QVASrvMatrix coefficients(columns, others);
  std::copy(cValues.begin(), cValues.end(), coefficients.Values());
  QVASrvScratchDenseMatrix storage(rows + 2, others, 128, 32);
  const std::unique_ptr<QVASrvDenseMatrix> target(storage.CreateSubMatrix(1, rows, 0, others - 1));
  phi.Multiply(coefficients, *target);
  EXPECT_LE(QVAMaxDifference(ReadAll(*target),
                             QVANaiveProduct(phiValues, rows, columns, cValues, others)),
            QVAProductTolerance(columns));
  EXPECT_EQ(storage.Values()[0], 0.0);  // the row above the view is untouched
  QVASrvScratchDenseMatrix wrongRows(rows - 1, others, 128, 32);
  QVAExpectRaises([&] { phi.Multiply(coefficients, wrongRows); }, kQVASrvSizeMismatch,
                  {"Multiply", "do not fit"});
  QVAExpectRaises([&] { phi.TransposeMultiply(wrongRows, projected.data(), false); },
                  kQVASrvSizeMismatch, {"TransposeMultiply", "needs 9 rows"});
}

}  // namespace
