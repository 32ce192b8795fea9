// Quoting, unquoting and bracket removal, narrow and UTF-16.

#include <string>
#include <string_view>

#include "cstring_test_util.h"
#include "julib/cstring.h"
#include "testing/ju_test.h"

namespace {

using jutest::heapBytes;
using jutest::heapText;
using jutest::heapWUnits;
using jutest::hexBytes;
using jutest::hexUnits;
using jutest::ScopedCodePage;

constexpr JuCodePageKind kAnsi = JuCodePageKind::kAnsi;
constexpr JuCodePageKind kUtf8 = JuCodePageKind::kUtf8;
constexpr char kGuard = '#';

// The bytes a call wrote before its returned end, or "<end outside>".
std::string written(const std::string& buffer, const char* end) {
  if (end < buffer.data() || end >= buffer.data() + buffer.size()) return "<end outside>";
  if (*end != '\0') return "<no terminator at end>";
  return buffer.substr(0, static_cast<size_t>(end - buffer.data()));
}

std::u16string writtenW(const std::u16string& buffer, const char16_t* end) {
  if (end < buffer.data() || end >= buffer.data() + buffer.size()) return u"<end outside>";
  if (*end != 0) return u"<no terminator at end>";
  return buffer.substr(0, static_cast<size_t>(end - buffer.data()));
}

// --- Quoting ----------------------------------------------------------------------------

TEST(StrQuote, DoublesTheQuoteAndKeepsCharactersWhole) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view src;
    JuCodePageKind kind;
    std::string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {"it's", kAnsi, "'it''s'", "quote doubled"},
      {"", kAnsi, "''", "empty text"},
      {"''", kAnsi, "''''''", "only quotes"},
      {"\x83\x5C'", kAnsi, "'\x83\x5C'''", "double-byte character copied whole"},
      {"a\x83", kAnsi, "'a'", "double-byte character cut by n dropped"},
      {"a\xE2\x82", kUtf8, "'a'", "UTF-8 character cut by n dropped"},
      {"\xE2\x82\xAC'", kUtf8, "'\xE2\x82\xAC'''", "UTF-8 character whole"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::string buffer(16, kGuard);
    auto src = heapBytes(row.src);
    const char* end = juStrNQuote(buffer.data(), src.get(), row.src.size(), row.kind, '\'');
    EXPECT_EQ(hexBytes(written(buffer, end)), hexBytes(row.expected));
  }
}

TEST(StrQuote, TerminatedFormsAndLowByteOfTheQuote) {
  char buffer[32];
  const char* end = juStrQuote(buffer, "say \"hi\"", kAnsi, 0x0122);  // low byte: '"'
  EXPECT_STREQ(buffer, "\"say \"\"hi\"\"\"");
  EXPECT_EQ(end, buffer + std::strlen(buffer));
  juStrCopy(buffer, "x=");
  end = juStrCatQuoted(buffer, "a'b", kAnsi, '\'');
  EXPECT_STREQ(buffer, "x='a''b'");
  EXPECT_EQ(end, buffer + 8);
}

TEST(StrQuote, BoundedStaysInsideTheSize) {
  struct Row {
    std::string_view src;
    size_t size;
    std::string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {"it's", 20, "'it''s'", "room to spare"},
      {"it's", 8, "'it''s'", "exactly enough"},
      {"it's", 7, "'it'''", "the doubled quote fills the room"},
      {"it's", 6, "'it'", "no room for the doubled quote"},
      {"it's", 5, "'it'", "two characters"},
      {"it's", 4, "'i'", "one character"},
      {"it's", 3, "''", "size 3 gives two quotes"},
      {"it's", 2, "", "size 2 gives an empty text"},
      {"it's", 1, "", "size 1 gives an empty text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::string buffer(row.size + 4, kGuard);
    auto src = heapBytes(row.src);
    const char* end = juStrNQuoteBounded(buffer.data(), row.size, src.get(), row.src.size(), kAnsi, '\'');
    EXPECT_EQ(written(buffer, end), row.expected);
    EXPECT_EQ(buffer.substr(row.size), std::string(4, kGuard));
  }
  std::string untouched(4, kGuard);
  EXPECT_EQ(juStrNQuoteBounded(untouched.data(), 0, "abc", 3, kAnsi, '\''), untouched.data());
  EXPECT_EQ(untouched, std::string(4, kGuard));
}

TEST(StrQuote, BoundedKeepsMultiByteCharactersWhole) {
  std::string buffer(8, kGuard);
  // Room for content is 2: the three-byte euro sign does not fit.
  const char* end = juStrNQuoteBounded(buffer.data(), 5, "a\xE2\x82\xAC", 4, kUtf8, '\'');
  EXPECT_EQ(written(buffer, end), "'a'");
}

TEST(WStrQuote, PairsWholeAndBounded) {
  struct Row {
    std::u16string_view src;
    size_t size;  // 0: the unbounded form
    std::u16string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {u"it's", 0, u"'it''s'", "quote doubled"},
      {u"a\xD83D\xDE00", 0, u"'a\xD83D\xDE00'", "pair copied whole"},
      {u"a\xD83D", 0, u"'a'", "high surrogate without its partner ends the text"},
      {u"it's", 20, u"'it''s'", "bounded with room"},
      {u"it's", 6, u"'it'", "bounded: no room for the double"},
      {u"a\xD83D\xDE00", 5, u"'a'", "bounded: a pair needs two units"},
      {u"a\xD83D\xDE00", 6, u"'a\xD83D\xDE00'", "bounded: pair fits"},
      {u"x", 3, u"''", "size 3"},
      {u"x", 2, u"", "size 2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string buffer(24, u'#');
    auto src = heapWUnits(row.src);
    const char16_t* end =
        row.size == 0 ? juWStrNQuote(buffer.data(), src.get(), row.src.size(), '\'')
                      : juWStrNQuoteBounded(buffer.data(), row.size, src.get(), row.src.size(), '\'');
    EXPECT_EQ(hexUnits(writtenW(buffer, end)), hexUnits(row.expected));
    if (row.size != 0) {
      EXPECT_EQ(buffer.substr(row.size), std::u16string(24 - row.size, u'#'));
    }
  }
}

// --- Unquoting copies ---------------------------------------------------------------------

TEST(StrUnquote, InnerTextWithDoubledQuotesCollapsed) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view src;
    std::string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {"'it''s'", "it's", "doubled quote"},
      {"''", "", "two quotes"},
      {"'", "", "one byte"},
      {"", "", "empty"},
      {"'a'", "a", "one inner byte"},
      {"'a'b'", "ab", "single quote takes the byte after it"},
      {"'ab''", "ab", "quote as the last inner byte dropped"},
      {"\"a\"", "a", "the quote is the first byte"},
      {"'x\x83'", "x\x83", "lead byte as the last inner byte keeps to the inner text"},
      {"'\x83''", "\x83'", "double-byte character copied whole"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::string buffer(16, kGuard);
    auto src = heapBytes(row.src);
    const char* end = juStrNUnquote(buffer.data(), src.get(), row.src.size());
    EXPECT_EQ(hexBytes(written(buffer, end)), hexBytes(row.expected));
    if (row.src.find('\0') == std::string_view::npos) {
      std::string terminated(16, kGuard);
      auto text = heapText(row.src);
      end = juStrUnquote(terminated.data(), text.get());
      EXPECT_EQ(hexBytes(written(terminated, end)), hexBytes(row.expected));
    }
  }
}

TEST(StrUnquote, BoundedKeepsTheFirstHalfOfACutCharacter) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view src;
    size_t size;
    std::string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {"'it''s'", 5, "it's", "exactly enough"},
      {"'it''s'", 4, "it'", "cut after the collapsed quote"},
      {"'it''s'", 1, "", "size 1"},
      {"'a\x83\x5C'", 3, "a\x83", "double-byte character cut keeps its lead byte"},
      {"'a\x83\x5C'", 4, "a\x83\x5C", "double-byte character fits"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::string buffer(row.size + 4, kGuard);
    auto src = heapBytes(row.src);
    const char* end = juStrNUnquoteBounded(buffer.data(), row.size, src.get(), row.src.size());
    EXPECT_EQ(hexBytes(written(buffer, end)), hexBytes(row.expected));
    EXPECT_EQ(buffer.substr(row.size), std::string(4, kGuard));
  }
  std::string untouched(4, kGuard);
  EXPECT_EQ(juStrNUnquoteBounded(untouched.data(), 0, "'a'", 3), untouched.data());
  EXPECT_EQ(untouched, std::string(4, kGuard));
}

TEST(WStrUnquote, CopiesAndBounded) {
  struct Row {
    std::u16string_view src;
    size_t size;  // 0: the unbounded form
    std::u16string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {u"'it''s'", 0, u"it's", "doubled quote"},
      {u"''", 0, u"", "two quotes"},
      {u"'\xD83D\xDE00'", 0, u"\xD83D\xDE00", "pair"},
      {u"'it''s'", 4, u"it'", "bounded cut"},
      {u"'a\xD83D\xDE00'", 3, u"a\xD83D", "bounded: a cut pair keeps its high surrogate"},
      {u"'a\xD83D'", 0, u"a\xD83D", "high surrogate before the closing quote keeps to the inner text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string buffer(12, u'#');
    auto src = heapWUnits(row.src);
    const char16_t* end = row.size == 0
                              ? juWStrNUnquote(buffer.data(), src.get(), row.src.size())
                              : juWStrNUnquoteBounded(buffer.data(), row.size, src.get(), row.src.size());
    EXPECT_EQ(hexUnits(writtenW(buffer, end)), hexUnits(row.expected));
  }
}

// --- Unquoting in place -------------------------------------------------------------------

TEST(StrUnquoteInPlace, OnlyWellFormedText) {
  ScopedCodePage codePage(932);
  struct Row {
    std::string_view text;
    JuCodePageKind kind;
    size_t length;              // returned
    std::string_view expected;  // the first `length` bytes afterwards
    const char* note;
  };
  const Row rows[] = {
      {"'it''s'", kAnsi, 4, "it's", "well formed"},
      {"''", kAnsi, 0, "", "just two quotes"},
      {"'it's'", kAnsi, 6, "'it's'", "single inner quote: unchanged"},
      {"'abc", kAnsi, 4, "'abc", "no closing quote: unchanged"},
      {"abc'", kAnsi, 4, "abc'", "no opening quote: unchanged"},
      {"'", kAnsi, 1, "'", "one byte: unchanged"},
      {"'ab'''", kAnsi, 3, "ab'", "doubled quote before the closing one"},
      {"'a''", kAnsi, 4, "'a''", "the closing quote cannot pair"},
      {"'\x83''", kAnsi, 2, "\x83'", "trail byte that is a quote belongs to its character"},
      {"'\xC4\x81'''", kUtf8, 3, "\xC4\x81'", "UTF-8 trail byte that is an ANSI lead byte"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapBytes(row.text);
    const size_t length = juStrNUnquoteInPlace(text.get(), row.text.size(), '\'', row.kind);
    EXPECT_EQ(length, row.length);
    EXPECT_EQ(hexBytes(std::string_view(text.get(), length)), hexBytes(row.expected));
  }
}

TEST(StrUnquoteInPlace, TerminatedFormWritesTheTerminator) {
  char text[] = "\"a\"\"b\"";
  EXPECT_EQ(juStrUnquoteInPlace(text, '"', kAnsi), 3u);
  EXPECT_STREQ(text, "a\"b");
  char bad[] = "\"a\"b\"";
  EXPECT_EQ(juStrUnquoteInPlace(bad, '"', kAnsi), 5u);
  EXPECT_STREQ(bad, "\"a\"b\"");
}

TEST(WStrUnquoteInPlace, CountedAndTerminated) {
  struct Row {
    std::u16string_view text;
    size_t length;
    std::u16string_view expected;
    const char* note;
  };
  const Row rows[] = {
      {u"'it''s'", 4, u"it's", "doubled quote"},
      {u"'a'b'", 2, u"ab", "a quote followed by another unit gives that unit"},
      {u"''", 0, u"", "two quotes"},
      {u"'abc", 4, u"'abc", "last unit not the quote: unchanged"},
      {u"'", 1, u"'", "one unit: unchanged"},
      {u"'ab''", 2, u"ab", "quote as the last inner unit dropped"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string text(row.text);
    text.push_back(u'#');  // a unit after the count
    const size_t length = juWStrNUnquoteInPlace(text.data(), row.text.size(), '\'');
    EXPECT_EQ(length, row.length);
    EXPECT_EQ(hexUnits(std::u16string_view(text.data(), length)), hexUnits(row.expected));
    if (length != row.text.size()) {
      EXPECT_EQ(text[length], 0);
    }
  }

  struct TerminatedRow {
    std::u16string_view text;
    std::u16string_view expected;
    const char* note;
  };
  const TerminatedRow terminatedRows[] = {
      {u"'it''s'", u"it's", "closed"},
      {u"'abc", u"abc", "closing quote not required"},
      {u"'a'b", u"ab", "a quote gives the unit after it"},
      {u"abc'", u"abc'", "not quoted: unchanged"},
      {u"'", u"", "only the opening quote"},
  };
  for (const TerminatedRow& row : terminatedRows) {
    SCOPED_TRACE(row.note);
    auto text = jutest::heapWText(row.text);
    juWStrUnquoteInPlace(text.get(), '\'');
    EXPECT_EQ(hexUnits(text.get()), hexUnits(row.expected));
  }
}

TEST(WStrNUnbracket, InnerTextOrAWholeCopy) {
  struct Row {
    std::u16string_view src;
    size_t length;
    std::u16string_view expected;
    bool terminated;
    const char* note;
  };
  const Row rows[] = {
      {u"[a]]b]", 3, u"a]b", false, "doubled bracket"},
      {u"[]", 0, u"", false, "empty brackets"},
      {u"[ab]]", 2, u"ab", false, "a last inner bracket ends the copy"},
      {u"[a]b]", 2, u"a]", false, "a bracket takes the unit after it"},
      {u"[ab]c]", 3, u"ab]", false, "bracket pairs with the next unit"},
      {u"[a]]]", 2, u"a]", false, "doubled bracket before the closing one"},
      {u"abc", 3, u"abc", true, "not bracketed"},
      {u"[abc", 4, u"[abc", true, "no closing bracket"},
      {u"]", 1, u"]", true, "one unit"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string buffer(10, u'#');
    auto src = heapWUnits(row.src);
    EXPECT_EQ(juWStrNUnbracket(buffer.data(), src.get(), row.src.size()), row.length);
    EXPECT_EQ(hexUnits(std::u16string_view(buffer.data(), row.length)), hexUnits(row.expected));
    EXPECT_EQ(buffer[row.length], row.terminated ? u'\0' : u'#');
  }
}

}  // namespace
