// The brand object's run: the missing-file check and its question, the
// optional list around a run, and the status messages.

#include <cstring>
#include <string>
#include <vector>

#include "brand.h"
#include "brand_dialogs.h"
#include "front_end_doubles.h"
#include "julib/object.h"
#include "testing/temp_dir.h"

namespace {

using branddoubles::consoleOf;
using branddoubles::record;
using branddoubles::ScopedStdin;
using BrandRun = branddoubles::BrandTest;

void add(JuArrayPVoid& list, const std::string& name) {
  ASSERT_EQ(list.insertAt(juStrNDup(name.data(), name.size()), list.count), 0);
}

std::vector<std::string> entries(const JuArrayPVoid& list) {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < list.count; ++i) out.emplace_back(static_cast<const char*>(list.pointerAt(i)));
  return out;
}

// Seven of nine listed files missing (one of them optional): the list breaks
// after every fourth name and ends without ", "; the file errors of the
// failed opens are gone.
TEST_F(BrandRun, MissingFilesAreListedFourALine) {
  jutest::TempDir dir;
  dir.write("here1.dll", "x");
  dir.write("here2.dll", "x");
  brand object(dir.path().c_str());
  for (const char* name : {"m1.dll", "here1.dll", "m2.dll", "m3.dll", "m4.dll", "m5.dll", "opt.dll", "here2.dll",
                           "m6.dll", "m7.dll"}) {
    add(object.mainFileList, name);
  }
  add(object.optionalFileList, "opt.dll");
  ScopedStdin input("n\n");
  const std::string shown = consoleOf([&] { EXPECT_EQ(object.checkMissingFiles(), 1); });
  EXPECT_EQ(shown,
            "The following files are missing:\n m1.dll, m2.dll, m3.dll, m4.dll, \nm5.dll, m6.dll, m7.dll.\n"
            " Do you want to cancel? [Yes] ");
  EXPECT_EQ(object.status, kBrandStatusFilesMissing);
  EXPECT_TRUE(errors_.ids().empty());
  EXPECT_EQ(record.beeps, std::vector<uint32_t>{kBrandBoxExclamation});
}

TEST_F(BrandRun, TheConsoleAnswerDecides) {
  const struct {
    const char* input;
    int result;  // 0: cancel
  } rows[] = {{"n\n", 1}, {"no thanks\n", 1}, {"\n", 0}, {"y\n", 0}, {"Yes\n", 0}, {"", 0}, {"\r\n", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    brand object("/nonexistent-dir");
    add(object.mainFileList, "a.dll");
    ScopedStdin input(row.input);
    consoleOf([&] { EXPECT_EQ(object.checkMissingFiles(), row.result); });
  }
}

TEST_F(BrandRun, SilentRunsAskOnlyWithADialog) {
  brand object("/nonexistent-dir");
  add(object.mainFileList, "a.dll");
  object.silent = 1;
  EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object.checkMissingFiles(), 1); }), "");
  EXPECT_TRUE(record.beeps.empty());

  object.ownerWindow = platform::dialogs::WindowHandle(uint64_t{7});
  record.answer = kBrandAnswerYes;
  EXPECT_EQ(object.checkMissingFiles(), 0);
  ASSERT_EQ(record.boxes.size(), 1u);
  EXPECT_EQ(record.boxes[0].caption, "Brand Error");
  EXPECT_EQ(record.boxes[0].style, kBrandBoxYesNo | kBrandBoxExclamation);
  EXPECT_EQ(record.boxes[0].text, "The following files are missing:\n a.dll.\n Do you want to cancel?");
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
  add(object.mainFileList, "setup.exe");
  add(object.mainFileList, "other.exe");
  const struct {
    uint32_t replaceInstall;
    const char* missing;
  } rows[] = {{1, "other.exe"}, {0, "setup.exe"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.replaceInstall);
    object.replaceInstall = row.replaceInstall;
    ScopedStdin input("n\n");
    const std::string shown = consoleOf([&] { EXPECT_EQ(object.checkMissingFiles(), 1); });
    EXPECT_NE(shown.find(std::string(" ") + row.missing + ".\n"), std::string::npos) << shown;
  }
}

// A run adds the RZM names to the optional list once; a cancel at the
// missing-file question puts the list back as it was.
TEST_F(BrandRun, OptionalListAroundARun) {
  brand object("/nonexistent-dir");
  object.setFilePrefix("XY");
  object.rzmList = juStrNDup("rzm##,VRICU28", 13);
  std::strcpy(object.rzmVersionCode, "05");
  object.libraryExtension = juStrNDup(".dll", 4);
  add(object.optionalFileList, "opt.dll");

  add(object.mainFileList, "gone.dll");
  {
    ScopedStdin input("\n");
    consoleOf([&] { EXPECT_EQ(object.run(), 0); });
  }
  EXPECT_EQ(object.status, kBrandStatusFilesMissing);
  EXPECT_EQ(entries(object.optionalFileList), std::vector<std::string>{"opt.dll"});
  EXPECT_EQ(record.brandAllCalls, 0);

  object.clearFileList();
  for (int i = 0; i < 2; ++i) EXPECT_EQ(object.run(), 1);
  EXPECT_EQ(entries(object.optionalFileList), (std::vector<std::string>{"opt.dll", "rzm05.dll", "vricu28.dll"}));
  EXPECT_EQ(record.brandAllCalls, 2);
}

TEST_F(BrandRun, RunResultFollowsTheStatusTheBrandingLeaves) {
  const struct {
    uint32_t status;
    int result;
  } rows[] = {{0, 1}, {kBrandStatusCancel, 0}, {kBrandStatusCopyFailed, 0}, {kBrandStatusFilesMissing, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    brand object("/nonexistent-dir");
    object.setFilePrefix("XY");
    record.statusAfterBranding = row.status;
    EXPECT_EQ(object.run(), row.result);
  }
}

TEST_F(BrandRun, StatusMessages) {
  const struct {
    uint32_t status;
    const char* detail;
    const char* text;
    const char* caption;
    uint32_t style;
  } rows[] = {
      {0, nullptr, "Brand was successful.", "OEM Branding Tool", kBrandBoxOk},
      {1, nullptr, "Are you sure you want to cancel this operation?", "Cancel OEM Branding Tool", kBrandBoxYesNo},
      {3, nullptr, "Are you sure?", "Cancel OEM Branding Tool", kBrandBoxYesNo},
      {8, nullptr, "Brand will copy all VR*.* files to XY*.*\n \n Do you want to continue?", "OEM Branding Tool",
       kBrandBoxYesNo},
      {10, "xyora28.dll", "The file xyora28.dll could not be copied. Contact your Account Manager.",
       "OEM Branding Tool Error", kBrandBoxExclamation},
      {15, "You must enter a valid suffix [only numbers]", "You must enter a valid suffix [only numbers]",
       "OEM Branding Tool Error", kBrandBoxExclamation},
      {18, nullptr, "The .inf file is either missing or invalid.", "OEM Branding Tool Error", kBrandBoxExclamation},
  };
  std::strcpy(brandSourcePrefix, "VR");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    brand object("/d");
    object.setFilePrefix("XY");
    object.status = row.status;
    // Without an owner the console shows the text and does not wait.
    EXPECT_EQ(consoleOf([&] { EXPECT_EQ(object.showStatus(row.detail), 0); }), std::string(row.text) + "\n");
    object.ownerWindow = platform::dialogs::WindowHandle(uint64_t{7});
    record = branddoubles::Record();
    record.answer = kBrandAnswerYes;
    EXPECT_EQ(object.showStatus(row.detail), row.style == kBrandBoxYesNo ? 1 : 0);
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_EQ(record.boxes[0].text, row.text);
    EXPECT_EQ(record.boxes[0].caption, row.caption);
    EXPECT_EQ(record.boxes[0].style, row.style);
    EXPECT_EQ(record.beeps, std::vector<uint32_t>{row.style & kBrandBoxExclamation});
    object.silent = 1;
    EXPECT_EQ(object.showStatus(row.detail), 0);
    EXPECT_EQ(record.boxes.size(), 1u);
  }
}

}  // namespace
