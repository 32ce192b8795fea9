// Size arithmetic checked for overflow: sums and products of size_t counts
// that say so instead of wrapping. Pure and header-only; what a failure
// means (out of memory, a refused argument) is the caller's.
#ifndef PLATFORM_CHECKED_SIZE_H
#define PLATFORM_CHECKED_SIZE_H

#include <cstddef>

namespace platform {

// *sum = the sum of the sizes; false when it does not fit in size_t (*sum
// is then unspecified).   addSizes(&s, 1, 2, 3) -> true, s == 6;
// addSizes(&s, SIZE_MAX, 1) -> false
template <typename... Sizes>
[[nodiscard]] constexpr bool addSizes(size_t* sum, size_t first, Sizes... rest) {
  *sum = first;
  return !(__builtin_add_overflow(*sum, static_cast<size_t>(rest), sum) || ...);
}

// *product = n * unit; false when it does not fit in size_t.
//   multiplySizes(&p, SIZE_MAX / 2 + 1, 2) -> false
[[nodiscard]] constexpr bool multiplySizes(size_t* product, size_t n, size_t unit) {
  return !__builtin_mul_overflow(n, unit, product);
}

// *bytes = n * unit + extra: an array of n items of `unit` bytes and a
// fixed part; false when it does not fit in size_t.
//   arrayBytes(&b, 3, 2, 2) -> true, b == 8
[[nodiscard]] constexpr bool arrayBytes(size_t* bytes, size_t n, size_t unit, size_t extra = 0) {
  return multiplySizes(bytes, n, unit) && addSizes(bytes, *bytes, extra);
}

}  // namespace platform

#endif  // PLATFORM_CHECKED_SIZE_H
