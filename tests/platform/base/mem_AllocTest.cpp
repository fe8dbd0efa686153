// The platform allocator: sizes, resizing, the allocation mix-in, and
// exhaustion, which throws QVABasOutOfMemory instead of returning null. The
// test runs with ASAN_OPTIONS=allocator_may_return_null=1, so a sanitized
// build fails the huge requests as the plain allocator does.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/base/QVABasException.h"
#include "platform/base/mem_Alloc.h"

namespace {
// More than any machine can give, yet below the sizes that overflow.
constexpr std::size_t kHugeBytes = std::size_t{1} << 62;

struct Tracked : mem_AllocationOperators {
  double value = 1.5;
};
}  // namespace

TEST(mem_Alloc, AllocatesResizesAndFrees) {
  void* nothing = mem_Malloc(0);
  EXPECT_NE(nothing, nullptr);
  mem_Free(nothing);
  mem_Free(nullptr);

  auto* bytes = static_cast<unsigned char*>(mem_Realloc(nullptr, 4));
  std::memcpy(bytes, "abcd", 4);
  bytes = static_cast<unsigned char*>(mem_Realloc(bytes, 4096));
  EXPECT_EQ(std::memcmp(bytes, "abcd", 4), 0);
  bytes = static_cast<unsigned char*>(mem_Realloc(bytes, 2));
  EXPECT_EQ(std::memcmp(bytes, "ab", 2), 0);
  mem_Free(bytes);

  double* zeros = mem_AllocZeroedArray<double>(5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(zeros[i], 0.0);
  mem_Free(zeros);

  void* object = mem_OperatorNewThrow(24);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(object) % alignof(std::max_align_t), 0u);
  mem_Free(object);
}

TEST(mem_Alloc, ExhaustionThrowsAndNamesTheSize) {
  try {
    mem_Malloc(kHugeBytes);
    FAIL() << "mem_Malloc returned";
  } catch (const QVABasOutOfMemory& error) {
    EXPECT_EQ(error.ErrorNumber(), kQVABasOutOfMemory);
    EXPECT_EQ(std::string(error.what()),
              "Out of memory: " + std::to_string(kHugeBytes) + " bytes requested");
  }
  EXPECT_THROW(mem_OperatorNewThrow(kHugeBytes), QVABasOutOfMemory);
  EXPECT_THROW(mem_AllocArray<double>(kHugeBytes), QVABasOutOfMemory);  // count * 8 overflows
  EXPECT_THROW(mem_AllocZeroedArray<double>(kHugeBytes / 8), QVABasOutOfMemory);
}

TEST(mem_Alloc, FailedResizeKeepsTheOldBlock) {
  auto* text = static_cast<char*>(mem_Malloc(6));
  std::memcpy(text, "modes", 6);
  EXPECT_THROW(text = static_cast<char*>(mem_Realloc(text, kHugeBytes)), QVABasOutOfMemory);
  EXPECT_STREQ(text, "modes");
  mem_Free(text);
}

TEST(mem_AllocationOperators, RoutesNewAndDeleteThroughTheAllocator) {
  auto* one = new Tracked;
  EXPECT_EQ(one->value, 1.5);
  delete one;
  auto* many = new Tracked[3];
  EXPECT_EQ(many[2].value, 1.5);
  delete[] many;
  // A huge array that does not overflow size_t reaches the allocator.
  EXPECT_THROW(static_cast<void>(new Tracked[kHugeBytes / sizeof(Tracked)]), QVABasException);
}
