#pragma once

// Holds in-core dense matrices made for one owner and deletes them with itself.
//
//   QVASrvMatrixContainer container;
//   QVASrvDenseMatrix& copy = container.Create(container.Size(), 3, 3, modes, modes, 128, 32);
//   copy.CopyMappedValues(source, modes, modes);

#include "platform/base/QVAPlatformExport.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvDenseMatrix.h"

class QVA_PLATFORM_EXPORT QVASrvMatrixContainer : public mem_AllocationOperators {
 public:
  QVASrvMatrixContainer();
  QVASrvMatrixContainer(const QVASrvMatrixContainer&) = delete;
  QVASrvMatrixContainer& operator=(const QVASrvMatrixContainer&) = delete;
  ~QVASrvMatrixContainer();

  // A new zero matrix of rows x columns with the given chunk sizes, held at
  // `index` (which must be Size(): matrices are appended). The member lists
  // (may be null) become the members of its rows and columns.
  QVASrvDenseMatrix& Create(int index, int rows, int columns, const int* rowMembers,
                            const int* columnMembers, int rowChunk, int columnChunk);
  int Size() const;
  QVASrvDenseMatrix& operator[](int index) const;
  // Whether `matrix` is one of the held matrices.
  bool Holds(const QVASrvDenseMatrix* matrix) const;

 private:
  struct Data;
  Data* data_;
};
