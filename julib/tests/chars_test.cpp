// Character primitives: stepping, counting, case and classes by code-page
// kind, and UTF-16 stepping over surrogate pairs.

#include <string>
#include <string_view>

#include "cstring_test_util.h"
#include "julib/cstring.h"
#include "testing/ju_test.h"

namespace {

using jutest::heapBytes;
using jutest::heapText;
using jutest::hexBytes;
using jutest::ScopedCodePage;

constexpr JuCodePageKind kAnsi = JuCodePageKind::kAnsi;
constexpr JuCodePageKind kUtf16 = JuCodePageKind::kUtf16;
constexpr JuCodePageKind kUtf8 = JuCodePageKind::kUtf8;
constexpr JuCodePageKind kBytes = JuCodePageKind::kBytes;

// --- Character length --------------------------------------------------------------

TEST(CharLen, ByKindAndCodePage) {
  struct Row {
    std::string_view bytes;
    JuCodePageKind kind;
    uint32_t codePage;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"a", kUtf8, 1252, 1, "ASCII"},
      {"\x7F", kUtf8, 1252, 1, "last one-byte value"},
      {"\x80", kUtf8, 1252, 1, "stray continuation byte"},
      {"\xBF", kUtf8, 1252, 1, "last continuation byte"},
      {"\xC0\x80", kUtf8, 1252, 2, "first two-byte lead"},
      {"\xDF\xBF", kUtf8, 1252, 2, "last two-byte lead"},
      {"\xE0\xA0\x80", kUtf8, 1252, 3, "first three-byte lead"},
      {"\xEF\xBF\xBF", kUtf8, 1252, 3, "last three-byte lead"},
      {"\xF0\x9F\x98\x80", kUtf8, 1252, 4, "four-byte lead"},
      {"\xF5\x80\x80\x80", kUtf8, 1252, 4, "invalid lead still four"},
      {"\x83\x5C", kUtf8, 932, 1, "UTF-8 ignores the ANSI lead bytes"},
      {"\x83\x5C", kAnsi, 1252, 1, "single-byte code page"},
      {"\x83\x5C", kAnsi, 932, 2, "lead byte of 932"},
      {"\x80", kAnsi, 932, 1, "not a lead byte of 932"},
      {"\x83\x5C", kUtf16, 932, 2, "kind 2 steps as the ANSI code page"},
      {"\x83\x5C", kBytes, 932, 2, "kind 4 steps as the ANSI code page"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    EXPECT_EQ(juCharLen(row.bytes.data(), row.kind), row.expected);
    EXPECT_EQ(juCharNext(row.bytes.data(), row.kind), row.bytes.data() + row.expected);
    EXPECT_EQ(juCharNextIndex(row.bytes.data(), 0, row.kind), row.expected);
  }
}

// --- Previous character ---------------------------------------------------------------

TEST(CharPrev, Utf8LooksBackOverAtMostFourBytes) {
  struct Row {
    std::string_view text;
    size_t from;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"\xE2\x82\xAC", 3, 0, "end of the euro sign"},
      {"\xF0\x9F\x98\x80", 4, 0, "end of a four-byte character"},
      {"\xF0\x9F\x98\x80", 1, 0, "start + 1 gives start"},
      {"a\xC3\xA9", 3, 1, "two-byte character"},
      {"ab\xC3\xA9", 4, 2, "two-byte character after text"},
      {"a\xC3", 2, 1, "lead byte just before"},
      {"ab\x80", 3, 2, "stray continuation after ASCII"},
      {"a\x80\x80", 3, 2, "p - 2 is no lead and p - 2 is not start"},
      {"\x80\x80", 2, 1, "p - 2 is start"},
      {"ab\x80\x80\x80", 5, 4, "no lead within four bytes"},
      {"a\xF0\x9F\x98\x80", 5, 1, "four-byte character after text"},
      {"abc", 0, 0, "position at start stays"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapBytes(row.text);
    EXPECT_EQ(juCharPrev(text.get(), text.get() + row.from, kUtf8), text.get() + row.expected);
    EXPECT_EQ(juCharPrevIndex(text.get(), row.from, kUtf8), row.expected);
  }
}

TEST(CharPrev, AnsiHonoursLeadBytes) {
  ScopedCodePage codePage(932);
  // 0x5C is a trail byte here, not a backslash.
  const char text[] = "\x83\x5C\x83\x5C" "a";
  EXPECT_EQ(juCharPrevIndex(text, 4, kAnsi), 2u);
  EXPECT_EQ(juCharPrevIndex(text, 5, kAnsi), 4u);
  EXPECT_EQ(juCharPrevIndex(text, 2, kUtf16), 0u);
}

// --- Last character ----------------------------------------------------------------------

TEST(StrLastChar, StartOfTheLastCharacter) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view text;
    JuCodePageKind kind;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"", kAnsi, 0, "empty text is itself"},
      {"a", kAnsi, 0, "one character is itself"},
      {"ab\xE2\x82\xAC", kUtf8, 2, "UTF-8 euro last"},
      {"a\x83\x5C", kAnsi, 1, "double-byte character last"},
      {"a\x83", kAnsi, 1, "lead byte cut by the terminator"},
      {"a\xE2\x82", kUtf8, 1, "UTF-8 character cut by the terminator"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapText(row.text);
    EXPECT_EQ(juStrLastChar(text.get(), row.kind), text.get() + row.expected);
  }
}

TEST(StrNLastCharIndex, CharacterThatReachesTheCount) {
  struct Row {
    std::string_view text;
    size_t n;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"abc", 3, 2, "last of three"},
      {"abc", 1, 0, "first already reaches n"},
      {"a\xE2\x82\xAC", 4, 1, "euro ends at n"},
      {"a\xE2\x82\xAC", 2, 1, "euro runs past n"},
      {"a\xE2\x82\xAC", 3, 1, "euro runs past n by one"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapBytes(row.text.substr(0, row.n));
    EXPECT_EQ(juStrNLastCharIndex(text.get(), row.n, kUtf8), row.expected);
  }
  // No byte of an empty text is read.
  EXPECT_EQ(juStrNLastCharIndex(nullptr, 0, kUtf8), 0u);
}

TEST(CharEqual, SameLengthAndBytes) {
  EXPECT_EQ(juCharEqual("\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", kUtf8), 1);
  EXPECT_EQ(juCharEqual("\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", kUtf8), 0);
  EXPECT_EQ(juCharEqual("\xC3\xA9", "\xE2\x82\xAC", kUtf8), 0);
  EXPECT_EQ(juCharEqual("a", "a", kUtf8), 1);
  EXPECT_EQ(juCharEqual("a", "b", kAnsi), 0);
  // Both cut by their terminators at the same byte: nothing past it is read.
  auto a = heapText("\xE2");
  auto b = heapText("\xE2");
  EXPECT_EQ(juCharEqual(a.get(), b.get(), kUtf8), 1);
}

// --- UTF-16 stepping ---------------------------------------------------------------------------

TEST(WideStepping, SurrogatePairsStepWhole) {
  const char16_t text[] = u"a\xD83D\xDE00" u"b";
  EXPECT_EQ(juWCharNext(text), text + 1);
  EXPECT_EQ(juWCharNext(text + 1), text + 3);
  EXPECT_EQ(juWCharNextIndex(text, 1), 3u);
  EXPECT_EQ(juWCharNextIndex(text, 3), 4u);
  EXPECT_EQ(juWCharPrev(text, text + 3), text + 1);
  EXPECT_EQ(juWCharPrev(text, text + 1), text);
  EXPECT_EQ(juWCharPrev(text, text), text);
  EXPECT_EQ(juWCharPrevIndex(text, 3), 1u);
  EXPECT_EQ(juWCharPrevIndex(text, 4), 3u);
  EXPECT_EQ(juWCharPrevIndex(text, 0), 0u);
}

TEST(WideStepping, LowSurrogateFirst) {
  const char16_t text[] = u"\xDE00" u"a";
  EXPECT_EQ(juWCharPrev(text, text + 1), text);
  EXPECT_EQ(juWCharPrevIndex(text, 1), 0u);
}

TEST(WideStepping, LastCharIndex) {
  struct Row {
    std::u16string_view text;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {u"", 0, "empty"},
      {u"a", 0, "one unit"},
      {u"\xDE00", 0, "one low surrogate"},
      {u"ab", 1, "two units"},
      {u"a\xD83D\xDE00", 1, "pair last"},
      {u"a\xD83D", 1, "high surrogate last"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = jutest::heapWUnits(row.text);
    EXPECT_EQ(juWStrNLastCharIndex(text.get(), row.text.size()), row.expected);
  }
}

// --- Counting -------------------------------------------------------------------------------------

TEST(StrCharCount, ByKind) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view text;
    JuCodePageKind kind;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"", kAnsi, 0, "empty"},
      {"abc", kAnsi, 3, "ASCII"},
      {"a\x83\x5C" "b", kAnsi, 3, "double-byte character counts one"},
      {"a\x83", kAnsi, 2, "lead byte before the terminator"},
      {"a\xE2\x82\xAC", kUtf8, 2, "UTF-8"},
      {"a\xF0\x9F", kUtf8, 2, "UTF-8 cut by the terminator"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapText(row.text);
    EXPECT_EQ(juStrCharCount(text.get(), row.kind, 0), row.expected);
  }
}

TEST(StrCharCount, Utf16UnitsUpToTheLimit) {
  const char16_t units[] = {u'a', u'b', u'c', 0};
  const char* text = reinterpret_cast<const char*>(units);
  EXPECT_EQ(juStrCharCount(text, kUtf16, 100), 3u);
  EXPECT_EQ(juStrCharCount(text, kUtf16, 3), 3u);
  EXPECT_EQ(juStrCharCount(text, kUtf16, 2), 2u);
  EXPECT_EQ(juStrCharCount(text, kUtf16, 0), 0u);
  EXPECT_EQ(juStrCharCount(nullptr, kUtf16, 5), 0u);
  // The limit holds without a terminator.
  auto unterminated = heapBytes(std::string_view(text, 4));
  EXPECT_EQ(juStrCharCount(unterminated.get(), kUtf16, 2), 2u);
  // Unaligned UTF-16 text.
  char shifted[9] = {'x', 'a', 0, 'b', 0, 0, 0};
  EXPECT_EQ(juStrCharCount(shifted + 1, kUtf16, 10), 2u);
}

TEST(StrNCharCount, ByKind) {
  struct Row {
    std::string_view text;
    JuCodePageKind kind;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {"", kAnsi, 0, "n = 0"},
      {"abc", kUtf16, 1, "kind 2: n / 2, odd byte dropped"},
      {"abcd", kUtf16, 2, "kind 2: even"},
      {"a\xE2\x82\xAC", kUtf8, 2, "UTF-8"},
      {"a\xE2", kUtf8, 2, "last character runs past n"},
      {std::string_view("a\0b", 3), kAnsi, 3, "zeros count"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapBytes(row.text);
    EXPECT_EQ(juStrNCharCount(text.get(), row.text.size(), row.kind), row.expected);
  }
}

TEST(WStrCharCount, PairsCountOne) {
  EXPECT_EQ(juWStrCharCount(u""), 0u);
  EXPECT_EQ(juWStrCharCount(u"ab"), 2u);
  EXPECT_EQ(juWStrCharCount(u"a\xD83D\xDE00" u"b"), 3u);
  EXPECT_EQ(juWStrCharCount(u"\xD83D"), 1u);
  EXPECT_EQ(juWStrCharCount(u"a\xDE00"), 2u);
  auto cut = jutest::heapWText(u"ab\xD83D");
  EXPECT_EQ(juWStrCharCount(cut.get()), 3u);
}

// --- Case and classes ----------------------------------------------------------------------------

TEST(CharCase, LatinOneInlineAndIcuBeyond) {
  struct Row {
    uint32_t in;
    uint32_t lower;
    uint32_t upper;
    const char* note;
  };
  const Row rows[] = {
      {'A', 'a', 'A', "ASCII upper"},
      {'z', 'z', 'Z', "ASCII lower"},
      {'@', '@', '@', "before A"},
      {'[', '[', '[', "after Z"},
      {0xC0, 0xE0, 0xC0, "first Latin-1 upper"},
      {0xDE, 0xFE, 0xDE, "last Latin-1 upper"},
      {0xD7, 0xF7, 0xD7, "multiplication sign is inside the range"},
      {0xF7, 0xF7, 0xD7, "division sign is inside the range"},
      {0xDF, 0xDF, 0xDF, "sharp s has no one-character upper case"},
      {0xE0, 0xE0, 0xC0, "first Latin-1 lower"},
      {0xFE, 0xFE, 0xDE, "last Latin-1 lower"},
      {0xFF, 0xFF, 0x178, "y with diaeresis goes to ICU"},
      {0x100, 0x101, 0x100, "Latin Extended-A"},
      {0x3A3, 0x3C3, 0x3A3, "Greek sigma"},
      {0x10400, 0x10428, 0x10400, "Deseret"},
      {0x110000, 0x110000, 0x110000, "beyond Unicode"},
      {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "negative as unsigned"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juCharToLower(row.in), row.lower);
    EXPECT_EQ(juCharToUpper(row.in), row.upper);
  }
}

TEST(CharClass, Narrow) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view text;
    JuCodePageKind kind;
    int alpha;
    int alnum;
    const char* note;
  };
  const Row rows[] = {
      {"a", kAnsi, 1, 1, "letter"},
      {"Z", kAnsi, 1, 1, "upper letter"},
      {"7", kAnsi, 0, 1, "digit"},
      {"@", kAnsi, 0, 0, "symbol"},
      {"\xC3\xA9", kUtf8, 1, 1, "UTF-8 two bytes"},
      {"\x83\x5C", kAnsi, 1, 1, "double-byte character"},
      {"\xB1", kAnsi, 0, 0, "single-byte katakana: not a runtime letter"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juCharIsAlpha(row.text.data(), row.kind), row.alpha);
    EXPECT_EQ(juCharIsAlnum(row.text.data(), row.kind), row.alnum);
  }
}

TEST(CharClass, Wide) {
  struct Row {
    std::u16string_view text;
    int alpha;
    int alnum;
    const char* note;
  };
  const Row rows[] = {
      {u"a", 1, 1, "ASCII letter"},
      {u"9", 0, 1, "ASCII digit"},
      {u"\x00E9", 1, 1, "Latin-1 letter"},
      {u"\x0661", 0, 1, "Arabic-Indic digit"},
      {u"\xD801\xDC00", 1, 1, "supplementary letter"},
      {u"\xD835\xDFCE", 0, 1, "supplementary digit"},
      {u"-", 0, 0, "punctuation"},
      {u"\xD801" u"A", 0, 0, "lone high surrogate is not joined with a letter"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = jutest::heapWText(row.text);
    EXPECT_EQ(juWCharIsAlpha(text.get()), row.alpha);
    EXPECT_EQ(juWCharIsAlnum(text.get()), row.alnum);
  }
}

// --- Double-byte tests ------------------------------------------------------------------------------

TEST(DbcsIsInsideChar, CountsWholeCharactersFromStart) {
  ScopedCodePage codePage(932);
  const char text[] = "a\x83\x5C\x83\x5C" "b";
  struct Row {
    size_t start;
    size_t position;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {0, 0, 0, "position at start"},
      {2, 1, 1, "start after position"},
      {0, 1, 0, "lead byte"},
      {0, 2, 1, "trail byte"},
      {0, 3, 0, "next lead byte"},
      {0, 4, 1, "next trail byte"},
      {0, 5, 0, "after the pairs"},
      {2, 4, 1, "counting from a single byte"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juDbcsIsInsideChar(text + row.start, text + row.position), row.expected);
  }
  EXPECT_EQ(juIsLeadByte(text + 1), 1);
  EXPECT_EQ(juIsLeadByteAt(text, 2), 0);
}

TEST(DbcsIsInsideChar, SingleByteCodePageHasNoTrailBytes) {
  const char text[] = "a\x83\x5C";
  EXPECT_EQ(juDbcsIsInsideChar(text, text + 2), 0);
  EXPECT_EQ(juIsLeadByte(text + 1), 0);
}

}  // namespace
