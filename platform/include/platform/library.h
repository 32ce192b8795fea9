// Loading shared libraries by name and binding their functions.
#ifndef PLATFORM_LIBRARY_H
#define PLATFORM_LIBRARY_H

#include <cstddef>

namespace platform {

struct Library;  // opaque
using LibraryHandle = Library*;

// Loads a library by file name or path (UTF-8 bytes; '\' separates too).
// A Windows library name that has a Linux counterpart is mapped first, its
// case ignored ("odbccp32.dll" -> "libodbcinst.so.2"); a name registered as a
// fake library gives that one. Null on failure; nothing is reported.
LibraryHandle loadLibrary(const char* name) noexcept;
// The address of a function of the library, null when it has none.
void* findFunction(LibraryHandle library, const char* name) noexcept;
// Like loadLibrary, but only for a library the process has loaded already
// (it is never loaded here): its handle, so that its own functions are bound
// rather than the process's first definitions of their names; null when it
// is not loaded. The handle is given back with freeLibrary.
//   findLoadedLibrary("odbc32.dll") -> unixODBC's libodbc.so.2, when the
//   application uses it
LibraryHandle findLoadedLibrary(const char* name) noexcept;
// Gives back a handle of loadLibrary or findLoadedLibrary; null is ignored.
void freeLibrary(LibraryHandle library) noexcept;

// Test seam: while registered, loading `name` (as loadLibrary would match
// it, after the name map) gives a library whose functions are the given
// ones, and counts the loads. At most 8 fakes at a time.
struct FakeFunction {
  const char* name;
  void* address;
};
bool registerFakeLibrary(const char* name, const FakeFunction* functions, size_t count) noexcept;
void unregisterFakeLibrary(const char* name) noexcept;
// Loads of the fake library `name` since it was registered.
size_t fakeLibraryLoads(const char* name) noexcept;

}  // namespace platform

#endif  // PLATFORM_LIBRARY_H
