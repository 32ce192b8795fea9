// The library's allocation entry points. A failure never throws: it is
// recorded once as "out of memory" on the calling thread's error list and
// the caller receives null.

#include <cstdlib>
#include <cstring>
#include <new>

#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "julib/object.h"
#include "checked_sizes.h"

namespace {

#ifdef JU_FAULT_INJECTION
// Per thread, so a test thread that arms a fault never fails another
// thread's allocations.
thread_local uint64_t faultCountdown = 0;  // 0: disarmed
thread_local bool faultPersistent = false;
thread_local uint64_t faultsFired = 0;
thread_local julib::internal::FreeObserver freeObserver = nullptr;

bool faultFires() {
  if (faultCountdown == 0) return false;
  if (faultCountdown > 1) {
    --faultCountdown;
    return false;
  }
  if (!faultPersistent) faultCountdown = 0;
  ++faultsFired;
  return true;
}

void observeFree(void* block) {
  if (freeObserver != nullptr && block != nullptr) freeObserver(block);
}
#else
constexpr bool faultFires() { return false; }
inline void observeFree(void*) {}
#endif

void* allocate(size_t n) {
  void* block = faultFires() ? nullptr : std::malloc(n == 0 ? 1 : n);
  if (block == nullptr) juReportOutOfMemory();
  return block;
}

}  // namespace

#ifdef JU_FAULT_INJECTION
namespace julib::internal {

void failAllocation(uint64_t nth, bool persistent) {
  faultCountdown = nth;
  faultPersistent = persistent;
  faultsFired = 0;
}

uint64_t clearAllocationFault() {
  faultCountdown = 0;
  faultPersistent = false;
  return faultsFired;
}

void observeFrees(FreeObserver observer) { freeObserver = observer; }

}  // namespace julib::internal
#endif

void* juMalloc(int n) {
  if (n < 0) {
    juReportOutOfMemory();
    return nullptr;
  }
  return allocate(static_cast<size_t>(n));
}

void* juMallocChecked(size_t n) { return allocate(n); }

void* juRealloc(void* block, size_t n) {
  void* grown = faultFires() ? nullptr : std::realloc(block, n == 0 ? 1 : n);
  if (grown == nullptr) juReportOutOfMemory();
  return grown;
}

void juFree(void* block) {
  observeFree(block);
  std::free(block);
}

void juReportOutOfMemory() { JuErrorList::postOutOfMemory(); }

void* juMemDup(const void* source, size_t n) {
  void* copy = allocate(n);
  if (copy != nullptr && n != 0) std::memcpy(copy, source, n);
  return copy;
}

char* juWStrNDupNarrow(const char16_t* source, size_t n) {
  size_t bytes;
  if (!julib::internal::arraySize(&bytes, n, 1, 1)) return nullptr;
  char* copy = static_cast<char*>(allocate(bytes));
  if (copy == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i) copy[i] = static_cast<char>(source[i] & 0xFF);
  copy[n] = '\0';
  return copy;
}

char* juWStrNDupNarrow(const char16_t* source, ptrdiff_t n) {
  return juWStrNDupNarrow(source, n < 0 ? size_t{0} : static_cast<size_t>(n));
}

char16_t* juStrNDupWiden(const char* source, size_t n) {
  size_t bytes;
  if (!julib::internal::arraySize(&bytes, n, 2, 2)) return nullptr;
  auto* copy = static_cast<char16_t*>(allocate(bytes));
  if (copy == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i) copy[i] = static_cast<unsigned char>(source[i]);
  copy[n] = 0;
  return copy;
}

char16_t* juStrNDupWiden(const char* source, ptrdiff_t n) {
  return juStrNDupWiden(source, n < 0 ? size_t{0} : static_cast<size_t>(n));
}

// --- The global allocation operators ---------------------------------------
//
// A program that links the library allocates through it, the runtime's own
// classes too. They never throw; library code uses the nothrow forms so that
// a failure skips construction. They live in this file so that they are
// linked whenever the library's allocation is, ahead of any runtime that
// brings operators of its own.

void* operator new(size_t n) { return juMallocChecked(n); }
void* operator new[](size_t n) { return juMallocChecked(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return juMallocChecked(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return juMallocChecked(n); }
void operator delete(void* block) noexcept { juFree(block); }
void operator delete[](void* block) noexcept { juFree(block); }
void operator delete(void* block, size_t) noexcept { juFree(block); }
void operator delete[](void* block, size_t) noexcept { juFree(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { juFree(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { juFree(block); }
