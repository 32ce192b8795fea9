// Sizes of the library's blocks: the platform layer's checked arithmetic,
// with out of memory recorded when a size does not fit in size_t (as a
// failed allocation of that size would be).
#ifndef JULIB_SRC_CHECKED_SIZES_H
#define JULIB_SRC_CHECKED_SIZES_H

#include <cstddef>

#include "julib/object.h"
#include "platform/checked_size.h"

namespace julib::internal {

// *sum = the sum of the sizes; false (out of memory recorded) when it does
// not fit.   sizeSum(&n, length, 1) -> true, n == length + 1
template <typename... Sizes>
[[nodiscard]] bool sizeSum(size_t* sum, size_t first, Sizes... rest) {
  if (platform::addSizes(sum, first, rest...)) return true;
  juReportOutOfMemory();
  return false;
}

// *bytes = n * unit + extra; false (out of memory recorded) when it does not
// fit.   arraySize(&b, units, sizeof(char16_t), 2) -> true, b == 2 * units + 2
[[nodiscard]] inline bool arraySize(size_t* bytes, size_t n, size_t unit, size_t extra = 0) {
  if (platform::arrayBytes(bytes, n, unit, extra)) return true;
  juReportOutOfMemory();
  return false;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_CHECKED_SIZES_H
