// Where the PE layer reads a file from (a descriptor, bytes in memory, or
// both: a file whose writer holds some of its bytes), and the loading of its
// headers and resource tree, shared by the reader and the updater. Internal
// to the PE layer.
#ifndef PLATFORM_SRC_PE_IMAGE_SOURCE_H
#define PLATFORM_SRC_PE_IMAGE_SOURCE_H

#include <cstddef>
#include <cstdint>

#include "pe/resource_tree.h"
#include "platform/files.h"
#include "platform/pe/held_file.h"
#include "platform/pe/image.h"

namespace platform::pe::internal {

// The file's bytes: the spans' from memory, the others from the descriptor.
struct ByteSource {
  FileDescriptor descriptor = kNoDescriptor;
  uint64_t size = 0;
  HeldSpan spans[kMaxHeldSpans] = {};
  size_t spanCount = 0;

  // Exactly `count` bytes at `offset` (within size) into `out`.
  [[nodiscard]] ErrorNumber readAt(uint64_t offset, void* out, size_t count) const noexcept;
  // How many bytes from `offset` on, up to `limit`, the spans hold without
  // a gap.
  size_t heldRun(uint64_t offset, size_t limit) const noexcept;
};

// Opens `path` read-only as a source; "cannot open the file" on failure.
const char* openSource(const char* path, ByteSource* source, ErrorNumber* error) noexcept;
// A source of `size` bytes in memory.
ByteSource memorySource(const unsigned char* data, size_t size) noexcept;
// A source of a held file, its spans checked (within its size, at most
// kMaxHeldSpans, their bytes given); null or what is wrong, with *error.
const char* heldSource(const HeldFile& file, ByteSource* source, ErrorNumber* error) noexcept;

// The headers and resources of a source. resourceSection is -1 when the
// file has no resource directory (the tree is then empty).
struct LoadedImage {
  ImageHeaders headers;
  int resourceSection = -1;
  ResourceTree tree;
};

// Reads and checks the headers, then the resource section and its tree.
// Returns null, or what is wrong with *error set.
const char* loadImage(const ByteSource& source, LoadedImage* image, ErrorNumber* error) noexcept;

}  // namespace platform::pe::internal

#endif  // PLATFORM_SRC_PE_IMAGE_SOURCE_H
