#pragma once

// The blocked recovery u = Phi * q shared by the events: the recovery DOFs
// cut into ranges of consecutive solver DOFs, the block sizes of the result
// distributions, and the range-by-range product of the mode-shape matrix with
// stored modal amplitudes.
//
// Ranges: the DOF list is cut into runs of consecutive solver DOFs, none
// longer than the range limit, which is TOR_DYN_MAX_RECOVERY_SIZE taken
// through atoi when the variable is set (0 or less: no limit), otherwise the
// row-block height of the mode-shape matrix:
//
//   DOF list {1, 2, 3, 7, 8}, limit 100 -> ranges {1, 2, 3} {7, 8}
//   DOF list {1, 2, 3, 7, 8}, limit 2   -> ranges {1, 2} {3} {7, 8}
//
// Block sizes of a result distribution (DOFs x frames): rows
// min(count, row-block height of Phi), columns min(frames,
// TOR_DYN_RESULTS_COL_BLOCKSIZE), both limited so that a block stays below
// 2 GB.
//
// Use by an event's Recover, after the heading (see QVADynHarmonicEvent):
//
//   QVADynBlockedRecovery recovery(ModalSystem(), dofs.Dofs(), dofs.Count(), NumberOfFrames());
//   log.Write(recovery.RangeLines());
//   QVASimTransaction transaction(results.MyPosition().Context());
//   QVASimCSetID dofSet = recovery.CreateDofSet(results);
//   ... create the result distribution with RowBlock(), ColumnBlock() ...
//   recovery.Multiply(storedAmplitudes, ActiveModes(), resultMatrix);   // per quantity/case/part
//
// The mode-shape matrix is read once per Multiply, range by range, and each
// range is multiplied by all frames at once.

#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "platform/base/cow_String.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVAFsmModalEventResults.h"
#include "platform/modeldb/QVASimCSetID.h"

class QVADynBlockedRecovery {
 public:
  // Cuts `solverDofs` (count > 0 entries, ascending solver DOFs that are rows
  // of the mode-shape matrix) into ranges and chooses the block sizes for
  // results of `numberOfFrames` columns. The list and the system must
  // outlive this object. Raises QVABasError (kQVASrvInvalidState) when the
  // system has no mode shapes.
  QVADynBlockedRecovery(const QVADynModalSystem& system, const int* solverDofs, int count,
                        int numberOfFrames);
  QVADynBlockedRecovery(const QVADynBlockedRecovery&) = delete;
  QVADynBlockedRecovery& operator=(const QVADynBlockedRecovery&) = delete;
  ~QVADynBlockedRecovery();

  // The range limit in force: TOR_DYN_MAX_RECOVERY_SIZE through atoi when
  // set, else the row-block height of `modeShapes`.
  static int RangeLimit(const QVADynModalSystem& system);

  int NumberOfDofs() const { return count_; }
  int NumberOfRanges() const { return numberOfRanges_; }
  // numberOfRanges + 1 boundaries into the DOF list.
  const int* Ranges() const { return ranges_; }
  int RowBlock() const { return rowBlock_; }
  int ColumnBlock() const { return columnBlock_; }

  // "Number of dofs for recovery:   <count>\nNumber of recovery dof ranges: <ranges>\n".
  cow_String RangeLines() const;

  // The ordered set of the system DOFs of the list on the results' Dofs
  // collection. Needs an open transaction on the results' database.
  QVASimCSetID CreateDofSet(const QVAFsmModalEventResults& results) const;

  // out <- Phi(list rows, :) * q, where q (modes x frames) holds row k of
  // `amplitudes` (active modes x frames) on the row of mode activeModes[k]
  // and zeros on the rows of inactive modes. `out` has count rows and as
  // many columns as `amplitudes`.
  void Multiply(const QVASrvDenseMatrix& amplitudes, const int* activeModes,
                QVASrvDenseMatrix& out);

 private:
  const QVASrvDenseMatrix& modeShapes_;
  const int* solverDofs_;
  int count_;
  int numberOfRanges_ = 0;
  int* ranges_ = nullptr;
  int rowBlock_ = 0;
  int columnBlock_ = 0;
  // modes x frames, reused by every Multiply with as many frames.
  QVASrvMatrix amplitudesOnModes_;
  const QVAFsmSystemDofDefinition& dofs_;
};
