// JuMemFileTracing: records collect in a memory stage and move to a file
// stage in blocks of up to the memory size, so the files see few, large
// writes. The file stage flushes after each block and on nothing else. A
// block holds whole records only, and reaches the file whole or not at all.

#include <new>

#include "julib/strings.h"
#include "julib/valueparser.h"
#include "sink_attributes.h"
#include "sinks.h"

namespace {

// The file stage's attributes: the caller's, with "ODBCTraceFlush=1" so that
// the file stage flushes only when asked (after each block). Rebuilt from
// the parsed attributes, so every other value (a braced path among them)
// reaches the file stage as it was given. 0, or 1 with the reason posted.
int fileStageAttributes(const char* attributes, JuString& out) {
  JuValueParser parser(JuSubString(attributes, JuCodePageKind::kUtf8), vrtrace::sinks::kSinkSeparator, nullptr, 0);
  if (parser.parse() != 0) return 1;
  if (parser.addAttribute("ODBCTraceFlush", "1", nullptr) != 0) return 1;
  if (parser.build(out, vrtrace::sinks::kSinkSeparator) != 0) return 1;
  // build leaves the text unterminated when it ends with an append.
  if (out.appendChar('\0') != 0) return 1;
  return 0;
}

// Moves the first `length` bytes of `data` to the file stage as one block and
// flushes it. 0, or 1 when the write or the flush failed.
uint32_t writeBlock(JuFileTracing& fileStage, const char* data, size_t length) {
  if (fileStage.write(data, length) != 0) return 1;
  return fileStage.flush();
}

// Drains the memory stage into the file stage, closes and deletes both. 0, or
// 1 when the drain or a close failed.
uint32_t releaseStages(JuMemFileTracing& sink) {
  uint32_t result = 0;
  if (sink.memoryStage != nullptr && sink.fileStage != nullptr) {
    const size_t held = static_cast<size_t>(*sink.memoryPosition);
    if (held != 0 && sink.fileStage->write(sink.memoryStage->buffer, held) != 0) result = 1;
    sink.memoryStage->writePosition = 0;
    if (sink.memoryStage->close() != 0) result = 1;
    if (sink.fileStage->close() != 0) result = 1;
  }
  delete sink.memoryStage;
  delete sink.fileStage;
  sink.memoryStage = nullptr;
  sink.fileStage = nullptr;
  sink.memoryPosition = nullptr;
  return result;
}

}  // namespace

JuMemFileTracing::~JuMemFileTracing() { (void)releaseStages(*this); }  // no one to tell

uint32_t JuMemFileTracing::open(const char* attributes) {
  if (attributes == nullptr) attributes = "";
  JuLockGuard guard(lock);
  if (releaseStages(*this) != 0) return 1;

  JuString fileAttributes;
  if (fileStageAttributes(attributes, fileAttributes) != 0) return 1;
  memoryStage = new (std::nothrow) JuMemoryTracing();
  fileStage = new (std::nothrow) JuFileTracing();
  if (fileStage != nullptr) fileStage->soleWriter = soleWriter;
  if (memoryStage == nullptr || fileStage == nullptr || memoryStage->open(attributes) != 0 ||
      fileStage->open(fileAttributes.data) != 0) {
    delete memoryStage;
    delete fileStage;
    memoryStage = nullptr;
    fileStage = nullptr;
    return 1;
  }
  memoryPosition = &memoryStage->writePosition;
  return 0;
}

uint32_t JuMemFileTracing::write(const char* data, size_t length) {
  JuLockGuard guard(lock);
  if (memoryStage == nullptr || fileStage == nullptr) return 1;
  const uint64_t capacity = memoryStage->bufferSize;
  uint64_t& position = *memoryPosition;
  if (length > capacity - position) {
    const size_t held = static_cast<size_t>(position);
    position = 0;
    if (held != 0 && writeBlock(*fileStage, memoryStage->buffer, held) != 0) return 1;
  }
  // A record the memory cannot hold (any record, when the memory stage has
  // no size or its buffer could not be made) goes to the files whole, as a
  // block of its own: cut into blocks, its parts could land in two files,
  // or a full disk keep one part and lose the next.
  const bool fits = memoryStage->buffer != nullptr && length <= capacity;
  if (!fits) return length != 0 ? writeBlock(*fileStage, data, length) : 0;
  return memoryStage->write(data, length);
}

uint32_t JuMemFileTracing::close() {
  JuLockGuard guard(lock);
  return releaseStages(*this);
}

void JuMemFileTracing::enterForFork() {
  juEnterForFork(lock);
  if (memoryStage != nullptr) memoryStage->enterForFork();
  if (fileStage != nullptr) fileStage->enterForFork();
}

void JuMemFileTracing::leaveAfterFork(bool inChild) {
  // The stages are those of the prepare step: no one could change them
  // while this sink's lock was held.
  if (fileStage != nullptr) fileStage->leaveAfterFork(inChild);
  if (memoryStage != nullptr) memoryStage->leaveAfterFork(inChild);
  juLeaveAfterFork(lock, inChild);
}
