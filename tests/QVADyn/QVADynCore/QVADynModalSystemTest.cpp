// The modal system's basis in the model database: write and reopen, mode-shape chunks and the
// mode-column map, frequency task queries, and ownership of the adopted DOF definition.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVAFsmFrequencyTask.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/support/QVATestEnvironment.h"
#include "tests/support/QVATestModalBasis.h"

namespace {

std::vector<double> ReadAll(QVASimDatabase& database, const QVASimDistributionID& id) {
  std::vector<double> values(QVAIndex(database.NumberOfValues(id)));
  database.ReadDistribution(id, values.data());
  return values;
}

// A modal-database object and a writer over a DOF definition of `dofs` DOFs,
// one per node, for the tests that write a basis without reading it back.
struct Writer {
  explicit Writer(int dofs) {
    auto* definition = new QVAFsmSystemDofDefinition(dofs, 1);
    for (int node = 0; node < dofs; ++node) definition->AddDof(node, 0, 2);
    modal = database.CreateModalSystem(dofs, dofs);
    system = std::make_unique<QVADynModalSystem>(definition, modal, log);
  }
  QVASimDatabase database;
  QVAFsmModalSystem modal;
  QVADynLogFile log;
  std::unique_ptr<QVADynModalSystem> system;
};

}  // namespace

// 7 structural modes (2 residual) and 2 acoustic modes with every projected matrix, written and
// opened on a fresh modal system.
TEST(QVADynModalSystemTest, RoundTripOfStructuralResidualAndAcousticModes) {
  QVATestModalBasis basis({.numberOfNodes = 8,
                           .acousticNodes = 2,
                           .numberOfModes = 9,
                           .numberOfAcousticModes = 2,
                           .numberOfResidualModes = 2,
                           .rowBlockSize = 4,
                           .columnBlockSize = 3,
                           .viscousDamping = true,
                           .structuralDamping = true,
                           .acousticViscousDamping = true,
                           .acousticCoupling = true});
  QVAFsmModalSystem& stored = basis.ModalObject();

  // What lies in the database.
  EXPECT_EQ(QVATestSetMembers(stored.Modes()), QVATestRange(0, 9));
  EXPECT_EQ(QVATestSetMembers(stored.StructuralModes()), QVATestRange(0, 7));
  EXPECT_EQ(QVATestSetMembers(stored.ResidualModes()), QVATestRange(5, 2));
  EXPECT_EQ(QVATestSetMembers(stored.AcousticModes()), QVATestRange(7, 2));
  EXPECT_EQ(ReadAll(basis.Database(), stored.GeneralizedMass()), std::vector<double>(9, 1.0));
  const QVASimDistribution eigenvalues(stored.Eigenvalues());
  EXPECT_EQ(eigenvalues.DataKind(), QVATypeIndex(QVADataKinds::kEigenvalues));
  EXPECT_EQ(QVATestSetMembers(eigenvalues.Set(1)), std::vector<int>{4});
  EXPECT_EQ(QVASimCSet(eigenvalues.Set(1)).Collection(), stored.ComplexNumberPart());
  EXPECT_EQ(QVASimDistribution(stored.GeneralizedMass()).DataKind(),
            QVATypeIndex(QVADataKinds::kGeneralizedMass));
  const QVASimDistribution modeShapes(stored.ModeShapes());
  EXPECT_EQ(modeShapes.DataKind(), QVATypeIndex(QVADataKinds::kModeShapes));
  EXPECT_EQ(modeShapes.ChunkSize(0), 4);
  EXPECT_EQ(modeShapes.ChunkSize(1), 3);
  EXPECT_EQ(QVATestSetMembers(modeShapes.Set(0)), QVATestRange(0, basis.NumberOfSolverDofs()));
  for (const QVASimDistributionID& id :
       {stored.ViscousDamping(), stored.StructuralDamping(), stored.AcousticViscousDamping(),
        stored.AcousticCoupling()}) {
    EXPECT_EQ(QVASimDistribution(id).DataKind(), QVATypeIndex(QVADataKinds::kProjectedMatrix));
  }

  // What a fresh modal system reads. Stored values are copied, never computed:
  // exact comparisons.
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  EXPECT_EQ(modal->NumberOfModes(), 9);
  EXPECT_EQ(modal->NumberOfAcousticModes(), 2);
  EXPECT_EQ(modal->NumberOfResidualModes(), 2);
  EXPECT_FALSE(modal->IsSubset());
  EXPECT_EQ(std::vector<double>(modal->Eigenvalues(), modal->Eigenvalues() + 9),
            basis.Eigenvalues());
  EXPECT_EQ(QVATestReadDenseMatrix(*modal->ModeShapes()), basis.ModeShapes());
  ASSERT_NE(modal->ViscousDamping(), nullptr);
  ASSERT_NE(modal->StructuralDamping(), nullptr);
  ASSERT_NE(modal->AcousticViscousDamping(), nullptr);
  ASSERT_NE(modal->AcousticCoupling(), nullptr);
  EXPECT_EQ(QVATestReadDenseMatrix(*modal->ViscousDamping()), basis.ViscousDamping());
  EXPECT_EQ(QVATestReadDenseMatrix(*modal->StructuralDamping()), basis.StructuralDamping());
  EXPECT_EQ(QVATestReadDenseMatrix(*modal->AcousticViscousDamping()),
            basis.AcousticViscousDamping());
  EXPECT_EQ(modal->AcousticCoupling()->NumberOfRows(), 2);
  EXPECT_EQ(modal->AcousticCoupling()->NumberOfColumns(), 7);
  EXPECT_EQ(QVATestReadDenseMatrix(*modal->AcousticCoupling()), basis.AcousticCoupling());
  EXPECT_EQ(modal->ParticipationFactors(0), nullptr);
  EXPECT_EQ(modal->DofDefinition().NumberOfSolverDofs(), basis.NumberOfSolverDofs());
  EXPECT_EQ(modal->DofDefinition().NumberOfSolverAcousticDofs(), 2);
}

// Values of random bit patterns (finite; a signed zero, the smallest subnormal and the largest
// magnitude among them), written as the whole matrix in one call or as uneven rectangles out of
// order and across the chunks, come back from a fresh modal system bit for bit.
TEST(QVADynModalSystemTest, ValuesWrittenInUnevenBlocksReopenBitForBit) {
  constexpr int kRows = 23;
  constexpr int kModes = 7;
  QVATestRandom random(18);
  const auto randomValue = [&random] {
    double value = 0.0;
    do {
      const std::uint64_t bits = random.Next();
      std::memcpy(&value, &bits, sizeof value);
    } while (!std::isfinite(value));
    return value;
  };
  std::vector<double> phi(kRows * kModes);
  for (double& value : phi) value = randomValue();
  phi[0] = -0.0;
  phi[kRows + 5] = std::numeric_limits<double>::denorm_min();
  phi[kRows * kModes - 1] = -std::numeric_limits<double>::max();
  // Eigenvalues must be finite and not below round-off of zero: random magnitudes.
  std::vector<double> eigenvalues(kModes);
  for (double& value : eigenvalues) value = std::fabs(randomValue());
  eigenvalues[1] = std::numeric_limits<double>::denorm_min();
  // Rows first ... last, columns first ... last.
  struct Block {
    int firstRow, lastRow, firstColumn, lastColumn;
  };
  const std::vector<std::vector<Block>> layouts = {
      {{0, kRows - 1, 0, kModes - 1}},
      {{9, 22, 4, 6}, {0, 8, 4, 6}, {0, 0, 0, 3}, {1, 16, 0, 3}, {17, 22, 0, 2}, {17, 22, 3, 3}}};
  const QVATestScopedEnvironment rowChunk("TOR_DYN_MODESHAPE_ROW_BLOCKSIZE", "5");
  const QVATestScopedEnvironment columnChunk("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", "3");
  const auto sameBits = [](const double* read, const std::vector<double>& written) {
    return std::memcmp(read, written.data(), written.size() * sizeof(double)) == 0;
  };
  for (std::size_t layout = 0; layout < layouts.size(); ++layout) {
    SCOPED_TRACE("layout " + std::to_string(layout));
    Writer writer(kRows);
    writer.system->SetEigenvalues(eigenvalues.data(), kModes, 0, 0);
    QVASrvDenseMatrix& stored = writer.system->CreateModeShapes(kRows, false);
    for (const Block& block : layouts[layout]) {
      QVASrvMatrix values(block.lastRow - block.firstRow + 1,
                          block.lastColumn - block.firstColumn + 1);
      for (int j = 0; j < values.NumberOfColumns(); ++j) {
        for (int i = 0; i < values.NumberOfRows(); ++i) {
          values(i, j) =
              phi[QVAIndex(block.firstRow + i) + QVAIndex(kRows) * (block.firstColumn + j)];
        }
      }
      stored.SetValues(block.firstRow, block.lastRow, block.firstColumn, block.lastColumn, values);
    }
    QVADynModalSystem reopened(new QVAFsmSystemDofDefinition(writer.system->DofDefinition()),
                               writer.modal, writer.log);
    reopened.Open();
    EXPECT_TRUE(sameBits(QVATestReadDenseMatrix(*reopened.ModeShapes()).data(), phi));
    EXPECT_TRUE(sameBits(reopened.Eigenvalues(), eigenvalues));
  }
}

// The eigenvalues are copied, the transaction closed, and without acoustic or residual modes
// neither set is attached.
TEST(QVADynModalSystemTest, SetEigenvaluesCopiesAndAttachesOnlyTheSetsItHas) {
  Writer writer(4);
  double eigenvalues[] = {1.0, 4.0, 9.0};
  writer.system->SetEigenvalues(eigenvalues, 3, 0, 0);
  eigenvalues[0] = -1.0;
  EXPECT_EQ(writer.system->Eigenvalues()[0], 1.0);
  EXPECT_EQ(ReadAll(writer.database, writer.modal.Eigenvalues()),
            (std::vector<double>{1.0, 4.0, 9.0}));
  EXPECT_EQ(writer.database.TransactionDepth(), 0);
  EXPECT_EQ(QVATestSetMembers(writer.modal.StructuralModes()), QVATestRange(0, 3));
  EXPECT_FALSE(writer.modal.ResidualModes().IsValid());
  EXPECT_FALSE(writer.modal.AcousticModes().IsValid());
}

// The default basis: 12 structural modes in column chunks of 5, no projected
// matrices.
TEST(QVADynModalSystemTest, ModeColumnMapOfTwelveModesInChunksOfFive) {
  QVATestModalBasis basis;
  const std::vector<int> expected = {0, 1, 2, 3, 4, 128, 129, 130, 131, 132, 256, 257};
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  EXPECT_EQ(modal->ViscousDamping(), nullptr);
  EXPECT_EQ(modal->StructuralDamping(), nullptr);
  EXPECT_EQ(modal->AcousticViscousDamping(), nullptr);
  EXPECT_EQ(modal->AcousticCoupling(), nullptr);
  EXPECT_EQ(modal->NumberOfResidualModes() + modal->NumberOfAcousticModes(), 0);
  EXPECT_EQ(std::vector<int>(modal->ModeColumnMap(), modal->ModeColumnMap() + 12), expected);

  // The writer builds the same map when it creates the mode shapes.
  Writer writer(6);
  std::vector<double> eigenvalues(12, 1.0);
  writer.system->SetEigenvalues(eigenvalues.data(), 12, 0, 0);
  const QVATestScopedEnvironment columns("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", "5");
  writer.system->CreateModeShapes(6, false);
  EXPECT_EQ(std::vector<int>(writer.system->ModeColumnMap(), writer.system->ModeColumnMap() + 12),
            expected);
}

TEST(QVADynModalSystemTest, ModeShapeChunksFollowTheSettingsCutToTheMatrix) {
  Writer writer(10);
  std::vector<double> eigenvalues(4, 1.0);
  writer.system->SetEigenvalues(eigenvalues.data(), 4, 0, 0);
  const QVATestScopedEnvironment rows("TOR_DYN_MODESHAPE_ROW_BLOCKSIZE", "7");
  const QVATestScopedEnvironment columns("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", "9");
  QVASrvDenseMatrix& phi = writer.system->CreateModeShapes(10, false);
  EXPECT_EQ(phi.NumberOfRows(), 10);
  EXPECT_EQ(phi.NumberOfColumns(), 4);
  EXPECT_EQ(phi.MaxNumberOfRowsInBlock(), 7);
  EXPECT_EQ(phi.MaxNumberOfColumnsInBlock(), 4);
  EXPECT_EQ(writer.modal.ModeShapes(), phi.DistributionID());
  // The rows are the system DOFs of solver DOFs 0 ... 9, written as the DOF
  // collection's permutation as well.
  EXPECT_EQ(QVATestSetMembers(phi.RowSet()), QVATestRange(0, 10));
}

// The map codes a column's position in 7 bits: a column chunk above 128 from
// the settings is held at 128 so that the codes stay unambiguous.
TEST(QVADynModalSystemTest, ColumnChunkAboveOneHundredTwentyEightIsHeldAt128) {
  Writer writer(2);
  std::vector<double> eigenvalues(130, 1.0);
  writer.system->SetEigenvalues(eigenvalues.data(), 130, 0, 0);
  const QVATestScopedEnvironment columns("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", "200");
  const QVASrvDenseMatrix& phi = writer.system->CreateModeShapes(2, false);
  EXPECT_EQ(phi.MaxNumberOfColumnsInBlock(), 128);
  const int* map = writer.system->ModeColumnMap();
  EXPECT_EQ(map[127], 127);
  EXPECT_EQ(map[128], 128);  // block 1, position 0
  EXPECT_EQ(map[129], 129);
}

TEST(QVADynModalSystemTest, ScratchModeShapesAreCreatedButNotAttached) {
  Writer writer(5);
  const double eigenvalues[] = {1.0, 2.0};
  writer.system->SetEigenvalues(eigenvalues, 2, 0, 0);
  const QVASrvDenseMatrix& phi = writer.system->CreateModeShapes(5, true);
  EXPECT_EQ(writer.system->ModeShapes(), &phi);
  EXPECT_TRUE(QVASimDistribution(phi.DistributionID()).IsScratch());
  EXPECT_FALSE(writer.modal.ModeShapes().IsValid());
}

// Another kind raises and creates nothing; each supported kind makes its matrix.
TEST(QVADynModalSystemTest, CreateDampingMakesTheMatrixOfEachKindAndRefusesOthers) {
  Writer writer(5);
  const double eigenvalues[] = {1.0, 2.0, 3.0, 4.0, 5.0};
  writer.system->SetEigenvalues(eigenvalues, 5, 2, 0);
  for (const QVADynDampingType kind :
       {QVADynAcousticStructuralDamping, static_cast<QVADynDampingType>(-1)}) {
    EXPECT_EQ(RaisedMessage<QVADynUnsupportedDamping>(
                  [&] { writer.system->CreateDamping(kind, false); },
                  [](const QVADynUnsupportedDamping& error) {
                    EXPECT_EQ(error.ErrorNumber(), 223);
                    EXPECT_STREQ(error.File().Text(), "QVADyn/QVADynCore/impl/QVADynModalSystem");
                  }),
              "Unsupported damping type requested");
  }
  EXPECT_EQ(writer.system->ViscousDamping(), nullptr);
  EXPECT_EQ(writer.system->StructuralDamping(), nullptr);
  EXPECT_EQ(writer.system->AcousticViscousDamping(), nullptr);
  EXPECT_EQ(writer.database.TransactionDepth(), 0);

  QVASrvDenseMatrix& viscous = writer.system->CreateDamping(QVADynViscousDamping, false);
  EXPECT_EQ(writer.system->ViscousDamping(), &viscous);
  EXPECT_EQ(viscous.NumberOfRows(), 3);
  EXPECT_EQ(viscous.NumberOfColumns(), 3);
  EXPECT_EQ(writer.modal.ViscousDamping(), viscous.DistributionID());

  QVASrvDenseMatrix& structural = writer.system->CreateDamping(QVADynStructuralDamping, true);
  EXPECT_EQ(writer.system->StructuralDamping(), &structural);
  EXPECT_EQ(structural.NumberOfRows(), 3);
  EXPECT_FALSE(writer.modal.StructuralDamping().IsValid());

  QVASrvDenseMatrix& acoustic = writer.system->CreateDamping(QVADynAcousticViscousDamping, false);
  EXPECT_EQ(writer.system->AcousticViscousDamping(), &acoustic);
  EXPECT_EQ(acoustic.NumberOfRows(), 2);
  EXPECT_EQ(acoustic.NumberOfColumns(), 2);
  EXPECT_EQ(QVATestSetMembers(acoustic.RowSet()), QVATestRange(3, 2));
  EXPECT_EQ(writer.modal.AcousticViscousDamping(), acoustic.DistributionID());

  QVASrvDenseMatrix& coupling = writer.system->CreateAcousticCoupling(false);
  EXPECT_EQ(writer.system->AcousticCoupling(), &coupling);
  EXPECT_EQ(QVATestSetMembers(coupling.RowSet()), QVATestRange(3, 2));
  EXPECT_EQ(QVATestSetMembers(coupling.ColumnSet()), QVATestRange(0, 3));
  EXPECT_EQ(writer.modal.AcousticCoupling(), coupling.DistributionID());
  EXPECT_EQ(QVASimDistribution(coupling.DistributionID()).DataKind(),
            QVATypeIndex(QVADataKinds::kProjectedMatrix));
}

TEST(QVADynModalSystemTest, FrequencyTaskQueries) {
  QVATestModalBasis basis;
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  EXPECT_EQ(modal->PropertyEvaluation(), 0.0);
  EXPECT_EQ(modal->NumberOfRecoveryNodes(), 0);
  int untouched[] = {-7};
  modal->RecoveryNodes(untouched);
  EXPECT_EQ(untouched[0], -7);

  QVAFsmFrequencyTask task(basis.ModalObject().Task());
  QVASimTransaction transaction(basis.ModalObject().MyPosition().Context());
  task.SetPropertyEvaluation(transaction, 12.5);
  const int nodes[] = {4, 1, 3};
  task.SetRecoveryNodes(transaction,
                        QVASimCollection(basis.ModalObject().Nodes()).CreateOrderedCSet(nodes, 3));
  transaction.Commit();

  EXPECT_EQ(modal->PropertyEvaluation(), 12.5);
  ASSERT_EQ(modal->NumberOfRecoveryNodes(), 3);
  int recovered[3] = {};
  modal->RecoveryNodes(recovered);
  EXPECT_EQ(std::vector<int>(recovered, recovered + 3), std::vector<int>({4, 1, 3}));
}

// The adopted DOF definition is the one the modal system answers with and is
// deleted with it (the ASan build reports a leak or a double delete otherwise).
TEST(QVADynModalSystemTest, AdoptedDofDefinitionLivesAsLongAsTheModalSystem) {
  QVATestModalBasis basis;
  QVAFsmSystemDofDefinition* dofs = basis.CreateDofDefinition();
  QVADynLogFile log;
  {
    QVADynModalSystem modal(dofs, basis.ModalObject(), log);
    EXPECT_EQ(&modal.DofDefinition(), dofs);
    modal.Open();
    EXPECT_EQ(modal.DofDefinition().NumberOfSolverDofs(), basis.NumberOfSolverDofs());
  }
  // Two modal systems over one stored basis, each with its own definition.
  std::unique_ptr<QVADynModalSystem> first = basis.Open();
  std::unique_ptr<QVADynModalSystem> second = basis.Open();
  EXPECT_NE(&first->DofDefinition(), &second->DofDefinition());
  first.reset();
  EXPECT_EQ(second->DofDefinition().NumberOfNodes(), basis.Options().numberOfNodes);
}
