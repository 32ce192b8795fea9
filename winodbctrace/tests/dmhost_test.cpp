// The Driver Manager stand-in: what it exports, and an ODBC application
// traced through it against unixODBC and the SQLite driver.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export_table.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";

// ---------------------------------------------------------------------------
// Exports.
// ---------------------------------------------------------------------------

TEST(StandInExportsTest, ExportsExactlyTheOdbcFunctionsOfTheTable) {
  const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
  ASSERT_EQ(table.error, "");
  std::set<std::string> expected;
  for (const auto& e : table.exports) expected.insert(e.function);
  ASSERT_EQ(expected.size(), 116u);

  std::set<std::string> exported;
  for (const auto& symbol : vrtest::definedDynamicSymbols(VRDMHOST_LIBRARY)) {
    EXPECT_EQ(symbol.type, 'T') << symbol.name << " is not a function";
    exported.insert(symbol.name);
  }
  EXPECT_EQ(exported, expected);
}

// ---------------------------------------------------------------------------
// An application traced through the stand-in.
// ---------------------------------------------------------------------------

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct ClientRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A temporary ODBC set-up: the SQLite driver, a data source "testdsn" on a
// database file, and the section "ODBC" with the trace switches given.
class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vrdmhost_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ / "odbcinst.ini") << "[SQLite3]\nDescription=SQLite 3\nDriver=" << kSqliteDriver << "\n";
    ASSERT_TRUE(fs::exists(kSqliteDriver)) << "the SQLite ODBC driver is not installed";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Writes odbc.ini with these lines in its section "ODBC".
  void writeOdbcIni(const std::vector<std::string>& traceLines) {
    std::ofstream ini(dir_ / "odbc.ini");
    ini << "[ODBC]\n";
    for (const std::string& line : traceLines) ini << line << "\n";
    ini << "\n[testdsn]\nDriver=SQLite3\nDatabase=" << (dir_ / "test.db").string() << "\n";
  }
  std::string logPath() const { return (dir_ / "SQL.LOG").string(); }

  // Runs the client with the stand-in preloaded and this set-up's files.
  ClientRun runClient(const std::vector<std::string>& words) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string key = entry.substr(0, entry.find('='));
      if (key != "ODBCSYSINI" && key != "ODBCINI" && key != "HOME" && key != "LD_PRELOAD") env.push_back(entry);
    }
    const std::string runtime = VRTRACE_SANITIZER_RUNTIME;
    env.push_back("LD_PRELOAD=" + (runtime.empty() ? "" : runtime + " ") + VRDMHOST_LIBRARY);
    env.push_back("ODBCSYSINI=" + dir_.string());
    env.push_back("HOME=" + dir_.string());

    std::vector<std::string> args = {VRTRACE_ODBC_CLIENT};
    args.insert(args.end(), words.begin(), words.end());
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outPath = (dir_ / "client.out").string();
    const std::string errPath = (dir_ / "client.err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ClientRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return run;
  }

  // The trace logs in the directory (the library names its files after
  // "TraceFile", here SQL.LOG; the INFO side file is not among them).
  std::vector<fs::path> logFiles(const std::string& prefix = "SQL") const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.rfind(prefix, 0) == 0 && name.find("INFO") == std::string::npos) {
        files.push_back(entry.path());
      }
    }
    return files;
  }
  std::string logText() const {
    std::string text;
    for (const fs::path& file : logFiles()) text += readFile(file);
    return text;
  }

  fs::path dir_;
};

// The function names of the records of one kind ("ENTER" or "EXIT"), in
// the order written: the word is followed by the name on its header line.
std::vector<std::string> recordNames(const std::string& log, const std::string& kind) {
  std::vector<std::string> names;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string previous;
    for (std::string word; words >> word; previous = word) {
      if (previous == kind && word.rfind("SQL", 0) == 0) {
        names.push_back(word);
        break;
      }
    }
  }
  return names;
}

// The header line of the first record of a kind and function.
std::string headerLine(const std::string& log, const std::string& kind, const std::string& name) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string previous;
    for (std::string word; words >> word; previous = word) {
      if (previous == kind && word == name) return line;
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
  std::map<std::string, std::vector<std::string>> names;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string previous, thread;
    for (std::string word; words >> word; previous = word) {
      if (word.rfind("pid=", 0) == 0) thread = word;
      if (previous == kind && word.rfind("SQL", 0) == 0) {
        names[thread].push_back(word);
        break;
      }
    }
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
  const ClientRun run = runClient(kScript);
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
    const ClientRun run = runClient(c.script);
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
    const ClientRun run = runClient({"connect=testdsn", "exec=SELECT 7", "fetch", "disconnect"});
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
    const ClientRun run = runClient({"connect=testdsn", "disconnect"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(countNames(recordNames(logText(), "ENTER"))["SQLConnect"], 1);
  }
}

// A log that cannot be opened: the reason once on stderr, and the
// application runs untraced.
TEST_F(StandInTest, ReportsALogThatCannotOpenOnceAndRunsUntraced) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + (dir_ / "missing" / "SQL.LOG").string()});
  const ClientRun run = runClient(kScript);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1|abc\n");
  EXPECT_EQ(lineCount(run.err), 1) << run.err;
  EXPECT_GT(run.err.size(), 1u);
  EXPECT_TRUE(logFiles().empty());
}

TEST_F(StandInTest, ReportsATraceLibraryThatCannotLoadAndRunsUntraced) {
  const std::string missing = (dir_ / "libmissing.so").string();
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath(), "TraceDll=" + missing});
  const ClientRun run = runClient(kScript);
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
  const ClientRun run = runClient({"atexit=testdsn", "connect=testdsn", "exec=SELECT 7", "fetch", "disconnect"});
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
  const ClientRun run = runClient({"connect=testdsn", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<fs::path> logs = logFiles(stem);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(countNames(recordNames(readFile(logs[0]), "ENTER"))["SQLConnect"], 1);
}

// A trace library without an export leaves that function untraced.
TEST_F(StandInTest, LeavesFunctionsWithoutATraceExportUntraced) {
  writeOdbcIni({"Trace=Yes", "TraceFile=" + logPath(), "TraceDll=" VRTRACE_PARTIAL_LIBRARY});
  const ClientRun run = runClient(kScript);
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
  const ClientRun run = runClient({"threads=8", "connect=testdsn", "exec=SELECT a, b FROM t", "fetch", "disconnect"});
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

}  // namespace
