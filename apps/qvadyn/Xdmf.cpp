#include "Xdmf.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <unordered_map>

#include "Error.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace qvadyn {
namespace {

// Values of mode-shape blocks read at once from the component: 64 MB.
constexpr std::int64_t kShapeBlockValues = std::int64_t{1} << 23;

bool HasCoordinates(const Basis& basis) {
  return !basis.nodeIds.empty() && basis.nodeCoordinates.size() == 3 * basis.nodeIds.size();
}

// One HDF5 data item of the XML.
std::string DataItem(const std::string& file, const std::string& dataset,
                     const std::vector<std::int64_t>& dims, bool integer) {
  std::ostringstream xml;
  xml << "<DataItem Dimensions=\"";
  for (std::size_t i = 0; i < dims.size(); ++i) xml << (i ? " " : "") << dims[i];
  xml << "\" NumberType=\"" << (integer ? "Int" : "Float") << "\" Precision=\"8\" Format=\"HDF\">"
      << file << ":" << dataset << "</DataItem>";
  return xml.str();
}

std::string EscapeXml(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// The vectors of this process's points from one value per row of its block
// (`value(row)`), zero where no row gives one.
template <typename Value>
std::vector<double> PointVectors(const ViewPoints& points, Value value) {
  std::vector<double> vectors(static_cast<std::size_t>(3 * points.count), 0.0);
  for (std::size_t row = 0; row < points.places.size(); ++row) {
    if (points.places[row] >= 0) vectors[static_cast<std::size_t>(points.places[row])] = value(row);
  }
  return vectors;
}

// The XDMF mixed-topology array of `basis`'s elements over the view's
// points, or the points themselves as a polyvertex when it has none. Throws
// qvadyn::Error naming the element whose node has no coordinates.
std::vector<std::int64_t> Topology(const Basis& basis, const ViewPoints& points) {
  std::vector<std::int64_t> topology;
  if (basis.elementTypes.empty()) {
    for (std::int64_t point = 0; point < points.NumPoints(); ++point) topology.push_back(point);
    return topology;
  }
  std::unordered_map<std::int64_t, std::int64_t> index;
  for (std::int64_t point = 0; point < points.NumPoints(); ++point) {
    index.emplace(basis.nodeIds[static_cast<std::size_t>(points.nodes[point])], point);
  }
  for (std::size_t e = 0; e < basis.elementTypes.size(); ++e) {
    const std::int64_t first = basis.elementOffsets[e];
    const std::int64_t last = basis.elementOffsets[e + 1];
    topology.push_back(basis.elementTypes[e]);
    if (basis.elementTypes[e] == 2) topology.push_back(last - first);  // polyline: its count
    for (std::int64_t k = first; k < last; ++k) {
      const auto point = index.find(basis.elementNodes[static_cast<std::size_t>(k)]);
      if (point == index.end()) {
        throw Error("element " + std::to_string(e + 1) + " uses node " +
                    std::to_string(basis.elementNodes[static_cast<std::size_t>(k)]) +
                    ", which has no coordinates");
      }
      topology.push_back(point->second);
    }
  }
  return topology;
}

}  // namespace

ViewPoints MakeViewPoints(const Basis& basis, const RowBlock& rows, bool lastProcess) {
  ViewPoints points;
  if (!HasCoordinates(basis)) return points;
  std::unordered_map<std::int64_t, std::int64_t> nodeIndex;
  for (std::size_t i = 0; i < basis.nodeIds.size(); ++i) {
    nodeIndex.emplace(basis.nodeIds[i], static_cast<std::int64_t>(i));
  }
  // Point of each node id with coordinates, numbered as its first row comes.
  std::unordered_map<std::int64_t, std::int64_t> pointOf;
  std::vector<bool> hasDofs(basis.nodeIds.size(), false);
  const std::int64_t numDofs = basis.NumDofs();
  const std::int64_t end = rows.first + rows.count;
  std::int64_t blockEnd = 0;
  for (std::int64_t row = 0; row <= numDofs; ++row) {
    if (row == rows.first) points.first = points.NumPoints();
    if (row == end) blockEnd = points.NumPoints();
    if (row == numDofs) break;
    const std::int64_t id = basis.dofNodes[static_cast<std::size_t>(row)];
    const auto node = nodeIndex.find(id);
    if (node == nodeIndex.end() || hasDofs[static_cast<std::size_t>(node->second)]) continue;
    hasDofs[static_cast<std::size_t>(node->second)] = true;
    pointOf.emplace(id, points.NumPoints());
    points.nodes.push_back(node->second);
  }
  for (std::size_t i = 0; i < basis.nodeIds.size(); ++i) {
    if (!hasDofs[i]) points.nodes.push_back(static_cast<std::int64_t>(i));
  }
  points.count = (lastProcess ? points.NumPoints() : blockEnd) - points.first;
  points.places.assign(static_cast<std::size_t>(rows.count), -1);
  for (std::int64_t row = rows.first; row < end; ++row) {
    const auto point = pointOf.find(basis.dofNodes[static_cast<std::size_t>(row)]);
    const int component = basis.dofComponents[static_cast<std::size_t>(row)];
    if (point == pointOf.end() || component < 1 || component > 3) continue;
    points.places[static_cast<std::size_t>(row - rows.first)] =
        (point->second - points.first) * 3 + component - 1;
  }
  return points;
}

void WriteViewModes(Hdf5File& results, const ViewPoints& points, const QVASrvDenseMatrix& shapes,
                    int numModes) {
  if (points.nodes.empty()) return;
  const auto rows = static_cast<int>(points.places.size());
  // Blocks of modes over the block's rows, as many as kShapeBlockValues hold.
  const int modesPerBlock = static_cast<int>(
      std::clamp<std::int64_t>(kShapeBlockValues / std::max(rows, 1), 1, std::max(numModes, 1)));
  std::vector<double> block;
  for (int firstMode = 0; firstMode < numModes; firstMode += modesPerBlock) {
    const int count = std::min(modesPerBlock, numModes - firstMode);
    block.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(count), 0.0);
    if (rows > 0) {
      QVASrvMatrix values(rows, count, block.data());
      shapes.GetValues(0, rows - 1, firstMode, firstMode + count - 1, values);
    }
    for (int k = 0; k < count; ++k) {
      const double* shape = block.data() + static_cast<std::size_t>(k) * rows;
      results.WriteRowBlock("/view/modes/mode_" + std::to_string(firstMode + k + 1),
                            PointVectors(points, [&](std::size_t row) { return shape[row]; }),
                            {points.NumPoints(), 3}, points.first, points.count);
    }
  }
}

void WriteViewFrames(Hdf5File& results, const ViewPoints& points, const std::string& name,
                     const std::vector<double>& values, std::int64_t frames) {
  if (points.nodes.empty()) return;
  const std::size_t rows = points.places.size();
  for (std::int64_t j = 0; j < frames; ++j) {
    const double* u = values.data() + static_cast<std::size_t>(j) * rows;
    results.WriteRowBlock("/view/" + name + "/frame_" + std::to_string(j) + "/displacement",
                          PointVectors(points, [&](std::size_t row) { return u[row]; }),
                          {points.NumPoints(), 3}, points.first, points.count);
  }
}

void WriteViewFrames(Hdf5File& results, const ViewPoints& points, const std::string& name,
                     const std::vector<std::complex<double>>& values, std::int64_t frames) {
  if (points.nodes.empty()) return;
  const std::size_t rows = points.places.size();
  for (std::int64_t j = 0; j < frames; ++j) {
    const std::complex<double>* u = values.data() + static_cast<std::size_t>(j) * rows;
    const std::string base = "/view/" + name + "/frame_" + std::to_string(j);
    results.WriteRowBlock(base + "/real",
                          PointVectors(points, [&](std::size_t row) { return u[row].real(); }),
                          {points.NumPoints(), 3}, points.first, points.count);
    results.WriteRowBlock(base + "/imaginary",
                          PointVectors(points, [&](std::size_t row) { return u[row].imag(); }),
                          {points.NumPoints(), 3}, points.first, points.count);
    results.WriteRowBlock(base + "/magnitude",
                          PointVectors(points, [&](std::size_t row) { return std::abs(u[row]); }),
                          {points.NumPoints(), 3}, points.first, points.count);
  }
}

XdmfWriter::XdmfWriter(const std::string& xdmfPath, const Basis& basis, Hdf5File& results,
                       const std::string& resultsName, const std::vector<std::string>& analyses)
    : path_(xdmfPath) {
  if (!HasCoordinates(basis)) return;
  const ViewPoints points = MakeViewPoints(basis, {0, basis.NumDofs()}, true);
  const std::int64_t numPoints = points.NumPoints();
  const std::vector<std::int64_t> pointDims{numPoints, 3};
  std::vector<double> coordinates;
  for (const std::int64_t node : points.nodes) {
    const auto first = basis.nodeCoordinates.begin() + 3 * node;
    coordinates.insert(coordinates.end(), first, first + 3);
  }
  const std::vector<std::int64_t> topology = Topology(basis, points);
  results.Write("/view/coordinates", coordinates, pointDims);
  results.Write("/view/topology", topology, {static_cast<std::int64_t>(topology.size())});
  std::ostringstream mesh;
  if (basis.elementTypes.empty()) {
    mesh << "<Topology TopologyType=\"Polyvertex\" NumberOfElements=\"" << numPoints
         << "\" NodesPerElement=\"1\">";
  } else {
    mesh << "<Topology TopologyType=\"Mixed\" NumberOfElements=\"" << basis.elementTypes.size()
         << "\">";
  }
  mesh << DataItem(resultsName, "/view/topology", {static_cast<std::int64_t>(topology.size())},
                   true)
       << "</Topology>\n<Geometry GeometryType=\"XYZ\">"
       << DataItem(resultsName, "/view/coordinates", pointDims, false) << "</Geometry>\n";
  auto attribute = [&](const std::string& name, const std::string& dataset) {
    return "<Attribute Name=\"" + EscapeXml(name) + "\" AttributeType=\"Vector\" Center=\"Node\">" +
           DataItem(resultsName, dataset, pointDims, false) + "</Attribute>\n";
  };

  std::ostringstream xml;
  xml.precision(12);  // frame times and frequencies
  xml << "<?xml version=\"1.0\" ?>\n<Xdmf Version=\"3.0\">\n<Domain>\n"
      << "<Grid Name=\"modes\" GridType=\"Uniform\">\n"
      << mesh.str();
  const int numModes = basis.NumModes();
  for (int k = 0; k < numModes; ++k) {
    const std::string dataset = "/view/modes/mode_" + std::to_string(k + 1);
    std::ostringstream name;
    name.precision(6);
    name << "mode " << k + 1 << " ("
         << std::sqrt(std::max(basis.eigenvalues[k], 0.0)) / (2 * std::numbers::pi) << " Hz)";
    xml << attribute(name.str(), dataset);
  }
  xml << "</Grid>\n";

  for (const std::string& analysis : analyses) {
    const std::string group = "/" + analysis;
    if (!results.Exists(group + "/field/displacement")) continue;
    const bool harmonic = results.Exists(group + "/frequency");
    std::vector<std::int64_t> dims;
    const std::vector<std::int64_t> frames = results.ReadInts(group + "/field/frames", dims);
    const std::vector<double> frameValues =
        results.ReadDoubles(group + (harmonic ? "/frequency" : "/time"), dims);
    xml << "<Grid Name=\"" << EscapeXml(analysis)
        << "\" GridType=\"Collection\" CollectionType=\"Temporal\">\n";
    for (std::size_t j = 0; j < frames.size(); ++j) {
      const std::string base = "/view" + group + "/frame_" + std::to_string(j);
      xml << "<Grid Name=\"" << EscapeXml(analysis) << " frame " << frames[j]
          << "\" GridType=\"Uniform\">\n<Time Value=\""
          << frameValues.at(static_cast<std::size_t>(frames[j])) << "\"/>\n"
          << mesh.str();
      if (harmonic) {
        xml << attribute("displacement real", base + "/real")
            << attribute("displacement imaginary", base + "/imaginary")
            << attribute("displacement magnitude", base + "/magnitude");
      } else {
        xml << attribute("displacement", base + "/displacement");
      }
      xml << "</Grid>\n";
    }
    xml << "</Grid>\n";
  }
  xml << "</Domain>\n</Xdmf>\n";

  file_ = std::make_unique<AtomicFile>(xdmfPath);
  std::ofstream out(file_->TemporaryPath());
  out << xml.str();
  out.close();
  if (!out) throw Error(xdmfPath + ": cannot be written");
}

void XdmfWriter::Commit() {
  if (file_) file_->Commit();
}

}  // namespace qvadyn
