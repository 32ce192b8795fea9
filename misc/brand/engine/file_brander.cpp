// Branding one file.
//
// The copy goes to a temporary file beside the target (a name no other file
// has, made exclusively) and is renamed over the target only when it is
// complete: a failed copy leaves no target and no temporary file behind, a
// target that has the source's own name (an executable, a file that keeps
// its prefix) replaces the source in one step and never truncates it before
// it was read, and an earlier branded copy stays until the new one is whole.

#include "engine/file_brander.h"

#include <cstring>

#include "brand_messages.h"
#include "engine/brand.h"
#include "engine/file_names.h"
#include "engine/held_copy.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/messages.h"
#include "julib/object.h"
#include "platform/files.h"
#include "platform/pe/image.h"
#include "platform/temporary_file.h"
#include "rewrite/rewriters.h"
#include "rewrite/rewriting_copy.h"
#include "text/brand_text.h"
#include "version/update_version_info.h"

namespace brandengine {

namespace {

namespace pe = platform::pe;

// What one file's branding holds, released on every way out; the temporary
// file removes itself unless it was kept.
struct FileJob {
  char* sourcePath = nullptr;
  char* targetPath = nullptr;
  char* buffer = nullptr;
  JuFileHandle source = kJuNoFile;
  platform::TemporaryFile temporary;

  FileJob() = default;
  FileJob(const FileJob&) = delete;
  FileJob& operator=(const FileJob&) = delete;
  ~FileJob() {
    (void)juFileClose(source);  // a reading handle: nothing is lost
    for (char* text : {sourcePath, targetPath, buffer}) juFree(text);
  }

};

int failCopy(brand& object) {
  object.status = kBrandStatusCopyFailed;
  return 0;
}

int failCopy(brand& object, platform::ErrorNumber error, const char* path) {
  (void)juPostFileError(error, path);
  return failCopy(object);
}

// Rewrites the version resource of the library the copy holds back, still
// the temporary copy that no one else sees: a resource that fits is written
// with the held headers and section, once. A failure is a warning only,
// with its reason, and the copy stays as it came (the caller writes what is
// held); false only when the copy was damaged on the way.
bool updateVersionResource(brand& object, const HeldCopy& copy, const char* newName, bool* updated) {
  const pe::HeldFile held = copy.heldFile();
  CUpdateVersionInfoResourceApp app;
  app.heldFile = &held;
  app.fileSum = &copy.sum();
  app.newVersion = object.versionMode != 0 ? object.newVersion : nullptr;
  *updated = app.update(brandtext::orEmpty(object.companyName), brandtext::orEmpty(object.messagePrefix)) != 0;
  if (*updated) return true;
  if (app.fileDamaged) return false;
  const char* parts[] = {"Warning: Could not update Windows version info for: ", newName, " (", app.failure, ")"};
  char* detail = brandtext::join(parts, app.failure[0] != 0 ? 5 : 2);
  if (detail != nullptr) (void)object.showStatus(detail);  // informs only: no answer to take
  juFree(detail);
  return true;
}

}  // namespace

int prepareNameRewriter(const brand& object, const char* newName, const char* filePrefix,
                        brandrewrite::NameRewriter* names) {
  const char* dot = std::strchr(brandtext::orEmpty(newName), '.');
  const bool dll = dot != nullptr && std::strcmp(dot, ".dll") == 0;
  const bool help = dot != nullptr && std::strcmp(dot, ".cnt") == 0;
  const bool ini = dot != nullptr && std::strcmp(dot, ".ini") == 0;
  brandrewrite::NameSettings settings;
  settings.filePrefix = filePrefix;
  settings.suffix =
      object.suffixMode != 0 && std::strlen(brandtext::orEmpty(object.suffix)) >= 2 ? object.suffix : nullptr;
  settings.siblingMode = object.siblingMode != 0;
  settings.xmlProviderName = object.xmlProviderName;
  settings.newVersion = object.versionMode != 0 ? brandtext::orEmpty(object.newVersion) : nullptr;
  const size_t searchEntries = dll || ini ? static_cast<size_t>(object.searchList.count) : 0;
  const size_t helpEntries = help ? static_cast<size_t>(object.helpCount) : 0;
  if (names->prepare(settings, searchEntries + helpEntries + (dll ? 1 : 0)) != 0) return 1;
  int failed = 0;
  for (size_t i = 0; i < searchEntries && failed == 0; ++i) failed = names->add(object.searchEntry(i));
  for (size_t i = 0; i < helpEntries && failed == 0; ++i) failed = names->add(object.fileName(object.helpIndex + i));
  if (dll && failed == 0) failed = names->add(object.currentFile);
  return failed;
}

int brandOne(brand& object, FileNames& names) {
  object.currentFile = names.listed;
  const char* directory = names.directory != nullptr ? names.directory->directory() : "";
  if (names.source == Lookup::kMissing) {
    // The reason goes on the error list only: the loop skips such a file.
    char* path = brandtext::join(directory, names.listed);
    (void)juPostFileError(platform::kErrorNotFound, path);
    juFree(path);
    object.status = kBrandStatusFilesMissing;
    return 0;
  }
  if (names.source == Lookup::kAmbiguous || names.target == Lookup::kAmbiguous) {
    JuError* error = juPostError(kBrandMsgSourceNameAmbiguous);
    (void)error->addParam(names.source == Lookup::kAmbiguous ? names.listed : names.newName);
    (void)error->addParam(directory);
  }
  if (!names.sourceFound() || names.target == Lookup::kAmbiguous || names.target == Lookup::kNoMemory) {
    return failCopy(object);
  }
  const char* newName = names.newName;
  const bool replacesPrefix = std::strstr(newName, "r.dll") == nullptr;
  const bool library = std::strstr(newName, ".dll") != nullptr;
  const bool executable = std::strstr(newName, ".exe") != nullptr;
  const bool sameName = juStrIEqual(names.targetName, names.sourceName) != 0;

  FileJob job;
  job.sourcePath = brandtext::join(directory, names.sourceName);
  job.targetPath = brandtext::join(directory, names.targetName);
  if (job.sourcePath == nullptr || job.targetPath == nullptr) return failCopy(object);
  if (juFileOpen(job.sourcePath, std::strlen(job.sourcePath) + 1, kJuFileOpenForReading, &job.source) != 0) {
    object.status = kBrandStatusFilesMissing;
    return 0;
  }
  // The target gets the source's mode (an executable stays one) and time.
  platform::FileStatus status;
  platform::ErrorNumber error = platform::fileStatus(static_cast<int>(job.source) - 1, &status);
  if (error != platform::kErrorNone) return failCopy(object, error, job.sourcePath);

  brandrewrite::NameRewriter nameRewriter;
  brandrewrite::PrefixRewriter prefixRewriter;
  const bool withPrefix = object.messagePrefixMode != 0 && replacesPrefix;
  job.buffer = static_cast<char*>(juMallocChecked(brandrewrite::kCopyBytes));
  if (job.buffer == nullptr ||
      prepareNameRewriter(object, newName, object.filePrefix, &nameRewriter) != 0 ||
      (withPrefix && prefixRewriter.prepare(object.messagePrefix) != 0)) {
    return failCopy(object);
  }
  // A directory in the target's place is not replaced (the copy would be
  // made for nothing).
  if (platform::fileKind(job.targetPath) == platform::FileKind::kDirectory) {
    (void)juPostError(kJuMsgCannotCreateFile)->addParam(job.targetPath);
    return failCopy(object);
  }
  error = job.temporary.create(job.targetPath, status.permissions);
  if (error != platform::kErrorNone) return failCopy(object, error, job.targetPath);

  // A library's version resource is rewritten in message-prefix mode. Every
  // PE file gets its checksum put right, since the copy may have changed its
  // bytes: by the update, or by the copy when no update is made.
  const bool versionResource = object.messagePrefixMode != 0 && library;
  HeldCopy copy(job.temporary.descriptor(), job.temporary.path(), status.size, versionResource);
  if (brandrewrite::copyRewriting(job.source, job.buffer, nameRewriter, withPrefix ? &prefixRewriter : nullptr,
                                  copy) != 0) {
    return failCopy(object);
  }
  (void)juFileClose(job.source);  // read to its end: nothing is lost
  job.source = kJuNoFile;
  bool updated = false;
  if (versionResource && !updateVersionResource(object, copy, newName, &updated)) return failCopy(object);
  if (!updated && copy.writeHeld() != 0) return failCopy(object);
  // The resource update rewrote the file: the time goes on last, before the
  // name, so the target never shows another.
  (void)platform::setFileWriteTime(job.temporary.path(), status.writeTime);  // the copy stands without it
  // The copy goes to the disk before the rename only where it then is the
  // one copy of the file: it replaces the source, or the source is deleted
  // below. Elsewhere the source stays, and a copy a crash cut short is
  // branded again from it, as cp leaves it to the system.
  const bool onlyCopy = sameName || (object.replaceInstall != 0 && !executable);
  error = job.temporary.keep(onlyCopy);
  if (error != platform::kErrorNone) return failCopy(object, error, job.targetPath);
  if (!names.directory->added(names.targetName)) return failCopy(object);  // recorded: the listing cannot follow

  if (object.replaceInstall != 0 && !executable && !sameName) {
    // Reported on the error list; the branded copy is complete.
    if (juFileDelete(job.sourcePath) == 0) {
      names.directory->removed(names.sourceName);
      names.sourceName = nullptr;  // it was the listing's
    }
  }
  return 1;
}

}  // namespace brandengine
