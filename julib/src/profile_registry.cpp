// The registry calls of the profile layer over the registry store: UTF-16
// forms that pass through, narrow forms that convert names and texts through
// the ANSI code page as the system's A functions do; deleting key trees and
// reading a UTF-16 string.

#include "profile_internal.h"

namespace julib::profile {
namespace {

namespace registry = platform::registry;

// A walk below this depth stops (its key then stays): a deeper store is not
// one that the profile layer made.
constexpr unsigned kMaxTreeDepth = 256;

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// A name or key path as the store takes it: null is empty, and a trailing
// separator names the key before it.
std::u16string_view keyView(const char16_t* path) {
  std::u16string_view view(path == nullptr ? u"" : path);
  while (!view.empty() && isSeparator(view.back())) view.remove_suffix(1);
  return view;
}

std::u16string_view nameView(const char16_t* name) { return name == nullptr ? u"" : name; }

// A whole string value, growing the buffer as the store asks; *units with
// the terminator.
Status readString(Key key, std::u16string_view name, Scratch<char16_t, 1024>* out, size_t* units) {
  // A value that grows between two reads asks again; a few times at most.
  for (int attempt = 0; attempt < 4; ++attempt) {
    size_t n = out->capacity();
    const Status status = registry::queryString(key, name, out->data(), &n);
    if (status != Status::kMoreData) {
      *units = n;
      return status;
    }
    if (!out->reserve(n)) return Status::kInvalid;
  }
  return Status::kMoreData;
}

// The name of subkey or value `index`, growing the buffer as needed; *units
// without the terminator.
Status readName(Key key, uint32_t index, bool values, Scratch<char16_t, 512>* out, size_t* units) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    size_t n = out->capacity();
    const Status status = values ? registry::enumValue(key, index, out->data(), &n, nullptr)
                                 : registry::enumKey(key, index, out->data(), &n);
    if (status != Status::kMoreData) {
      *units = n;
      return status;
    }
    if (!out->reserve(n)) return Status::kInvalid;
  }
  return Status::kMoreData;
}

// The narrow form of an enumeration: the UTF-16 name converted, then copied
// when it fits.
Status enumNarrow(Key key, uint32_t index, bool values, char* name, size_t* size) {
  Scratch<char16_t, 512> wide;
  size_t units = 0;
  const Status status = readName(key, index, values, &wide, &units);
  if (status != Status::kOk) return status;
  wide.data()[units] = 0;
  Scratch<char, 2048> ansi;
  size_t bytes = 0;
  if (!toCodePage(kProfileAnsi, wide.data(), units + 1, &ansi, &bytes)) return Status::kInvalid;
  if (bytes > *size) {
    *size = bytes;
    return Status::kMoreData;
  }
  std::memcpy(name, ansi.data(), bytes);
  *size = bytes - 1;
  return Status::kOk;
}

Status deleteTreeAt(Key parent, std::u16string_view name, unsigned depth) {
  Key key = nullptr;
  const Status opened = registry::openKey(parent, name, &key);
  if (opened != Status::kOk) return opened;
  if (depth < kMaxTreeDepth) {
    Scratch<char16_t, 256> child;
    for (;;) {
      size_t n = child.capacity();
      const Status status = registry::enumKey(key, 0, child.data(), &n);
      if (status == Status::kMoreData && child.reserve(n)) continue;
      if (status != Status::kOk) break;  // none left, or the store failed
      // Index 0 again next time: a subkey that survives its own deletion
      // would come back forever, so it stops the walk.
      if (deleteTreeAt(key, std::u16string_view(child.data(), n), depth + 1) != Status::kOk) break;
    }
  }
  regCloseKey(key);
  return registry::deleteKey(parent, name);
}

}  // namespace

Status regOpenKey(Key parent, const char16_t* subkey, Key* out) {
  return registry::openKey(parent, keyView(subkey), out);
}

Status regOpenKey(Key parent, const char* subkey, Key* out) {
  const Widened wide(subkey);
  if (wide.failed()) return Status::kInvalid;
  return regOpenKey(parent, wide.get(), out);
}

Status regCreateKey(Key parent, const char16_t* subkey, Key* out) {
  return registry::createKey(parent, keyView(subkey), out);
}

Status regCreateKey(Key parent, const char* subkey, Key* out) {
  const Widened wide(subkey);
  if (wide.failed()) return Status::kInvalid;
  return regCreateKey(parent, wide.get(), out);
}

void regCloseKey(Key key) { registry::closeKey(key); }

Status regQueryValue(Key key, const char16_t* name, char16_t* data, size_t* size) {
  return registry::queryString(key, nameView(name), data, size);
}

Status regQueryValue(Key key, const char* name, char* data, size_t* size) {
  const Widened wideName(name);
  if (wideName.failed()) return Status::kInvalid;
  Scratch<char16_t, 1024> wide;
  size_t units = 0;
  const Status status = readString(key, nameView(wideName.get()), &wide, &units);
  if (status != Status::kOk) return status;
  Scratch<char, 2048> ansi;
  size_t bytes = 0;
  if (!toCodePage(kProfileAnsi, wide.data(), units, &ansi, &bytes)) return Status::kInvalid;
  const size_t room = *size;
  *size = bytes;
  if (bytes > room) return Status::kMoreData;
  std::memcpy(data, ansi.data(), bytes);
  return Status::kOk;
}

Status regSetValue(Key key, const char16_t* name, const char16_t* text) {
  return registry::setString(key, nameView(name), nameView(text));
}

Status regSetValue(Key key, const char* name, const char* text) {
  const Widened wideName(name);
  const Widened wideText(text);
  if (wideName.failed() || wideText.failed()) return Status::kInvalid;
  return regSetValue(key, wideName.get(), wideText.get());
}

Status regDeleteValue(Key key, const char16_t* name) { return registry::deleteValue(key, nameView(name)); }

Status regDeleteValue(Key key, const char* name) {
  const Widened wide(name);
  if (wide.failed()) return Status::kInvalid;
  return regDeleteValue(key, wide.get());
}

Status regEnumKey(Key key, uint32_t index, char16_t* name, size_t* size) {
  return registry::enumKey(key, index, name, size);
}

Status regEnumKey(Key key, uint32_t index, char* name, size_t* size) {
  return enumNarrow(key, index, false, name, size);
}

Status regEnumValueName(Key key, uint32_t index, char16_t* name, size_t* size) {
  return registry::enumValue(key, index, name, size, nullptr);
}

Status regEnumValueName(Key key, uint32_t index, char* name, size_t* size) {
  return enumNarrow(key, index, true, name, size);
}

Status regDeleteTree(Key parent, const char16_t* name) {
  std::u16string_view path = keyView(name);
  if (path.empty()) return Status::kInvalid;  // never the parent itself
  // A path of several keys: the walk starts at the last one's parent.
  size_t last = path.size();
  while (last > 0 && !isSeparator(path[last - 1])) --last;
  if (last == 0) return deleteTreeAt(parent, path, 0);
  Key head = nullptr;
  const Status opened = registry::openKey(parent, path.substr(0, last - 1), &head);
  if (opened != Status::kOk) return opened;
  const Status status = deleteTreeAt(head, path.substr(last), 0);
  regCloseKey(head);
  return status;
}

}  // namespace julib::profile

using julib::profile::Status;

size_t juRegGetStringW(JuRegKey root, const char16_t* subkey, const char16_t* name, char16_t* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return kJuRegGetStringFailed;
  buffer[0] = 0;
  JuRegKey key = nullptr;
  if (julib::profile::regOpenKey(root, subkey, &key) != Status::kOk) return kJuRegGetStringFailed;
  size_t units = size;
  const Status status = julib::profile::regQueryValue(key, name, buffer, &units);
  julib::profile::regCloseKey(key);
  if (status != Status::kOk) {
    buffer[0] = 0;
    return kJuRegGetStringFailed;
  }
  return units == 0 ? 0 : units - 1;
}

void juRegDeleteKeyTree(JuRegKey parent, const char* name) {
  if (julib::profile::isEmpty(name)) return;
  // The walk itself runs on UTF-16 names, so that a subkey whose name the
  // ANSI code page cannot hold is deleted too.
  const julib::profile::Widened wide(name);
  if (wide.failed()) return;
  (void)julib::profile::regDeleteTree(parent, wide.get());  // nothing to report: the key stays
}

void juRegDeleteKeyTreeW(JuRegKey parent, const char16_t* name) {
  if (julib::profile::isEmpty(name)) return;
  (void)julib::profile::regDeleteTree(parent, name);  // nothing to report: the key stays
}
