// The tokenizer's reading steps, written once over a character traits class:
// the narrow scanner steps bytes by their code-page kind, the UTF-16 scanner
// units with surrogate pairs. Tokens, text up to a delimiter, phrases and
// splitting are here; the steps that edit the bound string or set positions
// are in tokenizer_edits.h. Internal to the library.
//
// Every step is bounded by the scanner's source length: a character whose
// length would reach past it is cut there, and no test looks at a unit at or
// past it. Characters are compared with the 16-bit settings (quotes,
// brackets, delimiters, operators) only when they are one unit long, so the
// units of a longer character never pose as ASCII punctuation.
#ifndef JULIB_SRC_TOKENIZER_STEPS_H
#define JULIB_SRC_TOKENIZER_STEPS_H

#include "julib/containers.h"
#include "julib/tokenizer.h"
#include "tokenizer_chars.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace julib::internal::scan {

// Traits (NarrowTraits in tokenizer.cpp, WideTraits in tokenizer_w.cpp):
//   Scanner, Token, View        the scanner, its token and its text view
//   Unit, UnsignedUnit          a unit of the source, and as unsigned
//   charLength(s, at)           units of the character at at < sourceLength,
//                               cut at the source length
//   isBlank(s, c), isAlpha(s, c), isWordChar(s, c)   the character classes,
//                               never looking past the character
//   inSet(set, c)               the set holds a character that starts with
//                               c's first unit
//   point(s, token, at, n)      the token's view on n units at at
//   sameWord(a, na, b, nb, noCase)
//   newPiece(s, text, n), newCopy(s, text, n)   a new view or copy, null
//                               (out of memory posted) on failure
//   assignSet(set, chars)       copies chars into an extra character set
template <typename Traits>
class Steps {
 public:
  using Scanner = typename Traits::Scanner;
  using Token = typename Traits::Token;
  using Unit = typename Traits::Unit;
  using View = typename Traits::View;

  explicit Steps(Scanner& scanner) : s_(scanner) {}

  void nextToken(Token& token, uint32_t mode);
  void nextUntil(Token& token, uint32_t delimiter);
  int matchWords(Token& token, const Unit* words, size_t n, bool noCase);
  int matchAnyWords(Token& token, const Unit* list, bool noCase);
  int split(JuArray& pieces, uint32_t delimiter, bool copies);
  int replaceToken(Token& token, const View& text);
  int insertBeforeToken(Token& token, const View& text);
  void setTokenAt(Token& token, size_t position, size_t length);
  size_t rewindTo(const Token& token);

 private:
  bool option(uint32_t flag) const { return (s_.options & flag) != 0; }
  bool atEnd() const { return option(kJuScanEndState); }

  // --- Stepping -------------------------------------------------------------

  // The character at `at` (below the source length).
  Char charAt(size_t at) const {
    Char c;
    c.at = at;
    c.length = Traits::charLength(s_, at);
    c.first = static_cast<uint32_t>(static_cast<typename Traits::UnsignedUnit>(s_.source[at]));
    c.code = c.length == 1 ? c.first : kLongChar;
    return c;
  }

  // The one-unit character code at `at`; 0 at or past the end, kLongChar
  // for a longer character.
  uint32_t codeAt(size_t at) const { return at < s_.sourceLength ? charAt(at).code : 0; }

  // The character at the position, without moving; false at the end.
  bool peek(Char& c) const {
    if (s_.position >= s_.sourceLength) return false;
    c = charAt(s_.position);
    return true;
  }

  // Takes one character; at the end sets the end state and gives none.
  bool step(Char& c) {
    if (!peek(c)) {
      s_.options |= kJuScanEndState;
      s_.lastCharLength = 0;
      return false;
    }
    s_.position += c.length;
    s_.lastCharLength = c.length;
    return true;
  }

  void unread() {
    s_.position -= s_.lastCharLength;
    s_.options &= ~kJuScanEndState;
    s_.lastCharLength = 0;
  }

  // --- Classes --------------------------------------------------------------

  bool isQuote(uint32_t code) const {
    return code == s_.quoteChars[0] || code == s_.quoteChars[1] || code == s_.quoteChars[2];
  }
  bool isWordStart(const Char& c) const {
    if (atEnd()) return false;
    return c.code == '_' || Traits::isAlpha(s_, c);
  }
  bool isWordChar(const Char& c) const {
    if (atEnd()) return false;
    return c.code == '_' || Traits::isWordChar(s_, c);
  }
  bool inWordStartSet(const Char& c) const { return Traits::inSet(s_.wordStartChars, c); }
  bool inWordSet(const Char& c) const { return Traits::inSet(s_.wordChars, c); }
  bool isDigit(const Char& c) const { return c.length == 1 && isDigitUnit(c.first); }

  // --- Tokens ---------------------------------------------------------------

  void start(Token& token, const Char& c, uint32_t type) {
    Traits::point(s_, token, c.at, c.length);
    token.type = type;
    token.position = c.at;
  }
  // The token runs from its position to the scanner's.
  void extend(Token& token) { Traits::point(s_, token, token.position, s_.position - token.position); }
  // The empty token where the text ended.
  void endToken(Token& token, uint32_t type) {
    const size_t at = s_.position < s_.sourceLength ? s_.position : s_.sourceLength;
    Traits::point(s_, token, at, 0);
    token.type = type;
    token.position = at;
  }

  bool readUntilChar(Token& token, uint32_t close);
  bool readGroup(Token& token, uint32_t open, uint32_t close);
  void readComment(Token& token, uint32_t first);
  void continueToken(Token& token);
  void readOperator(Token& token, const Char& c, uint32_t next);
  void trimTrailingBlanks(Token& token) const;
  void readToEnd(Token& token) {
    s_.position = s_.sourceLength;
    Char c;
    step(c);  // sets the end state
    extend(token);
  }
  int append(JuArray& pieces, const Token& piece, bool copies);
  void sourceFromBound() {
    s_.source = s_.bound->data;
    s_.sourceLength = s_.bound->length;
    if (s_.position < s_.sourceLength) s_.options &= ~kJuScanEndState;
  }
  // Whether the token's range lies in the bound text.
  bool inBound(const Token& token) const {
    return token.position <= s_.bound->length && token.length <= s_.bound->length - token.position;
  }

  Scanner& s_;
};

// ---------------------------------------------------------------------------
// Reading tokens
// ---------------------------------------------------------------------------

template <typename Traits>
void Steps<Traits>::nextToken(Token& token, uint32_t mode) {
  for (;;) {
    Char c;
    if (!step(c)) return endToken(token, kJuTokenEnd);
    // A blank that the word-start set holds starts a word instead.
    if (Traits::isBlank(s_, c) && !inWordStartSet(c)) continue;
    start(token, c, kJuTokenNone);

    if (isQuote(c.code)) {
      token.type = readUntilChar(token, c.code) ? kJuTokenQuoted : kJuTokenUnterminated;
      return;
    }
    bool group = true;
    uint32_t close = 0;
    if (c.code == '(' && option(kJuScanParenGroups)) {
      close = ')';
    } else if (c.code == '{' && option(kJuScanBraceGroups)) {
      close = '}';
    } else if (s_.bracketOpen != kJuNoBracket && c.code == s_.bracketOpen) {
      close = s_.bracketClose;
    } else {
      group = false;
    }
    if (group) {
      token.type = readGroup(token, c.code, close) ? kJuTokenQuoted : kJuTokenUnterminated;
      return;
    }

    const uint32_t next = codeAt(s_.position);
    const bool comment = (c.code == '-' && next == '-') || (c.code == '/' && next == '*');
    if (comment && option(kJuScanCommentsReturned)) {
      token.type = kJuTokenComment;
      return readComment(token, c.code);
    }
    if (comment && option(kJuScanCommentsSkipped)) {
      readComment(token, c.code);
      mode = 0;
      continue;
    }

    if (mode == 1 && !isRunBreak(c.code)) {
      token.type = kJuTokenRun;
    } else if (mode == 2 && (isWordStart(c) || c.code == '#')) {
      token.type = kJuTokenName;
    } else if (isWordStart(c) || inWordStartSet(c)) {
      token.type = kJuTokenWord;
    } else if (isDigit(c)) {
      token.type = kJuTokenNumber;
    } else if (c.code == '.' && option(kJuScanDecimalNumbers) && next != kLongChar && isDigitUnit(next)) {
      token.type = kJuTokenDecimal;
    } else {
      return readOperator(token, c, next);
    }
    return continueToken(token);
  }
}

// "(+)" as one token, an operator from the table, or a single other
// character.
template <typename Traits>
void Steps<Traits>::readOperator(Token& token, const Char& c, uint32_t next) {
  Char second;
  // "+" is one unit, so the unit after it starts a character.
  if (c.code == '(' && next == '+' && codeAt(s_.position + 1) == ')') {
    step(second);
    step(second);
    extend(token);
    token.type = kJuTokenPlusGroup;
    return;
  }
  const uint32_t type = operatorType(c.code, next);
  if (type == 0) {
    token.type = kJuTokenOther;
    return;
  }
  if (type > 0xFF) {
    step(second);
    extend(token);
  }
  token.type = type;
}

// Takes characters while they belong to the token's type; the one that ends
// it is unread.
template <typename Traits>
void Steps<Traits>::continueToken(Token& token) {
  for (;;) {
    Char c;
    if (!step(c)) return;
    bool belongs = false;
    switch (token.type) {
      case kJuTokenWord:
        belongs = isWordChar(c) || inWordSet(c);
        break;
      case kJuTokenNumber:
        if (c.code == '.' && option(kJuScanDecimalNumbers)) {
          token.type = kJuTokenDecimal;
          belongs = true;
        } else {
          belongs = isDigit(c);
        }
        break;
      case kJuTokenDecimal:
        belongs = isDigit(c);
        if (!belongs) token.type = kJuTokenNumber;
        break;
      case kJuTokenRun:
        belongs = c.first > 0x20 && !isRunBreak(c.code);
        break;
      case kJuTokenName:
        belongs = isWordChar(c) || c.code == '#' || c.code == '$' || inWordSet(c);
        break;
      default:
        break;
    }
    if (!belongs) return unread();
    extend(token);
  }
}

// Characters up to and including `close`; a doubled `close` is taken and the
// reading goes on. False when the text ends first (the token runs to the end).
template <typename Traits>
bool Steps<Traits>::readUntilChar(Token& token, uint32_t close) {
  for (;;) {
    Char c;
    if (!step(c)) return false;
    extend(token);
    if (c.code != close) continue;
    Char after;
    if (!peek(after) || after.code != close) return true;
    step(after);
    extend(token);
  }
}

// A group to its matching `close`, quoted strings taken whole. The depth is
// 16-bit: a group nested deeper than it can count is not closed early but read
// to the end of the text as unterminated. A close that is also the opening
// character closes, so a pair of equal characters reads like a quote.
template <typename Traits>
bool Steps<Traits>::readGroup(Token& token, uint32_t open, uint32_t close) {
  uint16_t depth = 1;
  for (;;) {
    Char c;
    if (!step(c)) return false;
    extend(token);
    if (isQuote(c.code)) {
      if (!readUntilChar(token, c.code)) return false;
    } else if (c.code == close) {
      if (--depth == 0) return true;
    } else if (c.code == open) {
      if (depth == UINT16_MAX) {
        readToEnd(token);
        return false;
      }
      ++depth;
    }
  }
}

// "--" to the line end (the line feed is consumed, not kept) or "/*" to the
// first "*/" after the opening. An open comment runs to the end.
template <typename Traits>
void Steps<Traits>::readComment(Token& token, uint32_t first) {
  Char c;
  step(c);  // the second character of the opening
  extend(token);
  bool star = false;
  while (step(c)) {
    if (first == '-') {
      if (c.code == '\n') return;
      extend(token);
    } else {
      extend(token);
      if (c.code == '/' && star) return;
      star = c.code == '*';
    }
  }
}

// ---------------------------------------------------------------------------
// Reading up to a delimiter
// ---------------------------------------------------------------------------

template <typename Traits>
void Steps<Traits>::nextUntil(Token& token, uint32_t delimiter) {
  Char c;
  do {
    if (!step(c)) return endToken(token, kJuTokenEnd);
  } while (Traits::isBlank(s_, c));
  if (c.code == delimiter) {
    Traits::point(s_, token, c.at, 0);
    token.type = kJuTokenNone;
    token.position = c.at;
    unread();
    return;
  }
  start(token, c, kJuTokenUntil);
  if (s_.braceValueMode == 1 && c.code == '{') {
    readUntilChar(token, '}');
    return trimTrailingBlanks(token);
  }
  for (;;) {
    bool complete = true;
    if (isQuote(c.code)) {
      complete = readUntilChar(token, c.code);
    } else if (c.code == '(' && option(kJuScanParenGroups)) {
      complete = readGroup(token, '(', ')');
    } else if (c.code == '{' && option(kJuScanBraceGroups)) {
      complete = readGroup(token, '{', '}');
    }
    if (!complete || !step(c)) break;
    if (c.code == delimiter) {
      unread();
      break;
    }
    extend(token);
  }
  trimTrailingBlanks(token);
}

// Walks the token forward by whole characters and keeps it up to the end of
// its last non-blank one; the first character is never blank here.
template <typename Traits>
void Steps<Traits>::trimTrailingBlanks(Token& token) const {
  const size_t end = token.position + token.length;
  size_t kept = token.position;
  for (size_t at = token.position; at < end;) {
    const Char c = charAt(at);
    at += c.length;
    if (!Traits::isBlank(s_, c)) kept = at;
  }
  Traits::point(s_, token, token.position, kept - token.position);
}

// ---------------------------------------------------------------------------
// Phrases
// ---------------------------------------------------------------------------

// Words are runs of units other than the space; runs of spaces separate them.
template <typename Traits>
int Steps<Traits>::matchWords(Token& token, const Unit* words, size_t n, bool noCase) {
  if (words == nullptr) return 0;
  const size_t savedPosition = s_.position;
  const size_t savedLastLength = s_.lastCharLength;
  const uint32_t savedEnd = s_.options & kJuScanEndState;
  Token scratch;
  const Token* current = &token;
  size_t i = 0;
  while (i < n && words[i] == ' ') ++i;
  if (i == n) return 0;
  for (;;) {
    const size_t wordStart = i;
    while (i < n && words[i] != ' ') ++i;
    if (!Traits::sameWord(current->data, current->length, words + wordStart, i - wordStart, noCase)) {
      // The whole state goes back, so a scan that hit the end while trying
      // reads on from where it was.
      s_.position = savedPosition;
      s_.lastCharLength = savedLastLength;
      s_.options = (s_.options & ~kJuScanEndState) | savedEnd;
      return 0;
    }
    while (i < n && words[i] == ' ') ++i;
    if (i == n) {
      // The token now covers the phrase and what lies between its words.
      token.length += s_.position - savedPosition;
      return 1;
    }
    nextToken(scratch, 0);
    current = &scratch;
  }
}

template <typename Traits>
int Steps<Traits>::matchAnyWords(Token& token, const Unit* list, bool noCase) {
  if (list == nullptr) return 0;
  for (const Unit* phrase = list; *phrase != 0;) {
    const size_t n = std::char_traits<Unit>::length(phrase);
    if (matchWords(token, phrase, n, noCase) != 0) return 1;
    phrase += n + 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Splitting
// ---------------------------------------------------------------------------

template <typename Traits>
int Steps<Traits>::append(JuArray& pieces, const Token& piece, bool copies) {
  JuObject* object = copies ? Traits::newCopy(s_, piece.data, piece.length)
                            : Traits::newPiece(s_, piece.data, piece.length);
  if (object == nullptr) return 1;  // out of memory already posted
  if (pieces.insertAt(object, pieces.count) != 0) {
    delete object;
    return 1;
  }
  return 0;
}

// Each piece is read with nextUntil; then exactly one delimiter character is
// taken. Reading the delimiter as a token would swallow a pair that starts
// with it ("==" for "="), and a blank delimiter would be skipped as a blank.
// After a brace value the text may go on before the delimiter: blanks are
// skipped, and any other text starts the next piece.
template <typename Traits>
int Steps<Traits>::split(JuArray& pieces, uint32_t delimiter, bool copies) {
  pieces.deleteAll();
  pieces.flags |= JuArray::kOwnsElements;
  Token piece;
  for (;;) {
    nextUntil(piece, delimiter);
    if (append(pieces, piece, copies) != 0) return 1;
    Char c;
    bool found = false;
    while (step(c)) {
      if (c.code == delimiter) {
        found = true;
        break;
      }
      if (!Traits::isBlank(s_, c)) {
        unread();
        found = true;
        break;
      }
    }
    if (!found) return 0;
  }
}

}  // namespace julib::internal::scan

#endif  // JULIB_SRC_TOKENIZER_STEPS_H
