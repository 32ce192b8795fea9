// Stand-ins for the dialog front end. They go when it is defined: the tests
// then link the real one.

#include "front_end_doubles.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>

#include "brand_dialogs.h"
#include "brand_module.h"
#include "julib/threads.h"
#include "platform/utf16.h"

namespace branddoubles {

Record record;

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
  record = Record();
}

void BrandTest::TearDown() { juResourceModule.store(savedModule_); }

}  // namespace branddoubles

using branddoubles::record;

intptr_t copyingDlgProc(platform::dialogs::WindowHandle dialog, platform::dialogs::Message message, uint64_t,
                        intptr_t second) {
  if (message != platform::dialogs::Message::kInit) return 0;
  reinterpret_cast<brand*>(second)->brandAll(dialog);
  platform::dialogs::endDialog(dialog, 0);
  return 1;
}

int32_t brandMessageBox(platform::dialogs::WindowHandle, const char16_t* text, const char16_t* caption,
                        uint32_t style) {
  record.boxes.push_back({platform::utf16::toUtf8(text), platform::utf16::toUtf8(caption), style});
  return record.answer;
}

void brandMessageBeep(uint32_t type) { record.beeps.push_back(type); }
