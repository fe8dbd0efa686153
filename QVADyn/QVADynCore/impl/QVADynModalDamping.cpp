#include "QVADyn/QVADynCore/QVADynModalDamping.h"

#include <cmath>
#include <memory>

#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"

namespace {

constexpr const char* kSourcePath = "QVADyn/QVADynCore/impl/QVADynModalDamping";
// Places reported with an unsupported damping kind.
// Line numbers fixed by the documented exception texts that hosts match, not lines of this file.
constexpr int kHasDampingLine = 62;
constexpr int kGetModalDampingLine = 227;

[[noreturn]] void RaiseUnsupported(int line) {
  QVADynUnsupportedDamping().Throw(kSourcePath, line);
}

}  // namespace

QVADynModalDamping::QVADynModalDamping(const QVADynDiagonalDamping* diagonal, int numRecords,
                                       const QVASrvDenseMatrix* viscous,
                                       const QVASrvDenseMatrix* structural,
                                       const QVASrvDenseMatrix* acousticViscous)
    : diagonal_(diagonal),
      numberOfRecords_(numRecords),
      viscous_(viscous),
      structural_(structural),
      acousticViscous_(acousticViscous) {}

QVADynModalDamping::~QVADynModalDamping() {
  diagonal_ = nullptr;
  numberOfRecords_ = 0;
  viscous_ = nullptr;
  structural_ = nullptr;
  acousticViscous_ = nullptr;
}

bool QVADynModalDamping::HasDamping(QVADynDampingType kind) const {
  const bool hasRecords = diagonal_ != nullptr && numberOfRecords_ > 0;
  switch (kind) {
    case QVADynViscousDamping:
      if (viscous_ != nullptr) return true;
      if (!hasRecords) return false;
      for (int record = 0; record < numberOfRecords_; ++record) {
        const QVADynDiagonalDamping& damping = diagonal_[record];
        if (damping.criticalFraction > 0.0 || damping.massFactor > 0.0 ||
            damping.stiffnessFactor > 0.0) {
          return true;
        }
      }
      return false;
    case QVADynStructuralDamping:
      if (structural_ != nullptr) return true;
      if (!hasRecords) return false;
      for (int record = 0; record < numberOfRecords_; ++record) {
        if (diagonal_[record].structural > 0.0) return true;
      }
      return false;
    case QVADynAcousticViscousDamping:
      return acousticViscous_ != nullptr;
    default:
      RaiseUnsupported(kHasDampingLine);
  }
}

QVASrvMatrix* QVADynModalDamping::GetModalDamping(QVADynDampingType kind, bool diagonalOnly, int n,
                                                  const int* modes, const double* stiffness,
                                                  int offset) const try {
  const QVASrvDenseMatrix* projected = nullptr;
  switch (kind) {
    case QVADynViscousDamping:
      projected = viscous_;
      break;
    case QVADynStructuralDamping:
      projected = structural_;
      break;
    case QVADynAcousticViscousDamping:
      projected = acousticViscous_;
      break;
    case QVADynAcousticStructuralDamping:
      break;
    default:
      RaiseUnsupported(kGetModalDampingLine);
  }

  std::unique_ptr<QVASrvMatrix> damping;
  if (projected == nullptr || diagonalOnly) {
    damping = std::make_unique<QVASrvMatrix>(n, n, nullptr, true, true);
    *damping = 0.0;
  } else {
    damping = std::make_unique<QVASrvMatrix>(n, n, nullptr, true, false);
    if (projected->NumberOfRows() == n) {
      projected->GetColumns(0, n - 1, *damping);
    } else {
      const int size = projected->NumberOfRows();
      QVASrvMatrix whole(size, size);
      projected->GetValues(0, size - 1, 0, size - 1, whole);
      for (int column = 0; column < n; ++column) {
        for (int row = 0; row < n; ++row) {
          (*damping)(row, column) = whole(modes[row], modes[column]);
        }
      }
    }
  }
  if (diagonal_ == nullptr) return damping.release();

  const int firstRecord =
      kind == QVADynAcousticViscousDamping || kind == QVADynAcousticStructuralDamping ? offset : 0;
  // Eigenvalues whose magnitude lies below this count as 0 (rigid-body modes
  // with round-off).
  const double smallEigenvalue = kQVASqrtMachineEpsilon;
  for (int mode = 0; mode < n; ++mode) {
    const QVADynDiagonalDamping& record = diagonal_[firstRecord + mode];
    const double lambda = stiffness[mode];
    double& entry = (*damping)(mode, mode);
    switch (kind) {
      case QVADynViscousDamping: {
        const double effectiveLambda = std::fabs(lambda) < smallEigenvalue ? 0.0 : lambda;
        if (record.criticalFraction > 0.0 && lambda > 0.0) {
          entry = (std::sqrt(effectiveLambda) * 2.0) * record.criticalFraction + entry;
        }
        entry = (effectiveLambda * record.stiffnessFactor + record.massFactor) + entry;
        break;
      }
      case QVADynAcousticViscousDamping:
        if (record.criticalFraction > 0.0 && lambda > 0.0) {
          entry = (std::sqrt(lambda) * 2.0) * record.criticalFraction + entry;
        }
        entry = (lambda * record.stiffnessFactor + record.massFactor) + entry;
        break;
      default:
        entry = lambda * record.structural + entry;
        break;
    }
  }
  return damping.release();
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalDamping::GetModalDamping");
}
