// Cost of reading a large modal basis node by node: a sweep of
// QVADynModalSystem::GetModesNodal over all nodes and all modes of a
// 100,002-DOF (16,667 nodes x 6 places), 200-mode basis in the default
// chunking (100 rows x 5 modes), column block after column block, in the
// block-read state. Each iteration also times one plain read of the whole
// mode-shape matrix into memory (GetValues of all rows and columns) in the
// same run. Counters: "ratioToPlainRead" = sweep / plain read, best of the
// iterations, in processor time of the thread (target at most 1.5; the same in
// wall-clock time is "wallRatioToPlainRead"), and "blockLoads" (target: the 40
// column blocks, each loaded once).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kNodes = 16667;
constexpr int kPlaces = 6;
constexpr int kDofs = kNodes * kPlaces;
constexpr int kModes = 200;

struct Timing {
  double wall = 0.0;
  double processor = 0.0;
};

template <class Work>
Timing Measure(Work work) {
  const auto start = Clock::now();
  const double startProcessor = QVADynThreadSeconds();
  work();
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          QVADynThreadSeconds() - startProcessor};
}

// Mode-shape value (row, mode) of the large basis.
double ShapeValue(int row, int mode) { return static_cast<double>((row + 7 * mode) % 97) * 0.01; }

// The 200-mode basis over 16,667 nodes x 6 places, written with the default
// settings and opened on a fresh modal system.
class LargeBasis {
 public:
  LargeBasis()
      : basis_(QVADynBenchmarkDofs(kNodes, kPlaces, [](int) { return 2; }), kDofs, kNodes,
               QVADynEvenEigenvalues(kModes, 100.0), ShapeValue) {}

  QVADynModalSystem& Modal() { return basis_.Modal(); }

 private:
  QVADynBenchmarkBasis basis_;
};

void BM_GetModesNodalSweep(benchmark::State& state) {
  LargeBasis basis;
  QVADynModalSystem& modal = basis.Modal();
  const QVASrvDenseMatrix& phi = *modal.ModeShapes();
  QVASrvMatrix whole(kDofs, kModes);
  std::vector<double> slice(QVAIndex(phi.MaxNumberOfColumnsInBlock()) * kPlaces);
  const auto sweep = [&] {
    double checksum = 0.0;
    modal.BeginReadModes();
    for (int block = 0; block < phi.NumberOfColumnBlocks(); ++block) {
      const int firstMode = phi.FirstColumnInBlock(block);
      const int lastMode = firstMode + phi.NumberOfColumnsInBlock(block) - 1;
      for (int node = 0; node < kNodes; ++node) {
        modal.GetModesNodal(firstMode, lastMode, node, slice.data());
        checksum += slice[0];
      }
    }
    return checksum;
  };
  const auto plainRead = [&] { phi.GetValues(0, kDofs - 1, 0, kModes - 1, whole); };

  // One untimed round first, so that both timings find their pages mapped.
  benchmark::DoNotOptimize(sweep());
  modal.EndReadModes();
  plainRead();
  Timing best{1e300, 1e300};
  Timing plainBest{1e300, 1e300};
  int blockLoads = 0;
  for (auto _ : state) {
    double checksum = 0.0;
    const Timing ours = Measure([&] { checksum = sweep(); });
    blockLoads = modal.NumberOfBlockLoads();
    modal.EndReadModes();
    const Timing plain = Measure(plainRead);
    benchmark::DoNotOptimize(checksum);
    benchmark::DoNotOptimize(whole.Values()[kDofs - 1]);
    state.SetIterationTime(ours.wall);
    best = {std::min(best.wall, ours.wall), std::min(best.processor, ours.processor)};
    plainBest = {std::min(plainBest.wall, plain.wall),
                 std::min(plainBest.processor, plain.processor)};
  }
  state.counters["ratioToPlainRead"] = best.processor / plainBest.processor;
  state.counters["wallRatioToPlainRead"] = best.wall / plainBest.wall;
  state.counters["blockLoads"] = blockLoads;
  state.counters["columnBlocks"] = phi.NumberOfColumnBlocks();
  state.SetLabel("target ratioToPlainRead <= 1.5, blockLoads == columnBlocks");
}
BENCHMARK(BM_GetModesNodalSweep)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
