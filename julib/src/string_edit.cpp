// Narrow string rewrites: quoting and unquoting, braces, line splitting,
// trailing line breaks, comment stripping, wrapping and joining.

#include "julib/strings.h"
#include "string_edits.h"
#include "string_lines.h"
#include "string_scans.h"

namespace ji = julib::internal;

// ---------------------------------------------------------------------------
// From a view into a destination
// ---------------------------------------------------------------------------

int JuSubString::unbraceInto(JuString& destination) const { return ji::unbraceText(*this, destination); }

int JuSubString::unquoteInto(JuString& destination, char quote) const {
  return ji::unquoteText(*this, destination, quote);
}

int JuSubString::splitLines(JuArray& lines) const { return ji::splitLinesOf(*this, lines); }

// ---------------------------------------------------------------------------
// Quoting
// ---------------------------------------------------------------------------

int JuString::appendQuoted(const JuSubString& view, char q) { return ji::appendQuotedText(*this, view, q); }

int JuString::quote(char q) { return ji::quoteInPlace(*this, q); }

size_t JuString::unquote() { return ji::unquoteInPlace(*this); }

// ---------------------------------------------------------------------------
// Line breaks and comments
// ---------------------------------------------------------------------------

int JuString::ensureTrailingLineBreaks(size_t n) { return ji::ensureTrailingBreaks(*this, n); }

// "--" comments run to the CR LF (which stays) or the end; "/* */" comments
// run through "*/" or to the end. Quotes are not honoured. The search for
// "*/" starts at the slash of "/*", so "/*/" is a whole comment.
int JuString::stripComments() {
  struct Comment {
    const char* open;
    const char* close;
    size_t closeKept;  // units of the closing text that stay
  };
  static constexpr Comment kComments[] = {{"--", "\r\n", 2}, {"/*", "*/", 0}};
  for (const Comment& comment : kComments) {
    for (;;) {
      const size_t before = length;
      const size_t a = find(comment.open, 0);
      const size_t b = find(comment.close, a);
      if (a < b) {
        const size_t end = b < before ? b + 2 - comment.closeKept : before;
        (void)replace(a, end - a, nullptr, 0);  // a deletion needs no room
      }
      if (b >= before) break;
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Wrapping and joining
// ---------------------------------------------------------------------------

int JuString::wrap(size_t width, char q1, char q2, char q3) { return ji::wrapText(*this, width, q1, q2, q3); }

int JuString::joinLines(char q1, char q2, char q3) { return ji::joinText(*this, ji::Separator::kCrLf, q1, q2, q3); }

int JuString::joinLineBreaks(char q1, char q2, char q3) {
  return ji::joinText(*this, ji::Separator::kLineBreak, q1, q2, q3);
}

int JuString::joinTabs(char q1, char q2, char q3) { return ji::joinText(*this, ji::Separator::kTab, q1, q2, q3); }
