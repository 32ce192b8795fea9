// Binding the system's memory-protection facility: its library and function
// names are kept scrambled and rebuilt only for the one attempt per process
// (and for a test's fake).

#include "platform/memory_protection.h"

#include <cstring>
#include <mutex>

#include "platform/library.h"

namespace platform {
namespace {

constexpr unsigned char kScrambleByte = 0xA5;

template <size_t N>
struct Scrambled {
  unsigned char bytes[N];
};

// Evaluated by the compiler: only the scrambled bytes reach the program.
template <size_t N>
constexpr Scrambled<N> scramble(const char (&text)[N]) {
  Scrambled<N> out{};
  for (size_t i = 0; i < N; ++i) {
    out.bytes[i] = static_cast<unsigned char>(static_cast<unsigned char>(text[i]) ^ kScrambleByte);
  }
  return out;
}

// A scrambled name: its bytes, terminator included.
struct ScrambledName {
  const unsigned char* bytes;
  size_t size;
};

// Room for a rebuilt name, terminator included.
constexpr size_t kNameBytes = 64;

// The facility's library and function names (unix/memory_protection.inc).
ScrambledName libraryName();
ScrambledName protectName();
ScrambledName unprotectName();

// Zeroes a name; the barrier keeps the compiler from dropping the stores
// to a buffer that is about to go out of scope.
void wipe(char* text, size_t n) {
  std::memset(text, 0, n);
  __asm__ __volatile__("" : : "r"(text) : "memory");
}

void unscramble(ScrambledName name, char (&out)[kNameBytes]) {
  for (size_t i = 0; i < name.size; ++i) out[i] = static_cast<char>(name.bytes[i] ^ kScrambleByte);
}

// A name rebuilt on the stack for the time of one call, wiped afterwards.
class Name {
 public:
  explicit Name(ScrambledName scrambled) { unscramble(scrambled, text_); }
  ~Name() { wipe(text_, kNameBytes); }
  Name(const Name&) = delete;
  Name& operator=(const Name&) = delete;

  const char* c_str() const { return text_; }

 private:
  char text_[kNameBytes] = {};
};

MemoryProtection facility = {};
const MemoryProtection* bound = nullptr;
std::once_flag bindingOnce;

// Both functions or none: a library that lacks either is given back.
void bind() noexcept {
  const Name library(libraryName());
  LibraryHandle handle = loadLibrary(library.c_str());
  if (handle == nullptr) return;
  const Name protect(protectName());
  const Name unprotect(unprotectName());
  void* protectAddress = findFunction(handle, protect.c_str());
  void* unprotectAddress = findFunction(handle, unprotect.c_str());
  if (protectAddress == nullptr || unprotectAddress == nullptr) {
    freeLibrary(handle);
    return;
  }
  facility.protect = reinterpret_cast<MemoryProtectFunction>(protectAddress);
  facility.unprotect = reinterpret_cast<MemoryProtectFunction>(unprotectAddress);
  bound = &facility;
}

// The fake's function table: the loader's fakes keep pointers to it.
char fakeNames[2][kNameBytes];
FakeFunction fakeFunctions[2];

}  // namespace

const MemoryProtection* memoryProtection() noexcept {
  // call_once publishes what bind() wrote to every caller that returns from
  // it, so later reads need no lock of their own.
  std::call_once(bindingOnce, bind);
  return bound;
}

bool registerFakeMemoryProtection(MemoryProtectFunction protect, MemoryProtectFunction unprotect) noexcept {
  unscramble(protectName(), fakeNames[0]);
  unscramble(unprotectName(), fakeNames[1]);
  fakeFunctions[0] = {fakeNames[0], reinterpret_cast<void*>(protect)};
  fakeFunctions[1] = {fakeNames[1], reinterpret_cast<void*>(unprotect)};
  const Name library(libraryName());
  return registerFakeLibrary(library.c_str(), fakeFunctions, 2);
}

void unregisterFakeMemoryProtection() noexcept {
  const Name library(libraryName());
  unregisterFakeLibrary(library.c_str());
  wipe(fakeNames[0], kNameBytes);
  wipe(fakeNames[1], kNameBytes);
}

size_t fakeMemoryProtectionLoads() noexcept {
  const Name library(libraryName());
  return fakeLibraryLoads(library.c_str());
}

}  // namespace platform

#include "unix/memory_protection.inc"
