// Test support of the branding tool.

#include "front_end_doubles.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>

#include "dialogs/brand_dialogs.h"
#include "app/brand_module.h"
#include "julib/threads.h"

namespace branddoubles {

namespace dialogs = platform::dialogs;

ScopedStdin::ScopedStdin(const std::string& input) : saved_(dup(0)) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  EXPECT_EQ(write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(ends[1]);
  dup2(ends[0], 0);
  close(ends[0]);
  __fpurge(stdin);
  clearerr(stdin);
}

ScopedStdin::~ScopedStdin() {
  dup2(saved_, 0);
  close(saved_);
  __fpurge(stdin);
  clearerr(stdin);
}

void BrandTest::SetUp() {
  savedModule_ = juResourceModule.exchange(&vrBrandModule);
  ASSERT_TRUE(registerBrandDialogs(&vrBrandModule));
  desktop = dialogs::createWindow(dialogs::WindowSpec());
  ASSERT_TRUE(desktop);
  ASSERT_TRUE(dialogs::moveWindow(desktop, dialogs::screenRect()));
}

void BrandTest::TearDown() {
  (void)dialogs::destroyWindow(desktop);
  juResourceModule.store(savedModule_);
}

// The script is the hook in place: it takes the calls `act` leaves.
InputInFront::InputInFront(jutest::DialogScript& /*script*/, Act act) : act_(std::move(act)) {
  scriptHook_ = dialogs::setInputHook(&InputInFront::hook, this, &scriptContext_);
}

InputInFront::~InputInFront() { (void)dialogs::setInputHook(scriptHook_, scriptContext_); }

bool InputInFront::hook(dialogs::WindowHandle dialog, int32_t waitMilliseconds, void* context) {
  auto* self = static_cast<InputInFront*>(context);
  if (self->act_(dialog, waitMilliseconds)) return true;
  return self->scriptHook_(dialog, waitMilliseconds, self->scriptContext_);
}

bool brandingAFile(dialogs::WindowHandle dialog) {
  return jutest::windowTextUtf8(dialog) == "Copying Files" &&
         !jutest::windowTextUtf8(dialogs::dialogItem(dialog, kBrandSourceNameControl)).empty();
}

}  // namespace branddoubles
