#pragma once

// A temporary dense matrix that owns zero-initialised values, with the given
// chunk sizes, not in the model database.
//
//   QVASrvScratchDenseMatrix products(rows, modes, 128, 32);

#include "platform/base/QVAPlatformExport.h"
#include "platform/matrix/QVASrvDenseMatrix.h"

class QVA_PLATFORM_EXPORT QVASrvScratchDenseMatrix : public QVASrvDenseMatrix {
 public:
  QVASrvScratchDenseMatrix(int rows, int columns, int rowChunk, int columnChunk);
  ~QVASrvScratchDenseMatrix() override;
};
