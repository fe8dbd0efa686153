#pragma once

// Data kinds of the model database. A kind is a pair of small integers
// (kind, subkind) that the database turns into one type index; distributions,
// collections and data records carry such an index.
//
//   int modeShapeKind = CoreFragmentTypeIndex(6, 7);
//   QVASimCollection(modes).Position().TypePosition() == QVASimKind::Modes();

#include "platform/base/QVAPlatformExport.h"

// The type index of (kind, subkind); distinct pairs give distinct indices.
// Both numbers must lie in 0 ... 999.
QVA_PLATFORM_EXPORT int CoreFragmentTypeIndex(int kind, int subkind);

// Kinds of the collections that the database creates for its model objects.
namespace QVASimKind {
QVA_PLATFORM_EXPORT int Modes();              // (30, 3)
QVA_PLATFORM_EXPORT int Frames();             // (30, 15)
QVA_PLATFORM_EXPORT int Dofs();               // (30, 60)
QVA_PLATFORM_EXPORT int Nodes();              // (30, 1)
QVA_PLATFORM_EXPORT int LoadCases();          // (6, 14)
QVA_PLATFORM_EXPORT int ComplexNumberPart();  // (7, 4), symbols 0 (imaginary) and 4 (real)
QVA_PLATFORM_EXPORT int DofTypes();           // (21, 3), symbols 1 ... 12

// Kinds of the model objects (the TypePosition() of their positions).
QVA_PLATFORM_EXPORT int ModalSystem();        // (40, 1)
QVA_PLATFORM_EXPORT int ModalEventResults();  // (40, 2)
QVA_PLATFORM_EXPORT int FrequencyTask();      // (40, 3)
// Data kind of the per-mode energy distributions of event results, see
// QVAFsmModalEventResults::ModeFrameGridType().
QVA_PLATFORM_EXPORT int ModeFrameGrid();  // (6, 21)
}  // namespace QVASimKind
