// Speed of the random event's modal load cross-spectra: the running-sum forms
// of QVADynRandomEvent against the literal pairwise loops (the reference of the
// tests, tests/QVADyn/QVADynCore/QVADynRandomLiteralSums.h), in the same run.
//
// Model: 2,000 nodes x 6 DOF places (12,000 DOFs), 100 modes, all active, one
// load pattern loading every place. BM_NodalCorrelatedComplex times
// ComputeModalLoad of one complex, fully correlated entry; BM_JetNoise times
// ComputeJetNoiseModalLoad of one convected entry. The literal loops cost
// (active nodes)^2 D^2 m^2, hours at 2,000 nodes, so each iteration times them
// on the first 50 nodes and scales that time by (2000 / 50)^2, the square of
// the ratio of node counts (the node pairs grow with it).
//
// Times are processor time of the whole process (BLAS threads included).
// Counters: fast_s (2,000 nodes), literal_50_nodes_s, literal_scaled_s and
// speedup = literal_scaled_s / fast_s, target at least 500.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynRandomEvent.h"
#include "bench/QVADynBenchmarkSupport.h"
#include "internal/QVANumerics.h"
#include "platform/host/QVADynRandomLoadProvider.h"
#include "tests/QVADyn/QVADynCore/QVADynRandomLiteralSums.h"

namespace {

constexpr int kNodes = 2000;
constexpr int kPlaces = 6;
constexpr int kDofs = kNodes * kPlaces;
constexpr int kModes = 100;
constexpr int kLiteralNodes = 50;
constexpr double kTargetSpeedup = 500.0;

// Every place of every node loaded; nodes on a line along x, 1 mm apart.
class LineLoad : public QVADynRandomLoadProvider {
 public:
  LineLoad() : loads_(QVAIndex(kNodes) * kPlaces), coordinates_(3 * kNodes, 0.0) {
    for (int node = 0; node < kNodes; ++node) {
      for (int place = 0; place < kPlaces; ++place) {
        loads_[QVAIndex(node) * kPlaces + place] = 1.0 + 0.1 * place + 0.001 * (node % 17);
      }
      coordinates_[3 * QVAIndex(node)] = 0.001 * node;
    }
  }
  void SetNumberOfNodes(int nodes) { nodes_ = nodes; }

  void Begin(double* /*block*/, int /*key*/, const void* /*context*/) override {}
  int NumberOfNodes() override { return nodes_; }
  const double* NodalLoads(int node) override { return loads_.data() + QVAIndex(node) * kPlaces; }
  const double* NodeCoordinates(int node) override {
    return coordinates_.data() + 3 * QVAIndex(node);
  }
  void End() override {}
  void UserCorrelation(const char* /*spectrumName*/, double* real, double* imaginary,
                       const int* /*one*/, const int* /*key*/, const int* /*node1*/,
                       const int* /*dof1*/, const int* /*node2*/, const int* /*dof2*/,
                       const double* /*coordinates1*/, const double* /*coordinates2*/) override {
    *real = 1.0;
    *imaginary = 0.0;
  }

 private:
  int nodes_ = kNodes;
  std::vector<double> loads_;
  std::vector<double> coordinates_;
};

// A 12,000-DOF, 100-mode basis written through a modal system with the
// default chunking, opened on a fresh one, and a random event over it with
// all modes active and one correlation.
class RandomLoadSetup {
 public:
  explicit RandomLoadSetup(QVADynCorrelation* correlation)
      : basis_(QVADynBenchmarkDofs(kNodes, kPlaces, [](int place) { return 2 + place; }), kDofs,
               kNodes, QVADynEvenEigenvalues(kModes, 100.0),
               [](int row, int mode) { return std::sin(0.001 * (row + 1) * (mode + 1)); }) {
    event_ = std::make_unique<QVADynRandomEvent>(&basis_.Modal());
    std::vector<int> modes(kModes);
    for (int mode = 0; mode < kModes; ++mode) modes[QVAIndex(mode)] = mode + 1;
    event_->SetActiveModes(modes.data(), kModes);
    event_->AdoptCorrelation(correlation);
    event_->SetLoadProvider(&provider_);
    literal_ = QVADynRandomLiteralCase{&basis_.Modal(), &provider_, modes, {correlation}, {}};
    nodeActive_.assign(kNodes, 1);
    out_.assign(2 * QVAIndex(kModes) * kModes, 0.0);
  }

  void Fast(bool jetNoise, double omega) {
    provider_.SetNumberOfNodes(kNodes);
    if (jetNoise) {
      event_->ComputeJetNoiseModalLoad(out_.data(), nodeActive_.data(), omega);
    } else {
      event_->ComputeModalLoad(out_.data(), nodeActive_.data());
    }
    benchmark::DoNotOptimize(out_.data());
  }
  void Literal(bool jetNoise, double omega) {
    provider_.SetNumberOfNodes(kLiteralNodes);
    if (jetNoise) {
      QVADynLiteralJetNoiseModalLoad(literal_, out_.data(), nodeActive_.data(), omega, false);
    } else {
      QVADynLiteralModalLoad(literal_, out_.data(), nodeActive_.data(), false);
    }
    benchmark::DoNotOptimize(out_.data());
  }

 private:
  QVADynBenchmarkBasis basis_;
  LineLoad provider_;
  std::unique_ptr<QVADynRandomEvent> event_;
  QVADynRandomLiteralCase literal_{};
  std::vector<int> nodeActive_;
  std::vector<double> out_;
};

void CompareWithLiteralLoops(benchmark::State& state, QVADynCorrelation* correlation,
                             bool jetNoise) {
  const double omega = 2000.0;
  RandomLoadSetup setup(correlation);
  setup.Fast(jetNoise, omega);
  double fastBest = 0.0;
  double literalBest = 0.0;
  for (auto _ : state) {
    const double fast = QVADynProcessSecondsOf([&] { setup.Fast(jetNoise, omega); });
    const double literal = QVADynProcessSecondsOf([&] { setup.Literal(jetNoise, omega); });
    state.SetIterationTime(fast);
    QVADynKeepFastest(fastBest, fast);
    QVADynKeepFastest(literalBest, literal);
  }
  const double scale = static_cast<double>(kNodes) / kLiteralNodes;
  const double literalScaled = literalBest * scale * scale;
  state.counters["fast_s"] = fastBest;
  state.counters["literal_50_nodes_s"] = literalBest;
  state.counters["literal_scaled_s"] = literalScaled;
  state.counters["speedup"] = literalScaled / fastBest;
  state.SetLabel("literal loop timed at 50 nodes, scaled by (2000/50)^2; target speedup >= " +
                 std::to_string(static_cast<int>(kTargetSpeedup)));
}

void BM_NodalCorrelatedComplex(benchmark::State& state) {
  auto* correlation = new QVADynCorrelation(QVADynCorrelationCorrelated, false, true);
  correlation->SetPSD(new QVADynPSD(false, 0.0));
  correlation->AdoptCorrelationData(1, new QVADynCorrelationData(0.8, 0.3, 0.0));
  CompareWithLiteralLoops(state, correlation, false);
}
BENCHMARK(BM_NodalCorrelatedComplex)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_JetNoise(benchmark::State& state) {
  auto* correlation = new QVADynCorrelation(QVADynCorrelationJetNoise, false, false);
  correlation->AdoptCorrelationData(1, new QVADynCorrelationData(250.0, 30.0, 0.0));
  CompareWithLiteralLoops(state, correlation, true);
}
BENCHMARK(BM_JetNoise)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
