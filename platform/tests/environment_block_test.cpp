// The process environment as one block.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/process.h"

extern char** environ;

namespace {

TEST(EnvironmentBlockTest, CopiedOnlyWhenTheWholeBlockFits) {
  std::string expected;
  for (char** e = environ; *e != nullptr; ++e) expected += std::string(*e) + '\0';
  expected += '\0';
  const size_t n = expected.size();
  EXPECT_EQ(platform::environmentBlock(nullptr, 0), n);
  for (size_t size : {size_t{0}, size_t{1}, n - 1, n, n + 1}) {
    SCOPED_TRACE(size);
    std::string buffer(n + 1, 'x');
    EXPECT_EQ(platform::environmentBlock(buffer.data(), size), n);
    if (size >= n) {
      EXPECT_EQ(buffer.substr(0, n), expected);
      EXPECT_EQ(buffer[n], 'x');
    } else {
      EXPECT_EQ(buffer.substr(size), std::string(n + 1 - size, 'x')) << "wrote beyond the size";
    }
  }
}

TEST(EnvironmentBlockTest, EmptyEnvironmentIsTheClosingNulAlone) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    clearenv();
    char buffer[2] = {'x', 'x'};
    const bool ok = platform::environmentBlock(nullptr, 0) == 1 && platform::environmentBlock(buffer, 0) == 1 &&
                    buffer[0] == 'x' && platform::environmentBlock(buffer, 1) == 1 && buffer[0] == '\0' &&
                    buffer[1] == 'x';
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
