// Array growth: the capacity sequence and the checks before the allocator.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "platform/growth.h"

namespace {

struct CapacityRow {
  size_t capacity, size, extra, first, itemBytes;
  size_t expected;
  const char* note;
};

TEST(Growth, CapacityDoublesFromTheFirst) {
  constexpr size_t k60 = size_t{1} << 60;
  const CapacityRow rows[] = {
      {0, 0, 1, 16, 1, 16, "an empty array starts at the first capacity"},
      {0, 0, 40, 16, 1, 64, "doubled until the items fit"},
      {16, 16, 1, 16, 1, 32, "a full array doubles"},
      {32, 10, 5, 16, 1, 32, "room left: unchanged"},
      {0, 0, 1, 0, 1, 1, "no first capacity: one"},
      {k60 / 2, k60 / 2, 1, 16, 8, k60, "the largest doubling of 8-byte items"},
      {k60, k60, 1, 16, 8, k60 + 1, "doubling passes the byte count: exactly the items needed"},
      {SIZE_MAX / 8, SIZE_MAX / 8, 1, 16, 8, 0, "one item more has no byte count"},
      {SIZE_MAX, SIZE_MAX, 1, 16, 1, 0, "one item more cannot be counted"},
  };
  for (const CapacityRow& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(platform::grownCapacity(row.capacity, row.size, row.extra, row.first, row.itemBytes), row.expected);
  }
}

int allocatorCalls = 0;
void* failingAllocator(void*, size_t) {
  ++allocatorCalls;
  return nullptr;
}

TEST(Growth, ResizeAsksTheAllocatorOnlyForACountedSize) {
  char original[4];
  void* block = original;
  allocatorCalls = 0;
  EXPECT_EQ(platform::resizeBlock(&block, SIZE_MAX / 2 + 1, 2, failingAllocator), platform::Resize::kTooLarge);
  EXPECT_EQ(allocatorCalls, 0);
  EXPECT_EQ(platform::resizeBlock(&block, 8, 2, failingAllocator), platform::Resize::kFailed);
  EXPECT_EQ(allocatorCalls, 1);
  EXPECT_EQ(block, original);

  int* items = nullptr;
  ASSERT_EQ(platform::resizeItems(&items, 4, std::realloc), platform::Resize::kDone);
  ASSERT_NE(items, nullptr);
  items[3] = 7;  // four items are there
  std::free(items);
}

}  // namespace
