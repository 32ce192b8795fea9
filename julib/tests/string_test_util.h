// Helpers of the string-class tests: text of a view as std::string, and a
// probe that tells whether a block the library just freed had been wiped.
#ifndef JULIB_TESTS_STRING_TEST_UTIL_H
#define JULIB_TESTS_STRING_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/ju_test.h"
#include "julib/object.h"
#include "julib/strings.h"

namespace jutest {

inline std::string text(const JuSubString& view) {
  return view.data == nullptr ? std::string() : std::string(view.data, view.length);
}

inline std::u16string text(const JuSubStringW& view) {
  return view.data == nullptr ? std::u16string() : std::u16string(view.data, view.length);
}


// Whether the block of `size` bytes at `freedAddress` was zeroed before the
// library freed it; kUnknown when it was not among the last frees.
enum class Wiped { kYes, kNo, kUnknown };

inline Wiped probeFreedBlock(uintptr_t freedAddress, size_t size) {
  const FreedBlock* block = freedBlock(reinterpret_cast<const void*>(freedAddress));
  if (block == nullptr || block->size < size) return Wiped::kUnknown;
  for (size_t i = 0; i < size; ++i) {
    if (block->bytes[i] != 0) return Wiped::kNo;
  }
  return Wiped::kYes;
}

inline uintptr_t addressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace jutest

#endif  // JULIB_TESTS_STRING_TEST_UTIL_H
