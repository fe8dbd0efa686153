// Example: the modal basis of the built-in cantilever. The host writes the
// bar's modes into its model database through a modal system (eigenvalues,
// then the mode-shape matrix it creates), reads them back with a fresh modal
// system's Open(), checks them value for value, and prints their frequencies
// next to the closed-form frequencies of the continuous clamped-free bar.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <numbers>

#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynExamples.h"
#include "platform/base/QVABasException.h"
#include "platform/matrix/QVASrvMatrix.h"
#include "platform/modeldb/QVASimDatabase.h"

namespace {

// Raises unless `reader` holds the model's eigenvalues and mode shapes bit for bit.
void CheckBasis(const QVADynExampleModel& model, const QVADynModalSystem& reader) {
  const int modes = model.NumberOfModes();
  const int rows = model.NumberOfDofs();
  QVA_VERIFY(reader.NumberOfModes() == modes && reader.ModeShapes() != nullptr &&
                 reader.ModeShapes()->NumberOfRows() == rows &&
                 reader.DofDefinition().NumberOfSolverDofs() == rows,
             kQVASimInconsistent,
             "modal basis read back with " << reader.NumberOfModes() << " modes and "
                                           << reader.DofDefinition().NumberOfSolverDofs()
                                           << " solver DOFs; written: " << modes << " modes over "
                                           << rows << " DOFs");
  QVASrvMatrix values(rows, modes);
  reader.ModeShapes()->GetValues(0, rows - 1, 0, modes - 1, values);
  const bool sameShapes =
      std::equal(model.ModeShapes().begin(), model.ModeShapes().end(), values.Values());
  const bool sameEigenvalues =
      std::equal(model.Eigenvalues().begin(), model.Eigenvalues().end(), reader.Eigenvalues());
  QVA_VERIFY(sameShapes && sameEigenvalues, kQVASimInconsistent,
             "modal basis read back differs from the one written ("
                 << (sameEigenvalues ? "mode shapes" : "eigenvalues") << ")");
}

}  // namespace

void QVADynExampleWriteBasis(const QVADynExampleModel& model, QVAFsmModalSystem& modalObject,
                             QVADynLogFile& log) {
  QVADynModalSystem writer(model.CreateDofDefinition(), modalObject, log);
  const int modes = model.NumberOfModes();
  const int rows = model.NumberOfDofs();
  writer.SetEigenvalues(model.Eigenvalues().data(), modes, 0, 0);
  QVASrvDenseMatrix& shapes = writer.CreateModeShapes(rows, false);
  QVASrvMatrix values(rows, modes);
  std::copy(model.ModeShapes().begin(), model.ModeShapes().end(), values.Values());
  shapes.SetValues(0, rows - 1, 0, modes - 1, values);
}

void QVADynExampleWriteCsv(const char* fileName, const char* heading,
                           const std::vector<std::vector<double>>& columns) {
  std::ofstream csv(fileName);
  csv << heading << "\n" << std::setprecision(10);
  const std::size_t rows = columns.empty() ? 0 : columns.front().size();
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t column = 0; column < columns.size(); ++column) {
      csv << (column == 0 ? "" : ",") << columns[column][row];
    }
    csv << "\n";
  }
}

QVADynExampleOpenBasis::QVADynExampleOpenBasis(const QVADynExampleContext& context,
                                               const QVADynExampleModel& model)
    : modalObject_(database_.CreateModalSystem(model.NumberOfDofs(), model.NumberOfNodes())),
      log_(context.log),
      modal_(WriteBasis(model, modalObject_, log_), modalObject_, log_) {
  modal_.Open();
}

QVAFsmSystemDofDefinition* QVADynExampleOpenBasis::WriteBasis(const QVADynExampleModel& model,
                                                              QVAFsmModalSystem& modalObject,
                                                              QVADynLogFile& log) {
  QVADynExampleWriteBasis(model, modalObject, log);
  return model.CreateDofDefinition();
}

void QVADynExampleModalBasis(const QVADynExampleContext& context) {
  const QVADynExampleModel model;
  QVADynExampleOpenBasis basis(context, model);
  const QVADynModalSystem& reader = basis.Modal();
  CheckBasis(model, reader);

  const QVADynExampleBeam& beam = model.Beam();
  std::ostream& out = context.out;
  out << "Modal basis: steel cantilever " << beam.length << " m, " << beam.depth * 1000.0 << " x "
      << beam.width * 1000.0 << " mm, " << model.NumberOfElements() << " beam elements, "
      << model.NumberOfDofs() << " DOFs (tip node " << model.TipNode() << ")\n";
  out << "  wrote and reopened " << reader.NumberOfModes()
      << " mass-normalized modes (max |Phi^T M Phi - I| = " << model.MassNormalizationError()
      << "), read back unchanged\n";
  out << "  mode  family     n   f (Hz)        closed form (Hz)  difference\n";
  for (int mode = 0; mode < reader.NumberOfModes(); ++mode) {
    const double frequency = std::sqrt(reader.Eigenvalues()[mode]) / (2.0 * std::numbers::pi);
    const QVADynExampleModeFamily family = model.Family(mode);
    const int order = model.OrderInFamily(mode);
    const double reference = model.ClosedFormFrequency(family, order);
    char line[128];
    std::snprintf(line, sizeof line, "  %4d  %-9s %2d  %12.4f  %16.4f  %+10.2e\n", mode,
                  QVADynExampleModeFamilyName(family), order, frequency, reference,
                  frequency / reference - 1.0);
    out << line;
  }
}
