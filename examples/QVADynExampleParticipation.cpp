// Example: participation factors and effective masses of the built-in
// cantilever. The host writes the bar's real modes into its model database,
// opens a modal system over them and has it compute Gamma = Phi^T M R from
// the sparse mass matrix and the six rigid-body motions R about the clamped
// root (translations along x, y, z, rotations about x, y, z). The modal system
// stores Gamma and the effective masses Gamma^2 with the basis.
//
// The effective-mass fraction of a mode in a direction is its effective mass
// over the direction's total: the bar's mass for a translation, its rotary
// inertia R_j^T M R_j about the root's axis for a rotation. Summed over all
// modes of the discrete model the effective masses give R_j^T M R_j, so the
// sums printed for the solved modes say how much of the bar's mass they
// carry; the clamped root's share is carried by no mode.

#include <iomanip>
#include <ostream>
#include <string>
#include <vector>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynExampleModel.h"
#include "QVADynExamples.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace {

constexpr int kDirections = 6;
constexpr int kPrintedModes = 12;
constexpr const char* kDirectionNames[kDirections] = {"x", "y", "z", "rx", "ry", "rz"};

// R_j^T M R_j for each rigid-body motion j.
std::vector<double> RigidBodyMasses(const QVADynExampleModel& model, QVASrvMatrix& rigidBody) {
  const int dofs = model.NumberOfDofs();
  QVASrvMatrix massTimesRigidBody(dofs, kDirections);
  model.SparseMass().Multiply(rigidBody.Values(), kDirections, massTimesRigidBody.Values(), false);
  std::vector<double> masses(kDirections, 0.0);
  for (int direction = 0; direction < kDirections; ++direction) {
    for (int dof = 0; dof < dofs; ++dof) {
      masses[static_cast<std::size_t>(direction)] +=
          rigidBody(dof, direction) * massTimesRigidBody(dof, direction);
    }
  }
  return masses;
}

}  // namespace

void QVADynExampleParticipation(const QVADynExampleContext& context) {
  const QVADynExampleModel model;
  const int modes = model.NumberOfModes();
  QVADynExampleOpenBasis basis(context, model);
  QVADynModalSystem& modal = basis.Modal();

  const double root[3] = {0.0, 0.0, 0.0};
  QVASrvMatrix rigidBody = model.CreateRigidBodyModes(root);
  modal.CalculateParticipationFactors(model.SparseMass(), modal.DofDefinition(), rigidBody, 0);
  const double* gamma = modal.ParticipationFactors(0);

  std::vector<double> totals = RigidBodyMasses(model, rigidBody);
  for (int axis = 0; axis < 3; ++axis) totals[static_cast<std::size_t>(axis)] = model.TotalMass();
  const auto factor = [&](int mode, int direction) { return gamma[mode + modes * direction]; };
  const auto fraction = [&](int mode, int direction) {
    return factor(mode, direction) * factor(mode, direction) /
           totals[static_cast<std::size_t>(direction)];
  };

  std::ostream& out = context.out;
  const auto flags = out.flags();
  const auto precision = out.precision();
  out << "Participation factors of the cantilever (" << modes << " modes, mass "
      << std::setprecision(4) << model.TotalMass() << " kg), rigid-body motions about the root:\n";
  const auto header = [&](const char* title) {
    out << "  " << title << "\n"
        << std::left << "  " << std::setw(6) << "mode" << std::setw(10) << "f [Hz]" << std::setw(11)
        << "family" << std::right;
    for (const char* name : kDirectionNames) out << std::setw(11) << name;
    out << "\n";
  };
  const auto modeLabel = [&](int mode) {
    out << std::left << "  " << std::setw(6) << mode << std::fixed << std::setprecision(2)
        << std::setw(10) << model.Frequency(mode) << std::setw(11)
        << QVADynExampleModeFamilyName(model.Family(mode)) << std::right;
  };

  header("Gamma (kg^0.5 for x, y, z; kg^0.5 m for rx, ry, rz)");
  for (int mode = 0; mode < kPrintedModes; ++mode) {
    modeLabel(mode);
    out << std::scientific << std::setprecision(3);
    for (int direction = 0; direction < kDirections; ++direction) {
      out << std::setw(11) << factor(mode, direction);
    }
    out << "\n";
  }

  header("Effective-mass fraction (Gamma^2 / total)");
  std::vector<double> sums(kDirections, 0.0);
  for (int mode = 0; mode < modes; ++mode) {
    for (int direction = 0; direction < kDirections; ++direction) {
      sums[static_cast<std::size_t>(direction)] += fraction(mode, direction);
    }
    if (mode >= kPrintedModes) continue;
    modeLabel(mode);
    out << std::fixed << std::setprecision(4);
    for (int direction = 0; direction < kDirections; ++direction) {
      out << std::setw(11) << fraction(mode, direction);
    }
    out << "\n";
  }
  out << std::left << "  " << std::setw(27) << ("sum of " + std::to_string(modes) + " modes")
      << std::right << std::fixed << std::setprecision(4);
  for (double sum : sums) out << std::setw(11) << sum;
  out << "\n"
      << std::left << "  " << std::setw(27) << "total (kg; kg m^2)" << std::right << std::scientific
      << std::setprecision(3);
  for (double total : totals) out << std::setw(11) << total;
  out << "\n";
  out.flags(flags);
  out.precision(precision);
}
