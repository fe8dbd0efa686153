// The complex modal system and its entries in the model database: opening over
// a stored real basis, the projected stiffness and damping, the two-column
// complex eigenvalues with the mode sets, the real- and imaginary-part mode
// shapes (physical and projected), scratch creation, and the release of every
// replaced matrix and array (the suite also runs under AddressSanitizer).

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"
#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADynComplexRealPart.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/support/QVATestEnvironment.h"
#include "tests/support/QVATestModalBasis.h"

namespace {

// A stored real basis of 6 structural modes over 4 nodes with 3 places, and a
// complex modal system over the same modal-database object with a subspace of
// all 6 modes.
struct ComplexSystemOverBasis {
  explicit ComplexSystemOverBasis(QVATestModalBasisOptions options = Defaults())
      : basis(options),
        system(std::make_unique<QVADynComplexModalSystem>(
            basis.CreateDofDefinition(), basis.ModalObject(), basis.Log(), options.numberOfModes)) {
  }

  static QVATestModalBasisOptions Defaults() { return {.numberOfNodes = 4, .numberOfModes = 6}; }

  QVAFsmModalSystem& Stored() { return basis.ModalObject(); }
  // Eigenvalues -(k + 1) + i (k + 1), k = 0 ... count - 1.
  void SetEigenvalues(int count) {
    std::vector<double> real(QVAIndex(count));
    std::iota(real.begin(), real.end(), 1.0);
    const std::vector<double> imaginary = real;
    for (double& value : real) value = -value;
    system->SetEigenvalues(real.data(), imaginary.data(), count);
  }

  QVATestModalBasis basis;
  std::unique_ptr<QVADynComplexModalSystem> system;
};

}  // namespace

// Open over a real basis without a stored stiffness: the real parts are the
// stored mode shapes and eigenvalues, the projected stiffness stays null until
// CreateStiffness supplies it; a second system opened afterwards finds it.
TEST(QVADynComplexModalSystemTest, OpenWithoutStiffnessThenCreateStiffness) {
  ComplexSystemOverBasis fixture;
  QVADynComplexModalSystem& system = *fixture.system;
  EXPECT_EQ(system.SizeOfSubspace(), 6);
  EXPECT_EQ(system.ProjectedStiffness(), nullptr);
  system.Open();
  EXPECT_EQ(system.NumberOfModes(), 6);
  ASSERT_NE(system.RealModeShapes(), nullptr);
  EXPECT_EQ(system.RealModeShapes(), system.ModeShapes());
  EXPECT_EQ(QVATestReadDenseMatrix(*system.RealModeShapes()), fixture.basis.ModeShapes());
  EXPECT_EQ(std::vector<double>(system.RealEigenvalues(), system.RealEigenvalues() + 6),
            fixture.basis.Eigenvalues());
  EXPECT_EQ(system.ImaginaryEigenvalues(), nullptr);
  EXPECT_TRUE(system.ProjectedStiffness() == nullptr && system.ViscousDamping() == nullptr &&
              system.StructuralDamping() == nullptr);

  QVASrvDenseMatrix& stiffness = system.CreateStiffness(false);
  EXPECT_EQ(system.ProjectedStiffness(), &stiffness);
  EXPECT_EQ(fixture.Stored().Stiffness(), stiffness.DistributionID());
  EXPECT_EQ(QVASimDistribution(stiffness.DistributionID()).DataKind(),
            QVATypeIndex(QVADataKinds::kProjectedMatrix));
  EXPECT_EQ(QVATestSetMembers(stiffness.RowSet()), QVATestRange(0, 6));
  EXPECT_EQ(QVATestSetMembers(stiffness.ColumnSet()), QVATestRange(0, 6));
  std::vector<double> values(36, 0.0);
  for (int i = 0; i < 6; ++i) {
    values[QVAIndex(i * 7)] = fixture.basis.Eigenvalues()[i];
  }
  QVATestFillDenseMatrix(stiffness, values);

  QVADynComplexModalSystem reopened(fixture.basis.CreateDofDefinition(), fixture.Stored(),
                                    fixture.basis.Log(), 6);
  reopened.Open();
  ASSERT_NE(reopened.ProjectedStiffness(), nullptr);
  EXPECT_EQ(QVATestReadDenseMatrix(*reopened.ProjectedStiffness()), values);
}

// Damping stored with the basis is opened as the projected damping.
TEST(QVADynComplexModalSystemTest, OpenTakesStoredDamping) {
  QVATestModalBasisOptions options = ComplexSystemOverBasis::Defaults();
  options.viscousDamping = true;
  options.structuralDamping = true;
  ComplexSystemOverBasis fixture(options);
  fixture.system->Open();
  ASSERT_TRUE(fixture.system->ViscousDamping() != nullptr &&
              fixture.system->StructuralDamping() != nullptr);
  EXPECT_EQ(QVATestReadDenseMatrix(*fixture.system->ViscousDamping()),
            fixture.basis.ViscousDamping());
  EXPECT_EQ(QVATestReadDenseMatrix(*fixture.system->StructuralDamping()),
            fixture.basis.StructuralDamping());
}

// Viscous and structural damping fill their own roles and entries only; any
// other kind raises 223 and changes nothing; a second viscous damping
// replaces (and releases) the first.
TEST(QVADynComplexModalSystemTest, ProjectedDampingKinds) {
  ComplexSystemOverBasis fixture;
  QVADynComplexModalSystem& system = *fixture.system;
  const QVAFsmModalSystem& stored = fixture.Stored();
  QVASrvDenseMatrix& viscous = system.CreateProjectedDamping(QVADynViscousDamping, false);
  EXPECT_EQ(system.StructuralDamping(), nullptr);
  EXPECT_FALSE(stored.StructuralDamping().IsValid());
  QVASrvDenseMatrix& structural = system.CreateProjectedDamping(QVADynStructuralDamping, false);
  for (QVADynDampingType kind : {QVADynAcousticViscousDamping, QVADynAcousticStructuralDamping}) {
    try {
      system.CreateProjectedDamping(kind, false);
      ADD_FAILURE() << "kind " << kind << " was accepted";
    } catch (const QVADynUnsupportedDamping& error) {
      EXPECT_EQ(error.ErrorNumber(), 223);
    }
  }
  EXPECT_EQ(system.ViscousDamping(), &viscous);
  EXPECT_EQ(system.StructuralDamping(), &structural);
  EXPECT_EQ(stored.ViscousDamping(), viscous.DistributionID());
  EXPECT_EQ(stored.StructuralDamping(), structural.DistributionID());
  EXPECT_EQ(std::pair(viscous.NumberOfRows(), viscous.NumberOfColumns()), std::pair(6, 6));
  EXPECT_FALSE(stored.AcousticViscousDamping().IsValid());

  QVASrvDenseMatrix& replacement = system.CreateProjectedDamping(QVADynViscousDamping, false);
  EXPECT_EQ(system.ViscousDamping(), &replacement);
  EXPECT_EQ(stored.ViscousDamping(), replacement.DistributionID());
}

// The eigenvalue distribution is [modes] x [complex part {4, 0}], real parts
// in the column of symbol 4 and imaginary parts in that of symbol 0; the mode
// and structural-mode sets follow the count.
TEST(QVADynComplexModalSystemTest, SetEigenvaluesStoresRealAndImaginaryColumns) {
  ComplexSystemOverBasis fixture;
  QVADynComplexModalSystem& system = *fixture.system;
  const double real[] = {-0.5, -0.25, 0.0};
  const double imaginary[] = {10.0, 20.0, 30.5};
  system.SetEigenvalues(real, imaginary, 3);
  EXPECT_EQ(system.NumberOfModes(), 3);
  EXPECT_EQ(std::vector<double>(system.RealEigenvalues(), system.RealEigenvalues() + 3),
            std::vector<double>(real, real + 3));
  EXPECT_EQ(std::vector<double>(system.ImaginaryEigenvalues(), system.ImaginaryEigenvalues() + 3),
            std::vector<double>(imaginary, imaginary + 3));

  const QVAFsmModalSystem& stored = fixture.Stored();
  EXPECT_EQ(QVATestSetMembers(stored.Modes()), QVATestRange(0, 3));
  EXPECT_EQ(QVATestSetMembers(stored.StructuralModes()), QVATestRange(0, 3));
  const QVASimDistribution eigenvalues(stored.Eigenvalues());
  EXPECT_EQ(eigenvalues.DataKind(), QVATypeIndex(QVADataKinds::kEigenvalues));
  ASSERT_EQ(eigenvalues.NumberOfDimensions(), 2);
  EXPECT_EQ(QVATestSetMembers(eigenvalues.Set(1)), (std::vector<int>{4, 0}));
  EXPECT_EQ(QVASimCSet(eigenvalues.Set(1)).Collection(), stored.ComplexNumberPart());
  std::vector<double> values(6);
  fixture.basis.Database().ReadDistribution(stored.Eigenvalues(), values.data());
  EXPECT_EQ(values, (std::vector<double>{-0.5, -0.25, 0.0, 10.0, 20.0, 30.5}));

  // Count 0: an empty distribution and empty sets.
  system.SetEigenvalues(real, imaginary, 0);
  EXPECT_EQ(system.NumberOfModes(), 0);
  EXPECT_NE(system.ImaginaryEigenvalues(), nullptr);
  EXPECT_TRUE(QVATestSetMembers(fixture.Stored().Modes()).empty());
  EXPECT_TRUE(QVATestSetMembers(fixture.Stored().StructuralModes()).empty());
  EXPECT_EQ(fixture.basis.Database().NumberOfValues(fixture.Stored().Eigenvalues()), 0);
}

// With acoustic modes in the opened basis the structural modes are the first
// count minus that many; fewer modes than acoustic ones leave none.
TEST(QVADynComplexModalSystemTest, SetEigenvaluesLeavesOutTheAcousticModes) {
  QVATestModalBasisOptions options = ComplexSystemOverBasis::Defaults();
  options.numberOfNodes = 6;
  options.acousticNodes = 2;
  options.numberOfAcousticModes = 2;
  ComplexSystemOverBasis fixture(options);
  QVADynComplexModalSystem& system = *fixture.system;
  system.Open();
  ASSERT_EQ(system.NumberOfAcousticModes(), 2);
  fixture.SetEigenvalues(5);
  EXPECT_EQ(QVATestSetMembers(fixture.Stored().Modes()), QVATestRange(0, 5));
  EXPECT_EQ(QVATestSetMembers(fixture.Stored().StructuralModes()), QVATestRange(0, 3));
  fixture.SetEigenvalues(1);
  EXPECT_TRUE(QVATestSetMembers(fixture.Stored().StructuralModes()).empty());
}

// Physical mode shapes: two distributions of equal layout over the solver DOFs
// and the modes, attached as the real and imaginary parts, chunked by the
// settings; the mode-column map follows the new real-part matrix.
TEST(QVADynComplexModalSystemTest, CreateModeShapesMakesBothParts) {
  ComplexSystemOverBasis fixture;
  QVADynComplexModalSystem& system = *fixture.system;
  fixture.SetEigenvalues(4);
  const QVATestScopedEnvironment rows("TOR_DYN_MODESHAPE_ROW_BLOCKSIZE", "5");
  const QVATestScopedEnvironment columns("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", "3");
  system.CreateModeShapes(10, false);

  QVASrvDenseMatrix* realPart = system.RealModeShapes();
  QVASrvDenseMatrix* imaginaryPart = system.ImaginaryModeShapes();
  ASSERT_NE(realPart, nullptr);
  ASSERT_NE(imaginaryPart, nullptr);
  EXPECT_EQ(fixture.Stored().ModeShapes(), realPart->DistributionID());
  EXPECT_EQ(fixture.Stored().RealModeShapes(), realPart->DistributionID());
  EXPECT_EQ(fixture.Stored().ImaginaryModeShapes(), imaginaryPart->DistributionID());
  for (const QVASrvDenseMatrix* part : {realPart, imaginaryPart}) {
    EXPECT_EQ(part->NumberOfRows(), 10);
    EXPECT_EQ(part->NumberOfColumns(), 4);
    EXPECT_EQ(part->MaxNumberOfRowsInBlock(), 5);
    EXPECT_EQ(part->MaxNumberOfColumnsInBlock(), 3);
    EXPECT_EQ(QVASimDistribution(part->DistributionID()).DataKind(),
              QVATypeIndex(QVADataKinds::kModeShapes));
    EXPECT_EQ(QVATestSetMembers(part->ColumnSet()), QVATestRange(0, 4));
    for (int row = 0; row < 10; ++row) {
      EXPECT_EQ(part->RowMember(row), fixture.basis.Dofs().SystemDofFromSolverDof(row));
    }
  }
  EXPECT_NE(realPart->DistributionID(), imaginaryPart->DistributionID());
  EXPECT_EQ(std::vector<int>(system.ModeColumnMap(), system.ModeColumnMap() + 4),
            (std::vector<int>{0, 1, 2, 128}));
}

// Scratch creation makes the matrices and leaves every entry as it was.
TEST(QVADynComplexModalSystemTest, ScratchCreationAttachesNothing) {
  ComplexSystemOverBasis fixture;
  QVADynComplexModalSystem& system = *fixture.system;
  const QVAFsmModalSystem& stored = fixture.Stored();
  const QVASimDistributionID modeShapes = stored.ModeShapes();
  fixture.SetEigenvalues(1);

  EXPECT_EQ(system.CreateStiffness(true).NumberOfRows(), 6);
  system.CreateProjectedDamping(QVADynViscousDamping, true);
  system.CreateProjectedDamping(QVADynStructuralDamping, true);
  system.CreateRealProjectedModeShapes(true);
  system.CreateImaginaryProjectedModeShapes(true);
  system.CreateModeShapes(4, true);

  for (const QVASimDistributionID entry :
       {stored.Stiffness(), stored.ViscousDamping(), stored.StructuralDamping(),
        stored.ProjectedModeShapes(), stored.ImaginaryModeShapes()}) {
    EXPECT_FALSE(entry.IsValid());
  }
  EXPECT_EQ(stored.ModeShapes(), modeShapes);
  EXPECT_TRUE(QVASimDistribution(system.ProjectedStiffness()->DistributionID()).IsScratch());
  EXPECT_TRUE(QVASimDistribution(system.ImaginaryModeShapes()->DistributionID()).IsScratch());
  EXPECT_EQ(system.RealModeShapes()->NumberOfRows(), 4);
}

// The real part of a mode-shape distribution that carries a complex-number-part
// dimension is its slice of symbol 4; one without that dimension is taken whole.
TEST(QVADynComplexModalSystemTest, RealPartOfModeShapeDistributions) {
  ComplexSystemOverBasis fixture;
  QVAFsmModalSystem& stored = fixture.Stored();
  const std::unique_ptr<QVASrvDenseMatrix> whole = QVADynWrapRealPart(stored, stored.ModeShapes());
  EXPECT_EQ(QVATestReadDenseMatrix(*whole), fixture.basis.ModeShapes());

  const int parts[] = {0, 4};
  QVASimTransaction transaction(stored.MyPosition().Context());
  const QVASimCSetID partSet = QVASimCollection(stored.ComplexNumberPart()).CreateOCSet(parts, 2);
  const QVASimCSetID sets[] = {whole->RowSet(), stored.Modes(), partSet};
  const int chunks[] = {-1, -1, -1};
  const QVASimDistributionID threeD = QVASrvUtilities::CreateDistribution(
      stored.MyPosition(), QVATypeIndex(QVADataKinds::kModeShapes), 3, sets, chunks, true);
  transaction.Commit();
  // Imaginary part (symbol 0) first: every value -1; real part: 0, 1, 2, ...
  const std::size_t slice = fixture.basis.ModeShapes().size();
  std::vector<double> values(2 * slice, -1.0);
  std::iota(values.begin() + static_cast<std::ptrdiff_t>(slice), values.end(), 0.0);
  fixture.basis.Database().WriteDistribution(threeD, values.data());

  const std::unique_ptr<QVASrvDenseMatrix> realPart = QVADynWrapRealPart(stored, threeD);
  EXPECT_EQ(realPart->NumberOfRows(), fixture.basis.NumberOfRows());
  EXPECT_EQ(realPart->NumberOfColumns(), 6);
  EXPECT_EQ(QVATestReadDenseMatrix(*realPart),
            std::vector<double>(values.begin() + static_cast<std::ptrdiff_t>(slice), values.end()));
}
