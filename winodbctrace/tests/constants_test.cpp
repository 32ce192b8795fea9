// The constant-name lookups as the argument renderer asks them: which table
// names an argument of a call, how its key is read, and what the kind of a
// row makes of a value buffer. Values are written as numbers here (this file
// cannot include the ODBC headers beside trace.h); constants_values_test
// checks every row against the headers.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>

#include "constants.h"
#include "render.h"
#include "trace.h"

namespace {

// A record with its arguments' 64-bit values as given (an export widens
// them by type code first; the lookups must read any stored value).
struct Arg {
  uint32_t code;
  int64_t value;
};

TraceCallRecord makeRecord(uint32_t functionId, const char* functionName, std::initializer_list<Arg> args,
                           uint32_t wide = 0) {
  TraceCallRecord record{};
  record.functionId = functionId;
  record.functionName = functionName;
  record.wide = wide;
  for (const Arg& arg : args) {
    record.typeCodes[record.argCount] = arg.code;
    record.typeNames[record.argCount] = TraceTypeLabel(arg.code);
    record.values[record.argCount] = static_cast<uint64_t>(arg.value);
    ++record.argCount;
  }
  return record;
}

// Argument lists of the calls below, with the key in place of `k`.
TraceCallRecord freeStmt(int64_t k) { return makeRecord(16, "SQLFreeStmt", {{6, 0x1000}, {7, k}}); }
TraceCallRecord bindCol(int64_t k) {
  return makeRecord(4, "SQLBindCol", {{6, 0x1000}, {7, 1}, {8, k}, {9, 0x2000}, {55, 8}, {57, 0x3000}});
}
TraceCallRecord getInfo(int64_t k, uint32_t wide = 0) {
  return makeRecord(45, wide ? "SQLGetInfoW" : "SQLGetInfo", {{4, 0x1000}, {7, k}, {9, 0x2000}, {8, 100}, {12, 0x3000}},
                    wide);
}
TraceCallRecord getFunctions(int64_t k) { return makeRecord(44, "SQLGetFunctions", {{4, 0x1000}, {7, k}, {17, 0x2000}}); }
TraceCallRecord colAttribute(const char* name, int64_t k) {
  const bool odbc2 = std::string(name).find("Attributes") != std::string::npos;
  if (odbc2) {
    return makeRecord(6, name, {{6, 0x1000}, {7, 1}, {7, k}, {9, 0x2000}, {8, 100}, {12, 0x3000}, {57, 0x4000}});
  }
  return makeRecord(6, name, {{23, 0x1000}, {20, 1}, {20, k}, {25, 0x2000}, {20, 100}, {27, 0x3000}, {25, 0x4000}});
}
TraceCallRecord attrCall(uint32_t id, const char* name, int64_t k, uint32_t wide = 0) {
  return makeRecord(id, name, {{23, 0x1000}, {24, k}, {25, 0x2000}, {24, -3}, {26, 0x3000}}, wide);
}
TraceCallRecord setDescField(int64_t k, uint32_t wide = 0) {
  return makeRecord(1017, wide ? "SQLSetDescFieldW" : "SQLSetDescField",
                    {{28, 0x1000}, {20, 1}, {20, k}, {25, 0x2000}, {24, -3}}, wide);
}
TraceCallRecord bindParam(int64_t k) {
  return makeRecord(1002, "SQLBindParam",
                    {{23, 0x1000}, {20, 1}, {20, k}, {20, 12}, {24, k}, {20, 0}, {25, 0x2000}, {26, 0x3000}});
}
TraceCallRecord setScrollOptions(int64_t k) {
  return makeRecord(69, "SQLSetScrollOptions", {{6, 0x1000}, {7, k}, {10, k}, {7, 1}});
}

std::string outcomeText(const TraceNameResult& result) {
  switch (result.outcome) {
    case TraceLookup::kFound:
      return result.name;
    case TraceLookup::kNotFound:
      return "<unknown>";
    case TraceLookup::kNoTable:
      break;
  }
  return "<no table>";
}

// --- The tables -----------------------------------------------------------

TEST(ConstantTablesTest, TwentyNineTablesOf643Rows) {
  struct Row {
    const char* title;
    size_t count;
  } rows[] = {
      {"buffer type table", 41},
      {"SQL data type table", 40},
      {"info type table", 189},
      {"function id table", 98},
      {"connection option table", 27},
      {"statement option table", 15},
      {"connection attribute table for reading", 18},
      {"connection attribute table", 41},
      {"statement attribute table", 33},
      {"environment attribute table", 2},
      {"descriptor field table", 39},
      {"ODBC 2 column attribute table", 19},
      {"column attribute table", 27},
      {"free-statement option table", 4},
      {"completion type table", 2},
      {"driver completion table", 4},
      {"list direction table", 2},
      {"fetch orientation table", 7},
      {"handle type table", 5},
      {"position operation table", 5},
      {"lock type table", 3},
      {"concurrency table", 4},
      {"cursor type table", 4},
      {"index type table", 2},
      {"accuracy table", 2},
      {"identifier type table", 2},
      {"scope table", 3},
      {"nullability table", 2},
      {"parameter direction table", 3},
  };
  ASSERT_EQ(traceConstantTableCount, std::size(rows));
  size_t total = 0;
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].title);
    EXPECT_STREQ(traceConstantTables[i].name, rows[i].title);
    EXPECT_EQ(traceConstantTables[i].count, rows[i].count);
    total += traceConstantTables[i].count;
  }
  EXPECT_EQ(total, 643u);
}

// Kinds where the rows of a table differ: how many rows carry each.
TEST(ConstantTablesTest, KindFlagsPerTable) {
  struct Row {
    size_t table;
    uint32_t kind;
    size_t count;
  } rows[] = {
      {2, 0x1, 36},      {2, 0x2, 14},     {2, 0x4, 91},     {2, 0x8, 5},     {2, 0x10, 43},
      {4, 0x22, 8},      {4, 0x30, 3},     {4, 0x28, 1},     {4, 0x42, 15},   {5, 0x2, 15},
      {6, 0x22, 14},     {6, 0x30, 3},     {6, 0x28, 1},     {7, 0x22, 13},   {7, 0x30, 3},
      {7, 0x28, 1},      {7, 0x42, 16},    {7, 0x10040, 5},  {7, 0x20040, 3}, {8, 0x8000, 4},
      {8, 0x10000, 5},   {8, 0x20000, 4},  {8, 0x2, 20},     {9, 0x2, 2},     {10, 0x10, 11},
      {10, 0x20000, 6},  {10, 0x2, 22},    {11, 0x10, 6},    {11, 0x2, 13},   {12, 0x10, 11},
      {12, 0x2, 16},     {21, 0x2, 4},     {22, 0x2, 4},     {0, 0x0, 41},    {3, 0x0, 98},
  };
  for (const Row& row : rows) {
    const TraceConstantTable& table = traceConstantTables[row.table];
    SCOPED_TRACE(std::string(table.name) + " kind " + std::to_string(row.kind));
    size_t count = 0;
    for (size_t i = 0; i < table.count; ++i) count += table.rows[i].kindFlags == row.kind;
    EXPECT_EQ(count, row.count);
  }
}

// --- Name lookup ------------------------------------------------------------

TEST(ConstantNameTest, FindsTheFirstRowOfTheBoundTable) {
  struct Row {
    TraceCallRecord record;
    uint32_t arg;
    const char* expected;
    const char* note;
  } rows[] = {
      {freeStmt(1), 1, "SQL_DROP", "16-bit unsigned key"},
      {freeStmt(7), 1, "<unknown>", "no such option"},
      {freeStmt(1), 0, "<no table>", "the handle has no table"},
      {freeStmt(0x10001), 1, "SQL_DROP", "only the low 16 bits count"},
      {bindCol(-2), 2, "SQL_C_BINARY", "first of SQL_C_BINARY and SQL_C_VARBOOKMARK"},
      {bindCol(-27), 2, "SQL_C_BOOKMARK", "listed before SQL_C_UBIGINT"},
      {bindCol(0xFFFE), 2, "SQL_C_BINARY", "low 16 bits read as signed"},
      {bindCol(0x7FFF), 2, "<unknown>", "largest signed 16-bit key"},
      {bindCol(1), 1, "<no table>", "the column number has no table"},
      {getInfo(0), 1, "SQL_ACTIVE_CONNECTIONS", "before SQL_MAX_DRIVER_CONNECTIONS"},
      {getInfo(39), 1, "SQL_OWNER_TERM", "before SQL_SCHEMA_TERM"},
      {getInfo(17), 1, "SQL_DBMS_NAME", ""},
      {getInfo(114), 1, "SQL_CATALOG_LOCATION", "before SQL_QUALIFIER_LOCATION"},
      {getInfo(65535), 1, "<unknown>", "largest unsigned 16-bit key"},
      {getFunctions(24), 1, "SQL_API_SQLBULKOPERATIONS", "the one value of the second run"},
      {getFunctions(6), 1, "SQL_API_SQLCOLATTRIBUTES", "before SQL_API_SQLCOLATTRIBUTE"},
      {getFunctions(999), 1, "SQL_API_ODBC3_ALL_FUNCTIONS", ""},
      {getFunctions(1002), 1, "SQL_API_SQLBINDPARAM", "an ODBC 3 id in the first run"},
      {getFunctions(2), 2, "<no table>", "the output array has no table"},
      {attrCall(1016, "SQLSetConnectAttr", 40000), 1, "<unknown>", "-25536 as a signed 16-bit key"},
      {attrCall(1016, "SQLSetConnectAttr", 105), 1, "SQL_ATTR_TRACEFILE", ""},
      {attrCall(1016, "SQLSetConnectAttrW", 105 + 65536), 1, "SQL_ATTR_TRACEFILE", "low 16 bits"},
      {attrCall(1020, "SQLSetStmtAttr", 10010), 1, "SQL_ATTR_APP_ROW_DESC", "32-bit key"},
      {attrCall(1020, "SQLSetStmtAttr", 10010 + 65536), 1, "<unknown>", "32-bit key keeps the high bits"},
      {attrCall(1020, "SQLSetStmtAttr", static_cast<int64_t>(0xFFFFFFFF0000271Aull)), 1, "SQL_ATTR_APP_ROW_DESC",
       "bits above 32 do not count"},
      {attrCall(1020, "SQLSetStmtAttr", -1), 1, "SQL_ATTR_CURSOR_SCROLLABLE", "negative 32-bit key"},
      {attrCall(1014, "SQLGetStmtAttr", 10010), 1, "<unknown>", "ODBC 2 statement options only"},
      {attrCall(1014, "SQLGetStmtAttrW", 0), 1, "SQL_QUERY_TIMEOUT", ""},
      {attrCall(1007, "SQLGetConnectAttr", 10001), 1, "SQL_ATTR_AUTO_IPD", "the table for reading"},
      {attrCall(1012, "SQLGetEnvAttr", 200), 1, "SQL_ATTR_ODBC_VERSION", ""},
      {attrCall(1019, "SQLSetEnvAttr", 10001), 1, "SQL_ATTR_OUTPUT_NTS", ""},
      {makeRecord(51, "SQLSetStmtOption", {{6, 1}, {7, 65536}, {15, 0}}), 1, "<unknown>", "32-bit key"},
      {makeRecord(51, "SQLSetStmtOption", {{6, 1}, {7, 9}, {15, 0}}), 1, "SQL_ROWSET_SIZE", ""},
      {makeRecord(50, "SQLSetConnectOption", {{4, 1}, {7, 101}, {15, 0}}), 1, "SQL_ACCESS_MODE", ""},
      {makeRecord(47, "SQLGetTypeInfoW", {{6, 1}, {8, -8}}), 1, "SQL_WCHAR", "signed key"},
      {makeRecord(23, "SQLTransact", {{1, 1}, {4, 2}, {7, 1}}), 2, "SQL_ROLLBACK", ""},
      {makeRecord(1005, "SQLEndTran", {{20, 2}, {21, 1}, {20, 0}}), 0, "SQL_HANDLE_DBC", ""},
      {makeRecord(1005, "SQLEndTran", {{20, 2}, {21, 1}, {20, 0}}), 2, "<no table>", "completion type unbound"},
      {makeRecord(1021, "SQLFetchScroll", {{23, 1}, {20, 8}, {24, 0}}), 1, "SQL_FETCH_BOOKMARK", ""},
      {makeRecord(57, "SQLDataSourcesW", {{1, 1}, {7, 2}}), 1, "SQL_FETCH_FIRST", ""},
      {bindParam(-8), 2, "SQL_C_WCHAR", ""},
      {bindParam(12), 3, "SQL_VARCHAR", ""},
      {bindParam(12), 4, "<no table>", "the length argument"},
      {setScrollOptions(1), 1, "SQL_CONCUR_READ_ONLY", ""},
      {setScrollOptions(1), 2, "<no table>", "the keyset argument"},
      {setDescField(1011), 2, "SQL_DESC_NAME", ""},
      {makeRecord(1018, "SQLSetDescRec", {{28, 1}, {20, 1}, {20, 93}}), 2, "SQL_C_TYPE_TIMESTAMP", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.record.functionName) + " argument " + std::to_string(row.arg) + ": " + row.note);
    EXPECT_EQ(outcomeText(TraceLookupName(row.record, row.arg)), row.expected);
  }
}

// Function id 6 is shared: the record's name picks the table, ignoring case.
TEST(ConstantNameTest, ColumnAttributeCallsShareAnId) {
  struct Row {
    const char* function;
    int64_t key;
    const char* expected;
  } rows[] = {
      {"SQLColAttributes", 18, "SQL_COLUMN_LABEL"},
      {"SQLColAttributesW", 18, "SQL_COLUMN_LABEL"},
      {"sqlcolattributesw", 18, "SQL_COLUMN_LABEL"},
      {"SQLColAttribute", 18, "SQL_DESC_LABEL"},
      {"SQLColAttributeW", 18, "SQL_DESC_LABEL"},
      {"SQLColAttributeW", 1011, "SQL_DESC_NAME"},
      {"SQLColAttributes", 1011, "<unknown>"},
      {"SQLColAttributesX", 18, "SQL_DESC_LABEL"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.function) + " " + std::to_string(row.key));
    EXPECT_EQ(outcomeText(TraceLookupName(colAttribute(row.function, row.key), 2)), row.expected);
  }
  TraceCallRecord unnamed = colAttribute("SQLColAttribute", 18);
  unnamed.functionName = nullptr;
  EXPECT_EQ(outcomeText(TraceLookupName(unnamed, 2)), "SQL_DESC_LABEL");
}

TEST(ConstantNameTest, NotFoundCarriesTheKey) {
  TraceNameResult result = TraceLookupName(attrCall(1016, "SQLSetConnectAttr", 40000), 1);
  EXPECT_EQ(result.outcome, TraceLookup::kNotFound);
  EXPECT_EQ(result.key, -25536);
  EXPECT_EQ(result.name, nullptr);
  result = TraceLookupName(getInfo(0x1FFFF), 1);
  EXPECT_EQ(result.key, 65535);
}

// A record without the bound argument gets no table rather than a read of a
// slot the export never set.
TEST(ConstantNameTest, ShortRecordHasNoTable) {
  TraceCallRecord record = freeStmt(1);
  record.argCount = 1;
  EXPECT_EQ(TraceLookupName(record, 1).outcome, TraceLookup::kNoTable);
  record.argCount = 2;
  EXPECT_EQ(TraceLookupName(record, 1).outcome, TraceLookup::kFound);
  EXPECT_EQ(TraceLookupName(record, 20).outcome, TraceLookup::kNoTable);
  EXPECT_EQ(TraceLookupName(makeRecord(9999, "SQLNothing", {{7, 1}, {7, 1}}), 1).outcome, TraceLookup::kNoTable);
}

// --- Value-kind lookup ------------------------------------------------------

TEST(ConstantValueKindTest, RenderCodesOfTheKeyRow) {
  struct Row {
    TraceCallRecord record;
    uint32_t arg;
    TraceLookup outcome;
    uint32_t renderCode;
    const char* note;
  } rows[] = {
      {setDescField(1011), 3, TraceLookup::kFound, 30, "SQL_DESC_NAME, text"},
      {setDescField(1011, 1), 3, TraceLookup::kFound, 35, "SQL_DESC_NAME, wide"},
      {setDescField(1001), 3, TraceLookup::kFound, 15, "SQL_DESC_COUNT, 32-bit"},
      {setDescField(1010), 3, TraceLookup::kFound, 1, "SQL_DESC_DATA_PTR, pointer"},
      {setDescField(1011), 2, TraceLookup::kNoTable, 0, "the key argument itself"},
      {getInfo(3), 2, TraceLookup::kFound, 1, "SQL_DRIVER_HDBC, handle"},
      {getInfo(1), 2, TraceLookup::kFound, 7, "SQL_ACTIVE_STATEMENTS, 16-bit"},
      {getInfo(86), 2, TraceLookup::kFound, 1, "SQL_ALTER_TABLE, bit mask"},
      {getInfo(17), 2, TraceLookup::kFound, 30, "SQL_DBMS_NAME"},
      {getInfo(17, 1), 2, TraceLookup::kFound, 35, "SQL_DBMS_NAME, wide"},
      {getInfo(20000), 2, TraceLookup::kNotFound, 0, "no such info type"},
      {attrCall(1020, "SQLSetStmtAttr", 10010), 2, TraceLookup::kFound, 1, "descriptor handle"},
      {attrCall(1020, "SQLSetStmtAttr", 0), 2, TraceLookup::kFound, 15, "SQL_ATTR_QUERY_TIMEOUT"},
      {attrCall(1020, "SQLSetStmtAttr", 25), 2, TraceLookup::kFound, 1, "SQL_ATTR_ROW_STATUS_PTR"},
      {attrCall(1016, "SQLSetConnectAttr", 12345), 2, TraceLookup::kNotFound, 0, "unknown attribute"},
      {attrCall(1016, "SQLSetConnectAttr", 111), 2, TraceLookup::kFound, 1, "SQL_ATTR_QUIET_MODE, window"},
      {attrCall(1016, "SQLSetConnectAttrW", 109, 1), 2, TraceLookup::kFound, 35, "SQL_ATTR_CURRENT_CATALOG"},
      {attrCall(1016, "SQLSetConnectAttr", 102), 2, TraceLookup::kFound, 15, "SQL_ATTR_AUTOCOMMIT"},
      {attrCall(1007, "SQLGetConnectAttr", 105), 2, TraceLookup::kFound, 30, "SQL_ATTR_TRACEFILE"},
      {attrCall(1014, "SQLGetStmtAttr", 0), 2, TraceLookup::kFound, 15, "SQL_QUERY_TIMEOUT"},
      {attrCall(1012, "SQLGetEnvAttr", 200), 2, TraceLookup::kFound, 15, "SQL_ATTR_ODBC_VERSION"},
      {attrCall(1019, "SQLSetEnvAttr", 200 + 65536), 2, TraceLookup::kNotFound, 0, "32-bit key"},
      {colAttribute("SQLColAttribute", 18), 6, TraceLookup::kFound, 30, "SQL_COLUMN_LABEL"},
      {colAttribute("SQLColAttributeW", 2), 6, TraceLookup::kFound, 15, "SQL_COLUMN_TYPE"},
      {colAttribute("SQLColAttributes", 2), 6, TraceLookup::kNoTable, 0, "the ODBC 2 call is unbound"},
      {bindCol(1), 3, TraceLookup::kNoTable, 0, "plain pointer"},
      {makeRecord(43, "SQLGetData", {{6, 1}, {7, 1}, {8, 1}, {9, 0x2000}, {10, 10}, {11, 0}}), 3,
       TraceLookup::kNoTable, 0, "SQLGetData goes by its buffer type"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.record.functionName) + " argument " + std::to_string(row.arg) + ": " + row.note);
    TraceValueKindResult result = TraceLookupValueKind(row.record, row.arg);
    EXPECT_EQ(result.outcome, row.outcome);
    if (row.outcome == TraceLookup::kFound) {
      EXPECT_EQ(result.renderCode, row.renderCode);
    }
  }
}

TEST(ConstantValueKindTest, UnknownAttributeCarriesTheKey) {
  TraceValueKindResult result = TraceLookupValueKind(attrCall(1016, "SQLSetConnectAttr", 12345), 2);
  EXPECT_EQ(result.outcome, TraceLookup::kNotFound);
  EXPECT_EQ(result.key, 12345);
  result = TraceLookupValueKind(attrCall(1016, "SQLSetConnectAttr", 40000), 2);
  EXPECT_EQ(result.key, -25536);
}

// Text is tested first, then 16-bit, then bit masks and handles, then
// 32-bit; anything else is a pointer.
TEST(ConstantValueKindTest, RenderCodeOfKindFlags) {
  struct Row {
    uint32_t kind;
    uint32_t narrow;
    uint32_t wide;
  } rows[] = {
      {0x10, 30, 35},     {0x30, 30, 35},     {0x1F, 30, 35},   {0x1, 7, 7},    {0x7, 7, 7},
      {0x4, 1, 1},        {0x6, 1, 1},        {0x8, 1, 1},      {0x28, 1, 1},   {0x88, 1, 1},
      {0x2, 15, 15},      {0x22, 15, 15},     {0x42, 15, 15},   {0x0, 1, 1},    {0x20, 1, 1},
      {0x8000, 1, 1},     {0x10040, 1, 1},    {0x20000, 1, 1},  {0x80, 1, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    EXPECT_EQ(TraceRenderCodeOfKind(row.kind, 0), row.narrow);
    EXPECT_EQ(TraceRenderCodeOfKind(row.kind, 1), row.wide);
  }
}

// --- Buffer types of SQLGetData --------------------------------------------

// The code that shows an SQLGetData value buffer, by its buffer type: the
// rows of one value give it one code; every other type, on both sides of
// the indexed range, shows as unknown (0).
TEST(ConstantBufferTypeTest, EachTypeShowsByItsCode) {
  struct Row {
    int16_t bufferType;
    uint32_t code;
    const char* note;
  } rows[] = {
      {1, 30, "SQL_C_CHAR"},        {-2, 30, "SQL_C_BINARY, SQL_C_VARBOOKMARK"},
      {-8, 34, "SQL_C_WCHAR"},      {5, 20, "SQL_C_SHORT"},
      {-15, 20, "SQL_C_SSHORT"},    {-17, 7, "SQL_C_USHORT"},
      {4, 24, "SQL_C_LONG"},        {-16, 10, "SQL_C_SLONG"},
      {-18, 15, "SQL_C_ULONG"},     {-7, 19, "SQL_C_BIT"},
      {7, 36, "SQL_C_FLOAT"},       {8, 38, "SQL_C_DOUBLE"},
      {-28, 41, "SQL_C_UTINYINT, the lowest"},
      {-6, 43, "SQL_C_TINYINT"},    {-26, 43, "SQL_C_STINYINT"},
      {11, 45, "SQL_C_TIMESTAMP"},  {93, 45, "SQL_C_TYPE_TIMESTAMP, the highest"},
      {10, 47, "SQL_C_TIME"},       {92, 47, "SQL_C_TYPE_TIME"},
      {9, 49, "SQL_C_DATE"},        {91, 49, "SQL_C_TYPE_DATE"},
      {-25, 51, "SQL_C_SBIGINT"},   {-27, 53, "SQL_C_UBIGINT, SQL_C_BOOKMARK"},
      {2, 0, "SQL_C_NUMERIC"},      {99, 0, "SQL_C_DEFAULT"},
      {-99, 0, "SQL_ARD_TYPE"},     {101, 0, "SQL_C_INTERVAL_YEAR"},
      {-3, 0, "no type"},           {-29, 0, "below the lowest"},
      {94, 0, "above the highest"}, {INT16_MIN, 0, "-32768"},
      {INT16_MAX, 0, "32767"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(TraceBufferTypeRenderCode(row.bufferType), row.code);
  }
}

}  // namespace
