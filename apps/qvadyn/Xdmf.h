// The XDMF file written beside a results file, so that ParaView opens the
// results without plug-ins: an XML description pointing into HDF5 datasets
// that this writer adds under /view of the results file, where the results
// are stored per DOF rather than per point:
//
//   /view/coordinates        (nPoints, 3)   the basis's node coordinates
//   /view/topology           (n)            XDMF mixed topology: type code,
//                                           [node count for polylines,] point
//                                           indices; or 0..nPoints-1 (points)
//   /view/modes/mode_K       (nPoints, 3)   mode K's translations
//   /view/NAME/frame_J/...   (nPoints, 3)   analysis NAME's full-field frame J:
//                                           displacement (transient), or
//                                           real, imaginary, magnitude
//                                           (per-component modulus; harmonic)
//
// The XML holds one grid "modes" with a vector per mode, and per analysis
// with a full field a temporal collection whose time is the frame's time [s]
// or frequency [Hz]. DOFs without a point (no coordinates) and rotations are
// not drawn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "Basis.h"
#include "Hdf5.h"

namespace qvadyn {

class XdmfWriter {
 public:
  // Writes the /view datasets into `results` (open, named `resultsName` in
  // the XML, a path relative to the XDMF file) and the XML under a
  // temporary name beside `xdmfPath`. The mode shapes come from `basis`, or
  // when it was read without them from `basisFile`, by blocks of rows.
  // `analyses` are the analysis groups to look for full fields in. A basis
  // without node coordinates gets no XDMF: Written() is false.
  XdmfWriter(const std::string& xdmfPath, const Basis& basis, const std::string& basisFile,
             Hdf5File& results, const std::string& resultsName,
             const std::vector<std::string>& analyses);
  bool Written() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  // Renames the XML onto its path (after the results file is committed).
  void Commit();

 private:
  std::string path_;
  std::unique_ptr<AtomicFile> file_;
};

// The XDMF mixed-topology array of `basis`'s elements over its points (index
// in nodeIds), or the points themselves as a polyvertex when it has none.
// Throws qvadyn::Error naming the element whose node has no coordinates.
std::vector<std::int64_t> XdmfTopology(const Basis& basis);

}  // namespace qvadyn
