// Whole-file reads, atomic replacement and the update lock on real files.

#include "platform/locked_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testing/files.h"

namespace {

namespace pf = platform;
using jutest::TempDir;

class LockedFileTest : public ::testing::Test {
 protected:
  // The file's text, or "<error n>".
  static std::string read(const std::string& path) {
    char* data = reinterpret_cast<char*>(&data);  // must be replaced
    size_t size = 99;
    const pf::ErrorNumber error = pf::readWholeFile(path.c_str(), &data, &size);
    if (error != pf::kErrorNone) {
      EXPECT_EQ(data, nullptr);
      EXPECT_EQ(size, 0u);
      return "<error " + std::to_string(error) + ">";
    }
    EXPECT_EQ(data[size], '\0');
    std::string text(data, size);
    std::free(data);
    return text;
  }

  TempDir dir_;
};

TEST_F(LockedFileTest, ReadWholeFile) {
  const std::string big(100000, 'b');
  const struct {
    std::string path;
    std::string expected;
    const char* note;
  } rows[] = {
      {dir_.write("a.txt", std::string("a\0b", 3)), std::string("a\0b", 3), "bytes, zeros too"},
      {dir_.write("empty", ""), "", "empty"},
      {dir_.write("big", big), big, "larger than any first guess"},
      {dir_.path() + "\\a.txt", std::string("a\0b", 3), "'\\' separates"},
      {dir_ / "missing", "<error 2>", "missing"},
      {dir_.path(), "<error 13>", "a directory"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(read(row.path), row.expected);
  }
  char* data = nullptr;
  size_t size = 0;
  EXPECT_EQ(pf::readWholeFile(nullptr, &data, &size), pf::kErrorInvalidArgument);
  EXPECT_EQ(pf::readWholeFile(rows[0].path.c_str(), nullptr, &size), pf::kErrorInvalidArgument);
}

TEST_F(LockedFileTest, ReplaceWritesANewFileWhole) {
  const std::string path = dir_ / "new.txt";
  ASSERT_EQ(pf::replaceFileAtomically(path.c_str(), "fresh", 5), pf::kErrorNone);
  EXPECT_EQ(read(path), "fresh");
  const mode_t mask = umask(0);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << "the process's default permissions";

  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(pf::replaceFileAtomically(path.c_str(), "", 0), pf::kErrorNone);
  EXPECT_EQ(read(path), "");
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the old file's permissions are kept";

  pf::setWriteLimitForTesting(2);
  const pf::ErrorNumber shortWrites = pf::replaceFileAtomically((dir_.path() + "\\new.txt").c_str(), "a longer text", 13);
  pf::setWriteLimitForTesting(0);
  EXPECT_EQ(shortWrites, pf::kErrorNone);
  EXPECT_EQ(read(path), "a longer text");
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"new.txt"}) << "no temporary file is left";
}

TEST_F(LockedFileTest, ReplaceFailuresLeaveTheOldFile) {
  const std::string sub = dir_.makeDir("sub");
  const struct {
    std::string path;
    pf::ErrorNumber expected;
    const char* note;
  } rows[] = {
      {dir_ / "missing/file", pf::kErrorNotFound, "no such directory"},
      {sub, pf::kErrorIsDirectory, "a directory"},
      {dir_ / std::string(5000, 'n'), pf::kErrorNameTooLong, "too long"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(pf::replaceFileAtomically(row.path.c_str(), "x", 1), row.expected);
  }
  EXPECT_EQ(pf::replaceFileAtomically(nullptr, "x", 1), pf::kErrorInvalidArgument);
  EXPECT_EQ(pf::replaceFileAtomically((dir_ / "f").c_str(), nullptr, 1), pf::kErrorInvalidArgument);
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"sub"});
  EXPECT_TRUE(dir_.entries("sub").empty());
}

TEST_F(LockedFileTest, WriterBuildsTheFileFromPieces) {
  const std::string path = dir_.write("pieces.bin", "old", 0640);
  {
    pf::AtomicFileWriter out;
    ASSERT_EQ(out.begin(path.c_str()), pf::kErrorNone);
    ASSERT_EQ(out.write("head-", 5), pf::kErrorNone);
    ASSERT_EQ(out.write("body-tail", 9), pf::kErrorNone);
    ASSERT_EQ(out.patch(5, "BODY", 4), pf::kErrorNone);
    EXPECT_EQ(out.written(), 14u);
    EXPECT_EQ(read(path), "old") << "nothing changes before the commit";
    ASSERT_EQ(out.commit(), pf::kErrorNone);
  }
  EXPECT_EQ(read(path), "head-BODY-tail");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the old file's permissions";

  const struct {
    uint64_t offset;
    size_t size;
    bool patched;
  } patches[] = {{0, 3, true}, {1, 3, false}, {3, 0, true}, {4, 0, false}, {UINT64_MAX, 1, false}};
  for (const auto& row : patches) {
    SCOPED_TRACE(row.offset);
    pf::AtomicFileWriter out;
    ASSERT_EQ(out.begin(path.c_str()), pf::kErrorNone);
    ASSERT_EQ(out.write("abc", 3), pf::kErrorNone);
    EXPECT_EQ(out.patch(row.offset, "xyz", row.size) == pf::kErrorNone, row.patched);
    // A failed patch discards; either way the destructor leaves the old file.
    EXPECT_EQ(out.commit() == pf::kErrorNone, row.patched);
    if (row.patched) {
      ASSERT_EQ(pf::replaceFileAtomically(path.c_str(), "head-BODY-tail", 14), pf::kErrorNone);
    }
  }
  {
    pf::AtomicFileWriter out;
    ASSERT_EQ(out.begin(path.c_str()), pf::kErrorNone);
    ASSERT_EQ(out.write("discarded", 9), pf::kErrorNone);
  }
  EXPECT_EQ(read(path), "head-BODY-tail");
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"pieces.bin"}) << "no temporary file left";
  pf::AtomicFileWriter out;
  EXPECT_EQ(out.write("x", 1), pf::kErrorInvalidArgument) << "not begun";
  EXPECT_EQ(out.begin((dir_ / "missing/x").c_str()), pf::kErrorNotFound);
}

TEST_F(LockedFileTest, LockStates) {
  const std::string path = dir_ / "data";
  pf::FileUpdateLock lock;
  EXPECT_FALSE(lock.held());
  lock.release();  // nothing held: nothing happens
  EXPECT_EQ(lock.acquire((dir_ / "missing/data").c_str()), pf::kErrorNotFound);
  EXPECT_FALSE(lock.held());
  ASSERT_EQ(lock.acquire(path.c_str()), pf::kErrorNone);
  EXPECT_TRUE(lock.held());
  EXPECT_EQ(lock.acquire(path.c_str()), pf::kErrorInvalidArgument) << "one file at a time";
  EXPECT_TRUE(jutest::pathExists(path + ".lock"));
  EXPECT_FALSE(jutest::pathExists(path)) << "the data file is not made";
  lock.release();
  lock.release();
  EXPECT_FALSE(lock.held());
  EXPECT_EQ(lock.acquire(nullptr), pf::kErrorInvalidArgument);
}

// Another process cannot take the lock while it is held. The child only
// opens the lock file and tries the lock without waiting.
TEST_F(LockedFileTest, LockExcludesOtherProcesses) {
  const std::string path = dir_ / "data";
  const std::string lockPath = path + ".lock";
  auto otherProcessGetsLock = [&] {
    const pid_t child = fork();
    if (child == 0) {
      const int fd = open(lockPath.c_str(), O_RDWR);
      _exit(fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  {
    pf::FileUpdateLock lock;
    ASSERT_EQ(lock.acquire(path.c_str()), pf::kErrorNone);
    EXPECT_FALSE(otherProcessGetsLock());
  }
  EXPECT_TRUE(otherProcessGetsLock()) << "released at the end of the scope";
}

// Read-modify-write of a counter by threads and a second process: with the
// lock no increment is lost.
void increment(const std::string& path, int times, int* failures) {
  for (int i = 0; i < times; ++i) {
    pf::FileUpdateLock lock;
    char* data = nullptr;
    size_t size = 0;
    if (lock.acquire(path.c_str()) != pf::kErrorNone || pf::readWholeFile(path.c_str(), &data, &size) != pf::kErrorNone) {
      ++*failures;
      continue;
    }
    const std::string next = std::to_string(std::atoi(data) + 1);
    std::free(data);
    if (pf::replaceFileAtomically(path.c_str(), next.data(), next.size()) != pf::kErrorNone) ++*failures;
  }
}

TEST_F(LockedFileTest, NoIncrementIsLost) {
  constexpr int kThreads = 4;
  constexpr int kTimes = 50;
  const std::string path = dir_.write("counter", "0");
  const pid_t child = fork();
  if (child == 0) {
    int failures = 0;
    increment(path, kTimes, &failures);
    _exit(failures == 0 ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int failures[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(increment, path, kTimes, &failures[t]);
  for (std::thread& thread : threads) thread.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const int count : failures) EXPECT_EQ(count, 0);
  EXPECT_EQ(read(path), std::to_string((kThreads + 1) * kTimes));
}

}  // namespace
