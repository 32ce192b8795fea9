// Per-thread records, the library's lock, ANSI mode and the message
// catalogue.
#ifndef JULIB_THREADS_H
#define JULIB_THREADS_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "julib/object.h"
#include "platform/catalogue.h"
#include "platform/lock.h"

// ---------------------------------------------------------------------------
// JuThreadInfo: per-thread slots without thread-local storage.
// ---------------------------------------------------------------------------

// One record per live thread on a process-wide list that only grows. Lookup
// walks the list without a lock (records are published with release and read
// with acquire); creation and reuse run under the thread-list lock. A thread
// that ends marks its record free; the next thread without a record takes it
// back with empty slots. Slot 0 holds the thread's current JuErrorList.
class JuThreadInfo : public JuObject {
 public:
  static constexpr size_t kSlotCount = 7;

  explicit JuThreadInfo(uint32_t threadId);
  ~JuThreadInfo() override;

  // The record of `threadId`, made or reused when there is none; null when
  // juThreadInfoList is null or the allocation fails.
  static JuThreadInfo* find(uint32_t threadId);
  // The calling thread's slot; null when the thread has no record.
  static void* getSlot(size_t index);
  // Address of the calling thread's slot; null when no record can be made.
  static void** slotAddress(size_t index);
  // Stores into the calling thread's slot; nothing when no record can be made.
  static void setSlot(size_t index, void* value);

  std::atomic<JuThreadInfo*> next{nullptr};
  std::atomic<uint32_t> threadId;
  void* slots[kSlotCount] = {};
  std::atomic<uint32_t> freeFlag{0};  // 0 = in use
};

// Head of the record list; null until a deliverable's start-up.
extern std::atomic<JuThreadInfo*> juThreadInfoList;

// Start-up of a deliverable: clears juThreadInfoList and makes the calling
// thread's record its first. Returns the record, null on allocation failure.
JuThreadInfo* juStartThreadInfoList();

// ---------------------------------------------------------------------------
// JuCriticalSection: the library's lock.
// ---------------------------------------------------------------------------

// Users test noLock and enter and leave `section` themselves; JuLockGuard
// does that for a scope.
class JuCriticalSection : public JuObject {
 public:
  constexpr explicit JuCriticalSection(uint32_t noLock) : initialised(noLock == 0 ? 1 : 0), noLock(noLock) {}
  ~JuCriticalSection() override;

  platform::Lock section;
  uint32_t initialised;  // 1 when the section was initialised
  uint32_t noLock;       // 1: users neither enter nor leave
};

// Enters a JuCriticalSection for a scope unless its no-lock flag is set.
class JuLockGuard {
 public:
  explicit JuLockGuard(JuCriticalSection& lock) : lock_(lock), entered_(lock.noLock == 0) {
    if (entered_) lock_.section.enter();
  }
  ~JuLockGuard() {
    if (entered_) lock_.section.leave();
  }
  JuLockGuard(const JuLockGuard&) = delete;
  JuLockGuard& operator=(const JuLockGuard&) = delete;

 private:
  JuCriticalSection& lock_;
  bool entered_;
};

// Around fork(): a lock is entered before it (unless in no-lock mode) and
// left after it, in the parent or, by the forking thread's copy, in the
// child.
inline void juEnterForFork(JuCriticalSection& lock) {
  if (lock.noLock == 0) lock.section.enter();
}
inline void juLeaveAfterFork(JuCriticalSection& lock, bool inChild) {
  if (lock.noLock != 0) return;
  if (inChild) {
    lock.section.leaveInForkedChild();
  } else {
    lock.section.leave();
  }
}

// The process-wide locks; they exist from load time.
extern JuCriticalSection& juProfileLock;
extern JuCriticalSection& juThreadListLock;
extern JuCriticalSection& juSpareLock;
extern JuCriticalSection& juPageCacheLock;

// Sets no-lock on the thread-list, page-cache and spare locks (not the
// profile lock). Only for a process that uses the library from one thread.
void juDisableGlobalLocks();

// Start-up and exit routines of the process-wide objects, run in this order
// from static initialisation (and the partners in reverse at exit).
void juInitProfileLock();
void juInitOutOfMemoryError();
void juInitNullError();
void juInitThreadListLock();
void juInitSpareLock();
void juInitPageCacheLock();
// Keeps the four locks, and the page cache's own lock while a cache lives,
// sound across fork(): they are taken before it and left after; in the child, the forking thread's record answers to the
// child's thread id and the other threads' records are free.
void juInitForkHandlers();
void juDestroyProfileLock();
void juDestroyOutOfMemoryError();
void juDestroyNullError();
void juDestroyThreadListLock();
void juDestroySpareLock();
void juDestroyPageCacheLock();

// ---------------------------------------------------------------------------
// Windows version and ANSI mode.
// ---------------------------------------------------------------------------

// -1 until juInitAnsiMode; then 1 (Windows older than 5.1: wide calls go
// through their ANSI forms) or 0.
extern std::atomic<int32_t> juAnsiMode;

int juIsWindowsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor);
int juIsWindowsVersion51OrLater();
void juInitAnsiMode();
// juAnsiMode, determined first when it is still -1.
int32_t juGetAnsiMode();

// The file path of `module` (null: the main program) as UTF-16 into `buffer`
// of `size` units, terminated. Returns the units written without the zero.
size_t juGetModuleFileNameW(platform::ModuleHandle module, char16_t* buffer, size_t size);

// ---------------------------------------------------------------------------
// Message catalogue.
// ---------------------------------------------------------------------------

// Units of the buffer a message text is loaded into (511 characters used).
inline constexpr size_t kJuMessageUnits = 512;

// The module whose tables are the message catalogue; set at start-up.
extern std::atomic<platform::ModuleHandle> juResourceModule;

// The library's own catalogue (ids 1500-1541, 2701-2843, 30040-30045, 30190).
extern const platform::MessageTable juLibraryMessages;
// A module that carries only the library's catalogue (programs and tests
// without texts of their own).
extern const platform::Module juLibraryModule;

// LoadStringW (LoadStringA and an ANSI conversion in ANSI mode). An id
// without text gives an empty, terminated buffer and 0.
size_t juLoadStringW(platform::ModuleHandle module, uint16_t id, char16_t* buffer, size_t size);
// juLoadStringW(juResourceModule, id, buffer, 512).
size_t juLoadMessage(char16_t* buffer, uint16_t id);
// LoadStringA(juResourceModule, id, buffer, 512).
size_t juLoadStringA(char* buffer, uint16_t id);

#endif  // JULIB_THREADS_H
