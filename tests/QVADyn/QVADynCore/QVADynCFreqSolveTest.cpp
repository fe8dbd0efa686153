// The complex frequency solve end to end over a stored real basis: closed-form eigenvalues,
// quadratic-eigenproblem residuals, stored shapes, band and mode limit, solve-only, refused
// input, preconditions and the exact log block.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCFreqSolve.h"
#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"
#include "QVADynEventTestSupport.h"
#include "internal/QVANumerics.h"
#include "platform/base/QVABasException.h"
#include "platform/modeldb/QVASimCSet.h"
#include "platform/modeldb/QVASimDatabase.h"
#include "tests/support/QVAFloatingPoint.h"
#include "tests/support/QVATestLogCapture.h"
#include "tests/support/QVATestModalBasis.h"
#include "tests/support/QVATestTolerances.h"

namespace {

using Complex = std::complex<double>;
using ComplexVector = std::vector<Complex>;

constexpr double kWideBand = 1e6;

// A stored real basis, a complex modal system over it opened with a subspace
// of `subspace` modes (all by default), the log it writes, and a matrix of
// the real mode shapes of its own (after a solve the system's mode-shape
// matrix holds the real parts of the complex modes).
struct Problem {
  explicit Problem(const QVATestModalBasisOptions& options, int subspace = -1)
      : basis(options),
        n(subspace < 0 ? options.numberOfModes : subspace),
        system(std::make_unique<QVADynComplexModalSystem>(basis.CreateDofDefinition(),
                                                          basis.ModalObject(), capture.Log(), n)),
        realModes(std::make_unique<QVASrvDenseMatrix>(basis.ModalObject().ModeShapes())) {
    system->Open();
  }

  // K = diag(omega^2) of the first n real modes.
  void SetModalStiffness() {
    std::vector<double> values(QVAIndex(n) * n, 0.0);
    for (int i = 0; i < n; ++i) values[QVAIndex(i) * (n + 1)] = Lambda(i);
    SetStiffness(values);
  }
  void SetStiffness(const std::vector<double>& values) {
    stiffness = values;
    QVATestFillDenseMatrix(system->CreateStiffness(false), values);
  }
  void SetDamping(QVADynDampingType kind, const std::vector<double>& values) {
    QVATestFillDenseMatrix(system->CreateProjectedDamping(kind, false), values);
  }
  double Lambda(int mode) const { return basis.Eigenvalues()[QVAIndex(mode)]; }

  void Solve(int maxModes = 100, double lower = 0.0, double upper = kWideBand, int solveOnly = 0) {
    QVADynCFreqSolve(*system, *realModes, maxModes, lower, upper, solveOnly);
  }
  // The host's shortest road after Open: the system's own mode-shape matrix,
  // which the solve replaces, as the real mode shapes.
  void SolveOverOwnModeShapes() {
    QVADynCFreqSolve(*system, *system->ModeShapes(), 100, 0.0, kWideBand, 0);
  }

  Complex Eigenvalue(int mode) const {
    return {system->RealEigenvalues()[mode], system->ImaginaryEigenvalues()[mode]};
  }
  ComplexVector Shape(const QVASrvDenseMatrix& real, const QVASrvDenseMatrix& imaginary,
                      int mode) const {
    const std::vector<double> re = QVATestReadDenseMatrix(real);
    const std::vector<double> im = QVATestReadDenseMatrix(imaginary);
    const std::size_t rows = QVAIndex(real.NumberOfRows());
    ComplexVector shape(rows);
    for (std::size_t i = 0; i < rows; ++i) {
      shape[i] = {re[QVAIndex(mode) * rows + i], im[QVAIndex(mode) * rows + i]};
    }
    return shape;
  }
  ComplexVector ProjectedShape(int mode) const {
    return Shape(*system->RealProjectedModeShapes(), *system->ImaginaryProjectedModeShapes(), mode);
  }
  ComplexVector PhysicalShape(int mode) const {
    return Shape(*system->RealModeShapes(), *system->ImaginaryModeShapes(), mode);
  }

  QVATestLogCapture capture;
  QVATestModalBasis basis;
  int n;
  std::unique_ptr<QVADynComplexModalSystem> system;
  std::unique_ptr<QVASrvDenseMatrix> realModes;
  std::vector<double> stiffness;
};

QVATestModalBasisOptions Basis(int modes, bool viscous = false, bool structural = false) {
  return {.numberOfNodes = 6,
          .numberOfModes = modes,
          .columnBlockSize = 3,
          .viscousDamping = viscous,
          .structuralDamping = structural};
}

// The vector divided by its first component of largest magnitude.
ComplexVector Normalized(ComplexVector vector) {
  std::size_t largest = 0;
  for (std::size_t i = 0; i < vector.size(); ++i) {
    if (std::norm(vector[i]) > std::norm(vector[largest])) largest = i;
  }
  const Complex divisor = vector[largest];
  for (Complex& value : vector) value /= divisor;
  return vector;
}

double MaxDifference(const ComplexVector& a, const ComplexVector& b) {
  EXPECT_EQ(a.size(), b.size());
  double difference = 0.0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    difference = std::max(difference, std::abs(a[i] - b[i]));
  }
  return difference;
}

// Phi q over the first q.size() real modes of the basis, plain loops.
ComplexVector Expand(const QVATestModalBasis& basis, const ComplexVector& q) {
  ComplexVector physical(QVAIndex(basis.NumberOfRows()));
  for (int row = 0; row < basis.NumberOfRows(); ++row) {
    for (std::size_t j = 0; j < q.size(); ++j) {
      physical[QVAIndex(row)] += basis.ModeShape(row, static_cast<int>(j)) * q[j];
    }
  }
  return physical;
}

// || (lambda^2 I + lambda V + K + i S) q ||_2 with the basis's damping.
double QuadraticResidual(const Problem& problem, Complex lambda, const ComplexVector& q) {
  const int n = problem.n;
  const std::vector<double>& viscous = problem.basis.ViscousDamping();
  const std::vector<double>& structural = problem.basis.StructuralDamping();
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    Complex row = lambda * lambda * q[QVAIndex(i)];
    for (int j = 0; j < n; ++j) {
      const std::size_t ij = QVAIndex(i) + QVAIndex(j) * n;
      Complex entry = problem.stiffness[ij];
      if (!viscous.empty()) entry += lambda * viscous[ij];
      if (!structural.empty()) entry += Complex(0.0, structural[ij]);
      row += entry * q[QVAIndex(j)];
    }
    sum += std::norm(row);
  }
  return std::sqrt(sum);
}

// Zero modes in the system, shape matrices of no columns, nothing stored.
void ExpectNoModes(Problem& problem) {
  const QVADynComplexModalSystem& system = *problem.system;
  EXPECT_EQ(system.NumberOfModes(), 0);
  EXPECT_EQ(system.RealProjectedModeShapes()->NumberOfRows(), problem.n);
  for (const QVASrvDenseMatrix* shapes :
       {system.RealProjectedModeShapes(), system.ImaginaryProjectedModeShapes(),
        system.RealModeShapes(), system.ImaginaryModeShapes()}) {
    EXPECT_EQ(shapes->NumberOfColumns(), 0);
  }
  const QVAFsmModalSystem& stored = problem.basis.ModalObject();
  for (const QVASimDistributionID entry :
       {stored.Eigenvalues(), stored.ModeShapes(), stored.ImaginaryModeShapes(),
        stored.ProjectedModeShapes()}) {
    EXPECT_EQ(problem.basis.Database().NumberOfValues(entry), 0);
  }
}

// The header of the log block for `modes` modes over 6 nodes.
std::string Header(int modes) {
  return "\n--- Solve dense complex eigenproblem ---\n\nNumber of modes: " + std::to_string(modes) +
         "\nNumber of nodes: 6\n";
}

const char kNumber[] = "([0-9][0-9.e+-]*)";

}  // namespace

// Without damping the state matrix has the eigenvalues +-i omega; the ones
// with positive imaginary part are stored in ascending order as 0 + i omega,
// with omega^2 the real eigenvalues. The projected shapes are unit vectors
// and the physical shapes the real modes scaled to a largest component of 1.
TEST(QVADynCFreqSolveTest, UndampedModesArePositiveImaginaryFrequencies) {
  Problem problem(Basis(6));
  problem.SetModalStiffness();
  problem.SolveOverOwnModeShapes();

  ASSERT_EQ(problem.system->NumberOfModes(), 6);
  // Backward-stable QR on order 12, ||A|| ~ omega_max^2 ~ 1e3, eigenvalues
  // well separated (ratio >= 1.05): error ~ N ||A|| eps ~ 3e-12 absolute.
  constexpr double kTolerance = 1e-9;
  for (int mode = 0; mode < 6; ++mode) {
    const Complex lambda = problem.Eigenvalue(mode);
    EXPECT_NEAR(lambda.real(), 0.0, kTolerance) << mode;
    EXPECT_NEAR(lambda.imag(), std::sqrt(problem.Lambda(mode)), kTolerance) << mode;
    ComplexVector unit(6, 0.0);
    unit[QVAIndex(mode)] = 1.0;
    EXPECT_LE(MaxDifference(problem.ProjectedShape(mode), unit), kTolerance) << mode;
    EXPECT_LE(MaxDifference(problem.PhysicalShape(mode), Normalized(Expand(problem.basis, unit))),
              kTolerance)
        << mode;
  }
  for (int mode = 1; mode < 6; ++mode) {
    EXPECT_LT(problem.Eigenvalue(mode - 1).imag(), problem.Eigenvalue(mode).imag());
  }

  const std::string log = problem.capture.Contents();
  const std::regex block(Header(6) + "Complex Eigensolve: Solve dgeev: " + kNumber +
                         "\nComplex Eigensolve: Recover:     " + kNumber +
                         "\nComplex Eigensolve: total time:  " + kNumber + "\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(log, match, block)) << log;
  // The total adds the single-precision times of solve, selection and
  // recovery; each printed value is rounded to 6 digits.
  EXPECT_GE(std::stod(match[3].str()),
            (std::stod(match[1].str()) + std::stod(match[2].str())) * (1.0 - 1e-5));
}

// Every stored mode satisfies (lambda^2 I + lambda V + K + i S) q = 0 with the
// basis's random symmetric V and S, in all three combinations; the projected
// shapes are normalized and the physical shapes are Phi q, normalized.
TEST(QVADynCFreqSolveTest, ResidualsAndShapesWithViscousAndStructuralDamping) {
  const bool combinations[][2] = {{true, false}, {false, true}, {true, true}};
  for (const auto& [viscous, structural] : combinations) {
    SCOPED_TRACE(std::string("viscous ") + (viscous ? "yes" : "no") + ", structural " +
                 (structural ? "yes" : "no"));
    Problem problem(Basis(8, viscous, structural));
    problem.SetModalStiffness();
    problem.SolveOverOwnModeShapes();
    const int modes = problem.system->NumberOfModes();
    // Damping ~ 1 against omega >= 7: every mode oscillates, n of them.
    ASSERT_EQ(modes, 8);

    const double stiffnessNorm = problem.Lambda(7);
    for (int mode = 0; mode < modes; ++mode) {
      const Complex lambda = problem.Eigenvalue(mode);
      const ComplexVector q = problem.ProjectedShape(mode);
      EXPECT_LE(QuadraticResidual(problem, lambda, q), 1e-10 * stiffnessNorm) << mode;
      if (mode > 0) {
        EXPECT_LE(problem.Eigenvalue(mode - 1).imag(), lambda.imag());
      }

      // Largest component 1 + 0i, every other at most 1 in magnitude; a few
      // roundings of the scaling: 4 eps.
      const auto largest = std::max_element(
          q.begin(), q.end(), [](Complex a, Complex b) { return std::norm(a) < std::norm(b); });
      EXPECT_NEAR(largest->real(), 1.0, 4 * kQVAEps);
      EXPECT_NEAR(largest->imag(), 0.0, 4 * kQVAEps);

      // Phi q by plain loops, normalized: |q| <= 1, |Phi| < 1, 8 terms and a
      // division by a component >= 1/sqrt(rows): error ~ 1e-14.
      EXPECT_LE(MaxDifference(problem.PhysicalShape(mode), Normalized(Expand(problem.basis, q))),
                1e-12)
          << mode;
    }

    // The database holds what the system holds.
    const QVAFsmModalSystem& stored = problem.basis.ModalObject();
    std::vector<double> eigenvalues(QVAIndex(2 * modes));
    problem.basis.Database().ReadDistribution(stored.Eigenvalues(), eigenvalues.data());
    for (int mode = 0; mode < modes; ++mode) {
      EXPECT_EQ(eigenvalues[QVAIndex(mode)], problem.Eigenvalue(mode).real());
      EXPECT_EQ(eigenvalues[QVAIndex(modes + mode)], problem.Eigenvalue(mode).imag());
    }
    EXPECT_EQ(stored.ModeShapes(), problem.system->RealModeShapes()->DistributionID());
    EXPECT_EQ(stored.ImaginaryModeShapes(),
              problem.system->ImaginaryModeShapes()->DistributionID());
    EXPECT_EQ(stored.ProjectedModeShapes(),
              problem.system->ImaginaryProjectedModeShapes()->DistributionID());
    EXPECT_EQ(problem.system->RealModeShapes()->NumberOfRows(), problem.basis.NumberOfRows());

    const std::string routine = structural ? "zgeev" : "dgeev";
    EXPECT_NE(problem.capture.Contents().find("Complex Eigensolve: Solve " + routine + ": "),
              std::string::npos);
  }
}

// The band is open: modes whose frequency equals an edge or lies outside are
// left out; a smaller mode limit keeps the lowest; a limit of 0 or an empty
// band stores zero modes with shape matrices of no columns.
TEST(QVADynCFreqSolveTest, BandAndModeLimit) {
  Problem problem(Basis(6));
  problem.SetModalStiffness();
  const auto omega = [&](int mode) { return std::sqrt(problem.Lambda(mode)); };
  // Edges halfway between modes 0/1 and 3/4 select modes 1, 2, 3.
  const double lower = 0.5 * (omega(0) + omega(1));
  const double upper = 0.5 * (omega(3) + omega(4));
  // Frequencies to ~1e-12 (see the undamped test) against edges >= 1 apart.
  problem.Solve(100, lower, upper);
  ASSERT_EQ(problem.system->NumberOfModes(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(problem.Eigenvalue(i).imag(), omega(i + 1), 1e-9);

  problem.Solve(2, lower, upper);
  ASSERT_EQ(problem.system->NumberOfModes(), 2);
  EXPECT_NEAR(problem.Eigenvalue(0).imag(), omega(1), 1e-9);
  EXPECT_NEAR(problem.Eigenvalue(1).imag(), omega(2), 1e-9);
  EXPECT_EQ(problem.system->RealProjectedModeShapes()->NumberOfColumns(), 2);
  EXPECT_EQ(problem.system->ImaginaryModeShapes()->NumberOfColumns(), 2);

  for (const auto& [maxModes, bandLower, bandUpper] :
       {std::tuple{0, 0.0, kWideBand}, std::tuple{100, omega(5) + 1.0, kWideBand},
        std::tuple{100, -kWideBand, 0.0}}) {
    problem.Solve(maxModes, bandLower, bandUpper);
    ExpectNoModes(problem);
  }
}

// The stored complex modes open again: damped modes have negative real parts,
// which are no negative eigenvalues of a real basis.
TEST(QVADynCFreqSolveTest, StoredComplexModesOpenAgain) {
  Problem problem(Basis(4, true));
  problem.SetModalStiffness();
  problem.Solve();
  ASSERT_LT(problem.system->RealEigenvalues()[0], 0.0);
  QVADynComplexModalSystem reopened(problem.basis.CreateDofDefinition(),
                                    problem.basis.ModalObject(), problem.capture.Log(), 4);
  reopened.Open();
  EXPECT_EQ(reopened.NumberOfModes(), 4);
  EXPECT_EQ(reopened.Eigenvalues()[0], problem.system->RealEigenvalues()[0]);
}

// With solveOnly the solve runs and is logged; nothing in the system or the
// database changes.
TEST(QVADynCFreqSolveTest, SolveOnlyLeavesTheSystemUnchanged) {
  Problem problem(Basis(4, true));
  problem.SetModalStiffness();
  problem.Solve(2);
  QVADynComplexModalSystem& system = *problem.system;
  const QVAFsmModalSystem& stored = problem.basis.ModalObject();
  // Everything the system and the database hold: addresses, values, entries.
  const auto state = [&] {
    const double* real = system.RealEigenvalues();
    const double* imaginary = system.ImaginaryEigenvalues();
    return std::tuple(system.NumberOfModes(), real, imaginary, std::vector<double>(real, real + 2),
                      std::vector<double>(imaginary, imaginary + 2),
                      std::vector<const void*>{
                          system.RealModeShapes(), system.ImaginaryModeShapes(),
                          system.RealProjectedModeShapes(), system.ImaginaryProjectedModeShapes()},
                      QVATestReadDenseMatrix(*system.RealModeShapes()),
                      std::vector<QVASimDistributionID>{stored.Eigenvalues(), stored.ModeShapes(),
                                                        stored.ImaginaryModeShapes(),
                                                        stored.ProjectedModeShapes()},
                      stored.Modes());
  };
  const auto before = state();
  const std::size_t logBefore = problem.capture.Contents().size();
  problem.Solve(4, 0.0, kWideBand, 1);
  EXPECT_TRUE(state() == before);

  const std::string added = problem.capture.Contents().substr(logBefore);
  EXPECT_TRUE(std::regex_match(
      added, std::regex(Header(4) + "Complex Eigensolve: Solve dgeev: " + kNumber + "\n")))
      << added;
}

// Invalid input is refused before the solve: nothing is logged and the modes
// of an earlier solve stay, in the system and in the database.
TEST(QVADynCFreqSolveTest, InvalidInputIsRefusedBeforeTheSolve) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  // One non-finite entry of the stiffness (-1) or of a damping matrix, if any.
  struct Row {
    const char* what;
    int matrix;  // -1 stiffness, else a QVADynDampingType; -2 none
    int entry;
    double value;
    int maxModes;
    double lower;
    double upper;
    const char* fragment;
    const char* hint;
  };
  const std::vector<Row> table{
      {"NaN stiffness", -1, 5, kNaN, 100, 0.0, kWideBand,
       "QVADynCFreqSolve: the projected stiffness holds nan at (1, 1)", "store finite values"},
      {"infinite viscous damping", QVADynViscousDamping, 2, kInf, 100, 0.0, kWideBand,
       "projected viscous damping holds inf at (2, 0)", ""},
      {"infinite structural damping", QVADynStructuralDamping, 15, -kInf, 100, 0.0, kWideBand,
       "projected structural damping holds -inf at (3, 3)", ""},
      {"inverted band", -2, 0, 0.0, 100, 50.0, 10.0, "the band (50, 10) is not a band",
       "pass lowerBound <= upperBound"},
      {"NaN bound", -2, 0, 0.0, 100, kNaN, 10.0, "the band (nan, 10)", ""},
      {"negative maximum number of modes", -2, 0, 0.0, -1, 0.0, kWideBand, "maxModes is -1",
       "0 or more"},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.what);
    Problem problem(Basis(4, true, true));
    problem.SetModalStiffness();
    problem.Solve();
    std::vector<double> values = row.matrix == -1 ? problem.stiffness : std::vector<double>(16);
    values[QVAIndex(row.entry)] = row.value;
    if (row.matrix == -1) problem.SetStiffness(values);
    if (row.matrix >= 0) problem.SetDamping(static_cast<QVADynDampingType>(row.matrix), values);
    const std::string log = problem.capture.Contents();
    const QVASimDistributionID eigenvalues = problem.basis.ModalObject().Eigenvalues();
    ExpectPlatformError([&] { problem.Solve(row.maxModes, row.lower, row.upper); },
                        kQVABasInvalidArgument, {row.fragment, row.hint});
    EXPECT_EQ(problem.system->NumberOfModes(), 4);
    EXPECT_TRUE(problem.basis.ModalObject().Eigenvalues() == eigenvalues);
    EXPECT_EQ(problem.capture.Contents(), log);
  }
}

// The real mode shapes may have more columns than the subspace (the first n
// span it).
TEST(QVADynCFreqSolveTest, SubspaceOfTheFirstRealModes) {
  Problem problem(Basis(6, true), 4);
  problem.SetModalStiffness();
  const std::vector<double> viscous = problem.basis.ViscousDamping();
  std::vector<double> leading(16);
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 4; ++i) {
      leading[QVAIndex(i + 4 * j)] = viscous[QVAIndex(i + 6 * j)];
    }
  }
  problem.SetDamping(QVADynViscousDamping, leading);
  ASSERT_EQ(problem.realModes->NumberOfColumns(), 6);
  problem.Solve(10);

  ASSERT_EQ(problem.system->NumberOfModes(), 4);
  for (int mode = 0; mode < 4; ++mode) {
    const ComplexVector q = problem.ProjectedShape(mode);
    ASSERT_EQ(q.size(), 4U);
    // As in the residual test: Phi q to ~1e-14 after normalization.
    EXPECT_LE(MaxDifference(problem.PhysicalShape(mode), Normalized(Expand(problem.basis, q))),
              1e-12)
        << mode;
  }
}

// The projected stiffness must be present and the real mode shapes must span
// the subspace; both are checked before anything is logged or stored.
TEST(QVADynCFreqSolveTest, PreconditionsRaiseBeforeAnythingHappens) {
  Problem problem(Basis(4));
  ExpectPlatformError([&] { problem.Solve(); }, kQVASrvInvalidState, {});  // no stiffness
  problem.SetModalStiffness();
  const QVASrvDenseMatrix& realModes = *problem.realModes;
  const std::unique_ptr<QVASrvDenseMatrix> threeColumns(
      realModes.CreateSubMatrix(0, realModes.NumberOfRows() - 1, 0, 2));
  // Three columns for a subspace of four.
  ExpectPlatformError(
      [&] { QVADynCFreqSolve(*problem.system, *threeColumns, 10, 0.0, kWideBand, 0); },
      kQVASrvSizeMismatch, {});
  EXPECT_EQ(problem.capture.Contents(), "");
  EXPECT_EQ(problem.system->NumberOfModes(), 4);
  EXPECT_EQ(problem.system->ImaginaryEigenvalues(), nullptr);
}
