#include "QVADyn/QVADynCore/QVADynPrimaryBaseMotion.h"

#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

std::vector<double> CopyValues(const double* values, int count, const char* operation,
                               const char* what) {
  QVA_VERIFY(
      count >= 0, kQVABasInvalidArgument,
      "QVADynPrimaryBaseMotion::" << operation << ": negative count " << count << " of " << what);
  QVA_VERIFY(count == 0 || values != nullptr, kQVABasInvalidArgument,
             "QVADynPrimaryBaseMotion::" << operation << ": the " << what
                                         << " array is null but has " << count << " entries");
  return std::vector<double>(values, values + count);
}

double ValueAt(const std::vector<double>& values, bool set, int frame, const char* operation,
               const char* what, const char* setter) {
  QVA_VERIFY(set, kQVASrvInvalidState,
             "QVADynPrimaryBaseMotion::" << operation << ": no base " << what << " set; call "
                                         << setter << " first");
  const int count = static_cast<int>(values.size());
  QVA_VERIFY(frame >= 0 && frame < count, kQVASrvIndexOutOfRange,
             "QVADynPrimaryBaseMotion::" << operation << ": frame " << frame << " outside the "
                                         << count << " base " << what << " values [0, " << count
                                         << ")");
  return values[QVAIndex(frame)];
}

}  // namespace

QVADynPrimaryBaseMotion::QVADynPrimaryBaseMotion(const double* factors, int nFactors,
                                                 QVADynNumberType part, int direction, int nValues,
                                                 const double* accelerations) try
    : factors_(CopyValues(factors, nFactors, "QVADynPrimaryBaseMotion", "factors")),
      direction_(direction),
      part_(part),
      accelerations_(
          CopyValues(accelerations, nValues, "QVADynPrimaryBaseMotion", "accelerations")) {
  QVA_VERIFY(direction >= 1 && direction <= 6, kQVABasInvalidArgument,
             "QVADynPrimaryBaseMotion: direction " << direction << " outside 1 ... 6");
  QVA_VERIFY(part == QVADynRealPart || part == QVADynImaginaryPart, kQVABasInvalidArgument,
             "QVADynPrimaryBaseMotion: number part " << static_cast<int>(part)
                                                     << " is neither 0 (imaginary) nor 1 (real)");
} catch (...) {
  QVABasRaiseAtBoundary("QVADynPrimaryBaseMotion::QVADynPrimaryBaseMotion");
}

void QVADynPrimaryBaseMotion::SetDisplacement(const double* values, int n) try {
  displacements_ = CopyValues(values, n, "SetDisplacement", "displacements");
  hasDisplacement_ = true;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynPrimaryBaseMotion::SetDisplacement");
}

void QVADynPrimaryBaseMotion::SetVelocity(const double* values, int n) try {
  velocities_ = CopyValues(values, n, "SetVelocity", "velocities");
  hasVelocity_ = true;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynPrimaryBaseMotion::SetVelocity");
}

double QVADynPrimaryBaseMotion::Acceleration(int frame) const {
  return ValueAt(accelerations_, true, frame, "Acceleration", "acceleration", "");
}

double QVADynPrimaryBaseMotion::Displacement(int frame) const {
  return ValueAt(displacements_, hasDisplacement_, frame, "Displacement", "displacement",
                 "SetDisplacement");
}

double QVADynPrimaryBaseMotion::Velocity(int frame) const {
  return ValueAt(velocities_, hasVelocity_, frame, "Velocity", "velocity", "SetVelocity");
}

void QVADynPrimaryBaseMotion::VerifyModalForce(QVADynNumberType part, int frame) const {
  if (part == part_) Acceleration(frame);
}

void QVADynPrimaryBaseMotion::AddModalForce(double* column, QVADynNumberType part,
                                            int frame) const {
  VerifyModalForce(part, frame);
  AddVerifiedModalForce(column, part, frame);
}

void QVADynPrimaryBaseMotion::AddVerifiedModalForce(double* column, QVADynNumberType part,
                                                    int frame) const {
  if (part != part_) return;
  const double acceleration = accelerations_[QVAIndex(frame)];
  for (std::size_t i = 0; i < factors_.size(); ++i) column[i] -= factors_[i] * acceleration;
}
