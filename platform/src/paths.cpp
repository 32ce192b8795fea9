// Pure path rules.

#include "platform/paths.h"

#include <cstring>

namespace platform {

size_t directoryLength(std::string_view path) noexcept {
  for (size_t i = path.size(); i > 0; --i) {
    if (isPathSeparator(path[i - 1])) return i;
  }
  return 0;
}

std::string_view fileName(std::string_view path) noexcept { return path.substr(directoryLength(path)); }

bool systemPath(std::string_view path, std::string_view suffix, char* out, size_t size) noexcept {
  if (path.size() >= size || suffix.size() >= size - path.size()) return false;
  for (size_t i = 0; i < path.size(); ++i) out[i] = path[i] == '\\' ? '/' : path[i];
  if (!suffix.empty()) std::memcpy(out + path.size(), suffix.data(), suffix.size());
  out[path.size() + suffix.size()] = '\0';
  return true;
}

}  // namespace platform
