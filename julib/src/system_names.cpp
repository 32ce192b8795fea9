// The computer's and user's names, environment variables and true texts.
//
// Names come from the system as UTF-8 (whatever the ANSI mode): the narrow
// forms give those bytes, the UTF-16 forms convert them.

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <cstring>

#include "file_internal.h"
#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"
#include "platform/files.h"

namespace {

// The buffers the names are read into, terminator included.
constexpr size_t kDnsNameBytes = 1537;
constexpr size_t kUserNameBytes = 257;
// A short computer name holds at most 15 characters.
constexpr size_t kShortNameLimit = 15;

// Environment values are read into this many bytes first; a longer one gets
// a block of its own.
constexpr size_t kValueBytes = 1024;

using NameReader = platform::ErrorNumber (*)(char*, size_t);

// The host name cut to its first label and the short-name limit.
platform::ErrorNumber shortHostName(char* buffer, size_t size) {
  const platform::ErrorNumber error = platform::hostName(buffer, size);
  if (error != platform::kErrorNone) return error;
  char* dot = std::strchr(buffer, '.');
  if (dot != nullptr) *dot = '\0';
  julib::files::copyCut(buffer, kShortNameLimit + 1, buffer);
  return platform::kErrorNone;
}

template <typename Unit>
int getName(NameReader read, size_t bytes, uint16_t failure, Unit* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  char name[kDnsNameBytes];
  platform::ErrorNumber error = read(name, bytes);
  if (error == platform::kErrorNone) {
    if constexpr (sizeof(Unit) == 1) {
      julib::files::copyCut(buffer, size, name);
      return 0;
    } else {
      char16_t wide[kDnsNameBytes];
      if (julib::files::fromSystem(name, std::strlen(name), wide, kDnsNameBytes)) {
        julib::files::copyCut(buffer, size, wide);
        return 0;
      }
      error = platform::kErrorIllegalSequence;
    }
  }
  juPostError(failure)->addParam(error);
  return 1;
}

// n bytes of UTF-8 into `buffer` of `size` units when they fit; a value that
// does not fit leaves the buffer alone.
bool convertValue(const char* value, size_t n, char16_t* buffer, size_t size) {
  if (n > static_cast<size_t>(INT32_MAX)) return false;
  UErrorCode status = U_ZERO_ERROR;
  int32_t units = 0;
  u_strFromUTF8(nullptr, 0, &units, value, static_cast<int32_t>(n), &status);
  if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) return false;
  if (static_cast<size_t>(units) >= size) return false;
  status = U_ZERO_ERROR;
  u_strFromUTF8(buffer, units + 1, &units, value, static_cast<int32_t>(n), &status);
  return U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING;
}

}  // namespace

int juGetComputerNameDns(char* buffer, size_t size) {
  return getName(platform::hostName, kDnsNameBytes, kJuMsgComputerNameFailed, buffer, size);
}

int juGetComputerNameDnsW(char16_t* buffer, size_t size) {
  return getName(platform::hostName, kDnsNameBytes, kJuMsgComputerNameFailed, buffer, size);
}

int juGetComputerName(char* buffer, size_t size) {
  return getName(shortHostName, kDnsNameBytes, kJuMsgComputerNameFailed, buffer, size);
}

int juGetComputerNameW(char16_t* buffer, size_t size) {
  return getName(shortHostName, kDnsNameBytes, kJuMsgComputerNameFailed, buffer, size);
}

int juGetUserName(char* buffer, size_t size) {
  return getName(platform::userName, kUserNameBytes, kJuMsgUserNameFailed, buffer, size);
}

int juGetUserNameW(char16_t* buffer, size_t size) {
  return getName(platform::userName, kUserNameBytes, kJuMsgUserNameFailed, buffer, size);
}

// ---------------------------------------------------------------------------
// Environment.
// ---------------------------------------------------------------------------

char* juGetEnv(const char* name, char* buffer, size_t size) {
  if (name == nullptr || buffer == nullptr) return nullptr;
  const size_t n = platform::environmentVariable(name, buffer, size);
  if (n == platform::kNoVariable || n == 0 || n >= size) return nullptr;
  return buffer;
}

char16_t* juGetEnvW(const char16_t* name, char16_t* buffer, size_t size) {
  if (name == nullptr || buffer == nullptr || size == 0) return nullptr;
  const julib::files::SystemName system(name);
  if (system.get() == nullptr) return nullptr;
  char small[kValueBytes];
  char* value = small;
  char* block = nullptr;
  size_t n = platform::environmentVariable(system.get(), small, sizeof small);
  if (n == platform::kNoVariable || n == 0) return nullptr;
  if (n >= sizeof small) {
    block = static_cast<char*>(juMallocChecked(n + 1));
    if (block == nullptr) return nullptr;
    const size_t again = platform::environmentVariable(system.get(), block, n + 1);
    if (again == platform::kNoVariable || again == 0 || again > n) {  // changed meanwhile
      juFree(block);
      return nullptr;
    }
    value = block;
    n = again;
  }
  char16_t* result = convertValue(value, n, buffer, size) ? buffer : nullptr;
  juFree(block);
  return result;
}

int juIsTrueText(const char* text) {
  if (text == nullptr) return 0;
  const char first = text[0];
  if (first == '1' || first == 'T' || first == 't') return 1;
  return (first == 'O' || first == 'o') && (text[1] == 'N' || text[1] == 'n') ? 1 : 0;
}
