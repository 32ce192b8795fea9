// UTF-16 and UTF-8 workers, the resumable converters with their strict
// UTF-8 decoding, the trail-byte count and in-place upper-casing.

#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codepage_test_util.h"
#include "julib/codepage.h"
#include "testing/ju_test.h"

namespace {

using jutest::swapped;

constexpr int64_t kBeyondInt32 = int64_t{1} << 31;

// --- Trail bytes -------------------------------------------------------------

TEST(Utf8TrailBytes, ByLeadByte) {
  struct Row {
    uint8_t lead;
    int trail;
  };
  const Row rows[] = {{0x00, 0}, {0x7F, 0}, {0x80, 0}, {0xBF, 0}, {0xC0, 1}, {0xDF, 1}, {0xE0, 2},
                      {0xEF, 2}, {0xF0, 3}, {0xF4, 3}, {0xF5, 0}, {0xFE, 0}, {0xFF, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lead);
    EXPECT_EQ(juUtf8TrailBytes(row.lead), row.trail);
  }
}

// --- UTF-16 to UTF-8 ---------------------------------------------------------

TEST(Utf16ToUtf8, DestinationBoundaries) {
  const char16_t* text = u"h\u00E9llo";  // six bytes in UTF-8
  struct Row {
    int64_t size;
    int32_t result;
    int64_t written;
    std::string contents;
  };
  const Row rows[] = {
      {0, 4, -1, "#"},
      {1, 1, 6, "h#"},
      {5, 1, 6, "h\xC3\xA9ll#"},
      {6, 1, 6, "h\xC3\xA9llo#"},  // exactly full: no room for the terminator
      {7, 0, 6, std::string("h\xC3\xA9llo\0", 7)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::string out(8, '#');
    int64_t written = -1;
    EXPECT_EQ(juUtf16ToUtf8(out.data(), row.size, text, 5, &written, 0), row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
}

TEST(Utf16ToUtf8, LengthsAndSwap) {
  char out[16];
  int64_t written = -1;
  EXPECT_EQ(juUtf16ToUtf8(out, 16, u"a\U0001F600", kJuNullTerminated, &written, 0), 0);
  EXPECT_EQ(std::string(out), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(juUtf16ToUtf8(out, 16, u"xy", -1, &written, 0), 0);
  EXPECT_EQ(written, 2);
  EXPECT_EQ(juUtf16ToUtf8(out, 16, u"xy", -2, &written, 0), 4);
  EXPECT_EQ(juUtf16ToUtf8(out, 16, u"xy", kBeyondInt32, &written, 0), 4);
  EXPECT_EQ(juUtf16ToUtf8(nullptr, 16, u"xy", 2, &written, 0), 4);
  EXPECT_EQ(juUtf16ToUtf8(out, 16, nullptr, 2, &written, 0), 4);
  // A lone surrogate is not UTF-8 (ICU's "invalid character": 4).
  EXPECT_EQ(juUtf16ToUtf8(out, 16, u"a\xDC00", 2, &written, 0), 4);
  // Swapped text, terminated or counted; the caller's copy stays swapped.
  const std::u16string source = swapped(u"a\u00E9\U0001F600");
  for (int64_t length : {kJuNullTerminated, int64_t{4}}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(juUtf16ToUtf8(out, 16, source.c_str(), length, &written, 1), 0);
    EXPECT_EQ(std::string(out), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(source, swapped(u"a\u00E9\U0001F600"));
  }
  // A destination beyond what ICU takes is only unused room.
  EXPECT_EQ(juUtf16ToUtf8(out, INT64_MAX, u"ok", 2, &written, 0), 0);
  EXPECT_EQ(std::string(out), "ok");
}

// Swapped text long enough to go to ICU in several pieces, with pairs on
// the piece boundaries, and output that runs out in a later piece.
TEST(Utf16ToUtf8, LongSwappedText) {
  std::u16string text;
  for (int i = 0; i < 5000; ++i) text += (i % 3 == 0) ? u"\U0001F600" : u"b";
  // Pairs every four units: one of the shifts puts a pair on each boundary.
  for (size_t shift : {0u, 1u, 2u, 3u}) {
    SCOPED_TRACE(shift);
    const std::u16string body = std::u16string(shift, u'a') + text;
    const std::string expected = jutest::icuEncode("UTF-8", body);
    const std::u16string source = swapped(body);
    std::string out(expected.size() + 1, '#');
    int64_t written = -1;
    ASSERT_EQ(juUtf16ToUtf8(out.data(), static_cast<int64_t>(out.size()), source.data(),
                            static_cast<int64_t>(source.size()), &written, 1),
              0);
    EXPECT_EQ(out, expected + '\0');
    // Cut in the first piece: the whole length is still counted.
    EXPECT_EQ(juUtf16ToUtf8(out.data(), 100, source.data(), static_cast<int64_t>(source.size()), &written, 1), 1);
    EXPECT_EQ(written, static_cast<int64_t>(expected.size()));
    std::string z(expected.size() + 1, '#');
    ASSERT_EQ(juUtf16ToUtf8Z(z.data(), static_cast<int64_t>(z.size()), source.data(),
                             static_cast<int64_t>(source.size()), &written, 1),
              0);
    EXPECT_EQ(z, expected + '\0');
  }
}

TEST(Utf16ToUtf8Z, DestinationBoundaries) {
  struct Row {
    const char16_t* text;
    int64_t size;
    int32_t result;
    int64_t written;
    std::string contents;
  };
  const Row rows[] = {
      {u"h\u00E9llo", 1, 1, 6, std::string("\0", 1)},
      {u"h\u00E9llo", 6, 1, 6, std::string("h\xC3\xA9ll\0", 6)},
      {u"h\u00E9llo", 7, 0, 6, std::string("h\xC3\xA9llo\0", 7)},  // fills the room before the terminator
      {u"h\u00E9llo", 8, 0, 6, std::string("h\xC3\xA9llo\0", 7)},
      // A four-byte character that does not fit leaves only zeros.
      {u"a\U0001F600", 5, 1, 5, std::string("a\0\0\0\0", 5)},
      {u"", 1, 0, 0, std::string("\0", 1)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::string out(10, '#');
    int64_t written = -1;
    EXPECT_EQ(juUtf16ToUtf8Z(out.data(), row.size, row.text, -1, &written, 0), row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
}

// --- UTF-8 to UTF-16 ---------------------------------------------------------

TEST(Utf8ToUtf16, DestinationBoundaries) {
  const char* text = "h\xC3\xA9llo";  // five units
  struct Row {
    int64_t size;
    int32_t result;
    int64_t written;
    bool terminated;
  };
  const Row rows[] = {
      {0, 4, -1, false},
      {1, 1, 5, false},
      {5, 1, 5, false},  // exactly full: no room for the terminator
      {6, 0, 5, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::u16string out(8, u'#');
    int64_t written = -1;
    EXPECT_EQ(juUtf8ToUtf16(out.data(), row.size, text, 6, &written, 0), row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(out[5] == u'\0', row.terminated);
    if (row.size >= 5) {
      EXPECT_EQ(out.substr(0, 5), u"h\u00E9llo");
    }
  }
}

TEST(Utf8ToUtf16, LengthsSwapAndIllFormedInput) {
  std::u16string out(8, u'#');
  int64_t written = -1;
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 8, "a\xF0\x9F\x98\x80", kJuNullTerminated, &written, 0), 0);
  EXPECT_EQ(written, 3);
  EXPECT_EQ(out.substr(0, 4), std::u16string(u"a\U0001F600\0", 4));
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 8, "ab", 2, &written, 1), 0);
  EXPECT_EQ(out.substr(0, 3), std::u16string(u"\x6100\x6200\0", 3));
  // Exactly full: cut (1), and still in the byte order asked for.
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 2, "ab", 2, &written, 1), 1);
  EXPECT_EQ(out.substr(0, 2), u"\x6100\x6200");
  // Cut before a pair: its first half is not left behind.
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 2, "a\xF0\x9F\x98\x80", 5, &written, 0), 1);
  EXPECT_EQ(out.substr(0, 2), std::u16string(u"a\0", 2));
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 8, "a\xC0\x80", 3, &written, 0), 4);
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 8, "ab", kBeyondInt32, &written, 0), 4);
  EXPECT_EQ(juUtf8ToUtf16(out.data(), 8, "ab", -2, &written, 0), 4);
  EXPECT_EQ(juUtf8ToUtf16(out.data(), kBeyondInt32, "ok", 2, &written, 0), 0);
  EXPECT_EQ(std::u16string(out.data()), u"ok");
}

TEST(Utf8ToUtf16Z, DestinationBoundaries) {
  struct Row {
    const char* text;
    int64_t size;
    int32_t result;
    int64_t written;
    std::u16string contents;
  };
  const Row rows[] = {
      {"h\xC3\xA9llo", 1, 1, 5, std::u16string(u"\0", 1)},
      {"h\xC3\xA9llo", 5, 1, 5, std::u16string(u"h\u00E9ll\0", 5)},
      {"h\xC3\xA9llo", 6, 0, 5, std::u16string(u"h\u00E9llo\0", 6)},
      {"h\xC3\xA9llo", 7, 0, 5, std::u16string(u"h\u00E9llo\0", 6)},
      {"a\xF0\x9F\x98\x80", 3, 1, 3, std::u16string(u"a\0\0", 3)},  // nothing of a pair that does not fit
      {"", 1, 0, 0, std::u16string(u"\0", 1)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    std::u16string out(8, u'#');
    int64_t written = -1;
    EXPECT_EQ(juUtf8ToUtf16Z(out.data(), row.size, row.text, -1, &written, 0), row.result);
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(out.substr(0, row.contents.size()), row.contents);
  }
  std::u16string out(4, u'#');
  EXPECT_EQ(juUtf8ToUtf16Z(out.data(), 4, "ab", 2, nullptr, 1), 0);
  EXPECT_EQ(out.substr(0, 3), std::u16string(u"\x6100\x6200\0", 3));
}

// --- Resumable UTF-16 to UTF-8 -------------------------------------------------

TEST(Utf16ToUtf8Resumable, StopsBeforeACharacterThatDoesNotFit) {
  const char16_t* text = u"ab\u65E5c";  // 2 + 3 + 1 bytes
  char buffer[8];
  char* dst = buffer;
  const char16_t* src = text;
  int32_t total = -1;
  UErrorCode error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf16ToUtf8Resumable(&dst, 4, &total, &src, -1, &error), buffer);
  EXPECT_EQ(error, U_BUFFER_OVERFLOW_ERROR);
  EXPECT_EQ(total, 6);
  EXPECT_EQ(dst, buffer + 2);
  EXPECT_EQ(src, text + 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
}

TEST(Utf16ToUtf8Resumable, ResumesPieceByPiece) {
  const std::u16string text = u"a\u00E9\u65E5\U0001F600z\U00010000";
  const std::string expected = jutest::icuEncode("UTF-8", text);
  // Each call has room for at least the widest character.
  for (int32_t step : {4, 5, 7}) {
    SCOPED_TRACE(step);
    std::string out(expected.size() + 8, '#');
    char* dst = out.data();
    const char16_t* src = text.data();
    const char16_t* const end = text.data() + text.size();
    for (int round = 0; src < end && round < 64; ++round) {
      int32_t total = -1;
      UErrorCode error = U_ZERO_ERROR;
      const int32_t room = static_cast<int32_t>(out.data() + expected.size() + 1 - dst);
      juUtf16ToUtf8Resumable(&dst, std::min(step, room), &total, &src, static_cast<int32_t>(end - src), &error);
      ASSERT_FALSE(U_FAILURE(error) && error != U_BUFFER_OVERFLOW_ERROR) << u_errorName(error);
    }
    EXPECT_EQ(src, end);
    EXPECT_EQ(out.substr(0, expected.size()), expected);
  }
}

TEST(Utf16ToUtf8Resumable, ErrorsAndArguments) {
  char buffer[8];
  struct Row {
    const char16_t* text;
    int32_t length;
    int32_t capacity;
    UErrorCode error;
    bool returnsStart;
    int32_t total;
  };
  const Row rows[] = {
      {u"a\xDC00", -1, 8, U_INVALID_CHAR_FOUND, false, -1},  // lone low surrogate
      {u"a\xD800", -1, 8, U_INVALID_CHAR_FOUND, false, -1},  // high surrogate at the end
      {u"a\xD800"
       u"b",
       -1, 8, U_INVALID_CHAR_FOUND, false, -1},  // high surrogate before a letter
      {u"abc", 3, 0, U_BUFFER_OVERFLOW_ERROR, true, 3},
      {u"abc", 3, 3, U_STRING_NOT_TERMINATED_WARNING, true, 3},  // exactly full
      {u"abc", 3, 4, U_ZERO_ERROR, true, 3},
      {u"abc", -2, 4, U_ILLEGAL_ARGUMENT_ERROR, false, -1},
      {u"abc", 3, -1, U_ILLEGAL_ARGUMENT_ERROR, false, -1},
      {nullptr, 3, 4, U_ILLEGAL_ARGUMENT_ERROR, false, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(u_errorName(row.error));
    char* dst = buffer;
    const char16_t* src = row.text;
    int32_t total = -1;
    UErrorCode error = U_ZERO_ERROR;
    char* start = juUtf16ToUtf8Resumable(&dst, row.capacity, &total, &src, row.length, &error);
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(start, row.returnsStart ? buffer : nullptr);
    EXPECT_EQ(total, row.total);
  }
  // A null destination with capacity 0 measures.
  char* dst = nullptr;
  const char16_t* src = u"\u65E5";
  int32_t total = -1;
  UErrorCode error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf16ToUtf8Resumable(&dst, 0, &total, &src, -1, &error), nullptr);
  EXPECT_EQ(total, 3);
  EXPECT_EQ(error, U_BUFFER_OVERFLOW_ERROR);
  error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf16ToUtf8Resumable(&dst, 2, &total, &src, -1, &error), nullptr);
  EXPECT_EQ(error, U_ILLEGAL_ARGUMENT_ERROR);
  // A failure already set stops at once.
  error = U_INVALID_CHAR_FOUND;
  dst = buffer;
  EXPECT_EQ(juUtf16ToUtf8Resumable(&dst, 8, &total, &src, -1, &error), nullptr);
  EXPECT_EQ(error, U_INVALID_CHAR_FOUND);
}

// --- Resumable UTF-8 to UTF-16 -------------------------------------------------

struct Utf8Row {
  std::string bytes;
  UErrorCode error;
  std::u16string units;  // when the call returns the destination
  size_t consumed;       // bytes the source pointer moved
  const char* note;
};

TEST(Utf8ToUtf16Resumable, StrictDecoding) {
  const Utf8Row rows[] = {
      // Whole characters on both sides of each length boundary.
      {"\x7F", U_ZERO_ERROR, u"\x7F", 1, "last one-byte"},
      {"\xC2\x80", U_ZERO_ERROR, u"\x80", 2, "first two-byte"},
      {"\xDF\xBF", U_ZERO_ERROR, u"\x7FF", 2, "last two-byte"},
      {"\xE0\xA0\x80", U_ZERO_ERROR, u"\x800", 3, "first three-byte"},
      {"\xED\x9F\xBF", U_ZERO_ERROR, u"\xD7FF", 3, "below the surrogates"},
      {"\xEE\x80\x80", U_ZERO_ERROR, u"\xE000", 3, "above the surrogates"},
      {"\xEF\xB7\x8F", U_ZERO_ERROR, u"\xFDCF", 3, "below the noncharacters"},
      {"\xEF\xB7\xB0", U_ZERO_ERROR, u"\xFDF0", 3, "above the noncharacters"},
      {"\xEF\xBF\xBD", U_ZERO_ERROR, u"\xFFFD", 3, "U+FFFD"},
      {"\xF0\x90\x80\x80", U_ZERO_ERROR, u"\U00010000", 4, "first four-byte"},
      {"\xF4\x8F\xBF\xBD", U_ZERO_ERROR, u"\U0010FFFD", 4, "U+10FFFD"},
      // Ill-formed anywhere: null and error 10.
      {"\xC0\x80", U_INVALID_CHAR_FOUND, u"", 0, "overlong NUL"},
      {"\xC1\xBF", U_INVALID_CHAR_FOUND, u"", 0, "overlong two-byte"},
      {"\xE0\x9F\xBF", U_INVALID_CHAR_FOUND, u"", 0, "overlong three-byte"},
      {"\xF0\x8F\xBF\xBF", U_INVALID_CHAR_FOUND, u"", 0, "overlong four-byte"},
      {"\xED\xA0\x80", U_INVALID_CHAR_FOUND, u"", 0, "high surrogate"},
      {"\xED\xBF\xBF", U_INVALID_CHAR_FOUND, u"", 0, "low surrogate"},
      {"\xF4\x90\x80\x80", U_INVALID_CHAR_FOUND, u"", 0, "above U+10FFFF"},
      {"\xF5\x80\x80\x80", U_INVALID_CHAR_FOUND, u"", 0, "F5 lead"},
      {"\xFF", U_INVALID_CHAR_FOUND, u"", 0, "FF"},
      {"\x80", U_INVALID_CHAR_FOUND, u"", 0, "stray continuation"},
      {"\xEF\xB7\x90", U_INVALID_CHAR_FOUND, u"", 0, "U+FDD0"},
      {"\xEF\xB7\xAF", U_INVALID_CHAR_FOUND, u"", 0, "U+FDEF"},
      {"\xEF\xBF\xBE", U_INVALID_CHAR_FOUND, u"", 0, "U+FFFE"},
      {"\xEF\xBF\xBF", U_INVALID_CHAR_FOUND, u"", 0, "U+FFFF"},
      {"\xF0\x9F\xBF\xBF", U_INVALID_CHAR_FOUND, u"", 0, "U+1FFFF"},
      {"\xF4\x8F\xBF\xBE", U_INVALID_CHAR_FOUND, u"", 0, "U+10FFFE"},
      {"a\xE2\x82"
       "b",
       U_INVALID_CHAR_FOUND, u"", 0, "cut inside the text"},
      {"a\xC3\xA9\xE2\x28\xA1z", U_INVALID_CHAR_FOUND, u"", 0, "bad trail in the measured part"},
      // Cut short by the end of the text: 11, converted up to it.
      {"a\xE2\x82", U_TRUNCATED_CHAR_FOUND, u"a", 1, "three-byte cut after two"},
      {"ab\xF0\x9F\x98", U_TRUNCATED_CHAR_FOUND, u"ab", 2, "four-byte cut after three"},
      {"\xC3", U_TRUNCATED_CHAR_FOUND, u"", 0, "lead alone"},
      {"a\xEF\xBF", U_TRUNCATED_CHAR_FOUND, u"a", 1, "could still become U+FFFD"},
      {"a\xED\xA0", U_INVALID_CHAR_FOUND, u"", 0, "a surrogate start is never right"},
  };
  for (const Utf8Row& row : rows) {
    SCOPED_TRACE(row.note);
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    char16_t* dst = buffer;
    const char* src = row.bytes.c_str();
    int32_t total = -1;
    UErrorCode error = U_ZERO_ERROR;
    char16_t* start = juUtf8ToUtf16Resumable(&dst, 8, &total, &src, static_cast<int32_t>(row.bytes.size()), &error);
    EXPECT_EQ(error, row.error) << u_errorName(error);
    if (row.error == U_INVALID_CHAR_FOUND) {
      EXPECT_EQ(start, nullptr);
      continue;
    }
    EXPECT_EQ(start, buffer);
    EXPECT_EQ(std::u16string(buffer, static_cast<size_t>(dst - buffer)), row.units);
    EXPECT_EQ(total, static_cast<int32_t>(row.units.size()));
    EXPECT_EQ(src, row.bytes.c_str() + row.consumed);
    EXPECT_EQ(buffer[row.units.size()], u'\0');
  }
}

// Every two- and three-byte sequence and the four-byte ones around the lead
// bytes' edges: accepted exactly when ICU decodes them whole and they are no
// noncharacter, and then to the same code point.
TEST(Utf8ToUtf16Resumable, AgreesWithIcuOnShortSequences) {
  auto check = [](const uint8_t* bytes, int32_t n) -> bool {
    int32_t i = 0;
    UChar32 expected = 0;
    U8_NEXT(bytes, i, n, expected);
    const bool noncharacter = expected >= 0 && U_IS_UNICODE_NONCHAR(expected);
    const bool valid = expected >= 0 && i == n && !noncharacter;
    char16_t buffer[4];
    char16_t* dst = buffer;
    const char* src = reinterpret_cast<const char*>(bytes);
    int32_t total = -1;
    UErrorCode error = U_ZERO_ERROR;
    const char16_t* start = juUtf8ToUtf16Resumable(&dst, 4, &total, &src, n, &error);
    if (valid) {
      if (start == nullptr || U_FAILURE(error)) return false;
      char16_t units[2];
      int32_t k = 0;
      U16_APPEND_UNSAFE(units, k, expected);
      return dst - buffer == k && std::equal(units, units + k, buffer);
    }
    return U_FAILURE(error) != 0;
  };
  int failures = 0;
  uint8_t b[4];
  for (int x = 0xC0; x <= 0xFF; ++x) {
    b[0] = static_cast<uint8_t>(x);
    for (int y = 0; y <= 0xFF; ++y) {
      b[1] = static_cast<uint8_t>(y);
      if (!check(b, 2)) ++failures;
      if (x < 0xE0) continue;
      for (int z = 0x70; z <= 0xC0; ++z) {
        b[2] = static_cast<uint8_t>(z);
        if (!check(b, 3)) ++failures;
        if (x < 0xF0 || (y & 0x0F) != 0x0F) continue;
        for (int w = 0x70; w <= 0xC0; w += 0x0F) {
          b[3] = static_cast<uint8_t>(w);
          if (!check(b, 4)) ++failures;
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(Utf8ToUtf16Resumable, SupplementaryCharacterIsNotSplit) {
  const char* text =
      "ab\xF0\x9F\x98\x80"
      "c";
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  char16_t* dst = buffer;
  const char* src = text;
  int32_t total = -1;
  UErrorCode error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&dst, 3, &total, &src, -1, &error), buffer);
  EXPECT_EQ(error, U_BUFFER_OVERFLOW_ERROR);
  EXPECT_EQ(total, 5);
  EXPECT_EQ(dst, buffer + 2);
  EXPECT_EQ(src, text + 2);  // a later call goes on with the whole character
  EXPECT_EQ(buffer[2], u'#');
  // ... which it does.
  error = U_ZERO_ERROR;
  char16_t rest[4];
  char16_t* restDst = rest;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&restDst, 4, &total, &src, -1, &error), rest);
  EXPECT_EQ(error, U_ZERO_ERROR);
  EXPECT_EQ(std::u16string(rest), u"\U0001F600c");
}

TEST(Utf8ToUtf16Resumable, ArgumentsAndMeasuring) {
  char16_t buffer[4];
  char16_t* dst = buffer;
  const char* src = "abc";
  int32_t total = -1;
  UErrorCode error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&dst, -1, &total, &src, 3, &error), nullptr);
  EXPECT_EQ(error, U_ILLEGAL_ARGUMENT_ERROR);
  error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&dst, 4, &total, &src, -2, &error), nullptr);
  EXPECT_EQ(error, U_ILLEGAL_ARGUMENT_ERROR);
  error = U_ZERO_ERROR;
  const char* none = nullptr;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&dst, 4, &total, &none, 3, &error), nullptr);
  EXPECT_EQ(error, U_ILLEGAL_ARGUMENT_ERROR);
  // Measuring only.
  char16_t* nothing = nullptr;
  error = U_ZERO_ERROR;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&nothing, 0, &total, &src, -1, &error), nullptr);
  EXPECT_EQ(error, U_BUFFER_OVERFLOW_ERROR);
  EXPECT_EQ(total, 3);
  // Exactly full: the "not terminated" warning.
  error = U_ZERO_ERROR;
  dst = buffer;
  EXPECT_EQ(juUtf8ToUtf16Resumable(&dst, 3, &total, &src, -1, &error), buffer);
  EXPECT_EQ(error, U_STRING_NOT_TERMINATED_WARNING);
}

// --- Upper-casing --------------------------------------------------------------

TEST(Utf8StrNUpper, InPlaceKeepingEveryLength) {
  struct Row {
    std::string text;
    size_t n;
    std::string expected;
    const char* note;
  };
  const Row rows[] = {
      {"abc xyz 09", 10, "ABC XYZ 09", "ASCII"},
      {"abc", 2, "ABc", "only n bytes"},
      {"caf\xC3\xA9", 5, "CAF\xC3\x89", "two-byte letter with a two-byte capital"},
      {"\xD0\xB4\xD0\xB0", 4, "\xD0\x94\xD0\x90", "Cyrillic"},
      {"\xF0\x90\x90\xA8", 4, "\xF0\x90\x90\x80", "Deseret, above U+FFFF"},
      {"\xC4\xB1x", 3, "\xC4\xB1X", "dotless i: its capital I is shorter"},
      {"\xC9\x90x", 3, "\xC9\x90X", "U+0250: its capital U+2C6F is longer"},
      {"\xC3\x9F", 2, "\xC3\x9F", "sharp s has no single capital"},
      {"\xE9t\xE9", 3, "\xE9T\xE9", "Latin-1 bytes are not characters"},
      {"\xC3\x41", 2, "\xC3\x41", "a lead byte without its trail"},
      {"a\xC3", 2, "A\xC3", "a lead byte at the end"},
      {"a\xE2\x82", 3, "A\xE2\x82", "cut three-byte"},
      {"\xC3\xA9", 1, "\xC3\xA9", "n ends inside a character"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    // An exactly sized block, so a read or write past n is caught.
    std::unique_ptr<char[]> block(new char[row.n]);
    std::memcpy(block.get(), row.text.data(), row.n);
    juUtf8StrNUpper(block.get(), row.n);
    EXPECT_EQ(std::string(block.get(), row.n) + row.text.substr(row.n), row.expected);
  }
  juUtf8StrNUpper(nullptr, 3);
}

TEST(Utf8StrUpper, UpToTheNul) {
  char text[] =
      "stra\xC3\x9F"
      "e \xC3\xBC\0x";
  juUtf8StrUpper(text);
  EXPECT_EQ(std::string(text, sizeof text - 1), std::string("STRA\xC3\x9F"
                                                            "E \xC3\x9C\0x",
                                                            12));
  juUtf8StrUpper(nullptr);
}

}  // namespace
