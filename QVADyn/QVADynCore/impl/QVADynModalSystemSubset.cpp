// The active-mode subset of a modal system: a modal system over some modes of
// an opened one, built in memory. Each matrix of the source is restricted to
// the active modes of its dimensions. Where those form one run the subset
// holds a view of the source's rectangle (no copy); otherwise it holds an
// in-core copy of the selected rows and columns in its matrix container.
//
// Example: a source with structural modes 0 ... 7 and acoustic modes 8, 9.
//   active 2, 3, 4     mode shapes: view of columns 2 ... 4
//   active 0, 2, 5     mode shapes and damping: copies in the container
//   active 6, 7, 8, 9  mode shapes: view of columns 6 ... 9; acoustic damping:
//                      view of rows and columns 0 ... 1 (mode - 8); coupling:
//                      view of rows 0 ... 1, columns 6 ... 7
//   active 6, 7, 9     mode shapes: copy (gap between 7 and 9); acoustic
//                      damping and coupling: still views

#include <algorithm>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynAssertion.h"
#include "QVADynModalSystemDofDefinitionHolder.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"

namespace {

// Chunk sizes of the in-core copies (rows x columns).
constexpr int kCopyRowChunk = 128;
constexpr int kCopyColumnChunk = 32;

// Participation factors per mode, one per rigid-body direction.
constexpr int kRigidBodyDirections = 6;

// How one dimension (rows or columns) of a source matrix is restricted to the
// active modes.
struct Selection {
  // The selected rows (columns) are consecutive.
  bool contiguous = true;
  // Number of selected rows (columns); kAll selects all of them.
  int count = 0;
  // `count` mode numbers of the source, one per selected row (column).
  const int* modes = nullptr;
  // Mode number of the source matrix's first row (column).
  int offset = 0;

  static constexpr int kAll = -1;
};

// Whether modes[0 ... count - 1] is a run of consecutive mode numbers (no or
// one entry counts as a run).
bool IsRun(const int* modes, int count) {
  for (int entry = 1; entry < count; ++entry) {
    if (modes[entry] != modes[entry - 1] + 1) return false;
  }
  return true;
}

// First and last row (column) of the rectangle of a view: all of `size`, or
// the run of selected modes shifted by the offset.
int FirstIndex(const Selection& selection) {
  return selection.count == Selection::kAll ? 0 : selection.modes[0] - selection.offset;
}
int LastIndex(const Selection& selection, int size) {
  return selection.count == Selection::kAll
             ? size - 1
             : selection.modes[selection.count - 1] - selection.offset;
}

// The members of the selected rows (columns) of `source`: those of all its
// rows, or of the row of each selected mode.
std::vector<int> SelectedMembers(const QVASrvDenseMatrix& source, const Selection& selection,
                                 bool rows) {
  const int size = rows ? source.NumberOfRows() : source.NumberOfColumns();
  const int count = selection.count == Selection::kAll ? size : selection.count;
  std::vector<int> members(QVAIndex(count));
  for (int entry = 0; entry < count; ++entry) {
    const int index =
        selection.count == Selection::kAll ? entry : selection.modes[entry] - selection.offset;
    members[QVAIndex(entry)] = rows ? source.RowMember(index) : source.ColumnMember(index);
  }
  return members;
}

// The subset's matrix of `source` restricted to the selected rows and columns:
// null when there is no source or nothing is selected; a view of one rectangle
// of the source (owned by the caller) when both dimensions are contiguous;
// otherwise an in-core copy held by `container`, which is created on first
// need. Copies address the source by member, so the view's offset plays no
// part there.
QVASrvDenseMatrix* Select(const QVASrvDenseMatrix* source, const Selection& rows,
                          const Selection& columns, QVASrvMatrixContainer*& container) {
  if (source == nullptr || source->IsNull() || rows.count == 0 || columns.count == 0) {
    return nullptr;
  }
  if (rows.contiguous && columns.contiguous) {
    return source->CreateSubMatrix(FirstIndex(rows), LastIndex(rows, source->NumberOfRows()),
                                   FirstIndex(columns),
                                   LastIndex(columns, source->NumberOfColumns()));
  }
  const std::vector<int> rowMembers = SelectedMembers(*source, rows, true);
  const std::vector<int> columnMembers = SelectedMembers(*source, columns, false);
  if (container == nullptr) container = new QVASrvMatrixContainer;
  QVASrvDenseMatrix& copy =
      container->Create(container->Size(), static_cast<int>(rowMembers.size()),
                        static_cast<int>(columnMembers.size()), rowMembers.data(),
                        columnMembers.data(), kCopyRowChunk, kCopyColumnChunk);
  copy.CopyMappedValues(*source, rowMembers.data(), columnMembers.data());
  return &copy;
}

// Refuses an active-mode list that names a mode outside 0 ... numberOfModes - 1,
// names a mode twice, or lists a structural mode after an acoustic one (modes
// from firstAcousticMode on are acoustic): the split into structural and
// acoustic modes counts entries and would misread such a list.
void VerifyActiveModes(const int* activeModes, int count, int numberOfModes,
                       int firstAcousticMode) {
  std::vector<int> positionOfMode(QVAIndex(numberOfModes), -1);
  int firstAcousticPosition = -1;
  for (int position = 0; position < count; ++position) {
    const int mode = activeModes[position];
    QVA_VERIFY(mode >= 0 && mode < numberOfModes, kQVASrvIndexOutOfRange,
               "QVADynModalSystem (active-mode subset): active mode "
                   << mode << " at position " << position << " is not a mode of the source, "
                   << "whose modes are 0 ... " << numberOfModes - 1);
    int& seenAt = positionOfMode[QVAIndex(mode)];
    QVA_VERIFY(seenAt < 0, kQVABasInvalidArgument,
               "QVADynModalSystem (active-mode subset): active mode "
                   << mode << " at position " << position << " repeats position " << seenAt
                   << "; list each mode once");
    seenAt = position;
    if (mode >= firstAcousticMode) {
      if (firstAcousticPosition < 0) firstAcousticPosition = position;
      continue;
    }
    QVA_VERIFY(firstAcousticPosition < 0, kQVABasInvalidArgument,
               "QVADynModalSystem (active-mode subset): structural mode "
                   << mode << " at position " << position << " follows acoustic mode "
                   << activeModes[firstAcousticPosition] << " at position " << firstAcousticPosition
                   << "; list the structural modes (0 ... " << firstAcousticMode - 1
                   << ") before the acoustic ones");
  }
}

}  // namespace

// The first constructor only copies the two handles. Delegating to it makes
// this object complete before any step below runs, so that a step that throws
// (the precondition, a refused list, the database, the allocator) leaves the
// destructor to release what the earlier steps built.
QVADynModalSystem::QVADynModalSystem(const QVADynModalSystem& source, int numActiveModes,
                                     const int* activeModes) try
    : QVADynModalSystem(nullptr, const_cast<QVAFsmModalSystem&>(source.modal_),
                        const_cast<QVADynLogFile&>(source.logFile_)) {
  DofDefinitionHolder* emptyHolder = dofs_;
  dofs_ = source.dofs_->Share();
  emptyHolder->Release();
  isSubset_ = true;
  numberOfModes_ = numActiveModes;

  const int numOrigModes = source.numberOfModes_;
  if (!(numActiveModes > 0 && numActiveModes < numOrigModes && activeModes != nullptr)) {
    QVADynAssertionFailure(kQVADynActiveModeSubsetAssertion);
  }
  const int firstAcousticMode = numOrigModes - source.numberOfAcousticModes_;
  VerifyActiveModes(activeModes, numActiveModes, numOrigModes, firstAcousticMode);

  const int numStructural = static_cast<int>(
      std::count_if(activeModes, activeModes + numActiveModes,
                    [firstAcousticMode](int mode) { return mode < firstAcousticMode; }));
  const int numAcoustic = numActiveModes - numStructural;
  numberOfAcousticModes_ = numAcoustic;
  const int* structuralModes = activeModes;
  const int* acousticModes = activeModes + numStructural;
  const bool structuralRun = IsRun(structuralModes, numStructural);
  const bool acousticRun = IsRun(acousticModes, numAcoustic);
  const bool gap = structuralRun && acousticRun && numStructural > 0 && numAcoustic > 0 &&
                   acousticModes[0] != structuralModes[numStructural - 1] + 1;
  const bool wholeRun = (structuralRun && numAcoustic == 0) ||
                        (acousticRun && numStructural == 0) ||
                        (structuralRun && acousticRun && !gap);

  const Selection allRows{true, Selection::kAll, nullptr, 0};
  const Selection active{wholeRun, numActiveModes, activeModes, 0};
  const Selection structural{structuralRun, numStructural, structuralModes, 0};
  const Selection acoustic{acousticRun, numAcoustic, acousticModes, firstAcousticMode};
  modeShapes_ = Select(source.modeShapes_, allRows, active, container_);
  viscousDamping_ = Select(source.viscousDamping_, structural, structural, container_);
  structuralDamping_ = Select(source.structuralDamping_, structural, structural, container_);
  acousticViscousDamping_ = Select(source.acousticViscousDamping_, acoustic, acoustic, container_);
  acousticCoupling_ = Select(source.acousticCoupling_, acoustic, structural, container_);

  if (source.eigenvalues_ != nullptr) {
    eigenvalues_ = mem_AllocArray<double>(QVAIndex(numActiveModes));
    for (int mode = 0; mode < numActiveModes; ++mode) {
      eigenvalues_[mode] = source.eigenvalues_[activeModes[mode]];
    }
  }

  // The active modes as members of the modes collection: the members of the
  // source's mode-shape columns (the mode numbers themselves for a source
  // opened over the database).
  std::vector<int> activeMembers(activeModes, activeModes + numActiveModes);
  if (source.modeShapes_ != nullptr && !source.modeShapes_->IsNull()) {
    for (int& member : activeMembers) member = source.modeShapes_->ColumnMember(member);
  }

  const QVASimDistributionID storedFactors = modal_.ParticipationFactors();
  if (storedFactors.IsValid()) {
    const QVASrvDenseMatrix factors(storedFactors);
    QVASrvMatrix all(factors.NumberOfRows(), kRigidBodyDirections);
    factors.GetValues(0, factors.NumberOfRows() - 1, 0, kRigidBodyDirections - 1, all);
    participationFactors_[0] =
        mem_AllocArray<double>(QVAIndex(numActiveModes) * kRigidBodyDirections);
    for (int mode = 0; mode < numActiveModes; ++mode) {
      const int member = activeMembers[QVAIndex(mode)];
      const int row = factors.RowOfMember(member);
      QVA_VERIFY(row >= 0, kQVASimInconsistent,
                 "QVADynModalSystem (active-mode subset): the stored participation factors "
                     << "hold no row for mode " << member);
      for (int direction = 0; direction < kRigidBodyDirections; ++direction) {
        participationFactors_[0][mode + numActiveModes * direction] = all(row, direction);
      }
    }
  }

  BuildModeColumnMap();

  const QVASimCSetID residualModes = modal_.ResidualModes();
  if (residualModes.IsValid()) {
    const QVASimCSet residual(residualModes);
    const QVASimCSet activeSet(
        QVASimCollection(residual.Collection())
            .CreateVolatileCSet(activeMembers.data(), numActiveModes, false));
    numberOfResidualModes_ = QVASimCSet(activeSet.Intersection(residual)).Size();
  }

  if (source.readModes_) BeginReadModes();
  if (source.nodeStart_ != nullptr) BeginNodalModeAccess(nullptr);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::QVADynModalSystem");
}
