// JuStringW conversions: narrow bytes of each code-page kind in, the cached
// narrow copy (UTF-8 or the ANSI code page) out.

#include <cstring>
#include <string>
#include <vector>

#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "string_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::ScopedCodePage;
using jutest::JuTest;
using jutest::text;
using jutest::Wiped;
using Ids = std::vector<uint16_t>;

std::string narrowOf(JuStringW& s, JuCodePageKind kind) {
  const char* copy = s.narrow(kind);
  return copy == nullptr ? "<null>" : std::string(copy);
}

using WideNarrow = JuTest;

TEST_F(WideNarrow, NarrowCopyByKind) {
  struct Row {
    uint32_t codePage;
    std::u16string text;
    JuCodePageKind kind;
    std::string expected;
    const char* note;
  };
  const Row rows[] = {
      {1252, u"\xE9", JuCodePageKind::kUtf8, "\xC3\xA9", "UTF-8"},
      {1252, u"\xE9", JuCodePageKind::kAnsi, "\xE9", "code page 1252"},
      {1252, u"a\x20AC", JuCodePageKind::kBytes, "a\x80", "any other kind is the ANSI code page"},
      {1252, u"\x3042", JuCodePageKind::kAnsi, "?", "no mapping"},
      {932, u"\x3042" u"b", JuCodePageKind::kAnsi, "\x82\xA0" "b", "code page 932: two bytes"},
      {1252, u"\xD83D\xDE00", JuCodePageKind::kUtf8, "\xF0\x9F\x98\x80", "a pair is one character"},
      {1252, u"", JuCodePageKind::kUtf8, "", "empty"},
      {1252, u"", JuCodePageKind::kAnsi, "", "empty"},
      {1252, std::u16string(1000, u'\x20AC'), JuCodePageKind::kUtf8, [] {
         std::string s;
         for (int i = 0; i < 1000; ++i) s += "\xE2\x82\xAC";
         return s;
       }(), "three bytes a unit"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage scope(row.codePage);
    JuStringW s;
    ASSERT_EQ(s.assign(row.text.data(), row.text.size()), 0);
    EXPECT_EQ(narrowOf(s, row.kind), row.expected);
  }
  JuStringW none;
  EXPECT_EQ(narrowOf(none, JuCodePageKind::kUtf8), "");
}

// UTF-16 that UTF-8 cannot carry gives the low bytes of its units.
TEST_F(WideNarrow, AnUnpairedSurrogateGivesLowBytes) {
  JuStringW s;
  ASSERT_EQ(s.assign(u"a\xD841" u"b"), 0);
  const char* copy = s.narrow(JuCodePageKind::kUtf8);
  EXPECT_EQ(std::string(copy, 4), std::string("a\x41" "b\0", 4));
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(WideNarrow, EachCallRebuildsTheCopy) {
  JuStringW s;
  ASSERT_EQ(s.assign(u"one"), 0);
  const std::string first = narrowOf(s, JuCodePageKind::kUtf8);
  ASSERT_EQ(s.append(u" two"), 0);
  EXPECT_EQ(first, "one");
  EXPECT_EQ(narrowOf(s, JuCodePageKind::kAnsi), "one two");
  EXPECT_EQ(s.narrowCache, s.narrow(JuCodePageKind::kUtf8));
}

TEST_F(WideNarrow, OutOfMemoryGivesAStaticText) {
  JuStringW s;
  ASSERT_EQ(s.assign(u"text"), 0);
  julib::internal::failAllocation(1, false);
  EXPECT_STREQ(s.narrow(JuCodePageKind::kUtf8), "Out Of Memory");
  julib::internal::clearAllocationFault();
  EXPECT_EQ(s.narrowCache, nullptr);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
  EXPECT_EQ(narrowOf(s, JuCodePageKind::kUtf8), "text");
}

TEST_F(WideNarrow, TheWipingStringZeroesItsNarrowCopy) {
  const std::u16string secret(66, u'S');  // a copy of 3 * 66 + 1 = 199 bytes
  const size_t size = 3 * secret.size() + 1;
  uintptr_t block = 0;
  {
    JuStringW plain;  // the control: a plain string's copy is left as it was
    ASSERT_EQ(plain.assign(secret.c_str()), 0);
    block = jutest::addressOf(plain.narrow(JuCodePageKind::kUtf8));
  }
  const Wiped wiped = jutest::probeFreedBlock(block, size);
  ASSERT_NE(wiped, Wiped::kUnknown) << "the block was not freed";
  ASSERT_EQ(wiped, Wiped::kNo);

  auto* s = new JuStringWEx;
  ASSERT_EQ(s->assign(secret.c_str()), 0);
  block = jutest::addressOf(s->narrow(JuCodePageKind::kAnsi));
  delete s;
  EXPECT_EQ(jutest::probeFreedBlock(block, size), Wiped::kYes);

  JuStringWEx again;
  ASSERT_EQ(again.assign(secret.c_str()), 0);
  block = jutest::addressOf(again.narrow(JuCodePageKind::kUtf8));
  ASSERT_EQ(again.assign(u"x"), 0);
  ASSERT_NE(again.narrow(JuCodePageKind::kUtf8), nullptr);  // frees the old copy first
  EXPECT_EQ(jutest::probeFreedBlock(block, size), Wiped::kYes);
}

// ---------------------------------------------------------------------------
// From bytes
// ---------------------------------------------------------------------------

using WideFromBytes = JuTest;

TEST_F(WideFromBytes, EachKind) {
  struct Row {
    uint32_t codePage;
    JuCodePageKind kind;
    std::string bytes;
    std::u16string expected;
    size_t capacity;
    const char* note;
  };
  const Row rows[] = {
      {1252, JuCodePageKind::kUtf8, "\xC3\xA9", u"\xE9", 3, "UTF-8"},
      {1252, JuCodePageKind::kUtf8, "\xF0\x9F\x98\x80", u"\xD83D\xDE00", 5, "UTF-8, a pair"},
      {1252, JuCodePageKind::kUtf8, "", u"", 1, "empty"},
      {1252, JuCodePageKind::kBytes, "\xC3\xA9", u"\xE9", 3, "other kinds are taken as UTF-8"},
      {1252, JuCodePageKind::kAnsi, "\xE9" "a\x80", u"\xE9" u"a\x20AC", 7, "code page 1252"},
      {1252, JuCodePageKind::kAnsi, std::string("a\0b", 3), std::u16string(u"a\0b", 3), 7, "zeros are text"},
      {932, JuCodePageKind::kAnsi, "\x82\xA0" "b", u"\x3042" u"b", 7, "code page 932"},
      {932, JuCodePageKind::kAnsi, "a\x82", u"a", 5, "a lone lead byte at the end is dropped"},
      {932, JuCodePageKind::kAnsi, "\x82\xA0\x82", u"\x3042", 7, "after a whole character too"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage scope(row.codePage);
    JuStringW s;
    ASSERT_EQ(s.assign(u"previous"), 0);
    ASSERT_EQ(s.assignFromMultiByte(row.bytes.data(), row.bytes.size(), row.kind), 0);
    EXPECT_EQ(text(s), row.expected);
    EXPECT_EQ(s.capacity, row.capacity);
    EXPECT_EQ(s.data[s.length], 0);
    EXPECT_EQ(s.owns, 1u);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(WideFromBytes, Utf16BytesAreCopiedAsUnits) {
  const char16_t units[] = u"hi!";
  std::string bytes(1, 'x');  // misaligned on purpose
  bytes.append(reinterpret_cast<const char*>(units), sizeof units);
  JuStringW s;
  ASSERT_EQ(s.assignFromMultiByte(bytes.data() + 1, 4, JuCodePageKind::kUtf16), 0);
  EXPECT_EQ(text(s), u"hi");
  ASSERT_EQ(s.assignFromMultiByte(bytes.data() + 1, 5, JuCodePageKind::kUtf16), 0);
  EXPECT_EQ(text(s), u"hi");  // the count is bytes: an odd last byte is no unit
}

TEST_F(WideFromBytes, MalformedUtf8PostsTruncation) {
  for (const std::string& bytes : {std::string("\xC3("), std::string("ok\xFF"), std::string("\xED\xA0\x80")}) {
    SCOPED_TRACE(bytes);
    jutest::ScopedErrorList errors;
    JuStringW s;
    ASSERT_EQ(s.assign(u"previous"), 0);
    EXPECT_EQ(s.assignFromMultiByte(bytes.data(), bytes.size(), JuCodePageKind::kUtf8), 1);
    EXPECT_EQ(s.length, 0u);  // the new buffer stays, empty
    ASSERT_NE(s.data, nullptr);
    EXPECT_EQ(s.data[0], 0);
    ASSERT_EQ(errors.ids(), Ids{kJuMsgConversionFailed});
    EXPECT_STREQ(errors->last()->sqlState(), "01004");
    EXPECT_EQ(errors->last()->sqlStateCode, kJuSqlStateTruncation);
  }
}

TEST_F(WideFromBytes, AllocationFailureLeavesTheStringEmpty) {
  JuStringWEx s;
  ASSERT_EQ(s.assign(u"previous"), 0);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(s.assignFromMultiByte("abc", 3, JuCodePageKind::kAnsi), 1);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
  ASSERT_EQ(s.assignFromMultiByte("abc", 3, JuCodePageKind::kAnsi), 0);
  EXPECT_EQ(text(s), u"abc");
  EXPECT_EQ(s.assignFromMultiByte("abc", SIZE_MAX / 2, JuCodePageKind::kAnsi), 1);  // 2n + 1 overflows
}

}  // namespace
