// Cost of the whole complex frequency solve against the raw LAPACK call at its
// heart. A subspace of 400 real modes (state matrix 800 x 800) with
// non-proportional viscous damping, without structural damping (DGEEV) and
// with it (ZGEEV). Each iteration times QVADynCFreqSolve (state matrix, eigen
// solve, selection, ordering, storing all 400 modes, recovery and
// normalization) and one raw call of the same routine on a copy of the same
// state matrix with LAPACK's optimal work length. The physical recovery is
// kept small (120 DOFs), so the ratio measures the overhead around the eigen
// solve. Times are processor time of the whole process (all threads of
// OpenBLAS included), so that other processes on the machine do not distort
// them. Counter "ratioToRawLapack" = fastest solve / fastest raw call (target
// at most 1.15).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <complex>
#include <memory>
#include <type_traits>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCFreqSolve.h"
#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVABlaModule.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

using Complex = std::complex<double>;

constexpr int kSubspace = 400;
constexpr int kOrder = 2 * kSubspace;
constexpr int kNodes = 20;
constexpr int kPlaces = 6;
constexpr int kDofs = kNodes * kPlaces;

// A reproducible value in [-1, 1) from two indices.
double Pseudo(int i, int j) {
  const unsigned hash = static_cast<unsigned>(i) * 2654435761U ^ static_cast<unsigned>(j) * 40503U;
  return static_cast<double>(hash % 20001U) / 10000.0 - 1.0;
}

// The projected operators of a bar-like spectrum: K = diag(omega^2) with
// omega from 10 to ~4000 rad/s, V Rayleigh plus a rank-one dashpot term, S a
// loss factor of 0.02 with a small symmetric coupling.
struct Operators {
  Operators()
      : stiffness(kSubspace, kSubspace),
        viscous(kSubspace, kSubspace),
        structural(kSubspace, kSubspace) {
    for (int i = 0; i < kSubspace; ++i) {
      const double omega = 10.0 * (i + 1);
      stiffness(i, i) = omega * omega;
    }
    for (int j = 0; j < kSubspace; ++j) {
      for (int i = 0; i < kSubspace; ++i) {
        viscous(i, j) = 0.5 * Pseudo(i, 1) * Pseudo(j, 1);
        structural(i, j) = 0.01 * (Pseudo(std::min(i, j), std::max(i, j)));
      }
      viscous(j, j) += 1.0 + 1e-5 * stiffness(j, j);
      structural(j, j) = 0.02 * stiffness(j, j);
    }
  }
  QVASrvMatrix stiffness;
  QVASrvMatrix viscous;
  QVASrvMatrix structural;
};

const Operators& TheOperators() {
  static const Operators operators;
  return operators;
}

// The state matrix [0 I; -K - i S  -V], column-major, of T = double (without
// S) or std::complex<double>.
template <class T>
std::vector<T> StateMatrix(bool withStructural) {
  const Operators& operators = TheOperators();
  std::vector<T> state(QVAIndex(kOrder) * kOrder, T{0.0});
  const auto at = [](int row, int column) { return QVAIndex(row) + QVAIndex(column) * kOrder; };
  for (int j = 0; j < kSubspace; ++j) {
    state[at(j, kSubspace + j)] = T{1.0};
    for (int i = 0; i < kSubspace; ++i) {
      T lowerLeft = -operators.stiffness(i, j);
      if constexpr (std::is_same_v<T, Complex>) {
        if (withStructural) lowerLeft -= Complex(0.0, operators.structural(i, j));
      }
      state[at(kSubspace + i, j)] = lowerLeft;
      state[at(kSubspace + i, kSubspace + j)] = -operators.viscous(i, j);
    }
  }
  return state;
}

// Raw DGEEV (right vectors) on a copy of the real state matrix; the copy is
// not timed.
class RawDgeev {
 public:
  RawDgeev()
      : state_(StateMatrix<double>(false)),
        work_(state_),
        wr_(kOrder),
        wi_(kOrder),
        vr_(QVAIndex(kOrder) * kOrder) {
    double optimal = 0.0;
    const int query = -1;
    Call(query, &optimal);
    workspace_.resize(static_cast<std::size_t>(optimal));
  }
  double Run() {
    std::copy(state_.begin(), state_.end(), work_.begin());
    return QVADynProcessSecondsOf(
        [&] { Call(static_cast<int>(workspace_.size()), workspace_.data()); });
  }

 private:
  void Call(int lwork, double* workspace) {
    const char no = 'N';
    const char yes = 'V';
    const int order = kOrder;
    const int one = 1;
    double dummy = 0.0;
    int info = 0;
    BLAC_DGEEV(&no, &yes, &order, work_.data(), &order, wr_.data(), wi_.data(), &dummy, &one,
               vr_.data(), &order, workspace, &lwork, &info, 1, 1);
  }
  std::vector<double> state_, work_, wr_, wi_, vr_, workspace_;
};

// Raw ZGEEV (right vectors) on a copy of the complex state matrix.
class RawZgeev {
 public:
  RawZgeev()
      : state_(StateMatrix<Complex>(true)),
        work_(state_),
        w_(kOrder),
        vr_(QVAIndex(kOrder) * kOrder),
        realWork_(2 * kOrder) {
    Complex optimal = 0.0;
    Call(-1, &optimal);
    workspace_.resize(static_cast<std::size_t>(optimal.real()));
  }
  double Run() {
    std::copy(state_.begin(), state_.end(), work_.begin());
    return QVADynProcessSecondsOf(
        [&] { Call(static_cast<int>(workspace_.size()), workspace_.data()); });
  }

 private:
  void Call(int lwork, Complex* workspace) {
    const char no = 'N';
    const char yes = 'V';
    const int order = kOrder;
    const int one = 1;
    Complex dummy = 0.0;
    int info = 0;
    BLAC_ZGEEV(&no, &yes, &order, work_.data(), &order, w_.data(), &dummy, &one, vr_.data(), &order,
               workspace, &lwork, realWork_.data(), &info, 1, 1);
  }
  std::vector<Complex> state_, work_, w_, vr_, workspace_;
  std::vector<double> realWork_;
};

// A complex modal system over a fresh modal-database object with the
// operators stored as its projected matrices, and 400 real modes over 120
// DOFs as scratch matrix.
class ComplexProblem {
 public:
  explicit ComplexProblem(bool withStructural) : realModes_(kDofs, kSubspace, 100, 5) {
    modal_ = database_.CreateModalSystem(kDofs, kNodes);
    auto* dofs = new QVAFsmSystemDofDefinition(kNodes, kPlaces);
    for (int node = 0; node < kNodes; ++node) {
      for (int place = 0; place < kPlaces; ++place) dofs->AddDof(node, place, 2);
    }
    system_ = std::make_unique<QVADynComplexModalSystem>(dofs, modal_, log_, kSubspace);
    const Operators& operators = TheOperators();
    const int last = kSubspace - 1;
    system_->CreateStiffness(false).SetValues(0, last, 0, last, operators.stiffness);
    system_->CreateProjectedDamping(QVADynViscousDamping, false)
        .SetValues(0, last, 0, last, operators.viscous);
    if (withStructural) {
      system_->CreateProjectedDamping(QVADynStructuralDamping, false)
          .SetValues(0, last, 0, last, operators.structural);
    }
    QVASrvMatrix shapes(kDofs, kSubspace);
    for (int j = 0; j < kSubspace; ++j) {
      for (int i = 0; i < kDofs; ++i) shapes(i, j) = Pseudo(i, j + 7);
    }
    realModes_.SetValues(0, kDofs - 1, 0, last, shapes);
  }
  double Run() {
    return QVADynProcessSecondsOf(
        [&] { QVADynCFreqSolve(*system_, realModes_, kSubspace, 0.0, 1e9, 0); });
  }
  int Modes() const { return system_->NumberOfModes(); }

 private:
  QVASimDatabase database_;
  QVAFsmModalSystem modal_;
  QVADynLogFile log_;
  QVASrvScratchDenseMatrix realModes_;
  std::unique_ptr<QVADynComplexModalSystem> system_;
};

template <class Raw>
void RunAgainstRaw(benchmark::State& state, bool withStructural) {
  ComplexProblem problem(withStructural);
  Raw raw;
  // The fastest of the iterations of each, so that a disturbance from other
  // processes does not count against either side.
  double best = 0.0;
  double rawBest = 0.0;
  // The order alternates, so that neither side always finds the caches and
  // OpenBLAS's buffers as the other left them.
  bool rawFirst = true;
  for (auto _ : state) {
    double rawSeconds = rawFirst ? raw.Run() : 0.0;
    const double ours = problem.Run();
    if (!rawFirst) rawSeconds = raw.Run();
    rawFirst = !rawFirst;
    state.SetIterationTime(ours);
    QVADynKeepFastest(best, ours);
    QVADynKeepFastest(rawBest, rawSeconds);
  }
  state.counters["modesStored"] = problem.Modes();
  state.counters["rawSeconds"] = rawBest;
  state.counters["ratioToRawLapack"] = best / rawBest;
  state.SetLabel("target ratioToRawLapack <= 1.15");
}

void BM_CFreqSolveDgeev(benchmark::State& state) { RunAgainstRaw<RawDgeev>(state, false); }
void BM_CFreqSolveZgeev(benchmark::State& state) { RunAgainstRaw<RawZgeev>(state, true); }

}  // namespace

BENCHMARK(BM_CFreqSolveDgeev)->UseManualTime()->Iterations(6)->Unit(benchmark::kSecond);
BENCHMARK(BM_CFreqSolveZgeev)->UseManualTime()->Iterations(4)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
