// Code-page helpers: lengths, the UTF-16 copy, code-point encoding and
// byte swapping.

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <string>
#include <vector>

#include "julib/codepage.h"
#include "julib/internal/fault.h"
#include "julib/object.h"
#include "testing/ju_test.h"

namespace {

TEST(Lengths, UnitsBeforeTheFirstZero) {
  EXPECT_EQ(juWStrLen(u""), 0u);
  EXPECT_EQ(juWStrLen(u"ab\xD83D\xDE00"), 4u);
  EXPECT_EQ(juWStrLen(nullptr), 0u);
  EXPECT_EQ(juWStrNLen(u"abc", 2), 2u);
  EXPECT_EQ(juWStrNLen(u"abc", 3), 3u);
  EXPECT_EQ(juWStrNLen(u"abc", 4), 3u);
  EXPECT_EQ(juWStrNLen(u"abc", 0), 0u);
  EXPECT_EQ(juWStrNLen(nullptr, 5), 0u);
  const char16_t unterminated[2] = {u'a', u'b'};
  EXPECT_EQ(juWStrNLen(unterminated, 2), 2u);
  EXPECT_EQ(juU32StrLen(U"a\U0001F600c"), 3u);
  EXPECT_EQ(juU32StrLen(U""), 0u);
}

class WStrDup : public jutest::JuTest {};

TEST_F(WStrDup, CopyWithTwoZeroUnits) {
  char16_t* copy = juWStrDup(u"a\xD83D\xDE00");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"a\xD83D\xDE00");
  EXPECT_EQ(copy[3], 0);
  EXPECT_EQ(copy[4], 0);
  juFree(copy);
  copy = juWStrDup(u"");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy[0], 0);
  EXPECT_EQ(copy[1], 0);
  juFree(copy);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(WStrDup, OutOfMemory) {
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(juWStrDup(u"abc"), nullptr);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

TEST(CodePointToUtf16, UnitsPacked) {
  struct Row {
    uint32_t codePoint;
    uint32_t expected;
  };
  const Row rows[] = {
      {0x41, 0x41},           {0xFFFF, 0xFFFF},       {0x10000, 0xDC00D800},
      {0x1F600, 0xDE00D83D},  {0x10FFFF, 0xDFFFDBFF}, {0x110000, 0},
      {0xFFFFFFFF, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.codePoint);
    EXPECT_EQ(juCodePointToUtf16(row.codePoint), row.expected);
  }
}

// Every code point against ICU's encoders.
TEST(CodePointEncoding, AgreesWithIcuEverywhere) {
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    uint8_t expected[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(expected, n, c);
    char bytes[5] = {'#', '#', '#', '#', '#'};
    const char* end = juUtf8EncodeChar(bytes, c);
    ASSERT_EQ(end - bytes, n) << std::hex << c;
    ASSERT_EQ(std::string(bytes, n), std::string(reinterpret_cast<char*>(expected), n)) << std::hex << c;
    ASSERT_EQ(bytes[n], '#');
    uint32_t packed = 0;
    for (int32_t i = n - 1; i >= 0; --i) packed = (packed << 8) | expected[i];
    ASSERT_EQ(juCodePointToUtf8Packed(c), packed) << std::hex << c;

    UChar units[2];
    int32_t m = 0;
    U16_APPEND_UNSAFE(units, m, c);
    const uint32_t utf16 = m == 1 ? units[0] : (units[0] | (static_cast<uint32_t>(units[1]) << 16));
    ASSERT_EQ(juCodePointToUtf16(c), utf16) << std::hex << c;
  }
  EXPECT_EQ(juCodePointToUtf8Packed(0xE9), 0xA9C3u);
  EXPECT_EQ(juCodePointToUtf8Packed(0x7F), 0x7Fu);
}

TEST(SwapUtf16, EveryAlignmentAndLength) {
  std::vector<char16_t> source(48);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char16_t>(0x0102 * (i + 1) + 0x3000);
  for (size_t srcOffset = 0; srcOffset < 4; ++srcOffset) {
    for (size_t dstOffset = 0; dstOffset < 4; ++dstOffset) {
      for (size_t n = 0; n <= 19; ++n) {
        SCOPED_TRACE(testing::Message() << srcOffset << "," << dstOffset << " n=" << n);
        std::vector<char16_t> dst(24, u'#');
        juSwapUtf16(dst.data() + dstOffset, source.data() + srcOffset, n);
        for (size_t i = 0; i < dst.size(); ++i) {
          const bool inside = i >= dstOffset && i < dstOffset + n;
          const char16_t unit = inside ? source[srcOffset + i - dstOffset] : u'#';
          const char16_t expected = inside ? static_cast<char16_t>((unit << 8) | (unit >> 8)) : u'#';
          ASSERT_EQ(dst[i], expected) << i;
        }
        // In place gives the same, and swapping twice restores the text.
        std::vector<char16_t> inPlace(source.begin() + srcOffset, source.begin() + srcOffset + n);
        juSwapUtf16(inPlace.data(), inPlace.data(), n);
        EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.end(), dst.begin() + dstOffset));
        juSwapUtf16(inPlace.data(), inPlace.data(), n);
        EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.end(), source.begin() + srcOffset));
      }
    }
  }
}

}  // namespace
