// Modal bases from the files of a CalculiX *FREQUENCY step.
//
// Two routes, both giving a qvadyn::Basis:
// - the .eig file that *FREQUENCY, STORAGE=YES writes: eigenvalues, mode shapes
//   and the mass matrix at full precision, numbered from the input deck (solid
//   elements and single-point constraints only). The rows are the active
//   equations: every DOF 1..3 of a node that belongs to an element and is not
//   fixed by *BOUNDARY, node after node in ascending node number.
// - the .frd result file (ASCII or binary) of the same step: nodes, elements,
//   frequencies and displacement mode shapes at every node, rows node after
//   node with components 1..3, fixed DOFs included as zero rows. ASCII values
//   carry six significant digits, binary ones single precision.
//
// For a deck with nodes 1..4 in one C3D4 and node 1 fixed in 1..3, the .eig
// route gives 9 rows: (2,1) (2,2) (2,3) (3,1) ... (4,3).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Basis.h"

namespace qvadyn {

// The part of a CalculiX input deck that numbers the equations and draws the
// mesh: nodes, solid elements and the DOFs fixed by *BOUNDARY.
struct CalculixDeck {
  std::map<std::int64_t, std::array<double, 3>> nodes;  // node id -> x, y, z
  std::vector<std::int32_t> elementTypes;               // XDMF codes (see Basis.h)
  std::vector<std::int64_t> elementOffsets{0};
  std::vector<std::int64_t> elementNodes;            // node ids, CalculiX order
  std::set<std::pair<std::int64_t, int>> fixedDofs;  // (node id, direction 1..3)
};

// Reads `deck` (following *INCLUDE). Understands *NODE, *ELEMENT of solid
// types, *NSET, *ELSET and *BOUNDARY (by node or set, ranges of directions,
// ENCASTRE, PINNED and the symmetry keywords); ignores what does not change
// the numbering. Throws qvadyn::Error naming the file, line and keyword for
// what the deck alone cannot number: *MPC, *EQUATION, *CYCLIC SYMMETRY MODEL,
// *RIGID BODY, *TIE, *COUPLING, *TRANSFORM, shells, beams, plane and
// axisymmetric elements and incompatible-mode hexahedra.
CalculixDeck ReadCalculixDeck(const std::filesystem::path& deck);

// Reads the .eig file of a real, non-cyclic *FREQUENCY step run on `deck`.
// The mass matrix is rebuilt on the connectivity's pattern (checked against
// the file's size and against the mass normalization of the modes) and stored
// with both triangles. Throws qvadyn::Error naming the file and the mismatch.
Basis ImportCalculixEig(const std::filesystem::path& eig, const std::filesystem::path& deck);

// Reads an ASCII or binary .frd file: the first node and element blocks and
// every DISP block of a MODAL step (eigenvalue = (2 pi f)^2 from its
// frequency in cycles per time). Throws qvadyn::Error naming the file, line or
// byte offset.
Basis ImportCalculixFrd(const std::filesystem::path& frd);

// Either route by the file's extension (.eig or .frd); a .eig's deck defaults
// to the .inp of the same stem.
Basis ImportCalculix(const std::filesystem::path& file, const std::filesystem::path& deck);

}  // namespace qvadyn
