// The allocation-failure loop over the library's fault hook: a run with the
// 1st allocation failing, then the 2nd, the 3rd ... until a run in which none
// failed.
#ifndef TESTING_ALLOCATION_FAULTS_H
#define TESTING_ALLOCATION_FAULTS_H

#include <cstdint>
#include <utility>

#include "julib/internal/fault.h"
#include "testing/fault_loop.h"

namespace jutest {

inline void failLibraryAllocation(uint64_t nth) { julib::internal::failAllocation(nth, false); }

// One run of the loop over the library's allocations. What the test
// allocates itself (containers, gtest's messages) goes through the library
// too: arm around the calls under test only.
using AllocationFault = FaultRun<failLibraryAllocation, julib::internal::clearAllocationFault>;

// failEach over the library's allocations.
//   const uint64_t runs = failEachAllocation([&](jutest::AllocationFault& fault) {
//     fault.arm();
//     void* copy = juMemDup("abc", 4);
//     EXPECT_EQ(copy == nullptr, fault.disarm());
//     juFree(copy);
//   });  // runs == 2: one allocation, made to fail in the first run
template <typename Run>
uint64_t failEachAllocation(Run&& run, uint64_t limit = 1000) {
  return failEach<AllocationFault>(std::forward<Run>(run), limit);
}

}  // namespace jutest

#endif  // TESTING_ALLOCATION_FAULTS_H
