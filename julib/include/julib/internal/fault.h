// Allocation fault injection for tests. Present only in the test build of the
// library (JU_FAULT_INJECTION): the deliverables allocate as the host does.
#ifndef JULIB_INTERNAL_FAULT_H
#define JULIB_INTERNAL_FAULT_H

#include <cstdint>

namespace julib::internal {

// The nth library allocation from now on the calling thread fails (1 = the
// next); with `persistent` every later one fails too. Allocations of other
// threads are never affected.
void failAllocation(uint64_t nth, bool persistent);
// Disarms; returns how many allocations failed since the last arming.
uint64_t clearAllocationFault();

// Calls `observer` with every block the library frees on the calling thread,
// just before it is freed (null stops it): tests see what a block held when
// it was let go, which is how wiping is checked.
using FreeObserver = void (*)(const void* block);
void observeFrees(FreeObserver observer);

}  // namespace julib::internal

#endif  // JULIB_INTERNAL_FAULT_H
