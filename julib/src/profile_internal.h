// Helpers shared by the profile layer: scratch buffers, conversions between
// the ANSI code page and UTF-16, the mapping result, key paths, bounded
// copies of values and lists, the registry calls in narrow and UTF-16 form,
// and the installer calls.
#ifndef JULIB_SRC_PROFILE_INTERNAL_H
#define JULIB_SRC_PROFILE_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "checked_sizes.h"
#include "file_internal.h"
#include "julib/object.h"
#include "julib/profile.h"
#include "platform/profile/registry.h"

namespace julib::profile {

using platform::registry::Status;
using Key = JuRegKey;

// ---------------------------------------------------------------------------
// Scratch buffers.
// ---------------------------------------------------------------------------

// Room for kInline elements in the object, more on the heap.
template <typename T, size_t kInline>
class Scratch {
 public:
  Scratch() = default;
  ~Scratch() { juFree(heap_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // Room for n elements (what was held is not kept); false, with out of
  // memory recorded, when it cannot be had.
  bool reserve(size_t n) {
    if (n <= capacity_) return true;
    size_t bytes;
    if (!julib::internal::arraySize(&bytes, n, sizeof(T))) return false;
    T* block = static_cast<T*>(juMallocChecked(bytes));
    if (block == nullptr) return false;
    juFree(heap_);
    heap_ = block;
    data_ = block;
    capacity_ = n;
    return true;
  }
  T* data() { return data_; }
  size_t capacity() const { return capacity_; }

 private:
  T inline_[kInline];
  T* heap_ = nullptr;
  T* data_ = inline_;
  size_t capacity_ = kInline;
};

// ---------------------------------------------------------------------------
// Text.
// ---------------------------------------------------------------------------

template <typename Char>
size_t textLength(const Char* text) {
  return text == nullptr ? 0 : std::char_traits<Char>::length(text);
}

template <typename Char>
bool isEmpty(const Char* text) {
  return text == nullptr || text[0] == 0;
}

template <typename Char>
inline constexpr Char kEmpty[1] = {0};

// The code pages of narrow profile text: the library's narrow strings are in
// the ANSI code page; the installer's files are UTF-8, as text files here are.
inline constexpr uint32_t kProfileAnsi = 0;       // platform::kCodePageAnsi
inline constexpr uint32_t kProfileUtf8 = 65001;   // platform::kCodePageUtf8

// Narrow text of a code page (the ANSI one unless said) as UTF-16. get() is
// null for a null text and when the conversion failed (failed(): out of
// memory, or a text too long for the converter).
class Widened {
 public:
  explicit Widened(const char* text, uint32_t codePage = kProfileAnsi);
  Widened(const Widened&) = delete;
  Widened& operator=(const Widened&) = delete;

  const char16_t* get() const { return text_; }
  bool failed() const { return failed_; }

 private:
  Scratch<char16_t, 260> buffer_;
  const char16_t* text_ = nullptr;
  bool failed_ = false;
};

// UTF-16 text in a code page (the ANSI one unless said). With `exact`, a
// character that the code page cannot hold fails the conversion instead of
// becoming '?': a name that changed would reach another section or key.
class Narrowed {
 public:
  Narrowed(const char16_t* text, bool exact, uint32_t codePage = kProfileAnsi);
  Narrowed(const Narrowed&) = delete;
  Narrowed& operator=(const Narrowed&) = delete;

  const char* get() const { return text_; }
  bool failed() const { return failed_; }

 private:
  Scratch<char, 520> buffer_;
  const char* text_ = nullptr;
  bool failed_ = false;
};

// n units of UTF-16 (terminators included) into a code page in `out`; false
// on failure. *bytes gets the bytes written.
bool toCodePage(uint32_t codePage, const char16_t* text, size_t n, Scratch<char, 2048>* out, size_t* bytes);
// n bytes of a code page (terminators included) as UTF-16 in `out`.
bool fromCodePage(uint32_t codePage, const char* text, size_t n, Scratch<char16_t, 1024>* out, size_t* units);

// ---------------------------------------------------------------------------
// Values and lists into a caller's buffer of `size` units (size >= 1).
// ---------------------------------------------------------------------------

// The n units of `text`, cut to whole characters within size - 1, and a
// terminator. Returns the units copied.
template <typename Char>
size_t copyValue(Char* buffer, size_t size, const Char* text, size_t n) {
  const size_t take = julib::files::wholeCharsWithin(text, n, size - 1);
  std::memmove(buffer, text, take * sizeof(Char));
  buffer[take] = 0;
  return take;
}

// A list that does not fit: the first `keep` units (whole names with their
// terminators) stay, the rest of the buffer becomes terminators. Returns
// size - 2 (0 when the buffer has room for one terminator only).
template <typename Char>
size_t cutList(Char* buffer, size_t size, size_t keep) {
  std::memset(static_cast<void*>(buffer + keep), 0, (size - keep) * sizeof(Char));
  return size < 2 ? 0 : size - 2;
}

// The list of n units (names with their terminators, without the final one;
// a cut last name may lack its terminator) into the buffer: whole, with the
// final terminator, when it fits; else the names that fit (see cutList).
// Returns the length as juGetPrivateProfileString does.
template <typename Char>
size_t copyList(Char* buffer, size_t size, const Char* list, size_t n) {
  if (n + 1 <= size) {
    std::memmove(buffer, list, n * sizeof(Char));
    buffer[n] = 0;
    return n;
  }
  size_t keep = 0;
  while (keep < n) {
    // A cut name may lack its terminator within the n units.
    size_t end = keep;
    while (end < n && list[end] != 0) ++end;
    ++end;
    if (end > size - 1) break;  // the list's last terminator must follow
    keep = end;
  }
  std::memmove(buffer, list, keep * sizeof(Char));
  return cutList(buffer, size, keep);
}

// ---------------------------------------------------------------------------
// Mapping and key paths.
// ---------------------------------------------------------------------------

template <typename Char>
struct ProfileTarget {
  JuProfileRoute route = kJuProfileRouteIniFile;
  Key root = nullptr;
  const Char* prefix = nullptr;  // key path; not terminated where it is part of the name
  size_t prefixLength = 0;
};

ProfileTarget<char> mapProfile(const char* name, uint32_t pathsAllowed);
ProfileTarget<char16_t> mapProfile(const char16_t* name, uint32_t pathsAllowed);

// A key path of at most kJuProfileKeyPathChars - 1 characters. A path that
// would be longer is refused, never cut: a cut path names another key.
template <typename Char>
class KeyPath {
 public:
  bool assign(const Char* text, size_t n) {
    length_ = 0;
    text_[0] = 0;
    return append(text, n);
  }
  bool append(const Char* text) { return append(text, textLength(text)); }
  const Char* get() const { return text_; }

 private:
  bool append(const Char* text, size_t n) {
    if (n > kJuProfileKeyPathChars - 1 - length_) return false;
    std::memcpy(text_ + length_, text, n * sizeof(Char));
    length_ += n;
    text_[length_] = 0;
    return true;
  }
  Char text_[kJuProfileKeyPathChars];
  size_t length_ = 0;
};

// ---------------------------------------------------------------------------
// Registry calls, narrow (names and texts in the ANSI code page) and UTF-16.
// Sizes count units of the form (bytes for narrow). A null name is the
// empty one; a trailing '\' of a key path names the key before it.
// ---------------------------------------------------------------------------

Status regOpenKey(Key parent, const char* subkey, Key* out);
Status regOpenKey(Key parent, const char16_t* subkey, Key* out);
Status regCreateKey(Key parent, const char* subkey, Key* out);
Status regCreateKey(Key parent, const char16_t* subkey, Key* out);
void regCloseKey(Key key);

// The string value into `data` of *size units, terminated; *size becomes
// its units with the terminator, also on kMoreData (nothing written then).
Status regQueryValue(Key key, const char* name, char* data, size_t* size);
Status regQueryValue(Key key, const char16_t* name, char16_t* data, size_t* size);
Status regSetValue(Key key, const char* name, const char* text);
Status regSetValue(Key key, const char16_t* name, const char16_t* text);
Status regDeleteValue(Key key, const char* name);
Status regDeleteValue(Key key, const char16_t* name);

// The name of the subkey (value) `index` into `name` of *size units,
// terminated; *size becomes its length without the terminator, or on
// kMoreData the size needed with it (nothing beyond *size is written).
Status regEnumKey(Key key, uint32_t index, char* name, size_t* size);
Status regEnumKey(Key key, uint32_t index, char16_t* name, size_t* size);
Status regEnumValueName(Key key, uint32_t index, char* name, size_t* size);
Status regEnumValueName(Key key, uint32_t index, char16_t* name, size_t* size);

// Deletes the subkey `name` of `parent` with everything below it: kOk when
// it is gone, kNotFound when there was none, else why it stays.
Status regDeleteTree(Key parent, const char16_t* name);

// ---------------------------------------------------------------------------
// The installer (its narrow functions; ODBC.INI by its own name). Its texts
// are UTF-8: the callers convert.
// ---------------------------------------------------------------------------

// Binds when needed; false when SQLGetPrivateProfileString is not bound.
// Otherwise *length is the result, as juGetPrivateProfileString gives it.
bool installerGet(const char* section, const char* key, const char* fallback, char* buffer, size_t size,
                  size_t* length);
// Whether SQLGetPrivateProfileString is bound (binding first).
bool installerCanGet();
// Binds when needed; false when SQLWritePrivateProfileString is not bound.
// Otherwise the write ran, with the configuration mode chosen by the
// section's "Driver", and *result is 0 on success, 1 on failure.
bool installerWrite(const char* section, const char* key, const char* value, int* result);
// Whether SQLWritePrivateProfileString is bound (binding first).
bool installerCanWrite();

}  // namespace julib::profile

#endif  // JULIB_SRC_PROFILE_INTERNAL_H
