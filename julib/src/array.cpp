// JuArray: the growable buffer of 64-bit slots, and the destructors of its
// typed forms.

#include <cstdint>
#include <cstring>

#include "julib/containers.h"
#include "julib/object.h"
#include "array_growth.h"
#include "checked_sizes.h"

namespace {

namespace ji = julib::internal;

constexpr size_t kSlotBytes = sizeof(uint64_t);
static_assert(sizeof(size_t) == sizeof(uint64_t), "slot counts are sizes");

// A new block of n zeroed slots (one byte when n is 0), or null after the
// out-of-memory report.
uint64_t* newZeroedSlots(uint64_t n) {
  size_t bytes = 0;
  if (!ji::arraySize(&bytes, n, kSlotBytes)) return nullptr;
  auto* block = static_cast<uint64_t*>(juMallocChecked(bytes == 0 ? 1 : bytes));
  if (block != nullptr && bytes != 0) std::memset(block, 0, bytes);
  return block;
}

}  // namespace

JuArray::~JuArray() {
  if (flags & kOwnsElements) deleteAll();
  releaseBuffer();
}

void JuArray::releaseBuffer() {
  if (flags & kOwnsBuffer) juFree(data);
  data = nullptr;
  flags &= ~kOwnsBuffer;
}

// ---------------------------------------------------------------------------
// Insertion and removal.
// ---------------------------------------------------------------------------

int JuArray::insertAt(uint64_t value, uint64_t index) {
  // An index past the end appends, as JuList::insertAt does.
  if (index > count) index = count;
  if (count >= capacity && grow(growthStep, 1) != 0) return 1;
  if (index < count) std::memmove(data + index + 1, data + index, (count - index) * kSlotBytes);
  data[index] = value;
  ++count;
  return 0;
}

void JuArray::removeAt(uint64_t index) {
  if (index >= count) return;
  if (index + 1 < count) std::memmove(data + index, data + index + 1, (count - index - 1) * kSlotBytes);
  --count;
  // The vacated slot would otherwise hold a second copy of the last element,
  // which a whole-capacity deleteAll or a later setSize would see again.
  data[count] = 0;
}

void JuArray::deleteAt(uint64_t index) {
  if (index >= count) return;
  // Unlink first so that a destructor that looks at the array finds it
  // consistent.
  auto* element = static_cast<JuObject*>(pointerAt(index));
  removeAt(index);
  delete element;
}

void JuArray::freeAt(uint64_t index) {
  if (index >= count) return;
  void* element = pointerAt(index);
  removeAt(index);
  juFree(element);
}

void JuArray::deleteAll() {
  uint64_t end = (flags & kWholeCapacity) ? capacity : count;
  for (uint64_t i = 0; i < end && data != nullptr; ++i) {
    auto* element = static_cast<JuObject*>(pointerAt(i));
    data[i] = 0;
    delete element;
  }
  count = 0;
}

void JuArray::freeAll() {
  uint64_t end = (flags & kWholeCapacity) ? capacity : count;
  for (uint64_t i = 0; i < end && data != nullptr; ++i) {
    void* element = pointerAt(i);
    data[i] = 0;
    juFree(element);
  }
  count = 0;
}

int JuArray::contains(uint64_t value) const {
  for (uint64_t i = 0; i < count; ++i) {
    if (data[i] == value) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Buffer management. Every failure leaves buffer, capacity and count as they
// were, so the array never claims slots it does not have.
// ---------------------------------------------------------------------------

int JuArray::grow(uint64_t step, int keep) {
  // Doubling from one slot, or the array's own step.
  size_t newCapacity = 0;
  if (step == 0) {
    newCapacity = ji::nextCapacity(capacity, 1);
    if (newCapacity == 0) return 1;
  } else if (!ji::sizeSum(&newCapacity, capacity, step)) {
    return 1;
  }

  uint64_t* block = newZeroedSlots(newCapacity);
  if (block == nullptr) return 1;
  if (keep && data != nullptr && capacity != 0) std::memcpy(block, data, capacity * kSlotBytes);
  releaseBuffer();
  data = block;
  capacity = newCapacity;
  flags |= kOwnsBuffer;
  return 0;
}

int JuArray::allocate(uint64_t n) {
  uint64_t* block = newZeroedSlots(n);
  if (block == nullptr) return 1;
  releaseBuffer();
  data = block;
  capacity = n;
  flags |= kOwnsBuffer;
  // Count stays, but never above the slots the new buffer has.
  if (count > n) count = n;
  return 0;
}

int JuArray::setSize(uint64_t n) {
  if (n == 0) {
    releaseBuffer();
    capacity = 0;
    count = 0;
    return 0;
  }
  // A caller's buffer is taken at its word: only the numbers change.
  if (data != nullptr && !(flags & kOwnsBuffer)) {
    capacity = n;
    count = n;
    return 0;
  }
  size_t bytes = 0;
  if (!ji::arraySize(&bytes, n, kSlotBytes)) return 1;
  auto* block = static_cast<uint64_t*>(data != nullptr ? juRealloc(data, bytes) : juMallocChecked(bytes));
  if (block == nullptr) return 1;
  uint64_t oldCapacity = data != nullptr ? capacity : 0;
  if (n > oldCapacity) std::memset(block + oldCapacity, 0, (n - oldCapacity) * kSlotBytes);
  data = block;
  capacity = n;
  count = n;
  flags |= kOwnsBuffer;
  return 0;
}

// ---------------------------------------------------------------------------
// Typed forms.
// ---------------------------------------------------------------------------

JuArrayPVoid::~JuArrayPVoid() {
  // Freed here; JuArray's destructor then finds only null slots.
  if (flags & kOwnsElements) freeAll();
}
