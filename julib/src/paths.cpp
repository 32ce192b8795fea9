// Path rules: adapting a path to its volume, full paths, the current
// directory, splitting file names and testing relative paths.
//
// There are no drive letters here and every file system keeps the case and
// the bytes of names, so adaptation is a checked copy and "X:" is part of a
// name like any other character.

#include <cstring>

#include "file_internal.h"
#include "julib/errors.h"
#include "julib/files.h"
#include "platform/files.h"

namespace julib::files {
namespace {

// The longest path the layer's buffers hold.
constexpr size_t kPathLimit = kJuPathChars - 1;

template <typename Unit>
int adaptImpl(const Unit* source, Unit* destination, size_t size) {
  if (source == nullptr || destination == nullptr) return 1;
  const size_t n = length(source);
  if (n >= size) {
    juPostError(kJuMsgFileNameTooLong)->addParam(source);
    return 1;
  }
  if (destination != source) std::memmove(destination, source, (n + 1) * sizeof(Unit));
  return 0;
}

template <typename Unit>
Unit* currentDirectoryImpl(int32_t drive, Unit* buffer) {
  if (buffer == nullptr) return nullptr;
  buffer[0] = 0;
  if (drive < 0 || drive > 26) return nullptr;
  char directory[kUtf8PathBytes + 1];
  if (platform::currentDirectory(directory, sizeof directory) != platform::kErrorNone) return nullptr;
  if (!fromSystem(directory, std::strlen(directory), buffer, kJuPathChars)) return nullptr;
  return buffer;
}

// Collapses every separator, "..", separator with the component before it,
// leftmost first: the text from the separator before that component (or
// from the start) is replaced by the text from the second separator on.
template <typename Unit>
void collapseParents(Unit* text, size_t n) {
  bool collapsed = true;
  while (collapsed) {
    collapsed = false;
    size_t previous = SIZE_MAX;  // separator before the current component
    for (size_t i = 0; i < n; i += charLength(text + i)) {
      if (!isSeparator(text[i])) continue;
      if (i + 3 < n && text[i + 1] == '.' && text[i + 2] == '.' && isSeparator(text[i + 3])) {
        const size_t from = previous == SIZE_MAX ? 0 : previous;
        const size_t tail = i + 3;
        std::memmove(text + from, text + tail, (n - tail + 1) * sizeof(Unit));
        n -= tail - from;
        collapsed = true;
        break;
      }
      previous = i;
    }
  }
}

// Writes every separator of the n units of text as the system's own: the
// full path then names one file for every caller, also one that hands it to
// the C library, which takes '\' for part of a name.
template <typename Unit>
void useOneSeparator(Unit* text, size_t n) {
  for (size_t i = 0; i < n; i += charLength(text + i)) {
    if (isSeparator(text[i])) text[i] = static_cast<Unit>(kJoiner);
  }
}

template <typename Unit>
bool hasColonBeyondSecond(const Unit* text, size_t n) {
  for (size_t i = 0; i < n; i += charLength(text + i)) {
    if (text[i] == ':' && i != 1) return true;
  }
  return false;
}

template <typename Unit>
FullPath makeFullPathImpl(Unit* path, size_t size) {
  if (path == nullptr || size == 0) return FullPath::kUnchanged;
  size_t n = 0;
  while (n < size && path[n] != 0) ++n;
  if (n == size) return FullPath::kUnchanged;  // not terminated inside its buffer
  if (n >= 2 && isSeparator(path[0]) && isSeparator(path[1])) return FullPath::kUnchanged;
  if (hasColonBeyondSecond(path, n)) return FullPath::kUnchanged;
  if (n > 0 && isSeparator(path[0])) {
    useOneSeparator(path, n);
    collapseParents(path, n);
    return FullPath::kComplete;
  }

  Unit full[kJuPathChars];
  if (currentDirectoryImpl(0, full) == nullptr) return FullPath::kUnchanged;
  const size_t limit = size - 1 < kPathLimit ? size - 1 : kPathLimit;
  size_t used = length(full);
  // A directory that the caller's buffer cannot hold would become another one.
  if (used > limit) return FullPath::kUnchanged;
  FullPath outcome = FullPath::kComplete;
  const bool join = used == 0 || !isSeparator(full[used - 1]);
  if (used + (join ? 1 : 0) > limit) {
    if (n > 0) outcome = FullPath::kCut;  // the directory alone fills the limit
  } else {
    if (join) full[used++] = static_cast<Unit>(kJoiner);
    const size_t take = wholeCharsWithin(path, n, limit - used);
    if (take < n) outcome = FullPath::kCut;
    std::memcpy(full + used, path, take * sizeof(Unit));
    used += take;
  }
  full[used] = 0;
  useOneSeparator(full, used);
  collapseParents(full, used);
  std::memcpy(path, full, (length(full) + 1) * sizeof(Unit));
  return outcome;
}

template <typename Unit>
int splitFileNameImpl(Unit* path, Unit* base, size_t baseSize, Unit* extension, size_t extensionSize, int report) {
  if (base == nullptr) baseSize = 0;
  if (extension == nullptr) extensionSize = 0;
  if (extensionSize > 0) extension[0] = 0;
  if (path == nullptr) {
    if (baseSize > 0) base[0] = 0;
    return 0;
  }
  const size_t n = length(path);
  size_t nameStart = 0;
  for (size_t i = 0; i < n; i += charLength(path + i)) {
    if (isSeparator(path[i])) nameStart = i + 1;
  }
  size_t baseEnd = n;
  for (size_t i = nameStart; i < n; i += charLength(path + i)) {
    if (path[i] == '.') {
      baseEnd = i;
      break;
    }
  }
  if (baseEnd < n) {
    const Unit* after = path + baseEnd + 1;
    if (extensionSize > 0) {
      const size_t take = wholeCharsWithin(after, n - baseEnd - 1, extensionSize - 1);
      std::memmove(extension, after, take * sizeof(Unit));
      extension[take] = 0;
    }
    path[baseEnd] = 0;
  }
  const Unit* name = path + nameStart;
  const size_t baseLength = baseEnd - nameStart;
  int result = 0;
  size_t take = baseLength;
  if (baseLength >= baseSize) {
    take = baseSize == 0 ? 0 : wholeCharsWithin(name, baseLength, baseSize - 1);
    if (report != 0) {
      juPostError(kJuMsgFileNameTooLong)->addParam(name);
      result = 1;
    }
  }
  if (baseSize > 0) {
    std::memmove(base, name, take * sizeof(Unit));
    base[take] = 0;
  }
  path[nameStart] = 0;
  return result;
}

}  // namespace

int adaptPath(const char* source, char* destination, size_t size) { return adaptImpl(source, destination, size); }
int adaptPath(const char16_t* source, char16_t* destination, size_t size) {
  return adaptImpl(source, destination, size);
}

FullPath makeFullPath(char* path, size_t size) { return makeFullPathImpl(path, size); }
FullPath makeFullPath(char16_t* path, size_t size) { return makeFullPathImpl(path, size); }

}  // namespace julib::files

using julib::files::isSeparator;

int juAdaptPathToVolume(const char* source, char* destination, size_t size, int /*upperCase*/) {
  return julib::files::adaptPath(source, destination, size);
}

int juAdaptPathToVolumeW(const char16_t* source, char16_t* destination, size_t size, int /*upperCase*/) {
  return julib::files::adaptPath(source, destination, size);
}

void juMakeFullPath(char* path, int /*oemAndUpper*/, size_t size) {
  (void)julib::files::makeFullPath(path, size);  // no result to give
}

void juMakeFullPathW(char16_t* path, size_t size) { (void)julib::files::makeFullPath(path, size); }

char* juGetCurrentDirectory(int32_t drive, char* buffer) { return julib::files::currentDirectoryImpl(drive, buffer); }

char16_t* juGetCurrentDirectoryW(int32_t drive, char16_t* buffer) {
  return julib::files::currentDirectoryImpl(drive, buffer);
}

int juSplitFileName(char* path, char* base, size_t baseSize, char* extension, size_t extensionSize, int report) {
  return julib::files::splitFileNameImpl(path, base, baseSize, extension, extensionSize, report);
}

int juSplitFileNameW(char16_t* path, char16_t* base, size_t baseSize, char16_t* extension, size_t extensionSize,
                     int report) {
  return julib::files::splitFileNameImpl(path, base, baseSize, extension, extensionSize, report);
}

int juIsSafeRelativePathW(const char16_t* path) {
  if (path == nullptr) return 1;
  while (*path == u' ') ++path;
  // Absolute paths leave the directory they should stay below.
  if (isSeparator(path[0])) return 0;
  const char16_t first = path[0];
  if (((first >= u'A' && first <= u'Z') || (first >= u'a' && first <= u'z')) && path[1] == u':') return 0;
  for (size_t i = 0; path[i] != 0; ++i) {
    if (path[i] != u'.' || path[i + 1] != u'.') continue;
    const bool starts = i == 0 || isSeparator(path[i - 1]);
    const bool ends = path[i + 2] == 0 || isSeparator(path[i + 2]);
    if (starts && ends) return 0;
  }
  return 1;
}
