#include "platform/modeldb/QVASimKinds.h"

#include "internal/QVADataKinds.h"
#include "platform/base/QVABasException.h"

namespace {
constexpr int kLargestKindNumber = 999;
}  // namespace

int CoreFragmentTypeIndex(int kind, int subkind) {
  QVA_VERIFY(
      kind >= 0 && kind <= kLargestKindNumber && subkind >= 0 && subkind <= kLargestKindNumber,
      kQVABasInvalidArgument,
      "CoreFragmentTypeIndex: kind (" << kind << ", " << subkind << ") outside 0 ... "
                                      << kLargestKindNumber);
  return kind * (kLargestKindNumber + 1) + subkind;
}

namespace QVASimKind {
int Modes() { return QVATypeIndex(QVADataKinds::kModes); }
int Frames() { return QVATypeIndex(QVADataKinds::kFrames); }
int Dofs() { return QVATypeIndex(QVADataKinds::kDofs); }
int Nodes() { return QVATypeIndex(QVADataKinds::kNodes); }
int LoadCases() { return QVATypeIndex(QVADataKinds::kLoadCases); }
int ComplexNumberPart() { return QVATypeIndex(QVADataKinds::kComplexNumberPart); }
int DofTypes() { return QVATypeIndex(QVADataKinds::kDofTypes); }
int ModalSystem() { return QVATypeIndex(QVADataKinds::kModalSystem); }
int ModalEventResults() { return QVATypeIndex(QVADataKinds::kModalEventResults); }
int FrequencyTask() { return QVATypeIndex(QVADataKinds::kFrequencyTask); }
int ModeFrameGrid() { return QVATypeIndex(QVADataKinds::kModeFrameGrid); }
}  // namespace QVASimKind
