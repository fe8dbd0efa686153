#pragma once

// Base of every modal event built over an opened QVADynModalSystem: the
// harmonic event, the transient event and the response-spectrum event. It
// holds what they share: the active modes, the frames, the load cases with
// their amplitude table, the per-mode damping records, the projected-damping
// and energy requests, and the handle of the event's results in the model
// database. It writes the bookkeeping sets (active modes, frames, load cases)
// to the results, forms the modal forces for the solver, and provides the
// common solve driver and the pieces of the blocked recovery to the events.
//
// A host's sequence, for a harmonic event over modes 0, 2, 5 and two
// frequencies:
//
//   QVADynHarmonicEvent event(system, new QVADynHarmonicSolver, results);
//   const int modes[] = {0, 2, 5};
//   event.SetActiveModes(3, modes);               // results: ActiveModes {0, 2, 5}
//   const QVADynFrameValue frames[] = {{10.0, 0, 0}, {20.0, 0, 0}};
//   event.SetFrameValues(2, frames);              // results: Frames {0, 1}
//   event.LoadCase(0).AdoptForce(force);          // 3-row modal force
//   event.AdoptAmplitudeTable(table);
//   event.Solve(nullptr);                         // results: Cases, GU
//   event.Recover(nodes, 1);                      // results: U
//   event.GetNodalResults(nodes, 1, 0, out, QVADynRecoverDisplacement);
//
// Active modes are zero-based modes of the modal system; when the system has
// acoustic modes, the last NumberOfActiveAcousticModes() entries of the list
// are the acoustic ones. An event is used by one thread at a time; the modal
// system must outlive it.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynEnergy.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynLoadCase.h"
#include "QVADyn/QVADynCore/QVADynLoadCaseList.h"
#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynSolution.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVAFsmModalEventResults.h"
#include "platform/modeldb/QVASimCSetID.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "platform/modeldb/QVASimDistributionID.h"

class QVADynOperatorUpdate;
class QVADynSolver;

class QVADYN_EXPORT QVADynEvent : public mem_AllocationOperators {
 public:
  // Keeps `system` (not owned) and a copy of the results handle; no load
  // cases, frames, active modes, damping or requests. Writes nothing. Raises
  // QVABasError (kQVABasInvalidArgument) for results that are not those of
  // the modal system's database object (another database, other modes or
  // DOFs).
  QVADynEvent(const QVADynModalSystem& system, QVAFsmModalEventResults results);
  QVADynEvent(const QVADynEvent&) = delete;
  QVADynEvent& operator=(const QVADynEvent&) = delete;
  // Deletes the load cases (with their forces, base motions and the amplitude
  // table), the energy matrices and the arrays, then writes
  // "Elapsed time spent reading nodal data: <seconds>\n" to the log.
  virtual ~QVADynEvent();

  // --- the kind-specific operations ----------------------------------------
  // 0 harmonic, 1 transient, 2 response spectrum.
  virtual int EventType() const = 0;
  // Solves for the modal amplitudes of every frame and load case and stores
  // them in the results; `update` may be null.
  virtual void Solve(QVADynOperatorUpdate* update) = 0;
  // Stores reaction forces computed by the host for one load case: two
  // in-core matrices, DOFs of the flagged nodes x frames.
  virtual void SetReactionForces(const bool* nodes, int loadCase, const QVASrvMatrix& real,
                                 const QVASrvMatrix& imaginary) = 0;
  // One column of modal displacement, velocity or acceleration:
  // NumberOfActiveModes() values into `out`.
  virtual void GetModalAmplitudes(QVADynRecoveryType type, QVADynNumberType part, int frame,
                                  int loadCase, double* out) = 0;
  // Recovers the physical results of every frame and load case at the
  // flagged nodes (null: all nodes); quantities: bit 1 displacement, bit 2
  // velocity, bit 4 acceleration.
  virtual void Recover(const bool* nodes, int quantities) = 0;
  // One frame of a finished recovery into a node-by-DOF array
  // (out[node * MaxNodalDof + place]); the real part for a harmonic event.
  virtual void GetNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                               QVADynRecoveryType type) = 0;
  // As GetNodalResults, for the imaginary part.
  virtual void GetImaginaryNodalResults(const bool* nodes, int frame, int loadCase, double* out,
                                        QVADynRecoveryType type) = 0;

  // --- active modes and frames --------------------------------------------
  int NumberOfActiveModes() const { return numberOfActiveModes_; }
  int NumberOfActiveAcousticModes() const { return numberOfActiveAcousticModes_; }
  // The stored list (NumberOfActiveModes() entries), not a copy; null before
  // SetActiveModes.
  const int* ActiveModes() const { return activeModes_.get(); }
  int NumberOfFrames() const { return numberOfFrames_; }
  // A copy of frame i. Raises QVABasError (kQVASrvIndexOutOfRange) naming i
  // and the frame count unless 0 <= i < NumberOfFrames().
  QVADynFrameValue FrameValue(int i) const;

  // Sets the n active modes (zero-based modes of the modal system) once and
  // writes them as the results' active-mode set, in the given order. With
  // every mode of the system active the event keeps the list 0 ... n-1 (the
  // amplitudes then run in mode order). The acoustic count is the modal
  // system's. A call with n = 0 stores nothing and leaves the setter open.
  // Raises QVADynMultipleCallsException ("QVADynEvent::SetActiveModes") when
  // modes are set already; QVABasError (kQVABasInvalidArgument) for a
  // negative n, a null list, a mode outside the system, a mode given twice,
  // or a subset of a system with acoustic modes whose last
  // NumberOfAcousticModes() entries are not its acoustic modes. Nothing of the
  // event changes when it raises.
  void SetActiveModes(int n, const int* modes);
  // Copies the n frames once and writes the results' frame set 0 ... n-1. A
  // call with n = 0 leaves the setter open. Raises
  // QVADynMultipleCallsException ("QVADynEvent::SetFrameValues") when frames
  // are set already; QVABasError (kQVABasInvalidArgument) for a negative n or
  // a null array.
  void SetFrameValues(int n, const QVADynFrameValue* values);

  // --- loading -------------------------------------------------------------
  // Load case i, created on demand (empty load cases are appended until
  // there are i + 1). Raises QVABasError (kQVASrvIndexOutOfRange) for i < 0.
  QVADynLoadCase& LoadCase(int i);
  // Load case i; raises QVABasError (kQVASrvIndexOutOfRange) naming i and
  // the count unless 0 <= i < NumberOfCases().
  const QVADynLoadCase& ConstLoadCase(int i) const;
  int NumberOfCases() const;
  // Takes ownership of `table` (allocated with new): row r amplitude r,
  // column f frame f.
  void AdoptAmplitudeTable(QVASrvMatrix* table);
  QVASrvMatrix* AmplitudeTable();
  // The modal forces of `part` at `frame` of every load case: column c at
  // out + c * NumberOfActiveModes() (packed at the active-mode count whatever
  // the leading dimension). Raises QVADynModeNumberMismatch
  // ("QVADynEvent::GetModalForce") when leadingDimension <
  // NumberOfActiveModes(), and as QVADynLoadCaseList::GetModalForces.
  void GetModalForce(QVADynNumberType part, int frame, double* out, int leadingDimension) const;

  // --- damping -------------------------------------------------------------
  // Copies n per-mode damping records (one per active mode, in the order of
  // the active-mode list). Raises QVADynModeNumberMismatch
  // ("QVADynEvent::SetModalDamping!") unless n == NumberOfActiveModes(), and
  // QVABasError (kQVABasInvalidArgument) for a null array with n > 0 or a
  // value that is NaN or infinite (naming the record and its active mode).
  void SetDiagonalDamping(int n, const QVADynDiagonalDamping* records);
  // The copied records, or null.
  const QVADynDiagonalDamping* DiagonalDamping() const { return diagonalDamping_.get(); }
  // Asks for the projected damping of the modal system: bit 1 viscous, bit 2
  // structural, bit 4 acoustic viscous. A bit is granted when it is asked for
  // and the system holds that matrix; earlier grants are replaced. Returns
  // the grant.
  int RequestProjectedDamping(int flags);
  int ProjectedDampingGrant() const { return grantedProjectedDamping_; }
  // A new damping object over the records and the granted projected
  // matrices; the caller deletes it.
  QVADynModalDamping* getDamping() const;

  // --- energy output -------------------------------------------------------
  // Adds the energy kinds of `bits` (bit 2^kind, QVADynEnergyType) to the
  // request.
  void RequestEnergyOutput(int bits) { energyOutput_ |= bits; }

 protected:
  // Store step of RunSolve: receives the solver's amplitudes and the energy
  // accumulator of the solve.
  using SolutionStore = std::function<void(const QVADynSolution&, const QVADynEnergy&)>;

  // Solver DOFs of the nodes of the last recovery (or, for the harmonic
  // event, the last SetReactionForces), kept for the read-back operations
  // with their places in a node-by-DOF array and the row sets of the results
  // already found to hold exactly these DOFs.
  class RecoveryDofs {
   public:
    RecoveryDofs() = default;
    RecoveryDofs(const RecoveryDofs&) = delete;
    RecoveryDofs& operator=(const RecoveryDofs&) = delete;
    ~RecoveryDofs();
    // Replaces the list by the solver DOFs of the flagged nodes (all nodes
    // when `nodes` is null), ascending, and their places; forgets the checked
    // row sets.
    void Select(const QVAFsmSystemDofDefinition& dofs, const bool* nodes);
    void Swap(RecoveryDofs& other) noexcept;
    const int* Dofs() const { return dofs_; }
    int Count() const { return count_; }
    // The places of the listed DOFs in a node-by-DOF array (node *
    // MaxNodalDof + place) as runs: list entries first ... first + length - 1
    // go to places place ... place + length - 1. Solver DOFs that follow each
    // other at neighbouring places share a run; a model whose nodes carry
    // every place, numbered node by node, is one run.
    struct PlaceRun {
      int first;
      int length;
      std::int64_t place;
    };
    const std::vector<PlaceRun>& PlaceRuns() const { return placeRuns_; }
    // Whether rows 0 ... Count()-1 of results over `rowSet` were found to be
    // the listed DOFs; NoteChecked records that they were.
    bool WasChecked(const QVASimCSetID& rowSet) const;
    void NoteChecked(const QVASimCSetID& rowSet) const;

   private:
    int* dofs_ = nullptr;
    int count_ = 0;
    std::vector<PlaceRun> placeRuns_;
    mutable std::vector<QVASimCSetID> checkedRowSets_;
  };

  const QVADynModalSystem& ModalSystem() const { return system_; }
  QVAFsmModalEventResults Results() const { return results_; }
  // A copy of the modal system's log handle.
  QVADynLogFile LogFile() const;
  const QVADynFrameValue* FrameValues() const { return frameValues_.get(); }
  QVADynLoadCaseList& LoadCases() { return *loadCases_; }
  const QVADynLoadCaseList& LoadCases() const { return *loadCases_; }
  int EnergyOutput() const { return energyOutput_; }

  // The common solve of every event:
  //   1. writes the solve heading with the numbers of physical DOFs, active
  //      modes and frames, and starts a timer;
  //   2. builds the modal operators of the active modes with getDamping() and
  //      `update`, and an energy accumulator for `energyRequest`;
  //   3. calls `solver`, then `store` with the solution and the accumulator;
  //   4. releases the solution and writes
  //      "Solve for modal amplitudes: elapsed time: <seconds>\n".
  // Raises QVABasError (kQVASrvInvalidState) unless active modes and frames
  // are set. The harmonic event passes energy request 0, the transient and
  // response-spectrum events EnergyOutput(); the transient event's store
  // step also calls WriteEnergies.
  void RunSolve(QVADynSolver& solver, QVADynOperatorUpdate* update, int energyRequest,
                const SolutionStore& store);

  // The results of a transient or response-spectrum event: the modal
  // displacement, velocity and acceleration (index 0, 1, 2 as
  // QVADynRecoveryType; active modes x frames, one column per frame) stored by
  // the solve, the physical ones (recovery DOFs x frames) stored by the
  // recovery for the quantities it was asked for, and the DOFs of the last
  // recovery. Null matrices have not been computed.
  struct TimeHistories {
    RecoveryDofs recoveryDofs;
    std::unique_ptr<QVASrvDenseMatrix> modal[3];
    std::unique_ptr<QVASrvDenseMatrix> physical[3];
  };

  // The solve of the transient and response-spectrum events: RunSolve with
  // the request EnergyOutput(); the first NumberOfActiveModes() x
  // NumberOfFrames() values of the solver's displacement, velocity and
  // acceleration are stored, after the load-case set, as GU, GV and GA (data
  // kind (6, 22) over the results' ActiveModes and Frames) and kept in
  // `histories`; with `writeEnergies` the accumulator's energies follow
  // (WriteEnergies). Raises QVABasError (kQVASrvInvalidState) without load
  // cases (a free vibration takes one empty load case, LoadCase(0)) and as
  // RunSolve.
  void RunTimeHistorySolve(QVADynSolver& solver, QVADynOperatorUpdate* update, bool writeEnergies,
                           TimeHistories& histories);
  // The recovery of the transient and response-spectrum events: the flagged
  // nodes (null: all) give the new recovery DOFs; the log block names the
  // quantities (bit 1 displacement, 2 velocity, 4 acceleration) after
  // "Recovering data for: ", each followed by "\n"; for each, a new recovery DOFs x
  // frames result (data kind (6, 8) over the ordered DOF set and Frames) is
  // filled with Phi * q and stored as U, V or A. Results of quantities not
  // asked for stay as they were. Raises QVABasError (kQVASrvInvalidState)
  // when a quantity is asked for before a solve; nothing changes then.
  void RecoverTimeHistories(const bool* nodes, int quantities, TimeHistories& histories);
  // Column NumberOfCases() * frame + loadCase of the modal matrix of `type`
  // into out (NumberOfActiveModes() values). The imaginary part, and types
  // other than 0, 1, 2, read as zeros. Raises QVABasError
  // (kQVASrvInvalidState) before a solve, and as the matrix services for a
  // column outside the stored frames.
  void ReadModalTimeHistory(const TimeHistories& histories, QVADynRecoveryType type,
                            QVADynNumberType part, int frame, int loadCase, double* out) const;
  // Frame `frame` of the physical result of `type` at the recovery DOFs, into
  // out[node * MaxNodalDof + place] (ReadNodalValues). Where that result was
  // not recovered, or for a type other than 0, 1, 2, those entries are set to
  // 0.0; other entries of `out` keep their values.
  void ReadNodalTimeHistory(const TimeHistories& histories, int frame, double* out,
                            QVADynRecoveryType type);

  // Writes the results' frame set 0 ... NumberOfFrames()-1.
  void WriteFrames();
  // Names the load cases in the results ("LoadCase #0", "LoadCase #1", ...)
  // and writes their set, unless the results carry a non-empty case set.
  // Each event's Solve calls it before it stores the amplitudes.
  void WriteCases();

  // The rows x frames view of a four-dimensional result distribution
  // [rows, Frames, complex part, Cases] at complex part `part` (4 real, 0
  // imaginary) and load case `loadCase` (position in the results' case set).
  // Raises QVABasError for a distribution, part or case the results lack.
  std::unique_ptr<QVASrvDenseMatrix> ResultSlice(const QVASimDistributionID& distribution, int part,
                                                 int loadCase) const;
  // The same slice as a view of the database (sets, cache hint, values).
  QVASimDistribution ResultView(const QVASimDistributionID& distribution, int part,
                                int loadCase) const;

  // Reads column `frame` of rows 0 ... dofs.Count()-1 of `matrix` (a result
  // over a whole distribution or a slice of one) and stores row k at
  // out[node * MaxNodalDof + place] of solver DOF dofs.Dofs()[k]; other
  // entries of `out` keep their values. The rows are checked against the list
  // once per recovery and row set; after that a frame is one pass over the
  // stored column, run by run. Adds the time spent to the nodal read time. Raises
  // QVABasError (kQVASrvInvalidState) when the rows of `matrix` belong to
  // other DOFs than the list (a read-back after a recovery of other nodes),
  // and (kQVASrvIndexOutOfRange) for a frame out of range.
  void ReadNodalValues(const QVASrvDenseMatrix& matrix, const RecoveryDofs& dofs, int frame,
                       double* out);

  // Writes the requested energies of `energy` to the results: modal kinds as
  // active modes x frames, whole-model kinds as frames x 1, each with the
  // first values of the accumulator's array, and keeps the matrices for
  // ModalEnergy and WholeModelEnergy. Does nothing without a request.
  void WriteEnergies(const QVADynEnergy& energy);
  // Column `frame` of the written modal energy of `kind` (0 kinetic, 1
  // strain, 2 external work) into out (NumberOfActiveModes() values);
  // `loadCase` is not read. Raises QVADynUnknownEnergyType
  // ("QVADynEvent::ModalEnergy") for another kind, QVABasError
  // (kQVASrvInvalidState) when that energy was not written.
  void ModalEnergy(int kind, int frame, int loadCase, double* out) const;
  // The NumberOfFrames() values of the written whole-model energy of `kind`
  // (3 kinetic, 4 strain, 5 external work) into out. Raises
  // QVADynUnknownEnergyType ("QVADynEvent::WholeModelEnergy") for another
  // kind, QVABasError (kQVASrvInvalidState) when that energy was not written.
  void WholeModelEnergy(int kind, double* out) const;

 private:
  void WriteActiveModes(int n, const int* modes);
  void VerifyActiveModes(int n, const int* modes) const;
  const QVASrvDenseMatrix& WrittenEnergy(int kind, const char* operation) const;

  QVAFsmModalEventResults results_;
  double nodalReadSeconds_ = 0.0;
  const QVADynModalSystem& system_;
  std::unique_ptr<QVADynLoadCaseList> loadCases_;
  struct ArrayRelease {
    void operator()(void* values) const noexcept;
  };
  std::unique_ptr<QVADynFrameValue[], ArrayRelease> frameValues_;
  std::unique_ptr<QVADynDiagonalDamping[], ArrayRelease> diagonalDamping_;
  std::unique_ptr<QVASrvDenseMatrix> energyMatrices_[QVADynEnergy::kNumberOfKinds];
  std::unique_ptr<int[], ArrayRelease> activeModes_;
  int numberOfActiveModes_ = 0;
  int numberOfActiveAcousticModes_ = 0;
  int numberOfFrames_ = 0;
  int grantedProjectedDamping_ = 0;
  int energyOutput_ = 0;
};
