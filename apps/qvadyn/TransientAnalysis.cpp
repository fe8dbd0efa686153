// The transient analysis: the response in time to the job's loads and to
// modal initial conditions, integrated by the component exactly for loads
// varying linearly between the frames.

#include <chrono>
#include <cmath>
#include <sstream>

#include "Analyses.h"
#include "Error.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace qvadyn {

namespace {

// Hands a modal initial condition of the job to the event; raises for a
// list that is not one value per mode.
void SetInitial(QVADynTransientEvent& event, const Analysis& analysis, const std::string& key,
                const std::vector<double>& values, int modes, QVADynRecoveryType type) {
  if (values.empty()) return;
  if (static_cast<int>(values.size()) != modes) {
    throw Error(analysis.Where(key) + ": '" + key + "' in [analysis." + analysis.name +
                "]: " + std::to_string(values.size()) + " values for the " + std::to_string(modes) +
                " modes of the basis");
  }
  QVASrvMatrix initial(modes, 1, const_cast<double*>(values.data()));
  event.SetInitialCondition(type, initial);
}

}  // namespace

AnalysisSummary RunTransient(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  Model& model = context.model;
  const int modes = model.GetBasis().NumModes();
  const std::vector<double>& times = analysis.times;
  const std::size_t count = times.size();
  const std::vector<OutputPoint> points = ResolveOutputs(context.job, model);
  const auto quantities = OutputQuantities(context.job.outputs);
  const std::vector<std::int64_t> fieldFrames = FieldFrames(analysis, count);
  int projected = 0;
  const std::vector<QVADynDiagonalDamping> damping = DampingRecords(context.job, model, projected);
  const ModalLoads loads = ProjectLoads(context.job, analysis, model);
  const std::vector<int> active = AllModes(model);

  context.progress.Begin(analysis.name, static_cast<long long>(count));
  QVADynTransientEvent event(model.Modal(), new QVADynTransientSolver,
                             model.Database().CreateModalEventResults(model.ModalObject()));
  event.SetActiveModes(modes, active.data());
  std::vector<QVADynFrameValue> frames(count);
  for (std::size_t n = 0; n + 1 < count; ++n) frames[n].third = times[n + 1] - times[n];
  frames[count - 1].third = frames[count - 2].third;
  event.SetFrameValues(static_cast<int>(count), frames.data());
  event.SetDiagonalDamping(modes, damping.data());
  if (projected != 0) event.RequestProjectedDamping(projected);
  ApplyLoads(loads, times, event);
  SetInitial(event, analysis, "initial_displacement", analysis.initialDisplacement, modes,
             QVADynRecoverDisplacement);
  SetInitial(event, analysis, "initial_velocity", analysis.initialVelocity, modes,
             QVADynRecoverVelocity);
  // The component keeps frame 0's acceleration as given; make it satisfy the
  // equation of motion there: a0 = f(0) - C v0 - Lambda q0.
  const Basis& basis = model.GetBasis();
  std::vector<double> acceleration(static_cast<std::size_t>(modes), 0.0);
  for (int c = 0; c < loads.Columns(); ++c) {
    const double value = loads.scales[static_cast<std::size_t>(c)] *
                         loads.amplitudes[static_cast<std::size_t>(c)]->At(times.front());
    for (int k = 0; k < modes; ++k) {
      acceleration[static_cast<std::size_t>(k)] +=
          value * loads.pattern[static_cast<std::size_t>(c * modes + k)];
    }
  }
  for (std::size_t k = 0; k < static_cast<std::size_t>(modes); ++k) {
    const double lambda = basis.eigenvalues[k];
    if (!analysis.initialDisplacement.empty()) {
      acceleration[k] -= lambda * analysis.initialDisplacement[k];
    }
    if (analysis.initialVelocity.empty()) continue;
    const QVADynDiagonalDamping& record = damping[k];
    acceleration[k] -= (2.0 * record.criticalFraction * std::sqrt(std::max(lambda, 0.0)) +
                        record.massFactor + record.stiffnessFactor * lambda) *
                       analysis.initialVelocity[k];
    if ((projected & 1) == 0) continue;
    for (std::size_t l = 0; l < static_cast<std::size_t>(modes); ++l) {
      acceleration[k] -= basis.viscousDamping[k + l * static_cast<std::size_t>(modes)] *
                         analysis.initialVelocity[l];
    }
  }
  SetInitial(event, analysis, "initial_acceleration", acceleration, modes,
             QVADynRecoverAcceleration);
  context.progress.Phase("solving");
  event.Solve(nullptr);
  context.progress.Advance("solving", static_cast<long long>(count));

  // Modal displacement and velocity per frame, and the energies of the
  // mass-normalized modes: kinetic 1/2 sum qdot^2, strain 1/2 sum omega^2 q^2.
  const std::vector<double>& eigenvalues = model.GetBasis().eigenvalues;
  std::vector<double> modal(count * static_cast<std::size_t>(modes));
  std::vector<double> velocity(static_cast<std::size_t>(modes));
  std::vector<double> kinetic(count), strain(count);
  for (std::size_t n = 0; n < count; ++n) {
    double* q = modal.data() + n * static_cast<std::size_t>(modes);
    event.GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, static_cast<int>(n), 0, q);
    event.GetModalAmplitudes(QVADynRecoverVelocity, QVADynRealPart, static_cast<int>(n), 0,
                             velocity.data());
    for (std::size_t k = 0; k < static_cast<std::size_t>(modes); ++k) {
      kinetic[n] += 0.5 * velocity[k] * velocity[k];
      strain[n] += 0.5 * eigenvalues[k] * q[k] * q[k];
    }
  }

  const std::vector<std::size_t> rowEntries = RowEntries(model);
  const std::size_t dofs = rowEntries.size();
  std::vector<std::vector<double>> histories(quantities.size(),
                                             std::vector<double>(count * points.size()));
  std::vector<double> field(fieldFrames.size() * dofs);
  if (!points.empty() || !fieldFrames.empty()) {
    context.progress.Phase("recovering");
    int bits = fieldFrames.empty() ? 0 : 1;
    for (const auto& [name, type] : quantities) bits |= 1 << type;
    const std::unique_ptr<bool[]> nodes = NodeFlags(model, points, !fieldFrames.empty());
    event.Recover(nodes.get(), bits);
    std::vector<double> nodal(static_cast<std::size_t>(model.NumNodes()) * 6);
    std::size_t nextField = 0;
    for (std::size_t n = 0; n < count; ++n) {
      for (std::size_t q = 0; q < quantities.size(); ++q) {
        event.GetNodalResults(nodes.get(), static_cast<int>(n), 0, nodal.data(),
                              quantities[q].second);
        for (std::size_t p = 0; p < points.size(); ++p) {
          histories[q][n * points.size() + p] = nodal[points[p].entry];
        }
      }
      if (n % 256 == 255) context.progress.Advance("recovering", 256);
      if (nextField < fieldFrames.size() &&
          fieldFrames[nextField] == static_cast<std::int64_t>(n)) {
        event.GetNodalResults(nodes.get(), static_cast<int>(n), 0, nodal.data(),
                              QVADynRecoverDisplacement);
        double* row = field.data() + nextField * dofs;
        for (std::size_t r = 0; r < dofs; ++r) row[r] = nodal[rowEntries[r]];
        ++nextField;
      }
    }
  }
  const bool recovered = !points.empty() || !fieldFrames.empty();
  context.progress.Advance("recovering", static_cast<long long>(recovered ? count % 256 : count));

  context.progress.Phase("writing");
  ResultsWriter& results = context.results;
  const std::string group = "/" + analysis.name;
  results.BeginAnalysis(analysis.name, "transient");
  const std::int64_t frameCount = static_cast<std::int64_t>(count);
  const std::int64_t outputCount = static_cast<std::int64_t>(points.size());
  results.File().Write(group + "/time", times, {frameCount});
  results.File().Write(group + "/modal_displacement", modal, {frameCount, modes});
  results.File().Write(group + "/energy/kinetic", kinetic, {frameCount});
  results.File().Write(group + "/energy/strain", strain, {frameCount});
  WriteOutputTable(results, group, context.job, points);
  for (std::size_t q = 0; q < quantities.size(); ++q) {
    results.File().Write(group + "/" + quantities[q].first, histories[q],
                         {frameCount, outputCount});
  }
  if (!fieldFrames.empty()) {
    results.File().Write(group + "/field/frames", fieldFrames,
                         {static_cast<std::int64_t>(fieldFrames.size())});
    results.File().Write(
        group + "/field/displacement", field,
        {static_cast<std::int64_t>(fieldFrames.size()), static_cast<std::int64_t>(dofs)});
  }

  AnalysisSummary summary{analysis.name, "transient", "", 0.0, {}};
  std::ostringstream size;
  size << count << " times from " << times.front() << " to " << times.back() << " s, " << modes
       << " modes, " << points.size() << " output DOFs";
  summary.size = size.str();
  for (std::size_t p = 0; p < points.size(); ++p) {
    std::vector<std::vector<double>> columns{times};
    std::string heading = "time";
    for (std::size_t q = 0; q < quantities.size(); ++q) {
      std::vector<double> column(count);
      std::size_t peak = 0;
      for (std::size_t n = 0; n < count; ++n) {
        column[n] = histories[q][n * points.size() + p];
        if (std::fabs(column[n]) > std::fabs(column[peak])) peak = n;
      }
      std::ostringstream line;
      line.precision(4);
      line << "node " << points[p].nodeId << " component " << points[p].component << " "
           << quantities[q].first << ": peak " << column[peak] << " at " << times[peak] << " s";
      summary.lines.push_back(line.str());
      columns.push_back(std::move(column));
      heading += quantities[q].first == "displacement" ? ",u"
                 : quantities[q].first == "velocity"   ? ",v"
                                                       : ",a";
    }
    if (context.job.outputs.csv) {
      results.WriteCsv(analysis.name + "_" + std::to_string(points[p].nodeId) + "_" +
                           std::to_string(points[p].component),
                       heading, columns);
    }
  }
  context.progress.End();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace qvadyn
