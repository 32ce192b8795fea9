// The dialog layer when memory runs out: each of its allocations made to
// fail in turn, the model, a message box and the terminal front end drawing
// a dialog end every run in success or in their documented failure, and
// leave nothing behind (the sanitizer build checks for leaks).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <functional>
#include <vector>

#include "platform/dialogs/boxes.h"
#include "platform/dialogs/terminal_front_end.h"
#include "testing/fault_loop.h"

namespace {

using namespace platform::dialogs;
using DialogFault = jutest::FaultRun<failAllocationForTesting, clearAllocationFaultForTesting>;

// A window with an edit, its texts, a property, a queued message and a
// timer; true when every step was done.
bool modelSteps() {
  WindowSpec spec;
  spec.text = u"Owner";
  const WindowHandle owner = createWindow(spec);
  if (!owner) return false;
  spec.parent = owner;
  spec.kind = Kind::kEdit;
  spec.style = kStyleUpperCase;
  const WindowHandle edit = createWindow(spec);
  QueuedMessage taken{};
  const bool done = edit && setText(owner, u"Renamed") && setTextNarrow(edit, "narrow") &&
                    setProperty(owner, "Handle", &spec) && userSetText(edit, u"typed") &&
                    postMessage(owner, Message::kCommand, 1, 0) && setTimer(owner, 7, 10) &&
                    takeMessage(&taken) && taken.first == 1;
  EXPECT_TRUE(destroyWindow(owner));
  EXPECT_FALSE(isWindow(edit));
  return done;
}

// Presses the running dialog's default button (a press that fails is tried
// again on the next call).
bool pressDefault(WindowHandle dialog, int32_t, void*) {
  for (WindowHandle c = nextChild(dialog, nullptr); c; c = nextChild(dialog, c)) {
    WindowInfo info{};
    if (windowInfo(c, &info) && (info.style & kStyleDefaultButton) != 0) (void)pressButton(c);
  }
  return true;
}

const platform::Module kModule = {"dialogs_allocation_test", nullptr, {nullptr}};
const ControlTemplate kControls[] = {
    {10, Kind::kStatic, 0, u"Company"},
    {11, Kind::kEdit, kStyleUpperCase, u"Acme"},
    {kOkCommand, Kind::kButton, kStyleDefaultButton, u"&Brand"},
    {kCancelCommand, Kind::kButton, 0, u"&Cancel"},
};
const DialogTemplate kDialog = {u"Branding", 0, kControls, 4};

intptr_t endOnCommand(WindowHandle dialog, Message message, uint64_t first, intptr_t) {
  if (message == Message::kCommand && commandNotification(first) == 0) (void)endDialog(dialog, commandId(first));
  return message == Message::kCommand;
}

// The dialog drawn by a terminal front end that reads "1 xy" and Enter.
intptr_t drawnAndAnswered() {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  EXPECT_EQ(write(ends[1], "1 xy\n\n", 6), 6);
  close(ends[1]);
  FILE* output = std::fopen("/dev/null", "w");
  intptr_t code = 0;
  {
    TerminalFrontEnd frontEnd(ends[0], output);
    code = runModal(&kModule, 1, nullptr, &endOnCommand, 0);
  }
  std::fclose(output);
  close(ends[0]);
  return code;
}

TEST(DialogsOutOfMemory, EveryRunEndsInSuccessOrItsDocumentedFailure) {
  ASSERT_TRUE(registerTemplate(&kModule, 1, &kDialog));
  const struct {
    const char* note;
    std::function<intptr_t()> run;
    intptr_t success;
    std::vector<intptr_t> failures;
  } rows[] = {
      {"the model", [] { return intptr_t{modelSteps()}; }, 1, {0}},
      {"a message box",
       [] {
         (void)setInputHook(&pressDefault, nullptr);
         const int32_t answer = messageBox(nullptr, u"Are you sure?", u"Question", kBoxYesNo);
         (void)setInputHook(nullptr, nullptr);
         return intptr_t{answer};
       },
       kAnswerYes, {kDialogFailed}},
      {"the terminal front end", drawnAndAnswered, kOkCommand, {kDialogFailed, kDialogNoInput}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const uint64_t runs = jutest::failEach<DialogFault>([&](DialogFault& fault) {
      fault.arm();
      const intptr_t result = row.run();
      if (!fault.disarm()) {
        EXPECT_EQ(result, row.success);
      } else if (result != row.success) {
        EXPECT_NE(std::find(row.failures.begin(), row.failures.end(), result), row.failures.end()) << result;
      }
    });
    EXPECT_GT(runs, 2u) << "the row allocates";
  }
  unregisterTemplate(&kModule, 1);
}

}  // namespace
