// The installer binding and the ODBC.INI route over a fake installer that
// records its calls: which functions are bound, the configuration-mode
// sequence around a write, the fallback to the registry mirror, and writers
// in several threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "julib/profile.h"
#include "platform/library.h"
#include "profile_test_util.h"
#include "testing/ju_test.h"

namespace {

constexpr char kInstallerName[] = "libodbcinst.so.2";

// ---------------------------------------------------------------------------
// The fake installer: user and system data sources, a configuration mode,
// and a log of the calls.
// ---------------------------------------------------------------------------

using Sections = std::map<std::string, std::map<std::string, std::string>>;

struct FakeInstaller {
  std::mutex mutex;
  Sections user;
  Sections system;
  unsigned short mode = 0;
  std::vector<std::string> log;
  bool writeFails = false;
  bool slow = false;                // yield inside the mode switch, to let threads interleave
  std::atomic<int> wideCalls{0};
  std::atomic<int> wrongModeWrites{0};
  std::vector<int> getSizes;
};
FakeInstaller* fake = nullptr;

std::string text(const char* s) { return s != nullptr ? s : "<null>"; }

const std::string* find(const Sections& sections, const std::string& section, const std::string& key) {
  auto s = sections.find(section);
  if (s == sections.end()) return nullptr;
  auto k = s->second.find(key);
  return k == s->second.end() ? nullptr : &k->second;
}

int fakeGet(const char* section, const char* key, const char* fallback, char* buffer, int size, const char* file) {
  std::lock_guard<std::mutex> guard(fake->mutex);
  fake->log.push_back("get " + text(section) + " " + text(key) + " " + text(fallback) + " " + text(file));
  fake->getSizes.push_back(size);
  if (fallback == nullptr) return -1;  // as unixODBC does
  const std::string* value = nullptr;
  if (section != nullptr && key != nullptr) {
    if (fake->mode != 2) value = find(fake->user, section, key);
    if (value == nullptr && fake->mode != 1) value = find(fake->system, section, key);
  }
  const std::string result = value != nullptr ? *value : fallback;
  const size_t n = std::min(result.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, result.data(), n);
  buffer[n] = 0;
  return static_cast<int>(n);
}

int fakeWrite(const char* section, const char* key, const char* value, const char* file) {
  std::lock_guard<std::mutex> guard(fake->mutex);
  fake->log.push_back("write " + text(section) + " " + text(key) + " " + text(value) + " " + text(file) + " mode " +
                      std::to_string(fake->mode));
  if (fake->writeFails) return 0;
  const std::string name = text(section);
  if (name.rfind("User", 0) == 0 && fake->mode != 1) ++fake->wrongModeWrites;
  if (name.rfind("Sys", 0) == 0 && fake->mode != 2) ++fake->wrongModeWrites;
  (fake->mode == 2 ? fake->system : fake->user)[name][text(key)] = text(value);
  return 1;
}

int fakeGetConfigMode(unsigned short* mode) {
  std::lock_guard<std::mutex> guard(fake->mutex);
  fake->log.push_back("getmode");
  *mode = fake->mode;
  return 1;
}

int fakeSetConfigMode(unsigned short mode) {
  {
    std::lock_guard<std::mutex> guard(fake->mutex);
    fake->log.push_back("setmode " + std::to_string(mode));
    fake->mode = mode;
  }
  if (fake->slow) std::this_thread::yield();
  return 1;
}

int fakeGetW(const char16_t*, const char16_t*, const char16_t*, char16_t*, int, const char16_t*) {
  ++fake->wideCalls;
  return 0;
}

int fakeWriteW(const char16_t*, const char16_t*, const char16_t*, const char16_t*) {
  ++fake->wideCalls;
  return 0;
}

const platform::FakeFunction kAllFunctions[] = {
    {"SQLGetPrivateProfileString", reinterpret_cast<void*>(&fakeGet)},
    {"SQLWritePrivateProfileString", reinterpret_cast<void*>(&fakeWrite)},
    {"SQLGetConfigMode", reinterpret_cast<void*>(&fakeGetConfigMode)},
    {"SQLSetConfigMode", reinterpret_cast<void*>(&fakeSetConfigMode)},
    {"SQLGetPrivateProfileStringW", reinterpret_cast<void*>(&fakeGetW)},
    {"SQLWritePrivateProfileStringW", reinterpret_cast<void*>(&fakeWriteW)},
};

// Each test starts unbound, with its own fake registered under the name the
// installer's Windows name maps to.
class ProfileInstaller : public jutest::JuTest {
 protected:
  void SetUp() override {
    fake = &state_;
    state_.user["UserDsn"]["Driver"] = "UserDriver";
    state_.system["SysDsn"]["Driver"] = "SysDriver";
    use(kAllFunctions, std::size(kAllFunctions));
  }
  void TearDown() override {
    juUnbindInstallerApi();
    platform::unregisterFakeLibrary(kInstallerName);
    fake = nullptr;
  }
  void use(const platform::FakeFunction* functions, size_t count) {
    juUnbindInstallerApi();
    ASSERT_TRUE(platform::registerFakeLibrary(kInstallerName, functions, count));
  }
  std::vector<std::string> takeLog() {
    std::vector<std::string> out;
    out.swap(state_.log);
    return out;
  }

  jutest::ScopedRegistry registry_;
  FakeInstaller state_;
};

using Log = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Binding.
// ---------------------------------------------------------------------------

TEST_F(ProfileInstaller, BindsTheSixFunctionsOnce) {
  EXPECT_EQ(juInstallerApiBindings(), 0u);
  juBindInstallerApi();
  EXPECT_EQ(juInstallerApiBindings(), 0x7Fu);
  juBindInstallerApi();
  EXPECT_EQ(platform::fakeLibraryLoads(kInstallerName), 1u);
  juUnbindInstallerApi();
  EXPECT_EQ(juInstallerApiBindings(), 0u);
  // The operations bind on their own.
  char buffer[16];
  EXPECT_EQ(juGetPrivateProfileString("UserDsn", "Driver", "", buffer, 16, "ODBC.INI", 0), 10u);
  EXPECT_EQ(juInstallerApiBindings(), 0x7Fu);
  EXPECT_EQ(platform::fakeLibraryLoads(kInstallerName), 2u);
}

TEST_F(ProfileInstaller, MissingFunctionsStayUnbound) {
  const platform::FakeFunction some[] = {kAllFunctions[0], kAllFunctions[1]};
  use(some, 2);
  juBindInstallerApi();
  EXPECT_EQ(juInstallerApiBindings(), kJuInstallerLibrary | kJuInstallerGet | kJuInstallerWrite);
}

// ---------------------------------------------------------------------------
// Reads.
// ---------------------------------------------------------------------------

TEST_F(ProfileInstaller, ReadsAskTheInstallerForOdbcIniWithRoomToSpare) {
  char buffer[4];
  EXPECT_EQ(juGetPrivateProfileString("UserDsn", "Driver", nullptr, buffer, 4, "C:\\x\\ODBC", 0), 3u);
  EXPECT_STREQ(buffer, "Use");
  // The installer's own name, a default it accepts, and never a small buffer
  // (it would keep the cut value for later reads).
  EXPECT_EQ(takeLog(), (Log{"get UserDsn Driver  ODBC.INI"}));
  ASSERT_EQ(state_.getSizes.size(), 1u);
  EXPECT_GE(state_.getSizes[0], 4096);
  // The UTF-16 form goes through the narrow function; the files are UTF-8.
  state_.user["UserDsn"]["Note"] = "caf\xC3\xA9";
  char16_t wide[16];
  EXPECT_EQ(juGetPrivateProfileStringW(u"UserDsn", u"Note", u"", wide, 16, u"ODBC.INI", 0), 4u);
  EXPECT_EQ(std::u16string(wide), u"caf\u00E9");
  EXPECT_EQ(state_.wideCalls.load(), 0);
}

// ---------------------------------------------------------------------------
// The configuration-mode sequence of a write.
// ---------------------------------------------------------------------------

TEST_F(ProfileInstaller, WriteToASystemDataSourceGoesThereAndRestoresTheMode) {
  EXPECT_EQ(juWritePrivateProfileString("SysDsn", "Trace", "1", "ODBC.INI", 0), 0);
  EXPECT_EQ(takeLog(), (Log{"getmode", "setmode 1", "get SysDsn Driver  ODBC.INI", "setmode 2",
                            "get SysDsn Driver  ODBC.INI", "write SysDsn Trace 1 ODBC.INI mode 2", "setmode 0"}));
  EXPECT_EQ(state_.system["SysDsn"]["Trace"], "1");
  EXPECT_EQ(state_.mode, 0);
}

TEST_F(ProfileInstaller, WriteToAUserDataSourceStopsAtTheFirstProbe) {
  state_.mode = 2;
  EXPECT_EQ(juWritePrivateProfileString("UserDsn", "Trace", "1", "ODBC.INI", 0), 0);
  EXPECT_EQ(takeLog(), (Log{"getmode", "setmode 1", "get UserDsn Driver  ODBC.INI",
                            "write UserDsn Trace 1 ODBC.INI mode 1", "setmode 2"}));
  EXPECT_EQ(state_.mode, 2);
}

TEST_F(ProfileInstaller, WriteToANewDataSourceUsesTheModeInForce) {
  state_.mode = 1;
  EXPECT_EQ(juWritePrivateProfileString("NewDsn", "Driver", "X", "ODBC", 0), 0);
  EXPECT_EQ(takeLog(), (Log{"getmode", "setmode 1", "get NewDsn Driver  ODBC.INI", "setmode 2",
                            "get NewDsn Driver  ODBC.INI", "setmode 1", "write NewDsn Driver X ODBC.INI mode 1"}));
  EXPECT_EQ(state_.mode, 1);
}

TEST_F(ProfileInstaller, WriteResultsFollowOneConvention) {
  EXPECT_EQ(juWritePrivateProfileString("UserDsn", "K", "v", "ODBC.INI", 0), 0);
  state_.writeFails = true;
  EXPECT_EQ(juWritePrivateProfileString("UserDsn", "K", "v", "ODBC.INI", 0), 1);
  EXPECT_EQ(juWritePrivateProfileStringW(u"UserDsn", u"K", u"v", u"ODBC.INI", 0), 1);
  EXPECT_EQ(state_.mode, 0);
}

TEST_F(ProfileInstaller, WritesReachTheNarrowFunctionAsUtf8) {
  EXPECT_EQ(juWritePrivateProfileStringW(u"UserDsn", u"Note", u"caf\u00E9 \u65E5", u"ODBC.INI", 0), 0);
  EXPECT_EQ(state_.user["UserDsn"]["Note"], "caf\xC3\xA9 \xE6\x97\xA5");
  EXPECT_EQ(juWritePrivateProfileString("UserDsn", "Narrow", "caf\xE9", "ODBC.INI", 0), 0);
  EXPECT_EQ(state_.user["UserDsn"]["Narrow"], "caf\xC3\xA9");
  EXPECT_EQ(state_.wideCalls.load(), 0);
  // A text without a UTF-8 form (a lone surrogate) is refused, not changed.
  takeLog();
  const char16_t lone[] = {0xDC00, 0};
  EXPECT_EQ(juWritePrivateProfileStringW(u"UserDsn", u"Note", lone, u"ODBC.INI", 0), 1);
  EXPECT_EQ(takeLog(), Log{});
  EXPECT_EQ(state_.user["UserDsn"]["Note"], "caf\xC3\xA9 \xE6\x97\xA5");
}

TEST_F(ProfileInstaller, WithoutModeFunctionsTheWriteGoesStraightThrough) {
  const platform::FakeFunction noModes[] = {kAllFunctions[0], kAllFunctions[1]};
  use(noModes, 2);
  state_.mode = 2;
  EXPECT_EQ(juWritePrivateProfileString("UserDsn", "K", "v", "ODBC.INI", 0), 0);
  EXPECT_EQ(takeLog(), (Log{"write UserDsn K v ODBC.INI mode 2"}));
  // Without a get there is nothing to probe with: the mode in force is kept.
  const platform::FakeFunction noGet[] = {kAllFunctions[1], kAllFunctions[2], kAllFunctions[3]};
  use(noGet, 3);
  EXPECT_EQ(juWritePrivateProfileString("SysDsn", "K", "v", "ODBC.INI", 0), 0);
  EXPECT_EQ(takeLog(), (Log{"getmode", "write SysDsn K v ODBC.INI mode 2"}));
}

// ---------------------------------------------------------------------------
// Without the installer's functions ODBC.INI is the registry mirror.
// ---------------------------------------------------------------------------

TEST_F(ProfileInstaller, MissingFunctionsFallBackToTheRegistryMirror) {
  use(nullptr, 0);
  EXPECT_EQ(juWritePrivateProfileString("MyDsn", "Driver", "caf\xE9", "ODBC.INI", 0), 0);
  EXPECT_EQ(juWritePrivateProfileStringW(u"MyDsn", u"Wide", u"\u65E5", u"ODBC.INI", 0), 0);
  EXPECT_EQ(jutest::regValue(jutest::currentUser(), u"SOFTWARE\\ODBC\\ODBC.INI\\MyDsn", u"Driver"), u"caf\u00E9");
  EXPECT_EQ(jutest::regValue(jutest::currentUser(), u"SOFTWARE\\ODBC\\ODBC.INI\\MyDsn", u"Wide"), u"\u65E5");
  char buffer[32];
  EXPECT_EQ(juGetPrivateProfileString("MyDsn", "Driver", "", buffer, 32, "ODBC.INI", 0), 4u);
  EXPECT_STREQ(buffer, "caf\xE9");
  char16_t wide[32];
  EXPECT_EQ(juGetPrivateProfileStringW(u"MyDsn", u"Wide", u"", wide, 32, u"ODBC.INI", 0), 1u);
  EXPECT_EQ(std::u16string(wide), u"\u65E5");
  EXPECT_EQ(juGetPrivateProfileString(nullptr, nullptr, "", buffer, 32, "ODBC.INI", 0), 6u);
  EXPECT_EQ(std::string(buffer, 7), std::string("MyDsn\0\0", 7));
  EXPECT_EQ(juInstallerApiBindings(), kJuInstallerLibrary);
  EXPECT_EQ(takeLog(), Log{});
}

// ---------------------------------------------------------------------------
// Threads: the mode switch runs under the profile lock.
// ---------------------------------------------------------------------------

TEST_F(ProfileInstaller, ConcurrentWritersNeverLeaveTheModeWrong) {
  state_.slow = true;
  state_.user["UserA"]["Driver"] = "d";
  state_.system["SysB"]["Driver"] = "d";
  std::atomic<int> failures{0};
  auto writer = [&failures](const char* section) {
    jutest::ScopedErrorList errors;
    for (int i = 0; i < 300; ++i) {
      if (juWritePrivateProfileString(section, "K", std::to_string(i).c_str(), "ODBC.INI", 0) != 0) ++failures;
    }
  };
  std::thread a(writer, "UserA");
  std::thread b(writer, "SysB");
  std::atomic<int> misses{0};
  std::thread c([&misses] {
    // A reader sees the mode in force (both kinds of data source), never a
    // writer's switch to the system ones.
    jutest::ScopedErrorList errors;
    char buffer[16];
    for (int i = 0; i < 300; ++i) {
      if (juGetPrivateProfileString("UserA", "Driver", "", buffer, 16, "ODBC.INI", 0) != 1) ++misses;
    }
  });
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(misses.load(), 0);
  EXPECT_EQ(state_.wrongModeWrites.load(), 0);
  EXPECT_EQ(state_.mode, 0);
  EXPECT_EQ(state_.user["UserA"]["K"], "299");
  EXPECT_EQ(state_.system["SysB"]["K"], "299");
}

}  // namespace
