// Helpers of the character and C-string tests: heap buffers of exactly the text's size, so that a read past the end of a
// text is caught by AddressSanitizer.
#ifndef JULIB_TESTS_CSTRING_TEST_UTIL_H
#define JULIB_TESTS_CSTRING_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "testing/ju_test.h"

namespace jutest {

// A NUL-terminated copy in a block of exactly size + 1 bytes.
inline std::unique_ptr<char[]> heapText(std::string_view text) {
  auto block = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(block.get(), text.data(), text.size());
  block[text.size()] = '\0';
  return block;
}

// A counted copy without terminator (one byte for an empty text).
inline std::unique_ptr<char[]> heapBytes(std::string_view text) {
  auto block = std::make_unique<char[]>(text.empty() ? 1 : text.size());
  std::memcpy(block.get(), text.data(), text.size());
  return block;
}

inline std::unique_ptr<char16_t[]> heapWText(std::u16string_view text) {
  auto block = std::make_unique<char16_t[]>(text.size() + 1);
  std::memcpy(block.get(), text.data(), text.size() * sizeof(char16_t));
  block[text.size()] = 0;
  return block;
}

inline std::unique_ptr<char16_t[]> heapWUnits(std::u16string_view text) {
  auto block = std::make_unique<char16_t[]>(text.empty() ? 1 : text.size());
  std::memcpy(block.get(), text.data(), text.size() * sizeof(char16_t));
  return block;
}

// Printable form of bytes for trace messages.
inline std::string hexBytes(std::string_view text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (!out.empty()) out += ' ';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

inline std::string hexUnits(std::u16string_view text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char16_t c : text) {
    if (!out.empty()) out += ' ';
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(c >> shift) & 15];
  }
  return out;
}

}  // namespace jutest

#endif  // JULIB_TESTS_CSTRING_TEST_UTIL_H
