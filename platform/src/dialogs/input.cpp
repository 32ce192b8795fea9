// The user's side of the dialog model: typing into edits, clicking buttons,
// pressing keys, and what front ends draw from (the change count, the busy
// state, the beep).

#include "platform/dialogs/model.h"

#include <unicode/uchar.h>

#include <string_view>

#include "dialogs/model_internal.h"
#include "platform/utf16.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// Typed letters as an upper-case edit takes them: one character for one
// (the simple mapping), so the text keeps its length in characters. False
// when memory runs out.
bool appendUpperCase(List<char16_t>* out, std::u16string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto codePoint = static_cast<UChar32>(utf16::nextCodePoint(text, &i));
    const auto upper = static_cast<uint32_t>(u_toupper(codePoint));
    if (upper > 0xFFFF) {
      out->push(utf16::highSurrogateOf(upper));
      out->push(utf16::lowSurrogateOf(upper));
    } else {
      out->push(static_cast<char16_t>(upper));
    }
  }
  return !out->failed();
}

// kCommand's `first` for control `id` with `notification`.
uint64_t commandFirst(int32_t id, uint32_t notification) {
  return static_cast<uint64_t>(static_cast<uint16_t>(id)) | (static_cast<uint64_t>(notification) << 16);
}

}  // namespace

bool userSetText(WindowHandle edit, const char16_t* text) noexcept {
  const size_t n = utf16::unitLength(text, kMaxTextUnits + 1);
  if (n > kMaxTextUnits) return false;
  WindowHandle parent;
  int32_t id = 0;
  {
    Model& m = model();
    Guard guard(m.lock);
    Record* record = find(m, edit);
    if (record == nullptr || record->kind != Kind::kEdit || !record->visible) return false;
    std::u16string_view typed(text, n);
    List<char16_t> upper;
    if ((record->style & kStyleUpperCase) != 0) {
      if (!appendUpperCase(&upper, typed)) return false;
      typed = std::u16string_view(upper.data(), upper.size());
    }
    typed = typed.substr(0, utf16::cutOutsidePair(typed, record->textLimit));
    const std::u16string_view old(record->text.data(), record->text.size());
    if (typed == old) return true;
    if (!assign(&record->text, typed.data(), typed.size())) return false;
    changed(m);
    parent = WindowHandle(record->parent);
    id = record->id;
  }
  if (parent) (void)sendMessage(parent, Message::kCommand, commandFirst(id, kNotifyChange), 0);  // a notification
  return true;
}

bool pressButton(WindowHandle button) noexcept {
  WindowHandle parent;
  int32_t id = 0;
  {
    Model& m = model();
    Guard guard(m.lock);
    const Record* record = find(m, button);
    if (record == nullptr || record->kind != Kind::kButton || !record->visible || record->parent == 0) return false;
    parent = WindowHandle(record->parent);
    id = record->id;
  }
  return postMessage(parent, Message::kCommand, commandFirst(id, 0), 0);
}

bool pressKey(WindowHandle dialog, uint64_t key) noexcept { return postMessage(dialog, Message::kKeyDown, key, 0); }

uint64_t changeCount() noexcept { return model().changes.load(std::memory_order_relaxed); }

void setBusy(bool busy) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  ThreadState* state = busy ? threadState(m, currentThreadId()) : findThread(m, currentThreadId());
  if (state == nullptr) return;  // not busy, or out of memory: the cursor simply does not change
  if (state->busy != busy) {
    state->busy = busy;
    if (busy) ++state->busyPeriods;
    changed(m);
  }
}

bool isBusy() noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const ThreadState* state = findThread(m, currentThreadId());
  return state != nullptr && state->busy;
}

void beep(uint32_t type) noexcept {
  BeepHook hook = nullptr;
  void* context = nullptr;
  {
    Model& m = model();
    Guard guard(m.lock);
    if (const ThreadState* state = findThread(m, currentThreadId())) {
      hook = state->beepHook;
      context = state->beepContext;
    }
  }
  if (hook != nullptr) hook(type, context);
}

BeepHook setBeepHook(BeepHook hook, void* context, void** previousContext) noexcept {
  if (previousContext != nullptr) *previousContext = nullptr;
  Model& m = model();
  Guard guard(m.lock);
  ThreadState* state = threadForHook(m, hook != nullptr);
  if (state == nullptr) return nullptr;
  const BeepHook previous = state->beepHook;
  if (previousContext != nullptr) *previousContext = state->beepContext;
  state->beepHook = hook;
  state->beepContext = context;
  return previous;
}

}  // namespace platform::dialogs
