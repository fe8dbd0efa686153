#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"

struct QVAFsmSystemDofDefinition::Data {
  int numberOfNodes = 0;
  int maxNodalDof = 0;
  // System DOF at node * maxNodalDof + place, or -1.
  std::vector<int> systemDofOfPlace;
  // Per system DOF.
  std::vector<QVAFsmNodeDof> nodeDofOfSystemDof;
  std::vector<int> labelOfSystemDof;
  // Solver numbering. After AddDof it is rebuilt on demand in the default
  // order (structural system DOFs in system order, then the acoustic ones), so
  // that defining n DOFs stays linear.
  bool solverCurrent = true;
  std::vector<int> systemDofOfSolverDof;
  std::vector<int> solverDofOfSystemDof;
  int numberOfSolverAcousticDofs = 0;

  const Data& Current() {
    if (!solverCurrent) BuildDefaultOrder();
    return *this;
  }
  void BuildDefaultOrder();
};

void QVAFsmSystemDofDefinition::Data::BuildDefaultOrder() {
  const int dofs = static_cast<int>(labelOfSystemDof.size());
  systemDofOfSolverDof.clear();
  systemDofOfSolverDof.reserve(QVAIndex(dofs));
  for (int acoustic = 0; acoustic < 2; ++acoustic) {
    for (int dof = 0; dof < dofs; ++dof) {
      const bool isAcoustic = labelOfSystemDof[QVAIndex(dof)] == kAcousticLabel;
      if (isAcoustic == (acoustic == 1)) systemDofOfSolverDof.push_back(dof);
    }
  }
  solverDofOfSystemDof.assign(QVAIndex(dofs), -1);
  numberOfSolverAcousticDofs = 0;
  for (int solver = 0; solver < dofs; ++solver) {
    const int dof = systemDofOfSolverDof[QVAIndex(solver)];
    solverDofOfSystemDof[QVAIndex(dof)] = solver;
    if (labelOfSystemDof[QVAIndex(dof)] == kAcousticLabel) {
      ++numberOfSolverAcousticDofs;
    }
  }
  solverCurrent = true;
}

namespace {

void VerifyIndex(int index, int count, const char* caller, const char* what) {
  QVA_VERIFY(index >= 0 && index < count, kQVASrvIndexOutOfRange,
             "QVAFsmSystemDofDefinition::" << caller << ": " << what << " " << index
                                           << " outside 0 ... " << count - 1);
}

}  // namespace

QVAFsmSystemDofDefinition::QVAFsmSystemDofDefinition(int numberOfNodes, int maxNodalDof)
    : data_(nullptr) {
  QVA_VERIFY(numberOfNodes >= 0 && maxNodalDof >= 1, kQVABasInvalidArgument,
             "QVAFsmSystemDofDefinition: " << numberOfNodes << " nodes of " << maxNodalDof
                                           << " DOF places; nodes >= 0 and places >= 1");
  QVA_VERIFY(std::int64_t{numberOfNodes} * maxNodalDof <= std::numeric_limits<int>::max(),
             kQVABasInvalidArgument,
             "QVAFsmSystemDofDefinition: " << numberOfNodes << " nodes x " << maxNodalDof
                                           << " places exceed the int range");
  auto data = std::make_unique<Data>();
  data->numberOfNodes = numberOfNodes;
  data->maxNodalDof = maxNodalDof;
  data->systemDofOfPlace.assign(QVAIndex(numberOfNodes) * maxNodalDof, -1);
  data_ = data.release();
}

QVAFsmSystemDofDefinition::QVAFsmSystemDofDefinition(const QVAFsmSystemDofDefinition& other)
    : data_(new Data(*other.data_)) {}

QVAFsmSystemDofDefinition& QVAFsmSystemDofDefinition::operator=(
    const QVAFsmSystemDofDefinition& other) {
  if (this != &other) {
    auto copy = std::make_unique<Data>(*other.data_);
    delete data_;
    data_ = copy.release();
  }
  return *this;
}

QVAFsmSystemDofDefinition::~QVAFsmSystemDofDefinition() { delete data_; }

int QVAFsmSystemDofDefinition::AddDof(int node, int place, int label) {
  VerifyIndex(node, data_->numberOfNodes, "AddDof", "node");
  VerifyIndex(place, data_->maxNodalDof, "AddDof", "DOF place");
  int& slot = data_->systemDofOfPlace[QVAIndex(node) * data_->maxNodalDof + QVAIndex(place)];
  QVA_VERIFY(slot < 0, kQVABasInvalidArgument,
             "QVAFsmSystemDofDefinition::AddDof: place " << place << " of node " << node
                                                         << " is already system DOF " << slot);
  const int dof = static_cast<int>(data_->labelOfSystemDof.size());
  // Both lists grow geometrically; when the second append fails the first is
  // undone, so a failed allocation leaves the definition unchanged.
  data_->nodeDofOfSystemDof.push_back(QVAFsmNodeDof{node, place});
  try {
    data_->labelOfSystemDof.push_back(label);
  } catch (...) {
    data_->nodeDofOfSystemDof.pop_back();
    throw;
  }
  slot = dof;
  data_->solverCurrent = false;
  return dof;
}

int QVAFsmSystemDofDefinition::NumberOfNodes() const { return data_->numberOfNodes; }

int QVAFsmSystemDofDefinition::MaxNodalDof() const { return data_->maxNodalDof; }

int QVAFsmSystemDofDefinition::NumberOfDofs() const {
  return static_cast<int>(data_->labelOfSystemDof.size());
}

int QVAFsmSystemDofDefinition::NumberOfSolverDofs() const {
  return static_cast<int>(data_->Current().systemDofOfSolverDof.size());
}

int QVAFsmSystemDofDefinition::NumberOfSolverAcousticDofs() const {
  return data_->Current().numberOfSolverAcousticDofs;
}

QVAFsmNodeDof QVAFsmSystemDofDefinition::NodeDofFromSolverDof(int solverDof) const {
  return NodeDofFromSystemDof(SystemDofFromSolverDof(solverDof));
}

QVAFsmNodeDof QVAFsmSystemDofDefinition::NodeDofFromSystemDof(int systemDof) const {
  VerifyIndex(systemDof, NumberOfDofs(), "NodeDofFromSystemDof", "system DOF");
  return data_->nodeDofOfSystemDof[QVAIndex(systemDof)];
}

int QVAFsmSystemDofDefinition::SystemDofFromSolverDof(int solverDof) const {
  const Data& data = data_->Current();
  VerifyIndex(solverDof, static_cast<int>(data.systemDofOfSolverDof.size()),
              "SystemDofFromSolverDof", "solver DOF");
  return data.systemDofOfSolverDof[QVAIndex(solverDof)];
}

int QVAFsmSystemDofDefinition::SolverDofFromSystemDof(int systemDof) const {
  const Data& data = data_->Current();
  VerifyIndex(systemDof, NumberOfDofs(), "SolverDofFromSystemDof", "system DOF");
  return data.solverDofOfSystemDof[QVAIndex(systemDof)];
}

int QVAFsmSystemDofDefinition::SystemDofFromNodeDof(const QVAFsmNodeDof& nodeDof) const {
  VerifyIndex(nodeDof.node, data_->numberOfNodes, "SystemDofFromNodeDof", "node");
  VerifyIndex(nodeDof.dof, data_->maxNodalDof, "SystemDofFromNodeDof", "DOF place");
  return data_
      ->systemDofOfPlace[QVAIndex(nodeDof.node) * data_->maxNodalDof + QVAIndex(nodeDof.dof)];
}

int QVAFsmSystemDofDefinition::DofLabel(const QVAFsmNodeDof& nodeDof) const {
  const int dof = SystemDofFromNodeDof(nodeDof);
  return dof < 0 ? 0 : data_->labelOfSystemDof[QVAIndex(dof)];
}

int* QVAFsmSystemDofDefinition::SolverDofsFromNodes(const bool* nodes, int& count) const {
  const Data& data = data_->Current();
  const int solverDofs = static_cast<int>(data.systemDofOfSolverDof.size());
  auto isSelected = [&](int solverDof) {
    if (nodes == nullptr) return true;
    const int dof = data.systemDofOfSolverDof[QVAIndex(solverDof)];
    return nodes[data.nodeDofOfSystemDof[QVAIndex(dof)].node];
  };
  int selected = 0;
  for (int solverDof = 0; solverDof < solverDofs; ++solverDof) {
    if (isSelected(solverDof)) ++selected;
  }
  int* list = mem_AllocArray<int>(QVAIndex(selected));
  int next = 0;
  for (int solverDof = 0; solverDof < solverDofs; ++solverDof) {
    if (isSelected(solverDof)) list[next++] = solverDof;
  }
  count = selected;
  return list;
}

const int* QVAFsmSystemDofDefinition::MappingToSolverDofs() const {
  return data_->Current().solverDofOfSystemDof.data();
}

void QVAFsmSystemDofDefinition::SetupSolverDofs(const QVASimCSetID& rowSet) {
  const char* caller = "QVAFsmSystemDofDefinition::SetupSolverDofs";
  const QVASimCSet set(rowSet);
  const int size = set.Size();
  const int* members = set.OrderedMembers();
  const int dofs = NumberOfDofs();
  // Checked in full before anything changes.
  int firstAcoustic = -1;
  for (int position = 0; position < size; ++position) {
    const int dof = members[position];
    QVA_VERIFY(dof >= 0 && dof < dofs, kQVASrvIndexOutOfRange,
               caller << ": member " << dof << " at position " << position << " of set "
                      << rowSet.Index() << " is no system DOF (0 ... " << dofs - 1 << ")");
    const bool acoustic = data_->labelOfSystemDof[QVAIndex(dof)] == kAcousticLabel;
    if (acoustic && firstAcoustic < 0) firstAcoustic = position;
    QVA_VERIFY(acoustic || firstAcoustic < 0, kQVABasInvalidArgument,
               caller << ": structural system DOF " << dof << " at position " << position
                      << " of set " << rowSet.Index() << " follows the acoustic DOF at position "
                      << firstAcoustic << "; structural solver DOFs come first");
  }
  std::vector<int> systemDofOfSolverDof(members, members + size);
  std::vector<int> solverDofOfSystemDof(QVAIndex(dofs), -1);
  for (int position = 0; position < size; ++position) {
    solverDofOfSystemDof[QVAIndex(members[position])] = position;
  }
  data_->systemDofOfSolverDof.swap(systemDofOfSolverDof);
  data_->solverDofOfSystemDof.swap(solverDofOfSystemDof);
  data_->numberOfSolverAcousticDofs = firstAcoustic < 0 ? 0 : size - firstAcoustic;
  data_->solverCurrent = true;
}

QVASimCSetID QVAFsmSystemDofDefinition::WritePermutation(
    const QVASimCollectionID& dofCollection) const {
  const Data& data = data_->Current();
  return QVASimCollection(dofCollection)
      .CreateOrderedCSet(data.systemDofOfSolverDof.data(),
                         static_cast<int>(data.systemDofOfSolverDof.size()));
}
