// Speed of the application's random response against the zgemm products it
// needs, in the same run.
//
// Problem: 100 output DOFs, 2,000 frequencies, 200 modes with modal damping,
// one excitation. At each frequency the response PSD needs the product of the
// outputs' receptances (100 x 200) with the modal load cross-spectrum
// (200 x 200): the baseline is exactly those 2,000 zgemm calls on operands
// formed beforehand. Ours is qvadyn::ComputeRandomResponse, which also forms
// the cross-spectrum and the receptances, reduces the products to PSDs and
// integrates them.
//
// Counters: ours_s, zgemm_s and ratio = ours_s / zgemm_s, target at most 2.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <cmath>
#include <complex>
#include <vector>

#include "RandomAnalysis.h"
#include "bench/QVADynBenchmarkSupport.h"

namespace {

constexpr int kOutputs = 100;
constexpr int kFrequencies = 2000;
constexpr int kModes = 200;
constexpr double kTargetRatio = 2.0;

qvadyn::RandomProblem MakeProblem() {
  qvadyn::RandomProblem problem;
  for (int k = 0; k < kModes; ++k) {
    problem.eigenvalues.push_back(std::pow(2.0 * 3.141592653589793 * (10.0 + 5.0 * k), 2));
    problem.dampingRatios.push_back(0.02);
  }
  for (int k = 0; k < kModes; ++k) {
    for (int o = 0; o < kOutputs; ++o)
      problem.outputShapes.push_back(std::sin(0.01 * (o + 1) * (k + 1)));
  }
  qvadyn::RandomExcitation excitation{{{1.0, 2000.0}, {1.0, 0.5}, "psd"}, {}, {}};
  for (int k = 0; k < kModes * kModes; ++k) {
    excitation.modalBlock.emplace_back(std::cos(0.001 * k), std::sin(0.002 * k));
  }
  problem.excitations.push_back(excitation);
  for (int i = 0; i < kFrequencies; ++i) problem.frequencies.push_back(5.0 + 0.5 * i);
  return problem;
}

void BM_ResponsePsd(benchmark::State& state) {
  const qvadyn::RandomProblem problem = MakeProblem();
  using Complex = std::complex<double>;
  std::vector<Complex> receptances(static_cast<std::size_t>(kModes) * kOutputs, Complex(0.5, 0.1));
  std::vector<Complex> spectrum(static_cast<std::size_t>(kModes) * kModes, Complex(0.2, -0.3));
  std::vector<Complex> product(static_cast<std::size_t>(kOutputs) * kModes);
  const Complex one(1.0, 0.0);
  const Complex zero(0.0, 0.0);
  auto zgemms = [&] {
    for (int i = 0; i < kFrequencies; ++i) {
      cblas_zgemm(CblasColMajor, CblasTrans, CblasNoTrans, kOutputs, kModes, kModes, &one,
                  receptances.data(), kModes, spectrum.data(), kModes, &zero, product.data(),
                  kOutputs);
    }
    benchmark::DoNotOptimize(product.data());
  };
  const QVADynFastestTimes fastest = QVADynTimeAgainstBaseline(
      state,
      [&] {
        return QVADynThreadSecondsOf([&] {
          auto response = qvadyn::ComputeRandomResponse(problem);
          benchmark::DoNotOptimize(response.displacementRms.data());
        });
      },
      [&] { return QVADynThreadSecondsOf(zgemms); });
  state.counters["ours_s"] = fastest.ours;
  state.counters["zgemm_s"] = fastest.baseline;
  state.counters["ratio"] = fastest.ours / fastest.baseline;
  state.SetLabel("100 outputs x 2000 frequencies x 200 modes; target ratio <= " +
                 std::to_string(kTargetRatio).substr(0, 3));
}
BENCHMARK(BM_ResponsePsd)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
