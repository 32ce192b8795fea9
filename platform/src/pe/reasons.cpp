// The PE layer's reasons for failures known by a number: one table each.

#include "pe/reasons.h"

#include <cstddef>
#include <cstdint>

namespace platform::pe::internal {
namespace {

struct Reason {
  int32_t number;
  const char* text;
};

constexpr Reason kMissingTypes[] = {
    {kResourceTypeVersion, "the file has no version resource"},
    {kResourceTypeString, "the file has no string table"},
};

constexpr Reason kWriteFailures[] = {
    {kErrorNoSpace, "no space left on the disk"},
    {kErrorFileTooLarge, "the file would pass the file-size limit"},
    {kErrorAccessDenied, "no permission to write the file"},
};

template <size_t N>
const char* reasonFor(const Reason (&rows)[N], int32_t number, const char* otherwise) {
  for (const Reason& row : rows) {
    if (row.number == number) return row.text;
  }
  return otherwise;
}

}  // namespace

const char* missingTypeReason(ResourceId type) noexcept {
  const char* other = "the file has no resources of that type";
  return type.isName() ? other : reasonFor(kMissingTypes, type.id(), other);
}

const char* writeFailureReason(ErrorNumber error, const char* otherwise) noexcept {
  return reasonFor(kWriteFailures, error, otherwise);
}

}  // namespace platform::pe::internal
