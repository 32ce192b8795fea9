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

// The pivot loop: [in, end) through the source converter into the pivot,
// and the pivot through the target converter into [out, limit). The source
// is read with flush set; the target is flushed only after the last of the
// pivot, so a surrogate pair across two fills stays one character and a
// stateful target closes its shift state once, at the end. Returns the
// result code; `in` and `out` move on, `filled` keeps the most units one fill
// of the pivot held.
int32_t convertThroughPivot(UConverter* source, UConverter* target, const char*& in, const char* end, char*& out,
                            char* limit, char16_t* pivot, size_t& filled) {
  for (;;) {
    char16_t* pivotEnd = pivot;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(source, &pivotEnd, pivot + kPivotUnits, &in, end, nullptr, true, &error);
    filled = std::max(filled, static_cast<size_t>(pivotEnd - pivot));
    // An overflow here only means the pivot is full.
    const bool more = error == U_BUFFER_OVERFLOW_ERROR;
    if (more) error = U_ZERO_ERROR;
    int32_t result = icuResult(error);
    if (result != kJuConvOk) return result;
    const char16_t* pivotIn = pivot;
    error = U_ZERO_ERROR;
    ucnv_fromUnicode(target, &out, limit, &pivotIn, pivotEnd, nullptr, !more, &error);
    result = icuResult(error);
    if (result != kJuConvOk || !more) return result;
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
  char16_t pivot[kPivotUnits];
  size_t filled = 0;
  const int32_t result = convertThroughPivot(source, target, in, src + length, out,
                                             dst + pinCapacity(size, kIcuMaxCallBytes), pivot, filled);
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
  char16_t pivot[kPivotUnits];
  size_t filled = 0;
  int32_t result = kJuConvOk;
  if (length > 0) {
    result = convertThroughPivot(source, target, in, src + length, out, dst + pinCapacity(size, kIcuMaxCallBytes),
                                 pivot, filled);
  }
  if (wipe) juMemZero(pivot, filled * sizeof pivot[0]);
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
