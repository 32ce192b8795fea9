// Opening addresses: the seam, and the real opener replaced by a script on
// PATH that writes down how it was called.

#include "platform/browser.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void record(const char* address, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(address);
}

TEST(Browser, TheSeamRecordsInsteadOfOpening) {
  std::vector<std::string> addresses;
  platform::setAddressRecorderForTesting(&record, &addresses);
  EXPECT_TRUE(platform::openAddress("https://docs.vrtools.example/bundle/a.html"));
  EXPECT_FALSE(platform::openAddress(""));
  EXPECT_FALSE(platform::openAddress(nullptr));
  platform::setAddressRecorderForTesting(nullptr, nullptr);
  ASSERT_EQ(addresses.size(), 1u);
  EXPECT_EQ(addresses[0], "https://docs.vrtools.example/bundle/a.html");
}

// Processes whose parent is this one, zombies included.
std::vector<int> children() {
  std::vector<int> out;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return out;
  const int self = getpid();
  while (dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...: comm may hold blanks, so read after ')'.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    if (parent == self) out.push_back(pid);
  }
  closedir(proc);
  return out;
}

// A fake xdg-open first on PATH; it writes its argument count and arguments
// to $FAKE_OPENER_OUT, then lingers as a browser would.
class FakeOpener : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/browser_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    out_ = dir_ + "/called";
    const std::string script = dir_ + "/xdg-open";
    std::ofstream(script) << "#!/bin/sh\n"
                             "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$FAKE_OPENER_OUT.tmp\"\n"
                             "mv \"$FAKE_OPENER_OUT.tmp\" \"$FAKE_OPENER_OUT\"\n"
                             "sleep 2\n";
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    const char* path = std::getenv("PATH");
    savedPath_ = path == nullptr ? "" : path;
    setenv("PATH", (dir_ + ":" + savedPath_).c_str(), 1);
    setenv("FAKE_OPENER_OUT", out_.c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    unsetenv("FAKE_OPENER_OUT");
    std::remove(out_.c_str());
    std::remove((dir_ + "/xdg-open").c_str());
    std::remove((dir_ + "/pwned").c_str());
    rmdir(dir_.c_str());
  }

  // The lines the fake wrote, once it has written them (up to 10 s).
  std::vector<std::string> waitForCall() {
    for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end;) {
      std::ifstream in(out_);
      if (in) {
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }

  std::string dir_, out_, savedPath_;
};

TEST_F(FakeOpener, TheAddressIsOneArgumentAndNoShellSeesIt) {
  const std::string address = "https://x.example/a b;touch " + dir_ + "/pwned;$(touch " + dir_ +
                              "/pwned)'\"&x=`id`";
  const auto start = Clock::now();
  ASSERT_TRUE(platform::openAddress(address.c_str()));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1)) << "waited for the opener";
  const std::vector<std::string> lines = waitForCall();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "1");
  EXPECT_EQ(lines[1], address);
  struct stat st;
  EXPECT_NE(stat((dir_ + "/pwned").c_str(), &st), 0) << "a shell ran the address";
}

TEST_F(FakeOpener, TheOpenerLeavesNoZombie) {
  ASSERT_TRUE(platform::openAddress("https://x.example/"));
  ASSERT_EQ(waitForCall().size(), 2u);
  EXPECT_FALSE(children().empty()) << "the opener lingers for two seconds";
  bool gone = false;
  for (auto end = Clock::now() + std::chrono::seconds(15); !gone && Clock::now() < end;) {
    gone = children().empty();
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(gone) << "the opener was not collected";
}

TEST_F(FakeOpener, AMissingOpenerIsAFailure) {
  setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(platform::openAddress("https://x.example/"));
}

}  // namespace
