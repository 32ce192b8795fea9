// JuValueParserW: UTF-16 attribute strings; the values of sensitive keys are
// held only in protected form.

#include <new>

#include "julib/codepage.h"
#include "julib/crypto.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "julib/valueparser.h"
#include "platform/utf16.h"
#include "value_parser_impl.h"

namespace ji = julib::internal;
using platform::utf16::isHighSurrogate;

namespace {

// Keys whose values are protected whatever the parser's own test says.
const char16_t* const kSensitiveNames[] = {
    u"PWD", u"PASSWORD", u"UID", u"LOGONID", u"CWPWD", u"CREDENTIALSWALLETPASSWORD", u"USER",
};

bool isSensitive(const JuValueParserW& p, const JuSubStringW& key) {
  if (key.length != 0) {
    switch (key.data[0]) {
      case u'P': case u'p': case u'L': case u'l': case u'C': case u'c': case u'U': case u'u':
        for (const char16_t* name : kSensitiveNames) {
          if (juWStrNIEqual(key.data, key.length, name, juWStrLen(name)) != 0) return true;
        }
        break;
      default:
        break;
    }
  }
  return p.sensitiveKeyTest != nullptr && p.sensitiveKeyTest(key) != 0;
}

struct WideTraits {
  using Parser = JuValueParserW;
  using Char = char16_t;
  using View = JuSubStringW;
  using String = JuStringW;
  using Value = JuStringW;
  using WipingString = JuStringWEx;
  // A protected value is revealed into `revealed` for as long as the pair
  // is written; its destructor wipes it.
  struct ValueText {
    const char16_t* text = nullptr;
    size_t length = 0;
    JuProtectedValue revealed;
  };

  static constexpr bool kNumberKeys = false;
  static constexpr bool kWipeBuild = true;
  static constexpr bool kEqualValuesWarn = true;

  static size_t charUnits(const Parser&, const char16_t* at) { return isHighSurrogate(at[0]) ? 2 : 1; }

  // u_isWhitespace of the character at i (a pair joined only below n).
  static bool isBlankAt(const char16_t* text, size_t i, size_t n) {
    const char16_t units[3] = {text[i], isHighSurrogate(text[i]) && i + 1 < n ? text[i + 1] : u'\0', u'\0'};
    return juWStrIsWhitespace(units) != 0;
  }


  static View* newView(const Parser&, const char16_t* text, size_t n) {
    return new (std::nothrow) JuSubStringW(text, n);
  }
  static String* newString(const Parser&) { return new (std::nothrow) JuStringW(); }
  static View viewOf(const Parser&, const char16_t* text, size_t n) { return JuSubStringW(text, n); }
  static int assignText(const Parser&, String& s, const char16_t* text, size_t n) {
    return s.assign(text != nullptr ? text : u"", n);
  }

  static bool equalsName(const View& key, ji::KeyName name) {
    static const char16_t* const kNames[] = {u"ODBC", u"DSN", u"DRIVER"};
    const char16_t* text = kNames[static_cast<int>(name)];
    return juWStrNIEqual(key.data, key.length, text, juWStrLen(text)) != 0;
  }

  static void addKeyParam(JuError* error, const View& key) { error->addParam(key); }
  static void addNameParam(JuError* error, const Parser& p) { error->addParam(p.textName); }

  static int16_t compare(const char16_t* a, size_t na, const char16_t* b, size_t nb) {
    return juWStrNCompare(a, na, b, nb);
  }

  // A sensitive value goes straight from the token (or a wiping unbraced
  // copy) into a protected value; any other into a string.
  static int makeValue(Parser& p, const uint8_t* protectionKey, bool braced, JuObject** out) {
    const bool sensitive = isSensitive(p, *p.currentKey);
    const char16_t* text = p.token.data;
    size_t n = p.token.length;
    JuStringW* unbraced = nullptr;
    if (braced) {
      unbraced = sensitive ? new (std::nothrow) JuStringWEx() : new (std::nothrow) JuStringW();
      if (unbraced == nullptr || ji::ValueParserOps<WideTraits>::unbraceInto(p, text, n, *unbraced) != 0) {
        delete unbraced;
        return 1;
      }
      text = unbraced->data;
      n = unbraced->length;
    }
    AttributeObject* attribute = new (std::nothrow) AttributeObject();
    if (attribute == nullptr) {
      delete unbraced;
      return 1;
    }
    int status = 0;
    if (sensitive) {
      attribute->protectedValue = new (std::nothrow) JuProtectedValue();
      status = attribute->protectedValue == nullptr ||
               attribute->protectedValue->protect(text, static_cast<int64_t>(n), ji::keyOrZero(protectionKey)) != 0;
      delete unbraced;  // a wiping string: zeroed as it goes
    } else if (unbraced != nullptr) {
      attribute->value = unbraced;
    } else {
      attribute->value = newString(p);
      status = attribute->value == nullptr || assignText(p, *attribute->value, text, n) != 0;
    }
    if (status != 0) {
      delete attribute;
      return 1;
    }
    *out = attribute;
    return 0;
  }

  static int makeAddedValue(Parser& p, const View& key, const View* alternative, const char16_t* text, size_t n,
                            JuObject** out) {
    const bool sensitive = isSensitive(p, key) || (alternative != nullptr && isSensitive(p, *alternative));
    AttributeObject* attribute = new (std::nothrow) AttributeObject();
    if (attribute == nullptr) return 1;
    attribute->value = sensitive ? new (std::nothrow) JuStringWEx() : new (std::nothrow) JuStringW();
    if (attribute->value == nullptr ||
        ji::ValueParserOps<WideTraits>::copyQuoted(p, *attribute->value, text, n) != 0) {
      delete attribute;
      return 1;
    }
    *out = attribute;
    return 0;
  }

  static Value* valueString(JuObject* value) {
    return value != nullptr ? static_cast<AttributeObject*>(value)->value : nullptr;
  }

  static size_t valueLength(JuObject* value) {
    const AttributeObject* attribute = static_cast<AttributeObject*>(value);
    if (attribute == nullptr) return 0;
    if (attribute->protectedValue != nullptr) return attribute->protectedValue->length;
    return attribute->value != nullptr ? attribute->value->length : 0;
  }

  static int valueText(const Parser&, JuObject* value, const uint8_t* revealKey, bool plain, ValueText* out) {
    const AttributeObject* attribute = static_cast<AttributeObject*>(value);
    if (attribute == nullptr) return 0;
    if (attribute->protectedValue != nullptr) {
      if (plain || out->revealed.reveal(*attribute->protectedValue, ji::keyOrZero(revealKey)) != 0) {
        ji::postCannotBuild();
        return 1;
      }
      out->text = reinterpret_cast<const char16_t*>(out->revealed.buffer);
      out->length = out->revealed.length;
    } else if (attribute->value != nullptr) {
      out->text = attribute->value->data;
      out->length = attribute->value->length;
    }
    return 0;
  }
};

using Ops = ji::ValueParserOps<WideTraits>;

}  // namespace

// ---------------------------------------------------------------------------
// AttributeObject
// ---------------------------------------------------------------------------

AttributeObject::~AttributeObject() {
  delete value;
  delete protectedValue;  // wipes its buffer
}

// ---------------------------------------------------------------------------
// JuValueParserW
// ---------------------------------------------------------------------------

JuValueParserW::JuValueParserW(const JuSubStringW& text, char16_t separator, const char16_t* textName,
                               uint32_t allowDuplicates)
    : scanner(text), separator(separator), textName(textName), allowDuplicates(allowDuplicates) {
  scanner.braceValueMode = 1;
  attributes.mode = 1;
}

JuValueParserW::~JuValueParserW() {
  attributes.removeAll();
  delete currentKey;
}

int JuValueParserW::parse(const uint8_t* protectionKey, JuSensitiveKeyTest test) {
  sensitiveKeyTest = test;
  return Ops::parse(*this, protectionKey);
}

int JuValueParserW::readKey() { return Ops::readKey(*this); }
int JuValueParserW::parseAttribute(const uint8_t* protectionKey) { return Ops::parseAttribute(*this, protectionKey); }
int JuValueParserW::storeValue(const uint8_t* protectionKey) { return Ops::storeValue(*this, protectionKey); }
JuError* JuValueParserW::syntaxError() { return Ops::syntaxError(*this); }

JuStringW* JuValueParserW::get(const JuSubStringW& key) { return Ops::get(*this, key); }

JuStringW* JuValueParserW::get(const char16_t* key) {
  if (key == nullptr) return nullptr;
  return Ops::get(*this, JuSubStringW(key, juWStrLen(key)));
}

int JuValueParserW::getEither(const char16_t* key, const char16_t* alternative, JuStringW** out) {
  return Ops::getEither(*this, key, alternative, out);
}

int JuValueParserW::getProtected(const JuSubStringW& key, int* found, JuProtectedValue* out) {
  *found = 0;
  const uint64_t index = attributes.find(key);
  if (index >= attributes.count) return 0;
  Ops::markConsumed(*this, index);
  const AttributeObject* attribute = static_cast<AttributeObject*>(attributes.valueAt(index));
  if (attribute == nullptr || attribute->protectedValue == nullptr) {
    juPostError(kJuMsgGetAttributeFailed)->setSqlState("HY000", kJuSqlStateGeneral);
    return 1;
  }
  *found = 1;
  return out->copy(*attribute->protectedValue);
}

int JuValueParserW::getProtectedEither(const char16_t* key, const char16_t* alternative, int* found,
                                       JuProtectedValue* out) {
  if (getProtected(JuSubStringW(key, key != nullptr ? juWStrLen(key) : 0), found, out) != 0) return 1;
  if (alternative == nullptr) return 0;
  const JuSubStringW other(alternative, juWStrLen(alternative));
  if (*found == 0) return getProtected(other, found, out);
  JuProtectedValue second;  // wiped when it goes
  int secondFound = 0;
  if (getProtected(other, &secondFound, &second) != 0) return 1;
  if (secondFound == 0) return 0;
  Ops::postTwoKeywords(*this, key, alternative);
  return 1;
}

int JuValueParserW::contains(const char16_t* key) const { return Ops::find(*this, key) < attributes.count ? 1 : 0; }

uint64_t JuValueParserW::indexOf(const char16_t* key, size_t length) const {
  const uint64_t index = attributes.find(JuSubStringW(key, key != nullptr ? length : 0));
  return index < attributes.count ? index : UINT64_MAX;
}

JuSubStringW* JuValueParserW::keyAt(uint64_t index) const { return attributes.keyAt(index); }
JuSubStringW* JuValueParserW::nextUnconsumed() { return Ops::nextUnconsumed(*this); }
uint16_t JuValueParserW::countUnconsumed() const { return Ops::countUnconsumed(*this); }
int JuValueParserW::resetConsumed() { return Ops::resetConsumed(*this); }

int JuValueParserW::addAttribute(const char16_t* key, size_t keyLength, const char16_t* value, size_t valueLength,
                                 const char16_t* alternative, size_t alternativeLength) {
  return Ops::addAttribute(*this, key, keyLength, value, valueLength, alternative, alternativeLength);
}

int JuValueParserW::addAttribute(const char16_t* key, const char16_t* value, const char16_t* alternative) {
  return addAttribute(key, key != nullptr ? juWStrLen(key) : 0, value, value != nullptr ? juWStrLen(value) : 0,
                      alternative, alternative != nullptr ? juWStrLen(alternative) : 0);
}

int JuValueParserW::addProtectedAttribute(const char16_t* key, const JuProtectedValue& source,
                                          const char16_t* alternative) {
  JuProtectedValue* copy = new (std::nothrow) JuProtectedValue();
  if (copy == nullptr) return 1;
  if (copy->copy(source) != 0) {
    delete copy;
    return 1;
  }
  AttributeObject* attribute = new (std::nothrow) AttributeObject();
  if (attribute == nullptr) {
    delete copy;
    return 1;
  }
  attribute->protectedValue = copy;
  const JuSubStringW keyView(key, key != nullptr ? juWStrLen(key) : 0);
  const JuSubStringW alternativeView(alternative, alternative != nullptr ? juWStrLen(alternative) : 0);
  return Ops::replaceOrAppend(*this, keyView, alternative != nullptr ? &alternativeView : nullptr, attribute);
}

void JuValueParserW::remove(const char16_t* key) { Ops::remove(*this, key); }

int JuValueParserW::build(JuStringW& out, const uint8_t* protectionKey, char16_t separatorChar) {
  return Ops::build(*this, out, separatorChar, protectionKey, false);
}

int JuValueParserW::buildPlain(JuStringW& out, char16_t separatorChar) {
  return Ops::build(*this, out, separatorChar, nullptr, true);
}

void JuValueParserW::setQuoteChars(uint16_t quote1, uint16_t quote2, uint16_t quote3) {
  Ops::setQuoteChars(*this, quote1, quote2, quote3);
}

int JuValueParserW::addWordChars(const char16_t* chars) { return Ops::addWordChars(*this, chars); }
int JuValueParserW::clearWordChars() { return Ops::clearWordChars(*this); }
