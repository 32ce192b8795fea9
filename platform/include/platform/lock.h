// platform::Lock: a recursive lock that is usable before static construction.
#ifndef PLATFORM_LOCK_H
#define PLATFORM_LOCK_H

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/process.h"

namespace platform {

// A recursive lock with a constant initialiser: a global Lock works before any
// constructor has run and is never torn down, so a host process may call in
// until it exits. The owning thread may enter again; each enter needs a leave.
class Lock {
 public:
  constexpr Lock() noexcept {}
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void enter() noexcept;
  void leave() noexcept;
  // The same under the standard names, so std::lock_guard and
  // std::unique_lock can hold a Lock.
  void lock() noexcept { enter(); }
  void unlock() noexcept { leave(); }
  // After fork(), in the child, for a lock the forking thread entered: the
  // child's thread, that thread's copy under a new id, owns it and leaves it
  // once.
  void leaveInForkedChild() noexcept;

 private:
  std::mutex mutex_;
  std::atomic<uint32_t> owner_{0};  // thread id of the holder, 0 when free
  uint32_t depth_ = 0;              // touched only by the holder
};

// Keeps `lock` sound across fork() for the life of the module: entered
// before the fork at `stage` of the lock order, left after it in the parent
// and in the child. False when no handlers could be added. Every lock of
// the libraries is a Lock kept this way (or entered by a module's own fork
// handlers): a plain mutex that a thread holds when another forks is held
// for good in the child.
[[nodiscard]] bool keepAcrossFork(Lock& lock, ForkStage stage) noexcept;

}  // namespace platform

#endif  // PLATFORM_LOCK_H
