// Narrow rewrites: braces and quotes, line splitting, trailing line breaks,
// comment stripping, wrapping and joining.

#include <cstring>
#include <string>
#include <vector>

#include "julib/containers.h"
#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "string_test_util.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

using jutest::ScopedCodePage;
using jutest::JuTest;
using jutest::text;
using Ids = std::vector<uint16_t>;

JuSubString viewOf(const std::string& s) { return JuSubString(s.data(), s.size()); }

// ---------------------------------------------------------------------------
// Braces and quotes
// ---------------------------------------------------------------------------

using StringQuotes = JuTest;

TEST_F(StringQuotes, UnbraceInto) {
  struct Row {
    const char* text;
    const char* expected;
  };
  const Row rows[] = {{"{abc}", "abc"}, {"{}", ""}, {"{", ""}, {"}", ""}, {"abc", ""}, {"", ""}, {"{a}b", ""},
                      {"{{x}}", "{x}"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    JuString destination;
    ASSERT_EQ(destination.assign("previous"), 0);
    EXPECT_EQ(viewOf(row.text).unbraceInto(destination), 0);
    EXPECT_EQ(text(destination), row.expected);
    EXPECT_EQ(destination.initialLength, 0u);
  }
  JuString self;
  ASSERT_EQ(self.assign("{inner}"), 0);
  ASSERT_EQ(self.unbraceInto(self), 0);
  EXPECT_EQ(text(self), "inner");
}

TEST_F(StringQuotes, UnquoteInto) {
  struct Row {
    std::string text;
    char quote;
    std::string expected;
    const char* note;
  };
  const Row rows[] = {
      {"\"a\"\"b\"", '"', "a\"b", "a doubled quote gives one"},
      {"\"\"", '"', "", "empty"},
      {"\"", '"', "", "one byte"},
      {"", '"', "", "nothing"},
      {"\"abc", '"', "abc", "no closing quote"},
      {"'it''s'", '\'', "it's", "apostrophes"},
      {"\"a\"", '\'', "a\"", "another quote character is text"},
      {"\"ab\x82", '"', "ab\x82", "a lead byte at the end is copied alone"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString destination;
    ASSERT_EQ(destination.assign("xy"), 0);
    EXPECT_EQ(viewOf(row.text).unquoteInto(destination, row.quote), 0);
    EXPECT_EQ(text(destination), row.expected);
    EXPECT_EQ(destination.capacity, 2 + row.text.size() + 1);  // room for its length + the source's
  }
}

TEST_F(StringQuotes, UnquoteIntoCopiesDoubleByteCharactersWhole) {
  // 0x82 0x7C is one character in code page 932: its trail byte is no quote.
  const std::string source = "|\x82|x|";
  JuString destination;
  ASSERT_EQ(viewOf(source).unquoteInto(destination, '|'), 0);
  EXPECT_EQ(text(destination), "\x82x");
  ScopedCodePage scope(932);
  ASSERT_EQ(viewOf(source).unquoteInto(destination, '|'), 0);
  EXPECT_EQ(text(destination), "\x82|x");
}

TEST_F(StringQuotes, UnquoteIntoItself) {
  JuString s;
  ASSERT_EQ(s.assign("'don''t'"), 0);
  ASSERT_EQ(s.unquoteInto(s, '\''), 0);
  EXPECT_EQ(text(s), "don't");
}

TEST_F(StringQuotes, AppendQuotedDoublesQuotes) {
  struct Row {
    const char* start;
    std::string view;
    char quote;
    const char* expected;
  };
  const Row rows[] = {
      {"x=", "it's", '\'', "x='it''s'"},
      {"", "", '"', "\"\""},
      {"", "\"\"", '"', "\"\"\"\"\"\""},
      {"a", "plain", '"', "a\"plain\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    JuString s;
    ASSERT_EQ(s.assign(row.start), 0);
    ASSERT_EQ(s.appendQuoted(viewOf(row.view), row.quote), 0);
    EXPECT_EQ(text(s), row.expected);
    EXPECT_EQ(s.capacity, s.length + 1);  // exactly the room it needed
  }
  JuString self;
  ASSERT_EQ(self.assign("a'b"), 0);
  ASSERT_EQ(self.appendQuoted(self, '\''), 0);
  EXPECT_EQ(text(self), "a'b'a''b'");
}

TEST_F(StringQuotes, QuoteAndUnquoteInPlace) {
  struct Row {
    const char* text;
    const char* quoted;
  };
  const Row rows[] = {{"it's", "'it''s'"}, {"", "''"}, {"''", "''''''"}, {"abc", "'abc'"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    JuStringEx s;
    ASSERT_EQ(s.assign(row.text), 0);
    ASSERT_EQ(s.quote('\''), 0);
    EXPECT_EQ(text(s), row.quoted);
    EXPECT_EQ(s.unquote(), std::strlen(row.text));
    EXPECT_EQ(text(s), row.text);
  }
  JuString none;
  ASSERT_EQ(none.quote('"'), 0);
  EXPECT_EQ(text(none), "\"\"");
  struct Short {
    const char* text;
    size_t length;
  };
  for (const Short& row : {Short{"'", 0}, Short{"", 0}, Short{"'x", 0}}) {
    JuString s;
    ASSERT_EQ(s.assign(row.text), 0);
    EXPECT_EQ(s.unquote(), row.length);
  }
}

TEST_F(StringQuotes, QuoteOnACallersBufferThatIsTooSmall) {
  char buffer[6] = "ab'c";
  JuString s;
  s.attachBuffer(buffer, sizeof buffer, 4);
  EXPECT_EQ(s.quote('\''), 1);  // needs 8
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgStringTooLarge});
  EXPECT_STREQ(buffer, "ab'c");
}

// ---------------------------------------------------------------------------
// Lines
// ---------------------------------------------------------------------------

using StringLines = JuTest;

TEST_F(StringLines, SplitLinesSkipsEmptyPieces) {
  struct Row {
    std::string text;
    std::vector<std::string> pieces;
  };
  const Row rows[] = {
      {"a\r\nb\r\n\r\nc", {"a", "b", "c"}},
      {"", {}},
      {"\r\n", {}},
      {"abc", {"abc"}},
      {"a\rb\n\r\n", {"a\rb\n"}},
      {"x\r", {"x\r"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    JuArray lines;
    lines.flags = JuArray::kOwnsElements;
    JuSubString view(row.text.data(), row.text.size(), JuCodePageKind::kUtf8);
    ASSERT_EQ(view.splitLines(lines), 0);
    ASSERT_EQ(lines.count, row.pieces.size());
    for (size_t i = 0; i < row.pieces.size(); ++i) {
      auto* piece = static_cast<JuString*>(lines.pointerAt(i));
      EXPECT_EQ(text(*piece), row.pieces[i]);
      EXPECT_EQ(piece->kind, JuCodePageKind::kUtf8);
    }
  }
}

TEST_F(StringLines, SplitLinesKeepsWhatWasStoredOnFailure) {
  JuArray lines;
  lines.flags = JuArray::kOwnsElements;
  const std::string source = "one\r\ntwo\r\nthree";
  // One allocation for the array's slots, two for each piece (object, text).
  julib::internal::failAllocation(5, false);
  EXPECT_EQ(viewOf(source).splitLines(lines), 1);
  julib::internal::clearAllocationFault();
  ASSERT_EQ(lines.count, 1u);
  EXPECT_EQ(text(*static_cast<JuString*>(lines.pointerAt(0))), "one");
}

TEST_F(StringLines, EnsureTrailingLineBreaks) {
  struct Row {
    std::string text;
    size_t n;
    std::string expected;
  };
  const Row rows[] = {
      {"x\r\n", 2, "x\r\n\r\n"}, {"x", 1, "x\r\n"},           {"x\r\n\r\n", 1, "x\r\n\r\n"},
      {"x\r", 1, "x\r\r\n"},     {"x\n", 1, "x\n\r\n"},       {"", 0, ""},
      {"", 2, "\r\n\r\n"},       {"\n\r\n", 1, "\n\r\n"},     {"x\r\nY", 1, "x\r\nY\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text + "/" + std::to_string(row.n));
    JuString s;
    ASSERT_EQ(s.assign(row.text.data(), row.text.size()), 0);
    ASSERT_EQ(s.ensureTrailingLineBreaks(row.n), 0);
    EXPECT_EQ(text(s), row.expected);
  }
}

TEST_F(StringLines, StripComments) {
  struct Row {
    std::string text;
    std::string expected;
    const char* note;
  };
  const Row rows[] = {
      {"a -- x\r\nb /* y */ c", "a \r\nb  c", "both kinds"},
      {"a /* b", "a ", "an open comment runs to the end"},
      {"a -- x", "a ", "a line comment at the end"},
      {"/*/b", "b", "slash, asterisk, slash is a whole comment"},
      {"--a\r\n--b\r\nc", "\r\n\r\nc", "line breaks stay"},
      {"a/*x*/b/*y*/c", "abc", "several"},
      {"no comments", "no comments", "untouched"},
      {"a - b * c / d", "a - b * c / d", "single characters are no comments"},
      {"'--' x", "'", "quotes are not honoured"},
      {"", "", "empty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString s;
    ASSERT_EQ(s.assign(row.text.c_str()), 0);
    EXPECT_EQ(s.stripComments(), 0);
    EXPECT_EQ(text(s), row.expected);
  }
}

// ---------------------------------------------------------------------------
// Wrapping and joining
// ---------------------------------------------------------------------------

using StringWrap = JuTest;

TEST_F(StringWrap, WrapBreaksAtTheLastBlankOutsideQuotes) {
  struct Row {
    const char* text;
    size_t width;
    char q1, q2;
    const char* expected;
    const char* note;
  };
  const Row rows[] = {
      {"aaa bbb ccc", 5, 0, 0, "aaa\r\nbbb\r\nccc", "plain"},
      {"aaa bbb", 7, 0, 0, "aaa bbb", "fits"},
      {"aaa bbb", 6, 0, 0, "aaa\r\nbbb", "one over"},
      {"aaaaaaa bb", 3, 0, 0, "aaaaaaa\r\nbb", "a long word is not broken"},
      {"'a b c d' e", 3, 0, 0, "'a\r\nb c\r\nd'\r\ne", "no quoting"},
      {"'a b c d' e", 3, '\'', 0, "'a b c d'\r\ne", "blanks inside quotes are no break points"},
      {"'a b c d' e", 3, 0, '\'', "'a\r\nb c\r\nd'\r\ne", "q1 = 0 turns quoting off"},
      {"\"a 'b\" c'd e", 4, '\'', '"', "\"a 'b\"\r\nc'd e", "only the opening quote closes"},
      {" abcdef", 3, 0, 0, " abcdef", "a blank at the line's start is no break point"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString s(JuCodePageKind::kUtf8);
    ASSERT_EQ(s.assign(row.text, JuCodePageKind::kUtf8), 0);
    ASSERT_EQ(s.wrap(row.width, row.q1, row.q2, 0), 0);
    EXPECT_EQ(text(s), row.expected);
    EXPECT_EQ(s.kind, JuCodePageKind::kUtf8);
  }
}

TEST_F(StringWrap, WrapManyLinesGrowsItsTemporary) {
  std::string words;
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    words += i == 0 ? "ab" : " ab";
    expected += i == 0 ? "ab" : "\r\nab";
  }
  JuString s;
  ASSERT_EQ(s.assign(words.c_str()), 0);
  ASSERT_EQ(s.wrap(2, 0, 0, 0), 0);
  EXPECT_EQ(text(s), expected);
}

// The rewritten text is built aside; a string that cannot take it keeps its
// old text instead of ending empty.
TEST_F(StringWrap, AFailureLeavesTheTextAsItWas) {
  char buffer[12] = "aaa bbb ccc";
  JuString s;
  s.attachBuffer(buffer, sizeof buffer, 11);
  EXPECT_EQ(s.wrap(5, 0, 0, 0), 1);  // 15 bytes do not fit in 12
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgStringTooLarge});
  EXPECT_EQ(text(s), "aaa bbb ccc");

  JuString owned;
  ASSERT_EQ(owned.assign("aaa bbb ccc"), 0);
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    fault.arm();
    const int status = owned.wrap(5, 0, 0, 0);
    if (!fault.disarm()) {
      EXPECT_EQ(status, 0);
      return;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(text(owned), "aaa bbb ccc");
  });
  EXPECT_EQ(text(owned), "aaa\r\nbbb\r\nccc");
}

TEST_F(StringWrap, WrapFitsACallersBufferWithRoom) {
  char buffer[32] = "aaa bbb ccc";
  JuString s;
  s.attachBuffer(buffer, sizeof buffer, 11);
  ASSERT_EQ(s.wrap(5, 0, 0, 0), 0);
  EXPECT_EQ(s.data, buffer);
  EXPECT_EQ(text(s), "aaa\r\nbbb\r\nccc");
}

using StringJoin = JuTest;

TEST_F(StringJoin, EachRunOfSeparatorsBecomesOneBlank) {
  enum Join { kLines, kBreaks, kTabs };
  struct Row {
    Join join;
    std::string text;
    char q1;
    std::string expected;
    const char* note;
  };
  const Row rows[] = {
      {kBreaks, "a\r\n\r\nb\r\n", 0, "a b", "a run at the end disappears"},
      {kBreaks, "\na\rb", 0, " a b", "a run at the start becomes a blank"},
      {kBreaks, std::string("a\n\0b", 4), 0, std::string("a\0b", 3), "a NUL after a break takes no blank"},
      {kLines, "a\r\nb\r\n\r\nc", 0, "a b c", "pairs"},
      {kLines, "a\rb\nc", 0, "a\rb\nc", "single breaks are no separators"},
      {kLines, "a\r\n", 0, "a", "at the end"},
      {kTabs, "a\tb\t\tc\t", 0, "a b c", "tabs"},
      {kTabs, "'a\tb'\tc", '\'', "'a\tb' c", "quoted separators stay"},
      {kTabs, "'a\tb'\tc", 0, "'a b' c", "no quoting"},
      {kTabs, "\t", 0, "", "only a separator"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString s;
    ASSERT_EQ(s.assign(row.text.data(), row.text.size()), 0);
    int status = 0;
    switch (row.join) {
      case kLines: status = s.joinLines(row.q1, 0, 0); break;
      case kBreaks: status = s.joinLineBreaks(row.q1, 0, 0); break;
      case kTabs: status = s.joinTabs(row.q1, 0, 0); break;
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text(s), row.expected);
  }
}

TEST_F(StringJoin, TextWithoutSeparatorsIsUntouched) {
  JuString s;
  ASSERT_EQ(s.assign("a b c"), 0);
  char* before = s.data;
  julib::internal::failAllocation(1, true);  // nothing may be allocated
  EXPECT_EQ(s.joinTabs(0, 0, 0), 0);
  EXPECT_EQ(s.joinLines(0, 0, 0), 0);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 0u);
  EXPECT_EQ(s.data, before);
  EXPECT_EQ(text(s), "a b c");
  EXPECT_TRUE(errors_.ids().empty());
}

}  // namespace
