// Solvers that hand an event modal amplitudes solved elsewhere. Over several
// processes each solves its share of the frames (harmonic) or modes
// (transient), the shares are gathered, and every process then recovers its
// block of rows from the whole through an event that takes one of these in
// place of the component's solver:
//
//   QVADynHarmonicEvent event(
//       system, new qvadyn::GivenHarmonicAmplitudes(frames, modes, amplitudes.data()), results);
//   ...                        // active modes, frames, damping and loads as solved
//   event.Solve(nullptr);      // stores the given amplitudes
//   event.Recover(nodes, 1);
//
// The event owns and deletes its solver. The arrays are kept by address and
// must outlive the event's Solve.
#pragma once

#include <complex>

#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"

namespace qvadyn {

class GivenHarmonicAmplitudes : public QVADynHarmonicSolver {
 public:
  // `amplitudes`: frames x modes complex values, entry frame * modes + k.
  GivenHarmonicAmplitudes(int frames, int modes, const std::complex<double>* amplitudes)
      : frames_(frames), modes_(modes), amplitudes_(amplitudes) {}
  // The given amplitudes as load case 0 of the harmonic layout. Raises
  // qvadyn::Error unless the event has the given frames and modes and one
  // load case.
  QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops, int numberOfFrames,
                        const QVADynFrameValue* frames, QVADynEnergy* energy,
                        const QVADynLoadCaseList& loads, QVADynLogFile log) override;

 private:
  int frames_;
  int modes_;
  const std::complex<double>* amplitudes_;
};

class GivenTimeHistories : public QVADynTransientSolver {
 public:
  // Modal displacement, velocity and acceleration: frames x modes each,
  // entry frame * modes + k.
  GivenTimeHistories(int frames, int modes, const double* displacement, const double* velocity,
                     const double* acceleration)
      : frames_(frames), modes_(modes), histories_{displacement, velocity, acceleration} {}
  // The given histories for load case 0. Raises qvadyn::Error unless the
  // event has the given frames and modes and one load case.
  QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops, int numberOfFrames,
                        const QVADynFrameValue* frames, QVADynEnergy* energy,
                        const QVADynLoadCaseList& loads, QVADynLogFile log) override;

 private:
  int frames_;
  int modes_;
  const double* histories_[3];
};

}  // namespace qvadyn
