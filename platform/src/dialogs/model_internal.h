// The dialog model's state, shared by the parts of the dialog layer: one
// table of windows under one lock, a state record per thread (queue, active
// window, focus, hooks, running dialogs), the timers and the registered
// templates. Procedures and
// hooks are always called with the lock released, since they call back into
// the model.
#ifndef PLATFORM_SRC_DIALOGS_MODEL_INTERNAL_H
#define PLATFORM_SRC_DIALOGS_MODEL_INTERNAL_H

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

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
  bool visible = true;
  bool minimized = false;
  Rect rect;
  size_t textLimit = kDefaultTextLimit;
};

struct ThreadState {
  std::deque<QueuedMessage> queue;
  uint64_t active = 0;
  uint64_t focus = 0;
  InputHook hook = nullptr;
  void* hookContext = nullptr;
  BeepHook beepHook = nullptr;
  void* beepContext = nullptr;
  bool inputEnded = false;
  bool busy = false;
  std::vector<uint64_t> modal;  // the running dialogs, innermost last
};

struct Timer {
  uint32_t thread = 0;
  uint32_t interval = 0;  // milliseconds
  uint64_t due = 0;       // monotonic milliseconds
  bool pending = false;   // its kTimer is queued
};
using TimerKey = std::pair<uint64_t, uint64_t>;  // window serial, timer id

using TemplateKey = std::pair<ModuleHandle, uint16_t>;

// The model's lock, kept across fork from load time (the model itself is
// made on first use).
extern Lock modelLock;

// Serials grow with creation, so a child's serial is always above its
// parent's: one pass in serial order meets every parent before its children.
struct Model {
  Lock& lock = modelLock;
  uint64_t nextSerial = 1;
  std::map<uint64_t, Record> windows;
  std::unordered_map<uint32_t, ThreadState> threads;
  std::map<TemplateKey, const DialogTemplate*> templates;
  std::map<TimerKey, Timer> timers;
  Rect screen{0, 0, 640, 480};
  std::atomic<uint64_t> changes{0};
};

// The process's one model.
Model& model();

using Guard = std::lock_guard<Lock>;

// Lookups; the caller holds the lock.
Record* find(Model& m, WindowHandle window);
ThreadState* findThread(Model& m, uint32_t thread);
// The calling thread's state, made when missing. Throws only bad_alloc,
// which every caller turns into a failure.
ThreadState& ownThread(Model& m);
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
// Adds a window; the lock is held. Throws only bad_alloc.
uint64_t addWindow(Model& m, const WindowSpec& spec);

// Something a front end draws has changed.
inline void changed(Model& m) { m.changes.fetch_add(1, std::memory_order_relaxed); }

// Posts kTimer for each due timer of `thread` that has none queued, the
// earliest due first; true when any was posted. The lock is held; throws
// only bad_alloc.
bool postDueTimers(Model& m, uint32_t thread);
// The milliseconds until the next timer of `thread` without a queued kTimer
// is due (0 when one is due already); -1 when there is none. The lock is
// held.
int32_t nextTimerWait(Model& m, uint32_t thread);
// A kTimer message left the queue: its timer may fire again.
void timerTaken(Model& m, const QueuedMessage& message);

}  // namespace platform::dialogs::internal

#endif  // PLATFORM_SRC_DIALOGS_MODEL_INTERNAL_H
