// The in-process dialog model: windows with ids, texts, styles and
// properties, the active window and the focus, a message queue per thread,
// dialog templates and the modal loop that dialog procedures run on.
//
// Nothing here draws. A front end (a terminal, or a test's scripted input)
// drives a modal dialog through the input hook: it is called whenever the
// calling thread's queue is empty and acts as the user would (userSetText,
// pressButton, pressKey); changeCount tells it when to draw again.
//
// A window has one parent link. A dialog's parent is the window it was run
// under (its owner), so isChild and the top-most ancestor follow through
// dialogs to their owners. Handles are serial numbers that are never reused:
// a handle of a destroyed window stays invalid and is refused by every call.
//
// Windows live process-wide; the queue, the active window, the focus and the
// input hook belong to the calling thread. Every call is safe from any
// thread; procedures and hooks are called with no lock held.
#ifndef PLATFORM_DIALOGS_MODEL_H
#define PLATFORM_DIALOGS_MODEL_H

#include <cstddef>
#include <cstdint>

#include "platform/process.h"

namespace platform::dialogs {

// ---------------------------------------------------------------------------
// Handles, kinds and messages.
// ---------------------------------------------------------------------------

// A window's handle; the default and nullptr are "no window".
class WindowHandle {
 public:
  constexpr WindowHandle() noexcept = default;
  constexpr WindowHandle(std::nullptr_t) noexcept {}  // NOLINT: "no window" reads as null
  constexpr explicit WindowHandle(uint64_t serial) noexcept : serial_(serial) {}

  constexpr uint64_t serial() const noexcept { return serial_; }
  constexpr explicit operator bool() const noexcept { return serial_ != 0; }
  friend constexpr bool operator==(WindowHandle a, WindowHandle b) noexcept { return a.serial_ == b.serial_; }
  friend constexpr bool operator!=(WindowHandle a, WindowHandle b) noexcept { return a.serial_ != b.serial_; }

 private:
  uint64_t serial_ = 0;
};

enum class Kind : uint8_t {
  kWindow,  // a plain window (a program's main window, a test's owner)
  kDialog,  // made by runModal from a template
  kButton,
  kEdit,
  kStatic,
};

// Style bits. The model keeps them for the front ends; it acts only on
// kStyleHidden (a window starts hidden) and kStyleUpperCase (userSetText).
inline constexpr uint32_t kStyleDefaultButton = 1u << 0;  // Enter presses it
inline constexpr uint32_t kStyleBorder = 1u << 1;
inline constexpr uint32_t kStyleUpperCase = 1u << 2;      // typed letters become capitals
inline constexpr uint32_t kStyleHidden = 1u << 3;         // made hidden (showWindow shows it)

enum class Message : uint32_t {
  kInit = 1,  // a dialog opens: second = the parameter of runModal; first = 0
  kCommand,   // a button was pressed: first = its control id; second = 0
  kClose,     // the close box: a dialog that does not handle it gets
              // kCommand with kCancelCommand
  kTimer,     // first = the timer's id
  kKeyDown,   // first = the key code; a dialog that does not handle Escape
              // gets kCommand with kCancelCommand
  kHelp,      // the help key; nothing by default
  kContextMenu,  // the context-menu key; nothing by default
};

// Key codes of kKeyDown.
inline constexpr uint64_t kKeyEscape = 0x1B;

// The control id that closing a dialog presses, and the usual OK id.
inline constexpr int32_t kOkCommand = 1;
inline constexpr int32_t kCancelCommand = 2;

// kCommand's `first`: the control id in bits 0..15 and a notification code
// in bits 16..31 (0 for a pressed button).
//   first = 303 | kNotifyChange << 16: the user changed edit 303's text
inline constexpr uint32_t kNotifyChange = 0x300;
// The control id of kCommand's `first`, sign-extended from 16 bits as
// dialog ids are.   commandId(0x0300012F) -> 303, commandId(0xFFFF) -> -1
inline int32_t commandId(uint64_t first) { return static_cast<int16_t>(static_cast<uint16_t>(first & 0xFFFF)); }
// The notification code of kCommand's `first`.   commandNotification(0x0300012F) -> 0x300
inline uint32_t commandNotification(uint64_t first) { return static_cast<uint32_t>((first >> 16) & 0xFFFF); }

// A window procedure. For a dialog it is the dialog procedure: 0 means "not
// handled" and lets the model's default handling act.
using Procedure = intptr_t (*)(WindowHandle window, Message message, uint64_t first, intptr_t second);

// ---------------------------------------------------------------------------
// Windows.
// ---------------------------------------------------------------------------

struct WindowSpec {
  WindowHandle parent;            // null: a top-level window
  int32_t id = 0;                 // a control id; need not be unique
  Kind kind = Kind::kWindow;
  uint32_t style = 0;
  const char16_t* text = nullptr;  // null: empty
  Procedure procedure = nullptr;   // null: messages to it are dropped
};

// Texts longer than this many UTF-16 units are refused.
inline constexpr size_t kMaxTextUnits = size_t{1} << 24;

// A new window, owned by the calling thread; null when the parent is given
// but is not a window, the text is too long, or memory runs out.
WindowHandle createWindow(const WindowSpec& spec) noexcept;

// Destroys the window and everything below it, with their properties and
// any message still queued for them. When the active window or the focus
// was among them it passes to the destroyed window's parent (none when it
// has no parent). Returns false when `window` is not a window.
bool destroyWindow(WindowHandle window) noexcept;

// IsWindow: true while the window exists.
bool isWindow(WindowHandle window) noexcept;
// IsChild: true when `parent` is an ancestor of `window` (not the window
// itself), following parent links through dialogs to their owners.
bool isChild(WindowHandle parent, WindowHandle window) noexcept;
// The parent; null for a top-level window or a handle that is not a window.
WindowHandle parentWindow(WindowHandle window) noexcept;

struct WindowInfo {
  int32_t id;
  Kind kind;
  uint32_t style;
};
// Fills `info`; false when `window` is not a window.
bool windowInfo(WindowHandle window, WindowInfo* info) noexcept;

// GetDlgItem: the first child of `dialog`, in creation order, whose id is
// `id`; null when there is none.
WindowHandle dialogItem(WindowHandle dialog, int32_t id) noexcept;

// The children of `parent` in creation order: the first one made after
// `after` (null: the first child); null when there is none.
//   for (WindowHandle c = nextChild(d, nullptr); c; c = nextChild(d, c)) ...
WindowHandle nextChild(WindowHandle parent, WindowHandle after) noexcept;

// ---------------------------------------------------------------------------
// Visibility and geometry. Windows are visible when made, unless their style
// has kStyleHidden; a hidden control takes no user input. Geometry is in
// dialog units and only kept: nothing is laid out.
// ---------------------------------------------------------------------------

// ShowWindow: shows or hides the window itself (its children keep their own
// state). False when `window` is not a window.
bool showWindow(WindowHandle window, bool visible) noexcept;
// IsWindowVisible, of the window's own state; false for a handle that is not
// a window.
bool isVisible(WindowHandle window) noexcept;

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// GetWindowRect: fills `rect`; false when `window` is not a window. Windows
// made by createWindow start at 0,0 with no size; a dialog starts at 0,0
// with its template's size.
bool windowRect(WindowHandle window, Rect* rect) noexcept;
// MoveWindow: any position and size; false when `window` is not a window.
bool moveWindow(WindowHandle window, const Rect& rect) noexcept;
// IsIconic and minimising; false when `window` is not a window.
bool isMinimized(WindowHandle window) noexcept;
bool setMinimized(WindowHandle window, bool minimized) noexcept;

// The model's screen: 0, 0, 640 x 480 unless a test sets another.
Rect screenRect() noexcept;
void setScreenRectForTesting(const Rect& rect) noexcept;

// ---------------------------------------------------------------------------
// Texts. Windows hold UTF-16; the narrow forms are in the process ANSI code
// page, as the A functions convert.
// ---------------------------------------------------------------------------

// SetWindowTextW; null sets an empty text. False when `window` is not a
// window, the text is longer than kMaxTextUnits, or memory runs out.
bool setText(WindowHandle window, const char16_t* text) noexcept;
// GetWindowTextW: at most units - 1 units and a zero unit, a surrogate pair
// never split. Returns the units copied without the zero; 0 (and an empty
// buffer when units > 0) when `window` is not a window. units 0 writes
// nothing.
//   text u"Hello", units 3 -> u"He", returns 2
size_t getText(WindowHandle window, char16_t* buffer, size_t units) noexcept;
// The text's length in units; 0 when `window` is not a window.
size_t textLength(WindowHandle window) noexcept;

// SetWindowTextA: the NUL-terminated text converted from the ANSI code page
// (null: empty). False when `window` is not a window, the text is longer
// than kMaxTextUnits bytes or cannot be converted, or memory runs out.
bool setTextNarrow(WindowHandle window, const char* text) noexcept;
// GetWindowTextA: the text converted to the ANSI code page (characters it
// cannot hold become '?'), at most bytes - 1 bytes, never ending inside a
// double-byte character, and a NUL. Returns the bytes copied without the
// NUL; bytes 0 writes nothing.
size_t getTextNarrow(WindowHandle window, char* buffer, size_t bytes) noexcept;

// The same for the control `id` of `dialog` (GetDlgItemText,
// SetDlgItemText). A missing control reads as an empty text and refuses a
// new one.
size_t getItemText(WindowHandle dialog, int32_t id, char16_t* buffer, size_t units) noexcept;
bool setItemText(WindowHandle dialog, int32_t id, const char16_t* text) noexcept;
size_t getItemTextNarrow(WindowHandle dialog, int32_t id, char* buffer, size_t bytes) noexcept;
bool setItemTextNarrow(WindowHandle dialog, int32_t id, const char* text) noexcept;

// EM_LIMITTEXT: the most UTF-16 units the user may type into an edit
// (default kDefaultTextLimit; 0 sets the default again). It bounds only
// userSetText, never setText. False when `window` is not a window.
inline constexpr size_t kDefaultTextLimit = 30000;
bool setTextLimit(WindowHandle window, size_t units) noexcept;
// The limit; 0 when `window` is not a window.
size_t textLimit(WindowHandle window) noexcept;

// ---------------------------------------------------------------------------
// The user's actions, for front ends.
// ---------------------------------------------------------------------------

// The user types `text` (null: empty) into a visible edit: typed letters are
// upper-cased when the edit has kStyleUpperCase, the text is cut to its
// limit on a character boundary and set; when it differs from the old text,
// kCommand (id | kNotifyChange << 16) is sent to the edit's parent.
//   limit 2, kStyleUpperCase, u"abc" -> u"AB", then the notification
// False, changing nothing, when `edit` is not a visible edit or memory runs
// out.
bool userSetText(WindowHandle edit, const char16_t* text) noexcept;
// The user clicks a visible button: kCommand (its id) is posted to its
// parent, to be dispatched by the running loop as a click is. False when
// `button` is not a visible button with a parent.
bool pressButton(WindowHandle button) noexcept;
// The user presses `key` (kKeyEscape...) in `dialog`: kKeyDown is posted to
// it. False when `dialog` is not a window.
bool pressKey(WindowHandle dialog, uint64_t key) noexcept;

// ---------------------------------------------------------------------------
// What front ends draw from.
// ---------------------------------------------------------------------------

// Rises on every change of a text, of visibility or of the busy state, and
// on every window made or destroyed (process-wide). A front end draws again
// when it differs from the count it last drew at.
uint64_t changeCount() noexcept;

// The wait cursor of the calling thread: set while a long action runs.
void setBusy(bool busy) noexcept;
bool isBusy() noexcept;

// MessageBeep: asks the calling thread's beep hook to sound `type` (0, or a
// message box's icon bits); nothing without a hook.
void beep(uint32_t type) noexcept;
// One beep hook per thread. Returns the hook it replaces, and its context in
// `*previousContext` when that is given, so a hook can be put back whole.
using BeepHook = void (*)(uint32_t type, void* context);
BeepHook setBeepHook(BeepHook hook, void* context, void** previousContext = nullptr) noexcept;

// ---------------------------------------------------------------------------
// Properties: pointers kept on a window by name (names ignore ASCII case).
// They last until removed or until the window is destroyed.
// ---------------------------------------------------------------------------

// SetProp: adds or replaces. False when `window` is not a window, the name
// is null or memory runs out.
bool setProperty(WindowHandle window, const char* name, void* value) noexcept;
// GetProp: the value, null when the window has no such property.
void* getProperty(WindowHandle window, const char* name) noexcept;
// RemoveProp: removes it and returns its value (null when there was none).
void* removeProperty(WindowHandle window, const char* name) noexcept;

// ---------------------------------------------------------------------------
// Activation and focus, both the calling thread's.
// ---------------------------------------------------------------------------

// The active window; null when there is none.
WindowHandle activeWindow() noexcept;
// Makes `window` active (null: none). False, changing nothing, when it is
// given but is not a window.
bool setActiveWindow(WindowHandle window) noexcept;
// The window with the focus; null when there is none.
WindowHandle focusWindow() noexcept;
// SetFocus: gives `window` the focus (null: none). When the active window is
// neither `window` nor one of its ancestors, the window's own dialog (its
// nearest ancestor-or-self that is a dialog or has no parent) becomes the
// active window. False, changing nothing, when it is not a window.
bool setFocus(WindowHandle window) noexcept;

// ---------------------------------------------------------------------------
// Messages.
// ---------------------------------------------------------------------------

struct QueuedMessage {
  WindowHandle window;
  Message message;
  uint64_t first;
  intptr_t second;
};

// PostMessage: queues the message on the queue of the window's thread.
// False when `window` is not a window or memory runs out.
bool postMessage(WindowHandle window, Message message, uint64_t first, intptr_t second) noexcept;
// SendMessage: calls the window's procedure now, with the default handling
// of dialogs. 0 when the window does not exist or has no procedure.
intptr_t sendMessage(WindowHandle window, Message message, uint64_t first, intptr_t second) noexcept;
// PeekMessage with removal: takes the oldest message of the calling thread's
// queue. With the queue empty it first lets the input hook act once without
// waiting (while a modal dialog runs and the input has not ended), then
// posts the thread's due timers. False when the queue is still empty.
bool takeMessage(QueuedMessage* message) noexcept;
// DispatchMessage: sendMessage for a taken message. A message whose window
// was destroyed after it was posted is dropped and gives 0.
intptr_t dispatchMessage(const QueuedMessage& message) noexcept;

// ---------------------------------------------------------------------------
// Dialog templates and the modal loop.
// ---------------------------------------------------------------------------

struct ControlTemplate {
  int32_t id;
  Kind kind;
  uint32_t style;
  const char16_t* text;  // null: empty
};

struct DialogTemplate {
  const char16_t* caption;  // the dialog's text; null: empty
  uint32_t style;
  const ControlTemplate* controls;
  size_t controlCount;
  int32_t width = 0;  // dialog units; controls need no geometry
  int32_t height = 0;
};

// Registers the template `templateId` of `module`, as a program's resources
// carry it; a second registration replaces the first. The template is not
// copied: it must outlive its registration (templates are static data).
// False when `dialog` is null or memory runs out.
bool registerTemplate(ModuleHandle module, uint16_t templateId, const DialogTemplate* dialog) noexcept;
// Forgets the template; nothing when it is not registered.
void unregisterTemplate(ModuleHandle module, uint16_t templateId) noexcept;

// What runModal returns when a dialog cannot be made (no such template, a
// parent that is not a window, out of memory).
inline constexpr intptr_t kDialogFailed = -1;
// What runModal returns when the dialog waits for input and none can come:
// the queue is empty and there is no input hook, or the input has ended
// (see inputEnded). It never hangs.
inline constexpr intptr_t kDialogNoInput = -2;

// DialogBoxParam: makes the dialog and its controls under `parent` (null: a
// top-level dialog), makes it the active window with the focus, sends
// kInit with `parameter`, then takes and dispatches the calling thread's
// messages until the dialog is ended by endDialog (or destroyed), destroys
// it and returns the end code (0 for a dialog destroyed without one).
// With the queue empty the loop posts the thread's due timers, then asks
// the input hook, which may wait until the next timer is due. Once the
// input has ended, a run not yet ended by its dialog ends with
// kDialogNoInput as soon as control comes back to its loop.
intptr_t runModal(ModuleHandle module, uint16_t templateId, WindowHandle parent, Procedure procedure,
                  intptr_t parameter) noexcept;

// EndDialog: ends the modal run of `dialog` with `code` once control comes
// back to its loop. False when `dialog` is not a dialog in a modal run.
bool endDialog(WindowHandle dialog, intptr_t code) noexcept;

// The input hook: called whenever the calling thread's queue is empty, with
// the innermost running dialog: by a modal loop, and once by takeMessage
// with waitMilliseconds 0. It acts as the user (userSetText, pressButton,
// pressKey...) or ends the dialog, and returns true; it may wait for input
// at most waitMilliseconds (-1: no timer is pending, it may wait as long as
// it likes; 0: it must not wait), and returning true having done nothing is
// fine. It returns false when no more input will come: the thread's input
// has then ended, every running modal loop of the thread ends with
// kDialogNoInput (innermost first), later runs end so right after kInit,
// and takeMessage stops calling it. One hook per thread, removed (null) by
// the thread before it ends; setting a hook (or none) clears the ended
// state. Returns the hook it replaces, and its context in
// `*previousContext` when that is given, so a hook can be put back whole.
using InputHook = bool (*)(WindowHandle dialog, int32_t waitMilliseconds, void* context);
InputHook setInputHook(InputHook hook, void* context, void** previousContext = nullptr) noexcept;
// True once the calling thread's input hook said no more input will come.
bool inputEnded() noexcept;

// ---------------------------------------------------------------------------
// Timers (SetTimer, KillTimer) on the platform's monotonic clock.
// ---------------------------------------------------------------------------

// Starts (or restarts, replacing) timer `id` of `window`: every
// `milliseconds` (10 at least) a modal loop or takeMessage of the window's
// thread with an empty queue posts kTimer (first = id) to it, never more
// than one at a time for a timer. A destroyed window's timers go with it.
// False when `window` is not a window or memory runs out.
bool setTimer(WindowHandle window, uint64_t id, uint32_t milliseconds) noexcept;
// Stops it, and drops its kTimer message still queued. False when there is
// no such timer.
bool killTimer(WindowHandle window, uint64_t id) noexcept;

// ---------------------------------------------------------------------------
// Test seam. The dialog layer (the model, the boxes, the terminal front end)
// allocates through its own heap with checked results, never through the
// global operator new, which a program may replace by one returning null.
// ---------------------------------------------------------------------------

// The `nth` allocation of the dialog layer on the calling thread from now on
// fails (1 = the next), once. clearAllocationFaultForTesting disarms it and
// returns how many fired.
void failAllocationForTesting(uint64_t nth) noexcept;
uint64_t clearAllocationFaultForTesting() noexcept;

}  // namespace platform::dialogs

#endif  // PLATFORM_DIALOGS_MODEL_H
