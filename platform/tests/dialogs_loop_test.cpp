// The modal loop's waiting: timers, the wait told to the input hook,
// takeMessage polling the input, and the end of input unwinding the loops.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/dialog_boxes.h"
#include "platform/dialogs.h"

namespace {

using namespace platform::dialogs;

const platform::Module kModule = {"dialogs_loop_test", nullptr, {nullptr}};
const ControlTemplate kControls[] = {{1, Kind::kButton, kStyleDefaultButton, u"&OK"}};
const DialogTemplate kOuter = {u"Outer", 0, kControls, 1};
const DialogTemplate kInner = {u"Inner", 0, kControls, 1};
constexpr uint16_t kOuterId = 1, kInnerId = 2;

struct Event {
  WindowHandle window;
  Message message;
  uint64_t first;
};
std::vector<Event> events;
std::function<intptr_t(WindowHandle, Message, uint64_t)> act;

intptr_t proc(WindowHandle window, Message message, uint64_t first, intptr_t) {
  events.push_back({window, message, first});
  return act ? act(window, message, first) : 0;
}

// A hook that records the waits it is given, lets them pass and then runs
// the test's step, if any; false after `calls` calls.
struct WaitingHook {
  std::vector<int32_t> waits;
  size_t calls = 100;
  std::function<void(WindowHandle)> step;

  static bool hook(WindowHandle dialog, int32_t wait, void* context) {
    auto* self = static_cast<WaitingHook*>(context);
    if (self->waits.size() == self->calls) return false;
    self->waits.push_back(wait);
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    if (self->step) self->step(dialog);
    return true;
  }
};

class DialogLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registerTemplate(&kModule, kOuterId, &kOuter));
    ASSERT_TRUE(registerTemplate(&kModule, kInnerId, &kInner));
    events.clear();
    act = nullptr;
  }
  void TearDown() override {
    setInputHook(nullptr, nullptr);
    unregisterTemplate(&kModule, kOuterId);
    unregisterTemplate(&kModule, kInnerId);
    act = nullptr;
  }
  static WindowHandle window() {
    WindowSpec spec;
    spec.procedure = &proc;
    return createWindow(spec);
  }
  static std::vector<uint64_t> timerIds() {
    std::vector<uint64_t> ids;
    for (const Event& e : events) {
      if (e.message == Message::kTimer) ids.push_back(e.first);
    }
    return ids;
  }
  static void pump() {
    QueuedMessage m;
    while (takeMessage(&m)) dispatchMessage(m);
  }
};

// ---------------------------------------------------------------------------
// Timers.
// ---------------------------------------------------------------------------

TEST_F(DialogLoop, DueTimersFireInDueOrderOnceEach) {
  const WindowHandle w = window();
  ASSERT_TRUE(setTimer(w, 3, 60));
  ASSERT_TRUE(setTimer(w, 1, 20));
  ASSERT_TRUE(setTimer(w, 2, 40));
  pump();
  EXPECT_TRUE(events.empty()) << "none is due yet";
  std::this_thread::sleep_for(std::chrono::milliseconds(70));
  pump();
  EXPECT_EQ(timerIds(), (std::vector<uint64_t>{1, 2, 3}));
  // Fired timers are due again an interval later, not at once.
  pump();
  EXPECT_EQ(timerIds().size(), 3u);
  destroyWindow(w);
}

TEST_F(DialogLoop, KilledAndDestroyedTimersNeverFire) {
  const WindowHandle w = window();
  const WindowHandle doomed = window();
  ASSERT_TRUE(setTimer(w, 1, 10));
  ASSERT_TRUE(setTimer(w, 2, 10));
  ASSERT_TRUE(setTimer(doomed, 3, 10));
  ASSERT_TRUE(killTimer(w, 1));
  EXPECT_FALSE(killTimer(w, 1));
  ASSERT_TRUE(destroyWindow(doomed));
  EXPECT_FALSE(killTimer(doomed, 3)) << "the timer went with its window";
  EXPECT_FALSE(setTimer(doomed, 3, 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // Timer 2's kTimer is queued, then the timer is killed: it is dropped.
  QueuedMessage queued;
  ASSERT_TRUE(postMessage(w, Message::kCommand, 77, 0));
  ASSERT_TRUE(takeMessage(&queued));  // the command; timers wait for an empty queue
  EXPECT_EQ(queued.message, Message::kCommand);
  ASSERT_TRUE(takeMessage(&queued));
  EXPECT_EQ(queued.message, Message::kTimer);
  EXPECT_EQ(queued.first, 2u);
  // Two due: one is taken, the other stays queued until its timer is killed.
  ASSERT_TRUE(setTimer(w, 4, 10));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(takeMessage(&queued));
  EXPECT_EQ(queued.first, 2u);
  ASSERT_TRUE(killTimer(w, 4));
  ASSERT_TRUE(killTimer(w, 2));
  pump();
  EXPECT_TRUE(timerIds().empty());
  destroyWindow(w);
}

TEST_F(DialogLoop, ATimerFiringUnderANestedBoxReachesItsOwnWindow) {
  WindowHandle outer, inner;
  bool innerOpenAtTimer = false;
  intptr_t innerCode = 0;
  act = [&](WindowHandle w, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit && !outer) {
      outer = w;
      setTimer(w, 900, 30);
      postMessage(w, Message::kCommand, 10, 0);
    } else if (message == Message::kInit) {
      inner = w;
    } else if (message == Message::kCommand && first == 10) {
      innerCode = runModal(&kModule, kInnerId, w, &proc, 0);
      endDialog(w, 1);
    } else if (message == Message::kTimer) {
      innerOpenAtTimer = isWindow(inner);
      killTimer(w, first);
      endDialog(inner, 5);
    }
    return 1;
  };
  WaitingHook hook;
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_EQ(runModal(&kModule, kOuterId, nullptr, &proc, 0), 1);
  EXPECT_EQ(innerCode, 5);
  EXPECT_TRUE(innerOpenAtTimer);
  size_t timers = 0;
  for (const Event& e : events) {
    if (e.message != Message::kTimer) continue;
    ++timers;
    EXPECT_EQ(e.window, outer);
  }
  EXPECT_EQ(timers, 1u);
  ASSERT_FALSE(hook.waits.empty());
  EXPECT_GT(hook.waits[0], 0) << "the hook may wait until the timer is due";
  EXPECT_LE(hook.waits[0], 30);
}

TEST_F(DialogLoop, WithoutTimersTheHookMayWaitForever) {
  WaitingHook hook;
  hook.step = [](WindowHandle dialog) { pressButton(dialogItem(dialog, 1)); };
  act = [&](WindowHandle w, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kCommand && first == 1) endDialog(w, 3);
    return 0;
  };
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_EQ(runModal(&kModule, kOuterId, nullptr, &proc, 0), 3);
  EXPECT_EQ(hook.waits, (std::vector<int32_t>{-1}));
}

// ---------------------------------------------------------------------------
// Polling and the end of input.
// ---------------------------------------------------------------------------

TEST_F(DialogLoop, TakeMessagePollsTheInputWithoutWaiting) {
  WaitingHook hook;
  hook.step = [](WindowHandle dialog) { pressKey(dialog, kKeyEscape); };
  bool escapeSeen = false;
  act = [&](WindowHandle w, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit) {
      // Work that pumps between its steps, as a copy between files does.
      for (int i = 0; i < 3 && !escapeSeen; ++i) {
        QueuedMessage m;
        while (takeMessage(&m)) dispatchMessage(m);
      }
      endDialog(w, escapeSeen ? 7 : 8);
    }
    if (message == Message::kKeyDown && first == kKeyEscape) escapeSeen = true;
    return 1;
  };
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_EQ(runModal(&kModule, kOuterId, nullptr, &proc, 0), 7);
  ASSERT_FALSE(hook.waits.empty());
  EXPECT_EQ(hook.waits[0], 0);
  // With no dialog running nothing is polled.
  hook.waits.clear();
  QueuedMessage m;
  EXPECT_FALSE(takeMessage(&m));
  EXPECT_TRUE(hook.waits.empty());
}

TEST_F(DialogLoop, TheEndOfInputUnwindsEveryLoop) {
  intptr_t innerCode = 0;
  act = [&](WindowHandle w, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit && events.size() == 1) postMessage(w, Message::kCommand, 10, 0);
    if (message == Message::kCommand && first == 10) innerCode = runModal(&kModule, kInnerId, w, &proc, 0);
    return 1;  // the outer dialog never ends itself
  };
  WaitingHook hook;
  hook.calls = 0;
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_FALSE(inputEnded());
  EXPECT_EQ(runModal(&kModule, kOuterId, nullptr, &proc, 0), kDialogNoInput);
  EXPECT_EQ(innerCode, kDialogNoInput);
  EXPECT_TRUE(inputEnded());
  // Later dialogs end right after they open; the hook is not asked again,
  // nor by takeMessage.
  events.clear();
  hook.calls = 100;
  EXPECT_EQ(runModal(&kModule, kOuterId, nullptr, &proc, 0), kDialogNoInput);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].message, Message::kInit);
  EXPECT_EQ(messageBox(nullptr, u"Sure?", u"Question", kBoxYesNo), kDialogNoInput);
  EXPECT_TRUE(hook.waits.empty());
  // A dialog that ends itself on opening keeps its code.
  act = [](WindowHandle w, Message message, uint64_t) -> intptr_t {
    if (message == Message::kInit) endDialog(w, 4);
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, kOuterId, nullptr, &proc, 0), 4);
  // A new hook brings input back.
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_FALSE(inputEnded());
}

}  // namespace
