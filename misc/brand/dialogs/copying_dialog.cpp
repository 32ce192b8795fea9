// The Copying Files dialog: the branding loop runs from its timer, so the
// dialog is on the screen before the first file is copied.

#include "dialogs/brand_dialogs.h"
#include "dialogs/dialog_reporter.h"
#include "engine/brand.h"
#include "julib/window.h"

namespace dialogs = platform::dialogs;

namespace {

brand* objectOf(dialogs::WindowHandle dialog) { return static_cast<brand*>(juGetWindowObject(dialog)); }

void start(dialogs::WindowHandle dialog, brand* object) {
  juSetWindowObject(dialog, object);
  DialogReporter::copyingDialogOpened(dialog);
  centerDialog(dialog);
  (void)dialogs::setTimer(dialog, kBrandCopyTimer, kBrandCopyTimerMilliseconds);  // checked by the run's result
  (void)dialogs::setFocus(dialogs::dialogItem(dialog, dialogs::kCancelCommand));
}

void runBranding(dialogs::WindowHandle dialog) {
  brand* object = objectOf(dialog);
  if (object == nullptr) return;
  // The Cancel question is open (status 1): the branding waits for its
  // answer. The timer stays set, so a No starts it on a later tick; a Yes
  // ends the dialog and its timer with it.
  if (object->status == kBrandStatusCancel) return;
  (void)dialogs::killTimer(dialog, kBrandCopyTimer);
  (void)object->brandAll();  // always 0: the status tells
  (void)dialogs::endDialog(dialog, object->status == kBrandStatusCancel ? 1 : 0);
}

void cancel(dialogs::WindowHandle dialog) {
  brand* object = objectOf(dialog);
  // Already cancelled: the loop stops before its next file.
  if (object == nullptr || object->status == kBrandStatusCancel) return;
  object->status = kBrandStatusCancel;
  if (object->showStatus(nullptr) == 1) {
    juRemoveWindowObject(dialog);
    (void)dialogs::endDialog(dialog, 1);
    return;
  }
  object->status = kBrandStatusSuccess;
}

}  // namespace

intptr_t copyingDlgProc(dialogs::WindowHandle dialog, dialogs::Message message, uint64_t first, intptr_t second) {
  switch (message) {
    case dialogs::Message::kInit:
      start(dialog, reinterpret_cast<brand*>(second));
      return 1;
    case dialogs::Message::kTimer:
      if (first != kBrandCopyTimer) return 0;
      runBranding(dialog);
      return 1;
    case dialogs::Message::kCommand:
      if (dialogs::commandId(first) != dialogs::kCancelCommand || dialogs::commandNotification(first) != 0) return 0;
      cancel(dialog);
      return 1;
    default:
      return 0;  // the close box and Escape come back as Cancel
  }
}
