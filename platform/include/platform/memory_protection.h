// The system's memory-protection facility: two operations that protect a
// block of memory in place and undo it, bound once per process.
#ifndef PLATFORM_MEMORY_PROTECTION_H
#define PLATFORM_MEMORY_PROTECTION_H

#include <cstddef>
#include <cstdint>

namespace platform {

// Transforms a block in place: protects it, or undoes that. The size is a
// multiple of 16, the flags 0; non-zero on success.
using MemoryProtectFunction = int (*)(void* block, uint32_t byteSize, uint32_t flags);

struct MemoryProtection {
  MemoryProtectFunction protect;
  MemoryProtectFunction unprotect;
};

// The facility, or null when the system has none (so on Linux, unless a
// test registered a fake first). The first call in the process tries the
// binding, by names kept scrambled until that one try (concurrent first
// calls wait for it); every call returns its outcome.
//   memoryProtection() -> null here; a caller then protects by other means
const MemoryProtection* memoryProtection() noexcept;

// Test seam: while registered, the facility's library is a fake whose two
// functions are the given ones (see registerFakeLibrary). Only a binding not
// yet tried finds it, so a test program registers before its first
// memoryProtection(). False when the fake cannot be registered.
bool registerFakeMemoryProtection(MemoryProtectFunction protect, MemoryProtectFunction unprotect) noexcept;
void unregisterFakeMemoryProtection() noexcept;
// Loads of the fake facility's library since it was registered.
size_t fakeMemoryProtectionLoads() noexcept;

}  // namespace platform

#endif  // PLATFORM_MEMORY_PROTECTION_H
