// Reading the resource tree of a resource section, and changing its leaves.
// The directory is exactly three levels deep (type, name, language), so a
// directory that points back at itself is caught by its depth; an entry
// budget stops trees whose directories share subdirectories from
// multiplying.

#include "pe/resource_tree.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/checked_size.h"
#include "platform/pe/image.h"

namespace platform::pe::internal {
namespace {

struct Reader {
  const unsigned char* base;  // the resource directory's start
  size_t size;                // bytes from base to the end of the section
  const unsigned char* section;
  size_t sectionSize;
  uint32_t sectionRva;
  size_t budget;  // directory entries still allowed
  ResourceTree* tree;
  ErrorNumber* error;
};

const char* invalid(Reader& r, const char* text) {
  *r.error = kErrorInvalidArgument;
  return text;
}

const char* outOfMemory(ErrorNumber* error) {
  *error = kErrorNoMemory;
  return "out of memory";
}

bool fits(size_t size, size_t offset, size_t bytes) { return offset <= size && bytes <= size - offset; }

// A name entry's text (a 16-bit length, then UTF-16LE units) into the pool.
const char* readName(Reader& r, uint32_t offset, IdKey* key) {
  if (!fits(r.size, offset, 2)) return invalid(r, "resource name past the end of the section");
  const size_t length = readLe16(r.base + offset);
  if (!fits(r.size, offset + 2, 2 * length)) return invalid(r, "resource name past the end of the section");
  key->isName = true;
  key->id = 0;
  key->nameStart = r.tree->text.size();
  key->nameLength = length;
  if (!r.tree->text.reserve(length)) return outOfMemory(r.error);
  for (size_t i = 0; i < length; ++i) r.tree->text.push(static_cast<char16_t>(readLe16(r.base + offset + 2 + 2 * i)));
  return nullptr;
}

const char* readLeaf(Reader& r, uint32_t offset, Leaf* leaf) {
  if (!fits(r.size, offset, kDataEntryBytes)) return invalid(r, "resource data entry past the end of the section");
  const uint32_t rva = readLe32(r.base + offset);
  const uint32_t size = readLe32(r.base + offset + 4);
  leaf->codePage = readLe32(r.base + offset + 8);
  if (rva < r.sectionRva || !fits(r.sectionSize, rva - r.sectionRva, size)) {
    return invalid(r, "resource data outside the resource section");
  }
  leaf->data = r.section + (rva - r.sectionRva);
  r.tree->dataOffsetBits |= rva - r.sectionRva;
  leaf->size = size;
  leaf->owned = nullptr;
  return nullptr;
}

// Reads the directory at `offset` at `depth` (0 types, 1 names, 2
// languages), with the keys of the levels above in `leaf`.
const char* readDirectory(Reader& r, uint32_t offset, int depth, Leaf leaf) {
  if (!fits(r.size, offset, kDirectoryBytes)) return invalid(r, "resource directory past the end of the section");
  const size_t count = size_t{readLe16(r.base + offset + 12)} + readLe16(r.base + offset + 14);
  if (!fits(r.size, offset + kDirectoryBytes, count * kEntryBytes)) {
    return invalid(r, "resource directory entries past the end of the section");
  }
  if (count > r.budget) return invalid(r, "resource directories shared or too many entries");
  r.budget -= count;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* entry = r.base + offset + kDirectoryBytes + kEntryBytes * i;
    const uint32_t nameField = readLe32(entry);
    const uint32_t target = readLe32(entry + 4);
    IdKey key{false, static_cast<uint16_t>(nameField), 0, 0};
    if (nameField & kHighBit) {
      if (depth == 2) return invalid(r, "resource language given by name");
      if (const char* e = readName(r, nameField & ~kHighBit, &key)) return e;
    } else if (nameField > 0xFFFF) {
      return invalid(r, "resource id above 65535");
    }
    if (depth == 0) leaf.type = key;
    if (depth == 1) leaf.name = key;
    if (depth == 2) leaf.language = key.id;
    const bool isDirectory = (target & kHighBit) != 0;
    if (isDirectory != (depth < 2)) return invalid(r, "resource tree not three levels deep");
    if (isDirectory) {
      if (const char* e = readDirectory(r, target & ~kHighBit, depth + 1, leaf)) return e;
      continue;
    }
    if (const char* e = readLeaf(r, target, &leaf)) return e;
    if (!r.tree->leaves.reserve(1)) return outOfMemory(r.error);
    r.tree->leaves.push(leaf);
  }
  return nullptr;
}

int compareIds(const ResourceTree& tree, const IdKey& a, const IdKey& b) {
  const ResourceId x = tree.idOf(a);
  const ResourceId y = tree.idOf(b);
  return x < y ? -1 : (y < x ? 1 : 0);
}

int compareLeaves(const ResourceTree& tree, const Leaf& a, const Leaf& b) {
  if (int c = compareIds(tree, a.type, b.type)) return c;
  if (int c = compareIds(tree, a.name, b.name)) return c;
  return a.language < b.language ? -1 : (a.language > b.language ? 1 : 0);
}

void sortLeaves(ResourceTree* tree) {
  Leaf* begin = tree->leaves.data();
  std::stable_sort(begin, begin + tree->leaves.size(),
                   [tree](const Leaf& a, const Leaf& b) { return compareLeaves(*tree, a, b) < 0; });
}

bool appendKey(ResourceTree* tree, ResourceId id, IdKey* key) {
  *key = IdKey{id.isName(), id.id(), tree->text.size(), id.name().size()};
  if (!id.isName()) return true;
  tree->text.append(id.name().data(), id.name().size());
  return !tree->text.failed();
}

}  // namespace

ResourceTree::~ResourceTree() {
  for (size_t i = 0; i < leaves.size(); ++i) std::free(leaves.data()[i].owned);
  std::free(section);
}

const char* readResourceTree(unsigned char* section, size_t sectionSize, uint32_t sectionRva, size_t directoryOffset,
                             ResourceTree* tree, ErrorNumber* error) noexcept {
  tree->section = section;
  tree->sectionSize = sectionSize;
  *error = kErrorNone;
  if (directoryOffset > sectionSize) {
    *error = kErrorInvalidArgument;
    return "resource directory outside the resource section";
  }
  // Every entry of a tree whose directories are not shared has eight bytes
  // of its own.
  Reader r{section + directoryOffset, sectionSize - directoryOffset, section, sectionSize, sectionRva,
           (sectionSize - directoryOffset) / kEntryBytes, tree, error};
  if (const char* e = readDirectory(r, 0, 0, Leaf{})) return e;
  // std::stable_sort may ask for a buffer; without one it sorts in place.
  sortLeaves(tree);
  for (size_t i = 1; i < tree->leaves.size(); ++i) {
    if (compareLeaves(*tree, tree->leaves.data()[i - 1], tree->leaves.data()[i]) == 0) {
      *error = kErrorInvalidArgument;
      return "resource listed twice";
    }
  }
  return nullptr;
}

ErrorNumber setLeaf(ResourceTree* tree, ResourceId type, ResourceId name, uint16_t language, const void* data,
                    size_t size) noexcept {
  unsigned char* copy = static_cast<unsigned char*>(std::malloc(size > 0 ? size : 1));
  if (copy == nullptr) return kErrorNoMemory;
  if (size > 0) std::memcpy(copy, data, size);
  for (size_t i = 0; i < tree->leaves.size(); ++i) {
    Leaf& leaf = tree->leaves.data()[i];
    if (tree->matches(leaf.type, type) && tree->matches(leaf.name, name) && leaf.language == language) {
      std::free(leaf.owned);
      leaf.owned = copy;
      leaf.data = copy;
      leaf.size = size;
      return kErrorNone;
    }
  }
  const size_t textSize = tree->text.size();
  Leaf leaf{};
  leaf.language = language;
  leaf.data = copy;
  leaf.owned = copy;
  leaf.size = size;
  if (!appendKey(tree, type, &leaf.type) || !appendKey(tree, name, &leaf.name) || !tree->leaves.reserve(1)) {
    tree->text.truncate(textSize);
    std::free(copy);
    return kErrorNoMemory;
  }
  tree->leaves.push(leaf);
  sortLeaves(tree);
  return kErrorNone;
}

}  // namespace platform::pe::internal
