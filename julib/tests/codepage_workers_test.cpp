// Conversion workers over real ICU converters: narrow to and from UTF-16,
// result codes, round trips and destination boundaries. The narrow-to-narrow
// workers are tested in codepage_narrow_workers_test.cpp.

#include <unicode/ucnv.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "codepage_test_util.h"
#include "julib/codepage.h"
#include "testing/ju_test.h"

namespace {

using jutest::Converter;
using jutest::icuDecode;
using jutest::icuEncode;
using jutest::swapped;

constexpr int64_t kBeyondInt32 = int64_t{1} << 31;

// --- Result codes -----------------------------------------------------------

TEST(MapIcuError, ResultCodes) {
  struct Row {
    UErrorCode error;
    int32_t expected;
  };
  const Row rows[] = {
      {U_ZERO_ERROR, 0},
      {U_STRING_NOT_TERMINATED_WARNING, 1},
      {U_BUFFER_OVERFLOW_ERROR, 1},
      {U_ILLEGAL_CHAR_FOUND, 2},
      {U_INVALID_TABLE_FORMAT, 5},
      {U_INVALID_TABLE_FILE, 5},
      {U_FILE_ACCESS_ERROR, 6},
      {U_INVALID_CHAR_FOUND, 4},
      {U_TRUNCATED_CHAR_FOUND, 4},
      {U_ILLEGAL_ARGUMENT_ERROR, 4},
      {U_MEMORY_ALLOCATION_ERROR, 4},
      {U_INDEX_OUTOFBOUNDS_ERROR, 4},
      // Warnings other than "not terminated" are success.
      {U_AMBIGUOUS_ALIAS_WARNING, 0},
      {U_USING_DEFAULT_WARNING, 0},
      {U_USING_FALLBACK_WARNING, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(u_errorName(row.error));
    EXPECT_EQ(juMapIcuError(row.error), row.expected);
  }
}

TEST(MapIcuError, MissingConverterDataIsUnknownCodePage) {
  UErrorCode error = U_ZERO_ERROR;
  UConverter* converter = ucnv_open("ju-no-such-converter", &error);
  EXPECT_EQ(converter, nullptr);
  EXPECT_EQ(juMapIcuError(error), kJuConvUnknownCodePage);
}

// A converter built by makeconv opens and converts; the same file with a
// damaged table header cannot be used: its error maps to 5.
TEST(MapIcuError, DamagedConverterTableIsBadTables) {
  if (std::system("command -v makeconv > /dev/null 2>&1") != 0) GTEST_SKIP() << "makeconv (icu-devtools) missing";
  char pattern[] = "/tmp/ju_cnv_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  {
    std::ofstream ucm(dir / "jutiny.ucm");
    ucm << "<code_set_name> \"jutiny\"\n<mb_cur_max> 1\n<mb_cur_min> 1\n<uconv_class> \"SBCS\"\n"
           "<subchar> \\x3F\nCHARMAP\n<U0041> \\x41 |0\n<U0042> \\x42 |0\n<U003F> \\x3F |0\nEND CHARMAP\n";
  }
  const std::string command = "makeconv -d '" + dir.string() + "' '" + (dir / "jutiny.ucm").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  UErrorCode error = U_ZERO_ERROR;
  UConverter* good = ucnv_openPackage(dir.c_str(), "jutiny", &error);
  ASSERT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  char16_t out[4];
  int64_t written = -1;
  EXPECT_EQ(juConvToUnicode(out, 4, "AB", 2, &written, nullptr, good, 0), 0);
  EXPECT_EQ(std::u16string(out), u"AB");
  ucnv_close(good);

  // The static data follows the data header: size, name[60], code page,
  // platform, then the converter type, which no converter has as 0x7F.
  std::fstream cnv(dir / "jutiny.cnv", std::ios::in | std::ios::out | std::ios::binary);
  unsigned char header[2];
  cnv.read(reinterpret_cast<char*>(header), 2);
  const int typeOffset = (header[0] | header[1] << 8) + 4 + 60 + 4 + 1;
  cnv.seekp(typeOffset);
  cnv.put(0x7F);
  cnv.close();
  ucnv_flushCache();
  error = U_ZERO_ERROR;
  UConverter* bad = ucnv_openPackage(dir.c_str(), "jutiny", &error);
  EXPECT_EQ(bad, nullptr);
  EXPECT_EQ(juMapIcuError(error), kJuConvBadTables) << u_errorName(error);
  std::filesystem::remove_all(dir);
}

// --- Round trips ------------------------------------------------------------

struct Sample {
  const char* converter;
  std::u16string text;
};

const std::vector<Sample>& samples() {
  static const std::vector<Sample> rows = {
      {"windows-1252", u"Caf\u00E9 \u20AC 100, na\u00EFve"},
      {"ibm-943_P15A-2003", u"\u65E5\u672C\u8A9E abc \uFF71\uFF72 \u3042"},
      {"EUC-KR", u"\uD55C\uAD6D\uC5B4 abc \uAC00"},
      {"GB18030", u"\u4E2D\u6587 A\u00E9 \U0001F600 \U00020000 z"},
      {"ibm-930", u"ABC 123 \uFF71 \u65E5\u672C"},  // ends in double-byte mode
      {"UTF-16LE", u"A\u00E9\u4E2D\U0001F600z"},
      {"UTF-16BE", u"A\u00E9\u4E2D\U0001F600z"},
      {"UTF-8", u"A\u00E9\u4E2D\U0001F600\U0010FFFDz"},
  };
  return rows;
}

TEST(RoundTrip, WholeStringsThroughEveryConverter) {
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.converter);
    Converter converter(sample.converter);
    ASSERT_NE(converter.get(), nullptr);
    const std::string expected = icuEncode(sample.converter, sample.text);
    ASSERT_FALSE(expected.empty());
    for (int swap : {0, 1}) {
      SCOPED_TRACE(swap);
      const std::u16string source = swap ? swapped(sample.text) : sample.text;
      std::string narrow(expected.size() + 8, '#');
      int64_t written = -1;
      ASSERT_EQ(juConvFromUChars(narrow.data(), static_cast<int64_t>(narrow.size()), source.data(),
                                 static_cast<int64_t>(source.size()), &written, converter, swap),
                0);
      ASSERT_EQ(written, static_cast<int64_t>(expected.size()));
      EXPECT_EQ(narrow.substr(0, expected.size()), expected);
      EXPECT_EQ(narrow[expected.size()], '\0');
      // The caller's text is left in its own byte order.
      EXPECT_EQ(source, swap ? swapped(sample.text) : sample.text);

      std::u16string wide(sample.text.size() + 4, u'#');
      written = -1;
      ASSERT_EQ(juConvToUChars(wide.data(), static_cast<int64_t>(wide.size()), expected.data(),
                               static_cast<int64_t>(expected.size()), &written, converter, swap),
                0);
      ASSERT_EQ(written, static_cast<int64_t>(sample.text.size()));
      EXPECT_EQ(wide.substr(0, sample.text.size()), source);
      EXPECT_EQ(wide[sample.text.size()], u'\0');
    }
  }
}

TEST(RoundTrip, StreamingThroughEveryConverter) {
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.converter);
    Converter converter(sample.converter);
    const std::string expected = icuEncode(sample.converter, sample.text);
    for (int swap : {0, 1}) {
      SCOPED_TRACE(swap);
      const std::u16string source = swap ? swapped(sample.text) : sample.text;
      std::string narrow(expected.size() + 1, '#');
      int64_t written = -1;
      int64_t consumed = -1;
      ASSERT_EQ(juConvFromUnicode(narrow.data(), static_cast<int64_t>(narrow.size()), source.data(),
                                  static_cast<int64_t>(source.size()), &written, &consumed, converter, swap),
                0);
      EXPECT_EQ(written, static_cast<int64_t>(expected.size()));
      EXPECT_EQ(consumed, static_cast<int64_t>(source.size()));
      EXPECT_EQ(narrow, expected + '\0');
      EXPECT_EQ(source, swap ? swapped(sample.text) : sample.text);

      std::u16string wide(sample.text.size() + 1, u'#');
      ASSERT_EQ(juConvToUnicode(wide.data(), static_cast<int64_t>(wide.size()), expected.data(),
                                static_cast<int64_t>(expected.size()), &written, &consumed, converter, swap),
                0);
      EXPECT_EQ(written, static_cast<int64_t>(sample.text.size()));
      EXPECT_EQ(consumed, static_cast<int64_t>(expected.size()));
      EXPECT_EQ(wide, source + u'\0');
    }
  }
}

// A long swapped text whose pairs fall on every piece boundary the worker
// may use converts whole, and the caller's copy is not touched.
TEST(RoundTrip, LongSwappedTextKeepsPairsWhole) {
  std::u16string text;
  for (int i = 0; i < 3000; ++i) text += (i % 2 == 0) ? u"\U0001F600" : u"a\u00E9";
  // Pairs every four units: one of the shifts puts a pair on each boundary.
  for (size_t shift : {0u, 1u, 2u, 3u}) {
    SCOPED_TRACE(shift);
    const std::u16string body = std::u16string(shift, u'x') + text;
    const std::u16string source = swapped(body);
    const std::string expected = icuEncode("GB18030", body);
    Converter gb("GB18030");
    gb.stopOnErrors();
    std::string out(expected.size() + 1, '#');
    int64_t written = -1;
    int64_t consumed = -1;
    ASSERT_EQ(juConvFromUnicode(out.data(), static_cast<int64_t>(out.size()), source.data(),
                                static_cast<int64_t>(source.size()), &written, &consumed, gb, 1),
              0);
    EXPECT_EQ(out, expected + '\0');
    EXPECT_EQ(consumed, static_cast<int64_t>(source.size()));
    EXPECT_EQ(source, swapped(body));
    std::string whole(expected.size() + 1, '#');
    ASSERT_EQ(juConvFromUChars(whole.data(), static_cast<int64_t>(whole.size()), source.data(),
                               static_cast<int64_t>(source.size()), &written, gb, 1),
              0);
    EXPECT_EQ(whole, expected + '\0');
  }
}

// --- Streaming workers ------------------------------------------------------

TEST(ConvToUnicode, DestinationBoundaries) {
  Converter cp1252("windows-1252");
  const char* source = "h\xE9llo";  // five characters
  struct Row {
    int64_t size;
    int32_t result;
    int64_t written;
    bool terminated;
  };
  const Row rows[] = {
      {0, 4, -1, false}, {1, 1, 1, false},
      {4, 1, 4, false},  {5, 0, 5, false},  // exact: whole, but no room for the terminator
      {6, 0, 5, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::u16string out(8, u'#');
    int64_t written = -1;
    int64_t consumed = -1;
    EXPECT_EQ(juConvToUnicode(out.data(), row.size, source, 5, &written, &consumed, cp1252, 0), row.result);
    EXPECT_EQ(written, row.written);
    if (row.written >= 0) {
      const auto n = static_cast<size_t>(row.written);
      EXPECT_EQ(out.substr(0, n), std::u16string(u"h\u00E9llo", n));
    }
    EXPECT_EQ(out[5] == u'\0', row.terminated);
  }
}

TEST(ConvFromUnicode, DestinationBoundaries) {
  Converter cp1252("windows-1252");
  const char16_t* source = u"h\u00E9llo";
  struct Row {
    int64_t size;
    int32_t result;
    int64_t written;
    int64_t consumed;
    bool terminated;
  };
  const Row rows[] = {
      {0, 4, -1, -1, false},
      {1, 1, 1, 1, false},
      {5, 0, 5, 5, false},
      {6, 0, 5, 5, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::string out(8, '#');
    int64_t written = -1;
    int64_t consumed = -1;
    EXPECT_EQ(juConvFromUnicode(out.data(), row.size, source, 5, &written, &consumed, cp1252, 0), row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(consumed, row.consumed);
    EXPECT_EQ(out[5] == '\0', row.terminated);
  }
}

TEST(StreamingWorkers, BadArgumentsAndIcuBounds) {
  Converter utf8("UTF-8");
  char narrow[8];
  char16_t wide[8];
  int64_t written = 77;
  EXPECT_EQ(juConvToUnicode(nullptr, 8, "a", 1, &written, nullptr, utf8, 0), 4);
  EXPECT_EQ(juConvToUnicode(wide, 8, nullptr, 1, &written, nullptr, utf8, 0), 4);
  EXPECT_EQ(juConvToUnicode(wide, -1, "a", 1, &written, nullptr, utf8, 0), 4);
  EXPECT_EQ(juConvToUnicode(wide, 8, "a", -1, &written, nullptr, utf8, 0), 4);
  EXPECT_EQ(juConvToUnicode(wide, 8, "a", 1, &written, nullptr, nullptr, 0), 4);
  EXPECT_EQ(juConvFromUnicode(narrow, 8, u"a", kBeyondInt32, &written, nullptr, utf8, 0), 4);
  EXPECT_EQ(juConvToUnicode(wide, 8, "a", kBeyondInt32, &written, nullptr, utf8, 0), 4);
  EXPECT_EQ(written, 77);  // left alone on a bad argument
  // A destination larger than one ICU call can take is only unused room.
  for (int64_t size : {kBeyondInt32 - 1, kBeyondInt32, INT64_MAX}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(juConvToUnicode(wide, size, "ab", 2, &written, nullptr, utf8, 0), 0);
    EXPECT_EQ(std::u16string(wide), u"ab");
    EXPECT_EQ(juConvFromUnicode(narrow, size, u"ab", 2, &written, nullptr, utf8, 0), 0);
    EXPECT_EQ(std::string(narrow), "ab");
  }
}

TEST(StreamingWorkers, IllFormedAndUnmappableInput) {
  Converter sjis("ibm-943_P15A-2003");
  sjis.stopOnErrors();
  char16_t wide[8];
  int64_t written = -1;
  int64_t consumed = -1;
  // A lead byte without a trail byte is ill-formed: 2, the part before it kept.
  EXPECT_EQ(juConvToUnicode(wide, 8, "a\x81\x20", 3, &written, &consumed, sjis, 0), 2);
  EXPECT_EQ(written, 1);
  EXPECT_EQ(std::u16string(wide), u"a");

  Converter cp1252("windows-1252");
  cp1252.stopOnErrors();
  char narrow[8];
  // A lone surrogate is ill-formed (2); a character 1252 lacks fails (4).
  EXPECT_EQ(juConvFromUnicode(narrow, 8, u"a\xD800z", 3, &written, &consumed, cp1252, 0), 2);
  EXPECT_EQ(std::string(narrow), "a");
  EXPECT_EQ(juConvFromUnicode(narrow, 8, u"a\u4E00z", 3, &written, &consumed, cp1252, 0), 4);
  EXPECT_EQ(std::string(narrow), "a");
  EXPECT_EQ(consumed, 2);
}

TEST(ConvToUnicode, SwapsOutputAlsoWhenCut) {
  Converter cp1252("windows-1252");
  std::u16string out(4, u'#');
  EXPECT_EQ(juConvToUnicode(out.data(), 4, "ab", 2, nullptr, nullptr, cp1252, 1), 0);
  EXPECT_EQ(out, std::u16string(u"\x6100\x6200\0#", 4));
  // Cut output comes back swapped too.
  out.assign(4, u'#');
  EXPECT_EQ(juConvToUnicode(out.data(), 1, "ab", 2, nullptr, nullptr, cp1252, 1), 1);
  EXPECT_EQ(out[0], u'\x6100');
}

// --- Whole-string workers ---------------------------------------------------

TEST(ConvToUChars, DestinationBoundaries) {
  Converter cp1252("windows-1252");
  struct Row {
    int64_t size;
    int32_t result;
    std::u16string contents;  // the destination's first min(size, 6) units
  };
  const Row rows[] = {
      {1, 1, std::u16string(u"\0", 1)},
      {2, 1, std::u16string(u"h\0", 2)},
      {5, 1, std::u16string(u"h\u00E9ll\0", 5)},
      {6, 0, std::u16string(u"h\u00E9llo\0", 6)},  // fills the room before the terminator: whole
      {7, 0, std::u16string(u"h\u00E9llo\0", 6)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::u16string out(8, u'#');
    int64_t written = -1;
    EXPECT_EQ(juConvToUChars(out.data(), row.size, "h\xE9llo", 5, &written, cp1252, 0), row.result);
    EXPECT_EQ(written, 5);  // the full length, also when cut
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
  std::u16string out(4, u'#');
  // Nothing of a pair that does not fit.
  Converter utf8("UTF-8");
  EXPECT_EQ(juConvToUChars(out.data(), 3, "a\xF0\x9F\x98\x80", 5, nullptr, utf8, 0), 1);
  EXPECT_EQ(out.substr(0, 3), std::u16string(u"a\0\0", 3));
  EXPECT_EQ(juConvToUChars(out.data(), 0, "a", 1, nullptr, cp1252, 0), 4);
  EXPECT_EQ(juConvToUChars(out.data(), 4, "", 0, nullptr, cp1252, 0), 0);
  EXPECT_EQ(out[0], u'\0');
  // -1 runs to the NUL, as ICU takes it.
  EXPECT_EQ(juConvToUChars(out.data(), 4, "xyz", -1, nullptr, cp1252, 0), 0);
  EXPECT_EQ(std::u16string(out.data()), u"xyz");
}

TEST(ConvFromUChars, DestinationBoundariesAndPartialCharacters) {
  Converter sjis("ibm-943_P15A-2003");
  const char16_t* text = u"a\u65E5b";  // 1 + 2 + 1 bytes
  struct Row {
    int64_t size;
    int32_t result;
    std::string contents;
  };
  const Row rows[] = {
      {1, 1, std::string("\0", 1)},
      {2, 1, std::string("a\0", 2)},
      {3, 1, std::string("a\0\0", 3)},  // nothing of a character that does not fit
      {4, 1, std::string("a\x93\xFA\0", 4)},
      {5, 0,
       std::string("a\x93\xFA"
                   "b\0",
                   5)},
      {6, 0,
       std::string("a\x93\xFA"
                   "b\0",
                   5)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::string out(8, '#');
    int64_t written = -1;
    EXPECT_EQ(juConvFromUChars(out.data(), row.size, text, 3, &written, sjis, 0), row.result);
    EXPECT_EQ(written, 4);
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
}

}  // namespace
