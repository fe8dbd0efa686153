#pragma once

// The damping of one solve in the coordinates of an event's active modes. It
// combines the projected damping matrices of the modal system (which may
// couple modes) with the per-mode damping records of the event (which add to
// the diagonal only), and assembles one n x n matrix per kind of damping:
//
//   kind 0 viscous              projected viscous matrix  + 2 xi sqrt(lambda) + alpha + beta lambda
//   kind 1 structural           projected structural      + s lambda
//   kind 2 acoustic viscous     projected acoustic viscous + 2 xi sqrt(lambda) + alpha
//                                                             + beta lambda
//   kind 3 acoustic structural  (none)                    + s lambda
//
// lambda is the eigenvalue (omega^2) of the mode. Worked values: xi = 0.05 at
// lambda = 400 gives 2 * 20 * 0.05 = 2.0; s = 0.02 at lambda = 400 gives 8.0.
// Kind 0 treats |lambda| < sqrt(2.22e-16) (about 1.49e-08) as 0; kind 2 does not.
//
// Nothing is owned: the records belong to the event and the matrices to the
// modal system, and both must outlive this object, which lives for one solve.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"

class QVADYN_EXPORT QVADynModalDamping {
 public:
  // `diagonal` holds numRecords records (may be null): those of the structural
  // active modes first, then those of the acoustic active modes. The matrices
  // (each may be null) are the modal system's projected viscous (structural x
  // structural modes), structural and acoustic viscous (acoustic x acoustic
  // modes) damping.
  QVADynModalDamping(const QVADynDiagonalDamping* diagonal, int numRecords,
                     const QVASrvDenseMatrix* viscous, const QVASrvDenseMatrix* structural,
                     const QVASrvDenseMatrix* acousticViscous);
  QVADynModalDamping(const QVADynModalDamping&) = delete;
  QVADynModalDamping& operator=(const QVADynModalDamping&) = delete;
  ~QVADynModalDamping();

  // Whether damping of `kind` exists: its projected matrix is present, or (kinds
  // 0 and 1) some record has xi, alpha or beta (kind 0), s (kind 1) above 0.
  // Raises QVADynUnsupportedDamping for a kind other than 0, 1, 2.
  bool HasDamping(QVADynDampingType kind) const;

  // A new n x n damping matrix of `kind` that the caller deletes. Without a
  // projected matrix, or with `diagonalOnly`, it has diagonal storage and holds
  // the per-mode contributions alone; otherwise it has symmetric (full n x n)
  // storage holding the projected matrix, taken as it stands when it has
  // exactly n rows and at rows and columns modes[0 ... n-1] otherwise, plus the
  // per-mode contributions on its diagonal. stiffness[i] is lambda of mode i;
  // kinds 0 and 1 use records 0 ... n-1, kinds 2 and 3 records offset ...
  // offset + n - 1. Raises QVADynUnsupportedDamping for a kind other than 0 ... 3.
  QVASrvMatrix* GetModalDamping(QVADynDampingType kind, bool diagonalOnly, int n, const int* modes,
                                const double* stiffness, int offset) const;

 private:
  const QVADynDiagonalDamping* diagonal_;
  int numberOfRecords_;
  const QVASrvDenseMatrix* viscous_;
  const QVASrvDenseMatrix* structural_;
  const QVASrvDenseMatrix* acousticViscous_;
};
