#include "ResponseSpectrumAnalysis.h"

#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "Analyses.h"
#include "Error.h"
#include "JobTables.h"

namespace qvadyn {
namespace {

// Position of `value` in the ascending `grid`: lower index and weight of the
// upper neighbour, held at the ends.
std::pair<std::size_t, double> Bracket(const std::vector<double>& grid, double value,
                                       bool logarithmic) {
  if (grid.size() == 1 || value <= grid.front()) return {0, 0.0};
  if (value >= grid.back()) return {grid.size() - 2, 1.0};
  const auto upper =
      static_cast<std::size_t>(std::upper_bound(grid.begin(), grid.end(), value) - grid.begin());
  const double low = grid[upper - 1];
  const double high = grid[upper];
  const double weight =
      logarithmic ? std::log(value / low) / std::log(high / low) : (value - low) / (high - low);
  return {upper - 1, weight};
}

}  // namespace

void DesignSpectrum::Check() const {
  const std::size_t numDamping = dampingRatios.size();
  if (frequencies.empty() || numDamping == 0 ||
      accelerations.size() != frequencies.size() * numDamping) {
    throw Error(name +
                ": a spectrum needs frequencies, damping ratios and one acceleration per "
                "frequency and damping ratio (" +
                std::to_string(frequencies.size()) + " x " + std::to_string(numDamping) +
                " expected, " + std::to_string(accelerations.size()) + " given)");
  }
  for (std::size_t i = 0; i < frequencies.size(); ++i) {
    if (!(frequencies[i] > 0.0) || (i > 0 && !(frequencies[i] > frequencies[i - 1]))) {
      throw Error(name + ": frequency " + std::to_string(i + 1) + " is not positive and ascending");
    }
  }
  for (std::size_t j = 0; j < numDamping; ++j) {
    if (!(dampingRatios[j] >= 0.0) || (j > 0 && !(dampingRatios[j] > dampingRatios[j - 1]))) {
      throw Error(name + ": damping ratio " + std::to_string(j + 1) +
                  " is not non-negative and ascending");
    }
  }
  for (std::size_t i = 0; i < accelerations.size(); ++i) {
    if (!(accelerations[i] > 0.0) || !std::isfinite(accelerations[i])) {
      throw Error(name + ": acceleration " + std::to_string(i + 1) +
                  " is not positive (log-log interpolation needs positive values)");
    }
  }
}

double DesignSpectrum::Interpolate(double frequency, double zeta) const {
  const std::size_t numDamping = dampingRatios.size();
  const auto [i, frequencyWeight] = Bracket(frequencies, frequency, true);
  const auto [j, dampingWeight] = Bracket(dampingRatios, zeta, false);
  auto atFrequency = [&](std::size_t column) {
    const double low = accelerations[i * numDamping + column];
    if (frequencies.size() == 1) return low;
    const double high = accelerations[(i + 1) * numDamping + column];
    return low * std::pow(high / low, frequencyWeight);
  };
  const double low = atFrequency(j);
  if (numDamping == 1) return low;
  return low + dampingWeight * (atFrequency(j + 1) - low);
}

double CqcCoefficient(double omegaI, double omegaJ, double zetaI, double zetaJ) {
  const double r = omegaJ / omegaI;
  const double numerator = 8.0 * std::sqrt(zetaI * zetaJ) * (zetaI + r * zetaJ) * std::pow(r, 1.5);
  const double denominator = (1.0 - r * r) * (1.0 - r * r) +
                             4.0 * zetaI * zetaJ * r * (1.0 + r * r) +
                             4.0 * (zetaI * zetaI + zetaJ * zetaJ) * r * r;
  if (denominator == 0.0) return 1.0;  // equal frequencies without damping
  return numerator / denominator;
}

SpectrumResponse ComputeSpectrumResponse(const SpectrumProblem& problem) {
  const auto numModes = static_cast<int>(problem.eigenvalues.size());
  const auto numDirections = static_cast<int>(problem.spectra.size());
  if (problem.dampingRatios.size() != problem.eigenvalues.size() ||
      problem.participation.size() != 6 * problem.eigenvalues.size() ||
      problem.directions.size() != problem.spectra.size() || numModes == 0 ||
      problem.outputShapes.size() % problem.eigenvalues.size() != 0) {
    throw Error("response spectrum: sizes of modes, damping, participation and outputs disagree");
  }
  const auto numOutputs = static_cast<int>(problem.outputShapes.size()) / numModes;
  std::vector<double> omega(static_cast<std::size_t>(numModes));
  for (int k = 0; k < numModes; ++k) {
    if (!(problem.eigenvalues[k] > 0.0)) {
      throw Error("response spectrum: mode " + std::to_string(k + 1) + " has eigenvalue " +
                  std::to_string(problem.eigenvalues[k]) +
                  "; a spectrum needs modes of positive frequency (remove rigid-body modes)");
    }
    omega[k] = std::sqrt(problem.eigenvalues[k]);
  }
  for (const DesignSpectrum& spectrum : problem.spectra) spectrum.Check();

  SpectrumResponse response;
  response.modalPeak.resize(static_cast<std::size_t>(numModes * numDirections));
  for (int k = 0; k < numModes; ++k) {
    const double frequency = omega[k] / (2.0 * std::numbers::pi);
    for (int d = 0; d < numDirections; ++d) {
      const double gamma = problem.participation[6 * k + problem.directions[d]];
      const double sa = problem.spectra[d].Interpolate(frequency, problem.dampingRatios[k]);
      response.modalPeak[k * numDirections + d] = gamma * sa / problem.eigenvalues[k];
    }
  }

  std::vector<double> correlation;
  if (problem.modalRule == ModalCombination::kCqc) {
    correlation.resize(static_cast<std::size_t>(numModes * numModes));
    for (int i = 0; i < numModes; ++i) {
      for (int j = 0; j < numModes; ++j) {
        correlation[i * numModes + j] =
            CqcCoefficient(omega[i], omega[j], problem.dampingRatios[i], problem.dampingRatios[j]);
      }
    }
  }

  // Per quantity (omega^0, omega^1, omega^2) and direction: the modal
  // contributions U (outputs x modes), combined over the modes.
  std::vector<double>* peaks[] = {&response.displacement, &response.velocity,
                                  &response.acceleration};
  std::vector<double> contributions(problem.outputShapes.size());
  std::vector<double> correlated(problem.outputShapes.size());
  std::vector<double> perDirection(static_cast<std::size_t>(numOutputs * numDirections));
  for (int power = 0; power < 3; ++power) {
    for (int d = 0; d < numDirections; ++d) {
      for (int k = 0; k < numModes; ++k) {
        const double scale = response.modalPeak[k * numDirections + d] * std::pow(omega[k], power);
        for (int o = 0; o < numOutputs; ++o) {
          contributions[k * numOutputs + o] = problem.outputShapes[k * numOutputs + o] * scale;
        }
      }
      if (problem.modalRule == ModalCombination::kCqc && numOutputs > 0) {
        cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, numOutputs, numModes, numModes, 1.0,
                    contributions.data(), numOutputs, correlation.data(), numModes, 0.0,
                    correlated.data(), numOutputs);
      }
      for (int o = 0; o < numOutputs; ++o) {
        double combined = 0.0;
        for (int k = 0; k < numModes; ++k) {
          const double u = contributions[k * numOutputs + o];
          switch (problem.modalRule) {
            case ModalCombination::kSrss:
              combined += u * u;
              break;
            case ModalCombination::kCqc:
              combined += u * correlated[k * numOutputs + o];
              break;
            case ModalCombination::kAbsoluteSum:
              combined += std::abs(u);
              break;
          }
        }
        perDirection[o * numDirections + d] = problem.modalRule == ModalCombination::kAbsoluteSum
                                                  ? combined
                                                  : std::sqrt(std::max(combined, 0.0));
      }
    }
    std::vector<double>& peak = *peaks[power];
    peak.assign(static_cast<std::size_t>(numOutputs), 0.0);
    for (int o = 0; o < numOutputs; ++o) {
      const double* values = perDirection.data() + o * numDirections;
      if (problem.directionRule == DirectionCombination::kSrss) {
        double sum = 0.0;
        for (int d = 0; d < numDirections; ++d) sum += values[d] * values[d];
        peak[o] = std::sqrt(sum);
      } else {
        double total = 0.0;
        for (int d = 0; d < numDirections; ++d) total += values[d];
        for (int d = 0; d < numDirections; ++d) {
          peak[o] = std::max(peak[o], values[d] + 0.4 * (total - values[d]));
        }
      }
    }
  }
  return response;
}

}  // namespace qvadyn

// ---------------------------------------------------------------------------
// The response-spectrum analysis of a job.

namespace qvadyn {

std::shared_ptr<const SpectrumSettings> ReadSpectrumSettings(const std::string& path,
                                                             const toml::table& table,
                                                             const std::string& context) {
  using namespace jobtables;
  const std::string folder = std::filesystem::path(path).parent_path().string();
  AllowOnly(path, table, context, {"type", "combination", "directions", "spectrum"});
  auto settings = std::make_shared<SpectrumSettings>();
  auto choose = [&](const std::string& key, const std::vector<std::string>& names,
                    const std::string& fallback) {
    const toml::node* node = table.get(key);
    if (!node)
      return static_cast<int>(std::find(names.begin(), names.end(), fallback) - names.begin());
    const std::string name = node->value_or(std::string());
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
      std::string message =
          Where(path, *node) + ": '" + key + "'" + context + ": unknown rule '" + name + "'";
      const std::string suggestion = Suggest(name, names);
      message += suggestion.empty() ? " (" + names[0] + ", " + names[1] + ")"
                                    : " (did you mean '" + suggestion + "'?)";
      throw Error(message);
    }
    return static_cast<int>(found - names.begin());
  };
  settings->modalRule =
      static_cast<ModalCombination>(choose("combination", {"srss", "cqc", "abs"}, "cqc"));
  settings->directionRule =
      static_cast<DirectionCombination>(choose("directions", {"srss", "100-40-40"}, "srss"));
  const toml::node* spectra = table.get("spectrum");
  const toml::array* list = spectra ? spectra->as_array() : nullptr;
  if (!list || list->empty()) {
    throw Error(Where(path, table) + ": missing [[analysis.NAME.spectrum]] tables" + context);
  }
  const std::string inner = " in [" + context.substr(4, context.size() - 5) + ".spectrum]]";
  for (const toml::node& entry : *list) {
    const auto* spectrum = entry.as_table();
    if (!spectrum) throw Error(Where(path, entry) + ": expected [[...spectrum]] tables" + context);
    AllowOnly(path, *spectrum, inner, {"direction", "damping", "table", "scale"});
    const toml::node* direction = spectrum->get("direction");
    if (!direction) throw Error(Where(path, entry) + ": missing key 'direction'" + inner);
    const double value = Number(path, *direction, "direction", inner);
    if (value != 1.0 && value != 2.0 && value != 3.0) {
      throw Error(Where(path, *direction) + ": 'direction'" + inner + ": expected 1, 2 or 3");
    }
    settings->directions.push_back(static_cast<int>(value));
    DesignSpectrum design;
    design.name = Where(path, entry) + ": [[spectrum]]" + inner;
    if (const toml::node* damping = spectrum->get("damping")) {
      if (const auto* ratios = damping->as_array()) {
        for (const toml::node& ratio : *ratios) {
          design.dampingRatios.push_back(Number(path, ratio, "damping", inner));
        }
      } else {
        design.dampingRatios.push_back(Number(path, *damping, "damping", inner));
      }
    } else {
      throw Error(Where(path, entry) +
                  ": missing key 'damping' (the damping ratios of the "
                  "table's columns)" +
                  inner);
    }
    const double scale =
        spectrum->get("scale") ? Number(path, *spectrum->get("scale"), "scale", inner) : 1.0;
    for (const auto& row :
         Rows(path, *spectrum, "table", inner, folder, design.dampingRatios.size() + 1)) {
      design.frequencies.push_back(row[0]);
      for (std::size_t j = 1; j < row.size(); ++j) design.accelerations.push_back(scale * row[j]);
    }
    design.Check();
    settings->spectra.push_back(std::move(design));
  }
  return settings;
}

AnalysisSummary RunResponseSpectrum(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  const SpectrumSettings& settings = *analysis.spectrum;
  Model& model = context.model;
  const Basis& basis = model.GetBasis();
  const int m = basis.NumModes();
  const std::string prefix = analysis.where + ": [analysis." + analysis.name + "]: ";
  context.progress.Begin(analysis.name, 1);

  SpectrumProblem problem;
  problem.eigenvalues = basis.eigenvalues;
  problem.spectra = settings.spectra;
  problem.modalRule = settings.modalRule;
  problem.directionRule = settings.directionRule;
  for (const int direction : settings.directions) problem.directions.push_back(direction - 1);
  // Modal damping ratios: zeta + (alpha + beta lambda) / (2 omega) + g / 2, the
  // equivalent viscous ratio at resonance; projected matrices by their diagonal.
  int projected = 0;
  const std::vector<QVADynDiagonalDamping> records = DampingRecords(context.job, model, projected);
  for (int k = 0; k < m; ++k) {
    const double lambda = std::max(basis.eigenvalues[k], 0.0);
    const double omega = std::sqrt(lambda);
    double viscous = 2.0 * records[k].criticalFraction * omega + records[k].massFactor +
                     records[k].stiffnessFactor * lambda;
    double structural = records[k].structural * lambda;
    const std::size_t diagonal = static_cast<std::size_t>(k) * m + k;
    if (projected & 1) viscous += basis.viscousDamping[diagonal];
    if (projected & 2) structural += basis.structuralDamping[diagonal];
    problem.dampingRatios.push_back(
        omega > 0.0 ? viscous / (2.0 * omega) + 0.5 * structural / lambda : 0.0);
  }
  const double origin[3] = {0.0, 0.0, 0.0};
  std::vector<double> gamma, masses;
  try {
    model.Participation(origin, false, gamma, masses);
  } catch (const Error& error) {
    throw Error(prefix + error.what());
  }
  problem.participation.resize(static_cast<std::size_t>(6) * m);
  for (int k = 0; k < m; ++k) {
    for (int d = 0; d < 6; ++d) {
      problem.participation[static_cast<std::size_t>(6 * k + d)] =
          gamma[static_cast<std::size_t>(k + m * d)];
    }
  }
  const std::vector<OutputPoint> points = ResolveOutputs(context.job, model);
  problem.outputShapes.resize(points.size() * static_cast<std::size_t>(m));
  for (std::size_t o = 0; o < points.size(); ++o) {
    const std::vector<double> shape =
        model.ShapeRow(model.Row(points[o].nodeId, points[o].component));
    for (int k = 0; k < m; ++k) problem.outputShapes[k * points.size() + o] = shape[k];
  }
  SpectrumResponse response;
  try {
    response = ComputeSpectrumResponse(problem);
  } catch (const Error& error) {
    throw Error(prefix + error.what());
  }
  context.progress.Advance("combining", 1);

  ResultsWriter& results = context.results;
  const std::string group = "/" + analysis.name;
  const auto numOutputs = static_cast<std::int64_t>(points.size());
  static const char* const kModal[] = {"srss", "cqc", "abs"};
  static const char* const kDirections[] = {"srss", "100-40-40"};
  results.BeginAnalysis(analysis.name, "response_spectrum");
  results.File().WriteAttribute(group, "combination", kModal[static_cast<int>(settings.modalRule)]);
  results.File().WriteAttribute(group, "directions",
                                kDirections[static_cast<int>(settings.directionRule)]);
  results.File().Write(group + "/modal_peak", response.modalPeak,
                       {m, static_cast<std::int64_t>(settings.directions.size())});
  results.File().Write(
      group + "/directions",
      std::vector<std::int32_t>(settings.directions.begin(), settings.directions.end()),
      {static_cast<std::int64_t>(settings.directions.size())});
  WriteOutputTable(results, group, context.job, points);
  AnalysisSummary summary{analysis.name, "response_spectrum", "", 0.0, {}};
  summary.size = std::to_string(m) + " modes, " + std::to_string(settings.directions.size()) +
                 (settings.directions.size() == 1 ? " direction, " : " directions, ") +
                 kModal[static_cast<int>(settings.modalRule)] + " over modes, " +
                 kDirections[static_cast<int>(settings.directionRule)] + " over directions";
  const std::pair<std::string, const std::vector<double>*> quantities[] = {
      {"displacement", &response.displacement},
      {"velocity", &response.velocity},
      {"acceleration", &response.acceleration}};
  std::vector<std::ostringstream> lines(points.size());
  for (const auto& [name, type] : OutputQuantities(context.job.outputs)) {
    const std::vector<double>& peak =
        *std::find_if(std::begin(quantities), std::end(quantities), [&](const auto& q) {
           return q.first == name;
         })->second;
    results.File().Write(group + "/peak/" + name, peak, {numOutputs});
    for (std::size_t o = 0; o < points.size(); ++o) {
      lines[o].precision(4);
      lines[o] << (lines[o].tellp() == 0
                       ? "node " + std::to_string(points[o].nodeId) + " component " +
                             std::to_string(points[o].component) + ": peak"
                       : std::string(","))
               << " " << name << " " << peak[o];
    }
  }
  for (auto& line : lines) summary.lines.push_back(line.str());
  context.progress.End();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace qvadyn
