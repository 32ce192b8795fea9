// The ODBC installer binding: its six profile functions, bound at run time,
// and the get and write calls that ODBC.INI requests make through it. All of
// it runs under the profile lock, so that an unbind never frees the library
// under a call and a write's configuration-mode switch is never seen, nor
// undone, by another thread.

#include <climits>

#include "julib/codepage.h"
#include "julib/threads.h"
#include "platform/library.h"
#include "profile_internal.h"

namespace julib::profile {
namespace {

// The installer's types: its truth values are int, its modes unsigned short.
// Its UTF-16 functions are bound but not called: see juInstallerApiBindings.
using GetFunction = int (*)(const char* section, const char* key, const char* fallback, char* buffer, int size,
                            const char* file);
using WriteFunction = int (*)(const char* section, const char* key, const char* value, const char* file);
using GetConfigModeFunction = int (*)(unsigned short* mode);
using SetConfigModeFunction = int (*)(unsigned short mode);

// The entry points in the order they are looked up, with their bits.
enum Entry : size_t { kWriteW, kSetConfigMode, kGetConfigMode, kGetW, kWrite, kGet, kEntryCount };
struct EntryRow {
  const char* name;
  uint32_t bit;
};
constexpr EntryRow kEntries[kEntryCount] = {
    {"SQLWritePrivateProfileStringW", kJuInstallerWriteW},
    {"SQLSetConfigMode", kJuInstallerSetConfigMode},
    {"SQLGetConfigMode", kJuInstallerGetConfigMode},
    {"SQLGetPrivateProfileStringW", kJuInstallerGetW},
    {"SQLWritePrivateProfileString", kJuInstallerWrite},
    {"SQLGetPrivateProfileString", kJuInstallerGet},
};

// Guarded by juProfileLock.
struct Binding {
  platform::LibraryHandle library = nullptr;
  void* entries[kEntryCount] = {};
};
Binding binding;

// The configuration modes.
constexpr unsigned short kModeUser = 1;
constexpr unsigned short kModeSystem = 2;

// The installer's file name for ODBC.INI, whatever name mapped to it.
constexpr const char* kOdbcIni = "ODBC.INI";

// The names and values of the installer's files are at most 1000 bytes (its
// line limit). A listing asked for with this much more room than the caller
// has is complete when it fits the caller; one that was cut by the installer
// cannot fit the caller.
constexpr size_t kInstallerNameRoom = 1024;
constexpr size_t kInstallerMinimumRoom = 4096;

// The "Driver" probe of a write reads 260 characters.
constexpr size_t kProbeChars = 260;

template <typename F>
F entry(Entry e) {
  return reinterpret_cast<F>(binding.entries[e]);
}

void bindLocked() {
  if (binding.library != nullptr) return;
  binding.library = static_cast<platform::LibraryHandle>(juLoadLibrary("odbccp32.dll", 0));
  if (binding.library == nullptr) return;
  for (size_t i = 0; i < kEntryCount; ++i) {
    binding.entries[i] = platform::findFunction(binding.library, kEntries[i].name);
  }
}

// One get through the installer into the caller's buffer (size >= 1). The
// installer is never handed a small buffer: it keeps what it returned for a
// value and gives it again to a later, larger buffer, and it ends a listing
// that does not fit without saying so.
size_t callGet(GetFunction get, const char* section, const char* key, const char* fallback, char* buffer,
               size_t size) {
  Scratch<char, kInstallerMinimumRoom> scratch;
  size_t room = size > static_cast<size_t>(INT_MAX) - kInstallerNameRoom ? static_cast<size_t>(INT_MAX)
                                                                          : size + kInstallerNameRoom;
  if (room < kInstallerMinimumRoom) room = kInstallerMinimumRoom;
  if (!scratch.reserve(room)) {
    buffer[0] = 0;
    return 0;
  }
  char* text = scratch.data();
  // The installer fails a null default; it counts as empty.
  const int got = get(section, key, fallback != nullptr ? fallback : "", text, static_cast<int>(room), kOdbcIni);
  // A failure (-1) reads as nothing found. What follows the result is made
  // terminators, so that no scan runs past it.
  size_t n = got > 0 ? static_cast<size_t>(got) : 0;
  if (n > room - 2) n = room - 2;
  text[n] = 0;
  text[n + 1] = 0;
  if (section == nullptr || key == nullptr) return copyList(buffer, size, text, n);
  return copyValue(buffer, size, text, textLength(text));
}

}  // namespace

bool installerGet(const char* section, const char* key, const char* fallback, char* buffer, size_t size,
                  size_t* length) {
  JuLockGuard guard(juProfileLock);
  bindLocked();
  const auto get = entry<GetFunction>(kGet);
  if (get == nullptr) return false;
  *length = callGet(get, section, key, fallback, buffer, size);
  return true;
}

bool installerCanGet() {
  JuLockGuard guard(juProfileLock);
  bindLocked();
  return binding.entries[kGet] != nullptr;
}

bool installerCanWrite() {
  JuLockGuard guard(juProfileLock);
  bindLocked();
  return binding.entries[kWrite] != nullptr;
}

bool installerWrite(const char* section, const char* key, const char* value, int* result) {
  JuLockGuard guard(juProfileLock);
  bindLocked();
  const auto write = entry<WriteFunction>(kWrite);
  if (write == nullptr) return false;
  const auto get = entry<GetFunction>(kGet);
  const auto getMode = entry<GetConfigModeFunction>(kGetConfigMode);
  const auto setMode = entry<SetConfigModeFunction>(kSetConfigMode);

  unsigned short saved = 0;
  if (getMode != nullptr) (void)getMode(&saved);  // a failure leaves mode 0
  // The user data source when it has a driver, else the system one when it
  // has one, else whatever mode is in force.
  bool found = false;
  if (setMode != nullptr && get != nullptr && !isEmpty(section)) {
    char driver[kProbeChars];
    for (unsigned short mode : {kModeUser, kModeSystem}) {
      (void)setMode(mode);
      if (callGet(get, section, "Driver", "", driver, kProbeChars) > 0) {
        found = true;
        break;
      }
    }
    if (!found) (void)setMode(saved);
  }
  const int written = write(section, key, value, kOdbcIni);
  if (found) (void)setMode(saved);
  *result = written != 0 ? 0 : 1;
  return true;
}

}  // namespace julib::profile

using julib::profile::binding;

void juBindInstallerApi() {
  JuLockGuard guard(juProfileLock);
  julib::profile::bindLocked();
}

void juUnbindInstallerApi() {
  JuLockGuard guard(juProfileLock);
  platform::freeLibrary(binding.library);
  binding = julib::profile::Binding();
}

uint32_t juInstallerApiBindings() {
  JuLockGuard guard(juProfileLock);
  if (binding.library == nullptr) return 0;
  uint32_t bits = kJuInstallerLibrary;
  for (size_t i = 0; i < julib::profile::kEntryCount; ++i) {
    if (binding.entries[i] != nullptr) bits |= julib::profile::kEntries[i].bit;
  }
  return bits;
}
