// The log writer: the text of one ENTER or EXIT record, from its prefix and
// header to one line per argument, handed whole to the current sink.

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "julib/object.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "sinks.h"
#include "trace.h"

namespace {

constexpr size_t kRecordBytes = 4096;
// Statements are sized up to this many bytes; longer ones are cut.
constexpr size_t kMaxStatementBytes = size_t{1} << 20;
// Room beside a long statement for the header and the other arguments.
constexpr size_t kStatementSlack = 500;
constexpr int32_t kSqlNts = -3;
// Text is measured in blocks that never straddle a page.
constexpr uintptr_t kProbeBlock = 4096;
constexpr size_t kPrefixBytes = 260;

// ---------------------------------------------------------------------------
// Statements.
// ---------------------------------------------------------------------------

bool isStatementCall(const TraceCallRecord& record) {
  static const char* const kNames[] = {"SQLPrepareW", "SQLPrepare", "SQLExecDirectW", "SQLExecDirect"};
  if (record.functionName == nullptr || record.argCount < 3) return false;
  for (const char* name : kNames) {
    if (std::strcmp(record.functionName, name) == 0) return true;
  }
  return false;
}

// Units of terminated text before its terminator, at most `limit`; reading
// stops at the first block that is not readable.
template <typename Unit>
size_t measureText(const Unit* text, size_t limit) {
  size_t n = 0;
  while (n < limit) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(text + n);
    const size_t blockUnits = (kProbeBlock - at % kProbeBlock + sizeof(Unit) - 1) / sizeof(Unit);
    if (!TraceIsReadable(text + n, blockUnits * sizeof(Unit))) return n;
    for (size_t i = 0; i < blockUnits && n < limit; ++i, ++n) {
      if (text[n] == 0) return n;
    }
  }
  return n;
}

// Bytes of the statement of SQLPrepare or SQLExecDirect (two a unit for the
// wide forms), at most kMaxStatementBytes; 0 for every other call and for
// text that cannot be read or has no sound length.
size_t statementBytes(const TraceCallRecord& record) {
  if (!isStatementCall(record)) return 0;
  const void* text = reinterpret_cast<const void*>(static_cast<uintptr_t>(record.values[1]));
  const int32_t length = static_cast<int32_t>(record.values[2]);
  const size_t unitBytes = record.wide != 0 ? 2 : 1;
  const size_t limit = kMaxStatementBytes / unitBytes;
  size_t units = 0;
  if (length == kSqlNts) {
    units = record.wide != 0 ? measureText(static_cast<const char16_t*>(text), limit)
                             : measureText(static_cast<const char*>(text), limit);
  } else if (length > 0) {
    units = static_cast<size_t>(length) < limit ? static_cast<size_t>(length) : limit;
    if (!TraceIsReadable(text, 1)) units = 0;
  }
  return units * unitBytes;
}

// ---------------------------------------------------------------------------
// The record buffer.
// ---------------------------------------------------------------------------

// Text is appended only as far as there is room: the record is cut at the
// buffer's end.
class RecordBuffer {
 public:
  RecordBuffer() = default;
  ~RecordBuffer() { juFree(heap_); }
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;

  // Room for `size` bytes of text; false (out of memory recorded) when a
  // long statement's buffer cannot be had.
  bool reserve(size_t size) {
    if (size <= kRecordBytes) return true;
    heap_ = static_cast<char*>(juMallocChecked(size + 1));
    if (heap_ == nullptr) return false;
    data_ = heap_;
    size_ = size;
    return true;
  }

  __attribute__((format(printf, 2, 3))) void append(const char* format, ...) {
    const size_t room = size_ - length_;
    if (room == 0) return;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(data_ + length_, room + 1, format, args);
    va_end(args);
    if (n > 0) length_ += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room;
  }

  const char* data() const { return data_; }
  size_t length() const { return length_; }

 private:
  char stack_[kRecordBytes + 1];
  char* heap_ = nullptr;
  char* data_ = stack_;
  size_t size_ = kRecordBytes;
  size_t length_ = 0;
};

// ---------------------------------------------------------------------------
// Prefix and header.
// ---------------------------------------------------------------------------

// The line prefix of `mode` (1, 2 or 3) into `out`, from this record's own
// clock reading; empty for every other mode.
void formatPrefix(uint16_t mode, char* out, size_t size) {
  out[0] = '\0';
  if (mode < 1 || mode > 3) return;
  const uint32_t processId = platform::currentProcessId();
  const uint32_t threadId = platform::currentThreadId();
  if (mode == 2) {
    std::snprintf(out, size, "pid=%" PRIu32 ":tid=%" PRIu32, processId, threadId);
    return;
  }
  // This record's own clock reading: "%Y-%m-%d %H:%M:%S." and microseconds.
  const platform::LocalTime now = platform::localTimeNow();
  const uint32_t microseconds = now.millisecond * 1000;
  if (mode == 3) {
    std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%06" PRIu32 " pid=%" PRIu32 ":tid=%" PRIu32, now.year,
                  now.month, now.day, now.hour, now.minute, now.second, microseconds, processId, threadId);
  } else {
    std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%06" PRIu32 " ", now.year, now.month, now.day, now.hour,
                  now.minute, now.second, microseconds);
  }
}

// The header line. Prefixes are padded to their column but never cut: the
// ids of a long-running host may be wider than the column.
void appendHeader(RecordBuffer& buffer, uint16_t mode, const char* prefix, const char* word, const char* name) {
  switch (mode) {
    case 3:
      buffer.append("\n%-60s \t%s %s ", prefix, word, name);
      break;
    case 1:
      buffer.append("\n%-35s \t%s %s ", prefix, word, name);
      break;
    case 2:
      buffer.append("\n%-20s \t%s %s ", prefix, word, name);
      break;
    default:
      buffer.append("\n\n%s %s", word, name);
      break;
  }
}

// One argument's line after its label. Until the argument renderer shows
// what arguments point to, every argument shows its own value, so the
// no-output flag changes nothing yet.
void appendArgument(RecordBuffer& buffer, const TraceCallRecord& record, size_t index,
                    [[maybe_unused]] bool noOutput) {
  const uint64_t value = record.values[index];
  switch (TraceValueFormOf(record.typeCodes[index])) {
    case TraceValueForm::kSigned:
      buffer.append("%" PRId64 "\n", static_cast<int64_t>(value));
      break;
    case TraceValueForm::kUnsigned:
      buffer.append("%" PRIu64 "\n", value);
      break;
    case TraceValueForm::kAddress:
      buffer.append("0x%016" PRIx64 "\n", value);
      break;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Public operations.
// ---------------------------------------------------------------------------

bool TraceIsReadable(const void* address, size_t bytes) {
  // Until the platform can probe memory, only a null address is known to be
  // unreadable; text is still read only within its length or terminator.
  return bytes == 0 || address != nullptr;
}

size_t TraceRecordBufferSize(const TraceCallRecord& record) {
  const size_t bytes = statementBytes(record) + kStatementSlack;
  return bytes > kRecordBytes ? bytes : kRecordBytes;
}

const char* TraceGetRetcodeName(int16_t code) {
  switch (code) {
    case -2:
      return "SQL_INVALID_HANDLE";
    case -1:
      return "SQL_ERROR";
    case 0:
      return "SQL_SUCCESS";
    case 1:
      return "SQL_SUCCESS_WITH_INFO";
    case 2:
      return "SQL_STILL_EXECUTING";
    case 99:
      return "SQL_NEED_DATA";
    case 100:
      return "SQL_NO_DATA_FOUND";
    default:
      return "UNKNOWN SQL RETURN CODE!";
  }
}

uint16_t TraceReadLineMode() {
  // Four bytes: at most the first three characters count ("1000" reads 100).
  char text[4];
  TraceReadSetting("TraceOptions", "3", text, sizeof text);
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<uint32_t>(*p - '0');
  return static_cast<uint16_t>(negative ? 0u - value : value);
}

void TraceWriteCall(const TraceCallRecord& record, int enter, uint16_t returnCode) {
  RecordBuffer buffer;
  if (!buffer.reserve(TraceRecordBufferSize(record))) return;
  uint16_t mode = TraceReadLineMode();
  if (!TraceOpenLazily()) return;
  if (TraceOptionValue() == 1 && mode == 0) mode = 3;
  char prefix[kPrefixBytes];
  formatPrefix(mode, prefix, sizeof prefix);

  // From the header to the sink's flush under the trace lock: records of
  // different threads never interleave, and a log closed meanwhile is not
  // written to.
  TraceLock();
  JuTracing* sink = TraceCurrentSink();
  if (sink == nullptr) {
    TraceUnlock();
    return;
  }
  const auto code = static_cast<int16_t>(returnCode);
  const char* name = record.functionName != nullptr ? record.functionName : "";
  appendHeader(buffer, mode, prefix, enter != 0 ? "ENTER" : "EXIT ", name);
  if (enter == 0) buffer.append(" with return code %d (%s)", code, TraceGetRetcodeName(code));
  buffer.append("\n");
  // Only a successful call has outputs worth reading.
  const bool noOutput = enter != 0 || (code != 0 && code != 1);
  const size_t count = record.argCount < kTraceMaxArgs ? record.argCount : kTraceMaxArgs;
  for (size_t i = 0; i < count; ++i) {
    buffer.append("\t\t%-18.18s ", record.typeNames[i] != nullptr ? record.typeNames[i] : "");
    appendArgument(buffer, record, i, noOutput);
  }
  (void)sink->write(buffer.data(), buffer.length());  // failures are not reported
  (void)sink->flush();
  TraceUnlock();
}

void TraceWriteEnter(const TraceCallRecord& record) { TraceWriteCall(record, 1, 0); }
