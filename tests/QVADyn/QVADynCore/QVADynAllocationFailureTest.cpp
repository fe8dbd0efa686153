// Every allocation of three whole analyses fails in turn: writing a basis, a
// harmonic and a transient event. The platform allocator's test hook counts
// mem_Malloc, mem_Realloc and mem_OperatorNewThrow; this program's global
// operator new asks the same hook, so std::vector, std::make_unique and the
// other run-time paths fail as well.
//
// A script is a list of steps (one host call each). For step s and fault
// point n, the script is replayed from a fresh database up to s, allocation
// n of step s fails, and then:
//   - only a QVABasException may reach the test (nothing else, no crash; ASan
//     reports leaks at exit);
//   - when it raises, the database and what the host read back are exactly as
//     before the step, and the step run again gives exactly the results of a
//     run without failure;
//   - when it does not raise (a log line dropped), they are exactly those of
//     a run without failure;
//   - either way, the rest of the script then ends exactly as without failure.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVASimCollection.h"
#include "tests/support/QVATestModalBasis.h"

// The global allocation of this program counts against the platform's hook.
void* operator new(std::size_t bytes) {
  if (mem_TestAllocationFails()) throw std::bad_alloc();
  if (void* memory = std::malloc(bytes == 0 ? 1 : bytes)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*bytes*/) noexcept { std::free(memory); }

namespace {

constexpr int kModes = 3;
constexpr int kFrames = 3;

// Everything a script builds, destroyed events first and database last.
struct State {
  State() : basis(Options()) {}
  static QVATestModalBasisOptions Options() {
    return {.numberOfNodes = 3,
            .placesPerNode = 2,
            .numberOfModes = kModes,
            .rowBlockSize = 4,
            .columnBlockSize = 2};
  }

  QVATestModalBasis basis;
  QVAFsmModalSystem written;
  std::unique_ptr<QVADynModalSystem> writer;
  std::unique_ptr<QVADynModalSystem> reader;
  std::unique_ptr<QVADynModalSystem> modal;
  QVAFsmModalEventResults results;
  std::unique_ptr<QVADynEvent> event;
  // What the host hands over next, made before the call.
  std::unique_ptr<QVADynForce> force;
  std::unique_ptr<QVASrvMatrix> table;
  // Where the host reads into, made before the call, and what it read back.
  std::vector<double> out;
  std::vector<double> readBack;
};

// One host call (`call`, where allocations fail), what the host makes before
// it and what it keeps of its output afterwards (`prepare`, `collect`, where
// they do not).
struct Step {
  const char* name;
  std::function<void(State&)> call;
  std::function<void(State&)> prepare = [](State&) {};
  std::function<void(State&)> collect = [](State&) {};
  bool armed = true;
  void Run(State& state) const {
    prepare(state);
    call(state);
    collect(state);
  }
};

// Identifiers of sets and distributions are compared against the state just
// before a step (the same objects must be attached), not against another run
// (a rolled-back object keeps its identifier used).
bool gWithIdentifiers = true;

void AppendSet(std::vector<double>& out, const QVASimCSetID& set) {
  out.push_back(!set.IsValid() ? -1 : gWithIdentifiers ? set.Index() : 0);
  if (!set.IsValid()) return;
  for (const int member : QVATestSetMembers(set)) out.push_back(member);
}

void AppendDistribution(std::vector<double>& out, QVASimDatabase& database,
                        const QVASimDistributionID& distribution) {
  out.push_back(!distribution.IsValid() ? -1 : gWithIdentifiers ? distribution.Index() : 0);
  if (!distribution.IsValid()) return;
  std::vector<double> values(QVAIndex(database.NumberOfValues(distribution)));
  database.ReadDistribution(distribution, values.data());
  out.insert(out.end(), values.begin(), values.end());
}

// Every entry of the written modal object and of the results, with the values
// of their distributions, the collection sizes and what the host read back.
std::vector<double> Snapshot(State& state, bool withIdentifiers = true) {
  gWithIdentifiers = withIdentifiers;
  std::vector<double> out;
  QVASimDatabase& database = state.basis.Database();
  const QVAFsmModalSystem& modal = state.written;
  if (modal.IsValid()) {
    for (const QVASimCSetID& set :
         {modal.Modes(), modal.StructuralModes(), modal.ResidualModes(), modal.AcousticModes()}) {
      AppendSet(out, set);
    }
    for (const QVASimDistributionID& distribution :
         {modal.Eigenvalues(), modal.ModeShapes(), modal.GeneralizedMass()}) {
      AppendDistribution(out, database, distribution);
    }
    out.push_back(QVASimCollection(modal.ModesCollection()).Size());
  }
  const QVAFsmModalEventResults& results = state.results;
  if (results.IsValid()) {
    for (const QVASimCSetID& set : {results.Frames(), results.Cases(), results.ActiveModes()}) {
      AppendSet(out, set);
    }
    for (const QVASimDistributionID& distribution :
         {results.GU(), results.GV(), results.GA(), results.U(), results.V(), results.A(),
          results.RF(), results.KE(), results.SE(), results.Work(), results.AllKE(),
          results.AllSE(), results.AllWork()}) {
      AppendDistribution(out, database, distribution);
    }
    out.push_back(QVASimCollection(results.FramesCollection()).Size());
    out.push_back(QVASimCollection(results.CasesCollection()).Size());
  }
  out.insert(out.end(), state.readBack.begin(), state.readBack.end());
  return out;
}

// Runs `step`; true when it raised a QVABasException, a failure of the test
// for anything else.
bool Raises(const Step& step, State& state) {
  try {
    step.call(state);
  } catch (const QVABasException&) {
    return true;
  } catch (const std::exception& other) {
    mem_TestFailAllocation(0);
    ADD_FAILURE() << step.name << ": " << typeid(other).name()
                  << " reached the host: " << other.what();
    return true;
  } catch (...) {
    mem_TestFailAllocation(0);
    ADD_FAILURE() << step.name << ": a foreign exception reached the host";
    return true;
  }
  return false;
}

// Fails every allocation of every armed step in turn and checks as above;
// returns the number of fault points.
int FailEveryAllocation(const std::vector<Step>& script) {
  std::vector<std::vector<double>> reference;
  {
    State state;
    for (const Step& step : script) {
      step.Run(state);
      reference.push_back(Snapshot(state, false));
    }
  }
  int faultPoints = 0;
  for (std::size_t s = 0; s < script.size(); ++s) {
    if (!script[s].armed) continue;
    for (long n = 1;; ++n) {
      SCOPED_TRACE(std::string(script[s].name) + ", allocation " + std::to_string(n));
      State state;
      for (std::size_t earlier = 0; earlier < s; ++earlier) script[earlier].Run(state);
      script[s].prepare(state);
      const std::vector<double> before = Snapshot(state);
      mem_TestFailAllocation(n);
      const bool raised = Raises(script[s], state);
      const long counted = mem_TestAllocationCount();
      mem_TestFailAllocation(0);
      if (raised) {
        EXPECT_EQ(Snapshot(state), before);
        EXPECT_FALSE(Raises(script[s], state)) << "the step fails when run again";
      }
      script[s].collect(state);
      EXPECT_EQ(Snapshot(state, false), reference[s]);
      if (counted < n) {
        EXPECT_FALSE(raised);
        break;
      }
      ++faultPoints;
      for (std::size_t later = s + 1; later < script.size(); ++later) script[later].Run(state);
      EXPECT_EQ(Snapshot(state, false), reference.back());
      if (::testing::Test::HasFailure()) return faultPoints;
    }
  }
  return faultPoints;
}

// A modal force on every active mode, scaled by amplitude row 0, and the
// amplitude table 1 + frame / 2.
void PrepareLoad(State& state) {
  auto pattern = std::make_unique<QVASrvMatrix>(kModes, 1);
  for (int k = 0; k < kModes; ++k) (*pattern)(k, 0) = 1.0 + k;
  const int row = 0;
  state.force = std::make_unique<QVADynForce>(pattern.get(), &row, 1, nullptr, 0);
  pattern.release();
  state.table = std::make_unique<QVASrvMatrix>(1, kFrames);
  for (int j = 0; j < kFrames; ++j) (*state.table)(0, j) = 1.0 + 0.5 * j;
}

// A zeroed node-by-DOF array to read nodal results into.
void PrepareNodal(State& state) {
  const QVAFsmSystemDofDefinition& dofs = state.modal->DofDefinition();
  state.out.assign(QVAIndex(dofs.NumberOfNodes() * dofs.MaxNodalDof()), 0.0);
}

void Collect(State& state) {
  state.readBack.insert(state.readBack.end(), state.out.begin(), state.out.end());
}

// The steps of an event after its construction, up to its destruction.
std::vector<Step> EventSteps(const std::vector<QVADynFrameValue>& frames, int quantities) {
  return {
      {"SetActiveModes",
       [](State& state) {
         const int modes[kModes] = {2, 0, 1};
         state.event->SetActiveModes(kModes, modes);
       }},
      {"SetFrameValues",
       [frames](State& state) { state.event->SetFrameValues(kFrames, frames.data()); }},
      {"SetDiagonalDamping",
       [](State& state) {
         const QVADynDiagonalDamping records[kModes] = {
             {0.0, 0.02, 0.0, 0.0}, {0.01, 0.05, 0.0, 0.0}, {0.0, 0.0, 0.1, 1e-4}};
         state.event->SetDiagonalDamping(kModes, records);
       }},
      {"AdoptForce and AdoptAmplitudeTable",
       [](State& state) {
         state.event->LoadCase(0).AdoptForce(state.force.get());
         state.force.release();
         state.event->AdoptAmplitudeTable(state.table.release());
       },
       PrepareLoad},
      {"Solve", [](State& state) { state.event->Solve(nullptr); }},
      {"Recover", [quantities](State& state) { state.event->Recover(nullptr, quantities); }},
      {"GetModalAmplitudes",
       [](State& state) {
         state.event->GetModalAmplitudes(QVADynRecoverVelocity, QVADynRealPart, 1, 0,
                                         state.out.data());
       },
       [](State& state) { state.out.assign(kModes, 0.0); }, Collect},
      {"GetNodalResults",
       [](State& state) {
         state.event->GetNodalResults(nullptr, 2, 0, state.out.data(), QVADynRecoverDisplacement);
       },
       PrepareNodal, Collect},
      {"GetImaginaryNodalResults",
       [](State& state) {
         state.event->GetImaginaryNodalResults(nullptr, 1, 0, state.out.data(),
                                               QVADynRecoverDisplacement);
       },
       PrepareNodal, Collect},
      {"destructor", [](State& state) { state.event.reset(); }},
  };
}

std::vector<Step> OpenedSystem() {
  return {{"open the basis",
           [](State& state) {
             state.modal = state.basis.Open();
             state.results =
                 state.basis.Database().CreateModalEventResults(state.basis.ModalObject());
           },
           [](State&) {}, [](State&) {}, false}};
}

std::vector<Step> Concatenated(std::vector<Step> first, const std::vector<Step>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST(QVADynAllocationFailureTest, WritingAndOpeningABasis) {
  const std::vector<Step> script{
      {"new modal object and writer",
       [](State& state) {
         QVASimDatabase& database = state.basis.Database();
         const QVAFsmSystemDofDefinition& dofs = state.basis.Dofs();
         state.written = database.CreateModalSystem(dofs.NumberOfDofs(), dofs.NumberOfNodes());
         state.writer = std::make_unique<QVADynModalSystem>(state.basis.CreateDofDefinition(),
                                                            state.written, state.basis.Log());
       },
       [](State&) {}, [](State&) {}, false},
      {"SetEigenvalues",
       [](State& state) {
         state.writer->SetEigenvalues(state.basis.Eigenvalues().data(), kModes, 0, 1);
       }},
      {"CreateModeShapes",
       [](State& state) { state.writer->CreateModeShapes(state.basis.NumberOfRows(), false); },
       [](State&) {},
       // The host fills the matrix it was handed.
       [](State& state) {
         QVATestFillDenseMatrix(*state.writer->ModeShapes(), state.basis.ModeShapes());
       }},
      {"Open", [](State& state) { state.reader->Open(); },
       [](State& state) {
         state.reader = std::make_unique<QVADynModalSystem>(state.basis.CreateDofDefinition(),
                                                            state.written, state.basis.Log());
       },
       [](State& state) {
         state.readBack.assign(state.reader->Eigenvalues(), state.reader->Eigenvalues() + kModes);
       }},
  };
  const int faultPoints = FailEveryAllocation(script);
  RecordProperty("faultPoints", faultPoints);
  EXPECT_GT(faultPoints, 10);
}

TEST(QVADynAllocationFailureTest, HarmonicAnalysis) {
  std::vector<QVADynFrameValue> frames(kFrames);
  for (int j = 0; j < kFrames; ++j) frames[QVAIndex(j)].first = 0.5 + j;
  const std::vector<Step> construct{{"construct", [](State& state) {
                                       state.event.reset(new QVADynHarmonicEvent(
                                           *state.modal, new QVADynHarmonicSolver, state.results));
                                     }}};
  const int faultPoints = FailEveryAllocation(
      Concatenated(Concatenated(OpenedSystem(), construct), EventSteps(frames, 1)));
  RecordProperty("faultPoints", faultPoints);
  EXPECT_GT(faultPoints, 50);
}

TEST(QVADynAllocationFailureTest, TransientAnalysis) {
  const std::vector<QVADynFrameValue> frames{{0.0, 0.0, 0.1}, {0.1, 0.0, 0.2}, {0.3, 0.0, 0.0}};
  const std::vector<Step> construct{{"construct", [](State& state) {
                                       state.event.reset(new QVADynTransientEvent(
                                           *state.modal, new QVADynTransientSolver, state.results));
                                       // Every energy kind, so that the solve stores them too.
                                       state.event->RequestEnergyOutput(0x3F);
                                     }}};
  const int faultPoints = FailEveryAllocation(
      Concatenated(Concatenated(OpenedSystem(), construct), EventSteps(frames, 7)));
  RecordProperty("faultPoints", faultPoints);
  EXPECT_GT(faultPoints, 50);
}

}  // namespace
