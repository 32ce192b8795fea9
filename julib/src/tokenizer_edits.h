// The tokenizer's steps that edit the bound string and set the scanner's
// position: replacing and inserting text at a token, pointing a token at a
// range, rewinding to a token. Internal to the library.
#ifndef JULIB_SRC_TOKENIZER_EDITS_H
#define JULIB_SRC_TOKENIZER_EDITS_H

#include "tokenizer_steps.h"

#include <cstddef>

namespace julib::internal::scan {

// ---------------------------------------------------------------------------
// Editing the bound string
// ---------------------------------------------------------------------------

// Without a bound string, or for a token outside its text, nothing changes
// and 1 is returned without a message: both are errors of the caller.
// Positions after the replaced range move with its end; one inside it goes to
// the end of the new text.
template <typename Traits>
int Steps<Traits>::replaceToken(Token& token, const View& text) {
  if (s_.bound == nullptr || !inBound(token)) return 1;
  const size_t n = text.data == nullptr ? 0 : text.length;
  // A null text deletes; an empty one with a pointer would be measured.
  if (s_.bound->replace(token.position, token.length, n == 0 ? nullptr : text.data, n) != 0) return 1;
  const size_t end = token.position + token.length;
  if (s_.position >= end) {
    s_.position = s_.position - token.length + n;
  } else if (s_.position > token.position) {
    s_.position = token.position + n;
  }
  sourceFromBound();
  return 0;
}

template <typename Traits>
int Steps<Traits>::insertBeforeToken(Token& token, const View& text) {
  if (s_.bound == nullptr || !inBound(token)) return 1;
  const size_t n = text.data == nullptr ? 0 : text.length;
  if (n == 0) return 0;
  if (s_.bound->replace(token.position, 0, text.data, n) != 0) return 1;
  if (s_.position >= token.position) s_.position += n;
  sourceFromBound();
  Traits::point(s_, token, token.position + n, token.length);
  token.position += n;
  return 0;
}

// ---------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------

// A range reaching past the source is cut to it, so the view never does.
template <typename Traits>
void Steps<Traits>::setTokenAt(Token& token, size_t position, size_t length) {
  const size_t at = position < s_.sourceLength ? position : s_.sourceLength;
  const size_t room = s_.sourceLength - at;
  Traits::point(s_, token, at, length < room ? length : room);
  token.type = kJuTokenNone;
  token.position = at;
}

// A token from beyond the source rewinds to its end.
template <typename Traits>
size_t Steps<Traits>::rewindTo(const Token& token) {
  s_.position = token.position < s_.sourceLength ? token.position : s_.sourceLength;
  s_.options &= ~kJuScanEndState;
  s_.lastCharLength = 0;
  return s_.position;
}

}  // namespace julib::internal::scan

#endif  // JULIB_SRC_TOKENIZER_EDITS_H
