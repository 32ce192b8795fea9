// The brand object's run: prefix validation, the missing-file check with its
// question, the branding loop, and the status messages, all shown through
// the object's reporter.

#include <cstring>
#include <new>
#include <utility>

#include "brand_messages.h"
#include "engine/brand.h"
#include "engine/directory_listing.h"
#include "engine/file_brander.h"
#include "engine/file_names.h"
#include "engine/reporter.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "text/brand_text.h"

namespace {

using brandengine::Message;
using brandengine::MessageStyle;

// Exchanges the entries (and buffers) of two lists.
void swapEntries(JuArray& a, JuArray& b) {
  std::swap(a.data, b.data);
  std::swap(a.capacity, b.capacity);
  std::swap(a.count, b.count);
  std::swap(a.flags, b.flags);
}

// Heap copies of every entry of `source` appended to `copies`. 1, or 0.
int copyEntries(const JuArrayPVoid& source, JuArrayPVoid& copies) {
  for (uint64_t i = 0; i < source.count; ++i) {
    char* entry = brandtext::copy(static_cast<const char*>(source.pointerAt(i)));
    if (entry == nullptr) return 0;
    if (copies.insertAt(entry, copies.count) != 0) {
      juFree(entry);
      return 0;
    }
  }
  return 1;
}

// Deletes every error of the list, its counts and its out-of-memory mark.
void emptyErrorList(JuErrorList* list) {
  if (list == nullptr) return;
  while (list->count != 0 || list->pendingOutOfMemory != 0) list->discardLast();
}

// A message of the tool's catalogue, formatted with UTF-8 parameters.
int formatCatalogueMessage(JuStringW& out, uint16_t id, const char* const* params, size_t count) {
  char16_t pattern[kJuMessageUnits];
  juLoadMessage(pattern, id);
  return brandtext::format(out, pattern, params, count);
}

// The caption and style of a status's message.
struct StatusBox {
  uint32_t status;
  const char16_t* caption;
  MessageStyle style;
};
constexpr StatusBox kStatusBoxes[] = {
    {kBrandStatusSuccess, u"OEM Branding Tool", MessageStyle::kInformation},
    {kBrandStatusCancel, u"Cancel OEM Branding Tool", MessageStyle::kQuestion},
    {kBrandStatusConfirmClose, u"Cancel OEM Branding Tool", MessageStyle::kQuestion},
    {kBrandStatusConfirmBrand, u"OEM Branding Tool", MessageStyle::kQuestion},
};
constexpr StatusBox kErrorBox = {0, u"OEM Branding Tool Error", MessageStyle::kError};

const StatusBox& boxOf(uint32_t status) {
  for (const StatusBox& box : kStatusBoxes) {
    if (box.status == status) return box;
  }
  return kErrorBox;
}

// The reason the last file was not branded: the error posted while it was
// tried, "" when there is none.
const char16_t* failureSince(uint64_t errorsBefore) {
  JuErrorList* list = JuErrorList::current();
  JuError* reason = list != nullptr && list->count > errorsBefore ? list->last() : nullptr;
  const char16_t* text = reason != nullptr ? reason->messageW() : nullptr;
  return text != nullptr ? text : u"";
}

// Two characters that the driver files' names can hold, on any system the
// package may go to, and that take one byte each where a name is rewritten
// inside a file: ASCII, no blank and none of the signs Windows keeps out of
// file names.   canNameFiles("XY") -> true; canNameFiles("./") -> false
bool canNameFiles(const char* prefix) {
  for (const char* p = prefix; *p != 0; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c <= ' ' || c >= 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
  }
  return true;
}

}  // namespace

int brand::run() {
  if (isReservedPrefix()) {
    status = kBrandStatusReservedPrefix;
    return 0;
  }
  const char* prefix = brandtext::orEmpty(filePrefix);
  if (juUtf8NCharCount(prefix, std::strlen(prefix)) != 2) {
    status = kBrandStatusPrefixLength;
    return 0;
  }
  if (!canNameFiles(prefix)) {
    status = kBrandStatusPrefixCharacters;
    return 0;
  }
  // Each run lists its directories once, anew: files may have come and
  // gone since the last one.
  startListing();
  inRun_ = true;
  const int ran = runListed();
  inRun_ = false;
  return ran;
}

int brand::runListed() {
  // The RZM names may be missing; a cancel puts the optional list back.
  JuArrayPVoid saved;
  if (!copyEntries(optionalFileList, saved) ||
      !addFileList(optionalFileList, rzmList, rzmVersionCode, libraryExtension)) {
    saved.freeAll();
    return 0;
  }
  if (checkMissingFiles() == 0) {
    optionalFileList.freeAll();
    swapEntries(optionalFileList, saved);
    return 0;
  }
  saved.freeAll();
  // A loop that could not run branded nothing.
  if (!reporter().runLoop(*this)) return 0;
  return status == kBrandStatusCancel || status == kBrandStatusCopyFailed ? 0 : 1;
}

int brand::checkMissingFiles() {
  startListing();
  JuString missing(JuCodePageKind::kUtf8);
  uint64_t names = 0;
  for (uint64_t i = 0; i < mainFileList.count; ++i) {
    const char* name = static_cast<const char*>(mainFileList.pointerAt(i));
    if (brandHoldsName(optionalFileList, name)) continue;
    // Found as the branding finds it; two names that differ only in case
    // are the branding's to report.
    brandengine::FileNames found;
    if (!brandengine::resolveFileNames(*this, i, &found)) return 1;  // recorded: the branding finds them itself
    if (found.source != brandengine::Lookup::kMissing) continue;
    if ((names != 0 && names % 4 == 0 && missing.append("\n") != 0) || missing.append(name) != 0 ||
        missing.append(", ") != 0) {
      return 1;  // out of memory recorded: the branding finds the missing files itself
    }
    ++names;
  }
  if (names == 0) return 1;

  // Errors posted on the way are the question's to tell now.
  emptyErrorList(errorList != nullptr ? errorList : JuErrorList::current());
  status = kBrandStatusFilesMissing;
  missing.length -= 2;  // the last ", "
  missing.data[missing.length] = 0;
  JuStringW text;
  const char* params[] = {missing.data};
  if (formatCatalogueMessage(text, kBrandMsgFilesMissing, params, 1) != 0) return 1;
  // A silent run asks nothing: the question counts as No, and the
  // branding goes on without the missing files.
  if (silent != 0) return 1;
  const Message question{text.data, u"Brand Error", MessageStyle::kWarningQuestion};
  return reporter().ask(question) ? 0 : 1;
}

int brand::showStatus(const char* detail) {
  if (silent != 0) return 0;
  JuStringW text;
  int failed = 0;
  if (status == kBrandStatusConfirmBrand) {
    const char* params[] = {brandSourcePrefix, filePrefix};
    failed = formatCatalogueMessage(text, kBrandMsgConfirmBrand, params, 2);
  } else if (status == kBrandStatusCopyFailed || detail == nullptr) {
    const char* params[] = {detail};
    failed = formatCatalogueMessage(text, static_cast<uint16_t>(400 + status), params, detail != nullptr ? 1 : 0);
  } else {
    const char* params[] = {detail};
    failed = brandtext::format(text, u"%s", params, 1);
  }
  if (failed != 0) return 0;
  const StatusBox& box = boxOf(status);
  const Message message{text.data, box.caption, box.style};
  return reporter().show(message) && message.question() ? 1 : 0;
}

int brand::brandAll() {
  startListing();
  brandengine::Reporter& shown = reporter();
  shown.loopStarted(fileCount());
  for (uint64_t i = 0; i < fileCount(); ++i) {
    if (status == kBrandStatusCancel || status == kBrandStatusCopyFailed) break;
    brandengine::FileNames names;
    if (!brandengine::resolveFileNames(*this, i, &names)) {
      status = kBrandStatusCopyFailed;  // out of memory, recorded
      (void)showStatus(names.newName != nullptr ? names.newName : fileName(i));
      break;
    }
    // An absent file was asked about before the run, or may be absent:
    // it is skipped without a report.
    if (names.source != brandengine::Lookup::kMissing) {
      shown.fileStarted(names.shownSource, names.targetName);
      const JuErrorList* list = JuErrorList::current();
      const uint64_t errorsBefore = list != nullptr ? list->count : 0;
      const int branded = brandengine::brandOne(*this, names);
      shown.fileEnded(branded != 0 ? nullptr : failureSince(errorsBefore));
      if (branded == 0 && status == kBrandStatusCopyFailed) (void)showStatus(names.newName);
    }
    if (status == kBrandStatusFilesMissing) status = kBrandStatusSuccess;
    if (!shown.betweenFiles(i + 1, fileCount())) {
      status = kBrandStatusCancel;
      break;
    }
  }
  return 0;
}

int brand::brandFile(uint64_t index) {
  startListing();
  brandengine::FileNames names;
  if (!brandengine::resolveFileNames(*this, index, &names)) {
    status = kBrandStatusCopyFailed;
    (void)showStatus(names.newName != nullptr ? names.newName : fileName(index));  // informs only
    return 0;
  }
  const int branded = brandengine::brandOne(*this, names);
  if (branded == 0 && status == kBrandStatusCopyFailed) (void)showStatus(names.newName);  // informs only
  return branded;
}

bool brandengine::SilentReporter::runLoop(brand& object) {
  (void)object.brandAll();  // always 0: the status tells
  return true;
}
