#pragma once

// Base of the modal solvers. An event owns one solver and calls its Solve
// from the common solve driver (QVADynEvent::RunSolve) with the modal
// operators of its active modes, its frames, its load cases and an energy
// accumulator; the solver hands the modal amplitudes back in a
// QVADynSolution:
//
//   QVADynSolution solution;
//   solver.Solve(solution, operators, numberOfFrames, frames, &energy, loads, log);
//   // solution.Displacement(): layout of the solver's kind, see QVADynSolution
//
// Solvers are allocated with the platform allocator; the event deletes its
// solver through this class.

#include "QVADyn/QVADynCore/QVADynEnergy.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynSolution.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"

class QVADYN_EXPORT QVADynSolver : public mem_AllocationOperators {
 public:
  QVADynSolver() = default;
  QVADynSolver(const QVADynSolver&) = delete;
  QVADynSolver& operator=(const QVADynSolver&) = delete;
  virtual ~QVADynSolver();

  // Solves for the modal amplitudes of `numberOfFrames` frames and every load
  // case of `loads` and stores them in `out` (the solver's layout, see
  // QVADynSolution); returns `out`. `energy` receives the energies the
  // solver produces (may be ignored by solvers that produce none). `log` is
  // the solver's own copy of the event's log file.
  virtual QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops,
                                int numberOfFrames, const QVADynFrameValue* frames,
                                QVADynEnergy* energy, const QVADynLoadCaseList& loads,
                                QVADynLogFile log) = 0;
};
