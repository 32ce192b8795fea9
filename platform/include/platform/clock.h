// The wall clock as the local calendar time, and a monotonic clock for
// intervals.
#ifndef PLATFORM_CLOCK_H
#define PLATFORM_CLOCK_H

#include <cstdint>

namespace platform {

struct LocalTime {
  int year;    // 2026
  int month;   // 1 to 12
  int day;     // 1 to 31
  int hour;    // 0 to 23
  int minute;
  int second;  // 0 to 60
  uint32_t millisecond;  // 0 to 999
};

// Now, in the local time zone; safe on any thread.
LocalTime localTimeNow() noexcept;

// Milliseconds of a clock that never goes back (not the wall clock: setting
// the date moves nothing); only differences mean anything.
uint64_t monotonicMilliseconds() noexcept;

// The same clock read at a coarser grain (a few milliseconds behind at
// most), at a fraction of the cost: for intervals of tens of milliseconds
// and more, asked very often.
uint64_t coarseMonotonicMilliseconds() noexcept;

}  // namespace platform

#endif  // PLATFORM_CLOCK_H
