#include "platform/modeldb/QVASimKinds.h"

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
int Modes() { return CoreFragmentTypeIndex(30, 3); }
int Frames() { return CoreFragmentTypeIndex(30, 15); }
int Dofs() { return CoreFragmentTypeIndex(30, 60); }
int Nodes() { return CoreFragmentTypeIndex(30, 1); }
int LoadCases() { return CoreFragmentTypeIndex(6, 14); }
int ComplexNumberPart() { return CoreFragmentTypeIndex(7, 4); }
int DofTypes() { return CoreFragmentTypeIndex(21, 3); }
int ModalSystem() { return CoreFragmentTypeIndex(40, 1); }
int ModalEventResults() { return CoreFragmentTypeIndex(40, 2); }
int FrequencyTask() { return CoreFragmentTypeIndex(40, 3); }
int ModeFrameGrid() { return CoreFragmentTypeIndex(6, 21); }
}  // namespace QVASimKind
