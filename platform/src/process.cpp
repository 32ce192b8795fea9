// Threads, process, modules and the reported Windows version.

#include "platform/process.h"

#include <atomic>
#include <cstring>

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

}  // namespace

bool isWindowsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor) noexcept {
  return reportedVersion.load(std::memory_order_relaxed) >= pack(major, minor, servicePackMajor);
}

void setReportedWindowsVersionForTesting(uint16_t major, uint16_t minor, uint16_t servicePackMajor) noexcept {
  reportedVersion.store(pack(major, minor, servicePackMajor), std::memory_order_relaxed);
}

}  // namespace platform

#include "unix/process.inc"
