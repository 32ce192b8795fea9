// The argument renderer: tables of call records and the argument text each
// gives, over valid, null, read-only, inaccessible and unmapped memory;
// passwords masked; output buffers shown only after a successful call;
// whole records whose argument lines each end their line.
// Longer than our files usually are: the tables share the one fixture that maps
// the read-only, inaccessible and unmapped pages.

// The ODBC headers declare trace functions of their own under the names of
// the control exports: renamed out of the way, only their constants are used.
#define TraceOpenLogFile unixOdbcTraceOpenLogFile
#define TraceCloseLogFile unixOdbcTraceCloseLogFile
#define TraceReturn unixOdbcTraceReturn
#define TraceVersion unixOdbcTraceVersion
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#undef TraceOpenLogFile
#undef TraceCloseLogFile
#undef TraceReturn
#undef TraceVersion

#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "core_test_util.h"
#include "platform/ansi.h"
#include "render.h"

using coretest::address;
using coretest::memoryLog;

namespace {

constexpr uint64_t kNts = static_cast<uint64_t>(int64_t{SQL_NTS});
// Below the lowest address the kernel maps.
constexpr uint64_t kUnmapped = 0x8000;

std::string hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016" PRIX64, value);
  return text;
}
std::string hex(const void* p) { return hex(address(p)); }

struct Arg {
  uint32_t code;
  uint64_t value;
};

TraceCallRecord makeRecord(uint32_t functionId, const char* name, std::initializer_list<Arg> args) {
  TraceCallRecord record{};
  record.functionId = functionId;
  record.functionName = name;
  record.wide = name[std::strlen(name) - 1] == 'W' ? 1 : 0;
  for (const Arg& arg : args) {
    record.typeCodes[record.argCount] = arg.code;
    record.typeNames[record.argCount] = TraceTypeLabel(arg.code);
    record.values[record.argCount] = TraceWiden(arg.code, arg.value);
    ++record.argCount;
  }
  return record;
}

// One argument's text, as the writer asks for it, in `room` characters.
std::string render(const TraceCallRecord& record, uint32_t index, int noOutput, size_t room = 4096) {
  std::vector<char> buffer(room + 16, '#');
  const size_t n = TraceFormatArg(record, index, noOutput, buffer.data(), room, record.typeCodes[index]);
  EXPECT_LE(n, room);
  EXPECT_EQ(buffer[room], '#') << "written past the room";
  return std::string(buffer.data(), n);
}

constexpr int kEnter = 1;  // the no-output flag of ENTER and failed EXIT records
constexpr int kExit = 0;   // of an EXIT record of a successful call

// Pages with hostile neighbours: readable and writable data, read-only
// data that runs into an inaccessible page, and the inaccessible page.
class Hostile {
 public:
  Hostile() {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* p = mmap(nullptr, 3 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    base_ = static_cast<char*>(p);
    std::memset(base_, 'w', 2 * page_);
    // Read-only: an int32 of 7, an int64 of -5, and unterminated "abc" at
    // its very end.
    const int32_t seven = 7;
    const int64_t minusFive = -5;
    std::memcpy(readOnly(), &seven, sizeof seven);
    std::memcpy(readOnly() + 8, &minusFive, sizeof minusFive);
    std::memcpy(readOnly() + page_ - 3, "abc", 3);
    mprotect(readOnly(), page_, PROT_READ);
    mprotect(none(), page_, PROT_NONE);
  }
  ~Hostile() {
    if (base_ != nullptr) munmap(base_, 3 * page_);
  }
  Hostile(const Hostile&) = delete;
  Hostile& operator=(const Hostile&) = delete;

  bool ok() const { return base_ != nullptr; }
  char* writable() const { return base_; }
  char* readOnly() const { return base_ + page_; }
  char* none() const { return base_ + 2 * page_; }
  // The last `n` writable bytes before the read-only page.
  char* writableEnd(size_t n) const { return base_ + page_ - n; }
  // Unterminated "abc" followed by the inaccessible page.
  const char* unterminated() const { return readOnly() + page_ - 3; }

 private:
  size_t page_ = 0;
  char* base_ = nullptr;
};

TraceCallRecord execDirect(const void* text, int64_t length) {
  return makeRecord(SQL_API_SQLEXECDIRECT, "SQLExecDirect",
                    {{6, 0x10}, {13, address(text)}, {10, static_cast<uint64_t>(length)}});
}
TraceCallRecord execDirectW(const char16_t* text, int64_t length) {
  return makeRecord(SQL_API_SQLEXECDIRECT, "SQLExecDirectW",
                    {{6, 0x10}, {34, address(text)}, {10, static_cast<uint64_t>(length)}});
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(memory_.ok()); }
  Hostile memory_;
  jutest::ScopedErrorList errors_;
};

struct Row {
  const char* note;
  TraceCallRecord record;
  uint32_t index;
  int noOutput;
  std::string expected;
};

void checkRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(render(row.record, row.index, row.noOutput), row.expected);
  }
}

// ---------------------------------------------------------------------------
// Handles, integers and constant names.
// ---------------------------------------------------------------------------

TEST_F(RenderTest, HandlesAndIntegers) {
  const auto freeStmt = [](uint64_t option) { return makeRecord(16, "SQLFreeStmt", {{6, 0xABCDEF}, {7, option}}); };
  const auto scroll = [](uint64_t offset) {
    return makeRecord(SQL_API_SQLFETCHSCROLL, "SQLFetchScroll", {{23, 1}, {20, SQL_FETCH_ABSOLUTE}, {24, offset}});
  };
  const auto numbers = makeRecord(99, "SQLNumbers",
                                  {{10, 0x80000000u}, {15, 0xFFFFFFFFu}, {55, UINT64_MAX}, {56, UINT64_MAX},
                                   {55, uint64_t{1} << 40}, {8, 0x8000}, {0, 5}, {36, 5}, {53, 5}, {99, 5}});
  const std::vector<Row> rows = {
      {"handle: upper-case digits", freeStmt(1), 0, kEnter, " 0x0000000000ABCDEF\n"},
      {"SQL_DROP", freeStmt(1), 1, kEnter, "          1 <SQL_DROP>\n"},
      {"SQL_CLOSE", freeStmt(0), 1, kExit, "          0 <SQL_CLOSE>\n"},
      {"option 7 has no name", freeStmt(7), 1, kEnter, "          7 <unknown>\n"},
      {"UWORD 65535 unsigned", freeStmt(65535), 1, kEnter, "      65535 <unknown>\n"},
      {"orientation named", scroll(5), 1, kEnter, "          5 <SQL_FETCH_ABSOLUTE>\n"},
      {"32-bit offset with no table, whole", scroll(100000), 2, kEnter, "     100000 \n"},
      {"most negative 32-bit offset", scroll(0x80000000u), 2, kEnter, "   -2147483648 \n"},
      {"SDWORD", numbers, 0, kEnter, " -2147483648\n"},
      {"UDWORD", numbers, 1, kEnter, " 4294967295\n"},
      {"SQLLEN -1, all 64 bits", numbers, 2, kEnter, "         -1\n"},
      {"SQLULEN, all 64 bits", numbers, 3, kEnter, " 18446744073709551615\n"},
      {"SQLLEN 2^40", numbers, 4, kEnter, " 1099511627776\n"},
      {"SWORD -32768, no table", numbers, 5, kEnter, "     -32768 \n"},
      {"type code 0", numbers, 6, kEnter, " <unknown type>\n"},
      {"render code 36 ends its line", numbers, 7, kEnter, "\n"},
      {"render code 53 ends its line", numbers, 8, kEnter, "\n"},
      {"a code above 58 ends its line", numbers, 9, kEnter, "\n"},
  };
  checkRows(rows);
}

TEST_F(RenderTest, PointedValuesAreReadThroughTheirTest) {
  char* w = memory_.writable();
  const int32_t i32 = -42;
  const int16_t i16 = -7;
  const uint32_t u32 = 4000000000u;
  const uint16_t u16 = 65000;
  const int64_t i64 = INT64_MIN;
  const uint64_t u64 = UINT64_MAX;
  std::memcpy(w, &i32, 4);
  std::memcpy(w + 8, &i16, 2);
  std::memcpy(w + 16, &u32, 4);
  std::memcpy(w + 24, &u16, 2);
  std::memcpy(w + 32, &i64, 8);
  std::memcpy(w + 40, &u64, 8);
  const uint64_t handle = 0x12345;
  std::memcpy(w + 48, &handle, 8);
  const auto one = [](uint32_t code, const void* p) { return makeRecord(99, "SQLPointed", {{code, address(p)}}); };
  const char* ro = memory_.readOnly();
  const std::vector<Row> rows = {
      {"SDWORD *", one(11, w), 0, kEnter, " " + hex(w) + " (-42)\n"},
      {"SQLINTEGER * in an EXIT", one(26, w), 0, kExit, " " + hex(w) + " (-42)\n"},
      {"SWORD *", one(12, w + 8), 0, kEnter, " " + hex(w + 8) + " (-7)\n"},
      {"SQLSMALLINT *", one(27, w + 8), 0, kEnter, " " + hex(w + 8) + " (-7)\n"},
      {"UDWORD *", one(14, w + 16), 0, kEnter, " " + hex(w + 16) + " (4000000000)\n"},
      {"UWORD *", one(17, w + 24), 0, kEnter, " " + hex(w + 24) + " (65000)\n"},
      {"SQLLEN *", one(57, w + 32), 0, kEnter, " " + hex(w + 32) + " (-9223372036854775808)\n"},
      {"SQLULEN *", one(58, w + 40), 0, kEnter, " " + hex(w + 40) + " (18446744073709551615)\n"},
      {"null", one(11, nullptr), 0, kEnter, " 0x0000000000000000\n"},
      {"read-only: the write test fails", one(11, ro), 0, kEnter, " " + hex(ro) + " (BADMEM)\n"},
      {"read-only 64-bit", one(57, ro + 8), 0, kEnter, " " + hex(ro + 8) + " (BADMEM)\n"},
      {"PROT_NONE", one(26, memory_.none()), 0, kEnter, " " + hex(memory_.none()) + " (BADMEM)\n"},
      {"unmapped", one(58, reinterpret_cast<void*>(kUnmapped)), 0, kEnter, " " + hex(kUnmapped) + " (BADMEM)\n"},
      {"straddles into read-only", one(57, memory_.writableEnd(4)), 0, kEnter,
       " " + hex(memory_.writableEnd(4)) + " (BADMEM)\n"},
      {"the last 2 writable bytes", one(12, memory_.writableEnd(2)), 0, kEnter,
       " " + hex(memory_.writableEnd(2)) + " (30583)\n"},  // "ww"
      // Handle pointers are followed only where outputs are shown.
      {"HDBC * in ENTER", one(2, w + 48), 0, kEnter, " " + hex(w + 48) + "\n"},
      {"HDBC * in EXIT", one(2, w + 48), 0, kExit, " " + hex(w + 48) + " ( 0x0000000000012345)\n"},
      {"SQLHANDLE * null", one(22, nullptr), 0, kExit, " 0x0000000000000000\n"},
      {"HSTMT * read-only", one(5, ro), 0, kExit, " " + hex(ro) + " (BADMEM)\n"},
      {"HENV * unmapped", one(3, reinterpret_cast<void*>(kUnmapped)), 0, kExit, " " + hex(kUnmapped) + " (BADMEM)\n"},
  };
  checkRows(rows);
}

TEST_F(RenderTest, ReadabilityIsThePlatformProbe) {
  struct ReadRow {
    const char* note;
    const void* address;
    size_t n;
    bool readable;
  } rows[] = {
      {"writable", memory_.writable(), 4096, true},
      {"read-only", memory_.readOnly(), 16, true},
      {"into the inaccessible page", memory_.unterminated(), 4, false},
      {"inaccessible", memory_.none(), 1, false},
      {"unmapped", reinterpret_cast<const void*>(kUnmapped), 1, false},
      {"null", nullptr, 1, false},
      {"no bytes", nullptr, 0, true},
  };
  for (const ReadRow& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(TraceIsReadable(row.address, row.n), row.readable);
  }
}

TEST_F(RenderTest, TerminatedTextIsMeasuredWithinItsLimit) {
  char* w = memory_.writable();
  std::memset(w, 'a', 64);
  w[10] = w[11] = '\0';
  w[21] = '\0';
  // A UTF-16 text at an odd address whose units straddle the boundary into
  // the read-only page, terminated there: "aa" + U+0000 across the pages.
  char* straddle = memory_.readOnly() - 5;
  std::memset(straddle, 'b', 5);
  struct MeasureRow {
    const char* note;
    const void* address;
    bool wide;
    uint64_t limit;
    TraceMeasured result;
    uint64_t bytes;
  } rows[] = {
      {"terminated", w, false, 100, TraceMeasured::kTerminated, 11},
      {"terminator is the last byte of the limit", w, false, 11, TraceMeasured::kTerminated, 11},
      {"limit before the terminator", w, false, 10, TraceMeasured::kLimit, 10},
      {"limit 0", w, false, 0, TraceMeasured::kLimit, 0},
      {"wide: the unit at 10", w, true, 100, TraceMeasured::kTerminated, 12},
      {"wide: 'a' and a zero byte at 20 is no terminator", w + 12, true, 40, TraceMeasured::kLimit, 40},
      {"wide limit rounded to units", w, true, 7, TraceMeasured::kLimit, 6},
      {"no terminator before the inaccessible page", memory_.unterminated(), false, 100,
       TraceMeasured::kUnreadable, 3},
      {"wide, odd address, across the inaccessible page", memory_.unterminated(), true, 100,
       TraceMeasured::kUnreadable, 2},
      {"inaccessible", memory_.none(), false, 100, TraceMeasured::kUnreadable, 0},
      {"null", nullptr, true, 100, TraceMeasured::kUnreadable, 0},
  };
  for (const MeasureRow& row : rows) {
    SCOPED_TRACE(row.note);
    uint64_t bytes = 99;
    EXPECT_EQ(TraceMeasureText(address(row.address), row.wide, row.limit, &bytes), row.result);
    EXPECT_EQ(bytes, row.bytes);
  }
  // The read-only page starts with int32 7: units 'bb' 'bb' 'b'+0x07, 0x00 0x00.
  uint64_t bytes = 0;
  EXPECT_EQ(TraceMeasureText(address(straddle), true, 100, &bytes), TraceMeasured::kTerminated);
  EXPECT_EQ(bytes, 8u);
}

TEST_F(RenderTest, StatementsAreMeasuredThroughTheProbe) {
  // A statement without its terminator before an inaccessible page is sized
  // by what can be read; a long one in readable memory gets its room.
  EXPECT_EQ(TraceRecordBufferSize(execDirect(memory_.unterminated(), SQL_NTS)), 4096u);
  EXPECT_EQ(TraceRecordBufferSize(execDirect(memory_.none(), SQL_NTS)), 4096u);
  std::memset(memory_.writable(), 's', 4000);
  memory_.writable()[4000] = '\0';
  EXPECT_EQ(TraceRecordBufferSize(execDirect(memory_.writable(), SQL_NTS)), 4500u);
}

// ---------------------------------------------------------------------------
// Text.
// ---------------------------------------------------------------------------

TEST_F(RenderTest, NarrowText) {
  static const char kAbc[] = "abc";
  static const char kBytes[] = "a\x01\x7f\xe9\"\\";
  const char* unterminated = memory_.unterminated();
  const std::string abc = " " + hex(kAbc) + " ";
  const std::vector<Row> rows = {
      {"SQL_NTS: measured, terminator shown", execDirect(kAbc, SQL_NTS), 1, kEnter, abc + "[      -3] \"abc\\x00\"\n"},
      {"input only: nothing in a successful EXIT", execDirect(kAbc, SQL_NTS), 1, kExit, abc + "\n"},
      {"failed EXIT shows the input again", execDirect(kAbc, SQL_NTS), 1, kEnter, abc + "[      -3] \"abc\\x00\"\n"},
      {"a length: that many bytes", execDirect(kAbc, 2), 1, kEnter, abc + "[      -3] \"ab\"\n"},
      {"a length past the terminator", execDirect(kAbc, 4), 1, kEnter, abc + "[      -3] \"abc\\x00\"\n"},
      {"zero length", execDirect(kAbc, 0), 1, kEnter, abc + "[      -3] <zero length>\n"},
      {"null text", execDirect(nullptr, SQL_NTS), 1, kEnter, " 0x0000000000000000 [      -3] <empty string>\n"},
      {"bytes escaped, 0x80 and up sign-extended", execDirect(kBytes, 6), 1, kEnter,
       " " + hex(kBytes) + " [      -3] \"a\\x01\\x7f\\xffffffe9\"\\\"\n"},
      {"read-only text is read", execDirect(unterminated, 3), 1, kEnter,
       " " + hex(unterminated) + " [      -3] \"abc\"\n"},
      {"no terminator before an inaccessible page", execDirect(unterminated, SQL_NTS), 1, kEnter,
       " " + hex(unterminated) + " [      -3] <Bad null-terminated string!>\n"},
      {"a length running into an inaccessible page", execDirect(unterminated, 10), 1, kEnter,
       " " + hex(unterminated) + " [      -3] <Buffer at " + hex(unterminated) + " isn't 10 bytes long>\n"},
      {"inaccessible text", execDirect(memory_.none(), 4), 1, kEnter,
       " " + hex(memory_.none()) + " [      -3] <Buffer at " + hex(memory_.none()) + " isn't 4 bytes long>\n"},
      {"unmapped text, SQL_NTS", execDirect(reinterpret_cast<void*>(kUnmapped), SQL_NTS), 1, kEnter,
       " " + hex(kUnmapped) + " [      -3] <Bad null-terminated string!>\n"},
      // Longer than one block read: the bytes past it are tested too.
      {"a long length one byte into an inaccessible page", execDirect(memory_.none() - 3000, 3001), 1, kEnter,
       " " + hex(memory_.none() - 3000) + " [      -3] <Buffer at " + hex(memory_.none() - 3000) +
           " isn't 3001 bytes long>\n"},
      {"a long UTF-16 length one unit into it",
       execDirectW(reinterpret_cast<const char16_t*>(memory_.none() - 3000), 1501), 1, kEnter,
       " " + hex(memory_.none() - 3000) + " [      -3] <Buffer at " + hex(memory_.none() - 3000) +
           " isn't 3002 bytes long>\n"},
  };
  checkRows(rows);

  // The same long text within its pages is quoted as far as the room goes.
  const std::string whole = render(execDirect(memory_.none() - 3000, 3000), 1, kEnter);
  EXPECT_EQ(whole.rfind(" " + hex(memory_.none() - 3000) + " [      -3] \"wwww", 0), 0u) << whole;
  EXPECT_EQ(whole.find("isn't"), std::string::npos);
}

TEST_F(RenderTest, Utf16TextInTheAnsiCodePage) {
  static const char16_t kText[] = u"h\u00e9llo";
  static const char16_t kPair[] = u"a\U0001F600b";
  const std::string text = " " + hex(kText) + " ";
  const std::vector<Row> rows = {
      {"SQL_NTS", execDirectW(kText, SQL_NTS), 1, kEnter, text + "[      -3] \"h\\xffffffe9llo\\x00\"\n"},
      {"a length counts characters", execDirectW(kText, 3), 1, kEnter, text + "[      -3] \"h\\xffffffe9l\"\n"},
      {"a character outside the code page", execDirectW(kPair, SQL_NTS), 1, kEnter,
       " " + hex(kPair) + " [      -3] \"a?b\\x00\"\n"},
      {"no terminator before an inaccessible page",
       execDirectW(reinterpret_cast<const char16_t*>(memory_.unterminated() + 1), SQL_NTS), 1, kEnter,
       " " + hex(memory_.unterminated() + 1) + " [      -3] <Bad null-terminated string!>\n"},
  };
  checkRows(rows);

  // A double-byte code page: every converted byte is shown, not half.
  struct CodePage {
    ~CodePage() { platform::setAnsiCodePage(1252); }
  } restore;
  ASSERT_TRUE(platform::setAnsiCodePage(932));
  static const char16_t kJapanese[] = u"\u65e5\u672c";
  EXPECT_EQ(render(execDirectW(kJapanese, 2), 1, kEnter),
            " " + hex(kJapanese) + " [      -3] \"\\xffffff93\\xfffffffa\\xffffff96{\"\n");
}

TEST_F(RenderTest, QuotingStopsAtTheRoom) {
  static const char kTen[] = "0123456789";
  struct QuoteRow {
    size_t room;
    std::string expected;
  } rows[] = {
      {8, "\"01..."},  // a byte needs six left, "..." more than three
      {9, "\"012..."},
      {15, "\"012345678..."},
      {16, "\"0123456789\"\n"},  // all bytes, then the closing with three left
      {5, "\"..."},
      {4, "\"\"\n"},
      {3, "\""},
      {0, ""},
  };
  for (const QuoteRow& row : rows) {
    SCOPED_TRACE(row.room);
    std::vector<char> buffer(row.room + 1, '#');
    const size_t n = TraceQuoteBytes(buffer.data(), row.room, address(kTen), 10);
    EXPECT_EQ(std::string(buffer.data(), n), row.expected);
    EXPECT_EQ(buffer[row.room], '#');
  }
  char buffer[128];
  const size_t n = TraceQuoteBytes(buffer, sizeof buffer, address(memory_.none()), 5);
  EXPECT_EQ(std::string(buffer, n), "...<BAD MEMORY after " + hex(memory_.none()) + " [len=5]!>\n");

  // An escape cut by the end of the room.
  static const char kHigh[] = "\xe9\xe9";
  const size_t cut = TraceQuoteBytes(buffer, 8, address(kHigh), 2);
  EXPECT_EQ(std::string(buffer, cut), "\"\\xfffff");
}

// ---------------------------------------------------------------------------
// Output text: shown only after a successful call, within its lengths.
// ---------------------------------------------------------------------------

TEST_F(RenderTest, OutputBuffersAreShownOnlyAfterSuccess) {
  // SQLDescribeCol's column name holds whatever the application left there
  // until the call returns.
  char name[16] = "garbage";
  int16_t nameLength = 4;
  const auto describe = makeRecord(SQL_API_SQLDESCRIBECOL, "SQLDescribeCol",
                                   {{6, 1}, {7, 1}, {13, address(name)}, {8, sizeof name}, {12, address(&nameLength)},
                                    {12, 0}, {58, 0}, {12, 0}, {12, 0}});
  // SQLGetCursorName: buffer 16, returned 20 (cut).
  char cursor[16] = "SQL_CUR0123456";
  int16_t cursorLength = 20;
  const auto cursorName = makeRecord(SQL_API_SQLGETCURSORNAME, "SQLGetCursorName",
                                     {{6, 1}, {13, address(cursor)}, {8, sizeof cursor}, {12, address(&cursorLength)}});
  // SQLGetInfo's text: measured within its buffer.
  char dbms[8] = {'S', 'Q', 'L', 'i', 't', 'e', '3', '!'};
  const auto info = makeRecord(SQL_API_SQLGETINFO, "SQLGetInfo",
                               {{4, 1}, {7, SQL_DBMS_NAME}, {9, address(dbms)}, {8, sizeof dbms}, {12, 0}});
  const auto describeWithLength = [&](const void* lengthPointer) {
    return makeRecord(SQL_API_SQLDESCRIBECOL, "SQLDescribeCol",
                      {{6, 1}, {7, 1}, {13, address(name)}, {8, sizeof name}, {12, address(lengthPointer)}, {12, 0},
                       {58, 0}, {12, 0}, {12, 0}});
  };
  const std::vector<Row> rows = {
      {"no length asked for: measured in the buffer", describeWithLength(nullptr), 2, kExit,
       " " + hex(name) + " [      -3] \"garbage\\x00\"\n"},
      {"a length that cannot be read", describeWithLength(memory_.readOnly()), 2, kExit,
       " " + hex(name) + " [   -9999] <Invalid string length!>\n"},
      {"column name at ENTER", describe, 2, kEnter, " " + hex(name) + " \n"},
      {"column name in a failed EXIT", describe, 2, kEnter, " " + hex(name) + " \n"},
      {"column name after success", describe, 2, kExit, " " + hex(name) + " [       4] \"garb\"\n"},
      {"returned past the buffer: cut to it", cursorName, 1, kExit,
       " " + hex(cursor) + " [      16] \"SQL_CUR0123456\\x00\\x00\"\n"},
      {"info text at ENTER", info, 2, kEnter, " " + hex(dbms) + " \n"},
      {"unterminated info text stays in its buffer", info, 2, kExit, " " + hex(dbms) + " [      -3] \"SQLite3!\"\n"},
  };
  checkRows(rows);
}

// The text rules' lengths: SWORD and SDWORD buffer lengths, SWORD * and
// SDWORD * returned lengths; texts whose lengths are SQLSMALLINT or
// SQLINTEGER, or that their rule gives none, are measured to their
// terminator.
TEST_F(RenderTest, TextLengthsComeOnlyFromSwordAndSdwordArguments) {
  static const char kIn[] = "SELECT {fn NOW()}";
  char out[64] = "SELECT NOW()";
  int32_t outLength = 4;
  const auto nativeSql = makeRecord(SQL_API_SQLNATIVESQL, "SQLNativeSql",
                                    {{4, 1}, {13, address(kIn)}, {10, kNts}, {13, address(out)}, {10, sizeof out},
                                     {11, address(&outLength)}});
  char name[16] = "col";
  int16_t nameLength = 3;
  const auto descRec = makeRecord(SQL_API_SQLGETDESCREC, "SQLGetDescRec",
                                  {{28, 1}, {20, 1}, {30, address(name)}, {20, 16}, {27, address(&nameLength)}});
  static const char16_t kNameW[] = u"col";
  const auto descRecW = makeRecord(SQL_API_SQLGETDESCREC, "SQLGetDescRecW",
                                   {{28, 1}, {20, 1}, {35, address(kNameW)}, {20, 16}, {27, address(&nameLength)}});
  char text[16] = "abcdef";
  const auto diagRec = makeRecord(SQL_API_SQLGETDIAGREC, "SQLGetDiagRec",
                                  {{20, 3}, {21, 1}, {20, 1}, {30, 0}, {26, 0}, {30, address(text)}, {20, 3}, {27, 0}});
  const auto setCatalog = makeRecord(SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr",
                                     {{29, 1}, {24, SQL_ATTR_CURRENT_CATALOG}, {25, address(name)}, {24, 2}});
  const std::vector<Row> rows = {
      {"SQLNativeSql statement at ENTER", nativeSql, 1, kEnter, " " + hex(kIn) + " \n"},
      {"SQLNativeSql statement after success", nativeSql, 1, kExit,
       " " + hex(kIn) + " [      -3] \"SELECT {fn NOW()}\\x00\"\n"},
      {"SQLNativeSql result: no lengths", nativeSql, 3, kExit,
       " " + hex(out) + " [      -3] \"SELECT NOW()\\x00\"\n"},
      {"SQLGetDescRec name: SQLSMALLINT lengths", descRec, 2, kExit,
       " " + hex(name) + " [      -3] \"col\\x00\"\n"},
      {"SQLGetDescRecW name", descRecW, 2, kExit, " " + hex(kNameW) + " [      -3] \"col\\x00\"\n"},
      {"SQLGetDiagRec message: an SQLSMALLINT buffer length", diagRec, 5, kExit,
       " " + hex(text) + " [      -3] \"abcdef\\x00\"\n"},
      {"SQLSetConnectAttr text: an SQLINTEGER length", setCatalog, 2, kEnter,
       " " + hex(name) + " [      -3] \"col\\x00\"\n"},
  };
  checkRows(rows);
}

// ---------------------------------------------------------------------------
// Passwords.
// ---------------------------------------------------------------------------

TraceCallRecord driverConnect(const char* in, const char* out, int16_t* outLength) {
  return makeRecord(SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect",
                    {{4, 1}, {16, 0}, {13, address(in)}, {8, kNts}, {13, address(out)}, {8, 256},
                     {12, address(outLength)}, {7, SQL_DRIVER_NOPROMPT}});
}

TEST_F(RenderTest, ConnectStringPasswordsAreMasked) {
  struct MaskRow {
    const char* text;
    const char* shown;
  } rows[] = {
      {"DSN=a;PWD=secret;UID=me", "DSN=a;PWD=********;UID=me"},
      {"DSN=a;PWD=s", "DSN=a;PWD=********"},
      {"pwd=x", "pwd=********"},
      {"Password = hunter2 ;DSN=b", "Password =********;DSN=b"},
      {"PWD={se;c}}r=et};DSN=c", "PWD=********;DSN=c"},
      {"PWD={a}}};DSN=c", "PWD=********;DSN=c"},
      {"PWD={unclosed;DSN=c", "PWD=********"},
      {"PWD=;DSN=c", "PWD=********;DSN=c"},
      {"CWPWD=1;CredentialsWalletPassword=2;LogonID=u;USER=v",
       "CWPWD=********;CredentialsWalletPassword=********;LogonID=u;USER=v"},
      {"DSN={x;PWD=in braces};UID=PWD=y", "DSN={x;PWD=in braces};UID=PWD=y"},
      {"UID=PWD;PWD=z", "UID=PWD;PWD=********"},
      {"PWDX=visible;XPWD=visible", "PWDX=visible;XPWD=visible"},
      {"ODBC;PWD=q", "ODBC;PWD=********"},
      {"DRIVER={SQLite3};Database=/tmp/a.db", "DRIVER={SQLite3};Database=/tmp/a.db"},
      {"PWD", "PWD"},
  };
  for (const MaskRow& row : rows) {
    SCOPED_TRACE(row.text);
    int16_t outLength = static_cast<int16_t>(std::strlen(row.text));
    const auto record = driverConnect(row.text, row.text, &outLength);
    const std::string in = render(record, 2, kEnter);
    EXPECT_EQ(in, " " + hex(row.text) + " [      -3] \"" + row.shown + "\\x00\"\n");
    const std::string out = render(record, 4, kExit);
    EXPECT_EQ(out, " " + hex(row.text) + " [" + std::string(8 - std::to_string(outLength).size(), ' ') +
                       std::to_string(outLength) + "] \"" + row.shown + "\"\n");
    EXPECT_EQ(render(record, 4, kEnter), " " + hex(row.text) + " \n") << "the completed string at ENTER";
    EXPECT_EQ(render(record, 2, kExit), " " + hex(row.text) + " \n");
  }
}

TEST_F(RenderTest, PasswordsOfEveryConnectCallAreMasked) {
  static const char kSecret[] = "tiger";
  static const char kString[] = "DSN=x;PWD=tiger";
  static const char16_t kSecretW[] = u"tiger";
  static const char16_t kStringW[] = u"DSN=x;Pwd={ti;ger}";
  const auto connect = makeRecord(SQL_API_SQLCONNECT, "SQLConnect",
                                  {{4, 1}, {13, address("dsn")}, {8, kNts}, {13, address("scott")}, {8, kNts},
                                   {13, address(kSecret)}, {8, 5}});
  const auto connectW = makeRecord(SQL_API_SQLCONNECT, "SQLConnectW",
                                   {{4, 1}, {34, 0}, {8, 0}, {34, 0}, {8, 0}, {34, address(kSecretW)}, {8, kNts}});
  int16_t browseLength = 15;
  const auto browse = makeRecord(SQL_API_SQLBROWSECONNECT, "SQLBrowseConnect",
                                 {{4, 1}, {13, address(kString)}, {8, kNts}, {13, address(kString)}, {8, 64},
                                  {12, address(&browseLength)}});
  int16_t browseLengthW = 18;
  const auto browseW = makeRecord(SQL_API_SQLBROWSECONNECT, "SQLBrowseConnectW",
                                  {{4, 1}, {34, address(kStringW)}, {8, 18}, {34, address(kStringW)}, {8, 64},
                                   {12, address(&browseLengthW)}});
  int16_t outLength = 12;
  const auto driverW = makeRecord(SQL_API_SQLDRIVERCONNECT, "SQLDriverConnectW",
                                  {{4, 1}, {16, 0}, {34, address(kStringW)}, {8, kNts}, {34, address(kStringW)},
                                   {8, 64}, {12, address(&outLength)}, {7, 0}});
  const std::string mask = "\"********\"\n";
  const std::vector<Row> rows = {
      {"SQLConnect user name stays", connect, 3, kEnter, " " + hex("scott") + " [      -3] \"scott\\x00\"\n"},
      {"SQLConnect password at ENTER", connect, 5, kEnter, " " + hex(kSecret) + " [      -3] " + mask},
      {"SQLConnect password at EXIT", connect, 5, kExit, " " + hex(kSecret) + " [      -3] " + mask},
      {"SQLConnectW password", connectW, 5, kEnter, " " + hex(kSecretW) + " [      -3] " + mask},
      {"SQLBrowseConnect request", browse, 1, kEnter, " " + hex(kString) + " [      -3] \"DSN=x;PWD=********\\x00\"\n"},
      {"SQLBrowseConnect result", browse, 3, kExit, " " + hex(kString) + " [      15] \"DSN=x;PWD=********\"\n"},
      {"SQLBrowseConnect result at ENTER", browse, 3, kEnter, " " + hex(kString) + " \n"},
      {"SQLBrowseConnectW request", browseW, 1, kEnter, " " + hex(kStringW) + " [      -3] \"DSN=x;Pwd=********\"\n"},
      {"SQLBrowseConnectW result", browseW, 3, kExit, " " + hex(kStringW) + " [      18] \"DSN=x;Pwd=********\"\n"},
      {"SQLDriverConnectW completed string, 12 characters", driverW, 4, kExit,
       " " + hex(kStringW) + " [      12] \"DSN=x;Pwd=********\"\n"},
  };
  checkRows(rows);
}

// A reused buffer: a shorter connect string over an older one, with a
// length that claims the whole buffer. Found by the fuzz target: the old
// password after the NUL once showed as a key.
TEST_F(RenderTest, AConnectStringEndsAtItsNul) {
  static const char kReused[] = "DSN=b\0PWD=old;UID=Xq7Zp9;\0u";
  static const char16_t kReusedW[] = u"DSN=b\0Xq7Zp9;\0";
  int16_t length = sizeof kReused - 1;
  const auto browse = makeRecord(SQL_API_SQLBROWSECONNECT, "SQLBrowseConnect",
                                 {{4, 1}, {13, address(kReused)}, {8, sizeof kReused - 1}, {13, address(kReused)},
                                  {8, sizeof kReused}, {12, address(&length)}});
  const auto browseW = makeRecord(SQL_API_SQLBROWSECONNECT, "SQLBrowseConnectW",
                                  {{4, 1}, {34, address(kReusedW)}, {8, 15}, {34, 0}, {8, 0}, {12, 0}});
  const std::vector<Row> rows = {
      {"request", browse, 1, kEnter, " " + hex(kReused) + " [      -3] \"DSN=b\\x00\"\n"},
      {"result", browse, 3, kExit, " " + hex(kReused) + " [      27] \"DSN=b\\x00\"\n"},
      {"wide request", browseW, 1, kEnter, " " + hex(kReusedW) + " [      -3] \"DSN=b\\x00\"\n"},
  };
  checkRows(rows);
}

TEST_F(RenderTest, DoubleByteTrailBytesNeverCloseAPassword) {
  struct CodePage {
    ~CodePage() { platform::setAnsiCodePage(1252); }
  } restore;
  ASSERT_TRUE(platform::setAnsiCodePage(932));
  // 0x83 0x7D is one character in code page 932: its trail byte is "}".
  static const char kText[] = "PWD={\x83};leak};DSN=d";
  int16_t length = 0;
  EXPECT_EQ(render(driverConnect(kText, kText, &length), 2, kEnter),
            " " + hex(kText) + " [      -3] \"PWD=********;DSN=d\\x00\"\n");
}

// ---------------------------------------------------------------------------
// Value buffers.
// ---------------------------------------------------------------------------

TEST_F(RenderTest, ValueBuffersBySqlGetDataBufferType) {
  char text[8] = "xyz";
  SQLLEN textLength = 3;
  int32_t number = -42;
  double real = 1.5;
  const auto getData = [](int16_t type, const void* buffer, const void* length, int64_t size) {
    return makeRecord(SQL_API_SQLGETDATA, "SQLGetData",
                      {{6, 1}, {7, 1}, {8, static_cast<uint64_t>(type)}, {9, address(buffer)},
                       {10, static_cast<uint64_t>(size)}, {11, address(length)}});
  };
  const std::vector<Row> rows = {
      {"SQL_C_CHAR at ENTER", getData(SQL_C_CHAR, text, &textLength, 8), 3, kEnter, " " + hex(text) + " \n"},
      {"SQL_C_CHAR after success", getData(SQL_C_CHAR, text, &textLength, 8), 3, kExit,
       " " + hex(text) + " [       3] \"xyz\"\n"},
      {"SQL_C_BINARY", getData(SQL_C_BINARY, text, &textLength, 8), 3, kExit,
       " " + hex(text) + " [       3] \"xyz\"\n"},
      {"SQL_C_LONG: the value, not the pointer", getData(SQL_C_LONG, &number, &textLength, 4), 3, kExit,
       " " + hex(&number) + " (-42)\n"},
      {"SQL_C_SLONG at ENTER", getData(SQL_C_SLONG, &number, &textLength, 4), 3, kEnter, " " + hex(&number) + "\n"},
      {"SQL_C_ULONG into read-only memory", getData(SQL_C_ULONG, memory_.readOnly(), &textLength, 4), 3, kExit,
       " " + hex(memory_.readOnly()) + " (BADMEM)\n"},
      {"SQL_C_DOUBLE shows nothing, ends its line", getData(SQL_C_DOUBLE, &real, &textLength, 8), 3, kExit, "\n"},
      {"unknown buffer type", getData(999, &real, &textLength, 8), 3, kExit, " <unknown type>\n"},
      {"the buffer type's name", getData(SQL_C_BINARY, text, &textLength, 8), 2, kEnter,
       "         -2 <SQL_C_BINARY>\n"},
  };
  checkRows(rows);
}

TEST_F(RenderTest, ValueBuffersByAttributeKind) {
  uint16_t active = 5;
  uint32_t mask = 0xA0001003;
  const uint64_t hdbc = 0xDBC0;
  char catalog[16] = "main";
  int32_t catalogLength = 4;
  const auto info = [](uint16_t type, const void* value) {
    return makeRecord(SQL_API_SQLGETINFO, "SQLGetInfo", {{4, 1}, {7, type}, {9, address(value)}, {8, 8}, {12, 0}});
  };
  const auto getConnect = makeRecord(SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr",
                                     {{29, 1}, {24, SQL_ATTR_CURRENT_CATALOG}, {25, address(catalog)},
                                      {24, sizeof catalog}, {26, address(&catalogLength)}});
  const auto setConnect = [](int32_t attribute, uint64_t value) {
    return makeRecord(SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr",
                      {{29, 1}, {24, static_cast<uint64_t>(attribute)}, {25, value}, {24, 0}});
  };
  const auto setStmt = [](int32_t attribute, uint64_t value) {
    return makeRecord(SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr",
                      {{23, 1}, {24, static_cast<uint64_t>(attribute)}, {25, value}, {24, 0}});
  };
  const std::vector<Row> rows = {
      {"16-bit info after success", info(SQL_ACTIVE_STATEMENTS, &active), 2, kExit, " " + hex(&active) + " (5)\n"},
      {"16-bit info at ENTER", info(SQL_ACTIVE_STATEMENTS, &active), 2, kEnter, " " + hex(&active) + "\n"},
      {"bit mask", info(SQL_ALTER_TABLE, &mask), 2, kExit, " " + hex(&mask) + " (0xA0001003)\n"},
      {"handle", info(SQL_DRIVER_HDBC, &hdbc), 2, kExit, " " + hex(&hdbc) + " ( 0x000000000000DBC0)\n"},
      {"16-bit info in read-only memory", info(SQL_ACTIVE_STATEMENTS, memory_.readOnly()), 2, kExit,
       " " + hex(memory_.readOnly()) + " (BADMEM)\n"},
      {"info type name", info(SQL_DBMS_NAME, nullptr), 1, kEnter, "         17 <SQL_DBMS_NAME>\n"},
      {"connection text after success", getConnect, 2, kExit, " " + hex(catalog) + " [       4] \"main\"\n"},
      {"connection text at ENTER", getConnect, 2, kEnter, " " + hex(catalog) + " \n"},
      {"unknown attribute", setConnect(12345, 1), 2, kEnter, " [Unknown attribute 12345]\n"},
      {"a 32-bit value given", setStmt(SQL_ATTR_QUERY_TIMEOUT, 30), 2, kEnter, "         30\n"},
      {"a descriptor handle given", setStmt(SQL_ATTR_APP_ROW_DESC, 0xDE5C), 2, kEnter, " 0x000000000000DE5C\n"},
      {"no table: a plain address",
       makeRecord(SQL_API_SQLBINDCOL, "SQLBindCol", {{6, 1}, {7, 1}, {8, 1}, {9, 0xBEEF}, {55, 0}, {57, 0}}), 3,
       kEnter, "0x000000000000BEEF\n"},
  };
  checkRows(rows);
}

TEST_F(RenderTest, ColumnAttributesShowWhatTheCallReturned) {
  char name[16] = "id";
  int16_t nameLength = 2;
  SQLLEN count = 3;
  const auto colAttribute = [&](uint16_t field) {
    return makeRecord(SQL_API_SQLCOLATTRIBUTE, "SQLColAttribute",
                      {{23, 1}, {20, 1}, {20, field}, {25, address(name)}, {20, sizeof name},
                       {27, address(&nameLength)}, {25, address(&count)}});
  };
  const std::vector<Row> rows = {
      {"text field: the text", colAttribute(SQL_COLUMN_NAME), 3, kExit, " " + hex(name) + " [      -3] \"id\\x00\"\n"},
      {"text field at ENTER", colAttribute(SQL_COLUMN_NAME), 3, kEnter, " " + hex(name) + " \n"},
      {"text field: the numeric pointer unused", colAttribute(SQL_COLUMN_NAME), 6, kExit, " " + hex(&count) + "\n"},
      {"numeric field: the SQLLEN", colAttribute(SQL_COLUMN_COUNT), 6, kExit, " " + hex(&count) + " (3)\n"},
      {"numeric field: no text", colAttribute(SQL_COLUMN_COUNT), 3, kExit, hex(name) + "\n"},
  };
  checkRows(rows);
}

// ---------------------------------------------------------------------------
// Whole records.
// ---------------------------------------------------------------------------

class RenderRecordTest : public coretest::TraceCoreTest {};

// Every argument line of a record starts with its two tabs and ends with a
// line break, whatever its text.
TEST_F(RenderRecordTest, ArgumentLinesAreNeverGlued) {
  openMemoryLog();
  double real = 2.5;
  SQLLEN length = 8;
  const TraceFunction getData{SQL_API_SQLGETDATA, "SQLGetData", 6, 0, {6, 7, 8, 9, 10, 11}};
  const uint64_t values[] = {1, 1, static_cast<uint64_t>(SQL_C_DOUBLE), address(&real), 8, address(&length)};
  TraceReturn(TraceCall(getData, values), 0);
  const TraceFunction odd{99, "SQLOdd", 4, 0, {36, 0, 53, 99}};
  const uint64_t oddValues[] = {1, 2, 3, 4};
  TraceReturn(TraceCall(odd, oddValues), 0);

  std::istringstream lines(memoryLog());
  std::string line;
  int arguments = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line.rfind("ENTER ", 0) == 0 || line.rfind("EXIT ", 0) == 0) continue;
    ++arguments;
    EXPECT_EQ(line.rfind("\t\t", 0), 0u) << line;
    EXPECT_EQ(line.find("\t\t", 2), std::string::npos) << "glued: " << line;
  }
  EXPECT_EQ(arguments, 2 * (6 + 4));
}

TEST_F(RenderRecordTest, PasswordsNeverReachTheLog) {
  openMemoryLog();
  static const char kIn[] = "DSN=x;UID=scott;PWD=Secret1;Password={Secret2}";
  char out[128] = "DSN=x;UID=scott;PWD=Secret3";
  int16_t outLength = 27;
  const TraceFunction driverConnect{SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect", 8, 0, {4, 16, 13, 8, 13, 8, 12, 7}};
  const uint64_t values[] = {1, 0, address(kIn), kNts, address(out), sizeof out, address(&outLength), 0};
  const int16_t handle = TraceCall(driverConnect, values);
  TraceReturn(handle, SQL_SUCCESS);
  static const char16_t kSecretW[] = u"Secret4";
  const TraceFunction connectW{SQL_API_SQLCONNECT, "SQLConnectW", 7, 1, {4, 34, 8, 34, 8, 34, 8}};
  const uint64_t wideValues[] = {1, 0, 0, 0, 0, address(kSecretW), 7};
  TraceReturn(TraceCall(connectW, wideValues), SQL_ERROR);
  const std::string log = memoryLog();
  EXPECT_EQ(log.find("Secret"), std::string::npos) << log;
  EXPECT_EQ(coretest::countOf(log, "********"), 5u) << log;  // 2 at ENTER, 1 at EXIT, 2 of SQLConnectW
  EXPECT_NE(log.find("UID=scott"), std::string::npos);
}

}  // namespace
