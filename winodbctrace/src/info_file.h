// The INFO side file: after each connect call, the facts of the new
// connection (DBMS and driver names and versions, the default isolation) and
// the process environment, appended to one file beside the trace log that
// every process tracing with the same "TraceFile" shares.
#ifndef VRTRACE_INFO_FILE_H
#define VRTRACE_INFO_FILE_H

#include <cstddef>
#include <cstdint>

struct TraceCallRecord;

// ---------------------------------------------------------------------------
// Writing.
// ---------------------------------------------------------------------------

// What TraceReturn adds after the EXIT record of a call: for SQLConnect,
// SQLDriverConnect and SQLBrowseConnect (narrow or wide) the facts of the
// connection in argument 0 when the call returned SQL_SUCCESS or
// SQL_SUCCESS_WITH_INFO, then the environment whatever it returned; nothing
// for any other call. Failures lose the entry silently: nothing reaches the
// application, and nothing stays on the calling thread's error list.
void TraceWriteConnectInfo(const TraceCallRecord& record, int16_t returnCode);

// One entry: the time line ("2026-03-01 14:05:09.\r\n") and one line for
// each of SQL_DBMS_NAME, SQL_DBMS_VER, SQL_DRIVER_NAME, SQL_DRIVER_VER and
// SQL_DEFAULT_TXN_ISOLATION of `connection`, asked of the Driver Manager
// even when the file cannot be opened:
//   SQL_DBMS_NAME: SQLite\r\n                       the text returned
//   SQL_DEFAULT_TXN_ISOLATION: 8\r\n                the 32-bit value
//   HY096 : [unixODBC]Invalid ... [0]\r\n           the first diagnostic of
//                                                   a failed SQLGetInfo
//   SQLGetInfo failed with -1; SQLGetDiagRec failed with 100\r\n
//                                                   when that fails too
void TraceWriteDriverInfo(void* connection);

// One entry: the banner "***************** Environment Variables
// ****************\n", each "NAME=value" of the process environment as it
// is (secrets included) and "\n", then "***************** End of
// Environment Variables ****************\n"; "GetEnvironmentStrings failed
// (12)\n" when there is no memory for it.
void TraceWriteEnvironment();

// Entries up to this many bytes go to the file in one write on a descriptor
// opened for appending, which local file systems never interleave with
// another process's write; longer ones go as runs of whole lines, each run
// at most this long (a single longer line in a write of its own), so that
// at worst whole lines of two processes interleave. The size POSIX keeps
// atomic for pipes (PIPE_BUF).
inline constexpr size_t kTraceInfoAtomicBytes = 4096;

// ---------------------------------------------------------------------------
// The file's name.
// ---------------------------------------------------------------------------

// The INFO file of a trace file name: "INFO" before the dot of the name's
// extension (the last dot of its file part, the text after its last "/" or
// "\\", unless that dot is the part's first character), or after the name
// when it has no extension; a NUL after it in `out` of `size` bytes.
// Returns 0, or 1 with `out` emptied when the name does not fit or has no
// file part (ends in a separator, or is empty).
//   "logs\\SQL.LOG" -> "logs\\SQLINFO.LOG"   "logs.old/trace" -> "logs.old/traceINFO"
//   "a.b.log" -> "a.bINFO.log"              ".log" -> ".logINFO"
int TraceInfoFileName(const char* traceName, char* out, size_t size);

// ---------------------------------------------------------------------------
// The Driver Manager.
// ---------------------------------------------------------------------------

// The two functions the facts are asked with, narrow forms, typed as
// unixODBC declares them (SQLRETURN, SQLSMALLINT: 16-bit; SQLINTEGER:
// 32-bit; SQLCHAR: unsigned char).
struct TraceDriverManager {
  int16_t (*getInfo)(void* connection, uint16_t infoType, void* value, int16_t valueBytes, int16_t* length);
  int16_t (*getDiagRec)(int16_t handleType, void* handle, int16_t record, unsigned char* sqlState, int32_t* nativeError,
                        unsigned char* message, int16_t messageBytes, int16_t* textLength);
};

// Tests answer for the Driver Manager; a null function stands for one that
// cannot be bound. Null restores the real one: unixODBC's libodbc.so.2 as
// the application already loaded it, bound through that library's own
// handle (never the process's first definitions of the names, which may be
// a Driver Manager stand-in's), and never loaded here. A function that
// cannot be bound fails as SQL_ERROR (-1).
void TraceSetDriverManagerForTesting(const TraceDriverManager* functions);

#endif  // VRTRACE_INFO_FILE_H
