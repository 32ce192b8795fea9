// The Driver Manager stand-in: what it exports, and an ODBC application
// traced through it against unixODBC and the SQLite driver.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export_table.h"
#include "traced_session.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Exports.
// ---------------------------------------------------------------------------

// It takes unixODBC's place for any program: every symbol unixODBC's library
// defines, of the same kind (function or variable), and the ODBC functions
// of the table, nothing else.
TEST(StandInExportsTest, ExportsWhatUnixOdbcExportsAndTheTablesFunctions) {
  const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  ASSERT_EQ(table.error, "");
  std::map<std::string, char> expected;
  for (const auto& e : table.exports) expected[e.function] = 'T';
  ASSERT_EQ(expected.size(), 116u);
  for (const auto& symbol : vrtest::definedDynamicSymbols(VRDMHOST_UNIXODBC)) expected[symbol.name] = symbol.type;
  // And the process's quick ends, which close the log first.
  for (const char* end : {"_exit", "_Exit"}) expected[end] = 'T';

  std::map<std::string, char> exported;
  for (const auto& symbol : vrtest::definedDynamicSymbols(VRDMHOST_LIBRARY)) exported[symbol.name] = symbol.type;
  EXPECT_EQ(exported, expected);
}

// ---------------------------------------------------------------------------
// An application traced through the stand-in.
// ---------------------------------------------------------------------------

// A temporary ODBC set-up (see traced_session.h) for each test.
class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.usable()) << "no temporary folder, or the SQLite ODBC driver is not installed";
    dir_ = session_.dir();
  }

  void writeOdbcIni(const std::vector<std::string>& traceLines) { session_.writeOdbcIni(traceLines); }
  std::string logPath() const { return session_.logPath(); }
  vrtest::ClientRun runClient(const std::vector<std::string>& words) { return session_.runClient(words); }
  std::vector<fs::path> logFiles(const std::string& prefix = "SQL") const { return session_.logFiles(prefix); }
  std::string logText() const { return session_.logText(); }

  vrtest::TracedSession session_;
  fs::path dir_;
};

const vrtest::ExportTable& exportTable() {
  static const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  return table;
}

// The function names of the records of one kind ("ENTER" or "EXIT"), in
// the order written; a log that does not parse fails the test.
std::vector<std::string> recordNames(const std::string& log, const std::string& kind) {
  const vrtest::ParsedLog parsed = vrtest::parseLog(log, exportTable());
  EXPECT_EQ(parsed.error, "");
  return vrtest::recordNames(parsed.records, kind);
}

// The header line of the first record of a kind and function.
std::string headerLine(const std::string& log, const std::string& kind, const std::string& name) {
  for (const vrtest::LogRecord& r : vrtest::parseLog(log, exportTable()).records) {
    if (r.kind == kind && r.function == name) {
      const size_t start = log.find_first_not_of('\n', r.offset);
      return log.substr(start, log.find('\n', start) - start);
    }
  }
  return std::string();
}

std::map<std::string, int> countNames(const std::vector<std::string>& names) {
  std::map<std::string, int> counts;
  for (const std::string& name : names) ++counts[name];
  return counts;
}

// recordNames for each thread, by the "pid=...:tid=..." of the header.
std::map<std::string, std::vector<std::string>> recordNamesByThread(const std::string& log, const std::string& kind) {
  const vrtest::ParsedLog parsed = vrtest::parseLog(log, exportTable());
  EXPECT_EQ(parsed.error, "");
  std::map<std::string, std::vector<std::string>> names;
  for (const vrtest::LogRecord& r : parsed.records) {
    if (r.kind == kind) names[std::string(r.thread)].emplace_back(r.function);
  }
  return names;
}

int lineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

const std::vector<std::string> kScript = {
    "connect=testdsn", "exec=CREATE TABLE t(a INTEGER, b TEXT)", "exec=INSERT INTO t VALUES(1, 'abc')",
    "exec=SELECT a, b FROM t", "fetch", "disconnect"};
// The application's own calls for kScript, each traced once.
const std::vector<std::string> kScriptCalls = {
    "SQLAllocHandle", "SQLSetEnvAttr",    "SQLAllocHandle", "SQLConnect", "SQLAllocHandle",
    "SQLExecDirect",  "SQLExecDirect",    "SQLExecDirect",  "SQLNumResultCols", "SQLFetch",
    "SQLGetData",     "SQLGetData",       "SQLFetch",       "SQLFreeHandle",    "SQLDisconnect",
    "SQLFreeHandle",  "SQLFreeHandle"};

TEST_F(StandInTest, TracesEachCallOfTheApplicationOnce) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  const vrtest::ClientRun run = runClient(kScript);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n");
  EXPECT_EQ(run.err, "");

  const std::string log = logText();
  ASSERT_FALSE(logFiles().empty()) << "no trace log";
  EXPECT_EQ(recordNames(log, "ENTER"), kScriptCalls);
  EXPECT_EQ(recordNames(log, "EXIT"), kScriptCalls);
  EXPECT_NE(headerLine(log, "EXIT", "SQLConnect").find("with return code 0 (SQL_SUCCESS)"), std::string::npos)
      << log;
}

// unixODBC's SQLEndTran and SQLTransact call its SQLGetInfo through the
// exported name, which leads back to the stand-in; only the application's
// own calls are traced, whichever entry points it uses.
TEST_F(StandInTest, TracesNoCallsUnixOdbcMakesItself) {
  writeOdbcIni({"Trace=1", "TraceFile=" + logPath()});
  struct Case {
    std::vector<std::string> script;
    std::string rows;
    std::vector<std::string> calls;
  };
  const Case kCases[] = {
      {{"connect=testdsn", "commit", "transact", "disconnect"},
       "",
       {"SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnect", "SQLEndTran", "SQLTransact",
        "SQLDisconnect", "SQLFreeHandle", "SQLFreeHandle"}},
      {{"connect2=testdsn", "exec=SELECT 7", "fetch", "disconnect"},
       "7\n",
       {"SQLAllocEnv", "SQLAllocConnect", "SQLConnect", "SQLAllocHandle", "SQLExecDirect", "SQLNumResultCols",
        "SQLFetch", "SQLGetData", "SQLFetch", "SQLFreeHandle", "SQLDisconnect", "SQLFreeConnect", "SQLFreeEnv"}},
      {{"connectw=testdsn", "execw=SELECT 7", "fetch", "disconnect"},
       "7\n",
       {"SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnectW", "SQLAllocHandle", "SQLExecDirectW",
        "SQLNumResultCols", "SQLFetch", "SQLGetData", "SQLFetch", "SQLFreeHandle", "SQLDisconnect", "SQLFreeHandle",
        "SQLFreeHandle"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.script[0] + " " + c.script[1]);
    for (const fs::path& file : logFiles()) fs::remove(file);
    const vrtest::ClientRun run = runClient(c.script);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.rows);
    const std::string log = logText();
    EXPECT_EQ(recordNames(log, "ENTER"), c.calls);
    EXPECT_EQ(recordNames(log, "EXIT"), c.calls);
  }
}

TEST_F(StandInTest, TracesNothingWhenTraceIsOff) {
  const std::vector<std::string> kSwitches[] = {
      {"Trace=No", "TraceFile=" + logPath()},
      {"Trace=0", "TraceFile=" + logPath()},
      {"TraceFile=" + logPath()},
      {"Trace=Yess", "TraceFile=" + logPath()},
  };
  for (const auto& switches : kSwitches) {
    SCOPED_TRACE(switches[0]);
    writeOdbcIni(switches);
    const vrtest::ClientRun run = runClient({"connect=testdsn", "exec=SELECT 7", "fetch", "disconnect"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "7\n");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(logFiles().empty());
  }
}

TEST_F(StandInTest, SwitchesReadIgnoringCase) {
  for (const char* on : {"Trace=ON", "Trace=yes", "Trace=On"}) {
    SCOPED_TRACE(on);
    for (const fs::path& file : logFiles()) fs::remove(file);
    writeOdbcIni({on, "TraceFile=" + logPath()});
    const vrtest::ClientRun run = runClient({"connect=testdsn", "disconnect"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(countNames(recordNames(logText(), "ENTER"))["SQLConnect"], 1);
  }
}

// A log that cannot be opened: the reason once on stderr, and the
// application runs untraced.
TEST_F(StandInTest, ReportsALogThatCannotOpenOnceAndRunsUntraced) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + (dir_ / "missing" / "SQL.LOG").string()});
  const vrtest::ClientRun run = runClient(kScript);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n");
  EXPECT_EQ(lineCount(run.err), 1) << run.err;
  EXPECT_GT(run.err.size(), 1u);
  EXPECT_TRUE(logFiles().empty());
}

TEST_F(StandInTest, ReportsATraceLibraryThatCannotLoadAndRunsUntraced) {
  const std::string missing = (dir_ / "libmissing.so").string();
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath(), "TraceDll=" + missing});
  const vrtest::ClientRun run = runClient(kScript);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n");
  EXPECT_EQ(lineCount(run.err), 1) << run.err;
  EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
  EXPECT_TRUE(logFiles().empty());
}

// An exit handler of the application that runs after the stand-in closed
// the log: its calls reach unixODBC untraced, and the log keeps what was
// written before.
TEST_F(StandInTest, CallsAfterTheLogClosedAtExitRunUntraced) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  const vrtest::ClientRun run = runClient({"atexit=testdsn", "connect=testdsn", "exec=SELECT 7", "fetch", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "7\nlate\n");
  const std::vector<std::string> calls = {
      "SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnect", "SQLAllocHandle", "SQLExecDirect",
      "SQLNumResultCols", "SQLFetch", "SQLGetData", "SQLFetch", "SQLFreeHandle", "SQLDisconnect", "SQLFreeHandle",
      "SQLFreeHandle"};
  const std::string log = logText();
  EXPECT_EQ(recordNames(log, "ENTER"), calls);
  EXPECT_EQ(recordNames(log, "EXIT"), calls);
}

// The trace library names its log after "TraceFile", which the stand-in
// hands over as UTF-16 decoded from the UTF-8 of ODBC.INI.
TEST_F(StandInTest, PassesANonAsciiTraceFileAsUtf16) {
  const std::string stem = "journal \u00e9\u00fc \u20ac";
  writeOdbcIni({"Trace=Yes", "TraceFile=" + (dir_ / (stem + ".LOG")).string()});
  const vrtest::ClientRun run = runClient({"connect=testdsn", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<fs::path> logs = logFiles(stem);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(countNames(recordNames(vrtest::readFile(logs[0]), "ENTER"))["SQLConnect"], 1);
}

// A trace library without an export leaves that function untraced.
TEST_F(StandInTest, LeavesFunctionsWithoutATraceExportUntraced) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath(), "TraceDll=" VRTRACE_PARTIAL_LIBRARY});
  const vrtest::ClientRun run = runClient(kScript);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n");
  const std::vector<std::string> calls = {"SQLConnect", "SQLExecDirect", "SQLExecDirect", "SQLExecDirect"};
  const std::string log = logText();
  EXPECT_EQ(recordNames(log, "ENTER"), calls);
  EXPECT_EQ(recordNames(log, "EXIT"), calls);
}

// Threads that start at once wait for the first call's set-up; every call
// of every thread is traced once, with its EXIT record.
TEST_F(StandInTest, TracesCallsOfManyThreads) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  ASSERT_EQ(runClient({"connect=testdsn", "exec=CREATE TABLE t(a INTEGER, b TEXT)",
                       "exec=INSERT INTO t VALUES(1, 'abc')", "disconnect"})
                .status,
            0);
  for (const fs::path& file : logFiles()) fs::remove(file);

  constexpr int kThreads = 8;
  const vrtest::ClientRun run = runClient({"threads=8", "connect=testdsn", "exec=SELECT a, b FROM t", "fetch", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream rows(run.out);
  int rowCount = 0;
  for (std::string row; std::getline(rows, row); ++rowCount) EXPECT_EQ(row, "1|abc");
  EXPECT_EQ(rowCount, kThreads);
  const std::vector<std::string> oneThread = {
      "SQLAllocHandle", "SQLSetEnvAttr", "SQLAllocHandle", "SQLConnect", "SQLAllocHandle", "SQLExecDirect",
      "SQLNumResultCols", "SQLFetch", "SQLGetData", "SQLGetData", "SQLFetch", "SQLFreeHandle", "SQLDisconnect",
      "SQLFreeHandle", "SQLFreeHandle"};
  const std::map<std::string, std::vector<std::string>> enters = recordNamesByThread(logText(), "ENTER");
  const std::map<std::string, std::vector<std::string>> exits = recordNamesByThread(logText(), "EXIT");
  EXPECT_EQ(enters.size(), static_cast<size_t>(kThreads));
  for (const auto& [thread, names] : enters) EXPECT_EQ(names, oneThread) << thread;
  EXPECT_EQ(exits, enters);
}

// Children forked while other threads are inside the trace library exit.
TEST_F(StandInTest, ChildrenForkedWhileTracingExit) {
  if (*VRTRACE_SANITIZER_RUNTIME != '\0') {
    GTEST_SKIP() << "the sanitizers' runtime keeps its own locks held in a child forked while other threads run";
  }
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  const vrtest::ClientRun run = runClient({"forks=50"});
  EXPECT_EQ(run.status, 0) << run.err;
}

// ---------------------------------------------------------------------------
// Programs of every kind, however they load unixODBC: linked with it, as the
// dependency of an extension module loaded into a local scope (Python, Perl)
// or with RTLD_DEEPBIND (PHP), or opened by the program itself and bound
// function by function from that handle (Tcl).
// ---------------------------------------------------------------------------

constexpr char kPython[] = "/usr/bin/python3";
constexpr char kPerl[] = "/usr/bin/perl";
constexpr char kPhp[] = "/usr/bin/php";
constexpr char kTcl[] = "/usr/bin/tclsh";
using StandIn = vrtest::Launch::StandIn;
const vrtest::Launch kInterpreter{StandIn::kFolder, true};
const vrtest::Launch kPreloadedInterpreter{StandIn::kPreloaded, true};
const vrtest::Launch kDeepBindInterpreter{StandIn::kFolder, true, true};

// A program gets the same answers traced as untraced (errno included), and
// its log holds each call it made, with its EXIT, and none that unixODBC made
// itself (its SQLEndTran asks SQLGetInfo, which the test client and
// tdbc::odbc never call).
TEST_F(StandInTest, ProgramsOfEveryKindAnswerTheSameAndLogEveryCall) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  struct Case {
    const char* note;
    std::string program;
    std::vector<std::string> args;
    vrtest::Launch launch;
    std::map<std::string, int> exits;  // EXIT records of these calls
  };
  const Case kCases[] = {
      {"linked with unixODBC", VRTRACE_ODBC_CLIENT, {"connect=testdsn", "exec=SELECT 7", "fetch", "disconnect"},
       vrtest::Launch(), {{"SQLConnect", 1}, {"SQLExecDirect", 1}, {"SQLFetch", 2}}},
      {"linked, stand-in preloaded", VRTRACE_ODBC_CLIENT, {"connect=testdsn", "exec=SELECT 8", "fetch", "commit", "disconnect"},
       {StandIn::kPreloaded}, {{"SQLConnect", 1}, {"SQLEndTran", 1}, {"SQLGetInfo", 0}}},
      {"pyodbc: four threads' sessions", kPython, {VRTRACE_PYODBC_SESSION, dir_.string()}, kInterpreter,
       {{"SQLDriverConnectW", 4}, {"SQLExecute", 20}, {"SQLEndTran", 8}}},
      {"pyodbc, stand-in preloaded", kPython, {VRTRACE_PYODBC_SESSION, dir_.string()}, kPreloadedInterpreter,
       {{"SQLDriverConnectW", 4}, {"SQLExecute", 20}, {"SQLEndTran", 8}}},
      {"DBI: errno after a failed statement", kPerl, {VRTRACE_DBI_ERRNO}, kInterpreter,
       {{"SQLDriverConnect", 1}, {"SQLExecDirect", 1}}},
      {"PHP odbc_*", kPhp, {VRTRACE_PHP_SESSION, "odbc"}, kDeepBindInterpreter,
       {{"SQLConnect", 1}, {"SQLExecDirect", 4}, {"SQLExecute", 3}, {"SQLTransact", 2}}},
      {"PHP PDO_ODBC", kPhp, {VRTRACE_PHP_SESSION, "pdo"}, kDeepBindInterpreter,
       {{"SQLConnect", 1}, {"SQLPrepare", 3}, {"SQLExecute", 4}, {"SQLEndTran", 2}}},
      {"Tcl tdbc::odbc", kTcl, {VRTRACE_TDBC_SESSION}, kInterpreter,
       {{"SQLDriverConnectW", 1}, {"SQLPrepareW", 7}, {"SQLExecute", 6}, {"SQLEndTran", 1}, {"SQLGetInfo", 0}}},
      // Preloaded, the stand-in sees only unixODBC's own calls.
      {"Tcl, stand-in preloaded", kTcl, {VRTRACE_TDBC_SESSION}, kPreloadedInterpreter, {{"SQLGetInfo", 0}}},
  };
  std::set<std::string> absent;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    if (!fs::exists(c.program)) {
      absent.insert(c.program);
      continue;
    }
    session_.removeLogs();
    // Untraced, unixODBC's installer library goes with the driver at
    // disconnect and leaves what it cached, which the leak check would report.
    const vrtest::ClientRun untraced = session_.run(c.program, c.args, "", {StandIn::kNone, true});
    ASSERT_EQ(untraced.status, 0) << untraced.err;
    ASSERT_FALSE(untraced.out.empty());
    const vrtest::ClientRun traced = session_.run(c.program, c.args, "", c.launch);
    EXPECT_EQ(traced.status, 0) << traced.err;
    EXPECT_EQ(traced.out, untraced.out);

    const std::string log = logText();
    const vrtest::ParsedLog parsed = vrtest::parseLog(log, exportTable());
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(vrtest::checkEnterExitPairs(parsed.records), "");
    std::map<std::string, int> exits = countNames(vrtest::recordNames(parsed.records, "EXIT"));
    for (const auto& [name, count] : c.exits) EXPECT_EQ(exits[name], count) << name;
  }
  if (!absent.empty()) GTEST_SKIP() << "not installed (scripts/install-deps.sh installs them): " << testing::PrintToString(absent);
}

// A process with the stand-in preloaded that reaches the ODBC functions
// without having loaded unixODBC (ctypes, through the global scope) gets
// unixODBC's answer.
TEST_F(StandInTest, LoadsUnixOdbcWhenNothingHasLoadedIt) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  const std::string script =
      "import ctypes\n"
      "alloc = ctypes.CDLL(None).SQLAllocHandle\n"
      "alloc.restype = ctypes.c_short\n"
      "env = ctypes.c_void_p()\n"
      "print(alloc(1, None, ctypes.byref(env)), env.value is not None)\n";
  const vrtest::ClientRun run = session_.run(kPython, {"-c", script}, "", kPreloadedInterpreter);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0 True\n");
  EXPECT_EQ(recordNames(logText(), "EXIT"), std::vector<std::string>{"SQLAllocHandle"});
}

TEST_F(StandInTest, TracesAPyodbcSessionOfFourThreads) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath()});
  const vrtest::ClientRun run = session_.run(kPython, {VRTRACE_PYODBC_SESSION, dir_.string()}, "", kInterpreter);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string log = logText();
  const vrtest::ParsedLog parsed = vrtest::parseLog(log, exportTable());
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(vrtest::checkEnterExitPairs(parsed.records), "");

  // Calls each thread made, by their EXIT records: the connect, parameters
  // of executemany, a fetch and the failing statement.
  const std::pair<std::string, int> kEachThread[] = {
      {"SQLDriverConnectW", 0}, {"SQLBindParameter", 0}, {"SQLExecute", 0}, {"SQLFetch", 0}, {"SQLExecDirectW", -1}};
  std::map<std::string, std::set<std::pair<std::string, int>>> exits;
  for (const vrtest::LogRecord& r : parsed.records) {
    if (r.kind == "EXIT") exits[std::string(r.thread)].emplace(r.function, r.returnCode);
  }
  EXPECT_EQ(exits.size(), 4u);
  for (const auto& [thread, calls] : exits) {
    for (const auto& call : kEachThread) EXPECT_EQ(calls.count(call), 1u) << thread << " " << call.first;
  }
  EXPECT_EQ(log.find("secret"), std::string::npos);
  EXPECT_NE(log.find("PWD=********"), std::string::npos);
}

}  // namespace
