// The XDMF file written beside a results file, so that ParaView opens the
// results without plug-ins: an XML description pointing into HDF5 datasets
// under /view of the results file, where the results are stored per DOF
// rather than per point:
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
// The points are the basis's nodes with coordinates, in the order they first
// appear in the DOF map, then those without DOFs in the order of the node
// list. Over several processes each writes the points of its block of rows:
// the analyses write their frames' vectors with their fields
// (WriteViewFrames), the run writes the modes' (WriteViewModes), and rank 0
// adds the coordinates, the topology and the XML at the end (XdmfWriter).
//
// The XML holds one grid "modes" with a vector per mode, and per analysis
// with a full field a temporal collection whose time is the frame's time [s]
// or frequency [Hz]. DOFs without a point (no coordinates) and rotations are
// not drawn.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "Basis.h"
#include "Distribution.h"
#include "Hdf5.h"

class QVASrvDenseMatrix;

namespace qvadyn {

// The points of the view and the range of them one process writes: those of
// its block of rows, and for the last process also the points without DOFs.
struct ViewPoints {
  std::vector<std::int64_t> nodes;  // index in basis.nodeIds of each point
  std::int64_t first = 0;           // this process's points
  std::int64_t count = 0;
  // Per row of the block: (point - first) * 3 + component - 1, or -1.
  std::vector<std::int64_t> places;
  std::int64_t NumPoints() const { return static_cast<std::int64_t>(nodes.size()); }
};
// No points without node coordinates. The rows of each node must be
// consecutive in the DOF map when `rows` is not the whole basis.
ViewPoints MakeViewPoints(const Basis& basis, const RowBlock& rows, bool lastProcess);

// Writes /view/modes/mode_K from `shapes` (the block's rows x modes),
// collectively over several processes. Nothing without points.
void WriteViewModes(Hdf5File& results, const ViewPoints& points, const QVASrvDenseMatrix& shapes,
                    int numModes);
// Writes the vectors of the field frames of analysis `name` (`values`:
// frames x the block's rows, C order) as /view/NAME/frame_J/..., collectively
// over several processes. Nothing without points.
void WriteViewFrames(Hdf5File& results, const ViewPoints& points, const std::string& name,
                     const std::vector<double>& values, std::int64_t frames);
void WriteViewFrames(Hdf5File& results, const ViewPoints& points, const std::string& name,
                     const std::vector<std::complex<double>>& values, std::int64_t frames);

class XdmfWriter {
 public:
  // Writes /view/coordinates and /view/topology into `results` (open, named
  // `resultsName` in the XML, a path relative to the XDMF file, and holding
  // the modes' and frames' vectors already) and the XML under a temporary
  // name beside `xdmfPath`. `analyses` are the analysis groups to look for
  // full fields in. A basis without node coordinates gets no XDMF: Written()
  // is false.
  XdmfWriter(const std::string& xdmfPath, const Basis& basis, Hdf5File& results,
             const std::string& resultsName, const std::vector<std::string>& analyses);
  bool Written() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  // Renames the XML onto its path (after the results file is committed).
  void Commit();

 private:
  std::string path_;
  std::unique_ptr<AtomicFile> file_;
};

}  // namespace qvadyn
