// The trace settings read from ODBC.INI through unixODBC's installer: every
// read gives what the profile layer gives, whether it takes the installer
// straight (plain ASCII answers) or the layer's route (any other text, and
// buffers beyond the direct read's limit), in a single- and a double-byte
// ANSI code page.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "core_test_util.h"
#include "julib/profile.h"
#include "platform/process.h"

namespace {

const std::string kLong(1500, 'x');

struct Setting {
  const char* key;
  std::string value;  // UTF-8, as the installer's files are
};

const Setting kSettings[] = {
    {"Plain", "3"},
    {"Blanks", "  12"},
    {"Long", kLong},
    {"Empty", ""},
    {"Accented", "\xC3\xA9" "1"},
    {"LateAccent", "12\xC3\xA9"},
    {"Japanese", "\xE6\x97\xA5\xE6\x9C\xAC"},
};

// One set-up for the process: ODBC.INI's files in a folder of their own,
// written before the installer first reads them.
class SettingsInstallerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new coretest::TempDir();
    writeIni("");
    setenv("ODBCSYSINI", dir_->path().c_str(), 1);
    setenv("HOME", dir_->path().c_str(), 1);
    unsetenv("ODBCINI");
    TraceSetSettingReaderForTesting(nullptr);
  }
  // ODBC.INI: the settings above, then `more` lines.
  static void writeIni(const std::string& more) {
    std::ofstream ini(*dir_ / "odbc.ini");
    ini << "[ODBC]\n";
    for (const Setting& s : kSettings) ini << s.key << "=" << s.value << "\n";
    ini << more;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static coretest::TempDir* dir_;
};

coretest::TempDir* SettingsInstallerTest::dir_ = nullptr;

struct Read {
  size_t length;
  std::string text;
};

Read traceRead(const char* key, const char* fallback, size_t size) {
  std::string buffer(size, '\x7F');
  const size_t n = TraceReadSetting(key, fallback, buffer.data(), size);
  return {n, buffer.c_str()};
}

Read layerRead(const char* key, const char* fallback, size_t size) {
  std::string buffer(size, '\x7F');
  const size_t n = juGetPrivateProfileString("ODBC", key, fallback, buffer.data(), size, "ODBC.INI", 0);
  return {n, buffer.c_str()};
}

TEST_F(SettingsInstallerTest, ReadsAsTheProfileLayerDoes) {
  const char* keys[] = {"Plain", "Blanks", "Long", "Empty", "Accented", "LateAccent", "Japanese", "Missing"};
  const char* fallbacks[] = {"", "3"};
  const size_t sizes[] = {1, 2, 3, 4, 262, 1000, 1024, 1025, 2000};
  for (uint32_t codePage : {1252u, 932u}) {
    jutest::ScopedCodePage page(codePage);
    for (const char* key : keys) {
      for (const char* fallback : fallbacks) {
        for (size_t size : sizes) {
          SCOPED_TRACE(std::to_string(codePage) + " " + key + " '" + fallback + "' " + std::to_string(size));
          const Read expected = layerRead(key, fallback, size);
          const Read got = traceRead(key, fallback, size);
          EXPECT_EQ(got.length, expected.length);
          EXPECT_EQ(got.text, expected.text);
        }
      }
    }
  }
}

TEST_F(SettingsInstallerTest, PlainAnswersComeStraightFromTheInstaller) {
  // In a process of its own, so that nothing has bound the layer's
  // installer yet: plain answers leave it unbound, the first other one
  // binds it.
  coretest::inFreshProcess([] {
    using coretest::check;
    const Read plain = traceRead("Plain", "", 4);
    const Read cut = traceRead("Long", "", 4);
    const Read missing = traceRead("Missing", "3", 4);
    bool ok = check(plain.length == 1 && plain.text == "3", "Plain") &&
              check(cut.length == 3 && cut.text == "xxx", "Long") &&
              check(missing.length == 1 && missing.text == "3", "Missing") &&
              check(juInstallerApiBindings() == 0, "the layer's installer unbound");
    const Read accented = traceRead("Accented", "", 4);
    ok = ok && check(accented.text == "\xE9" "1", "Accented in code page 1252") &&
         check(juInstallerApiBindings() != 0, "the layer's installer bound");
    return ok;
  });
}

// "TraceOptions" is not asked of the installer for every record: a change
// shows from the first record that begins the refresh interval after the
// installer gives it. (The installer keeps what it read for a while of its
// own; a change written through it is given at once.)
TEST_F(SettingsInstallerTest, TraceOptionsChangesShowAfterTheRefreshInterval) {
  coretest::inFreshProcess([] {
    using coretest::check;
    // The installer writes to the user's file: one in the test's folder.
    setenv("ODBCINI", (*dir_ / "user.ini").c_str(), 1);
    writeIni("ODBCTraceMode=2\nTraceOptions=0\n");
    const char text[] = "SELECT 1";
    bool ok = check(TraceOpenLogFile(nullptr, nullptr, 0) == 0, "ready");
    TraceReturn(coretest::execDirect(0x10, text), 0);
    ok = ok && check(coretest::memoryLog().rfind("\n\nENTER SQLExecDirect\n", 0) == 0, "bare form first");
    ok = ok && check(juWritePrivateProfileString("ODBC", "TraceOptions", "2", "ODBC.INI", 0) == 0, "written");
    std::this_thread::sleep_for(std::chrono::milliseconds(kTraceOptionsRefreshMilliseconds + 50));
    TraceReturn(coretest::execDirect(0x10, text), 0);
    const std::string prefix = "\npid=" + std::to_string(platform::currentProcessId()) + ":tid=";
    ok = ok && check(coretest::countOf(coretest::memoryLog(), prefix) == 2, "the prefix after the interval");
    writeIni("");
    return ok;
  });
}

}  // namespace
