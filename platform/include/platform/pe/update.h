// Replacing resources of a Windows executable in place: begin, replace one
// or more resources, commit (or discard).
//
//   platform::pe::ResourceUpdate update;
//   if (update.begin("driver.dll") != kErrorNone) puts(update.errorText());
//   update.replace(ResourceId::fromId(16), ResourceId::fromId(1), 0x0409, bytes, size);
//   UpdateWarning warning;
//   if (update.commit(&warning) != kErrorNone) puts(update.errorText());
//   if (warning == UpdateWarning::kCertificateRemoved) puts("signature removed");
//
// The commit writes a new resource section at the old one's virtual
// address, with every other resource kept, fixes the headers (sizes,
// moved sections' addresses, the checksum), keeps data after the last
// section, and replaces the file through a temporary file and a rename:
// a failed update leaves the file as it was, byte for byte.
//
// The new section is laid out with the old one's alignment of its data, and
// keeps the old one's file size whenever it fits in it: resources that did
// not grow move nothing else (in a section whose tables precede its data,
// as linkers write it). A section that grows past its file
// bytes shifts what follows it in the file; one that grows past the next
// section's address moves the sections behind it in memory, which only
// sections holding nothing but base relocations may do.
//
// When the new section takes exactly the file bytes of the old one (the
// same raw size, so nothing behind it moves and no certificate is cut), the
// commit instead writes the section and the headers into the file where
// they are: no copy of the rest of the file. A write that fails there is
// undone by writing the old bytes back (leftDamaged() tells when even that
// failed). Such a file is not replaced atomically: use it on files nobody
// else reads yet, such as a copy about to be renamed into place.
//
// A file still being written, whose writer holds its headers and resource
// section in memory (see held_file.h), is updated with beginHeld: each byte
// of it is then written once and none read back.
//
//   HeldFile file{temporary.descriptor(), temporary.path(), size, spans, 2};
//   update.beginHeld(file);      // reads the spans, not the file
//   update.setFileSum(sum);      // of every byte, the held ones included
//   update.replace(...);
//   if (update.commit() != kErrorNone) write the spans yourself;
#ifndef PLATFORM_PE_UPDATE_H
#define PLATFORM_PE_UPDATE_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/pe/held_file.h"
#include "platform/pe/image.h"
#include "platform/pe/resources.h"

namespace platform::pe {

namespace internal {
struct UpdateState;
}

// What a successful commit had to change beyond the resources.
enum class UpdateWarning : uint8_t {
  kNone,
  // The file was signed: a new resource section breaks the signature, so
  // the certificate table was removed (with its directory entry) rather
  // than left pointing at bytes it no longer signs.
  kCertificateRemoved,
};

// One update of one file. Statuses as ResourceFile's, plus:
//   kErrorInvalidArgument  also: replace or commit without a begun update,
//                          or a layout the commit cannot rewrite (a section
//                          that would have to move but cannot); errorText()
//   others                 writing the new file failed (the old one stays);
//                          errorText() "no space left on the disk", "the
//                          file would pass the file-size limit", ...
// Every failure leaves a short reason in errorText().
class ResourceUpdate {
 public:
  ResourceUpdate() noexcept = default;
  ~ResourceUpdate() { discard(); }
  ResourceUpdate(const ResourceUpdate&) = delete;
  ResourceUpdate& operator=(const ResourceUpdate&) = delete;

  // Reads the headers and resources of `path` (UTF-8, '\' separates too),
  // keeping the file open until commit or discard. Other resources are kept.
  // A file without a resource section is kErrorInvalidArgument ("the file
  // has no resource section").
  [[nodiscard]] ErrorNumber begin(const char* path) noexcept;
  // The same for a file whose writer holds some of its bytes: what the
  // spans hold is read from them, the rest through the descriptor (never
  // opened again). The spans' bytes must stay as they are until the update
  // ends; the HeldFile and its span array may go. Then commit:
  //   - when the new section fits in place: writes the new section and the
  //     headers through the descriptor, into their spans' places, and
  //     nothing else; with setFileSum given and spans holding the headers
  //     and the section, it reads nothing from the file (a debug
  //     directory's entries excepted, 28 bytes each, when no span holds
  //     them). A failed write is undone with the spans' bytes where it can
  //     be (leftDamaged() as above).
  //   - otherwise: writes every span into the file (now whole), then
  //     replaces the file at `path` as begin's commit does. The caller's
  //     descriptor then names the old file, no longer at `path`: it must
  //     not be written again (a TemporaryFile whose file this was may still
  //     keep() its path, which now names the new file).
  //   - on failure (of either): the spans may or may not be in the file
  //     yet; the caller writes them itself (the same bytes again, harmless),
  //     and the file is then as the caller wrote it.
  // Also kErrorInvalidArgument for spans outside the file's size or more
  // than kMaxHeldSpans.
  [[nodiscard]] ErrorNumber beginHeld(const HeldFile& file) noexcept;
  // Sets the bytes of (type, name, language), adding the resource when it
  // does not exist. `data` (`size` bytes, may be 0) is copied.
  [[nodiscard]] ErrorNumber replace(ResourceId type, ResourceId name, uint16_t language, const void* data,
                                    size_t size) noexcept;
  // Writes the new file and ends the update, successful or not. *warning
  // (may be null) is kNone unless the commit removed a certificate table.
  [[nodiscard]] ErrorNumber commit(UpdateWarning* warning = nullptr) noexcept;
  // Ends the update without writing anything.
  void discard() noexcept;
  // After begin: the checksum of the file's bytes as they are (every byte,
  // from offset 0, the checksum field as it stands), known to the caller
  // who just wrote them. A commit in place then sums only what it changes
  // instead of reading the whole file.
  void setFileSum(const PeChecksum& sum) noexcept;

  // True after a commit in place whose write failed and whose undoing
  // failed too: the file is then neither old nor new.
  bool leftDamaged() const noexcept { return damaged_; }

  // As ResourceFile::errorText.
  const char* errorText() const noexcept { return errorText_; }

 private:
  ErrorNumber fail(ErrorNumber error, const char* text) noexcept;
  // begin, from a held file when `held` is given.
  ErrorNumber start(const char* path, const HeldFile* held) noexcept;

  internal::UpdateState* state_ = nullptr;
  const char* errorText_ = "";
  bool damaged_ = false;
};

}  // namespace platform::pe

#endif  // PLATFORM_PE_UPDATE_H
