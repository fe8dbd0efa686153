#include <algorithm>
#include <cmath>
#include <numeric>

#include "Analyses.h"
#include "Error.h"
#include "QVADyn/QVADynCore/QVADynForce.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace qvadyn {

namespace {
constexpr int kPlaces = 6;
}

ModalLoads ProjectLoads(const Job& job, const Analysis& analysis, Model& model) {
  ModalLoads loads;
  const int modes = model.GetBasis().NumModes();
  const auto applies = [&](const std::string& name) {
    return analysis.loads.empty() ||
           std::find(analysis.loads.begin(), analysis.loads.end(), name) != analysis.loads.end();
  };
  for (const NodalLoad& load : job.loads) {
    if (!applies(load.name)) continue;
    if (!model.HasDof(load.node, load.component)) {
      throw Error(load.where + ": [[load]] on node " + std::to_string(load.node) + " component " +
                  std::to_string(load.component) + ": the basis has no such DOF");
    }
    // The process holding the row gives its shape, the others zeros.
    const std::int64_t row = model.Row(load.node, load.component);
    const std::vector<double> shape =
        row >= 0 ? model.ShapeRow(row) : std::vector<double>(static_cast<std::size_t>(modes));
    loads.pattern.insert(loads.pattern.end(), shape.begin(), shape.end());
    loads.amplitudes.push_back(&load.amplitude);
    loads.scales.push_back(load.scale);
  }
  SumOverProcesses(loads.pattern.data(), loads.pattern.size());
  std::vector<const BaseAcceleration*> bases;
  for (const BaseAcceleration& base : job.baseAccelerations) {
    if (applies(base.name)) bases.push_back(&base);
  }
  if (!bases.empty()) {
    // Relative coordinates: the base acceleration a(t) along d loads mode k
    // with -Gamma_kd a(t).
    const double origin[3] = {0.0, 0.0, 0.0};
    std::vector<double> gamma, masses;
    try {
      model.Participation(origin, false, gamma, masses);
    } catch (const Error& error) {
      throw Error(bases.front()->where + ": [[base_acceleration]]: " + error.what());
    }
    for (const BaseAcceleration* base : bases) {
      for (int k = 0; k < modes; ++k) {
        loads.pattern.push_back(
            -gamma[static_cast<std::size_t>(k + modes * (base->direction - 1))]);
      }
      loads.amplitudes.push_back(&base->amplitude);
      loads.scales.push_back(base->scale);
    }
  }
  return loads;
}

void ApplyLoads(const ModalLoads& loads, const std::vector<double>& frames, QVADynEvent& event,
                int firstMode) {
  const int modes = event.NumberOfActiveModes();
  const int columns = std::max(loads.Columns(), 1);
  // Without loads the event still needs one (zero) force: free vibration.
  auto* pattern = new QVASrvMatrix(modes, columns);
  if (loads.Columns() > 0) {
    const std::size_t allModes = loads.pattern.size() / static_cast<std::size_t>(loads.Columns());
    for (int c = 0; c < loads.Columns(); ++c) {
      std::copy_n(loads.pattern.begin() + static_cast<std::ptrdiff_t>(c * allModes + firstMode),
                  modes, pattern->Values() + static_cast<std::ptrdiff_t>(c) * modes);
    }
  }
  std::vector<int> rows(static_cast<std::size_t>(columns));
  std::iota(rows.begin(), rows.end(), 0);
  try {
    event.LoadCase(0).AdoptForce(new QVADynForce(pattern, rows.data(), columns, nullptr, 0));
  } catch (...) {
    delete pattern;
    throw;
  }
  auto* table = new QVASrvMatrix(columns, static_cast<int>(frames.size()));
  for (int c = 0; c < loads.Columns(); ++c) {
    for (std::size_t j = 0; j < frames.size(); ++j) {
      (*table)(c, static_cast<int>(j)) =
          loads.scales[static_cast<std::size_t>(c)] *
          loads.amplitudes[static_cast<std::size_t>(c)]->At(frames[j]);
    }
  }
  event.AdoptAmplitudeTable(table);
}

std::vector<OutputPoint> ResolveOutputs(const Job& job, const Model& model) {
  std::vector<OutputPoint> points;
  for (const OutputDof& dof : job.outputs.dofs) {
    if (!model.HasDof(dof.node, dof.component)) {
      throw Error(dof.where + ": 'dofs' in [output]: node " + std::to_string(dof.node) +
                  " component " + std::to_string(dof.component) + ": the basis has no such DOF");
    }
    OutputPoint point;
    point.nodeId = dof.node;
    point.component = dof.component;
    point.here = model.Row(dof.node, dof.component) >= 0;
    if (!point.here) {
      points.push_back(point);
      continue;
    }
    point.node = model.Node(dof.node);
    point.entry = static_cast<std::size_t>(point.node) * kPlaces +
                  static_cast<std::size_t>(dof.component - 1);
    points.push_back(point);
  }
  return points;
}

std::vector<double> OutputShapes(const Model& model, const std::vector<OutputPoint>& points) {
  const std::size_t modes = static_cast<std::size_t>(model.GetBasis().NumModes());
  std::vector<double> shapes(modes * points.size(), 0.0);
  for (std::size_t o = 0; o < points.size(); ++o) {
    if (!points[o].here) continue;
    const std::vector<double> shape =
        model.ShapeRow(model.Row(points[o].nodeId, points[o].component));
    for (std::size_t k = 0; k < modes; ++k) shapes[k * points.size() + o] = shape[k];
  }
  SumOverProcesses(shapes.data(), shapes.size());
  return shapes;
}

void WriteOutputTable(ResultsWriter& results, const std::string& group, const Job& job,
                      const std::vector<OutputPoint>& points) {
  std::vector<std::int64_t> nodes;
  std::vector<std::int32_t> components;
  for (const OutputPoint& point : points) {
    nodes.push_back(point.nodeId);
    components.push_back(point.component);
  }
  const std::int64_t count = static_cast<std::int64_t>(points.size());
  results.File().Write(group + "/outputs/node", nodes, {count});
  results.File().Write(group + "/outputs/component", components, {count});
  std::vector<std::string> names;
  for (const auto& [name, type] : OutputQuantities(job.outputs)) names.push_back(name);
  results.File().Write(group + "/outputs/quantity", names);
}

std::vector<std::pair<std::string, QVADynRecoveryType>> OutputQuantities(const Outputs& outputs) {
  std::vector<std::pair<std::string, QVADynRecoveryType>> quantities;
  if (outputs.displacement) quantities.emplace_back("displacement", QVADynRecoverDisplacement);
  if (outputs.velocity) quantities.emplace_back("velocity", QVADynRecoverVelocity);
  if (outputs.acceleration) quantities.emplace_back("acceleration", QVADynRecoverAcceleration);
  return quantities;
}

std::vector<QVADynDiagonalDamping> DampingRecords(const Job& job, const Model& model,
                                                  int& projected) {
  const Damping& damping = job.damping;
  const Basis& basis = model.GetBasis();
  const std::size_t modes = static_cast<std::size_t>(basis.NumModes());
  if (damping.modal.size() > 1 && damping.modal.size() != modes) {
    throw Error(damping.where + ": 'modal' in [damping]: " + std::to_string(damping.modal.size()) +
                " ratios for the " + std::to_string(modes) + " modes of the basis");
  }
  projected = 0;
  if (damping.projectedViscous) {
    if (basis.viscousDamping.empty()) {
      throw Error(damping.where +
                  ": 'projected' in [damping]: the basis file stores no "
                  "'damping/viscous'");
    }
    projected |= 1;
  }
  if (damping.projectedStructural) {
    if (basis.structuralDamping.empty()) {
      throw Error(damping.where +
                  ": 'projected' in [damping]: the basis file stores no "
                  "'damping/structural'");
    }
    projected |= 2;
  }
  std::vector<QVADynDiagonalDamping> records(modes);
  for (std::size_t k = 0; k < modes; ++k) {
    const double zeta =
        damping.modal.empty() ? 0.0 : damping.modal[damping.modal.size() == 1 ? 0 : k];
    records[k] = {damping.structural, zeta, damping.alpha, damping.beta};
  }
  return records;
}

std::vector<std::int64_t> FieldFrames(const Analysis& analysis, std::size_t frameCount) {
  std::vector<std::int64_t> frames = analysis.fieldFrames;
  if (analysis.allFrames) {
    frames.resize(frameCount);
    std::iota(frames.begin(), frames.end(), 0);
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  if (!frames.empty() && frames.back() >= static_cast<std::int64_t>(frameCount)) {
    throw Error(analysis.Where("field") + ": 'field' in [analysis." + analysis.name + "]: frame " +
                std::to_string(frames.back()) + " is beyond the last frame " +
                std::to_string(frameCount - 1));
  }
  return frames;
}

std::unique_ptr<bool[]> NodeFlags(const Model& model, const std::vector<OutputPoint>& points,
                                  bool everyNode) {
  auto flags = std::make_unique<bool[]>(static_cast<std::size_t>(model.NumNodes()));
  for (int node = 0; node < model.NumNodes(); ++node)
    flags[static_cast<std::size_t>(node)] = everyNode;
  for (const OutputPoint& point : points) {
    if (point.here) flags[static_cast<std::size_t>(point.node)] = true;
  }
  return flags;
}

std::vector<int> AllModes(const Model& model) {
  std::vector<int> modes(static_cast<std::size_t>(model.GetBasis().NumModes()));
  std::iota(modes.begin(), modes.end(), 0);
  return modes;
}

std::vector<std::size_t> RowEntries(const Model& model) {
  const Basis& basis = model.GetBasis();
  const std::size_t first = static_cast<std::size_t>(model.Rows().first);
  std::vector<std::size_t> entries(static_cast<std::size_t>(model.Rows().count));
  for (std::size_t row = 0; row < entries.size(); ++row) {
    entries[row] = static_cast<std::size_t>(model.Node(basis.dofNodes[first + row])) * kPlaces +
                   static_cast<std::size_t>(basis.dofComponents[first + row] - 1);
  }
  return entries;
}

FrameAnalysisSetup PrepareFrameAnalysis(AnalysisContext& context, std::size_t frameCount) {
  FrameAnalysisSetup setup;
  setup.points = ResolveOutputs(context.job, context.model);
  setup.quantities = OutputQuantities(context.job.outputs);
  setup.fieldFrames = FieldFrames(context.analysis, frameCount);
  setup.damping = DampingRecords(context.job, context.model, setup.projected);
  setup.loads = ProjectLoads(context.job, context.analysis, context.model);
  setup.active = AllModes(context.model);
  return setup;
}

}  // namespace qvadyn
