// The Python package's overhead: a harmonic sweep of 1,000 modes x 10,000
// frequencies called from Python (bench/python_sweep.py, run with the
// package's interpreter) against the same sweep called from C++ through the
// application in the same run: the job filled in as a C++ host fills it, the
// basis opened in the component, the analysis run into an in-memory results
// file and its modal amplitudes and FRF read back. Each side reports its best
// of five calls (wall-clock), the C++ and Python calls alternating so that
// both meet the same load of the machine; target python / C++ <= 1.05.

#include <benchmark/benchmark.h>
#include <hdf5.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "Analyses.h"
#include "BasisFile.h"
#include "JobFile.h"
#include "ModelSetup.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "ResultsFile.h"

namespace {

constexpr int kModes = 1000;
constexpr int kFrequencies = 10000;
constexpr double kLow = 0.1, kHigh = 600.0;
constexpr int kRepeats = 5;

// 1,000 DOFs (ux of nodes 1 ... 1000), mode k at 0.5 k Hz.
std::string WriteBasis() {
  const std::string path =
      (std::filesystem::temp_directory_path() / "qvadyn_python_benchmark_basis.h5").string();
  qvadyn::Basis basis;
  for (int k = 1; k <= kModes; ++k) {
    basis.eigenvalues.push_back(std::pow(2.0 * std::numbers::pi * 0.5 * k, 2));
  }
  for (int row = 1; row <= kModes; ++row) {
    basis.dofNodes.push_back(row);
    basis.dofComponents.push_back(1);
  }
  for (int k = 1; k <= kModes; ++k) {
    for (int row = 1; row <= kModes; ++row) basis.modes.push_back(std::sin(1e-3 * row * k));
  }
  qvadyn::WriteBasisFile(path, basis);
  return path;
}

// One sweep as a C++ host makes it, its arrays read back and released within
// the timing (the Python side releases its previous result in its timed call).
double CppSweep(const qvadyn::Basis& basis) {
  const auto start = std::chrono::steady_clock::now();
  {
    qvadyn::Job job;
    job.path = "benchmark";
    job.damping.modal = {0.02};
    qvadyn::NodalLoad load;
    load.node = basis.dofNodes.front();
    load.amplitude = {{0.0}, {1.0}};
    job.loads = {load};
    job.outputs.dofs = {{basis.dofNodes.back(), 1, ""}};
    job.outputs.csv = false;
    qvadyn::Analysis analysis;
    analysis.name = "sweep";
    for (int j = 0; j < kFrequencies; ++j) {
      analysis.frequencies.push_back(kLow + (kHigh - kLow) * j / (kFrequencies - 1));
    }
    job.analyses = {analysis};

    qvadyn::ComponentSession session;
    QVADynLogFile log;
    qvadyn::Model model(basis, log);
    qvadyn::ResultsWriter results("qvadyn-benchmark-sweep");
    qvadyn::Progress progress(false);
    qvadyn::AnalysisContext context{job, job.analyses.front(), model, results, progress};
    qvadyn::RunHarmonic(context);
    const qvadyn::Hdf5Handle complexType = qvadyn::Hdf5ComplexType();
    std::vector<std::complex<double>> modal(std::size_t{kFrequencies} * kModes), frf(kFrequencies);
    for (const auto& [name, values] : {std::pair{"/sweep/modal_amplitudes", modal.data()},
                                       std::pair{"/sweep/displacement", frf.data()}}) {
      const qvadyn::Hdf5Handle dataset(H5Dopen2(results.File().Id(), name, H5P_DEFAULT));
      H5Dread(dataset.Id(), complexType.Id(), H5S_ALL, H5S_ALL, H5P_DEFAULT, values);
    }
    benchmark::DoNotOptimize(modal.data());
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The Python sweep script, run with the package's interpreter, answering one
// timed sweep per line it is sent.
class PythonSweeps {
 public:
  explicit PythonSweeps(const std::string& basisPath) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    const std::string frequencies = std::to_string(kFrequencies), low = std::to_string(kLow),
                      high = std::to_string(kHigh);
    child_ = fork();
    if (child_ == 0) {
      dup2(toChild[0], 0);
      dup2(fromChild[1], 1);
      close(toChild[1]);
      close(fromChild[0]);
      setenv("PYTHONPATH", QVA_PYTHON_PACKAGE_PARENT, 1);
      execl(QVA_PYTHON, QVA_PYTHON, QVA_PYTHON_SWEEP_SCRIPT, basisPath.c_str(), frequencies.c_str(),
            low.c_str(), high.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    requests_ = fdopen(toChild[1], "w");
    answers_ = fdopen(fromChild[0], "r");
  }
  PythonSweeps(const PythonSweeps&) = delete;
  PythonSweeps& operator=(const PythonSweeps&) = delete;
  ~PythonSweeps() {
    if (requests_ != nullptr) std::fclose(requests_);
    if (answers_ != nullptr) std::fclose(answers_);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  // Seconds of one sweep in Python, or a negative value when the script failed.
  double Sweep() {
    double seconds = -1.0;
    if (requests_ == nullptr || std::fputs("sweep\n", requests_) < 0 ||
        std::fflush(requests_) != 0 || std::fscanf(answers_, "%lf", &seconds) != 1) {
      return -1.0;
    }
    return seconds;
  }

 private:
  pid_t child_ = -1;
  FILE* requests_ = nullptr;
  FILE* answers_ = nullptr;
};

void PythonOverCppSweep(benchmark::State& state) {
  const std::string path = WriteBasis();
  const qvadyn::Basis basis = qvadyn::ReadBasisFile(path);
  PythonSweeps python(path);
  for (auto _ : state) {
    // Alternating calls meet the same load of the machine.
    double cpp = 1e30, fromPython = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
      cpp = std::min(cpp, CppSweep(basis));
      const double seconds = python.Sweep();
      if (seconds < 0.0) {
        state.SkipWithError("bench/python_sweep.py failed");
        return;
      }
      fromPython = std::min(fromPython, seconds);
    }
    state.SetIterationTime(fromPython);
    state.counters["cppSeconds"] = cpp;
    state.counters["pythonSeconds"] = fromPython;
    state.counters["ratioToCpp"] = fromPython / cpp;
  }
  state.SetLabel("target ratioToCpp <= 1.05");
}
BENCHMARK(PythonOverCppSweep)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
