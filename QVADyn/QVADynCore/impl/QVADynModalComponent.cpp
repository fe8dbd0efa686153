#include "QVADyn/QVADynCore/QVADynModalComponent.h"

#include "platform/base/QVABasModules.h"
#include "platform/matrix/QVABlaModule.h"
#include "platform/matrix/QVAMtxModules.h"
#include "platform/modeldb/QVASimModules.h"

namespace {
// Process-wide start counts; the host starts and stops the component from one thread.
int gComponentStartCount = 0;
int gCoreStartCount = 0;
}  // namespace

void QVADynModalComponent_initialize(int& moduleCount) {
  const int previous = gComponentStartCount++;
  if (previous != 0) return;
  ++moduleCount;
  QVABasAlloc_initialize(moduleCount);
  QVABasCoreUtils_initialize(moduleCount);
  QVABasGenericsLib_initialize(moduleCount);
  QVABasShared_initialize(moduleCount);
  QVABasOrvia_initialize(moduleCount);
  QVASimContainers_initialize(moduleCount);
  QVASimInterface_initialize(moduleCount);
  QVASimObjectsMod_initialize(moduleCount);
  QVASrvBasic_initialize(moduleCount);
  QVAFsmShared_initialize(moduleCount);
  QVABlaModule_initialize(moduleCount);
  QVAMtxCoreModule_initialize(moduleCount);
  QVADynCore_initialize(moduleCount);
}

void QVADynModalComponent_finalize(int& moduleCount) {
  const int previous = gComponentStartCount--;
  if (previous != 1) return;
  --moduleCount;
  QVADynCore_finalize(moduleCount);
  QVAMtxCoreModule_finalize(moduleCount);
  QVABlaModule_finalize(moduleCount);
  QVAFsmShared_finalize(moduleCount);
  QVASrvBasic_finalize(moduleCount);
  QVASimObjectsMod_finalize(moduleCount);
  QVASimInterface_finalize(moduleCount);
  QVASimContainers_finalize(moduleCount);
  QVABasOrvia_finalize(moduleCount);
  QVABasShared_finalize(moduleCount);
  QVABasGenericsLib_finalize(moduleCount);
  QVABasCoreUtils_finalize(moduleCount);
  QVABasAlloc_finalize(moduleCount);
}

void QVADynCore_initialize(int& moduleCount) {
  const int previous = gCoreStartCount++;
  if (previous == 0) ++moduleCount;
}

void QVADynCore_finalize(int& moduleCount) {
  const int previous = gCoreStartCount--;
  if (previous == 1) --moduleCount;
}
