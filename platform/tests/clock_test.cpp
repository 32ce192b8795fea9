// Tests of the clocks: local time as the C library converts it, on any
// thread, also when the second changes between two readings; the coarse
// monotonic clock against the fine one.

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace {

// The second of the fine-grained clock: time() reads a coarse one that may
// still show the last second a few milliseconds into the next.
std::time_t secondNow() { return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()); }

// Reads localTimeNow within one second of the system clock and converts
// that second as the C library does; false when the second changed
// meanwhile.
bool readWithin(platform::LocalTime* read, std::tm* expected) {
  const std::time_t before = secondNow();
  *read = platform::localTimeNow();
  const std::time_t after = secondNow();
  if (before != after) return false;
  localtime_r(&before, expected);
  return true;
}

// Up to 100 tries to read within one second; expects the fields of that
// second.
void expectCurrentLocalTime() {
  platform::LocalTime read{};
  std::tm expected{};
  bool within = false;
  for (int i = 0; i < 100 && !within; ++i) within = readWithin(&read, &expected);
  ASSERT_TRUE(within);
  EXPECT_EQ(read.year, expected.tm_year + 1900);
  EXPECT_EQ(read.month, expected.tm_mon + 1);
  EXPECT_EQ(read.day, expected.tm_mday);
  EXPECT_EQ(read.hour, expected.tm_hour);
  EXPECT_EQ(read.minute, expected.tm_min);
  EXPECT_EQ(read.second, expected.tm_sec);
  EXPECT_LE(read.millisecond, 999u);
}

// Sleeps into the next second of the system clock.
void waitForNextSecond() {
  const std::time_t start = secondNow();
  while (secondNow() == start) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(LocalTimeNow, AgreesWithTheCLibraryOnEveryThreadAndAcrossSeconds) {
  struct Case {
    const char* name;
    bool newThread;      // read on a thread that never read the clock before
    bool nextSecond;     // a reading of an earlier second comes first
  };
  const Case cases[] = {
      {"first reading of this thread", false, false},
      {"again within the second", false, false},
      {"after the second changed", false, true},
      {"a new thread", true, false},
      {"a new thread after the second changed", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto check = [&c] {
      if (c.nextSecond) {
        (void)platform::localTimeNow();
        waitForNextSecond();
      }
      expectCurrentLocalTime();
    };
    if (c.newThread) {
      std::thread thread(check);
      thread.join();
    } else {
      check();
    }
  }
}

TEST(LocalTimeNow, ThreadsReadingAtOnceEachSeeTheirSecond) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([] {
      for (int round = 0; round < 3; ++round) expectCurrentLocalTime();
    });
  }
  for (std::thread& thread : threads) thread.join();
}

// The coarse clock is the same clock a tick behind at most, and goes on.
TEST(MonotonicMilliseconds, TheCoarseClockTrailsTheFineOneByATickAtMost) {
  const uint64_t start = platform::coarseMonotonicMilliseconds();
  for (int i = 0; i < 5; ++i) {
    const uint64_t coarse = platform::coarseMonotonicMilliseconds();
    const uint64_t fine = platform::monotonicMilliseconds();
    EXPECT_LE(coarse, fine);
    EXPECT_LT(fine - coarse, 50u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_GE(platform::coarseMonotonicMilliseconds() - start, 80u);
}

}  // namespace
