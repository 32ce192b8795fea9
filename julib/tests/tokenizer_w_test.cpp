// JuScannerW: the shared ASCII tables over UTF-16 units, then what only
// UTF-16 text has: surrogate pairs, a high surrogate as the last unit, and
// units above 0xFF whose bytes look like ASCII operators.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "julib/containers.h"
#include "julib/strings.h"
#include "julib/tokenizer.h"
#include "testing/ju_test.h"
#include "tokenizer_test_cases.h"

namespace {

using jutest::toUtf8;
using tokcases::ExactText;
using tokcases::widen;

class TokenizerWTest : public jutest::JuTest {};

std::u16string text(const JuSubStringW& view) { return std::u16string(view.data, view.length); }

struct Expect {
  uint32_t type;
  std::u16string text;
  size_t position;
};

// Reads the expected tokens from an exact-size copy of `source`.
void expectTokens(const std::u16string& source, uint32_t options, const std::vector<Expect>& tokens) {
  ExactText<char16_t> exact(source);
  JuScannerW scanner(exact.data(), exact.size());
  scanner.options = options;
  JuTokenW token;
  for (const Expect& expect : tokens) {
    scanner.nextToken(token, 0);
    EXPECT_EQ(token.type, expect.type) << toUtf8(expect.text);
    EXPECT_EQ(toUtf8(text(token)), toUtf8(expect.text));
    EXPECT_EQ(token.position, expect.position) << toUtf8(expect.text);
    EXPECT_EQ(token.data, exact.data() + token.position);
  }
}

// ---------------------------------------------------------------------------
// The shared ASCII tables
// ---------------------------------------------------------------------------

TEST_F(TokenizerWTest, SharedTokenRows) {
  for (const tokcases::TokenRow& row : tokcases::tokenRows()) {
    SCOPED_TRACE(row.note);
    ExactText<char16_t> source(widen(row.text));
    JuScannerW scanner(source.data(), source.size());
    scanner.options = row.options;
    JuTokenW token;
    for (const tokcases::Expect& expect : row.tokens) {
      scanner.nextToken(token, row.mode);
      EXPECT_EQ(token.type, expect.type) << "token " << expect.text;
      EXPECT_EQ(text(token), widen(expect.text));
      EXPECT_EQ(token.position, expect.position) << "token " << expect.text;
    }
  }
}

TEST_F(TokenizerWTest, SharedUntilRows) {
  for (const tokcases::UntilRow& row : tokcases::untilRows()) {
    SCOPED_TRACE(row.note);
    ExactText<char16_t> source(widen(row.text));
    JuScannerW scanner(source.data(), source.size());
    scanner.options = row.options;
    scanner.braceValueMode = row.braceValueMode;
    JuTokenW token;
    scanner.nextUntil(token, static_cast<unsigned char>(row.delimiter));
    EXPECT_EQ(token.type, row.token.type);
    EXPECT_EQ(text(token), widen(row.token.text));
    EXPECT_EQ(token.position, row.token.position);
    EXPECT_EQ(scanner.position, row.positionAfter);
  }
}

TEST_F(TokenizerWTest, SharedSplitRows) {
  for (const tokcases::SplitRow& row : tokcases::splitRows()) {
    SCOPED_TRACE(row.note);
    ExactText<char16_t> source(widen(row.text));
    for (bool copies : {false, true}) {
      SCOPED_TRACE(copies ? "splitCopies" : "split");
      JuScannerW scanner(source.data(), source.size());
      scanner.options = row.options;
      scanner.braceValueMode = row.braceValueMode;
      JuArray pieces;
      const char16_t delimiter = static_cast<unsigned char>(row.delimiter);
      ASSERT_EQ(copies ? scanner.splitCopies(pieces, delimiter) : scanner.split(pieces, delimiter), 0);
      std::vector<std::u16string> expected;
      for (const std::string& piece : row.pieces) expected.push_back(widen(piece));
      std::vector<std::u16string> got;
      for (uint64_t i = 0; i < pieces.count; ++i) got.push_back(text(*static_cast<JuSubStringW*>(pieces.pointerAt(i))));
      EXPECT_EQ(got, expected);
    }
  }
}

// ---------------------------------------------------------------------------
// Surrogates
// ---------------------------------------------------------------------------

struct WideRow {
  std::u16string text;
  uint32_t options;
  std::vector<Expect> tokens;
  const char* note;
};

TEST_F(TokenizerWTest, SurrogatePairsAndTheLastUnit) {
  const std::u16string deseret = u"\U00010400";  // a letter outside the BMP
  const std::u16string smiley = u"\U0001F600";   // not a letter
  const std::u16string highThenA = std::u16string(u"\xD800") + u"a";
  const WideRow rows[] = {
      {u"a" + deseret + u"b c", kJuScanDecimalNumbers, {{2, u"a" + deseret + u"b", 0}, {2, u"c", 5}},
       "a pair is one letter of two units"},
      {deseret, kJuScanDecimalNumbers, {{2, deseret, 0}, {1, u"", 2}}, "a pair alone"},
      {smiley + u"x", kJuScanDecimalNumbers, {{10, smiley, 0}, {2, u"x", 2}},
       "a pair that is no letter: one character"},
      {u"ab\xD800", kJuScanDecimalNumbers, {{2, u"ab", 0}, {10, u"\xD800", 2}, {1, u"", 3}},
       "a high surrogate last is a character of one unit"},
      {u"\xD800", kJuScanDecimalNumbers, {{10, u"\xD800", 0}, {1, u"", 1}}, "a lone high surrogate"},
      {highThenA, kJuScanDecimalNumbers, {{10, highThenA, 0}, {1, u"", 2}},
       "a high surrogate takes the unit after it whatever it is"},
      {u"'\xD800", kJuScanDecimalNumbers, {{4, u"'\xD800", 0}}, "high surrogate last inside a quote"},
      {u"\xD800'x'", kJuScanDecimalNumbers, {{10, u"\xD800'", 0}, {2, u"x", 2}},
       "the quote after a high surrogate is taken with it"},
      {u"\xDC00x", kJuScanDecimalNumbers, {{10, u"\xDC00", 0}, {2, u"x", 1}}, "a lone low surrogate"},
  };
  for (const WideRow& row : rows) {
    SCOPED_TRACE(row.note);
    expectTokens(row.text, row.options, row.tokens);
  }
}

TEST_F(TokenizerWTest, UnitsAboveFfAreNeverAsciiOperators) {
  const WideRow rows[] = {
      {u"\u2626", kJuScanDecimalNumbers, {{10, u"\u2626", 0}}, "bytes of && are no operator"},
      {u"\u2A2A\u2F2F", kJuScanDecimalNumbers, {{10, u"\u2A2A", 0}, {10, u"\u2F2F", 1}},
       "bytes of ** and // are no operators"},
      {u"\u3D3E", kJuScanDecimalNumbers, {{2, u"\u3D3E", 0}}, "an ideograph whose bytes look like => is a word"},
      {u"\u013D", kJuScanDecimalNumbers, {{2, u"\u013D", 0}}, "a letter whose low byte is ="},
      {u"\u203D", kJuScanDecimalNumbers, {{10, u"\u203D", 0}}, "low byte = is no ="},
      {u"=\u203E", kJuScanDecimalNumbers, {{0x3D, u"=", 0}, {10, u"\u203E", 1}}, "second unit with low byte >"},
      {u"&\u2026", kJuScanDecimalNumbers, {{0x26, u"&", 0}, {10, u"\u2026", 1}}, "second unit with low byte &"},
      {u"(\u222B)", kJuScanDecimalNumbers, {{0x28, u"(", 0}, {10, u"\u222B", 1}, {0x29, u")", 2}},
       "no (+) from a look-alike"},
      {u"-\u202D", kJuScanDecimalNumbers | kJuScanCommentsReturned, {{0x2D, u"-", 0}, {10, u"\u202D", 1}},
       "no -- comment from a look-alike"},
      {u"/\u202A", kJuScanDecimalNumbers | kJuScanCommentsReturned, {{0x2F, u"/", 0}, {10, u"\u202A", 1}},
       "no /* comment from a look-alike"},
      {u"\u0128a\u0128", kJuScanDecimalNumbers | kJuScanParenGroups, {{2, u"\u0128a\u0128", 0}},
       "no ( group from a look-alike"},
  };
  for (const WideRow& row : rows) {
    SCOPED_TRACE(row.note);
    expectTokens(row.text, row.options, row.tokens);
  }
}

TEST_F(TokenizerWTest, UnicodeClasses) {
  const WideRow rows[] = {
      {u"\u3000x", kJuScanDecimalNumbers, {{2, u"x", 1}}, "ideographic space is a blank"},
      {u"\uFF3Fa\uFF3F b", kJuScanDecimalNumbers, {{2, u"\uFF3Fa\uFF3F", 0}, {2, u"b", 4}}, "full-width low line"},
      {u"a\u0661 ", kJuScanDecimalNumbers, {{2, u"a\u0661", 0}}, "an Arabic-Indic digit continues a word"},
      {u"\u0661\u0662 ", kJuScanDecimalNumbers, {{5, u"\u0661\u0662", 0}}, "Arabic-Indic digits make a number"},
      {u".\u0665", kJuScanDecimalNumbers, {{9, u".\u0665", 0}}, "a point before a digit"},
      {u"\u00E9t\u00E9 x", kJuScanDecimalNumbers, {{2, u"\u00E9t\u00E9", 0}, {2, u"x", 4}}, "Latin-1 letters"},
  };
  for (const WideRow& row : rows) {
    SCOPED_TRACE(row.note);
    expectTokens(row.text, row.options, row.tokens);
  }
}

TEST_F(TokenizerWTest, UntilAndSplitOverWideUnits) {
  {
    ExactText<char16_t> source(std::u16string(u"a \U0001F600 \u3000;b"));
    JuScannerW scanner(source.data(), source.size());
    JuTokenW token;
    scanner.nextUntil(token, u';');
    EXPECT_EQ(text(token), u"a \U0001F600");
    EXPECT_EQ(scanner.peekChar(1), u';');
  }
  {
    ExactText<char16_t> source(std::u16string(u"a \xD800"));
    JuScannerW scanner(source.data(), source.size());
    JuTokenW token;
    scanner.nextUntil(token, u';');
    EXPECT_EQ(text(token), u"a \xD800");
  }
  {
    // Only the delimiter unit itself splits.
    ExactText<char16_t> source(std::u16string(u"a\u2626b&&c\u00A7d"));
    JuScannerW scanner(source.data(), source.size());
    JuArray pieces;
    ASSERT_EQ(scanner.split(pieces, u'\u2626'), 0);
    ASSERT_EQ(pieces.count, 2u);
    EXPECT_EQ(text(*static_cast<JuSubStringW*>(pieces.pointerAt(1))), u"b&&c\u00A7d");
    ASSERT_EQ(scanner.splitCopies(pieces, u'&'), 0);  // the source is read on from its end
    ASSERT_EQ(pieces.count, 1u);
    JuScannerW again(source.data(), source.size());
    ASSERT_EQ(again.splitCopies(pieces, u'\u00A7'), 0);
    ASSERT_EQ(pieces.count, 2u);
    EXPECT_EQ(text(*static_cast<JuStringW*>(pieces.pointerAt(0))), u"a\u2626b&&c");
  }
}

TEST_F(TokenizerWTest, GroupDepthPastItsLimit) {
  const std::u16string group = std::u16string(65536, u'{') + std::u16string(65536, u'}');
  ExactText<char16_t> source(group + u";x");
  JuScannerW scanner(source.data(), source.size());
  scanner.options |= kJuScanBraceGroups;
  JuTokenW token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenUnterminated);
  EXPECT_EQ(token.length, source.size());
}

// ---------------------------------------------------------------------------
// Settings, phrases and edits
// ---------------------------------------------------------------------------

TEST_F(TokenizerWTest, DefaultsAndSources) {
  JuScannerW scanner(u"ab");
  EXPECT_EQ(scanner.sourceLength, 2u);
  EXPECT_EQ(scanner.options, kJuScanDecimalNumbers);
  EXPECT_EQ(scanner.quoteChars[1], u'"');
  scanner.options = kJuScanBraceGroups | kJuScanEndState;
  scanner.resetOptions();
  EXPECT_EQ(scanner.options, kJuScanEndState);
  scanner.setSource(u"x", 1);
  EXPECT_EQ(scanner.options, kJuScanDecimalNumbers);
  EXPECT_EQ(scanner.peekChar(1), u'x');
  EXPECT_EQ(scanner.peekChar(2), u'\0');

  JuStringW string;
  ASSERT_EQ(string.assign(u"k"), 0);
  JuScannerW bound(string);
  EXPECT_EQ(bound.bound, &string);
  const JuStringW& readOnly = string;
  JuScannerW reader(readOnly);
  EXPECT_EQ(reader.bound, nullptr);
  JuScannerW fromView(JuSubStringW(u"abc", 2));
  EXPECT_EQ(fromView.sourceLength, 2u);
  JuScannerW empty;
  JuTokenW token;
  empty.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenEnd);
}

TEST_F(TokenizerWTest, MatchWordsCountedAndNoCase) {
  JuScannerW scanner(u"Order  By \u00C9t\u00E9 x");
  JuTokenW token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.matchWords(token, u"ORDER BY"), 0);
  EXPECT_EQ(scanner.position, 5u);
  // Only the counted units of the list are words.
  EXPECT_EQ(scanner.matchWords(token, u"Order By xyz", 8), 1);
  EXPECT_EQ(text(token), u"Order  By");
  scanner.rewindTo(token);
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.matchWordsNoCase(token, u"order by \u00E9t\u00C9"), 1);
  EXPECT_EQ(text(token), u"Order  By \u00C9t\u00E9");
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), u"x");

  static const char16_t kList[] = u"group by\0order by\0";
  JuScannerW list(u"ORDER BY");
  list.nextToken(token, 0);
  EXPECT_EQ(list.matchAnyWords(token, kList), 0);
  EXPECT_EQ(list.matchAnyWordsNoCase(token, kList), 1);
  EXPECT_EQ(text(token), u"ORDER BY");
}

TEST_F(TokenizerWTest, MatchWordsExactComparesZeroUnits) {
  const std::u16string source(u"a\0b", 3);
  JuScannerW scanner(source.data(), source.size());
  scanner.setWordChars(JuSubStringW(u"\0", 1));
  JuTokenW token;
  scanner.nextToken(token, 0);
  ASSERT_EQ(token.length, 3u);
  const std::u16string other(u"a\0c", 3);
  EXPECT_EQ(scanner.matchWords(token, other.data(), other.size()), 0);
  EXPECT_EQ(scanner.matchWords(token, source.data(), source.size()), 1);
}

TEST_F(TokenizerWTest, Edits) {
  JuStringW string;
  ASSERT_EQ(string.assign(u"k = v; z"), 0);
  JuScannerW scanner(string);
  JuTokenW token;
  for (int i = 0; i < 3; ++i) scanner.nextToken(token, 0);
  ASSERT_EQ(text(token), u"v");
  ASSERT_EQ(scanner.replaceToken(token, JuSubStringW(u"\U0001F600")), 0);
  EXPECT_EQ(std::u16string(string.data), u"k = \U0001F600; z");
  EXPECT_EQ(scanner.position, 6u);
  scanner.nextToken(token, 0);
  EXPECT_EQ(token.type, 0x3Bu);
  scanner.nextToken(token, 0);
  ASSERT_EQ(scanner.insertBeforeToken(token, JuSubStringW(u"y ")), 0);
  EXPECT_EQ(std::u16string(string.data), u"k = \U0001F600; y z");
  EXPECT_EQ(text(token), u"z");
  EXPECT_EQ(token.position, 10u);

  JuScannerW unbound(u"a");
  unbound.nextToken(token, 0);
  EXPECT_EQ(unbound.replaceToken(token, JuSubStringW(u"x")), 1);
  EXPECT_EQ(unbound.insertBeforeToken(token, JuSubStringW(u"x")), 1);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(TokenizerWTest, TokenConstructor) {
  JuTokenW token(u"abc", 2, 4);
  EXPECT_EQ(text(token), u"ab");
  EXPECT_EQ(token.position, 4u);
  EXPECT_EQ(token.type, kJuTokenNone);
}

}  // namespace
