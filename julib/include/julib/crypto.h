// The block-cipher interface JuCrypto, its DES-CBC implementation, and
// JuProtectedValue, which holds a sensitive UTF-16 text so that it never lies
// in memory as plain text while it is held.
#ifndef JULIB_CRYPTO_H
#define JULIB_CRYPTO_H

#include <cstddef>
#include <cstdint>

#include "julib/object.h"

// ---------------------------------------------------------------------------
// JuCrypto: a block cipher with CBC buffer operations.
// ---------------------------------------------------------------------------

class JuCrypto : public JuObject {
 public:
  JuCrypto() = default;
  ~JuCrypto() override;

  // Builds the key schedule; with decrypt 1 the block transform decrypts.
  virtual void setKey(const uint8_t* key, int decrypt) = 0;
  // Copies the vector into the initial vector and the chaining register.
  virtual void setInitVector(const uint8_t* vector) = 0;
  // One block in place: encrypt (decrypt 0) XORs with `chain` first; decrypt
  // (1) XORs the result with `chain`. The chaining register is not touched.
  virtual void processBlock(uint8_t* block, const uint8_t* chain, int decrypt);
  // Whole-buffer ciphers (block size 0).
  virtual void processBuffer(uint32_t length, const uint8_t* source, uint8_t* destination);

  // ceil(length / block size) blocks, CBC from the initial vector (in place)
  // or the chaining register (into another buffer); the source must hold
  // whole blocks.
  void encryptBuffer(const uint8_t* source, uint8_t* destination, uint32_t length);
  void decryptBuffer(const uint8_t* source, uint8_t* destination, uint32_t length);
  // Each block takes min(bytesPerBlock, block size) source bytes.
  void encryptText(const uint8_t* source, uint32_t length, uint8_t* destination, uint16_t bytesPerBlock);
  void encryptText(const char* text, uint8_t* destination, uint16_t bytesPerBlock);

  uint8_t* initVector = nullptr;
  uint8_t* chainRegister = nullptr;
  uint16_t blockSize = 0;
};

// DES (FIPS 46) with CBC chaining (FIPS 81); block size 8.
//   key 0123456789abcdef, IV 1234567890abcdef, "Now is the time for all "
//   -> e5c7cdde872bf27c 43e934008c389c0f 683788499a7c05f6
class DESwCBCEncryptor : public JuCrypto {
 public:
  DESwCBCEncryptor();
  // The vector pointers point into the object itself: no copies.
  DESwCBCEncryptor(const DESwCBCEncryptor&) = delete;
  DESwCBCEncryptor& operator=(const DESwCBCEncryptor&) = delete;
  ~DESwCBCEncryptor() override;  // wipes the key schedule and the vectors

  void setKey(const uint8_t* key, int decrypt) override;
  void setInitVector(const uint8_t* vector) override;
  void processBlock(uint8_t* block, const uint8_t* chain, int decrypt) override;

  uint8_t vector[8] = {};
  uint8_t chain[8] = {};
  uint64_t subkeys[16] = {};  // 48 bits each
};

// ---------------------------------------------------------------------------
// JuProtectedValue.
// ---------------------------------------------------------------------------

// State 1 (protected): the buffer holds the protected form, byteSize bytes
// (length * 2 rounded up to 16). State 2 (revealed): the plain text, length
// units and a zero unit. The system's memory-protection facility is used when
// it can be bound (once per process); otherwise DES-CBC under the caller's
// 8-byte key. Every release of the buffer wipes it first. Failures post 2809
// "Memory buffer error #%d1." (SQLSTATE "HY000") or out of memory.
class JuProtectedValue {
 public:
  static constexpr uint32_t kProtected = 1;
  static constexpr uint32_t kRevealed = 2;

  JuProtectedValue() = default;
  JuProtectedValue(const JuProtectedValue&) = delete;
  JuProtectedValue& operator=(const JuProtectedValue&) = delete;
  ~JuProtectedValue();

  // length in units, -3: NUL-terminated; no text counts as empty. 0, or 1.
  [[nodiscard]] int protect(const char16_t* text, int64_t length, const uint8_t* key);
  // The source's plain text into this value (state 2). 0, or 1.
  [[nodiscard]] int reveal(const JuProtectedValue& source, const uint8_t* key);
  // The source's protected bytes as they are (state 1). 0, or 1.
  [[nodiscard]] int copy(const JuProtectedValue& source);
  // Wipes the old buffer; state 2, length n, a buffer of n * 2 bytes.
  [[nodiscard]] int allocate(size_t n);
  // Wipes and frees the buffer; length 0; state and byte size stay.
  int clear();

  uint8_t* buffer = nullptr;
  size_t length = 0;
  size_t byteSize = 0;
  uint32_t state = kProtected;
  DESwCBCEncryptor encryptor;

 private:
  // A new buffer of n bytes (at least one); false when out of memory. The
  // old one must have been released.
  bool acquire(size_t n);
  // Wipes the whole buffer as allocated, frees it and forgets it.
  void release();

  size_t allocated_ = 0;  // bytes of `buffer` as allocated: all are wiped
};

#endif  // JULIB_CRYPTO_H
