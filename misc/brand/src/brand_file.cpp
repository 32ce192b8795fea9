// Branding one file.
//
// The copy goes to "<target>.new" beside the target and is renamed over the
// target only when it is complete: a failed copy leaves no target behind,
// a target that has the source's own name (an executable, a file that
// keeps its prefix) replaces the source in one step and never truncates it
// before it was read, and an earlier branded copy stays until the new one
// is whole.

#include "brand_file.h"

#include <algorithm>
#include <cstring>

#include "brand.h"
#include "brand_rewrite.h"
#include "brand_source.h"
#include "brand_text.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "platform/files.h"
#include "platform/pe/image.h"
#include "update_version_info.h"

namespace brandfile {

namespace {

// What one file's branding holds, released on every way out.
struct FileJob {
  char* newName = nullptr;
  char* sourcePath = nullptr;
  char* targetPath = nullptr;
  char* temporaryPath = nullptr;
  char* buffer = nullptr;
  JuFileHandle source = kJuNoFile;
  JuFileHandle temporary = kJuNoFile;

  FileJob() = default;
  FileJob(const FileJob&) = delete;
  FileJob& operator=(const FileJob&) = delete;
  ~FileJob() {
    (void)juFileClose(source);  // a reading handle: nothing is lost
    if (temporary != kJuNoFile) {
      (void)juFileClose(temporary);
      (void)juFileDelete(temporaryPath);  // an unfinished copy is never left behind
    }
    for (char* text : {newName, sourcePath, targetPath, temporaryPath, buffer}) juFree(text);
  }
};

int failCopy(brand& owner) {
  owner.status = kBrandStatusCopyFailed;
  return 0;
}

// Fills `buffer` from `held` up to `capacity`; *ended tells that the
// source's end was reached. 0, or 1 with the read error posted.
int fill(JuFileHandle source, char* buffer, size_t capacity, size_t* held, bool* ended) {
  while (*held < capacity) {
    size_t got = 0;
    if (juFileRead(source, kJuFileCurrentPosition, buffer + *held, capacity - *held, &got) != 0) return 1;
    if (got == 0) {
      *ended = true;
      return 0;
    }
    *held += got;
  }
  return 0;
}

// Rewrites the version resource of the written library, still the ".new"
// copy that no one else sees, so that a resource that fits is written in
// place. A failure is a warning only, the copy stays as it is; false only
// when the copy was damaged on the way.
bool updateVersionResource(brand& owner, const FileJob& job, const platform::pe::PeChecksum& written) {
  CUpdateVersionInfoResourceApp app;
  app.filePath = job.temporaryPath;
  app.fileSum = &written;
  app.newVersion = owner.versionMode != 0 ? owner.newVersion : nullptr;
  if (app.update(brandtext::orEmpty(owner.companyName), brandtext::orEmpty(owner.messagePrefix)) != 0) return true;
  if (app.fileDamaged) return false;
  const char* parts[] = {"Warning: Could not update Windows version info for: ", job.newName};
  char* detail = brandtext::join(parts, 2);
  if (detail != nullptr) (void)owner.showStatus(detail);  // informs only: no answer to take
  juFree(detail);
  return true;
}

}  // namespace

int copyRewriting(JuFileHandle source, JuFileHandle target, char* buffer, brandrewrite::NameRewriter& names,
                  brandrewrite::PrefixRewriter* prefix, platform::pe::PeChecksum* written) {
  // The tail holds the longest text a rewrite looks at, so that an
  // occurrence that starts before the cut is replaced whole in one window.
  size_t carry = std::max(kOverlapBytes, names.reach());
  if (prefix != nullptr) carry = std::max(carry, prefix->length());
  carry = std::min(carry, kChunkBytes / 2);
  // Each window is searched once for the starts of both rewriters' texts.
  brandrewrite::Candidates candidates;
  names.addPairsTo(candidates);
  if (prefix != nullptr) prefix->addPairsTo(candidates);

  // The windows are those of a stream read kChunkBytes at a time, each
  // starting where the last one's written part ended; the buffer holds many
  // of them, so reads and writes go in large pieces, each write whole (the
  // library's pieces of 65534 bytes end inside a page, which costs the file
  // system a second visit to it). A window changes nothing before its
  // start, so what lies before it is final.
  size_t held = 0;   // bytes in the buffer
  size_t start = 0;  // the window's start in the buffer
  bool ended = false;
  for (;;) {
    if (!ended && held - start < kChunkBytes) {
      if (start != 0 && juFileWriteWhole(target, kJuFileCurrentPosition, buffer, start) != 0) return 1;
      std::memmove(buffer, buffer + start, held - start);
      held -= start;
      start = 0;
      if (fill(source, buffer, kCopyBytes, &held, &ended) != 0) return 1;
    }
    const size_t rest = held - start;
    const bool last = rest < kChunkBytes;  // the stream's read would have met the end
    const size_t window = std::min(rest, kChunkBytes);
    const size_t limit = last ? window : window - carry;
    candidates.start(buffer + start, window, limit);
    names.rewrite(buffer + start, window, limit, candidates);
    if (prefix != nullptr) prefix->rewrite(buffer + start, window, limit, candidates);
    if (written != nullptr) written->add(reinterpret_cast<const unsigned char*>(buffer + start), limit);
    start += limit;
    if (last) return juFileWriteWhole(target, kJuFileCurrentPosition, buffer, start) != 0 ? 1 : 0;
  }
}

int brandOne(brand& owner, uint64_t index) {
  const char* listed = owner.fileName(index);
  if (listed == nullptr) return failCopy(owner);
  owner.currentFile = listed;
  FileJob job;
  job.newName = owner.newFileName(listed);
  if (job.newName == nullptr) return failCopy(owner);
  const bool replacesPrefix = std::strstr(job.newName, "r.dll") == nullptr;
  const bool library = std::strstr(job.newName, ".dll") != nullptr;
  const bool executable = std::strstr(job.newName, ".exe") != nullptr;

  // The names are the directory's own: the source as found whatever its
  // case, and a target that exists under another case is replaced under
  // its own name, so no second file differing only in case appears.
  brandsource::Names onDisk;
  brandsource::resolve(owner, listed, job.newName, &onDisk);
  const brandsource::Lookup found = onDisk.found;
  const brandsource::Lookup target = onDisk.target;
  if (found == brandsource::Lookup::kMissing) {
    char* path = brandtext::join(onDisk.source.directory, listed);
    (void)juPostFileError(platform::kErrorNotFound, path);
    juFree(path);
    owner.status = kBrandStatusFilesMissing;
    return 0;
  }
  if (found == brandsource::Lookup::kAmbiguous || target == brandsource::Lookup::kAmbiguous) {
    brandsource::postAmbiguous(onDisk.source.directory,
                               found == brandsource::Lookup::kAmbiguous ? listed : job.newName);
  }
  if (found != brandsource::Lookup::kFound || target == brandsource::Lookup::kAmbiguous ||
      target == brandsource::Lookup::kNoMemory) {
    return failCopy(owner);
  }
  const bool sameName = juStrIEqual(job.newName, onDisk.source.name) != 0;
  job.sourcePath = juStrNDup(onDisk.source.path, std::strlen(onDisk.source.path));
  job.targetPath = brandtext::join(onDisk.source.directory, onDisk.targetName(job.newName));
  job.temporaryPath = job.targetPath != nullptr ? brandtext::join(job.targetPath, ".new") : nullptr;
  if (job.sourcePath == nullptr || job.temporaryPath == nullptr) return failCopy(owner);

  if (juFileOpen(job.sourcePath, std::strlen(job.sourcePath) + 1, kJuFileOpenForReading, &job.source) != 0) {
    owner.status = kBrandStatusFilesMissing;
    return 0;
  }
  platform::FileTime time;
  const bool timeKnown = platform::fileWriteTime(job.sourcePath, &time) == platform::kErrorNone;

  brandrewrite::NameRewriter names;
  brandrewrite::PrefixRewriter prefix;
  const bool withPrefix = owner.messagePrefixMode != 0 && replacesPrefix;
  job.buffer = static_cast<char*>(juMallocChecked(kCopyBytes));
  if (job.buffer == nullptr || names.prepare(owner, job.newName, owner.filePrefix) != 0 ||
      (withPrefix && prefix.prepare(owner.messagePrefix) != 0)) {
    return failCopy(owner);
  }
  if (juFileOpen(job.temporaryPath, std::strlen(job.temporaryPath) + 1, kJuFileOpenForWriting, &job.temporary) !=
      0) {
    return failCopy(owner);
  }
  // A library's version resource is rewritten below: the checksum of what
  // the copy writes spares reading it again.
  const bool versionResource = owner.messagePrefixMode != 0 && library;
  platform::pe::PeChecksum written;
  if (copyRewriting(job.source, job.temporary, job.buffer, names, withPrefix ? &prefix : nullptr,
                    versionResource ? &written : nullptr) != 0) {
    return failCopy(owner);
  }
  (void)juFileClose(job.source);  // read to its end: nothing is lost
  job.source = kJuNoFile;
  const int closed = juFileClose(job.temporary);  // the handle is gone even when it fails
  job.temporary = kJuNoFile;
  if (closed != 0) {
    (void)juFileDelete(job.temporaryPath);
    return failCopy(owner);
  }
  if (versionResource && !updateVersionResource(owner, job, written)) {
    (void)juFileDelete(job.temporaryPath);
    return failCopy(owner);
  }
  // The copy goes to the disk before the rename only where it then is the
  // one copy of the file: it replaces the source, or the source is deleted
  // below. Elsewhere the source stays, and a copy a crash cut short is
  // branded again from it, as cp leaves it to the system.
  const bool onlyCopy = sameName || (owner.replaceInstall != 0 && !executable);
  const platform::ErrorNumber synced = onlyCopy ? platform::syncFile(job.temporaryPath) : platform::kErrorNone;
  if (synced != platform::kErrorNone) {
    (void)juFileDelete(job.temporaryPath);
    (void)juPostFileError(synced, job.temporaryPath);
    return failCopy(owner);
  }
  const platform::ErrorNumber replaced = platform::replaceFile(job.temporaryPath, job.targetPath);
  if (replaced != platform::kErrorNone) {
    (void)juFileDelete(job.temporaryPath);
    (void)juPostFileError(replaced, job.targetPath);
    return failCopy(owner);
  }

  // The resource update rewrote the file: the time goes on last.
  if (timeKnown) (void)platform::setFileWriteTime(job.targetPath, time);  // the copy stands without it
  if (owner.replaceInstall != 0 && !executable && !sameName) {
    (void)juFileDelete(job.sourcePath);  // reported on the error list; the branded copy is complete
  }
  return 1;
}

}  // namespace brandfile

int brand::brandFile(uint64_t index) {
  const int branded = brandfile::brandOne(*this, index);
  if (branded == 0 && status == kBrandStatusCopyFailed) {
    char* name = newFileName(fileName(index));
    (void)showStatus(name != nullptr ? name : fileName(index));  // informs only
    juFree(name);
  }
  return branded;
}
