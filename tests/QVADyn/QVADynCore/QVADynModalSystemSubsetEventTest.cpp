// A harmonic event over an active-mode subset gives the results of an event
// over the source with the same active modes: the same modal amplitudes and
// the same recovered displacements, with damping records per mode, for a run
// of modes (the subset views the source) and for scattered modes (the subset
// copies).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "tests/support/QVATestModalBasis.h"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr int kFrames = 3;
constexpr int kCases = 2;
constexpr double kFrequencies[kFrames] = {0.5, 1.7, 3.2};

// What one event delivered: modal amplitudes [case][frame][part] per active
// mode, and the recovered displacement [case][frame][part] per node place.
struct EventResults {
  std::vector<double> amplitudes;
  std::vector<double> displacements;
};

// Runs a harmonic event over `system` with the active modes `modes` (listed
// in the system's numbering; the k-th is mode sourceModes[k] of the source),
// damping records and two load cases (real; complex) that depend on the
// source's mode only, so that both events load the same physical modes alike.
EventResults RunHarmonicEvent(QVATestModalBasis& basis, const QVADynModalSystem& system,
                              const std::vector<int>& modes, const std::vector<int>& sourceModes) {
  const int count = static_cast<int>(modes.size());
  QVADynHarmonicEvent event(system, new QVADynHarmonicSolver,
                            basis.Database().CreateModalEventResults(basis.ModalObject()));
  event.SetActiveModes(count, modes.data());
  QVADynFrameValue frames[kFrames];
  for (int frame = 0; frame < kFrames; ++frame) frames[frame].first = kFrequencies[frame];
  event.SetFrameValues(kFrames, frames);
  std::vector<QVADynDiagonalDamping> records;
  for (int k = 0; k < count; ++k) {
    const int mode = sourceModes[static_cast<std::size_t>(k)];
    records.push_back({0.01 * (mode % 3), 0.02 + 0.005 * mode, 0.0, 0.0});
  }
  event.SetDiagonalDamping(count, records.data());

  auto* table = new QVASrvMatrix(1, kFrames);
  for (int frame = 0; frame < kFrames; ++frame) (*table)(0, frame) = 1.0 + 0.25 * frame;
  event.AdoptAmplitudeTable(table);
  const int row = 0;
  for (int loadCase = 0; loadCase < kCases; ++loadCase) {
    auto* pattern = new QVASrvMatrix(count, 2);
    for (int k = 0; k < count; ++k) {
      const int mode = sourceModes[static_cast<std::size_t>(k)];
      (*pattern)(k, 0) = std::sin(1.0 + mode + 2.0 * loadCase);
      (*pattern)(k, 1) = loadCase == 0 ? 0.0 : std::cos(0.5 * mode);
    }
    event.LoadCase(loadCase).AdoptForce(new QVADynForce(pattern, &row, 1, &row, 1));
  }
  event.Solve(nullptr);

  const QVAFsmSystemDofDefinition& dofs = basis.Dofs();
  const int width = dofs.NumberOfNodes() * dofs.MaxNodalDof();
  const std::unique_ptr<bool[]> allNodes(new bool[static_cast<std::size_t>(dofs.NumberOfNodes())]);
  std::fill_n(allNodes.get(), dofs.NumberOfNodes(), true);
  const bool* nodes = allNodes.get();
  event.Recover(nodes, 1);

  EventResults results;
  for (int loadCase = 0; loadCase < kCases; ++loadCase) {
    for (int frame = 0; frame < kFrames; ++frame) {
      for (QVADynNumberType part : {QVADynRealPart, QVADynImaginaryPart}) {
        std::vector<double> amplitudes(static_cast<std::size_t>(count));
        event.GetModalAmplitudes(QVADynRecoverDisplacement, part, frame, loadCase,
                                 amplitudes.data());
        results.amplitudes.insert(results.amplitudes.end(), amplitudes.begin(), amplitudes.end());
        std::vector<double> displacement(static_cast<std::size_t>(width), 0.0);
        if (part == QVADynRealPart) {
          event.GetNodalResults(nodes, frame, loadCase, displacement.data(),
                                QVADynRecoverDisplacement);
        } else {
          event.GetImaginaryNodalResults(nodes, frame, loadCase, displacement.data(),
                                         QVADynRecoverDisplacement);
        }
        results.displacements.insert(results.displacements.end(), displacement.begin(),
                                     displacement.end());
      }
    }
  }
  return results;
}

class QVADynModalSystemSubsetEventTest : public ::testing::TestWithParam<std::vector<int>> {};

TEST_P(QVADynModalSystemSubsetEventTest, HarmonicResultsEqualThoseOverTheSource) {
  QVATestModalBasisOptions options;
  options.numberOfModes = 12;
  options.rowBlockSize = 4;
  options.columnBlockSize = 5;
  QVATestModalBasis basis(options);
  std::unique_ptr<QVADynModalSystem> source = basis.Open();
  const std::vector<int>& active = GetParam();
  const int count = static_cast<int>(active.size());

  const EventResults overSource = RunHarmonicEvent(basis, *source, active, active);
  const QVADynModalSystem subset(*source, count, active.data());
  std::vector<int> allOfSubset(static_cast<std::size_t>(count));
  std::iota(allOfSubset.begin(), allOfSubset.end(), 0);
  const EventResults overSubset = RunHarmonicEvent(basis, subset, allOfSubset, active);

  // Both events divide the same modal forces by the same receptances of the
  // same eigenvalues: a few roundings each, 8 eps of the largest amplitude
  // with a margin of 4.
  constexpr int kModes = 4;
  constexpr double kAmplitudeTolerance = 32 * kEps;
  ASSERT_EQ(overSubset.amplitudes.size(), overSource.amplitudes.size());
  double largestAmplitude = 0.0;
  for (double value : overSource.amplitudes) {
    largestAmplitude = std::max(largestAmplitude, std::fabs(value));
  }
  ASSERT_GT(largestAmplitude, 0.0);
  for (std::size_t i = 0; i < overSource.amplitudes.size(); ++i) {
    EXPECT_NEAR(overSubset.amplitudes[i], overSource.amplitudes[i],
                kAmplitudeTolerance * largestAmplitude)
        << "amplitude " << i;
  }
  // u = Phi q over 4 modes: the amplitudes' difference times 4 max|Phi|, and
  // the summation of each event (perhaps in other blocks), 4 eps of
  // sum |Phi| |q| <= 4 max|Phi| max|q| each.
  double largestShape = 0.0;
  for (double value : basis.ModeShapes()) largestShape = std::max(largestShape, std::fabs(value));
  const double displacementTolerance =
      (kModes * kAmplitudeTolerance + 2 * kModes * kModes * kEps) * largestShape * largestAmplitude;
  ASSERT_EQ(overSubset.displacements.size(), overSource.displacements.size());
  for (std::size_t i = 0; i < overSource.displacements.size(); ++i) {
    EXPECT_NEAR(overSubset.displacements[i], overSource.displacements[i], displacementTolerance)
        << "displacement " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(ViewsAndCopies, QVADynModalSystemSubsetEventTest,
                         ::testing::Values(std::vector<int>{3, 4, 5, 6},
                                           std::vector<int>{0, 2, 5, 9},
                                           std::vector<int>{7, 1, 10, 4}));

}  // namespace
