#include "QVADynBlockedRecovery.h"

#include <algorithm>
#include <cstdlib>

#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCollection.h"

namespace {

const QVASrvDenseMatrix& ModeShapesOf(const QVADynModalSystem& system) {
  const QVASrvDenseMatrix* modeShapes = system.ModeShapes();
  QVA_VERIFY(modeShapes != nullptr, kQVASrvInvalidState,
             "QVADynBlockedRecovery: the modal system has no mode shapes; open it before the "
             "recovery");
  return *modeShapes;
}

}  // namespace

QVADynBlockedRecovery::QVADynBlockedRecovery(const QVADynModalSystem& system, const int* solverDofs,
                                             int count, int numberOfFrames)
    : modeShapes_(ModeShapesOf(system)),
      solverDofs_(solverDofs),
      count_(count),
      dofs_(system.DofDefinition()) {
  ranges_ = QVASrvFindContiguousRanges(solverDofs, count, RangeLimit(system), numberOfRanges_);
  rowBlock_ = std::min(count, modeShapes_.MaxNumberOfRowsInBlock());
  columnBlock_ = std::min(numberOfFrames, QVADynUtilities::ResultsColBlocksize());
  QVASrvUtilities::LimitChunkSize2GB(rowBlock_, columnBlock_, count, numberOfFrames);
}

QVADynBlockedRecovery::~QVADynBlockedRecovery() { mem_Free(ranges_); }

int QVADynBlockedRecovery::RangeLimit(const QVADynModalSystem& system) {
  if (const char* setting = std::getenv("TOR_DYN_MAX_RECOVERY_SIZE")) return std::atoi(setting);
  return ModeShapesOf(system).MaxNumberOfRowsInBlock();
}

cow_String QVADynBlockedRecovery::RangeLines() const {
  cow_String lines(kQVADynLogRecoveryDofs);
  lines.AppendInt(count_).Append(kQVADynLogLineEnd);
  lines.Append(kQVADynLogRecoveryDofRanges).AppendInt(numberOfRanges_).Append(kQVADynLogLineEnd);
  return lines;
}

QVASimCSetID QVADynBlockedRecovery::CreateDofSet(const QVAFsmModalEventResults& results) const {
  std::vector<int> systemDofs(QVAIndex(count_));
  for (int k = 0; k < count_; ++k) {
    systemDofs[QVAIndex(k)] = dofs_.SystemDofFromSolverDof(solverDofs_[k]);
  }
  return QVASimCollection(results.Dofs()).CreateOrderedCSet(systemDofs.data(), count_);
}

void QVADynBlockedRecovery::Multiply(const QVASrvDenseMatrix& amplitudes, const int* activeModes,
                                     QVASrvDenseMatrix& out) {
  const int modes = modeShapes_.NumberOfColumns();
  const int frames = amplitudes.NumberOfColumns();
  if (amplitudesOnModes_.NumberOfRows() != modes ||
      amplitudesOnModes_.NumberOfColumns() != frames) {
    amplitudesOnModes_ = QVASrvMatrix(modes, frames);
  }
  amplitudes.CopyRowsToMemory(activeModes, modes, amplitudesOnModes_);
  modeShapes_.MultiplyRowRanges(amplitudesOnModes_, out, solverDofs_, ranges_, numberOfRanges_);
}
