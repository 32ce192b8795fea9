// Message boxes: a modal dialog of the platform's own templates, one per
// button set and icon.

#include "dialogs/boxes_internal.h"
#include "platform/dialogs/boxes.h"

namespace platform::dialogs {

namespace internal {

ModuleHandle boxesModule() {
  static const Module module = {"platform dialog boxes", nullptr, {nullptr}};
  return &module;
}

bool registerOnce(std::atomic<bool>* registered, uint16_t first, const DialogTemplate* templates, size_t count) {
  if (registered->load(std::memory_order_acquire)) return true;
  for (size_t i = 0; i < count; ++i) {
    if (!registerTemplate(boxesModule(), static_cast<uint16_t>(first + i), &templates[i])) return false;
  }
  registered->store(true, std::memory_order_release);
  return true;
}

}  // namespace internal

namespace {

const ControlTemplate kOkControls[] = {
    {kBoxTextId, Kind::kStatic, 0, nullptr},
    {kAnswerOk, Kind::kButton, kStyleDefaultButton, u"&OK"},
};
const ControlTemplate kYesNoControls[] = {
    {kBoxTextId, Kind::kStatic, 0, nullptr},
    {kAnswerYes, Kind::kButton, kStyleDefaultButton, u"&Yes"},
    {kAnswerNo, Kind::kButton, 0, u"&No"},
};

// The box's style keeps the buttons and the icon, so there is a template
// for each pair.
const DialogTemplate kBoxes[] = {
    {nullptr, kBoxOk, kOkControls, 2, 180, 60},
    {nullptr, kBoxOk | kBoxIconExclamation, kOkControls, 2, 180, 60},
    {nullptr, kBoxYesNo, kYesNoControls, 3, 180, 60},
    {nullptr, kBoxYesNo | kBoxIconExclamation, kYesNoControls, 3, 180, 60},
};
constexpr uint16_t kFirstBoxTemplate = 1;

struct BoxText {
  const char16_t* text;
  const char16_t* caption;
};

intptr_t boxProc(WindowHandle box, Message message, uint64_t first, intptr_t second) {
  if (message == Message::kInit) {
    const auto* texts = reinterpret_cast<const BoxText*>(second);
    // An empty text in place of one that cannot be stored still lets the
    // user answer.
    if (!setText(box, texts->caption)) (void)setText(box, nullptr);
    if (!setItemText(box, kBoxTextId, texts->text)) (void)setItemText(box, kBoxTextId, nullptr);
    return 1;
  }
  if (message != Message::kCommand || commandNotification(first) != 0) return 0;
  const int32_t id = commandId(first);
  if (id == kCancelCommand) {
    // Escape and the close box: OK in an OK box; a Yes/No box has no Cancel.
    if (dialogItem(box, kAnswerOk)) (void)endDialog(box, kAnswerOk);
    return 1;
  }
  if ((id == kAnswerOk || id == kAnswerYes || id == kAnswerNo) && dialogItem(box, id)) (void)endDialog(box, id);
  return 1;
}

}  // namespace

int32_t messageBox(WindowHandle owner, const char16_t* text, const char16_t* caption, uint32_t style) noexcept {
  static std::atomic<bool> registered{false};
  if (!internal::registerOnce(&registered, kFirstBoxTemplate, kBoxes, 4)) return static_cast<int32_t>(kDialogFailed);
  const bool yesNo = (style & 0xF) == kBoxYesNo;
  const bool exclamation = (style & 0xF0) == kBoxIconExclamation;
  const uint16_t templateId = static_cast<uint16_t>(kFirstBoxTemplate + (yesNo ? 2 : 0) + (exclamation ? 1 : 0));
  BoxText texts = {text, caption};
  const intptr_t code = runModal(internal::boxesModule(), templateId, owner, &boxProc, reinterpret_cast<intptr_t>(&texts));
  return static_cast<int32_t>(code);
}

}  // namespace platform::dialogs
