// Window helpers over the platform's dialog model and browser opener.

#include "julib/window.h"

#include <cstring>

#include "julib/codepage.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "julib/threads.h"
#include "platform/ansi.h"
#include "platform/browser.h"
#include "platform/utf16.h"

namespace dialogs = platform::dialogs;

namespace {

constexpr char kObjectProperty[] = "Handle";
// The narrow calls of ANSI mode go through buffers of this many bytes.
constexpr size_t kAnsiTextBytes = 4096;

// WideCharToMultiByte of `text` into `out` of `size` (> 0) bytes in the ANSI
// code page, cut on a character boundary and always terminated. False (an
// empty text) when it cannot be converted or memory runs out (posted).
bool toAnsiBounded(const char16_t* text, char* out, size_t size) {
  out[0] = 0;
  size_t units = text == nullptr ? 0 : juWStrLen(text);
  if (units == 0) return true;
  // Every unit but the second of a surrogate pair gives a byte at least, so
  // twice the room in units is all that can still fit (the pair kept whole).
  units = platform::utf16::cutAtCharBoundary(std::u16string_view(text, units), 2 * size);
  const int n = static_cast<int>(units);
  const int needed = platform::wideToMultiByte(platform::kCodePageAnsi, text, n, nullptr, 0);
  if (needed <= 0) return false;
  if (static_cast<size_t>(needed) < size) {
    const int written = platform::wideToMultiByte(platform::kCodePageAnsi, text, n, out, needed);
    out[written > 0 ? written : 0] = 0;
    return written > 0;
  }
  char* whole = static_cast<char*>(juMallocChecked(static_cast<size_t>(needed)));
  if (whole == nullptr) return false;
  const int written = platform::wideToMultiByte(platform::kCodePageAnsi, text, n, whole, needed);
  const size_t kept = written > 0 ? platform::ansiPrefixLength(whole, static_cast<size_t>(written), size - 1) : 0;
  std::memcpy(out, whole, kept);
  out[kept] = 0;
  juFree(whole);
  return written > 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Modal dialogs.
// ---------------------------------------------------------------------------

intptr_t juDialogBoxResult(dialogs::WindowHandle owner, uint16_t templateId, dialogs::Procedure procedure,
                           intptr_t parameter) {
  const dialogs::WindowHandle active = dialogs::activeWindow();
  // A dialog opened from inside the owner's active child belongs on top of
  // that child.
  const dialogs::WindowHandle parent = !owner || dialogs::isChild(owner, active) ? active : owner;
  const intptr_t code =
      dialogs::runModal(juResourceModule.load(std::memory_order_acquire), templateId, parent, procedure, parameter);
  if (dialogs::isWindow(active) && dialogs::activeWindow() != active) {
    (void)dialogs::setFocus(active);  // best effort, as the focus is given back
  }
  return code;
}

int32_t juDialogBox(dialogs::WindowHandle owner, uint16_t templateId, dialogs::Procedure procedure,
                    intptr_t parameter) {
  if (juDialogBoxResult(owner, templateId, procedure, parameter) != dialogs::kDialogFailed) return 0;
  juPostError(kJuMsgDialogFailed);
  return 1;
}

// ---------------------------------------------------------------------------
// The object pointer of a window.
// ---------------------------------------------------------------------------

void juSetWindowObject(dialogs::WindowHandle window, void* object) {
  (void)dialogs::setProperty(window, kObjectProperty, object);  // no result to pass on
}

void* juGetWindowObject(dialogs::WindowHandle window) { return dialogs::getProperty(window, kObjectProperty); }

void juRemoveWindowObject(dialogs::WindowHandle window) { (void)dialogs::removeProperty(window, kObjectProperty); }

// ---------------------------------------------------------------------------
// Dialog texts.
// ---------------------------------------------------------------------------

size_t juGetDlgItemTextW(dialogs::WindowHandle dialog, int32_t id, char16_t* buffer, size_t size) {
  if (juGetAnsiMode() != 1) return dialogs::getItemText(dialog, id, buffer, size);
  char narrow[kAnsiTextBytes];
  if (dialogs::getItemTextNarrow(dialog, id, narrow, sizeof narrow) == 0) {
    if (buffer != nullptr && size > 0) buffer[0] = 0;
    return 0;
  }
  if (buffer == nullptr || size == 0) return 0;
  // A byte gives one unit at most, so the whole text fits here.
  char16_t wide[kAnsiTextBytes];
  const int units = platform::multiByteToWide(platform::kCodePageAnsi, narrow, -1, wide, kAnsiTextBytes);
  if (units <= 0) {
    buffer[0] = 0;
    return 0;
  }
  // The units with the terminator, as the conversion counts them; a text cut
  // to the caller's buffer counts the same way.
  const char16_t* end = juWStrNCopyBounded(buffer, size, wide, static_cast<size_t>(units - 1));
  return static_cast<size_t>(end - buffer) + 1;
}

int32_t juSetDlgItemTextW(dialogs::WindowHandle dialog, int32_t id, const char16_t* text) {
  if (juGetAnsiMode() != 1) return dialogs::setItemText(dialog, id, text) ? 1 : 0;
  char narrow[kAnsiTextBytes];
  if (!toAnsiBounded(text, narrow, sizeof narrow)) return 0;
  return dialogs::setItemTextNarrow(dialog, id, narrow) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Online help.
// ---------------------------------------------------------------------------

void juShowOnlineHelp(const char* firstPart, const char* secondPart) {
  if (firstPart == nullptr) firstPart = "";
  if (secondPart == nullptr) secondPart = "";
  const size_t length = (sizeof kJuOnlineHelpBase - 1) + juStrLen(firstPart) + juStrLen(secondPart);
  if (length >= kJuOnlineHelpAddressSize) return;  // refused: a cut address is another page
  char address[kJuOnlineHelpAddressSize];
  char* end = juStrCopyBounded(address, sizeof address, kJuOnlineHelpBase);
  end = juStrCopyBounded(end, sizeof address - static_cast<size_t>(end - address), firstPart);
  juStrCopyBounded(end, sizeof address - static_cast<size_t>(end - address), secondPart);
  (void)platform::openAddress(address);  // nothing to report to: the page simply does not open
}
