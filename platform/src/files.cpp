// File-system and system-name services: the portable part.

#include "platform/files.h"

#include "platform/paths.h"

#include <atomic>
#include <cstddef>
#include <cstring>

namespace platform {
namespace {

// Copies a path for the system: '\' becomes '/'. Returns false when it does
// not fit.
bool systemPath(const char* path, char* out, size_t size) { return platform::systemPath(path, {}, out, size); }

// Copies a path that is in the system's form already. Returns false when it
// does not fit.
bool copyPath(const char* path, char* out, size_t size) {
  const size_t length = std::strlen(path);
  if (length >= size) return false;
  std::memcpy(out, path, length + 1);
  return true;
}

// Copies a NUL-terminated text of `length` bytes into `buffer` of `size`
// bytes; kErrorRange (nothing copied) when it does not fit.
ErrorNumber copyOut(const char* text, size_t length, char* buffer, size_t size) {
  if (buffer == nullptr || length >= size) return kErrorRange;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return kErrorNone;
}

std::atomic<size_t> writeLimit{0};
std::atomic<uint64_t> directoryListings{0};

}  // namespace

uint64_t directoryListingsForTesting() noexcept { return directoryListings.load(std::memory_order_relaxed); }

void setWriteLimitForTesting(size_t bytesPerCall) noexcept {
  writeLimit.store(bytesPerCall, std::memory_order_relaxed);
}

}  // namespace platform

#include "unix/files.inc"
