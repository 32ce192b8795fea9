// The export table, the module-definition file made from it and what
// libvrtrc28.so exports.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "export_table.h"

namespace {

using vrtest::ExportTable;
using vrtest::TableExport;

const ExportTable& table() {
  static const ExportTable kTable = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  return kTable;
}

std::vector<const TableExport*> exportsWhere(bool wide) {
  std::vector<const TableExport*> out;
  for (const TableExport& e : table().exports) {
    if (e.wide() == wide) out.push_back(&e);
  }
  return out;
}

// The wide rule: text codes become their UTF-16 forms.
uint32_t wideCode(uint32_t narrowCode) {
  if (narrowCode == 13) return 34;
  if (narrowCode == 30) return 35;
  return narrowCode;
}

// ---------------------------------------------------------------------------
// The table against itself and the published numbers.
// ---------------------------------------------------------------------------

TEST(ExportTableTest, ReadsWhole) {
  EXPECT_EQ(table().error, "");
}

TEST(ExportTableTest, HoldsTheControlExportsAt300To303) {
  const std::map<std::string, uint32_t> expected = {
      {"TraceReturn", 300}, {"TraceOpenLogFile", 301}, {"TraceCloseLogFile", 302}, {"TraceVersion", 303}};
  std::map<std::string, uint32_t> actual;
  for (const auto& control : table().controls) actual[control.name] = control.ordinal;
  EXPECT_EQ(actual, expected);
}

TEST(ExportTableTest, Counts78NarrowAnd38WideExports) {
  EXPECT_EQ(exportsWhere(false).size(), 78u);
  EXPECT_EQ(exportsWhere(true).size(), 38u);
  EXPECT_EQ(table().exports.size() + table().controls.size(), 120u);
}

TEST(ExportTableTest, NarrowOrdinalsAreOneTo78EachOnce) {
  std::vector<uint32_t> ordinals;
  for (const TableExport* e : exportsWhere(false)) ordinals.push_back(e->ordinal);
  std::sort(ordinals.begin(), ordinals.end());
  std::vector<uint32_t> expected(78);
  for (uint32_t i = 0; i < 78; ++i) expected[i] = i + 1;
  EXPECT_EQ(ordinals, expected);
}

TEST(ExportTableTest, NamesAndOrdinalsAreUnique) {
  std::set<std::string> names;
  std::set<uint32_t> ordinals;
  for (const auto& control : table().controls) {
    EXPECT_TRUE(names.insert(control.name).second) << control.name;
    EXPECT_TRUE(ordinals.insert(control.ordinal).second) << control.ordinal;
  }
  for (const TableExport& e : table().exports) {
    EXPECT_TRUE(names.insert(e.name()).second) << e.name();
    EXPECT_TRUE(ordinals.insert(e.ordinal).second) << e.ordinal;
  }
}

TEST(ExportTableTest, EveryWideExportFollowsTheRuleOfItsNarrowForm) {
  // The two known differences beyond the rule: (function, argument, narrow
  // code, wide code).
  struct Exception {
    std::string function;
    size_t index;
    uint32_t narrowCode;
    uint32_t wideCode;
  };
  const Exception kExceptions[] = {
      {"SQLColAttributes", 6, 57, 11},
      {"SQLDescribeCol", 6, 58, 14},
  };
  size_t exceptionsSeen = 0;
  const auto& exports = table().exports;
  for (size_t i = 0; i < exports.size(); ++i) {
    const TableExport& wide = exports[i];
    if (!wide.wide()) continue;
    SCOPED_TRACE(wide.function);
    ASSERT_GT(i, 0u);
    const TableExport& narrow = exports[i - 1];
    ASSERT_EQ(narrow.function + "W", wide.function) << "a wide export follows its narrow form";
    EXPECT_EQ(wide.functionId, narrow.functionId);
    EXPECT_EQ(wide.ordinal, narrow.ordinal + 100);
    ASSERT_EQ(wide.args.size(), narrow.args.size());
    for (size_t a = 0; a < wide.args.size(); ++a) {
      SCOPED_TRACE("argument " + std::to_string(a));
      const uint32_t ruled = wideCode(narrow.args[a].code);
      if (wide.args[a].code == ruled) continue;
      const auto exception = std::find_if(std::begin(kExceptions), std::end(kExceptions), [&](const Exception& x) {
        return x.function == narrow.function && x.index == a;
      });
      ASSERT_NE(exception, std::end(kExceptions)) << "code " << wide.args[a].code << " breaks the rule";
      EXPECT_EQ(narrow.args[a].code, exception->narrowCode);
      EXPECT_EQ(wide.args[a].code, exception->wideCode);
      ++exceptionsSeen;
    }
  }
  EXPECT_EQ(exceptionsSeen, 2u);
}

TEST(ExportTableTest, SampleRowsMatchTheirPublishedNumbers) {
  struct Row {
    const char* function;
    uint32_t functionId;
    uint32_t ordinal;
    std::vector<uint32_t> codes;
  };
  const Row kRows[] = {
      {"SQLExecDirect", 11, 11, {6, 13, 10}},
      {"SQLExecDirectW", 11, 111, {6, 34, 10}},
      {"SQLAllocHandleStd", 73, 77, {20, 21, 22}},
      {"SQLAllocHandleStdW", 73, 177, {20, 21, 22}},
      {"SQLBindParam", 1002, 25, {23, 20, 20, 20, 24, 20, 25, 26}},
      {"SQLBulkOperations", 24, 78, {23, 20}},
      {"SQLColAttribute", 6, 27, {23, 20, 20, 25, 20, 27, 25}},
      {"SQLColAttributes", 6, 6, {6, 7, 7, 9, 8, 12, 57}},
      {"SQLColAttributesW", 6, 106, {6, 7, 7, 9, 8, 12, 11}},
      {"SQLDescribeColW", 8, 108, {6, 7, 34, 8, 12, 12, 14, 12, 12}},
      {"SQLEndTran", 1005, 29, {20, 21, 20}},
      {"SQLForeignKeys", 60, 60, {6, 13, 8, 13, 8, 13, 8, 13, 8, 13, 8, 13, 8}},
      {"SQLGetDiagRecW", 1011, 136, {20, 21, 20, 35, 26, 35, 20, 27}},
      {"SQLSetPos", 68, 68, {6, 7, 7, 19}},
      {"SQLTransact", 23, 23, {1, 4, 7}},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.function);
    const TableExport* e = table().find(row.function);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->functionId, row.functionId);
    EXPECT_EQ(e->ordinal, row.ordinal);
    std::vector<uint32_t> codes;
    for (const auto& arg : e->args) codes.push_back(arg.code);
    EXPECT_EQ(codes, row.codes);
  }
}

TEST(ExportTableTest, ArgumentCountsRunFrom1To13) {
  size_t most = 0;
  std::string widest;
  for (const TableExport& e : table().exports) {
    EXPECT_GE(e.args.size(), 1u) << e.function;
    if (e.args.size() > most) most = e.args.size(), widest = e.function;
  }
  EXPECT_EQ(most, 13u);
  EXPECT_EQ(widest, "SQLForeignKeys");
}

// Each type code goes with C types of its kind: the log may print a narrower
// integer than the C one, but never a pointer for an integer or text for a
// handle.
TEST(ExportTableTest, CTypesSuitTheirTypeCodes) {
  enum Kind { kHandle, kPointer, kNarrowText, kWideText, kInteger };
  const std::map<uint32_t, Kind> kCodeKinds = {
      {1, kHandle},     {2, kPointer},  {3, kPointer},     {4, kHandle},     {5, kPointer},   {6, kHandle},
      {7, kInteger},    {8, kInteger},  {9, kHandle},      {10, kInteger},   {11, kPointer},  {12, kPointer},
      {13, kNarrowText}, {14, kPointer}, {15, kInteger},   {16, kHandle},    {17, kPointer},  {18, kPointer},
      {19, kInteger},   {20, kInteger}, {21, kHandle},     {22, kPointer},   {23, kHandle},   {24, kInteger},
      {25, kHandle},    {26, kPointer}, {27, kPointer},    {28, kHandle},    {29, kHandle},   {30, kNarrowText},
      {31, kHandle},    {34, kWideText}, {35, kWideText},  {55, kInteger},   {56, kInteger},  {57, kPointer},
      {58, kPointer},
  };
  const std::set<std::string> kHandleTypes = {"SQLHENV", "SQLHDBC", "SQLHSTMT", "SQLHDESC",
                                              "SQLHANDLE", "SQLHWND", "SQLPOINTER"};
  const std::set<std::string> kIntegerTypes = {"SQLSMALLINT", "SQLUSMALLINT", "SQLINTEGER", "SQLUINTEGER",
                                               "SQLLEN", "SQLULEN", "SQLSETPOSIROW"};
  for (const TableExport& e : table().exports) {
    for (size_t a = 0; a < e.args.size(); ++a) {
      SCOPED_TRACE(e.function + " argument " + std::to_string(a));
      const std::string& type = e.args[a].cType;
      const auto kind = kCodeKinds.find(e.args[a].code);
      ASSERT_NE(kind, kCodeKinds.end()) << "code " << e.args[a].code << " is not one an export stores";
      switch (kind->second) {
        case kHandle:
          // SQLColAttribute(W) hands its numeric attribute as an SQLLEN*,
          // which the log shows as the SQLPOINTER it once was.
          EXPECT_TRUE(kHandleTypes.count(type) || (type == "SQLLEN*" && e.args[a].code == 25)) << type;
          break;
        case kPointer:
          EXPECT_EQ(type.back(), '*') << type;
          EXPECT_NE(type, "SQLCHAR*");
          EXPECT_NE(type, "SQLWCHAR*");
          break;
        case kNarrowText:
          EXPECT_EQ(type, "SQLCHAR*");
          break;
        case kWideText:
          EXPECT_EQ(type, "SQLWCHAR*");
          break;
        case kInteger:
          EXPECT_TRUE(kIntegerTypes.count(type)) << type;
          break;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The module-definition file.
// ---------------------------------------------------------------------------

TEST(ExportDefinitionTest, NamesEveryExportAtItsOrdinal) {
  std::ifstream in(VRTRACE_DEF);
  ASSERT_TRUE(in) << VRTRACE_DEF;
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "LIBRARY vrtrc28");
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "EXPORTS");
  std::map<std::string, uint32_t> ordinals;
  std::set<uint32_t> used;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, at;
    if (!(words >> name)) continue;
    ASSERT_TRUE(words >> at) << line;
    ASSERT_EQ(at[0], '@') << line;
    const uint32_t ordinal = static_cast<uint32_t>(std::stoul(at.substr(1)));
    EXPECT_TRUE(used.insert(ordinal).second) << "ordinal " << ordinal << " twice";
    ordinals[name] = ordinal;
  }
  ASSERT_EQ(ordinals.size(), 120u);
  for (const auto& control : table().controls) EXPECT_EQ(ordinals[control.name], control.ordinal) << control.name;
  for (const TableExport& e : table().exports) {
    SCOPED_TRACE(e.name());
    ASSERT_EQ(ordinals.count(e.name()), 1u);
    EXPECT_EQ(ordinals[e.name()], e.ordinal);
    if (e.wide()) {
      const std::string narrow = e.name().substr(0, e.name().size() - 1);
      ASSERT_EQ(ordinals.count(narrow), 1u);
      EXPECT_EQ(ordinals[e.name()], ordinals[narrow] + 100);
    }
  }
}

// ---------------------------------------------------------------------------
// The shared library.
// ---------------------------------------------------------------------------

TEST(TraceLibraryTest, ExportsExactlyTheTableAsFunctions) {
  std::set<std::string> expected;
  for (const auto& control : table().controls) expected.insert(control.name);
  for (const TableExport& e : table().exports) expected.insert(e.name());
  ASSERT_EQ(expected.size(), 120u);

  std::set<std::string> exported;
  for (const auto& symbol : vrtest::definedDynamicSymbols(VRTRACE_LIBRARY)) {
    EXPECT_EQ(symbol.type, 'T') << symbol.name << " is not a function";
    EXPECT_TRUE(exported.insert(symbol.name).second) << symbol.name;
  }
  EXPECT_EQ(exported, expected);
}

// The library replaces the allocation operators for its own code, while the
// C++ runtime's out-of-line string members allocate with the host's: a
// string made by one and freed by the other would pair two allocators. So
// the library's code takes no string member from the runtime.
TEST(TraceLibraryTest, TakesNoStringMembersFromTheRuntime) {
  const std::vector<std::string> imported = vrtest::undefinedDynamicSymbols(VRTRACE_LIBRARY);
  ASSERT_FALSE(imported.empty());
  for (const std::string& name : imported) {
    EXPECT_EQ(name.find("basic_string"), std::string::npos) << name;  // mangled "12basic_string"
  }
}

}  // namespace
