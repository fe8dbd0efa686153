// A harmonic event over an active-mode subset gives the results of an event over the source with
// the same active modes, for runs of modes (views) and scattered modes (copies).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

constexpr int kFrames = 3;
constexpr int kCases = 2;
constexpr double kFrequencies[kFrames] = {0.5, 1.7, 3.2};

// What one event delivered: modal amplitudes [case][frame][part] per active
// mode, and the recovered displacement [case][frame][part] per node place.
struct EventResults {
  std::vector<double> amplitudes;
  std::vector<double> displacements;
};

// Where an event stores its results: the database, its modal object and the
// DOF definition the nodal results are laid out by.
struct ResultStore {
  QVASimDatabase& database;
  const QVAFsmModalSystem& object;
  const QVAFsmSystemDofDefinition& dofs;
};

// A harmonic event over `system` with active `modes` (the k-th is source mode sourceModes[k]),
// with records and two load cases (real; complex) that depend on the source's mode only.
EventResults RunHarmonicEvent(const ResultStore& store, const QVADynModalSystem& system,
                              const std::vector<int>& modes, const std::vector<int>& sourceModes) {
  const int count = static_cast<int>(modes.size());
  QVADynHarmonicEvent event(system, new QVADynHarmonicSolver,
                            store.database.CreateModalEventResults(store.object));
  event.SetActiveModes(count, modes.data());
  QVADynFrameValue frames[kFrames];
  for (int frame = 0; frame < kFrames; ++frame) frames[frame].first = kFrequencies[frame];
  event.SetFrameValues(kFrames, frames);
  std::vector<QVADynDiagonalDamping> records;
  for (const int mode : sourceModes) {
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
      const int mode = sourceModes[QVAIndex(k)];
      (*pattern)(k, 0) = std::sin(1.0 + mode + 2.0 * loadCase);
      (*pattern)(k, 1) = loadCase == 0 ? 0.0 : std::cos(0.5 * mode);
    }
    event.LoadCase(loadCase).AdoptForce(new QVADynForce(pattern, &row, 1, &row, 1));
  }
  event.Solve(nullptr);

  const int width = store.dofs.NumberOfNodes() * store.dofs.MaxNodalDof();
  const int nodeCount = store.dofs.NumberOfNodes();
  const std::unique_ptr<bool[]> nodes(new bool[QVAIndex(nodeCount)]);
  std::fill_n(nodes.get(), nodeCount, true);
  event.Recover(nodes.get(), 1);

  EventResults results;
  for (int loadCase = 0; loadCase < kCases; ++loadCase) {
    for (int frame = 0; frame < kFrames; ++frame) {
      for (QVADynNumberType part : {QVADynRealPart, QVADynImaginaryPart}) {
        std::vector<double> amplitudes(QVAIndex(count));
        event.GetModalAmplitudes(QVADynRecoverDisplacement, part, frame, loadCase,
                                 amplitudes.data());
        results.amplitudes.insert(results.amplitudes.end(), amplitudes.begin(), amplitudes.end());
        std::vector<double> displacement(QVAIndex(width), 0.0);
        if (part == QVADynRealPart) {
          event.GetNodalResults(nodes.get(), frame, loadCase, displacement.data(),
                                QVADynRecoverDisplacement);
        } else {
          event.GetImaginaryNodalResults(nodes.get(), frame, loadCase, displacement.data(),
                                         QVADynRecoverDisplacement);
        }
        results.displacements.insert(results.displacements.end(), displacement.begin(),
                                     displacement.end());
      }
    }
  }
  return results;
}

double LargestMagnitude(const std::vector<double>& values) {
  double largest = 0.0;
  for (const double value : values) largest = std::max(largest, std::fabs(value));
  return largest;
}

// Expects |actual - expected| <= tolerance entry by entry.
void ExpectClose(const std::vector<double>& actual, const std::vector<double>& expected,
                 double tolerance, const char* what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], tolerance) << what << " " << i;
  }
}

std::vector<int> AllOf(int count) {
  std::vector<int> modes(QVAIndex(count));
  std::iota(modes.begin(), modes.end(), 0);
  return modes;
}

QVATestModalBasisOptions Options() {
  return {.numberOfModes = 12, .rowBlockSize = 4, .columnBlockSize = 5, .viscousDamping = true};
}

class QVADynModalSystemSubsetEventTest : public ::testing::TestWithParam<std::vector<int>> {};

TEST_P(QVADynModalSystemSubsetEventTest, HarmonicResultsEqualThoseOverTheSource) {
  QVATestModalBasis basis(Options());
  std::unique_ptr<QVADynModalSystem> source = basis.Open();
  const std::vector<int>& active = GetParam();
  const int count = static_cast<int>(active.size());
  const ResultStore store{basis.Database(), basis.ModalObject(), basis.Dofs()};

  const EventResults overSource = RunHarmonicEvent(store, *source, active, active);
  const QVADynModalSystem subset(*source, count, active.data());
  const EventResults overSubset = RunHarmonicEvent(store, subset, AllOf(count), active);

  // The same forces over the same receptances: a few roundings, 8 eps of the largest amplitude
  // with a margin of 4.
  constexpr double kAmplitudeTolerance = 32 * kQVAEps;
  const double largestAmplitude = LargestMagnitude(overSource.amplitudes);
  ASSERT_GT(largestAmplitude, 0.0);
  ExpectClose(overSubset.amplitudes, overSource.amplitudes, kAmplitudeTolerance * largestAmplitude,
              "amplitude");
  // u = Phi q over `count` modes: the amplitudes' difference times count
  // max|Phi|, and the summation of each event (perhaps in other blocks),
  // count eps of sum |Phi| |q| <= count max|Phi| max|q| each.
  const double tolerance = (count * kAmplitudeTolerance + 2.0 * count * count * kQVAEps) *
                           LargestMagnitude(basis.ModeShapes()) * largestAmplitude;
  ExpectClose(overSubset.displacements, overSource.displacements, tolerance, "displacement");
}

INSTANTIATE_TEST_SUITE_P(ViewsAndCopies, QVADynModalSystemSubsetEventTest,
                         ::testing::Values(std::vector<int>{3, 4, 5, 6},
                                           std::vector<int>{0, 2, 5, 9},
                                           std::vector<int>{7, 1, 10, 4}));

}  // namespace
