#pragma once

// What the component's exported operations do with failures before they reach
// the host: only QVABasExceptions (and the fixed assertion text) leave the
// component. An exported operation ends in a handler that calls
// QVABasRaiseAtBoundary (platform/base/QVABasException.h) with its own name:
//
//   void QVADynModalSystem::Open() try {
//     ...
//   } catch (...) {
//     QVABasRaiseAtBoundary("QVADynModalSystem::Open");
//   }
//
// Log lines are written with QVADynWriteLogQuietly, which never raises: a line
// that cannot be built is dropped.

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "platform/base/QVABasException.h"
#include "platform/base/cow_String.h"

// Builds a line with `build` (a callable returning cow_String) and writes it
// to `log`; a line that cannot be built or written is dropped.
template <class Build>
void QVADynWriteLogQuietly(const QVADynLogFile& log, Build&& build) noexcept {
  try {
    log.Write(build());
  } catch (...) {
    // The operation that logs has already done its work; a lost log line
    // must not undo it.
  }
}
