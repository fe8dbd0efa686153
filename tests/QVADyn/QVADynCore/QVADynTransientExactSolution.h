#pragma once

// Exact solution of one modal equation  q'' + c q' + lambda q = f(t), f linear over a step,
// evaluated in 128-bit floating point, as an independent reference for the transient tests.
//
// The state (u, v) and the load (f, g = df/dt) form the linear system z' = M z with
//   M = [ 0 1 0 0 ; -lambda -c 1 0 ; 0 0 0 1 ; 0 0 0 0 ],
// so z(t) = exp(M t) z(0). exp is taken by scaling and squaring of its Taylor series; with a
// 113-bit significand its error stays far below the 1e-10 asked of the double results.
//
// Example: lambda = 1, c = 0, u0 = 1, v0 = 0, no load: ExactState(...).u at t = pi/2 is 0.

#include <cmath>

namespace qva_transient_test {

__extension__ typedef __float128 Quad;

inline Quad QuadAbs(Quad x) { return x < 0 ? -x : x; }

struct ExactState {
  Quad u = 0, v = 0;
};

// State at time t after starting from (u0, v0) with the load f0 + slope * t.
inline ExactState ExactResponse(Quad lambda, Quad damping, Quad u0, Quad v0, Quad f0, Quad slope,
                                Quad t) {
  Quad m[4][4] = {{0, 1, 0, 0}, {-lambda, -damping, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}};
  Quad norm = 0;
  for (auto& row : m) {
    Quad rowSum = 0;
    for (Quad& entry : row) {
      entry *= t;
      rowSum += QuadAbs(entry);
    }
    norm = rowSum > norm ? rowSum : norm;
  }
  int squarings = 0;
  while (norm > static_cast<Quad>(0.25)) {
    norm /= 2;
    ++squarings;
  }
  const Quad scale = 1 / static_cast<Quad>(1ULL << squarings);
  for (auto& row : m) {
    for (Quad& entry : row) entry *= scale;
  }
  // Taylor series of exp(m): the remainder after 24 terms is below 0.25^25 / 25! ~ 6e-41.
  Quad result[4][4] = {}, term[4][4] = {};
  for (int i = 0; i < 4; ++i) result[i][i] = term[i][i] = 1;
  for (int k = 1; k <= 24; ++k) {
    Quad next[4][4] = {};
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        for (int l = 0; l < 4; ++l) next[i][j] += term[i][l] * m[l][j];
        next[i][j] /= k;
      }
    }
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        term[i][j] = next[i][j];
        result[i][j] += next[i][j];
      }
    }
  }
  for (int s = 0; s < squarings; ++s) {
    Quad square[4][4] = {};
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        for (int l = 0; l < 4; ++l) square[i][j] += result[i][l] * result[l][j];
      }
    }
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) result[i][j] = square[i][j];
    }
  }
  const Quad start[4] = {u0, v0, f0, slope};
  ExactState state;
  for (int j = 0; j < 4; ++j) {
    state.u += result[0][j] * start[j];
    state.v += result[1][j] * start[j];
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
