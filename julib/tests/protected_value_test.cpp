// JuProtectedValue without a memory-protection facility (none is registered
// in this program): the DES-CBC fallback under the caller's key.

#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "julib/crypto.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "testing/allocation_faults.h"
#include "testing/freed_blocks.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;
using Bytes = std::vector<uint8_t>;
using Ids = std::vector<uint16_t>;

const uint8_t kKey[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
const uint8_t kOtherKey[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

// What the fallback must hold: the text and zero padding to a multiple of
// 16 bytes, DES-CBC encrypted under the key, with the key as vector too.
Bytes expectedProtected(const std::u16string& text, const uint8_t* key) {
  Bytes bytes((text.size() * 2 + 15) / 16 * 16, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  DESwCBCEncryptor des;
  des.setKey(key, 0);
  des.setInitVector(key);
  des.encryptBuffer(bytes.data(), bytes.data(), static_cast<uint32_t>(bytes.size()));
  return bytes;
}

Bytes held(const JuProtectedValue& value) { return Bytes(value.buffer, value.buffer + value.byteSize); }

std::u16string revealedText(const JuProtectedValue& value) {
  return std::u16string(reinterpret_cast<const char16_t*>(value.buffer), value.length);
}

bool encryptorIsWiped(const DESwCBCEncryptor& des) {
  const DESwCBCEncryptor zero;
  return std::memcmp(des.vector, zero.vector, 8) == 0 && std::memcmp(des.chain, zero.chain, 8) == 0 &&
         std::memcmp(des.subkeys, zero.subkeys, sizeof des.subkeys) == 0;
}

// True when the library freed `block` with its first n bytes zero.
bool freedWiped(const void* block, size_t n) {
  const jutest::FreedBlock* freed = jutest::freedBlock(block);
  if (freed == nullptr || freed->size < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (freed->bytes[i] != 0) return false;
  }
  return true;
}

class ProtectedValue : public JuTest {};

// --- Threads -------------------------------------------------------------------

// First in this program: the threads' first protects meet in the one-time
// binding of the facility (which finds none here). Values of different
// threads are independent.
TEST_F(ProtectedValue, ThreadsProtectTheirOwnValues) {
  constexpr int kThreads = 8;
  std::atomic<int> waiting{kThreads};
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string text = u"thread " + std::u16string(1, static_cast<char16_t>(u'A' + t));
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      for (int round = 0; round < 50; ++round) {
        JuProtectedValue value, plain;
        if (value.protect(text.data(), static_cast<int64_t>(text.size()), kKey) != 0) return;
        if (held(value) != expectedProtected(text, kKey)) return;
        if (plain.reveal(value, kKey) != 0 || revealedText(plain) != text) return;
      }
      ++good;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(good.load(), kThreads);
}

// --- Protect and reveal --------------------------------------------------------

TEST_F(ProtectedValue, RoundTripsAndSizes) {
  struct Row {
    std::u16string text;
    size_t byteSize;
    const char* note;
  };
  const std::vector<Row> rows = {
      {u"a", 16, "one unit"},
      {u"secret7", 16, "7 units"},
      {u"secret78", 16, "8 units: exactly one block of 16"},
      {u"secret789", 32, "9 units"},
      {std::u16string(16, u'x'), 32, "16 units"},
      {std::u16string(17, u'y'), 48, "17 units"},
      {std::u16string(u"a\0b", 3), 16, "a zero unit inside the text"},
      {u"p\u00e4ss\U0001F600", 16, "non-ASCII and a surrogate pair"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuProtectedValue value;
    ASSERT_EQ(value.protect(row.text.data(), static_cast<int64_t>(row.text.size()), kKey), 0);
    EXPECT_EQ(value.state, JuProtectedValue::kProtected);
    EXPECT_EQ(value.length, row.text.size());
    EXPECT_EQ(value.byteSize, row.byteSize);
    EXPECT_EQ(held(value), expectedProtected(row.text, kKey));
    EXPECT_TRUE(encryptorIsWiped(value.encryptor));

    JuProtectedValue plain;
    ASSERT_EQ(plain.reveal(value, kKey), 0);
    EXPECT_EQ(plain.state, JuProtectedValue::kRevealed);
    EXPECT_EQ(revealedText(plain), row.text);
    EXPECT_TRUE(encryptorIsWiped(plain.encryptor));
    // The reveal buffer is max(length * 2 + 2, byte size) bytes: after the
    // text a zero unit and the decrypted padding, zeroed.
    const size_t size = std::max(row.text.size() * 2 + 2, row.byteSize);
    for (size_t i = row.text.size() * 2; i < size; ++i) EXPECT_EQ(plain.buffer[i], 0) << i;
    // The source is left as it was.
    EXPECT_EQ(held(value), expectedProtected(row.text, kKey));
  }
  EXPECT_EQ(errors_.ids(), Ids{});
}

TEST_F(ProtectedValue, TerminatedTextAndEmptyText) {
  JuProtectedValue value;
  ASSERT_EQ(value.protect(u"pwd", -3, kKey), 0);
  EXPECT_EQ(value.length, 3u);
  EXPECT_EQ(held(value), expectedProtected(u"pwd", kKey));

  struct Row {
    const char16_t* text;
    int64_t length;
    const char* note;
  };
  const Row rows[] = {
      {u"", -3, "empty terminated text"},
      {u"abc", 0, "length 0"},
      {nullptr, -3, "no text, terminated"},
      {nullptr, 5, "no text with a length"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    ASSERT_EQ(value.protect(row.text, row.length, kKey), 0);
    EXPECT_EQ(value.buffer, nullptr);
    EXPECT_EQ(value.length, 0u);
    EXPECT_EQ(value.byteSize, 0u);
    JuProtectedValue plain;
    ASSERT_EQ(plain.reveal(value, kKey), 0);
    ASSERT_NE(plain.buffer, nullptr);
    EXPECT_EQ(plain.length, 0u);
    EXPECT_EQ(plain.buffer[0], 0);
    EXPECT_EQ(plain.buffer[1], 0);
  }
  EXPECT_EQ(errors_.ids(), Ids{});
}

// Whatever the decrypted bytes past the text hold, the revealed buffer has
// zeros there: a value of 16 units is revealed as its first 3.
TEST_F(ProtectedValue, DecryptedPaddingIsZeroed) {
  const std::u16string text = u"abcdefghijklmnop";
  JuProtectedValue value;
  ASSERT_EQ(value.protect(text.data(), 16, kKey), 0);
  value.length = 3;
  JuProtectedValue plain;
  ASSERT_EQ(plain.reveal(value, kKey), 0);
  EXPECT_EQ(revealedText(plain), u"abc");
  for (size_t i = 6; i < 32; ++i) EXPECT_EQ(plain.buffer[i], 0) << i;
}

TEST_F(ProtectedValue, AnotherKeyDoesNotGiveTheText) {
  JuProtectedValue value;
  ASSERT_EQ(value.protect(u"my password", -3, kKey), 0);
  EXPECT_NE(held(value), expectedProtected(u"my password", kOtherKey));
  JuProtectedValue plain;
  ASSERT_EQ(plain.reveal(value, kOtherKey), 0);
  EXPECT_EQ(plain.length, 11u);
  EXPECT_NE(revealedText(plain), u"my password");
}

TEST_F(ProtectedValue, RevealIntoItself) {
  JuProtectedValue value;
  ASSERT_EQ(value.protect(u"self", -3, kKey), 0);
  const uint8_t* old = value.buffer;
  ASSERT_EQ(value.reveal(value, kKey), 0);
  EXPECT_EQ(value.state, JuProtectedValue::kRevealed);
  EXPECT_EQ(revealedText(value), u"self");
  EXPECT_TRUE(freedWiped(old, 16));
}

// --- Copy --------------------------------------------------------------------

TEST_F(ProtectedValue, CopyHoldsTheSameBytesAndRevealsWithTheSameKey) {
  JuProtectedValue value;
  ASSERT_EQ(value.protect(u"copied secret", -3, kKey), 0);
  JuProtectedValue copy;
  ASSERT_EQ(copy.protect(u"old", -3, kKey), 0);
  const uint8_t* old = copy.buffer;
  ASSERT_EQ(copy.copy(value), 0);
  EXPECT_TRUE(freedWiped(old, 16));
  EXPECT_NE(copy.buffer, value.buffer);
  EXPECT_EQ(held(copy), held(value));
  EXPECT_EQ(copy.length, value.length);
  EXPECT_EQ(copy.byteSize, value.byteSize);
  JuProtectedValue plain;
  ASSERT_EQ(plain.reveal(copy, kKey), 0);
  EXPECT_EQ(revealedText(plain), u"copied secret");

  // A revealed value may take a copy: it is protected again, by the bytes.
  ASSERT_EQ(plain.copy(value), 0);
  EXPECT_EQ(plain.state, JuProtectedValue::kProtected);
  EXPECT_EQ(held(plain), held(value));

  JuProtectedValue empty, target;
  ASSERT_EQ(target.copy(empty), 0);
  EXPECT_EQ(target.buffer, nullptr);
  EXPECT_EQ(target.byteSize, 0u);

  ASSERT_EQ(copy.copy(copy), 0);  // into itself: nothing changes
  EXPECT_EQ(held(copy), held(value));
  EXPECT_EQ(errors_.ids(), Ids{});
}

// --- Failures ------------------------------------------------------------------

TEST_F(ProtectedValue, MemoryBufferErrors) {
  JuProtectedValue revealed;
  ASSERT_EQ(revealed.allocate(2), 0);
  JuProtectedValue cleared;
  ASSERT_EQ(cleared.protect(u"gone", -3, kKey), 0);
  ASSERT_EQ(cleared.clear(), 0);
  EXPECT_EQ(cleared.byteSize, 16u);  // clear keeps the byte size and the state
  EXPECT_EQ(cleared.state, JuProtectedValue::kProtected);
  JuProtectedValue target;

  struct Row {
    int (*operation)(JuProtectedValue& target, JuProtectedValue& revealed, JuProtectedValue& cleared);
    const char* message;
    const char* note;
  };
  const Row rows[] = {
      {[](JuProtectedValue&, JuProtectedValue& r, JuProtectedValue&) { return r.protect(u"x", -3, kKey); },
       "Memory buffer error #1.", "a revealed value is not protected again"},
      {[](JuProtectedValue& t, JuProtectedValue& r, JuProtectedValue&) { return t.copy(r); },
       "Memory buffer error #1.", "copy of a revealed value"},
      {[](JuProtectedValue& t, JuProtectedValue& r, JuProtectedValue&) { return t.reveal(r, kKey); },
       "Memory buffer error #1.", "reveal of a revealed value"},
      {[](JuProtectedValue& t, JuProtectedValue&, JuProtectedValue& c) { return t.reveal(c, kKey); },
       "Memory buffer error #2.", "reveal of a byte size without a buffer"},
      {[](JuProtectedValue& t, JuProtectedValue&, JuProtectedValue& c) { return t.copy(c); },
       "Memory buffer error #4.", "copy of a byte size without a buffer"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(row.operation(target, revealed, cleared), 1);
    ASSERT_EQ(errors.ids(), Ids{2809});
    EXPECT_EQ(errors.message(0), row.message);
    EXPECT_STREQ(errors->at(0)->sqlState(), "HY000");
    EXPECT_EQ(errors->at(0)->sqlStateCode, kJuSqlStateGeneral);
  }
}

// A source whose buffer is too small for its length is refused instead of
// being read past its end.
TEST_F(ProtectedValue, InconsistentSourceIsRefused) {
  JuProtectedValue value;
  ASSERT_EQ(value.protect(u"abc", -3, kKey), 0);
  value.length = 9;  // 18 bytes would not fit the 16 held
  JuProtectedValue plain;
  EXPECT_EQ(plain.reveal(value, kKey), 1);
  EXPECT_EQ(errors_.ids(), Ids{2809});
  EXPECT_EQ(plain.buffer, nullptr);
  value.length = 8;
  EXPECT_EQ(plain.reveal(value, kKey), 0);
}

TEST_F(ProtectedValue, NoKeyForTheFallbackFails) {
  JuProtectedValue value;
  EXPECT_EQ(value.protect(u"abc", -3, nullptr), 1);
  EXPECT_EQ(value.buffer, nullptr);
  EXPECT_EQ(value.length, 0u);
  EXPECT_EQ(value.byteSize, 0u);
  ASSERT_EQ(value.protect(u"abc", -3, kKey), 0);
  JuProtectedValue plain;
  EXPECT_EQ(plain.reveal(value, nullptr), 1);
  EXPECT_EQ(plain.buffer, nullptr);
  EXPECT_EQ(errors_.ids(), (Ids{2809, 2809}));
  EXPECT_EQ(errors_.message(0), "Memory buffer error #3.");
}

// Sizes are computed from the length only when length * 2 + 15 stays within
// the 32-bit sizes that the block operations take (the largest multiple of
// 16: 0xFFFFFFF0 bytes, 0x7FFFFFF8 units). Longer texts fail as out of
// memory before anything is read or allocated.
TEST_F(ProtectedValue, LengthsBeyondTheLimitFailAsOutOfMemory) {
  const char16_t text[] = u"short";
  struct Row {
    int64_t length;
    uint64_t allocations;  // allocations tried (the armed fault fires on the first)
    const char* note;
  };
  const Row rows[] = {
      {0x7FFFFFF8, 1, "the last length that fits: allocation is tried"},
      {0x7FFFFFF9, 0, "one more"},
      {int64_t{1} << 31, 0, "2^31"},
      {int64_t{1} << 62, 0, "length * 2 + 15 overflows 64 bits"},
      {std::numeric_limits<int64_t>::max(), 0, "the largest length"},
      {-1, 0, "negative, not the terminated marker"},
      {std::numeric_limits<int64_t>::min(), 0, "the smallest length"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    JuProtectedValue value;
    julib::internal::failAllocation(1, false);
    EXPECT_EQ(value.protect(text, row.length, kKey), 1);
    EXPECT_EQ(julib::internal::clearAllocationFault(), row.allocations);
    EXPECT_EQ(errors.ids(), Ids{kJuMsgOutOfMemory});
    EXPECT_EQ(value.buffer, nullptr);
  }
}

TEST_F(ProtectedValue, AllocateSizes) {
  JuProtectedValue value;
  ASSERT_EQ(value.allocate(0), 0);
  EXPECT_NE(value.buffer, nullptr);
  EXPECT_EQ(value.length, 0u);
  EXPECT_EQ(value.state, JuProtectedValue::kRevealed);
  ASSERT_EQ(value.allocate(5), 0);
  EXPECT_EQ(value.length, 5u);
  std::memset(value.buffer, 0x41, 10);  // the whole buffer is writable

  const size_t tooMany = std::numeric_limits<size_t>::max() / 2 + 1;
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(value.allocate(tooMany), 1);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 0u);  // refused before allocating
  EXPECT_EQ(value.buffer, nullptr);
  EXPECT_EQ(value.length, 0u);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
}

// Every allocation of a protect, copy and reveal made to fail in turn: each
// run ends in success or in out of memory, and leaks nothing.
TEST_F(ProtectedValue, AllocationFailures) {
  jutest::failEachAllocation([](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    JuProtectedValue value, copy, plain;
    fault.arm();
    int status = value.protect(u"fault", -3, kKey);
    if (status == 0) status = copy.copy(value);
    if (status == 0) status = plain.reveal(copy, kKey);
    if (!fault.disarm()) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(revealedText(plain), u"fault");
      return;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(errors.ids(), Ids{kJuMsgOutOfMemory});
    EXPECT_EQ(plain.buffer, nullptr);
  });
}

// --- Wiping --------------------------------------------------------------------

TEST_F(ProtectedValue, EveryReleaseWipesTheWholeBuffer) {
  struct Row {
    void (*release)(JuProtectedValue* value);
    const char* note;
  };
  const Row rows[] = {
      {[](JuProtectedValue* v) { v->clear(); }, "clear"},
      {[](JuProtectedValue* v) { (void)v->allocate(1); }, "allocate"},  // its release, not its status
      {[](JuProtectedValue* v) { v->~JuProtectedValue(); new (v) JuProtectedValue; }, "destructor"},
  };
  const std::u16string text = u"wipe me, 17 units";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    JuProtectedValue value;
    ASSERT_EQ(value.protect(text.data(), static_cast<int64_t>(text.size()), kKey), 0);
    JuProtectedValue plain;
    ASSERT_EQ(plain.reveal(value, kKey), 0);
    // The text is made visible across the whole buffer (length * 2 + 2 =
    // 36 bytes, byte size 48): every byte must be wiped, not only the text.
    std::memset(plain.buffer, 0x77, 48);
    const uint8_t* revealed = plain.buffer;
    row.release(&plain);
    EXPECT_TRUE(freedWiped(revealed, 48));
    const uint8_t* protectedBytes = value.buffer;
    row.release(&value);
    EXPECT_TRUE(freedWiped(protectedBytes, 48));
  }
}

TEST_F(ProtectedValue, ProtectAgainWipesTheOldBuffer) {
  JuProtectedValue value;
  ASSERT_EQ(value.protect(u"first", -3, kKey), 0);
  const uint8_t* old = value.buffer;
  ASSERT_EQ(value.protect(u"second", -3, kKey), 0);
  EXPECT_TRUE(freedWiped(old, 16));
  JuProtectedValue plain;
  ASSERT_EQ(plain.reveal(value, kKey), 0);
  const uint8_t* first = plain.buffer;
  ASSERT_EQ(plain.reveal(value, kKey), 0);  // a reveal replaces the last one
  EXPECT_TRUE(freedWiped(first, 16));
  EXPECT_EQ(revealedText(plain), u"second");
}

}  // namespace
