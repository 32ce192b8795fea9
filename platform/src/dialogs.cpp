// The dialog model: one table of windows under one lock, a state record per
// thread (queue, active window, focus, input hook), the templates, and the
// modal loop. Procedures and hooks are always called with the lock released,
// since they call back into the model.

#include "platform/dialogs.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ansi.h"
#include "platform/utf16.h"

namespace platform::dialogs {
namespace {

// The end state of one modal run; lives on runModal's stack and is reached
// through the dialog's record while the dialog exists.
struct ModalRun {
  bool ended = false;
  intptr_t code = 0;
};

struct Property {
  std::string name;
  void* value;
};

struct Record {
  uint64_t parent = 0;
  int32_t id = 0;
  Kind kind = Kind::kWindow;
  uint32_t style = 0;
  std::u16string text;
  Procedure procedure = nullptr;
  std::vector<Property> properties;
  uint32_t thread = 0;
  ModalRun* run = nullptr;
};

struct ThreadState {
  std::deque<QueuedMessage> queue;
  uint64_t active = 0;
  uint64_t focus = 0;
  InputHook hook = nullptr;
  void* hookContext = nullptr;
};

using TemplateKey = std::pair<ModuleHandle, uint16_t>;

// Serials grow with creation, so a child's serial is always above its
// parent's: one pass in serial order meets every parent before its children.
struct Model {
  std::mutex mutex;
  uint64_t nextSerial = 1;
  std::map<uint64_t, Record> windows;
  std::unordered_map<uint32_t, ThreadState> threads;
  std::map<TemplateKey, const DialogTemplate*> templates;
};

Model& model() {
  static Model instance;
  return instance;
}

using Guard = std::lock_guard<std::mutex>;

// Lookups; the caller holds the lock.
Record* find(Model& m, WindowHandle window) {
  if (!window) return nullptr;
  auto it = m.windows.find(window.serial());
  return it == m.windows.end() ? nullptr : &it->second;
}

ThreadState* findThread(Model& m, uint32_t thread) {
  auto it = m.threads.find(thread);
  return it == m.threads.end() ? nullptr : &it->second;
}

// The calling thread's state, made when missing. Throws only bad_alloc,
// which every caller turns into a failure.
ThreadState& ownThread(Model& m) { return m.threads[currentThreadId()]; }

bool isAncestor(Model& m, uint64_t ancestor, uint64_t serial) {
  for (const Record* r = find(m, WindowHandle(serial)); r != nullptr && r->parent != 0;
       r = find(m, WindowHandle(r->parent))) {
    if (r->parent == ancestor) return true;
  }
  return false;
}

// The window's own dialog: its nearest ancestor-or-self that is a dialog or
// has no parent.
uint64_t ownDialog(Model& m, uint64_t serial) {
  for (;;) {
    const Record* r = find(m, WindowHandle(serial));
    if (r == nullptr || r->kind == Kind::kDialog || r->parent == 0 || find(m, WindowHandle(r->parent)) == nullptr) {
      return serial;
    }
    serial = r->parent;
  }
}

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
  std::string whole(static_cast<size_t>(needed), '\0');
  const int written = wideToMultiByte(kCodePageAnsi, text.data(), units, whole.data(), needed);
  if (written <= 0) return 0;
  const size_t n = ansiPrefixLength(whole.data(), static_cast<size_t>(written), bytes - 1);
  std::memcpy(buffer, whole.data(), n);
  buffer[n] = 0;
  return n;
}

// SetWindowTextA's conversion; false when the text cannot be converted.
bool widen(const char* text, std::u16string* out) {
  out->clear();
  if (text == nullptr) return true;
  const size_t bytes = std::strlen(text);
  if (bytes == 0) return true;
  // Refused before counting, so the count fits the converter's int.
  if (bytes > kMaxTextUnits) return false;
  const int n = static_cast<int>(bytes);
  const int units = multiByteToWide(kCodePageAnsi, text, n, nullptr, 0);
  if (units <= 0) return false;
  out->resize(static_cast<size_t>(units));
  return multiByteToWide(kCodePageAnsi, text, n, out->data(), units) == units;
}

// Erases `root` and everything below it, the messages queued for them, and
// passes the active window and the focus that were among them to the root's
// parent. The lock is held.
void eraseTree(Model& m, uint64_t root) {
  auto it = m.windows.find(root);
  if (it == m.windows.end()) return;
  const uint64_t heir = it->second.parent;
  it = m.windows.erase(it);
  // Orphans are exactly the descendants: the model leaves none otherwise.
  while (it != m.windows.end()) {
    const uint64_t parent = it->second.parent;
    if (parent != 0 && m.windows.find(parent) == m.windows.end()) {
      it = m.windows.erase(it);
    } else {
      ++it;
    }
  }
  const uint64_t survivor = m.windows.count(heir) != 0 ? heir : 0;
  for (auto& [thread, state] : m.threads) {
    (void)thread;
    if (state.active != 0 && m.windows.count(state.active) == 0) state.active = survivor;
    if (state.focus != 0 && m.windows.count(state.focus) == 0) state.focus = survivor;
    auto gone = [&m](const QueuedMessage& q) { return m.windows.count(q.window.serial()) == 0; };
    state.queue.erase(std::remove_if(state.queue.begin(), state.queue.end(), gone), state.queue.end());
  }
}

// Adds a window; the lock is held. Throws only bad_alloc.
uint64_t addWindow(Model& m, const WindowSpec& spec) {
  Record record;
  record.parent = spec.parent.serial();
  record.id = spec.id;
  record.kind = spec.kind;
  record.style = spec.style;
  if (spec.text != nullptr) record.text.assign(spec.text);
  record.procedure = spec.procedure;
  record.thread = currentThreadId();
  const uint64_t serial = m.nextSerial;
  m.windows.emplace(serial, std::move(record));
  ++m.nextSerial;
  return serial;
}

// Makes a dialog and its controls from a template, active and focused.
// Null when the template is missing, the parent is not a window, or memory
// runs out (nothing is left behind then).
WindowHandle openDialog(ModuleHandle module, uint16_t templateId, WindowHandle parent, Procedure procedure,
                        ModalRun* run) {
  Model& m = model();
  Guard guard(m.mutex);
  auto found = m.templates.find({module, templateId});
  if (found == m.templates.end()) return nullptr;
  if (parent && find(m, parent) == nullptr) return nullptr;
  const DialogTemplate& dialog = *found->second;
  if (utf16::unitLength(dialog.caption) > kMaxTextUnits) return nullptr;
  uint64_t serial = 0;
  try {
    WindowSpec spec;
    spec.parent = parent;
    spec.kind = Kind::kDialog;
    spec.style = dialog.style;
    spec.text = dialog.caption;
    spec.procedure = procedure;
    serial = addWindow(m, spec);
    for (size_t i = 0; i < dialog.controlCount; ++i) {
      const ControlTemplate& control = dialog.controls[i];
      WindowSpec item;
      item.parent = WindowHandle(serial);
      item.id = control.id;
      item.kind = control.kind;
      item.style = control.style;
      item.text = control.text;
      addWindow(m, item);
    }
    ThreadState& state = ownThread(m);
    find(m, WindowHandle(serial))->run = run;
    state.active = serial;
    state.focus = serial;
  } catch (const std::bad_alloc&) {
    if (serial != 0) eraseTree(m, serial);
    return nullptr;
  }
  return WindowHandle(serial);
}

bool runEnded(ModalRun& run, intptr_t* code) {
  Model& m = model();
  Guard guard(m.mutex);
  if (run.ended) *code = run.code;
  return run.ended;
}

// Ends `run` with `code` unless it already has an end code.
void endRun(ModalRun& run, intptr_t code) {
  Model& m = model();
  Guard guard(m.mutex);
  if (!run.ended) {
    run.ended = true;
    run.code = code;
  }
}

// Detaches the run from its dialog and destroys the dialog when it is
// still there.
void closeDialog(WindowHandle dialog, ModalRun& run) {
  Model& m = model();
  Guard guard(m.mutex);
  Record* record = find(m, dialog);
  if (record == nullptr || record->run != &run) return;
  record->run = nullptr;
  eraseTree(m, dialog.serial());
}

}  // namespace

// ---------------------------------------------------------------------------
// Windows.
// ---------------------------------------------------------------------------

WindowHandle createWindow(const WindowSpec& spec) noexcept {
  if (utf16::unitLength(spec.text) > kMaxTextUnits) return nullptr;
  Model& m = model();
  Guard guard(m.mutex);
  if (spec.parent && find(m, spec.parent) == nullptr) return nullptr;
  try {
    return WindowHandle(addWindow(m, spec));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool destroyWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  if (find(m, window) == nullptr) return false;
  eraseTree(m, window.serial());
  return true;
}

bool isWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  return find(m, window) != nullptr;
}

bool isChild(WindowHandle parent, WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  if (find(m, parent) == nullptr || find(m, window) == nullptr) return false;
  return isAncestor(m, parent.serial(), window.serial());
}

WindowHandle parentWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  const Record* record = find(m, window);
  return record == nullptr ? nullptr : WindowHandle(record->parent);
}

bool windowInfo(WindowHandle window, WindowInfo* info) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  const Record* record = find(m, window);
  if (record == nullptr || info == nullptr) return false;
  *info = {record->id, record->kind, record->style};
  return true;
}

WindowHandle dialogItem(WindowHandle dialog, int32_t id) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  if (find(m, dialog) == nullptr) return nullptr;
  // Children were made after their parent: start the search there.
  for (auto it = m.windows.upper_bound(dialog.serial()); it != m.windows.end(); ++it) {
    if (it->second.parent == dialog.serial() && it->second.id == id) return WindowHandle(it->first);
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Texts.
// ---------------------------------------------------------------------------

bool setText(WindowHandle window, const char16_t* text) noexcept {
  const size_t n = utf16::unitLength(text);
  if (n > kMaxTextUnits) return false;
  Model& m = model();
  Guard guard(m.mutex);
  Record* record = find(m, window);
  if (record == nullptr) return false;
  try {
    record->text.assign(text == nullptr ? u"" : text, n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

size_t getText(WindowHandle window, char16_t* buffer, size_t units) noexcept {
  if (buffer == nullptr || units == 0) return 0;
  Model& m = model();
  Guard guard(m.mutex);
  const Record* record = find(m, window);
  if (record == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  return copyUnits(record->text, buffer, units);
}

size_t textLength(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  const Record* record = find(m, window);
  return record == nullptr ? 0 : record->text.size();
}

bool setTextNarrow(WindowHandle window, const char* text) noexcept {
  std::u16string wide;
  try {
    if (!widen(text, &wide)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return setText(window, wide.c_str());
}

size_t getTextNarrow(WindowHandle window, char* buffer, size_t bytes) noexcept {
  if (buffer == nullptr || bytes == 0) return 0;
  Model& m = model();
  Guard guard(m.mutex);
  const Record* record = find(m, window);
  if (record == nullptr) {
    buffer[0] = 0;
    return 0;
  }
  try {
    return copyNarrow(record->text, buffer, bytes);
  } catch (const std::bad_alloc&) {
    buffer[0] = 0;
    return 0;
  }
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

// ---------------------------------------------------------------------------
// Properties.
// ---------------------------------------------------------------------------

bool setProperty(WindowHandle window, const char* name, void* value) noexcept {
  if (name == nullptr) return false;
  Model& m = model();
  Guard guard(m.mutex);
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
  Guard guard(m.mutex);
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
  Guard guard(m.mutex);
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
  Guard guard(m.mutex);
  const ThreadState* state = findThread(m, currentThreadId());
  return state == nullptr ? nullptr : WindowHandle(state->active);
}

bool setActiveWindow(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
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
  Guard guard(m.mutex);
  const ThreadState* state = findThread(m, currentThreadId());
  return state == nullptr ? nullptr : WindowHandle(state->focus);
}

bool setFocus(WindowHandle window) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
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

// ---------------------------------------------------------------------------
// Messages.
// ---------------------------------------------------------------------------

bool postMessage(WindowHandle window, Message message, uint64_t first, intptr_t second) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  const Record* record = find(m, window);
  if (record == nullptr) return false;
  try {
    m.threads[record->thread].queue.push_back({window, message, first, second});
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

intptr_t sendMessage(WindowHandle window, Message message, uint64_t first, intptr_t second) noexcept {
  Procedure procedure = nullptr;
  Kind kind = Kind::kWindow;
  {
    Model& m = model();
    Guard guard(m.mutex);
    const Record* record = find(m, window);
    if (record == nullptr) return 0;
    procedure = record->procedure;
    kind = record->kind;
  }
  const intptr_t result = procedure == nullptr ? 0 : procedure(window, message, first, second);
  // A dialog that leaves its close box alone is closed as if Cancel was
  // pressed.
  if (result == 0 && kind == Kind::kDialog && message == Message::kClose) {
    return sendMessage(window, Message::kCommand, static_cast<uint64_t>(kCancelCommand), 0);
  }
  return result;
}

bool takeMessage(QueuedMessage* message) noexcept {
  if (message == nullptr) return false;
  Model& m = model();
  Guard guard(m.mutex);
  ThreadState* state = findThread(m, currentThreadId());
  if (state == nullptr || state->queue.empty()) return false;
  *message = state->queue.front();
  state->queue.pop_front();
  return true;
}

intptr_t dispatchMessage(const QueuedMessage& message) noexcept {
  return sendMessage(message.window, message.message, message.first, message.second);
}

// ---------------------------------------------------------------------------
// Templates and the modal loop.
// ---------------------------------------------------------------------------

bool registerTemplate(ModuleHandle module, uint16_t templateId, const DialogTemplate* dialog) noexcept {
  if (dialog == nullptr) return false;
  Model& m = model();
  Guard guard(m.mutex);
  try {
    m.templates[{module, templateId}] = dialog;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void unregisterTemplate(ModuleHandle module, uint16_t templateId) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  m.templates.erase({module, templateId});
}

intptr_t runModal(ModuleHandle module, uint16_t templateId, WindowHandle parent, Procedure procedure,
                  intptr_t parameter) noexcept {
  ModalRun run;
  const WindowHandle dialog = openDialog(module, templateId, parent, procedure, &run);
  if (!dialog) return kDialogFailed;
  sendMessage(dialog, Message::kInit, 0, parameter);
  intptr_t code = 0;
  while (!runEnded(run, &code) && isWindow(dialog)) {
    QueuedMessage message;
    if (takeMessage(&message)) {
      dispatchMessage(message);
      continue;
    }
    InputHook hook = nullptr;
    void* context = nullptr;
    {
      Model& m = model();
      Guard guard(m.mutex);
      if (const ThreadState* state = findThread(m, currentThreadId())) {
        hook = state->hook;
        context = state->hookContext;
      }
    }
    // Waiting for input that cannot come would hang the program.
    if (hook == nullptr || !hook(dialog, context)) endRun(run, kDialogNoInput);
  }
  closeDialog(dialog, run);
  return runEnded(run, &code) ? code : 0;
}

bool endDialog(WindowHandle dialog, intptr_t code) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  Record* record = find(m, dialog);
  if (record == nullptr || record->run == nullptr) return false;
  // As EndDialog: the latest call sets the code.
  record->run->ended = true;
  record->run->code = code;
  return true;
}

InputHook setInputHook(InputHook hook, void* context) noexcept {
  Model& m = model();
  Guard guard(m.mutex);
  ThreadState* state = findThread(m, currentThreadId());
  if (state == nullptr) {
    if (hook == nullptr) return nullptr;
    try {
      state = &ownThread(m);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  const InputHook previous = state->hook;
  state->hook = hook;
  state->hookContext = context;
  return previous;
}

}  // namespace platform::dialogs
