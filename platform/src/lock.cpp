// platform::Lock: recursion on top of std::mutex, whose constructor is
// constexpr and whose destructor does nothing, so globals need no set-up.

#include "platform/lock.h"

#include "platform/process.h"

namespace platform {

void Lock::enter() noexcept {
  const uint32_t self = currentThreadId();
  // Only this thread can have stored its own id, so a relaxed read is enough
  // to tell whether we already hold the lock.
  if (owner_.load(std::memory_order_relaxed) == self) {
    ++depth_;
    return;
  }
  mutex_.lock();
  owner_.store(self, std::memory_order_relaxed);
  depth_ = 1;
}

void Lock::leave() noexcept {
  if (--depth_ == 0) {
    owner_.store(0, std::memory_order_relaxed);
    mutex_.unlock();
  }
}

void Lock::leaveInForkedChild() noexcept {
  owner_.store(currentThreadId(), std::memory_order_relaxed);
  leave();
}

namespace {

void enterLock(void* lock) { static_cast<Lock*>(lock)->enter(); }
void leaveLock(void* lock) { static_cast<Lock*>(lock)->leave(); }
void leaveLockInChild(void* lock) { static_cast<Lock*>(lock)->leaveInForkedChild(); }

}  // namespace

bool keepAcrossFork(Lock& lock, ForkStage stage) noexcept {
  return addForkHandlers(stage, {enterLock, leaveLock, leaveLockInChild, &lock});
}

}  // namespace platform
