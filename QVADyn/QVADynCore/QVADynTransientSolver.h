#pragma once

// Time integrator of a transient event. Every active mode k obeys
//
//   q'' + c_k q' + lambda_k q = f_k(t),
//
// the load varying linearly between two consecutive frames, and each step is
// integrated exactly for that load:
//
//   u1 = A u0 + B v0 + C f0 + D f1,   v1 = E u0 + F v0 + G f0 + H f1,
//   a1 = f1 - c v1 - lambda u1,
//
// with coefficients that depend on lambda_k, c_k and the step only (see
// QVADynTransientCoefficients.h). The damping c is the diagonal of the
// assembled modal damping: viscous Z0 plus structural Z1 turned into an
// equivalent viscous matrix, Z1(i, j) / sqrt(omega_i omega_j). Off-diagonal
// damping Zo couples the modes; its forces -Zo v are moved to the load side
// and resolved implicitly at the end of each step, (I + diag(H) Zo) v1 =
// predictor, with one LU factorization per distinct step size.
//
// Frames: frame n holds the state at time t_n; the step from frame n to n + 1
// is the third double of frame n, or its second when the third is exactly 0.0.
//
//   frames {0, 0.1, 0.1}, {0, 0.1, 0.0}, {0, 0.2, 0.0}: t = 0, 0.1, 0.2
//   (the last frame's increment is not used)
//
// Results (handed back in the solution): displacement, velocity and
// acceleration, m modes x N load cases x F frames each, mode fastest, then
// load case, then frame: index (f*N + c)*m + k. Frame 0 holds the initial
// conditions (zeros where none were given); its acceleration is not made
// consistent with the load.
//
// Energies (into the accumulator, each kind only when requested): kinetic
// v^2/2 and strain lambda u^2/2 of every frame, load case and mode; the work
// of the load of load case 0 over the step that ends at frame n, per mode at
// n*m + k and summed over the modes at n; frame 0 does no work (0.0).

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynSolver.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"

class QVADYN_EXPORT QVADynTransientSolver : public QVADynSolver {
 public:
  // No initial conditions (zero state at frame 0).
  QVADynTransientSolver();
  // Releases the initial conditions.
  ~QVADynTransientSolver() override;

  // Copies `count` values (m x N, mode fastest) as the initial displacement,
  // velocity or acceleration (`type` 0, 1 or 2), replacing an earlier copy of
  // the same type; other types are ignored. Raises QVABasError
  // (kQVABasInvalidArgument) for a negative count or null values with a
  // positive count.
  void SetInitialCondition(QVADynRecoveryType type, int count, const double* values);

  // Integrates the modes of `ops` (eigenvalues from its stiffness diagonal;
  // viscous and structural damping when it is damped) over `numberOfFrames`
  // frames under the loads of every load case of `loads`, and hands the
  // displacement, velocity and acceleration to `out`. Fills the requested
  // arrays of `energy` (may be null). Writes nothing to `log`.
  // Raises QVABasError (kQVABasInvalidArgument) for fewer than one frame, for
  // an increment of frames 0 ... n-2 that is not finite and positive, for
  // an initial condition of fewer than m*N values, and for operators whose
  // stiffness has other than m rows (active acoustic modes: the integrator
  // treats structural modes only); (kQVASrvSingularMatrix) when the coupled
  // system I + diag(H) Zo is singular; and as
  // QVADynLoadCaseList::GetModalForces. Factorizes with dgetrf, solves with
  // dgetrs and forms the damping forces with dgemm.
  QVADynSolution& Solve(QVADynSolution& out, const QVADynModalOperators& ops, int numberOfFrames,
                        const QVADynFrameValue* frames, QVADynEnergy* energy,
                        const QVADynLoadCaseList& loads, QVADynLogFile log) override;

  // How often the last Solve built its step coefficients: once for the first
  // step and once more at every change of the step size (the coupled system
  // is factorized as often).
  int CoefficientBuilds() const { return coefficientBuilds_; }

 private:
  double* initialConditions_[3] = {nullptr, nullptr, nullptr};
  int initialConditionCounts_[3] = {0, 0, 0};
  int coefficientBuilds_ = 0;
};
