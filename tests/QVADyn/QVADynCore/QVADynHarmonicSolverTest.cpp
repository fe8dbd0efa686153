// The harmonic solver's choice of method, and the diagonal method against the single-DOF
// receptance q = F / (lambda - omega^2 + i (omega c + s)) evaluated with std::complex.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynOperatorUpdate.h"
#include "QVADynEventTestSupport.h"
#include "QVADynTransientTestModel.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

using Complex = std::complex<double>;

// A modal system with the given eigenvalues: one node with one DOF per mode,
// identity mode shapes.
using ChosenSpectrum = QVATestTransientModel;

// One load case of the solve: a real and an imaginary modal force pattern,
// each scaled by its own amplitude-table row.
struct CaseLoad {
  std::vector<double> real;       // one value per mode, empty: none
  std::vector<double> imaginary;  // likewise
};

// The solver's inputs for every mode of `spectrum` (active list 0 ... n-1)
// and the solve itself; Amplitude(c, j, k) reads the output.
class DiagonalSolve {
 public:
  DiagonalSolve(const ChosenSpectrum& spectrum, std::vector<QVADynDiagonalDamping> records,
                std::vector<double> frequencies, const std::vector<CaseLoad>& cases)
      : records_(std::move(records)),
        frequencies_(std::move(frequencies)),
        modes_(spectrum.NumberOfModes()) {
    std::vector<int> activeModes(QVAIndex(modes_));
    for (int k = 0; k < modes_; ++k) activeModes[QVAIndex(k)] = k;
    const QVADynModalDamping damping(records_.empty() ? nullptr : records_.data(), modes_, nullptr,
                                     nullptr, nullptr);
    ops_ = std::make_unique<QVADynModalOperators>(spectrum.System(), nullptr);
    ops_->Build(modes_, activeModes.data(), damping);

    // Amplitude rows: 2c real part of case c, 2c + 1 imaginary part; the
    // amplitude of frame j is 1 + j / 4 (exact), so F(j) = pattern * (1 + j/4).
    const int frames = static_cast<int>(frequencies_.size());
    const int numberOfCases = static_cast<int>(cases.size());
    auto* table = new QVASrvMatrix(2 * numberOfCases, frames);
    for (int row = 0; row < 2 * numberOfCases; ++row) {
      for (int j = 0; j < frames; ++j) (*table)(row, j) = 1.0 + 0.25 * j;
    }
    loads_.AdoptAmplitudeTable(table);
    loads_.SetNumberOfActiveModes(modes_);
    for (int c = 0; c < numberOfCases; ++c) {
      const CaseLoad& load = cases[QVAIndex(c)];
      const int nReal = load.real.empty() ? 0 : 1;
      const int nImaginary = load.imaginary.empty() ? 0 : 1;
      auto* pattern = new QVASrvMatrix(modes_, nReal + nImaginary);
      for (int k = 0; k < modes_; ++k) {
        if (nReal == 1) (*pattern)(k, 0) = load.real[QVAIndex(k)];
        if (nImaginary == 1) (*pattern)(k, nReal) = load.imaginary[QVAIndex(k)];
      }
      const int realRow = 2 * c;
      const int imaginaryRow = 2 * c + 1;
      loads_.LoadCase(c).AdoptForce(
          new QVADynForce(pattern, &realRow, nReal, &imaginaryRow, nImaginary));
    }
    frames_.resize(frequencies_.size());
    for (std::size_t j = 0; j < frequencies_.size(); ++j) frames_[j].first = frequencies_[j];
    QVADynHarmonicSolver solver;
    QVADynEnergy energy(0, modes_, numberOfCases, frames);
    solver.Solve(solution_, *ops_, frames, frames_.data(), &energy, loads_, QVADynLogFile());
  }

  Complex Amplitude(int c, int j, int k) const {
    const std::size_t partSize = QVAIndex(modes_) * frequencies_.size();
    const double* block = solution_.Displacement() + 2 * partSize * QVAIndex(c);
    const std::size_t at = QVAIndex(j) * modes_ + k;
    return {block[at], block[partSize + at]};
  }

  const QVADynSolution& Solution() const { return solution_; }

 private:
  std::vector<QVADynDiagonalDamping> records_;
  std::vector<double> frequencies_;
  int modes_;
  std::unique_ptr<QVADynModalOperators> ops_;
  QVADynLoadCaseList loads_;
  std::vector<QVADynFrameValue> frames_;
  QVADynSolution solution_;
};

// The complex force of case `load` on mode k at frame j (see DiagonalSolve).
Complex Force(const CaseLoad& load, int k, int j) {
  const double scale = 1.0 + 0.25 * j;
  const double real = load.real.empty() ? 0.0 : load.real[QVAIndex(k)] * scale;
  const double imaginary = load.imaginary.empty() ? 0.0 : load.imaginary[QVAIndex(k)] * scale;
  return {real, imaginary};
}

// Closed-form receptance at f cycles per unit time: c = 2 xi sqrt(lambda) + alpha + beta lambda,
// s = structural factor * lambda.
Complex Receptance(double lambda, const QVADynDiagonalDamping& record, double f) {
  const double omega = kQVATwoPi * f;
  const double viscous = 2.0 * record.criticalFraction * std::sqrt(lambda) + record.massFactor +
                         record.stiffnessFactor * lambda;
  const double hysteretic = record.structural * lambda;
  return 1.0 / Complex(lambda - omega * omega, omega * viscous + hysteretic);
}

// Expects |Re, Im (actual - expected)| <= tolerance.
void ExpectComplexNear(Complex actual, Complex expected, double tolerance, const std::string& at) {
  EXPECT_NEAR(actual.real(), expected.real(), tolerance) << at;
  EXPECT_NEAR(actual.imag(), expected.imag(), tolerance) << at;
}

// Every amplitude against receptance times force: a few roundings each in the damping, H and
// the product, whose parts may cancel, so 32 eps of |H| |F|.
void ExpectReceptanceTimesForce(const DiagonalSolve& solve, const std::vector<double>& eigenvalues,
                                const std::vector<QVADynDiagonalDamping>& records,
                                const std::vector<double>& frequencies,
                                const std::vector<CaseLoad>& cases) {
  for (std::size_t c = 0; c < cases.size(); ++c) {
    for (std::size_t j = 0; j < frequencies.size(); ++j) {
      for (std::size_t k = 0; k < eigenvalues.size(); ++k) {
        const Complex receptance = Receptance(eigenvalues[k], records[k], frequencies[j]);
        const Complex force = Force(cases[c], static_cast<int>(k), static_cast<int>(j));
        ExpectComplexNear(
            solve.Amplitude(static_cast<int>(c), static_cast<int>(j), static_cast<int>(k)),
            receptance * force, 32 * kQVAEps * std::abs(receptance) * std::abs(force),
            "case " + std::to_string(c) + " frame " + std::to_string(j) + " mode " +
                std::to_string(k));
      }
    }
  }
}

TEST(HarmonicSolverTest, ViscousAndHystereticModesFollowTheSingleDofReceptance) {
  // Five modes: one group of four and a scalar tail; frequencies below,
  // near and above the modes.
  const std::vector<double> eigenvalues = {100.0, 400.0, 900.0, 2500.0, 4900.0};
  const std::vector<QVADynDiagonalDamping> records = {{0.0, 0.02, 0.0, 0.0},
                                                      {0.03, 0.0, 0.0, 0.0},
                                                      {0.01, 0.05, 0.0, 0.0},
                                                      {0.0, 0.0, 0.5, 0.0001},
                                                      {0.02, 0.01, 0.0, 0.0}};
  const std::vector<double> frequencies = {0.0, 1.59, 3.2, 4.77, 8.0, 11.14, 25.0};
  const std::vector<CaseLoad> cases = {{{1.0, -2.0, 0.5, 3.0, -1.0}, {}},
                                       {{0.2, 0.0, -1.0, 1.0, 2.0}, {1.5, -0.5, 0.0, 2.0, -3.0}}};
  const ChosenSpectrum spectrum(eigenvalues);
  const DiagonalSolve solve(spectrum, records, frequencies, cases);
  ExpectReceptanceTimesForce(solve, eigenvalues, records, frequencies, cases);
  EXPECT_EQ(solve.Solution().Velocity(), nullptr);
  EXPECT_EQ(solve.Solution().Acceleration(), nullptr);

  // 3,000 frames of 3 modes: more frames than one block of receptances holds.
  const std::vector<double> three = {400.0, 1600.0, 3600.0};
  const std::vector<QVADynDiagonalDamping> damped(3, QVADynDiagonalDamping{0.0, 0.03, 0.0, 0.0});
  std::vector<double> sweep(3000);
  for (std::size_t j = 0; j < sweep.size(); ++j) sweep[j] = 0.004 * static_cast<double>(j);
  const std::vector<CaseLoad> load = {{{1.0, 2.0, -1.0}, {0.5, 0.0, 1.0}}};
  const ChosenSpectrum threeModes(three);
  ExpectReceptanceTimesForce(DiagonalSolve(threeModes, damped, sweep, load), three, damped, sweep,
                             load);
}

TEST(HarmonicSolverTest, RigidBodyModeIsAtRestAtZeroFrequencyAndFollowsMinusFOverOmegaSquared) {
  const ChosenSpectrum spectrum({0.0, 50.0});
  // omega below the 2.22e-16 threshold (at rest), just above it (|lambda - omega^2| still below:
  // the resonance stand-in), and 1.885, where H = -1 / omega^2.
  const std::vector<double> frequencies = {0.0, 1.0e-17, 3.5335e-17, 0.3};
  const std::vector<CaseLoad> cases = {{{2.0, 1.0}, {-1.0, 0.0}}};
  const DiagonalSolve solve(spectrum, {}, frequencies, cases);
  EXPECT_EQ(solve.Amplitude(0, 0, 0), Complex(0.0, 0.0));
  EXPECT_EQ(solve.Amplitude(0, 1, 0), Complex(0.0, 0.0));
  const Complex tiny = Force(cases[0], 0, 2);
  EXPECT_EQ(solve.Amplitude(0, 2, 0), Complex(-1.0e36 * tiny.real(), -1.0e36 * tiny.imag()));
  const double omega = kQVATwoPi * frequencies[3];
  const Complex force = Force(cases[0], 0, 3);
  // H = 1 / (0 - omega^2) rounded once, times each part of F: within an ulp
  // or two of -F / omega^2.
  const Complex expected = -force / (omega * omega);
  ExpectComplexNear(solve.Amplitude(0, 3, 0), expected, 4 * kQVAEps * std::abs(expected),
                    "f = 0.3");
  // The flexible mode at f = 0 is F / lambda (exact division by 50 of 2 and -1).
  EXPECT_EQ(solve.Amplitude(0, 0, 1), Complex(1.0 / 50.0, 0.0));
}

TEST(HarmonicSolverTest, SpecialModesGiveTheSameValuesInAGroupOfFourAndInTheTail) {
  // Modes 4 and 5 (in the scalar tail) repeat modes 0 and 1 (in the group of four).
  const double omega = kQVATwoPi * 1.0;
  const double lambda = omega * omega;
  const ChosenSpectrum spectrum({0.0, lambda, 400.0, 50.0, 0.0, lambda});
  const std::vector<QVADynDiagonalDamping> records = {{}, {}, {0.05, 0.0, 0.0, 0.0}, {}, {}, {}};
  const std::vector<CaseLoad> cases = {
      {{1.0, 2.0, 3.0, 4.0, 1.0, 2.0}, {0.5, -1.0, 0.0, 2.0, 0.5, -1.0}}};
  const DiagonalSolve solve(spectrum, records, {0.0, 1.0e-17, 1.0}, cases);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(solve.Amplitude(0, j, 4), solve.Amplitude(0, j, 0)) << j;
    EXPECT_EQ(solve.Amplitude(0, j, 5), solve.Amplitude(0, j, 1)) << j;
  }
  const Complex resonantForce = Force(cases[0], 1, 2);
  EXPECT_EQ(solve.Amplitude(0, 2, 1),
            Complex(-1.0e36 * resonantForce.real(), -1.0e36 * resonantForce.imag()));
  // Structural damping alone, s = 0.05 * 400 = 20, responds at f = 0 too:
  // H = (lambda - i s) / (lambda^2 + s^2). As in the sweeps: 32 eps of |H| |F|.
  const Complex atRest =
      Complex(400.0, -20.0) / (400.0 * 400.0 + 20.0 * 20.0) * Force(cases[0], 2, 0);
  ExpectComplexNear(solve.Amplitude(0, 0, 2), atRest, 32 * kQVAEps * std::abs(atRest), "s, f = 0");
  const Complex atOne = Receptance(400.0, records[2], 1.0) * Force(cases[0], 2, 2);
  ExpectComplexNear(solve.Amplitude(0, 2, 2), atOne, 32 * kQVAEps * std::abs(atOne), "s, f = 1");
}

// Four modes on 6 nodes, the last acoustic (on the last two nodes).
QVATestModalBasisOptions AcousticOptions(bool coupling) {
  return {.acousticNodes = 2,
          .numberOfModes = 4,
          .numberOfAcousticModes = 1,
          .acousticCoupling = coupling};
}

TEST(HarmonicSolverTest, MethodFollowsCouplingDampingStorageAndUpdates) {
  QVATestModalBasis basis({.numberOfModes = 4, .viscousDamping = true});
  auto modal = basis.Open();
  const std::vector<int> modes = {0, 1, 2, 3};
  using Method = QVADynHarmonicSolver::Method;

  const QVADynModalDamping diagonal(nullptr, 4, nullptr, nullptr, nullptr);
  QVADynModalOperators plain(*modal, nullptr);
  plain.Build(4, modes.data(), diagonal);
  EXPECT_EQ(QVADynHarmonicSolver::MethodFor(plain), Method::kDiagonal);

  for (QVADynDomainType domain : {QVADynAllDomains, QVADynAcousticDomain, QVADynStructuralDomain}) {
    QVADynOperatorUpdate update(nullptr, false, false, 0.0, nullptr, nullptr, domain);
    QVADynModalOperators updated(*modal, &update);
    updated.Build(4, modes.data(), diagonal);
    // Every update applies at least through the all-domains code 0.
    EXPECT_EQ(QVADynHarmonicSolver::MethodFor(updated), Method::kNonDiagonal) << domain;
  }

  QVATestModalBasis coupledBasis(AcousticOptions(true));
  auto coupledModal = coupledBasis.Open();
  QVADynModalOperators coupled(*coupledModal, nullptr);
  coupled.Build(4, modes.data(), diagonal);
  EXPECT_EQ(QVADynHarmonicSolver::MethodFor(coupled), Method::kCoupledAcoustic);

  const QVADynModalOperators unbuilt(*modal, nullptr);
  ExpectPlatformError([&] { QVADynHarmonicSolver::MethodFor(unbuilt); }, kQVASrvInvalidState,
                      {"not built"});
}

TEST(HarmonicSolverTest, AcousticModesWithoutCouplingAreRefusedByTheDiagonalMethod) {
  QVATestModalBasis basis(AcousticOptions(false));
  auto modal = basis.Open();
  const std::vector<int> modes = {0, 1, 2, 3};
  const QVADynModalDamping damping(nullptr, 4, nullptr, nullptr, nullptr);
  QVADynModalOperators ops(*modal, nullptr);
  ops.Build(4, modes.data(), damping);
  QVADynLoadCaseList loads;
  loads.SetNumberOfActiveModes(4);
  loads.LoadCase(0);
  const QVADynFrameValue frame{1.0, 0.0, 0.0};
  QVADynEnergy energy(0, 4, 1, 1);
  QVADynSolution solution;
  QVADynHarmonicSolver solver;
  ExpectPlatformError(
      [&] { solver.Solve(solution, ops, 1, &frame, &energy, loads, QVADynLogFile()); },
      kQVASrvInvalidState, {"3 rows", "acoustic coupling matrix"});
  EXPECT_EQ(solution.Displacement(), nullptr);

  QVADynLoadCaseList otherLoads;
  otherLoads.SetNumberOfActiveModes(3);
  ExpectPlatformError(
      [&] { solver.Solve(solution, ops, 1, &frame, &energy, otherLoads, QVADynLogFile()); },
      kQVASrvSizeMismatch, {"forces of 3 modes, the operators have 4"});
}

}  // namespace
