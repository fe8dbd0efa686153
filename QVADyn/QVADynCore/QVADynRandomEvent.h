#pragma once

// Modal load cross-spectral matrices of random excitation. For every
// excitation the event forms the complex m x m matrix, over its m active
// modes, of the cross-spectrum coefficients of the generalized loads, from the
// load patterns of the loaded nodes (given by the host's
// QVADynRandomLoadProvider), the mode shapes at those nodes and the spatial
// correlation of the loads (QVADynCorrelation). The host computes the response
// to these loads; the event solves nothing and has no results of its own.
//
// Output. Both load operations write into one array of NumberOfBlocks()
// consecutive blocks of 2 m^2 doubles: the real part R (entry (a, b) at
// a*m + b), then the imaginary part I (at m^2 + a*m + b), a and b being
// positions in the active-mode list. Correlations take their blocks in
// adoption order; a jet-noise correlation takes one block per entry (in its
// entry table's order), every other correlation exactly one. With three
// active modes, a correlated correlation and a jet-noise one of two entries:
//
//   out[0 ... 17]    correlated     (ComputeModalLoad)
//   out[18 ... 35]   jet noise, entry 1  (ComputeJetNoiseModalLoad)
//   out[36 ... 53]   jet noise, entry 2  (ComputeJetNoiseModalLoad)
//
// Each operation fills only its own blocks.
//
// What a block holds. Number the node-DOFs of the active provider nodes node
// by node, DOF place by place: alpha = (node i, place d). For the pattern
// key of an entry, v_alpha(a) = phi_i(mode(a), d) * L_i(d) is the mode shape
// at the node-DOF times its load. A block holds each unordered pair once,
// as the later node-DOF beta against the earlier alpha, the diagonal halved:
//
//   B(a, b) = sum over alpha <= beta of w * c(alpha, beta) * v_beta(a) * v_alpha(b),
//   w = 1/2 for alpha = beta, else 1,
//
// c being the pair's coefficient: R + i I of the entry for correlated loads
// (uncorrelated loads keep only alpha = beta), the provider's
// UserCorrelation(..., i, d, j, e, ...) for user-defined ones, and
// cos(theta_j - theta_i) + i sin(theta_j - theta_i) for jet noise. The
// coefficient does not depend on the order of the DOF places d and e. Base
// motion has the same form over the six directions p <= q, with
// Gamma(p, mode(a)) * g_p in place of v: Gamma the participation factors of
// slot 0 of the modal system, g_p the spectrum's magnitude for every
// direction a base motion of the key excites. The magnitude acts as an
// amplitude: the block scales with its square. Base motion needs the
// participation factors; without them ComputeModalLoad raises.
//
// For every kind of correlation the host completes the Hermitian
// cross-spectral matrix as S = B + B^H:
//   Re S(a, b) = R(a, b) + R(b, a),   Im S(a, b) = I(a, b) - I(b, a),
// which is Phi^T S_node Phi for the Hermitian node-DOF (or direction)
// cross-spectral matrix S_node with S_node(beta, alpha) = c(alpha, beta) for
// alpha before beta.
//
// Use:
//   QVADynRandomEvent event(&modal);          // modal system opened, outlives the event
//   int modes[] = {1, 2, 3}; int count = 3;   // 1-based mode numbers
//   event.SetActiveModes(modes, count);
//   event.AdoptCorrelation(correlation);      // owned from here on
//   event.SetLoadProvider(&provider);         // the host's, not owned
//   std::vector<double> out(event.NumberOfBlocks() * 2 * 3 * 3);
//   event.ComputeModalLoad(out.data(), nodeActive);
//   event.ComputeJetNoiseModalLoad(out.data(), nodeActive, omega);
//
// An event is used by one thread at a time.

#include <cstddef>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynExport.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "platform/base/mem_Alloc.h"
#include "platform/base/omi_IntTable.h"
#include "platform/host/QVADynRandomLoadProvider.h"

class QVADYN_EXPORT QVADynRandomEvent : public mem_AllocationOperators {
 public:
  // Opens nodal mode-shape access for all nodes of `system`
  // (BeginNodalModeAccess(nullptr)) and sets the access type of its mode-shape
  // matrix to 2 (many small row reads). `system` must be opened and must
  // outlive the event.
  explicit QVADynRandomEvent(QVADynModalSystem* system);
  QVADynRandomEvent(const QVADynRandomEvent&) = delete;
  QVADynRandomEvent& operator=(const QVADynRandomEvent&) = delete;
  // Deletes every adopted correlation (and with it its spectrum and entries),
  // ends nodal mode-shape access (which logs the time spent) and sets the
  // mode-shape matrix's access type back to 0.
  ~QVADynRandomEvent();

  // Copies `count` 1-based mode numbers (unlike the zero-based active modes
  // of the other events) as the active modes, replacing the list held.
  // Raises QVABasError (kQVABasInvalidArgument), keeping the list held, when
  // `count` is negative, `modes` is null while `count` is not 0, or a number
  // lies outside 1 ... NumberOfModes() of the modal system.
  void SetActiveModes(const int* modes, const int& count);
  int NumberOfActiveModes() const { return numberOfActiveModes_; }
  // The active mode numbers, 1-based; null before SetActiveModes.
  const int* ActiveModes() const { return activeModes_; }

  // Takes ownership of `correlation` (allocated with new) under the next
  // adoption number (1, 2, ...). Raises QVABasError (kQVABasInvalidArgument)
  // for null or a correlation the event holds already; the caller then keeps
  // ownership.
  void AdoptCorrelation(QVADynCorrelation* correlation);
  int NumberOfCorrelations() const { return numberOfCorrelations_; }

  // Records base motion number t = NumberOfBaseMotions() + 1 in `direction`
  // (1 ... 6: x, y, z, rx, ry, rz) for the pattern `patternKey`. A base-motion
  // spectrum's entry for that pattern excites the direction with the
  // spectrum's magnitude (once, however many base motions name it);
  // directions outside 1 ... 6 excite nothing.
  void AdoptBaseMotion(const int& patternKey, const int& direction);
  int NumberOfBaseMotions() const { return numberOfBaseMotions_; }

  // Installs the host's random load provider (not owned; null removes it). It
  // must stay alive while load operations run.
  void SetLoadProvider(QVADynRandomLoadProvider* provider) { provider_ = provider; }
  QVADynRandomLoadProvider* LoadProvider() const { return provider_; }

  // Number of 2 m^2 blocks of the output array: one per correlation that is
  // not jet noise, one per entry of each jet-noise correlation.
  int NumberOfBlocks() const;

  // Fills the block of every correlation that is not jet noise: zeroes it,
  // then adds each entry (pattern key, real and imaginary coefficient) in the
  // entry table's order, in the base-motion form when the correlation's
  // spectrum drives base motions, else in the nodal form. `nodeActive` holds
  // one flag per provider node (non-zero: the node takes part); null lets
  // every node take part. Every key must be at least 1 and within the
  // provider's patterns. Raises QVABasError before writing anything:
  // kQVABasInvalidArgument when such a correlation has no spectrum or a
  // nodal entry's key lies beyond the provider's NumberOfPatterns() (when
  // known) or below 1, kQVASrvInvalidState when a block needs the provider and
  // none is installed, or when an entry of a base-motion spectrum drives a
  // base motion and the modal system has no participation factors in slot 0.
  void ComputeModalLoad(double* out, const int* nodeActive);

  // Fills the blocks of the jet-noise correlations at circular frequency
  // `omega` (rad per unit time): each entry (key, convection velocity) gets its
  // own zeroed block. Raises QVABasError before writing anything:
  // kQVABasInvalidArgument for an entry whose convection velocity is zero or
  // whose key is refused as in ComputeModalLoad, kQVASrvInvalidState when a block needs the provider and none is installed.
  void ComputeJetNoiseModalLoad(double* out, const int* nodeActive, double omega);

 private:
  // Doubles of one output block, 2 m^2.
  std::size_t BlockSize() const;
  // The base-motion level of each direction for pattern `key`.
  void BaseMotionLevels(int key, double magnitude, double* levels) const;
  // True when a base motion of pattern `key` excites one of the six directions.
  bool DrivesBaseMotion(int key) const;
  void VerifyModalLoadInputs() const;
  void VerifyJetNoiseInputs() const;
  // Raises QVABasError (kQVABasInvalidArgument) for a pattern key below 1 or
  // beyond the provider's NumberOfPatterns() where that is known.
  void VerifyPatternKey(const char* operation, int correlation, int key) const;

  // Members follow the event's data model.
  QVADynModalSystem* modalSystem_;
  omi_IntTable<void*> correlations_;
  omi_IntTable<int> baseMotionDirections_;
  omi_IntTable<int> baseMotionPatterns_;
  int numberOfBaseMotions_ = 0;
  QVADynRandomLoadProvider* provider_ = nullptr;
  int numberOfCorrelations_ = 0;
  // 1-based mode numbers, from the platform allocator.
  int* activeModes_ = nullptr;
  int numberOfActiveModes_ = 0;
};
