#pragma once

// Small references for the matrix-service tests: seeded random matrices,
// naive triple-loop products, and norms for relative comparisons. Arrays are
// column-major, rows x columns, leading dimension = rows.
//
//   std::vector<double> a = QVARandomValues(4, 3, 7);
//   std::vector<double> c = QVANaiveProduct(a, 4, 3, b, 2);   // 4 x 2

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "internal/QVANumerics.h"
#include "tests/support/QVATestTolerances.h"

// rows x columns values uniform in [-1, 1), reproducible from `seed`.
inline std::vector<double> QVARandomValues(int rows, int columns, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> values(QVAIndex(rows) * QVAIndex(columns));
  for (double& value : values) value = uniform(generator);
  return values;
}

// c = a * b with a (rows x inner) and b (inner x columns), three plain loops.
inline std::vector<double> QVANaiveProduct(const std::vector<double>& a, int rows, int inner,
                                           const std::vector<double>& b, int columns) {
  std::vector<double> c(QVAIndex(rows) * QVAIndex(columns), 0.0);
  for (int j = 0; j < columns; ++j) {
    for (int i = 0; i < rows; ++i) {
      double sum = 0.0;
      for (int k = 0; k < inner; ++k) {
        sum += a[QVAIndex(i + k * rows)] * b[QVAIndex(k + j * inner)];
      }
      c[QVAIndex(i + j * rows)] = sum;
    }
  }
  return c;
}

// transpose(a) for a (rows x columns).
inline std::vector<double> QVATransposed(const std::vector<double>& a, int rows, int columns) {
  std::vector<double> t(a.size());
  for (int j = 0; j < columns; ++j) {
    for (int i = 0; i < rows; ++i) {
      t[QVAIndex(j + i * columns)] = a[QVAIndex(i + j * rows)];
    }
  }
  return t;
}

inline double QVAMaxAbs(const std::vector<double>& values) {
  double largest = 0.0;
  for (const double value : values) largest = std::max(largest, std::abs(value));
  return largest;
}

// Largest entry of |actual - expected|, over count values.
inline double QVAMaxDifference(const double* actual, const double* expected, std::size_t count) {
  double largest = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    largest = std::max(largest, std::abs(actual[i] - expected[i]));
  }
  return largest;
}

inline double QVAMaxDifference(const std::vector<double>& actual,
                               const std::vector<double>& expected) {
  return QVAMaxDifference(actual.data(), expected.data(), std::min(actual.size(), expected.size()));
}

// Tolerance of a product with inner dimension `inner` of entries in [-1, 1]:
// every entry is a sum of `inner` products of size at most 1, so both the
// blocked (BLAS) and the naive summation order are within inner * eps of the
// exact value; the factor 2 covers the two roundings.
inline double QVAProductTolerance(int inner) { return 2.0 * std::max(inner, 1) * kQVAEps; }
