// File windows, each case in a child of its own (the guard is a process's for
// good): a store is the file's at once; a store into a window whose file was
// cut under it fails instead of faulting; every other SIGBUS still goes where
// it went before the guard; no SIGXFSZ past the file-size limit.

#include <gtest/gtest.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/file_mapping.h"
#include "platform/memory.h"
#include "testing/files.h"
#include "testing/temp_dir.h"

namespace {

const size_t kPage = platform::pageSize();
std::string folder;  // the test's temporary folder, for the children

// A file of two pages given space and mapped whole; exits 10 when it cannot.
struct MappedFile {
  platform::FileDescriptor fd = platform::kNoDescriptor;
  platform::FileWindow window;

  explicit MappedFile(const std::string& path) {
    if (platform::openFile(path.c_str(), platform::kOpenReadWrite | platform::kOpenCreate, &fd) != 0 ||
        platform::reserveFileSpace(fd, 0, 2 * kPage) != 0 || platform::mapFileWindow(fd, 0, 2 * kPage, &window) != 0) {
      _exit(10);
    }
  }
};

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

void install(void (*plain)(int), void (*info)(int, siginfo_t*, void*)) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_NODEFER | (info != nullptr ? SA_SIGINFO : 0);
  if (info != nullptr) action.sa_sigaction = info;
  else action.sa_handler = plain;
  sigaction(SIGBUS, &action, nullptr);
}

// Stores across a page boundary, read back through the file; then cut.
int storesAreTheFiles() {
  const std::string path = folder + "/s.log";
  MappedFile file(path);
  if (!platform::fileWindowGuardInPlace() || !platform::copyIntoFileWindow(file.window.address + kPage - 2, "abcd", 4)) {
    return 11;
  }
  std::string expected(2 * kPage, '\0');
  expected.replace(kPage - 2, 4, "abcd");
  if (jutest::readWholeFile(path) != expected || platform::setFileSize(file.fd, kPage + 2) != 0) return 12;
  return jutest::readWholeFile(path) == expected.substr(0, kPage + 2) ? 0 : 13;
}

// The host's handler (if any) goes in first, then the guard; a window over a
// file cut to nothing under it takes no store; then the host faults on its
// own store into the same window, which its handler sees once.
int cutWindow() {
  if (!platform::fileWindowGuardInPlace()) return 11;
  MappedFile file(folder + "/c" + std::to_string(getpid()));
  if (platform::setFileSize(file.fd, 0) != 0 || platform::copyIntoFileWindow(file.window.address + kPage, "x", 1)) {
    return 12;
  }
  if (sigsetjmp(hostRecovery, 1) == 0) *static_cast<volatile char*>(file.window.address + kPage) = 'y';
  return hostCalls == 1 ? 0 : 13;
}
int cutWindowInfoHost() { return install(nullptr, hostInfoHandler), cutWindow(); }
int cutWindowPlainHost() { return install(hostPlainHandler, nullptr), cutWindow(); }

int handlerInstalledLater() {
  if (!platform::fileWindowGuardInPlace()) return 11;
  install(hostPlainHandler, nullptr);
  return platform::fileWindowGuardInPlace() ? 12 : 0;
}

// Sent twice: an ignored signal stays ignored after the first.
int sentSignal() {
  if (!platform::fileWindowGuardInPlace()) return 11;
  kill(getpid(), SIGBUS);
  kill(getpid(), SIGBUS);
  return 0;
}
int sentSignalIgnored() { return signal(SIGBUS, SIG_IGN), sentSignal(); }

// SIGXFSZ keeps its default action here, which would end the child.
int spacePastTheLimit() {
  const rlimit limit = {4 * kPage, 4 * kPage};
  platform::FileDescriptor fd = platform::kNoDescriptor;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
      platform::openFile((folder + "/l.log").c_str(), platform::kOpenReadWrite | platform::kOpenCreate, &fd) != 0 ||
      platform::reserveFileSpace(fd, 0, 4 * kPage) != 0) {
    return 11;
  }
  return platform::reserveFileSpace(fd, kPage, 4 * kPage) == platform::kErrorFileTooLarge ? 0 : 12;
}

TEST(FileWindow, EachCaseInAChild) {
  jutest::TempDir dir;
  folder = dir.path();
  // The default action ends the child by SIGBUS; under a sanitizer its
  // runtime's handler came before ours and exits 1.
  const struct {
    const char* name;
    int (*body)();
    bool endsBySigbus;
  } rows[] = {
      {"stores are the file's", storesAreTheFiles, false},
      {"a cut window, no host handler", cutWindow, true},
      {"a cut window, an SA_SIGINFO host handler", cutWindowInfoHost, false},
      {"a cut window, a plain host handler", cutWindowPlainHost, false},
      {"a handler installed later takes the guard's place", handlerInstalledLater, false},
      {"a sent signal, default action", sentSignal, true},
      {"a sent signal, ignored", sentSignalIgnored, false},
      {"space past the file-size limit", spacePastTheLimit, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(row.body());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (row.endsBySigbus) {
      EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) || (WIFEXITED(status) && WEXITSTATUS(status) == 1))
          << status;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
  }
}

}  // namespace
