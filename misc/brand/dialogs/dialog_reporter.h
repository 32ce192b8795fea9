// What a dialog run shows: the Copying Files dialog's names and percentage,
// and message boxes owned by the dialogs' owner window.
#ifndef BRAND_DIALOGS_DIALOG_REPORTER_H
#define BRAND_DIALOGS_DIALOG_REPORTER_H

#include "engine/reporter.h"
#include "platform/dialogs/model.h"

class DialogReporter final : public brandengine::Reporter {
 public:
  // Boxes and the Copying Files dialog are owned by `owner`.
  explicit DialogReporter(platform::dialogs::WindowHandle owner) : owner_(owner) {}

  // Runs the Copying Files dialog, whose timer runs the loop.
  bool runLoop(brand& object) override;
  // "0 %" in the Copying Files dialog.
  void loopStarted(uint64_t count) override;
  // The names in the Copying Files dialog.
  void fileStarted(const char* source, const char* target) override;
  void fileEnded(const char16_t*) override {}
  // Lets the dialog answer between files, then shows the percentage. False
  // when the user stopped the run: Escape (the dialog then ends with 1), or
  // the end of the input (a cancel nobody can answer).
  bool betweenFiles(uint64_t done, uint64_t count) override;
  // A beep, then a message box; a box that could not be shown, or whose
  // input ended, was not agreed to: a question counts as No.
  bool show(const brandengine::Message& message) override;
  bool ask(const brandengine::Message& question) override { return show(question); }

  // The dialog the loop reports in (null: none).
  void setCopyingDialog(platform::dialogs::WindowHandle dialog) { copying_ = dialog; }
  // The Copying Files dialog tells the reporter whose loop it runs that it
  // is open.
  static void copyingDialogOpened(platform::dialogs::WindowHandle dialog);

 private:
  platform::dialogs::WindowHandle owner_;
  platform::dialogs::WindowHandle copying_;
};

#endif  // BRAND_DIALOGS_DIALOG_REPORTER_H
