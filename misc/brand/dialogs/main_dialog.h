// The main dialog's steps that its procedure runs: the start-up words and
// the Brand button.
#ifndef BRAND_DIALOGS_MAIN_DIALOG_H
#define BRAND_DIALOGS_MAIN_DIALOG_H

#include "platform/dialogs/model.h"

class brand;

// The modes asked for by the words of `commandLine` (the saved command
// line, split at blanks; the switches SilentInstall and ReplaceInstall are
// not among them), at most three words: "-fs" turns suffix mode on, "-nv"
// version mode, "520" turns message-prefix mode off, and any other word
// turns it on, the word after it (skipped) being the message prefix.
//   "-nv X ACME" -> version mode on, message-prefix mode on, prefix "ACME"
void takeStartupWords(brand& object, const char* commandLine);

// The Brand button: checks and stores each field, asks the question before
// the run, runs the branding and reports by the status. Every check that
// fails shows its message and leaves the dialog open with the fields as
// they are; a successful run or a copy failure ends the dialog with 0.
void pressBrand(platform::dialogs::WindowHandle dialog, brand& object);

#endif  // BRAND_DIALOGS_MAIN_DIALOG_H
