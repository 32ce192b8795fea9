// The user's side of the dialog model: typing, clicks, keys, visibility,
// the change count and geometry.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs/model.h"

namespace {

using namespace platform::dialogs;

std::vector<uint64_t> commands;  // kCommand's `first`, as the parent got it
intptr_t keyAnswer = 0;          // what the parent answers to kKeyDown

intptr_t parentProc(WindowHandle, Message message, uint64_t first, intptr_t) {
  if (message == Message::kCommand) commands.push_back(first);
  return message == Message::kKeyDown ? keyAnswer : 0;
}

WindowHandle make(WindowHandle parent, Kind kind, int32_t id = 0, uint32_t style = 0, const char16_t* text = nullptr) {
  WindowSpec spec{parent, id, kind, style, text, parent ? nullptr : &parentProc};
  return createWindow(spec);
}

std::u16string textOf(WindowHandle w) {
  char16_t buffer[64];
  getText(w, buffer, 64);
  return buffer;
}

void pump() {
  QueuedMessage m;
  while (takeMessage(&m)) dispatchMessage(m);
}

class DialogInput : public ::testing::Test {
 protected:
  void SetUp() override {
    commands.clear();
    keyAnswer = 0;
  }
};

TEST_F(DialogInput, TypedTextIsUpperCasedLimitedAndNotified) {
  const uint64_t changed = 303 | uint64_t{kNotifyChange} << 16;
  struct Row {
    uint32_t style;
    size_t limit;  // 0: the default
    const char16_t* before;
    const char16_t* typed;
    std::u16string after;
    bool notified;
    const char* note;
  } rows[] = {
      {kStyleUpperCase, 0, u"", u"abc \u00E9\u00DF", u"ABC \u00C9\u00DF", true, "letters one for one"},
      {kStyleUpperCase, 2, u"", u"xyz", u"XY", true, "upper case, then the limit"},
      {0, 2, u"", u"a\U0001F600", u"a", true, "a pair is not split"},
      {0, 3, u"", u"a\U0001F600", u"a\U0001F600", true, "the pair fits"},
      {kStyleUpperCase, 0, u"AB", u"ab", u"AB", false, "no change, no notification"},
      {0, 0, u"old", nullptr, u"", true, "null empties"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    commands.clear();
    const WindowHandle dialog = make(nullptr, Kind::kDialog);
    const WindowHandle edit = make(dialog, Kind::kEdit, 303, row.style, row.before);
    if (row.limit != 0) setTextLimit(edit, row.limit);
    ASSERT_TRUE(userSetText(edit, row.typed));
    EXPECT_EQ(textOf(edit), row.after);
    EXPECT_EQ(commands, row.notified ? std::vector<uint64_t>{changed} : std::vector<uint64_t>{});
    // The limit binds the user only.
    ASSERT_TRUE(setText(edit, u"longer than two"));
    EXPECT_EQ(textOf(edit), u"longer than two");
    destroyWindow(dialog);
  }
  EXPECT_EQ(commandId(changed), 303);
  EXPECT_EQ(commandNotification(changed), kNotifyChange);
}

TEST_F(DialogInput, TheUserReachesVisibleControlsOnly) {
  const WindowHandle dialog = make(nullptr, Kind::kDialog);
  const WindowHandle hiddenEdit = make(dialog, Kind::kEdit, 311, kStyleHidden, u"keep");
  const WindowHandle button = make(dialog, Kind::kButton, 304);
  const WindowHandle label = make(dialog, Kind::kStatic, 350);
  EXPECT_FALSE(isVisible(hiddenEdit));
  EXPECT_FALSE(userSetText(hiddenEdit, u"x"));
  EXPECT_FALSE(userSetText(label, u"x"));
  EXPECT_FALSE(pressButton(label));
  ASSERT_TRUE(pressButton(button));
  EXPECT_TRUE(commands.empty()) << "a click is queued, not sent";
  pump();
  EXPECT_EQ(commands, std::vector<uint64_t>{304});
  ASSERT_TRUE(showWindow(hiddenEdit, true));
  EXPECT_TRUE(userSetText(hiddenEdit, u"x"));
  ASSERT_TRUE(showWindow(button, false));
  EXPECT_FALSE(pressButton(button));
  destroyWindow(dialog);
  EXPECT_FALSE(showWindow(button, true));
  EXPECT_FALSE(pressKey(dialog, kKeyEscape));
}

TEST_F(DialogInput, EscapeLeftAloneByADialogIsCancel) {
  struct Row {
    Kind kind;
    uint64_t key;
    intptr_t answer;
    std::vector<uint64_t> commands;
    const char* note;
  } rows[] = {
      {Kind::kDialog, kKeyEscape, 0, {kCancelCommand}, "unhandled Escape"},
      {Kind::kDialog, kKeyEscape, 1, {}, "handled by the dialog"},
      {Kind::kDialog, 'A', 0, {}, "another key"},
      {Kind::kWindow, kKeyEscape, 0, {}, "not a dialog"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    commands.clear();
    keyAnswer = row.answer;
    const WindowHandle w = make(nullptr, row.kind);
    ASSERT_TRUE(pressKey(w, row.key));
    pump();
    EXPECT_EQ(commands, row.commands);
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
      {[&] { destroyWindow(edit); }, true, "a window destroyed"},
      {[&] { moveWindow(dialog, {1, 2, 3, 4}); }, false, "moved"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    const uint64_t before = changeCount();
    row.act();
    EXPECT_EQ(changeCount() != before, row.changes);
  }
  destroyWindow(dialog);
}

const platform::Module kModule = {"dialogs_input_test", nullptr, {nullptr}};
const DialogTemplate kSized = {u"Sized", 0, nullptr, 0, 280, 220};

TEST_F(DialogInput, DialogsStartAtTheOriginWithTheirTemplatesSize) {
  ASSERT_TRUE(registerTemplate(&kModule, 1, &kSized));
  Rect rect{9, 9, 9, 9};
  auto measure = [](WindowHandle dialog, Message message, uint64_t, intptr_t second) -> intptr_t {
    if (message != Message::kInit) return 0;
    windowRect(dialog, reinterpret_cast<Rect*>(second));
    return endDialog(dialog, 0);
  };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, measure, reinterpret_cast<intptr_t>(&rect)), 0);
  EXPECT_EQ(std::vector<int32_t>({rect.left, rect.top, rect.width, rect.height}), std::vector<int32_t>({0, 0, 280, 220}));
  unregisterTemplate(&kModule, 1);
}

}  // namespace
