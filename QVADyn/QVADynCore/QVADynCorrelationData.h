#pragma once

// One entry of a QVADynCorrelation: the three values that apply to one load
// pattern, and optionally the load case the host attaches to that pattern.
// For a correlated or uncorrelated correlation the first two values are the
// real and imaginary correlation coefficients (the third is not read); for a
// jet-noise correlation the three values are the convection velocity
// (vx, vy, vz).
//
//   QVADynCorrelationData coefficient(0.8, 0.1, 0.0);   // 0.8 + 0.1 i
//   QVADynCorrelationData convection(250.0, 0.0, 0.0);  // 250 along x
//   convection.Values()[0] == 250.0
//
// The correlation that adopts an entry deletes it.

#include <memory>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynLoadCase.h"
#include "platform/base/mem_Alloc.h"

class QVADYN_EXPORT QVADynCorrelationData : public mem_AllocationOperators {
 public:
  QVADynCorrelationData(double first, double second, double third);
  QVADynCorrelationData(const QVADynCorrelationData&) = delete;
  QVADynCorrelationData& operator=(const QVADynCorrelationData&) = delete;
  // Deletes the attached load case, if any.
  ~QVADynCorrelationData();

  // Real coefficient, or x component of the convection velocity.
  double FirstValue() const { return values_[0]; }
  // Imaginary coefficient, or y component of the convection velocity.
  double SecondValue() const { return values_[1]; }
  // z component of the convection velocity.
  double ThirdValue() const { return values_[2]; }
  // The three values in order; the jet-noise load computation hands this
  // pointer to the random load provider.
  const double* Values() const { return values_; }

  // Takes ownership of `loadCase` (allocated with new; null detaches), deleting
  // the one attached before unless it is the same object. The component never
  // reads it.
  void AdoptLoadCase(QVADynLoadCase* loadCase);
  // The attached load case; null after construction.
  const QVADynLoadCase* LoadCase() const { return loadCase_.get(); }

 private:
  std::unique_ptr<QVADynLoadCase> loadCase_;
  double values_[3];
};
