// Helpers for the tests of julib and of the components above it: the error
// list of a test, the ANSI code page for a scope, UTF-16 text as UTF-8.
#ifndef TESTING_JU_TEST_H
#define TESTING_JU_TEST_H

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

#endif  // TESTING_JU_TEST_H
