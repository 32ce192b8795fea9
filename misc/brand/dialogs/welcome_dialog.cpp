// The Welcome dialog: the product's name from the INF, and Continue.

#include "engine/brand.h"
#include "dialogs/brand_dialogs.h"
#include "brand_messages.h"
#include "engine/inf_reader.h"
#include "text/brand_text.h"
#include "julib/object.h"
#include "julib/profile.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/window.h"

namespace dialogs = platform::dialogs;

namespace {

// Units of the INF's PRODUCT value, with the terminator.
constexpr size_t kProductUnits = 2000;

// Message 399 with PRODUCT of the INF in the current directory (its name
// matched ignoring case), into the welcome text.
void showWelcome(dialogs::WindowHandle dialog) {
  char16_t inf[kJuMessageUnits];
  char16_t start[kJuMessageUnits];
  char16_t pattern[kJuMessageUnits];
  char* found = brandengine::findInf(nullptr);
  char16_t* foundWide = brandtext::widenUtf8(found);
  juFree(found);
  // None there: the catalogue's name, which reads as a missing file.
  if (foundWide == nullptr) (void)juLoadMessage(inf, kBrandMsgInfFileName);
  (void)juLoadMessage(start, kBrandMsgInfStartSection);
  (void)juLoadMessage(pattern, kBrandMsgWelcome);
  char16_t product[kProductUnits];
  const size_t units =
      juGetPrivateProfileStringW(start, u"PRODUCT", kBrandDefaultProduct, product, kProductUnits,
                                 foundWide != nullptr ? foundWide : inf, 0);
  juFree(foundWide);
  char* productUtf8 = brandtext::toUtf8(product, units);
  const char* params[] = {productUtf8};
  JuStringW text;
  if (productUtf8 != nullptr && brandtext::format(text, pattern, params, 1) == 0) {
    (void)juSetDlgItemTextW(dialog, kBrandWelcomeText, text.data);  // a control of the template
  }
  juFree(productUtf8);
}

}  // namespace

intptr_t welcomeDlgProc(dialogs::WindowHandle dialog, dialogs::Message message, uint64_t first, intptr_t) {
  switch (message) {
    case dialogs::Message::kInit:
      showWelcome(dialog);
      centerDialog(dialog);
      (void)dialogs::setFocus(dialog);
      return 1;
    case dialogs::Message::kCommand:
      // Continue is the one way out: close and Escape press no button here.
      if (dialogs::commandId(first) != dialogs::kOkCommand || dialogs::commandNotification(first) != 0) return 0;
      (void)dialogs::endDialog(dialog, 1);
      return 1;
    default:
      return 0;
  }
}
