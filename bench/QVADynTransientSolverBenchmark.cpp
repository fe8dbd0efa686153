// Speed of QVADynTransientSolver::Solve, each against a baseline measured in
// the same run (processor time of this thread, user and system, fastest
// iteration of each; OpenBLAS on one thread):
//
//   BM_DiagonalDamping   2,000 modes x 20,000 steps, 2 % damping on every mode,
//                        one load case: the whole Solve, which allocates and
//                        fills 3 x 320 MB of new result arrays (every page is
//                        touched for the first time, the kernel zero-fills it),
//                        against a plain loop of the same recurrence over
//                        arrays of that size that are already in memory.
//                        Counters "modeStepsPerSecond" (target at least 1e8),
//                        "ratioToPlainLoop" (solve rate / loop rate) and
//                        "firstTouchShare" (seconds to allocate and write three
//                        such arrays once / solve seconds).
//   BM_DiagonalDampingShort  the same 4e7 mode-steps as 100 solves of 200
//                        steps, with the allocator told to keep freed blocks,
//                        so that the result arrays come back warm: the rate of
//                        the stepping itself, without first-touch page faults.
//   BM_CoupledDamping    200 modes coupled by a full projected viscous damping
//                        matrix, one load case, 2,000 steps: seconds per step
//                        against one LAPACK dgetrs (n = 200, one right-hand
//                        side) plus one dgemv of order 200. Counter
//                        "ratioToDgetrsPlusDgemv" (target at most 3).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADynTransientCoefficients.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/impl/QVAMtxLapack.h"
#include "platform/modeldb/QVASimDatabase.h"

extern "C" void openblas_set_num_threads(int numberOfThreads);

namespace {

constexpr double kStep = 1.0e-4;

// `modes` modes at 1, 1.5, 2, ... Hz (one DOF each; the solver reads no mode
// shapes), 2 % of critical damping on each, with a full projected viscous
// damping matrix when `coupled`; one load case of one pattern whose amplitude
// ramps over the first 100 steps and holds; `steps` equal steps of 0.1 ms.
class TransientProblem {
 public:
  TransientProblem(int modes, int steps, bool coupled)
      : modes_(modes), steps_(steps), dofs_(modes, 1) {
    for (int node = 0; node < modes; ++node) dofs_.AddDof(node, 0, 2);
    for (int k = 0; k < modes; ++k)
      eigenvalues_.push_back(std::pow(kQVATwoPi * (1.0 + 0.5 * k), 2));
    modal_ = database_.CreateModalSystem(modes, modes);
    {
      QVADynModalSystem writer(new QVAFsmSystemDofDefinition(dofs_), modal_, log_);
      writer.SetEigenvalues(eigenvalues_.data(), modes, 0, 0);
      writer.CreateModeShapes(1, false);
      if (coupled) {
        QVASrvMatrix viscous(modes, modes);
        for (int column = 0; column < modes; ++column) {
          for (int row = 0; row < modes; ++row) {
            viscous(row, column) = 0.01 * std::cos(0.37 * (row + 1) * (column + 1));
          }
        }
        writer.CreateDamping(QVADynViscousDamping, false)
            .SetValues(0, modes - 1, 0, modes - 1, viscous);
      }
    }
    system_ =
        std::make_unique<QVADynModalSystem>(new QVAFsmSystemDofDefinition(dofs_), modal_, log_);
    system_->Open();

    std::vector<int> active(QVAIndex(modes));
    for (int k = 0; k < modes; ++k) active[QVAIndex(k)] = k;
    const std::vector<QVADynDiagonalDamping> records(QVAIndex(modes), {0.0, 0.02, 0.0, 0.0});
    const QVADynModalDamping damping(records.data(), modes, system_->ViscousDamping(), nullptr,
                                     nullptr);
    ops_ = std::make_unique<QVADynModalOperators>(*system_, nullptr);
    ops_->Build(modes, active.data(), damping);

    auto* table = new QVASrvMatrix(1, steps + 1);
    for (int n = 0; n <= steps; ++n) (*table)(0, n) = std::min(1.0, 0.01 * n);
    loads_.SetNumberOfActiveModes(modes);
    loads_.AdoptAmplitudeTable(table);
    auto* pattern = new QVASrvMatrix(modes, 1);
    for (int k = 0; k < modes; ++k) (*pattern)(k, 0) = std::cos(0.1 * k);
    const int row = 0;
    loads_.LoadCase(0).AdoptForce(new QVADynForce(pattern, &row, 1, nullptr, 0));
    frames_.assign(QVAIndex(steps) + 1, QVADynFrameValue{0.0, 0.0, kStep});
  }

  int Modes() const { return modes_; }
  int Steps() const { return steps_; }
  const std::vector<double>& Eigenvalues() const { return eigenvalues_; }
  const QVADynModalOperators& Operators() const { return *ops_; }

  // Thread seconds of one Solve, result arrays released afterwards.
  double SolveSeconds() const {
    QVADynTransientSolver solver;
    QVADynEnergy energy(0, modes_, 1, steps_ + 1);
    QVADynSolution solution;
    const double seconds = QVADynThreadSecondsOf(
        [&] { solver.Solve(solution, *ops_, steps_ + 1, frames_.data(), &energy, loads_, log_); });
    benchmark::DoNotOptimize(solution.Displacement()[steps_]);
    return seconds;
  }

 private:
  int modes_;
  int steps_;
  std::vector<double> eigenvalues_;
  QVAFsmSystemDofDefinition dofs_;
  QVASimDatabase database_;
  QVAFsmModalSystem modal_;
  QVADynLogFile log_;
  std::unique_ptr<QVADynModalSystem> system_;
  std::unique_ptr<QVADynModalOperators> ops_;
  QVADynLoadCaseList loads_;
  std::vector<QVADynFrameValue> frames_;
};

// The recurrence as a plain loop over result arrays that are already in
// memory (touched before timing), with the load held constant: the work the
// solver cannot avoid.
class PlainLoop {
 public:
  explicit PlainLoop(const TransientProblem& problem)
      : modes_(QVAIndex(problem.Modes())),
        frames_(QVAIndex(problem.Steps()) + 1),
        lambda_(problem.Eigenvalues()),
        damping_(modes_),
        table_(8 * modes_),
        force_(modes_, 1.0),
        u_(modes_ * frames_, 0.0),
        v_(modes_ * frames_, 0.0),
        a_(modes_ * frames_, 0.0) {
    for (std::size_t k = 0; k < modes_; ++k) damping_[k] = 0.04 * std::sqrt(lambda_[k]);
    QVADynBuildCoefficientTable(problem.Modes(), lambda_.data(), damping_.data(), kStep, true,
                                table_.data(), nullptr);
  }

  double Seconds() {
    const double* t = table_.data();
    const std::size_t m = modes_;
    return QVADynThreadSecondsOf([&] {
      for (std::size_t n = 1; n < frames_; ++n) {
        const double* u0 = &u_[(n - 1) * m];
        const double* v0 = &v_[(n - 1) * m];
        double* u1 = &u_[n * m];
        double* v1 = &v_[n * m];
        double* a1 = &a_[n * m];
        for (std::size_t k = 0; k < m; ++k) {
          const double f = force_[k];
          u1[k] = t[k] * u0[k] + t[m + k] * v0[k] + (t[2 * m + k] + t[3 * m + k]) * f;
          v1[k] = t[4 * m + k] * u0[k] + t[5 * m + k] * v0[k] + (t[6 * m + k] + t[7 * m + k]) * f;
          a1[k] = f - damping_[k] * v1[k] - lambda_[k] * u1[k];
        }
      }
      benchmark::DoNotOptimize(a_.back());
    });
  }

 private:
  std::size_t modes_;
  std::size_t frames_;
  std::vector<double> lambda_;
  std::vector<double> damping_;
  std::vector<double> table_;
  std::vector<double> force_;
  std::vector<double> u_, v_, a_;
};

// Thread seconds to allocate `count` doubles three times from the platform
// allocator, write every value once and release them: the first-touch cost
// of a solve's result arrays.
double FirstTouchSeconds(std::size_t count) {
  return QVADynThreadSecondsOf([count] {
    for (int array = 0; array < 3; ++array) {
      double* values = mem_AllocArray<double>(count);
      std::fill_n(values, count, 1.0);
      benchmark::DoNotOptimize(values[count / 2]);
      mem_Free(values);
    }
  });
}

void BM_DiagonalDamping(benchmark::State& state) {
  openblas_set_num_threads(1);
  const TransientProblem problem(2000, 20000, false);
  PlainLoop plain(problem);
  plain.Seconds();
  const std::size_t count = 2000 * QVAIndex(20001);
  double best = 0.0;
  double plainBest = 0.0;
  double touchBest = 0.0;
  for (auto _ : state) {
    const double ours = problem.SolveSeconds();
    const double loop = plain.Seconds();
    const double touch = FirstTouchSeconds(count);
    state.SetIterationTime(ours);
    QVADynKeepFastest(best, ours);
    QVADynKeepFastest(plainBest, loop);
    QVADynKeepFastest(touchBest, touch);
  }
  const double modeSteps = 2000.0 * 20000.0;
  state.counters["modeStepsPerSecond"] = modeSteps / best;
  state.counters["plainLoopModeStepsPerSecond"] = modeSteps / plainBest;
  state.counters["ratioToPlainLoop"] = plainBest / best;
  // Share of the solve that new result memory costs by itself.
  state.counters["firstTouchShare"] = touchBest / best;
  state.SetLabel("target modeStepsPerSecond >= 1e8");
}

void BM_DiagonalDampingShort(benchmark::State& state) {
  openblas_set_num_threads(1);
  // Keep freed result arrays in the heap (no mmap of 3.2 MB blocks, no trim),
  // so that each solve gets warm memory back, as a host that solves often would.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const TransientProblem problem(2000, 200, false);
  PlainLoop plain(problem);
  constexpr int kSolves = 100;
  problem.SolveSeconds();
  plain.Seconds();
  double best = 0.0;
  double plainBest = 0.0;
  for (auto _ : state) {
    double ours = 0.0;
    double loop = 0.0;
    for (int solve = 0; solve < kSolves; ++solve) {
      ours += problem.SolveSeconds();
      loop += plain.Seconds();
    }
    state.SetIterationTime(ours);
    QVADynKeepFastest(best, ours);
    QVADynKeepFastest(plainBest, loop);
  }
  const double modeSteps = 2000.0 * 200.0 * kSolves;
  state.counters["modeStepsPerSecond"] = modeSteps / best;
  state.counters["plainLoopModeStepsPerSecond"] = modeSteps / plainBest;
  state.counters["ratioToPlainLoop"] = plainBest / best;
  state.SetLabel("target modeStepsPerSecond >= 1e8");
}

void BM_CoupledDamping(benchmark::State& state) {
  openblas_set_num_threads(1);
  constexpr int kModes = 200;
  constexpr int kSteps = 2000;
  const TransientProblem problem(kModes, kSteps, true);
  // The baseline: one LU solve with the factors of a 200 x 200 system and one
  // matrix-vector product of the same order, per step.
  const int n = kModes;
  const int one = 1;
  std::vector<double> matrix(QVAIndex(n) * n);
  for (int column = 0; column < n; ++column) {
    for (int row = 0; row < n; ++row) {
      matrix[QVAIndex(row + column * n)] =
          (row == column ? 1.0 : 0.0) + 0.001 * std::cos(0.37 * (row + 1) * (column + 1));
    }
  }
  std::vector<double> factors(matrix);
  std::vector<int> pivots(kModes);
  int info = 0;
  dgetrf_(&n, &n, factors.data(), &n, pivots.data(), &info);
  std::vector<double> velocity(kModes, 1.0);
  std::vector<double> force(kModes, 0.5);
  auto baselineSeconds = [&] {
    const char noTranspose = 'N';
    const double minusOne = -1.0;
    const double plusOne = 1.0;
    return QVADynThreadSecondsOf([&] {
      for (int step = 0; step < kSteps; ++step) {
        dgetrs_(&noTranspose, &n, &one, factors.data(), &n, pivots.data(), velocity.data(), &n,
                &info, 1);
        dgemv_(&noTranspose, &n, &n, &minusOne, matrix.data(), &n, velocity.data(), &one, &plusOne,
               force.data(), &one, 1);
      }
      benchmark::DoNotOptimize(force[0]);
    });
  };
  const QVADynFastestTimes fastest = QVADynTimeAgainstBaseline(
      state, [&] { return problem.SolveSeconds(); }, baselineSeconds);
  state.counters["secondsPerStep"] = fastest.ours / kSteps;
  state.counters["dgetrsPlusDgemvSeconds"] = fastest.baseline / kSteps;
  state.counters["ratioToDgetrsPlusDgemv"] = fastest.ours / fastest.baseline;
  state.SetLabel("target ratioToDgetrsPlusDgemv <= 3");
}

}  // namespace

BENCHMARK(BM_DiagonalDamping)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiagonalDampingShort)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CoupledDamping)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
