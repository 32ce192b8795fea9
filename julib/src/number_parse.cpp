// Decimal text to integers: the narrow parsers.
//
// Narrow text is lenient: empty or blank text is 0, and any mix of blanks
// and '+' may stand before the digits. A value beyond the type posts 2701,
// any other malformed text 2702, each with the offending text.

#include <cctype>
#include <cstring>
#include <string_view>

#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/strings.h"
#include "number_parse_util.h"

namespace {

using julib::internal::accumulateDigit;
using julib::internal::kMaxUInt32;
using julib::internal::kMaxUInt64;
using julib::internal::signedFromMagnitude;

std::string_view terminated(const char* text) { return text == nullptr ? std::string_view() : std::string_view(text); }

std::string_view counted(const char* text, uint16_t length) {
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

// Posts `id` with the text as its parameter. Plain narrow text goes in as
// UTF-8 (ANSI when it is not valid UTF-8), as every narrow parameter does.
int fail(uint16_t id, std::string_view text) {
  juPostError(id)->addParam(JuSubString(text.data(), text.size(), JuCodePageKind::kUtf8));
  return 1;
}

// Bytes of the narrow blank at the front of `rest`: 1 for an isspace byte,
// 2 for the double-byte ideographic space, 0 for anything else.
size_t blankLength(std::string_view rest) {
  if (rest.empty()) return 0;
  if (std::isspace(static_cast<unsigned char>(rest[0]))) return 1;
  // The double-byte test reads the byte after a lead byte: ask only when
  // the counted text holds it.
  if (rest.size() >= 2 && juStrIsBlank(rest.data())) return 2;
  return 0;
}

size_t skipBlanks(std::string_view text, size_t i) {
  while (size_t n = blankLength(text.substr(i))) i += n;
  return i;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The unsigned core: blanks and '+' in any mix, digits up to `max`, trailing
// blanks, end. Both messages carry the whole text.
int parseUnsigned(std::string_view text, uint64_t max, uint64_t* result) {
  size_t i = 0;
  for (;;) {
    if (i < text.size() && text[i] == '+') {
      ++i;
    } else if (size_t n = blankLength(text.substr(i))) {
      i += n;
    } else {
      break;
    }
  }
  uint64_t value = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (!accumulateDigit(value, static_cast<unsigned>(text[i] - '0'), max)) return fail(kJuMsgNumberTooLarge, text);
  }
  if (skipBlanks(text, i) != text.size()) return fail(kJuMsgInvalidNumber, text);
  if (result != nullptr) *result = value;
  return 0;
}

// The sign step: blanks, one '-', then the unsigned core of `bits` bits on
// the rest. An out-of-range magnitude posts 2701 with the text after the sign.
int parseSigned(std::string_view text, unsigned bits, int64_t* result) {
  size_t i = skipBlanks(text, 0);
  const bool negative = i < text.size() && text[i] == '-';
  if (negative) ++i;
  const std::string_view rest = text.substr(i);
  uint64_t magnitude = 0;
  if (parseUnsigned(rest, bits == 32 ? kMaxUInt32 : kMaxUInt64, &magnitude) != 0) return 1;
  int64_t value = 0;
  if (!signedFromMagnitude(magnitude, negative, bits, &value)) return fail(kJuMsgNumberTooLarge, rest);
  if (result != nullptr) *result = value;
  return 0;
}

// Stores a parsed value when it lies in [low, high]; else 2701 with the text.
template <typename T, typename V>
int storeInRange(V value, V low, V high, std::string_view text, T* result) {
  if (value < low || value > high) return fail(kJuMsgNumberTooLarge, text);
  if (result != nullptr) *result = static_cast<T>(value);
  return 0;
}

template <typename T>
int parseSignedInto(std::string_view text, int64_t low, int64_t high, T* result) {
  int64_t value = 0;
  if (parseSigned(text, 64, &value) != 0) return 1;
  return storeInRange(value, low, high, text, result);
}

template <typename T>
int parseUnsignedInto(std::string_view text, uint64_t coreMax, uint64_t high, T* result) {
  uint64_t value = 0;
  if (parseUnsigned(text, coreMax, &value) != 0) return 1;
  return storeInRange(value, uint64_t{0}, high, text, result);
}

}  // namespace

// ---------------------------------------------------------------------------
// Cores.
// ---------------------------------------------------------------------------

int juStrToUInt64(const char* text, uint64_t* result) { return parseUnsigned(terminated(text), kMaxUInt64, result); }

int juStrNToUInt64(const char* text, uint16_t length, uint64_t* result) {
  return parseUnsigned(counted(text, length), kMaxUInt64, result);
}

int juStrNToUInt32(const char* text, uint16_t length, uint32_t* result) {
  uint64_t value = 0;
  if (parseUnsigned(counted(text, length), kMaxUInt32, &value) != 0) return 1;
  if (result != nullptr) *result = static_cast<uint32_t>(value);
  return 0;
}

// ---------------------------------------------------------------------------
// Typed parsers.
// ---------------------------------------------------------------------------

int juStrToInt8(const char* text, int8_t* result) {
  return parseSignedInto(terminated(text), INT8_MIN, INT8_MAX, result);
}

int juStrToUInt8(const char* text, uint8_t* result) {
  return parseUnsignedInto(terminated(text), kMaxUInt64, UINT8_MAX, result);
}

int juStrToInt16(const char* text, int16_t* result) {
  return parseSignedInto(terminated(text), INT16_MIN, INT16_MAX, result);
}

int juStrToUInt16(const char* text, uint16_t* result) {
  return parseUnsignedInto(terminated(text), kMaxUInt64, UINT16_MAX, result);
}

// Its own sign step over the 64-bit signed parser, which may take a second
// '-': "--5" is 5.
int juStrToInt32(const char* text, int32_t* result) {
  const std::string_view whole = terminated(text);
  size_t i = skipBlanks(whole, 0);
  const bool negative = i < whole.size() && whole[i] == '-';
  if (negative) ++i;
  const std::string_view rest = whole.substr(i);
  int64_t value = 0;
  if (parseSigned(rest, 64, &value) != 0) return 1;
  if (negative) {
    // The 64-bit minimum has no positive twin; it is out of range anyway.
    if (value == INT64_MIN) return fail(kJuMsgNumberTooLarge, rest);
    value = -value;
  }
  return storeInRange(value, int64_t{INT32_MIN}, int64_t{INT32_MAX}, rest, result);
}

// A '-' is no blank, '+' or digit, so the core rejects it with 2702.
int juStrToUInt32(const char* text, uint32_t* result) {
  return parseUnsignedInto(terminated(text), kMaxUInt64, UINT32_MAX, result);
}

int juStrToInt64(const char* text, int64_t* result) { return parseSigned(terminated(text), 64, result); }

int juStrNToInt16(const char* text, uint16_t length, int16_t* result) {
  const std::string_view whole = counted(text, length);
  int64_t value = 0;
  if (parseSigned(whole, 32, &value) != 0) return 1;
  return storeInRange(value, int64_t{INT16_MIN}, int64_t{INT16_MAX}, whole, result);
}

int juStrNToUInt16(const char* text, uint16_t length, uint16_t* result) {
  return parseUnsignedInto(counted(text, length), kMaxUInt32, UINT16_MAX, result);
}

int juStrNToInt32(const char* text, uint16_t length, int32_t* result) {
  int64_t value = 0;
  if (parseSigned(counted(text, length), 32, &value) != 0) return 1;
  if (result != nullptr) *result = static_cast<int32_t>(value);
  return 0;
}

int juStrNToInt64(const char* text, uint16_t length, int64_t* result) {
  return parseSigned(counted(text, length), 64, result);
}
