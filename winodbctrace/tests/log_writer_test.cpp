// The log writer: record forms by line-prefix mode, headers, argument lines,
// the record buffer for long statements, and records of many threads.

#include <cinttypes>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core_test_util.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "platform/process.h"

using coretest::address;
using coretest::countOf;
using coretest::execDirect;
using coretest::memoryLog;
using coretest::setSetting;

namespace {

constexpr uint64_t kNts = static_cast<uint64_t>(int64_t{-3});

std::string hex(const void* p) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016" PRIX64, address(p));
  return text;
}

TEST(TraceRetcodeTest, NamesByCode) {
  struct Row {
    int16_t code;
    const char* name;
  } rows[] = {
      {-2, "SQL_INVALID_HANDLE"},          {-1, "SQL_ERROR"},
      {0, "SQL_SUCCESS"},                  {1, "SQL_SUCCESS_WITH_INFO"},
      {2, "SQL_STILL_EXECUTING"},          {99, "SQL_NEED_DATA"},
      {100, "SQL_NO_DATA_FOUND"},          {3, "UNKNOWN SQL RETURN CODE!"},
      {-3, "UNKNOWN SQL RETURN CODE!"},    {98, "UNKNOWN SQL RETURN CODE!"},
      {101, "UNKNOWN SQL RETURN CODE!"},   {INT16_MIN, "UNKNOWN SQL RETURN CODE!"},
      {INT16_MAX, "UNKNOWN SQL RETURN CODE!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_STREQ(TraceGetRetcodeName(row.code), row.name);
  }
}

class LogWriterTest : public coretest::TraceCoreTest {};

TEST_F(LogWriterTest, LineModeIsTheDecimalStartOfThreeCharacters) {
  struct Row {
    const char* text;  // null: absent (default "3")
    uint16_t mode;
  } rows[] = {
      {nullptr, 3}, {"0", 0},    {"1000", 100}, {"7", 7},     {" 2", 2},  {"-1", 65535},
      {"+3", 3},    {"abc", 0},  {"", 0},       {"12a", 12},  {"99999", 999}, {"  1", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text != nullptr ? row.text : "absent");
    if (row.text == nullptr) {
      std::lock_guard<std::mutex> guard(coretest::settingsMutex());
      coretest::settingsMap().erase("TraceOptions");
    } else {
      setSetting("TraceOptions", row.text);
    }
    EXPECT_EQ(TraceReadLineMode(), row.mode);
  }
  EXPECT_TRUE(errors_->ids().empty());
}

// ---------------------------------------------------------------------------
// Record forms.
// ---------------------------------------------------------------------------

// The ENTER and EXIT records of one SQLFreeStmt in the given settings.
std::string freeStmtRecords() {
  const uint64_t values[] = {0xABC, 1};
  TraceReturn(TraceCall(coretest::kFreeStmt, values), 0);
  return memoryLog();
}

enum class Form { kBare, kTime, kIds, kTimeAndIds };

TEST_F(LogWriterTest, FormFollowsTraceOptionsAndTheOptionValue) {
  struct Row {
    const char* traceOptions;
    const char* optionValue;
    Form form;
  } rows[] = {
      {"0", "1", Form::kTimeAndIds},  // mode 0 with option value 1 becomes 3
      {"0", "0", Form::kBare},      {"1000", "0", Form::kBare}, {"7", "0", Form::kBare},
      {"100", "1", Form::kBare},    {"-1", "1", Form::kBare},   {"1", "0", Form::kTime},
      {"2", "0", Form::kIds},       {"3", "0", Form::kTimeAndIds}, {"1", "1", Form::kTime},
      {"2", "2", Form::kIds},       {"0", "2", Form::kBare},
  };
  const std::string ids = "pid=" + std::to_string(platform::currentProcessId()) +
                          ":tid=" + std::to_string(platform::currentThreadId());
  const std::string time = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}000)";
  const std::string args =
      "\t\tHSTMT               0x0000000000000ABC\n\t\tUWORD                        1 <SQL_DROP>\n";
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.traceOptions) + " / " + row.optionValue);
    setSetting("TraceOptions", row.traceOptions);
    setSetting("ODBCTraceOptions", row.optionValue);
    openMemoryLog();
    const std::string log = freeStmtRecords();
    TraceCloseLogFile();
    switch (row.form) {
      case Form::kBare:
        EXPECT_EQ(log, "\n\nENTER SQLFreeStmt\n" + args +
                           "\n\nEXIT  SQLFreeStmt with return code 0 (SQL_SUCCESS)\n" + args);
        break;
      case Form::kTime: {
        const std::regex form("\n(" + time + " ) *\t(ENTER|EXIT ) SQLFreeStmt ");
        std::smatch match;
        ASSERT_TRUE(std::regex_search(log, match, form)) << log;
        EXPECT_EQ(match.position(0), 0);
        EXPECT_EQ(match[0].length(), 1 + 35 + 1 + 1 + 5 + 1 + 11 + 1) << "prefix padded to 35";
        break;
      }
      case Form::kIds: {
        const std::string header = "\n" + ids;
        ASSERT_EQ(log.rfind(header, 0), 0u) << log;
        const size_t tab = log.find('\t');
        EXPECT_EQ(tab, std::max<size_t>(ids.size(), 20) + 2) << "padded to 20, never cut";
        EXPECT_EQ(log.substr(tab, 20), "\tENTER SQLFreeStmt \n");
        break;
      }
      case Form::kTimeAndIds: {
        const std::regex form("\n(" + time + " " + ids + ") *\t(ENTER|EXIT ) SQLFreeStmt \n");
        std::smatch match;
        ASSERT_TRUE(std::regex_search(log, match, form)) << log;
        EXPECT_EQ(match.position(0), 0);
        EXPECT_EQ(log.find('\t'), 62u) << "prefix padded to 60";
        EXPECT_NE(log.find(" with return code 0 (SQL_SUCCESS)\n" + args), std::string::npos);
        break;
      }
    }
  }
}

TEST_F(LogWriterTest, TraceOptionsIsReadForEveryRecord) {
  openMemoryLog();
  setSetting("TraceOptions", "0");
  const int16_t first = execDirect(0x10, "SELECT 1");
  setSetting("TraceOptions", "2");
  const int16_t second = execDirect(0x11, "SELECT 2");
  const std::string log = memoryLog();
  EXPECT_EQ(log.rfind("\n\nENTER SQLExecDirect\n", 0), 0u);
  EXPECT_NE(log.find("\npid=" + std::to_string(platform::currentProcessId())), std::string::npos);
  TraceReturn(first, 0);
  TraceReturn(second, 0);
}

TEST_F(LogWriterTest, ExitHeaderNamesTheReturnCode) {
  struct Row {
    uint16_t code;
    const char* text;
  } rows[] = {
      {100, " with return code 100 (SQL_NO_DATA_FOUND)\n"},
      {1, " with return code 1 (SQL_SUCCESS_WITH_INFO)\n"},
      {3, " with return code 3 (UNKNOWN SQL RETURN CODE!)\n"},
      {65535, " with return code -1 (SQL_ERROR)\n"},
      {65534, " with return code -2 (SQL_INVALID_HANDLE)\n"},
      {32768, " with return code -32768 (UNKNOWN SQL RETURN CODE!)\n"},
  };
  openMemoryLog();
  TraceCallRecord record{};
  record.functionId = 13;
  record.functionName = "SQLFetch";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    const size_t before = memoryLog().size();
    TraceWriteCall(record, 0, row.code);
    EXPECT_EQ(memoryLog().substr(before), std::string("\n\nEXIT  SQLFetch") + row.text);
  }
  const size_t before = memoryLog().size();
  TraceWriteEnter(record);
  EXPECT_EQ(memoryLog().substr(before), "\n\nENTER SQLFetch\n");
}

TEST_F(LogWriterTest, ArgumentLinesShowValuesByTheirType) {
  openMemoryLog();
  const TraceFunction mixed{99, "SQLMixed", 8, 0, {6, 8, 7, 15, 10, 55, 56, 13}};
  static const char kText[] = "abc";
  const uint64_t values[] = {
      0x1234,
      static_cast<uint64_t>(int64_t{-3}),
      65535,
      4294967295u,
      0x80000000u,
      static_cast<uint64_t>(int64_t{-1}),
      UINT64_MAX,
      address(kText),
  };
  const int16_t handle = TraceCall(mixed, values);
  EXPECT_EQ(memoryLog(),
            "\n\nENTER SQLMixed\n"
            "\t\tHSTMT               0x0000000000001234\n"
            "\t\tSWORD                       -3 \n"
            "\t\tUWORD                    65535 \n"
            "\t\tUDWORD              4294967295\n"
            "\t\tSDWORD              -2147483648\n"
            "\t\tSQLLEN                      -1\n"
            "\t\tSQLULEN             18446744073709551615\n"
            "\t\tUCHAR *             " + hex(kText) + " [      -3] \"abc\\x00\"\n");
  TraceReturn(handle, 0);
}

// ---------------------------------------------------------------------------
// Statements.
// ---------------------------------------------------------------------------

// A statement record as the exports make it: handle, text, length.
TraceCallRecord statementRecord(const char* name, bool wide, const void* text, uint64_t length) {
  TraceCallRecord record{};
  record.functionName = name;
  record.functionId = 11;
  record.wide = wide ? 1 : 0;
  record.argCount = 3;
  record.values[0] = 0x10;
  record.values[1] = address(text);
  record.values[2] = TraceWiden(10, length);
  record.typeCodes[0] = 6;
  record.typeCodes[1] = wide ? 34 : 13;
  record.typeCodes[2] = 10;
  return record;
}

// Text in a heap block of exactly its size, so that a read past it shows.
std::unique_ptr<char[]> narrowText(size_t n, bool terminated) {
  std::unique_ptr<char[]> text(new char[n + (terminated ? 1 : 0)]);
  std::memset(text.get(), 'x', n);
  if (terminated) text[n] = '\0';
  return text;
}

std::unique_ptr<char16_t[]> wideText(size_t n) {
  std::unique_ptr<char16_t[]> text(new char16_t[n + 1]);
  for (size_t i = 0; i < n; ++i) text[i] = u'\u00e9';
  text[n] = 0;
  return text;
}

TEST(TraceRecordBufferTest, LongStatementsGetRoomForThemselves) {
  constexpr size_t kCap = (size_t{1} << 20) + 500;
  struct Row {
    const char* name;
    size_t textChars;     // bytes (units for wide) of the text block
    bool terminated;
    int64_t length;       // the call's length argument
    size_t expected;
    const char* note;
  } rows[] = {
      {"SQLExecDirect", 10, true, -3, 4096, "short"},
      {"SQLExecDirect", 3595, true, -3, 4096, "3595 + 500 fits the stack buffer"},
      {"SQLExecDirect", 3596, true, -3, 4096, "3596 + 500 is exactly 4096"},
      {"SQLExecDirect", 3597, true, -3, 4097, "one more"},
      {"SQLExecDirect", 4000, true, -3, 4500, "4000 characters: 4500"},
      {"SQLPrepare", 4000, false, 4000, 4500, "explicit length, no terminator"},
      {"SQLExecDirect", 4000, true, 5, 4096, "explicit length wins over the text"},
      {"SQLExecDirect", 40000, false, 40000, 40500, "beyond 32767 is not cut to 16 bits"},
      {"SQLExecDirect", 70000, false, 70000, 70500, "beyond 65535"},
      {"SQLExecDirect", 1, false, INT32_MAX, kCap, "claimed 2^31-1 bytes: sized to the cap, not read"},
      {"SQLExecDirect", 10, true, 0, 4096, "zero length"},
      {"SQLExecDirect", 10, true, -1, 4096, "negative length"},
      {"SQLExecDirect", 10, true, INT32_MIN, 4096, "most negative length"},
      {"SQLExecDirect", (size_t{2} << 20), true, -3, kCap, "2 MiB terminated text: measured up to the cap"},
      {"SQLColumns", 4000, true, -3, 4096, "not a statement call"},
      {"SQLNativeSql", 4000, true, 4000, 4096, "not a statement call"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = narrowText(row.textChars, row.terminated);
    const TraceCallRecord record =
        statementRecord(row.name, false, text.get(), static_cast<uint64_t>(row.length));
    EXPECT_EQ(TraceRecordBufferSize(record), row.expected);
  }

  struct WideRow {
    const char* name;
    size_t units;
    int64_t length;
    size_t expected;
    const char* note;
  } wideRows[] = {
      {"SQLExecDirectW", 4000, -3, 8500, "two bytes a unit"},
      {"SQLPrepareW", 1000, -3, 4096, "short"},
      {"SQLPrepareW", 1799, 1799, 4098, "explicit length in units"},
      {"SQLExecDirectW", 600000, -3, kCap, "capped"},
  };
  for (const WideRow& row : wideRows) {
    SCOPED_TRACE(row.note);
    auto text = wideText(row.units);
    const TraceCallRecord record = statementRecord(row.name, true, text.get(), static_cast<uint64_t>(row.length));
    EXPECT_EQ(TraceRecordBufferSize(record), row.expected);
  }

  // Null text is not read.
  EXPECT_EQ(TraceRecordBufferSize(statementRecord("SQLExecDirect", false, nullptr, 4000)), 4096u);
  EXPECT_EQ(TraceRecordBufferSize(statementRecord("SQLExecDirect", false, nullptr, kNts)), 4096u);
  EXPECT_EQ(TraceRecordBufferSize(statementRecord("SQLExecDirectW", true, nullptr, kNts)), 4096u);
}

TEST_F(LogWriterTest, StatementsInReadOnlyMemoryAreTraced) {
  static const char kStatement[] = "SELECT * FROM literal";
  openMemoryLog();
  const uint64_t values[] = {0x10, address(kStatement), kNts};
  TraceReturn(TraceCall(coretest::kPrepare, values), 0);
  const std::string log = memoryLog();
  EXPECT_EQ(countOf(log, "ENTER SQLPrepare\n"), 1u);
  EXPECT_EQ(countOf(log, "EXIT  SQLPrepare with return code 0"), 1u);
}

TEST_F(LogWriterTest, LongStatementsAndNullStatementsAreWritten) {
  openMemoryLog();
  auto text = narrowText(4000, true);
  const uint64_t longValues[] = {0x10, address(text.get()), kNts};
  TraceReturn(TraceCall(coretest::kExecDirect, longValues), 0);
  const uint64_t nullValues[] = {0x11, 0, 4000};
  TraceReturn(TraceCall(coretest::kExecDirect, nullValues), 0);
  const std::string log = memoryLog();
  EXPECT_EQ(countOf(log, "ENTER SQLExecDirect\n"), 2u);
  EXPECT_EQ(countOf(log, "EXIT  SQLExecDirect with return code 0"), 2u);
  // The null statement: an empty string where its text is shown, the
  // address alone in the EXIT record.
  EXPECT_EQ(countOf(log, "\t\tUCHAR *             0x0000000000000000 [      -3] <empty string>\n"), 1u);
  EXPECT_EQ(countOf(log, "\t\tUCHAR *             0x0000000000000000 \n"), 1u);
}

TEST_F(LogWriterTest, NoMemoryForALongStatementDropsOnlyThatRecord) {
  openMemoryLog();
  auto text = narrowText(4000, true);
  const uint64_t values[] = {0x10, address(text.get()), kNts};
  julib::internal::failAllocation(1, false);
  const int16_t handle = TraceCall(coretest::kExecDirect, values);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  EXPECT_NE(handle, 0) << "the call is still parked";
  EXPECT_EQ(memoryLog(), "");
  EXPECT_EQ(errors_->ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
  TraceReturn(handle, 0);
  EXPECT_EQ(countOf(memoryLog(), "EXIT  SQLExecDirect"), 1u);
}

// ---------------------------------------------------------------------------
// Many threads.
// ---------------------------------------------------------------------------

TEST_F(LogWriterTest, RecordsOfManyThreadsNeverInterleave) {
  constexpr int kThreads = 8;
  constexpr int kCalls = 150;
  setSetting("TraceOptions", "3");
  setSetting("ODBCTraceMemBuffSize", "8192");
  openMemoryLog();
  std::vector<uint32_t> threadIds(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &threadIds] {
      threadIds[t] = platform::currentThreadId();
      for (int i = 0; i < kCalls; ++i) {
        const uint64_t values[] = {0x100u + static_cast<uint64_t>(t), static_cast<uint64_t>(i)};
        TraceReturn(TraceCall(coretest::kFreeStmt, values), 0);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::map<uint32_t, int> threadOf;
  for (int t = 0; t < kThreads; ++t) threadOf[threadIds[t]] = t;
  const std::regex header(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}000 pid=\d+:tid=(\d+) *\t(ENTER|EXIT ) SQLFreeStmt .*)");
  std::istringstream lines(memoryLog());
  std::string line;
  std::vector<int> next(kThreads, 0);
  int records = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, header)) << line;
    const auto found = threadOf.find(static_cast<uint32_t>(std::stoul(match[1])));
    ASSERT_NE(found, threadOf.end()) << line;
    const int t = found->second;
    char expected[64];
    std::string argument;
    ASSERT_TRUE(std::getline(lines, argument));
    std::snprintf(expected, sizeof expected, "\t\tHSTMT               0x%016X", 0x100 + t);
    ASSERT_EQ(argument, expected) << "the header's thread wrote this record";
    ASSERT_TRUE(std::getline(lines, argument));
    // ENTER then EXIT of each call, in the thread's own order.
    const int call = next[t]++ / 2;
    std::snprintf(expected, sizeof expected, "\t\tUWORD              %11d <", call);
    EXPECT_EQ(argument.rfind(expected, 0), 0u) << argument;
    ++records;
  }
  EXPECT_EQ(records, kThreads * kCalls * 2);
}

}  // namespace
