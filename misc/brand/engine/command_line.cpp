// The program's command line.

#include "engine/command_line.h"

#include <cstring>

#include "engine/brand.h"
#include "julib/cstring.h"

char brandCommandLine[kBrandCommandLineSize];
char brandProgramDirectory[kBrandPathSize];

namespace {

bool contains(const char* text, const char* word) { return juStrIFind(text, word, JuCodePageKind::kUtf8) != nullptr; }

}  // namespace

bool keepCommandLine(int count, const char* const* words) {
  size_t length = 0;
  brandCommandLine[0] = 0;
  for (int i = 1; i < count; ++i) {
    const size_t n = std::strlen(words[i]);
    const size_t blank = i > 1 ? 1 : 0;
    if (n + blank >= kBrandCommandLineSize - length) return false;
    if (blank != 0) brandCommandLine[length++] = ' ';
    std::memcpy(brandCommandLine + length, words[i], n + 1);
    length += n;
  }
  return true;
}

bool isInstallSwitch(const char* word) {
  return juStrIEqual(word, "SilentInstall") != 0 || juStrIEqual(word, "ReplaceInstall") != 0;
}

int nextArgument(char* word, size_t size, const char* const* words, int count, int* index) {
  word[0] = 0;
  while (*index < count && isInstallSwitch(words[*index])) ++*index;
  if (*index >= count) return 0;
  const char* next = words[(*index)++];
  const size_t n = std::strlen(next);
  if (n >= size) return 1;
  std::memcpy(word, next, n + 1);
  return 0;
}

int countEntries(brand& object, const char* commandLine, int count) {
  object.silent = contains(commandLine, "SilentInstall") ? 1 : 0;
  object.replaceInstall = contains(commandLine, "ReplaceInstall") ? 1 : 0;
  return count - static_cast<int>(object.silent) - static_cast<int>(object.replaceInstall);
}
