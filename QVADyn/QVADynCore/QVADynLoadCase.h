#pragma once

// One load case of an event: any number of modal forces and primary base
// motions, each owned by the load case and kept in adoption order. At a frame
// its modal force is the sum of what every force and every base motion adds,
// for the real and the imaginary part separately:
//
//   forces   F1 (real columns scaled by amplitude 0), F2 (real, amplitude 2)
//   motions  B1 (real, direction 1), B2 (imaginary, direction 1)
//   real part at frame f:      F1 * table(0, f) + F2 * table(2, f) - factors(B1) * a_B1(f)
//   imaginary part at frame f: - factors(B2) * a_B2(f)
//   GetBaseAcceleration(out, f, false) = {a_B1(f), 0, 0, 0, 0, 0}
//
// A load case is used by one thread at a time.

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynPrimaryBaseMotion.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvMatrix.h"

class QVADYN_EXPORT QVADynLoadCase : public mem_AllocationOperators {
 public:
  // Number of base-motion components, the length of the GetBase... outputs.
  static constexpr int kBaseDirections = 6;

  QVADynLoadCase();
  QVADynLoadCase(const QVADynLoadCase&) = delete;
  QVADynLoadCase& operator=(const QVADynLoadCase&) = delete;
  // Deletes every force and every base motion.
  ~QVADynLoadCase();

  // Appends `force` (allocated with new); the load case owns it from then on
  // and deletes it in its destructor. Raises QVABasError
  // (kQVABasInvalidArgument) for a null force or one this load case already
  // holds; whenever it raises, the caller keeps ownership.
  void AdoptForce(QVADynForce* force);
  // As AdoptForce, for a primary base motion.
  void AdoptPrimaryBase(QVADynPrimaryBaseMotion* motion);

  int NumberOfForces() const { return static_cast<int>(forces_.size()); }
  int NumberOfPrimaryBases() const { return static_cast<int>(motions_.size()); }
  // Force or base motion i in adoption order; raise QVABasError
  // (kQVASrvIndexOutOfRange) naming i and the count when i is out of range.
  const QVADynForce& Force(int i) const;
  const QVADynPrimaryBaseMotion& PrimaryBase(int i) const;

  // Raises as QVADynForce::VerifyModalForce and
  // QVADynPrimaryBaseMotion::VerifyModalForce unless every force and motion
  // can form its `part` at `frame`.
  void VerifyModalForce(const QVASrvMatrix* amplitudes, QVADynNumberType part, int frame) const;

  // Adds this load case's modal force of `part` at `frame` to `column`: every
  // force (QVADynForce::AddModalForce with `amplitudes`), then every base
  // motion, in adoption order. `column` holds as many values as the forces
  // have rows. Raises as VerifyModalForce before anything is written.
  void AddModalForce(double* column, const QVASrvMatrix* amplitudes, QVADynNumberType part,
                     int frame) const;

  // The base acceleration of every component at `frame` into out[0 ... 5]:
  // the sum over the motions of the imaginary part (`imaginary` true) or of
  // the real part (false). Components without a motion are 0.
  void GetBaseAcceleration(double* out, int frame, bool imaginary) const;
  // The base displacement (velocity) of every component at `frame` into
  // out[0 ... 5], summed over every motion whatever its part. Every motion
  // must have its displacements (velocities) set.
  // The three raise as QVADynPrimaryBaseMotion's accessors, leaving `out`
  // unchanged.
  void GetBaseDisplacement(double* out, int frame) const;
  void GetBaseVelocity(double* out, int frame) const;

 private:
  // The list verifies every load case before it writes any column.
  friend class QVADynLoadCaseList;

  // AddModalForce without VerifyModalForce.
  void AddVerifiedModalForce(double* column, const QVASrvMatrix* amplitudes, QVADynNumberType part,
                             int frame) const;

  std::vector<std::unique_ptr<QVADynForce>> forces_;
  std::vector<std::unique_ptr<QVADynPrimaryBaseMotion>> motions_;
};
