// Hexadecimal text to bytes and back, in place and in every width, and one
// 64-bit value in hexadecimal.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "julib/numbers.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;
using Bytes = std::vector<uint8_t>;
using Ids = std::vector<uint16_t>;

class Hex : public JuTest {};

// Decodes n digits into a buffer preset to 0xEE and returns the bytes up to
// the last one written (the rest must stay 0xEE).
template <typename Char>
Bytes decode(int (*convert)(uint8_t*, const Char*, size_t), const Char* digits, size_t n, int* status) {
  Bytes out(n + 4, 0xEE);
  *status = convert(out.data(), digits, n);
  while (!out.empty() && out.back() == 0xEE) out.pop_back();
  return out;
}

TEST_F(Hex, DigitsToBytes) {
  struct Row {
    const char* digits;
    int status;
    Bytes bytes;
    const char* note;
  };
  const std::vector<Row> rows = {
      {"0aFf", 0, {0x0A, 0xFF}, "both cases"},
      {"abc", 0, {0xAB, 0xC0}, "odd count: a zero low nibble"},
      {"A", 0, {0xA0}, "a single digit"},
      {"", 0, {}, "nothing"},
      {"1G", 1, {}, "the pair's second digit is bad: nothing of it is stored"},
      {"0aZ1", 1, {0x0A}, "the bytes before the bad digit stay"},
      {"0a1", 0, {0x0A, 0x10}, "odd after a pair"},
      {"0a:", 1, {0x0A}, "':' follows '9'"},
      {"0a@", 1, {0x0A}, "'@' precedes 'A'"},
      {"0a`", 1, {0x0A}, "'`' precedes 'a'"},
      {"0ag", 1, {0x0A}, "'g' follows 'f'"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    int status = -1;
    EXPECT_EQ(decode(juHexStrToBytes, row.digits, std::strlen(row.digits), &status), row.bytes);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(errors.ids(), row.status == 0 ? Ids{} : Ids{kJuMsgInvalidHex});

    // The same digits as UTF-16 and 32-bit units.
    const std::u16string wide(row.digits, row.digits + std::strlen(row.digits));
    const std::u32string wide32(row.digits, row.digits + std::strlen(row.digits));
    EXPECT_EQ(decode(juHexWStrToBytes, wide.c_str(), wide.size(), &status), row.bytes);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(decode(juHex32StrToBytes, wide32.c_str(), wide32.size(), &status), row.bytes);
    EXPECT_EQ(status, row.status);
  }
}

TEST_F(Hex, WideUnitsAreComparedWhole) {
  int status = 0;
  const char16_t wide[] = {'1', 0x0141};  // low byte 'A'
  EXPECT_EQ(decode(juHexWStrToBytes, wide, 2, &status), Bytes{});
  EXPECT_EQ(status, 1);
  const char32_t wide32[] = {'1', 0x10041, '1', 'A'};
  EXPECT_EQ(decode(juHex32StrToBytes, wide32, 4, &status), Bytes{});
  EXPECT_EQ(status, 1);
  EXPECT_EQ(errors_.ids(), (Ids{kJuMsgInvalidHex, kJuMsgInvalidHex}));
}

TEST_F(Hex, DoublingWritesTheMarkerTwiceAndCountsTheBytes) {
  struct Row {
    const char* digits;
    uint8_t marker;
    int status;
    Bytes bytes;
    const char* note;
  };
  const std::vector<Row> rows = {
      {"1B1B", 0x1B, 0, {0x1B, 0x1B, 0x1B, 0x1B}, "two markers"},
      {"1", 0x10, 0, {0x10}, "a half byte is never doubled"},
      {"1B2", 0x1B, 0, {0x1B, 0x1B, 0x20}, "marker, then a half byte"},
      {"001B00", 0x1B, 0, {0x00, 0x1B, 0x1B, 0x00}, "marker in the middle"},
      {"1B1BZZ", 0x1B, 1, {0x1B, 0x1B, 0x1B, 0x1B}, "failure after markers"},
      {"", 0x1B, 0, {}, "nothing"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const size_t n = std::strlen(row.digits);
    Bytes out(2 * n + 4, 0xEE);
    size_t count = 99;
    EXPECT_EQ(juHexStrToBytesDoubling(out.data(), row.digits, n, row.marker, &count), row.status);
    EXPECT_EQ(count, row.bytes.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + count), row.bytes);
    EXPECT_EQ(out[count], 0xEE);
  }
}

TEST_F(Hex, BytesToDigits) {
  const Bytes bytes = {0x01, 0xAB, 0xF0};
  std::string narrow(6, '#');
  EXPECT_EQ(juBytesToHexStr(narrow.data(), bytes.data(), 3), 6u);
  EXPECT_EQ(narrow, "01ABF0");
  EXPECT_EQ(juBytesToHexStrLower(narrow.data(), bytes.data(), 3), 6u);
  EXPECT_EQ(narrow, "01abf0");
  std::u16string wide(6, '#');
  EXPECT_EQ(juBytesToHexWStr(wide.data(), bytes.data(), 3), 12u);
  EXPECT_EQ(wide, u"01ABF0");
  std::u32string wide32(6, '#');
  EXPECT_EQ(juBytesToHex32Str(wide32.data(), bytes.data(), 3), 24u);
  EXPECT_EQ(wide32, U"01ABF0");
  EXPECT_EQ(juBytesToHexStr(narrow.data(), bytes.data(), 0), 0u);
}

// A buffer turned into its own hexadecimal text, over every byte value, in
// blocks of exactly the output size.
TEST_F(Hex, InPlaceExpansion) {
  Bytes all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  std::string expected;
  for (uint8_t b : all) {
    expected += "0123456789ABCDEF"[b >> 4];
    expected += "0123456789ABCDEF"[b & 15];
  }

  auto narrow = std::make_unique<char[]>(512);
  std::memcpy(narrow.get(), all.data(), 256);
  EXPECT_EQ(juBytesToHexStr(narrow.get(), reinterpret_cast<uint8_t*>(narrow.get()), 256), 512u);
  EXPECT_EQ(std::string(narrow.get(), 512), expected);

  auto wide = std::make_unique<char16_t[]>(512);
  std::memcpy(wide.get(), all.data(), 256);
  EXPECT_EQ(juBytesToHexWStr(wide.get(), reinterpret_cast<uint8_t*>(wide.get()), 256), 1024u);
  EXPECT_EQ(std::u16string(wide.get(), 512), std::u16string(expected.begin(), expected.end()));

  auto wide32 = std::make_unique<char32_t[]>(512);
  std::memcpy(wide32.get(), all.data(), 256);
  EXPECT_EQ(juBytesToHex32Str(wide32.get(), reinterpret_cast<uint8_t*>(wide32.get()), 256), 2048u);
  EXPECT_EQ(std::u32string(wide32.get(), 512), std::u32string(expected.begin(), expected.end()));

  char small[4] = {0x01, static_cast<char>(0xAB), '#', '#'};
  EXPECT_EQ(juBytesToHexStr(small, reinterpret_cast<uint8_t*>(small), 2), 4u);
  EXPECT_EQ(std::string(small, 4), "01AB");
}

// An output that starts before its input (but does not overlap it) is
// written from the front.
TEST_F(Hex, OutputBeforeTheInput) {
  char block[8] = {'#', '#', '#', '#', 0x12, 0x34, '#', '#'};
  EXPECT_EQ(juBytesToHexStr(block, reinterpret_cast<uint8_t*>(block + 4), 2), 4u);
  EXPECT_EQ(std::string(block, 4), "1234");
}

TEST_F(Hex, UInt64ToHexStr) {
  struct Row {
    uint64_t value;
    uint16_t minDigits;
    size_t size;
    const char* text;  // what the buffer holds (null: untouched)
    uint16_t made;
    const char* note;
  };
  const std::vector<Row> rows = {
      {255, 4, 8, "00FF", 4, "leading zeros to the minimum"},
      {0, 0, 8, "0", 1, "zero without a minimum"},
      {0, 3, 8, "000", 3, "zero with a minimum"},
      {0xABCDEF, 2, 8, "ABCDEF", 6, "minimum below the digits"},
      {UINT64_MAX, 0, 17, "FFFFFFFFFFFFFFFF", 16, "sixteen digits"},
      {UINT64_MAX, 16, 16, "FFFFFFFFFFFFFFF", 16, "cut to the buffer"},
      {0xABCD, 0, 3, "AB", 4, "cut keeps the most significant digits"},
      {0xABCD, 0, 1, "", 4, "size 1: only the terminator"},
      {0xABCD, 0, 0, nullptr, 4, "size 0: nothing written"},
      {0xFF, 20, 21, "000000000000000000FF", 20, "a minimum above 16"},
      {0xFF, 20, 8, "0000000", 20, "a minimum above 16, cut"},
      {1, 65535, 16, "000000000000000", 65535, "the largest minimum"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    // Exactly `size` bytes, so a write outside them is caught.
    auto buffer = std::make_unique<char[]>(row.size == 0 ? 1 : row.size);
    std::memset(buffer.get(), '#', row.size == 0 ? 1 : row.size);
    EXPECT_EQ(juUInt64ToHexStr(buffer.get(), row.size, row.value, row.minDigits), row.made);
    if (row.text == nullptr) {
      EXPECT_EQ(buffer[0], '#');
    } else {
      EXPECT_STREQ(buffer.get(), row.text);
    }
  }
}

}  // namespace
