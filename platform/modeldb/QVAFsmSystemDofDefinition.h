#pragma once

// The DOF numbering of a model. Nodes have MaxNodalDof() DOF places each; the
// host defines which places of which nodes carry a DOF, and with which label
// (the DOF-type symbol: the built-in model uses 2, 3, 4 for the translations
// x, y, z, 9, 10, 11 for the rotations, and 8 marks an acoustic pressure DOF).
// Three numberings follow:
//
//   system DOFs  - in the order the host defined them (0 ... NumberOfDofs()-1);
//                  one member each of the system's Dofs() collection;
//   solver DOFs  - the DOFs a solver works with: by default every structural
//                  system DOF in system order, then every acoustic one;
//                  SetupSolverDofs() replaces them by the rows of a mode-shape
//                  matrix. Structural solver DOFs always come before acoustic
//                  ones;
//   node/places  - (node, place) pairs, QVAFsmNodeDof.
//
// Example: 2 nodes, 3 places; node 0 has places 0, 1, node 1 has place 2:
//   AddDof(0, 0, 2); AddDof(0, 1, 3); AddDof(1, 2, 4);
//   NumberOfDofs() == 3; NodeDofFromSolverDof(2) == {1, 2};
//   bool nodes[] = {false, true}; SolverDofsFromNodes(nodes, count) -> {2}, count 1.
//
// A modal system adopts its DOF definition; objects are therefore allocated
// with the platform allocator (mem_AllocationOperators).

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVAFsmNodeDof.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollectionID.h"

class QVA_PLATFORM_EXPORT QVAFsmSystemDofDefinition : public mem_AllocationOperators {
 public:
  static constexpr int kAcousticLabel = 8;

  QVAFsmSystemDofDefinition(int numberOfNodes, int maxNodalDof);
  QVAFsmSystemDofDefinition(const QVAFsmSystemDofDefinition& other);
  QVAFsmSystemDofDefinition& operator=(const QVAFsmSystemDofDefinition& other);
  ~QVAFsmSystemDofDefinition();

  // Defines a DOF at (node, place) with `label` and returns its system DOF
  // number. Raises for a node or place out of range or a place defined twice.
  // Resets the solver DOFs to the default order.
  int AddDof(int node, int place, int label);

  int NumberOfNodes() const;
  int MaxNodalDof() const;
  // Number of system DOFs.
  int NumberOfDofs() const;
  int NumberOfSolverDofs() const;
  // Number of solver DOFs whose label is kAcousticLabel; they are the last ones.
  int NumberOfSolverAcousticDofs() const;

  QVAFsmNodeDof NodeDofFromSolverDof(int solverDof) const;
  QVAFsmNodeDof NodeDofFromSystemDof(int systemDof) const;
  int SystemDofFromSolverDof(int solverDof) const;
  // The solver DOF of a system DOF, or -1 when it is not a solver DOF.
  int SolverDofFromSystemDof(int systemDof) const;
  // The system DOF at (node, place), or -1 when the place has no DOF.
  int SystemDofFromNodeDof(const QVAFsmNodeDof& nodeDof) const;
  int DofLabel(const QVAFsmNodeDof& nodeDof) const;

  // The solver DOFs of the nodes whose flag is true (all nodes when `nodes` is
  // null), ascending. Returns a new array of `count` ints from mem_Malloc (the
  // caller frees it with mem_Free; an array is returned even when count is 0).
  int* SolverDofsFromNodes(const bool* nodes, int& count) const;

  // One entry per system DOF: its solver DOF, or -1. The array belongs to the
  // definition and stays valid until the next AddDof or SetupSolverDofs.
  const int* MappingToSolverDofs() const;

  // Makes the members of `rowSet` (system DOFs, over the Dofs() collection)
  // the solver DOFs, in set order. Raises when a member is not a system DOF or
  // a structural DOF follows an acoustic one.
  void SetupSolverDofs(const QVASimCSetID& rowSet);

  // Writes the solver-DOF order into the DOF collection: returns a new ordered
  // set over `dofCollection` of the system DOFs of solver DOFs 0, 1, ...
  QVASimCSetID WritePermutation(const QVASimCollectionID& dofCollection) const;

 private:
  struct Data;
  Data* data_;
};
