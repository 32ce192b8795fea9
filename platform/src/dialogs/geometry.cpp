// Geometry of the dialog model: window rectangles, minimising, and the
// model's screen. Nothing is laid out; the values are kept for the callers
// that centre dialogs and for front ends.

#include "platform/dialogs/model.h"

#include "dialogs/model_internal.h"

namespace platform::dialogs {

using namespace internal;

bool windowRect(WindowHandle window, Rect* rect) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr || rect == nullptr) return false;
  *rect = record->rect;
  return true;
}

bool moveWindow(WindowHandle window, const Rect& rect) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr) return false;
  record->rect = rect;
  return true;
}

bool isMinimized(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  return record != nullptr && record->minimized;
}

bool setMinimized(WindowHandle window, bool minimized) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr) return false;
  record->minimized = minimized;
  return true;
}

Rect screenRect() noexcept {
  Model& m = model();
  Guard guard(m.lock);
  return m.screen;
}

void setScreenRectForTesting(const Rect& rect) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  m.screen = rect;
}

}  // namespace platform::dialogs
