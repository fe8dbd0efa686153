#pragma once

// A random load provider for the tests of the random event: reproducible
// random loads and coordinates, a smooth user correlation, and a record of
// every call (counts, the Begin arguments, and any call out of sequence).
//
//   QVADynRandomTestProvider provider(7, 6, 2, 11);   // 7 nodes, D = 6, 2 patterns
//   provider.Load(3, 1, 2) = 0.0;                     // node 3, pattern 1, place 2
//   event.SetLoadProvider(&provider);
//   ... ComputeModalLoad ...
//   EXPECT_EQ(provider.Count().begin, provider.Count().end);

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/host/QVADynRandomLoadProvider.h"
#include "tests/support/QVATestModalBasis.h"

class QVADynRandomTestProvider : public QVADynRandomLoadProvider {
 public:
  struct Counts {
    int begin = 0;
    int numberOfNodes = 0;
    int nodalLoads = 0;
    int nodeCoordinates = 0;
    int end = 0;
    int userCorrelation = 0;
    // Calls outside Begin ... End, a Begin inside a block, an End outside
    // one, a UserCorrelation whose `one` is not 1 or whose name differs.
    int outOfSequence = 0;
  };
  struct BeginCall {
    double* block;
    int key;
    const void* context;
  };

  // Loads uniform in [-1, 1) with about one place in five unloaded,
  // coordinates uniform in [0, 2)^3.
  QVADynRandomTestProvider(int nodes, int places, int patterns, std::uint64_t seed)
      : nodes_(nodes), places_(places), patterns_(patterns) {
    QVATestRandom random(seed);
    loads_.resize(QVAIndex(nodes) * places * patterns);
    for (double& load : loads_) {
      load = random.Uniform(0.0, 1.0) < 0.2 ? 0.0 : random.Uniform(-1.0, 1.0);
    }
    coordinates_.resize(QVAIndex(nodes) * 3);
    for (double& coordinate : coordinates_) coordinate = random.Uniform(0.0, 2.0);
  }

  double& Load(int node, int pattern, int place) { return loads_[Index(node, pattern, place)]; }
  double* Coordinates(int node) { return coordinates_.data() + QVAIndex(node) * 3; }
  int NumberOfPatterns() const override { return patterns_; }
  void SetNumberOfNodes(int nodes) { nodes_ = nodes; }
  // The name every UserCorrelation call must carry.
  void ExpectSpectrumName(const std::string& name) { expectedName_ = name; }

  const Counts& Count() const { return counts_; }
  const std::vector<BeginCall>& BeginCalls() const { return beginCalls_; }
  void ResetCounts() {
    counts_ = Counts{};
    beginCalls_.clear();
  }

  void Begin(double* block, int key, const void* context) override {
    if (inBlock_) ++counts_.outOfSequence;
    inBlock_ = true;
    ++counts_.begin;
    beginCalls_.push_back(BeginCall{block, key, context});
  }
  int NumberOfNodes() override {
    CheckInBlock();
    ++counts_.numberOfNodes;
    return nodes_;
  }
  const double* NodalLoads(int node) override {
    CheckInBlock();
    ++counts_.nodalLoads;
    return loads_.data() + Index(node, 1, 0);
  }
  const double* NodeCoordinates(int node) override {
    CheckInBlock();
    ++counts_.nodeCoordinates;
    return Coordinates(node);
  }
  void End() override {
    if (!inBlock_) ++counts_.outOfSequence;
    inBlock_ = false;
    ++counts_.end;
  }
  // Node pairs: exp(-distance) shaped by the DOFs and the key; base motion
  // (nodes -1): a smooth function of the two directions.
  void UserCorrelation(const char* spectrumName, double* real, double* imaginary, const int* one,
                       const int* key, const int* node1, const int* dof1, const int* node2,
                       const int* dof2, const double* coordinates1,
                       const double* coordinates2) override {
    ++counts_.userCorrelation;
    if (*one != 1 || spectrumName != expectedName_ || (*node1 < 0) != (*node2 < 0)) {
      ++counts_.outOfSequence;
    }
    if (*node1 < 0) {
      *real = 1.0 / (1.0 + std::abs(*dof1 - *dof2)) + 0.01 * *key;
      *imaginary = 0.1 * (*dof1 - *dof2) + 0.05;
      return;
    }
    CheckInBlock();
    const double dx = coordinates1[0] - coordinates2[0];
    const double dy = coordinates1[1] - coordinates2[1];
    const double dz = coordinates1[2] - coordinates2[2];
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    *real = std::exp(-distance) * (1.0 + 0.1 * *dof1 - 0.05 * *dof2) + 0.01 * *key;
    *imaginary = 0.3 * std::sin(dx) + 0.02 * (*dof1 - *dof2);
  }

 private:
  std::size_t Index(int node, int pattern, int place) const {
    return (QVAIndex(node) * patterns_ + QVAIndex(pattern - 1)) * places_ + QVAIndex(place);
  }
  void CheckInBlock() {
    if (!inBlock_) ++counts_.outOfSequence;
  }

  int nodes_;
  int places_;
  int patterns_;
  std::vector<double> loads_;
  std::vector<double> coordinates_;
  std::string expectedName_;
  Counts counts_;
  std::vector<BeginCall> beginCalls_;
  bool inBlock_ = false;
};
