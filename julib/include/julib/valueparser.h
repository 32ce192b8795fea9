// Attribute strings (ODBC connect strings, the trace sinks' options): the
// parsers JuValueParser (narrow text of one code-page kind) and
// JuValueParserW (UTF-16), the UTF-16 attribute value AttributeObject, and
// the consumed marks JuBitArray.
//
// Syntax: key=value pairs joined by a separator character (one of the
// scanner's one-character operators, such as ";" or ","). Empty pairs are
// skipped. A key is one or more words (blanks between words are part of it;
// the narrow parser also takes a number as its first piece) and is compared
// ignoring case. A value runs to the next separator outside quotes, blanks
// trimmed, quotes kept. A value that starts with "{" runs to its closing "}"
// ("}}" stands for one "}") and is stored without the braces; an unclosed
// brace is a syntax error. The bare key "ODBC" is dropped; the first value
// of a key wins; only the first of "DSN" and "DRIVER" is kept.
//
// Parsed keys are views into the text: the text must outlive the parser.
// Failures return 1 and post the reason on the thread's error list:
//   2704 "Error parsing connect string at offset %d1. " (no text name)
//   2705 "Error parsing %s2 at offset %d1." (with a text name)
//   2706 " Attribute '%s1' specified more than once." (appended)
//   2707 " Attribute specified twice using keywords '%s1' and '%s2'." (appended)
//   2807 "Unable to build string." (SQLSTATE "HY000")
//   2808 "Get attribute error." (SQLSTATE "HY000")
// and out of memory. Offsets count units of the whole text.
#ifndef JULIB_VALUEPARSER_H
#define JULIB_VALUEPARSER_H

#include <cstddef>
#include <cstdint>

#include "julib/containers.h"
#include "julib/crypto.h"
#include "julib/object.h"
#include "julib/strings.h"
#include "julib/tokenizer.h"

class JuError;

namespace julib::internal {
template <typename Traits>
struct ValueParserOps;
}  // namespace julib::internal

// ---------------------------------------------------------------------------
// JuBitArray: a counted array of bits; bit i is bit (i & 7) of byte i >> 3.
// ---------------------------------------------------------------------------

class JuBitArray : public JuObject {
 public:
  JuBitArray() = default;
  JuBitArray(const JuBitArray&) = delete;
  JuBitArray& operator=(const JuBitArray&) = delete;
  ~JuBitArray() override;

  // n zero bits in place of the old ones. 0, or 1 on allocation failure
  // (the array is then empty).
  //   reset(10) -> count 10, every bit clear
  [[nodiscard]] int reset(size_t n);
  // Keeps the first min(count, n) bits and clears the rest; count = n.
  // 0, or 1 on allocation failure (the old bits stay).
  //   {1,0,1}.resize(5) -> {1,0,1,0,0}
  [[nodiscard]] int resize(size_t n);

  // Bit i; 0 at or beyond count.
  int test(size_t i) const;
  // Sets bit i; nothing at or beyond count.
  void set(size_t i);
  // Drops bit i and moves the later bits down by one; nothing at or beyond
  // count.   {1,0,1}.removeAt(0) -> {0,1}
  void removeAt(size_t i);

  uint8_t* bits = nullptr;
  size_t count = 0;
};

// ---------------------------------------------------------------------------
// JuValueParser: narrow attribute strings.
// ---------------------------------------------------------------------------

class JuValueParser : public JuObject {
 public:
  // The data-source kinds of stringKind.
  static constexpr uint32_t kNoDataSource = 1;
  static constexpr uint32_t kDsnFirst = 2;
  static constexpr uint32_t kDriverFirst = 3;

  // A parser over `text` (not copied; the view's code-page kind), with
  // `separator`, a NUL-terminated name for messages (or null; not copied)
  // and whether a key may repeat (non-zero: later values are ignored).
  //   JuValueParser parser(JuSubString("DSN=abc;UID=me"), ';', nullptr, 0);
  JuValueParser(const JuSubString& text, char separator, const char* textName, uint32_t allowDuplicates);
  JuValueParser(const JuValueParser&) = delete;
  JuValueParser& operator=(const JuValueParser&) = delete;
  // Deletes every attribute, key and value.
  ~JuValueParser() override;

  // Parses the whole text. 0, or 1 on a syntax error (2704 / 2705 at the
  // offending token) or allocation failure; the attributes read before a
  // failure stay.   "DSN=abc;UID=me" -> 0, {DSN: abc, UID: me}
  [[nodiscard]] int parse();

  // The value of a key (ignoring case), or null; marks it consumed.
  //   get("dsn") -> "abc"
  JuString* get(const JuSubString& key);
  JuString* get(const char* key);  // NUL-terminated, the parser's kind
  // The value of whichever of the two keys is present (key first) in *out,
  // or null; 0. Both present: 2704 / 2705 with 2707 appended, 1.
  //   {UID: me}.getEither("USER", "UID", &v) -> 0, v "me"
  [[nodiscard]] int getEither(const char* key, const char* alternative, JuString** out);
  // 1 when the key is present, else 0; marks nothing.
  int contains(const char* key) const;
  // The key at `index`, or null at or beyond the count.
  JuSubString* keyAt(uint64_t index) const;
  // The next key not marked consumed, from the cursor on (null at the end
  // and from index 65535 on, where the cursor cannot move).
  //   {A, B, C}, get("A") -> B, C, null
  JuSubString* nextUnconsumed();
  // Attributes not marked consumed (65535 at most).
  uint16_t countUnconsumed() const;
  // Clears every mark (one per attribute) and the cursor. 0, or 1.
  [[nodiscard]] int resetConsumed();

  // Replaces the value of the key (or, when absent, of the alternative key)
  // or appends the pair. A value holding "'", a double quote or the
  // separator is stored quoted with "'". Lengths in bytes; alternative may
  // be null. 0, or 1.
  //   addAttribute("PWD", 3, "a;b", 3, nullptr, 0) -> PWD = 'a;b'
  [[nodiscard]] int addAttribute(const char* key, size_t keyLength, const char* value, size_t valueLength,
                                 const char* alternative, size_t alternativeLength);
  [[nodiscard]] int addAttribute(const char* key, const char* value, const char* alternative);  // NUL-terminated
  // Removes the attribute when present; its consumed mark goes with it.
  void remove(const char* key);

  // The attributes as key=value pairs joined by `separator`, in order. A
  // value is braced ("}" doubled inside) when it is not empty and starts
  // with "{", holds the separator, ";" or a quote character, or has a blank
  // at either edge, so that parsing the result gives the same attributes.
  // 0; 1 (out left empty) when out cannot grow, or 2807 for a value that
  // ends inside a character (which would swallow what follows it) unless it
  // is the unbraced last value.   {A: x;y, B: {z}} -> "A={x;y};B={{z}}}"
  [[nodiscard]] int build(JuString& out, char separator);

  // Scanner settings, used before parse.
  void setQuoteChars(uint16_t quote1, uint16_t quote2, uint16_t quote3);
  // Characters that may start and continue keys. 0, or 1.
  //   addWordChars("-") then "my-key=1" -> key "my-key"
  [[nodiscard]] int addWordChars(const char* chars);
  [[nodiscard]] int clearWordChars();

  JuScanner scanner;
  char separator;
  const char* textName;
  JuSeqDictionary attributes;  // ignoring case; keys JuSubString, values JuString
  JuToken token;
  JuSubString* currentKey = nullptr;
  JuCodePageKind kind;
  JuBitArray consumed;
  uint16_t cursor = 0;
  uint32_t allowDuplicates;
  uint32_t stringKind = kNoDataSource;

 private:
  template <typename>
  friend struct julib::internal::ValueParserOps;

  int readKey();
  int parseAttribute();
  int storeValue();
  // Posts 2704 / 2705 for the current token; the posted error.
  JuError* syntaxError();
};

// ---------------------------------------------------------------------------
// JuValueParserW: UTF-16 attribute strings. Values of sensitive keys are held
// only as JuProtectedValue objects.
// ---------------------------------------------------------------------------

// Given a key, non-zero when its value must be protected.
using JuSensitiveKeyTest = int (*)(const JuSubStringW& key);

// The value of one UTF-16 attribute: exactly one of the two is set.
class AttributeObject : public JuObject {
 public:
  AttributeObject() = default;
  AttributeObject(const AttributeObject&) = delete;
  AttributeObject& operator=(const AttributeObject&) = delete;
  // Deletes the string; wipes and frees the protected value.
  ~AttributeObject() override;

  JuStringW* value = nullptr;
  JuProtectedValue* protectedValue = nullptr;
};

class JuValueParserW : public JuObject {
 public:
  static constexpr uint32_t kNoDataSource = JuValueParser::kNoDataSource;
  static constexpr uint32_t kDsnFirst = JuValueParser::kDsnFirst;
  static constexpr uint32_t kDriverFirst = JuValueParser::kDriverFirst;

  //   JuValueParserW parser(JuSubStringW(u"DSN=abc;PWD=pw"), u';', nullptr, 0);
  JuValueParserW(const JuSubStringW& text, char16_t separator, const char16_t* textName,
                 uint32_t allowDuplicates);
  JuValueParserW(const JuValueParserW&) = delete;
  JuValueParserW& operator=(const JuValueParserW&) = delete;
  ~JuValueParserW() override;

  // As the narrow parse. The values of sensitive keys ("PWD", "PASSWORD",
  // "UID", "LOGONID", "CWPWD", "CREDENTIALSWALLETPASSWORD", "USER" in any
  // case, and those `test` accepts) are protected with the 8-byte
  // protectionKey (null: eight zero bytes); the test stays with the parser.
  //   "DSN=abc;PWD=pw" -> 0, {DSN: abc, PWD: <protected>}
  [[nodiscard]] int parse(const uint8_t* protectionKey, JuSensitiveKeyTest test);

  // The value string, or null (absent, or protected); marks consumed.
  JuStringW* get(const JuSubStringW& key);
  JuStringW* get(const char16_t* key);
  // As the narrow getEither; when both keys are present with equal values
  // the error becomes a warning, *out is the key's value and 0 returned.
  [[nodiscard]] int getEither(const char16_t* key, const char16_t* alternative, JuStringW** out);
  // Absent: 0 with *found 0. Present: marks it consumed; a protected value
  // is copied into *out (0 with *found 1, or copy's failure); a plain one
  // posts 2808 and returns 1.
  //   getProtected(u"pwd", &found, &pv) -> 0, found 1
  [[nodiscard]] int getProtected(const JuSubStringW& key, int* found, JuProtectedValue* out);
  // getProtected of whichever key is present; both present: 2704 / 2705
  // with 2707 appended, 1 (the values are not compared).
  [[nodiscard]] int getProtectedEither(const char16_t* key, const char16_t* alternative, int* found,
                                       JuProtectedValue* out);
  int contains(const char16_t* key) const;
  // Index of the attribute, or UINT64_MAX when absent; marks nothing.
  uint64_t indexOf(const char16_t* key, size_t length) const;
  JuSubStringW* keyAt(uint64_t index) const;
  JuSubStringW* nextUnconsumed();
  uint16_t countUnconsumed() const;
  [[nodiscard]] int resetConsumed();

  // As the narrow addAttribute (lengths in units). A sensitive key's value
  // is held in a wiping string: plain text has no protection key here; use
  // addProtectedAttribute to hold it protected.
  [[nodiscard]] int addAttribute(const char16_t* key, size_t keyLength, const char16_t* value, size_t valueLength,
                                 const char16_t* alternative, size_t alternativeLength);
  [[nodiscard]] int addAttribute(const char16_t* key, const char16_t* value, const char16_t* alternative);
  // A copy of `source` (never released here) as the value of the key (or
  // the alternative key), replacing or appending. 0, or 1.
  [[nodiscard]] int addProtectedAttribute(const char16_t* key, const JuProtectedValue& source,
                                          const char16_t* alternative);
  void remove(const char16_t* key);

  // As the narrow build; protected values are revealed with protectionKey
  // (null: eight zero bytes) one at a time and wiped after use (2807 when
  // one cannot be revealed). The text is assembled in a wiping buffer, so
  // out's buffer is the only other place it lies; pass a JuStringWEx to
  // have that wiped as well.   {A: {z}} -> "A={{z}}}"
  [[nodiscard]] int build(JuStringW& out, const uint8_t* protectionKey, char16_t separator);
  // As build, but a protected value stops it with 2807 and 1.
  [[nodiscard]] int buildPlain(JuStringW& out, char16_t separator);

  void setQuoteChars(uint16_t quote1, uint16_t quote2, uint16_t quote3);
  [[nodiscard]] int addWordChars(const char16_t* chars);
  [[nodiscard]] int clearWordChars();

  JuScannerW scanner;
  char16_t separator;
  const char16_t* textName;
  JuSeqDictionaryW attributes;  // ignoring case; keys JuSubStringW, values AttributeObject
  JuTokenW token;
  JuSubStringW* currentKey = nullptr;
  JuCodePageKind kind = JuCodePageKind::kUtf16;
  JuBitArray consumed;
  uint16_t cursor = 0;
  uint32_t allowDuplicates;
  uint32_t stringKind = kNoDataSource;
  JuSensitiveKeyTest sensitiveKeyTest = nullptr;

 private:
  template <typename>
  friend struct julib::internal::ValueParserOps;

  int readKey();
  int parseAttribute(const uint8_t* protectionKey);
  int storeValue(const uint8_t* protectionKey);
  JuError* syntaxError();
};

#endif  // JULIB_VALUEPARSER_H
