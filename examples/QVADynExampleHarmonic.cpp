// Example: steady-state harmonic response of the built-in cantilever. The
// host writes the bar's lowest modes into its model database, together with
// the projected damping of a dashpot that it may attach at the tip, and runs
// two harmonic events over all modes:
//
//   sweep      1 N along y at the tip, 2 % modal damping, 400 frequencies
//              spaced geometrically from 0.1 times the first to 1.1 times
//              the third bending frequency along y; the
//              diagonal method (one complex division per mode and frequency).
//              The tip displacement along y is recovered for every frequency
//              and written as the frequency response function
//              "QVADynExampleHarmonicFRF.csv" (frequency in Hz, real and
//              imaginary part in m/N, magnitude in m/N, phase in degrees);
//              the peak of the sweep is printed.
//   dashpot    the same load at the first peak frequency with the dashpot
//              added: its projected matrix c phi_tip phi_tip^T couples the
//              modes, so the event takes the non-diagonal method (its log
//              block is in the log file). The printed ratio of the two tip
//              amplitudes shows what the dashpot takes out of the resonance.

#include <cmath>
#include <complex>
#include <iomanip>
#include <memory>
#include <ostream>
#include <vector>

#include "QVADyn/QVADynCore/QVADynForce.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynExampleModel.h"
#include "QVADynExamples.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

constexpr int kModes = 12;
constexpr int kFrequencies = 400;
constexpr int kUy = 1;
constexpr double kCriticalFraction = 0.02;
// Dashpot at the tip along y, N s/m.
constexpr double kDashpot = 40.0;
constexpr double kPi = 3.141592653589793;
constexpr char kCsvFileName[] = "QVADynExampleHarmonicFRF.csv";

// The frequency of the n-th (1, 2, ...) bending mode along y among the
// solved modes, or of the last mode when there are fewer.
double BendingYFrequency(const QVADynExampleModel& model, int order) {
  for (int mode = 0; mode < model.NumberOfModes(); ++mode) {
    if (model.Family(mode) == QVADynExampleModeFamily::kBendingY &&
        model.OrderInFamily(mode) == order) {
      return model.Frequency(mode);
    }
  }
  return model.Frequency(model.NumberOfModes() - 1);
}

// A harmonic event over every mode with a unit tip load along y, 2 % modal
// damping and the given frequencies; with `dashpot` it also takes the
// projected viscous damping of the modal system.
class TipLoadEvent {
 public:
  TipLoadEvent(const QVADynExampleModel& model, QVASimDatabase& database,
               const QVAFsmModalSystem& modalObject, const QVADynModalSystem& modal,
               const std::vector<double>& frequencies, bool dashpot)
      : model_(model),
        event_(modal, new QVADynHarmonicSolver, database.CreateModalEventResults(modalObject)) {
    const int modes = model.NumberOfModes();
    std::vector<int> active(static_cast<std::size_t>(modes));
    for (int k = 0; k < modes; ++k) active[static_cast<std::size_t>(k)] = k;
    event_.SetActiveModes(modes, active.data());
    std::vector<QVADynFrameValue> frames(frequencies.size());
    for (std::size_t j = 0; j < frequencies.size(); ++j) frames[j].first = frequencies[j];
    event_.SetFrameValues(static_cast<int>(frames.size()), frames.data());
    const std::vector<QVADynDiagonalDamping> records(
        static_cast<std::size_t>(modes), QVADynDiagonalDamping{0.0, kCriticalFraction, 0.0, 0.0});
    event_.SetDiagonalDamping(modes, records.data());
    if (dashpot) event_.RequestProjectedDamping(1);

    // Modal force of 1 N at the tip along y: phi_k(tip uy), one real pattern.
    auto* pattern = new QVASrvMatrix(modes, 1);
    const int tipDof = model.Dof(model.TipNode(), kUy);
    for (int k = 0; k < modes; ++k) {
      (*pattern)(k, 0) = model.ModeShapes()[static_cast<std::size_t>(k) * model.NumberOfDofs() +
                                            static_cast<std::size_t>(tipDof)];
    }
    const int amplitudeRow = 0;
    event_.LoadCase(0).AdoptForce(new QVADynForce(pattern, &amplitudeRow, 1, nullptr, 0));
    auto* table = new QVASrvMatrix(1, static_cast<int>(frequencies.size()));
    *table = 1.0;
    event_.AdoptAmplitudeTable(table);
  }

  // Solves, recovers the tip and returns its uy displacement per frequency.
  std::vector<std::complex<double>> TipDisplacement(int numberOfFrames) {
    event_.Solve(nullptr);
    const std::unique_ptr<bool[]> flags(
        new bool[static_cast<std::size_t>(model_.NumberOfNodes())]());
    flags[static_cast<std::size_t>(model_.TipNode())] = true;
    const bool* nodes = flags.get();
    event_.Recover(nodes, 1);
    const std::size_t tipEntry =
        static_cast<std::size_t>(model_.TipNode()) * QVADynExampleModel::kPlaces + kUy;
    std::vector<double> real(static_cast<std::size_t>(model_.NumberOfNodes()) *
                             QVADynExampleModel::kPlaces);
    std::vector<double> imaginary(real.size());
    std::vector<std::complex<double>> tip;
    for (int j = 0; j < numberOfFrames; ++j) {
      event_.GetNodalResults(nodes, j, 0, real.data(), QVADynRecoverDisplacement);
      event_.GetImaginaryNodalResults(nodes, j, 0, imaginary.data(), QVADynRecoverDisplacement);
      tip.emplace_back(real[tipEntry], imaginary[tipEntry]);
    }
    return tip;
  }

 private:
  const QVADynExampleModel& model_;
  QVADynHarmonicEvent event_;
};

}  // namespace

void QVADynExampleHarmonic(const QVADynExampleContext& context) {
  const QVADynExampleModel model(QVADynExampleBeam{}, kModes);
  QVASimDatabase database;
  QVAFsmModalSystem modalObject =
      database.CreateModalSystem(model.NumberOfDofs(), model.NumberOfNodes());
  QVADynLogFile log(context.log);
  {
    const int dofs = model.NumberOfDofs();
    const int modes = model.NumberOfModes();
    QVADynModalSystem writer(model.CreateDofDefinition(), modalObject, log);
    writer.SetEigenvalues(model.Eigenvalues().data(), modes, 0, 0);
    std::vector<double> shapes = model.ModeShapes();
    writer.CreateModeShapes(dofs, false)
        .SetValues(0, dofs - 1, 0, modes - 1, QVASrvMatrix(dofs, modes, shapes.data()));
    // The dashpot's projected damping c phi_k(tip) phi_l(tip).
    const int tipDof = model.Dof(model.TipNode(), kUy);
    QVASrvMatrix dashpot(modes, modes);
    for (int l = 0; l < modes; ++l) {
      for (int k = 0; k < modes; ++k) {
        dashpot(k, l) = kDashpot * shapes[static_cast<std::size_t>(k) * dofs + tipDof] *
                        shapes[static_cast<std::size_t>(l) * dofs + tipDof];
      }
    }
    writer.CreateDamping(QVADynViscousDamping, false)
        .SetValues(0, modes - 1, 0, modes - 1, dashpot);
  }
  QVADynModalSystem modal(model.CreateDofDefinition(), modalObject, log);
  modal.Open();

  // Geometric spacing: the same relative resolution (under 1 %, half the
  // 4 % half-power band of a 2 % damped mode) at every peak.
  const double lowest = 0.1 * BendingYFrequency(model, 1);
  const double highest = 1.1 * BendingYFrequency(model, 3);
  std::vector<double> frequencies(kFrequencies);
  for (int j = 0; j < kFrequencies; ++j) {
    frequencies[static_cast<std::size_t>(j)] =
        lowest * std::pow(highest / lowest, static_cast<double>(j) / (kFrequencies - 1));
  }
  TipLoadEvent sweep(model, database, modalObject, modal, frequencies, false);
  const std::vector<std::complex<double>> response = sweep.TipDisplacement(kFrequencies);

  std::vector<std::vector<double>> columns{frequencies, {}, {}, {}, {}};
  int peak = 0;
  for (int j = 0; j < kFrequencies; ++j) {
    const std::complex<double> value = response[static_cast<std::size_t>(j)];
    columns[1].push_back(value.real());
    columns[2].push_back(value.imag());
    columns[3].push_back(std::abs(value));
    columns[4].push_back(std::arg(value) * 180.0 / kPi);
    if (std::abs(value) > std::abs(response[static_cast<std::size_t>(peak)])) peak = j;
  }
  QVADynExampleWriteCsv(kCsvFileName, "frequency,real,imaginary,magnitude,phase", columns);

  const double peakFrequency = frequencies[static_cast<std::size_t>(peak)];
  TipLoadEvent damped(model, database, modalObject, modal, {peakFrequency}, true);
  const std::complex<double> withDashpot = damped.TipDisplacement(1)[0];

  std::ostream& out = context.out;
  const auto flags = out.flags();
  const auto precision = out.precision();
  out << "Harmonic response of the cantilever to 1 N along y at the tip, 2 % modal damping, "
      << kFrequencies << " frequencies from " << std::fixed << std::setprecision(1) << lowest
      << " to " << highest << " Hz:\n";
  out << "  frequency response of the tip (uy) written to " << kCsvFileName << "\n";
  out << "  peak at " << std::setprecision(2) << peakFrequency << " Hz (first bending mode along y "
      << BendingYFrequency(model, 1) << " Hz): |u| = " << std::scientific << std::setprecision(4)
      << std::abs(response[static_cast<std::size_t>(peak)]) << " m/N\n";
  out << "  with a " << std::fixed << std::setprecision(0) << kDashpot
      << " N s/m dashpot at the tip (full modal damping, non-diagonal method): |u| = "
      << std::scientific << std::setprecision(4) << std::abs(withDashpot) << " m/N, " << std::fixed
      << std::setprecision(3)
      << std::abs(withDashpot) / std::abs(response[static_cast<std::size_t>(peak)])
      << " of the peak\n";
  out.flags(flags);
  out.precision(precision);
}
