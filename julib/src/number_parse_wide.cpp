// Decimal text to integers: the UTF-16 parsers.
//
// UTF-16 text is strict where narrow text is lenient: empty or blank text
// posts 2702, and a single '+' is taken only as the very first unit. Blanks
// are ICU white space; digits are any decimal digit ICU knows, each with its
// own decimal value (U+0663 ARABIC-INDIC DIGIT THREE is 3).

#include <unicode/uchar.h>

#include <string_view>

#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/strings.h"
#include "number_parse_util.h"

namespace {

using julib::internal::accumulateDigit;
using julib::internal::kMaxUInt32;
using julib::internal::kMaxUInt64;
using julib::internal::lowSigned16;
using julib::internal::signedFromMagnitude;

std::u16string_view terminated(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

std::u16string_view counted(const char16_t* text, uint64_t length) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text, length);
}

int fail(uint16_t id, std::u16string_view text) {
  juPostError(id)->addParam(JuSubStringW(text.data(), text.size()));
  return 1;
}

bool isBlank(char16_t unit) { return u_isWhitespace(unit); }

// The decimal value of a digit unit of any script, -1 for a non-digit.
int digitValue(char16_t unit) { return u_isdigit(unit) ? u_charDigitValue(unit) : -1; }

size_t skipBlanks(std::u16string_view text, size_t i) {
  while (i < text.size() && isBlank(text[i])) ++i;
  return i;
}

// The unsigned core: one '+' in the first position, blanks, digits up to
// `max`, trailing blanks, end. Messages carry the whole text.
int parseUnsigned(std::u16string_view text, uint64_t max, uint64_t* result) {
  size_t i = 0;
  if (!text.empty() && text[0] == u'+') ++i;
  i = skipBlanks(text, i);
  if (i == text.size()) return fail(kJuMsgInvalidNumber, text);
  uint64_t value = 0;
  for (int digit; i < text.size() && (digit = digitValue(text[i])) >= 0; ++i) {
    if (!accumulateDigit(value, static_cast<unsigned>(digit), max)) return fail(kJuMsgNumberTooLarge, text);
  }
  if (skipBlanks(text, i) != text.size()) return fail(kJuMsgInvalidNumber, text);
  if (result != nullptr) *result = value;
  return 0;
}

// The sign step: blanks, one '-', then the core of `bits` bits (which may
// take a '+' first). Every message carries the whole text.
int parseSigned(std::u16string_view text, unsigned bits, int64_t* result) {
  size_t i = skipBlanks(text, 0);
  if (i == text.size()) return fail(kJuMsgInvalidNumber, text);
  const bool negative = text[i] == u'-';
  if (negative) ++i;
  uint64_t magnitude = 0;
  if (parseUnsigned(text.substr(i), bits == 32 ? kMaxUInt32 : kMaxUInt64, &magnitude) != 0) return 1;
  int64_t value = 0;
  if (!signedFromMagnitude(magnitude, negative, bits, &value)) return fail(kJuMsgNumberTooLarge, text);
  if (result != nullptr) *result = value;
  return 0;
}

// The 16-bit signed forms store the low 16 bits even when the value is out
// of range (and then still post 2701 and return 1).
int parseInt16(std::u16string_view text, int16_t* result) {
  int64_t value = 0;
  if (parseSigned(text, 32, &value) != 0) return 1;
  if (result != nullptr) *result = lowSigned16(value);
  if (value < INT16_MIN || value > INT16_MAX) return fail(kJuMsgNumberTooLarge, text);
  return 0;
}

int parseUInt16(std::u16string_view text, uint16_t* result) {
  uint64_t value = 0;
  if (parseUnsigned(text, kMaxUInt64, &value) != 0) return 1;
  if (value > UINT16_MAX) return fail(kJuMsgNumberTooLarge, text);
  if (result != nullptr) *result = static_cast<uint16_t>(value);
  return 0;
}

int parseUInt32(std::u16string_view text, uint32_t* result) {
  uint64_t value = 0;
  if (parseUnsigned(text, kMaxUInt32, &value) != 0) return 1;
  if (result != nullptr) *result = static_cast<uint32_t>(value);
  return 0;
}

int parseInt32(std::u16string_view text, int32_t* result) {
  int64_t value = 0;
  if (parseSigned(text, 32, &value) != 0) return 1;
  if (result != nullptr) *result = static_cast<int32_t>(value);
  return 0;
}

}  // namespace

int juWStrToUInt64(const char16_t* text, uint64_t* result) {
  return parseUnsigned(terminated(text), kMaxUInt64, result);
}

int juWStrToUInt32(const char16_t* text, uint32_t* result) { return parseUInt32(terminated(text), result); }

int juWStrNToUInt64(const char16_t* text, uint64_t length, uint64_t* result) {
  return parseUnsigned(counted(text, length), kMaxUInt64, result);
}

int juWStrNToUInt32(const char16_t* text, uint64_t length, uint32_t* result) {
  return parseUInt32(counted(text, length), result);
}

int juWStrToInt16(const char16_t* text, int16_t* result) { return parseInt16(terminated(text), result); }

int juWStrToUInt16(const char16_t* text, uint16_t* result) { return parseUInt16(terminated(text), result); }

int juWStrToInt32(const char16_t* text, int32_t* result) { return parseInt32(terminated(text), result); }

int juWStrToInt64(const char16_t* text, int64_t* result) { return parseSigned(terminated(text), 64, result); }

int juWStrNToInt16(const char16_t* text, uint64_t length, int16_t* result) {
  return parseInt16(counted(text, length), result);
}

int juWStrNToUInt16(const char16_t* text, uint64_t length, uint16_t* result) {
  return parseUInt16(counted(text, length), result);
}

int juWStrNToInt32(const char16_t* text, uint64_t length, int32_t* result) {
  return parseInt32(counted(text, length), result);
}

int juWStrNToInt64(const char16_t* text, uint64_t length, int64_t* result) {
  return parseSigned(counted(text, length), 64, result);
}
