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

}  // namespace julib::internal

#endif  // JULIB_INTERNAL_FAULT_H
