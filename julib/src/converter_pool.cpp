// The converter pool: up to 8 code pages, each with up to 3 idle converters
// that callers take and give back, and the character sizes of each.

#include <unicode/ucnv.h>

#include <new>

#include "converter_internal.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "julib/errors.h"

namespace ji = julib::internal;

namespace {

uint32_t capacityOf(const JuConverterPool* pool) {
  return pool->capacity < kJuPoolEntries ? pool->capacity : kJuPoolEntries;
}

// Index of the id's entry, or -1.
int entryIndex(const JuConverterPool* pool, int64_t id) {
  const uint32_t used = pool->count < kJuPoolEntries ? pool->count : kJuPoolEntries;
  for (uint32_t i = 0; i < used; ++i) {
    if (pool->entries[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

// Gives a converter just opened the pool's callback (a context of its own)
// and fallback. 0, or 1 with the reason posted; the converter stays open.
int equip(const JuConverterPool* pool, UConverter* converter, JuCountingCallbackContext** context) {
  *context = nullptr;
  if (pool->callbackMode != 0) {
    auto* counting = new (std::nothrow) JuCountingCallbackContext;  // out of memory is recorded
    if (counting == nullptr) return 1;
    counting->mode = pool->callbackMode;
    const UErrorCode status = ji::installCountingCallback(converter, counting);
    if (U_FAILURE(status)) {
      delete counting;
      (void)juReportIcuError(status);
      return 1;
    }
    *context = counting;
  }
  if (pool->fallback != 0) ucnv_setFallback(converter, true);
  return 0;
}

// A new converter for the id with the pool's callback and fallback; null,
// with the reason posted, when it cannot be had.
UConverter* openEquipped(const JuConverterPool* pool, int64_t id, JuCountingCallbackContext** context) {
  UConverter* converter = ji::openConverterById(id);
  if (converter == nullptr) return nullptr;
  if (equip(pool, converter, context) != 0) {
    ucnv_close(converter);
    return nullptr;
  }
  return converter;
}

void closeWithContext(UConverter* converter, JuCountingCallbackContext* context) {
  if (converter != nullptr) ucnv_close(converter);  // calls the callback with its context: close first
  delete context;
}

void recordSizes(JuConverterPoolEntry& entry, UConverter* converter) {
  entry.maxCharSize = ucnv_getMaxCharSize(converter);
  entry.minCharSize = ucnv_getMinCharSize(converter);
}

bool isUtf16Id(int64_t id) { return id == 1013 || id == 1014 || id == 1015; }

}  // namespace

UConverter* juConverterPoolGet(JuConverterPool* pool, int64_t id, JuCountingCallbackContext** context) {
  *context = nullptr;
  const int index = entryIndex(pool, id);
  if (index < 0) {
    // Full: a converter the pool does not keep (its put closes it).
    if (pool->count >= capacityOf(pool)) return openEquipped(pool, id, context);
    // The next entry is claimed only once a converter opens for it.
    UConverter* converter = openEquipped(pool, id, context);
    if (converter == nullptr) return nullptr;
    JuConverterPoolEntry& entry = pool->entries[pool->count];
    entry.id = id;
    entry.name = juCodePageIdToName(id);
    entry.idleCount = 0;
    recordSizes(entry, converter);
    ++pool->count;
    return converter;
  }
  JuConverterPoolEntry& entry = pool->entries[index];
  if (entry.idleCount == 0) return openEquipped(pool, id, context);
  const uint32_t last = --entry.idleCount;
  UConverter* converter = entry.idle[last];
  JuCountingCallbackContext* counting = pool->contexts[index][last];
  entry.idle[last] = nullptr;
  pool->contexts[index][last] = nullptr;
  // Nothing of the last user's conversion may reach the next one.
  ucnv_reset(converter);
  if (counting != nullptr) counting->substituted = 0;
  *context = counting;
  return converter;
}

int juConverterPoolPut(JuConverterPool* pool, int64_t id, UConverter* converter, JuCountingCallbackContext* context) {
  const int index = entryIndex(pool, id);
  if (converter == nullptr || index < 0 || pool->entries[index].idleCount >= kJuPoolIdle) {
    closeWithContext(converter, context);
    return 0;
  }
  JuConverterPoolEntry& entry = pool->entries[index];
  pool->contexts[index][entry.idleCount] = context;
  entry.idle[entry.idleCount++] = converter;
  return 0;
}

void juConverterPoolClear(JuConverterPool* pool) {
  const uint32_t used = pool->count < kJuPoolEntries ? pool->count : kJuPoolEntries;
  for (uint32_t i = 0; i < used; ++i) {
    JuConverterPoolEntry& entry = pool->entries[i];
    for (uint32_t j = 0; j < entry.idleCount && j < kJuPoolIdle; ++j) {
      closeWithContext(entry.idle[j], pool->contexts[i][j]);
      entry.idle[j] = nullptr;
      pool->contexts[i][j] = nullptr;
    }
    entry.idleCount = 0;
  }
}

void juConverterPoolCharSizes(JuConverterPool* pool, int64_t id, int32_t* maximum, int32_t* minimum) {
  if (isUtf16Id(id)) {
    *maximum = 2;
    *minimum = 2;
    return;
  }
  const int index = entryIndex(pool, id);
  if (index >= 0) {
    *maximum = pool->entries[index].maxCharSize;
    *minimum = pool->entries[index].minCharSize;
    return;
  }
  UConverter* converter = ji::openConverterById(id);
  if (converter == nullptr) {
    *maximum = 2;
    *minimum = 1;
    return;
  }
  *maximum = ucnv_getMaxCharSize(converter);
  *minimum = ucnv_getMinCharSize(converter);
  JuCountingCallbackContext* context = nullptr;
  if (pool->count >= capacityOf(pool) || equip(pool, converter, &context) != 0) {
    ucnv_close(converter);  // only opened to read its sizes
    return;
  }
  // The new entry keeps the converter as its first idle one.
  const uint32_t i = pool->count++;
  JuConverterPoolEntry& entry = pool->entries[i];
  entry.id = id;
  entry.name = juCodePageIdToName(id);
  recordSizes(entry, converter);
  entry.idle[0] = converter;
  entry.idleCount = 1;
  pool->contexts[i][0] = context;
}

void juConverterPoolSetFallback(JuConverterPool* pool, uint32_t flag) {
  pool->fallback = flag;
  const uint32_t used = pool->count < kJuPoolEntries ? pool->count : kJuPoolEntries;
  for (uint32_t i = 0; i < used; ++i) {
    const JuConverterPoolEntry& entry = pool->entries[i];
    for (uint32_t j = 0; j < entry.idleCount && j < kJuPoolIdle; ++j) ucnv_setFallback(entry.idle[j], flag != 0);
  }
}
