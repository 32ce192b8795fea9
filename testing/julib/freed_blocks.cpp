// The freed-block observer over the library's free hook.

#include "testing/freed_blocks.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>

#include "julib/internal/fault.h"

namespace jutest {

namespace {

// A ring of the last frees; filled without allocating, since it runs inside
// the library's free.
constexpr size_t kRing = 32;
FreedBlock ring[kRing];
size_t next = 0;

void recordFree(const void* block) {
  FreedBlock& slot = ring[next++ % kRing];
  slot.address = reinterpret_cast<uintptr_t>(block);
  slot.size = std::min(malloc_usable_size(const_cast<void*>(block)), kFreedBytes);
  std::memcpy(slot.bytes, block, slot.size);
}

}  // namespace

void observeFreedBlocks() { julib::internal::observeFrees(recordFree); }

const FreedBlock* freedBlock(const void* address) {
  for (size_t i = 1; i <= kRing && i <= next; ++i) {
    const FreedBlock& slot = ring[(next - i) % kRing];
    if (slot.address == reinterpret_cast<uintptr_t>(address)) return &slot;
  }
  return nullptr;
}

size_t freeMark() { return next; }

bool freedBeginningWith(size_t mark, const void* bytes, size_t n) {
  for (size_t i = mark; i < next; ++i) {
    const FreedBlock& slot = ring[i % kRing];
    if (next - i <= kRing && n != 0 && n <= slot.size && std::memcmp(slot.bytes, bytes, n) == 0) return true;
  }
  return false;
}

}  // namespace jutest
