#pragma once

// Names and record layouts of the scratch files that the host's multilevel-
// substructuring eigensolver leaves in the current working directory, and of
// the two files through which the acoustic projection talks to it. Every file
// is a sequence of records framed as QVADynScratchRecordReader describes; the
// first record ("header") is always two 32-bit integers.
//
// kvr.ev, kvr_ac.ev        mode shapes of the structure / of the acoustic fluid
//   1        R (values read from each vector record), an integer passed on as is
//   2 ...    one mode per record in mode order: at least R doubles, the first R read
//
// kvr.ee2, kvr_ac.ee2      one vector
//   1        n (number of values), an unused integer
//   2        n doubles
//
// kvr.er1, kvr.er2, kvr_ac.er1   projected viscous / structural / acoustic viscous damping
//   1        two integers, not used
//   2 ...    column j = 1 ... N of a square matrix of order N: N doubles
//
// kvr.ep_ac                projection vectors of the eigensolver
//   1        H (rows of the vectors), V (vector records that follow)
//   2 ... V+1  a sparse vector with one entry: the integer 1, a 1-based row, the value
//
// kvr.ep                   projection vectors handed back (rewritten whole)
//   1        H, V + Q
//   2 ...    sparse vectors: m, m 1-based rows, m values; the first K records of
//            kvr.ep_ac, Q vectors on the rows H - M + 1 ... H, records K+1 ... V
//
// kvr.erp                  projected values
//   1        L (doubles per record), P (records that follow)
//   2 ... P+1  L doubles
//
// Worked example: kvr.ev of two modes on three rows holds
//   [3, 0] [0.1, 0.2, 0.3] [1.0, -1.0, 0.5]
// and kvr.ep with H = 10 after adding one vector of three rows in front of a
// kvr.ep_ac of one record [1, 4, 2.5] holds
//   [10, 2] [3, 8, 9, 10, x1, x2, x3] [1, 4, 2.5]

#include <cstdint>

inline constexpr char kQVADynKvrStructuralModesFile[] = "kvr.ev";
inline constexpr char kQVADynKvrStructuralVectorFile[] = "kvr.ee2";
inline constexpr char kQVADynKvrViscousDampingFile[] = "kvr.er1";
inline constexpr char kQVADynKvrStructuralDampingFile[] = "kvr.er2";
inline constexpr char kQVADynKvrAcousticModesFile[] = "kvr_ac.ev";
inline constexpr char kQVADynKvrAcousticVectorFile[] = "kvr_ac.ee2";
inline constexpr char kQVADynKvrAcousticViscousDampingFile[] = "kvr_ac.er1";
inline constexpr char kQVADynKvrEigensolverProjectionFile[] = "kvr.ep_ac";
inline constexpr char kQVADynKvrProjectionFile[] = "kvr.ep";
inline constexpr char kQVADynKvrProjectedValuesFile[] = "kvr.erp";

// Integers of every header record.
inline constexpr int kQVADynKvrHeaderInts = 2;

// The entry count that leads each single-entry record of kvr.ep_ac.
inline constexpr int kQVADynKvrSingleEntryCount = 1;

// Smallest size in bytes of a record holding `items` items of `itemBytes`
// bytes each, framing included; used to bound counts read from a header by
// the size of the file before anything is allocated.
constexpr std::int64_t QVADynKvrRecordBytes(std::int64_t items, std::int64_t itemBytes) {
  return 8 + items * itemBytes;
}
