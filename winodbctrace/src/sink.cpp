// The abstract trace sink, the factory that picks a sink by trace mode, the
// KiB rule of the size settings and the attribute reader shared by the sinks.

#include <cstdint>
#include <new>

#include "julib/errors.h"
#include "julib/numbers.h"
#include "julib/strings.h"
#include "julib/valueparser.h"
#include "sink_attributes.h"
#include "sinks.h"

namespace vrtrace::sinks {

NumberRead readNumber(JuValueParser& parser, const char* key, uint64_t* value, size_t* textLength) {
  const JuString* text = parser.get(key);
  if (text == nullptr) return NumberRead::kAbsent;
  const char* data = text->data != nullptr ? text->data : "";
  const size_t length = text->data != nullptr ? text->length : 0;
  if (textLength != nullptr) *textLength = length;
  // The counted parser takes a 16-bit length; values are terminated, so a
  // longer one is read to its end instead of being cut.
  const int failed = length <= UINT16_MAX ? juStrNToUInt64(data, static_cast<uint16_t>(length), value)
                                          : juStrToUInt64(data, value);
  return failed != 0 ? NumberRead::kInvalid : NumberRead::kFound;
}

}  // namespace vrtrace::sinks

namespace {

// Trace modes of "ODBCTraceMode".
constexpr uint64_t kModeFile = 0;
constexpr uint64_t kModeMemoryThenFile = 1;
constexpr uint64_t kModeMemory = 2;

// Sizes of 2^54 - 1 KiB and more would wrap when multiplied out.
constexpr uint64_t kKibLimit = (uint64_t{1} << 54) - 1;

}  // namespace

JuTracing::~JuTracing() = default;

uint32_t JuTracing::flush() { return 0; }

void JuTracing::enterForFork() {}

void JuTracing::leaveAfterFork(bool) {}

uint64_t TraceKibToBytes(uint64_t kib) { return kib < kKibLimit ? kib * 1024 : UINT64_MAX; }

JuTracing* JuTracing::create(const char* modeText) {
  // Attribute texts are UTF-8 (a path may hold any character).
  JuValueParser parser(JuSubString(modeText != nullptr ? modeText : "", JuCodePageKind::kUtf8),
                       vrtrace::sinks::kSinkSeparator, nullptr,
                       0);
  if (parser.parse() != 0) return nullptr;
  uint64_t mode = 0;
  switch (vrtrace::sinks::readNumber(parser, "ODBCTraceMode", &mode)) {
    case vrtrace::sinks::NumberRead::kAbsent:
      juPostError(kTraceMsgBadMode);
      return nullptr;
    case vrtrace::sinks::NumberRead::kInvalid:
      return nullptr;
    case vrtrace::sinks::NumberRead::kFound:
      break;
  }
  switch (mode) {
    case kModeFile:
      return new (std::nothrow) JuFileTracing();
    case kModeMemoryThenFile:
      return new (std::nothrow) JuMemFileTracing();
    case kModeMemory:
      return new (std::nothrow) JuMemoryTracing();
    default:
      juPostError(kTraceMsgBadMode);
      return nullptr;
  }
}
