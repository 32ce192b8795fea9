// What a console run shows: each file as a line, messages as text, and the
// one question (the missing files) asked on standard input.
#ifndef BRAND_CONSOLE_CONSOLE_REPORTER_H
#define BRAND_CONSOLE_CONSOLE_REPORTER_H

#include "engine/reporter.h"

//   Branding: vrora28.dll -> xyora28.dll ... Done
//   Branding: vrbas28.dll -> xybas28.dll ... Failed: <the reason>
class ConsoleReporter final : public brandengine::Reporter {
 public:
  bool runLoop(brand& object) override;
  void loopStarted(uint64_t) override {}
  void fileStarted(const char* source, const char* target) override;
  void fileEnded(const char16_t* failure) override;
  bool betweenFiles(uint64_t, uint64_t) override { return true; }
  // Sounds the terminal's bell and prints the text; nothing waits for an
  // answer, so a question counts as No.
  bool show(const brandengine::Message& message) override;
  // The same, and the answer is read on standard input after " [Yes] ": an
  // empty line, one that begins with "y" or "Y", and the end of the input
  // answer Yes.
  bool ask(const brandengine::Message& question) override;
};

#endif  // BRAND_CONSOLE_CONSOLE_REPORTER_H
