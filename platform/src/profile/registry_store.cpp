// The registry store's files and the snapshot of each root
// (registry_store.h). A call reads the file afresh, but parses it only when
// its text changed; a listing by index does not even read it while the file
// keeps its identity. Readers take no lock, since the file is only ever
// replaced by a rename.

#include "profile/registry_store.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/files.h"
#include "platform/lock.h"
#include "platform/locked_file.h"
#include "profile/registry_format.h"

namespace platform::registry::internal {
namespace {

// ---------------------------------------------------------------------------
// Where the files are.
// ---------------------------------------------------------------------------

// The system side (unix/registry.inc).
bool defaultStoreDirectory(char* out, size_t size);

constexpr const char* kRootFileNames[] = {"current_user.reg", "local_machine.reg"};

Lock directoryLock;
[[maybe_unused]] const bool directoryLockKept = keepAcrossFork(directoryLock, ForkStage::kPlatformInner);
char testDirectory[kPathBytes];  // empty: the default
bool testDirectoryTooLong = false;

}  // namespace

bool storePaths(Root root, char* directory, char* file) {
  {
    std::lock_guard<Lock> guard(directoryLock);
    if (testDirectoryTooLong) return false;
    std::memcpy(directory, testDirectory, kPathBytes);
  }
  if (directory[0] == '\0' && !defaultStoreDirectory(directory, kPathBytes)) return false;
  const char* name = kRootFileNames[static_cast<size_t>(root)];
  const size_t directoryLength = std::strlen(directory);
  const size_t nameLength = std::strlen(name);
  if (directoryLength + 1 + nameLength >= kPathBytes) return false;
  std::memcpy(file, directory, directoryLength);
  file[directoryLength] = '/';
  std::memcpy(file + directoryLength + 1, name, nameLength + 1);
  return true;
}

// ---------------------------------------------------------------------------
// Snapshots.
// ---------------------------------------------------------------------------

// What this process last read or wrote of a root's file: the text and the
// tree parsed from it, and the identity of the file that text was read from.
// The tree always matches the text exactly; it serves whatever file shows
// the same text, whichever directory that file is in.
struct Snapshot {
  Lock lock;
  bool filled = false;   // false: nothing known, parse whatever is read
  bool missing = false;  // the file did not exist (an empty tree)
  char* text = nullptr;  // std::malloc
  size_t size = 0;
  Tree* tree = nullptr;
  bool identified = false;  // the text is that of the file of `identity`
  FileIdentity identity;
};

namespace {

// Never destroyed: a host process may call in while it exits.
Snapshot snapshots[2];
// Taken inside a whole-file update, so after its lock in a fork.
[[maybe_unused]] const bool snapshotLocksKept = keepAcrossFork(snapshots[0].lock, ForkStage::kPlatformStore) &&
                                                keepAcrossFork(snapshots[1].lock, ForkStage::kPlatformStore);

std::atomic<size_t> fileReads{0};

}  // namespace

size_t fileReadsForTesting() noexcept { return fileReads.load(std::memory_order_relaxed); }

CurrentTree::CurrentTree(Root root) : snapshot_(snapshots[static_cast<size_t>(root)]) {}

Status CurrentTree::load(const char* file, Reuse reuse) {
  FileIdentity identity;
  bool identified = fileIdentity(file, &identity);
  if (reuse == Reuse::kWhileUnchanged && identified) {
    guard_ = std::unique_lock<Lock>(snapshot_.lock);
    // Settled when the text was read: a change since then has another stamp.
    if (snapshot_.filled && snapshot_.identified && snapshot_.identity.settled &&
        snapshot_.identity.sameVersion(identity)) {
      return Status::kOk;
    }
    guard_.unlock();
  }
  char* text = nullptr;
  size_t size = 0;
  fileReads.fetch_add(1, std::memory_order_relaxed);
  const ErrorNumber error = readWholeFile(file, &text, &size);
  if (error != kErrorNone && error != kErrorNotFound) return Status::kIoError;
  const bool missing = error == kErrorNotFound;
  // The text is that of the identity only when the file kept it while it was
  // read (a rename may have put another file in its place meanwhile).
  FileIdentity after;
  identified = identified && !missing && fileIdentity(file, &after) && after.sameVersion(identity);
  guard_ = std::unique_lock<Lock>(snapshot_.lock);
  if (snapshot_.filled && snapshot_.missing == missing &&
      (missing || (snapshot_.size == size && std::memcmp(snapshot_.text, text, size) == 0))) {
    std::free(text);
  } else {
    Tree* tree = new (std::nothrow) Tree;
    if (tree == nullptr || (!missing && parse(std::string_view(text, size), tree) != ParseResult::kOk)) {
      delete tree;
      std::free(text);
      return Status::kIoError;
    }
    replace(missing, text, size, tree);
  }
  snapshot_.identified = identified;
  snapshot_.identity = identity;
  return Status::kOk;
}

Tree& CurrentTree::tree() { return *snapshot_.tree; }

void CurrentTree::changed(const char* text, size_t size) {
  char* copy = static_cast<char*>(std::malloc(size > 0 ? size : 1));
  if (copy == nullptr) {
    forget();
    return;
  }
  std::memcpy(copy, text, size);
  // The text is not yet that of any file: the next listing reads the file.
  snapshot_.identified = false;
  snapshot_.missing = false;
  std::free(snapshot_.text);
  snapshot_.text = copy;
  snapshot_.size = size;
}

void CurrentTree::forget() { replace(false, nullptr, 0, nullptr); }

void CurrentTree::replace(bool missing, char* text, size_t size, Tree* tree) {
  delete snapshot_.tree;
  std::free(snapshot_.text);
  snapshot_.filled = tree != nullptr;
  snapshot_.identified = false;
  snapshot_.missing = missing;
  snapshot_.text = text;
  snapshot_.size = size;
  snapshot_.tree = tree;
}

}  // namespace platform::registry::internal

namespace platform::registry {

void setDirectoryForTesting(const char* directory) noexcept {
  std::lock_guard<Lock> guard(internal::directoryLock);
  internal::testDirectory[0] = '\0';
  internal::testDirectoryTooLong = false;
  if (directory == nullptr) return;
  const size_t length = std::strlen(directory);
  // A directory too long to use fails every call rather than let a test
  // fall back to the real store.
  internal::testDirectoryTooLong = length >= internal::kPathBytes;
  if (!internal::testDirectoryTooLong) std::memcpy(internal::testDirectory, directory, length + 1);
}

}  // namespace platform::registry

#include "unix/registry.inc"
