// The connection-string code page scanner: takes the application code page
// ("IANAAPPCODEPAGE", "IACP", "APPCODEPAGE", "ACP") and the first data
// source name ("DSN") out of a connection string.
//
// The scan looks at the start of each ";"-separated element only. A value
// that starts with "{" runs to its closing "}" ("}}" stands for "}"), as in
// the library's connect-string parser, so a ";" or a key inside braces is
// never seen by the scan.

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <cstring>
#include <string_view>

#include "julib/codepage.h"
#include "julib/object.h"
#include "checked_sizes.h"
#include "platform/utf16.h"

namespace {

namespace ji = julib::internal;
namespace utf16 = platform::utf16;

using Text = std::u16string_view;

bool isBlank(char16_t c) { return !utf16::isSurrogate(c) && u_isWhitespace(c); }

size_t skipBlanks(Text text, size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

bool startsPair(Text text, size_t pos) {
  return utf16::isHighSurrogate(text[pos]) && pos + 1 < text.size() && utf16::isLowSurrogate(text[pos + 1]);
}

constexpr size_t kNoBrace = SIZE_MAX;

// The "}" that closes the brace at `open` ("}}" stands for one "}" and
// closes nothing), or kNoBrace when the text ends first.
size_t closingBrace(Text text, size_t open) {
  for (size_t pos = open + 1; pos < text.size(); ++pos) {
    if (text[pos] != u'}') continue;
    if (pos + 1 < text.size() && text[pos + 1] == u'}') {
      ++pos;
      continue;
    }
    return pos;
  }
  return kNoBrace;
}

// The start of the element after the one at `pos`: past its key, its value
// (a braced value whole) and the ";" that ends it.
size_t pastElement(Text text, size_t pos) {
  while (pos < text.size() && text[pos] != u'=' && text[pos] != u';') ++pos;
  if (pos < text.size() && text[pos] == u'=') {
    pos = skipBlanks(text, pos + 1);
    if (pos < text.size() && text[pos] == u'{') {
      const size_t close = closingBrace(text, pos);
      pos = close == kNoBrace ? text.size() : close + 1;
    }
  }
  while (pos < text.size() && text[pos] != u';') ++pos;
  return pos < text.size() ? pos + 1 : text.size();
}

enum class KeyMatch { kNone, kFull, kCutOff };

// `key` is in capitals; each unit of the text must be the capital or its
// small letter. Text that ends inside the key is a key cut off.
KeyMatch matchKey(Text text, size_t pos, std::u16string_view key) {
  for (size_t i = 0; i < key.size(); ++i) {
    if (pos + i == text.size()) return KeyMatch::kCutOff;
    const char16_t c = text[pos + i];
    if (c != key[i] && c != key[i] + (u'a' - u'A')) return KeyMatch::kNone;
  }
  return KeyMatch::kFull;
}

struct CodePageValue {
  bool valid;
  bool digits;  // false: no number was given, the value is 0
  int64_t value;
};

constexpr CodePageValue kInvalid = {false, false, 0};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "=" and a decimal number, from the end of a code page key: blanks, "=",
// blanks, optionally "{" and blanks, optionally "-", digits. Without digits
// the value is 0. A braced number needs only blanks before its "}"; inside
// braces a ";" is part of the value. A number beyond 64 bits is invalid.
CodePageValue parseCodePageValue(Text text, size_t pos) {
  pos = skipBlanks(text, pos);
  if (pos >= text.size() || text[pos] != u'=') return kInvalid;
  pos = skipBlanks(text, pos + 1);
  if (pos >= text.size()) return kInvalid;
  const bool braced = text[pos] == u'{';
  if (braced) {
    pos = skipBlanks(text, pos + 1);
    if (pos >= text.size()) return kInvalid;
  }
  const bool negative = text[pos] == u'-';
  if (negative) {
    ++pos;
    if (pos >= text.size()) return kInvalid;
  }
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  const size_t firstDigit = pos;
  for (; pos < text.size() && isDigit(text[pos]); ++pos) {
    const uint64_t digit = text[pos] - u'0';
    if (magnitude > (limit - digit) / 10) return kInvalid;
    magnitude = magnitude * 10 + digit;
  }
  const int64_t value = !negative ? static_cast<int64_t>(magnitude)
                        : magnitude == (uint64_t{1} << 63) ? INT64_MIN
                                                           : -static_cast<int64_t>(magnitude);
  const CodePageValue parsed = {true, pos != firstDigit, value};
  if (pos >= text.size() || utf16::isSurrogate(text[pos])) return parsed;
  if (!braced) return parsed;  // ";" or any other unit ends it
  pos = skipBlanks(text, pos);
  if (pos < text.size() && text[pos] == u'}') return parsed;
  return kInvalid;
}

// A new block of n units and a zero unit after them; null when out of memory.
char16_t* newUnits(size_t n) {
  size_t bytes;
  if (!ji::arraySize(&bytes, n, sizeof(char16_t), sizeof(char16_t))) return nullptr;
  auto* block = static_cast<char16_t*>(juMallocChecked(bytes));
  if (block != nullptr) block[n] = 0;
  return block;
}

char16_t* copyUnits(const char16_t* units, size_t n) {
  char16_t* copy = newUnits(n);
  if (copy != nullptr) std::memcpy(copy, units, n * sizeof(char16_t));
  return copy;
}

struct DsnValue {
  bool present;  // "=" and at least one unit
  char16_t* copy;
  size_t length;  // units of the copy
};

// A braced DSN value without its braces, each "}}" as "}". A brace that is
// never closed leaves the value as it stands, to the end of the text, as the
// connect-string parser keeps it.
DsnValue copyBracedDsn(Text text, size_t open) {
  const size_t close = closingBrace(text, open);
  if (close == kNoBrace) {
    const size_t n = text.size() - open;
    return {true, copyUnits(text.data() + open, n), n};
  }
  const Text inner = text.substr(open + 1, close - open - 1);
  size_t n = 0;
  for (size_t i = 0; i < inner.size(); ++i, ++n) {
    if (inner[i] == u'}') ++i;  // inside, "}" come in pairs
  }
  if (n == 0) return {false, nullptr, 0};
  char16_t* copy = newUnits(n);
  if (copy != nullptr) {
    for (size_t i = 0, j = 0; i < inner.size(); ++i, ++j) {
      copy[j] = inner[i];
      if (inner[i] == u'}') ++i;
    }
  }
  return {true, copy, n};
}

// The value of a "DSN" key, from the end of the key: blanks, "=", blanks,
// then the value to the next ";" (blanks before it kept), or a braced value.
DsnValue captureDsn(Text text, size_t pos) {
  pos = skipBlanks(text, pos);
  if (pos >= text.size() || text[pos] != u'=') return {false, nullptr, 0};
  pos = skipBlanks(text, pos + 1);
  if (pos < text.size() && text[pos] == u'{') return copyBracedDsn(text, pos);
  size_t end = pos;
  while (end < text.size() && text[end] != u';') ++end;
  if (end == pos) return {false, nullptr, 0};
  return {true, copyUnits(text.data() + pos, end - pos), end - pos};
}

struct CodePageKey {
  std::u16string_view name;
  bool iana;  // the value is the id itself, not a legacy number
};

constexpr CodePageKey kCodePageKeys[] = {
    {u"IANAAPPCODEPAGE", true},
    {u"IACP", true},
    {u"APPCODEPAGE", false},
    {u"ACP", false},
};

// `dsn` (null: not wanted) receives the first DSN value, if any.
int64_t scanConnStr(Text text, DsnValue* dsn) {
  bool wantDsn = dsn != nullptr;
  int64_t result = kJuCodePageMiss;
  size_t pos = 0;
  while (pos < text.size()) {
    if (startsPair(text, pos)) {
      pos += 2;
      continue;
    }
    pos = skipBlanks(text, pos);
    if (pos >= text.size()) break;  // blanks or a ";" at the end name no key
    bool matched = false;
    for (const CodePageKey& key : kCodePageKeys) {
      const KeyMatch match = matchKey(text, pos, key.name);
      if (match == KeyMatch::kNone) continue;
      matched = true;
      const CodePageValue value =
          match == KeyMatch::kFull ? parseCodePageValue(text, pos + key.name.size()) : kInvalid;
      if (key.iana) {
        // The id itself: without a number there is none to return (a legacy
        // key's missing number is 0, which names a code page).
        if (value.valid && value.digits) return value.value;
        result = kJuCodePageMiss;
      } else {
        result = value.valid ? juLegacyCodePageToId(value.value) : kJuCodePageMiss;
      }
      break;
    }
    if (!matched && wantDsn) {
      const KeyMatch match = matchKey(text, pos, u"DSN");
      if (match == KeyMatch::kCutOff) return result;
      if (match == KeyMatch::kFull) {
        const DsnValue value = captureDsn(text, pos + 3);
        if (value.present) {
          // The first DSN wins, even when its copy could not be made.
          *dsn = value;
          wantDsn = false;
        }
      }
    }
    pos = pastElement(text, pos);
  }
  return result;
}

// A copy of UTF-16 text in the converter's code page, sized for the
// converter's longest character; null on failure.
char* convertDsn(UConverter* converter, const char16_t* text, size_t n) {
  // As UCNV_GET_MAX_BYTES_FOR_STRING, whose 32-bit arithmetic could wrap.
  const size_t maxChar = static_cast<size_t>(ucnv_getMaxCharSize(converter));
  if (maxChar == 0 || n > SIZE_MAX / maxChar - 11) {
    juReportOutOfMemory();
    return nullptr;
  }
  const size_t capacity = (n + 10) * maxChar;
  auto* copy = static_cast<char*>(juMallocChecked(capacity + 1));
  if (copy == nullptr) return nullptr;
  ucnv_resetFromUnicode(converter);
  UErrorCode status = U_ZERO_ERROR;
  char* target = copy;
  const char16_t* source = text;
  ucnv_fromUnicode(converter, &target, copy + capacity, &source, text + n, nullptr, true, &status);
  if (U_FAILURE(status)) {
    juFree(copy);
    return nullptr;
  }
  *target = 0;
  return copy;
}

}  // namespace

int64_t juGetAppCodePageFromConnStrW(const char16_t* text, int64_t length, char16_t** dsn) {
  if (text == nullptr) return kJuCodePageMiss;
  size_t n;
  if (length == kJuNullTerminated) {
    n = juWStrLen(text);
  } else if (length < 0) {
    return kJuCodePageMiss;
  } else {
    n = static_cast<size_t>(length);
  }
  const bool wantDsn = dsn != nullptr && *dsn == nullptr;
  DsnValue value = {false, nullptr, 0};
  const int64_t result = scanConnStr(Text(text, n), wantDsn ? &value : nullptr);
  if (value.copy != nullptr) *dsn = value.copy;
  return result;
}

int64_t juGetAppCodePageFromConnStr(const char* text, int64_t length, char** dsn) {
  if (text == nullptr) return kJuCodePageMiss;
  size_t n;
  if (length == kJuNullTerminated) {
    n = std::strlen(text);
  } else if (length < 0) {
    return kJuCodePageMiss;
  } else {
    n = static_cast<size_t>(length);
  }
  // ICU's default converter, opened for this call only: the process-wide
  // default is the host's and stays as it is.
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(nullptr, &status);
  if (U_FAILURE(status)) return kJuCodePageMiss;

  // Two units a byte is more than any converter makes of a byte.
  size_t bytes;
  if (!ji::arraySize(&bytes, n, 2 * sizeof(char16_t))) {
    ucnv_close(converter);
    return kJuCodePageMiss;
  }
  const size_t capacity = n == 0 ? 1 : 2 * n;  // its bytes fit: checked above
  auto* wide = static_cast<char16_t*>(juMallocChecked(capacity * sizeof(char16_t)));
  if (wide == nullptr) {
    ucnv_close(converter);
    return kJuCodePageMiss;
  }
  char16_t* target = wide;
  const char* source = text;
  ucnv_toUnicode(converter, &target, wide + capacity, &source, text + n, nullptr, true, &status);
  int64_t result = kJuCodePageMiss;
  if (U_SUCCESS(status)) {
    const bool wantDsn = dsn != nullptr && *dsn == nullptr;
    DsnValue value = {false, nullptr, 0};
    result = scanConnStr(Text(wide, static_cast<size_t>(target - wide)), wantDsn ? &value : nullptr);
    if (value.copy != nullptr) {
      *dsn = convertDsn(converter, value.copy, value.length);
      juFree(value.copy);
    }
  }
  juFree(wide);
  ucnv_close(converter);
  return result;
}
