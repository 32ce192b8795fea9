// Every per-call export of the trace library, through TraceCall and
// TraceReturn, with arguments the input chooses: integers, special lengths,
// and pointers that are null, valid, read-only, inaccessible (PROT_NONE),
// unmapped or straddle two of those, over page contents the input also
// fills; sometimes with type codes the input chooses instead of the
// export's. Records go to the memory sink. Nothing may fault, and no
// password given to a connect call may reach the log.
//
// Input: function selector, return-code selector, type-code flag, then one
// selector (and its bytes) per argument; the rest fills the pages.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export_table.h"
#include "julib/errors.h"
#include "sinks.h"
#include "trace.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

size_t readSetting(const char* key, const char* fallback, char* buffer, size_t size) {
  const char* value = fallback;
  if (std::strcmp(key, "ODBCTraceMode") == 0) value = "2";          // the memory sink
  if (std::strcmp(key, "ODBCTraceMemBuffSize") == 0) value = "256";  // KiB, reused round
  if (std::strcmp(key, "TraceOptions") == 0) value = "0";
  const size_t n = std::min(std::strlen(value), size - 1);
  std::memcpy(buffer, value, n);
  buffer[n] = '\0';
  return n;
}

std::vector<TraceFunction> functions;

// Three pages: writable, read-only, inaccessible.
size_t page = 0;
char* pages = nullptr;
char* writable() { return pages; }
char* readOnly() { return pages + page; }
char* inaccessible() { return pages + 2 * page; }
// Below the lowest address the kernel maps.
constexpr uint64_t kUnmapped = 0x8000;

uint64_t address(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint64_t bytes(size_t n) {
    uint64_t value = 0;
    for (size_t i = 0; i < n; ++i) value |= uint64_t{byte()} << (8 * i);
    return value;
  }
  const uint8_t* rest() const { return data_ + at_; }
  size_t left() const { return size_ - at_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One argument value of the input's choosing.
uint64_t argumentValue(Input& in) {
  const uint8_t selector = in.byte();
  const uint64_t offset = in.bytes(2) % page;
  switch (selector % 16) {
    case 0:
      return 0;
    case 1:
      return in.bytes(1);
    case 2:
      return in.bytes(2);
    case 3:
      return in.bytes(4);
    case 4:
      return in.bytes(8);
    case 5:
      return static_cast<uint64_t>(int64_t{-3});  // SQL_NTS
    case 6:
      return static_cast<uint64_t>(-static_cast<int64_t>(in.bytes(1)));
    case 7:
      return address(writable() + offset);
    case 8:
      return address(readOnly() + offset);
    case 9:
      return address(inaccessible() + offset);
    case 10:
      return kUnmapped + offset;
    case 11:  // writable running into read-only
      return address(readOnly() - 1 - offset % 16);
    case 12:  // read-only running into inaccessible
      return address(inaccessible() - 1 - offset % 16);
    case 13:
      return address(writable() + page - 1 - offset % 64);
    case 14:
      return UINT64_MAX - offset;
    default:
      return address(readOnly() + page - 1 - offset % 64);
  }
}

// A password that only the password arguments of the connect calls point
// to; it must never reach the log.
constexpr char kSecret[] = "Xq7Zp9";
char narrowSecret[64];
char16_t wideSecret[64];

// A connect string of the input's bytes (braces and NULs replaced, so the
// password key stands as a key, and the secret's first letter, so only the
// password holds it), then the password key and its value; each
// at the start of a page of its own with an inaccessible page after it, so
// that a length past the string reads zeros, then nothing.
constexpr size_t kConnectUnits = 512;
char* narrowConnect = nullptr;
char16_t* wideConnect = nullptr;

void fillSecrets(Input& in) {
  const size_t prefix = std::min<size_t>(in.byte(), kConnectUnits - 32);
  size_t n = 0;
  for (; n < prefix; ++n) {
    char c = static_cast<char>(in.byte());
    if (c == '{' || c == '}' || c == '\0' || c == kSecret[0]) c = 'x';
    narrowConnect[n] = c;
  }
  const std::string tail = std::string(";PWD=") + kSecret + ";UID=u";
  std::memcpy(narrowConnect + n, tail.c_str(), tail.size() + 1);
  for (size_t i = 0; i <= n + tail.size(); ++i) wideConnect[i] = static_cast<unsigned char>(narrowConnect[i]);
  std::memcpy(narrowSecret, kSecret, sizeof kSecret);
  for (size_t i = 0; i < sizeof kSecret; ++i) wideSecret[i] = static_cast<unsigned char>(kSecret[i]);
}

// Points the password arguments of a connect call at the secrets; false
// for every other function.
bool plantSecrets(const TraceFunction& function, uint64_t* values) {
  const uint64_t secret = function.wide != 0 ? address(wideSecret) : address(narrowSecret);
  const uint64_t connect = function.wide != 0 ? address(wideConnect) : address(narrowConnect);
  switch (function.functionId) {
    case 7:  // SQLConnect: the password
      values[5] = secret;
      return true;
    case 41:  // SQLDriverConnect: the connect string and its completion
      values[2] = values[4] = connect;
      return true;
    case 55:  // SQLBrowseConnect: the request and the result
      values[1] = values[3] = connect;
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TraceSetSettingReaderForTesting(readSetting);
  check(TraceOpenLogFile(nullptr, nullptr, 0) == 0);
  // Kept for the process: the descriptions point at its names.
  static const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  check(table.error.empty() && !table.exports.empty());
  for (const vrtest::TableExport& e : table.exports) {
    TraceFunction function{};
    function.functionId = e.functionId;
    function.name = e.function.c_str();
    function.argCount = static_cast<uint32_t>(e.args.size());
    function.wide = e.wide() ? 1 : 0;
    for (size_t i = 0; i < e.args.size() && i < kTraceMaxArgs; ++i) function.typeCodes[i] = e.args[i].code;
    functions.push_back(function);
  }
  page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* p = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  check(p != MAP_FAILED);
  pages = static_cast<char*>(p);
  check(mprotect(inaccessible(), page, PROT_NONE) == 0);
  void* q = mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  check(q != MAP_FAILED);
  narrowConnect = static_cast<char*>(q);
  wideConnect = reinterpret_cast<char16_t*>(narrowConnect + 2 * page);
  check(mprotect(narrowConnect + page, page, PROT_NONE) == 0);
  check(mprotect(narrowConnect + 3 * page, page, PROT_NONE) == 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  Input in(data, size);
  TraceFunction function = functions[in.byte() % functions.size()];
  static const int16_t kReturnCodes[] = {0, 1, -1, -2, 2, 99, 100, 3};
  const uint8_t codeSelector = in.byte();
  const int16_t returnCode = kReturnCodes[codeSelector % 8];
  const uint8_t typeFlag = in.byte();
  uint64_t values[kTraceMaxArgs] = {};
  for (uint32_t i = 0; i < function.argCount; ++i) {
    values[i] = argumentValue(in);
    // Now and then a type code of the input's choosing (0 to 63).
    if ((typeFlag & 1) != 0 && (in.byte() & 3) == 0) function.typeCodes[i] = in.byte() % 64;
  }

  // The pages hold the rest of the input; the read-only page is written
  // while writable.
  check(mprotect(readOnly(), page, PROT_READ | PROT_WRITE) == 0);
  std::memset(writable(), 0, 2 * page);
  const size_t first = std::min(in.left(), page);
  std::memcpy(writable(), in.rest(), first);
  std::memcpy(readOnly(), in.rest() + first, std::min(in.left() - first, page));
  // Only the planted secrets may hold the secret's text.
  std::replace(writable(), writable() + 2 * page, kSecret[0], 'x');
  check(mprotect(readOnly(), page, PROT_READ) == 0);

  // With the export's own type codes, the connect calls' passwords are
  // the input's secrets.
  fillSecrets(in);
  const bool secrets = (typeFlag & 1) == 0 && plantSecrets(function, values);

  const int16_t handle = TraceCall(function, values);
  TraceReturn(handle, returnCode);

  TraceLock();
  if (auto* sink = dynamic_cast<JuMemoryTracing*>(TraceCurrentSink()); sink != nullptr && sink->buffer != nullptr) {
    if (secrets) check(std::string(sink->buffer, sink->writePosition).find(kSecret) == std::string::npos);
    sink->writePosition = 0;
  }
  TraceUnlock();
  JuErrorList::popCurrent();
  return 0;
}
