// Refusals of the modal system and of the force projection: each names the
// argument and leaves the modal system and the database as they were.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A 4-mode basis (its eigenvalues near 1e2 ... 1e3) and a second, empty modal
// object of the same model with a writer over it.
class QVADynModalRefusalTest : public ::testing::Test {
 protected:
  QVADynModalRefusalTest() : basis_(Options()) {
    const QVAFsmSystemDofDefinition& dofs = basis_.Dofs();
    empty_ = basis_.Database().CreateModalSystem(dofs.NumberOfDofs(), dofs.NumberOfNodes());
    writer_ =
        std::make_unique<QVADynModalSystem>(basis_.CreateDofDefinition(), empty_, basis_.Log());
  }
  static QVATestModalBasisOptions Options() { return {.numberOfNodes = 3, .numberOfModes = 4}; }

  // Nothing of a basis stored in the empty object, nothing held by the writer.
  void ExpectNothingWritten() const {
    EXPECT_FALSE(empty_.Modes().IsValid());
    EXPECT_FALSE(empty_.Eigenvalues().IsValid());
    EXPECT_FALSE(empty_.ModeShapes().IsValid());
    EXPECT_EQ(writer_->NumberOfModes(), 0);
    EXPECT_EQ(writer_->NumberOfAcousticModes(), 0);
    EXPECT_EQ(writer_->NumberOfResidualModes(), 0);
    EXPECT_EQ(writer_->Eigenvalues(), nullptr);
  }

  QVATestModalBasis basis_;
  QVAFsmModalSystem empty_;
  std::unique_ptr<QVADynModalSystem> writer_;
};

TEST_F(QVADynModalRefusalTest, SetEigenvaluesValidatesEveryArgumentBeforeStoring) {
  const double good[] = {100.0, 200.0, 400.0, 800.0};
  const double nan[] = {100.0, kNaN, 400.0, 800.0};
  const double inf[] = {100.0, 200.0, 400.0, kInf};
  // -1e4 is no round-off of a stiffness whose largest eigenvalue is 800.
  const double negative[] = {-1e4, 200.0, 400.0, 800.0};
  QVADynModalSystem& writer = *writer_;
  const auto set = [&writer](const double* values, int modes, int acoustic, int residual) {
    return [&writer, values, modes, acoustic, residual] {
      writer.SetEigenvalues(values, modes, acoustic, residual);
    };
  };
  const std::vector<Refusal> table{
      {"null eigenvalues", set(nullptr, 4, 0, 0), kQVABasInvalidArgument,
       "SetEigenvalues: the eigenvalue array is null for 4 modes", "pass numModes eigenvalues"},
      {"no modes", set(good, 0, 0, 0), kQVABasInvalidArgument, "numModes is 0", "at least 1"},
      {"negative mode count", set(good, -1, 0, 0), kQVABasInvalidArgument, "numModes is -1"},
      {"more acoustic modes than modes", set(good, 4, 5, 0), kQVABasInvalidArgument,
       "numAcousticModes is 5 with 4 modes", "pass 0 ... numModes acoustic modes"},
      {"negative acoustic modes", set(good, 4, -1, 0), kQVABasInvalidArgument,
       "numAcousticModes is -1"},
      {"more residual than structural modes", set(good, 4, 1, 4), kQVABasInvalidArgument,
       "numResidualModes is 4 with 3 structural modes", "0 ... numModes - numAcousticModes"},
      {"NaN eigenvalue", set(nan, 4, 0, 0), kQVABasInvalidArgument,
       "the eigenvalue of mode 1 is nan", "must be a finite number"},
      {"infinite eigenvalue", set(inf, 4, 0, 0), kQVABasInvalidArgument,
       "the eigenvalue of mode 3 is inf"},
      {"negative eigenvalue", set(negative, 4, 0, 0), kQVABasInvalidArgument,
       "the eigenvalue of mode 0 is -10000, below -0.00014", "positive semi-definite"},
  };
  ExpectRefusals(table);
  ExpectNothingWritten();
}

// A round-off negative, above -eps * max(1, |lambda|max) with eps = 1.49e-8
// (-1.2e-5 for 800), is stored as given; the solvers take it as zero.
TEST_F(QVADynModalRefusalTest, RoundOffNegativeEigenvaluesAreKept) {
  const double values[] = {-1e-5, 200.0, 400.0, 800.0};
  writer_->SetEigenvalues(values, 4, 0, 0);
  EXPECT_EQ(writer_->NumberOfModes(), 4);
  EXPECT_EQ(writer_->Eigenvalues()[0], -1e-5);
}

TEST_F(QVADynModalRefusalTest, ModeShapesOpenAndProjection) {
  QVADynModalSystem& writer = *writer_;
  const int solverDofs = basis_.NumberOfSolverDofs();
  std::unique_ptr<QVADynModalSystem> opened = basis_.Open();
  QVASrvSparseMatrix load(basis_.Dofs().NumberOfDofs(), 1);
  const int outOfRange[] = {0, 99};
  const int negative[] = {-1};
  const auto openEmpty = [this] {
    QVADynModalSystem reader(basis_.CreateDofDefinition(), empty_, basis_.Log());
    reader.Open();
  };
  const std::vector<Refusal> emptyObject{
      {"mode shapes before the eigenvalues",
       [&writer, solverDofs] { writer.CreateModeShapes(solverDofs, false); }, kQVASrvInvalidState,
       "CreateModeShapes: the modal system has no modes", "call SetEigenvalues before"},
      {"open with nothing stored", openEmpty, kQVASrvInvalidState,
       "Open: the modal-database object holds no eigenvalues", "write the basis first"},
  };
  ExpectRefusals(emptyObject);
  ExpectNothingWritten();

  const double eigenvalues[] = {100.0, 200.0, 400.0, 800.0};
  writer.SetEigenvalues(eigenvalues, 4, 0, 0);
  const std::vector<Refusal> table{
      {"negative number of rows", [&writer] { writer.CreateModeShapes(-1, false); },
       kQVABasInvalidArgument, "CreateModeShapes: numRows is -1", "the number of solver DOFs"},
      {"more rows than solver DOFs",
       [&writer, solverDofs] { writer.CreateModeShapes(solverDofs + 1, false); },
       kQVABasInvalidArgument, "numRows is 10; pass 0 ... 9"},
      {"open without mode shapes", openEmpty, kQVASrvInvalidState,
       "Open: the modal-database object holds no mode shapes"},
      {"projection onto mode 99 of 4",
       [&] {
         delete QVADynUtilities::ProjectForce(2, outOfRange, basis_.Dofs(), *opened->ModeShapes(),
                                              &load);
       },
       kQVABasInvalidArgument,
       "ProjectForce: entry 1 of the mode list is mode 99, outside the 4 modes", "0 ... 3"},
      {"projection onto mode -1",
       [&] {
         delete QVADynUtilities::ProjectForce(1, negative, basis_.Dofs(), *opened->ModeShapes(),
                                              &load);
       },
       kQVABasInvalidArgument, "entry 0 of the mode list is mode -1"},
  };
  ExpectRefusals(table);
  EXPECT_FALSE(empty_.ModeShapes().IsValid());
  EXPECT_EQ(writer.ModeShapes(), nullptr);
}

TEST_F(QVADynModalRefusalTest, OpenRefusesStoredEigenvaluesThatAreNotFinite) {
  QVASimDatabase& database = basis_.Database();
  const QVASimDistributionID stored = basis_.ModalObject().Eigenvalues();
  std::vector<double> values(QVAIndex(database.NumberOfValues(stored)));
  database.ReadDistribution(stored, values.data());
  values[2] = kInf;
  database.WriteDistribution(stored, values.data());
  ExpectPlatformError([this] { basis_.Open(); }, kQVABasInvalidArgument,
                      {"QVADynModalSystem::Open: the stored eigenvalue of mode 2 is inf"});
}

}  // namespace
