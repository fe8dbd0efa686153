// Dense and sparse matrices over distributions of the model database: the
// creation functions and their chunk sizes, member lookup through the sets,
// views and copies as an active-mode subset makes them, recovery into a slice
// of a four-dimensional result, and the export of a sparse matrix.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrixContainer.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDMember.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/platform/matrix/QVAMatrixTestSupport.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

// A modal system with 8 DOFs and 6 modes: mode shapes over the DOFs
// {1, 2, 3, 5, 6, 7} (in that order) and all modes, chunks 4 x 4.
class QVASrvDatabaseMatrix : public ::testing::Test {
 protected:
  static constexpr int kRows = 6;
  static constexpr int kModes = 6;

  void SetUp() override {
    QVASimTransaction transaction(database);
    const int dofs[] = {1, 2, 3, 5, 6, 7};
    dofSet = QVASimCollection(modal.Dofs()).CreateOrderedCSet(dofs, kRows);
    modeSet = QVASimCollection(modal.ModesCollection()).CreateCSetStrided(0, kModes, 1, 1);
    const QVASimCSetID sets[] = {dofSet, modeSet};
    const int chunks[] = {4, 4};
    shapes = QVASrvUtilities::CreateDistribution(
        modal.MyPosition(), QVATypeIndex(QVADataKinds::kModeShapes), 2, sets, chunks, true);
    transaction.Commit();
    values = QVARandomValues(kRows, kModes, 77);
    database.WriteDistribution(shapes, values.data());
  }

  double Value(int row, int mode) const { return values[QVAIndex(row + mode * kRows)]; }

  QVASimDatabase database;
  QVAFsmModalSystem modal = database.CreateModalSystem(8, 3);
  QVASimCSetID dofSet;
  QVASimCSetID modeSet;
  QVASimDistributionID shapes;
  std::vector<double> values;
};

TEST_F(QVASrvDatabaseMatrix, CreationNormalisesChunkSizes) {
  QVASimTransaction transaction(database);
  const QVASimCSetID sets[] = {dofSet, modeSet};
  const int chunks[] = {128, -1};
  const QVASimDistributionID matrix = QVASrvUtilities::CreateDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kProjectedMatrix), 2, sets, chunks, false);
  const QVASimDistribution whole(matrix);
  EXPECT_EQ(whole.ChunkSize(0), kRows);   // 128 cut to 6
  EXPECT_EQ(whole.ChunkSize(1), kModes);  // -1: the whole dimension
  const QVASimDistributionID vector = QVASrvUtilities::Create1DDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kGeneralizedMass), modeSet, 0);
  EXPECT_EQ(QVASimDistribution(vector).NumberOfDimensions(), 1);
  EXPECT_EQ(QVASimDistribution(vector).ChunkSize(0), kModes);
  const QVASimDistributionID square = QVASrvUtilities::Create2DDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kProjectedMatrix), modeSet, modeSet, 4, 100);
  EXPECT_EQ(QVASimDistribution(square).ChunkSize(0), 4);
  EXPECT_EQ(QVASimDistribution(square).ChunkSize(1), kModes);
  const QVASimDistributionID sparse = QVASrvUtilities::CreateSparseDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kSparseCoupling), dofSet, modeSet);
  EXPECT_TRUE(QVASimDistribution(sparse).IsSparse());
  QVAExpectRaises([&] { QVASrvDenseMatrix dense(sparse); }, kQVASrvInvalidState, {"is sparse"});
  QVAExpectRaises(
      [&] {
        QVASrvUtilities::CreateDistribution(modal.MyPosition(),
                                            QVATypeIndex(QVADataKinds::kProjectedMatrix), 5, sets,
                                            chunks, false);
      },
      kQVABasInvalidArgument, {"5 sets"});
  transaction.Commit();
}

TEST_F(QVASrvDatabaseMatrix, ReadsAndWritesTheDatabaseValuesInPlace) {
  QVASrvDenseMatrix matrix(shapes);
  EXPECT_EQ(matrix.DistributionID(), shapes);
  EXPECT_EQ(matrix.RowSet(), dofSet);
  EXPECT_EQ(matrix.ColumnSet(), modeSet);
  EXPECT_EQ(matrix.NumberOfColumnBlocks(), 2);
  EXPECT_EQ(matrix.NumberOfColumnsInBlock(1), 2);
  EXPECT_EQ(matrix.MaxNumberOfRowsInBlock(), 4);
  EXPECT_EQ(matrix.RowOfMember(5), 3);   // DOF 5 is the fourth row
  EXPECT_EQ(matrix.RowOfMember(4), -1);  // DOF 4 has no row
  EXPECT_EQ(matrix.RowMember(5), 7);

  QVASrvMatrix column(kRows, 1);
  matrix.GetColumns(2, 2, column);
  EXPECT_EQ(column(4, 0), Value(4, 2));
  column = 0.5;
  matrix.SetColumns(2, 2, column);
  std::vector<double> stored(values.size());
  database.ReadDistribution(shapes, stored.data());
  EXPECT_EQ(stored[QVAIndex(3 + 2 * kRows)], 0.5);
  EXPECT_EQ(stored[QVAIndex(3 + 1 * kRows)], Value(3, 1));
}

// What an active-mode subset does: a contiguous run of modes as a view, a
// scattered choice as a container copy filled by member.
TEST_F(QVASrvDatabaseMatrix, SubsetViewsAndMemberCopies) {
  const QVASrvDenseMatrix source(shapes);
  const std::unique_ptr<QVASrvDenseMatrix> view(source.CreateSubMatrix(0, kRows - 1, 2, 4));
  EXPECT_EQ(view->DistributionID(), shapes);
  EXPECT_EQ(view->ColumnMember(0), 2);
  EXPECT_EQ(view->ColumnOfMember(4), 2);
  EXPECT_EQ(view->ColumnOfMember(5), -1);
  QVASrvMatrix block(kRows, 3);
  view->GetColumns(0, 2, block);
  EXPECT_EQ(block(1, 2), Value(1, 4));

  QVASrvMatrixContainer container;
  const QVASimCSet rows(source.RowSet());
  const int modes[] = {0, 2, 5};
  QVASrvDenseMatrix& copy =
      container.Create(container.Size(), rows.Size(), 3, rows.OrderedMembers(), modes, 128, 32);
  copy.CopyMappedValues(source, rows.OrderedMembers(), modes);
  QVASrvMatrix copied(kRows, 3);
  copy.GetColumns(0, 2, copied);
  for (int i = 0; i < kRows; ++i) {
    EXPECT_EQ(copied(i, 0), Value(i, 0));
    EXPECT_EQ(copied(i, 1), Value(i, 2));
    EXPECT_EQ(copied(i, 2), Value(i, 5));
  }
  EXPECT_EQ(copy.RowOfMember(7), 5);
}

TEST_F(QVASrvDatabaseMatrix, SparseExportWritesTheEntries) {
  QVASrvSparseMatrix coupling(kRows, kModes);
  const int rows[] = {0, 5, 2};
  const int columns[] = {1, 5, 0};
  const double entries[] = {1.5, -2.0, 4.0};
  coupling.SetFromTriplets(3, rows, columns, entries);
  QVASimTransaction transaction(database);
  const QVASimDistributionID sparse = QVASrvUtilities::CreateSparseDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kSparseCoupling), dofSet, modeSet);
  coupling.Export(dofSet, modeSet, sparse);
  transaction.Commit();
  const QVASimDistribution stored(sparse);
  ASSERT_EQ(stored.NumberOfNonZeros(), 3);
  EXPECT_EQ(stored.SparseRowStarts()[kRows], 3);
  EXPECT_EQ(stored.SparseRowStarts()[3], 2);  // rows 0 and 2 come first
  EXPECT_EQ(stored.SparseColumns()[1], 0);
  EXPECT_EQ(stored.SparseValues()[2], -2.0);
  QVAExpectRaises([&] { coupling.Export(modeSet, dofSet, sparse); }, kQVASrvInvalidState,
                  {"not over the given row and column sets"});
  QVASrvSparseMatrix smaller(kRows - 1, kModes);
  QVAExpectRaises([&] { smaller.Export(dofSet, modeSet, sparse); }, kQVASrvSizeMismatch,
                  {"6 x 6 members"});
}

}  // namespace
