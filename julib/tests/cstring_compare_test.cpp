// Ordered and equality comparisons: exact, code-point order, no case, and
// UTF-16 against UTF-8.

#include <string>
#include <string_view>
#include <vector>

#include "cstring_test_util.h"
#include "julib/cstring.h"
#include "testing/ju_test.h"

namespace {

using jutest::heapBytes;
using jutest::heapText;
using jutest::heapWText;
using jutest::heapWUnits;
using jutest::hexBytes;
using jutest::hexUnits;
using jutest::ScopedCodePage;

// --- Narrow -------------------------------------------------------------------------------

TEST(StrNCompare, SixteenBitOrder) {
  struct Row {
    std::string_view a;
    std::string_view b;
    int16_t expected;
  };
  const Row rows[] = {
      {"ab", "abc", -1}, {"abc", "ab", 1}, {"ab", "ab", 0}, {"", "", 0},
      {"\x80", "\x7F", 1}, {"abd", "abc", 1}, {std::string_view("a\0b", 3), std::string_view("a\0c", 3), -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(hexBytes(row.a) + " / " + hexBytes(row.b));
    auto a = heapBytes(row.a);
    auto b = heapBytes(row.b);
    EXPECT_EQ(juStrNCompare(a.get(), row.a.size(), b.get(), row.b.size()), row.expected);
  }
  EXPECT_EQ(static_cast<uint16_t>(juStrNCompare("ab", 2, "abc", 3)), 0xFFFF);
}

TEST(StrICompare, UpperCasedBytesAndExactDoubleByteCharacters) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view a;
    std::string_view b;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {"abc", "ABD", -1, "case ignored, then order"},
      {"abc", "ABC", 0, "equal but for case"},
      {"[", "a", 1, "compared upper-cased: 'A' is below '['"},
      {"a", "", 1, "ended text is less"},
      {"", "", 0, "both empty"},
      {"\x82\xA0", "\x82\xA1", -1, "double-byte characters exactly"},
      {"\x83\x61", "\x83\x41", 1, "trail bytes are not case-folded"},
      {"\x83", "\x83", 0, "lead bytes cut by the terminators"},
      {"\x83", "\x83\x41", -1, "lead byte cut by the terminator of a"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto a = heapText(row.a);
    auto b = heapText(row.b);
    EXPECT_EQ(juStrICompare(a.get(), b.get()), row.expected);
    EXPECT_EQ(juStrIEqual(a.get(), b.get()), row.expected == 0 ? 1 : 0);
    // The counted forms read only their counts.
    auto ca = heapBytes(row.a);
    auto cb = heapBytes(row.b);
    EXPECT_EQ(juStrNICompare(ca.get(), row.a.size(), cb.get(), row.b.size()), row.expected);
    EXPECT_EQ(juStrNIEqual(ca.get(), row.a.size(), cb.get(), row.b.size()), row.expected == 0 ? 1 : 0);
  }
}

TEST(StrICompare, LatinOneCaseInTheAnsiCodePage) {
  EXPECT_EQ(juStrICompare("\xE9t\xE9", "\xC9T\xC9"), 0);
  EXPECT_EQ(juStrIEqual("\xE9", "\xC9"), 1);
}

TEST(StrNICompare, CountsBoundTheWalk) {
  ScopedCodePage codePage(932);
  EXPECT_EQ(juStrNICompare("abX", 2, "ABY", 2), 0);
  EXPECT_EQ(juStrNICompare("ab", 2, "ABC", 3), -1);
  EXPECT_EQ(juStrNICompare("abc", 3, "AB", 2), 1);
  // A double-byte character cut by the count is compared by its lead byte.
  EXPECT_EQ(juStrNICompare("\x83\x61", 1, "\x83\x41", 1), 0);
  EXPECT_EQ(juStrNIEqual("abc", 3, "ABC", 2), 0);
  EXPECT_EQ(juStrNIEqual("abc", 2, "ABC", 2), 1);
}

// --- UTF-16 in code-point order ------------------------------------------------------------

TEST(WStrNCompare, CodePointOrder) {
  struct Row {
    std::u16string_view a;
    std::u16string_view b;
    int16_t expected;
    const char* note;
  };
  const Row rows[] = {
      {u"\xFFFD", u"\xD83D\xDE00", -1, "BMP sorts before a supplementary character"},
      {u"\xE000", u"\xD83D\xDE00", -1, "private use before a supplementary character"},
      {u"abc", u"abc", 0, "equal"},
      {u"ab", u"abc", -1, "ended text is less"},
      {u"", u"", 0, "both empty"},
      {u"\xD83D\xDE00", u"\xD83D\xDE01", -1, "pairs by their low units"},
      {u"\xD83D\xDE00", u"\xD83E\xDC00", -1, "pairs by their high units"},
      {u"\xD83D", u"\xFFFD", 1, "high surrogate ending the text sorts as a pair"},
      {u"\xD83D", u"\xD83D\xDC00", -1, "cut pair against the whole pair"},
      {u"\xD800" u"A", u"\x2441", 1, "lone high surrogate is no pair with the unit after it"},
      {u"\xD83D\xDE00", u"\xD83D" u"A", 1, "pair against a lone high surrogate"},
      {u"\xD83D" u"A", u"\xD83D" u"B", -1, "two lone high surrogates: the next units decide"},
      {u"\xDE00", u"\xD83D\xDE00", -1, "lone low surrogate is its own value"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto a = heapWUnits(row.a);
    auto b = heapWUnits(row.b);
    EXPECT_EQ(juWStrNCompare(a.get(), row.a.size(), b.get(), row.b.size()), row.expected);
    EXPECT_EQ(juWStrNCompare(b.get(), row.b.size(), a.get(), row.a.size()), -row.expected);
    auto bz = heapWText(row.b);
    EXPECT_EQ(juWStrNCompareZ(a.get(), row.a.size(), bz.get()), row.expected);
  }
  EXPECT_EQ(static_cast<uint16_t>(juWStrNCompare(u"a", 1, u"b", 1)), 0xFFFF);
}

TEST(WStrCompare, UnitOrder) {
  EXPECT_EQ(juWStrCompare(u"\xFFFD", u"\xD83D\xDE00"), 1);
  EXPECT_EQ(juWStrCompare(u"ab", u"abc"), -1);
  EXPECT_EQ(juWStrCompare(u"abc", u"abc"), 0);
  EXPECT_EQ(juWStrEqual(u"abc", u"abc"), 1);
  EXPECT_EQ(juWStrEqual(u"abc", u"abC"), 0);
}

// --- UTF-16 without case ---------------------------------------------------------------------

TEST(WStrICompare, ByUpperCaseCodePoints) {
  struct Row {
    std::u16string_view a;
    std::u16string_view b;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {u"abc", u"ABD", -1, "case ignored, then order"},
      {u"\x00E9t\x00E9", u"\x00C9T\x00C9", 0, "Latin-1"},
      {u"\xD801\xDC28", u"\xD801\xDC00", 0, "Deseret pair"},
      {u"[", u"a", 1, "compared upper-cased"},
      {u"ab", u"AB" u"c", -1, "ended text is less"},
      {u"\xD801", u"\xD801\xDC00", -1, "lone high surrogate is itself, below the pair"},
      {u"\xD801" u"a", u"\xD801" u"A", 0, "lone high surrogates, then case ignored"},
      {u"\xD801", u"\xE000", -1, "lone high surrogate by its own value"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto a = heapWText(row.a);
    auto b = heapWText(row.b);
    EXPECT_EQ(juWStrICompare(a.get(), b.get()), row.expected);
    EXPECT_EQ(juWStrIEqual(a.get(), b.get()), row.expected == 0 ? 1 : 0);
    auto ca = heapWUnits(row.a);
    auto cb = heapWUnits(row.b);
    EXPECT_EQ(juWStrNICompare(ca.get(), row.a.size(), cb.get(), row.b.size()), row.expected);
    EXPECT_EQ(juWStrNIEqual(ca.get(), row.a.size(), cb.get(), row.b.size()), row.expected == 0 ? 1 : 0);
    EXPECT_EQ(juWStrNICompareZ(ca.get(), row.a.size(), b.get()), row.expected);
    EXPECT_EQ(juWStrNIEqualZ(ca.get(), row.a.size(), b.get()), row.expected == 0 ? 1 : 0);
    EXPECT_EQ(juWStrNIEqualPrefix(a.get(), cb.get(), row.b.size()), row.expected == 0 ? 1 : 0);
  }
}

// Every no-case order must be antisymmetric and transitive, and only texts
// equal but for case compare equal, malformed texts included; the exact
// code-point order must at least be antisymmetric and tell texts apart.
TEST(WStrOrders, ConsistentOverMalformedText) {
  const std::vector<std::u16string> texts = {
      u"", u"a", u"A", u"b", u"\xD801", u"\xD801\xDC00", u"\xD801\xDC28", u"\xD801" u"a", u"\xD801" u"A",
      u"\xDC00", u"\xFFFD", u"\xE000", u"\xD801\xD801\xDC00", u"\xD801\xDC00\xD801", u"\x2441", u"\xD800" u"A",
  };
  auto noCase = [](const std::u16string& a, const std::u16string& b) {
    return juWStrNICompare(a.data(), a.size(), b.data(), b.size());
  };
  auto exact = [](const std::u16string& a, const std::u16string& b) {
    return static_cast<int>(juWStrNCompare(a.data(), a.size(), b.data(), b.size()));
  };
  auto upper = [](std::u16string text) {
    juWStrNUpper(text.data(), text.size());
    return text;
  };
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      SCOPED_TRACE(hexUnits(a) + " / " + hexUnits(b));
      EXPECT_EQ(noCase(a, b), -noCase(b, a));
      EXPECT_EQ(noCase(a, b) == 0, upper(a) == upper(b));
      EXPECT_EQ(exact(a, b), -exact(b, a));
      EXPECT_EQ(exact(a, b) == 0, a == b);
      EXPECT_EQ(juWStrICompare(a.c_str(), b.c_str()), noCase(a, b));
      for (const auto& c : texts) {
        if (noCase(a, b) <= 0 && noCase(b, c) <= 0) {
          EXPECT_LE(noCase(a, c), 0) << hexUnits(c);
        }
      }
    }
  }
}

// --- UTF-16 against UTF-8 ------------------------------------------------------------------------

TEST(WStrCompareUtf8, CodePointsAcrossEncodings) {
  struct Row {
    std::u16string_view a;
    std::string_view b;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {u"\x00E9", "\xC3\xA9", 0, "two-byte UTF-8"},
      {u"\x20AC", "\xE2\x82\xAC", 0, "three-byte UTF-8"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80", 0, "pair against four bytes"},
      {u"\xFFFD", "\xF0\x9F\x98\x80", -1, "BMP before supplementary"},
      {u"a", "b", -1, "ASCII"},
      {u"", "", 0, "both empty"},
      {u"a", "", 1, "b ended"},
      {u"", "a", -1, "a ended"},
      {u"\xD83D", "\xF0\x9F\x98\x80", -1, "high surrogate before the NUL makes a less"},
      {u"ab", "a\xC3", 1, "NUL inside a UTF-8 sequence makes a greater"},
      {u"a\x00E9", "a\xC3\xA8", 1, "first unequal code points decide"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto a = heapWText(row.a);
    auto b = heapText(row.b);
    EXPECT_EQ(juWStrCompareUtf8(a.get(), b.get()), row.expected);
  }
}

// --- UTF-16 equality ---------------------------------------------------------------------------------

TEST(WStrEqual, CountedAgainstTerminated) {
  struct Row {
    std::u16string_view terminated;
    std::u16string_view counted;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {u"ab", u"ab", 1, "same units"},
      {u"abc", u"ab", 0, "terminated text longer"},
      {u"a", u"ab", 0, "terminated text shorter"},
      {u"", u"", 1, "both empty"},
      {u"aB", u"ab", 0, "case counts"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto t = heapWText(row.terminated);
    auto c = heapWUnits(row.counted);
    EXPECT_EQ(juWStrNEqual(t.get(), c.get(), row.counted.size()), row.expected);
    EXPECT_EQ(juWStrNEqualZ(c.get(), row.counted.size(), t.get()), row.expected);
  }
}

TEST(WStrEqualPrefix, FirstUnits) {
  EXPECT_EQ(juWStrEqualPrefix(u"abc", u"abd", 2), 1);
  EXPECT_EQ(juWStrEqualPrefix(u"abc", u"abd", 3), 0);
  EXPECT_EQ(juWStrEqualPrefix(u"abc", u"xyz", 0), 1);
  // All n units count, zero units too: counted views that differ after a
  // zero differ.
  const char16_t a[] = {u'a', 0, u'x'};
  const char16_t b[] = {u'a', 0, u'y'};
  EXPECT_EQ(juWStrEqualPrefix(a, b, 2), 1);
  EXPECT_EQ(juWStrEqualPrefix(a, b, 3), 0);
}

TEST(WStrNIEqualPrefix, TerminatedMustEndAfterTheCount) {
  EXPECT_EQ(juWStrNIEqualPrefix(u"ab", u"ABc", 2), 1);
  EXPECT_EQ(juWStrNIEqualPrefix(u"abc", u"AB", 2), 0);
  EXPECT_EQ(juWStrNIEqualZ(u"abc", 2, u"AB"), 1);
  EXPECT_EQ(juWStrNIEqualZ(u"abc", 2, u"ABC"), 0);
}

}  // namespace
