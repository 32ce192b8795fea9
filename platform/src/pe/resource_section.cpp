// Laying out a resource section from the sorted leaves: the root directory,
// the type directories, the name directories (whose entries are the
// languages), the data entries, the names, then the bytes, each aligned as
// the file aligned them. Directory order follows the leaves' order: names
// first, then ids ascending, as a lookup by binary search expects.
//
// With the file's own alignment, and its tables ahead of its data as every
// linker writes them, a section whose resources did not grow ends, rounded
// up to that alignment, no later than the old one's data did: it fits the
// old section's file bytes and page, whatever order the data had.

#include <cstring>

#include "pe/resource_tree.h"
#include "platform/checked_size.h"
#include "platform/pe/image.h"

namespace platform::pe::internal {
namespace {

const char* outOfMemory(ErrorNumber* error) {
  *error = kErrorNoMemory;
  return "out of memory";
}

const char* tooLarge(ErrorNumber* error) {
  *error = kErrorInvalidArgument;
  return "resource section too large";
}

size_t alignUp(size_t value, size_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

// The largest alignment, at most 8, that the old section's data all
// honoured; never below 4, as resources are read in place as 32-bit
// structures (version nodes, dialog and icon headers).
size_t dataAlignment(const ResourceTree& tree) {
  size_t alignment = 8;
  while (alignment > 4 && (tree.dataOffsetBits & (alignment - 1)) != 0) alignment /= 2;
  return alignment;
}

bool sameKey(const ResourceTree& tree, const IdKey& a, const IdKey& b) { return tree.idOf(a) == tree.idOf(b); }

// Where each group starts: leaf indexes of the first leaf of every type and
// of every (type, name), with the end index appended to both.
struct Groups {
  platform::internal::Buffer<size_t> types;
  platform::internal::Buffer<size_t> names;
};

bool findGroups(const ResourceTree& tree, Groups* groups) {
  const Leaf* leaves = tree.leaves.data();
  const size_t count = tree.leaves.size();
  for (size_t i = 0; i < count; ++i) {
    const bool newType = i == 0 || !sameKey(tree, leaves[i - 1].type, leaves[i].type);
    if (newType) groups->types.push(i);
    if (newType || !sameKey(tree, leaves[i - 1].name, leaves[i].name)) groups->names.push(i);
  }
  groups->types.push(count);
  groups->names.push(count);
  return !groups->types.failed() && !groups->names.failed();
}

size_t nameBytes(const IdKey& key) { return key.isName ? 2 + 2 * key.nameLength : 0; }

class TableWriter {
 public:
  TableWriter(const ResourceTree& tree, unsigned char* out, size_t stringsAt)
      : tree_(tree), out_(out), stringAt_(stringsAt) {}

  // A directory header at `at` for `count` entries, `named` of them named;
  // false when either kind passes the 16-bit counts of a directory.
  bool directory(size_t at, size_t named, size_t count) {
    if (named > 0xFFFF || count - named > 0xFFFF) return false;
    writeLe16(out_ + at + 12, static_cast<uint16_t>(named));
    writeLe16(out_ + at + 14, static_cast<uint16_t>(count - named));
    return true;
  }
  // Entry `index` of the directory at `at`, for `key`, pointing at `target`.
  void entry(size_t at, size_t index, const IdKey& key, uint32_t target) {
    unsigned char* e = out_ + at + kDirectoryBytes + kEntryBytes * index;
    writeLe32(e, key.isName ? kHighBit | static_cast<uint32_t>(writeName(key)) : key.id);
    writeLe32(e + 4, target);
  }

 private:
  size_t writeName(const IdKey& key) {
    const size_t at = stringAt_;
    writeLe16(out_ + at, static_cast<uint16_t>(key.nameLength));
    const char16_t* text = tree_.text.data() + key.nameStart;
    for (size_t i = 0; i < key.nameLength; ++i) writeLe16(out_ + at + 2 + 2 * i, text[i]);
    stringAt_ += nameBytes(key);
    return at;
  }

  const ResourceTree& tree_;
  unsigned char* out_;
  size_t stringAt_;
};

size_t namedCount(const ResourceTree& tree, const size_t* starts, size_t first, size_t last, bool byType) {
  size_t named = 0;
  for (size_t g = first; g < last; ++g) {
    const Leaf& leaf = tree.leaves.data()[starts[g]];
    named += (byType ? leaf.type : leaf.name).isName ? 1 : 0;
  }
  return named;
}

}  // namespace

const char* layOutResourceSection(const ResourceTree& tree, uint32_t sectionRva, SectionLayout* layout,
                                  ErrorNumber* error) noexcept {
  *error = kErrorNone;
  Groups groups;
  if (!findGroups(tree, &groups)) return outOfMemory(error);
  const size_t typeCount = groups.types.size() - 1;
  const size_t nameCount = groups.names.size() - 1;
  const size_t leafCount = tree.leaves.size();

  // Sizes: every count below is bounded by the leaves, which are in memory.
  const size_t typeDirsAt = kDirectoryBytes + kEntryBytes * typeCount;
  const size_t nameDirsAt = typeDirsAt + kDirectoryBytes * typeCount + kEntryBytes * nameCount;
  const size_t dataEntriesAt = nameDirsAt + kDirectoryBytes * nameCount + kEntryBytes * leafCount;
  const size_t stringsAt = dataEntriesAt + kDataEntryBytes * leafCount;
  size_t stringBytes = 0;
  for (size_t g = 0; g < typeCount; ++g) stringBytes += nameBytes(tree.leaves.data()[groups.types.data()[g]].type);
  for (size_t g = 0; g < nameCount; ++g) stringBytes += nameBytes(tree.leaves.data()[groups.names.data()[g]].name);
  const size_t alignment = dataAlignment(tree);
  size_t end = alignUp(stringsAt + stringBytes, alignment);
  const size_t tablesSize = end;

  if (!layout->placements.reserve(leafCount)) return outOfMemory(error);
  for (size_t i = 0; i < leafCount; ++i) {
    const Leaf& leaf = tree.leaves.data()[i];
    layout->placements.push(Placement{end, leaf.data, leaf.size});
    if (!addSizes(&end, end, leaf.size, alignment - 1)) return tooLarge(error);
    end &= ~(alignment - 1);
  }
  // Directory offsets keep their high bit for the subdirectory flag.
  if (end > UINT32_MAX - sectionRva || tablesSize >= kHighBit) return tooLarge(error);
  layout->size = end;

  if (!layout->tables.reserve(tablesSize)) return outOfMemory(error);
  unsigned char* out = layout->tables.data();
  std::memset(out, 0, tablesSize);
  layout->tables.setSize(tablesSize);
  TableWriter writer(tree, out, stringsAt);

  const size_t* typeStarts = groups.types.data();
  const size_t* nameStarts = groups.names.data();
  if (!writer.directory(0, namedCount(tree, typeStarts, 0, typeCount, true), typeCount)) return tooLarge(error);
  size_t typeDirAt = typeDirsAt;
  size_t nameDirAt = nameDirsAt;
  size_t nameGroup = 0;
  for (size_t t = 0; t < typeCount; ++t) {
    writer.entry(0, t, tree.leaves.data()[typeStarts[t]].type, kHighBit | static_cast<uint32_t>(typeDirAt));
    // The name groups of this type.
    const size_t firstName = nameGroup;
    while (nameStarts[nameGroup] < typeStarts[t + 1]) ++nameGroup;
    const size_t namesHere = nameGroup - firstName;
    if (!writer.directory(typeDirAt, namedCount(tree, nameStarts, firstName, nameGroup, false), namesHere)) {
      return tooLarge(error);
    }
    for (size_t n = firstName; n < nameGroup; ++n) {
      writer.entry(typeDirAt, n - firstName, tree.leaves.data()[nameStarts[n]].name,
                   kHighBit | static_cast<uint32_t>(nameDirAt));
      const size_t languages = nameStarts[n + 1] - nameStarts[n];
      if (!writer.directory(nameDirAt, 0, languages)) return tooLarge(error);
      for (size_t l = nameStarts[n]; l < nameStarts[n + 1]; ++l) {
        const Leaf& leaf = tree.leaves.data()[l];
        const size_t entryAt = dataEntriesAt + kDataEntryBytes * l;
        writer.entry(nameDirAt, l - nameStarts[n], IdKey{false, leaf.language, 0, 0}, static_cast<uint32_t>(entryAt));
        writeLe32(out + entryAt, sectionRva + static_cast<uint32_t>(layout->placements.data()[l].offset));
        writeLe32(out + entryAt + 4, static_cast<uint32_t>(leaf.size));
        writeLe32(out + entryAt + 8, leaf.codePage);
      }
      nameDirAt += kDirectoryBytes + kEntryBytes * languages;
    }
    typeDirAt += kDirectoryBytes + kEntryBytes * namesHere;
  }
  return nullptr;
}

}  // namespace platform::pe::internal
