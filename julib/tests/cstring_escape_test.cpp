// XML escaping and character-set tests.

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cstring_test_util.h"
#include "julib/cstring.h"
#include "julib/internal/fault.h"
#include "julib/object.h"
#include "testing/ju_test.h"

namespace {

using jutest::heapBytes;

constexpr JuCodePageKind kAnsi = JuCodePageKind::kAnsi;
constexpr JuCodePageKind kUtf8 = JuCodePageKind::kUtf8;

class XmlEscape : public jutest::JuTest {
 protected:
  // Escapes `text`; the result code and the escaped text ("<null>" when
  // none was handed out).
  std::pair<int, std::string> escape(const std::string& text) {
    char* out = reinterpret_cast<char*>(&sentinel_);
    uint16_t length = 0xBEEF;
    const int result = juStrXmlEscape(text.c_str(), &out, &length);
    if (out == nullptr) return {result, "<null>"};
    std::string escaped(out, length);
    EXPECT_EQ(std::strlen(out), length);
    juFree(out);
    return {result, escaped};
  }

 private:
  int sentinel_ = 0;
};

TEST_F(XmlEscape, FiveCharactersBecomeEntities) {
  struct Row {
    std::string text;
    std::string expected;
  };
  const Row rows[] = {
      {"a<b", "a&lt;b"},
      {"", ""},
      {"\"&'<>", "&quot;&amp;&apos;&lt;&gt;"},
      {"plain \xE9 text", "plain \xE9 text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(escape(row.text), std::make_pair(0, row.expected));
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(XmlEscape, NullTextTouchesNothing) {
  char* out = reinterpret_cast<char*>(this);
  uint16_t length = 7;
  EXPECT_EQ(juStrXmlEscape(nullptr, &out, &length), 1);
  EXPECT_EQ(out, reinterpret_cast<char*>(this));
  EXPECT_EQ(length, 7);
}

TEST_F(XmlEscape, OutOfMemory) {
  julib::internal::failAllocation(1, false);
  char* out = reinterpret_cast<char*>(this);
  uint16_t length = 7;
  EXPECT_EQ(juStrXmlEscape("a<b", &out, &length), 1);
  julib::internal::clearAllocationFault();
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
}

// The escaped length travels in 16 bits: a text whose escaped form does not
// fit is refused, never handed out with a wrapped length.
TEST_F(XmlEscape, EscapedLengthMustFitSixteenBits) {
  struct Row {
    std::string text;
    size_t length;  // 0: refused
    const char* note;
  };
  const Row rows[] = {
      {std::string(65535, 'a'), 65535, "65535 plain bytes"},
      {std::string(65536, 'a'), 0, "65536 plain bytes"},
      {std::string(10922, '"') + "aaa", 65535, "escapes to exactly 65535"},
      {std::string(10922, '"') + "aaaa", 0, "escapes to 65536"},
      {std::string(13107, '<') + "a", 52429, "4 x 13107 + 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    const auto [result, escaped] = escape(row.text);
    if (row.length != 0) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(escaped.size(), row.length);
      EXPECT_TRUE(errors.ids().empty());
    } else {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(escaped, "<null>");
      EXPECT_EQ(errors.ids(), std::vector<uint16_t>{kJuMsgStringTooLarge});
    }
  }
}

TEST(CharSets, AllCharsIn) {
  struct Row {
    std::string_view text;
    const char* set;
    uint32_t flags;
    JuCodePageKind kind;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {"", nullptr, 0, kAnsi, 1, "n = 0"},
      {"abc123", nullptr, kJuCharsLower | kJuCharsDigits, kAnsi, 1, "lower case and digits"},
      {"abC1", nullptr, kJuCharsLower | kJuCharsDigits, kAnsi, 0, "an upper-case letter"},
      {"ABZ", nullptr, kJuCharsUpper, kAnsi, 1, "upper case"},
      {"zyx", "xyz", 0, kAnsi, 1, "set only"},
      {"zya", "xyz", 0, kAnsi, 0, "outside the set"},
      {"a_b", "_", kJuCharsLower, kAnsi, 1, "set and class"},
      {"\xC3\xA9", "\xC3", 0, kUtf8, 1, "tested by the first byte"},
      {std::string_view("a\0", 2), "abc", 0, kAnsi, 0, "the set's terminator is no member"},
      {"`{", nullptr, kJuCharsLower, kAnsi, 0, "neighbours of the lower-case letters"},
      {"/", nullptr, kJuCharsDigits, kAnsi, 0, "neighbour of the digits"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapBytes(row.text);
    EXPECT_EQ(juStrNAllCharsIn(text.get(), row.text.size(), row.set, row.flags, row.kind), row.expected);
  }
}

TEST(CharSets, NoCharsIn) {
  struct Row {
    std::string_view text;
    const char* set;
    uint32_t flags;
    int expected;
    const char* note;
  };
  const Row rows[] = {
      {"", ";", kJuCharsLower, 1, "n = 0"},
      {"ABC", nullptr, kJuCharsLower, 1, "no lower case"},
      {"ABc", nullptr, kJuCharsLower, 0, "lower case"},
      {"a;b", ";", 0, 0, "a set member"},
      {"a,b", ";", 0, 1, "no set member"},
      {"ab9", nullptr, kJuCharsDigits, 0, "a digit"},
      {"@[", nullptr, kJuCharsUpper, 1, "neighbours of the upper-case letters"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    auto text = heapBytes(row.text);
    EXPECT_EQ(juStrNNoCharsIn(text.get(), row.text.size(), row.set, row.flags, kAnsi), row.expected);
  }
}

}  // namespace
