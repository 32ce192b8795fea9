// A log file's end written through a shared mapping (see log_window.h).

#include "log_window.h"

#include "platform/memory.h"

namespace {

// Bytes a window gives ahead of the records: what a killed process may
// leave as zeros, and how many bytes of records share the system calls of
// one window (about a thousand records).
constexpr size_t kWindowBytes = size_t{256} << 10;

// Reads `count` bytes at `offset`; false when they cannot all be read.
bool readAt(platform::FileDescriptor descriptor, uint64_t offset, char* out, size_t count) {
  if (platform::seekFile(descriptor, offset) != platform::kErrorNone) return false;
  for (size_t done = 0; done < count;) {
    size_t got = 0;
    if (platform::readFile(descriptor, out + done, count - done, &got) != platform::kErrorNone || got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

}  // namespace

bool TraceLogWindow::start(platform::FileDescriptor descriptor, uint64_t end) {
  *this = TraceLogWindow();
  if (!platform::fileWindowGuardInPlace()) return false;
  descriptor_ = descriptor;
  end_ = end;
  reserved_ = end;
  return true;
}

bool TraceLogWindow::put(const char* data, size_t length) {
  if (descriptor_ == platform::kNoDescriptor) return false;
  if (window_.address == nullptr || length > window_.offset + window_.length - end_) {
    if (!advance(length)) return false;
  }
  if (!platform::copyIntoFileWindow(window_.address + (end_ - window_.offset), data, length)) {
    // Something cut the file under the window.
    giveUp();
    return false;
  }
  end_ += length;
  return true;
}

platform::ErrorNumber TraceLogWindow::finish() { return giveUp(); }

void TraceLogWindow::drop() {
  platform::unmapFileWindow(&window_);
  descriptor_ = platform::kNoDescriptor;
}

// Maps a window from the records' end that holds `length` more bytes, the
// file made long enough for it first.
bool TraceLogWindow::advance(size_t length) {
  // The guard is asked again for each window: a host may have put its own
  // SIGBUS handler in place of it since.
  uint64_t size = 0;
  if (platform::fileSize(descriptor_, &size) != platform::kErrorNone || size != reserved_ ||
      !platform::fileWindowGuardInPlace()) {
    giveUp();
    return false;
  }
  const size_t alignment = platform::pageSize();
  const uint64_t offset = end_ - end_ % alignment;
  const size_t lead = static_cast<size_t>(end_ - offset);
  if (length > SIZE_MAX - lead - kWindowBytes) {
    giveUp();
    return false;
  }
  const size_t bytes = (lead + length + kWindowBytes - 1) / kWindowBytes * kWindowBytes;
  platform::unmapFileWindow(&window_);
  if (platform::reserveFileSpace(descriptor_, offset, bytes) != platform::kErrorNone) {
    giveUp();
    return false;
  }
  if (offset + bytes > reserved_) reserved_ = offset + bytes;
  if (platform::mapFileWindow(descriptor_, offset, bytes, &window_) != platform::kErrorNone) {
    giveUp();
    return false;
  }
  return true;
}

// Unmaps the window and cuts the file back to the records, when the bytes
// past them are still only the window's: a file that something else made
// longer than the windows did, or shorter than the records, is left as it
// is. Writing through windows ends here.
platform::ErrorNumber TraceLogWindow::giveUp() {
  if (descriptor_ == platform::kNoDescriptor) return platform::kErrorNone;
  platform::unmapFileWindow(&window_);
  uint64_t size = 0;
  platform::ErrorNumber error = platform::fileSize(descriptor_, &size);
  if (error == platform::kErrorNone && size > end_ && size <= reserved_) {
    error = platform::setFileSize(descriptor_, end_);
  }
  descriptor_ = platform::kNoDescriptor;
  return error;
}

uint64_t TraceLogWindow::recordsEnd(platform::FileDescriptor descriptor, uint64_t size) {
  char block[4096];
  for (uint64_t at = size; at > 0;) {
    const size_t count = at < sizeof block ? static_cast<size_t>(at) : sizeof block;
    if (!readAt(descriptor, at - count, block, count)) return size;
    for (size_t i = count; i > 0; --i) {
      if (block[i - 1] != '\0') return at - count + i;
    }
    at -= count;
  }
  return 0;
}
