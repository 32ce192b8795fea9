// The plan of a resource update: where the new resource section goes in the
// file and in memory, which sections and tables move with it, and the header
// fields that change. Pure: it looks at the parsed headers only. Internal to
// the PE layer.
#ifndef PLATFORM_SRC_PE_UPDATE_PLAN_H
#define PLATFORM_SRC_PE_UPDATE_PLAN_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/pe/image.h"

namespace platform::pe::internal {

// A 32-bit header field's new value, by its file offset.
struct FieldPatch {
  uint32_t offset;
  uint32_t value;
};

inline constexpr size_t kMaxFieldPatches = 4 * kMaxSections + 2 * kMaxDirectories + 8;

// The new file is: the headers (bytes [0, headersEnd) with the patches),
// the old bytes [headersEnd, resourceAt), the new section (newRawSize
// bytes), then the old tail [tailAt, fileSize) without [cutAt, cutEnd).
struct UpdatePlan {
  uint32_t headersEnd = 0;
  uint64_t resourceAt = 0;
  uint32_t oldRawSize = 0;
  uint32_t newRawSize = 0;
  uint64_t tailAt = 0;
  uint64_t cutAt = 0;
  uint64_t cutEnd = 0;
  uint64_t newFileSize = 0;
  uint32_t checksumField = 0;
  bool certificateRemoved = false;
  size_t patchCount = 0;
  FieldPatch patches[kMaxFieldPatches];
};

// Plans the replacement of section `resourceSection` (which holds the
// resource directory) by a section of `newSize` bytes. A section that fits
// the old one's file bytes keeps their size, so nothing behind it moves.
// Returns null, or why the file cannot be rewritten (always
// kErrorInvalidArgument).
const char* planUpdate(const ImageHeaders& headers, int resourceSection, size_t newSize, UpdatePlan* plan) noexcept;

// Where a byte at `offset` of the old file's tail lies in the new file.
uint64_t newOffsetOf(const UpdatePlan& plan, uint64_t offset) noexcept;

// Writes the plan's patches over `bytes`, the file's first `size` bytes.
void applyPatches(const UpdatePlan& plan, unsigned char* bytes, size_t size) noexcept;

}  // namespace platform::pe::internal

#endif  // PLATFORM_SRC_PE_UPDATE_PLAN_H
