// What a branding run tells the front end that started it, and what it asks
// of it. The engine reports; the console, the dialogs and silent runs each
// decide how to show it, and the engine never knows which one it talks to.
#ifndef BRAND_ENGINE_REPORTER_H
#define BRAND_ENGINE_REPORTER_H

#include <cstdint>

class brand;

namespace brandengine {

// How a message is shown, as a message box would: its buttons, and whether
// it carries the exclamation icon (and the error beep).
enum class MessageStyle : uint8_t {
  kInformation,      // OK
  kError,            // OK, exclamation
  kQuestion,         // Yes / No
  kWarningQuestion,  // Yes / No, exclamation
};

struct Message {
  const char16_t* text;
  const char16_t* caption;
  MessageStyle style;

  bool question() const { return style == MessageStyle::kQuestion || style == MessageStyle::kWarningQuestion; }
  bool exclamation() const { return style == MessageStyle::kError || style == MessageStyle::kWarningQuestion; }
};

class Reporter {
 public:
  virtual ~Reporter() = default;

  // Runs the branding loop (object.brandAll()) where this front end wants
  // it: the dialogs inside their Copying Files dialog, the others at once.
  // False when it could not run at all (nothing was branded).
  virtual bool runLoop(brand& object) = 0;

  // The loop is about to brand `count` files.
  virtual void loopStarted(uint64_t count) = 0;
  // One file: about to be read from `source` and written as `target`, the
  // names as the directory spells them. A file that is absent is skipped
  // without a report.
  virtual void fileStarted(const char* source, const char* target) = 0;
  // ... and its end: `failure` null when it was branded, else the reason
  // ("" when none is known).
  virtual void fileEnded(const char16_t* failure) = 0;
  // After each file, `done` of `count`. False when the user stopped the run
  // (the engine then ends the loop with the status "cancelled").
  virtual bool betweenFiles(uint64_t done, uint64_t count) = 0;

  // Shows a message as a message box would; true when a question was
  // answered Yes.
  virtual bool show(const Message& message) = 0;
  // Asks a question that needs its answer even where nothing else waits for
  // one (the files that are missing); true for Yes.
  virtual bool ask(const Message& question) = 0;
};

// Reports nothing and answers No; runs the loop at once. The reporter of an
// object no front end has taken, and of silent console runs.
class SilentReporter final : public Reporter {
 public:
  bool runLoop(brand& object) override;
  void loopStarted(uint64_t) override {}
  void fileStarted(const char*, const char*) override {}
  void fileEnded(const char16_t*) override {}
  bool betweenFiles(uint64_t, uint64_t) override { return true; }
  bool show(const Message&) override { return false; }
  bool ask(const Message&) override { return false; }
};

}  // namespace brandengine

#endif  // BRAND_ENGINE_REPORTER_H
