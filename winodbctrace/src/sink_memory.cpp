// JuMemoryTracing: the records in one memory buffer. A record that does not
// fit after the others restarts the buffer at offset 0; the buffer is not a
// ring, so what it holds is always whole records from one restart on (or the
// tail of one record larger than the buffer).

#include <cstring>

#include "julib/object.h"
#include "julib/valueparser.h"
#include "sink_attributes.h"
#include "sinks.h"

namespace {

constexpr uint64_t kDefaultBufferBytes = 0x100000;  // 1 MiB

// Buffer sizes are 64-bit and go to the allocator as they are.
static_assert(sizeof(size_t) >= sizeof(uint64_t), "a 64-bit size must fit size_t");

}  // namespace

JuMemoryTracing::~JuMemoryTracing() { juFree(buffer); }

uint32_t JuMemoryTracing::open(const char* attributes) {
  using vrtrace::sinks::NumberRead;
  // Attribute texts are UTF-8 (a path may hold any character).
  JuValueParser parser(JuSubString(attributes != nullptr ? attributes : "", JuCodePageKind::kUtf8),
                       vrtrace::sinks::kSinkSeparator,
                       nullptr, 0);
  if (parser.parse() != 0) return 1;

  JuLockGuard guard(lock);
  uint64_t kib = 0;
  uint64_t size = kDefaultBufferBytes;
  switch (vrtrace::sinks::readNumber(parser, "ODBCTraceMemBuffSize", &kib)) {
    case NumberRead::kInvalid:
      return 1;
    case NumberRead::kFound:
      size = TraceKibToBytes(kib);
      break;
    case NumberRead::kAbsent:
      break;
  }

  juFree(buffer);
  // Until the new buffer exists nothing may describe the old one: a write
  // after a failed open must find an empty sink, not a freed buffer.
  buffer = nullptr;
  bufferSize = 0;
  writePosition = 0;
  buffer = static_cast<char*>(juMallocChecked(static_cast<size_t>(size)));
  if (buffer == nullptr) return 1;  // out of memory is recorded
  bufferSize = size;
  return 0;
}

uint32_t JuMemoryTracing::write(const char* data, size_t length) {
  JuLockGuard guard(lock);
  if (buffer == nullptr) return 0;
  if (length > bufferSize - writePosition) {
    writePosition = 0;
    if (length > bufferSize) {
      // Only the record's last bytes fit.
      data += length - bufferSize;
      length = static_cast<size_t>(bufferSize);
    }
  }
  if (length != 0) std::memcpy(buffer + writePosition, data, length);
  writePosition += length;
  return 0;
}

uint32_t JuMemoryTracing::close() {
  JuLockGuard guard(lock);
  return 0;
}

void JuMemoryTracing::enterForFork() { juEnterForFork(lock); }

void JuMemoryTracing::leaveAfterFork(bool inChild) {
  if (inChild) writePosition = 0;
  juLeaveAfterFork(lock, inChild);
}
