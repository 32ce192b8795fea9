// The dialog front end of the program: Welcome, then the main dialog, drawn
// on the terminal.

#include "dialogs/dialog_front_end.h"

#include <cstdio>

#include "dialogs/brand_dialogs.h"
#include "dialogs/dialog_reporter.h"
#include "engine/brand.h"
#include "julib/threads.h"
#include "julib/window.h"
#include "platform/dialogs/terminal_front_end.h"

namespace dialogs = platform::dialogs;

namespace {

// The window the dialogs are owned by, standing for the desktop: it covers
// the screen, so a dialog centred on it is centred on the screen.
class Desktop {
 public:
  Desktop() {
    dialogs::WindowSpec spec;
    spec.kind = dialogs::Kind::kWindow;
    window_ = dialogs::createWindow(spec);
    if (window_) (void)dialogs::moveWindow(window_, dialogs::screenRect());  // it was just made
  }
  ~Desktop() { (void)dialogs::destroyWindow(window_); }
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  dialogs::WindowHandle window() const { return window_; }

 private:
  dialogs::WindowHandle window_;
};

// Runs one dialog; false when it could not be made (message 9999 posted)
// or the input ended while it ran.
bool ran(dialogs::WindowHandle owner, uint16_t templateId, dialogs::Procedure procedure, intptr_t parameter) {
  return juDialogBox(owner, templateId, procedure, parameter) == 0 && !dialogs::inputEnded();
}

}  // namespace

int runDialogs(brand& object) {
  if (!registerBrandDialogs(juResourceModule.load(std::memory_order_acquire))) return 1;
  Desktop desktop;
  if (!desktop.window()) return 1;
  DialogReporter reporter(desktop.window());
  const BrandReporterScope shown(object, &reporter);
  platform::dialogs::TerminalFrontEnd terminal(0, stdout);
  int code = 1;
  if (ran(desktop.window(), kBrandDialogWelcome, welcomeDlgProc, 0) &&
      ran(desktop.window(), kBrandDialogMain, brandDlgProc, reinterpret_cast<intptr_t>(&object))) {
    (void)object.clearFileList();  // always 1
    (void)object.clearSearchList();
    code = 0;
  }
  return code;
}
