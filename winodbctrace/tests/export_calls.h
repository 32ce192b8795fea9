// Callers of the generated per-call exports, one for each export, that take
// the arguments as 64-bit slots and convert each to its C type (generated
// from the export table for the tests).
#ifndef VRTRACE_TESTS_EXPORT_CALLS_H
#define VRTRACE_TESTS_EXPORT_CALLS_H

#include <cstddef>
#include <cstdint>

namespace vrtest {

struct ExportCall {
  const char* name;  // "TraceSQLExecDirect"
  int16_t (*call)(const uint64_t* args);
};
extern const ExportCall kExportCalls[];
extern const size_t kExportCallCount;

}  // namespace vrtest

#endif  // VRTRACE_TESTS_EXPORT_CALLS_H
