#pragma once

// Debug-only checks, the second tier below the always-on checks that raise
// exceptions: for hot loops where a check on every pass would cost too much
// but a wrong index would corrupt memory. QVA_ASSERT(condition, values...)
// is compiled out under NDEBUG (nothing is evaluated); otherwise a false
// condition prints the condition, the file, the line and the named values
// to stderr and aborts:
//
//   QVA_ASSERT(row >= 0 && row < rows, row, rows);
//   // QVA_ASSERT failed: row >= 0 && row < rows
//   //   at platform/modeldb/QVASimMemoryStore.cpp:140
//   //   with row, rows = 7, 7

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

// Reports a failed QVA_ASSERT and aborts; `names` is the text of the value
// arguments, `values` their values.
template <class... Values>
[[noreturn]] void QVAAssertionFailed(const char* condition, const char* file, int line,
                                     [[maybe_unused]] const char* names, const Values&... values) {
  std::ostringstream text;
  text << "QVA_ASSERT failed: " << condition << "\n  at " << file << ":" << line << "\n";
  if constexpr (sizeof...(Values) > 0) {
    text << "  with " << names << " = ";
    const char* separator = "";
    ((text << separator << values, separator = ", "), ...);
    text << "\n";
  }
  std::fputs(text.str().c_str(), stderr);
  std::fflush(stderr);
  std::abort();
}

#ifdef NDEBUG
#define QVA_ASSERT(condition, ...) static_cast<void>(sizeof(!(condition)))
#else
#define QVA_ASSERT(condition, ...)                                  \
  ((condition) ? static_cast<void>(0)                               \
               : QVAAssertionFailed(#condition, __FILE__, __LINE__, \
                                    #__VA_ARGS__ __VA_OPT__(, ) __VA_ARGS__))
#endif
