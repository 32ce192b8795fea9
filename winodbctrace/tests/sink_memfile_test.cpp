// The memory-then-file sink: its two stages, the blocks it moves to the
// files, the file stage's attributes, close and failures.

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "sink_test_util.h"
#include "sinks.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

// A request for 2^64 - 1 bytes must come back as null (out of memory), as it
// does without the sanitizer, rather than stop the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using sinktest::diskSize;
using sinktest::readFile;


class MemFileTracingTest : public jutest::JuTest {
 protected:
  uint32_t openWith(const std::string& options, const std::string& name = "t.log") {
    const std::string attributes = options + "TraceFile=" + dir_ / name;
    return sink_.open(attributes.c_str());
  }
  uint32_t write(const std::string& record) { return sink_.write(record.data(), record.size()); }
  std::string content(const std::string& name) { return readFile(dir_ / name).value_or("<missing>"); }
  std::string inMemory() const {
    return std::string(sink_.memoryStage->buffer, static_cast<size_t>(*sink_.memoryPosition));
  }

  jutest::TempDir dir_;
  sinktest::ScopedTraceMessages messages_;
  JuMemFileTracing sink_;
};

TEST_F(MemFileTracingTest, OpenMakesBothStages) {
  ASSERT_EQ(openWith("ODBCTraceMemBuffSize=2;ODBCTraceMaxFileSize=5;ODBCTraceMaxNumFiles=3;ODBCTraceFlush=2;"), 0u);
  ASSERT_NE(sink_.memoryStage, nullptr);
  ASSERT_NE(sink_.fileStage, nullptr);
  EXPECT_EQ(sink_.memoryPosition, &sink_.memoryStage->writePosition);
  EXPECT_EQ(sink_.memoryStage->bufferSize, 2048u);
  EXPECT_EQ(sink_.fileStage->maxFileSize, 5120u);
  EXPECT_EQ(sink_.fileStage->maxFiles, 3u);
  EXPECT_EQ(sink_.fileStage->flushMode, 1u);  // flushes only after each block
  EXPECT_EQ(std::string(sink_.fileStage->fileName), dir_ / "t1.log");
}

// The file stage gets "ODBCTraceFlush=1" and every other option exactly as
// given, wherever and however the key was written.
TEST_F(MemFileTracingTest, FileStageFlushesOnRequestWithEveryOtherOptionIntact) {
  dir_.makeDir("a;ODBCTraceFlush=5");
  struct Row {
    std::string attributes;  // "<dir>" stands for the folder
    std::string file;        // the file stage's first file below the folder
    uint64_t maxFiles;
    uint64_t maxFileSize;
    uint64_t appendMode;
  };
  const std::vector<Row> rows = {
      {"ODBCTraceMaxNumFiles=3;TraceFile=<dir>/t.log;ODBCTraceFlush=", "t1.log", 3, 0xA00000, 0},
      {"ODBCTraceFlush=2", "<none>", 10, 0xA00000, 0},
      {"ODBCTraceFlush=222222222222222222222222222222;ODBCTraceMaxNumFiles=3;TraceFile=<dir>/t.log", "t1.log", 3,
       0xA00000, 0},
      {"ODBCTraceFlush=0;TraceFileOpenAppendMode=1;TraceFile=<dir>/t.log;ODBCTraceMaxFileSize=2", "t01.log", 10, 2048,
       1},
      {"odbctraceflush = 2 ;TraceFile=<dir>/t.log;ODBCTraceMaxFileSize=2", "t01.log", 10, 2048, 0},
      {"TraceFile=<dir>/ODBCTraceFlush=2.log;ODBCTraceMaxNumFiles=3", "ODBCTraceFlush=21.log", 3, 0xA00000, 0},
      {"TraceFile={<dir>/a;ODBCTraceFlush=5/x.log};ODBCTraceFlush=2;ODBCTraceMaxNumFiles=100",
       "a;ODBCTraceFlush=5/x001.log", 100, 0xA00000, 0},
      {"TraceFile=<dir>/t.log;ODBCTraceMaxFileSize=1", "t01.log", 10, 1024, 0},  // absent: 1 as well
  };
  for (const Row& row : rows) {
    std::string attributes = row.attributes;
    const size_t at = attributes.find("<dir>");
    if (at != std::string::npos) attributes.replace(at, 5, dir_.path());
    SCOPED_TRACE(attributes);
    jutest::ScopedErrorList errors;
    JuMemFileTracing sink;
    const uint32_t result = sink.open(attributes.c_str());
    if (row.file == "<none>") {
      EXPECT_EQ(result, 1u);  // no "TraceFile"
      EXPECT_EQ(sink.fileStage, nullptr);
      continue;
    }
    ASSERT_EQ(result, 0u);
    EXPECT_TRUE(errors.ids().empty());
    EXPECT_EQ(sink.fileStage->flushMode, 1u);
    EXPECT_EQ(std::string(sink.fileStage->fileName), dir_ / row.file);
    EXPECT_EQ(sink.fileStage->maxFiles, row.maxFiles);
    EXPECT_EQ(sink.fileStage->maxFileSize, row.maxFileSize);
    EXPECT_EQ(sink.fileStage->appendMode, row.appendMode);
    EXPECT_EQ(sink.close(), 0u);
  }
}

TEST_F(MemFileTracingTest, RecordsMoveToTheFileInBlocks) {
  ASSERT_EQ(openWith("ODBCTraceMemBuffSize=1;ODBCTraceFlush=0;"), 0u);
  const std::string a(600, 'a');
  const std::string b(424, 'b');
  ASSERT_EQ(write(a), 0u);
  ASSERT_EQ(write(b), 0u);  // fills the memory exactly
  EXPECT_EQ(diskSize(dir_ / "t01.log"), 0);
  ASSERT_EQ(write("c"), 0u);  // one more byte moves the block
  EXPECT_EQ(content("t01.log"), a + b);
  EXPECT_EQ(inMemory(), "c");
}

// A record larger than the memory goes to the file whole, at once, after
// the records before it.
TEST_F(MemFileTracingTest, ARecordLargerThanTheMemoryGoesOutWhole) {
  ASSERT_EQ(openWith("ODBCTraceMemBuffSize=1;"), 0u);
  std::string record;
  for (int i = 0; i < 2500; ++i) record += static_cast<char>('A' + i % 26);
  ASSERT_EQ(write("head"), 0u);
  ASSERT_EQ(write(record), 0u);
  EXPECT_EQ(content("t01.log"), "head" + record);
  EXPECT_EQ(inMemory(), "");
  ASSERT_EQ(write("tail"), 0u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), "head" + record + "tail");
}

// A memory stage of no size passes each record straight to the file.
TEST_F(MemFileTracingTest, MemorySizeZeroWritesStraightThrough) {
  ASSERT_EQ(openWith("ODBCTraceMemBuffSize=0;"), 0u);
  ASSERT_EQ(write("one;"), 0u);
  EXPECT_EQ(content("t01.log"), "one;");
  ASSERT_EQ(write(std::string(5000, 'x')), 0u);
  EXPECT_EQ(content("t01.log"), "one;" + std::string(5000, 'x'));
  EXPECT_EQ(write(""), 0u);
  EXPECT_EQ(*sink_.memoryPosition, 0u);
}

TEST_F(MemFileTracingTest, CloseDrainsTheMemory) {
  ASSERT_EQ(openWith(""), 0u);
  ASSERT_EQ(write("0123456789"), 0u);
  EXPECT_EQ(diskSize(dir_ / "t01.log"), 0);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), "0123456789");
  EXPECT_EQ(sink_.memoryStage, nullptr);
  EXPECT_EQ(sink_.fileStage, nullptr);
  EXPECT_EQ(sink_.memoryPosition, nullptr);
  // A closed sink drops records and closes again harmlessly.
  EXPECT_EQ(write("late"), 1u);
  EXPECT_EQ(sink_.flush(), 0u);
  EXPECT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), "0123456789");
}

TEST_F(MemFileTracingTest, DeletingDrainsTheMemory) {
  auto* sink = new JuMemFileTracing();
  const std::string attributes = "TraceFile=" + dir_ / "t.log";
  ASSERT_EQ(sink->open(attributes.c_str()), 0u);
  ASSERT_EQ(sink->write("kept", 4), 0u);
  delete sink;
  EXPECT_EQ(content("t01.log"), "kept");
}

TEST_F(MemFileTracingTest, ReopenDrainsTheOldStages) {
  ASSERT_EQ(openWith("", "t.log"), 0u);
  ASSERT_EQ(write("old"), 0u);
  ASSERT_EQ(openWith("", "u.log"), 0u);
  EXPECT_EQ(content("t01.log"), "old");
  ASSERT_EQ(write("new"), 0u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("u01.log"), "new");
}

TEST_F(MemFileTracingTest, AFailedOpenLeavesNoStages) {
  struct Row {
    std::string attributes;
    uint16_t error;
  };
  const std::vector<Row> rows = {
      {"ODBCTraceMemBuffSize=x;TraceFile=" + dir_ / "t.log", kJuMsgInvalidNumber},
      {"ODBCTraceMemBuffSize=18014398509481983;TraceFile=" + dir_ / "t.log", kJuMsgOutOfMemory},
      {"ODBCTraceMemBuffSize=1", kJuMsgFileInputOutput},
      {"TraceFile=" + dir_ / "nodir/t.log", kJuMsgFileInputOutput},
      {"TraceFile={unclosed", 2704},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.attributes);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(sink_.open(row.attributes.c_str()), 1u);
    EXPECT_EQ(sink_.memoryStage, nullptr);
    EXPECT_EQ(sink_.fileStage, nullptr);
    ASSERT_FALSE(errors.ids().empty());
    EXPECT_EQ(errors.ids().back(), row.error);
    EXPECT_EQ(write("x"), 1u);
  }
}

TEST_F(MemFileTracingTest, EveryAllocationFailureIsClean) {
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    JuMemFileTracing sink;
    const std::string attributes = "ODBCTraceMemBuffSize=1;ODBCTraceFlush=2;TraceFile=" + dir_ / "t.log";
    fault.arm();
    const uint32_t result = sink.open(attributes.c_str());
    const bool fired = fault.disarm();
    if (result != 0) {
      EXPECT_EQ(sink.memoryStage, nullptr);
      EXPECT_EQ(sink.fileStage, nullptr);
      EXPECT_EQ(errors.ids().back(), kJuMsgOutOfMemory);
    }
    EXPECT_EQ(sink.write("x", 1), result);
    if (!fired) {
      EXPECT_EQ(result, 0u);
    }
  });
}

TEST_F(MemFileTracingTest, FullDeviceFailsWritesCleanly) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(symlink("/dev/full", (dir_ / "t01.log").c_str()), 0);
  ASSERT_EQ(openWith("ODBCTraceMemBuffSize=1;"), 0u);
  int failed = 0;
  for (int i = 0; i < 100; ++i) failed += write(std::string(100, 'x')) != 0 ? 1 : 0;
  EXPECT_GT(failed, 0);
  EXPECT_EQ(sink_.close(), 1u);  // the drain cannot be written
  EXPECT_EQ(sink_.memoryStage, nullptr);
  EXPECT_EQ(sink_.fileStage, nullptr);
  for (uint16_t id : errors_.ids()) EXPECT_EQ(id, kJuMsgFileInputOutput);
}

// Records from eight threads: none is lost, none is split or interleaved.
TEST_F(MemFileTracingTest, EightThreadsLoseNothing) {
  ASSERT_EQ(openWith("ODBCTraceMemBuffSize=4;ODBCTraceMaxFileSize=64;ODBCTraceMaxNumFiles=999;"), 0u);
  constexpr int kThreads = 8;
  constexpr int kRecords = 600;
  const int failures = sinktest::writeFromThreads(sink_, kThreads, kRecords, /*stride=*/11, /*spread=*/300,
                                                  /*flushEvery=*/40);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(failures, 0);
  const std::set<std::pair<int, int>> seen = sinktest::recordsInFiles(dir_);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kRecords));
  EXPECT_GT(dir_.entries().size(), 2u);
}

}  // namespace
