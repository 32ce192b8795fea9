// The process ANSI code page over ICU: lead bytes, stepping back, case and
// conversions, for single- and double-byte Windows code pages.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/ansi.h"

namespace {

class CodePage {
 public:
  explicit CodePage(uint32_t codePage) { ok_ = platform::setAnsiCodePage(codePage); }
  ~CodePage() { platform::setAnsiCodePage(1252); }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

TEST(AnsiCodePage, DefaultsTo1252) { EXPECT_EQ(platform::ansiCodePage(), 1252u); }

TEST(AnsiCodePage, RejectsWhatIsNotASingleOrDoubleByteWindowsCodePage) {
  EXPECT_FALSE(platform::setAnsiCodePage(65001));  // UTF-8 is never the ANSI code page
  EXPECT_FALSE(platform::setAnsiCodePage(12345));
  EXPECT_EQ(platform::ansiCodePage(), 1252u);
}

struct LeadRow {
  uint32_t codePage;
  uint8_t lead;     // a lead byte
  uint8_t notLead;  // a byte that is not
};

TEST(AnsiCodePage, LeadBytesOfTheDoubleByteCodePages) {
  const LeadRow rows[] = {
      {932, 0x81, 0xA1}, {932, 0xE0, 0x7F}, {936, 0x81, 0x80}, {936, 0xFE, 0x41},
      {949, 0xB0, 0x5A}, {950, 0xA4, 0x7E}, {1252, 0x00, 0x81},
  };
  for (const LeadRow& row : rows) {
    SCOPED_TRACE(row.codePage);
    CodePage codePage(row.codePage);
    ASSERT_TRUE(codePage.ok());
    if (row.codePage != 1252) {
      EXPECT_TRUE(platform::isLeadByte(row.lead));
    }
    EXPECT_FALSE(platform::isLeadByte(row.notLead));
    EXPECT_FALSE(platform::isLeadByte('A'));
  }
}

TEST(AnsiCodePage, CharPrevStepsOverDoubleByteCharacters) {
  CodePage codePage(932);
  ASSERT_TRUE(codePage.ok());
  const char text[] = "a\x82\xA0" "b\x81\x40";  // a, hiragana A, b, ideographic space
  EXPECT_EQ(platform::charPrev(text, text + 6), text + 4);  // the ideographic space
  EXPECT_EQ(platform::charPrev(text, text + 4), text + 3);
  EXPECT_EQ(platform::charPrev(text, text + 3), text + 1);  // over the pair
  EXPECT_EQ(platform::charPrev(text, text + 2), text + 1);  // from inside it
  EXPECT_EQ(platform::charPrev(text, text + 1), text);
  EXPECT_EQ(platform::charPrev(text, text), text);
}

TEST(AnsiCodePage, PrefixesEndOnCharacterBoundaries) {
  CodePage codePage(932);
  ASSERT_TRUE(codePage.ok());
  const char text[] = "a\x82\xA0" "b\x81";  // a, hiragana A, b, a lone lead byte
  const struct {
    size_t n, limit, expected;
  } rows[] = {{5, 5, 5}, {5, 4, 4}, {5, 2, 1}, {5, 3, 3}, {3, 2, 1}, {2, 5, 2}, {5, 0, 0}, {0, 5, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.limit);
    EXPECT_EQ(platform::ansiPrefixLength(text, row.n, row.limit), row.expected);
  }
}

TEST(AnsiCodePage, UpperCasingKeepsByteLengths) {
  char latin[] = "abc\xE9\xFF\xDF";
  platform::upperInPlace(latin, 6);
  EXPECT_STREQ(latin, "ABC\xC9\x9F\xDF");  // y with diaeresis is 0x9F in 1252; sharp s stays
  EXPECT_EQ(platform::lowerByte('Q'), 'q');

  CodePage codePage(932);
  char mixed[] = "a\x82\x61z";  // the trail byte 0x61 is 'a' by itself: it must stay
  platform::upperInPlace(mixed, 4);
  EXPECT_STREQ(mixed, "A\x82\x61Z");
}

TEST(AnsiCodePage, CompareNoCase) {
  EXPECT_EQ(platform::compareAnsiNoCase("abc", "ABD"), -1);
  EXPECT_EQ(platform::compareAnsiNoCase("ABC", "abc"), 0);
  EXPECT_EQ(platform::compareAnsi("ABC", "abc"), -1);
  EXPECT_EQ(platform::compareAnsi("b", "a"), 1);
}

TEST(AnsiCodePage, ConversionsRoundTrip) {
  struct Row {
    uint32_t codePage;
    const char* bytes;
    const char16_t* units;
  };
  const Row rows[] = {
      {1252, "caf\xE9 \x80", u"caf\u00E9 \u20AC"},
      {932, "\x82\xA0\x8A\xBF", u"\u3042\u6F22"},
      {936, "\xC4\xE3\xBA\xC3", u"\u4F60\u597D"},
      {949, "\xC7\xD1", u"\uD55C"},
      {950, "\xA4\xA4", u"\u4E2D"},
      {platform::kCodePageUtf8, "\xC3\xA9\xF0\x9F\x98\x80", u"\u00E9\U0001F600"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.codePage);
    const std::u16string units(row.units);
    const int n = static_cast<int>(std::strlen(row.bytes));
    EXPECT_EQ(platform::multiByteToWide(row.codePage, row.bytes, n, nullptr, 0), static_cast<int>(units.size()));
    char16_t wide[16] = {};
    ASSERT_EQ(platform::multiByteToWide(row.codePage, row.bytes, n, wide, 16), static_cast<int>(units.size()));
    EXPECT_EQ(std::u16string(wide, units.size()), units);
    char narrow[16] = {};
    ASSERT_EQ(platform::wideToMultiByte(row.codePage, row.units, static_cast<int>(units.size()), narrow, 16), n);
    EXPECT_EQ(std::string(narrow, n), row.bytes);
  }
}

TEST(AnsiCodePage, ConversionEdges) {
  char16_t wide[4];
  // With a length of -1 the NUL is converted and counted.
  EXPECT_EQ(platform::multiByteToWide(1252, "ab", -1, wide, 4), 3);
  EXPECT_EQ(wide[2], 0);
  // Too small a destination fails rather than cutting silently.
  EXPECT_EQ(platform::multiByteToWide(1252, "abcdef", 6, wide, 4), 0);
  char narrow[4];
  EXPECT_EQ(platform::wideToMultiByte(1252, u"\u4E2Dx", 2, narrow, 4), 2);
  EXPECT_EQ(narrow[0], '?');  // no mapping in 1252
  EXPECT_EQ(platform::multiByteToWide(1252, nullptr, 1, wide, 4), 0);
  EXPECT_EQ(platform::multiByteToWide(99999, "a", 1, wide, 4), 0);  // no such code page
}

}  // namespace
