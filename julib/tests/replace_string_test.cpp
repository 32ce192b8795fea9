// The narrow editing cursor: the gap and its growth, sources inside the
// target, unwriting, quoted writes, and the end of an edit.

#include <cstring>
#include <string>
#include <vector>

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

// What a reader of the unread text does: drop bytes (read them) or keep
// them (copy them to the write position).
void drop(JuReplaceString& c, size_t n) {
  c.readPosition += n;
  c.data += n;
  c.length -= n;
}

int keep(JuReplaceString& c, size_t n) {
  if (c.write(c.data, n) != 0) return 1;
  drop(c, n);
  return 0;
}

// A wiping string that records what it is asked to reserve.
class RecordingString : public JuStringEx {
 public:
  int reserve(size_t newCapacity) override {
    requests.push_back(newCapacity);
    return JuStringEx::reserve(newCapacity);
  }
  std::vector<size_t> requests;
};

using Cursor = JuTest;

TEST_F(Cursor, TheGapGrowsByNPlus512OnlyWhenTooSmall) {
  JuString t;
  ASSERT_EQ(t.assign("abc def"), 0);
  {
    JuReplaceString c(t);
    EXPECT_EQ(text(c), "abc def");
    ASSERT_EQ(keep(c, 3), 0);  // the first write: no gap at all
    EXPECT_EQ(t.capacity, 7u + 515u + 1u);
    EXPECT_EQ(c.writePosition, 3u);
    EXPECT_EQ(c.readPosition, 518u);
    ASSERT_EQ(c.write("XYZ", 3), 0);  // fits in the gap
    EXPECT_EQ(t.capacity, 523u);
    ASSERT_EQ(c.write(std::string(512, '-').data(), 512), 0);  // exactly the gap
    EXPECT_EQ(t.capacity, 523u);
    ASSERT_EQ(c.write("!", 1), 0);  // one more: grows by 513
    EXPECT_EQ(t.capacity, 523u + 513u);
    EXPECT_EQ(text(c), " def");
  }
  EXPECT_EQ(text(t), "abcXYZ" + std::string(512, '-') + "! def");
  EXPECT_EQ(t.capacity, t.length + 1);
}

TEST_F(Cursor, WritesWithinWhatWasReadNeverGrowTheTarget) {
  JuString t;
  ASSERT_EQ(t.assign("abc def"), 0);
  {
    JuReplaceString c(t);
    drop(c, 4);
    ASSERT_EQ(c.write("XY", 2), 0);
    EXPECT_EQ(t.capacity, 8u);
    ASSERT_EQ(c.write("Z", 1), 0);
    EXPECT_EQ(t.capacity, 8u);
  }
  EXPECT_EQ(text(t), "XYZdef");
  EXPECT_EQ(t.capacity, 7u);
  {
    JuReplaceString untouched(t);  // nothing written or read: nothing changes
  }
  EXPECT_EQ(text(t), "XYZdef");
  EXPECT_EQ(t.capacity, 7u);
  {
    JuReplaceString c(t);
    drop(c, 6);
  }
  EXPECT_EQ(t.length, 0u);
  EXPECT_EQ(t.capacity, 1u);
}

TEST_F(Cursor, SourcesInsideTheTargetSurviveItsGrowth) {
  JuString t;
  ASSERT_EQ(t.assign("abcdef"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(c.write(c.data + 3, 3), 0);  // from the unread text, which moves up
  }
  EXPECT_EQ(text(t), "defabcdef");
  {
    JuReplaceString c(t);
    ASSERT_EQ(keep(c, 3), 0);
    ASSERT_EQ(c.write(std::string(515, '.').data(), 515), 0);  // the gap is full
    ASSERT_EQ(c.write(t.data, 3), 0);  // from the written part, while growing
  }
  EXPECT_EQ(text(t), "def" + std::string(515, '.') + "defabcdef");
}

TEST_F(Cursor, UnwriteMakesWrittenTextUnreadAgain) {
  JuString t;
  ASSERT_EQ(t.assign("rest"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(c.write("xyz", 3), 0);
    c.unwriteTo(1);
    EXPECT_EQ(c.writePosition, 1u);
    EXPECT_EQ(text(c), "yzrest");
    c.unwriteTo(5);  // not behind the write position: nothing
    EXPECT_EQ(text(c), "yzrest");
    drop(c, 1);
  }
  EXPECT_EQ(text(t), "xzrest");
}

TEST_F(Cursor, QuotedWrites) {
  JuString t;
  ASSERT_EQ(t.assign("ab"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(c.writeQuoted("it's", 4, '\''), 0);
    ASSERT_EQ(c.writeQuoted("", 0, '"'), 0);
  }
  EXPECT_EQ(text(t), "'it''s'\"\"ab");
  // Quoting a word of the unread text where it stands.
  ASSERT_EQ(t.assign("ab'c rest"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(c.writeQuoted(c.data, 4, '\''), 0);
    drop(c, 4);
  }
  EXPECT_EQ(text(t), "'ab''c' rest");
  EXPECT_TRUE(errors_.ids().empty());
}

// A count that ends inside a character: the call's writes become unread
// text again and 2737 with SQLSTATE 01004 is posted.
TEST_F(Cursor, AQuotedWriteThatSplitsACharacterIsUndone) {
  struct Row {
    uint32_t codePage;
    JuCodePageKind kind;
    std::string target;
    size_t n;
    std::string unread;
    const char* note;
  };
  const Row rows[] = {
      {1252, JuCodePageKind::kUtf8, "\xC3\xA9x", 1, "\"\xC3" "\xC3\xA9x", "UTF-8"},
      {1252, JuCodePageKind::kUtf8, "a\"\xC3\xA9", 3, "\"a\"\"\xC3" "a\"\xC3\xA9", "after copied characters"},
      {932, JuCodePageKind::kAnsi, "\x82\xA0z", 1, "\"\x82" "\x82\xA0z", "double-byte"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    ScopedCodePage scope(row.codePage);
    JuString t;
    ASSERT_EQ(t.assign(row.target.data(), row.target.size(), row.kind), 0);
    {
      JuReplaceString c(t);
      ASSERT_EQ(c.write("<", 1), 0);
      EXPECT_EQ(c.writeQuoted(c.data, row.n, '"'), 1);
      EXPECT_EQ(c.writePosition, 1u);
      EXPECT_EQ(text(c), row.unread);
    }
    EXPECT_EQ(text(t), "<" + row.unread);
    ASSERT_EQ(errors.ids(), Ids{kJuMsgConversionFailed});
    JuError* error = errors->last();
    EXPECT_STREQ(error->sqlState(), "01004");
    EXPECT_EQ(error->sqlStateCode, kJuSqlStateTruncation);
  }
  // The same byte in a single-byte code page is a whole character.
  JuString t;
  ASSERT_EQ(t.assign("\x82\xA0z"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(c.writeQuoted(c.data, 1, '"'), 0);
  }
  EXPECT_EQ(text(t), "\"\x82\"\x82\xA0z");
}

TEST_F(Cursor, TheEndOfAnEditShrinksThroughTheTargetsReserve) {
  RecordingString t;
  ASSERT_EQ(t.assign("abc def"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(keep(c, 3), 0);
    drop(c, 1);
  }
  EXPECT_EQ(t.requests, (std::vector<size_t>{523, 7}));
  EXPECT_EQ(text(t), "abcdef");
}

TEST_F(Cursor, AWipingTargetZeroesTheBufferItShrinksFrom) {
  JuStringEx t;
  ASSERT_EQ(t.assign("abc def"), 0);
  uintptr_t gapBuffer = 0;
  {
    JuReplaceString c(t);
    ASSERT_EQ(keep(c, 3), 0);
    gapBuffer = jutest::addressOf(t.data);
    drop(c, 1);
  }
  const Wiped wiped = jutest::probeFreedBlock(gapBuffer, 523);
  ASSERT_NE(wiped, Wiped::kUnknown) << "the block was not freed";
  EXPECT_EQ(wiped, Wiped::kYes);
}

TEST_F(Cursor, ACallersBufferIsNeitherGrownNorShrunk) {
  char buffer[32] = "abc def";
  JuString t;
  t.attachBuffer(buffer, sizeof buffer, 7);
  {
    JuReplaceString c(t);
    drop(c, 4);
    ASSERT_EQ(c.write("X", 1), 0);
  }
  EXPECT_TRUE(errors_.ids().empty());
  EXPECT_EQ(t.data, buffer);
  EXPECT_EQ(t.capacity, 32u);
  EXPECT_EQ(text(t), "Xdef");
  {
    JuReplaceString c(t);
    EXPECT_EQ(c.write("12345", 5), 1);  // the gap would need a larger buffer
  }
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgStringTooLarge});
  EXPECT_EQ(text(t), "Xdef");
}

TEST_F(Cursor, EmptyAndUnattachedTargets) {
  JuString t;
  {
    JuReplaceString c(t);
    ASSERT_EQ(c.write("abc", 3), 0);
  }
  EXPECT_EQ(text(t), "abc");
  EXPECT_EQ(t.capacity, 4u);
  JuReplaceString unattached(JuCodePageKind::kUtf8);
  EXPECT_EQ(unattached.write("x", 1), 1);
  EXPECT_EQ(unattached.writeQuoted("x", 1, '"'), 1);
  unattached.unwriteTo(0);
  EXPECT_EQ(unattached.kind, JuCodePageKind::kUtf8);
}

TEST_F(Cursor, AFailedGrowthKeepsTheText) {
  JuString t;
  ASSERT_EQ(t.assign("abc"), 0);
  {
    JuReplaceString c(t);
    ASSERT_EQ(keep(c, 1), 0);
    ASSERT_EQ(c.write(std::string(513, '-').data(), 513), 0);
    julib::internal::failAllocation(1, false);
    EXPECT_EQ(c.write("x", 1), 1);
    EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
    EXPECT_EQ(text(c), "bc");
  }
  EXPECT_EQ(text(t), "a" + std::string(513, '-') + "bc");
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
}

}  // namespace
