// Trailing blanks: measured and cut.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "julib/cstring.h"
#include "platform/ansi.h"
#include "testing/ju_test.h"

namespace {

using Kind = JuCodePageKind;

using jutest::ScopedCodePage;

class TrimTest : public jutest::JuTest {};

struct NarrowRow {
  uint32_t codePage;
  std::string text;  // measured over its whole size
  Kind kind;
  size_t blanks;  // juStrNTrimmedLen
  size_t spaces;  // juStrNSpaceTrimmedLen
  const char* note;
};

TEST_F(TrimTest, NarrowTrimmedLength) {
  const NarrowRow rows[] = {
      {1252, "ab  ", Kind::kAnsi, 2, 2, "two letters, two spaces"},
      {1252, "    ", Kind::kAnsi, 0, 0, "all blank"},
      {1252, "", Kind::kAnsi, 0, 0, "empty"},
      {1252, "a", Kind::kAnsi, 1, 1, "one letter"},
      {1252, " a ", Kind::kAnsi, 2, 2, "leading blank kept"},
      {1252, "a \t", Kind::kAnsi, 1, 3, "a tab is blank but no space"},
      {1252, "a\r\n\v\f", Kind::kAnsi, 1, 5, "runtime white space"},
      {1252, std::string("a\0 ", 3), Kind::kAnsi, 2, 2, "NUL is not blank"},
      {932, "a\x81\x40", Kind::kAnsi, 1, 3, "ideographic space"},
      {1252, "a\x81\x40", Kind::kAnsi, 3, 3, "no lead byte on page 1252"},
      {932, "\x81\x40 ", Kind::kAnsi, 0, 2, "ideographic space alone"},
      {932, "a\x81", Kind::kAnsi, 2, 2, "lead byte cut by n counts up to n"},
      {932, "a\x95 ", Kind::kAnsi, 3, 3, "trail byte 0x20 belongs to its character"},
      {1252, "\xE2\x80\x83", Kind::kUtf8, 3, 3, "UTF-8 em space is not a runtime blank"},
  };
  for (const NarrowRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    // A block of exactly n bytes: reading past n is caught.
    std::unique_ptr<char[]> exact(new char[row.text.size()]);
    std::memcpy(exact.get(), row.text.data(), row.text.size());
    EXPECT_EQ(juStrNTrimmedLen(exact.get(), row.text.size(), row.kind), row.blanks);
    EXPECT_EQ(juStrNSpaceTrimmedLen(exact.get(), row.text.size(), row.kind), row.spaces);
    if (row.text.find('\0') == std::string::npos) {
      std::string blanks = row.text;
      juStrTrimTrailingBlanks(blanks.data(), row.kind);
      EXPECT_EQ(std::strlen(blanks.c_str()), row.blanks);
      std::string spaces = row.text;
      juStrTrimTrailingSpaces(spaces.data(), row.kind);
      EXPECT_EQ(std::strlen(spaces.c_str()), row.spaces);
    }
  }
}

TEST_F(TrimTest, CountBelowTextLength) {
  const char text[] = "ab  cd";
  EXPECT_EQ(juStrNTrimmedLen(text, 4, Kind::kAnsi), 2u);
  EXPECT_EQ(juStrNTrimmedLen(text, 5, Kind::kAnsi), 5u);
  EXPECT_EQ(juStrNSpaceTrimmedLen(text, 3, Kind::kAnsi), 2u);
}

TEST_F(TrimTest, TrimStopsAtCutCharacter) {
  ScopedCodePage codePage(932);
  // A lead byte right before the NUL ends the text; the blanks after the NUL
  // are no part of it and stay untouched.
  const char original[] = {'a', ' ', '\x95', '\0', ' ', ' ', '\0'};
  char text[sizeof original];
  std::memcpy(text, original, sizeof original);
  juStrTrimTrailingBlanks(text, Kind::kAnsi);
  EXPECT_EQ(std::string(text, sizeof text), std::string(original, sizeof original));

  const char utf8Original[] = {'a', '\xE2', '\0', ' ', ' ', ' ', '\0'};
  char utf8[sizeof utf8Original];
  std::memcpy(utf8, utf8Original, sizeof utf8Original);
  juStrTrimTrailingSpaces(utf8, Kind::kUtf8);
  EXPECT_EQ(std::string(utf8, sizeof utf8), std::string(utf8Original, sizeof utf8Original));
}

TEST_F(TrimTest, TrimTrailingSpacesKeepsTab) {
  char text[] = "a \t";
  juStrTrimTrailingSpaces(text, Kind::kAnsi);
  EXPECT_STREQ(text, "a \t");
  juStrTrimTrailingBlanks(text, Kind::kAnsi);
  EXPECT_STREQ(text, "a");
}

struct WideRow {
  std::u16string text;
  size_t expected;
  const char* note;
};

char16_t swapped(char16_t unit) { return static_cast<char16_t>((unit >> 8) | (unit << 8)); }

TEST_F(TrimTest, WideTrimmedLength) {
  const WideRow rows[] = {
      {u"ab  ", 2, "spaces"},
      {u"ab\t\r\n", 2, "controls"},
      {u"ab\u3000\u2003", 2, "ideographic and em space"},
      {u"ab\u00A0", 3, "no-break space is not white space to ICU"},
      {u"", 0, "empty"},
      {u"  ", 0, "all white"},
      {u"a\U0001F600 ", 3, "pair ends the walk"},
      {u"\U0001F600", 2, "pair alone"},
      {u"a\xD800", 2, "lone high surrogate"},
      {u"\xDC00", 1, "lone low surrogate as the first unit is kept"},
      {u"\xDC00 ", 1, "and ends the walk"},
      {u"a\xDC00", 2, "lone low surrogate after a letter"},
  };
  for (const WideRow& row : rows) {
    SCOPED_TRACE(row.note);
    const size_t n = row.text.size();
    std::unique_ptr<char16_t[]> exact(new char16_t[n + 1]);
    std::memcpy(exact.get(), row.text.data(), n * sizeof(char16_t));
    EXPECT_EQ(juWStrNTrimmedLen(exact.get(), n), row.expected);

    std::unique_ptr<char16_t[]> swap(new char16_t[n + 1]);
    for (size_t i = 0; i < n; ++i) swap[i] = swapped(row.text[i]);
    EXPECT_EQ(juWStrNTrimmedLenSwapped(swap.get(), n), row.expected);

    exact[n] = 0;
    EXPECT_EQ(juWStrTrimTrailingWhitespace(exact.get()), row.expected);
    EXPECT_EQ(std::u16string(exact.get()), row.text.substr(0, row.expected));
  }
}

TEST_F(TrimTest, WideTrimmedLengthWithinCount) {
  const char16_t* text = u"a  b";
  EXPECT_EQ(juWStrNTrimmedLen(text, 3), 1u);
  EXPECT_EQ(juWStrNTrimmedLen(text, 0), 0u);
  EXPECT_EQ(juWStrNTrimmedLen(text, 4), 4u);
}

TEST_F(TrimTest, CodePointTrimmedLength) {
  const char32_t text[] = {U'a', U'b', U' ', 0x3000, U'\t'};
  EXPECT_EQ(juStr32NTrimmedLen(text, 5), 2u);
  EXPECT_EQ(juStr32NTrimmedLen(text, 2), 2u);
  EXPECT_EQ(juStr32NTrimmedLen(text + 2, 3), 0u);
  const char32_t odd[] = {0x1F600, 0xA0, 0x80000020u};
  EXPECT_EQ(juStr32NTrimmedLen(odd, 3), 3u);  // out-of-range value is not white space
  EXPECT_EQ(juStr32NTrimmedLen(odd, 2), 2u);
}

}  // namespace
