// ODBC constant names for the trace log: the constant rows, the 29 tables,
// and the two lookups the argument renderer asks for a call record's
// argument (which table names it, and how a value buffer is shown).
#ifndef VRTRACE_CONSTANTS_H
#define VRTRACE_CONSTANTS_H

#include <cstddef>
#include <cstdint>

struct TraceCallRecord;

// Kind flags of a row (what a value-kind lookup turns into a render code).
inline constexpr uint32_t kTraceKind16Bit = 0x1;
inline constexpr uint32_t kTraceKind32Bit = 0x2;
inline constexpr uint32_t kTraceKindBitMask = 0x4;
inline constexpr uint32_t kTraceKindHandle = 0x8;
inline constexpr uint32_t kTraceKindText = 0x10;
inline constexpr uint32_t kTraceKindConnection = 0x20;
inline constexpr uint32_t kTraceKindStatementOnConnection = 0x40;
inline constexpr uint32_t kTraceKindPseudo = 0x80;             // "<null pointer>", "<hwnd>", ...
inline constexpr uint32_t kTraceKindDescriptorHandle = 0x8000;  // SQL_ATTR_APP_ROW_DESC, ...
inline constexpr uint32_t kTraceKindArrayPointer = 0x10000;    // SQL_ATTR_ROW_STATUS_PTR, ...
inline constexpr uint32_t kTraceKindPointer = 0x20000;         // SQL_DESC_DATA_PTR, ...

// One constant. Rows are searched in table order; the first match wins.
struct TraceConstant {
  int32_t value;
  int16_t valueType;   // -15 SQL_C_SSHORT, -16 SQL_C_SLONG, -17 SQL_C_USHORT, -18 SQL_C_ULONG
  const char* name;    // "SQL_DROP"
  uint16_t odbcVersion;
  uint32_t kindFlags;
  uint32_t valueListCount;
  const TraceConstant* valueList;  // null when the count is 0
};

struct TraceConstantTable {
  const char* name;  // the table's name, for tests and messages
  const TraceConstant* rows;
  size_t count;
};

// The 29 tables, in one array (generated from the table data).
extern const TraceConstantTable traceConstantTables[];
extern const size_t traceConstantTableCount;

// How a binding takes its key from an argument's stored 64-bit value.
enum class TraceKeyForm : uint8_t {
  kLow16Signed,    // the low 16 bits, sign-extended: 0xFFFE -> -2
  kLow16Unsigned,  // the low 16 bits: 0xFFFE -> 65534
  kLow32,          // the low 32 bits, as a signed 32-bit value
};

// Which table speaks for an argument of a call (generated from the binding
// data). `functionName` narrows a binding to one function of a shared id,
// compared ignoring case; null takes every function of the id.
struct TraceBinding {
  uint32_t functionId;
  const char* functionName;
  uint32_t argIndex;     // the named argument, or the value buffer argument
  uint32_t keyArgIndex;  // the argument that holds the key
  const TraceConstantTable* table;
  TraceKeyForm keyForm;
};

// How SQLGetData shows a value buffer, by its buffer type (generated from
// the codes of the buffer type table's rows): the TraceCode of each type
// from traceBufferTypeCodeFirst on, kNone for a type shown as unknown.
extern const int32_t traceBufferTypeCodeFirst;
extern const uint8_t traceBufferTypeCodes[];
extern const size_t traceBufferTypeCodeCount;

// Integer arguments named by a table (type codes 7, 8, 19, 20, 24).
extern const TraceBinding traceNameBindings[];
extern const size_t traceNameBindingCount;
// Value buffers shown by the kind of the attribute in their key argument.
extern const TraceBinding traceValueKindBindings[];
extern const size_t traceValueKindBindingCount;

// The first row of `table` whose value is `value`, or null.
//   buffer type table, -2 -> SQL_C_BINARY (listed before SQL_C_VARBOOKMARK)
const TraceConstant* TraceFindConstant(const TraceConstantTable& table, int32_t value);

// Outcomes of a lookup.
enum class TraceLookup : uint8_t {
  kFound,     // a row matched
  kNotFound,  // the table has no such value (the value-kind lookup's "unknown attribute")
  kNoTable,   // the function and argument have no binding
};

struct TraceNameResult {
  TraceLookup outcome;
  const char* name;  // the row's name when found
  int32_t key;       // the key that was looked up
};

// The name of an integer argument (type codes 7, 8, 19, 20, 24).
//   SQLFreeStmt option 1 -> kFound "SQL_DROP"; 7 -> kNotFound
TraceNameResult TraceLookupName(const TraceCallRecord& record, uint32_t argIndex);

struct TraceValueKindResult {
  TraceLookup outcome;
  uint32_t renderCode;  // when found: 7, 15, 1, 30 or 35 by the row's kind flags
  int32_t key;          // the key argument's value
};

// How the value buffer argument `argIndex` (type codes 9, 18, 25) is shown.
//   SQLGetInfo SQL_DBMS_NAME -> 30 (35 for SQLGetInfoW)
TraceValueKindResult TraceLookupValueKind(const TraceCallRecord& record, uint32_t argIndex);

// The render code of a row's kind flags for a record (narrow or wide).
uint32_t TraceRenderCodeOfKind(uint32_t kindFlags, uint32_t wide);

#endif  // VRTRACE_CONSTANTS_H
