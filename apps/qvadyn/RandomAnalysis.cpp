#include "RandomAnalysis.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Error.h"

extern "C" {
// LAPACK (OpenBLAS): solves A X = B for general complex A by LU.
void zgesv_(const int* n, const int* numRhs, std::complex<double>* a, const int* lda, int* pivots,
            std::complex<double>* b, const int* ldb, int* info);
}

namespace qvadyn {

void PsdTable::Check() const {
  if (frequencies.size() != values.size() || frequencies.size() < 2) {
    throw Error(name + ": a PSD table needs at least two rows of (frequency, value)");
  }
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    if (!(frequencies[i] > 0.0) || (i > 0 && !(frequencies[i] > frequencies[i - 1]))) {
      throw Error(name + ": row " + std::to_string(i + 1) + ": frequency " +
                  std::to_string(frequencies[i]) + " is not positive and ascending");
    }
    if (!(values[i] > 0.0) || !std::isfinite(values[i])) {
      throw Error(name + ": row " + std::to_string(i + 1) + ": value " + std::to_string(values[i]) +
                  " is not positive (log-log interpolation needs positive values)");
    }
  }
}

double PsdTable::Interpolate(double frequency) const {
  if (frequency < frequencies.front() || frequency > frequencies.back()) return 0.0;
  const auto upper = static_cast<std::size_t>(
      std::upper_bound(frequencies.begin(), frequencies.end(), frequency) - frequencies.begin());
  if (upper == frequencies.size()) return values.back();
  const std::size_t lower = upper - 1;
  const double slope =
      std::log(values[upper] / values[lower]) / std::log(frequencies[upper] / frequencies[lower]);
  return values[lower] * std::pow(frequency / frequencies[lower], slope);
}

double PsdTable::Area() const {
  double area = 0.0;
  for (std::size_t i = 0; i + 1 < frequencies.size(); ++i) {
    const double ratio = frequencies[i + 1] / frequencies[i];
    const double slope = std::log(values[i + 1] / values[i]) / std::log(ratio);
    // Integral of v_i (f / f_i)^slope from f_i to f_i+1; slope -1 is the logarithm.
    area += std::abs(slope + 1.0) < 1e-12
                ? values[i] * frequencies[i] * std::log(ratio)
                : values[i] * frequencies[i] / (slope + 1.0) * (std::pow(ratio, slope + 1.0) - 1.0);
  }
  return area;
}

std::vector<double> RmsOverBand(const std::vector<double>& frequencies,
                                const std::vector<double>& psd) {
  const std::size_t numFrequencies = frequencies.size();
  const std::size_t numOutputs = numFrequencies == 0 ? 0 : psd.size() / numFrequencies;
  std::vector<double> rms(numOutputs, 0.0);
  for (std::size_t i = 0; i + 1 < numFrequencies; ++i) {
    const double halfWidth = 0.5 * (frequencies[i + 1] - frequencies[i]);
    for (std::size_t o = 0; o < numOutputs; ++o) {
      rms[o] += halfWidth * (psd[i * numOutputs + o] + psd[(i + 1) * numOutputs + o]);
    }
  }
  for (double& value : rms) value = std::sqrt(value);
  return rms;
}

RandomResponse ComputeRandomResponse(const RandomProblem& problem) {
  using Complex = std::complex<double>;
  const auto numModes = static_cast<int>(problem.eigenvalues.size());
  const std::size_t squareSize = static_cast<std::size_t>(numModes) * numModes;
  const bool diagonal = problem.viscousMatrix.empty() && problem.structuralMatrix.empty();
  if (numModes == 0 || problem.outputShapes.size() % numModes != 0 ||
      (diagonal && problem.dampingRatios.size() != problem.eigenvalues.size()) ||
      (!problem.structuralDamping.empty() &&
       problem.structuralDamping.size() != problem.eigenvalues.size()) ||
      (!problem.viscousMatrix.empty() && problem.viscousMatrix.size() != squareSize) ||
      (!problem.structuralMatrix.empty() && problem.structuralMatrix.size() != squareSize)) {
    throw Error("random response: sizes of modes, damping and outputs disagree");
  }
  for (const RandomExcitation& excitation : problem.excitations) {
    excitation.psd.Check();
    if (excitation.modalBlock.size() != squareSize) {
      throw Error(excitation.psd.name + ": modal cross-spectrum is not modes x modes");
    }
  }
  const int numOutputs = static_cast<int>(problem.outputShapes.size()) / numModes;
  const std::size_t numFrequencies = problem.frequencies.size();

  RandomResponse response;
  response.displacementPsd.resize(numFrequencies * static_cast<std::size_t>(numOutputs));
  std::vector<Complex> loadSpectrum(squareSize);
  std::vector<Complex> responseT(static_cast<std::size_t>(numModes) * numOutputs);  // A^T
  std::vector<Complex> product(responseT.size());                                   // A S_Q
  std::vector<Complex> stiffnessT(diagonal ? 0 : squareSize);
  std::vector<int> pivots(static_cast<std::size_t>(numModes));
  const Complex one(1.0, 0.0);
  const Complex zero(0.0, 0.0);
  for (std::size_t i = 0; i < numFrequencies; ++i) {
    const double frequency = problem.frequencies[i];
    const double omega = 2.0 * std::numbers::pi * frequency;

    std::fill(loadSpectrum.begin(), loadSpectrum.end(), zero);
    for (const RandomExcitation& excitation : problem.excitations) {
      const double density = excitation.psd.Interpolate(frequency);
      if (density == 0.0) continue;
      const Complex* block = excitation.modalBlock.data();
      for (int l = 0; l < numModes; ++l) {
        for (int k = 0; k < numModes; ++k) {
          loadSpectrum[l * numModes + k] +=
              density * (block[l * numModes + k] + std::conj(block[k * numModes + l]));
        }
      }
    }

    // A^T (modes x outputs): column o holds output o's row of Phi_out H.
    for (int o = 0; o < numOutputs; ++o) {
      for (int k = 0; k < numModes; ++k) {
        responseT[o * numModes + k] = problem.outputShapes[k * numOutputs + o];
      }
    }
    if (diagonal) {
      for (int k = 0; k < numModes; ++k) {
        const double lambda = problem.eigenvalues[k];
        const double g = problem.structuralDamping.empty() ? 0.0 : problem.structuralDamping[k];
        const Complex stiffness(
            lambda - omega * omega,
            2.0 * problem.dampingRatios[k] * std::sqrt(lambda) * omega + g * lambda);
        if (stiffness == zero) {
          throw Error("random response: mode " + std::to_string(k + 1) +
                      " is undamped and resonant at " + std::to_string(frequency) + " Hz");
        }
        const Complex receptance = one / stiffness;
        for (int o = 0; o < numOutputs; ++o) responseT[o * numModes + k] *= receptance;
      }
    } else {
      // Z^T with Z = Lambda - w^2 I + i w C + i G; A^T = Z^-T Phi_out^T.
      for (int l = 0; l < numModes; ++l) {
        for (int k = 0; k < numModes; ++k) {
          const std::size_t at = static_cast<std::size_t>(k) * numModes + l;  // Z(k, l)
          const double c = problem.viscousMatrix.empty() ? 0.0 : problem.viscousMatrix[at];
          const double g = problem.structuralMatrix.empty() ? 0.0 : problem.structuralMatrix[at];
          stiffnessT[l * numModes + k] =
              Complex(k == l ? problem.eigenvalues[k] - omega * omega : 0.0, omega * c + g);
        }
      }
      int info = 0;
      zgesv_(&numModes, &numOutputs, stiffnessT.data(), &numModes, pivots.data(), responseT.data(),
             &numModes, &info);
      if (info != 0) {
        throw Error("random response: the modal dynamic stiffness is singular at " +
                    std::to_string(frequency) + " Hz (zgesv info " + std::to_string(info) + ")");
      }
    }

    // A S_Q (outputs x modes), then S_u(o) = Re sum_k (A S_Q)(o, k) conj(A(o, k)).
    cblas_zgemm(CblasColMajor, CblasTrans, CblasNoTrans, numOutputs, numModes, numModes, &one,
                responseT.data(), numModes, loadSpectrum.data(), numModes, &zero, product.data(),
                numOutputs);
    for (int o = 0; o < numOutputs; ++o) {
      double density = 0.0;
      for (int k = 0; k < numModes; ++k) {
        const Complex a = responseT[o * numModes + k];
        const Complex y = product[k * numOutputs + o];
        density += y.real() * a.real() + y.imag() * a.imag();
      }
      response.displacementPsd[i * numOutputs + o] = density;
    }
  }

  response.velocityPsd = response.displacementPsd;
  response.accelerationPsd = response.displacementPsd;
  for (std::size_t i = 0; i < numFrequencies; ++i) {
    const double omegaSquared = std::pow(2.0 * std::numbers::pi * problem.frequencies[i], 2);
    for (int o = 0; o < numOutputs; ++o) {
      response.velocityPsd[i * numOutputs + o] *= omegaSquared;
      response.accelerationPsd[i * numOutputs + o] *= omegaSquared * omegaSquared;
    }
  }
  response.displacementRms = RmsOverBand(problem.frequencies, response.displacementPsd);
  response.velocityRms = RmsOverBand(problem.frequencies, response.velocityPsd);
  response.accelerationRms = RmsOverBand(problem.frequencies, response.accelerationPsd);
  return response;
}

}  // namespace qvadyn
