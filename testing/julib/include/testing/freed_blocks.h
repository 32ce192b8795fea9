// The freed-block observer: what the library's last frees on the main test
// thread held, so a test can tell whether a buffer was wiped before it was
// let go.
#ifndef TESTING_FREED_BLOCKS_H
#define TESTING_FREED_BLOCKS_H

#include <cstddef>
#include <cstdint>

namespace jutest {

// Starts recording every block the library frees on the calling thread (its
// first bytes, up to kFreedBytes) in a ring of the last frees. The test main
// calls it for the main test thread.
void observeFreedBlocks();

// The record of the block at `address`; null when the block was not among
// the last frees.
inline constexpr size_t kFreedBytes = 4096;
struct FreedBlock {
  uintptr_t address;
  size_t size;  // bytes recorded
  unsigned char bytes[kFreedBytes];
};
const FreedBlock* freedBlock(const void* address);
// A mark of the frees so far, and whether a block freed after it (among the
// last frees) still began with the n bytes: a copy of a secret let go
// unwiped. (Only the start counts: what lies past a block's requested size
// may be older text.)
size_t freeMark();
bool freedBeginningWith(size_t mark, const void* bytes, size_t n);

}  // namespace jutest

#endif  // TESTING_FREED_BLOCKS_H
