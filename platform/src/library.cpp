// Loading shared libraries: the Windows-name map, the fakes of tests, and the
// system loader behind them.

#include "platform/library.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/lock.h"
#include "platform/paths.h"

namespace platform {
namespace {

// The system loader (unix/library.inc).
LibraryHandle systemLoad(const char* name);
LibraryHandle systemFindLoaded(const char* name);
void* systemFind(LibraryHandle library, const char* name);
void systemFree(LibraryHandle library);

// Windows libraries the system binds at run time and their Linux
// counterparts.
struct NameMapRow {
  const char* windowsName;
  const char* linuxName;
};
constexpr NameMapRow kNameMap[] = {
    {"odbccp32.dll", "libodbcinst.so.2"},
    {"odbc32.dll", "libodbc.so.2"},
};

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// Room for the name the system loader is given.
constexpr size_t kNameBytes = PATH_MAX;

// The name the system loader is given: a mapped Windows name, or the name
// with '/' for every separator; false (an empty name) when it does not fit.
// Fixed buffers rather than std::string: this code runs inside the shared
// libraries, whose own allocation operators must never meet a string that
// the C++ runtime's out-of-line code allocated with the host's.
bool systemName(const char* name, char (&out)[kNameBytes]) {
  out[0] = '\0';
  const std::string_view file = fileName(name);
  for (const NameMapRow& row : kNameMap) {
    if (equalsNoCase(file, row.windowsName)) {
      std::strcpy(out, row.linuxName);
      return true;
    }
  }
  const size_t n = std::strlen(name);
  if (n >= kNameBytes) return false;
  for (size_t i = 0; i <= n; ++i) out[i] = name[i] == '\\' ? '/' : name[i];
  return true;
}

struct Fake {
  char name[kNameBytes] = {};
  const FakeFunction* functions = nullptr;
  size_t count = 0;
  std::atomic<size_t> loads{0};
  bool used = false;
};

constexpr size_t kMaxFakes = 8;
Lock fakeLock;
[[maybe_unused]] const bool fakeLockKept = keepAcrossFork(fakeLock, ForkStage::kPlatformInner);
Fake fakes[kMaxFakes];

// A fake's handle is its address in the table, so it never collides with a
// handle of the system loader.
bool isFakeHandle(LibraryHandle handle) {
  const auto* p = reinterpret_cast<const Fake*>(handle);
  return p >= fakes && p < fakes + kMaxFakes;
}

Fake* findFake(const char* name) {
  for (Fake& fake : fakes) {
    if (fake.used && std::strcmp(fake.name, name) == 0) return &fake;
  }
  return nullptr;
}

}  // namespace

bool registerFakeLibrary(const char* name, const FakeFunction* functions, size_t count) noexcept {
  std::lock_guard<Lock> guard(fakeLock);
  char key[kNameBytes];
  if (name == nullptr || !systemName(name, key)) return false;
  Fake* slot = findFake(key);
  for (size_t i = 0; slot == nullptr && i < kMaxFakes; ++i) {
    if (!fakes[i].used) slot = &fakes[i];
  }
  if (slot == nullptr) return false;
  std::strcpy(slot->name, key);
  slot->functions = functions;
  slot->count = count;
  slot->loads = 0;
  slot->used = true;
  return true;
}

void unregisterFakeLibrary(const char* name) noexcept {
  std::lock_guard<Lock> guard(fakeLock);
  char key[kNameBytes];
  if (name == nullptr || !systemName(name, key)) return;
  if (Fake* fake = findFake(key)) fake->used = false;
}

size_t fakeLibraryLoads(const char* name) noexcept {
  std::lock_guard<Lock> guard(fakeLock);
  char key[kNameBytes];
  if (name == nullptr || !systemName(name, key)) return 0;
  const Fake* fake = findFake(key);
  return fake != nullptr ? fake->loads.load() : 0;
}

namespace {

enum class LoadKind { kLoad, kLoadedOnly };

LibraryHandle load(const char* name, LoadKind kind) {
  char target[kNameBytes];
  if (name == nullptr || *name == '\0' || !systemName(name, target)) return nullptr;
  {
    std::lock_guard<Lock> guard(fakeLock);
    if (Fake* fake = findFake(target)) {
      ++fake->loads;
      return reinterpret_cast<LibraryHandle>(fake);
    }
  }
  return kind == LoadKind::kLoad ? systemLoad(target) : systemFindLoaded(target);
}

}  // namespace

LibraryHandle loadLibrary(const char* name) noexcept { return load(name, LoadKind::kLoad); }

LibraryHandle findLoadedLibrary(const char* name) noexcept { return load(name, LoadKind::kLoadedOnly); }

void* findFunction(LibraryHandle library, const char* name) noexcept {
  if (library == nullptr || name == nullptr) return nullptr;
  if (isFakeHandle(library)) {
    std::lock_guard<Lock> guard(fakeLock);
    const auto* fake = reinterpret_cast<const Fake*>(library);
    for (size_t i = 0; i < fake->count; ++i) {
      if (std::strcmp(fake->functions[i].name, name) == 0) return fake->functions[i].address;
    }
    return nullptr;
  }
  return systemFind(library, name);
}

void freeLibrary(LibraryHandle library) noexcept {
  if (library == nullptr || isFakeHandle(library)) return;
  systemFree(library);
}

}  // namespace platform

#include "unix/library.inc"
