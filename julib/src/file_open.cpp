// Opening files: temporary names, the open itself and the search along PATH.

#include <cstring>

#include "file_internal.h"
#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"
#include "platform/files.h"

namespace {

using julib::files::FullPath;
using julib::files::SystemName;

constexpr char kTemporaryPrefix[] = "ju";
// PATH is read into this many bytes first; a longer value gets a block.
constexpr size_t kPathValueBytes = 2048;

constexpr uint32_t kTemporaryFlags = kJuFileOpenTemporary | kJuFileOpenTemporaryOtherDrive;

uint32_t systemOptions(uint32_t flags) {
  uint32_t options = 0;
  if ((flags & kJuFileOpenDeleteOnClose) != 0) options |= platform::kOpenDeleteOnClose;
  if ((flags & kJuFileOpenCreateReadOnly) != 0) options |= platform::kOpenCreateReadOnly;
  if ((flags & kJuFileOpenCreate) != 0) {
    // Creation shares the file without restriction.
    options |= platform::kOpenReadWrite | platform::kOpenCreate | platform::kOpenTruncate;
    if ((flags & kJuFileOpenExclusive) != 0) options |= platform::kOpenExclusive;
    return options;
  }
  if ((flags & kJuFileOpenReadWrite) != 0) options |= platform::kOpenReadWrite;
  if ((flags & kJuFileOpenCreateMissing) != 0) options |= platform::kOpenCreate;
  if ((flags & kJuFileOpenAppend) != 0) options |= platform::kOpenAppend;
  if ((flags & kJuFileOpenCreateReadOnly) == 0) {
    if ((flags & kJuFileOpenDenyAll) != 0) {
      options |= platform::kOpenDenyAll;
    } else if ((flags & kJuFileOpenDenyWriters) != 0) {
      options |= platform::kOpenDenyWriters;
    }
  }
  return options;
}

// Only a read of a relative name looks along PATH: a create or a temporary
// file there would land in a program directory, and an absolute name joined
// to a directory names another file.
template <typename Unit>
bool searchesPath(uint32_t flags, const Unit* name) {
  constexpr uint32_t kWrites = kJuFileOpenCreate | kJuFileOpenCreateMissing | kTemporaryFlags;
  return (flags & kJuFileOpenSearchPath) != 0 && (flags & kWrites) == 0 && name[0] != 0 &&
         !julib::files::isSeparator(name[0]);
}

// Text from the system into a caller's buffer, as far as it fits.
void putSystemText(char* destination, size_t size, const char* text) { julib::files::copyCut(destination, size, text); }

void putSystemText(char16_t* destination, size_t size, const char* text) {
  char16_t wide[julib::files::kUtf8PathBytes + 1];
  julib::files::fromSystem(text, std::strlen(text), wide, sizeof wide / sizeof wide[0]);
  julib::files::copyCut(destination, size, wide);
}

enum class Step { kDone, kFailed, kPosted };

// Makes a new empty temporary file and puts its absolute name into `name`.
// kFailed: the temporary directory (as far as it fits) is in `name` and the
// open's own message is still to be posted; kPosted: the reason is posted.
template <typename Unit>
Step makeTemporary(Unit* name, size_t size) {
  char directory[julib::files::kUtf8PathBytes + 1];
  char temporary[julib::files::kUtf8PathBytes + 1];
  if (platform::temporaryDirectory(directory, sizeof directory) == 0 ||
      platform::createTemporaryFile(directory, kTemporaryPrefix, temporary, sizeof temporary) != platform::kErrorNone) {
    putSystemText(name, size, directory);
    return Step::kFailed;
  }
  if (!julib::files::fromSystem(temporary, std::strlen(temporary), name, size)) {
    (void)platform::removeFile(temporary);  // nobody could name it
    putSystemText(name, size, directory);
    return Step::kFailed;
  }
  if (julib::files::makeFullPath(name, size) == FullPath::kCut) {
    (void)platform::removeFile(temporary);
    juPostError(kJuMsgFileNameTooLong)->addParam(temporary);
    return Step::kPosted;
  }
  return Step::kDone;
}

// Opens `name` inside the n-byte directory `directory`.
template <typename Unit>
platform::ErrorNumber openInDirectory(const char* directory, size_t n, const Unit* name, uint32_t options,
                                      platform::FileDescriptor* descriptor) {
  Unit candidate[kJuPathChars];
  if (!julib::files::fromSystem(directory, n, candidate, kJuPathChars)) return platform::kErrorNameTooLong;
  size_t used = julib::files::length(candidate);
  const size_t nameLength = julib::files::length(name);
  const bool join = !julib::files::isSeparator(candidate[used - 1]);
  if (used + (join ? 1 : 0) + nameLength >= kJuPathChars) return platform::kErrorNameTooLong;
  if (join) candidate[used++] = static_cast<Unit>(julib::files::kJoiner);
  std::memcpy(candidate + used, name, (nameLength + 1) * sizeof(Unit));
  const SystemName system(candidate);
  if (system.get() == nullptr) return platform::kErrorIllegalSequence;
  return platform::openFile(system.get(), options, descriptor);
}

// Tries `name` in each directory of PATH in turn. Empty entries are skipped:
// the name was tried where it stands already. A directory whose join with the
// name would not fit the path limit is skipped too.
template <typename Unit>
platform::ErrorNumber openAlongPath(const Unit* name, uint32_t options, platform::FileDescriptor* descriptor) {
  char small[kPathValueBytes];
  char* value = small;
  char* block = nullptr;
  size_t n = platform::environmentVariable("PATH", small, sizeof small);
  if (n == platform::kNoVariable) return platform::kErrorNotFound;
  if (n >= sizeof small) {
    block = static_cast<char*>(juMallocChecked(n + 1));
    if (block == nullptr) return platform::kErrorNoMemory;
    const size_t again = platform::environmentVariable("PATH", block, n + 1);
    if (again == platform::kNoVariable || again > n) {  // changed meanwhile
      juFree(block);
      return platform::kErrorNotFound;
    }
    value = block;
    n = again;
  }
  const char separator = platform::pathListSeparator();
  platform::ErrorNumber result = platform::kErrorNotFound;
  for (size_t start = 0; start <= n && result != platform::kErrorNone;) {
    size_t end = start;
    while (end < n && value[end] != separator) ++end;
    if (end > start) result = openInDirectory(value + start, end - start, name, options, descriptor);
    start = end + 1;
  }
  juFree(block);
  return result;
}

template <typename Unit>
int openFile(Unit* name, size_t size, uint32_t flags, JuFileHandle* handle) {
  static constexpr Unit kEmpty[] = {0};
  const uint16_t failure = (flags & kJuFileOpenCreate) != 0 ? kJuMsgCannotCreateFile : kJuMsgCannotOpenFile;
  if (handle != nullptr) *handle = kJuNoFile;
  if (name == nullptr || size == 0 || handle == nullptr) {
    // A buffer of no size holds no name to show.
    juPostError(failure)->addParam(name != nullptr && size != 0 ? name : kEmpty);
    return 1;
  }
  if ((flags & kTemporaryFlags) != 0) {
    const Step step = makeTemporary(name, size);
    if (step == Step::kPosted) return 1;
    if (step == Step::kFailed) {
      juPostError(failure)->addParam(name);
      return 1;
    }
  }
  Unit adapted[kJuPathChars];
  if (julib::files::adaptPath(name, adapted, kJuPathChars) != 0) return 1;
  const SystemName system(adapted);
  const uint32_t options = systemOptions(flags);
  platform::FileDescriptor descriptor = platform::kNoDescriptor;
  platform::ErrorNumber error = system.get() == nullptr ? platform::kErrorIllegalSequence
                                                        : platform::openFile(system.get(), options, &descriptor);
  if (error != platform::kErrorNone && searchesPath(flags, adapted)) {
    error = openAlongPath(adapted, options, &descriptor);
  }
  if (error != platform::kErrorNone) {
    juPostError(failure)->addParam(name);
    return 1;
  }
  *handle = static_cast<JuFileHandle>(descriptor) + 1;
  return 0;
}

}  // namespace

int juFileOpen(char* name, size_t size, uint32_t flags, JuFileHandle* handle) {
  return openFile(name, size, flags, handle);
}

int juFileOpenW(char16_t* name, size_t size, uint32_t flags, JuFileHandle* handle) {
  return openFile(name, size, flags, handle);
}
