// The INI reader and writer on real files in a temporary folder, with
// threads and a second process writing one file at once.

#include "platform/profile/ini.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testing/files.h"

extern char** environ;

namespace {

using jutest::pathExists;
using jutest::readWholeFile;
using jutest::TempDir;
namespace ini = platform::ini;

// A result as the caller's buffer holds it: `length` is what getString
// returned, `units` the whole buffer (guard units past it must survive).
struct Result {
  size_t length;
  std::u16string units;
};

constexpr char16_t kGuard = u'#';
constexpr size_t kGuardUnits = 4;

Result get(const char16_t* section, const char16_t* key, const char16_t* fallback, size_t units,
           const std::string& file) {
  std::u16string buffer(units + kGuardUnits, kGuard);
  const size_t length = ini::getString(section, key, fallback, buffer.data(), units, file.c_str());
  for (size_t i = units; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], kGuard) << "written past the buffer at " << i;
  buffer.resize(units);
  return {length, buffer};
}

// A value read with room to spare, as the text before its terminator.
std::u16string value(const char16_t* section, const char16_t* key, const std::string& file,
                     const char16_t* fallback = u"<default>") {
  const Result result = get(section, key, fallback, 4096, file);
  const std::u16string text = result.units.substr(0, result.units.find(u'\0'));
  EXPECT_EQ(result.length, text.size());
  return text;
}

std::u16string list(const char16_t* section, const std::string& file) {
  const Result result = get(section, nullptr, u"", 4096, file);
  return result.units.substr(0, result.length);
}

class IniTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

// ---------------------------------------------------------------------------
// Reading.
// ---------------------------------------------------------------------------

TEST_F(IniTest, ReadsValuesAsWindowsProfilesDo) {
  const std::string file = dir_.write("a.ini",
                                      "orphan=before any section\n"
                                      "[START]\n"
                                      "VERSION=2.80\n"
                                      "  Spaced Key  =   spaced value   \n"
                                      "dq=\"  quoted  \"\n"
                                      "sq='single'\n"
                                      "half=\"open\n"
                                      "mixed=\"a'\n"
                                      "one=\"\n"
                                      "empty=\n"
                                      "blank=    \n"
                                      "quotedEmpty= \"\" \n"
                                      "noequals\n"
                                      "; comment=not a key\n"
                                      "   ;indented=comment\n"
                                      "eq=a=b\n"
                                      "dup=first\n"
                                      "DUP=second\n"
                                      "[ Été ]\n"
                                      "clé=valeur\n"
                                      "ΣΟΦΊΑ=greek\n"
                                      "[broken\n"
                                      "after=broken header\n"
                                      "[start]\n"
                                      "VERSION=9.99\n"
                                      "later=only in the second copy\n"
                                      "[tail] text after\n"
                                      "x=tail\n");
  const struct {
    const char16_t* section;
    const char16_t* key;
    const char16_t* expected;
    const char* note;
  } rows[] = {
      {u"START", u"VERSION", u"2.80", "plain"},
      {u"start", u"version", u"2.80", "case ignored; first section wins"},
      {u"  START ", u" VERSION\t", u"2.80", "blanks around the caller's names dropped"},
      {u"START", u"spaced key", u"spaced value", "blanks around the file's names and value dropped"},
      {u"START", u"dq", u"  quoted  ", "double quotes go, blanks inside stay"},
      {u"START", u"sq", u"single", "single quotes go"},
      {u"START", u"half", u"\"open", "one quote stays"},
      {u"START", u"mixed", u"\"a'", "quotes that differ stay"},
      {u"START", u"one", u"\"", "a lone quote is no pair"},
      {u"START", u"empty", u"", "an empty value is a value, not the default"},
      {u"START", u"blank", u"", "a blank value is empty"},
      {u"START", u"quotedEmpty", u"", "a pair of quotes around nothing is empty"},
      {u"START", u"noequals", u"<default>", "a line without '=' is no key"},
      {u"START", u"; comment", u"<default>", "comment"},
      {u"START", u";indented", u"<default>", "indented comment"},
      {u"START", u"eq", u"a=b", "value runs past a second '='"},
      {u"START", u"dup", u"first", "first key wins"},
      {u"START", u"later", u"<default>", "a second copy of a section is not read"},
      {u"START", u"orphan", u"<default>", "keys before any section belong to none"},
      {u"START", u"missing", u"<default>", "missing key"},
      {u"MISSING", u"VERSION", u"<default>", "missing section"},
      {u"éTÉ", u"CLÉ", u"valeur", "non-ASCII names ignore case"},
      {u"été", u"σοφία", u"greek", "Greek upper and lower case"},
      {u"ete", u"cle", u"<default>", "accents are not dropped"},
      {u"été", u"after", u"broken header", "a '[' line without ']' changes no section"},
      {u"broken", u"after", u"<default>", "and opens none"},
      {u"tail", u"x", u"tail", "text after ']' ignored"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(value(row.section, row.key, file), row.expected);
  }
}

TEST_F(IniTest, LineEndsByteOrderMarkAndLatin1) {
  const std::string crlf = dir_.write("crlf.ini", "[S]\r\nk=v\r\nq=\"x\"\r\nlast=end");
  EXPECT_EQ(value(u"S", u"k", crlf), u"v");
  EXPECT_EQ(value(u"S", u"q", crlf), u"x");
  EXPECT_EQ(value(u"S", u"last", crlf), u"end");

  const std::string bom = dir_.write("bom.ini", "\xEF\xBB\xBF[S]\nk=v\n");
  EXPECT_EQ(value(u"S", u"k", bom), u"v");
  EXPECT_EQ(list(nullptr, bom), std::u16string(u"S\0", 2));

  // "caf\xE9" is not UTF-8: each such byte reads as its Latin-1 character,
  // while the valid UTF-8 next to it still reads as UTF-8.
  const std::string latin = dir_.write("latin.ini", "[caf\xE9]\nna\xEFve=\xE0 la \xC3\xA9t\xE9\n");
  EXPECT_EQ(value(u"CAFÉ", u"NAÏVE", latin), u"à la été");
}

TEST_F(IniTest, MissingOrUnreadableFileReadsAsEmpty) {
  const std::string missing = dir_ / "missing.ini";
  const std::string directory = dir_.makeDir("folder.ini");
  for (const std::string& file : {missing, directory, std::string(5000, 'n')}) {
    SCOPED_TRACE(file.substr(0, 80));
    EXPECT_EQ(value(u"S", u"k", file, u"dflt"), u"dflt");
    EXPECT_EQ(value(u"S", u"k", file, nullptr), u"");
    EXPECT_EQ(list(nullptr, file), u"");
  }
  char16_t buffer[8] = u"xxxxxxx";
  EXPECT_EQ(ini::getString(u"S", u"k", u"d", buffer, 8, nullptr), 1u);
  EXPECT_EQ(std::u16string(buffer), u"d");
  EXPECT_EQ(ini::getString(u"S", u"k", u"d", nullptr, 8, missing.c_str()), 0u);
  EXPECT_FALSE(pathExists(missing));
}

TEST_F(IniTest, ValuesAreBounded) {
  const std::string file = dir_.write("b.ini",
                                      "[S]\nk=abcd\nsup=a\xF0\x9F\x98\x80"
                                      "b\n");
  const struct {
    const char16_t* key;
    size_t units;
    size_t expected;
    std::u16string text;  // the buffer's first `units` units
  } rows[] = {
      {u"k", 0, 0, u""},
      {u"k", 1, 0, std::u16string(u"\0", 1)},
      {u"k", 2, 1, std::u16string(u"a\0", 2)},
      {u"k", 4, 3, std::u16string(u"abc\0", 4)},
      {u"k", 5, 4, std::u16string(u"abcd\0", 5)},
      {u"k", 6, 4, std::u16string(u"abcd\0#", 6)},
      {u"sup", 5, 4, std::u16string(u"a\U0001F600b\0", 5)},
      {u"sup", 3, 2, std::u16string(u"a\xD83D\0", 3)},  // units - 1, even inside a pair
      {u"missing", 3, 2, std::u16string(u"fa\0", 3)},
      {u"missing", 9, 8, std::u16string(u"fallback\0", 9)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.units);
    std::u16string buffer(row.units + kGuardUnits, kGuard);
    EXPECT_EQ(ini::getString(u"S", row.key, u"fallback", buffer.data(), row.units, file.c_str()), row.expected);
    EXPECT_EQ(buffer.substr(0, row.units), row.text.substr(0, row.units));
    EXPECT_EQ(buffer.substr(row.units), std::u16string(kGuardUnits, kGuard));
  }
}

TEST_F(IniTest, ListsSectionsAndKeys) {
  const std::string file = dir_.write("l.ini",
                                      "[One]\nb=1\na=2\nB=3\n; c=4\nempty=\n"
                                      "[Two]\n"
                                      "[one]\nlater=5\n"
                                      "[Ünï]\nÉ=6\n");
  EXPECT_EQ(list(nullptr, file), std::u16string(u"One\0Two\0Ünï\0", 12));
  EXPECT_EQ(list(u"ONE", file), std::u16string(u"b\0a\0empty\0", 10));
  EXPECT_EQ(list(u"ünÏ", file), std::u16string(u"É\0", 2));
  // A section without keys, or none at all, gives the fallback.
  EXPECT_EQ(value(u"Two", nullptr, file, u"none"), u"none");
  EXPECT_EQ(value(u"Three", nullptr, file, u"none"), u"none");
  const std::string empty = dir_.write("e.ini", "; nothing\n");
  EXPECT_EQ(value(nullptr, nullptr, empty, u"none"), u"none");
}

TEST_F(IniTest, CutListsEndInTwoTerminators) {
  // "ab\0cd\0" is 6 units; the whole list needs 7.
  const std::string file = dir_.write("c.ini", "[ab]\n[cd]\n");
  const struct {
    size_t units;
    size_t expected;
    std::u16string text;
  } rows[] = {
      {0, 0, u""},
      {1, 0, std::u16string(u"\0", 1)},
      {2, 0, std::u16string(u"\0\0", 2)},
      {3, 1, std::u16string(u"a\0\0", 3)},
      {5, 3, std::u16string(u"ab\0\0\0", 5)},
      {6, 4, std::u16string(u"ab\0c\0\0", 6)},
      {7, 6, std::u16string(u"ab\0cd\0\0", 7)},
      {8, 6, std::u16string(u"ab\0cd\0\0#", 8)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.units);
    const Result result = get(nullptr, nullptr, u"", row.units, file);
    EXPECT_EQ(result.length, row.expected);
    EXPECT_EQ(result.units, row.text);
  }
}

TEST_F(IniTest, LongLinesAreRead) {
  const std::string big(1 << 20, 'x');
  const std::string file = dir_.write("long.ini", "[S]\nk=" + big + "\n" + big + "\n" + "after=1\n");
  EXPECT_EQ(value(u"S", u"k", file).size(), 4095u);
  std::u16string buffer(big.size() + 1, u'\0');
  EXPECT_EQ(ini::getString(u"S", u"k", u"", buffer.data(), buffer.size(), file.c_str()), big.size());
  EXPECT_EQ(buffer.find_first_not_of(u'x'), big.size());
  EXPECT_EQ(value(u"S", u"after", file), u"1");
}

// ---------------------------------------------------------------------------
// Writing.
// ---------------------------------------------------------------------------

struct EditRow {
  std::string before;  // "<missing>": no file
  const char16_t* section;
  const char16_t* key;
  const char16_t* value;
  std::string after;  // "<missing>": still no file
  const char* note;
};

void checkEdits(const TempDir& dir, const EditRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const EditRow& row = rows[i];
    SCOPED_TRACE(row.note);
    const std::string file = dir / ("edit" + std::to_string(i) + ".ini");
    if (row.before != "<missing>") dir.write("edit" + std::to_string(i) + ".ini", row.before);
    EXPECT_TRUE(ini::writeString(row.section, row.key, row.value, file.c_str()));
    if (row.after == "<missing>") {
      EXPECT_FALSE(pathExists(file));
    } else {
      EXPECT_EQ(readWholeFile(file), row.after);
    }
  }
}

TEST_F(IniTest, WritesKeepTheOtherLines) {
  const std::string doc = "; head\n[A]\nx = 1\n\n; about y\ny=\"2\"\n\n[B]\nz=3\n";
  const EditRow rows[] = {
      {"<missing>", u"S", u"k", u"v", "[S]\nk=v\n", "a new file"},
      {"", u"S", u"k", u"v", "[S]\nk=v\n", "an empty file"},
      {doc, u"a", u"X", u"10", "; head\n[A]\nx = 10\n\n; about y\ny=\"2\"\n\n[B]\nz=3\n", "in place, spelling kept"},
      {doc, u"A", u"y", u"two", "; head\n[A]\nx = 1\n\n; about y\ny=two\n\n[B]\nz=3\n", "quoted value replaced"},
      {doc, u"A", u"new", u"4", "; head\n[A]\nx = 1\n\n; about y\ny=\"2\"\nnew=4\n\n[B]\nz=3\n", "after the last key"},
      {doc, u"  C ", u" k ", u" v ", doc + "[C]\nk= v \n", "new section at the end; names trimmed"},
      {doc, u"A", u"x", nullptr, "; head\n[A]\n\n; about y\ny=\"2\"\n\n[B]\nz=3\n", "delete a key"},
      {doc, u"a", nullptr, nullptr, "; head\n[B]\nz=3\n", "delete a section"},
      {doc, u"B", u"missing", nullptr, doc, "delete a missing key"},
      {doc, u"Missing", nullptr, nullptr, doc, "delete a missing section"},
      {"<missing>", u"S", u"k", nullptr, "<missing>", "deleting creates no file"},
      {"<missing>", u"S", nullptr, nullptr, "<missing>", "deleting a section creates no file"},
      {"[A]\nk=1", u"A", u"j", u"2", "[A]\nk=1\nj=2\n", "last line without a line end"},
      {"[A]", u"A", u"j", u"2", "[A]\nj=2\n", "header without a line end"},
      {"x", u"B", u"j", u"2", "x\n[B]\nj=2\n", "text without a line end"},
      {"[A]\r\nk=1\r\n", u"B", u"j", u"2", "[A]\r\nk=1\r\n[B]\r\nj=2\r\n", "CRLF kept for new lines"},
      {"[A]\r\nk=1\r\n", u"A", u"k", u"9", "[A]\r\nk=9\r\n", "CRLF kept in place"},
      {"\xEF\xBB\xBF", u"A", u"k", u"1", "\xEF\xBB\xBF[A]\nk=1\n", "byte order mark kept"},
      {"\xEF\xBB\xBF[A]\nk=1\n", u"A", nullptr, nullptr, "\xEF\xBB\xBF", "byte order mark kept alone"},
      {"[A]\nk=1\nK=2\n[a]\nk=3\n", u"A", u"k", nullptr, "[A]\n[a]\nk=3\n", "every copy in the first section"},
      {"[A]\nk=1\n[B]\n[a]\nk=3\n", u"A", nullptr, nullptr, "[B]\n", "every copy of the section"},
      {"[A]\nk=1\n[a]\nj=3\n", u"A", u"j", u"4", "[A]\nk=1\nj=4\n[a]\nj=3\n", "reads see the first section"},
      {"[caf\xE9]\nk=\xE0\n", u"CAFÉ", u"n", u"été", "[caf\xE9]\nk=\xE0\nn=\xC3\xA9t\xC3\xA9\n",
       "Latin-1 kept, UTF-8 written"},
      {"[A]\nk=1\n", u"A", u"k", u"a\xD800z\U0001F600", "[A]\nk=a\xEF\xBF\xBDz\xF0\x9F\x98\x80\n", "a lone surrogate"},
      {"[A]\nk=1\n", u"A", u"k", u"", "[A]\nk=\n", "an empty value is kept as a key"},
  };
  checkEdits(dir_, rows, sizeof rows / sizeof rows[0]);
}

TEST_F(IniTest, WrittenValuesReadBack) {
  const std::string file = dir_ / "rw.ini";
  ASSERT_TRUE(ini::writeString(u"Größe", u"Ключ", u"значение", file.c_str()));
  ASSERT_TRUE(ini::writeString(u"GRÖSSE", u"other", u"2",
                               file.c_str()));  // 'ß' has no one-letter upper case
  ASSERT_TRUE(ini::writeString(u"größe", u"КЛЮЧ", u"новое", file.c_str()));
  EXPECT_EQ(value(u"GRÖßE", u"ключ", file), u"новое");
  EXPECT_EQ(list(nullptr, file), std::u16string(u"Größe\0GRÖSSE\0", 13));
  EXPECT_EQ(list(u"größe", file), std::u16string(u"Ключ\0", 5));
}

TEST_F(IniTest, RefusedWritesChangeNothing) {
  const std::string before = "[A]\nk=1\n";
  const std::string file = dir_.write("r.ini", before);
  const struct {
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;
    const char* note;
  } rows[] = {
      {nullptr, u"k", u"v", "no section"},
      {u"A\nB", u"k", u"v", "line break in a section"},
      {u"A", u"k\r", u"v", "line break in a key"},
      {u"A", u"k", u"v\nw=1", "line break in a value"},
      {u"A", u"k=j", u"v", "'=' in a key"},
      {u"A", u" ;k", u"v", "a key read as a comment"},
      {u"A", u"[k", u"v", "a key read as a section"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_FALSE(ini::writeString(row.section, row.key, row.value, file.c_str()));
    EXPECT_EQ(readWholeFile(file), before);
  }
  EXPECT_FALSE(ini::writeString(u"A", u"k", u"v", nullptr));
  EXPECT_FALSE(ini::writeString(u"A", u"k", u"v", ""));
}

TEST_F(IniTest, FilesThatCannotBeWrittenFail) {
  const std::string readOnly = dir_.write("ro.ini", "[A]\nk=1\n", 0444);
  EXPECT_FALSE(ini::writeString(u"A", u"k", u"2", readOnly.c_str()));
  EXPECT_EQ(readWholeFile(readOnly), "[A]\nk=1\n");
  const std::string directory = dir_.makeDir("dir.ini");
  EXPECT_FALSE(ini::writeString(u"A", u"k", u"2", directory.c_str()));
  EXPECT_FALSE(ini::writeString(u"A", u"k", u"2", (dir_ / "no/such/dir.ini").c_str()));
}

TEST_F(IniTest, BackslashesSeparateAndBareNamesAreInTheCurrentDirectory) {
  const std::string sub = dir_.makeDir("sub");
  const std::string windowsStyle = dir_.path() + "\\sub\\w.ini";
  ASSERT_TRUE(ini::writeString(u"A", u"k", u"1", windowsStyle.c_str()));
  EXPECT_EQ(readWholeFile(sub + "/w.ini"), "[A]\nk=1\n");
  jutest::ScopedCurrentDirectory here(sub);
  EXPECT_EQ(value(u"A", u"k", "w.ini"), u"1");
  EXPECT_EQ(value(u"A", u"k", ".\\w.ini"), u"1");
}

// ---------------------------------------------------------------------------
// Concurrent writers.
// ---------------------------------------------------------------------------

constexpr int kThreads = 8;
constexpr int kKeysPerWriter = 200;
constexpr char kSecondWriterVariable[] = "JU_INI_SECOND_WRITER";

std::u16string keyName(const std::string& writer, int index) {
  return jutest::wide(writer + "_key" + std::to_string(index));
}
std::u16string valueOf(const std::string& writer, int index) {
  return jutest::wide("value " + std::to_string(index) + " of " + writer);
}

// Writes the writer's keys, alternating its own section and a shared one;
// the number of failed writes.
int writeKeys(const std::string& writer, const std::string& file) {
  int failures = 0;
  const std::u16string own = jutest::wide(writer);
  for (int i = 0; i < kKeysPerWriter; ++i) {
    const char16_t* section = i % 2 == 0 ? u"Shared" : own.c_str();
    if (!ini::writeString(section, keyName(writer, i).c_str(), valueOf(writer, i).c_str(), file.c_str())) {
      ++failures;
    }
  }
  return failures;
}

// The second process: run by ConcurrentWritersLoseNothing, skipped otherwise.
TEST(IniSecondProcess, Writer) {
  const char* file = std::getenv(kSecondWriterVariable);
  if (file == nullptr) GTEST_SKIP() << "runs only as the second process of the concurrency test";
  EXPECT_EQ(writeKeys("process", file), 0);
}

pid_t startSecondWriter(const std::string& file) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  environment.push_back(std::string(kSecondWriterVariable) + "=" + file);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filter = "--gtest_filter=IniSecondProcess.Writer";
  char* argv[] = {self.data(), filter.data(), nullptr};
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  return pid;
}

TEST_F(IniTest, ConcurrentWritersLoseNothing) {
  const std::string file = dir_ / "shared.ini";
  ASSERT_TRUE(ini::writeString(u"Shared", u"sentinel", u"present", file.c_str()));

  const pid_t second = startSecondWriter(file);
  ASSERT_GT(second, 0);
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0};
  std::atomic<int> tornReads{0};
  // A reader that never may see a file without the sentinel.
  std::thread reader([&] {
    while (writing.load()) {
      char16_t buffer[16];
      ini::getString(u"Shared", u"sentinel", u"", buffer, 16, file.c_str());
      if (std::u16string(buffer) != u"present") ++tornReads;
    }
  });
  // The threads start once the second process has begun, so they overlap.
  for (int wait = 0; wait < 1000 && value(u"Shared", keyName("process", 0).c_str(), file) != valueOf("process", 0);
       ++wait) {
    usleep(10000);
  }
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] { failures += writeKeys("thread" + std::to_string(t), file); });
  }
  for (std::thread& writer : writers) writer.join();
  int status = 0;
  ASSERT_EQ(waitpid(second, &status, 0), second);
  writing = false;
  reader.join();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the second process failed";
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(tornReads.load(), 0);

  std::vector<std::string> names = {"process"};
  for (int t = 0; t < kThreads; ++t) names.push_back("thread" + std::to_string(t));
  int missing = 0;
  for (const std::string& writer : names) {
    const std::u16string own = jutest::wide(writer);
    for (int i = 0; i < kKeysPerWriter; ++i) {
      const char16_t* section = i % 2 == 0 ? u"Shared" : own.c_str();
      if (value(section, keyName(writer, i).c_str(), file) != valueOf(writer, i)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
  // The file parses: one line per key, each section once.
  const std::string text = readWholeFile(file);
  const size_t keys = names.size() * kKeysPerWriter + 1;
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), keys + names.size() + 1);
  std::u16string sections = list(nullptr, file);
  EXPECT_EQ(static_cast<size_t>(std::count(sections.begin(), sections.end(), u'\0')), names.size() + 1);
}

}  // namespace
