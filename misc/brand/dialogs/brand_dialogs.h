// The dialog front end: the tool's three dialog templates, their
// procedures, the folder browser's callback and centring.
#ifndef BRAND_DIALOGS_BRAND_DIALOGS_H
#define BRAND_DIALOGS_BRAND_DIALOGS_H

#include <cstdint>

#include "platform/dialogs/boxes.h"
#include "platform/dialogs/model.h"
#include "platform/process.h"

// Dialog templates of the tool's module.
inline constexpr uint16_t kBrandDialogMain = 1;
inline constexpr uint16_t kBrandDialogWelcome = 2;
inline constexpr uint16_t kBrandDialogCopying = 3;

// Controls of the main dialog (1).
inline constexpr int32_t kBrandPlatformControl = 300;   // static: the INF's platform text
inline constexpr int32_t kBrandPrefixControl = 301;     // the new file prefix, 2 characters
inline constexpr int32_t kBrandDirectoryControl = 303;  // the driver directory, 255
inline constexpr int32_t kBrandBrowseButton = 304;
inline constexpr int32_t kBrandCompanyControl = 309;        // 127
inline constexpr int32_t kBrandProductControl = 310;        // 63
inline constexpr int32_t kBrandMessagePrefixControl = 311;  // 30; message-prefix mode
inline constexpr int32_t kBrandKeyControl = 312;            // the branding key, 30
inline constexpr int32_t kBrandSuffixControl = 313;         // 2; suffix mode
inline constexpr int32_t kBrandVersionControl = 314;        // 11; version mode
inline constexpr int32_t kBrandHelpButton = 9;
// Controls of the Welcome (2) and Copying Files (3) dialogs.
inline constexpr int32_t kBrandWelcomeText = 308;
inline constexpr int32_t kBrandSourceNameControl = 305;
inline constexpr int32_t kBrandTargetNameControl = 306;
inline constexpr int32_t kBrandPercentControl = 307;
// The Copying Files dialog's timer: the branding starts when it fires.
inline constexpr uint64_t kBrandCopyTimer = 900;
inline constexpr uint32_t kBrandCopyTimerMilliseconds = 250;

// Message box styles (combined with '|') and answers.
inline constexpr uint32_t kBrandBoxOk = platform::dialogs::kBoxOk;
inline constexpr uint32_t kBrandBoxYesNo = platform::dialogs::kBoxYesNo;
inline constexpr uint32_t kBrandBoxExclamation = platform::dialogs::kBoxIconExclamation;  // and an error's beep
inline constexpr int32_t kBrandAnswerOk = 1;
inline constexpr int32_t kBrandAnswerYes = 6;
inline constexpr int32_t kBrandAnswerNo = 7;

// Registers the three templates for `module` (the tool's, juResourceModule).
// False when memory runs out.
bool registerBrandDialogs(platform::ModuleHandle module);

// Dialog procedures. The main and Copying Files dialogs take the brand
// object as their parameter and keep it as the window's object while they
// run; the Welcome dialog takes none and ends with 1 when Continue is
// pressed.
intptr_t welcomeDlgProc(platform::dialogs::WindowHandle dialog, platform::dialogs::Message message, uint64_t first,
                        intptr_t second);
intptr_t brandDlgProc(platform::dialogs::WindowHandle dialog, platform::dialogs::Message message, uint64_t first,
                      intptr_t second);
// Runs brand::brandAll from its timer, reporting to the running
// DialogReporter; ends with 1 when the user cancelled.
intptr_t copyingDlgProc(platform::dialogs::WindowHandle dialog, platform::dialogs::Message message, uint64_t first,
                        intptr_t second);

// The folder browser's callback; `parameter` is the brand object. On
// opening it selects the object's target directory, on a new selection it
// shows the selected path as the status text. Returns 0.
int browseCallbackProc(platform::dialogs::WindowHandle browser, platform::dialogs::BrowseEvent event, const char* path,
                       intptr_t parameter);

// Moves `dialog` to the centre of its parent (of the screen when its
// top-most ancestor is minimised or it has no parent), kept on the screen:
//   screen 640 x 480, parent 0,0 640 x 480, dialog 280 x 220 -> 180, 130
// Positions are computed in 16-bit signed arithmetic, as dialog units are.
void centerDialog(platform::dialogs::WindowHandle dialog);

// Sets the text of control `id` of `dialog` from UTF-8 (null: empty); a
// missing control, or text that cannot be converted, shows nothing new.
void setItemTextUtf8(platform::dialogs::WindowHandle dialog, int32_t id, const char* utf8);

#endif  // BRAND_DIALOGS_BRAND_DIALOGS_H
