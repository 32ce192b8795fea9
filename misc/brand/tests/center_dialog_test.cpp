// Centring a dialog: on its parent, on the screen when the top-most
// ancestor is minimised, kept on the screen, in 16-bit arithmetic.

#include <gtest/gtest.h>

#include "dialogs/brand_dialogs.h"

namespace {

namespace dialogs = platform::dialogs;

dialogs::WindowHandle makeWindow(dialogs::WindowHandle parent, const dialogs::Rect& rect) {
  dialogs::WindowSpec spec;
  spec.parent = parent;
  const dialogs::WindowHandle window = dialogs::createWindow(spec);
  EXPECT_TRUE(dialogs::moveWindow(window, rect));
  return window;
}

TEST(CenterDialog, OnTheParentOrTheScreenAndKeptOnIt) {
  const struct {
    const char* note;
    dialogs::Rect parent;
    bool minimised;  // the top-most ancestor
    bool between;    // a window between the parent and the top-most ancestor
    int32_t width, height;
    int32_t left, top;
  } rows[] = {
      {"the whole screen", {0, 0, 640, 480}, false, false, 280, 220, 180, 130},
      {"a small parent", {100, 50, 200, 100}, false, false, 100, 40, 150, 80},
      {"half of -1 is 0, not -1", {10, 10, 99, 49}, false, false, 100, 50, 10, 10},
      {"larger than the parent, at its left top", {0, 0, 100, 100}, false, false, 280, 220, 0, 0},
      {"past the right and bottom edges", {500, 400, 140, 80}, false, false, 280, 220, 360, 260},
      {"wider and higher than the screen", {0, 0, 640, 480}, false, false, 700, 500, 0, 0},
      {"minimised: the screen", {400, 300, 100, 100}, true, false, 280, 220, 180, 130},
      {"minimised grandparent: the screen", {400, 300, 100, 100}, true, true, 280, 220, 180, 130},
      {"a parent below its top window", {400, 300, 100, 100}, false, true, 80, 60, 410, 320},
      // 32760 + 50 wraps to a negative place in 16 bits, which becomes 0.
      {"16-bit wrap", {32760, 0, 200, 100}, false, false, 100, 40, 0, 30},
  };
  dialogs::setScreenRectForTesting({0, 0, 640, 480});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const dialogs::WindowHandle top = makeWindow(nullptr, {0, 0, 640, 480});
    const dialogs::WindowHandle parent = row.between ? makeWindow(top, row.parent) : top;
    if (!row.between) {
      ASSERT_TRUE(dialogs::moveWindow(top, row.parent));
    }
    ASSERT_TRUE(dialogs::setMinimized(top, row.minimised));
    const dialogs::WindowHandle dialog = makeWindow(parent, {7, 7, row.width, row.height});
    centerDialog(dialog);
    dialogs::Rect rect{};
    ASSERT_TRUE(dialogs::windowRect(dialog, &rect));
    EXPECT_EQ(rect.left, row.left);
    EXPECT_EQ(rect.top, row.top);
    EXPECT_EQ(rect.width, row.width);
    EXPECT_EQ(rect.height, row.height);
    (void)dialogs::destroyWindow(top);
  }
}

}  // namespace
