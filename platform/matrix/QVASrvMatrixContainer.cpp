#include "platform/matrix/QVASrvMatrixContainer.h"

#include <memory>
#include <vector>

#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/matrix/impl/QVASrvDenseMatrixView.h"

namespace {

// An in-core matrix whose rows and columns carry the members of a list.
class QVASrvContainedDenseMatrix : public QVASrvScratchDenseMatrix {
 public:
  QVASrvContainedDenseMatrix(int rows, int columns, const int* rowMembers, const int* columnMembers,
                             int rowChunk, int columnChunk)
      : QVASrvScratchDenseMatrix(rows, columns, rowChunk, columnChunk) {
    view_->rowMembers.SetList(rowMembers, rows);
    view_->columnMembers.SetList(columnMembers, columns);
  }
};

}  // namespace

struct QVASrvMatrixContainer::Data {
  std::vector<std::unique_ptr<QVASrvDenseMatrix>> matrices;
};

QVASrvMatrixContainer::QVASrvMatrixContainer() : data_(new Data) {}

QVASrvMatrixContainer::~QVASrvMatrixContainer() { delete data_; }

QVASrvDenseMatrix& QVASrvMatrixContainer::Create(int index, int rows, int columns,
                                                 const int* rowMembers, const int* columnMembers,
                                                 int rowChunk, int columnChunk) {
  QVA_VERIFY(
      index == Size(), kQVASrvIndexOutOfRange,
      "QVASrvMatrixContainer::Create: index " << index << " must be the next one, " << Size());
  data_->matrices.push_back(std::make_unique<QVASrvContainedDenseMatrix>(
      rows, columns, rowMembers, columnMembers, rowChunk, columnChunk));
  return *data_->matrices.back();
}

int QVASrvMatrixContainer::Size() const { return static_cast<int>(data_->matrices.size()); }

QVASrvDenseMatrix& QVASrvMatrixContainer::operator[](int index) const {
  QVA_VERIFY(
      index >= 0 && index < Size(), kQVASrvIndexOutOfRange,
      "QVASrvMatrixContainer::operator[]: index " << index << " outside 0 ... " << Size() - 1);
  return *data_->matrices[QVAIndex(index)];
}

bool QVASrvMatrixContainer::Holds(const QVASrvDenseMatrix* matrix) const {
  for (const auto& held : data_->matrices) {
    if (held.get() == matrix) return true;
  }
  return false;
}
