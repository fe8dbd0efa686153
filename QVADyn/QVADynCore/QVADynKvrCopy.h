#pragma once

// Copies of what the host's multilevel-substructuring eigensolver leaves in
// its scratch files in the current working directory (layouts in
// eigensolver_io/impl/QVADynKvrScratchFiles.h): the structural and acoustic mode
// shapes into a mode-shape matrix, and one projected damping matrix into a
// dense matrix. Both read through QVADYNREADKVREIG and delete the files they
// read once the copy is done, so a scratch file can be copied once.
//
// Worked example: kvr.ev holds the header [3, 0] and four vectors of three
// values s1 ... s4, kvr_ac.ev the header [2, 0] and two vectors of two values
// a1, a2. With a 5 x 4 `modes` (three structural rows, then two acoustic rows)
//
//   QVADynCopyModesFromKvrDb(modes, 1, 0, 2, false);
//
// puts s2, s3 into rows 0 ... 2 of columns 0, 1 (s1 skipped, s4 not read),
// a1, a2 into rows 3, 4 of columns 2, 3, leaves the other entries as they were
// and deletes both files. With kvr.er1 holding a 6 x 6 matrix D,
//
//   QVADynCopyModalDampFromKvrDb(QVADynViscousDamping, damping, 2);   // damping 3 x 3
//
// copies D(3 ... 5, 3 ... 5) (rows and columns counted from 1) into damping.
//
// Failures. Every file is checked before anything is allocated or written: it
// must exist, its records must be framed correctly and hold at least the values
// the copy takes, and its counts must fit the target matrix. A fault raises a
// QVABasError whose message names the file and the record (1-based), e.g.
//
//   Scratch file "kvr.ev", record 4: holds 16 bytes; 3 values of 8 bytes needed
//
// (number kQVABasFileError; kQVABasInvalidArgument for arguments that do not
// fit the target). The target is written only after every value has been read,
// so a failed copy leaves it as it was. A file that fails is closed and kept
// for diagnosis; no file stays open, and a later copy reads it from its start.
// Files are deleted last, after the target has been written: should a delete
// fail, the target holds the complete copy and the error names the file left
// behind.

#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "platform/matrix/QVASrvDenseMatrix.h"

// Fills `modes` (rows: structural DOFs, then acoustic DOFs; columns: the
// structural modes, then the last `acousticModes` columns for the acoustic
// modes) from kvr.ev and, when `acousticModes` is not 0, kvr_ac.ev, after
// skipping the first `skipStructural` and `skipAcoustic` vectors of the two
// files (none when not positive). With Rs and Ra the values per vector of the
// two files (first header integers), the structural modes go to rows
// 0 ... Rs - 1 and the acoustic modes to rows Rs ... Rs + Ra - 1; other rows
// keep their values. Then deletes kvr.ev and kvr_ac.ev (kvr_ac.ev is not
// touched when `acousticModes` is 0). The fifth argument is not read.
//
// Raises (QVABasError, see above) when acousticModes lies outside
// 0 ... modes.NumberOfColumns(); when a file is missing or damaged; when Rs,
// or Rs + Ra, exceeds modes.NumberOfRows(); when a file holds fewer vectors
// than skipped plus copied, or a copied vector has fewer than R values.
QVADYN_EXPORT void QVADynCopyModesFromKvrDb(QVASrvDenseMatrix& modes, int skipStructural,
                                            int skipAcoustic, int acousticModes, bool unused);

// Fills the m x m leading block of `damping` (m = damping.NumberOfColumns())
// with rows and columns offset + 1 ... offset + m (1-based) of the square
// matrix stored in the scratch file of `kind`: kvr.er1 for
// QVADynViscousDamping, kvr.er2 for QVADynStructuralDamping, kvr_ac.er1 for
// QVADynAcousticViscousDamping; then deletes that file.
//
// Raises QVADynUnsupportedDamping for any other kind (no file is touched), and
// QVABasError (see above) when offset is negative, damping has fewer than m
// rows, the file is missing or damaged, or it holds fewer than offset + m
// columns of at least offset + m values.
QVADYN_EXPORT void QVADynCopyModalDampFromKvrDb(QVADynDampingType kind, QVASrvDenseMatrix& damping,
                                                int offset);
