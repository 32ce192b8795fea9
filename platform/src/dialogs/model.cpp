// The dialog model's state: the one model of the process, the lookups, and
// adding and erasing windows.

#include "dialogs/model_internal.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

namespace platform::dialogs::internal {

// Procedures run with the lock released, but the model's own steps convert
// text under it: it comes before the converters' lock in a fork.
Lock modelLock;
[[maybe_unused]] const bool modelLockKept = keepAcrossFork(modelLock, ForkStage::kPlatform);

Model& model() {
  static Model instance;
  return instance;
}

Record* find(Model& m, WindowHandle window) {
  if (!window) return nullptr;
  auto it = m.windows.find(window.serial());
  return it == m.windows.end() ? nullptr : &it->second;
}

ThreadState* findThread(Model& m, uint32_t thread) {
  auto it = m.threads.find(thread);
  return it == m.threads.end() ? nullptr : &it->second;
}

ThreadState& ownThread(Model& m) { return m.threads[currentThreadId()]; }

ThreadState* threadForHook(Model& m, bool settingOne) {
  ThreadState* state = findThread(m, currentThreadId());
  if (state != nullptr || !settingOne) return state;
  try {
    return &ownThread(m);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool isAncestor(Model& m, uint64_t ancestor, uint64_t serial) {
  for (const Record* r = find(m, WindowHandle(serial)); r != nullptr && r->parent != 0;
       r = find(m, WindowHandle(r->parent))) {
    if (r->parent == ancestor) return true;
  }
  return false;
}

uint64_t ownDialog(Model& m, uint64_t serial) {
  for (;;) {
    const Record* r = find(m, WindowHandle(serial));
    if (r == nullptr || r->kind == Kind::kDialog || r->parent == 0 || find(m, WindowHandle(r->parent)) == nullptr) {
      return serial;
    }
    serial = r->parent;
  }
}

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
  for (auto timer = m.timers.begin(); timer != m.timers.end();) {
    timer = m.windows.count(timer->first.first) == 0 ? m.timers.erase(timer) : std::next(timer);
  }
  changed(m);
  const uint64_t survivor = m.windows.count(heir) != 0 ? heir : 0;
  for (auto& [thread, state] : m.threads) {
    (void)thread;
    if (state.active != 0 && m.windows.count(state.active) == 0) state.active = survivor;
    if (state.focus != 0 && m.windows.count(state.focus) == 0) state.focus = survivor;
    auto gone = [&m](const QueuedMessage& q) { return m.windows.count(q.window.serial()) == 0; };
    state.queue.erase(std::remove_if(state.queue.begin(), state.queue.end(), gone), state.queue.end());
  }
}

uint64_t addWindow(Model& m, const WindowSpec& spec) {
  Record record;
  record.parent = spec.parent.serial();
  record.id = spec.id;
  record.kind = spec.kind;
  record.style = spec.style;
  if (spec.text != nullptr) record.text.assign(spec.text);
  record.procedure = spec.procedure;
  record.thread = currentThreadId();
  record.visible = (spec.style & kStyleHidden) == 0;
  const uint64_t serial = m.nextSerial;
  m.windows.emplace(serial, std::move(record));
  ++m.nextSerial;
  changed(m);
  return serial;
}

}  // namespace platform::dialogs::internal
