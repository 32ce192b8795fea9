// Raw memory primitives: bounded copies, equality and order, swaps, fills.

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <vector>

#include "julib/cstring.h"
#include "julib/internal/fault.h"
#include "testing/ju_test.h"

namespace {

std::vector<uint8_t> sequence(size_t n, uint8_t first) {
  std::vector<uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

TEST(MemCopyMin, CopiesTheSmallerSize) {
  using Copy = void (*)(void*, size_t, const void*, size_t);
  for (Copy copy : {static_cast<Copy>(juMemCopyMin), static_cast<Copy>(juMemCopyMinBlocks)}) {
    for (size_t dstSize : {0u, 1u, 32u, 33u}) {
      for (size_t srcSize : {0u, 1u, 33u}) {
        SCOPED_TRACE(testing::Message() << dstSize << " <- " << srcSize);
        const std::vector<uint8_t> src = sequence(srcSize, 1);
        std::vector<uint8_t> dst(dstSize + 1, 0xEE);  // one guard byte
        copy(dst.data(), dstSize, src.data(), srcSize);
        const size_t n = std::min(dstSize, srcSize);
        EXPECT_TRUE(std::equal(src.begin(), src.begin() + n, dst.begin()));
        for (size_t i = n; i <= dstSize; ++i) EXPECT_EQ(dst[i], 0xEE) << i;
      }
    }
  }
}

TEST(MemEqual, ZeroLengthAndLastByte) {
  EXPECT_EQ(juMemEqual("abc", "abd", 0), 1);
  EXPECT_EQ(juMemEqual("abc", "abd", 2), 1);
  EXPECT_EQ(juMemEqual("abc", "abd", 3), 0);
  EXPECT_EQ(juMemEqual("\x80", "\x80", 1), 1);
}

TEST(MemMatchEither, EachByteFromEitherForm) {
  EXPECT_EQ(juMemMatchEither("aBc", "abc", "ABC", 3), 1);
  EXPECT_EQ(juMemMatchEither("aBd", "abc", "ABC", 3), 0);
  EXPECT_EQ(juMemMatchEither("x", "a", "b", 0), 1);
  EXPECT_EQ(juMemMatchEither("\xFF", "\xFF", "a", 1), 1);
}

TEST(MemCompare, UnsignedFirstDifference) {
  struct Row {
    const char* a;
    const char* b;
    size_t n;
    int expected;
  };
  const Row rows[] = {
      {"abc", "abd", 3, -1}, {"abd", "abc", 3, 1}, {"abc", "abd", 2, 0},
      {"\x80", "\x7F", 1, 1}, {"x", "y", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.a);
    EXPECT_EQ(juMemCompare(row.a, row.b, row.n), row.expected);
  }
}

TEST(MemSwap, ExchangesTheSmallerSizeInChunks) {
  for (size_t n : {0u, 1u, 511u, 512u, 513u, 1500u}) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> a = sequence(n + 3, 1);
    std::vector<uint8_t> b = sequence(n, 101);
    const std::vector<uint8_t> a0 = a;
    const std::vector<uint8_t> b0 = b;
    juMemSwap(a.data(), a.size(), b.data(), b.size());
    EXPECT_TRUE(std::equal(b0.begin(), b0.end(), a.begin()));
    EXPECT_TRUE(std::equal(a0.begin(), a0.begin() + n, b.begin()));
    EXPECT_TRUE(std::equal(a0.begin() + n, a0.end(), a.begin() + n));  // the rest of a stays
  }
}

class MemSwapRecords : public jutest::JuTest {};

TEST_F(MemSwapRecords, ExchangesTwoRecords) {
  std::array<char, 9> records = {'a', 'a', 'a', 'b', 'b', 'b', 'c', 'c', 'c'};
  EXPECT_EQ(juMemSwapRecords(records.data(), 0, 2, 3), 0);
  EXPECT_EQ(std::string(records.data(), 9), "cccbbbaaa");
  EXPECT_EQ(juMemSwapRecords(records.data(), 1, 1, 3), 0);
  EXPECT_EQ(std::string(records.data(), 9), "cccbbbaaa");
  EXPECT_EQ(juMemSwapRecords(records.data(), 0, 1, 0), 0);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(MemSwapRecords, OutOfMemoryExchangesNothing) {
  std::array<char, 4> records = {'a', 'b', 'c', 'd'};
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(juMemSwapRecords(records.data(), 0, 3, 1), 1);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  EXPECT_EQ(std::string(records.data(), 4), "abcd");
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

TEST(MemFill, ZeroSetAndBackwardCopy) {
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t n : {0u, 1u, 7u, 8u, 9u, 23u}) {
      SCOPED_TRACE(testing::Message() << offset << " n=" << n);
      std::vector<uint8_t> bytes(40, 0xAB);
      juMemZero(bytes.data() + offset, n);
      for (size_t i = 0; i < bytes.size(); ++i) {
        EXPECT_EQ(bytes[i], (i >= offset && i < offset + n) ? 0 : 0xAB) << i;
      }
      juMemSet(bytes.data() + offset, 0x5A, n);
      for (size_t i = offset; i < offset + n; ++i) EXPECT_EQ(bytes[i], 0x5A);
    }
  }
  std::array<uint32_t, 4> words = {1, 2, 3, 4};
  juMemZero32(words.data() + 1, 2);
  EXPECT_EQ(words, (std::array<uint32_t, 4>{1, 0, 0, 4}));

  // An overlapping move to a higher address.
  char text[] = "abcdef__";
  juMemCopyBackward(text + 2, text, 6);
  EXPECT_EQ(std::string(text, 8), "ababcdef");
}

}  // namespace
