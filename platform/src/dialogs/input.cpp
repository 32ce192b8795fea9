// The user's side of the dialog model: typing into edits, clicking buttons,
// pressing keys, and what front ends draw from (the change count, the busy
// state, the beep).

#include "platform/dialogs/model.h"

#include <unicode/uchar.h>

#include <new>
#include <string>

#include "dialogs/model_internal.h"
#include "platform/utf16.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// Typed letters as an upper-case edit takes them: one character for one
// (the simple mapping), so the text keeps its length in characters.
void upperCase(std::u16string* text) {
  std::u16string out;
  out.reserve(text->size());
  for (size_t i = 0; i < text->size();) {
    const auto codePoint = static_cast<UChar32>(utf16::nextCodePoint(*text, &i));
    const UChar32 upper = u_toupper(codePoint);
    if (upper > 0xFFFF) {
      out += utf16::highSurrogateOf(static_cast<uint32_t>(upper));
      out += utf16::lowSurrogateOf(static_cast<uint32_t>(upper));
    } else {
      out += static_cast<char16_t>(upper);
    }
  }
  *text = std::move(out);
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
  try {
    std::u16string typed(text == nullptr ? u"" : text, n);
    Model& m = model();
    Guard guard(m.lock);
    Record* record = find(m, edit);
    if (record == nullptr || record->kind != Kind::kEdit || !record->visible) return false;
    if ((record->style & kStyleUpperCase) != 0) upperCase(&typed);
    typed.resize(utf16::cutOutsidePair(typed, record->textLimit));
    if (typed == record->text) return true;
    record->text = std::move(typed);
    changed(m);
    parent = WindowHandle(record->parent);
    id = record->id;
  } catch (const std::bad_alloc&) {
    return false;
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
  ThreadState* state = findThread(m, currentThreadId());
  if (state == nullptr) {
    if (!busy) return;
    try {
      state = &ownThread(m);
    } catch (const std::bad_alloc&) {
      return;  // the cursor simply does not change
    }
  }
  if (state->busy != busy) {
    state->busy = busy;
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

BeepHook setBeepHook(BeepHook hook, void* context) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  ThreadState* state = threadForHook(m, hook != nullptr);
  if (state == nullptr) return nullptr;
  const BeepHook previous = state->beepHook;
  state->beepHook = hook;
  state->beepContext = context;
  return previous;
}

}  // namespace platform::dialogs
