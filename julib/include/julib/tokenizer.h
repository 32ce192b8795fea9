// The tokenizer: JuScanner over narrow text of one code-page kind and
// JuScannerW over UTF-16 text, handing out JuToken / JuTokenW views.
//
// "Unit" is a byte for JuScanner and a UTF-16 unit for JuScannerW; positions
// and lengths count units. Tokens are views into the source: they stay valid
// only while the source is neither freed nor edited.
#ifndef JULIB_TOKENIZER_H
#define JULIB_TOKENIZER_H

#include <cstddef>
#include <cstdint>

#include "julib/cstring.h"
#include "julib/object.h"
#include "julib/strings.h"

class JuArray;

// Token types. Any other value is an operator: the character code of a
// one-character operator, or (first << 8) | second for a pair.
enum : uint32_t {
  kJuTokenNone = 0,          // no token yet; an empty nextUntil token; setTokenAt
  kJuTokenEnd = 1,           // end of text: empty token where the text ended
  kJuTokenWord = 2,
  kJuTokenQuoted = 3,        // quoted string or bracket group, delimiters included
  kJuTokenUnterminated = 4,  // one the text ended inside (runs to the end)
  kJuTokenNumber = 5,
  kJuTokenRun = 6,           // mode 1
  kJuTokenName = 7,          // mode 2
  kJuTokenUntil = 8,         // text up to a delimiter (nextUntil)
  kJuTokenDecimal = 9,       // a number holding a "." that ran to the end
  kJuTokenOther = 10,        // a single character outside the operator table
  kJuTokenComment = 11,
  kJuTokenPlusGroup = 12,    // "(+)"
};

// The scanner operator table: 44 entries, the last 0; an entry up to 255 is
// a one-character operator, a larger one a pair following its first
// character's entry.
extern const uint32_t juScannerOperators[44];

class JuToken : public JuSubString {
 public:
  JuToken() = default;
  explicit JuToken(JuCodePageKind kind) : JuSubString(kind) {}
  JuToken(const char* text, size_t length, size_t position);
  JuToken(const char* text, size_t length, size_t position, JuCodePageKind kind);
  ~JuToken() override;

  uint32_t type = kJuTokenNone;
  size_t position = 0;  // offset of the token's first unit in the source
};

class JuTokenW : public JuSubStringW {
 public:
  JuTokenW() = default;
  JuTokenW(const char16_t* text, size_t length, size_t position);
  ~JuTokenW() override;

  uint32_t type = kJuTokenNone;
  size_t position = 0;
};

// Option flags of both scanners.
inline constexpr uint32_t kJuScanBraceGroups = 1;       // "{" reads to its matching "}"
inline constexpr uint32_t kJuScanParenGroups = 2;       // "(" reads to its matching ")"
inline constexpr uint32_t kJuScanCommentsReturned = 4;  // comments are tokens
inline constexpr uint32_t kJuScanCommentsSkipped = 8;   // comments are skipped like blanks
inline constexpr uint32_t kJuScanDecimalNumbers = 16;   // a "." belongs to a number
inline constexpr uint32_t kJuScanEndState = 32;         // a step found no unit left
inline constexpr uint16_t kJuNoBracket = 0xFFFF;

// ---------------------------------------------------------------------------
// JuScanner: narrow text of one code-page kind.
// ---------------------------------------------------------------------------

// A new scanner has decimal numbers on and every other option off, the
// quotes ' " ` and no custom bracket pair. The settings (options, quotes,
// bracket pair, brace-value mode) are public fields its user writes.
class JuScanner : public JuObject {
 public:
  JuScanner();
  explicit JuScanner(JuCodePageKind kind);
  explicit JuScanner(const JuSubString& view);  // read-only, the view's kind
  explicit JuScanner(const JuString& text);     // read-only
  explicit JuScanner(JuString& bound);          // bound: the scanner may edit it
  explicit JuScanner(const char* text);         // NUL-terminated, kind 1
  JuScanner(const char* text, JuCodePageKind kind);
  JuScanner(const char* text, size_t length);
  JuScanner(const char* text, size_t length, JuCodePageKind kind);
  JuScanner(const JuScanner&) = delete;
  JuScanner& operator=(const JuScanner&) = delete;
  ~JuScanner() override;

  // The next token (mode 0 normal, 1 runs, 2 names); its type tells.
  //   "x>=1" -> word "x", operator 0x3E3D, number "1", end
  // A group nested deeper than 65535 levels is read to the end of the text
  // as unterminated (type 4).
  void nextToken(JuToken& token, uint32_t mode);
  // The text up to the next unquoted, ungrouped delimiter, trailing blanks
  // trimmed (type 8; an empty type-0 token when the delimiter comes first).
  // The delimiter is never consumed.
  void nextUntil(JuToken& token, char delimiter);
  // Whether `token` and the tokens after it spell the space-separated words;
  // on a match the token is widened over the phrase, else the position is
  // restored.
  int matchWords(JuToken& token, const char* words);
  int matchWordsNoCase(JuToken& token, const char* words);
  // `list`: NUL-terminated phrases closed by an empty one.
  int matchAnyWords(JuToken& token, const char* list);
  int matchAnyWordsNoCase(JuToken& token, const char* list);
  // The pieces between delimiters as owned JuSubString views / JuString
  // copies. "a,,b," -> "a", "", "b", "". 0, or 1. Exactly the delimiter
  // character is taken between pieces, never an operator pair that starts
  // with it: "a==b" split at "=" -> "a", "", "b".
  [[nodiscard]] int split(JuArray& pieces, char delimiter);
  [[nodiscard]] int splitCopies(JuArray& pieces, char delimiter);
  // Edit the bound string; 1 (nothing changed, nothing posted) without one
  // or for a token outside its text.
  [[nodiscard]] int replaceToken(JuToken& token, const JuSubString& text);
  [[nodiscard]] int insertBeforeToken(JuToken& token, const JuSubString& text);
  void setTokenAt(JuToken& token, size_t position, size_t length);
  // The unit at position + n - 1 (n = 1: the next unread one), 0 past the end.
  char peekChar(size_t n) const;
  size_t rewindTo(const JuToken& token);
  void setSource(JuString& bound);
  void setSource(const char* text, size_t length);
  void setSource(const char* text, size_t length, JuCodePageKind kind);
  void resetOptions();
  void setWordStartChars(const JuSubString& chars);
  void setWordChars(const JuSubString& chars);

  const char* source = nullptr;
  size_t sourceLength = 0;
  uint16_t quoteChars[3] = {'\'', '"', '`'};
  size_t position = 0;
  JuString* bound = nullptr;
  JuString wordStartChars;  // extra characters that start a word
  JuString wordChars;       // extra characters that continue a word
  JuCodePageKind kind = JuCodePageKind::kAnsi;
  uint16_t bracketOpen = kJuNoBracket;
  uint16_t bracketClose = 0;
  size_t lastCharLength = 0;
  uint32_t options = kJuScanDecimalNumbers;
  uint32_t braceValueMode = 0;  // 1: nextUntil reads "{...}" values whole
};

// ---------------------------------------------------------------------------
// JuScannerW: UTF-16 text. A unit 0xD800-0xDBFF that is not the last one
// starts a character of two units.
// ---------------------------------------------------------------------------

class JuScannerW : public JuObject {
 public:
  JuScannerW();
  explicit JuScannerW(const JuSubStringW& view);
  explicit JuScannerW(const JuStringW& text);
  explicit JuScannerW(JuStringW& bound);
  explicit JuScannerW(const char16_t* text);
  JuScannerW(const char16_t* text, size_t length);
  JuScannerW(const JuScannerW&) = delete;
  JuScannerW& operator=(const JuScannerW&) = delete;
  ~JuScannerW() override;

  void nextToken(JuTokenW& token, uint32_t mode);
  void nextUntil(JuTokenW& token, char16_t delimiter);
  int matchWords(JuTokenW& token, const char16_t* words);
  int matchWords(JuTokenW& token, const char16_t* words, size_t length);
  int matchWordsNoCase(JuTokenW& token, const char16_t* words);
  int matchWordsNoCase(JuTokenW& token, const char16_t* words, size_t length);
  int matchAnyWords(JuTokenW& token, const char16_t* list);
  int matchAnyWordsNoCase(JuTokenW& token, const char16_t* list);
  [[nodiscard]] int split(JuArray& pieces, char16_t delimiter);
  [[nodiscard]] int splitCopies(JuArray& pieces, char16_t delimiter);
  [[nodiscard]] int replaceToken(JuTokenW& token, const JuSubStringW& text);
  [[nodiscard]] int insertBeforeToken(JuTokenW& token, const JuSubStringW& text);
  void setTokenAt(JuTokenW& token, size_t position, size_t length);
  char16_t peekChar(size_t n) const;
  size_t rewindTo(const JuTokenW& token);
  void setSource(JuStringW& bound);
  void setSource(const char16_t* text, size_t length);
  void resetOptions();
  void setWordStartChars(const JuSubStringW& chars);
  void setWordChars(const JuSubStringW& chars);

  const char16_t* source = nullptr;
  size_t sourceLength = 0;
  uint16_t quoteChars[3] = {u'\'', u'"', u'`'};
  size_t position = 0;
  JuStringW* bound = nullptr;
  JuStringW wordStartChars;
  JuStringW wordChars;
  uint16_t bracketOpen = kJuNoBracket;
  uint16_t bracketClose = 0;
  size_t lastCharLength = 0;
  uint32_t options = kJuScanDecimalNumbers;
  uint32_t braceValueMode = 0;
};

#endif  // JULIB_TOKENIZER_H
