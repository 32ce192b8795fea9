// The lookups behind the trace log's constant names: which table speaks for
// an argument of a call record, and what the first matching row says. The
// tables and bindings themselves are generated from winodbctrace/constants/.
#include "constants.h"

#include "trace.h"
#include "trace_codes.h"

namespace {

char foldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Function names are ASCII, so folding the letters is the whole comparison.
bool equalIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (foldAscii(*a) != foldAscii(*b)) return false;
  }
  return *a == *b;
}

// The (function id, argument) pairs some binding of a table speaks for, as
// bits: most arguments have none, and are answered without a scan. Ids and
// indexes beyond the bits are always scanned.
class BoundArguments {
 public:
  static constexpr uint32_t kIds = 2048;
  static constexpr uint32_t kArgs = 32;

  BoundArguments(const TraceBinding* bindings, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (bindings[i].functionId < kIds && bindings[i].argIndex < kArgs) {
        bits_[bindings[i].functionId] |= uint32_t{1} << bindings[i].argIndex;
      } else {
        all_ = true;
      }
    }
  }
  bool mayHold(uint32_t functionId, uint32_t argIndex) const {
    return all_ || functionId >= kIds || argIndex >= kArgs || (bits_[functionId] >> argIndex & 1) != 0;
  }

 private:
  uint32_t bits_[kIds] = {};
  bool all_ = false;
};

// Made when the library loads (the bindings are constants by then).
const BoundArguments nameArguments(traceNameBindings, traceNameBindingCount);
const BoundArguments valueKindArguments(traceValueKindBindings, traceValueKindBindingCount);

// The binding for a record's function and an argument: one that names the
// record's function wins over one that takes every function of the id (the
// ODBC 2 and ODBC 3 column-attribute calls share id 6).
const TraceBinding* findBinding(const TraceBinding* bindings, size_t count, const BoundArguments& bound,
                                const TraceCallRecord& record, uint32_t argIndex) {
  if (!bound.mayHold(record.functionId, argIndex)) return nullptr;
  const TraceBinding* anyName = nullptr;
  for (size_t i = 0; i < count; ++i) {
    const TraceBinding& binding = bindings[i];
    if (binding.functionId != record.functionId || binding.argIndex != argIndex) continue;
    if (binding.functionName == nullptr) {
      if (anyName == nullptr) anyName = &binding;
    } else if (record.functionName != nullptr && equalIgnoringCase(binding.functionName, record.functionName)) {
      return &binding;
    }
  }
  return anyName;
}

// A binding applies only when the record holds both arguments it reads; a
// record cut short gets no table rather than a read of an unset slot.
bool recordHolds(const TraceCallRecord& record, const TraceBinding& binding) {
  return TraceHasArg(record, binding.argIndex) && TraceHasArg(record, binding.keyArgIndex);
}

int32_t keyOf(uint64_t value, TraceKeyForm form) {
  switch (form) {
    case TraceKeyForm::kLow16Signed:
      return static_cast<int16_t>(static_cast<uint16_t>(value));
    case TraceKeyForm::kLow16Unsigned:
      return static_cast<uint16_t>(value);
    case TraceKeyForm::kLow32:
      break;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

struct RowLookup {
  TraceLookup outcome;
  const TraceConstant* row;  // when found
  int32_t key;               // 0 without a table
};

// The row that the bindings give an argument of a record.
RowLookup lookupRow(const TraceBinding* bindings, size_t count, const BoundArguments& bound,
                    const TraceCallRecord& record, uint32_t argIndex) {
  const TraceBinding* binding = findBinding(bindings, count, bound, record, argIndex);
  if (binding == nullptr || !recordHolds(record, *binding)) return {TraceLookup::kNoTable, nullptr, 0};
  const int32_t key = keyOf(record.values[binding->keyArgIndex], binding->keyForm);
  const TraceConstant* row = TraceFindConstant(*binding->table, key);
  return {row != nullptr ? TraceLookup::kFound : TraceLookup::kNotFound, row, key};
}

}  // namespace

const TraceConstant* TraceFindConstant(const TraceConstantTable& table, int32_t value) {
  for (size_t i = 0; i < table.count; ++i) {
    if (table.rows[i].value == value) return &table.rows[i];
  }
  return nullptr;
}

TraceNameResult TraceLookupName(const TraceCallRecord& record, uint32_t argIndex) {
  const RowLookup found = lookupRow(traceNameBindings, traceNameBindingCount, nameArguments, record, argIndex);
  return {found.outcome, found.row != nullptr ? found.row->name : nullptr, found.key};
}

TraceValueKindResult TraceLookupValueKind(const TraceCallRecord& record, uint32_t argIndex) {
  const RowLookup found = lookupRow(traceValueKindBindings, traceValueKindBindingCount, valueKindArguments, record, argIndex);
  return {found.outcome, found.row != nullptr ? TraceRenderCodeOfKind(found.row->kindFlags, record.wide) : 0,
          found.key};
}

uint32_t TraceRenderCodeOfKind(uint32_t kindFlags, uint32_t wide) {
  if (kindFlags & kTraceKindText) {  // text first, whatever else is set
    return wide == 1 ? TraceCode::kSqlWCharPtr : TraceCode::kSqlCharPtr;
  }
  if (kindFlags & kTraceKind16Bit) return TraceCode::kUWord;
  if (kindFlags & (kTraceKindBitMask | kTraceKindHandle)) return TraceCode::kAddress;
  if (kindFlags & kTraceKind32Bit) return TraceCode::kUDWord;
  return TraceCode::kAddress;  // pointers, descriptor handles and rows without a value kind
}
