// The names of one branded file: the name it is written under, where its
// source and its target are in their directory, and the names a front end
// is shown. Each file's names are resolved once, against the run's
// listings.
#ifndef BRAND_ENGINE_FILE_NAMES_H
#define BRAND_ENGINE_FILE_NAMES_H

#include <cstdint>

#include "engine/directory_listing.h"

class brand;

namespace brandengine {

// The name the listed file `listedName` is written under, as a heap text
// (null: out of memory recorded). With the file prefix "XY":
//   "abora28.dll" -> "xyora28.dll"; "absetup.exe" -> "absetup.exe";
//   "abxxkj.dll" -> "abxxxy.dll"; in suffix mode with suffix "32" and
//   driver code 28: "abora28.dll" -> "xyora32.dll"
char* newFileName(const brand& object, const char* listedName);

// One main-list file's names. Names that point into a listing stay valid
// until that entry is removed.
struct FileNames {
  FileNames() = default;
  ~FileNames();
  FileNames(const FileNames&) = delete;
  FileNames& operator=(const FileNames&) = delete;

  const char* listed = nullptr;        // the main-list entry
  char* newName = nullptr;             // newFileName
  DirectoryListing* directory = nullptr;  // where the source is taken and the target written
  Lookup source = Lookup::kMissing;    // the listed file's lookup
  Lookup target = Lookup::kMissing;    // the new name's, beside a found source
  const char* sourceName = nullptr;    // the source as the directory spells it (kFound)
  const char* targetName = nullptr;    // an existing target's own name, else newName
  char* shownSource = nullptr;         // the source as reported (CORVANE61: "crvn" shows as "od")

  bool sourceFound() const { return source == Lookup::kFound; }
};

// Resolves the names of main-list entry `index`. False when memory runs out
// (recorded); a missing, ambiguous or unreadable source is told by
// names->source.
[[nodiscard]] bool resolveFileNames(brand& object, uint64_t index, FileNames* names);

// Replaces in place each "crvn" that has a character behind it by "od"
// ("OD" where it was upper case) and returns the new length; a "crvn" that
// ends the name stays.   replaceCorvaneParts("vrcrvn.ini", 10) -> 8, "vrod.ini"
size_t replaceCorvaneParts(char* name, size_t length);

}  // namespace brandengine

#endif  // BRAND_ENGINE_FILE_NAMES_H
