// Helpers for the profile tests: a registry store and ANSI mode for a scope,
// and readable forms of the results.
#ifndef JULIB_TESTS_PROFILE_TEST_UTIL_H
#define JULIB_TESTS_PROFILE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "julib/profile.h"
#include "julib/threads.h"
#include "platform/process.h"
#include "platform/profile/registry.h"
#include "testing/files.h"

namespace jutest {

inline JuRegKey currentUser() { return platform::registry::rootKey(platform::registry::Root::kCurrentUser); }
inline JuRegKey localMachine() { return platform::registry::rootKey(platform::registry::Root::kLocalMachine); }

// The registry store in a fresh folder for a scope.
class ScopedRegistry {
 public:
  ScopedRegistry() { platform::registry::setDirectoryForTesting(dir_.path().c_str()); }
  ~ScopedRegistry() { platform::registry::setDirectoryForTesting(""); }
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
};

// ANSI mode (a Windows older than 5.1) for a scope.
class ScopedAnsiMode {
 public:
  ScopedAnsiMode() {
    platform::setReportedWindowsVersionForTesting(5, 0, 0);
    juAnsiMode.store(-1);
    EXPECT_EQ(juGetAnsiMode(), 1);
  }
  ~ScopedAnsiMode() {
    platform::setReportedWindowsVersionForTesting(10, 0, 0);
    juAnsiMode.store(-1);
  }
  ScopedAnsiMode(const ScopedAnsiMode&) = delete;
  ScopedAnsiMode& operator=(const ScopedAnsiMode&) = delete;
};

// The n units of a result as they are, terminators included.
inline std::string units(const char* text, size_t n) { return std::string(text, n); }
inline std::u16string units(const char16_t* text, size_t n) { return std::u16string(text, n); }

// The names of a double-terminated list.
template <typename Char>
std::vector<std::basic_string<Char>> names(const Char* list) {
  std::vector<std::basic_string<Char>> out;
  while (*list != 0) {
    out.emplace_back(list);
    list += out.back().size() + 1;
  }
  return out;
}

// A value read back through the registry helper; "<missing>" when it fails.
inline std::u16string regValue(JuRegKey root, const std::u16string& subkey, const std::u16string& name) {
  char16_t buffer[4096];
  const size_t n = juRegGetStringW(root, subkey.c_str(), name.c_str(), buffer, 4096);
  if (n == kJuRegGetStringFailed) return u"<missing>";
  return std::u16string(buffer, n);
}

inline bool keyExists(JuRegKey root, const std::u16string& path) {
  platform::registry::KeyHandle key = nullptr;
  if (platform::registry::openKey(root, path, &key) != platform::registry::Status::kOk) return false;
  platform::registry::closeKey(key);
  return true;
}

}  // namespace jutest

#endif  // JULIB_TESTS_PROFILE_TEST_UTIL_H
