// The complex modes of the damped structure in the subspace of all real
// modes of the basis, with the job's damping (modal, Rayleigh, structural
// and the projected matrices asked for).

#include <chrono>
#include <cmath>
#include <numbers>
#include <sstream>

#include "Analyses.h"
#include "Error.h"
#include "QVADyn/QVADynCore/QVADynCFreqSolve.h"
#include "QVADyn/QVADynCore/QVADynComplexModalSystem.h"
#include "platform/matrix/QVASrvDenseMatrix.h"
#include "platform/matrix/QVASrvMatrix.h"

namespace qvadyn {

AnalysisSummary RunComplexModes(AnalysisContext& context) {
  const auto start = std::chrono::steady_clock::now();
  const Analysis& analysis = context.analysis;
  Model& model = context.model;
  const Basis& basis = model.GetBasis();
  const int n = basis.NumModes();
  int projected = 0;
  const std::vector<QVADynDiagonalDamping> records = DampingRecords(context.job, model, projected);
  context.progress.Begin(analysis.name, 1);
  context.progress.Phase("solving");

  // Projected operators of unit modal mass: K = diag(omega^2), V and S the
  // job's damping in modal coordinates (the same terms the events assemble).
  const std::size_t size = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  std::vector<double> stiffness(size, 0.0);
  std::vector<double> viscous =
      (projected & 1) ? basis.viscousDamping : std::vector<double>(size, 0.0);
  std::vector<double> structural =
      (projected & 2) ? basis.structuralDamping : std::vector<double>(size, 0.0);
  bool anyStructural = (projected & 2) != 0;
  for (int k = 0; k < n; ++k) {
    const std::size_t diagonal = static_cast<std::size_t>(k) * (static_cast<std::size_t>(n) + 1);
    const double lambda = basis.eigenvalues[static_cast<std::size_t>(k)];
    const QVADynDiagonalDamping& record = records[static_cast<std::size_t>(k)];
    stiffness[diagonal] = lambda;
    viscous[diagonal] += 2.0 * record.criticalFraction * std::sqrt(std::max(lambda, 0.0)) +
                         record.massFactor + record.stiffnessFactor * lambda;
    structural[diagonal] += record.structural * lambda;
    anyStructural = anyStructural || record.structural != 0.0;
  }

  QVAFsmModalSystem complexObject =
      model.Database().CreateModalSystem(static_cast<int>(model.Rows().count), model.NumNodes());
  QVADynComplexModalSystem system(model.CreateDofDefinition(), complexObject, model.Log(), n);
  system.CreateStiffness(false).SetValues(0, n - 1, 0, n - 1, QVASrvMatrix(n, n, stiffness.data()));
  system.CreateProjectedDamping(QVADynViscousDamping, false)
      .SetValues(0, n - 1, 0, n - 1, QVASrvMatrix(n, n, viscous.data()));
  if (anyStructural) {
    system.CreateProjectedDamping(QVADynStructuralDamping, false)
        .SetValues(0, n - 1, 0, n - 1, QVASrvMatrix(n, n, structural.data()));
  }
  const QVASrvDenseMatrix realModes(model.ModalObject().ModeShapes());
  QVADynCFreqSolve(system, realModes, analysis.count,
                   2.0 * std::numbers::pi * analysis.lowFrequency,
                   2.0 * std::numbers::pi * analysis.highFrequency, 0);
  context.progress.Advance("solving", 1);

  const int found = system.NumberOfModes();
  std::vector<std::complex<double>> eigenvalues(static_cast<std::size_t>(found));
  std::vector<double> frequency(eigenvalues.size()), damped(eigenvalues.size()),
      ratio(eigenvalues.size());
  for (int c = 0; c < found; ++c) {
    const std::complex<double> lambda(system.RealEigenvalues()[c],
                                      system.ImaginaryEigenvalues()[c]);
    eigenvalues[static_cast<std::size_t>(c)] = lambda;
    frequency[static_cast<std::size_t>(c)] = std::abs(lambda) / (2.0 * std::numbers::pi);
    damped[static_cast<std::size_t>(c)] = lambda.imag() / (2.0 * std::numbers::pi);
    ratio[static_cast<std::size_t>(c)] = -lambda.real() / std::abs(lambda);
  }
  // Subspace vectors q (n x found each part) as shapes (found, n).
  std::vector<std::complex<double>> shapes(static_cast<std::size_t>(found) *
                                           static_cast<std::size_t>(n));
  if (found > 0) {
    QVASrvMatrix real(n, found), imaginary(n, found);
    system.RealProjectedModeShapes()->GetValues(0, n - 1, 0, found - 1, real);
    system.ImaginaryProjectedModeShapes()->GetValues(0, n - 1, 0, found - 1, imaginary);
    for (int c = 0; c < found; ++c) {
      for (int k = 0; k < n; ++k) {
        shapes[static_cast<std::size_t>(c) * static_cast<std::size_t>(n) +
               static_cast<std::size_t>(k)] = {real(k, c), imaginary(k, c)};
      }
    }
  }

  context.progress.Phase("writing");
  ResultsWriter& results = context.results;
  const std::string group = "/" + analysis.name;
  results.BeginAnalysis(analysis.name, "complex_modes");
  const std::int64_t count = found;
  results.File().Write(group + "/eigenvalues", eigenvalues, {count});
  results.File().Write(group + "/frequency", frequency, {count});
  results.File().Write(group + "/damped_frequency", damped, {count});
  results.File().Write(group + "/damping_ratio", ratio, {count});
  results.File().Write(group + "/shapes", shapes, {count, n});
  if (context.job.outputs.csv) {
    std::vector<double> index(frequency.size());
    for (std::size_t c = 0; c < index.size(); ++c) index[c] = static_cast<double>(c + 1);
    std::vector<double> realPart, imaginaryPart;
    for (const auto& lambda : eigenvalues) {
      realPart.push_back(lambda.real());
      imaginaryPart.push_back(lambda.imag());
    }
    results.WriteCsv(analysis.name, "mode,frequency,damped_frequency,damping_ratio,real,imaginary",
                     {index, frequency, damped, ratio, realPart, imaginaryPart});
  }

  AnalysisSummary summary{analysis.name, "complex_modes", "", 0.0, {}};
  summary.size = std::to_string(found) + " complex modes in the subspace of " + std::to_string(n) +
                 " real modes";
  for (int c = 0; c < std::min(found, 6); ++c) {
    std::ostringstream line;
    line.precision(5);
    line << "mode " << c + 1 << ": " << frequency[static_cast<std::size_t>(c)]
         << " Hz, damping ratio " << ratio[static_cast<std::size_t>(c)];
    summary.lines.push_back(line.str());
  }
  if (found > 6) summary.lines.push_back("... " + std::to_string(found - 6) + " more");
  context.progress.End();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return summary;
}

}  // namespace qvadyn
