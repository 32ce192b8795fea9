// Questions about a code page: whether ICU has a converter for an id and its
// widest character, the kind selector, and how many bytes UTF-16 text takes
// in a Windows code page.

#include <unicode/ucnv.h>

#include <climits>

#include "julib/codepage.h"
#include "platform/ansi.h"

namespace {

// The converter of an id, or null. Id 0 is ICU's default converter; any
// other id without a name has no converter (a null name would silently
// open the default one).
UConverter* openById(int64_t id) {
  const char* name = nullptr;
  if (id != 0) {
    name = juCodePageIdToName(id);
    if (name == nullptr) return nullptr;
  }
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name, &error);
  return U_SUCCESS(error) ? converter : nullptr;
}

}  // namespace

int juCodePageIsSupported(int64_t id) {
  UConverter* converter = openById(id);
  if (converter == nullptr) return 0;
  ucnv_close(converter);
  return 1;
}

int juCodePageMaxCharSize(int64_t id) {
  UConverter* converter = openById(id);
  if (converter == nullptr) return 0;
  const int size = ucnv_getMaxCharSize(converter);
  ucnv_close(converter);
  return size;
}

int64_t juKindSelect(uint32_t kind, int64_t value) { return kind <= 3 ? value : 0; }

// --- Lengths in a Windows code page -------------------------------------------

size_t juWStrNCodePageLength(uint32_t windowsCodePage, const char16_t* text, size_t n) {
  // One conversion call counts at most INT_MAX units; longer text has no
  // answer rather than a wrong one.
  if (text == nullptr || n == 0 || n > static_cast<size_t>(INT_MAX)) return 0;
  const int bytes = platform::wideToMultiByte(windowsCodePage, text, static_cast<int>(n), nullptr, 0);
  return bytes > 0 ? static_cast<size_t>(bytes) : 0;
}

size_t juWStrCodePageLength(uint32_t windowsCodePage, const char16_t* text) {
  return juWStrNCodePageLength(windowsCodePage, text, juWStrLen(text));
}

size_t juWStrNAnsiLength(const char16_t* text, size_t n) {
  return juWStrNCodePageLength(platform::ansiCodePage(), text, n);
}

size_t juWStrAnsiLength(const char16_t* text) { return juWStrNAnsiLength(text, juWStrLen(text)); }
