// The resource tree held as a flat list of leaves (type, name, language,
// bytes): read from a resource section, changed, and laid out again as a
// new section. Internal to the PE layer.
#ifndef PLATFORM_SRC_PE_RESOURCE_TREE_H
#define PLATFORM_SRC_PE_RESOURCE_TREE_H

#include <cstddef>
#include <cstdint>

#include "growable_buffer.h"
#include "platform/files.h"
#include "platform/pe/resources.h"

namespace platform::pe::internal {

// Sizes in a resource section: a directory's header, one of its entries, a
// data entry; the high bit of an entry's name or offset says "a name" or
// "a subdirectory".
inline constexpr uint32_t kHighBit = 0x80000000u;
inline constexpr size_t kDirectoryBytes = 16;
inline constexpr size_t kEntryBytes = 8;
inline constexpr size_t kDataEntryBytes = 16;

// A type or name: an id, or a name at nameStart in the tree's text pool.
struct IdKey {
  bool isName;
  uint16_t id;
  size_t nameStart;
  size_t nameLength;
};

struct Leaf {
  IdKey type;
  IdKey name;
  uint16_t language;
  uint32_t codePage;
  const unsigned char* data;  // in the section, or `owned`
  size_t size;
  unsigned char* owned;       // replacement bytes (malloc), or null
};

struct ResourceTree {
  ResourceTree() = default;
  ~ResourceTree();
  ResourceTree(const ResourceTree&) = delete;
  ResourceTree& operator=(const ResourceTree&) = delete;

  ResourceId idOf(const IdKey& key) const {
    return key.isName ? ResourceId::fromName(std::u16string_view(text.data() + key.nameStart, key.nameLength))
                      : ResourceId::fromId(key.id);
  }
  bool matches(const IdKey& key, ResourceId id) const { return idOf(key) == id; }

  platform::internal::Buffer<Leaf> leaves;
  platform::internal::Buffer<char16_t> text;
  unsigned char* section = nullptr;  // the old section's bytes (malloc), owned
  size_t sectionSize = 0;
  size_t dataOffsetBits = 0;  // every datum's offset in the old section, or-ed
};

// Reads the tree of the resource directory at `directoryOffset` bytes into
// `section` (`sectionSize` bytes, loaded at virtual address `sectionRva`).
// The tree takes ownership of `section` (malloc), even on failure. Returns
// null, or what is wrong (*error kErrorInvalidArgument, or kErrorNoMemory
// with the text "out of memory").
const char* readResourceTree(unsigned char* section, size_t sectionSize, uint32_t sectionRva,
                             size_t directoryOffset, ResourceTree* tree, ErrorNumber* error) noexcept;

// Sets (type, name, language) to a copy of `size` bytes, adding the leaf
// when missing. kErrorNoMemory, or kErrorNone.
ErrorNumber setLeaf(ResourceTree* tree, ResourceId type, ResourceId name, uint16_t language, const void* data,
                    size_t size) noexcept;

// A new resource section: the directory tables, data entries and names in
// `tables`, then each leaf's bytes at its offset, aligned as the old
// section aligned its data (to 4 or 8 bytes). Bytes not covered are zeros;
// the section is `size` bytes.
struct Placement {
  size_t offset;
  const unsigned char* data;
  size_t size;
};
struct SectionLayout {
  platform::internal::Buffer<unsigned char> tables;
  platform::internal::Buffer<Placement> placements;  // ascending offsets
  size_t size = 0;
};

// Lays out `tree` for a section loaded at `sectionRva` (the directory at its
// start). Returns null, or what is wrong ("out of memory", "resource
// section too large").
const char* layOutResourceSection(const ResourceTree& tree, uint32_t sectionRva, SectionLayout* layout,
                                  ErrorNumber* error) noexcept;

}  // namespace platform::pe::internal

#endif  // PLATFORM_SRC_PE_RESOURCE_TREE_H
