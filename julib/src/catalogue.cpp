// ANSI mode, module file names and the message catalogue.

#include <algorithm>

#include "julib/threads.h"
#include "platform/ansi.h"
#include "platform/catalogue.h"
#include "platform/process.h"

std::atomic<int32_t> juAnsiMode{-1};
std::atomic<platform::ModuleHandle> juResourceModule{nullptr};

namespace {
// An address inside the library, so the module's file is the binary that
// carries it.
void libraryAnchor() {}
}  // namespace

const platform::Module juLibraryModule = {"julib", reinterpret_cast<const void*>(&libraryAnchor),
                                          {&juLibraryMessages, nullptr, nullptr, nullptr}};

int juIsWindowsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor) {
  return platform::isWindowsVersionAtLeast(major, minor, servicePackMajor) ? 1 : 0;
}

int juIsWindowsVersion51OrLater() { return juIsWindowsVersionAtLeast(5, 1, 0); }

void juInitAnsiMode() { juAnsiMode.store(juIsWindowsVersion51OrLater() == 0 ? 1 : 0, std::memory_order_relaxed); }

int32_t juGetAnsiMode() {
  int32_t mode = juAnsiMode.load(std::memory_order_relaxed);
  if (mode < 0) {
    juInitAnsiMode();
    mode = juAnsiMode.load(std::memory_order_relaxed);
  }
  return mode;
}

namespace {

// Copies a converted text into the caller's buffer, cut to size - 1 units
// and terminated; returns the units copied.
size_t copyBounded(const char16_t* text, size_t length, char16_t* buffer, size_t size) {
  const size_t n = std::min(length, size - 1);
  std::copy(text, text + n, buffer);
  buffer[n] = 0;
  return n;
}

// Converts NUL-terminated narrow text of `codePage` into the caller's buffer.
size_t convertInto(uint32_t codePage, const char* text, char16_t* buffer, size_t size) {
  char16_t wide[1536];
  const int n = platform::multiByteToWide(codePage, text, -1, wide, 1536);
  if (n <= 0) {
    buffer[0] = 0;
    return 0;
  }
  return copyBounded(wide, static_cast<size_t>(n - 1), buffer, size);
}

}  // namespace

size_t juGetModuleFileNameW(platform::ModuleHandle module, char16_t* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  char path[1536];
  if (platform::moduleFileName(module, path, sizeof path) == 0) {
    buffer[0] = 0;
    return 0;
  }
  // The path is the system's UTF-8 bytes; in ANSI mode the narrow form is
  // taken to be in the ANSI code page, as the system's narrow call gives it.
  const uint32_t codePage = juGetAnsiMode() == 1 ? platform::kCodePageAnsi : platform::kCodePageUtf8;
  return convertInto(codePage, path, buffer, size);
}

size_t juLoadStringW(platform::ModuleHandle module, uint16_t id, char16_t* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  if (juGetAnsiMode() == 1) {
    char narrow[1536];
    if (platform::loadStringNarrow(module, id, narrow, sizeof narrow) == 0) {
      buffer[0] = 0;
      return 0;
    }
    return convertInto(platform::kCodePageAnsi, narrow, buffer, size);
  }
  return platform::loadString(module, id, buffer, size);
}

size_t juLoadMessage(char16_t* buffer, uint16_t id) {
  return juLoadStringW(juResourceModule.load(std::memory_order_acquire), id, buffer, kJuMessageUnits);
}

size_t juLoadStringA(char* buffer, uint16_t id) {
  return platform::loadStringNarrow(juResourceModule.load(std::memory_order_acquire), id, buffer, kJuMessageUnits);
}
