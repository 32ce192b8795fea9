// Whole-file updates: the portable part. The system side, locks and the
// atomic replacement, is in unix/locked_file.inc.

#include "platform/locked_file.h"

#include "platform/lock.h"

namespace platform {
namespace {

// Orders the writers of this process among themselves before they queue for
// the file lock with other processes. One lock for every file: updates are
// short, and a single lock cannot be taken in two orders.
Lock processUpdateLock;
[[maybe_unused]] const bool processUpdateLockKept = keepAcrossFork(processUpdateLock, ForkStage::kPlatform);

}  // namespace
}  // namespace platform

#include "unix/locked_file.inc"
