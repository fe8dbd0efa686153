#include "Hdf5.h"

#include <cstdio>
#include <utility>

#include "Distribution.h"
#include "Error.h"

namespace qvadyn {

namespace {

// HDF5 prints its own error stack by default; the application reports
// failures through its exceptions instead.
void SilenceHdf5() {
  static const bool silenced = [] {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    return true;
  }();
  (void)silenced;
}

std::vector<hsize_t> Dims(const std::vector<std::int64_t>& dims) {
  return std::vector<hsize_t>(dims.begin(), dims.end());
}

Hdf5Handle Check(hid_t id, const std::string& what) {
  if (id < 0) throw Error(what);
  return Hdf5Handle(id);
}

void Check(herr_t status, const std::string& what) {
  if (status < 0) throw Error(what);
}

// Selects [first, first + count) along `axis` of the rank-2 file space
// `space` of extent `shape` (nothing for an empty block) and returns the
// memory space of the block.
Hdf5Handle SelectBlock(const Hdf5Handle& space, const hsize_t shape[2], int axis,
                       std::int64_t first, std::int64_t count) {
  hsize_t start[2] = {0, 0};
  hsize_t block[2] = {shape[0], shape[1]};
  start[axis] = static_cast<hsize_t>(first);
  block[axis] = static_cast<hsize_t>(count);
  Hdf5Handle memory(H5Screate_simple(2, block, nullptr));
  if (block[0] * block[1] == 0) {
    H5Sselect_none(space.Id());
    H5Sselect_none(memory.Id());
  } else {
    H5Sselect_hyperslab(space.Id(), H5S_SELECT_SET, start, nullptr, block, nullptr);
  }
  return memory;
}

// Transfer properties of a block: collective over MPI-IO in a shared file.
Hdf5Handle BlockTransfer([[maybe_unused]] bool shared) {
  Hdf5Handle transfer(H5Pcreate(H5P_DATASET_XFER));
#ifdef QVA_WITH_MPI
  if (shared) H5Pset_dxpl_mpio(transfer.Id(), H5FD_MPIO_COLLECTIVE);
#endif
  return transfer;
}

}  // namespace

Hdf5Handle& Hdf5Handle::operator=(Hdf5Handle&& other) noexcept {
  std::swap(id_, other.id_);
  return *this;
}

Hdf5Handle::~Hdf5Handle() {
  if (id_ < 0) return;
  switch (H5Iget_type(id_)) {
    case H5I_FILE:
      H5Fclose(id_);
      break;
    case H5I_GROUP:
      H5Gclose(id_);
      break;
    case H5I_DATASET:
      H5Dclose(id_);
      break;
    case H5I_DATASPACE:
      H5Sclose(id_);
      break;
    case H5I_DATATYPE:
      H5Tclose(id_);
      break;
    case H5I_ATTR:
      H5Aclose(id_);
      break;
    case H5I_GENPROP_LST:
      H5Pclose(id_);
      break;
    default:
      break;
  }
}

Hdf5Handle Hdf5ComplexType() {
  Hdf5Handle type(H5Tcreate(H5T_COMPOUND, sizeof(std::complex<double>)));
  H5Tinsert(type.Id(), "r", 0, H5T_NATIVE_DOUBLE);
  H5Tinsert(type.Id(), "i", sizeof(double), H5T_NATIVE_DOUBLE);
  return type;
}

Hdf5File Hdf5File::Create(const std::string& path) {
  SilenceHdf5();
  Hdf5Handle access(H5Pcreate(H5P_FILE_ACCESS));
#ifdef QVA_WITH_MPI
  if (Distributed()) H5Pset_fapl_mpio(access.Id(), MPI_COMM_WORLD, MPI_INFO_NULL);
#endif
  const hid_t id = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.Id());
  return Hdf5File(path, Check(id, path + ": cannot create the file"), Distributed());
}

Hdf5File Hdf5File::OpenForUpdate(const std::string& path) {
  SilenceHdf5();
  const hid_t id = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  return Hdf5File(path, Check(id, path + ": cannot open the file"));
}

Hdf5File Hdf5File::CreateInMemory(const std::string& name) {
  SilenceHdf5();
  // The image grows in steps of 64 MiB and is never written to a backing file.
  Hdf5Handle access(H5Pcreate(H5P_FILE_ACCESS));
  H5Pset_fapl_core(access.Id(), std::size_t{64} << 20, 0);
  const hid_t id = H5Fcreate(name.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.Id());
  return Hdf5File(name, Check(id, name + ": cannot create the file in memory"));
}

Hdf5File Hdf5File::Open(const std::string& path) {
  SilenceHdf5();
  if (H5Fis_hdf5(path.c_str()) <= 0) {
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) throw Error(path + ": cannot open the file");
    std::fclose(probe);
    throw Error(path + ": not an HDF5 file");
  }
  const hid_t id = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  return Hdf5File(path, Check(id, path + ": cannot open the file"));
}

Hdf5File Hdf5File::OpenShared(const std::string& path) {
#ifdef QVA_WITH_MPI
  if (Distributed()) {
    SilenceHdf5();
    Hdf5Handle access(H5Pcreate(H5P_FILE_ACCESS));
    H5Pset_fapl_mpio(access.Id(), MPI_COMM_WORLD, MPI_INFO_NULL);
    const hid_t id = H5Fopen(path.c_str(), H5F_ACC_RDONLY, access.Id());
    return Hdf5File(path, Check(id, path + ": cannot open the file"), true);
  }
#endif
  return Open(path);
}

void Hdf5File::Close() {
  if (!file_.Valid()) return;
  const herr_t status = H5Fflush(file_.Id(), H5F_SCOPE_GLOBAL);
  file_ = Hdf5Handle();
  Check(status, path_ + ": cannot write the file");
  shared_ = false;
  if (deferredStrings_.empty() || Rank() != 0) return;
  file_ =
      Check(H5Fopen(path_.c_str(), H5F_ACC_RDWR, H5P_DEFAULT), path_ + ": cannot open the file");
  for (const auto& [path, values] : deferredStrings_) WriteStrings(path, values);
  deferredStrings_.clear();
  Close();
}

std::string Hdf5File::Where(const std::string& object) const {
  return path_ + ": '" + object + "'";
}

bool Hdf5File::Exists(const std::string& path) const {
  // Every link on the way must exist before the next one is asked for.
  std::size_t position = 0;
  while (position != std::string::npos) {
    position = path.find('/', position + 1);
    const std::string prefix = path.substr(0, position);
    if (prefix.empty() || prefix == "/") continue;
    if (H5Lexists(file_.Id(), prefix.c_str(), H5P_DEFAULT) <= 0) return false;
  }
  return true;
}

void Hdf5File::CreateGroup(const std::string& path) {
  if (Exists(path)) return;
  Hdf5Handle links(H5Pcreate(H5P_LINK_CREATE));
  H5Pset_create_intermediate_group(links.Id(), 1);
  Check(H5Gcreate2(file_.Id(), path.c_str(), links.Id(), H5P_DEFAULT, H5P_DEFAULT),
        Where(path) + ": cannot create the group");
}

void Hdf5File::WriteAttribute(const std::string& object, const std::string& name,
                              const std::string& value) {
  // Variable-length UTF-8, which h5py reads as str.
  Hdf5Handle type(H5Tcopy(H5T_C_S1));
  H5Tset_size(type.Id(), H5T_VARIABLE);
  H5Tset_cset(type.Id(), H5T_CSET_UTF8);
  Hdf5Handle space(H5Screate(H5S_SCALAR));
  const std::string what = Where(object) + ": cannot write attribute '" + name + "'";
  Hdf5Handle attribute =
      Check(H5Acreate_by_name(file_.Id(), object.c_str(), name.c_str(), type.Id(), space.Id(),
                              H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
            what);
  const char* text = value.c_str();
  Check(H5Awrite(attribute.Id(), type.Id(), &text), what);
}

void Hdf5File::WriteAttribute(const std::string& object, const std::string& name,
                              std::int64_t value) {
  Hdf5Handle space(H5Screate(H5S_SCALAR));
  Hdf5Handle attribute =
      Check(H5Acreate_by_name(file_.Id(), object.c_str(), name.c_str(), H5T_STD_I64LE, space.Id(),
                              H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
            Where(object) + ": cannot write attribute '" + name + "'");
  Check(H5Awrite(attribute.Id(), H5T_NATIVE_INT64, &value),
        Where(object) + ": cannot write attribute '" + name + "'");
}

bool Hdf5File::HasAttribute(const std::string& object, const std::string& name) const {
  return H5Aexists_by_name(file_.Id(), object.c_str(), name.c_str(), H5P_DEFAULT) > 0;
}

std::string Hdf5File::ReadStringAttribute(const std::string& object,
                                          const std::string& name) const {
  const std::string what = Where(object) + ": attribute '" + name + "'";
  Hdf5Handle attribute =
      Check(H5Aopen_by_name(file_.Id(), object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT),
            what + " is missing");
  Hdf5Handle type(H5Aget_type(attribute.Id()));
  if (H5Tget_class(type.Id()) != H5T_STRING) throw Error(what + " is not a string");
  if (H5Tis_variable_str(type.Id()) > 0) {
    char* text = nullptr;
    Check(H5Aread(attribute.Id(), type.Id(), &text), what + " cannot be read");
    std::string value = text != nullptr ? text : "";
    H5free_memory(text);
    return value;
  }
  std::string value(H5Tget_size(type.Id()), '\0');
  Check(H5Aread(attribute.Id(), type.Id(), value.data()), what + " cannot be read");
  value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
  return value;
}

std::int64_t Hdf5File::ReadIntAttribute(const std::string& object, const std::string& name) const {
  const std::string what = Where(object) + ": attribute '" + name + "'";
  Hdf5Handle attribute =
      Check(H5Aopen_by_name(file_.Id(), object.c_str(), name.c_str(), H5P_DEFAULT, H5P_DEFAULT),
            what + " is missing");
  Hdf5Handle type(H5Aget_type(attribute.Id()));
  if (H5Tget_class(type.Id()) != H5T_INTEGER) throw Error(what + " is not an integer");
  std::int64_t value = 0;
  Check(H5Aread(attribute.Id(), H5T_NATIVE_INT64, &value), what + " cannot be read");
  return value;
}

Hdf5Handle Hdf5File::OpenDataset(const std::string& path) const {
  if (!Exists(path)) throw Error(path_ + ": dataset '" + path + "' is missing");
  return Check(H5Dopen2(file_.Id(), path.c_str(), H5P_DEFAULT),
               path_ + ": '" + path + "' is not a dataset");
}

Hdf5DatasetInfo Hdf5File::Info(const std::string& path) const {
  Hdf5Handle dataset = OpenDataset(path);
  Hdf5Handle space(H5Dget_space(dataset.Id()));
  Hdf5Handle type(H5Dget_type(dataset.Id()));
  const int rank = H5Sget_simple_extent_ndims(space.Id());
  std::vector<hsize_t> dims(static_cast<std::size_t>(rank > 0 ? rank : 0));
  H5Sget_simple_extent_dims(space.Id(), dims.data(), nullptr);
  return {std::vector<std::int64_t>(dims.begin(), dims.end()), H5Tget_class(type.Id())};
}

void Hdf5File::WriteRaw(const std::string& path, hid_t type, const void* values,
                        const std::vector<std::int64_t>& dims,
                        const std::vector<std::int64_t>& chunk) {
  if (shared_) CheckPeers();
  // Every process holds the same values; one writes them.
  CreateDataset(path, type, values, dims, chunk, !shared_ || Rank() == 0);
}

void Hdf5File::CreateDataset(const std::string& path, hid_t type, const void* values,
                             const std::vector<std::int64_t>& dims,
                             const std::vector<std::int64_t>& chunk, bool withValues) {
  const std::vector<hsize_t> shape = Dims(dims);
  Hdf5Handle space(H5Screate_simple(static_cast<int>(shape.size()), shape.data(), nullptr));
  Hdf5Handle links(H5Pcreate(H5P_LINK_CREATE));
  H5Pset_create_intermediate_group(links.Id(), 1);
  Hdf5Handle creation(H5Pcreate(H5P_DATASET_CREATE));
  bool empty = false;
  for (std::int64_t extent : dims) empty = empty || extent == 0;
  if (!chunk.empty() && !empty) {
    const std::vector<hsize_t> chunkShape = Dims(chunk);
    H5Pset_chunk(creation.Id(), static_cast<int>(chunkShape.size()), chunkShape.data());
  }
  const std::string what = path_ + ": cannot write dataset '" + path + "'";
  Hdf5Handle dataset = Check(H5Dcreate2(file_.Id(), path.c_str(), type, space.Id(), links.Id(),
                                        creation.Id(), H5P_DEFAULT),
                             what);
  if (empty || !withValues) return;
  Check(H5Dwrite(dataset.Id(), type, H5S_ALL, H5S_ALL, H5P_DEFAULT, values), what);
}

void Hdf5File::WriteBlockRaw(const std::string& path, hid_t type, const void* values,
                             const std::vector<std::int64_t>& dims, int axis, std::int64_t first,
                             std::int64_t count) {
  if (shared_) CheckPeers();
  const std::vector<hsize_t> shape = Dims(dims);
  Hdf5Handle space(H5Screate_simple(2, shape.data(), nullptr));
  Hdf5Handle links(H5Pcreate(H5P_LINK_CREATE));
  H5Pset_create_intermediate_group(links.Id(), 1);
  const std::string what = path_ + ": cannot write dataset '" + path + "'";
  Hdf5Handle dataset = Check(
      H5Dcreate2(file_.Id(), path.c_str(), type, space.Id(), links.Id(), H5P_DEFAULT, H5P_DEFAULT),
      what);
  const Hdf5Handle memory = SelectBlock(space, shape.data(), axis, first, count);
  const Hdf5Handle transfer = BlockTransfer(shared_);
  Check(H5Dwrite(dataset.Id(), type, memory.Id(), space.Id(), transfer.Id(), values), what);
}

void Hdf5File::WriteColumnBlock(const std::string& path, const std::vector<double>& values,
                                const std::vector<std::int64_t>& dims, std::int64_t firstColumn,
                                std::int64_t count) {
  WriteBlockRaw(path, H5T_NATIVE_DOUBLE, values.data(), dims, 1, firstColumn, count);
}

void Hdf5File::WriteColumnBlock(const std::string& path,
                                const std::vector<std::complex<double>>& values,
                                const std::vector<std::int64_t>& dims, std::int64_t firstColumn,
                                std::int64_t count) {
  const Hdf5Handle type = Hdf5ComplexType();
  WriteBlockRaw(path, type.Id(), values.data(), dims, 1, firstColumn, count);
}

void Hdf5File::WriteRowBlock(const std::string& path, const std::vector<double>& values,
                             const std::vector<std::int64_t>& dims, std::int64_t firstRow,
                             std::int64_t count) {
  WriteBlockRaw(path, H5T_NATIVE_DOUBLE, values.data(), dims, 0, firstRow, count);
}

void Hdf5File::Write(const std::string& path, const std::vector<double>& values,
                     const std::vector<std::int64_t>& dims,
                     const std::vector<std::int64_t>& chunk) {
  WriteRaw(path, H5T_NATIVE_DOUBLE, values.data(), dims, chunk);
}

void Hdf5File::Write(const std::string& path, std::span<const double> values,
                     const std::vector<std::int64_t>& dims,
                     const std::vector<std::int64_t>& chunk) {
  WriteRaw(path, H5T_NATIVE_DOUBLE, values.data(), dims, chunk);
}

void Hdf5File::Write(const std::string& path, const std::vector<std::int64_t>& values,
                     const std::vector<std::int64_t>& dims) {
  WriteRaw(path, H5T_NATIVE_INT64, values.data(), dims, {});
}

void Hdf5File::Write(const std::string& path, const std::vector<std::int32_t>& values,
                     const std::vector<std::int64_t>& dims) {
  WriteRaw(path, H5T_NATIVE_INT32, values.data(), dims, {});
}

void Hdf5File::Write(const std::string& path, const std::vector<std::complex<double>>& values,
                     const std::vector<std::int64_t>& dims) {
  const Hdf5Handle type = Hdf5ComplexType();
  WriteRaw(path, type.Id(), values.data(), dims, {});
}

void Hdf5File::Write(const std::string& path, const std::vector<std::string>& values) {
  if (shared_) {
    deferredStrings_.emplace_back(path, values);
    return;
  }
  WriteStrings(path, values);
}

void Hdf5File::WriteStrings(const std::string& path, const std::vector<std::string>& values) {
  std::vector<const char*> texts;
  for (const std::string& value : values) texts.push_back(value.c_str());
  Hdf5Handle type(H5Tcopy(H5T_C_S1));
  H5Tset_size(type.Id(), H5T_VARIABLE);
  H5Tset_cset(type.Id(), H5T_CSET_UTF8);
  CreateDataset(path, type.Id(), texts.data(), {static_cast<std::int64_t>(values.size())}, {},
                true);
}

std::vector<double> Hdf5File::ReadDoubles(const std::string& path,
                                          std::vector<std::int64_t>& dims) const {
  const Hdf5DatasetInfo info = Info(path);
  if (info.typeClass != H5T_FLOAT && info.typeClass != H5T_INTEGER) {
    throw Error(path_ + ": dataset '" + path + "' does not hold numbers");
  }
  dims = info.dims;
  std::size_t count = 1;
  for (std::int64_t extent : dims) count *= static_cast<std::size_t>(extent);
  std::vector<double> values(count);
  Hdf5Handle dataset = OpenDataset(path);
  if (count > 0) {
    Check(H5Dread(dataset.Id(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()),
          path_ + ": cannot read dataset '" + path + "'");
  }
  return values;
}

std::vector<std::int64_t> Hdf5File::ReadInts(const std::string& path,
                                             std::vector<std::int64_t>& dims) const {
  const Hdf5DatasetInfo info = Info(path);
  if (info.typeClass != H5T_INTEGER) {
    throw Error(path_ + ": dataset '" + path + "' does not hold integers");
  }
  dims = info.dims;
  std::size_t count = 1;
  for (std::int64_t extent : dims) count *= static_cast<std::size_t>(extent);
  std::vector<std::int64_t> values(count);
  Hdf5Handle dataset = OpenDataset(path);
  if (count > 0) {
    Check(H5Dread(dataset.Id(), H5T_NATIVE_INT64, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()),
          path_ + ": cannot read dataset '" + path + "'");
  }
  return values;
}

void Hdf5File::ReadColumns(const std::string& path, std::int64_t firstColumn, std::int64_t count,
                           double* out) const {
  Hdf5Handle dataset = OpenDataset(path);
  Hdf5Handle space(H5Dget_space(dataset.Id()));
  hsize_t dims[2] = {0, 0};
  H5Sget_simple_extent_dims(space.Id(), dims, nullptr);
  const Hdf5Handle memory = SelectBlock(space, dims, 1, firstColumn, count);
  const Hdf5Handle transfer = BlockTransfer(shared_);
  Check(H5Dread(dataset.Id(), H5T_NATIVE_DOUBLE, memory.Id(), space.Id(), transfer.Id(), out),
        path_ + ": cannot read dataset '" + path + "'");
}

void Hdf5File::ReadAll(const std::string& path, double* out) const {
  Hdf5Handle dataset = OpenDataset(path);
  Check(H5Dread(dataset.Id(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, out),
        path_ + ": cannot read dataset '" + path + "'");
}

}  // namespace qvadyn
