// What a console run shows.

#include "console/console_reporter.h"

#include <cstdio>

#include "console/console.h"
#include "engine/brand.h"

bool ConsoleReporter::runLoop(brand& object) {
  (void)object.brandAll();  // always 0: the status tells
  return true;
}

void ConsoleReporter::fileStarted(const char* source, const char* target) {
  brandPrint("Branding: ");
  brandPrint(source);
  brandPrint(" -> ");
  brandPrint(target);
  brandPrint(" ...");
}

void ConsoleReporter::fileEnded(const char16_t* failure) {
  if (failure == nullptr) {
    brandPrint(" Done\n");
    return;
  }
  brandPrint(failure[0] != 0 ? " Failed: " : " Failed");
  brandPrintW(failure);
  brandPrint("\n");
}

bool ConsoleReporter::show(const brandengine::Message& message) {
  std::fputc('\a', stderr);
  brandPrintW(message.text);
  brandPrint("\n");
  return false;
}

bool ConsoleReporter::ask(const brandengine::Message& question) {
  std::fputc('\a', stderr);
  brandPrintW(question.text);
  brandPrint(" [Yes] ");
  char answer[2000];
  if (!brandReadLine(answer, sizeof answer)) return true;
  return answer[0] == 0 || answer[0] == 'y' || answer[0] == 'Y';
}
