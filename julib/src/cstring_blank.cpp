// Blank tests, the UTF-8 character count and in-place case mapping of whole
// UTF-16 strings.

#include "cstring_internal.h"
#include "julib/cstring.h"
#include "platform/utf16.h"

#include <unicode/uchar.h>

#include <cctype>

using julib::internal::charLenTerminated;
using julib::internal::decodeCounted;
using julib::internal::decodeTerminated;
using julib::internal::isHighSurrogate;
using julib::internal::isLeadByte;
using julib::internal::swapUnit;
using julib::internal::WideChar;

// --- Blank tests -------------------------------------------------------------------

int juStrIsBlank(const char* p) {
  if (std::isspace(static_cast<unsigned char>(*p)) != 0) return 1;
  // The double-byte ideographic space of the Far-East code pages.
  return (static_cast<uint8_t>(p[0]) == 0x81 && isLeadByte(p[0]) && p[1] == 0x40) ? 1 : 0;
}

int juStrIsBlankAt(const char* text, size_t offset) { return juStrIsBlank(text + offset); }

int juWStrIsWhitespace(const char16_t* p) {
  return u_isWhitespace(static_cast<UChar32>(julib::internal::codePointAt(p))) ? 1 : 0;
}

int juWStrIsWhitespaceSwapped(const char16_t* p) {
  // The low unit is read only after a high one, as the unswapped test does.
  const char16_t first = swapUnit(p[0]);
  const char16_t units[3] = {first, isHighSurrogate(first) ? swapUnit(p[1]) : u'\0', u'\0'};
  return juWStrIsWhitespace(units);
}

const char* juStrSkipBlanks(const char* text, JuCodePageKind kind) {
  if (text == nullptr) return nullptr;
  const char* p = text;
  while (*p != '\0' && juStrIsBlank(p)) p += charLenTerminated(p, kind);
  return p;
}

const char16_t* juWStrSkipWhitespace(const char16_t* text) {
  if (text == nullptr) return nullptr;
  const char16_t* p = text;
  while (*p != 0 && juWStrIsWhitespace(p)) p += decodeTerminated(p, 0).units;
  return p;
}

int juStrIsCharAt(const char* start, const char* position, char c) {
  return (*position == c && juDbcsIsInsideChar(start, position) == 0) ? 1 : 0;
}

size_t juUtf8NCharCount(const char* text, size_t n) {
  size_t count = 0;
  size_t offset = 0;
  while (offset < n) {
    const uint8_t lead = static_cast<uint8_t>(text[offset]);
    const size_t len = lead <= 0x7F ? 1 : lead <= 0xDF ? 2 : lead < 0xF0 ? 3 : 4;
    if (len > n - offset) break;
    offset += len;
    ++count;
  }
  return count;
}

// --- Case of whole UTF-16 strings ----------------------------------------------------

namespace {

// Writes the mapped form of one character in place when it keeps the
// character's length; a mapping that would change the length cannot be
// stored in place and leaves the character as it was.
void storeMapped(char16_t* at, WideChar c, UChar32 (*map)(UChar32)) {
  const uint32_t mapped = static_cast<uint32_t>(map(static_cast<UChar32>(c.codePoint)));
  if (mapped == c.codePoint) return;
  if (c.units == 1) {
    if (mapped <= 0xFFFF) at[0] = static_cast<char16_t>(mapped);
    return;
  }
  if (mapped > 0xFFFF) {
    at[0] = platform::utf16::highSurrogateOf(mapped);
    at[1] = platform::utf16::lowSurrogateOf(mapped);
  }
}

// Maps a NUL-terminated text; a high surrogate right before the NUL ends the
// walk unchanged.
void mapTerminated(char16_t* text, UChar32 (*map)(UChar32)) {
  size_t i = 0;
  while (text[i] != 0) {
    if (isHighSurrogate(text[i]) && text[i + 1] == 0) return;
    const WideChar c = decodeTerminated(text, i);
    storeMapped(text + i, c, map);
    i += c.units;
  }
}

}  // namespace

void juWStrLower(char16_t* text) { mapTerminated(text, u_tolower); }

void juWStrUpper(char16_t* text) { mapTerminated(text, u_toupper); }

void juWStrNUpper(char16_t* text, size_t n) {
  for (size_t i = 0; i < n;) {
    const WideChar c = decodeCounted(text, i, n);
    storeMapped(text + i, c, u_toupper);
    i += c.units;
  }
}
