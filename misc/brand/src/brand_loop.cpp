// The branding loop: every main-list file in turn, reported on the console
// or in the Copying Files dialog.

#include <cstring>

#include "brand.h"
#include "brand_dialogs.h"
#include "brand_file.h"
#include "brand_source.h"
#include "brand_text.h"
#include "console.h"
#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/object.h"
#include "julib/window.h"
#include "platform/dialogs/model.h"

namespace {

namespace dialogs = platform::dialogs;

// "  7 %" for the files done so far; "0 %" until a whole percent is done.
void showPercent(dialogs::WindowHandle dialog, uint64_t done, uint64_t count) {
  const auto percent = static_cast<uint64_t>(static_cast<float>(done) * 100.0f / static_cast<float>(count));
  char text[8] = "0 %";
  if (percent > 0) {
    (void)juFormatFixed(text, 3, percent, 0);
    std::memcpy(text + 3, " %", 3);
  }
  setItemTextUtf8(dialog, kBrandPercentControl, text);
}

// Lets the dialog answer between files. False when the user stopped the
// branding: Escape, or the end of the input (a cancel nobody can answer).
bool pumpMessages() {
  dialogs::QueuedMessage message;
  while (dialogs::takeMessage(&message)) {
    if (message.message == dialogs::Message::kKeyDown && message.first == dialogs::kKeyEscape) return false;
    (void)dialogs::dispatchMessage(message);
  }
  return !dialogs::inputEnded();
}

void printJoined(const char* first, const char* second, const char* third) {
  const char* parts[] = {first, second, third};
  char* line = brandtext::join(parts, 3);
  brandPrint(line);
  juFree(line);
}

// The console's line end for a file that was not branded: the reason
// posted while it was tried, when there is one.
void printFailure(uint64_t errorsBefore) {
  JuErrorList* list = JuErrorList::current();
  JuError* reason = list != nullptr && list->count > errorsBefore ? list->last() : nullptr;
  const char16_t* text = reason != nullptr ? reason->messageW() : nullptr;
  if (text == nullptr) {
    brandPrint(" Failed\n");
    return;
  }
  brandPrint(" Failed: ");
  brandPrintW(text);
  brandPrint("\n");
}

}  // namespace

int brand::brandAll(dialogs::WindowHandle dialog) {
  if (dialog) setItemTextUtf8(dialog, kBrandPercentControl, "0 %");
  const bool console = !dialog && silent == 0;
  for (uint64_t i = 0; i < fileCount(); ++i) {
    if (status == kBrandStatusCancel || status == kBrandStatusCopyFailed) break;
    const char* listed = fileName(i);
    // The names shown are the file read and the file written, as the
    // directory spells them.
    char* target = newFileName(listed);
    brandsource::Names names;
    brandsource::resolve(*this, listed, target, &names);
    const char* shownSource = names.sourceName(listed);
    const char* shownTarget = names.targetName(brandtext::orEmpty(target));
    if (dialog) {
      setItemTextUtf8(dialog, kBrandSourceNameControl, shownSource);
      setItemTextUtf8(dialog, kBrandTargetNameControl, shownTarget);
    } else if (console) {
      printJoined("Branding: ", shownSource, " -> ");
      printJoined(shownTarget, " ...", "");
    }
    const JuErrorList* list = JuErrorList::current();
    const uint64_t errorsBefore = list != nullptr ? list->count : 0;
    const int branded = brandfile::brandOne(*this, i);
    if (console) {
      if (branded != 0) {
        brandPrint(" Done\n");
      } else {
        printFailure(errorsBefore);
      }
    }
    if (branded == 0 && status == kBrandStatusCopyFailed) (void)showStatus(target != nullptr ? target : listed);
    juFree(target);
    // A missing source was asked about before the run: the loop goes on.
    if (status == kBrandStatusFilesMissing) status = kBrandStatusSuccess;
    if (dialog) {
      if (!pumpMessages()) {
        status = kBrandStatusCancel;
        (void)dialogs::endDialog(dialog, 1);
        break;
      }
      showPercent(dialog, i + 1, fileCount());
    }
  }
  return 0;
}
