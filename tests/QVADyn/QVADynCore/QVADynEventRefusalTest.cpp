// Refusals of the events, one table per subsystem: results of another modal
// system, damping records, load cases and frames out of range (events),
// frequencies (harmonic) and time increments (transient). A refused solve
// stores nothing, not even the load-case set.

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADynEventTestSupport.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kModes = 3;

QVATestModalBasisOptions SmallBasis() { return {.numberOfNodes = 3, .numberOfModes = kModes}; }

// A solve refused for its frames: what it is, the frames, the message after the solver's name.
struct FrameRefusal {
  const char* what;
  std::vector<QVADynFrameValue> frames;
  const char* fragment;
};

class QVADynEventRefusalTest : public ::testing::Test {
 protected:
  QVADynEventRefusalTest() : basis_(SmallBasis()), modal_(basis_.Open()) {}

  QVAFsmModalEventResults NewResults() {
    return basis_.Database().CreateModalEventResults(basis_.ModalObject());
  }
  // Every mode active, the frames given, load case 0 with a unit force.
  template <class Event, class Solver>
  std::unique_ptr<Event> Build(const std::vector<QVADynFrameValue>& frames,
                               QVAFsmModalEventResults results) {
    auto event = std::make_unique<Event>(*modal_, new Solver, results);
    const int modes[kModes] = {0, 1, 2};
    event->SetActiveModes(kModes, modes);
    event->SetFrameValues(static_cast<int>(frames.size()), frames.data());
    auto* table = new QVASrvMatrix(1, static_cast<int>(frames.size()));
    *table = 1.0;
    event->AdoptAmplitudeTable(table);
    auto* pattern = new QVASrvMatrix(kModes, 1);
    *pattern = 1.0;
    const int row = 0;
    event->LoadCase(0).AdoptForce(new QVADynForce(pattern, &row, 1, nullptr, 0));
    return event;
  }
  // Nothing of a solve in `results`.
  static void ExpectNothingStored(const QVAFsmModalEventResults& results) {
    EXPECT_FALSE(results.Cases().IsValid());
    EXPECT_FALSE(results.GU().IsValid());
    EXPECT_FALSE(results.GV().IsValid());
    EXPECT_FALSE(results.KE().IsValid());
  }

  QVATestModalBasis basis_;
  std::unique_ptr<QVADynModalSystem> modal_;
};

TEST_F(QVADynEventRefusalTest, Events) {
  QVATestModalBasis other(SmallBasis());
  const QVAFsmModalEventResults foreign =
      other.Database().CreateModalEventResults(other.ModalObject());
  // Another modal system in the same database, over 5 DOFs.
  const QVAFsmModalEventResults otherSystem =
      basis_.Database().CreateModalEventResults(basis_.Database().CreateModalSystem(5, 2));
  const QVAFsmModalEventResults results = NewResults();
  std::unique_ptr<QVADynTransientEvent> transient =
      Build<QVADynTransientEvent, QVADynTransientSolver>(
          {{0.0, 0.0, 0.1}, {0.1, 0.0, 0.1}, {0.2, 0.0, 0.0}}, results);
  transient->Solve(nullptr);
  std::unique_ptr<QVADynHarmonicEvent> harmonic =
      Build<QVADynHarmonicEvent, QVADynHarmonicSolver>({{2.0, 0.0, 0.0}}, NewResults());
  harmonic->Solve(nullptr);
  harmonic->Recover(nullptr, 1);
  std::vector<double> out(64);
  QVADynDiagonalDamping records[kModes] = {};
  const std::vector<Refusal> table{
      {"results in another database",
       [&] { QVADynHarmonicEvent(*modal_, new QVADynHarmonicSolver, foreign); },
       kQVABasInvalidArgument,
       "QVADynEvent: the results object lies in another database than the modal system"},
      {"results of another modal system",
       [&] { QVADynTransientEvent(*modal_, new QVADynTransientSolver, otherSystem); },
       kQVABasInvalidArgument,
       "the results object belongs to another modal system (DOF collection of 5 DOFs, the "
       "modal system's of 9)"},
      {"NaN critical damping fraction",
       [&] {
         records[1].criticalFraction = kNaN;
         transient->SetDiagonalDamping(kModes, records);
       },
       kQVABasInvalidArgument,
       "SetDiagonalDamping: record 1 (active mode 1) has the critical damping fraction nan",
       "pass a finite number"},
      {"infinite Rayleigh stiffness factor",
       [&] {
         records[1].criticalFraction = 0.0;
         records[2].stiffnessFactor = kInf;
         harmonic->SetDiagonalDamping(kModes, records);
       },
       kQVABasInvalidArgument, "record 2 (active mode 2) has the Rayleigh stiffness factor inf"},
      {"transient amplitudes of load case 1 of 1",
       [&] {
         transient->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, 0, 1, out.data());
       },
       kQVASrvIndexOutOfRange,
       "GetModalAmplitudes: load case 1 outside the 1 load cases; pass 0 ... 0"},
      {"transient amplitudes of frame 3 of 3",
       [&] {
         transient->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, 3, 0, out.data());
       },
       kQVASrvIndexOutOfRange, "frame 3 outside the 3 frames; pass 0 ... 2"},
      {"harmonic amplitudes of load case -1",
       [&] {
         harmonic->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, 0, -1, out.data());
       },
       kQVASrvIndexOutOfRange, "QVADynHarmonicEvent::GetModalAmplitudes: load case -1"},
      {"harmonic nodal results of load case 2",
       [&] { harmonic->GetNodalResults(nullptr, 0, 2, out.data(), QVADynRecoverDisplacement); },
       kQVASrvIndexOutOfRange,
       "QVADynHarmonicEvent::GetNodalResults: load case 2 outside the 1 load cases"},
      {"harmonic nodal results of frame 1 of 1",
       [&] { harmonic->GetNodalResults(nullptr, 1, 0, out.data(), QVADynRecoverDisplacement); },
       kQVASrvIndexOutOfRange,
       "QVADynHarmonicEvent::GetNodalResults: frame 1 outside the 1 frames; pass 0 ... 0"},
      {"transient nodal results of frame -1",
       [&] {
         transient->Recover(nullptr, 1);
         transient->GetNodalResults(nullptr, -1, 0, out.data(), QVADynRecoverDisplacement);
       },
       kQVASrvIndexOutOfRange,
       "QVADynEvent::GetNodalResults: frame -1 outside the 3 frames; pass 0 ... 2"},
  };
  ExpectRefusals(table);
  EXPECT_EQ(transient->DiagonalDamping(), nullptr);
  EXPECT_EQ(harmonic->DiagonalDamping(), nullptr);
}

TEST_F(QVADynEventRefusalTest, Harmonic) {
  const std::vector<FrameRefusal> table{
      {"NaN frequency", {{1.0, 0.0, 0.0}, {kNaN, 0.0, 0.0}}, "frame 1 has the frequency nan"},
      {"infinite frequency", {{kInf, 0.0, 0.0}}, "frame 0 has the frequency inf"},
  };
  for (const FrameRefusal& row : table) {
    SCOPED_TRACE(row.what);
    const QVAFsmModalEventResults results = NewResults();
    auto event = Build<QVADynHarmonicEvent, QVADynHarmonicSolver>(row.frames, results);
    ExpectPlatformError([&] { event->Solve(nullptr); }, kQVABasInvalidArgument,
                        {std::string("QVADynHarmonicSolver::Solve: ") + row.fragment,
                         "pass a finite excitation frequency"});
    ExpectNothingStored(results);
  }
}

TEST_F(QVADynEventRefusalTest, Transient) {
  const std::vector<FrameRefusal> table{
      {"NaN increment", {{0.0, 0.0, kNaN}, {0.1, 0.0, 0.0}}, "frame 0 has the time increment nan"},
      {"zero increment",
       {{0.0, 0.0, 0.1}, {0.1, 0.0, 0.0}, {0.2, 0.0, 0.0}},
       "frame 1 has the time increment 0"},
      {"negative increment, second value",
       {{0.0, -0.1, 0.0}, {0.1, 0.0, 0.0}},
       "frame 0 has the time increment -0.1"},
      {"infinite increment",
       {{0.0, 0.0, kInf}, {0.1, 0.0, 0.0}},
       "frame 0 has the time increment inf"},
  };
  for (const FrameRefusal& row : table) {
    SCOPED_TRACE(row.what);
    const QVAFsmModalEventResults results = NewResults();
    auto event = Build<QVADynTransientEvent, QVADynTransientSolver>(row.frames, results);
    event->RequestEnergyOutput(1 << QVADynEnergyKE);
    ExpectPlatformError([&] { event->Solve(nullptr); }, kQVABasInvalidArgument,
                        {std::string("QVADynTransientSolver::Solve: ") + row.fragment,
                         "pass a finite positive increment"});
    ExpectNothingStored(results);
  }
  // The increment of the last frame starts no step and is not read.
  const QVAFsmModalEventResults results = NewResults();
  auto event = Build<QVADynTransientEvent, QVADynTransientSolver>(
      {{0.0, 0.0, 0.1}, {0.1, 0.0, kNaN}}, results);
  event->Solve(nullptr);
  EXPECT_TRUE(results.GU().IsValid());
}

}  // namespace
