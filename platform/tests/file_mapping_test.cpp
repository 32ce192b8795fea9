// File windows: a store is the file's at once; a store into a window whose
// file was cut under it fails instead of faulting; every other SIGBUS still
// reaches the handler the host had before the guard, or ends the process as
// it would have without it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/file_mapping.h"
#include "testing/files.h"
#include "testing/temp_dir.h"

namespace {

const size_t kPage = platform::fileWindowAlignment();

// A file of two pages given space and mapped whole.
struct MappedFile {
  platform::FileDescriptor fd = platform::kNoDescriptor;
  platform::FileWindow window;

  explicit MappedFile(const std::string& path) {
    if (platform::openFile(path.c_str(), platform::kOpenReadWrite | platform::kOpenCreate, &fd) != 0 ||
        platform::reserveFileSpace(fd, 0, 2 * kPage) != 0 ||
        platform::mapFileWindow(fd, 0, 2 * kPage, &window) != 0) {
      window = platform::FileWindow{};
    }
  }
  ~MappedFile() {
    platform::unmapFileWindow(&window);
    if (fd != platform::kNoDescriptor) (void)platform::closeFile(fd);
  }
};

TEST(FileWindow, StoresAreTheFilesAtOnce) {
  jutest::TempDir dir;
  const std::string path = dir.path() + "/w.log";
  MappedFile file(path);
  ASSERT_NE(file.window.address, nullptr);
  // Across the page boundary, read back through the file, not the mapping.
  ASSERT_TRUE(platform::copyIntoFileWindow(file.window.address + kPage - 2, "abcd", 4));
  std::string expected(2 * kPage, '\0');
  expected.replace(kPage - 2, 4, "abcd");
  EXPECT_EQ(jutest::readWholeFile(path), expected);
  ASSERT_EQ(platform::setFileSize(file.fd, kPage + 2), 0);
  EXPECT_EQ(jutest::readWholeFile(path), expected.substr(0, kPage + 2));
}

// ---------------------------------------------------------------------------
// Faults, each in a child of its own: the guard is the process's for good,
// and this process never installs it.
// ---------------------------------------------------------------------------

enum class Host { kNoHandler, kInfoHandler, kPlainHandler };

sigjmp_buf hostRecovery;
volatile sig_atomic_t hostCalls = 0;

void hostInfoHandler(int, siginfo_t*, void*) {
  ++hostCalls;
  siglongjmp(hostRecovery, 1);
}
void hostPlainHandler(int) {
  ++hostCalls;
  siglongjmp(hostRecovery, 1);
}

void installHostHandler(Host host) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_NODEFER;
  if (host == Host::kInfoHandler) {
    action.sa_flags |= SA_SIGINFO;
    action.sa_sigaction = hostInfoHandler;
  } else {
    action.sa_handler = hostPlainHandler;
  }
  sigaction(SIGBUS, &action, nullptr);
}

// The host's handler (if any) goes in first, then the guard; a window over a
// file cut to nothing under it takes no store; then the host faults on its
// own store into the same window. Exits 0 when the host's handler saw that
// fault once; 10-12 at the step that went wrong.
[[noreturn]] void faultInChild(Host host, const std::string& path) {
  if (host != Host::kNoHandler) installHostHandler(host);
  if (!platform::fileWindowGuardInPlace()) _exit(10);
  MappedFile file(path);
  if (file.window.address == nullptr || platform::setFileSize(file.fd, 0) != 0) _exit(10);
  if (platform::copyIntoFileWindow(file.window.address + kPage, "x", 1)) _exit(11);
  if (sigsetjmp(hostRecovery, 1) == 0) {
    *static_cast<volatile char*>(file.window.address + kPage) = 'y';
    _exit(12);
  }
  _exit(hostCalls == 1 ? 0 : 12);
}

TEST(FileWindow, AFaultOutsideTheGuardedCopyGoesWhereItWouldHave) {
  jutest::TempDir dir;
  const struct {
    Host host;
    bool hostHandles;
  } rows[] = {{Host::kNoHandler, false}, {Host::kInfoHandler, true}, {Host::kPlainHandler, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.host));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) faultInChild(row.host, dir.path() + "/f" + std::to_string(static_cast<int>(row.host)));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (row.hostHandles) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
      // The default action; under a sanitizer its runtime's report, exit 1.
      EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) ||
                  (WIFEXITED(status) && WEXITSTATUS(status) == 1))
          << status;
    }
  }
}

TEST(FileWindow, AHandlerInstalledAfterTheGuardTakesItsPlace) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!platform::fileWindowGuardInPlace()) _exit(10);
    installHostHandler(Host::kPlainHandler);
    _exit(platform::fileWindowGuardInPlace() ? 11 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A SIGBUS sent rather than raised by a fault keeps the disposition the host
// gave it: ignored, or the default action.
TEST(FileWindow, ASentSignalKeepsTheHostsDisposition) {
  for (const bool ignored : {true, false}) {
    SCOPED_TRACE(ignored);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (ignored) signal(SIGBUS, SIG_IGN);
      if (!platform::fileWindowGuardInPlace()) _exit(10);
      // Twice: an ignored signal stays ignored after the first.
      kill(getpid(), SIGBUS);
      kill(getpid(), SIGBUS);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (ignored) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
      // Under a sanitizer its runtime's handler was the one before: exit 1.
      EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) ||
                  (WIFEXITED(status) && WEXITSTATUS(status) == 1))
          << status;
    }
  }
}

// Space past the file-size limit is refused, not answered with SIGXFSZ
// (left at its default action here, which would end the child).
TEST(FileWindow, SpacePastTheFileSizeLimitIsRefused) {
  jutest::TempDir dir;
  const std::string path = dir.path() + "/l.log";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit = {4 * kPage, 4 * kPage};
    platform::FileDescriptor fd = platform::kNoDescriptor;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
        platform::openFile(path.c_str(), platform::kOpenReadWrite | platform::kOpenCreate, &fd) != 0) {
      _exit(10);
    }
    if (platform::reserveFileSpace(fd, 0, 4 * kPage) != platform::kErrorNone) _exit(11);
    _exit(platform::reserveFileSpace(fd, kPage, 4 * kPage) == platform::kErrorFileTooLarge ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
