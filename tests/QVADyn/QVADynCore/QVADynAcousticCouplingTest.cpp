// The structural-acoustic coupling: projection against Phi_a^T C Phi_s by plain loops, the size
// checks that keep it inside the mode shapes, and its export as a sparse distribution.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynAcousticCoupling.h"
#include "internal/QVADataKinds.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "tests/QVADyn/QVADynCore/QVADynTestFilledMatrix.h"
#include "tests/eigensolver_io/QVADynScratchTestFiles.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Mode shapes of `rows` DOF rows and `modes` columns, entries uniform in
// [-1, 1), in blocks of 4 rows and 3 columns so that the sub-matrices cut
// across blocks.
class ModeShapes {
 public:
  ModeShapes(int rows, int modes, QVATestRandom& random) : matrix_(rows, modes, 4, 3) {
    QVASrvMatrix values(rows, modes);
    for (int mode = 0; mode < modes; ++mode) {
      for (int row = 0; row < rows; ++row) values(row, mode) = random.Uniform(-1.0, 1.0);
    }
    matrix_.SetValues(0, rows - 1, 0, modes - 1, values);
  }
  const QVASrvDenseMatrix& Matrix() const { return matrix_; }
  double operator()(int row, int mode) const {
    return matrix_.Values()[row + mode * matrix_.LeadingDimension()];
  }

 private:
  QVASrvScratchDenseMatrix matrix_;
};

// A sparse rows x columns coupling with about half its entries set, uniform in
// [-1, 1).
QVASrvSparseMatrix RandomCoupling(int rows, int columns, QVATestRandom& random) {
  std::vector<int> rowList;
  std::vector<int> columnList;
  std::vector<double> values;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      if (random.Uniform(0.0, 1.0) < 0.5) continue;
      rowList.push_back(row);
      columnList.push_back(column);
      values.push_back(random.Uniform(-1.0, 1.0));
    }
  }
  QVASrvSparseMatrix coupling(rows, columns);
  coupling.SetFromTriplets(static_cast<int>(values.size()), rowList.data(), columnList.data(),
                           values.data());
  return coupling;
}

// A projected coupling of p x q entries, every one untouched.
QVADynTestFilledMatrix Projected(int acousticModes, int structuralModes) {
  return QVADynTestFilledMatrix(acousticModes, structuralModes, 128, 32);
}

// The layout of the projection tests: 2 uncoupled structural rows, c coupled
// structural rows, r acoustic rows, 3 rows after them; 7 modes of which the
// first q = 4 structural.
constexpr int kAcousticDofs = 6;
constexpr int kStructuralDofs = 9;
constexpr int kModeRows = 2 + kStructuralDofs + kAcousticDofs + 3;
constexpr int kFirstAcousticRow = 2 + kStructuralDofs;
constexpr int kModes = 7;
constexpr int kStructuralModes = 4;
constexpr int kAcousticModes = kModes - kStructuralModes;

TEST(QVADynProjectAcousticCoupling, EqualsTheProductOfPlainLoops) {
  QVATestRandom random(17);
  const ModeShapes modes(kModeRows, kModes, random);
  const QVASrvSparseMatrix coupling = RandomCoupling(kAcousticDofs, kStructuralDofs, random);
  QVADynTestFilledMatrix projected = Projected(kAcousticModes, kStructuralModes);

  QVADynProjectAcousticCoupling(coupling, projected.Matrix(), modes.Matrix(), kFirstAcousticRow);

  for (int structural = 0; structural < kStructuralModes; ++structural) {
    for (int acoustic = 0; acoustic < kAcousticModes; ++acoustic) {
      double reference = 0.0;
      double magnitude = 0.0;
      for (int row = 0; row < kAcousticDofs; ++row) {
        for (int column = 0; column < kStructuralDofs; ++column) {
          const double term = modes(kFirstAcousticRow + row, kStructuralModes + acoustic) *
                              coupling.Value(row, column) *
                              modes(kFirstAcousticRow - kStructuralDofs + column, structural);
          reference += term;
          magnitude += std::fabs(term);
        }
      }
      // The same r * c products summed in other orders: twice (r + c + 2) eps of the magnitudes.
      const double tolerance = 2.0 * (kAcousticDofs + kStructuralDofs + 2) * kQVAEps * magnitude;
      EXPECT_NEAR(projected(acoustic, structural), reference, tolerance)
          << "acoustic mode " << acoustic << ", structural mode " << structural;
    }
  }
}

TEST(QVADynProjectAcousticCoupling, ACouplingWithoutRowsOrColumnsProjectsToZero) {
  QVATestRandom random(5);
  const ModeShapes modes(kModeRows, kModes, random);
  for (const auto& [rows, columns] : {std::pair{0, kStructuralDofs}, std::pair{kAcousticDofs, 0}}) {
    QVADynTestFilledMatrix projected = Projected(kAcousticModes, kStructuralModes);
    QVADynProjectAcousticCoupling(QVASrvSparseMatrix(rows, columns), projected.Matrix(),
                                  modes.Matrix(), kFirstAcousticRow);
    for (int structural = 0; structural < kStructuralModes; ++structural) {
      for (int acoustic = 0; acoustic < kAcousticModes; ++acoustic) {
        EXPECT_EQ(projected(acoustic, structural), 0.0) << rows << " x " << columns;
      }
    }
  }
}

struct BadProjection {
  const char* name;
  int projectedRows;
  int projectedColumns;
  int firstAcousticRow;
  const char* expectedText;
};

class QVADynProjectAcousticCouplingSizes : public ::testing::TestWithParam<BadProjection> {};

TEST_P(QVADynProjectAcousticCouplingSizes, RaisesAndLeavesTheProjectedCouplingAlone) {
  const BadProjection& bad = GetParam();
  QVATestRandom random(3);
  const ModeShapes modes(kModeRows, kModes, random);
  const QVASrvSparseMatrix coupling = RandomCoupling(kAcousticDofs, kStructuralDofs, random);
  QVADynTestFilledMatrix projected = Projected(bad.projectedRows, bad.projectedColumns);

  const QVADynTestError error = QVADynTestCatchError([&] {
    QVADynProjectAcousticCoupling(coupling, projected.Matrix(), modes.Matrix(),
                                  bad.firstAcousticRow);
  });

  EXPECT_EQ(error.number, kQVASrvSizeMismatch);
  EXPECT_TRUE(Contains(error.message, bad.expectedText)) << error.message;
  EXPECT_TRUE(projected.AllUntouched());
}

const BadProjection kBadProjections[] = {
    {"AcousticModesNotTheRestOfTheColumns", 2, kStructuralModes, kFirstAcousticRow,
     "the projected coupling is 2 x 4; with 7 mode columns it must be (7 - q) x q"},
    {"StructuralRowsBeforeTheFirstRow", kAcousticModes, kStructuralModes, 8,
     "first acoustic row 8 with a 6 x 9 coupling needs rows -1 ... 13 inside the 20 rows"},
    {"AcousticRowsBeyondTheLastRow", kAcousticModes, kStructuralModes, 15,
     "first acoustic row 15 with a 6 x 9 coupling needs rows 6 ... 20 inside the 20 rows"},
};

INSTANTIATE_TEST_SUITE_P(Sizes, QVADynProjectAcousticCouplingSizes,
                         ::testing::ValuesIn(kBadProjections),
                         [](const ::testing::TestParamInfo<BadProjection>& param) {
                           return std::string(param.param.name);
                         });

// A model whose acoustic DOFs lie between structural ones in system order:
// nodes 0, 2, 4 carry three structural places, nodes 1 and 3 one pressure DOF.
//   system DOFs  0 1 2 | 3 (ac) | 4 5 6 | 7 (ac) | 8 9 10
//   solver DOFs  0 1 2 4 5 6 8 9 10 (structural) then 3 7 (acoustic)
class CoupledModel {
 public:
  CoupledModel() : dofs_(5, 3) {
    for (int node = 0; node < 5; ++node) {
      if (node % 2 == 1) {
        dofs_.AddDof(node, 0, QVAFsmSystemDofDefinition::kAcousticLabel);
        continue;
      }
      for (int place = 0; place < 3; ++place) dofs_.AddDof(node, place, 2 + place);
    }
    modal_ = database_.CreateModalSystem(dofs_.NumberOfDofs(), dofs_.NumberOfNodes());
  }
  QVASimDatabase& Database() { return database_; }
  QVAFsmModalSystem& Modal() { return modal_; }
  QVAFsmSystemDofDefinition& Dofs() { return dofs_; }

 private:
  QVASimDatabase database_;
  QVAFsmSystemDofDefinition dofs_;
  QVAFsmModalSystem modal_;
};

TEST(QVADynExportDofCouplingToSim, StoresASparseDistributionOverTheCoupledSystemDofs) {
  CoupledModel model;
  ASSERT_EQ(model.Dofs().NumberOfSolverDofs(), 11);
  ASSERT_EQ(model.Dofs().NumberOfSolverAcousticDofs(), 2);
  const int rows[] = {0, 0, 1, 1};
  const int columns[] = {0, 3, 1, 2};
  const double values[] = {1.5, -2.0, 0.25, 4.0};
  QVASrvSparseMatrix coupling(2, 4);
  coupling.SetFromTriplets(4, rows, columns, values);

  QVADynExportDofCouplingToSim(coupling, model.Modal(), model.Dofs());

  EXPECT_EQ(model.Database().TransactionDepth(), 0);
  const QVASimDistribution stored(model.Modal().AcousticDofCoupling());
  EXPECT_TRUE(stored.IsSparse());
  EXPECT_EQ(stored.DataKind(), QVATypeIndex(QVADataKinds::kSparseCoupling));
  ASSERT_EQ(stored.NumberOfDimensions(), 2);
  // Rows: solver DOFs 9, 10; columns: the last four structural solver DOFs 5 ... 8.
  EXPECT_EQ(QVATestSetMembers(stored.Set(0)), (std::vector<int>{3, 7}));
  EXPECT_EQ(QVATestSetMembers(stored.Set(1)), (std::vector<int>{6, 8, 9, 10}));
  EXPECT_TRUE(QVASimCSet(stored.Set(0)).Collection() == model.Modal().Dofs());
  EXPECT_TRUE(QVASimCSet(stored.Set(1)).Collection() == model.Modal().Dofs());
  ASSERT_EQ(stored.NumberOfNonZeros(), 4);
  EXPECT_EQ(std::vector<int>(stored.SparseRowStarts(), stored.SparseRowStarts() + 3),
            (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(std::vector<int>(stored.SparseColumns(), stored.SparseColumns() + 4),
            (std::vector<int>{0, 3, 1, 2}));
  EXPECT_EQ(std::vector<double>(stored.SparseValues(), stored.SparseValues() + 4),
            (std::vector<double>{1.5, -2.0, 0.25, 4.0}));
}

// A coupling larger than the DOFs raises and stores nothing; one without
// columns exports an empty column set.
TEST(QVADynExportDofCouplingToSim, ACouplingLargerThanTheDofsRaisesOneWithoutColumnsIsEmpty) {
  CoupledModel model;
  for (const auto& [rows, columns, text] :
       {std::tuple{3, 1, "3 rows, more than the 2 acoustic solver DOFs"},
        std::tuple{1, 10, "10 columns, more than the 9 structural solver DOFs"}}) {
    QVASrvSparseMatrix coupling(rows, columns);
    const QVADynTestError error = QVADynTestCatchError(
        [&] { QVADynExportDofCouplingToSim(coupling, model.Modal(), model.Dofs()); });
    EXPECT_EQ(error.number, kQVABasInvalidArgument);
    EXPECT_TRUE(Contains(error.message, text)) << error.message;
    EXPECT_FALSE(model.Modal().AcousticDofCoupling().IsValid());
    EXPECT_EQ(model.Database().TransactionDepth(), 0);
  }
  QVASrvSparseMatrix empty(2, 0);
  QVADynExportDofCouplingToSim(empty, model.Modal(), model.Dofs());
  const QVASimDistribution stored(model.Modal().AcousticDofCoupling());
  EXPECT_EQ(QVATestSetMembers(stored.Set(0)), (std::vector<int>{3, 7}));
  EXPECT_EQ(QVASimCSet(stored.Set(1)).Size(), 0);
  EXPECT_EQ(stored.NumberOfNonZeros(), 0);
}

}  // namespace
