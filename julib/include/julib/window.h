// Window helpers: modal dialogs of the program's resources with a sensible
// owner, an object pointer kept on a window, dialog texts as UTF-16, and the
// online help page.
#ifndef JULIB_WINDOW_H
#define JULIB_WINDOW_H

#include <cstddef>
#include <cstdint>

#include "platform/dialogs/model.h"

// ---------------------------------------------------------------------------
// Modal dialogs.
// ---------------------------------------------------------------------------

// Runs the dialog template `templateId` of juResourceModule modally. Its
// owner is `owner`, unless no owner is given or the active window is a child
// of it: then the active window. Afterwards the window that was active gets
// the focus back when it still exists and is no longer active.
//   juDialogBoxResult(nullptr, 2, welcomeProc, 0) -> 1 (the code the
//   procedure ended the dialog with)
// Returns the end code; -1 (kDialogFailed) when the dialog cannot be made;
// platform::dialogs::kDialogNoInput when it waited for input that could not
// come. Posts nothing.
intptr_t juDialogBoxResult(platform::dialogs::WindowHandle owner, uint16_t templateId,
                           platform::dialogs::Procedure procedure, intptr_t parameter);

// The same, reporting only whether the dialog could be made:
//   0  it ran (whatever its end code)
//   1  it could not be made; message 9999 is posted
[[nodiscard]] int32_t juDialogBox(platform::dialogs::WindowHandle owner, uint16_t templateId,
                                  platform::dialogs::Procedure procedure, intptr_t parameter);

// ---------------------------------------------------------------------------
// The object pointer of a window: the property "Handle".
// ---------------------------------------------------------------------------

void juSetWindowObject(platform::dialogs::WindowHandle window, void* object);
// The pointer, null when the window has none (or is not a window).
void* juGetWindowObject(platform::dialogs::WindowHandle window);
void juRemoveWindowObject(platform::dialogs::WindowHandle window);

// ---------------------------------------------------------------------------
// Dialog texts as UTF-16. In ANSI mode (juGetAnsiMode() == 1) they pass
// through the narrow calls and the ANSI code page, 4095 bytes at most.
// ---------------------------------------------------------------------------

// Reads the text of control `id` into `buffer` of `size` units, cut to fit
// and terminated; size 0 writes nothing and returns 0.
// Returns the units written as the system calls count them:
//   - wide calls: the units without the terminator (u"Name" -> 4);
//   - ANSI mode: the units with the terminator (u"Name" -> 5), 0 for an
//     empty text or a missing control.
size_t juGetDlgItemTextW(platform::dialogs::WindowHandle dialog, int32_t id, char16_t* buffer, size_t size);

// Sets the text of control `id` (null: empty). In ANSI mode the text is
// converted into 4095 bytes at most, cut on a character boundary; characters
// the code page lacks become '?'. Returns 1 when the text was set, 0 when
// the control is missing.
int32_t juSetDlgItemTextW(platform::dialogs::WindowHandle dialog, int32_t id, const char16_t* text);

// ---------------------------------------------------------------------------
// Online help.
// ---------------------------------------------------------------------------

// The documentation's base address; the help pages lie below it.
inline constexpr char kJuOnlineHelpBase[] = "https://docs.vrtools.example/bundle/";
// Room for the whole address, terminator included.
inline constexpr size_t kJuOnlineHelpAddressSize = 2048;

// Opens kJuOnlineHelpBase + firstPart + secondPart in the default browser
// (null parts are empty).
//   juShowOnlineHelp("guide/page/", "Start.html") opens
//   "https://docs.vrtools.example/bundle/guide/page/Start.html"
// An address longer than kJuOnlineHelpAddressSize - 1 characters is not
// opened at all: cut, it would open another page.
void juShowOnlineHelp(const char* firstPart, const char* secondPart);

#endif  // JULIB_WINDOW_H
