// Conversions between narrow text and UTF-16 over an ICU converter the
// caller opened: streaming (one pass with flush, reporting what was used,
// cut between characters) and whole-string (terminated, reporting the full
// length needed).

#include <unicode/ucnv.h>

#include "codepage_workers.h"
#include "julib/codepage.h"

using julib::internal::clearTail;
using julib::internal::finishWholeString;
using julib::internal::fromUnicodeWholeChars;
using julib::internal::icuResult;
using julib::internal::isIcuLength;
using julib::internal::kIcuMaxCallBytes;
using julib::internal::kIcuMaxCallUnits;
using julib::internal::kIcuMaxLength;
using julib::internal::pinCapacity;
using julib::internal::toUnicodeWholeChars;
using julib::internal::Utf16Pieces;

int32_t juMapIcuError(UErrorCode error) {
  switch (error) {
    case U_ZERO_ERROR: return kJuConvOk;
    case U_STRING_NOT_TERMINATED_WARNING:
    case U_BUFFER_OVERFLOW_ERROR: return kJuConvTruncated;
    case U_ILLEGAL_CHAR_FOUND: return kJuConvUnmappable;
    case U_INVALID_TABLE_FORMAT:
    case U_INVALID_TABLE_FILE: return kJuConvBadTables;
    case U_FILE_ACCESS_ERROR: return kJuConvUnknownCodePage;
    default:
      // Warnings (an ambiguous alias, a fallback used) are not failures.
      return U_SUCCESS(error) ? kJuConvOk : kJuConvFailed;
  }
}

// --- Streaming --------------------------------------------------------------

int32_t juConvToUnicode(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                        int64_t* consumed, UConverter* source, int swap) {
  if (dst == nullptr || size <= 0 || src == nullptr || source == nullptr || !isIcuLength(length)) {
    return kJuConvFailed;
  }
  char16_t* out = dst;
  const char* in = src;
  const UErrorCode error =
      toUnicodeWholeChars(source, out, dst + pinCapacity(size, kIcuMaxCallUnits), in, src + length, true);
  const int32_t result = icuResult(error);
  const int64_t produced = out - dst;
  if (result <= kJuConvUnmappable) {
    if (produced < size) *out = 0;
    if (swap != 0) juSwapUtf16(dst, dst, static_cast<size_t>(produced));
  }
  if (written != nullptr) *written = produced;
  if (consumed != nullptr) *consumed = in - src;
  return result;
}

int32_t juConvFromUnicode(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written,
                          int64_t* consumed, UConverter* target, int swap) {
  if (dst == nullptr || size <= 0 || src == nullptr || target == nullptr || !isIcuLength(length)) {
    return kJuConvFailed;
  }
  char* out = dst;
  char* const limit = dst + pinCapacity(size, kIcuMaxCallBytes);
  UErrorCode error = U_ZERO_ERROR;
  size_t used = 0;
  // Swapped text goes to ICU piece by piece; the converter is flushed only
  // after the last piece, so a pair across two pieces stays one character.
  Utf16Pieces pieces(src, static_cast<size_t>(length), swap != 0);
  while (pieces.next()) {
    const char16_t* in = pieces.begin();
    error = fromUnicodeWholeChars(target, out, limit, in, pieces.end(), pieces.last());
    used = pieces.indexOf(in);
    if (U_FAILURE(error)) break;
  }
  if (out - dst < size) *out = 0;
  if (written != nullptr) *written = out - dst;
  if (consumed != nullptr) *consumed = static_cast<int64_t>(used);
  return icuResult(error);
}

// --- Whole strings ----------------------------------------------------------

namespace {

// ICU's length convention for the whole-string calls: -1 runs to the NUL.
bool isWholeStringLength(const void* src, int64_t length) {
  return length >= -1 && length <= kIcuMaxLength && (src != nullptr || length == 0);
}

// What ucnv_fromUChars writes, over text handed out in pieces, with flush
// after the last piece, except that a character the destination cannot hold
// whole leaves zeros rather than its first bytes. Returns the bytes written;
// *error is ICU's, the overflow error when the text was cut.
int64_t fromUnicodePieces(UConverter* target, char* dst, int32_t capacity, Utf16Pieces& pieces, UErrorCode* error) {
  char* out = dst;
  while (pieces.next()) {
    const char16_t* in = pieces.begin();
    *error = fromUnicodeWholeChars(target, out, dst + capacity, in, pieces.end(), pieces.last());
    if (U_FAILURE(*error)) break;
  }
  return out - dst;
}

// The bytes the whole text needs, converted into a scratch buffer only to
// count them.
int64_t fromUnicodeCount(UConverter* target, Utf16Pieces& pieces, UErrorCode* error) {
  char scratch[1024];
  int64_t total = 0;
  while (pieces.next()) {
    const char16_t* in = pieces.begin();
    do {
      *error = U_ZERO_ERROR;
      char* out = scratch;
      ucnv_fromUnicode(target, &out, scratch + sizeof scratch, &in, pieces.end(), nullptr, pieces.last(), error);
      total += out - scratch;
    } while (*error == U_BUFFER_OVERFLOW_ERROR);
    if (U_FAILURE(*error)) break;
  }
  return total;
}

// ucnv_fromUChars over the caller's text: writes what fits into the
// destination and returns the bytes the whole text needs, with the "not
// terminated" warning or the overflow error as u_terminateChars sets them.
// A cut text is counted again from the start, so that a stateful target's
// count does not depend on where the destination ended.
int64_t fromUnicodeWhole(UConverter* target, char* dst, int32_t capacity, const char16_t* src, size_t units, bool swap,
                         UErrorCode* error) {
  ucnv_resetFromUnicode(target);
  int64_t needed = 0;
  {
    Utf16Pieces pieces(src, units, swap);
    needed = fromUnicodePieces(target, dst, capacity, pieces, error);
  }
  if (*error == U_BUFFER_OVERFLOW_ERROR) {
    Utf16Pieces pieces(src, units, swap);
    needed = fromUnicodeCount(target, pieces, error);
    ucnv_resetFromUnicode(target);
  }
  if (U_SUCCESS(*error) && needed >= capacity) {
    *error = needed == capacity ? U_STRING_NOT_TERMINATED_WARNING : U_BUFFER_OVERFLOW_ERROR;
  }
  return needed;
}

}  // namespace

int32_t juConvToUChars(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                       UConverter* source, int swap) {
  if (dst == nullptr || size <= 0 || source == nullptr || !isWholeStringLength(src, length)) return kJuConvFailed;
  clearTail(dst, size, 2);
  const int32_t capacity = pinCapacity(size - 1, kIcuMaxCallUnits);
  UErrorCode error = U_ZERO_ERROR;
  const int32_t needed = ucnv_toUChars(source, dst, capacity, src, static_cast<int32_t>(length), &error);
  return finishWholeString(dst, capacity, needed, error, written, swap != 0);
}

int32_t juConvFromUChars(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written,
                         UConverter* target, int swap) {
  if (dst == nullptr || size <= 0 || target == nullptr || !isWholeStringLength(src, length)) return kJuConvFailed;
  clearTail(dst, size, ucnv_getMaxCharSize(target));
  const int32_t capacity = pinCapacity(size - 1, kIcuMaxCallBytes);
  const size_t units = length < 0 ? juWStrLen(src) : static_cast<size_t>(length);
  if (units > static_cast<size_t>(kIcuMaxLength)) return kJuConvFailed;
  UErrorCode error = U_ZERO_ERROR;
  const int64_t needed = fromUnicodeWhole(target, dst, capacity, src, units, swap != 0, &error);
  return finishWholeString(dst, capacity, needed, error, written, false);
}
