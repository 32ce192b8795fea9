// Narrow views and the owning strings: searching, assigning, exact growth,
// buffers the string does not own, replacing, and wiping.
// Longer than our files usually are: the owning strings' cases share
// their fixtures and the aliasing checks.

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "julib/containers.h"
#include "julib/internal/fault.h"
#include "julib/strings.h"
#include "string_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::ScopedCodePage;
using jutest::JuTest;
using jutest::text;
using jutest::Wiped;
using Ids = std::vector<uint16_t>;

// A counted copy in a block of exactly its size, so that any read past the
// view's length is caught by AddressSanitizer.
struct ExactBytes {
  explicit ExactBytes(const std::string& s) : block(new char[s.empty() ? 1 : s.size()]), size(s.size()) {
    std::memcpy(block.get(), s.data(), s.size());
  }
  JuSubString view(JuCodePageKind kind = JuCodePageKind::kAnsi) const { return JuSubString(block.get(), size, kind); }
  std::unique_ptr<char[]> block;
  size_t size;
};

// ---------------------------------------------------------------------------
// Views
// ---------------------------------------------------------------------------

using StringView = JuTest;

TEST_F(StringView, FindStopsAtTheViewsLength) {
  struct Row {
    const char* text;
    const char* pattern;
    size_t from;
    size_t expected;
  };
  const Row rows[] = {
      {"abcabc", "bc", 0, 1},  {"abcabc", "bc", 2, 4},  {"abcabc", "bc", 5, 6},  // from + m > length
      {"abc", "abc", 0, 0},    {"abc", "abcd", 0, 3},   {"abc", "", 0, 3},       // empty pattern: none
      {"abc", "c", 3, 3},      {"abc", "c", 99, 3},     {"", "a", 0, 0},
      {"aXbXc", "X", 2, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " / " + row.pattern);
    ExactBytes bytes(row.text);
    EXPECT_EQ(bytes.view().find(row.pattern, row.from), row.expected);
  }
  // A view into a longer text never matches across its end.
  JuSubString prefix("abcdef", 3);
  EXPECT_EQ(prefix.find("cd", 0), 3u);
  JuSubString empty;
  EXPECT_EQ(empty.find("a", 0), 0u);
  EXPECT_EQ(empty.findChar('a', 0), 0u);
}

TEST_F(StringView, SearchesStepWholeCharacters) {
  // 0x82 0x61 is one character in code page 932 and two in 1252.
  ExactBytes bytes("\x82" "aa");
  {
    ScopedCodePage scope(932);
    EXPECT_EQ(bytes.view().find("a", 0), 2u);
    EXPECT_EQ(bytes.view().findChar('a', 0), 2u);
    EXPECT_EQ(bytes.view().countChar('a'), 1);
    EXPECT_EQ(bytes.view().findChar('\x82', 0), 0u);  // a character starts with the lead byte
  }
  EXPECT_EQ(bytes.view().find("a", 0), 1u);
  EXPECT_EQ(bytes.view().findChar('a', 0), 1u);
  EXPECT_EQ(bytes.view().countChar('a'), 2);
  // In UTF-8 a continuation byte never starts a character.
  ExactBytes utf8("\xC3\xA9\xA9");
  EXPECT_EQ(utf8.view(JuCodePageKind::kUtf8).findChar('\xA9', 0), 2u);
  EXPECT_EQ(utf8.view(JuCodePageKind::kAnsi).findChar('\xA9', 0), 1u);
}

// A view only reads: nothing is written at data[length], the byte after
// its text, which belongs to someone else.
TEST_F(StringView, ViewsNeverWriteAfterTheirText) {
  const std::string source = "{a\r\n\"b\"\"c;\" }";
  std::unique_ptr<char[]> block(new char[source.size() + 1]);
  std::memcpy(block.get(), source.data(), source.size());
  block[source.size()] = 'Z';
  const JuSubString view(block.get(), source.size());
  const char* const table[] = {"x", "{A"};
  JuString into;
  JuArray lines;
  lines.flags = JuArray::kOwnsElements;
  EXPECT_EQ(view.find("zz", 0), source.size());
  EXPECT_EQ(view.findChar('Z', 0), source.size());
  EXPECT_EQ(view.countChar('"'), 4);
  EXPECT_EQ(view.needsBraces(), 1);
  EXPECT_EQ(view.isBraced(), 1);
  EXPECT_EQ(view.indexIn(table, 2), 2u);
  EXPECT_EQ(view.compare(JuSubString("{A")), 1);
  EXPECT_EQ(view.unbraceInto(into), 0);
  EXPECT_EQ(view.unquoteInto(into, '"'), 0);
  EXPECT_EQ(view.splitLines(lines), 0);
  EXPECT_EQ(lines.count, 2u);
  JuSubString trimmed = view;
  trimmed.trimRight();
  EXPECT_NE(juHashSubString(view), 0u);
  EXPECT_EQ(block[source.size()], 'Z');
  EXPECT_EQ(std::string(block.get(), source.size()), source);
}

TEST_F(StringView, CountCharStopsAtTheFirstNul) {
  const char bytes[] = {'a', 'b', 'a', '\0', 'a'};
  EXPECT_EQ(JuSubString(bytes, 5).countChar('a'), 2);
  EXPECT_EQ(JuSubString(bytes, 1).countChar('a'), 1);
  // The 16-bit count stops at its largest value instead of wrapping.
  std::string many(70000, ';');
  EXPECT_EQ(JuSubString(many.data(), many.size()).countChar(';'), UINT16_MAX);
  EXPECT_EQ(JuSubString(many.data(), 65535).countChar(';'), 65535);
}

TEST_F(StringView, CompareIgnoresCaseAndAPrefixIsLess) {
  struct Row {
    const char* a;
    const char* b;
    int expected;
  };
  const Row rows[] = {{"abc", "ABCD", -1}, {"abc", "ABC", 0}, {"b", "A", 1}, {"", "", 0}, {"", "a", -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
    JuSubString a(row.a), b(row.b);
    EXPECT_EQ(a.compare(b), row.expected);
    EXPECT_EQ(b.compare(a), -row.expected);
  }
}

TEST_F(StringView, BracesAndBraced) {
  struct Row {
    const char* text;
    int needsBraces;
    int isBraced;
  };
  const Row rows[] = {
      {"x;y", 1, 0}, {"{x", 1, 0}, {"", 0, 0}, {"{", 1, 0}, {"}", 0, 0}, {"{}", 1, 1}, {"{a;b}", 1, 1}, {"ab", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ExactBytes bytes(row.text);
    EXPECT_EQ(bytes.view().needsBraces(), row.needsBraces);
    EXPECT_EQ(bytes.view().isBraced(), row.isBraced);
  }
  EXPECT_EQ(JuSubString().isBraced(), 0);
}

TEST_F(StringView, TrimRightDropsTrailingWhiteSpaceOnly) {
  struct Row {
    const char* text;
    const char* expected;
  };
  const Row rows[] = {{"ab \t\r\n", "ab"}, {"   ", ""}, {"", ""}, {" a b", " a b"}, {"a\v\f", "a"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ExactBytes bytes(row.text);
    JuSubString view = bytes.view();
    view.trimRight();
    EXPECT_EQ(text(view), row.expected);
  }
}

TEST_F(StringView, IndexInTables) {
  const char* const table[] = {"DSN", nullptr, "Driver", "UID", ""};
  struct Row {
    const char* text;
    size_t length;
    size_t exact;
    size_t noCase;
  };
  const Row rows[] = {
      {"Driver", 6, 2, 2}, {"driver", 6, 5, 2}, {"DSNfoo", 3, 0, 0},  // counted view of a longer text
      {"DS", 2, 5, 5},     {"DSNX", 4, 5, 5},   {"", 0, 4, 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    JuSubString view(row.text, row.length);
    EXPECT_EQ(view.indexIn(table, 5), row.exact);
    EXPECT_EQ(view.indexInNoCase(table, 5), row.noCase);
  }
  EXPECT_EQ(JuSubString("UID").indexIn(table, 3), 3u);  // beyond the count: not found
}

TEST_F(StringView, HashIgnoresCaseAndReadsFiveBytes) {
  EXPECT_EQ(juHashSubString(JuSubString("ab")), juHashSubString(JuSubString("AB")));
  EXPECT_EQ(juHashSubString(JuSubString("ab")), uint64_t{'A' + 'B'});
  EXPECT_EQ(juHashSubString(JuSubString("abcdefg")), juHashSubString(JuSubString("ABCDExyz")));
  EXPECT_NE(juHashSubString(JuSubString("abcd")), juHashSubString(JuSubString("abcde")));
  EXPECT_EQ(juHashSubString(JuSubString()), 0u);
  EXPECT_EQ(juHashSubString(JuSubString("\xE9")), uint64_t{0xC9});  // upper-cased in code page 1252
  ExactBytes three("xyz");
  EXPECT_EQ(juHashSubString(three.view()), uint64_t{'X' + 'Y' + 'Z'});
}

TEST_F(StringView, MemMoveMinCopiesTheSmallerSizeOverlapSafe) {
  char buffer[] = "abcdefgh";
  juMemMoveMin(buffer + 2, 6, buffer, 4);  // forward overlap
  EXPECT_STREQ(buffer, "ababcdgh");
  std::strcpy(buffer, "abcdefgh");
  juMemMoveMin(buffer, 3, buffer + 2, 6);  // backward overlap, cut to 3
  EXPECT_STREQ(buffer, "cdedefgh");
  juMemMoveMin(buffer, 0, buffer + 1, 5);
  EXPECT_STREQ(buffer, "cdedefgh");
}

// ---------------------------------------------------------------------------
// Assigning and buffers
// ---------------------------------------------------------------------------

using StringBuffer = JuTest;

TEST_F(StringBuffer, AssignCopiesTerminatesAndSetsTheKind) {
  JuString s;
  ASSERT_EQ(s.assign("hello", JuCodePageKind::kUtf8), 0);
  EXPECT_EQ(text(s), "hello");
  EXPECT_EQ(s.data[5], '\0');
  EXPECT_EQ(s.capacity, 6u);
  EXPECT_EQ(s.initialLength, 5u);
  EXPECT_EQ(s.kind, JuCodePageKind::kUtf8);
  EXPECT_EQ(s.owns, 1u);
  ASSERT_EQ(s.assign("ab\0cd", 5), 0);  // counted: zeros are text
  EXPECT_EQ(text(s), std::string("ab\0cd", 5));
  EXPECT_EQ(s.kind, JuCodePageKind::kAnsi);
  ASSERT_EQ(s.assign(nullptr), 0);
  EXPECT_EQ(s.length, 0u);
  ASSERT_NE(s.data, nullptr);
  EXPECT_EQ(s.data[0], '\0');
  EXPECT_TRUE(errors_.ids().empty());
}

// Assigning releases the previous buffer (the leak check of the sanitizer
// build sees it) only after the copy, so a string takes its own text.
TEST_F(StringBuffer, AssignTakesItsOwnText) {
  JuString s;
  ASSERT_EQ(s.assign("hello world"), 0);
  ASSERT_EQ(s.assign(s.data + 6, 5), 0);
  EXPECT_EQ(text(s), "world");
  ASSERT_EQ(s.assign(s.data), 0);
  EXPECT_EQ(text(s), "world");
  JuStringEx secret;
  ASSERT_EQ(secret.assign("password"), 0);
  ASSERT_EQ(secret.assign(secret.data + 4, 4), 0);
  EXPECT_EQ(text(secret), "word");
}

TEST_F(StringBuffer, AllocateGivesAnEmptyOwnedBuffer) {
  JuString s;
  ASSERT_EQ(s.assign("old"), 0);
  ASSERT_EQ(s.allocate(10, JuCodePageKind::kUtf8), 0);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.capacity, 11u);
  EXPECT_EQ(s.kind, JuCodePageKind::kUtf8);
  EXPECT_EQ(s.data[0], '\0');
  ASSERT_EQ(s.append("0123456789"), 0);
  EXPECT_EQ(s.capacity, 11u);  // the room was there
  EXPECT_EQ(s.allocate(SIZE_MAX), 1);
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
}

TEST_F(StringBuffer, ACallersBufferNeverGrows) {
  char buffer[8] = "abc";
  JuString s;
  s.attachBuffer(buffer, sizeof buffer, 3);
  EXPECT_EQ(s.owns, 0u);
  EXPECT_EQ(s.reserve(1), 1);  // also a small request
  EXPECT_EQ(s.reserve(100), 1);
  EXPECT_EQ(s.data, buffer);
  EXPECT_EQ(s.capacity, 8u);
  EXPECT_EQ(errors_.ids(), (Ids{kJuMsgStringTooLarge, kJuMsgStringTooLarge}));
  ASSERT_EQ(s.append("defg"), 0);  // 3 + 4 + 1 fits
  EXPECT_EQ(text(s), "abcdefg");
  EXPECT_EQ(s.appendChar('h'), 1);  // 9 would not
  EXPECT_EQ(text(s), "abcdefg");
  s.release();  // not freed: the buffer is the caller's
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.owns, 0u);
  EXPECT_STREQ(buffer, "abcdefg");
}

// A string on an exactly sized caller's buffer has no room for a terminator:
// replace must not write one past it.
TEST_F(StringBuffer, ReplaceNeverTerminatesPastTheCapacity) {
  std::unique_ptr<char[]> block(new char[4]);
  std::memcpy(block.get(), "abcd", 4);
  JuString s;
  s.attachBuffer(block.get(), 4, 4);
  EXPECT_EQ(s.replace(1, 1, "X", 1), 1);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgStringTooLarge});
  EXPECT_EQ(text(s), "abcd");
  ASSERT_EQ(s.replace(1, 2, "X", 1), 0);  // shrinking leaves room
  EXPECT_EQ(std::string(block.get(), 4), std::string("aXd\0", 4));
}

TEST_F(StringBuffer, AdoptTakesOverAndReleasesThePrevious) {
  JuString s;
  ASSERT_EQ(s.assign("old"), 0);
  char* block = static_cast<char*>(juMallocChecked(16));
  std::memcpy(block, "new", 4);
  s.adopt(block, 16, JuCodePageKind::kUtf8, 3);
  EXPECT_EQ(s.data, block);
  EXPECT_EQ(s.owns, 1u);
  EXPECT_EQ(s.capacity, 16u);
  EXPECT_EQ(s.kind, JuCodePageKind::kUtf8);
  ASSERT_EQ(s.append("er"), 0);
  EXPECT_EQ(text(s), "newer");
  s.release();
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(s.capacity, 0u);
  EXPECT_EQ(s.owns, 1u);
}

TEST_F(StringBuffer, ReserveBelowTheTextCutsTheLength) {
  for (int wipe = 0; wipe < 2; ++wipe) {
    SCOPED_TRACE(wipe);
    std::unique_ptr<JuString> s(wipe ? new JuStringEx : new JuString);
    ASSERT_EQ(s->assign("abcdef"), 0);
    ASSERT_EQ(s->reserve(3), 0);
    EXPECT_EQ(s->capacity, 3u);
    EXPECT_EQ(text(*s), "abc");
    ASSERT_EQ(s->append("x"), 0);  // room for 3 + 1 + 1
    EXPECT_EQ(text(*s), "abcx");
    EXPECT_EQ(s->capacity, 5u);
  }
}

// Growth is exact: each operation asks reserve for what it needs.
TEST_F(StringBuffer, GrowthIsExact) {
  JuString s;
  ASSERT_EQ(s.append("abc"), 0);
  EXPECT_EQ(s.capacity, 4u);
  ASSERT_EQ(s.appendChar('d'), 0);
  EXPECT_EQ(s.capacity, 5u);
  ASSERT_EQ(s.ensureFree(10), 0);
  EXPECT_EQ(s.capacity, 15u);
  ASSERT_EQ(s.ensureFree(10), 0);  // already there
  EXPECT_EQ(s.capacity, 15u);
  ASSERT_EQ(s.append(int64_t{7}), 0);  // room for the longest number, 21 + 1
  EXPECT_EQ(s.capacity, 4u + 22u);
  EXPECT_EQ(text(s), "abcd7");
  JuString empty;
  ASSERT_EQ(empty.append(""), 0);  // even nothing gets a buffer with room for a NUL
  ASSERT_NE(empty.data, nullptr);
  EXPECT_EQ(empty.capacity, 1u);
}

TEST_F(StringBuffer, NumbersAtBothEnds) {
  struct Row {
    int64_t value;
    const char* expected;
  };
  const Row rows[] = {{0, "0"}, {-1, "-1"}, {INT64_MIN, "-9223372036854775808"}, {INT64_MAX, "9223372036854775807"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    JuString s;
    ASSERT_EQ(s.append("n="), 0);
    ASSERT_EQ(s.append(row.value), 0);
    EXPECT_EQ(text(s), std::string("n=") + row.expected);
  }
  JuString s;
  ASSERT_EQ(s.append(UINT64_MAX), 0);
  EXPECT_EQ(text(s), "18446744073709551615");
}

TEST_F(StringBuffer, SizesThatOverflowFailAsOutOfMemory) {
  JuString s;
  ASSERT_EQ(s.assign("abc"), 0);
  EXPECT_EQ(s.ensureFree(SIZE_MAX), 1);
  EXPECT_EQ(s.ensureFree(SIZE_MAX - 3), 1);
  EXPECT_EQ(s.append("x", SIZE_MAX - 2), 1);
  EXPECT_EQ(s.ensureTrailingLineBreaks(SIZE_MAX / 2 + 1), 1);
  EXPECT_EQ(s.replace(0, 0, "x", SIZE_MAX - 2), 1);
  EXPECT_EQ(text(s), "abc");
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
}

TEST_F(StringBuffer, AllocationFailures) {
  JuString s;
  ASSERT_EQ(s.assign("keep"), 0);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(s.append("more"), 1);  // the reallocation fails: old text stays
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  EXPECT_EQ(text(s), "keep");
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(s.assign("new"), 1);  // an assignment leaves the string empty
  julib::internal::clearAllocationFault();
  EXPECT_EQ(s.data, nullptr);
  EXPECT_EQ(s.length, 0u);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
  ASSERT_EQ(s.append("ok"), 0);
  EXPECT_EQ(text(s), "ok");

  JuStringEx secret;
  ASSERT_EQ(secret.assign("keep"), 0);
  char* before = secret.data;
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(secret.reserve(64), 1);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(secret.data, before);
  EXPECT_EQ(text(secret), "keep");
}

// ---------------------------------------------------------------------------
// Replacing
// ---------------------------------------------------------------------------

using StringReplace = JuTest;

TEST_F(StringReplace, ReplaceCutsPositionAndLengthToTheText) {
  struct Row {
    size_t pos;
    size_t oldLen;
    const char* text;
    size_t newLen;
    const char* expected;
    const char* note;
  };
  const Row rows[] = {
      {2, 2, "XYZ", 3, "abXYZef", "grow"},
      {2, 2, "XYZ", 0, "abXYZef", "a text with length 0 is measured"},
      {2, 3, "X", 1, "abXf", "shrink"},
      {2, 2, nullptr, 0, "abef", "a null text deletes"},
      {6, 0, "gh", 2, "abcdefgh", "at the end"},
      {10, 3, "gh", 2, "abcdefgh", "position beyond the text"},
      {4, 100, "Z", 1, "abcdZ", "old length beyond the text"},
      {0, 6, "", 0, "", "empty text: all deleted"},
      {0, 0, "", 0, "abcdef", "nothing at all"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString s;
    ASSERT_EQ(s.assign("abcdef"), 0);
    ASSERT_EQ(s.replace(row.pos, row.oldLen, row.text, row.newLen), 0);
    EXPECT_EQ(text(s), row.expected);
    ASSERT_LT(s.length, s.capacity);
    EXPECT_EQ(s.data[s.length], '\0');
  }
  JuString none;
  EXPECT_EQ(none.replace(0, 0, nullptr, 0), 0);
  EXPECT_EQ(none.data, nullptr);
}

TEST_F(StringReplace, ReplaceWithItsOwnText) {
  JuString s;
  ASSERT_EQ(s.assign("hello world"), 0);
  ASSERT_EQ(s.replace(0, 5, s.data + 6, 5), 0);
  EXPECT_EQ(text(s), "world world");
  ASSERT_EQ(s.replace(0, 0, s.data, s.length), 0);  // grows while its source is in the buffer
  EXPECT_EQ(text(s), "world worldworld world");
  JuStringEx secret;
  ASSERT_EQ(secret.assign("abc"), 0);
  ASSERT_EQ(secret.replace(3, 0, secret.data, 3), 0);
  EXPECT_EQ(text(secret), "abcabc");
  ASSERT_EQ(s.append(s.data, 5), 0);  // an append from its own buffer, too
  EXPECT_EQ(text(s), "world worldworld worldworld");
}

TEST_F(StringReplace, ReplaceAViewsRange) {
  JuString s;
  ASSERT_EQ(s.assign("key=value;"), 0);
  JuSubString value(s.data + 4, 5);
  ASSERT_EQ(s.replace(value, "42", 2), 0);
  EXPECT_EQ(text(s), "key=42;");
  JuSubString end(s.data + s.length, 0);
  ASSERT_EQ(s.replace(end, "!", 1), 0);
  EXPECT_EQ(text(s), "key=42;!");
  // A view of another text is refused.
  const char other[] = "elsewhere";
  EXPECT_EQ(s.replace(JuSubString(other, 4), "x", 1), 1);
  EXPECT_EQ(s.replace(JuSubString(s.data + 6, 5), "x", 1), 1);  // runs past the text
  EXPECT_EQ(text(s), "key=42;!");
}

TEST_F(StringReplace, ReplaceAll) {
  struct Row {
    const char* text;
    const char* find;
    size_t findLen;
    const char* repl;
    size_t replLen;
    const char* expected;
    const char* note;
  };
  const Row rows[] = {
      {"aaa", "a", 1, "aa", 2, "aaaaaa", "resumes after the inserted text"},
      {"aXbXc", "X", 1, "--", 2, "a--b--c", "grow"},
      {"abcabc", "b", 1, "", 0, "acac", "delete"},
      {"abcabc", "b", 1, nullptr, 0, "acac", "null replacement deletes"},
      {"xax", "a", 1, "aba", 0, "xabax", "a measured replacement advances the search"},
      {"abc", "", 0, "x", 1, "abc", "empty pattern: nothing"},
      {"abc", "b", 0, "x", 1, "abc", "pattern length 0: nothing"},
      {"abc", nullptr, 0, "x", 1, "abc", "no pattern"},
      {"", "a", 1, "b", 1, "", "empty text"},
      {"abab", "ab", 2, "", 0, "", "everything"},
      {"abc", "abcd", 4, "x", 1, "abc", "pattern longer than the text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuString s;
    ASSERT_EQ(s.assign(row.text), 0);
    EXPECT_EQ(s.replaceAll(row.find, row.findLen, row.repl, row.replLen), 0);
    EXPECT_EQ(text(s), row.expected);
  }
  JuString s;
  ASSERT_EQ(s.assign("a.b.c"), 0);
  ASSERT_EQ(s.replaceAll(".", "::"), 0);
  EXPECT_EQ(text(s), "a::b::c");
  ASSERT_EQ(s.replaceAll("", ""), 0);
  EXPECT_EQ(text(s), "a::b::c");
}

TEST_F(StringReplace, ReplaceAllInDoubleByteText) {
  ScopedCodePage scope(932);
  JuString s;
  ASSERT_EQ(s.assign("\x82" "ab" "a"), 0);  // 0x82 0x61 is one character
  ASSERT_EQ(s.replaceAll("a", "-"), 0);
  EXPECT_EQ(text(s), "\x82" "ab-");
}

// ---------------------------------------------------------------------------
// Sources inside the string's own buffer
// ---------------------------------------------------------------------------

using StringAliasing = JuTest;

JuParamString& param(JuString& s) { return static_cast<JuParamString&>(s); }

TEST_F(StringAliasing, ASourceInItsOwnBufferActsAsACopyTakenFirst) {
  using Row = jutest::AliasRow<JuString, char>;
  using S = JuString;
  using P = const char*;
  constexpr auto kString = jutest::AliasTarget::kString;
  constexpr auto kParam = jutest::AliasTarget::kParam;
  const Row rows[] = {
      {"assign", kString, [](S& s, P p, size_t n) { return s.assign(p, n); }},
      {"assign to NUL", kString, [](S& s, P p, size_t) { return s.assign(p); }},
      {"append", kString, [](S& s, P p, size_t n) { return s.append(p, n); }},
      {"append to NUL", kString, [](S& s, P p, size_t) { return s.append(p); }},
      {"appendQuoted", kString, [](S& s, P p, size_t n) { return s.appendQuoted(JuSubString(p, n), '\''); }},
      {"replace", kString, [](S& s, P p, size_t n) { return s.replace(1, 2, p, n); }},
      {"replace a view", kString, [](S& s, P p, size_t n) { return s.replace(JuSubString(s.data + 9, 3), p, n); }},
      {"replaceAll: replacement", kString, [](S& s, P p, size_t n) { return s.replaceAll("a", 1, p, n); }},
      {"replaceAll: pattern to NUL", kString, [](S& s, P p, size_t) { return s.replaceAll(p, "yyyyyyyyyyyyyy"); }},
      {"replaceAll to NUL", kString, [](S& s, P p, size_t) { return s.replaceAll("%s1", p); }},
      {"unbraceInto", kString, [](S& s, P p, size_t n) { return JuSubString(p, n).unbraceInto(s); }},
      {"unquoteInto", kString, [](S& s, P p, size_t n) { return JuSubString(p, n).unquoteInto(s, '\''); }},
      {"cursor write", kString, [](S& s, P p, size_t n) { return JuReplaceString(s).write(p, n); }},
      {"cursor quoted write", kString, [](S& s, P p, size_t n) { return JuReplaceString(s).writeQuoted(p, n, '\''); }},
      {"template", kParam, [](S& s, P p, size_t n) { return param(s).assign(p, n); }},
      {"template to NUL", kParam, [](S& s, P p, size_t) { return param(s).assign(p); }},
      {"parameter", kParam, [](S& s, P p, size_t n) { return param(s).addParam(JuSubString(p, n)); }},
      {"parameter to NUL", kParam, [](S& s, P p, size_t) { return param(s).addParam(p); }},
      {"quoted parameter", kParam, [](S& s, P p, size_t) { return param(s).addQuotedParam(p, '"'); }},
  };
  jutest::expectAliasedAsCopied<JuString, JuStringEx, JuParamString>(std::string("{a%s1'b''c%s1a}"), rows);
  // A source that starts before a caller's buffer and reaches into it.
  char buffer[16] = "'ab''cd'";
  JuString attached;
  attached.attachBuffer(buffer + 2, sizeof buffer - 2, 0);
  ASSERT_EQ(JuSubString(buffer, 8).unquoteInto(attached, '\''), 0);
  EXPECT_EQ(text(attached), "ab'cd");
}

// replaceAll with `findLen` units of the string's own text at `offset` as the
// pattern, on a string of family S; the result as bytes (ASCII either way).
template <typename S>
std::string replaceOwnPattern(const std::string& start, size_t offset, size_t findLen, const std::string& repl) {
  using Char = std::remove_pointer_t<decltype(S::data)>;
  const std::basic_string<Char> units(start.begin(), start.end()), replacement(repl.begin(), repl.end());
  S s;
  EXPECT_EQ(s.assign(units.c_str()), 0);
  EXPECT_EQ(s.replaceAll(s.data + offset, findLen, replacement.c_str(), replacement.size()), 0);
  return std::string(s.data, s.data + s.length);
}

// A pattern in the string's own text is its findLen units, as they were
// before the first replacement; the narrow and wide forms, plain and wiping.
TEST_F(StringAliasing, APatternInTheTextIsItsFindLengthUnits) {
  const struct {
    const char *text, *repl, *expected;
    size_t offset, findLen;
  } rows[] = {{"x-x-x", "yy", "yy-yy-yy", 0, 1}, {"x-x-x", "yy", "yy-yy-yy", 4, 1}, {"ab-ab-a", "c", "c-c-a", 3, 2},
              {"aXbXc", "", "abc", 1, 1}};
  using Run = std::string (*)(const std::string&, size_t, size_t, const std::string&);
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " at " + std::to_string(row.offset));
    for (Run run : {replaceOwnPattern<JuString>, replaceOwnPattern<JuStringEx>, replaceOwnPattern<JuStringW>,
                    replaceOwnPattern<JuStringWEx>}) {
      EXPECT_EQ(run(row.text, row.offset, row.findLen, row.repl), row.expected);
    }
  }
}

// ---------------------------------------------------------------------------
// Wiping
// ---------------------------------------------------------------------------

using StringWipe = JuTest;

constexpr size_t kSecretSize = 200;  // a block the allocator caches by size

std::string secretText() { return std::string(kSecretSize - 1, 'S'); }

// The control: a plain string lets its text go as it was.
TEST_F(StringWipe, ThePlainStringIsNotWipedSoTheProbeWorks) {
  JuString plain;
  ASSERT_EQ(plain.assign(secretText().c_str()), 0);
  const uintptr_t block = jutest::addressOf(plain.data);
  plain.release();
  const Wiped wiped = jutest::probeFreedBlock(block, kSecretSize);
  ASSERT_NE(wiped, Wiped::kUnknown) << "the block was not freed";
  EXPECT_EQ(wiped, Wiped::kNo);
}

TEST_F(StringWipe, EveryReleaseAndReallocationIsZeroed) {
  struct Step {
    const char* name;
    void (*run)(JuStringEx&);
  };
  const Step steps[] = {
      {"release", [](JuStringEx& s) { s.release(); }},
      {"reserve", [](JuStringEx& s) { ASSERT_EQ(s.reserve(2 * kSecretSize), 0); }},
      {"assign", [](JuStringEx& s) { ASSERT_EQ(s.assign("short"), 0); }},
      {"allocate", [](JuStringEx& s) { ASSERT_EQ(s.allocate(10), 0); }},
      {"append", [](JuStringEx& s) { ASSERT_EQ(s.append("x"), 0); }},
      {"wrap", [](JuStringEx& s) { ASSERT_EQ(s.wrap(10, 0, 0, 0), 0); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    JuStringEx s;
    std::string secret = secretText();
    secret[50] = ' ';  // something to wrap at
    ASSERT_EQ(s.assign(secret.c_str()), 0);
    const uintptr_t block = jutest::addressOf(s.data);
    step.run(s);
    const Wiped wiped = jutest::probeFreedBlock(block, kSecretSize);
    EXPECT_EQ(wiped, Wiped::kYes);
  }
  {
    auto* s = new JuStringEx;
    ASSERT_EQ(s->assign(secretText().c_str()), 0);
    const uintptr_t block = jutest::addressOf(s->data);
    delete s;
    EXPECT_EQ(jutest::probeFreedBlock(block, kSecretSize), Wiped::kYes);
  }
}

}  // namespace
