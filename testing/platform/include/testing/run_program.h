// Runs a built program as a child process for end-to-end tests (platform
// level: no component's code): its words, standard input, working
// directory and limits in, its exit code and output back.
#ifndef TESTING_RUN_PROGRAM_H
#define TESTING_RUN_PROGRAM_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace jutest {

struct ProgramRun {
  std::vector<std::string> words;  // the program's path first
  std::string input;               // standard input, then its end
  std::string directory;           // working directory ("": the test's)
  // A file-size limit in bytes (0: none); SIGXFSZ is ignored, so a write
  // beyond it fails with EFBIG instead of ending the program, unless
  // `sizeSignal` leaves it at its default (the program must see to it).
  rlim_t fileSizeLimit = 0;
  bool sizeSignal = false;
  // Run as this user id (root only; 0: as the test).
  uid_t user = 0;
};

struct ProgramResult {
  int exitCode = -1;  // -1: it did not exit (a signal ended it)
  std::string output;  // standard output
  std::string errors;  // standard error
};

inline std::string readAll(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
  close(fd);
  return out;
}

// Runs the program to its end. Standard input comes from a temporary file,
// so the child never blocks the test; output and errors go to temporary
// files read back afterwards.
inline ProgramResult runProgram(const ProgramRun& run) {
  ProgramResult result;
  FILE* files[3] = {tmpfile(), tmpfile(), tmpfile()};
  for (FILE* f : files) {
    if (f == nullptr) {
      ADD_FAILURE() << "tmpfile failed";
      return result;
    }
  }
  fputs(run.input.c_str(), files[0]);
  fflush(files[0]);
  rewind(files[0]);
  std::vector<char*> argv;
  for (const std::string& word : run.words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    for (int fd = 0; fd < 3; ++fd) dup2(fileno(files[fd]), fd);
    if (!run.directory.empty() && chdir(run.directory.c_str()) != 0) _exit(126);
    if (run.fileSizeLimit != 0) {
      signal(SIGXFSZ, run.sizeSignal ? SIG_DFL : SIG_IGN);
      const rlimit limit = {run.fileSizeLimit, run.fileSizeLimit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (run.user != 0 && (setgid(run.user) != 0 || setuid(run.user) != 0)) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  for (int fd = 1; fd < 3; ++fd) rewind(files[fd]);
  result.output = readAll(dup(fileno(files[1])));
  result.errors = readAll(dup(fileno(files[2])));
  for (FILE* f : files) fclose(f);
  return result;
}

}  // namespace jutest

#endif  // TESTING_RUN_PROGRAM_H
