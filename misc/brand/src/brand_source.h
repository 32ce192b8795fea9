// Finding a listed driver file in its directory without regard to case, as
// the file systems the driver packages come from do.
#ifndef BRAND_BRAND_SOURCE_H
#define BRAND_BRAND_SOURCE_H

class brand;

namespace brandsource {

enum class Lookup {
  kFound,      // the one entry whose name equals the listed name ignoring case
  kMissing,    // no such entry (or the directory cannot be read)
  kAmbiguous,  // two entries differ only in case: which one is meant is unknown
  kNoMemory,   // recorded on the error list
};

// A listed file as found: heap texts, freed by the destructor.
struct Source {
  char* directory = nullptr;  // where it is taken from, with its separator
  char* name = nullptr;       // the entry's own name (kFound only)
  char* path = nullptr;       // directory + name (kFound only)

  Source() = default;
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  ~Source();
};

// Looks `name` up in `directory` (a path ending in its separator).
//   directory holds "ABORA28.DLL": "abora28.dll" -> kFound, name "ABORA28.DLL"
//   directory holds "a.dll" and "A.DLL": "a.dll" -> kAmbiguous
// `source->directory` is a copy of `directory` whatever the outcome (null
// only for kNoMemory).
Lookup find(const char* directory, const char* name, Source* source);

// Looks the listed file `listed` up where the branding takes it from: the
// target directory, or with ReplaceInstall the tools directory beside it
// for an executable.
Lookup locate(const brand& owner, const char* listed, Source* source);

// A listed file's source and target as the directory spells them.
struct Names {
  Source source;                  // the listed file as found
  Source existing;                // the new name as it exists already, if it does
  Lookup found = Lookup::kMissing;   // the source's lookup
  Lookup target = Lookup::kMissing;  // the new name's (looked up only beside a found source)

  // The source's own name, else the listed one.
  const char* sourceName(const char* listed) const { return found == Lookup::kFound ? source.name : listed; }
  // An existing target's own name, else the new one.
  const char* targetName(const char* newName) const {
    return existing.name != nullptr ? existing.name : newName;
  }
};

// Looks up the listed file (locate) and, beside it, its new name `newName`
// (null: not looked up).
void resolve(const brand& owner, const char* listed, const char* newName, Names* names);

// Posts the reason of kAmbiguous for `name` in `directory` on the thread's
// error list.
void postAmbiguous(const char* directory, const char* name);

}  // namespace brandsource

#endif  // BRAND_BRAND_SOURCE_H
