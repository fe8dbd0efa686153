#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"

#include <algorithm>
#include <vector>

#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "QVADynBoundary.h"
#include "QVADynComplexRealPart.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimDMember.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

constexpr const char* kSourcePath = "QVADyn/QVADynCore/impl/QVADynComplexModalSystem";

// Symbols of the complex-number-part collection.
constexpr int kRealPartSymbol = 4;
constexpr int kImaginaryPartSymbol = 0;

// The most modes a column block of mode shapes may hold: the mode-column map
// codes a mode as block * 128 + position.
constexpr int kModesPerColumnBlock = 128;

// Chunk sizes that mean "the whole dimension".
constexpr int kWholeDimension[] = {-1, -1};

// A copy of `count` doubles from the platform allocator.
double* CopyOf(const double* values, int count) {
  double* copy = mem_AllocArray<double>(QVAIndex(count));
  std::copy_n(values, count, copy);
  return copy;
}

}  // namespace

std::unique_ptr<QVASrvDenseMatrix> QVADynWrapRealPart(const QVAFsmModalSystem& modal,
                                                      const QVASimDistributionID& distribution) {
  const QVASrvSymbolCollection parts(modal.ComplexNumberPart());
  const QVASimDMember realPart(parts.ID(), parts.GetCMemberID(kRealPartSymbol));
  return std::make_unique<QVASrvDenseMatrix>(QVASimDistribution(distribution, realPart));
}

void QVADynComplexModalSystem::ArrayRelease::operator()(double* values) const noexcept {
  mem_Free(values);
}

QVADynComplexModalSystem::QVADynComplexModalSystem(QVAFsmSystemDofDefinition* dofs,
                                                   QVAFsmModalSystem& modal, QVADynLogFile& log,
                                                   int subspaceSize)
    : QVADynModalSystem(dofs, modal, log), subspaceSize_(subspaceSize) {}

QVADynComplexModalSystem::~QVADynComplexModalSystem() = default;

// ---------------------------------------------------------------- reading

void QVADynComplexModalSystem::Open() try {
  // The base reads the number of modes (the rows of the stored eigenvalues)
  // and their first column, the real parts, into the eigenvalue array.
  QVADynModalSystem::Open();

  std::unique_ptr<QVASrvDenseMatrix> realModeShapes =
      QVADynWrapRealPart(modal_, modal_.ModeShapes());
  delete modeShapes_;
  modeShapes_ = realModeShapes.release();

  const QVASimDistributionID stiffness = modal_.Stiffness();
  projectedStiffness_ =
      stiffness.IsValid() ? std::make_unique<QVASrvDenseMatrix>(stiffness) : nullptr;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::Open");
}

// ---------------------------------------------------------------- writing

void QVADynComplexModalSystem::CreateModeShapes(int rows, bool scratch) try {
  QVASimTransaction transaction(modal_.MyPosition().Context());

  int rowChunk = QVADynUtilities::ModeShapeRowBlocksize();
  int columnChunk = QVADynUtilities::ModeShapeColBlocksize();
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, rows, numberOfModes_);
  const int chunks[] = {std::min(rows, rowChunk),
                        std::min({numberOfModes_, columnChunk, kModesPerColumnBlock})};

  const QVAFsmSystemDofDefinition& dofs = DofDefinition();
  std::vector<int> systemDofs(QVAIndex(rows));
  for (int solverDof = 0; solverDof < rows; ++solverDof) {
    systemDofs[QVAIndex(solverDof)] = dofs.SystemDofFromSolverDof(solverDof);
  }
  const QVASimCollectionID dofCollection = modal_.Dofs();
  const QVASimCSetID dofSet =
      QVASimCollection(dofCollection).CreateOrderedCSet(systemDofs.data(), rows);
  const QVASimCSetID sets[] = {dofSet, modal_.Modes()};

  const QVASimDistributionID realPart = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kModeShapes), 2, sets, chunks, scratch);
  const QVASimDistributionID imaginaryPart = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kModeShapes), 2, sets, chunks, scratch);
  auto realModeShapes = std::make_unique<QVASrvDenseMatrix>(realPart);
  auto imaginaryModeShapes = std::make_unique<QVASrvDenseMatrix>(imaginaryPart);
  if (!scratch) {
    modal_.SetRealModeShapes(transaction, realPart);
    modal_.SetImaginaryModeShapes(transaction, imaginaryPart);
  }
  dofs.WritePermutation(dofCollection);
  transaction.Commit();

  delete modeShapes_;
  modeShapes_ = realModeShapes.release();
  imaginaryModeShapes_ = std::move(imaginaryModeShapes);
  BuildModeColumnMap();
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::CreateModeShapes");
}

std::unique_ptr<QVASrvDenseMatrix> QVADynComplexModalSystem::CreateProjected(bool modeColumns,
                                                                             bool scratch,
                                                                             Attach attach) {
  QVASimTransaction transaction(modal_.MyPosition().Context());
  const QVASimCollection modes(modal_.ModesCollection());
  const QVASimCSetID subspace = modes.CreateCSetStrided(0, subspaceSize_, 1, 1);
  const QVASimCSetID sets[] = {
      subspace, modeColumns ? modes.CreateCSetStrided(0, numberOfModes_, 1, 1) : subspace};
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kProjectedMatrix), 2, sets, kWholeDimension,
      scratch);
  if (!scratch) (modal_.*attach)(transaction, distribution);
  auto matrix = std::make_unique<QVASrvDenseMatrix>(distribution);
  transaction.Commit();
  return matrix;
}

QVASrvDenseMatrix& QVADynComplexModalSystem::CreateRealProjectedModeShapes(bool scratch) try {
  realProjectedModeShapes_ =
      CreateProjected(true, scratch, &QVAFsmModalSystem::SetProjectedModeShapes);
  return *realProjectedModeShapes_;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::CreateRealProjectedModeShapes");
}

QVASrvDenseMatrix& QVADynComplexModalSystem::CreateImaginaryProjectedModeShapes(bool scratch) try {
  imaginaryProjectedModeShapes_ =
      CreateProjected(true, scratch, &QVAFsmModalSystem::SetProjectedModeShapes);
  return *imaginaryProjectedModeShapes_;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::CreateImaginaryProjectedModeShapes");
}

QVASrvDenseMatrix& QVADynComplexModalSystem::CreateStiffness(bool scratch) try {
  projectedStiffness_ = CreateProjected(false, scratch, &QVAFsmModalSystem::SetStiffness);
  return *projectedStiffness_;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::CreateStiffness");
}

QVASrvDenseMatrix& QVADynComplexModalSystem::CreateProjectedDamping(QVADynDampingType kind,
                                                                    bool scratch) try {
  QVASrvDenseMatrix** member = nullptr;
  Attach attach = nullptr;
  switch (kind) {
    case QVADynViscousDamping:
      member = &viscousDamping_;
      attach = &QVAFsmModalSystem::SetViscousDamping;
      break;
    case QVADynStructuralDamping:
      member = &structuralDamping_;
      attach = &QVAFsmModalSystem::SetStructuralDamping;
      break;
    default:
      QVADynUnsupportedDamping().Throw(kSourcePath, __LINE__);
  }
  std::unique_ptr<QVASrvDenseMatrix> damping = CreateProjected(false, scratch, attach);
  delete *member;
  *member = damping.release();
  return **member;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::CreateProjectedDamping");
}

void QVADynComplexModalSystem::SetEigenvalues(const double* real, const double* imaginary,
                                              int count) try {
  // Copies first, so that a failed allocation leaves the system as it was.
  std::unique_ptr<double[], ArrayRelease> realCopy(CopyOf(real, count));
  std::unique_ptr<double[], ArrayRelease> imaginaryCopy(CopyOf(imaginary, count));

  QVASimTransaction transaction(modal_.MyPosition().Context());
  const QVASimCollection modes(modal_.ModesCollection());
  const QVASimCSetID allModes = modes.CreateCSetStrided(0, count, 1, 1);
  modal_.SetModes(transaction, allModes);
  const int structuralModes = std::max(0, count - numberOfAcousticModes_);
  modal_.SetStructuralModes(transaction, modes.CreateCSetStrided(0, structuralModes, 1, 1));

  const int partSymbols[] = {kRealPartSymbol, kImaginaryPartSymbol};
  const QVASimCSetID parts =
      QVASrvSymbolCollection(modal_.ComplexNumberPart()).CreateOCSet(partSymbols, 2);
  const QVASimCSetID sets[] = {allModes, parts};
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kEigenvalues), 2, sets, kWholeDimension,
      false);
  modal_.SetEigenvalues(transaction, distribution);
  if (count > 0) {
    QVASrvDenseMatrix eigenvalues(distribution);
    eigenvalues.SetValues(0, count - 1, 0, 0, QVASrvMatrix(count, 1, realCopy.get()));
    eigenvalues.SetValues(0, count - 1, 1, 1, QVASrvMatrix(count, 1, imaginaryCopy.get()));
  }
  transaction.Commit();

  numberOfModes_ = count;
  mem_Free(eigenvalues_);
  eigenvalues_ = realCopy.release();
  imaginaryEigenvalues_ = std::move(imaginaryCopy);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynComplexModalSystem::SetEigenvalues");
}
