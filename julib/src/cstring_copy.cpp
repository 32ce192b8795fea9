// Narrow copies, length and byte order. Copies return the position of the
// terminator they wrote.

#include "julib/cstring.h"
#include "julib/object.h"

#include <cstring>

size_t juStrLen(const char* text) { return text == nullptr ? 0 : std::strlen(text); }

char* juStrCopy(char* dst, const char* src) { return juStrNCopy(dst, src, std::strlen(src)); }

char* juStrCat(char* dst, const char* src) { return juStrCopy(dst + std::strlen(dst), src); }

char* juStrNCopy(char* dst, const char* src, size_t n) {
  if (n != 0) std::memmove(dst, src, n);
  dst[n] = '\0';
  return dst + n;
}

char* juStrNCat(char* dst, const char* src, size_t n) { return juStrNCopy(dst + std::strlen(dst), src, n); }

int juStrCompare(const char* a, const char* b) {
  const int order = std::strcmp(a, b);  // compares as unsigned char
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

char* juStrCopyBounded(char* dst, size_t size, const char* src) {
  if (size == 0) return dst;
  // strnlen: the source is read no further than what can be copied.
  return juStrNCopy(dst, src, strnlen(src, size - 1));
}

char* juStrNCopyBounded(char* dst, size_t size, const char* src, size_t n) {
  if (size == 0) return dst;
  return juStrNCopy(dst, src, n < size - 1 ? n : size - 1);
}

char* juStrNDup(const char* src, size_t n) {
  if (n == SIZE_MAX) {  // no room for the terminator
    juReportOutOfMemory();
    return nullptr;
  }
  auto* copy = static_cast<char*>(juMallocChecked(n + 1));
  if (copy == nullptr) return nullptr;
  juStrNCopy(copy, src, n);
  return copy;
}
