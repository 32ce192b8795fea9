// The terminal front end of the dialog model: draws the innermost modal
// dialog as text and turns typed lines into the user's actions.
#ifndef PLATFORM_DIALOGS_TERMINAL_FRONT_END_H
#define PLATFORM_DIALOGS_TERMINAL_FRONT_END_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/dialogs/model.h"

namespace platform::dialogs {

// Installed on the calling thread for its scope as the input hook and the
// beep hook (the hooks it replaced come back at its end).
//
// Drawing, whenever the model changed since the last drawing: the caption
// framed, then the visible controls in creation order. A static is a line
// of text (empty ones are left out). An edit is a numbered field, numbered
// 1..n over the visible edits, labelled by the statics right before it (up
// to an edit, a button or a bordered static), which are not drawn on their
// own:
//     3) Company Name ..... [Acme]
// The buttons share one line, their '&' accelerators in brackets and the
// default button in angle brackets:
//     <[B]rand>  [H]elp  [C]ancel  B[r]owse
// and a busy line follows while isBusy. UTF-16 is written as UTF-8; control
// characters in texts are written as U+FFFD.
//
// Input is read a line at a time from `inputFd` (a terminal in canonical
// mode gives the user line editing; a pipe works the same):
//   "N text"  the user types text into field N ("N" alone empties it)
//   "b"       a button's accelerator letter, any case, presses it
//   ""        Enter presses the default button
//   "esc" or the Escape character alone: the Escape key
//   "?"       draws the dialog again
// Anything else writes a one-line hint. The end of the input (or a read
// error) ends the input for good. Lines are UTF-8; malformed bytes become
// U+FFFD; a line is cut at kMaxLineBytes. A null `output` draws nothing.
//
// Lines typed ahead answer the questions that come next, as long as the
// thread was not busy (setBusy) in between; input that comes while it is
// busy answers nothing:
//  - while the thread is busy, a dialog that only polls between steps of
//    the work or waits for its timer takes only Escape, which stops the
//    work; any other line typed then is dropped, with a hint;
//  - a dialog other than the one that last asked, asking while the thread
//    is busy or after it was busy since that ask, starts with nothing typed
//    before it: the lines held and the input not yet read (on a terminal,
//    a line being typed too) are dropped;
//  - when the busy state has ended and the same dialog asks again, the
//    input not yet read is dropped.
//
// The front end holds its input in one block of the dialog layer's heap,
// taken when it is made. When memory runs out (that block, or what a
// drawing or a line needs), the input ends: the dialogs end with
// kDialogNoInput.
class TerminalFrontEnd {
 public:
  static constexpr size_t kMaxLineBytes = 65536;

  TerminalFrontEnd(int inputFd, FILE* output) noexcept;
  ~TerminalFrontEnd();
  TerminalFrontEnd(const TerminalFrontEnd&) = delete;
  TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

 private:
  // Bytes read at a time; the block holds a whole line and one read more.
  static constexpr size_t kReadBytes = 4096;
  static constexpr size_t kPendingBytes = kMaxLineBytes + 1 + kReadBytes;

  static bool inputHook(WindowHandle dialog, int32_t waitMilliseconds, void* context);
  static void beepHook(uint32_t type, void* context);

  bool onInput(WindowHandle dialog, int32_t waitMilliseconds);
  // Drops what a question must not be answered by (see above).
  void dropStaleInput(WindowHandle dialog);
  // Drops the lines held and, with them, the input not yet read.
  void dropPending();
  void dropUnread();
  // False when memory runs out.
  bool draw(WindowHandle dialog);
  bool act(WindowHandle dialog, std::string_view line);
  void hint(const char* text);
  // Reads until a whole line starts the block, within the wait, and gives
  // its length without the line break; false when none came in time or the
  // input has ended (ended_).
  bool nextLine(int32_t waitMilliseconds, size_t* length);
  void append(const char* bytes, size_t count);
  void takeFront(size_t bytes);
  // The input ends for good; false, for the hook to return.
  bool endInput();

  int input_;
  FILE* output_;
  InputHook savedInput_ = nullptr;
  void* savedInputContext_ = nullptr;
  BeepHook savedBeep_ = nullptr;
  void* savedBeepContext_ = nullptr;
  uint64_t drawnAt_ = 0;
  WindowHandle drawn_;        // the dialog that last asked for input
  char* pending_ = nullptr;   // kPendingBytes: bytes read and not yet taken as lines
  size_t pendingBytes_ = 0;
  size_t partialBytes_ = 0;   // bytes of the last, unfinished line in pending_
  bool wasBusy_ = false;      // the thread was busy when the last ask came
  uint64_t busyPeriods_ = 0;  // the busy periods the thread had begun then
  bool ended_ = false;
};

}  // namespace platform::dialogs

#endif  // PLATFORM_DIALOGS_TERMINAL_FRONT_END_H
