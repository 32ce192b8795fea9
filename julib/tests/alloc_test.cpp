// Allocation: never throws, records out of memory once, checks sizes.

#include <cstdint>
#include <cstring>
#include <limits>

#include "julib/internal/fault.h"
#include "julib/object.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;

class Alloc : public JuTest {};

TEST_F(Alloc, ZeroBytesGiveDistinctBlocks) {
  void* a = ::operator new(0, std::nothrow);
  void* b = ::operator new(0, std::nothrow);
  void* c = juMemDup("x", 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  ASSERT_NE(c, nullptr);
  EXPECT_NE(a, b);
  ::operator delete(a);
  ::operator delete(b);
  juFree(c);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(Alloc, FailureReturnsNullAndMarksOnce) {
  julib::internal::failAllocation(1, true);
  void* a = ::operator new(16, std::nothrow);
  void* b = juMalloc(8);
  auto* object = new (std::nothrow) JuObject;
  EXPECT_EQ(julib::internal::clearAllocationFault(), 3u);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(object, nullptr);  // construction skipped
  EXPECT_EQ(errors_->errors, 1u);
  EXPECT_EQ(errors_->pendingOutOfMemory, 1);
  EXPECT_EQ(errors_->count, 0u);  // the mark takes no slot
}

TEST_F(Alloc, NegativeAndOverflowingCountsFailAsOutOfMemory) {
  EXPECT_EQ(juMalloc(-1), nullptr);
  EXPECT_EQ(errors_->pendingOutOfMemory, 1);
  JuErrorList::popLast();
  const size_t huge = std::numeric_limits<size_t>::max() / 2;
  EXPECT_EQ(juStrNDupWiden("", huge), nullptr);
  EXPECT_EQ(errors_->pendingOutOfMemory, 1);
  JuErrorList::popLast();
  EXPECT_EQ(juWStrNDupNarrow(u"", std::numeric_limits<size_t>::max()), nullptr);
  EXPECT_EQ(errors_->pendingOutOfMemory, 1);
}

TEST_F(Alloc, NarrowAndWidenCopies) {
  const char16_t units[] = {0x0141, 0x0042};
  char* narrow = juWStrNDupNarrow(units, size_t{2});
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(std::memcmp(narrow, "\x41\x42", 3), 0);
  juFree(narrow);

  char* empty = juWStrNDupNarrow(units, ptrdiff_t{-4});
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  juFree(empty);

  char16_t* wide = juStrNDupWiden("\xE9z", ptrdiff_t{2});
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[0], 0x00E9);  // zero-extended, not sign-extended
  EXPECT_EQ(wide[1], u'z');
  EXPECT_EQ(wide[2], 0);
  juFree(wide);
}

TEST_F(Alloc, ReallocFailureKeepsTheOldBlock) {
  char* block = static_cast<char*>(juMallocChecked(4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(juRealloc(block, 1 << 20), nullptr);
  julib::internal::clearAllocationFault();
  EXPECT_STREQ(block, "abc");
  juFree(block);
}

}  // namespace
