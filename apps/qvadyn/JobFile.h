// The job file (TOML): the basis, damping, loads, analyses and outputs of one
// run. Loading checks everything before anything runs; every error names the
// file, line:column and key, and an unknown key gets a suggestion:
//
//   job.toml:14:1: unknown key 'frequncies' in [analysis.sweep] (did you mean 'frequencies'?)
//
// The README ("Job file") lists every key; in short:
//
//   basis = "beam.h5"                      # relative to the job file
//   [damping]  modal = 0.02 | [..per mode..], rayleigh = [alpha, beta],
//              structural = g, projected = ["viscous", "structural"]
//   [[load]]   node, component, scale, amplitude = number | [[x, value], ...] | "file.csv"
//   [[base_acceleration]]  direction (1-3), scale, amplitude
//   [output]   dofs = [[node, component], ...], quantities = [...], csv = true
//   [analysis.NAME]  type = "harmonic" | "transient" | "complex_modes" | "participation"
//                    | "random" | "response_spectrum"
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvadyn {

struct RandomSettings;    // RandomAnalysis.h
struct SpectrumSettings;  // ResponseSpectrumAnalysis.h

// A load's variation: value(x) by linear interpolation in (x, value) pairs,
// held constant outside them; a constant is one pair.
struct Amplitude {
  std::vector<double> x;
  std::vector<double> value;
  double At(double where) const;
};

struct NodalLoad {
  std::string name;  // optional, for analyses that pick their loads
  std::int64_t node = 0;
  int component = 1;
  double scale = 1.0;
  Amplitude amplitude;
  std::string where;  // "job.toml:14:1", for errors found against the basis
};

struct BaseAcceleration {
  std::string name;
  int direction = 1;  // 1..3, global x, y, z
  double scale = 1.0;
  Amplitude amplitude;
  std::string where;
};

struct Damping {
  std::vector<double> modal;  // fraction of critical: one value for all modes, or one per mode
  double alpha = 0.0;         // Rayleigh: c = alpha + beta omega^2
  double beta = 0.0;
  double structural = 0.0;  // loss factor g
  bool projectedViscous = false;
  bool projectedStructural = false;
  std::string where;
};

struct OutputDof {
  std::int64_t node = 0;
  int component = 1;
  std::string where;
};

struct Outputs {
  std::vector<OutputDof> dofs;
  bool displacement = true;
  bool velocity = false;
  bool acceleration = false;
  bool csv = true;
};

enum class AnalysisType {
  kHarmonic,
  kTransient,
  kComplexModes,
  kParticipation,
  kRandom,
  kResponseSpectrum
};
const char* AnalysisTypeName(AnalysisType type);

struct Analysis {
  std::string name;
  AnalysisType type = AnalysisType::kHarmonic;
  std::string where;
  int line = 0;                                 // of its table in the job file
  std::vector<std::string> loads;               // names of the loads it applies; empty: all
  std::map<std::string, std::string> keyWhere;  // "file:line:column" of each key's value
  // Where `key` was given, or the table's position.
  std::string Where(const std::string& key) const {
    const auto found = keyWhere.find(key);
    return found == keyWhere.end() ? where : found->second;
  }
  // harmonic: the frequencies [Hz] as listed, or a range with `points` per
  // interval between natural frequencies, clustered towards them by `bias`.
  std::vector<double> frequencies;
  double rangeLow = 0.0, rangeHigh = 0.0;
  int points = 0;
  double bias = 3.0;
  // transient: times [s], from `times`, or 0, step, ... up to duration.
  std::vector<double> times;
  std::vector<double> initialDisplacement;  // modal, one per mode, or empty
  std::vector<double> initialVelocity;
  // complex modes: at most `count` modes between the bounds [Hz].
  int count = 0;
  double lowFrequency = 0.0;
  double highFrequency = 1e30;
  // participation: the point the rotations are about.
  double reference[3] = {0.0, 0.0, 0.0};
  // full field at these frames (indices into frequencies or times); `allFrames`
  // for every frame.
  std::vector<std::int64_t> fieldFrames;
  bool allFrames = false;
  // random, response_spectrum: the settings of their tables.
  std::shared_ptr<const RandomSettings> random;
  std::shared_ptr<const SpectrumSettings> spectrum;
};

struct Job {
  std::string path;
  std::string basisPath;    // resolved against the job file's folder
  std::string resultsPath;  // default: "<job stem>_results.h5" beside the job file
  Damping damping;
  std::vector<NodalLoad> loads;
  std::vector<BaseAcceleration> baseAccelerations;
  Outputs outputs;
  std::vector<Analysis> analyses;  // in the order of the file
};

// Reads and checks a job file; raises qvadyn::Error with file:line:column.
Job LoadJob(const std::string& path);
// The same from the text of a job file; `path` names it in messages and its
// folder is where relative paths start.
Job ParseJob(std::string_view text, const std::string& path);

// The closest of `candidates` to `word` within a small edit distance, or "".
std::string Suggest(const std::string& word, const std::vector<std::string>& candidates);

// Frequencies of a harmonic range: `points` per interval between the range
// ends and the natural frequencies `naturalHz` inside it, clustered towards
// the interval ends by `bias` (1 = evenly spaced), every natural frequency
// included once.
std::vector<double> ClusteredFrequencies(double low, double high, int points, double bias,
                                         const std::vector<double>& naturalHz);

}  // namespace qvadyn
