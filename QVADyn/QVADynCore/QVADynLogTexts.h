#pragma once

// The fixed texts of the component's log: section headings, value labels and
// the elapsed-time lines. Every writer builds its block from these so that the
// log reads the same wherever it comes from. A heading has the form
// "\n--- " title " ---\n\n"; a value line is a label, the value and "\n".
// Labels of one block are padded to a common length so that their values start
// in the same column:
//
//   cow_String block(kQVADynLogSolveHeading);
//   block.Append(kQVADynLogPhysicalDofs).AppendInt(1200).Append(kQVADynLogLineEnd);
//   block.Append(kQVADynLogActiveModalDofs).AppendInt(20).Append(kQVADynLogLineEnd);
//   log.Write(block);
//   // "\n--- Solve dynamic system ---\n\n"
//   // "Number of physical degrees of freedom:      1200\n"
//   // "Number of active modal degrees of freedom:  20\n"
//
// Counts are appended with cow_String::AppendInt, seconds with AppendDouble
// (AppendFloat for the solver timings that use single precision).

inline constexpr char kQVADynLogLineEnd[] = "\n";
inline constexpr char kQVADynLogHeadingBegin[] = "\n--- ";
inline constexpr char kQVADynLogHeadingEnd[] = " ---\n\n";

// Modal system and event base: elapsed-time lines, each followed by the seconds
// and "\n".
inline constexpr char kQVADynLogReadingModeShapesTime[] =
    "Elapsed time spent reading mode shapes: ";
inline constexpr char kQVADynLogNodalModeAccessTime[] =
    "Elapsed time spent accessing element-nodal mode shapes: ";
inline constexpr char kQVADynLogReadingNodalDataTime[] = "Elapsed time spent reading nodal data: ";

// Event solve driver.
inline constexpr char kQVADynLogSolveHeading[] = "\n--- Solve dynamic system ---\n\n";
inline constexpr char kQVADynLogPhysicalDofs[] = "Number of physical degrees of freedom:      ";
inline constexpr char kQVADynLogActiveModalDofs[] = "Number of active modal degrees of freedom:  ";
inline constexpr char kQVADynLogFrequencyPoints[] = "Number of frequency points:                 ";
inline constexpr char kQVADynLogSolveTime[] = "Solve for modal amplitudes: elapsed time: ";

// Event recovery. The harmonic event writes kQVADynLogRecoveringDisplacement;
// the transient and response-spectrum events write kQVADynLogRecoveringDataFor
// followed by one of the three quantities and "\n".
inline constexpr char kQVADynLogRecoverHeading[] = "\n--- Recover physical results ---\n\n";
inline constexpr char kQVADynLogRecoveringDisplacement[] = "Recovering data for: displacement\n";
inline constexpr char kQVADynLogRecoveringDataFor[] = "Recovering data for: ";
inline constexpr char kQVADynLogDisplacement[] = "displacement";
inline constexpr char kQVADynLogVelocity[] = "velocity";
inline constexpr char kQVADynLogAcceleration[] = "acceleration";
inline constexpr char kQVADynLogRecoveryDofs[] = "Number of dofs for recovery:   ";
inline constexpr char kQVADynLogRecoveryDofRanges[] = "Number of recovery dof ranges: ";
inline constexpr char kQVADynLogRecoverTime[] = "Recover physical quantities: elapsed time: ";

// Harmonic solver, non-diagonal damping. The two multi-value labels are
// followed by three times.
inline constexpr char kQVADynLogNonDiagonalHeading[] =
    "\n--- Solve dynamic system with non-diagonal damping ---\n\n";
inline constexpr char kQVADynLogHarmonicFirstProjection[] = "HarmonicSolver: first projection: ";
inline constexpr char kQVADynLogHarmonicTotalTime[] = "HarmonicSolver: total time: ";
inline constexpr char kQVADynLogHarmonicFactorTimes[] =
    "HarmonicSolver: factorization, dgemm, projection: ";
inline constexpr char kQVADynLogHarmonicRhsTimes[] = "HarmonicSolver: RhsReduce, BwdPass, RhsSub: ";

// Coupled-acoustic harmonic solver.
inline constexpr char kQVADynLogCoupledAcousticHeading[] =
    "\n--- Solve coupled-acoustic system ---\n\n";
inline constexpr char kQVADynLogHarmonicACTotalTime[] = "HarmonicSolverAC: total time: ";
inline constexpr char kQVADynLogHarmonicACFactorTimes[] =
    "HarmonicSolverAC: factorization, dgemm, projection: ";
inline constexpr char kQVADynLogHarmonicACRhsTimes[] =
    "HarmonicSolverAC: RhsReduce, BwdPass, RhsSub: ";

// Complex frequency solve.
inline constexpr char kQVADynLogComplexEigenHeading[] =
    "\n--- Solve dense complex eigenproblem ---\n\n";
inline constexpr char kQVADynLogNumberOfModes[] = "Number of modes: ";
inline constexpr char kQVADynLogNumberOfNodes[] = "Number of nodes: ";
inline constexpr char kQVADynLogComplexZgeevTime[] = "Complex Eigensolve: Solve zgeev: ";
inline constexpr char kQVADynLogComplexDgeevTime[] = "Complex Eigensolve: Solve dgeev: ";
inline constexpr char kQVADynLogComplexRecoverTime[] = "Complex Eigensolve: Recover:     ";
inline constexpr char kQVADynLogComplexTotalTime[] = "Complex Eigensolve: total time:  ";
