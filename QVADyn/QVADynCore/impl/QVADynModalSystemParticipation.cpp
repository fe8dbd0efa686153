// Participation factors and mode-shape reaction forces of a modal system.
//
// Participation factors: Gamma = Phi^T M R, one row per mode and one column
// per rigid-body direction (DOF types 2, 3, 4, 9, 10, 11: x, y, z, rx, ry, rz),
// held column by column. For mass-normalized modes the effective mass of mode
// m in direction j is Gamma(m, j)^2; over all modes of a free model it sums to
// the total rigid-body mass R_j^T M R_j.
//
// Reaction forces: a table of perMode values for each of `count` modes and a
// map that gives, per (node, DOF place), the 1-based position of the place's
// value within a mode's values (0: no reaction force there). With 2 nodes of
// 3 places, perMode 2 and map {0 1 0 | 0 0 2}, the values of mode position k
// are placed at (node 0, place 1) and (node 1, place 2).

#include <algorithm>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynBoundary.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

constexpr int kRigidBodyDirections = 6;
constexpr int kNumberOfSlots = 4;

// DOF-type symbols of the six rigid-body directions, in column order.
constexpr int kDirectionSymbols[kRigidBodyDirections] = {2, 3, 4, 9, 10, 11};

// A mode-column code is block * kModesPerColumnBlock + position in the block.
constexpr int kModesPerColumnBlock = 128;

// Chunk sizes that mean "the whole dimension".
constexpr int kWholeDimension[] = {-1, -1};

using PlatformArray = std::unique_ptr<double, decltype(&mem_Free)>;

// Creates a (6, 16) distribution over `sets` and fills it with n x 6 values.
QVASimDistributionID WriteModesByDirections(const QVAFsmModalSystem& modal,
                                            const QVASimCSetID* sets, int numberOfModes,
                                            double* values) {
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal.MyPosition(), QVATypeIndex(QVADataKinds::kParticipation), 2, sets, kWholeDimension,
      false);
  QVASrvDenseMatrix(distribution)
      .SetValues(0, numberOfModes - 1, 0, kRigidBodyDirections - 1,
                 QVASrvMatrix(numberOfModes, kRigidBodyDirections, values));
  return distribution;
}

}  // namespace

void QVADynModalSystem::CalculateParticipationFactors(const QVASrvSparseMatrix& mass,
                                                      const QVAFsmSystemDofDefinition& dofs,
                                                      const QVASrvMatrix& rigidBody, int slot) try {
  QVA_VERIFY(modeShapes_ != nullptr && modeShapes_->NumberOfColumns() == numberOfModes_,
             kQVASrvInvalidState,
             "QVADynModalSystem::CalculateParticipationFactors: the modal system has no mode "
             "shapes of its "
                 << numberOfModes_ << " modes; Open() it or create them first");
  const int solverDofs = dofs.NumberOfSolverDofs();
  QVA_VERIFY(mass.NumberOfRows() == solverDofs &&
                 mass.NumberOfColumns() == rigidBody.NumberOfRows() &&
                 rigidBody.NumberOfColumns() >= kRigidBodyDirections && !rigidBody.IsDiagonal(),
             kQVASrvSizeMismatch,
             "QVADynModalSystem::CalculateParticipationFactors: mass "
                 << mass.NumberOfRows() << " x " << mass.NumberOfColumns() << " and rigid-body "
                 << "vectors " << rigidBody.NumberOfRows() << " x " << rigidBody.NumberOfColumns()
                 << " do not fit " << solverDofs << " solver DOFs and " << kRigidBodyDirections
                 << " full-storage directions");

  QVASrvMatrix massTimesRigidBody(solverDofs, kRigidBodyDirections);
  mass.Multiply(rigidBody.Values(), kRigidBodyDirections, massTimesRigidBody.Values(), false);

  // Row r of the mode shapes is system DOF RowMember(r); its row of M R is
  // that DOF's solver DOF (-1, contributing nothing, when it has none).
  const int* solverDofOfSystemDof = dofs.MappingToSolverDofs();
  const int rows = modeShapes_->NumberOfRows();
  std::vector<int> rowMap(QVAIndex(rows));
  for (int row = 0; row < rows; ++row) {
    const int systemDof = modeShapes_->RowMember(row);
    QVA_VERIFY(systemDof >= 0 && systemDof < dofs.NumberOfDofs(), kQVASrvIndexOutOfRange,
               "QVADynModalSystem::CalculateParticipationFactors: mode-shape row "
                   << row << " is system DOF " << systemDof << ", outside the "
                   << dofs.NumberOfDofs() << " DOFs of the definition");
    rowMap[QVAIndex(row)] = solverDofOfSystemDof[systemDof];
  }

  PlatformArray factors(
      mem_AllocZeroedArray<double>(QVAIndex(numberOfModes_) * kRigidBodyDirections), &mem_Free);
  modeShapes_->TransposeMultiplyMapped(rowMap.data(), massTimesRigidBody, factors.get(), 1.0, 0.0);
  SetParticipationFactors(factors.release(), slot);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::CalculateParticipationFactors");
}

void QVADynModalSystem::SetParticipationFactors(double* values, int slot) try {
  if (slot < 0 || slot >= kNumberOfSlots || values == nullptr) {
    mem_Free(values);
    QVA_RAISE(kQVABasInvalidArgument,
              "QVADynModalSystem::SetParticipationFactors: slot "
                  << slot << " (one of 0 ... " << kNumberOfSlots - 1 << ") and an array of "
                  << numberOfModes_ << " x " << kRigidBodyDirections << " factors (given: "
                  << (values != nullptr ? "yes" : "null") << ") are needed; the array was freed");
  }
  mem_Free(participationFactors_[slot]);
  participationFactors_[slot] = values;
  if (isSubset_) return;

  const int numberOfModes = numberOfModes_;
  QVASimTransaction transaction(modal_.MyPosition().Context());
  const QVASimCSetID directions =
      QVASimCollection(modal_.DofTypes()).CreateOCSet(kDirectionSymbols, kRigidBodyDirections);
  const QVASimCSetID sets[] = {modal_.Modes(), directions};
  modal_.SetParticipationFactors(transaction,
                                 WriteModesByDirections(modal_, sets, numberOfModes, values));

  const std::size_t count = QVAIndex(numberOfModes) * kRigidBodyDirections;
  std::vector<double> effectiveMass(count);
  std::transform(values, values + count, effectiveMass.begin(),
                 [](double factor) { return factor * factor; });
  modal_.SetEffectiveMass(
      transaction, WriteModesByDirections(modal_, sets, numberOfModes, effectiveMass.data()));
  transaction.Commit();
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::SetParticipationFactors");
}

void QVADynModalSystem::SetModeShapeReactionForces(const double* values, const int* map,
                                                   int perMode, int count) try {
  const QVAFsmSystemDofDefinition& dofs = DofDefinition();
  const int places = dofs.NumberOfNodes() * dofs.MaxNodalDof();
  QVA_VERIFY(map != nullptr && perMode >= 0 && count >= 0 &&
                 (values != nullptr || perMode == 0 || count == 0),
             kQVABasInvalidArgument,
             "QVADynModalSystem::SetModeShapeReactionForces: needs a map of "
                 << places << " entries and " << perMode << " x " << count << " values (map "
                 << (map != nullptr ? "given" : "null") << ", values "
                 << (values != nullptr ? "given" : "null") << ")");
  for (int place = 0; place < places; ++place) {
    QVA_VERIFY(map[place] >= 0 && map[place] <= perMode, kQVABasInvalidArgument,
               "QVADynModalSystem::SetModeShapeReactionForces: map entry "
                   << map[place] << " of node " << place / dofs.MaxNodalDof() << ", place "
                   << place % dofs.MaxNodalDof() << " is not a position 1 ... " << perMode
                   << " of a mode's values (or 0 for none)");
  }
  const std::size_t numberOfValues = QVAIndex(perMode) * count;
  std::unique_ptr<int, decltype(&mem_Free)> mapCopy(mem_AllocArray<int>(QVAIndex(places)),
                                                    &mem_Free);
  PlatformArray valuesCopy(mem_AllocArray<double>(numberOfValues), &mem_Free);
  std::copy_n(map, places, mapCopy.get());
  if (numberOfValues > 0) std::copy_n(values, numberOfValues, valuesCopy.get());

  mem_Free(modalRfMap_);
  mem_Free(reactionForces_);
  modalRfMap_ = mapCopy.release();
  reactionForces_ = valuesCopy.release();
  reactionForcesPerMode_ = perMode;
  numberOfModesWithReactionForces_ = count;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::SetModeShapeReactionForces");
}

void QVADynModalSystem::GetModeShapeReactionForces(int mode, int node, double* out) const {
  const QVAFsmSystemDofDefinition& dofs = DofDefinition();
  const int maxNodalDof = dofs.MaxNodalDof();
  QVA_VERIFY(mode >= 0 && mode < numberOfModes_ && node >= 0 && node < dofs.NumberOfNodes(),
             kQVASrvIndexOutOfRange,
             "QVADynModalSystem::GetModeShapeReactionForces: mode "
                 << mode << " or node " << node << " outside modes 0 ... " << numberOfModes_ - 1
                 << " and nodes 0 ... " << dofs.NumberOfNodes() - 1);
  if (modalRfMap_ == nullptr) {
    std::fill_n(out, maxNodalDof, 0.0);
    return;
  }
  // The stored modes are those of one column block, addressed by position.
  const int position = modeColumnMap_[mode] % kModesPerColumnBlock;
  QVA_VERIFY(position < numberOfModesWithReactionForces_, kQVASrvIndexOutOfRange,
             "QVADynModalSystem::GetModeShapeReactionForces: mode "
                 << mode << " lies at position " << position << " of its column block, but "
                 << "reaction forces are stored for " << numberOfModesWithReactionForces_
                 << " positions");
  const double* modeValues =
      reactionForces_ + static_cast<std::ptrdiff_t>(reactionForcesPerMode_) * position;
  const int* nodeMap = modalRfMap_ + static_cast<std::ptrdiff_t>(node) * maxNodalDof;
  for (int place = 0; place < maxNodalDof; ++place) {
    out[place] = nodeMap[place] != 0 ? modeValues[nodeMap[place] - 1] : 0.0;
  }
}

void QVADynModalSystem::GetModeShapeReactionForces(int node, double* out) const {
  const QVAFsmSystemDofDefinition& dofs = DofDefinition();
  const int maxNodalDof = dofs.MaxNodalDof();
  QVA_VERIFY(node >= 0 && node < dofs.NumberOfNodes(), kQVASrvIndexOutOfRange,
             "QVADynModalSystem::GetModeShapeReactionForces: node "
                 << node << " outside nodes 0 ... " << dofs.NumberOfNodes() - 1);
  if (modalRfMap_ == nullptr || numberOfModesWithReactionForces_ < 1) return;
  const int* nodeMap = modalRfMap_ + static_cast<std::ptrdiff_t>(node) * maxNodalDof;
  for (int stored = 0; stored < numberOfModesWithReactionForces_; ++stored) {
    const double* modeValues =
        reactionForces_ + static_cast<std::ptrdiff_t>(reactionForcesPerMode_) * stored;
    double* modeOut = out + static_cast<std::ptrdiff_t>(stored) * maxNodalDof;
    for (int place = 0; place < maxNodalDof; ++place) {
      modeOut[place] = nodeMap[place] != 0 ? modeValues[nodeMap[place] - 1] : 0.0;
    }
  }
}
