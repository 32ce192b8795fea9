// The wall clock.

#include "platform/clock.h"

#include <chrono>
#include <ctime>

#include "platform/lock.h"

namespace platform {
namespace {

// The system's local-time conversion holds a lock of its own that fork()
// leaves as it finds it: a child copied while one of our threads converts
// would hang in its own first conversion. Converting under a lock of ours,
// kept across fork, means none of our threads is inside it at that moment.
Lock localTimeLock;
[[maybe_unused]] const bool localTimeLockKept = keepAcrossFork(localTimeLock, ForkStage::kPlatformInner);

}  // namespace
}  // namespace platform

#include "unix/clock.inc"
