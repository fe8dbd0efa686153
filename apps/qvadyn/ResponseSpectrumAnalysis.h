// Response-spectrum analysis: peak responses of the output DOFs to base
// accelerations given as design spectra, from each mode's peak and a
// combination over the modes and over the directions.
//
// A spectrum of 3 frequencies and 2 damping ratios:
//   frequencies   = [1 10 100]           Hz
//   dampingRatios = [0.02 0.05]
//   accelerations = [a(1,.02) a(1,.05) | a(10,.02) a(10,.05) | a(100,.02) a(100,.05)]
// Mode k's peak modal displacement in direction d is
//   q(k, d) = Gamma(k, d) * Sa(f_k, zeta_k) / omega_k^2,
// its contribution at output o is phi(o, k) * q(k, d); velocity and
// acceleration take omega_k and omega_k^2 times it (pseudo-velocity and
// pseudo-acceleration, relative to the base).
#pragma once

#include <string>
#include <vector>

namespace qvadyn {

struct DesignSpectrum {
  std::vector<double> frequencies;    // Hz, ascending
  std::vector<double> dampingRatios;  // ascending, at least one
  std::vector<double> accelerations;  // frequencies x dampingRatios, row-major
  std::string name;                   // for messages, e.g. "job.toml: response_spectrum.x"

  // Throws qvadyn::Error naming the spectrum when sizes, order or signs are wrong.
  void Check() const;
  // Sa at `frequency` [Hz] and `zeta`: log-log in frequency, linear in damping
  // ratio, the end values held outside the table's ranges.
  double Interpolate(double frequency, double zeta) const;
};

enum class ModalCombination { kSrss, kCqc, kAbsoluteSum };
enum class DirectionCombination { kSrss, kPercent100_40_40 };

// Der Kiureghian's correlation coefficient of two modes of circular
// frequencies omegaI, omegaJ and damping ratios zetaI, zetaJ (1 for equal ones).
double CqcCoefficient(double omegaI, double omegaJ, double zetaI, double zetaJ);

struct SpectrumProblem {
  std::vector<double> eigenvalues;    // omega^2 per mode, all positive
  std::vector<double> dampingRatios;  // per mode
  std::vector<double> participation;  // numModes x 6 row-major: Gamma(k, d) at 6 k + d
  std::vector<int> directions;        // excited direction 0..5 (x y z rx ry rz) per spectrum
  std::vector<DesignSpectrum> spectra;
  std::vector<double> outputShapes;  // numOutputs x numModes, column-major
  ModalCombination modalRule = ModalCombination::kCqc;
  DirectionCombination directionRule = DirectionCombination::kSrss;
};

struct SpectrumResponse {
  std::vector<double> modalPeak;     // numModes x numDirections, row-major: q(k, d)
  std::vector<double> displacement;  // numOutputs peaks
  std::vector<double> velocity;
  std::vector<double> acceleration;
};

// A job's response-spectrum analysis: one spectrum per excited direction
// ([[analysis.NAME.spectrum]]) and the two combination rules.
struct SpectrumSettings {
  std::vector<int> directions;  // 1..3 per spectrum
  std::vector<DesignSpectrum> spectra;
  ModalCombination modalRule = ModalCombination::kCqc;
  DirectionCombination directionRule = DirectionCombination::kSrss;
};

// Peaks of the output DOFs combined over the modes by `modalRule` and over the
// spectra by `directionRule`. Throws qvadyn::Error for a mode without positive
// frequency or sizes that disagree.
SpectrumResponse ComputeSpectrumResponse(const SpectrumProblem& problem);

}  // namespace qvadyn
