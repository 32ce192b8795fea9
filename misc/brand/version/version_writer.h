// Writing a version resource (VS_VERSIONINFO): the byte buffer it grows in,
// the node writer, and the whole resource from a fixed file information and
// one string table.
#ifndef BRAND_VERSION_VERSION_WRITER_H
#define BRAND_VERSION_VERSION_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "julib/containers.h"

namespace versioninfo {

// ---------------------------------------------------------------------------
// The buffer: capacity 1024 at the first append; an append that does not fit
// grows it to the size needed + 1024, rounded up to a multiple of 1024,
// keeping its content. Memory through the library's allocator (a failure is
// recorded as out of memory there).
// ---------------------------------------------------------------------------

class VersionBuffer {
 public:
  static constexpr uint32_t kStep = 1024;

  VersionBuffer() = default;
  ~VersionBuffer();
  VersionBuffer(const VersionBuffer&) = delete;
  VersionBuffer& operator=(const VersionBuffer&) = delete;

  // Appends `count` bytes (zeros when `bytes` is null). false, with the
  // buffer unchanged, when it cannot grow or would pass 4 GiB.
  //   empty buffer: append(p, 1500) -> true, capacity() == 3072
  [[nodiscard]] bool append(const void* bytes, size_t count);
  // Zeros up to the next 4-byte boundary.
  [[nodiscard]] bool alignTo4();

  const uint8_t* data() const { return bytes_; }
  uint8_t* data() { return bytes_; }
  uint32_t length() const { return length_; }
  uint32_t capacity() const { return capacity_; }
  // Length 0; the capacity stays.
  void clear() { length_ = 0; }

 private:
  uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
};

// ---------------------------------------------------------------------------
// Nodes.
// ---------------------------------------------------------------------------

enum class WriteStatus {
  kOk,
  kOutOfMemory,
  kTooLong,      // a node past 65535 bytes, or a value past 65535 units: wLength could not hold it
  kBadTableKey,  // the table key is not eight hexadecimal digits
};

// Writes nested nodes: each begins on a 4-byte boundary, and its wLength is
// patched when it ends, counting to the current end without trailing
// padding. The first error sticks; status() tells it.
//   writer.begin(0, 1, u"StringFileInfo"); ...children...; writer.end();
class NodeWriter {
 public:
  static constexpr size_t kMaxDepth = 4;

  explicit NodeWriter(VersionBuffer* out) : out_(out) {}

  // Header (wLength patched later), the key and its zero.
  void begin(uint16_t valueLength, uint16_t type, std::u16string_view key);
  // A value or child data, aligned to 4 first.
  void value(const void* bytes, size_t count);
  // UTF-16 text and its zero as UTF-16LE, aligned to 4 first.
  void text(std::u16string_view text);
  void end();

  WriteStatus status() const { return status_; }

 private:
  void appendUnits(std::u16string_view units);
  void fail(WriteStatus status) {
    if (status_ == WriteStatus::kOk) status_ = status;
  }

  VersionBuffer* out_;
  size_t open_[kMaxDepth] = {};
  size_t depth_ = 0;
  WriteStatus status_ = WriteStatus::kOk;
};

// ---------------------------------------------------------------------------
// The whole resource.
// ---------------------------------------------------------------------------

// The translation a string table key names: its eight hexadecimal digits
// read as one number, the language in the high 16 bits and the code page in
// the low. false for anything but eight hexadecimal digits.
//   translationOfKey(u"040904B0", &language, &codePage) -> true, 0x0409, 0x04B0
[[nodiscard]] bool translationOfKey(std::u16string_view key, uint16_t* language, uint16_t* codePage);

// What a rewritten resource holds: the String entries as zero-terminated
// UTF-16 keys and values (char16_t pointers), in order; an entry without a
// value or key is not written.
struct VersionContent {
  const uint8_t* fixedInfo = nullptr;  // kFixedInfoBytes bytes
  std::u16string_view tableKey;
  const JuArray* keys = nullptr;
  const JuArray* values = nullptr;
};

// Writes the resource into `out` (cleared first): the root "VS_VERSION_INFO"
// with the fixed file information, a StringFileInfo with one table under the
// given key (a String with an empty value gets wValueLength 0 and no value),
// and a VarFileInfo whose "Translation" is taken from the key.
//   | status        | out                               |
//   | kOk           | the resource, length() bytes       |
//   | kBadTableKey, kTooLong, kOutOfMemory | unspecified: not to be used |
[[nodiscard]] WriteStatus buildVersionResource(const VersionContent& content, VersionBuffer* out);

}  // namespace versioninfo

#endif  // BRAND_VERSION_VERSION_WRITER_H
