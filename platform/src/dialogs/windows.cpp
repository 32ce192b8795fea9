// Windows of the dialog model: creation and destruction, the tree, dialog
// items, properties, and the active and focus windows.

#include "platform/dialogs/model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

Property* findProperty(Record& record, std::string_view name) {
  for (size_t i = 0; i < record.properties.size(); ++i) {
    if (equalsNoCase(record.properties.data()[i].name, name)) return &record.properties.data()[i];
  }
  return nullptr;
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
  return WindowHandle(addWindow(m, spec));
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
  for (size_t i = firstAfter(m, dialog.serial()); i < m.windows.size(); ++i) {
    const Record& r = *m.windows.data()[i];
    if (r.parent == dialog.serial() && r.id == id) return WindowHandle(r.serial);
  }
  return nullptr;
}

WindowHandle nextChild(WindowHandle parent, WindowHandle after) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (find(m, parent) == nullptr) return nullptr;
  const uint64_t from = after ? std::max(after.serial(), parent.serial()) : parent.serial();
  for (size_t i = firstAfter(m, from); i < m.windows.size(); ++i) {
    const Record& r = *m.windows.data()[i];
    if (r.parent == parent.serial()) return WindowHandle(r.serial);
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
  if (Property* property = findProperty(*record, name)) {
    property->value = value;
    return true;
  }
  const size_t bytes = std::strlen(name) + 1;
  auto* copy = static_cast<char*>(reallocate(nullptr, bytes));
  if (copy == nullptr) return false;
  std::memcpy(copy, name, bytes);
  if (!record->properties.tryPush({copy, value})) {
    std::free(copy);
    return false;
  }
  return true;
}

void* getProperty(WindowHandle window, const char* name) noexcept {
  if (name == nullptr) return nullptr;
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  const Property* property = record == nullptr ? nullptr : findProperty(*record, name);
  return property == nullptr ? nullptr : property->value;
}

void* removeProperty(WindowHandle window, const char* name) noexcept {
  if (name == nullptr) return nullptr;
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, window);
  Property* property = record == nullptr ? nullptr : findProperty(*record, name);
  if (property == nullptr) return nullptr;
  void* value = property->value;
  std::free(property->name);
  record->properties.erase(static_cast<size_t>(property - record->properties.data()));
  return value;
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
  ThreadState* state = threadState(m, currentThreadId());
  if (state == nullptr) return false;
  state->active = window.serial();
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
  ThreadState* state = threadState(m, currentThreadId());
  if (state == nullptr) return false;
  state->focus = window.serial();
  if (window && state->active != window.serial() && !isAncestor(m, state->active, window.serial())) {
    state->active = ownDialog(m, window.serial());
  }
  return true;
}

}  // namespace platform::dialogs
