#include "platform/base/mem_Alloc.h"

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
}  // namespace

void mem_ReportExhaustion(std::size_t bytes) {
  if (gReportingExhaustion) throw std::bad_alloc();
  const ReportingGuard guard;
  char message[96];
  std::snprintf(message, sizeof message, "Out of memory: %zu bytes requested", bytes);
  QVABasOutOfMemory(message).Throw(__FILE__, __LINE__);
}

void* mem_Malloc(std::size_t bytes) {
  void* memory = std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) mem_ReportExhaustion(bytes);
  return memory;
}

void mem_Free(void* memory) { std::free(memory); }

void* mem_Realloc(void* memory, std::size_t bytes) {
  if (memory == nullptr) return mem_Malloc(bytes);
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
