// The analyses of a job, one function per kind (one source file each), and
// what they share: the modal loads, the output DOFs and the damping records
// resolved against the basis. Each analysis writes its group of the results
// file and its CSV files and returns its lines of the run summary.
//
//   qvadyn::AnalysisContext context{job, analysis, model, results, progress};
//   qvadyn::AnalysisSummary summary = qvadyn::RunHarmonic(context);
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "JobFile.h"
#include "ModelSetup.h"
#include "Progress.h"
#include "QVADyn/QVADynCore/QVADynEvent.h"
#include "QVADyn/QVADynCore/QVADynTypes.h"
#include "ResultsFile.h"
#include "Xdmf.h"

namespace qvadyn {

struct AnalysisContext {
  const Job& job;
  const Analysis& analysis;
  Model& model;
  ResultsWriter& results;
  Progress& progress;
};

// One analysis's part of the summary: its size and its peak responses.
struct AnalysisSummary {
  std::string name;
  std::string type;
  std::string size;
  double seconds = 0.0;
  std::vector<std::string> lines;
};

AnalysisSummary RunHarmonic(AnalysisContext& context);
AnalysisSummary RunTransient(AnalysisContext& context);
AnalysisSummary RunComplexModes(AnalysisContext& context);
AnalysisSummary RunParticipation(AnalysisContext& context);
AnalysisSummary RunRandom(AnalysisContext& context);            // RandomAnalysis.cpp
AnalysisSummary RunResponseSpectrum(AnalysisContext& context);  // ResponseSpectrumAnalysis.cpp

// The loads of a job projected onto the modes: one column per nodal load and
// base acceleration (modes x columns, column-major), each with its scale and
// amplitude. Raises qvadyn::Error naming the load for a node or component
// missing from the basis.
struct ModalLoads {
  std::vector<double> pattern;
  std::vector<const Amplitude*> amplitudes;
  std::vector<double> scales;
  int Columns() const { return static_cast<int>(amplitudes.size()); }
};
// Only the loads the analysis names, all when it names none.
ModalLoads ProjectLoads(const Job& job, const Analysis& analysis, Model& model);
// Hands the loads to `event` as load case 0 with the amplitude table over
// `frames` (frequencies or times): the rows of the event's active modes, which
// are modes firstMode, firstMode + 1, ... of the loads.
void ApplyLoads(const ModalLoads& loads, const std::vector<double>& frames, QVADynEvent& event,
                int firstMode = 0);

// The output DOFs resolved to component nodes and places. Over several
// processes a DOF is `here` in one of them only; the others leave its values
// zero, and SumOverProcesses completes them.
struct OutputPoint {
  std::int64_t nodeId = 0;
  int component = 0;
  bool here = true;
  int node = 0;           // component node, when here
  std::size_t entry = 0;  // node * 6 + place in the component's nodal arrays
};
std::vector<OutputPoint> ResolveOutputs(const Job& job, const Model& model);
// Phi at the output DOFs: modes x outputs, column-major (entry k * outputs +
// o), the same on every process.
std::vector<double> OutputShapes(const Model& model, const std::vector<OutputPoint>& points);
// Writes the full field `values` (frames x the model's block of rows, C
// order) of analysis `name` as /NAME/field/displacement of shape (frames,
// all rows), each process its columns; for results with a view (Xdmf.h),
// also the frames' point vectors.
template <typename T>
void WriteField(ResultsWriter& results, const std::string& name, const std::vector<T>& values,
                std::int64_t frames, const Model& model) {
  results.File().WriteColumnBlock("/" + name + "/field/displacement", values,
                                  {frames, model.GetBasis().NumDofs()}, model.Rows().first,
                                  model.Rows().count);
  if (!results.WithView()) return;
  WriteViewFrames(results.File(),
                  MakeViewPoints(model.GetBasis(), model.Rows(), Rank() == Processes() - 1), name,
                  values, frames);
}
// Writes outputs/node, outputs/component, outputs/quantity under `group`.
void WriteOutputTable(ResultsWriter& results, const std::string& group, const Job& job,
                      const std::vector<OutputPoint>& points);
// The quantities asked for, as names and recovery types.
std::vector<std::pair<std::string, QVADynRecoveryType>> OutputQuantities(const Outputs& outputs);

// Per-mode damping records of the job; raises for a per-mode list of the
// wrong length. `projected` receives the request bits (1 viscous, 2
// structural), checked against what the basis stores.
std::vector<QVADynDiagonalDamping> DampingRecords(const Job& job, const Model& model,
                                                  int& projected);
// Frames of the full field: sorted, checked against `frameCount`.
std::vector<std::int64_t> FieldFrames(const Analysis& analysis, std::size_t frameCount);
// What a frame-by-frame analysis (harmonic, transient) takes from the job
// before it solves: outputs, quantities, field frames among `frameCount`,
// damping and its projected-damping bits, loads and the active modes.
struct FrameAnalysisSetup {
  std::vector<OutputPoint> points;
  std::vector<std::pair<std::string, QVADynRecoveryType>> quantities;
  std::vector<std::int64_t> fieldFrames;
  int projected = 0;
  std::vector<QVADynDiagonalDamping> damping;
  ModalLoads loads;
  std::vector<int> active;
};
FrameAnalysisSetup PrepareFrameAnalysis(AnalysisContext& context, std::size_t frameCount);
// Flags of the nodes to recover (outputs, all nodes with `everyNode`).
std::unique_ptr<bool[]> NodeFlags(const Model& model, const std::vector<OutputPoint>& points,
                                  bool everyNode);
// Raises qvadyn::Error once RequestInterrupt() has been called (Run.h).
void StopIfInterrupted();
// Every mode of the basis, 0 ... n-1.
std::vector<int> AllModes(const Model& model);
// Entry node * 6 + place of each row of the model's block in the
// component's nodal arrays.
std::vector<std::size_t> RowEntries(const Model& model);

}  // namespace qvadyn
