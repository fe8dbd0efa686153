// The translation of failures at an exported operation's boundary, and the
// allocator's test hook that the allocation-failure test is built on.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

namespace {

// Runs `raise` inside an operation named "Host::Call" whose handler
// translates, and returns the caught QVABasException's number and message.
std::pair<int, std::string> Translated(const std::function<void()>& raise) {
  try {
    try {
      raise();
    } catch (...) {
      QVABasRaiseAtBoundary("Host::Call");
    }
  } catch (const QVABasOutOfMemory& error) {
    return {-error.ErrorNumber(), error.what()};  // negative: the class is QVABasOutOfMemory
  } catch (const QVABasException& error) {
    return {error.ErrorNumber(), error.what()};
  }
  return {0, "nothing"};
}

TEST(QVABasBoundaryTest, OnlyQVABasExceptionsLeave) {
  struct Row {
    const char* what;
    std::function<void()> raise;
    int number;
    std::string message;
  };
  const std::vector<Row> table{
      {"std::bad_alloc", [] { throw std::bad_alloc(); }, -kQVABasOutOfMemory,
       "Host::Call: out of memory"},
      {"std::length_error", [] { throw std::length_error("vector::_M_default_append"); },
       kQVABasInvalidArgument, "Host::Call: vector::_M_default_append"},
      {"std::runtime_error", [] { throw std::runtime_error("disk full"); }, kQVASrvInvalidState,
       "Host::Call: disk full"},
      {"QVABasError passes unchanged",
       [] { QVABasError(kQVASimInconsistent, "set 3 is gone").Throw("file", 7); },
       kQVASimInconsistent, "set 3 is gone"},
      {"QVABasOutOfMemory passes unchanged",
       [] { QVABasOutOfMemory("Out of memory: 8 bytes requested").Throw("file", 7); },
       -kQVABasOutOfMemory, "Out of memory: 8 bytes requested"},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.what);
    const auto [number, message] = Translated(row.raise);
    EXPECT_EQ(number, row.number);
    EXPECT_EQ(message, row.message);
  }
  // The component's fixed assertion text is no std::exception: it passes as it is.
  static char text[] = "assertion";
  EXPECT_THROW(Translated([] { throw text; }), char*);
}

TEST(QVABasBoundaryTest, TheHookFailsTheNthAllocationOnce) {
  mem_TestFailAllocation(3);
  void* first = mem_Malloc(8);
  void* second = mem_Realloc(nullptr, 8);
  EXPECT_THROW(mem_Malloc(16), QVABasOutOfMemory);
  // Fails no more and counts on (the report of the failure allocated too).
  const long counted = mem_TestAllocationCount();
  void* fourth = mem_Malloc(8);
  EXPECT_EQ(mem_TestAllocationCount(), counted + 1);
  mem_TestFailAllocation(0);
  EXPECT_EQ(mem_TestAllocationCount(), 0);
  EXPECT_FALSE(mem_TestAllocationFails());
  EXPECT_EQ(mem_TestAllocationCount(), 0);
  for (void* memory : {first, second, fourth}) mem_Free(memory);
}

}  // namespace
