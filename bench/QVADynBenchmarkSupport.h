#pragma once

// What the benchmarks share: processor-time clocks for comparing the component
// with a baseline measured in the same run, the fastest-of-N bookkeeping, the
// peak resident size of the process, and a large modal basis written into a
// database of its own and opened again.
//
//   const QVADynFastestTimes fastest = QVADynTimeAgainstBaseline(
//       state, [&] { return QVADynThreadSecondsOf([&] { solver.Solve(...); }); },
//       [&] { return QVADynThreadSecondsOf(plainLoop); });
//   state.counters["ratioToPlainLoop"] = fastest.ours / fastest.baseline;
//
//   // `dofs`: 2 nodes x 6 places = 12 DOFs; 3 modes at 100, 200, 300 rad^2/s^2,
//   // mode-shape value (row, mode) = 0.01 * ((row + mode) % 97).
//   QVADynBenchmarkBasis basis(dofs, 12, 2, {100.0, 200.0, 300.0},
//                              [](int row, int mode) { return 0.01 * ((row + mode) % 97); });
//   basis.Modal().GetModesNodal(0, 2, 1, slice);

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

// Processor time of the calling thread, seconds: OpenBLAS runs on the calling
// thread, and other processes on the machine do not count.
inline double QVADynThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Processor time of the whole process, seconds (every thread of OpenBLAS
// included).
inline double QVADynProcessSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Thread seconds spent in `work()`.
template <class Work>
double QVADynThreadSecondsOf(Work&& work) {
  const double start = QVADynThreadSeconds();
  work();
  return QVADynThreadSeconds() - start;
}

// Process seconds spent in `work()`.
template <class Work>
double QVADynProcessSecondsOf(Work&& work) {
  const double start = QVADynProcessSeconds();
  work();
  return QVADynProcessSeconds() - start;
}

// Keeps in `fastest` the smallest of the times seen; 0 stands for none yet,
// so the first time is always kept.
inline void QVADynKeepFastest(double& fastest, double seconds) {
  fastest = fastest == 0.0 ? seconds : std::min(fastest, seconds);
}

// The fastest seconds of the component and of its baseline over a benchmark's
// iterations.
struct QVADynFastestTimes {
  double ours = 0.0;
  double baseline = 0.0;
};

// Runs one untimed round of ours() and of baseline() (each returns the seconds
// it measured), so that both find caches and allocator warm; then each
// iteration of `state` runs ours() and baseline() and reports
// ours() / iterationDivisor as its manual time. Returns the fastest of each.
template <class Ours, class Baseline>
QVADynFastestTimes QVADynTimeAgainstBaseline(benchmark::State& state, Ours&& ours,
                                             Baseline&& baseline, double iterationDivisor = 1.0) {
  ours();
  baseline();
  QVADynFastestTimes fastest;
  for (auto _ : state) {
    const double oursSeconds = ours();
    const double baselineSeconds = baseline();
    state.SetIterationTime(oursSeconds / iterationDivisor);
    QVADynKeepFastest(fastest.ours, oursSeconds);
    QVADynKeepFastest(fastest.baseline, baselineSeconds);
  }
  return fastest;
}

// Bytes of a line "<name>: <n> kB" of /proc/self/status (e.g. "VmHWM", the
// peak resident size), 0 when absent.
inline std::int64_t QVADynStatusBytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name + ":", 0) == 0) return 1024 * std::atoll(line.c_str() + name.size() + 1);
  }
  return 0;
}

// Resets the peak resident size of the process to the current one; false
// when the kernel does not allow it.
inline bool QVADynResetPeakResidentSize() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// Eigenvalues spacing, 2 * spacing, ..., numberOfModes * spacing (rad^2/s^2).
inline std::vector<double> QVADynEvenEigenvalues(int numberOfModes, double spacing) {
  std::vector<double> eigenvalues(QVAIndex(numberOfModes));
  for (int mode = 0; mode < numberOfModes; ++mode) {
    eigenvalues[QVAIndex(mode)] = spacing * (mode + 1);
  }
  return eigenvalues;
}

// A definition of `numberOfNodes` nodes with `numberOfPlaces` DOFs each, in
// node-major order; the DOF at `place` has the DOF-type symbol
// dofType(place).
template <class DofType>
QVAFsmSystemDofDefinition QVADynBenchmarkDofs(int numberOfNodes, int numberOfPlaces,
                                              DofType dofType) {
  QVAFsmSystemDofDefinition dofs(numberOfNodes, numberOfPlaces);
  for (int node = 0; node < numberOfNodes; ++node) {
    for (int place = 0; place < numberOfPlaces; ++place) dofs.AddDof(node, place, dofType(place));
  }
  return dofs;
}

// A modal basis written into a database of its own through a modal system
// with the default settings, one mode-shape column at a time, then opened on
// a fresh modal system over the same modal-database object. Neither copyable
// nor movable: the opened system refers to the members.
class QVADynBenchmarkBasis {
 public:
  // Writes eigenvalues.size() modes over `numberOfDofs` DOFs and
  // `numberOfNodes` nodes; mode-shape value (row, mode) is
  // shapeValue(row, mode). Each modal system adopts its own copy of `dofs`.
  template <class ShapeValue>
  QVADynBenchmarkBasis(const QVAFsmSystemDofDefinition& dofs, int numberOfDofs, int numberOfNodes,
                       const std::vector<double>& eigenvalues, ShapeValue shapeValue) {
    modalObject_ = database_.CreateModalSystem(numberOfDofs, numberOfNodes);
    const int modes = static_cast<int>(eigenvalues.size());
    {
      QVADynModalSystem writer(new QVAFsmSystemDofDefinition(dofs), modalObject_, log_);
      writer.SetEigenvalues(eigenvalues.data(), modes, 0, 0);
      QVASrvDenseMatrix& phi = writer.CreateModeShapes(numberOfDofs, false);
      QVASrvMatrix column(numberOfDofs, 1);
      for (int mode = 0; mode < modes; ++mode) {
        for (int row = 0; row < numberOfDofs; ++row) column(row, 0) = shapeValue(row, mode);
        phi.SetValues(0, numberOfDofs - 1, mode, mode, column);
      }
    }
    modal_ = std::make_unique<QVADynModalSystem>(new QVAFsmSystemDofDefinition(dofs), modalObject_,
                                                 log_);
    modal_->Open();
  }
  QVADynBenchmarkBasis(const QVADynBenchmarkBasis&) = delete;
  QVADynBenchmarkBasis& operator=(const QVADynBenchmarkBasis&) = delete;

  QVASimDatabase& Database() { return database_; }
  QVAFsmModalSystem& ModalObject() { return modalObject_; }
  QVADynLogFile& Log() { return log_; }
  // The opened modal system.
  QVADynModalSystem& Modal() { return *modal_; }

 private:
  QVASimDatabase database_;
  QVAFsmModalSystem modalObject_;
  QVADynLogFile log_;
  std::unique_ptr<QVADynModalSystem> modal_;
};
