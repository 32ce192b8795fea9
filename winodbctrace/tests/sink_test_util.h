// Helpers for the sink tests: a temporary folder, reading files back, the
// trace library's message texts for a scope, and records that can be told
// apart and checked whole after many threads wrote them.
#ifndef VRTRACE_TESTS_SINK_TEST_UTIL_H
#define VRTRACE_TESTS_SINK_TEST_UTIL_H

#include <dirent.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "julib/threads.h"
#include "platform/catalogue.h"
#include "platform/process.h"

extern const platform::MessageTable vrTraceMessages;

namespace sinktest {

// A fresh folder, removed with all it holds at the end of the scope.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/jusinksXXXXXX";
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

  std::string write(const std::string& name, const std::string& content) const {
    const std::string file = *this / name;
    std::ofstream out(file, std::ios::binary);
    out << content;
    return file;
  }
  std::string makeDir(const std::string& name) const {
    const std::string dir = *this / name;
    EXPECT_EQ(mkdir(dir.c_str(), 0755), 0) << dir;
    return dir;
  }
  // Names of the folder's entries, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    DIR* dir = opendir(path_.c_str());
    if (dir == nullptr) return out;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") out.push_back(name);
    }
    closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  static void removeTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      DIR* dir = opendir(path.c_str());
      if (dir != nullptr) {
        while (dirent* entry = readdir(dir)) {
          const std::string name = entry->d_name;
          if (name != "." && name != "..") removeTree(path + "/" + name);
        }
        closedir(dir);
      }
      rmdir(path.c_str());
    } else {
      unlink(path.c_str());
    }
  }

  std::string path_;
};

// The whole content of a file, or nothing when it cannot be read.
inline std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Size on disk, -1 when missing: what other processes see of a log.
inline long long diskSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Points juResourceModule at a module with the trace library's texts and
// the library's for a scope.
class ScopedTraceMessages {
 public:
  ScopedTraceMessages() : saved_(juResourceModule.load()) { juResourceModule.store(&module_); }
  ~ScopedTraceMessages() { juResourceModule.store(saved_); }
  ScopedTraceMessages(const ScopedTraceMessages&) = delete;
  ScopedTraceMessages& operator=(const ScopedTraceMessages&) = delete;

 private:
  static inline const platform::Module module_ = {"kjtrac.dll", nullptr,
                                                  {&vrTraceMessages, &juLibraryMessages, nullptr, nullptr}};
  platform::ModuleHandle saved_;
};

// A record of thread `thread`, number `seq`, of `length` bytes (at least
// 16): "<t,s,n|" then filler, ending in "\n". Each is unique and can be
// checked whole.
inline std::string makeRecord(int thread, int seq, size_t length) {
  std::string head = "<" + std::to_string(thread) + "," + std::to_string(seq) + "," + std::to_string(length) + "|";
  std::string record = head;
  record.append(length - head.size() - 1, static_cast<char>('a' + thread % 26));
  record += '\n';
  return record;
}

// Cuts `text` into records as makeRecord makes them. False (with a test
// failure) when anything in it is not a whole record.
inline bool parseRecords(const std::string& text, std::vector<std::pair<int, int>>* ids) {
  size_t pos = 0;
  while (pos < text.size()) {
    int thread = 0;
    int seq = 0;
    size_t length = 0;
    if (text[pos] != '<' ||
        std::sscanf(text.c_str() + pos, "<%d,%d,%zu|", &thread, &seq, &length) != 3 || length < 16 ||
        length > text.size() - pos) {
      ADD_FAILURE() << "no whole record at offset " << pos;
      return false;
    }
    if (text.compare(pos, length, makeRecord(thread, seq, length)) != 0) {
      ADD_FAILURE() << "record " << thread << "," << seq << " is not whole at offset " << pos;
      return false;
    }
    ids->emplace_back(thread, seq);
    pos += length;
  }
  return true;
}

}  // namespace sinktest

#endif  // VRTRACE_TESTS_SINK_TEST_UTIL_H
