// Per-thread records on one process-wide list that only grows.

#include "julib/threads.h"

#include "pagecache_internal.h"
#include "platform/process.h"

std::atomic<JuThreadInfo*> juThreadInfoList{nullptr};

namespace {

// Runs when a thread that owns a record ends: the record becomes free for the
// next thread that needs one. The slots are cleared on reuse, never here, so
// nothing races with a lookup that still holds the record.
void markFree(void* record) {
  static_cast<JuThreadInfo*>(record)->freeFlag.store(1, std::memory_order_release);
}

JuThreadInfo* lookup(uint32_t threadId) {
  for (JuThreadInfo* record = juThreadInfoList.load(std::memory_order_acquire); record != nullptr;
       record = record->next.load(std::memory_order_acquire)) {
    if (record->freeFlag.load(std::memory_order_acquire) == 0 &&
        record->threadId.load(std::memory_order_relaxed) == threadId) {
      return record;
    }
  }
  return nullptr;
}

// Ties a record to the calling thread's end, when it is the caller's.
void watchThread(JuThreadInfo* record, uint32_t threadId) {
  if (threadId == platform::currentThreadId()) (void)platform::setThreadExitHook(markFree, record);
}

// ---------------------------------------------------------------------------
// Fork.
// ---------------------------------------------------------------------------

constexpr size_t kForkLocks = 4;

// The global locks in the order they nest: errors posted under the profile
// or a cache lock take the thread-list lock.
void forkLocks(JuCriticalSection* (&locks)[kForkLocks]) {
  locks[0] = &juProfileLock;
  locks[1] = &juPageCacheLock;
  locks[2] = &juSpareLock;
  locks[3] = &juThreadListLock;
}

// Set by the prepare handler; the system runs one fork's handlers at a time.
uint32_t forkingThread = 0;
// The page cache's own lock, entered right after the page-cache lock (which
// keeps the cache from going meanwhile) and left right before it: its holders
// post errors, which takes the thread-list lock.
JuCriticalSection* forkCacheLock = nullptr;

void enterLocksForFork(void*) {
  forkingThread = platform::currentThreadId();
  JuCriticalSection* locks[kForkLocks];
  forkLocks(locks);
  for (JuCriticalSection* lock : locks) {
    juEnterForFork(*lock);
    if (lock != &juPageCacheLock) continue;
    forkCacheLock = juPageCacheLockForFork();
    if (forkCacheLock != nullptr) juEnterForFork(*forkCacheLock);
  }
}

void leaveLocksAfterFork(bool inChild) {
  JuCriticalSection* locks[kForkLocks];
  forkLocks(locks);
  for (size_t i = kForkLocks; i > 0; --i) {
    if (locks[i - 1] == &juPageCacheLock && forkCacheLock != nullptr) {
      juLeaveAfterFork(*forkCacheLock, inChild);
      forkCacheLock = nullptr;
    }
    juLeaveAfterFork(*locks[i - 1], inChild);
  }
}

// The child has one thread, the forking thread's copy under a new id: its
// record answers to that id, and the records of the threads the child does
// not have are free for the threads it makes.
void adoptRecordsInChild() {
  const uint32_t self = platform::currentThreadId();
  for (JuThreadInfo* record = juThreadInfoList.load(std::memory_order_acquire); record != nullptr;
       record = record->next.load(std::memory_order_acquire)) {
    if (record->freeFlag.load(std::memory_order_relaxed) != 0) continue;
    if (record->threadId.load(std::memory_order_relaxed) == forkingThread) {
      record->threadId.store(self, std::memory_order_relaxed);
    } else {
      record->freeFlag.store(1, std::memory_order_release);
    }
  }
}

void afterForkInParent(void*) { leaveLocksAfterFork(false); }

void afterForkInChild(void*) {
  adoptRecordsInChild();
  leaveLocksAfterFork(true);
}

}  // namespace

void juInitForkHandlers() {
  // Without room for them a fork finds the locks as they are.
  (void)platform::addForkHandlers(platform::ForkStage::kLibrary,
                                  {enterLocksForFork, afterForkInParent, afterForkInChild, nullptr});
}

JuThreadInfo::JuThreadInfo(uint32_t threadId) : threadId(threadId) {}

JuThreadInfo::~JuThreadInfo() = default;

JuThreadInfo* JuThreadInfo::find(uint32_t threadId) {
  JuThreadInfo* head = juThreadInfoList.load(std::memory_order_acquire);
  if (head == nullptr) return nullptr;
  if (JuThreadInfo* found = lookup(threadId)) return found;

  JuLockGuard guard(juThreadListLock);
  // Another call for the same id may have made the record meanwhile.
  if (JuThreadInfo* found = lookup(threadId)) return found;
  JuThreadInfo* last = head;
  for (JuThreadInfo* record = head; record != nullptr; record = record->next.load(std::memory_order_acquire)) {
    if (record->freeFlag.load(std::memory_order_acquire) != 0) {
      for (void*& slot : record->slots) slot = nullptr;
      record->threadId.store(threadId, std::memory_order_relaxed);
      record->freeFlag.store(0, std::memory_order_release);
      watchThread(record, threadId);
      return record;
    }
    last = record;
  }
  auto* created = new (std::nothrow) JuThreadInfo(threadId);
  if (created == nullptr) return nullptr;
  // Complete before it is linked: lock-free readers see all of it or nothing.
  last->next.store(created, std::memory_order_release);
  watchThread(created, threadId);
  return created;
}

void* JuThreadInfo::getSlot(size_t index) {
  // Reading never creates a record: a thread without one has only null slots,
  // and the out-of-memory report reads slot 0 after a failed allocation.
  JuThreadInfo* record = lookup(platform::currentThreadId());
  return record == nullptr || index >= kSlotCount ? nullptr : record->slots[index];
}

void** JuThreadInfo::slotAddress(size_t index) {
  JuThreadInfo* record = find(platform::currentThreadId());
  return record == nullptr || index >= kSlotCount ? nullptr : &record->slots[index];
}

void JuThreadInfo::setSlot(size_t index, void* value) {
  if (void** slot = slotAddress(index)) *slot = value;
}

JuThreadInfo* juStartThreadInfoList() {
  const uint32_t self = platform::currentThreadId();
  auto* first = new (std::nothrow) JuThreadInfo(self);
  juThreadInfoList.store(first, std::memory_order_release);
  if (first != nullptr) watchThread(first, self);
  return first;
}

JuCriticalSection::~JuCriticalSection() {
  // The platform lock has nothing to delete and stays usable: a host process
  // may still call in while the process exits.
  initialised = 0;
}
