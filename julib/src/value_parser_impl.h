// The algorithms of JuValueParser and JuValueParserW, written once over a
// traits type for the width. What differs (character stepping, blank tests,
// key names, how a value is made and read back) is in the traits:
//
//   using Parser, Char, View (key view), String (key copy), Value (value
//         string), WipingString, ValueText {const Char* text; size_t length};
//   kNumberKeys        a number token may start a key
//   kWipeBuild         built text is assembled in a wiping buffer
//   kEqualValuesWarn   getEither: two keys with equal values only warn
//   charUnits(p, at)                  units the scanner takes for the character at `at`
//   isBlankAt(text, i, n)             the scanner's blank test, reading below n only
//   newView / newString / viewOf / assignText    keys and strings of the width
//   equalsName(key, KeyName)          ignoring case, as the dictionary compares
//   addKeyParam / addNameParam        message parameters
//   compare(a, na, b, nb)             code-point order
//   makeValue(p, protectionKey, braced, &value)  the stored value of the current token
//   makeAddedValue(p, key, alt, text, n, &value) the stored value of addAttribute
//   valueString(value) / valueLength(value)
//   valueText(p, value, revealKey, plain, &text) the text build writes (revealed)
#ifndef JULIB_SRC_VALUE_PARSER_IMPL_H
#define JULIB_SRC_VALUE_PARSER_IMPL_H

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>

#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/object.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/tokenizer.h"
#include "julib/valueparser.h"
#include "checked_sizes.h"

namespace julib::internal {

// Keys the parser treats specially, by name.
enum class KeyName { kOdbc, kDsn, kDriver };

// Appends a catalogue message to a posted error and restarts its parameter
// numbering, so the appended text's "%s1" is filled next. The static errors
// are left alone.
inline JuError* appendMessage(JuError* error, uint16_t id) {
  if (error->isStatic()) return error;
  char16_t text[kJuMessageUnits] = {};
  juLoadMessage(text, id);
  error->appendText(text);
  error->messageText.paramCounter = 0;
  return error;
}

inline void postCannotBuild() { juPostError(kJuMsgCannotBuildString)->setSqlState("HY000", kJuSqlStateGeneral); }

// The key of the DES fallback when a caller passes none.
inline constexpr uint8_t kZeroKey[8] = {};
inline const uint8_t* keyOrZero(const uint8_t* key) { return key != nullptr ? key : kZeroKey; }

template <typename Traits>
struct ValueParserOps {
  using Parser = typename Traits::Parser;
  using Char = typename Traits::Char;
  using View = typename Traits::View;
  using String = typename Traits::String;
  using Value = typename Traits::Value;
  using Unit = std::make_unsigned_t<Char>;

  static uint32_t unitOf(Char c) { return static_cast<Unit>(c); }

  // ---- Characters as the scanner steps them -------------------------------

  // Units of the character at text[i] as the scanner takes it, cut to n.
  static size_t stepAt(const Parser& p, const Char* text, size_t i, size_t n) {
    size_t units = Traits::charUnits(p, text + i);
    if (units == 0) units = 1;
    return units < n - i ? units : n - i;
  }

  // True when the last character, stepped from the start, needs units past
  // n: whatever followed the text would become part of it.
  static bool endsInsideChar(const Parser& p, const Char* text, size_t n) {
    for (size_t i = 0; i < n;) {
      size_t units = Traits::charUnits(p, text + i);
      if (units == 0) units = 1;
      if (units > n - i) return true;
      i += units;
    }
    return false;
  }

  // A value that starts with "{" is closed when its first lone "}" (at a
  // character start, "}}" being one "}") is its last unit.
  static bool braceClosed(const Parser& p, const Char* text, size_t n) {
    for (size_t i = 1; i < n;) {
      if (text[i] == '}') {
        if (i + 1 < n && text[i + 1] == '}') {
          i += 2;
          continue;
        }
        return i + 1 == n;
      }
      i += stepAt(p, text, i, n);
    }
    return false;
  }

  // ---- Parsing ---------------------------------------------------------------

  static uint32_t separatorType(const Parser& p) { return unitOf(p.separator); }

  static int parse(Parser& p, const uint8_t* protectionKey) {
    p.stringKind = JuValueParser::kNoDataSource;
    const uint32_t separator = separatorType(p);
    for (;;) {
      p.scanner.nextToken(p.token, 0);
      if (p.token.type == kJuTokenEnd) break;
      if (p.token.type != separator && parseAttribute(p, protectionKey) != 0) return 1;
      if (p.token.type != separator) break;
    }
    if (p.token.type == kJuTokenEnd) return p.consumed.reset(p.attributes.count);
    syntaxError(p);
    return 1;
  }

  static JuError* syntaxError(Parser& p) {
    JuError* error = juPostError(p.textName != nullptr ? kJuMsgParseErrorNamed : kJuMsgParseError);
    error->addParam(static_cast<uint64_t>(p.token.position));
    if (p.textName != nullptr) Traits::addNameParam(error, p);
    return error;
  }

  static void discardKey(Parser& p) {
    delete p.currentKey;
    p.currentKey = nullptr;
  }

  static bool startsKey(uint32_t type) {
    return type == kJuTokenWord || (Traits::kNumberKeys && (type == kJuTokenNumber || type == kJuTokenDecimal));
  }

  static int readKey(Parser& p) {
    if (!startsKey(p.token.type)) {
      syntaxError(p);
      return 1;
    }
    const size_t start = p.token.position;
    size_t end = start + p.token.length;
    for (;;) {
      p.scanner.nextToken(p.token, 0);
      if (p.token.type != kJuTokenWord) break;
      end = p.token.position + p.token.length;
    }
    p.currentKey = Traits::newView(p, p.scanner.source + start, end - start);
    if (p.currentKey == nullptr) return 1;
    if (p.allowDuplicates == 0 && p.attributes.find(*p.currentKey) < p.attributes.count &&
        !Traits::equalsName(*p.currentKey, KeyName::kDriver)) {
      JuError* error = appendMessage(syntaxError(p), kJuMsgDuplicateKey);
      Traits::addKeyParam(error, *p.currentKey);
      discardKey(p);
      return 1;
    }
    return 0;
  }

  static int parseAttribute(Parser& p, const uint8_t* protectionKey) {
    if (readKey(p) != 0) return 1;
    if (Traits::equalsName(*p.currentKey, KeyName::kOdbc)) {
      discardKey(p);
      return 0;
    }
    if (p.token.type != '=') {
      if (p.token.length == 0 || p.token.data[0] != '=') {
        syntaxError(p);
        discardKey(p);
        return 1;
      }
      // "==", "=>" and the like: the value starts after the first "=".
      // Moving the position (rather than re-pointing the scanner) keeps
      // offsets counting from the start of the whole text.
      p.scanner.rewindTo(p.token);
      p.scanner.position += 1;
    }
    p.scanner.nextUntil(p.token, p.separator);
    if (p.token.length != 0 && p.token.data[0] == '{' && !braceClosed(p, p.token.data, p.token.length)) {
      syntaxError(p);
      discardKey(p);
      return 1;
    }
    if (p.stringKind == JuValueParser::kNoDataSource) {
      if (Traits::equalsName(*p.currentKey, KeyName::kDsn)) {
        p.stringKind = JuValueParser::kDsnFirst;
      } else if (Traits::equalsName(*p.currentKey, KeyName::kDriver)) {
        p.stringKind = JuValueParser::kDriverFirst;
      }
    }
    const int status = storeValue(p, protectionKey);
    discardKey(p);  // null once stored
    return status;
  }

  // Whether this pair gives way to an earlier one: a repeated key, or the
  // second of "DSN" and "DRIVER".
  static bool ignored(const Parser& p) {
    if (p.attributes.find(*p.currentKey) < p.attributes.count) return true;
    if (p.stringKind == JuValueParser::kDriverFirst) return Traits::equalsName(*p.currentKey, KeyName::kDsn);
    if (p.stringKind == JuValueParser::kDsnFirst) return Traits::equalsName(*p.currentKey, KeyName::kDriver);
    return false;
  }

  static int storeValue(Parser& p, const uint8_t* protectionKey) {
    if (ignored(p)) {
      p.scanner.nextToken(p.token, 0);
      return 0;
    }
    const bool braced = p.token.length != 0 && p.token.data[0] == '{';
    JuObject* value = nullptr;
    if (Traits::makeValue(p, protectionKey, braced, &value) != 0) return 1;
    if (p.attributes.add(p.currentKey, value) != 0) {
      delete value;
      return 1;
    }
    p.currentKey = nullptr;  // the dictionary owns it now
    p.scanner.nextToken(p.token, 0);
    return 0;
  }

  // The text between the braces of a closed braced value, "}}" made "}",
  // into `out` (emptied first). Characters are stepped as the scanner steps
  // them, so a "}" inside a multi-unit character stays as it is.
  static int unbraceInto(const Parser& p, const Char* text, size_t n, String& out) {
    out.length = 0;
    if (out.ensureFree(n) != 0) return 1;
    const size_t end = n - 1;
    Char* w = out.data;
    for (size_t i = 1; i < end;) {
      if (text[i] == '}') {
        *w++ = '}';
        i += (i + 1 < end) ? 2 : 1;
        continue;
      }
      const size_t units = stepAt(p, text, i, end);
      for (size_t k = 0; k < units; ++k) *w++ = text[i + k];
      i += units;
    }
    out.length = static_cast<size_t>(w - out.data);
    out.data[out.length] = 0;
    return 0;
  }

  // ---- Reading ---------------------------------------------------------------

  // Marks attribute index consumed, growing the marks to the attributes when
  // they were added after the parse (a failed growth leaves it unmarked,
  // out of memory recorded).
  static void markConsumed(Parser& p, uint64_t index) {
    if (index >= p.consumed.count && p.consumed.resize(p.attributes.count) != 0) return;
    p.consumed.set(index);
  }

  static Value* get(Parser& p, const View& key) {
    const uint64_t index = p.attributes.find(key);
    if (index >= p.attributes.count) return nullptr;
    markConsumed(p, index);
    return Traits::valueString(p.attributes.valueAt(index));
  }

  static uint64_t find(const Parser& p, const Char* key) {
    if (key == nullptr) return p.attributes.count;
    return p.attributes.find(Traits::viewOf(p, key, textLength(key)));
  }

  static size_t textLength(const Char* text) { return std::char_traits<Char>::length(text); }

  // Posts the two-keyword error for key and alternative; the posted error.
  static JuError* postTwoKeywords(Parser& p, const Char* key, const Char* alternative) {
    JuError* error = appendMessage(syntaxError(p), kJuMsgTwoKeywords);
    Traits::addKeyParam(error, Traits::viewOf(p, key, textLength(key)));
    Traits::addKeyParam(error, Traits::viewOf(p, alternative, textLength(alternative)));
    return error;
  }

  static int getEither(Parser& p, const Char* key, const Char* alternative, Value** out) {
    *out = nullptr;
    const uint64_t index = find(p, key);
    if (index >= p.attributes.count) {
      if (alternative != nullptr) *out = get(p, Traits::viewOf(p, alternative, textLength(alternative)));
      return 0;
    }
    markConsumed(p, index);
    Value* value = Traits::valueString(p.attributes.valueAt(index));
    const uint64_t other = find(p, alternative);
    if (other >= p.attributes.count) {
      *out = value;
      return 0;
    }
    markConsumed(p, other);
    JuError* error = postTwoKeywords(p, key, alternative);
    if (Traits::kEqualValuesWarn && sameText(value, Traits::valueString(p.attributes.valueAt(other)))) {
      error->makeWarning();
      *out = value;
      return 0;
    }
    return 1;
  }

  // Code-point order equality; a missing value counts as empty.
  static bool sameText(const Value* a, const Value* b) {
    const size_t na = a != nullptr ? a->length : 0;
    const size_t nb = b != nullptr ? b->length : 0;
    if (na == 0 || nb == 0) return na == nb;
    return Traits::compare(a->data, na, b->data, nb) == 0;
  }

  static View* nextUnconsumed(Parser& p) {
    uint64_t i = p.cursor;
    while (i < p.attributes.count && p.consumed.test(i) != 0) ++i;
    // The cursor is 16 bits: past its range there is no way on.
    if (i >= p.attributes.count || i >= UINT16_MAX) return nullptr;
    p.cursor = static_cast<uint16_t>(i + 1);
    return p.attributes.keyAt(i);
  }

  static uint16_t countUnconsumed(const Parser& p) {
    uint64_t n = 0;
    for (uint64_t i = p.attributes.count; i > 0; --i) {
      if (p.consumed.test(i - 1) == 0) ++n;
    }
    return n > UINT16_MAX ? UINT16_MAX : static_cast<uint16_t>(n);
  }

  static int resetConsumed(Parser& p) {
    p.cursor = 0;
    return p.consumed.reset(p.attributes.count);
  }

  // ---- Changing -----------------------------------------------------------------

  // The index of the key, else of the alternative key, else count.
  static uint64_t findEither(const Parser& p, const View& key, const View* alternative) {
    uint64_t index = p.attributes.find(key);
    if (index >= p.attributes.count && alternative != nullptr) index = p.attributes.find(*alternative);
    return index;
  }

  // Stores `value` (owned) under the key or the alternative key when one is
  // present, else appends it under a copy of the key. On failure the value
  // is deleted and 1 returned.
  static int replaceOrAppend(Parser& p, const View& key, const View* alternative, JuObject* value) {
    const uint64_t index = findEither(p, key, alternative);
    if (index < p.attributes.count) {
      p.attributes.entryAt(index)->setPtrValue(value, 1);
      return 0;
    }
    String* copy = Traits::newString(p);
    if (copy == nullptr || Traits::assignText(p, *copy, key.data, key.length) != 0) {
      delete copy;
      delete value;
      return 1;
    }
    if (p.attributes.add(copy, value) != 0) {
      delete copy;
      delete value;
      return 1;
    }
    return 0;
  }

  static int addAttribute(Parser& p, const Char* key, size_t keyLength, const Char* value, size_t valueLength,
                          const Char* alternative, size_t alternativeLength) {
    const View keyView = Traits::viewOf(p, key, keyLength);
    const View alternativeView = Traits::viewOf(p, alternative, alternativeLength);
    const View* alt = alternative != nullptr ? &alternativeView : nullptr;
    JuObject* made = nullptr;
    if (Traits::makeAddedValue(p, keyView, alt, value, valueLength, &made) != 0) return 1;
    return replaceOrAppend(p, keyView, alt, made);
  }

  // A copy of the value; quoted with "'" when it holds "'", a double quote
  // or the separator.
  static int copyQuoted(const Parser& p, String& out, const Char* value, size_t n) {
    if (Traits::assignText(p, out, value, n) != 0) return 1;
    for (size_t i = 0; i < out.length; ++i) {
      const Char c = out.data[i];
      if (c == '\'' || c == '"' || c == p.separator) return out.quote('\'');
    }
    return 0;
  }

  static void remove(Parser& p, const Char* key) {
    const uint64_t index = find(p, key);
    if (index >= p.attributes.count) return;
    p.attributes.removeAt(index);
    // The marks move with the attributes, so each keeps its own.
    p.consumed.removeAt(index);
    if (p.cursor > index) --p.cursor;
  }

  // ---- Building -----------------------------------------------------------------

  static bool isQuoteChar(const Parser& p, Char c) {
    const uint32_t u = unitOf(c);
    if (u == '\'' || u == '"' || u == '`') return true;
    return u == p.scanner.quoteChars[0] || u == p.scanner.quoteChars[1] || u == p.scanner.quoteChars[2];
  }

  // Whether the value must be braced to come back unchanged from a parse:
  // a leading "{" would be read as braces, the separator (or ";") and the
  // quote characters as the end of the value or the start of a quoted run,
  // and blanks at the edges would be trimmed.
  static bool needsBraces(const Parser& p, const Char* text, size_t n, Char separator) {
    if (n == 0) return false;
    if (text[0] == '{') return true;
    for (size_t i = 0; i < n; ++i) {
      if (text[i] == separator || text[i] == ';' || isQuoteChar(p, text[i])) return true;
    }
    return Traits::isBlankAt(text, 0, n) || Traits::isBlankAt(text, lastCharStart(p, text, n), n);
  }

  // Start of the last character, stepping forward as the scanner does when
  // it trims a value.
  static size_t lastCharStart(const Parser& p, const Char* text, size_t n) {
    size_t last = 0;
    for (size_t i = 0; i < n; i += stepAt(p, text, i, n)) last = i;
    return last;
  }

  // "}" at character starts, each of which is doubled inside braces.
  static size_t closingBraces(const Parser& p, const Char* text, size_t n) {
    size_t count = 0;
    for (size_t i = 0; i < n; i += stepAt(p, text, i, n)) {
      if (text[i] == '}') ++count;
    }
    return count;
  }

  static Char* writeUnits(Char* w, const Char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) *w++ = text[i];
    return w;
  }

  static Char* writeBraced(const Parser& p, Char* w, const Char* text, size_t n) {
    *w++ = '{';
    for (size_t i = 0; i < n;) {
      const size_t units = stepAt(p, text, i, n);
      if (text[i] == '}') *w++ = '}';
      w = writeUnits(w, text + i, units);
      i += units;
    }
    *w++ = '}';
    return w;
  }

  // Appends the pairs to `target`, making exactly the room each needs.
  template <typename Target>
  static int appendPairs(Parser& p, Target& target, Char separator, const uint8_t* revealKey, bool plain) {
    const uint64_t count = p.attributes.count;
    for (uint64_t i = 0; i < count; ++i) {
      const View* key = p.attributes.keyAt(i);
      typename Traits::ValueText value;
      if (Traits::valueText(p, p.attributes.valueAt(i), revealKey, plain, &value) != 0) return 1;
      const Char* text = value.text;
      const size_t n = value.length;
      const bool braces = needsBraces(p, text, n, separator);
      if (endsInsideChar(p, text, n) && (braces || i + 1 < count)) {
        postCannotBuild();
        return 1;
      }
      size_t room;
      if (!sizeSum(&room, key->length, 1, n, i != 0 ? 1 : 0) ||
          (braces && !sizeSum(&room, room, 2, closingBraces(p, text, n)))) {
        return 1;
      }
      if (target.ensureFree(room) != 0) return 1;
      Char* w = target.data + target.length;
      if (i != 0) *w++ = separator;
      w = writeUnits(w, key->data, key->length);
      *w++ = '=';
      w = braces ? writeBraced(p, w, text, n) : writeUnits(w, text, n);
      target.length = static_cast<size_t>(w - target.data);
    }
    if (target.data != nullptr) target.data[target.length] = 0;
    return 0;
  }

  // The most units the pairs can take (every value braced, every "}"
  // doubled) and a terminator.
  static bool buildBound(const Parser& p, size_t* bound) {
    *bound = 1;
    for (uint64_t i = 0; i < p.attributes.count; ++i) {
      const size_t n = Traits::valueLength(p.attributes.valueAt(i));
      size_t braced;
      size_t pair;
      if (!arraySize(&braced, n, 2) || !sizeSum(&pair, p.attributes.keyAt(i)->length, 4, braced) ||
          !sizeSum(bound, *bound, pair)) {
        return false;
      }
    }
    return true;
  }

  // A failed build leaves out empty rather than holding part of the text.
  template <typename Out>
  static int build(Parser& p, Out& out, Char separator, const uint8_t* revealKey, bool plain) {
    out.length = 0;
    if (out.data != nullptr && out.capacity != 0) out.data[0] = 0;
    if (p.attributes.count == 0) return 0;
    if constexpr (!Traits::kWipeBuild) {
      if (appendPairs(p, out, separator, revealKey, plain) == 0) return 0;
      out.length = 0;
      if (out.data != nullptr && out.capacity != 0) out.data[0] = 0;
      return 1;
    } else {
      // Assembled where every release wipes, then copied once into out's
      // room, so no grown-out buffer of out is left holding a secret.
      typename Traits::WipingString built;
      size_t bound;
      if (!buildBound(p, &bound) || built.reserve(bound) != 0) return 1;
      if (appendPairs(p, built, separator, revealKey, plain) != 0) return 1;
      if (out.ensureFree(built.length) != 0) return 1;
      writeUnits(out.data, built.data, built.length);
      out.length = built.length;
      out.data[out.length] = 0;
      return 0;
    }
  }

  // ---- Scanner settings -----------------------------------------------------------

  static void setQuoteChars(Parser& p, uint16_t q1, uint16_t q2, uint16_t q3) {
    p.scanner.quoteChars[0] = q1;
    p.scanner.quoteChars[1] = q2;
    p.scanner.quoteChars[2] = q3;
  }

  static int addWordChars(Parser& p, const Char* chars) {
    if (chars == nullptr) return 0;
    return p.scanner.wordStartChars.append(chars) != 0 || p.scanner.wordChars.append(chars) != 0 ? 1 : 0;
  }

  static int clearWordChars(Parser& p) {
    p.scanner.wordStartChars.release();
    p.scanner.wordChars.release();
    return 0;
  }
};

}  // namespace julib::internal

#endif  // JULIB_SRC_VALUE_PARSER_IMPL_H
