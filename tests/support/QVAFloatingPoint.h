#pragma once

// Floating-point traps for the tests, and a guard that suspends them where a
// test produces infinities or NaNs on purpose (singular inputs, NaN loads).
//
//   {
//     QVAFloatingPointTrapsOff noTraps;
//     solver.Solve(...);   // may divide by zero inside LAPACK
//   }

#include <cfenv>

inline void QVAEnableFloatingPointTraps() {
  std::feclearexcept(FE_ALL_EXCEPT);
  feenableexcept(FE_DIVBYZERO | FE_INVALID);
}

class QVAFloatingPointTrapsOff {
 public:
  QVAFloatingPointTrapsOff() : saved_(fegetexcept()) { fedisableexcept(FE_ALL_EXCEPT); }
  QVAFloatingPointTrapsOff(const QVAFloatingPointTrapsOff&) = delete;
  QVAFloatingPointTrapsOff& operator=(const QVAFloatingPointTrapsOff&) = delete;
  ~QVAFloatingPointTrapsOff() {
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(saved_);
  }

 private:
  int saved_;
};
