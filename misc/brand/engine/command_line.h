// The program's command line as the front ends read it: its words, the
// install switches, and what start-up keeps for the main dialog.
//
// Command-line words are the program's argv: UTF-8 bytes, kept as they are
// (a word that becomes UTF-16 is converted as UTF-8 by the brand object's
// setters). The command line that is searched for the switches and kept for
// the main dialog is the words after the program name joined with blanks.
#ifndef BRAND_ENGINE_COMMAND_LINE_H
#define BRAND_ENGINE_COMMAND_LINE_H

#include <cstddef>

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

// The program's directory, where the front ends read the branding INF; ""
// until the start-up sets it.
extern char brandProgramDirectory[kBrandPathSize];

// Joins the words after the program name with blanks into brandCommandLine.
// False when they do not fit.
//   {"vrbrd28", "-nv", "ACME"} -> "-nv ACME"
[[nodiscard]] bool keepCommandLine(int count, const char* const* words);

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

#endif  // BRAND_ENGINE_COMMAND_LINE_H
