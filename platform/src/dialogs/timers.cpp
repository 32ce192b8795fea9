// Timers of the dialog model: set and killed per window and id, fired as
// kTimer messages by the window's thread when its queue is empty.

#include "platform/dialogs/model.h"

#include <algorithm>
#include <limits>

#include "dialogs/model_internal.h"
#include "platform/clock.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// Shorter intervals would keep a pumping loop busy with timers alone.
constexpr uint32_t kMinimumInterval = 10;

// The timer `id` of `window`; null when there is none. The lock is held.
Timer* findTimer(Model& m, uint64_t window, uint64_t id) {
  for (size_t i = 0; i < m.timers.size(); ++i) {
    Timer& timer = m.timers.data()[i];
    if (timer.window == window && timer.id == id) return &timer;
  }
  return nullptr;
}

bool isTimerMessage(const QueuedMessage& q, WindowHandle window, uint64_t id) {
  return q.window == window && q.message == Message::kTimer && q.first == id;
}

// Whether `a` fires before `b`: the earlier due, then by window and id.
bool firesBefore(const Timer& a, const Timer& b) {
  if (a.due != b.due) return a.due < b.due;
  return a.window != b.window ? a.window < b.window : a.id < b.id;
}

}  // namespace

namespace internal {

void postDueTimers(Model& m, ThreadState& state) {
  const uint64_t now = monotonicMilliseconds();
  // One at a time, the first to fire: a posted timer is pending and leaves
  // the choice.
  for (;;) {
    Timer* next = nullptr;
    for (size_t i = 0; i < m.timers.size(); ++i) {
      Timer& timer = m.timers.data()[i];
      if (timer.thread != state.thread || timer.pending || timer.due > now) continue;
      if (next == nullptr || firesBefore(timer, *next)) next = &timer;
    }
    if (next == nullptr || !state.queue.push({WindowHandle(next->window), Message::kTimer, next->id, 0})) return;
    next->pending = true;
    next->due = now + next->interval;
  }
}

int32_t nextTimerWait(Model& m, uint32_t thread) {
  const uint64_t now = monotonicMilliseconds();
  uint64_t soonest = std::numeric_limits<uint64_t>::max();
  bool any = false;
  for (size_t i = 0; i < m.timers.size(); ++i) {
    const Timer& timer = m.timers.data()[i];
    if (timer.thread != thread || timer.pending) continue;
    any = true;
    soonest = std::min(soonest, timer.due);
  }
  if (!any) return -1;
  if (soonest <= now) return 0;
  return static_cast<int32_t>(std::min<uint64_t>(soonest - now, std::numeric_limits<int32_t>::max()));
}

void timerTaken(Model& m, const QueuedMessage& message) {
  if (message.message != Message::kTimer) return;
  if (Timer* timer = findTimer(m, message.window.serial(), message.first)) timer->pending = false;
}

}  // namespace internal

bool setTimer(WindowHandle window, uint64_t id, uint32_t milliseconds) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr) return false;
  Timer timer;
  timer.window = window.serial();
  timer.id = id;
  timer.thread = record->thread;
  timer.interval = std::max(milliseconds, kMinimumInterval);
  timer.due = monotonicMilliseconds() + timer.interval;
  // A restarted timer with its kTimer still queued must not fire twice.
  const ThreadState* state = findThread(m, record->thread);
  timer.pending = state != nullptr && state->queue.any([&](const QueuedMessage& q) { return isTimerMessage(q, window, id); });
  if (Timer* old = findTimer(m, timer.window, id)) {
    *old = timer;
    return true;
  }
  return m.timers.tryPush(timer);
}

bool killTimer(WindowHandle window, uint64_t id) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  Timer* timer = findTimer(m, window.serial(), id);
  if (timer == nullptr) return false;
  // Its queued kTimer goes too: a killed timer never fires again.
  if (ThreadState* state = findThread(m, timer->thread)) {
    state->queue.removeIf([&](const QueuedMessage& q) { return isTimerMessage(q, window, id); });
  }
  m.timers.erase(static_cast<size_t>(timer - m.timers.data()));
  return true;
}

}  // namespace platform::dialogs
