// The file sink: names, rotation, append mode, flush modes, failures, many
// threads and many processes, on real files in a temporary folder.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sink_test_util.h"
#include "sinks.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

using sinktest::diskSize;
using sinktest::readFile;


// A per-process set, as the settings give by default; the tests of sets
// that processes share say so.
class FileTracingTest : public jutest::JuTest {
 protected:
  FileTracingTest() { sink_.soleWriter = true; }

  // Opens sink_ with `options` and "TraceFile=" the folder + "/" + `name`.
  uint32_t openWith(const std::string& options, const std::string& name) {
    const std::string attributes = options + "TraceFile=" + dir_ / name;
    return sink_.open(attributes.c_str());
  }
  uint32_t write(const std::string& record) { return sink_.write(record.data(), record.size()); }
  std::string current() const { return sink_.fileName != nullptr ? sink_.fileName : "<none>"; }
  std::string content(const std::string& name) { return readFile(dir_ / name).value_or("<missing>"); }

  jutest::TempDir dir_;
  sinktest::ScopedTraceMessages messages_;
  JuFileTracing sink_;
};

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

TEST_F(FileTracingTest, NameOfTheFirstFile) {
  dir_.makeDir("sub");
  dir_.makeDir("dot.dir");
  struct Row {
    const char* options;
    const char* name;
    const char* first;
    const char* note;
  };
  const Row rows[] = {
      {"", "SQL.LOG", "SQL01.LOG", "10 files, width 2"},
      {"ODBCTraceMaxNumFiles=10;", "SQL_.LOG", "SQL_01.LOG", ""},
      {"ODBCTraceMaxNumFiles=3;", "trace.log", "trace1.log", "width 1"},
      {"ODBCTraceMaxNumFiles=100;", "trace.log", "trace001.log", "width 3"},
      {"ODBCTraceMaxNumFiles=0;", "trace.log", "trace1.log", "width 1, one file"},
      {"ODBCTraceMaxNumFiles=007;", "trace.log", "trace001.log", "width as written"},
      {"ODBCTraceMaxNumFiles=;", "trace.log", "trace.log", "empty: no counter"},
      {"", "a.b_.log", "a01.b_.l", "first dot, four characters"},
      {"", "trace_", "trace_01.log", "no dot"},
      {"", "trace.", "trace01.log", "nothing after the dot"},
      {"", "x.abcdefgh", "x01.abcd", ""},
      {"", "sub\\t.txt", "sub/t01.txt", "a backslash separates"},
      {"", "dot.dir/trace", "dot.dir/trace01.log", "a dot in a directory"},
      {"", "dot.dir\\a.b.c", "dot.dir/a01.b.c", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.note);
    ASSERT_EQ(openWith(row.options, row.name), 0u);
    EXPECT_EQ(current(), dir_ / row.first);
    EXPECT_NE(diskSize(dir_ / row.first), -1);
    EXPECT_EQ(sink_.fileIndex, 1u);
    EXPECT_EQ(sink_.fileNameEnd, sink_.fileName + current().size() + 1);
    EXPECT_EQ(sink_.close(), 0u);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileTracingTest, DefaultsAndSettings) {
  ASSERT_EQ(openWith("", "t.log"), 0u);
  EXPECT_EQ(sink_.maxFiles, 10u);
  EXPECT_EQ(sink_.counterWidth, 2u);
  EXPECT_EQ(sink_.maxFileSize, 0xA00000u);
  EXPECT_EQ(sink_.flushMode.load(), 0u);
  EXPECT_EQ(sink_.appendMode, 0u);
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=3;ODBCTraceFlush=4294967298;TraceFileOpenAppendMode=1;", "t.log"), 0u);
  EXPECT_EQ(sink_.maxFileSize, 3072u);
  EXPECT_EQ(sink_.flushMode.load(), 2u);  // the low 32 bits
  EXPECT_EQ(sink_.appendMode, 1u);
  ASSERT_EQ(openWith("", "t.log"), 0u);
  EXPECT_EQ(sink_.appendMode, 1u);  // absent: unchanged
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=18014398509481983;", "t.log"), 0u);
  EXPECT_EQ(sink_.maxFileSize, UINT64_MAX);
}

// Paths the core writes braced ("}}" for "}") because they hold ";", braces
// or quotes reach the system unchanged.
TEST_F(FileTracingTest, BracedPathsKeepEveryCharacter) {
  dir_.makeDir("a;b");
  struct Row {
    const char* braced;  // the value as written, inside the braces
    const char* file;    // the first file, below the folder
  };
  const Row rows[] = {
      {"x;y.log", "x;y01.log"},
      {"a;b/t.log", "a;b/t01.log"},
      {"{c}}.log", "{c}01.log"},
      {"it's \"q\".log", "it's \"q\"01.log"},
      {" lead.log", " lead01.log"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.braced);
    const std::string attributes = "ODBCTraceFlush=2;TraceFile={" + dir_.path() + "/" + row.braced + "}";
    ASSERT_EQ(sink_.open(attributes.c_str()), 0u);
    EXPECT_EQ(current(), dir_ / row.file);
    ASSERT_EQ(write("rec"), 0u);
    EXPECT_EQ(content(row.file), "rec");
    EXPECT_EQ(sink_.close(), 0u);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

// In a double-byte code page a trail byte 0x5C is part of its character, not
// a separator, in the directory and in the file part alike.
TEST_F(FileTracingTest, DoubleByteTrailBytesAreNotSeparators) {
  jutest::ScopedCodePage codePage(932);
  const std::string table = "\x95\x5C";  // one character whose trail byte is '\'
  dir_.makeDir(table);
  ASSERT_EQ(openWith("", table + "\\" + table + ".log"), 0u);
  EXPECT_EQ(current(), dir_ / (table + "/" + table + "01.log"));
  ASSERT_EQ(sink_.close(), 0u);
}

TEST_F(FileTracingTest, MissingTraceFileFails) {
  EXPECT_EQ(sink_.open("ODBCTraceMaxNumFiles=3"), 1u);
  ASSERT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgFileInputOutput});
  EXPECT_EQ(errors_.message(0), "Error (0) on input or output to a file. No trace file");
  EXPECT_EQ(sink_.fileName, nullptr);
  EXPECT_EQ(sink_.write("x", 1), 0u);  // nothing to write to, nothing harmed
}

TEST_F(FileTracingTest, NameLimits) {
  // A directory name long enough that the value can reach the limits with a
  // short base name.
  const std::string prefix = dir_.path() + "/";
  const std::string longDir = std::string(200 - prefix.size(), 'd');
  dir_.makeDir(longDir);
  struct Row {
    std::string options;
    std::string value;
    bool tooLong;
    const char* note;
  };
  const std::string dirPart = prefix + longDir + "/";  // 201 characters
  const std::vector<Row> rows = {
      {"", dirPart + std::string(53, 'b') + ".log", false, "width 2 + 258 = 260"},
      {"", dirPart + std::string(54, 'b') + ".log", true, "width 2 + 259 = 261"},
      {"ODBCTraceMaxNumFiles=100;", dirPart + std::string(53, 'b') + ".lo", false, "width 3 + 257"},
      {"ODBCTraceMaxNumFiles=100;", dirPart + std::string(53, 'b') + ".log", true, "width 3 + 258"},
      {"", dirPart + std::string(55, 'b'), true, "no extension: 256 + 2 + 4 = 262"},
      {"", dirPart + std::string(53, 'b'), false, "no extension: 254 + 2 + 4 = 260"},
      {"", dirPart + std::string(54, 'b'), true, "no extension: 255 + 2 + 4 = 261"},
      {"", prefix + std::string(127, 'b') + ".log", false, "base 127 + width 2 = 129"},
      {"", prefix + std::string(128, 'b') + ".log", true, "base 128 + width 2 = 130"},
      {"ODBCTraceMaxNumFiles=;", prefix + std::string(129, 'b') + ".log", false, "base 129 + width 0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    const std::string attributes = row.options + "TraceFile=" + row.value;
    const uint32_t result = sink_.open(attributes.c_str());
    if (row.tooLong) {
      EXPECT_EQ(result, 1u);
      ASSERT_EQ(errors.ids(), std::vector<uint16_t>{kJuMsgFileInputOutput});
      EXPECT_EQ(errors.message(0), "Error (0) on input or output to a file. Trace file too long: " + row.value);
      EXPECT_EQ(sink_.fileName, nullptr);
    } else {
      EXPECT_EQ(result, 0u);
      EXPECT_TRUE(errors.ids().empty());
    }
  }
}

// ---------------------------------------------------------------------------
// Rotation
// ---------------------------------------------------------------------------

TEST_F(FileTracingTest, CountersRunFromOneToTheMaximumAndAgain) {
  struct Row {
    const char* maxFiles;
    std::vector<std::string> sequence;  // counter of file 1, 2, ...
  };
  std::vector<std::string> hundred;
  for (int i = 1; i <= 100; ++i) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", i);
    hundred.push_back(digits);
  }
  hundred.push_back("001");
  const Row rows[] = {
      {"3", {"1", "2", "3", "1", "2"}},
      {"1", {"1", "1", "1"}},
      {"0", {"1", "1", "1"}},
      {"10", {"01", "02", "03"}},
      {"100", hundred},
  };
  const std::string record(1024, 'r');  // fills a 1 KiB file exactly
  for (const Row& row : rows) {
    SCOPED_TRACE(row.maxFiles);
    const std::string options = std::string("ODBCTraceMaxFileSize=1;ODBCTraceMaxNumFiles=") + row.maxFiles + ";";
    ASSERT_EQ(openWith(options, "t.log"), 0u);
    for (size_t i = 0; i < row.sequence.size(); ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(write(record), 0u);
      EXPECT_EQ(current(), dir_ / ("t" + row.sequence[i] + ".log"));
    }
    EXPECT_EQ(sink_.close(), 0u);
  }
}

TEST_F(FileTracingTest, ExactFitStaysOneByteMoreRotates) {
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;", "t.log"), 0u);
  ASSERT_EQ(write(std::string(1000, 'a')), 0u);
  ASSERT_EQ(write(std::string(24, 'b')), 0u);
  EXPECT_EQ(current(), dir_ / "t01.log");
  ASSERT_EQ(write("c"), 0u);
  EXPECT_EQ(current(), dir_ / "t02.log");
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), std::string(1000, 'a') + std::string(24, 'b'));
  EXPECT_EQ(content("t02.log"), "c");
}

TEST_F(FileTracingTest, ARecordLargerThanTheMaximumGoesWholeIntoAFreshFile) {
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;", "t.log"), 0u);
  const std::string big(3000, 'B');
  ASSERT_EQ(write(big), 0u);
  ASSERT_EQ(write("next"), 0u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), "");
  EXPECT_EQ(content("t02.log"), big);
  EXPECT_EQ(content("t03.log"), "next");
}

TEST_F(FileTracingTest, ComingBackToAFileEmptiesItWithoutAppendMode) {
  dir_.write("t1.log", "old content");
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;ODBCTraceMaxNumFiles=2;", "t.log"), 0u);
  EXPECT_EQ(content("t1.log"), "");  // emptied at open
  ASSERT_EQ(write(std::string(1024, 'a')), 0u);
  ASSERT_EQ(write(std::string(1024, 'b')), 0u);
  ASSERT_EQ(write(std::string(10, 'c')), 0u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t1.log"), std::string(10, 'c'));
  EXPECT_EQ(content("t2.log"), std::string(1024, 'b'));
}

TEST_F(FileTracingTest, MaxFilesOneReopensTheSameFile) {
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;ODBCTraceMaxNumFiles=1;", "t.log"), 0u);
  ASSERT_EQ(write(std::string(1000, 'a')), 0u);
  ASSERT_EQ(write(std::string(100, 'b')), 0u);
  EXPECT_EQ(sink_.fileIndex, 1u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t1.log"), std::string(100, 'b'));
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"t1.log"});
}

// Bytes a file held before it was opened for appending count toward the
// maximum, so appended logs stay within their size.
TEST_F(FileTracingTest, AppendModeCountsTheBytesAlreadyThere) {
  dir_.write("t01.log", std::string(999, 'o') + "\n");
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;TraceFileOpenAppendMode=1;", "t.log"), 0u);
  EXPECT_EQ(sink_.bytesWritten, 1000u);
  ASSERT_EQ(write(std::string(24, 'a')), 0u);  // exactly full
  EXPECT_EQ(current(), dir_ / "t01.log");
  ASSERT_EQ(write("b"), 0u);
  EXPECT_EQ(current(), dir_ / "t02.log");
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), std::string(999, 'o') + "\n" + std::string(24, 'a'));
  EXPECT_EQ(content("t02.log"), "b");
}

// A file that ends inside a line (a record a killed writer cut short) gets
// the next record on a line of its own.
TEST_F(FileTracingTest, AppendModeRotatesAwayFromAFullFile) {
  dir_.write("t01.log", std::string(2048, 'o'));
  dir_.write("t02.log", "two");
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;TraceFileOpenAppendMode=1;", "t.log"), 0u);
  ASSERT_EQ(write("x"), 0u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), std::string(2048, 'o'));
  EXPECT_EQ(content("t02.log"), "two\nx");
}

// ---------------------------------------------------------------------------
// Flush modes
// ---------------------------------------------------------------------------

TEST_F(FileTracingTest, FlushModes) {
  struct Row {
    const char* flushMode;
    long long afterWrite;
    long long afterFlush;
  };
  const Row rows[] = {
      {"0", 0, 0},    // only the close pushes the records out
      {"1", 0, 5},    // on request
      {"2", 5, 5},    // after every record
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flushMode);
    ASSERT_EQ(openWith(std::string("ODBCTraceFlush=") + row.flushMode + ";", "t.log"), 0u);
    ASSERT_EQ(write("12345"), 0u);
    EXPECT_EQ(diskSize(dir_ / "t01.log"), row.afterWrite);
    EXPECT_EQ(sink_.flush(), 0u);
    EXPECT_EQ(diskSize(dir_ / "t01.log"), row.afterFlush);
    EXPECT_EQ(sink_.close(), 0u);
    EXPECT_EQ(diskSize(dir_ / "t01.log"), 5);
  }
}

// One sink opened again and again with another flush mode: each open's mode
// decides, for the writes and for the flushes, whatever the mode before it.
TEST_F(FileTracingTest, EachOpenFlushesByItsOwnMode) {
  struct Row {
    const char* flushMode;
    long long afterWrites;  // two records of 3 bytes
    long long afterFlush;
  };
  const Row rows[] = {
      {"2", 6, 6}, {"1", 0, 6}, {"0", 0, 0}, {"2", 6, 6}, {"0", 0, 0}, {"1", 0, 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flushMode);
    ASSERT_EQ(openWith(std::string("ODBCTraceFlush=") + row.flushMode + ";", "t.log"), 0u);
    ASSERT_EQ(write("abc"), 0u);
    ASSERT_EQ(write("def"), 0u);
    EXPECT_EQ(diskSize(dir_ / "t01.log"), row.afterWrites);
    EXPECT_EQ(sink_.flush(), 0u);
    EXPECT_EQ(diskSize(dir_ / "t01.log"), row.afterFlush);
    EXPECT_EQ(sink_.close(), 0u);
    EXPECT_EQ(content("t01.log"), "abcdef");
  }
}

// ---------------------------------------------------------------------------
// Close and reopen
// ---------------------------------------------------------------------------

TEST_F(FileTracingTest, AfterCloseWritesAndFlushesDoNothing) {
  ASSERT_EQ(openWith("ODBCTraceFlush=1;", "t.log"), 0u);
  ASSERT_EQ(write("kept"), 0u);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(sink_.fileName, nullptr);
  EXPECT_EQ(sink_.file, nullptr);
  EXPECT_EQ(write("late"), 0u);
  EXPECT_EQ(sink_.flush(), 0u);
  EXPECT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), "kept");
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{"t01.log"});
}

TEST_F(FileTracingTest, ReopenStartsAgainAtFileOne) {
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;", "t.log"), 0u);
  ASSERT_EQ(write(std::string(1024, 'a')), 0u);
  ASSERT_EQ(write("b"), 0u);
  EXPECT_EQ(sink_.fileIndex, 2u);
  // Open again without a close: the old file is closed, not leaked.
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;", "u.log"), 0u);
  EXPECT_EQ(current(), dir_ / "u01.log");
  EXPECT_EQ(content("t02.log"), "b");
}

TEST_F(FileTracingTest, BadNumbersFailTheOpen) {
  struct Row {
    const char* options;
    uint16_t error;
  };
  const Row rows[] = {
      {"ODBCTraceMaxNumFiles=x;", kJuMsgInvalidNumber},
      {"ODBCTraceFlush=99999999999999999999;", kJuMsgNumberTooLarge},
      {"ODBCTraceMaxFileSize=1k;", kJuMsgInvalidNumber},
      {"TraceFileOpenAppendMode=yes;", kJuMsgInvalidNumber},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.options);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(openWith(row.options, "t.log"), 1u);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.error});
    EXPECT_EQ(sink_.file, nullptr);
    EXPECT_EQ(sink_.fileName, nullptr);
    EXPECT_EQ(write("x"), 0u);
  }
  EXPECT_EQ(dir_.entries(), std::vector<std::string>{});
  EXPECT_EQ(sink_.open("TraceFile={unclosed"), 1u);
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

// While the directory is missing, a record tries the open again once the
// retry interval has passed since the last try; those in between are
// dropped without one.
TEST_F(FileTracingTest, MissingDirectoryFailsTheOpenAndLaterWritesRetry) {
  EXPECT_EQ(openWith("ODBCTraceFlush=2;", "nodir/t.log"), 1u);
  ASSERT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgFileInputOutput});
  EXPECT_EQ(errors_.message(0), "Error (2) on input or output to a file. " + dir_ / "nodir/t01.log");
  EXPECT_EQ(sink_.file, nullptr);

  EXPECT_EQ(write("lost"), 1u);
  EXPECT_EQ(errors_.ids().size(), 1u);
  sinktest::waitPastRetry();
  EXPECT_EQ(write("lost"), 1u);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgFileInputOutput, kJuMsgFileInputOutput}));
  dir_.makeDir("nodir");
  EXPECT_EQ(write("dropped"), 1u);
  sinktest::waitPastRetry();
  EXPECT_EQ(write("found"), 0u);
  EXPECT_EQ(content("nodir/t01.log"), "found");
}

TEST_F(FileTracingTest, AFailedRotationIsRetriedAtTheNextRecord) {
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;ODBCTraceFlush=2;", "t.log"), 0u);
  dir_.makeDir("t02.log");  // a directory where file 02 should go
  ASSERT_EQ(write(std::string(1024, 'a')), 0u);
  EXPECT_EQ(write("b"), 1u);
  EXPECT_EQ(sink_.file, nullptr);
  sinktest::waitPastRetry();
  EXPECT_EQ(write("c"), 1u);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{kJuMsgFileInputOutput, kJuMsgFileInputOutput}));
  EXPECT_NE(errors_.message(0).find(dir_ / "t02.log"), std::string::npos);
  ASSERT_EQ(rmdir((dir_ / "t02.log").c_str()), 0);
  sinktest::waitPastRetry();
  EXPECT_EQ(write("d"), 0u);
  EXPECT_EQ(current(), dir_ / "t02.log");
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(content("t01.log"), std::string(1024, 'a'));
  EXPECT_EQ(content("t02.log"), "d");
}

// Writes 60 records of 100 bytes under a file-size limit of 950 bytes, then
// 5 more with the limit lifted, each followed by a flush; exits 0 when some
// of the first failed and none of the last.
int writeAcrossTheSizeLimit(JuTracing& sink, const std::string& attributes) {
  if (sink.open(attributes.c_str()) != 0) return 10;
  const auto put = [&sink](int thread, int i) {
    const std::string record = sinktest::makeRecord(thread, i, 100);
    return sink.write(record.data(), record.size()) | sink.flush();
  };
  rlimit limit = {950, RLIM_INFINITY};
  uint32_t failed = 0;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 11;
  for (int i = 0; i < 60; ++i) failed += put(0, i);
  limit.rlim_cur = RLIM_INFINITY;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 12;
  uint32_t failedLater = 0;
  for (int i = 0; i < 5; ++i) failedLater += put(1, i);
  return failed != 0 && failedLater + sink.close() == 0 ? 0 : 13;
}

// The process's file-size limit fails a write like a full disk and raises
// no signal; no record is left cut where another follows. A per-process
// file takes the cut record (or block of records) back; a shared one keeps
// it, and the next record starts on a line of its own. Each row in a child,
// the sink a file sink or a memory-then-file sink of 1 KiB.
TEST_F(FileTracingTest, TheSizeLimitFailsWritesAndCutsNoRecordInTwo) {
  const struct {
    bool memory;
    bool sole;
    const char* flushMode;
  } rows[] = {{false, true, "2"}, {false, false, "2"}, {false, true, "0"}, {true, true, ""}, {true, false, ""}};
  for (size_t r = 0; r < std::size(rows); ++r) {
    const auto& row = rows[r];
    SCOPED_TRACE(r);
    const std::string base = "l" + std::to_string(r);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      JuMemFileTracing memFile;
      JuFileTracing file;
      JuTracing& sink = row.memory ? static_cast<JuTracing&>(memFile) : file;
      sink.soleWriter = row.sole;
      _exit(writeAcrossTheSizeLimit(sink, std::string("ODBCTraceMemBuffSize=1;ODBCTraceFlush=") + row.flushMode +
                                              ";TraceFile=" + dir_ / (base + ".log")));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Line by line: a whole record, or (once, in a shared file) a cut one.
    std::istringstream lines(content(base + "01.log"));
    int cut = 0, later = 0;
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::pair<int, int>> ids;
      if (line.size() < 99) {  // shorter than a record: one cut short
        ++cut;
        continue;
      }
      ASSERT_TRUE(sinktest::parseRecords(line + "\n", &ids));
      later += ids[0].first;
    }
    EXPECT_EQ(cut, row.sole ? 0 : 1);
    EXPECT_EQ(later, 5);
  }
}

// In a shared set what is gathered goes out, at close too, to a file with
// room for it: another process filled this one, and when the next cannot
// be opened, the records are lost and reported.
TEST_F(FileTracingTest, GatheredRecordsThatFindNoFileWithRoomAreReported) {
  sink_.soleWriter = false;
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=1;ODBCTraceFlush=0;", "t.log"), 0u);
  ASSERT_EQ(write("gathered\n"), 0u);
  dir_.write("t01.log", std::string(1024, 'o'));
  dir_.makeDir("t02.log");
  EXPECT_EQ(sink_.close(), 1u);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgFileInputOutput});
  EXPECT_EQ(content("t01.log"), std::string(1024, 'o'));
}

// A log on a full device: every write fails, the sink goes on, nothing
// crashes, and the loss is reported.
TEST_F(FileTracingTest, FullDeviceFailsWritesCleanly) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const char* flushMode : {"2", "0"}) {
    SCOPED_TRACE(flushMode);
    jutest::ScopedErrorList errors;
    ASSERT_EQ(symlink("/dev/full", (dir_ / "t01.log").c_str()), 0);
    ASSERT_EQ(openWith(std::string("ODBCTraceFlush=") + flushMode + ";", "t.log"), 0u);
    int failed = 0;
    for (int i = 0; i < 200; ++i) failed += write(std::string(100, 'x')) != 0 ? 1 : 0;
    EXPECT_GT(failed, 0);
    if (std::string(flushMode) == "2") {
      EXPECT_EQ(failed, 200);
    }
    EXPECT_NE(sink_.file, nullptr);  // still open, still trying
    const uint32_t closed = sink_.close();
    // Without flushing, the last records are still buffered and are lost.
    if (std::string(flushMode) == "0") {
      EXPECT_EQ(closed, 1u);
    }
    ASSERT_FALSE(errors.ids().empty());
    for (uint16_t id : errors.ids()) EXPECT_EQ(id, kJuMsgFileInputOutput);
    EXPECT_EQ(errors.message(0), "Error (28) on input or output to a file.");
    ASSERT_EQ(unlink((dir_ / "t01.log").c_str()), 0);
  }
}

TEST_F(FileTracingTest, AFailedCloseIsReported) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(symlink("/dev/full", (dir_ / "t01.log").c_str()), 0);
  ASSERT_EQ(openWith("", "t.log"), 0u);
  ASSERT_EQ(write("buffered"), 0u);
  EXPECT_EQ(sink_.close(), 1u);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{kJuMsgFileInputOutput});
}

TEST_F(FileTracingTest, OutOfMemoryForTheNameFailsTheOpen) {
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    jutest::ScopedErrorList errors;
    JuFileTracing sink;
    const std::string attributes = "ODBCTraceMaxNumFiles=3;TraceFile=" + dir_ / "t.log";
    fault.arm();
    const uint32_t result = sink.open(attributes.c_str());
    const bool fired = fault.disarm();
    if (result != 0) {
      EXPECT_EQ(sink.file, nullptr);
      EXPECT_EQ(errors.ids().back(), kJuMsgOutOfMemory);
    }
    // A sink with a name but no file drops the record until its next try.
    EXPECT_EQ(sink.write("x", 1), sink.file == nullptr && sink.fileName != nullptr ? 1u : 0u);
    if (!fired) {
      EXPECT_EQ(result, 0u);
    }
  });
}

// ---------------------------------------------------------------------------
// Threads
// ---------------------------------------------------------------------------

// Records from eight threads: none is lost, none is split or interleaved,
// and no file passes the maximum size.
TEST_F(FileTracingTest, EightThreadsLoseNothing) {
  ASSERT_EQ(openWith("ODBCTraceMaxFileSize=8;ODBCTraceMaxNumFiles=999;ODBCTraceFlush=1;", "t.log"), 0u);
  constexpr int kThreads = 8;
  constexpr int kRecords = 600;
  const int failures = sinktest::writeFromThreads(sink_, kThreads, kRecords, /*stride=*/13, /*spread=*/200,
                                                  /*flushEvery=*/50);
  ASSERT_EQ(sink_.close(), 0u);
  EXPECT_EQ(failures, 0);
  const std::set<std::pair<int, int>> seen = sinktest::recordsInFiles(dir_, /*maxFileBytes=*/8192);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kRecords));
  EXPECT_GT(dir_.entries().size(), 10u);
}

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

// Record `seq` of writer `writer` (0 to 15): "<", the writer's letter, the
// number and "|", the letter again up to its length, and a line break;
// lengths from 10 bytes to 64 KiB.
std::string sharedRecord(int writer, int seq) {
  static constexpr size_t kLengths[] = {10, 37, 100, 413, 1000, 4095, 4097, 6000, 16384, 65536};
  const char letter = static_cast<char>('a' + writer);
  std::string record = "<" + std::string(1, letter) + std::to_string(seq) + "|";
  record.resize(kLengths[static_cast<size_t>(seq + writer) % std::size(kLengths)] - 1, letter);
  return record + '\n';
}

// Four processes of four threads write one file, as processes that share a
// set of logs do: every record reaches it whole, once, in every flush mode.
TEST_F(FileTracingTest, FourProcessesOfFourThreadsWriteWholeRecordsToOneFile) {
  constexpr int kProcesses = 4, kThreads = 4, kRecords = 60;
  for (const std::string flushMode : {"2", "0", "1"}) {
    SCOPED_TRACE("ODBCTraceFlush=" + flushMode);
    const std::string name = "shared" + flushMode + ".log";
    const std::string attributes =
        "ODBCTraceFlush=" + flushMode + ";ODBCTraceMaxFileSize=1048576;TraceFileOpenAppendMode=1;TraceFile=" + dir_ / name;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
      children.push_back(fork());
      if (children.back() != 0) continue;
      JuFileTracing sink;
      std::atomic<uint32_t> failures{sink.open(attributes.c_str())};
      std::vector<std::thread> threads;
      for (int writer = p * kThreads; writer < (p + 1) * kThreads; ++writer) {
        threads.emplace_back([&sink, &failures, writer] {
          for (int i = 0; i < kRecords; ++i) {
            const std::string record = sharedRecord(writer, i);
            failures += sink.write(record.data(), record.size()) + sink.flush();
          }
        });
      }
      for (std::thread& thread : threads) thread.join();
      _exit(failures.load() + sink.close() == 0 ? 0 : 1);
    }
    for (pid_t child : children) {
      int status = -1;
      EXPECT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Line by line: a record split or mixed with another is no record.
    std::set<std::string> expected, found;
    for (int writer = 0; writer < kProcesses * kThreads; ++writer) {
      for (int i = 0; i < kRecords; ++i) expected.insert(sharedRecord(writer, i));
    }
    std::istringstream lines(content("shared" + flushMode + "01.log"));
    size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) found.insert(line + '\n');
    EXPECT_EQ(count, expected.size());
    EXPECT_TRUE(found == expected) << found.size() << " distinct lines";
  }
}

// A log holds its records and nothing else at every moment: a process that
// ends without closing it, by _exit or killed, leaves exactly the records
// it wrote.
TEST_F(FileTracingTest, AProcessThatEndsWithoutACloseLeavesItsRecordsAndNothingElse) {
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "_exit");
    const std::string base = killed ? "k" : "e";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      uint32_t failed = openWith("ODBCTraceFlush=2;", base + ".log");
      for (int i = 0; i < 50; ++i) failed += write(sinktest::makeRecord(0, i, 16 + static_cast<size_t>(i) * 7));
      if (failed != 0) _exit(10);
      if (killed) raise(SIGKILL);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(killed ? WIFSIGNALED(status) : WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string records;
    for (int i = 0; i < 50; ++i) records += sinktest::makeRecord(0, i, 16 + static_cast<size_t>(i) * 7);
    EXPECT_EQ(content(base + "01.log"), records);
  }
}

// 32 processes on one set of 256 KiB files: each writer checks the file's
// own size just before each write, so that it puts at most one record past
// the maximum into a file, whatever it wrote there itself.
TEST_F(FileTracingTest, ThirtyTwoProcessesKeepEachFileWithinItsSize) {
  constexpr int kProcesses = 32, kRecords = 500, kSpread = 700;
  const std::string attributes =
      "ODBCTraceFlush=2;ODBCTraceMaxFileSize=256;ODBCTraceMaxNumFiles=1000;TraceFileOpenAppendMode=1;TraceFile=" +
      dir_ / "s.log";
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(fork());
    if (children.back() != 0) continue;
    JuFileTracing sink;
    uint32_t failures = sink.open(attributes.c_str());
    for (int i = 0; i < kRecords; ++i) {
      const std::string record = sinktest::makeRecord(p, i, 16 + static_cast<size_t>((i * 37 + p) % kSpread));
      failures += sink.write(record.data(), record.size());
    }
    _exit(failures + sink.close() == 0 ? 0 : 1);
  }
  for (pid_t child : children) {
    int status = -1;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  const std::set<std::pair<int, int>> seen = sinktest::recordsInFiles(dir_, 256 * 1024 + kProcesses * (16 + kSpread));
  EXPECT_EQ(seen.size(), static_cast<size_t>(kProcesses * kRecords));
}

}  // namespace
