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
  // Two generation frequencies closer than this are not interpolated: the
  // frame takes the operators of its lower one.
  static constexpr double kMinimumInterval = 0.001;

  // Takes ownership of `generator` (allocated with new), `frameTable` (two
  // entries per frame) and `frequencyTable` (both from mem_Malloc); they are
  // released by the destructor, and also when this constructor raises.
  // `firstFlag` is the first storage flag of every matrix the update makes,
  // `differenceMode` makes the projected operators changes relative to the
  // operators at `referenceFrequency`: the constructor then generates those
  // (domain code -2) and keeps their stiffness, viscous and structural damping.
  QVADynOperatorUpdate(QVADynGenerateOperators* generator, bool firstFlag, bool differenceMode,
                       double referenceFrequency, int* frameTable, double* frequencyTable,
                       QVADynDomainType domain);
  QVADynOperatorUpdate(const QVADynOperatorUpdate&) = delete;
  QVADynOperatorUpdate& operator=(const QVADynOperatorUpdate&) = delete;
  // Releases the generator, both tables and every matrix the update holds.
  ~QVADynOperatorUpdate();

  // Brings the operators of `frame`, whose frequency is `frequency` (cycles
  // per unit time), into `ops`. Called through QVADynModalOperators::ApplyUpdate.
  // Preconditions: `frame` has two entries in the frame table and its indices
  // lie in the frequency table (the tables carry no length). The projections
  // cover every mode of the modal system, so the event activates all modes in
  // stored order. Raises QVABasError: kQVABasInvalidArgument for a bundle
  // whose active structural or acoustic mode count differs from the modal
  // system's, a negative frame or lower index, an upper index below -1, no
  // tables, a generator that names no DOF definition in difference mode or a
  // generator DOF that is no structural mode-shape row, a coupled model
  // without acoustic solver DOFs; kQVASrvInvalidState for a bundle not built
  // or a modal system without mode shapes; the matrix services' errors for
  // operators whose size does not match the mode shapes. The generator's own
  // failures pass through.
  void Update(QVADynModalOperators& ops, int frame, double frequency);

  // The part of a coupled model this update covers.
  QVADynDomainType Domain() const { return domain_; }

 private:
  using OperatorSet = QVASrvMatrix* [kOperatorsPerSet];

  // Generates the operators at `frequency`, projects them onto the mode
  // shapes and either writes them into `ops` (set null) or stores them in `set`.
  void GenerateAndProject(QVADynModalOperators& ops, double frequency, QVASrvMatrix* const* set);
  // The structural (acoustic) mode shapes and their product scratch, made at
  // the first call; the structural rows are those of domain `code`, reordered
  // to the generator's numbering `dofs` in difference mode.
  const QVASrvDenseMatrix& StructuralModeShapes(const QVADynModalOperators& ops, int code,
                                                const QVAFsmSystemDofDefinition* dofs);
  const QVASrvDenseMatrix& AcousticModeShapes(const QVADynModalOperators& ops);
  void RemapStructuralRows(const QVAFsmSystemDofDefinition& systemDofs,
                           const QVAFsmSystemDofDefinition* generatorDofs);
  // result <- shapes^T (op shapes), or 0 when `op` is absent.
  void Project(const QVASrvSparseMatrix* op, const QVASrvDenseMatrix& shapes,
               QVASrvScratchDenseMatrix& products, QVASrvMatrix& result) const;
  // Writes projected operator `slot` (0 ... kOperatorsPerSet - 1) into the bundle.
  void Write(QVADynModalOperators& ops, int slot, const QVASrvMatrix& projected) const;
  // Writes (1 - t) lower + t upper of every operator the domain covers.
  void WriteInterpolated(QVADynModalOperators& ops, double t, const QVASrvMatrix* const* lower,
                         const QVASrvMatrix* const* upper) const;
  // Operators of frequency index `index` straight into the bundle.
  void ApplyDirect(QVADynModalOperators& ops, int index);
  // The structural (acoustic) operators are updated for this bundle.
  bool UpdatesStructure() const;
  bool UpdatesFluid(const QVADynModalOperators& ops) const;
  // A new in-core n x n matrix with the update's storage flags.
  QVASrvMatrix* NewMatrix(int n) const;
  void MakeSet(const QVADynModalOperators& ops, OperatorSet& set) const;
  void Release();

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
  OperatorSet lowerSet_ = {};
  OperatorSet upperSet_ = {};
  int lastDirectIndex_ = -1;
  int lowerIndex_ = -1;
  int upperIndex_ = -1;
  bool firstFlag_ = false;
  bool differenceMode_ = false;
  bool rowsRemapped_ = false;
  // The bundle holds the operators of the last direct index as written then:
  // no interpolated frame has overwritten them since.
  bool directOperatorsInBundle_ = false;
};
