// A new file written beside the file it is to replace, and the leftovers of
// writers that were killed before they were done.
//
//   platform::TemporaryFile out;
//   if (out.create("drivers/xyora28.dll", 0755) != kErrorNone) ...
//   writeWhole(out.descriptor(), bytes, size);
//   out.keep(false);  // renamed over drivers/xyora28.dll; or discard()
//
// The file's name is one no other file has: the target's name followed by
// ".~<pid>-<n>.tmp", created exclusively (an existing file of that name is
// never opened, truncated or removed; the next number is tried). While it is
// open the file holds its exclusive advisory lock, so removeStaleTemporaryFile
// can tell a leftover of a process that died from a file being written.
#ifndef PLATFORM_TEMPORARY_FILE_H
#define PLATFORM_TEMPORARY_FILE_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace platform {

class TemporaryFile {
 public:
  TemporaryFile() noexcept = default;
  ~TemporaryFile() { discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // For create: the bits a new file gets from the process's mask.
  static constexpr uint32_t kDefaultPermissions = 0x80000000u;

  // Makes the file beside `target` (UTF-8, '\' separates too; the directory
  // must exist) for reading and writing, with exactly the permission bits
  // `permissions` (0644, 0755: the process's mask does not apply), or those
  // of any new file for kDefaultPermissions. A temporary file this object
  // held is discarded first.
  [[nodiscard]] ErrorNumber create(const char* target, uint32_t permissions) noexcept;

  bool open() const noexcept { return descriptor_ != kNoDescriptor; }
  FileDescriptor descriptor() const noexcept { return descriptor_; }
  // The temporary file's own path, with '/' separators ("" when none).
  const char* path() const noexcept { return path_; }

  // Renames the file over the target and closes it; with `sync` its bytes
  // and then the directory go to the disk first (for a file that replaces
  // the only other copy of its content). On failure the temporary file is
  // removed and the target is as it was.
  [[nodiscard]] ErrorNumber keep(bool sync) noexcept;
  // Closes and removes the temporary file; nothing when none is open.
  void discard() noexcept;

 private:
  FileDescriptor descriptor_ = kNoDescriptor;
  char target_[4096] = {};
  char path_[4096] = {};
};

// True for a name (the last part of a path, or a whole path) that
// TemporaryFile makes.
//   isTemporaryFileName("xyora28.dll.~4242-0.tmp") -> true
//   isTemporaryFileName("xyora28.dll.new") -> false
bool isTemporaryFileName(const char* name) noexcept;

// Removes `path` when it is a temporary file whose writer is gone: its name
// is one TemporaryFile makes, the process the name holds is not running (or
// is this one), and no one holds the file's lock.
//   | kErrorNone            | removed                                      |
//   | kErrorLocked          | its writer may still be writing: kept        |
//   | kErrorInvalidArgument | not a name TemporaryFile makes: kept         |
//   | others                | the system's reason (kErrorNotFound: gone)   |
[[nodiscard]] ErrorNumber removeStaleTemporaryFile(const char* path) noexcept;

}  // namespace platform

#endif  // PLATFORM_TEMPORARY_FILE_H
