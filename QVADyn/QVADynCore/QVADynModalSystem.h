#pragma once

// The in-memory view of one real modal basis in the host's model database:
// eigenvalues (omega^2 of mass-normalized modes), mode shapes (solver DOFs x
// modes, in blocked storage), projected damping and coupling matrices, and the
// counts of structural, residual and acoustic modes. Every event is built over
// a modal system, which must outlive it.
//
// Mode numbering, with n modes, a acoustic and r residual modes:
//   all 0 ... n-1;  structural 0 ... n-a-1;  residual n-a-r ... n-a-1;
//   acoustic n-a ... n-1.
// Mode-column map: the mode in column j of column block b has the code
// b*128 + j; with a column chunk of 5 and 12 modes the map reads
//   0 1 2 3 4 128 129 130 131 132 256 257.
//
// Reading: construct over the DOF definition, the modal-database object and
// the log handle, then Open(). Writing: SetEigenvalues(), then the Create...
// operations, whose matrices the caller fills. A second constructor builds an
// active-mode subset in memory (views where the selection is contiguous,
// in-core copies otherwise).
//
// Mode-shape reads change cached state and accumulate time even through const
// operations; a modal system is used by one thread at a time.

#include <cstdint>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/matrix/QVASrvDataRequest.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvMatrixContainer.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVAFsmModalSystem.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

class QVADYN_EXPORT QVADynModalSystem {
 public:
  // Copies the log handle and the modal-database handle and adopts `dofs`
  // (allocated with new; deleted with the last modal system sharing it, that
  // is this one and its subsets). Reads nothing.
  QVADynModalSystem(QVAFsmSystemDofDefinition* dofs, QVAFsmModalSystem& modal, QVADynLogFile& log);

  // The active-mode subset of `source` over `activeModes` (zero-based mode
  // numbers of the source, structural ones first). Requires
  // 0 < numActiveModes < source.NumberOfModes() and a list; otherwise throws
  // the fixed assertion text as a const char*. Writes nothing to the database.
  // The subset must not outlive `source`.
  QVADynModalSystem(const QVADynModalSystem& source, int numActiveModes, const int* activeModes);

  QVADynModalSystem(const QVADynModalSystem&) = delete;
  QVADynModalSystem& operator=(const QVADynModalSystem&) = delete;
  ~QVADynModalSystem();

  // --- reading the basis ---------------------------------------------------
  // Wraps the stored mode shapes, damping and coupling matrices, reads the
  // eigenvalues and participation factors, builds the mode-column map, takes
  // the residual and acoustic counts and sets up the solver DOFs from the
  // mode-shape rows. Called once. Raises QVABasError: kQVASrvInvalidState
  // when no eigenvalues or no mode shapes are stored, kQVABasInvalidArgument
  // for a stored eigenvalue refused as by SetEigenvalues.
  void Open();
  int NumberOfModes() const { return numberOfModes_; }
  int NumberOfAcousticModes() const { return numberOfAcousticModes_; }
  int NumberOfResidualModes() const { return numberOfResidualModes_; }
  const QVAFsmSystemDofDefinition& DofDefinition() const;
  // The property-evaluation frequency of the system's frequency task.
  double PropertyEvaluation() const;
  // Size of the frequency task's recovery-node set, 0 when there is none.
  int NumberOfRecoveryNodes() const;
  // Writes the recovery nodes into `nodes` (NumberOfRecoveryNodes() entries).
  void RecoveryNodes(int* nodes) const;

  // --- writing a basis -----------------------------------------------------
  // Stores the counts and writes the modes, structural, residual and acoustic
  // sets, the eigenvalues and a unit generalized mass, in one transaction.
  // Raises QVABasError (kQVABasInvalidArgument), before anything is stored,
  // for numModes < 1, a null array, acoustic counts outside 0 ... numModes,
  // residual counts outside 0 ... numModes - numAcousticModes, and an
  // eigenvalue that is NaN, infinite or below -sqrt(eps) * max(1, largest
  // |eigenvalue|); negatives within round-off are stored as given and taken
  // as zero by the solvers.
  void SetEigenvalues(const double* eigenvalues, int numModes, int numAcousticModes,
                      int numResidualModes);
  // New mode-shape matrix (numRows solver DOFs x modes), chunked by the
  // mode-shape block-size settings (limited to 2 GB per chunk; a column block
  // holds at most 128 modes, the most the mode-column map can address);
  // attached unless `scratch`. Its rows are solver DOFs 0 ... numRows-1 of the
  // DOF definition. The modal system owns it; the caller fills it. Raises
  // QVABasError before SetEigenvalues (kQVASrvInvalidState) and for numRows
  // outside 0 ... solver DOFs (kQVABasInvalidArgument); whenever it raises,
  // nothing is attached and the former matrix stays.
  QVASrvDenseMatrix& CreateModeShapes(int numRows, bool scratch);
  // New projected damping matrix of `kind` (0, 1: structural x structural
  // modes; 2: acoustic x acoustic); raises QVADynUnsupportedDamping for any
  // other kind.
  QVASrvDenseMatrix& CreateDamping(QVADynDampingType kind, bool scratch);
  // New acoustic coupling matrix, acoustic modes x structural modes.
  QVASrvDenseMatrix& CreateAcousticCoupling(bool scratch);

  // --- read access for the component (no side effects) ----------------------
  QVASrvDenseMatrix* ModeShapes() const { return modeShapes_; }
  QVASrvDenseMatrix* ViscousDamping() const { return viscousDamping_; }
  QVASrvDenseMatrix* StructuralDamping() const { return structuralDamping_; }
  QVASrvDenseMatrix* AcousticViscousDamping() const { return acousticViscousDamping_; }
  QVASrvDenseMatrix* AcousticCoupling() const { return acousticCoupling_; }
  const double* Eigenvalues() const { return eigenvalues_; }
  // n x 6 values, column by column, or null.
  const double* ParticipationFactors(int slot) const { return participationFactors_[slot]; }
  const int* ModeColumnMap() const { return modeColumnMap_; }
  QVADynLogFile LogFile() const { return logFile_; }
  const QVAFsmModalSystem& ModalDatabaseObject() const { return modal_; }
  bool IsSubset() const { return isSubset_; }

  // --- mode-shape storage and nodal access ----------------------------------
  // Node-by-DOF arrays: for c modes, node p, mode position k and DOF place d at
  // p*MaxNodalDof*c + k*MaxNodalDof + d; a one-mode array at p*MaxNodalDof + d.
  void GetModesNodalStorage(const QVASrvDataRequest& request, double* out, int block) const;
  void GetModeNodalStorage(const QVASrvDataRequest& request, int mode, double* out) const;
  void SetModesNodalStorage(const QVASrvDataRequest& request, const double* in, int block);
  // Enters the block-read state: allocates a zeroed node-by-DOF buffer for
  // the widest column block over all nodes, maps every mode-shape row to its
  // node's place in it, forgets any cached block, resets the access time and
  // the block-load count.
  void BeginReadModes();
  // Leaves the block-read state, frees the buffer and logs
  // "Elapsed time spent reading mode shapes: <seconds>\n".
  void EndReadModes();
  // Builds the per-node DOF index for the nodes whose flag is non-zero (all
  // nodes when `nodes` is null, else NumberOfNodes flags) over the solver DOFs
  // that are rows of the mode-shape matrix, and resets the access time.
  void BeginNodalModeAccess(const int* nodes);
  // Drops the index, logs "Elapsed time spent accessing element-nodal mode
  // shapes: <seconds>\n" and resets the access time.
  void EndNodalModeAccess();
  // Modes firstMode ... lastMode of `node` into out[k*MaxNodalDof + d]. In the
  // block-read state the modes must lie in one column block and places the
  // node lacks read as 0; otherwise the node-access path reads the node's rows
  // and leaves places the node lacks unwritten (callers zero `out`). Raises
  // QVABasError (kQVASrvInvalidState) when neither state is active.
  void GetModesNodal(int firstMode, int lastMode, int node, double* out) const;
  // Number of column blocks loaded into the block-read buffer since the last
  // BeginReadModes().
  int NumberOfBlockLoads() const { return blockLoads_; }

  // --- participation factors and mode-shape reaction forces -----------------
  // Gamma = Phi^T M R over the six rigid-body vectors R (solver DOFs x 6 of
  // `dofs`), stored with SetParticipationFactors(result, slot).
  void CalculateParticipationFactors(const QVASrvSparseMatrix& mass,
                                     const QVAFsmSystemDofDefinition& dofs,
                                     const QVASrvMatrix& rigidBody, int slot);
  // Takes ownership of `values` (n x 6 column by column, from mem_Malloc) as
  // slot `slot`; unless this is a subset, writes the participation factors and
  // the effective masses (their squares) to the database.
  void SetParticipationFactors(double* values, int slot);
  // Copies the value table (perMode x count doubles) and the map
  // (NumberOfNodes x MaxNodalDof ints, 1-based positions, 0 for none).
  void SetModeShapeReactionForces(const double* values, const int* map, int perMode, int count);
  void GetModeShapeReactionForces(int mode, int node, double* out) const;
  void GetModeShapeReactionForces(int node, double* out) const;
  const int* GetModalRfMap() const { return modalRfMap_; }

 protected:
  // The node-access path of GetModesNodal.
  void GetNodalModeshapes(int firstMode, int lastMode, int node, double* out) const;
  // Rebuilds the mode-column map from the mode-shape matrix's column blocks.
  void BuildModeColumnMap();
  // Frees the buffer and the row offsets of the block-read state.
  void ReleaseBlockRead();
  // Loads column block `block` of the mode shapes into the block-read buffer,
  // counted and timed.
  void LoadColumnBlock(int block) const;

  // Members are those of the modal system's data model, in its order.
  QVADynLogFile logFile_;
  QVAFsmModalSystem modal_;
  bool isSubset_ = false;
  struct DofDefinitionHolder;
  DofDefinitionHolder* dofs_ = nullptr;
  int numberOfModes_ = 0;
  int numberOfAcousticModes_ = 0;
  int numberOfResidualModes_ = 0;
  QVASrvDenseMatrix* modeShapes_ = nullptr;
  QVASrvDenseMatrix* viscousDamping_ = nullptr;
  QVASrvDenseMatrix* structuralDamping_ = nullptr;
  QVASrvDenseMatrix* acousticViscousDamping_ = nullptr;
  QVASrvDenseMatrix* acousticCoupling_ = nullptr;
  QVASrvMatrixContainer* container_ = nullptr;
  int reactionForcesPerMode_ = 0;
  int numberOfModesWithReactionForces_ = 0;
  double* reactionForces_ = nullptr;
  int* modalRfMap_ = nullptr;
  double* eigenvalues_ = nullptr;
  double* participationFactors_[4] = {nullptr, nullptr, nullptr, nullptr};
  int* modeColumnMap_ = nullptr;
  bool readModes_ = false;
  mutable int cachedColumnBlock_ = -1;
  // The cached column block as a node-by-DOF array of blockReadSize_ values:
  // node p, mode position k, place d at p * blockReadNodeStride_ + k *
  // blockReadMaxNodalDof_ + d.
  mutable double* blockReadBuffer_ = nullptr;
  std::int64_t blockReadSize_ = 0;
  std::int64_t blockReadNodeStride_ = 0;
  int blockReadMaxNodalDof_ = 0;
  mutable int columnsInCachedBlock_ = 0;
  // Where mode-shape row r goes in the buffer: node * blockReadNodeStride_ + place.
  std::int64_t* blockReadRowOffsets_ = nullptr;
  // Node-access index: the mode-shape rows of node p are nodeDofList_[nodeStart_[p]]
  // ... nodeDofList_[nodeStart_[p + 1] - 1], at the places nodeDofPlaces_[...].
  int* nodeStart_ = nullptr;
  int* nodeDofList_ = nullptr;
  int* nodeDofPlaces_ = nullptr;
  mutable double accumulatedAccessTime_ = 0.0;
  // Block loads of the current block-read state (diagnostics).
  mutable int blockLoads_ = 0;
};
