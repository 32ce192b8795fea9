// Lead-byte tables read from ICU converters, their caches, and the
// character-boundary functions built on them.
//
// A byte is a lead byte when the converter, given that byte alone, holds it
// as the start of an incomplete character. The converter is asked with flush
// off, so that ICU's substituting to-Unicode callback does not turn the
// incomplete character into U+FFFD before anyone sees it, and its to-Unicode
// state is reset around each probe, so that one byte's state never reaches
// the next.

#include <unicode/ucnv.h>

#include "converter_internal.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "utf8_decode.h"

namespace ji = julib::internal;

namespace {

constexpr size_t kTableSize = 256;
constexpr size_t kFirstCacheCapacity = 16;

// Characters stepped from the start by a table: how many begin below n, and
// the bytes of those that end within it.
struct Walk {
  size_t count = 0;
  size_t whole = 0;
};

Walk walk(const uint8_t* table, const char* bytes, size_t n) {
  Walk w;
  while (w.whole < n) {
    const size_t step = table[static_cast<uint8_t>(bytes[w.whole])] != 0 ? 2 : 1;
    ++w.count;
    if (step > n - w.whole) break;  // a lead byte at the very end
    w.whole += step;
  }
  return w;
}

}  // namespace

JuLeadByteCache::~JuLeadByteCache() {
  for (size_t i = 0; i < count; ++i) juFree(tables[i]);
  juFree(tables);
  juFree(ids);
}

namespace julib::internal {

size_t pendingAfter(UConverter* converter, const char* bytes, size_t n) {
  ucnv_resetToUnicode(converter);
  UChar scratch[64];  // the text itself is not wanted, only what stays held
  const char* source = bytes;
  const char* const limit = bytes + n;
  for (;;) {
    UChar* target = scratch;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, scratch + sizeof scratch / sizeof scratch[0], &source, limit, nullptr, false,
                   &status);
    if (status != U_BUFFER_OVERFLOW_ERROR) break;  // a full scratch buffer always means progress
  }
  UErrorCode status = U_ZERO_ERROR;
  const int32_t held = ucnv_toUCountPending(converter, &status);
  ucnv_resetToUnicode(converter);
  return U_SUCCESS(status) && held > 0 ? static_cast<size_t>(held) : 0;
}

uint8_t* buildLeadByteTable(UConverter* converter) {
  auto* table = static_cast<uint8_t*>(juMallocChecked(kTableSize));
  if (table == nullptr) return nullptr;
  for (size_t b = 0; b < kTableSize; ++b) {
    const char byte = static_cast<char>(b);
    table[b] = pendingAfter(converter, &byte, 1) != 0 ? 1 : 0;
  }
  return table;
}

const uint8_t* findLeadByteTable(const JuLeadByteCache* cache, int64_t id) {
  if (cache == nullptr) return nullptr;
  for (size_t i = 0; i < cache->count; ++i) {
    if (cache->ids[i] == id) return cache->tables[i];
  }
  return nullptr;
}

int addLeadByteTable(JuLeadByteCache* cache, int64_t id, uint8_t* table) {
  if (cache->count == cache->capacity) {
    const size_t grown = nextCapacity(cache->capacity, kFirstCacheCapacity);
    if (grown == 0 || !resizeArray(cache->ids, grown) || !resizeArray(cache->tables, grown)) return 1;
    cache->capacity = grown;
  }
  cache->ids[cache->count] = id;
  cache->tables[cache->count] = table;
  ++cache->count;
  return 0;
}

}  // namespace julib::internal

int juLeadByteTableFromPool(JuLeadByteCache* cache, JuConverterPool* pool, int64_t id, const uint8_t** table) {
  const uint8_t* cached = ji::findLeadByteTable(cache, id);
  if (cached != nullptr) {
    *table = cached;
    return 0;
  }
  JuCountingCallbackContext* context = nullptr;
  UConverter* converter = juConverterPoolGet(pool, id, &context);
  if (converter == nullptr) return 1;
  uint8_t* built = ji::buildLeadByteTable(converter);
  (void)juConverterPoolPut(pool, id, converter, context);  // always 0
  if (built == nullptr) return 1;
  if (ji::addLeadByteTable(cache, id, built) != 0) {
    juFree(built);
    return 1;
  }
  *table = built;
  return 0;
}

int juLeadByteLookup(const JuLeadByteCache* cache, int64_t id, uint8_t byte, int* isLead) {
  const uint8_t* table = ji::findLeadByteTable(cache, id);
  if (table == nullptr) return 1;
  *isLead = table[byte];
  return 0;
}

// Stepping from the start, not looking at the last byte alone: a trail byte
// may have a lead byte's value ("\x88\x9F" is one character in 932).
int juLeadByteCompleteLength(const JuLeadByteCache* cache, int64_t id, const char* bytes, size_t n, size_t* length) {
  const uint8_t* table = ji::findLeadByteTable(cache, id);
  if (table == nullptr) return 1;
  *length = walk(table, bytes, n).whole;
  return 0;
}

int juLeadByteCharCount(const JuLeadByteCache* cache, int64_t id, const char* bytes, size_t n, size_t* count) {
  const uint8_t* table = ji::findLeadByteTable(cache, id);
  if (table == nullptr) return 1;
  *count = walk(table, bytes, n).count;
  return 0;
}

int juLeadByteCharCountAndBytes(const JuLeadByteCache* cache, int64_t id, const char* bytes, size_t n,
                                size_t* wholeBytes, size_t* count) {
  const uint8_t* table = ji::findLeadByteTable(cache, id);
  if (table == nullptr) return 1;
  const Walk w = walk(table, bytes, n);
  *wholeBytes = w.whole;
  *count = w.count;
  return 0;
}

// Characters longer than two bytes have trail bytes that look like lead
// bytes (GB18030's four-byte forms), so no table tells where they end: the
// converter reads the text and what it still holds at the end is cut off.
int juLeadByteLastBoundary(const JuLeadByteCache* cache, UConverter* converter, int64_t id, const char* bytes, size_t n,
                           size_t* length) {
  if (n == 0) {
    *length = 0;
    return 0;
  }
  if (converter == nullptr) return 1;
  const int maxSize = ucnv_getMaxCharSize(converter);
  if (maxSize <= 1) {
    *length = n;
    return 0;
  }
  const uint8_t* table = ji::findLeadByteTable(cache, id);
  if (table == nullptr) return 1;
  if (maxSize <= 2) {
    *length = walk(table, bytes, n).whole;
    return 0;
  }
  const size_t held = ji::pendingAfter(converter, bytes, n);
  *length = held < n ? n - held : 0;
  return 0;
}

size_t juUtf8CompleteLength(const char* bytes, size_t n) {
  return julib::internal::utf8WholeLength(reinterpret_cast<const uint8_t*>(bytes), n) == n ? n : 0;
}
