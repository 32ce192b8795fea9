// Start-up of vrbrd28: the program entry, the program directory, and the
// choice between the two front ends over the one brand object.
#ifndef BRAND_APP_STARTUP_H
#define BRAND_APP_STARTUP_H

#include <cstddef>

#include "platform/process.h"

// The directory of the running program into `buffer` of `size` bytes: its
// path cut at the last separator, the separator itself removed.
//   "/opt/vr/bin/vrbrd28" -> "/opt/vr/bin"
// "" when the path cannot be read or does not fit.
void getProgramDirectory(char* buffer, size_t size);

// The program: `instance` becomes juResourceModule unless one is set; `argv`
// holds `argc` words, the program name first. With fewer than six entries
// (the switches not counted) the dialogs run, else the console front end.
// Returns the exit code, 0 or 1.
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

#endif  // BRAND_APP_STARTUP_H
