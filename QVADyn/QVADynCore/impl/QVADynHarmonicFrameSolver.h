#pragma once

// One frequency of a harmonic solve whose modes do not decouple: a damping
// matrix is full, an operator update changes the operators per frequency, or
// acoustic modes are coupled to the structure. With A = K - omega^2 M,
// B = -(S + omega V), A_a = K_a - omega^2 M_a and B_a = D_a + omega V_a, the
// complex equations of the structural kind are
//
//   (A - i B) q = f + i g,
//
// and those of the coupled kind (coupling Q, nA x nS, P = omega Q)
//
//   (A - i B) q + Q^T p        = f_s + i g_s,
//   omega^2 Q q + (A_a + i B_a) p = f_a + i g_a,
//
// q the structural and p the acoustic modal amplitudes. Each frame is solved
// as one real system for all load cases together, on one of three paths:
//
//   reduced  K diagonal, no |A_kk| < 0.001 (and, coupled, every operator
//            flagged symmetric): Im q is eliminated through D = A^-1, leaving
//            T = A + B D B of order nS (nS + 2 nA coupled, unknowns
//            [Re q; -Im p / omega; Re p / omega]);
//   full     otherwise: the real system of order 2 nS (2 (nS + nA));
//   static   coupled at omega <= 2.22e-16, where the scaling by 1/omega of
//            the other two breaks down: the unscaled real system of order
//            2 (nS + nA), unknowns [Re q; Im q; Re p; -Im p].
//
// At omega <= 2.22e-16 a rigid mode, structural or acoustic, whose stiffness
// row and column are exactly zero, gets zero response (as the diagonal
// method gives it): its unknowns are taken out of the real system, which is
// solved for the other modes.
//
// Worked value, one structural mode, lambda = 400, V = 2, S = 0, f = 1 Hz,
// F = 1: A = 360.522, B = -12.566; the reduced path gives T = A + B^2 / A =
// 360.960, Re q = 1 / T = 0.0027704 and Im q = D (0 + B Re q) = -0.0000966,
// which is 1 / (A - i B).
//
// The solver allocates its working arrays once per solve, the large ones of
// the reduced path from those that earlier solvers of the thread gave back;
// matrices of a path are made the first time a frame takes it. It writes the amplitudes of each
// frame into the output of the harmonic solver (per load case c a block of
// 2 m F doubles from c 2 m F: real parts frame by frame, then imaginary parts;
// structural modes first, acoustic modes after) and sums the time of its
// phases.

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvMatrix.h"

// The real system one frame was solved with.
enum class QVADynHarmonicPath { kReduced, kFull, kStatic };

// Seconds of the phases of a solve, summed over its frames in single
// precision, as the solve log reports them.
struct QVADynHarmonicPhaseTimes {
  float factorization = 0.0f;
  float dgemm = 0.0f;
  float projection = 0.0f;
  float rhsReduce = 0.0f;
  float bwdPass = 0.0f;
  float rhsSub = 0.0f;
};

class QVADynHarmonicFrameSolver {
 public:
  enum class Kind { kStructural, kCoupledAcoustic };

  // Keeps `ops`, `loads` and `output` (2 m N F doubles, m active modes,
  // N load cases, F = numberOfFrames), none owned; all must outlive the
  // solver. Raises QVABasError (kQVASrvInvalidState) when the operators are
  // not built, when the structural kind meets acoustic modes (their coupling
  // matrix is missing) or the coupled kind meets a model without coupling,
  // and (kQVASrvSizeMismatch) when an operator or the load cases do not
  // have the sizes of the active modes.
  QVADynHarmonicFrameSolver(Kind kind, const QVADynModalOperators& ops,
                            const QVADynLoadCaseList& loads, int numberOfFrames, double* output);
  QVADynHarmonicFrameSolver(const QVADynHarmonicFrameSolver&) = delete;
  QVADynHarmonicFrameSolver& operator=(const QVADynHarmonicFrameSolver&) = delete;
  ~QVADynHarmonicFrameSolver();

  // Solves frame `frame` (0 <= frame < F) at `frequency` cycles per unit
  // time with the operators as they stand and writes its amplitudes of every
  // load case; returns the path taken. The symmetric flag is taken from the
  // operators of this frame: with it the real systems are symmetric
  // (dsytrf), without it general (dgetrf). Raises QVABasError
  // (kQVASrvSingularMatrix) when the real system is singular, and as
  // QVADynLoadCaseList::GetModalForces.
  QVADynHarmonicPath SolveFrame(int frame, double frequency);

  // The phase figures so far; the caller adds the projection time.
  QVADynHarmonicPhaseTimes& Times() { return times_; }

  // True when a frame at omega^2 = `omegaSquared` may take the reduced path:
  // `stiffness` and `mass` are held diagonal and the entries
  // A_kk = K_kk - omega^2 M_kk, examined from k = 0, hold no |A_kk| < 0.001.
  // With ascending eigenvalues only the entries up to the first A_kk > 0 can
  // be small; every entry is examined so that an active-mode list in any
  // order is safe.
  static bool ReducedPathApplies(const QVASrvMatrix& stiffness, const QVASrvMatrix& mass,
                                 double omegaSquared);

 private:
  // The operators of the current frame, read afresh because an operator
  // update may have replaced their values or storage.
  struct Operators;

  Operators CurrentOperators() const;
  void FetchForces(int frame);
  double* ImaginaryForces() { return forces_.data() + forces_.size() / 2; }
  // B = -(S + omega V) into dampingColumns_: as it is without the symmetric
  // flag; with it, column b_k scaled by s_k = sqrt|d_k| (d_k = D_kk), the
  // columns with d_k > 0 first, so that B D B = sum_k d_k b_k b_k^T is two
  // symmetric rank updates.
  void FormDamping(const Operators& op, double omega, bool symmetric);
  // The columns x_k of x (nS rows, leading dimension ldx), times d_k when
  // `weighted`, arranged so that dampingColumns_ times them is B x (B D x):
  // divided by s_k and moved to b_k's column when the damping is scaled.
  const double* GatherForDamping(const double* x, int ldx, int columns, bool weighted);
  // target += alpha B x, or alpha B D x when `weighted`.
  void AddDampingProduct(const double* x, int ldx, int columns, bool weighted, double alpha,
                         double* target, int ldt);
  void SolveReduced(const Operators& op, double omega, bool symmetric);
  void SolveFull(const Operators& op, double omega, bool symmetric);
  void SolveStatic(const Operators& op, double omega);
  // Takes the unknowns of the rigid modes out of `system` (order 2 m,
  // unknowns [Re q; Im q] and, coupled, [Re p; -Im p]) and `rightHandSide`:
  // they are solved as 0 and drop out of the other equations.
  void ExcludeRigidModes(const Operators& op, QVASrvMatrix& system, QVASrvMatrix& rightHandSide);
  // The right-hand side of the full and static systems (order rows, N
  // columns) with [f_s; -g_s] in its first 2 nS rows.
  QVASrvMatrix& StructuralRightHandSide(int order);
  // Factorizes `system`, solves for `rightHandSide`, whose first 2 nS rows
  // then hold [Re q; Im q], and stores the amplitudes, the acoustic ones as
  // realScale times row realAcousticRow + a and imaginaryScale times row
  // imaginaryAcousticRow + a; times the factorization, BwdPass and (coupled)
  // RhsSub phases.
  void FactorizeSolveStore(QVASrvMatrix& system, QVASrvMatrix& rightHandSide, int realAcousticRow,
                           int imaginaryAcousticRow, double realScale, double imaginaryScale);
  // Writes Re q, Im q (nS rows, leading dimensions given) and Re p, Im p
  // (nA rows) of every load case at the current frame.
  void Store(const double* realStructural, int realLd, const double* imaginaryStructural,
             int imaginaryLd, const double* realAcoustic, const double* imaginaryAcoustic,
             int acousticLd, double acousticRealScale, double acousticImaginaryScale);

  Kind kind_;
  const QVADynModalOperators& ops_;
  const QVADynLoadCaseList& loads_;
  double* output_;
  int numberOfFrames_;
  int structural_;  // nS
  int acoustic_;    // nA (0 for the structural kind)
  int modes_;       // m = nS + nA
  int cases_;       // N
  int frame_ = 0;

  // Modal forces of all load cases at the frame: m x N real parts, then
  // m x N imaginary parts.
  std::vector<double> forces_;
  // Reduced path: D (nS); B or its scaled columns (nS x nS, see
  // FormDamping) with the column and scale of each b_k and the number of
  // columns with d_k > 0; W = B D without the symmetric flag (nS x nS);
  // the gathered operand of a product with B (nS x max(N, nA));
  // P = omega Q (nA x nS), E = D P^T (nS x nA), Im q (nS x N).
  std::vector<double> inverseDiagonal_;
  std::vector<double> dampingColumns_;
  std::vector<int> dampingColumnOf_;
  std::vector<double> dampingColumnScale_;
  int positiveDampingColumns_ = 0;
  bool dampingScaled_ = false;
  std::vector<double> weightedDamping_;
  std::vector<double> gathered_;
  std::vector<double> coupling_;
  std::vector<double> couplingWeighted_;
  std::vector<double> imaginaryPart_;
  // The reduced matrix's values (factorized through a view each frame), the
  // full matrix and the right-hand sides, made by the first frame that needs
  // them.
  std::vector<double> reducedValues_;
  std::unique_ptr<QVASrvMatrix> reducedRightHandSide_;
  std::unique_ptr<QVASrvMatrix> fullMatrix_;
  std::unique_ptr<QVASrvMatrix> fullRightHandSide_;

  omi_Timer phaseTimer_;
  QVADynHarmonicPhaseTimes times_;
};
