// The terminal front end: the innermost modal dialog drawn as text, and
// typed lines turned into the user's actions.

#include "platform/dialogs/terminal_front_end.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dialogs/heap.h"
#include "dialogs/model_internal.h"
#include "platform/clock.h"
#include "platform/utf16.h"

namespace platform::dialogs {

namespace internal {

enum class ReadResult { kRead, kTimedOut, kEnded };
// Waits at most `waitMilliseconds` (-1: as long as it takes) for `fd` to
// have input and reads what is there, at most `size` bytes.
ReadResult readSome(int fd, int32_t waitMilliseconds, char* buffer, size_t size, size_t* got);
// Discards what a terminal holds of input not yet read, a line being typed
// too; nothing for other inputs.
void discardTerminalInput(int fd);

}  // namespace internal

namespace {

using internal::List;

constexpr char kHint[] =
    "Type a field's number and its text, a button's letter, Enter for the default button, esc, or ? to draw again.";
// Labels are padded with dots to this many characters.
constexpr size_t kLabelWidth = 20;
// Unread input dropped at once at most, so a writer that never stops cannot
// hold the front end.
constexpr size_t kMaxDroppedBytes = size_t{1} << 20;

struct Control {
  WindowHandle window;
  WindowInfo info;
  size_t textAt;  // in Controls::texts
  size_t textUnits;
};

// The visible controls of a dialog in creation order, their texts in one
// array.
struct Controls {
  List<Control> items;
  List<char16_t> texts;

  size_t size() const { return items.size(); }
  const WindowInfo& info(size_t i) const { return items.data()[i].info; }
  std::u16string_view text(size_t i) const {
    const Control& c = items.data()[i];
    return {texts.data() + c.textAt, c.textUnits};
  }
};

// Appends the text of `window`; false when memory runs out.
bool appendTextOf(WindowHandle window, List<char16_t>* out) {
  const size_t units = textLength(window) + 1;
  if (!out->reserve(units)) return false;
  out->setSize(out->size() + getText(window, out->data() + out->size(), units));
  return true;
}

bool collectControls(WindowHandle dialog, Controls* out) {
  for (WindowHandle c = nextChild(dialog, nullptr); c; c = nextChild(dialog, c)) {
    Control control{c, {}, out->texts.size(), 0};
    if (!windowInfo(c, &control.info) || !isVisible(c)) continue;
    if (!appendTextOf(c, &out->texts)) return false;
    control.textUnits = out->texts.size() - control.textAt;
    out->items.push(control);
  }
  return !out->items.failed();
}

void appendBytes(List<char>* out, std::string_view bytes) { out->append(bytes.data(), bytes.size()); }

// Appends `text` as the terminal may show it: UTF-8, and no control
// character that could move the cursor or change the terminal's state.
void appendShown(List<char>* out, std::u16string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t c = utf16::nextCodePoint(text, &i);
    if (c == U'\t') {
      c = U' ';
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      c = utf16::kReplacementChar;
    }
    char bytes[4];
    out->append(bytes, utf16::encodeUtf8(c, bytes));
  }
}

size_t characters(const char* utf8, size_t bytes) {
  size_t n = 0;
  for (size_t i = 0; i < bytes; ++i) n += (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80;
  return n;
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
void appendButtonLabel(List<char>* out, std::u16string_view text) {
  bool marked = false;
  size_t from = 0;  // where the text not yet shown starts
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    appendShown(out, text.substr(from, i - from));
    from = ++i;
    if (text[i] == u'&' || marked) continue;
    size_t end = i;
    utf16::nextCodePoint(text, &end);
    out->push('[');
    appendShown(out, text.substr(i, end - i));
    out->push(']');
    marked = true;
    from = end;
    i = end - 1;
  }
  appendShown(out, text.substr(from));
}

// The statics right before control `at` that label it: back to an edit, a
// button or a bordered static.
size_t labelStart(const Controls& controls, size_t at) {
  size_t start = at;
  while (start > 0) {
    const WindowInfo& info = controls.info(start - 1);
    if (info.kind != Kind::kStatic || (info.style & kStyleBorder) != 0) break;
    --start;
  }
  return start;
}

bool isLabel(const Controls& controls, size_t i) {
  if ((controls.info(i).style & kStyleBorder) != 0) return false;
  for (size_t j = i + 1; j < controls.size(); ++j) {
    const WindowInfo& info = controls.info(j);
    if (info.kind == Kind::kEdit) return true;
    if (info.kind != Kind::kStatic || (info.style & kStyleBorder) != 0) return false;
  }
  return false;
}

//     3) Company Name ..... [Acme]
void appendFieldLine(List<char>* out, const Controls& controls, size_t at, size_t number) {
  char numbered[32];
  std::snprintf(numbered, sizeof numbered, "  %zu) ", number);
  appendBytes(out, numbered);
  const size_t labelAt = out->size();
  for (size_t i = labelStart(controls, at); i < at; ++i) {
    if (controls.text(i).empty()) continue;
    if (out->size() != labelAt) out->push(' ');
    appendShown(out, controls.text(i));
  }
  if (out->size() != labelAt) {
    const size_t used = characters(out->data() + labelAt, out->size() - labelAt) + 1;
    constexpr std::string_view kDots = "....................";
    static_assert(kDots.size() == kLabelWidth, "enough dots for any label");
    out->push(' ');
    appendBytes(out, kDots.substr(0, used + 3 <= kLabelWidth ? kLabelWidth - used : 3));
    out->push(' ');
  }
  out->push('[');
  appendShown(out, controls.text(at));
  appendBytes(out, "]\n");
}

// The lines of a static, each indented.
void appendStatic(List<char>* out, std::u16string_view text) {
  for (size_t from = 0; from <= text.size();) {
    size_t end = text.find(u'\n', from);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view row = text.substr(from, end - from);
    if (!row.empty() && row.back() == u'\r') row.remove_suffix(1);
    appendBytes(out, "  ");
    appendShown(out, row);
    out->push('\n');
    from = end + 1;
  }
}

// +---------+
void appendRule(List<char>* out, size_t dashes) {
  out->push('+');
  for (size_t i = 0; i < dashes; ++i) out->push('-');
  appendBytes(out, "+\n");
}

// The `number`th visible edit (from 1); null when there is none.
WindowHandle field(const Controls& controls, size_t number) {
  for (size_t i = 0; i < controls.size(); ++i) {
    if (controls.info(i).kind == Kind::kEdit && --number == 0) return controls.items.data()[i].window;
  }
  return nullptr;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (u_tolower(static_cast<unsigned char>(a[i])) != u_tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// A line as typed on a terminal that sends Enter as "\r\n".
std::string_view withoutReturn(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// "esc" in any case, or the Escape character alone: the Escape key.
bool isEscape(std::string_view line) { return line == "\x1b" || equalsNoCase(line, "esc"); }

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(int inputFd, FILE* output) noexcept
    : input_(inputFd),
      output_(output),
      pending_(static_cast<char*>(internal::reallocate(nullptr, kPendingBytes))),
      busyPeriods_(internal::busyPeriods()) {
  savedInput_ = setInputHook(&TerminalFrontEnd::inputHook, this, &savedInputContext_);
  savedBeep_ = setBeepHook(&TerminalFrontEnd::beepHook, this, &savedBeepContext_);
}

TerminalFrontEnd::~TerminalFrontEnd() {
  setInputHook(savedInput_, savedInputContext_);
  setBeepHook(savedBeep_, savedBeepContext_);
  std::free(pending_);
}

bool TerminalFrontEnd::inputHook(WindowHandle dialog, int32_t waitMilliseconds, void* context) {
  return static_cast<TerminalFrontEnd*>(context)->onInput(dialog, waitMilliseconds);
}

void TerminalFrontEnd::beepHook(uint32_t, void* context) {
  auto* self = static_cast<TerminalFrontEnd*>(context);
  if (self->output_ == nullptr) return;
  std::fputc('\a', self->output_);
  std::fflush(self->output_);
}

bool TerminalFrontEnd::endInput() {
  ended_ = true;
  return false;
}

bool TerminalFrontEnd::onInput(WindowHandle dialog, int32_t waitMilliseconds) {
  if (pending_ == nullptr) return endInput();
  dropStaleInput(dialog);
  if ((dialog != drawn_ || changeCount() != drawnAt_) && !draw(dialog)) return endInput();
  size_t length = 0;
  if (!nextLine(waitMilliseconds, &length)) return !ended_;
  // A copy: acting may run a nested dialog that reads on.
  List<char> line;
  line.append(pending_, length);
  takeFront(std::min(length + 1, pendingBytes_));
  if (line.failed()) return endInput();
  const std::string_view typed = withoutReturn(std::string_view(line.data(), line.size()));
  // Busy work that pumps, or a progress dialog waiting for its timer: only
  // Escape, which stops the work, is meant for it; any other line was typed
  // ahead of a later question.
  if (waitMilliseconds >= 0 && isBusy() && !isEscape(typed)) {
    hint("The tool is busy: only esc, which stops it, is taken now.");
    return true;
  }
  return act(dialog, typed) || endInput();
}

void TerminalFrontEnd::dropStaleInput(WindowHandle dialog) {
  const bool busy = isBusy();
  const uint64_t periods = internal::busyPeriods();
  const bool wasAway = wasBusy_ || periods != busyPeriods_;  // busy at some time since the last ask
  if (dialog != drawn_ && (busy || wasAway)) {
    dropPending();
  } else if (!busy && wasAway) {
    dropUnread();
  }
  wasBusy_ = busy;
  busyPeriods_ = periods;
}

void TerminalFrontEnd::dropPending() {
  pendingBytes_ = 0;
  partialBytes_ = 0;
  dropUnread();
}

void TerminalFrontEnd::dropUnread() {
  internal::discardTerminalInput(input_);
  char buffer[kReadBytes];
  for (size_t dropped = 0; !ended_ && dropped < kMaxDroppedBytes;) {
    size_t got = 0;
    const internal::ReadResult result = internal::readSome(input_, 0, buffer, sizeof buffer, &got);
    if (result == internal::ReadResult::kTimedOut) return;
    if (result == internal::ReadResult::kEnded) ended_ = true;
    dropped += got;
  }
}

bool TerminalFrontEnd::draw(WindowHandle dialog) {
  drawn_ = dialog;
  drawnAt_ = changeCount();
  Controls controls;
  List<char16_t> captionText;
  if (!appendTextOf(dialog, &captionText) || !collectControls(dialog, &controls)) return false;
  List<char> caption;
  appendShown(&caption, std::u16string_view(captionText.data(), captionText.size()));
  List<char> out;
  out.push('\n');
  appendRule(&out, characters(caption.data(), caption.size()) + 2);
  appendBytes(&out, "| ");
  out.append(caption.data(), caption.size());
  appendBytes(&out, " |\n");
  appendRule(&out, characters(caption.data(), caption.size()) + 2);
  List<char> buttons;
  size_t fields = 0;
  for (size_t i = 0; i < controls.size(); ++i) {
    const WindowInfo& info = controls.info(i);
    switch (info.kind) {
      case Kind::kEdit:
        appendFieldLine(&out, controls, i, ++fields);
        break;
      case Kind::kStatic:
        if (!isLabel(controls, i) && !controls.text(i).empty()) appendStatic(&out, controls.text(i));
        break;
      case Kind::kButton: {
        const bool isDefault = (info.style & kStyleDefaultButton) != 0;
        appendBytes(&buttons, isDefault ? "  <" : "  ");
        appendButtonLabel(&buttons, controls.text(i));
        if (isDefault) buttons.push('>');
        break;
      }
      default:
        break;
    }
  }
  if (buttons.size() != 0) {
    out.append(buttons.data(), buttons.size());
    out.push('\n');
  }
  if (isBusy()) appendBytes(&out, "  (busy: please wait)\n");
  appendBytes(&out, "> ");
  if (out.failed() || caption.failed() || buttons.failed()) return false;
  if (output_ == nullptr) return true;
  std::fwrite(out.data(), 1, out.size(), output_);
  std::fflush(output_);
  return true;
}

void TerminalFrontEnd::hint(const char* text) {
  if (output_ == nullptr) return;
  std::fprintf(output_, "%s\n> ", text);
  std::fflush(output_);
}

bool TerminalFrontEnd::act(WindowHandle dialog, std::string_view line) {
  if (line == "?") return draw(dialog);
  if (isEscape(line)) {
    if (!pressKey(dialog, kKeyEscape)) hint(kHint);
    return true;
  }
  Controls controls;
  if (!collectControls(dialog, &controls)) return false;
  if (line.empty()) {
    for (size_t i = 0; i < controls.size(); ++i) {
      const WindowInfo& info = controls.info(i);
      if (info.kind == Kind::kButton && (info.style & kStyleDefaultButton) != 0 &&
          pressButton(controls.items.data()[i].window)) {
        return true;
      }
    }
    hint("This dialog has no default button.");
    return true;
  }
  // "N text" or "N": field N.
  size_t digits = 0;
  size_t number = 0;
  for (; digits < line.size() && line[digits] >= '0' && line[digits] <= '9'; ++digits) {
    if (digits < 9) number = number * 10 + static_cast<size_t>(line[digits] - '0');
  }
  if (digits > 0 && digits <= 9 && (digits == line.size() || line[digits] == ' ')) {
    List<char16_t> text;
    internal::appendUtf16(&text, line.substr(std::min(digits + 1, line.size())));
    text.push(0);
    if (text.failed()) return false;
    const WindowHandle edit = number >= 1 ? field(controls, number) : nullptr;
    if (!edit || !userSetText(edit, text.data())) hint("There is no such field.");
    return true;
  }
  // One character: a button's accelerator.
  const utf16::Utf8Char typed = utf16::decodeUtf8(line, 0);
  if (typed.bytes == line.size()) {
    for (size_t i = 0; i < controls.size(); ++i) {
      if (controls.info(i).kind != Kind::kButton) continue;
      const char32_t key = accelerator(controls.text(i));
      if (key != 0 && u_tolower(static_cast<UChar32>(key)) == u_tolower(static_cast<UChar32>(typed.codePoint)) &&
          pressButton(controls.items.data()[i].window)) {
        return true;
      }
    }
  }
  hint(kHint);
  return true;
}

bool TerminalFrontEnd::nextLine(int32_t waitMilliseconds, size_t* length) {
  const uint64_t start = monotonicMilliseconds();
  for (;;) {
    if (const void* end = std::memchr(pending_, '\n', pendingBytes_)) {
      *length = static_cast<size_t>(static_cast<const char*>(end) - pending_);
      return true;
    }
    if (ended_) {
      *length = pendingBytes_;  // the last line, without its line break
      return pendingBytes_ != 0;
    }
    int32_t left = -1;
    if (waitMilliseconds >= 0) {
      const uint64_t spent = monotonicMilliseconds() - start;
      left = spent >= static_cast<uint64_t>(waitMilliseconds) ? 0 : static_cast<int32_t>(waitMilliseconds - spent);
    }
    char buffer[kReadBytes];
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

// Reads come only when no whole line is held, so the block holds the
// unfinished line (kMaxLineBytes at most) and one read.
void TerminalFrontEnd::append(const char* bytes, size_t count) {
  for (size_t i = 0; i < count && pendingBytes_ < kPendingBytes; ++i) {
    if (bytes[i] == '\n') {
      pending_[pendingBytes_++] = '\n';
      partialBytes_ = 0;
    } else if (partialBytes_ < kMaxLineBytes) {
      pending_[pendingBytes_++] = bytes[i];
      ++partialBytes_;
    }  // else: the rest of an overlong line is dropped
  }
}

void TerminalFrontEnd::takeFront(size_t bytes) {
  std::memmove(pending_, pending_ + bytes, pendingBytes_ - bytes);
  pendingBytes_ -= bytes;
  partialBytes_ = std::min(partialBytes_, pendingBytes_);
}

}  // namespace platform::dialogs

#include "unix/terminal.inc"
