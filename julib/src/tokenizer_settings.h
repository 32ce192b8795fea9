// The settings shared by both scanners: the source, the options and the
// extra word-character sets, and the peek at a unit; plain functions on the
// scanner's fields, written once for both. Internal to the library.
#ifndef JULIB_SRC_TOKENIZER_SETTINGS_H
#define JULIB_SRC_TOKENIZER_SETTINGS_H

#include "julib/tokenizer.h"

#include <cstddef>
#include <cstdint>

namespace julib::internal::scan {

// Points the scanner at new text (bound to a string or not) and reads it
// from the start: a null text is empty, and numbers are decimal again.
template <typename Scanner, typename Unit>
void restart(Scanner& s, const Unit* text, size_t length, decltype(Scanner::bound) bound) {
  s.source = text;
  s.sourceLength = text == nullptr ? 0 : length;
  s.bound = bound;
  s.position = 0;
  s.lastCharLength = 0;
  s.options = (s.options & ~kJuScanEndState) | kJuScanDecimalNumbers;
}

// No groups, no comments, the three usual quotes and no bracket pair.
template <typename Scanner>
void resetOptions(Scanner& s) {
  s.options &= ~(kJuScanBraceGroups | kJuScanParenGroups | kJuScanCommentsReturned | kJuScanCommentsSkipped);
  s.quoteChars[0] = '\'';
  s.quoteChars[1] = '"';
  s.quoteChars[2] = '`';
  s.bracketOpen = kJuNoBracket;
  s.bracketClose = 0;
  s.braceValueMode = 0;
}

// Replaces one of the extra word-character sets; no characters drop it.
// Traits::assignSet copies the characters into the set.
template <typename Traits, typename String>
void setCharSet(String& set, const typename Traits::View& chars) {
  if (chars.data == nullptr || chars.length == 0) {
    set.release();
    return;
  }
  // A failed copy leaves the set empty; out of memory is posted.
  (void)Traits::assignSet(set, chars);
}

// The unit at position + n - 1 (n = 1: the next unread one), unsigned; 0
// when that lies before the text or at or past its end.
template <typename Traits>
uint32_t peekUnit(const typename Traits::Scanner& s, size_t n) {
  size_t at;
  if (n == 0) {
    if (s.position == 0) return 0;
    at = s.position - 1;
  } else {
    if (s.position >= s.sourceLength || n - 1 >= s.sourceLength - s.position) return 0;
    at = s.position + (n - 1);
  }
  if (at >= s.sourceLength) return 0;
  return static_cast<uint32_t>(static_cast<typename Traits::UnsignedUnit>(s.source[at]));
}

}  // namespace julib::internal::scan

#endif  // JULIB_SRC_TOKENIZER_SETTINGS_H
