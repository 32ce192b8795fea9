// Branding real files in a temporary driver directory: text across read
// boundaries, targets with the source's own name, failures that leave no
// target, the version resource and the file time, and the loop's reports.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "brand_messages.h"
#include "console/console_reporter.h"
#include "dialogs/dialog_reporter.h"
#include "engine/brand.h"
#include "front_end_doubles.h"
#include "rewrite/rewriting_copy.h"
#include "julib/window.h"
#include "platform/dialogs/model.h"
#include "platform/files.h"
#include "testing/files.h"
#include "testing/pe_fixtures.h"
#include "testing/temp_dir.h"

namespace {

using branddoubles::consoleOf;
using jutest::readWholeFile;
using std::string_literals::operator""s;

const std::string kOldPrefix = "[Brisklane][ODBC \0"s;
const std::string kNewPrefix = "[ACME][ODBC \0\0\0\0\0\0"s;  // as long as the old one

// A driver directory and the object that brands it: prefix XY, message
// prefix ACME, silent unless a test says otherwise.
class BrandFile : public branddoubles::BrandTest {
 protected:
  BrandFile() {
    object_.setFilePrefix("XY");
    object_.setCompanyName(u"Acme");
    object_.setMessagePrefix(u"ACME");
    object_.silent = 1;
  }
  void list(std::initializer_list<const char*> names) {
    object_.clearFileList();
    for (const char* name : names) {
      ASSERT_EQ(object_.mainFileList.insertAt(juStrNDup(name, std::strlen(name)), object_.mainFileList.count), 0);
    }
  }

  jutest::TempDir dir_;
  brand object_{dir_.path().c_str()};
};

// Text that straddles a read is replaced whole; the file comes out at its
// own length whatever its size.
TEST_F(BrandFile, TextAcrossReadBoundaries) {
  const std::string name = "ABORA28.DLL";
  const size_t none = std::string::npos;
  const std::tuple<const char*, size_t, size_t, bool> rows[] = {
      {"name across the first write", 100000, 65471 - 4, false},
      {"prefix across the first write", 100000, 65471 - 9, true},
      {"name across the first read's end", 100000, 65535 - 4, false},
      {"prefix across the second write", 200000, 2 * 65471 - 5, true},
      {"name across a write after the buffer was refilled", 3000000, (brandrewrite::kCopyBytes / 65471 + 1) * 65471 - 4,
       false},
      {"prefix across the buffer's first end", 3000000, brandrewrite::kCopyBytes - 9, true},
      {"name in the last bytes of a long file", 3000000, 3000000 - 11, false},
      {"one chunk, the name in its last bytes", 65535, 65535 - 11, false},
      {"one chunk and a byte", 65536, 65536 - 11, false},
      {"the prefix alone", 18, 0, true},
      {"empty", 0, none, false},
      {"shorter than the prefix pattern", 5, none, true}};
  for (const auto& [note, size, at, prefix] : rows) {
    SCOPED_TRACE(note);
    std::string source(size, 'z');
    std::string expected = source;
    if (at != none) {
      source.replace(at, (prefix ? kOldPrefix : name).size(), prefix ? kOldPrefix : name);
      expected.replace(at, (prefix ? kNewPrefix : name).size(), prefix ? kNewPrefix : "XYORA28.DLL");
    }
    dir_.write("abora28.dll", source);
    list({"abora28.dll"});
    EXPECT_EQ(object_.brandFile(0), 1);
    EXPECT_TRUE(readWholeFile(dir_ / "xyora28.dll") == expected);
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"abora28.dll", "xyora28.dll"}));
  }
}

// A target with the source's own name replaces it whole; it is never
// truncated before it is read, nor deleted as a source afterwards.
TEST_F(BrandFile, TargetWithTheSourcesName) {
  dir_.makeDir("drivers");
  dir_.makeDir("tools");
  object_.setDirectory((dir_ / "drivers").c_str());
  const std::tuple<const char*, const char*, uint32_t> rows[] = {{"xyora28.dll", "drivers/xyora28.dll", 0},
                                                                 {"xyora28.dll", "drivers/xyora28.dll", 1},
                                                                 {"absetup.exe", "drivers/absetup.exe", 0},
                                                                 {"absetup.exe", "tools/absetup.exe", 1}};
  for (const auto& [listed, file, replaceInstall] : rows) {
    SCOPED_TRACE(std::string(file) + (replaceInstall != 0 ? " ReplaceInstall" : ""));
    dir_.write(file, "MZ" + kOldPrefix + std::string(70000, 'z'));
    object_.replaceInstall = replaceInstall;
    list({listed});
    EXPECT_EQ(object_.brandFile(0), 1);
    EXPECT_EQ(readWholeFile(dir_ / file), "MZ" + kNewPrefix + std::string(70000, 'z'));
    EXPECT_FALSE(dir_.exists(std::string(file) + ".new"));
    std::remove((dir_ / file).c_str());
  }
  // ReplaceInstall takes away a source that has another name.
  dir_.write("drivers/abora28.dll", "x");
  list({"abora28.dll"});
  EXPECT_EQ(object_.brandFile(0), 1);
  EXPECT_EQ(dir_.entries("drivers"), std::vector<std::string>{"xyora28.dll"});
}

// The directory afterwards: each target with its source's mode, every file
// of the user's as it was, and nothing a killed run left behind.
TEST_F(BrandFile, LeavesOnlyWhatItMeans) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);  // a process that is gone
  const std::string killed = "xyora28.dll.~" + std::to_string(child) + "-0.tmp";
  const std::string running = "xyora28.dll.~1-0.tmp";  // init runs
  const struct {
    const char* note;
    std::string present;  // before the run, beside the source
    bool stays;
    mode_t mode;          // the source's
  } rows[] = {{"a file named as copies once were", "xyora28.dll.new", true, 0755},
              {"a leftover of a run that was killed", killed, false, 0640},
              {"a temporary file of a running process", running, true, 0604}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::TempDir dir;
    const std::string source = dir.write("abora28.dll", "MZ" + kOldPrefix);
    ASSERT_EQ(chmod(source.c_str(), row.mode), 0);
    dir.write(row.present, "mine");
    object_.setDirectory(dir.path().c_str());
    list({"abora28.dll"});
    EXPECT_EQ(object_.brandFile(0), 1);
    std::vector<std::string> expected = {"abora28.dll", "xyora28.dll"};
    if (row.stays) expected.push_back(row.present);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.entries(), expected);
    if (row.stays) {
      EXPECT_EQ(readWholeFile(dir / row.present), "mine");
    }
    struct stat target;
    ASSERT_EQ(stat((dir / "xyora28.dll").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, row.mode);
  }
}

// A failed copy leaves no target and no temporary file, and the source as
// it was.
TEST_F(BrandFile, FailuresLeaveNoTarget) {
  const std::string source = kOldPrefix + std::string(200000, 'z');
  const std::tuple<const char*, const char*, rlim_t, uint32_t> rows[] = {
      {"source missing", nullptr, RLIM_INFINITY, kBrandStatusFilesMissing},
      {"target is a directory", "xyora28.dll", RLIM_INFINITY, kBrandStatusCopyFailed},
      {"disk full (file size limit)", nullptr, 100000, kBrandStatusCopyFailed}};
  for (const auto& [note, directory, sizeLimit, status] : rows) {
    SCOPED_TRACE(note);
    jutest::TempDir dir;
    jutest::ScopedErrorList rowErrors;
    object_.setDirectory(dir.path().c_str());
    std::vector<std::string> expected;
    if (status != kBrandStatusFilesMissing) expected.push_back(dir.write("abora28.dll", source).substr(dir.path().size() + 1));
    if (directory != nullptr) expected.push_back(dir.makeDir(directory).substr(dir.path().size() + 1));
    list({"abora28.dll"});
    object_.status = kBrandStatusSuccess;
    rlimit saved, limited;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    limited = {sizeLimit, saved.rlim_max};
    const sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_EQ(object_.brandFile(0), 0);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    signal(SIGXFSZ, handler);
    EXPECT_EQ(object_.status, status);
    EXPECT_FALSE(rowErrors.ids().empty());  // the reason is on the error list
    EXPECT_EQ(dir.entries(), expected);
    if (status != kBrandStatusFilesMissing) {
      EXPECT_EQ(readWholeFile(dir / "abora28.dll"), source);
    }
  }
}

// Names are found as the directory spells them, whatever their case; two
// names that differ only in case are refused and nothing changes.
TEST_F(BrandFile, NamesFoundWithoutRegardToCase) {
  object_.messagePrefixMode = 0;
  const struct {
    std::vector<std::string> files;
    const char* listed;
    int branded;
    std::vector<std::string> after;
    const char* branded_file;  // the file that holds the branded text
  } rows[] = {
      {{"ABORA28.DLL"}, "abora28.dll", 1, {"ABORA28.DLL", "xyora28.dll"}, "xyora28.dll"},
      {{"ABORA28.DLL", "XYORA28.DLL"}, "abora28.dll", 1, {"ABORA28.DLL", "XYORA28.DLL"}, "XYORA28.DLL"},
      {{"SETUP.EXE"}, "setup.exe", 1, {"SETUP.EXE"}, "SETUP.EXE"},
      {{"abora28.dll", "ABORA28.DLL"}, "abora28.dll", 0, {"ABORA28.DLL", "abora28.dll"}, nullptr},
      {{"ABORA28.DLL", "xyora28.dll", "XYORA28.dll"}, "abora28.dll", 0, {"ABORA28.DLL", "XYORA28.dll", "xyora28.dll"},
       nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.files.back());
    jutest::TempDir dir;
    jutest::ScopedErrorList rowErrors;
    for (const std::string& file : row.files) dir.write(file, "abora28.dll");
    object_.setDirectory(dir.path().c_str());
    list({row.listed});
    object_.status = kBrandStatusSuccess;
    EXPECT_EQ(object_.checkMissingFiles(), 1);
    EXPECT_EQ(object_.brandFile(0), row.branded);
    EXPECT_EQ(object_.status, row.branded != 0 ? kBrandStatusSuccess : kBrandStatusCopyFailed);
    EXPECT_EQ(dir.entries(), row.after);
    if (row.branded_file != nullptr) {
      EXPECT_EQ(readWholeFile(dir / row.branded_file), std::strstr(row.listed, ".exe") ? "abora28.dll" : "xyora28.dll");
    } else {
      EXPECT_EQ(rowErrors.ids().back(), kBrandMsgSourceNameAmbiguous);
    }
  }
}

// The message prefix is replaced where a name was written as it, and
// windows with more candidates than fit are searched text by text.
TEST_F(BrandFile, CandidatesOfBothRewriters) {
  const std::string provider = "Brisklane Closed XML ADO Provider";
  std::string crowded;
  for (size_t i = 0; i < 100000; ++i) crowded += "Ab";
  const std::tuple<std::string, std::string, std::string> rows[] = {  // filler, text, branded text
      {std::string(200000, 'z'), provider, "-" + kNewPrefix + provider.substr(1 + kNewPrefix.size())},
      {crowded, kOldPrefix, kNewPrefix},
      {crowded, "ABORA28.DLL", "XYORA28.DLL"},
  };
  juFree(object_.xmlProviderName);
  object_.xmlProviderName = juStrNDup("-[Brisklane][ODBC ", 18);
  ASSERT_EQ(object_.searchList.insertAt(juStrNDup(provider.c_str(), provider.size()), 0), 0);
  for (const auto& [filler, text, branded] : rows) {
    SCOPED_TRACE(text);
    std::string source = filler, expected = filler;
    for (const size_t at : {size_t{70001}, size_t{130001}}) {
      source.replace(at, text.size(), text);
      expected.replace(at, branded.size(), branded);
    }
    dir_.write("abora28.dll", source);
    list({"abora28.dll"});
    EXPECT_EQ(object_.brandFile(0), 1);
    EXPECT_TRUE(readWholeFile(dir_ / "xyora28.dll") == expected);
  }
}

// A library's version resource is branded, and the time set after it.
TEST_F(BrandFile, VersionResourceThenTime) {
  const std::string path = dir_.write("abora28.dll", readWholeFile(jutest::peFixture("last.dll")));
  ASSERT_EQ(platform::setFileWriteTime(path.c_str(), {1600000000, 5}), platform::kErrorNone);
  object_.setCompanyName(u"Soci\u00E9t\u00E9");
  ASSERT_EQ(object_.setVersion(u"09.01"), 0);
  object_.versionMode = 1;
  list({"abora28.dll"});
  EXPECT_EQ(object_.brandFile(0), 1);
  const std::string dump = jutest::peDump(dir_ / "xyora28.dll");
  for (const char* line : {"CompanyName=Soci\u00E9t\u00E9\n", "FileDescription=ACME ODBC Driver\n",
                           "FileVersion=09.01.0293 (B9999, U9999)\n"}) {
    EXPECT_NE(dump.find(line), std::string::npos) << line << dump;
  }
  platform::FileTime time;
  ASSERT_EQ(platform::fileWriteTime((dir_ / "xyora28.dll").c_str(), &time), platform::kErrorNone);
  EXPECT_EQ(time.seconds, 1600000000);
  EXPECT_EQ(time.nanoseconds, 5u);
}

// The console says Done only for a branded file, and why another was not;
// an absent file is skipped without a word; a copy failure ends the loop.
TEST_F(BrandFile, ConsoleReports) {
  object_.silent = 0;
  object_.messagePrefixMode = 0;
  ConsoleReporter console;
  const BrandReporterScope shown(object_, &console);
  dir_.write("abora28.dll", "a");
  dir_.write("abother.dll", "b");
  const std::string directory = object_.targetDirectory;
  list({"abora28.dll", "gone.dll", "abother.dll"});
  EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object_.brandAll(), 0); }),
            "Branding: abora28.dll -> xyora28.dll ... Done\n"
            "Branding: abother.dll -> xyother.dll ... Done\n");
  EXPECT_EQ(object_.status, kBrandStatusSuccess);

  // The sources as a CORVANE61 run names them; a library whose version
  // resource cannot be rewritten says why.
  object_.corvane61Mode = 1;
  object_.messagePrefixMode = 1;
  dir_.write("abcrvn.ini", "c");
  dir_.write("abcrvn.dll", "MZ" + kOldPrefix);
  list({"abcrvn.ini", "abcrvn.dll"});
  EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object_.brandAll(), 0); }),
            "Branding: abod.ini -> xyod.ini ... Done\n"
            "Branding: abod.dll -> xyod.dll ...Warning: Could not update Windows version info for: xyod.dll "
            "(file too small for a DOS header)\n Done\n");
  object_.corvane61Mode = 0;
  object_.messagePrefixMode = 0;

  list({"abora28.dll"});
  ASSERT_EQ(platform::removeFile((dir_ / "xyora28.dll").c_str()), platform::kErrorNone);
  dir_.makeDir("xyora28.dll");
  EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object_.brandAll(), 0); }),
            "Branding: abora28.dll -> xyora28.dll ... Failed: Cannot create file '" + directory +
                "xyora28.dll'.\nThe file xyora28.dll could not be copied. Contact your Account Manager.\n");
  EXPECT_EQ(object_.status, kBrandStatusCopyFailed);
}

// In the Copying Files dialog: the names, the percentage, and the messages
// that wait between files.
intptr_t countMessages(platform::dialogs::WindowHandle, platform::dialogs::Message, uint64_t, intptr_t second) {
  return ++*reinterpret_cast<int*>(second);
}

TEST_F(BrandFile, DialogReports) {
  namespace dialogs = platform::dialogs;
  const auto dialog = dialogs::createWindow({nullptr, 0, dialogs::Kind::kDialog, 0, nullptr, countMessages});
  for (int32_t id : {305, 306, 307}) ASSERT_TRUE(dialogs::createWindow({dialog, id, dialogs::Kind::kStatic}));
  int dispatched = 0;
  ASSERT_TRUE(dialogs::postMessage(dialog, dialogs::Message::kTimer, 1, reinterpret_cast<intptr_t>(&dispatched)));
  dir_.write("abora28.dll", "a");
  dir_.write("abthree.dll", "c");
  list({"abora28.dll", "gone.dll", "abthree.dll"});
  DialogReporter reporter(desktop);
  reporter.setCopyingDialog(dialog);
  const BrandReporterScope shown(object_, &reporter);
  EXPECT_EQ(object_.brandAll(), 0);
  char16_t text[32];
  for (const auto& [id, shown] : {std::pair{305, u"abthree.dll"}, {306, u"xythree.dll"}, {307, u"100 %"}}) {
    (void)dialogs::getItemText(dialog, id, text, 32);
    EXPECT_EQ(std::u16string(text), shown) << id;
  }
  EXPECT_EQ(dispatched, 1);
  dialogs::destroyWindow(dialog);
}

}  // namespace
