// ASCII tests and case changes for bytes and UTF-16 units: the names,
// version texts and driver bytes the tool rewrites are compared and cased as
// ASCII, never through a code page, so a byte of a binary file is never
// taken as part of a character.
#ifndef BRAND_TEXT_ASCII_H
#define BRAND_TEXT_ASCII_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brandtext {

//   isDigit('7') -> true; isDigit(u'x') -> false
template <typename Char>
constexpr bool isDigit(Char c) {
  return c >= Char('0') && c <= Char('9');
}

//   upperAscii('a') -> 'A'; upperAscii('\xE9') -> '\xE9'
constexpr char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
constexpr char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr bool isLetter(char c) { return upperAscii(c) >= 'A' && upperAscii(c) <= 'Z'; }

// The low byte of `value` as an upper-case hexadecimal digit: 0-9 give
// "0"-"9", larger values value + 55 ("A" for 10).
constexpr char hexDigit(uint32_t value) {
  const auto low = static_cast<uint8_t>(value);
  return static_cast<char>(low <= 9 ? '0' + low : low + 55);
}

// The `n` bytes of `text` end with `tail` (exactly / ignoring ASCII case).
//   endsWith("abc.dll", 7, ".dll") -> true; endsWithNoCase("A.DLL", 5, ".dll") -> true
inline bool endsWith(const char* text, size_t n, const char* tail) {
  const size_t m = std::strlen(tail);
  return n >= m && std::memcmp(text + n - m, tail, m) == 0;
}
inline bool endsWithNoCase(const char* text, size_t n, const char* tail) {
  const size_t m = std::strlen(tail);
  if (n < m) return false;
  for (size_t i = 0; i < m; ++i) {
    if (lowerAscii(text[n - m + i]) != lowerAscii(tail[i])) return false;
  }
  return true;
}

}  // namespace brandtext

#endif  // BRAND_TEXT_ASCII_H
