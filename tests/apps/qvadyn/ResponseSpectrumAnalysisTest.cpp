// Response-spectrum math: interpolation of the design spectrum, one mode
// against Gamma Sa / omega^2 by hand, the modal and directional combinations.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Error.h"
#include "ResponseSpectrumAnalysis.h"

namespace {

using qvadyn::DirectionCombination;
using qvadyn::ModalCombination;

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Sums of a few products: round-off only.
constexpr double kRoundOff = 1e-13;

qvadyn::DesignSpectrum Flat(double acceleration) { return {{1.0}, {0.05}, {acceleration}, "flat"}; }

// Modes at `frequencies` [Hz], damping zeta, participation 1 in x, unit shapes
// at one output.
qvadyn::SpectrumProblem TwoModes(double f1, double f2, double zeta, ModalCombination rule) {
  qvadyn::SpectrumProblem problem;
  problem.eigenvalues = {std::pow(kTwoPi * f1, 2), std::pow(kTwoPi * f2, 2)};
  problem.dampingRatios = {zeta, zeta};
  problem.participation = {1.0, 0, 0, 0, 0, 0, 1.0, 0, 0, 0, 0, 0};
  problem.directions = {0};
  problem.spectra = {Flat(9.81)};
  problem.outputShapes = {1.0, 1.0};
  problem.modalRule = rule;
  return problem;
}

TEST(ResponseSpectrum, InterpolatesLogLogInFrequencyLinearInDamping) {
  const qvadyn::DesignSpectrum spectrum{
      {1.0, 10.0, 100.0}, {0.02, 0.05}, {1.0, 0.5, 4.0, 2.0, 2.0, 1.0}, "table"};
  spectrum.Check();
  struct Case {
    double frequency, zeta, expected;
  };
  const Case cases[] = {
      {10.0, 0.02, 4.0},              // a table point
      {std::sqrt(10.0), 0.02, 2.0},   // geometric middle: geometric mean of 1 and 4
      {std::sqrt(10.0), 0.035, 1.5},  // and halfway between 2 and 1 in damping
      {0.1, 0.0, 1.0},                // below both ranges: the first value
      {1000.0, 0.2, 1.0},             // above both ranges: the last value
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(spectrum.Interpolate(c.frequency, c.zeta), c.expected, kRoundOff * c.expected)
        << c.frequency << " Hz, zeta " << c.zeta;
  }
  const qvadyn::DesignSpectrum descending{{10.0, 1.0}, {0.05}, {1.0, 1.0}, "job.toml: x"};
  EXPECT_THROW(descending.Check(), qvadyn::Error);
}

TEST(ResponseSpectrum, OneModeIsGammaSaOverOmegaSquared) {
  qvadyn::SpectrumProblem problem;
  const double omega = kTwoPi * 5.0;
  problem.eigenvalues = {omega * omega};
  problem.dampingRatios = {0.05};
  problem.participation = {0.0, 2.5, 0.0, 0.0, 0.0, 0.0};
  problem.directions = {1};
  problem.spectra = {Flat(3.0)};
  problem.outputShapes = {0.7, -0.2};
  for (const auto rule :
       {ModalCombination::kSrss, ModalCombination::kCqc, ModalCombination::kAbsoluteSum}) {
    problem.modalRule = rule;
    const auto response = qvadyn::ComputeSpectrumResponse(problem);
    const double q = 2.5 * 3.0 / (omega * omega);
    EXPECT_NEAR(response.modalPeak[0], q, kRoundOff * q);
    for (int o = 0; o < 2; ++o) {
      const double u = std::abs(problem.outputShapes[o]) * q;
      EXPECT_NEAR(response.displacement[o], u, kRoundOff * u);
      EXPECT_NEAR(response.velocity[o], omega * u, kRoundOff * omega * u);
      EXPECT_NEAR(response.acceleration[o], omega * omega * u, kRoundOff * omega * omega * u);
    }
  }
}

TEST(ResponseSpectrum, CqcEqualsSrssForSeparatedModes) {
  // 1 Hz and 1000 Hz at 2 %: rho ~ 1e-7, far below the 1e-6 asked.
  const auto srss =
      qvadyn::ComputeSpectrumResponse(TwoModes(1, 1000, 0.02, ModalCombination::kSrss));
  const auto cqc = qvadyn::ComputeSpectrumResponse(TwoModes(1, 1000, 0.02, ModalCombination::kCqc));
  EXPECT_NEAR(cqc.displacement[0] / srss.displacement[0], 1.0, 1e-6);
  EXPECT_NEAR(cqc.acceleration[0] / srss.acceleration[0], 1.0, 1e-6);
}

TEST(ResponseSpectrum, CqcCorrelatesCloseModes) {
  const double f1 = 10.0;
  const double f2 = 10.5;
  const double zeta = 0.05;
  const double r = f2 / f1;
  // Der Kiureghian's coefficient for equal damping ratios.
  const double rho = 8 * zeta * zeta * (1 + r) * std::pow(r, 1.5) /
                     (std::pow(1 - r * r, 2) + 4 * zeta * zeta * r * std::pow(1 + r, 2));
  EXPECT_NEAR(qvadyn::CqcCoefficient(kTwoPi * f1, kTwoPi * f2, zeta, zeta), rho, kRoundOff);
  EXPECT_NEAR(qvadyn::CqcCoefficient(3.0, 3.0, 0.02, 0.02), 1.0, kRoundOff);
  const auto cqc = qvadyn::ComputeSpectrumResponse(TwoModes(f1, f2, zeta, ModalCombination::kCqc));
  const double u1 = 9.81 / std::pow(kTwoPi * f1, 2);
  const double u2 = 9.81 / std::pow(kTwoPi * f2, 2);
  const double expected = std::sqrt(u1 * u1 + u2 * u2 + 2 * rho * u1 * u2);
  EXPECT_NEAR(cqc.displacement[0], expected, kRoundOff * expected);
  auto absolute = TwoModes(f1, f2, zeta, ModalCombination::kAbsoluteSum);
  absolute.outputShapes = {1.0, -1.0};
  EXPECT_NEAR(qvadyn::ComputeSpectrumResponse(absolute).displacement[0], u1 + u2,
              kRoundOff * (u1 + u2));
}

TEST(ResponseSpectrum, CombinesDirections) {
  // One mode excited in x, y, z with participation 1, 2, 3: R_d = 1, 2, 3 (scaled).
  qvadyn::SpectrumProblem problem;
  problem.eigenvalues = {1.0};
  problem.dampingRatios = {0.05};
  problem.participation = {1.0, 2.0, 3.0, 0.0, 0.0, 0.0};
  problem.directions = {0, 1, 2};
  problem.spectra = {Flat(1.0), Flat(1.0), Flat(1.0)};
  problem.outputShapes = {1.0};
  problem.directionRule = DirectionCombination::kSrss;
  EXPECT_NEAR(qvadyn::ComputeSpectrumResponse(problem).displacement[0], std::sqrt(14.0), kRoundOff);
  problem.directionRule = DirectionCombination::kPercent100_40_40;
  EXPECT_NEAR(qvadyn::ComputeSpectrumResponse(problem).displacement[0], 3.0 + 0.4 * 3.0, kRoundOff);
}

TEST(ResponseSpectrum, RefusesRigidBodyModes) {
  auto problem = TwoModes(1, 2, 0.02, ModalCombination::kSrss);
  problem.eigenvalues[1] = 0.0;
  try {
    qvadyn::ComputeSpectrumResponse(problem);
    ADD_FAILURE() << "no error";
  } catch (const qvadyn::Error& error) {
    EXPECT_STREQ(error.what(),
                 "response spectrum: mode 2 has eigenvalue 0.000000; a spectrum needs modes of "
                 "positive frequency (remove rigid-body modes)");
  }
}

}  // namespace
