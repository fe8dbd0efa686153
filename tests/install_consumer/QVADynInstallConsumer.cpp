// A host built against the installed package: starts the component, writes
// one heading to the log file named on the command line, raises and catches
// one of the component's exceptions across the library boundary, and stops.

#include <cstdio>

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "QVADyn/QVADynCore/QVADynLogTexts.h"
#include "QVADyn/QVADynCore/QVADynModalComponent.h"
#include "QVADyn/QVADynCore/QVADynMultipleCallsException.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int modules = 0;
  QVADynModalComponent_initialize(modules);
  int caughtNumber = 0;
  {
    QVADynLogFile log;
    log.Open(argv[1]);
    log.Write(kQVADynLogSolveHeading);
    try {
      QVADynMultipleCallsException("Consumer::main").Throw("consumer", 1);
    } catch (const QVABasException& error) {
      caughtNumber = error.ErrorNumber();
    }
  }
  QVADynModalComponent_finalize(modules);
  std::printf("modules after stop: %d, caught error: %d\n", modules, caughtNumber);
  return modules == 0 && caughtNumber == 221 ? 0 : 1;
}
