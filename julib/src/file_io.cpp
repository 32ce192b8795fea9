// Reading, writing and closing through file handles.

#include <climits>

#include "file_internal.h"
#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"
#include "platform/ansi.h"
#include "platform/files.h"

using julib::files::descriptorOf;

namespace {

// The largest piece one write call is given; a rest below 65535 bytes goes
// in one piece.
constexpr size_t kWritePiece = 65534;
// Text converts into a stack buffer of this size, else into a block.
constexpr int kTextBufferBytes = 1536;

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
      // A piece cut short names the reason the system gave (0 for none), so
      // the message never shows its bare placeholder.
      if (written == 0) {
        juPostError(kJuMsgDiskFull);
      } else {
        juPostError(kJuMsgFileInputOutput)->addParam(error);
      }
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

// The bytes of a text write into `destination` of `size` bytes: UTF-8,
// exact as names are (julib::files::toUtf8), or the thread's ANSI code page,
// where a character without a mapping becomes '?'. n fits an int.
julib::files::Conversion textBytes(bool utf8, const char16_t* text, size_t n, char* destination, size_t size,
                                   size_t* bytes) {
  using julib::files::Conversion;
  if (utf8) return julib::files::toUtf8(text, n, destination, size, bytes);
  *bytes = 0;
  const int room = size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
  const int written = platform::wideToMultiByte(platform::kCodePageThread, text, static_cast<int>(n),
                                                room > 0 ? destination : nullptr, room);
  if (written > 0) {
    *bytes = static_cast<size_t>(written);
    return Conversion::kDone;
  }
  const int needed = platform::wideToMultiByte(platform::kCodePageThread, text, static_cast<int>(n), nullptr, 0);
  // Room for what it needs, and still no result: the text is at fault.
  if (needed <= 0 || static_cast<size_t>(needed) <= size) return Conversion::kInvalid;
  *bytes = static_cast<size_t>(needed);
  return Conversion::kNoRoom;
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

int juFileWriteWhole(JuFileHandle handle, uint64_t offset, const void* buffer, size_t count) {
  if (count == 0) return 0;
  const platform::FileDescriptor descriptor = descriptorOf(handle);
  if (seekUnlessCurrent(descriptor, offset) != 0) return 1;
  return writePiece(descriptor, static_cast<const unsigned char*>(buffer), count);
}

int juFileWriteTextW(JuFileHandle handle, uint64_t offset, const char16_t* text, size_t units, int utf8) {
  using julib::files::Conversion;
  if (units == 0) return 0;
  if (text == nullptr) {
    juPostFileError(platform::kErrorInvalidArgument, nullptr);
    return 1;
  }
  // The converters count in int; a longer text cannot be held anyway.
  if (units > static_cast<size_t>(INT_MAX)) {
    juReportOutOfMemory();
    return 1;
  }
  // The whole text is converted before anything is written, so a text that
  // cannot be converted leaves the file as it was.
  char stack[kTextBufferBytes];
  size_t bytes = 0;
  const Conversion first = textBytes(utf8 != 0, text, units, stack, sizeof stack, &bytes);
  if (first == Conversion::kDone) return juFileWrite(handle, offset, stack, bytes);
  if (first == Conversion::kInvalid) {
    juPostFileError(platform::kErrorIllegalSequence, nullptr);
    return 1;
  }
  char* block = static_cast<char*>(juMallocChecked(bytes + 1));
  if (block == nullptr) return 1;
  int result = 1;
  if (textBytes(utf8 != 0, text, units, block, bytes, &bytes) == Conversion::kDone) {
    result = juFileWrite(handle, offset, block, bytes);
  } else {
    juPostFileError(platform::kErrorIllegalSequence, nullptr);
  }
  juFree(block);
  return result;
}
