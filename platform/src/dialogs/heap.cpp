// The dialog layer's heap, with the test seam that fails one allocation.

#include "dialogs/heap.h"

#include <cstdint>

#include "platform/dialogs/model.h"
#include "platform/utf16.h"

namespace platform::dialogs {

namespace {

// Per thread, so a test that arms a fault never fails another thread's
// allocations. 0: disarmed.
thread_local uint64_t faultCountdown = 0;
thread_local uint64_t faultsFired = 0;

bool faultFires() {
  if (faultCountdown == 0 || --faultCountdown != 0) return false;
  ++faultsFired;
  return true;
}

}  // namespace

namespace internal {

void* reallocate(void* block, size_t bytes) noexcept {
  if (faultFires()) return nullptr;
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void appendUtf16(List<char16_t>* out, std::string_view text) {
  utf16::putUtf16(text, [out](char16_t unit) { out->push(unit); });
}

void appendUtf8(List<char>* out, std::u16string_view text) {
  utf16::putUtf8(text, [out](const char* bytes, size_t count) { out->append(bytes, count); });
}

}  // namespace internal

void failAllocationForTesting(uint64_t nth) noexcept {
  faultCountdown = nth;
  faultsFired = 0;
}

uint64_t clearAllocationFaultForTesting() noexcept {
  faultCountdown = 0;
  return faultsFired;
}

}  // namespace platform::dialogs
