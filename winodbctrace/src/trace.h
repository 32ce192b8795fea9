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
uint16_t TraceReadLineMode();

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
// closes.
void TraceLock();
void TraceUnlock();

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
