// The platform's file services on real files in a temporary folder.

#include "platform/files.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "testing/files.h"

namespace {

using jutest::pathExists;
using jutest::readWholeFile;
using jutest::ScopedEnv;
using jutest::TempDir;
namespace pf = platform;

TEST(PlatformErrors, RuntimeNumbers) {
  const struct {
    int systemErrno;
    pf::ErrorNumber expected;
  } rows[] = {
      {ENOENT, 2},     {EBADF, 9},   {ENOMEM, 12}, {EACCES, 13},  {EEXIST, 17},       {EISDIR, 21},   {EMFILE, 24},
      {EFBIG, 27},     {ENOSPC, 28}, {ERANGE, 34}, {EDEADLK, 36}, {ENAMETOOLONG, 38}, {ENOLCK, 39},   {ENOSYS, 40},
      {ENOTEMPTY, 41}, {EILSEQ, 42}, {EDQUOT, 28}, {ELOOP, 114},  {EOVERFLOW, 132},   {ETXTBSY, 139}, {0, 0},
      {EPERM, 1},      {EIO, 5},     {EAGAIN, 11}, {ESPIPE, 29},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.systemErrno);
    EXPECT_EQ(pf::errorNumberOf(row.systemErrno), row.expected);
  }
}

class PlatformFilesTest : public ::testing::Test {
 protected:
  pf::FileDescriptor open(const std::string& path, uint32_t options, pf::ErrorNumber expected = pf::kErrorNone) {
    pf::FileDescriptor descriptor = 12345;
    EXPECT_EQ(pf::openFile(path.c_str(), options, &descriptor), expected) << path;
    EXPECT_EQ(descriptor == pf::kNoDescriptor, expected != pf::kErrorNone);
    return descriptor;
  }
  void close(pf::FileDescriptor descriptor) { EXPECT_EQ(pf::closeFile(descriptor), pf::kErrorNone); }

  TempDir dir_;
};

TEST_F(PlatformFilesTest, OpenOutcomes) {
  const std::string file = dir_.write("f.txt", "abc");
  const std::string sub = dir_.makeDir("sub");
  const struct {
    std::string path;
    uint32_t options;
    pf::ErrorNumber expected;
    const char* note;
  } rows[] = {
      {file, 0, pf::kErrorNone, "read"},
      {dir_.path() + "\\f.txt", 0, pf::kErrorNone, "backslash separator"},
      {dir_ / "missing", 0, pf::kErrorNotFound, "missing"},
      {sub, 0, pf::kErrorAccessDenied, "a directory"},
      {sub, pf::kOpenReadWrite, pf::kErrorIsDirectory, "a directory for writing"},
      {file, pf::kOpenReadWrite | pf::kOpenCreate | pf::kOpenExclusive, pf::kErrorExists, "exclusive"},
      {dir_ / "missing/x", pf::kOpenReadWrite | pf::kOpenCreate, pf::kErrorNotFound, "missing directory"},
      {std::string(5000, 'n'), 0, pf::kErrorNameTooLong, "longer than the system takes"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const pf::FileDescriptor descriptor = open(row.path, row.options, row.expected);
    if (descriptor != pf::kNoDescriptor) close(descriptor);
  }
  pf::FileDescriptor descriptor = 0;
  EXPECT_EQ(pf::openFile(nullptr, 0, &descriptor), pf::kErrorInvalidArgument);
  EXPECT_EQ(pf::openFile(file.c_str(), 0, nullptr), pf::kErrorInvalidArgument);
}

TEST_F(PlatformFilesTest, TruncateOnlyWhenWriting) {
  const std::string file = dir_.write("t.txt", "abc");
  close(open(file, pf::kOpenTruncate));
  EXPECT_EQ(readWholeFile(file), "abc");
  close(open(file, pf::kOpenTruncate | pf::kOpenReadWrite));
  EXPECT_EQ(readWholeFile(file), "");
}

TEST_F(PlatformFilesTest, CreatedReadOnly) {
  const std::string file = dir_ / "ro.txt";
  const pf::FileDescriptor descriptor = open(file, pf::kOpenReadWrite | pf::kOpenCreate | pf::kOpenCreateReadOnly);
  size_t done = 0;
  EXPECT_EQ(pf::writeFile(descriptor, "ok", 2, &done), pf::kErrorNone);
  close(descriptor);
  EXPECT_EQ(pf::fileKind(file.c_str()), pf::FileKind::kReadOnlyFile);
  // Opening an existing file does not change its permission.
  const std::string plain = dir_.write("plain.txt", "");
  close(open(plain, pf::kOpenReadWrite | pf::kOpenCreate | pf::kOpenCreateReadOnly));
  EXPECT_EQ(pf::fileKind(plain.c_str()), pf::FileKind::kFile);
}

TEST_F(PlatformFilesTest, DeleteOnCloseRemovesTheName) {
  const std::string file = dir_.write("d.txt", "data");
  const pf::FileDescriptor descriptor = open(file, pf::kOpenDeleteOnClose);
  EXPECT_FALSE(pathExists(file));
  char buffer[8] = {};
  size_t done = 0;
  EXPECT_EQ(pf::readFile(descriptor, buffer, sizeof buffer, &done), pf::kErrorNone);
  EXPECT_EQ(std::string(buffer, done), "data");
  close(descriptor);
  // In a directory that does not let the name go, the open fails.
  if (geteuid() != 0) {
    const std::string locked = dir_.makeDir("locked");
    const std::string inside = dir_.write("locked/x", "");
    chmod(locked.c_str(), 0555);
    open(inside, pf::kOpenDeleteOnClose, pf::kErrorAccessDenied);
    EXPECT_TRUE(pathExists(inside));
  }
}

TEST_F(PlatformFilesTest, SharingLocks) {
  const std::string file = dir_.write("s.txt", "");
  const pf::FileDescriptor all = open(file, pf::kOpenDenyAll);
  open(file, pf::kOpenDenyWriters, pf::kErrorLocked);
  open(file, pf::kOpenDenyAll | pf::kOpenDenyWriters, pf::kErrorLocked);
  close(open(file, pf::kOpenReadWrite));
  close(all);
  const pf::FileDescriptor writers = open(file, pf::kOpenDenyWriters);
  close(open(file, pf::kOpenDenyWriters));
  open(file, pf::kOpenDenyAll, pf::kErrorLocked);
  close(writers);
}

TEST_F(PlatformFilesTest, ReadWriteSeek) {
  const std::string file = dir_ / "rw.bin";
  const pf::FileDescriptor descriptor = open(file, pf::kOpenReadWrite | pf::kOpenCreate);
  size_t done = 0;
  EXPECT_EQ(pf::writeFile(descriptor, "0123456789", 10, &done), pf::kErrorNone);
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(pf::seekFile(descriptor, 4), pf::kErrorNone);
  char buffer[16] = {};
  EXPECT_EQ(pf::readFile(descriptor, buffer, 3, &done), pf::kErrorNone);
  EXPECT_EQ(std::string(buffer, done), "456");
  EXPECT_EQ(pf::readFile(descriptor, buffer, sizeof buffer, &done), pf::kErrorNone);
  EXPECT_EQ(std::string(buffer, done), "789");
  EXPECT_EQ(pf::readFile(descriptor, buffer, sizeof buffer, &done), pf::kErrorNone);
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(pf::seekFile(descriptor, uint64_t{1} << 63), pf::kErrorInvalidArgument);
  EXPECT_EQ(pf::seekFile(descriptor, (uint64_t{1} << 32) + 1), pf::kErrorNone);  // beyond the end is allowed
  EXPECT_EQ(pf::readFile(descriptor, buffer, sizeof buffer, &done), pf::kErrorNone);
  EXPECT_EQ(done, 0u);

  // The test seam cuts every write short.
  EXPECT_EQ(pf::seekFile(descriptor, 0), pf::kErrorNone);
  pf::setWriteLimitForTesting(3);
  const pf::ErrorNumber limited = pf::writeFile(descriptor, "abcdefgh", 8, &done);
  pf::setWriteLimitForTesting(0);
  EXPECT_EQ(limited, pf::kErrorNone);
  EXPECT_EQ(done, 3u);
  close(descriptor);
  EXPECT_EQ(readWholeFile(file), "abc3456789");

  EXPECT_EQ(pf::readFile(descriptor, buffer, 1, &done), pf::kErrorBadDescriptor);
  EXPECT_EQ(pf::writeFile(-1, "x", 1, &done), pf::kErrorBadDescriptor);
  EXPECT_EQ(pf::closeFile(-1), pf::kErrorBadDescriptor);
}

TEST_F(PlatformFilesTest, WriteWholeGoesOnThroughShortWrites) {
  const std::string file = dir_ / "whole.bin";
  const pf::FileDescriptor descriptor = open(file, pf::kOpenReadWrite | pf::kOpenCreate);
  pf::setWriteLimitForTesting(3);
  const pf::ErrorNumber written = pf::writeWhole(descriptor, "0123456789", 10);
  pf::setWriteLimitForTesting(0);
  EXPECT_EQ(written, pf::kErrorNone);
  close(descriptor);
  EXPECT_EQ(readWholeFile(file), "0123456789");
  EXPECT_EQ(pf::writeWhole(-1, "x", 1), pf::kErrorBadDescriptor);
}

// Past the process's file-size limit a write fails and no SIGXFSZ reaches
// the process, whose default action would end it; one the process held
// back and had pending already stays pending. Each row in a child, with a
// limit of 100 bytes.
TEST_F(PlatformFilesTest, TheSizeLimitFailsAWriteWithoutASignal) {
  const struct {
    const char* note;
    bool held;     // the process holds SIGXFSZ back itself
    bool pending;  // ... and has one pending
  } rows[] = {{"default action", false, false}, {"held back", true, false}, {"held back, one pending", true, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const std::string file = dir_ / (std::string(row.note) + ".log");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      sigset_t xfsz, pending;
      sigemptyset(&xfsz);
      sigaddset(&xfsz, SIGXFSZ);
      if (row.held) sigprocmask(SIG_BLOCK, &xfsz, nullptr);
      if (row.pending) raise(SIGXFSZ);
      const rlimit limit = {100, RLIM_INFINITY};
      pf::FileDescriptor fd = pf::kNoDescriptor;
      size_t written = 0, second = 1;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
          pf::openFile(file.c_str(), pf::kOpenWriteOnly | pf::kOpenCreate | pf::kOpenAppend, &fd) != 0) {
        _exit(10);
      }
      const std::string text(300, 'x');
      if (pf::writeWhole(fd, text.data(), text.size(), &written) != pf::kErrorFileTooLarge || written != 100 ||
          pf::writeWhole(fd, text.data(), 1, &second) != pf::kErrorFileTooLarge || second != 0) {
        _exit(11);
      }
      sigpending(&pending);
      _exit(sigismember(&pending, SIGXFSZ) == (row.pending ? 1 : 0) ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readWholeFile(file), std::string(100, 'x'));
  }
}

// A write that failed part way is taken back while it is the file's end;
// after another writer's bytes it stays. A cut never lengthens a file.
TEST_F(PlatformFilesTest, TakeBackLastWriteAndCut) {
  const std::string file = dir_ / "take.log";
  const pf::FileDescriptor mine = open(file, pf::kOpenWriteOnly | pf::kOpenCreate | pf::kOpenAppend);
  const pf::FileDescriptor theirs = open(file, pf::kOpenWriteOnly | pf::kOpenAppend);
  EXPECT_EQ(pf::writeWhole(mine, "kept\ncut", 8), pf::kErrorNone);
  EXPECT_TRUE(pf::takeBackLastWrite(mine, 3));
  EXPECT_EQ(readWholeFile(file), "kept\n");
  EXPECT_EQ(pf::writeWhole(mine, "cut", 3), pf::kErrorNone);
  EXPECT_EQ(pf::writeWhole(theirs, "their\n", 6), pf::kErrorNone);
  EXPECT_FALSE(pf::takeBackLastWrite(mine, 3));
  EXPECT_EQ(readWholeFile(file), "kept\ncuttheir\n");
  EXPECT_EQ(pf::cutFile(mine, 100), pf::kErrorNone);
  EXPECT_EQ(pf::cutFile(mine, 4), pf::kErrorNone);
  EXPECT_EQ(readWholeFile(file), "kept");
  char last = 0;
  size_t done = 0;
  const pf::FileDescriptor reader = open(file, 0);
  EXPECT_EQ(pf::readFileAt(reader, 3, &last, 1, &done), pf::kErrorNone);
  EXPECT_EQ(std::string(&last, done), "t");
  close(reader);
  close(theirs);
  close(mine);
}

TEST_F(PlatformFilesTest, RemoveAndRename) {
  const std::string a = dir_.write("a", "a");
  const std::string b = dir_.write("b", "b");
  const std::string sub = dir_.makeDir("sub");
  EXPECT_EQ(pf::renameFile(a.c_str(), b.c_str()), pf::kErrorExists);
  EXPECT_EQ(readWholeFile(b), "b");
  EXPECT_EQ(pf::renameFile(a.c_str(), sub.c_str()), pf::kErrorExists);
  EXPECT_EQ(pf::renameFile(a.c_str(), (dir_.path() + "\\c").c_str()), pf::kErrorNone);
  EXPECT_EQ(readWholeFile(dir_ / "c"), "a");
  EXPECT_EQ(pf::renameFile(a.c_str(), (dir_ / "d").c_str()), pf::kErrorNotFound);

  EXPECT_EQ(pf::removeFile(b.c_str()), pf::kErrorNone);
  EXPECT_FALSE(pathExists(b));
  EXPECT_EQ(pf::removeFile(b.c_str()), pf::kErrorNotFound);
  EXPECT_EQ(pf::removeFile(sub.c_str()), pf::kErrorIsDirectory);
  EXPECT_EQ(pf::removeFile((dir_ / "c/x").c_str()), pf::kErrorNotDirectory);
  EXPECT_EQ(pf::removeFile(nullptr), pf::kErrorInvalidArgument);
}

TEST_F(PlatformFilesTest, ReplaceByRename) {
  const std::string a = dir_.write("a", "new");
  const std::string b = dir_.write("b", "old");
  EXPECT_EQ(pf::replaceFile(a.c_str(), dir_.makeDir("sub").c_str()), pf::kErrorIsDirectory);
  EXPECT_EQ(pf::replaceFile(a.c_str(), (dir_.path() + "\\b").c_str()), pf::kErrorNone);
  EXPECT_EQ(readWholeFile(b), "new");
  EXPECT_EQ(pf::replaceFile(a.c_str(), b.c_str()), pf::kErrorNotFound);
  EXPECT_EQ(readWholeFile(b), "new");
}

TEST_F(PlatformFilesTest, ListDirectory) {
  (void)dir_.write("a.dll", "a");
  (void)dir_.makeDir("tools");
  ASSERT_EQ(symlink((dir_ / "tools").c_str(), (dir_ / "link").c_str()), 0);
  std::map<std::string, bool> seen;
  auto collect = [](const char* name, bool isDirectory, void* context) {
    (*static_cast<std::map<std::string, bool>*>(context))[name] = isDirectory;
    return true;
  };
  EXPECT_EQ(pf::listDirectory((dir_.path() + "\\").c_str(), collect, &seen), pf::kErrorNone);
  EXPECT_EQ(seen, (std::map<std::string, bool>{{"a.dll", false}, {"link", true}, {"tools", true}}));

  int visits = 0;
  auto first = [](const char*, bool, void* context) { return ++*static_cast<int*>(context) < 1; };
  EXPECT_EQ(pf::listDirectory(dir_.path().c_str(), first, &visits), pf::kErrorNone);
  EXPECT_EQ(visits, 1);  // the visitor ended the walk
  EXPECT_EQ(pf::listDirectory((dir_ / "a.dll").c_str(), collect, &seen), pf::kErrorNotDirectory);
  EXPECT_EQ(pf::listDirectory((dir_ / "missing").c_str(), collect, &seen), pf::kErrorNotFound);
}

TEST_F(PlatformFilesTest, SyncOutcomes) {
  const std::string file = dir_.write("a", "bytes", 0444);  // read-only files are flushed too
  const struct {
    const char* path;
    pf::ErrorNumber expected;
  } rows[] = {{file.c_str(), pf::kErrorNone}, {"missing/a", pf::kErrorNotFound}, {nullptr, pf::kErrorInvalidArgument}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path != nullptr ? row.path : "null");
    EXPECT_EQ(pf::syncFile(row.path), row.expected);
  }
  EXPECT_EQ(readWholeFile(file), "bytes");
}

TEST_F(PlatformFilesTest, WriteTimes) {
  const std::string a = dir_.write("a", "a");
  // 1970 itself, a time before it, one with nanoseconds; then a bad one.
  for (const pf::FileTime time : {pf::FileTime{0, 0}, pf::FileTime{-86400, 999999999}, pf::FileTime{1700000000, 25}}) {
    SCOPED_TRACE(time.seconds);
    struct stat before, after;
    ASSERT_EQ(stat(a.c_str(), &before), 0);
    EXPECT_EQ(pf::setFileWriteTime(a.c_str(), time), pf::kErrorNone);
    pf::FileTime read;
    EXPECT_EQ(pf::fileWriteTime(a.c_str(), &read), pf::kErrorNone);
    EXPECT_EQ(std::pair(read.seconds, read.nanoseconds), std::pair(time.seconds, time.nanoseconds));
    ASSERT_EQ(stat(a.c_str(), &after), 0);
    EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);  // the access time stays
  }
  EXPECT_EQ(pf::setFileWriteTime(a.c_str(), {5, 1000000000}), pf::kErrorInvalidArgument);
  pf::FileTime unused;
  EXPECT_EQ(pf::fileWriteTime((dir_ / "missing").c_str(), &unused), pf::kErrorNotFound);
  EXPECT_EQ(pf::setFileWriteTime((dir_ / "missing").c_str(), {1, 0}), pf::kErrorNotFound);
}

TEST_F(PlatformFilesTest, TemporaryDirectory) {
  const struct {
    const char* value;  // null: unset
    const char* expected;
  } rows[] = {
      {nullptr, "/tmp/"}, {"", "/tmp/"}, {"/var/x", "/var/x/"}, {"/var/x/", "/var/x/"}, {"rel", "rel/"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value != nullptr ? row.value : "unset");
    const ScopedEnv tmp("TMPDIR", row.value != nullptr ? std::optional<std::string>(row.value) : std::nullopt);
    const size_t n = std::strlen(row.expected);
    std::vector<char> buffer(n + 1, '#');
    EXPECT_EQ(pf::temporaryDirectory(buffer.data(), n + 1), n);
    EXPECT_STREQ(buffer.data(), row.expected);
    EXPECT_EQ(pf::temporaryDirectory(buffer.data(), n), 0u);
    EXPECT_EQ(buffer[0], '\0');
  }
  EXPECT_EQ(pf::temporaryDirectory(nullptr, 10), 0u);
}

TEST_F(PlatformFilesTest, TemporaryFiles) {
  const size_t needed = dir_.path().size() + 1 + 3 + 6 + 1;  // directory, '/', "pre", six, NUL
  std::vector<char> name(needed, '#');
  EXPECT_EQ(pf::createTemporaryFile((dir_.path() + "/").c_str(), "pre", name.data(), needed - 1),
            pf::kErrorNameTooLong);
  EXPECT_TRUE(dir_.entries().empty());
  EXPECT_EQ(pf::createTemporaryFile(dir_.path().c_str(), "pre", name.data(), needed), pf::kErrorNone);
  const std::string made = name.data();
  EXPECT_EQ(made.rfind(dir_.path() + "/pre", 0), 0u);
  EXPECT_EQ(made.size(), needed - 1);
  EXPECT_EQ(pf::fileKind(made.c_str()), pf::FileKind::kFile);
  EXPECT_EQ(readWholeFile(made), "");

  // A backslash directory reaches the system with '/'.
  dir_.makeDir("sub");
  std::vector<char> other(needed + 8);
  EXPECT_EQ(pf::createTemporaryFile((dir_.path() + "\\sub\\").c_str(), "ju", other.data(), other.size()),
            pf::kErrorNone);
  EXPECT_EQ(std::string(other.data()).rfind(dir_.path() + "/sub/ju", 0), 0u);
  EXPECT_EQ(pf::createTemporaryFile((dir_ / "none").c_str(), "ju", other.data(), other.size()), pf::kErrorNotFound);
}

TEST_F(PlatformFilesTest, CurrentDirectory) {
  const jutest::ScopedCurrentDirectory cwd(dir_.path());
  const size_t n = dir_.path().size();
  std::vector<char> buffer(n + 1);
  EXPECT_EQ(pf::currentDirectory(buffer.data(), n + 1), pf::kErrorNone);
  EXPECT_EQ(std::string(buffer.data()), dir_.path());
  EXPECT_EQ(pf::currentDirectory(buffer.data(), n), pf::kErrorRange);
  EXPECT_EQ(pf::currentDirectory(buffer.data(), 0), pf::kErrorRange);
}

TEST(PlatformEnvironment, Variables) {
  const ScopedEnv set("JU_PLATFORM_VAR", "abc");
  const ScopedEnv unset("JU_PLATFORM_NONE", std::nullopt);
  char buffer[8] = "#######";
  EXPECT_EQ(pf::environmentVariable("JU_PLATFORM_VAR", buffer, 3), 3u);
  EXPECT_EQ(buffer[0], '#');  // does not fit: not copied
  EXPECT_EQ(pf::environmentVariable("JU_PLATFORM_VAR", buffer, 4), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(pf::environmentVariable("JU_PLATFORM_VAR", nullptr, 0), 3u);
  EXPECT_EQ(pf::environmentVariable("JU_PLATFORM_NONE", buffer, sizeof buffer), pf::kNoVariable);
  EXPECT_EQ(pf::environmentVariable(nullptr, buffer, sizeof buffer), pf::kNoVariable);
  EXPECT_EQ(pf::pathListSeparator(), ':');
}

TEST(PlatformNames, HostAndUser) {
  char expected[256] = {};
  ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
  const size_t n = std::strlen(expected);
  std::vector<char> buffer(n + 1);
  EXPECT_EQ(pf::hostName(buffer.data(), n + 1), pf::kErrorNone);
  EXPECT_STREQ(buffer.data(), expected);
  EXPECT_EQ(pf::hostName(buffer.data(), n), pf::kErrorRange);

  const passwd* entry = getpwuid(geteuid());
  if (entry == nullptr) GTEST_SKIP() << "no password entry";
  const size_t m = std::strlen(entry->pw_name);
  std::vector<char> user(m + 1);
  EXPECT_EQ(pf::userName(user.data(), m + 1), pf::kErrorNone);
  EXPECT_STREQ(user.data(), entry->pw_name);
  EXPECT_EQ(pf::userName(user.data(), m), pf::kErrorRange);
  EXPECT_EQ(pf::userName(nullptr, 10), pf::kErrorRange);
}

}  // namespace
