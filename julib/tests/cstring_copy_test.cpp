// Narrow copies, length and order; copies between widths and byte orders.

#include <string>
#include <string_view>
#include <vector>

#include "cstring_test_util.h"
#include "julib/cstring.h"
#include "julib/internal/fault.h"
#include "julib/object.h"
#include "testing/ju_test.h"

namespace {

using jutest::heapBytes;
using jutest::heapText;
using jutest::heapWUnits;
using jutest::hexUnits;

constexpr char kGuard = '#';
constexpr char16_t kWideGuard = u'#';

// --- Narrow ----------------------------------------------------------------------------

TEST(StrLen, BytesBeforeTheTerminator) {
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 64u, 65u}) {
    SCOPED_TRACE(n);
    auto text = heapText(std::string(n, 'x'));
    EXPECT_EQ(juStrLen(text.get()), n);
  }
  EXPECT_EQ(juStrLen(nullptr), 0u);
}

TEST(StrCopy, CopiesReturnTheirEnd) {
  char buffer[32];
  char* end = juStrCopy(buffer, "abc");
  EXPECT_EQ(end, buffer + 3);
  end = juStrCat(buffer, "de");
  EXPECT_EQ(end, buffer + 5);
  EXPECT_STREQ(buffer, "abcde");
  end = juStrNCopy(buffer, "a\0b", 3);  // zeros included
  EXPECT_EQ(end, buffer + 3);
  EXPECT_EQ(std::string(buffer, 4), std::string("a\0b\0", 4));
  juStrCopy(buffer, "xy");
  end = juStrNCat(buffer, "zzz", 2);
  EXPECT_EQ(end, buffer + 4);
  EXPECT_STREQ(buffer, "xyzz");
}

TEST(StrCompare, UnsignedByteOrder) {
  EXPECT_EQ(juStrCompare("abc", "abc"), 0);
  EXPECT_EQ(juStrCompare("abc", "abd"), -1);
  EXPECT_EQ(juStrCompare("abc", "ab"), 1);
  EXPECT_EQ(juStrCompare("\x80", "\x7F"), 1);
}

TEST(StrCopyBounded, NeverWritesPastTheSize) {
  struct Row {
    std::string_view src;
    size_t size;
    std::string_view expected;  // what is written, terminator included
    const char* note;
  };
  const Row rows[] = {
      {"abc", 0, "", "size 0 writes nothing"},
      {"abc", 1, std::string_view("\0", 1), "size 1: only the terminator"},
      {"abc", 3, std::string_view("ab\0", 3), "cut"},
      {"abc", 4, std::string_view("abc\0", 4), "exact"},
      {"abc", 5, std::string_view("abc\0", 4), "exact + 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::string buffer(8, kGuard);
    auto src = heapText(row.src);
    char* end = juStrCopyBounded(buffer.data(), row.size, src.get());
    const size_t written = row.expected.size();
    EXPECT_EQ(buffer.substr(0, written), row.expected);
    EXPECT_EQ(buffer.substr(written), std::string(8 - written, kGuard));
    EXPECT_EQ(end, buffer.data() + (written == 0 ? 0 : written - 1));

    // The counted form reads only the n bytes.
    std::string counted(8, kGuard);
    auto bytes = heapBytes(row.src);
    end = juStrNCopyBounded(counted.data(), row.size, bytes.get(), row.src.size());
    EXPECT_EQ(counted, buffer);
    EXPECT_EQ(end, counted.data() + (written == 0 ? 0 : written - 1));
  }
  char small[4];
  EXPECT_EQ(juStrNCopyBounded(small, 4, "a\0bc", 2), small + 2);
  EXPECT_EQ(std::string(small, 3), std::string("a\0\0", 3));
}

class StrNDup : public jutest::JuTest {};

TEST_F(StrNDup, CopiesAndTerminates) {
  char* copy = juStrNDup("abcdef", 3);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  juFree(copy);
  copy = juStrNDup("", 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "");
  juFree(copy);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(StrNDup, OutOfMemory) {
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(juStrNDup("abc", 3), nullptr);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

TEST_F(StrNDup, CountWithoutRoomForTheTerminatorFails) {
  EXPECT_EQ(juStrNDup("abc", SIZE_MAX), nullptr);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

// --- Between widths ---------------------------------------------------------------------

TEST(WidthCopies, NarrowingKeepsTheLowByte) {
  char buffer[8];
  EXPECT_EQ(juWStrNarrowCopy(buffer, u"a\x0141\x00E9"), buffer + 3);
  EXPECT_EQ(std::string(buffer), "aA\xE9");
  EXPECT_EQ(juWStrNNarrowCopy(buffer, u"xyz", 2), buffer + 2);
  EXPECT_EQ(std::string(buffer), "xy");
  std::string bounded(6, kGuard);
  auto src = heapWUnits(u"abcd");
  EXPECT_EQ(juWStrNNarrowCopyBounded(bounded.data(), 3, src.get(), 4), bounded.data() + 2);
  EXPECT_EQ(bounded, std::string("ab\0###", 6));
  EXPECT_EQ(juWStrNNarrowCopyBounded(bounded.data(), 0, src.get(), 4), bounded.data());
}

TEST(WidthCopies, WideningZeroExtends) {
  char16_t buffer[8];
  EXPECT_EQ(juStrWidenCopy(buffer, "a\xE9"), buffer + 2);
  EXPECT_EQ(hexUnits(buffer), hexUnits(u"a\x00E9"));
  EXPECT_EQ(juStrNWidenCopy(buffer, "xyz", 2), buffer + 2);
  EXPECT_EQ(hexUnits(buffer), hexUnits(u"xy"));

  struct Row {
    std::string_view src;
    size_t size;
    std::u16string_view expected;  // terminator included
    const char* note;
  };
  const Row rows[] = {
      {"abc", 0, u"", "size 0"},
      {"abc", 1, std::u16string_view(u"\0", 1), "size 1"},
      {"abc", 3, std::u16string_view(u"ab\0", 3), "cut"},
      {"abc", 4, std::u16string_view(u"abc\0", 4), "exact"},
      {"abc", 6, std::u16string_view(u"abc\0", 4), "room to spare"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string counted(6, kWideGuard);
    auto bytes = heapBytes(row.src);
    char16_t* end = juStrNWidenCopyBounded(counted.data(), row.size, bytes.get(), row.src.size());
    EXPECT_EQ(hexUnits(counted), hexUnits(std::u16string(row.expected) +
                                          std::u16string(6 - row.expected.size(), kWideGuard)));
    EXPECT_EQ(end, counted.data() + (row.expected.empty() ? 0 : row.expected.size() - 1));
    std::u16string terminated(6, kWideGuard);
    auto text = heapText(row.src);
    end = juStrWidenCopyBounded(terminated.data(), row.size, text.get());
    EXPECT_EQ(hexUnits(terminated), hexUnits(counted));
    EXPECT_EQ(end - terminated.data(), row.expected.empty() ? 0 : static_cast<ptrdiff_t>(row.expected.size() - 1));
  }
}

TEST(WideCopies, BoundedCopiesDropAHighSurrogateLeftLast) {
  struct Row {
    std::u16string_view src;
    size_t size;
    std::u16string_view counted;     // juWStrNCopyBounded, terminator included
    std::u16string_view terminated;  // juWStrCopyBounded
    const char* note;
  };
  const Row rows[] = {
      {u"a\xD83D\xDE00", 3, std::u16string_view(u"a\0", 2), std::u16string_view(u"a\0", 2), "pair cut"},
      {u"a\xD83D\xDE00", 4, std::u16string_view(u"a\xD83D\xDE00\0", 4),
       std::u16string_view(u"a\xD83D\xDE00\0", 4), "pair fits exactly"},
      {u"a\xD83D", 3, std::u16string_view(u"a\0", 2), std::u16string_view(u"a\0", 2),
       "high surrogate last, buffer filled exactly"},
      {u"a\xD83D", 4, std::u16string_view(u"a\0", 2), std::u16string_view(u"a\xD83D\0", 3),
       "high surrogate last with room: only the counted copy drops it"},
      {u"abc", 1, std::u16string_view(u"\0", 1), std::u16string_view(u"\0", 1), "size 1"},
      {u"abc", 0, u"", u"", "size 0 writes nothing"},
      {u"\xD83D", 2, std::u16string_view(u"\0", 1), std::u16string_view(u"\0", 1), "only a high surrogate"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    std::u16string counted(6, kWideGuard);
    auto units = heapWUnits(row.src);
    char16_t* end = juWStrNCopyBounded(counted.data(), row.size, units.get(), row.src.size());
    EXPECT_EQ(hexUnits(counted), hexUnits(std::u16string(row.counted) +
                                          std::u16string(6 - row.counted.size(), kWideGuard)));
    EXPECT_EQ(end - counted.data(), row.counted.empty() ? 0 : static_cast<ptrdiff_t>(row.counted.size() - 1));

    std::u16string terminated(6, kWideGuard);
    auto text = jutest::heapWText(row.src);
    end = juWStrCopyBounded(terminated.data(), row.size, text.get());
    EXPECT_EQ(hexUnits(terminated), hexUnits(std::u16string(row.terminated) +
                                             std::u16string(6 - row.terminated.size(), kWideGuard)));
    EXPECT_EQ(end - terminated.data(),
              row.terminated.empty() ? 0 : static_cast<ptrdiff_t>(row.terminated.size() - 1));
  }
}

TEST(WideCopies, PlainCopies) {
  char16_t buffer[8];
  EXPECT_EQ(juWStrCopy(buffer, u"abc"), buffer + 3);
  EXPECT_EQ(hexUnits(buffer), hexUnits(u"abc"));
  EXPECT_EQ(juWStrNCopy(buffer, u"xyz", 2), buffer + 2);
  EXPECT_EQ(hexUnits(buffer), hexUnits(u"xy"));
}

TEST(SwappedCopies, BytesExchanged) {
  char16_t buffer[8];
  EXPECT_EQ(juStrWidenCopySwapped(buffer, "a\xE9"), buffer + 2);
  EXPECT_EQ(buffer[0], 0x6100);
  EXPECT_EQ(buffer[1], 0xE900);
  EXPECT_EQ(buffer[2], 0);

  EXPECT_EQ(juWStrNCopySwapped(buffer, u"\x1234\xABCD", 2), buffer + 2);
  EXPECT_EQ(hexUnits(std::u16string_view(buffer, 3)), hexUnits(std::u16string_view(u"\x3412\xCDAB\0", 3)));

  std::u16string bounded(5, kWideGuard);
  auto bytes = heapBytes("abc");
  EXPECT_EQ(juStrNWidenCopySwappedBounded(bounded.data(), 3, bytes.get(), 3), bounded.data() + 2);
  EXPECT_EQ(hexUnits(bounded), hexUnits(std::u16string_view(u"\x6100\x6200\0##", 5)));
  EXPECT_EQ(juStrNWidenCopySwappedBounded(bounded.data(), 0, bytes.get(), 3), bounded.data());

  std::u16string swapped(5, kWideGuard);
  auto units = heapWUnits(u"\x0102\x0304\x0506");
  EXPECT_EQ(juWStrNCopySwappedBounded(swapped.data(), 5, units.get(), 3), swapped.data() + 3);
  EXPECT_EQ(hexUnits(swapped), hexUnits(std::u16string_view(u"\x0201\x0403\x0605\0#", 5)));
  EXPECT_EQ(juWStrNCopySwappedBounded(swapped.data(), 0, units.get(), 3), swapped.data());
}

}  // namespace
