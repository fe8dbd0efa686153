#include "platform/matrix/QVASrvScratchDenseMatrix.h"

#include "platform/matrix/impl/QVASrvDenseMatrixView.h"

QVASrvScratchDenseMatrix::QVASrvScratchDenseMatrix(int rows, int columns, int rowChunk,
                                                   int columnChunk) {
  view_->AllocateOwned(rows, columns);
  view_->SetChunks(rowChunk, columnChunk);
}

QVASrvScratchDenseMatrix::~QVASrvScratchDenseMatrix() = default;
