#pragma once

// Frequency-dependent modal operators of a steady-state event. A host-side
// generator (QVADynGenerateOperators) produces the physical stiffness and
// damping operators at a frequency; the update projects them onto the mode
// shapes (Phi^T A Phi) and writes them into the event's QVADynModalOperators
// before the modal system of a frame is solved.
//
// The host gives a table of generation frequencies and, per frame, two
// indices into it (lower, upper; -1 for none). With one index the operators
// of that frequency are used as they are; with two they are interpolated
// linearly at the frame's frequency:
//
//   frequencyTable = {10.0, 20.0, 40.0}
//   frameTable     = {0, -1,   0, 1,   1, 2}    // frame 0 at 10.0 exactly,
//                                              // frame 1 between 10 and 20,
//                                              // frame 2 between 20 and 40
//
// Domain: QVADynAllDomains updates the structural and (with acoustic
// coupling) the acoustic operators, QVADynStructuralDomain only the
// structural ones, QVADynAcousticDomain only the acoustic ones.
//
// The host builds the update, passes it to the event's Solve and destroys it
// afterwards; the update is used by one thread at a time.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/host/QVADynGenerateOperators.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/matrix/QVASrvScratchDenseMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"

class QVADynModalOperators;

class QVADYN_EXPORT QVADynOperatorUpdate {
 public:
  // Number of projected operators in a lower or upper set: stiffness,
  // viscous damping, structural damping, acoustic stiffness, acoustic damping.
  static constexpr int kOperatorsPerSet = 5;

  // Takes ownership of `generator` (allocated with new), `frameTable` (two
  // entries per frame) and `frequencyTable` (both from mem_Malloc); they are
  // released by the destructor. `firstFlag` is the first storage flag of
  // every matrix the update makes, `differenceMode` makes the projected
  // operators changes relative to the operators at `referenceFrequency`.
  QVADynOperatorUpdate(QVADynGenerateOperators* generator, bool firstFlag, bool differenceMode,
                       double referenceFrequency, int* frameTable, double* frequencyTable,
                       QVADynDomainType domain);
  QVADynOperatorUpdate(const QVADynOperatorUpdate&) = delete;
  QVADynOperatorUpdate& operator=(const QVADynOperatorUpdate&) = delete;
  // Releases the generator, both tables and every matrix the update holds.
  ~QVADynOperatorUpdate();

  // Brings the operators of `frame`, whose frequency is `frequency` (cycles
  // per unit time), into `ops`. Called through QVADynModalOperators::ApplyUpdate.
  void Update(QVADynModalOperators& ops, int frame, double frequency);

  // The part of a coupled model this update covers.
  QVADynDomainType Domain() const { return domain_; }

 private:
  QVADynGenerateOperators* generator_ = nullptr;
  QVASrvDenseMatrix* structuralModeShapes_ = nullptr;
  QVASrvDenseMatrix* acousticModeShapes_ = nullptr;
  QVASrvScratchDenseMatrix* structuralProducts_ = nullptr;
  QVASrvScratchDenseMatrix* acousticProducts_ = nullptr;
  double* frequencyTable_ = nullptr;
  int* frameTable_ = nullptr;
  QVADynDomainType domain_ = QVADynAllDomains;
  double referenceFrequency_ = 0.0;
  QVASrvSparseMatrix* referenceStiffness_ = nullptr;
  QVASrvSparseMatrix* referenceViscousDamping_ = nullptr;
  QVASrvSparseMatrix* referenceStructuralDamping_ = nullptr;
  QVASrvMatrix* lowerSet_[kOperatorsPerSet] = {};
  QVASrvMatrix* upperSet_[kOperatorsPerSet] = {};
  int lastDirectIndex_ = -1;
  int lowerIndex_ = -1;
  int upperIndex_ = -1;
  bool firstFlag_ = false;
  bool differenceMode_ = false;
  bool rowsRemapped_ = false;
};
