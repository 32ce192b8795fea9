// Test support of the branding tool: standard input and output for a scope,
// the fixture of the tests (with a window standing for the desktop, for
// runs that show dialogs), and input that follows the branding's progress.
#ifndef BRAND_TESTS_FRONT_END_DOUBLES_H
#define BRAND_TESTS_FRONT_END_DOUBLES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/brand.h"
#include "testing/dialog_script.h"
#include "testing/ju_test.h"

namespace branddoubles {

// Feeds `input` to standard input for a scope (then the end of the input).
class ScopedStdin {
 public:
  explicit ScopedStdin(const std::string& input);
  ~ScopedStdin();
  ScopedStdin(const ScopedStdin&) = delete;
  ScopedStdin& operator=(const ScopedStdin&) = delete;

 private:
  int saved_;
};

// The entries of a list of texts.
inline std::vector<std::string> entries(const JuArrayPVoid& list) {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < list.count; ++i) out.emplace_back(static_cast<const char*>(list.pointerAt(i)));
  return out;
}

// Runs `action` and returns what it wrote to standard output.
template <typename Action>
std::string consoleOf(Action action) {
  ::testing::internal::CaptureStdout();
  action();
  return ::testing::internal::GetCapturedStdout();
}

// Each test: its own error list, the tool's catalogue and dialog templates,
// and `desktop`, a top-level window to own dialogs and message boxes.
class BrandTest : public jutest::JuTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::dialogs::WindowHandle desktop;

 private:
  platform::ModuleHandle savedModule_ = nullptr;
};

// Input that depends on more than which dialog waits, put in front of a
// script: `act` sees each call of the input hook first (the waiting dialog
// and how long the loop may wait) and returns true when it acted; the
// script takes every other call.
class InputInFront {
 public:
  using Act = std::function<bool(platform::dialogs::WindowHandle dialog, int32_t waitMilliseconds)>;
  InputInFront(jutest::DialogScript& script, Act act);
  ~InputInFront();
  InputInFront(const InputInFront&) = delete;
  InputInFront& operator=(const InputInFront&) = delete;

 private:
  static bool hook(platform::dialogs::WindowHandle dialog, int32_t waitMilliseconds, void* context);

  Act act_;
  platform::dialogs::InputHook scriptHook_ = nullptr;
  void* scriptContext_ = nullptr;
};

// True while the Copying Files dialog shows a file being branded: asked
// for input then, it is between two files.
bool brandingAFile(platform::dialogs::WindowHandle dialog);

}  // namespace branddoubles

#endif  // BRAND_TESTS_FRONT_END_DOUBLES_H
