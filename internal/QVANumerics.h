#pragma once

// The numerical vocabulary that the library's sources share: 2 pi, machine
// epsilon as the solvers' thresholds write it and its square root, indices
// from non-negative counts, and the offset of an entry of a column-major
// matrix.
//
//   const double omega = kQVATwoPi * frequency;
//   std::vector<double> work(QVAIndex(rows) * QVAIndex(columns));
//   values[QVAColumnMajor(row, column, rows)] = 1.0;   // row + column * rows
//
// A 3 x 2 matrix with leading dimension 4 holds (row, column) at
// row + 4 * column: (2, 1) at 6.

#include <concepts>
#include <cstddef>
#include <numbers>
#include <type_traits>

#include "internal/QVAAssert.h"

// 2 pi: omega = 2 pi f.
inline constexpr double kQVATwoPi = 2.0 * std::numbers::pi;

// Machine epsilon as the thresholds of the solvers write it: the literal
// 2.22e-16, a little below DBL_EPSILON (2.220446e-16). Results near a
// threshold depend on this exact value.
inline constexpr double kQVAMachineEpsilon = 2.22e-16;

// sqrt(2.22e-16), the value std::sqrt gives for it to the last bit.
inline constexpr double kQVASqrtMachineEpsilon = 1.489966442575134e-08;

// A count, size or position as an index into an array; it must not be
// negative (checked in debug builds).
template <std::integral Integer>
constexpr std::size_t QVAIndex(Integer value) {
  if constexpr (std::is_signed_v<Integer>) QVA_ASSERT(value >= 0, value);
  return static_cast<std::size_t>(value);
}

// Offset of entry (row, column) of a column-major matrix whose columns start
// `leadingDimension` values apart.
constexpr std::size_t QVAColumnMajor(int row, int column, int leadingDimension) {
  return QVAIndex(row) + QVAIndex(column) * QVAIndex(leadingDimension);
}
