// Window texts of the dialog model, wide and narrow: the narrow forms convert
// through the ANSI code page, and every copy is bounded and terminated.

#include "platform/dialogs/model.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dialogs/model_internal.h"
#include "platform/ansi.h"
#include "platform/utf16.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// Copies `text` into `buffer` of `units` (> 0), cut so that a surrogate pair
// is never split, and terminates it.
size_t copyUnits(std::u16string_view text, char16_t* buffer, size_t units) {
  const size_t n = utf16::cutOutsidePair(text, units - 1);
  std::copy(text.begin(), text.begin() + static_cast<ptrdiff_t>(n), buffer);
  buffer[n] = 0;
  return n;
}

// GetWindowTextA's conversion of `text` into `buffer` of `bytes` (> 0).
size_t copyNarrow(std::u16string_view text, char* buffer, size_t bytes) {
  buffer[0] = 0;
  if (text.empty()) return 0;
  // A unit gives a byte at least, except the second of a surrogate pair, so
  // twice the room in units is all that can fit.
  if (bytes < text.size() / 2) text = text.substr(0, utf16::cutAtCharBoundary(text, 2 * bytes));
  const int units = static_cast<int>(text.size());  // bounded by kMaxTextUnits
  const int needed = wideToMultiByte(kCodePageAnsi, text.data(), units, nullptr, 0);
  if (needed <= 0) return 0;
  if (static_cast<size_t>(needed) < bytes) {
    const int written = wideToMultiByte(kCodePageAnsi, text.data(), units, buffer, needed);
    buffer[written > 0 ? written : 0] = 0;
    return written > 0 ? static_cast<size_t>(written) : 0;
  }
  // Too long: convert whole, then cut on a character boundary.
  List<char> whole;
  if (!whole.tryReserve(static_cast<size_t>(needed))) return 0;
  const int written = wideToMultiByte(kCodePageAnsi, text.data(), units, whole.data(), needed);
  if (written <= 0) return 0;
  const size_t n = ansiPrefixLength(whole.data(), static_cast<size_t>(written), bytes - 1);
  std::memcpy(buffer, whole.data(), n);
  buffer[n] = 0;
  return n;
}

// SetWindowTextA's conversion; false when the text cannot be converted or
// memory runs out.
bool widen(const char* text, List<char16_t>* out) {
  if (text == nullptr) return true;
  const size_t bytes = std::strlen(text);
  if (bytes == 0) return true;
  // Refused before counting, so the count fits the converter's int.
  if (bytes > kMaxTextUnits) return false;
  const int n = static_cast<int>(bytes);
  const int units = multiByteToWide(kCodePageAnsi, text, n, nullptr, 0);
  if (units <= 0 || !out->tryReserve(static_cast<size_t>(units))) return false;
  if (multiByteToWide(kCodePageAnsi, text, n, out->data(), units) != units) return false;
  out->setSize(static_cast<size_t>(units));
  return true;
}

std::u16string_view textOf(const Record& record) { return {record.text.data(), record.text.size()}; }

// SetWindowTextW of `n` units (at most kMaxTextUnits).
bool setUnits(WindowHandle window, const char16_t* text, size_t n) {
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr || !assign(&record->text, text, n)) return false;
  changed(m);
  return true;
}

// A window's text copied out by `copy` into `buffer` of `size` items; an
// empty text (and 0) for a window that is not there.
template <typename Char, typename Copy>
size_t readText(WindowHandle window, Char* buffer, size_t size, Copy copy) {
  if (buffer == nullptr || size == 0) return 0;
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  return copy(textOf(*record), buffer, size);
}

}  // namespace

// ---------------------------------------------------------------------------
// Texts.
// ---------------------------------------------------------------------------

bool setText(WindowHandle window, const char16_t* text) noexcept {
  const size_t n = utf16::unitLength(text);
  if (n > kMaxTextUnits) return false;
  return setUnits(window, text, n);
}

size_t getText(WindowHandle window, char16_t* buffer, size_t units) noexcept {
  return readText(window, buffer, units, copyUnits);
}

size_t textLength(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  return record == nullptr ? 0 : record->text.size();
}

bool setTextNarrow(WindowHandle window, const char* text) noexcept {
  List<char16_t> wide;
  if (!widen(text, &wide)) return false;
  return setUnits(window, wide.data(), wide.size());
}

size_t getTextNarrow(WindowHandle window, char* buffer, size_t bytes) noexcept {
  return readText(window, buffer, bytes, copyNarrow);
}

bool setTextLimit(WindowHandle window, size_t units) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr) return false;
  record->textLimit = units == 0 ? kDefaultTextLimit : units;
  return true;
}

size_t textLimit(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  return record == nullptr ? 0 : record->textLimit;
}

size_t getItemText(WindowHandle dialog, int32_t id, char16_t* buffer, size_t units) noexcept {
  return getText(dialogItem(dialog, id), buffer, units);
}

bool setItemText(WindowHandle dialog, int32_t id, const char16_t* text) noexcept {
  return setText(dialogItem(dialog, id), text);
}

size_t getItemTextNarrow(WindowHandle dialog, int32_t id, char* buffer, size_t bytes) noexcept {
  return getTextNarrow(dialogItem(dialog, id), buffer, bytes);
}

bool setItemTextNarrow(WindowHandle dialog, int32_t id, const char* text) noexcept {
  return setTextNarrow(dialogItem(dialog, id), text);
}

}  // namespace platform::dialogs
