#pragma once

// Steady-state solver of a harmonic event: the complex modal amplitudes q of
//   (K - omega^2 M + i (omega C + S)) q = F
// at every frequency and load case, with x(t) = Re(X e^{i omega t}) and
// omega = 2 pi f (f in cycles per unit time, the first value of a frame).
//
// Its Solve chooses the method:
//   coupled acoustic  when the modal system holds an acoustic coupling matrix;
//   non-diagonal      when the viscous or structural damping is not in
//                     diagonal storage, or an operator update acts on every
//                     frequency;
//   diagonal          otherwise: each mode is one complex division,
//                     q_k = F_k / (lambda_k - omega^2 + i (omega c_k + s_k)).
//
// At f = 0 (omega <= 2.22e-16) every method gives a rigid mode zero response:
// in the diagonal method a mode whose eigenvalue is exactly 0, in the other
// two a structural or acoustic mode whose stiffness row and column are
// exactly zero; the non-diagonal and coupled methods solve the other modes
// without it. So a sweep from 0 Hz of a free structure or a closed cavity
// keeps its first frame.
//
// Worked value, diagonal method: lambda = 400, c = 2, s = 0, f = 1 (omega =
// 2 pi): a = 400 - 39.478 = 360.522, b = 12.566, H = (a - i b) / (a^2 + b^2)
// = 0.0027703 - 0.0000966 i; a real force F = 1 gives q = H.
//
// Output (handed back as the solution's displacement): per load case c a
// block of 2*m*F doubles from c*2*m*F, the real parts frame by frame, then
// the imaginary parts (see QVADynSolution).

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynSolver.h"

class QVADYN_EXPORT QVADynHarmonicSolver : public QVADynSolver {
 public:
  enum class Method { kDiagonal, kNonDiagonal, kCoupledAcoustic };

  QVADynHarmonicSolver() = default;
  ~QVADynHarmonicSolver() override;

  // The method Solve uses for `ops`: coupled acoustic when the modal system
  // holds an acoustic coupling matrix; else non-diagonal when the viscous or
  // the structural damping is not in diagonal storage or an operator update
  // acts on every frequency (UpdateApplies(0)); else diagonal. Raises
  // QVABasError (kQVASrvInvalidState) when the operators are not built.
  static Method MethodFor(const QVADynModalOperators& ops);

  // Chooses the method and solves; `energy` is not used, `log` goes to the
  // method that logs (non-diagonal and coupled acoustic). Raises QVABasError
  // (kQVABasInvalidArgument) for a frequency that is not finite, before
  // anything is solved; (kQVASrvInvalidState) when the diagonal method meets operators of other
  // than NumberOfActiveModes() rows (acoustic modes without a coupling
  // matrix), (kQVASrvSingularMatrix) when the non-diagonal or coupled system
  // of a frame is singular, and as QVADynLoadCaseList::GetModalForces.
  QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops, int numberOfFrames,
                        const QVADynFrameValue* frames, QVADynEnergy* energy,
                        const QVADynLoadCaseList& loads, QVADynLogFile log) override;

 private:
  // The three methods; each fills `output` (2*m*N*F doubles, layout above).
  // Uncoupled modes, diagonal damping, no operator update.
  static void SolveDiagonal(double* output, const QVADynModalOperators& ops, int numberOfFrames,
                            const QVADynFrameValue* frames, const QVADynLoadCaseList& loads);
  // Structural modes with full damping or an operator update per frequency.
  static void SolveNonDiagonal(double* output, const QVADynModalOperators& ops, int numberOfFrames,
                               const QVADynFrameValue* frames, const QVADynLoadCaseList& loads,
                               const QVADynLogFile& log);
  // Structural and acoustic modes coupled through the coupling matrix.
  static void SolveCoupledAcoustic(double* output, const QVADynModalOperators& ops,
                                   int numberOfFrames, const QVADynFrameValue* frames,
                                   const QVADynLoadCaseList& loads, const QVADynLogFile& log);
};
