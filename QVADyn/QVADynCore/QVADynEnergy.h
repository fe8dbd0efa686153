#pragma once

// Energy accumulator of one solve: per active mode the kinetic energy, the
// strain energy and the external work at every frame and load case, and the
// same three quantities summed over the whole model. A request is a bit set,
// bit 2^kind for each QVADynEnergyType kind; only requested arrays exist.
//
// m = 2 modes, N = 1 load case, F = 3 frames, request 9 (KE and AllKE):
//
//   Array(QVADynEnergyKE)     6 values, frame-major: (j*N + c)*m + k
//                             [ k0 f0, k1 f0 | k0 f1, k1 f1 | k0 f2, k1 f2 ]
//   Array(QVADynEnergyAllKE)  3 values, j*N + c, all 0 at construction
//   every other kind          null
//
// The solver writes the arrays; the modal ones start undefined and must be
// filled completely, the whole-model ones start at zero for summation.

#include <cstddef>
#include <memory>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"

class QVADYN_EXPORT QVADynEnergy : public mem_AllocationOperators {
 public:
  // Number of energy kinds, 0 ... 5.
  static constexpr int kNumberOfKinds = 6;

  // Allocates, from the platform allocator, m*N*F values for each requested
  // modal kind (0, 1, 2; not cleared) and N*F zeros for each requested
  // whole-model kind (3, 4, 5). Request bits above 2^5 are ignored. Raises
  // QVABasError (kQVABasInvalidArgument) for a negative count and
  // QVABasOutOfMemory when an array cannot be had.
  QVADynEnergy(int request, int numberOfModes, int numberOfCases, int numberOfFrames);
  QVADynEnergy(const QVADynEnergy&) = delete;
  QVADynEnergy& operator=(const QVADynEnergy&) = delete;
  // Releases every array.
  virtual ~QVADynEnergy();

  // The array of `kind`; null for a kind not requested and any value outside
  // 0 ... 5. The arrays stay the accumulator's.
  double* Array(int kind);
  const double* Array(int kind) const;
  // Number of values of Array(kind): m*N*F for a modal kind, N*F for a
  // whole-model kind, 0 when the array does not exist.
  std::size_t Length(int kind) const;

  // The request as given, and whether `kind` is requested.
  int Request() const { return request_; }
  bool IsRequested(int kind) const;
  // The modal or the whole-model work array exists.
  bool WantsWork() const;

  int NumberOfModes() const { return numberOfModes_; }
  int NumberOfCases() const { return numberOfCases_; }
  int NumberOfFrames() const { return numberOfFrames_; }

 private:
  struct ArrayRelease {
    void operator()(double* values) const noexcept;
  };
  using EnergyArray = std::unique_ptr<double[], ArrayRelease>;

  int request_;
  int numberOfModes_;
  int numberOfCases_;
  int numberOfFrames_;
  EnergyArray arrays_[kNumberOfKinds];
};
