// JuSortedArray (objects in compare order) and JuSortedArrayJUSIZE_T
// (unsigned sizes in ascending order).

#include <cstdint>

#include "julib/containers.h"
#include "julib/sort.h"

namespace {

// The binary search both sorted arrays share. `order(i)` is the sought
// value against element i: negative, 0 or positive. Returns 1 with the
// position of an equal element, or 0 with the position where the value
// belongs.
template <typename Order>
int binarySearch(uint64_t count, Order order, uint64_t* position) {
  if (count == 0 || order(0) < 0) {
    *position = 0;
    return 0;
  }
  uint64_t low = 0;
  uint64_t high = count - 1;
  uint64_t mid = 0;
  int last = 0;
  while (low <= high) {
    mid = low + (high - low) / 2;
    last = order(mid);
    if (last == 0) {
      *position = mid;
      return 1;
    }
    if (last > 0) {
      low = mid + 1;
    } else {
      // A compare that contradicts the first test must not take high
      // below 0.
      if (mid == 0) break;
      high = mid - 1;
    }
  }
  *position = last > 0 ? mid + 1 : mid;
  return 0;
}

// `object` against an element; a null element sorts before every object.
int orderAgainst(const JuObject& object, const JuObject* element) {
  return element != nullptr ? object.compare(*element) : 1;
}

// Whether neighbour `later` equals `earlier` by the earlier one's compare.
bool sameAsBefore(const JuObject* earlier, const JuObject* later) {
  if (earlier == nullptr || later == nullptr) return earlier == later;
  return earlier->compare(*later) == 0;
}

int compareSizes(size_t a, size_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

// ---------------------------------------------------------------------------
// JuSortedArray.
// ---------------------------------------------------------------------------

JuSortedArray::~JuSortedArray() = default;

int JuSortedArray::insert(JuObject* object) {
  uint64_t position = count;
  if (count != 0 && (mode & kAppendModes) == 0) {
    if (object == nullptr) {
      // Null sorts first; it joins the end of the leading nulls.
      position = 0;
      while (position < count && objectAt(position) == nullptr) ++position;
    } else if (search(*object, &position)) {
      position = lastEqual(*object, position) + 1;
    }
  }
  return insertAt(object, position);
}

int JuSortedArray::search(const JuObject& object, uint64_t* position) const {
  return binarySearch(
      count, [&](uint64_t i) { return orderAgainst(object, objectAt(i)); }, position);
}

uint64_t JuSortedArray::lastEqual(const JuObject& object, uint64_t position) const {
  while (position + 1 < count && orderAgainst(object, objectAt(position + 1)) == 0) ++position;
  return position;
}

int JuSortedArray::find(const JuObject& object, uint64_t* position) const {
  for (uint64_t i = 0; i < count; ++i) {
    const JuObject* element = objectAt(i);
    if (element != nullptr && element->compare(object) == 0) {
      *position = i;
      return 1;
    }
  }
  return 0;
}

void JuSortedArray::deleteDuplicates() {
  uint64_t i = 1;
  while (i < count) {
    if (sameAsBefore(objectAt(i - 1), objectAt(i))) {
      deleteAt(i);
    } else {
      ++i;
    }
  }
}

void JuSortedArray::removeDuplicates() {
  uint64_t i = 1;
  while (i < count) {
    if (sameAsBefore(objectAt(i - 1), objectAt(i))) {
      removeAt(i);
    } else {
      ++i;
    }
  }
}

int JuSortedArray::sort() {
  // The slots are 8-byte records that begin with the object pointer.
  JuSort sorter(sizeof(uint64_t));
  if (sorter.addKey(JuSort::kObject, 0, sizeof(uint64_t)) != 0) return 1;
  sorter.useArray(count, data);
  return sorter.sort();
}

// ---------------------------------------------------------------------------
// JuSortedArrayJUSIZE_T.
// ---------------------------------------------------------------------------

int JuSortedArrayJUSIZE_T::insert(size_t value) {
  uint64_t position = 0;
  if (count != 0 && search(value, &position)) position = lastEqual(value, position) + 1;
  return insertAt(static_cast<uint64_t>(value), position);
}

int JuSortedArrayJUSIZE_T::search(size_t value, uint64_t* position) const {
  return binarySearch(
      count, [&](uint64_t i) { return compareSizes(value, static_cast<size_t>(data[i])); }, position);
}

uint64_t JuSortedArrayJUSIZE_T::lastEqual(size_t value, uint64_t position) const {
  while (position + 1 < count && static_cast<size_t>(data[position + 1]) == value) ++position;
  return position;
}
