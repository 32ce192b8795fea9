// UTF-16 views, strings and the UTF-16 cursor: what differs from the narrow
// twins (units, surrogate pairs, code-point order) and the shared rules on
// buffers, growth and wiping.

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "julib/containers.h"
#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "string_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;
using jutest::text;
using jutest::Wiped;
using Ids = std::vector<uint16_t>;

// A counted copy in a block of exactly its size (AddressSanitizer sees any
// read past the view).
struct ExactUnits {
  explicit ExactUnits(const std::u16string& s) : block(new char16_t[s.empty() ? 1 : s.size()]), size(s.size()) {
    std::memcpy(block.get(), s.data(), s.size() * sizeof(char16_t));
  }
  JuSubStringW view() const { return JuSubStringW(block.get(), size); }
  std::unique_ptr<char16_t[]> block;
  size_t size;
};

std::string show(const std::u16string& s) { return jutest::toUtf8(s); }

// ---------------------------------------------------------------------------
// Views
// ---------------------------------------------------------------------------

using WideView = JuTest;

TEST_F(WideView, SearchesMatchOnlyAtCharacterStarts) {
  struct Row {
    std::u16string text;
    std::u16string pattern;
    size_t from;
    size_t expected;
    const char* note;
  };
  const Row rows[] = {
      {u"abcabc", u"bc", 0, 1, "plain"},
      {u"abcabc", u"bc", 5, 6, "from + m > length"},
      {u"abc", u"", 0, 3, "empty pattern"},
      {u"\xD83D\xDE00" u"a", u"\xDE00" u"a", 0, 3, "never inside a pair"},
      {u"\xD83D\xDE00" u"a", u"a", 0, 2, "after a pair"},
      {u"x\xD83D\xDE00", u"\xD83D\xDE00", 0, 1, "a pair as the pattern"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    ExactUnits units(row.text);
    EXPECT_EQ(units.view().find(row.pattern.c_str(), row.from), row.expected);
  }
  ExactUnits pair(u"\xD83D\xDE00\xDE00");
  EXPECT_EQ(pair.view().findChar(0xDE00, 0), 2u);
  EXPECT_EQ(pair.view().countChar(0xDE00), 1);
  EXPECT_EQ(pair.view().findChar(0xD83D, 0), 0u);
  EXPECT_EQ(JuSubStringW().find(u"a", 0), 0u);
}

TEST_F(WideView, ViewsNeverWriteAfterTheirText) {
  const std::u16string source = u"{a\r\n\"b\"\"c;\" }";
  std::unique_ptr<char16_t[]> block(new char16_t[source.size() + 1]);
  std::memcpy(block.get(), source.data(), source.size() * sizeof(char16_t));
  block[source.size()] = u'Z';
  const JuSubStringW view(block.get(), source.size());
  const char16_t* const table[] = {u"x", u"{A"};
  JuStringW into;
  JuArray lines;
  lines.flags = JuArray::kOwnsElements;
  EXPECT_EQ(view.find(u"zz", 0), source.size());
  EXPECT_EQ(view.findChar(u'Z', 0), source.size());
  EXPECT_EQ(view.countChar(u'"'), 4);
  EXPECT_EQ(view.isBraced(), 1);
  EXPECT_EQ(view.indexInNoCase(table, 2), 2u);
  EXPECT_EQ(view.unbraceInto(into), 0);
  EXPECT_EQ(view.unquoteInto(into, u'"'), 0);
  EXPECT_EQ(view.splitLines(lines), 0);
  EXPECT_EQ(lines.count, 2u);
  EXPECT_EQ(block[source.size()], u'Z');
  EXPECT_EQ(std::u16string(block.get(), source.size()), source);
}

TEST_F(WideView, CompareByCodePointIgnoringCase) {
  struct Row {
    std::u16string a;
    std::u16string b;
    int expected;
  };
  const Row rows[] = {
      {u"abc", u"ABCD", -1},
      {u"\xE9t\xE9", u"\xC9T\xC9", 0},
      {u"\xFFFD", u"\xD83D\xDE00", -1},  // a supplementary character sorts after every BMP character
      {u"", u"", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(show(row.a) + " vs " + show(row.b));
    ExactUnits a(row.a), b(row.b);
    EXPECT_EQ(a.view().compare(b.view()), row.expected);
    EXPECT_EQ(b.view().compare(a.view()), -row.expected);
  }
}

TEST_F(WideView, BracesTrimAndTables) {
  EXPECT_EQ(JuSubStringW(u"x;y").needsBraces(), 1);
  EXPECT_EQ(JuSubStringW(u"{").isBraced(), 0);
  EXPECT_EQ(JuSubStringW(u"{a}").isBraced(), 1);
  EXPECT_EQ(JuSubStringW(u"").needsBraces(), 0);

  struct Trim {
    std::u16string text;
    std::u16string expected;
  };
  const Trim trims[] = {{u"ab \t\r\n", u"ab"}, {u"ab\x3000", u"ab\x3000"}, {u"a\x0120", u"a\x0120"}, {u"  ", u""}};
  for (const Trim& row : trims) {
    SCOPED_TRACE(show(row.text));
    ExactUnits units(row.text);
    JuSubStringW view = units.view();
    view.trimRight();
    EXPECT_EQ(text(view), row.expected);
  }

  const char16_t* const table[] = {u"DSN", nullptr, u"Driver", u"\xC9t\xE9"};
  EXPECT_EQ(JuSubStringW(u"Driver").indexIn(table, 4), 2u);
  EXPECT_EQ(JuSubStringW(u"driver").indexIn(table, 4), 4u);
  EXPECT_EQ(JuSubStringW(u"driver").indexInNoCase(table, 4), 2u);
  EXPECT_EQ(JuSubStringW(u"\xE9T\xC9").indexInNoCase(table, 4), 3u);
  EXPECT_EQ(JuSubStringW(u"DSNx", 3).indexIn(table, 4), 0u);
  EXPECT_EQ(JuSubStringW(u"DS").indexInNoCase(table, 4), 4u);
}

TEST_F(WideView, HashReadsSixUnitsShiftedByThreeBits) {
  EXPECT_EQ(juHashSubStringW(JuSubStringW(u"ab")), uint64_t{'A'} + (uint64_t{'B'} << 3));
  EXPECT_EQ(juHashSubStringW(JuSubStringW(u"abcdefghi")), juHashSubStringW(JuSubStringW(u"ABCDEFxyz")));
  EXPECT_NE(juHashSubStringW(JuSubStringW(u"abcde")), juHashSubStringW(JuSubStringW(u"abcdef")));
  EXPECT_EQ(juHashSubStringW(JuSubStringW(u"\xE9")), uint64_t{0xC9});
  EXPECT_EQ(juHashSubStringW(JuSubStringW()), 0u);
  ExactUnits nine(u"abcdefghi");
  EXPECT_EQ(juHashSubStringW(nine.view()), juHashSubStringW(JuSubStringW(u"abcdef")));
  // A zero unit inside the view does not stop the upper-casing.
  EXPECT_EQ(juHashSubStringW(JuSubStringW(u"a\0b", 3)), juHashSubStringW(JuSubStringW(u"A\0B", 3)));
}

TEST_F(WideView, MemMoveBounded) {
  char buffer[] = "abcdefgh";
  juMemMoveBounded(buffer + 2, buffer + 8, buffer, 4);
  EXPECT_STREQ(buffer, "ababcdgh");
  std::strcpy(buffer, "abcdefgh");
  juMemMoveBounded(buffer, buffer + 3, buffer + 2, 6);  // cut to the destination's end
  EXPECT_STREQ(buffer, "cdedefgh");
  juMemMoveBounded(buffer + 4, buffer + 2, buffer, 4);  // an end before the start: nothing
  EXPECT_STREQ(buffer, "cdedefgh");
}

// ---------------------------------------------------------------------------
// Strings
// ---------------------------------------------------------------------------

using WideString = JuTest;

TEST_F(WideString, AssignAllocateAdoptRelease) {
  JuStringW s;
  ASSERT_EQ(s.assign(u"hello world"), 0);
  EXPECT_EQ(s.capacity, 12u);
  EXPECT_EQ(s.data[11], 0);
  ASSERT_EQ(s.assign(s.data + 6, 5), 0);  // its own text
  EXPECT_EQ(text(s), u"world");
  ASSERT_EQ(s.allocate(4), 0);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.capacity, 5u);
  auto* block = static_cast<char16_t*>(juMallocChecked(8 * sizeof(char16_t)));
  std::memcpy(block, u"new", 4 * sizeof(char16_t));
  s.adopt(block, 8, 3);
  ASSERT_EQ(s.append(u"er"), 0);
  EXPECT_EQ(text(s), u"newer");
  EXPECT_EQ(s.capacity, 8u);
  ASSERT_NE(s.narrow(JuCodePageKind::kUtf8), nullptr);
  s.release();
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.capacity, 0u);
  EXPECT_STREQ(s.narrowCache, "newer");  // the narrow copy stays until the next one
  EXPECT_EQ(s.allocate(SIZE_MAX), 1);
  EXPECT_EQ(s.allocate(SIZE_MAX / 2), 1);  // the byte size overflows
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
}

TEST_F(WideString, ACallersBufferNeverGrows) {
  char16_t buffer[8] = u"abc";
  JuStringW s;
  s.attachBuffer(buffer, 8, 3);
  EXPECT_EQ(s.reserve(2), 1);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgStringTooLarge});
  ASSERT_EQ(s.append(u"defg"), 0);
  EXPECT_EQ(s.appendChar(u'h'), 1);
  EXPECT_EQ(text(s), u"abcdefg");
  s.shrinkToFit();  // never reallocates a caller's buffer
  EXPECT_EQ(s.data, buffer);
  EXPECT_EQ(s.capacity, 8u);
}

TEST_F(WideString, GrowthIsExactInUnits) {
  JuStringW s;
  ASSERT_EQ(s.append(u"abc"), 0);
  EXPECT_EQ(s.capacity, 4u);
  ASSERT_EQ(s.appendChar(u'd'), 0);
  EXPECT_EQ(s.capacity, 5u);
  ASSERT_EQ(s.appendNarrow("\xE9\x41", 2), 0);  // Latin-1: each byte one unit
  EXPECT_EQ(s.capacity, 7u);
  ASSERT_EQ(s.append(int64_t{INT64_MIN}), 0);
  EXPECT_EQ(s.capacity, 6u + 22u);
  ASSERT_EQ(s.append(uint64_t{UINT64_MAX}), 0);
  EXPECT_EQ(text(s), u"abcd\xE9" u"A-922337203685477580818446744073709551615");
  s.shrinkToFit();
  EXPECT_EQ(s.capacity, s.length + 1);
  EXPECT_EQ(s.ensureFree(SIZE_MAX - s.length), 1);
  EXPECT_EQ(s.ensureFree(SIZE_MAX / 2), 1);  // fits size_t in units, not in bytes
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
}

TEST_F(WideString, ReplaceAndReplaceAll) {
  struct Row {
    size_t pos;
    size_t oldLen;
    const char16_t* text;
    size_t newLen;
    std::u16string expected;
  };
  const Row rows[] = {
      {2, 2, u"XYZ", 0, u"abXYZef"}, {2, 2, nullptr, 0, u"abef"}, {9, 9, u"!", 1, u"abcdef!"}, {4, 99, u"", 0, u"abcd"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(show(row.expected));
    JuStringW s;
    ASSERT_EQ(s.assign(u"abcdef"), 0);
    ASSERT_EQ(s.replace(row.pos, row.oldLen, row.text, row.newLen), 0);
    EXPECT_EQ(text(s), row.expected);
    EXPECT_EQ(s.data[s.length], 0);
  }
  JuStringW s;
  ASSERT_EQ(s.assign(u"aaa"), 0);
  ASSERT_EQ(s.replaceAll(u"a", u"aa"), 0);
  EXPECT_EQ(text(s), u"aaaaaa");
  ASSERT_EQ(s.replaceAll(u"", u"x"), 0);
  ASSERT_EQ(s.replaceAll(u"a", 0, u"x", 1), 0);
  EXPECT_EQ(text(s), u"aaaaaa");
  ASSERT_EQ(s.replace(0, 0, s.data, s.length), 0);
  EXPECT_EQ(text(s), std::u16string(12, u'a'));
  // A pattern that is the second half of a pair never matches.
  ASSERT_EQ(s.assign(u"\xD83D\xDE00\xDE00"), 0);
  ASSERT_EQ(s.replaceAll(u"\xDE00", u"-"), 0);
  EXPECT_EQ(text(s), u"\xD83D\xDE00-");
  JuSubStringW range(s.data + 2, 1);
  ASSERT_EQ(s.replace(range, u"+", 1), 0);
  EXPECT_EQ(text(s), u"\xD83D\xDE00+");
}

TEST_F(WideString, QuotesKeepPairsWhole) {
  JuStringW destination;
  // A surrogate pair right after a doubled quote stays whole.
  ASSERT_EQ(JuSubStringW(u"\"a\"\"\xD83D\xDE00\"").unquoteInto(destination, u'"'), 0);
  EXPECT_EQ(text(destination), u"a\"\xD83D\xDE00");
  ASSERT_EQ(JuSubStringW(u"\"\xD83D\"").unquoteInto(destination, u'"'), 0);  // a high surrogate takes its follower
  EXPECT_EQ(text(destination), u"\xD83D\"");
  ASSERT_EQ(JuSubStringW(u"{x}").unbraceInto(destination), 0);
  EXPECT_EQ(text(destination), u"x");

  JuStringWEx s;
  ASSERT_EQ(s.assign(u"it's \xD83D\xDE00"), 0);
  ASSERT_EQ(s.quote(u'\''), 0);
  EXPECT_EQ(text(s), u"'it''s \xD83D\xDE00'");
  EXPECT_EQ(s.unquote(), 7u);
  EXPECT_EQ(text(s), u"it's \xD83D\xDE00");
  JuStringW out;
  ASSERT_EQ(out.appendQuoted(JuSubStringW(u"\"\""), u'"'), 0);
  EXPECT_EQ(text(out), u"\"\"\"\"\"\"");
  EXPECT_EQ(out.capacity, 7u);
}

TEST_F(WideString, LinesWrapAndJoins) {
  JuStringW s;
  ASSERT_EQ(s.assign(u"x\rY"), 0);
  ASSERT_EQ(s.ensureTrailingLineBreaks(1), 0);  // CR followed by another unit is no pair
  EXPECT_EQ(text(s), u"x\rY\r\n");
  ASSERT_EQ(s.ensureTrailingLineBreaks(1), 0);
  EXPECT_EQ(text(s), u"x\rY\r\n");

  ASSERT_EQ(s.assign(u"\xE9\xE9\xE9 bbb 'c c' d"), 0);
  ASSERT_EQ(s.wrap(5, u'\'', 0, 0), 0);
  EXPECT_EQ(text(s), u"\xE9\xE9\xE9\r\nbbb\r\n'c c'\r\nd");

  ASSERT_EQ(s.joinLines(0, 0, 0), 0);
  EXPECT_EQ(text(s), u"\xE9\xE9\xE9 bbb 'c c' d");
  ASSERT_EQ(s.assign(u"a\r\n\r\nb\n"), 0);
  ASSERT_EQ(s.joinLineBreaks(0, 0, 0), 0);
  EXPECT_EQ(text(s), u"a b");
  ASSERT_EQ(s.assign(u"\"a\tb\"\t\tc"), 0);
  ASSERT_EQ(s.joinTabs(u'"', 0, 0), 0);
  EXPECT_EQ(text(s), u"\"a\tb\" c");

  JuArray lines;
  lines.flags = JuArray::kOwnsElements;
  ASSERT_EQ(JuSubStringW(u"one\r\n\r\n\xD83D\xDE00\r\n").splitLines(lines), 0);
  ASSERT_EQ(lines.count, 2u);
  EXPECT_EQ(text(*static_cast<JuStringW*>(lines.pointerAt(0))), u"one");
  EXPECT_EQ(text(*static_cast<JuStringW*>(lines.pointerAt(1))), u"\xD83D\xDE00");
}

// ---------------------------------------------------------------------------
// Sources inside the string's own buffer
// ---------------------------------------------------------------------------

using WideAliasing = JuTest;

JuParamStringW& param(JuStringW& s) { return static_cast<JuParamStringW&>(s); }
const char* bytes(const char16_t* p) { return reinterpret_cast<const char*>(p); }

TEST_F(WideAliasing, ASourceInItsOwnBufferActsAsACopyTakenFirst) {
  using Row = jutest::AliasRow<JuStringW, char16_t>;
  using S = JuStringW;
  using P = const char16_t*;
  constexpr auto kString = jutest::AliasTarget::kString;
  constexpr auto kParam = jutest::AliasTarget::kParam;
  const Row rows[] = {
      {"assign", kString, [](S& s, P p, size_t n) { return s.assign(p, n); }},
      {"assign to NUL", kString, [](S& s, P p, size_t) { return s.assign(p); }},
      {"append", kString, [](S& s, P p, size_t n) { return s.append(p, n); }},
      {"append to NUL", kString, [](S& s, P p, size_t) { return s.append(p); }},
      {"appendNarrow", kString, [](S& s, P p, size_t n) { return s.appendNarrow(bytes(p), 2 * n); }},
      {"appendQuoted", kString, [](S& s, P p, size_t n) { return s.appendQuoted(JuSubStringW(p, n), u'\''); }},
      {"replace", kString, [](S& s, P p, size_t n) { return s.replace(1, 2, p, n); }},
      {"replace a view", kString, [](S& s, P p, size_t n) { return s.replace(JuSubStringW(s.data + 9, 3), p, n); }},
      {"replaceAll: replacement", kString, [](S& s, P p, size_t n) { return s.replaceAll(u"a", 1, p, n); }},
      {"replaceAll: pattern to NUL", kString, [](S& s, P p, size_t) { return s.replaceAll(p, u"yyyyyyyyyyyyyy"); }},
      {"replaceAll to NUL", kString, [](S& s, P p, size_t) { return s.replaceAll(u"%s1", p); }},
      {"unbraceInto", kString, [](S& s, P p, size_t n) { return JuSubStringW(p, n).unbraceInto(s); }},
      {"unquoteInto", kString, [](S& s, P p, size_t n) { return JuSubStringW(p, n).unquoteInto(s, u'\''); }},
      {"from UTF-16 bytes", kString,
       [](S& s, P p, size_t n) { return s.assignFromMultiByte(bytes(p), n, JuCodePageKind::kUtf16); }},
      {"from UTF-8", kString,
       [](S& s, P p, size_t n) { return s.assignFromMultiByte(bytes(p), 2 * n, JuCodePageKind::kUtf8); }},
      {"from a code page", kString, [](S& s, P p, size_t n) { return s.assignFromCodePage(bytes(p), 2 * n, 1014); }},
      {"cursor write", kString, [](S& s, P p, size_t n) { return JuReplaceStringW(s).write(p, n); }},
      {"cursor quoted write", kString,
       [](S& s, P p, size_t n) { return JuReplaceStringW(s).writeQuoted(p, n, u'\''); }},
      {"template", kParam, [](S& s, P p, size_t n) { return param(s).assign(p, n); }},
      {"template to NUL", kParam, [](S& s, P p, size_t) { return param(s).assign(p); }},
      {"template from UTF-8", kParam,
       [](S& s, P p, size_t) { return param(s).assignFromMultiByte(bytes(p), JuCodePageKind::kUtf8); }},
      {"template from a code page", kParam, [](S& s, P p, size_t) { return param(s).assignFromCodePage(bytes(p), 4); }},
      {"parameter", kParam, [](S& s, P p, size_t n) { return param(s).addParam(JuSubStringW(p, n)); }},
      {"parameter to NUL", kParam, [](S& s, P p, size_t) { return param(s).addParam(p); }},
      {"quoted parameter", kParam, [](S& s, P p, size_t) { return param(s).addQuotedParam(p, u'"'); }},
  };
  jutest::expectAliasedAsCopied<JuStringW, JuStringWEx, JuParamStringW>(std::u16string(u"{a%s1'b''c%s1a}"), rows);
}

// ---------------------------------------------------------------------------
// Wiping
// ---------------------------------------------------------------------------

using WideWipe = JuTest;

constexpr size_t kSecretUnits = 100;  // 200 bytes, a size the allocator caches

TEST_F(WideWipe, EveryReleaseAndReallocationIsZeroed) {
  const std::u16string secret(kSecretUnits - 1, u'S');
  {
    JuStringW plain;  // the control: the probe sees text left in a plain string's block
    ASSERT_EQ(plain.assign(secret.c_str()), 0);
    const uintptr_t block = jutest::addressOf(plain.data);
    plain.release();
    const Wiped wiped = jutest::probeFreedBlock(block, 2 * kSecretUnits);
    ASSERT_NE(wiped, Wiped::kUnknown) << "the block was not freed";
    ASSERT_EQ(wiped, Wiped::kNo);
  }
  struct Step {
    const char* name;
    void (*run)(JuStringWEx&);
  };
  const Step steps[] = {
      {"release", [](JuStringWEx& s) { s.release(); }},
      {"reserve", [](JuStringWEx& s) { ASSERT_EQ(s.reserve(3 * kSecretUnits), 0); }},
      {"assign", [](JuStringWEx& s) { ASSERT_EQ(s.assign(u"x"), 0); }},
      {"append", [](JuStringWEx& s) { ASSERT_EQ(s.appendChar(u'x'), 0); }},
      {"wrap", [](JuStringWEx& s) {
         s.data[50] = u' ';
         ASSERT_EQ(s.wrap(10, 0, 0, 0), 0);  // one unit longer: the buffer is replaced
       }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    JuStringWEx s;
    ASSERT_EQ(s.assign(secret.c_str()), 0);
    const uintptr_t block = jutest::addressOf(s.data);
    step.run(s);
    EXPECT_EQ(jutest::probeFreedBlock(block, 2 * kSecretUnits), Wiped::kYes);
  }
  auto* s = new JuStringWEx;
  ASSERT_EQ(s->assign(secret.c_str()), 0);
  const uintptr_t block = jutest::addressOf(s->data);
  delete s;
  EXPECT_EQ(jutest::probeFreedBlock(block, 2 * kSecretUnits), Wiped::kYes);
}

// ---------------------------------------------------------------------------
// The UTF-16 cursor
// ---------------------------------------------------------------------------

void drop(JuReplaceStringW& c, size_t n) {
  c.readPosition += n;
  c.data += n;
  c.length -= n;
}

class RecordingStringW : public JuStringWEx {
 public:
  int reserve(size_t newCapacity) override {
    requests.push_back(newCapacity);
    return JuStringWEx::reserve(newCapacity);
  }
  std::vector<size_t> requests;
};

using WideCursor = JuTest;

TEST_F(WideCursor, GrowsInUnitsAndShrinksThroughReserve) {
  RecordingStringW t;
  ASSERT_EQ(t.assign(u"abc def"), 0);
  {
    JuReplaceStringW c(t);
    ASSERT_EQ(c.write(c.data, 3), 0);  // from the unread text, which moves
    EXPECT_EQ(t.capacity, 7u + 515u + 1u);
    drop(c, 4);
    ASSERT_EQ(c.writeQuoted(u"\xD83D\xDE00\"", 3, u'"'), 0);
  }
  EXPECT_EQ(t.requests, (std::vector<size_t>{523, 13}));
  EXPECT_EQ(text(t), u"abc\"\xD83D\xDE00\"\"\"def");
}

TEST_F(WideCursor, AQuotedWriteThatSplitsAPairIsUndone) {
  JuStringW t;
  ASSERT_EQ(t.assign(u"a\xD83D\xDE00z"), 0);
  {
    JuReplaceStringW c(t);
    ASSERT_EQ(c.write(u"<", 1), 0);
    EXPECT_EQ(c.writeQuoted(c.data, 2, u'"'), 1);
    EXPECT_EQ(c.writePosition, 1u);
    EXPECT_EQ(text(c), u"\"a\xD83D" u"a\xD83D\xDE00z");
  }
  EXPECT_EQ(text(t), u"<\"a\xD83D" u"a\xD83D\xDE00z");
  ASSERT_EQ(errors_.ids(), Ids{kJuMsgConversionFailed});
  EXPECT_STREQ(errors_->last()->sqlState(), "01004");
  EXPECT_EQ(errors_->last()->sqlStateCode, kJuSqlStateTruncation);
}

TEST_F(WideCursor, UnwriteAndCallersBuffers) {
  char16_t buffer[16] = u"abc def";
  JuStringW t;
  t.attachBuffer(buffer, 16, 7);
  {
    JuReplaceStringW c(t);
    drop(c, 4);
    ASSERT_EQ(c.write(u"XYZ", 3), 0);
    c.unwriteTo(2);
    EXPECT_EQ(text(c), u"Zdef");
    EXPECT_EQ(c.write(u"0123456789", 10), 1);  // the gap cannot grow here
  }
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgStringTooLarge});
  EXPECT_EQ(text(t), u"XYZdef");
  EXPECT_EQ(t.capacity, 16u);
}

}  // namespace
