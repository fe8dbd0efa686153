// Random response: PSD tables, the base-excited SDOF under white noise against
// its closed form, and a small basis against a dense numpy evaluation of
// Phi H S H^H Phi^T (non-diagonal and modal damping).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>

#include "Error.h"
#include "RandomAnalysis.h"

namespace {

constexpr double kPi = std::numbers::pi;

TEST(RandomAnalysis, PsdTablesAreLogLog) {
  // The NAVMAT P-9492 screening profile [g^2/Hz]: 6.06 g rms as published.
  const qvadyn::PsdTable navmat{{20, 80, 350, 2000}, {0.01, 0.04, 0.04, 0.007}, "navmat"};
  navmat.Check();
  EXPECT_NEAR(std::sqrt(navmat.Area()), 6.06, 0.005);  // published to three digits
  // Slope +1 between 20 and 80 Hz; zero outside the table; round-off only.
  EXPECT_NEAR(navmat.Interpolate(40.0), 0.02, 1e-15);
  EXPECT_EQ(navmat.Interpolate(10.0), 0.0);
  EXPECT_EQ(navmat.Interpolate(2500.0), 0.0);
  const qvadyn::PsdTable bad{{20, 80}, {0.01, 0.0}, "job.toml:31:1: psd"};
  try {
    bad.Check();
    ADD_FAILURE() << "no error";
  } catch (const qvadyn::Error& error) {
    EXPECT_STREQ(error.what(),
                 "job.toml:31:1: psd: row 2: value 0.000000 is not positive (log-log "
                 "interpolation needs positive values)");
  }
}

TEST(RandomAnalysis, BaseExcitedSdofUnderWhiteNoise) {
  // Unit modal mass, participation 1: modal load -a_b, cross-spectrum S, so the
  // event's block (diagonal halved) is S / 2.
  const double f0 = 50.0;
  const double q = 10.0;
  const double s = 0.04;  // one-sided base acceleration PSD
  qvadyn::RandomProblem problem;
  problem.eigenvalues = {std::pow(2 * kPi * f0, 2)};
  problem.dampingRatios = {1.0 / (2 * q)};
  problem.outputShapes = {1.0};
  problem.excitations.push_back({{{1e-3 * f0, 1e3 * f0}, {s, s}, "white"}, {0.5}, {}});
  const int numPoints = 20000;  // log-spaced: ~140 points across the half-power band
  for (int i = 0; i < numPoints; ++i) {
    problem.frequencies.push_back(1e-3 * f0 * std::pow(1e6, i / (numPoints - 1.0)));
  }
  const auto response = qvadyn::ComputeRandomResponse(problem);
  // omega0^2 times the relative displacement is the pseudo-acceleration, whose
  // rms is sqrt(pi f0 Q S / 2) exactly over 0..inf; the band misses ~3e-5 of it
  // below f0/1000 and the trapezoidal rule errs by ~1e-6 on this grid.
  EXPECT_NEAR(
      problem.eigenvalues[0] * response.displacementRms[0] / std::sqrt(kPi * f0 * q * s / 2), 1.0,
      1e-4);
  // Velocity and acceleration PSDs are w^2 and w^4 times the displacement's.
  const double w = 2 * kPi * problem.frequencies[1234];
  EXPECT_NEAR(response.accelerationPsd[1234] / (std::pow(w, 4) * response.displacementPsd[1234]),
              1.0, 1e-14);
}

std::string RunNumpy(const std::string& input) {
  const std::string command =
      std::string(QVA_PYTHON) + " " + QVA_REFERENCE_SCRIPT + " <<'EOF'\n" + input + "\nEOF\n";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  char buffer[4096];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
  return output;
}

std::string Json(const std::vector<double>& values) {
  std::ostringstream text;
  text.precision(17);
  text << "[";
  for (std::size_t i = 0; i < values.size(); ++i) text << (i ? ", " : "") << values[i];
  text << "]";
  return text.str();
}

TEST(RandomAnalysis, SmallBasisMatchesDenseNumpy) {
  // 4 modes, 3 outputs, two excitations with complex blocks and different PSDs.
  const int m = 4;
  qvadyn::RandomProblem problem;
  problem.eigenvalues = {400.0, 2500.0, 3600.0, 10000.0};
  problem.outputShapes = {0.3, -0.5, 0.9, 1.1, 0.2, -0.4, -0.7, 0.6, 0.8, 0.25, -0.3, 0.45};
  problem.frequencies = {2.0, 3.1, 7.9, 9.6, 15.0};
  for (int c = 0; c < 2; ++c) {
    qvadyn::RandomExcitation excitation{{{1.0, 20.0}, {1.0 + c, 0.5}, "psd"}, {}, {}};
    // B = L L^H / 2 + X - X^H for complex L and X: not Hermitian, while B + B^H
    // = L L^H is a valid (positive semi-definite) cross-spectral matrix.
    excitation.modalBlock.assign(m * m, 0.0);
    for (int k = 0; k < m; ++k) {
      for (int l = 0; l < m; ++l) {
        for (int j = 0; j < m; ++j) {
          const std::complex<double> lk(std::sin(1.0 + k + 4 * j + 3 * c), std::cos(2.0 * k - j));
          const std::complex<double> ll(std::sin(1.0 + l + 4 * j + 3 * c), std::cos(2.0 * l - j));
          excitation.modalBlock[l * m + k] += 0.5 * lk * std::conj(ll);
        }
        excitation.modalBlock[l * m + k] += std::complex<double>(std::cos(k + 2.0 * l), k - l) -
                                            std::complex<double>(std::cos(l + 2.0 * k), k - l);
      }
    }
    problem.excitations.push_back(excitation);
  }
  problem.viscousMatrix.assign(m * m, 0.0);
  problem.structuralMatrix.assign(m * m, 0.0);
  for (int k = 0; k < m; ++k) {
    for (int l = 0; l < m; ++l) {
      problem.viscousMatrix[k * m + l] = k == l ? 1.0 + k : 0.3 / (1 + k + l);
      problem.structuralMatrix[k * m + l] = k == l ? 20.0 : 5.0 / (1 + k + l);
    }
  }
  const std::vector<double> viscous = problem.viscousMatrix;
  const std::vector<double> structural = problem.structuralMatrix;
  // Second case: modal damping, the same as a diagonal viscous matrix 2 zeta w.
  std::vector<double> modalViscous(m * m, 0.0);
  std::vector<double> zeta = {0.02, 0.05, 0.01, 0.03};
  for (int k = 0; k < m; ++k)
    modalViscous[k * m + k] = 2 * zeta[k] * std::sqrt(problem.eigenvalues[k]);

  for (const bool modal : {false, true}) {
    SCOPED_TRACE(modal ? "modal damping" : "projected matrices");
    if (modal) {
      problem.viscousMatrix.clear();
      problem.structuralMatrix.clear();
      problem.dampingRatios = zeta;
    }
    const auto response = qvadyn::ComputeRandomResponse(problem);
    std::ostringstream input;
    input << "{\"eigenvalues\": " << Json(problem.eigenvalues)
          << ", \"viscous\": " << Json(modal ? modalViscous : viscous)
          << ", \"structural\": " << Json(modal ? std::vector<double>(m * m, 0.0) : structural)
          << ", \"shapes\": " << Json(problem.outputShapes)
          << ", \"frequencies\": " << Json(problem.frequencies) << ", \"blocks\": [";
    for (int c = 0; c < 2; ++c) {
      std::vector<double> interleaved;
      for (const auto& value : problem.excitations[c].modalBlock) {
        interleaved.push_back(value.real());
        interleaved.push_back(value.imag());
      }
      input << (c ? ", " : "") << Json(interleaved);
    }
    input << "], \"densities\": [";
    for (std::size_t i = 0; i < problem.frequencies.size(); ++i) {
      input << (i ? ", " : "")
            << Json({problem.excitations[0].psd.Interpolate(problem.frequencies[i]),
                     problem.excitations[1].psd.Interpolate(problem.frequencies[i])});
    }
    input << "]}";
    const std::string output = RunNumpy(input.str());
    ASSERT_FALSE(output.empty()) << "numpy reference did not run";
    std::vector<double> expected;
    for (char& c : const_cast<std::string&>(output)) {
      if (c == '[' || c == ']' || c == ',') c = ' ';
    }
    std::istringstream values(output);
    for (double value; values >> value;) expected.push_back(value);
    ASSERT_EQ(expected.size(), response.displacementPsd.size());
    double largest = 0.0;
    for (const double value : expected) largest = std::max(largest, std::abs(value));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      // Two LU solves of a well-conditioned 4 x 4 system: round-off of the largest entry.
      EXPECT_NEAR(response.displacementPsd[i], expected[i], 1e-12 * largest) << "entry " << i;
    }
  }
}

}  // namespace
