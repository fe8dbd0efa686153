#pragma once

// The structural-acoustic coupling of a coupled model: a sparse matrix C whose
// rows are acoustic DOFs and whose columns are structural DOFs of the wetted
// interface. These functions store C in the model database, and project it onto
// the modes as P = transpose(Phi_a) * C * Phi_s (acoustic modes x structural
// modes), the coupling that the modal solvers use.
//
// DOF layout. Solver DOFs hold every structural DOF first and the acoustic DOFs
// last; the coupled structural DOFs are the last structural solver DOFs,
// immediately before the acoustic ones. With NS solver DOFs of which NA are
// acoustic, a coupling of r rows and c columns covers
//
//   columns: solver DOFs NS - NA - c ... NS - NA - 1
//   rows:    solver DOFs NS - NA ... NS - NA + r - 1
//
// Example: 11 solver DOFs of which 2 acoustic, C of 2 x 4: the columns are
// solver DOFs 5 ... 8 and the rows solver DOFs 9, 10. In a mode-shape matrix
// whose acoustic rows begin at row n, Phi_s is rows n - c ... n - 1 of the
// structural mode columns and Phi_a rows n ... n + r - 1 of the acoustic mode
// columns.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvSparseMatrix.h"
#include "platform/modeldb/QVAFsmModalSystem.h"
#include "platform/modeldb/QVAFsmSystemDofDefinition.h"

// Stores `coupling` (rows: acoustic DOFs, columns: structural DOFs, laid out as
// above) as the acoustic DOF coupling of `modal`: in one transaction on the
// modal system's database, a sparse distribution of data kind (30, 4) over
// ordered sets of the system DOFs of its rows and of its columns, both over
// the system's Dofs collection, filled from `coupling` and attached with
// SetAcousticDofCoupling. A coupling without columns gives an empty column set.
//
// Raises QVABasError (kQVABasInvalidArgument) when `coupling` has more rows
// than `dofs` has acoustic solver DOFs or more columns than structural ones;
// nothing is stored then. Database failures roll the transaction back.
QVADYN_EXPORT void QVADynExportDofCouplingToSim(QVASrvSparseMatrix& coupling,
                                                QVAFsmModalSystem& modal,
                                                QVAFsmSystemDofDefinition& dofs);

// projected <- transpose(Phi_a) * coupling * Phi_s, where, with r x c the size
// of `coupling`, p x q that of `projected`, m the columns of `modes` and
// n = firstAcousticRow,
//
//   Phi_s = rows n - c ... n - 1, columns 0 ... q - 1 of `modes` (structural modes),
//   Phi_a = rows n ... n + r - 1, columns q ... m - 1 of `modes` (acoustic modes).
//
// coupling * Phi_s is formed in a scratch dense matrix (chunks 128 x 32), the
// transposed product by one dgemm. Raises QVABasError (kQVASrvSizeMismatch)
// unless p == m - q, q <= m, c <= n and n + r <= modes.NumberOfRows(); projected
// is not touched then.
QVADYN_EXPORT void QVADynProjectAcousticCoupling(const QVASrvSparseMatrix& coupling,
                                                 QVASrvDenseMatrix& projected,
                                                 const QVASrvDenseMatrix& modes,
                                                 int firstAcousticRow);
