// The trace library under load: sixteen application threads making their
// ODBC calls at once through the Driver Manager stand-in, in each trace mode;
// the memory sink read back while the threads write; the handle table full,
// through libvrtrc28.so's own exports; and processes forked while threads
// trace.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core_test_util.h"
#include "export_table.h"
#include "testing/process.h"
#include "traced_session.h"

namespace {

namespace fs = std::filesystem;
using vrtest::LogRecord;
using vrtest::ParsedLog;

constexpr int kThreads = 16;
constexpr int kCallsPerThread = 20000;

const vrtest::ExportTable& exportTable() {
  static const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  return table;
}

// Seconds since `start`, for the test's own report of its run time.
double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---------------------------------------------------------------------------
// Through the stand-in.
// ---------------------------------------------------------------------------

// Each thread connects, prepares a statement and asks for its number of
// columns again and again: a cheap call that unixODBC hands to the driver.
const std::vector<std::string> kScript = {
    "threads=" + std::to_string(kThreads),       "connect=testdsn", "prepare=SELECT 1",
    "repeat=" + std::to_string(kCallsPerThread), "numresultcols",   "disconnect"};

// The calls of one thread of kScript, in order.
std::vector<std::string> callsOfOneThread() {
  std::vector<std::string> calls = {"SQLAllocHandle", "SQLSetEnvAttr",  "SQLAllocHandle",
                                    "SQLConnect",     "SQLAllocHandle", "SQLPrepare"};
  calls.insert(calls.end(), kCallsPerThread, "SQLNumResultCols");
  calls.insert(calls.end(), {"SQLFreeHandle", "SQLDisconnect", "SQLFreeHandle", "SQLFreeHandle"});
  return calls;
}

class SixteenThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.usable()) << "no temporary folder, or the SQLite ODBC driver is not installed";
    ASSERT_EQ(exportTable().error, "");
  }

  // Runs kScript with these trace settings and checks the log files: whole
  // records in every file, none above `maxFileBytes` unless alone, the files
  // numbered from 1 without a gap, and every call of every thread there
  // once, its ENTER followed by its EXIT.
  void runAndCheckFiles(const std::vector<std::string>& settings, uint64_t maxFileBytes) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> lines = {"Trace=Yes", "TraceFile=" + session_.logPath(), "ODBCTraceMaxNumFiles=1000"};
    lines.insert(lines.end(), settings.begin(), settings.end());
    session_.writeOdbcIni(lines);
    const vrtest::ClientRun run = session_.runClient(kScript);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    const double runSeconds = secondsSince(start);

    const std::vector<fs::path> files = session_.logFiles();
    ASSERT_FALSE(files.empty());
    std::vector<std::string> texts;
    texts.reserve(files.size());
    std::vector<LogRecord> records;
    for (size_t i = 0; i < files.size(); ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "SQL_%d_%04zu.LOG", static_cast<int>(run.pid), i + 1);
      ASSERT_EQ(files[i].filename().string(), name);
      texts.push_back(vrtest::readFile(files[i]));
      ParsedLog parsed = vrtest::parseLog(texts.back(), exportTable());
      ASSERT_EQ(parsed.error, "") << files[i];
      EXPECT_TRUE(texts.back().size() <= maxFileBytes || parsed.records.size() == 1)
          << files[i] << " holds " << texts.back().size() << " bytes";
      records.insert(records.end(), parsed.records.begin(), parsed.records.end());
    }
    EXPECT_EQ(vrtest::checkEnterExitPairs(records), "");

    // Every call of every thread, once, in its thread's order.
    std::map<std::string_view, std::vector<std::string_view>> entered;
    std::map<std::string_view, size_t> exits;
    for (const LogRecord& r : records) {
      if (r.kind == "ENTER") {
        entered[r.thread].push_back(r.function);
      } else {
        ++exits[r.thread];
      }
    }
    ASSERT_EQ(entered.size(), static_cast<size_t>(kThreads));
    const std::vector<std::string> expected = callsOfOneThread();
    for (const auto& [thread, names] : entered) {
      SCOPED_TRACE(std::string(thread));
      EXPECT_EQ(exits[thread], expected.size());
      ASSERT_EQ(names.size(), expected.size());
      EXPECT_TRUE(std::equal(names.begin(), names.end(), expected.begin()));
    }
    std::printf("  %zu records in %zu files; the run took %.1f s, the whole check %.1f s\n", records.size(),
                files.size(), runSeconds, secondsSince(start));
  }

  vrtest::TracedSession session_;
};

TEST_F(SixteenThreadsTest, FileModeLosesAndMixesNothing) {
  // 1 MiB files: the log of the run fills many of them.
  runAndCheckFiles({"ODBCTraceMaxFileSize=1024"}, 1024 * 1024);
}

TEST_F(SixteenThreadsTest, MemoryThenFileModeLosesAndMixesNothing) {
  // 64 KiB blocks into 1 MiB files.
  runAndCheckFiles({"ODBCTraceMode=1", "ODBCTraceMemBuffSize=64", "ODBCTraceMaxFileSize=1024"}, 1024 * 1024);
}

// The memory sink keeps its records in the process: the application runs
// through and writes no file.
TEST_F(SixteenThreadsTest, MemoryModeRunsThrough) {
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath(), "ODBCTraceMode=2", "ODBCTraceMemBuffSize=64"});
  const vrtest::ClientRun run = session_.runClient(kScript);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(session_.logFiles().empty());
}

// ---------------------------------------------------------------------------
// The memory sink read while it is written.
// ---------------------------------------------------------------------------

class MemorySinkUnderLoadTest : public coretest::TraceCoreTest {};

// The buffer starts again at 0 whenever a record does not fit: whatever a
// reader finds in it, at any moment, is whole records.
TEST_F(MemorySinkUnderLoadTest, HoldsOnlyWholeRecordsWhileSixteenThreadsWrite) {
  coretest::setSetting("TraceOptions", "3");
  coretest::setSetting("ODBCTraceMemBuffSize", "16");
  openMemoryLog();

  std::atomic<bool> done{false};
  std::atomic<int> handleless{0};
  int snapshots = 0;
  std::string snapshotError;
  std::thread reader([&] {
    while (!done.load()) {
      const std::string text = coretest::memoryLog();
      const ParsedLog parsed = vrtest::parseLog(text, exportTable());
      if (!parsed.error.empty() && snapshotError.empty()) snapshotError = parsed.error;
      ++snapshots;
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t, &handleless] {
      const uint64_t statement = 0x5000 + static_cast<uint64_t>(t);
      for (int i = 0; i < kCallsPerThread; ++i) {
        const int16_t handle = TraceCall(coretest::kFetch, &statement);
        if (handle == 0) ++handleless;
        TraceReturn(handle, i % 2 == 0 ? 0 : 100);
      }
    });
  }
  for (std::thread& w : writers) w.join();
  done.store(true);
  reader.join();

  EXPECT_EQ(handleless.load(), 0);
  EXPECT_GT(snapshots, 0);
  EXPECT_EQ(snapshotError, "");
  const std::string text = coretest::memoryLog();
  const ParsedLog parsed = vrtest::parseLog(text, exportTable());
  EXPECT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.records.empty());
  EXPECT_LE(text.size(), 16u * 1024u);
}

// ---------------------------------------------------------------------------
// The handle table, through libvrtrc28.so.
// ---------------------------------------------------------------------------

// Fills the table with 201 calls that do not return, returns the 17th and
// makes one call more. 0 when every handle was as expected.
int fillTheHandleTable(const std::string& logPath) {
  vrtest::TraceLibrary trace;
  if (!trace.load()) return 2;
  const std::u16string name(logPath.begin(), logPath.end());
  if (trace.openLogFile(name.c_str(), nullptr, 0) != 0) return 3;
  int faults = 0;
  auto expectHandle = [&faults](int16_t got, int16_t expected, int call) {
    if (got == expected) return;
    std::fprintf(stderr, "call %d got handle %d, not %d\n", call, got, expected);
    ++faults;
  };
  // Statement handles 0x7001, 0x7002, ... tell the calls apart in the log.
  for (int call = 1; call <= 201; ++call) {
    const int16_t handle = trace.traceFetch(reinterpret_cast<void*>(static_cast<uintptr_t>(0x7000 + call)));
    expectHandle(handle, call <= 200 ? static_cast<int16_t>(call) : int16_t{0}, call);
  }
  trace.traceReturn(17, 0);
  expectHandle(trace.traceFetch(reinterpret_cast<void*>(uintptr_t{0x7202})), 17, 202);
  trace.closeLogFile();
  return faults == 0 ? 0 : 1;
}

TEST(HandleTableTest, The201stOutstandingCallGetsNoHandleAndAFreedHandleIsReused) {
  vrtest::TracedSession session;
  ASSERT_TRUE(session.usable());
  session.writeOdbcIni({"TraceFilePerProcess=0"});
  ASSERT_EQ(vrtest::runInChild(session, [&session] { return fillTheHandleTable(session.logPath()); }), 0);

  const std::string text = session.logText();
  const ParsedLog log = vrtest::parseLog(text, exportTable());
  ASSERT_EQ(log.error, "");
  // 201 ENTER records, the EXIT of handle 17, the ENTER of the call that
  // took handle 17 again; the 201st call has no EXIT.
  ASSERT_EQ(log.records.size(), 203u);
  for (size_t i = 0; i < 201; ++i) ASSERT_EQ(log.records[i].kind, "ENTER") << i;
  const LogRecord& exit = log.records[201];
  EXPECT_EQ(exit.kind, "EXIT");
  EXPECT_EQ(exit.returnName, "SQL_SUCCESS");
  ASSERT_EQ(exit.args.size(), 1u);
  EXPECT_EQ(exit.args, log.records[16].args);  // the 17th call's statement
  for (size_t i = 0; i < 201; ++i) {
    if (i != 16) {
      EXPECT_NE(log.records[i].args, exit.args) << i;
    }
  }
  EXPECT_EQ(log.records[202].kind, "ENTER");
  EXPECT_NE(log.records[202].args, log.records[200].args);
}

// ---------------------------------------------------------------------------
// Forks.
// ---------------------------------------------------------------------------

// Settings set before any thread starts and read without a lock after: a
// forked child must not wait for a lock of the test's own.
std::map<std::string, std::string> forkSettings;

size_t readForkSetting(const char* key, const char* fallback, char* buffer, size_t size) {
  const auto found = forkSettings.find(key);
  const std::string_view value = found != forkSettings.end() ? std::string_view(found->second) : fallback;
  const size_t n = value.copy(buffer, size - 1);
  buffer[n] = '\0';
  return n;
}

// One SQLFetch of statement handle `statement`, ENTER and EXIT; its handle.
int16_t fetchOnce(uint64_t statement) {
  const int16_t handle = TraceCall(coretest::kFetch, &statement);
  TraceReturn(handle, 0);
  return handle;
}

class ForkTest : public coretest::TraceCoreTest {
 protected:
  // A log of `mode`, one set for every process unless `perProcess` is "1",
  // with the default prefix.
  void openLog(const char* mode, const std::string& dir, const char* flushMode = "2", const char* perProcess = "0") {
    forkSettings = {{"ODBCTraceMode", mode}, {"TraceFile", dir + "/fork.log"}, {"TraceFilePerProcess", perProcess},
                    {"ODBCTraceFlush", flushMode}, {"ODBCTraceMaxFileSize", "256"}};
    TraceSetSettingReaderForTesting(readForkSetting);
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
  }
};

// 200 children forked while eight threads trace: each makes its traced call,
// closes the log and exits, whichever lock a thread of its parent held. A
// test per trace mode, for the time forks take. Under the sanitizers 40: their
// runtime (GCC 12) takes no care of its own locks across a fork, and a rare
// child then waits for one of them, whatever our libraries do.
class ForkWhileTracingTest : public ForkTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ForkWhileTracingTest, ChildrenCallAndExit) {
  coretest::TempDir dir;
  openLog(GetParam(), dir.path());
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (uint64_t t = 0; t < 8; ++t) {
    threads.emplace_back([&stop, t] {
      while (!stop.load()) fetchOnce(0x6000 + t);
    });
  }
  const int children = *VRTRACE_SANITIZER_RUNTIME != '\0' ? 40 : 200;
  int forks = 0, hung = 0, failed = 0;
  for (; forks < children && hung < 3; ++forks) {
    const pid_t child = fork();
    if (child == 0) _exit(fetchOnce(0x7000) != 0 && TraceCloseLogFile() == 0 ? 0 : 1);
    const int status = child > 0 ? jutest::exitStatusWithin(child) : 1;
    hung += status == -1 ? 1 : 0;
    failed += status > 0 ? 1 : 0;
  }
  stop.store(true);
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(hung, 0) << "of " << forks << " children";
  EXPECT_EQ(failed, 0);
}

INSTANTIATE_TEST_SUITE_P(TraceModes, ForkWhileTracingTest, ::testing::Values("0", "1", "2"));

// A child forked while the sink holds records it has not written, which
// then closes the log, writes only its own: the parent writes its records
// once. With the memory sink the child starts empty.
TEST_F(ForkTest, AChildWritesNoRecordOfItsParent) {
  const char* const rows[][2] = {{"0", "0"}, {"1", "2"}, {"2", "2"}};  // mode, flush mode
  const std::string parent = "0x00000000000000A1\n", child = "0x00000000000000B2\n";
  for (const auto& [mode, flushMode] : rows) {
    SCOPED_TRACE(mode);
    const bool memory = std::string_view(mode) == "2";
    coretest::TempDir dir;
    openLog(mode, dir.path(), flushMode);
    fetchOnce(0xA1);
    const pid_t pid = fork();
    if (pid == 0) {
      fetchOnce(0xB2);
      const std::string held = coretest::memoryLog();
      const bool clean = !memory || (coretest::countOf(held, parent) == 0 && coretest::countOf(held, child) == 2);
      _exit(clean && TraceCloseLogFile() == 0 ? 0 : 1);
    }
    EXPECT_EQ(pid > 0 ? jutest::exitStatusWithin(pid) : -1, 0);
    fetchOnce(0xC3);
    EXPECT_EQ(coretest::countOf(coretest::memoryLog(), parent), memory ? 2u : 0u);
    TraceCloseLogFile();
    std::string text;
    for (const std::string& name : dir.entries()) text += coretest::readFile(dir / name);
    EXPECT_EQ(coretest::countOf(text, parent), memory ? 0u : 2u);
    EXPECT_EQ(coretest::countOf(text, child), memory ? 0u : 2u);
  }
}

// A child of a per-process log writes a set of its own, named for its own
// process id; its parent's set never holds a record of the child's.
TEST_F(ForkTest, AChildOfAPerProcessLogWritesItsOwnSet) {
  coretest::TempDir dir;
  openLog("0", dir.path(), "2", "1");
  fetchOnce(0xA1);
  const pid_t pid = fork();
  if (pid == 0) _exit(fetchOnce(0xB2) != 0 && TraceCloseLogFile() == 0 ? 0 : 1);
  ASSERT_EQ(pid > 0 ? jutest::exitStatusWithin(pid) : -1, 0);
  fetchOnce(0xC3);
  TraceCloseLogFile();
  const std::string parentName = "fork_" + std::to_string(getpid()) + "_01.log";
  const std::string childName = "fork_" + std::to_string(pid) + "_01.log";
  std::vector<std::string> names = {parentName, childName};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(dir.entries(), names);
  const std::string parentLog = coretest::readFile(dir / parentName);
  const std::string childLog = coretest::readFile(dir / childName);
  // Each holds its records and nothing else.
  EXPECT_EQ(parentLog.find('\0'), std::string::npos);
  EXPECT_EQ(childLog.find('\0'), std::string::npos);
  EXPECT_EQ(coretest::countOf(parentLog, "0x00000000000000B2\n"), 0u);
  EXPECT_EQ(coretest::countOf(parentLog, "0x00000000000000C3\n"), 2u);
  EXPECT_EQ(coretest::countOf(childLog, "0x00000000000000B2\n"), 2u);
  EXPECT_EQ(coretest::countOf(childLog, "0x00000000000000A1\n"), 0u);
}

}  // namespace
