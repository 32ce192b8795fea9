// Faults of the log under a traced application: a log folder that goes away
// and comes back, a folder that does not exist yet, a full device, a single
// log file. The application's calls always succeed, nothing crashes, the log
// holds whole records, and records find their way into the log again once
// the fault is gone.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "export_table.h"
#include "sinks.h"  // kTraceRetryMilliseconds
#include "traced_session.h"

namespace {

namespace fs = std::filesystem;
using vrtest::ClientRun;
using vrtest::ParsedLog;

const vrtest::ExportTable& exportTable() {
  static const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  return table;
}

const std::vector<std::string> kScript = {"connect=testdsn",
                                          "exec=DROP TABLE IF EXISTS t",
                                          "exec=CREATE TABLE t(a INTEGER, b TEXT)",
                                          "exec=INSERT INTO t VALUES(1, 'abc')",
                                          "exec=SELECT a, b FROM t",
                                          "fetch",
                                          "disconnect"};
constexpr char kScriptRows[] = "1|abc\n";

// The records of "exec=SELECT 3", "fetch", "disconnect".
const std::vector<std::string> kLastSelectWords = {
    "ENTER SQLExecDirect", "EXIT SQLExecDirect",  "ENTER SQLNumResultCols", "EXIT SQLNumResultCols",
    "ENTER SQLFetch",      "EXIT SQLFetch",       "ENTER SQLGetData",       "EXIT SQLGetData",
    "ENTER SQLFetch",      "EXIT SQLFetch",       "ENTER SQLFreeHandle",    "EXIT SQLFreeHandle",
    "ENTER SQLDisconnect", "EXIT SQLDisconnect",  "ENTER SQLFreeHandle",    "EXIT SQLFreeHandle",
    "ENTER SQLFreeHandle", "EXIT SQLFreeHandle"};

class LogFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.usable()) << "no temporary folder, or the SQLite ODBC driver is not installed";
    ASSERT_EQ(exportTable().error, "");
  }

  // The words of the records of these files, each checked to hold whole
  // records only.
  std::vector<std::string> wordsOf(const std::vector<fs::path>& files) {
    std::vector<std::string> words;
    for (const fs::path& file : files) {
      const std::string text = vrtest::readFile(file);
      const ParsedLog parsed = vrtest::parseLog(text, exportTable());
      EXPECT_EQ(parsed.error, "") << file;
      for (std::string& w : vrtest::recordWords(parsed.records)) words.push_back(std::move(w));
    }
    return words;
  }

  vrtest::TracedSession session_;
};

// ---------------------------------------------------------------------------
// A log folder that goes away.
// ---------------------------------------------------------------------------

// The folder of the log is moved away while the application runs: the
// records go on into the file that is open until it is full, the next file
// cannot be made and records are dropped, each one trying again; once the
// folder is back, the next record makes the file and the log goes on there.
TEST_F(LogFaultTest, AFolderMadeAgainMidRunReceivesTheRecordsFromThenOn) {
  const fs::path logs = session_.dir() / "logs";
  const fs::path moved = session_.dir() / "moved";
  ASSERT_TRUE(fs::create_directory(logs));
  const std::string started = session_.path("started"), gone = session_.path("gone");
  const std::string missed = session_.path("missed"), back = session_.path("back");
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + (logs / "SQL.LOG").string(), "TraceFilePerProcess=0",
                         "ODBCTraceMaxFileSize=1", "ODBCTraceMaxNumFiles=100"});
  const vrtest::StartedClient client = session_.startClient(
      {"connect=testdsn", "exec=SELECT 1", "fetch", "signal=" + started, "waitfor=" + gone,
       // Some 8 KiB of records: more than the open file can take.
       "repeat=20", "numresultcols", "signal=" + missed, "waitfor=" + back, "exec=SELECT 3", "fetch", "disconnect"});
  ASSERT_NE(client.pid, 0);

  const bool reachedStart = vrtest::waitForFile(started);
  std::error_code renameError;
  fs::rename(logs, moved, renameError);
  std::ofstream(gone).flush();
  const bool reachedMiss = reachedStart && vrtest::waitForFile(missed);
  const bool madeAgain = fs::create_directory(logs);
  // The next file is tried again by the first record after the retry
  // interval.
  std::this_thread::sleep_for(std::chrono::milliseconds(kTraceRetryMilliseconds + 20));
  std::ofstream(back).flush();
  const ClientRun run = session_.wait(client);
  ASSERT_TRUE(reachedStart && reachedMiss);
  ASSERT_FALSE(renameError) << renameError.message();
  ASSERT_TRUE(madeAgain);

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1\n3\n");
  EXPECT_EQ(run.err, "");

  // Before: whole records, and not all of the calls made without a folder.
  const std::vector<fs::path> before = session_.logFiles("SQL");
  std::vector<fs::path> movedFiles;
  for (const fs::path& file : before) {
    if (file.parent_path() == moved) movedFiles.push_back(file);
  }
  ASSERT_FALSE(movedFiles.empty());
  const std::vector<std::string> early = wordsOf(movedFiles);
  EXPECT_LT(std::count(early.begin(), early.end(), "ENTER SQLNumResultCols"), 20);

  // After: the next files of the set, with every record from the first one
  // after the folder came back.
  std::vector<fs::path> after;
  for (const auto& entry : fs::directory_iterator(logs)) after.push_back(entry.path());
  std::sort(after.begin(), after.end());
  ASSERT_FALSE(after.empty());
  for (size_t i = 0; i < after.size(); ++i) {
    char next[32];
    std::snprintf(next, sizeof next, "SQL_%03zu.LOG", movedFiles.size() + 1 + i);
    EXPECT_EQ(after[i].filename().string(), next);
  }
  EXPECT_EQ(wordsOf(after), kLastSelectWords);
}

// The log's folder appears half a second after the application started:
// the Driver Manager traces on although the first open failed, and the
// records from then on reach the log.
TEST_F(LogFaultTest, AFolderThatAppearsAfterTheStartReceivesTheRecordsFromThenOn) {
  const fs::path later = session_.dir() / "later";
  const std::string started = session_.path("started"), made = session_.path("made");
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + (later / "SQL.LOG").string(), "TraceFilePerProcess=0"});
  const vrtest::StartedClient client = session_.startClient({"connect=testdsn", "exec=SELECT 1", "fetch",
                                                             "signal=" + started, "waitfor=" + made, "exec=SELECT 3",
                                                             "fetch", "disconnect"});
  ASSERT_NE(client.pid, 0);
  const bool reachedStart = vrtest::waitForFile(started);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const bool madeFolder = fs::create_directory(later);
  std::ofstream(made).flush();
  const ClientRun run = session_.wait(client);
  ASSERT_TRUE(reachedStart && madeFolder);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1\n3\n");
  EXPECT_NE(run.err.find((later / "SQL_01.LOG").string()), std::string::npos) << run.err;
  EXPECT_EQ(wordsOf(session_.logFiles()), kLastSelectWords);
}

// A process that ends with _exit runs no exit handler: the stand-in sees
// the call and closes the log first, so the records the library held in
// memory (memory then file; gathered by flush mode 0) reach the file. A
// child made by vfork that ends so leaves its parent's log open.
TEST_F(LogFaultTest, RecordsReachTheLogWhenTheProcessEndsWithExit) {
  const std::vector<std::string> calls = {"connect=testdsn", "exec=SELECT 1", "fetch", "exec=SELECT 3", "fetch"};
  // What the calls log in a process that ends by exit, up to the last fetch
  // (the script's end disconnects).
  std::vector<std::string> reference = vrtest::referenceWords(session_, calls, exportTable());
  reference.erase(std::find(reference.rbegin(), reference.rend(), "EXIT SQLFetch").base(), reference.end());
  ASSERT_FALSE(reference.empty());
  std::vector<std::string> script = calls;
  script.insert(script.begin() + 3, "vfork");
  script.push_back("_exit=0");
  const std::vector<std::string> rows[] = {
      {"ODBCTraceMode=1"}, {"ODBCTraceMode=1", "TraceFilePerProcess=0"}, {"ODBCTraceFlush=0"}};
  for (const std::vector<std::string>& settings : rows) {
    SCOPED_TRACE(settings.back());
    session_.removeLogs();
    std::vector<std::string> lines = {"Trace=Yes", "TraceFile=" + session_.logPath()};
    lines.insert(lines.end(), settings.begin(), settings.end());
    session_.writeOdbcIni(lines);
    const ClientRun run = session_.runClient(script);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "1\n3\n");
    EXPECT_EQ(wordsOf(session_.logFiles()), reference);
  }
}

// Readies the library without a name, makes three calls while `folder` is
// missing, makes the folder and one call more.
int traceAroundAMissingFolder(const fs::path& folder) {
  vrtest::TraceLibrary trace;
  if (!trace.load()) return 2;
  if (trace.openLogFile(nullptr, nullptr, 0) != 0) return 3;
  for (uintptr_t statement = 0x6001; statement <= 0x6003; ++statement) {
    trace.traceReturn(trace.traceFetch(reinterpret_cast<void*>(statement)), 100);
  }
  if (!fs::create_directory(folder)) return 4;
  std::this_thread::sleep_for(std::chrono::milliseconds(kTraceRetryMilliseconds + 20));
  trace.traceReturn(trace.traceFetch(reinterpret_cast<void*>(uintptr_t{0x6004})), 0);
  trace.closeLogFile();
  return 0;
}

// The library opens its log lazily, with the first record, when the
// Driver Manager readies it without a name; while the folder does not exist
// a record tries again once the retry interval has passed, and the first
// record after it was made opens the log.
TEST_F(LogFaultTest, TheLazyOpenIsTriedAgainUntilTheFolderExists) {
  const fs::path later = session_.dir() / "later";
  session_.writeOdbcIni({"TraceFile=" + (later / "SQL.LOG").string(), "TraceFilePerProcess=0"});
  ASSERT_EQ(vrtest::runInChild(session_, [&later] { return traceAroundAMissingFolder(later); }), 0);

  const std::string text = vrtest::readFile(later / "SQL_01.LOG");
  const ParsedLog log = vrtest::parseLog(text, exportTable());
  ASSERT_EQ(log.error, "");
  EXPECT_EQ(vrtest::recordWords(log.records), (std::vector<std::string>{"ENTER SQLFetch", "EXIT SQLFetch"}));
  ASSERT_EQ(log.records.size(), 2u);
  EXPECT_NE(log.records[0].args[0].find("6004"), std::string_view::npos) << log.records[0].args[0];
  EXPECT_EQ(log.records[1].returnName, "SQL_SUCCESS");
}

// ---------------------------------------------------------------------------
// A full device.
// ---------------------------------------------------------------------------

// The first log file is /dev/full: every write to it fails. The
// application is not disturbed; with a small maximum size the records that
// come after the rotation reach the next files whole.
TEST_F(LogFaultTest, ALogOnAFullDeviceDisturbsNothing) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  struct Case {
    std::vector<std::string> settings;
    bool rotates;
  };
  const Case kCases[] = {
      {{}, false},
      {{"ODBCTraceFlush=0"}, false},
      {{"ODBCTraceMaxFileSize=1"}, true},
      {{"ODBCTraceMaxFileSize=1", "ODBCTraceFlush=0"}, true},
      {{"ODBCTraceMode=1"}, false},
      {{"ODBCTraceMode=1", "ODBCTraceMaxFileSize=1", "ODBCTraceMemBuffSize=1"}, true},
  };
  const std::vector<std::string> reference = vrtest::referenceWords(session_, kScript, exportTable());
  ASSERT_FALSE(reference.empty());
  const fs::path full = session_.dir() / "SQL_01.LOG";
  for (const Case& c : kCases) {
    std::string name;
    for (const std::string& s : c.settings) name += s + " ";
    SCOPED_TRACE(name);
    session_.removeLogs();
    ASSERT_TRUE(fs::is_character_file("/dev/full"));
    fs::create_symlink("/dev/full", full);
    std::vector<std::string> lines = {"Trace=Yes", "TraceFile=" + session_.logPath(), "TraceFilePerProcess=0"};
    lines.insert(lines.end(), c.settings.begin(), c.settings.end());
    session_.writeOdbcIni(lines);

    const ClientRun run = session_.runClient(kScript);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kScriptRows);
    EXPECT_EQ(run.err, "");

    std::vector<fs::path> files = session_.logFiles();
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files[0], full);
    EXPECT_TRUE(fs::is_symlink(files[0]));
    files.erase(files.begin());
    if (!c.rotates) {
      EXPECT_TRUE(files.empty());
      continue;
    }
    // What did not go to the full device is the end of the session.
    ASSERT_FALSE(files.empty());
    const std::vector<std::string> words = wordsOf(files);
    EXPECT_FALSE(words.empty());
    EXPECT_LT(words.size(), reference.size());
    EXPECT_TRUE(vrtest::endsWith(reference, words));
  }
}

// ---------------------------------------------------------------------------
// One log file.
// ---------------------------------------------------------------------------

// A set of one file (a number of files of 1, or 0, which means one too):
// the file is emptied and written again each time it fills, and always
// ends with the latest records, whole, within the maximum.
TEST_F(LogFaultTest, OneFileIsWrittenAgainEachTimeItFills) {
  struct Case {
    std::string maxFiles;
    std::vector<std::string> script;
    std::string rows;
  };
  const Case kCases[] = {
      {"1", kScript, kScriptRows},
      {"0", kScript, kScriptRows},
      {"1", {"threads=8", "connect=testdsn", "prepare=SELECT 1", "repeat=200", "numresultcols", "disconnect"}, ""},
  };
  constexpr uintmax_t kMaxBytes = 1024;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.maxFiles + " " + c.script[0]);
    session_.removeLogs();
    const bool threaded = c.script[0].rfind("threads=", 0) == 0;
    const std::vector<std::string> reference =
        threaded ? std::vector<std::string>() : vrtest::referenceWords(session_, c.script, exportTable());
    session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath(), "TraceFilePerProcess=0",
                           "ODBCTraceMaxFileSize=1", "ODBCTraceMaxNumFiles=" + c.maxFiles});
    const ClientRun run = session_.runClient(c.script);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.rows);

    EXPECT_EQ(session_.logNames(), std::vector<std::string>{"SQL_1.LOG"});
    const fs::path file = session_.dir() / "SQL_1.LOG";
    const std::string text = vrtest::readFile(file);
    const ParsedLog parsed = vrtest::parseLog(text, exportTable());
    EXPECT_EQ(parsed.error, "");
    EXPECT_TRUE(text.size() <= kMaxBytes || parsed.records.size() == 1) << text.size() << " bytes";
    ASSERT_FALSE(parsed.records.empty());
    const std::vector<std::string> words = vrtest::recordWords(parsed.records);
    if (threaded) {
      // The last call of the last thread to finish.
      EXPECT_EQ(words.back(), "EXIT SQLFreeHandle");
    } else {
      EXPECT_LT(words.size(), reference.size());
      EXPECT_TRUE(vrtest::endsWith(reference, words));
    }
  }
}

}  // namespace
