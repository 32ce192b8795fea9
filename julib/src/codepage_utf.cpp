// UTF-16 to and from UTF-8 over ICU's string functions, the trail-byte
// count of a UTF-8 lead byte, and upper-casing UTF-8 text in place.

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include "codepage_workers.h"
#include "julib/codepage.h"
#include "julib/cstring.h"
#include "utf8_decode.h"

using julib::internal::clearTail;
using julib::internal::finishWholeString;
using julib::internal::isIcuLength;
using julib::internal::kIcuMaxLength;
using julib::internal::pinCapacity;
using julib::internal::Utf16Pieces;

namespace {

// -3 (and ICU's own -1) mean text that runs to its terminating zero.
bool isTerminatedMarker(int64_t length) { return length == kJuNullTerminated || length == -1; }

// What a conversion to UTF-8 left in its destination: `bytes` of whole
// characters, made from the first `units` of the source.
struct Utf8Held {
  int64_t bytes = 0;
  size_t units = 0;
};

// The whole characters of [p, end) that fit in `room` bytes of UTF-8, as
// u_strToUTF8 writes them when the rest does not fit.
Utf8Held utf8Prefix(const char16_t* p, const char16_t* end, int64_t room) {
  Utf8Held prefix;
  const auto n = static_cast<int32_t>(end - p);
  for (int32_t i = 0; i < n;) {
    UChar32 c = 0;
    U16_NEXT(p, i, n, c);
    if (prefix.bytes + U8_LENGTH(c) > room) break;
    prefix.bytes += U8_LENGTH(c);
    prefix.units = static_cast<size_t>(i);
  }
  return prefix;
}

// u_strToUTF8 over text handed out in pieces that never split a pair: writes
// into `capacity` bytes of dst while they hold the output, then only counts.
// Returns the bytes the whole text needs; *error is ICU's failure, or the
// overflow error when the text needs more than `capacity`. *held, when
// given, gets what the destination holds.
int64_t utf16ToUtf8(char* dst, int32_t capacity, Utf16Pieces& pieces, UErrorCode* error, Utf8Held* held) {
  int64_t total = 0;
  while (pieces.next()) {
    const int64_t room = total < capacity ? capacity - total : 0;
    int32_t length = 0;
    UErrorCode pieceError = U_ZERO_ERROR;
    u_strToUTF8(room > 0 ? dst + total : nullptr, static_cast<int32_t>(room), &length, pieces.begin(),
                static_cast<int32_t>(pieces.end() - pieces.begin()), &pieceError);
    if (U_FAILURE(pieceError) && pieceError != U_BUFFER_OVERFLOW_ERROR) {
      *error = pieceError;
      return total + length;
    }
    if (held != nullptr && held->bytes == total) {  // nothing cut yet
      const Utf8Held piece = length <= room ? Utf8Held{length, static_cast<size_t>(pieces.end() - pieces.begin())}
                                            : utf8Prefix(pieces.begin(), pieces.end(), room);
      held->bytes += piece.bytes;
      held->units = pieces.indexOf(pieces.begin() + piece.units);
    }
    total += length;
  }
  if (total > capacity) *error = U_BUFFER_OVERFLOW_ERROR;
  return total;
}

}  // namespace

// --- UTF-16 to UTF-8 --------------------------------------------------------

int32_t juUtf16ToUtf8(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written, int swap) {
  return julib::internal::utf16ToUtf8Held(dst, size, src, length, swap, written, nullptr, nullptr);
}

int32_t julib::internal::utf16ToUtf8Held(char* dst, int64_t size, const char16_t* src, int64_t length, int swap,
                                         int64_t* needed, int64_t* heldBytes, int64_t* heldUnits) {
  if (dst == nullptr || size <= 0 || src == nullptr) return kJuConvFailed;
  if (!isTerminatedMarker(length) && !isIcuLength(length)) return kJuConvFailed;
  const size_t units = isTerminatedMarker(length) ? juWStrLen(src) : static_cast<size_t>(length);
  if (units > static_cast<size_t>(kIcuMaxLength)) return kJuConvFailed;
  const int32_t capacity = pinCapacity(size, kIcuMaxLength);
  Utf16Pieces pieces(src, units, swap != 0);
  UErrorCode error = U_ZERO_ERROR;
  Utf8Held held;
  const int64_t total = utf16ToUtf8(dst, capacity, pieces, &error, &held);
  if (needed != nullptr) *needed = total;
  if (heldBytes != nullptr) *heldBytes = held.bytes;
  if (heldUnits != nullptr) *heldUnits = static_cast<int64_t>(held.units);
  if (U_FAILURE(error)) return juMapIcuError(error);
  // Text that fills the destination leaves no room for a terminator.
  if (total == size) return kJuConvTruncated;
  dst[total] = 0;
  return kJuConvOk;
}

int32_t juUtf16ToUtf8Z(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written, int swap) {
  if (dst == nullptr || size <= 0 || (src == nullptr && length != 0)) return kJuConvFailed;
  if (length < -1 || length > kIcuMaxLength) return kJuConvFailed;
  // A four-byte character that does not fit leaves zeros behind it.
  clearTail(dst, size, 4);
  const size_t units = length < 0 ? juWStrLen(src) : static_cast<size_t>(length);
  if (units > static_cast<size_t>(kIcuMaxLength)) return kJuConvFailed;
  const int32_t capacity = pinCapacity(size - 1, kIcuMaxLength);
  Utf16Pieces pieces(src, units, swap != 0);
  UErrorCode error = U_ZERO_ERROR;
  const int64_t needed = utf16ToUtf8(dst, capacity, pieces, &error, nullptr);
  return finishWholeString(dst, capacity, needed, error, written, false);
}

// --- UTF-8 to UTF-16 --------------------------------------------------------

int32_t juUtf8ToUtf16(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written, int swap) {
  if (dst == nullptr || size <= 0 || src == nullptr) return kJuConvFailed;
  if (!isTerminatedMarker(length) && !isIcuLength(length)) return kJuConvFailed;
  const int32_t capacity = pinCapacity(size, kIcuMaxLength);
  int32_t needed = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8(dst, capacity, &needed, src, isTerminatedMarker(length) ? -1 : static_cast<int32_t>(length), &error);
  if (written != nullptr) *written = needed;
  // Text that fills the destination leaves no room for a terminator.
  const int32_t result = U_FAILURE(error) ? juMapIcuError(error) : needed == size ? kJuConvTruncated : kJuConvOk;
  if (result > kJuConvUnmappable) return result;
  const int64_t produced = julib::internal::dropHalfPair(dst, std::min(needed, capacity), needed);
  // Cut text is handed back in the asked byte order too.
  if (swap != 0) juSwapUtf16(dst, dst, static_cast<size_t>(produced));
  if (result == kJuConvOk) dst[needed] = 0;
  return result;
}

int32_t juUtf8ToUtf16Z(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written, int swap) {
  if (dst == nullptr || size <= 0 || (src == nullptr && length != 0)) return kJuConvFailed;
  if (length < -1 || length > kIcuMaxLength) return kJuConvFailed;
  // A pair that does not fit leaves zeros behind it.
  clearTail(dst, size, 2);
  const int32_t capacity = pinCapacity(size - 1, kIcuMaxLength);
  int32_t needed = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8(dst, capacity, &needed, src, static_cast<int32_t>(length), &error);
  return finishWholeString(dst, capacity, needed, error, written, swap != 0);
}

// --- UTF-8 pieces -----------------------------------------------------------

int juUtf8TrailBytes(uint8_t lead) { return static_cast<int>(julib::internal::utf8TrailCount(lead)); }

void juUtf8StrUpper(char* text) {
  if (text != nullptr) juUtf8StrNUpper(text, juStrLen(text));
}

// In place, so every character keeps its byte length: one whose upper case
// is longer or shorter in UTF-8 (U+0250 has a three-byte capital, U+0131 a
// one-byte one) stays as it is, and so do bytes that form no character.
void juUtf8StrNUpper(char* text, size_t n) {
  if (text == nullptr) return;
  auto* p = reinterpret_cast<uint8_t*>(text);
  const uint8_t* const end = p + n;
  while (p < end) {
    if (*p < 0x80) {
      if (*p >= 'a' && *p <= 'z') *p = static_cast<uint8_t>(*p - ('a' - 'A'));
      ++p;
      continue;
    }
    const julib::internal::Utf8Char c = julib::internal::decodeUtf8(p, end, false);
    if (c.status == julib::internal::Utf8Status::kOk) {
      const auto upper = static_cast<uint32_t>(u_toupper(static_cast<UChar32>(c.codePoint)));
      if (upper != c.codePoint && static_cast<uint32_t>(U8_LENGTH(upper)) == c.length) {
        juUtf8EncodeChar(reinterpret_cast<char*>(p), upper);
      }
    }
    p += c.length;
  }
}
