// Writing a file through a shared mapping of a window of it: how the trace
// library's log takes a record without a system call, while what it stores
// is still the file's as soon as it is stored (the process may die the next
// instant). Stores into the window are guarded: a page the file no longer
// backs, because something cut the file shorter under the mapping, costs the
// copy a false return, never a SIGBUS in the host.
#ifndef PLATFORM_FILE_MAPPING_H
#define PLATFORM_FILE_MAPPING_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace platform {

// Bytes [offset, offset + length) of a file, mapped shared for writing at
// `address`; all zero when nothing is mapped.
struct FileWindow {
  char* address = nullptr;
  uint64_t offset = 0;
  size_t length = 0;
};

// Gives the file open on `descriptor` disk space for the bytes [offset,
// offset + length) and makes it at least offset + length long; the bytes
// added read as zero. A window over space given this way never faults for
// want of disk. kErrorNoSpace when the disk or quota cannot hold it,
// kErrorFileTooLarge past the process's file-size limit (without the signal
// a write there would raise), kErrorInvalidArgument where the file system
// cannot give space ahead.
[[nodiscard]] ErrorNumber reserveFileSpace(FileDescriptor descriptor, uint64_t offset, uint64_t length) noexcept;

// Makes the file exactly `size` bytes long: cuts it, or extends it with
// zeros.
[[nodiscard]] ErrorNumber setFileSize(FileDescriptor descriptor, uint64_t size) noexcept;

// Maps the file's bytes [offset, offset + length) shared for writing, its
// pages made present at once. The descriptor must be open for reading and
// writing; `offset` a multiple of pageSize() (platform/memory.h). The mapping stays
// valid after the descriptor is closed, until unmapFileWindow.
//   mapFileWindow(fd, 0, 1 << 20, &window) -> kErrorNone, window.address
//   holds the file's first megabyte
[[nodiscard]] ErrorNumber mapFileWindow(FileDescriptor descriptor, uint64_t offset, size_t length,
                                        FileWindow* window) noexcept;

// Unmaps the window (nothing when none is mapped) and clears it. What was
// stored stays the file's.
void unmapFileWindow(FileWindow* window) noexcept;

// Whether stores into file windows are guarded: installs, the first time, a
// SIGBUS handler that turns a fault inside copyIntoFileWindow into its false
// return and hands every other SIGBUS on to the handler that was there
// before (or to the default action). True while that handler is still the
// process's: a host may install its own later, and then its handler would
// receive the fault, so callers map only while this says true. When the
// library that holds this layer is unloaded, the handler before it is put
// back.
bool fileWindowGuardInPlace() noexcept;

// Copies `length` bytes into mapped memory. False when a page faulted (the
// file was cut shorter under the window): which of the bytes were stored is
// then unknown. Only safe while fileWindowGuardInPlace().
bool copyIntoFileWindow(char* destination, const char* source, size_t length) noexcept;

}  // namespace platform

#endif  // PLATFORM_FILE_MAPPING_H
