// Message boxes and the folder browser, driven by scripted input.

#include "platform/dialogs/boxes.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "testing/dialog_script.h"
#include "testing/temp_dir.h"

namespace {

using namespace platform::dialogs;
using jutest::DialogScript;
using jutest::DialogStep;

class DialogBoxes : public ::testing::Test {
 protected:
  void TearDown() override { setInputHook(nullptr, nullptr); }
};

TEST_F(DialogBoxes, MessageBoxAnswers) {
  const std::string q = "Question";
  struct Row {
    uint32_t style;
    std::vector<DialogStep> steps;
    int32_t answer;
    size_t stepsRun;
    const char* note;
  } rows[] = {
      {kBoxOk, {DialogStep::press(q, kAnswerOk)}, kAnswerOk, 1, "OK"},
      {kBoxOk | kBoxIconExclamation, {DialogStep::pressKey(q)}, kAnswerOk, 1, "Escape answers OK"},
      {kBoxOk, {DialogStep::close(q)}, kAnswerOk, 1, "so does the close box"},
      {kBoxYesNo, {DialogStep::press(q, kAnswerYes)}, kAnswerYes, 1, "Yes"},
      {kBoxYesNo | kBoxIconExclamation, {DialogStep::press(q, kAnswerNo)}, kAnswerNo, 1, "No"},
      {kBoxYesNo, {DialogStep::pressKey(q), DialogStep::close(q), DialogStep::press(q, kAnswerNo)}, kAnswerNo, 3,
       "Escape and close do nothing without Cancel"},
      {kBoxYesNo, {DialogStep::pressKey(q)}, kDialogNoInput, 1, "the input ends while the box waits"},
      {kBoxOk, {}, kDialogNoInput, 0, "no input at all"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    DialogScript script(row.steps);
    EXPECT_EQ(messageBox(nullptr, u"Are you sure?\nReally.", u"Question", row.style), row.answer);
    EXPECT_EQ(script.stepsRun(), row.stepsRun);
    ASSERT_FALSE(script.met().empty());
    EXPECT_EQ(script.metSummary()[0], "Question: Are you sure?\nReally.");
  }
}

TEST_F(DialogBoxes, BoxesAndScriptsRefuseWhatIsNotThere) {
  WindowSpec spec;
  const WindowHandle gone = createWindow(spec);
  destroyWindow(gone);
  EXPECT_EQ(messageBox(gone, u"x", u"Box", kBoxOk), kDialogFailed) << "an owner that is not a window";
  EXPECT_FALSE(browserSetSelection(gone, "/"));
  EXPECT_FALSE(browserSetStatusText(gone, "x"));
  // A Yes/No box has no OK; a script that presses it, or that expects
  // another dialog, fails the test and ends the input.
  EXPECT_NONFATAL_FAILURE(
      {
        DialogScript script({DialogStep::press("Box", kAnswerOk)});
        EXPECT_EQ(messageBox(nullptr, nullptr, u"Box", kBoxYesNo), kDialogNoInput);
      },
      "refused control 1");
  EXPECT_NONFATAL_FAILURE(
      {
        DialogScript script({DialogStep::press("Other", kAnswerOk)});
        EXPECT_EQ(messageBox(nullptr, nullptr, u"Box", kBoxOk), kDialogNoInput);
      },
      "expects the dialog \"Other\" but \"Box\"");
}

// A box raised from a timer: the script's step waits for it while the timer
// is pending instead of failing on the dialog that runs meanwhile.
TEST_F(DialogBoxes, ScriptStepsWaitForTimers) {
  static const platform::Module module = {"dialog_boxes_test", nullptr, {nullptr}};
  static const ControlTemplate controls[] = {{2, Kind::kButton, kStyleDefaultButton, u"Cancel"}};
  static const DialogTemplate copying = {u"Copying Files", 0, controls, 1};
  ASSERT_TRUE(registerTemplate(&module, 3, &copying));
  auto proc = [](WindowHandle dialog, Message message, uint64_t first, intptr_t) -> intptr_t {
    if (message == Message::kInit) setTimer(dialog, 900, 20);
    if (message != Message::kTimer) return 0;
    killTimer(dialog, first);
    endDialog(dialog, messageBox(dialog, u"Done.", u"Install", kBoxOk));
    return 1;
  };
  DialogScript script({DialogStep::press("Install", kAnswerOk)});
  EXPECT_EQ(runModal(&module, 3, nullptr, proc, 0), kAnswerOk);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(script.metSummary(), (std::vector<std::string>{"Copying Files:", "Install: Done."}));
  unregisterTemplate(&module, 3);
}

// ---------------------------------------------------------------------------
// The folder browser.
// ---------------------------------------------------------------------------

struct Browsing {
  std::string initial;  // selected when the browser opens
  std::vector<std::string> events;
};

int browseCallback(WindowHandle browser, BrowseEvent event, const char* path, intptr_t parameter) {
  auto* b = reinterpret_cast<Browsing*>(parameter);
  if (event == BrowseEvent::kInitialized) {
    b->events.push_back("init");
    browserSetSelection(browser, b->initial.c_str());
  } else {
    b->events.push_back(std::string("changed ") + path);
    browserSetStatusText(browser, path);
  }
  return 0;
}

TEST_F(DialogBoxes, FolderBrowser) {
  jutest::TempDir dir;
  dir.makeDir("b");
  dir.makeDir("a");
  ASSERT_EQ(symlink((dir / "a").c_str(), (dir / "c").c_str()), 0);  // a link to a folder is a folder
  const std::string file = dir.write("f.txt", "x");
  ASSERT_EQ(symlink(file.c_str(), (dir / "g").c_str()), 0);
  const std::string sub = dir / "a";
  const std::string title = "Browse for Folder";
  const std::string untouched = "untouched";
  struct Row {
    std::vector<DialogStep> steps;
    size_t size;
    bool chosen;
    std::string path;
    std::vector<std::string> events;
    const char* note;
  } rows[] = {
      {{DialogStep::press(title, kOkCommand)}, 260, true, dir.path(), {"init"}, "the initial selection"},
      {{DialogStep::setField(title, kBrowserSelectionId, sub), DialogStep::press(title, kOkCommand)},
       260, true, sub, {"init", "changed " + sub}, "a typed folder"},
      {{DialogStep::setField(title, kBrowserSelectionId, file), DialogStep::press(title, kOkCommand),
        DialogStep::press(title, kCancelCommand)},
       260, false, untouched, {"init", "changed " + file}, "a file is refused"},
      {{DialogStep::press(title, kOkCommand), DialogStep::pressKey(title)}, dir.path().size(), false, untouched,
       {"init"}, "a path that does not fit is refused"},
      {{DialogStep::pressKey(title)}, 260, false, untouched, {"init"}, "Escape"},
      {{}, 260, false, untouched, {"init"}, "the end of input"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    Browsing browsing{dir.path(), {}};
    DialogScript script(row.steps);
    std::vector<char> path(row.size + 16, '\0');
    std::strcpy(path.data(), untouched.c_str());
    EXPECT_EQ(browseForFolder(nullptr, "Select Directory", &browseCallback, reinterpret_cast<intptr_t>(&browsing),
                              path.data(), row.size),
              row.chosen);
    EXPECT_STREQ(path.data(), row.path.c_str());
    EXPECT_EQ(browsing.events, row.events);
    EXPECT_TRUE(script.finished());
    ASSERT_FALSE(script.met().empty());
    EXPECT_EQ(script.metSummary()[0],
              "Browse for Folder: Select Directory | Subfolders: a, b, c |  | Folder") << "what the user sees first";
  }
}

}  // namespace
