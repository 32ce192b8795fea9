// The run's directories, listed once.

#include "engine/directory_listing.h"

#include <cstring>

#include "julib/cstring.h"
#include "julib/object.h"
#include "platform/files.h"
#include "platform/growth.h"
#include "platform/temporary_file.h"
#include "text/brand_text.h"

namespace brandengine {

namespace {

struct Walk {
  DirectoryListing* listing;
  const char* directory;
  bool failed = false;
};

}  // namespace

void DirectoryListing::dropEntries() {
  for (size_t i = 0; i < count_; ++i) {
    juFree(entries_[i].name);
    juFree(entries_[i].wide);
  }
  count_ = 0;
}

void DirectoryListing::clear() {
  dropEntries();
  juFree(entries_);
  juFree(directory_);
  entries_ = nullptr;
  directory_ = nullptr;
  capacity_ = 0;
}

size_t DirectoryListing::lowerBound(const char16_t* wide) const {
  size_t low = 0;
  size_t high = count_;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (juWStrICompare(entries_[middle].wide, wide) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

bool DirectoryListing::insert(const char* name) {
  Entry entry{brandtext::copy(name), brandtext::widenUtf8(name)};
  if (count_ == capacity_) {
    const size_t grown = platform::grownCapacity(capacity_, count_, 1, 64, sizeof(Entry));
    if (grown == 0 || platform::resizeItems(&entries_, grown, juRealloc) != platform::Resize::kDone) {
      if (grown == 0) juReportOutOfMemory();
      entry.wide = nullptr;  // freed below with the name
    } else {
      capacity_ = grown;
    }
  }
  if (entry.name == nullptr || entry.wide == nullptr || count_ == capacity_) {
    juFree(entry.name);
    juFree(entry.wide);
    return false;
  }
  const size_t at = lowerBound(entry.wide);
  std::memmove(entries_ + at + 1, entries_ + at, (count_ - at) * sizeof(Entry));
  entries_[at] = entry;
  ++count_;
  return true;
}

bool DirectoryListing::list(const char* directory) {
  clear();
  directory_ = brandtext::copy(directory);
  if (directory_ == nullptr) return false;
  Walk walk{this, directory_};
  const platform::ErrorNumber listed = platform::listDirectory(
      directory_,
      [](const char* name, bool isDirectory, void* context) {
        auto& w = *static_cast<Walk*>(context);
        if (isDirectory) return true;
        if (platform::isTemporaryFileName(name)) {
          // What a run that was killed left behind goes; a file another run
          // is writing now stays, and is no driver file either.
          char* path = brandtext::join(w.directory, name);
          const platform::ErrorNumber removed =
              path != nullptr ? platform::removeStaleTemporaryFile(path) : platform::kErrorNoMemory;
          juFree(path);
          if (removed == platform::kErrorNoMemory) w.failed = true;
          return !w.failed;
        }
        w.failed = !w.listing->insert(name);
        return !w.failed;
      },
      &walk);
  // A directory that cannot be read holds no file the run can take.
  if (listed != platform::kErrorNone) dropEntries();
  return !walk.failed;
}

Lookup DirectoryListing::find(const char* name, const char** found) const {
  char16_t* wide = brandtext::widenUtf8(name);
  if (wide == nullptr) return Lookup::kNoMemory;
  const size_t at = lowerBound(wide);
  const bool match = at < count_ && juWStrICompare(entries_[at].wide, wide) == 0;
  const bool second = match && at + 1 < count_ && juWStrICompare(entries_[at + 1].wide, wide) == 0;
  juFree(wide);
  if (!match) return Lookup::kMissing;
  if (second) return Lookup::kAmbiguous;
  if (found != nullptr) *found = entries_[at].name;
  return Lookup::kFound;
}

size_t DirectoryListing::exact(const char* name) const {
  char16_t* wide = brandtext::widenUtf8(name);
  if (wide == nullptr) return count_;
  // Names equal ignoring case sit together; the exact one is among them.
  size_t at = lowerBound(wide);
  for (; at < count_ && juWStrICompare(entries_[at].wide, wide) == 0; ++at) {
    if (std::strcmp(entries_[at].name, name) == 0) break;
  }
  const bool found = at < count_ && std::strcmp(entries_[at].name, name) == 0;
  juFree(wide);
  return found ? at : count_;
}

bool DirectoryListing::added(const char* name) { return exact(name) != count_ || insert(name); }

void DirectoryListing::removed(const char* name) {
  const size_t i = exact(name);
  if (i == count_) return;
  juFree(entries_[i].name);
  juFree(entries_[i].wide);
  std::memmove(entries_ + i, entries_ + i + 1, (count_ - i - 1) * sizeof(Entry));
  --count_;
}

DirectoryListing* RunDirectories::listed(DirectoryListing& listing, bool* done, const char* directory) {
  if (!*done) {
    if (!listing.list(directory)) return nullptr;
    *done = true;
  }
  return &listing;
}

DirectoryListing* RunDirectories::target(const char* targetDirectory) {
  return listed(target_, &targetListed_, targetDirectory);
}

DirectoryListing* RunDirectories::tools(const char* targetDirectory) {
  if (toolsListed_) return &tools_;
  char* directory = brandtext::join(targetDirectory, kToolsDirectory);
  if (directory == nullptr) return nullptr;
  DirectoryListing* listing = listed(tools_, &toolsListed_, directory);
  juFree(directory);
  return listing;
}

}  // namespace brandengine
