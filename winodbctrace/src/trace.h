// The trace library's core: call records, the trace handle table, the log
// writer, the trace settings and the control exports' process-wide state.
// The per-call TraceSQL exports are generated from exports/exports.txt and
// call TraceCall with their function's description and argument values.
#ifndef VRTRACE_TRACE_H
#define VRTRACE_TRACE_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

class JuTracing;
namespace platform {
struct Module;
}  // namespace platform

// ---------------------------------------------------------------------------
// Call records.
// ---------------------------------------------------------------------------

inline constexpr size_t kTraceMaxArgs = 20;
inline constexpr size_t kTraceHandleSlots = 200;

// The record of one traced call, from its TraceSQL export to its
// TraceReturn. Taken from the C heap (malloc), zero-filled, freed with free.
struct TraceCallRecord {
  uint32_t functionId;                    // the SQL_API number (SQLExecDirect 11)
  uint32_t argCount;                      // 1 to 13
  uint64_t values[kTraceMaxArgs];         // argument i, widened by its type code
  uint32_t typeCodes[kTraceMaxArgs];
  const char* typeNames[kTraceMaxArgs];   // the label of each type code
  uint32_t wide;                          // 1: a wide export (text is UTF-16)
  const char* functionName;               // "SQLExecDirect", "SQLExecDirectW"
};

// Whether a record holds argument `index` (a record cut short holds fewer
// than its function takes).
inline bool TraceHasArg(const TraceCallRecord& record, uint32_t index) {
  return index < record.argCount && index < kTraceMaxArgs;
}

// What every call of one export stores (generated from the export table).
struct TraceFunction {
  uint32_t functionId;
  const char* name;  // the ODBC function's name as the log prints it
  uint32_t argCount;
  uint32_t wide;
  uint32_t typeCodes[kTraceMaxArgs];
};

// The label the log prints for a type code the exports store ("HSTMT",
// "UCHAR *"); null for any other code.
const char* TraceTypeLabel(uint32_t code);

// One argument widened to 64 bits as its type code says: 16-bit codes zero-
// or sign-extended, 32-bit ones sign- or zero-extended, handles, pointers,
// SQLLEN and SQLULEN as passed.
uint64_t TraceWiden(uint32_t code, uint64_t raw);
template <typename T>
uint64_t TraceArg(uint32_t code, T value) {
  if constexpr (std::is_pointer_v<T>) {
    return TraceWiden(code, reinterpret_cast<uintptr_t>(value));
  } else {
    return TraceWiden(code, static_cast<uint64_t>(value));
  }
}

// The steps of every TraceSQL export: allocate and fill a record, write its
// ENTER record, park it in the handle table. Returns the trace handle, 1 to
// 200, or 0 when no record could be made or kept.
int16_t TraceCall(const TraceFunction& function, const uint64_t* values);

// Parks a record; its handle, or 0 when every slot is taken.
int16_t TraceAddHandle(TraceCallRecord* record);
// Takes the record of a handle out of its slot (null for none).
TraceCallRecord* TraceTakeHandle(int16_t handle);

// ---------------------------------------------------------------------------
// The log writer.
// ---------------------------------------------------------------------------

void TraceWriteCall(const TraceCallRecord& record, int enter, uint16_t returnCode);
void TraceWriteEnter(const TraceCallRecord& record);
// "SQL_SUCCESS", ..., "UNKNOWN SQL RETURN CODE!".
const char* TraceGetRetcodeName(int16_t code);
// "TraceOptions" of the section "ODBC": its leading decimal number (16-bit).
// Read through the installer at most once every
// kTraceOptionsRefreshMilliseconds and on the first record after each open,
// so a change of ODBC.INI shows from the first record that begins that long
// after it; a reader put in the installer's place is asked for every record.
uint16_t TraceReadLineMode();
inline constexpr int64_t kTraceOptionsRefreshMilliseconds = 100;
// The next record reads "TraceOptions" afresh.
void TraceForgetLineMode();
// Bytes of text a record may take: 4096, or the statement's size plus 500
// for SQLPrepare and SQLExecDirect statements too long for that (a wide
// statement counts two bytes a unit; statements are sized up to 1 MiB and
// cut beyond it).
size_t TraceRecordBufferSize(const TraceCallRecord& record);

// The one test of whether application memory may be read: true when the
// `bytes` at `address` are readable (0 bytes always are). Every read of
// application memory asks it first.
bool TraceIsReadable(const void* address, size_t bytes);

// ---------------------------------------------------------------------------
// Settings: the keys of the section "ODBC" of ODBC.INI.
// ---------------------------------------------------------------------------

// Reads one key like SQLGetPrivateProfileString("ODBC", key, fallback,
// buffer, size, "ODBC.INI"); returns the bytes copied.
using TraceSettingReader = size_t (*)(const char* key, const char* fallback, char* buffer, size_t size);
// Tests read their own settings; null restores ODBC.INI through the
// installer.
void TraceSetSettingReaderForTesting(TraceSettingReader reader);
size_t TraceReadSetting(const char* key, const char* fallback, char* buffer, size_t size);
// True while the settings come from ODBC.INI through the installer (no
// reader for tests in its place).
bool TraceSettingsFromInstaller();
// A numeric setting (1000-byte buffer, `fallback` as its default text) read
// by the unsigned or the signed 64-bit decimal parser; `unparsable` when the
// text does not parse, whose error then leaves the thread's list again.
uint64_t TraceReadUnsignedSetting(const char* key, const char* fallback, uint64_t unparsable);
int64_t TraceReadSignedSetting(const char* key, const char* fallback, int64_t unparsable);

// The numeric settings that opening a log reads, in the order it reads
// them: two that choose the sink, then the five that the sink attribute
// string carries, in that string's order.
enum TraceNumber : uint8_t {
  kOdbcTraceOptions,         // its low 32 bits are the trace option value
  kOdbcTraceMode,            // the sink kind
  kOdbcTraceMemBuffSize,     // KiB
  kOdbcTraceMaxFileSize,     // KiB
  kTraceFileOpenAppendMode,  // 1 whenever the caller passed a name
  kOdbcTraceMaxNumFiles,
  kOdbcTraceFlush,
  kTraceNumberCount,
};
inline constexpr size_t kTraceSinkNumberFirst = kOdbcTraceMemBuffSize;
inline constexpr size_t kTraceSinkNumberCount = kTraceNumberCount - kTraceSinkNumberFirst;

// The range a numeric setting's text is read in.
enum class TraceNumberRange : uint8_t { kUnsigned64, kSigned64 };

// One numeric setting: its key, its default (the value when it is absent
// or its text does not parse) and its range.
struct TraceNumberSetting {
  const char* key;
  uint64_t defaultValue;
  TraceNumberRange range;
};

// Indexed by TraceNumber.
inline constexpr TraceNumberSetting kTraceNumberSettings[kTraceNumberCount] = {
    {"ODBCTraceOptions", 0, TraceNumberRange::kSigned64},
    {"ODBCTraceMode", 0, TraceNumberRange::kUnsigned64},
    {"ODBCTraceMemBuffSize", 1024, TraceNumberRange::kUnsigned64},
    {"ODBCTraceMaxFileSize", 102400, TraceNumberRange::kUnsigned64},
    {"TraceFileOpenAppendMode", 0, TraceNumberRange::kUnsigned64},
    {"ODBCTraceMaxNumFiles", 10, TraceNumberRange::kUnsigned64},
    {"ODBCTraceFlush", 2, TraceNumberRange::kUnsigned64},
};

// Reads the settings from `first` up to `end` into the same places of
// `values`, each by its range (a signed value as its two's complement).
//   no settings: kOdbcTraceMemBuffSize -> 1024; "ODBCTraceOptions=-1" -> 2^64 - 1
void TraceReadNumberSettings(size_t first, size_t end, uint64_t values[kTraceNumberCount]);

// The log's name when "TraceFile" is empty: SQL.LOG in the temporary
// directory, and a NUL, into `out` of `size` bytes. Returns its length, or 0
// (`out` emptied) when it does not fit.
//   TraceDefaultLogName(out, 283) -> 12, "/tmp/SQL.LOG"
size_t TraceDefaultLogName(char* out, size_t size);

// The trace file name: `name` with `suffix` inserted before the last "." of
// its file part (the text after its last "/" or "\\"), or appended when the
// file part has none; written with a NUL into `out` of `size` bytes.
// Returns 0, or 1 (nothing usable written) when it does not fit.
//   "logs/SQL.LOG", "_1234_" -> "logs/SQL_1234_.LOG"; "a.b.log", "_" -> "a.b_.log"
int TraceInsertFileSuffix(const char* name, const char* suffix, char* out, size_t size);
// The per-process trace file name: `suffix` ("_<pid>_") inserted where the
// file sink ends the base name (TraceFileBaseEnd), the part of the name it
// never cuts, so that the whole process id reaches the name of every file
// and no two processes share one. The same as TraceInsertFileSuffix where
// the file part has at most one ".".
//   "logs/SQL.LOG", "_1234_" -> "logs/SQL_1234_.LOG" (files logs/SQL_1234_01.LOG, ...)
//   "logs/a.b.log", "_1234_" -> "logs/a_1234_.b.log" (files logs/a_1234_01.b.lo, ...)
int TraceInsertProcessSuffix(const char* name, const char* suffix, char* out, size_t size);
// The sink attribute string: the sink's five numbers (from
// kTraceSinkNumberFirst on: memory buffer KiB, largest file KiB, append
// mode, number of files, flush mode), each by its key, and the path, braced
// when the attribute parser would otherwise read it differently ("}}" for
// "}"). Returns its length, or 0 when it does not fit `size` bytes.
//   {1024, 102400, 0, 10, 2}, "a;b.log" -> "ODBCTraceMemBuffSize=1024;...;TraceFile={a;b.log}"
size_t TraceBuildSinkAttributes(const uint64_t numbers[kTraceSinkNumberCount], const char* path, char* out,
                                size_t size);

// ---------------------------------------------------------------------------
// Process-wide state of the control exports.
// ---------------------------------------------------------------------------

// The current sink (null while no log is open) and the trace option value;
// read by the writer under the trace lock.
JuTracing* TraceCurrentSink();
uint32_t TraceOptionValue();
// The trace lock: the handle table's slot search and the writing of each
// record, from its header to the sink's flush. Constant-initialised and
// never torn down, so records find it whatever the order of opens and
// closes; taken before a fork, then the sink's locks, so that a forked
// child finds both free.
void TraceLock();
void TraceUnlock();
// Holds the trace lock for a scope.
class TraceLockScope {
 public:
  TraceLockScope() { TraceLock(); }
  ~TraceLockScope() { TraceUnlock(); }
  TraceLockScope(const TraceLockScope&) = delete;
  TraceLockScope& operator=(const TraceLockScope&) = delete;
};
// The lazy open before a record: opens the log from the settings when none
// is open, except after TraceCloseLogFile until the next TraceOpenLogFile
// (so a late record cannot reopen, and empty, the files just closed). True
// when a sink exists.
bool TraceOpenLazily();

// The trace library's message module "kjtrac.dll": its own texts (message
// 153), then the library's. juResourceModule points at it from load time.
extern const platform::Module vrTraceModule;

// ---------------------------------------------------------------------------
// The control exports (C symbols, exported).
// ---------------------------------------------------------------------------

extern "C" {
// 0 on success, -1 with the reason in `message` (UTF-16, bytes given).
int16_t TraceOpenLogFile(const char16_t* name, char16_t* message, uint32_t messageBytes);
int16_t TraceCloseLogFile();
void TraceReturn(int16_t handle, int16_t returnCode);
uint32_t TraceVersion();
}

#endif  // VRTRACE_TRACE_H
