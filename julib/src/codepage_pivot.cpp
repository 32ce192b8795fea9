// Narrow text of one code page to narrow text of another through a UTF-16
// pivot on the stack, with an ASCII fast path where both code pages keep
// ASCII as it is.

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>

#include "codepage_workers.h"
#include "julib/codepage.h"
#include "julib/cstring.h"

using julib::internal::asciiPrefix;
using julib::internal::converterKeepsAscii;
using julib::internal::fromUnicodeWholeChars;
using julib::internal::icuResult;
using julib::internal::isIcuLength;
using julib::internal::kIcuMaxCallBytes;
using julib::internal::pinCapacity;

namespace {

constexpr size_t kPivotUnits = 2000;

bool argumentsUsable(char* dst, int64_t size, const char* src, int64_t length, UConverter* source, UConverter* target) {
  return dst != nullptr && size > 0 && src != nullptr && isIcuLength(length) && source != nullptr && target != nullptr;
}

// One conversion of a whole text: what a failed or cut call left in either
// converter must not come out at the start of this one.
void startConversion(UConverter* source, UConverter* target) {
  ucnv_reset(source);
  if (target != source) ucnv_reset(target);
}

// The pivot: UTF-16 units on the stack, and for each unit (and the end of
// what it holds) the index in the caller's source of the character it came
// from, so that a cut in the target maps back to the source.
struct Pivot {
  char16_t units[kPivotUnits];
  int32_t keys[kPivotUnits + 1];
  size_t filled = 0;  // the most units one fill held
};

// Turns ICU's offsets of the units [from, to), which the source converter
// wrote from the source at `base`, into keys. Units it kept back from the
// fill before come first, without an offset: they finish the character
// before them.
void offsetsToKeys(int32_t* keys, size_t from, size_t to, int32_t base) {
  for (size_t i = from; i < to; ++i) keys[i] = keys[i] >= 0 ? base + keys[i] : i > 0 ? keys[i - 1] : base;
}

// The units of a full fill that go to the target now: all but the last
// character, whose rest the source converter may still hold.
size_t unitsReady(const int32_t* keys, size_t n) {
  size_t ready = n;
  while (ready > 0 && keys[ready - 1] == keys[n - 1]) --ready;
  return ready > 0 ? ready : n;
}

// The pivot loop: [in, end) through the source converter into the pivot,
// and the pivot through the target converter into [out, limit). The source
// is read with flush set; the target is flushed only after the last of the
// pivot, so a stateful target closes its shift state once, at the end, and
// a character never reaches it in two parts: the last character of a full
// fill waits at the front of the next. When the destination is full, the
// output ends after the last whole character and `in` stands at the source
// character after it; both converters are then reset. Returns the result
// code; `in` and `out` move on.
int32_t convertThroughPivot(UConverter* source, UConverter* target, const char* src, const char*& in, const char* end,
                            char*& out, char* limit, Pivot& pivot) {
  size_t held = 0;  // units waiting at the front of the pivot
  for (;;) {
    char16_t* pivotEnd = pivot.units + held;
    const char* const fillStart = in;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(source, &pivotEnd, pivot.units + kPivotUnits, &in, end, pivot.keys + held, true, &error);
    const auto n = static_cast<size_t>(pivotEnd - pivot.units);
    pivot.filled = std::max(pivot.filled, n);
    // An overflow here only means the pivot is full.
    const bool more = error == U_BUFFER_OVERFLOW_ERROR;
    if (more) error = U_ZERO_ERROR;
    int32_t result = icuResult(error);
    if (result != kJuConvOk) return result;
    offsetsToKeys(pivot.keys, held, n, static_cast<int32_t>(fillStart - src));
    const size_t ready = more ? unitsReady(pivot.keys, n) : n;
    if (!more) pivot.keys[n] = static_cast<int32_t>(in - src);
    const char16_t* pivotIn = pivot.units;
    error = fromUnicodeWholeChars(target, out, limit, pivotIn, pivot.units + ready, !more, pivot.keys);
    if (error == U_BUFFER_OVERFLOW_ERROR) {
      in = src + pivot.keys[pivotIn - pivot.units];
      ucnv_resetToUnicode(source);
      return kJuConvTruncated;
    }
    result = icuResult(error);
    if (result != kJuConvOk || !more) return result;
    held = n - ready;
    std::memmove(pivot.units, pivot.units + ready, held * sizeof pivot.units[0]);
    std::memmove(pivot.keys, pivot.keys + ready, held * sizeof pivot.keys[0]);
  }
}

// Both converters keep ASCII: copies the leading ASCII bytes. Returns them.
size_t copyAsciiPrefix(char* dst, const char* src, size_t n) {
  const size_t ascii = asciiPrefix(src, n);
  std::memcpy(dst, src, ascii);
  return ascii;
}

int32_t convertCodePage(char* dst, int64_t size, const char* src, int64_t length, int64_t* written, int64_t* consumed,
                        UConverter* source, UConverter* target) {
  startConversion(source, target);
  size_t copied = 0;
  if (converterKeepsAscii(source) && converterKeepsAscii(target)) {
    const auto room = static_cast<size_t>(std::min(size, length));
    copied = copyAsciiPrefix(dst, src, room);
    if (copied == room && size < length) {
      // All ASCII and the destination is full: cut, not terminated.
      if (written != nullptr) *written = size;
      if (consumed != nullptr) *consumed = size;
      return kJuConvTruncated;
    }
    if (copied == static_cast<size_t>(length)) {
      if (length < size) dst[length] = 0;
      if (written != nullptr) *written = length;
      if (consumed != nullptr) *consumed = length;
      return kJuConvOk;
    }
  }
  // The pivot takes over at the first word that is not all ASCII.
  const char* in = src + copied;
  char* out = dst + copied;
  Pivot pivot;
  const int32_t result =
      convertThroughPivot(source, target, src, in, src + length, out, dst + pinCapacity(size, kIcuMaxCallBytes), pivot);
  if (result == kJuConvOk && out - dst < size) *out = 0;
  if (written != nullptr) *written = out - dst;
  if (consumed != nullptr) *consumed = in - src;
  return result;
}

// The pivot loop alone. The output ends in two zero bytes (as far as they
// fit) so that targets with two-byte units are terminated too. With `wipe`
// no converted text stays behind on the stack.
int32_t convertPivotOnly(char* dst, int64_t size, const char* src, int64_t length, int64_t* written, int64_t* consumed,
                         UConverter* source, UConverter* target, bool wipe) {
  startConversion(source, target);
  const char* in = src;
  char* out = dst;
  Pivot pivot;
  int32_t result = kJuConvOk;
  if (length > 0) {
    result = convertThroughPivot(source, target, src, in, src + length, out, dst + pinCapacity(size, kIcuMaxCallBytes),
                                 pivot);
  }
  if (wipe) juMemZero(pivot.units, pivot.filled * sizeof pivot.units[0]);
  if (result == kJuConvOk) {
    for (int64_t i = out - dst; i < size && i < out - dst + 2; ++i) dst[i] = 0;
  }
  if (written != nullptr) *written = out - dst;
  if (consumed != nullptr) *consumed = in - src;
  return result;
}

}  // namespace

int32_t juConvCodePage(char* dst, int64_t size, const char* src, int64_t length, int64_t* written, int64_t* consumed,
                       UConverter* source, UConverter* target) {
  if (!argumentsUsable(dst, size, src, length, source, target)) return kJuConvFailed;
  return convertCodePage(dst, size, src, length, written, consumed, source, target);
}

int32_t juConvCodePageBytes(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                            int64_t* consumed, UConverter* target, UConverter* source) {
  if (!argumentsUsable(dst, size, src, length, source, target)) {
    if (written != nullptr) *written = 0;
    return kJuConvFailed;
  }
  return convertCodePage(dst, size, src, length, written, consumed, source, target);
}

int32_t juConvCodePagePivot(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                            int64_t* consumed, UConverter* source, UConverter* target) {
  if (!argumentsUsable(dst, size, src, length, source, target)) return kJuConvFailed;
  return convertPivotOnly(dst, size, src, length, written, consumed, source, target, true);
}

int32_t juConvCodePagePivot2(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                             int64_t* consumed, UConverter* source, UConverter* target) {
  if (!argumentsUsable(dst, size, src, length, source, target)) return kJuConvFailed;
  return convertPivotOnly(dst, size, src, length, written, consumed, source, target, false);
}
