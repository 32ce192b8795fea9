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

// `path` as the system takes it ('\' becomes '/'), then `suffix`, and a NUL
// into `out` of `size` bytes; false (nothing promised in `out`) when the
// whole does not fit.
//   systemPath("a\\b.dll", ".lock", out, 16) -> true, "a/b.dll.lock"
bool systemPath(std::string_view path, std::string_view suffix, char* out, size_t size) noexcept;

}  // namespace platform

#endif  // PLATFORM_PATHS_H
