// Small pieces shared by the code-page conversions and their callers: UTF-16
// and 32-bit lengths, a UTF-16 copy, code-point encoding and byte swapping.

#include "julib/codepage.h"
#include "julib/object.h"
#include "checked_sizes.h"
#include "platform/utf16.h"

#include <cstring>

size_t juWStrLen(const char16_t* text) { return platform::utf16::unitLength(text); }

size_t juWStrNLen(const char16_t* text, size_t maximum) { return platform::utf16::unitLength(text, maximum); }

size_t juU32StrLen(const char32_t* text) {
  if (text == nullptr) return 0;
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

char16_t* juWStrDup(const char16_t* text) {
  if (text == nullptr) return nullptr;
  const size_t length = juWStrLen(text);
  // The text and two zero units.
  size_t bytes;
  if (!julib::internal::arraySize(&bytes, length, 2, 4)) return nullptr;
  auto* copy = static_cast<char16_t*>(juMallocChecked(bytes));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, 2 * length);
  copy[length] = 0;
  copy[length + 1] = 0;
  return copy;
}

uint32_t juCodePointToUtf16(uint32_t codePoint) {
  if (codePoint < 0x10000) return codePoint;
  if (codePoint > 0x10FFFF) return 0;
  const uint32_t lead = platform::utf16::highSurrogateOf(codePoint);
  const uint32_t trail = platform::utf16::lowSurrogateOf(codePoint);
  return lead | (trail << 16);
}

char* juUtf8EncodeChar(char* dst, uint32_t codePoint) { return dst + platform::utf16::encodeUtf8(codePoint, dst); }

uint32_t juCodePointToUtf8Packed(uint32_t codePoint) {
  char bytes[4] = {};
  const char* end = juUtf8EncodeChar(bytes, codePoint);
  uint32_t packed = 0;
  for (const char* p = end; p != bytes;) {
    --p;
    packed = (packed << 8) | static_cast<uint8_t>(*p);
  }
  return packed;
}

namespace {

template <typename Word>
Word swapBytePairs(Word w) {
  constexpr Word kLow = static_cast<Word>(0x00FF00FF00FF00FFull);
  return static_cast<Word>(((w & kLow) << 8) | ((w >> 8) & kLow));
}

// Swaps whole words while at least one is left; returns the units done.
template <typename Word>
size_t swapWords(char16_t* dst, const char16_t* src, size_t n) {
  constexpr size_t kUnits = sizeof(Word) / sizeof(char16_t);
  size_t i = 0;
  for (; i + kUnits <= n; i += kUnits) {
    Word w;
    std::memcpy(&w, src + i, sizeof w);
    w = swapBytePairs(w);
    std::memcpy(dst + i, &w, sizeof w);
  }
  return i;
}

}  // namespace

void juSwapUtf16(char16_t* dst, const char16_t* src, size_t n) {
  const uintptr_t both = reinterpret_cast<uintptr_t>(dst) | reinterpret_cast<uintptr_t>(src);
  size_t done = 0;
  if ((both & 7) == 0) {
    done = swapWords<uint64_t>(dst, src, n);
  } else if ((both & 3) == 0) {
    done = swapWords<uint32_t>(dst, src, n);
  }
  for (size_t i = done; i < n; ++i) dst[i] = static_cast<char16_t>((src[i] << 8) | (src[i] >> 8));
}
