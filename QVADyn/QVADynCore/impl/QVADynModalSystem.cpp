#include "QVADyn/QVADynCore/QVADynModalSystem.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynUnsupportedDamping.h"
#include "QVADyn/QVADynCore/QVADynUtilities.h"
#include "QVADynBoundary.h"
#include "QVADynModalSystemDofDefinitionHolder.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/cow_String.h"
#include "platform/base/mem_Alloc.h"
#include "platform/base/omi_Timer.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVAFsmFrequencyTask.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

constexpr const char* kSourcePath = "QVADyn/QVADynCore/impl/QVADynModalSystem";

// A mode-column code is block * kModesPerColumnBlock + position in the block.
constexpr int kModesPerColumnBlock = 128;

// Symbol of the real part in the complex-number-part collection.
constexpr int kRealPartSymbol = 4;

// Number of participation factors per mode (one per rigid-body direction).
constexpr int kRigidBodyDirections = 6;

// Chunk sizes that mean "the whole dimension".
constexpr int kWholeDimension[] = {-1, -1};

// Replaces an owned matrix.
void Replace(QVASrvDenseMatrix*& member, std::unique_ptr<QVASrvDenseMatrix> matrix) {
  delete member;
  member = matrix.release();
}

// A new dense matrix over a stored distribution, or null when it is absent.
std::unique_ptr<QVASrvDenseMatrix> WrapIfPresent(const QVASimDistributionID& distribution) {
  if (!distribution.IsValid()) return nullptr;
  return std::make_unique<QVASrvDenseMatrix>(distribution);
}

// Rows per piece when a data request is walked: one piece of a column block
// (rows x columns doubles) then stays in the processor's cache.
constexpr int kRowsPerPiece = 256;

// Calls visit(firstRow, rows) for consecutive pieces of at most kRowsPerPiece
// rows that together cover every range of `request`, in range order.
template <class Visit>
void ForEachRequestPiece(const QVASrvDataRequest& request, Visit visit) {
  const int numberOfRanges = request.NumberOfRanges();
  for (int range = 0; range < numberOfRanges; ++range) {
    const int start = request.RangeStart(range);
    const int size = request.RangeSize(range);
    for (int offset = 0; offset < size; offset += kRowsPerPiece) {
      visit(start + offset, std::min(kRowsPerPiece, size - offset));
    }
  }
}

// The places of rows firstRow ... firstRow + rows - 1 (rows <= kRowsPerPiece),
// looked up one by one.
class PlaceLookup {
 public:
  explicit PlaceLookup(const QVAFsmSystemDofDefinition& dofs)
      : dofs_(dofs), places_(QVAIndex(kRowsPerPiece)) {}
  const QVAFsmNodeDof* operator()(int firstRow, int rows) {
    for (int row = 0; row < rows; ++row) {
      places_[QVAIndex(row)] = dofs_.NodeDofFromSolverDof(firstRow + row);
    }
    return places_.data();
  }

 private:
  const QVAFsmSystemDofDefinition& dofs_;
  std::vector<QVAFsmNodeDof> places_;
};

// Reads columns firstColumn ... firstColumn + columns - 1 of `modeShapes` at
// the rows of `request` into the node-by-DOF array `out` (c = columns): the
// value of row r, column k goes to out[node*maxNodalDof*c + k*maxNodalDof +
// place], (node, place) being the place of solver DOF r.
void ReadNodal(const QVASrvDenseMatrix& modeShapes, const QVAFsmSystemDofDefinition& dofs,
               const QVASrvDataRequest& request, int firstColumn, int columns, double* out) {
  const int maxNodalDof = dofs.MaxNodalDof();
  const int lastColumn = firstColumn + columns - 1;
  const std::ptrdiff_t nodeStride = static_cast<std::ptrdiff_t>(maxNodalDof) * columns;
  PlaceLookup placesOf(dofs);
  std::vector<double> piece(QVAIndex(kRowsPerPiece) * columns);
  ForEachRequestPiece(request, [&](int firstRow, int rows) {
    QVASrvMatrix values(rows, columns, piece.data());
    modeShapes.GetValues(firstRow, firstRow + rows - 1, firstColumn, lastColumn, values);
    const QVAFsmNodeDof* places = placesOf(firstRow, rows);
    for (int row = 0; row < rows; ++row) {
      double* nodal = out + places[row].node * nodeStride + places[row].dof;
      const double* value = piece.data() + row;
      for (int column = 0; column < columns; ++column) {
        nodal[column * maxNodalDof] = value[column * rows];
      }
    }
  });
}

// Per-node lists of the mode-shape rows (solver DOFs 0 ... rows - 1) of the
// selected nodes (flag non-zero; all when `nodes` is null), each node's rows
// in the order of their DOF places: the rows of node p are rowList[start[p]]
// ... rowList[start[p + 1] - 1], at the places placeList[...]. The arrays come
// from mem_Malloc; the caller frees them.
struct NodeRowIndex {
  int* start = nullptr;
  int* rowList = nullptr;
  int* placeList = nullptr;
};

NodeRowIndex BuildNodeRowIndex(const QVAFsmSystemDofDefinition& dofs, int rows, const int* nodes) {
  const int numberOfNodes = dofs.NumberOfNodes();
  const int maxNodalDof = dofs.MaxNodalDof();
  std::vector<int> rowOfPlace(QVAIndex(numberOfNodes) * maxNodalDof, -1);
  int selected = 0;
  for (int row = 0; row < rows; ++row) {
    const QVAFsmNodeDof place = dofs.NodeDofFromSolverDof(row);
    if (nodes == nullptr || nodes[place.node] != 0) {
      rowOfPlace[QVAIndex(place.node) * maxNodalDof + QVAIndex(place.dof)] = row;
      ++selected;
    }
  }
  using Array = std::unique_ptr<int, decltype(&mem_Free)>;
  const auto allocate = [](int count) {
    return Array(mem_AllocArray<int>(QVAIndex(count)), &mem_Free);
  };
  Array start = allocate(numberOfNodes + 1);
  Array rowList = allocate(selected);
  Array placeList = allocate(selected);
  int next = 0;
  start.get()[0] = 0;
  for (int node = 0; node < numberOfNodes; ++node) {
    for (int place = 0; place < maxNodalDof; ++place) {
      const int row = rowOfPlace[QVAIndex(node) * maxNodalDof + QVAIndex(place)];
      if (row < 0) continue;
      rowList.get()[next] = row;
      placeList.get()[next] = place;
      ++next;
    }
    start.get()[node + 1] = next;
  }
  return NodeRowIndex{start.release(), rowList.release(), placeList.release()};
}

// The mode-column map of `modeShapes` (null: no mode shapes, every entry -1)
// for `numberOfModes` modes, from mem_Malloc.
int* NewModeColumnMap(const QVASrvDenseMatrix* modeShapes, int numberOfModes) {
  std::unique_ptr<int, decltype(&mem_Free)> map(mem_AllocArray<int>(QVAIndex(numberOfModes)),
                                                &mem_Free);
  std::fill_n(map.get(), numberOfModes, -1);
  int mode = 0;
  const int numberOfBlocks = modeShapes != nullptr ? modeShapes->NumberOfColumnBlocks() : 0;
  for (int block = 0; block < numberOfBlocks && mode < numberOfModes; ++block) {
    const int columns = modeShapes->NumberOfColumnsInBlock(block);
    QVA_VERIFY(columns <= kModesPerColumnBlock, kQVASrvSizeMismatch,
               "QVADynModalSystem: column block " << block << " of the mode shapes holds "
                                                  << columns << " modes; the mode-column map "
                                                  << "addresses at most " << kModesPerColumnBlock
                                                  << " per block");
    for (int position = 0; position < columns && mode < numberOfModes; ++position) {
      map.get()[mode++] = block * kModesPerColumnBlock + position;
    }
  }
  return map.release();
}

// Raises QVABasError (kQVABasInvalidArgument) for an eigenvalue that is not
// finite or, for real modes, lies below -epsilon * max(1, largest
// |eigenvalue|): more negative than round-off of a positive semi-definite
// stiffness. `source` says where the eigenvalues came from. Round-off
// negatives pass; the solvers take them as zero. The real parts of complex
// modes (realModes false) are negative for damped modes.
void VerifyEigenvalues(const char* operation, const char* source, const double* eigenvalues,
                       int numberOfModes, bool realModes = true) {
  double largest = 0.0;
  for (int mode = 0; mode < numberOfModes; ++mode) {
    const double lambda = eigenvalues[mode];
    QVA_VERIFY(std::isfinite(lambda), kQVABasInvalidArgument,
               operation << ": " << source << " of mode " << mode << " is " << lambda
                         << "; an eigenvalue (omega^2 of the mode) must be a finite number");
    largest = std::max(largest, std::fabs(lambda));
  }
  if (!realModes) return;
  const double lowest = -kQVASqrtMachineEpsilon * std::max(1.0, largest);
  for (int mode = 0; mode < numberOfModes; ++mode) {
    const double lambda = eigenvalues[mode];
    QVA_VERIFY(lambda >= lowest, kQVABasInvalidArgument,
               operation << ": " << source << " of mode " << mode << " is " << lambda << ", below "
                         << lowest
                         << ", more negative than round-off; the modes must be those of a "
                            "positive semi-definite stiffness (check the constraints and the "
                            "eigensolver's shift)");
  }
}

}  // namespace

// ---------------------------------------------------------------- construction

QVADynModalSystem::QVADynModalSystem(QVAFsmSystemDofDefinition* dofs, QVAFsmModalSystem& modal,
                                     QVADynLogFile& log) try
    : logFile_(log), modal_(modal), dofs_(DofDefinitionHolder::Adopt(dofs)) {
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::QVADynModalSystem");
}

QVADynModalSystem::~QVADynModalSystem() {
  ReleaseBlockRead();
  mem_Free(nodeStart_);
  mem_Free(nodeDofList_);
  mem_Free(nodeDofPlaces_);
  for (QVASrvDenseMatrix* matrix : {modeShapes_, viscousDamping_, structuralDamping_,
                                    acousticViscousDamping_, acousticCoupling_}) {
    if (container_ == nullptr || !container_->Holds(matrix)) delete matrix;
  }
  delete container_;
  mem_Free(reactionForces_);
  mem_Free(modalRfMap_);
  mem_Free(eigenvalues_);
  for (double* factors : participationFactors_) mem_Free(factors);
  mem_Free(modeColumnMap_);
  if (dofs_ != nullptr) dofs_->Release();
}

const QVAFsmSystemDofDefinition& QVADynModalSystem::DofDefinition() const { return *dofs_->dofs; }

// ---------------------------------------------------------------- reading the basis

void QVADynModalSystem::Open() try {
  QVA_VERIFY(modal_.Eigenvalues().IsValid(), kQVASrvInvalidState,
             "QVADynModalSystem::Open: the modal-database object holds no eigenvalues; open a "
             "modal system whose basis is stored (SetEigenvalues, CreateModeShapes) or write the "
             "basis first");
  QVA_VERIFY(modal_.ModeShapes().IsValid(), kQVASrvInvalidState,
             "QVADynModalSystem::Open: the modal-database object holds no mode shapes; store "
             "them (CreateModeShapes, attached) before Open");
  Replace(modeShapes_, std::make_unique<QVASrvDenseMatrix>(modal_.ModeShapes()));
  Replace(viscousDamping_, WrapIfPresent(modal_.ViscousDamping()));
  Replace(structuralDamping_, WrapIfPresent(modal_.StructuralDamping()));
  Replace(acousticViscousDamping_, WrapIfPresent(modal_.AcousticViscousDamping()));
  Replace(acousticCoupling_, WrapIfPresent(modal_.AcousticCoupling()));

  {
    const QVASrvDenseMatrix eigenvalues(modal_.Eigenvalues());
    numberOfModes_ = eigenvalues.NumberOfRows();
    mem_Free(eigenvalues_);
    eigenvalues_ = nullptr;
    eigenvalues_ = mem_AllocArray<double>(QVAIndex(numberOfModes_));
    QVASrvMatrix realParts(numberOfModes_, 1, eigenvalues_);
    eigenvalues.GetValues(0, numberOfModes_ - 1, 0, 0, realParts);
    // Complex modes store their real and imaginary parts as two columns.
    VerifyEigenvalues("QVADynModalSystem::Open", "the stored eigenvalue", eigenvalues_,
                      numberOfModes_, eigenvalues.NumberOfColumns() == 1);
  }

  const QVASimDistributionID stored = modal_.ParticipationFactors();
  if (stored.IsValid()) {
    const QVASrvDenseMatrix factors(stored);
    mem_Free(participationFactors_[0]);
    participationFactors_[0] = nullptr;
    participationFactors_[0] =
        mem_AllocArray<double>(QVAIndex(numberOfModes_) * kRigidBodyDirections);
    QVASrvMatrix values(numberOfModes_, kRigidBodyDirections, participationFactors_[0]);
    factors.GetValues(0, numberOfModes_ - 1, 0, kRigidBodyDirections - 1, values);
  }

  BuildModeColumnMap();

  const QVASimCSetID residualModes = modal_.ResidualModes();
  if (residualModes.IsValid()) numberOfResidualModes_ = QVASimCSet(residualModes).Size();
  const QVASimCSetID acousticModes = modal_.AcousticModes();
  if (acousticModes.IsValid()) numberOfAcousticModes_ = QVASimCSet(acousticModes).Size();

  dofs_->dofs->SetupSolverDofs(modeShapes_->RowSet());
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::Open");
}

double QVADynModalSystem::PropertyEvaluation() const {
  return QVAFsmFrequencyTask(modal_.Task()).PropertyEvaluation();
}

int QVADynModalSystem::NumberOfRecoveryNodes() const {
  const QVASimCSetID nodes = QVAFsmFrequencyTask(modal_.Task()).RecoveryNodes();
  return nodes.IsValid() ? QVASimCSet(nodes).Size() : 0;
}

void QVADynModalSystem::RecoveryNodes(int* nodes) const {
  const QVASimCSetID recoveryNodes = QVAFsmFrequencyTask(modal_.Task()).RecoveryNodes();
  if (!recoveryNodes.IsValid()) return;
  const QVASimCSet set(recoveryNodes);
  std::copy_n(set.OrderedMembers(), set.Size(), nodes);
}

void QVADynModalSystem::BuildModeColumnMap() {
  int* map = NewModeColumnMap(modeShapes_, numberOfModes_);
  mem_Free(modeColumnMap_);
  modeColumnMap_ = map;
}

// ---------------------------------------------------------------- writing a basis

void QVADynModalSystem::SetEigenvalues(const double* eigenvalues, int numModes,
                                       int numAcousticModes, int numResidualModes) try {
  QVA_VERIFY(numModes >= 1, kQVABasInvalidArgument,
             "QVADynModalSystem::SetEigenvalues: numModes is "
                 << numModes << "; pass the number of modes of the basis, at least 1");
  QVA_VERIFY(eigenvalues != nullptr, kQVABasInvalidArgument,
             "QVADynModalSystem::SetEigenvalues: the eigenvalue array is null for "
                 << numModes << " modes; pass numModes eigenvalues");
  QVA_VERIFY(numAcousticModes >= 0 && numAcousticModes <= numModes, kQVABasInvalidArgument,
             "QVADynModalSystem::SetEigenvalues: numAcousticModes is "
                 << numAcousticModes << " with " << numModes
                 << " modes; pass 0 ... numModes acoustic modes");
  QVA_VERIFY(numResidualModes >= 0 && numResidualModes <= numModes - numAcousticModes,
             kQVABasInvalidArgument,
             "QVADynModalSystem::SetEigenvalues: numResidualModes is "
                 << numResidualModes << " with " << numModes - numAcousticModes
                 << " structural modes; pass 0 ... numModes - numAcousticModes residual modes");
  VerifyEigenvalues("QVADynModalSystem::SetEigenvalues", "the eigenvalue", eigenvalues, numModes);
  std::unique_ptr<double, decltype(&mem_Free)> copy(mem_AllocArray<double>(QVAIndex(numModes)),
                                                    &mem_Free);
  std::copy_n(eigenvalues, numModes, copy.get());

  QVASimTransaction transaction(modal_.MyPosition().Context());

  const QVASimCollection modes(modal_.ModesCollection());
  const QVASimCSetID allModes = modes.CreateCSetStrided(0, numModes, 1, 1);
  modal_.SetModes(transaction, allModes);

  const QVASimCollection complexParts(modal_.ComplexNumberPart());
  const QVASimCSetID realPart = complexParts.CreateOCSet(&kRealPartSymbol, 1);
  const QVASimCSetID eigenvalueSets[] = {allModes, realPart};
  const QVASimDistributionID eigenvalueDistribution = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kEigenvalues), 2, eigenvalueSets,
      kWholeDimension, false);
  modal_.SetEigenvalues(transaction, eigenvalueDistribution);
  QVASrvDenseMatrix(eigenvalueDistribution)
      .SetValues(0, numModes - 1, 0, 0, QVASrvMatrix(numModes, 1, copy.get()));

  const int numStructuralModes = numModes - numAcousticModes;
  modal_.SetStructuralModes(transaction, modes.CreateCSetStrided(0, numStructuralModes, 1, 1));
  if (numResidualModes != 0) {
    modal_.SetResidualModes(
        transaction,
        modes.CreateCSetStrided(numStructuralModes - numResidualModes, numResidualModes, 1, 1));
  }
  if (numAcousticModes != 0) {
    modal_.SetAcousticModes(transaction,
                            modes.CreateCSetStrided(numStructuralModes, numAcousticModes, 1, 1));
  }

  const QVASimDistributionID generalizedMass = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kGeneralizedMass), 1, &allModes,
      kWholeDimension, false);
  modal_.SetGeneralizedMass(transaction, generalizedMass);
  QVASrvMatrix unitMass(numModes, 1);
  unitMass = 1.0;
  QVASrvDenseMatrix(generalizedMass).SetValues(0, numModes - 1, 0, 0, unitMass);

  transaction.Commit();
  numberOfModes_ = numModes;
  numberOfAcousticModes_ = numAcousticModes;
  numberOfResidualModes_ = numResidualModes;
  mem_Free(eigenvalues_);
  eigenvalues_ = copy.release();
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::SetEigenvalues");
}

QVASrvDenseMatrix& QVADynModalSystem::CreateModeShapes(int numRows, bool scratch) try {
  QVA_VERIFY(numberOfModes_ >= 1, kQVASrvInvalidState,
             "QVADynModalSystem::CreateModeShapes: the modal system has no modes; call "
             "SetEigenvalues before CreateModeShapes");
  const int solverDofs = dofs_->dofs->NumberOfSolverDofs();
  QVA_VERIFY(numRows >= 0 && numRows <= solverDofs, kQVABasInvalidArgument,
             "QVADynModalSystem::CreateModeShapes: numRows is "
                 << numRows << "; pass 0 ... " << solverDofs
                 << ", the number of solver DOFs of the DOF definition that carry mode shapes");
  QVASimTransaction transaction(modal_.MyPosition().Context());

  int rowChunk = QVADynUtilities::ModeShapeRowBlocksize();
  int columnChunk = QVADynUtilities::ModeShapeColBlocksize();
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, numRows, numberOfModes_);
  rowChunk = std::min(rowChunk, numRows);
  columnChunk = std::min({columnChunk, numberOfModes_, kModesPerColumnBlock});

  const QVAFsmSystemDofDefinition& dofs = *dofs_->dofs;
  std::vector<int> systemDofs(QVAIndex(numRows));
  for (int solverDof = 0; solverDof < numRows; ++solverDof) {
    systemDofs[QVAIndex(solverDof)] = dofs.SystemDofFromSolverDof(solverDof);
  }
  const QVASimCollectionID dofCollection = modal_.Dofs();
  const QVASimCSetID dofSet =
      QVASimCollection(dofCollection).CreateOrderedCSet(systemDofs.data(), numRows);

  const QVASimCSetID sets[] = {dofSet, modal_.Modes()};
  const int chunks[] = {rowChunk, columnChunk};
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kModeShapes), 2, sets, chunks, scratch);
  auto modeShapes = std::make_unique<QVASrvDenseMatrix>(distribution);
  std::unique_ptr<int, decltype(&mem_Free)> modeColumnMap(
      NewModeColumnMap(modeShapes.get(), numberOfModes_), &mem_Free);
  if (!scratch) modal_.SetModeShapes(transaction, distribution);

  dofs.WritePermutation(dofCollection);

  transaction.Commit();
  Replace(modeShapes_, std::move(modeShapes));
  mem_Free(modeColumnMap_);
  modeColumnMap_ = modeColumnMap.release();
  return *modeShapes_;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::CreateModeShapes");
}

QVASrvDenseMatrix& QVADynModalSystem::CreateDamping(QVADynDampingType kind, bool scratch) try {
  if (kind != QVADynViscousDamping && kind != QVADynStructuralDamping &&
      kind != QVADynAcousticViscousDamping) {
    QVADynUnsupportedDamping().Throw(kSourcePath, __LINE__);
  }
  QVASimTransaction transaction(modal_.MyPosition().Context());
  const QVASimCSetID modes =
      kind == QVADynAcousticViscousDamping ? modal_.AcousticModes() : modal_.StructuralModes();
  const QVASimCSetID sets[] = {modes, modes};
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kProjectedMatrix), 2, sets, kWholeDimension,
      scratch);

  QVASrvDenseMatrix** member = nullptr;
  switch (kind) {
    case QVADynViscousDamping:
      if (!scratch) modal_.SetViscousDamping(transaction, distribution);
      member = &viscousDamping_;
      break;
    case QVADynStructuralDamping:
      if (!scratch) modal_.SetStructuralDamping(transaction, distribution);
      member = &structuralDamping_;
      break;
    default:
      if (!scratch) modal_.SetAcousticViscousDamping(transaction, distribution);
      member = &acousticViscousDamping_;
      break;
  }
  Replace(*member, std::make_unique<QVASrvDenseMatrix>(distribution));
  transaction.Commit();
  return **member;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::CreateDamping");
}

QVASrvDenseMatrix& QVADynModalSystem::CreateAcousticCoupling(bool scratch) try {
  QVASimTransaction transaction(modal_.MyPosition().Context());
  const QVASimCSetID sets[] = {modal_.AcousticModes(), modal_.StructuralModes()};
  const QVASimDistributionID distribution = QVASrvUtilities::CreateDistribution(
      modal_.MyPosition(), QVATypeIndex(QVADataKinds::kProjectedMatrix), 2, sets, kWholeDimension,
      scratch);
  auto coupling = std::make_unique<QVASrvDenseMatrix>(distribution);
  if (!scratch) modal_.SetAcousticCoupling(transaction, distribution);
  transaction.Commit();
  Replace(acousticCoupling_, std::move(coupling));
  return *acousticCoupling_;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::CreateAcousticCoupling");
}

// ---------------------------------------------------------------- block transfer

void QVADynModalSystem::GetModesNodalStorage(const QVASrvDataRequest& request, double* out,
                                             int block) const try {
  ReadNodal(*modeShapes_, *dofs_->dofs, request, modeShapes_->FirstColumnInBlock(block),
            modeShapes_->NumberOfColumnsInBlock(block), out);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::GetModesNodalStorage");
}

void QVADynModalSystem::GetModeNodalStorage(const QVASrvDataRequest& request, int mode,
                                            double* out) const try {
  ReadNodal(*modeShapes_, *dofs_->dofs, request, mode, 1, out);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::GetModeNodalStorage");
}

void QVADynModalSystem::SetModesNodalStorage(const QVASrvDataRequest& request, const double* in,
                                             int block) try {
  const QVAFsmSystemDofDefinition& dofs = *dofs_->dofs;
  const int maxNodalDof = dofs.MaxNodalDof();
  const int columns = modeShapes_->NumberOfColumnsInBlock(block);
  const int firstColumn = modeShapes_->FirstColumnInBlock(block);
  const int lastColumn = firstColumn + columns - 1;
  const std::ptrdiff_t nodeStride = static_cast<std::ptrdiff_t>(maxNodalDof) * columns;
  PlaceLookup placesOf(dofs);
  std::vector<double> piece(QVAIndex(kRowsPerPiece) * columns);
  ForEachRequestPiece(request, [&](int firstRow, int rows) {
    const QVAFsmNodeDof* places = placesOf(firstRow, rows);
    for (int row = 0; row < rows; ++row) {
      const double* nodal = in + places[row].node * nodeStride + places[row].dof;
      for (int column = 0; column < columns; ++column) {
        piece[QVAIndex(row + column * rows)] = nodal[column * maxNodalDof];
      }
    }
    modeShapes_->SetValues(firstRow, firstRow + rows - 1, firstColumn, lastColumn,
                           QVASrvMatrix(rows, columns, piece.data()));
  });
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::SetModesNodalStorage");
}

// ---------------------------------------------------------------- block-read state
//
// The cached column block is held as the node-by-DOF array of its columns:
// node p, mode position k, DOF place d at p * nodeStride + k * MaxNodalDof + d
// with nodeStride = MaxNodalDof * (widest column block). Loading a block
// scatters each mode-shape row straight to its node's places, so that
// GetModesNodal hands out one contiguous slice per node. The array is zeroed
// once when the state begins; places no mode-shape row reaches stay 0 for
// every block.

void QVADynModalSystem::BeginReadModes() try {
  const QVAFsmSystemDofDefinition& dofs = *dofs_->dofs;
  const int rows = modeShapes_->NumberOfRows();
  const int maxNodalDof = dofs.MaxNodalDof();
  const std::int64_t nodeStride =
      static_cast<std::int64_t>(maxNodalDof) * modeShapes_->MaxNumberOfColumnsInBlock();
  const std::int64_t size = nodeStride * dofs.NumberOfNodes();
  using Values = std::unique_ptr<double, decltype(&mem_Free)>;
  using Offsets = std::unique_ptr<std::int64_t, decltype(&mem_Free)>;
  Values buffer(mem_AllocZeroedArray<double>(QVAIndex(size)), &mem_Free);
  Offsets rowOffsets(mem_AllocArray<std::int64_t>(QVAIndex(rows)), &mem_Free);
  for (int row = 0; row < rows; ++row) {
    const QVAFsmNodeDof place = dofs.NodeDofFromSolverDof(row);
    rowOffsets.get()[row] = place.node * nodeStride + place.dof;
  }
  ReleaseBlockRead();
  blockReadBuffer_ = buffer.release();
  blockReadSize_ = size;
  blockReadRowOffsets_ = rowOffsets.release();
  blockReadNodeStride_ = nodeStride;
  blockReadMaxNodalDof_ = maxNodalDof;
  readModes_ = true;
  cachedColumnBlock_ = -1;
  columnsInCachedBlock_ = 0;
  accumulatedAccessTime_ = 0.0;
  blockLoads_ = 0;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::BeginReadModes");
}

void QVADynModalSystem::EndReadModes() {
  ReleaseBlockRead();
  readModes_ = false;
  cachedColumnBlock_ = -1;
  QVADynWriteLogQuietly(logFile_, [this] {
    return cow_String(kQVADynLogReadingModeShapesTime)
        .AppendDouble(accumulatedAccessTime_)
        .Append(kQVADynLogLineEnd);
  });
}

void QVADynModalSystem::ReleaseBlockRead() {
  mem_Free(blockReadBuffer_);
  blockReadBuffer_ = nullptr;
  blockReadSize_ = 0;
  mem_Free(blockReadRowOffsets_);
  blockReadRowOffsets_ = nullptr;
}

void QVADynModalSystem::LoadColumnBlock(int block) const {
  omi_Timer timer;
  timer.Start();
  const int columns = modeShapes_->NumberOfColumnsInBlock(block);
  const int firstColumn = modeShapes_->FirstColumnInBlock(block);
  modeShapes_->ScatterColumnsToMemory(firstColumn, firstColumn + columns - 1, blockReadRowOffsets_,
                                      blockReadMaxNodalDof_, blockReadBuffer_, blockReadSize_);
  columnsInCachedBlock_ = columns;
  cachedColumnBlock_ = block;
  ++blockLoads_;
  timer.Stop();
  accumulatedAccessTime_ += timer.ElapsedSeconds();
}

void QVADynModalSystem::GetModesNodal(int firstMode, int lastMode, int node, double* out) const
    try {
  if (blockReadBuffer_ == nullptr) {
    GetNodalModeshapes(firstMode, lastMode, node, out);
    return;
  }
  const int code = modeColumnMap_[firstMode];
  const int block = code / kModesPerColumnBlock;
  if (block != cachedColumnBlock_) LoadColumnBlock(block);
  const int position = code % kModesPerColumnBlock;
  const std::int64_t first =
      node * blockReadNodeStride_ + static_cast<std::int64_t>(position) * blockReadMaxNodalDof_;
  std::copy_n(blockReadBuffer_ + first,
              static_cast<std::int64_t>(lastMode - firstMode + 1) * blockReadMaxNodalDof_, out);
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::GetModesNodal");
}

// ---------------------------------------------------------------- node-access state

void QVADynModalSystem::BeginNodalModeAccess(const int* nodes) try {
  // Solver DOFs that carry mode-shape values: the rows of the mode-shape matrix.
  const int modeShapeRows = modeShapes_ != nullptr ? modeShapes_->NumberOfRows() : 0;
  const int rows = std::min(dofs_->dofs->NumberOfSolverDofs(), modeShapeRows);
  const NodeRowIndex index = BuildNodeRowIndex(*dofs_->dofs, rows, nodes);
  mem_Free(nodeDofList_);
  nodeDofList_ = index.rowList;
  mem_Free(nodeDofPlaces_);
  nodeDofPlaces_ = index.placeList;
  mem_Free(nodeStart_);
  nodeStart_ = index.start;
  accumulatedAccessTime_ = 0.0;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynModalSystem::BeginNodalModeAccess");
}

void QVADynModalSystem::EndNodalModeAccess() {
  mem_Free(nodeDofList_);
  nodeDofList_ = nullptr;
  mem_Free(nodeDofPlaces_);
  nodeDofPlaces_ = nullptr;
  mem_Free(nodeStart_);
  nodeStart_ = nullptr;
  QVADynWriteLogQuietly(logFile_, [this] {
    return cow_String(kQVADynLogNodalModeAccessTime)
        .AppendDouble(accumulatedAccessTime_)
        .Append(kQVADynLogLineEnd);
  });
  accumulatedAccessTime_ = 0.0;
}

void QVADynModalSystem::GetNodalModeshapes(int firstMode, int lastMode, int node,
                                           double* out) const {
  QVA_VERIFY(nodeStart_ != nullptr, kQVASrvInvalidState,
             "QVADynModalSystem::GetModesNodal: node " << node << ", modes " << firstMode << " ... "
                                                       << lastMode
                                                       << ": neither BeginReadModes() nor "
                                                       << "BeginNodalModeAccess() is active");
  omi_Timer timer;
  timer.Start();
  const int maxNodalDof = dofs_->dofs->MaxNodalDof();
  const int columns = lastMode - firstMode + 1;
  std::vector<double> row(QVAIndex(columns));
  QVASrvMatrix rowValues(1, columns, row.data());
  for (int entry = nodeStart_[node]; entry < nodeStart_[node + 1]; ++entry) {
    const int solverDof = nodeDofList_[entry];
    modeShapes_->GetValues(solverDof, solverDof, firstMode, lastMode, rowValues);
    const int place = nodeDofPlaces_[entry];
    for (int mode = 0; mode < columns; ++mode) {
      out[mode * maxNodalDof + place] = row[QVAIndex(mode)];
    }
  }
  timer.Stop();
  accumulatedAccessTime_ += timer.ElapsedSeconds();
}
