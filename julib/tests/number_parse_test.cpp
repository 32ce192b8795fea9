// Decimal parsers: narrow (lenient) and UTF-16 (strict), their limits, the
// sign steps, and the messages they post.

#include <cstring>
#include <string>
#include <vector>

#include "julib/numbers.h"
#include "platform/ansi.h"
#include "testing/ju_test.h"

namespace {

using jutest::ScopedErrorList;
using jutest::toUtf8;
using Ids = std::vector<uint16_t>;

constexpr uint16_t kTooLarge = kJuMsgNumberTooLarge;
constexpr uint16_t kInvalid = kJuMsgInvalidNumber;

// What a failed parse must leave in the result.
template <typename T>
constexpr T kUntouched = static_cast<T>(77);

Ids idsFor(uint16_t id) { return id == 0 ? Ids{} : Ids{id}; }

std::string show(const char* text) { return text; }
std::string show(const char16_t* text) { return toUtf8(std::u16string(text)); }

// One row: text, expected status, value (on success) and posted message id.
template <typename Char, typename T>
struct Row {
  const Char* text;
  int status;
  T value;
  uint16_t id;
  const char* note;
};

template <typename Char, typename T, typename Parse>
void checkRows(const std::vector<Row<Char, T>>& rows, Parse parse) {
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.note) + " [" + show(row.text) + "]");
    ScopedErrorList errors;
    T value = kUntouched<T>;
    EXPECT_EQ(parse(row.text, &value), row.status);
    EXPECT_EQ(value, row.status == 0 ? row.value : kUntouched<T>);
    EXPECT_EQ(errors.ids(), idsFor(row.id));
  }
}

// The message of the one error a call posts.
template <typename Call>
std::string messageOf(Call call) {
  ScopedErrorList errors;
  call();
  return errors.message(0);
}

// Switches the ANSI code page for a scope.
class ScopedAnsiCodePage {
 public:
  explicit ScopedAnsiCodePage(uint32_t codePage) : saved_(platform::ansiCodePage()) {
    EXPECT_TRUE(platform::setAnsiCodePage(codePage));
  }
  ~ScopedAnsiCodePage() { platform::setAnsiCodePage(saved_); }

 private:
  uint32_t saved_;
};

// ---------------------------------------------------------------------------
// Narrow cores.
// ---------------------------------------------------------------------------

TEST(NarrowParse, UInt64) {
  checkRows<char, uint64_t>(
      {
          {"18446744073709551615", 0, UINT64_MAX, 0, "2^64 - 1"},
          {"18446744073709551616", 1, 0, kTooLarge, "2^64: last digit above 5"},
          {"18446744073709551620", 1, 0, kTooLarge, "value above the limit before the last digit"},
          {"1844674407370955161", 0, 1844674407370955161u, 0, "the limit itself"},
          {"000000000000000000000018446744073709551615", 0, UINT64_MAX, 0, "leading zeros"},
          {"", 0, 0, 0, "empty text is 0"},
          {"   ", 0, 0, 0, "blank text is 0"},
          {"+", 0, 0, 0, "a lone plus is 0"},
          {" + 7 ", 0, 7, 0, "blank, plus, blank, 7, blank"},
          {"+ +\t+7", 0, 7, 0, "any mix of blanks and plus signs"},
          {"7a", 1, 0, kInvalid, "a letter after the digits"},
          {"7 7", 1, 0, kInvalid, "two numbers"},
          {"-1", 1, 0, kInvalid, "no sign step in the unsigned core"},
          {"7+", 1, 0, kInvalid, "a plus after the digits"},
      },
      juStrToUInt64);
}

TEST(NarrowParse, MessagesCarryTheText) {
  EXPECT_EQ(messageOf([] {
              uint64_t v = 0;
              (void)juStrToUInt64("18446744073709551616", &v);  // only the message is looked at
            }),
            "Number too large: 18446744073709551616");
  EXPECT_EQ(messageOf([] {
              uint64_t v = 0;
              (void)juStrToUInt64(" 7x", &v);  // only the message is looked at
            }),
            "Number contains an invalid character:  7x");
  // Counted text: only the counted bytes.
  EXPECT_EQ(messageOf([] {
              uint64_t v = 0;
              (void)juStrNToUInt64("12x456", 3, &v);  // only the message is looked at
            }),
            "Number contains an invalid character: 12x");
}

TEST(NarrowParse, CountedCores) {
  struct CountedRow {
    const char* text;
    uint16_t length;
    int status;
    uint64_t value;
    uint16_t id;
    const char* note;
  };
  const std::vector<CountedRow> rows = {
      {"123456", 3, 0, 123, 0, "stops at the length"},
      {"", 0, 0, 0, 0, "length 0"},
      {" + ", 3, 0, 0, 0, "blanks and plus only"},
      {"1\0"
       "2",
       3, 1, 0, kInvalid, "a NUL inside the counted text"},
      {"4294967295", 10, 0, 4294967295u, 0, "2^32 - 1"},
      {"4294967296", 10, 1, 0, kTooLarge, "2^32"},
      {"429496730", 9, 0, 429496730, 0, "the 32-bit limit, one digit short"},
      {"4294967300", 10, 1, 0, kTooLarge, "above the 32-bit limit before the last digit"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    {
      ScopedErrorList errors;
      uint32_t value = kUntouched<uint32_t>;
      EXPECT_EQ(juStrNToUInt32(row.text, row.length, &value), row.status);
      EXPECT_EQ(value, row.status == 0 ? row.value : kUntouched<uint32_t>);
      EXPECT_EQ(errors.ids(), idsFor(row.id));
    }
    {
      // The 64-bit core takes every 32-bit row's text that fits 64 bits.
      ScopedErrorList errors;
      uint64_t value = kUntouched<uint64_t>;
      const int status = juStrNToUInt64(row.text, row.length, &value);
      if (row.id != kTooLarge) {
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(value, row.status == 0 ? row.value : kUntouched<uint64_t>);
      } else {
        EXPECT_EQ(status, 0);
      }
    }
  }
  ScopedErrorList errors;
  uint64_t value = 0;
  EXPECT_EQ(juStrNToUInt64("18446744073709551616", 20, &value), 1);
  EXPECT_EQ(errors.ids(), Ids{kTooLarge});
}

TEST(NarrowParse, IdeographicSpaceIsABlankOnlyWhereItIsWhole) {
  ScopedAnsiCodePage japanese(932);
  uint64_t value = 0;
  {
    ScopedErrorList errors;
    EXPECT_EQ(juStrToUInt64("\x81\x40"
                            "7\x81\x40",
                            &value),
              0);
    EXPECT_EQ(value, 7u);
  }
  {
    ScopedErrorList errors;
    EXPECT_EQ(juStrNToUInt64("7\x81\x40", 3, &value), 0);
    EXPECT_EQ(value, 7u);
  }
  {
    // The counted text ends after the lead byte: no blank, and its trail
    // byte beyond the length is not read.
    ScopedErrorList errors;
    EXPECT_EQ(juStrNToUInt64("7\x81\x40", 2, &value), 1);
    EXPECT_EQ(errors.ids(), Ids{kInvalid});
  }
}

TEST(NarrowParse, IdeographicSpaceIsNoBlankInASingleByteCodePage) {
  ScopedErrorList errors;
  uint64_t value = 0;
  EXPECT_EQ(juStrToUInt64("7\x81\x40", &value), 1);
  EXPECT_EQ(errors.ids(), Ids{kInvalid});
}

// ---------------------------------------------------------------------------
// Narrow sign steps and typed parsers.
// ---------------------------------------------------------------------------

TEST(NarrowParse, Int64) {
  checkRows<char, int64_t>(
      {
          {"-9223372036854775808", 0, INT64_MIN, 0, "the minimum"},
          {"9223372036854775807", 0, INT64_MAX, 0, "the maximum"},
          {"9223372036854775808", 1, 0, kTooLarge, "2^63 without a minus"},
          {"-9223372036854775809", 1, 0, kTooLarge, "below the minimum"},
          {"-18446744073709551615", 1, 0, kTooLarge, "a full 64-bit magnitude"},
          {"-18446744073709551616", 1, 0, kTooLarge, "beyond 64 bits"},
          {" - 5", 0, -5, 0, "blanks before and after the minus"},
          {"-+5", 0, -5, 0, "the core takes a plus after the minus"},
          {"-0", 0, 0, 0, "minus zero"},
          {"-", 0, 0, 0, "a lone minus is 0"},
          {"+-5", 1, 0, kInvalid, "a minus after a plus"},
          {"--5", 1, 0, kInvalid, "only one minus"},
      },
      juStrToInt64);
  // The sign step's own message carries the text after the sign.
  EXPECT_EQ(messageOf([] {
              int64_t v = 0;
              (void)juStrToInt64("-9223372036854775809", &v);  // only the message is looked at
            }),
            "Number too large: 9223372036854775809");
}

TEST(NarrowParse, Int32) {
  checkRows<char, int32_t>(
      {
          {"-2147483648", 0, INT32_MIN, 0, "the minimum"},
          {"2147483647", 0, INT32_MAX, 0, "the maximum"},
          {"2147483648", 1, 0, kTooLarge, "2^31"},
          {"-2147483649", 1, 0, kTooLarge, "below the minimum"},
          {"--5", 0, 5, 0, "two minus signs cancel"},
          {" - -5", 0, 5, 0, "with blanks"},
          {"--2147483648", 1, 0, kTooLarge, "cancelled signs make 2^31"},
          {"---5", 1, 0, kInvalid, "a third minus"},
          // The 64-bit minimum negated again has no value: out of range, and
          // no signed overflow on the way.
          {"--9223372036854775808", 1, 0, kTooLarge, "the 64-bit minimum negated"},
          {"9223372036854775808", 1, 0, kTooLarge, "beyond 64-bit signed"},
      },
      juStrToInt32);
}

TEST(NarrowParse, SmallTypes) {
  checkRows<char, int8_t>({{"-128", 0, -128, 0, "minimum"},
                           {"127", 0, 127, 0, "maximum"},
                           {"128", 1, 0, kTooLarge, "above"},
                           {"-129", 1, 0, kTooLarge, "below"}},
                          juStrToInt8);
  checkRows<char, uint8_t>({{"255", 0, 255, 0, "maximum"}, {"256", 1, 0, kTooLarge, "above"}}, juStrToUInt8);
  checkRows<char, int16_t>({{"-32768", 0, -32768, 0, "minimum"},
                            {"32767", 0, 32767, 0, "maximum"},
                            {"32768", 1, 0, kTooLarge, "above"},
                            {"-32769", 1, 0, kTooLarge, "below"}},
                           juStrToInt16);
  checkRows<char, uint16_t>({{"65535", 0, 65535, 0, "maximum"}, {"65536", 1, 0, kTooLarge, "above"}}, juStrToUInt16);
  checkRows<char, uint32_t>({{"4294967295", 0, UINT32_MAX, 0, "maximum"},
                             {"4294967296", 1, 0, kTooLarge, "above"},
                             {" -1", 1, 0, kInvalid, "a minus"},
                             {"", 0, 0, 0, "empty"}},
                            juStrToUInt32);
  ScopedErrorList errors;
  EXPECT_EQ(juStrToUInt32("12", nullptr), 0);  // the result may be null
  EXPECT_EQ(juStrToUInt32("4294967296", nullptr), 1);
}

TEST(NarrowParse, CountedSigned) {
  auto counted = [](auto parse) {
    return [parse](const char* text, auto* out) { return parse(text, static_cast<uint16_t>(std::strlen(text)), out); };
  };
  checkRows<char, int32_t>({{"-2147483648", 0, INT32_MIN, 0, "minimum"},
                            {"2147483647", 0, INT32_MAX, 0, "maximum"},
                            {"2147483648", 1, 0, kTooLarge, "2^31"},
                            {"-4294967295", 1, 0, kTooLarge, "a full 32-bit magnitude"},
                            {"-4294967296", 1, 0, kTooLarge, "beyond the 32-bit core"}},
                           counted(juStrNToInt32));
  checkRows<char, int64_t>(
      {{"-9223372036854775808", 0, INT64_MIN, 0, "minimum"}, {"9223372036854775808", 1, 0, kTooLarge, "2^63"}},
      counted(juStrNToInt64));
  checkRows<char, int16_t>({{"-32768", 0, -32768, 0, "minimum"},
                            {"32768", 1, 0, kTooLarge, "above"},
                            {"-2147483648", 1, 0, kTooLarge, "the 32-bit minimum"}},
                           counted(juStrNToInt16));
  checkRows<char, uint16_t>({{"65535", 0, 65535, 0, "maximum"}, {"65536", 1, 0, kTooLarge, "above"}},
                            counted(juStrNToUInt16));
  ScopedErrorList errors;
  int32_t value = 0;
  EXPECT_EQ(juStrNToInt32("-12345", 3, &value), 0);  // not terminated at the length
  EXPECT_EQ(value, -12);
}

// ---------------------------------------------------------------------------
// Wide parsers.
// ---------------------------------------------------------------------------

TEST(WideParse, UInt64) {
  checkRows<char16_t, uint64_t>(
      {
          {u"18446744073709551615", 0, UINT64_MAX, 0, "2^64 - 1"},
          {u"18446744073709551616", 1, 0, kTooLarge, "2^64"},
          {u"", 1, 0, kInvalid, "empty text"},
          {u" \t", 1, 0, kInvalid, "blank text"},
          {u"+", 1, 0, kInvalid, "a lone plus"},
          {u"+7", 0, 7, 0, "plus first"},
          {u"+ 7 ", 0, 7, 0, "plus, blanks, digits, blanks"},
          {u"++7", 1, 0, kInvalid, "two plus signs"},
          {u" +7", 1, 0, kInvalid, "plus after a blank"},
          {u"7 x", 1, 0, kInvalid, "text after the blanks"},
          {u"7x", 1, 0, kInvalid, "text after the digits"},
          {u"\u30007\u3000", 0, 7, 0, "ideographic spaces are white space"},
          {u"-7", 1, 0, kInvalid, "no sign step in the core"},
      },
      juWStrToUInt64);
  EXPECT_EQ(messageOf([] {
              uint64_t v = 0;
              (void)juWStrToUInt64(u"++7", &v);  // only the message is looked at
            }),
            "Number contains an invalid character: ++7");
}

TEST(WideParse, DigitsOfOtherScriptsHaveTheirDecimalValue) {
  checkRows<char16_t, uint64_t>(
      {
          {u"\u0661\u0662\u0663", 0, 123, 0, "Arabic-Indic"},
          {u"\u0967\u0966", 0, 10, 0, "Devanagari"},
          {u"\uFF19\uFF10", 0, 90, 0, "fullwidth"},
          {u"4\u0662", 0, 42, 0, "mixed scripts"},
          {u"\uFF11\uFF18\uFF14\uFF14\uFF16\uFF17\uFF14\uFF14\uFF10\uFF17\uFF13\uFF17\uFF10\uFF19\uFF15\uFF15\uFF11"
           u"\uFF16\uFF11\uFF16",
           1, 0, kTooLarge, "fullwidth 2^64 overflows by value"},
          {u"\u00B2", 1, 0, kInvalid, "superscript two is no decimal digit"},
          {u"\u2167", 1, 0, kInvalid, "roman numeral eight is no decimal digit"},
      },
      juWStrToUInt64);
}

TEST(WideParse, Counted) {
  ScopedErrorList errors;
  uint64_t value = kUntouched<uint64_t>;
  EXPECT_EQ(juWStrNToUInt64(u"12345", 3, &value), 0);
  EXPECT_EQ(value, 123u);
  EXPECT_EQ(juWStrNToUInt64(u"12345", 0, &value), 1);  // length 0
  EXPECT_EQ(juWStrNToUInt64(u"+5", 1, &value), 1);     // a lone plus
  EXPECT_EQ(juWStrNToUInt64(u"  5", 2, &value), 1);    // blanks only
  EXPECT_EQ(value, 123u);
  EXPECT_EQ(errors.ids(), (Ids{kInvalid, kInvalid, kInvalid}));
  EXPECT_EQ(messageOf([] {
              uint64_t v = 0;
              (void)juWStrNToUInt64(u"1x345", 3, &v);  // only the message is looked at
            }),
            "Number contains an invalid character: 1x3");

  uint32_t value32 = 0;
  EXPECT_EQ(juWStrNToUInt32(u"4294967295", 10, &value32), 0);
  EXPECT_EQ(value32, UINT32_MAX);
  EXPECT_EQ(juWStrNToUInt32(u"4294967296", 10, &value32), 1);
  EXPECT_EQ(value32, UINT32_MAX);
}

TEST(WideParse, UInt32AndUInt16) {
  checkRows<char16_t, uint32_t>({{u"4294967295", 0, UINT32_MAX, 0, "maximum"},
                                 {u"4294967296", 1, 0, kTooLarge, "2^32"},
                                 {u"", 1, 0, kInvalid, "empty"}},
                                juWStrToUInt32);
  checkRows<char16_t, uint16_t>({{u"65535", 0, 65535, 0, "maximum"}, {u"65536", 1, 0, kTooLarge, "above"}},
                                juWStrToUInt16);
  checkRows<char16_t, uint16_t>(
      {{u"65535", 0, 65535, 0, "maximum"}, {u"65536", 1, 0, kTooLarge, "above"}},
      [](const char16_t* text, uint16_t* out) { return juWStrNToUInt16(text, std::u16string(text).size(), out); });
}

TEST(WideParse, Signed) {
  checkRows<char16_t, int64_t>(
      {
          {u"-9223372036854775808", 0, INT64_MIN, 0, "the minimum"},
          {u"9223372036854775807", 0, INT64_MAX, 0, "the maximum"},
          {u"9223372036854775808", 1, 0, kTooLarge, "2^63"},
          {u"-9223372036854775809", 1, 0, kTooLarge, "below the minimum"},
          {u" -+5", 0, -5, 0, "the core takes a plus after the minus"},
          {u"- 5", 0, -5, 0, "blanks after the minus"},
          {u" - +5", 1, 0, kInvalid, "a plus after blanks after the minus"},
          {u"  ", 1, 0, kInvalid, "blanks only"},
          {u"--5", 1, 0, kInvalid, "two minus signs"},
      },
      juWStrToInt64);
  checkRows<char16_t, int32_t>({{u"-2147483648", 0, INT32_MIN, 0, "the minimum"},
                                {u"2147483648", 1, 0, kTooLarge, "2^31"},
                                {u"-4294967296", 1, 0, kTooLarge, "beyond the 32-bit core"}},
                               juWStrToInt32);
  checkRows<char16_t, int32_t>(
      {{u"-2147483648", 0, INT32_MIN, 0, "the minimum"}, {u"", 1, 0, kInvalid, "length 0"}},
      [](const char16_t* text, int32_t* out) { return juWStrNToInt32(text, std::u16string(text).size(), out); });
  checkRows<char16_t, int64_t>(
      {{u"-9223372036854775808", 0, INT64_MIN, 0, "the minimum"}, {u" ", 1, 0, kInvalid, "blank"}},
      [](const char16_t* text, int64_t* out) { return juWStrNToInt64(text, std::u16string(text).size(), out); });
  // Unlike the narrow sign step, the message carries the whole text.
  EXPECT_EQ(messageOf([] {
              int64_t v = 0;
              (void)juWStrToInt64(u"-9223372036854775809", &v);  // only the message is looked at
            }),
            "Number too large: -9223372036854775809");
}

TEST(WideParse, Int16StoresTheLowBitsWhenOutOfRange) {
  struct Int16Row {
    const char16_t* text;
    int status;
    int16_t stored;
    const char* note;
  };
  const std::vector<Int16Row> rows = {
      {u"-32768", 0, -32768, "minimum"},
      {u"32767", 0, 32767, "maximum"},
      {u"40000", 1, -25536, "above: low 16 bits"},
      {u"-40000", 1, 25536, "below: low 16 bits"},
      {u"32768", 1, -32768, "2^15"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    for (bool countedForm : {false, true}) {
      ScopedErrorList errors;
      int16_t value = 0;
      const int status = countedForm ? juWStrNToInt16(row.text, std::u16string(row.text).size(), &value)
                                     : juWStrToInt16(row.text, &value);
      EXPECT_EQ(status, row.status);
      EXPECT_EQ(value, row.stored);
      EXPECT_EQ(errors.ids(), idsFor(row.status == 0 ? 0 : kTooLarge));
    }
  }
  // Beyond the 32-bit parser nothing is stored.
  ScopedErrorList errors;
  int16_t value = 5;
  EXPECT_EQ(juWStrToInt16(u"3000000000", &value), 1);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(errors.ids(), Ids{kTooLarge});
}

}  // namespace
