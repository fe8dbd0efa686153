#include "NpyImport.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "BasisFile.h"
#include "Error.h"

namespace qvadyn {

namespace {

template <typename T>
void Convert(const std::vector<char>& raw, std::vector<double>& out) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    T value;
    std::memcpy(&value, raw.data() + i * sizeof(T), sizeof(T));
    out[i] = static_cast<double>(value);
  }
}

std::int64_t WholeNumber(double value, const std::string& path, std::size_t index) {
  if (!std::isfinite(value) || value != std::floor(value)) {
    throw Error(path + ": entry " + std::to_string(index) + " is not a whole number");
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace

NpyArray ReadNpy(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path + ": cannot open the file");
  char magic[8] = {};
  in.read(magic, 8);
  if (!in || std::memcmp(magic, "\x93NUMPY", 6) != 0) throw Error(path + ": not a .npy file");
  std::uint32_t headerLength = 0;
  if (magic[6] == 1) {
    unsigned char bytes[2] = {};
    in.read(reinterpret_cast<char*>(bytes), 2);
    headerLength = bytes[0] | (bytes[1] << 8u);
  } else {
    unsigned char bytes[4] = {};
    in.read(reinterpret_cast<char*>(bytes), 4);
    headerLength = bytes[0] | (bytes[1] << 8u) | (bytes[2] << 16u) | (bytes[3] << 24u);
  }
  std::string header(headerLength, '\0');
  in.read(header.data(), headerLength);
  if (!in) throw Error(path + ": truncated .npy header");

  std::smatch match;
  if (!std::regex_search(header, match, std::regex("'descr'\\s*:\\s*'([^']*)'"))) {
    throw Error(path + ": .npy header without 'descr'");
  }
  const std::string descr = match[1];
  const bool fortran = std::regex_search(header, std::regex("'fortran_order'\\s*:\\s*True"));
  if (!std::regex_search(header, match, std::regex("'shape'\\s*:\\s*\\(([^)]*)\\)"))) {
    throw Error(path + ": .npy header without 'shape'");
  }
  NpyArray array;
  const std::string dims = match[1];
  const std::regex number("\\d+");
  for (std::sregex_iterator it(dims.begin(), dims.end(), number), end; it != end; ++it) {
    array.shape.push_back(std::stoll(it->str()));
  }
  std::size_t count = 1;
  for (std::int64_t extent : array.shape) count *= static_cast<std::size_t>(extent);

  static const std::vector<std::pair<std::string, std::size_t>> kTypes = {
      {"<f8", 8}, {"<f4", 4}, {"<i8", 8}, {"<i4", 4}, {"|i1", 1}, {"<u8", 8}, {"<u4", 4}};
  std::size_t size = 0;
  for (const auto& [name, bytes] : kTypes) {
    if (descr == name) size = bytes;
  }
  if (size == 0) {
    throw Error(path + ": element type '" + descr +
                "' is not supported (float64, float32, int64 or int32, little-endian)");
  }
  std::vector<char> raw(count * size);
  in.read(raw.data(), static_cast<std::streamsize>(raw.size()));
  if (static_cast<std::size_t>(in.gcount()) != raw.size()) {
    throw Error(path + ": holds fewer values than its shape needs");
  }
  array.values.resize(count);
  if (descr == "<f8") Convert<double>(raw, array.values);
  if (descr == "<f4") Convert<float>(raw, array.values);
  if (descr == "<i8") Convert<std::int64_t>(raw, array.values);
  if (descr == "<i4") Convert<std::int32_t>(raw, array.values);
  if (descr == "|i1") Convert<std::int8_t>(raw, array.values);
  if (descr == "<u8") Convert<std::uint64_t>(raw, array.values);
  if (descr == "<u4") Convert<std::uint32_t>(raw, array.values);
  if (fortran && array.shape.size() == 2) {
    const std::size_t rows = static_cast<std::size_t>(array.shape[0]);
    const std::size_t columns = static_cast<std::size_t>(array.shape[1]);
    std::vector<double> ordered(count);
    for (std::size_t j = 0; j < columns; ++j) {
      for (std::size_t i = 0; i < rows; ++i) ordered[i * columns + j] = array.values[i + j * rows];
    }
    array.values = std::move(ordered);
  } else if (fortran && array.shape.size() > 2) {
    throw Error(path + ": Fortran-ordered arrays of rank above 2 are not supported");
  }
  return array;
}

Basis ImportNpyFolder(const std::string& folder) {
  const std::filesystem::path root(folder);
  if (!std::filesystem::is_directory(root)) throw Error(folder + ": not a folder");
  const auto file = [&](const char* name) { return (root / name).string(); };
  const auto shape = [](const std::vector<std::int64_t>& dims) {
    std::string text = "(";
    for (std::size_t i = 0; i < dims.size(); ++i) text += (i ? ", " : "") + std::to_string(dims[i]);
    return text + ")";
  };

  Basis basis;
  basis.source = "npy";
  const NpyArray eigenvalues = ReadNpy(file("eigenvalues.npy"));
  if (eigenvalues.shape.size() != 1) {
    throw Error(file("eigenvalues.npy") + ": shape " + shape(eigenvalues.shape) +
                ", expected (modes,)");
  }
  basis.eigenvalues = eigenvalues.values;
  const std::int64_t modes = eigenvalues.shape[0];

  const NpyArray dofmap = ReadNpy(file("dofmap.npy"));
  if (dofmap.shape.size() != 2 || dofmap.shape[1] != 2) {
    throw Error(file("dofmap.npy") + ": shape " + shape(dofmap.shape) +
                ", expected (DOFs, 2): node id and component per row");
  }
  const std::int64_t dofs = dofmap.shape[0];
  for (std::size_t i = 0; i < dofmap.values.size(); i += 2) {
    basis.dofNodes.push_back(WholeNumber(dofmap.values[i], file("dofmap.npy"), i / 2));
    basis.dofComponents.push_back(
        static_cast<std::int32_t>(WholeNumber(dofmap.values[i + 1], file("dofmap.npy"), i / 2)));
  }

  const NpyArray shapes = ReadNpy(file("modes.npy"));
  if (shapes.shape != std::vector<std::int64_t>{dofs, modes}) {
    throw Error(file("modes.npy") + ": shape " + shape(shapes.shape) + ", expected (" +
                std::to_string(dofs) + ", " + std::to_string(modes) +
                "): rows of dofmap.npy x entries of eigenvalues.npy");
  }
  // C order (DOFs, modes) into column-major DOFs x modes.
  basis.modes.resize(shapes.values.size());
  for (std::int64_t row = 0; row < dofs; ++row) {
    for (std::int64_t k = 0; k < modes; ++k) {
      basis.modes[static_cast<std::size_t>(row + k * dofs)] =
          shapes.values[static_cast<std::size_t>(row * modes + k)];
    }
  }

  if (std::filesystem::exists(file("nodes.npy"))) {
    const NpyArray nodes = ReadNpy(file("nodes.npy"));
    if (nodes.shape.size() != 2 || nodes.shape[1] != 4) {
      throw Error(file("nodes.npy") + ": shape " + shape(nodes.shape) +
                  ", expected (nodes, 4): node id, x, y, z per row");
    }
    for (std::size_t i = 0; i < nodes.values.size(); i += 4) {
      basis.nodeIds.push_back(WholeNumber(nodes.values[i], file("nodes.npy"), i / 4));
      basis.nodeCoordinates.insert(basis.nodeCoordinates.end(),
                                   nodes.values.begin() + static_cast<long>(i) + 1,
                                   nodes.values.begin() + static_cast<long>(i) + 4);
    }
  }
  ValidateBasis(basis, folder);
  return basis;
}

}  // namespace qvadyn
