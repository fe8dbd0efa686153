// The DOF numbering: system DOFs in definition order, default solver order
// (structural then acoustic), solver DOFs from a mode-shape row set, and every
// mapping against a plain table of the same model. All values are integers.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "tests/platform/modeldb/QVASimTestSupport.h"

namespace {

constexpr int kAcoustic = QVAFsmSystemDofDefinition::kAcousticLabel;

struct FreeWithPlatform {
  void operator()(int* list) const { mem_Free(list); }
};
using SolverDofList = std::unique_ptr<int, FreeWithPlatform>;

std::vector<int> SolverDofs(const QVAFsmSystemDofDefinition& dofs, const bool* nodes) {
  int count = -1;
  const SolverDofList list(dofs.SolverDofsFromNodes(nodes, count));
  EXPECT_NE(list.get(), nullptr);  // an array even when empty
  return std::vector<int>(list.get(), list.get() + count);
}

// 4 nodes of 3 places. Node 0: x, y; node 1: pressure; node 2: z only;
// node 3: x, pressure at place 2. System DOFs 0 ... 5 in this order.
class SmallModel : public ::testing::Test {
 protected:
  SmallModel() : dofs(4, 3) {
    dofs.AddDof(0, 0, 2);          // 0
    dofs.AddDof(0, 1, 3);          // 1
    dofs.AddDof(1, 0, kAcoustic);  // 2
    dofs.AddDof(2, 2, 4);          // 3
    dofs.AddDof(3, 0, 2);          // 4
    dofs.AddDof(3, 2, kAcoustic);  // 5
  }
  QVAFsmSystemDofDefinition dofs;
};

TEST_F(SmallModel, DefaultSolverOrderPutsAcousticDofsLast) {
  EXPECT_EQ(dofs.NumberOfNodes(), 4);
  EXPECT_EQ(dofs.MaxNodalDof(), 3);
  EXPECT_EQ(dofs.NumberOfDofs(), 6);
  EXPECT_EQ(dofs.NumberOfSolverDofs(), 6);
  EXPECT_EQ(dofs.NumberOfSolverAcousticDofs(), 2);
  const std::vector<int> systemOfSolver = {0, 1, 3, 4, 2, 5};
  for (int s = 0; s < 6; ++s) {
    const int system = systemOfSolver[QVAIndex(s)];
    EXPECT_EQ(dofs.SystemDofFromSolverDof(s), system);
    EXPECT_EQ(dofs.SolverDofFromSystemDof(system), s);
    EXPECT_EQ(dofs.MappingToSolverDofs()[system], s);
    const QVAFsmNodeDof fromSolver = dofs.NodeDofFromSolverDof(s);
    const QVAFsmNodeDof fromSystem = dofs.NodeDofFromSystemDof(system);
    EXPECT_EQ(fromSolver.node, fromSystem.node);
    EXPECT_EQ(fromSolver.dof, fromSystem.dof);
    EXPECT_EQ(dofs.SystemDofFromNodeDof(fromSystem), system);
  }
  EXPECT_EQ(dofs.NodeDofFromSolverDof(2).node, 2);
  EXPECT_EQ(dofs.NodeDofFromSolverDof(2).dof, 2);
}

TEST_F(SmallModel, PlacesWithoutDofsAndLabels) {
  EXPECT_EQ(dofs.SystemDofFromNodeDof({0, 2}), -1);
  EXPECT_EQ(dofs.SystemDofFromNodeDof({2, 0}), -1);
  EXPECT_EQ(dofs.DofLabel({0, 1}), 3);
  EXPECT_EQ(dofs.DofLabel({3, 2}), kAcoustic);
  EXPECT_EQ(dofs.DofLabel({2, 1}), 0);
  QVAExpectRaises(
      [&] {
        dofs.SystemDofFromNodeDof({4, 0});
      },
      kQVASrvIndexOutOfRange, {"node 4", "0 ... 3"});
  QVAExpectRaises(
      [&] {
        dofs.DofLabel({1, 3});
      },
      kQVASrvIndexOutOfRange, {"DOF place 3", "0 ... 2"});
  QVAExpectRaises([&] { dofs.AddDof(0, 1, 9); }, kQVABasInvalidArgument,
                  {"place 1 of node 0", "system DOF 1"});
  QVAExpectRaises([&] { dofs.SystemDofFromSolverDof(6); }, kQVASrvIndexOutOfRange,
                  {"solver DOF 6", "0 ... 5"});
  QVAExpectRaises([&] { dofs.NodeDofFromSystemDof(-1); }, kQVASrvIndexOutOfRange,
                  {"system DOF -1"});
}

TEST_F(SmallModel, SolverDofsOfFlaggedNodesAscend) {
  const bool nodes[] = {true, false, false, true};
  EXPECT_EQ(SolverDofs(dofs, nodes), (std::vector<int>{0, 1, 3, 5}));
  EXPECT_EQ(SolverDofs(dofs, nullptr), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  const bool none[] = {false, false, false, false};
  EXPECT_EQ(SolverDofs(dofs, none), std::vector<int>());
}

TEST_F(SmallModel, SetupFromARowSetReplacesTheSolverDofs) {
  QVASimTestModel model(6, 4);
  const QVASimCollection collection(model.modal.Dofs());
  // Rows of a mode-shape matrix: system DOFs 4, 0, 3, then pressure 5; DOFs 1
  // and 2 carry no mode shape.
  const int rows[] = {4, 0, 3, 5};
  dofs.SetupSolverDofs(collection.CreateOrderedCSet(rows, 4));
  EXPECT_EQ(dofs.NumberOfSolverDofs(), 4);
  EXPECT_EQ(dofs.NumberOfSolverAcousticDofs(), 1);
  EXPECT_EQ(dofs.NumberOfDofs(), 6);
  const std::vector<int> mapping(dofs.MappingToSolverDofs(), dofs.MappingToSolverDofs() + 6);
  EXPECT_EQ(mapping, (std::vector<int>{1, -1, -1, 2, 0, 3}));
  const bool nodes[] = {true, true, false, true};
  EXPECT_EQ(SolverDofs(dofs, nodes), (std::vector<int>{0, 1, 3}));
  const QVASimCSet permutation(dofs.WritePermutation(model.modal.Dofs()));
  EXPECT_EQ(std::vector<int>(permutation.OrderedMembers(), permutation.OrderedMembers() + 4),
            (std::vector<int>{4, 0, 3, 5}));

  // Refused rows leave the numbering as it was.
  const int mixed[] = {0, 5, 4};
  QVAExpectRaises([&] { dofs.SetupSolverDofs(collection.CreateOrderedCSet(mixed, 3)); },
                  kQVABasInvalidArgument, {"system DOF 4", "position 2", "acoustic"});
  QVASimDatabase larger;
  const int beyond[] = {0, 6};
  const QVASimCSetID beyondSet =
      QVASimCollection(larger.CreateModalSystem(8, 4).Dofs()).CreateOrderedCSet(beyond, 2);
  QVAExpectRaises([&] { dofs.SetupSolverDofs(beyondSet); }, kQVASrvIndexOutOfRange,
                  {"member 6", "position 1", "0 ... 5"});
  EXPECT_EQ(dofs.NumberOfSolverDofs(), 4);
  EXPECT_EQ(dofs.SystemDofFromSolverDof(0), 4);

  // A new DOF brings the default order back.
  dofs.AddDof(1, 1, 2);
  EXPECT_EQ(dofs.NumberOfSolverDofs(), 7);
  EXPECT_EQ(dofs.SystemDofFromSolverDof(4), 6);
  EXPECT_EQ(dofs.SystemDofFromSolverDof(5), 2);
}

TEST_F(SmallModel, CopiesAreIndependentAndOwnedByThePlatformAllocator) {
  auto* copy = new QVAFsmSystemDofDefinition(dofs);
  dofs.AddDof(2, 0, 2);
  EXPECT_EQ(copy->NumberOfDofs(), 6);
  EXPECT_EQ(dofs.NumberOfDofs(), 7);
  QVAFsmSystemDofDefinition assigned(1, 1);
  assigned = *copy;
  delete copy;
  EXPECT_EQ(assigned.NumberOfSolverAcousticDofs(), 2);
  EXPECT_EQ(assigned.SystemDofFromSolverDof(5), 5);
  const QVAFsmSystemDofDefinition& itself = assigned;
  assigned = itself;
  EXPECT_EQ(assigned.NumberOfDofs(), 6);
}

TEST(QVAFsmSystemDofDefinition, ConstructionChecksItsSizes) {
  QVAExpectRaises([] { QVAFsmSystemDofDefinition bad(-1, 6); }, kQVABasInvalidArgument,
                  {"-1 nodes"});
  QVAExpectRaises([] { QVAFsmSystemDofDefinition bad(2, 0); }, kQVABasInvalidArgument,
                  {"0 DOF places"});
  const QVAFsmSystemDofDefinition empty(0, 6);
  EXPECT_EQ(empty.NumberOfSolverDofs(), 0);
  EXPECT_EQ(SolverDofs(empty, nullptr), std::vector<int>());
}

}  // namespace
