// Searches in narrow and UTF-16 text.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "platform/ansi.h"
#include "testing/ju_test.h"

namespace {

using Kind = JuCodePageKind;
constexpr Kind kAnsi = Kind::kAnsi;
constexpr Kind kUtf8 = Kind::kUtf8;
constexpr Kind kBytes = Kind::kBytes;
constexpr ptrdiff_t kNone = -1;

using jutest::ScopedCodePage;

template <typename Unit>
ptrdiff_t offsetOf(const Unit* found, const Unit* text) {
  return found == nullptr ? kNone : found - text;
}

// Text that lives in a block of exactly its size, so that AddressSanitizer
// catches any read past a counted length.
class ExactBlock {
 public:
  explicit ExactBlock(const std::string& bytes) : data_(new char[bytes.size()]), size_(bytes.size()) {
    std::memcpy(data_.get(), bytes.data(), bytes.size());
  }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_;
};

class SearchTest : public jutest::JuTest {};

// ---------------------------------------------------------------------------
// Narrow characters.
// ---------------------------------------------------------------------------

struct NarrowCharRow {
  uint32_t codePage;
  std::string text;  // may hold a NUL before further bytes
  char c;
  Kind kind;
  ptrdiff_t first;
  ptrdiff_t last;
  const char* note;
};

TEST_F(SearchTest, FindCharStepsWholeCharacters) {
  const NarrowCharRow rows[] = {
      {1252, "a=b=c", '=', kAnsi, 1, 3, "plain"},
      {1252, "abc", '=', kAnsi, kNone, kNone, "missing"},
      {1252, "", 'a', kAnsi, kNone, kNone, "empty"},
      {932, "\x95\\a\\", '\\', kAnsi, 3, 3, "trail byte 0x5C is not a start"},
      {1252, "\x95\\a\\", '\\', kAnsi, 1, 3, "single-byte page: every byte starts"},
      {932, "\x95\\a\\", '\\', kBytes, 3, 3, "other kinds step as the ANSI page"},
      {1252, "\xC3\xA9\xA9", '\xA9', kUtf8, 2, 2, "continuation byte inside a character"},
      {932, std::string("a\x95\0x", 4), 'x', kAnsi, kNone, kNone, "lead byte before the NUL ends the text"},
      {1252, std::string("\xE2\0xy", 4), 'y', kUtf8, kNone, kNone, "cut UTF-8 character ends the text"},
  };
  for (const NarrowCharRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    EXPECT_EQ(offsetOf(juStrFindChar(row.text.c_str(), row.c, row.kind), row.text.c_str()), row.first);
    EXPECT_EQ(offsetOf(juStrFindLastChar(row.text.c_str(), row.c, row.kind), row.text.c_str()), row.last);
    if (row.kind == kAnsi) {
      EXPECT_EQ(offsetOf(juStrFindCharAnsi(row.text.c_str(), row.c), row.text.c_str()), row.first);
    }
  }
}

struct UnquotedRow {
  uint32_t codePage;
  const char* text;
  char c;
  char q1, q2, q3;
  ptrdiff_t expected;
  const char* note;
};

TEST_F(SearchTest, FindCharUnquoted) {
  const UnquotedRow rows[] = {
      {1252, "k'a=b'=c", '=', '\'', 0, 0, 6, "equals sign inside apostrophes passed over"},
      {1252, "ab'c'd", '\'', '\'', 0, 0, 2, "c equal to a quote finds the first quote"},
      {1252, "\"a'=\"=", '=', '\'', '"', 0, 5, "a quote closes only its own stretch"},
      {1252, "{a=}=", '=', '{', '}', '\'', kNone, "'}' opens its own stretch, never closes '{'"},
      {1252, "'a=b", '=', '\'', 0, 0, kNone, "unclosed stretch"},
      {1252, "a=b", '=', 0, 0, 0, 1, "no quotes"},
      {1252, "'a'b'=", '=', '\'', 0, 0, kNone, "third quote opens again"},
      {932, "\x83|=", '=', '|', 0, 0, 2, "trail byte that looks like a quote"},
      {1252, "\x83|=", '=', '|', 0, 0, kNone, "the same bytes on a single-byte page"},
  };
  for (const UnquotedRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    EXPECT_EQ(offsetOf(juStrFindCharUnquoted(row.text, row.c, row.q1, row.q2, row.q3, kAnsi), row.text),
              row.expected);
  }
}

TEST_F(SearchTest, FindCharUnquotedStopsAtCutCharacter) {
  const char text[] = "a\xE2\0=";  // a three-byte lead cut by the NUL
  EXPECT_EQ(juStrFindCharUnquoted(text, '=', '\'', 0, 0, kUtf8), nullptr);
}

// ---------------------------------------------------------------------------
// Narrow substrings.
// ---------------------------------------------------------------------------

struct NarrowFindRow {
  uint32_t codePage;
  std::string text;
  size_t n;
  std::string pattern;
  Kind kind;
  ptrdiff_t expected;
  const char* note;
};

TEST_F(SearchTest, NFindCountedText) {
  const NarrowFindRow rows[] = {
      {1252, "abcabc", 6, "ca", kAnsi, 2, "middle"},
      {1252, "xxab", 4, "ab", kAnsi, 2, "last possible start"},
      {1252, "abc", 3, "abc", kAnsi, 0, "m = n: offset 0"},
      {1252, "xabc", 3, "abc", kAnsi, kNone, "m = n compares only offset 0"},
      {1252, "abcd", 3, "cd", kAnsi, kNone, "match would need a byte past n"},
      {1252, "abc", 2, "abc", kAnsi, kNone, "m > n"},
      {1252, "abc", 3, "", kAnsi, kNone, "m = 0"},
      {1252, "", 0, "a", kAnsi, kNone, "empty text"},
      {1252, std::string("a\0b", 3), 3, "b", kAnsi, 2, "counted text may hold NUL"},
      {932, "\x95\\\\x", 4, "\\", kAnsi, 2, "trail byte never starts a match"},
      {1252, "\x95\\\\x", 4, "\\", kAnsi, 1, "same bytes on a single-byte page"},
      {932, "\x95\\ab", 4, "\\a", kAnsi, kNone, "pattern starting on a trail byte"},
      {1252, "\xC3\xA9", 2, "\xA9", kUtf8, kNone, "continuation byte"},
  };
  for (const NarrowFindRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    const ExactBlock text(row.text.substr(0, row.n));
    EXPECT_EQ(offsetOf(juStrNFind(text.data(), row.n, row.pattern.data(), row.pattern.size(), row.kind),
                       text.data()),
              row.expected);
  }
}

TEST_F(SearchTest, FindTerminatedText) {
  const char* text = "one two three";
  EXPECT_EQ(offsetOf(juStrFind(text, "two", kAnsi), text), 4);
  EXPECT_EQ(juStrFind(text, "", kAnsi), nullptr);
  EXPECT_EQ(juStrFind(text, "three!", kAnsi), nullptr);
}

struct EitherRow {
  uint32_t codePage;
  std::string text;
  std::string form1;
  std::string form2;
  Kind kind;
  ptrdiff_t expected;
  const char* note;
};

TEST_F(SearchTest, NFindEitherForm) {
  const EitherRow rows[] = {
      {1252, "xAbC", "abc", "ABC", kAnsi, 1, "each byte from either form"},
      {1252, "xAbD", "abc", "ABC", kAnsi, kNone, "one byte in neither"},
      {1252, "ab", "abc", "ABC", kAnsi, kNone, "m > n"},
      {1252, "abc", "", "", kAnsi, kNone, "empty forms find nothing"},
      {932, "\x95\\", "\\", "\\", kBytes, 1, "raw bytes: a trail byte starts"},
      {932, "\x95\\", "\\", "\\", kAnsi, kNone, "ANSI: only one-byte characters start"},
      {1252, "\xC3\xA9", "\xA9", "\xA9", kUtf8, kNone, "UTF-8 continuation byte"},
      {1252, "\xC3\xA9" "a", "a", "A", kUtf8, 2, "after a two-byte character"},
  };
  for (const EitherRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    ASSERT_EQ(row.form1.size(), row.form2.size());
    const ExactBlock text(row.text);
    EXPECT_EQ(offsetOf(juStrNFindEitherForm(text.data(), text.size(), row.form1.data(), row.form2.data(),
                                            row.form1.size(), row.kind),
                       text.data()),
              row.expected);
  }
}

TEST_F(SearchTest, NIFindIgnoresCase) {
  const NarrowFindRow rows[] = {
      {1252, "setup.exe /sILENTinSTALL", 24, "SilentInstall", kAnsi, 11, "mixed case in the text"},
      {1252, "setup.exe silentinstall", 23, "SILENTINSTALL", kAnsi, 10, "upper-case pattern"},
      {1252, "setup.exe SilentInstal", 22, "SilentInstall", kAnsi, kNone, "one letter short"},
      {1252, "x\xE9t\xE9", 4, "\xC9T\xC9", kAnsi, 1, "Latin-1 letters by the page's case table"},
      {1252, "\xC4\x9A", 2, "\xC4\x8A", kAnsi, 0, "0x9A and 0x8A are a case pair on page 1252"},
      {1252, "\xC4\x9A", 2, "\xC4\x8A", kUtf8, kNone, "U+011A and U+010A are different letters"},
      {1252, "\xE9\x80\x80", 3, "\x80", kUtf8, kNone, "never a start inside a UTF-8 character"},
      {1252, "\xC3\x89" "coLE", 6, "cole", kUtf8, 2, "ASCII letters of UTF-8 text"},
      {932, "\x82\x61" "a", 3, "A", kAnsi, 2, "trail byte 'a' is neither changed nor a start"},
      {1252, "abcd", 3, "CD", kAnsi, kNone, "match would need a byte past n"},
      {1252, "abc", 3, "", kAnsi, kNone, "m = 0"},
  };
  for (const NarrowFindRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    const ExactBlock text(row.text.substr(0, row.n));
    EXPECT_EQ(offsetOf(juStrNIFind(text.data(), row.n, row.pattern.data(), row.pattern.size(), row.kind),
                       text.data()),
              row.expected);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(SearchTest, IFindAndNIFindZ) {
  const char* text = "prog.exe ReplaceInstall SILENTINSTALL";
  EXPECT_EQ(offsetOf(juStrIFind(text, "silentinstall", kAnsi), text), 24);
  EXPECT_EQ(offsetOf(juStrNIFindZ(text, 23, "REPLACEINSTALL", kAnsi), text), 9);
  EXPECT_EQ(juStrNIFindZ(text, 22, "REPLACEINSTALL", kAnsi), nullptr);
}

TEST_F(SearchTest, NIFindOutOfMemoryGivesNull) {
  for (uint64_t nth = 1; nth <= 2; ++nth) {
    SCOPED_TRACE(nth);
    jutest::ScopedErrorList errors;
    julib::internal::failAllocation(nth, false);
    EXPECT_EQ(juStrIFind("abc", "B", kAnsi), nullptr);
    EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
  }
}

// ---------------------------------------------------------------------------
// UTF-16 characters.
// ---------------------------------------------------------------------------

struct WideCharRow {
  std::u16string text;
  size_t n;
  char16_t c;
  ptrdiff_t expected;
  const char* note;
};

TEST_F(SearchTest, WideFindCharCounted) {
  const WideCharRow rows[] = {
      {u"abc", 3, u'c', 2, "last unit"},
      {u"abc", 2, u'c', kNone, "beyond n"},
      {u"abc", 0, u'a', kNone, "n = 0"},
      {std::u16string(u"a\0b", 3), 3, u'b', 2, "counted text may hold NUL"},
      {u"\xD83D\xDE00\xDE00", 3, 0xDE00, 2, "low half of a pair never matches"},
      {u"\xD83D\xDE00", 2, 0xD83D, kNone, "high half never matches"},
      {u"a\xD800", 2, 0xD800, kNone, "high surrogate in the last unit ends"},
      {u"\xD800x", 1, u'x', kNone, "pair cut by n"},
  };
  for (const WideCharRow& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(offsetOf(juWStrNFindChar(row.text.data(), row.n, row.c), row.text.data()), row.expected);
  }
}

TEST_F(SearchTest, WideFindCharTerminated) {
  const char16_t pair[] = {0xD83D, 0xDE00, 0xDE00, 0};
  EXPECT_EQ(offsetOf(juWStrFindChar(pair, 0xDE00), pair), 2);
  const char16_t cut[] = {u'a', 0xD800, 0, u'x', 0};
  EXPECT_EQ(juWStrFindChar(cut, 0xD800), nullptr);
  EXPECT_EQ(juWStrFindChar(cut, u'x'), nullptr);
  EXPECT_EQ(juWStrFindChar(u"", u'a'), nullptr);
}

TEST_F(SearchTest, WideFindLastChar) {
  const WideCharRow rows[] = {
      {u"a.b.c", 5, u'.', 3, "last of two"},
      {u"a.b.c", 3, u'.', 1, "within n"},
      {u"abc", 3, u'.', kNone, "missing"},
      {u"abc", 0, u'a', kNone, "n = 0"},
      {u".\xD83D\xDE00", 3, 0xD83D, kNone, "a pair is passed whole"},
      {u".\xD83D\xDE00", 3, u'.', 0, "found before a pair"},
      {u"\xDC00", 1, 0xDC00, kNone, "low surrogate as the only unit"},
  };
  for (const WideCharRow& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(offsetOf(juWStrNFindLastChar(row.text.data(), row.n, row.c), row.text.data()), row.expected);
  }
}

TEST_F(SearchTest, WideFindCharUnquoted) {
  const char16_t* text = u"k'a=b'=c";
  EXPECT_EQ(offsetOf(juWStrFindCharUnquoted(text, u'=', u'\'', 0, 0), text), 6);
  EXPECT_EQ(offsetOf(juWStrFindCharUnquoted(text, u'\'', u'\'', 0, 0), text), 1);
  const char16_t* quoted = u"\"a'=\"=";
  EXPECT_EQ(offsetOf(juWStrFindCharUnquoted(quoted, u'=', u'\'', u'"', 0), quoted), 5);
  const char16_t pair[] = {0xD83D, 0xDE00, u'=', 0};
  EXPECT_EQ(juWStrFindCharUnquoted(pair, 0xDE00, 0, 0, 0), nullptr);
  EXPECT_EQ(offsetOf(juWStrFindCharUnquoted(pair, u'=', 0xDE00, 0, 0), pair), 2);
  EXPECT_EQ(juWStrFindCharUnquoted(u"'a=", u'=', u'\'', 0, 0), nullptr);
}

TEST_F(SearchTest, WideFindAnyOf) {
  const char16_t* text = u"abc;d,e";
  EXPECT_EQ(offsetOf(juWStrNFindAnyOf(text, 7, u",;"), text), 3);
  EXPECT_EQ(juWStrNFindAnyOf(text, 3, u",;"), nullptr);
  const char16_t withNul[] = {u'a', 0, u'b'};
  EXPECT_EQ(offsetOf(juWStrNFindAnyOf(withNul, 3, u"b"), withNul), 2);
  const char16_t pair[] = {0xD83D, 0xDE00, u'x'};
  const char16_t set[] = {0xDE00, u'x', 0};
  EXPECT_EQ(offsetOf(juWStrNFindAnyOf(pair, 3, set), pair), 2);

  const char16_t* mixed = u"x\u0141A\u00E9";
  EXPECT_EQ(offsetOf(juWStrNFindAnyOfNarrow(mixed, 4, "A"), mixed), 2);  // 0x141 is not 'A'
  EXPECT_EQ(offsetOf(juWStrNFindAnyOfNarrow(mixed, 4, "\xE9"), mixed), 3);
  EXPECT_EQ(juWStrNFindAnyOfNarrow(mixed, 2, "A"), nullptr);
  EXPECT_EQ(juWStrNFindAnyOfNarrow(withNul, 3, "c"), nullptr);
}

TEST_F(SearchTest, WideNoCaseChar) {
  const WideCharRow rows[] = {
      {u"xyzA", 4, u'a', 3, "upper-case unit for a lower-case c"},
      {u"xyza", 4, u'A', 3, "lower-case unit for an upper-case c"},
      {u"\u00E9", 1, u'\u00C9', 0, "Latin-1"},
      {u"\u0131", 1, u'i', 0, "upper case of the unit equals that of c"},
      {u"\u00DF", 1, u'\u00DF', 0, "equal without a case pair"},
      {u"xyzA", 3, u'a', kNone, "beyond n"},
      {u"\xD801\xDC28", 2, 0xDC28, kNone, "low half of a pair"},
  };
  for (const WideCharRow& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(offsetOf(juWStrNIFindChar(row.text.data(), row.n, row.c), row.text.data()), row.expected);
    if (row.n == row.text.size()) {
      EXPECT_EQ(offsetOf(juWStrIFindChar(row.text.c_str(), row.c), row.text.c_str()), row.expected);
    }
  }
}

// ---------------------------------------------------------------------------
// UTF-16 substrings.
// ---------------------------------------------------------------------------

struct WideFindRow {
  std::u16string text;
  size_t n;
  std::u16string pattern;
  ptrdiff_t expected;
  const char* note;
};

TEST_F(SearchTest, WideNFind) {
  const WideFindRow rows[] = {
      {u"abcabc", 6, u"ca", 2, "middle"},
      {u"abc", 3, u"abc", 0, "m = n"},
      {u"xabc", 3, u"abc", kNone, "m = n compares only offset 0"},
      {u"abcd", 3, u"cd", kNone, "needs a unit past n"},
      {u"abc", 3, u"", kNone, "m = 0"},
      {u"a\U0001F600b", 4, u"\U0001F600b", 1, "pattern starting with a pair"},
      {u"x\U0001F600y", 4, u"\xDE00y", kNone, "low half of a pair is not a start"},
  };
  for (const WideFindRow& row : rows) {
    SCOPED_TRACE(row.note);
    std::unique_ptr<char16_t[]> exact(new char16_t[row.n + 1]);
    std::memcpy(exact.get(), row.text.data(), row.n * sizeof(char16_t));
    EXPECT_EQ(offsetOf(juWStrNFind(exact.get(), row.n, row.pattern.data(), row.pattern.size()), exact.get()),
              row.expected);
  }
}

TEST_F(SearchTest, WideFindTerminated) {
  const char16_t* text = u"abcabc";
  EXPECT_EQ(offsetOf(juWStrFind(text, u"ca", 2), text), 2);
  EXPECT_EQ(offsetOf(juWStrFind(text, u"c", 1), text), 2);
  EXPECT_EQ(juWStrFind(text, u"c", 0), nullptr);
  const char16_t pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(juWStrFind(pair, pair, 1), nullptr);  // a high surrogate is no single character
  EXPECT_EQ(offsetOf(juWStrFind(pair, pair, 2), pair), 0);
  // A pattern that holds a NUL never matches beyond the text's terminator.
  const char16_t padded[] = {u'a', u'b', 0, u'x', 0};
  const char16_t nulPattern[] = {u'b', 0, u'x'};
  EXPECT_EQ(juWStrFind(padded, nulPattern, 3), nullptr);
  EXPECT_EQ(juWStrIFind(padded, nulPattern, 3), nullptr);
}

TEST_F(SearchTest, WideNoCaseFind) {
  const WideFindRow rows[] = {
      {u"Hello World", 11, u"WORLD", 6, "ASCII"},
      {u"une \u00E9cole", 9, u"\u00C9COLE", 4, "Latin-1 first character"},
      {u"x\U00010400X", 4, u"\U00010428x", 1, "supplementary first character: its high surrogate"},
      {u"x\U00010428y", 4, u"\U00010400Y", 1, "upper-case supplementary pattern"},
      {u"ab\U00010400", 4, u"B\U00010428", 1, "supplementary character in the rest"},
      {u"abc", 2, u"BC", kNone, "rest needs a unit past n"},
      {u"abc", 3, u"", kNone, "m = 0"},
      {u"xyzA", 4, u"a", 3, "m = 1 takes the character form"},
      {u"ab\xD800", 3, u"ZZ", kNone, "high surrogate without partner ends the search"},
  };
  for (const WideFindRow& row : rows) {
    SCOPED_TRACE(row.note);
    std::unique_ptr<char16_t[]> exact(new char16_t[row.n + 1]);
    std::memcpy(exact.get(), row.text.data(), row.n * sizeof(char16_t));
    EXPECT_EQ(offsetOf(juWStrNIFind(exact.get(), row.n, row.pattern.data(), row.pattern.size()), exact.get()),
              row.expected);
    if (row.n == row.text.size()) {
      exact[row.n] = 0;
      EXPECT_EQ(offsetOf(juWStrIFind(exact.get(), row.pattern.data(), row.pattern.size()), exact.get()),
                row.expected);
    }
  }
}

}  // namespace
