// JuScanner and JuToken: the tokenizer over narrow text of one code-page
// kind. Characters are stepped by juCharLen of the scanner's kind and cut at
// the end of the source; the steps themselves are in tokenizer_steps.h.

#include "julib/tokenizer.h"

#include "julib/containers.h"
#include "julib/cstring.h"
#include "julib/strings.h"
#include "tokenizer_edits.h"
#include "tokenizer_settings.h"
#include "tokenizer_steps.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <new>

namespace scan = julib::internal::scan;

namespace {

using julib::internal::scan::Char;

struct NarrowTraits {
  using Scanner = JuScanner;
  using Token = JuToken;
  using Unit = char;
  using UnsignedUnit = uint8_t;
  using View = JuSubString;

  static size_t charLength(const JuScanner& s, size_t at) {
    const size_t length = juCharLen(s.source + at, s.kind);
    const size_t room = s.sourceLength - at;
    return length < room ? length : room;
  }
  // The double-byte ideographic space is looked for only in a character of
  // two bytes, so the test never reads the byte after a cut lead byte.
  static bool isBlank(const JuScanner& s, const Char& c) {
    const char* p = s.source + c.at;
    if (c.length >= 2) return juStrIsBlank(p) != 0;
    return std::isspace(static_cast<unsigned char>(*p)) != 0;
  }
  static bool isAlpha(const JuScanner& s, const Char& c) { return juCharIsAlpha(s.source + c.at, s.kind) != 0; }
  static bool isWordChar(const JuScanner& s, const Char& c) { return juCharIsAlnum(s.source + c.at, s.kind) != 0; }
  static bool inSet(const JuString& set, const Char& c) {
    return set.findChar(static_cast<char>(c.first), 0) < set.length;
  }
  static void point(const JuScanner& s, JuToken& token, size_t at, size_t n) {
    token.attach(s.source + at, n, s.kind);
  }
  static bool sameWord(const char* a, size_t na, const char* b, size_t nb, bool noCase) {
    if (na == 0 || nb == 0) return na == nb;
    return (noCase ? juStrNICompare(a, na, b, nb) : juStrNCompare(a, na, b, nb)) == 0;
  }
  static JuObject* newPiece(const JuScanner& s, const char* text, size_t n) {
    return new (std::nothrow) JuSubString(text, n, s.kind);
  }
  static JuObject* newCopy(const JuScanner& s, const char* text, size_t n) {
    auto* copy = new (std::nothrow) JuString(s.kind);
    if (copy == nullptr) return nullptr;
    if (copy->assign(text, n, s.kind) != 0) {
      delete copy;
      return nullptr;
    }
    return copy;
  }
  // The set keeps its own kind, the scanner's when it was made.
  static int assignSet(JuString& set, const JuSubString& chars) {
    return set.assign(chars.data, chars.length, set.kind);
  }
};

using Steps = julib::internal::scan::Steps<NarrowTraits>;

size_t measured(const char* text) { return text == nullptr ? 0 : juStrLen(text); }

}  // namespace

// ---------------------------------------------------------------------------
// JuToken
// ---------------------------------------------------------------------------

JuToken::JuToken(const char* text, size_t length, size_t position)
    : JuToken(text, length, position, JuCodePageKind::kAnsi) {}

JuToken::JuToken(const char* text, size_t length, size_t position, JuCodePageKind kind)
    : JuSubString(text, length, kind), position(position) {}

JuToken::~JuToken() = default;

// ---------------------------------------------------------------------------
// JuScanner: construction and settings
// ---------------------------------------------------------------------------

JuScanner::JuScanner() : JuScanner(JuCodePageKind::kAnsi) {}

JuScanner::JuScanner(JuCodePageKind kind) : wordStartChars(kind), wordChars(kind), kind(kind) {
  setSource(nullptr, 0, kind);
  resetOptions();
}

JuScanner::JuScanner(const JuSubString& view) : JuScanner(view.kind) { setSource(view.data, view.length, view.kind); }

JuScanner::JuScanner(const JuString& text) : JuScanner(text.kind) { setSource(text.data, text.length, text.kind); }

JuScanner::JuScanner(JuString& bound) : JuScanner(bound.kind) { setSource(bound); }

JuScanner::JuScanner(const char* text) : JuScanner(text, measured(text), JuCodePageKind::kAnsi) {}

JuScanner::JuScanner(const char* text, JuCodePageKind kind) : JuScanner(text, measured(text), kind) {}

JuScanner::JuScanner(const char* text, size_t length) : JuScanner(text, length, JuCodePageKind::kAnsi) {}

JuScanner::JuScanner(const char* text, size_t length, JuCodePageKind kind) : JuScanner(kind) {
  setSource(text, length, kind);
}

JuScanner::~JuScanner() = default;

void JuScanner::setSource(JuString& string) { scan::restart(*this, string.data, string.length, &string); }

void JuScanner::setSource(const char* text, size_t length) { setSource(text, length, JuCodePageKind::kAnsi); }

void JuScanner::setSource(const char* text, size_t length, JuCodePageKind newKind) {
  scan::restart(*this, text, length, nullptr);
  kind = newKind;
}

void JuScanner::resetOptions() { scan::resetOptions(*this); }

void JuScanner::setWordStartChars(const JuSubString& chars) { scan::setCharSet<NarrowTraits>(wordStartChars, chars); }

void JuScanner::setWordChars(const JuSubString& chars) { scan::setCharSet<NarrowTraits>(wordChars, chars); }

// ---------------------------------------------------------------------------
// JuScanner: reading
// ---------------------------------------------------------------------------

void JuScanner::nextToken(JuToken& token, uint32_t mode) { Steps(*this).nextToken(token, mode); }

void JuScanner::nextUntil(JuToken& token, char delimiter) {
  Steps(*this).nextUntil(token, static_cast<uint8_t>(delimiter));
}

int JuScanner::matchWords(JuToken& token, const char* words) {
  return Steps(*this).matchWords(token, words, measured(words), false);
}

int JuScanner::matchWordsNoCase(JuToken& token, const char* words) {
  return Steps(*this).matchWords(token, words, measured(words), true);
}

int JuScanner::matchAnyWords(JuToken& token, const char* list) {
  return Steps(*this).matchAnyWords(token, list, false);
}

int JuScanner::matchAnyWordsNoCase(JuToken& token, const char* list) {
  return Steps(*this).matchAnyWords(token, list, true);
}

int JuScanner::split(JuArray& pieces, char delimiter) {
  return Steps(*this).split(pieces, static_cast<uint8_t>(delimiter), false);
}

int JuScanner::splitCopies(JuArray& pieces, char delimiter) {
  return Steps(*this).split(pieces, static_cast<uint8_t>(delimiter), true);
}

int JuScanner::replaceToken(JuToken& token, const JuSubString& text) { return Steps(*this).replaceToken(token, text); }

int JuScanner::insertBeforeToken(JuToken& token, const JuSubString& text) {
  return Steps(*this).insertBeforeToken(token, text);
}

void JuScanner::setTokenAt(JuToken& token, size_t at, size_t length) {
  Steps(*this).setTokenAt(token, at, length);
}

char JuScanner::peekChar(size_t n) const {
  return static_cast<char>(julib::internal::scan::peekUnit<NarrowTraits>(*this, n));
}

size_t JuScanner::rewindTo(const JuToken& token) { return Steps(*this).rewindTo(token); }
