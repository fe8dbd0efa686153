#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

namespace {

// Stands in for the infinite response of an undamped mode at resonance.
constexpr double kInfiniteResponse = 1.0e36;
// Modes handled together in the inner loops.
constexpr int kModesPerStep = 4;
// Receptance values (per part) of one block of frames: 64 KB each part.
constexpr int kReceptanceBlockValues = 8192;

struct ArrayRelease {
  void operator()(double* values) const noexcept { mem_Free(values); }
};
using Array = std::unique_ptr<double[], ArrayRelease>;

Array AllocateArray(std::size_t count) { return Array(mem_AllocArray<double>(count)); }

// The terms of one frequency shared by every mode. Below kQVAMachineEpsilon
// an angular frequency counts as zero and a modal stiffness term
// lambda - omega^2 of an undamped mode as resonance.
struct Frequency {
  explicit Frequency(double cyclesPerUnitTime)
      : omega(kQVATwoPi * cyclesPerUnitTime),
        omegaSquared(omega * omega),
        nonZero(omega > kQVAMachineEpsilon) {}
  double omega;
  double omegaSquared;
  bool nonZero;
};

// Receptance H = 1 / (lambda - omega^2 + i (omega c + s)) of one mode:
//   lambda exactly 0 at omega counting as 0: H = 0;
//   b = omega c + s exactly 0: H = 1 / a, or -1e36 when |a| < 2.22e-16;
//   otherwise H = (a - i b) / (a^2 + b^2), a = lambda - omega^2.
// Every case is computed and the result selected, with the divisor 1.0 where
// it is not used, exactly as the two-lane form below does.
inline void ModeReceptance(double lambda, double viscous, double structural,
                           const Frequency& frequency, double& real, double& imaginary) {
  const double a = lambda - frequency.omegaSquared;
  const double b = frequency.omega * viscous + structural;
  const bool undamped = b == 0.0;
  const bool small = std::fabs(a) < kQVAMachineEpsilon;
  const bool resonant = undamped && small;
  const bool atRest = lambda == 0.0 && !frequency.nonZero;
  const double divisor = resonant ? 1.0 : (undamped ? a : b * b + a * a);
  const double inverse = 1.0 / divisor;
  const double dampedReal = inverse * a;
  const double dampedImaginary = -inverse * b;
  const double undampedReal = resonant ? -kInfiniteResponse : inverse;
  real = atRest ? 0.0 : (undamped ? undampedReal : dampedReal);
  imaginary = atRest || undamped ? 0.0 : dampedImaginary;
}

#if defined(__SSE2__)
// Lane-wise selection: mask ? whenSet : otherwise.
inline __m128d Select(__m128d mask, __m128d whenSet, __m128d otherwise) {
  return _mm_or_pd(_mm_and_pd(mask, whenSet), _mm_andnot_pd(mask, otherwise));
}

// ModeReceptance of modes k and k + 1 with the same operations, lane by lane.
inline void PairReceptance(const double* lambda, const double* viscous, const double* structural,
                           const Frequency& frequency, double* real, double* imaginary) {
  const __m128d zero = _mm_setzero_pd();
  const __m128d signBit = _mm_set1_pd(-0.0);
  const __m128d eigenvalue = _mm_loadu_pd(lambda);
  const __m128d a = _mm_sub_pd(eigenvalue, _mm_set1_pd(frequency.omegaSquared));
  const __m128d b = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(frequency.omega), _mm_loadu_pd(viscous)),
                               _mm_loadu_pd(structural));
  const __m128d undamped = _mm_cmpeq_pd(b, zero);
  const __m128d resonant = _mm_and_pd(
      undamped, _mm_cmplt_pd(_mm_andnot_pd(signBit, a), _mm_set1_pd(kQVAMachineEpsilon)));
  const __m128d atRest = frequency.nonZero ? zero : _mm_cmpeq_pd(eigenvalue, zero);
  const __m128d divisor =
      Select(resonant, _mm_set1_pd(1.0),
             Select(undamped, a, _mm_add_pd(_mm_mul_pd(b, b), _mm_mul_pd(a, a))));
  const __m128d inverse = _mm_div_pd(_mm_set1_pd(1.0), divisor);
  const __m128d dampedReal = _mm_mul_pd(inverse, a);
  const __m128d dampedImaginary = _mm_mul_pd(_mm_xor_pd(inverse, signBit), b);
  const __m128d undampedReal = Select(resonant, _mm_set1_pd(-kInfiniteResponse), inverse);
  _mm_storeu_pd(real, Select(atRest, zero, Select(undamped, undampedReal, dampedReal)));
  _mm_storeu_pd(imaginary, Select(_mm_or_pd(atRest, undamped), zero, dampedImaginary));
}
#endif

// Receptances of `modes` modes at one frequency into real[k], imaginary[k],
// four modes at a time (two pairs of SSE2 lanes where available), then the
// remaining ones singly.
void FrameReceptance(int modes, const double* lambda, const double* viscous,
                     const double* structural, const Frequency& frequency, double* real,
                     double* imaginary) {
  int k = 0;
  for (; k + kModesPerStep <= modes; k += kModesPerStep) {
#if defined(__SSE2__)
    PairReceptance(lambda + k, viscous + k, structural + k, frequency, real + k, imaginary + k);
    PairReceptance(lambda + k + 2, viscous + k + 2, structural + k + 2, frequency, real + k + 2,
                   imaginary + k + 2);
#else
    for (int lane = 0; lane < kModesPerStep; ++lane) {
      ModeReceptance(lambda[k + lane], viscous[k + lane], structural[k + lane], frequency,
                     real[k + lane], imaginary[k + lane]);
    }
#endif
  }
  for (; k < modes; ++k) {
    ModeReceptance(lambda[k], viscous[k], structural[k], frequency, real[k], imaginary[k]);
  }
}

// q = H F for `modes` modes: Re q = Hre Fre - Him Fim, Im q = Hre Fim + Him Fre,
// four modes at a time, then the remaining ones singly. The arrays do not
// overlap.
void ApplyReceptance(int modes, const double* __restrict__ receptanceReal,
                     const double* __restrict__ receptanceImaginary,
                     const double* __restrict__ forceReal,
                     const double* __restrict__ forceImaginary, double* __restrict__ amplitudeReal,
                     double* __restrict__ amplitudeImaginary) {
  const auto apply = [=](int k) {
    amplitudeReal[k] =
        receptanceReal[k] * forceReal[k] - receptanceImaginary[k] * forceImaginary[k];
    amplitudeImaginary[k] =
        receptanceReal[k] * forceImaginary[k] + receptanceImaginary[k] * forceReal[k];
  };
  int k = 0;
  for (; k + kModesPerStep <= modes; k += kModesPerStep) {
    for (int lane = 0; lane < kModesPerStep; ++lane) apply(k + lane);
  }
  for (; k < modes; ++k) apply(k);
}

// The n diagonal values of `matrix`, which must be an n x n matrix in
// diagonal storage.
const double* DiagonalOf(const QVASrvMatrix* matrix, int n, const char* name) {
  QVA_VERIFY(matrix != nullptr && matrix->IsDiagonal() && matrix->NumberOfRows() == n,
             kQVASrvInvalidState,
             "QVADynHarmonicSolver: the diagonal method needs the "
                 << name << " as an " << n << " x " << n << " diagonal matrix, the operators hold "
                 << (matrix == nullptr ? 0 : matrix->NumberOfRows())
                 << " rows; a modal system with acoustic modes needs its acoustic coupling "
                    "matrix");
  return matrix->Values();
}

}  // namespace

QVADynHarmonicSolver::~QVADynHarmonicSolver() = default;

QVADynHarmonicSolver::Method QVADynHarmonicSolver::MethodFor(const QVADynModalOperators& ops) {
  QVA_VERIFY(ops.Stiffness() != nullptr && ops.ViscousDamping() != nullptr &&
                 ops.StructuralDamping() != nullptr,
             kQVASrvInvalidState, "QVADynHarmonicSolver: the modal operators are not built");
  if (ops.HasAcousticCoupling()) return Method::kCoupledAcoustic;
  if (!ops.ViscousDamping()->IsDiagonal() || !ops.StructuralDamping()->IsDiagonal() ||
      ops.UpdateApplies(QVADynAllDomains)) {
    return Method::kNonDiagonal;
  }
  return Method::kDiagonal;
}

QVADynSolution& QVADynHarmonicSolver::Solve(QVADynSolution& out, const QVADynModalOperators& ops,
                                            int numberOfFrames, const QVADynFrameValue* frames,
                                            QVADynEnergy* /*energy*/,
                                            const QVADynLoadCaseList& loads,
                                            QVADynLogFile log) try {
  const Method method = MethodFor(ops);
  QVA_VERIFY(numberOfFrames >= 0 && (numberOfFrames == 0 || frames != nullptr),
             kQVABasInvalidArgument,
             "QVADynHarmonicSolver::Solve: " << numberOfFrames << " frames without values");
  for (int frame = 0; frame < numberOfFrames; ++frame) {
    QVA_VERIFY(std::isfinite(frames[frame].first), kQVABasInvalidArgument,
               "QVADynHarmonicSolver::Solve: frame "
                   << frame << " has the frequency " << frames[frame].first
                   << "; pass a finite excitation frequency in cycles per unit time");
  }
  const int m = ops.NumberOfActiveModes();
  QVA_VERIFY(loads.NumberOfActiveModes() == m, kQVASrvSizeMismatch,
             "QVADynHarmonicSolver::Solve: the load cases form forces of "
                 << loads.NumberOfActiveModes() << " modes, the operators have " << m);
  const std::size_t size =
      2 * QVAIndex(m) * QVAIndex(loads.NumberOfCases()) * QVAIndex(numberOfFrames);
  Array output = AllocateArray(size);
  switch (method) {
    case Method::kCoupledAcoustic:
      SolveCoupledAcoustic(output.get(), ops, numberOfFrames, frames, loads, log);
      break;
    case Method::kNonDiagonal:
      SolveNonDiagonal(output.get(), ops, numberOfFrames, frames, loads, log);
      break;
    case Method::kDiagonal:
      SolveDiagonal(output.get(), ops, numberOfFrames, frames, loads);
      break;
  }
  out.Adopt(output.release(), nullptr, nullptr);
  return out;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynHarmonicSolver::Solve");
}

void QVADynHarmonicSolver::SolveDiagonal(double* output, const QVADynModalOperators& ops,
                                         int numberOfFrames, const QVADynFrameValue* frames,
                                         const QVADynLoadCaseList& loads) {
  const int m = ops.NumberOfActiveModes();
  const int cases = loads.NumberOfCases();
  const double* lambda = DiagonalOf(ops.Stiffness(), m, "stiffness");
  const double* viscous = DiagonalOf(ops.ViscousDamping(), m, "viscous damping");
  const double* structural = DiagonalOf(ops.StructuralDamping(), m, "structural damping");
  const std::size_t modes = QVAIndex(m);
  const std::size_t partSize = modes * QVAIndex(numberOfFrames);

  // Receptances of a block of frames (real parts frame by frame, then the
  // imaginary parts), each frame's computed once and applied to every load
  // case while it is still in cache.
  const int framesPerBlock =
      std::max(1, std::min(numberOfFrames, kReceptanceBlockValues / std::max(m, 1)));
  const std::size_t blockSize = modes * QVAIndex(framesPerBlock);
  Array receptance = AllocateArray(2 * blockSize);
  double* receptanceReal = receptance.get();
  double* receptanceImaginary = receptance.get() + blockSize;

  // Forces of all load cases at one frame: real parts, then imaginary parts.
  const std::size_t forceSize = modes * QVAIndex(cases);
  Array forces = AllocateArray(2 * forceSize);
  double* forceReal = forces.get();
  double* forceImaginary = forces.get() + forceSize;

  for (int first = 0; first < numberOfFrames; first += framesPerBlock) {
    const int last = std::min(numberOfFrames, first + framesPerBlock);
    for (int frame = first; frame < last; ++frame) {
      const std::size_t inBlock = QVAIndex(frame - first) * modes;
      FrameReceptance(m, lambda, viscous, structural, Frequency(frames[frame].first),
                      receptanceReal + inBlock, receptanceImaginary + inBlock);
    }
    for (int frame = first; frame < last; ++frame) {
      loads.GetModalForces(forceReal, QVADynRealPart, frame);
      loads.GetModalForces(forceImaginary, QVADynImaginaryPart, frame);
      const std::size_t inBlock = QVAIndex(frame - first) * modes;
      const std::size_t offset = QVAIndex(frame) * modes;
      for (int loadCase = 0; loadCase < cases; ++loadCase) {
        double* block = output + 2 * partSize * QVAIndex(loadCase);
        const std::size_t forceOffset = QVAIndex(loadCase) * modes;
        ApplyReceptance(m, receptanceReal + inBlock, receptanceImaginary + inBlock,
                        forceReal + forceOffset, forceImaginary + forceOffset, block + offset,
                        block + partSize + offset);
      }
    }
  }
}
