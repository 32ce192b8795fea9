// UTF-16 to and from UTF-8 with ICU's calling conventions, resumable: the
// destination and source pointers move past what was converted, the total
// length counts the whole text, and the output is terminated as ICU does.

#include "codepage_workers.h"
#include "julib/codepage.h"
#include "julib/cstring.h"
#include "platform/utf16.h"
#include "utf8_decode.h"

using julib::internal::decodeUtf8;
using julib::internal::isHighSurrogate;
using julib::internal::isLowSurrogate;
using julib::internal::joinSurrogates;
using julib::internal::Utf8Char;
using julib::internal::Utf8Status;

namespace {

// ICU's argument rules for both directions; sets the illegal-argument error.
template <typename Dst, typename Src>
bool argumentsUsable(Dst** dst, int32_t capacity, Src** src, int32_t srcLength, UErrorCode* error) {
  if (error == nullptr || U_FAILURE(*error)) return false;
  if (src == nullptr || *src == nullptr || srcLength < -1 || capacity < 0 || dst == nullptr ||
      (*dst == nullptr && capacity > 0)) {
    *error = U_ILLEGAL_ARGUMENT_ERROR;
    return false;
  }
  return true;
}

// One character of UTF-16 text: its code point and units, or 0 units for a
// surrogate that is not half of a pair.
struct Utf16Char {
  uint32_t codePoint;
  size_t units;
};
Utf16Char readUtf16(const char16_t* p, const char16_t* end) {
  const uint32_t unit = *p;
  if (isHighSurrogate(unit)) {
    if (p + 1 < end && isLowSurrogate(p[1])) return {joinSurrogates(unit, p[1]), 2};
    return {0, 0};
  }
  if (isLowSurrogate(unit)) return {0, 0};
  return {unit, 1};
}

uint32_t utf8Length(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

// ICU's ending of a string result: a terminator when there is room, else
// the "not terminated" warning when the text fills the room exactly, or
// the overflow error when it needs more.
template <typename Unit>
void terminateResult(Unit* dst, int32_t capacity, int64_t length, UErrorCode* error) {
  if (U_FAILURE(*error)) return;
  if (length < capacity) {
    dst[length] = 0;
    if (*error == U_STRING_NOT_TERMINATED_WARNING) *error = U_ZERO_ERROR;
  } else {
    *error = length == capacity ? U_STRING_NOT_TERMINATED_WARNING : U_BUFFER_OVERFLOW_ERROR;
  }
}

}  // namespace

char* juUtf16ToUtf8Resumable(char** dst, int32_t capacity, int32_t* totalLength, const char16_t** src,
                             int32_t srcLength, UErrorCode* error) {
  if (!argumentsUsable(dst, capacity, src, srcLength, error)) return nullptr;
  const char16_t* in = *src;
  const char16_t* const end = in + (srcLength < 0 ? juWStrLen(in) : static_cast<size_t>(srcLength));
  char* const start = *dst;
  char* out = start;
  int64_t total = 0;
  // Whole characters while they fit; the source stops before the first that
  // does not, so a later call goes on from there.
  while (in < end) {
    const Utf16Char c = readUtf16(in, end);
    if (c.units == 0) {
      *error = U_INVALID_CHAR_FOUND;
      return nullptr;
    }
    const uint32_t bytes = utf8Length(c.codePoint);
    if (total + bytes > capacity) break;
    out = juUtf8EncodeChar(out, c.codePoint);
    total += bytes;
    in += c.units;
  }
  *dst = out;
  *src = in;
  // The rest is only measured.
  while (in < end) {
    const Utf16Char c = readUtf16(in, end);
    if (c.units == 0) {
      *error = U_INVALID_CHAR_FOUND;
      return nullptr;
    }
    total += utf8Length(c.codePoint);
    in += c.units;
  }
  if (total > INT32_MAX) {
    // The length would not fit the result.
    *error = U_INDEX_OUTOFBOUNDS_ERROR;
    return nullptr;
  }
  if (totalLength != nullptr) *totalLength = static_cast<int32_t>(total);
  terminateResult(start, capacity, total, error);
  return start;
}

char16_t* juUtf8ToUtf16Resumable(char16_t** dst, int32_t capacity, int32_t* totalLength, const char** src,
                                 int32_t srcLength, UErrorCode* error) {
  if (!argumentsUsable(dst, capacity, src, srcLength, error)) return nullptr;
  size_t n = static_cast<size_t>(srcLength);
  if (srcLength < 0) {
    n = juStrLen(*src);
    if (n > INT32_MAX) {
      *error = U_ILLEGAL_ARGUMENT_ERROR;
      return nullptr;
    }
  }
  const auto* in = reinterpret_cast<const uint8_t*>(*src);
  const uint8_t* const end = in + n;
  char16_t* const start = *dst;
  char16_t* out = start;
  Utf8Status stop = Utf8Status::kOk;  // what ended the text early, if anything
  // Whole characters while they fit: a supplementary character is never
  // split, so the source can stop before it and a later call go on.
  while (in < end) {
    const Utf8Char c = *in < 0x80 ? Utf8Char{*in, 1, Utf8Status::kOk} : decodeUtf8(in, end, true);
    if (c.status != Utf8Status::kOk) {
      stop = c.status;
      break;
    }
    const int32_t units = c.codePoint > 0xFFFF ? 2 : 1;
    if (out - start + units > capacity) break;
    if (units == 1) {
      *out++ = static_cast<char16_t>(c.codePoint);
    } else {
      *out++ = platform::utf16::highSurrogateOf(c.codePoint);
      *out++ = platform::utf16::lowSurrogateOf(c.codePoint);
    }
    in += c.length;
  }
  *dst = out;
  *src = reinterpret_cast<const char*>(in);
  int64_t total = out - start;
  // The rest is only measured.
  for (const uint8_t* p = in; stop == Utf8Status::kOk && p < end;) {
    const Utf8Char c = *p < 0x80 ? Utf8Char{*p, 1, Utf8Status::kOk} : decodeUtf8(p, end, true);
    if (c.status != Utf8Status::kOk) {
      stop = c.status;
      break;
    }
    total += c.codePoint > 0xFFFF ? 2 : 1;
    p += c.length;
  }
  // An ill-formed sequence fails; one that the end of the text cuts short is
  // left for a call that has the rest of it.
  if (stop == Utf8Status::kInvalid) {
    *error = U_INVALID_CHAR_FOUND;
    return nullptr;
  }
  if (totalLength != nullptr) *totalLength = static_cast<int32_t>(total);
  terminateResult(start, capacity, total, error);
  if (stop == Utf8Status::kTruncated) *error = U_TRUNCATED_CHAR_FOUND;
  return start;
}
