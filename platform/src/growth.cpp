// Array growth: the one place that computes a next capacity and sizes a
// resize.

#include "platform/growth.h"

#include <cstdint>

#include "platform/checked_size.h"

namespace platform {

size_t grownCapacity(size_t capacity, size_t size, size_t extra, size_t first, size_t itemBytes) noexcept {
  const size_t maxItems = SIZE_MAX / (itemBytes != 0 ? itemBytes : 1);
  size_t needed;
  if (!addSizes(&needed, size, extra) || needed > maxItems) return 0;
  if (needed <= capacity) return capacity;
  size_t grown = capacity != 0 ? capacity : first != 0 ? first : 1;
  if (grown > maxItems) return needed;
  while (grown < needed) grown = grown > maxItems / 2 ? needed : grown * 2;
  return grown;
}

Resize resizeBlock(void** block, size_t count, size_t itemBytes, Reallocate reallocate) noexcept {
  size_t bytes;
  if (!multiplySizes(&bytes, count, itemBytes)) return Resize::kTooLarge;
  void* resized = reallocate(*block, bytes);
  if (resized == nullptr) return Resize::kFailed;
  *block = resized;
  return Resize::kDone;
}

}  // namespace platform
