// The trace settings: keys of the section "ODBC" of ODBC.INI, read through
// the ODBC installer, or through a reader a test puts in its place.

#include <atomic>

#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/profile.h"
#include "trace.h"

namespace {

// Numeric settings are read into buffers of this many bytes.
constexpr size_t kNumberSettingBytes = 1000;

size_t readFromOdbcIni(const char* key, const char* fallback, char* buffer, size_t size) {
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

}  // namespace

void TraceSetSettingReaderForTesting(TraceSettingReader reader) {
  settingReader.store(reader != nullptr ? reader : readFromOdbcIni, std::memory_order_release);
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
  char text[kNumberSettingBytes];
  TraceReadSetting(key, fallback, text, sizeof text);
  ParseErrorScope scope;
  uint64_t value = 0;
  if (juStrToUInt64(text, &value) == 0) return value;
  scope.discardNew();
  return unparsable;
}

int64_t TraceReadSignedSetting(const char* key, const char* fallback, int64_t unparsable) {
  char text[kNumberSettingBytes];
  TraceReadSetting(key, fallback, text, sizeof text);
  ParseErrorScope scope;
  int64_t value = 0;
  if (juStrToInt64(text, &value) == 0) return value;
  scope.discardNew();
  return unparsable;
}
