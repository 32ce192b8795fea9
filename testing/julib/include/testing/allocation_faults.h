// The allocation-failure loop over the library's fault hook: a run with the
// 1st allocation failing, then the 2nd, the 3rd ... until a run in which none
// failed.
#ifndef TESTING_ALLOCATION_FAULTS_H
#define TESTING_ALLOCATION_FAULTS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "julib/internal/fault.h"

namespace jutest {

// One run of the loop. arm() makes the nth library allocation of the calling
// thread from there on fail, once; disarm() stops it and tells whether it
// fired. A run still armed is disarmed when it ends. Arm around the calls
// under test only: what the test allocates itself (containers, gtest's
// messages) goes through the library too.
class AllocationFault {
 public:
  explicit AllocationFault(uint64_t nth) : nth_(nth) {}
  ~AllocationFault() {
    if (armed_) disarm();
  }
  AllocationFault(const AllocationFault&) = delete;
  AllocationFault& operator=(const AllocationFault&) = delete;

  uint64_t nth() const { return nth_; }
  void arm() {
    julib::internal::failAllocation(nth_, false);
    armed_ = true;
  }
  bool disarm() {
    fired_ |= julib::internal::clearAllocationFault() != 0;
    armed_ = false;
    return fired_;
  }
  bool fired() const { return fired_; }

 private:
  uint64_t nth_;
  bool armed_ = false;
  bool fired_ = false;
};

// Calls run(fault) for n = 1, 2, 3 ... with `fault` set to the nth
// allocation, until a run in which it did not fire, and returns that n: the
// number of runs, the last one free of faults (a code path with two
// allocations takes 3). Fails the test and stops after `limit` runs that all
// fired.
//   const uint64_t runs = failEachAllocation([&](jutest::AllocationFault& fault) {
//     fault.arm();
//     void* copy = juMemDup("abc", 4);
//     EXPECT_EQ(copy == nullptr, fault.disarm());
//     juFree(copy);
//   });  // runs == 2: one allocation, made to fail in the first run
template <typename Run>
uint64_t failEachAllocation(Run&& run, uint64_t limit = 1000) {
  for (uint64_t nth = 1; nth <= limit; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
    AllocationFault fault(nth);
    run(fault);
    if (!fault.fired()) return nth;
  }
  ADD_FAILURE() << "faults kept firing";
  return limit;
}

}  // namespace jutest

#endif  // TESTING_ALLOCATION_FAULTS_H
