// The basis file: a modal basis in HDF5 (layout in the README, "Basis file").
// Writing goes to a temporary file beside the target, renamed when complete.
// Reading checks every shape and value and raises qvadyn::Error naming the
// file, the dataset and the first bad index:
//
//   const qvadyn::Basis basis = qvadyn::ReadBasisFile("beam.h5");
//   // "beam.h5: dataset 'eigenvalues': entry 4 is negative (-3.2e+02)"
#pragma once

#include <functional>
#include <string>

#include "Basis.h"
#include "Distribution.h"
#include "Hdf5.h"

namespace qvadyn {

// Rows of the mode-shape chunks for a basis of `numModes` modes: about 1 MiB
// per chunk.
std::int64_t BasisChunkRows(std::int64_t numDofs, int numModes);

void WriteBasisFile(const std::string& path, const Basis& basis);
// Without `withModes`, the mode shapes are left in the file (basis.modes
// stays empty; their shape is checked): a Model streams them from there.
Basis ReadBasisFile(const std::string& path, bool withModes = true);
// Reads rows [rows.first, rows.first + rows.count) of the mode shapes of a
// basis file of `modes` modes block by block of rows (about 1 MiB each,
// touching only their own chunks), handing each block to `take` (count x
// modes, column-major); raises naming the first NaN or Inf. Over several
// processes the file is opened and read collectively: every process calls
// it together, also one with no rows. A process that fails (a bad value,
// `take` raising) still takes part in every read and in the close, and
// raises only then, so no process is left waiting.
void ReadModeShapes(
    const std::string& path, int modes, RowBlock rows,
    const std::function<void(std::int64_t firstRow, std::int64_t count, double* values)>& take);

// The checks ReadBasisFile applies, for bases built in memory (importers);
// `where` prefixes every message (a file name). Without `checkModes` the
// mode shapes are not looked at.
void ValidateBasis(const Basis& basis, const std::string& where, bool checkModes = true);

// The multi-line account `qvadyn info` prints: DOFs, nodes, modes, frequency
// range, optional contents and, with a mass matrix, max |Phi^T M Phi - I|.
std::string DescribeBasis(const Basis& basis, const std::string& path);

}  // namespace qvadyn
