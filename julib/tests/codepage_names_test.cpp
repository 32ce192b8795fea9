// Code page ids and names: the constant tables (sizes, order, the relations
// between them), the binary searches and the lookups.

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "julib/codepage.h"
#include "testing/ju_test.h"

namespace {

std::string lower(const char* text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string upper(const char* text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// ---------------------------------------------------------------------------
// Name order.
// ---------------------------------------------------------------------------

TEST(AsciiStrICompare, FoldsOnlyAsciiCapitalsAndComparesSignedBytes) {
  struct Row {
    const char* a;
    const char* b;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {"abc", "ABC", 0, "case ignored"},
      {"Z", "z", 0, "last capital"},
      {"A", "a", 0, "first capital"},
      {"a", "B", -1, "folded before compared"},
      {"B", "a", 1, "folded before compared"},
      {"[", "A", -1, "'[' (0x5B) before the folded 'a'"},
      {"_", "z", -1, "'_' (0x5F) before the folded 'z'"},
      {"@", "`", -1, "'@' (0x40) is no capital"},
      {"[", "{", -1, "'[' (0x5B) is no capital"},
      {"", "a", -1, "prefix first"},
      {"ab", "a", 1, "prefix first"},
      {"a\x80", "a", -1, "signed: 0x80 before the terminator"},
      {"\xC0", "A", -1, "signed: 0xC0 is not folded and is negative"},
      {"\x7F", "\x80", 1, "127 after -128"},
      {"windows-1252", "WINDOWS-1252", 0, "a table name"},
      {"ibm-16684", "IBM-16684", 0, "a table name"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juAsciiStrICompare(row.a, row.b), row.expected) << row.a << " / " << row.b;
    EXPECT_EQ(juAsciiStrICompare(row.b, row.a), -row.expected) << row.b << " / " << row.a;
  }
  EXPECT_EQ(juAsciiStrICompare(nullptr, nullptr), 0);
  EXPECT_EQ(juAsciiStrICompare(nullptr, ""), -1);
  EXPECT_EQ(juAsciiStrICompare("", nullptr), 1);
}

// ---------------------------------------------------------------------------
// The tables: sizes, order, every row found by its own key.
// ---------------------------------------------------------------------------

TEST(CodePageTables, RowCounts) {
  EXPECT_EQ(juIcuNameTableRows, 345u);
  EXPECT_EQ(juMimeNameTableRows, 81u);
  EXPECT_EQ(juMimeIdTableRows, 84u);
  EXPECT_EQ(juNameIdTableRows, 350u);
  EXPECT_EQ(juLegacyCodePageTableRows, 78u);
}

TEST(CodePageTables, SortedForTheirSearches) {
  for (size_t i = 1; i < juIcuNameTableRows; ++i) EXPECT_LT(juIcuNameTable[i - 1].id, juIcuNameTable[i].id) << i;
  for (size_t i = 1; i < juMimeNameTableRows; ++i) EXPECT_LT(juMimeNameTable[i - 1].id, juMimeNameTable[i].id) << i;
  for (size_t i = 1; i < juLegacyCodePageTableRows; ++i) {
    EXPECT_LT(juLegacyCodePageTable[i - 1].key, juLegacyCodePageTable[i].key) << i;
  }
  for (size_t i = 1; i < juMimeIdTableRows; ++i) {
    EXPECT_LT(juAsciiStrICompare(juMimeIdTable[i - 1].name, juMimeIdTable[i].name), 0) << juMimeIdTable[i].name;
  }
  for (size_t i = 1; i < juNameIdTableRows; ++i) {
    EXPECT_LT(juAsciiStrICompare(juNameIdTable[i - 1].name, juNameIdTable[i].name), 0) << juNameIdTable[i].name;
  }
  // -1 sorts first as a signed key.
  EXPECT_EQ(juLegacyCodePageTable[0].key, -1);
}

TEST(CodePageTables, EveryRowFoundByItsOwnKey) {
  for (size_t i = 0; i < juIcuNameTableRows; ++i) {
    const JuIdNameRow& row = juIcuNameTable[i];
    EXPECT_EQ(juTableLookupPointer(row.id, juIcuNameTable, juIcuNameTableRows), row.name) << row.id;
    EXPECT_EQ(juCodePageIdToName(row.id), row.name) << row.id;
  }
  for (size_t i = 0; i < juMimeNameTableRows; ++i) {
    const JuIdNameRow& row = juMimeNameTable[i];
    EXPECT_EQ(juTableLookupPointer(row.id, juMimeNameTable, juMimeNameTableRows), row.name) << row.id;
    EXPECT_EQ(juCodePageIdToMimeName(row.id), row.name) << row.id;
  }
  for (size_t i = 0; i < juLegacyCodePageTableRows; ++i) {
    const JuIdValueRow& row = juLegacyCodePageTable[i];
    EXPECT_EQ(juLegacyCodePageToId(row.key), row.value) << row.key;
  }
  // Name tables, in the case given and in either case.
  for (size_t i = 0; i < juMimeIdTableRows; ++i) {
    const JuNameIdRow& row = juMimeIdTable[i];
    EXPECT_EQ(juTableLookupName(row.name, juMimeIdTable, juMimeIdTableRows), row.id) << row.name;
    EXPECT_EQ(juCodePageNameToId(row.name), row.id) << row.name;
    EXPECT_EQ(juCodePageNameToId(lower(row.name).c_str()), row.id) << row.name;
    EXPECT_EQ(juCodePageNameToId(upper(row.name).c_str()), row.id) << row.name;
  }
  for (size_t i = 0; i < juNameIdTableRows; ++i) {
    const JuNameIdRow& row = juNameIdTable[i];
    EXPECT_EQ(juTableLookupName(row.name, juNameIdTable, juNameIdTableRows), row.id) << row.name;
    EXPECT_EQ(juTableLookupName(upper(row.name).c_str(), juNameIdTable, juNameIdTableRows), row.id) << row.name;
    // The MIME ids come first where a name is in both.
    const int64_t mime = juTableLookupName(row.name, juMimeIdTable, juMimeIdTableRows);
    EXPECT_EQ(juCodePageNameToId(lower(row.name).c_str()), mime != kJuNoCodePage ? mime : row.id) << row.name;
  }
}

// ---------------------------------------------------------------------------
// Relations between the tables.
// ---------------------------------------------------------------------------

using NameIdSet = std::set<std::pair<std::string, int64_t>>;

NameIdSet rowsOf(const JuNameIdRow* table, size_t rows) {
  NameIdSet out;
  for (size_t i = 0; i < rows; ++i) out.insert({table[i].name, table[i].id});
  return out;
}

TEST(CodePageTables, MimeIdsAreTheMimeNamesReversedPlusThree) {
  NameIdSet extra = rowsOf(juMimeIdTable, juMimeIdTableRows);
  for (size_t i = 0; i < juMimeNameTableRows; ++i) {
    const JuIdNameRow& row = juMimeNameTable[i];
    ASSERT_NE(row.name, nullptr) << row.id;
    EXPECT_EQ(extra.erase({row.name, row.id}), 1u) << row.name;
  }
  const NameIdSet expected = {{"IBM-4396", 2000004396}, {"IBM-5035", 2000000939}, {"IBM-939", 2000000939}};
  EXPECT_EQ(extra, expected);
}

TEST(CodePageTables, NameIdsAreTheIcuNamesReversedWithTheListedDifferences) {
  // ICU rows whose name does not lead back to their id.
  const std::set<int64_t> notReversed = {
      2000000000,  // null name
      1015,        // "UTF-16LE" gives 1014
      2000000862,  // "IBM862" gives 2013
      2000004396,  // "ibm-16684" gives 2000000300
      2000001025, 2000001388, 2000000941,
  };
  const NameIdSet added = {
      {"ibm-1025_P100-1995", 2000001025}, {"ibm-862", 2000000862}, {"cpibm1140", 2091}, {"cpibm1141", 2092},
      {"cpibm1142", 2093}, {"cpibm1143", 2094}, {"cpibm1144", 2095}, {"cpibm1145", 2096},
      {"cpibm1146", 2097}, {"cpibm1147", 2098}, {"cpibm1148", 2099}, {"cpibm1149", 2100},
  };
  NameIdSet extra = rowsOf(juNameIdTable, juNameIdTableRows);
  for (size_t i = 0; i < juIcuNameTableRows; ++i) {
    const JuIdNameRow& row = juIcuNameTable[i];
    if (notReversed.count(row.id) != 0) {
      if (row.name != nullptr) {
        EXPECT_EQ(extra.count({row.name, row.id}), 0u) << row.name;
      }
      continue;
    }
    ASSERT_NE(row.name, nullptr) << row.id;
    EXPECT_EQ(extra.erase({row.name, row.id}), 1u) << row.name << " " << row.id;
  }
  EXPECT_EQ(extra, added);
  // Shared names lead to the first of their ids; retired ones to nothing.
  struct Row {
    const char* name;
    int64_t id;
  };
  const Row shared[] = {{"UTF-16LE", 1014}, {"IBM862", 2013}, {"ibm-16684", 2000000300},
                        {"ibm-1025", kJuNoCodePage}, {"ibm-1388", kJuNoCodePage},
                        {"ibm-941_P13A-2001", kJuNoCodePage}};
  for (const Row& row : shared) {
    EXPECT_EQ(juTableLookupName(row.name, juNameIdTable, juNameIdTableRows), row.id) << row.name;
  }
}

// ---------------------------------------------------------------------------
// Binary search boundaries, on small tables of our own.
// ---------------------------------------------------------------------------

TEST(TableLookup, EmptyTablesAndKeysOutsideTheRange) {
  const JuIdValueRow values[] = {{INT64_MIN, 1}, {-1, 2}, {0, 3}, {INT64_MAX, 4}};
  for (size_t rows = 0; rows <= 4; ++rows) {
    SCOPED_TRACE(rows);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(juTableLookupValue(values[i].key, values, rows), i < rows ? values[i].value : kJuCodePageMiss);
    }
  }
  EXPECT_EQ(juTableLookupValue(1, values, 4), kJuCodePageMiss);
  EXPECT_EQ(juTableLookupValue(-2, values, 4), kJuCodePageMiss);
  EXPECT_EQ(juTableLookupValue(0, nullptr, 0), kJuCodePageMiss);

  const JuIdNameRow names[] = {{-5, "a"}, {7, nullptr}, {9, "c"}};
  EXPECT_EQ(juTableLookupPointer(-5, names, 3), names[0].name);
  EXPECT_EQ(juTableLookupPointer(9, names, 3), names[2].name);
  EXPECT_EQ(juTableLookupPointer(7, names, 3), nullptr);
  EXPECT_EQ(juTableLookupPointer(-6, names, 3), nullptr);
  EXPECT_EQ(juTableLookupPointer(10, names, 3), nullptr);
  EXPECT_EQ(juTableLookupPointer(-5, names, 0), nullptr);

  const JuNameIdRow ids[] = {{"Alpha", 1}, {"beta", 2}};
  EXPECT_EQ(juTableLookupName("BETA", ids, 2), 2);
  EXPECT_EQ(juTableLookupName("alpha", ids, 1), 1);
  EXPECT_EQ(juTableLookupName("beta", ids, 1), kJuNoCodePage);
  EXPECT_EQ(juTableLookupName("alpha", ids, 0), kJuNoCodePage);
  EXPECT_EQ(juTableLookupName("alph", ids, 2), kJuNoCodePage);
  EXPECT_EQ(juTableLookupName("alphaa", ids, 2), kJuNoCodePage);
  EXPECT_EQ(juTableLookupName(nullptr, ids, 2), kJuNoCodePage);
}

// ---------------------------------------------------------------------------
// The lookups.
// ---------------------------------------------------------------------------

TEST(CodePageLookups, IdToName) {
  struct Row {
    int64_t id;
    const char* name;  // null: no name
  };
  const Row rows[] = {
      {1015, "UTF-16LE"},      {1014, "UTF-16LE"},  {2252, "windows-1252"},       {3, "ANSI_X3.4-1968"},
      {2000013124, "ibm-13124_P100-1995"},          {2000000000, nullptr},        {1, nullptr},
      {2, nullptr},            {107, nullptr},      {2000013125, nullptr},        {INT64_MIN, nullptr},
      {INT64_MAX, nullptr},    {-1, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const char* name = juCodePageIdToName(row.id);
    if (row.name == nullptr) {
      EXPECT_EQ(name, nullptr);
    } else {
      ASSERT_NE(name, nullptr);
      EXPECT_STREQ(name, row.name);
    }
  }
}

TEST(CodePageLookups, IdToMimeNameFallsBackToTheIcuName) {
  struct Row {
    int64_t id;
    const char* name;
  };
  const Row rows[] = {
      {2013, "IBM862"},           // no MIME row: the ICU name
      {2000000862, "IBM862"},     // MIME row
      {2252, "windows-1252"},     {17, "Shift_JIS"},   {2027, "MACINTOSH"},  // MIME spelling wins
      {1015, "UTF-16LE"},         {2000000036, "KS_C_5601"},
      {2000000000, nullptr},      {1, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const char* name = juCodePageIdToMimeName(row.id);
    if (row.name == nullptr) {
      EXPECT_EQ(name, nullptr);
    } else {
      ASSERT_NE(name, nullptr);
      EXPECT_STREQ(name, row.name);
    }
  }
}

TEST(CodePageLookups, NameToId) {
  struct Row {
    const char* name;
    int64_t id;
    const char* note;
  };
  const Row rows[] = {
      {"utf-8", 106, "MIME ids, case ignored"},
      {"UTF-8", 106, "MIME ids"},
      {"windows-874-2000", 2000000038, "name ids only"},
      {"WINDOWS-874", 2000000038, "MIME ids"},
      {"IBM862", 2000000862, "MIME ids before the name ids' 2013"},
      {"ibm-862", 2000000862, "added name"},
      {"UTF-16LE", 1014, "shared name"},
      {"CPIBM1145", 2096, "added name"},
      {"IBM-939", 2000000939, "MIME-only name"},
      {"ibm-939", 2000000939, "MIME ids first"},
      {"ibm-1025_P100-1995", 2000001025, "added name"},
      {"ibm-1025", kJuNoCodePage, "left out"},
      {"no-such-code-page", kJuNoCodePage, "unlisted"},
      {"utf-8 ", kJuNoCodePage, "no trimming"},
      {"utf-", kJuNoCodePage, "prefix"},
      {"", kJuNoCodePage, "empty"},
      {nullptr, kJuNoCodePage, "null"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juCodePageNameToId(row.name), row.id) << (row.name ? row.name : "(null)");
  }
}

TEST(CodePageLookups, LegacyCodePages) {
  struct Row {
    int64_t legacy;
    int64_t id;
  };
  const Row rows[] = {
      {-1, 1015}, {0, 3},           {1, 4},         {8, kJuCodePageMiss},   {10, kJuCodePageMiss},
      {932, 17},  {949, 36},        {1258, 2258},   {1259, kJuCodePageMiss}, {-2, kJuCodePageMiss},
      {INT64_MIN, kJuCodePageMiss}, {INT64_MAX, kJuCodePageMiss},           {1252, 2252},
  };
  for (const Row& row : rows) EXPECT_EQ(juLegacyCodePageToId(row.legacy), row.id) << row.legacy;
}

}  // namespace
