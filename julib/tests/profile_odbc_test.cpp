// The ODBC.INI route over unixODBC's real installer library, with ODBC.INI
// files in a temporary folder: round trips of the narrow and UTF-16 forms,
// writes that find their data source's file and restore the configuration
// mode, listings and their cuts, defaults.
//
// unixODBC reads ODBCSYSINI and ODBCINI once and keeps what it read inside
// the process (refreshed by its own writes), so the files are made once, before
// the first call, and every test uses data sources of its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "julib/profile.h"
#include "platform/library.h"
#include "profile_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::readWholeFile;

// The files and environment of the whole process.
struct OdbcFiles {
  OdbcFiles() {
    dir.makeDir("sys");
    dir.makeDir("user");
    dir.makeDir("home");
    dir.makeDir("registry");
    dir.write("sys/odbc.ini",
              "[SysOnly]\nDriver=SysDriver\nDescription=system only\n\n"
              "[SysOnly2]\nDriver=SysDriver\n\n"
              "[SysKeys]\nDriver=SysDriver\nDescription=keys\n\n"
              "[Both]\nDriver=SysBoth\n");
    dir.write("sys/odbcinst.ini", "[SysDriver]\nDriver=/nonexistent/driver.so\n");
    dir.write("user/odbc.ini",
              "[UserOnly]\nDriver=UserDriver\n\n"
              "[Both]\nDriver=UserBoth\n\n"
              "[CacheProbe]\nDriver=LongEnoughValue\n");
    setenv("ODBCSYSINI", (dir / "sys").c_str(), 1);
    setenv("ODBCINI", (dir / "user/odbc.ini").c_str(), 1);
    setenv("HOME", (dir / "home").c_str(), 1);
    platform::registry::setDirectoryForTesting((dir / "registry").c_str());
    library = platform::loadLibrary("odbccp32.dll");
    getMode = reinterpret_cast<int (*)(unsigned short*)>(platform::findFunction(library, "SQLGetConfigMode"));
    setMode = reinterpret_cast<int (*)(unsigned short)>(platform::findFunction(library, "SQLSetConfigMode"));
  }
  ~OdbcFiles() { platform::freeLibrary(library); }

  std::string systemFile() const { return readWholeFile(dir / "sys/odbc.ini"); }
  std::string userFile() const { return readWholeFile(dir / "user/odbc.ini"); }
  unsigned short mode() const {
    unsigned short mode = 99;
    EXPECT_NE(getMode(&mode), 0);
    return mode;
  }

  jutest::TempDir dir;
  platform::LibraryHandle library = nullptr;
  int (*getMode)(unsigned short*) = nullptr;
  int (*setMode)(unsigned short) = nullptr;
};

class ProfileOdbc : public jutest::JuTest {
 protected:
  void SetUp() override {
    static OdbcFiles shared;  // one for the process: unixODBC keeps its paths
    files_ = &shared;
    ASSERT_NE(files_->library, nullptr) << "unixODBC's installer library is missing";
    ASSERT_NE(files_->getMode, nullptr);
    ASSERT_NE(files_->setMode, nullptr);
    files_->setMode(0);
  }
  void TearDown() override { files_->setMode(0); }

  static std::string get(const char* section, const char* key, const char* fallback = "", size_t size = 4096) {
    std::vector<char> buffer(size + 1, 'Z');
    const size_t n = juGetPrivateProfileString(section, key, fallback, buffer.data(), size, "ODBC.INI", 0);
    EXPECT_EQ(buffer[size], 'Z');
    return std::string(buffer.data(), n);
  }
  static std::u16string getW(const char16_t* section, const char16_t* key, const char16_t* fallback = u"",
                             size_t size = 4096) {
    std::vector<char16_t> buffer(size + 1, u'Z');
    const size_t n = juGetPrivateProfileStringW(section, key, fallback, buffer.data(), size, u"ODBC.INI", 0);
    EXPECT_EQ(buffer[size], u'Z');
    return std::u16string(buffer.data(), n);
  }

  OdbcFiles* files_ = nullptr;
};

TEST_F(ProfileOdbc, BindsUnixOdbc) {
  juBindInstallerApi();
  EXPECT_EQ(juInstallerApiBindings(), 0x7Fu);
}

// The installer's files are UTF-8, whichever form wrote them: the narrow
// form converts from the ANSI code page, so both forms read one file alike.
TEST_F(ProfileOdbc, NarrowRoundTripWithNonAsciiText) {
  ASSERT_EQ(juWritePrivateProfileString("UserOnly", "Note", "caf\xE9 \x80", "ODBC.INI", 0), 0);
  EXPECT_NE(files_->userFile().find("Note=caf\xC3\xA9 \xE2\x82\xAC"), std::string::npos) << files_->userFile();
  EXPECT_EQ(get("UserOnly", "Note"), "caf\xE9 \x80");
  EXPECT_EQ(getW(u"UserOnly", u"Note"), u"caf\u00E9 \u20AC");
}

TEST_F(ProfileOdbc, WideRoundTripWithNonAsciiText) {
  ASSERT_EQ(juWritePrivateProfileStringW(u"UserOnly", u"NoteW", u"Gr\u00FC\u00DFe \u20AC", u"ODBC.INI", 0), 0);
  EXPECT_EQ(getW(u"UserOnly", u"NoteW"), u"Gr\u00FC\u00DFe \u20AC");
  EXPECT_EQ(get("UserOnly", "NoteW"), "Gr\xFC\xDF" "e \x80");
  // Any character reaches the file through the UTF-16 form; the narrow form
  // cannot hold it and reads it as '?'.
  EXPECT_EQ(juWritePrivateProfileStringW(u"UserOnly", u"NoteJ", u"\u65E5\u672C \U0001F600", u"ODBC.INI", 0), 0);
  EXPECT_NE(files_->userFile().find("NoteJ=\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"), std::string::npos);
  EXPECT_EQ(getW(u"UserOnly", u"NoteJ"), u"\u65E5\u672C \U0001F600");
  EXPECT_EQ(get("UserOnly", "NoteJ"), "?? ?");
  // A lone surrogate has no UTF-8 form: refused, not written as something else.
  const char16_t lone[] = {u'x', 0xD800, 0};
  EXPECT_EQ(juWritePrivateProfileStringW(u"UserOnly", u"NoteW", lone, u"ODBC.INI", 0), 1);
  EXPECT_EQ(getW(u"UserOnly", u"NoteW"), u"Gr\u00FC\u00DFe \u20AC");
}

TEST_F(ProfileOdbc, WriteToASystemOnlyDataSourceGoesThereAndRestoresTheMode) {
  ASSERT_EQ(files_->mode(), 0);
  ASSERT_EQ(juWritePrivateProfileString("SysOnly", "Extra", "one", "ODBC.INI", 0), 0);
  EXPECT_NE(files_->systemFile().find("Extra=one"), std::string::npos) << files_->systemFile();
  EXPECT_EQ(files_->userFile().find("[SysOnly]"), std::string::npos) << files_->userFile();
  EXPECT_EQ(files_->mode(), 0);

  files_->setMode(1);  // user data sources only
  ASSERT_EQ(juWritePrivateProfileStringW(u"SysOnly2", u"Extra2", u"two", u"ODBC.INI", 0), 0);
  EXPECT_NE(files_->systemFile().find("Extra2=two"), std::string::npos) << files_->systemFile();
  EXPECT_EQ(files_->userFile().find("[SysOnly2]"), std::string::npos) << files_->userFile();
  EXPECT_EQ(files_->mode(), 1);
  files_->setMode(0);
  EXPECT_EQ(get("SysOnly2", "Extra2"), "two");
}

TEST_F(ProfileOdbc, WriteToAUserDataSourceWinsOverTheSystemOne) {
  files_->setMode(2);
  ASSERT_EQ(juWritePrivateProfileString("Both", "Which", "user", "ODBC.INI", 0), 0);
  EXPECT_NE(files_->userFile().find("Which=user"), std::string::npos) << files_->userFile();
  EXPECT_EQ(files_->systemFile().find("Which"), std::string::npos);
  EXPECT_EQ(files_->mode(), 2);
}

TEST_F(ProfileOdbc, WriteToANewDataSourceUsesTheModeInForce) {
  files_->setMode(2);
  ASSERT_EQ(juWritePrivateProfileString("FreshSystem", "Driver", "SysDriver", "ODBC.INI", 0), 0);
  EXPECT_NE(files_->systemFile().find("[FreshSystem]"), std::string::npos);
  EXPECT_EQ(files_->mode(), 2);
  files_->setMode(1);
  ASSERT_EQ(juWritePrivateProfileString("FreshUser", "Driver", "UserDriver", "ODBC.INI", 0), 0);
  EXPECT_NE(files_->userFile().find("[FreshUser]"), std::string::npos);
  EXPECT_EQ(files_->mode(), 1);
}

TEST_F(ProfileOdbc, DefaultsAndSmallBuffers) {
  EXPECT_EQ(get("UserOnly", "Missing", "dflt"), "dflt");
  EXPECT_EQ(get("UserOnly", "Missing", nullptr), "");
  EXPECT_EQ(getW(u"UserOnly", u"Missing", u"dflt"), u"dflt");
  // A small buffer first: the installer keeps what it answered, so it must
  // never have been given the small one.
  EXPECT_EQ(get("CacheProbe", "Driver", "", 3), "Lo");
  EXPECT_EQ(get("CacheProbe", "Driver", "", 64), "LongEnoughValue");
  char buffer[2] = {'Z', 'Z'};
  EXPECT_EQ(juGetPrivateProfileString("CacheProbe", "Driver", "", buffer, 1, "ODBC.INI", 0), 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 'Z');
}

TEST_F(ProfileOdbc, SectionListingsAndTheirCuts) {
  const std::string all = get(nullptr, nullptr);
  const std::vector<std::string> sections = jutest::names(all.c_str());
  for (const char* expected : {"UserOnly", "SysOnly", "Both", "CacheProbe"}) {
    EXPECT_NE(std::find(sections.begin(), sections.end(), expected), sections.end()) << expected;
  }
  const size_t length = all.size();
  ASSERT_GT(length, 10u);
  std::vector<char> buffer(length + 3, 'Z');
  EXPECT_EQ(juGetPrivateProfileString(nullptr, nullptr, "", buffer.data(), length + 1, "ODBC.INI", 0), length);
  EXPECT_EQ(std::string(buffer.data(), length + 1), all + '\0');  // exactly fits: complete
  std::fill(buffer.begin(), buffer.end(), 'Z');
  EXPECT_EQ(juGetPrivateProfileString(nullptr, nullptr, "", buffer.data(), length, "ODBC.INI", 0), length - 2);
  EXPECT_EQ(buffer[length - 1], 0);  // cut: two terminators end the buffer
  EXPECT_EQ(buffer[length - 2], 0);
  EXPECT_EQ(buffer[length], 'Z');
  const std::vector<std::string> kept = jutest::names(buffer.data());
  EXPECT_EQ(kept, std::vector<std::string>(sections.begin(), sections.end() - 1));  // whole names only

  const std::u16string allW = getW(nullptr, nullptr);
  EXPECT_EQ(allW.size(), length);
  EXPECT_EQ(getW(u"SysKeys", nullptr), std::u16string(u"Driver\0Description\0", 19));
}

}  // namespace
