// What the engine asks of the dialog front end: the Copying Files dialog's
// procedure, message boxes and beeps. They are defined with the dialogs.
#ifndef BRAND_BRAND_DIALOGS_H
#define BRAND_BRAND_DIALOGS_H

#include <cstdint>

#include "platform/dialogs.h"

// Dialog templates of the tool's module.
inline constexpr uint16_t kBrandDialogMain = 1;
inline constexpr uint16_t kBrandDialogWelcome = 2;
inline constexpr uint16_t kBrandDialogCopying = 3;

// Message box styles (combined with '|') and answers.
inline constexpr uint32_t kBrandBoxOk = 0;
inline constexpr uint32_t kBrandBoxYesNo = 4;
inline constexpr uint32_t kBrandBoxExclamation = 0x30;  // the icon, and the beep of an error
inline constexpr int32_t kBrandAnswerOk = 1;
inline constexpr int32_t kBrandAnswerYes = 6;
inline constexpr int32_t kBrandAnswerNo = 7;

// The procedure of dialog 3 (Copying Files); its parameter is the brand
// object, and it runs brand::brandAll from its timer.
intptr_t copyingDlgProc(platform::dialogs::WindowHandle dialog, platform::dialogs::Message message, uint64_t first,
                        intptr_t second);

// Shows a modal message box owned by `owner` (null: no owner) with the
// UTF-16 text and caption and a style of the kBrandBox... bits; returns the
// answer (kBrandAnswer...).
int32_t brandMessageBox(platform::dialogs::WindowHandle owner, const char16_t* text, const char16_t* caption,
                        uint32_t style);

// Sounds the beep of a message box of `type` (0, or kBrandBoxExclamation).
void brandMessageBeep(uint32_t type);

#endif  // BRAND_BRAND_DIALOGS_H
