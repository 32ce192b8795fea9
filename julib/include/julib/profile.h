// Profile access: private-profile reads and writes (file, section, key,
// value) sent by the file's name to the ODBC installer (ODBC.INI), to the
// registry (eight more INI names of the ODBC and driver world, and explicit
// registry paths), or to a plain INI file (every other name).
//
// Narrow texts are in the process ANSI code page, except plain INI file names,
// which are bytes as the system stores them (UTF-8 here); UTF-16 file names
// are converted to UTF-8. INI files and the installer's ODBC.INI files hold
// UTF-8, so the narrow and UTF-16 forms read and write the same values. Sizes and lengths count bytes (narrow) or
// UTF-16 units, terminators included in sizes and excluded from lengths.
//
// Lists (a missing section lists the sections, or for the registry its
// subkeys; a missing key lists the section's keys) are names, each with its
// terminator, and one more terminator at the end. A list that does not fit
// keeps the names that do and returns size - 2 with two terminators at the
// end, as GetPrivateProfileString does; a complete list returns its length
// without the last terminator, so only a list of exactly size - 2 reads like
// a cut one. Cuts keep whole characters.
#ifndef JULIB_PROFILE_H
#define JULIB_PROFILE_H

#include <cstddef>
#include <cstdint>

#include "platform/profile/registry.h"

// ---------------------------------------------------------------------------
// Routes and registry handles.
// ---------------------------------------------------------------------------

// Where a profile request goes.
using JuProfileRoute = uint16_t;
inline constexpr JuProfileRoute kJuProfileRouteRegistry = 0;
inline constexpr JuProfileRoute kJuProfileRouteIniFile = 1;
// ODBC.INI through the installer; the registry mirror under the current user
// when the installer or its function is missing.
inline constexpr JuProfileRoute kJuProfileRouteInstaller = 2;

// An open registry key, or a root: platform::registry::rootKey(Root::...)
// stands for HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
using JuRegKey = platform::registry::KeyHandle;

// Characters of a registry key path, terminator included. A request whose
// key path (prefix and section) does not fit fails: reads give the default,
// writes report failure.
inline constexpr size_t kJuProfileKeyPathChars = 512;

// ---------------------------------------------------------------------------
// Mapping an INI name.
// ---------------------------------------------------------------------------

// The route of `iniName`. The part after the last '\' or '/' is searched,
// case-sensitively, in the nine names "ODBC.INI ODBCINST.INI CONTROL.INI
// EXCHANGE.INI EXCHINST.INI VREXP15.INI JULIB.INI Volmaresk.INI
// BRISKLANE.INI": when it first occurs where a name begins, that row's root
// goes to *root and its key prefix (ending in '\') to keyPath, and the route
// is kJuProfileRouteInstaller for ODBC.INI, else kJuProfileRouteRegistry. So a
// leading part selects a row ("EXCH" -> EXCHANGE.INI), a part that starts
// inside a name ("INST.INI") or another case ("odbc.ini") selects none.
// Without a row, when pathsAllowed is not 0 and the whole name contains a '\'
// and begins with "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER", that root and
// the text after the first '\' are given, route kJuProfileRouteRegistry.
// Otherwise (also for a null or empty name) kJuProfileRouteIniFile, and *root
// and keyPath are left as they are.
// keyPath gets at most keyPathSize - 1 characters and a terminator (nothing
// when its size is 0); a null root or keyPath is skipped.
//   juMapProfileToRegistry(&root, buf, 512, "C:\\odbc\\JULIB.INI", 0)
//     -> kJuProfileRouteRegistry, root = rootKey(kCurrentUser),
//        buf = "SOFTWARE\\Volmaresk\\JULIB.INI\\"
//   juMapProfileToRegistry(&root, buf, 512, "HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", 1)
//     -> kJuProfileRouteRegistry, root = rootKey(kLocalMachine), buf = "SOFTWARE\\X\\"
JuProfileRoute juMapProfileToRegistry(JuRegKey* root, char* keyPath, size_t keyPathSize, const char* iniName,
                                      uint32_t pathsAllowed);
JuProfileRoute juMapProfileToRegistryW(JuRegKey* root, char16_t* keyPath, size_t keyPathSize,
                                       const char16_t* iniName, uint32_t pathsAllowed);

// ---------------------------------------------------------------------------
// Reading and writing.
// ---------------------------------------------------------------------------

// The value of `key` in `section` of `iniName` (routed as above), else
// `fallback` (null: empty), into `buffer` of `size` units: at most size - 1
// and a terminator. Returns the units copied. A null section (for the
// registry: null or empty) lists the sections (subkeys), a null key (registry:
// null or empty) the section's keys; a missing or empty list gives the
// default. A key that exists reads as its value on every route, also when
// that is empty ("K=", "K= " and, in plain INI files, which drop one pair of
// enclosing quotes, "K=\"\""): the default is for a missing key only.
// Size 0 writes nothing and returns 0; size 1 writes a terminator.
// Reads never fail: a registry error gives the default.
//   juGetPrivateProfileString("START", "VERSION", "", buf, 64, ".\\vrbrand.inf", 0) -> 4, "2.80"
//   juGetPrivateProfileString("", nullptr, "", buf, 9, "JULIB.INI", 0)
//     with subkeys "ab", "cd" -> 6, "ab\0cd\0\0"; with size 6 -> 4, "ab\0\0\0\0"
size_t juGetPrivateProfileString(const char* section, const char* key, const char* fallback, char* buffer,
                                 size_t size, const char* iniName, uint32_t pathsAllowed);
size_t juGetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* fallback,
                                  char16_t* buffer, size_t size, const char16_t* iniName, uint32_t pathsAllowed);

// Writes `value` for `key` in `section` of `iniName` (routed as above).
// Returns 0 on success, 1 on failure, on every route.
//   A null value deletes the key; so does an empty one in the registry (INI
//   files and the installer store it as an empty value).
//   A null key (registry: null or empty) deletes the whole section: in the
//   registry the section's key with everything below it, and nothing for a
//   null or empty section.
//   Deleting what does not exist succeeds.
// ODBC.INI goes to the user data source when that has a "Driver", else to the
// system data source when that has one, else to the installer's current
// configuration mode; the mode is switched and restored under juProfileLock.
//   juWritePrivateProfileString("Volmaresk", "Trace", "1", "JULIB.INI", 0) -> 0
[[nodiscard]] int juWritePrivateProfileString(const char* section, const char* key, const char* value,
                                              const char* iniName, uint32_t pathsAllowed);
[[nodiscard]] int juWritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                               const char16_t* iniName, uint32_t pathsAllowed);

// ---------------------------------------------------------------------------
// Registry helpers.
// ---------------------------------------------------------------------------

// The result of juRegGetStringW that means failure.
inline constexpr size_t kJuRegGetStringFailed = SIZE_MAX;

// The string value `name` (null: the key's default value) of `subkey` below
// `root` into `buffer` of `size` units. Returns its length in units, written
// with a terminator; kJuRegGetStringFailed when the key or value is missing
// or the value does not fit with its terminator (the buffer then holds an
// empty text when size > 0).
//   juRegGetStringW(rootKey(kCurrentUser), u"SOFTWARE\\Volmaresk\\JULIB.INI\\Trace", u"Level", buf, 16)
//     -> 1, u"3"
size_t juRegGetStringW(JuRegKey root, const char16_t* subkey, const char16_t* name, char16_t* buffer, size_t size);

// Deletes the subkey `name` of the open key `parent` with everything below
// it. A key that does not exist, a null or an empty name change nothing; a
// subkey that cannot be deleted stops the walk (the key stays).
//   juRegDeleteKeyTree(rootKey(kCurrentUser), "SOFTWARE\\Volmaresk\\JULIB.INI\\Old")
void juRegDeleteKeyTree(JuRegKey parent, const char* name);
void juRegDeleteKeyTreeW(JuRegKey parent, const char16_t* name);

// ---------------------------------------------------------------------------
// The installer binding (process-wide, under juProfileLock).
// ---------------------------------------------------------------------------

// Loads the ODBC installer (juLoadLibrary("odbccp32.dll", 0)) when it is not
// loaded yet, and binds its six profile functions; a failed load binds
// nothing and the next call tries again. The get and write operations bind
// on their own; nothing needs to call this first.
void juBindInstallerApi();
// Frees the installer library and forgets every function.
void juUnbindInstallerApi();

// Bits of juInstallerApiBindings: the library and each function that is
// bound. The installer's narrow functions serve both forms, with UTF-8 texts
// (its files are UTF-8): unixODBC's UTF-16 profile functions keep only the
// low byte of each unit, and widen bytes with their sign on the way back.
inline constexpr uint32_t kJuInstallerLibrary = 1u << 0;
inline constexpr uint32_t kJuInstallerWriteW = 1u << 1;      // SQLWritePrivateProfileStringW
inline constexpr uint32_t kJuInstallerSetConfigMode = 1u << 2;  // SQLSetConfigMode
inline constexpr uint32_t kJuInstallerGetConfigMode = 1u << 3;  // SQLGetConfigMode
inline constexpr uint32_t kJuInstallerGetW = 1u << 4;        // SQLGetPrivateProfileStringW
inline constexpr uint32_t kJuInstallerWrite = 1u << 5;       // SQLWritePrivateProfileString
inline constexpr uint32_t kJuInstallerGet = 1u << 6;         // SQLGetPrivateProfileString

// What is bound now, as kJuInstaller... bits; 0 while unbound. Binds nothing.
//   juBindInstallerApi(); juInstallerApiBindings() -> 0x7F with unixODBC
uint32_t juInstallerApiBindings();

#endif  // JULIB_PROFILE_H
