// ASCII cases that both scanners must read alike: the narrow tests run them
// over bytes, the UTF-16 tests over the same characters widened to units.
#ifndef JULIB_TESTS_TOKENIZER_TEST_CASES_H
#define JULIB_TESTS_TOKENIZER_TEST_CASES_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "julib/tokenizer.h"

namespace tokcases {

constexpr uint32_t kDefault = kJuScanDecimalNumbers;

struct Expect {
  uint32_t type;
  std::string text;
  size_t position;
};

// ---------------------------------------------------------------------------
// nextToken
// ---------------------------------------------------------------------------

struct TokenRow {
  const char* note;
  std::string text;
  uint32_t options;
  uint32_t mode;
  std::vector<Expect> tokens;  // read in this order
};

inline const std::vector<TokenRow>& tokenRows() {
  static const std::vector<TokenRow> rows = {
      // Words, ends, operators.
      {"two words, then the end again and again", "abc def", kDefault, 0,
       {{2, "abc", 0}, {2, "def", 4}, {1, "", 7}, {1, "", 7}, {1, "", 7}}},
      {"empty text", "", kDefault, 0, {{1, "", 0}, {1, "", 0}}},
      {"blanks only", " \t\r\n", kDefault, 0, {{1, "", 4}}},
      {"pair between word and number", "x>=1", kDefault, 0, {{2, "x", 0}, {0x3E3D, ">=", 1}, {5, "1", 3}, {1, "", 4}}},
      {"<> between words", "a<>b", kDefault, 0, {{2, "a", 0}, {0x3C3E, "<>", 1}, {2, "b", 3}}},
      {"no pair =!", "=!", kDefault, 0, {{0x3D, "=", 0}, {0x21, "!", 1}, {1, "", 2}}},
      {"pairs after their first character's entry", "== => =< =* != !< !> ** *= <= && || ++ // --",
       kDefault, 0,
       {{0x3D3D, "==", 0}, {0x3D3E, "=>", 3}, {0x3D3C, "=<", 6}, {0x3D2A, "=*", 9}, {0x213D, "!=", 12},
        {0x213C, "!<", 15}, {0x213E, "!>", 18}, {0x2A2A, "**", 21}, {0x2A3D, "*=", 24}, {0x3C3D, "<=", 27},
        {0x2626, "&&", 30}, {0x7C7C, "||", 33}, {0x2B2B, "++", 36}, {0x2F2F, "//", 39}, {0x2D2D, "--", 42}}},
      {"a pair is two characters at most", "===", kDefault, 0, {{0x3D3D, "==", 0}, {0x3D, "=", 2}}},
      {"single operators", "?,;:$#%@{}", kDefault, 0,
       {{'?', "?", 0}, {',', ",", 1}, {';', ";", 2}, {':', ":", 3}, {'$', "$", 4}, {'#', "#", 5}, {'%', "%", 6},
        {'@', "@", 7}, {'{', "{", 8}, {'}', "}", 9}}},
      {"characters outside the table", "^~\\[", kDefault, 0,
       {{10, "^", 0}, {10, "~", 1}, {10, "\\", 2}, {10, "[", 3}, {1, "", 4}}},
      {"NUL is a character of its own", std::string("a\0b", 3), kDefault, 0,
       {{2, "a", 0}, {10, std::string(1, '\0'), 1}, {2, "b", 2}}},
      {"underscore and digits continue a word", "_a1_ 9", kDefault, 0, {{2, "_a1_", 0}, {5, "9", 5}}},
      {"a number ends at a letter", "12ab", kDefault, 0, {{5, "12", 0}, {2, "ab", 2}}},

      // Numbers.
      {"decimal number ended by a blank is type 5", "12.5 ", kDefault, 0, {{5, "12.5", 0}, {1, "", 5}}},
      {"decimal number at the very end is type 9", "12.5", kDefault, 0, {{9, "12.5", 0}}},
      {"leading point", ".5 ", kDefault, 0, {{5, ".5", 0}}},
      {"leading point at the end", ".5", kDefault, 0, {{9, ".5", 0}}},
      {"two points", "1.2.3 ", kDefault, 0, {{5, "1.2", 0}, {5, ".3", 3}}},
      {"point without a digit after it", ". 5", kDefault, 0, {{0x2E, ".", 0}, {5, "5", 2}}},
      {"decimal numbers off", "12.5", 0, 0, {{5, "12", 0}, {0x2E, ".", 2}, {5, "5", 3}}},
      {"trailing point", "7.", kDefault, 0, {{9, "7.", 0}}},

      // Quotes.
      {"doubled quote inside", "'it''s'", kDefault, 0, {{3, "'it''s'", 0}, {1, "", 7}}},
      {"unterminated quote", "'abc", kDefault, 0, {{4, "'abc", 0}, {1, "", 4}}},
      {"quote that ends the text right after a doubled one", "'a''", kDefault, 0, {{4, "'a''", 0}}},
      {"each quote closes only itself", "\"a'b\" `c\"d`", kDefault, 0, {{3, "\"a'b\"", 0}, {3, "`c\"d`", 6}}},
      {"a lone quote", "'", kDefault, 0, {{4, "'", 0}}},

      // Groups.
      {"(+) as one token", "(+)", kDefault, 0, {{12, "(+)", 0}, {1, "", 3}}},
      {"(+ at the end is two operators", "(+", kDefault, 0, {{0x28, "(", 0}, {0x2B, "+", 1}}},
      {"(+) is a group with parenthesis groups on", "(+)", kDefault | kJuScanParenGroups, 0, {{3, "(+)", 0}}},
      {"nested group with a quoted bracket", "(a,(b),')')x", kDefault | kJuScanParenGroups, 0,
       {{3, "(a,(b),')')", 0}, {2, "x", 11}}},
      {"unterminated group", "(a", kDefault | kJuScanParenGroups, 0, {{4, "(a", 0}, {1, "", 2}}},
      {"group ended inside a quote", "(a')", kDefault | kJuScanParenGroups, 0, {{4, "(a')", 0}}},
      {"parenthesis without groups", "(a)", kDefault, 0, {{0x28, "(", 0}, {2, "a", 1}, {0x29, ")", 2}}},
      {"brace group", "{a{b}}c", kDefault | kJuScanBraceGroups, 0, {{3, "{a{b}}", 0}, {2, "c", 6}}},
      {"brace group holds a quoted brace", "{'}'}", kDefault | kJuScanBraceGroups, 0, {{3, "{'}'}", 0}}},

      // Comments.
      {"line comment returned", "-- note\nx", kDefault | kJuScanCommentsReturned, 0,
       {{11, "-- note", 0}, {2, "x", 8}}},
      {"line comment without options", "-- note\nx", kDefault, 0, {{0x2D2D, "--", 0}, {2, "note", 3}, {2, "x", 8}}},
      {"block comment skipped", "/* c */ x", kDefault | kJuScanCommentsSkipped, 0, {{2, "x", 8}, {1, "", 9}}},
      {"returned wins over skipped", "/**/x", kDefault | kJuScanCommentsReturned | kJuScanCommentsSkipped, 0,
       {{11, "/**/", 0}, {2, "x", 4}}},
      {"/*/ does not close", "/*/ a */b", kDefault | kJuScanCommentsReturned, 0, {{11, "/*/ a */", 0}, {2, "b", 8}}},
      {"open block comment runs to the end", "/* a", kDefault | kJuScanCommentsReturned, 0,
       {{11, "/* a", 0}, {1, "", 4}}},
      {"line comment at the end", "--x", kDefault | kJuScanCommentsReturned, 0, {{11, "--x", 0}, {1, "", 3}}},
      {"comments skipped one after another", "--a\n/*b*/ --c\n", kDefault | kJuScanCommentsSkipped, 0,
       {{1, "", 14}}},
      {"a lone minus is no comment", "- -", kDefault | kJuScanCommentsReturned, 0, {{0x2D, "-", 0}, {0x2D, "-", 2}}},

      // Modes.
      {"runs", "a.b-c d,e|f/g(h)", kDefault, 1,
       {{6, "a.b-c", 0}, {6, "d", 6}, {0x2C, ",", 7}, {6, "e", 8}, {0x7C, "|", 9}, {6, "f", 10}, {0x2F, "/", 11},
        {6, "g", 12}, {0x28, "(", 13}, {6, "h", 14}, {0x29, ")", 15}}},
      {"a run takes quotes that follow its start", "a'b c", kDefault, 1, {{6, "a'b", 0}, {6, "c", 4}}},
      {"names", "#tmp$1 x", kDefault, 2, {{7, "#tmp$1", 0}, {7, "x", 7}}},
      {"a name does not start with a digit", "1a", kDefault, 2, {{5, "1", 0}, {7, "a", 1}}},
  };
  return rows;
}

// ---------------------------------------------------------------------------
// nextUntil
// ---------------------------------------------------------------------------

struct UntilRow {
  const char* note;
  std::string text;
  char delimiter;
  uint32_t options;
  uint32_t braceValueMode;
  Expect token;
  size_t positionAfter;
};

inline const std::vector<UntilRow>& untilRows() {
  static const std::vector<UntilRow> rows = {
      {"quoted delimiter, trailing blank trimmed", "  a = 'x;y' ;b", ';', kDefault, 0, {8, "a = 'x;y'", 2}, 12},
      {"delimiter first: empty, not consumed", ";b", ';', kDefault, 0, {0, "", 0}, 0},
      {"blanks then the delimiter", "  ;b", ';', kDefault, 0, {0, "", 2}, 2},
      {"end of text", "   ", ';', kDefault, 0, {1, "", 3}, 3},
      {"no delimiter: to the end", "a b ", ';', kDefault, 0, {8, "a b", 0}, 4},
      {"brace value with doubled braces", "{a;b}}c};d", ';', kDefault, 1, {8, "{a;b}}c}", 0}, 8},
      {"brace value stops at its brace", "{a}b;c", ';', kDefault, 1, {8, "{a}", 0}, 3},
      {"brace value mode off", "{a;b}", ';', kDefault, 0, {8, "{a", 0}, 2},
      {"unterminated brace value", "{a;b", ';', kDefault, 1, {8, "{a;b", 0}, 4},
      {"group holds the delimiter", "f(a;b) ;c", ';', kDefault | kJuScanParenGroups, 0, {8, "f(a;b)", 0}, 7},
      {"group off: the delimiter splits it", "f(a;b)", ';', kDefault, 0, {8, "f(a", 0}, 3},
      {"unterminated quote runs to the end", "a 'b;c  ", ';', kDefault, 0, {8, "a 'b;c", 0}, 8},
      {"doubled quote", "'a'';b';c", ';', kDefault, 0, {8, "'a'';b'", 0}, 7},
      {"pair-starting delimiter", "a==b", '=', kDefault, 0, {8, "a", 0}, 1},
      {"tab and blanks trimmed", "x \t ;", ';', kDefault, 0, {8, "x", 0}, 4},
  };
  return rows;
}

// ---------------------------------------------------------------------------
// split
// ---------------------------------------------------------------------------

struct SplitRow {
  const char* note;
  std::string text;
  char delimiter;
  uint32_t options;
  uint32_t braceValueMode;
  std::vector<std::string> pieces;
};

inline const std::vector<SplitRow>& splitRows() {
  static const std::vector<SplitRow> rows = {
      {"empty and trailing pieces", "a,,b,", ',', kDefault, 0, {"a", "", "b", ""}},
      {"empty text: one empty piece", "", ',', kDefault, 0, {""}},
      {"no delimiter", " x ", ',', kDefault, 0, {"x"}},
      {"only a delimiter", ",", ',', kDefault, 0, {"", ""}},
      {"blanks around pieces", " a , b ", ',', kDefault, 0, {"a", "b"}},
      {"quoted delimiter", "'a,b',c", ',', kDefault, 0, {"'a,b'", "c"}},
      {"grouped delimiter", "f(a,b),c", ',', kDefault | kJuScanParenGroups, 0, {"f(a,b)", "c"}},
      {"= splits alone, not as ==", "a==b", '=', kDefault, 0, {"a", "", "b"}},
      {"= before >", "a=>b", '=', kDefault, 0, {"a", ">b"}},
      {"| splits alone, not as ||", "a||b", '|', kDefault, 0, {"a", "", "b"}},
      {"< before >", "a<>b", '<', kDefault, 0, {"a", ">b"}},
      {"- before -, also with comments skipped", "a--b", '-', kDefault | kJuScanCommentsSkipped, 0, {"a", "", "b"}},
      {"/ before *", "a/*b", '/', kDefault, 0, {"a", "*b"}},
      {"( before +)", "a(+)", '(', kDefault, 0, {"a", "+)"}},
      {"a blank delimiter", "a b", ' ', kDefault, 0, {"a", "b"}},
      {"a word character as delimiter", "axbxc", 'x', kDefault, 0, {"a", "b", "c"}},
      {"text after a brace value starts a piece", "{a,b}x,c", ',', kDefault, 1, {"{a,b}", "x", "c"}},
      {"blanks after a brace value", "{a} ,c", ',', kDefault, 1, {"{a}", "c"}},
  };
  return rows;
}

// A heap block of exactly the text's size, so that AddressSanitizer catches
// a read past its end.
template <typename Unit>
class ExactText {
 public:
  explicit ExactText(const std::basic_string<Unit>& text) : size_(text.size()), block_(new Unit[text.size()]) {
    for (size_t i = 0; i < size_; ++i) block_[i] = text[i];
  }
  const Unit* data() const { return block_.get(); }
  size_t size() const { return size_; }

 private:
  size_t size_;
  std::unique_ptr<Unit[]> block_;
};

inline std::u16string widen(const std::string& text) {
  std::u16string wide;
  for (char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace tokcases

#endif  // JULIB_TESTS_TOKENIZER_TEST_CASES_H
