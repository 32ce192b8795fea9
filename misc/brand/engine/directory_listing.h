// The directories a branding run reads and writes, each listed once a run
// and kept current as the run writes and deletes in it. A listed driver file
// is found by its name ignoring case, as the file systems the driver
// packages come from find it.
#ifndef BRAND_ENGINE_DIRECTORY_LISTING_H
#define BRAND_ENGINE_DIRECTORY_LISTING_H

#include <cstddef>

namespace brandengine {

enum class Lookup {
  kFound,      // the one entry whose name equals the name ignoring case
  kMissing,    // no such entry (or the directory cannot be read)
  kAmbiguous,  // two entries differ only in case: which one is meant is unknown
  kNoMemory,   // recorded on the error list
};

// The files of one directory (subdirectories are not listed). Listing also
// removes what a run of the tool that was killed left behind: temporary
// files whose writer is gone (platform::removeStaleTemporaryFile).
//   listing.list("drivers/") -> true; listing.find("abora28.dll", &name)
//   -> kFound, name "ABORA28.DLL" when the directory holds that file
class DirectoryListing {
 public:
  DirectoryListing() = default;
  ~DirectoryListing() { clear(); }
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // Lists `directory` (a path ending in its separator). A directory that
  // cannot be read lists as empty. False when memory runs out (recorded).
  [[nodiscard]] bool list(const char* directory);
  // The directory as given to list, or "".
  const char* directory() const { return directory_ != nullptr ? directory_ : ""; }

  // Looks `name` (UTF-8) up; *found (may be null) is the entry's own name,
  // valid until the listing changes, for kFound.
  Lookup find(const char* name, const char** found) const;
  // The run wrote a file of that name / deleted it. False when memory runs
  // out (recorded): the listing then stays as it was.
  [[nodiscard]] bool added(const char* name);
  void removed(const char* name);

 private:
  struct Entry {
    char* name;       // as the directory holds it
    char16_t* wide;   // the same, for the comparison ignoring case
  };

  void clear();
  // Frees every entry; the array stays.
  void dropEntries();
  // The first entry not ordered before `wide`.
  size_t lowerBound(const char16_t* wide) const;
  // The entry of exactly `name`, or count_ (also when memory runs out).
  size_t exact(const char* name) const;
  [[nodiscard]] bool insert(const char* name);

  char* directory_ = nullptr;
  Entry* entries_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

// The two directories of a run: the target directory, and the tools
// directory beside it that ReplaceInstall takes executables from (listed
// only when asked for).
class RunDirectories {
 public:
  // The tools directory, relative to the target directory.
  static constexpr char kToolsDirectory[] = "../tools/";

  // Null when the directory could not be listed for lack of memory.
  DirectoryListing* target(const char* targetDirectory);
  DirectoryListing* tools(const char* targetDirectory);

 private:
  DirectoryListing* listed(DirectoryListing& listing, bool* done, const char* directory);

  DirectoryListing target_;
  DirectoryListing tools_;
  bool targetListed_ = false;
  bool toolsListed_ = false;
};

}  // namespace brandengine

#endif  // BRAND_ENGINE_DIRECTORY_LISTING_H
