#pragma once

// The platform allocator. Every object and array that crosses the boundary
// between the component and its host is allocated and freed here, so that
// host and component agree on who frees what.
//
// A failed allocation never returns null: it throws QVABasOutOfMemory
// (derived from QVABasException), naming the number of bytes asked for.
//
//   double* values = mem_AllocArray<double>(n);   // n doubles, uninitialised
//   ...
//   mem_Free(values);

#include <cstddef>

#include "platform/base/QVAPlatformExport.h"

// Returns `bytes` bytes (at least one byte, even for 0), aligned for any type.
// Throws QVABasOutOfMemory when the memory cannot be had.
QVA_PLATFORM_EXPORT void* mem_Malloc(std::size_t bytes);

// Frees memory from mem_Malloc, mem_Realloc or mem_OperatorNewThrow; null is
// ignored.
QVA_PLATFORM_EXPORT void mem_Free(void* memory);

// Resizes `memory` (null behaves as mem_Malloc), keeping the leading
// min(old, new) bytes. Throws QVABasOutOfMemory and leaves `memory` valid and
// unchanged when the new size cannot be had.
QVA_PLATFORM_EXPORT void* mem_Realloc(void* memory, std::size_t bytes);

// The allocation behind operator new of mem_AllocationOperators: as mem_Malloc.
QVA_PLATFORM_EXPORT void* mem_OperatorNewThrow(std::size_t bytes);

// `count` objects of trivially copyable type T from mem_Malloc, uninitialised.
// Throws QVABasOutOfMemory also when count * sizeof(T) overflows.
template <class T>
T* mem_AllocArray(std::size_t count);

// As mem_AllocArray, with every byte set to zero.
template <class T>
T* mem_AllocZeroedArray(std::size_t count);

// Mix-in that routes new and delete of a class (single objects and arrays)
// through the platform allocator.
class QVA_PLATFORM_EXPORT mem_AllocationOperators {
 public:
  static void* operator new(std::size_t bytes);
  static void* operator new[](std::size_t bytes);
  static void operator delete(void* memory) noexcept;
  static void operator delete[](void* memory) noexcept;
};

// Test hook for allocation failures. mem_TestFailAllocation(n) (n >= 1) makes
// the n-th allocation from then on fail once, as if memory were exhausted, and
// starts counting allocations; 0 stops both. Counted are mem_Malloc,
// mem_Realloc, mem_OperatorNewThrow (so every allocation of the platform and
// the component that goes through this allocator) and each call of
// mem_TestAllocationFails, which a test program's replacement of the global
// operator new calls so that std::allocator and new of other classes fail as
// well:
//
//   mem_TestFailAllocation(3);    // the third allocation from here fails
//   ... operation under test ...  // QVABasOutOfMemory (or std::bad_alloc)
//   long seen = mem_TestAllocationCount();
//   mem_TestFailAllocation(0);
//
// The hook is process-wide and meant for single-threaded test programs.
QVA_PLATFORM_EXPORT void mem_TestFailAllocation(long n) noexcept;
// Counts one allocation; true when it is the one that must fail.
QVA_PLATFORM_EXPORT bool mem_TestAllocationFails() noexcept;
// Allocations counted since the hook was last armed.
QVA_PLATFORM_EXPORT long mem_TestAllocationCount() noexcept;

// Throws QVABasOutOfMemory for a request of `bytes` bytes. Used by the
// templates above; not for general use.
[[noreturn]] QVA_PLATFORM_EXPORT void mem_ReportExhaustion(std::size_t bytes);

template <class T>
T* mem_AllocArray(std::size_t count) {
  if (count != 0 && count > static_cast<std::size_t>(-1) / sizeof(T))
    mem_ReportExhaustion(static_cast<std::size_t>(-1));
  return static_cast<T*>(mem_Malloc(count * sizeof(T)));
}

template <class T>
T* mem_AllocZeroedArray(std::size_t count) {
  T* values = mem_AllocArray<T>(count);
  unsigned char* bytes = reinterpret_cast<unsigned char*>(values);
  for (std::size_t i = 0; i < count * sizeof(T); ++i) bytes[i] = 0;
  return values;
}
