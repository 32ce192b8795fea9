// Temporary files beside their targets: the rule of their names here, the
// system's side in unix/temporary_file.inc.

#include "platform/temporary_file.h"

#include <cstring>

namespace platform {
namespace {

constexpr char kMark[] = ".~";
constexpr char kEnd[] = ".tmp";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The process number of a temporary file's name ("a.dll.~4242-0.tmp" ->
// 4242), or -1 when the name is not one TemporaryFile makes.
long processOfName(const char* path) {
  const char* name = std::strrchr(path, '/');
  const char* back = std::strrchr(path, '\\');
  if (back != nullptr && (name == nullptr || back > name)) name = back;
  name = name != nullptr ? name + 1 : path;
  const size_t n = std::strlen(name);
  const size_t endLength = sizeof kEnd - 1;
  if (n < endLength || std::memcmp(name + n - endLength, kEnd, endLength) != 0) return -1;
  // Backwards over "<n>", "-", "<pid>", then ".~" behind a name of its own.
  size_t at = n - endLength;
  const size_t numberEnd = at;
  while (at > 0 && isDigit(name[at - 1])) --at;
  if (at == numberEnd || at == 0 || name[at - 1] != '-') return -1;
  const size_t pidEnd = --at;
  while (at > 0 && isDigit(name[at - 1])) --at;
  if (at == pidEnd || pidEnd - at > 9 || at < 3 || std::memcmp(name + at - 2, kMark, 2) != 0) return -1;
  long pid = 0;
  for (size_t i = at; i < pidEnd; ++i) pid = pid * 10 + (name[i] - '0');
  return pid;
}

}  // namespace

bool isTemporaryFileName(const char* name) noexcept { return name != nullptr && processOfName(name) >= 0; }

}  // namespace platform

#include "unix/temporary_file.inc"
