// JuProtectedValue over a memory-protection facility: this program registers
// a fake facility with the platform layer before anything is protected, so
// the one-time binding finds it. The fake adds a pattern to every byte to
// protect and subtracts it to unprotect, counts its calls, and fails on
// request.

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "julib/crypto.h"
#include "julib/errors.h"
#include "julib/internal/fault.h"
#include "platform/memory_protection.h"
#include "testing/ju_test.h"

namespace {

using jutest::JuTest;
using Bytes = std::vector<uint8_t>;
using Ids = std::vector<uint16_t>;

std::atomic<int> protectCalls{0};
std::atomic<int> unprotectCalls{0};
std::atomic<int> badArguments{0};  // sizes not a multiple of 16, flags not 0
// The nth next call fails (0: none).
std::atomic<int> failProtectIn{0};
std::atomic<int> failUnprotectIn{0};
std::atomic<void*> lastProtected{nullptr};

uint8_t pattern(size_t i) { return static_cast<uint8_t>(0x5C + i * 7); }

bool failsNow(std::atomic<int>& countdown) {
  int n = countdown.load();
  while (n > 0 && !countdown.compare_exchange_weak(n, n - 1)) {
  }
  return n == 1;
}

int fakeProtect(void* block, uint32_t size, uint32_t flags) {
  ++protectCalls;
  if (size % 16 != 0 || size == 0 || flags != 0) ++badArguments;
  lastProtected = block;
  if (failsNow(failProtectIn)) return 0;
  auto* bytes = static_cast<uint8_t*>(block);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] + pattern(i));
  return 1;
}

int fakeUnprotect(void* block, uint32_t size, uint32_t flags) {
  ++unprotectCalls;
  if (size % 16 != 0 || size == 0 || flags != 0) ++badArguments;
  if (failsNow(failUnprotectIn)) return 0;
  auto* bytes = static_cast<uint8_t*>(block);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] - pattern(i));
  return 1;
}

class FacilityEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(platform::registerFakeMemoryProtection(&fakeProtect, &fakeUnprotect)); }
  void TearDown() override { platform::unregisterFakeMemoryProtection(); }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new FacilityEnvironment);

const uint8_t kKey[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// The text and zero padding to a multiple of 16, with the pattern added.
Bytes expectedProtected(const std::u16string& text) {
  Bytes bytes((text.size() * 2 + 15) / 16 * 16, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(bytes[i] + pattern(i));
  return bytes;
}

Bytes held(const JuProtectedValue& value) { return Bytes(value.buffer, value.buffer + value.byteSize); }

std::u16string revealedText(const JuProtectedValue& value) {
  return std::u16string(reinterpret_cast<const char16_t*>(value.buffer), value.length);
}

class Facility : public JuTest {
 protected:
  void SetUp() override {
    protectCalls = 0;
    unprotectCalls = 0;
    failProtectIn = 0;
    failUnprotectIn = 0;
  }
  void TearDown() override { EXPECT_EQ(badArguments.load(), 0); }
};

// First in this program: the threads' first protects meet in the one-time
// binding, which must load the library once and give every thread the same
// functions.
TEST_F(Facility, ConcurrentFirstProtectsBindOnce) {
  constexpr int kThreads = 8;
  std::atomic<int> waiting{kThreads};
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string text = u"thread secret " + std::u16string(1, static_cast<char16_t>(u'A' + t));
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      JuProtectedValue value, plain;
      if (value.protect(text.data(), static_cast<int64_t>(text.size()), kKey) != 0) return;
      if (held(value) != expectedProtected(text)) return;
      if (plain.reveal(value, kKey) != 0 || revealedText(plain) != text) return;
      ++good;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(good.load(), kThreads);
  EXPECT_EQ(platform::fakeMemoryProtectionLoads(), 1u);
  EXPECT_EQ(protectCalls.load(), 2 * kThreads);  // protect, and again after each reveal
  EXPECT_EQ(unprotectCalls.load(), kThreads);
}

TEST_F(Facility, ProtectAndRevealThroughTheFacility) {
  const std::vector<std::u16string> texts = {u"a", u"seven u", u"eight un", u"nine unit", std::u16string(17, u'z')};
  for (const std::u16string& text : texts) {
    SCOPED_TRACE(jutest::toUtf8(text));
    protectCalls = 0;
    unprotectCalls = 0;
    JuProtectedValue value;
    // No key is needed: the facility protects.
    ASSERT_EQ(value.protect(text.data(), static_cast<int64_t>(text.size()), nullptr), 0);
    EXPECT_EQ(held(value), expectedProtected(text));
    EXPECT_EQ(value.byteSize, (text.size() * 2 + 15) / 16 * 16);
    EXPECT_EQ(protectCalls.load(), 1);

    JuProtectedValue plain;
    ASSERT_EQ(plain.reveal(value, nullptr), 0);
    EXPECT_EQ(revealedText(plain), text);
    EXPECT_EQ(plain.buffer[text.size() * 2], 0);
    EXPECT_EQ(plain.buffer[text.size() * 2 + 1], 0);
    EXPECT_EQ(held(value), expectedProtected(text));  // protected again
    EXPECT_EQ(unprotectCalls.load(), 1);
    EXPECT_EQ(protectCalls.load(), 2);

    JuProtectedValue copy;
    ASSERT_EQ(copy.copy(value), 0);
    EXPECT_EQ(held(copy), held(value));
    ASSERT_EQ(plain.reveal(copy, nullptr), 0);
    EXPECT_EQ(revealedText(plain), text);
  }
  EXPECT_EQ(platform::fakeMemoryProtectionLoads(), 1u);  // bound once for good
  EXPECT_EQ(errors_.ids(), Ids{});
}

TEST_F(Facility, EmptyTextNeverReachesTheFacility) {
  JuProtectedValue value, plain;
  ASSERT_EQ(value.protect(u"", -3, nullptr), 0);
  ASSERT_EQ(plain.reveal(value, nullptr), 0);
  EXPECT_EQ(plain.length, 0u);
  EXPECT_EQ(plain.buffer[0] | plain.buffer[1], 0);
  EXPECT_EQ(protectCalls.load() + unprotectCalls.load(), 0);
}

// What a thread freed: the test main's record keeps only the latest free of
// an address, and posting an error may reuse and free a block again, so the
// failure cases run on a thread of their own that records every free.
struct Freed {
  const void* address;
  size_t size;
  uint8_t bytes[64];
};
Freed freedOnThread[256];
std::atomic<size_t> freedCount{0};

void recordFree(const void* block) {
  const size_t n = freedCount++;
  if (n >= std::size(freedOnThread)) return;
  Freed& slot = freedOnThread[n];
  slot.address = block;
  slot.size = std::min<size_t>(malloc_usable_size(const_cast<void*>(block)), sizeof slot.bytes);
  std::memcpy(slot.bytes, block, slot.size);
}

// Runs `body` on a new thread with its own error list; returns the message
// ids it posted.
template <typename Body>
Ids runRecordingFrees(Body body) {
  freedCount = 0;
  Ids ids;
  std::thread thread([&] {
    jutest::ScopedErrorList errors;
    julib::internal::observeFrees(recordFree);
    body();
    julib::internal::observeFrees(nullptr);
    ids = errors.ids();
  });
  thread.join();
  return ids;
}

// True when any block freed on the recording thread held `text` (UTF-16).
bool anyFreedHolds(const std::u16string& text) {
  const size_t n = std::min(freedCount.load(), std::size(freedOnThread));
  for (size_t i = 0; i < n; ++i) {
    const Freed& f = freedOnThread[i];
    for (size_t at = 0; at + text.size() * 2 <= f.size; ++at) {
      if (std::memcmp(f.bytes + at, text.data(), text.size() * 2) == 0) return true;
    }
  }
  return false;
}

// A failed protect leaves no plain text behind in a value marked protected:
// the buffer is wiped, freed and forgotten.
TEST_F(Facility, FailedProtectWipesTheText) {
  JuProtectedValue value;
  failProtectIn = 1;
  int status = 0;
  const Ids ids = runRecordingFrees([&] { status = value.protect(u"do not keep me", -3, kKey); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(ids, Ids{2809});
  EXPECT_EQ(value.buffer, nullptr);
  EXPECT_EQ(value.length, 0u);
  EXPECT_EQ(value.byteSize, 0u);
  EXPECT_EQ(value.state, JuProtectedValue::kProtected);
  ASSERT_GE(freedCount.load(), 1u);
  const Freed& first = freedOnThread[0];  // the buffer, freed before the error is posted
  EXPECT_EQ(first.address, lastProtected.load());
  ASSERT_GE(first.size, 32u);
  for (size_t i = 0; i < 32; ++i) EXPECT_EQ(first.bytes[i], 0) << i;
  EXPECT_FALSE(anyFreedHolds(u"do not"));

  // The message itself, on this thread's list.
  failProtectIn = 1;
  EXPECT_EQ(value.protect(u"x", -3, kKey), 1);
  EXPECT_EQ(errors_.message(0), "Memory buffer error #3.");
}

TEST_F(Facility, FailedUnprotectLeavesTheSource) {
  JuProtectedValue value, plain;
  ASSERT_EQ(value.protect(u"source", -3, nullptr), 0);
  ASSERT_EQ(plain.allocate(3), 0);
  failUnprotectIn = 1;
  EXPECT_EQ(plain.reveal(value, nullptr), 1);
  ASSERT_EQ(errors_.ids(), Ids{2809});
  EXPECT_EQ(errors_.message(0), "Memory buffer error #3.");
  EXPECT_EQ(plain.state, JuProtectedValue::kRevealed);
  EXPECT_EQ(plain.buffer, nullptr);
  EXPECT_EQ(held(value), expectedProtected(u"source"));
}

// When the source cannot be protected again it would hold plain text marked
// protected: its bytes are wiped instead, and the revealed copy is dropped.
TEST_F(Facility, FailedProtectAgainWipesTheSource) {
  JuProtectedValue value, plain;
  ASSERT_EQ(value.protect(u"source", -3, nullptr), 0);
  failProtectIn = 1;
  int status = 0;
  const Ids ids = runRecordingFrees([&] { status = plain.reveal(value, nullptr); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(ids, Ids{2809});
  EXPECT_GE(freedCount.load(), 1u);  // the revealed copy, wiped
  EXPECT_FALSE(anyFreedHolds(u"source"));
  EXPECT_EQ(held(value), Bytes(16, 0));
  EXPECT_EQ(plain.buffer, nullptr);
  EXPECT_EQ(plain.length, 0u);

  ASSERT_EQ(value.protect(u"again", -3, nullptr), 0);
  failProtectIn = 1;
  EXPECT_EQ(plain.reveal(value, nullptr), 1);
  EXPECT_EQ(errors_.message(0), "Memory buffer error #4.");
}

TEST_F(Facility, OutOfMemoryInRevealProtectsTheSourceAgain) {
  JuProtectedValue value, plain;
  ASSERT_EQ(value.protect(u"source", -3, nullptr), 0);
  julib::internal::failAllocation(1, false);
  EXPECT_EQ(plain.reveal(value, nullptr), 1);
  EXPECT_EQ(julib::internal::clearAllocationFault(), 1u);
  EXPECT_EQ(errors_.ids(), Ids{kJuMsgOutOfMemory});
  EXPECT_EQ(held(value), expectedProtected(u"source"));
  EXPECT_EQ(unprotectCalls.load(), 1);
  EXPECT_EQ(protectCalls.load(), 2);
  EXPECT_EQ(plain.buffer, nullptr);
}

}  // namespace
