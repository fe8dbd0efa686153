#pragma once

// Call-by-address routines through which the host's eigensolver and the
// component exchange scratch files in the current working directory (names
// and record layouts: eigensolver_io/impl/QVADynKvrScratchFiles.h). Every
// argument is the address of its value, so the routines can be called from
// Fortran as well as from C and C++ (the header compiles as either).
//
// QVADYNREADKVREIG keeps one reader per file name open between calls, for the
// whole process: an open code reads the header, later codes go on from where
// the previous call stopped, a close code ends. Reading two modes of three
// rows from kvr.ev (header [3, 0]):
//
//   int code = 20, rows = 0, status = 0, first = 1, last = 2;
//   double modes[6];
//   QVADYNREADKVREIG(&code, &rows, &status, modes, &first, &last);  // rows 3, status 0
//   code = 21;
//   QVADYNREADKVREIG(&code, &rows, &status, modes, &first, &last);  // two columns of 3
//   code = -20;
//   QVADYNREADKVREIG(&code, &rows, &status, modes, &first, &last);  // kvr.ev deleted
//
// Failures. A damaged or missing file and impossible arguments raise a
// QVABasError (number kQVABasFileError for the file, kQVABasInvalidArgument for
// the arguments) whose message names the file and the record (1-based), e.g.
//
//   Scratch file "kvr.er1", record 4: holds 16 bytes; 3 items of 8 bytes asked for from byte 0
//
// Before anything is allocated, every count taken from a header or an
// argument is checked against the bytes left in the file. Values are read into
// a buffer and copied to the caller's array only when the whole read has
// succeeded, so on failure the caller's arrays and integers are left as they
// were. A file whose read fails is closed and kept; a later read code for it
// raises until it is opened again. The open codes that report a missing file
// (10, 20, 50, 60 and both codes of QVADYNACOUSTICPROJECTION) keep doing so
// instead of raising.

#include "QVADyn/QVADynCore/QVADynExport.h"

#ifdef __cplusplus
extern "C" {
#endif

// Operation `*code` on one scratch file; a2, a3, a5, a6 address 32-bit
// integers, a4 an array of doubles. Codes not listed do nothing.
//
//   10  kvr.ee2     open; *a3 <- -1 and return when it is missing;
//                   header: *a3 <- n (n >= 0, n values must fit in the file)
//   11  kvr.ee2     read max(*a3, 0) doubles of the next record into a4; close and delete
//   20  kvr.ev      open; *a3 <- -1 and return when it is missing;
//                   header: *a2 <- R (R >= 0), *a3 <- the second integer
//   21  kvr.ev      read the next *a6 - *a5 + 1 records; the first *a2 doubles of
//                   each into the next column of a4 (column length *a2)
//  -20  kvr.ev      close and delete
//   30  kvr.er1     open, raising when it is missing; header: *a2, *a3 <- the two integers
//   31  kvr.er1     diagonal block *a5 ... *a6 (1-based, *a5 >= 1) of the stored
//                   matrix: skip *a5 - 1 records; from each of the next *a6 - *a5 + 1
//                   skip *a5 - 1 values and read values *a5 ... *a6 into the next
//                   column of a4 (column length *a6 - *a5 + 1)
//  -30  kvr.er1     close and delete
//   40, 41, -40     kvr.er2, as 30, 31, -30
//   50, 51          kvr_ac.ee2, as 10, 11
//   60  kvr_ac.ev   open; *a3 <- 0 and return when it is missing; header as 20
//   62  kvr_ac.ev   as 21
//  -60  kvr_ac.ev   close and delete
//  -63  kvr_ac.ev   close and keep
//   70, 71, -70     kvr_ac.er1, as 30, 31, -30
//
// An open code closes (and keeps) the same file when it is still open. A read
// code raises when its file is not open. Close codes do nothing when the file
// is not open. Not safe to call from several threads at once.
QVADYN_EXPORT void QVADYNREADKVREIG(const int* code, int* a2, int* a3, double* a4, const int* a5,
                                    const int* a6);

// The two halves of the acoustic projection exchange; `X` is laid out by
// columns with leading dimension *rows. Codes other than 1 and 2 do nothing.
//
// Code 1: when kvr.ep_ac exists, rewrites kvr.ep from its start: header
// (H, V + *vectors), the first *kept records of kvr.ep_ac, one record per
// column j of X (the count *rows, the rows H - *rows + 1 ... H, the *rows
// values of column j), then records *kept + 1 ... V of kvr.ep_ac. Requires
// 0 <= *rows <= H, *vectors >= 0 and 0 <= *kept <= V; each record of
// kvr.ep_ac must hold the count 1 and a row in 1 ... H. kvr.ep_ac is read
// whole and checked before kvr.ep is touched, so a damaged kvr.ep_ac or wrong
// arguments leave kvr.ep as it was. Neither file is deleted. Does nothing when
// kvr.ep_ac is missing.
//
// Code 2: when kvr.erp exists (header L, P), skips its first *kept records
// and reads the L values of each following record j = 0 ... P - *kept - 1
// into row j of X (X[j + i * *rows], i = 0 ... L - 1), then closes and deletes
// kvr.erp. Requires 0 <= *kept <= P and P - *kept <= *rows. X is written only
// after every record has been read and kvr.erp deleted; on failure X is left
// as it was and kvr.erp is kept. Does nothing when kvr.erp is missing.
QVADYN_EXPORT void QVADYNACOUSTICPROJECTION(const int* code, const int* rows, const int* vectors,
                                            double* X, const int* kept);
#ifdef __cplusplus
}
#endif
