// Messages and the modal loop of the dialog model: the queues, sending and
// dispatching, the templates, and runModal with its end.

#include "platform/dialogs.h"

#include <new>

#include "dialogs_model.h"
#include "platform/utf16.h"

namespace platform::dialogs {

using namespace internal;

namespace {

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
    if (hook == nullptr || !hook(dialog, -1, context)) endRun(run, kDialogNoInput);
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
