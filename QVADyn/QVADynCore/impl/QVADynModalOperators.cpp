#include "QVADyn/QVADynCore/QVADynModalOperators.h"

#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynOperatorUpdate.h"
#include "QVADynBoundary.h"
#include "platform/base/QVABasException.h"

namespace {

// A new n x n matrix in diagonal storage with every diagonal entry `value`.
std::unique_ptr<QVASrvMatrix> Diagonal(int n, double value) {
  auto matrix = std::make_unique<QVASrvMatrix>(n, n, nullptr, true, true);
  *matrix = value;
  return matrix;
}

// A new n x n diagonal matrix holding the eigenvalues of modes[0 ... n-1].
// Raises QVABasError (kQVASrvIndexOutOfRange) for a mode the system lacks.
std::unique_ptr<QVASrvMatrix> EigenvalueDiagonal(const QVADynModalSystem& system, int n,
                                                 const int* modes) {
  auto matrix = std::make_unique<QVASrvMatrix>(n, n, nullptr, true, true);
  const double* eigenvalues = system.Eigenvalues();
  const int numberOfModes = system.NumberOfModes();
  for (int i = 0; i < n; ++i) {
    QVA_VERIFY(modes[i] >= 0 && modes[i] < numberOfModes, kQVASrvIndexOutOfRange,
               "QVADynModalOperators::Build: active mode "
                   << i << " is mode " << modes[i] << ", outside the " << numberOfModes
                   << " modes [0, " << numberOfModes << ") of the modal system");
    matrix->Values()[i] = eigenvalues[modes[i]];
  }
  return matrix;
}

}  // namespace

QVADynModalOperators::QVADynModalOperators(const QVADynModalSystem& system,
                                           QVADynOperatorUpdate* update)
    : system_(system), update_(update), numberOfAcousticModes_(system.NumberOfAcousticModes()) {}

QVADynModalOperators::~QVADynModalOperators() = default;

void QVADynModalOperators::Adopt(Slot slot, QVASrvMatrix* matrix) {
  if (matrices_[slot].get() != matrix) matrices_[slot].reset(matrix);
}

bool QVADynModalOperators::HasAcousticCoupling() const {
  return system_.AcousticCoupling() != nullptr;
}

bool QVADynModalOperators::UpdateApplies(int code) const {
  if (update_ == nullptr) return false;
  const int domain = update_->Domain();
  return code == domain || code == 0 || domain == 0;
}

void QVADynModalOperators::ApplyUpdate(int frame, double value) const {
  if (!UpdateApplies(0)) return;
  // The bundle is never const itself: the event builds it on its stack.
  update_->Update(const_cast<QVADynModalOperators&>(*this), frame, value);
}

void QVADynModalOperators::Build(int numberOfActiveModes, const int* activeModes,
                                 const QVADynModalDamping& damping) try {
  QVA_VERIFY(!built_, kQVASrvInvalidState, "QVADynModalOperators::Build: called twice");
  const int acoustic = numberOfAcousticModes_;
  QVA_VERIFY(numberOfActiveModes >= acoustic, kQVABasInvalidArgument,
             "QVADynModalOperators::Build: " << numberOfActiveModes
                                             << " active modes cannot hold the " << acoustic
                                             << " acoustic modes of the modal system");
  const int structural = numberOfActiveModes - acoustic;

  std::unique_ptr<QVASrvMatrix> stiffness = EigenvalueDiagonal(system_, structural, activeModes);
  const double* lambda = stiffness->Values();
  const auto modalDamping = [&](QVADynDampingType kind, bool diagonalOnly) {
    return std::unique_ptr<QVASrvMatrix>(
        damping.GetModalDamping(kind, diagonalOnly, structural, activeModes, lambda, structural));
  };
  std::unique_ptr<QVASrvMatrix> viscous = modalDamping(QVADynViscousDamping, false);
  std::unique_ptr<QVASrvMatrix> structuralDamping = modalDamping(QVADynStructuralDamping, false);
  std::unique_ptr<QVASrvMatrix> viscousDiagonal = modalDamping(QVADynViscousDamping, true);
  std::unique_ptr<QVASrvMatrix> structuralDiagonal = modalDamping(QVADynStructuralDamping, true);
  if (UpdateApplies(QVADynStructuralDomain)) {
    viscous->Add(-1.0, *viscousDiagonal);
    structuralDamping->Add(-1.0, *structuralDiagonal);
  }

  matrices_[kMass] = Diagonal(structural, 1.0);
  matrices_[kStiffness] = std::move(stiffness);
  matrices_[kViscous] = std::move(viscous);
  matrices_[kStructural] = std::move(structuralDamping);
  matrices_[kViscousDiagonal] = std::move(viscousDiagonal);
  matrices_[kStructuralDiagonal] = std::move(structuralDiagonal);
  damped_ = damping.HasDamping(QVADynViscousDamping) || damping.HasDamping(QVADynStructuralDamping);
  numberOfActiveModes_ = numberOfActiveModes;
  built_ = true;
  if (HasAcousticCoupling()) BuildAcoustic(activeModes, damping);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalOperators::Build");
}

void QVADynModalOperators::BuildAcoustic(const int* activeModes,
                                         const QVADynModalDamping& damping) {
  const int acoustic = numberOfAcousticModes_;
  const int structural = NumberOfStructuralModes();
  const int* acousticModes = activeModes + structural;
  matrices_[kAcousticMass] = Diagonal(acoustic, 1.0);
  matrices_[kAcousticStiffness] = EigenvalueDiagonal(system_, acoustic, acousticModes);

  // Rows of the system's coupling matrix are its acoustic modes, columns its
  // structural modes; the bundle takes those of the active modes (all rows,
  // and with every mode active in mode order, the matrix as it stands).
  const QVASrvDenseMatrix& systemCoupling = *system_.AcousticCoupling();
  const int systemStructural = system_.NumberOfModes() - acoustic;
  QVASrvMatrix whole(systemCoupling.NumberOfRows(), systemCoupling.NumberOfColumns());
  if (acoustic > 0) systemCoupling.GetRows(0, acoustic - 1, whole);
  auto coupling = std::make_unique<QVASrvMatrix>(acoustic, structural);
  for (int column = 0; column < structural; ++column) {
    for (int row = 0; row < acoustic; ++row) {
      (*coupling)(row, column) = whole(acousticModes[row] - systemStructural, activeModes[column]);
    }
  }
  matrices_[kCoupling] = std::move(coupling);

  const double* lambda = matrices_[kAcousticStiffness]->Values();
  const auto modalDamping = [&](QVADynDampingType kind, bool diagonalOnly) {
    return std::unique_ptr<QVASrvMatrix>(
        damping.GetModalDamping(kind, diagonalOnly, acoustic, activeModes, lambda, structural));
  };
  matrices_[kAcousticViscous] = modalDamping(QVADynAcousticViscousDamping, false);
  matrices_[kAcousticStructural] = modalDamping(QVADynAcousticStructuralDamping, false);
  matrices_[kAcousticViscousDiagonal] = modalDamping(QVADynAcousticViscousDamping, true);
  matrices_[kAcousticStructuralDiagonal] = modalDamping(QVADynAcousticStructuralDamping, true);
  if (UpdateApplies(QVADynAcousticDomain)) {
    matrices_[kAcousticViscous]->Add(-1.0, *matrices_[kAcousticViscousDiagonal]);
  }
}
