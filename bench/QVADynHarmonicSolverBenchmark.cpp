// Speed of the diagonal harmonic method: QVADynHarmonicSolver::Solve for
// 1,000 modes with 2 % viscous damping, 10,000 frequencies and one load case
// (a real and an imaginary force pattern), against a plain loop in the same
// run that computes only the receptances and the products
// q = F / (lambda - omega^2 + i omega c) for the same sizes into an output
// array of the same size, allocated as the solver allocates its own.
// Counter "ratioToPlainLoop" = solve seconds / plain-loop seconds, thread CPU
// time of the fastest iteration of each (target at most 1.5).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

constexpr int kModes = 1000;
constexpr int kFrequencies = 10000;
constexpr double kCriticalFraction = 0.02;

// A 1,000-mode system (one DOF per mode, identity shapes), its operators with
// 2 % damping, one load case and the frequencies.
class HarmonicProblem {
 public:
  HarmonicProblem() : dofs_(kModes, 1) {
    for (int node = 0; node < kModes; ++node) dofs_.AddDof(node, 0, 2);
    for (int k = 0; k < kModes; ++k) {
      const double omega = kQVATwoPi * (1.0 + 0.5 * k);
      eigenvalues_.push_back(omega * omega);
      forceReal_.push_back(std::cos(0.1 * k));
      forceImaginary_.push_back(std::sin(0.3 * k));
    }
    modal_ = database_.CreateModalSystem(kModes, kModes);
    {
      QVADynModalSystem writer(new QVAFsmSystemDofDefinition(dofs_), modal_, log_);
      writer.SetEigenvalues(eigenvalues_.data(), kModes, 0, 0);
      QVASrvDenseMatrix& shapes = writer.CreateModeShapes(kModes, false);
      QVASrvMatrix column(kModes, 1);
      for (int mode = 0; mode < kModes; ++mode) {
        column = 0.0;
        column(mode, 0) = 1.0;
        shapes.SetValues(0, kModes - 1, mode, mode, column);
      }
    }
    system_ =
        std::make_unique<QVADynModalSystem>(new QVAFsmSystemDofDefinition(dofs_), modal_, log_);
    system_->Open();

    std::vector<int> modes(kModes);
    records_.assign(kModes, QVADynDiagonalDamping{0.0, kCriticalFraction, 0.0, 0.0});
    for (int k = 0; k < kModes; ++k) modes[QVAIndex(k)] = k;
    const QVADynModalDamping damping(records_.data(), kModes, nullptr, nullptr, nullptr);
    ops_ = std::make_unique<QVADynModalOperators>(*system_, nullptr);
    ops_->Build(kModes, modes.data(), damping);
    for (int k = 0; k < kModes; ++k) viscous_.push_back((*ops_->ViscousDamping())(k, k));

    auto* table = new QVASrvMatrix(1, kFrequencies);
    *table = 1.0;
    loads_.AdoptAmplitudeTable(table);
    loads_.SetNumberOfActiveModes(kModes);
    auto* pattern = new QVASrvMatrix(kModes, 2);
    for (int k = 0; k < kModes; ++k) {
      (*pattern)(k, 0) = forceReal_[QVAIndex(k)];
      (*pattern)(k, 1) = forceImaginary_[QVAIndex(k)];
    }
    const int row = 0;
    loads_.LoadCase(0).AdoptForce(new QVADynForce(pattern, &row, 1, &row, 1));
    frames_.resize(kFrequencies);
    for (int j = 0; j < kFrequencies; ++j) {
      frames_[QVAIndex(j)].first = 0.05 * j;  // 0 ... 500 Hz
    }
  }

  void Solve() {
    QVADynHarmonicSolver solver;
    QVADynEnergy energy(0, kModes, 1, kFrequencies);
    QVADynSolution solution;
    solver.Solve(solution, *ops_, kFrequencies, frames_.data(), &energy, loads_, log_);
    benchmark::DoNotOptimize(solution.Displacement()[kModes * kFrequencies - 1]);
  }

  // The receptances and products alone, in the solver's output layout.
  void PlainLoop() const {
    const std::size_t partSize = std::size_t{kModes} * kFrequencies;
    double* output = mem_AllocArray<double>(2 * partSize);
    for (int j = 0; j < kFrequencies; ++j) {
      const double omega = kQVATwoPi * frames_[QVAIndex(j)].first;
      const double omegaSquared = omega * omega;
      double* real = output + QVAIndex(j) * kModes;
      double* imaginary = real + partSize;
      for (int k = 0; k < kModes; ++k) {
        const double a = eigenvalues_[QVAIndex(k)] - omegaSquared;
        const double b = omega * viscous_[QVAIndex(k)];
        const double inverse = 1.0 / (b * b + a * a);
        const double receptanceReal = inverse * a;
        const double receptanceImaginary = -inverse * b;
        const double fr = forceReal_[QVAIndex(k)];
        const double fi = forceImaginary_[QVAIndex(k)];
        real[k] = receptanceReal * fr - receptanceImaginary * fi;
        imaginary[k] = receptanceReal * fi + receptanceImaginary * fr;
      }
    }
    benchmark::DoNotOptimize(output[partSize - 1]);
    mem_Free(output);
  }

 private:
  QVAFsmSystemDofDefinition dofs_;
  QVASimDatabase database_;
  QVAFsmModalSystem modal_;
  QVADynLogFile log_;
  std::unique_ptr<QVADynModalSystem> system_;
  std::vector<double> eigenvalues_;
  std::vector<double> viscous_;
  std::vector<double> forceReal_;
  std::vector<double> forceImaginary_;
  std::vector<QVADynDiagonalDamping> records_;
  std::unique_ptr<QVADynModalOperators> ops_;
  QVADynLoadCaseList loads_;
  std::vector<QVADynFrameValue> frames_;
};

void BM_DiagonalHarmonicSolve(benchmark::State& state) {
  HarmonicProblem problem;
  const QVADynFastestTimes fastest = QVADynTimeAgainstBaseline(
      state, [&] { return QVADynThreadSecondsOf([&] { problem.Solve(); }); },
      [&] { return QVADynThreadSecondsOf([&] { problem.PlainLoop(); }); });
  state.counters["ratioToPlainLoop"] = fastest.ours / fastest.baseline;
  state.counters["plainLoopSeconds"] = fastest.baseline;
  state.counters["modeFrequenciesPerSecond"] =
      static_cast<double>(kModes) * kFrequencies / fastest.ours;
  state.SetLabel("target ratioToPlainLoop <= 1.5");
}

}  // namespace

BENCHMARK(BM_DiagonalHarmonicSolve)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
