#pragma once

// The modal amplitudes a solver hands back to its event: three arrays
// (displacement, velocity, acceleration), each null or allocated by the
// solver with the platform allocator. The solution owns what it holds and
// releases it with mem_Free; the event releases it once it has stored the
// values.
//
// Harmonic solver (m active modes, F frames, N load cases): only the
// displacement, per load case c a block of 2*m*F doubles from c*2*m*F, the
// real parts frame by frame (m per frame), then the imaginary parts.
//   m = 2, F = 2, N = 1:
//   [Re q0(f0) Re q1(f0) Re q0(f1) Re q1(f1) | Im q0(f0) Im q1(f0) Im q0(f1) Im q1(f1)]
// Transient and response-spectrum solvers: all three, m*N*F doubles each,
// mode fastest, then load case, then frame: (f*N + c)*m + k.

#include "QVADyn/QVADynCore/QVADynExport.h"

class QVADYN_EXPORT QVADynSolution {
 public:
  QVADynSolution() = default;
  QVADynSolution(const QVADynSolution&) = delete;
  QVADynSolution& operator=(const QVADynSolution&) = delete;
  // Release().
  ~QVADynSolution();

  // Takes ownership of the three arrays (from mem_Malloc; each may be null),
  // releasing the arrays held before.
  void Adopt(double* displacement, double* velocity, double* acceleration);
  // Frees the three arrays with mem_Free and nulls them.
  void Release();

  double* Displacement() const { return displacement_; }
  double* Velocity() const { return velocity_; }
  double* Acceleration() const { return acceleration_; }

 private:
  double* displacement_ = nullptr;
  double* velocity_ = nullptr;
  double* acceleration_ = nullptr;
};
