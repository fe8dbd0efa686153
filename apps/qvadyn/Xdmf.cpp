#include "Xdmf.h"

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <unordered_map>

#include "BasisFile.h"
#include "Error.h"

namespace qvadyn {
namespace {

std::unordered_map<std::int64_t, std::int64_t> PointIndex(const Basis& basis) {
  std::unordered_map<std::int64_t, std::int64_t> index;
  for (std::size_t i = 0; i < basis.nodeIds.size(); ++i) {
    index.emplace(basis.nodeIds[i], static_cast<std::int64_t>(i));
  }
  return index;
}

// Place (point * 3 + component - 1) of every row of the basis, or -1.
std::vector<std::int64_t> RowPlaces(const Basis& basis) {
  const auto index = PointIndex(basis);
  std::vector<std::int64_t> places(static_cast<std::size_t>(basis.NumDofs()), -1);
  for (std::size_t row = 0; row < places.size(); ++row) {
    const auto point = index.find(basis.dofNodes[row]);
    const int component = basis.dofComponents[row];
    if (point != index.end() && component >= 1 && component <= 3) {
      places[row] = point->second * 3 + component - 1;
    }
  }
  return places;
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

// Reads a rank-2 dataset of {r, i} compounds.
std::vector<std::complex<double>> ReadComplex(Hdf5File& file, const std::string& path,
                                              std::int64_t count) {
  std::vector<std::complex<double>> values(static_cast<std::size_t>(count));
  const Hdf5Handle dataset(H5Dopen2(file.Id(), path.c_str(), H5P_DEFAULT));
  const Hdf5Handle type = Hdf5ComplexType();
  if (!dataset.Valid() ||
      H5Dread(dataset.Id(), type.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0) {
    throw Error(file.Path() + ": dataset '" + path + "' cannot be read as complex values");
  }
  return values;
}

}  // namespace

std::vector<std::int64_t> XdmfTopology(const Basis& basis) {
  std::vector<std::int64_t> topology;
  const auto numPoints = static_cast<std::int64_t>(basis.nodeIds.size());
  if (basis.elementTypes.empty()) {
    for (std::int64_t point = 0; point < numPoints; ++point) topology.push_back(point);
    return topology;
  }
  const auto index = PointIndex(basis);
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

XdmfWriter::XdmfWriter(const std::string& xdmfPath, const Basis& basis,
                       const std::string& basisFile, Hdf5File& results,
                       const std::string& resultsName, const std::vector<std::string>& analyses)
    : path_(xdmfPath) {
  if (basis.nodeIds.empty() || basis.nodeCoordinates.size() != 3 * basis.nodeIds.size()) return;
  const auto numPoints = static_cast<std::int64_t>(basis.nodeIds.size());
  const std::vector<std::int64_t> pointDims{numPoints, 3};
  const std::vector<std::int64_t> places = RowPlaces(basis);
  const std::int64_t numDofs = basis.NumDofs();
  // Point vectors (numPoints x 3) of one row vector over the basis's DOFs.
  auto toPoints = [&](auto value) {
    std::vector<double> vectors(static_cast<std::size_t>(3 * numPoints), 0.0);
    for (std::int64_t row = 0; row < numDofs; ++row) {
      if (places[row] >= 0) vectors[places[row]] = value(row);
    }
    return vectors;
  };

  const std::vector<std::int64_t> topology = XdmfTopology(basis);
  results.Write("/view/coordinates", basis.nodeCoordinates, pointDims);
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
  // Point vectors of every mode (modes x points x 3), from the basis or its
  // file (rows i0 .. i1 of Phi as a (modes, rows) hyperslab at a time).
  const int numModes = basis.NumModes();
  std::vector<double> modeVectors(static_cast<std::size_t>(numModes) * 3 * numPoints, 0.0);
  const std::int64_t blockRows = basis.modes.empty() ? BasisChunkRows(numDofs, numModes) : numDofs;
  std::vector<double> block;
  std::unique_ptr<Hdf5File> basisHdf5;
  if (basis.modes.empty()) basisHdf5 = std::make_unique<Hdf5File>(Hdf5File::Open(basisFile));
  for (std::int64_t first = 0; first < numDofs; first += blockRows) {
    const std::int64_t count = std::min(blockRows, numDofs - first);
    if (basisHdf5) {
      block.resize(static_cast<std::size_t>(numModes * count));
      basisHdf5->ReadColumns("modes", first, count, block.data());
    }
    for (int k = 0; k < numModes; ++k) {
      double* vectors = modeVectors.data() + static_cast<std::size_t>(k) * 3 * numPoints;
      for (std::int64_t row = first; row < first + count; ++row) {
        if (places[row] < 0) continue;
        vectors[places[row]] = basisHdf5 ? block[k * count + row - first]
                                         : basis.modes[static_cast<std::size_t>(k * numDofs + row)];
      }
    }
  }
  for (int k = 0; k < numModes; ++k) {
    const std::string dataset = "/view/modes/mode_" + std::to_string(k + 1);
    const auto first = modeVectors.begin() + static_cast<std::ptrdiff_t>(k) * 3 * numPoints;
    results.Write(dataset, std::vector<double>(first, first + 3 * numPoints), pointDims);
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
    const auto count = static_cast<std::int64_t>(frames.size()) * numDofs;
    std::vector<std::complex<double>> complexField;
    std::vector<double> realField;
    if (harmonic) {
      complexField = ReadComplex(results, group + "/field/displacement", count);
    } else {
      realField = results.ReadDoubles(group + "/field/displacement", dims);
    }
    xml << "<Grid Name=\"" << EscapeXml(analysis)
        << "\" GridType=\"Collection\" CollectionType=\"Temporal\">\n";
    for (std::size_t j = 0; j < frames.size(); ++j) {
      const std::size_t offset = j * static_cast<std::size_t>(numDofs);
      const std::string base = "/view" + group + "/frame_" + std::to_string(j);
      xml << "<Grid Name=\"" << EscapeXml(analysis) << " frame " << frames[j]
          << "\" GridType=\"Uniform\">\n<Time Value=\""
          << frameValues.at(static_cast<std::size_t>(frames[j])) << "\"/>\n"
          << mesh.str();
      if (harmonic) {
        const auto* u = complexField.data() + offset;
        results.Write(base + "/real", toPoints([&](std::int64_t row) { return u[row].real(); }),
                      pointDims);
        results.Write(base + "/imaginary",
                      toPoints([&](std::int64_t row) { return u[row].imag(); }), pointDims);
        results.Write(base + "/magnitude",
                      toPoints([&](std::int64_t row) { return std::abs(u[row]); }), pointDims);
        xml << attribute("displacement real", base + "/real")
            << attribute("displacement imaginary", base + "/imaginary")
            << attribute("displacement magnitude", base + "/magnitude");
      } else {
        const double* u = realField.data() + offset;
        results.Write(base + "/displacement", toPoints([&](std::int64_t row) { return u[row]; }),
                      pointDims);
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
