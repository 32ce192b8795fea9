// The file sink of a sole writer (a per-process set, a flush after every
// record), which stores records through a window of the file: the same
// bytes as written records at close, each record in the file at once,
// whatever else changes the file meanwhile, and the zeros of a writer that
// died removed by the next open for appending.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "sink_test_util.h"
#include "sinks.h"
#include "testing/ju_test.h"

namespace {

using sinktest::makeRecord;
using sinktest::readFile;

class FileWindowTest : public jutest::JuTest {
 protected:
  uint32_t openWith(bool soleWriter, const std::string& options, const std::string& name) {
    sink_.soleWriter = soleWriter;
    const std::string attributes = "ODBCTraceFlush=2;" + options + "TraceFile=" + dir_ / name;
    return sink_.open(attributes.c_str());
  }
  uint32_t write(const std::string& record) { return sink_.write(record.data(), record.size()); }
  std::string content(const std::string& name) { return readFile(dir_ / name).value_or("<missing>"); }

  jutest::TempDir dir_;
  sinktest::ScopedTraceMessages messages_;
  JuFileTracing sink_;
};

// Without the zero bytes of a window.
std::string withoutZeros(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

TEST_F(FileWindowTest, ASoleWriterLeavesTheBytesOfWrittenRecords) {
  // Small and large records, one larger than a window, over three files.
  std::vector<std::string> records;
  for (int i = 0; i < 2000; ++i) records.push_back(makeRecord(0, i, 16 + static_cast<size_t>(i * 37 % 700)));
  records.insert(records.begin() + 900, makeRecord(1, 0, 300 << 10));
  std::map<bool, std::vector<std::string>> files;
  for (const bool sole : {false, true}) {
    SCOPED_TRACE(sole);
    const std::string base = sole ? "s" : "w";
    ASSERT_EQ(openWith(sole, "ODBCTraceMaxFileSize=700;ODBCTraceMaxNumFiles=3;", base + ".log"), 0u);
    std::string inFile;
    uint64_t index = 1;
    for (size_t i = 0; i < records.size(); ++i) {
      ASSERT_EQ(write(records[i]), 0u);
      if (sink_.fileIndex != index) inFile.clear();
      index = sink_.fileIndex;
      inFile += records[i];
      if (i % 40 != 0 && records[i].size() < 1000) continue;
      // What a reader sees now: every record, then at most zeros.
      const std::string now = content(base + std::to_string(index) + ".log");
      ASSERT_EQ(now.compare(0, inFile.size(), inFile), 0);
      ASSERT_EQ(now.find_first_not_of('\0', inFile.size()), std::string::npos);
    }
    ASSERT_EQ(sink_.close(), 0u);
    for (int i = 1; i <= 3; ++i) files[sole].push_back(content(base + std::to_string(i) + ".log"));
  }
  EXPECT_EQ(files[true], files[false]);
}

TEST_F(FileWindowTest, ARecordIsKeptWhateverElseChangesTheFile) {
  const std::string early = makeRecord(0, 0, 5000), later = makeRecord(0, 1, 100), theirs = "their line\n";
  const struct {
    const char* what;
    void (*change)(const std::string& path, const std::string& line);
    std::string expected;  // zeros left out
  } rows[] = {
      {"cut to nothing", [](const std::string& path, const std::string&) { ASSERT_EQ(truncate(path.c_str(), 0), 0); },
       later},
      {"another writer appends",
       [](const std::string& path, const std::string& line) {
         FILE* f = std::fopen(path.c_str(), "a");
         ASSERT_NE(f, nullptr);
         std::fputs(line.c_str(), f);
         std::fclose(f);
       },
       // The window already held room for the later record.
       early + later + theirs},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(openWith(true, "", "c.log"), 0u);
    ASSERT_EQ(write(early), 0u);
    row.change(dir_ / "c01.log", theirs);
    ASSERT_EQ(write(later), 0u);
    // A window that came after the change holds on to nothing.
    ASSERT_EQ(write(makeRecord(0, 2, 300 << 10)), 0u);
    ASSERT_EQ(sink_.close(), 0u);
    EXPECT_EQ(withoutZeros(content("c01.log")), row.expected + makeRecord(0, 2, 300 << 10));
  }
}

TEST_F(FileWindowTest, AppendingAfterAWriterThatDiedRemovesItsZeros) {
  const struct {
    bool sole;
    std::string expected;
  } rows[] = {{true, "old\nnew\n"}, {false, "old\n" + std::string(3000, '\0') + "new\n"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.sole);
    dir_.write("a01.log", "old\n" + std::string(3000, '\0'));
    ASSERT_EQ(openWith(row.sole, "TraceFileOpenAppendMode=1;", "a.log"), 0u);
    EXPECT_EQ(sink_.bytesWritten, row.expected.size() - 4);
    ASSERT_EQ(write("new\n"), 0u);
    ASSERT_EQ(sink_.close(), 0u);
    EXPECT_EQ(content("a01.log"), row.expected);
  }
}

}  // namespace
