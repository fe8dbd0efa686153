#pragma once

// A data request over the solver DOFs of selected nodes: the rows of a
// mode-shape matrix that belong to the flagged nodes, cut into runs of
// consecutive rows. Rows at or beyond the matrix's row count are left out.
//
//   flagged nodes with solver DOFs 4, 5, 6, 10, 11 and numRows = 12:
//     NumberOfRanges() == 2; RangeStart(0) == 4, RangeSize(0) == 3;
//                            RangeStart(1) == 10, RangeSize(1) == 2.
//   the same with numRows = 11: sizes 3 and 1 (DOF 11 is dropped).

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/matrix/QVASrvDataRequest.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

class QVADYN_EXPORT QVADynNodalDataRequest : public QVASrvDataRequest {
 public:
  // The solver DOFs below `numRows` of the nodes whose flag is true (all nodes
  // when `nodes` is null; otherwise dofs.NumberOfNodes() flags).
  QVADynNodalDataRequest(const QVAFsmSystemDofDefinition& dofs, const bool* nodes, int numRows);
  QVADynNodalDataRequest(const QVADynNodalDataRequest&) = delete;
  QVADynNodalDataRequest& operator=(const QVADynNodalDataRequest&) = delete;
  ~QVADynNodalDataRequest() override;

  int NumberOfRanges() const override;
  // Number of rows of range `range` (0 ... NumberOfRanges() - 1).
  int RangeSize(int range) const override;
  // First row (solver DOF) of range `range`.
  int RangeStart(int range) const override;

 private:
  int numberOfRanges_ = 0;
  // Range i covers list entries boundaries_[i] ... boundaries_[i + 1] - 1.
  int* boundaries_ = nullptr;
  int* solverDofs_ = nullptr;
};
