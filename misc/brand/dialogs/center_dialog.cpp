// Centring a dialog on its parent, or on the screen, kept on the screen.

#include "dialogs/brand_dialogs.h"

namespace {

namespace dialogs = platform::dialogs;

int16_t narrow16(int32_t value) { return static_cast<int16_t>(value); }

// The start of a span of `size` centred on the reference span, not before
// 0 and not past the screen's end: a span larger than the screen starts at
// 0. In 16-bit signed arithmetic, as dialog coordinates are.
int16_t centred(int16_t referenceStart, int16_t referenceSize, int16_t size, int16_t screenSize) {
  int16_t start = narrow16(referenceStart + narrow16(referenceSize - size) / 2);
  if (start < 0) start = 0;
  if (size > screenSize) return 0;
  if (narrow16(start + size) > screenSize) start = narrow16(screenSize - size);
  return start;
}

// The reference to centre on: the parent, or the screen when the top-most
// ancestor is minimised (the parent's place means nothing then) or there is
// no parent to read.
dialogs::Rect reference(dialogs::WindowHandle dialog) {
  dialogs::WindowHandle top = dialog;
  for (dialogs::WindowHandle up = dialogs::parentWindow(top); up; up = dialogs::parentWindow(top)) top = up;
  dialogs::Rect parent{};
  if (dialogs::isMinimized(top) || !dialogs::windowRect(dialogs::parentWindow(dialog), &parent)) {
    return dialogs::screenRect();
  }
  return parent;
}

}  // namespace

void centerDialog(dialogs::WindowHandle dialog) {
  dialogs::Rect rect{};
  if (!dialogs::windowRect(dialog, &rect)) return;
  const dialogs::Rect screen = dialogs::screenRect();
  const dialogs::Rect around = reference(dialog);
  const int16_t width = narrow16(rect.width);
  const int16_t height = narrow16(rect.height);
  rect.left = centred(narrow16(around.left), narrow16(around.width), width, narrow16(screen.width));
  rect.top = centred(narrow16(around.top), narrow16(around.height), height, narrow16(screen.height));
  (void)dialogs::moveWindow(dialog, rect);  // a dialog that vanished has no place to keep
}
