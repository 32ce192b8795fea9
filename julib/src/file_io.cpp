// Reading, writing and closing through file handles.

#include <climits>

#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"
#include "platform/ansi.h"
#include "platform/files.h"

namespace {

constexpr uint16_t kMsgDiskFull = 1506;
constexpr uint16_t kMsgInputOutput = 30041;

// The largest piece one write call is given; a rest below 65535 bytes goes
// in one piece.
constexpr size_t kWritePiece = 65534;
// Text converts into a stack buffer of this size, else into a block.
constexpr int kTextBufferBytes = 1536;

// Handles are descriptor + 1; 0 and values beyond any descriptor become one
// the system rejects as invalid.
platform::FileDescriptor descriptorOf(JuFileHandle handle) {
  if (handle == kJuNoFile || handle - 1 > static_cast<JuFileHandle>(INT_MAX)) return platform::kNoDescriptor;
  return static_cast<platform::FileDescriptor>(handle - 1);
}

bool makesNoRoom(platform::ErrorNumber error) {
  return error == platform::kErrorNoSpace || error == platform::kErrorFileTooLarge;
}

// Writes one piece, continuing after short writes. 0, or 1 with the reason.
int writePiece(platform::FileDescriptor descriptor, const unsigned char* piece, size_t count) {
  size_t written = 0;
  while (written < count) {
    size_t done = 0;
    const platform::ErrorNumber error = platform::writeFile(descriptor, piece + written, count - written, &done);
    if (makesNoRoom(error) || (error == platform::kErrorNone && done == 0)) {
      juPostError(written == 0 ? kMsgDiskFull : kMsgInputOutput);
      return 1;
    }
    if (error != platform::kErrorNone) {
      juPostFileError(error, nullptr);
      return 1;
    }
    written += done;
  }
  return 0;
}

int seekUnlessCurrent(platform::FileDescriptor descriptor, uint64_t offset) {
  if (offset == kJuFileCurrentPosition) return 0;
  const platform::ErrorNumber error = platform::seekFile(descriptor, offset);
  if (error == platform::kErrorNone) return 0;
  juPostFileError(error, nullptr);
  return 1;
}

}  // namespace

int juFileClose(JuFileHandle handle) {
  if (handle == kJuNoFile) return 0;
  const platform::ErrorNumber error = platform::closeFile(descriptorOf(handle));
  if (error == platform::kErrorNone) return 0;
  juPostFileError(error, nullptr);
  return 1;
}

int juFileRead(JuFileHandle handle, uint64_t offset, void* buffer, size_t count, size_t* countRead) {
  size_t ignored = 0;
  size_t& done = countRead != nullptr ? *countRead : ignored;
  done = 0;
  const platform::FileDescriptor descriptor = descriptorOf(handle);
  if (seekUnlessCurrent(descriptor, offset) != 0) return 1;
  const platform::ErrorNumber error = platform::readFile(descriptor, buffer, count, &done);
  if (error == platform::kErrorNone) return 0;
  juPostFileError(error, nullptr);
  return 1;
}

int juFileWrite(JuFileHandle handle, uint64_t offset, const void* buffer, size_t count) {
  if (count == 0) return 0;
  const platform::FileDescriptor descriptor = descriptorOf(handle);
  if (seekUnlessCurrent(descriptor, offset) != 0) return 1;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (count > 0) {
    const size_t piece = count <= kWritePiece ? count : kWritePiece;
    if (writePiece(descriptor, bytes, piece) != 0) return 1;
    bytes += piece;
    count -= piece;
  }
  return 0;
}

int juFileWriteTextW(JuFileHandle handle, uint64_t offset, const char16_t* text, size_t units, int utf8) {
  if (units == 0) return 0;
  if (text == nullptr) {
    juPostFileError(platform::kErrorInvalidArgument, nullptr);
    return 1;
  }
  // The converter counts in int; a longer text cannot be held anyway.
  if (units > static_cast<size_t>(INT_MAX)) {
    juReportOutOfMemory();
    return 1;
  }
  const uint32_t codePage = utf8 != 0 ? platform::kCodePageUtf8 : platform::kCodePageThread;
  const int n = static_cast<int>(units);
  char stack[kTextBufferBytes];
  int bytes = platform::wideToMultiByte(codePage, text, n, stack, kTextBufferBytes);
  if (bytes > 0) return juFileWrite(handle, offset, stack, static_cast<size_t>(bytes));

  const int needed = platform::wideToMultiByte(codePage, text, n, nullptr, 0);
  if (needed <= kTextBufferBytes) {  // the stack buffer was large enough: the text is at fault
    juPostFileError(platform::kErrorIllegalSequence, nullptr);
    return 1;
  }
  char* block = static_cast<char*>(juMallocChecked(static_cast<size_t>(needed) + 1));
  if (block == nullptr) return 1;
  bytes = platform::wideToMultiByte(codePage, text, n, block, needed);
  int result = 1;
  if (bytes > 0) {
    result = juFileWrite(handle, offset, block, static_cast<size_t>(bytes));
  } else {
    juPostFileError(platform::kErrorIllegalSequence, nullptr);
  }
  juFree(block);
  return result;
}
