// Reading a version resource from its bytes.
#include "version/version_resource.h"

#include <algorithm>

namespace versioninfo {
namespace {

uint16_t readWord(const uint8_t* bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

// Where a node's children begin: after its value, aligned. Text values count
// UTF-16 units, binary ones bytes.
size_t childrenStart(const Node& node) {
  const size_t valueBytes = node.type == 1 ? size_t{2} * node.valueLength : node.valueLength;
  return node.valueStart + valueBytes;
}

enum class Step { kNode, kEnd, kBad };

// The next child of a parent that ends at `end`, from *position (the end of
// the previous child, or where the children begin).
Step nextChild(const uint8_t* bytes, size_t* position, size_t end, Node* child) {
  const size_t start = alignTo4(*position);
  if (start >= end) return Step::kEnd;
  if (!readNode(bytes, start, end, child)) return Step::kBad;
  *position = child->end;
  return Step::kNode;
}

Step nextStringEntry(const uint8_t* bytes, size_t* position, size_t end, StringEntry* entry) {
  Node node;
  const Step step = nextChild(bytes, position, end, &node);
  if (step != Step::kNode) return step;
  entry->key = node.key;
  entry->hasValue = node.valueLength != 0;
  entry->value = ResourceText{};
  // A value claimed without room reads as empty. Tools that count
  // wValueLength in bytes are read right: the value ends at its zero.
  if (!entry->hasValue || node.valueStart >= node.end) return Step::kNode;
  const size_t units = std::min<size_t>(node.valueLength, (node.end - node.valueStart) / 2);
  ResourceText value{bytes + node.valueStart, 0};
  while (value.units < units && value.at(value.units) != 0) ++value.units;
  entry->value = value;
  return Step::kNode;
}

}  // namespace

bool ResourceText::equals(std::u16string_view text) const {
  if (text.size() != units) return false;
  for (size_t i = 0; i < units; ++i) {
    if (at(i) != text[i]) return false;
  }
  return true;
}

void ResourceText::copyTo(char16_t* out) const {
  for (size_t i = 0; i < units; ++i) out[i] = at(i);
}

bool readNode(const uint8_t* bytes, size_t start, size_t limit, Node* node) {
  if (limit < start || limit - start < kNodeHeaderBytes) return false;
  const uint16_t length = readWord(bytes, start);
  if (length > limit - start) return false;
  node->start = start;
  node->end = start + length;
  node->valueLength = readWord(bytes, start + 2);
  node->type = readWord(bytes, start + 4);
  // The key runs to its zero, which must lie inside the node.
  const size_t keyStart = start + kNodeHeaderBytes;
  size_t units = 0;
  for (;;) {
    const size_t at = keyStart + 2 * units;
    if (at > node->end || node->end - at < 2) return false;
    if (readWord(bytes, at) == 0) break;
    ++units;
  }
  node->key = ResourceText{bytes + keyStart, units};
  node->valueStart = alignTo4(keyStart + 2 * (units + 1));
  return true;
}

ReadStatus VersionInfoReader::read(const uint8_t* bytes, size_t size) {
  *this = VersionInfoReader();
  bytes_ = bytes;
  Node root;
  if (bytes == nullptr || !readNode(bytes, 0, size, &root)) return ReadStatus::kMalformed;
  if (!root.key.equals(u"VS_VERSION_INFO") || root.valueLength != kFixedInfoBytes ||
      root.valueStart > root.end || root.end - root.valueStart < kFixedInfoBytes) {
    return ReadStatus::kMalformed;
  }
  fixedInfoOffset_ = root.valueStart;

  // The first StringFileInfo among the root's children.
  Node block;
  size_t position = fixedInfoOffset_ + kFixedInfoBytes;
  for (;;) {
    const Step step = nextChild(bytes, &position, root.end, &block);
    if (step == Step::kBad) return ReadStatus::kMalformed;
    if (step == Step::kEnd) return ReadStatus::kNoStringTable;
    if (block.key.equals(u"StringFileInfo")) break;
  }

  // Its first string table, whose String nodes must all read.
  Node table;
  position = childrenStart(block);
  const Step step = nextChild(bytes, &position, block.end, &table);
  if (step == Step::kBad) return ReadStatus::kMalformed;
  if (step == Step::kEnd) return ReadStatus::kNoStringTable;
  tableKey_ = table.key;
  stringsStart_ = childrenStart(table);
  tableEnd_ = table.end;
  StringEntry entry;
  position = stringsStart_;
  for (;;) {
    const Step string = nextStringEntry(bytes, &position, tableEnd_, &entry);
    if (string == Step::kBad) return ReadStatus::kMalformed;
    if (string == Step::kEnd) break;
    ++stringCount_;
  }
  return ReadStatus::kOk;
}

bool VersionInfoReader::nextString(size_t* position, StringEntry* entry) const {
  return bytes_ != nullptr && nextStringEntry(bytes_, position, tableEnd_, entry) == Step::kNode;
}

}  // namespace versioninfo
