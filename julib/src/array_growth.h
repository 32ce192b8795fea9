// Growth of the library's own arrays: the platform layer's capacity rule and
// resize, through the library's allocator, with out of memory recorded.
#ifndef JULIB_SRC_ARRAY_GROWTH_H
#define JULIB_SRC_ARRAY_GROWTH_H

#include <cstddef>

#include "julib/object.h"
#include "platform/growth.h"

namespace julib::internal {

// The capacity after a full array of `capacity` elements: `first` from 0,
// else double. 0 (out of memory recorded) when one more element cannot be
// counted.   nextCapacity(0, 4) -> 4;  nextCapacity(4, 4) -> 8
inline size_t nextCapacity(size_t capacity, size_t first) {
  const size_t grown = platform::grownCapacity(capacity, capacity, 1, first, 1);
  if (grown == 0) juReportOutOfMemory();
  return grown;
}

// Resizes an array of T to exactly `capacity` elements through juRealloc;
// on failure (out of memory recorded) the array stays as it was.
template <typename T>
[[nodiscard]] bool resizeArray(T*& items, size_t capacity) {
  switch (platform::resizeItems(&items, capacity, juRealloc)) {
    case platform::Resize::kDone:
      return true;
    case platform::Resize::kTooLarge:
      juReportOutOfMemory();
      return false;
    case platform::Resize::kFailed:
      return false;  // juRealloc recorded it
  }
  return false;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_ARRAY_GROWTH_H
