// `qvadyn import npy`: a modal basis from a folder of numpy arrays.
//
//   eigenvalues.npy  (modes,)          omega^2 [rad^2/s^2]
//   modes.npy        (DOFs, modes)     mass-normalized shapes, one column per mode
//   dofmap.npy       (DOFs, 2)         node id and component 1..6 per row
//   nodes.npy        (nodes, 4)        optional: node id, x, y, z
//
// Arrays may be float64/float32/int64/int32, C or Fortran order. Every error
// names the file and, for values, the first bad index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Basis.h"

namespace qvadyn {

// One array of a .npy file, converted to double, in C order over `shape`.
struct NpyArray {
  std::vector<std::int64_t> shape;
  std::vector<double> values;
};

NpyArray ReadNpy(const std::string& path);
Basis ImportNpyFolder(const std::string& folder);

}  // namespace qvadyn
