// Raw memory: bounded copies, equality and order, swaps, fills and wipes.

#include "julib/cstring.h"
#include "julib/object.h"

#include <algorithm>
#include <cstring>

void juMemCopyMin(void* dst, size_t dstSize, const void* src, size_t srcSize) {
  const size_t n = std::min(dstSize, srcSize);
  if (n != 0) std::memmove(dst, src, n);
}

void juMemCopyMinBlocks(void* dst, size_t dstSize, const void* src, size_t srcSize) {
  juMemCopyMin(dst, dstSize, src, srcSize);
}

int juMemEqual(const void* a, const void* b, size_t n) {
  return (n == 0 || std::memcmp(a, b, n) == 0) ? 1 : 0;
}

int juMemMatchEither(const void* text, const void* form1, const void* form2, size_t n) {
  const auto* t = static_cast<const uint8_t*>(text);
  const auto* f1 = static_cast<const uint8_t*>(form1);
  const auto* f2 = static_cast<const uint8_t*>(form2);
  for (size_t i = 0; i < n; ++i) {
    if (t[i] != f1[i] && t[i] != f2[i]) return 0;
  }
  return 1;
}

void juMemSwap(void* a, size_t aSize, void* b, size_t bSize) {
  // A stack buffer keeps the swap off the heap.
  constexpr size_t kChunk = 512;
  uint8_t buffer[kChunk];
  auto* pa = static_cast<uint8_t*>(a);
  auto* pb = static_cast<uint8_t*>(b);
  for (size_t left = std::min(aSize, bSize); left != 0;) {
    const size_t n = std::min(left, kChunk);
    std::memcpy(buffer, pa, n);
    std::memmove(pa, pb, n);
    std::memcpy(pb, buffer, n);
    pa += n;
    pb += n;
    left -= n;
  }
}

int juMemSwapRecords(void* base, uint16_t i, uint16_t j, uint16_t recordSize) {
  void* record = juMallocChecked(recordSize);  // at least one byte
  if (record == nullptr) return 1;             // out of memory already recorded
  if (i != j && recordSize != 0) {
    auto* records = static_cast<uint8_t*>(base);
    uint8_t* a = records + size_t{i} * recordSize;
    uint8_t* b = records + size_t{j} * recordSize;
    std::memcpy(record, a, recordSize);
    std::memcpy(a, b, recordSize);
    std::memcpy(b, record, recordSize);
  }
  juFree(record);
  return 0;
}

void juMemZero32(uint32_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) p[i] = 0;
}

void juMemZero(void* p, size_t n) {
  if (n == 0) return;
  std::memset(p, 0, n);
  // The buffer is usually freed right after the wipe; the barrier makes the
  // stores observable so the compiler cannot drop them as dead.
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

int juMemCompare(const void* a, const void* b, size_t n) {
  if (n == 0) return 0;
  const int order = std::memcmp(a, b, n);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

void juMemCopyBackward(void* dst, const void* src, size_t n) {
  // memmove copies from the last byte when the areas overlap that way.
  if (n != 0) std::memmove(dst, src, n);
}

void juMemSet(void* p, uint8_t byte, size_t n) {
  if (n != 0) std::memset(p, byte, n);
}
