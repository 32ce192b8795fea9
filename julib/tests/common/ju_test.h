// Helpers shared by the library's tests.
#ifndef JULIB_TESTS_COMMON_JU_TEST_H
#define JULIB_TESTS_COMMON_JU_TEST_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "julib/errors.h"

namespace jutest {

// Pushes a fresh keep-all error list for a scope and pops it again, so a
// test sees only what it posted.
class ScopedErrorList {
 public:
  explicit ScopedErrorList(int keepAll = 1) : list_(0, keepAll) { JuErrorList::pushCurrent(&list_); }
  ~ScopedErrorList() { JuErrorList::popCurrent(); }
  ScopedErrorList(const ScopedErrorList&) = delete;
  ScopedErrorList& operator=(const ScopedErrorList&) = delete;

  JuErrorList& list() { return list_; }
  JuErrorList* operator->() { return &list_; }
  // Message ids of the stored errors, in posting order (a pending
  // out-of-memory mark shows as its id 30190 at the end).
  std::vector<uint16_t> ids();
  // The message of the stored error at `index` as UTF-8.
  std::string message(uint64_t index);

 private:
  JuErrorList list_;
};

// A fixture that gives each test its own keep-all list.
class JuTest : public ::testing::Test {
 protected:
  ScopedErrorList errors_;
};

// What the library's last frees on the main test thread held: the test main
// records every block the library frees there (its first bytes, up to
// kFreedBytes), so a test can tell whether a buffer was wiped before it was
// let go. Null when the block was not among the last frees.
inline constexpr size_t kFreedBytes = 4096;
struct FreedBlock {
  uintptr_t address;
  size_t size;  // bytes recorded
  unsigned char bytes[kFreedBytes];
};
const FreedBlock* freedBlock(const void* address);
// A mark of the frees so far, and whether a block freed after it (among the
// last frees) still began with the n bytes: a copy of a secret let go
// unwiped. (Only the start counts: what lies past a block's requested size
// may be older text.)
size_t freeMark();
bool freedBeginningWith(size_t mark, const void* bytes, size_t n);

// Switches the process ANSI code page for a scope.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(uint32_t codePage);
  ~ScopedCodePage();
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;

 private:
  uint32_t saved_;
};

// UTF-16 text to UTF-8 for messages and comparisons.
std::string toUtf8(const char16_t* text, size_t n);
std::string toUtf8(const std::u16string& text);

}  // namespace jutest

#endif  // JULIB_TESTS_COMMON_JU_TEST_H
