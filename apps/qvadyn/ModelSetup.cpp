#include "ModelSetup.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "BasisFile.h"
#include "Error.h"
#include "QVADyn/QVADynCore/QVADynModalComponent.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

namespace qvadyn {

namespace {

constexpr int kPlaces = 6;
// DOF-type symbols of ux uy uz rx ry rz in the model database.
constexpr int kDofLabels[kPlaces] = {2, 3, 4, 9, 10, 11};

QVAFsmSystemDofDefinition* CreateDofs(const Basis& basis,
                                      const std::unordered_map<std::int64_t, int>& nodeIndex,
                                      const RowBlock& rows) {
  auto* dofs = new QVAFsmSystemDofDefinition(static_cast<int>(nodeIndex.size()), kPlaces);
  for (std::int64_t row = rows.first; row < rows.first + rows.count; ++row) {
    const int place = basis.dofComponents[static_cast<std::size_t>(row)] - 1;
    dofs->AddDof(nodeIndex.at(basis.dofNodes[static_cast<std::size_t>(row)]), place,
                 kDofLabels[place]);
  }
  return dofs;
}

}  // namespace

ComponentSession::ComponentSession() { QVADynModalComponent_initialize(modules_); }
ComponentSession::~ComponentSession() { QVADynModalComponent_finalize(modules_); }

Model::Model(const Basis& basis, QVADynLogFile& log, const std::string& basisFile, RowBlock ownRows)
    : basis_(basis), rows_(ownRows.count < 0 ? RowBlock{0, basis.NumDofs()} : ownRows), log_(log) {
  const bool whole = rows_.first == 0 && rows_.count == basis.NumDofs();
  if (!whole) {
    if (!basis.modes.empty()) throw Error("a block of basis rows takes its shapes from the file");
    for (std::size_t row = 0; row < basis.dofNodes.size(); ++row)
      allDofs_.emplace_back(basis.dofNodes[row], basis.dofComponents[row]);
    std::sort(allDofs_.begin(), allDofs_.end());
  }
  for (std::int64_t row = rows_.first; row < rows_.first + rows_.count; ++row) {
    const std::int64_t id = basis.dofNodes[static_cast<std::size_t>(row)];
    if (nodeIndex_.emplace(id, static_cast<int>(nodeIds_.size())).second) nodeIds_.push_back(id);
  }
  const int rows = static_cast<int>(rows_.count);
  const int modes = basis.NumModes();
  modalObject_ = database_.CreateModalSystem(rows, NumNodes());
  {
    QVADynModalSystem writer(CreateDofs(basis, nodeIndex_, rows_), modalObject_, log_);
    writer.SetEigenvalues(basis.eigenvalues.data(), modes, basis.numAcousticModes,
                          basis.numResidualModes);
    QVASrvDenseMatrix& shapes = writer.CreateModeShapes(rows, false);
    if (basis.ModeShapes().empty() && !basisFile.empty()) {
      ReadModeShapes(basisFile, modes, rows_,
                     [&](std::int64_t firstRow, std::int64_t count, double* values) {
                       const int first = static_cast<int>(firstRow - rows_.first);
                       const int last = first + static_cast<int>(count) - 1;
                       shapes.SetValues(first, last, 0, modes - 1,
                                        QVASrvMatrix(static_cast<int>(count), modes, values));
                     });
    } else if (rows > 0) {
      if (basis.ModeShapes().size() != static_cast<std::size_t>(rows) * modes) {
        throw Error("the basis holds no mode shapes for its " + std::to_string(rows) +
                    " rows, and no basis file to read them from");
      }
      // The basis's column-major shapes are handed over in place, no copy.
      QVASrvMatrix values(rows, modes, const_cast<double*>(basis.ModeShapes().data()));
      shapes.SetValues(0, rows - 1, 0, modes - 1, values);
    }
    if (!basis.viscousDamping.empty()) {
      QVASrvMatrix values(modes, modes, const_cast<double*>(basis.viscousDamping.data()));
      writer.CreateDamping(QVADynViscousDamping, false)
          .SetValues(0, modes - 1, 0, modes - 1, values);
    }
    if (!basis.structuralDamping.empty()) {
      QVASrvMatrix values(modes, modes, const_cast<double*>(basis.structuralDamping.data()));
      writer.CreateDamping(QVADynStructuralDamping, false)
          .SetValues(0, modes - 1, 0, modes - 1, values);
    }
  }
  modal_ =
      std::make_unique<QVADynModalSystem>(CreateDofs(basis, nodeIndex_, rows_), modalObject_, log_);
  modal_->Open();
}

Model::~Model() = default;

QVAFsmSystemDofDefinition* Model::CreateDofDefinition() const {
  return CreateDofs(basis_, nodeIndex_, rows_);
}

int Model::Node(std::int64_t nodeId) const {
  const auto found = nodeIndex_.find(nodeId);
  return found == nodeIndex_.end() ? -1 : found->second;
}

std::int64_t Model::Row(std::int64_t nodeId, int component) const {
  const int node = Node(nodeId);
  if (node < 0 || component < 1 || component > kPlaces) return -1;
  const QVAFsmNodeDof nodeDof{node, component - 1};
  const int systemDof = modal_->DofDefinition().SystemDofFromNodeDof(nodeDof);
  return systemDof < 0 ? -1 : modal_->DofDefinition().SolverDofFromSystemDof(systemDof);
}

bool Model::HasDof(std::int64_t nodeId, int component) const {
  if (allDofs_.empty()) return Row(nodeId, component) >= 0;
  return std::binary_search(allDofs_.begin(), allDofs_.end(), std::pair{nodeId, component});
}

std::vector<double> Model::ShapeRow(std::int64_t row) const {
  const int modes = basis_.NumModes();
  std::vector<double> values(static_cast<std::size_t>(modes));
  QVASrvMatrix block(1, modes, values.data());
  modal_->ModeShapes()->GetValues(static_cast<int>(row), static_cast<int>(row), 0, modes - 1,
                                  block);
  return values;
}

std::vector<double> Model::NaturalFrequencies() const {
  std::vector<double> hertz;
  for (double eigenvalue : basis_.eigenvalues) {
    hertz.push_back(std::sqrt(std::max(eigenvalue, 0.0)) / (2.0 * std::numbers::pi));
  }
  return hertz;
}

void Model::Participation(const double reference[3], bool withRotations,
                          std::vector<double>& factors, std::vector<double>& rigidBodyMass) {
  if (basis_.mass.Empty()) {
    throw Error(
        "the basis file stores no mass matrix (datasets 'mass/...'), which participation "
        "factors and base acceleration need");
  }
  if (withRotations && basis_.nodeIds.empty()) {
    throw Error(
        "the basis file stores no node coordinates ('nodes/coordinates'), which the "
        "rotational participation factors need");
  }
  const std::int64_t allRows = basis_.NumDofs();
  const int rows = static_cast<int>(rows_.count);
  std::unordered_map<std::int64_t, const double*> coordinates;
  for (std::size_t i = 0; i < basis_.nodeIds.size(); ++i) {
    coordinates[basis_.nodeIds[i]] = &basis_.nodeCoordinates[3 * i];
  }
  // Row values of the six rigid-body motions over every basis row:
  // translation along axis a, and rotation about axis a through the
  // reference, u = e_a x (x - reference).
  QVASrvMatrix rigidBody(static_cast<int>(allRows), kPlaces);
  for (int row = 0; row < static_cast<int>(allRows); ++row) {
    const int place = basis_.dofComponents[static_cast<std::size_t>(row)] - 1;
    const std::int64_t node = basis_.dofNodes[static_cast<std::size_t>(row)];
    for (int axis = 0; axis < 3; ++axis) {
      rigidBody(row, axis) = place == axis ? 1.0 : 0.0;
      if (!withRotations) continue;
      const double* x = coordinates.at(node);
      const double d[3] = {x[0] - reference[0], x[1] - reference[1], x[2] - reference[2]};
      double value = place == axis + 3 ? 1.0 : 0.0;
      if (place < 3) {
        // (e_axis x d)_place
        const int next = (axis + 1) % 3;
        const int last = (axis + 2) % 3;
        if (place == next) value = d[last];
        if (place == last) value = -d[next];
      }
      rigidBody(row, axis + 3) = value;
    }
  }
  // The block's rows of M (all columns: the mass couples rows of different
  // blocks).
  std::vector<int> rowIndex, columnIndex;
  std::vector<double> values;
  for (int row = 0; row < rows; ++row) {
    const std::size_t global = static_cast<std::size_t>(rows_.first + row);
    for (std::int64_t e = basis_.mass.rowStart[global]; e < basis_.mass.rowStart[global + 1]; ++e) {
      rowIndex.push_back(row);
      columnIndex.push_back(static_cast<int>(basis_.mass.columns[static_cast<std::size_t>(e)]));
      values.push_back(basis_.mass.values[static_cast<std::size_t>(e)]);
    }
  }
  QVASrvSparseMatrix mass(rows, static_cast<int>(allRows));
  mass.SetFromTriplets(static_cast<int>(rowIndex.size()), rowIndex.data(), columnIndex.data(),
                       values.data());
  QVASrvMatrix massTimesRigidBody(rows, kPlaces);
  mass.Multiply(rigidBody.Values(), kPlaces, massTimesRigidBody.Values(), false);
  const int modes = basis_.NumModes();
  if (rows_.count == allRows) {
    modal_->CalculateParticipationFactors(mass, modal_->DofDefinition(), rigidBody, 0);
  } else if (rows > 0) {
    // The component forms Phi^T M R over its rows; over a block, M R of the
    // block's rows is formed above and handed over with the identity as mass.
    std::vector<int> diagonal(static_cast<std::size_t>(rows));
    std::iota(diagonal.begin(), diagonal.end(), 0);
    const std::vector<double> ones(static_cast<std::size_t>(rows), 1.0);
    QVASrvSparseMatrix identity(rows, rows);
    identity.SetFromTriplets(rows, diagonal.data(), diagonal.data(), ones.data());
    modal_->CalculateParticipationFactors(identity, modal_->DofDefinition(), massTimesRigidBody, 0);
  }
  if (rows > 0) {
    const double* gamma = modal_->ParticipationFactors(0);
    factors.assign(gamma, gamma + static_cast<std::size_t>(modes) * kPlaces);
  } else {
    factors.assign(static_cast<std::size_t>(modes) * kPlaces, 0.0);
  }
  rigidBodyMass.assign(kPlaces, 0.0);
  for (int direction = 0; direction < kPlaces; ++direction) {
    for (int row = 0; row < rows; ++row) {
      rigidBodyMass[static_cast<std::size_t>(direction)] +=
          rigidBody(static_cast<int>(rows_.first) + row, direction) *
          massTimesRigidBody(row, direction);
    }
  }
  // The other processes' rows (nothing with one process).
  SumOverProcesses(factors.data(), factors.size());
  SumOverProcesses(rigidBodyMass.data(), rigidBodyMass.size());
}

}  // namespace qvadyn
