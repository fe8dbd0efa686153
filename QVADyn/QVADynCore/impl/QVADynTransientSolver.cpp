#include "QVADyn/QVADynCore/QVADynTransientSolver.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "QVADynBoundary.h"
#include "QVADynTransientCoefficients.h"
#include "QVADynTransientStepKernel.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVABlaModule.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

constexpr int kCoefficientsPerMode = 8;
constexpr int kWorkCoefficientsPerMode = 7;

struct ArrayRelease {
  void operator()(void* values) const noexcept { mem_Free(values); }
};
using Array = std::unique_ptr<double[], ArrayRelease>;

Array AllocateArray(std::size_t count) { return Array(mem_AllocArray<double>(count)); }
Array AllocateZeroedArray(std::size_t count) {
  Array values = AllocateArray(count);
  std::fill_n(values.get(), count, 0.0);
  return values;
}

// Increment of the step that starts at `frame`: the third value, the second
// where the third is exactly 0.0.
double StepSize(const QVADynFrameValue& frame) {
  return frame.third != 0.0 ? frame.third : frame.second;
}

// The assembled modal damping: c, the diagonal of every mode, and for damping
// that couples the modes the rest of the matrix, Zo (zero diagonal, full
// storage); Zo is null when the damping is diagonal.
struct AssembledDamping {
  Array diagonal;
  std::unique_ptr<QVASrvMatrix> offDiagonal;
};

// Z = Z0 + Z1 with the structural damping Z1 turned into viscous damping at
// the natural frequencies, Z1(i, j) / sqrt(omega_i omega_j), for modes whose
// eigenvalue is not below the classification tolerance (zero for the others).
AssembledDamping AssembleDamping(const QVADynModalOperators& ops, const double* lambda, int m) {
  const double epsilon = QVADynTransientEpsilon();
  const QVASrvMatrix viscous(*ops.ViscousDamping());
  QVASrvMatrix structural(*ops.StructuralDamping());
  // 1 / omega of every mode with a stiffness, 0.0 for the others.
  auto inverseOmega = [&](int k) {
    const double clipped = lambda[k] < epsilon ? 0.0 : lambda[k];
    return clipped > 0.0 ? 1.0 / std::sqrt(std::fabs(clipped)) : 0.0;
  };
  if (structural.IsDiagonal()) {
    double* values = structural.Values();
    for (int k = 0; k < m; ++k) values[k] *= inverseOmega(k);
  } else {
    QVASrvMatrix scale(m, m, nullptr, true, true);
    for (int k = 0; k < m; ++k) scale(k, k) = std::sqrt(inverseOmega(k));
    QVASrvMatrix scaledRows(m, m);
    scaledRows.Multiply(scale, structural);
    structural.Multiply(scaledRows, scale);
  }
  const bool diagonal = viscous.IsDiagonal() && structural.IsDiagonal();
  QVASrvMatrix damping(m, m, nullptr, diagonal, diagonal);
  damping = 0.0;
  damping.Add(1.0, viscous);
  damping.Add(1.0, structural);

  AssembledDamping assembled;
  assembled.diagonal = AllocateArray(QVAIndex(m));
  if (diagonal) {
    std::copy_n(damping.Values(), m, assembled.diagonal.get());
    return assembled;
  }
  for (int k = 0; k < m; ++k) {
    assembled.diagonal[QVAIndex(k)] = damping(k, k);
    damping(k, k) = 0.0;
  }
  assembled.offDiagonal = std::make_unique<QVASrvMatrix>(damping);
  return assembled;
}

// The step and work coefficients of every mode for the current step size.
class CoefficientTable {
 public:
  CoefficientTable(int m, const double* lambda, const double* damping, bool damped, bool work)
      : m_(m),
        lambda_(lambda),
        damping_(damping),
        damped_(damped),
        table_(AllocateZeroedArray(QVAIndex(kCoefficientsPerMode) * m)),
        work_(work ? AllocateZeroedArray(QVAIndex(kWorkCoefficientsPerMode) * m) : Array()) {}

  void Build(double stepSize) {
    stepSize_ = stepSize;
    QVADynBuildCoefficientTable(m_, lambda_, damping_, stepSize, damped_, table_.get(),
                                work_.get());
    ++builds_;
  }

  double StepSize() const { return stepSize_; }
  int Builds() const { return builds_; }
  const double* Table() const { return table_.get(); }
  // Coefficient `index` (0 A ... 7 H) of every mode.
  const double* Row(int index) const { return table_.get() + QVAIndex(index) * m_; }
  const double* Work() const { return work_.get(); }

 private:
  int m_;
  const double* lambda_;
  const double* damping_;
  bool damped_;
  Array table_;
  Array work_;
  double stepSize_ = 0.0;
  int builds_ = 0;
};

// The implicit part of a step with damping that couples the modes: the
// system M = I + diag(H) Zo, factorized once per step size, and the damping
// forces Zo v moved to the load side.
class CoupledDamping {
 public:
  CoupledDamping(int m, int cases, const QVASrvMatrix& offDiagonal)
      : m_(m),
        cases_(cases),
        offDiagonal_(offDiagonal),
        system_(m, m),
        pivots_(mem_AllocArray<int>(QVAIndex(m))) {}
  CoupledDamping(const CoupledDamping&) = delete;
  CoupledDamping& operator=(const CoupledDamping&) = delete;
  ~CoupledDamping() { mem_Free(pivots_); }

  // M(i, j) = Zo(i, j) H_i + delta_ij, LU-factorized with pivoting (dgetrf).
  void Factorize(const double* velocityLoadCoefficient) {
    system_ = offDiagonal_;
    double* values = system_.Values();
    for (int column = 0; column < m_; ++column) {
      double* entries = values + QVAIndex(column) * m_;
      for (int row = 0; row < m_; ++row) entries[row] *= velocityLoadCoefficient[row];
      entries[column] += 1.0;
    }
    std::fill_n(pivots_, m_, 0);
    system_.Factorize(pivots_);
  }

  // velocity (m x cases) <- M^-1 velocity (dgetrs, every load case at once).
  void SolveVelocity(double* velocity) const {
    QVASrvMatrix rightHandSides(m_, cases_, velocity);
    system_.ForwardBackwardPass(pivots_, rightHandSides, 0);
  }

  // forces (m x cases) <- forces - Zo velocity (dgemm).
  void SubtractDampingForces(const double* velocity, double* forces) const {
    const char noTranspose = 'N';
    const double minusOne = -1.0;
    const double one = 1.0;
    BLAC_DGEMM(&noTranspose, &noTranspose, &m_, &cases_, &m_, &minusOne, offDiagonal_.Values(), &m_,
               velocity, &m_, &one, forces, &m_);
  }

 private:
  int m_;
  int cases_;
  const QVASrvMatrix& offDiagonal_;
  QVASrvMatrix system_;
  int* pivots_;
};

// One coupled step for `blocks` blocks of m modes: the velocity predictor
// into v1, the implicit velocity, the damping forces of the new velocity
// subtracted from f1, then displacement and acceleration with that load.
void AdvanceCoupledModes(int m, int blocks, const CoefficientTable& table, const double* lambda,
                         const double* damping, const CoupledDamping& coupling, const double* u0,
                         const double* v0, const double* f0, double* f1, double* u1, double* v1,
                         double* a1) {
  const std::size_t modes = QVAIndex(m);
  const double *A = table.Row(0), *B = table.Row(1), *C = table.Row(2), *D = table.Row(3);
  const double *E = table.Row(4), *F = table.Row(5), *G = table.Row(6), *H = table.Row(7);
  for (std::size_t first = 0; first < modes * blocks; first += modes) {
    for (std::size_t k = 0; k < modes; ++k) {
      const std::size_t i = first + k;
      v1[i] = E[k] * u0[i] + F[k] * v0[i] + G[k] * f0[i] + H[k] * f1[i];
    }
  }
  coupling.SolveVelocity(v1);
  coupling.SubtractDampingForces(v1, f1);
  for (std::size_t first = 0; first < modes * blocks; first += modes) {
    for (std::size_t k = 0; k < modes; ++k) {
      const std::size_t i = first + k;
      u1[i] = A[k] * u0[i] + B[k] * v0[i] + C[k] * f0[i] + D[k] * f1[i];
      a1[i] = f1[i] - damping[k] * v1[i] - lambda[k] * u1[i];
    }
  }
}

// Work of the linearly varying load f0 -> f1 over a step of `stepSize` on the
// modes (u0, v0) of load case 0, per mode into modalWork (may be null) and
// summed into *totalWork (may be null). A step of zero length does no work.
void AddStepWork(int m, const double* workTable, double stepSize, const double* u0,
                 const double* v0, const double* f0, const double* f1, double* modalWork,
                 double* totalWork) {
  double total = 0.0;
  for (int k = 0; k < m; ++k) {
    double work = 0.0;
    if (stepSize != 0.0) {
      const double* W = workTable + QVAIndex(kWorkCoefficientsPerMode) * k;
      const double slope = (f1[k] - f0[k]) / stepSize;
      work = f0[k] * (W[0] * u0[k] + W[1] * v0[k] + W[2] * slope + W[3] * f0[k]) +
             slope * (W[4] * u0[k] + W[5] * v0[k] + W[6] * slope);
    }
    if (modalWork != nullptr) modalWork[k] = work;
    total += work;
  }
  if (totalWork != nullptr) *totalWork += total;
}

// Kinetic energy v^2/2 and strain energy lambda u^2/2 of every value of the
// arrays, per mode and summed per frame and load case, into the requested
// arrays of `energy`.
void StoreEnergies(QVADynEnergy& energy, int m, std::size_t blocks, const double* lambda,
                   const double* displacement, const double* velocity) {
  double* kinetic = energy.Array(QVADynEnergyKE);
  double* strain = energy.Array(QVADynEnergySE);
  double* totalKinetic = energy.Array(QVADynEnergyAllKE);
  double* totalStrain = energy.Array(QVADynEnergyAllSE);
  if (kinetic == nullptr && strain == nullptr && totalKinetic == nullptr &&
      totalStrain == nullptr) {
    return;
  }
  const std::size_t modes = QVAIndex(m);
  for (std::size_t block = 0; block < blocks; ++block) {
    double kineticSum = 0.0;
    double strainSum = 0.0;
    for (std::size_t k = 0; k < modes; ++k) {
      const std::size_t i = block * modes + k;
      const double kineticEnergy = 0.5 * velocity[i] * velocity[i];
      const double strainEnergy = 0.5 * lambda[k] * displacement[i] * displacement[i];
      if (kinetic != nullptr) kinetic[i] = kineticEnergy;
      if (strain != nullptr) strain[i] = strainEnergy;
      kineticSum += kineticEnergy;
      strainSum += strainEnergy;
    }
    if (totalKinetic != nullptr) totalKinetic[block] += kineticSum;
    if (totalStrain != nullptr) totalStrain[block] += strainSum;
  }
}

}  // namespace

QVADynTransientSolver::QVADynTransientSolver() = default;

QVADynTransientSolver::~QVADynTransientSolver() {
  for (double* values : initialConditions_) mem_Free(values);
}

void QVADynTransientSolver::SetInitialCondition(QVADynRecoveryType type, int count,
                                                const double* values) try {
  if (type != QVADynRecoverDisplacement && type != QVADynRecoverVelocity &&
      type != QVADynRecoverAcceleration) {
    return;
  }
  QVA_VERIFY(count >= 0, kQVABasInvalidArgument,
             "QVADynTransientSolver::SetInitialCondition: negative number of values " << count);
  QVA_VERIFY(count == 0 || values != nullptr, kQVABasInvalidArgument,
             "QVADynTransientSolver::SetInitialCondition: no values for " << count << " entries");
  double* copy = mem_AllocArray<double>(QVAIndex(count));
  std::copy_n(values, count, copy);
  mem_Free(initialConditions_[type]);
  initialConditions_[type] = copy;
  initialConditionCounts_[type] = count;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientSolver::SetInitialCondition");
}

QVADynSolution& QVADynTransientSolver::Solve(QVADynSolution& out, const QVADynModalOperators& ops,
                                             int numberOfFrames, const QVADynFrameValue* frames,
                                             QVADynEnergy* energy, const QVADynLoadCaseList& loads,
                                             QVADynLogFile /*log*/) try {
  const int m = ops.NumberOfActiveModes();
  const int cases = loads.NumberOfCases();
  const QVASrvMatrix* stiffness = ops.Stiffness();
  QVA_VERIFY(numberOfFrames >= 1 && frames != nullptr, kQVABasInvalidArgument,
             "QVADynTransientSolver::Solve: " << numberOfFrames
                                              << " frames; the transient solve needs at least one");
  QVA_VERIFY(stiffness != nullptr && stiffness->NumberOfRows() == m, kQVABasInvalidArgument,
             "QVADynTransientSolver::Solve: the operators have "
                 << (stiffness != nullptr ? stiffness->NumberOfRows() : 0)
                 << " structural modes of " << m
                 << " active modes; the transient solver integrates structural modes only");
  // Frames 0 ... n-2 start the steps; the increment of the last frame is not used.
  for (int frame = 0; frame + 1 < numberOfFrames; ++frame) {
    const double stepSize = StepSize(frames[frame]);
    QVA_VERIFY(std::isfinite(stepSize) && stepSize > 0.0, kQVABasInvalidArgument,
               "QVADynTransientSolver::Solve: frame "
                   << frame << " has the time increment " << stepSize
                   << "; pass a finite positive increment to the next frame (third value, or the "
                      "second where the third is 0)");
  }
  const std::size_t frameSize = QVAIndex(m) * cases;
  for (int type = 0; type < 3; ++type) {
    QVA_VERIFY(
        initialConditions_[type] == nullptr || QVAIndex(initialConditionCounts_[type]) >= frameSize,
        kQVABasInvalidArgument,
        "QVADynTransientSolver::Solve: initial condition "
            << type << " holds " << initialConditionCounts_[type] << " values, " << m << " modes x "
            << cases << " load cases need " << frameSize);
  }
  coefficientBuilds_ = 0;

  // Results, frame 0 from the initial conditions.
  const std::size_t total = frameSize * QVAIndex(numberOfFrames);
  Array results[3] = {AllocateArray(total), AllocateArray(total), AllocateArray(total)};
  for (int type = 0; type < 3; ++type) {
    if (initialConditions_[type] != nullptr) {
      std::copy_n(initialConditions_[type], frameSize, results[type].get());
    } else {
      std::fill_n(results[type].get(), frameSize, 0.0);
    }
  }
  double* displacement = results[0].get();
  double* velocity = results[1].get();
  double* acceleration = results[2].get();

  Array lambda = AllocateArray(QVAIndex(m));
  for (int k = 0; k < m; ++k) lambda[QVAIndex(k)] = (*stiffness)(k, k);
  const bool damped = ops.IsDamped();
  AssembledDamping damping;
  if (damped) damping = AssembleDamping(ops, lambda.get(), m);
  const double* dampingDiagonal = damping.diagonal.get();

  const bool wantsWork = energy != nullptr && energy->WantsWork();
  double* modalWork = wantsWork ? energy->Array(QVADynEnergyWork) : nullptr;
  double* totalWork = wantsWork ? energy->Array(QVADynEnergyAllWork) : nullptr;
  if (modalWork != nullptr) std::fill_n(modalWork, energy->Length(QVADynEnergyWork), 0.0);

  CoefficientTable table(m, lambda.get(), dampingDiagonal, damped, wantsWork);
  table.Build(StepSize(frames[0]));

  Array forcePrevious = AllocateArray(frameSize);
  Array forceNext = AllocateArray(frameSize);
  loads.GetModalForces(forcePrevious.get(), QVADynRealPart, 0);

  std::unique_ptr<CoupledDamping> coupling;
  if (damping.offDiagonal) {
    coupling = std::make_unique<CoupledDamping>(m, cases, *damping.offDiagonal);
    coupling->Factorize(table.Row(7));
    coupling->SubtractDampingForces(velocity, forcePrevious.get());
  }

  for (int n = 1; n < numberOfFrames; ++n) {
    const std::size_t start = frameSize * QVAIndex(n - 1);
    const std::size_t end = start + frameSize;
    loads.GetModalForces(forceNext.get(), QVADynRealPart, n);
    if (coupling) {
      AdvanceCoupledModes(m, cases, table, lambda.get(), dampingDiagonal, *coupling,
                          displacement + start, velocity + start, forcePrevious.get(),
                          forceNext.get(), displacement + end, velocity + end, acceleration + end);
    } else {
      QVADynAdvanceUncoupledModes(m, cases, table.Table(), lambda.get(), dampingDiagonal,
                                  displacement + start, velocity + start, forcePrevious.get(),
                                  forceNext.get(), displacement + end, velocity + end,
                                  acceleration + end);
    }
    if (wantsWork) {
      AddStepWork(m, table.Work(), table.StepSize(), displacement + start, velocity + start,
                  forcePrevious.get(), forceNext.get(),
                  modalWork != nullptr ? modalWork + QVAIndex(n) * m : nullptr,
                  totalWork != nullptr ? totalWork + n : nullptr);
    }
    std::swap(forcePrevious, forceNext);
    if (n + 1 < numberOfFrames) {
      const double stepSize = StepSize(frames[n]);
      if (stepSize != table.StepSize()) {
        table.Build(stepSize);
        if (coupling) coupling->Factorize(table.Row(7));
      }
    }
  }
  coupling.reset();
  coefficientBuilds_ = table.Builds();

  if (energy != nullptr) {
    StoreEnergies(*energy, m, QVAIndex(cases) * numberOfFrames, lambda.get(), displacement,
                  velocity);
  }
  out.Adopt(results[0].release(), results[1].release(), results[2].release());
  return out;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynTransientSolver::Solve");
}
