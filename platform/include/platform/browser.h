// Opening a web address in the user's default browser.
#ifndef PLATFORM_BROWSER_H
#define PLATFORM_BROWSER_H

namespace platform {

// Starts the desktop's opener (xdg-open) with `address` as its one argument:
// no shell sees it, so blanks, quotes, ';' or '$(...)' in it stay text. The
// opener runs in a process group of its own with its standard streams on
// /dev/null, and the call does not wait for it or for the browser; a
// background thread collects its exit, so no zombie remains (only when no
// thread can be started does the call wait for the opener itself).
//   openAddress("https://docs.vrtools.example/bundle/a/b.html") -> true
// Returns true when the opener was started; false for a null or empty
// address or when it cannot be started (not installed, no processes left).
bool openAddress(const char* address) noexcept;

// Test seam: while a recorder is set, openAddress hands the address to it
// (with `context`) and returns true instead of starting anything. Null
// restores the real opener.
using AddressRecorder = void (*)(const char* address, void* context);
void setAddressRecorderForTesting(AddressRecorder recorder, void* context) noexcept;

}  // namespace platform

#endif  // PLATFORM_BROWSER_H
