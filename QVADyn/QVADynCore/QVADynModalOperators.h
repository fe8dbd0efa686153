#pragma once

// The modal matrices of one solve, in the coordinates of the event's active
// modes: the structural block (nS structural active modes) and, with
// acoustic coupling, the acoustic block (nA acoustic modes) and the coupling
// between them. An event builds the bundle on the stack of its Solve, hands
// it to its solver and destroys it afterwards; the bundle owns every matrix.
//
//   structural   mass       nS x nS diagonal, 1.0
//                stiffness  nS x nS diagonal, eigenvalue (omega^2) of each mode
//                viscous, structural damping  nS x nS (diagonal storage unless
//                           a projected matrix couples the modes), and their
//                           diagonal parts (diagonal storage)
//   acoustic     mass, stiffness, damping of kinds 2 and 3 and their diagonal
//                parts, nA x nA; coupling nA x nS
//
// Two active modes 3 and 1 with eigenvalues 400 and 100, no damping:
//   Stiffness() = diag(400, 100), Mass() = diag(1, 1),
//   ViscousDamping() = StructuralDamping() = diag(0, 0).
//
// An operator update (QVADynOperatorUpdate) may rewrite the stiffness and
// damping per frequency through ApplyUpdate; the three saved matrices hold
// the operators as built, for an update that works with differences.

#include <memory>

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "platform/matrix/QVASrvMatrix.h"

class QVADynModalSystem;
class QVADynOperatorUpdate;

class QVADYN_EXPORT QVADynModalOperators {
 public:
  // Keeps both (neither is owned; both outlive the bundle); no matrices yet,
  // not damped, no active modes; the acoustic count is the system's.
  QVADynModalOperators(const QVADynModalSystem& system, QVADynOperatorUpdate* update);
  QVADynModalOperators(const QVADynModalOperators&) = delete;
  QVADynModalOperators& operator=(const QVADynModalOperators&) = delete;
  // Deletes every matrix.
  ~QVADynModalOperators();

  // Fills the matrices for `numberOfActiveModes` active modes (zero-based
  // modes of the system, structural ones first, the last NumberOfAcousticModes()
  // acoustic) with the damping of `damping`. The damping matrices are made
  // with QVADynModalDamping::GetModalDamping (viscous kind 0, structural kind
  // 1, acoustic kinds 2 and 3, full and diagonal-only). When an update acts
  // on the structure (UpdateApplies(-2)) the full viscous and structural
  // damping lose their diagonal parts, and when it acts on the fluid
  // (UpdateApplies(-1)) so does the acoustic damping of kind 2; the update
  // adds them back with its projected operators. Raises QVABasError
  // (kQVABasInvalidArgument) when fewer modes than acoustic modes are given,
  // and (kQVASrvInvalidState) when called twice.
  void Build(int numberOfActiveModes, const int* activeModes, const QVADynModalDamping& damping);

  const QVADynModalSystem& ModalSystem() const { return system_; }
  QVADynOperatorUpdate* OperatorUpdate() const { return update_; }
  // The damping reports viscous or structural damping.
  bool IsDamped() const { return damped_; }
  // Two flags kept for solvers of other kinds: true and false after construction.
  bool FirstFlag() const { return firstFlag_; }
  bool SecondFlag() const { return secondFlag_; }
  int NumberOfActiveModes() const { return numberOfActiveModes_; }
  int NumberOfAcousticModes() const { return numberOfAcousticModes_; }
  int NumberOfStructuralModes() const { return numberOfActiveModes_ - numberOfAcousticModes_; }

  // The matrices; null until built (the acoustic ones without acoustic
  // coupling, the saved ones until an update saves them). Solvers read them
  // through a const bundle; an operator update rewrites them.
  const QVASrvMatrix* Mass() const { return Get(kMass); }
  const QVASrvMatrix* Stiffness() const { return Get(kStiffness); }
  const QVASrvMatrix* ViscousDamping() const { return Get(kViscous); }
  const QVASrvMatrix* StructuralDamping() const { return Get(kStructural); }
  const QVASrvMatrix* ViscousDampingDiagonal() const { return Get(kViscousDiagonal); }
  const QVASrvMatrix* StructuralDampingDiagonal() const { return Get(kStructuralDiagonal); }
  const QVASrvMatrix* SavedStiffness() const { return Get(kSavedStiffness); }
  const QVASrvMatrix* SavedViscousDamping() const { return Get(kSavedViscous); }
  const QVASrvMatrix* SavedStructuralDamping() const { return Get(kSavedStructural); }
  const QVASrvMatrix* Coupling() const { return Get(kCoupling); }
  const QVASrvMatrix* AcousticMass() const { return Get(kAcousticMass); }
  const QVASrvMatrix* AcousticStiffness() const { return Get(kAcousticStiffness); }
  const QVASrvMatrix* AcousticViscousDamping() const { return Get(kAcousticViscous); }
  const QVASrvMatrix* AcousticStructuralDamping() const { return Get(kAcousticStructural); }
  const QVASrvMatrix* AcousticViscousDampingDiagonal() const {
    return Get(kAcousticViscousDiagonal);
  }
  const QVASrvMatrix* AcousticStructuralDampingDiagonal() const {
    return Get(kAcousticStructuralDiagonal);
  }
  QVASrvMatrix* Stiffness() { return Get(kStiffness); }
  QVASrvMatrix* ViscousDamping() { return Get(kViscous); }
  QVASrvMatrix* StructuralDamping() { return Get(kStructural); }
  QVASrvMatrix* AcousticStiffness() { return Get(kAcousticStiffness); }
  QVASrvMatrix* AcousticViscousDamping() { return Get(kAcousticViscous); }

  // Take ownership of a copy of the stiffness, viscous and structural damping
  // as built (allocated with new), replacing any saved before.
  void AdoptSavedStiffness(QVASrvMatrix* matrix) { Adopt(kSavedStiffness, matrix); }
  void AdoptSavedViscousDamping(QVASrvMatrix* matrix) { Adopt(kSavedViscous, matrix); }
  void AdoptSavedStructuralDamping(QVASrvMatrix* matrix) { Adopt(kSavedStructural, matrix); }

  // The modal system holds an acoustic coupling matrix.
  bool HasAcousticCoupling() const;
  // An update is present and `code` equals its domain (QVADynDomainType:
  // 0 all domains, -1 acoustic, -2 structural), or one of them is 0.
  bool UpdateApplies(int code) const;
  // When an update is present, it brings the operators of `frame` at
  // frequency `value` (cycles per unit time) into this bundle. Const because
  // solvers receive the bundle read-only, while the update handed to the
  // event rewrites its operators frequency by frequency.
  void ApplyUpdate(int frame, double value) const;

 private:
  enum Slot {
    kMass,
    kStiffness,
    kViscous,
    kStructural,
    kViscousDiagonal,
    kStructuralDiagonal,
    kSavedStiffness,
    kSavedViscous,
    kSavedStructural,
    kCoupling,
    kAcousticMass,
    kAcousticStiffness,
    kAcousticViscous,
    kAcousticStructural,
    kAcousticViscousDiagonal,
    kAcousticStructuralDiagonal,
    kNumberOfSlots
  };

  const QVASrvMatrix* Get(Slot slot) const { return matrices_[slot].get(); }
  QVASrvMatrix* Get(Slot slot) { return matrices_[slot].get(); }
  void Adopt(Slot slot, QVASrvMatrix* matrix);
  void BuildAcoustic(const int* activeModes, const QVADynModalDamping& damping);

  const QVADynModalSystem& system_;
  QVADynOperatorUpdate* update_;
  bool damped_ = false;
  bool firstFlag_ = true;
  bool secondFlag_ = false;
  std::unique_ptr<QVASrvMatrix> matrices_[kNumberOfSlots];
  int numberOfActiveModes_ = 0;
  int numberOfAcousticModes_;
  bool built_ = false;
};
