// juGetPrivateProfileString and its UTF-16 form: the registry read (one
// template for both widths), the plain INI read, and the installer read.

#include "julib/threads.h"
#include "platform/profile/ini.h"
#include "profile_internal.h"

namespace julib::profile {
namespace {

// Units of the value buffer a registry read starts with (2048 bytes); a
// longer value is read whole, never taken for a missing one.
template <typename Char>
inline constexpr size_t kValueUnits = 2048 / sizeof(Char);

template <typename Char>
size_t copyDefault(Char* buffer, size_t size, const Char* fallback) {
  if (fallback == nullptr) fallback = kEmpty<Char>;
  return copyValue(buffer, size, fallback, textLength(fallback));
}

// Bytes (units) that hold any result of `size` units of the other width: a
// UTF-16 unit becomes at most two bytes of the ANSI code page, and a byte at
// most one unit; two more tell a cut list from a complete one.
size_t roomForOtherWidth(size_t size) { return size > SIZE_MAX / 2 - 1 ? SIZE_MAX / 2 : 2 * size + 2; }

// Reads with the room the scratch buffer has (at most `full`) and, when the
// result may have been cut (it comes within two units of the room), once
// more with all of `full`. read(data, room) gives the units read.
template <typename Buffer, typename Read>
size_t readWhole(Buffer& scratch, size_t full, Read read) {
  size_t room = full < scratch.capacity() ? full : scratch.capacity();
  for (;;) {
    const size_t n = read(scratch.data(), room);
    if (n + 2 < room || room == full || !scratch.reserve(full)) return n;
    room = full;
  }
}

// ---------------------------------------------------------------------------
// Registry.
// ---------------------------------------------------------------------------

// The subkeys (values) of `key` as a list, enumerated straight into the
// buffer. False when there is none.
template <typename Char>
bool listNames(Key key, bool values, Char* buffer, size_t size, size_t* length) {
  size_t at = 0;
  for (uint32_t index = 0;; ++index) {
    size_t n = size - at;
    const Status status =
        values ? regEnumValueName(key, index, buffer + at, &n) : regEnumKey(key, index, buffer + at, &n);
    if (status == Status::kOk) {
      if (n == 0) continue;  // a value without a name would end the list there
      // Its terminator is written; the list's own must still follow.
      if (at + n + 1 < size) {
        at += n + 1;
        continue;
      }
    }
    if (status == Status::kOk || status == Status::kMoreData) {
      *length = cutList(buffer, size, at);
      return true;
    }
    break;  // no more names (or the store failed: the names so far)
  }
  if (at == 0) return false;
  buffer[at] = 0;
  *length = at;
  return true;
}

template <typename Char>
bool readValue(Key key, const Char* name, Char* buffer, size_t size, size_t* length) {
  Scratch<Char, kValueUnits<Char>> data;
  Status status = Status::kMoreData;
  size_t n = 0;
  // A value that grows between two reads asks again; a few times at most.
  for (int attempt = 0; attempt < 4 && status == Status::kMoreData; ++attempt) {
    n = data.capacity();
    status = regQueryValue(key, name, data.data(), &n);
    if (status == Status::kMoreData && !data.reserve(n)) return false;
  }
  if (status != Status::kOk) return false;
  // Text up to its first terminator, and never beyond its size.
  size_t text = 0;
  while (text < n && data.data()[text] != 0) ++text;
  *length = copyValue(buffer, size, data.data(), text);
  return true;
}

template <typename Char>
size_t registryGet(const ProfileTarget<Char>& target, const Char* section, const Char* key, const Char* fallback,
                   Char* buffer, size_t size) {
  KeyPath<Char> path;
  if (!path.assign(target.prefix, target.prefixLength)) return copyDefault(buffer, size, fallback);
  if (!isEmpty(section) && !path.append(section)) return copyDefault(buffer, size, fallback);
  Key opened = nullptr;
  if (regOpenKey(target.root, path.get(), &opened) != Status::kOk) return copyDefault(buffer, size, fallback);
  size_t length = 0;
  bool found = false;
  if (isEmpty(section)) {
    found = listNames(opened, false, buffer, size, &length);
  } else if (isEmpty(key)) {
    found = listNames(opened, true, buffer, size, &length);
  } else {
    found = readValue(opened, key, buffer, size, &length);
  }
  regCloseKey(opened);
  return found ? length : copyDefault(buffer, size, fallback);
}

// ---------------------------------------------------------------------------
// Plain INI files (UTF-8 files, UTF-16 requests).
// ---------------------------------------------------------------------------

size_t iniGet(const char16_t* section, const char16_t* key, const char16_t* fallback, char16_t* buffer,
              size_t size, const char16_t* file) {
  const julib::files::SystemName name(file);
  if (name.get() == nullptr) return copyDefault(buffer, size, fallback);  // names no file
  return platform::ini::getString(section, key, fallback, buffer, size, name.get());
}

// A narrow get made by a UTF-16 one: arguments widened from the ANSI code
// page, the result read whole in UTF-16 and brought back to the ANSI code
// page, cut between characters. wideGet(section, key, fallback, buffer,
// units) gives the units read.
template <typename WideGet>
size_t getOverWide(const char* section, const char* key, const char* fallback, char* buffer, size_t size,
                   WideGet wideGet) {
  const Widened wideSection(section);
  const Widened wideKey(key);
  const Widened wideFallback(fallback);
  if (wideSection.failed() || wideKey.failed() || wideFallback.failed()) return copyDefault(buffer, size, fallback);
  Scratch<char16_t, 1024> wide;
  const size_t units = readWhole(wide, roomForOtherWidth(size), [&](char16_t* data, size_t room) {
    return wideGet(wideSection.get(), wideKey.get(), wideFallback.get(), data, room);
  });
  Scratch<char, 2048> ansi;
  size_t bytes = 0;
  if (!toCodePage(kProfileAnsi, wide.data(), units, &ansi, &bytes)) {
    buffer[0] = 0;
    return 0;
  }
  if (section != nullptr && key != nullptr) return copyValue(buffer, size, ansi.data(), bytes);
  return copyList(buffer, size, ansi.data(), bytes);
}

// The narrow form: the file name is bytes for the system as it is.
size_t iniGet(const char* section, const char* key, const char* fallback, char* buffer, size_t size,
              const char* file) {
  if (file == nullptr) return copyDefault(buffer, size, fallback);
  return getOverWide(section, key, fallback, buffer, size,
                     [file](const char16_t* s, const char16_t* k, const char16_t* d, char16_t* b, size_t z) {
                       return platform::ini::getString(s, k, d, b, z, file);
                     });
}

// A UTF-16 get made by a narrow one of `codePage`: section and key go to the
// code page exactly (a name it cannot hold is in no narrow store, so the
// default applies), the default as well as it can; the result comes back to
// UTF-16 whole (every name of a list) and is counted without its terminator.
template <typename NarrowGet>
size_t getThroughNarrow(uint32_t codePage, const char16_t* section, const char16_t* key, const char16_t* fallback,
                        char16_t* buffer, size_t size, NarrowGet narrowGet) {
  const Narrowed narrowSection(section, true, codePage);
  const Narrowed narrowKey(key, true, codePage);
  const Narrowed narrowFallback(fallback, false, codePage);
  if (narrowSection.failed() || narrowKey.failed() || narrowFallback.failed()) {
    return copyDefault(buffer, size, fallback);
  }
  Scratch<char, 2048> narrow;
  // A UTF-16 unit takes at most three bytes of UTF-8.
  const size_t full = codePage == kProfileUtf8 && size <= SIZE_MAX / 4 ? 3 * size + 2 : roomForOtherWidth(size);
  bool listing = false;
  const size_t bytes = readWhole(narrow, full, [&](char* data, size_t room) {
    return narrowGet(narrowSection.get(), narrowKey.get(), narrowFallback.get(), data, room, &listing);
  });
  Scratch<char16_t, 1024> wide;
  size_t units = 0;
  if (!fromCodePage(codePage, narrow.data(), bytes, &wide, &units)) {
    buffer[0] = 0;
    return 0;
  }
  if (!listing) return copyValue(buffer, size, wide.data(), units);
  return copyList(buffer, size, wide.data(), units);
}

// The installer's files are UTF-8: a UTF-16 get through its narrow functions
// (its UTF-16 ones keep only the low byte of each unit).
size_t installerGetWide(const char16_t* section, const char16_t* key, const char16_t* fallback, char16_t* buffer,
                        size_t size) {
  return getThroughNarrow(kProfileUtf8, section, key, fallback, buffer, size,
                          [](const char* s, const char* k, const char* d, char* b, size_t z, bool* listing) {
                            size_t length = 0;
                            *listing = s == nullptr || k == nullptr;
                            if (!installerGet(s, k, d, b, z, &length)) b[0] = 0;  // unbound meanwhile
                            return length;
                          });
}

// ---------------------------------------------------------------------------
// The routes.
// ---------------------------------------------------------------------------

// The narrow get behind the public one; *listing tells whether the result
// is a list, for a caller that converts it. Size >= 2.
size_t getNarrow(const char* section, const char* key, const char* fallback, char* buffer, size_t size,
                 const char* iniName, uint32_t pathsAllowed, bool* listing) {
  const ProfileTarget<char> target = mapProfile(iniName, pathsAllowed);
  if (target.route == kJuProfileRouteIniFile) {
    *listing = section == nullptr || key == nullptr;
    return iniGet(section, key, fallback, buffer, size, iniName);
  }
  if (target.route == kJuProfileRouteInstaller && installerCanGet()) {
    *listing = section == nullptr || key == nullptr;
    return getOverWide(section, key, fallback, buffer, size, installerGetWide);
  }
  *listing = isEmpty(section) || isEmpty(key);
  return registryGet(target, section, key, fallback, buffer, size);
}

}  // namespace
}  // namespace julib::profile

using namespace julib::profile;

size_t juGetPrivateProfileString(const char* section, const char* key, const char* fallback, char* buffer,
                                 size_t size, const char* iniName, uint32_t pathsAllowed) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {  // room for the terminator only, whatever the route
    buffer[0] = 0;
    return 0;
  }
  bool listing = false;
  return getNarrow(section, key, fallback, buffer, size, iniName, pathsAllowed, &listing);
}

size_t juGetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* fallback,
                                  char16_t* buffer, size_t size, const char16_t* iniName, uint32_t pathsAllowed) {
  if (buffer == nullptr || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  if (juGetAnsiMode() == 1) {
    // The system's UTF-16 functions are missing: everything goes through the
    // narrow path.
    const Narrowed name(iniName, true);
    if (name.failed()) return copyDefault(buffer, size, fallback);
    return getThroughNarrow(kProfileAnsi, section, key, fallback, buffer, size,
                            [&](const char* s, const char* k, const char* d, char* b, size_t z, bool* listing) {
                              return getNarrow(s, k, d, b, z, name.get(), pathsAllowed, listing);
                            });
  }
  const ProfileTarget<char16_t> target = mapProfile(iniName, pathsAllowed);
  if (target.route == kJuProfileRouteIniFile) return iniGet(section, key, fallback, buffer, size, iniName);
  if (target.route == kJuProfileRouteInstaller && installerCanGet()) {
    return installerGetWide(section, key, fallback, buffer, size);
  }
  return registryGet(target, section, key, fallback, buffer, size);
}
