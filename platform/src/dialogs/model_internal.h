// The dialog model's state, shared by the parts of the dialog layer: one
// table of windows under one lock, a state record per thread (queue, active
// window, focus, hooks, running dialogs), the timers and the registered
// templates. Procedures and hooks are always called with the lock released,
// since they call back into the model. All of it lives on the dialog
// layer's heap: a failure is a refusal, never an exception.
#ifndef PLATFORM_SRC_DIALOGS_MODEL_INTERNAL_H
#define PLATFORM_SRC_DIALOGS_MODEL_INTERNAL_H

#include <atomic>
#include <cstdint>

#include "dialogs/heap.h"
#include "platform/dialogs/model.h"
#include "platform/lock.h"

namespace platform::dialogs::internal {

// The end state of one modal run; lives on runModal's stack and is reached
// through the dialog's record while the dialog exists.
struct ModalRun {
  bool ended = false;
  intptr_t code = 0;
};

struct Property {
  char* name;  // NUL-terminated, on the heap
  void* value;
};

struct Record {
  Record() = default;
  ~Record();
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  uint64_t serial = 0;
  uint64_t parent = 0;
  int32_t id = 0;
  Kind kind = Kind::kWindow;
  uint32_t style = 0;
  List<char16_t> text;  // no terminator
  Procedure procedure = nullptr;
  List<Property> properties;
  uint32_t thread = 0;
  ModalRun* run = nullptr;
  bool visible = true;
  bool minimized = false;
  Rect rect;
  size_t textLimit = kDefaultTextLimit;
};

// A thread's message queue: taken from the front, appended at the back.
class Queue {
 public:
  bool empty() const { return head_ == items_.size(); }
  // False, queueing nothing, when memory runs out.
  [[nodiscard]] bool push(const QueuedMessage& message);
  // The oldest message; false when there is none.
  bool take(QueuedMessage* message);
  // Drops every queued message for which drop(message) is true.
  template <typename Drop>
  void removeIf(Drop&& drop) {
    size_t kept = 0;
    for (size_t i = head_; i < items_.size(); ++i) {
      if (!drop(items_.data()[i])) items_.data()[kept++] = items_.data()[i];
    }
    items_.truncate(kept);
    head_ = 0;
  }
  template <typename Test>
  bool any(Test&& test) const {
    for (size_t i = head_; i < items_.size(); ++i) {
      if (test(items_.data()[i])) return true;
    }
    return false;
  }

 private:
  List<QueuedMessage> items_;
  size_t head_ = 0;  // items before it were taken
};

struct ThreadState {
  uint32_t thread = 0;
  Queue queue;
  uint64_t active = 0;
  uint64_t focus = 0;
  InputHook hook = nullptr;
  void* hookContext = nullptr;
  BeepHook beepHook = nullptr;
  void* beepContext = nullptr;
  bool inputEnded = false;
  bool busy = false;
  uint64_t busyPeriods = 0;  // how many times busy was set since the thread began
  List<uint64_t> modal;      // the running dialogs, innermost last
};

struct Timer {
  uint64_t window = 0;
  uint64_t id = 0;
  uint32_t thread = 0;
  uint32_t interval = 0;  // milliseconds
  uint64_t due = 0;       // monotonic milliseconds
  bool pending = false;   // its kTimer is queued
};

struct TemplateEntry {
  ModuleHandle module;
  uint16_t id;
  const DialogTemplate* dialog;
};

// The model's lock, kept across fork from load time (the model itself is
// made on first use).
extern Lock modelLock;

// Serials grow with creation, so a child's serial is always above its
// parent's: one pass in serial order meets every parent before its children.
struct Model {
  Lock& lock = modelLock;
  uint64_t nextSerial = 1;
  List<Record*> windows;  // ascending serials
  List<ThreadState*> threads;
  List<TemplateEntry> templates;
  List<Timer> timers;
  Rect screen{0, 0, 640, 480};
  std::atomic<uint64_t> changes{0};
};

// The process's one model, never destroyed: threads may still call in while
// the process ends.
Model& model();

using Guard = std::lock_guard<Lock>;

// Lookups; the caller holds the lock.
Record* find(Model& m, WindowHandle window);
ThreadState* findThread(Model& m, uint32_t thread);
// The index in m.windows of the first window made after `serial`: where
// the children of a window made at or before it are looked for.
size_t firstAfter(const Model& m, uint64_t serial);
// The state of `thread`, made when missing; null when memory runs out.
ThreadState* threadState(Model& m, uint32_t thread);
// The calling thread's state for setting one of its hooks: made when
// missing and `settingOne` (removing a hook needs none); null when it is
// missing and not made. The lock is held.
ThreadState* threadForHook(Model& m, bool settingOne);
// Whether `ancestor` is a parent, grandparent... of the window `serial`.
bool isAncestor(Model& m, uint64_t ancestor, uint64_t serial);
// The window's own dialog: its nearest ancestor-or-self that is a dialog or
// has no parent.
uint64_t ownDialog(Model& m, uint64_t serial);

// Erases `root` and everything below it, the messages queued for them, and
// passes the active window and the focus that were among them to the root's
// parent. The lock is held.
void eraseTree(Model& m, uint64_t root);
// Adds a window; the lock is held. Its serial, or 0 when memory runs out
// (nothing is added then).
uint64_t addWindow(Model& m, const WindowSpec& spec);

// Something a front end draws has changed.
inline void changed(Model& m) { m.changes.fetch_add(1, std::memory_order_relaxed); }

// Posts kTimer for each due timer of `thread` that has none queued, the
// earliest due first (equal times by window and id); those that cannot be
// queued fire on a later call. The lock is held.
void postDueTimers(Model& m, ThreadState& state);
// The milliseconds until the next timer of `thread` without a queued kTimer
// is due (0 when one is due already); -1 when there is none. The lock is
// held.
int32_t nextTimerWait(Model& m, uint32_t thread);
// A kTimer message left the queue: its timer may fire again.
void timerTaken(Model& m, const QueuedMessage& message);

// How many busy periods the calling thread has begun: a front end tells by
// it that the thread was busy since it last looked.
uint64_t busyPeriods();

}  // namespace platform::dialogs::internal

#endif  // PLATFORM_SRC_DIALOGS_MODEL_INTERNAL_H
