// The converter pool: entries per code page, idle converters taken and given
// back, character sizes.

#include <unicode/ucnv.h>

#include <string>
#include <vector>

#include "converter_test_util.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "julib/internal/fault.h"
#include "testing/ju_test.h"

namespace {

using jutest::Posted;
using Outcomes = std::vector<Posted>;

class Pool : public jutest::JuTest {
 protected:
  Pool() { pool_.capacity = kJuPoolEntries; }
  ~Pool() override { juConverterPoolClear(&pool_); }

  Outcomes posted() { return jutest::posted(errors_); }

  struct Taken {
    UConverter* converter;
    JuCountingCallbackContext* context;
  };
  Taken get(int64_t id) {
    Taken t{nullptr, nullptr};
    t.converter = juConverterPoolGet(&pool_, id, &t.context);
    return t;
  }
  void put(int64_t id, Taken t) { EXPECT_EQ(juConverterPoolPut(&pool_, id, t.converter, t.context), 0); }

  JuConverterPool pool_{};
};

TEST_F(Pool, AConverterPutBackIsTakenAgain) {
  const Taken first = get(2252);
  ASSERT_NE(first.converter, nullptr);
  EXPECT_EQ(first.context, nullptr);  // mode 0: no callback
  ASSERT_EQ(pool_.count, 1u);
  EXPECT_EQ(pool_.entries[0].id, 2252);
  EXPECT_STREQ(pool_.entries[0].name, "windows-1252");
  EXPECT_EQ(pool_.entries[0].maxCharSize, 1);
  EXPECT_EQ(pool_.entries[0].minCharSize, 1);
  put(2252, first);
  EXPECT_EQ(pool_.entries[0].idleCount, 1u);
  const Taken again = get(2252);
  EXPECT_EQ(again.converter, first.converter);
  EXPECT_EQ(pool_.entries[0].idleCount, 0u);
  const Taken second = get(2252);  // none idle: a new one
  EXPECT_NE(second.converter, first.converter);
  put(2252, again);
  put(2252, second);
  EXPECT_EQ(get(2252).converter, second.converter);  // the last put back
  put(2252, {second.converter, nullptr});
  EXPECT_TRUE(posted().empty());
}

TEST_F(Pool, TheFourthPutClosesTheConverter) {
  std::vector<Taken> taken;
  for (int i = 0; i < 4; ++i) taken.push_back(get(2024));
  for (const Taken& t : taken) put(2024, t);
  const JuConverterPoolEntry& entry = pool_.entries[0];
  ASSERT_EQ(entry.idleCount, kJuPoolIdle);
  for (uint32_t j = 0; j < kJuPoolIdle; ++j) EXPECT_NE(entry.idle[j], taken[3].converter);
  // Without an entry for the id, a put closes too.
  Taken other = get(2250);
  put(2251, other);
  EXPECT_EQ(pool_.entries[1].idleCount, 0u);
}

TEST_F(Pool, AFullPoolLendsConvertersItDoesNotKeep) {
  pool_.capacity = 1;
  put(2252, get(2252));
  const Taken unkept = get(2024);
  ASSERT_NE(unkept.converter, nullptr);
  EXPECT_EQ(pool_.count, 1u);
  put(2024, unkept);  // closed: there is no entry
  EXPECT_EQ(pool_.count, 1u);
  EXPECT_EQ(pool_.entries[0].idleCount, 1u);
}

// A capacity above 8 counts as 8.
TEST_F(Pool, NoMoreThanEightEntries) {
  pool_.capacity = 100;
  const int64_t ids[] = {2250, 2251, 2252, 2253, 2254, 2255, 2256, 2257, 2258};
  for (int64_t id : ids) put(id, get(id));
  EXPECT_EQ(pool_.count, kJuPoolEntries);
  EXPECT_EQ(pool_.entries[7].id, 2257);
}

TEST_F(Pool, AnIdWithoutAConverterClaimsNoEntry) {
  struct Row {
    int64_t id;
    const char* note;
  };
  const Row rows[] = {{jutest::kMissingId, "data missing"}, {1, "no name"}, {kJuNoCodePage, "no code page"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    JuCountingCallbackContext* context = reinterpret_cast<JuCountingCallbackContext*>(uintptr_t{8});
    EXPECT_EQ(juConverterPoolGet(&pool_, row.id, &context), nullptr);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(jutest::posted(errors), Outcomes{jutest::unknownCodePage(std::to_string(row.id))});
  }
  EXPECT_EQ(pool_.count, 0u);
  // Id 0 is ICU's default converter.
  const Taken t = get(0);
  EXPECT_NE(t.converter, nullptr);
  put(0, t);
}

TEST_F(Pool, CharacterSizes) {
  struct Row {
    int64_t id;
    int32_t maximum;
    int32_t minimum;
    uint32_t entries;  // after the call
    const char* note;
  };
  const Row rows[] = {
      {1015, 2, 2, 0, "UTF-16: nothing opened"},
      {1013, 2, 2, 0, "UTF-16BE"},
      {1014, 2, 2, 0, "UTF-16LE"},
      {2024, 2, 1, 1, "a new entry"},
      {2024, 2, 1, 1, "the entry's sizes"},
      {106, 3, 1, 2, "UTF-8"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    int32_t maximum = -1;
    int32_t minimum = -1;
    juConverterPoolCharSizes(&pool_, row.id, &maximum, &minimum);
    EXPECT_EQ(maximum, row.maximum);
    EXPECT_EQ(minimum, row.minimum);
    EXPECT_EQ(pool_.count, row.entries);
  }
  // The converter that measured is the entry's first idle one.
  ASSERT_EQ(pool_.entries[0].idleCount, 1u);
  UConverter* measured = pool_.entries[0].idle[0];
  EXPECT_EQ(get(2024).converter, measured);
  put(2024, {measured, nullptr});
  EXPECT_TRUE(posted().empty());

  int32_t maximum = -1;
  int32_t minimum = -1;
  juConverterPoolCharSizes(&pool_, jutest::kMissingId, &maximum, &minimum);
  EXPECT_EQ(maximum, 2);
  EXPECT_EQ(minimum, 1);
  EXPECT_EQ(posted(), Outcomes{jutest::unknownCodePage(std::to_string(jutest::kMissingId))});
  EXPECT_EQ(pool_.count, 2u);

  pool_.capacity = 2;  // full: measured and closed
  juConverterPoolCharSizes(&pool_, 114, &maximum, &minimum);
  EXPECT_EQ(maximum, 4);
  EXPECT_EQ(minimum, 1);
  EXPECT_EQ(pool_.count, 2u);
}

TEST_F(Pool, EachConverterGetsItsOwnCountingContext) {
  pool_.callbackMode = 2;
  const Taken a = get(2252);
  const Taken b = get(2252);
  ASSERT_NE(a.context, nullptr);
  ASSERT_NE(b.context, nullptr);
  EXPECT_NE(a.context, b.context);
  EXPECT_EQ(a.context->mode, 2u);
  // A character windows-1252 lacks marks only the converter that met it.
  char out[8];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUChars(a.converter, out, sizeof out, u"\u3042", 1, &status);
  EXPECT_TRUE(U_SUCCESS(status));
  EXPECT_EQ(a.context->substituted, 1u);
  EXPECT_EQ(b.context->substituted, 0u);
  put(2252, a);
  put(2252, b);
  // Taken again, it starts clean.
  const Taken again = get(2252);
  EXPECT_EQ(again.converter, b.converter);
  const Taken other = get(2252);
  EXPECT_EQ(other.converter, a.converter);
  EXPECT_EQ(other.context, a.context);
  EXPECT_EQ(other.context->substituted, 0u);
  put(2252, again);
  put(2252, other);
}

TEST_F(Pool, ModeOneStops) {
  pool_.callbackMode = 1;
  const Taken t = get(2252);
  char out[8];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUChars(t.converter, out, sizeof out, u"a\u3042", 2, &status);
  EXPECT_EQ(status, U_INVALID_CHAR_FOUND);
  EXPECT_EQ(t.context->substituted, 0u);
  put(2252, t);
}

TEST_F(Pool, ATakenConverterHoldsNoState) {
  const Taken t = get(2024);
  const char lead = '\x82';
  const char* source = &lead;
  char16_t scratch[4];
  char16_t* target = scratch;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(t.converter, &target, scratch + 4, &source, &lead + 1, nullptr, false, &status);
  ASSERT_GT(ucnv_toUCountPending(t.converter, &status), 0);
  put(2024, t);
  const Taken again = get(2024);
  ASSERT_EQ(again.converter, t.converter);
  EXPECT_EQ(ucnv_toUCountPending(again.converter, &status), 0);
  put(2024, again);
}

TEST_F(Pool, ClearKeepsTheEntries) {
  pool_.callbackMode = 2;
  put(2252, get(2252));
  put(2024, get(2024));
  juConverterPoolClear(&pool_);
  EXPECT_EQ(pool_.count, 2u);
  EXPECT_EQ(pool_.entries[0].idleCount, 0u);
  EXPECT_EQ(pool_.entries[1].idleCount, 0u);
  EXPECT_EQ(pool_.contexts[0][0], nullptr);
  EXPECT_EQ(pool_.entries[1].maxCharSize, 2);
  const Taken t = get(2024);  // opened again for the same entry
  EXPECT_NE(t.converter, nullptr);
  EXPECT_EQ(pool_.count, 2u);
  put(2024, t);
}

TEST_F(Pool, FallbackReachesIdleAndNewConverters) {
  const Taken a = get(2252);
  put(2252, a);
  juConverterPoolSetFallback(&pool_, 1);
  EXPECT_TRUE(ucnv_usesFallback(a.converter));
  const Taken b = get(2024);
  EXPECT_TRUE(ucnv_usesFallback(b.converter));
  put(2024, b);
  juConverterPoolSetFallback(&pool_, 0);
  EXPECT_FALSE(ucnv_usesFallback(a.converter));
}

// A context that cannot be allocated gives no converter and leaks nothing.
TEST_F(Pool, AContextAllocationFailure) {
  pool_.callbackMode = 2;
  julib::internal::failAllocation(1, false);
  JuCountingCallbackContext* context = nullptr;
  UConverter* converter = juConverterPoolGet(&pool_, 2252, &context);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  EXPECT_EQ(converter, nullptr);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
  EXPECT_EQ(pool_.count, 0u);
  int32_t maximum = 0;
  int32_t minimum = 0;
  julib::internal::failAllocation(1, false);
  juConverterPoolCharSizes(&pool_, 2024, &maximum, &minimum);  // sizes, but no entry
  julib::internal::clearAllocationFault();
  EXPECT_EQ(maximum, 2);
  EXPECT_EQ(minimum, 1);
  EXPECT_EQ(pool_.count, 0u);
}

}  // namespace
