// Random response: power spectral densities of the output DOFs under loads
// given as PSD tables, from the modal load cross-spectra the component forms
// (QVADynRandomEvent) and the modal frequency response of the damping in force.
//
// For excitations c with PSD p_c(f) and modal cross-spectral block B_c (the
// event's block, diagonal node-DOF terms halved, so the full matrix is
// B_c + B_c^H), at each frequency f:
//   S_Q(f) = sum_c p_c(f) (B_c + B_c^H)                  modes x modes
//   A(f)   = Phi_out H(f)                                outputs x modes
//   S_u(o) = Re sum_{k,l} A(o,k) S_Q(k,l) conj(A(o,l))   displacement PSD
// with H(f) = (Lambda - w^2 I + i w C + i G)^-1, diagonal for modal damping
// (h_k = 1 / (w_k^2 - w^2 + 2 i zeta_k w_k w + i g_k w_k^2)). Velocity and
// acceleration PSDs are w^2 and w^4 times S_u (relative to the base); round-off
// below zero is set to zero.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qvadyn {

// A PSD table (frequency [Hz], value [unit^2/Hz]) as test standards give it:
// straight lines between the points on log-log axes, zero outside the table.
struct PsdTable {
  std::vector<double> frequencies;  // ascending, positive
  std::vector<double> values;       // positive
  std::string name;                 // for messages, e.g. "job.toml:30:1: psd"

  // Throws qvadyn::Error naming the table and the first bad row.
  void Check() const;
  double Interpolate(double frequency) const;
  // Integral of the PSD over its band, exact for the log-log segments.
  double Area() const;
};

struct RandomExcitation {
  PsdTable psd;
  std::vector<std::complex<double>> modalBlock;  // B, modes x modes, column-major
  // When set, B at circular frequency omega (convected fields) replaces modalBlock.
  std::function<void(double omega, std::vector<std::complex<double>>& block)> blockAt;
};

struct RandomProblem {
  std::vector<double> eigenvalues;        // omega^2 per mode
  std::vector<double> dampingRatios;      // zeta per mode (diagonal path)
  std::vector<double> structuralDamping;  // loss factor g per mode, or empty
  std::vector<double> viscousMatrix;      // modes x modes, or empty: then H is diagonal
  std::vector<double> structuralMatrix;   // modes x modes, or empty
  std::vector<RandomExcitation> excitations;
  std::vector<double> outputShapes;  // outputs x modes, column-major
  std::vector<double> frequencies;   // Hz, ascending
};

struct RandomResponse {
  // Frequencies x outputs, row-major, for displacement, velocity, acceleration.
  std::vector<double> displacementPsd;
  std::vector<double> velocityPsd;
  std::vector<double> accelerationPsd;
  // Per output: the square root of the PSD's integral over the frequency list
  // by the trapezoidal rule.
  std::vector<double> displacementRms;
  std::vector<double> velocityRms;
  std::vector<double> accelerationRms;
};

// One excitation of a job's random analysis ([[analysis.NAME.excitation]]).
struct RandomExcitationSettings {
  enum class Kind { kCorrelated, kUncorrelated, kConvected, kBase };
  struct Load {
    std::int64_t node = 0;
    int component = 1;
    double scale = 1.0;
    std::string where;
  };
  PsdTable psd;
  Kind kind = Kind::kCorrelated;
  std::vector<Load> loads;         // nodal loads of one pattern
  double velocity[3] = {0, 0, 0};  // convection velocity
  std::vector<int> directions;     // base acceleration: 1..3, uncorrelated with each other
  std::string where;
};

// A job's random analysis: the frequencies, listed or a range clustered
// around the natural frequencies, and the excitations, uncorrelated with
// each other.
struct RandomSettings {
  std::vector<double> frequencies;
  double rangeLow = 0.0, rangeHigh = 0.0;
  int points = 20;
  double bias = 3.0;
  std::vector<RandomExcitationSettings> excitations;
};

// Throws qvadyn::Error for sizes that disagree, a PSD table that fails its
// check, or a singular dynamic stiffness (undamped resonance on a frequency).
RandomResponse ComputeRandomResponse(const RandomProblem& problem);

// Square root of the trapezoidal integral of psd (frequencies x outputs,
// row-major) over `frequencies`, per output.
std::vector<double> RmsOverBand(const std::vector<double>& frequencies,
                                const std::vector<double>& psd);

}  // namespace qvadyn
