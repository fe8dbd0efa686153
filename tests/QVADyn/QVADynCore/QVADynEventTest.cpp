// The QVADynEvent base (active modes, frames, loads, damping, energy output, solve driver and
// blocked recovery) through a time-domain-like test event and a solver of known amplitudes.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynEvent.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynModeNumberMismatch.h"
#include "QVADyn/QVADynCore/QVADynMultipleCallsException.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADyn/QVADynCore/QVADynUnknownEnergyType.h"
#include "QVADynBlockedRecovery.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimDataRecord.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimStore.h"
#include "platform/modeldb/QVASimTransaction.h"
#include "tests/support/QVATestEnvironment.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

constexpr const char* kEventSource = "QVADyn/QVADynCore/impl/QVADynEvent";

// A time-domain-like event over the base's driver and recovery: Solve stores the first load
// case's displacement as modes x frames (GU) and the energies; Recover stores Phi q (U).
class TestEvent : public QVADynEvent {
 public:
  TestEvent(const QVADynModalSystem& system, QVADynSolver* solver, QVAFsmModalEventResults results)
      : QVADynEvent(system, results), solver_(solver) {}

  int EventType() const override { return 1; }

  void Solve(QVADynOperatorUpdate* update) override {
    RunSolve(*solver_, update, EnergyOutput(),
             [this](const QVADynSolution& solution, const QVADynEnergy& energy) {
               WriteCases();
               QVAFsmModalEventResults results = Results();
               const int m = NumberOfActiveModes();
               const int frames = NumberOfFrames();
               QVASimTransaction transaction(results.MyPosition().Context());
               modal_ = std::make_unique<QVASrvDenseMatrix>(QVASrvUtilities::Create2DDistribution(
                   results.MyPosition(), QVATypeIndex(QVADataKinds::kModalHistory),
                   results.ActiveModes(), results.Frames(), -1, -1));
               modal_->SetValues(0, m - 1, 0, frames - 1,
                                 QVASrvMatrix(m, frames, solution.Displacement()));
               results.SetGU(transaction, modal_->DistributionID());
               transaction.Commit();
               WriteEnergies(energy);
             });
  }

  void SetReactionForces(const bool*, int, const QVASrvMatrix&, const QVASrvMatrix&) override {}
  void GetModalAmplitudes(QVADynRecoveryType, QVADynNumberType, int, int, double*) override {}

  void Recover(const bool* nodes, int /*quantities*/) override {
    dofs_.Select(ModalSystem().DofDefinition(), nodes);
    QVADynLogFile log = LogFile();
    log.Write(cow_String(kQVADynLogRecoverHeading).Append(kQVADynLogRecoveringDisplacement));
    omi_Timer timer;
    timer.Start();
    if (dofs_.Count() > 0) {
      QVADynBlockedRecovery recovery(ModalSystem(), dofs_.Dofs(), dofs_.Count(), NumberOfFrames());
      log.Write(recovery.RangeLines());
      QVAFsmModalEventResults results = Results();
      QVASimTransaction transaction(results.MyPosition().Context());
      physical_ = std::make_unique<QVASrvDenseMatrix>(QVASrvUtilities::Create2DDistribution(
          results.MyPosition(), QVATypeIndex(QVADataKinds::kPhysicalHistory),
          recovery.CreateDofSet(results), results.Frames(), recovery.RowBlock(),
          recovery.ColumnBlock()));
      recovery.Multiply(*modal_, ActiveModes(), *physical_);
      results.SetU(transaction, physical_->DistributionID());
      transaction.Commit();
      ranges_ = recovery.NumberOfRanges();
      rowBlock_ = recovery.RowBlock();
      columnBlock_ = recovery.ColumnBlock();
    }
    timer.Stop();
    log.Write(cow_String(kQVADynLogRecoverTime).AppendDouble(timer.ElapsedSeconds()).Append("\n"));
  }

  void GetNodalResults(const bool*, int frame, int, double* out, QVADynRecoveryType) override {
    ReadNodalValues(*physical_, dofs_, frame, out);
  }
  void GetImaginaryNodalResults(const bool*, int, int, double*, QVADynRecoveryType) override {}

  using QVADynEvent::ModalEnergy;
  using QVADynEvent::WholeModelEnergy;

  int Ranges() const { return ranges_; }
  int RowBlock() const { return rowBlock_; }
  int ColumnBlock() const { return columnBlock_; }

 private:
  std::unique_ptr<QVADynSolver> solver_;
  std::unique_ptr<QVASrvDenseMatrix> modal_;
  std::unique_ptr<QVASrvDenseMatrix> physical_;
  RecoveryDofs dofs_;
  int ranges_ = 0;
  int rowBlock_ = 0;
  int columnBlock_ = 0;
};

std::vector<int> SetMembers(const QVASimCSetID& set) {
  const QVASimCSet members(set);
  return std::vector<int>(members.OrderedMembers(), members.OrderedMembers() + members.Size());
}

std::vector<QVADynFrameValue> Frames(int count) {
  std::vector<QVADynFrameValue> frames(QVAIndex(count));
  for (int j = 0; j < count; ++j) frames[QVAIndex(j)] = {1.0 + j, 0.5 * j, 0.01};
  return frames;
}

// Sets `modes` active and `frames` frames (see Frames) on `event` and makes
// `cases` empty load cases.
void Configure(QVADynEvent& event, const std::vector<int>& modes, int frames, int cases) {
  event.SetActiveModes(static_cast<int>(modes.size()), modes.data());
  const std::vector<QVADynFrameValue> values = Frames(frames);
  event.SetFrameValues(frames, values.data());
  event.LoadCase(cases - 1);
}

// A basis of 8 nodes x 3 places (24 DOFs), 10 modes, mode-shape rows cut
// into blocks of 5; each test opens its own modal system over it.
class EventTest : public ::testing::Test {
 protected:
  static QVATestModalBasisOptions Options() {
    return {.numberOfNodes = 8,
            .numberOfModes = 10,
            .rowBlockSize = 5,
            .columnBlockSize = 4,
            .viscousDamping = true,
            .structuralDamping = true};
  }

  EventTest() : basis_(Options()) {}

  // A new event over `modal` with a fixed-amplitude solver and new results,
  // kept in results_.
  std::unique_ptr<TestEvent> MakeEvent(QVADynModalSystem& modal) {
    results_ = basis_.Database().CreateModalEventResults(basis_.ModalObject());
    return std::make_unique<TestEvent>(modal, new QVATestFixedAmplitudeSolver(seen_), results_);
  }

  // Solves `event` over `modes` with `frames` frames and recovers the nodes
  // flagged, then compares every recovered value with Phi * q.
  void ExpectRecoveredEqualsReference(TestEvent& event, const std::vector<int>& modes, int frames,
                                      const std::vector<bool>& nodeFlags) {
    Configure(event, modes, frames, 1);
    event.Solve(nullptr);
    std::unique_ptr<bool[]> flags(new bool[nodeFlags.size()]);
    for (std::size_t p = 0; p < nodeFlags.size(); ++p) flags[p] = nodeFlags[p];
    event.Recover(flags.get(), 1);

    const QVAFsmSystemDofDefinition& dofs = basis_.Dofs();
    const std::vector<int> rows = SolverDofsOf(dofs, flags.get());
    const RecoveryReference reference =
        ReferenceRecovery(basis_, rows, event.ActiveModes(), event.NumberOfActiveModes(), frames,
                          [](int i, int j) { return KnownAmplitude(i, 0, j); });
    const int maxNodalDof = dofs.MaxNodalDof();
    for (int j = 0; j < frames; ++j) {
      std::vector<double> out(QVAIndex(dofs.NumberOfNodes() * maxNodalDof), -7.0);
      event.GetNodalResults(nullptr, j, 0, out.data(), QVADynRecoverDisplacement);
      for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::size_t at = r + rows.size() * QVAIndex(j);
        // dgemm against a plain sum of n <= 10 terms: rounding of order
        // n * eps times the sum of the magnitudes of the terms.
        EXPECT_NEAR(out[NodalIndex(dofs, rows[r])], reference.value[at],
                    16 * kQVAEps * reference.magnitude[at] + 1e-300)
            << "row " << r << " frame " << j;
      }
    }
  }

  // The fixture's own event over a modal system opened on the basis (with
  // the log handle given, if any), made on first use.
  TestEvent& Event(QVADynLogFile* log = nullptr) {
    if (!event_) {
      modal_ = log != nullptr ? basis_.Open(*log) : basis_.Open();
      event_ = MakeEvent(*modal_);
    }
    return *event_;
  }

  QVATestModalBasis basis_;
  QVAFsmModalEventResults results_;
  QVATestFixedAmplitudeSolver::Seen seen_;
  std::unique_ptr<QVADynModalSystem> modal_;
  std::unique_ptr<TestEvent> event_;
};

// --- active modes and frames -------------------------------------------------

// Every mode in any order runs in mode order; a subset keeps the given order.
// The results keep the given order in both cases.
TEST_F(EventTest, ActiveModesKeepTheGivenOrderUnlessEveryModeIsActive) {
  auto modal = basis_.Open();
  const std::vector<int> reverse = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
  auto every = MakeEvent(*modal);
  every->SetActiveModes(10, reverse.data());
  EXPECT_EQ(every->NumberOfActiveModes(), 10);
  EXPECT_EQ(every->NumberOfActiveAcousticModes(), 0);
  EXPECT_EQ(std::vector<int>(every->ActiveModes(), every->ActiveModes() + 10), QVATestRange(0, 10));
  EXPECT_EQ(SetMembers(results_.ActiveModes()), reverse);
  const std::vector<int> modes = {7, 2, 5};
  auto subset = MakeEvent(*modal);
  subset->SetActiveModes(3, modes.data());
  EXPECT_EQ(std::vector<int>(subset->ActiveModes(), subset->ActiveModes() + 3), modes);
  EXPECT_EQ(SetMembers(results_.ActiveModes()), modes);
}

// Calls with nothing leave both setters open (and the event unsolvable); a
// second call with something raises, even with the same list.
TEST_F(EventTest, SettersTakeOneCallWithSomething) {
  TestEvent& event = Event();
  event.SetActiveModes(0, nullptr);
  event.SetFrameValues(0, nullptr);
  EXPECT_EQ(event.NumberOfActiveModes(), 0);
  EXPECT_EQ(event.NumberOfFrames(), 0);
  ExpectPlatformError([&] { event.Solve(nullptr); }, kQVASrvInvalidState,
                      {"0 active modes and 0 frames", "SetActiveModes, SetFrameValues"});
  EXPECT_EQ(seen_.calls, 0);
  const std::vector<int> modes = {4, 3};
  const std::vector<QVADynFrameValue> frames = Frames(2);
  event.SetActiveModes(2, modes.data());
  event.SetFrameValues(2, frames.data());
  EXPECT_EQ(SetMembers(results_.ActiveModes()), modes);
  ExpectComponentError<QVADynMultipleCallsException>(
      [&] { event.SetActiveModes(2, modes.data()); }, kEventSource, 97,
      "Multiple calls to QVADynEvent::SetActiveModes are not allowed!", 221);
  ExpectComponentError<QVADynMultipleCallsException>(
      [&] { event.SetFrameValues(2, frames.data()); }, kEventSource, 135,
      "Multiple calls to QVADynEvent::SetFrameValues are not allowed!");
  EXPECT_EQ(event.NumberOfActiveModes(), 2);
  EXPECT_EQ(event.NumberOfFrames(), 2);
}

TEST_F(EventTest, ActiveModeListsThatWouldReadOutsideTheSystemAreRefusedAndChangeNothing) {
  TestEvent& event = Event();
  const std::vector<int> outside = {1, 10};
  const std::vector<int> twice = {3, 1, 3};
  ExpectRefusals({
      {"outside", [&] { event.SetActiveModes(2, outside.data()); }, kQVABasInvalidArgument,
       "entry 1 is mode 10", "10 modes [0, 10)"},
      {"twice", [&] { event.SetActiveModes(3, twice.data()); }, kQVABasInvalidArgument,
       "mode 3 is listed twice"},
      {"negative", [&] { event.SetActiveModes(-1, outside.data()); }, kQVABasInvalidArgument,
       "negative number of active modes -1"},
      {"no list", [&] { event.SetActiveModes(2, nullptr); }, kQVABasInvalidArgument,
       "no list for 2 active modes"},
  });
  EXPECT_EQ(event.NumberOfActiveModes(), 0);
  EXPECT_FALSE(results_.ActiveModes().IsValid());
  const std::vector<int> valid = {3, 1};
  event.SetActiveModes(2, valid.data());
  EXPECT_EQ(SetMembers(results_.ActiveModes()), valid);
}

TEST(EventAcousticTest, AcousticModesCloseTheListOfASubset) {
  QVATestModalBasisOptions options{.acousticNodes = 2, .numberOfModes = 6};
  options.numberOfAcousticModes = 2;  // modes 4 and 5
  QVATestModalBasis basis(options);
  auto modal = basis.Open();
  const auto event = [&] {
    return std::make_unique<TestEvent>(
        *modal, nullptr, basis.Database().CreateModalEventResults(basis.ModalObject()));
  };
  const std::vector<int> acousticFirst = {4, 0, 5};
  const std::vector<int> structuralOnly = {0, 1};
  const auto refused = event();
  ExpectPlatformError([&] { refused->SetActiveModes(3, acousticFirst.data()); },
                      kQVABasInvalidArgument, {"2 acoustic modes (4 ... 5)", "last entries"});
  ExpectPlatformError([&] { refused->SetActiveModes(2, structuralOnly.data()); },
                      kQVABasInvalidArgument, {"2 acoustic modes"});
  const std::vector<int> valid = {2, 0, 5, 4};
  const auto accepted = event();
  accepted->SetActiveModes(4, valid.data());
  EXPECT_EQ(accepted->NumberOfActiveAcousticModes(), 2);
}

TEST_F(EventTest, FrameValuesAreCopiedAndWrittenAsAStridedSet) {
  TestEvent& event = Event();
  std::vector<QVADynFrameValue> frames = Frames(3);
  event.SetFrameValues(3, frames.data());
  frames[1].first = -1.0;
  EXPECT_EQ(event.NumberOfFrames(), 3);
  EXPECT_EQ(event.FrameValue(1).first, 2.0);
  EXPECT_EQ(event.FrameValue(2).second, 1.0);
  EXPECT_EQ(SetMembers(results_.Frames()), (std::vector<int>{0, 1, 2}));
  ExpectPlatformError([&] { event.FrameValue(3); }, kQVASrvIndexOutOfRange,
                      {"frame 3 outside the 3 frames [0, 3)"});
}

// --- loading and damping -----------------------------------------------------

TEST_F(EventTest, ModalForcesArePackedAtTheActiveModeCount) {
  TestEvent& event = Event();
  const std::vector<int> modes = {0, 4, 6};
  event.SetActiveModes(3, modes.data());
  // Two load cases, one real pattern each, scaled by amplitude rows 0 and 1.
  auto* table = new QVASrvMatrix(2, 2);
  (*table)(0, 1) = 2.0;
  (*table)(1, 1) = -0.5;
  event.AdoptAmplitudeTable(table);
  for (int c = 0; c < 2; ++c) {
    auto* pattern = new QVASrvMatrix(3, 1);
    for (int k = 0; k < 3; ++k) (*pattern)(k, 0) = 1.0 + k + 10.0 * c;
    const int amplitude = c;
    event.LoadCase(c).AdoptForce(new QVADynForce(pattern, &amplitude, 1, nullptr, 0));
  }
  std::vector<double> out(12, -9.0);
  event.GetModalForce(QVADynRealPart, 1, out.data(), 6);
  // Products of small integers with 2 and -0.5: exact; the stride of 6 is
  // left alone beyond the packed columns.
  EXPECT_EQ(out, (std::vector<double>{2.0, 4.0, 6.0, -5.5, -6.0, -6.5, -9.0, -9.0, -9.0, -9.0, -9.0,
                                      -9.0}));
  ExpectComponentError<QVADynModeNumberMismatch>(
      [&] { event.GetModalForce(QVADynRealPart, 1, out.data(), 2); }, kEventSource, 354,
      "Number of modes != number of active modes in QVADynEvent::GetModalForce");
}

TEST_F(EventTest, DiagonalDampingNeedsOneRecordPerActiveMode) {
  TestEvent& event = Event();
  const std::vector<int> modes = {1, 2};
  event.SetActiveModes(2, modes.data());
  const QVADynDiagonalDamping records[] = {{0.01, 0.02, 0.0, 0.0}, {0.0, 0.05, 0.0, 0.0}};
  ExpectComponentError<QVADynModeNumberMismatch>(
      [&] { event.SetDiagonalDamping(1, records); }, kEventSource, 190,
      "Number of modes != number of active modes in QVADynEvent::SetModalDamping!");
  EXPECT_EQ(event.DiagonalDamping(), nullptr);
  event.SetDiagonalDamping(2, records);
  ASSERT_NE(event.DiagonalDamping(), nullptr);
  EXPECT_NE(event.DiagonalDamping(), records);  // a copy
  EXPECT_EQ(event.DiagonalDamping()[1].criticalFraction, 0.05);
}

// Flags 1 (viscous), 2 (structural), 4 (acoustic viscous) are granted for
// the matrices the system holds: this one has viscous and structural.
TEST_F(EventTest, ProjectedDampingIsGrantedForTheMatricesTheSystemHolds) {
  TestEvent& event = Event();
  const std::vector<int> modes = {0, 1, 2};
  event.SetActiveModes(3, modes.data());
  for (const auto& [flags, granted] : {std::pair{7, 3}, std::pair{2, 2}, std::pair{0, 0}}) {
    EXPECT_EQ(event.RequestProjectedDamping(flags), granted);
    const std::unique_ptr<QVADynModalDamping> damping(event.getDamping());
    EXPECT_EQ(damping->HasDamping(QVADynViscousDamping), (granted & 1) != 0) << flags;
    EXPECT_EQ(damping->HasDamping(QVADynStructuralDamping), (granted & 2) != 0) << flags;
  }
  QVATestModalBasis undamped;
  auto plain = undamped.Open();
  TestEvent other(*plain, nullptr,
                  undamped.Database().CreateModalEventResults(undamped.ModalObject()));
  EXPECT_EQ(other.RequestProjectedDamping(7), 0);
}

// --- lifetime, solve and log ----------------------------------------------------

TEST_F(EventTest, DestructorLogsTheNodalReadTimeEvenWhenNothingWasRead) {
  QVATestLogCapture capture;
  auto modal = basis_.Open(capture.Log());
  const std::string before = capture.Contents();
  MakeEvent(*modal).reset();
  EXPECT_EQ(capture.Contents(), before + "Elapsed time spent reading nodal data: 0\n");
}

TEST_F(EventTest, SolveHandsTheDriverDataToTheSolverAndLogsOneBlock) {
  QVATestLogCapture capture;
  TestEvent& event = Event(&capture.Log());
  Configure(event, {6, 1, 3}, 4, 2);
  event.RequestEnergyOutput(1);
  event.RequestEnergyOutput(8);
  const std::string before = capture.Contents();
  event.Solve(nullptr);
  EXPECT_EQ(MaskTimes(capture.Contents().substr(before.size())),
            "\n--- Solve dynamic system ---\n\n"
            "Number of physical degrees of freedom:      24\n"
            "Number of active modal degrees of freedom:  3\n"
            "Number of frequency points:                 4\n"
            "\n"
            "Solve for modal amplitudes: elapsed time: <t>\n");
  EXPECT_EQ(seen_.calls, 1);
  EXPECT_EQ(seen_.numberOfModes, 3);
  EXPECT_EQ(seen_.numberOfFrames, 4);
  EXPECT_EQ(seen_.numberOfCases, 2);
  EXPECT_EQ(seen_.energyRequest, 9);
  EXPECT_FALSE(seen_.damped);
  const std::vector<double>& eigenvalues = basis_.Eigenvalues();
  EXPECT_EQ(seen_.stiffness, (std::vector<double>{eigenvalues[6], eigenvalues[1], eigenvalues[3]}));
  EXPECT_EQ(seen_.frames[3].first, 4.0);
}

TEST_F(EventTest, SolveNamesTheLoadCasesOnce) {
  TestEvent& event = Event();
  Configure(event, {0, 1}, 2, 3);
  event.Solve(nullptr);
  const std::vector<int> cases = SetMembers(results_.Cases());
  ASSERT_EQ(cases.size(), 3U);
  const QVASimCollectionID collection = results_.CasesCollection();
  QVASimDatabase& database = basis_.Database();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::string name;
    for (int record = 0; record < 1000; ++record) {
      if (!database.Store().DataRecordExists(record)) continue;
      const QVASimDataRecord candidate(&database, record);
      if (candidate.Collection() == collection && candidate.Member() == cases[i]) {
        EXPECT_EQ(candidate.Kind(), QVATypeIndex(QVADataKinds::kLoadCaseRecord));
        name = candidate.Associated(QVATypeIndex(QVADataKinds::kNameAssociation))
                   .StringField(0)
                   .Text();
      }
    }
    EXPECT_EQ(name, "LoadCase #" + std::to_string(i));
  }
  event.LoadCase(3);
  event.Solve(nullptr);
  EXPECT_EQ(SetMembers(results_.Cases()), cases);
}

// --- recovery ---------------------------------------------------------------------

struct RangeCase {
  const char* limit;  // TOR_DYN_MAX_RECOVERY_SIZE, null: unset
  int ranges;         // ranges over the 24 DOFs of the basis
};

class EventRecoveryTest : public EventTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(EventRecoveryTest, RecoveredValuesAreThoseOfPhiTimesQForEveryRangeLimit) {
  const QVATestScopedEnvironment limit("TOR_DYN_MAX_RECOVERY_SIZE", GetParam().limit);
  auto modal = basis_.Open();
  {
    auto event = MakeEvent(*modal);
    ExpectRecoveredEqualsReference(*event, {7, 2, 5, 0}, 3, std::vector<bool>(8, true));
    EXPECT_EQ(event->Ranges(), GetParam().ranges);
  }
  {
    auto event = MakeEvent(*modal);
    ExpectRecoveredEqualsReference(*event, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, 2,
                                   {false, true, true, false, false, true, false, true});
  }
}

// The mode-shape rows come in blocks of 5: unset, the limit is 5; 0 (from a
// non-numeric value) means no limit.
INSTANTIATE_TEST_SUITE_P(Limits, EventRecoveryTest,
                         ::testing::Values(RangeCase{"1", 24}, RangeCase{"7", 4},
                                           RangeCase{nullptr, 5}, RangeCase{"abc", 1}),
                         [](const ::testing::TestParamInfo<RangeCase>& parameter) {
                           const std::string limit =
                               parameter.param.limit == nullptr ? "Unset" : parameter.param.limit;
                           return limit == "abc" ? std::string("NonNumeric") : "Limit" + limit;
                         });

TEST_F(EventTest, ResultBlocksFollowTheModeShapeRowsAndTheResultColumnSetting) {
  const QVATestScopedEnvironment columns("TOR_DYN_RESULTS_COL_BLOCKSIZE", "2");
  auto modal = basis_.Open();
  auto event = MakeEvent(*modal);
  ExpectRecoveredEqualsReference(*event, {1, 0}, 3, std::vector<bool>(8, true));
  EXPECT_EQ(event->RowBlock(), 5);
  EXPECT_EQ(event->ColumnBlock(), 2);
  const QVATestScopedEnvironment unset("TOR_DYN_RESULTS_COL_BLOCKSIZE", nullptr);
  auto other = MakeEvent(*modal);
  ExpectRecoveredEqualsReference(*other, {1, 0}, 3,
                                 {false, true, false, false, false, false, false, false});
  EXPECT_EQ(other->RowBlock(), 3);     // three DOFs, fewer than a mode-shape block
  EXPECT_EQ(other->ColumnBlock(), 3);  // three frames, fewer than the default 20
}

// A transient event over modes {7, 2, 5, 0} in free vibration from an initial displacement and
// velocity, recovered at nodes {0, 2, 5}, then {1, 6}, then {0, 2, 5} again: each read-back is
// Phi q at the nodes of the last recovery; a velocity recovered at other nodes than the last
// recovery's is refused, naming the DOFs, and leaves the output as it was.
TEST_F(EventTest, ReadBacksFollowEachRecoveryAndRefuseAMixedOne) {
  constexpr int kFrames = 4;
  const std::vector<int> modes = {7, 2, 5, 0};
  const int m = static_cast<int>(modes.size());
  auto modal = basis_.Open();
  results_ = basis_.Database().CreateModalEventResults(basis_.ModalObject());
  QVADynTransientEvent event(*modal, new QVADynTransientSolver, results_);
  Configure(event, modes, kFrames, 1);
  QVASrvMatrix initialDisplacement(m, 1);
  QVASrvMatrix initialVelocity(m, 1);
  for (int k = 0; k < m; ++k) {
    initialDisplacement(k, 0) = 1.0 - 0.3 * k;
    initialVelocity(k, 0) = 0.5 + k;
  }
  event.SetInitialCondition(QVADynRecoverDisplacement, initialDisplacement);
  event.SetInitialCondition(QVADynRecoverVelocity, initialVelocity);
  event.Solve(nullptr);
  const std::vector<double> modalHistories[] = {
      QVATestReadDenseMatrix(QVASrvDenseMatrix(results_.GU())),
      QVATestReadDenseMatrix(QVASrvDenseMatrix(results_.GV()))};

  const QVAFsmSystemDofDefinition& dofs = basis_.Dofs();
  const std::size_t width = QVAIndex(dofs.NumberOfNodes() * dofs.MaxNodalDof());
  // Frame j of `type` read back is Phi q at the DOFs of `nodes`; every other entry keeps -7.
  const auto expectReadBack = [&](QVADynRecoveryType type, const std::vector<bool>& nodes) {
    std::unique_ptr<bool[]> flags(new bool[nodes.size()]);
    for (std::size_t p = 0; p < nodes.size(); ++p) flags[p] = nodes[p];
    const std::vector<int> rows = SolverDofsOf(dofs, flags.get());
    const std::vector<double>& q = modalHistories[type];
    const RecoveryReference reference =
        ReferenceRecovery(basis_, rows, modes.data(), m, kFrames,
                          [&](int k, int j) { return q[QVAIndex(k + m * j)]; });
    for (int j = 0; j < kFrames; ++j) {
      std::vector<double> out(width, -7.0);
      event.GetNodalResults(nullptr, j, 0, out.data(), type);
      std::vector<double> expected(width, -7.0);
      std::vector<double> tolerance(width, 0.0);
      for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::size_t at = NodalIndex(dofs, rows[r]);
        expected[at] = reference.value[r + rows.size() * j];
        // dgemm against a plain sum of 4 terms: rounding of order 4 eps times the sum of the
        // magnitudes of the terms.
        tolerance[at] = 16 * kQVAEps * reference.magnitude[r + rows.size() * j];
      }
      for (std::size_t at = 0; at < width; ++at) {
        EXPECT_NEAR(out[at], expected[at], tolerance[at])
            << "type " << type << ", frame " << j << ", entry " << at;
      }
    }
  };
  const std::vector<bool> first = {true, false, true, false, false, true, false, false};
  const std::vector<bool> other = {false, true, false, false, false, false, true, false};
  std::unique_ptr<bool[]> flags(new bool[first.size()]);
  const auto recover = [&](const std::vector<bool>& nodes, int quantities) {
    for (std::size_t p = 0; p < nodes.size(); ++p) flags[p] = nodes[p];
    event.Recover(flags.get(), quantities);
  };
  recover(first, 1 | 2);
  expectReadBack(QVADynRecoverDisplacement, first);
  expectReadBack(QVADynRecoverVelocity, first);
  recover(other, 1);
  expectReadBack(QVADynRecoverDisplacement, other);
  std::vector<double> untouched(width, -7.0);
  ExpectPlatformError(
      [&] { event.GetNodalResults(nullptr, 1, 0, untouched.data(), QVADynRecoverVelocity); },
      kQVASrvInvalidState,
      {"row 0 of the result is system DOF 0, the last recovery selected system DOF 3",
       "read results back after a recovery of the same nodes"});
  EXPECT_EQ(untouched, std::vector<double>(width, -7.0));
  recover(first, 1);
  expectReadBack(QVADynRecoverDisplacement, first);
  expectReadBack(QVADynRecoverVelocity, first);
}

// --- energy output ----------------------------------------------------------------

// Request 9 (1 + 8) writes the modal and whole-model kinetic energy only;
// no request writes none.
TEST_F(EventTest, EnergyRequestNineWritesModalAndWholeModelKineticEnergyOnly) {
  auto modal = basis_.Open();
  auto silent = MakeEvent(*modal);
  Configure(*silent, {0}, 1, 1);
  silent->Solve(nullptr);
  EXPECT_EQ(seen_.energyRequest, 0);
  EXPECT_FALSE(results_.KE().IsValid() || results_.AllKE().IsValid());

  const auto owner = MakeEvent(*modal);
  TestEvent& event = *owner;
  Configure(event, {2, 0, 1}, 4, 1);
  event.RequestEnergyOutput(9);
  event.Solve(nullptr);
  EXPECT_TRUE(results_.KE().IsValid() && results_.AllKE().IsValid());
  EXPECT_FALSE(results_.SE().IsValid() || results_.Work().IsValid() || results_.AllSE().IsValid() ||
               results_.AllWork().IsValid());
  // One load case: column j of the modal matrix and entry j of the
  // whole-model one are frame j. The values are copied, so compared exactly.
  std::vector<double> whole(4);
  event.WholeModelEnergy(QVADynEnergyAllKE, whole.data());
  for (int frame = 0; frame < 4; ++frame) {
    std::vector<double> column(3);
    event.ModalEnergy(QVADynEnergyKE, frame, 0, column.data());
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(column[QVAIndex(k)],
                QVATestFixedAmplitudeSolver::EnergyValue(QVADynEnergyKE, frame * 3 + k));
    }
    EXPECT_EQ(whole[QVAIndex(frame)],
              QVATestFixedAmplitudeSolver::EnergyValue(QVADynEnergyAllKE, frame));
  }

  std::vector<double> out(4, 0.0);
  ExpectComponentError<QVADynUnknownEnergyType>([&] { event.ModalEnergy(3, 0, 0, out.data()); },
                                                kEventSource, 438,
                                                "Unknown energy type in QVADynEvent::ModalEnergy");
  ExpectComponentError<QVADynUnknownEnergyType>(
      [&] { event.WholeModelEnergy(2, out.data()); }, kEventSource, 460,
      "Unknown energy type in QVADynEvent::WholeModelEnergy");
  ExpectPlatformError([&] { event.ModalEnergy(QVADynEnergySE, 0, 0, out.data()); },
                      kQVASrvInvalidState, {"energy kind 1 was not written"});
}

}  // namespace
