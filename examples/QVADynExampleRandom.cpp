// Example: modal load cross-spectra of a random pressure-like load on the
// built-in cantilever. The host writes the bar's real modes into its model
// database, opens a modal system over them, and lets a random event form the
// cross-spectral matrix of the generalized loads of the lowest modes for one
// load pattern, a unit transverse load (uy, 1 N) at every free node, under
// four spatial correlations:
//
//   fully correlated          S(i, j) = 1             diagonal (sum_n phi_n)^2
//   uncorrelated              S(i, i) = 1             diagonal sum_n phi_n^2
//   convected at U along x    S(i, j) = exp(i w (x_j - x_i) / U)
//                                                     diagonal |sum_n phi_n exp(i w x_n / U)|^2
//   partially coherent        S(i, j) = exp(-|x_j - x_i| / L), given by the
//                             host's user correlation
//
// The event returns the pairs j >= i with the node-DOF diagonal halved; the
// host adds the conjugate transpose, so the diagonal printed is 2 Re B(a, a).
// Only bending modes along y are driven by a load along y; the others print
// (near) zero.

#include <cmath>
#include <iomanip>
#include <numbers>
#include <ostream>
#include <vector>

#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADyn/QVADynCore/QVADynRandomEvent.h"
#include "QVADynExampleModel.h"
#include "QVADynExamples.h"
#include "platform/host/QVADynRandomLoadProvider.h"

namespace {

constexpr int kPrintedModes = 6;
constexpr int kUy = 1;
// Convection speed (m/s) and frequency (Hz) of the convected field.
constexpr double kConvectionSpeed = 100.0;
constexpr double kFrequency = 200.0;
// Coherence length of the partially coherent field, m.
constexpr double kCoherenceLength = 0.2;

// The host's loads: one pattern, 1 N along y at every node, the nodes of the
// bar with their coordinates, and an exponentially decaying coherence.
class UniformTransverseLoad : public QVADynRandomLoadProvider {
 public:
  explicit UniformTransverseLoad(const QVADynExampleModel& model)
      : model_(model), loads_(QVADynExampleModel::kPlaces, 0.0) {
    loads_[kUy] = 1.0;
  }

  void Begin(double* /*block*/, int /*key*/, const void* /*context*/) override {}
  int NumberOfNodes() override { return model_.NumberOfNodes(); }
  const double* NodalLoads(int /*node*/) override { return loads_.data(); }
  const double* NodeCoordinates(int node) override { return model_.Coordinates(node); }
  void End() override {}
  void UserCorrelation(const char* /*spectrumName*/, double* real, double* imaginary,
                       const int* /*one*/, const int* /*key*/, const int* /*node1*/,
                       const int* /*dof1*/, const int* /*node2*/, const int* /*dof2*/,
                       const double* coordinates1, const double* coordinates2) override {
    *real = std::exp(-std::fabs(coordinates2[0] - coordinates1[0]) / kCoherenceLength);
    *imaginary = 0.0;
  }

 private:
  const QVADynExampleModel& model_;
  std::vector<double> loads_;
};

// A correlation of `type` with a nodal-load spectrum and one entry for
// pattern 1 holding (first, second, third).
QVADynCorrelation* Correlation(QVADynCorrelationType type, bool userDefined, double first,
                               double second, double third) {
  auto* correlation = new QVADynCorrelation(type, userDefined, false);
  auto* spectrum = new QVADynPSD(false, 0.0);
  spectrum->setPSDName("PRESSURE");
  correlation->SetPSD(spectrum);
  correlation->AdoptCorrelationData(1, new QVADynCorrelationData(first, second, third));
  return correlation;
}

}  // namespace

void QVADynExampleRandom(const QVADynExampleContext& context) {
  const QVADynExampleModel model;
  QVADynExampleOpenBasis basis(context, model);
  QVADynModalSystem& modal = basis.Modal();

  UniformTransverseLoad provider(model);
  // The clamped root carries no DOF; it takes no part.
  std::vector<int> nodeActive(static_cast<std::size_t>(model.NumberOfNodes()), 1);
  nodeActive[static_cast<std::size_t>(model.RootNode())] = 0;

  const int m = kPrintedModes;
  std::vector<double> blocks;
  {
    QVADynRandomEvent event(&modal);
    int modes[kPrintedModes];
    for (int a = 0; a < m; ++a) modes[a] = a + 1;
    event.SetActiveModes(modes, m);
    event.AdoptCorrelation(Correlation(QVADynCorrelationCorrelated, false, 1.0, 0.0, 0.0));
    event.AdoptCorrelation(Correlation(QVADynCorrelationUncorrelated, false, 1.0, 0.0, 0.0));
    event.AdoptCorrelation(
        Correlation(QVADynCorrelationJetNoise, false, kConvectionSpeed, 0.0, 0.0));
    event.AdoptCorrelation(Correlation(QVADynCorrelationCorrelated, true, 1.0, 0.0, 0.0));
    event.SetLoadProvider(&provider);
    blocks.assign(static_cast<std::size_t>(event.NumberOfBlocks()) * 2 * m * m, 0.0);
    event.ComputeModalLoad(blocks.data(), nodeActive.data());
    event.ComputeJetNoiseModalLoad(blocks.data(), nodeActive.data(),
                                   2.0 * std::numbers::pi * kFrequency);
  }

  // Diagonal of block k plus its conjugate transpose, mode position a.
  const auto diagonal = [&](int block, int a) {
    return 2.0 * blocks[static_cast<std::size_t>(block) * 2 * m * m +
                        static_cast<std::size_t>(a) * m + static_cast<std::size_t>(a)];
  };
  // The fully correlated diagonal directly: (sum over nodes of phi_uy)^2.
  const auto directSquare = [&](int mode) {
    double sum = 0.0;
    for (int node = 1; node < model.NumberOfNodes(); ++node) {
      sum += model.ModeShapes()[static_cast<std::size_t>(mode) * model.NumberOfDofs() +
                                static_cast<std::size_t>(model.Dof(node, kUy))];
    }
    return sum * sum;
  };

  std::ostream& out = context.out;
  const auto flags = out.flags();
  const auto precision = out.precision();
  out << "Random loads on the cantilever: 1 N along y at each of its " << model.NumberOfNodes() - 1
      << " free nodes; diagonal of Phi^T S Phi per unit PSD:\n";
  out << "  fully correlated (check: (sum phi_uy)^2), uncorrelated, convected at "
      << kConvectionSpeed << " m/s and " << kFrequency << " Hz, coherent over " << kCoherenceLength
      << " m\n";
  out << std::left << "  " << std::setw(6) << "mode" << std::setw(10) << "f [Hz]" << std::setw(11)
      << "family" << std::right;
  for (const char* title : {"correlated", "(check)", "uncorrelated", "convected", "coherent"}) {
    out << std::setw(13) << title;
  }
  out << "\n";
  for (int a = 0; a < m; ++a) {
    out << std::left << "  " << std::setw(6) << a + 1 << std::fixed << std::setprecision(2)
        << std::setw(10) << model.Frequency(a) << std::setw(11)
        << QVADynExampleModeFamilyName(model.Family(a)) << std::right << std::scientific
        << std::setprecision(4);
    for (double value :
         {diagonal(0, a), directSquare(a), diagonal(1, a), diagonal(2, a), diagonal(3, a)}) {
      out << std::setw(13) << value;
    }
    out << "\n";
  }
  out.flags(flags);
  out.precision(precision);
}
