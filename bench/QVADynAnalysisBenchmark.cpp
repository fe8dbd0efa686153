// A whole analysis at production size, run as a host runs it: a synthetic
// basis of 60,000 DOFs (20,000 nodes x 3 places) and 200 modes with
// orthonormal columns (discrete sine vectors), written into a new model
// database and opened, then three events over it. Each phase is a benchmark of
// its own; times are processor seconds of this thread (OpenBLAS on one
// thread), fastest iteration of each; every baseline is measured in the same
// run.
//
//   BM_WriteAndOpenBasis  SetEigenvalues, CreateModeShapes, one SetValues of
//                         the whole 96 MB matrix, a projected viscous damping
//                         matrix, and Open on a fresh modal system. Baseline:
//                         copying the same bytes into newly allocated memory
//                         (malloc + memcpy, every page touched for the first
//                         time, as the database's pages are). Counter
//                         "ratioToCopyIntoNewMemory" (target at most 1.5).
//   BM_TransientFourNodes a transient of 2,000 steps, 2 % modal damping, a
//                         point load ramped and held; Recover of 4 nodes over
//                         all steps, and every step of those nodes read back.
//   BM_TransientFullField the same transient over 200 frames; Recover of the
//                         full field, and every frame read back with
//                         GetNodalResults. Baselines: one ReadDistribution of
//                         one frame's 60,000 values into a touched array, and
//                         the recovery alone. Counters "readOverReadDistribution"
//                         (one frame's read-back / one ReadDistribution, target
//                         at most 1.2) and "recoverAndReadOverRecover" ((Recover
//                         + read-backs) / Recover, target at most 1.5). For
//                         reference, the raw kernel of the recovery: one dgemm
//                         of the mode shapes with 200 x 200 amplitudes into an
//                         array already touched ("dgemmSeconds").
//   BM_HarmonicFourNodes  a harmonic sweep of 267 frequencies, 2 % modal
//                         damping, the same point load; Recover of 4 nodes and
//                         every frequency read back (real and imaginary part).
//
// Each phase reports the seconds of its steps as counters ("solveSeconds",
// "recoverSeconds", "readSeconds").

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVABlas.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

constexpr int kNodes = 20000;
constexpr int kPlaces = 3;
constexpr int kDofs = kNodes * kPlaces;
constexpr int kModes = 200;
constexpr int kSteps = 2000;
constexpr int kFullFieldFrames = 200;
constexpr int kFrequencies = 267;
constexpr double kStep = 1.0e-3;            // s
constexpr double kCriticalFraction = 0.02;  // of every mode
constexpr double kTwoPi = 6.283185307179586;
// The loaded DOF (node 10,000, place 1) and the recovered nodes.
constexpr int kLoadedDof = 10000 * kPlaces + 1;
constexpr int kRecoveredNodes[] = {0, 5000, 10000, 19999};
constexpr int kDisplacement = 1;

// Natural frequency of mode k, Hz: 1 ... 200.5 Hz.
double Frequency(int mode) { return 1.0 + 1.0 * mode; }

// What the host holds before it writes the basis: the DOF definition, the
// eigenvalues, the mode shapes (kDofs x kModes, column-major; column k is
// the discrete sine vector sqrt(2 / (n + 1)) sin(pi (i + 1) (k + 1) / (n + 1)),
// so the columns are orthonormal) and the diagonal projected viscous damping
// 2 zeta omega.
struct HostBasis {
  HostBasis()
      : dofs(QVADynBenchmarkDofs(kNodes, kPlaces, [](int place) { return 2 + place; })),
        eigenvalues(kModes),
        modeShapes(QVAIndex(kDofs) * kModes),
        damping(QVAIndex(kModes) * kModes, 0.0) {
    const double scale = std::sqrt(2.0 / (kDofs + 1));
    const double angle = kTwoPi / 2.0 / (kDofs + 1);
    for (int k = 0; k < kModes; ++k) {
      const double omega = kTwoPi * Frequency(k);
      eigenvalues[QVAIndex(k)] = omega * omega;
      damping[QVAIndex(k) * (kModes + 1)] = 2.0 * kCriticalFraction * omega;
      double* column = modeShapes.data() + QVAIndex(k) * kDofs;
      for (int i = 0; i < kDofs; ++i) {
        // (i + 1)(k + 1) reduced modulo 2(n + 1) keeps the argument small.
        const std::int64_t turns = (std::int64_t{i} + 1) * (k + 1) % (2 * (kDofs + 1));
        column[i] = scale * std::sin(angle * static_cast<double>(turns));
      }
    }
  }

  QVAFsmSystemDofDefinition dofs;
  std::vector<double> eigenvalues;
  std::vector<double> modeShapes;
  std::vector<double> damping;
};

const HostBasis& Host() {
  static const HostBasis host;
  return host;
}

// The basis written into a database of its own and opened on a fresh modal
// system.
class StoredBasis {
 public:
  StoredBasis() : modalObject_(database_.CreateModalSystem(kDofs, kNodes)) {}
  StoredBasis(const StoredBasis&) = delete;
  StoredBasis& operator=(const StoredBasis&) = delete;

  // What the benchmark of the first phase times.
  void WriteAndOpen() {
    const HostBasis& host = Host();
    {
      QVADynModalSystem writer(new QVAFsmSystemDofDefinition(host.dofs), modalObject_, log_);
      writer.SetEigenvalues(host.eigenvalues.data(), kModes, 0, 0);
      writer.CreateModeShapes(kDofs, false)
          .SetValues(0, kDofs - 1, 0, kModes - 1,
                     QVASrvMatrix(kDofs, kModes, const_cast<double*>(host.modeShapes.data())));
      writer.CreateDamping(QVADynViscousDamping, false)
          .SetValues(0, kModes - 1, 0, kModes - 1,
                     QVASrvMatrix(kModes, kModes, const_cast<double*>(host.damping.data())));
    }
    modal_ = std::make_unique<QVADynModalSystem>(new QVAFsmSystemDofDefinition(host.dofs),
                                                 modalObject_, log_);
    modal_->Open();
  }

  QVASimDatabase& Database() { return database_; }
  const QVAFsmModalSystem& ModalObject() const { return modalObject_; }
  const QVADynModalSystem& Modal() const { return *modal_; }

 private:
  QVASimDatabase database_;
  QVAFsmModalSystem modalObject_;
  QVADynLogFile log_;
  std::unique_ptr<QVADynModalSystem> modal_;
};

// The basis the events share, written once.
StoredBasis& SharedBasis() {
  static StoredBasis* basis = [] {
    auto* stored = new StoredBasis;
    stored->WriteAndOpen();
    return stored;
  }();
  return *basis;
}

std::vector<int> AllModes() {
  std::vector<int> modes(kModes);
  for (int k = 0; k < kModes; ++k) modes[QVAIndex(k)] = k;
  return modes;
}

// Flags of the recovered nodes.
std::unique_ptr<bool[]> RecoveredNodes() {
  auto nodes = std::make_unique<bool[]>(kNodes);
  for (const int node : kRecoveredNodes) nodes[QVAIndex(node)] = true;
  return nodes;
}

// New results of an event over the shared basis.
QVAFsmModalEventResults NewResults() {
  StoredBasis& basis = SharedBasis();
  return basis.Database().CreateModalEventResults(basis.ModalObject());
}

// An event over every mode of the shared basis with 2 % damping on each and
// one load case: 1 N at the loaded DOF, projected onto the modes, times the
// amplitudes of `amplitudes` (one row, one column per frame).
template <class Event, class Solver>
std::unique_ptr<Event> BuildEvent(const std::vector<QVADynFrameValue>& frames,
                                  QVASrvMatrix* amplitudes,
                                  const QVAFsmModalEventResults& results) {
  const QVADynModalSystem& modal = SharedBasis().Modal();
  auto event = std::make_unique<Event>(modal, new Solver, results);
  const std::vector<int> modes = AllModes();
  event->SetActiveModes(kModes, modes.data());
  event->SetFrameValues(static_cast<int>(frames.size()), frames.data());
  const std::vector<QVADynDiagonalDamping> records(kModes, {0.0, kCriticalFraction, 0.0, 0.0});
  event->SetDiagonalDamping(kModes, records.data());
  QVASrvSparseMatrix load(kDofs, 1);
  const int column = 0;
  const double force = 1.0;
  load.SetFromTriplets(1, &kLoadedDof, &column, &force);
  QVASrvMatrix* pattern = QVADynUtilities::ProjectForce(kModes, modes.data(), modal.DofDefinition(),
                                                        *modal.ModeShapes(), &load);
  event->AdoptAmplitudeTable(amplitudes);
  event->LoadCase(0).AdoptForce(new QVADynForce(pattern, &column, 1, nullptr, 0));
  return event;
}

// A transient event of `frames` frames 1 ms apart, the load ramped over the
// first 50 frames and held.
std::unique_ptr<QVADynTransientEvent> BuildTransient(
    int frames, const QVAFsmModalEventResults& results = NewResults()) {
  std::vector<QVADynFrameValue> values(QVAIndex(frames));
  for (QVADynFrameValue& frame : values) frame.third = kStep;
  auto* ramp = new QVASrvMatrix(1, frames);
  for (int n = 0; n < frames; ++n) (*ramp)(0, n) = std::min(n / 50.0, 1.0);
  return BuildEvent<QVADynTransientEvent, QVADynTransientSolver>(values, ramp, results);
}

// Seconds of each step of a phase, fastest of the iterations.
struct PhaseSeconds {
  double solve = 0.0;
  double recover = 0.0;
  double read = 0.0;

  void Keep(const PhaseSeconds& seconds) {
    QVADynKeepFastest(solve, seconds.solve);
    QVADynKeepFastest(recover, seconds.recover);
    QVADynKeepFastest(read, seconds.read);
  }
  void Report(benchmark::State& state) const {
    state.counters["solveSeconds"] = solve;
    state.counters["recoverSeconds"] = recover;
    state.counters["readSeconds"] = read;
  }
};

void BM_WriteAndOpenBasis(benchmark::State& state) {
  const HostBasis& host = Host();
  const std::size_t bytes = host.modeShapes.size() * sizeof(double);
  const auto copyIntoNewMemory = [&] {
    auto* copy = static_cast<double*>(std::malloc(bytes));
    const double seconds =
        QVADynThreadSecondsOf([&] { std::memcpy(copy, host.modeShapes.data(), bytes); });
    benchmark::DoNotOptimize(copy[host.modeShapes.size() - 1]);
    std::free(copy);
    return seconds;
  };
  const auto writeAndOpen = [&] {
    StoredBasis basis;
    return QVADynThreadSecondsOf([&] { basis.WriteAndOpen(); });
  };
  const QVADynFastestTimes fastest =
      QVADynTimeAgainstBaseline(state, writeAndOpen, copyIntoNewMemory);
  state.counters["ratioToCopyIntoNewMemory"] = fastest.ours / fastest.baseline;
  state.counters["copySeconds"] = fastest.baseline;
  state.SetLabel("target ratioToCopyIntoNewMemory <= 1.5");
}

void BM_TransientFourNodes(benchmark::State& state) {
  SharedBasis();
  const std::unique_ptr<bool[]> nodes = RecoveredNodes();
  std::vector<double> nodal(QVAIndex(kDofs));
  PhaseSeconds fastest;
  for (auto _ : state) {
    const std::unique_ptr<QVADynTransientEvent> event = BuildTransient(kSteps + 1);
    PhaseSeconds seconds;
    seconds.solve = QVADynThreadSecondsOf([&] { event->Solve(nullptr); });
    seconds.recover = QVADynThreadSecondsOf([&] { event->Recover(nodes.get(), kDisplacement); });
    seconds.read = QVADynThreadSecondsOf([&] {
      for (int frame = 0; frame <= kSteps; ++frame) {
        event->GetNodalResults(nodes.get(), frame, 0, nodal.data(), QVADynRecoverDisplacement);
      }
    });
    state.SetIterationTime(seconds.solve + seconds.recover + seconds.read);
    fastest.Keep(seconds);
  }
  fastest.Report(state);
}

// The recovered displacement of every frame of a full-field transient, each
// frame as a distribution of its own (the same values as the frames read
// back, stored apart from each other), for the baseline of the read-back.
std::vector<QVASimDistributionID> FramesApart(StoredBasis& basis) {
  const QVAFsmModalEventResults results = NewResults();
  const std::unique_ptr<QVADynTransientEvent> event = BuildTransient(kFullFieldFrames, results);
  event->Solve(nullptr);
  event->Recover(nullptr, kDisplacement);
  QVASimDatabase& database = basis.Database();
  const QVASimDistributionID recovered = results.U();
  std::vector<double> field(QVAIndex(database.NumberOfValues(recovered)));
  database.ReadDistribution(recovered, field.data());
  std::vector<QVASimDistributionID> frames;
  QVASimTransaction transaction(database);
  const QVASimCSetID rows =
      QVASimCollection(basis.ModalObject().Dofs()).CreateCSetStrided(0, kDofs, 1, 1);
  const int chunk = kDofs;
  for (int j = 0; j < kFullFieldFrames; ++j) {
    frames.push_back(database.CreateDistribution(
        basis.ModalObject().MyPosition(), CoreFragmentTypeIndex(6, 8), 1, &rows, &chunk, true));
    database.WriteDistribution(frames.back(), field.data() + QVAIndex(j) * kDofs);
  }
  transaction.Commit();
  return frames;
}

void BM_TransientFullField(benchmark::State& state) {
  StoredBasis& basis = SharedBasis();
  const std::vector<QVASimDistributionID> framesApart = FramesApart(basis);
  std::vector<double> nodal(QVAIndex(kDofs), 0.0);
  std::vector<double> frame(QVAIndex(kDofs), 0.0);
  const QVASrvDenseMatrix& phi = *basis.Modal().ModeShapes();
  const std::vector<double> q(QVAIndex(kModes) * kFullFieldFrames, 0.01);
  std::vector<double> field(QVAIndex(kDofs) * kFullFieldFrames, 0.0);
  PhaseSeconds fastest;
  double readDistribution = 0.0;
  double dgemm = 0.0;
  for (auto _ : state) {
    const std::unique_ptr<QVADynTransientEvent> event = BuildTransient(kFullFieldFrames);
    PhaseSeconds seconds;
    seconds.solve = QVADynThreadSecondsOf([&] { event->Solve(nullptr); });
    seconds.recover = QVADynThreadSecondsOf([&] { event->Recover(nullptr, kDisplacement); });
    seconds.read = QVADynThreadSecondsOf([&] {
      for (int j = 0; j < kFullFieldFrames; ++j) {
        event->GetNodalResults(nullptr, j, 0, nodal.data(), QVADynRecoverDisplacement);
      }
    });
    const double plainReads = QVADynThreadSecondsOf([&] {
      for (const QVASimDistributionID& values : framesApart) {
        basis.Database().ReadDistribution(values, frame.data());
        benchmark::DoNotOptimize(frame.data());
      }
    });
    const double product = QVADynThreadSecondsOf([&] {
      QVAGemm('N', 'N', kDofs, kFullFieldFrames, kModes, 1.0, phi.Values(),
              static_cast<int>(phi.LeadingDimension()), q.data(), kModes, 0.0, field.data(), kDofs);
    });
    state.SetIterationTime(seconds.solve + seconds.recover + seconds.read);
    fastest.Keep(seconds);
    QVADynKeepFastest(readDistribution, plainReads);
    QVADynKeepFastest(dgemm, product);
  }
  fastest.Report(state);
  state.counters["readOverReadDistribution"] = fastest.read / readDistribution;
  state.counters["recoverAndReadOverRecover"] = (fastest.recover + fastest.read) / fastest.recover;
  state.counters["readSecondsPerFrame"] = fastest.read / kFullFieldFrames;
  state.counters["readDistributionSecondsPerFrame"] = readDistribution / kFullFieldFrames;
  state.counters["recoverSecondsPerFrame"] = fastest.recover / kFullFieldFrames;
  state.counters["dgemmSeconds"] = dgemm;
  state.SetLabel("target readOverReadDistribution <= 1.2, recoverAndReadOverRecover <= 1.5");
}

void BM_HarmonicFourNodes(benchmark::State& state) {
  SharedBasis();
  const std::unique_ptr<bool[]> nodes = RecoveredNodes();
  std::vector<QVADynFrameValue> frames(kFrequencies);
  for (int j = 0; j < kFrequencies; ++j) frames[QVAIndex(j)].first = 0.75 * (j + 1);
  std::vector<double> real(QVAIndex(kDofs));
  std::vector<double> imaginary(QVAIndex(kDofs));
  PhaseSeconds fastest;
  for (auto _ : state) {
    auto* unit = new QVASrvMatrix(1, kFrequencies);
    *unit = 1.0;
    const std::unique_ptr<QVADynHarmonicEvent> event =
        BuildEvent<QVADynHarmonicEvent, QVADynHarmonicSolver>(frames, unit, NewResults());
    PhaseSeconds seconds;
    seconds.solve = QVADynThreadSecondsOf([&] { event->Solve(nullptr); });
    seconds.recover = QVADynThreadSecondsOf([&] { event->Recover(nodes.get(), kDisplacement); });
    seconds.read = QVADynThreadSecondsOf([&] {
      for (int j = 0; j < kFrequencies; ++j) {
        event->GetNodalResults(nodes.get(), j, 0, real.data(), QVADynRecoverDisplacement);
        event->GetImaginaryNodalResults(nodes.get(), j, 0, imaginary.data(),
                                        QVADynRecoverDisplacement);
      }
    });
    state.SetIterationTime(seconds.solve + seconds.recover + seconds.read);
    fastest.Keep(seconds);
  }
  fastest.Report(state);
}

}  // namespace

BENCHMARK(BM_WriteAndOpenBasis)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransientFourNodes)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransientFullField)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarmonicFourNodes)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
