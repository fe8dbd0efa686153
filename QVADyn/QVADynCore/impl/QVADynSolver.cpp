#include "QVADyn/QVADynCore/QVADynSolver.h"

#include "QVADyn/QVADynCore/QVADynSolution.h"
#include "platform/base/mem_Alloc.h"

QVADynSolver::~QVADynSolver() = default;

QVADynSolution::~QVADynSolution() { Release(); }

void QVADynSolution::Adopt(double* displacement, double* velocity, double* acceleration) {
  // An array adopted again is kept, not freed.
  if (displacement_ != displacement) mem_Free(displacement_);
  if (velocity_ != velocity) mem_Free(velocity_);
  if (acceleration_ != acceleration) mem_Free(acceleration_);
  displacement_ = displacement;
  velocity_ = velocity;
  acceleration_ = acceleration;
}

void QVADynSolution::Release() {
  mem_Free(displacement_);
  mem_Free(velocity_);
  mem_Free(acceleration_);
  displacement_ = nullptr;
  velocity_ = nullptr;
  acceleration_ = nullptr;
}
