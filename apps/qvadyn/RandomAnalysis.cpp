#include "RandomAnalysis.h"

#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <numeric>
#include <set>
#include <sstream>

#include "Analyses.h"
#include "Distribution.h"
#include "Error.h"
#include "JobTables.h"
#include "QVADyn/QVADynCore/QVADynCorrelation.h"
#include "QVADyn/QVADynCore/QVADynRandomEvent.h"
#include "platform/base/mem_Alloc.h"

extern "C" {
// LAPACK (OpenBLAS): solves A X = B for general complex A by LU.
void zgesv_(const int* n, const int* numRhs, std::complex<double>* a, const int* lda, int* pivots,
            std::complex<double>* b, const int* ldb, int* info);
}

namespace qvadyn {

void PsdTable::Check() const {
  if (frequencies.size() != values.size() || frequencies.size() < 2) {
    throw Error(name + ": a PSD table needs at least two rows of (frequency, value)");
  }
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    if (!(frequencies[i] > 0.0) || (i > 0 && !(frequencies[i] > frequencies[i - 1]))) {
      throw Error(name + ": row " + std::to_string(i + 1) + ": frequency " +
                  std::to_string(frequencies[i]) + " is not positive and ascending");
    }
    if (!(values[i] > 0.0) || !std::isfinite(values[i])) {
      throw Error(name + ": row " + std::to_string(i + 1) + ": value " + std::to_string(values[i]) +
                  " is not positive (log-log interpolation needs positive values)");
    }
  }
}

double PsdTable::Interpolate(double frequency) const {
  if (frequency < frequencies.front() || frequency > frequencies.back()) return 0.0;
  const auto upper = static_cast<std::size_t>(
      std::upper_bound(frequencies.begin(), frequencies.end(), frequency) - frequencies.begin());
  if (upper == frequencies.size()) return values.back();
  const std::size_t lower = upper - 1;
  const double slope =
      std::log(values[upper] / values[lower]) / std::log(frequencies[upper] / frequencies[lower]);
  return values[lower] * std::pow(frequency / frequencies[lower], slope);
}

double PsdTable::Area() const {
  double area = 0.0;
  for (std::size_t i = 0; i + 1 < frequencies.size(); ++i) {
    const double ratio = frequencies[i + 1] / frequencies[i];
    const double slope = std::log(values[i + 1] / values[i]) / std::log(ratio);
    // Integral of v_i (f / f_i)^slope from f_i to f_i+1; slope -1 is the logarithm.
    area += std::abs(slope + 1.0) < 1e-12
                ? values[i] * frequencies[i] * std::log(ratio)
                : values[i] * frequencies[i] / (slope + 1.0) * (std::pow(ratio, slope + 1.0) - 1.0);
  }
  return area;
}

std::vector<double> RmsOverBand(const std::vector<double>& frequencies,
                                const std::vector<double>& psd) {
  const std::size_t numFrequencies = frequencies.size();
  const std::size_t numOutputs = numFrequencies == 0 ? 0 : psd.size() / numFrequencies;
  std::vector<double> rms(numOutputs, 0.0);
  for (std::size_t i = 0; i + 1 < numFrequencies; ++i) {
    const double halfWidth = 0.5 * (frequencies[i + 1] - frequencies[i]);
    for (std::size_t o = 0; o < numOutputs; ++o) {
      rms[o] += halfWidth * (psd[i * numOutputs + o] + psd[(i + 1) * numOutputs + o]);
    }
  }
  for (double& value : rms) value = std::sqrt(value);
  return rms;
}

RandomResponse ComputeRandomResponse(const RandomProblem& problem) {
  using Complex = std::complex<double>;
  const auto numModes = static_cast<int>(problem.eigenvalues.size());
  const std::size_t squareSize = static_cast<std::size_t>(numModes) * numModes;
  const bool diagonal = problem.viscousMatrix.empty() && problem.structuralMatrix.empty();
  if (numModes == 0 || problem.outputShapes.size() % numModes != 0 ||
      (diagonal && problem.dampingRatios.size() != problem.eigenvalues.size()) ||
      (!problem.structuralDamping.empty() &&
       problem.structuralDamping.size() != problem.eigenvalues.size()) ||
      (!problem.viscousMatrix.empty() && problem.viscousMatrix.size() != squareSize) ||
      (!problem.structuralMatrix.empty() && problem.structuralMatrix.size() != squareSize)) {
    throw Error("random response: sizes of modes, damping and outputs disagree");
  }
  for (const RandomExcitation& excitation : problem.excitations) {
    excitation.psd.Check();
    if (!excitation.blockAt && excitation.modalBlock.size() != squareSize) {
      throw Error(excitation.psd.name + ": modal cross-spectrum is not modes x modes");
    }
  }
  const int numOutputs = static_cast<int>(problem.outputShapes.size()) / numModes;
  const std::size_t numFrequencies = problem.frequencies.size();

  RandomResponse response;
  response.displacementPsd.resize(numFrequencies * static_cast<std::size_t>(numOutputs));
  std::vector<Complex> loadSpectrum(squareSize);
  std::vector<Complex> varyingBlock(squareSize);
  std::vector<Complex> responseT(static_cast<std::size_t>(numModes) * numOutputs);  // A^T
  std::vector<Complex> product(responseT.size());                                   // A S_Q
  std::vector<Complex> stiffnessT(diagonal ? 0 : squareSize);
  std::vector<int> pivots(static_cast<std::size_t>(numModes));
  const Complex one(1.0, 0.0);
  const Complex zero(0.0, 0.0);
  for (std::size_t i = 0; i < numFrequencies; ++i) {
    const double frequency = problem.frequencies[i];
    const double omega = 2.0 * std::numbers::pi * frequency;

    std::fill(loadSpectrum.begin(), loadSpectrum.end(), zero);
    for (const RandomExcitation& excitation : problem.excitations) {
      const double density = excitation.psd.Interpolate(frequency);
      if (density == 0.0) continue;
      if (excitation.blockAt) excitation.blockAt(omega, varyingBlock);
      const Complex* block =
          excitation.blockAt ? varyingBlock.data() : excitation.modalBlock.data();
      for (int l = 0; l < numModes; ++l) {
        for (int k = 0; k < numModes; ++k) {
          loadSpectrum[l * numModes + k] +=
              density * (block[l * numModes + k] + std::conj(block[k * numModes + l]));
        }
      }
    }

    // A^T (modes x outputs): column o holds output o's row of Phi_out H.
    for (int o = 0; o < numOutputs; ++o) {
      for (int k = 0; k < numModes; ++k) {
        responseT[o * numModes + k] = problem.outputShapes[k * numOutputs + o];
      }
    }
    if (diagonal) {
      for (int k = 0; k < numModes; ++k) {
        const double lambda = problem.eigenvalues[k];
        const double g = problem.structuralDamping.empty() ? 0.0 : problem.structuralDamping[k];
        const Complex stiffness(
            lambda - omega * omega,
            2.0 * problem.dampingRatios[k] * std::sqrt(lambda) * omega + g * lambda);
        if (stiffness == zero) {
          throw Error("random response: mode " + std::to_string(k + 1) +
                      " is undamped and resonant at " + std::to_string(frequency) + " Hz");
        }
        const Complex receptance = one / stiffness;
        for (int o = 0; o < numOutputs; ++o) responseT[o * numModes + k] *= receptance;
      }
    } else {
      // Z^T with Z = Lambda - w^2 I + i w C + i G; A^T = Z^-T Phi_out^T.
      for (int l = 0; l < numModes; ++l) {
        for (int k = 0; k < numModes; ++k) {
          const std::size_t at = static_cast<std::size_t>(k) * numModes + l;  // Z(k, l)
          const double c = problem.viscousMatrix.empty() ? 0.0 : problem.viscousMatrix[at];
          const double g = problem.structuralMatrix.empty() ? 0.0 : problem.structuralMatrix[at];
          stiffnessT[l * numModes + k] =
              Complex(k == l ? problem.eigenvalues[k] - omega * omega : 0.0, omega * c + g);
        }
      }
      int info = 0;
      zgesv_(&numModes, &numOutputs, stiffnessT.data(), &numModes, pivots.data(), responseT.data(),
             &numModes, &info);
      if (info != 0) {
        throw Error("random response: the modal dynamic stiffness is singular at " +
                    std::to_string(frequency) + " Hz (zgesv info " + std::to_string(info) + ")");
      }
    }

    // A S_Q (outputs x modes), then S_u(o) = Re sum_k (A S_Q)(o, k) conj(A(o, k)).
    cblas_zgemm(CblasColMajor, CblasTrans, CblasNoTrans, numOutputs, numModes, numModes, &one,
                responseT.data(), numModes, loadSpectrum.data(), numModes, &zero, product.data(),
                numOutputs);
    for (int o = 0; o < numOutputs; ++o) {
      double density = 0.0;
      for (int k = 0; k < numModes; ++k) {
        const Complex a = responseT[o * numModes + k];
        const Complex y = product[k * numOutputs + o];
        density += y.real() * a.real() + y.imag() * a.imag();
      }
      // A response PSD is non-negative; round-off of a near-zero response may not be.
      response.displacementPsd[i * numOutputs + o] = std::max(density, 0.0);
    }
  }

  response.velocityPsd = response.displacementPsd;
  response.accelerationPsd = response.displacementPsd;
  for (std::size_t i = 0; i < numFrequencies; ++i) {
    const double omegaSquared = std::pow(2.0 * std::numbers::pi * problem.frequencies[i], 2);
    for (int o = 0; o < numOutputs; ++o) {
      response.velocityPsd[i * numOutputs + o] *= omegaSquared;
      response.accelerationPsd[i * numOutputs + o] *= omegaSquared * omegaSquared;
    }
  }
  response.displacementRms = RmsOverBand(problem.frequencies, response.displacementPsd);
  response.velocityRms = RmsOverBand(problem.frequencies, response.velocityPsd);
  response.accelerationRms = RmsOverBand(problem.frequencies, response.accelerationPsd);
  return response;
}

}  // namespace qvadyn

// ---------------------------------------------------------------------------
// The random analysis of a job: settings from the job file, the modal load
// cross-spectra from the component's random event, results and CSV files.

namespace qvadyn {
namespace {

constexpr int kPlaces = 6;  // DOF places per node of the application's DOF definition

// Load patterns of the provider nodes (the component's nodes): pattern p of
// node n at p * kPlaces + place.
class PatternProvider : public QVADynRandomLoadProvider {
 public:
  PatternProvider(const Model& model, int numPatterns)
      : numPatterns_(numPatterns),
        loads_(static_cast<std::size_t>(model.NumNodes()) * numPatterns * kPlaces, 0.0),
        coordinates_(3 * static_cast<std::size_t>(model.NumNodes()), 0.0),
        numNodes_(model.NumNodes()) {
    const Basis& basis = model.GetBasis();
    for (std::size_t i = 0; i < basis.nodeIds.size(); ++i) {
      const int node = model.Node(basis.nodeIds[i]);
      if (node < 0) continue;
      std::copy_n(basis.nodeCoordinates.begin() + static_cast<std::ptrdiff_t>(3 * i), 3,
                  coordinates_.begin() + 3 * node);
    }
  }
  double& Load(int node, int pattern, int place) {
    return loads_[(static_cast<std::size_t>(node) * numPatterns_ + pattern) * kPlaces + place];
  }
  void Begin(double*, int, const void*) override {}
  int NumberOfNodes() override { return numNodes_; }
  const double* NodalLoads(int node) override {
    return loads_.data() + static_cast<std::size_t>(node) * numPatterns_ * kPlaces;
  }
  const double* NodeCoordinates(int node) override {
    return coordinates_.data() + 3 * static_cast<std::size_t>(node);
  }
  void End() override {}
  void UserCorrelation(const char*, double* real, double* imaginary, const int*, const int*,
                       const int*, const int*, const int*, const int*, const double*,
                       const double*) override {
    *real = 1.0;
    *imaginary = 0.0;
  }

 private:
  int numPatterns_;
  std::vector<double> loads_;
  std::vector<double> coordinates_;
  int numNodes_;
};

// The rows of the nodes `loaded` (whole nodes, in the basis's row order) as a
// basis of their own, with every mode and those nodes' coordinates. Each
// process fills the shapes of the rows of its block and the sums over the
// processes complete them, so every process must call it.
Basis LoadedNodesBasis(const Model& model, const std::set<std::int64_t>& loaded) {
  const Basis& basis = model.GetBasis();
  const int m = basis.NumModes();
  Basis part;
  part.eigenvalues = basis.eigenvalues;
  part.numAcousticModes = basis.numAcousticModes;
  part.numResidualModes = basis.numResidualModes;
  for (std::size_t row = 0; row < basis.dofNodes.size(); ++row) {
    if (!loaded.contains(basis.dofNodes[row])) continue;
    part.dofNodes.push_back(basis.dofNodes[row]);
    part.dofComponents.push_back(basis.dofComponents[row]);
  }
  for (std::size_t i = 0; i < basis.nodeIds.size(); ++i) {
    if (!loaded.contains(basis.nodeIds[i])) continue;
    part.nodeIds.push_back(basis.nodeIds[i]);
    const auto first = basis.nodeCoordinates.begin() + static_cast<std::ptrdiff_t>(3 * i);
    part.nodeCoordinates.insert(part.nodeCoordinates.end(), first, first + 3);
  }
  const std::size_t numRows = part.dofNodes.size();
  part.modes.assign(numRows * static_cast<std::size_t>(m), 0.0);
  for (std::size_t i = 0; i < numRows; ++i) {
    const std::int64_t row = model.Row(part.dofNodes[i], part.dofComponents[i]);
    if (row < 0) continue;  // another process's row
    const std::vector<double> shape = model.ShapeRow(row);
    for (int k = 0; k < m; ++k) part.modes[static_cast<std::size_t>(k) * numRows + i] = shape[k];
  }
  SumOverProcesses(part.modes.data(), part.modes.size());
  return part;
}

// Block `index` of the event's output (R then I, entry (a, b) at a m + b) as
// B column-major: B(a, b) at b m + a.
void BlockFromEvent(const std::vector<double>& out, int index, int m,
                    std::vector<std::complex<double>>& block) {
  const std::size_t squareSize = static_cast<std::size_t>(m) * m;
  const double* real = out.data() + 2 * squareSize * static_cast<std::size_t>(index);
  const double* imaginary = real + squareSize;
  block.resize(squareSize);
  for (int a = 0; a < m; ++a) {
    for (int b = 0; b < m; ++b) {
      block[static_cast<std::size_t>(b) * m + a] = {real[a * m + b], imaginary[a * m + b]};
    }
  }
}

}  // namespace

std::shared_ptr<const RandomSettings> ReadRandomSettings(const std::string& path,
                                                         const toml::table& table,
                                                         const std::string& context) {
  using namespace jobtables;
  const std::string folder = std::filesystem::path(path).parent_path().string();
  AllowOnly(path, table, context, {"type", "frequencies", "range", "points", "bias", "excitation"});
  auto settings = std::make_shared<RandomSettings>();
  auto fail = [&](const toml::node& node, const std::string& key, const std::string& message) {
    throw Error(Where(path, node) + ": '" + key + "'" + context + ": " + message);
  };
  if (const toml::node* node = table.get("frequencies")) {
    const auto* list = node->as_array();
    if (!list) fail(*node, "frequencies", "expected a list of frequencies [Hz]");
    for (const toml::node& value : *list) {
      settings->frequencies.push_back(Number(path, value, "frequencies", context));
      const std::size_t n = settings->frequencies.size();
      if (!(settings->frequencies[n - 1] > 0.0) ||
          (n > 1 && !(settings->frequencies[n - 1] > settings->frequencies[n - 2]))) {
        fail(value, "frequencies", "frequencies must be positive and increase");
      }
    }
  }
  if (const toml::node* node = table.get("range")) {
    const auto* range = node->as_array();
    if (!settings->frequencies.empty()) fail(*node, "range", "give 'frequencies' or 'range'");
    if (!range || range->size() != 2) fail(*node, "range", "expected [low, high] in Hz");
    settings->rangeLow = Number(path, *range->get(0), "range", context);
    settings->rangeHigh = Number(path, *range->get(1), "range", context);
    if (!(settings->rangeLow > 0.0 && settings->rangeHigh > settings->rangeLow)) {
      fail(*node, "range", "expected [low, high] with 0 < low < high");
    }
    if (const toml::node* points = table.get("points")) {
      settings->points = static_cast<int>(Number(path, *points, "points", context));
      if (settings->points < 2) fail(*points, "points", "expected at least 2");
    }
    if (const toml::node* bias = table.get("bias")) {
      settings->bias = Number(path, *bias, "bias", context);
      if (settings->bias < 1.0) fail(*bias, "bias", "expected 1 or more");
    }
  } else if (settings->frequencies.empty()) {
    throw Error(Where(path, table) + ": missing key 'frequencies' or 'range'" + context);
  }
  const toml::node* excitations = table.get("excitation");
  const toml::array* list = excitations ? excitations->as_array() : nullptr;
  if (!list || list->empty()) {
    throw Error(Where(path, table) + ": missing [[analysis.NAME.excitation]] tables" + context);
  }
  const std::string excitationContext = context.substr(0, context.size() - 1) + ".excitation]]";
  for (const toml::node& entry : *list) {
    const auto* excitation = entry.as_table();
    if (!excitation) fail(entry, "excitation", "expected tables [[...excitation]]");
    const std::string inner = " in [" + excitationContext.substr(4);
    AllowOnly(path, *excitation, inner,
              {"psd", "loads", "correlation", "velocity", "base_acceleration"});
    RandomExcitationSettings settingsOf;
    settingsOf.where = Where(path, entry);
    for (const auto& row : Rows(path, *excitation, "psd", inner, folder, 2)) {
      settingsOf.psd.frequencies.push_back(row[0]);
      settingsOf.psd.values.push_back(row[1]);
    }
    settingsOf.psd.name = Where(path, *excitation->get("psd")) + ": 'psd'" + inner;
    settingsOf.psd.Check();
    const toml::node* loads = excitation->get("loads");
    const toml::node* base = excitation->get("base_acceleration");
    if ((loads == nullptr) == (base == nullptr)) {
      throw Error(settingsOf.where + ": give either 'loads' or 'base_acceleration'" + inner);
    }
    if (base) {
      settingsOf.kind = RandomExcitationSettings::Kind::kBase;
      const auto* directions = base->as_array();
      if (!directions || directions->empty()) {
        fail(*base, "base_acceleration", "expected a list of directions (1, 2, 3)");
      }
      for (const toml::node& direction : *directions) {
        const double value = Number(path, direction, "base_acceleration", inner);
        if (value != 1.0 && value != 2.0 && value != 3.0) {
          fail(direction, "base_acceleration", "directions are 1, 2 or 3 (x, y, z)");
        }
        settingsOf.directions.push_back(static_cast<int>(value));
      }
    } else {
      for (const auto& row : Rows(path, *excitation, "loads", inner, folder, 3)) {
        if (row[1] < 1 || row[1] > 6 || row[1] != std::floor(row[1])) {
          fail(*loads, "loads", "component " + std::to_string(row[1]) + " is not 1 to 6");
        }
        settingsOf.loads.push_back({static_cast<std::int64_t>(row[0]), static_cast<int>(row[1]),
                                    row[2], Where(path, *loads)});
      }
      const std::string correlation = excitation->get("correlation")
                                          ? excitation->get("correlation")->value_or(std::string())
                                          : std::string("correlated");
      static const std::vector<std::string> kKinds = {"correlated", "uncorrelated", "convected"};
      const auto found = std::find(kKinds.begin(), kKinds.end(), correlation);
      if (found == kKinds.end()) {
        std::string message = "unknown correlation '" + correlation + "'";
        const std::string suggestion = Suggest(correlation, kKinds);
        if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
        fail(*excitation->get("correlation"), "correlation", message);
      }
      settingsOf.kind = static_cast<RandomExcitationSettings::Kind>(found - kKinds.begin());
      if (settingsOf.kind == RandomExcitationSettings::Kind::kConvected) {
        const toml::node* velocity = excitation->get("velocity");
        const auto* vector = velocity ? velocity->as_array() : nullptr;
        if (!vector || vector->size() != 3) {
          throw Error(settingsOf.where + ": a convected field needs 'velocity' = [vx, vy, vz]" +
                      inner);
        }
        for (int k = 0; k < 3; ++k) {
          settingsOf.velocity[k] = Number(path, *vector->get(k), "velocity", inner);
        }
        if (settingsOf.velocity[0] == 0.0 && settingsOf.velocity[1] == 0.0 &&
            settingsOf.velocity[2] == 0.0) {
          fail(*velocity, "velocity", "the convection velocity must not be zero");
        }
      }
    }
    if (settingsOf.kind != RandomExcitationSettings::Kind::kConvected &&
        excitation->get("velocity")) {
      throw Error(Where(path, *excitation->get("velocity")) + ": 'velocity'" + inner +
                  ": only a convected field (correlation = \"convected\") moves with a velocity");
    }
    settings->excitations.push_back(std::move(settingsOf));
  }
  return settings;
}

AnalysisSummary RunRandom(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  const RandomSettings& settings = *analysis.random;
  Model& model = context.model;
  const Basis& basis = model.GetBasis();
  const int m = basis.NumModes();
  const auto numExcitations = static_cast<int>(settings.excitations.size());
  const std::string prefix = analysis.where + ": [analysis." + analysis.name + "]: ";

  RandomProblem problem;
  problem.eigenvalues = basis.eigenvalues;
  problem.frequencies = settings.frequencies;
  if (problem.frequencies.empty()) {
    // Clustered around the natural frequencies, plus the corners of the PSD
    // tables inside the range, where the input's slope changes, and a point
    // just outside each end of a table, where it drops to zero, so that the
    // trapezoidal rule does not spread the step over a whole interval.
    problem.frequencies =
        ClusteredFrequencies(settings.rangeLow, settings.rangeHigh, settings.points, settings.bias,
                             model.NaturalFrequencies());
    for (const RandomExcitationSettings& excitation : settings.excitations) {
      std::vector<double> corners = excitation.psd.frequencies;
      corners.push_back(corners.front() * (1.0 - 1e-6));
      corners.push_back(corners.back() * (1.0 + 1e-6));
      for (const double corner : corners) {
        if (corner > settings.rangeLow && corner < settings.rangeHigh) {
          problem.frequencies.push_back(corner);
        }
      }
    }
    std::sort(problem.frequencies.begin(), problem.frequencies.end());
    problem.frequencies.erase(std::unique(problem.frequencies.begin(), problem.frequencies.end()),
                              problem.frequencies.end());
  }
  // Damping in force: per-mode records on the diagonal, projected matrices in full.
  int projected = 0;
  const std::vector<QVADynDiagonalDamping> records = DampingRecords(context.job, model, projected);
  std::vector<double> viscousDiagonal(static_cast<std::size_t>(m));
  std::vector<double> structuralDiagonal(static_cast<std::size_t>(m));
  for (int k = 0; k < m; ++k) {
    const double lambda = std::max(basis.eigenvalues[k], 0.0);
    viscousDiagonal[k] = 2.0 * records[k].criticalFraction * std::sqrt(lambda) +
                         records[k].massFactor + records[k].stiffnessFactor * lambda;
    structuralDiagonal[k] = records[k].structural * lambda;
  }
  if (projected != 0) {
    problem.viscousMatrix.assign(static_cast<std::size_t>(m) * m, 0.0);
    problem.structuralMatrix.assign(problem.viscousMatrix.size(), 0.0);
    if (projected & 1) problem.viscousMatrix = basis.viscousDamping;
    if (projected & 2) problem.structuralMatrix = basis.structuralDamping;
    for (int k = 0; k < m; ++k) {
      problem.viscousMatrix[static_cast<std::size_t>(k) * m + k] += viscousDiagonal[k];
      problem.structuralMatrix[static_cast<std::size_t>(k) * m + k] += structuralDiagonal[k];
    }
  } else {
    for (int k = 0; k < m; ++k) {
      const double omega = std::sqrt(std::max(basis.eigenvalues[k], 0.0));
      // The receptance uses 2 zeta omega_k and g omega_k^2; a rigid mode keeps c and g as given.
      problem.dampingRatios.push_back(omega > 0.0 ? viscousDiagonal[k] / (2.0 * omega) : 0.0);
      problem.structuralDamping.push_back(
          basis.eigenvalues[k] > 0.0 ? structuralDiagonal[k] / basis.eigenvalues[k] : 0.0);
    }
  }

  // The loads are checked against the whole basis, whichever process holds
  // their rows.
  std::set<std::int64_t> loadedNodes;
  for (const RandomExcitationSettings& excitation : settings.excitations) {
    for (const auto& load : excitation.loads) {
      if (!model.HasDof(load.node, load.component)) {
        throw Error(load.where + ": 'loads' in [analysis." + analysis.name + ".excitation]: node " +
                    std::to_string(load.node) + " component " + std::to_string(load.component) +
                    ": the basis has no such DOF");
      }
      loadedNodes.insert(load.node);
    }
  }
  // The cross-spectra pair the rows of different nodes, which the blocks of
  // several processes cannot add up: there every process runs the event over
  // the same small model of the loaded nodes' rows (none for base motion
  // alone). The model keeps its basis by reference: declared first, the basis
  // outlives it.
  Basis loadedBasis;
  std::unique_ptr<Model> loadedModel;
  if (Distributed()) {
    loadedBasis = LoadedNodesBasis(model, loadedNodes);
    loadedModel = std::make_unique<Model>(loadedBasis, model.Log());
  }
  Model& eventModel = loadedModel ? *loadedModel : model;

  // The modal load cross-spectra from the component's random event: one load
  // pattern (key c + 1) and one correlation per excitation.
  PatternProvider provider(eventModel, numExcitations);
  std::vector<int> nodeActive(static_cast<std::size_t>(eventModel.NumNodes()), 0);
  bool anyBase = false;
  QVADynRandomEvent event(&eventModel.Modal());
  std::vector<int> modes(static_cast<std::size_t>(m));
  std::iota(modes.begin(), modes.end(), 1);
  event.SetActiveModes(modes.data(), m);
  event.SetLoadProvider(&provider);
  for (int c = 0; c < numExcitations; ++c) {
    const RandomExcitationSettings& excitation = settings.excitations[c];
    using Kind = RandomExcitationSettings::Kind;
    for (const auto& load : excitation.loads) {
      const int node = eventModel.Node(load.node);
      provider.Load(node, c, load.component - 1) += load.scale;
      nodeActive[static_cast<std::size_t>(node)] = 1;
    }
    const QVADynCorrelationType type =
        excitation.kind == Kind::kConvected    ? QVADynCorrelationJetNoise
        : excitation.kind == Kind::kCorrelated ? QVADynCorrelationCorrelated
                                               : QVADynCorrelationUncorrelated;
    auto correlation = std::make_unique<QVADynCorrelation>(type, false, false);
    if (excitation.kind == Kind::kConvected) {
      correlation->AdoptCorrelationData(
          c + 1, new QVADynCorrelationData(excitation.velocity[0], excitation.velocity[1],
                                           excitation.velocity[2]));
    } else {
      correlation->SetPSD(new QVADynPSD(excitation.kind == Kind::kBase, 1.0));
      correlation->AdoptCorrelationData(c + 1, new QVADynCorrelationData(1.0, 0.0, 0.0));
    }
    event.AdoptCorrelation(correlation.get());
    correlation.release();  // the event owns it now
    for (const int direction : excitation.directions) event.AdoptBaseMotion(c + 1, direction);
    anyBase = anyBase || excitation.kind == Kind::kBase;
  }
  if (anyBase) {
    // The base-motion form reads the participation factors of slot 0, which
    // the whole model's sums give (over several processes, completed over
    // them) and the small model takes over.
    const double origin[3] = {0.0, 0.0, 0.0};
    std::vector<double> gamma, masses;
    try {
      model.Participation(origin, false, gamma, masses);
    } catch (const Error& error) {
      throw Error(prefix + "base_acceleration: " + error.what());
    }
    if (loadedModel) {
      double* factors = mem_AllocArray<double>(gamma.size());
      std::copy(gamma.begin(), gamma.end(), factors);
      loadedModel->Modal().SetParticipationFactors(factors, 0);  // adopts `factors`
    }
  }
  std::vector<double> blocks(2 * static_cast<std::size_t>(m) * m * numExcitations, 0.0);
  event.ComputeModalLoad(blocks.data(), nodeActive.data());
  for (int c = 0; c < numExcitations; ++c) {
    RandomExcitation excitation{settings.excitations[c].psd, {}, {}};
    if (settings.excitations[c].kind == RandomExcitationSettings::Kind::kConvected) {
      excitation.blockAt = [&, c](double omega, std::vector<std::complex<double>>& block) {
        event.ComputeJetNoiseModalLoad(blocks.data(), nodeActive.data(), omega);
        BlockFromEvent(blocks, c, m, block);
      };
    } else {
      BlockFromEvent(blocks, c, m, excitation.modalBlock);
    }
    problem.excitations.push_back(std::move(excitation));
  }

  const std::vector<OutputPoint> points = ResolveOutputs(context.job, model);
  const auto numOutputs = static_cast<std::int64_t>(points.size());
  problem.outputShapes = OutputShapes(model, points);
  if (points.empty()) {
    throw Error(prefix + "a random analysis needs output DOFs ('dofs' in [output])");
  }
  const auto numFrequencies = static_cast<std::int64_t>(problem.frequencies.size());
  context.progress.Begin(analysis.name, numFrequencies);
  // Each process computes the response at its share of the frequencies; the
  // shares are gathered before the root mean squares are taken.
  const RowBlock share = EvenShare(numFrequencies, Processes(), Rank());
  RandomProblem shareProblem = problem;
  shareProblem.frequencies.assign(problem.frequencies.begin() + share.first,
                                  problem.frequencies.begin() + share.first + share.count);
  const RandomResponse shareResponse = ComputeRandomResponse(shareProblem);
  RandomResponse response;
  const std::vector<std::size_t> offsets =
      ShareOffsets(numFrequencies, static_cast<std::size_t>(numOutputs));
  for (const auto& [part, whole] :
       {std::pair{&shareResponse.displacementPsd, &response.displacementPsd},
        std::pair{&shareResponse.velocityPsd, &response.velocityPsd},
        std::pair{&shareResponse.accelerationPsd, &response.accelerationPsd}}) {
    whole->assign(static_cast<std::size_t>(numFrequencies * numOutputs), 0.0);
    std::copy(part->begin(), part->end(),
              whole->begin() + static_cast<std::ptrdiff_t>(share.first * numOutputs));
    GatherParts(whole->data(), offsets);
  }
  response.displacementRms = RmsOverBand(problem.frequencies, response.displacementPsd);
  response.velocityRms = RmsOverBand(problem.frequencies, response.velocityPsd);
  response.accelerationRms = RmsOverBand(problem.frequencies, response.accelerationPsd);
  context.progress.Advance("solving", numFrequencies);

  ResultsWriter& results = context.results;
  const std::string group = "/" + analysis.name;
  results.BeginAnalysis(analysis.name, "random");
  results.File().Write(group + "/frequency", problem.frequencies, {numFrequencies});
  results.File().WriteAttribute(group, "rms_rule",
                                "square root of the trapezoidal integral of the PSD over the "
                                "listed frequencies");
  WriteOutputTable(results, group, context.job, points);
  const std::pair<std::string, std::pair<const std::vector<double>*, const std::vector<double>*>>
      quantities[] = {{"displacement", {&response.displacementPsd, &response.displacementRms}},
                      {"velocity", {&response.velocityPsd, &response.velocityRms}},
                      {"acceleration", {&response.accelerationPsd, &response.accelerationRms}}};
  AnalysisSummary summary{analysis.name, "random", "", 0.0, {}};
  std::ostringstream size;
  size << numFrequencies << " frequencies from " << problem.frequencies.front() << " to "
       << problem.frequencies.back() << " Hz, " << m << " modes, " << numExcitations
       << (numExcitations == 1 ? " excitation" : " excitations");
  summary.size = size.str();
  std::vector<std::vector<std::vector<double>>> csvColumns(points.size());
  std::string heading = "frequency";
  for (auto& columns : csvColumns) columns.push_back(problem.frequencies);
  std::vector<std::ostringstream> lines(points.size());
  for (const auto& [name, type] : OutputQuantities(context.job.outputs)) {
    const auto& [psd, rms] =
        std::find_if(std::begin(quantities), std::end(quantities), [&](const auto& q) {
          return q.first == name;
        })->second;
    results.File().Write(group + "/psd/" + name, *psd, {numFrequencies, numOutputs});
    results.File().Write(group + "/rms/" + name, *rms, {numOutputs});
    heading += "," + name + "_psd";
    for (std::size_t o = 0; o < points.size(); ++o) {
      std::vector<double> column(static_cast<std::size_t>(numFrequencies));
      for (std::int64_t i = 0; i < numFrequencies; ++i) column[i] = (*psd)[i * numOutputs + o];
      csvColumns[o].push_back(std::move(column));
      lines[o].precision(4);
      lines[o] << (lines[o].tellp() == 0
                       ? "node " + std::to_string(points[o].nodeId) + " component " +
                             std::to_string(points[o].component) + ": rms"
                       : std::string(","))
               << " " << name << " " << (*rms)[o];
    }
  }
  for (std::size_t o = 0; o < points.size(); ++o) {
    summary.lines.push_back(lines[o].str());
    if (context.job.outputs.csv) {
      results.WriteCsv(analysis.name + "_" + std::to_string(points[o].nodeId) + "_" +
                           std::to_string(points[o].component),
                       heading, csvColumns[o]);
    }
  }
  context.progress.End();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace qvadyn
