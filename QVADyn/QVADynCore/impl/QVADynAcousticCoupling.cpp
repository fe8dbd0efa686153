#include "QVADyn/QVADynCore/QVADynAcousticCoupling.h"

#include <cstddef>
#include <memory>
#include <vector>

#include "QVADynBoundary.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDistributionID.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimPosition.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

// Chunk sizes of the scratch product coupling * Phi_s.
constexpr int kProductRowChunk = 128;
constexpr int kProductColumnChunk = 32;

// Ordered set over `dofCollection` of the system DOFs of solver DOFs
// firstSolverDof ... firstSolverDof + count - 1.
QVASimCSetID SystemDofSet(const QVAFsmSystemDofDefinition& dofs,
                          const QVASimCollection& dofCollection, int firstSolverDof, int count) {
  std::vector<int> systemDofs(QVAIndex(count));
  for (int position = 0; position < count; ++position) {
    systemDofs[QVAIndex(position)] = dofs.SystemDofFromSolverDof(firstSolverDof + position);
  }
  return dofCollection.CreateOrderedCSet(systemDofs.data(), count);
}

}  // namespace

void QVADynExportDofCouplingToSim(QVASrvSparseMatrix& coupling, QVAFsmModalSystem& modal,
                                  QVAFsmSystemDofDefinition& dofs) try {
  const int acousticRows = coupling.NumberOfRows();
  const int structuralColumns = coupling.NumberOfColumns();
  const int solverDofs = dofs.NumberOfSolverDofs();
  const int acousticDofs = dofs.NumberOfSolverAcousticDofs();
  const int firstAcousticDof = solverDofs - acousticDofs;
  QVA_VERIFY(acousticRows <= acousticDofs, kQVABasInvalidArgument,
             "QVADynExportDofCouplingToSim: the coupling has "
                 << acousticRows << " rows, more than the " << acousticDofs
                 << " acoustic solver DOFs");
  QVA_VERIFY(structuralColumns <= firstAcousticDof, kQVABasInvalidArgument,
             "QVADynExportDofCouplingToSim: the coupling has "
                 << structuralColumns << " columns, more than the " << firstAcousticDof
                 << " structural solver DOFs");

  const QVASimPosition position = modal.MyPosition();
  QVASimTransaction transaction(position.Context());
  const QVASimCollection dofCollection(modal.Dofs());
  const QVASimCSetID columnSet =
      SystemDofSet(dofs, dofCollection, firstAcousticDof - structuralColumns, structuralColumns);
  const QVASimCSetID rowSet = SystemDofSet(dofs, dofCollection, firstAcousticDof, acousticRows);
  const QVASimDistributionID distribution = QVASrvUtilities::CreateSparseDistribution(
      position, QVATypeIndex(QVADataKinds::kSparseCoupling), rowSet, columnSet);
  coupling.Export(rowSet, columnSet, distribution);
  modal.SetAcousticDofCoupling(transaction, distribution);
  transaction.Commit();
} catch (...) {
  QVABasRaiseAtBoundary("QVADynExportDofCouplingToSim");
}

void QVADynProjectAcousticCoupling(const QVASrvSparseMatrix& coupling, QVASrvDenseMatrix& projected,
                                   const QVASrvDenseMatrix& modes, int firstAcousticRow) try {
  const int acousticDofs = coupling.NumberOfRows();
  const int structuralDofs = coupling.NumberOfColumns();
  const int acousticModes = projected.NumberOfRows();
  const int structuralModes = projected.NumberOfColumns();
  const int modeCount = modes.NumberOfColumns();
  QVA_VERIFY(structuralModes <= modeCount && acousticModes == modeCount - structuralModes,
             kQVASrvSizeMismatch,
             "QVADynProjectAcousticCoupling: the projected coupling is "
                 << acousticModes << " x " << structuralModes << "; with " << modeCount
                 << " mode columns it must be (" << modeCount << " - q) x q");
  QVA_VERIFY(
      firstAcousticRow >= structuralDofs && firstAcousticRow <= modes.NumberOfRows() - acousticDofs,
      kQVASrvSizeMismatch,
      "QVADynProjectAcousticCoupling: first acoustic row "
          << firstAcousticRow << " with a " << acousticDofs << " x " << structuralDofs
          << " coupling needs rows " << firstAcousticRow - structuralDofs << " ... "
          << firstAcousticRow + acousticDofs - 1 << " inside the " << modes.NumberOfRows()
          << " rows of the mode shapes");
  if (acousticModes == 0 || structuralModes == 0) return;

  const std::unique_ptr<QVASrvDenseMatrix> structuralShapes(modes.CreateSubMatrix(
      firstAcousticRow - structuralDofs, firstAcousticRow - 1, 0, structuralModes - 1));
  QVASrvScratchDenseMatrix couplingTimesShapes(acousticDofs, structuralModes, kProductRowChunk,
                                               kProductColumnChunk);
  coupling.MultiplyDense(*structuralShapes, couplingTimesShapes, false);

  const std::unique_ptr<QVASrvDenseMatrix> acousticShapes(modes.CreateSubMatrix(
      firstAcousticRow, firstAcousticRow + acousticDofs - 1, structuralModes, modeCount - 1));
  QVASrvMatrix product(acousticModes, structuralModes);
  acousticShapes->TransposeMultiply(couplingTimesShapes, product.Values(), false);
  projected.SetValues(0, acousticModes - 1, 0, structuralModes - 1, product);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynProjectAcousticCoupling");
}
