// Start-up, the control exports, the trace file name, the sink options and
// the settings.
// Longer than our files usually are: every case runs on the one trace-core
// fixture, which resets the process-wide state.

#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <string>
#include <thread>
#include <vector>

#include "core_test_util.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "julib/threads.h"
#include "julib/valueparser.h"
#include "platform/catalogue.h"
#include "platform/process.h"

using coretest::check;
using coretest::countOf;
using coretest::execDirect;
using coretest::memoryLog;
using coretest::readFile;
using coretest::setSetting;
using coretest::TempDir;
using coretest::utf16;

namespace {

std::string pidText() { return std::to_string(platform::currentProcessId()); }

std::string message(const char16_t* buffer) {
  size_t n = 0;
  while (buffer[n] != 0) ++n;
  return jutest::toUtf8(buffer, n);
}

// The file sink writing into `dir`, one suffix "_" (no process id).
void useFileSink(const std::string& traceFile) {
  setSetting("ODBCTraceMode", "0");
  setSetting("TraceFilePerProcess", "0");
  setSetting("TraceFile", traceFile);
}

// ---------------------------------------------------------------------------
// Start-up (each in a process of its own: the first open happens once).
// ---------------------------------------------------------------------------

TEST(TraceStartUpDeathTest, FirstOpenWithoutNameReadiesTheLibraryAndTheFirstRecordOpens) {
  coretest::inFreshProcess([] {
    coretest::useTestSettings();
    JuThreadInfo* programRecord = juThreadInfoList.load();
    bool ok = check(TraceOpenLogFile(nullptr, nullptr, 0) == 0, "first open returns 0");
    JuThreadInfo* head = juThreadInfoList.load();
    ok &= check(head != nullptr && head != programRecord, "a new thread list");
    ok &= check(head != nullptr && head->threadId == platform::currentThreadId(), "the caller's record first");
    ok &= check(juResourceModule.load() == &vrTraceModule, "messages from kjtrac.dll");
    ok &= check(TraceCurrentSink() == nullptr, "nothing opened yet");
    const int16_t handle = execDirect(0x51, "SELECT 1");
    ok &= check(handle == 1, "first handle");
    ok &= check(countOf(memoryLog(), "\n\nENTER SQLExecDirect\n") == 1, "the first record opens the log");
    TraceReturn(handle, 0);
    ok &= check(countOf(memoryLog(), "EXIT  SQLExecDirect with return code 0 (SQL_SUCCESS)") == 1, "exit");
    TraceCloseLogFile();
    return ok;
  });
}

TEST(TraceStartUpDeathTest, FirstRecordWithoutAnyOpenIsWritten) {
  coretest::inFreshProcess([] {
    coretest::useTestSettings();
    const int16_t handle = execDirect(0x52, "SELECT 2");
    bool ok = check(countOf(memoryLog(), "ENTER SQLExecDirect") == 1, "first record written");
    ok &= check(juResourceModule.load() == &vrTraceModule, "messages from kjtrac.dll");
    TraceReturn(handle, 100);
    ok &= check(countOf(memoryLog(), "(SQL_NO_DATA_FOUND)") == 1, "exit written");
    TraceCloseLogFile();
    return ok;
  });
}

TEST(TraceStartUpDeathTest, NoMemoryForTheFirstRecordFailsAndTheNextOpenTriesAgain) {
  coretest::inFreshProcess([] {
    coretest::useTestSettings();
    julib::internal::failAllocation(1, false);
    bool ok = check(TraceOpenLogFile(nullptr, nullptr, 0) == -1, "no memory: -1");
    ok &= check(julib::internal::clearAllocationFault() == 1, "the record's allocation failed");
    ok &= check(TraceOpenLogFile(nullptr, nullptr, 0) == 0, "the next open starts up");
    JuThreadInfo* head = juThreadInfoList.load();
    ok &= check(head != nullptr && head->threadId == platform::currentThreadId(), "the caller's record first");
    ok &= check(TraceCurrentSink() == nullptr, "still only readied");
    return ok;
  });
}

TEST(TraceStartUpDeathTest, FirstRecordsOfManyThreadsOpenOneSink) {
  coretest::inFreshProcess([] {
    coretest::useTestSettings();
    constexpr int kThreads = 8;
    std::mutex mutex;
    std::condition_variable go;
    bool started = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        {
          std::unique_lock<std::mutex> lock(mutex);
          go.wait(lock, [&] { return started; });
        }
        TraceReturn(execDirect(0x1000 + t, "SELECT 3"), 0);
      });
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      started = true;
    }
    go.notify_all();
    for (auto& thread : threads) thread.join();
    const std::string log = memoryLog();
    bool ok = check(countOf(log, "ENTER SQLExecDirect") == kThreads, "every ENTER in the one sink");
    ok &= check(countOf(log, "EXIT  SQLExecDirect") == kThreads, "every EXIT in the one sink");
    for (int t = 0; t < kThreads; ++t) {
      char handle[32];
      std::snprintf(handle, sizeof handle, "0x%016x\n", 0x1000 + t);
      ok &= check(countOf(log, handle) == 2, "each thread's records");
    }
    TraceCloseLogFile();
    return ok;
  });
}

// ---------------------------------------------------------------------------
// Opening and closing.
// ---------------------------------------------------------------------------

class TraceStateTest : public coretest::TraceCoreTest {};

TEST_F(TraceStateTest, VersionIs1000) { EXPECT_EQ(TraceVersion(), 1000u); }

TEST_F(TraceStateTest, SecondOpenIsIgnored) {
  TempDir dir;
  useFileSink(dir / "unused.log");
  ASSERT_EQ(TraceOpenLogFile(utf16(dir / "a.log").c_str(), nullptr, 0), 0);
  JuTracing* sink = TraceCurrentSink();
  EXPECT_EQ(TraceOpenLogFile(utf16(dir / "b.log").c_str(), nullptr, 0), 0);
  EXPECT_EQ(TraceCurrentSink(), sink);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"a_01.log"});
}

TEST_F(TraceStateTest, PassedNameAppendsWhateverTheSettingSays) {
  struct Row {
    bool passName;
    const char* appendSetting;
    bool oldKept;
  } rows[] = {
      {true, "0", true},    // a passed name always appends
      {false, "0", false},  // the configured name follows the setting
      {false, "1", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.passName ? "passed, " : "configured, ") + row.appendSetting);
    TempDir dir;
    useFileSink(dir / "t.log");
    setSetting("TraceFileOpenAppendMode", row.appendSetting);
    { std::ofstream(dir / "t_01.log") << "old record\n"; }
    ASSERT_EQ(TraceOpenLogFile(row.passName ? utf16(dir / "t.log").c_str() : nullptr, nullptr, 0), 0);
    TraceReturn(execDirect(0x10, "SELECT 1"), 0);
    TraceCloseLogFile();
    const std::string text = readFile(dir / "t_01.log");
    EXPECT_EQ(text.rfind("old record\n", 0) == 0, row.oldKept) << text;
    EXPECT_EQ(countOf(text, "ENTER SQLExecDirect"), 1u);
  }
}

TEST_F(TraceStateTest, PerProcessSuffixOnlyForExactlyOne) {
  struct Row {
    const char* value;  // null: the key is absent (default "1")
    bool perProcess;
  } rows[] = {
      {"1", true}, {nullptr, true}, {"1 ", false}, {"01", false}, {"0", false}, {"", false}, {" 1", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value != nullptr ? std::string("\"") + row.value + "\"" : "absent");
    TempDir dir;
    useFileSink(dir / "t.log");
    if (row.value == nullptr) {
      std::lock_guard<std::mutex> guard(coretest::settingsMutex());
      coretest::settingsMap().erase("TraceFilePerProcess");
    } else {
      setSetting("TraceFilePerProcess", row.value);
    }
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
    TraceCloseLogFile();
    const std::string expected = row.perProcess ? "t_" + pidText() + "_01.log" : "t_01.log";
    EXPECT_EQ(dir.entries(), std::vector<std::string>{expected});
  }
}

// The names of the first files: the whole process id in every per-process
// name, where the base has dots too; one set for all keeps its names.
TEST_F(TraceStateTest, PerProcessNamesKeepTheWholeProcessId) {
  struct Row {
    const char* perProcess;
    const char* traceFile;
    const char* first;  // "{pid}" stands for the process id
  } rows[] = {
      {"1", "SQL.LOG", "SQL_{pid}_01.LOG"},
      {"1", "trace", "trace_{pid}_01.log"},
      {"1", ".log", "_{pid}_01.log"},
      {"1", "a.b.log", "a_{pid}_01.b.lo"},
      {"1", "a.b.c.log", "a_{pid}_01.b.c."},
      {"0", "SQL.LOG", "SQL_01.LOG"},
      {"0", "a.b.log", "a01.b_.l"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.traceFile) + " " + row.perProcess);
    TempDir dir;
    useFileSink(dir / row.traceFile);
    setSetting("TraceFilePerProcess", row.perProcess);
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
    TraceCloseLogFile();
    std::string expected = row.first;
    const size_t pid = expected.find("{pid}");
    if (pid != std::string::npos) expected.replace(pid, 5, pidText());
    EXPECT_EQ(dir.entries(), std::vector<std::string>{expected});
  }
}

TEST_F(TraceStateTest, EmptyTraceFileWritesSqlLogInTheTemporaryDirectory) {
  TempDir dir;
  const char* saved = std::getenv("TMPDIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  useFileSink("");
  const int16_t result = TraceOpenLogFile(nullptr, nullptr, 0);
  TraceReturn(execDirect(0x10, "SELECT 1"), 0);
  TraceCloseLogFile();
  if (saved != nullptr) {
    setenv("TMPDIR", savedValue.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"SQL_01.LOG"});
  EXPECT_EQ(countOf(readFile(dir / "SQL_01.LOG"), "SQLExecDirect"), 2u);
}

TEST_F(TraceStateTest, RelativeTraceFileIsBelowTheCurrentDirectory) {
  TempDir dir;
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  useFileSink("logs/t.log");
  std::filesystem::create_directory(dir / "logs");
  const int16_t result = TraceOpenLogFile(nullptr, nullptr, 0);
  TraceCloseLogFile();
  std::filesystem::current_path(saved);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(dir.exists("logs/t_01.log"));
}

TEST_F(TraceStateTest, PathsWithSeparatorsBracesAndQuotesOpenThatFile) {
  const char* names[] = {"a;b", "{c}", "d}e", "q'u\"o`t", " blank ", "x=y"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    TempDir dir;
    useFileSink(dir / (std::string(name) + ".log"));
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
    TraceCloseLogFile();
    EXPECT_EQ(dir.entries(), std::vector<std::string>{std::string(name) + "_01.log"});
  }
}

TEST_F(TraceStateTest, PassedNameIsConvertedToUtf8) {
  TempDir dir;
  useFileSink("unused");
  const std::string name = "tr\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x98\x80";  // é, a CJK character, an emoji
  ASSERT_EQ(TraceOpenLogFile(utf16(dir / (name + ".log")).c_str(), nullptr, 0), 0);
  TraceCloseLogFile();
  EXPECT_EQ(dir.entries(), std::vector<std::string>{name + "_01.log"});
}

// The name and its suffix must fit 282 bytes; one that does not is refused
// whole rather than cut (the memory sink ignores the name, so the limit
// seen is the open's own).
TEST_F(TraceStateTest, NamesBeyond282BytesAreRefusedNotCut) {
  const std::string e = "\xC3\xA9";  // two bytes in UTF-8, one unit
  auto repeat = [](const std::string& piece, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += piece;
    return out;
  };
  struct Row {
    std::string name;
    int16_t result;
    const char* note;
  } rows[] = {
      {repeat("a", 281), 0, "281 bytes and the suffix: 282"},
      {repeat("a", 282), -1, "282 bytes and the suffix: 283"},
      {repeat(e, 140) + "a", 0, "281 bytes of two-byte characters and one"},
      {repeat(e, 141), -1, "282 bytes in 141 units"},
      {repeat(e, 200), -1, "400 bytes in 200 units: cut would fall inside a character"},
      {repeat("a", 283), -1, "283 units"},
      {repeat("a", 5000), -1, "far too long"},
  };
  setSetting("TraceFilePerProcess", "0");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    char16_t buffer[600] = {u'#'};
    EXPECT_EQ(TraceOpenLogFile(utf16(row.name).c_str(), buffer, sizeof buffer), row.result);
    if (row.result == 0) {
      EXPECT_NE(TraceCurrentSink(), nullptr);
    } else {
      EXPECT_EQ(TraceCurrentSink(), nullptr);
      EXPECT_NE(message(buffer).find("Trace file too long: " + row.name.substr(0, 100)), std::string::npos)
          << message(buffer);
    }
    TraceCloseLogFile();
  }
}

TEST_F(TraceStateTest, TraceFileSettingBeyond260BytesIsRefused) {
  setSetting("TraceFilePerProcess", "0");
  for (size_t length : {size_t{260}, size_t{261}, size_t{500}}) {
    SCOPED_TRACE(length);
    setSetting("TraceFile", std::string(length, 'f'));
    char16_t buffer[100] = {};
    EXPECT_EQ(TraceOpenLogFile(nullptr, buffer, sizeof buffer), length <= 260 ? 0 : -1);
    if (length > 260) {
      EXPECT_NE(message(buffer).find("Trace file too long"), std::string::npos);
    }
    TraceCloseLogFile();
  }
}

TEST_F(TraceStateTest, NameEndingInASeparatorIsReportedInTheBuffer) {
  const std::string name = "/tmp/logs/";
  const std::string full = "Unable to open ODBC trace file " + name;
  struct Row {
    uint32_t bytes;
    std::string expected;  // "#" where the buffer stays untouched
  } rows[] = {
      {0, "#"}, {1, "#"}, {2, ""}, {3, ""}, {8, "Una"}, {200, full},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    char16_t buffer[100];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(TraceOpenLogFile(utf16(name).c_str(), buffer, row.bytes), -1);
    const std::string got = buffer[0] == u'#' ? "#" : message(buffer);
    EXPECT_EQ(got, row.expected);
    if (row.bytes >= 2 && row.bytes / 2 < 100) {
      EXPECT_EQ(buffer[row.bytes / 2], u'#') << "wrote past the buffer";
    }
  }
  EXPECT_EQ(TraceOpenLogFile(u"logs\\", nullptr, 100), -1);  // no buffer: only the result
  EXPECT_EQ(TraceCurrentSink(), nullptr);
}

TEST_F(TraceStateTest, UnknownModeReportsMessage153) {
  for (const char* mode : {"3", "7"}) {
    SCOPED_TRACE(mode);
    setSetting("ODBCTraceMode", mode);
    char16_t buffer[300] = {};
    EXPECT_EQ(TraceOpenLogFile(nullptr, buffer, sizeof buffer), -1);
    const char16_t* text = platform::findMessage(&vrTraceModule, kTraceMsgBadMode);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(buffer), std::u16string(text));
    EXPECT_EQ(TraceCurrentSink(), nullptr);
  }
}

// Names and message buffers the Driver Manager got wrong: nothing faults, an
// unreadable name fails the open as one that names no file, and a message
// goes only where the process may write. Each row in a child of its own, so
// a fault fails the row.
TEST(TraceOpenDeathTest, BadNamesAndMessageBuffersNeverFault) {
  enum class Name { kValid, kAtOne, kIntoInaccessible, kEndingInSeparator };
  enum class Buffer { kWritable, kReadOnly, kEightBytesWritable };
  const struct Row {
    const char* note;
    Name name;
    Buffer buffer;
    const char* mode;
    std::string message;  // what the writable part holds
  } rows[] = {
      {"name at 0x1", Name::kAtOne, Buffer::kWritable, "2", "Unable to open ODBC trace file "},
      {"name into an inaccessible page", Name::kIntoInaccessible, Buffer::kWritable, "2",
       "Unable to open ODBC trace file "},
      {"unreadable name, read-only buffer", Name::kAtOne, Buffer::kReadOnly, "2", ""},
      {"unopenable name, read-only buffer", Name::kEndingInSeparator, Buffer::kReadOnly, "2", ""},
      {"unopenable name, 8 bytes writable", Name::kEndingInSeparator, Buffer::kEightBytesWritable, "2", "Una"},
      {"unknown mode, read-only buffer", Name::kValid, Buffer::kReadOnly, "3", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    coretest::inFreshProcess([&row] {
      coretest::useTestSettings();
      setSetting("ODBCTraceMode", row.mode);
      // Writable, read-only and inaccessible pages; "abc" without its
      // terminator ends the read-only one.
      const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
      void* pages = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (!check(pages != MAP_FAILED, "pages")) return false;
      char* const readOnly = static_cast<char*>(pages) + page;
      std::memset(pages, '#', 2 * page);
      std::memcpy(readOnly + page - 6, u"abc", 6);
      mprotect(readOnly, page, PROT_READ);
      mprotect(readOnly + page, page, PROT_NONE);

      const char16_t* const names[] = {u"t.log", reinterpret_cast<const char16_t*>(uintptr_t{1}),
                                        reinterpret_cast<const char16_t*>(readOnly + page - 6), u"logs/"};
      char* const buffers[] = {static_cast<char*>(pages), readOnly, readOnly - 8};
      char16_t* const buffer = reinterpret_cast<char16_t*>(buffers[static_cast<int>(row.buffer)]);
      bool ok = check(TraceOpenLogFile(names[static_cast<int>(row.name)], buffer, 200) == -1, "fails");
      ok &= check(TraceCurrentSink() == nullptr, "no sink");
      ok &= check(std::count(readOnly, readOnly + 200, '#') == 200, "the read-only page untouched");
      if (row.buffer != Buffer::kReadOnly) ok &= check(message(buffer) == row.message, "the message");
      return ok;
    });
  }
}

TEST_F(TraceStateTest, FailedOpenIsTriedAgainByTheNextRecord) {
  TempDir dir;
  useFileSink(dir / "missing/t.log");
  char16_t buffer[300] = {};
  ASSERT_EQ(TraceOpenLogFile(nullptr, buffer, sizeof buffer), -1);
  EXPECT_EQ(message(buffer).rfind("Error (", 0), 0u) << message(buffer);
  EXPECT_NE(message(buffer).find("missing/t_01.log"), std::string::npos) << message(buffer);
  EXPECT_EQ(TraceCurrentSink(), nullptr);
  EXPECT_TRUE(errors_->ids().empty()) << "the open's errors stay in its own list";

  std::filesystem::create_directory(dir / "missing");
  TraceReturn(execDirect(0x10, "SELECT 1"), 0);
  EXPECT_EQ(countOf(readFile(dir / "missing/t_01.log"), "SQLExecDirect"), 2u);
}

// The application's errno is the Driver Manager's to set: failed opens,
// lazy opens and records leave it as the caller had it.
TEST_F(TraceStateTest, ErrnoIsLeftAsTheCallerHadIt) {
  TempDir dir;
  useFileSink(dir / "missing/t.log");
  errno = 77;
  EXPECT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), -1);
  EXPECT_EQ(errno, 77) << "failed open";
  const int16_t handle = execDirect(0x10, "SELECT 1");
  EXPECT_EQ(errno, 77) << "failed lazy open";
  std::filesystem::create_directory(dir / "missing");
  TraceReturn(handle, 0);
  TraceReturn(execDirect(0x11, "SELECT 2"), 0);
  EXPECT_EQ(errno, 77) << "records";
  EXPECT_EQ(TraceCloseLogFile(), 0);
  EXPECT_EQ(errno, 77) << "close";
}

TEST_F(TraceStateTest, RecordsAfterCloseWriteNothingAndDoNotEmptyTheLog) {
  TempDir dir;
  useFileSink(dir / "t.log");
  ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
  const int16_t parked = execDirect(0x10, "SELECT 1");
  ASSERT_NE(parked, 0);
  TraceCloseLogFile();
  const std::string closed = readFile(dir / "t_01.log");
  ASSERT_EQ(countOf(closed, "ENTER SQLExecDirect"), 1u);

  TraceReturn(parked, 0);  // parked before the close, returned after it
  const int16_t late = execDirect(0x11, "SELECT 2");
  EXPECT_NE(late, 0) << "the record is still parked";
  TraceReturn(late, 0);
  EXPECT_EQ(TraceCurrentSink(), nullptr);
  EXPECT_EQ(readFile(dir / "t_01.log"), closed);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"t_01.log"});

  // The caller's next open starts the log again.
  ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
  TraceReturn(execDirect(0x12, "SELECT 3"), 0);
  EXPECT_EQ(countOf(readFile(dir / "t_01.log"), "SQLExecDirect"), 2u);
}

TEST_F(TraceStateTest, CloseWithoutALogIsHarmless) {
  EXPECT_EQ(TraceCloseLogFile(), 0);
  EXPECT_EQ(TraceCloseLogFile(), 0);
}

TEST_F(TraceStateTest, ApplicationThreadsWithoutAnErrorListPostHarmlessly) {
  TempDir dir;
  useFileSink(dir / "sub/t.log");
  setSetting("ODBCTraceMaxFileSize", "1");  // 1 KiB: a few records, then the next file
  std::filesystem::create_directory(dir / "sub");
  ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
  std::filesystem::remove_all(dir / "sub");  // the next file cannot be opened

  bool listBefore = true;
  bool listAfter = true;
  std::thread application([&] {
    listBefore = JuErrorList::current() != nullptr;
    for (int i = 0; i < 20; ++i) TraceReturn(execDirect(0x20 + i, "SELECT 4"), 0);
    // A failed lazy open on this thread leaves no list of its own behind.
    TraceCloseLogFile();
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), -1);
    TraceReturn(execDirect(0x40, "SELECT 5"), 0);
    listAfter = JuErrorList::current() != nullptr;
  });
  application.join();
  EXPECT_FALSE(listBefore);
  EXPECT_FALSE(listAfter);
  EXPECT_TRUE(errors_->ids().empty()) << "nothing reaches other threads' lists";
}

// ---------------------------------------------------------------------------
// Settings.
// ---------------------------------------------------------------------------

TEST_F(TraceStateTest, UnparsableNumbersUseTheirDefaultAndLeaveNoError) {
  struct Row {
    const char* text;  // null: absent
    uint64_t expected;
  } rows[] = {
      {nullptr, 1024},  {"", 0},    {" +7 ", 7}, {"18446744073709551615", UINT64_MAX},
      {"abc", 99},      {"-5", 99}, {"12x", 99}, {"18446744073709551616", 99},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text != nullptr ? row.text : "absent");
    coretest::clearSettings();
    if (row.text != nullptr) setSetting("Key", row.text);
    EXPECT_EQ(TraceReadUnsignedSetting("Key", "1024", 99), row.expected);
    EXPECT_TRUE(errors_->ids().empty());
  }
  setSetting("Key", "-5");
  EXPECT_EQ(TraceReadSignedSetting("Key", "0", 9), -5);
  setSetting("Key", "x");
  EXPECT_EQ(TraceReadSignedSetting("Key", "0", 9), 9);
  EXPECT_TRUE(errors_->ids().empty());

  // An error that was there before stays.
  juPostError(kJuMsgInvalidNumber)->addParam("earlier");
  EXPECT_EQ(TraceReadUnsignedSetting("Key", "0", 3), 3u);
  EXPECT_EQ(errors_->ids(), std::vector<uint16_t>{kJuMsgInvalidNumber});
  EXPECT_NE(errors_->message(0).find("earlier"), std::string::npos);
}

TEST_F(TraceStateTest, UnparsableSinkSettingsOpenWithTheDefaults) {
  setSetting("ODBCTraceMemBuffSize", "lots");
  setSetting("ODBCTraceOptions", "?");
  ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
  auto* sink = dynamic_cast<JuMemoryTracing*>(TraceCurrentSink());
  ASSERT_NE(sink, nullptr);
  EXPECT_EQ(sink->bufferSize, 1024u * 1024u);
  EXPECT_EQ(TraceOptionValue(), 0u);
  TraceCloseLogFile();

  setSetting("ODBCTraceMode", "file?");  // unparsable: mode 0, the file sink
  TempDir dir;
  setSetting("TraceFile", dir / "t.log");
  ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
  EXPECT_NE(dynamic_cast<JuFileTracing*>(TraceCurrentSink()), nullptr);
  EXPECT_TRUE(errors_->ids().empty());
}

TEST_F(TraceStateTest, OptionValueKeepsTheLow32BitsOfASignedNumber) {
  struct Row {
    const char* text;
    uint32_t expected;
  } rows[] = {{"1", 1}, {"-1", 0xFFFFFFFFu}, {"4294967297", 1}, {"x", 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    setSetting("ODBCTraceOptions", row.text);
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
    EXPECT_EQ(TraceOptionValue(), row.expected);
    TraceCloseLogFile();
  }
}

// Each of the file sink's settings reaches it under its own key, and one
// that does not parse gives it that setting's default.
TEST_F(TraceStateTest, EachFileSinkSettingArrivesByItsKeyOrAsItsDefault) {
  struct Row {
    const char* key;  // null: no setting
    const char* text;
    uint64_t maxFiles;
    uint64_t counterWidth;
    uint32_t flushMode;
    uint64_t maxFileSize;
    uint64_t appendMode;
  } rows[] = {
      {nullptr, nullptr, 10, 2, 2, 102400 * 1024, 0},
      {"ODBCTraceMaxNumFiles", "x", 10, 2, 2, 102400 * 1024, 0},
      {"ODBCTraceMaxNumFiles", "100", 100, 3, 2, 102400 * 1024, 0},
      {"ODBCTraceFlush", "x", 10, 2, 2, 102400 * 1024, 0},
      {"ODBCTraceFlush", "0", 10, 2, 0, 102400 * 1024, 0},
      {"ODBCTraceMaxFileSize", "x", 10, 2, 2, 102400 * 1024, 0},
      {"ODBCTraceMaxFileSize", "1", 10, 2, 2, 1024, 0},
      {"TraceFileOpenAppendMode", "x", 10, 2, 2, 102400 * 1024, 0},
      {"TraceFileOpenAppendMode", "1", 10, 2, 2, 102400 * 1024, 1},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.key != nullptr ? row.key : "none") + "=" + (row.text != nullptr ? row.text : ""));
    coretest::clearSettings();
    useFileSink(dir / "t.log");
    if (row.key != nullptr) setSetting(row.key, row.text);
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
    auto* sink = dynamic_cast<JuFileTracing*>(TraceCurrentSink());
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(sink->maxFiles, row.maxFiles);
    EXPECT_EQ(sink->counterWidth, row.counterWidth);
    EXPECT_EQ(sink->flushMode, row.flushMode);
    EXPECT_EQ(sink->maxFileSize, row.maxFileSize);
    EXPECT_EQ(sink->appendMode, row.appendMode);
    TraceCloseLogFile();
  }
  EXPECT_TRUE(errors_->ids().empty());
}

// ---------------------------------------------------------------------------
// The name and the option string.
// ---------------------------------------------------------------------------

TEST(TraceFileSuffixTest, SuffixGoesBeforeTheLastDotOfTheFilePart) {
  struct Row {
    const char* name;
    const char* suffix;
    const char* expected;
  } rows[] = {
      {"logs\\SQL.LOG", "_1234_", "logs\\SQL_1234_.LOG"},
      {"logs/SQL.LOG", "_", "logs/SQL_.LOG"},
      {"a.b.log", "_", "a.b_.log"},
      {"trace", "_1234_", "trace_1234_"},
      {"dir.x/trace", "_", "dir.x/trace_"},
      {"dir.x\\trace", "_", "dir.x\\trace_"},
      {".log", "_", "_.log"},
      {"trace.", "_", "trace_."},
      {"", "_", "_"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    char out[64];
    ASSERT_EQ(TraceInsertFileSuffix(row.name, row.suffix, out, sizeof out), 0);
    EXPECT_STREQ(out, row.expected);
  }
}

TEST(TraceFileSuffixTest, ResultMustFitWhole) {
  char out[8];
  // "ab.c" + "_" is 5 bytes and a NUL.
  EXPECT_EQ(TraceInsertFileSuffix("ab.c", "_", out, 6), 0);
  EXPECT_STREQ(out, "ab_.c");
  std::fill(std::begin(out), std::end(out), '#');
  EXPECT_EQ(TraceInsertFileSuffix("ab.c", "_", out, 5), 1);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], '#');
  EXPECT_EQ(TraceInsertFileSuffix("ab.c", "_", out, 0), 1);
}

TEST(TraceSinkAttributesTest, PathsComeBackFromTheAttributeParserUnchanged) {
  jutest::ScopedErrorList errors;
  const uint64_t numbers[5] = {1024, 102400, 1, 10, UINT64_MAX};
  const char* paths[] = {
      "plain/SQL_1234_.LOG", "a;b.log", "{braced}.log", "x{y}.log", "a}b.log", "{a}}b;",  "q'u\"o`t.log",
      " lead.log",           "trail ",  "x=y;z=w",      "C:\\logs\\SQL.LOG",
  };
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    char text[2048];
    const size_t n = TraceBuildSinkAttributes(numbers, path, text, sizeof text);
    ASSERT_NE(n, 0u);
    EXPECT_EQ(std::strlen(text), n);
    JuValueParser parser(JuSubString(text), ';', nullptr, 0);
    ASSERT_EQ(parser.parse(), 0) << text;
    JuString* value = parser.get("TraceFile");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value->data, value->length), path) << text;
    JuString* flush = parser.get("ODBCTraceFlush");
    ASSERT_NE(flush, nullptr);
    EXPECT_EQ(std::string(flush->data, flush->length), "18446744073709551615");
  }
  char text[2048];
  TraceBuildSinkAttributes(numbers, "plain/x.log", text, sizeof text);
  EXPECT_STREQ(text,
               "ODBCTraceMemBuffSize=1024;ODBCTraceMaxFileSize=102400;TraceFileOpenAppendMode=1;"
               "ODBCTraceMaxNumFiles=10;ODBCTraceFlush=18446744073709551615;TraceFile=plain/x.log");
  EXPECT_TRUE(errors.ids().empty());
}

TEST(TraceSinkAttributesTest, TooSmallABufferGivesNothing) {
  const uint64_t numbers[5] = {1, 2, 3, 4, 5};
  char text[200];
  const size_t full = TraceBuildSinkAttributes(numbers, "{x}", text, sizeof text);
  ASSERT_NE(full, 0u);
  EXPECT_EQ(TraceBuildSinkAttributes(numbers, "{x}", text, full + 1), full);
  EXPECT_EQ(TraceBuildSinkAttributes(numbers, "{x}", text, full), 0u);
  EXPECT_EQ(text[0], '\0');
}

}  // namespace
