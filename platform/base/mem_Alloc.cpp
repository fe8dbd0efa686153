#include "platform/base/mem_Alloc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/base/QVABasException.h"

namespace {
// Set while an exhaustion report is being built: building it allocates, and a
// second failure inside it must end in std::bad_alloc rather than recurse.
thread_local bool gReportingExhaustion = false;

class ReportingGuard {
 public:
  ReportingGuard() { gReportingExhaustion = true; }
  ReportingGuard(const ReportingGuard&) = delete;
  ReportingGuard& operator=(const ReportingGuard&) = delete;
  ~ReportingGuard() { gReportingExhaustion = false; }
};
// The test hook: the count at which an allocation fails (0: disarmed) and
// the allocations counted since it was armed.
std::atomic<long> gFailingAllocation{0};
std::atomic<long> gCountedAllocations{0};

}  // namespace

void mem_TestFailAllocation(long n) noexcept {
  gCountedAllocations.store(0, std::memory_order_relaxed);
  gFailingAllocation.store(n > 0 ? n : 0, std::memory_order_relaxed);
}

bool mem_TestAllocationFails() noexcept {
  const long failing = gFailingAllocation.load(std::memory_order_relaxed);
  if (failing == 0) return false;
  if (gCountedAllocations.fetch_add(1, std::memory_order_relaxed) + 1 != failing) return false;
  gFailingAllocation.store(-1, std::memory_order_relaxed);  // counts on, fails no more
  return true;
}

long mem_TestAllocationCount() noexcept {
  return gCountedAllocations.load(std::memory_order_relaxed);
}

void mem_ReportExhaustion(std::size_t bytes) {
  if (gReportingExhaustion) throw std::bad_alloc();
  const ReportingGuard guard;
  char message[96];
  std::snprintf(message, sizeof message, "Out of memory: %zu bytes requested", bytes);
  QVABasOutOfMemory(message).Throw(__FILE__, __LINE__);
}

void* mem_Malloc(std::size_t bytes) {
  if (mem_TestAllocationFails()) mem_ReportExhaustion(bytes);
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) mem_ReportExhaustion(bytes);
  return memory;
}

void mem_Free(void* memory) { std::free(memory); }

void* mem_Realloc(void* memory, std::size_t bytes) {
  if (memory == nullptr) return mem_Malloc(bytes);
  if (mem_TestAllocationFails()) mem_ReportExhaustion(bytes);
  void* resized = std::realloc(memory, bytes == 0 ? 1 : bytes);
  if (resized == nullptr) mem_ReportExhaustion(bytes);
  return resized;
}

void* mem_OperatorNewThrow(std::size_t bytes) { return mem_Malloc(bytes); }

void* mem_AllocationOperators::operator new(std::size_t bytes) {
  return mem_OperatorNewThrow(bytes);
}

void* mem_AllocationOperators::operator new[](std::size_t bytes) {
  return mem_OperatorNewThrow(bytes);
}

void mem_AllocationOperators::operator delete(void* memory) noexcept { mem_Free(memory); }

void mem_AllocationOperators::operator delete[](void* memory) noexcept { mem_Free(memory); }
