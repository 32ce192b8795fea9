// Helpers for tests of processes and limits (platform level: no component's
// code): waiting for a forked child with a time limit, and the process's
// file-size limit for a scope.
#ifndef TESTING_PROCESS_H
#define TESTING_PROCESS_H

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace jutest {

// The child's exit status, or -1 when it did not exit within three seconds
// (it is killed then) or ended by a signal.
inline int exitStatusWithin(pid_t child) {
  int status = 0;
  for (int ms = 0; waitpid(child, &status, WNOHANG) == 0; ++ms) {
    if (ms == 3000) kill(child, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The process's file-size limit for a scope: a write stops where the file
// reaches `bytes` and the next one fails with EFBIG (SIGXFSZ is ignored
// meanwhile instead of ending the process).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previousHandler_;
};

}  // namespace jutest

#endif  // TESTING_PROCESS_H
