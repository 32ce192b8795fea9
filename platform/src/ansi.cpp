// The process ANSI code page over ICU: lead-byte and case tables built once
// per code page, and pooled converters for MultiByteToWideChar and
// WideCharToMultiByte.

#include "platform/ansi.h"

#include "platform/lock.h"
#include "platform/utf16.h"

#include <unicode/ucnv.h>
#include <unicode/uchar.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

// ICU names tried for a Windows code page, in order.
bool openConverter(uint32_t codePage, UConverter** out, char* name, size_t nameSize) {
  static const char* const kPatterns[] = {"windows-%u", "cp%u", "ibm-%u"};
  for (const char* pattern : kPatterns) {
    char candidate[32];
    std::snprintf(candidate, sizeof candidate, pattern, codePage);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(candidate, &status);
    if (converter != nullptr && U_SUCCESS(status)) {
      if (name != nullptr) std::snprintf(name, nameSize, "%s", candidate);
      *out = converter;
      return true;
    }
    if (converter != nullptr) ucnv_close(converter);
  }
  return false;
}

// What the library needs to know of one single- or double-byte code page.
struct CodePageTables {
  uint32_t codePage = 0;
  bool leadByte[256] = {};
  uint8_t upper[256] = {};
  uint8_t lower[256] = {};
};

// Maps one single byte through a case function of ICU, keeping it only when
// the result is again one byte of the code page.
uint8_t mapByte(UConverter* converter, uint8_t byte, UChar32 (*caseMap)(UChar32)) {
  char in[1] = {static_cast<char>(byte)};
  UChar units[4];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_resetToUnicode(converter);
  int32_t n = ucnv_toUChars(converter, units, 4, in, 1, &status);
  if (U_FAILURE(status) || n != 1) return byte;
  UChar32 mapped = caseMap(units[0]);
  if (mapped == units[0] || mapped > 0xFFFF) return byte;
  UChar back[1] = {static_cast<UChar>(mapped)};
  char out[4];
  status = U_ZERO_ERROR;
  ucnv_resetFromUnicode(converter);
  ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  n = ucnv_fromUChars(converter, out, 4, back, 1, &status);
  if (U_FAILURE(status) || n != 1) return byte;
  return static_cast<uint8_t>(out[0]);
}

bool buildTables(uint32_t codePage, CodePageTables* tables) {
  UConverter* converter = nullptr;
  if (!openConverter(codePage, &converter, nullptr, 0)) return false;
  const int8_t maxBytes = ucnv_getMaxCharSize(converter);
  bool ok = maxBytes <= 2;
  if (ok) {
    UBool starters[256] = {};
    UErrorCode status = U_ZERO_ERROR;
    if (maxBytes == 2) {
      ucnv_getStarters(converter, starters, &status);
      ok = U_SUCCESS(status);
    }
    tables->codePage = codePage;
    for (int b = 0; b < 256; ++b) {
      tables->leadByte[b] = starters[b] != 0;
      tables->upper[b] = tables->lower[b] = static_cast<uint8_t>(b);
    }
    for (int b = 0; ok && b < 256; ++b) {
      if (tables->leadByte[b]) continue;
      tables->upper[b] = mapByte(converter, static_cast<uint8_t>(b), u_toupper);
      tables->lower[b] = mapByte(converter, static_cast<uint8_t>(b), u_tolower);
    }
  }
  ucnv_close(converter);
  return ok;
}

// Tables are built once per code page and never freed: readers on other
// threads may hold a pointer while a test switches the code page.
constexpr int kMaxCodePages = 16;
CodePageTables tableStore[kMaxCodePages];
std::atomic<int> tableCount{0};
Lock tableLock;
[[maybe_unused]] const bool tableLockKept = keepAcrossFork(tableLock, ForkStage::kPlatformInner);
std::atomic<const CodePageTables*> currentTables{nullptr};

const CodePageTables* tablesFor(uint32_t codePage) {
  std::lock_guard<Lock> guard(tableLock);
  const int count = tableCount.load(std::memory_order_relaxed);
  for (int i = 0; i < count; ++i) {
    if (tableStore[i].codePage == codePage) return &tableStore[i];
  }
  if (count == kMaxCodePages) return nullptr;
  if (!buildTables(codePage, &tableStore[count])) return nullptr;
  tableCount.store(count + 1, std::memory_order_release);
  return &tableStore[count];
}

const CodePageTables& ansi() {
  const CodePageTables* tables = currentTables.load(std::memory_order_acquire);
  if (tables != nullptr) return *tables;
  uint32_t codePage = 1252;
  if (const char* env = std::getenv("JU_ACP")) {
    char* end = nullptr;
    unsigned long value = std::strtoul(env, &end, 10);
    if (end != env && *end == '\0' && value > 0 && value < 65536) codePage = static_cast<uint32_t>(value);
  }
  tables = tablesFor(codePage);
  if (tables == nullptr) tables = tablesFor(1252);
  const CodePageTables* expected = nullptr;
  currentTables.compare_exchange_strong(expected, tables, std::memory_order_acq_rel);
  return *currentTables.load(std::memory_order_acquire);
}

// Resolves the code pages with a special meaning. OEM is 437 beside the
// single-byte ANSI pages and the ANSI page itself beside the double-byte ones.
uint32_t resolve(uint32_t codePage) {
  switch (codePage) {
    case kCodePageAnsi:
    case kCodePageThread:
      return ansiCodePage();
    case kCodePageOem: {
      const CodePageTables& tables = ansi();
      for (bool lead : tables.leadByte) {
        if (lead) return tables.codePage;
      }
      return 437;
    }
    default:
      return codePage;
  }
}

// A small pool of open converters, so a conversion does not open one each
// time. A converter is used by one thread at a time. ICU opens and closes
// converters under a lock of its own, which fork() leaves as it finds it, so
// the pool opens and closes them under its lock too: none of our threads is
// inside ICU's when a process is copied.
class ConverterPool {
 public:
  UConverter* take(uint32_t codePage) {
    std::lock_guard<Lock> guard(lock_);
    for (Entry& entry : entries_) {
      if (entry.converter != nullptr && entry.codePage == codePage) {
        UConverter* converter = entry.converter;
        entry.converter = nullptr;
        return converter;
      }
    }
    UConverter* converter = nullptr;
    if (codePage == kCodePageUtf8) {
      UErrorCode status = U_ZERO_ERROR;
      converter = ucnv_open("UTF-8", &status);
      if (U_FAILURE(status)) converter = nullptr;
    } else if (!openConverter(codePage, &converter, nullptr, 0)) {
      converter = nullptr;
    }
    if (converter != nullptr) {
      UErrorCode status = U_ZERO_ERROR;
      ucnv_setSubstChars(converter, "?", 1, &status);
    }
    return converter;
  }

  void give(uint32_t codePage, UConverter* converter) {
    ucnv_reset(converter);
    std::lock_guard<Lock> guard(lock_);
    for (Entry& entry : entries_) {
      if (entry.converter == nullptr) {
        entry = {codePage, converter};
        return;
      }
    }
    ucnv_close(converter);
  }

  [[nodiscard]] bool keepAcrossFork() { return platform::keepAcrossFork(lock_, ForkStage::kPlatformInner); }

 private:
  struct Entry {
    uint32_t codePage;
    UConverter* converter;
  };
  Lock lock_;
  Entry entries_[8] = {};
};

// Constant-initialised and trivially destructible, so it is usable from other
// modules' start-up and exit code; the converters it holds live until the
// process ends.
ConverterPool converterPool;
[[maybe_unused]] const bool converterPoolKept = converterPool.keepAcrossFork();

ConverterPool& pool() { return converterPool; }

class PooledConverter {
 public:
  explicit PooledConverter(uint32_t codePage) : codePage_(resolve(codePage)), converter_(pool().take(codePage_)) {}
  ~PooledConverter() {
    if (converter_ != nullptr) pool().give(codePage_, converter_);
  }
  UConverter* get() const { return converter_; }

 private:
  uint32_t codePage_;
  UConverter* converter_;
};

}  // namespace

uint32_t ansiCodePage() noexcept {
  return ansi().codePage;
}

bool setAnsiCodePage(uint32_t codePage) noexcept {
  const CodePageTables* tables = tablesFor(codePage);
  if (tables == nullptr) return false;
  currentTables.store(tables, std::memory_order_release);
  return true;
}

bool isLeadByte(uint8_t byte) noexcept {
  return ansi().leadByte[byte];
}

const bool* leadByteTable() noexcept {
  return ansi().leadByte;
}

size_t ansiPrefixLength(const char* text, size_t n, size_t limit) noexcept {
  const CodePageTables& tables = ansi();
  size_t at = 0;
  while (at < n) {
    const size_t step = tables.leadByte[static_cast<uint8_t>(text[at])] && at + 1 < n ? 2 : 1;
    if (at + step > limit) break;
    at += step;
  }
  return at;
}

const char* charPrev(const char* start, const char* position) noexcept {
  if (position <= start) return start;
  const CodePageTables& tables = ansi();
  const char* p = start;
  for (;;) {
    const char* next = p + (tables.leadByte[static_cast<uint8_t>(*p)] && p[1] != '\0' ? 2 : 1);
    if (next >= position) return p;
    p = next;
  }
}

void upperInPlace(char* text, size_t n) noexcept {
  const CodePageTables& tables = ansi();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t byte = static_cast<uint8_t>(text[i]);
    if (tables.leadByte[byte]) {
      ++i;  // the trail byte stays as it is
      continue;
    }
    text[i] = static_cast<char>(tables.upper[byte]);
  }
}

void lowerInPlace(char* text, size_t n) noexcept {
  const CodePageTables& tables = ansi();
  for (size_t i = 0; i < n; ++i) {
    const uint8_t byte = static_cast<uint8_t>(text[i]);
    if (tables.leadByte[byte]) {
      ++i;
      continue;
    }
    text[i] = static_cast<char>(tables.lower[byte]);
  }
}

uint8_t upperByte(uint8_t byte) noexcept {
  return ansi().upper[byte];
}

uint8_t lowerByte(uint8_t byte) noexcept {
  return ansi().lower[byte];
}

int compareAnsi(const char* a, const char* b) noexcept {
  const int c = std::strcmp(a, b);
  return (c > 0) - (c < 0);
}

int compareAnsiNoCase(const char* a, const char* b) noexcept {
  const CodePageTables& tables = ansi();
  for (;; ++a, ++b) {
    const uint8_t x = tables.upper[static_cast<uint8_t>(*a)];
    const uint8_t y = tables.upper[static_cast<uint8_t>(*b)];
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int multiByteToWide(uint32_t codePage, const char* src, int n, char16_t* dst, int dstUnits) noexcept {
  if (src == nullptr || dstUnits < 0 || (dst == nullptr && dstUnits != 0)) return 0;
  const int32_t length = n < 0 ? static_cast<int32_t>(std::strlen(src)) + 1 : n;
  PooledConverter converter(codePage);
  if (converter.get() == nullptr) return 0;
  UErrorCode status = U_ZERO_ERROR;
  // ucnv_toUChars terminates when it has room; the terminator is not counted,
  // and a source that holds its own NUL converts it as a character.
  int32_t produced = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(dst), dstUnits, src, length, &status);
  if (dstUnits == 0) return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status) ? produced : 0;
  if (U_FAILURE(status) || produced > dstUnits) return 0;
  return produced;
}

int wideToMultiByte(uint32_t codePage, const char16_t* src, int n, char* dst, int dstBytes) noexcept {
  if (src == nullptr || dstBytes < 0 || (dst == nullptr && dstBytes != 0)) return 0;
  const int32_t length = n < 0 ? static_cast<int32_t>(utf16::unitLength(src)) + 1 : n;
  PooledConverter converter(codePage);
  if (converter.get() == nullptr) return 0;
  UErrorCode status = U_ZERO_ERROR;
  int32_t produced = ucnv_fromUChars(converter.get(), dst, dstBytes, reinterpret_cast<const UChar*>(src), length, &status);
  if (dstBytes == 0) return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status) ? produced : 0;
  if (U_FAILURE(status) || produced > dstBytes) return 0;
  return produced;
}

}  // namespace platform
