// JuBitArray: a counted array of bits in bytes, bit i at bit (i & 7) of byte
// i >> 3.

#include <cstring>

#include "julib/object.h"
#include "julib/valueparser.h"
#include "checked_sizes.h"

namespace {

// Bytes that hold n bits; false (out of memory reported) when n + 7
// overflows.
bool bytesFor(size_t n, size_t* bytes) {
  if (!julib::internal::sizeSum(bytes, n, 7)) return false;
  *bytes >>= 3;
  return true;
}

}  // namespace

JuBitArray::~JuBitArray() { juFree(bits); }

int JuBitArray::reset(size_t n) {
  juFree(bits);
  bits = nullptr;
  count = 0;
  size_t bytes;
  if (!bytesFor(n, &bytes)) return 1;
  bits = static_cast<uint8_t*>(juMallocChecked(bytes));
  if (bits == nullptr) return 1;
  std::memset(bits, 0, bytes);
  count = n;
  return 0;
}

int JuBitArray::resize(size_t n) {
  size_t bytes;
  if (!bytesFor(n, &bytes)) return 1;
  const size_t oldBytes = (count + 7) >> 3;
  if (bits != nullptr && bytes == oldBytes) {
    // Same bytes: only the bits past a smaller count are cleared.
    for (size_t i = n; i < count; ++i) bits[i >> 3] &= static_cast<uint8_t>(~(1u << (i & 7)));
    count = n;
    return 0;
  }
  uint8_t* grown = static_cast<uint8_t*>(juMallocChecked(bytes));
  if (grown == nullptr) return 1;
  std::memset(grown, 0, bytes);
  if (bits != nullptr) {
    std::memcpy(grown, bits, oldBytes < bytes ? oldBytes : bytes);
    // A cut may leave bits of the old count in the last byte kept.
    if (n < count && (n & 7) != 0) grown[n >> 3] &= static_cast<uint8_t>((1u << (n & 7)) - 1);
    juFree(bits);
  }
  bits = grown;
  count = n;
  return 0;
}

int JuBitArray::test(size_t i) const { return i < count && (bits[i >> 3] >> (i & 7) & 1) != 0 ? 1 : 0; }

void JuBitArray::set(size_t i) {
  if (i < count) bits[i >> 3] |= static_cast<uint8_t>(1u << (i & 7));
}

void JuBitArray::removeAt(size_t i) {
  if (i >= count) return;
  for (size_t k = i; k + 1 < count; ++k) {
    const uint8_t mask = static_cast<uint8_t>(1u << (k & 7));
    if (test(k + 1) != 0) {
      bits[k >> 3] |= mask;
    } else {
      bits[k >> 3] &= static_cast<uint8_t>(~mask);
    }
  }
  --count;
  bits[count >> 3] &= static_cast<uint8_t>(~(1u << (count & 7)));
}
