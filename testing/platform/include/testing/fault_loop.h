// The allocation-failure loop over a fault hook: a run with the 1st
// allocation failing, then the 2nd, the 3rd ... until a run in which none
// failed. Each layer binds it to its own hook.
#ifndef TESTING_FAULT_LOOP_H
#define TESTING_FAULT_LOOP_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace jutest {

// One run of the loop over a hook that fails one allocation of the calling
// thread: kArm(n) makes the nth from there on fail, once; kClear() stops it
// and returns how many fired. arm() and disarm() wrap them; disarm() tells
// whether it fired. A run still armed is disarmed when it ends. Arm around
// the calls under test only: what the test allocates itself may go through
// the same hook.
template <void (*kArm)(uint64_t nth), uint64_t (*kClear)()>
class FaultRun {
 public:
  explicit FaultRun(uint64_t nth) : nth_(nth) {}
  ~FaultRun() {
    if (armed_) disarm();
  }
  FaultRun(const FaultRun&) = delete;
  FaultRun& operator=(const FaultRun&) = delete;

  uint64_t nth() const { return nth_; }
  void arm() {
    kArm(nth_);
    armed_ = true;
  }
  bool disarm() {
    fired_ |= kClear() != 0;
    armed_ = false;
    return fired_;
  }
  bool fired() const { return fired_; }

 private:
  uint64_t nth_;
  bool armed_ = false;
  bool fired_ = false;
};

// Calls run(fault) for n = 1, 2, 3 ... with a Fault (a FaultRun) for the
// nth allocation, until a run in which it did not fire, and returns that n:
// the number of runs, the last one free of faults (a code path with two
// allocations takes 3). Fails the test and stops after `limit` runs that
// all fired.
template <typename Fault, typename Run>
uint64_t failEach(Run&& run, uint64_t limit = 1000) {
  for (uint64_t nth = 1; nth <= limit; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth) + " fails");
    Fault fault(nth);
    run(fault);
    if (!fault.fired()) return nth;
  }
  ADD_FAILURE() << "faults kept firing";
  return limit;
}

}  // namespace jutest

#endif  // TESTING_FAULT_LOOP_H
