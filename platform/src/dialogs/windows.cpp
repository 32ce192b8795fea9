// Windows of the dialog model: creation and destruction, the tree, dialog
// items, properties, and the active and focus windows.

#include "platform/dialogs/model.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "dialogs/model_internal.h"
#include "platform/utf16.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// Property names ignore ASCII case.
bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Windows.
// ---------------------------------------------------------------------------

WindowHandle createWindow(const WindowSpec& spec) noexcept {
  if (utf16::unitLength(spec.text) > kMaxTextUnits) return nullptr;
  Model& m = model();
  Guard guard(m.lock);
  if (spec.parent && find(m, spec.parent) == nullptr) return nullptr;
  try {
    return WindowHandle(addWindow(m, spec));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool destroyWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (find(m, window) == nullptr) return false;
  eraseTree(m, window.serial());
  return true;
}

bool isWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  return find(m, window) != nullptr;
}

bool isChild(WindowHandle parent, WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (find(m, parent) == nullptr || find(m, window) == nullptr) return false;
  return isAncestor(m, parent.serial(), window.serial());
}

WindowHandle parentWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  return record == nullptr ? nullptr : WindowHandle(record->parent);
}

bool windowInfo(WindowHandle window, WindowInfo* info) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr || info == nullptr) return false;
  *info = {record->id, record->kind, record->style};
  return true;
}

WindowHandle dialogItem(WindowHandle dialog, int32_t id) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (find(m, dialog) == nullptr) return nullptr;
  // Children were made after their parent: start the search there.
  for (auto it = m.windows.upper_bound(dialog.serial()); it != m.windows.end(); ++it) {
    if (it->second.parent == dialog.serial() && it->second.id == id) return WindowHandle(it->first);
  }
  return nullptr;
}

WindowHandle nextChild(WindowHandle parent, WindowHandle after) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (find(m, parent) == nullptr) return nullptr;
  const uint64_t from = after ? std::max(after.serial(), parent.serial()) : parent.serial();
  for (auto it = m.windows.upper_bound(from); it != m.windows.end(); ++it) {
    if (it->second.parent == parent.serial()) return WindowHandle(it->first);
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Visibility.
// ---------------------------------------------------------------------------

bool showWindow(WindowHandle window, bool visible) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr) return false;
  if (record->visible != visible) {
    record->visible = visible;
    changed(m);
  }
  return true;
}

bool isVisible(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  return record != nullptr && record->visible;
}

// ---------------------------------------------------------------------------
// Properties.
// ---------------------------------------------------------------------------

bool setProperty(WindowHandle window, const char* name, void* value) noexcept {
  if (name == nullptr) return false;
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr) return false;
  for (Property& property : record->properties) {
    if (equalsNoCase(property.name, name)) {
      property.value = value;
      return true;
    }
  }
  try {
    record->properties.push_back({name, value});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void* getProperty(WindowHandle window, const char* name) noexcept {
  if (name == nullptr) return nullptr;
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr) return nullptr;
  for (const Property& property : record->properties) {
    if (equalsNoCase(property.name, name)) return property.value;
  }
  return nullptr;
}

void* removeProperty(WindowHandle window, const char* name) noexcept {
  if (name == nullptr) return nullptr;
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  if (record == nullptr) return nullptr;
  auto& properties = record->properties;
  for (auto it = properties.begin(); it != properties.end(); ++it) {
    if (equalsNoCase(it->name, name)) {
      void* value = it->value;
      properties.erase(it);
      return value;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Activation and focus.
// ---------------------------------------------------------------------------

WindowHandle activeWindow() noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const ThreadState* state = findThread(m, currentThreadId());
  return state == nullptr ? nullptr : WindowHandle(state->active);
}

bool setActiveWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (window && find(m, window) == nullptr) return false;
  try {
    ownThread(m).active = window.serial();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

WindowHandle focusWindow() noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const ThreadState* state = findThread(m, currentThreadId());
  return state == nullptr ? nullptr : WindowHandle(state->focus);
}

bool setFocus(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (window && find(m, window) == nullptr) return false;
  try {
    ThreadState& state = ownThread(m);
    state.focus = window.serial();
    if (window && state.active != window.serial() && !isAncestor(m, state.active, window.serial())) {
      state.active = ownDialog(m, window.serial());
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace platform::dialogs
