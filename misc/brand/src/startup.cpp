// Start-up of vrbrd28: the command line, the program directory, the error
// list and the choice of front end.

#include "startup.h"

#include <cstdio>
#include <cstring>

#include "brand.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/threads.h"
#include "platform/files.h"

char brandCommandLine[kBrandCommandLineSize];
char brandProgramDirectory[kBrandPathSize];

namespace {

bool contains(const char* text, const char* word) { return juStrIFind(text, word, JuCodePageKind::kUtf8) != nullptr; }

// The words after the program name joined with blanks into brandCommandLine.
// False when they do not fit.
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

}  // namespace

bool isInstallSwitch(const char* word) {
  return juStrIEqual(word, "SilentInstall") != 0 || juStrIEqual(word, "ReplaceInstall") != 0;
}

void getProgramDirectory(char* buffer, size_t size) {
  if (size == 0) return;
  const size_t length = platform::moduleFileName(nullptr, buffer, size);
  if (length == 0 || length >= size) {
    buffer[0] = 0;  // unreadable, or cut: no directory at all rather than a wrong one
    return;
  }
  char* end = buffer + length;
  while (end != buffer && end[-1] != '/' && end[-1] != '\\') --end;
  if (end != buffer) --end;
  *end = 0;
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

int WinMain(platform::ModuleHandle instance, int argc, const char* const* argv) {
  platform::ModuleHandle none = nullptr;
  (void)juResourceModule.compare_exchange_strong(none, instance);  // a module set before stays

  char currentDirectory[kBrandPathSize];
  if (platform::currentDirectory(currentDirectory, sizeof currentDirectory) != platform::kErrorNone) {
    std::fputs("vrbrd28: the current directory cannot be read\n", stderr);
    return 1;
  }
  if (juStartThreadInfoList() == nullptr) return 1;
  getProgramDirectory(brandProgramDirectory, sizeof brandProgramDirectory);
  brand object(currentDirectory);

  const bool commandLineFits = keepCommandLine(argc, argv);
  const int entries = countEntries(object, brandCommandLine, argc);
  if (!commandLineFits) {
    if (object.silent == 0) {
      std::fprintf(stderr, "The command line is too long: at most %zu bytes are taken\n", kBrandCommandLineSize - 1);
    }
    return 1;
  }

  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  object.errorList = &errors;
  const int code = entries < 6 ? runDialogs(object) : runConsole(object, brandProgramDirectory, argv, argc, entries);
  object.errorList = nullptr;
  (void)JuErrorList::popCurrent();  // the list pushed above
  return code;
}
