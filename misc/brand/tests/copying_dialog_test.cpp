// The Copying Files dialog: the branding runs from its timer and answers
// between files: Escape and Cancel stop it before the next file, a Cancel
// answered No lets it go on, the end of the input stops it as a cancel.

#include <chrono>
#include <thread>

#include "dialog_runs.h"
#include "front_end_doubles.h"

namespace {

using namespace dialogruns;
using CopyingDialog = branddoubles::BrandTest;

constexpr char kCopying[] = "Copying Files";
constexpr char kCancelBox[] = "Cancel OEM Branding Tool";
constexpr char kSure[] = "Cancel OEM Branding Tool: Are you sure you want to cancel this operation?";

// The Copying Files dialog before its first file waits for its timer: the
// time passes (true). False for any other call.
bool waitForTheTimer(dialogs::WindowHandle dialog, int32_t wait) {
  if (wait <= 0 || jutest::windowTextUtf8(dialog) != kCopying || branddoubles::brandingAFile(dialog)) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  return true;
}

const Names kFirstOnly = {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin", "xyone28.bin"};

TEST_F(CopyingDialog, StopsBetweenFilesOrGoesOn) {
  const struct {
    const char* note;
    bool escape;     // Escape after the first file, else Cancel
    int32_t answer;  // to the Cancel question
    Texts shown;
    Names after;
  } rows[] = {
      {"Escape", true, 0, {kConfirm}, kFirstOnly},
      {"Cancel, Yes", false, kBrandAnswerYes, {kConfirm, kSure}, kFirstOnly},
      {"Cancel, No: the branding goes on", false, kBrandAnswerNo, {kConfirm, kSure, kSuccess}, kBranded},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const Drivers drivers;
    std::vector<DialogStep> steps = filled(drivers);
    if (row.answer != 0) steps.push_back(DialogStep::press(kCancelBox, row.answer));
    if (row.answer == kBrandAnswerNo) steps.push_back(DialogStep::press(kInfo, kBrandAnswerOk));
    jutest::DialogScript script(steps);
    bool pressed = false;
    branddoubles::InputInFront user(script, [&](dialogs::WindowHandle dialog, int32_t wait) {
      if (waitForTheTimer(dialog, wait)) return true;
      if (pressed || !branddoubles::brandingAFile(dialog)) return false;
      pressed = true;
      return row.escape ? dialogs::pressKey(dialog, dialogs::kKeyEscape)
                        : dialogs::pressButton(dialogs::dialogItem(dialog, dialogs::kCancelCommand));
    });
    brand object("/d");
    EXPECT_EQ(runMain(desktop, object), row.answer == kBrandAnswerNo ? 0 : dialogs::kDialogNoInput);
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.shown);
    EXPECT_EQ(drivers.files(), row.after);
    EXPECT_EQ(object.status, kBrandStatusSuccess);  // the main dialog takes a cancel back
  }
}

// Cancel before the first file: the timer fires while the question is
// open, and the branding waits for the answer instead of ending at once as
// a success with nothing branded.
TEST_F(CopyingDialog, TimerWaitsForTheCancelQuestion) {
  const Drivers drivers;
  std::vector<DialogStep> steps = filled(drivers);
  steps.push_back(DialogStep::press(kCopying, dialogs::kCancelCommand));
  steps.push_back(DialogStep::press(kCancelBox, kBrandAnswerNo));
  steps.push_back(DialogStep::press(kInfo, kBrandAnswerOk));
  jutest::DialogScript script(steps);
  bool waited = false;
  branddoubles::InputInFront user(script, [&](dialogs::WindowHandle dialog, int32_t wait) {
    if (waited || wait <= 0 || jutest::windowTextUtf8(dialog) != kCancelBox) return false;
    waited = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait + 20));  // the timer is due
    return true;
  });
  brand object("/d");
  EXPECT_EQ(runMain(desktop, object), 0);
  EXPECT_TRUE(waited);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(boxes(script), (Texts{kConfirm, kSure, kSuccess}));
  EXPECT_EQ(drivers.files(), kBranded);
}

// The end of the input between files stops the branding as a cancel and
// ends every dialog without asking.
TEST_F(CopyingDialog, EndOfInputStopsBeforeTheNextFile) {
  const Drivers drivers;
  jutest::DialogScript script(filled(drivers));
  bool ended = false;
  branddoubles::InputInFront user(script, [&](dialogs::WindowHandle dialog, int32_t wait) {
    if (waitForTheTimer(dialog, wait)) return true;
    ended = branddoubles::brandingAFile(dialog);
    return false;  // the script is used up: its next call ends the input
  });
  brand object("/d");
  EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
  EXPECT_TRUE(ended);
  EXPECT_EQ(boxes(script), Texts{kConfirm});
  EXPECT_EQ(drivers.files(), kFirstOnly);
}

}  // namespace
