// The tool's console: its texts go to standard output as UTF-8, its one
// question reads standard input.
#ifndef BRAND_CONSOLE_CONSOLE_H
#define BRAND_CONSOLE_CONSOLE_H

#include <cstddef>

// Writes the UTF-8 text (null: nothing) and flushes.
void brandPrint(const char* text);
// Writes the UTF-16 text (null: nothing) as UTF-8 and flushes.
void brandPrintW(const char16_t* text);

// Reads one line of standard input into `buffer` of `size` bytes (size > 0):
// at most size - 1 bytes and a NUL, without the line end; the rest of a
// longer line is read and dropped, so the next read starts on the next line.
// False at the end of the input with nothing read (buffer empty).
//   input "n\n" -> true, "n";  no input -> false, ""
bool brandReadLine(char* buffer, size_t size);

#endif  // BRAND_CONSOLE_CONSOLE_H
