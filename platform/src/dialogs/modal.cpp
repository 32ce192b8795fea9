// Messages and the modal loop of the dialog model: the queues, sending and
// dispatching with the dialogs' default handling, the templates, runModal
// with its end, and the input hook.

#include "platform/dialogs/model.h"

#include "dialogs/model_internal.h"
#include "platform/utf16.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// The registration of template `templateId` of `module`; null when there is
// none. The lock is held.
TemplateEntry* findTemplate(Model& m, ModuleHandle module, uint16_t templateId) {
  for (size_t i = 0; i < m.templates.size(); ++i) {
    TemplateEntry& entry = m.templates.data()[i];
    if (entry.module == module && entry.id == templateId) return &entry;
  }
  return nullptr;
}

// Adds the controls of `dialog` under the window `serial`; false when
// memory runs out.
bool addControls(Model& m, uint64_t serial, const DialogTemplate& dialog) {
  for (size_t i = 0; i < dialog.controlCount; ++i) {
    const ControlTemplate& control = dialog.controls[i];
    WindowSpec item;
    item.parent = WindowHandle(serial);
    item.id = control.id;
    item.kind = control.kind;
    item.style = control.style;
    item.text = control.text;
    if (addWindow(m, item) == 0) return false;
  }
  return true;
}

// Makes a dialog and its controls from a template, active and focused.
// Null when the template is missing, the parent is not a window, or memory
// runs out (nothing is left behind then).
WindowHandle openDialog(ModuleHandle module, uint16_t templateId, WindowHandle parent, Procedure procedure,
                        ModalRun* run) {
  Model& m = model();
  Guard guard(m.lock);
  const TemplateEntry* found = findTemplate(m, module, templateId);
  if (found == nullptr) return nullptr;
  if (parent && find(m, parent) == nullptr) return nullptr;
  const DialogTemplate& dialog = *found->dialog;
  if (utf16::unitLength(dialog.caption) > kMaxTextUnits) return nullptr;
  WindowSpec spec;
  spec.parent = parent;
  spec.kind = Kind::kDialog;
  spec.style = dialog.style;
  spec.text = dialog.caption;
  spec.procedure = procedure;
  const uint64_t serial = addWindow(m, spec);
  if (serial == 0) return nullptr;
  ThreadState* state = threadState(m, currentThreadId());
  if (!addControls(m, serial, dialog) || state == nullptr || !state->modal.tryPush(serial)) {
    eraseTree(m, serial);
    return nullptr;
  }
  Record* record = find(m, WindowHandle(serial));
  record->rect = {0, 0, dialog.width, dialog.height};
  record->run = run;
  state->active = serial;
  state->focus = serial;
  return WindowHandle(serial);
}

bool runEnded(ModalRun& run, intptr_t* code) {
  Model& m = model();
  Guard guard(m.lock);
  if (run.ended) *code = run.code;
  return run.ended;
}

// Ends `run` with `code` unless it already has an end code.
void endRun(ModalRun& run, intptr_t code) {
  Model& m = model();
  Guard guard(m.lock);
  if (!run.ended) {
    run.ended = true;
    run.code = code;
  }
}

// Detaches the run from its dialog and destroys the dialog when it is
// still there.
void closeDialog(WindowHandle dialog, ModalRun& run) {
  Model& m = model();
  Guard guard(m.lock);
  if (ThreadState* state = findThread(m, currentThreadId())) {
    for (size_t i = state->modal.size(); i-- > 0;) {
      if (state->modal.data()[i] == dialog.serial()) state->modal.erase(i);
    }
  }
  Record* record = find(m, dialog);
  if (record == nullptr || record->run != &run) return;
  record->run = nullptr;
  eraseTree(m, dialog.serial());
}

// Takes the oldest queued message of the calling thread, or with none
// queued posts its due timers and takes the first of them.
bool takeQueued(QueuedMessage* message, bool withTimers) {
  Model& m = model();
  Guard guard(m.lock);
  const uint32_t thread = currentThreadId();
  ThreadState* state = findThread(m, thread);
  if (state == nullptr) return false;
  if (state->queue.empty() && withTimers) postDueTimers(m, *state);
  if (!state->queue.take(message)) return false;
  timerTaken(m, *message);
  return true;
}

// What the calling thread's input hook is asked with.
struct HookCall {
  InputHook hook = nullptr;
  void* context = nullptr;
  WindowHandle dialog;  // the innermost running dialog
  int32_t wait = -1;
  bool ended = false;   // the input has ended
};

HookCall hookCall() {
  HookCall call;
  Model& m = model();
  Guard guard(m.lock);
  const uint32_t thread = currentThreadId();
  if (const ThreadState* state = findThread(m, thread)) {
    call.hook = state->hook;
    call.context = state->hookContext;
    call.ended = state->inputEnded;
    if (state->modal.size() != 0) call.dialog = WindowHandle(state->modal.data()[state->modal.size() - 1]);
  }
  call.wait = nextTimerWait(m, thread);
  return call;
}

void endInput() {
  Model& m = model();
  Guard guard(m.lock);
  if (ThreadState* state = findThread(m, currentThreadId())) state->inputEnded = true;
}

// Asks the hook for input; false when the input has ended now or before.
bool askForInput(const HookCall& call, WindowHandle dialog, int32_t wait) {
  if (call.ended || call.hook == nullptr) return false;
  if (call.hook(dialog, wait, call.context)) return true;
  endInput();
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages.
// ---------------------------------------------------------------------------

bool postMessage(WindowHandle window, Message message, uint64_t first, intptr_t second) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr) return false;
  ThreadState* state = threadState(m, record->thread);
  return state != nullptr && state->queue.push({window, message, first, second});
}

intptr_t sendMessage(WindowHandle window, Message message, uint64_t first, intptr_t second) noexcept {
  Procedure procedure = nullptr;
  Kind kind = Kind::kWindow;
  {
    Model& m = model();
    Guard guard(m.lock);
    const Record* record = find(m, window);
    if (record == nullptr) return 0;
    procedure = record->procedure;
    kind = record->kind;
  }
  const intptr_t result = procedure == nullptr ? 0 : procedure(window, message, first, second);
  // A dialog that leaves its close box or the Escape key alone is closed as
  // if Cancel was pressed.
  const bool cancels = message == Message::kClose || (message == Message::kKeyDown && first == kKeyEscape);
  if (result == 0 && kind == Kind::kDialog && cancels) {
    return sendMessage(window, Message::kCommand, static_cast<uint64_t>(kCancelCommand), 0);
  }
  return result;
}

bool takeMessage(QueuedMessage* message) noexcept {
  if (message == nullptr) return false;
  if (takeQueued(message, false)) return true;
  // As PeekMessage pulls input: a loop that pumps between steps of its work
  // sees the user's keys.
  const HookCall call = hookCall();
  if (call.dialog) (void)askForInput(call, call.dialog, 0);  // an ended input is remembered
  return takeQueued(message, true);
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
  Guard guard(m.lock);
  if (TemplateEntry* entry = findTemplate(m, module, templateId)) {
    entry->dialog = dialog;
    return true;
  }
  return m.templates.tryPush({module, templateId, dialog});
}

void unregisterTemplate(ModuleHandle module, uint16_t templateId) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  if (const TemplateEntry* entry = findTemplate(m, module, templateId)) {
    m.templates.erase(static_cast<size_t>(entry - m.templates.data()));
  }
}

intptr_t runModal(ModuleHandle module, uint16_t templateId, WindowHandle parent, Procedure procedure,
                  intptr_t parameter) noexcept {
  ModalRun run;
  const WindowHandle dialog = openDialog(module, templateId, parent, procedure, &run);
  if (!dialog) return kDialogFailed;
  sendMessage(dialog, Message::kInit, 0, parameter);
  intptr_t code = 0;
  while (!runEnded(run, &code) && isWindow(dialog)) {
    // Once the input has ended every loop unwinds, innermost first.
    if (inputEnded()) {
      endRun(run, kDialogNoInput);
      break;
    }
    QueuedMessage message;
    if (takeQueued(&message, true)) {
      dispatchMessage(message);
      continue;
    }
    // Waiting for input that cannot come would hang the program.
    const HookCall call = hookCall();
    if (!askForInput(call, dialog, call.wait)) endRun(run, kDialogNoInput);
  }
  closeDialog(dialog, run);
  return runEnded(run, &code) ? code : 0;
}

bool endDialog(WindowHandle dialog, intptr_t code) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  Record* record = find(m, dialog);
  if (record == nullptr || record->run == nullptr) return false;
  // As EndDialog: the latest call sets the code.
  record->run->ended = true;
  record->run->code = code;
  return true;
}

InputHook setInputHook(InputHook hook, void* context, void** previousContext) noexcept {
  if (previousContext != nullptr) *previousContext = nullptr;
  Model& m = model();
  Guard guard(m.lock);
  ThreadState* state = threadForHook(m, hook != nullptr);
  if (state == nullptr) return nullptr;
  const InputHook previous = state->hook;
  if (previousContext != nullptr) *previousContext = state->hookContext;
  state->hook = hook;
  state->hookContext = context;
  state->inputEnded = false;
  return previous;
}

bool inputEnded() noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const ThreadState* state = findThread(m, currentThreadId());
  return state != nullptr && state->inputEnded;
}

}  // namespace platform::dialogs
