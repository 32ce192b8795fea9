// JuCodePageConverter: kept converters, lead-byte tables, and conversions by
// id with their outcomes posted.
// Longer than our files usually are: every case
// runs on the one manager fixture, whose kept converters the cases share.

#include <unicode/ucnv.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "codepage_test_util.h"
#include "converter_test_util.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

using jutest::Posted;
using Outcomes = std::vector<Posted>;

// What ICU's own converter makes of UTF-16 text with its default callbacks.
std::string icuFromUnicode(const char* name, const std::u16string& text) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name, &status);
  char out[64] = {};
  const int32_t n =
      ucnv_fromUChars(converter, out, sizeof out, text.data(), static_cast<int32_t>(text.size()), &status);
  ucnv_close(converter);
  return U_SUCCESS(status) ? std::string(out, static_cast<size_t>(n)) : "<icu failed>";
}

class Manager : public jutest::JuTest {
 protected:
  void SetUp() override { ASSERT_EQ(m_.init(4), 0); }

  Outcomes posted() { return jutest::posted(errors_); }

  JuCodePageConverter m_;
};

// ---------------------------------------------------------------------------
// Reporting.
// ---------------------------------------------------------------------------

TEST_F(Manager, IcuErrorsAndResultCodesArePosted) {
  using jutest::conversionError;
  using jutest::substitutedWarning;
  using jutest::truncatedWarning;
  const Posted tables{2738, false, "HY000", "Could not load translations tables for string data conversion."};
  const Posted unknown = jutest::unknownCodePage("");
  struct IcuRow {
    UErrorCode error;
    int status;
    Outcomes expected;
  };
  const IcuRow icuRows[] = {
      {U_ZERO_ERROR, 0, {}},
      {U_AMBIGUOUS_ALIAS_WARNING, 0, {}},  // a warning is success
      {U_STRING_NOT_TERMINATED_WARNING, 0, {}},
      {U_FILE_ACCESS_ERROR, 1, {unknown}},
      {U_ILLEGAL_CHAR_FOUND, 0, {substitutedWarning()}},
      {U_INVALID_TABLE_FORMAT, 1, {tables}},
      {U_INVALID_TABLE_FILE, 1, {tables}},
      {U_BUFFER_OVERFLOW_ERROR, 0, {truncatedWarning()}},
      {U_INVALID_CHAR_FOUND, 1, {conversionError()}},
      {U_MEMORY_ALLOCATION_ERROR, 1, {conversionError()}},
  };
  for (const IcuRow& row : icuRows) {
    SCOPED_TRACE(u_errorName(row.error));
    jutest::ScopedErrorList errors;
    EXPECT_EQ(juReportIcuError(row.error), row.status);
    EXPECT_EQ(jutest::posted(errors), row.expected);
  }
  struct CodeRow {
    int32_t code;
    int status;
    Outcomes expected;
  };
  const CodeRow codeRows[] = {
      {0, 0, {}},
      {1, 0, {truncatedWarning()}},
      {2, 0, {substitutedWarning()}},
      {3, 1, {conversionError()}},
      {4, 1, {conversionError()}},
      {5, 1, {tables}},
      {6, 1, {unknown}},
      {7, 1, {conversionError()}},
      {-1, 1, {conversionError()}},
  };
  for (const CodeRow& row : codeRows) {
    SCOPED_TRACE(row.code);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(juReportConversionResult(row.code), row.status);
    EXPECT_EQ(jutest::posted(errors), row.expected);
  }
}

// windows-1252 is one of the names that ICU opens with
// U_AMBIGUOUS_ALIAS_WARNING: every owner takes that as success.
TEST_F(Manager, AnAmbiguousAliasOpens) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* icu = ucnv_open(juCodePageIdToName(2252), &status);
  ASSERT_EQ(status, U_AMBIGUOUS_ALIAS_WARNING);
  ucnv_close(icu);
  UConverter* converter = nullptr;
  EXPECT_EQ(m_.getConverter(2252, &converter), 0);
  EXPECT_EQ(m_.getConverterByName("windows-1252", 12, &converter), 0);
  JuConverterPool pool{};
  pool.capacity = 1;
  JuCountingCallbackContext* context = nullptr;
  converter = juConverterPoolGet(&pool, 2252, &context);
  EXPECT_NE(converter, nullptr);
  juConverterPoolPut(&pool, 2252, converter, context);
  juConverterPoolClear(&pool);
  JuStringW s;
  EXPECT_EQ(s.assignFromCodePage("x", 1, 2252), 0);
  EXPECT_TRUE(posted().empty());
}

// ---------------------------------------------------------------------------
// Converters by id and by name.
// ---------------------------------------------------------------------------

TEST_F(Manager, AConverterIsOpenedOnceAndKept) {
  UConverter* first = nullptr;
  UConverter* other = nullptr;
  UConverter* again = nullptr;
  ASSERT_EQ(m_.getConverter(2252, &first), 0);
  ASSERT_EQ(m_.getConverter(2024, &other), 0);
  ASSERT_EQ(m_.getConverter(2252, &again), 0);  // from the cache, past the memo
  EXPECT_EQ(again, first);
  EXPECT_NE(other, first);
  ASSERT_EQ(m_.getConverter(2252, &again), 0);  // from the memo
  EXPECT_EQ(again, first);
  EXPECT_EQ(m_.idCache->count, 2u);
  EXPECT_TRUE(posted().empty());
}

TEST_F(Manager, AnIdWithoutAConverterPosts2739WithTheId) {
  struct Row {
    int64_t id;
    const char* note;
  };
  const Row rows[] = {
      {jutest::kMissingId, "a name whose data ICU lacks"},
      {kJuNoCodePage, "no code page: a null name"},
      {1, "no row in the name table"},
      {-5, "negative"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    UConverter* converter = reinterpret_cast<UConverter*>(uintptr_t{8});  // must be cleared
    EXPECT_EQ(m_.getConverter(row.id, &converter), 1);
    EXPECT_EQ(converter, nullptr);
    EXPECT_EQ(jutest::posted(errors), Outcomes{jutest::unknownCodePage(std::to_string(row.id))});
  }
  EXPECT_EQ(m_.idCache->count, 0u);
  EXPECT_EQ(m_.maxCharSize(1), 0);
  EXPECT_EQ(m_.minCharSize(1), 0);
}

// Id 0 asks for ICU's default converter on purpose.
TEST_F(Manager, IdZeroIsIcusDefaultConverter) {
  UConverter* converter = nullptr;
  ASSERT_EQ(m_.getConverter(0, &converter), 0);
  UErrorCode status = U_ZERO_ERROR;
  UConverter* icuDefault = ucnv_open(nullptr, &status);
  ASSERT_TRUE(U_SUCCESS(status));
  EXPECT_STREQ(ucnv_getName(converter, &status), ucnv_getName(icuDefault, &status));
  ucnv_close(icuDefault);
}

TEST_F(Manager, NamesAreCountedAndKept) {
  const char text[] = "windows-1252 and more";
  UConverter* first = nullptr;
  UConverter* again = nullptr;
  ASSERT_EQ(m_.getConverterByName(text, 12, &first), 0);
  ASSERT_EQ(m_.getConverterByName("windows-1252", 12, &again), 0);
  EXPECT_EQ(again, first);
  ASSERT_EQ(m_.getConverterByName("UTF8", 4, &again), 0);
  ASSERT_EQ(m_.getConverterByName(text, 12, &again), 0);  // the cache, not the memo
  EXPECT_EQ(again, first);
  ASSERT_EQ(m_.nameCache->count, 2u);
  EXPECT_STREQ(m_.nameCache->names[0], "windows-1252");
  EXPECT_TRUE(posted().empty());

  EXPECT_EQ(m_.getConverterByName("no-such-set", 11, &again), 1);
  EXPECT_EQ(m_.getConverterByName("", 0, &again), 1);  // not ICU's default converter
  EXPECT_EQ(posted(), (Outcomes{jutest::unknownCodePage("no-such-set"), jutest::unknownCodePage("")}));
  EXPECT_EQ(m_.nameCache->count, 2u);
}

// The manager's UTF-8 converter is opened by the name "UTF8".
TEST_F(Manager, TheUtf8ConverterOpensByItsShortName) {
  char out[8];
  ASSERT_EQ(m_.toUtf8(out, sizeof out, "x", 1, nullptr, nullptr, 2252), 0);
  ASSERT_NE(m_.utf8Converter, nullptr);
  UErrorCode status = U_ZERO_ERROR;
  EXPECT_STREQ(ucnv_getName(m_.utf8Converter, &status), "UTF-8");
  EXPECT_STREQ(m_.lastName, "UTF8");
}

TEST_F(Manager, CachesGrowPastTheirFirstCapacity) {
  JuCodePageConverter m;
  ASSERT_EQ(m.init(1), 0);
  const int64_t ids[] = {2252, 2250, 2251, 4, 5, 2024};
  std::vector<UConverter*> first;
  for (int64_t id : ids) {
    UConverter* converter = nullptr;
    ASSERT_EQ(m.getConverter(id, &converter), 0) << id;
    first.push_back(converter);
  }
  for (size_t i = 0; i < first.size(); ++i) {
    UConverter* converter = nullptr;
    ASSERT_EQ(m.getConverter(ids[i], &converter), 0);
    EXPECT_EQ(converter, first[i]) << ids[i];
  }
  EXPECT_EQ(m.idCache->count, first.size());
}

TEST_F(Manager, InitAgainStartsOver) {
  UConverter* converter = nullptr;
  char out[8];
  ASSERT_EQ(m_.getConverter(2252, &converter), 0);
  ASSERT_EQ(m_.toUtf8(out, sizeof out, "x", 1, nullptr, nullptr, 2252), 0);
  const uint8_t* table = nullptr;
  ASSERT_EQ(m_.getLeadByteTable(2024, &table), 0);
  ASSERT_EQ(m_.init(2), 0);  // closes and frees what the first init kept
  EXPECT_EQ(m_.idCache->count, 0u);
  EXPECT_EQ(m_.nameCache->count, 0u);
  EXPECT_EQ(m_.leadByteCache->count, 0u);
  EXPECT_EQ(m_.utf8Converter, nullptr);
  EXPECT_EQ(m_.lastConverter, nullptr);
  ASSERT_EQ(m_.toUtf8(out, sizeof out, "y", 1, nullptr, nullptr, 2252), 0);
  EXPECT_EQ(std::string(out), "y");
}

// A manager whose init was never called still works.
TEST_F(Manager, WorksWithoutInit) {
  JuCodePageConverter m;
  UConverter* converter = nullptr;
  const uint8_t* table = nullptr;
  char out[8];
  EXPECT_EQ(m.getConverter(2252, &converter), 0);
  EXPECT_EQ(m.getConverterByName("UTF8", 4, &converter), 0);
  EXPECT_EQ(m.getLeadByteTable(2024, &table), 0);
  EXPECT_EQ(m.toUtf8(out, sizeof out, "caf\xE9", 4, nullptr, nullptr, 2252), 0);
  EXPECT_EQ(std::string(out), "caf\xC3\xA9");
}

TEST_F(Manager, FallbackReachesEveryConverter) {
  UConverter* byId = nullptr;
  UConverter* byName = nullptr;
  ASSERT_EQ(m_.getConverter(2252, &byId), 0);
  ASSERT_EQ(m_.getConverterByName("UTF8", 4, &byName), 0);
  m_.setFallback(1);
  EXPECT_TRUE(ucnv_usesFallback(byId));
  EXPECT_TRUE(ucnv_usesFallback(byName));
  UConverter* later = nullptr;
  ASSERT_EQ(m_.getConverter(2024, &later), 0);
  EXPECT_TRUE(ucnv_usesFallback(later));
  m_.setFallback(0);
  EXPECT_FALSE(ucnv_usesFallback(byId));
  EXPECT_FALSE(ucnv_usesFallback(later));
}

// Every allocation of the manager may fail: each call then returns 1 with
// out of memory recorded, and nothing leaks.
TEST_F(Manager, AllocationFailuresAreReported) {
  jutest::failEachAllocation([](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    int failures = 0;
    {
      JuCodePageConverter m;
      UConverter* converter = nullptr;
      const uint8_t* table = nullptr;
      char out[8];
      fault.arm();
      failures += m.init(2);
      failures += m.getConverter(2252, &converter);
      failures += m.getConverter(2024, &converter);
      failures += m.getConverter(2250, &converter);
      failures += m.getConverterByName("UTF8", 4, &converter);
      failures += m.getLeadByteTable(2024, &table);
      failures += m.toUtf8(out, sizeof out, "x", 1, nullptr, nullptr, 2252);
    }
    if (!fault.disarm()) {
      EXPECT_EQ(failures, 0);
      return;
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
  });
}

// ---------------------------------------------------------------------------
// Reset before reuse.
// ---------------------------------------------------------------------------

TEST_F(Manager, AKeptConverterLeavesNoBytesBehind) {
  UConverter* sjis = nullptr;
  ASSERT_EQ(m_.getConverter(2024, &sjis), 0);
  // Someone leaves a lead byte pending on the to-Unicode side...
  const char lead = '\x82';
  const char* source = &lead;
  char16_t scratch[4];
  char16_t* target = scratch;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(sjis, &target, scratch + 4, &source, &lead + 1, nullptr, false, &status);
  ASSERT_GT(ucnv_toUCountPending(sjis, &status), 0);
  // ...which must not join the next conversion's first byte.
  char16_t out[8] = {};
  int64_t written = 0;
  ASSERT_EQ(m_.toUnicode(out, 8, "A", 1, &written, nullptr, 2024, 0), 0);
  EXPECT_EQ(std::u16string(out, static_cast<size_t>(written)), u"A");
}

TEST_F(Manager, AKeptConverterLeavesNoHalfPairBehind) {
  m_.callbackContext.mode = 2;
  UConverter* latin = nullptr;
  ASSERT_EQ(m_.getConverter(2252, &latin), 0);
  const char16_t high = 0xD83D;
  const char16_t* source = &high;
  char scratch[8];
  char* target = scratch;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUnicode(latin, &target, scratch + 8, &source, &high + 1, nullptr, false, &status);
  ASSERT_TRUE(U_SUCCESS(status));
  char out[8] = {};
  int64_t written = 0;
  ASSERT_EQ(m_.fromUnicode(out, 8, u"A", 1, &written, nullptr, 2252, 0), 0);
  EXPECT_EQ(std::string(out, static_cast<size_t>(written)), "A");
  EXPECT_TRUE(posted().empty());  // no substitution either
}

// ---------------------------------------------------------------------------
// Lead bytes and sizes.
// ---------------------------------------------------------------------------

// The tables agree with ICU's own list of bytes that start a multi-byte
// character, for the double-byte code pages that ICU has.
TEST_F(Manager, LeadByteTablesMatchIcu) {
  for (int64_t id : {int64_t{2024}, int64_t{113}, int64_t{2026}, int64_t{2000000036}}) {
    SCOPED_TRACE(id);
    const uint8_t* table = nullptr;
    ASSERT_EQ(m_.getLeadByteTable(id, &table), 0);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* icu = ucnv_open(juCodePageIdToName(id), &status);
    ASSERT_TRUE(U_SUCCESS(status));
    UBool starters[256];
    ucnv_getStarters(icu, starters, &status);
    ucnv_close(icu);
    ASSERT_TRUE(U_SUCCESS(status));
    int leads = 0;
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(table[b] != 0, starters[b] != 0) << "byte " << b;
      leads += table[b];
    }
    EXPECT_GE(leads, 60);  // 932 has the fewest: 0x81-0x9F and 0xE0-0xFC
    const uint8_t* again = nullptr;
    ASSERT_EQ(m_.getLeadByteTable(id, &again), 0);
    EXPECT_EQ(again, table);
  }
  EXPECT_EQ(m_.leadByteCache->count, 4u);
}

TEST_F(Manager, LeadByteTablesOfOtherCodePages) {
  const uint8_t* table = nullptr;
  ASSERT_EQ(m_.getLeadByteTable(2252, &table), 0);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(table[b], 0) << b;
  ASSERT_EQ(m_.getLeadByteTable(106, &table), 0);  // UTF-8: the bytes that start a sequence
  for (int b = 0; b < 256; ++b) EXPECT_EQ(table[b], b >= 0xC2 && b <= 0xF4 ? 1 : 0) << b;

  int lead = -1;
  EXPECT_EQ(m_.isLeadByte(2024, 0x82, &lead), 0);
  EXPECT_EQ(lead, 1);
  EXPECT_EQ(m_.isLeadByte(2024, 'A', &lead), 0);
  EXPECT_EQ(lead, 0);
  EXPECT_EQ(m_.isLeadByte(1, 'A', &lead), 1);
  EXPECT_EQ(posted(), Outcomes{jutest::unknownCodePage("1")});
}

TEST_F(Manager, CharacterSizes) {
  struct Row {
    int64_t id;
    int32_t maximum;
    int32_t minimum;
  };
  const Row rows[] = {{2252, 1, 1}, {2024, 2, 1}, {1014, 2, 2}, {106, 3, 1}, {114, 4, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    EXPECT_EQ(m_.maxCharSize(row.id), row.maximum);
    EXPECT_EQ(m_.minCharSize(row.id), row.minimum);
  }
  EXPECT_TRUE(posted().empty());
}

// ---------------------------------------------------------------------------
// toUtf8.
// ---------------------------------------------------------------------------

TEST_F(Manager, Utf8IsCopied) {
  struct Row {
    const char* source;
    int64_t length;
    int64_t size;
    std::string expected;  // the destination afterwards, '#' where untouched
    int64_t copied;
    bool warns;
  };
  const Row rows[] = {
      {"0123456789", 10, 8, "01234567", 8, true},
      {"0123456789", 9, 8, "01234567", 8, true},
      {"01234567", 8, 8, "01234567", 8, false},  // exactly full: no terminator
      {"0123456", 7, 8, std::string("0123456\0", 8), 7, false},
      {"abc", -1, 8, std::string("abc\0####", 8), 3, false},
      {"", 0, 8, std::string("\0#######", 8), 0, false},
      {"abc", 3, 0, "########", 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source + std::string(" ") + std::to_string(row.length) + "/" + std::to_string(row.size));
    jutest::ScopedErrorList errors;
    char out[8];
    std::memset(out, '#', sizeof out);
    int64_t written = -1;
    int64_t consumed = -1;
    EXPECT_EQ(m_.toUtf8(out, row.size, row.source, row.length, &written, &consumed, 106), 0);
    EXPECT_EQ(std::string(out, 8), row.expected);
    EXPECT_EQ(written, row.copied);
    EXPECT_EQ(consumed, row.copied);
    EXPECT_EQ(jutest::posted(errors), row.warns ? Outcomes{jutest::truncatedWarning()} : Outcomes{});
  }
}

// The td_ EBCDIC ids go through UTF-16 with the converters by id (UTF-8 as
// 106), which end the text with two zero bytes; the others take the ASCII
// fast path with the "UTF8" converter, which ends it with one.
TEST_F(Manager, TdEbcdicIdsTakeThePivotPath) {
  ASSERT_EQ(jutest::TdConverters::install(), "");
  struct Row {
    int64_t id;
    std::string source;
    std::string expected;  // with the terminator and '#' where untouched
    bool pivot;
    const char* note;
  };
  const Row rows[] = {
      {jutest::kTdEbcdicId, "\x41", std::string("\xC2\xA0\0\0#", 5), true, "an ASCII byte is not ASCII here"},
      {jutest::kTdEbcdicId, "\xC1\xC2\x40\x51", std::string("AB \xC3\xA9\0\0#", 8), true, "EBCDIC letters"},
      {jutest::kTdAsciiId, "AB", std::string("AB\0##", 5), false, "ASCII copied"},
      {jutest::kTdAsciiId, "A\xA1", std::string("A\xC3\xA9\0#", 5), false, "then through the converters"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuCodePageConverter m;
    ASSERT_EQ(m.init(4), 0);
    char out[16];
    std::memset(out, '#', sizeof out);
    int64_t written = 0;
    int64_t consumed = 0;
    EXPECT_EQ(m.toUtf8(out, sizeof out, row.source.data(), static_cast<int64_t>(row.source.size()), &written, &consumed,
                       row.id),
              0);
    EXPECT_EQ(std::string(out, row.expected.size()), row.expected);
    EXPECT_EQ(consumed, static_cast<int64_t>(row.source.size()));
    // Which UTF-8 converter was used tells the path as well.
    UConverter* converter = nullptr;
    EXPECT_EQ(m.idCache->count, row.pivot ? 2u : 1u);
    EXPECT_EQ(m.utf8Converter == nullptr, row.pivot);
    EXPECT_EQ(m.getConverter(row.id, &converter), 0);
  }
  EXPECT_TRUE(posted().empty());
}

// UTF-16LE bytes: consumed counts the source bytes behind the whole
// characters written (four for a pair).
TEST_F(Manager, Utf16LeToUtf8) {
  const std::u16string text = u"a\u00E9\u20AC\U0001F600";  // 1 + 2 + 3 + 4 UTF-8 bytes
  std::string le;
  for (char16_t unit : text) {
    le += static_cast<char>(unit & 0xFF);
    le += static_cast<char>(unit >> 8);
  }
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  struct Row {
    int64_t size;
    int64_t written;
    int64_t consumed;
    bool warns;
    const char* note;
  };
  const Row rows[] = {
      {16, 10, 10, false, "room to spare"},
      {10, 10, 10, true, "exactly full: no terminator"},
      {9, 6, 6, true, "the pair does not fit"},
      {5, 3, 4, true, "the euro sign does not fit"},
      {1, 1, 2, true, "one byte"},
  };
  for (bool aligned : {true, false}) {
    // The bytes at an odd address: the units must still be read safely.
    std::vector<char> storage(le.size() + 4, '\0');
    char* even = storage.data() + reinterpret_cast<uintptr_t>(storage.data()) % 2;
    char* source = aligned ? even : even + 1;
    std::memcpy(source, le.data(), le.size());
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.note) + (aligned ? "" : ", unaligned"));
      jutest::ScopedErrorList errors;
      char out[16];
      int64_t written = -1;
      int64_t consumed = -1;
      EXPECT_EQ(m_.toUtf8(out, row.size, source, static_cast<int64_t>(le.size()), &written, &consumed, 1014), 0);
      EXPECT_EQ(written, row.written);
      EXPECT_EQ(consumed, row.consumed);
      EXPECT_EQ(std::string(out, static_cast<size_t>(row.written)), utf8.substr(0, static_cast<size_t>(row.written)));
      EXPECT_EQ(jutest::posted(errors), row.warns ? Outcomes{jutest::truncatedWarning()} : Outcomes{});
    }
    // -1: to the zero unit.
    char out[16];
    int64_t written = -1;
    EXPECT_EQ(m_.toUtf8(out, sizeof out, source, -1, &written, nullptr, 1014), 0);
    EXPECT_EQ(std::string(out, static_cast<size_t>(written)), utf8);
  }
}

// Every entry point that reports what it consumed cuts between characters:
// a caller that goes on from `consumed` gets the rest, nothing lost and
// nothing repeated.
TEST_F(Manager, CutsFallBetweenCharacters) {
  const std::u16string mixed = u"a\u00E9\u20AC\U0001F600b";  // 1 to 4 UTF-8 bytes
  struct Row {
    int64_t from;
    int64_t to;
    const char* fromName;
    const char* toName;
    std::u16string text;
  };
  const Row rows[] = {
      {1014, 106, "UTF-16LE", "UTF-8", mixed},
      {106, 1014, "UTF-8", "UTF-16LE", mixed},
      {106, 2252, "UTF-8", "windows-1252", mixed},  // the pair becomes one substitute byte
      {2024, 106, "ibm-943_P15A-2003", "UTF-8", u"a\uFF71\u65E5\u00A7b"},
      {113, 106, "GBK", "UTF-8", u"a\u4E2D\u00E9b"},
      {106, 106, "UTF-8", "UTF-8", mixed},  // copied
  };
  using jutest::characterEnds;
  using jutest::expectCutsBetweenCharacters;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.fromName) + " to " + row.toName);
    const std::string source = jutest::icuEncode(row.fromName, row.text);
    const std::string target = jutest::icuEncode(row.toName, row.text);
    const std::set<int64_t> sourceEnds = characterEnds(row.fromName, row.text);
    const std::set<int64_t> targetEnds = characterEnds(row.toName, row.text);
    const std::set<int64_t> unitEnds = characterEnds("UTF-16LE", row.text, 2);
    std::vector<jutest::CountedConversion<char, char>> narrow = {
        [&](auto... a) { (void)m_.convertPivot(a..., row.from, row.to); },
        [&](auto... a) { (void)m_.convertPivotById(a..., row.from, row.to); },
        [&](auto... a) { (void)m_.convertByName(a..., row.fromName, row.toName); },
    };
    if (row.to == 106) narrow.push_back([&](auto... a) { (void)m_.toUtf8(a..., row.from); });
    if (row.from == 106) narrow.push_back([&](auto... a) { (void)m_.fromUtf8(a..., row.to); });
    for (size_t form = 0; form < narrow.size(); ++form) {
      SCOPED_TRACE("narrow form " + std::to_string(form));
      expectCutsBetweenCharacters(narrow[form], source, sourceEnds, target, targetEnds);
    }
    expectCutsBetweenCharacters<char16_t, char>([&](auto... a) { (void)m_.toUnicode(a..., row.from, 0); }, source,
                                                sourceEnds, row.text, unitEnds);
    expectCutsBetweenCharacters<char, char16_t>([&](auto... a) { (void)m_.fromUnicode(a..., row.to, 0); }, row.text,
                                                unitEnds, target, targetEnds);
  }
}

TEST_F(Manager, BadArgumentsPost2737) {
  char out[8];
  char16_t wide[8];
  const std::function<int()> calls[] = {
      [&] { return m_.toUtf8(nullptr, 8, "a", 1, nullptr, nullptr, 2252); },
      [&] { return m_.toUtf8(out, 0, "a", 1, nullptr, nullptr, 2252); },
      [&] { return m_.toUtf8(out, 8, nullptr, 1, nullptr, nullptr, 1014); },
      [&] { return m_.toUtf8(out, 8, "ab", -2, nullptr, nullptr, 106); },
      [&] { return m_.toUChars(wide, 0, "a", 1, nullptr, 2252, 0); },
      [&] { return m_.toUtf8Measured(out, 0, "a", 1, nullptr, 2252); },
      [&] { return m_.convertChars(out, 8, nullptr, 1, nullptr, 2252, 106); },
      [&] { return m_.fromUChars(nullptr, 8, u"a", 1, nullptr, 2252, 0); },
      [&] { return m_.fromUtf8Safe(out, 8, "a", -1, nullptr, 2252); },
  };
  int index = 0;
  for (const auto& call : calls) {
    SCOPED_TRACE(index++);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(call(), 1);
    EXPECT_EQ(jutest::posted(errors), Outcomes{jutest::conversionError()});
  }
  // An unknown id is named before the arguments are looked at.
  EXPECT_EQ(m_.fromUChars(nullptr, 8, u"a", 1, nullptr, 1, 0), 1);
  EXPECT_EQ(posted(), Outcomes{jutest::unknownCodePage("1")});
}

// ---------------------------------------------------------------------------
// The counting callback through the entry points that count substitutions.
// ---------------------------------------------------------------------------

TEST_F(Manager, SubstitutionsByMode) {
  const std::string utf8 =
      "a\xE3\x81\x82"
      "b";  // U+3042 is not in windows-1252
  const std::u16string utf16 = u"a\u3042b";
  const std::string substituted = icuFromUnicode("windows-1252", utf16);
  ASSERT_EQ(substituted.size(), 3u);
  const auto n = static_cast<int64_t>(utf8.size());
  using Call = std::function<int(JuCodePageConverter&, char*, int64_t*)>;
  struct EntryPoint {
    const char* name;
    Call call;
  };
  const EntryPoint entryPoints[] = {
      {"fromUtf8",
       [&](auto& m, char* out, int64_t* w) { return m.fromUtf8(out, 16, utf8.data(), n, w, nullptr, 2252); }},
      {"fromUtf8Safe",
       [&](auto& m, char* out, int64_t* w) { return m.fromUtf8Safe(out, 16, utf8.data(), n, w, 2252); }},
      {"fromUnicode",
       [&](auto& m, char* out, int64_t* w) { return m.fromUnicode(out, 16, utf16.data(), 3, w, nullptr, 2252, 0); }},
      {"fromUChars",
       [&](auto& m, char* out, int64_t* w) { return m.fromUChars(out, 16, utf16.data(), 3, w, 2252, 0); }},
      {"convertPivot",
       [&](auto& m, char* out, int64_t* w) { return m.convertPivot(out, 16, utf8.data(), n, w, nullptr, 106, 2252); }},
      {"convertPivotById",
       [&](auto& m, char* out, int64_t* w) {
         return m.convertPivotById(out, 16, utf8.data(), n, w, nullptr, 106, 2252);
       }},
      {"convertChars",
       [&](auto& m, char* out, int64_t* w) { return m.convertChars(out, 16, utf8.data(), n, w, 106, 2252); }},
      {"convertByName",
       [&](auto& m, char* out, int64_t* w) {
         return m.convertByName(out, 16, utf8.data(), n, w, nullptr, "UTF-8", "windows-1252");
       }},
  };
  for (const EntryPoint& entry : entryPoints) {
    for (uint32_t mode : {0u, 1u, 2u, 7u}) {
      SCOPED_TRACE(std::string(entry.name) + " mode " + std::to_string(mode));
      jutest::ScopedErrorList errors;
      m_.callbackContext.mode = mode;
      char out[16] = {};
      int64_t written = 0;
      const int status = entry.call(m_, out, &written);
      if (mode == 1) {
        // The conversion stops at the character and fails.
        EXPECT_EQ(status, 1);
        EXPECT_EQ(jutest::posted(errors), Outcomes{jutest::conversionError()});
      } else {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(std::string(out, static_cast<size_t>(written)), substituted);
        EXPECT_EQ(jutest::posted(errors), mode == 0 ? Outcomes{} : Outcomes{jutest::substitutedWarning()});
      }
      EXPECT_EQ(m_.callbackContext.substituted, 0u);  // read and cleared
    }
  }
}

// A substitution counted by no entry point is not blamed on the next one.
TEST_F(Manager, AStaleSubstitutionIsNotReported) {
  m_.callbackContext.mode = 2;
  m_.callbackContext.substituted = 1;
  char out[8];
  int64_t written = 0;
  EXPECT_EQ(m_.fromUtf8(out, sizeof out, "abc", 3, &written, nullptr, 2252), 0);
  EXPECT_TRUE(posted().empty());
}

TEST_F(Manager, RoundTripsThroughUtf16) {
  char16_t wide[16] = {};
  int64_t written = 0;
  int64_t consumed = 0;
  ASSERT_EQ(m_.toUnicode(wide, 16, "\x82\xA0x", 3, &written, &consumed, 2024, 0), 0);
  EXPECT_EQ(std::u16string(wide, static_cast<size_t>(written)), u"\u3042x");
  EXPECT_EQ(consumed, 3);
  ASSERT_EQ(m_.toUChars(wide, 16, "caf\xE9", 4, &written, 2252, 0), 0);
  EXPECT_EQ(std::u16string(wide), u"caf\u00E9");
  char narrow[16] = {};
  ASSERT_EQ(m_.fromUChars(narrow, 16, u"\u3042x", 2, &written, 2024, 0), 0);
  EXPECT_EQ(std::string(narrow), "\x82\xA0x");
  ASSERT_EQ(m_.toUtf8Measured(narrow, 16, "\x82\xA0x", 3, &written, 2024), 0);
  EXPECT_EQ(std::string(narrow), "\xE3\x81\x82x");
  EXPECT_TRUE(posted().empty());
}

}  // namespace
