// Code page probes, the kind selector and the lengths of UTF-16 text in
// Windows code pages.

#include <unicode/ucnv.h>

#include <climits>

#include "julib/codepage.h"
#include "testing/ju_test.h"

namespace {

// ICU's default converter, as id 0 stands for it.
int defaultMaxCharSize() {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(nullptr, &error);
  const int size = ucnv_getMaxCharSize(converter);
  ucnv_close(converter);
  return size;
}

TEST(CodePageProbes, SupportAndWidestCharacter) {
  struct Row {
    int64_t id;
    int supported;
    int maxCharSize;
    const char* note;
  };
  const Row rows[] = {
      {2252, 1, 1, "windows-1252"},
      {3, 1, 1, "US-ASCII"},
      {106, 1, 3, "UTF-8"},
      {1014, 1, 2, "UTF-16LE"},
      {114, 1, 4, "GB18030"},
      {2000000930, 1, 3, "ibm-930: SO/SI and two bytes"},
      {0, 1, defaultMaxCharSize(), "ICU's default converter"},
      // No name: never ICU's default converter in its place.
      {kJuNoCodePage, 0, 0, "no code page"},
      {1, 0, 0, "no such id"},
      {-5, 0, 0, "negative id"},
      // A name that ICU 72 does not open.
      {2000005039, 0, 0, "td_ebcdic"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juCodePageIsSupported(row.id), row.supported);
    EXPECT_EQ(juCodePageMaxCharSize(row.id), row.maxCharSize);
  }
  ASSERT_NE(juCodePageIdToName(2000005039), nullptr);
}

TEST(KindSelect, ValueForKindsZeroToThree) {
  for (uint32_t kind = 0; kind <= 3; ++kind) EXPECT_EQ(juKindSelect(kind, -42), -42);
  EXPECT_EQ(juKindSelect(4, -42), 0);
  EXPECT_EQ(juKindSelect(UINT32_MAX, 7), 0);
}

TEST(WideLengths, BytesInTheAnsiCodePage) {
  struct Row {
    const char16_t* text;
    size_t n;
    size_t bytes1252;
    size_t bytes932;
  };
  const Row rows[] = {
      {u"abc", 3, 3, 3},           {u"\u00E9\u20AC", 2, 2, 2},  // both in 1252; 932 substitutes one byte each
      {u"\u65E5\u672Ca", 3, 3, 5},                              // kanji take two bytes in 932
      {u"\u65E5\u672Ca", 1, 1, 2}, {u"", 0, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(jutest::toUtf8(row.text, row.n));
    EXPECT_EQ(juWStrNAnsiLength(row.text, row.n), row.bytes1252);
    if (juWStrLen(row.text) == row.n) {
      EXPECT_EQ(juWStrAnsiLength(row.text), row.bytes1252);
    }
    {
      jutest::ScopedCodePage japanese(932);
      EXPECT_EQ(juWStrNAnsiLength(row.text, row.n), row.bytes932);
    }
  }
}

TEST(WideLengths, BytesInAGivenCodePage) {
  EXPECT_EQ(juWStrCodePageLength(65001, u"a\u00E9\U0001F600"), 7u);
  EXPECT_EQ(juWStrNCodePageLength(65001, u"a\u00E9\U0001F600", 2), 3u);
  EXPECT_EQ(juWStrCodePageLength(932, u"\u65E5x"), 3u);
  EXPECT_EQ(juWStrCodePageLength(1252, nullptr), 0u);
  EXPECT_EQ(juWStrCodePageLength(1252, u""), 0u);
  // A count beyond one conversion call has no answer; nothing is read.
  EXPECT_EQ(juWStrNCodePageLength(65001, u"a", size_t{INT_MAX} + 1), 0u);
  EXPECT_EQ(juWStrNAnsiLength(u"a", SIZE_MAX), 0u);
}

}  // namespace
