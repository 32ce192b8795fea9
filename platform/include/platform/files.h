// File-system and system-name services: kinds of paths, descriptors (open,
// read, write, seek, close), directory entries (remove, rename, replace),
// file times, temporary files, the current directory, environment variables, and the host's and
// user's names.
//
// Paths are NUL-terminated bytes as the system stores them (UTF-8 here); both
// '/' and '\' separate on input, and what reaches the system uses '/'. Nothing
// here upper-cases a name: every file system under this layer keeps case.
// Failures come back as an ErrorNumber, translated from the system's own
// error right where its call fails.
#ifndef PLATFORM_FILES_H
#define PLATFORM_FILES_H

#include <cstddef>
#include <cstdint>

namespace platform {

// ---------------------------------------------------------------------------
// Kinds of paths.
// ---------------------------------------------------------------------------

// GetFileAttributes, reduced to what the library asks.
enum class FileKind : uint8_t { kMissing, kFile, kDirectory, kReadOnlyFile };

// Classifies a NUL-terminated UTF-8 path; '\' counts as a separator. A file
// is read-only when no one may write it (no write permission bit set).
FileKind fileKind(const char* path) noexcept;

// ---------------------------------------------------------------------------
// Error numbers.
// ---------------------------------------------------------------------------

// The C runtime's error numbers, which the library's file-error table is
// written in: 36 is a locked region, never a name that is too long, whatever
// the system's errno says. Numbers without a constant pass through as the
// system gives them.
using ErrorNumber = int32_t;
inline constexpr ErrorNumber kErrorNone = 0;
inline constexpr ErrorNumber kErrorNotFound = 2;
inline constexpr ErrorNumber kErrorIo = 5;
inline constexpr ErrorNumber kErrorBadDescriptor = 9;
inline constexpr ErrorNumber kErrorNoMemory = 12;
inline constexpr ErrorNumber kErrorAccessDenied = 13;
inline constexpr ErrorNumber kErrorExists = 17;
inline constexpr ErrorNumber kErrorNotDirectory = 20;
inline constexpr ErrorNumber kErrorIsDirectory = 21;
inline constexpr ErrorNumber kErrorInvalidArgument = 22;
inline constexpr ErrorNumber kErrorTooManyOpen = 24;
inline constexpr ErrorNumber kErrorFileTooLarge = 27;
inline constexpr ErrorNumber kErrorNoSpace = 28;  // also a full quota
inline constexpr ErrorNumber kErrorRange = 34;    // a result does not fit
inline constexpr ErrorNumber kErrorLocked = 36;
inline constexpr ErrorNumber kErrorNameTooLong = 38;
inline constexpr ErrorNumber kErrorNotEmpty = 41;
inline constexpr ErrorNumber kErrorIllegalSequence = 42;

// The number a system errno value is reported as.
//   errorNumberOf(ENAMETOOLONG) -> kErrorNameTooLong (38), errorNumberOf(ENOENT) -> 2
ErrorNumber errorNumberOf(int systemErrno) noexcept;

// ---------------------------------------------------------------------------
// Descriptors.
// ---------------------------------------------------------------------------

// A small non-negative integer; kNoDescriptor for none.
using FileDescriptor = int;
inline constexpr FileDescriptor kNoDescriptor = -1;

// Options of openFile, combined with '|'. Every file is opened as bytes
// (no newline translation) and is not inherited by programs started later.
inline constexpr uint32_t kOpenReadWrite = 1;        // else read-only
inline constexpr uint32_t kOpenCreate = 2;           // create when missing
inline constexpr uint32_t kOpenTruncate = 4;         // only with kOpenReadWrite or kOpenWriteOnly
inline constexpr uint32_t kOpenExclusive = 8;        // with kOpenCreate: fail when it exists
inline constexpr uint32_t kOpenAppend = 16;          // every write goes to the end
inline constexpr uint32_t kOpenCreateReadOnly = 32;  // a file created now gets no write permission
inline constexpr uint32_t kOpenDeleteOnClose = 64;   // see below
inline constexpr uint32_t kOpenDenyWriters = 128;    // see below
inline constexpr uint32_t kOpenDenyAll = 256;        // wins over kOpenDenyWriters
inline constexpr uint32_t kOpenWriteOnly = 512;      // written, never read; wins over kOpenReadWrite
inline constexpr uint32_t kOpenSystemPath = 1024;    // the path uses '/' already: a '\' byte stays

// Opens `path`. A directory is not a file: opening one fails with
// kErrorAccessDenied.
//
// Delete-on-close: the name is removed right after the open, so the file
// lives exactly as long as its descriptors and no later open by name finds
// it (where an open that fails for that reason would also have failed on a
// system that deletes at close, for the sharing it imposes).
//
// Sharing: advisory locks taken without waiting. kOpenDenyAll takes the
// file's exclusive lock, kOpenDenyWriters its shared lock; an open whose lock
// conflicts with one held through another open fails with kErrorLocked.
// Opens without these options take no lock and are never refused.
//
// Returns kErrorNone and the descriptor, or the error and kNoDescriptor.
[[nodiscard]] ErrorNumber openFile(const char* path, uint32_t options, FileDescriptor* descriptor) noexcept;

// Closes a descriptor (it is gone even when an error is reported).
[[nodiscard]] ErrorNumber closeFile(FileDescriptor descriptor) noexcept;

// The size in bytes of the file open on `descriptor`.
[[nodiscard]] ErrorNumber fileSize(FileDescriptor descriptor, uint64_t* size) noexcept;

// What tells one file from another whichever descriptor or name reaches it:
// its device and inode. Every descriptor of a file (and of its other names)
// gives the same key; the zero key is no file's.
struct FileKey {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileKey& other) const { return device == other.device && inode == other.inode; }
  bool operator!=(const FileKey& other) const { return !(*this == other); }
};

// The key of the file open on `descriptor`.
[[nodiscard]] ErrorNumber fileKey(FileDescriptor descriptor, FileKey* key) noexcept;

// Moves the file position to `offset` bytes from the start; an offset above
// 2^63 - 1 fails with kErrorInvalidArgument.
[[nodiscard]] ErrorNumber seekFile(FileDescriptor descriptor, uint64_t offset) noexcept;

// One read of up to `count` bytes at the file position; *done receives the
// bytes read (0 at the end of the file). A read interrupted by a signal is
// repeated.
[[nodiscard]] ErrorNumber readFile(FileDescriptor descriptor, void* buffer, size_t count, size_t* done) noexcept;

// One read of up to `count` bytes at `offset`, leaving the file position as
// it is; *done as readFile's.
//   readFileAt(fd, size - 1, &last, 1, &done) -> kErrorNone, the last byte
[[nodiscard]] ErrorNumber readFileAt(FileDescriptor descriptor, uint64_t offset, void* buffer, size_t count,
                                     size_t* done) noexcept;

// One write of up to `count` bytes; *done receives the bytes written, which
// may be fewer (callers loop). A full disk or quota is kErrorNoSpace. A write
// at or past the process's file-size limit is kErrorFileTooLarge and raises
// no signal in the process (the system's SIGXFSZ, whose default action ends
// it, is held back in the calling thread for the write and taken away again;
// one the application held pending before stays pending); one that crosses
// the limit writes up to it.
[[nodiscard]] ErrorNumber writeFile(FileDescriptor descriptor, const void* buffer, size_t count, size_t* done) noexcept;

// Writes all `count` bytes, continuing after short writes; a write that
// makes no progress is kErrorIo. *written (when given) receives the bytes
// written, all of them or those before the failure.
[[nodiscard]] ErrorNumber writeWhole(FileDescriptor descriptor, const void* buffer, size_t count,
                                     size_t* written = nullptr) noexcept;

// Takes back the last `bytes` bytes a write on `descriptor` (opened with
// kOpenAppend) put at the file's end, by cutting the file before them: a
// record that a full disk or the size limit cut short goes whole. Only while
// nothing else was written to the file after them; false, the file left as
// it is, when something was or the system refuses.
//   writeWhole(fd, record, 300, &written) -> kErrorFileTooLarge, written 120;
//   takeBackLastWrite(fd, 120) -> true, the file as it was before the record
bool takeBackLastWrite(FileDescriptor descriptor, uint64_t bytes) noexcept;

// Cuts the file open on `descriptor` (for writing) to its first `size`
// bytes; a file of `size` bytes or fewer stays as it is: a cut never makes a
// file longer.
[[nodiscard]] ErrorNumber cutFile(FileDescriptor descriptor, uint64_t size) noexcept;

// Writes all `count` bytes at file offset `offset`, the file position left
// as it was (pwrite); short writes are continued as writeWhole's.
[[nodiscard]] ErrorNumber writeWholeAt(FileDescriptor descriptor, uint64_t offset, const void* buffer,
                                       size_t count) noexcept;
// Test seam: while non-zero, every writeFile call writes at most this many
// bytes, so callers' handling of short writes can be seen. 0 turns it off.
void setWriteLimitForTesting(size_t bytesPerCall) noexcept;

// ---------------------------------------------------------------------------
// Directory entries.
// ---------------------------------------------------------------------------

// Removes a file's name (not a directory's).
[[nodiscard]] ErrorNumber removeFile(const char* path) noexcept;

// Gives `from` the name `to`. An existing `to` is never replaced: the call
// fails with kErrorExists (on a file system that cannot promise that
// atomically, the test and the rename are two steps).
[[nodiscard]] ErrorNumber renameFile(const char* from, const char* to) noexcept;

// Gives `from` the name `to`, replacing a file that has that name in one
// step: anyone who opens `to` finds the old file or the new one, never none.
// A directory at `to` is not replaced (kErrorIsDirectory).
[[nodiscard]] ErrorNumber replaceFile(const char* from, const char* to) noexcept;

// Calls `visit` with the name of each entry of `directory` (but "." and
// ".."), in the order the system gives them, and whether it is a directory
// (a symbolic link counts as what it names). A visit that returns false ends
// the walk.
//   listDirectory("drivers", visit, &names) -> kErrorNone, visit("a.dll",
//   false, &names), visit("tools", true, &names)
// kErrorNone also when the walk was ended by the visitor; the system's
// reason when the directory cannot be read.
using DirectoryVisitor = bool (*)(const char* name, bool isDirectory, void* context);
[[nodiscard]] ErrorNumber listDirectory(const char* directory, DirectoryVisitor visit, void* context) noexcept;
// Test seam: how many times listDirectory has been called in this process.
uint64_t directoryListingsForTesting() noexcept;

// Flushes the file's bytes to the disk (fsync), for a file that is about to
// replace the only other copy of its content: after a crash the name then
// finds the new bytes whole. Costs a wait for the disk; most callers need
// not. A missing file is kErrorNotFound.
//   syncFile("out/setup.exe.new") -> kErrorNone
[[nodiscard]] ErrorNumber syncFile(const char* path) noexcept;

// ---------------------------------------------------------------------------
// File times.
// ---------------------------------------------------------------------------

// A last-write time: seconds and nanoseconds since 1970-01-01 00:00 UTC.
struct FileTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
};

// The last-write time of the file `path` (of the file a symbolic link names).
//   fileWriteTime("a.dll", &t) -> kErrorNone, t = {1700000000, 250000000}
[[nodiscard]] ErrorNumber fileWriteTime(const char* path, FileTime* time) noexcept;
// What a branding or a copy keeps of a file open on a descriptor.
struct FileStatus {
  uint64_t size = 0;
  FileTime writeTime;
  uint32_t permissions = 0;  // the permission bits, 07777
};
[[nodiscard]] ErrorNumber fileStatus(FileDescriptor descriptor, FileStatus* status) noexcept;

// Sets the last-write time of `path`; its last-access time stays as it is.
[[nodiscard]] ErrorNumber setFileWriteTime(const char* path, const FileTime& time) noexcept;

// ---------------------------------------------------------------------------
// Temporary files and the current directory.
// ---------------------------------------------------------------------------

// The directory for temporary files ($TMPDIR when set and not empty, else
// "/tmp"), with a trailing '/', and a NUL into `buffer` of `size` bytes.
// Returns its length; 0 (buffer emptied when size > 0) when it does not fit.
//   temporaryDirectory(buf, 260) -> 5, "/tmp/"
size_t temporaryDirectory(char* buffer, size_t size) noexcept;

// Creates a new empty file with a unique name: `directory` (a trailing
// separator optional), `prefix`, then six characters chosen for uniqueness.
// The name, with '/' separators, and a NUL go to `name` of `size` bytes; a
// name that would not fit fails with kErrorNameTooLong before anything is
// created. The file is closed again.
//   createTemporaryFile("/tmp/", "ju", name, 260) -> "/tmp/juA1b2C3"
[[nodiscard]] ErrorNumber createTemporaryFile(const char* directory, const char* prefix, char* name,
                                              size_t size) noexcept;

// The process's current directory (absolute, '/' separators, no trailing
// separator except for the root) and a NUL into `buffer` of `size` bytes;
// kErrorRange when it does not fit.
[[nodiscard]] ErrorNumber currentDirectory(char* buffer, size_t size) noexcept;

// ---------------------------------------------------------------------------
// Environment.
// ---------------------------------------------------------------------------

inline constexpr size_t kNoVariable = SIZE_MAX;

// The value of the environment variable `name`: copied with a NUL into
// `buffer` when its length is below `size`. Returns the value's length in
// bytes, whether or not it was copied; kNoVariable when it is not set.
//   environmentVariable("HOME", buf, 2) -> 5 for "/root", nothing copied
size_t environmentVariable(const char* name, char* buffer, size_t size) noexcept;

// The separator of the directories in the "PATH" variable.
char pathListSeparator() noexcept;

// ---------------------------------------------------------------------------
// System names (as the system holds them; no network look-up).
// ---------------------------------------------------------------------------

// The host name as the system gives it, and a NUL; kErrorRange when it does
// not fit `size` bytes.
[[nodiscard]] ErrorNumber hostName(char* buffer, size_t size) noexcept;

// The login name of the user the process acts for (effective user id), from
// the password database; kErrorNotFound when the database has no entry for
// it, kErrorRange when it does not fit `size` bytes.
[[nodiscard]] ErrorNumber userName(char* buffer, size_t size) noexcept;

}  // namespace platform

#endif  // PLATFORM_FILES_H
