// The active-mode subset of a modal system: which matrices it views or copies, its mode arrays,
// access states, refused lists and the shared DOF definition. Values are never computed: exact.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"

namespace {

constexpr int kDirections = 6;

// The fixed text of the precondition, written out here on its own.
constexpr char kAssertionText[] =
    "***Fatal Error: Assertion Failed: numActiveModes > 0 && numActiveModes < numOrigModes && "
    "activeModes != NULL: QVADyn/QVADynCore/impl/QVADynModalSystem: 125";

// A modal system that shows the container and the access states of a subset.
class SubsetProbe : public QVADynModalSystem {
 public:
  using QVADynModalSystem::QVADynModalSystem;
  const QVASrvMatrixContainer* Container() const { return container_; }
  bool InBlockReadState() const { return readModes_; }
  bool HasNodeIndex() const { return nodeStart_ != nullptr; }
};

// Entry (mode, direction) of the stored participation factors.
double StoredFactor(int mode, int direction) { return 1000.0 * direction + mode + 0.25; }

// Opens the basis and stores participation factors for all its modes.
std::unique_ptr<QVADynModalSystem> OpenWithFactors(QVATestModalBasis& basis, QVADynLogFile& log) {
  std::unique_ptr<QVADynModalSystem> modal = basis.Open(log);
  const int modes = basis.NumberOfModes();
  double* factors = mem_AllocArray<double>(QVAIndex(modes) * kDirections);
  for (int direction = 0; direction < kDirections; ++direction) {
    for (int mode = 0; mode < modes; ++mode)
      factors[mode + modes * direction] = StoredFactor(mode, direction);
  }
  modal->SetParticipationFactors(factors, 0);
  return modal;
}

// 10 structural modes (8 and 9 residual) over 6 nodes of 3 places (18 rows),
// mode shapes in column blocks of 2, viscous and structural damping.
QVATestModalBasisOptions StructuralSource() {
  return {.numberOfModes = 10,
          .numberOfResidualModes = 2,
          .columnBlockSize = 2,
          .viscousDamping = true,
          .structuralDamping = true};
}

// Structural modes 0 ... 7 (6 and 7 residual) and acoustic modes 8, 9 over 6
// structural and 2 acoustic nodes, with every projected matrix.
QVATestModalBasisOptions CoupledSource() {
  return {.numberOfNodes = 8,
          .acousticNodes = 2,
          .numberOfModes = 10,
          .numberOfAcousticModes = 2,
          .numberOfResidualModes = 2,
          .columnBlockSize = 3,
          .viscousDamping = true,
          .structuralDamping = true,
          .acousticViscousDamping = true,
          .acousticCoupling = true};
}

std::vector<int> AllIndices(int count) { return QVATestRange(0, count); }

// Expects matrix(i, j) == reference(rows[i], columns[j]), the reference being
// column-major with referenceRows rows.
void ExpectSelected(const QVASrvDenseMatrix* matrix, const std::vector<double>& reference,
                    int referenceRows, const std::vector<int>& rows,
                    const std::vector<int>& columns) {
  ASSERT_NE(matrix, nullptr);
  ASSERT_EQ(matrix->NumberOfRows(), static_cast<int>(rows.size()));
  ASSERT_EQ(matrix->NumberOfColumns(), static_cast<int>(columns.size()));
  const std::vector<double> values = QVATestReadDenseMatrix(*matrix);
  for (std::size_t j = 0; j < columns.size(); ++j) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(values[i + j * rows.size()],
                reference[QVAIndex(rows[i]) + QVAIndex(columns[j]) * referenceRows])
          << "row " << i << ", column " << j;
    }
  }
}

// `matrix` is a view of `source` whose first entry is (firstRow, firstColumn).
void ExpectView(const QVASrvDenseMatrix* matrix, const QVASrvDenseMatrix* source, int firstRow,
                int firstColumn) {
  ASSERT_NE(matrix, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(matrix->DistributionID().IsValid());
  EXPECT_EQ(matrix->DistributionID(), source->DistributionID());
  EXPECT_EQ(matrix->Values(),
            source->Values() + firstRow + firstColumn * source->LeadingDimension());
}

// `matrix` is an in-core copy held by the subset's container.
void ExpectCopy(const SubsetProbe& subset, const QVASrvDenseMatrix* matrix) {
  ASSERT_NE(matrix, nullptr);
  ASSERT_NE(subset.Container(), nullptr);
  EXPECT_TRUE(subset.Container()->Holds(matrix));
  EXPECT_FALSE(matrix->DistributionID().IsValid());
}

std::vector<int> ColumnMembers(const QVASrvDenseMatrix& matrix) {
  std::vector<int> members;
  for (int column = 0; column < matrix.NumberOfColumns(); ++column) {
    members.push_back(matrix.ColumnMember(column));
  }
  return members;
}

// Eigenvalues and stored participation factors of `active`, in list order.
void ExpectModeArrays(const QVADynModalSystem& subset, const QVATestModalBasis& basis,
                      const std::vector<int>& active) {
  const int count = static_cast<int>(active.size());
  ASSERT_NE(subset.Eigenvalues(), nullptr);
  ASSERT_NE(subset.ParticipationFactors(0), nullptr);
  for (int mode = 0; mode < count; ++mode) {
    const int sourceMode = active[QVAIndex(mode)];
    EXPECT_EQ(subset.Eigenvalues()[mode], basis.Eigenvalues()[QVAIndex(sourceMode)]);
    for (int direction = 0; direction < kDirections; ++direction) {
      EXPECT_EQ(subset.ParticipationFactors(0)[mode + count * direction],
                StoredFactor(sourceMode, direction));
    }
  }
  for (int slot = 1; slot < 4; ++slot) EXPECT_EQ(subset.ParticipationFactors(slot), nullptr);
}

class QVADynModalSystemSubsetTest : public ::testing::Test {
 protected:
  void Build(const QVATestModalBasisOptions& options) {
    basis_ = std::make_unique<QVATestModalBasis>(options);
    source_ = OpenWithFactors(*basis_, log_.Log());
  }
  const QVATestModalBasis& Basis() const { return *basis_; }
  int Structural() const { return basis_->NumberOfStructuralModes(); }
  int Acoustic() const { return basis_->NumberOfAcousticModes(); }
  int Rows() const { return basis_->NumberOfRows(); }

  QVATestLogCapture log_;
  std::unique_ptr<QVATestModalBasis> basis_;
  std::unique_ptr<QVADynModalSystem> source_;
};

// Modes 2, 3, 4 of 10: one run, so every matrix is a view of the source.
TEST_F(QVADynModalSystemSubsetTest, LeadingRunIsViewedEverywhere) {
  Build(StructuralSource());
  const std::vector<int> active{2, 3, 4};
  SubsetProbe subset(*source_, 3, active.data());

  EXPECT_TRUE(subset.IsSubset());
  EXPECT_EQ(subset.NumberOfModes(), 3);
  EXPECT_EQ(subset.NumberOfAcousticModes(), 0);
  EXPECT_EQ(subset.NumberOfResidualModes(), 0);
  EXPECT_EQ(subset.Container(), nullptr);

  ExpectView(subset.ModeShapes(), source_->ModeShapes(), 0, 2);
  ExpectSelected(subset.ModeShapes(), Basis().ModeShapes(), Rows(), AllIndices(Rows()), active);
  EXPECT_EQ(ColumnMembers(*subset.ModeShapes()), active);
  ExpectView(subset.ViscousDamping(), source_->ViscousDamping(), 2, 2);
  ExpectSelected(subset.ViscousDamping(), Basis().ViscousDamping(), Structural(), active, active);
  ExpectView(subset.StructuralDamping(), source_->StructuralDamping(), 2, 2);
  ExpectSelected(subset.StructuralDamping(), Basis().StructuralDamping(), Structural(), active,
                 active);
  EXPECT_EQ(subset.AcousticViscousDamping(), nullptr);
  EXPECT_EQ(subset.AcousticCoupling(), nullptr);

  // The view keeps the source's column chunk of 2: blocks of 2 and 1 columns.
  EXPECT_EQ(std::vector<int>(subset.ModeColumnMap(), subset.ModeColumnMap() + 3),
            (std::vector<int>{0, 1, 128}));
  ExpectModeArrays(subset, Basis(), active);

  // A view writes the source's storage.
  subset.ModeShapes()->SetValues(1, 1, 0, 0, QVASrvMatrix(1, 1));
  std::vector<double> sourceValue(1);
  QVASrvMatrix read(1, 1, sourceValue.data());
  source_->ModeShapes()->GetValues(1, 1, 2, 2, read);
  EXPECT_EQ(sourceValue[0], 0.0);
}

// Modes 0, 2, 5: mode shapes and damping are copies held by the container,
// in chunks of 128 rows and 32 columns.
TEST_F(QVADynModalSystemSubsetTest, ScatteredModesAreCopied) {
  Build(StructuralSource());
  const std::vector<int> active{0, 2, 5};
  SubsetProbe subset(*source_, 3, active.data());

  ExpectCopy(subset, subset.ModeShapes());
  ExpectCopy(subset, subset.ViscousDamping());
  ExpectCopy(subset, subset.StructuralDamping());
  EXPECT_EQ(subset.Container()->Size(), 3);
  ExpectSelected(subset.ModeShapes(), Basis().ModeShapes(), Rows(), AllIndices(Rows()), active);
  ExpectSelected(subset.ViscousDamping(), Basis().ViscousDamping(), Structural(), active, active);
  ExpectSelected(subset.StructuralDamping(), Basis().StructuralDamping(), Structural(), active,
                 active);
  EXPECT_EQ(ColumnMembers(*subset.ModeShapes()), active);
  EXPECT_EQ(subset.ModeShapes()->NumberOfColumnBlocks(), 1);
  EXPECT_EQ(subset.ModeShapes()->MaxNumberOfRowsInBlock(), Rows());
  EXPECT_EQ(std::vector<int>(subset.ModeColumnMap(), subset.ModeColumnMap() + 3),
            (std::vector<int>{0, 1, 2}));
  ExpectModeArrays(subset, Basis(), active);
  EXPECT_EQ(subset.NumberOfResidualModes(), 0);

  // The copies own their values: a change of the source does not reach them.
  const double before = QVATestReadDenseMatrix(*subset.ModeShapes())[0];
  source_->ModeShapes()->SetValues(0, 0, 0, 0, QVASrvMatrix(1, 1));
  EXPECT_EQ(QVATestReadDenseMatrix(*subset.ModeShapes())[0], before);

  // A list out of ascending order is taken in its own order.
  const std::vector<int> reversed{5, 4};
  SubsetProbe descending(*source_, 2, reversed.data());
  ExpectCopy(descending, descending.ModeShapes());
  ExpectSelected(descending.ViscousDamping(), Basis().ViscousDamping(), Structural(), reversed,
                 reversed);
  ExpectModeArrays(descending, Basis(), reversed);
}

// Only active residual modes count.
TEST_F(QVADynModalSystemSubsetTest, ResidualCountHoldsTheActiveResidualModes) {
  Build(StructuralSource());
  const struct {
    std::vector<int> active;
    int residual;
  } cases[] = {{{0, 1, 2}, 0}, {{5, 9}, 1}, {{7, 8, 9}, 2}, {{8}, 1}};
  for (const auto& c : cases) {
    const QVADynModalSystem subset(*source_, static_cast<int>(c.active.size()), c.active.data());
    EXPECT_EQ(subset.NumberOfResidualModes(), c.residual) << "first active " << c.active[0];
  }
}

// Active 6, 7, 9: both lists are runs but 8 is missing between them, so the
// mode shapes are copied while the acoustic matrices are still views.
TEST_F(QVADynModalSystemSubsetTest, GapBetweenDomainsCopiesOnlyTheModeShapes) {
  Build(CoupledSource());
  const std::vector<int> active{6, 7, 9};
  SubsetProbe subset(*source_, 3, active.data());

  EXPECT_EQ(subset.NumberOfAcousticModes(), 1);
  ExpectCopy(subset, subset.ModeShapes());
  EXPECT_EQ(subset.Container()->Size(), 1);
  ExpectSelected(subset.ModeShapes(), Basis().ModeShapes(), Rows(), AllIndices(Rows()), active);
  EXPECT_EQ(ColumnMembers(*subset.ModeShapes()), active);
  const std::vector<int> structural{6, 7};
  const std::vector<int> acousticRow{1};
  ExpectView(subset.ViscousDamping(), source_->ViscousDamping(), 6, 6);
  ExpectView(subset.AcousticViscousDamping(), source_->AcousticViscousDamping(), 1, 1);
  ExpectSelected(subset.AcousticViscousDamping(), Basis().AcousticViscousDamping(), Acoustic(),
                 acousticRow, acousticRow);
  ExpectView(subset.AcousticCoupling(), source_->AcousticCoupling(), 1, 6);
  ExpectSelected(subset.AcousticCoupling(), Basis().AcousticCoupling(), Acoustic(), acousticRow,
                 structural);
  ExpectModeArrays(subset, Basis(), active);
}

// Scattered lists in both domains copy every matrix; the acoustic copies
// address the source's acoustic sets by mode number.
TEST_F(QVADynModalSystemSubsetTest, ScatteredListsInBothDomainsAreCopied) {
  Build(CoupledSource());
  const std::vector<int> active{1, 4, 9, 8};
  SubsetProbe subset(*source_, 4, active.data());

  const std::vector<int> structural{1, 4};
  const std::vector<int> acousticRows{1, 0};
  for (const QVASrvDenseMatrix* matrix :
       {subset.ModeShapes(), subset.ViscousDamping(), subset.StructuralDamping(),
        subset.AcousticViscousDamping(), subset.AcousticCoupling()}) {
    ExpectCopy(subset, matrix);
  }
  EXPECT_EQ(subset.Container()->Size(), 5);
  ExpectSelected(subset.ModeShapes(), Basis().ModeShapes(), Rows(), AllIndices(Rows()), active);
  ExpectSelected(subset.StructuralDamping(), Basis().StructuralDamping(), Structural(), structural,
                 structural);
  ExpectSelected(subset.AcousticViscousDamping(), Basis().AcousticViscousDamping(), Acoustic(),
                 acousticRows, acousticRows);
  ExpectSelected(subset.AcousticCoupling(), Basis().AcousticCoupling(), Acoustic(), acousticRows,
                 structural);
}

// Only acoustic modes: no structural matrix and no coupling.
TEST_F(QVADynModalSystemSubsetTest, AcousticModesAloneHaveNoStructuralMatrices) {
  Build(CoupledSource());
  const std::vector<int> active{8, 9};
  SubsetProbe subset(*source_, 2, active.data());
  ExpectView(subset.ModeShapes(), source_->ModeShapes(), 0, 8);
  EXPECT_EQ(subset.ViscousDamping(), nullptr);
  EXPECT_EQ(subset.StructuralDamping(), nullptr);
  EXPECT_EQ(subset.AcousticCoupling(), nullptr);
  ExpectView(subset.AcousticViscousDamping(), source_->AcousticViscousDamping(), 0, 0);
  EXPECT_EQ(subset.NumberOfAcousticModes(), 2);
  EXPECT_EQ(subset.NumberOfResidualModes(), 0);
}

// A subset of a subset selects by the members of its source's columns.
TEST_F(QVADynModalSystemSubsetTest, SubsetOfASubsetSelectsTheOriginalModes) {
  Build(StructuralSource());
  const std::vector<int> outer{3, 4, 5, 6, 7, 8};
  const QVADynModalSystem first(*source_, 6, outer.data());
  const std::vector<int> inner{0, 2, 5};
  SubsetProbe second(first, 3, inner.data());
  const std::vector<int> original{3, 5, 8};
  ExpectCopy(second, second.ModeShapes());
  ExpectSelected(second.ModeShapes(), Basis().ModeShapes(), Rows(), AllIndices(Rows()), original);
  ExpectSelected(second.ViscousDamping(), Basis().ViscousDamping(), Structural(), original,
                 original);
  ExpectModeArrays(second, Basis(), original);
  EXPECT_EQ(second.NumberOfResidualModes(), 1);
}

// The source's block-read and node-access states are taken over; the subset's node index covers
// every node.
TEST_F(QVADynModalSystemSubsetTest, AccessStatesAreTakenOverFromTheSource) {
  Build(StructuralSource());
  const std::vector<int> active{1, 2, 3};
  const int places = Basis().Options().maxNodalDof;
  {
    SubsetProbe idle(*source_, 3, active.data());
    EXPECT_FALSE(idle.InBlockReadState());
    EXPECT_FALSE(idle.HasNodeIndex());
  }

  source_->BeginReadModes();
  {
    SubsetProbe reading(*source_, 3, active.data());
    EXPECT_TRUE(reading.InBlockReadState());
    EXPECT_FALSE(reading.HasNodeIndex());
    // Modes 0 and 1 of the subset lie in its first column block (chunk 2).
    std::vector<double> out(QVAIndex(2 * places), -1.0);
    reading.GetModesNodal(0, 1, 4, out.data());
    for (int mode = 0; mode < 2; ++mode) {
      for (int place = 0; place < places; ++place) {
        EXPECT_EQ(out[QVAIndex(mode * places + place)],
                  Basis().NodalModeShape(active[QVAIndex(mode)], 4, place));
      }
    }
    EXPECT_EQ(reading.NumberOfBlockLoads(), 1);
  }
  source_->EndReadModes();

  std::vector<int> onlyNode3(QVAIndex(Basis().Options().numberOfNodes), 0);
  onlyNode3[3] = 1;
  source_->BeginNodalModeAccess(onlyNode3.data());
  {
    SubsetProbe accessing(*source_, 3, active.data());
    EXPECT_FALSE(accessing.InBlockReadState());
    EXPECT_TRUE(accessing.HasNodeIndex());
    std::vector<double> out(QVAIndex(3 * places), 0.0);
    accessing.GetModesNodal(0, 2, 1, out.data());
    for (int mode = 0; mode < 3; ++mode) {
      for (int place = 0; place < places; ++place) {
        EXPECT_EQ(out[QVAIndex(mode * places + place)],
                  Basis().NodalModeShape(active[QVAIndex(mode)], 1, place));
      }
    }
  }
  source_->EndNodalModeAccess();
}

// The precondition throws its fixed text as char* before anything is built,
// and the failed subset gives its share of the DOF definition back.
TEST_F(QVADynModalSystemSubsetTest, PreconditionThrowsTheFixedText) {
  Build(StructuralSource());
  const std::vector<int> all = AllIndices(11);
  const struct {
    int count;
    const int* list;
  } cases[] = {{10, all.data()}, {0, all.data()}, {3, nullptr}};
  for (const auto& c : cases) {
    try {
      const QVADynModalSystem subset(*source_, c.count, c.list);
      ADD_FAILURE() << "no throw for " << c.count << " modes";
    } catch (char* text) {
      EXPECT_STREQ(text, kAssertionText);
    }
  }
  try {
    const QVADynModalSystem subset(*source_, 0, nullptr);
    ADD_FAILURE() << "no throw for 0 modes and no list";
  } catch (const void* text) {
    EXPECT_EQ(std::strcmp(static_cast<const char*>(text), kAssertionText), 0);
  }
  // The source's definition is intact (a double release would have freed it).
  EXPECT_EQ(source_->DofDefinition().NumberOfNodes(), Basis().Options().numberOfNodes);
}

// Lists the split into structural and acoustic modes would misread, modes
// outside the source and repeated modes are refused with the position.
TEST_F(QVADynModalSystemSubsetTest, MisorderedForeignAndRepeatedModesAreRefused) {
  Build(CoupledSource());
  const struct {
    std::vector<int> active;
    int number;
    const char* text;
  } cases[] = {
      {{8, 3},
       kQVABasInvalidArgument,
       "structural mode 3 at position 1 follows acoustic mode 8 at position 0"},
      {{3, 10}, kQVASrvIndexOutOfRange, "active mode 10 at position 1 is not a mode"},
      {{2, 4, 2}, kQVABasInvalidArgument, "active mode 2 at position 2 repeats position 0"},
  };
  for (const auto& c : cases) {
    ExpectPlatformError(
        [&] { QVADynModalSystem(*source_, static_cast<int>(c.active.size()), c.active.data()); },
        c.number, {c.text});
  }
}

// The shared DOF definition is deleted by its last holder; a nested subset (copies only) may
// outlive the systems it was made from.
TEST_F(QVADynModalSystemSubsetTest, DofDefinitionIsSharedAndOutlivesTheSubset) {
  Build(StructuralSource());
  const std::vector<int> active{0, 2, 5};
  auto subset = std::make_unique<QVADynModalSystem>(*source_, 3, active.data());
  EXPECT_EQ(&subset->DofDefinition(), &source_->DofDefinition());
  const auto nested = std::make_unique<QVADynModalSystem>(*subset, 2, active.data());
  EXPECT_EQ(&nested->DofDefinition(), &source_->DofDefinition());
  subset.reset();
  EXPECT_EQ(source_->DofDefinition().NumberOfSolverDofs(), Rows());
  source_.reset();
  EXPECT_EQ(nested->DofDefinition().NumberOfSolverDofs(), Rows());
}

}  // namespace
