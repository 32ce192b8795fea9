// Checked size arithmetic at the edge of size_t.

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/checked_size.h"

namespace {

struct SizeRow {
  size_t a, b, c;
  bool fits;
  size_t result;  // when it fits
  const char* note;
};

TEST(CheckedSize, SumsAtTheEdge) {
  const SizeRow rows[] = {
      {1, 2, 3, true, 6, "small"},
      {SIZE_MAX - 2, 1, 1, true, SIZE_MAX, "exactly the largest size"},
      {SIZE_MAX - 1, 1, 1, false, 0, "one past it"},
      {SIZE_MAX, 0, 0, true, SIZE_MAX, "zeros add nothing"},
      {size_t{1} << 63, size_t{1} << 63, 0, false, 0, "2^63 twice"},
  };
  for (const SizeRow& row : rows) {
    SCOPED_TRACE(row.note);
    size_t sum = 0;
    EXPECT_EQ(platform::addSizes(&sum, row.a, row.b, row.c), row.fits);
    if (row.fits) {
      EXPECT_EQ(sum, row.result);
    }
  }
}

TEST(CheckedSize, ProductsAndArraysAtTheEdge) {
  // a items of b bytes and c more.
  const SizeRow rows[] = {
      {size_t{1} << 32, size_t{1} << 31, 0, true, size_t{1} << 63, "2^63"},
      {size_t{1} << 32, size_t{1} << 32, 0, false, 0, "2^64"},
      {0, SIZE_MAX, 0, true, 0, "no items"},
      {(SIZE_MAX - 4) / 2, 2, 4, true, SIZE_MAX - 1, "the largest array of units and two more"},
      {(SIZE_MAX - 4) / 2 + 1, 2, 4, false, 0, "one unit more"},
  };
  for (const SizeRow& row : rows) {
    SCOPED_TRACE(row.note);
    size_t bytes = 0;
    EXPECT_EQ(platform::arrayBytes(&bytes, row.a, row.b, row.c), row.fits);
    if (row.fits) {
      EXPECT_EQ(bytes, row.result);
    }
    if (row.c == 0) {
      EXPECT_EQ(platform::multiplySizes(&bytes, row.a, row.b), row.fits);
    }
  }
}

}  // namespace
