// The pure UTF-16 rules: surrogates at their edges, cuts on a character
// boundary, lengths, and the short UTF-8 conversions.

#include <gtest/gtest.h>

#include <string>

#include "platform/utf16.h"

namespace {

namespace utf16 = platform::utf16;

struct SurrogateRow {
  uint32_t unit;
  bool high;
  bool low;
};

TEST(Utf16, SurrogateTestsAtTheEdgesOfTheRanges) {
  const SurrogateRow rows[] = {
      {0xD7FF, false, false}, {0xD800, true, false}, {0xDBFF, true, false},   {0xDC00, false, true},
      {0xDFFF, false, true},  {0xE000, false, false}, {0x1D800, false, false},  // a wider value is no unit
  };
  for (const SurrogateRow& row : rows) {
    SCOPED_TRACE(row.unit);
    EXPECT_EQ(utf16::isHighSurrogate(row.unit), row.high);
    EXPECT_EQ(utf16::isLowSurrogate(row.unit), row.low);
    EXPECT_EQ(utf16::isSurrogate(row.unit), row.high || row.low);
  }
}

TEST(Utf16, SupplementaryCodePointsSplitAndJoin) {
  const uint32_t rows[][3] = {{0x10000, 0xD800, 0xDC00}, {0x1F600, 0xD83D, 0xDE00}, {0x10FFFF, 0xDBFF, 0xDFFF}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(utf16::highSurrogateOf(row[0]), row[1]);
    EXPECT_EQ(utf16::lowSurrogateOf(row[0]), row[2]);
    EXPECT_EQ(utf16::joinSurrogates(row[1], row[2]), row[0]);
  }
}

struct CutRow {
  std::u16string text;
  size_t n;
  size_t atBoundary;
  size_t outsidePair;
  const char* note;
};

TEST(Utf16, CutsKeepAPairWhole) {
  const CutRow rows[] = {
      {u"abc", 2, 2, 2, "no surrogate"},
      {u"abc", 5, 3, 3, "past the end: the whole text"},
      {u"a\U0001F600b", 2, 1, 1, "between the halves of a pair"},
      {u"a\U0001F600b", 3, 3, 3, "after the pair"},
      {u"a\U0001F600", 3, 3, 3, "the pair ends the text"},
      {u"ab\xD800" u"c", 3, 2, 3, "a lone high surrogate before the cut"},
      {u"\U0001F600", 1, 0, 0, "nothing left"},
      {u"a", 0, 0, 0, "a cut at 0"},
  };
  for (const CutRow& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(utf16::cutAtCharBoundary(row.text, row.n), row.atBoundary);
    EXPECT_EQ(utf16::cutOutsidePair(row.text, row.n), row.outsidePair);
  }
}

TEST(Utf16, UnitLengthStopsAtTheTerminatorOrTheMaximum) {
  EXPECT_EQ(utf16::unitLength(nullptr), 0u);
  EXPECT_EQ(utf16::unitLength(u""), 0u);
  EXPECT_EQ(utf16::unitLength(u"a\U0001F600"), 3u);
  EXPECT_EQ(utf16::unitLength(nullptr, 4), 0u);
  EXPECT_EQ(utf16::unitLength(u"abc", 2), 2u);
  EXPECT_EQ(utf16::unitLength(u"abc", 9), 3u);
}

struct Utf8Row {
  std::string utf8;
  std::u16string utf16;
  const char* note;
};

TEST(Utf16, FromUtf8ReplacesMalformedSequences) {
  const Utf8Row rows[] = {
      {"G\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", u"G\u00FC\u20AC\U0001F600", "one to four bytes"},
      {"\xC0\xAF", u"\uFFFD\uFFFD", "a lead byte that never starts a character"},
      {"\xE0\x80\x80", u"\uFFFD", "an overlong form"},
      {"\xED\xA0\x80", u"\uFFFD", "a surrogate"},
      {"\xF4\x90\x80\x80", u"\uFFFD", "above U+10FFFF"},
      {"\xE2\x82" "a", u"\uFFFDa", "cut by an ASCII byte"},
      {"\xF0\x9F\x98", u"\uFFFD", "cut by the end"},
  };
  for (const Utf8Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(utf16::fromUtf8(row.utf8), row.utf16);
  }
}

TEST(Utf16, ToUtf8ReplacesLoneSurrogates) {
  const Utf8Row rows[] = {
      {"G\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", u"G\u00FC\u20AC\U0001F600", "one to four bytes"},
      {"a\xEF\xBF\xBD" "b", u"a\xD800" u"b", "a lone high surrogate"},
      {"\xEF\xBF\xBD\xEF\xBF\xBD", u"\xDC00\xD800", "halves in the wrong order"},
      {"\xEF\xBF\xBD", u"\xD83D", "a high surrogate at the end"},
  };
  for (const Utf8Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(utf16::toUtf8(row.utf16), row.utf8);
  }
}

}  // namespace
