#include "QVADyn/QVADynCore/QVADynUtilities.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynBoundary.h"
#include "internal/QVADataKinds.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvUtilities.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimCollection.h"
#include "platform/modeldb/QVASimKinds.h"
#include "platform/modeldb/QVASimTransaction.h"

namespace {

constexpr const char* kSourcePath = "QVADyn/QVADynCore/impl/QVADynUtilities";
// Line numbers fixed by the documented exception texts that hosts match, not lines of this file.
constexpr int kMissingForceLine = 95;

// The decimal value of an environment variable as atoi reads it, or
// `fallback` when the variable is not set.
int Setting(const char* variable, int fallback) {
  const char* text = std::getenv(variable);
  return text == nullptr ? fallback : std::atoi(text);
}

// Chunk size of a matrix dimension over `set`, from the kind of the set's
// collection; the first matching kind wins.
int ChunkSizeForSet(const QVASimCSetID& set) {
  const QVASimCollectionID collection = QVASimCSet(set).Collection();
  const int kind =
      collection.IsValid() ? QVASimCollection(collection).Position().TypePosition() : -1;
  struct KindChunk {
    QVADataKind kind;
    int chunk;
  };
  static constexpr KindChunk kChunkByKind[] = {{QVADataKinds::kModes, 128},
                                               {QVADataKinds::kLoadCases, 32},
                                               {QVADataKinds::kDofPlaces, 6},
                                               {QVADataKinds::kDofs, 1024},
                                               {QVADataKinds::kFrames, 1024}};
  for (const KindChunk& entry : kChunkByKind) {
    if (kind == QVATypeIndex(entry.kind)) return entry.chunk;
  }
  return 16;
}

// Creates the distribution with `create` in one transaction on the system's
// position and attaches it with `attach`.
void CreateAndAttach(
    QVAFsmSystem& system, const std::function<QVASimDistributionID(const QVASimPosition&)>& create,
    const std::function<void(QVASimTransaction&, const QVASimDistributionID&)>& attach) {
  const QVASimPosition position = system.MyPosition();
  QVASimTransaction transaction(position.Context());
  attach(transaction, create(position));
  transaction.Commit();
}

void CreateMatrixAttached(
    QVAFsmSystem& system, const QVASimCSetID& rowSet, const QVASimCSetID& columnSet, int valueKind,
    const std::function<void(QVASimTransaction&, const QVASimDistributionID&)>& attach) {
  int rowChunk = ChunkSizeForSet(rowSet);
  int columnChunk = ChunkSizeForSet(columnSet);
  const int rows = QVASimCSet(rowSet).Size();
  const int columns = QVASimCSet(columnSet).Size();
  rowChunk = std::min(rowChunk, rows);
  columnChunk = std::min(columnChunk, columns);
  QVASrvUtilities::LimitChunkSize2GB(rowChunk, columnChunk, rows, columns);
  const QVASimCSetID sets[] = {rowSet, columnSet};
  const int chunks[] = {rowChunk, columnChunk};
  CreateAndAttach(
      system,
      [&](const QVASimPosition& position) {
        return QVASrvUtilities::CreateDistribution(position, valueKind, 2, sets, chunks, false);
      },
      attach);
}

}  // namespace

QVADynUtilities::~QVADynUtilities() = default;

int QVADynUtilities::ModeShapeRowBlocksize() {
  return Setting("TOR_DYN_MODESHAPE_ROW_BLOCKSIZE", 100);
}

int QVADynUtilities::ModeShapeColBlocksize() {
  return Setting("TOR_DYN_MODESHAPE_COL_BLOCKSIZE", 5);
}

int QVADynUtilities::ResultsColBlocksize() { return Setting("TOR_DYN_RESULTS_COL_BLOCKSIZE", 20); }

bool* QVADynUtilities::NodesWithModes(QVADynModalSystem& modal, int& numberOfNodes) try {
  const QVAFsmSystemDofDefinition& dofs = modal.DofDefinition();
  const int rows = modal.ModeShapes() != nullptr ? modal.ModeShapes()->NumberOfRows() : 0;
  numberOfNodes = dofs.NumberOfNodes();
  bool* flags = mem_AllocArray<bool>(QVAIndex(numberOfNodes));
  std::fill_n(flags, numberOfNodes, false);
  for (int solverDof = 0; solverDof < rows; ++solverDof) {
    flags[dofs.NodeDofFromSolverDof(solverDof).node] = true;
  }
  return flags;
} catch (...) {
  QVABasRaiseAtBoundary("QVADynUtilities::NodesWithModes");
}

QVASrvMatrix* QVADynUtilities::ProjectForce(int numModes, const int* modes,
                                            const QVAFsmSystemDofDefinition& dofs,
                                            const QVASrvDenseMatrix& modeShapes,
                                            QVASrvSparseMatrix* load) try {
  if (load == nullptr) QVASrvUtilities::ReportAndAbort("force", kSourcePath, kMissingForceLine);
  const int loadColumns = load->NumberOfColumns();
  if (loadColumns == 0) return nullptr;
  const int modeColumns = modeShapes.NumberOfColumns();
  QVA_VERIFY(numModes >= 0 && (numModes == 0 || modes != nullptr), kQVABasInvalidArgument,
             "QVADynUtilities::ProjectForce: numModes is "
                 << numModes << (modes == nullptr ? " with a null mode list" : "")
                 << "; pass the number of modes to project onto and their list");
  for (int position = 0; position < numModes; ++position) {
    QVA_VERIFY(modes[position] >= 0 && modes[position] < modeColumns, kQVABasInvalidArgument,
               "QVADynUtilities::ProjectForce: entry "
                   << position << " of the mode list is mode " << modes[position]
                   << ", outside the " << modeColumns << " modes of the mode shapes; pass 0 ... "
                   << modeColumns - 1);
  }

  load->PermuteRows(dofs.MappingToSolverDofs());

  // projection[j * loadColumns + k] = sum over solver DOFs of load(s, k) * phi(s, j).
  const std::size_t size = QVAIndex(modeColumns) * loadColumns;
  std::unique_ptr<double, decltype(&mem_Free)> projection(mem_AllocZeroedArray<double>(size),
                                                          &mem_Free);
  load->MultiplyDense(modeShapes, projection.get(), true);

  auto modalForce = std::make_unique<QVASrvMatrix>(numModes, loadColumns);
  for (int column = 0; column < loadColumns; ++column) {
    for (int position = 0; position < numModes; ++position) {
      (*modalForce)(position, column) =
          projection.get()[QVAIndex(modes[position]) * loadColumns + column];
    }
  }
  return modalForce.release();
} catch (...) {
  QVABasRaiseAtBoundary("QVADynUtilities::ProjectForce");
}

void QVADynUtilities::CreateVector(QVAFsmSystem& system, const KRNString& name,
                                   const QVASimCSetID& set, int valueKind) {
  CreateAndAttach(
      system,
      [&](const QVASimPosition& position) {
        return QVASrvUtilities::Create1DDistribution(position, valueKind, set, -1);
      },
      [&](QVASimTransaction& transaction, const QVASimDistributionID& distribution) {
        system.SetUserMatrix(transaction, name, distribution);
      });
}

void QVADynUtilities::CreateVector(QVAFsmSystem& system, int number, const QVASimCSetID& set,
                                   int valueKind) {
  CreateAndAttach(
      system,
      [&](const QVASimPosition& position) {
        return QVASrvUtilities::Create1DDistribution(position, valueKind, set, -1);
      },
      [&](QVASimTransaction& transaction, const QVASimDistributionID& distribution) {
        system.SetDistribution(transaction, number, distribution);
      });
}

void QVADynUtilities::CreateMatrix(QVAFsmSystem& system, const KRNString& name,
                                   const QVASimCSetID& rowSet, const QVASimCSetID& columnSet,
                                   int valueKind) {
  CreateMatrixAttached(
      system, rowSet, columnSet, valueKind,
      [&](QVASimTransaction& transaction, const QVASimDistributionID& distribution) {
        system.SetUserMatrix(transaction, name, distribution);
      });
}

void QVADynUtilities::CreateMatrix(QVAFsmSystem& system, int number, const QVASimCSetID& rowSet,
                                   const QVASimCSetID& columnSet, int valueKind) {
  CreateMatrixAttached(
      system, rowSet, columnSet, valueKind,
      [&](QVASimTransaction& transaction, const QVASimDistributionID& distribution) {
        system.SetDistribution(transaction, number, distribution);
      });
}
