#pragma once

// Enforced motion of the base in one of its six components: the base
// acceleration at every frame (and, once set, the base displacement and
// velocity) together with the modal participation factors of that component,
// one per active mode. The modal force of the motion is minus factor times
// base acceleration, applied to the real or the imaginary part of the load
// as the motion's part says (real-valued events use the real part).
//
// Two active modes, component 3, real part, three frames:
//
//   factors = {0.8, -0.3}    accelerations = {0.0, 9.81, 4.0}
//   real modal force at frame 1:  column -= {0.8 * 9.81, -0.3 * 9.81}
//   imaginary part at any frame:  column unchanged
//
// A motion may have fewer factors than the event has active modes (the
// acoustic modes at the tail of the list take no base load); it then loads
// the leading modes only.

#include <vector>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"

class QVADYN_EXPORT QVADynPrimaryBaseMotion : public mem_AllocationOperators {
 public:
  // Copies nFactors participation factors and nValues accelerations (one per
  // frame); displacements and velocities start unset. `direction` is the
  // component 1 ... 6 of GetBaseAcceleration and its siblings that the motion
  // adds to. Raises QVABasError (kQVABasInvalidArgument) for a direction
  // outside 1 ... 6, a part other than QVADynRealPart or QVADynImaginaryPart,
  // a negative count, or a null array with a non-zero count.
  QVADynPrimaryBaseMotion(const double* factors, int nFactors, QVADynNumberType part, int direction,
                          int nValues, const double* accelerations);

  // Copy n base displacements (velocities), one per frame, replacing earlier
  // ones. Raise as the constructor for a negative n or a null array.
  void SetDisplacement(const double* values, int n);
  void SetVelocity(const double* values, int n);

  int NumberOfFactors() const { return static_cast<int>(factors_.size()); }
  const double* Factors() const { return factors_.data(); }
  int Direction() const { return direction_; }
  QVADynNumberType Part() const { return part_; }
  int NumberOfValues() const { return static_cast<int>(accelerations_.size()); }
  bool HasDisplacement() const { return hasDisplacement_; }
  bool HasVelocity() const { return hasVelocity_; }

  // Base acceleration, displacement and velocity at `frame`. Raise QVABasError
  // (kQVASrvIndexOutOfRange) naming the frame and the bound when `frame` lies
  // outside the stored values, and (kQVASrvInvalidState) when displacements
  // or velocities were never set.
  double Acceleration(int frame) const;
  double Displacement(int frame) const;
  double Velocity(int frame) const;

  // Raises as Acceleration(frame) when `part` is the motion's part and
  // `frame` lies outside its accelerations; a motion of the other part reads
  // nothing and never raises.
  void VerifyModalForce(QVADynNumberType part, int frame) const;

  // When `part` is the motion's part: column[i] -= factor[i] * Acceleration(frame)
  // for i = 0 ... NumberOfFactors() - 1; otherwise nothing is added or read.
  // `column` holds at least NumberOfFactors() values. Raises as
  // VerifyModalForce before anything is written.
  void AddModalForce(double* column, QVADynNumberType part, int frame) const;

 private:
  // A load case verifies all its forces and motions before it adds any.
  friend class QVADynLoadCase;

  // AddModalForce without VerifyModalForce.
  void AddVerifiedModalForce(double* column, QVADynNumberType part, int frame) const;

  std::vector<double> factors_;
  int direction_;
  QVADynNumberType part_;
  std::vector<double> accelerations_;
  std::vector<double> displacements_;
  std::vector<double> velocities_;
  bool hasDisplacement_ = false;
  bool hasVelocity_ = false;
};
