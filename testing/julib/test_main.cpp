// The start-up of every test program of julib and the components above it,
// as a deliverable's: the calling thread's record first on the list, the
// library's catalogue, a keep-all error list made current, and the frees of
// the main test thread observed.

#include <gtest/gtest.h>

#include "julib/errors.h"
#include "julib/threads.h"
#include "testing/freed_blocks.h"

int main(int argc, char** argv) {
  // The program's own list, as a deliverable keeps one for its whole run.
  static JuErrorList programList(0, 1);
  juStartProgram(&juLibraryModule, &programList);
  jutest::observeFreedBlocks();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
