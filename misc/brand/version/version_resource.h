// Reading a version resource (VS_VERSIONINFO) from its bytes: the root, the
// fixed file information and the String nodes of the first string table of
// its StringFileInfo. Every length is checked against the node that holds it:
// a damaged resource is refused, never read past. Pure: no allocation.
#ifndef BRAND_VERSION_VERSION_RESOURCE_H
#define BRAND_VERSION_VERSION_RESOURCE_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace versioninfo {

// Bytes of VS_FIXEDFILEINFO, the root's value.
inline constexpr size_t kFixedInfoBytes = 52;
// wLength, wValueLength, wType.
inline constexpr size_t kNodeHeaderBytes = 6;

// Nodes start on 4-byte boundaries counted from the resource's start.
constexpr size_t alignTo4(size_t offset) { return (offset + 3) & ~size_t{3}; }

// UTF-16LE text inside the resource bytes: `units` 16-bit units at `bytes`,
// not terminated, not necessarily aligned for char16_t.
struct ResourceText {
  const uint8_t* bytes = nullptr;
  size_t units = 0;

  char16_t at(size_t index) const {
    return static_cast<char16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
  }
  // ResourceText of u"Translation" equals(u"Translation") -> true
  bool equals(std::u16string_view text) const;
  // Copies the units to `out`, which has room for `units` units.
  void copyTo(char16_t* out) const;
};

// One node's header and where its parts lie; offsets from the resource's
// start, `end` = start + wLength.
struct Node {
  size_t start = 0;
  size_t end = 0;
  uint16_t valueLength = 0;  // wValueLength: bytes (wType 0) or UTF-16 units (wType 1)
  uint16_t type = 0;         // wType: 0 binary, 1 text
  ResourceText key;          // without its terminating zero
  size_t valueStart = 0;     // after the key's zero, aligned to 4
};

// Reads the node at `start` (4-aligned) that must end by `limit`: its
// wLength covers at least the header and the key with its zero. false when
// it does not.
//   readNode(resource, size, 0, size, &root) -> true, root.key equals u"VS_VERSION_INFO"
[[nodiscard]] bool readNode(const uint8_t* bytes, size_t start, size_t limit, Node* node);

// One String node: its key and its value up to the first zero (or the node's
// end). hasValue is false for wValueLength 0: an empty value.
struct StringEntry {
  ResourceText key;
  ResourceText value;
  bool hasValue = false;
};

enum class ReadStatus {
  kOk,
  kMalformed,      // not a version resource, or a length or key outside its node
  kNoStringTable,  // well formed, but no StringFileInfo or no table in it
};

// The parts of a version resource that a rewrite carries over.
//   VersionInfoReader reader;
//   if (reader.read(bytes, size) == ReadStatus::kOk) {
//     for (size_t at = reader.firstString(); reader.nextString(&at, &entry);) ...
//   }
class VersionInfoReader {
 public:
  // Checks the root ("VS_VERSION_INFO" with a 52-byte value), finds the
  // first StringFileInfo among the root's children and its first string
  // table, and checks every String node of that table. `bytes` must stay
  // valid while the reader is used.
  [[nodiscard]] ReadStatus read(const uint8_t* bytes, size_t size);

  // After kOk: the 52 bytes of the fixed file information.
  const uint8_t* fixedInfo() const { return bytes_ + fixedInfoOffset_; }
  // After kOk: the string table's key ("040904B0").
  ResourceText tableKey() const { return tableKey_; }
  // After kOk: the number of String nodes in the table.
  size_t stringCount() const { return stringCount_; }

  // The String nodes in order: `position` starts at firstString() and moves
  // past each node read; false after the last one.
  size_t firstString() const { return stringsStart_; }
  bool nextString(size_t* position, StringEntry* entry) const;

 private:
  const uint8_t* bytes_ = nullptr;
  size_t fixedInfoOffset_ = 0;
  ResourceText tableKey_;
  size_t stringsStart_ = 0;
  size_t tableEnd_ = 0;
  size_t stringCount_ = 0;
};

}  // namespace versioninfo

#endif  // BRAND_VERSION_VERSION_RESOURCE_H
