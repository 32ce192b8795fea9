// Per-thread records and the process-wide locks.

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "julib/threads.h"
#include "platform/process.h"
#include "testing/ju_test.h"

namespace {

size_t listLength() {
  size_t n = 0;
  for (JuThreadInfo* r = juThreadInfoList.load(); r != nullptr; r = r->next.load()) ++n;
  return n;
}

// Runs `body` with an empty record list and puts the list back afterwards.
template <class Body>
void withoutRecords(Body body) {
  JuThreadInfo* saved = juThreadInfoList.exchange(nullptr);
  body();
  juThreadInfoList.store(saved);
}

TEST(JuThreadInfo, NothingWithoutAFirstRecord) {
  withoutRecords([] {
    EXPECT_EQ(JuThreadInfo::getSlot(0), nullptr);
    EXPECT_EQ(JuThreadInfo::slotAddress(0), nullptr);
    EXPECT_EQ(JuThreadInfo::find(12345), nullptr);
    EXPECT_EQ(JuErrorList::current(), nullptr);
    // Posting without a current list creates nothing and hands out the null
    // error, which ignores what is chained on it.
    JuError* error = juPostError(2701);
    EXPECT_EQ(error, juNullError());
    EXPECT_EQ(error->addParam("x"), juNullError());
    EXPECT_EQ(juNullError()->messageText.length, 0u);
  });
}

TEST(JuThreadInfo, FindMakesOneRecordPerId) {
  const size_t before = listLength();
  JuThreadInfo* a = JuThreadInfo::find(0x7FFF0001);
  JuThreadInfo* b = JuThreadInfo::find(0x7FFF0001);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(listLength(), before + 1);
  a->freeFlag.store(1);  // give it back
}

TEST(JuThreadInfo, FreeRecordIsSkippedThenReusedWithEmptySlots) {
  JuThreadInfo* record = JuThreadInfo::find(0x7FFF0002);
  ASSERT_NE(record, nullptr);
  record->slots[0] = record;
  record->slots[6] = record;
  record->freeFlag.store(1);
  const size_t before = listLength();
  JuThreadInfo* reused = JuThreadInfo::find(0x7FFF0003);
  EXPECT_EQ(listLength(), before);  // a free record was taken, none added
  ASSERT_NE(reused, nullptr);
  EXPECT_EQ(reused->threadId.load(), 0x7FFF0003u);
  for (void* slot : reused->slots) EXPECT_EQ(slot, nullptr);
  // The old id is not found any more: a new record is made for it.
  JuThreadInfo* again = JuThreadInfo::find(0x7FFF0002);
  EXPECT_NE(again, reused);
  reused->freeFlag.store(1);
  again->freeFlag.store(1);
}

TEST(JuThreadInfo, EndedThreadsGiveTheirRecordsBack) {
  // Threads that come and go one after another must not make the list grow
  // without bound: each leaves its record free for the next.
  std::thread([] { JuThreadInfo::setSlot(0, nullptr); }).join();
  const size_t settled = listLength();
  for (int i = 0; i < 50; ++i) {
    std::thread([] {
      JuThreadInfo::setSlot(0, nullptr);
      EXPECT_EQ(JuThreadInfo::getSlot(0), nullptr);  // never an old thread's slot
    }).join();
  }
  EXPECT_EQ(listLength(), settled);
}

// A forked child's one thread, the forking thread's copy under a new id,
// keeps its record and error list; the other threads' records are free.
TEST(JuThreadInfo, AForkedChildKeepsItsListAndFreesTheOthers) {
  JuErrorList list(7, 1);
  JuErrorList::pushCurrent(&list);
  std::atomic<JuThreadInfo*> other{nullptr};
  std::atomic<bool> release{false};
  std::thread thread([&] {
    other = JuThreadInfo::find(platform::currentThreadId());
    while (!release.load()) std::this_thread::yield();
  });
  while (other.load() == nullptr) std::this_thread::yield();
  const pid_t child = fork();
  if (child == 0) {
    juPostError(2705);
    _exit(JuErrorList::current() == &list && list.count == 1 && other.load()->freeFlag.load() == 1 ? 0 : 1);
  }
  release = true;
  thread.join();
  EXPECT_EQ(JuErrorList::popCurrent(), &list);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(JuCriticalSection, GlobalLocksExistFromLoadTime) {
  for (JuCriticalSection* lock : {&juProfileLock, &juThreadListLock, &juSpareLock, &juPageCacheLock}) {
    EXPECT_EQ(lock->initialised, 1u);
    EXPECT_EQ(lock->noLock, 0u);
    JuLockGuard outer(*lock);
    JuLockGuard inner(*lock);  // recursive
  }
}

TEST(JuCriticalSection, NoLockSkipsEntering) {
  JuCriticalSection lock(1);
  EXPECT_EQ(lock.initialised, 0u);
  std::atomic<int> inside{0};
  JuLockGuard held(lock);
  std::thread other([&] {
    JuLockGuard guard(lock);  // would block forever if it entered
    inside = 1;
  });
  other.join();
  EXPECT_EQ(inside.load(), 1);
}

// Sixteen threads post and read errors on their own lists at once: no record
// is shared and nothing is lost.
TEST(JuErrorListThreads, SixteenThreadsKeepTheirOwnErrors) {
  constexpr int kThreads = 16;
  constexpr int kRounds = 200;
  std::atomic<int> failures{0};
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  std::vector<JuThreadInfo*> records(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures, &done, &records] {
      JuErrorList list(static_cast<uintptr_t>(t + 1), 1);
      JuErrorList::pushCurrent(&list);
      records[t] = JuThreadInfo::find(platform::currentThreadId());
      for (int i = 0; i < kRounds; ++i) {
        juPostError(2705)->addParam(static_cast<int64_t>(t * 1000 + i))->addParam("t");
        if (JuErrorList::currentOwner() != static_cast<uintptr_t>(t + 1)) ++failures;
        if (JuErrorList::lastErrorId() != 2705) ++failures;
      }
      if (list.count != kRounds || list.errors != kRounds) ++failures;
      for (int i = 0; i < kRounds; ++i) {
        const std::string expected = "Error parsing t at offset " + std::to_string(t * 1000 + i) + ".";
        if (expected != list.at(static_cast<uint64_t>(i))->message()) ++failures;
      }
      if (JuErrorList::popCurrent() != &list) ++failures;
      // Stay alive until all have worked, so no record is handed on early.
      ++done;
      while (done.load() < kThreads) std::this_thread::yield();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(std::set<JuThreadInfo*>(records.begin(), records.end()).size(), size_t{kThreads});
}

}  // namespace
