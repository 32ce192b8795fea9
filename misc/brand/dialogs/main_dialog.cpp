// The main branding dialog: its start (start-up words, the INF, the rows of
// the modes, limits and fields), Cancel and close, Help, and Browse with
// the folder browser's callback.

#include "dialogs/main_dialog.h"

#include <cstring>

#include "engine/brand.h"
#include "dialogs/brand_dialogs.h"
#include "brand_messages.h"
#include "text/brand_text.h"
#include "julib/cstring.h"
#include "julib/object.h"
#include "julib/threads.h"
#include "julib/window.h"
#include "platform/utf16.h"
#include "engine/command_line.h"

namespace dialogs = platform::dialogs;

namespace {

// The start-up words taken: as many as a dialog run can have.
constexpr int kStartupWords = 3;
// The folder browser's title: the catalogue text, at most this many units.
constexpr size_t kBrowseTitleUnits = 64;

// The most characters the user may type into each field.
struct Limit {
  int32_t id;
  size_t characters;
};
constexpr Limit kLimits[] = {
    {kBrandPrefixControl, 2}, {kBrandDirectoryControl, 255},    {kBrandCompanyControl, 127}, {kBrandProductControl, 63},
    {kBrandKeyControl, 30},   {kBrandMessagePrefixControl, 30}, {kBrandSuffixControl, 2},    {kBrandVersionControl, 11},
};

// A row: the edit and its two label statics.
struct Row {
  int32_t edit, firstLabel, secondLabel;
};
constexpr Row kMessagePrefixRow = {kBrandMessagePrefixControl, 350, 351};
constexpr Row kSuffixRow = {kBrandSuffixControl, 352, 353};
constexpr Row kVersionRow = {kBrandVersionControl, 354, 355};


void hideRow(dialogs::WindowHandle dialog, const Row& row) {
  for (int32_t id : {row.edit, row.firstLabel, row.secondLabel}) {
    (void)dialogs::showWindow(dialogs::dialogItem(dialog, id), false);
  }
}

void start(dialogs::WindowHandle dialog, brand& object) {
  juSetWindowObject(dialog, &object);
  takeStartupWords(object, brandCommandLine);
  object.readInf(brandProgramDirectory);
  if (object.driverVersionCode[0] == 0) {
    object.status = kBrandStatusInfInvalid;
    (void)object.showStatus(nullptr);  // informs only
    return;                            // the fields stay empty; Brand refuses to run
  }
  if (object.messagePrefixMode == 0) hideRow(dialog, kMessagePrefixRow);
  if (object.suffixMode == 0) hideRow(dialog, kSuffixRow);
  if (object.versionMode == 0) hideRow(dialog, kVersionRow);
  for (const Limit& limit : kLimits) {
    (void)dialogs::setTextLimit(dialogs::dialogItem(dialog, limit.id), limit.characters);
  }
  setItemTextUtf8(dialog, kBrandPlatformControl, object.platformText);
  setItemTextUtf8(dialog, kBrandPrefixControl, object.filePrefix);
  setItemTextUtf8(dialog, kBrandDirectoryControl, object.targetDirectory);
  if (object.messagePrefixMode != 0) {
    (void)juSetDlgItemTextW(dialog, kBrandMessagePrefixControl, brandtext::orEmpty(object.messagePrefix));
  }
  setItemTextUtf8(dialog, kBrandSuffixControl, object.suffix);
  (void)juSetDlgItemTextW(dialog, kBrandVersionControl, brandtext::orEmpty(object.newVersion));
  centerDialog(dialog);
  (void)dialogs::setFocus(dialogs::dialogItem(dialog, kBrandPrefixControl));
}

void cancel(dialogs::WindowHandle dialog, brand& object) {
  object.status = kBrandStatusConfirmClose;
  if (object.showStatus(nullptr) == 1) {
    juRemoveWindowObject(dialog);
    (void)dialogs::endDialog(dialog, 0);
    return;
  }
  object.status = kBrandStatusSuccess;
}

void showHelp() { juShowOnlineHelp("brisklane-odbc-distribution/page/", "Using-the-Standalone-Branding-Tool.html"); }

void browse(dialogs::WindowHandle dialog, brand& object) {
  char16_t title[kJuMessageUnits];
  const size_t units = juLoadMessage(title, kBrandMsgSelectDirectory);
  const size_t kept = platform::utf16::cutAtCharBoundary(std::u16string_view(title, units), kBrowseTitleUnits);
  char* titleUtf8 = brandtext::toUtf8(title, kept);
  char path[kBrandPathSize];
  const bool chosen =
      titleUtf8 != nullptr && dialogs::browseForFolder(dialog, titleUtf8, browseCallbackProc,
                                                       reinterpret_cast<intptr_t>(&object), path, sizeof path);
  juFree(titleUtf8);
  if (!chosen) return;
  object.setDirectory(path);
  setItemTextUtf8(dialog, kBrandDirectoryControl, object.targetDirectory);
}

}  // namespace

void takeStartupWords(brand& object, const char* commandLine) {
  // Copied, so the words can be cut out in place.
  char* line = brandtext::copy(brandtext::orEmpty(commandLine));
  if (line == nullptr) return;  // out of memory recorded: the modes stay
  const char* words[kStartupWords] = {};
  int count = 0;
  for (char* next = line; count < kStartupWords && *next != 0;) {
    while (*next == ' ') ++next;
    if (*next == 0) break;
    char* word = next;
    while (*next != 0 && *next != ' ') ++next;
    if (*next != 0) *next++ = 0;
    if (!isInstallSwitch(word)) words[count++] = word;
  }
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(words[i], "-fs") == 0) {
      object.suffixMode = 1;
    } else if (std::strcmp(words[i], "-nv") == 0) {
      object.versionMode = 1;
    } else if (std::strcmp(words[i], "520") == 0) {
      object.messagePrefixMode = 0;
    } else {
      object.messagePrefixMode = 1;
      if (i + 1 < count) object.setMessagePrefix(words[++i]);
    }
  }
  juFree(line);
}

int browseCallbackProc(dialogs::WindowHandle browser, dialogs::BrowseEvent event, const char* path,
                       intptr_t parameter) {
  const auto* object = reinterpret_cast<const brand*>(parameter);
  if (event == dialogs::BrowseEvent::kInitialized && object != nullptr) {
    (void)dialogs::browserSetSelection(browser, brandtext::orEmpty(object->targetDirectory));
  } else if (event == dialogs::BrowseEvent::kSelectionChanged && path != nullptr && path[0] != 0) {
    (void)dialogs::browserSetStatusText(browser, path);
  }
  return 0;
}

intptr_t brandDlgProc(dialogs::WindowHandle dialog, dialogs::Message message, uint64_t first, intptr_t second) {
  if (message == dialogs::Message::kInit) {
    start(dialog, *reinterpret_cast<brand*>(second));
    return 1;
  }
  brand* object = static_cast<brand*>(juGetWindowObject(dialog));
  if (object == nullptr) return 0;  // ending: the object was handed back
  switch (message) {
    case dialogs::Message::kCommand:
      if (dialogs::commandNotification(first) != 0) return 0;  // an edit's change
      switch (dialogs::commandId(first)) {
        case dialogs::kOkCommand:
          pressBrand(dialog, *object);
          return 1;
        case dialogs::kCancelCommand:
          cancel(dialog, *object);
          return 1;
        case kBrandHelpButton:
          showHelp();
          return 1;
        case kBrandBrowseButton:
          browse(dialog, *object);
          return 1;
        default:
          return 0;
      }
    case dialogs::Message::kClose:
      object->status = kBrandStatusConfirmClose;
      return 0;  // closed as Cancel, which asks
    case dialogs::Message::kHelp:
    case dialogs::Message::kContextMenu:
      showHelp();
      return 1;
    default:
      return 0;
  }
}
