// JuCodePageConverter: converters opened once per code page id or name and
// kept, their lead-byte tables, and conversions by id that post the outcome.

#include <unicode/ucnv.h>

#include <cstring>
#include <new>

#include "codepage_workers.h"
#include "converter_internal.h"
#include "julib/codepage.h"
#include "julib/converters.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "utf8_decode.h"

namespace ji = julib::internal;

namespace {

constexpr size_t kFirstCapacity = 16;  // when init was asked for none
constexpr char kUtf8Name[] = "UTF8";
constexpr int64_t kUtf8Id = 106;
constexpr int64_t kUtf16LeId = 1014;

// The td_ EBCDIC converters: ASCII bytes mean something else there, so the
// ASCII fast path must not copy them.
constexpr int64_t kFirstTdId = 2000005039;
constexpr int64_t kLastTdId = 2000005056;
constexpr uint32_t kTdEbcdicMask = 0x244DF;

bool isTdEbcdic(int64_t id) {
  return id >= kFirstTdId && id <= kLastTdId && ((kTdEbcdicMask >> (id - kFirstTdId)) & 1) != 0;
}

bool badArguments(const void* dst, int64_t size, const void* src, int64_t length) {
  return dst == nullptr || size < 1 || src == nullptr || length < 0;
}

int reportBadArguments() { return juReportConversionResult(kJuConvFailed); }

// Room for one more entry in a cache of parallel arrays.
template <typename Cache, typename... Arrays>
bool roomForOne(Cache* cache, Arrays*&... arrays) {
  if (cache->count < cache->capacity) return true;
  const size_t grown = ji::nextCapacity(cache->capacity, kFirstCapacity);
  if (grown == 0 || !(ji::resizeArray(arrays, grown) && ...)) return false;
  cache->capacity = grown;
  return true;
}

template <typename Cache, typename... Arrays>
bool reserve(Cache* cache, size_t capacity, Arrays*&... arrays) {
  if (capacity == 0) return true;
  if (!(ji::resizeArray(arrays, capacity) && ...)) return false;
  cache->capacity = capacity;
  return true;
}

// Units of NUL-terminated UTF-16LE bytes that may not be aligned.
size_t unalignedUnitLength(const char* bytes) {
  size_t n = 0;
  while (bytes[2 * n] != 0 || bytes[2 * n + 1] != 0) ++n;
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle.
// ---------------------------------------------------------------------------

JuCodePageConverter::~JuCodePageConverter() { releaseAll(); }

void JuCodePageConverter::releaseAll() {
  if (idCache != nullptr) {
    for (size_t i = 0; i < idCache->count; ++i) ucnv_close(idCache->converters[i]);
    juFree(idCache->ids);
    juFree(idCache->converters);
    delete idCache;
    idCache = nullptr;
  }
  if (nameCache != nullptr) {
    for (size_t i = 0; i < nameCache->count; ++i) {
      ucnv_close(nameCache->converters[i]);
      juFree(nameCache->names[i]);
    }
    juFree(nameCache->names);
    juFree(nameCache->lengths);
    juFree(nameCache->converters);
    delete nameCache;
    nameCache = nullptr;
  }
  delete leadByteCache;
  leadByteCache = nullptr;
  lastId = kJuNoMemoId;
  lastConverter = nullptr;
  lastLeadByteId = kJuNoMemoId;
  lastLeadByteTable = nullptr;
  lastName = nullptr;
  lastNameLength = 0;
  lastNameConverter = nullptr;
  utf8Converter = nullptr;  // it was in the name cache
}

int JuCodePageConverter::init(size_t capacity) {
  releaseAll();
  idCache = new (std::nothrow) JuConverterIdCache;
  nameCache = new (std::nothrow) JuConverterNameCache;
  leadByteCache = new (std::nothrow) JuLeadByteCache;
  if (idCache == nullptr || nameCache == nullptr || leadByteCache == nullptr) return 1;
  if (!reserve(idCache, capacity, idCache->ids, idCache->converters)) return 1;
  if (!reserve(nameCache, capacity, nameCache->names, nameCache->lengths, nameCache->converters)) return 1;
  return 0;
}

int JuCodePageConverter::prepare(UConverter* converter) {
  if (U_FAILURE(ji::installCountingCallback(converter, &callbackContext))) {
    ji::postCallbackFailure();
    return 1;
  }
  if (fallback != 0) ucnv_setFallback(converter, true);
  return 0;
}

// ---------------------------------------------------------------------------
// Converters by id and by name. A kept converter is reset whenever it is
// handed out, so that an earlier conversion's state never carries over.
// ---------------------------------------------------------------------------

int JuCodePageConverter::getConverter(int64_t id, UConverter** converter) {
  *converter = nullptr;
  if (lastConverter != nullptr && id == lastId) {
    ucnv_reset(lastConverter);
    *converter = lastConverter;
    return 0;
  }
  if (idCache != nullptr) {
    for (size_t i = 0; i < idCache->count; ++i) {
      if (idCache->ids[i] != id) continue;
      lastId = id;
      lastConverter = idCache->converters[i];
      ucnv_reset(lastConverter);
      *converter = lastConverter;
      return 0;
    }
  }
  UConverter* opened = ji::openConverterById(id);
  if (opened == nullptr) return 1;
  if (prepare(opened) != 0) {
    ucnv_close(opened);
    return 1;
  }
  if (idCache == nullptr) idCache = new (std::nothrow) JuConverterIdCache;  // init never called
  if (idCache == nullptr || !roomForOne(idCache, idCache->ids, idCache->converters)) {
    ucnv_close(opened);
    return 1;
  }
  idCache->ids[idCache->count] = id;
  idCache->converters[idCache->count] = opened;
  ++idCache->count;
  lastId = id;
  lastConverter = opened;
  *converter = opened;
  return 0;
}

int JuCodePageConverter::getConverterByName(const char* name, size_t length, UConverter** converter) {
  *converter = nullptr;
  if (name == nullptr) {
    name = "";
    length = 0;
  }
  if (lastNameConverter != nullptr && length == lastNameLength && juMemEqual(name, lastName, length)) {
    ucnv_reset(lastNameConverter);
    *converter = lastNameConverter;
    return 0;
  }
  if (nameCache != nullptr) {
    for (size_t i = 0; i < nameCache->count; ++i) {
      if (nameCache->lengths[i] != length || !juMemEqual(nameCache->names[i], name, length)) continue;
      lastName = nameCache->names[i];
      lastNameLength = length;
      lastNameConverter = nameCache->converters[i];
      ucnv_reset(lastNameConverter);
      *converter = lastNameConverter;
      return 0;
    }
  }
  // The copy is made first: ICU wants the name terminated.
  char* copy = juStrNDup(name, length);
  if (copy == nullptr) return 1;
  UConverter* opened = ji::openConverterByName(copy);
  if (opened == nullptr || prepare(opened) != 0) {
    if (opened != nullptr) ucnv_close(opened);
    juFree(copy);
    return 1;
  }
  if (nameCache == nullptr) nameCache = new (std::nothrow) JuConverterNameCache;  // init never called
  if (nameCache == nullptr || !roomForOne(nameCache, nameCache->names, nameCache->lengths, nameCache->converters)) {
    ucnv_close(opened);
    juFree(copy);
    return 1;
  }
  nameCache->names[nameCache->count] = copy;
  nameCache->lengths[nameCache->count] = length;
  nameCache->converters[nameCache->count] = opened;
  ++nameCache->count;
  lastName = copy;
  lastNameLength = length;
  lastNameConverter = opened;
  *converter = opened;
  return 0;
}

int JuCodePageConverter::getUtf8Converter(UConverter** converter) {
  if (utf8Converter != nullptr) {
    ucnv_reset(utf8Converter);
    *converter = utf8Converter;
    return 0;
  }
  if (getConverterByName(kUtf8Name, sizeof kUtf8Name - 1, converter) != 0) return 1;
  utf8Converter = *converter;
  return 0;
}

int JuCodePageConverter::getPair(int64_t fromId, int64_t toId, UConverter** from, UConverter** to) {
  if (getConverter(fromId, from) != 0) return 1;
  return getConverter(toId, to);
}

void JuCodePageConverter::setFallback(uint32_t flag) {
  fallback = flag;
  if (idCache != nullptr) {
    for (size_t i = 0; i < idCache->count; ++i) ucnv_setFallback(idCache->converters[i], flag != 0);
  }
  if (nameCache != nullptr) {
    for (size_t i = 0; i < nameCache->count; ++i) ucnv_setFallback(nameCache->converters[i], flag != 0);
  }
}

// ---------------------------------------------------------------------------
// Lead bytes and character sizes.
// ---------------------------------------------------------------------------

int JuCodePageConverter::getLeadByteTable(int64_t id, const uint8_t** table) {
  if (lastLeadByteTable != nullptr && id == lastLeadByteId) {
    *table = lastLeadByteTable;
    return 0;
  }
  const uint8_t* cached = ji::findLeadByteTable(leadByteCache, id);
  if (cached == nullptr) {
    UConverter* converter = nullptr;
    if (getConverter(id, &converter) != 0) return 1;
    uint8_t* built = ji::buildLeadByteTable(converter);
    if (built == nullptr) return 1;
    if (leadByteCache == nullptr) leadByteCache = new (std::nothrow) JuLeadByteCache;  // init never called
    if (leadByteCache == nullptr || ji::addLeadByteTable(leadByteCache, id, built) != 0) {
      juFree(built);
      return 1;
    }
    cached = built;
  }
  lastLeadByteId = id;
  lastLeadByteTable = cached;
  *table = cached;
  return 0;
}

int JuCodePageConverter::isLeadByte(int64_t id, uint8_t byte, int* isLead) {
  const uint8_t* table = nullptr;
  if (getLeadByteTable(id, &table) != 0) return 1;
  *isLead = table[byte];
  return 0;
}

int32_t JuCodePageConverter::maxCharSize(int64_t id) {
  UConverter* converter = nullptr;
  return getConverter(id, &converter) != 0 ? 0 : ucnv_getMaxCharSize(converter);
}

int32_t JuCodePageConverter::minCharSize(int64_t id) {
  UConverter* converter = nullptr;
  return getConverter(id, &converter) != 0 ? 0 : ucnv_getMinCharSize(converter);
}

// ---------------------------------------------------------------------------
// Conversions.
// ---------------------------------------------------------------------------

int JuCodePageConverter::reportCounted(int32_t code) {
  if (callbackContext.substituted != 0) {
    callbackContext.substituted = 0;
    code = kJuConvUnmappable;
  }
  return juReportConversionResult(code);
}

int JuCodePageConverter::toUChars(char16_t* dst, int64_t units, const char* src, int64_t bytes, int64_t* written,
                                  int64_t id, int swap) {
  UConverter* converter = nullptr;
  if (getConverter(id, &converter) != 0) return 1;
  if (badArguments(dst, units, src, bytes)) return reportBadArguments();
  return juReportConversionResult(juConvToUChars(dst, units, src, bytes, written, converter, swap));
}

int JuCodePageConverter::toUnicode(char16_t* dst, int64_t units, const char* src, int64_t bytes, int64_t* written,
                                   int64_t* consumed, int64_t id, int swap) {
  UConverter* converter = nullptr;
  if (getConverter(id, &converter) != 0) return 1;
  if (badArguments(dst, units, src, bytes)) return reportBadArguments();
  return juReportConversionResult(juConvToUnicode(dst, units, src, bytes, written, consumed, converter, swap));
}

int JuCodePageConverter::toUtf8Measured(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                        int64_t id) {
  UConverter* source = nullptr;
  UConverter* utf8 = nullptr;
  if (getConverter(id, &source) != 0 || getUtf8Converter(&utf8) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  return juReportConversionResult(juConvCodePageMeasured(dst, size, src, length, written, source, utf8));
}

int JuCodePageConverter::toUtf8(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                int64_t* consumed, int64_t id) {
  if (id == kUtf16LeId) {
    if (dst == nullptr || size < 1 || src == nullptr || length < -1) return reportBadArguments();
    // The units are read in place when aligned, else from an aligned copy.
    int64_t units = length == -1 ? kJuNullTerminated : length / 2;
    const char16_t* text = reinterpret_cast<const char16_t*>(src);
    char16_t* copy = nullptr;
    if (reinterpret_cast<uintptr_t>(src) % alignof(char16_t) != 0) {
      const size_t n = units < 0 ? unalignedUnitLength(src) : static_cast<size_t>(units);
      copy = static_cast<char16_t*>(juMallocChecked(n * sizeof(char16_t)));
      if (copy == nullptr) return 1;
      std::memcpy(copy, src, n * sizeof(char16_t));
      text = copy;
      units = static_cast<int64_t>(n);
    }
    int64_t produced = 0;
    int64_t heldBytes = 0;
    int64_t heldUnits = 0;
    const int32_t code = ji::utf16ToUtf8Held(dst, size, text, units, 0, &produced, &heldBytes, &heldUnits);
    juFree(copy);
    if (code <= kJuConvTruncated) {
      // A cut text counts only what the destination holds.
      produced = heldBytes;
      if (consumed != nullptr) *consumed = 2 * heldUnits;
    }
    if (written != nullptr) *written = produced;
    return juReportConversionResult(code);
  }
  if (length == -1 && src != nullptr) length = static_cast<int64_t>(juStrLen(src));
  if (id == kUtf8Id) {
    if (src == nullptr || length < 0 || size < 0 || (dst == nullptr && size > 0)) return reportBadArguments();
    int status = 0;
    int64_t copied = length;
    if (length > size) {
      // Cut after the last whole character, unterminated, and said so.
      const auto* bytes = reinterpret_cast<const uint8_t*>(src);
      copied = static_cast<int64_t>(ji::utf8WholeLength(bytes, static_cast<size_t>(size)));
      status = juReportConversionResult(kJuConvTruncated);
    }
    if (copied > 0) std::memcpy(dst, src, static_cast<size_t>(copied));
    if (copied < size) dst[copied] = '\0';
    if (written != nullptr) *written = copied;
    if (consumed != nullptr) *consumed = copied;
    return status;
  }
  if (isTdEbcdic(id)) return convertPivotById(dst, size, src, length, written, consumed, id, kUtf8Id);
  UConverter* source = nullptr;
  UConverter* utf8 = nullptr;
  if (getConverter(id, &source) != 0 || getUtf8Converter(&utf8) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  return juReportConversionResult(juConvCodePage(dst, size, src, length, written, consumed, source, utf8));
}

int JuCodePageConverter::convertPivot(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                      int64_t* consumed, int64_t fromId, int64_t toId) {
  UConverter* from = nullptr;
  UConverter* to = nullptr;
  if (getPair(fromId, toId, &from, &to) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvCodePagePivot(dst, size, src, length, written, consumed, from, to));
}

int JuCodePageConverter::convertChars(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                      int64_t fromId, int64_t toId) {
  UConverter* from = nullptr;
  UConverter* to = nullptr;
  if (getPair(fromId, toId, &from, &to) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvCodePageChars(dst, size, src, length, written, from, to));
}

int JuCodePageConverter::convertPivotById(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                          int64_t* consumed, int64_t fromId, int64_t toId) {
  UConverter* from = nullptr;
  UConverter* to = nullptr;
  if (getPair(fromId, toId, &from, &to) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvCodePagePivot2(dst, size, src, length, written, consumed, from, to));
}

int JuCodePageConverter::convertByName(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                       int64_t* consumed, const char* fromName, const char* toName) {
  UConverter* from = nullptr;
  UConverter* to = nullptr;
  if (getConverterByName(fromName, juStrLen(fromName), &from) != 0) return 1;
  if (getConverterByName(toName, juStrLen(toName), &to) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvCodePagePivot2(dst, size, src, length, written, consumed, from, to));
}

int JuCodePageConverter::fromUChars(char* dst, int64_t size, const char16_t* src, int64_t units, int64_t* written,
                                    int64_t id, int swap) {
  UConverter* converter = nullptr;
  if (getConverter(id, &converter) != 0) return 1;
  if (badArguments(dst, size, src, units)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvFromUChars(dst, size, src, units, written, converter, swap));
}

int JuCodePageConverter::fromUnicode(char* dst, int64_t size, const char16_t* src, int64_t units, int64_t* written,
                                     int64_t* consumed, int64_t id, int swap) {
  UConverter* converter = nullptr;
  if (getConverter(id, &converter) != 0) return 1;
  if (badArguments(dst, size, src, units)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvFromUnicode(dst, size, src, units, written, consumed, converter, swap));
}

int JuCodePageConverter::fromUtf8Safe(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                      int64_t id) {
  UConverter* target = nullptr;
  UConverter* utf8 = nullptr;
  if (getConverter(id, &target) != 0 || getUtf8Converter(&utf8) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvCodePageSafe(dst, size, src, length, written, target, utf8));
}

int JuCodePageConverter::fromUtf8(char* dst, int64_t size, const char* src, int64_t length, int64_t* written,
                                  int64_t* consumed, int64_t id) {
  UConverter* target = nullptr;
  UConverter* utf8 = nullptr;
  if (getConverter(id, &target) != 0 || getUtf8Converter(&utf8) != 0) return 1;
  if (badArguments(dst, size, src, length)) return reportBadArguments();
  clearSubstituted();
  return reportCounted(juConvCodePageBytes(dst, size, src, length, written, consumed, target, utf8));
}
