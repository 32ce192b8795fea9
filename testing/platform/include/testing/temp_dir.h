// A temporary folder for tests that work on real files (platform level: no
// component's code).
#ifndef TESTING_TEMP_DIR_H
#define TESTING_TEMP_DIR_H

#include <dirent.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace jutest {

// A fresh folder from mkdtemp under $TMPDIR or /tmp, removed with all it
// holds at the end of the scope. path() is its real path (no symbolic link).
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/jutestXXXXXX";
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
  bool exists(const std::string& name) const { return access((*this / name).c_str(), F_OK) == 0; }
  // Names of the entries of a directory below the folder ("" for itself),
  // sorted.
  std::vector<std::string> entries(const std::string& name = "") const {
    std::vector<std::string> out = namesIn(name.empty() ? path_ : *this / name);
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  // The entries of `path` but "." and "..", in the order readdir gives.
  static std::vector<std::string> namesIn(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
  }

  // Folders are made writable first so that a test may leave read-only
  // ones behind.
  static void removeTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      chmod(path.c_str(), 0755);
      for (const std::string& name : namesIn(path)) removeTree(path + "/" + name);
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }

  std::string path_;
};

}  // namespace jutest

#endif  // TESTING_TEMP_DIR_H
