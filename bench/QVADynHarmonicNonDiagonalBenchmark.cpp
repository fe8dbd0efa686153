// Speed of the non-diagonal harmonic method on its reduced path:
// QVADynHarmonicSolver::Solve for 400 structural modes with full symmetric
// viscous and structural damping, 8 load cases (complex forces) and 8
// frequencies between the eigenvalues, against LAPACK zgesv on the
// equivalent complex 400 x 400 systems K - omega^2 I + i (omega V + S) with
// the same 8 right-hand sides, in the same run. Counter
// "ratioToZgesv" = solve seconds per frequency / zgesv seconds per
// frequency, processor time of this thread for the fastest iteration of
// each (target at most 0.6); OpenBLAS runs on one thread.

#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynHarmonicFrameSolver.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

extern "C" {
void openblas_set_num_threads(int numberOfThreads);
void zgesv_(const int* n, const int* numberOfRightHandSides, std::complex<double>* a,
            const int* lda, int* pivots, std::complex<double>* b, const int* ldb, int* info);
}

namespace {

using Complex = std::complex<double>;

constexpr int kModes = 400;
constexpr int kCases = 8;
constexpr int kFrequencies = 8;

// 400 modes (one DOF each, identity shapes) at 1, 1.5, 2, ... Hz with a
// projected viscous and structural damping that couples every mode; 8 load
// cases with a real and an imaginary pattern each; frequencies halfway
// between neighbouring eigenvalues, so that every frame takes the reduced
// path.
class NonDiagonalProblem {
 public:
  NonDiagonalProblem() : dofs_(kModes, 1) {
    for (int node = 0; node < kModes; ++node) dofs_.AddDof(node, 0, 2);
    std::vector<double> eigenvalues;
    for (int k = 0; k < kModes; ++k)
      eigenvalues.push_back(std::pow(kQVATwoPi * (1.0 + 0.5 * k), 2));
    QVASrvMatrix identity(kModes, kModes);
    for (int k = 0; k < kModes; ++k) identity(k, k) = 1.0;
    QVASrvMatrix viscous(kModes, kModes);
    QVASrvMatrix structural(kModes, kModes);
    for (int column = 0; column < kModes; ++column) {
      for (int row = 0; row < kModes; ++row) {
        viscous(row, column) = 0.01 * std::cos(0.37 * (row + 1) * (column + 1));
        structural(row, column) = 0.05 * std::sin(0.11 * (row + column + 1));
      }
      viscous(column, column) += 0.5;
    }
    modal_ = database_.CreateModalSystem(kModes, kModes);
    {
      QVADynModalSystem writer(new QVAFsmSystemDofDefinition(dofs_), modal_, log_);
      writer.SetEigenvalues(eigenvalues.data(), kModes, 0, 0);
      writer.CreateModeShapes(kModes, false).SetValues(0, kModes - 1, 0, kModes - 1, identity);
      writer.CreateDamping(QVADynViscousDamping, false)
          .SetValues(0, kModes - 1, 0, kModes - 1, viscous);
      writer.CreateDamping(QVADynStructuralDamping, false)
          .SetValues(0, kModes - 1, 0, kModes - 1, structural);
    }
    system_ =
        std::make_unique<QVADynModalSystem>(new QVAFsmSystemDofDefinition(dofs_), modal_, log_);
    system_->Open();

    std::vector<int> modes(kModes);
    for (int k = 0; k < kModes; ++k) modes[QVAIndex(k)] = k;
    const QVADynModalDamping damping(nullptr, kModes, system_->ViscousDamping(),
                                     system_->StructuralDamping(), nullptr);
    ops_ = std::make_unique<QVADynModalOperators>(*system_, nullptr);
    ops_->Build(kModes, modes.data(), damping);

    auto* table = new QVASrvMatrix(1, kFrequencies);
    *table = 1.0;
    loads_.AdoptAmplitudeTable(table);
    loads_.SetNumberOfActiveModes(kModes);
    const int rows[] = {0, 0};
    for (int c = 0; c < kCases; ++c) {
      auto* pattern = new QVASrvMatrix(kModes, 2);
      for (int k = 0; k < kModes; ++k) {
        (*pattern)(k, 0) = std::cos(0.1 * k + c);
        (*pattern)(k, 1) = std::sin(0.3 * k - c);
      }
      loads_.LoadCase(c).AdoptForce(new QVADynForce(pattern, rows, 1, rows + 1, 1));
    }
    frames_.resize(kFrequencies);
    for (int j = 0; j < kFrequencies; ++j) {
      frames_[QVAIndex(j)].first = 1.25 + 20.0 * j;  // between two modes
    }
  }

  double SolveSeconds() {
    QVADynHarmonicSolver solver;
    QVADynEnergy energy(0, kModes, kCases, kFrequencies);
    QVADynSolution solution;
    const double seconds = QVADynThreadSecondsOf([&] {
      solver.Solve(solution, *ops_, kFrequencies, frames_.data(), &energy, loads_, log_);
    });
    benchmark::DoNotOptimize(solution.Displacement()[0]);
    return seconds;
  }

  // The frames' paths, to check that the benchmark measures the reduced path.
  bool AllReduced() {
    std::vector<double> output(2 * QVAIndex(kModes) * kCases * kFrequencies);
    QVADynHarmonicFrameSolver frameSolver(QVADynHarmonicFrameSolver::Kind::kStructural, *ops_,
                                          loads_, kFrequencies, output.data());
    for (int j = 0; j < kFrequencies; ++j) {
      if (frameSolver.SolveFrame(j, frames_[QVAIndex(j)].first) != QVADynHarmonicPath::kReduced) {
        return false;
      }
    }
    return true;
  }

  // zgesv on the complex system of every frame with the same right-hand
  // sides; only the zgesv calls are timed.
  double ZgesvSeconds() const {
    const QVASrvMatrix& stiffness = *ops_->Stiffness();
    const QVASrvMatrix& viscous = *ops_->ViscousDamping();
    const QVASrvMatrix& structural = *ops_->StructuralDamping();
    std::vector<Complex> matrix(QVAIndex(kModes) * kModes);
    std::vector<Complex> rightHandSides(QVAIndex(kModes) * kCases);
    std::vector<double> real(QVAIndex(kModes) * kCases);
    std::vector<double> imaginary(real.size());
    std::vector<int> pivots(kModes);
    double seconds = 0.0;
    for (int j = 0; j < kFrequencies; ++j) {
      const double omega = kQVATwoPi * frames_[QVAIndex(j)].first;
      for (int column = 0; column < kModes; ++column) {
        for (int row = 0; row < kModes; ++row) {
          matrix[QVAColumnMajor(row, column, kModes)] = {
              stiffness(row, column), omega * viscous(row, column) + structural(row, column)};
        }
        matrix[QVAColumnMajor(column, column, kModes)] -= omega * omega;
      }
      loads_.GetModalForces(real.data(), QVADynRealPart, j);
      loads_.GetModalForces(imaginary.data(), QVADynImaginaryPart, j);
      for (std::size_t i = 0; i < real.size(); ++i) rightHandSides[i] = {real[i], imaginary[i]};
      int info = 0;
      const int n = kModes;
      const int columns = kCases;
      seconds += QVADynThreadSecondsOf([&] {
        zgesv_(&n, &columns, matrix.data(), &n, pivots.data(), rightHandSides.data(), &n, &info);
      });
      benchmark::DoNotOptimize(rightHandSides[0]);
    }
    return seconds;
  }

 private:
  QVAFsmSystemDofDefinition dofs_;
  QVASimDatabase database_;
  QVAFsmModalSystem modal_;
  QVADynLogFile log_;
  std::unique_ptr<QVADynModalSystem> system_;
  std::unique_ptr<QVADynModalOperators> ops_;
  QVADynLoadCaseList loads_;
  std::vector<QVADynFrameValue> frames_;
};

void BM_NonDiagonalReducedPath(benchmark::State& state) {
  openblas_set_num_threads(1);
  NonDiagonalProblem problem;
  if (!problem.AllReduced()) {
    state.SkipWithError("a frame left the reduced path");
    return;
  }
  const QVADynFastestTimes fastest = QVADynTimeAgainstBaseline(
      state, [&] { return problem.SolveSeconds(); }, [&] { return problem.ZgesvSeconds(); },
      kFrequencies);
  state.counters["ratioToZgesv"] = fastest.ours / fastest.baseline;
  state.counters["secondsPerFrequency"] = fastest.ours / kFrequencies;
  state.counters["zgesvSecondsPerFrequency"] = fastest.baseline / kFrequencies;
  state.SetLabel("target ratioToZgesv <= 0.6");
}

}  // namespace

BENCHMARK(BM_NonDiagonalReducedPath)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
