#pragma once

// Solver of a response-spectrum event. It hands back the event's three modal
// result arrays in the layout of the transient solver (mode fastest, then
// load case, then frame) and evaluates no spectrum and no modal combination:
// every value of every frame is 0.0, frame 0 (the state before any
// excitation) included.
//
//   m = 2 modes, N = 1 load case, F = 3 frames:
//   displacement = velocity = acceleration = [0 0 | 0 0 | 0 0]

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynSolver.h"

class QVADYN_EXPORT QVADynRespSpectrumSolver : public QVADynSolver {
 public:
  QVADynRespSpectrumSolver() = default;
  ~QVADynRespSpectrumSolver() override;

  // Hands `out` three new arrays of m*N*F zeros (m active modes of `ops`, N
  // load cases of `loads`, F = numberOfFrames). The frames, the loads, the
  // energy accumulator and the log are not read. Raises QVABasError
  // (kQVABasInvalidArgument) for a negative number of frames.
  QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops, int numberOfFrames,
                        const QVADynFrameValue* frames, QVADynEnergy* energy,
                        const QVADynLoadCaseList& loads, QVADynLogFile log) override;
};
