// juLoadLibrary / juLoadLibraryW: a library by name, or by a name beside the
// resource module.

#include <unicode/ustring.h>

#include <cstring>

#include "julib/codepage.h"
#include "julib/threads.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace {

constexpr size_t kNameBytes = 260;

// Appends `text` to the name being built; false when it does not fit (a cut
// name could load another library).
bool appendBounded(char* buffer, size_t* length, const char* text) {
  const size_t n = std::strlen(text);
  if (*length + n >= kNameBytes) return false;
  std::memcpy(buffer + *length, text, n + 1);
  *length += n;
  return true;
}

void* load(const char* name, int flag) {
  if (name == nullptr) return nullptr;
  char buffer[kNameBytes] = {};
  size_t length = 0;
  if (flag != 0) {
    // "<directory of the resource module>/<name>10.DLL": the library's own
    // companion modules lie beside it.
    char module[kNameBytes];
    const size_t n = platform::moduleFileName(juResourceModule.load(std::memory_order_acquire), module, kNameBytes);
    if (n == 0 || n >= kNameBytes) return nullptr;
    length = platform::directoryLength(std::string_view(module, n));
    std::memcpy(buffer, module, length);
    if (!appendBounded(buffer, &length, name) || !appendBounded(buffer, &length, "10") ||
        !appendBounded(buffer, &length, ".DLL")) {
      return nullptr;
    }
  } else if (!appendBounded(buffer, &length, name)) {
    return nullptr;
  }
  return platform::loadLibrary(buffer);
}

}  // namespace

void* juLoadLibrary(const char* name, int flag) { return load(name, flag); }

void* juLoadLibraryW(const char16_t* name, int flag) {
  if (name == nullptr) return nullptr;
  // Names from this system are UTF-8.
  char utf8[kNameBytes];
  int32_t n = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8(utf8, sizeof utf8, &n, reinterpret_cast<const UChar*>(name), -1, &status);
  if (U_FAILURE(status) || status == U_STRING_NOT_TERMINATED_WARNING) return nullptr;
  return load(utf8, flag);
}
