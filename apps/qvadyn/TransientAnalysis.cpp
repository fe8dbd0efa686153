// The transient analysis: the response in time to the job's loads and to
// modal initial conditions, integrated by the component exactly for loads
// varying linearly between the frames.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>

#include "Analyses.h"
#include "Error.h"
#include "GivenSolution.h"
#include "QVADyn/QVADynCore/QVADynTransientEvent.h"
#include "QVADyn/QVADynCore/QVADynTransientSolver.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace qvadyn {

namespace {

// Raises unless a modal list of the job is empty or holds one value per mode.
void CheckModal(const Analysis& analysis, const std::string& key, const std::vector<double>& values,
                int modes) {
  if (values.empty() || static_cast<int>(values.size()) == modes) return;
  throw Error(analysis.Where(key) + ": '" + key + "' in [analysis." + analysis.name +
              "]: " + std::to_string(values.size()) + " values for the " + std::to_string(modes) +
              " modes of the basis");
}

}  // namespace

AnalysisSummary RunTransient(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  Model& model = context.model;
  const int modes = model.GetBasis().NumModes();
  const std::vector<double>& times = analysis.times;
  const std::size_t count = times.size();
  const FrameAnalysisSetup setup = PrepareFrameAnalysis(context, count);
  const auto& [points, quantities, fieldFrames, projected, damping, loads, active] = setup;

  // Initial state, checked against the mode count. The component keeps a
  // segment's first acceleration as given; at t0 it must satisfy the
  // equation of motion: a0 = f(t0) - C v0 - Lambda q0.
  const std::size_t m = static_cast<std::size_t>(modes);
  CheckModal(analysis, "initial_displacement", analysis.initialDisplacement, modes);
  CheckModal(analysis, "initial_velocity", analysis.initialVelocity, modes);
  std::vector<double> displacement0 = analysis.initialDisplacement;
  std::vector<double> velocity0 = analysis.initialVelocity;
  displacement0.resize(m, 0.0);
  velocity0.resize(m, 0.0);
  const Basis& basis = model.GetBasis();
  std::vector<double> acceleration0(m, 0.0);
  for (int c = 0; c < loads.Columns(); ++c) {
    const double value = loads.scales[static_cast<std::size_t>(c)] *
                         loads.amplitudes[static_cast<std::size_t>(c)]->At(times.front());
    for (std::size_t k = 0; k < m; ++k) acceleration0[k] += value * loads.pattern[c * m + k];
  }
  for (std::size_t k = 0; k < m; ++k) {
    const double lambda = basis.eigenvalues[k];
    const QVADynDiagonalDamping& record = damping[k];
    acceleration0[k] -= lambda * displacement0[k] +
                        (2.0 * record.criticalFraction * std::sqrt(std::max(lambda, 0.0)) +
                         record.massFactor + record.stiffnessFactor * lambda) *
                            velocity0[k];
    if ((projected & 1) == 0) continue;
    for (std::size_t l = 0; l < m; ++l) {
      acceleration0[k] -= basis.viscousDamping[k + l * m] * velocity0[l];
    }
  }

  // The frames are solved in segments that share their end frames, each
  // starting from the state the previous one ended in: the progress line
  // moves, an interruption takes effect, and memory stays that of a segment.
  const std::vector<double>& eigenvalues = basis.eigenvalues;
  const std::vector<std::size_t> rowEntries = RowEntries(model);
  const std::size_t dofs = rowEntries.size();
  std::vector<double> modal(count * m);
  std::vector<double> kinetic(count), strain(count);
  std::vector<std::vector<double>> histories(quantities.size(),
                                             std::vector<double>(count * points.size()));
  std::vector<double> field(fieldFrames.size() * dofs);
  std::vector<double> amplitudes(m);
  std::vector<double> nodal(static_cast<std::size_t>(model.NumNodes()) * 6);
  const bool recover = !points.empty() || !fieldFrames.empty();
  int bits = fieldFrames.empty() ? 0 : 1;
  for (const auto& [name, type] : quantities) bits |= 1 << type;
  std::size_t nextField = 0;
  const std::size_t segment = std::clamp<std::size_t>(count / 20, 64, 4096);

  // With diagonal damping the modes are independent: over several processes
  // each integrates its share of them, the time histories are gathered, and
  // every process recovers its rows from all of them. Projected damping
  // couples the modes, and every process integrates them all (so it does
  // with acoustic modes, which the component takes only as a whole).
  const bool splitModes = Distributed() && projected == 0 && basis.numAcousticModes == 0;
  const RowBlock share = splitModes ? EvenShare(modes, Processes(), Rank()) : RowBlock{0, modes};
  const auto shareFirst = static_cast<std::size_t>(share.first);
  const auto shareModes = static_cast<std::size_t>(share.count);
  const QVADynRecoveryType kinds[3] = {QVADynRecoverDisplacement, QVADynRecoverVelocity,
                                       QVADynRecoverAcceleration};
  std::vector<double>* states[3] = {&displacement0, &velocity0, &acceleration0};
  // A new event over `segmentTimes` and modes firstMode ... firstMode +
  // modeCount - 1: it integrates them from the state `states`, or with
  // `given` (whole time histories of the segment) stores those.
  const auto newEvent = [&](const std::vector<double>& segmentTimes, std::size_t firstMode,
                            std::size_t modeCount, const std::vector<double>* given) {
    const std::size_t size = segmentTimes.size();
    const QVAFsmModalEventResults eventResults =
        model.Database().CreateModalEventResults(model.ModalObject());
    auto event = std::make_unique<QVADynTransientEvent>(
        model.Modal(),
        given ? new GivenTimeHistories(static_cast<int>(size), modes, given[0].data(),
                                       given[1].data(), given[2].data())
              : new QVADynTransientSolver,
        eventResults);
    event->SetActiveModes(static_cast<int>(modeCount), active.data() + firstMode);
    std::vector<QVADynFrameValue> frames(size);
    for (std::size_t n = 0; n + 1 < size; ++n)
      frames[n].third = segmentTimes[n + 1] - segmentTimes[n];
    frames[size - 1].third = frames[size - 2].third;
    event->SetFrameValues(static_cast<int>(size), frames.data());
    event->SetDiagonalDamping(static_cast<int>(modeCount), damping.data() + firstMode);
    if (projected != 0) event->RequestProjectedDamping(projected);
    ApplyLoads(loads, segmentTimes, *event, static_cast<int>(firstMode));
    if (!given) {
      for (int kind = 0; kind < 3; ++kind) {
        event->SetInitialCondition(kinds[kind], QVASrvMatrix(static_cast<int>(modeCount), 1,
                                                             states[kind]->data() + firstMode));
      }
    }
    event->Solve(nullptr);
    return event;
  };

  context.progress.Begin(analysis.name, static_cast<long long>(count));
  for (std::size_t first = 0; first + 1 < count;) {
    StopIfInterrupted();
    const std::size_t last = std::min(first + segment, count - 1);
    const std::size_t size = last - first + 1;
    const std::vector<double> segmentTimes(times.begin() + static_cast<long>(first),
                                           times.begin() + static_cast<long>(last + 1));
    context.progress.Phase("solving");
    // The segment's modal displacement, velocity and acceleration, frame by
    // frame (entry n * m + k); gathered mode by mode (entry (k * 3 + kind) *
    // size + n), so that a process's share of the modes is one block.
    std::vector<double> segmentHistories[3];
    std::vector<double> byMode(3 * size * m);
    std::unique_ptr<QVADynTransientEvent> event;
    if (shareModes > 0) {
      event = newEvent(segmentTimes, shareFirst, shareModes, nullptr);
      for (std::size_t n = 0; n < size; ++n) {
        for (int kind = 0; kind < 3; ++kind) {
          event->GetModalAmplitudes(kinds[kind], QVADynRealPart, static_cast<int>(n), 0,
                                    amplitudes.data());
          for (std::size_t i = 0; i < shareModes; ++i) {
            byMode[((shareFirst + i) * 3 + kind) * size + n] = amplitudes[i];
          }
        }
      }
    }
    if (splitModes) GatherParts(byMode.data(), ShareOffsets(modes, 3 * size));
    for (int kind = 0; kind < 3; ++kind) {
      segmentHistories[kind].resize(size * m);
      for (std::size_t k = 0; k < m; ++k) {
        for (std::size_t n = 0; n < size; ++n) {
          segmentHistories[kind][n * m + k] = byMode[(k * 3 + kind) * size + n];
        }
      }
    }
    context.progress.Advance("solving", static_cast<long long>(first == 0 ? size : size - 1));

    // Modal displacement per frame and the energies of the mass-normalized
    // modes: kinetic 1/2 sum qdot^2, strain 1/2 sum omega^2 q^2.
    for (std::size_t n = first == 0 ? 0 : 1; n < size; ++n) {
      const std::size_t frame = first + n;
      const double* q = segmentHistories[0].data() + n * m;
      const double* qdot = segmentHistories[1].data() + n * m;
      std::copy_n(q, m, modal.data() + frame * m);
      for (std::size_t k = 0; k < m; ++k) {
        kinetic[frame] += 0.5 * qdot[k] * qdot[k];
        strain[frame] += 0.5 * eigenvalues[k] * q[k] * q[k];
      }
    }
    for (int kind = 0; kind < 3; ++kind) {
      std::copy_n(segmentHistories[kind].data() + (size - 1) * m, m, states[kind]->data());
    }

    if (recover) {
      context.progress.Phase("recovering");
      const bool fieldHere = nextField < fieldFrames.size() &&
                             fieldFrames[nextField] <= static_cast<std::int64_t>(last);
      if (splitModes) event = newEvent(segmentTimes, 0, m, segmentHistories);
      const std::unique_ptr<bool[]> nodes = NodeFlags(model, points, fieldHere);
      event->Recover(nodes.get(), bits);
      for (std::size_t n = first == 0 ? 0 : 1; n < size; ++n) {
        const std::size_t frame = first + n;
        for (std::size_t q = 0; q < quantities.size(); ++q) {
          event->GetNodalResults(nodes.get(), static_cast<int>(n), 0, nodal.data(),
                                 quantities[q].second);
          for (std::size_t p = 0; p < points.size(); ++p) {
            if (points[p].here) histories[q][frame * points.size() + p] = nodal[points[p].entry];
          }
        }
        if (nextField < fieldFrames.size() &&
            fieldFrames[nextField] == static_cast<std::int64_t>(frame)) {
          event->GetNodalResults(nodes.get(), static_cast<int>(n), 0, nodal.data(),
                                 QVADynRecoverDisplacement);
          double* row = field.data() + nextField * dofs;
          for (std::size_t r = 0; r < dofs; ++r) row[r] = nodal[rowEntries[r]];
          ++nextField;
        }
      }
    }
    context.progress.Advance("recovering", static_cast<long long>(first == 0 ? size : size - 1));
    first = last;
  }

  for (std::vector<double>& history : histories) SumOverProcesses(history.data(), history.size());
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
    WriteField(results, analysis.name, field, static_cast<std::int64_t>(fieldFrames.size()), model);
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
