// Pure path rules: both '/' and '\' separate on input; nothing here touches a
// disk, so backslash paths are tested on Linux as they are.
#ifndef PLATFORM_PATHS_H
#define PLATFORM_PATHS_H

#include <cstddef>
#include <string_view>

namespace platform {

inline bool isPathSeparator(char c) { return c == '/' || c == '\\'; }

// Length of the directory part of `path`, its trailing separator included;
// 0 when the path has no separator.
//   directoryLength("a\\b/c.txt") -> 4 ("a\\b/")
size_t directoryLength(std::string_view path) noexcept;

// The file name after the directory part.   fileName("a/b.txt") -> "b.txt"
std::string_view fileName(std::string_view path) noexcept;

}  // namespace platform

#endif  // PLATFORM_PATHS_H
