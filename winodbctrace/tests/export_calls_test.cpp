// The generated per-call exports: each call record holds what the export
// table says of its function, and each argument widened as its type code
// says, whatever its C type.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "export_calls.h"
#include "export_table.h"
#include "testing/ju_test.h"
#include "trace.h"

namespace {

using vrtest::TableExport;

// The trace settings of these tests: the memory sink, defaults elsewhere.
size_t readSetting(const char* key, const char* fallback, char* buffer, size_t size) {
  const char* value = std::strcmp(key, "ODBCTraceMode") == 0 ? "2" : fallback;
  if (size == 0) return 0;
  const size_t length = std::min(std::strlen(value), size - 1);
  std::memcpy(buffer, value, length);
  buffer[length] = 0;
  return length;
}

// The argument as its C type sees it, back in 64 bits (signed types
// sign-extended, as a cast to uint64_t does).
uint64_t asCType(const std::string& type, uint64_t slot) {
  if (type == "SQLSMALLINT") return static_cast<uint64_t>(static_cast<int16_t>(slot));
  if (type == "SQLUSMALLINT") return static_cast<uint16_t>(slot);
  if (type == "SQLINTEGER") return static_cast<uint64_t>(static_cast<int32_t>(slot));
  if (type == "SQLUINTEGER") return static_cast<uint32_t>(slot);
  return slot;  // SQLLEN, SQLULEN, SQLSETPOSIROW, handles and pointers
}

// What the record stores for a value of a type code.
uint64_t storedFor(uint32_t code, uint64_t value) {
  switch (code) {
    case 7:  // UWORD
      return static_cast<uint16_t>(value);
    case 8:   // SWORD
    case 20:  // SQLSMALLINT
      return static_cast<uint64_t>(static_cast<int16_t>(value));
    case 10:  // SDWORD
    case 19:  // BOOL
    case 24:  // SQLINTEGER
      return static_cast<uint64_t>(static_cast<int32_t>(value));
    case 15:  // UDWORD
      return static_cast<uint32_t>(value);
    default:  // handles, pointers, SQLLEN, SQLULEN: as passed
      return value;
  }
}

bool isInteger(const std::string& type) {
  return type == "SQLSMALLINT" || type == "SQLUSMALLINT" || type == "SQLINTEGER" || type == "SQLUINTEGER" ||
         type == "SQLLEN" || type == "SQLULEN" || type == "SQLSETPOSIROW";
}

// Zeroed, writable memory for every pointer argument, so that whatever the
// writer reads through them is readable.
alignas(16) unsigned char pointees[kTraceMaxArgs][65536];

class ExportCallsTest : public jutest::JuTest {
 protected:
  void SetUp() override {
    TraceSetSettingReaderForTesting(readSetting);
    char16_t message[256] = {};
    ASSERT_EQ(TraceOpenLogFile(u"calls.log", message, sizeof message), 0);
  }
  void TearDown() override {
    TraceCloseLogFile();
    TraceSetSettingReaderForTesting(nullptr);
  }

  // Calls every export with integer arguments made from `integer(i)` and
  // checks its record.
  template <typename Integer>
  void callEveryExport(Integer integer) {
    const vrtest::ExportTable table = vrtest::readExportTable(VRTRACE_EXPORT_TABLE);
    ASSERT_EQ(table.error, "");
    ASSERT_EQ(vrtest::kExportCallCount, table.exports.size());
    for (size_t n = 0; n < vrtest::kExportCallCount; ++n) {
      const vrtest::ExportCall& call = vrtest::kExportCalls[n];
      SCOPED_TRACE(call.name);
      const TableExport* row = table.find(std::string(call.name).substr(5));
      ASSERT_NE(row, nullptr);
      uint64_t slots[kTraceMaxArgs] = {};
      for (size_t i = 0; i < row->args.size(); ++i) {
        const auto& arg = row->args[i];
        const bool handle = arg.cType.rfind("SQLH", 0) == 0;
        slots[i] = isInteger(arg.cType) ? integer(i)
                   : handle             ? 0x5000 + 16 * i
                                        : reinterpret_cast<uintptr_t>(pointees[i]);
      }
      const int16_t handle = call.call(slots);
      ASSERT_GE(handle, 1);
      ASSERT_LE(handle, static_cast<int16_t>(kTraceHandleSlots));
      TraceCallRecord* record = TraceTakeHandle(handle);
      ASSERT_NE(record, nullptr);

      EXPECT_EQ(record->functionId, row->functionId);
      EXPECT_STREQ(record->functionName, row->function.c_str());
      EXPECT_EQ(record->wide, row->wide() ? 1u : 0u);
      EXPECT_EQ(record->argCount, row->args.size());
      for (size_t i = 0; i < kTraceMaxArgs; ++i) {
        SCOPED_TRACE("argument " + std::to_string(i));
        if (i < row->args.size()) {
          const auto& arg = row->args[i];
          EXPECT_EQ(record->typeCodes[i], arg.code);
          EXPECT_EQ(record->values[i], storedFor(arg.code, asCType(arg.cType, slots[i])));
          ASSERT_NE(record->typeNames[i], nullptr);
          EXPECT_STREQ(record->typeNames[i], TraceTypeLabel(arg.code));
        } else {
          EXPECT_EQ(record->values[i], 0u);
          EXPECT_EQ(record->typeCodes[i], 0u);
          EXPECT_EQ(record->typeNames[i], nullptr);
        }
      }
      std::free(record);
    }
  }
};

TEST_F(ExportCallsTest, RecordsWhatTheTableSaysWithSmallIntegers) {
  callEveryExport([](size_t i) { return static_cast<uint64_t>(i + 1); });
}

// High bits in every width: a 16-bit code sign- or zero-extends 0x8001, a
// 32-bit one 0x80008001, and the 64-bit SQLLEN and SQLULEN keep all.
TEST_F(ExportCallsTest, WidensEachArgumentByItsTypeCode) {
  callEveryExport([](size_t i) { return static_cast<uint64_t>(0x1234567880008000u + i + 1); });
}

}  // namespace
