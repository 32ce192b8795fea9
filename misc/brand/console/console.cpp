// The tool's console.

#include "console/console.h"

#include <cstdio>
#include <cstring>

#include "text/brand_text.h"
#include "julib/object.h"
#include "platform/utf16.h"

void brandPrint(const char* text) {
  if (text == nullptr) return;
  std::fputs(text, stdout);
  std::fflush(stdout);
}

void brandPrintW(const char16_t* text) {
  if (text == nullptr) return;
  char* utf8 = brandtext::toUtf8(text, platform::utf16::unitLength(text));
  brandPrint(utf8);
  juFree(utf8);
}

bool brandReadLine(char* buffer, size_t size) {
  buffer[0] = 0;
  size_t length = 0;
  bool any = false;
  for (int c = std::getc(stdin); c != EOF; c = std::getc(stdin)) {
    any = true;
    if (c == '\n') break;
    if (length + 1 < size) buffer[length++] = static_cast<char>(c);
  }
  if (length > 0 && buffer[length - 1] == '\r') --length;
  buffer[length] = 0;
  return any;
}
