// Helpers for the tests of the trace library's core: settings held in memory
// in place of ODBC.INI, a fixture that starts every test with no log open,
// reading the memory sink and files back, hand-made function descriptions,
// and a fresh-process runner for the start-up cases.
#ifndef VRTRACE_TESTS_CORE_TEST_UTIL_H
#define VRTRACE_TESTS_CORE_TEST_UTIL_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/utf16.h"
#include "sinks.h"
#include "testing/ju_test.h"
#include "testing/temp_dir.h"
#include "trace.h"

namespace coretest {

// ---------------------------------------------------------------------------
// Settings.
// ---------------------------------------------------------------------------

inline std::mutex& settingsMutex() {
  static std::mutex mutex;
  return mutex;
}

inline std::map<std::string, std::string>& settingsMap() {
  static std::map<std::string, std::string> values;
  return values;
}

// SQLGetPrivateProfileString over the map: the value or the fallback, cut
// to size - 1 bytes and terminated; the bytes copied.
inline size_t readTestSetting(const char* key, const char* fallback, char* buffer, size_t size) {
  std::lock_guard<std::mutex> guard(settingsMutex());
  const auto found = settingsMap().find(key);
  const std::string value = found != settingsMap().end() ? found->second : std::string(fallback);
  const size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return n;
}

inline void setSetting(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> guard(settingsMutex());
  settingsMap()[key] = value;
}

inline void clearSettings() {
  std::lock_guard<std::mutex> guard(settingsMutex());
  settingsMap().clear();
}

// The memory sink and the bare record form: what most tests read back.
inline void useTestSettings() {
  clearSettings();
  TraceSetSettingReaderForTesting(readTestSetting);
  setSetting("ODBCTraceMode", "2");
  setSetting("TraceOptions", "0");
}

// ---------------------------------------------------------------------------
// Reading logs back.
// ---------------------------------------------------------------------------

// The records the memory sink holds; empty without one.
inline std::string memoryLog() {
  TraceLock();
  auto* sink = dynamic_cast<JuMemoryTracing*>(TraceCurrentSink());
  std::string text;
  if (sink != nullptr && sink->buffer != nullptr) text.assign(sink->buffer, sink->writePosition);
  TraceUnlock();
  return text;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline size_t countOf(std::string_view text, std::string_view piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string_view::npos; at = text.find(piece, at + piece.size())) ++n;
  return n;
}

// The lines of a text, each with its line break.
inline std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const size_t take = end == std::string_view::npos ? text.size() : end + 1;
    lines.emplace_back(text.substr(0, take));
    text.remove_prefix(take);
  }
  return lines;
}

// Whether a line is an INFO entry's time line ("2026-03-01 14:05:09.\r\n").
inline bool isInfoTimeLine(std::string_view line) {
  constexpr std::string_view kForm = "dddd-dd-dd dd:dd:dd.\r\n";
  if (line.size() != kForm.size()) return false;
  for (size_t i = 0; i < kForm.size(); ++i) {
    if (kForm[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != kForm[i]) return false;
  }
  return true;
}

// A fresh folder, removed with what it holds at the end of the scope.
using TempDir = jutest::TempDir;

// UTF-16 of ASCII or UTF-8 text (test names and paths).
inline std::u16string utf16(const std::string& text) { return platform::utf16::fromUtf8(text); }

// ---------------------------------------------------------------------------
// Function descriptions, as the generated exports carry them.
// ---------------------------------------------------------------------------

inline const TraceFunction kExecDirect{11, "SQLExecDirect", 3, 0, {6, 13, 10}};
inline const TraceFunction kExecDirectW{11, "SQLExecDirectW", 3, 1, {6, 34, 10}};
inline const TraceFunction kPrepare{19, "SQLPrepare", 3, 0, {6, 13, 10}};
inline const TraceFunction kFetch{13, "SQLFetch", 1, 0, {6}};
inline const TraceFunction kFreeStmt{16, "SQLFreeStmt", 2, 0, {6, 7}};

inline uint64_t address(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

// One SQLExecDirect of `statement` with SQL_NTS; its handle.
inline int16_t execDirect(uint64_t statementHandle, const char* statement) {
  const uint64_t values[] = {statementHandle, address(statement), static_cast<uint64_t>(int64_t{-3})};
  return TraceCall(kExecDirect, values);
}

// ---------------------------------------------------------------------------
// Fixture.
// ---------------------------------------------------------------------------

// Every test starts after the process's start-up (the first open, which
// only readies the library), with no log open, test settings and its own
// error list; every test ends with the log closed.
class TraceCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool started = TraceOpenLogFile(nullptr, nullptr, 0) == 0;
    ASSERT_TRUE(started);
    useTestSettings();
    TraceCloseLogFile();
    errors_.emplace();
  }
  void TearDown() override {
    TraceCloseLogFile();
    errors_.reset();
    clearSettings();
  }

  // Opens the memory sink through the settings ("TraceFile" unused).
  void openMemoryLog() {
    setSetting("ODBCTraceMode", "2");
    ASSERT_EQ(TraceOpenLogFile(nullptr, nullptr, 0), 0);
    ASSERT_NE(dynamic_cast<JuMemoryTracing*>(TraceCurrentSink()), nullptr);
  }

  std::optional<jutest::ScopedErrorList> errors_;
};

// ---------------------------------------------------------------------------
// Fresh processes.
// ---------------------------------------------------------------------------

// Runs `body` in a new process that starts from the program's own start-up
// (the trace library not yet opened); passes when it returns true.
template <typename Body>
void inFreshProcess(Body body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool ok = body();
        std::fflush(stderr);
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A check inside a fresh process: says what failed on stderr.
inline bool check(bool condition, const char* what) {
  if (!condition) std::fprintf(stderr, "check failed: %s\n", what);
  return condition;
}

}  // namespace coretest

#endif  // VRTRACE_TESTS_CORE_TEST_UTIL_H
