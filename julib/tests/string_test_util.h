// Helpers of the string-class tests: text of a view as std::string, a
// scoped ANSI code page, and a probe that tells whether a block the library
// just freed had been wiped.
#ifndef JULIB_TESTS_STRING_TEST_UTIL_H
#define JULIB_TESTS_STRING_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/ju_test.h"
#include "julib/object.h"
#include "julib/strings.h"
#include "platform/ansi.h"

namespace jutest {

inline std::string text(const JuSubString& view) {
  return view.data == nullptr ? std::string() : std::string(view.data, view.length);
}

inline std::u16string text(const JuSubStringW& view) {
  return view.data == nullptr ? std::u16string() : std::u16string(view.data, view.length);
}

// Switches the process ANSI code page for a scope.
class CodePageScope {
 public:
  explicit CodePageScope(uint32_t codePage) : saved_(platform::ansiCodePage()) {
    EXPECT_TRUE(platform::setAnsiCodePage(codePage));
  }
  ~CodePageScope() { platform::setAnsiCodePage(saved_); }
  CodePageScope(const CodePageScope&) = delete;
  CodePageScope& operator=(const CodePageScope&) = delete;

 private:
  uint32_t saved_;
};

// Whether the block of `size` bytes at `freedAddress`, just freed by the
// library, was zeroed first. glibc gives the most recently freed block of a
// size back on the next request of that size; the bytes after its 16-byte
// free-list link are then what was left in it. kUnknown when another block
// comes back (and always under AddressSanitizer, whose quarantine keeps
// freed blocks out of reach).
enum class Wiped { kYes, kNo, kUnknown };

inline Wiped probeFreedBlock(uintptr_t freedAddress, size_t size) {
#if defined(__SANITIZE_ADDRESS__)
  (void)freedAddress;
  (void)size;
  return Wiped::kUnknown;
#else
  auto* block = static_cast<unsigned char*>(juMallocChecked(size));
  Wiped result = Wiped::kUnknown;
  if (reinterpret_cast<uintptr_t>(block) == freedAddress) {
    result = Wiped::kYes;
    for (size_t i = 16; i < size; ++i) {
      if (block[i] != 0) result = Wiped::kNo;
    }
  }
  juFree(block);
  return result;
#endif
}

inline uintptr_t addressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace jutest

#endif  // JULIB_TESTS_STRING_TEST_UTIL_H
