// Binding the system's memory-protection facility: its library and function
// names are kept scrambled and rebuilt only for the one attempt per process.

#include "memory_protection.h"

#include <cstddef>
#include <mutex>

#include "julib/codepage.h"
#include "julib/cstring.h"
#include "platform/library.h"

namespace julib::internal {
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

constexpr auto kLibraryName = scramble("libjuprotect.so");
constexpr auto kProtectName = scramble("juProtectMemory");
constexpr auto kUnprotectName = scramble("juUnprotectMemory");

// A name rebuilt on the stack for the time of one call, wiped afterwards.
template <size_t N>
class Name {
 public:
  explicit Name(const Scrambled<N>& scrambled) {
    for (size_t i = 0; i < N; ++i) text_[i] = static_cast<char>(scrambled.bytes[i] ^ kScrambleByte);
  }
  ~Name() { juMemZero(text_, N); }
  Name(const Name&) = delete;
  Name& operator=(const Name&) = delete;

  const char* c_str() const { return text_; }

 private:
  char text_[N];
};

MemoryProtection facility = {};
const MemoryProtection* bound = nullptr;
std::once_flag bindingOnce;

// Both functions or none: a library that lacks either is given back.
void bind() noexcept {
  const Name library(kLibraryName);
  auto* handle = static_cast<platform::LibraryHandle>(juLoadLibrary(library.c_str(), 0));
  if (handle == nullptr) return;
  const Name protectName(kProtectName);
  const Name unprotectName(kUnprotectName);
  void* protect = platform::findFunction(handle, protectName.c_str());
  void* unprotect = platform::findFunction(handle, unprotectName.c_str());
  if (protect == nullptr || unprotect == nullptr) {
    platform::freeLibrary(handle);
    return;
  }
  facility.protect = reinterpret_cast<MemoryProtectFunction>(protect);
  facility.unprotect = reinterpret_cast<MemoryProtectFunction>(unprotect);
  bound = &facility;
}

}  // namespace

const MemoryProtection* memoryProtection() {
  // call_once publishes what bind() wrote to every caller that returns from
  // it, so later reads need no lock of their own.
  std::call_once(bindingOnce, bind);
  return bound;
}

}  // namespace julib::internal
