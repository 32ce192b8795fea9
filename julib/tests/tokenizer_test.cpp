// JuScanner: tokens, text up to a delimiter, phrases, splitting and edits of
// a bound string, over exact-size blocks so that a read past the source is
// caught.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "julib/containers.h"
#include "julib/strings.h"
#include "julib/tokenizer.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"
#include "tokenizer_test_cases.h"

namespace {

using Kind = JuCodePageKind;
using jutest::ScopedCodePage;
using tokcases::ExactText;

class TokenizerTest : public jutest::JuTest {};

std::string text(const JuSubString& view) { return std::string(view.data, view.length); }

// ---------------------------------------------------------------------------
// The shared ASCII tables
// ---------------------------------------------------------------------------

TEST_F(TokenizerTest, SharedTokenRows) {
  for (const tokcases::TokenRow& row : tokcases::tokenRows()) {
    SCOPED_TRACE(row.note);
    ExactText<char> source(row.text);
    JuScanner scanner(source.data(), source.size());
    scanner.options = row.options;
    JuToken token;
    for (const tokcases::Expect& expect : row.tokens) {
      scanner.nextToken(token, row.mode);
      EXPECT_EQ(token.type, expect.type) << "token " << expect.text;
      EXPECT_EQ(text(token), expect.text);
      EXPECT_EQ(token.position, expect.position) << "token " << expect.text;
      EXPECT_EQ(token.data, source.data() + token.position);
    }
  }
}

TEST_F(TokenizerTest, SharedUntilRows) {
  for (const tokcases::UntilRow& row : tokcases::untilRows()) {
    SCOPED_TRACE(row.note);
    ExactText<char> source(row.text);
    JuScanner scanner(source.data(), source.size());
    scanner.options = row.options;
    scanner.braceValueMode = row.braceValueMode;
    JuToken token;
    scanner.nextUntil(token, row.delimiter);
    EXPECT_EQ(token.type, row.token.type);
    EXPECT_EQ(text(token), row.token.text);
    EXPECT_EQ(token.position, row.token.position);
    EXPECT_EQ(scanner.position, row.positionAfter);
  }
}

TEST_F(TokenizerTest, SharedSplitRows) {
  for (const tokcases::SplitRow& row : tokcases::splitRows()) {
    SCOPED_TRACE(row.note);
    ExactText<char> source(row.text);
    for (bool copies : {false, true}) {
      SCOPED_TRACE(copies ? "splitCopies" : "split");
      JuScanner scanner(source.data(), source.size());
      scanner.options = row.options;
      scanner.braceValueMode = row.braceValueMode;
      JuArray pieces;
      ASSERT_EQ(copies ? scanner.splitCopies(pieces, row.delimiter) : scanner.split(pieces, row.delimiter), 0);
      EXPECT_NE(pieces.flags & JuArray::kOwnsElements, 0u);
      std::vector<std::string> got;
      for (uint64_t i = 0; i < pieces.count; ++i) got.push_back(text(*static_cast<JuSubString*>(pieces.pointerAt(i))));
      EXPECT_EQ(got, row.pieces);
    }
  }
}

// ---------------------------------------------------------------------------
// Characters of several bytes, cut at the end of the source
// ---------------------------------------------------------------------------

struct CutRow {
  uint32_t codePage;
  Kind kind;
  std::string text;
  std::vector<tokcases::Expect> tokens;
  const char* note;
};

TEST_F(TokenizerTest, MultiByteCharactersNeverReachPastTheSource) {
  const CutRow rows[] = {
      {932, Kind::kAnsi, "ab\x81", {{2, "ab\x81", 0}, {1, "", 3}}, "lead byte last: cut to one byte of the word"},
      {932, Kind::kAnsi, "\x81", {{2, "\x81", 0}, {1, "", 1}}, "a lone lead byte"},
      {932, Kind::kAnsi, "'\x81", {{4, "'\x81", 0}}, "lead byte last inside a quote"},
      {932, Kind::kAnsi, "\x82\xA0'x", {{2, "\x82\xA0", 0}, {4, "'x", 2}}, "double-byte word"},
      {932, Kind::kAnsi, "\x81'", {{2, "\x81'", 0}, {1, "", 2}}, "a trail byte that looks like a quote is none"},
      {932, Kind::kAnsi, "\x81\x40x", {{2, "x", 2}}, "ideographic space is a blank"},
      {932, Kind::kAnsi, "x\x81", {{2, "x\x81", 0}}, "lead byte last after a letter"},
      {1252, Kind::kAnsi, "\x81\x40", {{10, "\x81", 0}, {0x40, "@", 1}}, "no lead bytes on page 1252"},
      {1252, Kind::kUtf8, "a\xE3", {{2, "a\xE3", 0}, {1, "", 2}}, "UTF-8 lead byte last"},
      {1252, Kind::kUtf8, "\xF0\x9F", {{2, "\xF0\x9F", 0}}, "four-byte lead cut after two"},
      {1252, Kind::kUtf8, "\xC3\xA9t\xC3\xA9 x", {{2, "\xC3\xA9t\xC3\xA9", 0}, {2, "x", 6}}, "UTF-8 word"},
      {932, Kind::kUtf8, "\x81", {{10, "\x81", 0}}, "UTF-8 continuation byte 0x81 last on page 932"},
      {932, Kind::kUtf8, "\x81\x40", {{10, "\x81", 0}, {0x40, "@", 1}}, "no ideographic space in UTF-8 text"},
  };
  for (const CutRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    ExactText<char> source(row.text);
    JuScanner scanner(source.data(), source.size(), row.kind);
    JuToken token;
    for (const tokcases::Expect& expect : row.tokens) {
      scanner.nextToken(token, 0);
      EXPECT_EQ(token.type, expect.type);
      EXPECT_EQ(text(token), expect.text);
      EXPECT_EQ(token.position, expect.position);
      EXPECT_EQ(token.kind, row.kind);
    }
  }
}

TEST_F(TokenizerTest, UntilAndSplitWithCutCharacters) {
  ScopedCodePage codePage(932);
  {
    ExactText<char> source(std::string("a \x81"));
    JuScanner scanner(source.data(), source.size());
    JuToken token;
    scanner.nextUntil(token, ';');
    EXPECT_EQ(text(token), "a \x81");
  }
  {
    // The ideographic space is trimmed as a blank; a trail byte equal to the
    // delimiter does not split.
    ExactText<char> source(std::string("a\x81\x40;\x95;b"));
    JuScanner scanner(source.data(), source.size());
    JuArray pieces;
    ASSERT_EQ(scanner.split(pieces, ';'), 0);
    ASSERT_EQ(pieces.count, 2u);
    EXPECT_EQ(text(*static_cast<JuSubString*>(pieces.pointerAt(0))), "a");
    EXPECT_EQ(text(*static_cast<JuSubString*>(pieces.pointerAt(1))), "\x95;b");
  }
}

// ---------------------------------------------------------------------------
// Groups deeper than a 16-bit depth
// ---------------------------------------------------------------------------

TEST_F(TokenizerTest, GroupDepthAtAndPastItsLimit) {
  struct Row {
    size_t depth;
    uint32_t type;
    const char* note;
  };
  const Row rows[] = {
      {65535, 3, "the deepest group that can be counted closes at its match"},
      {65536, 4, "one level more is read to the end, never closed early"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    const std::string group = std::string(row.depth, '(') + "x" + std::string(row.depth, ')');
    ExactText<char> source(group + ";rest");
    JuScanner scanner(source.data(), source.size());
    scanner.options |= kJuScanParenGroups;
    JuToken token;
    scanner.nextToken(token, 0);
    EXPECT_EQ(token.type, row.type);
    EXPECT_EQ(token.length, row.type == 3 ? group.size() : source.size());
  }
}

// ---------------------------------------------------------------------------
// Settings and positions
// ---------------------------------------------------------------------------

TEST_F(TokenizerTest, DefaultsAndResets) {
  JuScanner scanner("a");
  EXPECT_EQ(scanner.options, kJuScanDecimalNumbers);
  EXPECT_EQ(scanner.kind, Kind::kAnsi);
  EXPECT_EQ(scanner.bracketOpen, kJuNoBracket);
  EXPECT_EQ(scanner.quoteChars[0], '\'');
  EXPECT_EQ(scanner.quoteChars[1], '"');
  EXPECT_EQ(scanner.quoteChars[2], '`');

  scanner.options = 0xFF & ~kJuScanDecimalNumbers;
  scanner.quoteChars[0] = '|';
  scanner.bracketOpen = '[';
  scanner.braceValueMode = 1;
  scanner.resetOptions();
  // Decimal numbers and the end state stay as they were.
  EXPECT_EQ(scanner.options, 0xFF & ~(kJuScanDecimalNumbers | 15u));
  EXPECT_EQ(scanner.quoteChars[0], '\'');
  EXPECT_EQ(scanner.bracketOpen, kJuNoBracket);
  EXPECT_EQ(scanner.braceValueMode, 0u);

  // A new source turns decimal numbers on and clears the end state only.
  scanner.options = kJuScanParenGroups | kJuScanEndState;
  scanner.setSource("xy", 2, Kind::kUtf8);
  EXPECT_EQ(scanner.options, kJuScanParenGroups | kJuScanDecimalNumbers);
  EXPECT_EQ(scanner.kind, Kind::kUtf8);
  EXPECT_EQ(scanner.bound, nullptr);

  JuScanner utf8("x", Kind::kUtf8);
  EXPECT_EQ(utf8.kind, Kind::kUtf8);
  EXPECT_EQ(utf8.wordChars.kind, Kind::kUtf8);
  JuScanner empty;
  JuToken token;
  empty.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenEnd);
  EXPECT_EQ(token.length, 0u);
}

TEST_F(TokenizerTest, BoundSourceKeepsTheScannersKind) {
  JuString string(Kind::kUtf8);
  ASSERT_EQ(string.assign("a b", 3, Kind::kUtf8), 0);
  JuScanner scanner(Kind::kAnsi);
  scanner.setSource(string);
  EXPECT_EQ(scanner.kind, Kind::kAnsi);
  EXPECT_EQ(scanner.bound, &string);
  JuScanner made(string);
  EXPECT_EQ(made.kind, Kind::kUtf8);
  EXPECT_EQ(made.bound, &string);
  const JuString& readOnly = string;
  JuScanner reader(readOnly);
  EXPECT_EQ(reader.bound, nullptr);
}

TEST_F(TokenizerTest, EndStateAndWords) {
  JuScanner scanner("abc");
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), "abc");
  EXPECT_NE(scanner.options & kJuScanEndState, 0u);
  EXPECT_EQ(scanner.lastCharLength, 0u);
  EXPECT_EQ(scanner.rewindTo(token), 0u);
  EXPECT_EQ(scanner.options & kJuScanEndState, 0u);
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), "abc");
}

TEST_F(TokenizerTest, PeekChar) {
  ExactText<char> source(std::string("ab"));
  JuScanner scanner(source.data(), source.size());
  EXPECT_EQ(scanner.peekChar(0), '\0');
  EXPECT_EQ(scanner.peekChar(1), 'a');
  EXPECT_EQ(scanner.peekChar(2), 'b');
  EXPECT_EQ(scanner.peekChar(3), '\0');
  EXPECT_EQ(scanner.peekChar(SIZE_MAX), '\0');
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.peekChar(0), 'b');
  EXPECT_EQ(scanner.peekChar(1), '\0');
}

TEST_F(TokenizerTest, SetTokenAtStaysInsideTheSource) {
  ExactText<char> source(std::string("abcdef"));
  JuScanner scanner(source.data(), source.size());
  JuToken token;
  token.type = 5;
  scanner.setTokenAt(token, 2, 3);
  EXPECT_EQ(text(token), "cde");
  EXPECT_EQ(token.type, 0u);
  EXPECT_EQ(token.position, 2u);
  scanner.setTokenAt(token, 4, 10);
  EXPECT_EQ(text(token), "ef");
  scanner.setTokenAt(token, 9, 1);
  EXPECT_EQ(token.position, 6u);
  EXPECT_EQ(token.length, 0u);
}

TEST_F(TokenizerTest, WordSets) {
  ExactText<char> source(std::string("a-b c d"));
  JuScanner scanner(source.data(), source.size());
  scanner.setWordChars(JuSubString("-"));
  scanner.setWordStartChars(JuSubString(" "));
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), "a-b");
  // A blank in the word-start set starts a word instead of being skipped.
  scanner.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenWord);
  EXPECT_EQ(text(token), " c");
  scanner.setWordStartChars(JuSubString(""));
  EXPECT_EQ(scanner.wordStartChars.length, 0u);
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), "d");
}

TEST_F(TokenizerTest, CustomBracketsAndQuotes) {
  JuScanner scanner("[a[b]c] |x'|");
  scanner.bracketOpen = '[';
  scanner.bracketClose = ']';
  scanner.quoteChars[0] = '|';
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenQuoted);
  EXPECT_EQ(text(token), "[a[b]c]");
  scanner.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenQuoted);
  EXPECT_EQ(text(token), "|x'|");

  // A pair of equal characters closes like a quote.
  JuScanner same("|a|b");
  same.bracketOpen = '|';
  same.bracketClose = '|';
  same.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenQuoted);
  EXPECT_EQ(text(token), "|a|");
}

// ---------------------------------------------------------------------------
// Phrases
// ---------------------------------------------------------------------------

TEST_F(TokenizerTest, MatchWords) {
  const char* source = "order   by x";
  JuScanner scanner(source);
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.matchWords(token, "ORDER BY"), 0);
  EXPECT_EQ(scanner.position, 5u);
  EXPECT_EQ(text(token), "order");
  EXPECT_EQ(scanner.matchWordsNoCase(token, "ORDER BY"), 1);
  EXPECT_EQ(text(token), "order   by");
  EXPECT_EQ(token.position, 0u);
  EXPECT_EQ(token.type, kJuTokenWord);
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), "x");
}

TEST_F(TokenizerTest, MatchWordsMismatchAtTheEndRestoresTheScan) {
  JuScanner scanner("a b");
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.matchWords(token, "a b c"), 0);
  EXPECT_EQ(scanner.options & kJuScanEndState, 0u);
  scanner.nextToken(token, 0);
  EXPECT_EQ(text(token), "b");
}

TEST_F(TokenizerTest, MatchWordsSpacing) {
  struct Row {
    const char* words;
    int matched;
    const char* covered;
    const char* note;
  };
  const Row rows[] = {
      {"a  b", 1, "a b", "runs of spaces separate words"},
      {" a b ", 1, "a b", "leading and trailing spaces"},
      {"a", 1, "a", "one word"},
      {"", 0, "a", "no words"},
      {"   ", 0, "a", "spaces only"},
      {"a b c d", 0, "a", "longer than the text"},
      {"A B", 0, "a", "case differs"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuScanner scanner("a b c");
    JuToken token;
    scanner.nextToken(token, 0);
    EXPECT_EQ(scanner.matchWords(token, row.words), row.matched);
    EXPECT_EQ(text(token), row.covered);
  }
}

TEST_F(TokenizerTest, MatchAnyWords) {
  static const char kList[] = "GROUP BY\0ORDER BY\0ORDER\0";
  JuScanner scanner("order by x");
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.matchAnyWords(token, kList), 0);
  EXPECT_EQ(scanner.position, 5u);
  EXPECT_EQ(scanner.matchAnyWordsNoCase(token, kList), 1);
  EXPECT_EQ(text(token), "order by");
  EXPECT_EQ(scanner.matchAnyWords(token, "\0"), 0);
}

// ---------------------------------------------------------------------------
// Splitting under allocation faults
// ---------------------------------------------------------------------------

TEST_F(TokenizerTest, SplitUnderAllocationFaults) {
  for (bool copies : {false, true}) {
    SCOPED_TRACE(copies ? "splitCopies" : "split");
    jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
      JuScanner scanner("a,b,c");
      JuArray pieces;
      fault.arm();
      const int result = copies ? scanner.splitCopies(pieces, ',') : scanner.split(pieces, ',');
      if (!fault.disarm()) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(pieces.count, 3u);
        return;
      }
      EXPECT_EQ(result, 1);
      EXPECT_LT(pieces.count, 3u);
      EXPECT_FALSE(errors_.ids().empty());
    });
  }
}

TEST_F(TokenizerTest, SplitDeletesWhatThePiecesHeld) {
  JuArray pieces;
  pieces.flags = 0;
  ASSERT_EQ(pieces.insertAt(new JuString, 0), 0);
  JuScanner scanner("x");
  ASSERT_EQ(scanner.splitCopies(pieces, ','), 0);
  ASSERT_EQ(pieces.count, 1u);
  auto* copy = static_cast<JuString*>(pieces.pointerAt(0));
  EXPECT_EQ(text(*copy), "x");
  EXPECT_EQ(copy->owns, 1u);
  EXPECT_EQ(copy->data[1], '\0');
}

// ---------------------------------------------------------------------------
// Edits of the bound string
// ---------------------------------------------------------------------------

TEST_F(TokenizerTest, ReplaceToken) {
  struct Row {
    const char* replacement;
    const char* result;
    size_t positionAfter;
    const char* next;
    const char* note;
  };
  const Row rows[] = {
      {"42", "a = 42; b", 6, ";", "longer"},
      {"", "a = ; b", 4, ";", "empty text deletes"},
      {"x", "a = x; b", 5, ";", "same length"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString string;
    ASSERT_EQ(string.assign("a = 1; b"), 0);
    JuScanner scanner(string);
    JuToken token;
    scanner.nextToken(token, 0);
    scanner.nextToken(token, 0);
    scanner.nextToken(token, 0);
    ASSERT_EQ(text(token), "1");
    ASSERT_EQ(scanner.replaceToken(token, JuSubString(row.replacement)), 0);
    EXPECT_EQ(std::string(string.data), row.result);
    EXPECT_EQ(scanner.source, string.data);
    EXPECT_EQ(scanner.sourceLength, string.length);
    EXPECT_EQ(scanner.position, row.positionAfter);
    scanner.nextToken(token, 0);
    EXPECT_EQ(text(token), row.next);
  }
}

TEST_F(TokenizerTest, ReplaceTokenAfterTheScanEnded) {
  JuString string;
  ASSERT_EQ(string.assign("k v"), 0);
  JuScanner scanner(string);
  JuToken token;
  scanner.nextToken(token, 0);
  scanner.nextToken(token, 0);
  ASSERT_NE(scanner.options & kJuScanEndState, 0u);
  ASSERT_EQ(scanner.replaceToken(token, JuSubString("value")), 0);
  EXPECT_EQ(std::string(string.data), "k value");
  EXPECT_EQ(scanner.position, 7u);
  scanner.nextToken(token, 0);
  EXPECT_EQ(token.type, kJuTokenEnd);
  EXPECT_EQ(token.position, 7u);
}

TEST_F(TokenizerTest, ReplaceTokenAheadOfTheScanLeavesThePosition) {
  JuString string;
  ASSERT_EQ(string.assign("a bb c"), 0);
  JuScanner scanner(string);
  JuToken first;
  JuToken second;
  scanner.nextToken(first, 0);
  scanner.nextToken(second, 0);
  scanner.rewindTo(first);
  ASSERT_EQ(scanner.replaceToken(second, JuSubString("")), 0);
  EXPECT_EQ(scanner.position, 0u);
  EXPECT_EQ(std::string(string.data), "a  c");
}

TEST_F(TokenizerTest, InsertBeforeToken) {
  JuString string;
  ASSERT_EQ(string.assign("a b"), 0);
  JuScanner scanner(string);
  JuToken token;
  scanner.nextToken(token, 0);
  scanner.nextToken(token, 0);
  ASSERT_EQ(text(token), "b");
  ASSERT_EQ(scanner.insertBeforeToken(token, JuSubString("xy ")), 0);
  EXPECT_EQ(std::string(string.data), "a xy b");
  EXPECT_EQ(token.position, 5u);
  EXPECT_EQ(token.data, string.data + 5);
  EXPECT_EQ(text(token), "b");
  EXPECT_EQ(scanner.position, 6u);
  EXPECT_EQ(scanner.insertBeforeToken(token, JuSubString("")), 0);
  EXPECT_EQ(std::string(string.data), "a xy b");
}

TEST_F(TokenizerTest, EditsNeedABoundString) {
  ExactText<char> source(std::string("a b"));
  JuScanner scanner(source.data(), source.size());
  JuToken token;
  scanner.nextToken(token, 0);
  EXPECT_EQ(scanner.replaceToken(token, JuSubString("x")), 1);
  EXPECT_EQ(scanner.insertBeforeToken(token, JuSubString("x")), 1);
  EXPECT_EQ(scanner.insertBeforeToken(token, JuSubString("")), 1);
  EXPECT_EQ(scanner.position, 1u);
  EXPECT_EQ(text(token), "a");
  EXPECT_TRUE(errors_.ids().empty());

  // A token outside the bound text is refused the same way.
  JuString string;
  ASSERT_EQ(string.assign("ab"), 0);
  JuScanner bound(string);
  JuToken outside("zz", 2, 1);
  EXPECT_EQ(bound.replaceToken(outside, JuSubString("x")), 1);
  EXPECT_EQ(bound.insertBeforeToken(outside, JuSubString("x")), 1);
  EXPECT_EQ(std::string(string.data), "ab");
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(TokenizerTest, TokenConstructors) {
  JuToken plain("abc", 2, 7);
  EXPECT_EQ(text(plain), "ab");
  EXPECT_EQ(plain.position, 7u);
  EXPECT_EQ(plain.type, kJuTokenNone);
  EXPECT_EQ(plain.kind, Kind::kAnsi);
  JuToken utf8("abc", 3, 0, Kind::kUtf8);
  EXPECT_EQ(utf8.kind, Kind::kUtf8);
  JuToken ofKind(Kind::kUtf8);
  EXPECT_EQ(ofKind.kind, Kind::kUtf8);
  EXPECT_EQ(ofKind.type, kJuTokenNone);
}

TEST_F(TokenizerTest, OperatorTableShape) {
  // Every pair follows the entry of its first character; the last entry is 0.
  EXPECT_EQ(juScannerOperators[43], 0u);
  uint32_t lastSingle = 0;
  for (size_t i = 0; i < 43; ++i) {
    SCOPED_TRACE(i);
    const uint32_t entry = juScannerOperators[i];
    ASSERT_NE(entry, 0u);
    if (entry <= 0xFF) {
      lastSingle = entry;
    } else {
      EXPECT_EQ(entry >> 8, lastSingle);
    }
  }
}

}  // namespace
