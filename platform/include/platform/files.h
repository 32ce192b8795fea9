// File-system queries the library needs before its file layer exists.
#ifndef PLATFORM_FILES_H
#define PLATFORM_FILES_H

#include <cstdint>

namespace platform {

// GetFileAttributes, reduced to what the library asks.
enum class FileKind : uint8_t { kMissing, kFile, kDirectory, kReadOnlyFile };

// Classifies a NUL-terminated UTF-8 path; '\' counts as a separator. A file
// is read-only when no one may write it (no write permission bit set).
FileKind fileKind(const char* path) noexcept;

}  // namespace platform

#endif  // PLATFORM_FILES_H
