// The harmonic event end to end: read-backs, recovered displacement against Phi times the
// receptance amplitudes, reaction forces, logs and read-back limits.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "platform/modeldb/QVASimDistribution.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

using Complex = std::complex<double>;

// An event over modes {4, 1, 7, 0, 9} of a 12-mode basis with per-mode damping, frequencies
// 0, 1, 2.5 and 4, a real (case 0) and a complex load (case 1) scaled by 1 + frame / 2.
class HarmonicEventTest : public ::testing::Test {
 protected:
  static constexpr int kModes = 5;
  static constexpr int kFrames = 4;

  HarmonicEventTest() {
    QVATestModalBasisOptions options{.rowBlockSize = 4};
    basis_ = std::make_unique<QVATestModalBasis>(options);
  }

  void Build(QVADynLogFile& log) {
    modal_ = basis_->Open(log);
    results_ = basis_->Database().CreateModalEventResults(basis_->ModalObject());
    event_ = std::make_unique<QVADynHarmonicEvent>(*modal_, new QVADynHarmonicSolver, results_);
    event_->SetActiveModes(kModes, modes_.data());
    std::vector<QVADynFrameValue> frames(kFrames);
    for (int j = 0; j < kFrames; ++j) {
      frames[QVAIndex(j)].first = frequencies_[QVAIndex(j)];
    }
    event_->SetFrameValues(kFrames, frames.data());
    event_->SetDiagonalDamping(kModes, records_.data());
    auto* table = new QVASrvMatrix(1, kFrames);
    for (int j = 0; j < kFrames; ++j) (*table)(0, j) = 1.0 + 0.5 * j;
    event_->AdoptAmplitudeTable(table);
    const int row = 0;
    for (int c = 0; c < 2; ++c) {
      const int columns = c == 0 ? 1 : 2;
      auto* pattern = new QVASrvMatrix(kModes, columns);
      for (int k = 0; k < kModes; ++k) {
        (*pattern)(k, 0) = patterns_[QVAIndex(c)][QVAIndex(k)].real();
        if (columns == 2) {
          (*pattern)(k, 1) = patterns_[QVAIndex(c)][QVAIndex(k)].imag();
        }
      }
      event_->LoadCase(c).AdoptForce(new QVADynForce(pattern, &row, 1, &row, columns - 1));
    }
  }

  void Build() { Build(basis_->Log()); }

  Complex Force(int c, int k, int j) const {
    return patterns_[QVAIndex(c)][QVAIndex(k)] * (1.0 + 0.5 * j);
  }

  // Closed-form receptance of active mode k at frame j.
  Complex Receptance(int k, int j) const {
    const double lambda = basis_->Eigenvalues()[QVAIndex(modes_[QVAIndex(k)])];
    const QVADynDiagonalDamping& record = records_[QVAIndex(k)];
    const double omega = kQVATwoPi * frequencies_[QVAIndex(j)];
    const double viscous = 2.0 * record.criticalFraction * std::sqrt(lambda);
    return 1.0 / Complex(lambda - omega * omega, omega * viscous + record.structural * lambda);
  }

  Complex ExpectedAmplitude(int c, int k, int j) const { return Receptance(k, j) * Force(c, k, j); }

  std::vector<double> ReadModal(QVADynRecoveryType type, QVADynNumberType part, int j, int c) {
    std::vector<double> out(kModes, -1.0);
    event_->GetModalAmplitudes(type, part, j, c, out.data());
    return out;
  }

  const std::vector<int> modes_ = {4, 1, 7, 0, 9};
  const std::vector<double> frequencies_ = {0.0, 1.0, 2.5, 4.0};
  const std::vector<QVADynDiagonalDamping> records_ = {{0.0, 0.02, 0.0, 0.0},
                                                       {0.04, 0.0, 0.0, 0.0},
                                                       {0.01, 0.03, 0.0, 0.0},
                                                       {0.0, 0.05, 0.0, 0.0},
                                                       {0.02, 0.0, 0.0, 0.0}};
  const std::vector<std::vector<Complex>> patterns_ = {
      {{1.0, 0.0}, {-2.0, 0.0}, {0.5, 0.0}, {3.0, 0.0}, {-1.0, 0.0}},
      {{0.0, 1.0}, {2.0, -1.0}, {-1.0, 0.5}, {0.0, 0.0}, {1.5, 2.5}}};
  std::unique_ptr<QVATestModalBasis> basis_;
  std::unique_ptr<QVADynModalSystem> modal_;
  QVAFsmModalEventResults results_;
  std::unique_ptr<QVADynHarmonicEvent> event_;
};

// The solver's amplitudes are checked against the receptance there; here the read-backs of
// velocity i omega q and acceleration -omega^2 q against the stored displacement q.
TEST_F(HarmonicEventTest, VelocityAndAccelerationReadBacksScaleTheDisplacement) {
  Build();
  EXPECT_EQ(event_->EventType(), 0);
  event_->Solve(nullptr);
  QVASimDMember slice(results_.ComplexNumberPart(), 4);
  slice.Add(results_.CasesCollection(), QVASimCSet(results_.Cases())[0]);
  EXPECT_EQ(QVASimDistribution(results_.GU(), slice).CacheSize(), kModes * kFrames * 24);
  const QVADynRecoveryType types[3] = {QVADynRecoverDisplacement, QVADynRecoverVelocity,
                                       QVADynRecoverAcceleration};
  for (int c = 0; c < 2; ++c) {
    for (int j = 0; j < kFrames; ++j) {
      const double omega = kQVATwoPi * frequencies_[QVAIndex(j)];
      const Complex factors[3] = {1.0, Complex(0.0, omega), -omega * omega};
      const std::vector<double> qReal = ReadModal(types[0], QVADynRealPart, j, c);
      const std::vector<double> qImaginary = ReadModal(types[0], QVADynImaginaryPart, j, c);
      for (int q = 1; q < 3; ++q) {
        const std::vector<double> real = ReadModal(types[q], QVADynRealPart, j, c);
        const std::vector<double> imaginary = ReadModal(types[q], QVADynImaginaryPart, j, c);
        for (std::size_t k = 0; k < kModes; ++k) {
          const Complex expected = factors[q] * Complex(qReal[k], qImaginary[k]);
          // One product with a rounded omega (omega^2): a few eps of |factor| |q|.
          const double tolerance = 4 * kQVAEps * std::abs(expected);
          EXPECT_NEAR(real[k], expected.real(), tolerance) << q << c << j << k;
          EXPECT_NEAR(imaginary[k], expected.imag(), tolerance) << q << c << j << k;
        }
      }
    }
  }
  // A reaction-force type reads the displacement.
  EXPECT_EQ(ReadModal(QVADynRecoverReactionForce, QVADynRealPart, 2, 1),
            ReadModal(QVADynRecoverDisplacement, QVADynRealPart, 2, 1));
}

TEST_F(HarmonicEventTest, RecoveredDisplacementIsPhiTimesTheReceptanceAmplitudes) {
  Build();
  event_->Solve(nullptr);
  const bool nodes[] = {true, false, true, true, false, true};
  event_->Recover(nodes, 4);  // the quantities are not read
  const QVAFsmSystemDofDefinition& dofs = basis_->Dofs();
  const std::vector<int> rows = SolverDofsOf(dofs, nodes);
  const int width = dofs.NumberOfNodes() * dofs.MaxNodalDof();
  for (int c = 0; c < 2; ++c) {
    const RecoveryReference real =
        ReferenceRecovery(*basis_, rows, modes_.data(), kModes, kFrames,
                          [&](int k, int j) { return ExpectedAmplitude(c, k, j).real(); });
    const RecoveryReference imaginary =
        ReferenceRecovery(*basis_, rows, modes_.data(), kModes, kFrames,
                          [&](int k, int j) { return ExpectedAmplitude(c, k, j).imag(); });
    for (int j = 0; j < kFrames; ++j) {
      for (QVADynRecoveryType type :
           {QVADynRecoverDisplacement, QVADynRecoverVelocity, QVADynRecoverAcceleration}) {
        std::vector<double> outReal(QVAIndex(width), 0.0);
        std::vector<double> outImaginary(QVAIndex(width), 0.0);
        event_->GetNodalResults(nodes, j, c, outReal.data(), type);
        event_->GetImaginaryNodalResults(nodes, j, c, outImaginary.data(), type);
        for (std::size_t r = 0; r < rows.size(); ++r) {
          const std::size_t out = NodalIndex(dofs, rows[r]);
          const std::size_t at = r + rows.size() * QVAIndex(j);
          // Amplitudes of 32 eps |H||F| each, summed over 5 modes: 40 eps of the magnitudes.
          const double scale = real.magnitude[at] + imaginary.magnitude[at];
          EXPECT_NEAR(outReal[out], real.value[at], 40 * kQVAEps * scale) << c << j << r;
          EXPECT_NEAR(outImaginary[out], imaginary.value[at], 40 * kQVAEps * scale);
        }
      }
    }
  }
}

TEST_F(HarmonicEventTest, SolveAndRecoverLogOneBlockEach) {
  QVATestLogCapture capture;
  Build(capture.Log());
  const std::size_t start = capture.Contents().size();
  event_->Solve(nullptr);
  const bool nodes[] = {false, true, false, false, false, false};
  event_->Recover(nodes, 1);
  const bool none[] = {false, false, false, false, false, false};
  const QVASimDistributionID displacement = results_.U();
  event_->Recover(none, 1);
  EXPECT_EQ(results_.U(), displacement);  // nothing stored
  event_.reset();
  EXPECT_EQ(MaskTimes(capture.Contents().substr(start)),
            "\n--- Solve dynamic system ---\n\n"
            "Number of physical degrees of freedom:      18\n"
            "Number of active modal degrees of freedom:  5\n"
            "Number of frequency points:                 4\n"
            "\n"
            "Solve for modal amplitudes: elapsed time: <t>\n"
            "\n--- Recover physical results ---\n\n"
            "Recovering data for: displacement\n"
            "Number of dofs for recovery:   3\n"
            "Number of recovery dof ranges: 1\n"
            "Recover physical quantities: elapsed time: <t>\n"
            "\n--- Recover physical results ---\n\n"
            "Recovering data for: displacement\n"
            "Elapsed time spent reading nodal data: <t>\n");
}

TEST_F(HarmonicEventTest, ReactionForcesAreStoredPerLoadCaseInOneDistribution) {
  Build();
  const bool nodes[] = {false, true, false, true, false, false};  // 6 DOFs
  QVASrvMatrix real(6, kFrames);
  QVASrvMatrix imaginary(6, kFrames);
  for (int c = 0; c < 2; ++c) {
    for (int j = 0; j < kFrames; ++j) {
      for (int r = 0; r < 6; ++r) {
        real(r, j) = 100.0 * c + 10.0 * j + r;
        imaginary(r, j) = -real(r, j);
      }
    }
    event_->SetReactionForces(nodes, c, real, imaginary);  // before any solve
    EXPECT_TRUE(results_.RF().IsValid());
  }
  const QVASimDistributionID first = results_.RF();
  event_->SetReactionForces(nodes, 1, real, imaginary);
  EXPECT_EQ(results_.RF(), first);

  const QVAFsmSystemDofDefinition& dofs = basis_->Dofs();
  const int width = dofs.NumberOfNodes() * dofs.MaxNodalDof();
  const std::vector<int> rows = SolverDofsOf(dofs, nodes);
  for (int c = 0; c < 2; ++c) {
    std::vector<double> outReal(QVAIndex(width), -1.0);
    std::vector<double> outImaginary(QVAIndex(width), -1.0);
    event_->GetNodalResults(nullptr, 2, c, outReal.data(), QVADynRecoverReactionForce);
    event_->GetImaginaryNodalResults(nullptr, 2, c, outImaginary.data(),
                                     QVADynRecoverReactionForce);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const double expected = 100.0 * c + 20.0 + static_cast<double>(r);  // copied values
      EXPECT_EQ(outReal[NodalIndex(dofs, rows[r])], expected);
      EXPECT_EQ(outImaginary[NodalIndex(dofs, rows[r])], -expected);
    }
    EXPECT_EQ(outReal[0], -1.0);  // node 0 was not flagged
  }

  // Other nodes would write onto the rows of the first ones.
  const bool others[] = {true, false, false, true, false, false};
  ExpectPlatformError([&] { event_->SetReactionForces(others, 0, real, imaginary); },
                      kQVABasInvalidArgument, {"pass the same nodes for every load case"});
}

TEST_F(HarmonicEventTest, ReadBacksRefuseResultsOfOtherNodesAndMissingSolutions) {
  Build();
  const bool all[] = {true, true, true, true, true, true};
  std::vector<double> out(kModes, 0.0);
  ExpectPlatformError(
      [&] {
        event_->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, 0, 0, out.data());
      },
      kQVASrvInvalidState, {"Solve the event first"});

  event_->Solve(nullptr);
  ExpectPlatformError(
      [&] {
        event_->GetModalAmplitudes(QVADynRecoverDisplacement, static_cast<QVADynNumberType>(2), 0,
                                   0, out.data());
      },
      kQVABasInvalidArgument, {"part 2"});
  EXPECT_EQ(out, std::vector<double>(kModes, 0.0));

  event_->Recover(all, 1);
  std::vector<double> nodal(36, 5.0);
  const bool one[] = {false, false, true, false, false, false};
  QVASrvMatrix forces(3, kFrames);
  event_->SetReactionForces(one, 0, forces, forces);
  // The DOF list is now that of node 2; U holds every node.
  ExpectPlatformError(
      [&] { event_->GetNodalResults(all, 0, 0, nodal.data(), QVADynRecoverDisplacement); },
      kQVASrvInvalidState, {"recovery of the same nodes"});
}

}  // namespace
