#include "ResponseSpectrumAnalysis.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Error.h"

namespace qvadyn {
namespace {

// Position of `value` in the ascending `grid`: lower index and weight of the
// upper neighbour, held at the ends.
std::pair<std::size_t, double> Bracket(const std::vector<double>& grid, double value,
                                       bool logarithmic) {
  if (grid.size() == 1 || value <= grid.front()) return {0, 0.0};
  if (value >= grid.back()) return {grid.size() - 2, 1.0};
  const auto upper =
      static_cast<std::size_t>(std::upper_bound(grid.begin(), grid.end(), value) - grid.begin());
  const double low = grid[upper - 1];
  const double high = grid[upper];
  const double weight =
      logarithmic ? std::log(value / low) / std::log(high / low) : (value - low) / (high - low);
  return {upper - 1, weight};
}

}  // namespace

void DesignSpectrum::Check() const {
  const std::size_t numDamping = dampingRatios.size();
  if (frequencies.empty() || numDamping == 0 ||
      accelerations.size() != frequencies.size() * numDamping) {
    throw Error(name +
                ": a spectrum needs frequencies, damping ratios and one acceleration per "
                "frequency and damping ratio (" +
                std::to_string(frequencies.size()) + " x " + std::to_string(numDamping) +
                " expected, " + std::to_string(accelerations.size()) + " given)");
  }
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    if (!(frequencies[i] > 0.0) || (i > 0 && !(frequencies[i] > frequencies[i - 1]))) {
      throw Error(name + ": frequency " + std::to_string(i + 1) + " is not positive and ascending");
    }
  }
  for (std::size_t j = 0; j < numDamping; ++j) {
    if (!(dampingRatios[j] >= 0.0) || (j > 0 && !(dampingRatios[j] > dampingRatios[j - 1]))) {
      throw Error(name + ": damping ratio " + std::to_string(j + 1) +
                  " is not non-negative and ascending");
    }
  }
  for (std::size_t i = 0; i < accelerations.size(); ++i) {
    if (!(accelerations[i] > 0.0) || !std::isfinite(accelerations[i])) {
      throw Error(name + ": acceleration " + std::to_string(i + 1) +
                  " is not positive (log-log interpolation needs positive values)");
    }
  }
}

double DesignSpectrum::Interpolate(double frequency, double zeta) const {
  const std::size_t numDamping = dampingRatios.size();
  const auto [i, frequencyWeight] = Bracket(frequencies, frequency, true);
  const auto [j, dampingWeight] = Bracket(dampingRatios, zeta, false);
  auto atFrequency = [&](std::size_t column) {
    const double low = accelerations[i * numDamping + column];
    if (frequencies.size() == 1) return low;
    const double high = accelerations[(i + 1) * numDamping + column];
    return low * std::pow(high / low, frequencyWeight);
  };
  const double low = atFrequency(j);
  if (numDamping == 1) return low;
  return low + dampingWeight * (atFrequency(j + 1) - low);
}

double CqcCoefficient(double omegaI, double omegaJ, double zetaI, double zetaJ) {
  const double r = omegaJ / omegaI;
  const double numerator = 8.0 * std::sqrt(zetaI * zetaJ) * (zetaI + r * zetaJ) * std::pow(r, 1.5);
  const double denominator = (1.0 - r * r) * (1.0 - r * r) +
                             4.0 * zetaI * zetaJ * r * (1.0 + r * r) +
                             4.0 * (zetaI * zetaI + zetaJ * zetaJ) * r * r;
  if (denominator == 0.0) return 1.0;  // equal frequencies without damping
  return numerator / denominator;
}

SpectrumResponse ComputeSpectrumResponse(const SpectrumProblem& problem) {
  const auto numModes = static_cast<int>(problem.eigenvalues.size());
  const auto numDirections = static_cast<int>(problem.spectra.size());
  if (problem.dampingRatios.size() != problem.eigenvalues.size() ||
      problem.participation.size() != 6 * problem.eigenvalues.size() ||
      problem.directions.size() != problem.spectra.size() || numModes == 0 ||
      problem.outputShapes.size() % problem.eigenvalues.size() != 0) {
    throw Error("response spectrum: sizes of modes, damping, participation and outputs disagree");
  }
  const auto numOutputs = static_cast<int>(problem.outputShapes.size()) / numModes;
  std::vector<double> omega(static_cast<std::size_t>(numModes));
  for (int k = 0; k < numModes; ++k) {
    if (!(problem.eigenvalues[k] > 0.0)) {
      throw Error("response spectrum: mode " + std::to_string(k + 1) + " has eigenvalue " +
                  std::to_string(problem.eigenvalues[k]) +
                  "; a spectrum needs modes of positive frequency (remove rigid-body modes)");
    }
    omega[k] = std::sqrt(problem.eigenvalues[k]);
  }
  for (const DesignSpectrum& spectrum : problem.spectra) spectrum.Check();

  SpectrumResponse response;
  response.modalPeak.resize(static_cast<std::size_t>(numModes * numDirections));
  for (int k = 0; k < numModes; ++k) {
    const double frequency = omega[k] / (2.0 * std::numbers::pi);
    for (int d = 0; d < numDirections; ++d) {
      const double gamma = problem.participation[6 * k + problem.directions[d]];
      const double sa = problem.spectra[d].Interpolate(frequency, problem.dampingRatios[k]);
      response.modalPeak[k * numDirections + d] = gamma * sa / problem.eigenvalues[k];
    }
  }

  std::vector<double> correlation;
  if (problem.modalRule == ModalCombination::kCqc) {
    correlation.resize(static_cast<std::size_t>(numModes * numModes));
    for (int i = 0; i < numModes; ++i) {
      for (int j = 0; j < numModes; ++j) {
        correlation[i * numModes + j] =
            CqcCoefficient(omega[i], omega[j], problem.dampingRatios[i], problem.dampingRatios[j]);
      }
    }
  }

  // Per quantity (omega^0, omega^1, omega^2) and direction: the modal
  // contributions U (outputs x modes), combined over the modes.
  std::vector<double>* peaks[] = {&response.displacement, &response.velocity,
                                  &response.acceleration};
  std::vector<double> contributions(problem.outputShapes.size());
  std::vector<double> correlated(problem.outputShapes.size());
  std::vector<double> perDirection(static_cast<std::size_t>(numOutputs * numDirections));
  for (int power = 0; power < 3; ++power) {
    for (int d = 0; d < numDirections; ++d) {
      for (int k = 0; k < numModes; ++k) {
        const double scale = response.modalPeak[k * numDirections + d] * std::pow(omega[k], power);
        for (int o = 0; o < numOutputs; ++o) {
          contributions[k * numOutputs + o] = problem.outputShapes[k * numOutputs + o] * scale;
        }
      }
      if (problem.modalRule == ModalCombination::kCqc && numOutputs > 0) {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, numOutputs, numModes, numModes, 1.0,
                    contributions.data(), numOutputs, correlation.data(), numModes, 0.0,
                    correlated.data(), numOutputs);
      }
      for (int o = 0; o < numOutputs; ++o) {
        double combined = 0.0;
        for (int k = 0; k < numModes; ++k) {
          const double u = contributions[k * numOutputs + o];
          switch (problem.modalRule) {
            case ModalCombination::kSrss:
              combined += u * u;
              break;
            case ModalCombination::kCqc:
              combined += u * correlated[k * numOutputs + o];
              break;
            case ModalCombination::kAbsoluteSum:
              combined += std::abs(u);
              break;
          }
        }
        perDirection[o * numDirections + d] = problem.modalRule == ModalCombination::kAbsoluteSum
                                                  ? combined
                                                  : std::sqrt(std::max(combined, 0.0));
      }
    }
    std::vector<double>& peak = *peaks[power];
    peak.assign(static_cast<std::size_t>(numOutputs), 0.0);
    for (int o = 0; o < numOutputs; ++o) {
      const double* values = perDirection.data() + o * numDirections;
      if (problem.directionRule == DirectionCombination::kSrss) {
        double sum = 0.0;
        for (int d = 0; d < numDirections; ++d) sum += values[d] * values[d];
        peak[o] = std::sqrt(sum);
      } else {
        double total = 0.0;
        for (int d = 0; d < numDirections; ++d) total += values[d];
        for (int d = 0; d < numDirections; ++d) {
          peak[o] = std::max(peak[o], values[d] + 0.4 * (total - values[d]));
        }
      }
    }
  }
  return response;
}

}  // namespace qvadyn
