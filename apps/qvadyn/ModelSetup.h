// A basis handed to the component: the model database holding its modal
// system (eigenvalues, mode shapes, projected damping), the opened
// QVADynModalSystem, and the map from the basis's node ids and components to
// the component's nodes and rows. Node ids are numbered 0, 1, ... in the
// order they first appear in the DOF map; component c is DOF place c - 1.
//
//   qvadyn::ComponentSession session;           // starts and stops the component
//   qvadyn::Model model(basis, log);
//   model.Row(100, 2);                          // row of node 100, uy, or -1
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Basis.h"
#include "Distribution.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "platform/modeldb/QVAFsmModalSystem.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace qvadyn {

// Starts the component's modules for its lifetime.
class ComponentSession {
 public:
  ComponentSession();
  ComponentSession(const ComponentSession&) = delete;
  ComponentSession& operator=(const ComponentSession&) = delete;
  ~ComponentSession();

 private:
  int modules_ = 0;
};

class Model {
 public:
  // Writes `basis` (kept by reference; it must outlive the model) into a new
  // model database and opens it; the component logs to `log`. A basis read
  // without its mode shapes takes them from `basisFile`, streamed block by
  // block of rows straight into the database. With `rows`, the component
  // holds only that block of the basis (whole nodes; the shapes are then
  // read from `basisFile`): nodes and rows below are those of the block.
  Model(const Basis& basis, QVADynLogFile& log, const std::string& basisFile = "",
        RowBlock rows = {0, -1});
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;
  ~Model();

  const Basis& GetBasis() const { return basis_; }
  QVASimDatabase& Database() { return database_; }
  QVAFsmModalSystem& ModalObject() { return modalObject_; }
  QVADynModalSystem& Modal() { return *modal_; }
  QVADynLogFile& Log() { return log_; }

  int NumNodes() const { return static_cast<int>(nodeIds_.size()); }
  std::int64_t NodeId(int node) const { return nodeIds_[static_cast<std::size_t>(node)]; }
  // Component node of a basis node id, or -1.
  int Node(std::int64_t nodeId) const;
  // Row of the block (and solver DOF) of (node id, component 1..6), or -1.
  std::int64_t Row(std::int64_t nodeId, int component) const;
  // Whether the whole basis has (node id, component), whichever block holds it.
  bool HasDof(std::int64_t nodeId, int component) const;
  // The block of basis rows the component holds.
  const RowBlock& Rows() const { return rows_; }
  // Natural frequencies in Hz.
  std::vector<double> NaturalFrequencies() const;
  // Phi(row, 0 ... modes - 1), from the component's mode shapes.
  std::vector<double> ShapeRow(std::int64_t row) const;

  // A new DOF definition of the basis (allocated with new; a modal system
  // adopts it).
  QVAFsmSystemDofDefinition* CreateDofDefinition() const;

  // Participation factors Gamma = Phi^T M R (modes x 6, column-major) of
  // the rigid-body motions R about `reference` (translations x, y, z, then
  // rotations), through the component, and the rigid-body masses R_d^T M R_d.
  // Raises qvadyn::Error without a mass matrix, or without node coordinates
  // when rotations are asked for (`withRotations`). Over a block of rows
  // each process adds its rows' share and the sums are completed over the
  // processes, so every process returns the whole.
  void Participation(const double reference[3], bool withRotations, std::vector<double>& factors,
                     std::vector<double>& rigidBodyMass);

 private:
  const Basis& basis_;
  RowBlock rows_;
  // (node id, component) of every basis row, sorted, when the block is not
  // the whole basis.
  std::vector<std::pair<std::int64_t, int>> allDofs_;
  QVASimDatabase database_;
  QVAFsmModalSystem modalObject_;
  QVADynLogFile log_;
  std::vector<std::int64_t> nodeIds_;
  std::unordered_map<std::int64_t, int> nodeIndex_;
  std::unique_ptr<QVADynModalSystem> modal_;
};

}  // namespace qvadyn
