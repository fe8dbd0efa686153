#pragma once

// The three forms that add one entry of a correlation to a modal load
// cross-spectral block of the random event: nodal loads, base motions and the
// convected jet-noise field. A block holds 2 m^2 doubles over the m active
// modes: the real part R(a, b) at a*m + b, then the imaginary part I(a, b) at
// m^2 + a*m + b.
//
// Terms. A node-DOF pair beta = (node j, DOF place e) of an active node has,
// for the pattern `key`, the projected load vector
//   v_beta(a) = phi_j(mode(a), e) * L_j(e),
// phi_j from QVADynModalSystem::GetModesNodal, L_j from the provider's
// NodalLoads(j) at (key - 1) * D + e. The pairs are ordered node by node, DOF
// by DOF. A nodal block is
//   R(a, b) += sum over pairs alpha <= beta of w * Re c(alpha, beta) * v_beta(a) * v_alpha(b)
//   I(a, b) += the same with Im c(alpha, beta),
// with w = 1/2 when alpha = beta, else 1; for alpha = (i, d), beta = (j, e)
// the coefficient c is R + i I for correlated loads, only alpha = beta for
// uncorrelated loads, and cos(theta_j - theta_i) + i sin(theta_j - theta_i)
// for jet noise, whatever the order of the DOF places d and e. The base-motion
// form is the same sum over the direction pairs p <= q, the participation
// factors in place of v. So block + block^H = V^T S V, S the Hermitian
// cross-spectral matrix with S(beta, alpha) = c(alpha, beta) for alpha < beta.
//
// Except for user-defined correlations, whose coefficient the provider gives
// pair by pair, the coefficient separates into per-node factors
// (cos(theta_j - theta_i) = c_i c_j + s_i s_j, sin(theta_j - theta_i) = c_i s_j
// - s_i c_j), so each block is a sum of rank-one updates v_beta * g_beta^T in
// which g_beta is a running sum over the pairs before beta. That costs
// (active nodes) * D * m^2 multiply-adds instead of (active nodes)^2 * D^2 * m^2
// and agrees with the pairwise sums to round-off.

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "platform/host/QVADynRandomLoadProvider.h"

// What every form reads: the modal system (in the node-access state), the
// host's provider, the active modes as 1-based mode numbers and one flag per
// provider node (null: every node takes part).
struct QVADynRandomLoadInput {
  const QVADynModalSystem& modal;
  QVADynRandomLoadProvider* provider;
  const int* modes;
  int numberOfModes;
  const int* nodeActive;
};

// Adds the nodal form of entry (key, real, imaginary) of `correlation` (not
// jet noise) to `block`. Calls the provider's Begin(block, key, &correlation),
// NumberOfNodes, NodalLoads once per active node (for user-defined
// correlations once per node of every pair, with NodeCoordinates and one
// UserCorrelation per pair of node-DOFs), and End.
void QVADynAddNodalLoad(const QVADynRandomLoadInput& input, double* block, int key, double real,
                        double imaginary, const QVADynCorrelation& correlation);

// Adds the base-motion form of entry (key, real, imaginary) of `correlation`
// to `block`: `levels` holds the base-motion level of each of the six
// directions for this pattern, `factors` the participation factors (modes x 6,
// column by column, `totalModes` rows), or null, in which case nothing is
// added. A user-defined correlation asks the provider once per direction pair
// p <= q.
void QVADynAddBaseMotionLoad(const QVADynRandomLoadInput& input, double* block, int key,
                             double real, double imaginary, const QVADynCorrelation& correlation,
                             const double* levels, const double* factors, int totalModes);

// Adds the jet-noise form of an entry with convection velocity `velocity`
// (three components, not all zero) at circular frequency `omega` to `block`.
// Calls Begin(block, key, velocity), NumberOfNodes, NodeCoordinates once per
// active node, then NodalLoads once per active node, and End.
void QVADynAddJetNoiseLoad(const QVADynRandomLoadInput& input, double* block, int key,
                           const double* velocity, double omega);
