// The modal loop's waiting: timers, the wait told to the input hook,
// takeMessage polling the input, and the end of input unwinding the loops.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/dialogs/boxes.h"
#include "platform/dialogs/model.h"
#include "testing/dialog_script.h"

namespace {

using namespace platform::dialogs;

const platform::Module kModule = {"dialogs_loop_test", nullptr, {nullptr}};
const DialogTemplate kDialog = {u"Dialog", 0, nullptr, 0};

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

// Records the waits it is given, lets them pass, then runs `step`; says the
// input ended once it has been called `calls` times.
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

std::vector<uint64_t> timerIds() {
  std::vector<uint64_t> ids;
  for (const Event& e : events) {
    if (e.message == Message::kTimer) ids.push_back(e.first);
  }
  return ids;
}

void pump() {
  QueuedMessage m;
  while (takeMessage(&m)) dispatchMessage(m);
}

class DialogLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registerTemplate(&kModule, 1, &kDialog));
    events.clear();
    act = nullptr;
    window_ = createWindow({nullptr, 0, Kind::kWindow, 0, nullptr, &proc});
  }
  void TearDown() override {
    setInputHook(nullptr, nullptr);
    unregisterTemplate(&kModule, 1);
    destroyWindow(window_);
    act = nullptr;
  }
  WindowHandle window_;
};

TEST_F(DialogLoop, TimersFireInDueOrderAndStopWhenKilledOrDestroyed) {
  const WindowHandle doomed = createWindow({nullptr, 0, Kind::kWindow, 0, nullptr, &proc});
  ASSERT_TRUE(setTimer(window_, 3, 60));
  ASSERT_TRUE(setTimer(window_, 1, 20));
  ASSERT_TRUE(setTimer(window_, 2, 40));
  ASSERT_TRUE(setTimer(window_, 4, 10));
  ASSERT_TRUE(setTimer(doomed, 5, 10));
  ASSERT_TRUE(killTimer(window_, 4));
  EXPECT_FALSE(killTimer(window_, 4));
  ASSERT_TRUE(destroyWindow(doomed));
  EXPECT_FALSE(killTimer(doomed, 5)) << "the timer went with its window";
  pump();
  EXPECT_TRUE(events.empty()) << "none is due yet";
  std::this_thread::sleep_for(std::chrono::milliseconds(70));
  // Timers wait for an empty queue; then all due ones are queued at once,
  // and killing one drops its queued kTimer.
  ASSERT_TRUE(postMessage(window_, Message::kCommand, 77, 0));
  QueuedMessage m;
  ASSERT_TRUE(takeMessage(&m));
  EXPECT_EQ(m.message, Message::kCommand);
  ASSERT_TRUE(takeMessage(&m));
  EXPECT_EQ(m.first, 1u);
  ASSERT_TRUE(killTimer(window_, 2));
  pump();
  EXPECT_EQ(timerIds(), std::vector<uint64_t>{3});
  pump();
  EXPECT_EQ(timerIds().size(), 1u) << "due again an interval later, not at once";
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
      innerCode = runModal(&kModule, 1, w, &proc, 0);
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
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &proc, 0), 1);
  EXPECT_EQ(innerCode, 5);
  EXPECT_TRUE(innerOpenAtTimer);
  ASSERT_EQ(timerIds().size(), 1u);
  for (const Event& e : events) {
    if (e.message == Message::kTimer) {
      EXPECT_EQ(e.window, outer);
    }
  }
  ASSERT_FALSE(hook.waits.empty());
  EXPECT_GT(hook.waits[0], 0) << "the hook may wait until the timer is due";
  EXPECT_LE(hook.waits[0], 30);
  // No timer pending: the hook may wait as long as it likes.
  hook.waits.clear();
  hook.step = [](WindowHandle dialog) { endDialog(dialog, 3); };
  act = nullptr;
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &proc, 0), 3);
  EXPECT_EQ(hook.waits, std::vector<int32_t>{-1});
}

TEST_F(DialogLoop, TakeMessagePollsTheInputWithoutWaiting) {
  WaitingHook hook;
  hook.step = [&hook](WindowHandle dialog) {
    if (hook.waits.size() == 1) pressKey(dialog, kKeyEscape);
  };
  bool escapeSeen = false;
  act = [&](WindowHandle w, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit) {
      // Work that pumps between its steps, as a copy between files does.
      for (int i = 0; i < 3 && !escapeSeen; ++i) pump();
      endDialog(w, escapeSeen ? 7 : 8);
    }
    if (message == Message::kKeyDown && first == kKeyEscape) escapeSeen = true;
    return 1;
  };
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &proc, 0), 7);
  EXPECT_EQ(hook.waits, (std::vector<int32_t>{0, 0})) << "polled, never waiting";
  hook.waits.clear();
  pump();
  EXPECT_TRUE(hook.waits.empty()) << "with no dialog running nothing is polled";
}

TEST_F(DialogLoop, TheEndOfInputUnwindsEveryLoop) {
  intptr_t innerCode = 0;
  act = [&](WindowHandle w, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit && events.size() == 1) postMessage(w, Message::kCommand, 10, 0);
    if (message == Message::kCommand && first == 10) innerCode = runModal(&kModule, 1, w, &proc, 0);
    return 1;  // the outer dialog never ends itself
  };
  WaitingHook hook;
  hook.calls = 0;
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &proc, 0), kDialogNoInput);
  EXPECT_EQ(innerCode, kDialogNoInput);
  EXPECT_TRUE(inputEnded());
  // Later dialogs end right after they open, and nothing asks the hook.
  events.clear();
  hook.calls = 100;
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &proc, 0), kDialogNoInput);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(messageBox(nullptr, u"Sure?", u"Question", kBoxYesNo), kDialogNoInput);
  EXPECT_TRUE(hook.waits.empty());
  // One that ends itself on opening keeps its code.
  act = [](WindowHandle w, Message message, uint64_t) -> intptr_t { return message == Message::kInit && endDialog(w, 4); };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &proc, 0), 4);
  setInputHook(&WaitingHook::hook, &hook);
  EXPECT_FALSE(inputEnded()) << "a new hook brings input back";
}

}  // namespace

namespace {

bool ownerHook(WindowHandle, int32_t, void*) { return true; }

// A script put in front of another hook gives it back with its own context.
TEST(DialogHooks, AScriptPutsBackTheHookItReplacedWhole) {
  int owner = 0;
  (void)setInputHook(&ownerHook, &owner);
  { jutest::DialogScript script({}); }
  void* context = nullptr;
  EXPECT_EQ(setInputHook(nullptr, nullptr, &context), &ownerHook);
  EXPECT_EQ(context, &owner);
}

}  // namespace
