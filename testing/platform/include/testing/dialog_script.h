// Scripted input for the dialog model: a test's list of user actions, run
// one per call of the thread's input hook, and a record of the dialogs met.
#ifndef TESTING_DIALOG_SCRIPT_H
#define TESTING_DIALOG_SCRIPT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialogs/model.h"

namespace jutest {

// One user action, taken in the dialog whose caption is `caption` ("any":
// whichever is running). Texts are UTF-8.
struct DialogStep {
  enum class Action { kSetField, kPressButton, kKey, kClose, kEndInput };

  std::string caption;
  Action action = Action::kEndInput;
  int32_t id = 0;     // kSetField, kPressButton: the control id
  std::string text;   // kSetField
  uint64_t key = 0;   // kKey

  // The user types `text` into edit `id` (userSetText).
  static DialogStep setField(std::string caption, int32_t id, std::string text);
  // The user presses button `id` (pressButton).
  static DialogStep press(std::string caption, int32_t id);
  // The user presses `key` in the dialog (pressKey).
  static DialogStep pressKey(std::string caption, uint64_t key = platform::dialogs::kKeyEscape);
  // The user clicks the dialog's close box (kClose).
  static DialogStep close(std::string caption);
  // The input ends (the hook returns false).
  static DialogStep endInput(std::string caption = "any");
};

// A dialog as the script met it: its caption and the texts of its statics
// in creation order, read when it was met.
struct MetDialog {
  std::string caption;
  std::vector<std::string> statics;
};

// Installed as the calling thread's input hook and beep hook for its scope
// (the hooks it replaced come back at its end). Each call of the hook runs
// the next step and returns true; with the steps used up the input ends.
// A step meant for another dialog than the running one fails the test
// (ADD_FAILURE naming both captions) and ends the input, unless the loop
// has a timer pending or only polls (wait >= 0): then the hook lets the
// time pass (at most that wait) and keeps the step for a later call, so
// timers fire and a dialog that pumps between steps is left alone.
// An action the model refuses (no such control, a hidden one) fails the
// test the same way.
class DialogScript {
 public:
  explicit DialogScript(std::vector<DialogStep> steps);
  ~DialogScript();
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  // Every dialog met, a new entry each time the running dialog changed
  // between calls (so a box between two visits of a dialog is seen in order).
  const std::vector<MetDialog>& met() const { return met_; }
  // The captions of met(), one "caption: statics joined by ' | '" a row.
  std::vector<std::string> metSummary() const;
  size_t stepsRun() const { return next_; }
  bool finished() const { return next_ == steps_.size(); }
  size_t calls() const { return calls_; }
  const std::vector<uint32_t>& beeps() const { return beeps_; }

 private:
  static bool hook(platform::dialogs::WindowHandle dialog, int32_t waitMilliseconds, void* context);
  static void beepHook(uint32_t type, void* context);
  bool run(platform::dialogs::WindowHandle dialog, int32_t waitMilliseconds);
  void meet(platform::dialogs::WindowHandle dialog);

  std::vector<DialogStep> steps_;
  size_t next_ = 0;
  size_t calls_ = 0;
  std::vector<MetDialog> met_;
  std::vector<uint32_t> beeps_;
  platform::dialogs::WindowHandle last_;
  platform::dialogs::InputHook savedInput_ = nullptr;
  void* savedInputContext_ = nullptr;
  platform::dialogs::BeepHook savedBeep_ = nullptr;
  void* savedBeepContext_ = nullptr;
};

// The UTF-8 text of a window (its caption for a dialog).
std::string windowTextUtf8(platform::dialogs::WindowHandle window);

}  // namespace jutest

#endif  // TESTING_DIALOG_SCRIPT_H
