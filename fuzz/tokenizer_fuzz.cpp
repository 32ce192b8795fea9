// Runs the narrow and the UTF-16 scanner over arbitrary text, with settings
// taken from the input's first bytes: every option, mode and code-page kind,
// custom quotes, brackets, word sets and delimiters. The text lies in a heap
// block of exactly its size, so a read past the source is caught. Checked:
// every token and piece lies inside the source, positions never go backwards
// except through rewindTo, every scan ends, a rewound scan reads the same
// tokens again, and a bound scanner follows the string it edits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "julib/containers.h"
#include "julib/errors.h"
#include "julib/strings.h"
#include "julib/threads.h"
#include "julib/tokenizer.h"
#include "platform/ansi.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// The settings: the first bytes of the input (missing bytes read as 0).
struct Settings {
  uint32_t options;  // the five option bits
  uint32_t braceValueMode;
  bool customBracket;
  bool wordSets;
  bool customQuote;
  uint32_t codePage;
  JuCodePageKind kind;
  uint16_t delimiter;
  uint16_t quote;
  uint16_t open;
  uint16_t close;
  uint8_t modes;  // two bits per token, cycling
};

constexpr size_t kSettingsBytes = 9;

Settings readSettings(const uint8_t* data, size_t size) {
  uint8_t b[kSettingsBytes] = {};
  std::memcpy(b, data, size < kSettingsBytes ? size : kSettingsBytes);
  static const uint32_t kCodePages[] = {1252, 932, 936, 949, 950, 1252, 1252, 932};
  static const JuCodePageKind kKinds[] = {JuCodePageKind::kAnsi, JuCodePageKind::kUtf8, JuCodePageKind::kUtf16,
                                          JuCodePageKind::kBytes};
  Settings s;
  s.options = b[0] & 0x1F;
  s.braceValueMode = (b[0] >> 5) & 1;
  s.customBracket = (b[0] & 0x40) != 0;
  s.wordSets = (b[0] & 0x80) != 0;
  s.codePage = kCodePages[b[1] & 7];
  s.kind = kKinds[(b[1] >> 3) & 3];
  s.customQuote = (b[1] & 0x20) != 0;
  s.delimiter = static_cast<uint16_t>(b[2] | (b[1] & 0x40 ? b[3] << 8 : 0));
  s.quote = static_cast<uint16_t>(b[4] | (b[1] & 0x80 ? b[5] << 8 : 0));
  s.open = b[6];
  s.close = b[7];
  s.modes = b[8];
  return s;
}

// ---------------------------------------------------------------------------
// The checks, written once over both scanners
// ---------------------------------------------------------------------------

template <typename Scanner, typename Token>
void checkToken(const Scanner& scanner, const Token& token) {
  check(token.position <= scanner.sourceLength);
  check(token.length <= scanner.sourceLength - token.position);
  check(token.data == scanner.source + token.position);
  check(scanner.position <= scanner.sourceLength);
}

// Back to the start of the same source, in the same kind.
void restart(JuScanner& scanner) { scanner.setSource(scanner.source, scanner.sourceLength, scanner.kind); }
void restart(JuScannerW& scanner) { scanner.setSource(scanner.source, scanner.sourceLength); }

template <typename Scanner>
void applySettings(Scanner& scanner, const Settings& s) {
  scanner.options = (scanner.options & kJuScanEndState) | s.options;
  scanner.braceValueMode = s.braceValueMode;
  if (s.customBracket) {
    scanner.bracketOpen = s.open;
    scanner.bracketClose = s.close;
  }
  if (s.customQuote) scanner.quoteChars[1] = s.quote;
}

// Reads every token; returns their (position, length, type) in order.
template <typename Scanner, typename Token>
std::vector<uint64_t> readAll(Scanner& scanner, const Settings& s) {
  std::vector<uint64_t> seen;
  Token token;
  const size_t limit = scanner.sourceLength + 2;
  for (size_t i = 0;; ++i) {
    check(i <= limit);  // every token but the end takes a unit
    const size_t before = scanner.position;
    const uint32_t mode = (s.modes >> ((i % 4) * 2)) & 3;
    scanner.nextToken(token, mode == 3 ? 0 : mode);
    checkToken(scanner, token);
    check(token.position >= before || before > scanner.sourceLength);
    seen.push_back((static_cast<uint64_t>(token.position) << 40) ^ (static_cast<uint64_t>(token.length) << 8) ^
                   token.type);
    if (token.type == kJuTokenEnd) {
      check(token.length == 0);
      check(scanner.position == scanner.sourceLength);
      return seen;
    }
    check(token.length > 0 || token.type == kJuTokenNone);
    check(scanner.position > before);
    check(scanner.position >= token.position + token.length);
  }
}

// Values and delimiters in turn, as the connect-string parser reads them.
template <typename Scanner, typename Token>
void readValues(Scanner& scanner, uint16_t delimiter) {
  Token token;
  const size_t limit = 2 * scanner.sourceLength + 2;
  for (size_t i = 0;; ++i) {
    check(i <= limit);
    const size_t before = scanner.position;
    scanner.nextUntil(token, static_cast<decltype(scanner.peekChar(0))>(delimiter));
    checkToken(scanner, token);
    check(scanner.position >= before);
    if (token.type == kJuTokenEnd) return;
    if (token.type == kJuTokenNone) check(token.length == 0 && scanner.position == token.position);
    scanner.nextToken(token, 0);
    checkToken(scanner, token);
    if (token.type == kJuTokenEnd) return;
    check(scanner.position > before);
  }
}

template <typename Scanner, typename Piece>
void splitBoth(Scanner& scanner, uint16_t delimiter, const Settings& s) {
  using Unit = std::remove_const_t<std::remove_pointer_t<decltype(scanner.source)>>;
  for (int copies = 0; copies < 2; ++copies) {
    restart(scanner);
    applySettings(scanner, s);
    JuArray pieces;
    const auto unit = static_cast<Unit>(delimiter);
    check((copies ? scanner.splitCopies(pieces, unit) : scanner.split(pieces, unit)) == 0);
    check(pieces.count >= 1 && pieces.count <= scanner.sourceLength + 1);
    for (uint64_t i = 0; i < pieces.count; ++i) {
      const auto* piece = static_cast<const Piece*>(pieces.pointerAt(i));
      if (copies) {
        check(piece->length <= scanner.sourceLength);
      } else {
        check(piece->data >= scanner.source && piece->length <= scanner.sourceLength);
        check(static_cast<size_t>(piece->data - scanner.source) <= scanner.sourceLength - piece->length);
      }
    }
  }
}

// Phrases cut from the text itself, so that some of them match.
template <typename Scanner, typename Token, typename Unit>
void matchPhrases(Scanner& scanner, const Unit* words, size_t n) {
  Token token;
  for (int round = 0; round < 8; ++round) {
    scanner.nextToken(token, 0);
    checkToken(scanner, token);
    if (token.type == kJuTokenEnd) return;
    const size_t before = scanner.position;
    const uint32_t endState = scanner.options & kJuScanEndState;
    const size_t cut = n == 0 ? 0 : (round * 7) % (n + 1);
    std::vector<Unit> phrase(words, words + cut);
    phrase.push_back(0);
    const int matched = round % 2 ? scanner.matchWordsNoCase(token, phrase.data())
                                  : scanner.matchWords(token, phrase.data());
    if (matched != 0) {
      checkToken(scanner, token);
      check(scanner.position >= before);
    } else {
      check(scanner.position == before);
      check((scanner.options & kJuScanEndState) == endState);
    }
  }
}

// A rewound scan reads the same tokens again.
template <typename Scanner, typename Token>
void rewindAndReread(Scanner& scanner, const Settings& s, const std::vector<uint64_t>& all) {
  if (all.size() < 2) return;
  const uint64_t middle = all[all.size() / 2];
  Token token;
  restart(scanner);
  applySettings(scanner, s);
  // Reread only in mode 0 from a position reached in mode 0 throughout.
  if (s.modes != 0) return;
  const size_t at = static_cast<size_t>(middle >> 40);
  scanner.setTokenAt(token, at, 0);
  check(scanner.rewindTo(token) == at);
  for (size_t i = all.size() / 2; i < all.size(); ++i) {
    scanner.nextToken(token, 0);
    check(((static_cast<uint64_t>(token.position) << 40) ^ (static_cast<uint64_t>(token.length) << 8) ^ token.type) ==
          all[i]);
  }
}

// Edits through a bound string: the scanner takes the string's text again
// after each one.
template <typename Scanner, typename Token, typename String, typename View, typename Unit>
void editBound(const Unit* text, size_t n, const Settings& s) {
  String string;
  if (string.assign(text, n) != 0) return;
  Scanner scanner(string);
  applySettings(scanner, s);
  Token token;
  static const Unit kInsert[] = {'x', ' ', 0};
  for (int i = 0; i < 64; ++i) {
    scanner.nextToken(token, 0);
    checkToken(scanner, token);
    if (token.type == kJuTokenEnd) break;
    const int edit = i % 3;
    const size_t length = string.length;
    int result = 0;
    if (edit == 0) {
      result = scanner.replaceToken(token, View(kInsert, 1));
      if (result == 0) check(string.length == length - token.length + 1);
    } else if (edit == 1) {
      result = scanner.insertBeforeToken(token, View(kInsert, 2));
      if (result == 0) {
        check(string.length == length + 2);
        checkToken(scanner, token);
      }
    } else {
      result = scanner.replaceToken(token, View());
    }
    if (result != 0) return;  // out of memory only
    check(scanner.source == string.data && scanner.sourceLength == string.length);
    check(scanner.position <= scanner.sourceLength);
  }
}

template <typename Scanner, typename Token, typename Piece, typename Unit>
void fuzzScanner(const Unit* text, size_t n, const Settings& s, Scanner& scanner) {
  applySettings(scanner, s);
  const std::vector<uint64_t> all = readAll<Scanner, Token>(scanner, s);
  rewindAndReread<Scanner, Token>(scanner, s, all);

  restart(scanner);
  applySettings(scanner, s);
  readValues<Scanner, Token>(scanner, s.delimiter);

  splitBoth<Scanner, Piece>(scanner, s.delimiter, s);

  restart(scanner);
  applySettings(scanner, s);
  matchPhrases<Scanner, Token>(scanner, text, n);

  restart(scanner);
  for (size_t k = 0; k <= n + 1 && k < 4; ++k) {
    Token token;
    scanner.setTokenAt(token, n - (n > k ? k : n), k + 1);
    checkToken(scanner, token);
    (void)scanner.peekChar(k);
  }
}

void fuzzNarrow(const uint8_t* data, size_t size, const Settings& s) {
  std::unique_ptr<char[]> text(new char[size]);
  std::memcpy(text.get(), data, size);
  if (platform::ansiCodePage() != s.codePage) platform::setAnsiCodePage(s.codePage);
  JuScanner scanner(text.get(), size, s.kind);
  if (s.wordSets) {
    scanner.setWordStartChars(JuSubString(" #", 2, s.kind));
    scanner.setWordChars(JuSubString("-.", 2, s.kind));
  }
  fuzzScanner<JuScanner, JuToken, JuSubString>(text.get(), size, s, scanner);
  editBound<JuScanner, JuToken, JuString, JuSubString>(text.get(), size, s);
}

void fuzzWide(const uint8_t* data, size_t size, const Settings& s) {
  const size_t n = size / 2;
  std::unique_ptr<char16_t[]> text(new char16_t[n]);
  std::memcpy(text.get(), data, n * 2);
  JuScannerW scanner(text.get(), n);
  if (s.wordSets) {
    scanner.setWordStartChars(JuSubStringW(u" #\u3000", 3));
    scanner.setWordChars(JuSubStringW(u"-.\U0001F600", 4));
  }
  fuzzScanner<JuScannerW, JuTokenW, JuSubStringW>(text.get(), n, s, scanner);
  editBound<JuScannerW, JuTokenW, JuStringW, JuSubStringW>(text.get(), n, s);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  juStartProgram(&juLibraryModule, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A list of its own for each input, so that posted errors do not pile up.
  JuErrorList errors(0, 1);
  JuErrorList::pushCurrent(&errors);
  const Settings settings = readSettings(data, size);
  const size_t skip = size < kSettingsBytes ? size : kSettingsBytes;
  fuzzNarrow(data + skip, size - skip, settings);
  fuzzWide(data + skip, size - skip, settings);
  JuErrorList::popCurrent();
  return 0;
}
