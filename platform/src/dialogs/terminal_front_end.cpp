// The terminal front end: the innermost modal dialog drawn as text, and
// typed lines turned into the user's actions.

#include "platform/dialogs/terminal_front_end.h"

#include <unicode/uchar.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/utf16.h"

namespace platform::dialogs {

namespace internal {

enum class ReadResult { kRead, kTimedOut, kEnded };
// Waits at most `waitMilliseconds` (-1: as long as it takes) for `fd` to
// have input and reads what is there, at most `size` bytes.
ReadResult readSome(int fd, int32_t waitMilliseconds, char* buffer, size_t size, size_t* got);

}  // namespace internal

namespace {

constexpr char kHint[] =
    "Type a field's number and its text, a button's letter, Enter for the default button, esc, or ? to draw again.";
// Labels are padded with dots to this many characters.
constexpr size_t kLabelWidth = 20;

struct Control {
  WindowHandle window;
  WindowInfo info;
  std::u16string text;
};

std::u16string textOf(WindowHandle window) {
  std::u16string text(textLength(window) + 1, u'\0');
  text.resize(getText(window, text.data(), text.size()));
  return text;
}

// A text as the terminal may show it: UTF-8, and no control character that
// could move the cursor or change the terminal's state.
std::string shown(std::u16string_view text) {
  std::u16string safe;
  safe.reserve(text.size());
  for (char16_t unit : text) {
    if (unit == u'\t') {
      safe += u' ';
    } else if (unit < 0x20 || (unit >= 0x7F && unit <= 0x9F)) {
      safe += static_cast<char16_t>(utf16::kReplacementChar);
    } else {
      safe += unit;
    }
  }
  return utf16::toUtf8(safe);
}

size_t characters(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The visible controls of `dialog` in creation order.
std::vector<Control> controlsOf(WindowHandle dialog) {
  std::vector<Control> controls;
  for (WindowHandle c = nextChild(dialog, nullptr); c; c = nextChild(dialog, c)) {
    Control control{c, {}, {}};
    if (!windowInfo(c, &control.info) || !isVisible(c)) continue;
    control.text = textOf(c);
    controls.push_back(std::move(control));
  }
  return controls;
}

// The character after a single '&', or 0.
char32_t accelerator(std::u16string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    size_t next = i + 1;
    return utf16::nextCodePoint(text, &next);
  }
  return 0;
}

// "&Brand" -> "[B]rand"; "&&" -> "&".
std::u16string buttonLabel(std::u16string_view text) {
  std::u16string out;
  bool marked = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    ++i;
    if (text[i] == u'&' || marked) {
      out += text[i];
      continue;
    }
    size_t end = i;
    utf16::nextCodePoint(text, &end);
    out += u'[';
    out.append(text.substr(i, end - i));
    out += u']';
    i = end - 1;
    marked = true;
  }
  return out;
}

// The statics right before control `at` that label it: back to an edit, a
// button or a bordered static.
size_t labelStart(const std::vector<Control>& controls, size_t at) {
  size_t start = at;
  while (start > 0) {
    const WindowInfo& info = controls[start - 1].info;
    if (info.kind != Kind::kStatic || (info.style & kStyleBorder) != 0) break;
    --start;
  }
  return start;
}

bool isLabel(const std::vector<Control>& controls, size_t i) {
  if ((controls[i].info.style & kStyleBorder) != 0) return false;
  for (size_t j = i + 1; j < controls.size(); ++j) {
    const WindowInfo& info = controls[j].info;
    if (info.kind == Kind::kEdit) return true;
    if (info.kind != Kind::kStatic || (info.style & kStyleBorder) != 0) return false;
  }
  return false;
}

std::string fieldLine(const std::vector<Control>& controls, size_t at, size_t number) {
  std::string label;
  for (size_t i = labelStart(controls, at); i < at; ++i) {
    const std::string word = shown(controls[i].text);
    if (word.empty()) continue;
    if (!label.empty()) label += ' ';
    label += word;
  }
  std::string line = "  " + std::to_string(number) + ") ";
  if (!label.empty()) {
    const size_t used = characters(label) + 1;
    line += label + ' ' + std::string(used + 3 <= kLabelWidth ? kLabelWidth - used : 3, '.') + ' ';
  }
  return line + "[" + shown(controls[at].text) + "]\n";
}

std::vector<WindowHandle> fieldsOf(const std::vector<Control>& controls) {
  std::vector<WindowHandle> fields;
  for (const Control& c : controls) {
    if (c.info.kind == Kind::kEdit) fields.push_back(c.window);
  }
  return fields;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (u_tolower(static_cast<unsigned char>(a[i])) != u_tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(int inputFd, FILE* output) noexcept : input_(inputFd), output_(output) {
  savedInput_ = setInputHook(&TerminalFrontEnd::inputHook, this, &savedInputContext_);
  savedBeep_ = setBeepHook(&TerminalFrontEnd::beepHook, this, &savedBeepContext_);
}

TerminalFrontEnd::~TerminalFrontEnd() {
  setInputHook(savedInput_, savedInputContext_);
  setBeepHook(savedBeep_, savedBeepContext_);
}

bool TerminalFrontEnd::inputHook(WindowHandle dialog, int32_t waitMilliseconds, void* context) {
  try {
    return static_cast<TerminalFrontEnd*>(context)->onInput(dialog, waitMilliseconds);
  } catch (const std::bad_alloc&) {
    return false;  // a line that cannot be held cannot be acted on either
  }
}

void TerminalFrontEnd::beepHook(uint32_t, void* context) {
  auto* self = static_cast<TerminalFrontEnd*>(context);
  if (self->output_ == nullptr) return;
  std::fputc('\a', self->output_);
  std::fflush(self->output_);
}

bool TerminalFrontEnd::onInput(WindowHandle dialog, int32_t waitMilliseconds) {
  if (dialog != drawn_ || changeCount() != drawnAt_) draw(dialog);
  std::string line;
  if (!nextLine(waitMilliseconds, &line)) return !ended_;
  act(dialog, line);
  return true;
}

void TerminalFrontEnd::draw(WindowHandle dialog) {
  drawn_ = dialog;
  drawnAt_ = changeCount();
  const std::string caption = shown(textOf(dialog));
  const std::string rule = "+" + std::string(characters(caption) + 2, '-') + "+\n";
  std::string out = "\n" + rule + "| " + caption + " |\n" + rule;
  const std::vector<Control> controls = controlsOf(dialog);
  std::string buttons;
  size_t fields = 0;
  for (size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    switch (c.info.kind) {
      case Kind::kEdit:
        out += fieldLine(controls, i, ++fields);
        break;
      case Kind::kStatic: {
        if (isLabel(controls, i) || c.text.empty()) break;
        size_t from = 0;
        while (from <= c.text.size()) {
          size_t end = c.text.find(u'\n', from);
          if (end == std::u16string::npos) end = c.text.size();
          std::u16string_view row(c.text.data() + from, end - from);
          if (!row.empty() && row.back() == u'\r') row.remove_suffix(1);
          out += "  " + shown(row) + "\n";
          from = end + 1;
        }
        break;
      }
      case Kind::kButton: {
        std::string label = shown(buttonLabel(c.text));
        if ((c.info.style & kStyleDefaultButton) != 0) label = "<" + label + ">";
        buttons += "  " + label;
        break;
      }
      default:
        break;
    }
  }
  if (!buttons.empty()) out += buttons + "\n";
  if (isBusy()) out += "  (busy: please wait)\n";
  out += "> ";
  if (output_ == nullptr) return;
  std::fwrite(out.data(), 1, out.size(), output_);
  std::fflush(output_);
}

void TerminalFrontEnd::hint(const char* text) {
  if (output_ == nullptr) return;
  std::fprintf(output_, "%s\n> ", text);
  std::fflush(output_);
}

void TerminalFrontEnd::act(WindowHandle dialog, const std::string& typed) {
  std::string line = typed;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line == "?") {
    draw(dialog);
    return;
  }
  if (line == "\x1b" || equalsNoCase(line, "esc")) {
    if (!pressKey(dialog, kKeyEscape)) hint(kHint);
    return;
  }
  const std::vector<Control> controls = controlsOf(dialog);
  if (line.empty()) {
    for (const Control& c : controls) {
      if (c.info.kind == Kind::kButton && (c.info.style & kStyleDefaultButton) != 0 && pressButton(c.window)) return;
    }
    hint("This dialog has no default button.");
    return;
  }
  // "N text" or "N": field N.
  size_t digits = 0;
  size_t number = 0;
  for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
    if (digits < 9) number = number * 10 + static_cast<size_t>(line[digits] - '0');
  }
  if (digits > 0 && digits <= 9 && (digits == line.size() || line[digits] == ' ')) {
    const std::vector<WindowHandle> fields = fieldsOf(controls);
    const std::string text = digits == line.size() ? std::string() : line.substr(digits + 1);
    if (number >= 1 && number <= fields.size() &&
        userSetText(fields[number - 1], utf16::fromUtf8(text).c_str())) {
      return;
    }
    hint("There is no such field.");
    return;
  }
  // One character: a button's accelerator.
  const utf16::Utf8Char typedChar = utf16::decodeUtf8(line, 0);
  if (typedChar.bytes == line.size()) {
    for (const Control& c : controls) {
      if (c.info.kind != Kind::kButton) continue;
      const char32_t key = accelerator(c.text);
      if (key != 0 && u_tolower(static_cast<UChar32>(key)) == u_tolower(static_cast<UChar32>(typedChar.codePoint)) &&
          pressButton(c.window)) {
        return;
      }
    }
  }
  hint(kHint);
}

bool TerminalFrontEnd::nextLine(int32_t waitMilliseconds, std::string* line) {
  const uint64_t start = monotonicMilliseconds();
  for (;;) {
    if (takeLine(line)) return true;
    if (ended_) {
      if (pending_.empty()) return false;
      line->swap(pending_);  // the last line, without its line break
      pending_.clear();
      partialBytes_ = 0;
      return true;
    }
    int32_t left = -1;
    if (waitMilliseconds >= 0) {
      const uint64_t spent = monotonicMilliseconds() - start;
      left = spent >= static_cast<uint64_t>(waitMilliseconds) ? 0 : static_cast<int32_t>(waitMilliseconds - spent);
    }
    char buffer[4096];
    size_t got = 0;
    switch (internal::readSome(input_, left, buffer, sizeof buffer, &got)) {
      case internal::ReadResult::kRead:
        append(buffer, got);
        break;
      case internal::ReadResult::kTimedOut:
        return false;
      case internal::ReadResult::kEnded:
        ended_ = true;
        break;
    }
  }
}

void TerminalFrontEnd::append(const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] == '\n') {
      pending_ += '\n';
      partialBytes_ = 0;
    } else if (partialBytes_ < kMaxLineBytes) {
      pending_ += bytes[i];
      ++partialBytes_;
    }  // else: the rest of an overlong line is dropped
  }
}

bool TerminalFrontEnd::takeLine(std::string* line) {
  const size_t end = pending_.find('\n');
  if (end == std::string::npos) return false;
  line->assign(pending_, 0, end);
  pending_.erase(0, end + 1);
  return true;
}

}  // namespace platform::dialogs

#include "unix/terminal.inc"
