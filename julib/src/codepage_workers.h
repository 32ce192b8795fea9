// Pieces shared by the conversion workers: the bounds of one ICU call, a
// reader that hands out UTF-16 text in the native byte order without
// touching the caller's copy, and the ASCII test of a converter.
#ifndef JULIB_SRC_CODEPAGE_WORKERS_H
#define JULIB_SRC_CODEPAGE_WORKERS_H

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cstring_internal.h"
#include "julib/codepage.h"

namespace julib::internal {

// --- Bounds of one ICU call -------------------------------------------------

// ICU takes lengths and capacities as int32_t, and one converter call takes
// at most 0x3FFFFFFF UTF-16 units or 0x7FFFFFFF bytes on either side.
inline constexpr int64_t kIcuMaxLength = INT32_MAX;
inline constexpr int64_t kIcuMaxCallBytes = 0x7FFFFFFF;
inline constexpr int64_t kIcuMaxCallUnits = 0x3FFFFFFF;

// A source length ICU can take: 0 to INT32_MAX. Longer text fails rather
// than being cut or wrapped.
inline bool isIcuLength(int64_t length) { return length >= 0 && length <= kIcuMaxLength; }

// A destination capacity as one ICU call takes it: a larger destination is
// only room that the call cannot use, so it is pinned to the bound.
inline int32_t pinCapacity(int64_t size, int64_t bound) {
  return static_cast<int32_t>(std::clamp<int64_t>(size, 0, bound));
}

// The result code of an ICU call: a failure through juMapIcuError, the
// "not terminated" warning as a cut output, every other warning success.
inline int32_t icuResult(UErrorCode error) {
  if (U_FAILURE(error)) return juMapIcuError(error);
  return error == U_STRING_NOT_TERMINATED_WARNING ? kJuConvTruncated : kJuConvOk;
}

// --- Output cut between characters ------------------------------------------

// ucnv_toUnicode / ucnv_fromUnicode of [in, end) into [out, limit), except
// when the output does not fit: then the destination keeps only whole
// characters (what ICU wrote of the next one is zeroed), `out` stops after
// them, `in` stands at the first source unit of the character not written,
// and the converter's direction is reset, so that it keeps nothing back
// that a caller going on from `in` would convert again. The status is
// ICU's; U_BUFFER_OVERFLOW_ERROR is such a cut.
//   "a\u20ACb" into 3 bytes of UTF-8 -> "a", in at the euro sign
UErrorCode toUnicodeWholeChars(UConverter* converter, char16_t*& out, char16_t* limit, const char*& in,
                               const char* end, bool flush);
// `keys`, when given, holds for every unit of [in, end], the end included,
// the caller's index of the source character it came from: units with one
// key are one character, which is kept or cut whole.
UErrorCode fromUnicodeWholeChars(UConverter* converter, char*& out, char* limit, const char16_t*& in,
                                 const char16_t* end, bool flush, const int32_t* keys = nullptr);

// --- Whole-string conversions ----------------------------------------------

// Zeroes the last `units` of a destination of `size` units before a
// whole-string conversion, so that output cut inside a character still ends
// in zeros.
template <typename Unit>
void clearTail(Unit* dst, int64_t size, int64_t units) {
  for (int64_t i = std::max<int64_t>(size - units, 0); i < size; ++i) dst[i] = 0;
}

// UTF-16 output that ICU cut after `n` of the units it needs: the first
// half of a pair that did not fit is zeroed. Returns the units left.
inline int64_t dropHalfPair(char16_t* dst, int64_t n, int64_t needed) {
  if (n < needed && n > 0 && isHighSurrogate(dst[n - 1])) dst[--n] = 0;
  return n;
}

// Ends a whole-string conversion that ICU ran with `capacity` units of room
// (at most one less than the destination) and that needs `needed` units.
// A failure other than a cut or an unconvertible character is returned as
// it is. Otherwise the output is terminated after the whole characters
// written, the units written are swapped when asked, and the result is 0,
// 1 or 2; text that exactly fills the room before the terminator is whole.
template <typename Unit>
int32_t finishWholeString(Unit* dst, int32_t capacity, int64_t needed, UErrorCode error, int64_t* written,
                          bool swapOutput) {
  if (written != nullptr) *written = needed;
  const int32_t result = U_FAILURE(error) ? juMapIcuError(error) : kJuConvOk;
  if (result != kJuConvOk && result != kJuConvTruncated && result != kJuConvUnmappable) return result;
  int64_t produced = std::clamp<int64_t>(needed, 0, capacity);
  if constexpr (sizeof(Unit) == sizeof(char16_t)) produced = dropHalfPair(dst, produced, needed);
  dst[produced] = 0;
  if constexpr (sizeof(Unit) == sizeof(char16_t)) {
    if (swapOutput) juSwapUtf16(dst, dst, static_cast<size_t>(produced));
  }
  return result;
}

// --- UTF-16 to UTF-8, telling what was written ------------------------------

// juUtf16ToUtf8, which reports in *needed the bytes the whole text needs,
// and also what the destination holds: *heldBytes of whole characters, made
// from the first *heldUnits of the source (null out-parameters skipped).
//   u"a\u20ACb" into 3 bytes -> 1, needed 5, held 1 byte from 1 unit
int32_t utf16ToUtf8Held(char* dst, int64_t size, const char16_t* src, int64_t length, int swap, int64_t* needed,
                        int64_t* heldBytes, int64_t* heldUnits);

// --- UTF-16 source in pieces ------------------------------------------------

// Hands out UTF-16 text in pieces in the native byte order: the caller's own
// units when they need no swapping, else swapped copies in a local buffer, so
// the caller's text is never changed. A piece ends between the units of a
// surrogate pair only where the text does. There is always at least one
// piece, empty for empty text, so that a converter sees the end of input.
class Utf16Pieces {
 public:
  static constexpr size_t kSwapUnits = 2048;

  Utf16Pieces(const char16_t* text, size_t n, bool swap) : text_(text), n_(n), swap_(swap) {}
  Utf16Pieces(const Utf16Pieces&) = delete;
  Utf16Pieces& operator=(const Utf16Pieces&) = delete;

  // Moves to the next piece; false when the text is used up.
  bool next() {
    if (started_ && start_ + count_ >= n_) return false;
    start_ = started_ ? start_ + count_ : 0;
    started_ = true;
    const size_t most = swap_ ? kSwapUnits : static_cast<size_t>(kIcuMaxCallUnits);
    count_ = std::min(n_ - start_, most);
    // Keep a pair whole: its high unit waits for the next piece.
    if (count_ > 1 && start_ + count_ < n_ && isHighSurrogate(nativeUnit(start_ + count_ - 1))) --count_;
    if (!swap_) return true;
    juSwapUtf16(buffer_, text_ + start_, count_);
    return true;
  }

  const char16_t* begin() const { return swap_ ? buffer_ : text_ + start_; }
  const char16_t* end() const { return begin() + count_; }
  bool last() const { return start_ + count_ >= n_; }
  // The index in the caller's text of a position inside the current piece.
  size_t indexOf(const char16_t* p) const { return start_ + static_cast<size_t>(p - begin()); }

 private:
  char16_t nativeUnit(size_t i) const { return swap_ ? swapUnit(text_[i]) : text_[i]; }

  const char16_t* text_;
  size_t n_;
  bool swap_;
  bool started_ = false;
  size_t start_ = 0;
  size_t count_ = 0;
  char16_t buffer_[kSwapUnits];
};

// --- Converters -------------------------------------------------------------

// Whether a converter reads bytes 00-7F as U+0000..U+007F and writes those
// code points back as the same single bytes, so that ASCII text may be
// copied past it. Decided once per converter name from a fresh converter of
// that name; the caller's converter and its callbacks are not touched.
bool converterKeepsAscii(UConverter* converter);

// The bytes 00-7F at the start of `src` that the fast path can copy: all of
// them when every byte of [src, src + n) is below 0x80, else the bytes before
// the first word that holds one of 0x80 or above.
inline size_t asciiPrefix(const char* src, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, src + i, sizeof word);
    if ((word & 0x8080808080808080ull) != 0) return i;
  }
  while (i < n && static_cast<uint8_t>(src[i]) < 0x80) ++i;
  return i;
}

}  // namespace julib::internal

#endif  // JULIB_SRC_CODEPAGE_WORKERS_H
