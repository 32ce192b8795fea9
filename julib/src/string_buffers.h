// The units under a string of either family: checked sizes, raw blocks, a
// source that stays stable while its string changes, and exact growth.
#ifndef JULIB_SRC_STRING_BUFFERS_H
#define JULIB_SRC_STRING_BUFFERS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "julib/errors.h"
#include "julib/object.h"
#include "array_growth.h"
#include "checked_sizes.h"
#include "string_family.h"

namespace julib::internal {

// ---------------------------------------------------------------------------
// Sizes and raw buffers.
// ---------------------------------------------------------------------------

inline constexpr size_t kNowhere = SIZE_MAX;

template <typename Char>
Char* allocateUnits(size_t n) {
  size_t bytes;
  if (!arraySize(&bytes, n, sizeof(Char))) return nullptr;
  return static_cast<Char*>(juMallocChecked(bytes));
}

template <typename Char>
void moveUnits(Char* dst, const Char* src, size_t n) {
  if (n != 0) std::memmove(dst, src, n * sizeof(Char));
}

// Zeroes n units before the block goes back to the allocator.
template <typename Char>
void freeWiped(Char* block, size_t n) {
  if (block == nullptr) return;
  juMemZero(block, n * sizeof(Char));
  juFree(block);
}

// Offset of p in [base, base + n), or kNowhere.
template <typename Char>
size_t offsetIn(const Char* p, const Char* base, size_t n) {
  if (p == nullptr || base == nullptr) return kNowhere;
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  const uintptr_t start = reinterpret_cast<uintptr_t>(base);
  if (at < start || (at - start) / sizeof(Char) >= n) return kNowhere;
  return (at - start) / sizeof(Char);
}

// A new block with n units of text and a zero unit; null on failure.
template <typename Char>
Char* newTerminatedCopy(const Char* text, size_t n) {
  size_t units;
  if (!sizeSum(&units, n, 1)) return nullptr;
  Char* block = allocateUnits<Char>(units);
  if (block == nullptr) return nullptr;
  moveUnits(block, text, n);
  block[n] = 0;
  return block;
}

// Whether n units at p share a byte with the buffer of s (its whole
// capacity, so text past the length counts too).
template <typename Char, typename S>
bool overlapsBuffer(const Char* p, size_t n, const S& s) {
  if (p == nullptr || n == 0 || s.data == nullptr) return false;
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  const uintptr_t base = reinterpret_cast<uintptr_t>(s.data);
  const size_t unit = sizeof *s.data;
  if (at >= base) return (at - base) / unit < s.capacity;
  return (base - at) / sizeof(Char) < n;
}

// A source that an edit reads while it changes a string. When the source lies
// in (or overlaps) the string's buffer, hold() points it at a copy, so the
// edit reads what the source held at the call however the buffer grows or
// its text moves, through any number of steps. The copy is zeroed before it
// is freed: the string may be a wiping one.
template <typename Char>
class StableSource {
 public:
  StableSource() = default;
  StableSource(const StableSource&) = delete;
  StableSource& operator=(const StableSource&) = delete;
  ~StableSource() { freeWiped(copy_, units_); }

  // Once per source: `text` (n units, terminated in the copy) may be
  // redirected; false, with out of memory reported, when the copy cannot be
  // made.
  template <typename S>
  [[nodiscard]] bool hold(const Char*& text, size_t n, const S& s) {
    if (!overlapsBuffer(text, n, s)) return true;
    copy_ = newTerminatedCopy(text, n);
    if (copy_ == nullptr) return false;
    units_ = n + 1;
    text = copy_;
    return true;
  }

 private:
  Char* copy_ = nullptr;
  size_t units_ = 0;
};

// ---------------------------------------------------------------------------
// Growth.
// ---------------------------------------------------------------------------

// Sets the buffer to exactly `capacity` units. The wiping form never gives a
// used buffer back to the allocator unzeroed: it copies into a new block.
template <typename S>
int reserveUnits(S& s, size_t capacity, bool wipe) {
  using Char = CharOf<S>;
  if (s.owns == 0) {
    juPostError(kJuMsgStringTooLarge);
    return 1;
  }
  if (s.data == nullptr) {
    Char* block = allocateUnits<Char>(capacity);
    if (block == nullptr) return 1;
    s.data = block;
  } else if (wipe) {
    Char* block = allocateUnits<Char>(capacity);
    if (block == nullptr) return 1;
    moveUnits(block, s.data, s.length < capacity ? s.length : capacity);
    freeWiped(s.data, s.capacity);
    s.data = block;
  } else if (!resizeArray(s.data, capacity)) {
    return 1;
  }
  s.capacity = capacity;
  // A buffer cut below the text keeps only what fits.
  if (s.length > capacity) s.length = capacity;
  return 0;
}

// Room for `needed` units in all (the terminator counted by the caller).
template <typename S>
int makeRoomFor(S& s, size_t needed) {
  if (s.data != nullptr && s.capacity >= needed) return 0;
  return s.reserve(needed);
}

}  // namespace julib::internal

#endif  // JULIB_SRC_STRING_BUFFERS_H
