// Copies between narrow and UTF-16 text and between UTF-16 byte orders.
// Narrowing keeps each unit's low byte; widening zero-extends each byte
// (byte-swapped: the byte becomes the unit's high byte). Each copy writes a
// terminator of the destination's width and returns its position.

#include "cstring_internal.h"
#include "julib/codepage.h"
#include "julib/cstring.h"
#include "platform/utf16.h"

#include <cstring>

using julib::internal::isHighSurrogate;
using julib::internal::swapUnit;

namespace {

inline char narrowUnit(char16_t unit) { return static_cast<char>(unit & 0xFF); }
inline char16_t widenByte(char byte) { return static_cast<char16_t>(static_cast<uint8_t>(byte)); }
inline char16_t widenByteSwapped(char byte) { return static_cast<char16_t>(static_cast<uint8_t>(byte) << 8); }

// Writes n mapped units of src and a terminator; returns the terminator.
template <typename Out, typename In, typename Map>
Out* copyMapped(Out* dst, const In* src, size_t n, Map map) {
  for (size_t i = 0; i < n; ++i) dst[i] = map(src[i]);
  dst[n] = Out{0};
  return dst + n;
}

// The same up to src's terminator.
template <typename Out, typename In, typename Map>
Out* copyMappedTerminated(Out* dst, const In* src, Map map) {
  size_t i = 0;
  for (; src[i] != In{0}; ++i) dst[i] = map(src[i]);
  dst[i] = Out{0};
  return dst + i;
}

// min(n, size - 1) mapped units and a terminator; size 0 writes nothing.
template <typename Out, typename In, typename Map>
Out* copyMappedBounded(Out* dst, size_t size, const In* src, size_t n, Map map) {
  if (size == 0) return dst;
  return copyMapped(dst, src, n < size - 1 ? n : size - 1, map);
}

}  // namespace

// --- UTF-16 to narrow --------------------------------------------------------------

char* juWStrNarrowCopy(char* dst, const char16_t* src) { return copyMappedTerminated(dst, src, narrowUnit); }

char* juWStrNNarrowCopy(char* dst, const char16_t* src, size_t n) { return copyMapped(dst, src, n, narrowUnit); }

char* juWStrNNarrowCopyBounded(char* dst, size_t size, const char16_t* src, size_t n) {
  return copyMappedBounded(dst, size, src, n, narrowUnit);
}

// --- Narrow to UTF-16 --------------------------------------------------------------

char16_t* juStrWidenCopy(char16_t* dst, const char* src) { return copyMappedTerminated(dst, src, widenByte); }

char16_t* juStrNWidenCopy(char16_t* dst, const char* src, size_t n) { return copyMapped(dst, src, n, widenByte); }

char16_t* juStrNWidenCopyBounded(char16_t* dst, size_t size, const char* src, size_t n) {
  return copyMappedBounded(dst, size, src, n, widenByte);
}

char16_t* juStrWidenCopyBounded(char16_t* dst, size_t size, const char* src) {
  if (size == 0) return dst;
  return copyMapped(dst, src, strnlen(src, size - 1), widenByte);
}

// --- UTF-16 to UTF-16 --------------------------------------------------------------

char16_t* juWStrCopy(char16_t* dst, const char16_t* src) { return juWStrNCopy(dst, src, juWStrLen(src)); }

char16_t* juWStrNCopy(char16_t* dst, const char16_t* src, size_t n) {
  if (n != 0) std::memmove(dst, src, n * sizeof(char16_t));
  dst[n] = 0;
  return dst + n;
}

char16_t* juWStrNCopyBounded(char16_t* dst, size_t size, const char16_t* src, size_t n) {
  if (size == 0) return dst;
  size_t m = n < size - 1 ? n : size - 1;
  // Half a pair is no character: a high surrogate left last goes.
  if (m != 0 && isHighSurrogate(src[m - 1])) --m;
  return juWStrNCopy(dst, src, m);
}

char16_t* juWStrCopyBounded(char16_t* dst, size_t size, const char16_t* src) {
  if (size == 0) return dst;
  size_t m = platform::utf16::unitLength(src, size - 1);
  // Only a copy that was cut (or fills the buffer) can have split a pair.
  if (m == size - 1 && m != 0 && isHighSurrogate(src[m - 1])) --m;
  return juWStrNCopy(dst, src, m);
}

// --- Byte-swapped UTF-16 ------------------------------------------------------------

char16_t* juStrWidenCopySwapped(char16_t* dst, const char* src) {
  return copyMappedTerminated(dst, src, widenByteSwapped);
}

char16_t* juWStrNCopySwapped(char16_t* dst, const char16_t* src, size_t n) {
  juSwapUtf16(dst, src, n);
  dst[n] = 0;
  return dst + n;
}

char16_t* juStrNWidenCopySwappedBounded(char16_t* dst, size_t size, const char* src, size_t n) {
  return copyMappedBounded(dst, size, src, n, widenByteSwapped);
}

char16_t* juWStrNCopySwappedBounded(char16_t* dst, size_t size, const char16_t* src, size_t n) {
  return copyMappedBounded(dst, size, src, n, swapUnit);
}
