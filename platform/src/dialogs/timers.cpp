// Timers of the dialog model: set and killed per window and id, fired as
// kTimer messages by the window's thread when its queue is empty.

#include "platform/dialogs/model.h"

#include <algorithm>
#include <limits>
#include <new>
#include <vector>

#include "dialogs/model_internal.h"
#include "platform/clock.h"

namespace platform::dialogs {

using namespace internal;

namespace {

// Shorter intervals would keep a pumping loop busy with timers alone.
constexpr uint32_t kMinimumInterval = 10;

}  // namespace

namespace internal {

bool postDueTimers(Model& m, uint32_t thread) {
  const uint64_t now = monotonicMilliseconds();
  std::vector<std::pair<uint64_t, const TimerKey*>> due;
  for (const auto& [key, timer] : m.timers) {
    if (timer.thread == thread && !timer.pending && timer.due <= now) due.push_back({timer.due, &key});
  }
  if (due.empty()) return false;
  // Earliest first; equal times in the order the map holds them.
  std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  ThreadState& state = m.threads[thread];
  for (const auto& [when, key] : due) {
    (void)when;
    state.queue.push_back({WindowHandle(key->first), Message::kTimer, key->second, 0});
    Timer& timer = m.timers[*key];
    timer.pending = true;
    timer.due = now + timer.interval;
  }
  return true;
}

int32_t nextTimerWait(Model& m, uint32_t thread) {
  const uint64_t now = monotonicMilliseconds();
  uint64_t soonest = std::numeric_limits<uint64_t>::max();
  bool any = false;
  for (const auto& [key, timer] : m.timers) {
    (void)key;
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
  auto it = m.timers.find({message.window.serial(), message.first});
  if (it != m.timers.end()) it->second.pending = false;
}

}  // namespace internal

bool setTimer(WindowHandle window, uint64_t id, uint32_t milliseconds) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  const Record* record = find(m, window);
  if (record == nullptr) return false;
  Timer timer;
  timer.thread = record->thread;
  timer.interval = std::max(milliseconds, kMinimumInterval);
  timer.due = monotonicMilliseconds() + timer.interval;
  try {
    auto [it, added] = m.timers.insert_or_assign({window.serial(), id}, timer);
    (void)added;
    // A restarted timer with its kTimer still queued must not fire twice.
    auto& queue = m.threads[record->thread].queue;
    it->second.pending = std::any_of(queue.begin(), queue.end(), [&](const QueuedMessage& q) {
      return q.window == window && q.message == Message::kTimer && q.first == id;
    });
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool killTimer(WindowHandle window, uint64_t id) noexcept {
  Model& m = model();
  Guard guard(m.lock);
  auto it = m.timers.find({window.serial(), id});
  if (it == m.timers.end()) return false;
  // Its queued kTimer goes too: a killed timer never fires again.
  if (ThreadState* state = findThread(m, it->second.thread)) {
    auto& queue = state->queue;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [&](const QueuedMessage& q) {
                                 return q.window == window && q.message == Message::kTimer && q.first == id;
                               }),
                queue.end());
  }
  m.timers.erase(it);
  return true;
}

}  // namespace platform::dialogs
