#pragma once

// One time step of uncoupled modal equations over whole blocks of modes, for the transient
// solver with no damping or diagonal damping.
//
// Per mode k and load case j (arrays of numberOfCases blocks of numberOfModes values, mode
// fastest, as one frame of the solver's result arrays):
//   u1 = A u0 + B v0 + C f0 + D f1
//   v1 = E u0 + F v0 + G f0 + H f1
//   a1 = f1 - c v1 - lambda u1          (a1 = f1 - lambda u1 without damping)
// with A ... H from the coefficient table: eight arrays of numberOfModes doubles in the order
// A, B, C, D, E, F, G, H (see QVADynBuildCoefficientTable).
//
// Example, 2 modes and 1 case: table = [A0 A1 | B0 B1 | ... | H0 H1], u0 = [u(mode 0) u(mode 1)].

// Advances numberOfCases blocks of numberOfModes modes by one step. `lambda` holds the eigenvalue
// of each mode (as stored, not clipped), `damping` its diagonal damping c or is null without
// damping. The inputs (u0, v0, f0, f1) and outputs (u1, v1, a1) must not overlap.
void QVADynAdvanceUncoupledModes(int numberOfModes, int numberOfCases,
                                 const double* coefficientTable, const double* lambda,
                                 const double* damping, const double* displacement0,
                                 const double* velocity0, const double* force0,
                                 const double* force1, double* displacement1, double* velocity1,
                                 double* acceleration1);
