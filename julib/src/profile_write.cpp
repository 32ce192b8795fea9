// juWritePrivateProfileString and its UTF-16 form: the registry write (one
// template for both widths), the plain INI write, and the installer write.
// Every route reports 0 on success and 1 on failure.

#include "julib/threads.h"
#include "platform/profile/ini.h"
#include "profile_internal.h"

namespace julib::profile {
namespace {

// ---------------------------------------------------------------------------
// Registry.
// ---------------------------------------------------------------------------

Status deleteSectionTree(Key parent, const char16_t* section) { return regDeleteTree(parent, section); }

Status deleteSectionTree(Key parent, const char* section) {
  // The walk runs on UTF-16 names, so that no subkey is beyond the ANSI code page.
  const Widened wide(section);
  if (wide.failed()) return Status::kInvalid;
  return regDeleteTree(parent, wide.get());
}

// Deleting a section: its key below the route's key path, with everything
// below it. What does not exist is deleted already.
template <typename Char>
int deleteSection(Key root, const KeyPath<Char>& path, const Char* section) {
  if (isEmpty(section)) return 0;  // never the route's own key
  Key parent = nullptr;
  const Status opened = regOpenKey(root, path.get(), &parent);
  if (opened == Status::kNotFound) return 0;
  if (opened != Status::kOk) return 1;
  const Status status = deleteSectionTree(parent, section);
  regCloseKey(parent);
  return status == Status::kOk || status == Status::kNotFound ? 0 : 1;
}

template <typename Char>
int registryWrite(const ProfileTarget<Char>& target, const Char* section, const Char* key, const Char* value) {
  KeyPath<Char> path;
  if (!path.assign(target.prefix, target.prefixLength)) return 1;
  if (isEmpty(key)) return deleteSection(target.root, path, section);
  if (!isEmpty(section) && !path.append(section)) return 1;
  Key opened = nullptr;
  if (!isEmpty(value)) {
    if (regCreateKey(target.root, path.get(), &opened) != Status::kOk) return 1;
    const Status status = regSetValue(opened, key, value);
    regCloseKey(opened);
    return status == Status::kOk ? 0 : 1;
  }
  // An empty value deletes the key's value; what does not exist is deleted.
  const Status status = regOpenKey(target.root, path.get(), &opened);
  if (status == Status::kNotFound) return 0;
  if (status != Status::kOk) return 1;
  const Status deleted = regDeleteValue(opened, key);
  regCloseKey(opened);
  return deleted == Status::kOk || deleted == Status::kNotFound ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Plain INI files.
// ---------------------------------------------------------------------------

int iniWrite(const char16_t* section, const char16_t* key, const char16_t* value, const char16_t* file) {
  const julib::files::SystemName name(file);
  if (name.get() == nullptr) return 1;
  return platform::ini::writeString(section, key, value, name.get()) ? 0 : 1;
}

// The narrow form: texts widened from the ANSI code page; the file name is
// bytes for the system as it is.
int iniWrite(const char* section, const char* key, const char* value, const char* file) {
  const Widened wideSection(section);
  const Widened wideKey(key);
  const Widened wideValue(value);
  if (file == nullptr || wideSection.failed() || wideKey.failed() || wideValue.failed()) return 1;
  return platform::ini::writeString(wideSection.get(), wideKey.get(), wideValue.get(), file) ? 0 : 1;
}

// The installer's files are UTF-8: every text must reach them as it is, or
// the write fails rather than change a name.
bool installerWriteWide(const char16_t* section, const char16_t* key, const char16_t* value, int* result) {
  const Narrowed utf8Section(section, true, kProfileUtf8);
  const Narrowed utf8Key(key, true, kProfileUtf8);
  const Narrowed utf8Value(value, true, kProfileUtf8);
  if (utf8Section.failed() || utf8Key.failed() || utf8Value.failed()) {
    *result = 1;
    return true;
  }
  return installerWrite(utf8Section.get(), utf8Key.get(), utf8Value.get(), result);
}

}  // namespace
}  // namespace julib::profile

using namespace julib::profile;

int juWritePrivateProfileString(const char* section, const char* key, const char* value, const char* iniName,
                                uint32_t pathsAllowed) {
  const ProfileTarget<char> target = mapProfile(iniName, pathsAllowed);
  if (target.route == kJuProfileRouteIniFile) return iniWrite(section, key, value, iniName);
  if (target.route == kJuProfileRouteInstaller && installerCanWrite()) {
    const Widened wideSection(section);
    const Widened wideKey(key);
    const Widened wideValue(value);
    if (wideSection.failed() || wideKey.failed() || wideValue.failed()) return 1;
    int result = 1;
    if (installerWriteWide(wideSection.get(), wideKey.get(), wideValue.get(), &result)) return result;
  }
  return registryWrite(target, section, key, value);
}

int juWritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                 const char16_t* iniName, uint32_t pathsAllowed) {
  if (juGetAnsiMode() == 1) {
    // Every text must reach the narrow path as it is: a name or value that
    // the ANSI code page cannot hold fails the write instead of changing.
    const Narrowed narrowSection(section, true);
    const Narrowed narrowKey(key, true);
    const Narrowed narrowValue(value, true);
    const Narrowed narrowName(iniName, true);
    if (narrowSection.failed() || narrowKey.failed() || narrowValue.failed() || narrowName.failed()) return 1;
    return juWritePrivateProfileString(narrowSection.get(), narrowKey.get(), narrowValue.get(), narrowName.get(),
                                       pathsAllowed);
  }
  const ProfileTarget<char16_t> target = mapProfile(iniName, pathsAllowed);
  if (target.route == kJuProfileRouteIniFile) return iniWrite(section, key, value, iniName);
  if (target.route == kJuProfileRouteInstaller && installerCanWrite()) {
    int result = 1;
    if (installerWriteWide(section, key, value, &result)) return result;
  }
  return registryWrite(target, section, key, value);
}
