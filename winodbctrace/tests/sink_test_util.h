// Helpers for the sink tests: a temporary folder, reading files back, the
// trace library's message texts for a scope, and records that can be told
// apart, written by many threads and checked whole afterwards.
#ifndef VRTRACE_TESTS_SINK_TEST_UTIL_H
#define VRTRACE_TESTS_SINK_TEST_UTIL_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "julib/threads.h"
#include "platform/catalogue.h"
#include "platform/process.h"
#include "sinks.h"
#include "testing/temp_dir.h"

extern const platform::MessageTable vrTraceMessages;

namespace sinktest {

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

// Waits until a log that could not be opened is tried again.
inline void waitPastRetry() { std::this_thread::sleep_for(std::chrono::milliseconds(kTraceRetryMilliseconds + 20)); }

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

// Writes `records` records from each of `threads` threads to `sink`: thread
// t's record i is makeRecord(t, i, 16 + (i * stride + t) % spread), and
// with `flushEvery` > 0 the thread flushes after each record i that is a
// multiple of it. Returns how many writes failed.
inline int writeFromThreads(JuTracing& sink, int threads, int records, int stride, int spread, int flushEvery = 0) {
  std::atomic<int> failures{0};
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&sink, &failures, records, stride, spread, flushEvery, t] {
      for (int i = 0; i < records; ++i) {
        const std::string record = makeRecord(t, i, 16 + static_cast<size_t>((i * stride + t) % spread));
        if (sink.write(record.data(), record.size()) != 0) ++failures;
        if (flushEvery > 0 && i % flushEvery == 0) sink.flush();
      }
    });
  }
  for (std::thread& thread : running) thread.join();
  return failures.load();
}

// The records in all files of `dir`, each file cut by parseRecords (and, with
// `maxFileBytes`, no larger than that); a record found twice fails the test.
inline std::set<std::pair<int, int>> recordsInFiles(const jutest::TempDir& dir,
                                                    std::optional<size_t> maxFileBytes = std::nullopt) {
  std::set<std::pair<int, int>> seen;
  for (const std::string& name : dir.entries()) {
    SCOPED_TRACE(name);
    const std::string text = readFile(dir / name).value_or("<missing>");
    if (maxFileBytes) {
      EXPECT_LE(text.size(), *maxFileBytes);
    }
    std::vector<std::pair<int, int>> ids;
    EXPECT_TRUE(parseRecords(text, &ids));
    for (const auto& id : ids) EXPECT_TRUE(seen.insert(id).second);
  }
  return seen;
}

}  // namespace sinktest

#endif  // VRTRACE_TESTS_SINK_TEST_UTIL_H
