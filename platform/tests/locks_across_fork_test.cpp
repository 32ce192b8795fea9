// Locks across fork: no plain mutex in the libraries' sources, and a child
// forked while another thread works in a subsystem finishes its own call.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ansi.h"
#include "platform/browser.h"
#include "platform/dialogs/model.h"
#include "platform/library.h"
#include "platform/profile/registry.h"
#include "testing/process.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace reg = platform::registry;

// Only the lock's own implementation may name the system's locks; tests may
// use them for their own threads.
TEST(LocksAcrossFork, NoPlainMutexInTheSources) {
  const std::regex plain("std::(recursive_|timed_|recursive_timed_|shared_|shared_timed_)?mutex|"
                         "std::condition_variable|pthread_(mutex|rwlock|spin|cond)_");
  const fs::path top = JU_SOURCE_DIR;
  const std::vector<fs::path> lockItself = {top / "platform/include/platform/lock.h", top / "platform/src/lock.cpp"};
  std::vector<std::string> found;
  size_t files = 0;
  for (const char* component : {"platform", "julib", "winodbctrace", "misc"}) {
    for (fs::recursive_directory_iterator it(top / component), end; it != end; ++it) {
      if (it->is_directory() && it->path().filename() == "tests") it.disable_recursion_pending();
      const std::string extension = it->path().extension().string();
      if ((extension != ".h" && extension != ".cpp" && extension != ".inc") || it->path() == lockItself[0] ||
          it->path() == lockItself[1]) {
        continue;
      }
      ++files;
      std::ifstream in(it->path());
      std::string line;
      for (int number = 1; std::getline(in, line); ++number) {
        if (std::regex_search(line, plain)) found.push_back(it->path().string() + ":" + std::to_string(number));
      }
    }
  }
  EXPECT_GT(files, 100u);
  EXPECT_EQ(found, std::vector<std::string>{});
}

// A thread calls each subsystem without pause while the main thread forks;
// each child calls it once. A child that finds a lock held by a thread it
// does not have never ends: it is killed after three seconds and counts as
// hung (a subsystem stops at three).
TEST(LocksAcrossFork, ChildrenOfABusyProcessFinish) {
  jutest::TempDir store;
  reg::setDirectoryForTesting(store.path().c_str());
  ASSERT_EQ(reg::setString(reg::rootKey(reg::Root::kCurrentUser), u"v", u"1"), reg::Status::kOk);
  platform::setAddressRecorderForTesting([](const char*, void*) {}, nullptr);
  const struct {
    const char* name;
    bool (*call)();  // true when the subsystem answered as it should
  } subsystems[] = {
      {"converter pool",
       [] {
         char16_t out[4];
         return platform::multiByteToWide(1252, "\xE9", 1, out, 4) == 1 && out[0] == u'\u00E9';
       }},
      {"code page tables", [] { return platform::setAnsiCodePage(1252); }},
      {"registry store (a listing keeps the snapshot)",
       [] {
         char16_t name[4];
         size_t units = 4;
         return reg::enumValue(reg::rootKey(reg::Root::kCurrentUser), 0, name, &units, nullptr) == reg::Status::kOk;
       }},
      {"address recorder", [] { return platform::openAddress("https://example.org/"); }},
      {"library fakes", [] { return platform::fakeLibraryLoads("fake.dll") == 0; }},
      {"dialog model", [] { return platform::dialogs::textLength(nullptr) == 0; }},
  };
  for (const auto& subsystem : subsystems) {
    SCOPED_TRACE(subsystem.name);
    ASSERT_TRUE(subsystem.call());
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread busy([&] {
      while (!stop.load(std::memory_order_relaxed)) wrong += subsystem.call() ? 0 : 1;
    });
    int hung = 0, failed = 0;
    for (int i = 0; i < 100 && hung < 3; ++i) {
      const pid_t child = fork();
      if (child == 0) _exit(subsystem.call() ? 0 : 1);
      const int status = child > 0 ? jutest::exitStatusWithin(child) : 1;
      hung += status == -1 ? 1 : 0;
      failed += status > 0 ? 1 : 0;
    }
    stop = true;
    busy.join();
    EXPECT_EQ(hung, 0);
    EXPECT_EQ(failed + wrong.load(), 0);
  }
  platform::setAddressRecorderForTesting(nullptr, nullptr);
  reg::setDirectoryForTesting(nullptr);
}

}  // namespace
