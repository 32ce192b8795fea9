// Helpers of the string-class tests: text of a view as std::string, and a
// probe that tells whether a block the library just freed had been wiped.
#ifndef JULIB_TESTS_STRING_TEST_UTIL_H
#define JULIB_TESTS_STRING_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "julib/object.h"
#include "julib/strings.h"
#include "testing/freed_blocks.h"
#include "testing/ju_test.h"

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

// An operation that takes a source, run on the plain and the wiping string
// (kString) or on the parameter string (kParam) of a family.
enum class AliasTarget { kString, kParam };

template <typename Base, typename Char>
struct AliasRow {
  const char* name;
  AliasTarget target;
  int (*run)(Base& s, const Char* source, size_t n);
};

// Runs each row on the text `start` twice: with n units of the string's own
// buffer as the source (the whole text, a prefix, a suffix, a middle part;
// in an exact buffer that must grow and with room to spare), and with a copy
// of them that runs to the end of the text (so a NUL-terminated form reads
// the same). Status and text must agree, and the wiping string may free no
// block that still holds the source.
template <typename Plain, typename Wiping, typename Param, typename Char, size_t N>
void expectAliasedAsCopied(const std::basic_string<Char>& start, const AliasRow<Plain, Char> (&rows)[N]) {
  enum Which { kPlain, kWiping, kParameters };
  static const char* const kNames[] = {"plain", "wiping", "parameters"};
  const size_t len = start.size();
  const size_t third = len / 3;
  struct Part {
    const char* name;
    size_t offset;
    size_t n;
  };
  const Part parts[] = {
      {"whole", 0, len}, {"prefix", 0, third}, {"suffix", len - third, third}, {"middle", third, third}};
  auto make = [&](Which which, bool room) {
    std::unique_ptr<Plain> s;
    if (which == kPlain) s.reset(new Plain);
    if (which == kWiping) s.reset(new Wiping);
    if (which == kParameters) s.reset(new Param);
    EXPECT_EQ(s->assign(start.data(), len), 0);  // the plain assign: a template without parameters yet
    EXPECT_EQ(room ? s->reserve(1024) : 0, 0);
    s->data[len] = 0;  // the wiping reserve copies the text only
    return s;
  };
  for (const auto& row : rows) {
    for (Which which : {kPlain, kWiping, kParameters}) {
      if ((which == kParameters) != (row.target == AliasTarget::kParam)) continue;
      for (const Part& part : parts) {
        for (bool room : {false, true}) {
          SCOPED_TRACE(std::string(row.name) + ", " + kNames[which] + ", " + part.name + (room ? ", room" : ", exact"));
          const std::basic_string<Char> copy = start.substr(part.offset);
          auto copied = make(which, room);
          const int expected = row.run(*copied, copy.c_str(), part.n);
          auto aliased = make(which, room);
          const size_t mark = freeMark();
          const int status = row.run(*aliased, aliased->data + part.offset, part.n);
          // Asked before any text of the test is freed.
          const bool leftUnwiped = freedBeginningWith(mark, copy.data(), part.n * sizeof(Char));
          EXPECT_EQ(status, expected);
          EXPECT_EQ(text(*aliased), text(*copied));
          EXPECT_FALSE(which == kWiping && leftUnwiped);
        }
      }
    }
  }
}

}  // namespace jutest

#endif  // JULIB_TESTS_STRING_TEST_UTIL_H
