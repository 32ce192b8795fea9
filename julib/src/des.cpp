// DES (FIPS 46) and the CBC buffer operations that any JuCrypto cipher runs
// block by block.

#include <cstring>

#include "julib/crypto.h"
#include "julib/cstring.h"
#include "julib/object.h"

namespace {

// ---------------------------------------------------------------------------
// FIPS 46 tables. Bit positions count from 1, the most significant bit of
// the input.
// ---------------------------------------------------------------------------

constexpr uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,  //
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,  //
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,  //
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7,
};

constexpr uint8_t kFinalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,  //
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,  //
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,  //
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25,
};

constexpr uint8_t kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,  //
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,  //
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1,
};

constexpr uint8_t kRoundPermutation[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,  //
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25,
};

constexpr uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,  //
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,  //
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,  //
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

constexpr uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,  //
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,  //
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

constexpr uint8_t kLeftShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S1 to S8, each four rows of 16 columns.
constexpr uint8_t kSubstitution[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  //
     0,  15, 7,  4, 14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3, 8,  //
     4,  1,  14, 8, 13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5, 0,  //
     15, 12, 8,  2, 4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10,  //
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1,  10, 6,  9, 11, 5,   //
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,  9,  3, 2,  15,  //
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6, 7,  12, 0,  5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  //
     13, 7,  0,  9,  3, 4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  //
     13, 6,  4,  9,  8, 15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,  //
     1,  10, 13, 0,  6, 9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2, 8, 5,  11, 12, 4,  15,  //
     13, 8,  11, 5, 6,  15, 0,  3,  4,  7, 2, 12, 1,  10, 14, 9,   //
     10, 6,  9,  0, 12, 11, 7,  13, 15, 1, 3, 14, 5,  2,  8,  4,   //
     3,  15, 0,  6, 10, 1,  13, 8,  9,  4, 5, 11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0, 14, 9,   //
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9, 8,  6,   //
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3, 0,  14,  //
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4, 5,  3},
    {12, 1,  10, 15, 9, 2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,  //
     10, 15, 4,  2,  7, 12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,   //
     9,  14, 15, 5,  2, 8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,   //
     4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0, 8,  13, 3,  12, 9, 7,  5,  10, 6, 1,  //
     13, 0,  11, 7,  4,  9, 1,  10, 14, 3,  5, 12, 2,  15, 8, 6,  //
     1,  4,  11, 13, 12, 3, 7,  14, 10, 15, 6, 8,  0,  5,  9, 2,  //
     6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0, 15, 14, 2,  3, 12},
    {13, 2,  8,  4, 6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  //
     1,  15, 13, 8, 10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  //
     7,  11, 4,  1, 9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,  //
     2,  1,  14, 7, 4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
};

// Output bit i (from the most significant) of the result is bit table[i] of
// the `width`-bit input.
template <size_t N>
constexpr uint64_t permute(uint64_t input, unsigned width, const uint8_t (&table)[N]) {
  uint64_t out = 0;
  for (size_t i = 0; i < N; ++i) out = out << 1 | ((input >> (width - table[i])) & 1);
  return out;
}

// Each S-box with the round permutation already applied to its output, so a
// round's function is eight lookups ORed together. Index: the six input bits
// as they stand (outer bits select the row, inner four the column).
struct SpTables {
  uint32_t box[8][64] = {};
};

constexpr SpTables makeSpTables() {
  SpTables t;
  for (unsigned b = 0; b < 8; ++b) {
    for (unsigned x = 0; x < 64; ++x) {
      const unsigned row = ((x >> 4) & 2) | (x & 1);
      const unsigned column = (x >> 1) & 15;
      const uint64_t nibble = kSubstitution[b][row * 16 + column];
      t.box[b][x] = static_cast<uint32_t>(permute(nibble << (28 - 4 * b), 32, kRoundPermutation));
    }
  }
  return t;
}

constexpr SpTables kSp = makeSpTables();

uint32_t roundFunction(uint32_t right, uint64_t subkey) {
  const uint64_t x = permute(right, 32, kExpansion) ^ subkey;
  uint32_t out = 0;
  for (unsigned b = 0; b < 8; ++b) out |= kSp.box[b][(x >> (42 - 6 * b)) & 63];
  return out;
}

uint64_t desBlock(uint64_t input, const uint64_t (&subkeys)[16]) {
  const uint64_t permuted = permute(input, 64, kInitialPermutation);
  uint32_t left = static_cast<uint32_t>(permuted >> 32);
  uint32_t right = static_cast<uint32_t>(permuted);
  for (const uint64_t subkey : subkeys) {
    const uint32_t next = left ^ roundFunction(right, subkey);
    left = right;
    right = next;
  }
  // The halves are exchanged once more before the final permutation.
  return permute(uint64_t{right} << 32 | left, 64, kFinalPermutation);
}

uint64_t loadBigEndian(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
  return value;
}

void storeBigEndian(uint64_t value, uint8_t* bytes) {
  for (int i = 7; i >= 0; --i) {
    bytes[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

// One block's worth of scratch memory: on the stack for the usual block
// sizes, else from the heap. Wiped before it is let go, since it holds
// ciphertext or plain text.
class BlockScratch {
 public:
  explicit BlockScratch(size_t size) : size_(size) {
    data_ = size <= sizeof inline_ ? inline_ : static_cast<uint8_t*>(juMallocChecked(size));
  }
  ~BlockScratch() {
    if (data_ == nullptr) return;
    juMemZero(data_, size_);
    if (data_ != inline_) juFree(data_);
  }
  BlockScratch(const BlockScratch&) = delete;
  BlockScratch& operator=(const BlockScratch&) = delete;

  uint8_t* data() { return data_; }

 private:
  uint8_t inline_[32];
  uint8_t* data_;
  size_t size_;
};

size_t blockCount(uint32_t length, uint16_t blockSize) { return (size_t{length} + blockSize - 1) / blockSize; }

}  // namespace

// ---------------------------------------------------------------------------
// JuCrypto
// ---------------------------------------------------------------------------

JuCrypto::~JuCrypto() = default;

void JuCrypto::processBlock(uint8_t*, const uint8_t*, int) {}

void JuCrypto::processBuffer(uint32_t, const uint8_t*, uint8_t*) {}

void JuCrypto::encryptBuffer(const uint8_t* source, uint8_t* destination, uint32_t length) {
  if (blockSize == 0) {
    processBuffer(length, source, destination);
    return;
  }
  const size_t n = blockCount(length, blockSize);
  if (n == 0) return;
  if (source == destination) {
    // In place the previous ciphertext block is still in the buffer, so it
    // serves as the next chain block; the first chains from the vector.
    const uint8_t* chainBlock = initVector;
    for (size_t i = 0; i < n; ++i) {
      uint8_t* block = destination + i * blockSize;
      processBlock(block, chainBlock, 0);
      chainBlock = block;
    }
    return;
  }
  std::memcpy(destination, source, blockSize);
  processBlock(destination, chainRegister, 0);
  for (size_t i = 1; i < n; ++i) {
    uint8_t* block = destination + i * blockSize;
    std::memcpy(block, source + i * blockSize, blockSize);
    processBlock(block, block - blockSize, 0);
  }
  std::memcpy(chainRegister, destination + (n - 1) * blockSize, blockSize);
}

void JuCrypto::decryptBuffer(const uint8_t* source, uint8_t* destination, uint32_t length) {
  if (blockSize == 0) {
    processBuffer(length, source, destination);
    return;
  }
  const size_t n = blockCount(length, blockSize);
  if (n == 0) return;
  if (source == destination) {
    // The ciphertext of each block chains the next one, so it is kept until
    // the block has been decrypted over it.
    BlockScratch plain(blockSize);
    if (plain.data() == nullptr) return;  // out of memory posted
    for (size_t i = 0; i < n; ++i) {
      uint8_t* block = destination + i * blockSize;
      std::memcpy(plain.data(), block, blockSize);
      processBlock(plain.data(), chainRegister, 1);
      std::memcpy(chainRegister, block, blockSize);
      std::memcpy(block, plain.data(), blockSize);
    }
    return;
  }
  const uint8_t* chainBlock = chainRegister;
  for (size_t i = 0; i < n; ++i) {
    uint8_t* block = destination + i * blockSize;
    std::memcpy(block, source + i * blockSize, blockSize);
    processBlock(block, chainBlock, 1);
    chainBlock = source + i * blockSize;
  }
  std::memcpy(chainRegister, source + (n - 1) * blockSize, blockSize);
}

void JuCrypto::encryptText(const uint8_t* source, uint32_t length, uint8_t* destination, uint16_t bytesPerBlock) {
  if (blockSize == 0) {
    processBuffer(length, source, destination);
    return;
  }
  const size_t n = blockCount(length, blockSize);
  const size_t perBlock = bytesPerBlock < blockSize ? bytesPerBlock : blockSize;
  const uint8_t* chainBlock = initVector;
  for (size_t i = 0; i < n; ++i) {
    // The last block takes only what is left of the text; the rest of the
    // block keeps what the destination held.
    const size_t offset = i * blockSize;
    const size_t left = length - offset;
    uint8_t* block = destination + offset;
    std::memcpy(block, source + offset, perBlock < left ? perBlock : left);
    processBlock(block, chainBlock, 0);
    chainBlock = block;
  }
}

void JuCrypto::encryptText(const char* text, uint8_t* destination, uint16_t bytesPerBlock) {
  const size_t length = text == nullptr ? 0 : juStrLen(text);
  const uint32_t n = length > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(length);
  encryptText(reinterpret_cast<const uint8_t*>(text), n, destination, bytesPerBlock);
}

// ---------------------------------------------------------------------------
// DESwCBCEncryptor
// ---------------------------------------------------------------------------

DESwCBCEncryptor::DESwCBCEncryptor() {
  initVector = vector;
  chainRegister = chain;
  blockSize = 8;
}

DESwCBCEncryptor::~DESwCBCEncryptor() {
  juMemZero(vector, sizeof vector);
  juMemZero(chain, sizeof chain);
  juMemZero(subkeys, sizeof subkeys);
}

void DESwCBCEncryptor::setKey(const uint8_t* key, int decrypt) {
  // Permuted choice 1 drops the parity bits (8, 16, ..., 64).
  uint64_t bits = loadBigEndian(key);
  uint64_t halves = permute(bits, 64, kPermutedChoice1);
  uint32_t c = static_cast<uint32_t>(halves >> 28);
  uint32_t d = static_cast<uint32_t>(halves & 0x0FFFFFFF);
  for (int round = 0; round < 16; ++round) {
    const unsigned shift = kLeftShifts[round];
    c = ((c << shift) | (c >> (28 - shift))) & 0x0FFFFFFF;
    d = ((d << shift) | (d >> (28 - shift))) & 0x0FFFFFFF;
    const uint64_t subkey = permute(uint64_t{c} << 28 | d, 56, kPermutedChoice2);
    subkeys[decrypt != 0 ? 15 - round : round] = subkey;
  }
  // The key's copies on the stack go too.
  juMemZero(&bits, sizeof bits);
  juMemZero(&halves, sizeof halves);
  juMemZero(&c, sizeof c);
  juMemZero(&d, sizeof d);
}

void DESwCBCEncryptor::setInitVector(const uint8_t* initial) {
  std::memcpy(vector, initial, sizeof vector);
  std::memcpy(chain, initial, sizeof chain);
}

void DESwCBCEncryptor::processBlock(uint8_t* block, const uint8_t* chainBlock, int decrypt) {
  // The chain is read before the block is written: the two may be the same.
  const uint64_t chainValue = loadBigEndian(chainBlock);
  uint64_t value = loadBigEndian(block);
  if (decrypt == 0) value ^= chainValue;
  value = desBlock(value, subkeys);
  if (decrypt != 0) value ^= chainValue;
  storeBigEndian(value, block);
}
