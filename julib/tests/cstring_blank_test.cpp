// Blank tests, the UTF-8 character count and case mapping of whole UTF-16
// strings.

#include <string>
#include <string_view>

#include "cstring_test_util.h"
#include "julib/cstring.h"
#include "testing/ju_test.h"

namespace {

using jutest::heapText;
using jutest::heapWText;
using jutest::hexUnits;
using jutest::ScopedCodePage;

constexpr JuCodePageKind kAnsi = JuCodePageKind::kAnsi;
constexpr JuCodePageKind kUtf8 = JuCodePageKind::kUtf8;

TEST(StrIsBlank, RuntimeSpacesAndTheIdeographicSpace) {
  EXPECT_EQ(juStrIsBlank(" "), 1);
  EXPECT_EQ(juStrIsBlank("\t"), 1);
  EXPECT_EQ(juStrIsBlank("\r"), 1);
  EXPECT_EQ(juStrIsBlank("a"), 0);
  EXPECT_EQ(juStrIsBlank(""), 0);
  EXPECT_EQ(juStrIsBlank("\xA0"), 0);  // no-break space is not a runtime space
  EXPECT_EQ(juStrIsBlankAt("ab c", 2), 1);
  // 0x81 0x40 is a space only where 0x81 is a lead byte.
  EXPECT_EQ(juStrIsBlank("\x81\x40"), 0);
  ScopedCodePage codePage(932);
  EXPECT_EQ(juStrIsBlank("\x81\x40"), 1);
  EXPECT_EQ(juStrIsBlank("\x81\x41"), 0);
}

TEST(StrSkipBlanks, StepsWholeCharacters) {
  EXPECT_EQ(juStrSkipBlanks(nullptr, kAnsi), nullptr);
  const char plain[] = " \t x ";
  EXPECT_EQ(juStrSkipBlanks(plain, kAnsi), plain + 3);
  const char all[] = "   ";
  EXPECT_EQ(juStrSkipBlanks(all, kAnsi), all + 3);
  ScopedCodePage codePage(932);
  const char ideographic[] = " \x81\x40\x83\x5C";
  EXPECT_EQ(juStrSkipBlanks(ideographic, kAnsi), ideographic + 3);
  EXPECT_EQ(juStrSkipBlanks(" \xC3\xA9", kUtf8)[0], '\xC3');
}

TEST(WStrWhitespace, CodePointsAndSwappedUnits) {
  struct Row {
    std::u16string_view text;
    int plain;
    int swapped;
    const char* note;
  };
  const Row rows[] = {
      {u" ", 1, 1, "space; swapped it is U+2000, a space too"},
      {u"\x0900", 0, 1, "swapped it is a tab"},
      {u"\x0009", 1, 0, "tab; swapped it is U+0900"},
      {u"\x3000", 1, 0, "ideographic space; swapped it is '0'"},
      {u"a", 0, 0, "letter"},
      {u"\xD800\x0C00", 0, 0, "lone high surrogate is not joined into U+3000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapWText(row.text);
    EXPECT_EQ(juWStrIsWhitespace(text.get()), row.plain);
    EXPECT_EQ(juWStrIsWhitespaceSwapped(text.get()), row.swapped);
  }
  const char16_t skip[] = u"\x3000 \x2003x";
  EXPECT_EQ(juWStrSkipWhitespace(skip), skip + 3);
  EXPECT_EQ(juWStrSkipWhitespace(nullptr), nullptr);
  const char16_t blanks[] = u"  ";
  EXPECT_EQ(juWStrSkipWhitespace(blanks), blanks + 2);
}

TEST(StrIsCharAt, TrailBytesAreNotCharacters) {
  const char text[] = "\x83\x5C" "a\\";
  EXPECT_EQ(juStrIsCharAt(text, text + 1, '\\'), 1);  // 1252: a backslash
  ScopedCodePage codePage(932);
  EXPECT_EQ(juStrIsCharAt(text, text + 1, '\\'), 0);
  EXPECT_EQ(juStrIsCharAt(text, text + 3, '\\'), 1);
  EXPECT_EQ(juStrIsCharAt(text, text + 2, 'b'), 0);
}

TEST(Utf8NCharCount, WholeCharactersOnly) {
  struct Row {
    std::string_view text;
    size_t n;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"", 0, 0, "empty"},
      {"a\xC3\xA9", 3, 2, "ASCII and two bytes"},
      {"a\xC3\xA9", 2, 1, "two-byte character cut"},
      {"\x80\x80", 2, 1, "continuation byte counts as two"},
      {"\x80", 1, 0, "continuation byte cut"},
      {"\xE2\x82\xAC", 3, 1, "three bytes"},
      {"\xF0\x9F\x98\x80", 3, 0, "four-byte character cut"},
      {"\xF0\x9F\x98\x80", 4, 1, "four bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = jutest::heapBytes(row.text.substr(0, row.n));
    EXPECT_EQ(juUtf8NCharCount(text.get(), row.n), row.expected);
  }
}

TEST(WStrCase, InPlaceByCodePoint) {
  struct Row {
    std::u16string_view text;
    std::u16string_view lower;
    std::u16string_view upper;
    const char* note;
  };
  const Row rows[] = {
      {u"AbC\x00C0\x00FF", u"abc\x00E0\x00FF", u"ABC\x00C0\x0178", "Latin-1"},
      {u"\xD801\xDC00\xD801\xDC28", u"\xD801\xDC28\xD801\xDC28", u"\xD801\xDC00\xD801\xDC00", "Deseret pairs"},
      {u"a\xD801", u"a\xD801", u"A\xD801", "high surrogate before the NUL left alone"},
      {u"\xD801" u"a", u"\xD801" u"a", u"\xD801" u"A", "lone high surrogate: the next unit stays itself"},
      {u"\xDC00" u"a", u"\xDC00" u"a", u"\xDC00" u"A", "lone low surrogate"},
      {u"\x00DF", u"\x00DF", u"\x00DF", "sharp s keeps its length"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto lower = heapWText(row.text);
    juWStrLower(lower.get());
    EXPECT_EQ(hexUnits(lower.get()), hexUnits(row.lower));
    auto upper = heapWText(row.text);
    juWStrUpper(upper.get());
    EXPECT_EQ(hexUnits(upper.get()), hexUnits(row.upper));
  }
}

TEST(WStrCase, CountedUpper) {
  auto text = heapWText(u"ab\xD801\xDC28" u"c");
  juWStrNUpper(text.get(), 4);
  EXPECT_EQ(hexUnits(text.get()), hexUnits(u"AB\xD801\xDC00" u"c"));
  // A high surrogate that is the last counted unit is mapped alone.
  auto cut = heapWText(u"a\xD801\xDC28");
  juWStrNUpper(cut.get(), 2);
  EXPECT_EQ(hexUnits(cut.get()), hexUnits(u"A\xD801\xDC28"));
  juWStrNUpper(cut.get(), 0);
  EXPECT_EQ(hexUnits(cut.get()), hexUnits(u"A\xD801\xDC28"));
}

}  // namespace
