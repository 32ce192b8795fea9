// The names of one branded file.

#include "engine/file_names.h"

#include <cstring>

#include "engine/brand.h"
#include "julib/object.h"
#include "text/ascii.h"
#include "text/brand_text.h"

namespace brandengine {

size_t replaceCorvaneParts(char* name, size_t n) {
  for (size_t i = 0; i + 5 <= n;) {
    bool part = true;
    for (size_t k = 0; k < 4; ++k) part = part && brandtext::lowerAscii(name[i + k]) == "crvn"[k];
    if (!part) {
      ++i;
      continue;
    }
    const bool upper = name[i] == 'C';
    name[i] = upper ? 'O' : 'o';
    name[i + 1] = upper ? 'D' : 'd';
    std::memmove(name + i + 2, name + i + 4, n - (i + 4) + 1);
    n -= 2;
    i += 2;
  }
  return n;
}

char* newFileName(const brand& object, const char* listedName) {
  char* name = brandtext::copy(brandtext::orEmpty(listedName));
  if (name == nullptr) return nullptr;
  size_t n = std::strlen(name);
  if (object.corvane61Mode != 0) n = replaceCorvaneParts(name, n);
  // Executables keep their names: installers look for them by name.
  if (n > 4 && brandtext::endsWithNoCase(name, n, ".exe")) return name;

  const char* prefix = brandtext::orEmpty(object.filePrefix);
  if (n > 6 && brandtext::endsWith(name, n, "kj.dll")) {
    // A sibling product's library: its own prefix stands in front of ".dll".
    for (size_t i = 0; i < 2 && prefix[i] != 0; ++i) name[n - 6 + i] = prefix[i];
  } else {
    for (size_t i = 0; i < 2 && i < n && prefix[i] != 0; ++i) name[i] = prefix[i];
    const char* newSuffix = brandtext::orEmpty(object.suffix);
    if (object.suffixMode != 0 && std::strlen(newSuffix) >= 2) {
      // The version code behind the prefix, never the prefix itself.
      for (size_t i = 2; i + 1 < n; ++i) {
        if (object.isVersionCode(name + i) != 0) {
          name[i] = newSuffix[0];
          name[i + 1] = newSuffix[1];
          break;
        }
      }
    }
  }
  brandtext::lowerUtf8(name);
  return name;
}

FileNames::~FileNames() {
  juFree(newName);
  juFree(shownSource);
}

bool resolveFileNames(brand& object, uint64_t index, FileNames* names) {
  names->listed = object.fileName(index);
  if (names->listed == nullptr) return false;
  names->newName = newFileName(object, names->listed);
  RunDirectories* directories = object.runDirectories();
  if (names->newName == nullptr || directories == nullptr) return false;
  // With ReplaceInstall an executable comes from the tools directory beside
  // the target directory, and replaces itself there.
  const bool fromTools = object.replaceInstall != 0 && std::strstr(names->listed, ".exe") != nullptr;
  const char* targetDirectory = brandtext::orEmpty(object.targetDirectory);
  names->directory = fromTools ? directories->tools(targetDirectory) : directories->target(targetDirectory);
  if (names->directory == nullptr) return false;

  names->source = names->directory->find(names->listed, &names->sourceName);
  if (names->source == Lookup::kNoMemory) return false;
  names->targetName = names->newName;
  if (names->source == Lookup::kFound) {
    const char* existing = nullptr;
    names->target = names->directory->find(names->newName, &existing);
    if (names->target == Lookup::kFound) names->targetName = existing;
  }
  names->shownSource = brandtext::copy(names->sourceFound() ? names->sourceName : names->listed);
  if (names->shownSource == nullptr) return false;
  if (object.corvane61Mode != 0) (void)replaceCorvaneParts(names->shownSource, std::strlen(names->shownSource));
  return names->target != Lookup::kNoMemory;
}

}  // namespace brandengine
