// The trace settings: keys of the section "ODBC" of ODBC.INI, read through
// the ODBC installer, or through a reader a test puts in its place.

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "julib/codepage.h"
#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/profile.h"
#include "platform/library.h"
#include "trace.h"

namespace {

// Numeric settings are read into buffers of this many bytes.
constexpr size_t kNumberSettingBytes = 1000;

// ---------------------------------------------------------------------------
// The installer's own get.
// ---------------------------------------------------------------------------

// "TraceOptions" is read for every record. The installer keeps its files in
// a cache of its own, so asking it costs little; the profile layer's way
// there (the texts to UTF-16 and UTF-8, the answer back through UTF-16 to
// the ANSI code page, the profile lock twice) costs several times more. A
// plain ASCII answer reads alike in every code page, so it is taken from the
// installer straight; any other answer, and every read without the
// installer, takes the profile layer's route.
using InstallerGet = int (*)(const char* section, const char* key, const char* fallback, char* buffer, int size,
                             const char* file);

// The room the installer is given, as the profile layer gives it for values
// of up to kPlainValueMaxSize bytes: the installer hands out what it cached
// for a key and a size, so both ask alike.
constexpr size_t kInstallerRoom = 4096;
constexpr size_t kPlainValueMaxSize = 1024;

// Bound once; the library stays loaded for the process.
InstallerGet installerGet() {
  static const InstallerGet get = [] {
    auto* library = static_cast<platform::LibraryHandle>(juLoadLibrary("odbccp32.dll", 0));
    return library != nullptr
               ? reinterpret_cast<InstallerGet>(platform::findFunction(library, "SQLGetPrivateProfileString"))
               : nullptr;
  }();
  return get;
}

// The value as the profile layer would give it, when it is plain ASCII;
// false to take the profile layer's route.
bool readPlainValue(const char* key, const char* fallback, char* buffer, size_t size, size_t* length) {
  const InstallerGet get = installerGet();
  if (get == nullptr || size < 2 || size > kPlainValueMaxSize) return false;
  char text[kInstallerRoom];
  // A failure (-1) reads as nothing found, as it does on the layer's route.
  const int got = get("ODBC", key, fallback != nullptr ? fallback : "", text, static_cast<int>(sizeof text),
                      "ODBC.INI");
  size_t n = got > 0 ? static_cast<size_t>(got) : 0;
  if (n > sizeof text - 2) n = sizeof text - 2;
  text[n] = '\0';
  n = std::strlen(text);
  for (size_t i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  const size_t take = n < size - 1 ? n : size - 1;
  std::memcpy(buffer, text, take);
  buffer[take] = '\0';
  *length = take;
  return true;
}

size_t readFromOdbcIni(const char* key, const char* fallback, char* buffer, size_t size) {
  size_t length = 0;
  if (readPlainValue(key, fallback, buffer, size, &length)) return length;
  return juGetPrivateProfileString("ODBC", key, fallback, buffer, size, "ODBC.INI", 0);
}

std::atomic<TraceSettingReader> settingReader{readFromOdbcIni};

// Removes what a failed parse posted, so that a setting that does not parse
// leaves no trace on the thread's list. Errors that were there before stay.
class ParseErrorScope {
 public:
  ParseErrorScope() : list_(JuErrorList::current()), before_(list_ != nullptr ? list_->count : 0) {}

  void discardNew() {
    if (list_ == nullptr || list_ != JuErrorList::current()) return;
    // With an out-of-memory mark pending, removing would answer the mark
    // instead of the parser's error: leave both.
    while (list_->count > before_ && list_->pendingOutOfMemory == 0) list_->discardLast();
  }

 private:
  JuErrorList* list_;
  uint64_t before_;
};

// A numeric setting read by `parse`, one of the 64-bit decimal parsers.
template <typename T>
T readNumberSetting(const char* key, const char* fallback, T unparsable, int (*parse)(const char*, T*)) {
  char text[kNumberSettingBytes];
  TraceReadSetting(key, fallback, text, sizeof text);
  ParseErrorScope scope;
  T value = 0;
  if (parse(text, &value) == 0) return value;
  scope.discardNew();
  return unparsable;
}

}  // namespace

void TraceSetSettingReaderForTesting(TraceSettingReader reader) {
  settingReader.store(reader != nullptr ? reader : readFromOdbcIni, std::memory_order_release);
  TraceForgetLineMode();
}

bool TraceSettingsFromInstaller() {
  return settingReader.load(std::memory_order_acquire) == readFromOdbcIni;
}

size_t TraceReadSetting(const char* key, const char* fallback, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  const size_t n = settingReader.load(std::memory_order_acquire)(key, fallback, buffer, size);
  // Whatever the reader did, the text ends inside the buffer.
  buffer[size - 1] = '\0';
  return n < size ? n : size - 1;
}

uint64_t TraceReadUnsignedSetting(const char* key, const char* fallback, uint64_t unparsable) {
  return readNumberSetting(key, fallback, unparsable, juStrToUInt64);
}

int64_t TraceReadSignedSetting(const char* key, const char* fallback, int64_t unparsable) {
  return readNumberSetting(key, fallback, unparsable, juStrToInt64);
}

void TraceReadNumberSettings(size_t first, size_t end, uint64_t values[kTraceNumberCount]) {
  for (size_t i = first; i < end && i < kTraceNumberCount; ++i) {
    const TraceNumberSetting& setting = kTraceNumberSettings[i];
    char fallback[24];  // the default's text: 20 digits at most
    std::snprintf(fallback, sizeof fallback, "%" PRIu64, setting.defaultValue);
    values[i] = setting.range == TraceNumberRange::kSigned64
                    ? static_cast<uint64_t>(
                          TraceReadSignedSetting(setting.key, fallback, static_cast<int64_t>(setting.defaultValue)))
                    : TraceReadUnsignedSetting(setting.key, fallback, setting.defaultValue);
  }
}
