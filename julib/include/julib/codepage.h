// Code pages over ICU: code page ids and their name tables, the
// connection-string code page scanner, the conversion workers, and the
// helpers they share (lengths, code-point encoding, UTF-16 byte swapping).
//
// A code page id is a signed 64-bit number: the IANA MIBenum where one exists
// (3 US-ASCII, 4 ISO-8859-1, 106 UTF-8, 1014 UTF-16LE, 2252 windows-1252),
// else 2000000000 + n. The workers convert over converters the caller has
// opened; they never post, they return a conversion result code.
#ifndef JULIB_CODEPAGE_H
#define JULIB_CODEPAGE_H

#include <unicode/utypes.h>

#include <cstddef>
#include <cstdint>

struct UConverter;

// ---------------------------------------------------------------------------
// Code page ids and names.
// ---------------------------------------------------------------------------

// No code page; also the miss value of the name lookups.
inline constexpr int64_t kJuNoCodePage = 2000000000;
// The miss value of the legacy and connection-string lookups.
inline constexpr int64_t kJuCodePageMiss = INT64_MIN;

// Table rows: key, then value (16 bytes a row).
struct JuIdNameRow {
  int64_t id;
  const char* name;  // may be null
};
struct JuNameIdRow {
  const char* name;
  int64_t id;
};
struct JuIdValueRow {
  int64_t key;
  int64_t value;
};

// The constant tables. Id tables are sorted by ascending signed key; name
// tables in juAsciiStrICompare order.
extern const JuIdNameRow juIcuNameTable[];
extern const size_t juIcuNameTableRows;
extern const JuIdNameRow juMimeNameTable[];
extern const size_t juMimeNameTableRows;
extern const JuNameIdRow juMimeIdTable[];
extern const size_t juMimeIdTableRows;
extern const JuNameIdRow juNameIdTable[];
extern const size_t juNameIdTableRows;
extern const JuIdValueRow juLegacyCodePageTable[];
extern const size_t juLegacyCodePageTableRows;

// Byte order of the name tables: an ASCII capital folded to lower case where
// the bytes differ, bytes compared as signed characters. -1, 0, 1.
int juAsciiStrICompare(const char* a, const char* b);

// Binary searches; a table of 0 rows misses at once.
const char* juTableLookupPointer(int64_t key, const JuIdNameRow* table, size_t rows);  // miss: null
int64_t juTableLookupValue(int64_t key, const JuIdValueRow* table, size_t rows);      // miss: kJuCodePageMiss
int64_t juTableLookupName(const char* key, const JuNameIdRow* table, size_t rows);    // miss: kJuNoCodePage

//   juCodePageIdToName(2252) -> "windows-1252"; (2000000000) -> null
const char* juCodePageIdToName(int64_t id);
// The MIME name, else the ICU name, else null.
const char* juCodePageIdToMimeName(int64_t id);
// From the MIME ids, else the name ids, else kJuNoCodePage; ASCII case ignored.
int64_t juCodePageNameToId(const char* name);
// A legacy AppCodePage number of a connection string; kJuCodePageMiss when
// unknown.   juLegacyCodePageToId(1252) -> 2252
int64_t juLegacyCodePageToId(int64_t legacy);

// The code page a connection string asks for ("IANAAPPCODEPAGE", "IACP",
// "APPCODEPAGE", "ACP"), kJuCodePageMiss when none or invalid; the first
// "DSN" value is copied into a new block whose pointer goes to *dsn (null on
// entry; left null when there is none). A length of -3 means the text runs
// to its terminating zero. Braced values hide what is inside them.
int64_t juGetAppCodePageFromConnStrW(const char16_t* text, int64_t length, char16_t** dsn);
// The narrow form: text in ICU's default code page; *dsn gets a narrow copy.
int64_t juGetAppCodePageFromConnStr(const char* text, int64_t length, char** dsn);

// ---------------------------------------------------------------------------
// Conversion workers.
//
// Every worker takes, in this order, the destination and its size (in the
// destination's units), the source and its length (bytes or UTF-16 units),
// an optional out-parameter for what was written (destination units, not
// counting a terminator), an optional one for what was consumed (source
// units) where the worker reports it, the converter(s), and a swap flag
// where UTF-16 is involved (the UTF-16 side is in the opposite byte order;
// the caller's source is never changed). Result codes:
// ---------------------------------------------------------------------------

inline constexpr int32_t kJuConvOk = 0;
inline constexpr int32_t kJuConvTruncated = 1;      // the destination was too small; the output is cut
inline constexpr int32_t kJuConvUnmappable = 2;     // a character could not be converted
inline constexpr int32_t kJuConvFailed = 4;         // any other failure, or a bad argument
inline constexpr int32_t kJuConvBadTables = 5;      // the conversion tables are unusable
inline constexpr int32_t kJuConvUnknownCodePage = 6;  // no converter data for the code page

// An ICU error code as a result code (0, -124 and 15 -> 1, 12 -> 2, ...).
int32_t juMapIcuError(UErrorCode error);

// -3 (the ODBC null-terminated marker) as a source length of the UTF-8
// workers: the text runs to its terminating zero.
inline constexpr int64_t kJuNullTerminated = -3;

[[nodiscard]] int32_t juConvToUnicode(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                      int64_t* consumed, UConverter* source, int swap);
[[nodiscard]] int32_t juConvToUChars(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                     UConverter* source, int swap);
[[nodiscard]] int32_t juConvFromUnicode(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written,
                                        int64_t* consumed, UConverter* target, int swap);
[[nodiscard]] int32_t juConvFromUChars(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written,
                                       UConverter* target, int swap);
// Narrow to narrow through a UTF-16 pivot, with an ASCII fast path.
[[nodiscard]] int32_t juConvCodePage(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                     int64_t* consumed, UConverter* source, UConverter* target);
// The same, converters target first.
[[nodiscard]] int32_t juConvCodePageBytes(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                          int64_t* consumed, UConverter* target, UConverter* source);
// The pivot loop only; the first form wipes the pivot before it returns.
[[nodiscard]] int32_t juConvCodePagePivot(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                          int64_t* consumed, UConverter* source, UConverter* target);
[[nodiscard]] int32_t juConvCodePagePivot2(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                           int64_t* consumed, UConverter* source, UConverter* target);
// Character by character; on overflow *written is the size the whole text
// needs in the target (without terminator) and the result 1.
[[nodiscard]] int32_t juConvCodePageMeasured(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                             UConverter* source, UConverter* target);
// As Measured, terminated with the target's minimum character size in zeros.
[[nodiscard]] int32_t juConvCodePageChars(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                          UConverter* source, UConverter* target);
// Measured when the output may not fit, else Bytes.
[[nodiscard]] int32_t juConvCodePageSafe(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                         UConverter* target, UConverter* source);
[[nodiscard]] int32_t juUtf16ToUtf8(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written,
                                    int swap);
[[nodiscard]] int32_t juUtf16ToUtf8Z(char* dst, int64_t size, const char16_t* src, int64_t length, int64_t* written,
                                     int swap);
[[nodiscard]] int32_t juUtf8ToUtf16(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                    int swap);
[[nodiscard]] int32_t juUtf8ToUtf16Z(char16_t* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                     int swap);

// Resumable UTF converters with ICU's conventions (source length -1: to the
// NUL). Return the destination start, or null with *error set.
char* juUtf16ToUtf8Resumable(char** dst, int32_t capacity, int32_t* totalLength, const char16_t** src,
                             int32_t srcLength, UErrorCode* error);
char16_t* juUtf8ToUtf16Resumable(char16_t** dst, int32_t capacity, int32_t* totalLength, const char** src,
                                 int32_t srcLength, UErrorCode* error);

// Trail bytes of a UTF-8 lead byte: C0-DF one, E0-EF two, F0-F4 three, else 0.
int juUtf8TrailBytes(uint8_t lead);

// ---------------------------------------------------------------------------
// Shared pieces.
// ---------------------------------------------------------------------------

// Upper-cases UTF-8 text in place, never writing past n bytes nor over
// bytes not yet read.
void juUtf8StrUpper(char* text);
void juUtf8StrNUpper(char* text, size_t n);

// Bytes that WideCharToMultiByte needs (without the terminator): in the
// ANSI code page, or in a given Windows code page.
size_t juWStrAnsiLength(const char16_t* text);
size_t juWStrNAnsiLength(const char16_t* text, size_t n);
size_t juWStrCodePageLength(uint32_t windowsCodePage, const char16_t* text);
size_t juWStrNCodePageLength(uint32_t windowsCodePage, const char16_t* text, size_t n);

// 1 when ICU opens the id's converter (id 0: ICU's default converter).
int juCodePageIsSupported(int64_t id);
// The converter's maximum bytes per character, 0 when it cannot be opened.
int juCodePageMaxCharSize(int64_t id);
// `value` when the kind is 0 to 3, else 0.
int64_t juKindSelect(uint32_t kind, int64_t value);

// Loads a library by name (null on failure, nothing posted). With `flag`
// the name is taken as "<directory of the resource module>/<name>10.DLL".
void* juLoadLibrary(const char* name, int flag);
void* juLoadLibraryW(const char16_t* name, int flag);

// Units before the first zero unit.
size_t juWStrLen(const char16_t* text);
// 0 for null text, else units before the first zero, at most `maximum`.
size_t juWStrNLen(const char16_t* text, size_t maximum);
size_t juU32StrLen(const char32_t* text);
// A copy in a block of 2 * length + 4 bytes (text and four zero bytes);
// null (out of memory posted) on failure.
char16_t* juWStrDup(const char16_t* text);

// First unit in the low 16 bits, second (if any) in the high 16 bits; 0
// above U+10FFFF.   juCodePointToUtf16(0x1F600) -> 0xDE00D83D
uint32_t juCodePointToUtf16(uint32_t codePoint);
// Writes 1 to 4 bytes; returns the position after them.
char* juUtf8EncodeChar(char* dst, uint32_t codePoint);
// UTF-8 bytes packed first byte lowest.   juCodePointToUtf8Packed(0xE9) -> 0xA9C3
uint32_t juCodePointToUtf8Packed(uint32_t codePoint);
// Each unit with its bytes exchanged; dst may be src.
void juSwapUtf16(char16_t* dst, const char16_t* src, size_t n);

#endif  // JULIB_CODEPAGE_H
