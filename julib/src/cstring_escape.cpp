// XML escaping and character-set tests of narrow text.

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"

#include <cstring>

namespace {

// The entity that stands for a byte, or null when the byte is kept.
const char* xmlEntity(char c) {
  switch (c) {
    case '"':
      return "&quot;";
    case '&':
      return "&amp;";
    case '\'':
      return "&apos;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return nullptr;
  }
}

constexpr size_t kLongestEntity = 6;

int refuseTooLong(char** out) {
  *out = nullptr;
  juPostError(kJuMsgStringTooLarge);
  return 1;
}

}  // namespace

int juStrXmlEscape(const char* text, char** out, uint16_t* outLength) {
  if (text == nullptr) return 1;
  *outLength = 0;
  // The escaped length travels in 16 bits: a text that cannot fit is refused
  // rather than handed out with a count that wrapped. The bound also keeps
  // the buffer size far from overflow.
  const size_t length = std::strlen(text);
  if (length > UINT16_MAX) return refuseTooLong(out);
  auto* buffer = static_cast<char*>(juMallocChecked(kLongestEntity * length + 1));
  if (buffer == nullptr) {  // out of memory already recorded
    *out = nullptr;
    return 1;
  }
  char* end = buffer;
  for (const char* p = text; *p != '\0'; ++p) {
    if (const char* entity = xmlEntity(*p)) {
      const size_t n = std::strlen(entity);
      std::memcpy(end, entity, n);
      end += n;
    } else {
      *end++ = *p;
    }
  }
  *end = '\0';
  const size_t escaped = static_cast<size_t>(end - buffer);
  if (escaped > UINT16_MAX) {
    juFree(buffer);
    return refuseTooLong(out);
  }
  *out = buffer;
  *outLength = static_cast<uint16_t>(escaped);
  return 0;
}

namespace {

// Whether a character, by its first byte, belongs to the set or to one of
// the classes that the flags choose. The terminator of the set is no member.
bool inCharSet(char c, const char* set, uint32_t flags, JuCodePageKind kind) {
  if (c != '\0' && set != nullptr && juStrFindChar(set, c, kind) != nullptr) return true;
  if ((flags & kJuCharsLower) != 0 && c >= 'a' && c <= 'z') return true;
  if ((flags & kJuCharsUpper) != 0 && c >= 'A' && c <= 'Z') return true;
  return (flags & kJuCharsDigits) != 0 && c >= '0' && c <= '9';
}

}  // namespace

int juStrNAllCharsIn(const char* text, size_t n, const char* allowed, uint32_t flags, JuCodePageKind kind) {
  for (size_t i = 0; i < n; i = juCharNextIndex(text, i, kind)) {
    if (!inCharSet(text[i], allowed, flags, kind)) return 0;
  }
  return 1;
}

int juStrNNoCharsIn(const char* text, size_t n, const char* set, uint32_t flags, JuCodePageKind kind) {
  for (size_t i = 0; i < n; i = juCharNextIndex(text, i, kind)) {
    if (inCharSet(text[i], set, flags, kind)) return 0;
  }
  return 1;
}
