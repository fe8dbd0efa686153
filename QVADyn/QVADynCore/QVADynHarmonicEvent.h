#pragma once

// The steady-state (frequency-domain) event. Its frames are excitation
// frequencies f (cycles per unit time, omega = 2 pi f), and every quantity is
// complex, x(t) = Re(X e^{i omega t}), stored as a real part (complex-number
// part member 4) and an imaginary part (member 0).
//
// Stored results, each over [rows, Frames, complex part {4, 0}, Cases]:
//   GU  modal amplitudes      rows = the results' active modes   (Solve)
//   U   nodal displacement    rows = the recovered system DOFs   (Recover)
//   RF  reaction forces       rows = the given system DOFs       (SetReactionForces)
//
// Read-back of modal amplitudes, mode k at frequency f with stored U = a + i b:
//   displacement: real a, imaginary b
//   velocity i omega U:      real -omega b, imaginary omega a
//   acceleration -omega^2 U: real -omega^2 a, imaginary -omega^2 b
//
// The read-back of nodal values uses the DOFs of the latest Recover or
// SetReactionForces, so displacements are read after Recover and reaction
// forces after SetReactionForces of the same nodes.

#include "QVADyn/QVADynCore/QVADynEvent.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"

class QVADYN_EXPORT QVADynHarmonicEvent : public QVADynEvent {
 public:
  // Takes ownership of `solver` (allocated with new); deleted with the event.
  QVADynHarmonicEvent(const QVADynModalSystem& system, QVADynHarmonicSolver* solver,
                      QVAFsmModalEventResults results);
  ~QVADynHarmonicEvent() override;

  // 0.
  int EventType() const override;
  // The common solve (energy request 0); stores the amplitudes as GU and,
  // first, the load-case set. Raises QVABasError (kQVASrvInvalidState)
  // without active modes, frames or solver.
  void Solve(QVADynOperatorUpdate* update) override;
  // Stores `real` and `imaginary` (DOFs of the flagged nodes x frames, rows in
  // solver-DOF order) as load case `loadCase` of RF, made by the first call
  // over these DOFs; the DOFs become those of the read-back. Writes the
  // load-case set first when no solve has written it. Raises QVABasError
  // (kQVABasInvalidArgument) when the nodes give other DOFs than those RF
  // was made for, and as the database for a load case out of range.
  void SetReactionForces(const bool* nodes, int loadCase, const QVASrvMatrix& real,
                         const QVASrvMatrix& imaginary) override;
  // Stored amplitudes of `frame` and `loadCase`, scaled to velocity (i omega)
  // or acceleration (-omega^2); reaction-force and other types read the
  // displacement. Raises QVABasError (kQVABasInvalidArgument) for a part
  // other than QVADynRealPart and QVADynImaginaryPart, (kQVASrvInvalidState)
  // before a solve, (kQVASrvIndexOutOfRange) for a frame out of range;
  // `out` is then unchanged.
  void GetModalAmplitudes(QVADynRecoveryType type, QVADynNumberType part, int frame, int loadCase,
                          double* out) override;
  // Recovers the complex nodal displacement of every frame and load case at
  // the flagged nodes and stores it as U; `quantities` is not read. Raises
  // QVABasError (kQVASrvInvalidState) before a solve.
  void Recover(const bool* nodes, int quantities) override;
  // Real part of RF (type QVADynRecoverReactionForce) or of U (any other
  // type) at `frame` and `loadCase`, into out[node * MaxNodalDof + place];
  // `nodes` is not read; `out` is unchanged when that result does not exist.
  void GetNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                       QVADynRecoveryType type) override;
  // As GetNodalResults, for the imaginary part.
  void GetImaginaryNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                                QVADynRecoveryType type) override;

 private:
  // Writes the solver's amplitudes as GU (after WriteCases).
  void StoreModalAmplitudes(const QVADynSolution& solution);
  void ReadNodal(int part, int frame, int loadCase, double* out, QVADynRecoveryType type);

  QVADynHarmonicSolver* solver_;
  RecoveryDofs recoveryDofs_;
};
