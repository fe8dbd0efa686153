#pragma once

// Start-up and shut-down of the platform's base modules. Each module keeps its
// own start count: the call that brings it from 0 to 1 starts the module and
// adds 1 to the caller's module count; the call that brings it from 1 to 0
// stops it and subtracts 1; every other call only moves the count (below zero
// for surplus stops).

#include "platform/base/QVAPlatformExport.h"

QVA_PLATFORM_EXPORT void QVABasAlloc_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasAlloc_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasCoreUtils_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasCoreUtils_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasGenericsLib_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasGenericsLib_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasShared_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasShared_finalize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasOrvia_initialize(int& moduleCount);
QVA_PLATFORM_EXPORT void QVABasOrvia_finalize(int& moduleCount);

// Counts of one module, shared by the module entry points of every layer.
class QVA_PLATFORM_EXPORT QVABasModuleCounter {
 public:
  // Registers the counter under `name` (a literal that outlives the counter).
  explicit QVABasModuleCounter(const char* name);
  // Counts a start; adds 1 to moduleCount and returns true on the real start.
  bool Initialize(int& moduleCount);
  // Counts a stop; subtracts 1 from moduleCount and returns true on the real stop.
  bool Finalize(int& moduleCount);
  int StartCount() const { return startCount_; }
  const char* Name() const { return name_; }

 private:
  const char* name_;
  int startCount_ = 0;
};

// The start count of a platform module by name ("QVABasAlloc", "QVASimInterface",
// "QVAMtxCoreModule", ...), or 0 for an unknown name; lets a host or a test see
// which modules are running.
QVA_PLATFORM_EXPORT int QVABasModuleStartCount(const char* moduleName);
