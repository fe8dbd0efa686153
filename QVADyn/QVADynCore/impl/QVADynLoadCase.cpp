#include "QVADyn/QVADynCore/QVADynLoadCase.h"

#include <algorithm>

#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"

namespace {

// Appends `object` to the owning list. The list grows before it takes the
// object, so a failure leaves the object with the caller.
template <class T>
void Adopt(std::vector<std::unique_ptr<T>>& list, T* object, const char* operation) {
  QVA_VERIFY(object != nullptr, kQVABasInvalidArgument,
             "QVADynLoadCase::" << operation << ": null object");
  const bool held = std::any_of(list.begin(), list.end(), [object](const std::unique_ptr<T>& item) {
    return item.get() == object;
  });
  QVA_VERIFY(!held, kQVABasInvalidArgument,
             "QVADynLoadCase::" << operation << ": the object is already held by this load case");
  list.reserve(list.size() + 1);
  list.emplace_back(object);
}

template <class T>
const T& Item(const std::vector<std::unique_ptr<T>>& list, int i, const char* operation) {
  const int count = static_cast<int>(list.size());
  QVA_VERIFY(i >= 0 && i < count, kQVASrvIndexOutOfRange,
             "QVADynLoadCase::" << operation << ": index " << i << " outside [0, " << count << ")");
  return *list[QVAIndex(i)];
}

// Sums value(motion) into the component of each motion that `takes`; `out`
// is written only once every value has been read.
template <class Takes, class Value>
void SumBaseMotion(const std::vector<std::unique_ptr<QVADynPrimaryBaseMotion>>& motions,
                   double* out, Takes takes, Value value) {
  double sums[QVADynLoadCase::kBaseDirections] = {};
  for (const std::unique_ptr<QVADynPrimaryBaseMotion>& motion : motions) {
    if (takes(*motion)) sums[motion->Direction() - 1] += value(*motion);
  }
  std::copy(sums, sums + QVADynLoadCase::kBaseDirections, out);
}

}  // namespace

QVADynLoadCase::QVADynLoadCase() = default;

QVADynLoadCase::~QVADynLoadCase() = default;

void QVADynLoadCase::AdoptForce(QVADynForce* force) try {
  Adopt(forces_, force, "AdoptForce");
} catch (...) {
  QVABasRaiseAtBoundary("QVADynLoadCase::AdoptForce");
}

void QVADynLoadCase::AdoptPrimaryBase(QVADynPrimaryBaseMotion* motion) try {
  Adopt(motions_, motion, "AdoptPrimaryBase");
} catch (...) {
  QVABasRaiseAtBoundary("QVADynLoadCase::AdoptPrimaryBase");
}

const QVADynForce& QVADynLoadCase::Force(int i) const { return Item(forces_, i, "Force"); }

const QVADynPrimaryBaseMotion& QVADynLoadCase::PrimaryBase(int i) const {
  return Item(motions_, i, "PrimaryBase");
}

void QVADynLoadCase::VerifyModalForce(const QVASrvMatrix* amplitudes, QVADynNumberType part,
                                      int frame) const {
  for (const std::unique_ptr<QVADynForce>& force : forces_) {
    force->VerifyModalForce(amplitudes, part, frame);
  }
  for (const std::unique_ptr<QVADynPrimaryBaseMotion>& motion : motions_) {
    motion->VerifyModalForce(part, frame);
  }
}

void QVADynLoadCase::AddModalForce(double* column, const QVASrvMatrix* amplitudes,
                                   QVADynNumberType part, int frame) const {
  VerifyModalForce(amplitudes, part, frame);
  AddVerifiedModalForce(column, amplitudes, part, frame);
}

void QVADynLoadCase::AddVerifiedModalForce(double* column, const QVASrvMatrix* amplitudes,
                                           QVADynNumberType part, int frame) const {
  for (const std::unique_ptr<QVADynForce>& force : forces_) {
    force->AddVerifiedModalForce(column, amplitudes, part, frame);
  }
  for (const std::unique_ptr<QVADynPrimaryBaseMotion>& motion : motions_) {
    motion->AddVerifiedModalForce(column, part, frame);
  }
}

void QVADynLoadCase::GetBaseAcceleration(double* out, int frame, bool imaginary) const {
  const QVADynNumberType part = imaginary ? QVADynImaginaryPart : QVADynRealPart;
  SumBaseMotion(
      motions_, out,
      [part](const QVADynPrimaryBaseMotion& motion) { return motion.Part() == part; },
      [frame](const QVADynPrimaryBaseMotion& motion) { return motion.Acceleration(frame); });
}

void QVADynLoadCase::GetBaseDisplacement(double* out, int frame) const {
  SumBaseMotion(
      motions_, out, [](const QVADynPrimaryBaseMotion&) { return true; },
      [frame](const QVADynPrimaryBaseMotion& motion) { return motion.Displacement(frame); });
}

void QVADynLoadCase::GetBaseVelocity(double* out, int frame) const {
  SumBaseMotion(
      motions_, out, [](const QVADynPrimaryBaseMotion&) { return true; },
      [frame](const QVADynPrimaryBaseMotion& motion) { return motion.Velocity(frame); });
}
