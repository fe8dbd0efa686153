#include "BasisFile.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>
#include <set>
#include <sstream>
#include <utility>

#include "AtomicFile.h"
#include "Error.h"
#include "Hdf5.h"

#ifdef QVA_WITH_MPI
#include <mpi.h>
#endif

namespace qvadyn {

namespace {

constexpr char kFormat[] = "qvadyn-basis";
constexpr std::int64_t kVersion = 1;

std::string Entry(std::size_t index, const std::vector<std::int64_t>& dims) {
  if (dims.size() != 2) return "entry " + std::to_string(index);
  const std::size_t columns = static_cast<std::size_t>(dims[1]);
  return "entry [" + std::to_string(index / columns) + ", " + std::to_string(index % columns) + "]";
}

void RequireFinite(std::span<const double> values, const std::vector<std::int64_t>& dims,
                   const std::string& where, const std::string& name) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i])) {
      throw Error(where + ": dataset '" + name + "': " + Entry(i, dims) + " is " +
                  (std::isnan(values[i]) ? "NaN" : "infinite"));
    }
  }
}

std::string Shape(const std::vector<std::int64_t>& dims) {
  std::string text = "(";
  for (std::size_t i = 0; i < dims.size(); ++i) {
    text += (i ? ", " : "") + std::to_string(dims[i]);
  }
  return text + (dims.size() == 1 ? ",)" : ")");
}

void RequireShape(const std::vector<std::int64_t>& dims, const std::vector<std::int64_t>& expected,
                  const std::string& where, const std::string& name, const std::string& meaning) {
  if (dims != expected) {
    throw Error(where + ": dataset '" + name + "' has shape " + Shape(dims) + ", expected " +
                Shape(expected) + " (" + meaning + ")");
  }
}

// Entries [k, firstRow + i] of `count` rows of the mode shapes (count x
// modes, column-major).
void RequireFiniteRows(const double* values, int modes, std::int64_t firstRow, std::int64_t count,
                       const std::string& where) {
  for (int k = 0; k < modes; ++k) {
    for (std::int64_t i = 0; i < count; ++i) {
      const double value = values[static_cast<std::size_t>(i + k * count)];
      if (std::isfinite(value)) continue;
      throw Error(where + ": dataset 'modes': entry [" + std::to_string(k) + ", " +
                  std::to_string(firstRow + i) + "] is " +
                  (std::isnan(value) ? "NaN" : "infinite"));
    }
  }
}

// The largest of `value` over the processes, the same on every one.
std::int64_t LargestOverProcesses(std::int64_t value) {
  CheckPeers();
#ifdef QVA_WITH_MPI
  MPI_Allreduce(MPI_IN_PLACE, &value, 1, MPI_INT64_T, MPI_MAX, MPI_COMM_WORLD);
#endif
  return value;
}

template <typename T>
std::vector<T> Narrow(const std::vector<std::int64_t>& values) {
  return std::vector<T>(values.begin(), values.end());
}

}  // namespace

std::int64_t BasisChunkRows(std::int64_t numDofs, int numModes) {
  const std::int64_t rows = (std::int64_t{1} << 20) / (8 * std::max(numModes, 1));
  return std::clamp<std::int64_t>(rows, 1, std::max<std::int64_t>(numDofs, 1));
}

void ValidateBasis(const Basis& basis, const std::string& where, bool checkModes) {
  const std::int64_t dofs = basis.NumDofs();
  const std::int64_t modes = basis.NumModes();
  if (modes == 0) throw Error(where + ": dataset 'eigenvalues' is empty: the basis has no modes");
  if (checkModes && static_cast<std::int64_t>(basis.ModeShapes().size()) != dofs * modes) {
    throw Error(where + ": dataset 'modes' holds " + std::to_string(basis.ModeShapes().size()) +
                " values, expected " + std::to_string(modes) + " modes x " + std::to_string(dofs) +
                " DOFs of 'dofmap'");
  }
  RequireFinite(basis.eigenvalues, {modes}, where, "eigenvalues");
  if (checkModes) RequireFinite(basis.ModeShapes(), {modes, dofs}, where, "modes");
  RequireFinite(basis.nodeCoordinates, {static_cast<std::int64_t>(basis.nodeIds.size()), 3}, where,
                "nodes/coordinates");
  RequireFinite(basis.viscousDamping, {modes, modes}, where, "damping/viscous");
  RequireFinite(basis.structuralDamping, {modes, modes}, where, "damping/structural");
  RequireFinite(basis.mass.values, {static_cast<std::int64_t>(basis.mass.values.size())}, where,
                "mass/values");

  double largest = 0.0;
  for (double value : basis.eigenvalues) largest = std::max(largest, std::fabs(value));
  // Rigid-body modes come out of an eigensolver as tiny values of either
  // sign; anything more negative than round-off of the largest is wrong.
  const double roundOff = 1e-10 * largest;
  for (std::size_t k = 0; k < basis.eigenvalues.size(); ++k) {
    if (basis.eigenvalues[k] < -roundOff) {
      std::ostringstream text;
      text << where << ": dataset 'eigenvalues': entry " << k << " is negative ("
           << basis.eigenvalues[k] << ")";
      throw Error(text.str());
    }
  }

  if (basis.dofComponents.size() != basis.dofNodes.size()) {
    throw Error(where + ": dataset 'dofmap' has " + std::to_string(basis.dofNodes.size()) +
                " node ids and " + std::to_string(basis.dofComponents.size()) + " components");
  }
  for (std::size_t row = 0; row < basis.dofNodes.size(); ++row) {
    const int component = basis.dofComponents[row];
    if (component < 1 || component > 6) {
      throw Error(where + ": dataset 'dofmap': row " + std::to_string(row) + " has component " +
                  std::to_string(component) + ", expected 1 to 6");
    }
  }
  // Repeated DOFs: a sorted copy finds whether there are any; only then the
  // rows are walked to name the first repetition.
  std::vector<std::pair<std::int64_t, int>> keys(basis.dofNodes.size());
  for (std::size_t row = 0; row < keys.size(); ++row) {
    keys[row] = {basis.dofNodes[row], basis.dofComponents[row]};
  }
  std::sort(keys.begin(), keys.end());
  if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) {
    std::set<std::pair<std::int64_t, int>> seen;
    for (std::size_t row = 0; row < basis.dofNodes.size(); ++row) {
      if (seen.emplace(basis.dofNodes[row], basis.dofComponents[row]).second) continue;
      throw Error(where + ": dataset 'dofmap': row " + std::to_string(row) + " repeats node " +
                  std::to_string(basis.dofNodes[row]) + " component " +
                  std::to_string(basis.dofComponents[row]));
    }
  }
  if (basis.nodeCoordinates.size() != 3 * basis.nodeIds.size()) {
    throw Error(where + ": dataset 'nodes/coordinates' has " +
                std::to_string(basis.nodeCoordinates.size() / 3) + " rows for " +
                std::to_string(basis.nodeIds.size()) + " node ids");
  }
  if (!basis.nodeIds.empty()) {
    std::vector<std::int64_t> known = basis.nodeIds;
    std::sort(known.begin(), known.end());
    if (std::adjacent_find(known.begin(), known.end()) != known.end()) {
      std::set<std::int64_t> seen;
      for (std::size_t i = 0; i < basis.nodeIds.size(); ++i) {
        if (seen.insert(basis.nodeIds[i]).second) continue;
        throw Error(where + ": dataset 'nodes/ids': entry " + std::to_string(i) + " repeats node " +
                    std::to_string(basis.nodeIds[i]));
      }
    }
    for (std::size_t row = 0; row < basis.dofNodes.size(); ++row) {
      if (std::binary_search(known.begin(), known.end(), basis.dofNodes[row])) continue;
      throw Error(where + ": dataset 'dofmap': row " + std::to_string(row) + " names node " +
                  std::to_string(basis.dofNodes[row]) + ", which is not in 'nodes/ids'");
    }
  }
  const std::size_t square = static_cast<std::size_t>(modes * modes);
  for (const auto& [matrix, name] : {std::pair{&basis.viscousDamping, "damping/viscous"},
                                     std::pair{&basis.structuralDamping, "damping/structural"}}) {
    if (!matrix->empty() && matrix->size() != square) {
      throw Error(where + ": dataset '" + name + "' is not " + std::to_string(modes) + " x " +
                  std::to_string(modes));
    }
  }
  if (!basis.mass.Empty()) {
    const SparseMatrix& mass = basis.mass;
    if (static_cast<std::int64_t>(mass.rowStart.size()) != dofs + 1 || mass.rowStart.front() != 0 ||
        mass.rowStart.back() != static_cast<std::int64_t>(mass.values.size()) ||
        mass.columns.size() != mass.values.size()) {
      throw Error(where + ": dataset 'mass/row_start' does not describe " + std::to_string(dofs) +
                  " rows over " + std::to_string(mass.values.size()) + " values");
    }
    for (std::size_t row = 0; row + 1 < mass.rowStart.size(); ++row) {
      if (mass.rowStart[row + 1] < mass.rowStart[row]) {
        throw Error(where + ": dataset 'mass/row_start': entry " + std::to_string(row + 1) +
                    " decreases");
      }
    }
    for (std::size_t i = 0; i < mass.columns.size(); ++i) {
      if (mass.columns[i] < 0 || mass.columns[i] >= dofs) {
        throw Error(where + ": dataset 'mass/columns': entry " + std::to_string(i) + " is " +
                    std::to_string(mass.columns[i]) + ", outside 0 to " + std::to_string(dofs - 1));
      }
    }
  }
}

void WriteBasisFile(const std::string& path, const Basis& basis) {
  ValidateBasis(basis, path);
  AtomicFile output(path);
  {
    Hdf5File file = Hdf5File::Create(output.TemporaryPath());
    file.WriteAttribute("/", "format", kFormat);
    file.WriteAttribute("/", "version", kVersion);
    file.WriteAttribute("/", "units", basis.units);
    file.WriteAttribute("/", "source", basis.source);
    file.WriteAttribute("/", "num_residual_modes", std::int64_t{basis.numResidualModes});
    file.WriteAttribute("/", "num_acoustic_modes", std::int64_t{basis.numAcousticModes});
    const std::int64_t dofs = basis.NumDofs();
    const std::int64_t modes = basis.NumModes();
    file.Write("eigenvalues", basis.eigenvalues, {modes});
    file.Write("modes", basis.ModeShapes(), {modes, dofs},
               {modes, BasisChunkRows(dofs, basis.NumModes())});
    std::vector<std::int64_t> dofmap;
    dofmap.reserve(basis.dofNodes.size() * 2);
    for (std::size_t row = 0; row < basis.dofNodes.size(); ++row) {
      dofmap.push_back(basis.dofNodes[row]);
      dofmap.push_back(basis.dofComponents[row]);
    }
    file.Write("dofmap", dofmap, {dofs, 2});
    if (!basis.nodeIds.empty()) {
      const std::int64_t nodes = static_cast<std::int64_t>(basis.nodeIds.size());
      file.Write("nodes/ids", basis.nodeIds, {nodes});
      file.Write("nodes/coordinates", basis.nodeCoordinates, {nodes, 3});
    }
    if (!basis.elementTypes.empty()) {
      const std::int64_t elements = static_cast<std::int64_t>(basis.elementTypes.size());
      file.Write("elements/types", basis.elementTypes, {elements});
      file.Write("elements/offsets", basis.elementOffsets, {elements + 1});
      file.Write("elements/connectivity", basis.elementNodes,
                 {static_cast<std::int64_t>(basis.elementNodes.size())});
    }
    if (!basis.viscousDamping.empty())
      file.Write("damping/viscous", basis.viscousDamping, {modes, modes});
    if (!basis.structuralDamping.empty()) {
      file.Write("damping/structural", basis.structuralDamping, {modes, modes});
    }
    if (!basis.mass.Empty()) {
      file.Write("mass/row_start", basis.mass.rowStart, {dofs + 1});
      const std::int64_t count = static_cast<std::int64_t>(basis.mass.values.size());
      file.Write("mass/columns", basis.mass.columns, {count});
      file.Write("mass/values", basis.mass.values, {count});
    }
    file.Close();
  }
  output.Commit();
}

Basis ReadBasisFile(const std::string& path, bool withModes) {
  const Hdf5File file = Hdf5File::Open(path);
  if (!file.HasAttribute("/", "format") || file.ReadStringAttribute("/", "format") != kFormat) {
    throw Error(path + ": not a basis file (root attribute 'format' is not '" + kFormat + "')");
  }
  const std::int64_t version = file.ReadIntAttribute("/", "version");
  if (version != kVersion) {
    throw Error(path + ": basis file version " + std::to_string(version) +
                " is not supported (this program reads version " + std::to_string(kVersion) + ")");
  }
  Basis basis;
  if (file.HasAttribute("/", "units")) basis.units = file.ReadStringAttribute("/", "units");
  if (file.HasAttribute("/", "source")) basis.source = file.ReadStringAttribute("/", "source");
  if (file.HasAttribute("/", "num_residual_modes")) {
    basis.numResidualModes = static_cast<int>(file.ReadIntAttribute("/", "num_residual_modes"));
  }
  if (file.HasAttribute("/", "num_acoustic_modes")) {
    basis.numAcousticModes = static_cast<int>(file.ReadIntAttribute("/", "num_acoustic_modes"));
  }

  std::vector<std::int64_t> dims;
  basis.eigenvalues = file.ReadDoubles("eigenvalues", dims);
  if (dims.size() != 1) {
    throw Error(path + ": dataset 'eigenvalues' has shape " + Shape(dims) + ", expected (modes,)");
  }
  const std::int64_t modes = dims[0];
  const std::vector<std::int64_t> dofmap = file.ReadInts("dofmap", dims);
  if (dims.size() != 2 || dims[1] != 2) {
    throw Error(path + ": dataset 'dofmap' has shape " + Shape(dims) +
                ", expected (DOFs, 2): node id and component per row");
  }
  const std::int64_t dofs = dims[0];
  for (std::int64_t row = 0; row < dofs; ++row) {
    basis.dofNodes.push_back(dofmap[static_cast<std::size_t>(2 * row)]);
    basis.dofComponents.push_back(
        static_cast<std::int32_t>(dofmap[static_cast<std::size_t>(2 * row + 1)]));
  }
  const Hdf5DatasetInfo shapes = file.Info("modes");
  if (shapes.typeClass != H5T_FLOAT) throw Error(path + ": dataset 'modes' does not hold floats");
  RequireShape(shapes.dims, {modes, dofs}, path, "modes",
               "modes of 'eigenvalues' x rows of 'dofmap'");
  if (withModes) {
    basis.modes.resize(static_cast<std::size_t>(modes * dofs));
    if (!basis.modes.empty()) file.ReadAll("modes", basis.modes.data());
  }

  if (file.Exists("nodes/ids")) {
    basis.nodeIds = file.ReadInts("nodes/ids", dims);
    const std::int64_t nodes = static_cast<std::int64_t>(basis.nodeIds.size());
    RequireShape(dims, {nodes}, path, "nodes/ids", "node ids");
    basis.nodeCoordinates = file.ReadDoubles("nodes/coordinates", dims);
    RequireShape(dims, {nodes, 3}, path, "nodes/coordinates", "x, y, z per entry of 'nodes/ids'");
  }
  if (file.Exists("elements/types")) {
    basis.elementTypes = Narrow<std::int32_t>(file.ReadInts("elements/types", dims));
    const std::int64_t elements = static_cast<std::int64_t>(basis.elementTypes.size());
    basis.elementOffsets = file.ReadInts("elements/offsets", dims);
    RequireShape(dims, {elements + 1}, path, "elements/offsets", "one more than elements");
    basis.elementNodes = file.ReadInts("elements/connectivity", dims);
  }
  for (const auto& [target, name] : {std::pair{&basis.viscousDamping, "damping/viscous"},
                                     std::pair{&basis.structuralDamping, "damping/structural"}}) {
    if (!file.Exists(name)) continue;
    *target = file.ReadDoubles(name, dims);
    RequireShape(dims, {modes, modes}, path, name, "modes x modes");
  }
  if (file.Exists("mass/values")) {
    basis.mass.rowStart = file.ReadInts("mass/row_start", dims);
    RequireShape(dims, {dofs + 1}, path, "mass/row_start", "rows of 'dofmap' + 1");
    basis.mass.columns = file.ReadInts("mass/columns", dims);
    basis.mass.values = file.ReadDoubles("mass/values", dims);
    RequireShape(dims, {static_cast<std::int64_t>(basis.mass.columns.size())}, path, "mass/values",
                 "one per entry of 'mass/columns'");
  }
  ValidateBasis(basis, path, withModes);
  return basis;
}

void ReadModeShapes(
    const std::string& path, int modes, RowBlock rows,
    const std::function<void(std::int64_t firstRow, std::int64_t count, double* values)>& take) {
  const std::int64_t blockRows = BasisChunkRows(rows.count, modes);
  std::vector<double> values(static_cast<std::size_t>(blockRows * modes));
  const bool collective = Distributed();
  // Every process makes as many collective reads as the one with the most
  // blocks; nothing between the open and the close may leave the loop early.
  std::int64_t blocks = (rows.count + blockRows - 1) / blockRows;
  if (collective) blocks = LargestOverProcesses(blocks);
  std::exception_ptr failure;
  {
    const Hdf5File file = Hdf5File::OpenShared(path);
    for (std::int64_t block = 0; block < blocks; ++block) {
      // Alone, a process stops at its first failure; among others it goes
      // on, reading nothing, as it does past its own rows.
      if (failure && !collective) break;
      const std::int64_t first = rows.first + block * blockRows;
      const std::int64_t count =
          failure ? 0 : std::clamp<std::int64_t>(rows.first + rows.count - first, 0, blockRows);
      try {
        file.ReadColumns("modes", first, count, values.data());
        RequireFiniteRows(values.data(), modes, first, count, path);
        if (count > 0) take(first, count, values.data());
      } catch (...) {
        failure = std::current_exception();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

std::string DescribeBasis(const Basis& basis, const std::string& path) {
  std::ostringstream out;
  const std::set<std::int64_t> nodes(basis.dofNodes.begin(), basis.dofNodes.end());
  const auto hertz = [](double eigenvalue) {
    return std::sqrt(std::max(eigenvalue, 0.0)) / (2.0 * std::numbers::pi);
  };
  const auto [low, high] = std::minmax_element(basis.eigenvalues.begin(), basis.eigenvalues.end());
  out << path << "\n"
      << "  source      " << (basis.source.empty() ? "-" : basis.source) << "\n"
      << "  units       " << (basis.units.empty() ? "-" : basis.units) << "\n"
      << "  DOFs        " << basis.NumDofs() << "\n"
      << "  nodes       " << nodes.size() << " with DOFs"
      << (basis.nodeIds.empty() ? ", no coordinates"
                                : ", " + std::to_string(basis.nodeIds.size()) + " with coordinates")
      << "\n"
      << "  modes       " << basis.NumModes();
  if (basis.numResidualModes > 0) out << " (" << basis.numResidualModes << " residual)";
  if (basis.numAcousticModes > 0) out << " (" << basis.numAcousticModes << " acoustic)";
  out << "\n  frequencies " << hertz(*low) << " to " << hertz(*high) << " Hz\n";
  out << "  elements    " << basis.elementTypes.size() << "\n";
  out << "  damping     "
      << (basis.viscousDamping.empty() && basis.structuralDamping.empty()
              ? std::string("none stored")
              : std::string(basis.viscousDamping.empty() ? "" : "viscous ") +
                    (basis.structuralDamping.empty() ? "" : "structural"))
      << "\n";
  if (basis.mass.Empty()) {
    out << "  mass        none stored (no orthogonality check, no participation factors)\n";
    return out.str();
  }
  // M Phi row by row from the compressed rows, then Phi^T (M Phi) by dgemm.
  const std::size_t dofs = static_cast<std::size_t>(basis.NumDofs());
  const int modes = basis.NumModes();
  const std::span<const double> shapes = basis.ModeShapes();
  std::vector<double> massTimesModes(shapes.size(), 0.0);
  for (std::size_t row = 0; row < dofs; ++row) {
    for (std::int64_t e = basis.mass.rowStart[row]; e < basis.mass.rowStart[row + 1]; ++e) {
      const std::size_t column =
          static_cast<std::size_t>(basis.mass.columns[static_cast<std::size_t>(e)]);
      const double value = basis.mass.values[static_cast<std::size_t>(e)];
      for (int k = 0; k < modes; ++k) {
        massTimesModes[row + k * dofs] += value * shapes[column + k * dofs];
      }
    }
  }
  std::vector<double> gram(static_cast<std::size_t>(modes) * static_cast<std::size_t>(modes));
  cblas_dgemm(CblasColMajor, CblasTrans, CblasNoTrans, modes, modes, static_cast<int>(dofs), 1.0,
              shapes.data(), static_cast<int>(dofs), massTimesModes.data(), static_cast<int>(dofs),
              0.0, gram.data(), modes);
  double worst = 0.0;
  for (int j = 0; j < modes; ++j) {
    for (int i = 0; i < modes; ++i) {
      worst = std::max(worst, std::fabs(gram[static_cast<std::size_t>(i + j * modes)] - (i == j)));
    }
  }
  out << "  mass        " << basis.mass.values.size()
      << " stored entries; max |Phi^T M Phi - I| = " << worst << "\n";
  return out.str();
}

}  // namespace qvadyn
