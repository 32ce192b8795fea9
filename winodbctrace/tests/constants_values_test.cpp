// Every row of the constant tables and their value lists against unixODBC's
// headers: each name has the value the headers give it, and where names
// share a value the first listed is the one a lookup finds.
//
// This file includes the ODBC headers, so it must not include trace.h
// (sqlext.h declares the trace exports with prototypes of its own).

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "constants.h"
#include "trace_constant_names.inc"

namespace {

const std::map<std::string, long long>& headerValues() {
  static const std::map<std::string, long long> values = [] {
    std::map<std::string, long long> map;
    for (const TraceHeaderName& entry : kTraceHeaderNames) map[entry.name] = entry.value;
    return map;
  }();
  return values;
}

const TraceConstantTable& tableNamed(const char* title) {
  for (size_t i = 0; i < traceConstantTableCount; ++i) {
    if (std::strcmp(traceConstantTables[i].name, title) == 0) return traceConstantTables[i];
  }
  ADD_FAILURE() << "no table " << title;
  return traceConstantTables[0];
}

const TraceConstant& rowNamed(const TraceConstantTable& table, const char* name) {
  for (size_t i = 0; i < table.count; ++i) {
    if (std::strcmp(table.rows[i].name, name) == 0) return table.rows[i];
  }
  ADD_FAILURE() << "no row " << name << " in " << table.name;
  return table.rows[0];
}

std::string nameOf(const TraceConstantTable& table, int32_t value) {
  const TraceConstant* row = TraceFindConstant(table, value);
  return row != nullptr ? row->name : "<none>";
}

// Calls `visit` for every row of every table and every value list, each list
// once however many rows share it.
template <typename Visit>
void forEachRow(Visit visit) {
  std::set<const TraceConstant*> seen;
  std::vector<std::pair<const TraceConstant*, uint32_t>> pending;
  for (size_t i = 0; i < traceConstantTableCount; ++i) {
    seen.insert(traceConstantTables[i].rows);
    pending.emplace_back(traceConstantTables[i].rows, static_cast<uint32_t>(traceConstantTables[i].count));
  }
  while (!pending.empty()) {
    auto [rows, count] = pending.back();
    pending.pop_back();
    for (uint32_t i = 0; i < count; ++i) {
      visit(rows[i]);
      if (rows[i].valueList != nullptr && seen.insert(rows[i].valueList).second) {
        pending.emplace_back(rows[i].valueList, rows[i].valueListCount);
      }
    }
  }
}

TEST(ConstantValuesTest, EveryRowHasItsHeaderValue) {
  // The rows that stand for a pointer's state: the only values not in the
  // headers.
  const std::map<std::string, int32_t> pseudo = {
      {"<null pointer>", 9999}, {"<empty string>", 9998}, {"<valid pointer>", 9997},
      {"<hwnd>", 1},            {"TRUE", 1},              {"FALSE", 0},
  };
  const std::set<int16_t> valueTypes = {SQL_C_SSHORT, SQL_C_SLONG, SQL_C_USHORT, SQL_C_ULONG};
  size_t rows = 0;
  std::set<std::string> pseudoSeen;
  forEachRow([&](const TraceConstant& row) {
    SCOPED_TRACE(row.name);
    ++rows;
    auto header = headerValues().find(row.name);
    if (header != headerValues().end()) {
      EXPECT_EQ(row.value, static_cast<int32_t>(header->second));
    } else {
      auto literal = pseudo.find(row.name);
      ASSERT_NE(literal, pseudo.end()) << "neither a header name nor a pseudo row";
      EXPECT_EQ(row.value, literal->second);
      pseudoSeen.insert(row.name);
    }
    EXPECT_EQ(valueTypes.count(row.valueType), 1u);
    EXPECT_TRUE(row.odbcVersion >= 1 && row.odbcVersion <= 3);
    EXPECT_EQ(row.valueListCount == 0, row.valueList == nullptr);
  });
  EXPECT_EQ(pseudoSeen.size(), pseudo.size());
  EXPECT_GT(rows, 643u);
}

// A few values spelt out, so the header route itself is checked too.
TEST(ConstantValuesTest, HeaderRouteGivesKnownValues) {
  EXPECT_EQ(rowNamed(tableNamed("buffer type table"), "SQL_C_BOOKMARK").value, -27);
  EXPECT_EQ(rowNamed(tableNamed("buffer type table"), "SQL_ARD_TYPE").value, -99);
  EXPECT_EQ(rowNamed(tableNamed("free-statement option table"), "SQL_DROP").value, 1);
  EXPECT_EQ(rowNamed(tableNamed("statement attribute table"), "SQL_ATTR_APP_ROW_DESC").value, 10010);
  EXPECT_EQ(rowNamed(tableNamed("function id table"), "SQL_API_ODBC3_ALL_FUNCTIONS").value, 999);
  EXPECT_EQ(rowNamed(tableNamed("statement attribute table"), "SQL_ATTR_CURSOR_SCROLLABLE").value, -1);
}

TEST(ConstantValuesTest, BindingsUseTheHeaderFunctionIds) {
  ASSERT_EQ(traceNameBindingCount, std::size(kTraceNameBindingIds));
  for (size_t i = 0; i < traceNameBindingCount; ++i) {
    EXPECT_EQ(traceNameBindings[i].functionId, kTraceNameBindingIds[i]) << "name binding " << i;
  }
  ASSERT_EQ(traceValueKindBindingCount, std::size(kTraceValueKindBindingIds));
  for (size_t i = 0; i < traceValueKindBindingCount; ++i) {
    EXPECT_EQ(traceValueKindBindings[i].functionId, kTraceValueKindBindingIds[i]) << "value-kind binding " << i;
  }
}

// Where names share a value, the one listed first is found.
TEST(ConstantValuesTest, FirstListedNameWins) {
  struct Row {
    const char* table;
    long long value;
    const char* expected;
    const char* alsoListed;
  } rows[] = {
      {"buffer type table", SQL_C_BINARY, "SQL_C_BINARY", "SQL_C_VARBOOKMARK"},
      {"buffer type table", SQL_C_UBIGINT, "SQL_C_BOOKMARK", "SQL_C_UBIGINT"},
      {"info type table", SQL_MAX_DRIVER_CONNECTIONS, "SQL_ACTIVE_CONNECTIONS", "SQL_MAX_DRIVER_CONNECTIONS"},
      {"info type table", SQL_MAX_CONCURRENT_ACTIVITIES, "SQL_ACTIVE_STATEMENTS", "SQL_MAX_CONCURRENT_ACTIVITIES"},
      {"info type table", SQL_MAX_OWNER_NAME_LEN, "SQL_MAX_SCHEMA_NAME_LEN", "SQL_MAX_OWNER_NAME_LEN"},
      {"info type table", SQL_MAX_QUALIFIER_NAME_LEN, "SQL_MAX_CATALOG_NAME_LEN", "SQL_MAX_QUALIFIER_NAME_LEN"},
      {"info type table", SQL_SCHEMA_TERM, "SQL_OWNER_TERM", "SQL_SCHEMA_TERM"},
      {"info type table", SQL_QUALIFIER_NAME_SEPARATOR, "SQL_CATALOG_NAME_SEPARATOR", "SQL_QUALIFIER_NAME_SEPARATOR"},
      {"info type table", SQL_QUALIFIER_TERM, "SQL_CATALOG_TERM", "SQL_QUALIFIER_TERM"},
      {"info type table", SQL_ODBC_SQL_OPT_IEF, "SQL_INTEGRITY", "SQL_ODBC_SQL_OPT_IEF"},
      {"info type table", SQL_SCHEMA_USAGE, "SQL_OWNER_USAGE", "SQL_SCHEMA_USAGE"},
      {"info type table", SQL_QUALIFIER_USAGE, "SQL_CATALOG_USAGE", "SQL_QUALIFIER_USAGE"},
      {"info type table", SQL_QUALIFIER_LOCATION, "SQL_CATALOG_LOCATION", "SQL_QUALIFIER_LOCATION"},
      {"function id table", SQL_API_SQLCOLATTRIBUTE, "SQL_API_SQLCOLATTRIBUTES", "SQL_API_SQLCOLATTRIBUTE"},
      {"function id table", SQL_API_SQLBULKOPERATIONS, "SQL_API_SQLBULKOPERATIONS", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.table) + " " + std::to_string(row.value) + " " + row.alsoListed);
    EXPECT_EQ(nameOf(tableNamed(row.table), static_cast<int32_t>(row.value)), row.expected);
  }
}

// The function id table lists the ODBC 3 names again after SQL_API_SQLBINDPARAMETER;
// of that second run only SQL_API_SQLBULKOPERATIONS is ever found.
TEST(ConstantValuesTest, SecondRunOfFunctionIdsRepeatsTheFirst) {
  const TraceConstantTable& table = tableNamed("function id table");
  size_t secondRun = 0;
  while (secondRun < table.count && std::strcmp(table.rows[secondRun].name, "SQL_API_SQLBINDPARAMETER") != 0) {
    ++secondRun;
  }
  ASSERT_EQ(secondRun, 76u);
  ++secondRun;
  for (size_t i = secondRun; i < table.count; ++i) {
    SCOPED_TRACE(table.rows[i].name);
    const TraceConstant* found = TraceFindConstant(table, table.rows[i].value);
    const bool own = std::strcmp(table.rows[i].name, "SQL_API_SQLBULKOPERATIONS") == 0;
    EXPECT_EQ(found == &table.rows[i], own);
  }
}

// The value lists the trace data describes: shared lists, tables doubling as
// lists, the nested lists of a descriptor's type.
TEST(ConstantValuesTest, ValueListsAsDescribed) {
  const TraceConstantTable& info = tableNamed("info type table");
  const TraceConstantTable& options = tableNamed("connection option table");
  const TraceConstantTable& attributes = tableNamed("connection attribute table");
  const TraceConstantTable& fields = tableNamed("descriptor field table");
  const TraceConstantTable& odbc2Columns = tableNamed("ODBC 2 column attribute table");
  const TraceConstantTable& columns = tableNamed("column attribute table");

  const TraceConstant& accessMode = rowNamed(attributes, "SQL_ATTR_ACCESS_MODE");
  ASSERT_EQ(accessMode.valueListCount, 2u);
  EXPECT_STREQ(accessMode.valueList[0].name, "SQL_MODE_READ_WRITE");
  EXPECT_EQ(accessMode.valueList[0].value, static_cast<int32_t>(SQL_MODE_READ_WRITE));
  EXPECT_STREQ(accessMode.valueList[1].name, "SQL_MODE_READ_ONLY");

  const TraceConstant& alterTable = rowNamed(info, "SQL_ALTER_TABLE");
  ASSERT_GT(alterTable.valueListCount, 0u);
  for (uint32_t i = 0; i < alterTable.valueListCount; ++i) {
    EXPECT_EQ(std::strncmp(alterTable.valueList[i].name, "SQL_AT_", 7), 0) << alterTable.valueList[i].name;
    EXPECT_EQ(alterTable.valueList[i].kindFlags, kTraceKindBitMask);
  }

  // One isolation list for the attribute, the option and both info types.
  const TraceConstant* isolation = rowNamed(attributes, "SQL_ATTR_TXN_ISOLATION").valueList;
  ASSERT_NE(isolation, nullptr);
  EXPECT_EQ(rowNamed(options, "SQL_TXN_ISOLATION").valueList, isolation);
  EXPECT_EQ(rowNamed(info, "SQL_DEFAULT_TXN_ISOLATION").valueList, isolation);
  EXPECT_EQ(rowNamed(info, "SQL_TXN_ISOLATION_OPTION").valueList, isolation);

  // Tables that serve as lists.
  EXPECT_EQ(rowNamed(odbc2Columns, "SQL_COLUMN_TYPE").valueList, tableNamed("SQL data type table").rows);
  EXPECT_EQ(rowNamed(columns, "SQL_DESC_CONCISE_TYPE").valueList, tableNamed("SQL data type table").rows);
  EXPECT_EQ(rowNamed(columns, "SQL_DESC_TYPE").valueList, tableNamed("SQL data type table").rows);
  EXPECT_EQ(rowNamed(attributes, "SQL_ATTR_CONCURRENCY").valueList, tableNamed("concurrency table").rows);
  EXPECT_EQ(rowNamed(attributes, "SQL_ATTR_CURSOR_TYPE").valueList, tableNamed("cursor type table").rows);
  EXPECT_EQ(rowNamed(fields, "SQL_DESC_PARAMETER_TYPE").valueList, tableNamed("parameter direction table").rows);

  // A descriptor's types: nested lists for the datetime and interval families.
  const TraceConstant& descType = rowNamed(fields, "SQL_DESC_TYPE");
  ASSERT_NE(descType.valueList, nullptr);
  TraceConstantTable descTypes{"SQL_DESC_TYPE", descType.valueList, descType.valueListCount};
  EXPECT_EQ(rowNamed(descTypes, "SQL_DATETIME").valueListCount, 3u);
  EXPECT_EQ(rowNamed(descTypes, "SQL_INTERVAL").valueListCount, 16u);
  EXPECT_EQ(rowNamed(fields, "SQL_DESC_CONCISE_TYPE").valueListCount, 79u);

  // Shared pseudo lists.
  const TraceConstant* yesNo = rowNamed(odbc2Columns, "SQL_COLUMN_MONEY").valueList;
  ASSERT_NE(yesNo, nullptr);
  EXPECT_STREQ(yesNo[0].name, "TRUE");
  for (const char* name : {"SQL_DESC_AUTO_UNIQUE_VALUE", "SQL_DESC_CASE_SENSITIVE", "SQL_DESC_FIXED_PREC_SCALE",
                           "SQL_DESC_UNSIGNED"}) {
    EXPECT_EQ(rowNamed(columns, name).valueList, yesNo) << name;
  }
  const TraceConstant* text = rowNamed(info, "SQL_DBMS_NAME").valueList;
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text[0].value, 9999);
  EXPECT_EQ(text[0].kindFlags, kTraceKindText);
  EXPECT_EQ(rowNamed(fields, "SQL_DESC_NAME").valueList, text);
  const TraceConstant* quiet = rowNamed(attributes, "SQL_ATTR_QUIET_MODE").valueList;
  ASSERT_NE(quiet, nullptr);
  EXPECT_STREQ(quiet[1].name, "<hwnd>");
  EXPECT_EQ(quiet[1].kindFlags, kTraceKindHandle | kTraceKindPseudo);
  const TraceConstant* pointer = rowNamed(fields, "SQL_DESC_DATA_PTR").valueList;
  ASSERT_NE(pointer, nullptr);
  EXPECT_STREQ(pointer[1].name, "<valid pointer>");
}

}  // namespace
