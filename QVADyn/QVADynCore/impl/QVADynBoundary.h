#pragma once

// What the component's exported operations do with failures before they reach
// the host: only QVABasExceptions (and the fixed assertion text) leave the
// component. An exported operation ends in a handler that calls
// QVADynRaiseAtBoundary with its own name:
//
//   void QVADynModalSystem::Open() try {
//     ...
//   } catch (...) {
//     QVADynRaiseAtBoundary("QVADynModalSystem::Open");
//   }
//
// A std::bad_alloc from the run-time library then reaches the host as
// QVABasOutOfMemory "QVADynModalSystem::Open: out of memory",
// a std::length_error as QVABasError (kQVABasInvalidArgument)
// "QVADynModalSystem::Open: vector::_M_default_append".
// Log lines are written with QVADynWriteLogQuietly, which never raises: a line
// that cannot be built is dropped.

#include "QVADyn/QVADynCore/QVADynLogFile.h"
#include "platform/base/cow_String.h"

// Rethrows the exception being handled: QVABasExceptions and the assertion
// text as they are, std::bad_alloc as QVABasOutOfMemory, any other
// std::exception as QVABasError (kQVABasInvalidArgument for a std::logic_error,
// kQVASrvInvalidState otherwise), every message led by
// `operation`. Call only inside a handler.
[[noreturn]] void QVADynRaiseAtBoundary(const char* operation);

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
