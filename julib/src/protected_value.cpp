// JuProtectedValue: a sensitive UTF-16 text held protected, through the
// system's memory-protection facility when there is one and DES-CBC under the
// caller's key when there is not.

#include <algorithm>
#include <cstring>

#include "julib/codepage.h"
#include "julib/crypto.h"
#include "julib/cstring.h"
#include "julib/errors.h"
#include "checked_sizes.h"
#include "platform/memory_protection.h"

namespace {

using platform::MemoryProtection;

// What a 2809 error's parameter tells.
enum Step : int32_t {
  kWrongState = 1,
  kSourceWithoutBuffer = 2,   // reveal
  kFacilityFailed = 3,        // protect, or the unprotect of reveal
  kProtectAgainFailed = 4,    // reveal
  kCopyWithoutBuffer = 4,     // copy: the source has a byte size but no buffer
};

// The block operations take 32-bit sizes: the largest multiple of 16 that
// such a size holds bounds every protected value, and a longer text fails as
// out of memory before anything is computed from its length.
constexpr size_t kMaxByteSize = 0xFFFFFFF0;
constexpr size_t kMaxUnits = kMaxByteSize / 2;

constexpr uint8_t kZeroBlock[8] = {};

int memoryBufferError(int32_t step) {
  juPostError(kJuMsgMemoryBufferError)->addParam(step)->setSqlState("HY000", kJuSqlStateGeneral);
  return 1;
}

int outOfMemory() {
  juReportOutOfMemory();
  return 1;
}

// length * 2 rounded up to a multiple of 16 (units <= kMaxUnits).
size_t protectedSize(size_t units) { return (units * 2 + 15) & ~size_t{15}; }

// The encryptor keeps a key schedule only for one operation: it is reset to
// the all-zero key as a decryptor and then wiped outright.
void resetEncryptor(DESwCBCEncryptor& encryptor) {
  encryptor.setInitVector(kZeroBlock);
  encryptor.setKey(kZeroBlock, 1);
  juMemZero(encryptor.vector, sizeof encryptor.vector);
  juMemZero(encryptor.chain, sizeof encryptor.chain);
  juMemZero(encryptor.subkeys, sizeof encryptor.subkeys);
}

// Wipes and frees a block that is not (yet) any value's buffer.
void discard(uint8_t* block, size_t size) {
  juMemZero(block, size);
  juFree(block);
}

}  // namespace

JuProtectedValue::~JuProtectedValue() { release(); }

bool JuProtectedValue::acquire(size_t n) {
  buffer = static_cast<uint8_t*>(juMallocChecked(n));
  allocated_ = buffer == nullptr ? 0 : std::max<size_t>(n, 1);
  return buffer != nullptr;
}

void JuProtectedValue::release() {
  if (buffer == nullptr) return;
  juMemZero(buffer, allocated_);
  juFree(buffer);
  buffer = nullptr;
  allocated_ = 0;
}

int JuProtectedValue::protect(const char16_t* text, int64_t units, const uint8_t* key) {
  if (state != kProtected) return memoryBufferError(kWrongState);
  release();
  length = 0;
  byteSize = 0;
  size_t n = 0;
  if (text != nullptr) {
    if (units == kJuNullTerminated) {
      n = juWStrLen(text);
    } else if (units < 0 || static_cast<uint64_t>(units) > kMaxUnits) {
      return outOfMemory();
    } else {
      n = static_cast<size_t>(units);
    }
    if (n > kMaxUnits) return outOfMemory();
  }
  length = n;
  byteSize = protectedSize(n);
  if (n == 0) return 0;
  if (!acquire(byteSize)) return 1;
  const MemoryProtection* facility = platform::memoryProtection();

  // The padding is zeroed so that the block's whole content is defined.
  std::memcpy(buffer, text, n * 2);
  std::memset(buffer + n * 2, 0, byteSize - n * 2);
  if (facility != nullptr) {
    if (facility->protect(buffer, static_cast<uint32_t>(byteSize), 0) != 0) return 0;
  } else if (key != nullptr) {
    encryptor.setInitVector(key);
    encryptor.setKey(key, 0);
    encryptor.encryptBuffer(buffer, buffer, static_cast<uint32_t>(byteSize));
    resetEncryptor(encryptor);
    return 0;
  }
  // Plain text is never left behind in a value marked protected.
  release();
  length = 0;
  byteSize = 0;
  return memoryBufferError(kFacilityFailed);
}

int JuProtectedValue::reveal(const JuProtectedValue& source, const uint8_t* key) {
  if (source.state != kProtected) return memoryBufferError(kWrongState);
  // A buffer too small for the length (or none at all) cannot be revealed.
  if ((source.buffer == nullptr && source.byteSize != 0) || source.length > source.byteSize / 2 ||
      source.byteSize > kMaxByteSize) {
    return memoryBufferError(kSourceWithoutBuffer);
  }
  // The plain text is built in a block of its own and installed last, so
  // that revealing a value into itself reads its buffer before freeing it.
  const size_t n = source.length;
  const bool self = &source == this;
  auto failed = [this, self](int status) {
    if (!self) {
      release();
      state = kRevealed;
      length = 0;
    }
    return status;
  };

  uint8_t* plain = nullptr;
  size_t size = 0;
  if (n == 0) {
    size = 2;
    plain = static_cast<uint8_t*>(juMallocChecked(size));
    if (plain == nullptr) return failed(1);
  } else if (const MemoryProtection* facility = platform::memoryProtection()) {
    const auto bytes = static_cast<uint32_t>(source.byteSize);
    if (facility->unprotect(source.buffer, bytes, 0) == 0) return failed(memoryBufferError(kFacilityFailed));
    size = n * 2 + 2;
    plain = static_cast<uint8_t*>(juMallocChecked(size));
    if (plain != nullptr) std::memcpy(plain, source.buffer, n * 2);
    if (facility->protect(source.buffer, bytes, 0) == 0) {
      // Better an unreadable source than one that holds plain text marked
      // protected.
      juMemZero(source.buffer, source.byteSize);
      if (plain != nullptr) discard(plain, size);
      return failed(memoryBufferError(kProtectAgainFailed));
    }
    if (plain == nullptr) return failed(1);
  } else {
    if (key == nullptr) return failed(memoryBufferError(kFacilityFailed));
    size = std::max(n * 2 + 2, source.byteSize);
    plain = static_cast<uint8_t*>(juMallocChecked(size));
    if (plain == nullptr) return failed(1);
    encryptor.setInitVector(key);
    encryptor.setKey(key, 1);
    encryptor.decryptBuffer(source.buffer, plain, static_cast<uint32_t>(source.byteSize));
    resetEncryptor(encryptor);
    // The decrypted padding is no part of the text.
    std::memset(plain + n * 2, 0, size - n * 2);
  }
  plain[n * 2] = 0;
  plain[n * 2 + 1] = 0;

  release();
  buffer = plain;
  allocated_ = size;
  length = n;
  state = kRevealed;
  return 0;
}

int JuProtectedValue::copy(const JuProtectedValue& source) {
  if (source.state != kProtected) return memoryBufferError(kWrongState);
  if (source.buffer == nullptr && source.byteSize != 0) return memoryBufferError(kCopyWithoutBuffer);
  if (&source == this) return 0;
  release();
  state = kProtected;
  length = 0;
  byteSize = 0;
  if (source.byteSize != 0) {
    if (!acquire(source.byteSize)) return 1;
    std::memcpy(buffer, source.buffer, source.byteSize);
  }
  length = source.length;
  byteSize = source.byteSize;
  return 0;
}

int JuProtectedValue::allocate(size_t n) {
  release();
  state = kRevealed;
  length = 0;
  size_t bytes;
  if (!julib::internal::arraySize(&bytes, n, 2)) return 1;
  if (!acquire(bytes)) return 1;
  length = n;
  return 0;
}

int JuProtectedValue::clear() {
  release();
  length = 0;
  return 0;
}
