// The brand object's run: prefix validation, the missing-file check with its
// question, and the status messages.

#include <cstring>
#include <utility>

#include "brand.h"
#include "brand_dialogs.h"
#include "brand_module.h"
#include "brand_source.h"
#include "brand_text.h"
#include "console.h"
#include "julib/errors.h"
#include "julib/files.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/window.h"

namespace {

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

bool holdsEqual(const JuArrayPVoid& list, const char* name) {
  for (uint64_t i = 0; i < list.count; ++i) {
    if (std::strcmp(static_cast<const char*>(list.pointerAt(i)), name) == 0) return true;
  }
  return false;
}

// Deletes every error of the list, its counts and its out-of-memory mark.
void emptyErrorList(JuErrorList* list) {
  if (list == nullptr) return;
  while (list->count != 0 || list->pendingOutOfMemory != 0) list->discardLast();
}

// The console's answer to the missing-file question: cancel on an empty
// line, a line that starts with "y" or "Y", and the end of the input.
bool consoleAnswersCancel() {
  char answer[2000];
  if (!brandReadLine(answer, sizeof answer)) return true;
  return answer[0] == 0 || answer[0] == 'y' || answer[0] == 'Y';
}

// A message of the tool's catalogue, formatted with UTF-8 parameters.
int formatCatalogueMessage(JuStringW& out, uint16_t id, const char* const* params, size_t count) {
  char16_t pattern[kJuMessageUnits];
  juLoadMessage(pattern, id);
  return brandtext::format(out, pattern, params, count);
}

}  // namespace

int brand::run() {
  if (isReservedPrefix()) {
    status = kBrandStatusReservedPrefix;
    return 0;
  }
  if (std::strlen(brandtext::orEmpty(filePrefix)) != 2) {
    status = kBrandStatusPrefixLength;
    return 0;
  }
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
  if (ownerWindow) {
    const intptr_t result =
        juDialogBoxResult(ownerWindow, kBrandDialogCopying, copyingDlgProc, reinterpret_cast<intptr_t>(this));
    // A dialog that could not run branded nothing.
    if (result == platform::dialogs::kDialogFailed || result == platform::dialogs::kDialogNoInput) return 0;
  } else {
    (void)brandAll(nullptr);  // always 0: the status tells
  }
  return status == kBrandStatusCancel || status == kBrandStatusCopyFailed ? 0 : 1;
}

int brand::checkMissingFiles() {
  JuString missing(JuCodePageKind::kUtf8);
  uint64_t names = 0;
  for (uint64_t i = 0; i < mainFileList.count; ++i) {
    const char* name = static_cast<const char*>(mainFileList.pointerAt(i));
    if (holdsEqual(optionalFileList, name)) continue;
    // Found as the branding finds it; two names that differ only in case
    // are the branding's to report.
    brandsource::Source source;
    const brandsource::Lookup found = brandsource::locate(*this, name, &source);
    if (found == brandsource::Lookup::kNoMemory) return 1;  // recorded: the branding finds the missing files itself
    JuFileHandle handle = kJuNoFile;
    if (found == brandsource::Lookup::kAmbiguous ||
        (found == brandsource::Lookup::kFound &&
         juFileOpen(source.path, std::strlen(source.path) + 1, kJuFileOpenForReading, &handle) == 0)) {
      (void)juFileClose(handle);  // opened for the test only
    } else if ((names != 0 && names % 4 == 0 && missing.append("\n") != 0) || missing.append(name) != 0 ||
               missing.append(", ") != 0) {
      return 1;  // out of memory recorded: the branding finds the missing files itself
    } else {
      ++names;
    }
  }
  if (names == 0) return 1;

  // The failed opens posted file errors that the question replaces.
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
  brandMessageBeep(ownerWindow, kBrandBoxExclamation);
  if (ownerWindow) {
    return brandMessageBox(ownerWindow, text.data, u"Brand Error", kBrandBoxYesNo | kBrandBoxExclamation) ==
                   kBrandAnswerYes
               ? 0
               : 1;
  }
  brandPrintW(text.data);
  brandPrint(" [Yes] ");
  return consoleAnswersCancel() ? 0 : 1;
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

  const bool question = status == kBrandStatusCancel || status == kBrandStatusConfirmClose ||
                        status == kBrandStatusConfirmBrand;
  const char16_t* caption = u"OEM Branding Tool Error";
  uint32_t style = kBrandBoxOk | kBrandBoxExclamation;
  if (status == kBrandStatusSuccess) {
    caption = u"OEM Branding Tool";
    style = kBrandBoxOk;
  } else if (status == kBrandStatusCancel || status == kBrandStatusConfirmClose) {
    caption = u"Cancel OEM Branding Tool";
    style = kBrandBoxYesNo;
  } else if (status == kBrandStatusConfirmBrand) {
    caption = u"OEM Branding Tool";
    style = kBrandBoxYesNo;
  }
  brandMessageBeep(ownerWindow, style & kBrandBoxExclamation);
  if (!ownerWindow) {
    // The console informs and does not wait; a question there counts as No.
    brandPrintW(text.data);
    brandPrint("\n");
    return 0;
  }
  const int32_t answer = brandMessageBox(ownerWindow, text.data, caption, style);
  return question && answer == kBrandAnswerYes ? 1 : 0;
}
