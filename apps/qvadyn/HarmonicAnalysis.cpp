// The harmonic analysis: steady-state response over a list of frequencies,
// solved in batches of frames (one harmonic event each) so that the progress
// line moves and memory stays bounded by a batch.

#include <chrono>
#include <cmath>
#include <complex>
#include <numbers>
#include <sstream>

#include "Analyses.h"
#include "GivenSolution.h"
#include "QVADyn/QVADynCore/QVADynHarmonicEvent.h"
#include "QVADyn/QVADynCore/QVADynHarmonicSolver.h"

namespace qvadyn {

namespace {

constexpr std::size_t kMaxBatch = 256;

std::string Hertz(double value) {
  std::ostringstream text;
  text.precision(6);
  text << value << " Hz";
  return text.str();
}

}  // namespace

AnalysisSummary RunHarmonic(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  Model& model = context.model;
  const int modes = model.GetBasis().NumModes();
  const std::vector<double> frequencies =
      analysis.frequencies.empty()
          ? ClusteredFrequencies(analysis.rangeLow, analysis.rangeHigh, analysis.points,
                                 analysis.bias, model.NaturalFrequencies())
          : analysis.frequencies;
  const std::size_t count = frequencies.size();
  const FrameAnalysisSetup setup = PrepareFrameAnalysis(context, count);
  const auto& [points, quantities, fieldFrames, projected, damping, loads, active] = setup;
  const std::vector<std::size_t> rowEntries = RowEntries(model);
  const std::size_t dofs = rowEntries.size();

  std::vector<std::complex<double>> modal(count * static_cast<std::size_t>(modes));
  std::vector<std::complex<double>> response(count * points.size());
  std::vector<std::complex<double>> field(fieldFrames.size() * dofs);
  std::vector<double> real(static_cast<std::size_t>(model.NumNodes()) * 6);
  std::vector<double> imaginary(real.size());
  std::vector<double> part(static_cast<std::size_t>(modes));
  std::size_t nextField = 0;

  // A new event over `frameCount` frequencies of the batch from `offset`: it
  // solves them, or with `given` (the batch's gathered amplitudes) stores those.
  const auto newEvent = [&](const std::vector<double>& batchFrequencies, std::size_t offset,
                            std::size_t frameCount, const std::complex<double>* given) {
    const QVAFsmModalEventResults eventResults =
        model.Database().CreateModalEventResults(model.ModalObject());
    auto event = std::make_unique<QVADynHarmonicEvent>(
        model.Modal(),
        given ? new GivenHarmonicAmplitudes(static_cast<int>(frameCount), modes, given)
              : new QVADynHarmonicSolver,
        eventResults);
    event->SetActiveModes(modes, active.data());
    const std::vector<double> eventFrequencies(
        batchFrequencies.begin() + static_cast<long>(offset),
        batchFrequencies.begin() + static_cast<long>(offset + frameCount));
    std::vector<QVADynFrameValue> frames(frameCount);
    for (std::size_t j = 0; j < frameCount; ++j) frames[j].first = eventFrequencies[j];
    event->SetFrameValues(static_cast<int>(frameCount), frames.data());
    event->SetDiagonalDamping(modes, damping.data());
    if (projected != 0) event->RequestProjectedDamping(projected);
    ApplyLoads(loads, eventFrequencies, *event);
    event->Solve(nullptr);
    return event;
  };

  context.progress.Begin(analysis.name, static_cast<long long>(count));
  // Over several processes each solves its share of a batch's frequencies;
  // the amplitudes are gathered, and every process recovers its rows from
  // all of them. A batch grows with the processes, so that each process's
  // share and recovered block stay those of one process.
  const std::size_t batch =
      std::clamp<std::size_t>(count / 20, 1, kMaxBatch) * static_cast<std::size_t>(Processes());
  for (std::size_t first = 0; first < count; first += batch) {
    StopIfInterrupted();
    const std::size_t size = std::min(batch, count - first);
    const std::vector<double> batchFrequencies(
        frequencies.begin() + static_cast<long>(first),
        frequencies.begin() + static_cast<long>(first + size));
    std::complex<double>* batchModal = modal.data() + first * modes;
    const RowBlock share = EvenShare(static_cast<std::int64_t>(size), Processes(), Rank());
    std::unique_ptr<QVADynHarmonicEvent> event;
    if (share.count > 0) {
      const auto shareFirst = static_cast<std::size_t>(share.first);
      event =
          newEvent(batchFrequencies, shareFirst, static_cast<std::size_t>(share.count), nullptr);
      for (int frame = 0; frame < static_cast<int>(share.count); ++frame) {
        std::complex<double>* amplitudes = batchModal + (shareFirst + frame) * modes;
        event->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynRealPart, frame, 0, part.data());
        for (int k = 0; k < modes; ++k) amplitudes[k] = part[static_cast<std::size_t>(k)];
        event->GetModalAmplitudes(QVADynRecoverDisplacement, QVADynImaginaryPart, frame, 0,
                                  part.data());
        for (int k = 0; k < modes; ++k) {
          amplitudes[k] += std::complex<double>(0.0, part[static_cast<std::size_t>(k)]);
        }
      }
    }
    GatherParts(batchModal,
                ShareOffsets(static_cast<std::int64_t>(size), static_cast<std::size_t>(modes)));
    context.progress.Advance("solving", static_cast<long long>(size));

    const bool fieldInBatch = nextField < fieldFrames.size() &&
                              fieldFrames[nextField] < static_cast<std::int64_t>(first + size);
    if (!points.empty() || fieldInBatch) {
      if (Distributed()) event = newEvent(batchFrequencies, 0, size, batchModal);
      const std::unique_ptr<bool[]> nodes = NodeFlags(model, points, fieldInBatch);
      event->Recover(nodes.get(), 1);
      for (std::size_t j = 0; j < size; ++j) {
        const int frame = static_cast<int>(j);
        const bool fieldFrame = nextField < fieldFrames.size() &&
                                fieldFrames[nextField] == static_cast<std::int64_t>(first + j);
        if (points.empty() && !fieldFrame) continue;
        event->GetNodalResults(nodes.get(), frame, 0, real.data(), QVADynRecoverDisplacement);
        event->GetImaginaryNodalResults(nodes.get(), frame, 0, imaginary.data(),
                                        QVADynRecoverDisplacement);
        for (std::size_t p = 0; p < points.size(); ++p) {
          if (!points[p].here) continue;
          response[(first + j) * points.size() + p] = {real[points[p].entry],
                                                       imaginary[points[p].entry]};
        }
        if (fieldFrame) {
          std::complex<double>* row = field.data() + nextField * dofs;
          for (std::size_t r = 0; r < dofs; ++r)
            row[r] = {real[rowEntries[r]], imaginary[rowEntries[r]]};
          ++nextField;
        }
      }
    }
    context.progress.Advance("recovering", static_cast<long long>(size));
  }

  SumOverProcesses(response.data(), response.size());
  context.progress.Phase("writing");
  ResultsWriter& results = context.results;
  const std::string group = "/" + analysis.name;
  results.BeginAnalysis(analysis.name, "harmonic");
  const std::int64_t frameCount = static_cast<std::int64_t>(count);
  results.File().Write(group + "/frequency", frequencies, {frameCount});
  results.File().Write(group + "/modal_amplitudes", modal, {frameCount, modes});
  WriteOutputTable(results, group, context.job, points);

  AnalysisSummary summary{analysis.name, "harmonic", "", 0.0, {}};
  std::ostringstream size;
  size << count << " frequencies from " << frequencies.front() << " to " << frequencies.back()
       << " Hz, " << modes << " modes, " << points.size() << " output DOFs";
  summary.size = size.str();
  for (const auto& [name, type] : quantities) {
    // v = i omega u, a = -omega^2 u at each frequency.
    std::vector<std::complex<double>> values(response.size());
    for (std::size_t j = 0; j < count; ++j) {
      const std::complex<double> iOmega(0.0, 2.0 * std::numbers::pi * frequencies[j]);
      const std::complex<double> factor = type == QVADynRecoverDisplacement ? 1.0
                                          : type == QVADynRecoverVelocity   ? iOmega
                                                                            : iOmega * iOmega;
      for (std::size_t p = 0; p < points.size(); ++p) {
        values[j * points.size() + p] = factor * response[j * points.size() + p];
      }
    }
    results.File().Write(group + "/" + name, values,
                         {frameCount, static_cast<std::int64_t>(points.size())});
    for (std::size_t p = 0; p < points.size(); ++p) {
      std::vector<std::vector<double>> columns{frequencies, {}, {}, {}, {}};
      std::size_t peak = 0;
      for (std::size_t j = 0; j < count; ++j) {
        const std::complex<double> value = values[j * points.size() + p];
        columns[1].push_back(value.real());
        columns[2].push_back(value.imag());
        columns[3].push_back(std::abs(value));
        columns[4].push_back(std::arg(value) * 180.0 / std::numbers::pi);
        if (std::abs(value) > std::abs(values[peak * points.size() + p])) peak = j;
      }
      const std::string label = analysis.name + "_" + std::to_string(points[p].nodeId) + "_" +
                                std::to_string(points[p].component) + "_" + name;
      if (context.job.outputs.csv) {
        results.WriteCsv(label, "frequency,real,imaginary,magnitude,phase", columns);
      }
      std::ostringstream line;
      line.precision(4);
      line << "node " << points[p].nodeId << " component " << points[p].component << " " << name
           << ": peak |" << name << "| " << std::abs(values[peak * points.size() + p]) << " at "
           << Hertz(frequencies[peak]);
      summary.lines.push_back(line.str());
    }
  }
  if (!fieldFrames.empty()) {
    results.File().Write(group + "/field/frames", fieldFrames,
                         {static_cast<std::int64_t>(fieldFrames.size())});
    WriteField(results, analysis.name, field, static_cast<std::int64_t>(fieldFrames.size()), model);
  }
  context.progress.End();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace qvadyn
