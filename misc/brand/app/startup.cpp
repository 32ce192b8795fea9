// Start-up of vrbrd28: the command line, the program directory, the error
// list and the choice of front end.

#include "app/startup.h"

#include <cstdio>

#include "console/console_front_end.h"
#include "dialogs/dialog_front_end.h"
#include "engine/brand.h"
#include "engine/command_line.h"
#include "julib/errors.h"
#include "julib/threads.h"
#include "platform/files.h"

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
