// The user's side of the dialog model: typing, clicks, keys, visibility,
// geometry, the change count, the busy state and beeps.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialogs.h"

namespace {

using namespace platform::dialogs;

const platform::Module kModule = {"dialogs_input_test", nullptr, {nullptr}};

struct Command {
  int32_t id;
  uint32_t notification;
};
std::vector<Command> commands;
intptr_t keyResult = 0;  // what the procedure answers to kKeyDown

intptr_t recordingProc(WindowHandle, Message message, uint64_t first, intptr_t) {
  if (message == Message::kCommand) commands.push_back({commandId(first), commandNotification(first)});
  return message == Message::kKeyDown ? keyResult : 0;
}

class DialogInput : public ::testing::Test {
 protected:
  void SetUp() override {
    commands.clear();
    keyResult = 0;
  }
  static WindowHandle make(WindowHandle parent, Kind kind, int32_t id = 0, uint32_t style = 0,
                           const char16_t* text = nullptr) {
    WindowSpec spec;
    spec.parent = parent;
    spec.kind = kind;
    spec.id = id;
    spec.style = style;
    spec.text = text;
    spec.procedure = parent ? nullptr : &recordingProc;
    return createWindow(spec);
  }
  static std::u16string textOf(WindowHandle w) {
    char16_t buffer[64];
    getText(w, buffer, 64);
    return buffer;
  }
  static void pump() {
    QueuedMessage m;
    while (takeMessage(&m)) dispatchMessage(m);
  }
};

TEST_F(DialogInput, CommandFieldsSplitIntoIdAndNotification) {
  struct Row {
    uint64_t first;
    int32_t id;
    uint32_t notification;
  } rows[] = {
      {1, 1, 0}, {0x0300012F, 303, kNotifyChange}, {0xFFFF, -1, 0}, {0x1FFFFFFFF, -1, 0xFFFF},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.first);
    EXPECT_EQ(commandId(row.first), row.id);
    EXPECT_EQ(commandNotification(row.first), row.notification);
  }
}

TEST_F(DialogInput, TypedTextIsLimitedUpperCasedAndNotified) {
  struct Row {
    uint32_t style;
    size_t limit;  // 0: the default
    const char16_t* before;
    const char16_t* typed;
    std::u16string after;
    bool notified;
    const char* note;
  } rows[] = {
      {0, 0, u"", u"abc", u"abc", true, "plain"},
      {kStyleUpperCase, 0, u"", u"abc \u00E9\u00DF", u"ABC \u00C9\u00DF", true, "letters one for one"},
      {0, 2, u"", u"abc", u"ab", true, "cut to the limit"},
      {kStyleUpperCase, 2, u"", u"xyz", u"XY", true, "upper case and limit"},
      {0, 2, u"", u"a\U0001F600", u"a", true, "a pair is not split"},
      {0, 3, u"", u"a\U0001F600", u"a\U0001F600", true, "the pair fits"},
      {0, 0, u"same", u"same", u"same", false, "no change, no notification"},
      {kStyleUpperCase, 0, u"AB", u"ab", u"AB", false, "the same once upper-cased"},
      {0, 0, u"old", nullptr, u"", true, "null empties"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    commands.clear();
    const WindowHandle dialog = make(nullptr, Kind::kDialog);
    const WindowHandle edit = make(dialog, Kind::kEdit, 303, row.style, row.before);
    if (row.limit != 0) {
      ASSERT_TRUE(setTextLimit(edit, row.limit));
    }
    ASSERT_TRUE(userSetText(edit, row.typed));
    EXPECT_EQ(textOf(edit), row.after);
    ASSERT_EQ(commands.size(), row.notified ? 1u : 0u);
    if (row.notified) {
      EXPECT_EQ(commands[0].id, 303);
      EXPECT_EQ(commands[0].notification, kNotifyChange);
    }
    destroyWindow(dialog);
  }
}

TEST_F(DialogInput, TheLimitBindsOnlyTheUser) {
  const WindowHandle dialog = make(nullptr, Kind::kDialog);
  const WindowHandle edit = make(dialog, Kind::kEdit, 301);
  EXPECT_EQ(textLimit(edit), kDefaultTextLimit);
  ASSERT_TRUE(setTextLimit(edit, 2));
  EXPECT_EQ(textLimit(edit), 2u);
  ASSERT_TRUE(setText(edit, u"longer"));
  EXPECT_EQ(textOf(edit), u"longer");
  EXPECT_TRUE(commands.empty()) << "setText is no user change";
  ASSERT_TRUE(setTextLimit(edit, 0));
  EXPECT_EQ(textLimit(edit), kDefaultTextLimit);
  destroyWindow(dialog);
  EXPECT_FALSE(setTextLimit(edit, 5));
  EXPECT_EQ(textLimit(edit), 0u);
}

TEST_F(DialogInput, TheUserReachesOnlyVisibleControlsOfTheirKind) {
  const WindowHandle dialog = make(nullptr, Kind::kDialog);
  const WindowHandle edit = make(dialog, Kind::kEdit, 301);
  const WindowHandle hiddenEdit = make(dialog, Kind::kEdit, 311, kStyleHidden, u"keep");
  const WindowHandle button = make(dialog, Kind::kButton, 304);
  const WindowHandle hiddenButton = make(dialog, Kind::kButton, 305, kStyleHidden);
  const WindowHandle label = make(dialog, Kind::kStatic, 350);
  EXPECT_FALSE(isVisible(hiddenEdit));
  EXPECT_TRUE(isVisible(edit));
  EXPECT_FALSE(userSetText(hiddenEdit, u"x"));
  EXPECT_EQ(textOf(hiddenEdit), u"keep");
  EXPECT_FALSE(userSetText(button, u"x"));
  EXPECT_FALSE(userSetText(label, u"x"));
  EXPECT_FALSE(pressButton(hiddenButton));
  EXPECT_FALSE(pressButton(edit));
  ASSERT_TRUE(pressButton(button));
  EXPECT_TRUE(commands.empty()) << "a click is queued, not sent";
  pump();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].id, 304);
  EXPECT_EQ(commands[0].notification, 0u);
  // Shown again, it takes input.
  ASSERT_TRUE(showWindow(hiddenEdit, true));
  EXPECT_TRUE(userSetText(hiddenEdit, u"x"));
  ASSERT_TRUE(showWindow(button, false));
  EXPECT_FALSE(pressButton(button));
  destroyWindow(dialog);
  EXPECT_FALSE(showWindow(button, true));
  EXPECT_FALSE(isVisible(button));
  EXPECT_FALSE(pressKey(dialog, kKeyEscape));
}

TEST_F(DialogInput, EscapeLeftAloneByADialogIsCancel) {
  struct Row {
    Kind kind;
    uint64_t key;
    intptr_t answer;
    bool cancels;
    const char* note;
  } rows[] = {
      {Kind::kDialog, kKeyEscape, 0, true, "unhandled Escape"},
      {Kind::kDialog, kKeyEscape, 1, false, "handled by the dialog"},
      {Kind::kDialog, 'A', 0, false, "another key"},
      {Kind::kWindow, kKeyEscape, 0, false, "not a dialog"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    commands.clear();
    keyResult = row.answer;
    const WindowHandle w = make(nullptr, row.kind);
    ASSERT_TRUE(pressKey(w, row.key));
    pump();
    ASSERT_EQ(commands.size(), row.cancels ? 1u : 0u);
    if (row.cancels) {
      EXPECT_EQ(commands[0].id, kCancelCommand);
    }
    destroyWindow(w);
  }
}

TEST_F(DialogInput, WhatFrontEndsDrawRaisesTheChangeCount) {
  const WindowHandle dialog = make(nullptr, Kind::kDialog);
  const WindowHandle edit = make(dialog, Kind::kEdit, 301);
  struct Row {
    std::function<void()> act;
    bool changes;
    const char* note;
  } rows[] = {
      {[&] { setText(edit, u"a"); }, true, "a text"},
      {[&] { userSetText(edit, u"b"); }, true, "a typed text"},
      {[&] { showWindow(edit, false); }, true, "hidden"},
      {[&] { showWindow(edit, false); }, false, "hidden again"},
      {[&] { setBusy(true); }, true, "busy"},
      {[&] { setBusy(false); }, true, "not busy"},
      {[&] { make(dialog, Kind::kStatic); }, true, "a window made"},
      {[&] { destroyWindow(dialogItem(dialog, 0)); }, true, "a window destroyed"},
      {[&] { moveWindow(edit, {1, 2, 3, 4}); }, false, "moved"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    const uint64_t before = changeCount();
    row.act();
    EXPECT_EQ(changeCount() != before, row.changes);
  }
  EXPECT_FALSE(isBusy());
  destroyWindow(dialog);
}

TEST_F(DialogInput, BusyAndBeepsBelongToTheThread) {
  setBusy(true);
  bool busyThere = true;
  std::thread([&] { busyThere = isBusy(); }).join();
  EXPECT_FALSE(busyThere);
  EXPECT_TRUE(isBusy());
  setBusy(false);
  std::vector<uint32_t> beeps;
  beep(0x30);  // no hook: nothing
  const BeepHook previous =
      setBeepHook([](uint32_t type, void* context) { static_cast<std::vector<uint32_t>*>(context)->push_back(type); },
                  &beeps);
  beep(0);
  beep(0x30);
  EXPECT_NE(setBeepHook(previous, nullptr), nullptr) << "the test's hook comes back";
  beep(0x10);
  EXPECT_EQ(beeps, (std::vector<uint32_t>{0, 0x30}));
}

// ---------------------------------------------------------------------------
// Geometry.
// ---------------------------------------------------------------------------

const ControlTemplate kControls[] = {{1, Kind::kButton, kStyleDefaultButton, u"&OK"}};
const DialogTemplate kSized = {u"Sized", 0, kControls, 1, 280, 220};

intptr_t measureProc(WindowHandle dialog, Message message, uint64_t, intptr_t second) {
  if (message != Message::kInit) return 0;
  Rect* rect = reinterpret_cast<Rect*>(second);
  windowRect(dialog, rect);
  endDialog(dialog, 0);
  return 1;
}

TEST_F(DialogInput, DialogsStartAtTheOriginWithTheirTemplatesSize) {
  ASSERT_TRUE(registerTemplate(&kModule, 1, &kSized));
  Rect rect{9, 9, 9, 9};
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &measureProc, reinterpret_cast<intptr_t>(&rect)), 0);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.width, 280);
  EXPECT_EQ(rect.height, 220);
  unregisterTemplate(&kModule, 1);

  const WindowHandle w = make(nullptr, Kind::kWindow);
  ASSERT_TRUE(moveWindow(w, {-5, 10, 300, 200}));
  ASSERT_TRUE(windowRect(w, &rect));
  EXPECT_EQ(rect.left, -5);
  EXPECT_EQ(rect.width, 300);
  EXPECT_FALSE(isMinimized(w));
  ASSERT_TRUE(setMinimized(w, true));
  EXPECT_TRUE(isMinimized(w));
  destroyWindow(w);
  EXPECT_FALSE(windowRect(w, &rect));
  EXPECT_FALSE(moveWindow(w, rect));
  EXPECT_FALSE(setMinimized(w, true));
  EXPECT_FALSE(isMinimized(w));
}

TEST_F(DialogInput, TheScreenIsFixedUnlessATestSetsIt) {
  const Rect screen = screenRect();
  EXPECT_EQ(screen.width, 640);
  EXPECT_EQ(screen.height, 480);
  setScreenRectForTesting({0, 0, 100, 50});
  EXPECT_EQ(screenRect().width, 100);
  setScreenRectForTesting(screen);
}

}  // namespace
