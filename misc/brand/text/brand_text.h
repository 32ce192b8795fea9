// Heap texts of the branding tool: copies, UTF-8 <-> UTF-16, lower-casing of
// UTF-8 names, joining, and the "%s" formatting of the tool's messages.
//
// Every function that allocates uses the library's allocator and returns null
// (out of memory recorded on the error list) when it cannot; a null text
// reads as empty.
#ifndef BRAND_TEXT_BRAND_TEXT_H
#define BRAND_TEXT_BRAND_TEXT_H

#include <cstddef>
#include <cstdint>

class JuStringW;

namespace brandtext {

// The text, or "" for null.
inline const char* orEmpty(const char* text) { return text != nullptr ? text : ""; }
inline const char16_t* orEmpty(const char16_t* text) { return text != nullptr ? text : u""; }

// A heap copy of the first n bytes (or of the whole NUL-terminated text)
// and a NUL. Null for a null text.
char* copy(const char* text, size_t n);
char* copy(const char* text);
char16_t* copy(const char16_t* text);

// UTF-8 as a heap UTF-16 text; a malformed sequence becomes U+FFFD, so no
// byte is ever taken as a character of the ANSI code page.
//   widenUtf8("Soci\xC3\xA9t\xC3\xA9") -> u"Soci\u00E9t\u00E9"
char16_t* widenUtf8(const char* text);
// UTF-16 as a heap UTF-8 text; a lone surrogate becomes U+FFFD.
char* toUtf8(const char16_t* text, size_t units);

// Lower-cases UTF-8 in place, character by character; a character whose
// lower-case form takes another number of bytes, and a malformed byte, stay.
//   "AB\xC3\x89.DLL" -> "ab\xC3\xA9.dll"
void lowerUtf8(char* text);

// The NUL-terminated parts joined into one heap text (null parts are empty).
//   join({"ab", nullptr, "c"}, 3) -> "abc"
char* join(const char* const* parts, size_t count);
inline char* join(const char* first, const char* second) {
  const char* parts[] = {first, second};
  return join(parts, 2);
}

// Each "%s" of `pattern`, in order, filled by the next UTF-8 parameter (a
// "%s" beyond the parameters stays as it is) into `out`. 0, or 1 when `out`
// cannot grow (out of memory recorded).
//   format(out, u"The file %s could not be copied.", {"a.dll"}, 1)
[[nodiscard]] int format(JuStringW& out, const char16_t* pattern, const char* const* params, size_t count);

}  // namespace brandtext

#endif  // BRAND_TEXT_BRAND_TEXT_H
