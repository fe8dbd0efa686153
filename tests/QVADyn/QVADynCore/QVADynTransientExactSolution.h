#pragma once

// Exact solution of one modal equation  q'' + c q' + lambda q = f(t), f linear over a step,
// evaluated in 128-bit floating point, as an independent reference for the transient tests.
//
// The state (u, v) and the load (f, g = df/dt) form the linear system z' = M z with
//   M = [ 0 1 0 0 ; -lambda -c 1 0 ; 0 0 0 1 ; 0 0 0 0 ],
// so z(t) = exp(M t) z(0), taken by scaling and squaring of its Taylor series; with a 113-bit
// significand its error stays far below the 1e-10 asked of the double results.
//
// Example: lambda = 1, c = 0, u0 = 1, v0 = 0, no load: ExactState(...).u at t = pi/2 is 0.

#include <cmath>
#include <cstddef>
#include <vector>

#include "internal/QVANumerics.h"

namespace qva_transient_test {

__extension__ typedef __float128 Quad;

inline Quad QuadAbs(Quad x) { return x < 0 ? -x : x; }

struct ExactState {
  Quad u = 0, v = 0;
};

using QuadMatrix = std::vector<Quad>;  // d x d, row-major

// exp(matrix) by scaling and squaring of the Taylor series.
inline QuadMatrix Exponential(QuadMatrix matrix, int d) {
  Quad norm = 0;
  for (int i = 0; i < d; ++i) {
    Quad row = 0;
    for (int j = 0; j < d; ++j) row += QuadAbs(matrix[i * d + j]);
    norm = row > norm ? row : norm;
  }
  int squarings = 0;
  while (norm > static_cast<Quad>(0.25)) {
    norm /= 2;
    ++squarings;
  }
  for (Quad& entry : matrix) entry /= static_cast<Quad>(1ULL << squarings);
  auto product = [d](const QuadMatrix& left, const QuadMatrix& right) {
    QuadMatrix result(QVAIndex(d * d), 0);
    for (int i = 0; i < d; ++i) {
      for (int l = 0; l < d; ++l) {
        for (int j = 0; j < d; ++j) result[i * d + j] += left[i * d + l] * right[l * d + j];
      }
    }
    return result;
  };
  QuadMatrix result(QVAIndex(d * d), 0), term(result);
  for (int i = 0; i < d; ++i) result[i * d + i] = term[i * d + i] = 1;
  // Norm <= 1/4: the remainder after 30 terms is below 0.25^31 / 31! ~ 1e-52.
  for (int k = 1; k <= 30; ++k) {
    term = product(term, matrix);
    for (Quad& entry : term) entry /= k;
    for (int i = 0; i < d * d; ++i) result[i] += term[i];
  }
  for (int s = 0; s < squarings; ++s) result = product(result, result);
  return result;
}

// State at time t after starting from (u0, v0) with the load f0 + slope * t.
inline ExactState ExactResponse(Quad lambda, Quad damping, Quad u0, Quad v0, Quad f0, Quad slope,
                                Quad t) {
  const QuadMatrix propagator =
      Exponential({0, t, 0, 0, -lambda * t, -damping * t, t, 0, 0, 0, 0, t, 0, 0, 0, 0}, 4);
  const Quad start[4] = {u0, v0, f0, slope};
  ExactState state;
  for (int j = 0; j < 4; ++j) {
    state.u += propagator[j] * start[j];
    state.v += propagator[4 + j] * start[j];
  }
  return state;
}

// Nodes and weights of n-point Gauss-Legendre quadrature on [-1, 1], by Newton's method on the
// Legendre polynomial in 128-bit arithmetic.
inline void GaussLegendre(int n, Quad* nodes, Quad* weights) {
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < n; ++i) {
    Quad x = std::cos(pi * (i + 0.75) / (n + 0.5));
    Quad derivative = 1;
    for (int iteration = 0; iteration < 100; ++iteration) {
      Quad previous = 1, current = x;
      for (int k = 2; k <= n; ++k) {
        const Quad next = ((2 * k - 1) * x * current - (k - 1) * previous) / k;
        previous = current;
        current = next;
      }
      derivative = n * (x * current - previous) / (x * x - 1);
      const Quad correction = current / derivative;
      x -= correction;
      if (QuadAbs(correction) < static_cast<Quad>(1e-33)) break;
    }
    nodes[i] = x;
    weights[i] = 2 / ((1 - x * x) * derivative * derivative);
  }
}

}  // namespace qva_transient_test
