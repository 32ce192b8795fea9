// The process's quick ends, _exit and _Exit, as the stand-in sees them: they
// run no exit handlers, so the stand-in closes the log first, as its exit
// handler would, and records the trace library holds in memory (memory then
// file, or gathered by ODBCTraceFlush=0 or 1) reach the file. Exported from
// the preloaded stand-in, these come before the C library's.

#include <dlfcn.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "dmhost.h"

namespace {

using ExitFunction = void (*)(int);

// The C library's _exit (_Exit is the same function), bound at load: the
// quick end may come from a signal handler, where looking it up is unsafe.
const ExitFunction systemExit = reinterpret_cast<ExitFunction>(dlsym(RTLD_NEXT, "_exit"));

// The process the stand-in's state belongs to. A child made by vfork shares
// that state and runs no fork handlers: it must leave the parent's log
// alone.
std::atomic<pid_t> owner{getpid()};

void ownForkedChild() { owner.store(getpid()); }

[[maybe_unused]] const bool forkHandled = pthread_atfork(nullptr, nullptr, ownForkedChild) == 0;

[[noreturn]] void endQuickly(int status) {
  if (getpid() == owner.load()) dmhost::endTracingAtQuickExit();
  if (systemExit != nullptr) systemExit(status);
  for (;;) syscall(SYS_exit_group, status);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void _exit(int status) { endQuickly(status); }

__attribute__((visibility("default"))) void _Exit(int status) { endQuickly(status); }

}  // extern "C"
