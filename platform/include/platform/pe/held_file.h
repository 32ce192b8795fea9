// A file being written whose writer still holds some of its bytes in
// memory: the PE layer reads those from memory and the rest from the file,
// so a writer that keeps back the headers and the resource section has them
// read (and, by an update that fits, written) without a round trip through
// the disk.
//
//   // the copy wrote every byte but [0, headersEnd) and the resource section
//   platform::pe::HeldSpan spans[] = {{0, head, headersEnd}, {rsrcAt, rsrc, rsrcSize}};
//   platform::pe::HeldFile file{temporary.descriptor(), temporary.path(), size, spans, 2};
//   ResourceFile reader;    reader.openHeld(file);    // reads nothing from the file
//   ResourceUpdate update;  update.beginHeld(file);   // the same
#ifndef PLATFORM_PE_HELD_FILE_H
#define PLATFORM_PE_HELD_FILE_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace platform::pe {

// Spans a HeldFile may have; more is kErrorInvalidArgument.
inline constexpr size_t kMaxHeldSpans = 8;

// `size` bytes at file offset `offset` that the writer holds in memory,
// not (or not yet) in the file.
struct HeldSpan {
  uint64_t offset;
  const unsigned char* bytes;
  size_t size;
};

// The file: its descriptor holds every byte no span holds (a span's place
// in the file may be a hole, or past the file's end so far). Spans lie
// within `size` and do not overlap; a span's bytes win over the file's.
//
// The PE layer reads the descriptor where no span holds the bytes it needs,
// and writes it when an update commits; the descriptor's file position is
// left where those reads and writes end (callers that go on writing seek
// first). It is never closed here. Spans that do not cover the headers and
// the resource section are still read right, from the file.
struct HeldFile {
  FileDescriptor descriptor;  // open for reading and writing
  const char* path;           // its name (UTF-8), for an update that replaces the file
  uint64_t size;              // the whole file's size, held spans included
  const HeldSpan* spans;      // up to kMaxHeldSpans; the array may go after the call
  size_t spanCount;
};

}  // namespace platform::pe

#endif  // PLATFORM_PE_HELD_FILE_H
