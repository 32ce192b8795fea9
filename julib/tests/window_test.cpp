// Window helpers: the owner of modal dialogs, the window object, dialog
// texts in both modes, and the online help address.

#include "julib/window.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "julib/internal/fault.h"
#include "julib/threads.h"
#include "platform/browser.h"
#include "platform/dialogs/boxes.h"
#include "platform/dialogs/terminal_front_end.h"
#include "testing/ju_test.h"

namespace {

namespace dialogs = platform::dialogs;
using dialogs::Message;
using dialogs::WindowHandle;

class ScopedAnsiMode {
 public:
  explicit ScopedAnsiMode(int32_t mode) : saved_(juAnsiMode.load()) { juAnsiMode.store(mode); }
  ~ScopedAnsiMode() { juAnsiMode.store(saved_); }

 private:
  int32_t saved_;
};

constexpr uint16_t kTemplate = 2;
const dialogs::ControlTemplate kControls[] = {{308, dialogs::Kind::kStatic, 0, u"Welcome"},
                                              {1, dialogs::Kind::kButton, dialogs::kStyleDefaultButton, u"&Continue"}};
const dialogs::DialogTemplate kWelcome = {u"Welcome", 0, kControls, 2};

// The parent each dialog had when it opened; it ends with the code given as
// its parameter.
std::vector<WindowHandle> parents;
intptr_t endAtInit(WindowHandle dialog, Message message, uint64_t, intptr_t parameter) {
  if (message != Message::kInit) return 0;
  parents.push_back(dialogs::parentWindow(dialog));
  dialogs::endDialog(dialog, parameter);
  return 1;
}

WindowHandle make(WindowHandle parent = nullptr, int32_t id = 0) {
  dialogs::WindowSpec spec;
  spec.parent = parent;
  spec.id = id;
  return dialogs::createWindow(spec);
}

class Window : public jutest::JuTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dialogs::registerTemplate(juResourceModule.load(), kTemplate, &kWelcome));
    parents.clear();
  }
  void TearDown() override {
    dialogs::unregisterTemplate(juResourceModule.load(), kTemplate);
    dialogs::setActiveWindow(nullptr);
    dialogs::setFocus(nullptr);
  }
};

// ---------------------------------------------------------------------------
// The owner of a modal dialog.
// ---------------------------------------------------------------------------

TEST_F(Window, WithoutOwnerTheActiveWindowOwnsAndGetsTheFocusBack) {
  const WindowHandle main = make();
  const WindowHandle field = make(main, 301);
  dialogs::setActiveWindow(main);
  dialogs::setFocus(field);
  EXPECT_EQ(juDialogBoxResult(nullptr, kTemplate, &endAtInit, 11), 11);
  ASSERT_EQ(parents.size(), 1u);
  EXPECT_EQ(parents[0], main);
  EXPECT_EQ(dialogs::activeWindow(), main);
  EXPECT_EQ(dialogs::focusWindow(), main);
  dialogs::destroyWindow(main);
}

TEST_F(Window, AnOwnerWhoseChildIsActiveGivesWayToThatChild) {
  const WindowHandle owner = make();
  const WindowHandle child = make(owner, 5);
  const WindowHandle grandchild = make(child, 6);
  struct Row {
    WindowHandle active;
    WindowHandle expectedParent;
    const char* note;
  } rows[] = {
      {child, child, "active child"},
      {grandchild, grandchild, "active grandchild"},
      {owner, owner, "the owner itself is active"},
      {nullptr, owner, "nothing active"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    parents.clear();
    dialogs::setActiveWindow(row.active);
    EXPECT_EQ(juDialogBoxResult(owner, kTemplate, &endAtInit, 0), 0);
    ASSERT_EQ(parents.size(), 1u);
    EXPECT_EQ(parents[0], row.expectedParent);
  }
  dialogs::destroyWindow(owner);
}

TEST_F(Window, AnActiveWindowOutsideTheOwnerGetsTheFocusBack) {
  const WindowHandle owner = make();
  const WindowHandle elsewhere = make();
  dialogs::setActiveWindow(elsewhere);
  EXPECT_EQ(juDialogBoxResult(owner, kTemplate, &endAtInit, 4), 4);
  ASSERT_EQ(parents.size(), 1u);
  EXPECT_EQ(parents[0], owner);
  // Closing the dialog activated its owner; the window that was active
  // before takes the focus back.
  EXPECT_EQ(dialogs::focusWindow(), elsewhere);
  EXPECT_EQ(dialogs::activeWindow(), elsewhere);
  dialogs::destroyWindow(owner);
  dialogs::destroyWindow(elsewhere);
}

// The library's operator new returns null when memory runs out; the dialogs
// and their terminal front end never allocate through it.
TEST_F(Window, DialogsRunWhileTheLibrarysAllocationsFail) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], "\n\n", 2), 2);  // Enter in the box, then in the dialog
  close(ends[1]);
  FILE* output = std::fopen("/dev/null", "w");
  auto endOnCommand = [](WindowHandle dialog, Message message, uint64_t first, intptr_t) -> intptr_t {
    if (message == Message::kCommand) dialogs::endDialog(dialog, dialogs::commandId(first));
    return 1;
  };
  julib::internal::failAllocation(1, true);
  int32_t answer = 0;
  intptr_t code = 0;
  {
    dialogs::TerminalFrontEnd terminal(ends[0], output);
    answer = dialogs::messageBox(nullptr, u"Go on?", u"Question", dialogs::kBoxOk);
    code = dialogs::runModal(juResourceModule.load(), kTemplate, nullptr, endOnCommand, 0);
  }
  const uint64_t failed = julib::internal::clearAllocationFault();
  std::fclose(output);
  close(ends[0]);
  EXPECT_EQ(answer, dialogs::kAnswerOk);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(failed, 0u) << "the dialogs allocated through the library";
}

TEST_F(Window, NoOwnerAndNothingActiveMakesATopLevelDialog) {
  EXPECT_EQ(juDialogBoxResult(nullptr, kTemplate, &endAtInit, 1), 1);
  ASSERT_EQ(parents.size(), 1u);
  EXPECT_EQ(parents[0], WindowHandle());
  EXPECT_EQ(dialogs::focusWindow(), WindowHandle());
}

TEST_F(Window, ADialogThatCannotBeMadeIsReported) {
  EXPECT_EQ(juDialogBoxResult(nullptr, 9, &endAtInit, 0), dialogs::kDialogFailed);
  EXPECT_TRUE(errors_.ids().empty()) << "the result form posts nothing";
  EXPECT_EQ(juDialogBox(nullptr, 9, &endAtInit, 0), 1);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{9999});
}

TEST_F(Window, ADialogThatRanIsZeroWhateverItsEndCode) {
  struct Row {
    intptr_t endCode;
    const char* note;
  } rows[] = {{0, "zero"}, {1, "one"}, {-2, "as when no input comes"}, {2, "cancel"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juDialogBox(nullptr, kTemplate, &endAtInit, row.endCode), 0);
  }
  // With no procedure the dialog waits for input that never comes.
  EXPECT_EQ(juDialogBox(nullptr, kTemplate, nullptr, 0), 0);
  EXPECT_TRUE(errors_.ids().empty());
}

// ---------------------------------------------------------------------------
// The window object.
// ---------------------------------------------------------------------------

TEST_F(Window, WindowObjectIsThePropertyHandle) {
  int object = 0;
  const WindowHandle w = make();
  EXPECT_EQ(juGetWindowObject(w), nullptr) << "no property yet";
  juSetWindowObject(w, &object);
  EXPECT_EQ(juGetWindowObject(w), &object);
  EXPECT_EQ(dialogs::getProperty(w, "Handle"), &object);
  juRemoveWindowObject(w);
  EXPECT_EQ(juGetWindowObject(w), nullptr);
  juSetWindowObject(w, &object);
  dialogs::destroyWindow(w);
  EXPECT_EQ(juGetWindowObject(w), nullptr) << "dropped with the window";
  EXPECT_EQ(juGetWindowObject(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// Dialog texts.
// ---------------------------------------------------------------------------

class DialogText : public Window {
 protected:
  void SetUp() override {
    Window::SetUp();
    dialog_ = make();
    make(dialog_, kField);
  }
  void TearDown() override {
    dialogs::destroyWindow(dialog_);
    Window::TearDown();
  }
  std::u16string stored() {
    std::u16string text(dialogs::textLength(dialogs::dialogItem(dialog_, kField)) + 1, u'\0');
    dialogs::getItemText(dialog_, kField, text.data(), text.size());
    text.pop_back();
    return text;
  }

  static constexpr int32_t kField = 309;
  WindowHandle dialog_;
};

TEST_F(DialogText, RoundTripsInBothModes) {
  struct Row {
    int32_t ansiMode;
    uint32_t codePage;
    std::u16string text;
    std::u16string readBack;
    size_t returned;
    const char* note;
  } rows[] = {
      {0, 1252, u"Soci\u00E9t\u00E9 \u65E5\u672C \U0001F600", u"Soci\u00E9t\u00E9 \u65E5\u672C \U0001F600", 13,
       "wide: everything, without the terminator"},
      {1, 1252, u"Soci\u00E9t\u00E9 \u20AC", u"Soci\u00E9t\u00E9 \u20AC", 10, "ANSI: counts the terminator"},
      {1, 1252, u"\u65E5\u672C", u"??", 3, "ANSI: what 1252 lacks becomes '?'"},
      {1, 932, u"\u65E5\u672C\u8A9E\u30C6\u30AD\u30B9\u30C8", u"\u65E5\u672C\u8A9E\u30C6\u30AD\u30B9\u30C8", 8,
       "ANSI: double-byte code page"},
      {1, 1252, u"", u"", 0, "ANSI: empty"},
      {0, 1252, u"", u"", 0, "wide: empty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedCodePage codePage(row.codePage);
    ScopedAnsiMode mode(row.ansiMode);
    EXPECT_EQ(juSetDlgItemTextW(dialog_, kField, row.text.c_str()), 1);
    EXPECT_EQ(stored(), row.readBack);
    char16_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(juGetDlgItemTextW(dialog_, kField, buffer, 64), row.returned);
    EXPECT_EQ(std::u16string(buffer), row.readBack);
  }
}

TEST_F(DialogText, AnsiReadsStayInTheCallersBuffer) {
  ScopedAnsiMode mode(1);
  ASSERT_EQ(juSetDlgItemTextW(dialog_, kField, u"Gr\u00FC\u00DFe"), 1);  // 5 units
  struct Row {
    size_t size;
    size_t returned;
    std::u16string content;
    const char* note;
  } rows[] = {
      {1, 1, u"", "terminator only"},
      {2, 2, u"G", "one unit"},
      {5, 5, u"Gr\u00FC\u00DF", "exact - 1"},
      {6, 6, u"Gr\u00FC\u00DFe", "exact"},
      {7, 6, u"Gr\u00FC\u00DFe", "exact + 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string buffer(row.size + 1, u'#');
    EXPECT_EQ(juGetDlgItemTextW(dialog_, kField, buffer.data(), row.size), row.returned);
    EXPECT_EQ(std::u16string(buffer.c_str()), row.content);
    EXPECT_EQ(buffer[row.size], u'#') << "wrote past the buffer";
  }
  char16_t untouched = u'#';
  EXPECT_EQ(juGetDlgItemTextW(dialog_, kField, &untouched, 0), 0u);
  EXPECT_EQ(untouched, u'#');
}

TEST_F(DialogText, AnsiTextsAreBoundedBy4095Bytes) {
  ScopedAnsiMode mode(1);
  struct Row {
    uint32_t codePage;
    std::u16string text;
    size_t storedUnits;
    const char* note;
  } rows[] = {
      {1252, std::u16string(4095, u'x'), 4095, "exact"},
      {1252, std::u16string(4096, u'x'), 4095, "one byte over"},
      {1252, std::u16string(20000, u'\u00E9'), 4095, "far over"},
      {932, std::u16string(3000, u'\u65E5'), 2047, "never half a double-byte character"},
      {932, u"a" + std::u16string(2047, u'\u65E5'), 2048, "exact with double-byte characters"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedCodePage codePage(row.codePage);
    EXPECT_EQ(juSetDlgItemTextW(dialog_, kField, row.text.c_str()), 1);
    const std::u16string text = stored();
    EXPECT_EQ(text.size(), row.storedUnits);
    EXPECT_EQ(text, row.text.substr(0, row.storedUnits));
  }
}

TEST_F(DialogText, AnsiReadsOfLongTextsAreCutTo4095Bytes) {
  const std::u16string text(5000, u'\u00E9');
  {
    ScopedAnsiMode wide(0);
    ASSERT_EQ(juSetDlgItemTextW(dialog_, kField, text.c_str()), 1);
  }
  ScopedAnsiMode mode(1);
  std::u16string buffer(6000, u'#');
  EXPECT_EQ(juGetDlgItemTextW(dialog_, kField, buffer.data(), buffer.size()), 4096u);
  EXPECT_EQ(std::u16string(buffer.c_str()), text.substr(0, 4095));
}

TEST_F(DialogText, MissingControlsAndNullTexts) {
  for (int32_t ansi : {0, 1}) {
    SCOPED_TRACE(ansi);
    ScopedAnsiMode mode(ansi);
    char16_t buffer[8] = {u'#', 0};
    EXPECT_EQ(juSetDlgItemTextW(dialog_, 999, u"x"), 0);
    EXPECT_EQ(juGetDlgItemTextW(dialog_, 999, buffer, 8), 0u);
    EXPECT_EQ(buffer[0], 0);
    ASSERT_EQ(juSetDlgItemTextW(dialog_, kField, u"x"), 1);
    EXPECT_EQ(juSetDlgItemTextW(dialog_, kField, nullptr), 1);
    EXPECT_EQ(stored(), u"");
  }
}

// ---------------------------------------------------------------------------
// Online help.
// ---------------------------------------------------------------------------

void record(const char* address, void* context) { static_cast<std::vector<std::string>*>(context)->push_back(address); }

class OnlineHelp : public jutest::JuTest {
 protected:
  void SetUp() override { platform::setAddressRecorderForTesting(&record, &opened_); }
  void TearDown() override { platform::setAddressRecorderForTesting(nullptr, nullptr); }
  std::vector<std::string> opened_;
};

TEST_F(OnlineHelp, TheAddressIsTheBaseAndBothParts) {
  juShowOnlineHelp("brisklane-odbc-distribution/page/", "Using-the-Standalone-Branding-Tool.html");
  juShowOnlineHelp(nullptr, "b.html");
  juShowOnlineHelp("a/", nullptr);
  const std::vector<std::string> expected = {
      "https://docs.vrtools.example/bundle/brisklane-odbc-distribution/page/Using-the-Standalone-Branding-Tool.html",
      "https://docs.vrtools.example/bundle/b.html",
      "https://docs.vrtools.example/bundle/a/",
  };
  EXPECT_EQ(opened_, expected);
  const std::string base = kJuOnlineHelpBase;
  EXPECT_EQ(base.compare(0, 8, "https://"), 0);
  EXPECT_EQ(base.substr(base.size() - 8), "/bundle/");
}

TEST_F(OnlineHelp, AnAddressThatDoesNotFitIsNotOpened) {
  const size_t room = kJuOnlineHelpAddressSize - 1 - (sizeof kJuOnlineHelpBase - 1);
  struct Row {
    size_t firstLength, secondLength;
    bool opened;
    const char* note;
  } rows[] = {
      {room - 1, 0, true, "one short"},
      {room - 10, 10, true, "exactly 2047 characters"},
      {room, 0, true, "exactly 2047 in the first part"},
      {room - 10, 11, false, "2048 characters"},
      {room + 1, 0, false, "2048 in the first part"},
      {5000, 5, false, "far over"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    opened_.clear();
    const std::string first(row.firstLength, 'a'), second(row.secondLength, 'b');
    juShowOnlineHelp(first.c_str(), second.c_str());
    if (row.opened) {
      ASSERT_EQ(opened_.size(), 1u);
      EXPECT_EQ(opened_[0], kJuOnlineHelpBase + first + second);
    } else {
      EXPECT_TRUE(opened_.empty()) << "a cut address was opened";
    }
  }
}

}  // namespace
