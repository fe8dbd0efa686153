// The non-diagonal and coupled structural-acoustic harmonic methods against zgesv on the
// assembled complex equations, on the reduced and the full path, and their log blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalDamping.h"
#include "QVADyn/QVADynCore/QVADynModalOperators.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynEventTestSupport.h"
#include "QVADynHarmonicFrameSolver.h"
#include "internal/QVANumerics.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

extern "C" void zgesv_(const int* n, const int* numberOfRightHandSides, std::complex<double>* a,
                       const int* lda, int* pivots, std::complex<double>* b, const int* ldb,
                       int* info);

namespace {

using Complex = std::complex<double>;
using Path = QVADynHarmonicPath;

constexpr int kCases = 3;

// Frequency (cycles per unit time) at which omega^2 = `omegaSquared`.
double FrequencyOf(double omegaSquared) { return std::sqrt(omegaSquared) / kQVATwoPi; }

// Column-major complex matrix.
struct ComplexMatrix {
  ComplexMatrix(int rowCount, int columnCount)
      : rows(rowCount), values(QVAIndex(rowCount) * columnCount) {}
  Complex& operator()(int row, int column) {
    return values[QVAIndex(row) + QVAIndex(column) * rows];
  }
  int rows;
  std::vector<Complex> values;
};

// Infinity norm of an n x n column-major matrix.
double NormInf(const std::vector<Complex>& values, int n) {
  double norm = 0.0;
  for (int row = 0; row < n; ++row) {
    double sum = 0.0;
    for (int column = 0; column < n; ++column) {
      sum += std::abs(values[QVAIndex(row) + QVAIndex(column) * n]);
    }
    norm = std::max(norm, sum);
  }
  return norm;
}

// x = z^-1 b by zgesv, and cond_inf(z) from the explicit inverse.
struct DirectSolution {
  ComplexMatrix x;
  double condition;
};

DirectSolution SolveDirect(ComplexMatrix z, ComplexMatrix b, int columns) {
  const int n = z.rows;
  ComplexMatrix inverse(n, n);
  for (int i = 0; i < n; ++i) inverse(i, i) = 1.0;
  const double normZ = NormInf(z.values, n);
  std::vector<int> pivots(QVAIndex(n));
  int info = 0;
  ComplexMatrix factors = z;
  zgesv_(&n, &columns, z.values.data(), &n, pivots.data(), b.values.data(), &n, &info);
  EXPECT_EQ(info, 0);
  zgesv_(&n, &n, factors.values.data(), &n, pivots.data(), inverse.values.data(), &n, &info);
  EXPECT_EQ(info, 0);
  return {b, normZ * NormInf(inverse.values, n)};
}

// A modal basis with its operators (2 % viscous, 1 % structural per mode on top of the projected
// matrices), coupling scaled by `couplingScale`, and load cases real, imaginary and complex.
class HarmonicProblem {
 public:
  HarmonicProblem(const QVATestModalBasisOptions& options, std::vector<double> frequencies,
                  std::vector<int> activeModes = {}, double couplingScale = 1.0)
      : basis_(options), frequencies_(std::move(frequencies)), active_(std::move(activeModes)) {
    modal_ = basis_.Open();
    const int m = basis_.NumberOfModes();
    if (active_.empty()) active_ = QVATestRange(0, m);
    if (modal_->AcousticCoupling() != nullptr && couplingScale != 1.0) {
      QVASrvDenseMatrix& stored = *modal_->AcousticCoupling();
      QVASrvMatrix values(stored.NumberOfRows(), stored.NumberOfColumns());
      stored.GetValues(0, values.NumberOfRows() - 1, 0, values.NumberOfColumns() - 1, values);
      values *= couplingScale;
      stored.SetValues(0, values.NumberOfRows() - 1, 0, values.NumberOfColumns() - 1, values);
    }
    records_.assign(QVAIndex(m), QVADynDiagonalDamping{0.01, 0.02, 0.0, 0.0});
    const QVADynModalDamping damping(records_.data(), m, modal_->ViscousDamping(),
                                     modal_->StructuralDamping(), modal_->AcousticViscousDamping());
    ops_ = std::make_unique<QVADynModalOperators>(*modal_, nullptr);
    ops_->Build(m, active_.data(), damping);

    const int frames = static_cast<int>(frequencies_.size());
    auto* table = new QVASrvMatrix(1, frames);
    for (int j = 0; j < frames; ++j) (*table)(0, j) = 1.0 + 0.25 * j;
    loads_.AdoptAmplitudeTable(table);
    loads_.SetNumberOfActiveModes(m);
    patterns_.assign(kCases, std::vector<Complex>(QVAIndex(m)));
    const int row = 0;
    const int rows[] = {0, 0};
    for (int c = 0; c < kCases; ++c) {
      auto* pattern = new QVASrvMatrix(m, c == 2 ? 2 : 1);
      for (int k = 0; k < m; ++k) {
        const double real = c == 1 ? 0.0 : std::sin(1.0 + 0.7 * k + c);
        const double imaginary = c == 0 ? 0.0 : std::cos(0.3 + 1.1 * k - c);
        patterns_[QVAIndex(c)][QVAIndex(k)] = {real, imaginary};
        if (c != 1) (*pattern)(k, 0) = real;
        if (c != 0) (*pattern)(k, c == 2 ? 1 : 0) = imaginary;
      }
      loads_.LoadCase(c).AdoptForce(
          new QVADynForce(pattern, &row, c == 1 ? 0 : 1, rows, c == 0 ? 0 : 1));
    }
    frames_.resize(frequencies_.size());
    for (std::size_t j = 0; j < frequencies_.size(); ++j) frames_[j].first = frequencies_[j];
  }

  QVADynModalOperators& Ops() { return *ops_; }
  // Modes that the reference gives zero response at f = 0.
  void SetRigidModes(std::vector<int> modes) { rigid_ = std::move(modes); }
  int Modes() const { return basis_.NumberOfModes(); }
  int Frames() const { return static_cast<int>(frequencies_.size()); }

  // QVADynHarmonicSolver::Solve, logging to `log`.
  void Solve(const QVADynLogFile& log = QVADynLogFile()) {
    QVADynHarmonicSolver solver;
    QVADynEnergy energy(0, Modes(), kCases, Frames());
    solver.Solve(solution_, *ops_, Frames(), frames_.data(), &energy, loads_, log);
  }

  // The path of every frame, from a frame solver of `kind` run frame by frame.
  std::vector<Path> Paths(QVADynHarmonicFrameSolver::Kind kind) {
    std::vector<double> output(2 * QVAIndex(Modes()) * kCases * Frames());
    QVADynHarmonicFrameSolver frameSolver(kind, *ops_, loads_, Frames(), output.data());
    std::vector<Path> paths;
    for (int j = 0; j < Frames(); ++j) paths.push_back(frameSolver.SolveFrame(j, frames_[j].first));
    return paths;
  }

  Complex Amplitude(int c, int j, int k) const {
    const std::size_t partSize = QVAIndex(Modes()) * Frames();
    const double* block = solution_.Displacement() + 2 * partSize * QVAIndex(c);
    const std::size_t at = QVAIndex(j) * Modes() + k;
    return {block[at], block[partSize + at]};
  }

  Complex Force(int c, int k, int j) const {
    return patterns_[QVAIndex(c)][QVAIndex(k)] * (1.0 + 0.25 * j);
  }

  // The complex equations at frame j assembled from the operators as they
  // stand, solved by zgesv for every load case.
  DirectSolution Reference(int j) const {
    const int m = Modes();
    const int nS = ops_->NumberOfStructuralModes();
    const double omega = kQVATwoPi * frequencies_[QVAIndex(j)];
    const double omegaSquared = omega * omega;
    ComplexMatrix z(m, m);
    ComplexMatrix rhs(m, kCases);
    const auto& o = *ops_;
    for (int row = 0; row < nS; ++row) {
      for (int column = 0; column < nS; ++column) {
        z(row, column) = {
            (*o.Stiffness())(row, column) - omegaSquared * (*o.Mass())(row, column),
            omega * (*o.ViscousDamping())(row, column) + (*o.StructuralDamping())(row, column)};
      }
    }
    for (int a = 0; a < m - nS; ++a) {
      for (int k = 0; k < nS; ++k) {
        z(k, nS + a) = (*o.Coupling())(a, k);
        z(nS + a, k) = omegaSquared * (*o.Coupling())(a, k);
      }
      for (int b = 0; b < m - nS; ++b) {
        z(nS + a, nS + b) = {
            (*o.AcousticStiffness())(a, b) - omegaSquared * (*o.AcousticMass())(a, b),
            omega * (*o.AcousticViscousDamping())(a, b) + (*o.AcousticStructuralDamping())(a, b)};
      }
    }
    for (int c = 0; c < kCases; ++c) {
      for (int k = 0; k < m; ++k) rhs(k, c) = Force(c, k, j);
    }
    // A rigid mode at f = 0: q_k = 0, out of the other equations.
    for (const int k : omega == 0.0 ? rigid_ : std::vector<int>{}) {
      for (int i = 0; i < m; ++i) z(i, k) = z(k, i) = 0.0;
      z(k, k) = 1.0;
      for (int c = 0; c < kCases; ++c) rhs(k, c) = 0.0;
    }
    return SolveDirect(z, rhs, kCases);
  }

  // Every amplitude of every frame against Reference(j): forward error of a
  // backward-stable solve, ||q - q_ref|| <= c * m * cond(Z) * eps * ||q_ref||.
  // The reduced path adds the Schur complement A + B D B; the frequencies of
  // these tests keep |A_kk| >= 0.001 and |D B| moderate, so c = 16 covers it.
  void ExpectMatchesReference() const {
    for (int j = 0; j < Frames(); ++j) {
      DirectSolution reference = Reference(j);
      for (int c = 0; c < kCases; ++c) {
        double scale = 0.0;
        double error = 0.0;
        for (int k = 0; k < Modes(); ++k) {
          scale = std::max(scale, std::abs(reference.x(k, c)));
          error = std::max(error, std::abs(Amplitude(c, j, k) - reference.x(k, c)));
        }
        const double tolerance = 16.0 * Modes() * reference.condition * kQVAEps * scale;
        EXPECT_LE(error, tolerance)
            << "frame " << j << " case " << c << " cond " << reference.condition;
      }
    }
  }

 private:
  QVATestModalBasis basis_;
  std::vector<double> frequencies_;
  std::vector<int> active_;
  std::unique_ptr<QVADynModalSystem> modal_;
  std::vector<QVADynDiagonalDamping> records_;
  std::unique_ptr<QVADynModalOperators> ops_;
  QVADynLoadCaseList loads_;
  std::vector<std::vector<Complex>> patterns_;
  std::vector<QVADynFrameValue> frames_;
  std::vector<int> rigid_;
  QVADynSolution solution_;
};

QVATestModalBasisOptions StructuralOptions() {
  return {.numberOfModes = 8, .viscousDamping = true, .structuralDamping = true};
}

QVATestModalBasisOptions CoupledOptions() {
  return {.numberOfNodes = 9,
          .acousticNodes = 3,
          .numberOfModes = 9,
          .numberOfAcousticModes = 3,
          .viscousDamping = true,
          .structuralDamping = true,
          .acousticViscousDamping = true,
          .acousticCoupling = true};
}

// Frequencies with omega^2 below, between and above the structural
// eigenvalues, and one within 0.0005 of eigenvalue `near` (full path).
std::vector<double> SweepAround(const std::vector<double>& lambda, int near) {
  return {FrequencyOf(0.5 * lambda[0]), FrequencyOf(0.5 * (lambda[1] + lambda[2])),
          FrequencyOf(lambda[QVAIndex(near)] + 0.0005), FrequencyOf(0.5 * (lambda[3] + lambda[4])),
          FrequencyOf(2.0 * lambda[5])};
}

// A random n x n matrix, symmetric or not, with entries in [-scale, scale].
QVASrvMatrix RandomMatrix(int n, double scale, bool symmetric, std::uint64_t seed) {
  QVATestRandom random(seed);
  QVASrvMatrix matrix(n, n, nullptr, symmetric, false);
  for (int column = 0; column < n; ++column) {
    for (int row = 0; row < n; ++row) {
      if (symmetric && row < column) continue;
      matrix(row, column) = random.Uniform(-scale, scale);
      if (symmetric) matrix(column, row) = matrix(row, column);
    }
  }
  return matrix;
}

// The log with every number replaced by "<t>".
std::string MaskNumbers(const std::string& text) {
  static const std::regex kNumber("[0-9][-+0-9.e]*");
  return std::regex_replace(text, kNumber, "<t>");
}

// Strongly coupling full damping, symmetric and unsymmetric (entered as it stands, not
// transposed), and a full viscous damping beside a structural damping held diagonal (the
// reduced path builds B column by column from both storage kinds); only the frame at the
// eigenvalue takes the full path.
TEST(HarmonicNonDiagonalTest, FullDampingMatchesTheComplexSolveOnBothPaths) {
  QVATestModalBasis spectrum(StructuralOptions());
  QVASrvMatrix diagonalStructural(8, 8, nullptr, true, true);
  for (int k = 0; k < 8; ++k) diagonalStructural(k, k) = 5.0 + 2.0 * k;
  const struct {
    const char* name;
    QVASrvMatrix viscous;
    QVASrvMatrix structural;
    int near;
  } cases[] = {
      {"symmetric", RandomMatrix(8, 3.0, true, 11), RandomMatrix(8, 20.0, true, 12), 2},
      {"unsymmetric", RandomMatrix(8, 3.0, false, 21), QVASrvMatrix(), 1},
      {"diagonal structural", RandomMatrix(8, 3.0, true, 31), diagonalStructural, 2},
  };
  for (const auto& damping : cases) {
    SCOPED_TRACE(damping.name);
    HarmonicProblem problem(StructuralOptions(), SweepAround(spectrum.Eigenvalues(), damping.near));
    *problem.Ops().ViscousDamping() = damping.viscous;
    if (damping.structural.NumberOfRows() > 0) {
      *problem.Ops().StructuralDamping() = damping.structural;
    }
    ASSERT_EQ(QVADynHarmonicSolver::MethodFor(problem.Ops()),
              QVADynHarmonicSolver::Method::kNonDiagonal);
    problem.Solve();
    problem.ExpectMatchesReference();
    EXPECT_EQ(problem.Paths(QVADynHarmonicFrameSolver::Kind::kStructural),
              (std::vector<Path>{Path::kReduced, Path::kReduced, Path::kFull, Path::kReduced,
                                 Path::kReduced}));
  }
}

// A non-diagonal stiffness takes the full path at every frame and logs the first projection's
// time; with a diagonal stiffness the block has no such line.
TEST(HarmonicNonDiagonalTest, NonDiagonalStiffnessTakesTheFullPathAndLogsTheFirstProjection) {
  const std::string heading = "\n--- Solve dynamic system with non-diagonal damping ---\n\n";
  const std::string phases =
      "HarmonicSolver: total time: <t>\n"
      "HarmonicSolver: factorization, dgemm, projection: <t> <t> <t>\n"
      "HarmonicSolver: RhsReduce, BwdPass, RhsSub: <t> <t> <t>\n";
  QVATestModalBasis spectrum(StructuralOptions());
  HarmonicProblem problem(StructuralOptions(), SweepAround(spectrum.Eigenvalues(), 3));
  QVASrvMatrix stiffness = RandomMatrix(8, 5.0, true, 31);
  stiffness.Add(1.0, *problem.Ops().Stiffness());
  *problem.Ops().Stiffness() = stiffness;
  QVATestLogCapture capture;
  problem.Solve(capture.Log());
  problem.ExpectMatchesReference();
  EXPECT_EQ(problem.Paths(QVADynHarmonicFrameSolver::Kind::kStructural),
            std::vector<Path>(5, Path::kFull));
  EXPECT_EQ(MaskNumbers(capture.Contents()),
            heading + "HarmonicSolver: first projection: <t>\n" + phases);

  HarmonicProblem diagonal(StructuralOptions(), {1.0, 2.0});
  QVATestLogCapture diagonalCapture;
  diagonal.Solve(diagonalCapture.Log());
  EXPECT_EQ(MaskNumbers(diagonalCapture.Contents()), heading + phases);
}

TEST(HarmonicNonDiagonalTest, ReducedPathScanLooksForSmallDiagonalEntries) {
  using Solver = QVADynHarmonicFrameSolver;
  QVASrvMatrix unit(3, 3, nullptr, true, true);
  unit = 1.0;
  QVASrvMatrix ascending(3, 3, nullptr, true, true);
  ascending(0, 0) = 100.0;
  ascending(1, 1) = 400.0;
  ascending(2, 2) = 900.0;
  EXPECT_TRUE(Solver::ReducedPathApplies(ascending, unit, 250.0));
  EXPECT_TRUE(Solver::ReducedPathApplies(ascending, unit, 400.0015));
  EXPECT_FALSE(Solver::ReducedPathApplies(ascending, unit, 400.0005));
  EXPECT_FALSE(Solver::ReducedPathApplies(ascending, unit, 99.9995));
  // The scan does not stop at the first positive entry when the modes are
  // not in ascending order: 100 after 400 still counts.
  QVASrvMatrix descending(3, 3, nullptr, true, true);
  descending(0, 0) = 900.0;
  descending(1, 1) = 400.0;
  descending(2, 2) = 100.0;
  EXPECT_FALSE(Solver::ReducedPathApplies(descending, unit, 100.0));
  QVASrvMatrix full(3, 3, nullptr, true, false);
  full(0, 0) = 100.0;
  EXPECT_FALSE(Solver::ReducedPathApplies(full, unit, 250.0));
}

// Strong coupling; acoustic damping in full storage (symmetric values, no symmetric flag) sends
// every frame down the full path.
TEST(HarmonicNonDiagonalTest, CoupledMethodMatchesTheComplexSolveOnBothPaths) {
  QVATestModalBasis spectrum(CoupledOptions());
  for (const bool flagged : {true, false}) {
    SCOPED_TRACE(flagged ? "symmetric flag" : "no symmetric flag");
    HarmonicProblem problem(CoupledOptions(), SweepAround(spectrum.Eigenvalues(), flagged ? 2 : 0),
                            {}, flagged ? 10.0 : 1.0);
    ASSERT_EQ(QVADynHarmonicSolver::MethodFor(problem.Ops()),
              QVADynHarmonicSolver::Method::kCoupledAcoustic);
    if (!flagged) {
      QVASrvMatrix unflagged(3, 3);
      unflagged.SetSlice(1.0, RandomMatrix(3, 2.0, true, 41), 0, 0);
      *problem.Ops().AcousticViscousDamping() = unflagged;
    }
    problem.Solve();
    problem.ExpectMatchesReference();
    EXPECT_EQ(problem.Paths(QVADynHarmonicFrameSolver::Kind::kCoupledAcoustic),
              flagged ? (std::vector<Path>{Path::kReduced, Path::kReduced, Path::kFull,
                                           Path::kReduced, Path::kReduced})
                      : std::vector<Path>(5, Path::kFull));
  }
}

TEST(HarmonicNonDiagonalTest, CoupledMethodAtZeroFrequencySolvesTheStaticEquations) {
  QVATestModalBasis spectrum(CoupledOptions());
  HarmonicProblem problem(CoupledOptions(), {0.0, FrequencyOf(0.5 * spectrum.Eigenvalues()[0])});
  problem.Solve();
  // At omega = 0: (K + i S) q + Q^T p = f_s + i g_s, (K_a + i D_a) p = f_a + i g_a.
  problem.ExpectMatchesReference();
  EXPECT_EQ(problem.Paths(QVADynHarmonicFrameSolver::Kind::kCoupledAcoustic),
            (std::vector<Path>{Path::kStatic, Path::kReduced}));
}

// A sweep from 0 Hz with a rigid structural mode (and, coupled, a rigid acoustic mode, the
// constant pressure of a closed cavity) without damping at f = 0: the rigid modes get zero
// static response, the others the static solution without them; the next frame is as before.
TEST(HarmonicNonDiagonalTest, RigidModesGetZeroResponseAtZeroFrequency) {
  for (const bool coupled : {false, true}) {
    SCOPED_TRACE(coupled ? "coupled" : "non-diagonal");
    HarmonicProblem problem(coupled ? CoupledOptions() : StructuralOptions(), {0.0, 0.3});
    const int nS = problem.Ops().NumberOfStructuralModes();
    (*problem.Ops().Stiffness())(1, 1) = 0.0;
    QVASrvMatrix structural = RandomMatrix(nS, 20.0, true, 12);
    for (int k = 0; k < nS; ++k) structural(1, k) = structural(k, 1) = 0.0;
    *problem.Ops().StructuralDamping() = structural;
    std::vector<int> rigid{1};
    if (coupled) {
      (*problem.Ops().AcousticStiffness())(0, 0) = 0.0;
      rigid.push_back(nS);
    }
    problem.SetRigidModes(rigid);
    problem.Solve();
    problem.ExpectMatchesReference();
    for (int c = 0; c < kCases; ++c) {
      for (const int k : rigid) EXPECT_EQ(problem.Amplitude(c, 0, k), Complex(0.0, 0.0));
    }
  }
}

TEST(HarmonicNonDiagonalTest, CoupledLogBlockEndsItsTotalLineWithSeconds) {
  HarmonicProblem problem(CoupledOptions(), {0.5, 1.5});
  QVATestLogCapture capture;
  problem.Solve(capture.Log());
  EXPECT_EQ(MaskNumbers(capture.Contents()),
            "\n--- Solve coupled-acoustic system ---\n\n"
            "HarmonicSolverAC: total time: <t>s \n"
            "HarmonicSolverAC: factorization, dgemm, projection: <t> <t> <t>\n"
            "HarmonicSolverAC: RhsReduce, BwdPass, RhsSub: <t> <t> <t>\n");
}

TEST(HarmonicNonDiagonalTest, AcousticModesWithoutCouplingAreRefused) {
  QVATestModalBasisOptions options = CoupledOptions();
  options.acousticCoupling = false;
  HarmonicProblem problem(options, {1.0});
  ExpectPlatformError([&] { problem.Solve(); }, kQVASrvInvalidState,
                      {"meets 3 acoustic modes", "acoustic coupling matrix"});
}

}  // namespace
