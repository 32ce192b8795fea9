// The dialog model: windows, texts, properties, activation, the queue and
// the modal loop driven by scripted input.
// Longer than our files usually are: every case drives the one dialog model
// through the same scripted-input fixture.

#include "platform/dialogs/model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ansi.h"
#include "testing/dialog_script.h"

namespace {

using namespace platform::dialogs;
using jutest::DialogScript;
using jutest::DialogStep;

// A module of its own, so these templates meet no one else's.
const platform::Module kModule = {"dialogs_test", nullptr, {nullptr}};

class CodePage {
 public:
  explicit CodePage(uint32_t codePage) : saved_(platform::ansiCodePage()) {
    EXPECT_TRUE(platform::setAnsiCodePage(codePage));
  }
  ~CodePage() { platform::setAnsiCodePage(saved_); }

 private:
  uint32_t saved_;
};

// What a dialog procedure saw, and what it does on each message.
struct Seen {
  std::vector<Message> messages;
  std::vector<uint64_t> firsts;
  std::vector<intptr_t> seconds;
  WindowHandle dialog;
  WindowHandle parent;
  WindowHandle activeAtInit;
  WindowHandle focusAtInit;
  std::u16string itemText;
  std::function<intptr_t(WindowHandle, Message, uint64_t)> act;
};
Seen* seen = nullptr;

intptr_t recordingProc(WindowHandle window, Message message, uint64_t first, intptr_t second) {
  seen->messages.push_back(message);
  seen->firsts.push_back(first);
  seen->seconds.push_back(second);
  if (message == Message::kInit) {
    seen->dialog = window;
    seen->parent = parentWindow(window);
    seen->activeAtInit = activeWindow();
    seen->focusAtInit = focusWindow();
    char16_t text[64];
    getItemText(window, 301, text, 64);
    seen->itemText = text;
  }
  return seen->act ? seen->act(window, message, first) : 0;
}

const ControlTemplate kControls[] = {
    {301, Kind::kEdit, kStyleUpperCase, u"AB"},
    {1, Kind::kButton, kStyleDefaultButton, u"&Brand"},
    {2, Kind::kButton, 0, u"&Cancel"},
    {308, Kind::kStatic, kStyleBorder, nullptr},
};
const DialogTemplate kDialog = {u"Branding", 0, kControls, 4};

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registerTemplate(&kModule, 1, &kDialog));
    seen = &seen_;
  }
  void TearDown() override {
    unregisterTemplate(&kModule, 1);
    seen = nullptr;
    setActiveWindow(nullptr);
    setFocus(nullptr);
    QueuedMessage m;
    while (takeMessage(&m)) {
    }
  }

  static WindowHandle make(WindowHandle parent = nullptr, int32_t id = 0, const char16_t* text = nullptr,
                           Procedure procedure = nullptr) {
    WindowSpec spec;
    spec.parent = parent;
    spec.id = id;
    spec.text = text;
    spec.procedure = procedure;
    return createWindow(spec);
  }

  Seen seen_;
};

// ---------------------------------------------------------------------------
// Windows.
// ---------------------------------------------------------------------------

TEST_F(Dialogs, ParentsAndChildren) {
  const WindowHandle top = make();
  const WindowHandle middle = make(top, 10);
  const WindowHandle leaf = make(middle, 11);
  const WindowHandle other = make();
  ASSERT_TRUE(top && middle && leaf && other);
  struct Row {
    WindowHandle parent, window;
    bool expected;
    const char* note;
  } rows[] = {
      {top, middle, true, "direct child"},
      {top, leaf, true, "grandchild"},
      {middle, leaf, true, "child of a child"},
      {leaf, top, false, "the other way round"},
      {top, top, false, "not its own child"},
      {other, leaf, false, "unrelated"},
      {nullptr, leaf, false, "no parent given"},
      {top, nullptr, false, "no window given"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(isChild(row.parent, row.window), row.expected);
  }
  EXPECT_EQ(parentWindow(leaf), middle);
  EXPECT_EQ(parentWindow(top), WindowHandle());
  EXPECT_TRUE(destroyWindow(top));
  EXPECT_TRUE(destroyWindow(other));
}

TEST_F(Dialogs, DestroyTakesTheWholeTreeAndHandlesAreNeverReused) {
  const WindowHandle top = make();
  const WindowHandle child = make(top, 1);
  const WindowHandle grandchild = make(child, 2);
  const WindowHandle sibling = make(nullptr);
  ASSERT_TRUE(destroyWindow(child));
  EXPECT_TRUE(isWindow(top));
  EXPECT_FALSE(isWindow(child));
  EXPECT_FALSE(isWindow(grandchild));
  EXPECT_TRUE(isWindow(sibling));
  EXPECT_FALSE(destroyWindow(child));
  EXPECT_FALSE(isChild(top, grandchild));
  // A window made later never answers to an old handle.
  const WindowHandle later = make(top, 1);
  EXPECT_NE(later, child);
  EXPECT_FALSE(isWindow(child));
  EXPECT_EQ(dialogItem(top, 1), later);
  // A destroyed parent is refused.
  EXPECT_FALSE(make(child));
  EXPECT_TRUE(destroyWindow(top));
  EXPECT_TRUE(destroyWindow(sibling));
  EXPECT_FALSE(isWindow(later));
}

TEST_F(Dialogs, DialogItemIsTheFirstDirectChildWithTheId) {
  const WindowHandle dialog = make();
  const WindowHandle first = make(dialog, 7, u"first");
  make(dialog, 7, u"second");
  const WindowHandle nested = make(first, 8);
  EXPECT_EQ(dialogItem(dialog, 7), first);
  EXPECT_FALSE(dialogItem(dialog, 8)) << "grandchildren are not items";
  EXPECT_EQ(dialogItem(first, 8), nested);
  EXPECT_FALSE(dialogItem(dialog, 9));
  destroyWindow(dialog);
  EXPECT_FALSE(dialogItem(dialog, 7));
}

// ---------------------------------------------------------------------------
// Texts.
// ---------------------------------------------------------------------------

TEST_F(Dialogs, WideTextsAreBoundedAndKeepPairsWhole) {
  const std::u16string text = u"Gr\u00FC\u00DFe \U0001F600!";  // 6 + pair + '!' = 9 units
  const WindowHandle w = make(nullptr, 0, text.c_str());
  ASSERT_EQ(textLength(w), 9u);
  struct Row {
    size_t units;
    size_t expected;
    std::u16string content;
    const char* note;
  } rows[] = {
      {1, 0, u"", "room for the terminator only"},
      {7, 6, u"Gr\u00FC\u00DFe ", "before the pair"},
      {8, 6, u"Gr\u00FC\u00DFe ", "the pair is not split"},
      {9, 8, u"Gr\u00FC\u00DFe \U0001F600", "the pair fits"},
      {10, 9, text, "exact"},
      {11, 9, text, "exact + 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string buffer(row.units + 1, u'#');
    EXPECT_EQ(getText(w, buffer.data(), row.units), row.expected);
    EXPECT_EQ(std::u16string(buffer.c_str()), row.content);
    EXPECT_EQ(buffer[row.units], u'#') << "wrote past the buffer";
  }
  char16_t untouched = u'#';
  EXPECT_EQ(getText(w, &untouched, 0), 0u);
  EXPECT_EQ(untouched, u'#');
  destroyWindow(w);
  char16_t buffer[4] = {u'x', 0, 0, 0};
  EXPECT_EQ(getText(w, buffer, 4), 0u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_FALSE(setText(w, u"gone"));
}

TEST_F(Dialogs, NarrowTextsGoThroughTheAnsiCodePage) {
  const WindowHandle w = make();
  ASSERT_TRUE(setTextNarrow(w, "Gr\xFC\xDF \x80"));  // windows-1252
  char16_t wide[16];
  getText(w, wide, 16);
  EXPECT_EQ(std::u16string(wide), u"Gr\u00FC\u00DF \u20AC");
  char narrow[16];
  ASSERT_TRUE(setText(w, u"\u00E9\u65E5"));  // a CJK character has no 1252 byte
  EXPECT_EQ(getTextNarrow(w, narrow, sizeof narrow), 2u);
  EXPECT_STREQ(narrow, "\xE9?");
  ASSERT_TRUE(setTextNarrow(w, ""));
  EXPECT_EQ(textLength(w), 0u);
  ASSERT_TRUE(setTextNarrow(w, nullptr));
  EXPECT_EQ(textLength(w), 0u);
  destroyWindow(w);
}

TEST_F(Dialogs, NarrowReadsNeverEndInsideADoubleByteCharacter) {
  CodePage japanese(932);
  const WindowHandle w = make(nullptr, 0, u"a\u65E5\u672C");  // 'a' + two 2-byte characters = 5 bytes
  struct Row {
    size_t bytes;
    size_t expected;
    const char* content;
    const char* note;
  } rows[] = {
      {1, 0, "", "terminator only"},
      {2, 1, "a", "one byte"},
      {3, 1, "a", "the lead byte alone is not taken"},
      {4, 3, "a\x93\xFA", "first character whole"},
      {5, 3, "a\x93\xFA", "exact minus one"},
      {6, 5, "a\x93\xFA\x96\x7B", "exact"},
      {7, 5, "a\x93\xFA\x96\x7B", "exact + 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::string buffer(row.bytes + 1, '#');
    EXPECT_EQ(getTextNarrow(w, buffer.data(), row.bytes), row.expected);
    EXPECT_STREQ(buffer.c_str(), row.content);
    EXPECT_EQ(buffer[row.bytes], '#') << "wrote past the buffer";
  }
  char untouched = '#';
  EXPECT_EQ(getTextNarrow(w, &untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
  ASSERT_TRUE(setTextNarrow(w, "\x93\xFA\x96\x7B"));
  char16_t wide[8];
  getText(w, wide, 8);
  EXPECT_EQ(std::u16string(wide), u"\u65E5\u672C");
  destroyWindow(w);
}

TEST_F(Dialogs, LongTextsReadIntoSmallNarrowBuffers) {
  std::u16string pairs;
  for (int i = 0; i < 1000; ++i) pairs += u"\U0001F600";
  struct Row {
    uint32_t codePage;
    std::u16string text;
    std::string expected;
    const char* note;
  } rows[] = {
      {1252, std::u16string(1000, u'\u00E9'), std::string(9, '\xE9'), "single-byte"},
      {932, std::u16string(1000, u'\u65E5'), "\x93\xFA\x93\xFA\x93\xFA\x93\xFA", "double-byte, odd room"},
      {1252, pairs, std::string(9, '?'), "surrogate pairs"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    CodePage codePage(row.codePage);
    const WindowHandle w = make(nullptr, 0, row.text.c_str());
    char buffer[11];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(getTextNarrow(w, buffer, 10), row.expected.size());
    EXPECT_EQ(std::string(buffer), row.expected);
    EXPECT_EQ(buffer[10], '#');
    destroyWindow(w);
  }
}

TEST_F(Dialogs, ItemTextsOfMissingControls) {
  const WindowHandle dialog = make();
  make(dialog, 301, u"x");
  char16_t wide[4] = {u'?', 0, 0, 0};
  char narrow[4] = {'?', 0, 0, 0};
  EXPECT_EQ(getItemText(dialog, 999, wide, 4), 0u);
  EXPECT_EQ(wide[0], 0);
  EXPECT_EQ(getItemTextNarrow(dialog, 999, narrow, 4), 0u);
  EXPECT_EQ(narrow[0], 0);
  EXPECT_FALSE(setItemText(dialog, 999, u"y"));
  EXPECT_FALSE(setItemTextNarrow(dialog, 999, "y"));
  EXPECT_TRUE(setItemTextNarrow(dialog, 301, "y"));
  EXPECT_EQ(getItemText(dialog, 301, wide, 4), 1u);
  EXPECT_EQ(std::u16string(wide), u"y");
  destroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// Properties.
// ---------------------------------------------------------------------------

TEST_F(Dialogs, PropertiesLastUntilRemovedOrDestroyed) {
  int a = 0, b = 0;
  const WindowHandle w = make();
  const WindowHandle other = make();
  EXPECT_EQ(getProperty(w, "Handle"), nullptr);
  ASSERT_TRUE(setProperty(w, "Handle", &a));
  EXPECT_EQ(getProperty(w, "HANDLE"), &a) << "names ignore case";
  EXPECT_EQ(getProperty(other, "Handle"), nullptr);
  ASSERT_TRUE(setProperty(w, "handle", &b));
  EXPECT_EQ(getProperty(w, "Handle"), &b) << "replaced, not added";
  ASSERT_TRUE(setProperty(w, "Other", &a));
  EXPECT_EQ(removeProperty(w, "Handle"), &b);
  EXPECT_EQ(getProperty(w, "Handle"), nullptr);
  EXPECT_EQ(removeProperty(w, "Handle"), nullptr);
  EXPECT_EQ(getProperty(w, "Other"), &a);
  EXPECT_FALSE(setProperty(w, nullptr, &a));
  destroyWindow(w);
  EXPECT_EQ(getProperty(w, "Other"), nullptr);
  EXPECT_FALSE(setProperty(w, "Other", &a));
  destroyWindow(other);
}

// ---------------------------------------------------------------------------
// Activation and focus.
// ---------------------------------------------------------------------------

TEST_F(Dialogs, ActiveWindowAndFocusPassToTheParentOfADestroyedTree) {
  const WindowHandle top = make();
  const WindowHandle child = make(top, 1);
  const WindowHandle control = make(child, 2);
  ASSERT_TRUE(setActiveWindow(child));
  ASSERT_TRUE(setFocus(control));
  EXPECT_EQ(activeWindow(), child) << "an ancestor of the focus stays active";
  destroyWindow(child);
  EXPECT_EQ(activeWindow(), top);
  EXPECT_EQ(focusWindow(), top);
  destroyWindow(top);
  EXPECT_EQ(activeWindow(), WindowHandle());
  EXPECT_EQ(focusWindow(), WindowHandle());
  EXPECT_FALSE(setActiveWindow(top));
  EXPECT_FALSE(setFocus(top));
}

TEST_F(Dialogs, FocusElsewhereActivatesTheFocusedWindowsDialog) {
  const WindowHandle a = make();
  const WindowHandle b = make();
  const WindowHandle field = make(b, 5);
  ASSERT_TRUE(setActiveWindow(a));
  ASSERT_TRUE(setFocus(field));
  EXPECT_EQ(activeWindow(), b);
  EXPECT_EQ(focusWindow(), field);
  destroyWindow(a);
  destroyWindow(b);
}

TEST_F(Dialogs, ActivationBelongsToTheThread) {
  const WindowHandle w = make();
  ASSERT_TRUE(setActiveWindow(w));
  WindowHandle there = w;
  std::thread([&] { there = activeWindow(); }).join();
  EXPECT_EQ(there, WindowHandle());
  EXPECT_EQ(activeWindow(), w);
  destroyWindow(w);
}

// ---------------------------------------------------------------------------
// Messages.
// ---------------------------------------------------------------------------

TEST_F(Dialogs, PostedMessagesAreDispatchedInOrderToTheirProcedure) {
  const WindowHandle w = make(nullptr, 0, nullptr, &recordingProc);
  ASSERT_TRUE(postMessage(w, Message::kCommand, 301, 7));
  ASSERT_TRUE(postMessage(w, Message::kTimer, 900, 0));
  QueuedMessage m;
  while (takeMessage(&m)) dispatchMessage(m);
  ASSERT_EQ(seen_.messages.size(), 2u);
  EXPECT_EQ(seen_.messages[0], Message::kCommand);
  EXPECT_EQ(seen_.firsts[0], 301u);
  EXPECT_EQ(seen_.seconds[0], 7);
  EXPECT_EQ(seen_.messages[1], Message::kTimer);
  EXPECT_EQ(seen_.firsts[1], 900u);
  destroyWindow(w);
}

TEST_F(Dialogs, MessagesForDestroyedWindowsAreDropped) {
  const WindowHandle w = make(nullptr, 0, nullptr, &recordingProc);
  const WindowHandle keep = make(nullptr, 0, nullptr, &recordingProc);
  ASSERT_TRUE(postMessage(w, Message::kCommand, 1, 0));
  ASSERT_TRUE(postMessage(keep, Message::kCommand, 2, 0));
  destroyWindow(w);
  EXPECT_FALSE(postMessage(w, Message::kCommand, 3, 0));
  EXPECT_EQ(sendMessage(w, Message::kCommand, 3, 0), 0);
  // A message taken before its window went away is dropped at dispatch.
  QueuedMessage m;
  ASSERT_TRUE(takeMessage(&m));
  EXPECT_EQ(m.window, keep);
  EXPECT_FALSE(takeMessage(&m));
  const QueuedMessage stale = {w, Message::kCommand, 4, 0};
  EXPECT_EQ(dispatchMessage(stale), 0);
  EXPECT_TRUE(seen_.messages.empty());
  destroyWindow(keep);
}

TEST_F(Dialogs, PostsFromAnotherThreadReachTheWindowsThread) {
  const WindowHandle w = make(nullptr, 0, nullptr, &recordingProc);
  bool posted = false;
  bool takenThere = true;
  std::thread([&] {
    posted = postMessage(w, Message::kCommand, 42, 0);
    QueuedMessage m;
    takenThere = takeMessage(&m);
  }).join();
  ASSERT_TRUE(posted);
  EXPECT_FALSE(takenThere) << "the poster's own queue stays empty";
  QueuedMessage m;
  ASSERT_TRUE(takeMessage(&m));
  EXPECT_EQ(m.first, 42u);
  destroyWindow(w);
}

// ---------------------------------------------------------------------------
// The modal loop.
// ---------------------------------------------------------------------------

TEST_F(Dialogs, ModalRunBuildsTheTemplateAndReturnsTheEndCode) {
  const WindowHandle owner = make();
  setActiveWindow(owner);
  setFocus(owner);
  std::vector<WindowHandle> controls;
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t) -> intptr_t {
    if (message != Message::kInit) return 0;
    for (const ControlTemplate& c : kControls) controls.push_back(dialogItem(dialog, c.id));
    endDialog(dialog, 42);
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, owner, &recordingProc, 1234), 42);
  ASSERT_EQ(seen_.messages.size(), 1u);
  EXPECT_EQ(seen_.messages[0], Message::kInit);
  EXPECT_EQ(seen_.seconds[0], 1234) << "the parameter travels with kInit";
  EXPECT_EQ(seen_.parent, owner);
  EXPECT_EQ(seen_.activeAtInit, seen_.dialog);
  EXPECT_EQ(seen_.focusAtInit, seen_.dialog);
  EXPECT_EQ(seen_.itemText, u"AB");
  ASSERT_EQ(controls.size(), 4u);
  for (size_t i = 0; i < controls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(controls[i]);
    EXPECT_FALSE(isWindow(controls[i])) << "controls go with their dialog";
  }
  EXPECT_FALSE(isWindow(seen_.dialog));
  EXPECT_EQ(activeWindow(), owner);
  EXPECT_EQ(focusWindow(), owner);
  destroyWindow(owner);
}

TEST_F(Dialogs, ControlsCarryTheirTemplateRows) {
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t) -> intptr_t {
    if (message != Message::kInit) return 0;
    for (const ControlTemplate& c : kControls) {
      SCOPED_TRACE(c.id);
      const WindowHandle item = dialogItem(dialog, c.id);
      WindowInfo info{};
      EXPECT_TRUE(windowInfo(item, &info));
      EXPECT_EQ(info.id, c.id);
      EXPECT_EQ(info.kind, c.kind);
      EXPECT_EQ(info.style, c.style);
      EXPECT_EQ(parentWindow(item), dialog);
      char16_t text[32];
      getText(item, text, 32);
      EXPECT_EQ(std::u16string(text), c.text == nullptr ? u"" : c.text);
    }
    char16_t caption[32];
    getText(dialog, caption, 32);
    EXPECT_EQ(std::u16string(caption), u"Branding");
    WindowInfo info{};
    EXPECT_TRUE(windowInfo(dialog, &info));
    EXPECT_EQ(info.kind, Kind::kDialog);
    endDialog(dialog, 0);
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 0);
}

TEST_F(Dialogs, ModalRunThatCannotStart) {
  const WindowHandle gone = make();
  destroyWindow(gone);
  struct Row {
    uint16_t templateId;
    WindowHandle parent;
    const char* note;
  } rows[] = {
      {77, nullptr, "no such template"},
      {1, gone, "the parent is not a window"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(runModal(&kModule, row.templateId, row.parent, &recordingProc, 0), kDialogFailed);
  }
  EXPECT_EQ(runModal(nullptr, 1, nullptr, &recordingProc, 0), kDialogFailed) << "templates belong to a module";
  EXPECT_TRUE(seen_.messages.empty());
}

TEST_F(Dialogs, WithoutInputTheRunEndsInsteadOfHanging) {
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), kDialogNoInput);
  ASSERT_EQ(seen_.messages.size(), 1u);
  EXPECT_FALSE(isWindow(seen_.dialog));
  // A hook that has nothing more to give ends it the same way.
  DialogScript script({});
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), kDialogNoInput);
  EXPECT_EQ(script.calls(), 1u);
}

TEST_F(Dialogs, ScriptedInputDrivesTheDialog) {
  // Typing into the field, then pressing the default button, which ends the
  // dialog with the field's length.
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kCommand && first == kOkCommand) {
      endDialog(dialog, static_cast<intptr_t>(textLength(dialogItem(dialog, 301))));
      return 1;
    }
    return 0;
  };
  DialogScript script({DialogStep::setField("Branding", 301, "hello"), DialogStep::press("Branding", kOkCommand)});
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 5);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(script.calls(), 2u);
}

TEST_F(Dialogs, UnhandledCloseBecomesCancel) {
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kCommand && first == static_cast<uint64_t>(kCancelCommand)) {
      endDialog(dialog, 3);
      return 1;
    }
    return 0;  // kClose is left to the model
  };
  DialogScript script({DialogStep::close("Branding")});
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 3);
  ASSERT_EQ(seen_.messages.size(), 3u);
  EXPECT_EQ(seen_.messages[1], Message::kClose);
  EXPECT_EQ(seen_.messages[2], Message::kCommand);
}

TEST_F(Dialogs, HandledCloseIsNotTurnedIntoCancel) {
  seen_.act = [&](WindowHandle, Message message, uint64_t) -> intptr_t { return message == Message::kClose; };
  DialogScript script({DialogStep::close("Branding")});
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), kDialogNoInput);
  ASSERT_EQ(seen_.messages.size(), 2u);
}

TEST_F(Dialogs, PostingToADestroyedWindowDoesNotDisturbTheLoop) {
  const WindowHandle doomed = make(nullptr, 0, nullptr, &recordingProc);
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit) {
      postMessage(doomed, Message::kCommand, 77, 0);  // queued, then its window goes
      destroyWindow(doomed);
      EXPECT_FALSE(postMessage(doomed, Message::kCommand, 78, 0));
      postMessage(dialog, Message::kCommand, kOkCommand, 0);
    } else if (message == Message::kCommand && first == kOkCommand) {
      endDialog(dialog, 9);
    }
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 9);
  for (uint64_t first : seen_.firsts) EXPECT_NE(first, 77u);
}

TEST_F(Dialogs, DialogDestroyedByItsProcedureEndsTheRun) {
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t) -> intptr_t {
    if (message == Message::kInit) postMessage(dialog, Message::kCommand, 5, 0);
    if (message == Message::kCommand) destroyWindow(dialog);
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 0);
  // Ended first, then destroyed: the end code stands.
  seen_.messages.clear();
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t) -> intptr_t {
    if (message == Message::kInit) {
      endDialog(dialog, 6);
      destroyWindow(dialog);
      EXPECT_FALSE(endDialog(dialog, 7));
    }
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 6);
}

TEST_F(Dialogs, NestedRunsEndInnermostFirst) {
  const WindowHandle owner = make();
  setActiveWindow(owner);
  std::vector<WindowHandle> parents;
  intptr_t inner = 0;
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t first) -> intptr_t {
    if (message == Message::kInit) {
      parents.push_back(parentWindow(dialog));
      postMessage(dialog, Message::kCommand, parents.size() == 1 ? 10 : 20, 0);
    } else if (message == Message::kCommand && first == 10) {
      inner = runModal(&kModule, 1, dialog, &recordingProc, 0);
      EXPECT_EQ(activeWindow(), dialog) << "the outer dialog is active again";
      endDialog(dialog, 1);
    } else if (message == Message::kCommand && first == 20) {
      endDialog(dialog, 2);
    }
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, owner, &recordingProc, 0), 1);
  EXPECT_EQ(inner, 2);
  ASSERT_EQ(parents.size(), 2u);
  EXPECT_EQ(parents[0], owner);
  EXPECT_NE(parents[1], owner);
  EXPECT_EQ(activeWindow(), owner);
  destroyWindow(owner);
}

TEST_F(Dialogs, EndDialogNeedsARunningDialog) {
  const WindowHandle plain = make();
  EXPECT_FALSE(endDialog(plain, 1));
  EXPECT_FALSE(endDialog(nullptr, 1));
  destroyWindow(plain);
}

TEST_F(Dialogs, TemplatesAreReplacedAndForgotten) {
  const ControlTemplate one[] = {{400, Kind::kStatic, 0, u"x"}};
  const DialogTemplate other = {u"Other", 0, one, 1};
  ASSERT_TRUE(registerTemplate(&kModule, 1, &other));
  bool hasNewControl = false;
  seen_.act = [&](WindowHandle dialog, Message message, uint64_t) -> intptr_t {
    if (message == Message::kInit) {
      hasNewControl = static_cast<bool>(dialogItem(dialog, 400)) && !dialogItem(dialog, 301);
      endDialog(dialog, 0);
    }
    return 1;
  };
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), 0);
  EXPECT_TRUE(hasNewControl);
  unregisterTemplate(&kModule, 1);
  EXPECT_EQ(runModal(&kModule, 1, nullptr, &recordingProc, 0), kDialogFailed);
  EXPECT_FALSE(registerTemplate(&kModule, 1, nullptr));
}

}  // namespace
