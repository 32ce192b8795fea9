// Message boxes and the folder browser: modal dialogs of the dialog model
// built from the platform's own templates, driven like any other dialog.
#ifndef PLATFORM_DIALOGS_BOXES_H
#define PLATFORM_DIALOGS_BOXES_H

#include <cstddef>
#include <cstdint>

#include "platform/dialogs/model.h"

namespace platform::dialogs {

// ---------------------------------------------------------------------------
// Message boxes (MessageBox).
// ---------------------------------------------------------------------------

// Styles, combined with '|': the buttons, and the icon (kept in the box's
// style, for front ends).
inline constexpr uint32_t kBoxOk = 0;
inline constexpr uint32_t kBoxYesNo = 4;
inline constexpr uint32_t kBoxIconExclamation = 0x30;

// Answers: the pressed button's id.
inline constexpr int32_t kAnswerOk = 1;
inline constexpr int32_t kAnswerYes = 6;
inline constexpr int32_t kAnswerNo = 7;

// The control ids of a box: the text (a static) and the buttons.
inline constexpr int32_t kBoxTextId = 0xFFFF;

// Runs a modal box owned by `owner` (null: none) with the caption and the
// text (null: empty; "\n" breaks lines) and the buttons of `style`: "OK"
// alone, or "Yes" and "No"; the first is the default button. Escape and the
// close box answer OK in an OK box and do nothing in a Yes/No box, which
// has no Cancel.
//   messageBox(dialog, u"Are you sure?", u"Cancel", kBoxYesNo) -> 6 (Yes)
// Returns kAnswerOk, kAnswerYes or kAnswerNo; kDialogNoInput when the input
// ended; kDialogFailed when the box cannot be made (an owner that is not a
// window, out of memory).
int32_t messageBox(WindowHandle owner, const char16_t* text, const char16_t* caption, uint32_t style) noexcept;

// ---------------------------------------------------------------------------
// The folder browser (SHBrowseForFolder). Paths are NUL-terminated bytes as
// the file system stores them (UTF-8 here).
// ---------------------------------------------------------------------------

enum class BrowseEvent {
  kInitialized,       // the browser has opened; path: null
  kSelectionChanged,  // the user changed the selection; path: the new one
};

// Called by the browser; its result is ignored (0 by custom).
using BrowseCallback = int (*)(WindowHandle browser, BrowseEvent event, const char* path, intptr_t parameter);

// Control ids of the browser's template, in their order: the title, the
// selection's subfolders (one line, refreshed on every change), the status
// text, the label of the selection, the selection (an edit), OK, Cancel.
inline constexpr int32_t kBrowserTitleId = 100;
inline constexpr int32_t kBrowserFoldersId = 101;
inline constexpr int32_t kBrowserStatusId = 102;
inline constexpr int32_t kBrowserSelectionId = 103;

// Runs the browser owned by `owner` (null: none) with `title` (null:
// none); `callback` (null: none) is called with `parameter`. OK with an
// existing directory selected copies its path into `path` of `size` bytes
// (its terminator included) and returns true; a path that does not fit is
// refused (the browser stays open), so is one that is not a directory.
// Cancel, Escape, the close box and the end of input return false, and so
// does a browser that cannot be made; `path` is then left alone.
//   browseForFolder(dialog, "Select Directory", cb, 0, buf, 260) -> true, "/opt/odbc"
bool browseForFolder(WindowHandle owner, const char* title, BrowseCallback callback, intptr_t parameter, char* path,
                     size_t size) noexcept;

// BFFM_SETSELECTION: selects `path` (null: empty) in an open browser, as if
// typed, without calling the callback. False when `browser` is not one.
bool browserSetSelection(WindowHandle browser, const char* path) noexcept;
// BFFM_SETSTATUSTEXT: the browser's status line (null: empty). False when
// `browser` is not one.
bool browserSetStatusText(WindowHandle browser, const char* text) noexcept;

}  // namespace platform::dialogs

#endif  // PLATFORM_DIALOGS_BOXES_H
