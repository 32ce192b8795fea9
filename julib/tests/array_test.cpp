// JuArray: insertion, removal, ownership, growth and its failures.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "julib/containers.h"
#include "julib/internal/fault.h"
#include "testing/ju_test.h"

namespace {

// An object that counts its destructions.
class Counted : public JuObject {
 public:
  explicit Counted(int* deaths) : deaths_(deaths) {}
  ~Counted() override { ++*deaths_; }

 private:
  int* deaths_;
};

// Disarms the allocation fault when the test leaves the scope.
struct FaultGuard {
  FaultGuard(uint64_t nth, bool persistent) { julib::internal::failAllocation(nth, persistent); }
  ~FaultGuard() { julib::internal::clearAllocationFault(); }
};

std::vector<uint64_t> slots(const JuArray& array, uint64_t n) {
  return std::vector<uint64_t>(array.data, array.data + n);
}

void fill(JuArray& array, std::initializer_list<uint64_t> values) {
  for (uint64_t v : values) ASSERT_EQ(0, array.insertAt(v, array.count));
}

// The visible state of an array, to show that a failure changed nothing.
struct Snapshot {
  explicit Snapshot(const JuArray& a)
      : data(a.data), capacity(a.capacity), count(a.count), flags(a.flags), values(a.data, a.data + a.capacity) {}
  bool operator==(const Snapshot& o) const {
    return data == o.data && capacity == o.capacity && count == o.count && flags == o.flags && values == o.values;
  }
  const uint64_t* data;
  uint64_t capacity;
  uint64_t count;
  uint32_t flags;
  std::vector<uint64_t> values;
};

using ArrayTest = jutest::JuTest;

// ---------------------------------------------------------------------------
// Growth steps.
// ---------------------------------------------------------------------------

TEST_F(ArrayTest, InsertGrowsByStepOrDoubles) {
  struct Row {
    uint64_t step;
    std::vector<uint64_t> capacities;  // after each insertion
    const char* note;
  };
  const Row rows[] = {
      {16, {16, 16, 16}, "default step: 16 at once"},
      {0, {1, 2, 4, 4, 8, 8, 8, 8, 16}, "step 0 doubles from 1"},
      {3, {3, 3, 3, 6, 6}, "a step of 3"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuArray array;
    array.growthStep = row.step;
    for (size_t i = 0; i < row.capacities.size(); ++i) {
      ASSERT_EQ(0, array.insertAt(uint64_t{i + 1}, array.count));
      EXPECT_EQ(row.capacities[i], array.capacity) << "after insertion " << i + 1;
    }
    EXPECT_NE(0u, array.flags & JuArray::kOwnsBuffer);
    for (uint64_t i = 0; i < array.count; ++i) EXPECT_EQ(i + 1, array.data[i]);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(ArrayTest, InsertAtShiftsAndAppendsPastTheEnd) {
  struct Row {
    uint64_t index;
    std::vector<uint64_t> expected;
    const char* note;
  };
  const Row rows[] = {
      {0, {9, 1, 2, 3}, "front"},
      {1, {1, 9, 2, 3}, "middle"},
      {2, {1, 2, 9, 3}, "before the last"},
      {3, {1, 2, 3, 9}, "index == count appends"},
      {4, {1, 2, 3, 9}, "index == count + 1 appends"},
      {UINT64_MAX, {1, 2, 3, 9}, "any index past the end appends"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuArray array;
    array.growthStep = 3;  // full after three, so the insertion also grows
    fill(array, {1, 2, 3});
    ASSERT_EQ(0, array.insertAt(uint64_t{9}, row.index));
    EXPECT_EQ(4u, array.count);
    EXPECT_EQ(row.expected, slots(array, array.count));
  }
}

// ---------------------------------------------------------------------------
// Removal and destruction.
// ---------------------------------------------------------------------------

TEST_F(ArrayTest, RemoveAtShiftsDownAndClearsTheVacatedSlot) {
  struct Row {
    uint64_t index;
    std::vector<uint64_t> expected;  // the first four slots afterwards
    const char* note;
  };
  const Row rows[] = {
      {0, {2, 3, 0, 0}, "front"},
      {1, {1, 3, 0, 0}, "middle"},
      {2, {1, 2, 0, 0}, "last"},
      {3, {1, 2, 3, 0}, "index == count: nothing"},
      {4, {1, 2, 3, 0}, "index == count + 1: nothing"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuArray array;
    fill(array, {1, 2, 3});
    uint64_t before = array.count;
    array.removeAt(row.index);
    EXPECT_EQ(row.index < before ? before - 1 : before, array.count);
    EXPECT_EQ(row.expected, slots(array, 4));
  }
}

TEST_F(ArrayTest, DeleteAtAndFreeAtReleaseOnlyInRange) {
  int deaths = 0;
  {
    JuArray array;
    fill(array, {JuArray::toSlot(new Counted(&deaths)), 0, JuArray::toSlot(new Counted(&deaths))});
    array.deleteAt(3);  // index == count
    array.deleteAt(99);
    EXPECT_EQ(0, deaths);
    EXPECT_EQ(3u, array.count);
    array.deleteAt(1);  // a null element is only removed
    EXPECT_EQ(0, deaths);
    EXPECT_EQ(2u, array.count);
    array.deleteAt(0);
    EXPECT_EQ(1, deaths);
    EXPECT_EQ(1u, array.count);
    array.deleteAt(0);
    EXPECT_EQ(2, deaths);
    EXPECT_EQ(0u, array.count);
  }
  // freeAt: the sanitizer build shows a leak or a double free.
  JuArrayPVoid blocks;
  fill(blocks, {JuArray::toSlot(std::malloc(8)), JuArray::toSlot(std::malloc(8))});
  blocks.freeAt(2);
  EXPECT_EQ(2u, blocks.count);
  blocks.freeAt(0);
  EXPECT_EQ(1u, blocks.count);
  blocks.flags |= JuArray::kOwnsElements;  // the destructor frees the rest
}

TEST_F(ArrayTest, DeleteAllWalksCapacityOnlyWithWholeCapacity) {
  int deaths = 0;
  auto* above = new Counted(&deaths);
  {
    JuArray array;
    fill(array, {JuArray::toSlot(new Counted(&deaths)), JuArray::toSlot(above)});
    array.count = 1;  // `above` now lies at the count
    array.deleteAll();
    EXPECT_EQ(1, deaths);
    EXPECT_EQ(0u, array.count);
    EXPECT_EQ(JuArray::toSlot(above), array.data[1]);  // left alone

    array.flags |= JuArray::kWholeCapacity;
    array.deleteAll();
    EXPECT_EQ(2, deaths);
    EXPECT_EQ(0u, array.data[1]);
  }
  EXPECT_EQ(2, deaths);
}

TEST_F(ArrayTest, RemovedElementIsNotDestroyedAgainWithWholeCapacity) {
  // An owning whole-capacity array must not see a removed element twice.
  int deaths = 0;
  auto* first = new Counted(&deaths);
  {
    JuArray array;
    array.flags = JuArray::kOwnsElements | JuArray::kWholeCapacity;
    fill(array, {JuArray::toSlot(first), JuArray::toSlot(new Counted(&deaths))});
    array.removeAt(0);  // the caller takes `first`
  }
  EXPECT_EQ(1, deaths);
  delete first;
  EXPECT_EQ(2, deaths);
}

TEST_F(ArrayTest, DestructorsReleaseOwnedElements) {
  int deaths = 0;
  {
    JuArray array;
    array.flags |= JuArray::kOwnsElements;
    fill(array, {JuArray::toSlot(new Counted(&deaths)), 0, JuArray::toSlot(new Counted(&deaths))});
  }
  EXPECT_EQ(2, deaths);
  {
    JuArray array;  // without the flag the elements survive
    fill(array, {JuArray::toSlot(new Counted(&deaths))});
    delete static_cast<JuObject*>(array.pointerAt(0));
  }
  EXPECT_EQ(3, deaths);
  {
    JuArrayPVoid blocks;  // the sanitizer build shows a leak if not freed
    blocks.flags = JuArray::kOwnsElements | JuArray::kWholeCapacity;
    fill(blocks, {JuArray::toSlot(std::malloc(16)), JuArray::toSlot(std::malloc(32))});
    blocks.count = 1;
  }
}

TEST_F(ArrayTest, Contains) {
  JuArray array;
  fill(array, {5, 0, 7});
  EXPECT_EQ(1, array.contains(5));
  EXPECT_EQ(1, array.contains(0));
  EXPECT_EQ(1, array.contains(7));
  EXPECT_EQ(0, array.contains(6));
  array.count = 2;
  EXPECT_EQ(0, array.contains(7));  // only the first count slots
}

// ---------------------------------------------------------------------------
// grow, allocate, setSize.
// ---------------------------------------------------------------------------

TEST_F(ArrayTest, GrowWithKeepCarriesSlotsAndLeavesCallersBuffer) {
  uint64_t mine[3] = {11, 12, 13};
  JuArray array;
  array.data = mine;
  array.capacity = 3;
  array.count = 2;
  ASSERT_EQ(0, array.grow(4, 1));
  EXPECT_NE(mine, array.data);
  EXPECT_EQ(7u, array.capacity);
  EXPECT_EQ(2u, array.count);
  EXPECT_EQ((std::vector<uint64_t>{11, 12, 13, 0, 0, 0, 0}), slots(array, 7));
  EXPECT_NE(0u, array.flags & JuArray::kOwnsBuffer);
  EXPECT_EQ(11u, mine[0]);  // the caller's buffer is untouched and not freed
  EXPECT_EQ(13u, mine[2]);

  ASSERT_EQ(0, array.grow(0, 1));  // doubles; the owned one is freed
  EXPECT_EQ(14u, array.capacity);
  EXPECT_EQ(12u, array.data[1]);
  EXPECT_EQ(0u, array.data[13]);
}

TEST_F(ArrayTest, GrowWithoutKeepGivesAZeroedBuffer) {
  JuArray array;
  fill(array, {1, 2, 3});
  ASSERT_EQ(0, array.grow(2, 0));
  EXPECT_EQ(18u, array.capacity);
  EXPECT_EQ(std::vector<uint64_t>(18, 0), slots(array, 18));
}

TEST_F(ArrayTest, AllocateGivesZeroSlotsAndKeepsCount) {
  JuArray array;
  fill(array, {1, 2, 3});
  uint64_t* old = array.data;
  ASSERT_EQ(0, array.allocate(16));  // the old owned buffer is freed (no leak)
  EXPECT_NE(old, array.data);
  EXPECT_EQ(16u, array.capacity);
  EXPECT_EQ(3u, array.count);
  EXPECT_EQ(std::vector<uint64_t>(16, 0), slots(array, 16));

  ASSERT_EQ(0, array.allocate(2));  // never more counted than there are slots
  EXPECT_EQ(2u, array.capacity);
  EXPECT_EQ(2u, array.count);

  ASSERT_EQ(0, array.allocate(0));
  EXPECT_EQ(0u, array.capacity);
  EXPECT_EQ(0u, array.count);
  EXPECT_NE(nullptr, array.data);
  ASSERT_EQ(0, array.insertAt(uint64_t{4}, 0));
  EXPECT_EQ(4u, array.data[0]);
}

TEST_F(ArrayTest, SetSizeZeroFillsAddedSlots) {
  JuArray array;
  ASSERT_EQ(0, array.setSize(3));  // no buffer yet: an owned one is made
  EXPECT_EQ(3u, array.capacity);
  EXPECT_EQ(3u, array.count);
  EXPECT_NE(0u, array.flags & JuArray::kOwnsBuffer);
  EXPECT_EQ(std::vector<uint64_t>(3, 0), slots(array, 3));
  for (uint64_t i = 0; i < 3; ++i) array.data[i] = ~uint64_t{0};

  ASSERT_EQ(0, array.setSize(1));
  ASSERT_EQ(0, array.setSize(600));  // a large step, so realloc moves the block
  EXPECT_EQ(~uint64_t{0}, array.data[0]);
  std::vector<uint64_t> added(array.data + 1, array.data + 600);
  EXPECT_EQ(std::vector<uint64_t>(599, 0), added);

  ASSERT_EQ(0, array.setSize(0));
  EXPECT_EQ(nullptr, array.data);
  EXPECT_EQ(0u, array.capacity);
  EXPECT_EQ(0u, array.count);
  EXPECT_EQ(0u, array.flags & JuArray::kOwnsBuffer);
}

TEST_F(ArrayTest, SetSizeOnCallersBufferChangesOnlyTheNumbers) {
  uint64_t mine[4] = {1, 2, 3, 4};
  JuArray array;
  array.data = mine;
  array.capacity = 4;
  ASSERT_EQ(0, array.setSize(2));
  EXPECT_EQ(mine, array.data);
  EXPECT_EQ(2u, array.count);
  EXPECT_EQ(2u, array.capacity);
  EXPECT_EQ(3u, mine[2]);
  ASSERT_EQ(0, array.setSize(0));  // never frees a buffer it does not own
  EXPECT_EQ(nullptr, array.data);
  EXPECT_EQ(1u, mine[0]);
}

// ---------------------------------------------------------------------------
// Failures: nothing changes, out of memory is reported.
// ---------------------------------------------------------------------------

TEST_F(ArrayTest, FailedAllocationLeavesTheArrayAsItWas) {
  struct Row {
    int (*operation)(JuArray&);
    const char* note;
  };
  const Row rows[] = {
      {[](JuArray& a) { return a.insertAt(uint64_t{9}, 1); }, "insertAt on a full array"},
      {[](JuArray& a) { return a.grow(5, 1); }, "grow with keep"},
      {[](JuArray& a) { return a.grow(5, 0); }, "grow without keep"},
      {[](JuArray& a) { return a.grow(0, 1); }, "grow by doubling"},
      {[](JuArray& a) { return a.allocate(8); }, "allocate"},
      {[](JuArray& a) { return a.allocate(0); }, "allocate 0"},
      {[](JuArray& a) { return a.setSize(40); }, "setSize up"},
      {[](JuArray& a) { return a.setSize(1); }, "setSize down"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    JuArray array;
    array.growthStep = 4;
    fill(array, {1, 2, 3, 4});
    Snapshot before(array);
    {
      FaultGuard fault(1, true);
      EXPECT_EQ(1, row.operation(array));
    }
    EXPECT_TRUE(before == Snapshot(array));
    EXPECT_EQ(1, errors.list().pendingOutOfMemory);
    // And the array still works.
    ASSERT_EQ(0, array.insertAt(uint64_t{5}, array.count));
    EXPECT_EQ(5u, array.count);
  }
}

TEST_F(ArrayTest, FailedGrowOfAnEmptyArrayClaimsNoSlots) {
  JuArray array;
  {
    FaultGuard fault(1, false);
    EXPECT_EQ(1, array.insertAt(uint64_t{1}, 0));
  }
  EXPECT_EQ(nullptr, array.data);
  EXPECT_EQ(0u, array.capacity);
  EXPECT_EQ(0u, array.count);
  EXPECT_EQ(1, errors_.list().pendingOutOfMemory);
}

TEST_F(ArrayTest, SlotCountsWhoseByteSizeOverflowFailAsOutOfMemory) {
  // 2^61 slots are 2^64 bytes: rejected before the allocator is asked.
  // 2^61 - 1 slots fit in size_t and reach the allocator (the armed fault
  // fires instead of a real attempt at that size).
  constexpr uint64_t kTooMany = uint64_t{1} << 61;
  struct Row {
    int (*operation)(JuArray&, uint64_t);
    uint64_t n;
    bool reachesAllocator;
    const char* note;
  };
  const Row rows[] = {
      {[](JuArray& a, uint64_t n) { return a.allocate(n); }, kTooMany, false, "allocate 2^61"},
      {[](JuArray& a, uint64_t n) { return a.allocate(n); }, kTooMany - 1, true, "allocate 2^61 - 1"},
      {[](JuArray& a, uint64_t n) { return a.setSize(n); }, kTooMany, false, "setSize 2^61"},
      {[](JuArray& a, uint64_t n) { return a.setSize(n); }, kTooMany - 1, true, "setSize 2^61 - 1"},
      {[](JuArray& a, uint64_t n) { return a.grow(n - 2, 1); }, kTooMany, false, "grow to 2^61"},
      {[](JuArray& a, uint64_t n) { return a.grow(n - 3, 1); }, kTooMany, true, "grow to 2^61 - 1"},
      {[](JuArray& a, uint64_t) { return a.grow(UINT64_MAX - 1, 1); }, 0, false, "capacity + step wraps"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    JuArray array;
    ASSERT_EQ(0, array.allocate(2));
    Snapshot before(array);
    julib::internal::failAllocation(1, false);
    EXPECT_EQ(1, row.operation(array, row.n));
    EXPECT_EQ(row.reachesAllocator ? 1u : 0u, julib::internal::clearAllocationFault());
    EXPECT_TRUE(before == Snapshot(array));
    EXPECT_EQ(1, errors.list().pendingOutOfMemory);
  }
}

TEST_F(ArrayTest, DoublingPastTwoToThe63FailsAsOutOfMemory) {
  JuArray array;
  array.capacity = (uint64_t{1} << 63) + 1;  // numbers only; no buffer is touched
  EXPECT_EQ(1, array.grow(0, 1));
  EXPECT_EQ(nullptr, array.data);
  EXPECT_EQ(1, errors_.list().pendingOutOfMemory);
  array.capacity = 0;
}

}  // namespace
