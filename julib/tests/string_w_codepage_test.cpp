// UTF-16 strings from bytes of a code page id or an open converter, the
// parameter-string setters built on them, and the errors made that way.

#include <unicode/ucnv.h>

#include <string>
#include <vector>

#include "converter_test_util.h"
#include "julib/codepage.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "string_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::Posted;
using jutest::text;
using Outcomes = std::vector<Posted>;

class CodePageStrings : public jutest::JuTest {
 protected:
  Outcomes posted() { return jutest::posted(errors_); }
};

TEST_F(CodePageStrings, FromACodePageId) {
  ASSERT_EQ(jutest::TdConverters::install(), "");
  struct Row {
    int64_t id;
    std::string bytes;
    std::u16string expected;
    const char* note;
  };
  const Row rows[] = {
      {2252, "caf\xE9", u"caf\u00E9", "windows-1252"},
      {2024, "\x82\xA0x", u"\u3042x", "Shift-JIS"},
      {106, "\xF0\x9F\x98\x80", u"\U0001F600", "a pair from four bytes"},
      {jutest::kTdEbcdicId, "\xC1\x40\x51", u"A \u00E9", "a converter of the test data"},
      {2252, "", u"", "empty"},
      {0, "plain", u"plain", "id 0: ICU's default converter"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuStringW s;
    ASSERT_EQ(s.assignFromCodePage(row.bytes.data(), row.bytes.size(), row.id), 0);
    EXPECT_EQ(text(s), row.expected);
    EXPECT_EQ(s.capacity, row.bytes.size() + 1);
    EXPECT_EQ(s.data[s.length], 0);
  }
  EXPECT_TRUE(posted().empty());
}

// No id but 0 opens ICU's default converter by accident.
TEST_F(CodePageStrings, AnIdWithoutAConverterPosts2739) {
  const int64_t ids[] = {jutest::kMissingId, kJuNoCodePage, 1, -1};
  for (int64_t id : ids) {
    SCOPED_TRACE(id);
    jutest::ScopedErrorList errors;
    JuStringW s;
    ASSERT_EQ(s.assign(u"old"), 0);
    EXPECT_EQ(s.assignFromCodePage("abc", 3, id), 1);
    EXPECT_EQ(text(s), u"old");  // nothing assigned
    EXPECT_EQ(jutest::posted(errors), Outcomes{jutest::unknownCodePage(std::to_string(id))});
  }
}

TEST_F(CodePageStrings, ThroughAConverter) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("ibm-943_P15A-2003", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  JuStringW s;
  ASSERT_EQ(s.assign(u"previous"), 0);
  ASSERT_EQ(s.assignFromConverter("\x82\xA0\x82\xA2", 4, converter), 0);
  EXPECT_EQ(text(s), u"\u3042\u3044");
  EXPECT_EQ(s.capacity, 5u);
  EXPECT_EQ(s.owns, 1u);
  // A converter that stops at a bad byte: the string is empty, the reason posted.
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  EXPECT_EQ(s.assignFromConverter("a\x82\x20", 3, converter), 1);
  EXPECT_EQ(s.length, 0u);
  ASSERT_NE(s.data, nullptr);
  EXPECT_EQ(s.data[0], 0);
  EXPECT_EQ(posted().size(), 1u);
  ucnv_close(converter);

  jutest::ScopedErrorList errors;
  EXPECT_EQ(s.assignFromConverter("a", 1, nullptr), 1);
  EXPECT_EQ(jutest::posted(errors), Outcomes{jutest::conversionError()});
}

TEST_F(CodePageStrings, AllocationFailure) {
  JuStringW s;
  ASSERT_EQ(s.assign(u"kept"), 0);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(s.assignFromCodePage("abc", 3, 2252), 1);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(text(s), u"kept");
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

// ---------------------------------------------------------------------------
// Parameter strings.
// ---------------------------------------------------------------------------

TEST_F(CodePageStrings, TemplateSetters) {
  JuParamStringW p;
  ASSERT_EQ(p.assign(u"%s1 %s2"), 0);
  ASSERT_EQ(p.addParam(u"x"), 0);
  ASSERT_EQ(p.assignFromCodePage("caf\xE9 %s1", 2252), 0);  // the counter starts again
  EXPECT_EQ(p.paramCounter, 0u);
  ASSERT_EQ(p.addParam(u"ok"), 0);
  EXPECT_EQ(text(p), u"caf\u00E9 ok");

  EXPECT_EQ(p.assignFromCodePage("x", 1), 1);
  EXPECT_NE(p.flags & JuParamStringW::kErrorFlag, 0u);
  EXPECT_EQ(p.length, 0u);
  EXPECT_EQ(posted(), Outcomes{jutest::unknownCodePage("1")});

  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-1252", &status);
  ASSERT_EQ(p.assignFromConverter("%s1\xE9", converter), 0);  // clears the flag
  EXPECT_EQ(p.flags & JuParamStringW::kErrorFlag, 0u);
  ASSERT_EQ(p.addParam(int64_t{7}), 0);
  EXPECT_EQ(text(p), u"%s1\u00E9");  // a number fills "%d1", not "%s1"
  ASSERT_EQ(p.assignFromConverter(nullptr, converter), 0);
  EXPECT_EQ(p.length, 0u);
  ucnv_close(converter);
}

// ---------------------------------------------------------------------------
// Errors from narrow text of a converter or a code page.
// ---------------------------------------------------------------------------

TEST_F(CodePageStrings, ErrorsFromAConverterOrACodePage) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("ibm-943_P15A-2003", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  JuErrorList& list = errors_.list();
  JuError* byConverter = list.newError(2701, "\x82\xA0 %s1", converter, 1, 4, 77);
  JuError* byCodePage = list.newError(2702, "caf\xE9", int64_t{2252}, 0, 0, 0);
  ucnv_close(converter);
  ASSERT_NE(byConverter, nullptr);
  ASSERT_NE(byCodePage, nullptr);
  EXPECT_EQ(std::u16string(byConverter->messageW()), u"\u3042 %s1");
  EXPECT_EQ(byConverter->messageId, 2701);
  EXPECT_TRUE(byConverter->isWarning());
  EXPECT_EQ(byConverter->sqlStateCode, 4);
  EXPECT_EQ(byConverter->nativeCode, 77u);
  EXPECT_EQ(byConverter->kind, JuCodePageKind::kUtf8);
  EXPECT_EQ(byConverter->owningList, nullptr);  // made, not posted
  byConverter->addParam("\xC3\xA9");            // UTF-8, the error's kind
  EXPECT_STREQ(byConverter->message(), "\xE3\x81\x82 \xC3\xA9");
  EXPECT_EQ(std::u16string(byCodePage->messageW()), u"caf\u00E9");
  EXPECT_FALSE(byCodePage->isWarning());
  EXPECT_EQ(byCodePage->kind, JuCodePageKind::kUtf8);
  EXPECT_TRUE(posted().empty());
  delete byConverter;
  delete byCodePage;
}

TEST_F(CodePageStrings, AnErrorForAnUnknownCodePageKeepsAnEmptyMessage) {
  JuError* error = errors_->newError(2701, "text", int64_t{jutest::kMissingId}, 0, 0, 0);
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(error->message(), "");
  EXPECT_EQ(error->messageText.length, 0u);
  EXPECT_EQ(posted(), Outcomes{jutest::unknownCodePage(std::to_string(jutest::kMissingId))});
  delete error;
}

TEST_F(CodePageStrings, TheSlotsReturnNullWhenOutOfMemory) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("windows-1252", &status);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(errors_->newError(2701, "a", converter, 0, 0, 0), nullptr);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(errors_->newError(2701, "a", int64_t{2252}, 0, 0, 0), nullptr);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  ucnv_close(converter);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

// A list that overrides the slots is asked through them.
TEST_F(CodePageStrings, TheSlotsAreVirtual) {
  struct Counting : JuErrorList {
    Counting() : JuErrorList(0, 1) {}
    JuError* newError(uint16_t, const char*, UConverter*, int, uint16_t, uint64_t) override {
      ++converterCalls;
      return nullptr;
    }
    JuError* newError(uint16_t, const char*, int64_t, int, uint16_t, uint64_t) override {
      ++codePageCalls;
      return nullptr;
    }
    using JuErrorList::newError;
    int converterCalls = 0;
    int codePageCalls = 0;
  };
  Counting counting;
  JuErrorList& list = counting;
  EXPECT_EQ(list.newError(1, "a", static_cast<UConverter*>(nullptr), 0, 0, 0), nullptr);
  EXPECT_EQ(list.newError(1, "a", int64_t{2252}, 0, 0, 0), nullptr);
  EXPECT_EQ(counting.converterCalls, 1);
  EXPECT_EQ(counting.codePageCalls, 1);
}

}  // namespace
