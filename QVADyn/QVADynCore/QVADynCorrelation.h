#pragma once

// The spatial correlation of one random excitation: its kind, whether the
// coefficients come from the host's user correlation, whether they are
// complex, the spectrum that drives it and its entries, one per load pattern
// (1-based pattern number -> QVADynCorrelationData). A QVADynRandomEvent owns
// the correlations it adopts; a correlation owns its spectrum and its entries.
//
//   auto* spectrum = new QVADynPSD(false, 0.0);
//   auto* correlation = new QVADynCorrelation(QVADynCorrelationCorrelated, false, true);
//   correlation->SetPSD(spectrum);                                      // owned
//   correlation->AdoptCorrelationData(1, new QVADynCorrelationData(0.8, 0.1, 0.0));
//   correlation->AdoptCorrelationData(3, new QVADynCorrelationData(1.0, 0.0, 0.0));
//   event.AdoptCorrelation(correlation);                                // owned
//
// Kinds: QVADynCorrelationUncorrelated couples each loaded node-DOF only with
// itself; QVADynCorrelationJetNoise is a convected field whose entries carry
// the convection velocity; every other value, 0 included, is fully correlated.

#include <memory>

#include "QVADyn/QVADynCore/QVADynCorrelationData.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynPSD.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/base/mem_Alloc.h"
#include "platform/base/omi_IntTable.h"

class QVADYN_EXPORT QVADynCorrelation : public mem_AllocationOperators {
 public:
  // No spectrum, no entries.
  QVADynCorrelation(QVADynCorrelationType type, bool userDefined, bool complex);
  QVADynCorrelation(const QVADynCorrelation&) = delete;
  QVADynCorrelation& operator=(const QVADynCorrelation&) = delete;
  // Deletes the spectrum and every adopted entry.
  ~QVADynCorrelation();

  // The type as given (values other than 1 and 2 act as correlated).
  QVADynCorrelationType Type() const { return type_; }
  bool IsUncorrelated() const { return type_ == QVADynCorrelationUncorrelated; }
  bool IsJetNoise() const { return type_ == QVADynCorrelationJetNoise; }
  // True: the coefficients of every term come from the random load provider's
  // UserCorrelation instead of the entries.
  bool IsUserDefined() const { return userDefined_; }
  // False: imaginary coefficients are taken as 0.
  bool IsComplex() const { return complex_; }

  const QVADynPSD* GetPSD() const { return spectrum_.get(); }
  // Takes ownership of `spectrum` (allocated with new; null removes it),
  // deleting the one held before unless it is the same object.
  void SetPSD(QVADynPSD* spectrum);

  // Pattern number -> const QVADynCorrelationData*, visited by
  // omi_IntTableIterator in the table's order.
  const omi_IntTable<void*>& GetCorrelationDataList() const { return dataList_; }
  // Takes ownership of `data` (allocated with new) under `key`; a negative key
  // goes to the negative half of the table under its absolute value. An entry
  // already held under `key` is deleted and replaced. Raises QVABasError
  // (kQVABasInvalidArgument) for null data or data this correlation holds
  // already; whenever it raises, ownership stays where it was.
  void AdoptCorrelationData(int key, QVADynCorrelationData* data);

 private:
  QVADynCorrelationType type_;
  bool userDefined_;
  bool complex_;
  std::unique_ptr<QVADynPSD> spectrum_;
  omi_IntTable<void*> dataList_;
};
