// Example host of the modal-dynamics component. It links only the shared
// library, the way a solver does: starts the component, opens the log file
// "QVADynExample.log" in the working directory, runs each example analysis
// (one call per analysis, see QVADynExamples.h), and stops the component.
// With the qvadyn application built, it finally writes the cantilever's
// basis file "cantilever.h5" for `qvadyn run examples/jobs/cantilever.toml`.
// Failures are reported the way a host reports them: the component's
// exceptions through UserReport(), an assertion through its text.

#include <iostream>

#include "QVADyn/QVADynCore/QVADynModalComponent.h"
#include "QVADynExamples.h"
#ifdef QVA_EXAMPLE_BASIS_FILE
#include "Error.h"
#endif
#include "platform/base/QVABasException.h"

namespace {
constexpr char kLogFileName[] = "QVADynExample.log";

int RunExamples() {
  QVADynLogFile log;
  log.Open(kLogFileName);
  if (!log.IsWritable()) std::cout << "Note: " << kLogFileName << " could not be created\n";
  const QVADynExampleContext context{log, std::cout, kLogFileName};
  try {
    QVADynExampleLogFile(context);
    QVADynExampleModalBasis(context);
    QVADynExampleComplexModes(context);
    QVADynExampleHarmonic(context);
    QVADynExampleRandom(context);
    QVADynExampleTransient(context);
    QVADynExampleParticipation(context);
#ifdef QVA_EXAMPLE_BASIS_FILE
    QVADynExampleBasisFile(context, "cantilever.h5");
  } catch (const qvadyn::Error& error) {
    std::cout << "Failed: " << error.what() << "\n";
    return 1;
#endif
  } catch (const QVABasException& error) {
    std::cout << "Failed: " << error.UserReport().Text() << "\n";
    return 1;
  } catch (const char* assertion) {
    std::cout << "Failed: " << assertion << "\n";
    return 1;
  }
  return 0;
}
}  // namespace

int main() {
  int modules = 0;
  QVADynModalComponent_initialize(modules);
  std::cout << "Component started (" << modules << " modules running)\n";
  const int status = RunExamples();
  QVADynModalComponent_finalize(modules);
  std::cout << "Component stopped (" << modules << " modules running)\n";
  return status;
}
