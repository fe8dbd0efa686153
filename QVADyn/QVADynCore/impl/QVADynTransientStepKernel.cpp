#include "QVADynTransientStepKernel.h"

#include <cstddef>
#include <functional>

#include "internal/QVAAssert.h"
#include "internal/QVANumerics.h"

namespace {

#ifndef NDEBUG
// True when the `count` values from `a` and those from `b` share no address.
bool Disjoint(const double* a, const double* b, std::size_t count) {
  return std::less_equal<const double*>()(a + count, b) ||
         std::less_equal<const double*>()(b + count, a);
}
#endif

// One block of modes; the restrict qualifiers let the compiler vectorise the loop.
void AdvanceBlock(std::size_t modes, const double* __restrict__ table,
                  const double* __restrict__ lambda, const double* __restrict__ damping,
                  const double* __restrict__ u0, const double* __restrict__ v0,
                  const double* __restrict__ f0, const double* __restrict__ f1,
                  double* __restrict__ u1, double* __restrict__ v1, double* __restrict__ a1) {
  const double* __restrict__ a = table;
  const double* __restrict__ b = table + modes;
  const double* __restrict__ c = table + 2 * modes;
  const double* __restrict__ d = table + 3 * modes;
  const double* __restrict__ e = table + 4 * modes;
  const double* __restrict__ f = table + 5 * modes;
  const double* __restrict__ g = table + 6 * modes;
  const double* __restrict__ h = table + 7 * modes;
  if (damping != nullptr) {
    for (std::size_t k = 0; k < modes; ++k) {
      const double displacement = a[k] * u0[k] + b[k] * v0[k] + c[k] * f0[k] + d[k] * f1[k];
      const double velocity = e[k] * u0[k] + f[k] * v0[k] + g[k] * f0[k] + h[k] * f1[k];
      u1[k] = displacement;
      v1[k] = velocity;
      a1[k] = f1[k] - damping[k] * velocity - lambda[k] * displacement;
    }
  } else {
    for (std::size_t k = 0; k < modes; ++k) {
      const double displacement = a[k] * u0[k] + b[k] * v0[k] + c[k] * f0[k] + d[k] * f1[k];
      u1[k] = displacement;
      v1[k] = e[k] * u0[k] + f[k] * v0[k] + g[k] * f0[k] + h[k] * f1[k];
      a1[k] = f1[k] - lambda[k] * displacement;
    }
  }
}

}  // namespace

void QVADynAdvanceUncoupledModes(int numberOfModes, int numberOfCases,
                                 const double* coefficientTable, const double* lambda,
                                 const double* damping, const double* displacement0,
                                 const double* velocity0, const double* force0,
                                 const double* force1, double* displacement1, double* velocity1,
                                 double* acceleration1) {
  if (numberOfModes <= 0 || numberOfCases <= 0) return;
  const auto modes = QVAIndex(numberOfModes);
  const auto cases = QVAIndex(numberOfCases);
  QVA_ASSERT(coefficientTable != nullptr && lambda != nullptr, numberOfModes, numberOfCases);
#ifndef NDEBUG
  const std::size_t values = modes * cases;
  for (const double* output : {displacement1, velocity1, acceleration1}) {
    for (const double* input : {displacement0, velocity0, force0, force1}) {
      QVA_ASSERT(Disjoint(output, input, values), numberOfModes, numberOfCases);
    }
  }
#endif
  for (std::size_t loadCase = 0; loadCase < cases; ++loadCase) {
    const std::size_t offset = loadCase * modes;
    AdvanceBlock(modes, coefficientTable, lambda, damping, displacement0 + offset,
                 velocity0 + offset, force0 + offset, force1 + offset, displacement1 + offset,
                 velocity1 + offset, acceleration1 + offset);
  }
}
