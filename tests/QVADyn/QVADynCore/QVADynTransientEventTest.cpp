// The transient and response-spectrum events end to end: stored histories against a direct
// solve, recovered nodal histories against Phi q by plain loops, read-backs and logs.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynRespSpectrumEvent.h"
#include "QVADyn/QVADynCore/QVADynRespSpectrumSolver.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

constexpr int kAllEnergies = 63;

// The solve block of every event of the tests below, timings masked.
const std::string kSolveBlock =
    "\n--- Solve dynamic system ---\n\n"
    "Number of physical degrees of freedom:      18\n"
    "Number of active modal degrees of freedom:  5\n"
    "Number of frequency points:                 6\n"
    "\n"
    "Solve for modal amplitudes: elapsed time: <t>\n";

// Events over modes {4, 1, 7, 0, 9} of a 12-mode basis (6 nodes x 3 places), 6 uneven frames and
// one load case of two patterns whose amplitudes ramp and hold.
class TimeHistoryEventTest : public ::testing::Test {
 protected:
  static constexpr int kModes = 5;
  static constexpr int kFrames = 6;

  TimeHistoryEventTest() {
    QVATestModalBasisOptions options{.rowBlockSize = 4};
    basis_ = std::make_unique<QVATestModalBasis>(options);
  }

  template <class Event, class Solver>
  std::unique_ptr<Event> Build(QVADynLogFile& log) {
    modal_ = basis_->Open(log);
    results_ = basis_->Database().CreateModalEventResults(basis_->ModalObject());
    auto event = std::make_unique<Event>(*modal_, new Solver, results_);
    event->SetActiveModes(kModes, modes_.data());
    event->SetFrameValues(kFrames, Frames().data());
    event->SetDiagonalDamping(kModes, records_.data());
    event->AdoptAmplitudeTable(AmplitudeTable());
    event->LoadCase(0).AdoptForce(Force());
    event->RequestEnergyOutput(kAllEnergies);
    return event;
  }

  // A fresh event (the one before, and its modal system, are destroyed).
  void BuildTransient(QVADynLogFile& log) {
    transient_.reset();
    transient_ = Build<QVADynTransientEvent, QVADynTransientSolver>(log);
  }
  void BuildTransient() { BuildTransient(basis_->Log()); }

  std::vector<QVADynFrameValue> Frames() const {
    std::vector<QVADynFrameValue> frames(kFrames);
    const double steps[kFrames] = {0.05, 0.02, 0.02, 0.1, 0.03, 0.0};
    for (int j = 0; j < kFrames; ++j) frames[QVAIndex(j)].third = steps[j];
    return frames;
  }
  static QVASrvMatrix* AmplitudeTable() {
    auto* table = new QVASrvMatrix(2, kFrames);
    for (int j = 0; j < kFrames; ++j) {
      (*table)(0, j) = std::min(1.0, 0.4 * j);  // ramp and hold
      (*table)(1, j) = 0.5 - 0.1 * j;
    }
    return table;
  }
  QVADynForce* Force() const {
    auto* patterns = new QVASrvMatrix(kModes, 2);
    for (int k = 0; k < kModes; ++k) {
      (*patterns)(k, 0) = 1.0 + 0.5 * k;
      (*patterns)(k, 1) = k % 2 == 0 ? -2.0 : 3.0;
    }
    const int rows[] = {0, 1};
    return new QVADynForce(patterns, rows, 2, nullptr, 0);
  }

  // The event's solve done directly: the solver over the same operators,
  // frames and loads.
  struct Reference {
    std::vector<double> arrays[3];
    std::unique_ptr<QVADynEnergy> energy;
  };
  Reference DirectSolve(const QVADynEvent& event) const {
    QVADynModalOperators ops(*modal_, nullptr);
    const std::unique_ptr<QVADynModalDamping> damping(event.getDamping());
    ops.Build(kModes, event.ActiveModes(), *damping);
    QVADynLoadCaseList loads;
    loads.SetNumberOfActiveModes(kModes);
    loads.AdoptAmplitudeTable(AmplitudeTable());
    loads.LoadCase(0).AdoptForce(Force());
    Reference reference;
    reference.energy = std::make_unique<QVADynEnergy>(kAllEnergies, kModes, 1, kFrames);
    QVADynTransientSolver solver;
    QVADynSolution solution;
    solver.Solve(solution, ops, kFrames, Frames().data(), reference.energy.get(), loads,
                 QVADynLogFile());
    const double* values[3] = {solution.Displacement(), solution.Velocity(),
                               solution.Acceleration()};
    for (int q = 0; q < 3; ++q) reference.arrays[q].assign(values[q], values[q] + kModes * kFrames);
    return reference;
  }

  static std::vector<double> Read(const QVASimDistributionID& distribution) {
    return QVATestReadDenseMatrix(QVASrvDenseMatrix(distribution));
  }

  std::vector<int> RowsOf(const bool* nodes) const { return SolverDofsOf(basis_->Dofs(), nodes); }
  int Width() const { return basis_->Dofs().NumberOfNodes() * basis_->Dofs().MaxNodalDof(); }
  std::size_t Place(int solverDof) const { return NodalIndex(basis_->Dofs(), solverDof); }

  // Expects frame j of `type` read back at `rows` to be Phi times the stored
  // modal history `modal` (active modes x frames).
  void ExpectRecovered(QVADynEvent& event, QVADynRecoveryType type, const std::vector<int>& rows,
                       const std::vector<double>& modal) {
    const RecoveryReference reference =
        ReferenceRecovery(*basis_, rows, modes_.data(), kModes, kFrames,
                          [&](int k, int j) { return modal[QVAIndex(k + kModes * j)]; });
    for (int j = 0; j < kFrames; ++j) {
      std::vector<double> out(QVAIndex(Width()), 0.0);
      event.GetNodalResults(nullptr, j, 0, out.data(), type);
      for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::size_t at = r + rows.size() * QVAIndex(j);
        // A product over the 12 modes of the basis (zero rows for inactive
        // ones): 16 eps of the summed magnitudes.
        EXPECT_NEAR(out[Place(rows[r])], reference.value[at],
                    16 * kQVAEps * reference.magnitude[at])
            << "type " << type << ", frame " << j << ", row " << r;
      }
    }
  }

  const std::vector<int> modes_ = {4, 1, 7, 0, 9};
  const std::vector<QVADynDiagonalDamping> records_ = {{0.0, 0.02, 0.0, 0.0},
                                                       {0.04, 0.0, 0.0, 0.0},
                                                       {0.01, 0.03, 0.0, 0.0},
                                                       {0.0, 0.05, 0.0, 0.0},
                                                       {0.02, 0.0, 0.0, 0.0}};
  std::unique_ptr<QVATestModalBasis> basis_;
  std::unique_ptr<QVADynModalSystem> modal_;
  QVAFsmModalEventResults results_;
  std::unique_ptr<QVADynTransientEvent> transient_;
};

TEST_F(TimeHistoryEventTest, SolveStoresTheSolversHistoriesAndEnergies) {
  BuildTransient();
  EXPECT_EQ(transient_->EventType(), 1);
  transient_->Solve(nullptr);
  const Reference reference = DirectSolve(*transient_);
  // The same solver on the same inputs: identical to the bit.
  const QVASimDistributionID stored[3] = {results_.GU(), results_.GV(), results_.GA()};
  for (int q = 0; q < 3; ++q) {
    ASSERT_TRUE(stored[q].IsValid());
    const QVASimDistribution view(stored[q]);
    EXPECT_EQ(view.DataKind(), QVATypeIndex(QVADataKinds::kModalHistory));
    EXPECT_EQ(QVATestSetMembers(view.Set(0)), modes_);
    EXPECT_EQ(QVATestSetMembers(view.Set(1)), QVATestRange(0, kFrames));
    EXPECT_EQ(Read(stored[q]), reference.arrays[q]) << "quantity " << q;
    for (int j = 0; j < kFrames; ++j) {
      std::vector<double> column(kModes, -1.0);
      transient_->GetModalAmplitudes(static_cast<QVADynRecoveryType>(q), QVADynRealPart, j, 0,
                                     column.data());
      EXPECT_EQ(column, std::vector<double>(reference.arrays[q].begin() + kModes * j,
                                            reference.arrays[q].begin() + kModes * (j + 1)));
    }
  }
  EXPECT_EQ(QVATestSetMembers(results_.Cases()).size(), 1U);
  std::vector<double> column(kModes, -1.0);
  transient_->GetModalAmplitudes(QVADynRecoverVelocity, QVADynImaginaryPart, 2, 0, column.data());
  EXPECT_EQ(column, std::vector<double>(kModes, 0.0));
  transient_->GetModalAmplitudes(QVADynRecoverReactionForce, QVADynRealPart, 2, 0, column.data());
  EXPECT_EQ(column, std::vector<double>(kModes, 0.0));

  // Energies: modal kinds over active modes x frames, whole-model over frames.
  const QVASimDistributionID energies[6] = {results_.KE(),    results_.SE(),    results_.Work(),
                                            results_.AllKE(), results_.AllSE(), results_.AllWork()};
  for (int kind = 0; kind < 6; ++kind) {
    ASSERT_TRUE(energies[kind].IsValid()) << kind;
    const double* values = reference.energy->Array(kind);
    const std::size_t count = kind < 3 ? kModes * kFrames : kFrames;
    EXPECT_EQ(Read(energies[kind]), std::vector<double>(values, values + count)) << kind;
  }
}

TEST_F(TimeHistoryEventTest, InitialConditionsSetFrameZero) {
  BuildTransient();
  QVASrvMatrix displacement(kModes, 1);
  std::vector<double> initial(kModes);
  for (int k = 0; k < kModes; ++k) {
    displacement(k, 0) = 0.01 * (k + 1);
    initial[QVAIndex(k)] = 0.01 * (k + 1);
  }
  // A diagonal matrix stands for the full one: its first column is (0.5, 0, ...).
  QVASrvMatrix velocity(kModes, kModes, nullptr, true, true);
  for (int k = 0; k < kModes; ++k) velocity(k, k) = 0.5 + k;
  transient_->SetInitialCondition(QVADynRecoverDisplacement, displacement);
  transient_->SetInitialCondition(QVADynRecoverVelocity, velocity);
  transient_->Solve(nullptr);
  const std::vector<double> u = Read(results_.GU());
  const std::vector<double> v = Read(results_.GV());
  const std::vector<double> a = Read(results_.GA());
  EXPECT_EQ(std::vector<double>(u.begin(), u.begin() + kModes), initial);
  EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + kModes),
            std::vector<double>({0.5, 0.0, 0.0, 0.0, 0.0}));
  EXPECT_EQ(std::vector<double>(a.begin(), a.begin() + kModes), std::vector<double>(kModes, 0.0));

  // Fewer values than active modes: refused before anything is stored.
  BuildTransient();
  transient_->SetInitialCondition(QVADynRecoverAcceleration, QVASrvMatrix(2, 1));
  ExpectPlatformError([&] { transient_->Solve(nullptr); }, kQVABasInvalidArgument,
                      {"initial condition 2 holds 2 values, 5 modes x 1 load cases need 5"});
  EXPECT_FALSE(results_.GU().IsValid());
}

TEST_F(TimeHistoryEventTest, RecoverStoresOnlyTheRequestedQuantities) {
  BuildTransient();
  transient_->Solve(nullptr);
  const bool nodes[] = {true, false, true, true, false, true};
  const std::vector<int> rows = RowsOf(nodes);
  transient_->Recover(nodes, 2);
  ASSERT_TRUE(results_.V().IsValid());
  EXPECT_FALSE(results_.U().IsValid());
  EXPECT_FALSE(results_.A().IsValid());
  const QVASimDistribution view(results_.V());
  EXPECT_EQ(view.DataKind(), QVATypeIndex(QVADataKinds::kPhysicalHistory));
  EXPECT_EQ(view.Size(0), static_cast<int>(rows.size()));
  EXPECT_EQ(view.Size(1), kFrames);
  ExpectRecovered(*transient_, QVADynRecoverVelocity, rows, Read(results_.GV()));

  // Quantities not recovered, and other types, read as zeros at the
  // recovered DOFs; every other entry keeps its value.
  for (QVADynRecoveryType type :
       {QVADynRecoverDisplacement, QVADynRecoverAcceleration, QVADynRecoverReactionForce}) {
    std::vector<double> out(QVAIndex(Width()), 7.0);
    transient_->GetNodalResults(nodes, 3, 0, out.data(), type);
    std::vector<double> expected(QVAIndex(Width()), 7.0);
    for (const int row : rows) expected[Place(row)] = 0.0;
    EXPECT_EQ(out, expected) << "type " << type;
  }
  std::vector<double> untouched(QVAIndex(Width()), 7.0);
  transient_->GetImaginaryNodalResults(nodes, 3, 0, untouched.data(), QVADynRecoverVelocity);
  EXPECT_EQ(untouched, std::vector<double>(QVAIndex(Width()), 7.0));

  // Displacement and acceleration now; the velocity stays as it was.
  const QVASimDistributionID velocity = results_.V();
  transient_->Recover(nodes, 1 | 4);
  EXPECT_EQ(results_.V(), velocity);
  ExpectRecovered(*transient_, QVADynRecoverDisplacement, rows, Read(results_.GU()));
  ExpectRecovered(*transient_, QVADynRecoverAcceleration, rows, Read(results_.GA()));
  ExpectRecovered(*transient_, QVADynRecoverVelocity, rows, Read(results_.GV()));
}

TEST_F(TimeHistoryEventTest, SolveAndRecoverLogOneBlockEach) {
  QVATestLogCapture capture;
  BuildTransient(capture.Log());
  const std::size_t start = capture.Contents().size();
  transient_->Solve(nullptr);
  const bool nodes[] = {false, true, false, false, false, false};
  transient_->Recover(nodes, 7);
  const bool none[] = {false, false, false, false, false, false};
  transient_->Recover(none, 2);
  transient_->Recover(nodes, 4);
  transient_.reset();
  EXPECT_EQ(MaskTimes(capture.Contents().substr(start)),
            kSolveBlock +
                "\n--- Recover physical results ---\n\n"
                "Recovering data for: displacement\n"
                "velocity\n"
                "acceleration\n"
                "Number of dofs for recovery:   3\n"
                "Number of recovery dof ranges: 1\n"
                "Recover physical quantities: elapsed time: <t>\n"
                "\n--- Recover physical results ---\n\n"
                "Recovering data for: velocity\n"
                "Recover physical quantities: elapsed time: <t>\n"
                "\n--- Recover physical results ---\n\n"
                "Recovering data for: acceleration\n"
                "Number of dofs for recovery:   3\n"
                "Number of recovery dof ranges: 1\n"
                "Recover physical quantities: elapsed time: <t>\n"
                "Elapsed time spent reading nodal data: <t>\n");
}

TEST_F(TimeHistoryEventTest, ReadBacksAndSolvesNeedWhatTheyRead) {
  BuildTransient();
  const bool all[] = {true, true, true, true, true, true};
  ExpectPlatformError([&] { transient_->Recover(all, 2); }, kQVASrvInvalidState,
                      {"QVADynEvent::Recover: no modal velocity; Solve the event first"});
  std::vector<double> out(kModes, 0.0);
  ExpectPlatformError(
      [&] {
        transient_->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, 0, 0, out.data());
      },
      kQVASrvInvalidState, {"no modal amplitudes; Solve the event first"});
  // Nothing recovered and no DOFs selected: the read-back writes nothing.
  std::vector<double> nodal(36, 5.0);
  transient_->GetNodalResults(all, 0, 0, nodal.data(), QVADynRecoverDisplacement);
  EXPECT_EQ(nodal, std::vector<double>(36, 5.0));

  // A free vibration needs one (empty) load case.
  transient_.reset();
  modal_ = basis_->Open();
  results_ = basis_->Database().CreateModalEventResults(basis_->ModalObject());
  QVADynTransientEvent unloaded(*modal_, new QVADynTransientSolver, results_);
  unloaded.SetActiveModes(kModes, modes_.data());
  unloaded.SetFrameValues(kFrames, Frames().data());
  ExpectPlatformError([&] { unloaded.Solve(nullptr); }, kQVASrvInvalidState,
                      {"the event has no load case; add one (LoadCase(0))"});
  unloaded.LoadCase(0);
  unloaded.Solve(nullptr);
  EXPECT_EQ(Read(results_.GU()), std::vector<double>(kModes * kFrames, 0.0));
}

// Response spectrum

TEST_F(TimeHistoryEventTest, ResponseSpectrumStoresZeroHistoriesAndNoEnergies) {
  QVATestLogCapture capture;
  auto event = Build<QVADynRespSpectrumEvent, QVADynRespSpectrumSolver>(capture.Log());
  EXPECT_EQ(event->EventType(), 2);
  const std::size_t start = capture.Contents().size();
  event->Solve(nullptr);
  for (const QVASimDistributionID& stored : {results_.GU(), results_.GV(), results_.GA()}) {
    ASSERT_TRUE(stored.IsValid());
    EXPECT_EQ(QVASimDistribution(stored).DataKind(), QVATypeIndex(QVADataKinds::kModalHistory));
    EXPECT_EQ(Read(stored), std::vector<double>(kModes * kFrames, 0.0));
  }
  // The energy request (all kinds) writes nothing.
  for (const QVASimDistributionID& energy :
       {results_.KE(), results_.SE(), results_.Work(), results_.AllKE(), results_.AllSE(),
        results_.AllWork()}) {
    EXPECT_FALSE(energy.IsValid());
  }
  std::vector<double> buffer(kModes, 3.5);
  event->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, 1, 0, buffer.data());
  EXPECT_EQ(buffer, std::vector<double>(kModes, 3.5));

  const bool nodes[] = {false, false, true, false, false, false};
  event->Recover(nodes, 1);
  ASSERT_TRUE(results_.U().IsValid());
  EXPECT_EQ(Read(results_.U()), std::vector<double>(3 * kFrames, 0.0));
  std::vector<double> out(QVAIndex(Width()), 1.0);
  event->GetNodalResults(nodes, 4, 0, out.data(), QVADynRecoverDisplacement);
  for (const int row : RowsOf(nodes)) EXPECT_EQ(out[Place(row)], 0.0);
  EXPECT_EQ(out[0], 1.0);
  event.reset();
  EXPECT_EQ(MaskTimes(capture.Contents().substr(start)),
            kSolveBlock +
                "\n--- Recover physical results ---\n\n"
                "Recovering data for: displacement\n"
                "Number of dofs for recovery:   3\n"
                "Number of recovery dof ranges: 1\n"
                "Recover physical quantities: elapsed time: <t>\n"
                "Elapsed time spent reading nodal data: <t>\n");
}

}  // namespace
