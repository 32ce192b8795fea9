// The main dialog's Brand button: each field checked and stored in turn,
// the question, the run, and the report by its status.

#include "engine/brand.h"
#include "dialogs/brand_dialogs.h"
#include "text/brand_text.h"
#include "julib/object.h"
#include "julib/tokenizer.h"
#include "julib/window.h"
#include "dialogs/main_dialog.h"
#include "platform/utf16.h"

namespace dialogs = platform::dialogs;

namespace {

// Units a field is read into, with the terminator.
constexpr size_t kFieldUnits = 2000;
// A message prefix takes 1 to 30 characters.
constexpr size_t kMessagePrefixCharacters = 30;

constexpr char kNamesDetail[] = "You must enter a Company and Product Name.";
constexpr char kMessagePrefixDetail[] = "You must enter a Message Prefix - maximum length of 30 characters.";
constexpr char kSuffixDetail[] = "You must enter a valid suffix [only numbers]";
constexpr char kVersionDetail[] =
    "You must enter a valid version [a decimal of length 5 or 11 with scale of two such as 06.00 OR 06.00.00.00]";

// One field's text as the dialog holds it.
class Field {
 public:
  Field(dialogs::WindowHandle dialog, int32_t id) {
    text_[0] = 0;
    (void)juGetDlgItemTextW(dialog, id, text_, kFieldUnits);  // the text itself tells
  }
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;
  ~Field() { juFree(utf8_); }

  const char16_t* text() const { return text_; }
  bool empty() const { return text_[0] == 0; }
  size_t characters() const {
    size_t count = 0;
    for (size_t i = 0; text_[i] != 0; ++i) {
      if (!platform::utf16::isLowSurrogate(text_[i])) ++count;
    }
    return count;
  }
  // The text as UTF-8 (null: out of memory recorded).
  const char* utf8() {
    if (utf8_ == nullptr) utf8_ = brandtext::toUtf8(text_, platform::utf16::unitLength(text_));
    return utf8_;
  }

 private:
  char16_t text_[kFieldUnits];
  char* utf8_ = nullptr;
};

// Shows the failed check's status with its detail (null: its message);
// false, as the action ends.
bool refuse(brand& object, uint32_t status, const char* detail) {
  object.status = status;
  (void)object.showStatus(detail);  // informs only
  return false;
}

// The branding key: "CORVANE61" among its words turns CORVANE61 mode on.
void takeBrandingKey(brand& object, const Field& key) {
  JuScannerW scanner(key.text());
  for (JuTokenW token;;) {
    scanner.nextToken(token, 0);
    if (token.type == kJuTokenEnd || token.type == kJuTokenNone) return;
    if (std::u16string_view(token.data, token.length) == u"CORVANE61") object.setCorvane61Mode();
  }
}

// The fields into the object, checked; false when a check failed (shown).
bool takeFields(dialogs::WindowHandle dialog, brand& object) {
  object.resetOptions();
  Field prefix(dialog, kBrandPrefixControl);
  object.setFilePrefix(brandtext::orEmpty(prefix.utf8()));
  Field product(dialog, kBrandProductControl);
  if (product.empty()) return refuse(object, kBrandStatusNamesMissing, kNamesDetail);
  object.setProductName(product.text());
  Field company(dialog, kBrandCompanyControl);
  if (company.empty()) return refuse(object, kBrandStatusNamesMissing, kNamesDetail);
  object.setCompanyName(company.text());
  if (object.messagePrefixMode != 0) {
    // The edit holds 30 characters, but a start-up word may have filled it
    // with more: the branding's patterns take no longer prefix.
    Field messagePrefix(dialog, kBrandMessagePrefixControl);
    if (messagePrefix.empty() || messagePrefix.characters() > kMessagePrefixCharacters) {
      return refuse(object, kBrandStatusMessagePrefix, kMessagePrefixDetail);
    }
    object.setMessagePrefix(messagePrefix.text());
  }
  takeBrandingKey(object, Field(dialog, kBrandKeyControl));
  if (object.suffixMode != 0 && object.corvane61Mode == 0) {
    Field suffix(dialog, kBrandSuffixControl);
    if (suffix.empty() || object.setSuffix(brandtext::orEmpty(suffix.utf8())) != 0) {
      return refuse(object, kBrandStatusSuffix, kSuffixDetail);
    }
  }
  if (object.versionMode != 0) {
    Field version(dialog, kBrandVersionControl);
    if (version.empty() || object.setVersion(version.text()) != 0) {
      return refuse(object, kBrandStatusVersion, kVersionDetail);
    }
  }
  Field directory(dialog, kBrandDirectoryControl);
  object.setDirectory(directory.utf8());  // its existence is the missing-file check's
  return true;
}

void endWithObject(dialogs::WindowHandle dialog) {
  juRemoveWindowObject(dialog);
  (void)dialogs::endDialog(dialog, 0);
}

}  // namespace

void pressBrand(dialogs::WindowHandle dialog, brand& object) {
  // Without a valid INF there is nothing to brand: an empty list run would
  // report success.
  if (object.driverVersionCode[0] == 0) {
    (void)refuse(object, kBrandStatusInfInvalid, nullptr);
    return;
  }
  if (!takeFields(dialog, object)) return;
  object.status = kBrandStatusConfirmBrand;
  if (object.showStatus(nullptr) != 1) return;

  dialogs::setBusy(true);
  object.status = kBrandStatusSuccess;
  const int ran = object.run();
  dialogs::setBusy(false);
  if (isRefusedSetting(object.status)) {
    (void)object.showStatus(nullptr);
    object.status = kBrandStatusSuccess;
    return;
  }
  switch (object.status) {
    case kBrandStatusSuccess:
      // Stopped without a status (out of memory, the dialog could not run,
      // the input ended): nothing was branded to report.
      if (ran == 0) return;
      (void)object.showStatus(nullptr);
      endWithObject(dialog);
      return;
    case kBrandStatusCancel:
    case kBrandStatusFilesMissing:
      object.status = kBrandStatusSuccess;
      return;
    case kBrandStatusCopyFailed:
      endWithObject(dialog);  // the copy showed why
      return;
    default:
      return;
  }
}
