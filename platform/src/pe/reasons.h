// The reasons the PE layer gives for failures known by a number (a missing
// resource type, a failed write), in words a user knows. Internal to the PE
// layer.
#ifndef PLATFORM_SRC_PE_REASONS_H
#define PLATFORM_SRC_PE_REASONS_H

#include "platform/files.h"
#include "platform/pe/resources.h"

namespace platform::pe::internal {

// Why a file has no names of `type`:
//   missingTypeReason(ResourceId::fromId(16)) -> "the file has no version resource"
//   missingTypeReason(ResourceId::fromName(u"CONFIG")) -> "the file has no resources of that type"
const char* missingTypeReason(ResourceId type) noexcept;

// Why a write failed, where the system says more than that it failed:
//   writeFailureReason(kErrorNoSpace, "cannot write the file") -> "no space left on the disk"
//   writeFailureReason(kErrorIo, "cannot write the file") -> "cannot write the file"
const char* writeFailureReason(ErrorNumber error, const char* otherwise) noexcept;

}  // namespace platform::pe::internal

#endif  // PLATFORM_SRC_PE_REASONS_H
