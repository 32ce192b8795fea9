// The private-profile (INI) stand-in: GetPrivateProfileString and
// WritePrivateProfileString over UTF-8 text files.
//
// Sections and keys ignore case and keep it; blanks around names and values
// are dropped, and a value enclosed in a pair of double or single quotes
// loses them. Lines that are no "[section]" or "key=value" (comments ";",
// blanks) are kept as they are by writes. File names are UTF-8 paths ('\'
// separates too; a name without a directory is in the current directory).
// Names match code point by code point after ICU's simple upper-casing, so
// non-ASCII names ignore case too. Files are UTF-8 (a byte order mark is
// kept); bytes that are not valid UTF-8 read as Latin-1. Line ends are LF or
// CRLF; new lines take the file's first line end (LF for a new file).
// Writes are read-modify-write under a process lock and a file lock,
// written to a temporary file and renamed over the old one, so concurrent
// threads and processes lose no write and never see a torn file.
#ifndef PLATFORM_PROFILE_INI_H
#define PLATFORM_PROFILE_INI_H

#include <cstddef>

namespace platform::ini {

// The value of `key` in `section`, else `fallback` (null: empty), copied
// into `buffer` of `units` units, at most units - 1 of them, terminated.
// Returns the units copied. A null section lists the section names, a null
// key the section's keys: each name terminated, the list ending in a second
// terminator; a cut list returns units - 2 and ends in two terminators.
// A missing file reads as empty. The first section and the first key of a
// name win; a key that is there reads as its value, also an empty one ("k=",
// "k=\"\""), and only a missing key or a list without names gives the
// fallback. units 0 writes nothing.
//   getString(u"START", u"VERSION", u"", buf, 64, "vrbrand.inf") -> 4, "2.80"
size_t getString(const char16_t* section, const char16_t* key, const char16_t* fallback, char16_t* buffer,
                 size_t units, const char* file) noexcept;

// Writes `value` for `key` in `section` (creating the file and the section
// as needed); a null value deletes the key, a null key the whole section.
// Returns true on success (deleting what is not there succeeds and creates
// no file). Refused (false, nothing written): a null section or file, a line
// break in any text, a key with '=' or one that begins with ';' or '[' (it
// would read back as another line), and a read-only file.
bool writeString(const char16_t* section, const char16_t* key, const char16_t* value, const char* file) noexcept;

}  // namespace platform::ini

#endif  // PLATFORM_PROFILE_INI_H
