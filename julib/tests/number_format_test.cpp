// Decimal formatters of every character width, the terminated forms and the
// fixed-width fields.

#include <memory>
#include <string>
#include <vector>

#include "julib/numbers.h"
#include "testing/ju_test.h"

namespace {

// Runs a formatter on a buffer of `size` characters preset to a guard
// value, so that writes beyond the digits show.
template <typename Char, typename Value>
std::basic_string<Char> run(size_t (*format)(Char*, size_t, Value), size_t size, Value value, size_t* written) {
  std::basic_string<Char> buffer(size + 4, static_cast<Char>('#'));
  *written = format(buffer.data(), size, value);
  return buffer;
}

std::string padded(const std::string& text, size_t size) { return text + std::string(size + 4 - text.size(), '#'); }

struct UnsignedRow {
  uint64_t value;
  const char* digits;
};

const std::vector<UnsignedRow> kUnsigned = {
    {0, "0"},
    {9, "9"},
    {10, "10"},
    {99, "99"},
    {12345, "12345"},
    {4294967295u, "4294967295"},
    {4294967296u, "4294967296"},
    {999999999999999999u, "999999999999999999"},
    {1000000000000000000u, "1000000000000000000"},
    {UINT64_MAX, "18446744073709551615"},
};

TEST(Format, UnsignedNarrowAtEverySizeBoundary) {
  for (const auto& row : kUnsigned) {
    SCOPED_TRACE(row.digits);
    const std::string digits = row.digits;
    const size_t n = digits.size();
    for (size_t size : {n - 1, n, n + 1}) {
      SCOPED_TRACE(size);
      const std::string expected = size >= n ? padded(digits, size) : std::string(size + 4, '#');
      size_t written = 0;
      EXPECT_EQ(run(juUInt64ToStr, size, row.value, &written), expected);
      EXPECT_EQ(written, size >= n ? n : 0);
      if (row.value <= UINT32_MAX) {
        EXPECT_EQ(run(juUInt32ToStr, size, static_cast<uint32_t>(row.value), &written), expected);
        EXPECT_EQ(written, size >= n ? n : 0);
      }
    }
  }
}

TEST(Format, SignedNarrow) {
  struct Row {
    int64_t value;
    size_t size;
    const char* text;  // null: nothing written, result 0
  };
  const std::vector<Row> rows = {
      {-5, 0, nullptr},
      {-5, 1, nullptr},
      {-5, 2, "-5"},
      {-10, 2, nullptr},
      {-10, 3, "-10"},
      {5, 1, "5"},
      {INT64_MIN, 19, nullptr},
      {INT64_MIN, 20, "-9223372036854775808"},
      {INT64_MAX, 19, "9223372036854775807"},
      {INT32_MIN, 11, "-2147483648"},
      {INT32_MIN, 10, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.value) + " size " + std::to_string(row.size));
    const std::string expected = row.text != nullptr ? padded(row.text, row.size) : std::string(row.size + 4, '#');
    const size_t count = row.text != nullptr ? std::string(row.text).size() : 0;
    size_t written = 0;
    EXPECT_EQ(run(juInt64ToStr, row.size, row.value, &written), expected);
    EXPECT_EQ(written, count);
    if (row.value >= INT32_MIN && row.value <= INT32_MAX) {
      EXPECT_EQ(run(juInt32ToStr, row.size, static_cast<int32_t>(row.value), &written), expected);
      EXPECT_EQ(written, count);
    }
  }
}

TEST(Format, WideAndWide32) {
  size_t written = 0;
  EXPECT_EQ(run(juUInt32ToWStr, 5, uint32_t{12345}, &written), u"12345####");
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(run(juUInt64ToWStr, 20, UINT64_MAX, &written), u"18446744073709551615####");
  EXPECT_EQ(run(juInt32ToWStr, 11, INT32_MIN, &written), u"-2147483648####");
  EXPECT_EQ(written, 11u);
  EXPECT_EQ(run(juInt64ToWStr, 1, int64_t{-1}, &written), u"#####");
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(run(juUInt32ToStr32, 4, uint32_t{12345}, &written), U"########");
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(run(juUInt64ToStr32, 10, uint64_t{4294967296}, &written), U"4294967296####");
  EXPECT_EQ(run(juInt64ToStr32, 20, INT64_MIN, &written), U"-9223372036854775808####");
  EXPECT_EQ(written, 20u);
}

TEST(Format, SwappedUnitsAreBigEndianDigits) {
  size_t written = 0;
  EXPECT_EQ(run(juUInt32ToWStrSwapped, 1, uint32_t{7}, &written), (std::u16string{0x3700, '#', '#', '#', '#'}));
  EXPECT_EQ(written, 1u);
  EXPECT_EQ(run(juInt32ToWStrSwapped, 3, int32_t{-12}, &written),
            (std::u16string{0x2D00, 0x3100, 0x3200, '#', '#', '#', '#'}));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(run(juInt64ToWStrSwapped, 2, int64_t{-12}, &written), std::u16string(6, '#'));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(run(juUInt64ToWStrSwapped, 2, uint64_t{90}, &written),
            (std::u16string{0x3900, 0x3000, '#', '#', '#', '#'}));
}

// The terminated forms get exactly kJuNumberBufferSize characters; the
// widest values must fit with their terminator.
TEST(Format, TerminatedFormsHoldTheWidestValues) {
  auto narrow = std::make_unique<char[]>(kJuNumberBufferSize);
  EXPECT_EQ(juFormatInt64(narrow.get(), INT64_MIN), 20u);
  EXPECT_STREQ(narrow.get(), "-9223372036854775808");
  EXPECT_EQ(juFormatUInt64(narrow.get(), UINT64_MAX), 20u);
  EXPECT_STREQ(narrow.get(), "18446744073709551615");
  EXPECT_EQ(juFormatUInt64(narrow.get(), 0), 1u);
  EXPECT_STREQ(narrow.get(), "0");

  auto wide = std::make_unique<char16_t[]>(kJuNumberBufferSize);
  EXPECT_EQ(juFormatInt64W(wide.get(), INT64_MIN), 20u);
  EXPECT_EQ(std::u16string(wide.get()), u"-9223372036854775808");
  EXPECT_EQ(juFormatUInt64W(wide.get(), UINT64_MAX), 20u);
  EXPECT_EQ(std::u16string(wide.get()), u"18446744073709551615");
  EXPECT_EQ(juFormatInt32W(wide.get(), INT32_MIN), 11u);
  EXPECT_EQ(std::u16string(wide.get()), u"-2147483648");
  EXPECT_EQ(juFormatUInt32W(wide.get(), UINT32_MAX), 10u);
  EXPECT_EQ(std::u16string(wide.get()), u"4294967295");

  auto wide32 = std::make_unique<char32_t[]>(kJuNumberBufferSize);
  EXPECT_EQ(juFormatUInt32Str32(wide32.get(), UINT32_MAX), 10u);
  EXPECT_EQ(std::u32string(wide32.get()), U"4294967295");
}

// ---------------------------------------------------------------------------
// Fixed-width fields, each in a heap block of exactly width + 1 bytes so
// that a write outside it is caught by the sanitizer build.
// ---------------------------------------------------------------------------

struct FixedRow {
  uint16_t width;
  int64_t value;
  int16_t leftAlign;
  const char* field;
  size_t digits;
  const char* note;
};

template <typename Value>
void checkFixed(const std::vector<FixedRow>& rows, size_t (*format)(char*, uint16_t, Value, int16_t)) {
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    auto buffer = std::make_unique<char[]>(row.width + 1u);
    std::fill_n(buffer.get(), row.width + 1u, '#');
    EXPECT_EQ(format(buffer.get(), row.width, static_cast<Value>(row.value), row.leftAlign), row.digits);
    EXPECT_EQ(std::string(buffer.get(), row.width + 1u), std::string(row.field, row.width + 1u));
  }
}

TEST(FormatFixed, Unsigned) {
  checkFixed<uint64_t>(
      {
          {3, 42, 0, " 42", 2, "right-aligned"},
          {3, 42, 1, "42 ", 2, "left-aligned"},
          {3, 1000, 0, "***", 0, "too many digits"},
          {3, 999, 0, "999", 3, "exactly the width"},
          {3, 0, 0, "   ", 0, "zero writes no digit"},
          {0, 5, 0, "", 0, "width 0 gets only its terminator"},
          {0, 0, 1, "", 0, "width 0, zero"},
          {1, 7, 1, "7", 1, "width 1"},
          {10, 9999999999, 0, "9999999999", 10, "ten digits fill ten positions"},
          {10, 10000000000, 0, "**********", 0, "eleven digits"},
          {12, 42, 0, "          42", 2, "right in the last ten positions"},
          {12, 42, 1, "42          ", 2, "left in the first ten positions"},
          {12, 12345678901, 0, "  **********", 0, "stars only in the last ten"},
          {12, 12345678901, 1, "**********  ", 0, "stars only in the first ten"},
      },
      juFormatFixed);
}

TEST(FormatFixed, Signed) {
  checkFixed<int64_t>(
      {
          {5, -42, 0, "  -42", 2, "minus right before the digits"},
          {5, -42, 1, "-42  ", 2, "minus in the first position"},
          {3, -42, 0, "-42", 2, "exactly the width"},
          {5, 42, 0, "   42", 2, "positive values are plain"},
          {3, -1000, 0, "***", 0, "no fit: the sign's position is a star too"},
          {3, -1000, 1, "***", 0, "no fit, left-aligned"},
          {0, -5, 0, "", 0, "width 0: only the terminator"},
          {0, -5, 1, "", 0, "width 0, left-aligned"},
          {1, -5, 0, "*", 0, "width 1 has no room for a digit"},
          {1, -5, 1, "*", 0, "width 1, left-aligned"},
          {2, -5, 0, "-5", 1, "width 2"},
          {13, -123, 0, "         -123", 3, "wide field, right"},
          {13, -123, 1, "-123         ", 3, "wide field, left"},
          {13, -12345678901, 0, "  ***********", 0, "wide field, no fit, right"},
          {13, -12345678901, 1, "***********  ", 0, "wide field, no fit, left"},
          {25, INT64_MIN, 0, "              ***********", 0, "the minimum has 19 digits"},
      },
      juFormatFixedInt64);
}

}  // namespace
