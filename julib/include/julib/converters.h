// Open ICU converters kept by code page id: the converter manager
// (JuCodePageConverter), the converter pool and the lead-byte caches, and the
// functions that turn an ICU error or a conversion result code into a posted
// error or warning.
//
// Both owners open a converter by the id's ICU name (juCodePageIdToName; id 0
// is ICU's default converter, any other id without a name is unknown) and
// keep it; a kept converter is reset before it is handed out again, so no
// bytes or shift state of one conversion reach the next. Neither locks: a
// manager or a pool belongs to one thread at a time.
//
// Every entry point returns 0 when it succeeded or only warned and 1 when it
// posted an error. What is posted (SQLSTATE text and code in brackets):
//   2735 "String data translation caused data truncation."    warning ("01004", 4)
//   2736 "String data code page conversion failed."           warning ("01000", 2)
//   2737 "String data code page conversion failed."           error   ("HY000", 60)
//   2738 "Could not load translations tables for string data conversion."  error ("HY000", 60)
//   2739 "Unknown codepage. " followed by the id or the name  error   ("HY000", 60)
#ifndef JULIB_CONVERTERS_H
#define JULIB_CONVERTERS_H

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <cstddef>
#include <cstdint>

#include "julib/messages.h"  // kJuMsgConversion... and kJuMsgUnknownCodePage

// ---------------------------------------------------------------------------
// Reporting outcomes.
// ---------------------------------------------------------------------------

// Posts what an ICU error means and returns 0 (nothing or a warning) or 1
// (an error): U_FILE_ACCESS_ERROR 2739; U_ILLEGAL_CHAR_FOUND 2736;
// U_INVALID_TABLE_FORMAT and U_INVALID_TABLE_FILE 2738; U_BUFFER_OVERFLOW_ERROR
// 2735; any other failure 2737. Success and ICU's warnings post nothing.
//   juReportIcuError(U_INVALID_TABLE_FILE) -> 1, 2738 posted
[[nodiscard]] int juReportIcuError(UErrorCode error);

// Posts what a conversion result code (julib/codepage.h) means: 0 nothing;
// 1 2735; 2 2736; 5 2738; 6 2739; any other value 2737.
//   juReportConversionResult(kJuConvTruncated) -> 0, warning 2735 posted
[[nodiscard]] int juReportConversionResult(int32_t code);

// ---------------------------------------------------------------------------
// The counting from-Unicode callback.
// ---------------------------------------------------------------------------

// What juFromUnicodeCountingCallback reads and marks; the previous callback
// and context are what ucnv_setFromUCallBack returned when it was installed
// (ICU's substituting default).
struct JuCountingCallbackContext {
  // 1 stop at an unconvertible character; 0 substitute silently; any other
  // value substitute and set `substituted`.
  uint32_t mode = 0;
  uint32_t substituted = 0;
  UConverterFromUCallback previousCallback = nullptr;
  const void* previousContext = nullptr;
};

// An ICU from-Unicode callback; `context` is a JuCountingCallbackContext.
// Reset, close and clone calls are only passed on to the previous callback.
// Otherwise mode 1 returns with ICU's error in place (the conversion stops);
// any mode but 0 sets the substituted flag; then the previous callback writes
// the substitution character.
//   mode 2, U+3042 into windows-1252 -> the substitute, substituted = 1
void juFromUnicodeCountingCallback(const void* context, UConverterFromUnicodeArgs* args, const UChar* codeUnits,
                                   int32_t length, UChar32 codePoint, UConverterCallbackReason reason,
                                   UErrorCode* error);

// ---------------------------------------------------------------------------
// Lead-byte tables: 256 bytes, entry b is 1 when byte b alone is an
// incomplete character of the code page (a lead byte), else 0.
// ---------------------------------------------------------------------------

// Tables by code page id, each in its own block; the cache owns them. The
// manager keeps one; the pool-based functions below take one of the
// caller's. Appending makes room for 16 entries first, then doubles.
struct JuLeadByteCache {
  JuLeadByteCache() = default;
  JuLeadByteCache(const JuLeadByteCache&) = delete;
  JuLeadByteCache& operator=(const JuLeadByteCache&) = delete;
  ~JuLeadByteCache();  // frees the tables

  size_t count = 0;
  size_t capacity = 0;
  int64_t* ids = nullptr;
  uint8_t** tables = nullptr;
};

// n when the UTF-8 text does not end inside a character, else 0. A trailing
// byte that continues no lead byte is a character of its own.
//   juUtf8CompleteLength("a\xC3\xA9", 3) -> 3;  ("a\xE2\x82", 3) -> 0
size_t juUtf8CompleteLength(const char* bytes, size_t n);

// ---------------------------------------------------------------------------
// JuCodePageConverter: the converter manager.
// ---------------------------------------------------------------------------

// The memo ids' starting value: no code page has it.
inline constexpr int64_t kJuNoMemoId = 0xFEDCBA89;

// Converters by id: parallel arrays of `count` ids and converters.
struct JuConverterIdCache {
  size_t count = 0;
  size_t capacity = 0;
  int64_t* ids = nullptr;
  UConverter** converters = nullptr;
};

// Converters by name: owned, terminated copies of the names and their lengths.
struct JuConverterNameCache {
  size_t count = 0;
  size_t capacity = 0;
  char** names = nullptr;
  size_t* lengths = nullptr;
  UConverter** converters = nullptr;
};

// Opens a converter once per code page id or name, installs the counting
// callback (the manager's one context, mode 0 to begin with) on each, keeps
// the lead-byte tables, and converts by id, posting the outcome:
//   JuCodePageConverter m;
//   m.init(8);
//   m.toUtf8(out, sizeof out, "caf\xE9", 4, &written, nullptr, 2252) -> 0, out "caf\xC3\xA9"
//
// Sizes are in the destination's units (bytes, or UTF-16 units for the
// to-UTF-16 forms), lengths in the source's; written counts what the
// destination holds without the terminator, consumed the source units read;
// null out-parameters are skipped. A null destination or source, a size
// below 1 or a negative length is a bad argument (2737). The entry points
// that write narrow text in a code page (convert*, from*) report a
// character that the callback substituted in marking mode as 2736.
class JuCodePageConverter {
 public:
  JuCodePageConverter() = default;
  JuCodePageConverter(const JuCodePageConverter&) = delete;
  JuCodePageConverter& operator=(const JuCodePageConverter&) = delete;
  // Closes every kept converter and frees the caches.
  ~JuCodePageConverter();

  // Drops whatever an earlier init kept, then makes the caches with room for
  // `capacity` converters by id and by name. 1 on allocation failure. The
  // caches are also made on first need when init was never called.
  [[nodiscard]] int init(size_t capacity);

  // The id's converter, opened on first use: 0, or 1 with the reason posted
  // (2739 and the id in decimal when the id has no name or its data is
  // missing).   getConverter(2000005047, &c) -> 1, "Unknown codepage. 2000005047"
  [[nodiscard]] int getConverter(int64_t id, UConverter** converter);
  // The same by ICU converter name (counted, need not be terminated); 2739
  // is followed by the name, and an empty name is unknown.
  [[nodiscard]] int getConverterByName(const char* name, size_t length, UConverter** converter);
  // Stores the flag and applies ucnv_setFallback to every kept converter and
  // to those opened later.
  void setFallback(uint32_t flag);

  // The id's lead-byte table, built on first use and kept: 0, or 1.
  [[nodiscard]] int getLeadByteTable(int64_t id, const uint8_t** table);
  // *isLead = 0 or 1 from the table.   isLeadByte(2024, 0x82, &lead) -> 0, lead 1
  [[nodiscard]] int isLeadByte(int64_t id, uint8_t byte, int* isLead);
  // The converter's maximum / minimum bytes per character; 0 when it cannot
  // be had.   maxCharSize(2024) -> 2; minCharSize(1014) -> 2
  int32_t maxCharSize(int64_t id);
  int32_t minCharSize(int64_t id);

  // --- Conversions by id -----------------------------------------------------
  // Bytes of the code page to UTF-16, terminated (juConvToUChars).
  [[nodiscard]] int toUChars(char16_t* dst, int64_t units, const char* src, int64_t bytes, int64_t* written, int64_t id,
                             int swap);
  // The same, streaming (juConvToUnicode).
  [[nodiscard]] int toUnicode(char16_t* dst, int64_t units, const char* src, int64_t bytes, int64_t* written,
                              int64_t* consumed, int64_t id, int swap);
  // To UTF-8 per character; on overflow *written is the size the whole text
  // needs (juConvCodePageMeasured).
  [[nodiscard]] int toUtf8Measured(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                   int64_t id);
  // To UTF-8: id 106 is copied (length -1: to the NUL; a text longer than
  // the destination is cut after the last whole character that fits,
  // unterminated, and warns 2735); id 1014 is UTF-16LE of length / 2 units
  // (-1: to the zero unit), and consumed then counts the source bytes behind
  // the whole characters written; the EBCDIC td_ ids convert without the
  // ASCII fast path; every other id with it.
  //   toUtf8(out, 8, "0123456789", 10, &w, &c, 106) -> 0, w = c = 8, 2735 posted
  [[nodiscard]] int toUtf8(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                           int64_t* consumed, int64_t id);
  // Narrow to narrow through UTF-16; the pivot is wiped (juConvCodePagePivot).
  [[nodiscard]] int convertPivot(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                 int64_t* consumed, int64_t fromId, int64_t toId);
  // Per character, terminated with the target's minimum character size in
  // zeros (juConvCodePageChars).
  [[nodiscard]] int convertChars(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                 int64_t fromId, int64_t toId);
  // Narrow to narrow through UTF-16 (juConvCodePagePivot2).
  [[nodiscard]] int convertPivotById(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                     int64_t* consumed, int64_t fromId, int64_t toId);
  // The same with converters by NUL-terminated name.
  [[nodiscard]] int convertByName(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                  int64_t* consumed, const char* fromName, const char* toName);
  // UTF-16 to the code page, terminated (juConvFromUChars).
  [[nodiscard]] int fromUChars(char* dst, int64_t size, const char16_t* src, int64_t units, int64_t* written,
                               int64_t id, int swap);
  // The same, streaming (juConvFromUnicode).
  [[nodiscard]] int fromUnicode(char* dst, int64_t size, const char16_t* src, int64_t units, int64_t* written,
                                int64_t* consumed, int64_t id, int swap);
  // UTF-8 to the code page, per character when it may not fit
  // (juConvCodePageSafe).
  [[nodiscard]] int fromUtf8Safe(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                 int64_t id);
  // UTF-8 to the code page with the ASCII fast path (juConvCodePageBytes).
  [[nodiscard]] int fromUtf8(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                             int64_t* consumed, int64_t id);

  // Fields, in this order.
  JuConverterIdCache* idCache = nullptr;
  int64_t lastId = kJuNoMemoId;
  UConverter* lastConverter = nullptr;
  JuLeadByteCache* leadByteCache = nullptr;
  int64_t lastLeadByteId = kJuNoMemoId;
  const uint8_t* lastLeadByteTable = nullptr;
  JuConverterNameCache* nameCache = nullptr;
  const char* lastName = nullptr;  // the cached copy
  size_t lastNameLength = 0;
  UConverter* lastNameConverter = nullptr;
  UConverter* utf8Converter = nullptr;  // opened as "UTF8"; also in the name cache
  JuCountingCallbackContext callbackContext;
  uint32_t fallback = 0;

 private:
  // The UTF-8 converter, opened on first need.
  int getUtf8Converter(UConverter** converter);
  // Both converters of a narrow-to-narrow conversion.
  int getPair(int64_t fromId, int64_t toId, UConverter** from, UConverter** to);
  // Installs the callback and the fallback on a converter just opened.
  int prepare(UConverter* converter);
  // Before a conversion whose substitutions count: forget older ones.
  void clearSubstituted() { callbackContext.substituted = 0; }
  // A worker's code for the entry points that count substitutions.
  int reportCounted(int32_t code);
  // Closes every converter and frees every cache.
  void releaseAll();
};

// ---------------------------------------------------------------------------
// The converter pool: up to 8 code pages, each with up to 3 idle converters.
// ---------------------------------------------------------------------------

inline constexpr uint32_t kJuPoolEntries = 8;
inline constexpr uint32_t kJuPoolIdle = 3;

struct JuConverterPoolEntry {
  int64_t id;
  const char* name;  // juCodePageIdToName(id)
  int32_t maxCharSize;
  int32_t minCharSize;
  uint32_t idleCount;  // 0 to 3
  UConverter* idle[kJuPoolIdle];
};

// A plain record: its owner zeroes it and sets the capacity (at most 8; more
// counts as 8), the callback mode (0 installs no callback; any other value
// installs the counting callback with that mode, one context per converter)
// and the fallback flag. Entries are never removed.
//   JuConverterPool pool{};
//   pool.capacity = 8;
struct JuConverterPool {
  uint32_t count;
  uint32_t capacity;
  JuConverterPoolEntry entries[kJuPoolEntries];
  JuCountingCallbackContext* contexts[kJuPoolEntries][kJuPoolIdle];  // beside entries[i].idle[j]
  uint32_t callbackMode;
  uint32_t fallback;
};

// A converter for the id: the idle one put back last (reset), else a new one
// (which claims an entry while the pool has room). *context (required)
// receives its callback context, null with mode 0; it goes back with the
// converter. Null, with the reason posted, when none can be opened.
//   juConverterPoolGet(&pool, 2252, &ctx) -> converter
UConverter* juConverterPoolGet(JuConverterPool* pool, int64_t id, JuCountingCallbackContext** context);
// Gives a converter back: it becomes idle when the id has an entry with
// fewer than 3 idle converters, else it is closed and its context freed. 0.
//   the fourth put for one id -> 0, the converter closed
int juConverterPoolPut(JuConverterPool* pool, int64_t id, UConverter* converter, JuCountingCallbackContext* context);
// Closes every idle converter and frees its context; entries stay (ids,
// names, sizes), and a later get opens anew.
void juConverterPoolClear(JuConverterPool* pool);
// The id's maximum and minimum bytes per character: 2 and 2 for 1013, 1014
// and 1015 without opening anything; an entry's recorded sizes; else from a
// converter opened for it (kept as the new entry's first idle converter
// while the pool has room). 2 and 1 when none opens.
//   juConverterPoolCharSizes(&pool, 2024, &max, &min) -> max 2, min 1
void juConverterPoolCharSizes(JuConverterPool* pool, int64_t id, int32_t* maximum, int32_t* minimum);
// Stores the flag and applies ucnv_setFallback to every idle converter and
// to those opened later.   juConverterPoolSetFallback(&pool, 1)
void juConverterPoolSetFallback(JuConverterPool* pool, uint32_t flag);

// ---------------------------------------------------------------------------
// Lead-byte functions over a caller's cache. Each returns 0, or 1 when the
// cache holds no table for the id (or, for the first, none can be built).
// Characters are stepped from the start of the text: 2 bytes at a lead byte,
// else 1.
// ---------------------------------------------------------------------------

// The cached table, or one built with a pooled converter (given back) and
// cached.   juLeadByteTableFromPool(&cache, &pool, 2024, &table) -> 0, table[0x82] 1
[[nodiscard]] int juLeadByteTableFromPool(JuLeadByteCache* cache, JuConverterPool* pool, int64_t id,
                                          const uint8_t** table);
//   juLeadByteLookup(&cache, 2024, 'A', &lead) -> 0, lead 0
[[nodiscard]] int juLeadByteLookup(const JuLeadByteCache* cache, int64_t id, uint8_t byte, int* isLead);
// n, or n - 1 when the last byte is a lead byte that starts a character.
//   (932) "\x88\x9F" -> 2 (0x9F is a trail byte here); "a\x88" -> 1
[[nodiscard]] int juLeadByteCompleteLength(const JuLeadByteCache* cache, int64_t id, const char* bytes, size_t n,
                                           size_t* length);
// Characters in n bytes; a trailing lead byte counts as one.
//   (932) "a\x82" -> 2
[[nodiscard]] int juLeadByteCharCount(const JuLeadByteCache* cache, int64_t id, const char* bytes, size_t n,
                                      size_t* count);
// The same count, and the bytes of the characters wholly inside n.
//   (932) "a\x82" -> count 2, bytes 1
[[nodiscard]] int juLeadByteCharCountAndBytes(const JuLeadByteCache* cache, int64_t id, const char* bytes, size_t n,
                                              size_t* wholeBytes, size_t* count);
// The length of the longest prefix of n bytes that ends on a character
// boundary: n for a converter of 1 byte per character; from the table for
// code pages of at most 2 bytes per character; for longer characters the
// converter reads the text (its to-Unicode state is reset before and after).
//   (GB18030) "a\x81\x30" -> 1
[[nodiscard]] int juLeadByteLastBoundary(const JuLeadByteCache* cache, UConverter* converter, int64_t id,
                                         const char* bytes, size_t n, size_t* length);

#endif  // JULIB_CONVERTERS_H
