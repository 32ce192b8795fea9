// The terminal front end, driven through a pipe: what it draws and what
// each typed line does.

#include "platform/dialogs/terminal_front_end.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialogs/boxes.h"
#include "platform/utf16.h"

namespace {

using namespace platform::dialogs;

const platform::Module kModule = {"terminal_front_end_test", nullptr, {nullptr}};
const ControlTemplate kControls[] = {
    {10, Kind::kStatic, 0, u"Platform"},
    {300, Kind::kStatic, kStyleBorder, u"x64"},
    {11, Kind::kStatic, 0, u"New"},
    {12, Kind::kStatic, 0, u"Prefix"},
    {301, Kind::kEdit, kStyleUpperCase, u"AB"},
    {350, Kind::kStatic, kStyleHidden, u"Message Prefix"},
    {311, Kind::kEdit, kStyleHidden, nullptr},
    {13, Kind::kStatic, 0, u"Driver Dir"},
    {303, Kind::kEdit, 0, nullptr},
    {1, Kind::kButton, kStyleDefaultButton, u"&Brand"},
    {9, Kind::kButton, 0, u"&Help"},
    {2, Kind::kButton, 0, u"&Cancel"},
    {304, Kind::kButton, 0, u"B&rowse"},
};
const DialogTemplate kDialog = {u"Branding", 0, kControls, 13};

constexpr char kDrawing[] =
    "\n"
    "+----------+\n"
    "| Branding |\n"
    "+----------+\n"
    "  Platform\n"
    "  x\xEF\xBF\xBD[2J y\xEF\xBF\xBD\n"
    "  1) New Prefix ......... [AB]\n"
    "  2) Driver Dir ......... []\n"
    "  <[B]rand>  [H]elp  [C]ancel  B[r]owse\n"
    "> ";

// What the dialog's procedure saw and does.
struct Seen {
  std::vector<int32_t> buttons;
  std::u16string prefix, directory;
  std::function<void(WindowHandle)> atInit;
  bool escapeWhilePumping = false;
} seen;

intptr_t proc(WindowHandle dialog, Message message, uint64_t first, intptr_t) {
  if (message == Message::kInit && seen.atInit) seen.atInit(dialog);
  if (message == Message::kKeyDown) seen.escapeWhilePumping = true;
  if (message == Message::kTimer) {
    killTimer(dialog, first);
    endDialog(dialog, 42);
  }
  if (message != Message::kCommand || commandNotification(first) != 0) return 0;
  const int32_t id = commandId(first);
  seen.buttons.push_back(id);
  if (id == 9) {
    beep(0);
    setBusy(!isBusy());
  }
  if (id == kOkCommand || id == kCancelCommand) {
    auto text = [&](int32_t item) {
      std::u16string t(textLength(dialogItem(dialog, item)) + 1, u'\0');
      t.resize(getItemText(dialog, item, t.data(), t.size()));
      return t;
    };
    seen.prefix = text(301);
    seen.directory = text(303);
    endDialog(dialog, id);
  }
  return 1;
}

// Runs the dialog with `input` written into a pipe (and the pipe closed,
// unless `keepOpen`); returns the end code, the drawing in *output.
intptr_t runWith(const std::string& input, std::string* output, bool keepOpen = false) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    for (size_t done = 0; done < input.size();) {
      const ssize_t n = write(ends[1], input.data() + done, input.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (!keepOpen) close(ends[1]);
  });
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  intptr_t code = 0;
  {
    TerminalFrontEnd frontEnd(ends[0], out);
    code = runModal(&kModule, 1, nullptr, &proc, 0);
  }
  writer.join();
  if (keepOpen) close(ends[1]);
  close(ends[0]);
  std::fclose(out);
  output->assign(buffer, size);
  std::free(buffer);
  return code;
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class TerminalFrontEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registerTemplate(&kModule, 1, &kDialog));
    seen = Seen();
  }
  void TearDown() override {
    unregisterTemplate(&kModule, 1);
    setBusy(false);
  }
};

TEST_F(TerminalFrontEndTest, DrawsTheDialogAsText) {
  // Control characters in a text never reach the terminal.
  seen.atInit = [](WindowHandle dialog) { setItemText(dialog, 300, u"x\x1b[2J\ty\u0085"); };
  std::string output;
  EXPECT_EQ(runWith("", &output), kDialogNoInput);
  EXPECT_EQ(output, kDrawing);
}

TEST_F(TerminalFrontEndTest, LinesAreTheUsersActions) {
  const std::string longLine(100000, 'a');
  auto unlimited = [](WindowHandle dialog) { setTextLimit(dialogItem(dialog, 303), 200000); };
  struct Row {
    std::string input;
    intptr_t code;
    std::vector<int32_t> buttons;
    std::u16string prefix, directory;
    const char* note;
    std::function<void(WindowHandle)> atInit = nullptr;
  } rows[] = {
      {"1 xy\n\n", 1, {1}, u"XY", u"", "a field, then Enter"},
      {"2 /tmp/a b\nb\n", 1, {1}, u"AB", u"/tmp/a b", "the text keeps its blanks; an accelerator"},
      {"h\nR\nc\n", 2, {9, 304, 2}, u"AB", u"", "accelerators in any case"},
      {"1\nB\n", 1, {1}, u"", u"", "a number alone empties the field"},
      {"esc\n", 2, {2}, u"AB", u"", "esc is Escape, which cancels"},
      {"\x1b\r\n", 2, {2}, u"AB", u"", "the Escape key, then Enter"},
      {"2 \xFF\xC3\n\n", 1, {1}, u"AB", u"\uFFFD\uFFFD", "malformed UTF-8"},
      {"2 " + longLine + "\n\n", 1, {1}, u"AB", std::u16string(kDefaultTextLimit, u'a'), "cut by the limit"},
      {"2 " + longLine + "\n\n", 1, {1}, u"AB", std::u16string(TerminalFrontEnd::kMaxLineBytes - 2, u'a'),
       "an overlong line is cut, the next one stands", unlimited},
      {"2 c:\\x\nc", 2, {2}, u"AB", u"c:\\x", "a last line without its break counts"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    seen = Seen();
    seen.atInit = row.atInit;
    setBusy(false);  // "h" leaves it set, and a dialog that opens busy drops what was typed before
    std::string output;
    EXPECT_EQ(runWith(row.input, &output), row.code);
    EXPECT_EQ(seen.buttons, row.buttons);
    EXPECT_EQ(seen.prefix, row.prefix);
    EXPECT_EQ(seen.directory, row.directory);
  }
}

TEST_F(TerminalFrontEndTest, DrawsAgainOnlyForChangesAndQuestionMarks) {
  std::string output;
  EXPECT_EQ(runWith("9 x\nzz\n?\n1 q\nh\nh\nc\n", &output), 2);
  EXPECT_EQ(count(output, "There is no such field."), 1u);
  EXPECT_EQ(count(output, "Type a field's number"), 1u);
  EXPECT_EQ(count(output, "| Branding |"), 5u) << "at the start, for '?', the field, busy on and off";
  EXPECT_NE(output.find("  1) New Prefix ......... [Q]\n"), std::string::npos);
  EXPECT_EQ(count(output, "(busy"), 1u);
  EXPECT_EQ(count(output, "\a"), 2u);
}

TEST_F(TerminalFrontEndTest, PollingTakesAWaitingLineAndTimersStillFire) {
  // A pump between steps of work sees an Escape already typed.
  seen.atInit = [](WindowHandle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the line arrives meanwhile
    QueuedMessage m;
    while (takeMessage(&m)) dispatchMessage(m);
  };
  std::string output;
  EXPECT_EQ(runWith("esc\n", &output), kCancelCommand);
  EXPECT_TRUE(seen.escapeWhilePumping);
  EXPECT_EQ(seen.buttons, (std::vector<int32_t>{kCancelCommand}));
  // With the input open and silent, the wait ends for a due timer.
  seen = Seen();
  seen.atInit = [](WindowHandle dialog) { setTimer(dialog, 900, 30); };
  EXPECT_EQ(runWith("", &output, true), 42);
}

// The hooks a front end replaced come back with their own contexts.
TEST_F(TerminalFrontEndTest, PutsBackTheHooksItReplacedWhole) {
  static void* heard = nullptr;
  int owner = 0;
  auto input = [](WindowHandle, int32_t, void*) { return true; };
  auto beeper = [](uint32_t, void* context) { heard = context; };
  (void)setInputHook(input, &owner);
  (void)setBeepHook(beeper, &owner);
  { TerminalFrontEnd frontEnd(-1, nullptr); }
  beep(0);
  EXPECT_EQ(heard, &owner);
  void* context = nullptr;
  EXPECT_EQ(setInputHook(nullptr, nullptr, &context), static_cast<InputHook>(input));
  EXPECT_EQ(context, &owner);
  (void)setBeepHook(nullptr, nullptr);
}

// Input typed before a busy run or while it is busy answers nothing in it
// (but Escape, which stops it) and no question put after it. The pipe stays
// open: its end would end every dialog.
TEST_F(TerminalFrontEndTest, InputFromBeforeOrDuringABusyRunAnswersNoLaterQuestion) {
  struct Row {
    const char* ahead;          // written before the question
    const char* whileCopying;   // written while the busy dialog runs
    const char* afterCopying;   // written while still busy, after it
    intptr_t copying;           // what the busy dialog ended with
    const char* note;
  } rows[] = {
      {"y\n\n", "", "", 0, "an Enter typed ahead of the run presses nothing in it"},
      {"y\n", "\n", "", 0, "nor does one typed while it goes on"},
      {"y\n", "esc\n", "", kCancelCommand, "Escape typed while it goes on stops it"},
      {"y\n", "", "n\n", 0, "an answer typed while busy is not the next question's"},
  };
  static const Row* current = nullptr;
  static int writeEnd = -1;
  static bool cancelled = false;
  // The busy dialog: its timer types the row's line and lets it be read,
  // as the branding loop pumps between files.
  auto copying = [](WindowHandle dialog, Message message, uint64_t first, intptr_t) -> intptr_t {
    if (message == Message::kInit) setTimer(dialog, 1, 10);
    if (message == Message::kTimer) {
      killTimer(dialog, 1);
      EXPECT_EQ(write(writeEnd, current->whileCopying, std::strlen(current->whileCopying)),
                static_cast<ssize_t>(std::strlen(current->whileCopying)));
      QueuedMessage m;
      while (takeMessage(&m)) dispatchMessage(m);
      if (!cancelled) endDialog(dialog, 0);
    }
    if (message == Message::kCommand && commandId(first) == kCancelCommand) {
      cancelled = true;
      endDialog(dialog, kCancelCommand);
    }
    return message != Message::kKeyDown;  // Escape cancels
  };
  const ControlTemplate controls[] = {{kCancelCommand, Kind::kButton, kStyleDefaultButton, u"Cancel"}};
  const DialogTemplate busyDialog = {u"Copying Files", 0, controls, 1};
  ASSERT_TRUE(registerTemplate(&kModule, 2, &busyDialog));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    current = &row;
    cancelled = false;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    writeEnd = ends[1];
    ASSERT_EQ(write(ends[1], row.ahead, std::strlen(row.ahead)), static_cast<ssize_t>(std::strlen(row.ahead)));
    {
      TerminalFrontEnd frontEnd(ends[0], nullptr);
      EXPECT_EQ(messageBox(nullptr, u"Brand?", u"Question", kBoxYesNo), kAnswerYes);
      setBusy(true);
      EXPECT_EQ(runModal(&kModule, 2, nullptr, copying, 0), row.copying);
      ASSERT_EQ(write(ends[1], row.afterCopying, std::strlen(row.afterCopying)),
                static_cast<ssize_t>(std::strlen(row.afterCopying)));
      setBusy(false);
      close(ends[1]);
      EXPECT_EQ(messageBox(nullptr, u"Done.", u"Question", kBoxYesNo), kDialogNoInput);
    }
    close(ends[0]);
  }
  unregisterTemplate(&kModule, 2);
}

}  // namespace
