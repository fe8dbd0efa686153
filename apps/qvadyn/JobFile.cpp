#include "JobFile.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "Error.h"
#include "JobTables.h"

namespace qvadyn {

namespace {

namespace fs = std::filesystem;

std::string Where(const std::string& path, const toml::source_region& source) {
  return path + ":" + std::to_string(source.begin.line) + ":" + std::to_string(source.begin.column);
}

// Reads the values of one table, remembering where each came from; every
// error names the file, the position and the key.
class TableReader {
 public:
  TableReader(const std::string& path, const toml::table& table, std::string context)
      : path_(path), table_(table), context_(std::move(context)) {}

  const toml::table& Table() const { return table_; }
  std::string Position() const { return Where(path_, table_.source()); }
  std::string Position(const std::string& key) const {
    const toml::node* node = table_.get(key);
    return node ? Where(path_, node->source()) : Position();
  }
  [[noreturn]] void Fail(const std::string& key, const std::string& message) const {
    throw Error(Position(key) + ": '" + key + "'" + context_ + ": " + message);
  }

  // Unknown keys are errors, with the nearest known key as a suggestion.
  void AllowOnly(const std::vector<std::string>& known) const {
    for (const auto& [key, node] : table_) {
      const std::string name(key.str());
      if (std::find(known.begin(), known.end(), name) != known.end()) continue;
      std::string message = Where(path_, key.source()) + ": unknown key '" + name + "'" + context_;
      const std::string suggestion = Suggest(name, known);
      if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
      throw Error(message);
    }
  }

  bool Has(const std::string& key) const { return table_.contains(key); }

  double Number(const std::string& key, double fallback) const {
    const toml::node* node = table_.get(key);
    if (!node) return fallback;
    return NumberOf(*node, key);
  }
  double NumberOf(const toml::node& node, const std::string& key) const {
    if (const auto* value = node.as_floating_point()) return CheckFinite(value->get(), key);
    if (const auto* value = node.as_integer()) return static_cast<double>(value->get());
    Fail(key, "expected a number");
  }
  double CheckFinite(double value, const std::string& key) const {
    if (!std::isfinite(value)) Fail(key, "expected a finite number");
    return value;
  }
  std::int64_t Integer(const std::string& key, std::int64_t fallback) const {
    const toml::node* node = table_.get(key);
    if (!node) return fallback;
    if (const auto* value = node->as_integer()) return value->get();
    Fail(key, "expected an integer");
  }
  std::int64_t RequiredInteger(const std::string& key) const {
    if (!Has(key)) throw Error(Position() + ": missing key '" + key + "'" + context_);
    return Integer(key, 0);
  }
  std::string String(const std::string& key, const std::string& fallback) const {
    const toml::node* node = table_.get(key);
    if (!node) return fallback;
    if (const auto* value = node->as_string()) return value->get();
    Fail(key, "expected a string");
  }
  bool Boolean(const std::string& key, bool fallback) const {
    const toml::node* node = table_.get(key);
    if (!node) return fallback;
    if (const auto* value = node->as_boolean()) return value->get();
    Fail(key, "expected true or false");
  }
  const toml::array* Array(const std::string& key) const {
    const toml::node* node = table_.get(key);
    if (!node) return nullptr;
    if (const auto* array = node->as_array()) return array;
    Fail(key, "expected an array");
  }
  // A number or an array of numbers.
  std::vector<double> Numbers(const std::string& key) const {
    const toml::node* node = table_.get(key);
    if (!node) return {};
    if (!node->is_array()) return {NumberOf(*node, key)};
    std::vector<double> values;
    for (const toml::node& entry : *node->as_array()) values.push_back(NumberOf(entry, key));
    return values;
  }
  const std::string& Path() const { return path_; }
  const std::string& Context() const { return context_; }

 private:
  const std::string& path_;
  const toml::table& table_;
  std::string context_;
};

Amplitude ReadCsvAmplitude(const std::string& csvPath, const std::string& where) {
  std::ifstream in(csvPath);
  if (!in) throw Error(where + ": cannot open amplitude file '" + csvPath + "'");
  Amplitude amplitude;
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream fields(line);
    double x = 0.0, value = 0.0;
    if (!(fields >> x >> value)) {
      if (amplitude.x.empty() && lineNumber == 1) continue;  // a heading
      throw Error(csvPath + ":" + std::to_string(lineNumber) + ": expected two numbers (x, value)");
    }
    if (!amplitude.x.empty() && x <= amplitude.x.back()) {
      throw Error(csvPath + ":" + std::to_string(lineNumber) + ": x = " + std::to_string(x) +
                  " does not increase");
    }
    amplitude.x.push_back(x);
    amplitude.value.push_back(value);
  }
  if (amplitude.x.empty()) throw Error(csvPath + ": no (x, value) rows");
  return amplitude;
}

Amplitude ReadAmplitude(const TableReader& reader, const fs::path& folder) {
  const toml::node* node = reader.Table().get("amplitude");
  Amplitude amplitude;
  if (!node) {
    amplitude.x = {0.0};
    amplitude.value = {1.0};
    return amplitude;
  }
  if (const auto* file = node->as_string()) {
    return ReadCsvAmplitude((folder / file->get()).string(), reader.Position("amplitude"));
  }
  if (const auto* rows = node->as_array()) {
    for (const toml::node& row : *rows) {
      const auto* pair = row.as_array();
      if (!pair || pair->size() != 2) {
        throw Error(Where(reader.Path(), row.source()) + ": 'amplitude'" + reader.Context() +
                    ": expected [x, value] pairs");
      }
      const double x = reader.NumberOf(*pair->get(0), "amplitude");
      if (!amplitude.x.empty() && x <= amplitude.x.back()) {
        throw Error(Where(reader.Path(), row.source()) + ": 'amplitude'" + reader.Context() +
                    ": x values must increase");
      }
      amplitude.x.push_back(x);
      amplitude.value.push_back(reader.NumberOf(*pair->get(1), "amplitude"));
    }
    if (amplitude.x.empty()) reader.Fail("amplitude", "the table is empty");
    return amplitude;
  }
  amplitude.x = {0.0};
  amplitude.value = {reader.NumberOf(*node, "amplitude")};
  return amplitude;
}

int Component(const TableReader& reader, const std::string& key, std::int64_t value, int last) {
  if (value < 1 || value > last) {
    reader.Fail(key, "expected 1 to " + std::to_string(last) + ", got " + std::to_string(value));
  }
  return static_cast<int>(value);
}

void ReadDamping(const TableReader& reader, Damping& damping) {
  reader.AllowOnly({"modal", "rayleigh", "structural", "projected"});
  damping.where = reader.Position();
  damping.modal = reader.Numbers("modal");
  for (double zeta : damping.modal) {
    if (zeta < 0.0) reader.Fail("modal", "damping ratios must not be negative");
  }
  if (reader.Has("rayleigh")) {
    const std::vector<double> factors = reader.Numbers("rayleigh");
    if (factors.size() != 2) reader.Fail("rayleigh", "expected [alpha, beta]");
    damping.alpha = factors[0];
    damping.beta = factors[1];
  }
  damping.structural = reader.Number("structural", 0.0);
  if (const toml::array* kinds = reader.Array("projected")) {
    for (const toml::node& kind : *kinds) {
      const std::string name = kind.value_or(std::string());
      if (name == "viscous") {
        damping.projectedViscous = true;
      } else if (name == "structural") {
        damping.projectedStructural = true;
      } else {
        std::string message = "unknown projected damping '" + name + "'";
        const std::string suggestion = Suggest(name, {"viscous", "structural"});
        if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
        reader.Fail("projected", message);
      }
    }
  }
}

void ReadOutputs(const TableReader& reader, Outputs& outputs) {
  reader.AllowOnly({"dofs", "quantities", "csv"});
  if (const toml::array* dofs = reader.Array("dofs")) {
    for (const toml::node& entry : *dofs) {
      const auto* pair = entry.as_array();
      if (!pair || pair->size() != 2 || !pair->get(0)->is_integer() ||
          !pair->get(1)->is_integer()) {
        throw Error(Where(reader.Path(), entry.source()) +
                    ": 'dofs' in [output]: expected [node, component] pairs of integers");
      }
      OutputDof dof;
      dof.node = pair->get(0)->as_integer()->get();
      dof.component = Component(reader, "dofs", pair->get(1)->as_integer()->get(), 6);
      dof.where = Where(reader.Path(), entry.source());
      outputs.dofs.push_back(dof);
    }
  }
  if (const toml::array* quantities = reader.Array("quantities")) {
    outputs.displacement = false;
    for (const toml::node& entry : *quantities) {
      const std::string name = entry.value_or(std::string());
      if (name == "displacement") {
        outputs.displacement = true;
      } else if (name == "velocity") {
        outputs.velocity = true;
      } else if (name == "acceleration") {
        outputs.acceleration = true;
      } else {
        std::string message = "unknown quantity '" + name + "'";
        const std::string suggestion = Suggest(name, {"displacement", "velocity", "acceleration"});
        if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
        reader.Fail("quantities", message);
      }
    }
  }
  outputs.csv = reader.Boolean("csv", true);
}

void ReadField(const TableReader& reader, Analysis& analysis) {
  const toml::node* node = reader.Table().get("field");
  if (!node) return;
  if (node->value_or(std::string()) == "all") {
    analysis.allFrames = true;
    return;
  }
  const toml::array* frames = node->as_array();
  if (!frames) reader.Fail("field", "expected \"all\" or a list of frame indices");
  for (const toml::node& frame : *frames) {
    if (!frame.is_integer() || frame.as_integer()->get() < 0) {
      reader.Fail("field", "expected frame indices (0, 1, ...)");
    }
    analysis.fieldFrames.push_back(frame.as_integer()->get());
  }
}

void ReadLoadNames(const TableReader& reader, Analysis& analysis) {
  const toml::array* names = reader.Array("loads");
  if (!names) return;
  for (const toml::node& name : *names) {
    if (!name.is_string()) reader.Fail("loads", "expected the names of [[load]] tables");
    analysis.loads.push_back(name.as_string()->get());
  }
}

void RequireIncreasing(const TableReader& reader, const std::string& key,
                       const std::vector<double>& values) {
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i] <= values[i - 1]) {
      reader.Fail(key, "entry " + std::to_string(i) + " (" + std::to_string(values[i]) +
                           ") does not increase");
    }
  }
}

Analysis ReadAnalysis(const TableReader& reader, const std::string& name) {
  Analysis analysis;
  analysis.name = name;
  analysis.where = reader.Position();
  analysis.line = static_cast<int>(reader.Table().source().begin.line);
  for (const auto& [key, node] : reader.Table()) {
    analysis.keyWhere[std::string(key.str())] = Where(reader.Path(), node.source());
  }
  static const std::map<std::string, AnalysisType> kTypes = {
      {"harmonic", AnalysisType::kHarmonic},
      {"transient", AnalysisType::kTransient},
      {"complex_modes", AnalysisType::kComplexModes},
      {"participation", AnalysisType::kParticipation},
      {"random", AnalysisType::kRandom},
      {"response_spectrum", AnalysisType::kResponseSpectrum}};
  if (!reader.Has("type")) {
    throw Error(reader.Position() + ": missing key 'type'" + reader.Context() +
                " (harmonic, transient, complex_modes, participation, random or "
                "response_spectrum)");
  }
  const std::string type = reader.String("type", "");
  const auto found = kTypes.find(type);
  if (found == kTypes.end()) {
    std::string message = "unknown analysis type '" + type + "'";
    const std::string suggestion = Suggest(type, {"harmonic", "transient", "complex_modes",
                                                  "participation", "random", "response_spectrum"});
    if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
    reader.Fail("type", message);
  }
  analysis.type = found->second;
  switch (analysis.type) {
    case AnalysisType::kHarmonic: {
      reader.AllowOnly({"type", "frequencies", "range", "points", "bias", "field", "loads"});
      analysis.frequencies = reader.Numbers("frequencies");
      RequireIncreasing(reader, "frequencies", analysis.frequencies);
      for (double frequency : analysis.frequencies) {
        if (frequency < 0.0) reader.Fail("frequencies", "frequencies must not be negative");
      }
      if (reader.Has("range")) {
        if (reader.Has("frequencies")) {
          reader.Fail("range", "give either 'frequencies' or 'range', not both");
        }
        const std::vector<double> range = reader.Numbers("range");
        if (range.size() != 2 || range[0] < 0.0 || range[1] <= range[0]) {
          reader.Fail("range", "expected [low, high] with 0 <= low < high");
        }
        analysis.rangeLow = range[0];
        analysis.rangeHigh = range[1];
        analysis.points = static_cast<int>(reader.Integer("points", 20));
        if (analysis.points < 2) reader.Fail("points", "expected at least 2");
        analysis.bias = reader.Number("bias", 3.0);
        if (analysis.bias < 1.0) reader.Fail("bias", "expected 1 or more");
      } else if (analysis.frequencies.empty()) {
        throw Error(reader.Position() + ": missing key 'frequencies' or 'range'" +
                    reader.Context());
      }
      ReadField(reader, analysis);
      ReadLoadNames(reader, analysis);
      break;
    }
    case AnalysisType::kTransient: {
      reader.AllowOnly({"type", "step", "duration", "times", "initial_displacement",
                        "initial_velocity", "field", "loads"});
      if (reader.Has("times")) {
        if (reader.Has("step") || reader.Has("duration")) {
          reader.Fail("times", "give either 'times' or 'step' and 'duration', not both");
        }
        analysis.times = reader.Numbers("times");
        if (analysis.times.size() < 2) reader.Fail("times", "expected at least two times");
        RequireIncreasing(reader, "times", analysis.times);
      } else {
        if (!reader.Has("step") || !reader.Has("duration")) {
          throw Error(reader.Position() + ": missing key '" +
                      (reader.Has("step") ? "duration" : "step") + "'" + reader.Context() +
                      " (or give 'times')");
        }
        const double step = reader.Number("step", 0.0);
        const double duration = reader.Number("duration", 0.0);
        if (step <= 0.0) reader.Fail("step", "expected a positive time step");
        if (duration < step) reader.Fail("duration", "expected at least one step");
        const std::int64_t steps = std::llround(duration / step);
        if (steps > 100000000) reader.Fail("step", "more than 1e8 steps");
        for (std::int64_t n = 0; n <= steps; ++n) analysis.times.push_back(n * step);
      }
      analysis.initialDisplacement = reader.Numbers("initial_displacement");
      analysis.initialVelocity = reader.Numbers("initial_velocity");
      ReadField(reader, analysis);
      ReadLoadNames(reader, analysis);
      break;
    }
    case AnalysisType::kComplexModes: {
      reader.AllowOnly({"type", "count", "range"});
      analysis.count = static_cast<int>(reader.Integer("count", 10));
      if (analysis.count < 1) reader.Fail("count", "expected at least 1");
      if (reader.Has("range")) {
        const std::vector<double> range = reader.Numbers("range");
        if (range.size() != 2 || range[1] <= range[0]) {
          reader.Fail("range", "expected [low, high] in Hz with low < high");
        }
        analysis.lowFrequency = range[0];
        analysis.highFrequency = range[1];
      }
      break;
    }
    case AnalysisType::kRandom:
      analysis.random = ReadRandomSettings(reader.Path(), reader.Table(), reader.Context());
      break;
    case AnalysisType::kResponseSpectrum:
      analysis.spectrum = ReadSpectrumSettings(reader.Path(), reader.Table(), reader.Context());
      break;
    case AnalysisType::kParticipation: {
      reader.AllowOnly({"type", "reference"});
      if (reader.Has("reference")) {
        const std::vector<double> point = reader.Numbers("reference");
        if (point.size() != 3) reader.Fail("reference", "expected [x, y, z]");
        std::copy(point.begin(), point.end(), analysis.reference);
      }
      break;
    }
  }
  return analysis;
}

std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> previous(b.size() + 1), current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      current[j] = std::min(
          {previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    }
    std::swap(previous, current);
  }
  return previous[b.size()];
}

}  // namespace

double Amplitude::At(double where) const {
  if (where <= x.front()) return value.front();
  if (where >= x.back()) return value.back();
  const std::size_t upper =
      static_cast<std::size_t>(std::upper_bound(x.begin(), x.end(), where) - x.begin());
  const double fraction = (where - x[upper - 1]) / (x[upper] - x[upper - 1]);
  return value[upper - 1] + fraction * (value[upper] - value[upper - 1]);
}

const char* AnalysisTypeName(AnalysisType type) {
  switch (type) {
    case AnalysisType::kHarmonic:
      return "harmonic";
    case AnalysisType::kTransient:
      return "transient";
    case AnalysisType::kComplexModes:
      return "complex_modes";
    case AnalysisType::kParticipation:
      return "participation";
    case AnalysisType::kRandom:
      return "random";
    case AnalysisType::kResponseSpectrum:
      return "response_spectrum";
  }
  return "";
}

std::string Suggest(const std::string& word, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(2, word.size() / 3) + 1;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = Distance(word, candidate);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
    }
  }
  return best;
}

std::vector<double> ClusteredFrequencies(double low, double high, int points, double bias,
                                         const std::vector<double>& naturalHz) {
  std::vector<double> ends{low};
  for (double f : naturalHz) {
    if (f > low && f < high) ends.push_back(f);
  }
  ends.push_back(high);
  std::sort(ends.begin(), ends.end());
  ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
  std::vector<double> frequencies{low};
  for (std::size_t i = 0; i + 1 < ends.size(); ++i) {
    const double middle = 0.5 * (ends[i] + ends[i + 1]);
    const double half = 0.5 * (ends[i + 1] - ends[i]);
    // s evenly spaced in [-1, 1]; |s|^(1/bias) pushes points to both ends.
    for (int j = 1; j < points; ++j) {
      const double s = -1.0 + 2.0 * j / (points - 1);
      const double shifted = std::copysign(std::pow(std::fabs(s), 1.0 / bias), s);
      const double frequency = middle + half * shifted;
      if (frequency > frequencies.back()) frequencies.push_back(frequency);
    }
  }
  return frequencies;
}

namespace {

[[noreturn]] void FailToParse(const std::string& path, const toml::parse_error& error) {
  const toml::source_region& source = error.source();
  std::string message(error.description());
  if (source.begin.line == 0) throw Error(path + ": " + message);
  throw Error(Where(path, source) + ": " + message);
}

Job ReadJob(const toml::table& root, const std::string& path);

}  // namespace

Job LoadJob(const std::string& path) {
  toml::table root;
  try {
    root = toml::parse_file(path);
  } catch (const toml::parse_error& error) {
    FailToParse(path, error);
  }
  return ReadJob(root, path);
}

Job ParseJob(std::string_view text, const std::string& path) {
  toml::table root;
  try {
    root = toml::parse(text, path);
  } catch (const toml::parse_error& error) {
    FailToParse(path, error);
  }
  return ReadJob(root, path);
}

namespace {

Job ReadJob(const toml::table& root, const std::string& path) {
  Job job;
  job.path = path;
  const fs::path folder = fs::path(path).parent_path();
  const TableReader top(path, root, "");
  top.AllowOnly({"basis", "results", "damping", "load", "base_acceleration", "output", "analysis"});
  if (!top.Has("basis")) throw Error(path + ":1:1: missing key 'basis' (the basis file)");
  job.basisPath = (folder / top.String("basis", "")).string();
  job.resultsPath = top.Has("results")
                        ? (folder / top.String("results", "")).string()
                        : (folder / (fs::path(path).stem().string() + "_results.h5")).string();

  const auto table = [&](const toml::node& node, const std::string& key) -> const toml::table& {
    if (const auto* found = node.as_table()) return *found;
    throw Error(Where(path, node.source()) + ": '" + key + "': expected a table");
  };
  const auto tables = [&](const std::string& key) {
    std::vector<const toml::table*> found;
    const toml::node* node = root.get(key);
    if (!node) return found;
    if (const auto* array = node->as_array()) {
      for (const toml::node& entry : *array) found.push_back(&table(entry, key));
    } else {
      found.push_back(&table(*node, key));
    }
    return found;
  };

  if (const toml::node* damping = root.get("damping")) {
    ReadDamping(TableReader(path, table(*damping, "damping"), " in [damping]"), job.damping);
  }
  for (const toml::table* entry : tables("load")) {
    const TableReader reader(path, *entry, " in [[load]]");
    reader.AllowOnly({"name", "node", "component", "scale", "amplitude"});
    NodalLoad load;
    load.name = reader.String("name", "");
    load.where = reader.Position();
    load.node = reader.RequiredInteger("node");
    load.component = Component(reader, "component", reader.RequiredInteger("component"), 6);
    load.scale = reader.Number("scale", 1.0);
    load.amplitude = ReadAmplitude(reader, folder);
    job.loads.push_back(load);
  }
  for (const toml::table* entry : tables("base_acceleration")) {
    const TableReader reader(path, *entry, " in [[base_acceleration]]");
    reader.AllowOnly({"name", "direction", "scale", "amplitude"});
    BaseAcceleration base;
    base.name = reader.String("name", "");
    base.where = reader.Position();
    base.direction = Component(reader, "direction", reader.RequiredInteger("direction"), 3);
    base.scale = reader.Number("scale", 1.0);
    base.amplitude = ReadAmplitude(reader, folder);
    job.baseAccelerations.push_back(base);
  }
  if (const toml::node* output = root.get("output")) {
    ReadOutputs(TableReader(path, table(*output, "output"), " in [output]"), job.outputs);
  }
  if (const toml::node* analyses = root.get("analysis")) {
    for (const auto& [key, node] : table(*analyses, "analysis")) {
      const std::string name(key.str());
      // The name becomes a group of the results file and part of CSV names.
      if (name.find_first_not_of(
              "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") !=
          std::string::npos) {
        throw Error(Where(path, key.source()) + ": analysis name '" + name +
                    "' may hold only letters, digits, '_' and '-'");
      }
      const TableReader reader(path, table(node, "analysis." + name),
                               " in [analysis." + name + "]");
      job.analyses.push_back(ReadAnalysis(reader, name));
    }
  }
  std::vector<std::string> loadNames;
  for (const NodalLoad& load : job.loads) loadNames.push_back(load.name);
  for (const BaseAcceleration& base : job.baseAccelerations) loadNames.push_back(base.name);
  for (const Analysis& analysis : job.analyses) {
    for (const std::string& name : analysis.loads) {
      if (std::find(loadNames.begin(), loadNames.end(), name) != loadNames.end()) continue;
      std::string message = analysis.Where("loads") + ": 'loads' in [analysis." + analysis.name +
                            "]: no load is named '" + name + "'";
      const std::string suggestion = Suggest(name, loadNames);
      if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
      throw Error(message);
    }
  }
  // Tables of a TOML table come sorted by key; run them in the file's order.
  std::stable_sort(job.analyses.begin(), job.analyses.end(),
                   [](const Analysis& a, const Analysis& b) { return a.line < b.line; });
  if (job.analyses.empty()) {
    throw Error(path + ": no analysis: add a table [analysis.NAME] with a 'type'");
  }
  return job;
}

}  // namespace

}  // namespace qvadyn
