// Pure path rules.

#include "platform/paths.h"

namespace platform {

size_t directoryLength(std::string_view path) noexcept {
  for (size_t i = path.size(); i > 0; --i) {
    if (isPathSeparator(path[i - 1])) return i;
  }
  return 0;
}

std::string_view fileName(std::string_view path) noexcept { return path.substr(directoryLength(path)); }

}  // namespace platform
