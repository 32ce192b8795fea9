// Threads, process, modules and the reported Windows version.

#include "platform/process.h"

#include "platform/lock.h"

#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>

namespace platform {
namespace {

struct Version {
  uint16_t major, minor, servicePack;
};

// 10.0 SP0: a current Windows, so nothing takes the pre-XP ANSI paths.
std::atomic<uint64_t> reportedVersion{(uint64_t{10} << 32)};

uint64_t pack(uint16_t major, uint16_t minor, uint16_t sp) {
  return (uint64_t{major} << 32) | (uint64_t{minor} << 16) | sp;
}

// ---------------------------------------------------------------------------
// Fork handlers: a table that only grows, read by the one system hook.
// ---------------------------------------------------------------------------

struct ForkEntry {
  ForkStage stage;
  ForkHandlers handlers;
};

constexpr size_t kForkEntries = 32;
constexpr ForkStage kForkStages[] = {ForkStage::kDeliverable, ForkStage::kLibrary, ForkStage::kPlatform,
                                     ForkStage::kPlatformStore, ForkStage::kPlatformInner};

ForkEntry forkEntries[kForkEntries];
// Entries below the count are complete. Adders take the lock, and so does a
// fork for the length of its handlers, so a child never finds it held.
std::atomic<size_t> forkEntryCount{0};
Lock forkAddLock;
// The entries the last prepare ran: parent and child run exactly those (the
// system serialises forks' handlers, so one value suffices).
size_t forkPrepared = 0;

void runForkPrepare() {
  forkAddLock.enter();
  forkPrepared = forkEntryCount.load(std::memory_order_acquire);
  for (ForkStage stage : kForkStages) {
    for (size_t i = 0; i < forkPrepared; ++i) {
      const ForkEntry& entry = forkEntries[i];
      if (entry.stage == stage) entry.handlers.prepare(entry.handlers.context);
    }
  }
}

// Parent or child: the reverse of the prepare order.
void runForkAfter(bool inChild) {
  for (size_t s = std::size(kForkStages); s > 0; --s) {
    for (size_t i = forkPrepared; i > 0; --i) {
      const ForkEntry& entry = forkEntries[i - 1];
      if (entry.stage != kForkStages[s - 1]) continue;
      (inChild ? entry.handlers.child : entry.handlers.parent)(entry.handlers.context);
    }
  }
  if (inChild) {
    forkAddLock.leaveInForkedChild();
  } else {
    forkAddLock.leave();
  }
}

}  // namespace

bool addForkHandlers(ForkStage stage, const ForkHandlers& handlers) noexcept {
  if (handlers.prepare == nullptr || handlers.parent == nullptr || handlers.child == nullptr) return false;
  std::lock_guard<Lock> guard(forkAddLock);
  const size_t count = forkEntryCount.load(std::memory_order_relaxed);
  if (count == kForkEntries) return false;
  forkEntries[count] = {stage, handlers};
  forkEntryCount.store(count + 1, std::memory_order_release);
  return true;
}

bool isWindowsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor) noexcept {
  return reportedVersion.load(std::memory_order_relaxed) >= pack(major, minor, servicePackMajor);
}

void setReportedWindowsVersionForTesting(uint16_t major, uint16_t minor, uint16_t servicePackMajor) noexcept {
  reportedVersion.store(pack(major, minor, servicePackMajor), std::memory_order_relaxed);
}

}  // namespace platform

#include "unix/process.inc"
