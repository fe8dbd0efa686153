// Small RAII wrappers over the HDF5 C API, enough for the basis and results
// files: files, groups and datasets as owned handles, string and integer
// attributes, and whole-array reads and writes of float64, int64 and int32
// values and of complex values (a compound {r, i} of float64, which h5py
// reads as complex128). Every failure raises qvadyn::Error naming the file
// and the object.
//
//   qvadyn::Hdf5File file = qvadyn::Hdf5File::Create("out.h5");
//   file.WriteAttribute("/", "format", "qvadyn-results");
//   file.Write("/sweep/frequency", std::vector<double>{1, 2}, {2});
#pragma once

#include <hdf5.h>

#include <complex>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qvadyn {

// An owned HDF5 identifier, closed with the function matching its kind.
class Hdf5Handle {
 public:
  Hdf5Handle() = default;
  explicit Hdf5Handle(hid_t id) : id_(id) {}
  Hdf5Handle(Hdf5Handle&& other) noexcept : id_(other.id_) { other.id_ = -1; }
  Hdf5Handle& operator=(Hdf5Handle&& other) noexcept;
  Hdf5Handle(const Hdf5Handle&) = delete;
  Hdf5Handle& operator=(const Hdf5Handle&) = delete;
  ~Hdf5Handle();
  hid_t Id() const { return id_; }
  bool Valid() const { return id_ >= 0; }

 private:
  hid_t id_ = -1;
};

// Shape and element class of a stored dataset.
struct Hdf5DatasetInfo {
  std::vector<std::int64_t> dims;
  H5T_class_t typeClass = H5T_NO_CLASS;
};

class Hdf5File {
 public:
  // Creates (truncating) or opens a file; raises naming the path. Over
  // several processes Create is collective and the file is written over
  // MPI-IO: every process makes the same calls, rank 0 writes the values of
  // Write(), each process its block of WriteColumnBlock().
  static Hdf5File Create(const std::string& path);
  static Hdf5File Open(const std::string& path);
  // Opens an existing file for reading by every process together over
  // MPI-IO (collective, like its close); ReadColumns() is then collective.
  // With one process it is Open().
  static Hdf5File OpenShared(const std::string& path);
  // Opens an existing file for reading and writing, in this process alone.
  static Hdf5File OpenForUpdate(const std::string& path);
  // A file held in memory only (nothing is written to disk); `name` tells
  // it apart from other open files and names it in messages.
  static Hdf5File CreateInMemory(const std::string& name);
  // Written or read by several processes together (Create or OpenShared
  // over MPI-IO).
  bool Shared() const { return shared_; }
  // Closes the file (collectively over several processes); raises when HDF5
  // cannot flush it.
  void Close();
  const std::string& Path() const { return path_; }
  hid_t Id() const { return file_.Id(); }

  bool Exists(const std::string& path) const;
  // The group at `path` with the groups above it; an existing one is kept.
  void CreateGroup(const std::string& path);

  void WriteAttribute(const std::string& object, const std::string& name, const std::string& value);
  void WriteAttribute(const std::string& object, const std::string& name, std::int64_t value);
  bool HasAttribute(const std::string& object, const std::string& name) const;
  std::string ReadStringAttribute(const std::string& object, const std::string& name) const;
  std::int64_t ReadIntAttribute(const std::string& object, const std::string& name) const;

  Hdf5DatasetInfo Info(const std::string& path) const;

  // Writes `values` (C order over `dims`) as a new dataset, its groups
  // created; `chunk` (same rank as dims) makes it chunked.
  void Write(const std::string& path, const std::vector<double>& values,
             const std::vector<std::int64_t>& dims, const std::vector<std::int64_t>& chunk = {});
  void Write(const std::string& path, std::span<const double> values,
             const std::vector<std::int64_t>& dims, const std::vector<std::int64_t>& chunk = {});
  void Write(const std::string& path, const std::vector<std::int64_t>& values,
             const std::vector<std::int64_t>& dims);
  void Write(const std::string& path, const std::vector<std::int32_t>& values,
             const std::vector<std::int64_t>& dims);
  void Write(const std::string& path, const std::vector<std::complex<double>>& values,
             const std::vector<std::int64_t>& dims);
  void Write(const std::string& path, const std::vector<std::string>& values);

  // Writes columns [firstColumn, firstColumn + count) of a new rank-2
  // dataset of shape `dims`, from `values` (dims[0] x count, C order). Over
  // several processes every one calls it with its own block, collectively.
  void WriteColumnBlock(const std::string& path, const std::vector<double>& values,
                        const std::vector<std::int64_t>& dims, std::int64_t firstColumn,
                        std::int64_t count);
  void WriteColumnBlock(const std::string& path, const std::vector<std::complex<double>>& values,
                        const std::vector<std::int64_t>& dims, std::int64_t firstColumn,
                        std::int64_t count);

  // Writes rows [firstRow, firstRow + count) of a new rank-2 dataset of
  // shape `dims`, from `values` (count x dims[1], C order); collective as
  // WriteColumnBlock.
  void WriteRowBlock(const std::string& path, const std::vector<double>& values,
                     const std::vector<std::int64_t>& dims, std::int64_t firstRow,
                     std::int64_t count);

  // Reads a whole dataset converted to the requested type; its shape goes
  // to `dims`. Raises when the stored class is not numeric of the right
  // kind (float for doubles, integer for integers).
  std::vector<double> ReadDoubles(const std::string& path, std::vector<std::int64_t>& dims) const;
  std::vector<std::int64_t> ReadInts(const std::string& path,
                                     std::vector<std::int64_t>& dims) const;
  // Reads columns [firstColumn, firstColumn + count) of a rank-2 float
  // dataset (rows, columns) into `out` (rows x count, C order). Over a
  // shared file every process calls it together, count 0 when it has
  // nothing to read.
  void ReadColumns(const std::string& path, std::int64_t firstColumn, std::int64_t count,
                   double* out) const;
  // Reads a whole rank-2 float dataset into `out`, sized by the caller.
  void ReadAll(const std::string& path, double* out) const;

 private:
  Hdf5File(std::string path, Hdf5Handle file, bool shared = false)
      : path_(std::move(path)), file_(std::move(file)), shared_(shared) {}
  std::string Where(const std::string& object) const;
  Hdf5Handle OpenDataset(const std::string& path) const;
  void WriteRaw(const std::string& path, hid_t type, const void* values,
                const std::vector<std::int64_t>& dims, const std::vector<std::int64_t>& chunk);
  // Creates the dataset and, with `withValues`, writes them.
  void CreateDataset(const std::string& path, hid_t type, const void* values,
                     const std::vector<std::int64_t>& dims, const std::vector<std::int64_t>& chunk,
                     bool withValues);
  void WriteStrings(const std::string& path, const std::vector<std::string>& values);
  // Writes [first, first + count) along `axis` (0 rows, 1 columns) of a new
  // rank-2 dataset.
  void WriteBlockRaw(const std::string& path, hid_t type, const void* values,
                     const std::vector<std::int64_t>& dims, int axis, std::int64_t first,
                     std::int64_t count);

  std::string path_;
  Hdf5Handle file_;
  bool shared_ = false;
  // String datasets of a file written over MPI-IO, which cannot hold
  // variable-length values: rank 0 adds them once the file is closed.
  std::vector<std::pair<std::string, std::vector<std::string>>> deferredStrings_;
};

// The compound {r, i} of float64 used for complex values.
Hdf5Handle Hdf5ComplexType();

}  // namespace qvadyn
