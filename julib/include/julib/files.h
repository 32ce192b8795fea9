// Files, paths and system names: the library's file handles (open, read,
// write, close, delete, rename), path rules (full paths, splitting, safe
// relative paths), the environment, and the computer's and user's names.
//
// Every operation that can fail returns 0 for success and 1 for failure, with
// the reason posted on the calling thread's error list; nothing throws.
//
// Paths: both '/' and '\' separate on input; what reaches the system uses
// '/'. Narrow names are bytes as the system stores them (UTF-8 here), UTF-16
// names are converted to UTF-8 for the system (an unpaired surrogate names no
// file). Names are never upper-cased and never converted to an OEM code page:
// every file system here keeps the case of names and stores them as given.
// There are no drive letters: "C:\x" and "C:x" are names relative to the
// current directory like any other (only juIsSafeRelativePathW, which must
// err on the safe side, rejects them).
//
// Paths are limited to 259 characters (bytes, or UTF-16 units) wherever the
// layer copies them into its own buffers of kJuPathChars. An operation on a
// file (open, create, truncate, delete, rename) whose name does not fit fails
// with 1524 "File name is too long: '%s1'." naming the file: a cut name could
// reach another file.
#ifndef JULIB_FILES_H
#define JULIB_FILES_H

#include <cstddef>
#include <cstdint>

class JuError;

// ---------------------------------------------------------------------------
// File handles and open flags.
// ---------------------------------------------------------------------------

// The library's file handle: the system's descriptor + 1; 0 means no file.
using JuFileHandle = uint32_t;
inline constexpr JuFileHandle kJuNoFile = 0;

// Characters of the layer's path buffers, terminator included.
inline constexpr size_t kJuPathChars = 260;

// The offset of reads and writes that means "at the current position".
inline constexpr uint64_t kJuFileCurrentPosition = UINT64_MAX;

// Flags of juFileOpen, combined with '|'.
// Create or truncate, read-write (with kJuFileOpenExclusive: fail when the
// file exists).
inline constexpr uint32_t kJuFileOpenCreate = 0x1;
// Without kJuFileOpenCreate: read-write instead of read-only.
inline constexpr uint32_t kJuFileOpenReadWrite = 0x2;
// Without kJuFileOpenCreate: create the file when it does not exist.
inline constexpr uint32_t kJuFileOpenCreateMissing = 0x4;
// A read (no kJuFileOpenCreate, kJuFileOpenCreateMissing or temporary file)
// of a relative name that fails is tried again in each directory of "PATH".
inline constexpr uint32_t kJuFileOpenSearchPath = 0x10;
// With kJuFileOpenCreate: the file must not exist yet.
inline constexpr uint32_t kJuFileOpenExclusive = 0x20;
// Make a new empty file with a unique name ("ju" and six characters in the
// temporary directory) first, and open that; its name goes to the name
// buffer.
inline constexpr uint32_t kJuFileOpenTemporary = 0x40;
// The same: there are no drives here, so "another fixed drive" is the
// temporary directory too.
inline constexpr uint32_t kJuFileOpenTemporaryOtherDrive = 0x80;
// Sharing, as advisory locks that only other opens with these flags honour:
// deny-writers takes the file's shared lock, deny-all its exclusive lock
// (deny-all wins); an open whose lock conflicts fails. Ignored with
// kJuFileOpenCreate and with kJuFileOpenCreateReadOnly.
inline constexpr uint32_t kJuFileOpenDenyWriters = 0x800;
inline constexpr uint32_t kJuFileOpenDenyAll = 0x1000;
// Every write goes to the end of the file.
inline constexpr uint32_t kJuFileOpenAppend = 0x4000;
// No meaning of its own: every file is opened as bytes (no newline
// translation). Callers pass it by habit, see the two combinations below.
inline constexpr uint32_t kJuFileOpenBinary = 0x8000;
// Sharing unrestricted, and a file created by this open gets no write
// permission (the open itself may still write it).
inline constexpr uint32_t kJuFileOpenCreateReadOnly = 0x20000000;
// The file's name is removed right after the open succeeds: the file lives
// as long as its handles, and no later open by name finds it.
inline constexpr uint32_t kJuFileOpenDeleteOnClose = 0x40000000;

inline constexpr uint32_t kJuFileOpenForReading = kJuFileOpenBinary;  // 0x8000
inline constexpr uint32_t kJuFileOpenForWriting =
    kJuFileOpenBinary | kJuFileOpenReadWrite | kJuFileOpenCreate;  // 0x8003

// ---------------------------------------------------------------------------
// Files.
// ---------------------------------------------------------------------------

// Opens the file named in `name` (a buffer of `size` bytes, NUL-terminated)
// by `flags` and stores its handle in *handle. With a temporary flag the
// buffer first receives the new file's absolute name (when the temporary
// directory is unusable it receives that directory instead, as far as it
// fits, and the open fails).
//
// | result | *handle | posted                                                   |
// | 0      | handle  | nothing                                                  |
// | 1      | 0       | 1501 "Cannot create file '%s1'." (kJuFileOpenCreate) or  |
// |        |         | 30040 "Cannot open file '%s1'." naming the file;         |
// |        |         | 1524 when the name has 260 characters or more            |
//
//   char name[kJuPathChars] = "data/out.bin";
//   juFileOpen(name, sizeof name, kJuFileOpenForWriting, &h) -> 0
//   char temp[kJuPathChars] = "";
//   juFileOpen(temp, sizeof temp, kJuFileOpenTemporary | kJuFileOpenReadWrite, &h)
//     -> 0, temp = "/tmp/juA1b2C3"
[[nodiscard]] int juFileOpen(char* name, size_t size, uint32_t flags, JuFileHandle* handle);
// The same with a UTF-16 name and its buffer's size in units.
[[nodiscard]] int juFileOpenW(char16_t* name, size_t size, uint32_t flags, JuFileHandle* handle);

// Closes a handle of juFileOpen; kJuNoFile is accepted and returns 0. A
// failed close posts the file error of its error number without a name
// (juPostFileError) and returns 1.
[[nodiscard]] int juFileClose(JuFileHandle handle);

// Reads up to `count` bytes at byte `offset` (kJuFileCurrentPosition: where
// the last read or write ended) into `buffer`; *countRead receives the bytes
// read, which may be fewer than asked (0 at the end of the file). 0, or 1
// after the file error of the failed seek or read was posted.
//   juFileRead(h, 0, buf, 8192, &n) -> 0, n = 100 for a file of 100 bytes
[[nodiscard]] int juFileRead(JuFileHandle handle, uint64_t offset, void* buffer, size_t count, size_t* countRead);

// Writes `count` bytes at `offset` (kJuFileCurrentPosition: the current
// position), in pieces of at most 65534 bytes. A piece the system writes only
// in part is continued for the rest; a write that makes no progress (the disk
// or quota is full, the file reached the process's size limit, or nothing was
// written) fails with 1506 "Insufficient disk space." when nothing of its
// piece was written and 30041 "Error (%d1) on input or output to a file."
// without a number otherwise. Any other failure posts the file error of its
// error number. count 0 writes nothing and returns 0.
//   juFileWrite(h, kJuFileCurrentPosition, data, 70000) -> 0 (pieces of 65534 and 4466)
[[nodiscard]] int juFileWrite(JuFileHandle handle, uint64_t offset, const void* buffer, size_t count);

// The same as juFileWrite, with the whole `count` as its one piece: the
// system is given every byte at once, so a large copy takes a few calls and
// its writes end where the caller's blocks do (pieces of 65534 bytes end
// inside a page, which the file system then fills in two visits). Failures
// as juFileWrite's for that one piece: 1506 when no byte could be written,
// 30041 when some were.
//   juFileWriteWhole(h, kJuFileCurrentPosition, data, 1 << 20) -> 0 (one write of 1 MiB)
[[nodiscard]] int juFileWriteWhole(JuFileHandle handle, uint64_t offset, const void* buffer, size_t count);

// Converts `units` UTF-16 units to UTF-8 (utf8 != 0) or to the ANSI code page
// (characters without a mapping become '?') and writes them with
// juFileWrite. A text that cannot be converted posts the file error 42 (an
// illegal sequence); a buffer that cannot be allocated posts out of memory;
// both return 1. units 0 writes nothing.
//   juFileWriteTextW(h, kJuFileCurrentPosition, u"caf\u00e9", 4, 1) -> 0, 5 bytes written
[[nodiscard]] int juFileWriteTextW(JuFileHandle handle, uint64_t offset, const char16_t* text, size_t units, int utf8);

// Deletes a file. A file that does not exist counts as deleted. 0, or 1 with
// 1502 "Cannot delete file: '%s1'." naming the file as passed (1524 for a
// name of 260 characters or more).
[[nodiscard]] int juFileDelete(const char* name);
[[nodiscard]] int juFileDeleteW(const char16_t* name);

// Renames `oldName` to `newName`. An existing `newName` is never replaced:
// the rename fails. 0, or 1 with 30042 "Cannot rename '%s1' to '%s2'." naming
// both as passed. The narrow form checks both names against the 259-character
// limit first (1524); the UTF-16 form renames the names as they are.
[[nodiscard]] int juFileRename(const char* oldName, const char* newName);
[[nodiscard]] int juFileRenameW(const char16_t* oldName, const char16_t* newName);

// 1 when `path` names a file or a read-only file (juGetFileType & 1), so a
// directory does not count; 0 otherwise.
int juFileExists(const char* path);
int juFileExistsW(const char16_t* path);

// Posts the message for a runtime error number (as the platform layer
// translates the system's errors) and returns the posted error:
//
// | number | message                                                      |
// | 2      | 1509 "File not found '%s1'." with the name ("" for null)     |
// | 9      | 1507 "Invalid file handle."                                  |
// | 12     | 1503 "Not enough memory for this command."                   |
// | 13     | 1508 "Access to file denied '%s1'." with the name ("" for null) |
// | 24     | 30045 "The maximum number of files are already open."        |
// | 36     | 1512 "Whole or part of the region has already been locked."  |
// | other  | 30041 "Error (%d1) on input or output to a file." with the number |
JuError* juPostFileError(int32_t errorNumber, const char* fileName);
JuError* juPostFileErrorW(int32_t errorNumber, const char16_t* fileName);

// ---------------------------------------------------------------------------
// Paths.
// ---------------------------------------------------------------------------

// Copies `source` into `destination` of `size` characters (unless they are
// the same buffer) adapted to the volume it lives on; here that is the copy
// alone, since names keep their case (upperCase changes nothing) and their
// bytes. 1 without a message for a null buffer; 1 with 1524 naming the source
// when it does not fit (nothing is copied); else 0.
//   juAdaptPathToVolume("a\\B.txt", buf, 260, 1) -> 0, buf = "a\\B.txt"
[[nodiscard]] int juAdaptPathToVolume(const char* source, char* destination, size_t size, int upperCase);
[[nodiscard]] int juAdaptPathToVolumeW(const char16_t* source, char16_t* destination, size_t size, int upperCase);

// Makes the path in `path` (a buffer of `size` characters) absolute in place
// and collapses each "\..\" (either separator) with the component before it,
// leftmost first; "." components and a trailing ".." stay. Every separator of
// the result is '/', so it names the same file wherever it is handed.
//   - a path that starts with one separator is absolute already;
//   - one that starts with two separators, or holds ':' anywhere but at
//     index 1, is left as it is;
//   - any other path follows the current directory and a '/' (none when the
//     directory ends with a separator); "C:x" is such a path.
// The result stays within 259 characters and the buffer: the relative part
// is cut to fit, and a current directory that already reaches that length is
// kept alone. A current directory that cannot be read, or does not fit the
// buffer, leaves the path unchanged. oemAndUpper is accepted and changes
// nothing: names keep their case and bytes here.
//   with the current directory "/home/u": "a\\..\\b" -> "/home/u/b"
void juMakeFullPath(char* path, int oemAndUpper, size_t size);
void juMakeFullPathW(char16_t* path, size_t size);

// The current directory into `buffer` of kJuPathChars characters; returns the
// buffer, or null (buffer emptied) when it cannot be read or does not fit.
// `drive` is 0 for the current drive or 1 to 26 for A to Z: there is one
// directory tree here, so every drive gives the process's current directory.
// Other numbers give null.
char* juGetCurrentDirectory(int32_t drive, char* buffer);
char16_t* juGetCurrentDirectoryW(int32_t drive, char16_t* buffer);

// Splits `path` (changed in place) into its directory, base name and
// extension. The name starts after the last separator; the first '.' of the
// name ends the base, and what follows it goes to `extension` (emptied first,
// cut to its size). The base goes to `base`; when it needs `baseSize`
// characters or more it is cut to baseSize - 1 and, with `report`, 1524 names
// the whole base and the result is 1. `path` keeps only its directory part
// with its trailing separator. A null buffer counts as size 0.
//   path "c:\\dir\\a.b.c": -> path "c:\\dir\\", base "a", extension "b.c", 0
[[nodiscard]] int juSplitFileName(char* path, char* base, size_t baseSize, char* extension, size_t extensionSize,
                                  int report);
[[nodiscard]] int juSplitFileNameW(char16_t* path, char16_t* base, size_t baseSize, char16_t* extension,
                                   size_t extensionSize, int report);

// 1 when the path, after leading spaces, stays below the directory it is
// relative to: no ".." segment (at the start or after a separator, and before
// a separator or the end). 0 for such a segment and for absolute paths: a
// leading separator (one or two), or a letter and ':' ("C:\\x", "C:x"). A
// null or empty path gives 1.
//   juIsSafeRelativePathW(u"a\\b..c") -> 1; (u"a/../b") -> 0; (u"/etc") -> 0
int juIsSafeRelativePathW(const char16_t* path);

// 1 when the text starts with '1', with 'T' or 't', or with "on" in any
// case; else 0 (null gives 0).
//   juIsTrueText("On") -> 1; juIsTrueText("off") -> 0
int juIsTrueText(const char* text);

// The value of environment variable `name` and a NUL into `buffer` of `size`
// characters; returns the buffer, or null when the variable is missing,
// empty, or does not fit (the buffer is then left alone). The UTF-16 form
// converts the name and value from UTF-8 and gives null for a value that is
// not valid UTF-8.
//   juGetEnv("HOME", buf, 6) -> buf = "/root"; juGetEnv("HOME", buf, 5) -> null
char* juGetEnv(const char* name, char* buffer, size_t size);
char16_t* juGetEnvW(const char16_t* name, char16_t* buffer, size_t size);

// ---------------------------------------------------------------------------
// System names.
// ---------------------------------------------------------------------------

// Each copies a name into `buffer` of `size` characters: a null buffer or
// size 0 returns 0 and does nothing; otherwise min(length, size - 1)
// characters (never half a character) and a terminator, and 0. A name the
// system cannot give posts 1540 "GetComputerName failed with error %d1." or
// 1541 "GetUserName failed with error %d1." with the runtime error number
// and returns 1. Narrow names are UTF-8; the UTF-16 forms convert from it.
//
// The host name as the system gives it (no network look-up).
[[nodiscard]] int juGetComputerNameDns(char* buffer, size_t size);
[[nodiscard]] int juGetComputerNameDnsW(char16_t* buffer, size_t size);
// The host name's first label, at most 15 characters (a short computer
// name's limit).   host "build-server.example.org" -> "build-server"
[[nodiscard]] int juGetComputerName(char* buffer, size_t size);
[[nodiscard]] int juGetComputerNameW(char16_t* buffer, size_t size);
// The login name of the user the process acts for.
[[nodiscard]] int juGetUserName(char* buffer, size_t size);
[[nodiscard]] int juGetUserNameW(char16_t* buffer, size_t size);

#endif  // JULIB_FILES_H
