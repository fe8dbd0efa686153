// Participation factors Gamma = Phi^T M R over a complete spring-mass basis (effective masses add
// up to the rigid-body masses), what is stored for them, and the mode-shape reaction forces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

extern "C" {
void dsygv_(const int* itype, const char* jobz, const char* uplo, const int* n, double* a,
            const int* lda, double* b, const int* ldb, double* w, double* work, const int* lwork,
            int* info, std::size_t jobzLength, std::size_t uploLength);
}

namespace {

constexpr int kDirections = 6;

// A basis (eigenvalues, rows x modes shapes over solver DOFs 0 ... rows - 1)
// written into a new database and opened on a fresh modal system.
struct StoredBasis {
  StoredBasis(const QVAFsmSystemDofDefinition& dofs, const std::vector<double>& eigenvalues,
              std::vector<double> shapes, int rows) {
    const int modes = static_cast<int>(eigenvalues.size());
    object = database.CreateModalSystem(dofs.NumberOfDofs(), dofs.NumberOfNodes());
    {
      QVADynModalSystem writer(new QVAFsmSystemDofDefinition(dofs), object, log);
      writer.SetEigenvalues(eigenvalues.data(), modes, 0, 0);
      writer.CreateModeShapes(rows, false)
          .SetValues(0, rows - 1, 0, modes - 1, QVASrvMatrix(rows, modes, shapes.data()));
    }
    modal = std::make_unique<QVADynModalSystem>(new QVAFsmSystemDofDefinition(dofs), object, log);
    modal->Open();
  }
  QVASimDatabase database;
  QVAFsmModalSystem object;
  QVADynLogFile log;
  std::unique_ptr<QVADynModalSystem> modal;
};

std::vector<double> ReadAll(const QVASimDatabase& database, const QVASimDistributionID& id) {
  std::vector<double> values(QVAIndex(database.NumberOfValues(id)));
  database.ReadDistribution(id, values.data());
  return values;
}

// kNodes point masses in space with springs between neighbours, one skew spring and soft ground
// springs at node 0 (K definite); every mode by dsygv: K phi = lambda M phi, Phi^T M Phi = I.
struct SpringMassModel {
  static constexpr int kNodes = 4;
  static constexpr int kPlaces = 3;
  static constexpr int kDofs = kNodes * kPlaces;

  SpringMassModel() {
    const double nodeMass[kNodes] = {1.5, 0.75, 2.0, 1.25};
    const double axialStiffness[kPlaces] = {400.0, 250.0, 900.0};
    for (int node = 0; node < kNodes; ++node) {
      coordinates[QVAIndex(3 * node)] = 0.5 * node;
      coordinates[QVAIndex(3 * node + 1)] = 0.1 * node * node;
      coordinates[QVAIndex(3 * node + 2)] = -0.2 * node;
      for (int place = 0; place < kPlaces; ++place) {
        mass[QVAColumnMajor(Dof(node, place), Dof(node, place), kDofs)] = nodeMass[node];
      }
      totalMass += nodeMass[node];
    }
    const auto addSpring = [&](int nodeA, int nodeB, const double direction[3], double k) {
      for (int p = 0; p < kPlaces; ++p) {
        for (int q = 0; q < kPlaces; ++q) {
          const double value = k * direction[p] * direction[q];
          stiffness[QVAColumnMajor(Dof(nodeA, p), Dof(nodeA, q), kDofs)] += value;
          if (nodeB < 0) continue;
          stiffness[QVAColumnMajor(Dof(nodeB, p), Dof(nodeB, q), kDofs)] += value;
          stiffness[QVAColumnMajor(Dof(nodeA, p), Dof(nodeB, q), kDofs)] -= value;
          stiffness[QVAColumnMajor(Dof(nodeB, p), Dof(nodeA, q), kDofs)] -= value;
        }
      }
    };
    for (int node = 0; node + 1 < kNodes; ++node) {
      for (int axis = 0; axis < kPlaces; ++axis) {
        double direction[3] = {0.0, 0.0, 0.0};
        direction[axis] = 1.0;
        addSpring(node, node + 1, direction, axialStiffness[axis] * (1.0 + 0.3 * node));
      }
    }
    const double skew[3] = {0.6, 0.48, 0.64};
    addSpring(1, 3, skew, 350.0);
    for (int axis = 0; axis < kPlaces; ++axis) {
      double direction[3] = {0.0, 0.0, 0.0};
      direction[axis] = 1.0;
      addSpring(0, -1, direction, 5.0);
    }

    std::vector<double> k = stiffness;
    std::vector<double> m = mass;
    const int itype = 1;
    const char jobz = 'V';
    const char lower = 'L';
    const int n = kDofs;
    int lwork = 3 * kDofs * kDofs;
    std::vector<double> work(QVAIndex(lwork));
    eigenvalues.resize(kDofs);
    int info = 0;
    dsygv_(&itype, &jobz, &lower, &n, k.data(), &n, m.data(), &n, eigenvalues.data(), work.data(),
           &lwork, &info, 1, 1);
    if (info != 0) throw std::runtime_error("dsygv failed: info " + std::to_string(info));
    shapes = k;
  }

  static int Dof(int node, int place) { return kPlaces * node + place; }

  QVAFsmSystemDofDefinition Dofs() const {
    QVAFsmSystemDofDefinition dofs(kNodes, 6);
    for (int node = 0; node < kNodes; ++node) {
      for (int place = 0; place < kPlaces; ++place) dofs.AddDof(node, place, 2 + place);
    }
    return dofs;
  }

  // Unit translations along x, y, z and unit rotations about x, y, z through
  // `reference`: u = e_axis x (position - reference).
  QVASrvMatrix RigidBody(const double reference[3]) const {
    QVASrvMatrix rigidBody(kDofs, kDirections);
    for (int node = 0; node < kNodes; ++node) {
      double offset[3];
      for (int axis = 0; axis < 3; ++axis) {
        offset[axis] = coordinates[QVAIndex(3 * node + axis)] - reference[axis];
      }
      for (int axis = 0; axis < 3; ++axis) {
        rigidBody(Dof(node, axis), axis) = 1.0;
        const int next = (axis + 1) % 3;
        const int last = (axis + 2) % 3;
        rigidBody(Dof(node, next), 3 + axis) = -offset[last];
        rigidBody(Dof(node, last), 3 + axis) = offset[next];
      }
    }
    return rigidBody;
  }

  QVASrvSparseMatrix SparseMass() const {
    std::vector<int> rows;
    std::vector<int> columns;
    std::vector<double> values;
    for (int dof = 0; dof < kDofs; ++dof) {
      rows.push_back(dof);
      columns.push_back(dof);
      values.push_back(mass[QVAColumnMajor(dof, dof, kDofs)]);
    }
    QVASrvSparseMatrix sparse(kDofs, kDofs);
    sparse.SetFromTriplets(kDofs, rows.data(), columns.data(), values.data());
    return sparse;
  }

  std::vector<double> coordinates = std::vector<double>(3 * kNodes, 0.0);
  std::vector<double> mass = std::vector<double>(kDofs * kDofs, 0.0);
  std::vector<double> stiffness = std::vector<double>(kDofs * kDofs, 0.0);
  std::vector<double> eigenvalues;
  std::vector<double> shapes;
  double totalMass = 0.0;
};

// n x 6 participation factors from the platform allocator, entry (m, j) =
// first + m + 10 j.
double* FactorArray(int modes, double first) {
  double* values = mem_AllocArray<double>(QVAIndex(modes) * kDirections);
  for (int direction = 0; direction < kDirections; ++direction) {
    for (int mode = 0; mode < modes; ++mode) {
      values[QVAColumnMajor(mode, direction, modes)] = first + mode + 10.0 * direction;
    }
  }
  return values;
}

}  // namespace

// All 12 modes: the effective masses add up to R_j^T M R_j since Phi Phi^T = M^-1 for a
// complete basis; what is stored, and independence of the definition's solver-DOF order.
TEST(QVADynModalSystemParticipationTest, EffectiveMassesOfAllModesAddUpToTheRigidBodyMasses) {
  const SpringMassModel model;
  const int dofs = SpringMassModel::kDofs;
  const QVAFsmSystemDofDefinition definition = model.Dofs();
  StoredBasis stored(definition, model.eigenvalues, model.shapes, dofs);
  QVADynModalSystem& modal = *stored.modal;

  const double reference[3] = {0.4, -0.1, 0.2};
  const QVASrvMatrix rigidBody = model.RigidBody(reference);
  modal.CalculateParticipationFactors(model.SparseMass(), modal.DofDefinition(), rigidBody, 0);
  const double* gamma = modal.ParticipationFactors(0);
  ASSERT_NE(gamma, nullptr);
  EXPECT_EQ(modal.ParticipationFactors(1), nullptr);

  // M-orthonormal to ~ n eps cond(M) (n = 12, cond 2.67): a few 1e-15; a missing mode is ~1e-2.
  constexpr double kRelativeTolerance = 1e-12;
  for (int direction = 0; direction < kDirections; ++direction) {
    double effectiveMass = 0.0;
    for (int mode = 0; mode < dofs; ++mode) {
      const double factor = gamma[QVAColumnMajor(mode, direction, dofs)];
      effectiveMass += factor * factor;
    }
    double rigidBodyMass = 0.0;
    for (int i = 0; i < dofs; ++i) {
      for (int k = 0; k < dofs; ++k) {
        rigidBodyMass += rigidBody(i, direction) * model.mass[QVAColumnMajor(i, k, dofs)] *
                         rigidBody(k, direction);
      }
    }
    EXPECT_NEAR(effectiveMass, rigidBodyMass, kRelativeTolerance * rigidBodyMass)
        << "direction " << direction;
    if (direction < 3) {
      // The node masses add up exactly in double (multiples of 0.25).
      EXPECT_EQ(rigidBodyMass, model.totalMass);
      EXPECT_NEAR(effectiveMass, model.totalMass, kRelativeTolerance * model.totalMass);
    }
  }

  // Gamma and Gamma^2 over [modes, DOF types 2 3 4 9 10 11], kind (6, 16): copied and squared in
  // double, so compared exactly.
  const QVAFsmModalSystem& object = stored.object;
  const QVASimDistribution factors(object.ParticipationFactors());
  const QVASimDistribution effective(object.EffectiveMass());
  for (const QVASimDistribution* distribution : {&factors, &effective}) {
    EXPECT_EQ(distribution->DataKind(), QVATypeIndex(QVADataKinds::kParticipation));
    EXPECT_EQ(distribution->Set(0), object.Modes());
    const QVASimCSet directions(distribution->Set(1));
    EXPECT_EQ(directions.Collection(), object.DofTypes());
    EXPECT_EQ(std::vector<int>(directions.OrderedMembers(),
                               directions.OrderedMembers() + directions.Size()),
              (std::vector<int>{2, 3, 4, 9, 10, 11}));
  }
  const std::vector<double> storedFactors = ReadAll(stored.database, factors.ID());
  const std::vector<double> storedMasses = ReadAll(stored.database, effective.ID());
  ASSERT_EQ(storedFactors.size(), QVAIndex(dofs) * kDirections);
  for (std::size_t entry = 0; entry < storedFactors.size(); ++entry) {
    EXPECT_EQ(storedFactors[entry], gamma[entry]);
    EXPECT_EQ(storedMasses[entry], gamma[entry] * gamma[entry]);
  }

  // A fresh modal system reads them back into slot 0.
  QVADynModalSystem reopened(new QVAFsmSystemDofDefinition(definition), stored.object, stored.log);
  reopened.Open();
  ASSERT_NE(reopened.ParticipationFactors(0), nullptr);
  EXPECT_EQ(std::vector<double>(reopened.ParticipationFactors(0),
                                reopened.ParticipationFactors(0) + dofs * kDirections),
            storedFactors);

  // Reverse solver order: rows of M R are found through the definition's mapping; with a
  // diagonal M the gathered rows make the same dgemm, so the factors agree to the bit.
  QVAFsmSystemDofDefinition reversed = model.Dofs();
  std::vector<int> reverseOrder(dofs);
  for (int solverDof = 0; solverDof < dofs; ++solverDof) {
    reverseOrder[QVAIndex(solverDof)] = dofs - 1 - solverDof;
  }
  reversed.SetupSolverDofs(
      QVASimCollection(stored.object.Dofs()).CreateOrderedCSet(reverseOrder.data(), dofs));
  QVASrvMatrix reversedRigidBody(dofs, kDirections);
  std::vector<int> rows(dofs);
  std::vector<double> values(dofs);
  for (int solverDof = 0; solverDof < dofs; ++solverDof) {
    const int systemDof = dofs - 1 - solverDof;
    for (int direction = 0; direction < kDirections; ++direction) {
      reversedRigidBody(solverDof, direction) = rigidBody(systemDof, direction);
    }
    rows[QVAIndex(solverDof)] = solverDof;
    values[QVAIndex(solverDof)] = model.mass[QVAColumnMajor(systemDof, systemDof, dofs)];
  }
  QVASrvSparseMatrix reversedMass(dofs, dofs);
  reversedMass.SetFromTriplets(dofs, rows.data(), rows.data(), values.data());
  modal.CalculateParticipationFactors(reversedMass, reversed, reversedRigidBody, 2);
  EXPECT_EQ(std::vector<double>(modal.ParticipationFactors(2),
                                modal.ParticipationFactors(2) + dofs * kDirections),
            std::vector<double>(gamma, gamma + dofs * kDirections));
}

TEST(QVADynModalSystemParticipationTest, MismatchedOperatorsAreRefused) {
  const SpringMassModel model;
  StoredBasis stored(model.Dofs(), model.eigenvalues, model.shapes, SpringMassModel::kDofs);
  for (const auto& [rows, directions] :
       {std::pair{SpringMassModel::kDofs - 1, kDirections}, std::pair{SpringMassModel::kDofs, 5}}) {
    const QVASrvMatrix rigidBody(rows, directions);
    ExpectPlatformError(
        [&] {
          stored.modal->CalculateParticipationFactors(model.SparseMass(),
                                                      stored.modal->DofDefinition(), rigidBody, 0);
        },
        kQVASrvSizeMismatch, {});
  }
  EXPECT_EQ(stored.modal->ParticipationFactors(0), nullptr);
}

// The effective mass written for a factor is its square: -3.0 gives 9.0. A
// second call replaces the slot and the stored entries.
TEST(QVADynModalSystemParticipationTest, SetWritesFactorsAndTheirSquares) {
  QVATestModalBasis basis({.numberOfModes = 4});
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();

  double* first = FactorArray(4, 1.0);
  first[QVAColumnMajor(2, 3, 4)] = -3.0;
  modal->SetParticipationFactors(first, 3);
  EXPECT_EQ(modal->ParticipationFactors(3), first);
  const QVAFsmModalSystem& object = basis.ModalObject();
  std::vector<double> masses = ReadAll(basis.Database(), object.EffectiveMass());
  EXPECT_EQ(masses[QVAColumnMajor(2, 3, 4)], 9.0);
  EXPECT_EQ(masses[QVAColumnMajor(1, 0, 4)], 4.0);
  EXPECT_EQ(ReadAll(basis.Database(), object.ParticipationFactors())[QVAColumnMajor(2, 3, 4)],
            -3.0);

  modal->SetParticipationFactors(FactorArray(4, -0.5), 3);
  masses = ReadAll(basis.Database(), object.EffectiveMass());
  EXPECT_EQ(masses[QVAColumnMajor(0, 0, 4)], 0.25);
  EXPECT_EQ(ReadAll(basis.Database(), object.ParticipationFactors())[QVAColumnMajor(3, 5, 4)],
            52.5);
}

// A slot outside 0 ... 3 or a missing array is refused; a handed-over array
// is freed (the leak check of the sanitizer build sees it).
TEST(QVADynModalSystemParticipationTest, SlotOutsideTheFourOrNoArrayIsRefused) {
  QVATestModalBasis basis;
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  for (const int slot : {-1, 4}) {
    ExpectPlatformError(
        [&] { modal->SetParticipationFactors(FactorArray(basis.NumberOfModes(), 0.0), slot); },
        kQVABasInvalidArgument, {"slot " + std::to_string(slot)});
  }
  ExpectPlatformError([&] { modal->SetParticipationFactors(nullptr, 0); }, kQVABasInvalidArgument,
                      {});
  EXPECT_FALSE(basis.ModalObject().ParticipationFactors().IsValid());
}

// An active-mode subset keeps the array in memory and writes nothing.
TEST(QVADynModalSystemParticipationTest, SubsetHoldsFactorsWithoutWriting) {
  QVATestModalBasis basis;
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  const int active[] = {1, 2, 3};
  QVADynModalSystem subset(*modal, 3, active);
  double* values = FactorArray(3, 2.0);
  subset.SetParticipationFactors(values, 2);
  EXPECT_EQ(subset.ParticipationFactors(2), values);
  EXPECT_FALSE(basis.ModalObject().ParticipationFactors().IsValid());
  EXPECT_FALSE(basis.ModalObject().EffectiveMass().IsValid());
}

// Reaction forces of 6 nodes with 6 places, 12 modes in column blocks of 5:
// the table holds the 5 modes of one block, 4 values each.
class QVADynModeShapeReactionForceTest : public ::testing::Test {
 protected:
  static constexpr int kPlaces = 6;
  static constexpr int kPerMode = 4;
  static constexpr int kStored = 5;

  QVADynModeShapeReactionForceTest() {
    QVATestModalBasisOptions options{.numberOfModes = 12, .columnBlockSize = 5};
    basis_ = std::make_unique<QVATestModalBasis>(options);
    modal_ = basis_->Open();
    map_.assign(QVAIndex(options.numberOfNodes) * kPlaces, 0);
    // Node 2: place 1 holds value 1, place 3 value 4, place 5 value 2.
    map_[2 * kPlaces + 1] = 1;
    map_[2 * kPlaces + 3] = 4;
    map_[2 * kPlaces + 5] = 2;
    for (int stored = 0; stored < kStored; ++stored) {
      for (int value = 0; value < kPerMode; ++value) {
        values_.push_back(10.0 * stored + value + 0.5);
      }
    }
  }

  std::unique_ptr<QVATestModalBasis> basis_;
  std::unique_ptr<QVADynModalSystem> modal_;
  std::vector<int> map_;
  std::vector<double> values_;
};

TEST_F(QVADynModeShapeReactionForceTest, NothingSetGivesZerosOrLeavesTheBufferAlone) {
  EXPECT_EQ(modal_->GetModalRfMap(), nullptr);
  std::vector<double> out(kPlaces, -1.0);
  modal_->GetModeShapeReactionForces(3, 2, out.data());
  EXPECT_EQ(out, std::vector<double>(kPlaces, 0.0));
  std::vector<double> all(kPlaces * kStored, -1.0);
  modal_->GetModeShapeReactionForces(2, all.data());
  EXPECT_EQ(all, std::vector<double>(kPlaces * kStored, -1.0));
}

TEST_F(QVADynModeShapeReactionForceTest, ModesAreAddressedByTheirPositionInTheColumnBlock) {
  modal_->SetModeShapeReactionForces(values_.data(), map_.data(), kPerMode, kStored);
  // Copies: the caller's arrays may change afterwards.
  const std::vector<int> givenMap = map_;
  map_.assign(map_.size(), 3);
  values_.assign(values_.size(), -5.0);
  ASSERT_NE(modal_->GetModalRfMap(), nullptr);
  EXPECT_EQ(std::vector<int>(modal_->GetModalRfMap(), modal_->GetModalRfMap() + givenMap.size()),
            givenMap);

  // Mode 7 is column 2 of block 1 (128 + 2): the row at position 2. A map
  // entry of 1 gives the first value of the row, 0 gives 0.
  const auto expected = [&](int stored) {
    const double first = 10.0 * stored + 0.5;
    return std::vector<double>{0.0, first, 0.0, first + 3.0, 0.0, first + 1.0};
  };
  std::vector<double> out(kPlaces, -1.0);
  modal_->GetModeShapeReactionForces(7, 2, out.data());
  EXPECT_EQ(out, expected(2));
  modal_->GetModeShapeReactionForces(10, 2, out.data());
  EXPECT_EQ(out, expected(0));
  modal_->GetModeShapeReactionForces(7, 4, out.data());
  EXPECT_EQ(out, std::vector<double>(kPlaces, 0.0));

  std::vector<double> all(kPlaces * kStored, -1.0);
  modal_->GetModeShapeReactionForces(2, all.data());
  for (int stored = 0; stored < kStored; ++stored) {
    EXPECT_EQ(
        std::vector<double>(all.begin() + stored * kPlaces, all.begin() + (stored + 1) * kPlaces),
        expected(stored))
        << "stored mode " << stored;
  }

  // A second call replaces table and map.
  const double single[] = {7.0};
  std::vector<int> singleMap(map_.size(), 0);
  singleMap[0] = 1;
  modal_->SetModeShapeReactionForces(single, singleMap.data(), 1, 1);
  modal_->GetModeShapeReactionForces(5, 0, out.data());
  EXPECT_EQ(out, (std::vector<double>{7.0, 0.0, 0.0, 0.0, 0.0, 0.0}));
}

TEST_F(QVADynModeShapeReactionForceTest, ReadsOutsideTheTableAreRefused) {
  // A map position beyond the values of a mode.
  map_[2 * kPlaces + 3] = kPerMode + 1;
  ExpectPlatformError(
      [&] { modal_->SetModeShapeReactionForces(values_.data(), map_.data(), kPerMode, kStored); },
      kQVABasInvalidArgument, {"node 2, place 3"});
  EXPECT_EQ(modal_->GetModalRfMap(), nullptr);

  // Two stored modes: position 2 of a block (mode 7) has no row.
  map_[2 * kPlaces + 3] = 4;
  modal_->SetModeShapeReactionForces(values_.data(), map_.data(), kPerMode, 2);
  std::vector<double> out(kPlaces, -1.0);
  modal_->GetModeShapeReactionForces(6, 2, out.data());
  EXPECT_EQ(out[1], 10.5);
  ExpectPlatformError([&] { modal_->GetModeShapeReactionForces(7, 2, out.data()); },
                      kQVASrvIndexOutOfRange, {});
  EXPECT_THROW(modal_->GetModeShapeReactionForces(12, 2, out.data()), QVABasException);
  EXPECT_THROW(modal_->GetModeShapeReactionForces(0, 6, out.data()), QVABasException);
}
