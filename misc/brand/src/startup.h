// Start-up of vrbrd28: the program entry with its command line, the program
// directory, and the two front ends over the one brand object.
//
// Command-line words are the program's argv: UTF-8 bytes, kept as they are
// (a word that becomes UTF-16 is converted as UTF-8 by the brand object's
// setters). The command line that is searched for the switches and kept for
// the main dialog is the words after the program name joined with blanks.
#ifndef BRAND_STARTUP_H
#define BRAND_STARTUP_H

#include <cstddef>
#include <cstdint>

#include "platform/process.h"

class brand;

// Bytes of the command-line copy and of the word buffer, each with its NUL:
// a longer command line is refused, so every word fits the word buffer.
inline constexpr size_t kBrandCommandLineSize = 2000;

// The command line without the program name, kept for the main dialog's
// start-up words: at most kBrandCommandLineSize - 1 bytes and a NUL.
extern char brandCommandLine[kBrandCommandLineSize];

// Bytes of a path the system hands out (the current and the program's
// directory), with the NUL.
inline constexpr size_t kBrandPathSize = 4096;

// The program's directory (getProgramDirectory), where the main dialog reads
// the branding INF; "" until the start-up sets it.
extern char brandProgramDirectory[kBrandPathSize];

// The directory of the running program into `buffer` of `size` bytes: its
// path cut at the last separator, the separator itself removed.
//   "/opt/vr/bin/vrbrd28" -> "/opt/vr/bin"
// "" when the path cannot be read or does not fit.
void getProgramDirectory(char* buffer, size_t size);

// True for the switch words "SilentInstall" and "ReplaceInstall" (ignoring
// case), which are never positional or start-up words.
bool isInstallSwitch(const char* word);

// From `*index` on, skips every word equal to "SilentInstall" or
// "ReplaceInstall" (ignoring case), copies the first other one with its NUL
// into `word` of `size` bytes and moves `*index` past it; at the end of the
// words (`*index` >= `count`) the word is "".
//   {"vrbrd28", "SilentInstall", "XY"}, index 1 -> "XY", index 3
// 0, or 1 when the word does not fit (`word` is then "" and `*index` moves
// past it).
[[nodiscard]] int nextArgument(char* word, size_t size, const char* const* words, int count, int* index);

// The switches' effect on the entry count: the count (program name
// included) less one for "SilentInstall" and one for "ReplaceInstall"
// occurring anywhere in `commandLine` (ignoring case, also inside another
// word), with the brand object's silent and replace flags set accordingly.
int countEntries(brand& object, const char* commandLine, int count);

// The console front end: reads the branding INF from `programDirectory`,
// takes the positional words (from index 1 of `words`) into the object,
// runs the branding and reports on standard output (nothing when silent).
// `entries` is the count countEntries gave. Returns the exit code: 0 when
// the branding ran and ended with status 0, else 1.
int runConsole(brand& object, const char* programDirectory, const char* const* words, int count, int entries);

// The dialog front end: Welcome, then the main dialog with `object`,
// owned by a window that stands for the desktop, drawn on the terminal
// (standard input and output). Returns the exit code: 0 when the main
// dialog ended (after a run, or a confirmed Cancel); 1 when a dialog cannot
// be made, or the input ended first (the program ends without asking).
int runDialogs(brand& object);

// The program: `instance` becomes juResourceModule unless one is set; `argv`
// holds `argc` words, the program name first. Returns the exit code, 0 or 1.
int WinMain(platform::ModuleHandle instance, int argc, const char* const* argv);

// --- Version information, exported by the program as C symbols. ------------

extern "C" {
// "Tarnwell Software Corporation"
const char* getCompanyNameString();
// "08.02.0293 (B9999, U9999)"
const char* getFileVersionString();
// The same version text in UTF-16.
const char16_t* getFileVersionStringW();
}

#endif  // BRAND_STARTUP_H
