#include "QVADyn/QVADynCore/QVADynNodalDataRequest.h"

#include <algorithm>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvUtilities.h"

QVADynNodalDataRequest::QVADynNodalDataRequest(const QVAFsmSystemDofDefinition& dofs,
                                               const bool* nodes, int numRows) try {
  int count = 0;
  int* all = dofs.SolverDofsFromNodes(nodes, count);
  const auto insideMatrix = [numRows](int dof) { return dof < numRows; };
  const int kept = static_cast<int>(std::count_if(all, all + count, insideMatrix));
  try {
    solverDofs_ = mem_AllocArray<int>(QVAIndex(kept));
    std::copy_if(all, all + count, solverDofs_, insideMatrix);
    mem_Free(all);
    all = nullptr;
    boundaries_ = QVASrvFindContiguousRanges(solverDofs_, kept, kept, numberOfRanges_);
  } catch (...) {
    mem_Free(all);
    mem_Free(solverDofs_);
    throw;
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynNodalDataRequest::QVADynNodalDataRequest");
}

QVADynNodalDataRequest::~QVADynNodalDataRequest() {
  mem_Free(boundaries_);
  mem_Free(solverDofs_);
}

int QVADynNodalDataRequest::NumberOfRanges() const { return numberOfRanges_; }

int QVADynNodalDataRequest::RangeSize(int range) const {
  return boundaries_[range + 1] - boundaries_[range];
}

int QVADynNodalDataRequest::RangeStart(int range) const { return solverDofs_[boundaries_[range]]; }
