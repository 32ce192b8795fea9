// Directory entries: deleting, renaming and testing files by name.

#include "file_internal.h"
#include "julib/errors.h"
#include "julib/files.h"
#include "platform/files.h"

namespace {

using julib::files::SystemName;

bool isFile(const char* systemName) {
  const platform::FileKind kind = platform::fileKind(systemName);
  return kind == platform::FileKind::kFile || kind == platform::FileKind::kReadOnlyFile;
}

template <typename Unit>
int deleteFile(const Unit* name) {
  static constexpr Unit kEmpty[] = {0};
  if (name == nullptr) {
    juPostError(kJuMsgCannotDeleteFile)->addParam(kEmpty);
    return 1;
  }
  Unit adapted[kJuPathChars];
  if (julib::files::adaptPath(name, adapted, kJuPathChars) != 0) return 1;
  const SystemName system(adapted);
  if (system.get() != nullptr) {
    const platform::ErrorNumber error = platform::removeFile(system.get());
    // A name that leads nowhere, or through a file, has no file to delete.
    if (error == platform::kErrorNotFound || error == platform::kErrorNotDirectory) return 0;
    if (error == platform::kErrorNone && !isFile(system.get())) return 0;
  }
  juPostError(kJuMsgCannotDeleteFile)->addParam(name);
  return 1;
}

template <typename Unit>
int renameFile(const Unit* oldName, const Unit* newName) {
  if (oldName != nullptr && newName != nullptr) {
    const SystemName from(oldName);
    const SystemName to(newName);
    if (from.get() != nullptr && to.get() != nullptr &&
        platform::renameFile(from.get(), to.get()) == platform::kErrorNone) {
      return 0;
    }
  }
  static constexpr Unit kEmpty[] = {0};
  juPostError(kJuMsgCannotRenameFile)
      ->addParam(oldName != nullptr ? oldName : kEmpty)
      ->addParam(newName != nullptr ? newName : kEmpty);
  return 1;
}

}  // namespace

int juFileDelete(const char* name) { return deleteFile(name); }

int juFileDeleteW(const char16_t* name) { return deleteFile(name); }

int juFileRename(const char* oldName, const char* newName) {
  if (oldName == nullptr || newName == nullptr) return renameFile(oldName, newName);
  // Both names go through the layer's path buffers first.
  char from[kJuPathChars];
  char to[kJuPathChars];
  if (julib::files::adaptPath(oldName, from, kJuPathChars) != 0 ||
      julib::files::adaptPath(newName, to, kJuPathChars) != 0) {
    return 1;
  }
  return renameFile(from, to);
}

int juFileRenameW(const char16_t* oldName, const char16_t* newName) { return renameFile(oldName, newName); }

int juFileExists(const char* path) { return juGetFileType(path) & 1; }

int juFileExistsW(const char16_t* path) { return juGetFileTypeW(path) & 1; }
