// Growth of arrays: the next capacity by doubling and the resize through the
// caller's allocator, every size checked for overflow. The typed buffers of
// this layer and of the library sit on these two and keep their own
// allocators (malloc or the system's pages here, the library's operators
// above).
#ifndef PLATFORM_GROWTH_H
#define PLATFORM_GROWTH_H

#include <cstddef>

namespace platform {

// The capacity that holds `extra` more items after the first `size` of an
// array of `capacity` items of `itemBytes` bytes each: `capacity` when they
// fit; else `first` (for an array of capacity 0) or `capacity`, doubled until
// they fit, or exactly the items needed when doubling would pass the largest
// byte count. 0 when size + extra items have no byte count in size_t; a
// grown capacity times itemBytes always fits.
//   grownCapacity(16, 16, 1, 16, 1) -> 32;  grownCapacity(0, 0, 40, 16, 1) -> 64
size_t grownCapacity(size_t capacity, size_t size, size_t extra, size_t first, size_t itemBytes) noexcept;

// An allocator's resize, with realloc's contract: null on failure, the block
// then left as it was; a null block asks for a new one.
using Reallocate = void* (*)(void* block, size_t bytes);

enum class Resize {
  kDone,
  kTooLarge,  // the byte count does not fit in size_t: the allocator was not asked
  kFailed,    // the allocator failed (and reported it, if it reports)
};

// Resizes *block to `count` items of `itemBytes` through `reallocate`. On
// anything but kDone *block is unchanged.
[[nodiscard]] Resize resizeBlock(void** block, size_t count, size_t itemBytes, Reallocate reallocate) noexcept;

template <typename T>
[[nodiscard]] Resize resizeItems(T** items, size_t count, Reallocate reallocate) noexcept {
  void* block = *items;
  const Resize result = resizeBlock(&block, count, sizeof(T), reallocate);
  if (result == Resize::kDone) *items = static_cast<T*>(block);
  return result;
}

}  // namespace platform

#endif  // PLATFORM_GROWTH_H
