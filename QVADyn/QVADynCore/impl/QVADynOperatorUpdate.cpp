#include "QVADyn/QVADynCore/QVADynOperatorUpdate.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynBoundary.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

namespace {

// Places of the projected operators in a lower or upper set.
enum SetSlot : int {
  kStiffnessSlot = 0,
  kViscousSlot = 1,
  kStructuralSlot = 2,
  kAcousticStiffnessSlot = 3,
  kAcousticDampingSlot = 4
};
constexpr int kStructuralSlots = 3;

using OwnedSparse = std::unique_ptr<QVASrvSparseMatrix>;

bool IsAbsent(const QVASrvSparseMatrix* op) { return op == nullptr || op->IsNull(); }

// op - reference as a new matrix; an absent operand counts as zero.
OwnedSparse Difference(const OwnedSparse& op, const QVASrvSparseMatrix* reference) {
  const QVASrvSparseMatrix absent;
  auto difference = std::make_unique<QVASrvSparseMatrix>();
  difference->Subtract(IsAbsent(op.get()) ? absent : *op,
                       IsAbsent(reference) ? absent : *reference);
  return difference;
}

// A product scratch of the shape and blocking of `shapes`.
QVASrvScratchDenseMatrix* NewProducts(const QVASrvDenseMatrix& shapes) {
  return new QVASrvScratchDenseMatrix(shapes.NumberOfRows(), shapes.NumberOfColumns(),
                                      shapes.MaxNumberOfRowsInBlock(),
                                      shapes.MaxNumberOfColumnsInBlock());
}

void ReleaseSet(QVASrvMatrix** set) {
  for (int slot = 0; slot < QVADynOperatorUpdate::kOperatorsPerSet; ++slot) {
    delete set[slot];
    set[slot] = nullptr;
  }
}

}  // namespace

QVADynOperatorUpdate::QVADynOperatorUpdate(QVADynGenerateOperators* generator, bool firstFlag,
                                           bool differenceMode, double referenceFrequency,
                                           int* frameTable, double* frequencyTable,
                                           QVADynDomainType domain) try
    : generator_(generator),
      frequencyTable_(frequencyTable),
      frameTable_(frameTable),
      domain_(domain),
      referenceFrequency_(referenceFrequency),
      firstFlag_(firstFlag),
      differenceMode_(differenceMode) {
  if (!differenceMode_) return;
  try {
    QVA_VERIFY(generator_ != nullptr, kQVABasInvalidArgument,
               "QVADynOperatorUpdate: difference mode needs a generator for the reference "
               "operators at frequency "
                   << referenceFrequency_);
    QVAFsmSystemDofDefinition* dofs = nullptr;
    generator_->Generate(referenceFrequency_, false, &dofs, QVADynStructuralDomain);
    referenceStiffness_ = generator_->StiffnessOperator();
    referenceViscousDamping_ = generator_->ViscousDampingOperator();
    referenceStructuralDamping_ = generator_->StructuralDampingOperator();
  } catch (...) {
    Release();
    throw;
  }
} catch (...) {
  QVABasRaiseAtBoundary("QVADynOperatorUpdate::QVADynOperatorUpdate");
}

QVADynOperatorUpdate::~QVADynOperatorUpdate() { Release(); }

void QVADynOperatorUpdate::Release() {
  delete generator_;
  generator_ = nullptr;
  delete structuralModeShapes_;
  structuralModeShapes_ = nullptr;
  delete acousticModeShapes_;
  acousticModeShapes_ = nullptr;
  delete structuralProducts_;
  structuralProducts_ = nullptr;
  delete acousticProducts_;
  acousticProducts_ = nullptr;
  delete referenceStiffness_;
  referenceStiffness_ = nullptr;
  delete referenceViscousDamping_;
  referenceViscousDamping_ = nullptr;
  delete referenceStructuralDamping_;
  referenceStructuralDamping_ = nullptr;
  ReleaseSet(lowerSet_);
  ReleaseSet(upperSet_);
  mem_Free(frameTable_);
  frameTable_ = nullptr;
  mem_Free(frequencyTable_);
  frequencyTable_ = nullptr;
}

bool QVADynOperatorUpdate::UpdatesStructure() const { return domain_ != QVADynAcousticDomain; }

bool QVADynOperatorUpdate::UpdatesFluid(const QVADynModalOperators& ops) const {
  return domain_ != QVADynStructuralDomain && ops.HasAcousticCoupling() &&
         ops.NumberOfAcousticModes() > 0;
}

QVASrvMatrix* QVADynOperatorUpdate::NewMatrix(int n) const {
  return new QVASrvMatrix(n, n, nullptr, firstFlag_, false);
}

void QVADynOperatorUpdate::MakeSet(const QVADynModalOperators& ops, OperatorSet& set) const {
  const int structural = ops.NumberOfStructuralModes();
  const int acoustic = std::max(ops.NumberOfAcousticModes(), 1);
  for (int slot = 0; slot < kOperatorsPerSet; ++slot) {
    set[slot] = NewMatrix(slot < kStructuralSlots ? structural : acoustic);
  }
}

// ------------------------------------------------------------------ mode shapes

const QVASrvDenseMatrix& QVADynOperatorUpdate::StructuralModeShapes(
    const QVADynModalOperators& ops, int code, const QVAFsmSystemDofDefinition* dofs) {
  const QVADynModalSystem& system = ops.ModalSystem();
  if (structuralModeShapes_ == nullptr) {
    const QVAFsmSystemDofDefinition& systemDofs = system.DofDefinition();
    const QVASrvDenseMatrix& modeShapes = *system.ModeShapes();
    const int rows = code == QVADynAllDomains ? systemDofs.NumberOfSolverDofs()
                                              : systemDofs.NumberOfSolverDofs() -
                                                    systemDofs.NumberOfSolverAcousticDofs();
    QVA_VERIFY(rows <= modeShapes.NumberOfRows(), kQVASrvInvalidState,
               "QVADynOperatorUpdate::Update: the structural operators (domain code "
                   << code << ") act on " << rows << " solver DOFs, but the mode shapes have "
                   << modeShapes.NumberOfRows() << " rows");
    structuralModeShapes_ =
        modeShapes.CreateSubMatrix(0, rows - 1, 0, ops.NumberOfStructuralModes() - 1);
  }
  if (differenceMode_ && !rowsRemapped_) {
    RemapStructuralRows(system.DofDefinition(), dofs);
    rowsRemapped_ = true;
  }
  if (structuralProducts_ == nullptr) structuralProducts_ = NewProducts(*structuralModeShapes_);
  return *structuralModeShapes_;
}

void QVADynOperatorUpdate::RemapStructuralRows(const QVAFsmSystemDofDefinition& systemDofs,
                                               const QVAFsmSystemDofDefinition* generatorDofs) {
  QVA_VERIFY(generatorDofs != nullptr, kQVABasInvalidArgument,
             "QVADynOperatorUpdate::Update: the operator generator named no DOF definition for "
             "its structural operators; difference mode needs one to order the mode shapes");
  const QVASrvDenseMatrix& shapes = *structuralModeShapes_;
  const int shapeRows = shapes.NumberOfRows();
  const int generatorRows = generatorDofs->NumberOfSolverDofs();
  const int systemDofCount = systemDofs.NumberOfDofs();

  // Mode-shape row of each solver DOF of the generator's numbering.
  std::vector<int> sourceRow(QVAIndex(generatorRows));
  for (int row = 0; row < generatorRows; ++row) {
    const int systemDof = generatorDofs->SystemDofFromSolverDof(row);
    const int shapeRow = systemDof >= 0 && systemDof < systemDofCount
                             ? systemDofs.SolverDofFromSystemDof(systemDof)
                             : -1;
    QVA_VERIFY(shapeRow >= 0 && shapeRow < shapeRows, kQVABasInvalidArgument,
               "QVADynOperatorUpdate::Update: solver DOF "
                   << row << " (system DOF " << systemDof
                   << ") of the operator generator is not among the " << shapeRows
                   << " structural mode-shape rows; every DOF the generator numbers must be a "
                      "structural solver DOF of the modal system");
    sourceRow[QVAIndex(row)] = shapeRow;
  }

  // Column block by column block, so that only one block is held in core.
  auto remapped = std::make_unique<QVASrvScratchDenseMatrix>(
      generatorRows, shapes.NumberOfColumns(), shapes.MaxNumberOfRowsInBlock(),
      shapes.MaxNumberOfColumnsInBlock());
  for (int block = 0; block < shapes.NumberOfColumnBlocks(); ++block) {
    const int first = shapes.FirstColumnInBlock(block);
    const int columns = shapes.NumberOfColumnsInBlock(block);
    QVASrvMatrix modeShapeBlock(shapeRows, columns);
    shapes.GetColumns(first, first + columns - 1, modeShapeBlock);
    QVASrvMatrix reordered(generatorRows, columns);
    for (int column = 0; column < columns; ++column) {
      for (int row = 0; row < generatorRows; ++row) {
        reordered(row, column) = modeShapeBlock(sourceRow[QVAIndex(row)], column);
      }
    }
    remapped->SetColumns(first, first + columns - 1, reordered);
  }
  delete structuralModeShapes_;
  structuralModeShapes_ = remapped.release();
}

const QVASrvDenseMatrix& QVADynOperatorUpdate::AcousticModeShapes(const QVADynModalOperators& ops) {
  if (acousticModeShapes_ == nullptr) {
    const QVADynModalSystem& system = ops.ModalSystem();
    const QVAFsmSystemDofDefinition& systemDofs = system.DofDefinition();
    const QVASrvDenseMatrix& modeShapes = *system.ModeShapes();
    const int solverDofs = systemDofs.NumberOfSolverDofs();
    int firstRow = 0;
    while (firstRow < solverDofs && systemDofs.DofLabel(systemDofs.NodeDofFromSolverDof(
                                        firstRow)) != QVAFsmSystemDofDefinition::kAcousticLabel) {
      ++firstRow;
    }
    QVA_VERIFY(firstRow < solverDofs, kQVABasInvalidArgument,
               "QVADynOperatorUpdate::Update: the model is coupled to a fluid, but none of its "
                   << solverDofs << " solver DOFs carries the acoustic label "
                   << QVAFsmSystemDofDefinition::kAcousticLabel);
    QVA_VERIFY(solverDofs <= modeShapes.NumberOfRows(), kQVASrvInvalidState,
               "QVADynOperatorUpdate::Update: the acoustic operators act on solver DOFs "
                   << firstRow << " ... " << solverDofs - 1 << ", but the mode shapes have "
                   << modeShapes.NumberOfRows() << " rows");
    const int modes = system.NumberOfModes();
    acousticModeShapes_ = modeShapes.CreateSubMatrix(
        firstRow, solverDofs - 1, modes - ops.NumberOfAcousticModes(), modes - 1);
  }
  if (acousticProducts_ == nullptr) acousticProducts_ = NewProducts(*acousticModeShapes_);
  return *acousticModeShapes_;
}

// -------------------------------------------------------- generate and project

void QVADynOperatorUpdate::Project(const QVASrvSparseMatrix* op, const QVASrvDenseMatrix& shapes,
                                   QVASrvScratchDenseMatrix& products, QVASrvMatrix& result) const {
  if (IsAbsent(op)) {
    result = 0.0;
    return;
  }
  op->MultiplyDense(shapes, products, false);
  shapes.TransposeMultiply(products, result.Values(), firstFlag_);
}

void QVADynOperatorUpdate::GenerateAndProject(QVADynModalOperators& ops, double frequency,
                                              QVASrvMatrix* const* set) {
  QVAFsmSystemDofDefinition* dofs = nullptr;
  if (UpdatesStructure()) {
    const int code = ops.HasAcousticCoupling() ? QVADynStructuralDomain : QVADynAllDomains;
    generator_->Generate(frequency, !firstFlag_, &dofs, code);
    const QVASrvDenseMatrix& shapes = StructuralModeShapes(ops, code, dofs);
    OwnedSparse operators[kStructuralSlots] = {
        OwnedSparse(generator_->StiffnessOperator()),
        OwnedSparse(generator_->ViscousDampingOperator()),
        OwnedSparse(generator_->StructuralDampingOperator())};
    if (differenceMode_) {
      const QVASrvSparseMatrix* references[kStructuralSlots] = {
          referenceStiffness_, referenceViscousDamping_, referenceStructuralDamping_};
      for (int slot = 0; slot < kStructuralSlots; ++slot) {
        operators[slot] = Difference(operators[slot], references[slot]);
      }
    }
    for (int slot = 0; slot < kStructuralSlots; ++slot) {
      if (set != nullptr) {
        Project(operators[slot].get(), shapes, *structuralProducts_, *set[slot]);
      } else {
        const std::unique_ptr<QVASrvMatrix> projected(NewMatrix(shapes.NumberOfColumns()));
        Project(operators[slot].get(), shapes, *structuralProducts_, *projected);
        Write(ops, slot, *projected);
      }
    }
  }
  if (UpdatesFluid(ops)) {
    generator_->Generate(frequency, !firstFlag_, &dofs, QVADynAcousticDomain);
    const QVASrvDenseMatrix& shapes = AcousticModeShapes(ops);
    OwnedSparse operators[2] = {OwnedSparse(generator_->StiffnessOperator()),
                                OwnedSparse(generator_->ViscousDampingOperator())};
    if (differenceMode_) {
      operators[0] = Difference(operators[0], referenceStiffness_);
      operators[1] = Difference(operators[1], referenceViscousDamping_);
    }
    const int slots[2] = {kAcousticStiffnessSlot, kAcousticDampingSlot};
    for (int k = 0; k < 2; ++k) {
      if (set != nullptr) {
        Project(operators[k].get(), shapes, *acousticProducts_, *set[slots[k]]);
      } else {
        const std::unique_ptr<QVASrvMatrix> projected(NewMatrix(shapes.NumberOfColumns()));
        Project(operators[k].get(), shapes, *acousticProducts_, *projected);
        Write(ops, slots[k], *projected);
      }
    }
  }
}

// ------------------------------------------------------------ writing the bundle

void QVADynOperatorUpdate::Write(QVADynModalOperators& ops, int slot,
                                 const QVASrvMatrix& projected) const {
  if (differenceMode_ && slot < kStructuralSlots && ops.SavedStiffness() == nullptr) {
    // The operators as built, before the first write replaces them.
    const auto copy = [this](const QVASrvMatrix& built) {
      std::unique_ptr<QVASrvMatrix> saved(NewMatrix(built.NumberOfRows()));
      for (int column = 0; column < built.NumberOfColumns(); ++column) {
        for (int row = 0; row < built.NumberOfRows(); ++row) {
          (*saved)(row, column) = built(row, column);
        }
      }
      return saved;
    };
    const QVADynModalOperators& built = ops;
    std::unique_ptr<QVASrvMatrix> stiffness = copy(*built.Stiffness());
    std::unique_ptr<QVASrvMatrix> viscous = copy(*built.ViscousDamping());
    std::unique_ptr<QVASrvMatrix> structural = copy(*built.StructuralDamping());
    ops.AdoptSavedStiffness(stiffness.release());
    ops.AdoptSavedViscousDamping(viscous.release());
    ops.AdoptSavedStructuralDamping(structural.release());
  }
  switch (slot) {
    case kStiffnessSlot:
      *ops.Stiffness() = projected;
      if (differenceMode_) ops.Stiffness()->Add(1.0, *ops.SavedStiffness());
      break;
    case kViscousSlot:
      *ops.ViscousDamping() = projected;
      if (differenceMode_) ops.ViscousDamping()->Add(1.0, *ops.SavedViscousDamping());
      ops.ViscousDamping()->Add(1.0, *ops.ViscousDampingDiagonal());
      break;
    case kStructuralSlot:
      *ops.StructuralDamping() = projected;
      if (differenceMode_) ops.StructuralDamping()->Add(1.0, *ops.SavedStructuralDamping());
      ops.StructuralDamping()->Add(1.0, *ops.StructuralDampingDiagonal());
      break;
    case kAcousticStiffnessSlot:
      *ops.AcousticStiffness() = projected;
      break;
    default:
      *ops.AcousticViscousDamping() = projected;
      ops.AcousticViscousDamping()->Add(1.0, *ops.AcousticViscousDampingDiagonal());
      break;
  }
}

void QVADynOperatorUpdate::WriteInterpolated(QVADynModalOperators& ops, double t,
                                             const QVASrvMatrix* const* lower,
                                             const QVASrvMatrix* const* upper) const {
  const auto writeSlot = [&](int slot) {
    const std::unique_ptr<QVASrvMatrix> interpolated(NewMatrix(lower[slot]->NumberOfRows()));
    interpolated->Interpolate(t, *lower[slot], *upper[slot]);
    Write(ops, slot, *interpolated);
  };
  if (UpdatesStructure()) {
    for (int slot = 0; slot < kStructuralSlots; ++slot) writeSlot(slot);
  }
  if (UpdatesFluid(ops)) {
    writeSlot(kAcousticStiffnessSlot);
    writeSlot(kAcousticDampingSlot);
  }
}

// ------------------------------------------------------------------------ update

void QVADynOperatorUpdate::ApplyDirect(QVADynModalOperators& ops, int index) {
  if (index == lastDirectIndex_) {
    // A bundle still in diagonal storage has had no write yet (a new solve).
    const QVASrvMatrix* written = UpdatesStructure()  ? ops.Stiffness()
                                  : UpdatesFluid(ops) ? ops.AcousticStiffness()
                                                      : nullptr;
    const bool fresh = written != nullptr && written->IsDiagonal();
    if (directOperatorsInBundle_ && !fresh) return;
    // An interpolated frame has overwritten them since; a set may still hold
    // the projections of this index.
    const QVASrvMatrix* const* held = index == lowerIndex_   ? lowerSet_
                                      : index == upperIndex_ ? upperSet_
                                                             : nullptr;
    if (held != nullptr) {
      WriteInterpolated(ops, 0.0, held, held);
      directOperatorsInBundle_ = true;
      return;
    }
  }
  lastDirectIndex_ = -1;
  directOperatorsInBundle_ = false;
  GenerateAndProject(ops, frequencyTable_[index], nullptr);
  lastDirectIndex_ = index;
  directOperatorsInBundle_ = true;
}

void QVADynOperatorUpdate::Update(QVADynModalOperators& ops, int frame, double frequency) try {
  const QVADynModalSystem& system = ops.ModalSystem();
  QVA_VERIFY(
      ops.Stiffness() != nullptr, kQVASrvInvalidState,
      "QVADynOperatorUpdate::Update: the modal operators of frame " << frame << " are not built");
  QVA_VERIFY(system.ModeShapes() != nullptr, kQVASrvInvalidState,
             "QVADynOperatorUpdate::Update: the modal system holds no mode shapes to project "
             "onto; open it first");
  const int systemAcoustic = system.NumberOfAcousticModes();
  const int systemStructural = system.NumberOfModes() - systemAcoustic;
  QVA_VERIFY(ops.NumberOfStructuralModes() == systemStructural &&
                 ops.NumberOfAcousticModes() == systemAcoustic,
             kQVABasInvalidArgument,
             "QVADynOperatorUpdate::Update: the event has "
                 << ops.NumberOfStructuralModes() << " structural and "
                 << ops.NumberOfAcousticModes()
                 << " acoustic active modes, but the projected operators cover all "
                 << systemStructural << " structural and " << systemAcoustic
                 << " acoustic modes of the modal system; an event with an operator update "
                    "activates every mode in stored order");
  QVA_VERIFY(frameTable_ != nullptr && frequencyTable_ != nullptr && generator_ != nullptr,
             kQVABasInvalidArgument,
             "QVADynOperatorUpdate::Update: frame "
                 << frame << " needs a generator, a frame table and a frequency table");
  QVA_VERIFY(frame >= 0, kQVABasInvalidArgument,
             "QVADynOperatorUpdate::Update: frame " << frame << " is negative");
  const int lower = frameTable_[2 * frame];
  const int upper = frameTable_[2 * frame + 1];
  QVA_VERIFY(lower >= 0 && upper >= -1, kQVABasInvalidArgument,
             "QVADynOperatorUpdate::Update: frame "
                 << frame << " names frequency indices " << lower << " and " << upper
                 << "; the lower index must be 0 or more, the upper index -1 (none) or more");

  const bool interpolate =
      upper != -1 && frequencyTable_[upper] - frequencyTable_[lower] >= kMinimumInterval;
  if (!interpolate) {
    ApplyDirect(ops, lower);
    return;
  }

  if (lower != lowerIndex_) {
    ReleaseSet(lowerSet_);
    lowerIndex_ = -1;
    if (lower == upperIndex_) {
      std::copy(std::begin(upperSet_), std::end(upperSet_), std::begin(lowerSet_));
      std::fill(std::begin(upperSet_), std::end(upperSet_), nullptr);
      upperIndex_ = -1;
    } else {
      MakeSet(ops, lowerSet_);
      GenerateAndProject(ops, frequencyTable_[lower], lowerSet_);
    }
    lowerIndex_ = lower;
  }
  if (upper != upperIndex_) {
    ReleaseSet(upperSet_);
    upperIndex_ = -1;
    MakeSet(ops, upperSet_);
    GenerateAndProject(ops, frequencyTable_[upper], upperSet_);
    upperIndex_ = upper;
  }
  const double lowerFrequency = frequencyTable_[lower];
  const double t = std::clamp(
      (frequency - lowerFrequency) / (frequencyTable_[upper] - lowerFrequency), 0.0, 1.0);
  WriteInterpolated(ops, t, lowerSet_, upperSet_);
  directOperatorsInBundle_ = false;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynOperatorUpdate::Update");
}
