// Raw text primitives: characters by code-page kind, C-string length, copy,
// compare and quoting, search and trimming.
//
// Narrow text is bytes of a code-page kind; UTF-16 text is char16_t units.
// Counted text (pointer and length in bytes or units) need not be terminated
// and may hold zeros. Copies return the position of the terminator they
// wrote; bounded copies take the destination size including the terminator
// and write nothing when it is 0. Booleans are int 0 or 1.
#ifndef JULIB_CSTRING_H
#define JULIB_CSTRING_H

#include <cstddef>
#include <cstdint>

// The code-page kind every narrow library string carries. Values other than
// kUtf16 and kUtf8 step as kAnsi; kBytes is known only to the either-form
// search.
enum class JuCodePageKind : uint32_t {
  kAnsi = 1,   // the process ANSI code page, double-byte lead bytes honoured
  kUtf16 = 2,  // honoured only by the counting functions
  kUtf8 = 3,
  kBytes = 4,  // raw bytes: every byte starts a character
};

// ---------------------------------------------------------------------------
// Characters (narrow by kind; UTF-16 by surrogate pairs).
// ---------------------------------------------------------------------------

// Byte length of the character at p: UTF-8 by its first byte alone (a stray
// continuation byte is 1, 0xF0 and up are 4); other kinds 2 at a lead byte.
size_t juCharLen(const char* p, JuCodePageKind kind);
const char* juCharNext(const char* p, JuCodePageKind kind);
inline char* juCharNext(char* p, JuCodePageKind kind) { return p + juCharLen(p, kind); }
size_t juCharNextIndex(const char* text, size_t offset, JuCodePageKind kind);
// Start of the character before `position`, never before `start`.
const char* juCharPrev(const char* start, const char* position, JuCodePageKind kind);
size_t juCharPrevIndex(const char* text, size_t offset, JuCodePageKind kind);
// Start of the last whole character of a NUL-terminated text.
const char* juStrLastChar(const char* text, JuCodePageKind kind);
// Offset of the character that reaches or runs past n (0 when the first does).
size_t juStrNLastCharIndex(const char* text, size_t n, JuCodePageKind kind);
// 1 when both characters have the same length and bytes.
int juCharEqual(const char* a, const char* b, JuCodePageKind kind);

const char16_t* juWCharNext(const char16_t* p);
inline char16_t* juWCharNext(char16_t* p) { return p + (juWCharNext(static_cast<const char16_t*>(p)) - p); }
size_t juWCharNextIndex(const char16_t* text, size_t index);
const char16_t* juWCharPrev(const char16_t* start, const char16_t* position);
size_t juWCharPrevIndex(const char16_t* text, size_t index);
size_t juWStrNLastCharIndex(const char16_t* text, size_t n);

// Kind 2: UTF-16 units before the NUL unit, at most unitLimit (0 for null);
// other kinds: characters before the NUL.
size_t juStrCharCount(const char* text, JuCodePageKind kind, size_t unitLimit);
// Kind 2: n / 2; other kinds: characters starting below n.
size_t juStrNCharCount(const char* text, size_t n, JuCodePageKind kind);
// Characters of a NUL-terminated UTF-16 text, a surrogate pair counting one.
size_t juWStrCharCount(const char16_t* text);

// Case mapping: Latin-1 inline, everything else through ICU.
//   juCharToLower(0xD7) -> 0xF7; juCharToUpper(0xDF) -> 0xDF
uint32_t juCharToLower(uint32_t codePoint);
uint32_t juCharToUpper(uint32_t codePoint);
int juCharIsAlpha(const char* p, JuCodePageKind kind);
int juCharIsAlnum(const char* p, JuCodePageKind kind);
int juWCharIsAlpha(const char16_t* p);
int juWCharIsAlnum(const char16_t* p);

// Double-byte tests, always in the process ANSI code page.
int juIsLeadByte(const char* p);
int juIsLeadByteAt(const char* text, size_t offset);
// 1 when `position` is the second byte of a double-byte character counted
// from `start`.
int juDbcsIsInsideChar(const char* start, const char* position);

// ---------------------------------------------------------------------------
// Blank tests and case of whole UTF-16 strings.
// ---------------------------------------------------------------------------

// isspace, or the ideographic space 0x81 0x40 where 0x81 is a lead byte.
int juStrIsBlank(const char* p);
int juStrIsBlankAt(const char* text, size_t offset);
// u_isWhitespace of the code point at p (pair joined).
int juWStrIsWhitespace(const char16_t* p);
int juWStrIsWhitespaceSwapped(const char16_t* p);
// First position that is NUL or not blank; null stays null.
const char* juStrSkipBlanks(const char* text, JuCodePageKind kind);
const char16_t* juWStrSkipWhitespace(const char16_t* text);
// 1 when the byte at `position` is c and is not a trail byte.
int juStrIsCharAt(const char* start, const char* position, char c);
// UTF-8 characters that fit whole in n bytes.
size_t juUtf8NCharCount(const char* text, size_t n);
// In place, per code point by ICU.
void juWStrLower(char16_t* text);
void juWStrUpper(char16_t* text);
void juWStrNUpper(char16_t* text, size_t n);

// ---------------------------------------------------------------------------
// Memory.
// ---------------------------------------------------------------------------

// Copy min(dstSize, srcSize) bytes.
void juMemCopyMin(void* dst, size_t dstSize, const void* src, size_t srcSize);
void juMemCopyMinBlocks(void* dst, size_t dstSize, const void* src, size_t srcSize);
int juMemEqual(const void* a, const void* b, size_t n);
// 1 when each byte i equals form1[i] or form2[i].
int juMemMatchEither(const void* text, const void* form1, const void* form2, size_t n);
// Exchanges min(aSize, bSize) bytes through a stack buffer.
void juMemSwap(void* a, size_t aSize, void* b, size_t bSize);
// Exchanges records i and j; 1 (out of memory posted, nothing exchanged)
// when the one-record buffer cannot be allocated.
[[nodiscard]] int juMemSwapRecords(void* base, uint16_t i, uint16_t j, uint16_t recordSize);
void juMemZero32(uint32_t* p, size_t n);
// Zeroes n bytes; the compiler cannot remove it (wipes of secrets).
void juMemZero(void* p, size_t n);
// Unsigned byte order of n bytes: -1, 0, 1.
int juMemCompare(const void* a, const void* b, size_t n);
void juMemCopyBackward(void* dst, const void* src, size_t n);
void juMemSet(void* p, uint8_t byte, size_t n);

// ---------------------------------------------------------------------------
// Narrow copies, length and order.
// ---------------------------------------------------------------------------

size_t juStrLen(const char* text);
char* juStrCopy(char* dst, const char* src);
char* juStrCat(char* dst, const char* src);
// Exactly n bytes (NULs included) and a NUL.
char* juStrNCopy(char* dst, const char* src, size_t n);
char* juStrNCat(char* dst, const char* src, size_t n);
int juStrCompare(const char* a, const char* b);
//   juStrCopyBounded(buf, 3, "abc") -> "ab", returns buf + 2
char* juStrCopyBounded(char* dst, size_t size, const char* src);
char* juStrNCopyBounded(char* dst, size_t size, const char* src, size_t n);
// n bytes and a NUL in a new block; null (out of memory posted) on failure.
char* juStrNDup(const char* src, size_t n);

// ---------------------------------------------------------------------------
// Between widths and byte orders (each writes a terminator of its width).
// ---------------------------------------------------------------------------

char* juWStrNarrowCopy(char* dst, const char16_t* src);  // low bytes
char* juWStrNNarrowCopy(char* dst, const char16_t* src, size_t n);
char* juWStrNNarrowCopyBounded(char* dst, size_t size, const char16_t* src, size_t n);
char16_t* juStrWidenCopy(char16_t* dst, const char* src);  // zero-extended
char16_t* juStrNWidenCopy(char16_t* dst, const char* src, size_t n);
char16_t* juStrNWidenCopyBounded(char16_t* dst, size_t size, const char* src, size_t n);
char16_t* juStrWidenCopyBounded(char16_t* dst, size_t size, const char* src);
char16_t* juWStrCopy(char16_t* dst, const char16_t* src);
char16_t* juWStrNCopy(char16_t* dst, const char16_t* src, size_t n);
// A high surrogate left last by the bound is dropped.
char16_t* juWStrNCopyBounded(char16_t* dst, size_t size, const char16_t* src, size_t n);
char16_t* juWStrCopyBounded(char16_t* dst, size_t size, const char16_t* src);
char16_t* juStrWidenCopySwapped(char16_t* dst, const char* src);  // byte << 8
char16_t* juWStrNCopySwapped(char16_t* dst, const char16_t* src, size_t n);
char16_t* juStrNWidenCopySwappedBounded(char16_t* dst, size_t size, const char* src, size_t n);
char16_t* juWStrNCopySwappedBounded(char16_t* dst, size_t size, const char16_t* src, size_t n);

// ---------------------------------------------------------------------------
// Quoting. The quote is a 16-bit value; narrow forms use its low byte.
// ---------------------------------------------------------------------------

//   juStrNQuote(buf, "it's", 4, kAnsi, '\'') -> 'it''s'
char* juStrNQuote(char* dst, const char* src, size_t n, JuCodePageKind kind, uint16_t quote);
char* juStrQuote(char* dst, const char* src, JuCodePageKind kind, uint16_t quote);
char* juStrCatQuoted(char* dst, const char* src, JuCodePageKind kind, uint16_t quote);
// Within size bytes: 3 gives two quotes, 1 or 2 an empty text, 0 nothing.
char* juStrNQuoteBounded(char* dst, size_t size, const char* src, size_t n, JuCodePageKind kind, uint16_t quote);
char16_t* juWStrNQuote(char16_t* dst, const char16_t* src, size_t n, uint16_t quote);
char16_t* juWStrNQuoteBounded(char16_t* dst, size_t size, const char16_t* src, size_t n, uint16_t quote);

// Unquoting: the first byte is the quote, the last is taken as the closing
// one; a doubled quote gives one.
char* juStrNUnquote(char* dst, const char* src, size_t n);
char* juStrUnquote(char* dst, const char* src);
char* juStrNUnquoteBounded(char* dst, size_t size, const char* src, size_t n);
char16_t* juWStrNUnquote(char16_t* dst, const char16_t* src, size_t n);
char16_t* juWStrNUnquoteBounded(char16_t* dst, size_t size, const char16_t* src, size_t n);
// In place, only for well-formed quoted text; returns the new length (n when
// the text is left alone).
size_t juStrNUnquoteInPlace(char* text, size_t n, uint16_t quote, JuCodePageKind kind);
size_t juStrUnquoteInPlace(char* text, uint16_t quote, JuCodePageKind kind);
size_t juWStrNUnquoteInPlace(char16_t* text, size_t n, uint16_t quote);
void juWStrUnquoteInPlace(char16_t* text, uint16_t quote);
// "[a]]b]" -> "a]b" (3, no terminator); text not in brackets is copied whole
// with a terminator and n returned.
size_t juWStrNUnbracket(char16_t* dst, const char16_t* src, size_t n);

// ---------------------------------------------------------------------------
// Comparisons: -1, 0, 1; the counted narrow and UTF-16 orders are 16-bit.
// UTF-16 is ordered by code point.
// ---------------------------------------------------------------------------

int16_t juStrNCompare(const char* a, size_t na, const char* b, size_t nb);
int juWStrCompare(const char16_t* a, const char16_t* b);
int16_t juWStrNCompare(const char16_t* a, size_t na, const char16_t* b, size_t nb);
int16_t juWStrNCompareZ(const char16_t* a, size_t na, const char16_t* b);
int juStrICompare(const char* a, const char* b);
int16_t juStrNICompare(const char* a, size_t na, const char* b, size_t nb);
int juWStrICompare(const char16_t* a, const char16_t* b);
int juWStrNICompare(const char16_t* a, size_t na, const char16_t* b, size_t nb);
int juWStrNICompareZ(const char16_t* a, size_t na, const char16_t* b);
int juWStrCompareUtf8(const char16_t* a, const char* b);
int juWStrEqual(const char16_t* a, const char16_t* b);
// NUL-terminated a of exactly n units equal to counted b.
int juWStrNEqual(const char16_t* a, const char16_t* b, size_t n);
// Counted a equal to NUL-terminated b of exactly n units.
int juWStrNEqualZ(const char16_t* a, size_t n, const char16_t* b);
int juWStrEqualPrefix(const char16_t* a, const char16_t* b, size_t n);
int juStrIEqual(const char* a, const char* b);
int juStrNIEqual(const char* a, size_t na, const char* b, size_t nb);
int juWStrIEqual(const char16_t* a, const char16_t* b);
int juWStrNIEqual(const char16_t* a, size_t na, const char16_t* b, size_t nb);
int juWStrNIEqualZ(const char16_t* a, size_t na, const char16_t* b);
// NUL-terminated a of exactly n units equal, ignoring case, to counted b.
int juWStrNIEqualPrefix(const char16_t* a, const char16_t* b, size_t n);

// ---------------------------------------------------------------------------
// Escaping and character sets.
// ---------------------------------------------------------------------------

// A new block with '"' '&' '\'' '<' '>' escaped as entities, its byte count
// in *outLength. 1 for a null text (nothing touched), or with *out null when
// the block cannot be allocated (out of memory posted) or the escaped text
// is longer than 65535 bytes (message 2716 posted).
//   juStrXmlEscape("a<b", &out, &n) -> 0, out "a&lt;b", n 6
[[nodiscard]] int juStrXmlEscape(const char* text, char** out, uint16_t* outLength);

// Character-set flags.
inline constexpr uint32_t kJuCharsLower = 1;
inline constexpr uint32_t kJuCharsUpper = 2;
inline constexpr uint32_t kJuCharsDigits = 4;
int juStrNAllCharsIn(const char* text, size_t n, const char* allowed, uint32_t flags, JuCodePageKind kind);
int juStrNNoCharsIn(const char* text, size_t n, const char* set, uint32_t flags, JuCodePageKind kind);

// ---------------------------------------------------------------------------
// Search. Results point into the searched text, null for none.
// ---------------------------------------------------------------------------

const char* juStrFindChar(const char* text, char c, JuCodePageKind kind);
const char* juStrFindCharAnsi(const char* text, char c);
const char* juStrFindLastChar(const char* text, char c, JuCodePageKind kind);
const char16_t* juWStrFindChar(const char16_t* text, char16_t c);
const char16_t* juWStrNFindChar(const char16_t* text, size_t n, char16_t c);
const char16_t* juWStrNFindLastChar(const char16_t* text, size_t n, char16_t c);
// c outside stretches quoted by q1, q2 or q3 (a quote closes only its own).
const char* juStrFindCharUnquoted(const char* text, char c, char q1, char q2, char q3, JuCodePageKind kind);
const char16_t* juWStrFindCharUnquoted(const char16_t* text, char16_t c, char16_t q1, char16_t q2, char16_t q3);
const char16_t* juWStrNFindAnyOf(const char16_t* text, size_t n, const char16_t* set);
const char16_t* juWStrNFindAnyOfNarrow(const char16_t* text, size_t n, const char* set);
const char16_t* juWStrNIFindChar(const char16_t* text, size_t n, char16_t c);
const char16_t* juWStrIFindChar(const char16_t* text, char16_t c);

const char* juStrNFind(const char* text, size_t n, const char* pattern, size_t m, JuCodePageKind kind);
const char* juStrFind(const char* text, const char* pattern, JuCodePageKind kind);
const char16_t* juWStrFind(const char16_t* text, const char16_t* pattern, size_t m);
const char16_t* juWStrNFind(const char16_t* text, size_t n, const char16_t* pattern, size_t m);
const char* juStrNFindEitherForm(const char* text, size_t n, const char* form1, const char* form2, size_t m,
                                 JuCodePageKind kind);
// No-case search over upper-cased copies; null (out of memory posted) when a
// copy cannot be made.
const char* juStrNIFind(const char* text, size_t n, const char* pattern, size_t m, JuCodePageKind kind);
const char* juStrIFind(const char* text, const char* pattern, JuCodePageKind kind);
const char* juStrNIFindZ(const char* text, size_t n, const char* pattern, JuCodePageKind kind);
const char16_t* juWStrIFind(const char16_t* text, const char16_t* pattern, size_t m);
const char16_t* juWStrNIFind(const char16_t* text, size_t n, const char16_t* pattern, size_t m);

// ---------------------------------------------------------------------------
// File names and types.
// ---------------------------------------------------------------------------

// The last '.' after the last separator; null when there is none.
const char* juStrNFindExtension(const char* path, size_t n, JuCodePageKind kind);
const char* juStrFindExtension(const char* path, JuCodePageKind kind);
const char16_t* juWStrFindExtension(const char16_t* path);

inline constexpr int32_t kJuFileMissing = 0;
inline constexpr int32_t kJuFileRegular = 1;
inline constexpr int32_t kJuFileDirectory = 2;
inline constexpr int32_t kJuFileReadOnly = 5;
// One of the codes above; ".." is a directory without a look-up.
int32_t juGetFileType(const char* path);
int32_t juGetFileTypeW(const char16_t* path);

// ---------------------------------------------------------------------------
// Trailing blanks.
// ---------------------------------------------------------------------------

size_t juStrNTrimmedLen(const char* text, size_t n, JuCodePageKind kind);
void juStrTrimTrailingBlanks(char* text, JuCodePageKind kind);
size_t juStrNSpaceTrimmedLen(const char* text, size_t n, JuCodePageKind kind);
void juStrTrimTrailingSpaces(char* text, JuCodePageKind kind);
size_t juWStrNTrimmedLen(const char16_t* text, size_t n);
size_t juWStrTrimTrailingWhitespace(char16_t* text);
size_t juWStrNTrimmedLenSwapped(const char16_t* text, size_t n);
size_t juStr32NTrimmedLen(const char32_t* text, size_t n);

#endif  // JULIB_CSTRING_H
