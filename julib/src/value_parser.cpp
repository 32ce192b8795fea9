// JuValueParser: narrow attribute strings in the text's code-page kind.

#include <cctype>
#include <new>

#include "julib/codepage.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/valueparser.h"
#include "cstring_internal.h"
#include "value_parser_impl.h"

namespace ji = julib::internal;

namespace {

struct NarrowTraits {
  using Parser = JuValueParser;
  using Char = char;
  using View = JuSubString;
  using String = JuString;
  using Value = JuString;
  using WipingString = JuStringEx;
  struct ValueText {
    const char* text = nullptr;
    size_t length = 0;
  };

  static constexpr bool kNumberKeys = true;
  static constexpr bool kWipeBuild = false;
  static constexpr bool kEqualValuesWarn = false;

  static size_t charUnits(const Parser& p, const char* at) { return juCharLen(at, p.kind); }

  // isspace, or the double-byte ideographic space (juStrIsBlank), without
  // reading at or past n.
  static bool isBlankAt(const char* text, size_t i, size_t n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c) != 0) return true;
    return c == 0x81 && i + 1 < n && text[i + 1] == 0x40 && juIsLeadByte(text + i) != 0;
  }


  static View* newView(const Parser& p, const char* text, size_t n) {
    return new (std::nothrow) JuSubString(text, n, p.kind);
  }
  static String* newString(const Parser& p) { return new (std::nothrow) JuString(p.kind); }
  static View viewOf(const Parser& p, const char* text, size_t n) { return JuSubString(text, n, p.kind); }
  static int assignText(const Parser& p, String& s, const char* text, size_t n) {
    return s.assign(text != nullptr ? text : "", n, p.kind);
  }

  static bool equalsName(const View& key, ji::KeyName name) {
    static const char* const kNames[] = {"ODBC", "DSN", "DRIVER"};
    const char* text = kNames[static_cast<int>(name)];
    return juStrNIEqual(key.data, key.length, text, juStrLen(text)) != 0;
  }

  static void addKeyParam(JuError* error, const View& key) { error->addParam(key); }
  static void addNameParam(JuError* error, const Parser& p) {
    error->addParam(JuSubString(p.textName, ji::terminatedBytes(p.textName, p.kind), p.kind));
  }

  static int16_t compare(const char* a, size_t na, const char* b, size_t nb) { return juStrNCompare(a, na, b, nb); }

  static int makeValue(Parser& p, const uint8_t*, bool braced, JuObject** out) {
    JuString* value = newString(p);
    if (value == nullptr) return 1;
    const int status = braced ? ji::ValueParserOps<NarrowTraits>::unbraceInto(p, p.token.data, p.token.length, *value)
                              : assignText(p, *value, p.token.data, p.token.length);
    if (status != 0) {
      delete value;
      return 1;
    }
    *out = value;
    return 0;
  }

  static int makeAddedValue(Parser& p, const View&, const View*, const char* text, size_t n, JuObject** out) {
    JuString* value = newString(p);
    if (value == nullptr) return 1;
    if (ji::ValueParserOps<NarrowTraits>::copyQuoted(p, *value, text, n) != 0) {
      delete value;
      return 1;
    }
    *out = value;
    return 0;
  }

  static Value* valueString(JuObject* value) { return static_cast<JuString*>(value); }
  static size_t valueLength(JuObject* value) { return value != nullptr ? valueString(value)->length : 0; }

  static int valueText(const Parser&, JuObject* value, const uint8_t*, bool, ValueText* out) {
    if (const JuString* s = valueString(value)) {
      out->text = s->data;
      out->length = s->length;
    }
    return 0;
  }
};

using Ops = ji::ValueParserOps<NarrowTraits>;

}  // namespace

JuValueParser::JuValueParser(const JuSubString& text, char separator, const char* textName,
                             uint32_t allowDuplicates)
    : scanner(text),
      separator(separator),
      textName(textName),
      token(text.kind),
      kind(text.kind),
      allowDuplicates(allowDuplicates) {
  scanner.braceValueMode = 1;
  attributes.mode = 1;
}

JuValueParser::~JuValueParser() {
  attributes.removeAll();
  delete currentKey;
}

int JuValueParser::parse() { return Ops::parse(*this, nullptr); }
int JuValueParser::readKey() { return Ops::readKey(*this); }
int JuValueParser::parseAttribute() { return Ops::parseAttribute(*this, nullptr); }
int JuValueParser::storeValue() { return Ops::storeValue(*this, nullptr); }
JuError* JuValueParser::syntaxError() { return Ops::syntaxError(*this); }

JuString* JuValueParser::get(const JuSubString& key) { return Ops::get(*this, key); }

JuString* JuValueParser::get(const char* key) {
  if (key == nullptr) return nullptr;
  return Ops::get(*this, JuSubString(key, juStrLen(key), kind));
}

int JuValueParser::getEither(const char* key, const char* alternative, JuString** out) {
  return Ops::getEither(*this, key, alternative, out);
}

int JuValueParser::contains(const char* key) const { return Ops::find(*this, key) < attributes.count ? 1 : 0; }

JuSubString* JuValueParser::keyAt(uint64_t index) const { return attributes.keyAt(index); }
JuSubString* JuValueParser::nextUnconsumed() { return Ops::nextUnconsumed(*this); }
uint16_t JuValueParser::countUnconsumed() const { return Ops::countUnconsumed(*this); }
int JuValueParser::resetConsumed() { return Ops::resetConsumed(*this); }

int JuValueParser::addAttribute(const char* key, size_t keyLength, const char* value, size_t valueLength,
                                const char* alternative, size_t alternativeLength) {
  return Ops::addAttribute(*this, key, keyLength, value, valueLength, alternative, alternativeLength);
}

int JuValueParser::addAttribute(const char* key, const char* value, const char* alternative) {
  return addAttribute(key, key != nullptr ? juStrLen(key) : 0, value, value != nullptr ? juStrLen(value) : 0,
                      alternative, alternative != nullptr ? juStrLen(alternative) : 0);
}

void JuValueParser::remove(const char* key) { Ops::remove(*this, key); }

int JuValueParser::build(JuString& out, char separatorChar) {
  return Ops::build(*this, out, separatorChar, nullptr, false);
}

void JuValueParser::setQuoteChars(uint16_t quote1, uint16_t quote2, uint16_t quote3) {
  Ops::setQuoteChars(*this, quote1, quote2, quote3);
}

int JuValueParser::addWordChars(const char* chars) { return Ops::addWordChars(*this, chars); }
int JuValueParser::clearWordChars() { return Ops::clearWordChars(*this); }
