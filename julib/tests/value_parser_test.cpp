// JuValueParser and JuBitArray: parsing connect strings, reading and changing
// attributes, building them back, and the consumed marks.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "julib/valueparser.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"
#include "value_parser_cases.h"

namespace {

using jutest::JuTest;
using jutest::Pairs;

std::string text(const JuSubString* view) {
  return view == nullptr || view->data == nullptr ? std::string() : std::string(view->data, view->length);
}

Pairs attributesOf(const JuValueParser& parser) {
  Pairs out;
  for (uint64_t i = 0; i < parser.attributes.count; ++i) {
    out.emplace_back(text(parser.attributes.keyAt(i)), text(static_cast<JuString*>(parser.attributes.valueAt(i))));
  }
  return out;
}

// A parser over its own copy of the text (parsed keys point into it).
struct Parsed {
  explicit Parsed(const std::string& source, uint32_t allowDuplicates = 0, char separator = ';',
                  const char* name = nullptr, JuCodePageKind kind = JuCodePageKind::kAnsi)
      : text(source), parser(JuSubString(text.data(), text.size(), kind), separator, name, allowDuplicates) {}
  std::string text;
  JuValueParser parser;
};

std::string built(JuValueParser& parser, char separator = ';') {
  JuString out;
  EXPECT_EQ(parser.build(out, separator), 0);
  return text(&out);
}

// ---------------------------------------------------------------------------
// Parsing: the shared table
// ---------------------------------------------------------------------------

using ValueParserParse = JuTest;

TEST_F(ValueParserParse, TableOfConnectStrings) {
  for (const jutest::ParseCase& row : jutest::parseCases()) {
    SCOPED_TRACE(std::string(row.note) + ": " + row.text);
    jutest::ScopedErrorList errors;
    Parsed p(row.text, row.allowDuplicates);
    const int status = p.parser.parse();
    if (row.errors.empty()) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(attributesOf(p.parser), row.attributes);
      EXPECT_TRUE(errors.ids().empty());
    } else {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(errors.ids(), row.errors);
      EXPECT_EQ(errors.message(0).rfind("Error parsing connect string at offset " + std::to_string(row.offset) + ". ", 0),
                0u)
          << errors.message(0);
    }
  }
}

TEST_F(ValueParserParse, NumberMayStartANarrowKey) {
  const struct {
    std::string text;
    Pairs attributes;
    int status;
  } rows[] = {
      {"1A=2", Pairs{{"1A", "2"}}, 0},
      {"12=x;3 Y=z", Pairs{{"12", "x"}, {"3 Y", "z"}}, 0},
      {"A 1=2", Pairs{}, 1},  // a number only as the first piece
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    Parsed p(row.text);
    EXPECT_EQ(p.parser.parse(), row.status);
    if (row.status == 0) {
      EXPECT_EQ(attributesOf(p.parser), row.attributes);
    }
  }
}

TEST_F(ValueParserParse, DuplicateMessageNamesTheKey) {
  Parsed p("A=1;a=2");
  EXPECT_EQ(p.parser.parse(), 1);
  EXPECT_EQ(errors_.message(0), "Error parsing connect string at offset 5.  Attribute 'a' specified more than once.");
  // What was read before the failure stays.
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"A", "1"}}));
}

TEST_F(ValueParserParse, TextNameSelects2705) {
  Parsed p("A=1;B", 0, ';', "the options");
  EXPECT_EQ(p.parser.parse(), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2705}));
  EXPECT_EQ(errors_.message(0), "Error parsing the options at offset 5.");
  // A name in UTF-16 text (kind 2) runs to its zero unit.
  const char16_t name[] = u"the options";
  Parsed wide("A=1;B", 0, ';', reinterpret_cast<const char*>(name), JuCodePageKind::kUtf16);
  EXPECT_EQ(wide.parser.parse(), 1);
  EXPECT_EQ(errors_.message(1), "Error parsing the options at offset 5.");
}

TEST_F(ValueParserParse, OffsetsAfterDoubledEqualsCountFromTheTextStart) {
  // The value starts after the first "=" of "==", and later offsets still
  // count from the start of the text.
  Parsed p("A==1;B");
  EXPECT_EQ(p.parser.parse(), 1);
  EXPECT_EQ(errors_.message(0), "Error parsing connect string at offset 6. ");
}

TEST_F(ValueParserParse, OtherSeparator) {
  Parsed p("A=1,B={x,y},C=a;b", 0, ',');
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"A", "1"}, {"B", "x,y"}, {"C", "a;b"}}));
}

TEST_F(ValueParserParse, WordCharsAndQuoteChars) {
  Parsed p("my-key=1;x=|a;b|");
  ASSERT_EQ(p.parser.addWordChars("-"), 0);
  p.parser.setQuoteChars('|', '\'', '"');
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"my-key", "1"}, {"x", "|a;b|"}}));
  EXPECT_EQ(p.parser.clearWordChars(), 0);
  EXPECT_EQ(p.parser.scanner.wordChars.length, 0u);
  EXPECT_EQ(p.parser.scanner.wordStartChars.length, 0u);
}

TEST_F(ValueParserParse, DoubleByteCharactersHideTheirTrailBytes) {
  jutest::ScopedCodePage cp(932);
  // 0x83 0x7D is one character whose trail byte is "}": it neither closes
  // the braces nor counts as a doubled "}".
  Parsed p("A={\x83};x}}};B=\x83}");
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"A", "\x83};x}"}, {"B", "\x83}"}}));
  Parsed again(built(p.parser));
  ASSERT_EQ(again.parser.parse(), 0);
  EXPECT_EQ(attributesOf(again.parser), attributesOf(p.parser));
}

TEST_F(ValueParserParse, IdeographicSpaceIsTrimmed) {
  jutest::ScopedCodePage cp(932);
  Parsed p("A=\x81\x40x\x81\x40;B=1");
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"A", "x"}, {"B", "1"}}));
}

// ---------------------------------------------------------------------------
// Reading and the consumed marks
// ---------------------------------------------------------------------------

using ValueParserRead = JuTest;

TEST_F(ValueParserRead, GetIgnoresCaseAndMarksConsumed) {
  Parsed p("DSN=abc;UID=me;X=1");
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(p.parser.countUnconsumed(), 3);
  EXPECT_EQ(text(p.parser.get("dsn")), "abc");
  EXPECT_EQ(p.parser.get("nope"), nullptr);
  EXPECT_EQ(p.parser.contains("x"), 1);  // contains marks nothing
  EXPECT_EQ(p.parser.contains("y"), 0);
  EXPECT_EQ(p.parser.countUnconsumed(), 2);
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "UID");
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "X");
  EXPECT_EQ(p.parser.nextUnconsumed(), nullptr);
  EXPECT_EQ(p.parser.resetConsumed(), 0);
  EXPECT_EQ(p.parser.countUnconsumed(), 3);
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "DSN");
  EXPECT_EQ(text(p.parser.get(JuSubString("UID"))), "me");
  EXPECT_EQ(text(p.parser.keyAt(2)), "X");
  EXPECT_EQ(p.parser.keyAt(3), nullptr);
}

TEST_F(ValueParserRead, GetEither) {
  struct Row {
    std::string text;
    int status;
    std::string value;  // "<none>" for null
    std::vector<uint16_t> errors;
  };
  const Row rows[] = {
      {"USER=u", 0, "u", {}},
      {"UID=i", 0, "i", {}},
      {"X=1", 0, "<none>", {}},
      {"UID=i;USER=i", 1, "<none>", {2704}},  // the narrow form never compares
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    jutest::ScopedErrorList errors;
    Parsed p(row.text);
    ASSERT_EQ(p.parser.parse(), 0);
    JuString* value = reinterpret_cast<JuString*>(1);
    EXPECT_EQ(p.parser.getEither("USER", "UID", &value), row.status);
    EXPECT_EQ(value == nullptr ? "<none>" : text(value), row.value);
    EXPECT_EQ(errors.ids(), row.errors);
    if (!row.errors.empty()) {
      EXPECT_EQ(errors.message(0),
                "Error parsing connect string at offset 12.  Attribute specified twice using keywords 'USER' and "
                "'UID'.");
    }
  }
}

TEST_F(ValueParserRead, MarksGrowWithAddedAttributes) {
  Parsed p("A=1");
  ASSERT_EQ(p.parser.parse(), 0);
  ASSERT_EQ(p.parser.consumed.count, 1u);
  for (int i = 0; i < 20; ++i) {
    const std::string key = "K" + std::to_string(i);
    ASSERT_EQ(p.parser.addAttribute(key.c_str(), "v", nullptr), 0);
  }
  // The marks still count one attribute: get beyond it grows them.
  EXPECT_EQ(text(p.parser.get("K19")), "v");
  EXPECT_EQ(p.parser.consumed.count, 21u);
  EXPECT_EQ(p.parser.countUnconsumed(), 20);
  EXPECT_EQ(text(p.parser.get("K8")), "v");
  EXPECT_EQ(p.parser.countUnconsumed(), 19);
}

TEST_F(ValueParserRead, MarksAfterAFailedParse) {
  Parsed p("A=1;B=2;C=3;D");
  EXPECT_EQ(p.parser.parse(), 1);
  EXPECT_EQ(p.parser.consumed.count, 0u);  // never set
  EXPECT_EQ(p.parser.countUnconsumed(), 3);
  EXPECT_EQ(text(p.parser.get("C")), "3");
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "A");
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "B");
  EXPECT_EQ(p.parser.nextUnconsumed(), nullptr);
}

TEST_F(ValueParserRead, RemoveTakesItsMarkAlong) {
  Parsed p("A=1;B=2;C=3");
  ASSERT_EQ(p.parser.parse(), 0);
  p.parser.get("B");
  p.parser.remove("a");
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"B", "2"}, {"C", "3"}}));
  // B stays consumed, C does not.
  EXPECT_EQ(p.parser.countUnconsumed(), 1);
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "C");
  p.parser.remove("missing");
  EXPECT_EQ(p.parser.attributes.count, 2u);
}

TEST_F(ValueParserRead, RemoveBeforeTheCursorKeepsItsPlace) {
  Parsed p("A=1;B=2;C=3;D=4");
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "A");
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "B");
  p.parser.remove("A");
  EXPECT_EQ(text(p.parser.nextUnconsumed()), "C");
}

TEST_F(ValueParserRead, CursorStopsAtItsSixteenBitEnd) {
  // Entries straight into the dictionary: a parse of this many would spend
  // its time on the linear duplicate checks.
  Parsed p("");
  ASSERT_EQ(p.parser.parse(), 0);
  const uint64_t n = 65537;
  for (uint64_t i = 0; i < n; ++i) {
    JuString* key = new JuString();
    JuString* value = new JuString();
    ASSERT_EQ(key->assign("K"), 0);
    ASSERT_EQ(value->assign("v"), 0);
    ASSERT_EQ(p.parser.attributes.add(key, value), 0);
  }
  ASSERT_EQ(p.parser.resetConsumed(), 0);
  EXPECT_EQ(p.parser.countUnconsumed(), UINT16_MAX);
  uint64_t seen = 0;
  while (p.parser.nextUnconsumed() != nullptr) ASSERT_LE(++seen, n);
  EXPECT_EQ(seen, uint64_t{UINT16_MAX});
  EXPECT_EQ(p.parser.nextUnconsumed(), nullptr);
}

// ---------------------------------------------------------------------------
// Adding attributes
// ---------------------------------------------------------------------------

using ValueParserAdd = JuTest;

TEST_F(ValueParserAdd, AppendReplaceAndQuote) {
  Parsed p("DSN=x;UID=me");
  ASSERT_EQ(p.parser.parse(), 0);
  const struct {
    const char* key;
    const char* value;
    const char* alternative;
    Pairs expected;
  } rows[] = {
      {"PWD", "secret", nullptr, Pairs{{"DSN", "x"}, {"UID", "me"}, {"PWD", "secret"}}},
      {"pwd", "a;b", nullptr, Pairs{{"DSN", "x"}, {"UID", "me"}, {"PWD", "'a;b'"}}},
      {"USER", "it's", "UID", Pairs{{"DSN", "x"}, {"UID", "'it''s'"}, {"PWD", "'a;b'"}}},
      {"Q", "say \"hi\"", "none", Pairs{{"DSN", "x"}, {"UID", "'it''s'"}, {"PWD", "'a;b'"}, {"Q", "'say \"hi\"'"}}},
      {"E", "", nullptr, Pairs{{"DSN", "x"}, {"UID", "'it''s'"}, {"PWD", "'a;b'"}, {"Q", "'say \"hi\"'"}, {"E", ""}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    ASSERT_EQ(p.parser.addAttribute(row.key, row.value, row.alternative), 0);
    EXPECT_EQ(attributesOf(p.parser), row.expected);
  }
  // Counted form: the lengths bound the texts.
  ASSERT_EQ(p.parser.addAttribute("DSNXX", 3, "yz!", 2, nullptr, 0), 0);
  EXPECT_EQ(text(p.parser.get("DSN")), "yz");
}

TEST_F(ValueParserAdd, QuotesOnTheParsersSeparator) {
  Parsed p("", 0, ',');
  ASSERT_EQ(p.parser.parse(), 0);
  ASSERT_EQ(p.parser.addAttribute("A", "x,y", nullptr), 0);
  ASSERT_EQ(p.parser.addAttribute("B", "x;y", nullptr), 0);
  EXPECT_EQ(attributesOf(p.parser), (Pairs{{"A", "'x,y'"}, {"B", "x;y"}}));
}

// ---------------------------------------------------------------------------
// Building
// ---------------------------------------------------------------------------

using ValueParserBuild = JuTest;

TEST_F(ValueParserBuild, BracesWhatWouldNotComeBack) {
  const struct {
    std::string value;
    std::string expected;
  } rows[] = {
      {"plain", "A=plain"},
      {"", "A="},
      {"x;y", "A={x;y}"},
      {"{z}", "A={{z}}}"},  // already braced: braced again
      {"{", "A={{}"},
      {"}", "A=}"},  // a lone "}" is plain text
      {"a}b", "A=a}b"},
      {"a}b;", "A={a}}b;}"},
      {"'q'", "A={'q'}"},
      {"a\"b", "A={a\"b}"},
      {"a`b", "A={a`b}"},
      {" lead", "A={ lead}"},
      {"trail\t", "A={trail\t}"},
      {"in side", "A=in side"},
      {"=x", "A==x"},
      {"x,y", "A=x,y"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    Parsed p("");
    ASSERT_EQ(p.parser.parse(), 0);
    // Entered directly: addAttribute would quote some of them.
    JuString* key = new JuString();
    JuString* value = new JuString();
    ASSERT_EQ(key->assign("A"), 0);
    ASSERT_EQ(value->assign(row.value.data(), row.value.size()), 0);
    ASSERT_EQ(p.parser.attributes.add(key, value), 0);
    const std::string out = built(p.parser);
    EXPECT_EQ(out, row.expected);
    Parsed again(out);
    ASSERT_EQ(again.parser.parse(), 0);
    EXPECT_EQ(attributesOf(again.parser), (Pairs{{"A", row.value}}));
  }
}

TEST_F(ValueParserBuild, PairsInOrderWithTheGivenSeparator) {
  Parsed p("DSN=x;PWD={a;b}}c};Driver Name= y ");
  ASSERT_EQ(p.parser.parse(), 0);
  EXPECT_EQ(built(p.parser), "DSN=x;PWD={a;b}}c};Driver Name=y");
  EXPECT_EQ(built(p.parser, ','), "DSN=x,PWD={a;b}}c},Driver Name=y");
  Parsed none("");
  ASSERT_EQ(none.parser.parse(), 0);
  JuString out;
  ASSERT_EQ(out.assign("old"), 0);
  EXPECT_EQ(none.parser.build(out, ';'), 0);
  EXPECT_EQ(out.length, 0u);
}

TEST_F(ValueParserBuild, ValueEndingInsideACharacter) {
  // UTF-8 text whose value ends in the lead byte of a three-byte character:
  // written before a separator it would take the separator in.
  Parsed p("A=x\xE2;B=1", 0, ';', nullptr, JuCodePageKind::kUtf8);
  ASSERT_EQ(p.parser.parse(), 0);
  ASSERT_EQ(attributesOf(p.parser), (Pairs{{"A", "x\xE2;B=1"}}));  // the scanner's reading
  // Last and unbraced it is written as it is.
  Parsed last("B=1;A=x\xE2", 0, ';', nullptr, JuCodePageKind::kUtf8);
  ASSERT_EQ(last.parser.parse(), 0);
  EXPECT_EQ(built(last.parser), "B=1;A=x\xE2");
  // Anywhere else the build refuses.
  ASSERT_EQ(last.parser.addAttribute("C", "1", nullptr), 0);
  JuString out;
  EXPECT_EQ(last.parser.build(out, ';'), 1);
  EXPECT_EQ(out.length, 0u);  // no part of the text
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2807}));
}

TEST_F(ValueParserBuild, IntoACallersBufferThatIsTooSmall) {
  Parsed p("DSN=abcdef");
  ASSERT_EQ(p.parser.parse(), 0);
  char buffer[8];
  JuString out;
  out.attachBuffer(buffer, sizeof buffer, 0);
  EXPECT_EQ(p.parser.build(out, ';'), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{2716}));
  char room[16];
  JuString fits;
  fits.attachBuffer(room, sizeof room, 0);
  EXPECT_EQ(p.parser.build(fits, ';'), 0);
  EXPECT_EQ(std::string(room), "DSN=abcdef");
}

// ---------------------------------------------------------------------------
// Allocation failures
// ---------------------------------------------------------------------------

// Runs `step` with the nth allocation failing, n = 1, 2, ... until none
// fails; each failing run must return 1 with out of memory recorded. The
// step must not allocate through the standard library (operator new is the
// library's, and a container would not expect it to give null).
template <typename Step>
void failEachAllocation(Step step) {
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    fault.arm();
    const int status = step();
    if (!fault.disarm()) {
      EXPECT_EQ(status, 0);
      return;
    }
    EXPECT_EQ(status, 1);
    const std::vector<uint16_t> ids = errors.ids();
    EXPECT_FALSE(ids.empty());
    if (!ids.empty()) {
      EXPECT_EQ(ids.back(), kJuMsgOutOfMemory);
    }
  });
}

using ValueParserFaults = JuTest;

TEST_F(ValueParserFaults, Parse) {
  const std::string source = "DSN=x;PWD={a;b}}c};Driver Name=y;A==1;ODBC;DRIVER=z";
  failEachAllocation([&] {
    JuValueParser parser(JuSubString(source.data(), source.size()), ';', nullptr, 0);
    return parser.parse();
  });
}

TEST_F(ValueParserFaults, BuildAddAndReset) {
  Parsed p("DSN=x;PWD={a;b}}c};B=2");
  ASSERT_EQ(p.parser.parse(), 0);
  failEachAllocation([&] {
    JuString out;
    return p.parser.build(out, ';');
  });
  failEachAllocation([&] {
    JuValueParser q(JuSubString("A=1"), ';', nullptr, 0);
    if (q.parse() != 0) return 1;
    return q.addAttribute("NEW", "it's", nullptr) | q.addAttribute("A", "x;y", nullptr);
  });
  failEachAllocation([&] { return p.parser.resetConsumed(); });
  failEachAllocation([&] { return p.parser.addWordChars("-#"); });
}

TEST_F(ValueParserFaults, GetWhenTheMarksCannotGrow) {
  // Eight marks fill one byte; the ninth needs a new block.
  Parsed p("A=1;B=2;C=3;D=4;E=5;F=6;G=7;H=8");
  ASSERT_EQ(p.parser.parse(), 0);
  ASSERT_EQ(p.parser.addAttribute("I", "9", nullptr), 0);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(text(p.parser.get("I")), "9");  // the value still comes
  julib::internal::clearAllocationFault();
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgOutOfMemory}));
  EXPECT_EQ(p.parser.countUnconsumed(), 9);  // but it could not be marked
}

// ---------------------------------------------------------------------------
// JuBitArray
// ---------------------------------------------------------------------------

using BitArray = JuTest;

std::string bitsOf(const JuBitArray& a) {
  std::string out;
  for (size_t i = 0; i < a.count; ++i) out += a.test(i) != 0 ? '1' : '0';
  return out;
}

TEST_F(BitArray, ResetAndSetAcrossByteEdges) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{16}, size_t{17}}) {
    SCOPED_TRACE(n);
    JuBitArray a;
    ASSERT_EQ(a.reset(n), 0);
    EXPECT_EQ(a.count, n);
    EXPECT_EQ(bitsOf(a), std::string(n, '0'));
    if (n != 0) {
      a.set(n - 1);
      EXPECT_EQ(a.test(n - 1), 1);
    }
    a.set(n);  // beyond the count: nothing
    EXPECT_EQ(a.test(n), 0);
    ASSERT_EQ(a.reset(n), 0);
    EXPECT_EQ(bitsOf(a), std::string(n, '0'));
  }
}

TEST_F(BitArray, ResizeKeepsAndClears) {
  JuBitArray a;
  ASSERT_EQ(a.resize(3), 0);  // from nothing
  a.set(0);
  a.set(2);
  ASSERT_EQ(a.resize(9), 0);
  EXPECT_EQ(bitsOf(a), "101000000");
  a.set(8);
  ASSERT_EQ(a.resize(2), 0);
  EXPECT_EQ(bitsOf(a), "10");
  // Bits cut off do not come back when the array grows again.
  ASSERT_EQ(a.resize(9), 0);
  EXPECT_EQ(bitsOf(a), "100000000");
  ASSERT_EQ(a.resize(8), 0);  // same bytes
  a.set(7);
  ASSERT_EQ(a.resize(7), 0);
  ASSERT_EQ(a.resize(8), 0);
  EXPECT_EQ(bitsOf(a), "10000000");
}

TEST_F(BitArray, ResizeFailureKeepsTheOldBits) {
  JuBitArray a;
  ASSERT_EQ(a.reset(4), 0);
  a.set(1);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(a.resize(100), 1);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(bitsOf(a), "0100");
  EXPECT_EQ(a.resize(SIZE_MAX), 1);  // n + 7 overflows
  EXPECT_EQ(bitsOf(a), "0100");
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(a.reset(4), 1);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(a.count, 0u);  // reset leaves it empty
}

TEST_F(BitArray, RemoveAtShiftsDown) {
  JuBitArray a;
  ASSERT_EQ(a.reset(10), 0);
  for (size_t i : {0, 3, 8, 9}) a.set(i);
  a.removeAt(0);
  EXPECT_EQ(bitsOf(a), "001000011");
  a.removeAt(7);
  EXPECT_EQ(bitsOf(a), "00100001");
  a.removeAt(8);  // beyond: nothing
  EXPECT_EQ(a.count, 8u);
  a.removeAt(7);
  EXPECT_EQ(bitsOf(a), "0010000");
  ASSERT_EQ(a.resize(8), 0);
  EXPECT_EQ(bitsOf(a), "00100000");  // the vacated bit was cleared
}

}  // namespace
