#pragma once

// Helpers shared by the tests of the events: log texts with their timings
// masked, exception checks, a solver that hands back known amplitudes, and
// the recovery reference u = Phi * q by plain loops over the test basis.
//
//   MaskTimes("Solve for modal amplitudes: elapsed time: 0.0012\n")
//     == "Solve for modal amplitudes: elapsed time: <t>\n"
//   KnownAmplitude(2, 0, 3) == the value the fixed-amplitude solver returns
//     for active mode 2, load case 0, frame 3.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "QVADyn/QVADynCore/QVADynSolver.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "tests/support/QVATestModalBasis.h"

// Replaces the seconds after "elapsed time: " and "reading nodal data: " by
// "<t>", so that logs are compared as whole texts.
inline std::string MaskTimes(const std::string& text) {
  static const std::regex kSeconds("(elapsed time: |reading nodal data: )[-+0-9.eE]+");
  return std::regex_replace(text, kSeconds, "$1<t>");
}

// Runs `call` and expects it to raise `Exception`; returns the message (empty
// when nothing or something else was raised, which fails the test) and
// passes the caught object to `check`.
template <class Exception>
std::string RaisedMessage(const std::function<void()>& call,
                          const std::function<void(const Exception&)>& check = {}) {
  try {
    call();
  } catch (const Exception& error) {
    if (check) check(error);
    return error.what();
  } catch (const std::exception& other) {
    ADD_FAILURE() << "another exception: " << other.what();
    return {};
  }
  ADD_FAILURE() << "nothing was raised";
  return {};
}

// Expects a QVABasError of `number` whose message contains every fragment.
inline void ExpectPlatformError(const std::function<void()>& call, int number,
                                const std::vector<std::string>& fragments) {
  const std::string message = RaisedMessage<QVABasError>(
      call, [number](const QVABasError& error) { EXPECT_EQ(error.ErrorNumber(), number); });
  for (const std::string& fragment : fragments) {
    EXPECT_NE(message.find(fragment), std::string::npos) << message << "\nlacks: " << fragment;
  }
}

// Expects `call` to raise the component exception `Exception` with exactly
// `message`, raised in `file` at `line` (and of `number`, unless -1).
template <class Exception>
void ExpectComponentError(const std::function<void()>& call, const char* file, int line,
                          const std::string& message, int number = -1) {
  const std::string raised = RaisedMessage<Exception>(call, [&](const Exception& error) {
    EXPECT_EQ(error.File(), file);
    EXPECT_EQ(error.Line(), line);
    if (number != -1) {
      EXPECT_EQ(error.ErrorNumber(), number);
    }
  });
  EXPECT_EQ(raised, message);
}

// One refused call of a table: what it is, the call, the QVABasError number
// and the fragments the message must contain.
struct Refusal {
  template <class... Fragments>
  Refusal(const char* name, std::function<void()> refused, int errorNumber, Fragments... parts)
      : what(name), call(std::move(refused)), number(errorNumber), fragments{parts...} {}

  const char* what;
  std::function<void()> call;
  int number;
  std::vector<std::string> fragments;
};

// Runs every refusal of `table` through ExpectPlatformError.
inline void ExpectRefusals(const std::vector<Refusal>& table) {
  for (const Refusal& refusal : table) {
    SCOPED_TRACE(refusal.what);
    ExpectPlatformError(refusal.call, refusal.number, refusal.fragments);
  }
}

// Amplitude of active mode k, load case c, frame j handed back by
// QVATestFixedAmplitudeSolver; distinct for every (k, c, j) and of order 1.
inline double KnownAmplitude(int k, int c, int j) {
  return std::sin(1.0 + 0.7 * k) + 0.25 * c + 0.01 * j * (k % 3 - 1);
}

// A solver that hands back KnownAmplitude in the layout of the time-domain
// solvers (mode fastest, then load case, then frame) for displacement,
// velocity (times 2) and acceleration (times 3), fills every energy array
// the accumulator holds with index-derived values, and records what the
// driver handed it.
class QVATestFixedAmplitudeSolver : public QVADynSolver {
 public:
  struct Seen {
    int calls = 0;
    int numberOfModes = 0;
    int numberOfFrames = 0;
    int numberOfCases = 0;
    int energyRequest = 0;
    bool damped = false;
    std::vector<double> stiffness;
    const QVADynFrameValue* frames = nullptr;
  };

  explicit QVATestFixedAmplitudeSolver(Seen& seen) : seen_(seen) {}

  // Value of energy kind `kind` at index i of its array.
  static double EnergyValue(int kind, int i) { return 100.0 * kind + 0.5 * i; }

  QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops, int numberOfFrames,
                        const QVADynFrameValue* frames, QVADynEnergy* energy,
                        const QVADynLoadCaseList& loads, QVADynLogFile /*log*/) override {
    const int m = ops.NumberOfActiveModes();
    const int cases = loads.NumberOfCases();
    seen_.calls += 1;
    seen_.numberOfModes = m;
    seen_.numberOfFrames = numberOfFrames;
    seen_.numberOfCases = cases;
    seen_.energyRequest = energy->Request();
    seen_.damped = ops.IsDamped();
    seen_.stiffness.assign(ops.Stiffness()->Values(), ops.Stiffness()->Values() + m);
    seen_.frames = frames;
    const std::size_t size = QVAIndex(m) * cases * numberOfFrames;
    double* arrays[3];
    for (int quantity = 0; quantity < 3; ++quantity) {
      arrays[quantity] = mem_AllocArray<double>(size);
      for (int j = 0; j < numberOfFrames; ++j) {
        for (int c = 0; c < cases; ++c) {
          for (int k = 0; k < m; ++k) {
            arrays[quantity][(QVAIndex(j) * cases + c) * m + k] =
                (quantity + 1) * KnownAmplitude(k, c, j);
          }
        }
      }
    }
    for (int kind = 0; kind < QVADynEnergy::kNumberOfKinds; ++kind) {
      double* values = energy->Array(kind);
      for (std::size_t i = 0; i < energy->Length(kind); ++i) {
        values[i] = EnergyValue(kind, static_cast<int>(i));
      }
    }
    out.Adopt(arrays[0], arrays[1], arrays[2]);
    return out;
  }

 private:
  Seen& seen_;
};

// The solver DOFs of the flagged nodes, in solver order.
inline std::vector<int> SolverDofsOf(const QVAFsmSystemDofDefinition& dofs, const bool* nodes) {
  int count = 0;
  int* selected = dofs.SolverDofsFromNodes(nodes, count);
  std::vector<int> rows(selected, selected + count);
  mem_Free(selected);
  return rows;
}

// Index of a solver DOF's (node, place) in a node-by-place nodal array.
inline std::size_t NodalIndex(const QVAFsmSystemDofDefinition& dofs, int solverDof) {
  const QVAFsmNodeDof place = dofs.NodeDofFromSolverDof(solverDof);
  return QVAIndex(place.node * dofs.MaxNodalDof() + place.dof);
}

// u(row, frame) = sum_i Phi(row, modes[i]) * amplitude(i, frame) over the
// basis's reference mode shapes, for the mode-shape rows `rows`; also the
// sum of the magnitudes of the terms, the scale of the rounding error.
struct RecoveryReference {
  std::vector<double> value;      // rows.size() x frames, column-major
  std::vector<double> magnitude;  // same layout
};

inline RecoveryReference ReferenceRecovery(const QVATestModalBasis& basis,
                                           const std::vector<int>& rows, const int* modes,
                                           int numberOfModes, int frames,
                                           const std::function<double(int, int)>& amplitude) {
  RecoveryReference reference;
  const std::size_t size = rows.size() * QVAIndex(frames);
  reference.value.assign(size, 0.0);
  reference.magnitude.assign(size, 0.0);
  for (int j = 0; j < frames; ++j) {
    for (std::size_t r = 0; r < rows.size(); ++r) {
      double sum = 0.0;
      double magnitude = 0.0;
      for (int i = 0; i < numberOfModes; ++i) {
        const double term = basis.ModeShape(rows[r], modes[i]) * amplitude(i, j);
        sum += term;
        magnitude += std::fabs(term);
      }
      reference.value[r + rows.size() * QVAIndex(j)] = sum;
      reference.magnitude[r + rows.size() * QVAIndex(j)] = magnitude;
    }
  }
  return reference;
}
