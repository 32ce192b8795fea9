// What the engine asks of the dialog front end, as the console program
// answers it until the dialogs are built in: message boxes print and do not
// wait, the beep is the terminal's bell, and the Copying Files dialog
// brands at once. Only the program links this file; the tests have their
// own stand-ins.

#include <cstdio>

#include "brand.h"
#include "brand_dialogs.h"
#include "console.h"

intptr_t copyingDlgProc(platform::dialogs::WindowHandle dialog, platform::dialogs::Message message, uint64_t,
                        intptr_t second) {
  if (message != platform::dialogs::Message::kInit) return 0;
  (void)reinterpret_cast<brand*>(second)->brandAll(dialog);  // always 0: the status tells
  (void)platform::dialogs::endDialog(dialog, 0);
  return 1;
}

int32_t brandMessageBox(platform::dialogs::WindowHandle, const char16_t* text, const char16_t* caption,
                        uint32_t style) {
  brandPrintW(caption);
  brandPrint(": ");
  brandPrintW(text);
  brandPrint("\n");
  // Nobody answers a printed box: a question counts as No.
  return (style & kBrandBoxYesNo) != 0 ? kBrandAnswerNo : kBrandAnswerOk;
}

void brandMessageBeep(uint32_t) { std::fputc('\a', stderr); }
