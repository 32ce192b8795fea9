// Call records: how each type code widens its argument, TraceCall (the
// steps every TraceSQL export runs) and the trace handle table. The type
// codes are generated from exports/type_codes.txt.

#include <atomic>
#include <cstdlib>
#include <iterator>

#include "platform/process.h"
#include "trace.h"
#include "trace_codes.h"

namespace {

// Every argument of every call looks its code up (twice: as the export widens
// it and as TraceCall stores it), so the rows are indexed by code.
const TraceCodeRow* typeRow(uint32_t code) {
  if (code >= std::size(kTraceCodeRows) || kTraceCodeRows[code].label == nullptr) return nullptr;
  return &kTraceCodeRows[code];
}

uint64_t widen(const TraceCodeRow* row, uint64_t raw) {
  switch (row != nullptr ? row->storage : TraceStorage::kAsPassed) {
    case TraceStorage::kUnsigned16:
      return static_cast<uint16_t>(raw);
    case TraceStorage::kSigned16:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(raw)));
    case TraceStorage::kSigned32:
      return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(raw)));
    case TraceStorage::kUnsigned32:
      return static_cast<uint32_t>(raw);
    case TraceStorage::kAsPassed:
      break;
  }
  return raw;
}

// The table of outstanding calls. A slot is taken under the trace lock and
// emptied by its own TraceReturn alone, so the exchange there needs no lock.
std::atomic<TraceCallRecord*> handleSlots[kTraceHandleSlots];

}  // namespace

const char* TraceTypeLabel(uint32_t code) {
  const TraceCodeRow* row = typeRow(code);
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
    const TraceCodeRow* row = typeRow(code);
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
