// Participation factors and effective masses of the modes for the six
// rigid-body motions about a reference point, from the basis's mass matrix.

#include <chrono>
#include <sstream>

#include "Analyses.h"
#include "Error.h"

namespace qvadyn {

AnalysisSummary RunParticipation(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  Model& model = context.model;
  const int modes = model.GetBasis().NumModes();
  context.progress.Begin(analysis.name, 1);
  std::vector<double> gamma, totals;
  try {
    model.Participation(analysis.reference, true, gamma, totals);
  } catch (const Error& error) {
    throw Error(analysis.where + ": [analysis." + analysis.name + "]: " + error.what());
  }
  context.progress.Advance("solving", 1);
  // (modes, 6) in C order from the component's modes x 6 column-major.
  std::vector<double> factors(gamma.size()), effective(gamma.size()), sums(6, 0.0);
  for (int k = 0; k < modes; ++k) {
    for (int d = 0; d < 6; ++d) {
      const double value = gamma[static_cast<std::size_t>(k + modes * d)];
      factors[static_cast<std::size_t>(k * 6 + d)] = value;
      effective[static_cast<std::size_t>(k * 6 + d)] = value * value;
      sums[static_cast<std::size_t>(d)] += value * value;
    }
  }
  ResultsWriter& results = context.results;
  const std::string group = "/" + analysis.name;
  results.BeginAnalysis(analysis.name, "participation");
  results.File().Write(group + "/factors", factors, {modes, 6});
  results.File().Write(group + "/effective_mass", effective, {modes, 6});
  results.File().Write(group + "/total_mass", totals, {6});
  results.File().Write(group + "/reference",
                       std::vector<double>(analysis.reference, analysis.reference + 3), {3});

  AnalysisSummary summary{analysis.name, "participation", "", 0.0, {}};
  summary.size = std::to_string(modes) + " modes x 6 directions";
  static const char* const kDirections[6] = {"x", "y", "z", "rx", "ry", "rz"};
  std::ostringstream line;
  line.precision(4);
  line << "effective mass fraction:";
  for (int d = 0; d < 6; ++d) {
    const double total = totals[static_cast<std::size_t>(d)];
    line << " " << kDirections[d] << " "
         << (total > 0.0 ? sums[static_cast<std::size_t>(d)] / total : 0.0);
  }
  summary.lines.push_back(line.str());
  std::ostringstream mass;
  mass.precision(6);
  mass << "total mass " << totals[0] << " (x) " << totals[1] << " (y) " << totals[2] << " (z)";
  summary.lines.push_back(mass.str());
  context.progress.End();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace qvadyn
