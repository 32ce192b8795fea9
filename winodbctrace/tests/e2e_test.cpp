// Traced ODBC sessions end to end: an application (the test client, or
// unixODBC's isql) runs against unixODBC and the SQLite driver with the
// Driver Manager stand-in preloaded, and the log that libvrtrc28.so wrote is
// read back: records paired and named, return codes named, files named and
// rotated, the memory-then-file mode.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "export_table.h"
#include "traced_session.h"

namespace {

namespace fs = std::filesystem;
using vrtest::ClientRun;
using vrtest::LogRecord;
using vrtest::ParsedLog;

const vrtest::ExportTable& exportTable() {
  static const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  return table;
}

// The names of the return codes a session can meet.
const std::map<int, std::string> kReturnNames = {
    {-2, "SQL_INVALID_HANDLE"}, {-1, "SQL_ERROR"},     {0, "SQL_SUCCESS"},        {1, "SQL_SUCCESS_WITH_INFO"},
    {2, "SQL_STILL_EXECUTING"}, {99, "SQL_NEED_DATA"}, {100, "SQL_NO_DATA_FOUND"}};

// The return codes of the EXIT records of one function, in order.
std::vector<int> exitCodes(const std::vector<LogRecord>& records, const std::string& function) {
  std::vector<int> codes;
  for (const LogRecord& r : records) {
    if (r.kind == "EXIT" && r.function == function) codes.push_back(r.returnCode);
  }
  return codes;
}

// Files in the session's folder that the session did not put there itself.
std::vector<std::string> traceFiles(const vrtest::TracedSession& session) {
  static const std::set<std::string> kOwn = {"odbc.ini", "odbcinst.ini", "test.db"};
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(session.dir())) {
    const std::string name = entry.path().filename().string();
    // The INFO file lies beside the logs but is not one of them.
    if (kOwn.count(name) == 0 && name.rfind("client", 0) != 0 && name.find("INFO") == std::string::npos) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string withPid(std::string text, pid_t pid) {
  const size_t at = text.find("{pid}");
  if (at != std::string::npos) text.replace(at, 5, std::to_string(pid));
  return text;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.usable()) << "no temporary folder, or the SQLite ODBC driver is not installed";
    ASSERT_EQ(exportTable().error, "");
  }

  // The log of every file (name order), checked for form and for pairs.
  void expectSoundLog(const std::string& text, ParsedLog& parsed) {
    parsed = vrtest::parseLog(text, exportTable());
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(vrtest::checkEnterExitPairs(parsed.records), "");
  }

  std::vector<std::string> referenceWords(const std::vector<std::string>& script) {
    std::vector<std::string> words = vrtest::referenceWords(session_, script, exportTable());
    EXPECT_FALSE(words.empty()) << "the run without rotation failed";
    return words;
  }

  vrtest::TracedSession session_;
};

// ---------------------------------------------------------------------------
// Records.
// ---------------------------------------------------------------------------

TEST_F(EndToEndTest, ASessionPairsEveryEnterWithItsExit) {
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath()});
  const ClientRun run =
      session_.runClient({"connect=testdsn", "exec=CREATE TABLE t(a INTEGER, b TEXT)",
                          "exec=INSERT INTO t VALUES(1, 'abc')", "exec=INSERT INTO t VALUES(2, NULL)",
                          "exec=SELECT a, b FROM t ORDER BY a", "fetch", "?exec=SELEKT 1", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n2|NULL\n");
  EXPECT_NE(run.err.find("?exec=SELEKT 1 failed"), std::string::npos) << run.err;

  const std::string text = session_.logText();
  ParsedLog log;
  expectSoundLog(text, log);
  const std::vector<std::string> calls = {
      "SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnect", "SQLAllocHandle", "SQLExecDirect",
      "SQLExecDirect", "SQLExecDirect", "SQLExecDirect", "SQLNumResultCols", "SQLFetch", "SQLGetData", "SQLGetData",
      "SQLFetch", "SQLGetData", "SQLGetData", "SQLFetch", "SQLExecDirect",
      // The client's diagnostics of the failed statement: one record, then
      // no more.
      "SQLGetDiagRec", "SQLGetDiagRec", "SQLFreeHandle", "SQLDisconnect", "SQLFreeHandle", "SQLFreeHandle"};
  EXPECT_EQ(vrtest::recordNames(log.records, "ENTER"), calls);
  EXPECT_EQ(vrtest::recordNames(log.records, "EXIT"), calls);

  // Return codes and their names.
  EXPECT_EQ(exitCodes(log.records, "SQLExecDirect"), (std::vector<int>{0, 0, 0, 0, -1}));
  EXPECT_EQ(exitCodes(log.records, "SQLFetch"), (std::vector<int>{0, 0, 100}));
  EXPECT_EQ(exitCodes(log.records, "SQLGetDiagRec"), (std::vector<int>{0, 100}));
  for (const LogRecord& r : log.records) {
    if (r.kind != "EXIT") continue;
    SCOPED_TRACE(std::string(r.function) + " " + std::to_string(r.returnCode));
    ASSERT_EQ(kReturnNames.count(r.returnCode), 1u);
    EXPECT_EQ(r.returnName, kReturnNames.at(r.returnCode));
  }
  // One thread, of the client's process.
  const std::string thread = "pid=" + std::to_string(run.pid) + ":tid=";
  for (const LogRecord& r : log.records) ASSERT_EQ(r.thread.substr(0, thread.size()), thread);
}

// The checks of these tests rest on the log reader telling a damaged log
// from a whole one.
TEST_F(EndToEndTest, TheLogReaderTellsDamagedLogsFromWholeOnes) {
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath()});
  ASSERT_EQ(session_.runClient({"connect=testdsn", "disconnect"}).status, 0);
  const std::string whole = session_.logText();
  ParsedLog log;
  expectSoundLog(whole, log);
  ASSERT_GE(log.records.size(), 4u);
  const LogRecord& second = log.records[1];
  const size_t secondEnd = second.offset + second.length;
  const size_t firstArgLine = whole.find("\n\t\t", second.offset) + 1;
  const size_t firstArgEnd = whole.find('\n', firstArgLine) + 1;

  struct Case {
    std::string text;
    const char* note;
  };
  std::string lineMissing = whole;
  lineMissing.erase(firstArgLine, firstArgEnd - firstArgLine);
  std::string mixed = whole;  // a line of the third record inside the second
  mixed.insert(firstArgLine, whole.substr(secondEnd + 1, whole.find('\n', secondEnd + 1) - secondEnd));
  const Case kCases[] = {
      {whole.substr(0, secondEnd - 3), "cut inside a record"},
      {whole.substr(second.offset + 1), "starting inside a record"},
      {whole.substr(firstArgLine), "starting with an argument"},
      {lineMissing, "an argument line missing"},
      {mixed, "a header among the argument lines"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    EXPECT_NE(vrtest::parseLog(c.text, exportTable()).error, "");
  }
  // A record that does not close the call before it on its thread.
  std::vector<LogRecord> swapped = log.records;
  std::swap(swapped[0], swapped[1]);
  EXPECT_NE(vrtest::checkEnterExitPairs(swapped), "");
  // The last call without its EXIT.
  EXPECT_NE(vrtest::checkEnterExitPairs(std::vector<LogRecord>(log.records.begin(), log.records.end() - 1)), "");
}

TEST_F(EndToEndTest, WideCallsAreTracedByTheirWideNames) {
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath()});
  const ClientRun run =
      session_.runClient({"connectw=testdsn", "execw=CREATE TABLE w(a TEXT)", "execw=INSERT INTO w VALUES('wide')",
                          "preparew=SELECT a FROM w", "execute", "fetch", "getinfow=17", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "wide\nSQLite\n");

  const std::string text = session_.logText();
  ParsedLog log;
  expectSoundLog(text, log);
  const std::vector<std::string> calls = {
      "SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnectW",      "SQLAllocHandle", "SQLExecDirectW",
      "SQLExecDirectW", "SQLPrepareW",   "SQLExecute",     "SQLNumResultCols", "SQLFetch",       "SQLGetData",
      "SQLFetch",       "SQLGetInfoW",   "SQLFreeHandle",  "SQLDisconnect",    "SQLFreeHandle",  "SQLFreeHandle"};
  EXPECT_EQ(vrtest::recordNames(log.records, "ENTER"), calls);
  EXPECT_EQ(vrtest::recordNames(log.records, "EXIT"), calls);
  EXPECT_EQ(exitCodes(log.records, "SQLGetInfoW"), std::vector<int>{0});
}

// ---------------------------------------------------------------------------
// File names.
// ---------------------------------------------------------------------------

TEST_F(EndToEndTest, FileNamesCarryTheProcessIdAndTheCounter) {
  struct Case {
    std::vector<std::string> settings;
    std::string traceFile;
    std::string expected;  // "{pid}" stands for the client's process id
  };
  const Case kCases[] = {
      {{}, "SQL.LOG", "SQL_{pid}_01.LOG"},
      {{"TraceFilePerProcess=1"}, "SQL.LOG", "SQL_{pid}_01.LOG"},
      {{"TraceFilePerProcess=0"}, "SQL.LOG", "SQL_01.LOG"},
      {{"TraceFilePerProcess=01"}, "SQL.LOG", "SQL_01.LOG"},
      // The counter has as many digits as the number of files is written with.
      {{"ODBCTraceMaxNumFiles=3"}, "SQL.LOG", "SQL_{pid}_1.LOG"},
      {{"ODBCTraceMaxNumFiles=100"}, "SQL.LOG", "SQL_{pid}_001.LOG"},
      // No extension: "log".
      {{}, "trace", "trace_{pid}_01.log"},
      // The suffix goes before the last dot, the counter before the first,
      // and the extension keeps four characters.
      {{"TraceFilePerProcess=0"}, "a.b.log", "a01.b_.l"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.traceFile + " " + (c.settings.empty() ? "" : c.settings[0]));
    std::vector<std::string> lines = {"Trace=Yes", "TraceFile=" + session_.path(c.traceFile)};
    lines.insert(lines.end(), c.settings.begin(), c.settings.end());
    session_.writeOdbcIni(lines);
    const ClientRun run = session_.runClient({"connect=testdsn", "disconnect"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string expected = withPid(c.expected, run.pid);
    EXPECT_EQ(traceFiles(session_), std::vector<std::string>{expected});
    const std::string text = vrtest::readFile(session_.dir() / expected);
    EXPECT_EQ(vrtest::recordNames(vrtest::parseLog(text, exportTable()).records, "ENTER"),
              (std::vector<std::string>{"SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnect",
                                        "SQLDisconnect", "SQLFreeHandle", "SQLFreeHandle"}));
    for (const std::string& name : traceFiles(session_)) fs::remove(session_.dir() / name);
  }
}

// ---------------------------------------------------------------------------
// Rotation.
// ---------------------------------------------------------------------------

// The records of the log files of a rotation, oldest first: the files in
// counter order starting at `first`, wrapping around.
std::vector<std::string> wordsFrom(const std::vector<std::string>& texts, size_t first) {
  std::vector<std::string> words;
  for (size_t k = 0; k < texts.size(); ++k) {
    const std::string& text = texts[(first + k) % texts.size()];
    for (std::string& w : vrtest::recordWords(vrtest::parseLog(text, exportTable()).records)) {
      words.push_back(std::move(w));
    }
  }
  return words;
}

TEST_F(EndToEndTest, RotationMovesWholeRecordsToTheNextFilesAndWrapsToTheFirst) {
  struct Case {
    int calls;   // statements whose columns are counted
    bool wraps;  // more than ten files' worth of records
  };
  constexpr uint64_t kMaxBytes = 1024;  // ODBCTraceMaxFileSize=1
  const Case kCases[] = {{4, false}, {60, true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.calls) + " calls");
    session_.removeLogs();
    const std::vector<std::string> script = {"connect=testdsn", "prepare=SELECT 1", "repeat=" + std::to_string(c.calls),
                                             "numresultcols", "disconnect"};
    const std::vector<std::string> reference = referenceWords(script);
    ASSERT_FALSE(reference.empty());

    session_.writeOdbcIni(
        {"Trace=Yes", "TraceFile=" + session_.logPath(), "ODBCTraceMaxFileSize=1", "ODBCTraceMaxNumFiles=10"});
    const ClientRun run = session_.runClient(script);
    ASSERT_EQ(run.status, 0) << run.err;

    const std::vector<fs::path> files = session_.logFiles();
    ASSERT_GE(files.size(), 2u);
    ASSERT_LE(files.size(), 10u);
    std::vector<std::string> texts;
    for (size_t i = 0; i < files.size(); ++i) {
      // Files _01, _02, ... in turn; none beyond _10.
      char counter[32];
      std::snprintf(counter, sizeof counter, "_%02zu.LOG", i + 1);
      EXPECT_EQ(files[i].filename().string(), "SQL_" + std::to_string(run.pid) + counter);
      texts.push_back(vrtest::readFile(files[i]));
      // Each file whole records only, within the maximum unless it holds a
      // single record larger than that.
      const ParsedLog parsed = vrtest::parseLog(texts.back(), exportTable());
      EXPECT_EQ(parsed.error, "") << files[i];
      EXPECT_TRUE(texts.back().size() <= kMaxBytes || parsed.records.size() == 1)
          << files[i] << " holds " << texts.back().size() << " bytes";
    }

    if (!c.wraps) {
      EXPECT_LT(files.size(), 10u);
      EXPECT_EQ(wordsFrom(texts, 0), reference);
      continue;
    }
    // Wrapped: all ten files, the oldest records gone, and what is left is
    // the end of the session in order, from the file after the newest one.
    ASSERT_EQ(files.size(), 10u);
    size_t matches = 0;
    for (size_t first = 0; first < texts.size(); ++first) {
      const std::vector<std::string> words = wordsFrom(texts, first);
      if (words.size() < reference.size() && vrtest::endsWith(reference, words)) {
        ++matches;
        // The newest file is not the last one: the counter came back to 01.
        EXPECT_NE(first, 0u);
      }
    }
    EXPECT_EQ(matches, 1u);
  }
}

// The Driver Manager passes the file name, so the log is appended to: a
// second run keeps the first run's records before its own, until the
// rotation of that run comes round and replaces them.
TEST_F(EndToEndTest, ASecondRunAppendsToTheLogOfTheFirst) {
  const std::vector<std::string> script = {"connect=testdsn", "disconnect"};
  const std::vector<std::string> once = referenceWords(script);
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath(), "TraceFilePerProcess=0"});
  for (int i = 0; i < 2; ++i) ASSERT_EQ(session_.runClient(script).status, 0);
  EXPECT_EQ(session_.logNames(), std::vector<std::string>{"SQL_01.LOG"});
  const std::string text = session_.logText();
  EXPECT_EQ(vrtest::recordWords(vrtest::parseLog(text, exportTable()).records), twice);
}

// A maximum size of 0: every record is larger than the maximum, so the
// first file stays empty and each record has a file of its own.
TEST_F(EndToEndTest, MaximumSizeZeroGivesEachRecordAFileOfItsOwn) {
  const std::vector<std::string> script = {"connect=testdsn", "disconnect"};
  const std::vector<std::string> reference = referenceWords(script);
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath(), "TraceFilePerProcess=0",
                         "ODBCTraceMaxFileSize=0", "ODBCTraceMaxNumFiles=1000"});
  const ClientRun run = session_.runClient(script);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<fs::path> files = session_.logFiles();
  ASSERT_EQ(files.size(), reference.size() + 1);
  EXPECT_EQ(files[0].filename(), "SQL_0001.LOG");
  EXPECT_EQ(fs::file_size(files[0]), 0u);
  std::vector<std::string> words;
  for (size_t i = 1; i < files.size(); ++i) {
    const std::string text = vrtest::readFile(files[i]);
    const ParsedLog parsed = vrtest::parseLog(text, exportTable());
    EXPECT_EQ(parsed.error, "") << files[i];
    ASSERT_EQ(parsed.records.size(), 1u) << files[i];
    words.push_back(vrtest::recordWords(parsed.records)[0]);
  }
  EXPECT_EQ(words, reference);
}

// ---------------------------------------------------------------------------
// The memory-then-file mode.
// ---------------------------------------------------------------------------

TEST_F(EndToEndTest, MemoryThenFileModeWritesTheLogWhenTheProcessEnds) {
  const std::string mid = session_.path("mid");
  const std::string go = session_.path("go");
  const std::vector<std::string> script = {"connect=testdsn", "exec=SELECT 7", "fetch", "signal=" + mid,
                                           "waitfor=" + go,   "exec=SELECT 8", "fetch", "disconnect"};
  // The reference run goes through without waiting.
  std::ofstream(go).flush();
  const std::vector<std::string> reference = referenceWords(script);
  fs::remove(mid);
  fs::remove(go);

  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath(), "ODBCTraceMode=1"});
  const vrtest::StartedClient started = session_.startClient(script);
  ASSERT_NE(started.pid, 0);
  const bool reachedMid = vrtest::waitForFile(mid);
  // Halfway through: the file is there, and empty; the records are in memory.
  const fs::path log = session_.dir() / ("SQL_" + std::to_string(started.pid) + "_01.LOG");
  const bool logThere = fs::exists(log);
  const uintmax_t bytesAtMid = logThere ? fs::file_size(log) : 0;
  std::ofstream(go).flush();
  const ClientRun run = session_.wait(started);
  ASSERT_TRUE(reachedMid);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "7\n8\n");
  EXPECT_TRUE(logThere);
  EXPECT_EQ(bytesAtMid, 0u);

  EXPECT_EQ(session_.logFiles(), std::vector<fs::path>{log});
  const std::string text = session_.logText();
  ParsedLog parsed;
  expectSoundLog(text, parsed);
  EXPECT_EQ(vrtest::recordWords(parsed.records), reference);
}

// ---------------------------------------------------------------------------
// unixODBC's own application.
// ---------------------------------------------------------------------------

TEST_F(EndToEndTest, IsqlRunsAScriptTraced) {
  constexpr char kIsql[] = "/usr/bin/isql";
  if (!fs::exists(kIsql)) GTEST_SKIP() << "isql (unixodbc) is not installed";
  session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + session_.logPath()});
  const ClientRun run = session_.run(kIsql, {"-b", "-d|", "testdsn", "isqluser", "isql-secret"},
                                     "CREATE TABLE t(a INTEGER, b TEXT)\n"
                                     "INSERT INTO t VALUES(1, 'abc')\n"
                                     "SELECT a, b FROM t\n"
                                     "SELEKT 1\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n");
  EXPECT_NE(run.err.find("SQLExecute"), std::string::npos) << run.err;

  const std::string text = session_.logText();
  ParsedLog log;
  expectSoundLog(text, log);
  std::map<std::string, int> entered;
  for (const std::string& name : vrtest::recordNames(log.records, "ENTER")) ++entered[name];
  EXPECT_EQ(entered["SQLConnect"], 1);
  EXPECT_EQ(entered["SQLPrepare"], 4);
  EXPECT_EQ(entered["SQLDisconnect"], 1);
  EXPECT_EQ(exitCodes(log.records, "SQLExecute"), (std::vector<int>{0, 0, 0, -1}));
  EXPECT_EQ(exitCodes(log.records, "SQLFetch"), (std::vector<int>{0, 100}));
  const std::string thread = "pid=" + std::to_string(run.pid) + ":tid=";
  for (const LogRecord& r : log.records) ASSERT_EQ(r.thread.substr(0, thread.size()), thread);

  // What isql passed and got back, rendered; the password masked.
  EXPECT_EQ(text.find("isql-secret"), std::string::npos);
  const auto argumentsOf = [&log](const std::string& kind, const std::string& function, size_t occurrence) {
    std::vector<std::string> args;
    for (const LogRecord& r : log.records) {
      if (r.kind == kind && r.function == function && occurrence-- == 0) {
        args.assign(r.args.begin(), r.args.end());
        break;
      }
    }
    return args;
  };
  const std::vector<std::string> connect = argumentsOf("EXIT", "SQLConnect", 0);
  ASSERT_EQ(connect.size(), 7u);
  EXPECT_EQ(connect[1].substr(39), "[      -3] \"testdsn\\x00\"");
  EXPECT_EQ(connect[3].substr(39), "[      -3] \"isqluser\\x00\"");
  EXPECT_EQ(connect[5].substr(39), "[      -3] \"********\"");
  const std::vector<std::string> prepare = argumentsOf("ENTER", "SQLPrepare", 2);
  ASSERT_EQ(prepare.size(), 3u);
  EXPECT_EQ(prepare[1].substr(39), "[      -3] \"SELECT a, b FROM t\"");
  const std::vector<std::string> data = argumentsOf("EXIT", "SQLGetData", 1);
  ASSERT_EQ(data.size(), 6u);
  EXPECT_EQ(data[2], "SWORD                        1 <SQL_C_CHAR>");
  EXPECT_EQ(data[3].substr(39), "[       3] \"abc\"");
}

}  // namespace
