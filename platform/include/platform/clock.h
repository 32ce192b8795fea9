// The wall clock as the local calendar time.
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

}  // namespace platform

#endif  // PLATFORM_CLOCK_H
