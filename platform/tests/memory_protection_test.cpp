// The memory-protection facility: absent on this system, and bound by one
// try per process.

#include <gtest/gtest.h>

#include "platform/memory_protection.h"

namespace {

int fakeTransform(void*, uint32_t, uint32_t) { return 1; }

TEST(MemoryProtection, AbsentHereAndTriedOncePerProcess) {
  // No library of this system provides it: its users fall back.
  EXPECT_EQ(platform::memoryProtection(), nullptr);
  // The one try is made: a fake registered afterwards is never loaded.
  ASSERT_TRUE(platform::registerFakeMemoryProtection(&fakeTransform, &fakeTransform));
  EXPECT_EQ(platform::memoryProtection(), nullptr);
  EXPECT_EQ(platform::fakeMemoryProtectionLoads(), 0u);
  platform::unregisterFakeMemoryProtection();
}

}  // namespace
