// Helpers for tests of files and paths: a temporary folder, the current
// directory and environment variables for a scope, and reading files back.
#ifndef JULIB_TESTS_FILE_TEST_UTIL_H
#define JULIB_TESTS_FILE_TEST_UTIL_H

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace jutest {

// A fresh folder from mkdtemp under $TMPDIR or /tmp, removed with all it
// holds at the end of the scope. path() is its real path (no symbolic link).
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/jufilesXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed";
      return;
    }
    char real[PATH_MAX];
    path_ = realpath(buffer.data(), real) != nullptr ? real : buffer.data();
  }
  ~TempDir() {
    if (!path_.empty()) removeTree(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Writes a file below the folder and returns its path.
  std::string write(const std::string& name, const std::string& content, mode_t mode = 0644) const {
    const std::string file = *this / name;
    std::ofstream out(file, std::ios::binary);
    out << content;
    out.close();
    chmod(file.c_str(), mode);
    return file;
  }
  std::string makeDir(const std::string& name) const {
    const std::string dir = *this / name;
    EXPECT_EQ(mkdir(dir.c_str(), 0755), 0) << dir;
    return dir;
  }
  // Names of the entries of a directory below the folder ("" for itself).
  std::vector<std::string> entries(const std::string& name = "") const {
    std::vector<std::string> out;
    DIR* dir = opendir(name.empty() ? path_.c_str() : (*this / name).c_str());
    if (dir == nullptr) return out;
    while (dirent* entry = readdir(dir)) {
      const std::string entryName = entry->d_name;
      if (entryName != "." && entryName != "..") out.push_back(entryName);
    }
    closedir(dir);
    return out;
  }

 private:
  static void removeTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      chmod(path.c_str(), 0755);
      if (DIR* dir = opendir(path.c_str())) {
        std::vector<std::string> names;
        while (dirent* entry = readdir(dir)) {
          const std::string name = entry->d_name;
          if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
        for (const std::string& name : names) removeTree(path + "/" + name);
      }
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }

  std::string path_;
};

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

#endif  // JULIB_TESTS_FILE_TEST_UTIL_H
