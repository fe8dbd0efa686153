// Benchmarks of the qvadyn application against plain HDF5 in the same run
// (wall-clock time: these are file operations):
//   OpenBasis   reading a 60,000-DOF x 200-mode basis file and opening it in
//               the component's model database as `qvadyn run` does (mode
//               shapes streamed by blocks of rows into the database), against one H5Dread of the
//               mode shapes into newly allocated memory (target <= 1.5);
//   WriteField  writing 200 full-field frames of 60,000 DOFs through the
//               results writer (temporary file, datasets, rename), against
//               one H5Dwrite of the same array into a new file (target <= 1.3);
//   WholeJob    `qvadyn run` of a harmonic and a transient job on a 20,000-DOF
//               x 100-mode basis, against the sum of its phases timed one by
//               one: open, analyses (solve, recover, write), commit (target <= 1.2).

#include <benchmark/benchmark.h>
#include <hdf5.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Analyses.h"
#include "BasisFile.h"
#include "JobFile.h"
#include "ModelSetup.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "ResultsFile.h"
#include "Run.h"
#include "internal/QVANumerics.h"

namespace {

namespace fs = std::filesystem;

template <class Work>
double WallSecondsOf(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

fs::path Folder() {
  static const fs::path folder = [] {
    const fs::path path = fs::temp_directory_path() / "qvadyn_app_benchmark";
    fs::create_directories(path);
    return path;
  }();
  return folder;
}

// A basis of `nodes` nodes with 6 DOFs each and `modes` modes, written once.
std::string BasisFile(int nodes, int modes) {
  const std::string path =
      (Folder() / ("basis_" + std::to_string(nodes) + "_" + std::to_string(modes) + ".h5"))
          .string();
  if (fs::exists(path)) return path;
  qvadyn::Basis basis;
  for (int node = 0; node < nodes; ++node) {
    for (int component = 1; component <= 6; ++component) {
      basis.dofNodes.push_back(node + 1);
      basis.dofComponents.push_back(component);
    }
  }
  const std::size_t dofs = basis.dofNodes.size();
  for (int k = 0; k < modes; ++k) basis.eigenvalues.push_back(std::pow(10.0 * (k + 1), 2));
  basis.modes.resize(dofs * QVAIndex(modes));
  for (std::size_t i = 0; i < basis.modes.size(); ++i)
    basis.modes[i] = 1e-3 * static_cast<double>(i % 997);
  qvadyn::WriteBasisFile(path, basis);
  return path;
}

void KeepFastest(double& fastest, double seconds) {
  if (fastest == 0.0 || seconds < fastest) fastest = seconds;
}

// Times `ours` and `baseline` once to warm up, then once each per iteration,
// and reports the ratio of their fastest times as counter `ratio` against
// the target `limit`.
template <class Ours, class Baseline>
void ReportFastestRatio(benchmark::State& state, Ours&& ours, Baseline&& baseline,
                        const std::string& ratio, double limit) {
  ours();
  baseline();
  double fastestOurs = 0.0, fastestBaseline = 0.0;
  for (auto _ : state) {
    const double seconds = ours();
    state.SetIterationTime(seconds);
    KeepFastest(fastestOurs, seconds);
    KeepFastest(fastestBaseline, baseline());
  }
  state.counters[ratio] = fastestOurs / fastestBaseline;
  std::ostringstream label;
  label << "target " << ratio << " <= " << limit;
  state.SetLabel(label.str());
}

void OpenBasis(benchmark::State& state) {
  const std::string path = BasisFile(10000, 200);  // 60,000 DOFs
  qvadyn::ComponentSession session;
  const auto ours = [&] {
    return WallSecondsOf([&] {
      const qvadyn::Basis basis = qvadyn::ReadBasisFile(path, false);
      QVADynLogFile log;
      qvadyn::Model model(basis, log, path);
      benchmark::DoNotOptimize(model.NumNodes());
    });
  };
  const auto baseline = [&] {
    return WallSecondsOf([&] {
      const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
      const hid_t dataset = H5Dopen2(file, "modes", H5P_DEFAULT);
      std::unique_ptr<double[]> values(new double[60000 * 200]);
      H5Dread(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.get());
      benchmark::DoNotOptimize(values[12345]);
      H5Dclose(dataset);
      H5Fclose(file);
    });
  };
  ReportFastestRatio(state, ours, baseline, "ratioToH5Dread", 1.5);
}
BENCHMARK(OpenBasis)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void WriteField(benchmark::State& state) {
  constexpr std::int64_t kFrames = 200;
  constexpr std::int64_t kDofs = 60000;
  std::vector<double> field(QVAIndex(kFrames * kDofs));
  for (std::size_t i = 0; i < field.size(); ++i) field[i] = 1e-6 * static_cast<double>(i % 1013);
  std::vector<std::int64_t> frames(kFrames);
  for (std::int64_t j = 0; j < kFrames; ++j) frames[QVAIndex(j)] = j;
  const std::string path = (Folder() / "field.h5").string();
  const std::string plain = (Folder() / "plain.h5").string();
  // Both start without an earlier file: replacing one costs the file
  // system's release of its blocks, the same for both.
  const auto ours = [&] {
    fs::remove(path);
    return WallSecondsOf([&] {
      qvadyn::ResultsWriter results(path, "job.toml", "basis.h5");
      results.BeginAnalysis("ramp", "transient");
      results.File().Write("/ramp/field/frames", frames, {kFrames});
      results.File().Write("/ramp/field/displacement", field, {kFrames, kDofs});
      results.Commit();
    });
  };
  const auto baseline = [&] {
    fs::remove(plain);
    return WallSecondsOf([&] {
      const hid_t file = H5Fcreate(plain.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
      const hsize_t dims[2] = {kFrames, kDofs};
      const hid_t space = H5Screate_simple(2, dims, nullptr);
      const hid_t dataset = H5Dcreate2(file, "displacement", H5T_NATIVE_DOUBLE, space, H5P_DEFAULT,
                                       H5P_DEFAULT, H5P_DEFAULT);
      H5Dwrite(dataset, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, field.data());
      H5Dclose(dataset);
      H5Sclose(space);
      H5Fclose(file);
    });
  };
  ReportFastestRatio(state, ours, baseline, "ratioToH5Dwrite", 1.3);
}
BENCHMARK(WriteField)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void WholeJob(benchmark::State& state) {
  const std::string basisPath = BasisFile(20000 / 6, 100);
  const std::string jobPath = (Folder() / "job.toml").string();
  std::ofstream(jobPath) << "basis = \"" << fs::path(basisPath).filename().string() << "\"\n"
                         << "[damping]\nmodal = 0.02\n"
                         << "[[load]]\nnode = 7\ncomponent = 2\n"
                         << "[output]\ndofs = [[7, 2], [100, 3], [2000, 1]]\n"
                         << "[analysis.sweep]\ntype = \"harmonic\"\nrange = [1.0, 200.0]\n"
                         << "points = 10\nfield = [0, 50]\n"
                         << "[analysis.ring]\ntype = \"transient\"\nstep = 1e-3\nduration = 2.0\n"
                         << "field = [0, 1000]\n";
  const qvadyn::Job job = qvadyn::LoadJob(jobPath);
  const auto ours = [&] { return WallSecondsOf([&] { qvadyn::RunJob(job, {}); }); };
  const auto phases = [&] {
    double seconds = 0.0;
    qvadyn::ComponentSession session;
    QVADynLogFile log;
    log.Open((Folder() / "phases.log").string().c_str());
    std::unique_ptr<qvadyn::Basis> basis;
    std::unique_ptr<qvadyn::Model> model;
    seconds += WallSecondsOf([&] {
      basis = std::make_unique<qvadyn::Basis>(qvadyn::ReadBasisFile(job.basisPath));
      model = std::make_unique<qvadyn::Model>(*basis, log);
    });
    qvadyn::Progress progress(false);
    std::unique_ptr<qvadyn::ResultsWriter> results;
    seconds += WallSecondsOf([&] {
      results = std::make_unique<qvadyn::ResultsWriter>((Folder() / "phases.h5").string(), job.path,
                                                        job.basisPath);
    });
    for (const qvadyn::Analysis& analysis : job.analyses) {
      qvadyn::AnalysisContext context{job, analysis, *model, *results, progress};
      seconds += WallSecondsOf([&] {
        if (analysis.type == qvadyn::AnalysisType::kHarmonic) qvadyn::RunHarmonic(context);
        if (analysis.type == qvadyn::AnalysisType::kTransient) qvadyn::RunTransient(context);
      });
    }
    seconds += WallSecondsOf([&] { results->Commit(); });
    return seconds;
  };
  ReportFastestRatio(state, ours, phases, "ratioToSumOfPhases", 1.2);
}
BENCHMARK(WholeJob)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
