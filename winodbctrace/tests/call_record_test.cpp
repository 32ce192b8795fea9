// Call records: labels and widening by type code, what TraceCall stores,
// and the trace handle table.

#include <cstdlib>
#include <string>
#include <vector>

#include "core_test_util.h"

using coretest::countOf;
using coretest::execDirect;
using coretest::memoryLog;

namespace {

// ---------------------------------------------------------------------------
// Type codes.
// ---------------------------------------------------------------------------

TEST(TraceTypeTest, LabelsBelongToTheirCodes) {
  struct Row {
    uint32_t code;
    const char* label;  // null: no export stores the code
  } rows[] = {
      {0, nullptr},          {1, "HENV"},           {2, "HDBC *"},         {3, "HENV *"},
      {4, "HDBC"},           {5, "HSTMT *"},        {6, "HSTMT"},          {7, "UWORD"},
      {8, "SWORD"},          {9, "PTR"},            {10, "SDWORD"},        {11, "SDWORD *"},
      {12, "SWORD *"},       {13, "UCHAR *"},       {14, "UDWORD *"},      {15, "UDWORD"},
      {16, "HWND"},          {17, "UWORD *"},       {18, "PTR *"},         {19, "BOOL"},
      {20, "SQLSMALLINT"},   {21, "SQLHANDLE"},     {22, "SQLHANDLE *"},   {23, "SQLHSTMT"},
      {24, "SQLINTEGER"},    {25, "SQLPOINTER"},    {26, "SQLINTEGER *"},  {27, "SQLSMALLINT *"},
      {28, "SQLHDESC"},      {29, "SQLHDBC"},       {30, "SQLCHAR *"},     {31, "SQLHENV"},
      {32, nullptr},         {33, nullptr},         {34, "WCHAR *"},       {35, "SQLWCHAR *"},
      {36, nullptr},         {54, nullptr},         {55, "SQLLEN"},        {56, "SQLULEN"},
      {57, "SQLLEN *"},      {58, "SQLULEN *"},     {59, nullptr},         {UINT32_MAX, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    const char* label = TraceTypeLabel(row.code);
    if (row.label == nullptr) {
      EXPECT_EQ(label, nullptr);
    } else {
      ASSERT_NE(label, nullptr);
      EXPECT_STREQ(label, row.label);
    }
  }
}

TEST(TraceTypeTest, ValuesWidenAsTheirTypeSays) {
  struct Row {
    uint32_t code;
    uint64_t raw;
    uint64_t expected;
    const char* note;
  } rows[] = {
      {8, static_cast<uint64_t>(int64_t{-3}), static_cast<uint64_t>(int64_t{-3}), "SWORD -3"},
      {8, 0xFFFD, static_cast<uint64_t>(int64_t{-3}), "SWORD from its 16 bits"},
      {8, 0x7FFF, 0x7FFF, "SWORD 32767"},
      {8, 0x8000, static_cast<uint64_t>(int64_t{-32768}), "SWORD 32768 is -32768"},
      {20, 0x1FFFF, static_cast<uint64_t>(int64_t{-1}), "SQLSMALLINT keeps 16 bits"},
      {7, 65535, 65535, "UWORD 65535"},
      {7, static_cast<uint64_t>(int64_t{-1}), 65535, "UWORD zero-extended"},
      {7, 0x10000, 0, "UWORD keeps 16 bits"},
      {15, 4294967295u, 4294967295u, "UDWORD 4294967295, not -1"},
      {15, static_cast<uint64_t>(int64_t{-1}), 4294967295u, "UDWORD zero-extended"},
      {10, 0x80000000u, static_cast<uint64_t>(int64_t{INT32_MIN}), "SDWORD sign-extended"},
      {10, 0x7FFFFFFF, 0x7FFFFFFF, "SDWORD 2^31-1"},
      {24, 0xFFFFFFFFu, static_cast<uint64_t>(int64_t{-1}), "SQLINTEGER sign-extended"},
      {19, 0x1FFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, "BOOL keeps 32 bits"},
      {55, 0x8000000000000000ull, 0x8000000000000000ull, "SQLLEN as passed"},
      {56, UINT64_MAX, UINT64_MAX, "SQLULEN as passed"},
      {6, 0xFFFFFFFFFFFF1234ull, 0xFFFFFFFFFFFF1234ull, "handle as passed"},
      {13, 0x00007FFF12345678ull, 0x00007FFF12345678ull, "pointer as passed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(TraceWiden(row.code, row.raw), row.expected);
    EXPECT_EQ(TraceWiden(row.code, TraceWiden(row.code, row.raw)), row.expected) << "widening twice";
  }
  EXPECT_EQ(TraceArg(8, int16_t{-3}), static_cast<uint64_t>(int64_t{-3}));
  EXPECT_EQ(TraceArg(7, uint16_t{65535}), 65535u);
  EXPECT_EQ(TraceArg(15, uint32_t{4294967295u}), 4294967295u);
  EXPECT_EQ(TraceArg(10, int32_t{-7}), static_cast<uint64_t>(int64_t{-7}));
  int object = 0;
  EXPECT_EQ(TraceArg(9, &object), coretest::address(&object));
}

// ---------------------------------------------------------------------------
// TraceCall and the handle table.
// ---------------------------------------------------------------------------

class CallRecordTest : public coretest::TraceCoreTest {
 protected:
  void TearDown() override {
    for (int16_t handle : outstanding_) TraceReturn(handle, 0);
    coretest::TraceCoreTest::TearDown();
  }

  // The record behind a handle, taken out of its slot (the test frees it).
  TraceCallRecord* take(int16_t handle) { return TraceTakeHandle(handle); }

  std::vector<int16_t> outstanding_;
};

TEST_F(CallRecordTest, RecordHoldsTheFunctionAndItsWidenedArguments) {
  openMemoryLog();
  const TraceFunction setPos{68, "SQLSetPos", 4, 0, {6, 7, 7, 19}};
  const TraceFunction describe{8, "SQLDescribeColW", 9, 1, {6, 7, 34, 8, 12, 12, 14, 12, 12}};
  const TraceFunction colAttribute{6, "SQLColAttribute", 7, 0, {23, 20, 20, 25, 20, 27, 25}};
  const TraceFunction colAttributes{6, "SQLColAttributes", 7, 0, {6, 7, 7, 9, 8, 12, 57}};

  const uint64_t setPosValues[] = {0xABC, 65535, 0x1FFFF, static_cast<uint64_t>(int64_t{-1})};
  TraceCallRecord* record = take(TraceCall(setPos, setPosValues));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->functionId, 68u);
  EXPECT_STREQ(record->functionName, "SQLSetPos");
  EXPECT_EQ(record->wide, 0u);
  EXPECT_EQ(record->argCount, 4u);
  const uint64_t widened[] = {0xABC, 65535, 65535, static_cast<uint64_t>(int64_t{-1})};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(record->values[i], widened[i]) << i;
    EXPECT_EQ(record->typeCodes[i], setPos.typeCodes[i]) << i;
    EXPECT_STREQ(record->typeNames[i], TraceTypeLabel(setPos.typeCodes[i])) << i;
  }
  for (size_t i = 4; i < kTraceMaxArgs; ++i) {
    EXPECT_EQ(record->values[i], 0u) << i;
    EXPECT_EQ(record->typeCodes[i], 0u) << i;
    EXPECT_EQ(record->typeNames[i], nullptr) << i;
  }
  std::free(record);

  const uint64_t nine[9] = {1, 2, 3, static_cast<uint64_t>(int64_t{-3}), 5, 6, 4294967295u, 8, 9};
  record = take(TraceCall(describe, nine));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->functionId, 8u);
  EXPECT_EQ(record->wide, 1u);
  EXPECT_STREQ(record->functionName, "SQLDescribeColW");
  EXPECT_STREQ(record->typeNames[2], "WCHAR *");
  EXPECT_EQ(record->values[3], static_cast<uint64_t>(int64_t{-3}));
  EXPECT_STREQ(record->typeNames[6], "UDWORD *");
  EXPECT_EQ(record->values[6], 4294967295u);
  std::free(record);

  const uint64_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
  for (const TraceFunction* function : {&colAttribute, &colAttributes}) {
    record = take(TraceCall(*function, seven));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->functionId, 6u);
    EXPECT_STREQ(record->functionName, function->name);
    std::free(record);
  }
  const std::string log = memoryLog();
  EXPECT_EQ(countOf(log, "ENTER SQLColAttribute\n"), 1u);
  EXPECT_EQ(countOf(log, "ENTER SQLColAttributes\n"), 1u);
}

TEST_F(CallRecordTest, WideCallKeepsItsNameAndFlag) {
  openMemoryLog();
  const char16_t statement[] = u"SELECT 1";
  const uint64_t values[] = {0x10, coretest::address(statement), static_cast<uint64_t>(int64_t{-3})};
  TraceCallRecord* record = take(TraceCall(coretest::kExecDirectW, values));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->functionId, 11u);
  EXPECT_EQ(record->wide, 1u);
  EXPECT_STREQ(record->functionName, "SQLExecDirectW");
  EXPECT_STREQ(record->typeNames[1], "WCHAR *");
  EXPECT_EQ(record->values[2], static_cast<uint64_t>(int64_t{-3}));
  std::free(record);
  EXPECT_EQ(countOf(memoryLog(), "\n\nENTER SQLExecDirectW\n"), 1u);
}

TEST_F(CallRecordTest, TwoHundredHandlesThenNoneThenTheFreedOne) {
  openMemoryLog();
  for (int i = 1; i <= 200; ++i) {
    const int16_t handle = execDirect(0x1000 + i, "SELECT 1");
    ASSERT_EQ(handle, i);
    outstanding_.push_back(handle);
  }
  // The 201st call writes its ENTER record but gets no handle.
  EXPECT_EQ(execDirect(0x2001, "SELECT 201"), 0);
  const std::string log = memoryLog();
  EXPECT_EQ(countOf(log, "ENTER SQLExecDirect"), 201u);
  EXPECT_EQ(countOf(log, "0x0000000000002001\n"), 1u);

  TraceReturn(17, 0);
  outstanding_.erase(std::find(outstanding_.begin(), outstanding_.end(), 17));
  EXPECT_EQ(countOf(memoryLog(), "0x0000000000001011\n"), 2u) << "ENTER and EXIT of handle 17's call";
  const int16_t again = execDirect(0x3000, "SELECT 17");
  EXPECT_EQ(again, 17);
  outstanding_.push_back(again);
  EXPECT_EQ(execDirect(0x3001, "SELECT 202"), 0);
}

TEST_F(CallRecordTest, ReturnsWithoutARecordDoNothing) {
  openMemoryLog();
  const int16_t handle = execDirect(0x10, "SELECT 1");
  ASSERT_EQ(handle, 1);
  const std::string before = memoryLog();
  for (int16_t bad : {int16_t{0}, int16_t{-1}, int16_t{-32768}, int16_t{2}, int16_t{200}, int16_t{201},
                      int16_t{32767}}) {
    SCOPED_TRACE(bad);
    TraceReturn(bad, 0);
    EXPECT_EQ(memoryLog(), before);
  }
  TraceReturn(handle, 0);
  const std::string after = memoryLog();
  EXPECT_EQ(countOf(after, "EXIT "), 1u);
  TraceReturn(handle, 0);  // the slot is empty now
  EXPECT_EQ(memoryLog(), after);
  EXPECT_EQ(TraceTakeHandle(handle), nullptr);
}

TEST_F(CallRecordTest, HandlesAreParkedWithoutALog) {
  // After the caller closed the log records are still parked and returned.
  const int16_t handle = execDirect(0x10, "SELECT 1");
  EXPECT_EQ(handle, 1);
  EXPECT_EQ(TraceCurrentSink(), nullptr);
  TraceReturn(handle, 0);
  EXPECT_EQ(TraceTakeHandle(handle), nullptr);
}

}  // namespace
