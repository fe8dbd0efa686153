// The static utilities: settings from the environment, nodes with mode shapes, force projection,
// and database vectors and matrices with chunk sizes chosen from their sets.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "internal/QVADataKinds.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "tests/support/QVATestEnvironment.h"
#include "tests/support/QVATestModalBasis.h"

namespace {

constexpr const char* kRowVariable = "TOR_DYN_MODESHAPE_ROW_BLOCKSIZE";
constexpr const char* kColumnVariable = "TOR_DYN_MODESHAPE_COL_BLOCKSIZE";
constexpr const char* kResultsVariable = "TOR_DYN_RESULTS_COL_BLOCKSIZE";

// Nodes 0 and 2 carry two structural DOFs, node 1 an acoustic one between
// them: system DOFs 0, 1 | 2 (acoustic) | 3, 4; solver DOFs 0, 1, 3, 4, 2.
QVAFsmSystemDofDefinition AcousticInTheMiddle() {
  QVAFsmSystemDofDefinition dofs(3, 2);
  dofs.AddDof(0, 0, 2);
  dofs.AddDof(0, 1, 3);
  dofs.AddDof(1, 0, QVAFsmSystemDofDefinition::kAcousticLabel);
  dofs.AddDof(2, 0, 2);
  dofs.AddDof(2, 1, 3);
  return dofs;
}

}  // namespace

// Unset, the settings take their defaults; set, they are read as atoi reads
// them, again on every call.
TEST(QVADynUtilitiesTest, SettingsAreReadAsAtoiDoesOnEveryCall) {
  const QVATestScopedEnvironment rows(kRowVariable, nullptr);
  const QVATestScopedEnvironment results(kResultsVariable, nullptr);
  EXPECT_EQ(QVADynUtilities::ModeShapeRowBlocksize(), 100);
  EXPECT_EQ(QVADynUtilities::ResultsColBlocksize(), 20);
  {
    const QVATestScopedEnvironment columns(kColumnVariable, nullptr);
    EXPECT_EQ(QVADynUtilities::ModeShapeColBlocksize(), 5);
  }
  {
    const QVATestScopedEnvironment columns(kColumnVariable, "12abc");
    EXPECT_EQ(QVADynUtilities::ModeShapeColBlocksize(), 12);
  }
  {
    const QVATestScopedEnvironment columns(kColumnVariable, "abc");
    EXPECT_EQ(QVADynUtilities::ModeShapeColBlocksize(), 0);
  }
  setenv(kResultsVariable, "40", 1);
  EXPECT_EQ(QVADynUtilities::ResultsColBlocksize(), 40);
}

// Mode shapes over the first 7 solver DOFs of 6 nodes with 3 DOFs each: nodes
// 0, 1 and 2 (which owns solver DOF 6) carry mode-shape values.
TEST(QVADynUtilitiesTest, NodesWithModesMarksTheNodesOwningModeShapeRows) {
  QVATestModalBasis basis({.numberOfModes = 3, .modeShapeRows = 7});
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  int numberOfNodes = -1;
  bool* flags = QVADynUtilities::NodesWithModes(*modal, numberOfNodes);
  ASSERT_EQ(numberOfNodes, 6);
  EXPECT_EQ(std::vector<bool>(flags, flags + 6),
            std::vector<bool>({true, true, true, false, false, false}));
  mem_Free(flags);
}

// P(i, k) = sum over system DOFs of F(dof, k) * Phi(solver(dof), modes[i]),
// compared with that naive sum in another order: 5 products below 6 in size,
// so the two sums differ by less than 2 * 5 * 6 * eps ~ 1.3e-14.
TEST(QVADynUtilitiesTest, ProjectForceOntoSelectedModes) {
  const QVAFsmSystemDofDefinition dofs = AcousticInTheMiddle();
  const int* solverOf = dofs.MappingToSolverDofs();
  QVASrvScratchDenseMatrix phi(5, 3, 5, 3);
  QVASrvMatrix phiValues(5, 3);
  for (int row = 0; row < 5; ++row) {
    for (int mode = 0; mode < 3; ++mode) phiValues(row, mode) = 0.1 * (row + 1) - 0.3 * mode * mode;
  }
  phi.SetValues(0, 4, 0, 2, phiValues);

  // Two load columns over the system DOFs.
  const int rows[] = {0, 2, 4, 1, 2, 3};
  const int columns[] = {0, 0, 0, 1, 1, 1};
  const double values[] = {1.5, -2.0, 0.25, 3.0, 0.5, -1.0};
  QVASrvSparseMatrix load(5, 2);
  load.SetFromTriplets(6, rows, columns, values);
  const QVASrvSparseMatrix original(load);

  const int modes[] = {2, 0};
  std::unique_ptr<QVASrvMatrix> projected(
      QVADynUtilities::ProjectForce(2, modes, dofs, phi, &load));
  ASSERT_NE(projected, nullptr);
  ASSERT_EQ(projected->NumberOfRows(), 2);
  ASSERT_EQ(projected->NumberOfColumns(), 2);
  for (int position = 0; position < 2; ++position) {
    for (int column = 0; column < 2; ++column) {
      double expected = 0.0;
      for (int dof = 0; dof < 5; ++dof) {
        expected += original.Value(dof, column) * phiValues(solverOf[dof], modes[position]);
      }
      EXPECT_NEAR((*projected)(position, column), expected, 2e-14) << position << ", " << column;
    }
  }
  // The caller's load matrix is left in solver-DOF order.
  for (int dof = 0; dof < 5; ++dof) {
    for (int column = 0; column < 2; ++column) {
      EXPECT_EQ(load.Value(solverOf[dof], column), original.Value(dof, column));
    }
  }
  // A load matrix without columns projects to nothing.
  QVASrvSparseMatrix empty(5, 0);
  EXPECT_EQ(QVADynUtilities::ProjectForce(1, modes, dofs, phi, &empty), nullptr);
}

TEST(QVADynUtilitiesDeathTest, ProjectForceWithoutLoadMatrixEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const QVAFsmSystemDofDefinition dofs = AcousticInTheMiddle();
  QVASrvScratchDenseMatrix phi(5, 3, 5, 3);
  const int modes[] = {0};
  EXPECT_DEATH(QVADynUtilities::ProjectForce(1, modes, dofs, phi, nullptr),
               "\\*\\*\\*Fatal Error: force missing: QVADyn/QVADynCore/impl/QVADynUtilities: 95");
}

TEST(QVADynUtilitiesTest, CreateVectorByNameAndByNumber) {
  QVASimDatabase database;
  QVAFsmModalSystem system = database.CreateModalSystem(8, 4);
  const QVASimCSetID modes =
      QVASimCollection(system.ModesCollection()).CreateCSetStrided(0, 6, 1, 1);
  const int kind = QVATypeIndex(QVADataKinds::kGeneralizedMass);
  QVADynUtilities::CreateVector(system, KRNString("MODAL_MASS"), modes, kind);
  QVADynUtilities::CreateVector(system, 3, modes, kind);
  for (const QVASimDistributionID& id :
       {system.UserMatrix(KRNString("MODAL_MASS")), system.Distribution(3)}) {
    ASSERT_TRUE(id.IsValid());
    const QVASimDistribution vector(id);
    EXPECT_EQ(vector.NumberOfDimensions(), 1);
    EXPECT_EQ(vector.Size(0), 6);
    EXPECT_EQ(vector.ChunkSize(0), 6);
    EXPECT_EQ(vector.DataKind(), kind);
    EXPECT_EQ(vector.Set(0), modes);
  }
  EXPECT_EQ(database.TransactionDepth(), 0);
}

// Chunk sizes by the kind of each set's collection, cut to the set's size.
TEST(QVADynUtilitiesTest, CreateMatrixChoosesChunksByCollectionKind) {
  QVASimDatabase database;
  QVAFsmModalSystem system = database.CreateModalSystem(2000, 40);
  const auto strided = [](const QVASimCollectionID& collection, int count) {
    return QVASimCollection(collection).CreateCSetStrided(0, count, 1, 1);
  };
  const QVASimCSetID threeModes = strided(system.ModesCollection(), 3);
  const QVASimCSetID manyModes = strided(system.ModesCollection(), 300);
  const QVASimCSetID dofs = strided(system.Dofs(), 2000);
  const QVASimCSetID nodes = strided(system.Nodes(), 40);
  const QVASimCSetID loadCases =
      strided(database.CreateCollection(QVASimKind::LoadCases(), -1), 50);
  const QVASimCSetID frames = strided(database.CreateCollection(QVASimKind::Frames(), -1), 1500);
  const QVASimCSetID kind21 =
      strided(database.CreateCollection(QVATypeIndex(QVADataKinds::kDofPlaces), -1), 9);
  const int kind = QVATypeIndex(QVADataKinds::kProjectedMatrix);

  struct Case {
    QVASimCSetID rows;
    QVASimCSetID columns;
    int rowChunk;
    int columnChunk;
  };
  const Case cases[] = {{threeModes, manyModes, 3, 128},
                        {dofs, loadCases, 1024, 32},
                        {frames, kind21, 1024, 6},
                        {nodes, threeModes, 16, 3}};
  int number = 0;
  for (const Case& c : cases) {
    QVADynUtilities::CreateMatrix(system, number, c.rows, c.columns, kind);
    const QVASimDistribution matrix(system.Distribution(number));
    EXPECT_EQ(matrix.ChunkSize(0), c.rowChunk) << "case " << number;
    EXPECT_EQ(matrix.ChunkSize(1), c.columnChunk) << "case " << number;
    EXPECT_EQ(matrix.Set(0), c.rows);
    EXPECT_EQ(matrix.Set(1), c.columns);
    EXPECT_EQ(matrix.DataKind(), kind);
    ++number;
  }
  QVADynUtilities::CreateMatrix(system, KRNString("COUPLING"), nodes, dofs, kind);
  const QVASimDistribution named(system.UserMatrix(KRNString("COUPLING")));
  EXPECT_EQ(named.ChunkSize(0), 16);
  EXPECT_EQ(named.ChunkSize(1), 1024);
  EXPECT_EQ(database.TransactionDepth(), 0);
}
