// The dialog model's state: the one model of the process, the lookups, the
// queues, and adding and erasing windows.

#include "dialogs/model_internal.h"

#include <cstdlib>

#include "platform/utf16.h"

namespace platform::dialogs::internal {

// Procedures run with the lock released, but the model's own steps convert
// text under it: it comes before the converters' lock in a fork.
Lock modelLock;
[[maybe_unused]] const bool modelLockKept = keepAcrossFork(modelLock, ForkStage::kPlatform);

Record::~Record() {
  for (size_t i = 0; i < properties.size(); ++i) std::free(properties.data()[i].name);
}

bool Queue::push(const QueuedMessage& message) {
  // Taken messages make room before the array grows.
  if (head_ != 0 && items_.size() == items_.capacity()) {
    items_.erase(0, head_);
    head_ = 0;
  }
  return items_.tryPush(message);
}

bool Queue::take(QueuedMessage* message) {
  if (empty()) return false;
  *message = items_.data()[head_++];
  if (empty()) {
    items_.clear();
    head_ = 0;
  }
  return true;
}

Model& model() {
  alignas(Model) static unsigned char storage[sizeof(Model)];
  static Model* instance = new (storage) Model();
  return *instance;
}

namespace {

// The index of the first window whose serial is `serial` or above, among
// the first `count`.
size_t lowerBound(const Model& m, uint64_t serial, size_t count) {
  size_t low = 0;
  size_t high = count;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (m.windows.data()[middle]->serial < serial) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

bool holds(const Model& m, uint64_t serial, size_t count) {
  const size_t at = lowerBound(m, serial, count);
  return at < count && m.windows.data()[at]->serial == serial;
}

}  // namespace

Record* find(Model& m, WindowHandle window) {
  if (!window) return nullptr;
  const size_t at = lowerBound(m, window.serial(), m.windows.size());
  return at < m.windows.size() && m.windows.data()[at]->serial == window.serial() ? m.windows.data()[at] : nullptr;
}

size_t firstAfter(const Model& m, uint64_t serial) { return lowerBound(m, serial + 1, m.windows.size()); }

ThreadState* findThread(Model& m, uint32_t thread) {
  for (size_t i = 0; i < m.threads.size(); ++i) {
    if (m.threads.data()[i]->thread == thread) return m.threads.data()[i];
  }
  return nullptr;
}

ThreadState* threadState(Model& m, uint32_t thread) {
  if (ThreadState* state = findThread(m, thread)) return state;
  ThreadState* state = make<ThreadState>();
  if (state == nullptr) return nullptr;
  state->thread = thread;
  if (!m.threads.tryPush(state)) {
    release(state);
    return nullptr;
  }
  return state;
}

ThreadState* threadForHook(Model& m, bool settingOne) {
  ThreadState* state = findThread(m, currentThreadId());
  if (state != nullptr || !settingOne) return state;
  return threadState(m, currentThreadId());
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
  const size_t first = lowerBound(m, root, m.windows.size());
  if (first == m.windows.size() || m.windows.data()[first]->serial != root) return;
  const uint64_t heir = m.windows.data()[first]->parent;
  // Descendants follow the root, and each follows its parent: a window goes
  // when its parent is not among those kept so far.
  Record** windows = m.windows.data();
  size_t kept = first;
  for (size_t i = first; i < m.windows.size(); ++i) {
    Record* r = windows[i];
    if (r->serial == root || (r->parent >= root && !holds(m, r->parent, kept))) {
      release(r);
    } else {
      windows[kept++] = r;
    }
  }
  m.windows.truncate(kept);
  size_t timers = 0;
  for (size_t i = 0; i < m.timers.size(); ++i) {
    if (find(m, WindowHandle(m.timers.data()[i].window)) != nullptr) m.timers.data()[timers++] = m.timers.data()[i];
  }
  m.timers.truncate(timers);
  changed(m);
  const uint64_t survivor = find(m, WindowHandle(heir)) != nullptr ? heir : 0;
  for (size_t i = 0; i < m.threads.size(); ++i) {
    ThreadState& state = *m.threads.data()[i];
    if (state.active != 0 && find(m, WindowHandle(state.active)) == nullptr) state.active = survivor;
    if (state.focus != 0 && find(m, WindowHandle(state.focus)) == nullptr) state.focus = survivor;
    state.queue.removeIf([&m](const QueuedMessage& q) { return find(m, q.window) == nullptr; });
  }
}

uint64_t addWindow(Model& m, const WindowSpec& spec) {
  Record* record = make<Record>();
  if (record == nullptr) return 0;
  const uint64_t serial = m.nextSerial;
  record->serial = serial;
  record->parent = spec.parent.serial();
  record->id = spec.id;
  record->kind = spec.kind;
  record->style = spec.style;
  record->procedure = spec.procedure;
  record->thread = currentThreadId();
  record->visible = (spec.style & kStyleHidden) == 0;
  const size_t units = utf16::unitLength(spec.text);
  if (!assign(&record->text, spec.text, units) || !m.windows.tryPush(record)) {
    release(record);
    return 0;
  }
  ++m.nextSerial;
  changed(m);
  return serial;
}

uint64_t busyPeriods() {
  Model& m = model();
  Guard guard(m.lock);
  const ThreadState* state = findThread(m, currentThreadId());
  return state == nullptr ? 0 : state->busyPeriods;
}

}  // namespace platform::dialogs::internal
