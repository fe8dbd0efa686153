#include "platform/base/QVABasModules.h"

#include <cstring>
#include <vector>

namespace {

// Every module counter of the platform, in order of registration.
std::vector<const QVABasModuleCounter*>& Registry() {
  static std::vector<const QVABasModuleCounter*> counters;
  return counters;
}

QVABasModuleCounter gAlloc("QVABasAlloc");
QVABasModuleCounter gCoreUtils("QVABasCoreUtils");
QVABasModuleCounter gGenericsLib("QVABasGenericsLib");
QVABasModuleCounter gShared("QVABasShared");
QVABasModuleCounter gOrvia("QVABasOrvia");

}  // namespace

QVABasModuleCounter::QVABasModuleCounter(const char* name) : name_(name) {
  Registry().push_back(this);
}

bool QVABasModuleCounter::Initialize(int& moduleCount) {
  const int previous = startCount_++;
  if (previous != 0) return false;
  ++moduleCount;
  return true;
}

bool QVABasModuleCounter::Finalize(int& moduleCount) {
  const int previous = startCount_--;
  if (previous != 1) return false;
  --moduleCount;
  return true;
}

int QVABasModuleStartCount(const char* moduleName) {
  for (const QVABasModuleCounter* counter : Registry()) {
    if (std::strcmp(counter->Name(), moduleName) == 0) return counter->StartCount();
  }
  return 0;
}

void QVABasAlloc_initialize(int& moduleCount) { gAlloc.Initialize(moduleCount); }
void QVABasAlloc_finalize(int& moduleCount) { gAlloc.Finalize(moduleCount); }
void QVABasCoreUtils_initialize(int& moduleCount) { gCoreUtils.Initialize(moduleCount); }
void QVABasCoreUtils_finalize(int& moduleCount) { gCoreUtils.Finalize(moduleCount); }
void QVABasGenericsLib_initialize(int& moduleCount) { gGenericsLib.Initialize(moduleCount); }
void QVABasGenericsLib_finalize(int& moduleCount) { gGenericsLib.Finalize(moduleCount); }
void QVABasShared_initialize(int& moduleCount) { gShared.Initialize(moduleCount); }
void QVABasShared_finalize(int& moduleCount) { gShared.Finalize(moduleCount); }
void QVABasOrvia_initialize(int& moduleCount) { gOrvia.Initialize(moduleCount); }
void QVABasOrvia_finalize(int& moduleCount) { gOrvia.Finalize(moduleCount); }
