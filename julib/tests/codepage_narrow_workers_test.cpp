// Conversion workers over real ICU converters, narrow to narrow: through the
// pivot and character by character, the ASCII fast path, stateful targets,
// counted cuts and measured sizes.

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

using NarrowWorker = int32_t (*)(char*, int64_t, const char*, int64_t, int64_t*, UConverter*, UConverter*);

// The seven narrow-to-narrow workers with one signature: source converter
// first, whatever their own order.
struct NarrowForm {
  const char* name;
  NarrowWorker run;
};
const NarrowForm kNarrowForms[] = {
    {"CodePage", [](char* d, int64_t n, const char* s, int64_t l, int64_t* w, UConverter* from,
                    UConverter* to) { return juConvCodePage(d, n, s, l, w, nullptr, from, to); }},
    {"Bytes", [](char* d, int64_t n, const char* s, int64_t l, int64_t* w, UConverter* from,
                 UConverter* to) { return juConvCodePageBytes(d, n, s, l, w, nullptr, to, from); }},
    {"Pivot", [](char* d, int64_t n, const char* s, int64_t l, int64_t* w, UConverter* from,
                 UConverter* to) { return juConvCodePagePivot(d, n, s, l, w, nullptr, from, to); }},
    {"Pivot2", [](char* d, int64_t n, const char* s, int64_t l, int64_t* w, UConverter* from,
                  UConverter* to) { return juConvCodePagePivot2(d, n, s, l, w, nullptr, from, to); }},
    {"Measured", juConvCodePageMeasured},
    {"Chars", juConvCodePageChars},
    {"Safe", [](char* d, int64_t n, const char* s, int64_t l, int64_t* w, UConverter* from,
                UConverter* to) { return juConvCodePageSafe(d, n, s, l, w, to, from); }},
};

struct Pair {
  const char* from;
  const char* to;
  std::u16string text;
};

const std::vector<Pair>& pairs() {
  static const std::vector<Pair> rows = {
      {"windows-1252", "UTF-8", u"plain ASCII first, then Caf\u00E9 \u20AC"},
      {"UTF-8", "windows-1252", u"Caf\u00E9 \u20AC"},
      {"ibm-943_P15A-2003", "UTF-8", u"abc \u65E5\u672C\u8A9E \uFF71"},
      {"ibm-943_P15A-2003", "EUC-KR", u"abc \u65E5\u672C"},
      {"EUC-KR", "UTF-16LE", u"\uD55C\uAD6D\uC5B4 abc"},
      {"GB18030", "UTF-8", u"\u4E2D\u6587 \U0001F600 \U00020000"},
      {"UTF-8", "GB18030", u"ascii \U0001F600\u4E2D"},
      {"UTF-8", "ibm-930", u"ABC \uFF71 \u65E5\u672C"},  // ends with SI
      {"ibm-930", "UTF-8", u"\u65E5\u672C ABC \uFF71"},
      {"UTF-16BE", "UTF-8", u"AB\u00E9\U0001F600"},
      {"ibm-1047", "UTF-8", u" .<(+&!$*);"},  // EBCDIC bytes 40-5E: not ASCII
      {"UTF-8", "ibm-1047", u" .<(+&!$*);"},
      {"HZ-GB-2312", "UTF-8", u"ab\u4E2D\u6587"},  // 7-bit with shifts
      {"UTF-8", "HZ-GB-2312", u"ab\u4E2D\u6587"},
      {"UTF-7", "UTF-8", u"a+b \u00E9"},
      {"UTF-8", "UTF-16LE", u"AB"},
      {"windows-1252", "windows-1252", u"ASCII only"},
  };
  return rows;
}

TEST(NarrowWorkers, AgreeWithIcuOnEveryPair) {
  for (const Pair& pair : pairs()) {
    const std::string source = icuEncode(pair.from, pair.text);
    const std::string expected = icuEncode(pair.to, pair.text);
    Converter from(pair.from);
    Converter to(pair.to);
    ASSERT_NE(from.get(), nullptr) << pair.from;
    ASSERT_NE(to.get(), nullptr) << pair.to;
    for (const NarrowForm& form : kNarrowForms) {
      SCOPED_TRACE(std::string(pair.from) + " -> " + pair.to + " by " + form.name);
      std::string out(expected.size() + 16, '#');
      int64_t written = -1;
      ASSERT_EQ(form.run(out.data(), static_cast<int64_t>(out.size()), source.data(),
                         static_cast<int64_t>(source.size()), &written, from, to),
                0);
      ASSERT_EQ(written, static_cast<int64_t>(expected.size()));
      EXPECT_EQ(out.substr(0, expected.size()), expected);
      EXPECT_EQ(out[expected.size()], '\0');
    }
  }
}

// Two-byte targets end in two zero bytes from the pivot-only and the
// per-character forms that size their terminator by the target.
TEST(NarrowWorkers, TwoByteTerminatorForUtf16Targets) {
  Converter from("windows-1252");
  Converter to("UTF-16LE");
  for (const NarrowForm& form : kNarrowForms) {
    const std::string name = form.name;
    if (name != "Pivot" && name != "Pivot2" && name != "Chars") continue;
    SCOPED_TRACE(name);
    std::string out(8, '#');
    int64_t written = -1;
    ASSERT_EQ(form.run(out.data(), 8, "ab", 2, &written, from, to), 0);
    EXPECT_EQ(out, std::string("a\0b\0\0\0##", 8));
    EXPECT_EQ(written, 4);
  }
}

TEST(ConvCodePage, AsciiFastPath) {
  Converter from("windows-1252");
  Converter to("UTF-8");
  struct Row {
    const char* source;
    int64_t size;
    int32_t result;
    int64_t written;
    int64_t consumed;
    std::string contents;
  };
  const Row rows[] = {
      // Smaller than the all-ASCII source: full, cut, no terminator.
      {"abcdefghij", 8, 1, 8, 8, "abcdefgh#"},
      {"abcdefghij", 1, 1, 1, 1, "a#"},
      // Exactly the source: whole, no room for the terminator.
      {"abcdefghij", 10, 0, 10, 10, "abcdefghij#"},
      {"abcdefghij", 11, 0, 10, 10, std::string("abcdefghij\0", 11)},
      // A byte of 0x80 or above hands over to the pivot at any position.
      {"ab\xE9"
       "defghij",
       12, 0, 11, 10,
       std::string("ab\xC3\xA9"
                   "defghij\0",
                   12)},
      {"abcdefghi\xE9", 12, 0, 11, 10, std::string("abcdefghi\xC3\xA9\0", 12)},
      // A character that does not fit whole leaves nothing of itself.
      {"abcdefghi\xE9", 10, 1, 9, 9, std::string("abcdefghi\0#", 11)},
      {"abc", 4, 0, 3, 3, std::string("abc\0", 4)},
      {"", 1, 0, 0, 0, std::string("\0", 1)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.source);
    SCOPED_TRACE(row.size);
    std::string out(16, '#');
    int64_t written = -1;
    int64_t consumed = -1;
    EXPECT_EQ(juConvCodePage(out.data(), row.size, row.source, static_cast<int64_t>(std::strlen(row.source)), &written,
                             &consumed, from, to),
              row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(consumed, row.consumed);
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
}

TEST(ConvCodePage, BadArguments) {
  Converter utf8("UTF-8");
  char out[4];
  int64_t written = 77;
  EXPECT_EQ(juConvCodePage(out, 0, "a", 1, &written, nullptr, utf8, utf8), 4);
  EXPECT_EQ(written, 77);
  EXPECT_EQ(juConvCodePageBytes(out, 0, "a", 1, &written, nullptr, utf8, utf8), 4);
  EXPECT_EQ(written, 0);  // only this form reports 0 written on a bad argument
  written = 77;
  EXPECT_EQ(juConvCodePagePivot(out, 4, nullptr, 1, &written, nullptr, utf8, utf8), 4);
  EXPECT_EQ(juConvCodePageMeasured(nullptr, 4, "a", 1, &written, utf8, utf8), 4);
  EXPECT_EQ(juConvCodePageSafe(out, 4, "a", kBeyondInt32, &written, utf8, utf8), 4);
  EXPECT_EQ(written, 77);
}

// A pair that the source converter splits across two fills of the 2000-unit
// pivot is written as one character.
TEST(ConvCodePagePivot, PairAcrossPivotFills) {
  Converter from("UTF-8");
  Converter to("GB18030");
  from.stopOnErrors();
  to.stopOnErrors();
  for (size_t lead : {1998u, 1999u, 2000u, 3999u}) {
    SCOPED_TRACE(lead);
    const std::u16string text = u"\u00E9" + std::u16string(lead - 1, u'a') + u"\U0001F600" + u"\U00020000tail";
    const std::string source = icuEncode("UTF-8", text);
    const std::string expected = icuEncode("GB18030", text);
    for (const NarrowForm& form : kNarrowForms) {
      SCOPED_TRACE(form.name);
      std::string out(expected.size() + 2, '#');
      int64_t written = -1;
      ASSERT_EQ(form.run(out.data(), static_cast<int64_t>(out.size()), source.data(),
                         static_cast<int64_t>(source.size()), &written, from, to),
                0);
      EXPECT_EQ(out.substr(0, expected.size()), expected);
    }
  }
}

// A stateful EBCDIC target closes its double-byte run with SI (0x0F), also
// after many pivot fills.
TEST(NarrowWorkers, StatefulTargetEndsInSingleByteMode) {
  Converter from("UTF-8");
  Converter to("ibm-930");
  for (size_t repeat : {1u, 3000u}) {
    SCOPED_TRACE(repeat);
    std::u16string text;
    for (size_t i = 0; i < repeat; ++i) text += u"A\u65E5";
    const std::string source = icuEncode("UTF-8", text);
    for (const NarrowForm& form : kNarrowForms) {
      SCOPED_TRACE(form.name);
      std::string out(source.size() * 3 + 4, '#');
      int64_t written = -1;
      ASSERT_EQ(form.run(out.data(), static_cast<int64_t>(out.size()), source.data(),
                         static_cast<int64_t>(source.size()), &written, from, to),
                0);
      ASSERT_GT(written, 0);
      EXPECT_EQ(out[static_cast<size_t>(written) - 1], '\x0F');
      EXPECT_EQ(icuDecode("ibm-930", out.substr(0, static_cast<size_t>(written))), text);
    }
  }
  // The streaming and whole-string forms flush as well.
  const char16_t* text = u"A\u65E5";
  std::string out(16, '#');
  int64_t written = -1;
  ASSERT_EQ(juConvFromUnicode(out.data(), 16, text, 2, &written, nullptr, to, 0), 0);
  EXPECT_EQ(out.substr(0, static_cast<size_t>(written)), icuEncode("ibm-930", text));
  EXPECT_EQ(out[static_cast<size_t>(written) - 1], '\x0F');
  ASSERT_EQ(juConvFromUChars(out.data(), 16, text, 2, &written, to, 0), 0);
  EXPECT_EQ(out[static_cast<size_t>(written) - 1], '\x0F');
}

// A call cut short leaves nothing behind in the converters that the next
// conversion would emit.
TEST(NarrowWorkers, CutConversionDoesNotLeakIntoTheNext) {
  Converter from("UTF-8");
  Converter to("ibm-930");
  const std::string first = icuEncode("UTF-8", u"\u65E5\u672C\u8A9E");
  for (const NarrowForm& form : kNarrowForms) {
    SCOPED_TRACE(form.name);
    char small[4];
    int64_t written = -1;
    EXPECT_EQ(form.run(small, 4, first.data(), static_cast<int64_t>(first.size()), &written, from, to), 1);
    std::string out(8, '#');
    ASSERT_EQ(form.run(out.data(), 8, "AB", 2, &written, from, to), 0);
    EXPECT_EQ(out.substr(0, 3), std::string("\xC1\xC2\0", 3));
  }
}

std::u16string repeated(const std::u16string& text, size_t times) {
  std::u16string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

// A resumable form as a conversion that reports what it wrote and consumed.
template <typename Resumable>
auto counted(Resumable convert) {
  return [convert](auto* dst, int64_t size, const auto* src, int64_t length, int64_t* written, int64_t* consumed) {
    auto* out = dst;
    const auto* in = src;
    UErrorCode error = U_ZERO_ERROR;
    convert(&out, static_cast<int32_t>(size), nullptr, &in, static_cast<int32_t>(length), &error);
    *written = out - dst;
    *consumed = in - src;
  };
}

// Every worker that reports what it consumed cuts between characters, so
// that a caller can go on from `consumed` (the converters are not reset in
// between).
TEST(CountingWorkers, CutsFallBetweenCharacters) {
  const std::u16string mixed = u"a\u00E9\u20AC\U0001F600b";  // 1 to 4 UTF-8 bytes
  struct Row {
    std::string from;
    std::string to;
    std::u16string text;
  };
  const Row rows[] = {
      {"UTF-16LE", "UTF-8", mixed},
      {"UTF-8", "UTF-16LE", mixed},
      {"UTF-8", "windows-1252", mixed},  // the pair becomes one substitute byte
      {"ibm-943_P15A-2003", "UTF-8", u"a\uFF71\u65E5\u00A7b"},
      {"GB18030", "UTF-8", mixed},
      // Past the traced end of one call, and a pair across two fills of the pivot.
      {"UTF-8", "GB18030", u"1234" + repeated(mixed, 340)},
  };
  using jutest::characterEnds;
  using jutest::expectCutsBetweenCharacters;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.from + " to " + row.to);
    Converter from(row.from.c_str());
    Converter to(row.to.c_str());
    const std::string source = icuEncode(row.from.c_str(), row.text);
    const std::string target = icuEncode(row.to.c_str(), row.text);
    const std::set<int64_t> sourceEnds = characterEnds(row.from.c_str(), row.text);
    const std::set<int64_t> targetEnds = characterEnds(row.to.c_str(), row.text);
    const std::set<int64_t> unitEnds = characterEnds("UTF-16LE", row.text, 2);
    // Where each form cuts is read from its counts; the codes are checked
    // elsewhere.
    const jutest::CountedConversion<char, char> narrow[] = {
        [&](auto... a) { (void)juConvCodePage(a..., from, to); },
        [&](auto... a) { (void)juConvCodePageBytes(a..., to, from); },
        [&](auto... a) { (void)juConvCodePagePivot(a..., from, to); },
        [&](auto... a) { (void)juConvCodePagePivot2(a..., from, to); },
    };
    for (size_t form = 0; form < std::size(narrow); ++form) {
      SCOPED_TRACE("narrow form " + std::to_string(form));
      expectCutsBetweenCharacters(narrow[form], source, sourceEnds, target, targetEnds);
    }
    expectCutsBetweenCharacters<char16_t, char>([&](auto... a) { (void)juConvToUnicode(a..., from, 0); }, source,
                                                sourceEnds, row.text, unitEnds);
    expectCutsBetweenCharacters<char, char16_t>([&](auto... a) { (void)juConvFromUnicode(a..., to, 0); }, row.text,
                                                unitEnds, target, targetEnds);
    if (row.to == "UTF-8") {
      expectCutsBetweenCharacters<char, char16_t>(counted(juUtf16ToUtf8Resumable), row.text, unitEnds, target,
                                                  targetEnds);
    }
    if (row.from == "UTF-8") {
      expectCutsBetweenCharacters<char16_t, char>(counted(juUtf8ToUtf16Resumable), source, sourceEnds, row.text,
                                                  unitEnds);
    }
  }
}

// --- Per-character workers --------------------------------------------------

TEST(ConvCodePageMeasured, CutsAtACharacterAndMeasuresTheWhole) {
  Converter from("windows-1252");
  Converter to("UTF-8");
  const char* source = "h\xE9llo";  // 6 bytes in UTF-8
  struct Row {
    int64_t size;
    int32_t result;
    int64_t written;
    std::string contents;
  };
  const Row rows[] = {
      {1, 1, 6, std::string("\0", 1)},
      {2, 1, 6, std::string("h\0", 2)},
      {3, 1, 6, std::string("h\0", 2)},  // the two bytes of é do not fit before the terminator
      {6, 1, 6, std::string("h\xC3\xA9ll\0", 6)},
      {7, 0, 6, std::string("h\xC3\xA9llo\0", 7)},
      {8, 0, 6, std::string("h\xC3\xA9llo\0", 7)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::string out(10, '#');
    int64_t written = -1;
    EXPECT_EQ(juConvCodePageMeasured(out.data(), row.size, source, 5, &written, from, to), row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
}

TEST(ConvCodePageMeasured, NeededSizeCountsShiftBytes) {
  Converter from("UTF-8");
  Converter to("ibm-930");
  const std::string source = icuEncode("UTF-8", u"A\u65E5\u672C");
  const std::string expected = icuEncode("ibm-930", u"A\u65E5\u672C");  // A SO xx xx xx xx SI
  std::string out(4, '#');
  int64_t written = -1;
  EXPECT_EQ(
      juConvCodePageMeasured(out.data(), 4, source.data(), static_cast<int64_t>(source.size()), &written, from, to), 1);
  EXPECT_EQ(written, static_cast<int64_t>(expected.size()));
  EXPECT_EQ(out[0], expected[0]);
}

TEST(ConvCodePageChars, SizeTooSmallForTheTerminator) {
  Converter from("windows-1252");
  Converter to("UTF-16LE");
  std::string out(4, '#');
  int64_t written = -1;
  // One byte cannot hold a two-byte terminator: only that byte is zeroed.
  EXPECT_EQ(juConvCodePageChars(out.data(), 1, "ab", 2, &written, from, to), 1);
  EXPECT_EQ(written, 4);
  EXPECT_EQ(out, std::string("\0###", 4));
  EXPECT_EQ(juConvCodePageChars(out.data(), 4, "ab", 2, &written, from, to), 1);
  EXPECT_EQ(out, std::string("a\0\0\0", 4));
}

TEST(ConvCodePageSafe, ChoosesItsPath) {
  Converter from("windows-1252");
  Converter to("UTF-8");  // at most 3 bytes a character
  std::string out(16, '#');
  int64_t written = -1;
  // 3 * 5 >= 10: per character, cut at a character, the whole size measured.
  EXPECT_EQ(juConvCodePageSafe(out.data(), 4, "\xE9\xE9\xE9zz", 5, &written, to, from), 1);
  EXPECT_EQ(written, 8);
  EXPECT_EQ(out.substr(0, 3), std::string("\xC3\xA9\0", 3));
  // 3 * 5 < 16: the byte path.
  EXPECT_EQ(juConvCodePageSafe(out.data(), 16, "\xE9\xE9\xE9zz", 5, &written, to, from), 0);
  EXPECT_EQ(written, 8);
  EXPECT_EQ(out.substr(0, 9), std::string("\xC3\xA9\xC3\xA9\xC3\xA9zz\0", 9));
}

TEST(PerCharacterWorkers, SourceFailureReportsNothingWritten) {
  Converter from("ibm-943_P15A-2003");
  from.stopOnErrors();
  Converter to("UTF-8");
  std::string out(16, '#');
  int64_t written = -1;
  EXPECT_EQ(juConvCodePageMeasured(out.data(), 16, "ab\x81\x20", 4, &written, from, to), 2);
  EXPECT_EQ(written, 0);
  // A character the target lacks stops the conversion where the target says.
  Converter cp1252("windows-1252");
  cp1252.stopOnErrors();
  Converter utf8("UTF-8");
  const std::string han = icuEncode("UTF-8", u"ab\u4E00");
  EXPECT_EQ(
      juConvCodePageMeasured(out.data(), 16, han.data(), static_cast<int64_t>(han.size()), &written, utf8, cp1252), 4);
  EXPECT_EQ(written, 2);
}

}  // namespace
