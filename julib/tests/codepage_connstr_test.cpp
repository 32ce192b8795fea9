// The connection-string code page scanner, UTF-16 and narrow.

#include <unicode/ucnv.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "julib/codepage.h"
#include "julib/object.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

constexpr int64_t kMiss = kJuCodePageMiss;

// The text in a heap block of exactly its units, with no terminator, so
// AddressSanitizer catches any read past the given length.
struct ExactWide {
  explicit ExactWide(const std::u16string& text) : n(text.size()), block(new char16_t[text.size()]) {
    std::memcpy(block.get(), text.data(), n * sizeof(char16_t));
  }
  size_t n;
  std::unique_ptr<char16_t[]> block;
};

struct ExactNarrow {
  explicit ExactNarrow(const std::string& text) : n(text.size()), block(new char[text.size()]) {
    std::memcpy(block.get(), text.data(), n);
  }
  size_t n;
  std::unique_ptr<char[]> block;
};

struct WideResult {
  int64_t id;
  std::optional<std::u16string> dsn;
};

WideResult scanWide(const char16_t* text, int64_t length) {
  char16_t* dsn = nullptr;
  WideResult out{juGetAppCodePageFromConnStrW(text, length, &dsn), std::nullopt};
  if (dsn != nullptr) out.dsn = std::u16string(dsn);
  juFree(dsn);
  return out;
}

struct NarrowResult {
  int64_t id;
  std::optional<std::string> dsn;
};

NarrowResult scanNarrow(const char* text, int64_t length) {
  char* dsn = nullptr;
  NarrowResult out{juGetAppCodePageFromConnStr(text, length, &dsn), std::nullopt};
  if (dsn != nullptr) out.dsn = std::string(dsn);
  juFree(dsn);
  return out;
}

std::string asciiOf(const std::u16string& text) { return std::string(text.begin(), text.end()); }

bool isAscii(const std::u16string& text) {
  for (char16_t c : text) {
    if (c == 0 || c > 0x7F) return false;
  }
  return true;
}

struct Row {
  std::u16string text;
  int64_t id;
  const char16_t* dsn;  // null: none captured
  const char* note;
};

// Every row runs through the UTF-16 scanner over an exact block, and, when
// it is ASCII, through the narrow one too.
void checkRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    SCOPED_TRACE(jutest::toUtf8(row.text));
    ExactWide wide(row.text);
    const WideResult w = scanWide(wide.block.get(), static_cast<int64_t>(wide.n));
    EXPECT_EQ(w.id, row.id);
    if (row.dsn == nullptr) {
      EXPECT_FALSE(w.dsn.has_value()) << jutest::toUtf8(*w.dsn);
    } else {
      ASSERT_TRUE(w.dsn.has_value());
      EXPECT_EQ(jutest::toUtf8(*w.dsn), jutest::toUtf8(row.dsn));
    }
    if (!isAscii(row.text)) continue;
    ExactNarrow narrow(asciiOf(row.text));
    const NarrowResult a = scanNarrow(narrow.block.get(), static_cast<int64_t>(narrow.n));
    EXPECT_EQ(a.id, row.id) << "narrow";
    if (row.dsn == nullptr) {
      EXPECT_FALSE(a.dsn.has_value()) << "narrow";
    } else {
      ASSERT_TRUE(a.dsn.has_value()) << "narrow";
      EXPECT_EQ(*a.dsn, jutest::toUtf8(row.dsn)) << "narrow";
    }
  }
}

class ConnStrScan : public jutest::JuTest {};

TEST_F(ConnStrScan, CodePageKeys) {
  checkRows({
      {u"ACP=1252", 2252, nullptr, "legacy number mapped"},
      {u"ACP=1252;IACP=106", 106, nullptr, "an IANA key returns at once"},
      {u"IACP=106;ACP=1252;DSN=x", 106, nullptr, "nothing behind an IANA key is read"},
      {u"ACP=1252;ACP=99", kMiss, nullptr, "a later key replaces; 99 is no legacy number"},
      {u"ACP=1252;IACP=x", kMiss, nullptr, "an IANA key without a number is invalid"},
      {u"IACP=;ACP=1252", 2252, nullptr, "an invalid IANA key does not end the scan"},
      {u"IACP=0", 0, nullptr, "an IANA number is returned unmapped"},
      {u"IANAAPPCODEPAGE=2252", 2252, nullptr, "long IANA key"},
      {u"AppCodePage=932", 17, nullptr, "long legacy key, case ignored"},
      {u"aCp=1252", 2252, nullptr, "case ignored"},
      {u"iAcP=17", 17, nullptr, "case ignored"},
      {u"AppCodePage = { 1252 }", 2252, nullptr, "braced with blanks"},
      {u"AppCodePage={1252 x}", kMiss, nullptr, "a braced number needs only blanks before }"},
      {u"ACP={1252}x", 2252, nullptr, "text after the closing brace"},
      {u"ACP=1252}", 2252, nullptr, "an unbraced value ends at any other unit"},
      {u"ACP=1252abc", 2252, nullptr, "an unbraced value ends at any other unit"},
      {u"ACP=;", 3, nullptr, "an empty value is 0, which maps to 3"},
      {u"ACP=abc", 3, nullptr, "letters only are 0"},
      {u"ACP={}", 3, nullptr, "an empty braced value is 0"},
      {u"ACP=", kMiss, nullptr, "the text ends before the value"},
      {u"ACP= ", kMiss, nullptr, "the text ends before the value"},
      {u"ACP={", kMiss, nullptr, "the text ends before the value"},
      {u"ACP=-", kMiss, nullptr, "the text ends before the value"},
      {u"ACP", kMiss, nullptr, "a key with nothing after it"},
      {u"ACP 1252", kMiss, nullptr, "no ="},
      {u"ACP=-1", 1015, nullptr, "negative legacy number"},
      {u"IACP=-5", -5, nullptr, "negative id"},
      {u"ACP=1252;ACPX=5", kMiss, nullptr, "a key that starts like ACP is taken as ACP"},
      {u"MYACP=932;ACP=1252", 2252, nullptr, "keys count only at the start of an element"},
  });
}

TEST_F(ConnStrScan, NumbersBeyond64BitsAreInvalid) {
  checkRows({
      {u"IACP=9223372036854775807", INT64_MAX, nullptr, "2^63 - 1"},
      {u"IACP=9223372036854775808", kMiss, nullptr, "2^63"},
      {u"IACP=-9223372036854775808", INT64_MIN, nullptr, "-2^63"},
      {u"IACP=-9223372036854775809", kMiss, nullptr, "-2^63 - 1"},
      {u"IACP=18446744073709551722", kMiss, nullptr, "2^64 + 106 must not wrap to 106"},
      {u"ACP=18446744073709553868", kMiss, nullptr, "2^64 + 2252 must not wrap to 2252"},
      {u"ACP=000000000000000000000000001252", 2252, nullptr, "leading zeros are no overflow"},
  });
}

TEST_F(ConnStrScan, KeysCutOffByTheEnd) {
  checkRows({
      {u"ACP=1252;AC", kMiss, nullptr, "a cut-off code page key is invalid"},
      {u"ACP=1252;A", kMiss, nullptr, "a cut-off code page key is invalid"},
      {u"ACP=1252;I", kMiss, nullptr, "a cut-off code page key is invalid"},
      {u"ACP=1252;IANAAPPCODEPAG", kMiss, nullptr, "a cut-off code page key is invalid"},
      {u"ACP=1252;DS", 2252, nullptr, "a cut-off DSN ends the scan"},
      {u"ACP=1252;D", 2252, nullptr, "a cut-off DSN ends the scan"},
      {u"ACP=1252;", 2252, nullptr, "nothing after the last ; is no key"},
      {u"ACP=1252; \t", 2252, nullptr, "blanks after the last ; are no key"},
      {u"ACP=1252;B", 2252, nullptr, "no key starts with B"},
      {u"", kMiss, nullptr, "empty text"},
  });
}

TEST_F(ConnStrScan, BlanksAndSurrogates) {
  checkRows({
      {u"  acp = 1252 ", 2252, nullptr, "blanks around key and ="},
      {u"\tACP\t=\t1252", 2252, nullptr, "tabs"},
      {u"\u3000ACP=1252", 2252, nullptr, "ideographic space is white space"},
      {u"\u00A0ACP=1252", kMiss, nullptr, "no-break space is not"},
      {u"\xD83D\xDE00" u"ACP=1252", 2252, nullptr, "a surrogate pair before a key is stepped over"},
      {u"X\xD83D\xDE00;ACP=932", 17, nullptr, "a pair inside an element"},
      {u"ACP=1252;\xD83D", 2252, nullptr, "a lone lead unit at the end"},
      {u"ACP=1252;\xDE00", 2252, nullptr, "a lone trail unit"},
      {u"ACP=12\xD83D\xDE00", 5, nullptr, "a surrogate ends the number"},
      {u"ACP={12\xD83D\xDE00}", 5, nullptr, "a surrogate ends a braced number"},
      {u"\xDC00" u"ACP=1252", kMiss, nullptr, "a lone surrogate is no blank and no key"},
  });
}

TEST_F(ConnStrScan, DataSourceName) {
  checkRows({
      {u"DSN=a;DSN=b", kMiss, u"a", "the first DSN wins"},
      {u"DSN=a ;ACP=1252", 2252, u"a ", "a trailing blank is kept"},
      {u"DSN = \tmy source", kMiss, u"my source", "leading blanks are not"},
      {u"ACP=1252;dsn=x", 2252, u"x", "case ignored"},
      {u"DSN=;DSN=b", kMiss, u"b", "an empty DSN captures nothing"},
      {u"DSN", kMiss, nullptr, "no ="},
      {u"DSN x;DSN=y", kMiss, u"y", "no =, so the next one counts"},
      {u"DSNX=a;DSN=b", kMiss, u"b", "a longer key has no ="},
      {u"DSN=", kMiss, nullptr, "no value"},
      {u"DSN=\xD83D\xDE00", kMiss, u"\xD83D\xDE00", "a pair kept whole"},
  });
}

// Braced values hide what they hold from the scan, as the connect-string
// parser reads them: a ";" or a key inside braces is part of the value.
TEST_F(ConnStrScan, BracesHideTheirContents) {
  checkRows({
      {u"X={ACP=932};ACP=1252", 2252, nullptr, "a key inside braces"},
      {u"X={a;IACP=106};ACP=1252", 2252, nullptr, "a ; and an IANA key inside braces"},
      {u"X={a;ACP=932}", kMiss, nullptr, "a legacy key inside braces"},
      {u"X = {a;ACP=932}", kMiss, nullptr, "blanks before the brace"},
      {u"X={a}}b;ACP=932};ACP=1252", 2252, nullptr, "}} does not close"},
      {u"X={a;ACP=932", kMiss, nullptr, "an unclosed brace hides the rest"},
      {u"X=a{;ACP=932}", 17, nullptr, "a brace inside a value is no brace"},
      {u"ACP={1252;ACP=932}", kMiss, nullptr, "a ; inside a braced number"},
      {u"X={a;DSN=evil};DSN=real", kMiss, u"real", "a DSN inside braces"},
      {u"DSN={a;b};ACP=1252", 2252, u"a;b", "braces are not part of the name"},
      {u"DSN={a}}b}", kMiss, u"a}b", "}} is one }"},
      {u"DSN= {x} ;ACP=932", 17, u"x", "text after the closing brace"},
      {u"DSN={};DSN=c", kMiss, u"c", "an empty braced DSN captures nothing"},
      {u"DSN={}};ACP=932}", kMiss, u"};ACP=932", "}} first, then the closing brace"},
      {u"DSN={abc", kMiss, u"{abc", "unclosed: the value as it stands"},
  });
}

// ---------------------------------------------------------------------------
// Lengths and arguments.
// ---------------------------------------------------------------------------

TEST_F(ConnStrScan, LengthIsHonouredOnBothSides) {
  const std::u16string text = u"ACP=932;DSN=abc";
  struct LengthRow {
    size_t length;
    int64_t id;
    const char16_t* dsn;
  };
  const LengthRow rows[] = {
      {0, kMiss, nullptr},  {2, kMiss, nullptr},  {3, kMiss, nullptr},  {4, kMiss, nullptr},
      {5, 2025, nullptr},   {6, kMiss, nullptr},  {7, 17, nullptr},     {8, 17, nullptr},
      {9, 17, nullptr},     {11, 17, nullptr},    {12, 17, nullptr},    {13, 17, u"a"},
      {14, 17, u"ab"},      {15, 17, u"abc"},
  };
  for (const LengthRow& row : rows) {
    SCOPED_TRACE(row.length);
    ExactWide wide(text.substr(0, row.length));
    const WideResult w = scanWide(wide.block.get(), static_cast<int64_t>(row.length));
    EXPECT_EQ(w.id, row.id);
    EXPECT_EQ(w.dsn.has_value(), row.dsn != nullptr);
    if (row.dsn != nullptr && w.dsn) {
      EXPECT_EQ(*w.dsn, row.dsn);
    }
    ExactNarrow narrow(asciiOf(text.substr(0, row.length)));
    const NarrowResult a = scanNarrow(narrow.block.get(), static_cast<int64_t>(row.length));
    EXPECT_EQ(a.id, row.id);
    EXPECT_EQ(a.dsn.has_value(), row.dsn != nullptr);
  }
}

TEST_F(ConnStrScan, NullTerminatedLengthMeasuresTheText) {
  // -3 stops at the first zero; a counted length reads past it.
  const char16_t wide[] = u"ACP=1252\0;IACP=106";
  EXPECT_EQ(scanWide(wide, kJuNullTerminated).id, 2252);
  EXPECT_EQ(scanWide(wide, sizeof wide / sizeof wide[0] - 1).id, 106);
  const char narrow[] = "ACP=1252\0;IACP=106";
  EXPECT_EQ(scanNarrow(narrow, kJuNullTerminated).id, 2252);
  EXPECT_EQ(scanNarrow(narrow, sizeof narrow - 1).id, 106);

  // Terminated heap blocks of exactly the text and its zero.
  const std::u16string text = u"DSN=x;ACP=1252";
  ExactWide exact(text + u'\0');
  const WideResult w = scanWide(exact.block.get(), kJuNullTerminated);
  EXPECT_EQ(w.id, 2252);
  ASSERT_TRUE(w.dsn.has_value());
  EXPECT_EQ(*w.dsn, u"x");
  ExactNarrow exactNarrow(asciiOf(text) + '\0');
  const NarrowResult a = scanNarrow(exactNarrow.block.get(), kJuNullTerminated);
  EXPECT_EQ(a.id, 2252);
  ASSERT_TRUE(a.dsn.has_value());
  EXPECT_EQ(*a.dsn, "x");
  EXPECT_EQ(scanWide(u"", kJuNullTerminated).id, kMiss);
  EXPECT_EQ(scanNarrow("", kJuNullTerminated).id, kMiss);
}

TEST_F(ConnStrScan, BadArgumentsMiss) {
  const int64_t lengths[] = {-1, -2, -4, INT64_MIN};
  for (int64_t length : lengths) {
    SCOPED_TRACE(length);
    const WideResult w = scanWide(u"DSN=a;ACP=1252", length);
    EXPECT_EQ(w.id, kMiss);
    EXPECT_FALSE(w.dsn.has_value());
    const NarrowResult a = scanNarrow("DSN=a;ACP=1252", length);
    EXPECT_EQ(a.id, kMiss);
    EXPECT_FALSE(a.dsn.has_value());
  }
  EXPECT_EQ(juGetAppCodePageFromConnStrW(nullptr, 5, nullptr), kMiss);
  EXPECT_EQ(juGetAppCodePageFromConnStr(nullptr, kJuNullTerminated, nullptr), kMiss);
  // Without an out-parameter the code page is still found.
  EXPECT_EQ(juGetAppCodePageFromConnStrW(u"DSN=a;ACP=1252", kJuNullTerminated, nullptr), 2252);
  EXPECT_EQ(juGetAppCodePageFromConnStr("DSN=a;ACP=1252", kJuNullTerminated, nullptr), 2252);
  // A DSN already held is never overwritten.
  char16_t held[] = u"held";
  char16_t* dsn = held;
  EXPECT_EQ(juGetAppCodePageFromConnStrW(u"DSN=a;ACP=1252", kJuNullTerminated, &dsn), 2252);
  EXPECT_EQ(dsn, held);
  char heldNarrow[] = "held";
  char* narrowDsn = heldNarrow;
  EXPECT_EQ(juGetAppCodePageFromConnStr("DSN=a;ACP=1252", kJuNullTerminated, &narrowDsn), 2252);
  EXPECT_EQ(narrowDsn, heldNarrow);
  EXPECT_TRUE(errors_.ids().empty());
}

// ---------------------------------------------------------------------------
// The narrow form: ICU's default converter.
// ---------------------------------------------------------------------------

// Text in ICU's default code page, converted by the test itself.
std::string inDefaultCodePage(const std::u16string& text) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(nullptr, &status);
  EXPECT_TRUE(U_SUCCESS(status));
  std::string out(text.size() * 8 + 16, '\0');
  const int32_t n = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                    static_cast<int32_t>(text.size()), &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  ucnv_close(converter);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

TEST_F(ConnStrScan, NarrowDsnInTheDefaultCodePage) {
  const std::string before = ucnv_getDefaultName();
  const std::u16string dsn = u"Caf\u00E9 \u00FCber";
  ExactNarrow text(inDefaultCodePage(u"ACP=1252;DSN=" + dsn + u";IACP=106"));
  const NarrowResult a = scanNarrow(text.block.get(), static_cast<int64_t>(text.n));
  EXPECT_EQ(a.id, 106);
  ASSERT_TRUE(a.dsn.has_value());
  EXPECT_EQ(*a.dsn, inDefaultCodePage(dsn));
  EXPECT_EQ(before, ucnv_getDefaultName()) << "the default converter is the host's";
}

TEST_F(ConnStrScan, NarrowBracedDsn) {
  const NarrowResult a = scanNarrow("X={ACP=932;DSN=no};DSN={a;b}}c};ACP=1252", kJuNullTerminated);
  EXPECT_EQ(a.id, 2252);
  ASSERT_TRUE(a.dsn.has_value());
  EXPECT_EQ(*a.dsn, "a;b}c");
}

// ---------------------------------------------------------------------------
// Out of memory: every allocation fails in turn; the code page survives, the
// DSN is left null, nothing leaks.
// ---------------------------------------------------------------------------

TEST_F(ConnStrScan, AllocationFailures) {
  jutest::failEachAllocation([](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    char16_t* wideDsn = nullptr;
    fault.arm();
    const int64_t id = juGetAppCodePageFromConnStrW(u"DSN=a;DSN=b;ACP=1252", kJuNullTerminated, &wideDsn);
    const bool failed = fault.disarm();
    EXPECT_EQ(id, 2252);
    if (failed) {
      EXPECT_EQ(wideDsn, nullptr) << "the first DSN wins even when its copy fails";
    } else {
      ASSERT_NE(wideDsn, nullptr);
      EXPECT_EQ(std::u16string(wideDsn), u"a");
      juFree(wideDsn);
    }
  });
  jutest::failEachAllocation([](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    char* dsn = nullptr;
    fault.arm();
    const int64_t id = juGetAppCodePageFromConnStr("DSN=a;ACP=1252", kJuNullTerminated, &dsn);
    const bool narrowFailed = fault.disarm();
    if (!narrowFailed) {
      EXPECT_EQ(id, 2252);
      ASSERT_NE(dsn, nullptr);
      EXPECT_STREQ(dsn, "a");
    } else if (fault.nth() == 1) {
      EXPECT_EQ(id, kMiss) << "no buffer for the UTF-16 text";
      EXPECT_EQ(dsn, nullptr);
    } else {
      EXPECT_EQ(id, 2252) << "only the DSN is lost";
      EXPECT_EQ(dsn, nullptr);
    }
    if (narrowFailed) {
      EXPECT_EQ(errors.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
    }
    juFree(dsn);
  });
}

}  // namespace
