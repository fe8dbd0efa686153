// The modal operators of a solve: stiffness, mass and damping of the active modes, the acoustic
// block and coupling, and the domain rules of an operator update.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynOperatorUpdate.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/host/QVADynGenerateOperators.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

// A generator that makes no operators; the update tests here never generate.
class IdleGenerator : public QVADynGenerateOperators {
 public:
  void Generate(double, bool, QVAFsmSystemDofDefinition**, int) override {}
  QVASrvSparseMatrix* StiffnessOperator() override { return new QVASrvSparseMatrix; }
  QVASrvSparseMatrix* ViscousDampingOperator() override { return new QVASrvSparseMatrix; }
  QVASrvSparseMatrix* StructuralDampingOperator() override { return new QVASrvSparseMatrix; }
};

std::unique_ptr<QVADynOperatorUpdate> MakeUpdate(QVADynDomainType domain) {
  return std::make_unique<QVADynOperatorUpdate>(new IdleGenerator, false, false, 0.0, nullptr,
                                                nullptr, domain);
}

QVATestModalBasisOptions DampedOptions() {
  return {.numberOfModes = 8, .viscousDamping = true, .structuralDamping = true};
}

TEST(ModalOperatorsTest, StiffnessMassAndRecordDampingOfTheActiveModes) {
  QVATestModalBasis basis(DampedOptions());
  auto modal = basis.Open();
  const std::vector<int> modes = {5, 0, 3};
  const QVADynDiagonalDamping records[] = {
      {0.02, 0.05, 0.0, 0.0}, {0.0, 0.0, 0.3, 0.001}, {0.01, 0.0, 0.0, 0.0}};
  const QVADynModalDamping damping(records, 3, nullptr, nullptr, nullptr);
  QVADynModalOperators ops(*modal, nullptr);
  ops.Build(3, modes.data(), damping);

  EXPECT_EQ(ops.NumberOfActiveModes(), 3);
  EXPECT_EQ(ops.NumberOfAcousticModes(), 0);
  EXPECT_TRUE(ops.IsDamped());
  EXPECT_TRUE(ops.FirstFlag());
  EXPECT_FALSE(ops.SecondFlag());
  EXPECT_FALSE(ops.HasAcousticCoupling());
  const QVADynModalOperators& built = ops;
  for (const QVASrvMatrix* matrix :
       {built.Mass(), built.Stiffness(), built.ViscousDamping(), built.StructuralDamping(),
        built.ViscousDampingDiagonal(), built.StructuralDampingDiagonal()}) {
    ASSERT_NE(matrix, nullptr);
    EXPECT_TRUE(matrix->IsDiagonal());
    EXPECT_EQ(matrix->NumberOfRows(), 3);
  }
  EXPECT_EQ(ops.Coupling(), nullptr);
  EXPECT_EQ(ops.SavedStiffness(), nullptr);
  const std::vector<double>& eigenvalues = basis.Eigenvalues();
  for (int i = 0; i < 3; ++i) {
    const double lambda = eigenvalues[QVAIndex(modes[QVAIndex(i)])];
    const QVADynDiagonalDamping& record = records[i];
    EXPECT_EQ((*ops.Mass())(i, i), 1.0);
    EXPECT_EQ((*ops.Stiffness())(i, i), lambda);
    // A handful of operations on values of order 1 ... 1e3: a few ulps.
    const double viscous = 2.0 * std::sqrt(lambda) * record.criticalFraction + record.massFactor +
                           record.stiffnessFactor * lambda;
    EXPECT_NEAR((*ops.ViscousDamping())(i, i), viscous, 8 * kQVAEps * std::fabs(viscous));
    EXPECT_NEAR((*ops.StructuralDamping())(i, i), record.structural * lambda,
                8 * kQVAEps * record.structural * lambda);
    EXPECT_EQ((*ops.ViscousDampingDiagonal())(i, i), (*ops.ViscousDamping())(i, i));
  }
}

TEST(ModalOperatorsTest, AnUpdateOnTheStructureRemovesTheDiagonalPartOfTheFullDamping) {
  QVATestModalBasis basis(DampedOptions());
  auto modal = basis.Open();
  const std::vector<int> modes = {0, 1, 2};
  const QVADynDiagonalDamping records[] = {
      {0.02, 0.05, 0.0, 0.0}, {0.02, 0.05, 0.0, 0.0}, {0.02, 0.05, 0.0, 0.0}};
  const QVADynModalDamping damping(records, 3, modal->ViscousDamping(), nullptr, nullptr);
  const auto update = MakeUpdate(QVADynStructuralDomain);
  QVADynModalOperators ops(*modal, update.get());
  ops.Build(3, modes.data(), damping);
  const std::vector<double>& projected = basis.ViscousDamping();
  const int n = basis.NumberOfStructuralModes();
  for (int i = 0; i < 3; ++i) {
    const double full = projected[QVAIndex(i) * (n + 1)];
    // (projected + record) - record: one rounding of each sum, relative to the record term.
    EXPECT_NEAR((*ops.ViscousDamping())(i, i), full,
                4 * kQVAEps * (*ops.ViscousDampingDiagonal())(i, i));
    EXPECT_EQ((*ops.ViscousDamping())((i + 1) % 3, i),
              projected[QVAIndex((i + 1) % 3) + QVAIndex(n) * i]);
    // The structural damping is diagonal: its diagonal part minus itself.
    EXPECT_EQ((*ops.StructuralDamping())(i, i), 0.0);
  }
}

TEST(ModalOperatorsTest, UpdateAppliesToItsDomainAndAllDomainsToEverything) {
  QVATestModalBasis basis;
  auto modal = basis.Open();
  const QVADynModalOperators none(*modal, nullptr);
  for (int code : {0, -1, -2}) EXPECT_FALSE(none.UpdateApplies(code)) << code;
  const struct {
    QVADynDomainType domain;
    bool all, acoustic, structural;
  } expected[] = {{QVADynAllDomains, true, true, true},
                  {QVADynAcousticDomain, true, true, false},
                  {QVADynStructuralDomain, true, false, true}};
  for (const auto& row : expected) {
    const auto update = MakeUpdate(row.domain);
    const QVADynModalOperators ops(*modal, update.get());
    EXPECT_EQ(ops.UpdateApplies(0), row.all) << row.domain;
    EXPECT_EQ(ops.UpdateApplies(-1), row.acoustic) << row.domain;
    EXPECT_EQ(ops.UpdateApplies(-2), row.structural) << row.domain;
  }
}

TEST(ModalOperatorsTest, AcousticBlockAndCouplingOfTheActiveModes) {
  QVATestModalBasisOptions options{.numberOfNodes = 8, .acousticNodes = 3, .numberOfModes = 7};
  options.numberOfAcousticModes = 2;  // modes 5, 6
  options.acousticCoupling = true;
  options.acousticViscousDamping = true;
  QVATestModalBasis basis(options);
  auto modal = basis.Open();
  const std::vector<int> modes = {3, 1, 6, 5};  // structural subset, acoustic modes swapped
  const QVADynModalDamping damping(nullptr, 4, nullptr, nullptr, modal->AcousticViscousDamping());
  QVADynModalOperators ops(*modal, nullptr);
  ops.Build(4, modes.data(), damping);
  ASSERT_TRUE(ops.HasAcousticCoupling());
  EXPECT_EQ(ops.NumberOfStructuralModes(), 2);
  EXPECT_EQ(ops.Stiffness()->NumberOfRows(), 2);
  EXPECT_EQ((*ops.AcousticStiffness())(0, 0), basis.Eigenvalues()[6]);
  EXPECT_EQ((*ops.AcousticStiffness())(1, 1), basis.Eigenvalues()[5]);
  EXPECT_EQ((*ops.AcousticMass())(1, 1), 1.0);
  const std::vector<double>& coupling = basis.AcousticCoupling();  // 2 x 5
  ASSERT_EQ(ops.Coupling()->NumberOfRows(), 2);
  ASSERT_EQ(ops.Coupling()->NumberOfColumns(), 2);
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 2; ++column) {
      const int acousticRow = modes[QVAIndex(2 + row)] - 5;
      const int structuralColumn = modes[QVAIndex(column)];
      EXPECT_EQ((*ops.Coupling())(row, column),
                coupling[QVAIndex(acousticRow + 2 * structuralColumn)]);
    }
  }
  ASSERT_NE(ops.AcousticViscousDamping(), nullptr);
  EXPECT_FALSE(ops.AcousticViscousDamping()->IsDiagonal());
  EXPECT_TRUE(ops.AcousticStructuralDamping()->IsDiagonal());
  EXPECT_TRUE(ops.AcousticViscousDampingDiagonal()->IsDiagonal());
}

TEST(ModalOperatorsTest, BuildRefusesListsItCannotHold) {
  QVATestModalBasis basis(
      {.numberOfNodes = 6, .acousticNodes = 2, .numberOfModes = 6, .numberOfAcousticModes = 2});
  auto modal = basis.Open();
  const QVADynModalDamping damping(nullptr, 0, nullptr, nullptr, nullptr);
  const std::vector<int> one = {5};
  QVADynModalOperators tooFew(*modal, nullptr);
  ExpectPlatformError([&] { tooFew.Build(1, one.data(), damping); }, kQVABasInvalidArgument,
                      {"1 active modes cannot hold the 2 acoustic modes"});
  const std::vector<int> outside = {0, 9, 4, 5};
  QVADynModalOperators wrongMode(*modal, nullptr);
  ExpectPlatformError([&] { wrongMode.Build(4, outside.data(), damping); }, kQVASrvIndexOutOfRange,
                      {"active mode 1 is mode 9"});
  const std::vector<int> valid = {0, 1, 4, 5};
  QVADynModalOperators twice(*modal, nullptr);
  twice.Build(4, valid.data(), damping);
  ExpectPlatformError([&] { twice.Build(4, valid.data(), damping); }, kQVASrvInvalidState,
                      {"called twice"});
}

}  // namespace
