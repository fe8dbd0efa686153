#pragma once

// The complex frequency solve: the complex modes of a damped structure found
// in the subspace of its first n real, mass-normalized modes. With the
// projected stiffness K, viscous damping V and structural damping S of a
// QVADynComplexModalSystem (n x n each, unit mass) it solves
//
//   (lambda^2 I + lambda V + K + i S) q = 0
//
// as the dense 2n x 2n state-space eigenproblem, keeps the eigenvalues whose
// imaginary part lies strictly inside a band, orders them by imaginary part,
// stores them with their subspace vectors q (largest component 1 + 0i) and
// expands these to physical complex mode shapes Phi q, normalized the same way.
//
// Example: one mode, omega^2 = 100, V = 2 zeta omega = 0.4 (zeta = 0.02):
//   lambda = -0.2 + 9.998i, q = 1 + 0i, physical shape = phi / phi_max.
//   Frequency |lambda| = 10 rad/s, damping ratio -Re lambda / |lambda| = 0.02.
//
// Log block (seconds in single precision):
//   "\n--- Solve dense complex eigenproblem ---\n\n"
//   "Number of modes: 1\n"
//   "Number of nodes: 5\n"
//   "Complex Eigensolve: Solve dgeev: 0.000104\n"
//   "Complex Eigensolve: Recover:     2.1e-05\n"
//   "Complex Eigensolve: total time:  0.000131\n"

#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/matrix/QVASrvDenseMatrix.h"

// Written after the solve line when the eigen routine fails, as
// kQVADynLogComplexZgeevFailed (or ...DgeevFailed), the routine's status and
// kQVADynLogComplexNoModesStored:
//   "Complex Eigensolve: dgeev failed with info = -4; no complex modes stored\n"
inline constexpr char kQVADynLogComplexZgeevFailed[] =
    "Complex Eigensolve: zgeev failed with info = ";
inline constexpr char kQVADynLogComplexDgeevFailed[] =
    "Complex Eigensolve: dgeev failed with info = ";
inline constexpr char kQVADynLogComplexNoModesStored[] = "; no complex modes stored\n";

// Solves for the complex modes of `system` (subspace size n =
// system.SizeOfSubspace()) and stores them in it.
//
// `realModeShapes` holds the real mode shapes, one row per solver DOF and one
// column per real mode; its first n columns span the subspace. It may be the
// system's own mode-shape matrix (as Open leaves it). At most `maxModes`
// complex modes are kept, those of lowest imaginary part inside the open band
// (lowerBound, upperBound); only eigenvalues with positive imaginary part, and
// real ones outside -0.01 < Re <= 0, qualify, and at most n are taken.
// The system's projected stiffness must be present; its viscous and structural
// damping are used when present (with structural damping the state matrix is
// complex and LAPACK ZGEEV is called, otherwise DGEEV).
//
// Unless `solveOnly` is non-zero the system receives, in this order,
// SetEigenvalues, CreateRealProjectedModeShapes(false),
// CreateImaginaryProjectedModeShapes(false) and CreateModeShapes(rows of
// realModeShapes, false), all attached to its modal-database object. With
// `solveOnly` non-zero the function logs the solve and returns, changing
// nothing.
//
// When the eigen routine fails (non-zero status), the failure line is logged
// and zero modes are stored, replacing whatever an earlier solve left.
//
// Raises QVABasError kQVASrvInvalidState when the projected stiffness is
// absent, kQVASrvSizeMismatch when realModeShapes has fewer than n columns,
// and kQVABasInvalidArgument for a negative maxModes, a bound that is NaN,
// lowerBound > upperBound, or a value of the projected stiffness or damping
// that is not finite; all before anything is logged or stored.
QVADYN_EXPORT void QVADynCFreqSolve(QVADynComplexModalSystem& system,
                                    const QVASrvDenseMatrix& realModeShapes, int maxModes,
                                    double lowerBound, double upperBound, int solveOnly);
