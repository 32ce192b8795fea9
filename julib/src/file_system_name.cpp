// Names in the system's form and the bounded copies the file layer uses.

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <cstring>

#include "file_internal.h"
#include "julib/object.h"
#include "platform/utf16.h"

namespace julib::files {
namespace {

bool isUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

size_t wholeCharsWithin(const char* text, size_t n, size_t limit) {
  if (n <= limit) return n;
  size_t at = 0;
  while (at < n) {
    const size_t next = at + charLength(text + at);
    if (next > limit) break;
    at = next;
  }
  return at;
}

size_t wholeCharsWithin(const char16_t* text, size_t n, size_t limit) {
  // Never keep a high surrogate without its partner.
  return platform::utf16::cutAtCharBoundary(std::u16string_view(text, n), limit);
}

Conversion toUtf8(const char16_t* text, size_t units, char* destination, size_t size, size_t* bytes) {
  *bytes = 0;
  // ICU counts in int32_t: a longer text needs more than any block can hold.
  if (units > static_cast<size_t>(INT32_MAX)) {
    *bytes = SIZE_MAX;
    return Conversion::kNoRoom;
  }
  const int32_t room = size > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(size);
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  // Without a substitute character ICU refuses unpaired surrogates.
  u_strToUTF8(room > 0 ? destination : nullptr, room, &length, text, static_cast<int32_t>(units), &status);
  if (status == U_INVALID_CHAR_FOUND || status == U_ILLEGAL_ARGUMENT_ERROR) return Conversion::kInvalid;
  *bytes = static_cast<size_t>(length);
  if (status == U_BUFFER_OVERFLOW_ERROR) return Conversion::kNoRoom;
  return U_FAILURE(status) ? Conversion::kInvalid : Conversion::kDone;
}

SystemName::SystemName(const char16_t* name) {
  if (name == nullptr) return;
  const size_t units = length(name) + 1;  // the terminator converts too
  size_t bytes = 0;
  const Conversion first = toUtf8(name, units, inline_, sizeof inline_, &bytes);
  if (first == Conversion::kDone) {
    name_ = inline_;
    return;
  }
  if (first != Conversion::kNoRoom) return;
  heap_ = static_cast<char*>(juMallocChecked(bytes));
  if (heap_ == nullptr) return;
  if (toUtf8(name, units, heap_, bytes, &bytes) == Conversion::kDone) name_ = heap_;
}

SystemName::~SystemName() { juFree(heap_); }

bool fromSystem(const char* text, size_t n, char* destination, size_t size) {
  if (destination == nullptr || size == 0) return false;
  if (n >= size) {
    destination[0] = '\0';
    return false;
  }
  std::memmove(destination, text, n);
  destination[n] = '\0';
  return true;
}

bool fromSystem(const char* text, size_t n, char16_t* destination, size_t size) {
  if (destination == nullptr || size == 0) return false;
  destination[0] = 0;
  if (n > static_cast<size_t>(INT32_MAX) || size > static_cast<size_t>(INT32_MAX)) return false;
  UErrorCode status = U_ZERO_ERROR;
  int32_t units = 0;
  u_strFromUTF8(destination, static_cast<int32_t>(size), &units, text, static_cast<int32_t>(n), &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) {
    destination[0] = 0;
    return false;
  }
  return true;
}

void copyCut(char* destination, size_t size, const char* text) {
  if (destination == nullptr || size == 0) return;
  size_t n = std::strlen(text);
  if (n >= size) {
    n = size - 1;
    while (n > 0 && isUtf8Continuation(text[n])) --n;
  }
  std::memmove(destination, text, n);
  destination[n] = '\0';
}

void copyCut(char16_t* destination, size_t size, const char16_t* text) {
  if (destination == nullptr || size == 0) return;
  const size_t n = wholeCharsWithin(text, length(text), size - 1);
  std::memmove(destination, text, n * sizeof(char16_t));
  destination[n] = 0;
}

}  // namespace julib::files
