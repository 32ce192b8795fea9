// The brand object's run: the missing-file check and its question, the
// optional list around a run, and the status messages.

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "console/console_reporter.h"
#include "dialogs/brand_dialogs.h"
#include "dialogs/dialog_reporter.h"
#include "engine/brand.h"
#include "front_end_doubles.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

namespace {

using branddoubles::consoleOf;
using branddoubles::entries;
using branddoubles::ScopedStdin;
// Objects report on the console unless a test gives them the dialogs.
class BrandRun : public branddoubles::BrandTest {
 protected:
  ConsoleReporter console;
};
using Names = std::vector<std::string>;

void add(JuArrayPVoid& list, const char* name) {
  ASSERT_EQ(list.insertAt(juStrNDup(name, std::strlen(name)), list.count), 0);
}

// Seven files missing: a line break after every fourth name, no final ", ",
// and the file errors of the failed opens are gone.
TEST_F(BrandRun, MissingFilesAreListedFourALine) {
  jutest::TempDir dir;
  dir.write("here.dll", "x");
  brand object(dir.path().c_str());
  object.setReporter(&console);
  for (const char* name : {"m1", "here.dll", "m2", "m3", "m4", "m5", "opt", "m6", "m7"}) add(object.mainFileList, name);
  add(object.optionalFileList, "opt");
  ScopedStdin input("n\n");
  EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object.checkMissingFiles(), 1); }),
            "The following files are missing:\n m1, m2, m3, m4, \nm5, m6, m7.\n Do you want to cancel? [Yes] ");
  EXPECT_EQ(object.status, kBrandStatusFilesMissing);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(BrandRun, TheAnswerDecides) {
  const std::pair<const char*, int> rows[] = {{"n\n", 1}, {"no\n", 1}, {"\n", 0}, {"y\n", 0}, {"Yes", 0}, {"", 0}};
  for (const auto& [answer, result] : rows) {
    brand object("/nonexistent-dir");
    object.setReporter(&console);
    add(object.mainFileList, "a.dll");
    ScopedStdin input(answer);
    consoleOf([&, result = result] { EXPECT_EQ(object.checkMissingFiles(), result) << answer; });
  }
  // In a dialog run the box asks; silent runs ask nothing, there either:
  // the question counts as No and the branding goes on.
  const struct {
    bool owner;
    uint32_t silent;
    int32_t answer;  // 0: no box
    int result;
  } dialogRows[] = {{false, 1, 0, 1}, {true, 1, 0, 1}, {true, 0, kBrandAnswerYes, 0}, {true, 0, kBrandAnswerNo, 1}};
  for (const auto& row : dialogRows) {
    SCOPED_TRACE(row.answer);
    brand object("/nonexistent-dir");
    add(object.mainFileList, "a.dll");
    object.silent = row.silent;
    DialogReporter dialogs(desktop);
    object.setReporter(row.owner ? static_cast<brandengine::Reporter*>(&dialogs) : &console);
    std::vector<jutest::DialogStep> steps;
    if (row.answer != 0) steps.push_back(jutest::DialogStep::press("Brand Error", row.answer));
    jutest::DialogScript script(steps);
    EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object.checkMissingFiles(), row.result); }), "");
    EXPECT_TRUE(script.finished());
    const std::vector<std::string> boxes = {"Brand Error: The following files are missing:\n a.dll.\n Do you want to cancel?"};
    EXPECT_EQ(script.metSummary(), row.answer != 0 ? boxes : std::vector<std::string>());
    EXPECT_EQ(script.beeps(), row.answer != 0 ? std::vector<uint32_t>{kBrandBoxExclamation} : std::vector<uint32_t>());
    EXPECT_EQ(object.status, kBrandStatusFilesMissing);
  }
}

// ReplaceInstall takes executables from the tools directory beside the
// target directory.
TEST_F(BrandRun, ReplaceInstallLooksForExecutablesInTools) {
  jutest::TempDir dir;
  dir.makeDir("drivers");
  dir.makeDir("tools");
  dir.write("tools/setup.exe", "x");
  dir.write("drivers/other.exe", "x");
  brand object((dir / "drivers").c_str());
  object.setReporter(&console);
  add(object.mainFileList, "setup.exe");
  add(object.mainFileList, "other.exe");
  for (const auto& [replace, missing] : {std::pair{1, " other.exe."}, std::pair{0, " setup.exe."}}) {
    object.replaceInstall = replace;
    ScopedStdin input("n\n");
    EXPECT_NE(consoleOf([&] { (void)object.checkMissingFiles(); }).find(missing), std::string::npos) << missing;
  }
}

// A run adds the RZM names to the optional list once; a cancel puts it back.
TEST_F(BrandRun, OptionalListAroundARun) {
  brand object("/nonexistent-dir");
  object.setReporter(&console);
  object.setFilePrefix("XY");
  object.rzmList = juStrNDup("rzm##,VRICU28", 13);
  std::strcpy(object.rzmVersionCode, "05");
  add(object.optionalFileList, "opt.dll");
  add(object.mainFileList, "gone.dll");
  {
    ScopedStdin input("\n");
    EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object.run(), 0); }).find("Branding: "), std::string::npos);
  }
  EXPECT_EQ(entries(object.optionalFileList), Names{"opt.dll"});
  object.clearFileList();
  for (int i = 0; i < 2; ++i) EXPECT_EQ(object.run(), 1);
  EXPECT_EQ(entries(object.optionalFileList), (Names{"opt.dll", "rzm05", "vricu28"}));
  // The loop stops at once on a cancel or a copy failure.
  for (const auto& [status, result] : {std::pair{1u, 0}, std::pair{10u, 0}, std::pair{9u, 1}}) {
    object.status = status;
    EXPECT_EQ(object.run(), result) << status;
  }
}

// A run lists its directory once, however many files it brands.
TEST_F(BrandRun, OneListingARun) {
  jutest::TempDir dir;
  brand object(dir.path().c_str());
  object.setFilePrefix("XY");
  object.messagePrefixMode = 0;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "ab" + std::to_string(i) + ".bin";
    dir.write(name, "x");
    add(object.mainFileList, name.c_str());
  }
  const uint64_t before = platform::directoryListingsForTesting();
  EXPECT_EQ(object.run(), 1);
  EXPECT_EQ(platform::directoryListingsForTesting() - before, 1u);
  EXPECT_EQ(dir.entries().size(), 80u);
}

TEST_F(BrandRun, StatusMessages) {
  const std::tuple<uint32_t, const char*, const char*, const char*, uint32_t> rows[] = {
      {0, nullptr, "Brand was successful.", "OEM Branding Tool", kBrandBoxOk},
      {3, nullptr, "Are you sure?", "Cancel OEM Branding Tool", kBrandBoxYesNo},
      {8, nullptr, "Brand will copy all VR*.* files to XY*.*\n \n Do you want to continue?", "OEM Branding Tool",
       kBrandBoxYesNo},
      {10, "xy.dll", "The file xy.dll could not be copied. Contact your Account Manager.", "OEM Branding Tool Error",
       kBrandBoxExclamation},
      {15, "Bad suffix", "Bad suffix", "OEM Branding Tool Error", kBrandBoxExclamation}};
  std::strcpy(brandSourcePrefix, "VR");
  for (const auto& [status, detail, text, caption, style] : rows) {
    SCOPED_TRACE(status);
    brand object("/d");
    object.setReporter(&console);
    object.setFilePrefix("XY");
    object.status = status;
    // Without an owner the console shows the text and does not wait.
    EXPECT_EQ(consoleOf([&, detail = detail] { EXPECT_EQ(object.showStatus(detail), 0); }), std::string(text) + "\n");
    // With one, a box with the buttons of its style: Yes exists only in a
    // Yes/No box, OK only in an OK box.
    DialogReporter boxes(desktop);
    object.setReporter(&boxes);
    {
      const bool question = (style & kBrandBoxYesNo) != 0;
      jutest::DialogScript script({jutest::DialogStep::press(caption, question ? kBrandAnswerYes : kBrandAnswerOk)});
      EXPECT_EQ(object.showStatus(detail), question ? 1 : 0);
      EXPECT_EQ(script.metSummary(), std::vector<std::string>{std::string(caption) + ": " + text});
      EXPECT_EQ(script.beeps(), std::vector<uint32_t>{style & kBrandBoxExclamation});
    }
    object.silent = 1;
    jutest::DialogScript none({});
    EXPECT_EQ(object.showStatus(detail), 0);
    EXPECT_TRUE(none.met().empty());
  }
}

}  // namespace
