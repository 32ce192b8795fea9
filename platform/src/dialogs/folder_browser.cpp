// The folder browser: a modal dialog of the platform's own template where
// the user types a folder's path, sees its subfolders, and confirms it.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dialogs/boxes_internal.h"
#include "dialogs/heap.h"
#include "platform/dialogs/boxes.h"
#include "platform/files.h"

namespace platform::dialogs {

using internal::appendUtf16;
using internal::appendUtf8;
using internal::List;

namespace {

constexpr uint16_t kBrowserTemplate = 100;
constexpr int32_t kBrowserLabelId = 104;
// The property that marks a browser and holds its state.
constexpr char kBrowserProperty[] = "platform.browser";
// The subfolder line names this many at most.
constexpr size_t kMaxListedFolders = 40;
// What the user may type into the selection, in UTF-16 units.
constexpr size_t kSelectionLimit = 4096;

const ControlTemplate kBrowserControls[] = {
    {kBrowserTitleId, Kind::kStatic, 0, nullptr},
    {kBrowserFoldersId, Kind::kStatic, kStyleBorder, nullptr},
    {kBrowserStatusId, Kind::kStatic, kStyleBorder, nullptr},
    {kBrowserLabelId, Kind::kStatic, 0, u"Folder"},
    {kBrowserSelectionId, Kind::kEdit, 0, nullptr},
    {kOkCommand, Kind::kButton, kStyleDefaultButton, u"&OK"},
    {kCancelCommand, Kind::kButton, 0, u"&Cancel"},
};
const DialogTemplate kBrowser = {u"Browse for Folder", 0, kBrowserControls, 7, 200, 220};

struct Browser {
  const char* title;
  BrowseCallback callback;
  intptr_t parameter;
  char* path;
  size_t size;
};

// The selection as NUL-terminated UTF-8 bytes in `out`; false when memory
// runs out.
bool selection(WindowHandle browser, List<char>* out) {
  const WindowHandle edit = dialogItem(browser, kBrowserSelectionId);
  List<char16_t> text;
  const size_t units = textLength(edit) + 1;
  if (!text.tryReserve(units)) return false;
  text.setSize(getText(edit, text.data(), units));
  appendUtf8(out, std::u16string_view(text.data(), text.size()));
  out->push('\0');
  return !out->failed();
}

bool setUtf8Text(WindowHandle browser, int32_t id, const char* text) {
  List<char16_t> wide;
  appendUtf16(&wide, text == nullptr ? "" : text);
  wide.push(0);
  return !wide.failed() && setItemText(browser, id, wide.data());
}

// The names of the subfolders found, each NUL-terminated in `bytes`.
struct Folders {
  List<char> bytes;
  List<size_t> starts;
};

// A visitor of the file layer's walk.
bool collectFolder(const char* name, bool isDirectory, void* context) {
  if (!isDirectory) return true;
  auto* folders = static_cast<Folders*>(context);
  const size_t start = folders->bytes.size();
  folders->bytes.append(name, std::strlen(name) + 1);
  if (!folders->bytes.failed()) folders->starts.push(start);
  return !folders->bytes.failed() && !folders->starts.failed();  // else the line shows the folders found so far
}

// Shows the subfolders of the selection, sorted, on one line.
void listFolders(WindowHandle browser, const char* path) {
  Folders folders;
  if (path[0] != '\0' && listDirectory(path, &collectFolder, &folders) != kErrorNone) folders.starts.clear();
  const char* bytes = folders.bytes.data();
  size_t* starts = folders.starts.data();
  const size_t count = folders.starts.size();
  std::sort(starts, starts + count, [bytes](size_t a, size_t b) { return std::strcmp(bytes + a, bytes + b) < 0; });
  List<char> line;
  auto add = [&line](const char* text) { line.append(text, std::strlen(text)); };
  add(count == 0 ? "No subfolders" : "Subfolders:");
  for (size_t i = 0; i < count && i < kMaxListedFolders; ++i) {
    add(i == 0 ? " " : ", ");
    add(bytes + starts[i]);
  }
  if (count > kMaxListedFolders) add(", ...");
  line.push('\0');
  // A line not shown is no failure of the browser.
  if (!line.failed()) (void)setUtf8Text(browser, kBrowserFoldersId, line.data());
}

// OK: an existing directory that fits the caller's buffer ends the browser.
void accept(WindowHandle browser, const Browser& state) {
  List<char> path;
  if (!selection(browser, &path)) return;  // the user may try again
  const size_t length = path.size() - 1;
  const char* refusal = nullptr;
  if (length == 0 || fileKind(path.data()) != FileKind::kDirectory) {
    refusal = "Choose an existing folder.";
  } else if (length >= state.size) {
    refusal = "The folder's path is too long.";
  }
  if (refusal != nullptr) {
    (void)setUtf8Text(browser, kBrowserStatusId, refusal);
    beep(0);
    return;
  }
  std::memcpy(state.path, path.data(), length + 1);
  (void)endDialog(browser, 1);
}

intptr_t handle(WindowHandle browser, Message message, uint64_t first, intptr_t second) {
  if (message == Message::kInit) {
    auto* state = reinterpret_cast<Browser*>(second);
    if (!setProperty(browser, kBrowserProperty, state)) {
      (void)endDialog(browser, 0);  // cannot tell the browser from another dialog
      return 1;
    }
    (void)setUtf8Text(browser, kBrowserTitleId, state->title);
    (void)setTextLimit(dialogItem(browser, kBrowserSelectionId), kSelectionLimit);
    listFolders(browser, "");
    if (state->callback != nullptr) state->callback(browser, BrowseEvent::kInitialized, nullptr, state->parameter);
    return 1;
  }
  if (message != Message::kCommand) return 0;
  auto* state = static_cast<Browser*>(getProperty(browser, kBrowserProperty));
  if (state == nullptr) return 0;
  const int32_t id = commandId(first);
  const uint32_t notification = commandNotification(first);
  if (id == kBrowserSelectionId && notification == kNotifyChange) {
    List<char> path;
    if (!selection(browser, &path)) return 1;  // the texts were not updated; the user may try again
    listFolders(browser, path.data());
    if (state->callback != nullptr) {
      state->callback(browser, BrowseEvent::kSelectionChanged, path.data(), state->parameter);
    }
    return 1;
  }
  if (notification != 0) return 0;
  if (id == kOkCommand) accept(browser, *state);
  if (id == kCancelCommand) (void)endDialog(browser, 0);
  return 1;
}

bool isBrowser(WindowHandle window) { return getProperty(window, kBrowserProperty) != nullptr; }

}  // namespace

bool browseForFolder(WindowHandle owner, const char* title, BrowseCallback callback, intptr_t parameter, char* path,
                     size_t size) noexcept {
  if (path == nullptr || size == 0) return false;
  static std::atomic<bool> registered{false};
  if (!internal::registerOnce(&registered, kBrowserTemplate, &kBrowser, 1)) return false;
  Browser state = {title, callback, parameter, path, size};
  return runModal(internal::boxesModule(), kBrowserTemplate, owner, &handle, reinterpret_cast<intptr_t>(&state)) == 1;
}

bool browserSetSelection(WindowHandle browser, const char* path) noexcept {
  if (!isBrowser(browser) || !setUtf8Text(browser, kBrowserSelectionId, path)) return false;
  listFolders(browser, path == nullptr ? "" : path);
  return true;
}

bool browserSetStatusText(WindowHandle browser, const char* text) noexcept {
  return isBrowser(browser) && setUtf8Text(browser, kBrowserStatusId, text);
}

}  // namespace platform::dialogs
