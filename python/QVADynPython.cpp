// The compiled part of the Python package qvadyn (module qvadyn._qvadyn): the
// application's basis, analyses, job runs and results files, with numpy
// arrays in and out. The documented API is the pure-Python package around it.
//
// Arrays: mode shapes in Fortran order (float64) become the basis without a
// copy, the basis keeping the numpy array alive; other layouts are copied
// once. The analyses write the application's results layout into a file
// held in memory, read back into buffers that the returned numpy arrays own.
//
// Long solves run without the GIL, one at a time (the component is used from
// one thread at a time); after every batch of frames the progress listener
// takes the GIL back and checks for Ctrl-C, which stops the run through the
// application's interruption and reaches Python as KeyboardInterrupt.

#include <hdf5.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "apps/qvadyn/Analyses.h"
#include "apps/qvadyn/BasisFile.h"
#include "apps/qvadyn/Error.h"
#include "apps/qvadyn/JobFile.h"
#include "apps/qvadyn/ModelSetup.h"
#include "apps/qvadyn/ResultsFile.h"
#include "apps/qvadyn/Run.h"
#include "platform/base/QVABasException.h"

namespace py = pybind11;

namespace {

// The Python classes raised for errors, set by the package at import.
py::handle inputErrorClass;
py::handle failureErrorClass;

std::mutex componentMutex;
std::atomic<long> liveBases{0};

// Platform error numbers that mean a failure of the run rather than bad input.
bool IsFailureNumber(int number) {
  return number == kQVABasOutOfMemory || number == kQVABasFileError ||
         number == kQVASrvSingularMatrix || number == kQVASrvInvalidState ||
         number >= kQVASimInvalidIdentifier;
}

// Application messages of failures to write (everything else it raises is
// about what it was given).
bool IsFailureMessage(const std::string& message) {
  for (const char* phrase : {"cannot be written", "cannot write", "cannot create"}) {
    if (message.find(phrase) != std::string::npos) return true;
  }
  return false;
}

void RaiseError(bool failure, int number, const std::string& message) {
  const py::handle type = failure ? failureErrorClass : inputErrorClass;
  if (!type) {
    PyErr_SetString(failure ? PyExc_RuntimeError : PyExc_ValueError, message.c_str());
    return;
  }
  const py::object error = type(message, number);
  PyErr_SetObject(type.ptr(), error.ptr());
}

// A basis as Python holds it.
struct PyBasis {
  qvadyn::Basis basis;
  PyBasis() { ++liveBases; }
  PyBasis(const PyBasis&) = delete;
  PyBasis& operator=(const PyBasis&) = delete;
  ~PyBasis() { --liveBases; }
};

// A numpy array owning `values` (moved in), of `shape`.
template <typename T>
py::array OwningArray(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
  auto* owned = new std::vector<T>(std::move(values));
  py::capsule owner(owned, [](void* pointer) { delete static_cast<std::vector<T>*>(pointer); });
  return py::array_t<T>(shape, owned->data(), owner);
}

// One dataset or attribute read from a results group.
struct Value {
  std::vector<py::ssize_t> shape;
  std::vector<double> doubles;
  std::vector<std::int64_t> integers;
  std::vector<std::complex<double>> complexes;
  std::vector<std::string> strings;
  char kind = 'f';  // f float64, i int64, c complex128, s strings
};

struct Group {
  std::map<std::string, Value> datasets;  // by path below the group
  std::map<std::string, Value> attributes;
};

template <typename Read>
Value ReadValue(hid_t type, hid_t space, const std::string& where, Read read) {
  Value value;
  const int rank = H5Sget_simple_extent_ndims(space);
  std::vector<hsize_t> dims(static_cast<std::size_t>(std::max(rank, 0)));
  if (rank > 0) H5Sget_simple_extent_dims(space, dims.data(), nullptr);
  std::size_t count = 1;
  for (hsize_t extent : dims) {
    value.shape.push_back(static_cast<py::ssize_t>(extent));
    count *= extent;
  }
  herr_t status = 0;
  switch (H5Tget_class(type)) {
    case H5T_FLOAT:
      value.doubles.resize(count);
      status = count ? read(H5T_NATIVE_DOUBLE, value.doubles.data()) : 0;
      break;
    case H5T_INTEGER:
      value.kind = 'i';
      value.integers.resize(count);
      status = count ? read(H5T_NATIVE_INT64, value.integers.data()) : 0;
      break;
    case H5T_COMPOUND: {
      value.kind = 'c';
      value.complexes.resize(count);
      const qvadyn::Hdf5Handle complexType = qvadyn::Hdf5ComplexType();
      status = count ? read(complexType.Id(), value.complexes.data()) : 0;
      break;
    }
    case H5T_STRING: {
      value.kind = 's';
      qvadyn::Hdf5Handle text(H5Tcopy(H5T_C_S1));
      H5Tset_size(text.Id(), H5T_VARIABLE);
      H5Tset_cset(text.Id(), H5Tget_cset(type));
      std::vector<char*> texts(count, nullptr);
      status = count ? read(text.Id(), texts.data()) : 0;
      for (char* entry : texts) value.strings.emplace_back(entry ? entry : "");
      if (count && status >= 0) {
        qvadyn::Hdf5Handle memory(H5Screate_simple(1, std::vector<hsize_t>{count}.data(), nullptr));
        H5Dvlen_reclaim(text.Id(), memory.Id(), H5P_DEFAULT, texts.data());
      }
      break;
    }
    default:
      throw qvadyn::Error(where + ": a value of a kind the results layout does not use");
  }
  if (status < 0) throw qvadyn::Error(where + ": cannot be read");
  return value;
}

void ReadAttributes(hid_t object, const std::string& where, std::map<std::string, Value>& out) {
  const int count = H5Aget_num_attrs(object);
  for (int a = 0; a < count; ++a) {
    qvadyn::Hdf5Handle attribute(H5Aopen_by_idx(object, ".", H5_INDEX_NAME, H5_ITER_INC,
                                                static_cast<hsize_t>(a), H5P_DEFAULT, H5P_DEFAULT));
    if (!attribute.Valid()) throw qvadyn::Error(where + ": an attribute cannot be read");
    const ssize_t length = H5Aget_name(attribute.Id(), 0, nullptr);
    std::string name(static_cast<std::size_t>(length), '\0');
    H5Aget_name(attribute.Id(), static_cast<std::size_t>(length) + 1, name.data());
    qvadyn::Hdf5Handle type(H5Aget_type(attribute.Id()));
    qvadyn::Hdf5Handle space(H5Aget_space(attribute.Id()));
    const hid_t id = attribute.Id();
    if (H5Tget_class(type.Id()) == H5T_STRING && !H5Tis_variable_str(type.Id())) {
      // Fixed-length text, as h5py and other writers may store it.
      std::string text(H5Tget_size(type.Id()), '\0');
      H5Aread(id, type.Id(), text.data());
      Value value;
      value.kind = 's';
      value.strings.push_back(text.c_str());
      out[name] = std::move(value);
      continue;
    }
    out[name] = ReadValue(type.Id(), space.Id(), where + ": attribute '" + name + "'",
                          [id](hid_t memory, void* data) { return H5Aread(id, memory, data); });
  }
}

// Every dataset below `group` of `file`, with the group's attributes.
Group ReadGroup(const qvadyn::Hdf5File& file, const std::string& group) {
  Group result;
  const std::string where = file.Path() + ": '" + group + "'";
  qvadyn::Hdf5Handle handle(H5Gopen2(file.Id(), group.c_str(), H5P_DEFAULT));
  if (!handle.Valid()) throw qvadyn::Error(where + ": no such group");
  ReadAttributes(handle.Id(), where, result.attributes);
  std::vector<std::string> names;
  H5Ovisit(
      handle.Id(), H5_INDEX_NAME, H5_ITER_INC,
      [](hid_t, const char* name, const H5O_info_t* info, void* data) -> herr_t {
        if (info->type == H5O_TYPE_DATASET)
          static_cast<std::vector<std::string>*>(data)->push_back(name);
        return 0;
      },
      &names);
  for (const std::string& name : names) {
    const std::string path = group + "/" + name;
    qvadyn::Hdf5Handle dataset(H5Dopen2(file.Id(), path.c_str(), H5P_DEFAULT));
    qvadyn::Hdf5Handle type(H5Dget_type(dataset.Id()));
    qvadyn::Hdf5Handle space(H5Dget_space(dataset.Id()));
    const hid_t id = dataset.Id();
    result.datasets[name] =
        ReadValue(type.Id(), space.Id(), file.Path() + ": dataset '" + path + "'",
                  [id](hid_t memory, void* data) {
                    return H5Dread(id, memory, H5S_ALL, H5S_ALL, H5P_DEFAULT, data);
                  });
  }
  return result;
}

py::object ToPython(Value&& value) {
  switch (value.kind) {
    case 'i':
      return OwningArray(std::move(value.integers), value.shape);
    case 'c':
      return OwningArray(std::move(value.complexes), value.shape);
    case 's':
      if (value.shape.empty()) return py::str(value.strings.front());
      return py::cast(value.strings);
    default:
      if (value.shape.empty()) return py::float_(value.doubles.front());
      return OwningArray(std::move(value.doubles), value.shape);
  }
}

// (datasets, attributes) as two dicts.
py::tuple ToPython(Group&& group) {
  py::dict datasets, attributes;
  for (auto& [name, value] : group.datasets) datasets[py::str(name)] = ToPython(std::move(value));
  for (auto& [name, value] : group.attributes) {
    attributes[py::str(name)] = ToPython(std::move(value));
  }
  return py::make_tuple(datasets, attributes);
}

std::string UniqueName(const char* what) {
  static std::atomic<long> counter{0};
  return std::string("qvadyn-") + what + "-" + std::to_string(counter++);
}

// Runs `body` without the GIL, one run at a time, with `progress` checking
// for Ctrl-C after every batch: an interrupted run raises KeyboardInterrupt.
template <typename Body>
auto Interruptible(Body body) {
  std::unique_ptr<py::error_already_set> interrupt;
  const auto listener = [&interrupt] {
    py::gil_scoped_acquire gil;
    if (!interrupt && PyErr_CheckSignals() != 0) {
      interrupt = std::make_unique<py::error_already_set>();
      qvadyn::RequestInterrupt();
    }
  };
  try {
    py::gil_scoped_release release;
    const std::lock_guard lock(componentMutex);
    return body(listener);
  } catch (...) {
    if (interrupt) throw *interrupt;
    throw;
  }
}

PyBasis* MakeBasis(
    py::array_t<double, py::array::c_style | py::array::forcecast> eigenvalues, py::array modes,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> dofNodes,
    py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> dofComponents,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> nodeIds,
    py::array_t<double, py::array::c_style | py::array::forcecast> coordinates,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> rowStart,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> columns,
    py::array_t<double, py::array::c_style | py::array::forcecast> values,
    const std::string& units) {
  auto basis = std::make_unique<PyBasis>();
  qvadyn::Basis& b = basis->basis;
  const auto vector = [](const auto& array) {
    using T = typename std::decay_t<decltype(array)>::value_type;
    return std::vector<T>(array.data(), array.data() + array.size());
  };
  b.eigenvalues = vector(eigenvalues);
  b.dofNodes = vector(dofNodes);
  b.dofComponents = vector(dofComponents);
  b.nodeIds = vector(nodeIds);
  b.nodeCoordinates = vector(coordinates);
  b.mass.rowStart = vector(rowStart);
  b.mass.columns = vector(columns);
  b.mass.values = vector(values);
  b.units = units;
  b.source = "python";
  if (modes.ndim() != 2 || modes.shape(0) != b.NumDofs() || modes.shape(1) != b.NumModes()) {
    throw qvadyn::Error("qvadyn.Basis: 'modes' must have the shape (DOFs, modes) = (" +
                        std::to_string(b.NumDofs()) + ", " + std::to_string(b.NumModes()) + ")");
  }
  // Fortran-ordered float64 is the basis's own layout: referred to in place.
  using Shapes = py::array_t<double, py::array::f_style | py::array::forcecast>;
  const bool inPlace = modes.dtype().is(py::dtype::of<double>()) &&
                       (modes.flags() & py::array::f_style) != 0 &&
                       (modes.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_) != 0;
  py::array held = inPlace ? modes : py::array(Shapes::ensure(modes));
  if (!held) throw py::error_already_set();
  b.externalModes = {static_cast<const double*>(held.data()),
                     static_cast<std::size_t>(held.size())};
  b.modesOwner = std::shared_ptr<const void>(new py::object(held), [](const void* object) {
    py::gil_scoped_acquire gil;
    delete static_cast<const py::object*>(object);
  });
  qvadyn::ValidateBasis(b, "qvadyn.Basis");
  return basis.release();
}

// Frequencies or times handed over as an array beside the job text (long
// lists are slow to write and parse as TOML): checked as a job file's list
// and put in place of the text's placeholder list.
void SetFrames(qvadyn::Analysis& analysis, const std::string& origin, std::vector<double> frames) {
  const bool harmonic = analysis.type == qvadyn::AnalysisType::kHarmonic;
  const std::string key = harmonic ? "frequencies" : "times";
  const auto fail = [&](const std::string& message) {
    throw qvadyn::Error(origin + ": '" + key + "' in [analysis." + analysis.name + "]: " + message);
  };
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (!std::isfinite(frames[i]))
      fail("entry " + std::to_string(i) + ": expected a finite number");
    if (i > 0 && frames[i] <= frames[i - 1]) {
      fail("entry " + std::to_string(i) + " (" + std::to_string(frames[i]) + ") does not increase");
    }
    if (harmonic && frames[i] < 0.0) fail("frequencies must not be negative");
  }
  if (frames.size() < (harmonic ? 1 : 2)) {
    fail(harmonic ? "expected at least one frequency" : "expected at least two times");
  }
  (harmonic ? analysis.frequencies : analysis.times) = std::move(frames);
}

// A job given as the text of a job file: its analyses run on `self` into an
// in-memory results file, returned as {analysis: (datasets, attributes)}.
// `frames`, when given, are the frequencies or times of its one analysis.
py::dict RunAnalyses(const PyBasis& self, const std::string& text, const std::string& origin,
                     const std::optional<std::vector<double>>& frames) {
  std::vector<std::pair<std::string, Group>> groups =
      Interruptible([&](const std::function<void()>& listener) {
        qvadyn::Job job = qvadyn::ParseJob(text, origin);
        if (frames) SetFrames(job.analyses.front(), origin, *frames);
        qvadyn::ComponentSession session;
        QVADynLogFile log;
        qvadyn::Model model(self.basis, log);
        qvadyn::ResultsWriter results(UniqueName("results"));
        qvadyn::Progress progress(false);
        progress.SetListener(listener);
        for (const qvadyn::Analysis& analysis : job.analyses) {
          qvadyn::AnalysisContext context{job, analysis, model, results, progress};
          switch (analysis.type) {
            case qvadyn::AnalysisType::kHarmonic:
              qvadyn::RunHarmonic(context);
              break;
            case qvadyn::AnalysisType::kTransient:
              qvadyn::RunTransient(context);
              break;
            case qvadyn::AnalysisType::kComplexModes:
              qvadyn::RunComplexModes(context);
              break;
            case qvadyn::AnalysisType::kParticipation:
              qvadyn::RunParticipation(context);
              break;
            case qvadyn::AnalysisType::kRandom:
              qvadyn::RunRandom(context);
              break;
            case qvadyn::AnalysisType::kResponseSpectrum:
              qvadyn::RunResponseSpectrum(context);
              break;
          }
        }
        qvadyn::StopIfInterrupted();
        std::vector<std::pair<std::string, Group>> read;
        for (const qvadyn::Analysis& analysis : job.analyses) {
          read.emplace_back(analysis.name, ReadGroup(results.File(), "/" + analysis.name));
        }
        return read;
      });
  py::dict out;
  for (auto& [name, group] : groups) out[py::str(name)] = ToPython(std::move(group));
  return out;
}

}  // namespace

PYBIND11_MODULE(_qvadyn, module) {
  module.doc() = "Compiled core of the qvadyn package; use the package qvadyn.";

  py::register_exception_translator([](std::exception_ptr error) {
    try {
      if (error) std::rethrow_exception(error);
    } catch (const qvadyn::Error& failure) {
      const std::string message = failure.what();
      RaiseError(IsFailureMessage(message), 0, message);
    } catch (const QVABasException& failure) {
      RaiseError(IsFailureNumber(failure.ErrorNumber()), failure.ErrorNumber(), failure.what());
    }
  });

  module.def(
      "_set_error_classes",
      [](py::object input, py::object failure) {
        inputErrorClass = input.release();
        failureErrorClass = failure.release();
      },
      "Sets the classes raised for bad input and for failures.");

  py::class_<PyBasis>(module, "_Basis")
      .def(py::init(&MakeBasis))
      .def_static(
          "open",
          [](const std::string& path) {
            auto basis = std::make_unique<PyBasis>();
            {
              py::gil_scoped_release release;
              basis->basis = qvadyn::ReadBasisFile(path);
            }
            return basis.release();
          },
          py::return_value_policy::take_ownership)
      .def("save",
           [](const PyBasis& self, const std::string& path) {
             py::gil_scoped_release release;
             qvadyn::WriteBasisFile(path, self.basis);
           })
      .def("describe",
           [](const PyBasis& self, const std::string& path) {
             return qvadyn::DescribeBasis(self.basis, path);
           })
      // Views of the basis's arrays, keeping the basis (`self`) alive.
      .def_property_readonly("modes",
                             [](py::object self) {
                               const qvadyn::Basis& b = self.cast<const PyBasis&>().basis;
                               const std::span<const double> shapes = b.ModeShapes();
                               const py::ssize_t rows = b.NumDofs();
                               py::array view(py::dtype::of<double>(),
                                              {rows, static_cast<py::ssize_t>(b.NumModes())},
                                              {static_cast<py::ssize_t>(sizeof(double)),
                                               static_cast<py::ssize_t>(sizeof(double)) * rows},
                                              shapes.data(), self);
                               view.attr("setflags")(py::arg("write") = false);
                               return view;
                             })
      .def_property_readonly(
          "arrays",
          [](const PyBasis& self) {
            const qvadyn::Basis& b = self.basis;
            py::dict arrays;
            arrays["eigenvalues"] = py::array_t<double>(b.eigenvalues.size(), b.eigenvalues.data());
            arrays["dof_nodes"] = py::array_t<std::int64_t>(b.dofNodes.size(), b.dofNodes.data());
            arrays["dof_components"] =
                py::array_t<std::int32_t>(b.dofComponents.size(), b.dofComponents.data());
            arrays["node_ids"] = py::array_t<std::int64_t>(b.nodeIds.size(), b.nodeIds.data());
            arrays["node_coordinates"] =
                py::array_t<double>({static_cast<py::ssize_t>(b.nodeIds.size()), py::ssize_t{3}},
                                    b.nodeCoordinates.data());
            arrays["mass_row_start"] =
                py::array_t<std::int64_t>(b.mass.rowStart.size(), b.mass.rowStart.data());
            arrays["mass_columns"] =
                py::array_t<std::int64_t>(b.mass.columns.size(), b.mass.columns.data());
            arrays["mass_values"] = py::array_t<double>(b.mass.values.size(), b.mass.values.data());
            return arrays;
          },
          "Copies of the basis's other arrays.")
      .def_property_readonly("units", [](const PyBasis& self) { return self.basis.units; })
      .def_property_readonly("source", [](const PyBasis& self) { return self.basis.source; })
      .def("run", &RunAnalyses, py::arg("job"), py::arg("origin"), py::arg("frames"));

  module.def(
      "_live_bases", [] { return liveBases.load(); }, "Bases alive in C++ (for tests).");

  module.def(
      "run",
      [](const std::string& path, const std::string& results, const std::string& basis) {
        return Interruptible([&](const std::function<void()>& listener) {
          qvadyn::Job job = qvadyn::LoadJob(path);
          if (!basis.empty()) job.basisPath = basis;
          qvadyn::RunOptions options;
          options.resultsPath = results;
          options.progressListener = listener;
          const qvadyn::RunReport report = qvadyn::RunJob(job, options);
          return std::make_pair(report.resultsPath, qvadyn::FormatSummary(report));
        });
      },
      py::arg("job"), py::arg("results"), py::arg("basis"));
}
