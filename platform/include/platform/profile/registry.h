// The registry stand-in: a file-backed store of keys and string values
// under $JU_REGISTRY_DIR (default: $XDG_DATA_HOME/vrtools/registry, else
// ~/.local/share/vrtools/registry), one root for the current user and one for
// the local machine.
//
// Key and value names ignore case and keep it. Paths separate keys with '\'
// ('/' is accepted too). Values are UTF-16 strings. Every change is a
// read-modify-write of the root's file under a process lock and a file lock,
// written to a temporary file and renamed over the old one, so concurrent
// threads and processes lose no write and never see a torn file.
#ifndef PLATFORM_PROFILE_REGISTRY_H
#define PLATFORM_PROFILE_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform::registry {

enum class Status : uint8_t {
  kOk,
  kNotFound,      // no such key or value
  kMoreData,      // the buffer is too small; the size needed is given back
  kNoMoreItems,   // an enumeration index past the last item
  kHasSubkeys,    // deleteKey of a key that still has subkeys
  kInvalid,       // a bad argument (null handle, empty name where one is needed)
  kIoError,       // the store cannot be read or written
};

struct Key;  // opaque
using KeyHandle = Key*;

enum class Root : uint8_t { kCurrentUser, kLocalMachine };

// The predefined handle of a root; never closed.
KeyHandle rootKey(Root root) noexcept;

// Opens an existing key below `parent` (an empty subkey opens the parent's
// own key again). kNotFound when a key of the path is missing.
Status openKey(KeyHandle parent, std::u16string_view subkey, KeyHandle* out) noexcept;
// Opens the key, creating it and every missing key on its path.
Status createKey(KeyHandle parent, std::u16string_view subkey, KeyHandle* out) noexcept;
// Gives back a handle of openKey or createKey; roots and null are ignored.
void closeKey(KeyHandle key) noexcept;

// Reads a string value into `buffer` of *units units, terminated. On return
// *units holds the units of the value with its terminator, also when the
// buffer was too small (kMoreData) or null (kOk: a size query).
Status queryString(KeyHandle key, std::u16string_view name, char16_t* buffer, size_t* units) noexcept;
// Stores a string value (created or replaced). The key must exist.
Status setString(KeyHandle key, std::u16string_view name, std::u16string_view value) noexcept;
Status deleteValue(KeyHandle key, std::u16string_view name) noexcept;
// Deletes the subkey of `parent`; kHasSubkeys while it has subkeys.
Status deleteKey(KeyHandle parent, std::u16string_view subkey) noexcept;

// The name of the subkey / value at `index` in the order they were created,
// terminated; *units in: the buffer's size, out: the name's units without
// the terminator (or with it, needed, on kMoreData). kNoMoreItems past the
// last. For values, *dataUnits (when not null) receives the value's units
// with its terminator.
Status enumKey(KeyHandle key, uint32_t index, char16_t* name, size_t* units) noexcept;
Status enumValue(KeyHandle key, uint32_t index, char16_t* name, size_t* units, size_t* dataUnits) noexcept;

// Tests point the store elsewhere; an empty text restores the default.
void setDirectoryForTesting(const char* directory) noexcept;

}  // namespace platform::registry

#endif  // PLATFORM_PROFILE_REGISTRY_H
