// Cost of forming modal forces: QVADynLoadCaseList::GetModalForces over all
// frames of an event (3 load cases of 2 forces with 6 real and 2 imaginary
// patterns and one base motion each), against the same work written directly
// (clear, gather amplitudes, one raw BLAC_DGEMV per force, base-motion loop),
// measured in the same run on the same data.
// Counters (thread CPU time): columns_per_s (one load case at one frame and
// part), and raw_ratio = list time / direct time (the price of the checks and
// the indirection; close to 1 once the products dominate).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"
#include "QVADyn/QVADynCore/QVADynPrimaryBaseMotion.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/matrix/QVABlaModule.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

constexpr int kCases = 3;
constexpr int kForcesPerCase = 2;
constexpr int kReal = 6;
constexpr int kImaginary = 2;
constexpr int kAmplitudes = 8;
constexpr int kFrames = 64;

struct Loading {
  int modes;
  QVADynLoadCaseList list;
  // The data again, as the direct version reads it.
  std::vector<std::vector<double>> forces;  // kCases * kForcesPerCase matrices
  std::vector<int> real, imaginary;
  std::vector<double> factors, accelerations, table;

  explicit Loading(int numberOfModes) : modes(numberOfModes) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    auto fill = [&](std::vector<double>& values, std::size_t n) {
      values.resize(n);
      for (double& v : values) v = value(generator);
    };
    list.SetNumberOfActiveModes(modes);
    fill(table, kAmplitudes * kFrames);
    auto* amplitudes = new QVASrvMatrix(kAmplitudes, kFrames);
    std::copy(table.begin(), table.end(), amplitudes->Values());
    list.AdoptAmplitudeTable(amplitudes);
    for (int j = 0; j < kReal; ++j) real.push_back(j % kAmplitudes);
    for (int j = 0; j < kImaginary; ++j) imaginary.push_back((3 * j + 1) % kAmplitudes);
    fill(factors, QVAIndex(modes));
    fill(accelerations, kFrames);
    for (int c = 0; c < kCases; ++c) {
      for (int f = 0; f < kForcesPerCase; ++f) {
        forces.emplace_back();
        fill(forces.back(), QVAIndex(modes) * (kReal + kImaginary));
        auto* matrix = new QVASrvMatrix(modes, kReal + kImaginary);
        std::copy(forces.back().begin(), forces.back().end(), matrix->Values());
        list.LoadCase(c).AdoptForce(
            new QVADynForce(matrix, real.data(), kReal, imaginary.data(), kImaginary));
      }
      list.LoadCase(c).AdoptPrimaryBase(new QVADynPrimaryBaseMotion(
          factors.data(), modes, QVADynRealPart, 1, kFrames, accelerations.data()));
    }
  }

  // GetModalForces of the real part written out by hand.
  void Direct(double* out, int frame) const {
    const char noTranspose = 'N';
    const double one = 1.0;
    const int unit = 1;
    const int columns = kReal;
    double x[kReal];
    for (int c = 0; c < kCases; ++c) {
      double* column = out + static_cast<std::ptrdiff_t>(c) * modes;
      std::fill(column, column + modes, 0.0);
      for (int f = 0; f < kForcesPerCase; ++f) {
        for (int j = 0; j < kReal; ++j) x[j] = table[real[j] + kAmplitudes * frame];
        BLAC_DGEMV(&noTranspose, &modes, &columns, &one, forces[c * kForcesPerCase + f].data(),
                   &modes, x, &unit, &one, column, &unit);
      }
      for (int k = 0; k < modes; ++k) column[k] -= factors[k] * accelerations[frame];
    }
  }
};

void BM_GetModalForces(benchmark::State& state) {
  Loading loading(static_cast<int>(state.range(0)));
  std::vector<double> out(QVAIndex(kCases) * loading.modes);
  double listSeconds = 0.0;
  double directSeconds = 0.0;
  for (auto _ : state) {
    listSeconds += QVADynThreadSecondsOf([&] {
      for (int frame = 0; frame < kFrames; ++frame) {
        loading.list.GetModalForces(out.data(), QVADynRealPart, frame);
        benchmark::DoNotOptimize(out.data());
      }
    });
    directSeconds += QVADynThreadSecondsOf([&] {
      for (int frame = 0; frame < kFrames; ++frame) {
        loading.Direct(out.data(), frame);
        benchmark::DoNotOptimize(out.data());
      }
    });
  }
  const double columns = static_cast<double>(state.iterations()) * kFrames * kCases;
  state.counters["columns_per_s"] = listSeconds > 0.0 ? columns / listSeconds : 0.0;
  state.counters["raw_ratio"] = directSeconds > 0.0 ? listSeconds / directSeconds : 0.0;
}

BENCHMARK(BM_GetModalForces)->Arg(20)->Arg(200)->Arg(2000);

}  // namespace

BENCHMARK_MAIN();
