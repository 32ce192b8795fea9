// The registry store's files: where each root's file lives, and the tree
// this process last read or wrote of it (its snapshot), brought up to date
// with the file for the length of one call. The system side is in
// unix/registry.inc.
#ifndef PLATFORM_SRC_PROFILE_REGISTRY_STORE_H
#define PLATFORM_SRC_PROFILE_REGISTRY_STORE_H

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "platform/lock.h"
#include "platform/profile/registry.h"
#include "profile/registry_tree.h"

namespace platform::registry::internal {

constexpr size_t kPathBytes = 4096;

// The directory and the file of a root, each of kPathBytes; false when no
// directory can be named or the path is too long.
bool storePaths(Root root, char* directory, char* file);

// Makes the store's directory and its missing parents, private to the user.
// True when it exists afterwards.
bool createStoreDirectory(const char* directory);

// What tells one version of a file from another without reading it: a file
// replaced by a rename has another inode, one rewritten in place another
// size or modification time, except when the rewrite falls within the clock
// tick that stamped the version seen. A version read while its stamp was no
// earlier than the current tick is therefore not `settled`, and is never
// trusted unread.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t seconds = 0;  // modification time
  int64_t nanoseconds = 0;
  bool settled = false;

  bool sameVersion(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size && seconds == other.seconds &&
           nanoseconds == other.nanoseconds;
  }
};

// The identity of the file at `path`; false when it cannot be had (a missing
// file among others).
bool fileIdentity(const char* path, FileIdentity* out);

// How many times this process has read a root's file: a listing is to read
// it a bounded number of times, not once per item.
size_t fileReadsForTesting() noexcept;

struct Snapshot;

// A root's snapshot, locked and brought up to date with its file for the
// length of one call.
class CurrentTree {
 public:
  explicit CurrentTree(Root root);
  CurrentTree(const CurrentTree&) = delete;
  CurrentTree& operator=(const CurrentTree&) = delete;

  // Whether load may keep the tree without reading the file.
  enum class Reuse : uint8_t {
    // Never: a change starts from the file, and a query sees even an edit
    // that kept the file's identity.
    kNever,
    // While the file keeps an identity that was settled when its text was
    // read: for listings, which are called once per item.
    kWhileUnchanged,
  };

  // Brings the snapshot up to date with `file`, reading it unless `reuse`
  // allows otherwise; a missing file (or directory) is an empty tree,
  // anything unreadable or malformed kIoError (the snapshot then stays as it
  // was).
  Status load(const char* file, Reuse reuse);

  // The tree, after a load that returned kOk.
  Tree& tree();

  // After a change of the tree: it now matches `text`, a copy of which is
  // kept. Without the memory for the copy the snapshot is dropped.
  void changed(const char* text, size_t size);

  // The tree was changed but matches no text (a change cut short).
  void forget();

 private:
  void replace(bool missing, char* text, size_t size, Tree* tree);

  Snapshot& snapshot_;
  std::unique_lock<Lock> guard_;
};

}  // namespace platform::registry::internal

#endif  // PLATFORM_SRC_PROFILE_REGISTRY_STORE_H
