#include "QVADynHarmonicFrameSolver.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "internal/QVAAssert.h"
#include "internal/QVABlas.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVABlaModule.h"

namespace {

// Diagonal entries of A below this (eigenvalue units) send a frame to the
// full path: D = A^-1 would amplify rounding without bound.
constexpr double kSmallPivot = 0.001;

// Large working arrays that frame solvers of the calling thread gave back,
// kept for the next solver: a series of short solves then does not map and
// fault in new pages for every solve. At most kKeptValues values are kept.
class KeptArrays {
 public:
  static constexpr std::size_t kKeptValues = std::size_t{4} << 20;  // 32 MB

  // `size` values (contents unspecified), from a kept array when one is
  // large enough.
  static std::vector<double> Take(std::size_t size) {
    std::vector<std::vector<double>>& kept = OfThisThread();
    for (auto array = kept.begin(); array != kept.end(); ++array) {
      if (array->capacity() >= size) {
        std::vector<double> taken = std::move(*array);
        kept.erase(array);
        taken.resize(size);
        return taken;
      }
    }
    return std::vector<double>(size);
  }

  // Keeps `array` while the kept arrays stay within kKeptValues.
  static void Give(std::vector<double>& array) {
    std::vector<std::vector<double>>& kept = OfThisThread();
    std::size_t values = array.capacity();
    for (const std::vector<double>& other : kept) values += other.capacity();
    if (array.capacity() > 0 && values <= kKeptValues) kept.push_back(std::move(array));
  }

 private:
  static std::vector<std::vector<double>>& OfThisThread() {
    thread_local std::vector<std::vector<double>> kept;
    return kept;
  }
};

std::size_t Size(int rows, int columns) { return QVAIndex(rows) * QVAIndex(columns); }

// The lower triangle of c <- alpha a a^T + beta c, a n x k (BLAC_DSYRK);
// with k = 0 the lower triangle becomes beta c.
void LowerRankUpdate(int n, int k, double alpha, const double* a, int lda, double beta, double* c,
                     int ldc) {
  if (n <= 0) return;
  if (k <= 0) {
    if (beta == 1.0) return;
    for (int column = 0; column < n; ++column) {
      for (int row = column; row < n; ++row) {
        double& value = c[row + Size(column, ldc)];
        value = beta == 0.0 ? 0.0 : beta * value;
      }
    }
    return;
  }
  const char lower = 'L';
  const char noTranspose = 'N';
  BLAC_DSYRK(&lower, &noTranspose, &n, &k, &alpha, a, &lda, &beta, c, &ldc);
}

// target(i, j) += alpha * matrix(i, j) over the rows and columns of `matrix`
// (the diagonal only for diagonal storage); target has leading dimension ld.
void AddBlock(double* target, int ld, double alpha, const QVASrvMatrix& matrix) {
  const double* values = matrix.Values();
  if (matrix.IsDiagonal()) {
    for (int i = 0; i < matrix.NumberOfRows(); ++i) target[i + Size(i, ld)] += alpha * values[i];
    return;
  }
  const int rows = matrix.NumberOfRows();
  for (int column = 0; column < matrix.NumberOfColumns(); ++column) {
    const double* from = values + Size(column, rows);
    double* to = target + Size(column, ld);
    for (int row = 0; row < rows; ++row) to[row] += alpha * from[row];
  }
}

// to(i) += alpha * matrix(i, column) over the rows of `matrix` (its diagonal
// entry only for diagonal storage).
void AddBlockColumn(double* to, double alpha, const QVASrvMatrix& matrix, int column) {
  const double* values = matrix.Values();
  if (matrix.IsDiagonal()) {
    to[column] += alpha * values[column];
    return;
  }
  const int rows = matrix.NumberOfRows();
  const double* from = values + Size(column, rows);
  for (int row = 0; row < rows; ++row) to[row] += alpha * from[row];
}

// target(i, j) = alpha * matrix(i, j) (transposed: alpha * matrix(j, i)) for
// a matrix in full storage.
void PutBlock(double* target, int ld, double alpha, const QVASrvMatrix& matrix, bool transposed) {
  const double* values = matrix.Values();
  const int rows = matrix.NumberOfRows();
  const int columns = matrix.NumberOfColumns();
  for (int column = 0; column < columns; ++column) {
    for (int row = 0; row < rows; ++row) {
      const double value = alpha * values[row + Size(column, rows)];
      if (transposed) {
        target[column + Size(row, ld)] = value;
      } else {
        target[row + Size(column, ld)] = value;
      }
    }
  }
}

// Rows x columns of `from` (leading dimension ldFrom) times `scale` into `to`.
void CopyScaled(int rows, int columns, const double* from, int ldFrom, double scale, double* to,
                int ldTo) {
  for (int column = 0; column < columns; ++column) {
    for (int row = 0; row < rows; ++row) {
      to[row + Size(column, ldTo)] = scale * from[row + Size(column, ldFrom)];
    }
  }
}

// A matrix of the given order and storage holding zeros, made or reused.
QVASrvMatrix& Workspace(std::unique_ptr<QVASrvMatrix>& slot, int rows, int columns,
                        bool symmetric) {
  if (slot == nullptr || slot->IsSymmetric() != symmetric || slot->NumberOfRows() != rows ||
      slot->NumberOfColumns() != columns) {
    slot = std::make_unique<QVASrvMatrix>(rows, columns, nullptr, symmetric, false);
  } else {
    *slot = 0.0;
  }
  return *slot;
}

// True when row and column k of `stiffness` are exactly zero: a rigid mode.
bool IsRigid(const QVASrvMatrix& stiffness, int k) {
  if (stiffness.IsDiagonal()) return stiffness.Values()[k] == 0.0;
  for (int i = 0; i < stiffness.NumberOfRows(); ++i) {
    if (stiffness(i, k) != 0.0 || stiffness(k, i) != 0.0) return false;
  }
  return true;
}

// Makes row and column `unknown` of `system` those of the identity and the
// unknown's right-hand sides zero: the unknown is solved as 0 and drops out
// of the other equations.
void ExcludeUnknown(QVASrvMatrix& system, QVASrvMatrix& rightHandSide, int unknown) {
  const int order = system.NumberOfRows();
  double* z = system.Values();
  for (int i = 0; i < order; ++i) {
    z[unknown + Size(i, order)] = 0.0;
    z[i + Size(unknown, order)] = 0.0;
  }
  z[unknown + Size(unknown, order)] = 1.0;
  double* rhs = rightHandSide.Values();
  for (int c = 0; c < rightHandSide.NumberOfColumns(); ++c) rhs[unknown + Size(c, order)] = 0.0;
}

void VerifyOperator(const QVASrvMatrix* matrix, int rows, int columns, const char* name) {
  QVA_VERIFY(
      matrix != nullptr, kQVASrvInvalidState,
      "QVADynHarmonicFrameSolver: the modal operators hold no " << name << "; build them first");
  QVA_VERIFY(matrix->NumberOfRows() == rows && matrix->NumberOfColumns() == columns,
             kQVASrvSizeMismatch,
             "QVADynHarmonicFrameSolver: the "
                 << name << " is " << matrix->NumberOfRows() << " x " << matrix->NumberOfColumns()
                 << ", the active modes need " << rows << " x " << columns);
}

}  // namespace

struct QVADynHarmonicFrameSolver::Operators {
  const QVASrvMatrix* stiffness;
  const QVASrvMatrix* mass;
  const QVASrvMatrix* viscous;
  const QVASrvMatrix* structural;
  const QVASrvMatrix* coupling;
  const QVASrvMatrix* acousticStiffness;
  const QVASrvMatrix* acousticMass;
  const QVASrvMatrix* acousticViscous;
  const QVASrvMatrix* acousticStructural;

  bool Symmetric(bool coupled) const {
    const bool structuralSymmetric =
        stiffness->IsSymmetric() && viscous->IsSymmetric() && structural->IsSymmetric();
    if (!coupled) return structuralSymmetric;
    return structuralSymmetric && acousticStiffness->IsSymmetric() &&
           acousticViscous->IsSymmetric();
  }
  // target += alpha (K - omega^2 M), the block of A.
  void AddStiffness(double* target, int ld, double alpha, double omegaSquared) const {
    AddBlock(target, ld, alpha, *stiffness);
    AddBlock(target, ld, -alpha * omegaSquared, *mass);
  }
  // target += B = -(S + omega V).
  void AddDamping(double* target, int ld, double omega) const {
    AddBlock(target, ld, -1.0, *structural);
    AddBlock(target, ld, -omega, *viscous);
  }
  // The structural blocks of the full and static systems, order rows:
  // [A B; B -A] from (0, 0), the block above the diagonal only with `upper`.
  // Right of A is B itself, which is B^T for the symmetric damping of a
  // flagged model.
  void AddStructuralBlocks(double* z, int order, double omega, bool upper) const {
    const int nS = stiffness->NumberOfRows();
    const double omegaSquared = omega * omega;
    AddStiffness(z, order, 1.0, omegaSquared);
    AddDamping(z + nS, order, omega);
    AddStiffness(z + nS + Size(nS, order), order, -1.0, omegaSquared);
    if (upper) AddDamping(z + Size(nS, order), order, omega);
  }
  // target += alpha (K_a - omega^2 M_a), the block of A_a.
  void AddAcousticStiffness(double* target, int ld, double alpha, double omegaSquared) const {
    AddBlock(target, ld, alpha, *acousticStiffness);
    AddBlock(target, ld, -alpha * omegaSquared, *acousticMass);
  }
  // target += B_a = D_a + omega V_a.
  void AddAcousticDamping(double* target, int ld, double omega) const {
    AddBlock(target, ld, 1.0, *acousticStructural);
    AddBlock(target, ld, omega, *acousticViscous);
  }
};

QVADynHarmonicFrameSolver::QVADynHarmonicFrameSolver(Kind kind, const QVADynModalOperators& ops,
                                                     const QVADynLoadCaseList& loads,
                                                     int numberOfFrames, double* output)
    : kind_(kind),
      ops_(ops),
      loads_(loads),
      output_(output),
      numberOfFrames_(numberOfFrames),
      structural_(ops.NumberOfStructuralModes()),
      acoustic_(kind == Kind::kCoupledAcoustic ? ops.NumberOfAcousticModes() : 0),
      modes_(ops.NumberOfActiveModes()),
      cases_(loads.NumberOfCases()) {
  const bool coupled = kind == Kind::kCoupledAcoustic;
  QVA_VERIFY(coupled || ops.NumberOfAcousticModes() == 0, kQVASrvInvalidState,
             "QVADynHarmonicFrameSolver: the structural solve of "
                 << modes_ << " active modes meets " << ops.NumberOfAcousticModes()
                 << " acoustic modes; a modal system with acoustic modes needs its acoustic "
                    "coupling matrix");
  QVA_VERIFY(loads.NumberOfActiveModes() == modes_, kQVASrvSizeMismatch,
             "QVADynHarmonicFrameSolver: the load cases form forces of "
                 << loads.NumberOfActiveModes() << " modes, the operators have " << modes_);
  const Operators op = CurrentOperators();
  VerifyOperator(op.stiffness, structural_, structural_, "stiffness");
  VerifyOperator(op.mass, structural_, structural_, "mass");
  VerifyOperator(op.viscous, structural_, structural_, "viscous damping");
  VerifyOperator(op.structural, structural_, structural_, "structural damping");
  if (coupled) {
    VerifyOperator(op.coupling, acoustic_, structural_, "acoustic coupling");
    QVA_VERIFY(!op.coupling->IsSymmetric(), kQVASrvInvalidState,
               "QVADynHarmonicFrameSolver: the acoustic coupling must be held in full storage");
    VerifyOperator(op.acousticStiffness, acoustic_, acoustic_, "acoustic stiffness");
    VerifyOperator(op.acousticMass, acoustic_, acoustic_, "acoustic mass");
    VerifyOperator(op.acousticViscous, acoustic_, acoustic_, "acoustic viscous damping");
    VerifyOperator(op.acousticStructural, acoustic_, acoustic_, "acoustic structural damping");
  }
  forces_.resize(2 * Size(modes_, cases_));
  inverseDiagonal_.resize(QVAIndex(structural_));
  dampingColumns_ = KeptArrays::Take(Size(structural_, structural_));
  dampingColumnOf_.resize(QVAIndex(structural_));
  dampingColumnScale_.resize(QVAIndex(structural_));
  gathered_.resize(Size(structural_, std::max(cases_, acoustic_)));
  coupling_.resize(Size(acoustic_, structural_));
  couplingWeighted_.resize(Size(structural_, acoustic_));
  imaginaryPart_.resize(Size(structural_, cases_));
}

QVADynHarmonicFrameSolver::~QVADynHarmonicFrameSolver() {
  KeptArrays::Give(dampingColumns_);
  KeptArrays::Give(weightedDamping_);
  KeptArrays::Give(reducedValues_);
}

QVADynHarmonicFrameSolver::Operators QVADynHarmonicFrameSolver::CurrentOperators() const {
  const bool coupled = kind_ == Kind::kCoupledAcoustic;
  return Operators{ops_.Stiffness(),
                   ops_.Mass(),
                   ops_.ViscousDamping(),
                   ops_.StructuralDamping(),
                   coupled ? ops_.Coupling() : nullptr,
                   coupled ? ops_.AcousticStiffness() : nullptr,
                   coupled ? ops_.AcousticMass() : nullptr,
                   coupled ? ops_.AcousticViscousDamping() : nullptr,
                   coupled ? ops_.AcousticStructuralDamping() : nullptr};
}

bool QVADynHarmonicFrameSolver::ReducedPathApplies(const QVASrvMatrix& stiffness,
                                                   const QVASrvMatrix& mass, double omegaSquared) {
  if (!stiffness.IsDiagonal() || !mass.IsDiagonal()) return false;
  const double* lambda = stiffness.Values();
  const double* unit = mass.Values();
  for (int k = 0; k < stiffness.NumberOfRows(); ++k) {
    if (std::fabs(lambda[k] - omegaSquared * unit[k]) < kSmallPivot) return false;
  }
  return true;
}

QVADynHarmonicPath QVADynHarmonicFrameSolver::SolveFrame(int frame, double frequency) {
  QVA_VERIFY(frame >= 0 && frame < numberOfFrames_, kQVASrvIndexOutOfRange,
             "QVADynHarmonicFrameSolver::SolveFrame: frame " << frame << " outside 0 ... "
                                                             << numberOfFrames_ - 1);
  frame_ = frame;
  const bool coupled = kind_ == Kind::kCoupledAcoustic;
  const double omega = kQVATwoPi * frequency;
  const Operators op = CurrentOperators();
  const bool symmetric = op.Symmetric(coupled);
  // An angular frequency below machine epsilon counts as zero, as in the diagonal method.
  if (coupled && !(omega > kQVAMachineEpsilon)) {
    SolveStatic(op, omega);
    return QVADynHarmonicPath::kStatic;
  }
  if ((symmetric || !coupled) && ReducedPathApplies(*op.stiffness, *op.mass, omega * omega)) {
    SolveReduced(op, omega, symmetric);
    return QVADynHarmonicPath::kReduced;
  }
  SolveFull(op, omega, symmetric);
  return QVADynHarmonicPath::kFull;
}

void QVADynHarmonicFrameSolver::FetchForces(int frame) {
  loads_.GetModalForces(forces_.data(), QVADynRealPart, frame);
  loads_.GetModalForces(ImaginaryForces(), QVADynImaginaryPart, frame);
}

void QVADynHarmonicFrameSolver::SolveReduced(const Operators& op, double omega, bool symmetric) {
  const int nS = structural_;
  const int nA = acoustic_;
  const int order = nS + 2 * nA;
  const int m = modes_;
  const double omegaSquared = omega * omega;

  // D = A^-1 (A diagonal), B = -(S + omega V); coupled also P = omega Q and
  // E = D P^T.
  const double* lambda = op.stiffness->Values();
  const double* unit = op.mass->Values();
  double* inverse = inverseDiagonal_.data();
  for (int k = 0; k < nS; ++k) inverse[k] = 1.0 / (lambda[k] - omegaSquared * unit[k]);
  FormDamping(op, omega, symmetric);
  const double* damping = dampingColumns_.data();
  double* coupling = coupling_.data();
  double* couplingWeighted = couplingWeighted_.data();
  if (nA > 0) {
    PutBlock(coupling, nA, omega, *op.coupling, false);
    for (int a = 0; a < nA; ++a) {
      for (int k = 0; k < nS; ++k) {
        couplingWeighted[k + Size(a, nS)] = inverse[k] * coupling[a + Size(k, nA)];
      }
    }
  }

  FetchForces(frame_);
  const double* forceReal = forces_.data();
  const double* forceImaginary = ImaginaryForces();
  QVASrvMatrix& rightHandSide = Workspace(reducedRightHandSide_, order, cases_, false);
  double* rhs = rightHandSide.Values();

  // [f_s - W g_s; g_a / omega - E^T g_s; f_a / omega]
  phaseTimer_.Restart();
  CopyScaled(nS, cases_, forceReal, m, 1.0, rhs, order);
  AddDampingProduct(forceImaginary, m, cases_, true, -1.0, rhs, order);
  if (nA > 0) {
    CopyScaled(nA, cases_, forceImaginary + nS, m, 1.0 / omega, rhs + nS, order);
    QVAGemm('T', 'N', nA, cases_, nS, -1.0, couplingWeighted, nS, forceImaginary, m, 1.0, rhs + nS,
            order);
    CopyScaled(nA, cases_, forceReal + nS, m, 1.0 / omega, rhs + nS + nA, order);
  }
  times_.rhsReduce += static_cast<float>(phaseTimer_.ElapsedSeconds());

  // T, lower blocks: A + W B; P D B; P E - A_a; P; B_a; A_a. With the
  // symmetric flag only the lower triangle is written, all that the
  // factorization reads; the rest of the buffer keeps what earlier frames
  // left.
  phaseTimer_.Restart();
  if (reducedValues_.empty()) reducedValues_ = KeptArrays::Take(Size(order, order));
  QVASrvMatrix reduced(order, order, reducedValues_.data(), symmetric, false);
  double* t = reduced.Values();
  if (symmetric) {
    // W B = B D B = sum_k d_k b_k b_k^T: the scaled columns with d_k > 0
    // added, those with d_k < 0 subtracted, by two rank updates.
    const int positive = positiveDampingColumns_;
    LowerRankUpdate(nS, positive, 1.0, damping, nS, 0.0, t, order);
    LowerRankUpdate(nS, nS - positive, -1.0, damping + Size(positive, nS), nS, 1.0, t, order);
  } else {
    // W = B D, then W B.
    if (weightedDamping_.empty()) weightedDamping_ = KeptArrays::Take(Size(nS, nS));
    double* weighted = weightedDamping_.data();
    for (int k = 0; k < nS; ++k) {
      CopyScaled(nS, 1, damping + Size(k, nS), nS, inverse[k], weighted + Size(k, nS), nS);
    }
    QVAGemm('N', 'N', nS, nS, nS, 1.0, weighted, nS, damping, nS, 0.0, t, order);
  }
  for (int k = 0; k < nS; ++k) t[k + Size(k, order)] += lambda[k] - omegaSquared * unit[k];
  if (nA > 0) {
    // P D B = E^T B = (B E)^T, B symmetric on this path.
    const double* gathered = GatherForDamping(couplingWeighted, nS, nA, false);
    QVAGemm('T', 'T', nA, nS, nS, 1.0, gathered, nS, damping, nS, 0.0, t + nS, order);
    double* middle = t + nS + Size(nS, order);
    QVAGemm('N', 'N', nA, nA, nS, 1.0, coupling, nA, couplingWeighted, nS, 0.0, middle, order);
    op.AddAcousticStiffness(middle, order, -1.0, omegaSquared);
    CopyScaled(nA, nS, coupling, nA, 1.0, t + nS + nA, order);
    for (int column = nS; column < order; ++column) {
      std::fill_n(t + nS + nA + Size(column, order), nA, 0.0);
    }
    op.AddAcousticDamping(t + nS + nA + Size(nS, order), order, omega);
    op.AddAcousticStiffness(t + nS + nA + Size(nS + nA, order), order, 1.0, omegaSquared);
  }
  times_.dgemm += static_cast<float>(phaseTimer_.ElapsedSeconds());

  phaseTimer_.Restart();
  reduced.Factorize();
  times_.factorization += static_cast<float>(phaseTimer_.ElapsedSeconds());
  reduced.ForwardBackwardPass(nullptr, rightHandSide);
  times_.bwdPass += static_cast<float>(phaseTimer_.ElapsedSeconds());

  // Im q = D (g_s + B Re q + P^T u)
  double* imaginary = imaginaryPart_.data();
  CopyScaled(nS, cases_, forceImaginary, m, 1.0, imaginary, nS);
  AddDampingProduct(rhs, order, cases_, false, 1.0, imaginary, nS);
  if (nA > 0) {
    QVAGemm('T', 'N', nS, cases_, nA, 1.0, coupling, nA, rhs + nS, order, 1.0, imaginary, nS);
  }
  for (int c = 0; c < cases_; ++c) {
    for (int k = 0; k < nS; ++k) imaginary[k + Size(c, nS)] *= inverse[k];
  }
  Store(rhs, order, imaginary, nS, rhs + nS + nA, rhs + nS, order, omega, -omega);
  times_.rhsSub += static_cast<float>(phaseTimer_.ElapsedSeconds());
}

void QVADynHarmonicFrameSolver::FormDamping(const Operators& op, double omega, bool symmetric) {
  const int nS = structural_;
  double* columns = dampingColumns_.data();
  dampingScaled_ = symmetric;
  if (!symmetric) {
    std::fill(dampingColumns_.begin(), dampingColumns_.end(), 0.0);
    op.AddDamping(columns, nS, omega);
    return;
  }
  // Column b_k of B, times s_k = sqrt|d_k|, goes to the front (d_k > 0) or
  // the back (d_k < 0) of the array, in one pass over S and V.
  const double* inverse = inverseDiagonal_.data();
  const QVASrvMatrix& viscous = *op.viscous;
  const QVASrvMatrix& structural = *op.structural;
  int positive = 0;
  int negative = nS;
  for (int k = 0; k < nS; ++k) {
    const int column = inverse[k] > 0.0 ? positive++ : --negative;
    const double scale = std::sqrt(std::fabs(inverse[k]));
    dampingColumnOf_[QVAIndex(k)] = column;
    dampingColumnScale_[QVAIndex(k)] = scale;
    double* to = columns + Size(column, nS);
    if (!viscous.IsDiagonal() && !structural.IsDiagonal()) {
      const double* viscousColumn = viscous.Values() + Size(k, nS);
      const double* structuralColumn = structural.Values() + Size(k, nS);
      for (int row = 0; row < nS; ++row) {
        to[row] = -scale * (structuralColumn[row] + omega * viscousColumn[row]);
      }
      continue;
    }
    std::fill_n(to, nS, 0.0);
    AddBlockColumn(to, -scale, structural, k);
    AddBlockColumn(to, -scale * omega, viscous, k);
  }
  positiveDampingColumns_ = positive;
}

const double* QVADynHarmonicFrameSolver::GatherForDamping(const double* x, int ldx, int columns,
                                                          bool weighted) {
  const int nS = structural_;
  const double* inverse = inverseDiagonal_.data();
  double* gathered = gathered_.data();
  QVA_ASSERT(columns >= 0 && Size(columns, nS) <= gathered_.size(), columns, nS, gathered_.size());
  for (int c = 0; c < columns; ++c) {
    const double* from = x + Size(c, ldx);
    double* to = gathered + Size(c, nS);
    for (int k = 0; k < nS; ++k) {
      const double factor = weighted ? inverse[k] : 1.0;
      if (dampingScaled_) {
        const int column = dampingColumnOf_[QVAIndex(k)];
        QVA_ASSERT(column >= 0 && column < nS, k, column, nS);
        to[column] = factor / dampingColumnScale_[QVAIndex(k)] * from[k];
      } else {
        to[k] = factor * from[k];
      }
    }
  }
  return gathered;
}

void QVADynHarmonicFrameSolver::AddDampingProduct(const double* x, int ldx, int columns,
                                                  bool weighted, double alpha, double* target,
                                                  int ldt) {
  const int nS = structural_;
  const double* gathered = GatherForDamping(x, ldx, columns, weighted);
  QVAGemm('N', 'N', nS, columns, nS, alpha, dampingColumns_.data(), nS, gathered, nS, 1.0, target,
          ldt);
}

void QVADynHarmonicFrameSolver::SolveFull(const Operators& op, double omega, bool symmetric) {
  const int nS = structural_;
  const int nA = acoustic_;
  const int order = 2 * (nS + nA);
  const int m = modes_;
  const double omegaSquared = omega * omega;
  // Unknowns [Re q; Im q; u; v] with u = -Im p / omega, v = Re p / omega.
  const int x = 0;
  const int y = nS;
  const int u = 2 * nS;
  const int v = 2 * nS + nA;

  FetchForces(frame_);
  const double* forceReal = forces_.data();
  const double* forceImaginary = ImaginaryForces();

  // Above the diagonal only without the symmetric flag.
  QVASrvMatrix& system = Workspace(fullMatrix_, order, order, symmetric);
  double* z = system.Values();
  const auto block = [&](int row, int column) { return z + row + Size(column, order); };
  op.AddStructuralBlocks(z, order, omega, !symmetric);
  if (nA > 0) {
    PutBlock(block(u, y), order, omega, *op.coupling, false);
    op.AddAcousticStiffness(block(u, u), order, -1.0, omegaSquared);
    PutBlock(block(v, x), order, omega, *op.coupling, false);
    op.AddAcousticDamping(block(v, u), order, omega);
    op.AddAcousticStiffness(block(v, v), order, 1.0, omegaSquared);
    if (!symmetric) {
      PutBlock(block(y, u), order, omega, *op.coupling, true);
      PutBlock(block(x, v), order, omega, *op.coupling, true);
      op.AddAcousticDamping(block(u, v), order, omega);
    }
  }

  // [f_s; -g_s; g_a / omega; f_a / omega]
  QVASrvMatrix& rightHandSide = StructuralRightHandSide(order);
  double* rhs = rightHandSide.Values();
  if (nA > 0) {
    CopyScaled(nA, cases_, forceImaginary + nS, m, 1.0 / omega, rhs + u, order);
    CopyScaled(nA, cases_, forceReal + nS, m, 1.0 / omega, rhs + v, order);
  }
  // Only the structural kind comes here at omega = 0 (the coupled kind takes
  // the static path).
  if (!(omega > kQVAMachineEpsilon)) ExcludeRigidModes(op, system, rightHandSide);
  FactorizeSolveStore(system, rightHandSide, v, u, omega, -omega);
}

void QVADynHarmonicFrameSolver::SolveStatic(const Operators& op, double omega) {
  const int nS = structural_;
  const int nA = acoustic_;
  const int order = 2 * (nS + nA);
  const int m = modes_;
  const double omegaSquared = omega * omega;
  // Unknowns [Re q; Im q; Re p; w] with w = -Im p, rows in the same order:
  //   A x + B y + Q^T Re p = f_s        B x - A y + Q^T w = -g_s
  //   omega^2 Q x + A_a Re p + B_a w = f_a
  //   omega^2 Q y + B_a Re p - A_a w = g_a
  const int x = 0;
  const int y = nS;
  const int pressure = 2 * nS;
  const int w = 2 * nS + nA;

  FetchForces(frame_);
  const double* forceReal = forces_.data();
  const double* forceImaginary = ImaginaryForces();

  QVASrvMatrix& system = Workspace(fullMatrix_, order, order, false);
  double* z = system.Values();
  const auto block = [&](int row, int column) { return z + row + Size(column, order); };
  op.AddStructuralBlocks(z, order, omega, true);
  PutBlock(block(x, pressure), order, 1.0, *op.coupling, true);
  PutBlock(block(y, w), order, 1.0, *op.coupling, true);
  PutBlock(block(pressure, x), order, omegaSquared, *op.coupling, false);
  op.AddAcousticStiffness(block(pressure, pressure), order, 1.0, omegaSquared);
  op.AddAcousticDamping(block(pressure, w), order, omega);
  PutBlock(block(w, y), order, omegaSquared, *op.coupling, false);
  op.AddAcousticDamping(block(w, pressure), order, omega);
  op.AddAcousticStiffness(block(w, w), order, -1.0, omegaSquared);

  // [f_s; -g_s; f_a; g_a]
  QVASrvMatrix& rightHandSide = StructuralRightHandSide(order);
  double* rhs = rightHandSide.Values();
  CopyScaled(nA, cases_, forceReal + nS, m, 1.0, rhs + pressure, order);
  CopyScaled(nA, cases_, forceImaginary + nS, m, 1.0, rhs + w, order);
  ExcludeRigidModes(op, system, rightHandSide);
  FactorizeSolveStore(system, rightHandSide, pressure, w, 1.0, -1.0);
}

void QVADynHarmonicFrameSolver::ExcludeRigidModes(const Operators& op, QVASrvMatrix& system,
                                                  QVASrvMatrix& rightHandSide) {
  const int nS = structural_;
  const int nA = acoustic_;
  for (int k = 0; k < nS; ++k) {
    if (!IsRigid(*op.stiffness, k)) continue;
    ExcludeUnknown(system, rightHandSide, k);
    ExcludeUnknown(system, rightHandSide, nS + k);
  }
  for (int a = 0; a < nA; ++a) {
    if (!IsRigid(*op.acousticStiffness, a)) continue;
    ExcludeUnknown(system, rightHandSide, 2 * nS + a);
    ExcludeUnknown(system, rightHandSide, 2 * nS + nA + a);
  }
}

QVASrvMatrix& QVADynHarmonicFrameSolver::StructuralRightHandSide(int order) {
  QVASrvMatrix& rightHandSide = Workspace(fullRightHandSide_, order, cases_, false);
  double* rhs = rightHandSide.Values();
  const double* forceReal = forces_.data();
  const double* forceImaginary = ImaginaryForces();
  CopyScaled(structural_, cases_, forceReal, modes_, 1.0, rhs, order);
  CopyScaled(structural_, cases_, forceImaginary, modes_, -1.0, rhs + structural_, order);
  return rightHandSide;
}

void QVADynHarmonicFrameSolver::FactorizeSolveStore(QVASrvMatrix& system,
                                                    QVASrvMatrix& rightHandSide,
                                                    int realAcousticRow, int imaginaryAcousticRow,
                                                    double realScale, double imaginaryScale) {
  const int order = system.NumberOfRows();
  const double* rhs = rightHandSide.Values();
  phaseTimer_.Restart();
  system.Factorize();
  times_.factorization += static_cast<float>(phaseTimer_.ElapsedSeconds());
  system.ForwardBackwardPass(nullptr, rightHandSide);
  times_.bwdPass += static_cast<float>(phaseTimer_.ElapsedSeconds());
  Store(rhs, order, rhs + structural_, order, rhs + realAcousticRow, rhs + imaginaryAcousticRow,
        order, realScale, imaginaryScale);
  if (kind_ == Kind::kCoupledAcoustic) {
    times_.rhsSub += static_cast<float>(phaseTimer_.ElapsedSeconds());
  }
}

void QVADynHarmonicFrameSolver::Store(const double* realStructural, int realLd,
                                      const double* imaginaryStructural, int imaginaryLd,
                                      const double* realAcoustic, const double* imaginaryAcoustic,
                                      int acousticLd, double acousticRealScale,
                                      double acousticImaginaryScale) {
  QVA_ASSERT(frame_ >= 0 && frame_ < numberOfFrames_ && structural_ + acoustic_ == modes_, frame_,
             numberOfFrames_, structural_, acoustic_, modes_);
  const std::size_t partSize = Size(modes_, numberOfFrames_);
  const std::size_t frameOffset = Size(frame_, modes_);
  for (int c = 0; c < cases_; ++c) {
    double* real = output_ + 2 * partSize * QVAIndex(c) + frameOffset;
    double* imaginary = real + partSize;
    const double* fromReal = realStructural + Size(c, realLd);
    const double* fromImaginary = imaginaryStructural + Size(c, imaginaryLd);
    std::copy_n(fromReal, structural_, real);
    std::copy_n(fromImaginary, structural_, imaginary);
    for (int a = 0; a < acoustic_; ++a) {
      real[structural_ + a] = acousticRealScale * realAcoustic[a + Size(c, acousticLd)];
      imaginary[structural_ + a] =
          acousticImaginaryScale * imaginaryAcoustic[a + Size(c, acousticLd)];
    }
  }
}
