#pragma once

// The loading of one event: its load cases, indexed from 0 and created on
// demand, the amplitude table that scales their forces over the frames, and
// the number of active modes, which is the length of one modal-force column.
//
// Amplitude table: row r is amplitude r, column f is frame f, stored column by
// column. Modal forces of all load cases at one frame, m active modes, three
// load cases:
//
//   out = [ case 0: m values | case 1: m values | case 2: m values ]
//
// The event owns the list; the list owns its load cases and the table. Solvers
// receive it as const and call GetModalForces once per frame and part.

#include <memory>
#include <vector>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynLoadCase.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"
#include "platform/matrix/QVASrvMatrix.h"

class QVADYN_EXPORT QVADynLoadCaseList : public mem_AllocationOperators {
 public:
  // No load cases, no amplitude table, no active modes.
  QVADynLoadCaseList();
  QVADynLoadCaseList(const QVADynLoadCaseList&) = delete;
  QVADynLoadCaseList& operator=(const QVADynLoadCaseList&) = delete;
  // Deletes every load case and the amplitude table.
  ~QVADynLoadCaseList();

  // The length m of one modal-force column, set by the event's SetActiveModes.
  // Raises QVABasError (kQVABasInvalidArgument) for a negative count.
  void SetNumberOfActiveModes(int numberOfActiveModes);
  int NumberOfActiveModes() const { return numberOfActiveModes_; }

  // Takes ownership of `table` (allocated with new) and deletes the table held
  // before; null just releases the held table. Adopting the table already
  // held changes nothing.
  void AdoptAmplitudeTable(QVASrvMatrix* table);
  // The adopted table, or null; it stays the list's.
  QVASrvMatrix* AmplitudeTable() { return amplitudeTable_.get(); }
  const QVASrvMatrix* AmplitudeTable() const { return amplitudeTable_.get(); }

  int NumberOfCases() const { return static_cast<int>(cases_.size()); }
  // Load case i; when i >= NumberOfCases() new empty load cases are appended
  // until there are i + 1. Raises QVABasError (kQVASrvIndexOutOfRange) naming
  // i for a negative index.
  QVADynLoadCase& LoadCase(int i);
  // Load case i, without creating any. Raises QVABasError
  // (kQVASrvIndexOutOfRange) naming i and the count unless
  // 0 <= i < NumberOfCases().
  const QVADynLoadCase& ConstLoadCase(int i) const;

  // The modal forces of `part` at `frame` of every load case: column c,
  // out[c*m ... c*m + m - 1] with m = NumberOfActiveModes(), is set to zero
  // and then receives QVADynLoadCase::AddModalForce with the amplitude table.
  // `out` holds NumberOfCases() * m values.
  // Before anything is written it raises QVADynModeNumberMismatch (operation
  // "QVADynLoadCaseList::GetModalForces") when a force matrix has other than
  // m rows or a base motion has more than m factors, and QVABasError as
  // QVADynLoadCase::VerifyModalForce for indices outside the table or the
  // base motions; `out` is then unchanged.
  void GetModalForces(double* out, QVADynNumberType part, int frame) const;

 private:
  int numberOfActiveModes_ = 0;
  std::unique_ptr<QVASrvMatrix> amplitudeTable_;
  std::vector<std::unique_ptr<QVADynLoadCase>> cases_;
};
