// Mode shapes by node: block transfers, the block-read state and its cache, the node-access state
// and their log lines. Values are copied, never computed: comparisons are exact.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynNodalDataRequest.h"
#include "QVADyn/QVADynCore/QVADynSimpleDataRequest.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"

namespace {

constexpr double kUnwritten = -99.0;

// Nodes alternate between places {0, 1, 2} and {3, 4, 5} of 6, so that a node
// lacks half of its places; 12 modes in column blocks of 5, 5 and 2.
QVATestModalBasisOptions AlternatingPlaces() {
  QVATestModalBasisOptions options{.numberOfNodes = 6, .maxNodalDof = 6};
  for (int node = 0; node < options.numberOfNodes; ++node) {
    options.placesOfNode.push_back(node % 2 == 0 ? std::vector<int>{0, 1, 2}
                                                 : std::vector<int>{3, 4, 5});
  }
  options.numberOfModes = 12;
  options.columnBlockSize = 5;
  return options;
}

// The expected node slice of modes firstMode ... lastMode: out[k*6 + d], with
// `absent` at the places the node lacks.
std::vector<double> ExpectedSlice(const QVATestModalBasis& basis, int firstMode, int lastMode,
                                  int node, double absent) {
  const int places = basis.Options().maxNodalDof;
  std::vector<double> slice(QVAIndex(lastMode - firstMode + 1) * places, absent);
  for (int mode = firstMode; mode <= lastMode; ++mode) {
    for (int place = 0; place < places; ++place) {
      if (basis.Dofs().SystemDofFromNodeDof(QVAFsmNodeDof{node, place}) < 0) continue;
      slice[QVAIndex((mode - firstMode) * places + place)] =
          basis.NodalModeShape(mode, node, place);
    }
  }
  return slice;
}

std::vector<double> Slice(const QVADynModalSystem& modal, int firstMode, int lastMode, int node,
                          int places, double fill) {
  std::vector<double> out(QVAIndex(lastMode - firstMode + 1) * places, fill);
  modal.GetModesNodal(firstMode, lastMode, node, out.data());
  return out;
}

}  // namespace

TEST(QVADynDataRequestTest, NodalRequestSplitsTheSolverDofsIntoRuns) {
  // One DOF per node: the solver DOF of node p is p.
  QVAFsmSystemDofDefinition dofs(12, 1);
  for (int node = 0; node < 12; ++node) dofs.AddDof(node, 0, 2);
  bool nodes[12] = {};
  for (int node : {4, 5, 6, 10, 11}) nodes[node] = true;

  const QVADynNodalDataRequest request(dofs, nodes, 12);
  ASSERT_EQ(request.NumberOfRanges(), 2);
  EXPECT_EQ(request.RangeStart(0), 4);
  EXPECT_EQ(request.RangeSize(0), 3);
  EXPECT_EQ(request.RangeStart(1), 10);
  EXPECT_EQ(request.RangeSize(1), 2);

  const QVADynNodalDataRequest cut(dofs, nodes, 11);
  ASSERT_EQ(cut.NumberOfRanges(), 2);
  EXPECT_EQ(cut.RangeSize(0), 3);
  EXPECT_EQ(cut.RangeStart(1), 10);
  EXPECT_EQ(cut.RangeSize(1), 1);

  const QVADynNodalDataRequest none(dofs, nodes, 4);
  EXPECT_EQ(none.NumberOfRanges(), 0);

  const QVADynNodalDataRequest all(dofs, nullptr, 12);
  ASSERT_EQ(all.NumberOfRanges(), 1);
  EXPECT_EQ(all.RangeSize(0), 12);

  const QVADynSimpleDataRequest simple(7);
  ASSERT_EQ(simple.NumberOfRanges(), 1);
  EXPECT_EQ(simple.RangeStart(0), 0);
  EXPECT_EQ(simple.RangeSize(0), 7);
}

TEST(QVADynModalNodalAccessTest, BlockTransfersOverDataRequests) {
  QVATestModalBasis basis(AlternatingPlaces());
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  const int places = 6;
  const int nodes = basis.Options().numberOfNodes;

  // Block 1 holds modes 5 ... 9; every node over all rows.
  std::vector<double> block(QVAIndex(nodes) * places * 5, kUnwritten);
  modal->GetModesNodalStorage(QVADynSimpleDataRequest(basis.NumberOfRows()), block.data(), 1);
  for (int node = 0; node < nodes; ++node) {
    const std::vector<double> expected = ExpectedSlice(basis, 5, 9, node, kUnwritten);
    EXPECT_EQ(std::vector<double>(block.begin() + node * places * 5,
                                  block.begin() + (node + 1) * places * 5),
              expected)
        << "node " << node;
  }

  // Only nodes 1 and 4 requested: the other nodes' places stay unwritten.
  const bool flagged[] = {false, true, false, false, true, false};
  const QVADynNodalDataRequest request(basis.Dofs(), flagged, basis.NumberOfRows());
  std::vector<double> selected(block.size(), kUnwritten);
  modal->GetModesNodalStorage(request, selected.data(), 1);
  std::vector<double> oneMode(QVAIndex(nodes) * places, kUnwritten);
  modal->GetModeNodalStorage(request, 7, oneMode.data());
  for (int node = 0; node < nodes; ++node) {
    const bool wanted = flagged[node];
    EXPECT_EQ(std::vector<double>(selected.begin() + node * places * 5,
                                  selected.begin() + (node + 1) * places * 5),
              wanted ? ExpectedSlice(basis, 5, 9, node, kUnwritten)
                     : std::vector<double>(QVAIndex(places) * 5, kUnwritten))
        << "node " << node;
    EXPECT_EQ(
        std::vector<double>(oneMode.begin() + node * places, oneMode.begin() + (node + 1) * places),
        wanted ? ExpectedSlice(basis, 7, 7, node, kUnwritten)
               : std::vector<double>(QVAIndex(places), kUnwritten))
        << "node " << node;
  }

  // Writing block 2 (modes 10, 11) of nodes 1 and 4 from a node-by-DOF array
  // changes exactly those rows and columns of the stored matrix.
  std::vector<double> written(QVAIndex(nodes) * places * 2);
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = 1000.0 + static_cast<double>(i);
  modal->SetModesNodalStorage(request, written.data(), 2);
  const std::vector<double> stored = QVATestReadDenseMatrix(*modal->ModeShapes());
  for (int row = 0; row < basis.NumberOfRows(); ++row) {
    const QVAFsmNodeDof place = basis.Dofs().NodeDofFromSolverDof(row);
    for (int mode = 0; mode < 12; ++mode) {
      const double value = stored[QVAIndex(mode * basis.NumberOfRows() + row)];
      if (mode >= 10 && flagged[place.node]) {
        EXPECT_EQ(value,
                  written[QVAIndex(place.node * places * 2 + (mode - 10) * places + place.dof)]);
      } else {
        EXPECT_EQ(value, basis.ModeShape(row, mode)) << "row " << row << ", mode " << mode;
      }
    }
  }
}

// A block is loaded once while the requested block stays the same.
TEST(QVADynModalNodalAccessTest, BlockReadStateLoadsEachBlockOnce) {
  QVATestModalBasis basis(AlternatingPlaces());
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  modal->BeginReadModes();
  EXPECT_EQ(modal->NumberOfBlockLoads(), 0);

  EXPECT_EQ(Slice(*modal, 0, 4, 2, 6, kUnwritten), ExpectedSlice(basis, 0, 4, 2, 0.0));
  EXPECT_EQ(Slice(*modal, 1, 3, 3, 6, kUnwritten), ExpectedSlice(basis, 1, 3, 3, 0.0));
  EXPECT_EQ(modal->NumberOfBlockLoads(), 1);
  EXPECT_EQ(Slice(*modal, 6, 6, 3, 6, kUnwritten), ExpectedSlice(basis, 6, 6, 3, 0.0));
  EXPECT_EQ(modal->NumberOfBlockLoads(), 2);

  modal->EndReadModes();
}

// Gaps between places, a node without DOFs and an acoustic node (row after all structural rows):
// both paths agree with the stored matrix.
TEST(QVADynModalNodalAccessTest, IrregularNodesOnBothPaths) {
  QVATestModalBasis basis(
      {.numberOfNodes = 7,
       .placesOfNode = {{0, 2, 5}, {1, 2}, {0, 1, 2, 3, 4, 5}, {4}, {}, {0, 1, 2, 3}, {}},
       .acousticNodes = 1,
       .numberOfModes = 9,
       .numberOfAcousticModes = 1,
       .columnBlockSize = 4});
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  const std::pair<int, int> blocks[] = {{0, 3}, {4, 7}, {8, 8}, {1, 2}};
  modal->BeginReadModes();
  for (const auto& [first, last] : blocks) {
    for (int node = 0; node < 7; ++node) {
      EXPECT_EQ(Slice(*modal, first, last, node, 6, kUnwritten),
                ExpectedSlice(basis, first, last, node, 0.0))
          << "block-read path, modes " << first << " ... " << last << ", node " << node;
    }
  }
  modal->EndReadModes();
  modal->BeginNodalModeAccess(nullptr);
  for (const auto& [first, last] : blocks) {
    for (int node = 0; node < 7; ++node) {
      EXPECT_EQ(Slice(*modal, first, last, node, 6, kUnwritten),
                ExpectedSlice(basis, first, last, node, kUnwritten))
          << "node-access path, modes " << first << " ... " << last << ", node " << node;
    }
  }
  modal->EndNodalModeAccess();
}

TEST(QVADynModalNodalAccessTest, NodeAccessForOnlyNodeThreeLeavesTheOtherNodesEmpty) {
  QVATestModalBasis basis(AlternatingPlaces());
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  int flags[6] = {};
  flags[3] = 7;  // any non-zero flag selects the node
  modal->BeginNodalModeAccess(flags);
  for (int node = 0; node < 6; ++node) {
    const std::vector<double> expected = node == 3 ? ExpectedSlice(basis, 0, 11, node, kUnwritten)
                                                   : std::vector<double>(12 * 6, kUnwritten);
    EXPECT_EQ(Slice(*modal, 0, 11, node, 6, kUnwritten), expected) << "node " << node;
  }
  modal->EndNodalModeAccess();
}

// Mode shapes over the first 7 of 18 solver DOFs: the DOF index holds only
// rows of the matrix, so nodes 0 and 1 and the first place of node 2 are served.
TEST(QVADynModalNodalAccessTest, NodeAccessOverModeShapesOfSomeDofs) {
  QVATestModalBasis basis({.numberOfModes = 4, .modeShapeRows = 7});  // 6 nodes x places {0, 1, 2}
  std::unique_ptr<QVADynModalSystem> modal = basis.Open();
  EXPECT_EQ(modal->DofDefinition().NumberOfSolverDofs(), 7);
  modal->BeginNodalModeAccess(nullptr);
  for (int node = 0; node < 6; ++node) {
    std::vector<double> expected(4 * 6, kUnwritten);
    for (int mode = 0; mode < 4; ++mode) {
      for (int place = 0; place < 3; ++place) {
        if (3 * node + place < 7) {
          expected[QVAIndex(mode * 6 + place)] = basis.NodalModeShape(mode, node, place);
        }
      }
    }
    EXPECT_EQ(Slice(*modal, 0, 3, node, 6, kUnwritten), expected) << "node " << node;
  }
  modal->EndNodalModeAccess();
}

TEST(QVADynModalNodalAccessTest, ElapsedTimeLinesAndReadsOutsideTheStates) {
  QVATestModalBasis basis(AlternatingPlaces());
  QVATestLogCapture capture;
  std::unique_ptr<QVADynModalSystem> modal = basis.Open(capture.Log());

  // Reading outside either state raises, before and after one. Without reads
  // both states log a time of exactly 0.
  std::vector<double> out(6);
  ExpectPlatformError([&] { modal->GetModesNodal(0, 0, 0, out.data()); }, kQVASrvInvalidState, {});
  modal->BeginNodalModeAccess(nullptr);
  modal->EndNodalModeAccess();
  ExpectPlatformError([&] { modal->GetModesNodal(0, 0, 0, out.data()); }, kQVASrvInvalidState, {});
  EXPECT_EQ(capture.Contents(), "Elapsed time spent accessing element-nodal mode shapes: 0\n");
  modal->BeginReadModes();
  modal->EndReadModes();
  EXPECT_EQ(capture.Contents(),
            "Elapsed time spent accessing element-nodal mode shapes: 0\n"
            "Elapsed time spent reading mode shapes: 0\n");

  // The reset: ending the node-access state starts its next measurement at 0.
  modal->BeginNodalModeAccess(nullptr);
  Slice(*modal, 0, 4, 0, 6, 0.0);
  modal->EndNodalModeAccess();
  modal->BeginNodalModeAccess(nullptr);
  modal->EndNodalModeAccess();
  const std::string last = capture.Contents();
  const std::string lastLine = "Elapsed time spent accessing element-nodal mode shapes: 0\n";
  EXPECT_EQ(last.substr(last.size() - lastLine.size()), lastLine);
}
