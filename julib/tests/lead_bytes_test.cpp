// Lead-byte tables built with pooled converters, the character counts and
// boundaries read from them, and the UTF-8 completeness test.

#include <unicode/ucnv.h>

#include <string>
#include <vector>

#include "julib/codepage.h"
#include "julib/converters.h"
#include "testing/ju_test.h"

namespace {

constexpr int64_t kShiftJis = 2024;  // ibm-943_P15A-2003
constexpr int64_t kGb18030 = 114;

class LeadBytes : public jutest::JuTest {
 protected:
  LeadBytes() { pool_.capacity = kJuPoolEntries; }
  ~LeadBytes() override { juConverterPoolClear(&pool_); }

  void SetUp() override {
    const uint8_t* table = nullptr;
    ASSERT_EQ(juLeadByteTableFromPool(&cache_, &pool_, kShiftJis, &table), 0);
  }

  JuConverterPool pool_{};
  JuLeadByteCache cache_;
};

TEST_F(LeadBytes, ATableFromThePoolMatchesIcu) {
  const uint8_t* table = nullptr;
  ASSERT_EQ(juLeadByteTableFromPool(&cache_, &pool_, kShiftJis, &table), 0);
  EXPECT_EQ(cache_.count, 1u);                // the cached one
  EXPECT_EQ(pool_.entries[0].idleCount, 1u);  // the converter went back
  UErrorCode status = U_ZERO_ERROR;
  UConverter* icu = ucnv_open(juCodePageIdToName(kShiftJis), &status);
  UBool starters[256];
  ucnv_getStarters(icu, starters, &status);
  ucnv_close(icu);
  ASSERT_TRUE(U_SUCCESS(status));
  for (int b = 0; b < 256; ++b) EXPECT_EQ(table[b] != 0, starters[b] != 0) << b;

  // UTF-8: the bytes that start a sequence of two to four bytes.
  ASSERT_EQ(juLeadByteTableFromPool(&cache_, &pool_, 106, &table), 0);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(table[b], b >= 0xC2 && b <= 0xF4 ? 1 : 0) << b;
}

TEST_F(LeadBytes, ACacheGrowsPastSixteenTables) {
  JuConverterPool pool{};
  pool.capacity = 1;  // most of the converters are lent unkept
  JuLeadByteCache cache;
  const int64_t ids[] = {3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 109, 111, 2250, 2251, 2252, 2253, 2254, 2024};
  for (int64_t id : ids) {
    const uint8_t* table = nullptr;
    ASSERT_EQ(juLeadByteTableFromPool(&cache, &pool, id, &table), 0) << id;
  }
  EXPECT_EQ(cache.count, 18u);
  EXPECT_EQ(cache.capacity, 32u);
  int isLead = -1;
  EXPECT_EQ(juLeadByteLookup(&cache, 2024, 0x82, &isLead), 0);
  EXPECT_EQ(isLead, 1);
  EXPECT_EQ(juLeadByteLookup(&cache, 2252, 0x82, &isLead), 0);
  EXPECT_EQ(isLead, 0);
  juConverterPoolClear(&pool);
}

TEST_F(LeadBytes, NoTableNoAnswer) {
  int isLead = -1;
  size_t n = 99;
  size_t count = 99;
  EXPECT_EQ(juLeadByteLookup(&cache_, 2252, 'a', &isLead), 1);
  EXPECT_EQ(juLeadByteCompleteLength(&cache_, 2252, "a", 1, &n), 1);
  EXPECT_EQ(juLeadByteCharCount(&cache_, 2252, "a", 1, &count), 1);
  EXPECT_EQ(juLeadByteCharCountAndBytes(&cache_, 2252, "a", 1, &n, &count), 1);
  EXPECT_EQ(isLead, -1);
  EXPECT_EQ(n, 99u);
  const uint8_t* table = nullptr;
  EXPECT_EQ(juLeadByteTableFromPool(&cache_, &pool_, 1, &table), 1);  // no converter
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgUnknownCodePage});
}

// Code page 932: 0x82 and 0x88 are lead bytes; 0x9F is a lead byte's value
// that also serves as a trail byte ("\x88\x9F" is one character).
TEST_F(LeadBytes, CountsAndCompleteLengths) {
  struct Row {
    std::string text;
    size_t count;
    size_t whole;
    const char* note;
  };
  const Row rows[] = {
      {"", 0, 0, "empty"},
      {"a", 1, 1, "one byte"},
      {"\x82", 1, 0, "a lone lead byte"},
      {"a\x82", 2, 1, "a trailing lead byte counts, its bytes do not"},
      {"\x82\xA0", 1, 2, "one character"},
      {"\x82\xA0"
       "b",
       2, 3, "then ASCII"},
      {"\x88\x9F", 1, 2, "a trail byte with a lead byte's value"},
      {"\x88\x9F\x88", 2, 2, "then a lone lead byte"},
      {"\x88\x9F\x88\x9F", 2, 4, "two such characters"},
      {"ab\xB1", 3, 3, "half-width katakana is one byte"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    size_t count = 99;
    size_t whole = 99;
    size_t complete = 99;
    size_t alone = 99;
    ASSERT_EQ(juLeadByteCharCountAndBytes(&cache_, kShiftJis, row.text.data(), row.text.size(), &whole, &count), 0);
    ASSERT_EQ(juLeadByteCharCount(&cache_, kShiftJis, row.text.data(), row.text.size(), &alone), 0);
    ASSERT_EQ(juLeadByteCompleteLength(&cache_, kShiftJis, row.text.data(), row.text.size(), &complete), 0);
    EXPECT_EQ(count, row.count);
    EXPECT_EQ(alone, row.count);
    EXPECT_EQ(whole, row.whole);
    EXPECT_EQ(complete, row.whole);
  }
}

TEST_F(LeadBytes, LastBoundary) {
  const uint8_t* table = nullptr;
  ASSERT_EQ(juLeadByteTableFromPool(&cache_, &pool_, kGb18030, &table), 0);
  JuCountingCallbackContext* context = nullptr;
  UConverter* sjis = juConverterPoolGet(&pool_, kShiftJis, &context);
  UConverter* gb = juConverterPoolGet(&pool_, kGb18030, &context);
  UConverter* latin = juConverterPoolGet(&pool_, 2252, &context);
  ASSERT_NE(sjis, nullptr);
  ASSERT_NE(gb, nullptr);
  ASSERT_NE(latin, nullptr);
  struct Row {
    UConverter* converter;
    int64_t id;
    std::string text;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {latin, 2252, "", 0, "empty"},
      {latin, 2252, "ab\x82", 3, "one byte a character: no table needed"},
      {sjis, kShiftJis, "\x82", 0, "a lone lead byte"},
      {sjis, kShiftJis, "a", 1, "one byte"},
      {sjis, kShiftJis, "ab\x82", 2, "a trailing lead byte"},
      {sjis, kShiftJis, "ab\x82\xA0", 4, "whole"},
      {sjis, kShiftJis, "\x88\x9F", 2, "a trail byte with a lead byte's value"},
      {gb, kGb18030, "a\x81\x30", 1, "half of a four-byte character"},
      {gb, kGb18030, "a\x81\x30\x81", 1, "three quarters of it"},
      {gb, kGb18030, "a\x81\x30\x81\x30", 5, "all of it"},
      {gb, kGb18030, "\x81\x81", 2, "a two-byte character whose trail is a lead"},
      {gb, kGb18030, "\x81\x81\x81", 2, "then a lone lead byte"},
      {gb, kGb18030, "ab", 2, "ASCII"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    size_t length = 99;
    ASSERT_EQ(juLeadByteLastBoundary(&cache_, row.converter, row.id, row.text.data(), row.text.size(), &length), 0);
    EXPECT_EQ(length, row.expected);
    UErrorCode status = U_ZERO_ERROR;
    EXPECT_EQ(ucnv_toUCountPending(row.converter, &status), 0);  // nothing left behind
  }
  size_t length = 99;
  EXPECT_EQ(juLeadByteLastBoundary(&cache_, sjis, 2000000036, "ab", 2, &length), 1);  // no table for the id
  juConverterPoolPut(&pool_, kShiftJis, sjis, nullptr);
  juConverterPoolPut(&pool_, kGb18030, gb, nullptr);
  juConverterPoolPut(&pool_, 2252, latin, nullptr);
}

TEST(Utf8CompleteLength, Table) {
  struct Row {
    std::string text;
    bool complete;
    const char* note;
  };
  const Row rows[] = {
      {"", false, "empty gives 0"},
      {"a", true, "ASCII"},
      {"\xC3\xA9", true, "two bytes"},
      {"a\xC3", false, "a lone lead byte"},
      {"\xC3", false, "only a lead byte"},
      {"\xE2\x82\xAC", true, "three bytes"},
      {"\xE2\x82", false, "two of three"},
      {"abc\xE2\x82", false, "two of three after text"},
      {"\xC3\xA9\xE2\x82", false, "two of three after a character"},
      {"xyz\xF0\x9F\x98", false, "three of four"},
      {"\xF0\x9F\x98\x80", true, "four bytes"},
      {"a\xF0\x9F\x98\x80", true, "four bytes after text"},
      {"a\x80", true, "a stray continuation byte is a character of its own"},
      {"\xC3\xA9\xA9", true, "one continuation byte too many"},
      {"\x80\x80\x80\x80\x80", true, "nothing but continuation bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juUtf8CompleteLength(row.text.data(), row.text.size()), row.complete ? row.text.size() : 0u);
  }
}

}  // namespace
