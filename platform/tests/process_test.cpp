// Threads, modules, the reported Windows version and file kinds.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/catalogue.h"
#include "platform/files.h"
#include "platform/lock.h"
#include "platform/process.h"

namespace {

TEST(Process, ThreadIdsDifferPerThread) {
  const uint32_t mine = platform::currentThreadId();
  uint32_t other = 0;
  std::thread([&] { other = platform::currentThreadId(); }).join();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(other, 0u);
  EXPECT_NE(mine, other);
  EXPECT_EQ(platform::currentProcessId(), static_cast<uint32_t>(getpid()));
}

TEST(Process, AForkedChildHasItsOwnIds) {
  const uint32_t parentThread = platform::currentThreadId();
  const uint32_t parentProcess = platform::currentProcessId();  // both cached now
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool ok = platform::currentProcessId() == static_cast<uint32_t>(getpid()) &&
                    platform::currentProcessId() != parentProcess &&
                    platform::currentThreadId() == static_cast<uint32_t>(getpid()) &&
                    platform::currentThreadId() != parentThread;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Fork handlers run stage by stage in the lock order before a fork, and in
// the reverse order after it in the parent and in the child.
TEST(Process, ForkHandlersFollowTheLockOrder) {
  static std::string steps;
  static char letters[] = "pdl";
  const platform::ForkStage stages[] = {platform::ForkStage::kPlatform, platform::ForkStage::kDeliverable,
                                        platform::ForkStage::kLibrary};
  for (size_t i = 0; i < 3; ++i) {
    auto step = [](void* letter) { steps += *static_cast<char*>(letter); };
    ASSERT_TRUE(platform::addForkHandlers(stages[i], {step, step, step, &letters[i]}));
  }
  steps.clear();
  const pid_t child = fork();
  if (child == 0) _exit(steps == "dlppld" ? 0 : 1);
  EXPECT_EQ(steps, "dlppld");
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Process, ExitHookRunsWhenTheThreadEnds) {
  std::atomic<int> ran{0};
  std::thread([&] {
    ASSERT_TRUE(platform::setThreadExitHook([](void* p) { ++*static_cast<std::atomic<int>*>(p); }, &ran));
    EXPECT_EQ(ran.load(), 0);
  }).join();
  EXPECT_EQ(ran.load(), 1);
}

TEST(Process, ModuleFileNameIsBounded) {
  char path[4096];
  const size_t n = platform::moduleFileName(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(path[0], '/');
  char cut[4];
  EXPECT_EQ(platform::moduleFileName(nullptr, cut, sizeof cut), sizeof cut);
  EXPECT_EQ(cut[3], '\0');
  EXPECT_EQ(platform::moduleFileName(nullptr, cut, 0), 0u);
}

TEST(Lock, IsRecursiveAndExcludesOtherThreads) {
  static platform::Lock lock;  // usable without construction order concerns
  int counter = 0;
  std::thread threads[4];
  for (std::thread& t : threads) {
    t = std::thread([&] {
      for (int i = 0; i < 10000; ++i) {
        lock.enter();
        lock.enter();
        ++counter;
        lock.leave();
        lock.leave();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

TEST(Catalogue, RowsAreFoundInTableOrder) {
  const platform::MessageRow own[] = {{5, u"own"}, {7, u"seven"}};
  const platform::MessageRow shared[] = {{5, u"shared"}, {9, u"nine"}};
  const platform::MessageTable first = {own, 2};
  const platform::MessageTable second = {shared, 2};
  const platform::Module module = {"m", nullptr, {&first, &second, nullptr, nullptr}};
  EXPECT_EQ(std::u16string(platform::findMessage(&module, 5)), u"own");
  EXPECT_EQ(std::u16string(platform::findMessage(&module, 9)), u"nine");
  EXPECT_EQ(platform::findMessage(&module, 6), nullptr);
  char narrow[4];
  EXPECT_EQ(platform::loadStringNarrow(&module, 7, narrow, sizeof narrow), 3u);
  EXPECT_STREQ(narrow, "sev");
}

TEST(Files, KindsOfPaths) {
  char dir[] = "/tmp/ju-files-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/plain.txt";
  const std::string readOnly = std::string(dir) + "/locked.txt";
  for (const std::string& name : {file, readOnly}) std::fclose(std::fopen(name.c_str(), "w"));
  chmod(readOnly.c_str(), 0444);
  std::string backslashed = file;
  backslashed[std::string(dir).size()] = '\\';
  EXPECT_EQ(platform::fileKind(dir), platform::FileKind::kDirectory);
  EXPECT_EQ(platform::fileKind(file.c_str()), platform::FileKind::kFile);
  EXPECT_EQ(platform::fileKind(backslashed.c_str()), platform::FileKind::kFile);
  EXPECT_EQ(platform::fileKind(readOnly.c_str()), platform::FileKind::kReadOnlyFile);
  EXPECT_EQ(platform::fileKind((std::string(dir) + "/missing").c_str()), platform::FileKind::kMissing);
  EXPECT_EQ(platform::fileKind(nullptr), platform::FileKind::kMissing);
  std::remove(file.c_str());
  std::remove(readOnly.c_str());
  rmdir(dir);
}

}  // namespace
