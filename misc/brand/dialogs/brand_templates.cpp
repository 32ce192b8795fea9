// The tool's dialog templates as data (resources/dialogs.def), registered
// for its module.

#include <iterator>

#include "dialogs/brand_dialogs.h"

namespace {

namespace dialogs = platform::dialogs;

// The style names of the table's rows.
namespace styles {
constexpr uint32_t None = 0;
constexpr uint32_t Border = dialogs::kStyleBorder;
constexpr uint32_t UpperCase = dialogs::kStyleUpperCase;
constexpr uint32_t DefaultButton = dialogs::kStyleDefaultButton;
}  // namespace styles

// Each dialog's controls: k<name>Controls.
// clang-format off
#define BRAND_DIALOG(name, templateId, caption, width, height) const dialogs::ControlTemplate k##name##Controls[] = {
#define BRAND_CONTROL(id, kind, style, text) {id, dialogs::Kind::k##kind, styles::style, text},
#define BRAND_DIALOG_END() };
#include "dialogs.def"
// clang-format on
#undef BRAND_DIALOG
#undef BRAND_CONTROL
#undef BRAND_DIALOG_END

struct Entry {
  uint16_t templateId;
  dialogs::DialogTemplate dialog;
};

// The dialogs, each over its controls.
#define BRAND_DIALOG(name, templateId, caption, width, height) \
  {templateId, {caption, 0, k##name##Controls, std::size(k##name##Controls), width, height}},
#define BRAND_CONTROL(id, kind, style, text)
#define BRAND_DIALOG_END()
const Entry kDialogs[] = {
#include "dialogs.def"
};
#undef BRAND_DIALOG
#undef BRAND_CONTROL
#undef BRAND_DIALOG_END

}  // namespace

bool registerBrandDialogs(platform::ModuleHandle module) {
  for (const Entry& entry : kDialogs) {
    if (!dialogs::registerTemplate(module, entry.templateId, &entry.dialog)) return false;
  }
  return true;
}
