#pragma once

// Static services of the component: the tuning settings read from the
// environment, the nodes that carry mode-shape values, the projection of a
// sparse load matrix onto selected modes, and the creation of vectors and
// matrices in the model database with a chunking chosen from their sets.
//
// Settings (read with getenv and atoi on every call, never cached):
//   TOR_DYN_MODESHAPE_ROW_BLOCKSIZE   rows per mode-shape chunk      default 100
//   TOR_DYN_MODESHAPE_COL_BLOCKSIZE   modes per mode-shape chunk     default 5
//   TOR_DYN_RESULTS_COL_BLOCKSIZE     result columns per pass        default 20
// "12abc" reads as 12, "abc" as 0 and "-3" as -3; no bounds are applied here
// (the chunking of the matrix services takes values below 1 as the whole
// dimension).
//
// ProjectForce, for a load matrix F (DOFs x c) and mode shapes Phi (solver
// DOFs x m), returns P with P(i, k) = sum_s F(s, k) * Phi(s, modes[i]):
//   modes {2, 0} -> row 0 is the projection onto mode 2, row 1 onto mode 0.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/base/KRNString.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVAFsmSystem.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"
#include "platform/modeldb/QVASimCSetID.h"

class QVADynModalSystem;

class QVADYN_EXPORT QVADynUtilities {
 public:
  ~QVADynUtilities();

  // TOR_DYN_MODESHAPE_ROW_BLOCKSIZE, 100 when unset.
  static int ModeShapeRowBlocksize();
  // TOR_DYN_MODESHAPE_COL_BLOCKSIZE, 5 when unset.
  static int ModeShapeColBlocksize();
  // TOR_DYN_RESULTS_COL_BLOCKSIZE, 20 when unset.
  static int ResultsColBlocksize();

  // One flag per node of the modal system's DOF definition (their number goes
  // to `numberOfNodes`): true for the nodes that own at least one row of the
  // mode-shape matrix. The array comes from mem_Malloc; the caller frees it
  // with mem_Free.
  static bool* NodesWithModes(QVADynModalSystem& modal, int& numberOfNodes);

  // Projects `load` (system DOFs x c) onto the modes `modes[0 ... numModes-1]`
  // (0-based columns of `modeShapes`, whose rows are solver DOFs of `dofs`):
  // a new numModes x c matrix that the caller deletes. The rows of `load` are
  // permuted in place into solver-DOF order and stay so. Returns null when
  // `load` has no columns; ends the process through
  // QVASrvUtilities::ReportAndAbort when `load` is null. Raises QVABasError
  // (kQVABasInvalidArgument), before `load` is touched, for a negative
  // numModes, a null list and a mode outside the columns of `modeShapes`.
  static QVASrvMatrix* ProjectForce(int numModes, const int* modes,
                                    const QVAFsmSystemDofDefinition& dofs,
                                    const QVASrvDenseMatrix& modeShapes, QVASrvSparseMatrix* load);

  // A vector of data kind `valueKind` over `set` (one chunk), attached to
  // `system` as the user matrix `name` or as distribution number `number`, in
  // one transaction.
  static void CreateVector(QVAFsmSystem& system, const KRNString& name, const QVASimCSetID& set,
                           int valueKind);
  static void CreateVector(QVAFsmSystem& system, int number, const QVASimCSetID& set,
                           int valueKind);

  // A matrix of data kind `valueKind` over (rowSet, columnSet), attached as
  // CreateVector does. Each dimension's chunk size follows the kind of its
  // set's collection: modes 128, load cases 32, kind (21, 4) 6, DOFs 1024,
  // frames 1024, any other 16; cut to the set's size, then limited to 2 GB
  // per chunk.
  static void CreateMatrix(QVAFsmSystem& system, const KRNString& name, const QVASimCSetID& rowSet,
                           const QVASimCSetID& columnSet, int valueKind);
  static void CreateMatrix(QVAFsmSystem& system, int number, const QVASimCSetID& rowSet,
                           const QVASimCSetID& columnSet, int valueKind);
};
