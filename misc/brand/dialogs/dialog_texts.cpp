// Dialog texts from the tool's UTF-8 fields.

#include "dialogs/brand_dialogs.h"
#include "text/brand_text.h"
#include "julib/object.h"
#include "julib/window.h"

void setItemTextUtf8(platform::dialogs::WindowHandle dialog, int32_t id, const char* utf8) {
  char16_t* text = brandtext::widenUtf8(brandtext::orEmpty(utf8));
  if (text != nullptr) (void)juSetDlgItemTextW(dialog, id, text);
  juFree(text);
}
