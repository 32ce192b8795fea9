// File-system queries.

#include "platform/files.h"

#include <cstddef>

namespace platform {
namespace {

// Copies a path for the system: '\' becomes '/'. Returns false when it does
// not fit.
bool systemPath(const char* path, char* out, size_t size) {
  size_t i = 0;
  for (; path[i] != '\0'; ++i) {
    if (i + 1 >= size) return false;
    out[i] = path[i] == '\\' ? '/' : path[i];
  }
  out[i] = '\0';
  return true;
}

}  // namespace
}  // namespace platform

#include "unix/files.inc"
