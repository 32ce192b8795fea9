// JuScannerW and JuTokenW: the tokenizer over UTF-16 text. A unit
// 0xD800-0xDBFF starts a character of two units unless it is the last unit
// of the source; the steps themselves are in tokenizer_steps.h.

#include "julib/tokenizer.h"

#include "julib/codepage.h"
#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/strings.h"
#include "cstring_internal.h"
#include "tokenizer_edits.h"
#include "tokenizer_settings.h"
#include "tokenizer_steps.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace scan = julib::internal::scan;

namespace {

using julib::internal::isHighSurrogate;
using julib::internal::scan::Char;
using julib::internal::scan::isDigitUnit;

constexpr uint32_t kFullWidthLowLine = 0xFF3F;

struct WideTraits {
  using Scanner = JuScannerW;
  using Token = JuTokenW;
  using Unit = char16_t;
  using UnsignedUnit = char16_t;
  using View = JuSubStringW;

  static size_t charLength(const JuScannerW& s, size_t at) {
    return isHighSurrogate(s.source[at]) && at + 1 < s.sourceLength ? 2 : 1;
  }

  // Calls a test of the character library with the character alone: a pair
  // from the source, a single unit from a terminated copy, so that the test's
  // look at the unit after a high surrogate stays inside the source.
  template <typename Test>
  static bool test(const JuScannerW& s, const Char& c, Test charTest) {
    if (c.length == 2) return charTest(s.source + c.at) != 0;
    const char16_t alone[2] = {s.source[c.at], 0};
    return charTest(alone) != 0;
  }

  static bool isBlank(const JuScannerW& s, const Char& c) { return test(s, c, juWStrIsWhitespace); }
  static bool isAlpha(const JuScannerW& s, const Char& c) {
    return c.code == kFullWidthLowLine || test(s, c, juWCharIsAlpha);
  }
  static bool isWordChar(const JuScannerW& s, const Char& c) {
    return isAlpha(s, c) || (c.length == 1 && isDigitUnit(c.first));
  }
  static bool inSet(const JuStringW& set, const Char& c) {
    return set.findChar(static_cast<char16_t>(c.first), 0) < set.length;
  }
  static void point(const JuScannerW& s, JuTokenW& token, size_t at, size_t n) { token.attach(s.source + at, n); }
  // Exact: the same units, zeros included.
  static bool sameWord(const char16_t* a, size_t na, const char16_t* b, size_t nb, bool noCase) {
    if (na == 0 || nb == 0) return na == nb;
    if (noCase) return juWStrNIEqual(a, na, b, nb) != 0;
    return na == nb && std::memcmp(a, b, na * sizeof(char16_t)) == 0;
  }
  static JuObject* newPiece(const JuScannerW&, const char16_t* text, size_t n) {
    return new (std::nothrow) JuSubStringW(text, n);
  }
  static JuObject* newCopy(const JuScannerW&, const char16_t* text, size_t n) {
    auto* copy = new (std::nothrow) JuStringW;
    if (copy == nullptr) return nullptr;
    if (copy->assign(text, n) != 0) {
      delete copy;
      return nullptr;
    }
    return copy;
  }
  static int assignSet(JuStringW& set, const JuSubStringW& chars) { return set.assign(chars.data, chars.length); }
};

using Steps = julib::internal::scan::Steps<WideTraits>;

size_t measured(const char16_t* text) { return text == nullptr ? 0 : juWStrLen(text); }

}  // namespace

// ---------------------------------------------------------------------------
// JuTokenW
// ---------------------------------------------------------------------------

JuTokenW::JuTokenW(const char16_t* text, size_t length, size_t position)
    : JuSubStringW(text, length), position(position) {}

JuTokenW::~JuTokenW() = default;

// ---------------------------------------------------------------------------
// JuScannerW: construction and settings
// ---------------------------------------------------------------------------

JuScannerW::JuScannerW() {
  setSource(nullptr, 0);
  resetOptions();
}

JuScannerW::JuScannerW(const JuSubStringW& view) : JuScannerW() { setSource(view.data, view.length); }

JuScannerW::JuScannerW(const JuStringW& text) : JuScannerW() { setSource(text.data, text.length); }

JuScannerW::JuScannerW(JuStringW& string) : JuScannerW() { setSource(string); }

JuScannerW::JuScannerW(const char16_t* text) : JuScannerW(text, measured(text)) {}

JuScannerW::JuScannerW(const char16_t* text, size_t length) : JuScannerW() { setSource(text, length); }

JuScannerW::~JuScannerW() = default;

void JuScannerW::setSource(JuStringW& string) { scan::restart(*this, string.data, string.length, &string); }

void JuScannerW::setSource(const char16_t* text, size_t length) { scan::restart(*this, text, length, nullptr); }

void JuScannerW::resetOptions() { scan::resetOptions(*this); }

void JuScannerW::setWordStartChars(const JuSubStringW& chars) { scan::setCharSet<WideTraits>(wordStartChars, chars); }

void JuScannerW::setWordChars(const JuSubStringW& chars) { scan::setCharSet<WideTraits>(wordChars, chars); }

// ---------------------------------------------------------------------------
// JuScannerW: reading
// ---------------------------------------------------------------------------

void JuScannerW::nextToken(JuTokenW& token, uint32_t mode) { Steps(*this).nextToken(token, mode); }

void JuScannerW::nextUntil(JuTokenW& token, char16_t delimiter) { Steps(*this).nextUntil(token, delimiter); }

int JuScannerW::matchWords(JuTokenW& token, const char16_t* words) {
  return Steps(*this).matchWords(token, words, measured(words), false);
}

int JuScannerW::matchWords(JuTokenW& token, const char16_t* words, size_t length) {
  return Steps(*this).matchWords(token, words, length, false);
}

int JuScannerW::matchWordsNoCase(JuTokenW& token, const char16_t* words) {
  return Steps(*this).matchWords(token, words, measured(words), true);
}

int JuScannerW::matchWordsNoCase(JuTokenW& token, const char16_t* words, size_t length) {
  return Steps(*this).matchWords(token, words, length, true);
}

int JuScannerW::matchAnyWords(JuTokenW& token, const char16_t* list) {
  return Steps(*this).matchAnyWords(token, list, false);
}

int JuScannerW::matchAnyWordsNoCase(JuTokenW& token, const char16_t* list) {
  return Steps(*this).matchAnyWords(token, list, true);
}

int JuScannerW::split(JuArray& pieces, char16_t delimiter) { return Steps(*this).split(pieces, delimiter, false); }

int JuScannerW::splitCopies(JuArray& pieces, char16_t delimiter) {
  return Steps(*this).split(pieces, delimiter, true);
}

int JuScannerW::replaceToken(JuTokenW& token, const JuSubStringW& text) {
  return Steps(*this).replaceToken(token, text);
}

int JuScannerW::insertBeforeToken(JuTokenW& token, const JuSubStringW& text) {
  return Steps(*this).insertBeforeToken(token, text);
}

void JuScannerW::setTokenAt(JuTokenW& token, size_t at, size_t length) { Steps(*this).setTokenAt(token, at, length); }

char16_t JuScannerW::peekChar(size_t n) const {
  return static_cast<char16_t>(julib::internal::scan::peekUnit<WideTraits>(*this, n));
}

size_t JuScannerW::rewindTo(const JuTokenW& token) { return Steps(*this).rewindTo(token); }
