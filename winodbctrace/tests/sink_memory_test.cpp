// The sink factory, the KiB rule and the memory sink.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "julib/internal/fault.h"
#include "sink_test_util.h"
#include "sinks.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

// A request for 2^64 - 1 bytes must come back as null (out of memory), as it
// does without the sanitizer, rather than stop the program.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using jutest::JuTest;

constexpr uint64_t kTwo54 = uint64_t{1} << 54;

// ---------------------------------------------------------------------------
// KiB rule
// ---------------------------------------------------------------------------

TEST(TraceKibToBytesTest, SaturatesFrom2To54Minus1) {
  struct Row {
    uint64_t kib;
    uint64_t bytes;
  };
  const Row rows[] = {
      {0, 0},
      {1, 1024},
      {10240, 0xA00000},
      {kTwo54 - 2, (kTwo54 - 2) * 1024},  // the largest that is multiplied out
      {kTwo54 - 1, UINT64_MAX},
      {kTwo54, UINT64_MAX},
      {UINT64_MAX, UINT64_MAX},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kib);
    EXPECT_EQ(TraceKibToBytes(row.kib), row.bytes);
  }
}

// ---------------------------------------------------------------------------
// Factory
// ---------------------------------------------------------------------------

enum class Kind { kNone, kFile, kMemFile, kMemory };

Kind kindOf(const JuTracing* sink) {
  if (sink == nullptr) return Kind::kNone;
  if (dynamic_cast<const JuFileTracing*>(sink) != nullptr) return Kind::kFile;
  if (dynamic_cast<const JuMemFileTracing*>(sink) != nullptr) return Kind::kMemFile;
  if (dynamic_cast<const JuMemoryTracing*>(sink) != nullptr) return Kind::kMemory;
  return Kind::kNone;
}

class TraceCreateTest : public JuTest {};

TEST_F(TraceCreateTest, PicksTheSinkByMode) {
  struct Row {
    const char* mode;
    Kind kind;
    std::vector<uint16_t> errors;
  };
  const Row rows[] = {
      {"ODBCTraceMode=0", Kind::kFile, {}},
      {"ODBCTraceMode=1", Kind::kMemFile, {}},
      {"ODBCTraceMode=2", Kind::kMemory, {}},
      {"odbctracemode = 2", Kind::kMemory, {}},          // keys ignore case
      {"ODBCTraceMode=+2;Other=x", Kind::kMemory, {}},
      {"ODBCTraceMode={1}", Kind::kMemFile, {}},          // a braced value
      {"ODBCTraceMode=", Kind::kFile, {}},                // empty counts as 0
      {"ODBCTraceMode= ", Kind::kFile, {}},
      {"ODBCTraceMode=3", Kind::kNone, {kTraceMsgBadMode}},
      {"ODBCTraceMode=18446744073709551615", Kind::kNone, {kTraceMsgBadMode}},
      {"Other=1", Kind::kNone, {kTraceMsgBadMode}},
      {"", Kind::kNone, {kTraceMsgBadMode}},
      {"ODBCTraceMode=x", Kind::kNone, {kJuMsgInvalidNumber}},
      {"ODBCTraceMode=18446744073709551616", Kind::kNone, {kJuMsgNumberTooLarge}},
      {"=2", Kind::kNone, {2704}},  // does not parse
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    jutest::ScopedErrorList errors;
    JuTracing* sink = JuTracing::create(row.mode);
    EXPECT_EQ(kindOf(sink), row.kind);
    EXPECT_EQ(errors.ids(), row.errors);
    delete sink;
  }
}

TEST_F(TraceCreateTest, NullModeTextIsAMissingMode) {
  EXPECT_EQ(JuTracing::create(nullptr), nullptr);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kTraceMsgBadMode});
}

TEST_F(TraceCreateTest, UnknownModeMessageHasItsText) {
  sinktest::ScopedTraceMessages messages;
  EXPECT_EQ(JuTracing::create("ODBCTraceMode=7"), nullptr);
  ASSERT_EQ(errors_.ids(), std::vector<uint16_t>{kTraceMsgBadMode});
  EXPECT_EQ(errors_.message(0),
            "Unknown ODBC trace mode: ODBCTraceMode must be 0 (file), 1 (memory, then file) or 2 (memory).");
}

TEST_F(TraceCreateTest, NewSinksAreUnopened) {
  JuTracing* file = JuTracing::create("ODBCTraceMode=0");
  JuTracing* memFile = JuTracing::create("ODBCTraceMode=1");
  JuTracing* memory = JuTracing::create("ODBCTraceMode=2");
  ASSERT_NE(file, nullptr);
  ASSERT_NE(memFile, nullptr);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(static_cast<JuFileTracing*>(file)->fileName, nullptr);
  EXPECT_EQ(static_cast<JuFileTracing*>(file)->file, nullptr);
  EXPECT_EQ(static_cast<JuMemFileTracing*>(memFile)->memoryStage, nullptr);
  EXPECT_EQ(static_cast<JuMemoryTracing*>(memory)->buffer, nullptr);
  // Unopened sinks take records without harm.
  EXPECT_EQ(file->write("x", 1), 0u);
  EXPECT_EQ(memory->write("x", 1), 0u);
  EXPECT_EQ(memFile->write("x", 1), 1u);
  EXPECT_EQ(file->flush(), 0u);
  EXPECT_EQ(memFile->flush(), 0u);
  delete file;
  delete memFile;
  delete memory;
}

TEST_F(TraceCreateTest, OutOfMemoryGivesNull) {
  julib::internal::failAllocation(1, true);
  JuTracing* sink = JuTracing::create("ODBCTraceMode=2");
  julib::internal::clearAllocationFault();
  EXPECT_EQ(sink, nullptr);
  EXPECT_FALSE(errors_.ids().empty());
  EXPECT_EQ(errors_.ids().back(), kJuMsgOutOfMemory);
}

// ---------------------------------------------------------------------------
// Memory sink
// ---------------------------------------------------------------------------

class MemoryTracingTest : public JuTest {
 protected:
  std::string held() const { return std::string(sink_.buffer, static_cast<size_t>(sink_.writePosition)); }

  JuMemoryTracing sink_;
};

TEST_F(MemoryTracingTest, BufferSizeFromTheAttributes) {
  struct Row {
    const char* attributes;
    uint64_t size;
  };
  const Row rows[] = {
      {"", 0x100000},
      {"TraceFile=x.log", 0x100000},
      {"ODBCTraceMemBuffSize=1", 1024},
      {"odbctracemembuffsize=+ 2;ODBCTraceFlush=1", 2048},
      {"ODBCTraceMemBuffSize=", 0},
      {"ODBCTraceMemBuffSize=0", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.attributes);
    ASSERT_EQ(sink_.open(row.attributes), 0u);
    EXPECT_EQ(sink_.bufferSize, row.size);
    EXPECT_NE(sink_.buffer, nullptr);
    EXPECT_EQ(sink_.writePosition, 0u);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(MemoryTracingTest, BadAttributesFailTheOpen) {
  struct Row {
    const char* attributes;
    uint16_t error;
  };
  const Row rows[] = {
      {"ODBCTraceMemBuffSize=12k", kJuMsgInvalidNumber},
      {"ODBCTraceMemBuffSize=18446744073709551616", kJuMsgNumberTooLarge},
      {"ODBCTraceMemBuffSize={1", 2704},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.attributes);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(sink_.open(row.attributes), 1u);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.error});
  }
}

TEST_F(MemoryTracingTest, SizeZeroKeepsNothing) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=0"), 0u);
  EXPECT_EQ(sink_.write("abc", 3), 0u);
  EXPECT_EQ(sink_.write("", 0), 0u);
  EXPECT_EQ(sink_.writePosition, 0u);
}

TEST_F(MemoryTracingTest, RecordsFollowEachOtherUntilOneDoesNotFit) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  const std::string a(1000, 'a');
  const std::string b(24, 'b');
  ASSERT_EQ(sink_.write(a.data(), a.size()), 0u);
  ASSERT_EQ(sink_.write(b.data(), b.size()), 0u);  // exactly full
  EXPECT_EQ(held(), a + b);
  ASSERT_EQ(sink_.write("c", 1), 0u);  // one byte more restarts
  EXPECT_EQ(held(), "c");
}

TEST_F(MemoryTracingTest, ARecordThatDoesNotFitRestartsAtZero) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  const std::string first(1000, 'a');
  const std::string second(100, 'b');
  ASSERT_EQ(sink_.write(first.data(), first.size()), 0u);
  ASSERT_EQ(sink_.write(second.data(), second.size()), 0u);
  EXPECT_EQ(held(), second);
}

TEST_F(MemoryTracingTest, ARecordLargerThanTheBufferKeepsItsLastBytes) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  std::string record;
  for (int i = 0; i < 3000; ++i) record += static_cast<char>('0' + i % 10);
  ASSERT_EQ(sink_.write("xyz", 3), 0u);
  ASSERT_EQ(sink_.write(record.data(), record.size()), 0u);
  EXPECT_EQ(held(), record.substr(3000 - 1024));
  // The buffer is full: the next record restarts it.
  ASSERT_EQ(sink_.write("n", 1), 0u);
  EXPECT_EQ(held(), "n");
}

TEST_F(MemoryTracingTest, ASecondOpenReplacesTheBuffer) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  ASSERT_EQ(sink_.write("abc", 3), 0u);
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=2"), 0u);
  EXPECT_EQ(sink_.bufferSize, 2048u);
  EXPECT_EQ(sink_.writePosition, 0u);
}

TEST_F(MemoryTracingTest, CloseKeepsTheRecords) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  ASSERT_EQ(sink_.write("abc", 3), 0u);
  EXPECT_EQ(sink_.close(), 0u);
  EXPECT_EQ(held(), "abc");
}

TEST_F(MemoryTracingTest, HugeSizeFailsAsOutOfMemory) {
  const std::string huge = "ODBCTraceMemBuffSize=" + std::to_string(kTwo54 - 1);
  EXPECT_EQ(sink_.open(huge.c_str()), 1u);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
  EXPECT_EQ(sink_.buffer, nullptr);
  EXPECT_EQ(sink_.bufferSize, 0u);
}

// A failed re-open must not leave the sink describing the freed buffer.
TEST_F(MemoryTracingTest, FailedReopenLeavesAnEmptySink) {
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  ASSERT_EQ(sink_.write("abcdef", 6), 0u);
  const std::string huge = "ODBCTraceMemBuffSize=" + std::to_string(UINT64_MAX / 1024);
  EXPECT_EQ(sink_.open(huge.c_str()), 1u);
  EXPECT_EQ(sink_.buffer, nullptr);
  EXPECT_EQ(sink_.bufferSize, 0u);
  EXPECT_EQ(sink_.writePosition, 0u);
  EXPECT_EQ(sink_.write("ghi", 3), 0u);
  EXPECT_EQ(sink_.writePosition, 0u);
  // It can be opened again.
  ASSERT_EQ(sink_.open("ODBCTraceMemBuffSize=1"), 0u);
  ASSERT_EQ(sink_.write("ghi", 3), 0u);
  EXPECT_EQ(held(), "ghi");
}

// Every allocation of an open may fail: the open ends in success or in 1,
// and the sink stays consistent either way.
TEST_F(MemoryTracingTest, EveryAllocationFailureIsClean) {
  jutest::failEachAllocation([](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    JuMemoryTracing sink;
    fault.arm();
    const uint32_t result = sink.open("ODBCTraceFlush=1;ODBCTraceMemBuffSize=1;TraceFile=x");
    const bool fired = fault.disarm();
    if (result == 0) {
      EXPECT_EQ(sink.bufferSize, 1024u);
    } else {
      EXPECT_EQ(sink.buffer, nullptr);
      EXPECT_EQ(sink.bufferSize, 0u);
      EXPECT_EQ(errors.ids().back(), kJuMsgOutOfMemory);
    }
    EXPECT_EQ(sink.write("abc", 3), 0u);
    if (!fired) {
      EXPECT_EQ(result, 0u);
    }
  });
}

TEST(MemoryTracingThreadsTest, RecordsNeverInterleave) {
  JuMemoryTracing sink;
  ASSERT_EQ(sink.open("ODBCTraceMemBuffSize=16"), 0u);
  EXPECT_EQ(sinktest::writeFromThreads(sink, 8, 3000, 7, 300), 0);
  std::vector<std::pair<int, int>> ids;
  EXPECT_TRUE(sinktest::parseRecords(std::string(sink.buffer, static_cast<size_t>(sink.writePosition)), &ids));
  EXPECT_FALSE(ids.empty());
}

}  // namespace
