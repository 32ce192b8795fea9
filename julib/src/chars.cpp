// Character primitives: stepping, counting, case mapping and classes of
// narrow characters by code-page kind and of UTF-16 characters.

#include "cstring_internal.h"
#include "julib/cstring.h"
#include "platform/ansi.h"

#include <unicode/uchar.h>

#include <cctype>
#include <cstring>

using julib::internal::charLen;
using julib::internal::charLenTerminated;
using julib::internal::isHighSurrogate;
using julib::internal::isLeadByte;
using julib::internal::isLowSurrogate;

// --- Narrow stepping -------------------------------------------------------------

size_t juCharLen(const char* p, JuCodePageKind kind) { return charLen(p, kind); }

const char* juCharNext(const char* p, JuCodePageKind kind) { return p + charLen(p, kind); }

size_t juCharNextIndex(const char* text, size_t offset, JuCodePageKind kind) {
  return offset + charLen(text + offset, kind);
}

namespace {

// UTF-8 looks back over at most four bytes for a lead byte (0xC0 and up)
// and never before start; a byte it cannot place is a character of its own.
const char* utf8Prev(const char* start, const char* p) {
  auto at = [p](size_t back) { return static_cast<uint8_t>(p[-static_cast<ptrdiff_t>(back)]); };
  if (at(1) >= 0xC0 || p - 1 == start) return p - 1;
  if (at(2) >= 0xC0) return p - 2;
  if (p - 2 == start) return p - 1;
  if (at(3) >= 0xC0) return p - 3;
  if (p - 3 > start && at(4) >= 0xF0) return p - 4;
  return p - 1;
}

}  // namespace

const char* juCharPrev(const char* start, const char* position, JuCodePageKind kind) {
  if (position <= start) return start;
  if (kind == JuCodePageKind::kUtf8) return utf8Prev(start, position);
  return platform::charPrev(start, position);
}

size_t juCharPrevIndex(const char* text, size_t offset, JuCodePageKind kind) {
  return static_cast<size_t>(juCharPrev(text, text + offset, kind) - text);
}

const char* juStrLastChar(const char* text, JuCodePageKind kind) {
  const char* last = text;
  for (const char* p = text; *p != '\0'; p += charLenTerminated(p, kind)) last = p;
  return last;
}

size_t juStrNLastCharIndex(const char* text, size_t n, JuCodePageKind kind) {
  if (n == 0) return 0;
  size_t start = 0;
  for (;;) {
    const size_t next = start + charLen(text + start, kind);
    if (next >= n) return start;
    start = next;
  }
}

int juCharEqual(const char* a, const char* b, JuCodePageKind kind) {
  const size_t len = charLen(a, kind);
  if (len != charLen(b, kind)) return 0;
  for (size_t i = 0; i < len; ++i) {
    if (a[i] != b[i]) return 0;
    // Both characters are cut at the same terminator: nothing after it is
    // theirs to compare.
    if (a[i] == '\0') return 1;
  }
  return 1;
}

// --- UTF-16 stepping -------------------------------------------------------------

const char16_t* juWCharNext(const char16_t* p) { return p + (isHighSurrogate(*p) ? 2 : 1); }

size_t juWCharNextIndex(const char16_t* text, size_t index) {
  return index + (isHighSurrogate(text[index]) ? 2 : 1);
}

const char16_t* juWCharPrev(const char16_t* start, const char16_t* position) {
  if (position <= start) return start;
  if (isLowSurrogate(position[-1])) return position - 1 == start ? start : position - 2;
  return position - 1;
}

size_t juWCharPrevIndex(const char16_t* text, size_t index) {
  if (index == 0) return 0;
  if (isLowSurrogate(text[index - 1])) return index < 2 ? 0 : index - 2;
  return index - 1;
}

size_t juWStrNLastCharIndex(const char16_t* text, size_t n) {
  if (n == 0) return 0;
  if (isLowSurrogate(text[n - 1])) return n == 1 ? 0 : n - 2;
  return n - 1;
}

// --- Counting ----------------------------------------------------------------------

size_t juStrCharCount(const char* text, JuCodePageKind kind, size_t unitLimit) {
  if (text == nullptr) return 0;
  size_t count = 0;
  if (kind == JuCodePageKind::kUtf16) {
    // The text need not be aligned for char16_t: read each unit bytewise.
    for (; count < unitLimit; ++count) {
      char16_t unit;
      std::memcpy(&unit, text + 2 * count, sizeof unit);
      if (unit == 0) break;
    }
    return count;
  }
  for (const char* p = text; *p != '\0'; p += charLenTerminated(p, kind)) ++count;
  return count;
}

size_t juStrNCharCount(const char* text, size_t n, JuCodePageKind kind) {
  if (kind == JuCodePageKind::kUtf16) return n / 2;
  size_t count = 0;
  for (size_t offset = 0; offset < n; offset += charLen(text + offset, kind)) ++count;
  return count;
}

size_t juWStrCharCount(const char16_t* text) {
  size_t count = 0;
  for (const char16_t* p = text; *p != 0; ++count) {
    if (!isHighSurrogate(*p)) {
      ++p;
    } else if (p[1] == 0) {
      return count + 1;  // a high surrogate cut by the terminator still counts
    } else {
      p += 2;
    }
  }
  return count;
}

// --- Case and class ----------------------------------------------------------------

// Values beyond Unicode have no case; ICU would answer the same.
static uint32_t mapByIcu(uint32_t codePoint, UChar32 (*map)(UChar32)) {
  if (codePoint > 0x10FFFF) return codePoint;
  return static_cast<uint32_t>(map(static_cast<UChar32>(codePoint)));
}

uint32_t juCharToLower(uint32_t codePoint) {
  if ((codePoint >= 'A' && codePoint <= 'Z') || (codePoint >= 0xC0 && codePoint <= 0xDE)) return codePoint + 32;
  if (codePoint < 0xFF) return codePoint;
  return mapByIcu(codePoint, u_tolower);
}

uint32_t juCharToUpper(uint32_t codePoint) {
  if ((codePoint >= 'a' && codePoint <= 'z') || (codePoint >= 0xE0 && codePoint <= 0xFE)) return codePoint - 32;
  if (codePoint < 0xFF) return codePoint;
  return mapByIcu(codePoint, u_toupper);
}

int juCharIsAlpha(const char* p, JuCodePageKind kind) {
  return (std::isalpha(static_cast<unsigned char>(*p)) != 0 || charLen(p, kind) > 1) ? 1 : 0;
}

int juCharIsAlnum(const char* p, JuCodePageKind kind) {
  return (juCharIsAlpha(p, kind) != 0 || std::isdigit(static_cast<unsigned char>(*p)) != 0) ? 1 : 0;
}

int juWCharIsAlpha(const char16_t* p) {
  return u_isalpha(static_cast<UChar32>(julib::internal::codePointAt(p))) ? 1 : 0;
}

int juWCharIsAlnum(const char16_t* p) {
  const char16_t unit = *p;
  if ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9')) return 1;
  return u_isalnum(static_cast<UChar32>(julib::internal::codePointAt(p))) ? 1 : 0;
}

// --- Double-byte tests ---------------------------------------------------------------

int juIsLeadByte(const char* p) { return isLeadByte(*p) ? 1 : 0; }

int juIsLeadByteAt(const char* text, size_t offset) { return isLeadByte(text[offset]) ? 1 : 0; }

int juDbcsIsInsideChar(const char* start, const char* position) {
  if (start >= position) return start > position ? 1 : 0;
  const char* p = start;
  while (p < position) p += isLeadByte(*p) ? 2 : 1;
  return p > position ? 1 : 0;
}
