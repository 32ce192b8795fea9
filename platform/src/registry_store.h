// The registry store's files: where each root's file lives, and the tree
// this process last read or wrote of it (its snapshot), brought up to date
// with the file for the length of one call. The system side is in
// unix/registry.inc.
#ifndef PLATFORM_SRC_REGISTRY_STORE_H
#define PLATFORM_SRC_REGISTRY_STORE_H

#include <cstddef>
#include <mutex>

#include "platform/registry.h"
#include "registry_tree.h"

namespace platform::registry::internal {

constexpr size_t kPathBytes = 4096;

// The directory and the file of a root, each of kPathBytes; false when no
// directory can be named or the path is too long.
bool storePaths(Root root, char* directory, char* file);

// Makes the store's directory and its missing parents, private to the user.
// True when it exists afterwards.
bool createStoreDirectory(const char* directory);

struct Snapshot;

// A root's snapshot, locked and brought up to date with its file for the
// length of one call.
class CurrentTree {
 public:
  explicit CurrentTree(Root root);
  CurrentTree(const CurrentTree&) = delete;
  CurrentTree& operator=(const CurrentTree&) = delete;

  // Reads `file`; a missing file (or directory) is an empty tree, anything
  // unreadable or malformed kIoError (the snapshot then stays as it was).
  Status load(const char* file);

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
  std::unique_lock<std::mutex> guard_;
};

}  // namespace platform::registry::internal

#endif  // PLATFORM_SRC_REGISTRY_STORE_H
