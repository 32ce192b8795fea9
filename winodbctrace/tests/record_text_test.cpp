// The record text the writer builds piece by piece: every value form at its
// boundaries, as printf would write it, and a record cut at the buffer's
// end.

#include <cinttypes>
#include <cstdio>
#include <string>

#include "core_test_util.h"

using coretest::memoryLog;

namespace {

class RecordTextTest : public coretest::TraceCoreTest {};

// printf's text of one argument line.
std::string printed(const char* format, const char* label, uint64_t value) {
  char line[128];
  std::snprintf(line, sizeof line, format, label, value);
  return line;
}

TEST_F(RecordTextTest, ValuesReadAsPrintfWritesThem) {
  // Type codes: 55 SQLLEN (signed), 56 SQLULEN (unsigned), all 64 bits in
  // ten columns; 9 PTR (a value buffer without a table: its address).
  struct Row {
    uint32_t code;
    uint64_t value;
    const char* format;
  } rows[] = {
      {55, 0, "\t\t%-18.18s  %10" PRId64 "\n"},
      {55, 1, "\t\t%-18.18s  %10" PRId64 "\n"},
      {55, static_cast<uint64_t>(int64_t{-1}), "\t\t%-18.18s  %10" PRId64 "\n"},
      {55, static_cast<uint64_t>(INT64_MIN), "\t\t%-18.18s  %10" PRId64 "\n"},
      {55, static_cast<uint64_t>(INT64_MAX), "\t\t%-18.18s  %10" PRId64 "\n"},
      {55, 9, "\t\t%-18.18s  %10" PRId64 "\n"},
      {55, 10, "\t\t%-18.18s  %10" PRId64 "\n"},
      {56, 0, "\t\t%-18.18s  %10" PRIu64 "\n"},
      {56, 10000000000000000000ull, "\t\t%-18.18s  %10" PRIu64 "\n"},
      {56, UINT64_MAX, "\t\t%-18.18s  %10" PRIu64 "\n"},
      {9, 0, "\t\t%-18.18s 0x%016" PRIX64 "\n"},
      {9, 0xF, "\t\t%-18.18s 0x%016" PRIX64 "\n"},
      {9, 0xABCDEF0123456789ull, "\t\t%-18.18s 0x%016" PRIX64 "\n"},
      {9, UINT64_MAX, "\t\t%-18.18s 0x%016" PRIX64 "\n"},
  };
  openMemoryLog();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.code) + " " + std::to_string(row.value));
    TraceCallRecord record{};
    record.functionName = "SQLValue";
    record.argCount = 1;
    record.typeCodes[0] = row.code;
    record.typeNames[0] = TraceTypeLabel(row.code);
    record.values[0] = row.value;
    const size_t before = memoryLog().size();
    TraceWriteEnter(record);
    EXPECT_EQ(memoryLog().substr(before), "\n\nENTER SQLValue\n" + printed(row.format, record.typeNames[0], row.value));
  }
}

TEST_F(RecordTextTest, LabelsArePaddedAndCutToEighteen) {
  struct Row {
    const char* label;
    const char* shown;
  } rows[] = {
      {"", "                  "},
      {"SWORD", "SWORD             "},
      {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOPQ "},
      {"ABCDEFGHIJKLMNOPQR", "ABCDEFGHIJKLMNOPQR"},
      {"ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQR"},
  };
  openMemoryLog();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    TraceCallRecord record{};
    record.functionName = "SQLLabel";
    record.argCount = 1;
    record.typeCodes[0] = 56;
    record.typeNames[0] = row.label;
    record.values[0] = 7;
    const size_t before = memoryLog().size();
    TraceWriteEnter(record);
    EXPECT_EQ(memoryLog().substr(before), std::string("\n\nENTER SQLLabel\n\t\t") + row.shown + "           7\n");
  }
}

TEST_F(RecordTextTest, ARecordIsCutAtTheBufferEnd) {
  // A function name that overruns the 4096-byte record: the header is cut
  // and nothing of the argument line follows.
  struct Row {
    size_t nameLength;
    size_t expected;  // bytes written
  } rows[] = {
      {4096 - 8, 4096},   // "\n\nENTER " and the name fill it: the newline is cut
      {4096 - 9, 4096},   // the newline is the last byte
      {4096 - 10, 4096},  // one byte of the argument line follows
      {5000, 4096},
      {100, 2 + 6 + 100 + 1 + 2 + 18 + 1 + 11 + 1},
  };
  openMemoryLog();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.nameLength);
    const std::string name(row.nameLength, 'n');
    TraceCallRecord record{};
    record.functionName = name.c_str();
    record.argCount = 1;
    record.typeCodes[0] = 56;
    record.typeNames[0] = "SQLULEN";
    record.values[0] = 7;
    const std::string whole = "\n\nENTER " + name + "\n\t\tSQLULEN                      7\n";
    const size_t before = memoryLog().size();
    TraceWriteEnter(record);
    const std::string written = memoryLog().substr(before);
    EXPECT_EQ(written.size(), row.expected);
    EXPECT_EQ(written, whole.substr(0, row.expected));
  }
}

}  // namespace
