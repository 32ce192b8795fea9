// Helpers for tests of files and paths (platform level: no component's
// code): a temporary folder (TempDir, from testing/temp_dir.h), the current
// directory and environment variables for a scope, and reading files back.
#ifndef TESTING_FILES_H
#define TESTING_FILES_H

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace jutest {

// Changes the current directory for a scope.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::string& path) {
    char saved[PATH_MAX];
    if (getcwd(saved, sizeof saved) != nullptr) saved_ = saved;
    EXPECT_EQ(chdir(path.c_str()), 0) << path;
  }
  ~ScopedCurrentDirectory() {
    if (!saved_.empty()) {
      EXPECT_EQ(chdir(saved_.c_str()), 0);
    }
  }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::string saved_;
};

// Sets (or with nullopt unsets) an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (saved_) {
      setenv(name_.c_str(), saved_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below `dir`, by its path below it, with its bytes.
inline std::map<std::string, std::string> readTree(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) out[std::filesystem::relative(entry.path(), dir).string()] = readWholeFile(entry.path());
  }
  return out;
}

// Up to n bytes of a file from `offset` (fewer at its end).
inline std::string readFileRange(const std::string& path, uint64_t offset, size_t n) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string out(n, '\0');
  in.read(out.data(), static_cast<std::streamsize>(n));
  out.resize(static_cast<size_t>(in.gcount()));
  return out;
}

inline bool pathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// UTF-8 to UTF-16 (test input is valid UTF-8).
inline std::u16string wide(const std::string& text) {
  std::u16string out(text.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(), static_cast<int32_t>(text.size()),
                &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  out.resize(static_cast<size_t>(length));
  return out;
}

}  // namespace jutest

#endif  // TESTING_FILES_H
