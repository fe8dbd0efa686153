#pragma once

// The analyses the example host runs, one function per source file, each
// called once from main() in QVADynExampleHost.cpp. Every example writes its
// blocks to the shared log and prints a short account of what it did:
//
//   const QVADynExampleContext context{log, std::cout, "QVADynExample.log"};
//   QVADynExampleLogFile(context);
//   // log: "\n--- Example host ---\n\n"

#include <ostream>
#include <vector>

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynModalSystem.h"
#include "QVADynExampleModel.h"
#include "platform/modeldb/QVAFsmModalSystem.h"
#include "platform/modeldb/QVASimDatabase.h"

// What every example receives from the host: the component's log handle (the
// example may copy it) and the stream for its account.
struct QVADynExampleContext {
  const QVADynLogFile& log;
  std::ostream& out;
  const char* logFileName;
};

// Writes the heading "Example host" to the log through a copied handle.
void QVADynExampleLogFile(const QVADynExampleContext& context);
// Writes the built-in cantilever's modes into the model database, reopens
// them with a fresh modal system, checks them bit for bit and prints their
// frequencies next to the closed-form frequencies of the continuous bar.
void QVADynExampleModalBasis(const QVADynExampleContext& context);
// Writes the modes of `model` (no acoustic, no residual modes) into
// `modalObject`, a modal system of the database with model.NumberOfDofs()
// DOFs and model.NumberOfNodes() nodes, through a QVADynModalSystem that logs
// to `log`: SetEigenvalues, then CreateModeShapes filled with the shapes.
void QVADynExampleWriteBasis(const QVADynExampleModel& model, QVAFsmModalSystem& modalObject,
                             QVADynLogFile& log);
// Writes `columns` (of equal length) to the file `fileName` in the working
// directory as comma-separated values with 10 significant digits, one row per
// index, under the line `heading` ("time,u,v,a").
void QVADynExampleWriteCsv(const char* fileName, const char* heading,
                           const std::vector<std::vector<double>>& columns);
// The modes of a model written into a model database of its own (through
// QVADynExampleWriteBasis) and opened with a fresh modal system, both logging
// to a copy of the host's log handle. Neither copyable nor movable: the modal
// system refers to the members.
//
//   QVADynExampleOpenBasis basis(context, model);
//   basis.Modal().NumberOfModes();  // model.NumberOfModes()
class QVADynExampleOpenBasis {
 public:
  QVADynExampleOpenBasis(const QVADynExampleContext& context, const QVADynExampleModel& model);
  QVADynExampleOpenBasis(const QVADynExampleOpenBasis&) = delete;
  QVADynExampleOpenBasis& operator=(const QVADynExampleOpenBasis&) = delete;

  QVASimDatabase& Database() { return database_; }
  QVAFsmModalSystem& ModalObject() { return modalObject_; }
  QVADynLogFile& Log() { return log_; }
  QVADynModalSystem& Modal() { return modal_; }

 private:
  // Writes the basis and hands back the DOF definition the opened modal
  // system adopts.
  static QVAFsmSystemDofDefinition* WriteBasis(const QVADynExampleModel& model,
                                               QVAFsmModalSystem& modalObject, QVADynLogFile& log);

  QVASimDatabase database_;
  QVAFsmModalSystem modalObject_;
  QVADynLogFile log_;
  QVADynModalSystem modal_;
};
// Writes the built-in cantilever (modes, DOF map, nodes, elements, mass) as
// the qvadyn basis file `fileName` in the working directory.
void QVADynExampleBasisFile(const QVADynExampleContext& context, const char* fileName);
// Complex modes of the built-in cantilever with Rayleigh damping, with an added
// dashpot at the tip (non-proportional) and with structural damping: prints
// the frequencies and damping ratios of the lowest modes.
void QVADynExampleComplexModes(const QVADynExampleContext& context);
// Harmonic sweep of the built-in cantilever under a unit tip load with 2 %
// modal damping: writes the tip's frequency response to
// "QVADynExampleHarmonicFRF.csv" and prints its peak, then solves the peak
// frequency again with a dashpot at the tip (non-diagonal damping).
void QVADynExampleHarmonic(const QVADynExampleContext& context);
// Modal load cross-spectra of a unit transverse load at every node of the
// built-in cantilever, fully correlated, uncorrelated, convected and partially
// coherent: prints the diagonal for the lowest modes.
void QVADynExampleRandom(const QVADynExampleContext& context);
// Participation factors of the built-in cantilever's modes for the six
// rigid-body motions about its root, and their effective-mass fractions with
// the sums over the solved modes.
void QVADynExampleParticipation(const QVADynExampleContext& context);
// Transient response of the built-in cantilever's tip to a ramp-and-hold tip
// load with 2 % damping: writes the tip's displacement, velocity and
// acceleration to a CSV file and prints the peak displacement and its time.
void QVADynExampleTransient(const QVADynExampleContext& context);
