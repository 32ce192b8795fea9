// The INFO side file end to end: the test client connects through unixODBC
// and the SQLite driver with the Driver Manager stand-in in front of it, and the
// INFO file that libvrtrc28.so wrote beside the log is read back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#if defined(VRDMHOST_LIBRARY) && defined(VRTRACE_ODBC_CLIENT)

#include "core_test_util.h"
#include "traced_session.h"

namespace {

namespace fs = std::filesystem;
using coretest::countOf;
using coretest::isInfoTimeLine;
using coretest::linesOf;
using vrtest::ClientRun;

constexpr std::string_view kBanner = "***************** Environment Variables ****************\n";
constexpr std::string_view kEndBanner = "***************** End of Environment Variables ****************\n";

// The lines of the client's output ("SQLite", "3.39.3", ...).
std::vector<std::string> outputLines(const std::string& out) {
  std::vector<std::string> lines;
  for (std::string line : linesOf(out)) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class InfoEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.usable()) << "no temporary folder, or the SQLite ODBC driver is not installed";
  }

  void trace(const std::string& traceFile) { session_.writeOdbcIni({"Trace=Yes", "TraceFile=" + traceFile}); }

  std::string info(const std::string& name = "SQLINFO.LOG") const { return vrtest::readFile(session_.dir() / name); }

  vrtest::TracedSession session_;
};

TEST_F(InfoEndToEndTest, DriverConnectWritesTheFactsThenTheEnvironment) {
  trace(session_.logPath());
  // A password in the connection string: the INFO file holds no connection
  // strings, so it cannot show it.
  const ClientRun run = session_.runClient({"driverconnect=DSN=testdsn;UID=vruser;PWD=vr-secret-pwd", "getinfo=17",
                                            "getinfo=18", "getinfo=6", "getinfo=7", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  // What the application itself reads of the same connection.
  const std::vector<std::string> facts = outputLines(run.out);
  ASSERT_EQ(facts.size(), 4u) << run.out;
  EXPECT_EQ(facts[0], "SQLite");

  const std::string text = info();
  const std::vector<std::string> lines = linesOf(text);
  ASSERT_GE(lines.size(), 8u) << text;
  EXPECT_TRUE(isInfoTimeLine(lines[0])) << lines[0];
  EXPECT_EQ(lines[1], "SQL_DBMS_NAME: SQLite\r\n");
  EXPECT_EQ(lines[2], "SQL_DBMS_VER: " + facts[1] + "\r\n");
  EXPECT_EQ(lines[3], "SQL_DRIVER_NAME: " + facts[2] + "\r\n");
  EXPECT_EQ(lines[4], "SQL_DRIVER_VER: " + facts[3] + "\r\n");
  // One of the isolation levels' bits (SQL_TXN_READ_UNCOMMITTED to
  // SQL_TXN_SERIALIZABLE).
  const std::string isolation = "SQL_DEFAULT_TXN_ISOLATION: ";
  ASSERT_EQ(lines[5].substr(0, isolation.size()), isolation);
  const int level = std::atoi(lines[5].c_str() + isolation.size());
  EXPECT_TRUE(level == 1 || level == 2 || level == 4 || level == 8) << lines[5];

  // Then the client's environment, as it is, and nothing after it.
  EXPECT_EQ(lines[6], kBanner);
  EXPECT_EQ(lines.back(), kEndBanner);
  EXPECT_EQ(countOf(text, kBanner), 1u);
  EXPECT_EQ(countOf(text, "vr-secret-pwd"), 0u);
  EXPECT_EQ(countOf(text, "vruser"), 0u);
  EXPECT_EQ(countOf(text, "\nODBCSYSINI=" + session_.dir().string() + "\n"), 1u);
  EXPECT_EQ(countOf(text, "\nHOME=" + session_.dir().string() + "\n"), 1u);
  for (const std::string& entry : vrtest::standInEnvironment(vrtest::Launch())) {
    EXPECT_EQ(countOf(text, "\n" + entry + "\n"), 1u) << entry;
  }
  const char* path = std::getenv("PATH");
  if (path != nullptr) {
    EXPECT_EQ(countOf(text, "\nPATH=" + std::string(path) + "\n"), 1u);
  }

  // The facts were asked of unixODBC itself: the log holds only the
  // client's own SQLGetInfo calls.
  EXPECT_EQ(countOf(session_.logText(), "ENTER SQLGetInfo"), 4u);
}

TEST_F(InfoEndToEndTest, EveryConnectCallAddsItsEntries) {
  struct Case {
    std::vector<std::string> script;
    size_t facts;         // entries of facts
    size_t environments;  // entries of the environment
  };
  const Case kCases[] = {
      {{"connect=testdsn", "disconnect"}, 1, 1},
      {{"connectw=testdsn", "disconnect"}, 1, 1},
      {{"connect2=testdsn", "disconnect"}, 1, 1},
      // A failed connect: the environment alone.
      {{"?driverconnect=DSN=nosuchdsn"}, 0, 1},
      {{"?connect=nosuchdsn"}, 0, 1},
      {{"driverconnect=DSN=testdsn", "disconnect", "?connectw=nosuchdsn", "connect=testdsn", "disconnect"}, 2, 3},
      // No connect call: no INFO file.
      {{"getinfo=17"}, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.script.front());
    trace(session_.logPath());
    const ClientRun run = session_.runClient(c.script);
    const std::string text = info();
    EXPECT_EQ(countOf(text, "SQL_DBMS_NAME: SQLite\r\n"), c.facts) << run.err;
    EXPECT_EQ(countOf(text, "SQL_DEFAULT_TXN_ISOLATION: "), c.facts);
    EXPECT_EQ(countOf(text, kBanner), c.environments);
    EXPECT_EQ(countOf(text, kEndBanner), c.environments);
    if (c.facts == 0 && c.environments != 0) {
      // Nothing but the environment block.
      EXPECT_EQ(text.substr(0, kBanner.size()), kBanner);
      EXPECT_EQ(countOf(text, "\r"), 0u);
    }
    if (c.environments == 0) {
      EXPECT_FALSE(fs::exists(session_.dir() / "SQLINFO.LOG"));
    }
    fs::remove(session_.dir() / "SQLINFO.LOG");
    session_.removeLogs();
  }
}

TEST_F(InfoEndToEndTest, TheInfoFileIsNamedAfterTraceFile) {
  fs::create_directory(session_.dir() / "logs.old");
  struct Case {
    std::string traceFile;  // below the session's folder
    std::string info;
  };
  const Case kCases[] = {
      {"SQL.LOG", "SQLINFO.LOG"},
      {"trace", "traceINFO"},
      {"a.b.log", "a.bINFO.log"},
      // A dot in a directory is no extension: the file goes beside the log.
      {"logs.old/trace", "logs.old/traceINFO"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.traceFile);
    trace(session_.path(c.traceFile));
    const ClientRun run = session_.runClient({"?driverconnect=DSN=nosuchdsn"});
    EXPECT_EQ(countOf(info(c.info), kBanner), 1u);
    fs::remove(session_.dir() / c.info);
    session_.removeLogs();
  }
}

TEST_F(InfoEndToEndTest, EmptyTraceFileWritesBesideTheDefaultLog) {
  // The client inherits TMPDIR: the default log and its INFO file go there.
  const char* saved = std::getenv("TMPDIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  const fs::path tmp = session_.dir() / "tmp";
  fs::create_directory(tmp);
  setenv("TMPDIR", tmp.c_str(), 1);
  session_.writeOdbcIni({"Trace=Yes", "TraceFile="});
  const ClientRun run = session_.runClient({"connect=testdsn", "disconnect"});
  if (saved != nullptr) {
    setenv("TMPDIR", savedValue.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string text = vrtest::readFile(tmp / "SQLINFO.LOG");
  EXPECT_EQ(countOf(text, "SQL_DBMS_NAME: SQLite\r\n"), 1u);
  EXPECT_EQ(countOf(text, "\nTMPDIR=" + tmp.string() + "\n"), 1u);
}

TEST_F(InfoEndToEndTest, AnInfoFileThatCannotBeOpenedLeavesTheSessionAlone) {
  // A directory in the file's place.
  fs::create_directory(session_.dir() / "SQLINFO.LOG");
  trace(session_.logPath());
  const ClientRun run = session_.runClient({"driverconnect=DSN=testdsn", "exec=SELECT 1", "fetch", "disconnect"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1\n");
  EXPECT_TRUE(run.err.empty()) << run.err;
  EXPECT_EQ(countOf(session_.logText(), "EXIT  SQLDriverConnect"), 1u);
  EXPECT_TRUE(fs::is_empty(session_.dir() / "SQLINFO.LOG"));
}

// The test's environment cut down to what the clients need (the programs'
// search path and the sanitizers' options), restored at the end of the scope.
class SmallEnvironment {
 public:
  SmallEnvironment() {
    for (char** e = environ; *e != nullptr; ++e) saved_.emplace_back(*e);
    clearenv();
    for (const std::string& entry : saved_) {
      const std::string name = entry.substr(0, entry.find('='));
      if (name == "PATH" || name.find("SAN_OPTIONS") != std::string::npos) set(entry);
    }
  }
  ~SmallEnvironment() {
    clearenv();
    for (const std::string& entry : saved_) set(entry);
  }
  SmallEnvironment(const SmallEnvironment&) = delete;
  SmallEnvironment& operator=(const SmallEnvironment&) = delete;

  static void set(const std::string& entry) {
    const size_t equals = entry.find('=');
    if (equals != std::string::npos && equals != 0) {
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
  }

 private:
  std::vector<std::string> saved_;
};

class InfoConcurrencyTest : public InfoEndToEndTest {
 protected:
  static constexpr int kClients = 3;
  static constexpr int kConnects = 10;  // on each of two threads

  // Starts the clients at once, each with its own VRTRACE_CLIENT=<i> and
  // `extra` in a small environment, and waits for them; the INFO file's
  // lines, and in `known` every environment line a client could write.
  // unixODBC's own data source lookup is not safe for threads that connect
  // at once: now and then a process gets IM002 for the data source on
  // every connect, traced or not. Such a round is run again, twice at most.
  std::vector<std::string> connectAtOnce(const std::string& extra, std::set<std::string>& known) {
    trace(session_.logPath());
    std::vector<std::string> script = {"threads=2"};
    for (int i = 0; i < kConnects; ++i) {
      script.push_back("driverconnect=DSN=testdsn");
      script.push_back("disconnect");
    }
    for (int round = 0;; ++round) {
      std::vector<vrtest::StartedClient> clients;
      {
        SmallEnvironment small;
        if (!extra.empty()) SmallEnvironment::set(extra);
        for (int i = 0; i < kClients; ++i) {
          setenv("VRTRACE_CLIENT", std::to_string(i).c_str(), 1);
          for (char** e = environ; *e != nullptr; ++e) known.insert(std::string(*e) + "\n");
          clients.push_back(session_.startClient(script));
        }
      }
      std::vector<ClientRun> runs;
      bool lookupFailed = false;
      for (const vrtest::StartedClient& client : clients) {
        runs.push_back(session_.wait(client));
        lookupFailed |= runs.back().status != 0 && runs.back().err.find("IM002") != std::string::npos;
      }
      if (lookupFailed && round < 2) {
        session_.removeLogs();
        fs::remove(session_.dir() / "SQLINFO.LOG");
        continue;
      }
      for (const ClientRun& run : runs) EXPECT_EQ(run.status, 0) << run.err;
      break;
    }
    for (const std::string& entry : vrtest::standInEnvironment(vrtest::Launch())) known.insert(entry + "\n");
    known.insert("ODBCSYSINI=" + session_.dir().string() + "\n");
    known.insert("HOME=" + session_.dir().string() + "\n");
    return linesOf(info());
  }

  // Every facts entry is whole (a time line and five facts) and every other
  // line is a banner or an environment line a client had; the counts.
  void expectWholeFactsAndLines(const std::vector<std::string>& lines, const std::set<std::string>& known,
                                std::map<std::string, size_t>& counts) {
    for (size_t i = 0; i < lines.size();) {
      SCOPED_TRACE("line " + std::to_string(i));
      if (isInfoTimeLine(lines[i])) {
        ASSERT_LE(i + 6, lines.size());
        EXPECT_EQ(lines[i + 1], "SQL_DBMS_NAME: SQLite\r\n");
        EXPECT_EQ(lines[i + 2].rfind("SQL_DBMS_VER: ", 0), 0u);
        EXPECT_EQ(lines[i + 3].rfind("SQL_DRIVER_NAME: ", 0), 0u);
        EXPECT_EQ(lines[i + 4].rfind("SQL_DRIVER_VER: ", 0), 0u);
        EXPECT_EQ(lines[i + 5].rfind("SQL_DEFAULT_TXN_ISOLATION: ", 0), 0u);
        ++counts["facts"];
        i += 6;
        continue;
      }
      ASSERT_TRUE(lines[i] == kBanner || lines[i] == kEndBanner || known.count(lines[i]) != 0)
          << lines[i].substr(0, 100);
      ++counts[lines[i]];
      ++i;
    }
  }
};

TEST_F(InfoConcurrencyTest, ClientsConnectingAtOnceAppendWholeEntries) {
  std::set<std::string> known;
  const std::vector<std::string> lines = connectAtOnce("", known);
  std::map<std::string, size_t> counts;
  expectWholeFactsAndLines(lines, known, counts);
  constexpr size_t kEntries = size_t{kClients} * 2 * kConnects;
  EXPECT_EQ(counts["facts"], kEntries);
  EXPECT_EQ(counts[std::string(kBanner)], kEntries);

  // An environment this small goes in one write: every block is whole and
  // holds one client's lines alone.
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != kBanner) continue;
    SCOPED_TRACE("block at line " + std::to_string(i));
    size_t clientsSeen = 0;
    size_t end = i + 1;
    for (; end < lines.size() && lines[end] != kEndBanner; ++end) {
      ASSERT_TRUE(known.count(lines[end]) != 0) << lines[end];
      if (lines[end].rfind("VRTRACE_CLIENT=", 0) == 0) ++clientsSeen;
    }
    ASSERT_LT(end, lines.size());
    EXPECT_EQ(clientsSeen, 1u);
    i = end;
  }
}

TEST_F(InfoConcurrencyTest, EnvironmentsLongerThanOneWriteKeepTheirLinesWhole) {
  const std::string big = "VRTRACE_BIG=" + std::string(6000, 'b');
  std::set<std::string> known;
  const std::vector<std::string> lines = connectAtOnce(big, known);
  std::map<std::string, size_t> counts;
  expectWholeFactsAndLines(lines, known, counts);
  constexpr size_t kEntries = size_t{kClients} * 2 * kConnects;
  EXPECT_EQ(counts["facts"], kEntries);
  EXPECT_EQ(counts[std::string(kBanner)], kEntries);
  EXPECT_EQ(counts[std::string(kEndBanner)], kEntries);
  EXPECT_EQ(counts[big + "\n"], kEntries);
  EXPECT_EQ(counts["VRTRACE_CLIENT=0\n"], size_t{2} * kConnects);
}

}  // namespace

#else

// The session tests need the paths of the trace library, the stand-in and the
// test client: this test is listed among the session tests of
// winodbctrace/CMakeLists.txt (VRTRACE_SESSION_TESTS).
TEST(InfoEndToEndTest, BuiltWithTheSessionPaths) {
  FAIL() << "vrtrace_info_e2e_test is not among VRTRACE_SESSION_TESTS in winodbctrace/CMakeLists.txt";
}

#endif
