// The system's memory-protection facility, bound once per process. Internal
// to the library: the protected value is its only user.
#ifndef JULIB_SRC_MEMORY_PROTECTION_H
#define JULIB_SRC_MEMORY_PROTECTION_H

#include <cstdint>

namespace julib::internal {

// Transforms a block in place: protects it, or undoes that. The size is a
// multiple of 16, the flags 0; non-zero on success.
using MemoryProtectFunction = int (*)(void* block, uint32_t byteSize, uint32_t flags);

struct MemoryProtection {
  MemoryProtectFunction protect;
  MemoryProtectFunction unprotect;
};

// The facility, or null when the system has none. The first call in the
// process tries the binding (concurrent first calls wait for that one try);
// every call returns its outcome.
const MemoryProtection* memoryProtection();

}  // namespace julib::internal

#endif  // JULIB_SRC_MEMORY_PROTECTION_H
