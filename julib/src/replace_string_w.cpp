// JuReplaceStringW: the UTF-16 editing cursor, in units; the twin of
// JuReplaceString.

#include "julib/strings.h"
#include "string_cursor.h"

namespace ji = julib::internal;

JuReplaceStringW::JuReplaceStringW(JuStringW& target) : JuSubStringW(target.data, target.length), target(&target) {}

JuReplaceStringW::~JuReplaceStringW() { ji::cursorEndEdit(*this); }

int JuReplaceStringW::write(const char16_t* s, size_t n) { return ji::cursorWrite(*this, s, n); }

int JuReplaceStringW::writeQuoted(const char16_t* s, size_t n, char16_t quote) {
  return ji::cursorWriteQuoted(*this, s, n, quote);
}

void JuReplaceStringW::unwriteTo(size_t position) { ji::cursorUnwrite(*this, position); }
