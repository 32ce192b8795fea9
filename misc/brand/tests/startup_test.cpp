// Start-up: the words of the command line, the switches' count, the program
// directory, the console front end's words, texts and exit codes, and the
// version-information exports.

#include "app/startup.h"
#include "console/console_front_end.h"
#include "engine/command_line.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/brand.h"
#include "front_end_doubles.h"
#include "testing/files.h"
#include "testing/temp_dir.h"

namespace {

using branddoubles::consoleOf;
using branddoubles::ScopedStdin;
using Startup = branddoubles::BrandTest;

std::vector<const char*> pointers(const std::vector<std::string>& words) {
  std::vector<const char*> out;
  for (const std::string& word : words) out.push_back(word.c_str());
  return out;
}

TEST(NextArgument, SkipsSwitchesAndKeepsEveryByte) {
  const struct {
    std::vector<std::string> words;
    int index;
    size_t size;
    int result;
    const char* word;
    int indexAfter;
  } rows[] = {
      {{"p", "SilentInstall", "rEPLACEiNSTALL", "XY"}, 1, 2000, 0, "XY", 4},
      {{"p", "XY", "SilentInstall"}, 2, 2000, 0, "", 3},  // the end of the words
      {{"p", "SilentInstallX"}, 1, 2000, 0, "SilentInstallX", 2},  // not a switch
      {{"p", "Soci\xC3\xA9t\xC3\xA9", "x"}, 1, 2000, 0, "Soci\xC3\xA9t\xC3\xA9", 2},
      {{"p", "abc"}, 1, 4, 0, "abc", 2},  // exactly fits
      {{"p", "abcd", "e"}, 1, 4, 1, "", 2},  // refused, passed over
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.words[row.index < 4 ? row.index : 0]);
    const std::vector<const char*> words = pointers(row.words);
    std::vector<char> word(row.size, '#');
    int index = row.index;
    EXPECT_EQ(nextArgument(word.data(), word.size(), words.data(), static_cast<int>(words.size()), &index),
              row.result);
    EXPECT_STREQ(word.data(), row.word);
    EXPECT_EQ(index, row.indexAfter);
  }
}

TEST(CountEntries, EachSwitchAnywhereCountsOnce) {
  const struct {
    const char* line;
    int count, entries;
    uint32_t silent, replace;
  } rows[] = {
      {"XY /d A B 520", 6, 6, 0, 0},
      {"silentinstall XY /d A B 520", 7, 6, 1, 0},
      {"XY /d/ReplaceInstallation A B 520", 6, 5, 0, 1},  // inside a word
      {"ReplaceInstall XY SILENTINSTALL /d A B 520", 8, 6, 1, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    brand object("/d");
    EXPECT_EQ(countEntries(object, row.line, row.count), row.entries);
    EXPECT_EQ(object.silent, row.silent);
    EXPECT_EQ(object.replaceInstall, row.replace);
  }
}

TEST(ProgramDirectory, IsTheTestProgramsFolder) {
  char directory[4096];
  getProgramDirectory(directory, sizeof directory);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(std::string(directory), self.substr(0, self.rfind('/')));
  char small[8] = "#######";
  getProgramDirectory(small, sizeof small);  // cut: no directory rather than a wrong one
  EXPECT_STREQ(small, "");
}

TEST(VersionExports, NarrowAndWideTextsAgree) {
  EXPECT_STREQ(getCompanyNameString(), "Tarnwell Software Corporation");
  EXPECT_STREQ(getFileVersionString(), "08.02.0293 (B9999, U9999)");
  EXPECT_EQ(std::u16string(getFileVersionStringW()), jutest::wide(getFileVersionString()));
}

// --- The console front end -------------------------------------------------

const char kBox[] =
    "\n\n\n*-------------------------------------------------------*\n"
    "|  Branding Complete.                                   |\n"
    "*-------------------------------------------------------*\n\n\n\nPress any key to exit...";

struct Outcome {
  int code = -1;
  std::string console;
};

// Runs the console front end on `words` ("DIR" stands for a directory that
// exists) with the INF `inf` beside the program ("": none).
Outcome runWords(brand& object, const jutest::TempDir& dir, const std::string& inf, std::vector<std::string> words) {
  const std::string program = dir.makeDir("program");
  if (!inf.empty()) dir.write("program/vrbrand.inf", inf);
  std::string line;
  words.insert(words.begin(), "vrbrd28");
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i] == "DIR") words[i] = dir.path();
    line += (i > 1 ? " " : "") + words[i];
  }
  const std::vector<const char*> argv = pointers(words);
  const int count = static_cast<int>(argv.size());
  const int entries = countEntries(object, line.c_str(), count);
  ScopedStdin input("");
  Outcome out;
  out.console = consoleOf([&] { out.code = runConsole(object, program.c_str(), argv.data(), count, entries); });
  return out;
}

const char kInf[] = "[START]\nPLATFORM=Linux\nVERSION=8.02.0293\n";

// What the end-to-end runs of the program cannot see: the words as the
// brand object holds them.
TEST_F(Startup, ConsoleWordsReachTheBrandObject) {
  const struct {
    std::vector<std::string> words;
    uint32_t messagePrefixMode, suffixMode, corvane61, versionMode;
    const char* suffix;
    const char16_t* messagePrefix;
    const char* searchEntry;  // the old version, in version mode
  } rows[] = {
      {{"xy", "DIR", "Acme", "Prod", "520", "32", "1.2"}, 0, 1, 0, 0, "32", u"", nullptr},  // version ignored
      {{"xy", "DIR", "Acme", "Prod", "M", "Acme", "45", "09.01.00.07"}, 1, 1, 0, 1, "45", u"Acme", "08.02"},
      {{"xy", "DIR", "Acme", "Prod", "M", "Soci\xC3\xA9t\xC3\xA9"}, 1, 0, 0, 0, "", u"Soci\u00E9t\u00E9", nullptr},
      {{"xy", "DIR", "Acme", "Prod", "CORVANE61", "Acme", "3x"}, 1, 1, 1, 0, "32", u"Acme", nullptr},
      {{"xy", "DIR", "Acme", "Prod", "M", "Acme", "x2"}, 1, 0, 0, 0, "x2", u"Acme", nullptr},
      {{"xy", "SilentInstall", "DIR", "Acme", "Prod", "520", "extra", "words", "too", "many"}, 0, 0, 0, 0, "extra",
       u"", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.words[4]);
    jutest::TempDir dir;
    brand object("/d");
    const Outcome out = runWords(object, dir, kInf, row.words);
    EXPECT_EQ(out.code, 0);
    EXPECT_EQ(out.console, object.silent != 0 ? "" : kBox);
    EXPECT_EQ(object.messagePrefixMode, row.messagePrefixMode);
    EXPECT_EQ(object.suffixMode, row.suffixMode);
    EXPECT_EQ(object.corvane61Mode, row.corvane61);
    EXPECT_EQ(object.versionMode, row.versionMode);
    EXPECT_STREQ(object.suffix, row.suffix);
    EXPECT_EQ(std::u16string(object.messagePrefix), row.messagePrefix);
    if (row.searchEntry != nullptr) {
      EXPECT_STREQ(object.searchEntry(0), row.searchEntry);
    }
  }
}

TEST_F(Startup, ConsoleFailuresSayWhyAndExitWithOne) {
  const std::string prefix31(31, 'p');
  std::string wide30;
  for (int i = 0; i < 30; ++i) wide30 += "\xC3\xA9";  // 30 characters in 60 bytes
  const struct {
    const char* inf;
    std::vector<std::string> words;
    const char* console;
    uint32_t status;
  } rows[] = {
      {"", {"xy", "DIR", "A", "P", "520"}, "The .inf file is invalid\n", 18},
      {"[START]\nPLATFORM=Linux\n", {"xy", "DIR", "A", "P", "520"}, "The .inf file is invalid\n", 18},
      {kInf, {"xy", "/no/such/dir", "A", "P", "520"}, "Invalid directory was specified\n", 14},
      {kInf, {"xy", "DIR", "", "P", "520"}, "no company name was specified\n", 12},
      {kInf, {"xy", "DIR", "A", "", "520"}, "no product name was specified\n", 12},
      {kInf, {"xy", "DIR", "A", "P", "M"}, "invalid message prefix specified\n", 13},
      {kInf, {"xy", "DIR", "A", "P", "M", ""}, "Invalid Message Prefix specified.\n", 13},
      {kInf, {"xy", "DIR", "A", "P", "M", prefix31}, "Invalid Message Prefix specified.\n", 13},
      {kInf, {"vr", "DIR", "A", "P", "520"}, "invalid argument\n", 5},
      {kInf, {"xyz", "DIR", "A", "P", "520"}, "invalid argument\n", 6},
      {kInf, {"xy", "SilentInstall", "DIR", "A", "", "520"}, "", 12},
      // 30 characters are enough, whatever their bytes.
      {kInf, {"xy", "DIR", "A", "P", "M", wide30}, kBox, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.console) + " " + row.words[0]);
    jutest::TempDir dir;
    brand object("/d");
    const Outcome out = runWords(object, dir, row.inf, row.words);
    EXPECT_EQ(out.code, row.status == 0 ? 0 : 1);
    EXPECT_EQ(out.console, row.console);
    EXPECT_EQ(object.status, row.status);
  }
}

}  // namespace
