// The log writer: the text of one ENTER or EXIT record, from its prefix and
// header to one line per argument, handed whole to the current sink.

#include <array>
#include <atomic>
#include <cstring>
#include <iterator>
#include <string_view>

#include "julib/object.h"
#include "odbc_headers.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "render.h"
#include "render_out.h"
#include "sinks.h"
#include "trace.h"
#include "trace_codes.h"

namespace {

constexpr size_t kRecordBytes = 4096;
// Statements are sized up to this many bytes; longer ones are cut.
constexpr size_t kMaxStatementBytes = size_t{1} << 20;
// Room beside a long statement for the header and the other arguments.
constexpr size_t kStatementSlack = 500;
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
  if (length == SQL_NTS) {
    // Up to the terminator, or as far as the text can be read.
    uint64_t bytes = 0;
    const bool terminated =
        TraceMeasureText(record.values[1], record.wide != 0, uint64_t{limit + 1} * unitBytes, &bytes) ==
        TraceMeasured::kTerminated;
    units = static_cast<size_t>(bytes / unitBytes) - (terminated ? 1 : 0);
    if (units > limit) units = limit;
  } else if (length > 0) {
    units = static_cast<size_t>(length) < limit ? static_cast<size_t>(length) : limit;
    if (!TraceIsReadable(text, 1)) units = 0;
  }
  return units * unitBytes;
}

// ---------------------------------------------------------------------------
// The record buffer.
// ---------------------------------------------------------------------------

// The record's text goes through the renderer's bounded view (RenderOut),
// cut at the buffer's end. Records are built piece by piece rather than
// through printf, which costs several times more for every line of every
// record.

// "%-<width>s", or "%-<width>.<width>s" when `cut`.
void appendPadded(RenderOut& out, std::string_view text, size_t width, bool cut) {
  if (cut && text.size() > width) text = text.substr(0, width);
  out.append(text);
  if (text.size() >= width) return;
  const size_t n = width - text.size() < out.room() ? width - text.size() : out.room();
  std::memset(out.end(), ' ', n);
  out.advance(n);
}

// "%0<digits>" PRId64: decimal, "0"-padded to at least `digits` characters;
// the sign counts toward them, as printf's width does.
void appendZeroPadded(RenderOut& out, int64_t value, size_t digits) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  size_t n = 1;
  for (uint64_t rest = magnitude; rest >= 10; rest /= 10) ++n;
  if (value < 0) {
    out.append('-');
    ++n;
  }
  for (; n < digits; ++n) out.append('0');
  out.appendUnsigned(magnitude);
}

// The record's time up to its seconds, "%Y-%m-%d %H:%M:%S.": each field
// "0"-padded to its width, one too wide for it (a time of another era) as
// appendZeroPadded writes it.
void appendSecond(RenderOut& out, const platform::LocalTime& now) {
  struct Field {
    int64_t value;
    size_t digits;
    char after;
  };
  static constexpr int64_t kTenTo[] = {1, 10, 100, 1000, 10000};
  const Field fields[] = {{now.year, 4, '-'}, {now.month, 2, '-'},  {now.day, 2, ' '},
                          {now.hour, 2, ':'}, {now.minute, 2, ':'}, {now.second, 2, '.'}};
  for (const Field& field : fields) {
    if (field.value < 0 || field.value >= kTenTo[field.digits]) {
      appendZeroPadded(out, field.value, field.digits);
    } else {
      char text[4];
      auto rest = static_cast<uint64_t>(field.value);
      for (size_t i = field.digits; i > 0; --i, rest /= 10) text[i - 1] = static_cast<char>('0' + rest % 10);
      out.append(std::string_view(text, field.digits));
    }
    out.append(field.after);
  }
}

bool sameSecond(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.second == b.second && a.minute == b.minute && a.hour == b.hour && a.day == b.day && a.month == b.month &&
         a.year == b.year;
}

// The record's time, "%Y-%m-%d %H:%M:%S." and microseconds, then a blank.
// The text up to the seconds changes once a second: each thread keeps the
// last it wrote, so that a record writes only its microseconds anew (this
// runs for every record).
void appendTime(RenderOut& out, const platform::LocalTime& now) {
  struct Kept {
    platform::LocalTime second;
    size_t length;  // 0 before the first record
    char text[64];  // the widest fields of another era fit
  };
  thread_local Kept kept{};
  if (kept.length == 0 || !sameSecond(kept.second, now)) {
    RenderOut text(kept.text, sizeof kept.text);
    appendSecond(text, now);
    kept.second = now;
    kept.length = text.length();
  }
  out.append(std::string_view(kept.text, kept.length));
  // A millisecond clock: "%06lu" of the milliseconds times 1000.
  const uint32_t ms = now.millisecond % 1000;
  const char micro[] = {static_cast<char>('0' + ms / 100), static_cast<char>('0' + ms / 10 % 10),
                        static_cast<char>('0' + ms % 10), '0', '0', '0', ' '};
  out.append(std::string_view(micro, sizeof micro));
}

// "pid=%ld:tid=%lu", kept by each thread: its ids change only in a forked
// child, which finds them differ.
void appendIds(RenderOut& out) {
  struct Kept {
    uint32_t process;
    uint32_t thread;
    size_t length;  // 0 before the first record
    char text[32];
  };
  thread_local Kept kept{};
  const uint32_t process = platform::currentProcessId();
  const uint32_t thread = platform::currentThreadId();
  if (kept.length == 0 || kept.process != process || kept.thread != thread) {
    RenderOut text(kept.text, sizeof kept.text);
    text.append("pid=");
    text.appendUnsigned(process);
    text.append(":tid=");
    text.appendUnsigned(thread);
    kept.process = process;
    kept.thread = thread;
    kept.length = text.length();
  }
  out.append(std::string_view(kept.text, kept.length));
}

// The record's text: 4096 bytes on the stack, or a heap buffer for a long
// statement.
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
    heap_ = static_cast<char*>(juMallocChecked(size));
    if (heap_ == nullptr) return false;
    size_ = size;
    return true;
  }
  char* data() { return heap_ != nullptr ? heap_ : stack_; }
  size_t size() const { return size_; }

 private:
  char stack_[kRecordBytes];
  char* heap_ = nullptr;
  size_t size_ = kRecordBytes;
};

// ---------------------------------------------------------------------------
// Prefix and header.
// ---------------------------------------------------------------------------

// The line prefix of `mode` (1, 2 or 3), from this record's own clock
// reading; nothing for every other mode.
//   mode 3: "2026-12-07 23:40:40.123000 pid=1234:tid=5678"
//   mode 1: "2026-12-07 23:40:40.123000 "    mode 2: "pid=1234:tid=5678"
void formatPrefix(uint16_t mode, RenderOut& out) {
  if (mode < 1 || mode > 3) return;
  if (mode != 2) {
    appendTime(out, platform::localTimeNow());
    if (mode == 1) return;
  }
  appendIds(out);
}

// ---------------------------------------------------------------------------
// "TraceOptions".
// ---------------------------------------------------------------------------

// The line mode last read, with kLineModeKept set once there is one, and
// when it goes stale (milliseconds of the steady clock).
constexpr uint32_t kLineModeKept = 0x10000;
std::atomic<uint32_t> keptLineMode{0};
std::atomic<int64_t> lineModeStale{0};

// Read for every record: the coarse clock is enough for the refresh.
int64_t millisecondsNow() { return static_cast<int64_t>(platform::coarseMonotonicMilliseconds()); }

uint16_t readLineMode() {
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

// The header line. Prefixes are padded to their column but never cut: the
// ids of a long-running host may be wider than the column.
//   mode 3: "\n%-60s \t%s %s ", mode 1: "\n%-35s \t%s %s ", mode 2: "\n%-20s \t%s %s ",
//   any other: "\n\n%s %s"
void appendHeader(RenderOut& buffer, uint16_t mode, std::string_view prefix, const char* word, const char* name) {
  static constexpr size_t kColumns[] = {0, 35, 20, 60};
  if (mode < 1 || mode > 3) {
    buffer.append("\n\n");
    buffer.append(word);
    buffer.append(' ');
    buffer.append(name);
    return;
  }
  buffer.append('\n');
  appendPadded(buffer, prefix, kColumns[mode], false);
  buffer.append(" \t");
  buffer.append(word);
  buffer.append(' ');
  buffer.append(name);
  buffer.append(' ');
}

// The length of each type code's label: the labels of a record's arguments
// are these rows' own texts, measured once here rather than for every line.
constexpr auto kLabelLengths = [] {
  std::array<uint8_t, std::size(kTraceCodeRows)> lengths{};
  for (size_t code = 0; code < lengths.size(); ++code) {
    const char* label = kTraceCodeRows[code].label;
    lengths[code] = label != nullptr ? static_cast<uint8_t>(std::char_traits<char>::length(label)) : 0;
  }
  return lengths;
}();

// The label of argument `index`.
std::string_view typeLabel(const TraceCallRecord& record, size_t index) {
  const char* label = record.typeNames[index];
  const uint32_t code = record.typeCodes[index];
  if (label == nullptr) return {};
  if (code < kLabelLengths.size() && kTraceCodeRows[code].label == label) return {label, kLabelLengths[code]};
  return label;
}

// One argument's line after its label: the renderer's text, which ends
// its own line.
void appendArgument(RenderOut& buffer, const TraceCallRecord& record, size_t index, bool noOutput) {
  buffer.advance(TraceFormatArg(record, static_cast<uint32_t>(index), noOutput ? 1 : 0, buffer.end(), buffer.room(),
                                record.typeCodes[index]));
}

// The application memory a record may read: the first block of each text
// and untyped buffer, the value behind each pointer to a number or handle.
// Read ahead in one go, the record's pointers cost one read of the process's
// memory instead of one or more each.
size_t aheadRanges(const TraceCallRecord& record, platform::ReadAhead::Range* ranges) {
  constexpr size_t kTextBlock = 1024;  // what the renderer copies at a time
  constexpr uint64_t kLowestMapped = 0x10000;
  size_t n = 0;
  const size_t count = record.argCount < kTraceMaxArgs ? record.argCount : kTraceMaxArgs;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t code = record.typeCodes[i];
    const TraceReads reads =
        code < std::size(kTraceCodeRows) ? kTraceCodeRows[code].reads : TraceReads::kNothing;
    const size_t bytes = reads == TraceReads::kBlock ? kTextBlock : reads == TraceReads::kValue ? 8 : 0;
    // Untyped arguments often hold small integers, not addresses: nothing
    // is mapped that low, and a range that cannot be read costs the read
    // ahead a second system call.
    if (bytes != 0 && record.values[i] >= kLowestMapped) {
      ranges[n++] = {reinterpret_cast<const void*>(static_cast<uintptr_t>(record.values[i])), bytes};
    }
  }
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// Public operations.
// ---------------------------------------------------------------------------

bool TraceIsReadable(const void* address, size_t bytes) { return platform::isReadable(address, bytes); }

size_t TraceRecordBufferSize(const TraceCallRecord& record) {
  const size_t bytes = statementBytes(record) + kStatementSlack;
  return bytes > kRecordBytes ? bytes : kRecordBytes;
}

const char* TraceGetRetcodeName(int16_t code) {
  switch (code) {
    case SQL_INVALID_HANDLE:
      return "SQL_INVALID_HANDLE";
    case SQL_ERROR:
      return "SQL_ERROR";
    case SQL_SUCCESS:
      return "SQL_SUCCESS";
    case SQL_SUCCESS_WITH_INFO:
      return "SQL_SUCCESS_WITH_INFO";
    case SQL_STILL_EXECUTING:
      return "SQL_STILL_EXECUTING";
    case SQL_NEED_DATA:
      return "SQL_NEED_DATA";
    case SQL_NO_DATA_FOUND:
      return "SQL_NO_DATA_FOUND";
    default:
      return "UNKNOWN SQL RETURN CODE!";
  }
}

uint16_t TraceReadLineMode() {
  if (!TraceSettingsFromInstaller()) return readLineMode();
  // The installer parses its files again for every question: asking it for
  // every record costs more than the record. The answer is kept for a
  // short while instead; threads that find it stale at once each ask.
  const int64_t now = millisecondsNow();
  const uint32_t kept = keptLineMode.load(std::memory_order_acquire);
  if ((kept & kLineModeKept) != 0 && now < lineModeStale.load(std::memory_order_relaxed)) {
    return static_cast<uint16_t>(kept);
  }
  const uint16_t mode = readLineMode();
  lineModeStale.store(now + kTraceOptionsRefreshMilliseconds, std::memory_order_relaxed);
  keptLineMode.store(kLineModeKept | mode, std::memory_order_release);
  return mode;
}

void TraceForgetLineMode() { keptLineMode.store(0, std::memory_order_release); }

void TraceWriteCall(const TraceCallRecord& record, int enter, uint16_t returnCode) {
  const auto code = static_cast<int16_t>(returnCode);
  // Only a successful call has outputs worth reading; the other records
  // show the inputs, a statement's text among them, and only they need a
  // statement measured for their room.
  const bool noOutput = enter != 0 || (code != SQL_SUCCESS && code != SQL_SUCCESS_WITH_INFO);
  platform::ReadAhead::Range ranges[kTraceMaxArgs];
  const platform::ReadAhead ahead(ranges, aheadRanges(record, ranges));
  RecordBuffer storage;
  if (!storage.reserve(noOutput ? TraceRecordBufferSize(record) : kRecordBytes)) return;
  uint16_t mode = TraceReadLineMode();
  if (!TraceOpenLazily()) return;
  if (TraceOptionValue() == 1 && mode == 0) mode = 3;
  char prefixText[kPrefixBytes];
  RenderOut prefix(prefixText, sizeof prefixText - 1);
  formatPrefix(mode, prefix);

  // From the header to the sink's flush under the trace lock: records of
  // different threads never interleave, and a log closed meanwhile is not
  // written to.
  TraceLockScope lock;
  JuTracing* sink = TraceCurrentSink();
  if (sink == nullptr) return;
  const char* name = record.functionName != nullptr ? record.functionName : "";
  RenderOut buffer(storage.data(), storage.size());
  appendHeader(buffer, mode, std::string_view(prefixText, prefix.length()), enter != 0 ? "ENTER" : "EXIT ", name);
  if (enter == 0) {
    buffer.append(" with return code ");
    buffer.appendSigned(code);
    buffer.append(" (");
    buffer.append(TraceGetRetcodeName(code));
    buffer.append(')');
  }
  buffer.append('\n');
  const size_t count = record.argCount < kTraceMaxArgs ? record.argCount : kTraceMaxArgs;
  for (size_t i = 0; i < count; ++i) {
    buffer.append("\t\t");
    appendPadded(buffer, typeLabel(record, i), 18, true);
    buffer.append(' ');
    appendArgument(buffer, record, i, noOutput);
  }
  (void)sink->write(storage.data(), buffer.length());  // failures are not reported
  (void)sink->flush();
}

void TraceWriteEnter(const TraceCallRecord& record) { TraceWriteCall(record, 1, 0); }
