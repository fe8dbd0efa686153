// Example: complex modes of the built-in cantilever. The host writes the real,
// mass-normalized modes of the bar into its model database, then for each
// damping model builds a complex modal system over a modal-database object of
// its own, fills the projected stiffness diag(omega^2) and the projected
// damping of the subspace, and lets QVADynCFreqSolve find the complex modes.
// It prints the natural frequency |lambda| / 2 pi and the damping ratio
// zeta = -Re(lambda) / |lambda| of the lowest modes:
//
//   Rayleigh damping C = alpha M + beta K   V = alpha I + beta diag(omega^2),
//                                           zeta = alpha / (2 omega) + beta omega / 2;
//   Rayleigh plus a dashpot at the tip      V += c phi(tip) phi(tip)^T (couples the
//                                           modes: no longer proportional);
//   structural damping, loss factor g       S = g diag(omega^2), zeta = sin(atan(g) / 2).

#include <cmath>
#include <numbers>
#include <ostream>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCFreqSolve.h"
#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"
#include "QVADynExampleModel.h"
#include "QVADynExamples.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

// Real modes spanning the subspace, complex modes printed.
constexpr int kSubspaceModes = 20;
constexpr int kPrintedModes = 6;

// Target damping ratio of the Rayleigh model at the first and the sixth mode.
constexpr double kRayleighRatio = 0.02;
// Dashpot at the tip along y, N s/m.
constexpr double kTipDashpot = 20.0;
// Loss factor of the structural damping.
constexpr double kLossFactor = 0.04;

// The bar's real modes in a database of its own, and complex frequency
// solves of their subspace with one damping model each.
class ComplexModesOfBar {
 public:
  ComplexModesOfBar(const QVADynExampleContext& context, const QVADynExampleModel& model)
      : context_(context), model_(model) {
    realObject_ = database_.CreateModalSystem(model.NumberOfDofs(), model.NumberOfNodes());
    QVADynLogFile log(context.log);
    QVADynExampleWriteBasis(model, realObject_, log);
  }

  double Omega(int mode) const { return std::sqrt(model_.Eigenvalues()[mode]); }

  // Solves with the projected viscous and structural damping given (n x n
  // column-major; empty for none) and prints the modes under `title`.
  void Solve(const char* title, std::vector<double> viscous, std::vector<double> structural) {
    const int n = kSubspaceModes;
    QVADynLogFile log(context_.log);
    QVAFsmModalSystem complexObject =
        database_.CreateModalSystem(model_.NumberOfDofs(), model_.NumberOfNodes());
    QVADynComplexModalSystem system(model_.CreateDofDefinition(), complexObject, log, n);

    QVASrvMatrix stiffness(n, n);
    for (int mode = 0; mode < n; ++mode) stiffness(mode, mode) = model_.Eigenvalues()[mode];
    system.CreateStiffness(false).SetValues(0, n - 1, 0, n - 1, stiffness);
    if (!viscous.empty()) {
      system.CreateProjectedDamping(QVADynViscousDamping, false)
          .SetValues(0, n - 1, 0, n - 1, QVASrvMatrix(n, n, viscous.data()));
    }
    if (!structural.empty()) {
      system.CreateProjectedDamping(QVADynStructuralDamping, false)
          .SetValues(0, n - 1, 0, n - 1, QVASrvMatrix(n, n, structural.data()));
    }

    const QVASrvDenseMatrix realModes(realObject_.ModeShapes());
    QVADynCFreqSolve(system, realModes, kPrintedModes, 0.0, 1e9, 0);

    std::ostream& out = context_.out;
    const auto flags = out.flags();
    const auto precision = out.precision();
    out << "Complex modes, " << title << ":\n";
    out.setf(std::ios::fixed);
    for (int mode = 0; mode < system.NumberOfModes(); ++mode) {
      const double real = system.RealEigenvalues()[mode];
      const double imaginary = system.ImaginaryEigenvalues()[mode];
      const double magnitude = std::hypot(real, imaginary);
      out.precision(2);
      out << "  mode " << mode + 1 << ": f = " << magnitude / (2.0 * std::numbers::pi)
          << " Hz, damped " << imaginary / (2.0 * std::numbers::pi) << " Hz, zeta = ";
      out.precision(4);
      out << -real / magnitude << "\n";
    }
    out.flags(flags);
    out.precision(precision);
  }

  // V = alpha I + beta diag(omega^2) with zeta = kRayleighRatio at the first
  // and the sixth mode.
  std::vector<double> Rayleigh() const {
    const double first = Omega(0);
    const double sixth = Omega(5);
    const double alpha = 2.0 * kRayleighRatio * first * sixth / (first + sixth);
    const double beta = 2.0 * kRayleighRatio / (first + sixth);
    std::vector<double> viscous(kSubspaceModes * kSubspaceModes, 0.0);
    for (int mode = 0; mode < kSubspaceModes; ++mode) {
      viscous[static_cast<std::size_t>(mode) * (kSubspaceModes + 1)] =
          alpha + beta * model_.Eigenvalues()[mode];
    }
    return viscous;
  }

  // Rayleigh damping plus the dashpot c at the tip's uy: c phi_i(tip) phi_j(tip).
  std::vector<double> RayleighWithTipDashpot() const {
    std::vector<double> viscous = Rayleigh();
    const int tip = model_.Dof(model_.TipNode(), 1);
    const auto phi = [&](int mode) {
      return model_.ModeShapes()[static_cast<std::size_t>(mode) * model_.NumberOfDofs() +
                                 static_cast<std::size_t>(tip)];
    };
    for (int j = 0; j < kSubspaceModes; ++j) {
      for (int i = 0; i < kSubspaceModes; ++i) {
        viscous[static_cast<std::size_t>(i + j * kSubspaceModes)] += kTipDashpot * phi(i) * phi(j);
      }
    }
    return viscous;
  }

  // S = g diag(omega^2).
  std::vector<double> Structural() const {
    std::vector<double> structural(kSubspaceModes * kSubspaceModes, 0.0);
    for (int mode = 0; mode < kSubspaceModes; ++mode) {
      structural[static_cast<std::size_t>(mode) * (kSubspaceModes + 1)] =
          kLossFactor * model_.Eigenvalues()[mode];
    }
    return structural;
  }

 private:
  const QVADynExampleContext& context_;
  const QVADynExampleModel& model_;
  QVASimDatabase database_;
  QVAFsmModalSystem realObject_;
};

}  // namespace

void QVADynExampleComplexModes(const QVADynExampleContext& context) {
  const QVADynExampleModel model;
  ComplexModesOfBar bar(context, model);
  context.out << "Complex modes of the cantilever (" << model.NumberOfDofs() << " DOFs) in the "
              << "subspace of its " << kSubspaceModes << " lowest real modes:\n";
  bar.Solve("Rayleigh damping (2 % at modes 1 and 6)", bar.Rayleigh(), {});
  bar.Solve("Rayleigh damping and a 20 N s/m dashpot at the tip (uy)", bar.RayleighWithTipDashpot(),
            {});
  bar.Solve("structural damping, loss factor 0.04 (zeta = 0.02)", {}, bar.Structural());
}
