// What a dialog run shows.

#include "dialogs/dialog_reporter.h"

#include <cstring>

#include "dialogs/brand_dialogs.h"
#include "engine/brand.h"
#include "julib/numbers.h"
#include "julib/window.h"
#include "platform/dialogs/boxes.h"

namespace dialogs = platform::dialogs;

namespace {

// The reporter whose loop the Copying Files dialog runs: the tool runs one
// dialog loop at a time, on one thread.
DialogReporter* running = nullptr;

// Lets the dialog answer between files. False when the user stopped the
// branding: Escape, or the end of the input.
bool pumpMessages() {
  dialogs::QueuedMessage message;
  while (dialogs::takeMessage(&message)) {
    if (message.message == dialogs::Message::kKeyDown && message.first == dialogs::kKeyEscape) return false;
    (void)dialogs::dispatchMessage(message);
  }
  return !dialogs::inputEnded();
}

// "  7 %" for the files done so far; "0 %" until a whole percent is done.
void showPercent(dialogs::WindowHandle dialog, uint64_t done, uint64_t count) {
  const auto percent =
      count == 0 ? 0 : static_cast<uint64_t>(static_cast<float>(done) * 100.0f / static_cast<float>(count));
  char text[8] = "0 %";
  if (percent > 0) {
    (void)juFormatFixed(text, 3, percent, 0);
    std::memcpy(text + 3, " %", 3);
  }
  setItemTextUtf8(dialog, kBrandPercentControl, text);
}

uint32_t boxStyle(const brandengine::Message& message) {
  return (message.question() ? kBrandBoxYesNo : kBrandBoxOk) | (message.exclamation() ? kBrandBoxExclamation : 0);
}

}  // namespace

void DialogReporter::copyingDialogOpened(dialogs::WindowHandle dialog) {
  if (running != nullptr) running->setCopyingDialog(dialog);
}

bool DialogReporter::runLoop(brand& object) {
  DialogReporter* outer = running;
  running = this;
  const intptr_t result =
      juDialogBoxResult(owner_, kBrandDialogCopying, copyingDlgProc, reinterpret_cast<intptr_t>(&object));
  running = outer;
  copying_ = dialogs::WindowHandle();
  // A dialog that could not run branded nothing.
  return result != dialogs::kDialogFailed && result != dialogs::kDialogNoInput;
}

void DialogReporter::loopStarted(uint64_t) {
  if (copying_) setItemTextUtf8(copying_, kBrandPercentControl, "0 %");
}

void DialogReporter::fileStarted(const char* source, const char* target) {
  if (!copying_) return;
  setItemTextUtf8(copying_, kBrandSourceNameControl, source);
  setItemTextUtf8(copying_, kBrandTargetNameControl, target);
}

bool DialogReporter::betweenFiles(uint64_t done, uint64_t count) {
  if (!copying_) return true;
  if (!pumpMessages()) {
    (void)dialogs::endDialog(copying_, 1);
    return false;
  }
  showPercent(copying_, done, count);
  return true;
}

bool DialogReporter::show(const brandengine::Message& message) {
  const uint32_t style = boxStyle(message);
  dialogs::beep(style & kBrandBoxExclamation);
  return dialogs::messageBox(owner_, message.text, message.caption, style) == kBrandAnswerYes && message.question();
}
