// The folder browser: a modal dialog of the platform's own template where
// the user types a folder's path, sees its subfolders, and confirms it.

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dialogs/boxes_internal.h"
#include "platform/dialogs/boxes.h"
#include "platform/files.h"
#include "platform/utf16.h"

namespace platform::dialogs {

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

// The selection as UTF-8 bytes.
std::string selection(WindowHandle browser) {
  const WindowHandle edit = dialogItem(browser, kBrowserSelectionId);
  std::u16string text(textLength(edit) + 1, u'\0');
  text.resize(getText(edit, text.data(), text.size()));
  return utf16::toUtf8(text);
}

bool setUtf8Text(WindowHandle browser, int32_t id, const char* text) {
  const std::u16string wide = utf16::fromUtf8(text == nullptr ? "" : text);
  return setItemText(browser, id, wide.c_str());
}

// A visitor of the file layer's walk, which lets no exception through.
bool collectFolder(const char* name, bool isDirectory, void* context) {
  if (!isDirectory) return true;
  try {
    static_cast<std::vector<std::string>*>(context)->emplace_back(name);
  } catch (const std::bad_alloc&) {
    return false;  // the line shows the folders found so far
  }
  return true;
}

// Shows the subfolders of the selection, sorted, on one line.
void listFolders(WindowHandle browser, const std::string& path) {
  std::vector<std::string> names;
  if (!path.empty() && listDirectory(path.c_str(), &collectFolder, &names) != kErrorNone) names.clear();
  std::sort(names.begin(), names.end());
  std::string line = names.empty() ? "No subfolders" : "Subfolders:";
  for (size_t i = 0; i < names.size() && i < kMaxListedFolders; ++i) line += (i == 0 ? " " : ", ") + names[i];
  if (names.size() > kMaxListedFolders) line += ", ...";
  (void)setUtf8Text(browser, kBrowserFoldersId, line.c_str());  // a line not shown is no failure of the browser
}

// OK: an existing directory that fits the caller's buffer ends the browser.
void accept(WindowHandle browser, const Browser& state) {
  const std::string path = selection(browser);
  const char* refusal = nullptr;
  if (path.empty() || fileKind(path.c_str()) != FileKind::kDirectory) {
    refusal = "Choose an existing folder.";
  } else if (path.size() >= state.size) {
    refusal = "The folder's path is too long.";
  }
  if (refusal != nullptr) {
    (void)setUtf8Text(browser, kBrowserStatusId, refusal);
    beep(0);
    return;
  }
  std::memcpy(state.path, path.c_str(), path.size() + 1);
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
    listFolders(browser, std::string());
    if (state->callback != nullptr) state->callback(browser, BrowseEvent::kInitialized, nullptr, state->parameter);
    return 1;
  }
  if (message != Message::kCommand) return 0;
  auto* state = static_cast<Browser*>(getProperty(browser, kBrowserProperty));
  if (state == nullptr) return 0;
  const int32_t id = commandId(first);
  const uint32_t notification = commandNotification(first);
  if (id == kBrowserSelectionId && notification == kNotifyChange) {
    const std::string path = selection(browser);
    listFolders(browser, path);
    if (state->callback != nullptr) {
      state->callback(browser, BrowseEvent::kSelectionChanged, path.c_str(), state->parameter);
    }
    return 1;
  }
  if (notification != 0) return 0;
  if (id == kOkCommand) accept(browser, *state);
  if (id == kCancelCommand) (void)endDialog(browser, 0);
  return 1;
}

intptr_t browserProc(WindowHandle browser, Message message, uint64_t first, intptr_t second) {
  try {
    return handle(browser, message, first, second);
  } catch (const std::bad_alloc&) {
    return 1;  // the texts were not updated; the user may try again
  }
}

bool isBrowser(WindowHandle window) { return getProperty(window, kBrowserProperty) != nullptr; }

}  // namespace

bool browseForFolder(WindowHandle owner, const char* title, BrowseCallback callback, intptr_t parameter, char* path,
                     size_t size) noexcept {
  if (path == nullptr || size == 0) return false;
  static const bool registered = registerTemplate(internal::boxesModule(), kBrowserTemplate, &kBrowser);
  if (!registered) return false;
  Browser state = {title, callback, parameter, path, size};
  return runModal(internal::boxesModule(), kBrowserTemplate, owner, &browserProc, reinterpret_cast<intptr_t>(&state)) ==
         1;
}

bool browserSetSelection(WindowHandle browser, const char* path) noexcept {
  if (!isBrowser(browser)) return false;
  try {
    if (!setUtf8Text(browser, kBrowserSelectionId, path)) return false;
    listFolders(browser, path == nullptr ? std::string() : std::string(path));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool browserSetStatusText(WindowHandle browser, const char* text) noexcept {
  if (!isBrowser(browser)) return false;
  try {
    return setUtf8Text(browser, kBrowserStatusId, text);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace platform::dialogs
