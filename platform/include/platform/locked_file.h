// Whole-file updates that concurrent threads and processes can share: read a
// file whole, hold the right to change it, replace it atomically.
//
// A change is a read-modify-write:
//
//   platform::FileUpdateLock lock;
//   if (lock.acquire(path) != kErrorNone) ...             // waits for others
//   platform::readWholeFile(path, &data, &size);          // the current text
//   ... change it ...
//   platform::replaceFileAtomically(path, text, length);  // old or new, whole
//   lock.release();                                       // or leave scope
//
// Readers take no lock: a replacement is a rename, so a reader opens either
// the old file or the new one, each complete. Writers that skip the lock
// would lose each other's changes, since each writes back what it read.
#ifndef PLATFORM_LOCKED_FILE_H
#define PLATFORM_LOCKED_FILE_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/temporary_file.h"

namespace platform {

// Reads the file `path` (UTF-8, '\' separates too) whole into a new buffer
// from std::malloc, which the caller releases with std::free. A NUL follows
// the bytes (not counted in *size), so text parsers may stop on it. A missing
// file is kErrorNotFound; *data is null and *size 0 on every failure.
//   readWholeFile("a.ini", &data, &size) -> kErrorNone, size 12
[[nodiscard]] ErrorNumber readWholeFile(const char* path, char** data, size_t* size) noexcept;

// Replaces the file `path` by `size` bytes at `data`: they are written to a
// new temporary file in the same directory, flushed to the disk (fsync), and
// renamed over `path`; the directory is flushed too. A reader sees the old
// file or the new one whole, never a mixture, and a failure at any step
// leaves the old file untouched (the temporary file is removed). The new file
// keeps the old one's permission bits; a file created now gets the process's
// default ones. A symbolic link at `path` is replaced, not followed. The
// directory must exist.
[[nodiscard]] ErrorNumber replaceFileAtomically(const char* path, const void* data, size_t size) noexcept;

// A replacement written in pieces, for a new file too large to build whole
// in memory first: the same temporary file, sync and rename as
// replaceFileAtomically, with the bytes appended piece by piece and patched
// in place before the commit.
//
//   platform::AtomicFileWriter out;
//   out.begin(path);                    // a TemporaryFile beside it
//   out.write(header, 512);             // appends
//   out.write(body, bodyBytes);
//   out.patch(88, &checksum, 4);        // over bytes written already
//   out.commit();                       // fsync, rename over path
//
// Until commit succeeds the old file is untouched; discard (or the
// destructor) removes the temporary file. After any failed call the writer
// is discarded and every later call but begin fails with kErrorInvalidArgument.
class AtomicFileWriter {
 public:
  AtomicFileWriter() noexcept = default;
  ~AtomicFileWriter() { discard(); }
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Starts a new temporary file beside `path` (the directory must exist and
  // be writable). The new file gets the old file's permission bits, or the
  // process's default ones when `path` does not exist yet.
  [[nodiscard]] ErrorNumber begin(const char* path) noexcept;
  // Appends `size` bytes.
  [[nodiscard]] ErrorNumber write(const void* data, size_t size) noexcept;
  // Overwrites `size` bytes at `offset`; the range must lie within what
  // was written (kErrorInvalidArgument otherwise).
  [[nodiscard]] ErrorNumber patch(uint64_t offset, const void* data, size_t size) noexcept;
  // Flushes the file and renames it over `path`.
  [[nodiscard]] ErrorNumber commit() noexcept;
  // Removes the temporary file; nothing when none is open.
  void discard() noexcept;
  // Bytes appended so far.
  uint64_t written() const noexcept { return written_; }

 private:
  ErrorNumber fail(ErrorNumber error) noexcept;

  TemporaryFile file_;
  uint64_t written_ = 0;
};

// The exclusive right to change one file, shared by the threads of this
// process and by other processes: a process-wide lock, then an exclusive
// advisory lock on the file "<path>.lock" beside it (created when missing and
// left in place, since a lock on the file itself would stay with the old
// file once a replacement renames a new one over it). acquire waits until
// both are held. One object holds one file at a time; releasing twice, or
// releasing what was never acquired, does nothing. Do not hold two at once
// in one thread while another thread or process may take the same two in
// the other order.
class FileUpdateLock {
 public:
  FileUpdateLock() noexcept = default;
  ~FileUpdateLock() { release(); }
  FileUpdateLock(const FileUpdateLock&) = delete;
  FileUpdateLock& operator=(const FileUpdateLock&) = delete;

  // kErrorNone when held; otherwise nothing is held (a directory that does
  // not exist gives kErrorNotFound, one that cannot be written
  // kErrorAccessDenied).
  [[nodiscard]] ErrorNumber acquire(const char* path) noexcept;
  void release() noexcept;
  bool held() const noexcept { return descriptor_ != kNoDescriptor; }

 private:
  FileDescriptor descriptor_ = kNoDescriptor;  // the lock file, while held
};

}  // namespace platform

#endif  // PLATFORM_LOCKED_FILE_H
