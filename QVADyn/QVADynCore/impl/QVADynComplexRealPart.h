#pragma once

// The real part of a stored mode-shape distribution. Mode shapes of a complex
// basis may carry a complex-number-part dimension; the real part is its
// member of symbol 4. A distribution without that dimension is taken whole:
//
//   [DOFs x modes]                   -> the whole distribution
//   [DOFs x modes x parts {4, 0}]    -> the DOFs x modes slice of part 4

#include <memory>

#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/modeldb/QVAFsmModalSystem.h"

// A new dense matrix over the real part of `distribution`, a mode-shape
// distribution of `modal`. Raises QVABasError when the identifier is invalid.
std::unique_ptr<QVASrvDenseMatrix> QVADynWrapRealPart(const QVAFsmModalSystem& modal,
                                                      const QVASimDistributionID& distribution);
