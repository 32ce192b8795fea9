// The INFO side file: its name, the facts entry (from a Driver Manager that
// tests answer for, and from unixODBC with the SQLite driver), the
// environment entry, the entries TraceReturn adds after connect calls, and
// two processes appending at once.
// Longer than our files usually are: the cases share the fake
// Driver Manager and the one fixture that resets the trace state.

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core_test_util.h"
#include "info_file.h"
#include "julib/errors.h"
#include "julib/threads.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/process.h"

extern char** environ;

using coretest::check;
using coretest::countOf;
using coretest::isInfoTimeLine;
using coretest::linesOf;
using coretest::readFile;
using coretest::setSetting;
using coretest::TempDir;

namespace {

constexpr char kSqliteDriver[] = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
constexpr std::string_view kBanner = "***************** Environment Variables ****************\n";
constexpr std::string_view kEndBanner = "***************** End of Environment Variables ****************\n";

// ---------------------------------------------------------------------------
// A Driver Manager the tests answer for.
// ---------------------------------------------------------------------------

struct FakeAnswers {
  std::map<uint16_t, std::string> texts = {{17, "FakeDB"}, {18, "01.02.0003"}, {6, "fakedrv.so"}, {7, "04.05"}};
  uint32_t isolation = 8;
  // Info type -> the code SQLGetInfo returns (0 when not named); with 1
  // (SQL_SUCCESS_WITH_INFO) the answer is given too.
  std::map<uint16_t, int16_t> returnCodes;
  int16_t diagRc = 0;
  std::string state = "HY096";
  std::string message = "[Fake]Information type out of range";
  int32_t nativeError = 42;
  std::vector<void*> connections;  // as SQLGetInfo was given them
  std::vector<uint16_t> asked;
};

FakeAnswers& fake() {
  static FakeAnswers answers;
  return answers;
}

int16_t fakeGetInfo(void* connection, uint16_t infoType, void* value, int16_t valueBytes, int16_t* length) {
  FakeAnswers& f = fake();
  f.connections.push_back(connection);
  f.asked.push_back(infoType);
  if (length != nullptr) return -1;  // the writer never asks for the length
  const auto named = f.returnCodes.find(infoType);
  const int16_t rc = named != f.returnCodes.end() ? named->second : 0;
  if (rc != 0 && rc != 1) return rc;
  if (infoType == 26) {
    if (valueBytes < 4) return -1;
    std::memcpy(value, &f.isolation, sizeof f.isolation);
    return rc;
  }
  const std::string& text = f.texts[infoType];
  if (static_cast<size_t>(valueBytes) <= text.size()) return -1;
  std::memcpy(value, text.c_str(), text.size() + 1);
  return rc;
}

int16_t fakeGetDiagRec(int16_t handleType, void*, int16_t record, unsigned char* state, int32_t* nativeError,
                       unsigned char* message, int16_t messageBytes, int16_t*) {
  const FakeAnswers& f = fake();
  if (handleType != 2 || record != 1) return -1;
  if (f.diagRc != 0) return f.diagRc;
  std::memcpy(state, f.state.c_str(), 6);
  *nativeError = f.nativeError;
  const size_t n = f.message.size() < static_cast<size_t>(messageBytes) ? f.message.size() : messageBytes - 1;
  std::memcpy(message, f.message.data(), n);
  message[n] = 0;
  return 0;
}

const TraceDriverManager kFakeManager = {fakeGetInfo, fakeGetDiagRec};
const TraceDriverManager kUnboundManager = {nullptr, nullptr};

// ---------------------------------------------------------------------------
// Reading entries back.
// ---------------------------------------------------------------------------

std::string timeText(const platform::LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.\r\n", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// The environment entry this process writes now.
std::string environmentEntry() {
  std::string entry(kBanner);
  for (char** e = environ; *e != nullptr; ++e) entry += std::string(*e) + "\n";
  return entry + std::string(kEndBanner);
}

// The facts entry of the fake's answers, after its time line.
std::string fakeFacts() {
  FakeAnswers& f = fake();
  return "SQL_DBMS_NAME: " + f.texts[17] + "\r\nSQL_DBMS_VER: " + f.texts[18] + "\r\nSQL_DRIVER_NAME: " + f.texts[6] +
         "\r\nSQL_DRIVER_VER: " + f.texts[7] + "\r\nSQL_DEFAULT_TXN_ISOLATION: " + std::to_string(f.isolation) + "\r\n";
}

// ---------------------------------------------------------------------------
// Fixture: the fake Driver Manager, "TraceFile" in a fresh folder.
// ---------------------------------------------------------------------------

class InfoFileTest : public coretest::TraceCoreTest {
 protected:
  void SetUp() override {
    coretest::TraceCoreTest::SetUp();
    fake() = FakeAnswers();
    TraceSetDriverManagerForTesting(&kFakeManager);
    setSetting("TraceFile", dir_ / "SQL.LOG");
  }
  void TearDown() override {
    TraceSetDriverManagerForTesting(nullptr);
    coretest::TraceCoreTest::TearDown();
  }

  std::string info() const { return readFile(dir_ / "SQLINFO.LOG"); }

  TempDir dir_;
};

// ---------------------------------------------------------------------------
// The name.
// ---------------------------------------------------------------------------

TEST(InfoFileNameTest, InfoGoesBeforeTheExtensionOrAfterTheName) {
  struct Row {
    const char* traceName;
    const char* expected;  // null: refused
  };
  const Row rows[] = {
      {"logs\\SQL.LOG", "logs\\SQLINFO.LOG"},
      {"/var/log/SQL.LOG", "/var/log/SQLINFO.LOG"},
      {"SQL.LOG", "SQLINFO.LOG"},
      {"a.b.log", "a.bINFO.log"},
      {"SQL.", "SQLINFO."},
      // No extension: after the name, whatever dots the directories hold.
      {"logs\\trace", "logs\\traceINFO"},
      {"logs.old\\trace", "logs.old\\traceINFO"},
      {"logs.old/trace", "logs.old/traceINFO"},
      {"x.y/z.w\\trace", "x.y/z.w\\traceINFO"},
      {"logs.old/t.log", "logs.old/tINFO.log"},
      // A leading dot starts a hidden name, not an extension.
      {".log", ".logINFO"},
      {"logs/.log", "logs/.logINFO"},
      {"logs/.a.log", "logs/.aINFO.log"},
      // No file part: no file of its own to write beside.
      {"", nullptr},
      {"logs/", nullptr},
      {"logs\\", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.traceName);
    char out[64] = "unchanged";
    const int rc = TraceInfoFileName(row.traceName, out, sizeof out);
    if (row.expected == nullptr) {
      EXPECT_EQ(rc, 1);
      EXPECT_STREQ(out, "");
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_STREQ(out, row.expected);
    }
  }
}

TEST(InfoFileNameTest, NameMustFitWholeOrIsRefused) {
  const std::string name = "logs/SQL.LOG";  // 12 bytes, 16 with INFO, 17 with the NUL
  struct Row {
    size_t size;
    int rc;
  };
  const Row rows[] = {{0, 1}, {1, 1}, {16, 1}, {17, 0}, {18, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    char out[32];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(TraceInfoFileName(name.c_str(), out, row.size), row.rc);
    if (row.rc == 0) {
      EXPECT_STREQ(out, "logs/SQLINFO.LOG");
    } else {
      // Emptied, or untouched when there is no room at all.
      EXPECT_EQ(out[0], row.size == 0 ? 'x' : '\0');
    }
  }
  char out[8];
  EXPECT_EQ(TraceInfoFileName(nullptr, out, sizeof out), 1);
  EXPECT_EQ(TraceInfoFileName(name.c_str(), nullptr, 0), 1);
}

// "TraceFile" of up to 260 bytes names the INFO file; a longer one (which
// opens no log either) is refused rather than cut to another name.
TEST_F(InfoFileTest, TraceFileOf260BytesIsUsedAndLongerIsRefused) {
  const std::string dir = dir_.path() + "/";
  for (size_t length : {size_t{260}, size_t{261}, size_t{300}}) {
    SCOPED_TRACE(length);
    const std::string traceFile = dir + std::string(length - dir.size() - 4, 'n') + ".log";
    ASSERT_EQ(traceFile.size(), length);
    setSetting("TraceFile", traceFile);
    TraceWriteEnvironment();
    const std::vector<std::string> entries = dir_.entries();
    if (length <= 260) {
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(dir + entries[0], traceFile.substr(0, length - 4) + "INFO.log");
      std::filesystem::remove(dir + entries[0]);
    } else {
      EXPECT_TRUE(entries.empty());
    }
  }
}

// Saves and restores an environment variable and the current directory.
class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name), cwd_(std::filesystem::current_path()) {
    const char* value = std::getenv(name);
    had_ = value != nullptr;
    if (had_) value_ = value;
  }
  ~EnvironmentGuard() {
    if (had_) {
      setenv(name_, value_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
    std::filesystem::current_path(cwd_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string value_;
  std::filesystem::path cwd_;
};

TEST_F(InfoFileTest, EmptyTraceFileMeansTheDefaultLogName) {
  EnvironmentGuard guard("TMPDIR");
  setenv("TMPDIR", dir_.path().c_str(), 1);
  setSetting("TraceFile", "");
  char defaultName[300];
  ASSERT_EQ(TraceDefaultLogName(defaultName, sizeof defaultName), dir_.path().size() + 8);
  EXPECT_EQ(std::string(defaultName), dir_ / "SQL.LOG");
  TraceWriteEnvironment();
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"SQLINFO.LOG"});
}

TEST_F(InfoFileTest, DefaultNameThatDoesNotFitWritesNothing) {
  EnvironmentGuard guard("TMPDIR");
  TempDir cwd;
  std::filesystem::current_path(cwd.path());
  // A temporary directory too long for the name's room: no shorter name
  // (such as SQLINFO.LOG below the current directory) takes its place.
  setenv("TMPDIR", (dir_.path() + "/" + std::string(280, 'd')).c_str(), 1);
  setSetting("TraceFile", "");
  char defaultName[283];
  EXPECT_EQ(TraceDefaultLogName(defaultName, sizeof defaultName), 0u);
  EXPECT_STREQ(defaultName, "");
  TraceWriteEnvironment();
  EXPECT_TRUE(cwd.entries().empty());
  EXPECT_TRUE(dir_.entries().empty());
}

// ---------------------------------------------------------------------------
// The facts entry.
// ---------------------------------------------------------------------------

TEST_F(InfoFileTest, FactsEntryIsTheTimeLineAndFiveFacts) {
  const platform::LocalTime before = platform::localTimeNow();
  TraceWriteDriverInfo(reinterpret_cast<void*>(0xC0FFEE));
  const platform::LocalTime after = platform::localTimeNow();
  const std::string text = info();
  const std::vector<std::string> lines = linesOf(text);
  ASSERT_EQ(lines.size(), 6u) << text;
  EXPECT_TRUE(isInfoTimeLine(lines[0])) << lines[0];
  // The same form orders text as time does.
  EXPECT_LE(timeText(before), lines[0]);
  EXPECT_GE(timeText(after), lines[0]);
  EXPECT_EQ(text.substr(lines[0].size()), fakeFacts());
  EXPECT_EQ(fake().asked, (std::vector<uint16_t>{17, 18, 6, 7, 26}));
  EXPECT_EQ(fake().connections, std::vector<void*>(5, reinterpret_cast<void*>(0xC0FFEE)));
}

TEST_F(InfoFileTest, FailedFactsGiveTheirDiagnosticOrBothReturnCodes) {
  struct Row {
    std::map<uint16_t, int16_t> returnCodes;
    int16_t diagRc;
    const char* expected;  // {facts} stands for the fake's facts entry
  };
  const Row rows[] = {
      {{{18, -1}},
       0,
       "SQL_DBMS_NAME: FakeDB\r\nHY096 : [Fake]Information type out of range [42]\r\nSQL_DRIVER_NAME: fakedrv.so\r\n"
       "SQL_DRIVER_VER: 04.05\r\nSQL_DEFAULT_TXN_ISOLATION: 8\r\n"},
      {{{17, -2}, {26, 100}},
       100,
       "SQLGetInfo failed with -2; SQLGetDiagRec failed with 100\r\nSQL_DBMS_VER: 01.02.0003\r\n"
       "SQL_DRIVER_NAME: fakedrv.so\r\nSQL_DRIVER_VER: 04.05\r\n"
       "SQLGetInfo failed with 100; SQLGetDiagRec failed with 100\r\n"},
      // SQL_SUCCESS_WITH_INFO is success: its text is written.
      {{{6, 1}, {26, 1}}, 0, "{facts}"},
      {{{7, 2}},
       -1,
       "SQL_DBMS_NAME: FakeDB\r\nSQL_DBMS_VER: 01.02.0003\r\nSQL_DRIVER_NAME: fakedrv.so\r\n"
       "SQLGetInfo failed with 2; SQLGetDiagRec failed with -1\r\nSQL_DEFAULT_TXN_ISOLATION: 8\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    std::filesystem::remove(dir_ / "SQLINFO.LOG");
    fake() = FakeAnswers();
    fake().returnCodes = row.returnCodes;
    fake().diagRc = row.diagRc;
    TraceWriteDriverInfo(nullptr);
    const std::string text = info();
    const std::string expected = std::string(row.expected) == "{facts}" ? fakeFacts() : row.expected;
    ASSERT_GT(text.size(), 22u);
    EXPECT_EQ(text.substr(22), expected);
  }
}

TEST_F(InfoFileTest, AnswersAreCutToTheirBufferAndLinesStayWhole) {
  // A driver that fills the whole buffer without a terminator.
  static const TraceDriverManager kUnterminated = {
      [](void*, uint16_t infoType, void* value, int16_t valueBytes, int16_t*) -> int16_t {
        std::memset(value, 'a' + infoType % 26, static_cast<size_t>(valueBytes));
        return 1;
      },
      fakeGetDiagRec};
  TraceSetDriverManagerForTesting(&kUnterminated);
  TraceWriteDriverInfo(nullptr);
  const std::vector<std::string> lines = linesOf(info());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "SQL_DBMS_NAME: " + std::string(260, 'a' + 17) + "\r\n");
  EXPECT_EQ(lines[4], "SQL_DRIVER_VER: " + std::string(260, 'a' + 7) + "\r\n");
  const uint32_t isolation = 0x01010101u * static_cast<unsigned char>('a');
  EXPECT_EQ(lines[5], "SQL_DEFAULT_TXN_ISOLATION: " + std::to_string(isolation) + "\r\n");
}

TEST_F(InfoFileTest, FunctionsThatCannotBeBoundFailAsSqlError) {
  TraceSetDriverManagerForTesting(&kUnboundManager);
  TraceWriteDriverInfo(reinterpret_cast<void*>(0x10));
  const std::string text = info();
  EXPECT_EQ(countOf(text, "SQLGetInfo failed with -1; SQLGetDiagRec failed with -1\r\n"), 5u) << text;
  EXPECT_EQ(linesOf(text).size(), 6u);
}

TEST_F(InfoFileTest, FactsAreAskedEvenWhenTheFileCannotBeOpened) {
  setSetting("TraceFile", dir_ / "missing/SQL.LOG");
  TraceWriteDriverInfo(nullptr);
  TraceWriteEnvironment();
  EXPECT_EQ(fake().asked.size(), 5u);
  EXPECT_TRUE(dir_.entries().empty());
}

// ---------------------------------------------------------------------------
// The environment entry.
// ---------------------------------------------------------------------------

TEST_F(InfoFileTest, EnvironmentEntryIsEveryStringAsItIsBetweenTheBanners) {
  EnvironmentGuard guard("VRTRACE_INFO_SECRET");
  // Written as it is: the environment is the process's own.
  setenv("VRTRACE_INFO_SECRET", "PWD=x;{a=b}", 1);
  TraceWriteEnvironment();
  const std::string text = info();
  EXPECT_EQ(text, environmentEntry());
  EXPECT_EQ(countOf(text, "\nVRTRACE_INFO_SECRET=PWD=x;{a=b}\n"), 1u);
  EXPECT_EQ(countOf(text, "\r"), 0u);
}

TEST_F(InfoFileTest, EmptyEnvironmentGivesTheBannersAlone) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    clearenv();
    TraceWriteEnvironment();
    std::_Exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(info(), std::string(kBanner) + std::string(kEndBanner));
}

// ---------------------------------------------------------------------------
// After connect calls.
// ---------------------------------------------------------------------------

TEST_F(InfoFileTest, ConnectCallsAddFactsOnSuccessAndTheEnvironmentAlways) {
  const TraceFunction kConnect{7, "SQLConnect", 7, 0, {4, 13, 8, 13, 8, 13, 8}};
  const TraceFunction kConnectW{7, "SQLConnectW", 7, 1, {4, 34, 8, 34, 8, 34, 8}};
  const TraceFunction kDriverConnect{41, "SQLDriverConnect", 8, 0, {4, 16, 13, 8, 13, 8, 12, 7}};
  const TraceFunction kBrowseConnectW{55, "SQLBrowseConnectW", 6, 1, {4, 34, 8, 34, 8, 12}};
  const TraceFunction kDisconnect{9, "SQLDisconnect", 1, 0, {4}};
  struct Row {
    const TraceFunction* function;
    int16_t returnCode;
    size_t facts;  // facts entries written (the environment follows every connect)
    size_t environments;
  };
  const Row rows[] = {
      {&kConnect, 0, 1, 1},        {&kConnectW, 1, 1, 1},
      {&kDriverConnect, 0, 1, 1},  {&kDriverConnect, -1, 0, 1},
      {&kBrowseConnectW, 1, 1, 1}, {&kBrowseConnectW, 99, 0, 1},
      {&kConnect, -2, 0, 1},       {&kConnect, 2, 0, 1},
      {&kDisconnect, 0, 0, 0},     {&coretest::kExecDirect, 0, 0, 0},
  };
  openMemoryLog();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.function->name) + " " + std::to_string(row.returnCode));
    std::filesystem::remove(dir_ / "SQLINFO.LOG");
    fake().connections.clear();
    const std::string exitHeader = "EXIT  " + std::string(row.function->name) + " with";
    const size_t exitsBefore = countOf(coretest::memoryLog(), exitHeader);
    const uint64_t values[8] = {0xDBC0, 0, 0, 0, 0, 0, 0, 0};
    const int16_t handle = TraceCall(*row.function, values);
    ASSERT_GT(handle, 0);
    TraceReturn(handle, row.returnCode);
    const std::string text = info();
    EXPECT_EQ(countOf(text, "SQL_DBMS_NAME: FakeDB\r\n"), row.facts);
    EXPECT_EQ(countOf(text, std::string(kBanner)), row.environments);
    if (row.facts != 0) {
      EXPECT_EQ(text.substr(0, 22).find("\r\n"), 20u);  // the time line comes first
      EXPECT_EQ(text.substr(22, fakeFacts().size()), fakeFacts());
      EXPECT_EQ(fake().connections, std::vector<void*>(5, reinterpret_cast<void*>(0xDBC0)));
    } else if (row.environments != 0) {
      EXPECT_EQ(text, environmentEntry());
    } else {
      EXPECT_FALSE(dir_.exists("SQLINFO.LOG"));
    }
    // The EXIT record is written whatever the INFO file gets.
    EXPECT_EQ(countOf(coretest::memoryLog(), exitHeader), exitsBefore + 1);
  }
}

// A reader of the settings that posts, as the installer's way may.
size_t postingReader(const char* key, const char* fallback, char* buffer, size_t size) {
  juPostError(30041)->addParam(int64_t{5});
  return coretest::readTestSetting(key, fallback, buffer, size);
}

TEST_F(InfoFileTest, NothingStaysOnTheThreadsErrorList) {
  TraceSetSettingReaderForTesting(postingReader);
  TraceWriteDriverInfo(nullptr);
  TraceWriteEnvironment();
  EXPECT_TRUE(errors_->ids().empty());
  // The list is current again afterwards.
  juPostError(30041)->addParam(int64_t{1});
  EXPECT_EQ(errors_->ids(), std::vector<uint16_t>{30041});
  TraceSetSettingReaderForTesting(coretest::readTestSetting);
  EXPECT_EQ(countOf(info(), std::string(kBanner)), 1u);
}

// Whether the calling thread has a record on the thread list.
bool hasThreadRecord() {
  const uint32_t self = platform::currentThreadId();
  for (JuThreadInfo* r = juThreadInfoList.load(); r != nullptr; r = r->next.load()) {
    if (r->threadId.load() == self && r->freeFlag.load() == 0) return true;
  }
  return false;
}

TEST_F(InfoFileTest, ApplicationThreadsGetNoRecordOrList) {
  TraceSetSettingReaderForTesting(postingReader);
  bool recordBefore = true;
  bool recordAfter = true;
  std::thread application([&] {
    recordBefore = hasThreadRecord();
    TraceWriteDriverInfo(nullptr);
    TraceWriteEnvironment();
    recordAfter = hasThreadRecord();
  });
  application.join();
  TraceSetSettingReaderForTesting(coretest::readTestSetting);
  EXPECT_FALSE(recordBefore);
  EXPECT_FALSE(recordAfter);
  EXPECT_TRUE(errors_->ids().empty());
  EXPECT_EQ(countOf(info(), std::string(kBanner)), 1u);
}

TEST_F(InfoFileTest, AFileThatCannotBeWrittenLeavesTheCallAlone) {
  // A directory where the file should be: every open fails.
  std::filesystem::create_directory(dir_ / "SQLINFO.LOG");
  const TraceFunction kDriverConnect{41, "SQLDriverConnect", 8, 0, {4, 16, 13, 8, 13, 8, 12, 7}};
  openMemoryLog();
  const uint64_t values[8] = {0xDBC0};
  TraceReturn(TraceCall(kDriverConnect, values), 0);
  EXPECT_EQ(countOf(coretest::memoryLog(), "EXIT  SQLDriverConnect"), 1u);
  EXPECT_TRUE(errors_->ids().empty());
  EXPECT_EQ(fake().asked.size(), 5u);
}

// Past the process's file-size limit (here 100 bytes, in a child with
// SIGXFSZ at its default action) the entries are lost quietly and the
// process lives on.
TEST_F(InfoFileTest, TheSizeLimitLosesTheEntryAndLeavesTheProcessAlone) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit = {100, RLIM_INFINITY};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(10);
    TraceWriteDriverInfo(nullptr);
    TraceWriteEnvironment();
    std::_Exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_LE(info().size(), 100u);
}

TEST_F(InfoFileTest, ShortWritesStillAppendWholeEntries) {
  platform::setWriteLimitForTesting(7);
  TraceWriteDriverInfo(nullptr);
  TraceWriteEnvironment();
  platform::setWriteLimitForTesting(0);
  const std::string text = info();
  ASSERT_GT(text.size(), 22u);
  EXPECT_EQ(text.substr(22), fakeFacts() + environmentEntry());
}

// ---------------------------------------------------------------------------
// Two processes appending at once.
// ---------------------------------------------------------------------------

// What one writer process writes: its own answers and environment.
struct Writer {
  std::string tag;
  std::vector<std::string> environment;  // "NAME=value" strings
};

Writer makeWriter(const std::string& tag, size_t variables, size_t valueBytes) {
  Writer writer{tag, {}};
  for (size_t i = 0; i < variables; ++i) {
    writer.environment.push_back("V" + std::to_string(i) + "_" + tag + "=" + std::string(valueBytes, tag[0]));
  }
  return writer;
}

// Forks the writers, lets them start together and waits for them; each
// appends `rounds` facts and environment entries.
bool runWriters(const std::vector<Writer>& writers, int rounds) {
  int gate[2];
  if (pipe(gate) != 0) return false;
  std::vector<pid_t> children;
  for (const Writer& writer : writers) {
    const pid_t child = fork();
    if (child == 0) {
      close(gate[1]);
      clearenv();
      for (const std::string& e : writer.environment) putenv(const_cast<char*>(e.c_str()));
      fake().texts = {
          {17, "DB-" + writer.tag}, {18, "V-" + writer.tag}, {6, "D-" + writer.tag}, {7, "DV-" + writer.tag}};
      char byte;
      (void)!read(gate[0], &byte, 1);  // returns when the parent closes the gate
      for (int i = 0; i < rounds; ++i) {
        TraceWriteDriverInfo(nullptr);
        TraceWriteEnvironment();
      }
      std::_Exit(0);
    }
    children.push_back(child);
  }
  close(gate[0]);
  close(gate[1]);
  bool ok = true;
  for (pid_t child : children) {
    int status = 0;
    ok = ok && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

// Every line of the text: a time line, a banner, or a line one writer
// wrote; none cut or mixed. Counts each writer's lines.
std::string checkWholeLines(const std::string& text, const std::vector<Writer>& writers,
                            std::map<std::string, size_t>& counts) {
  std::set<std::string> known = {std::string(kBanner), std::string(kEndBanner), "SQL_DEFAULT_TXN_ISOLATION: 8\r\n"};
  for (const Writer& w : writers) {
    for (const std::string& e : w.environment) known.insert(e + "\n");
    for (const char* fact : {"SQL_DBMS_NAME: DB-", "SQL_DBMS_VER: V-", "SQL_DRIVER_NAME: D-", "SQL_DRIVER_VER: DV-"}) {
      known.insert(fact + w.tag + "\r\n");
    }
  }
  for (const std::string& line : linesOf(text)) {
    if (isInfoTimeLine(line)) {
      ++counts["time"];
    } else if (known.count(line) != 0) {
      ++counts[line];
    } else {
      return "a line no writer wrote: " + line.substr(0, 80);
    }
  }
  return "";
}

TEST_F(InfoFileTest, TwoProcessesAppendingAtOnceKeepEntriesWhole) {
  // Entries below the size of one write: whole entries, never mixed.
  const std::vector<Writer> writers = {makeWriter("a", 8, 100), makeWriter("b", 8, 100)};
  constexpr int kRounds = 150;
  ASSERT_TRUE(runWriters(writers, kRounds));
  const std::string text = info();
  std::map<std::string, size_t> counts;
  ASSERT_EQ(checkWholeLines(text, writers, counts), "");
  EXPECT_EQ(counts["time"], 2u * kRounds);

  // Entry by entry: a time line and its writer's five facts, or a banner,
  // one writer's whole environment and the closing banner.
  const std::vector<std::string> lines = linesOf(text);
  std::map<std::string, size_t> entries;
  for (size_t i = 0; i < lines.size();) {
    SCOPED_TRACE("line " + std::to_string(i));
    if (isInfoTimeLine(lines[i])) {
      ASSERT_LE(i + 6, lines.size());
      const std::string tag = lines[i + 1].substr(lines[i + 1].find("DB-") + 3, 1);
      std::string expected;
      fake().texts = {{17, "DB-" + tag}, {18, "V-" + tag}, {6, "D-" + tag}, {7, "DV-" + tag}};
      for (size_t k = 1; k < 6; ++k) expected += lines[i + k];
      ASSERT_EQ(expected, fakeFacts());
      ++entries["facts " + tag];
      i += 6;
      continue;
    }
    ASSERT_EQ(lines[i], kBanner);
    const Writer* owner = nullptr;
    for (const Writer& w : writers) {
      if (i + 1 < lines.size() && lines[i + 1] == w.environment[0] + "\n") owner = &w;
    }
    ASSERT_NE(owner, nullptr) << lines[i + 1];
    for (size_t k = 0; k < owner->environment.size(); ++k) ASSERT_EQ(lines[i + 1 + k], owner->environment[k] + "\n");
    ASSERT_EQ(lines[i + 1 + owner->environment.size()], kEndBanner);
    ++entries["environment " + owner->tag];
    i += owner->environment.size() + 2;
  }
  for (const char* key : {"facts a", "facts b", "environment a", "environment b"}) {
    EXPECT_EQ(entries[key], static_cast<size_t>(kRounds)) << key;
  }
}

TEST_F(InfoFileTest, TwoProcessesAppendingLongEnvironmentsKeepLinesWhole) {
  // Environments beyond one write go as runs of whole lines; one line
  // longer than a write goes alone.
  std::vector<Writer> writers = {makeWriter("c", 40, 150), makeWriter("d", 40, 150)};
  writers[0].environment.push_back("LONG_c=" + std::string(kTraceInfoAtomicBytes + 100, 'C'));
  writers[1].environment.push_back("LONG_d=" + std::string(kTraceInfoAtomicBytes * 2, 'D'));
  constexpr int kRounds = 60;
  ASSERT_TRUE(runWriters(writers, kRounds));
  std::map<std::string, size_t> counts;
  ASSERT_EQ(checkWholeLines(info(), writers, counts), "");
  EXPECT_EQ(counts[std::string(kBanner)], 2u * kRounds);
  for (const Writer& w : writers) {
    for (const std::string& e : w.environment) EXPECT_EQ(counts[e + "\n"], static_cast<size_t>(kRounds));
  }
}

// ---------------------------------------------------------------------------
// unixODBC and the SQLite driver.
// ---------------------------------------------------------------------------

// unixODBC's functions, bound at run time, and one connection to a SQLite
// database through the driver's library.
class SqliteConnection {
 public:
  using AllocHandle = int16_t (*)(int16_t, void*, void**);
  using SetEnvAttr = int16_t (*)(void*, int32_t, void*, int32_t);
  using DriverConnect = int16_t (*)(void*, void*, const unsigned char*, int16_t, unsigned char*, int16_t, int16_t*,
                                    uint16_t);
  using Disconnect = int16_t (*)(void*);
  using FreeHandle = int16_t (*)(int16_t, void*);

  explicit SqliteConnection(const std::string& database) {
    library_ = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) return;
    allocHandle_ = bind<AllocHandle>("SQLAllocHandle");
    setEnvAttr_ = bind<SetEnvAttr>("SQLSetEnvAttr");
    driverConnect_ = bind<DriverConnect>("SQLDriverConnect");
    disconnect_ = bind<Disconnect>("SQLDisconnect");
    freeHandle_ = bind<FreeHandle>("SQLFreeHandle");
    functions_.getInfo = bind<decltype(functions_.getInfo)>("SQLGetInfo");
    functions_.getDiagRec = bind<decltype(functions_.getDiagRec)>("SQLGetDiagRec");
    if (allocHandle_(1, nullptr, &env_) != 0) return;
    setEnvAttr_(env_, 200 /* SQL_ATTR_ODBC_VERSION */, reinterpret_cast<void*>(3), 0);
    if (allocHandle_(2, env_, &dbc_) != 0) return;
    const std::string text = std::string("DRIVER=") + kSqliteDriver + ";Database=" + database;
    const int16_t rc = driverConnect_(dbc_, nullptr, reinterpret_cast<const unsigned char*>(text.c_str()), -3, nullptr,
                                      0, nullptr, 0 /* SQL_DRIVER_NOPROMPT */);
    connected_ = rc == 0 || rc == 1;
  }
  ~SqliteConnection() {
    if (connected_) disconnect_(dbc_);
    if (dbc_ != nullptr) freeHandle_(2, dbc_);
    if (env_ != nullptr) freeHandle_(1, env_);
    // unixODBC stays loaded, as in an application: its caches stay its own.
  }

  bool connected() const { return connected_; }
  void* connection() const { return dbc_; }
  const TraceDriverManager& functions() const { return functions_; }

  // A text fact as the application would ask for it.
  std::string text(uint16_t infoType) const {
    char value[512] = {};
    int16_t length = 0;
    return functions_.getInfo(dbc_, infoType, value, sizeof value, &length) == 0 ? value : "?";
  }
  uint32_t number(uint16_t infoType) const {
    uint32_t value = 0;
    return functions_.getInfo(dbc_, infoType, &value, sizeof value, nullptr) == 0 ? value : 0xFFFFFFFFu;
  }

 private:
  template <typename F>
  F bind(const char* name) {
    return reinterpret_cast<F>(dlsym(library_, name));
  }

  void* library_ = nullptr;
  AllocHandle allocHandle_ = nullptr;
  SetEnvAttr setEnvAttr_ = nullptr;
  DriverConnect driverConnect_ = nullptr;
  Disconnect disconnect_ = nullptr;
  FreeHandle freeHandle_ = nullptr;
  TraceDriverManager functions_{nullptr, nullptr};
  void* env_ = nullptr;
  void* dbc_ = nullptr;
  bool connected_ = false;
};

class InfoFileSqliteTest : public InfoFileTest {
 protected:
  void SetUp() override {
    InfoFileTest::SetUp();
    if (!std::filesystem::exists(kSqliteDriver)) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    // The Driver Manager the application loaded.
    TraceSetDriverManagerForTesting(nullptr);
  }
};

TEST_F(InfoFileSqliteTest, FactsOfARealConnectionComeFromTheApplicationsDriverManager) {
  SqliteConnection db(dir_ / "test.db");
  ASSERT_TRUE(db.connected());
  TraceWriteDriverInfo(db.connection());
  const std::vector<std::string> lines = linesOf(info());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(isInfoTimeLine(lines[0]));
  EXPECT_EQ(lines[1], "SQL_DBMS_NAME: SQLite\r\n");
  EXPECT_EQ(lines[2], "SQL_DBMS_VER: " + db.text(18) + "\r\n");
  EXPECT_EQ(lines[3], "SQL_DRIVER_NAME: " + db.text(6) + "\r\n");
  EXPECT_EQ(lines[4], "SQL_DRIVER_VER: " + db.text(7) + "\r\n");
  EXPECT_EQ(lines[5], "SQL_DEFAULT_TXN_ISOLATION: " + std::to_string(db.number(26)) + "\r\n");
  EXPECT_NE(db.text(18), "?");
}

// The diagnostic of a real failure: unixODBC's own record for an
// information type it does not know, asked in place of SQL_DBMS_VER.
const TraceDriverManager* realFunctions = nullptr;
int16_t getInfoFailingFor18(void* connection, uint16_t infoType, void* value, int16_t bytes, int16_t* length) {
  return realFunctions->getInfo(connection, infoType == 18 ? 31999 : infoType, value, bytes, length);
}

TEST_F(InfoFileSqliteTest, ARealFailureWritesTheFirstDiagnosticAndTheOtherFactsFollow) {
  SqliteConnection db(dir_ / "test.db");
  ASSERT_TRUE(db.connected());
  realFunctions = &db.functions();
  const TraceDriverManager failing = {getInfoFailingFor18, db.functions().getDiagRec};
  TraceSetDriverManagerForTesting(&failing);
  TraceWriteDriverInfo(db.connection());
  TraceSetDriverManagerForTesting(nullptr);
  // What the application reads for the same failure.
  char value[8];
  ASSERT_EQ(getInfoFailingFor18(db.connection(), 18, value, sizeof value, nullptr), -1);
  unsigned char state[6] = {};
  unsigned char message[261] = {};
  int32_t native = 0;
  int16_t length = 0;
  ASSERT_EQ(db.functions().getDiagRec(2, db.connection(), 1, state, &native, message, 261, &length), 0);
  const std::vector<std::string> lines = linesOf(info());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "SQL_DBMS_NAME: SQLite\r\n");
  EXPECT_EQ(lines[2], std::string(reinterpret_cast<char*>(state)) + " : " + reinterpret_cast<char*>(message) + " [" +
                          std::to_string(native) + "]\r\n");
  EXPECT_EQ(lines[3], "SQL_DRIVER_NAME: " + db.text(6) + "\r\n");
}

TEST_F(InfoFileSqliteTest, NoConnectionMakesBothCallsFailWithTheirCodes) {
  SqliteConnection db(dir_ / "test.db");  // loads unixODBC
  ASSERT_TRUE(db.connected());
  TraceWriteDriverInfo(nullptr);
  // unixODBC answers SQL_INVALID_HANDLE to both.
  EXPECT_EQ(countOf(info(), "SQLGetInfo failed with -2; SQLGetDiagRec failed with -2\r\n"), 5u) << info();
}

TEST(InfoFileUnloadedTest, WithoutTheDriverManagerLoadedTheFactsFailAsSqlError) {
  coretest::inFreshProcess([] {
    TempDir dir;
    coretest::useTestSettings();
    setSetting("TraceFile", dir / "SQL.LOG");
    bool ok = check(platform::findLoadedLibrary("odbc32.dll") == nullptr, "unixODBC not loaded");
    TraceWriteDriverInfo(reinterpret_cast<void*>(0x10));
    ok &= check(platform::findLoadedLibrary("odbc32.dll") == nullptr, "and not loaded by the writer");
    const std::string text = readFile(dir / "SQLINFO.LOG");
    ok &= check(countOf(text, "SQLGetInfo failed with -1; SQLGetDiagRec failed with -1\r\n") == 5, "five failures");
    return ok;
  });
}

}  // namespace
