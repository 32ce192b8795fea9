// JuReplaceString: an editing cursor that rewrites a JuString from front to
// back. The target's buffer holds the text written so far, a gap, and the
// text not yet read; the cursor's view is the unread text.

#include "julib/strings.h"
#include "string_cursor.h"

namespace ji = julib::internal;

JuReplaceString::JuReplaceString(JuString& target)
    : JuSubString(target.data, target.length, target.kind), target(&target) {}

JuReplaceString::~JuReplaceString() { ji::cursorEndEdit(*this); }

int JuReplaceString::write(const char* s, size_t n) { return ji::cursorWrite(*this, s, n); }

int JuReplaceString::writeQuoted(const char* s, size_t n, char quote) {
  return ji::cursorWriteQuoted(*this, s, n, quote);
}

void JuReplaceString::unwriteTo(size_t position) { ji::cursorUnwrite(*this, position); }
