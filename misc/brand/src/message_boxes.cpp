// The engine's message boxes and beeps: through the dialog model when there
// is an owner window (dialog mode), printed on the console without one.

#include <cstdio>

#include "brand_dialogs.h"
#include "console.h"

namespace dialogs = platform::dialogs;

int32_t brandMessageBox(dialogs::WindowHandle owner, const char16_t* text, const char16_t* caption, uint32_t style) {
  if (owner) {
    const int32_t answer = dialogs::messageBox(owner, text, caption, style);
    // A box that could not be shown, or whose input ended, was not agreed
    // to: a question counts as No.
    if (answer == kBrandAnswerOk || answer == kBrandAnswerYes || answer == kBrandAnswerNo) return answer;
    return (style & kBrandBoxYesNo) != 0 ? kBrandAnswerNo : kBrandAnswerOk;
  }
  brandPrintW(caption);
  brandPrint(": ");
  brandPrintW(text);
  brandPrint("\n");
  // Nobody answers a printed box: a question counts as No.
  return (style & kBrandBoxYesNo) != 0 ? kBrandAnswerNo : kBrandAnswerOk;
}

void brandMessageBeep(dialogs::WindowHandle owner, uint32_t type) {
  if (owner) {
    dialogs::beep(type);
    return;
  }
  std::fputc('\a', stderr);
}
