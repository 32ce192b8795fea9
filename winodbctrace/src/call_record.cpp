// Call records: the type codes the exports store, how each widens its
// argument, TraceCall (the steps every TraceSQL export runs) and the trace
// handle table.

#include <atomic>
#include <cstdlib>

#include "platform/process.h"
#include "trace.h"

namespace {

enum class Widen : uint8_t { kAsPassed, kUnsigned16, kSigned16, kSigned32, kUnsigned32 };

struct TypeRow {
  uint32_t code;
  const char* label;
  Widen widen;
};

// The codes the exports store; codes 32, 33 and 36 to 54 are the renderer's.
constexpr TypeRow kTypeRows[] = {
    {1, "HENV", Widen::kAsPassed},
    {2, "HDBC *", Widen::kAsPassed},
    {3, "HENV *", Widen::kAsPassed},
    {4, "HDBC", Widen::kAsPassed},
    {5, "HSTMT *", Widen::kAsPassed},
    {6, "HSTMT", Widen::kAsPassed},
    {7, "UWORD", Widen::kUnsigned16},
    {8, "SWORD", Widen::kSigned16},
    {9, "PTR", Widen::kAsPassed},
    {10, "SDWORD", Widen::kSigned32},
    {11, "SDWORD *", Widen::kAsPassed},
    {12, "SWORD *", Widen::kAsPassed},
    {13, "UCHAR *", Widen::kAsPassed},
    {14, "UDWORD *", Widen::kAsPassed},
    {15, "UDWORD", Widen::kUnsigned32},
    {16, "HWND", Widen::kAsPassed},
    {17, "UWORD *", Widen::kAsPassed},
    {18, "PTR *", Widen::kAsPassed},
    {19, "BOOL", Widen::kSigned32},
    {20, "SQLSMALLINT", Widen::kSigned16},
    {21, "SQLHANDLE", Widen::kAsPassed},
    {22, "SQLHANDLE *", Widen::kAsPassed},
    {23, "SQLHSTMT", Widen::kAsPassed},
    {24, "SQLINTEGER", Widen::kSigned32},
    {25, "SQLPOINTER", Widen::kAsPassed},
    {26, "SQLINTEGER *", Widen::kAsPassed},
    {27, "SQLSMALLINT *", Widen::kAsPassed},
    {28, "SQLHDESC", Widen::kAsPassed},
    {29, "SQLHDBC", Widen::kAsPassed},
    {30, "SQLCHAR *", Widen::kAsPassed},
    {31, "SQLHENV", Widen::kAsPassed},
    {34, "WCHAR *", Widen::kAsPassed},
    {35, "SQLWCHAR *", Widen::kAsPassed},
    {55, "SQLLEN", Widen::kAsPassed},
    {56, "SQLULEN", Widen::kAsPassed},
    {57, "SQLLEN *", Widen::kAsPassed},
    {58, "SQLULEN *", Widen::kAsPassed},
};

// Every argument of every call looks its code up (twice: as the export widens
// it and as TraceCall stores it), so the rows are indexed by code once.
constexpr size_t kCodeLimit = [] {
  uint32_t highest = 0;
  for (const TypeRow& row : kTypeRows) highest = row.code > highest ? row.code : highest;
  return size_t{highest} + 1;
}();

struct RowsByCode {
  const TypeRow* rows[kCodeLimit];
};

constexpr RowsByCode kRowsByCode = [] {
  RowsByCode index{};
  for (const TypeRow& row : kTypeRows) index.rows[row.code] = &row;
  return index;
}();

const TypeRow* typeRow(uint32_t code) { return code < kCodeLimit ? kRowsByCode.rows[code] : nullptr; }

uint64_t widen(const TypeRow* row, uint64_t raw) {
  switch (row != nullptr ? row->widen : Widen::kAsPassed) {
    case Widen::kUnsigned16:
      return static_cast<uint16_t>(raw);
    case Widen::kSigned16:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(raw)));
    case Widen::kSigned32:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(raw)));
    case Widen::kUnsigned32:
      return static_cast<uint32_t>(raw);
    case Widen::kAsPassed:
      break;
  }
  return raw;
}

// The table of outstanding calls. A slot is taken under the trace lock and
// emptied by its own TraceReturn alone, so the exchange there needs no lock.
std::atomic<TraceCallRecord*> handleSlots[kTraceHandleSlots];

}  // namespace

const char* TraceTypeLabel(uint32_t code) {
  const TypeRow* row = typeRow(code);
  return row != nullptr ? row->label : nullptr;
}

uint64_t TraceWiden(uint32_t code, uint64_t raw) { return widen(typeRow(code), raw); }

int16_t TraceCall(const TraceFunction& function, const uint64_t* values) {
  // The application's error number is the Driver Manager's to set, not ours.
  platform::SystemErrorScope keepErrno;
  // The C heap, not the library's allocator: a failure posts nothing.
  auto* record = static_cast<TraceCallRecord*>(std::calloc(1, sizeof(TraceCallRecord)));
  if (record == nullptr) return 0;
  record->functionId = function.functionId;
  record->functionName = function.name;
  record->wide = function.wide;
  const uint32_t count = function.argCount < kTraceMaxArgs ? function.argCount : kTraceMaxArgs;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t code = function.typeCodes[i];
    const TypeRow* row = typeRow(code);
    record->typeCodes[i] = code;
    record->typeNames[i] = row != nullptr ? row->label : nullptr;
    // Widening again is harmless: each form keeps a value already widened.
    record->values[i] = widen(row, values[i]);
  }
  record->argCount = count;

  TraceWriteEnter(*record);
  const int16_t handle = TraceAddHandle(record);
  // Without a slot no TraceReturn can come for the record.
  if (handle == 0) std::free(record);
  return handle;
}

int16_t TraceAddHandle(TraceCallRecord* record) {
  TraceLockScope lock;
  for (size_t i = 0; i < kTraceHandleSlots; ++i) {
    if (handleSlots[i].load(std::memory_order_acquire) == nullptr) {
      handleSlots[i].store(record, std::memory_order_release);
      return static_cast<int16_t>(i + 1);
    }
  }
  return 0;
}

TraceCallRecord* TraceTakeHandle(int16_t handle) {
  if (handle <= 0 || static_cast<size_t>(handle) > kTraceHandleSlots) return nullptr;
  return handleSlots[handle - 1].exchange(nullptr, std::memory_order_acq_rel);
}
