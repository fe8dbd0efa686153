// Speed of the uncoupled transient step: mode-steps per second of QVADynAdvanceUncoupledModes
// for 2,000 modes, against a plain loop doing the same multiply-adds, measured in the same run.
// The transient solver needs at least 1e8 mode-steps per second on one core.
//
//   InCache: one frame ping-ponged between two state buffers (the arithmetic alone);
//   Frames:  successive frames of full result arrays, as the solver writes them
//            (2,000 frames of 2,000 modes, 96 MB of results per pass).
// Counters (CPU time): mode_steps_per_s, and plain_loop_ratio = kernel rate / plain-loop rate.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "QVADynTransientCoefficients.h"
#include "QVADynTransientStepKernel.h"
#include "bench/QVADynBenchmarkSupport.h"

namespace {

constexpr int kModes = 2000;

struct Modes {
  std::vector<double> lambda, damping, table;
  Modes() : lambda(kModes), damping(kModes), table(8 * kModes) {
    for (int k = 0; k < kModes; ++k) {
      lambda[k] = std::pow(1.0 + k, 2.0);
      damping[k] = 0.04 * std::sqrt(lambda[k]);
    }
    QVADynBuildCoefficientTable(kModes, lambda.data(), damping.data(), 1e-3, true, table.data(),
                                nullptr);
  }
};

// The same recurrence written as a plain loop over the arrays, the baseline.
void PlainLoop(const double* t, const double* lambda, const double* damping, const double* u0,
               const double* v0, const double* f0, const double* f1, double* u1, double* v1,
               double* a1) {
  for (int k = 0; k < kModes; ++k) {
    u1[k] = t[k] * u0[k] + t[kModes + k] * v0[k] + t[2 * kModes + k] * f0[k] +
            t[3 * kModes + k] * f1[k];
    v1[k] = t[4 * kModes + k] * u0[k] + t[5 * kModes + k] * v0[k] + t[6 * kModes + k] * f0[k] +
            t[7 * kModes + k] * f1[k];
    a1[k] = f1[k] - damping[k] * v1[k] - lambda[k] * u1[k];
  }
}

// CPU seconds of this thread for `steps` calls, so that other load on the machine does not
// distort the ratio.
template <typename Step>
double SecondsFor(int steps, Step&& step) {
  return QVADynThreadSecondsOf([&] {
    for (int n = 0; n < steps; ++n) step(n);
  });
}

void InCache(benchmark::State& state) {
  const Modes modes;
  std::vector<double> u(2 * kModes, 0.1), v(2 * kModes, 0.2), a(2 * kModes), f0(kModes, 1.0),
      f1(kModes, 0.5);
  auto kernelStep = [&](int n) {
    const int from = (n & 1) * kModes, to = kModes - from;
    QVADynAdvanceUncoupledModes(kModes, 1, modes.table.data(), modes.lambda.data(),
                                modes.damping.data(), &u[from], &v[from], f0.data(), f1.data(),
                                &u[to], &v[to], &a[to]);
  };
  auto plainStep = [&](int n) {
    const int from = (n & 1) * kModes, to = kModes - from;
    PlainLoop(modes.table.data(), modes.lambda.data(), modes.damping.data(), &u[from], &v[from],
              f0.data(), f1.data(), &u[to], &v[to], &a[to]);
  };
  int n = 0;
  for (auto _ : state) {
    kernelStep(n++);
    benchmark::ClobberMemory();
  }
  constexpr int kBaselineSteps = 20000;
  const double kernelSeconds = SecondsFor(kBaselineSteps, kernelStep);
  const double plainSeconds = SecondsFor(kBaselineSteps, plainStep);
  benchmark::DoNotOptimize(a.data());
  state.counters["mode_steps_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kModes, benchmark::Counter::kIsRate);
  state.counters["plain_loop_ratio"] = plainSeconds / kernelSeconds;
}
BENCHMARK(InCache);

void Frames(benchmark::State& state) {
  constexpr int kFrames = 2000;
  const Modes modes;
  const std::size_t frameSize = kModes;
  std::vector<double> u(frameSize * kFrames, 0.0), v(frameSize * kFrames, 0.0),
      a(frameSize * kFrames, 0.0), f0(kModes, 1.0), f1(kModes, 0.5);
  auto kernelSweep = [&](int) {
    for (int n = 1; n < kFrames; ++n) {
      const std::size_t from = (n - 1) * frameSize, to = n * frameSize;
      QVADynAdvanceUncoupledModes(kModes, 1, modes.table.data(), modes.lambda.data(),
                                  modes.damping.data(), &u[from], &v[from], f0.data(), f1.data(),
                                  &u[to], &v[to], &a[to]);
    }
  };
  auto plainSweep = [&](int) {
    for (int n = 1; n < kFrames; ++n) {
      const std::size_t from = (n - 1) * frameSize, to = n * frameSize;
      PlainLoop(modes.table.data(), modes.lambda.data(), modes.damping.data(), &u[from], &v[from],
                f0.data(), f1.data(), &u[to], &v[to], &a[to]);
    }
  };
  for (auto _ : state) {
    kernelSweep(0);
    benchmark::ClobberMemory();
  }
  const double kernelSeconds = SecondsFor(3, kernelSweep);
  const double plainSeconds = SecondsFor(3, plainSweep);
  benchmark::DoNotOptimize(a.data());
  state.counters["mode_steps_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kModes * (kFrames - 1),
                         benchmark::Counter::kIsRate);
  state.counters["plain_loop_ratio"] = plainSeconds / kernelSeconds;
}
BENCHMARK(Frames)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
