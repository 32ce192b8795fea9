// Scripted input for the dialog model.

#include "testing/dialog_script.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

#include "platform/utf16.h"

namespace jutest {

namespace dialogs = platform::dialogs;

// The fields in their order: caption, action, id, text, key.
DialogStep DialogStep::setField(std::string caption, int32_t id, std::string text) {
  return {std::move(caption), Action::kSetField, id, std::move(text), 0};
}

DialogStep DialogStep::press(std::string caption, int32_t id) {
  return {std::move(caption), Action::kPressButton, id, {}, 0};
}

DialogStep DialogStep::pressKey(std::string caption, uint64_t key) {
  return {std::move(caption), Action::kKey, 0, {}, key};
}

DialogStep DialogStep::close(std::string caption) { return {std::move(caption), Action::kClose, 0, {}, 0}; }

DialogStep DialogStep::endInput(std::string caption) { return {std::move(caption), Action::kEndInput, 0, {}, 0}; }

std::string windowTextUtf8(dialogs::WindowHandle window) {
  std::u16string text(dialogs::textLength(window) + 1, u'\0');
  text.resize(dialogs::getText(window, text.data(), text.size()));
  return platform::utf16::toUtf8(text);
}

DialogScript::DialogScript(std::vector<DialogStep> steps) : steps_(std::move(steps)) {
  savedInput_ = dialogs::setInputHook(&DialogScript::hook, this, &savedInputContext_);
  savedBeep_ = dialogs::setBeepHook(&DialogScript::beepHook, this, &savedBeepContext_);
}

DialogScript::~DialogScript() {
  dialogs::setInputHook(savedInput_, savedInputContext_);
  dialogs::setBeepHook(savedBeep_, savedBeepContext_);
}

std::vector<std::string> DialogScript::metSummary() const {
  std::vector<std::string> rows;
  for (const MetDialog& dialog : met_) {
    std::string row = dialog.caption + ":";
    for (size_t i = 0; i < dialog.statics.size(); ++i) row += (i == 0 ? " " : " | ") + dialog.statics[i];
    rows.push_back(row);
  }
  return rows;
}

bool DialogScript::hook(dialogs::WindowHandle dialog, int32_t waitMilliseconds, void* context) {
  return static_cast<DialogScript*>(context)->run(dialog, waitMilliseconds);
}

void DialogScript::beepHook(uint32_t type, void* context) { static_cast<DialogScript*>(context)->beeps_.push_back(type); }

void DialogScript::meet(dialogs::WindowHandle dialog) {
  if (dialog == last_) return;
  last_ = dialog;
  MetDialog met;
  met.caption = windowTextUtf8(dialog);
  for (dialogs::WindowHandle c = dialogs::nextChild(dialog, nullptr); c; c = dialogs::nextChild(dialog, c)) {
    dialogs::WindowInfo info{};
    if (dialogs::windowInfo(c, &info) && info.kind == dialogs::Kind::kStatic) met.statics.push_back(windowTextUtf8(c));
  }
  met_.push_back(std::move(met));
}

bool DialogScript::run(dialogs::WindowHandle dialog, int32_t waitMilliseconds) {
  ++calls_;
  meet(dialog);
  if (next_ == steps_.size()) return false;
  const DialogStep& step = steps_[next_];
  const std::string caption = windowTextUtf8(dialog);
  if (step.caption != "any" && step.caption != caption) {
    if (waitMilliseconds >= 0) {
      // A timer is pending or the dialog only polls: let it run first.
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
      return true;
    }
    ADD_FAILURE() << "step " << next_ << " expects the dialog \"" << step.caption << "\" but \"" << caption
                  << "\" is waiting for input";
    return false;
  }
  ++next_;  // before acting: the action may run a nested dialog that takes the next step
  bool done = true;
  switch (step.action) {
    case DialogStep::Action::kSetField:
      done = dialogs::userSetText(dialogs::dialogItem(dialog, step.id), platform::utf16::fromUtf8(step.text).c_str());
      break;
    case DialogStep::Action::kPressButton:
      done = dialogs::pressButton(dialogs::dialogItem(dialog, step.id));
      break;
    case DialogStep::Action::kKey:
      done = dialogs::pressKey(dialog, step.key);
      break;
    case DialogStep::Action::kClose:
      done = dialogs::postMessage(dialog, dialogs::Message::kClose, 0, 0);
      break;
    case DialogStep::Action::kEndInput:
      return false;
  }
  if (!done) {
    ADD_FAILURE() << "step " << (next_ - 1) << " on \"" << caption << "\": the dialog refused control " << step.id;
    return false;
  }
  return true;
}

}  // namespace jutest
