// The modal basis as the application holds it in memory: what a basis file
// stores and what the importers (npy folders, CalculiX files) produce.
//
// Layout, for 2 nodes with 3 translations each (6 DOFs) and 2 modes:
//   eigenvalues    = [w1^2 w2^2]
//   modes          = [phi(dof0..5, mode0) | phi(dof0..5, mode1)]   column-major, 6 x 2
//   dofNodes       = [10 10 10 20 20 20]    node id of each row
//   dofComponents  = [ 1  2  3  1  2  3]    1-3 translations, 4-6 rotations
//   nodeIds        = [10 20]
//   nodeCoordinates= [x10 y10 z10 x20 y20 z20]
// Elements are optional and only for viewing: elementTypes holds XDMF
// topology codes (4 triangle, 5 quadrilateral, 6 tetrahedron, 7 pyramid,
// 8 wedge, 9 hexahedron, 2 polyline, 34 edge_3, 36 triangle_6, 37
// quadrilateral_8, 38 tetrahedron_10, 40 wedge_15, 48 hexahedron_20), and
// element e's node ids are elementNodes[elementOffsets[e] .. elementOffsets[e+1]).
// The mass matrix, when present, is numDofs x numDofs in compressed rows with
// both triangles stored.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qvadyn {

struct SparseMatrix {
  std::vector<std::int64_t> rowStart;  // numRows + 1 entries
  std::vector<std::int64_t> columns;
  std::vector<double> values;
  bool Empty() const { return values.empty(); }
};

struct Basis {
  std::vector<double> eigenvalues;          // omega^2 per mode
  std::vector<double> modes;                // numDofs x numModes, column-major
  std::vector<std::int64_t> dofNodes;       // node id per row
  std::vector<std::int32_t> dofComponents;  // 1..6 per row
  std::vector<std::int64_t> nodeIds;
  std::vector<double> nodeCoordinates;  // 3 per node, node after node
  std::vector<std::int32_t> elementTypes;
  std::vector<std::int64_t> elementOffsets;
  std::vector<std::int64_t> elementNodes;
  std::vector<double> viscousDamping;     // numModes x numModes, or empty
  std::vector<double> structuralDamping;  // numModes x numModes, or empty
  SparseMatrix mass;
  int numResidualModes = 0;
  int numAcousticModes = 0;
  std::string units;
  std::string source;  // where the values came from, e.g. "npy", "calculix-eig", "calculix-frd"
  // Mode shapes held in memory the basis does not own (the Python module's
  // numpy arrays), numDofs x numModes column-major, kept alive by
  // `modesOwner`; when set they are the basis's shapes and `modes` is empty.
  std::span<const double> externalModes;
  std::shared_ptr<const void> modesOwner;

  // The mode shapes, wherever they are held.
  std::span<const double> ModeShapes() const {
    return externalModes.empty() ? std::span<const double>(modes) : externalModes;
  }

  std::int64_t NumDofs() const { return static_cast<std::int64_t>(dofNodes.size()); }
  int NumModes() const { return static_cast<int>(eigenvalues.size()); }
};

}  // namespace qvadyn
