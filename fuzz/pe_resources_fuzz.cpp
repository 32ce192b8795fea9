// Arbitrary bytes as a PE file: the header parser, the resource tree, every
// enumeration and read; then, in memory, a replacement and a new resource
// section, which must read back to the same leaves; and the plan of writing
// it into the file; and the same file read from two held pieces, split where
// the input says. Seed with the test DLLs (build/normal/testing/pe).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pe/image_source.h"
#include "pe/resource_tree.h"
#include "pe/update_plan.h"
#include "platform/pe/resources.h"

namespace {

namespace pe = platform::pe;
namespace internal = platform::pe::internal;

void check(bool ok) {
  if (!ok) std::abort();
}

// Every type's names, their languages and bytes, through the public reader.
void enumerate(const uint8_t* data, size_t size, const internal::ResourceTree& tree) {
  pe::ResourceFile file;
  check(file.openBytes(data, size) == platform::kErrorNone);
  for (size_t i = 0; i < tree.leaves.size(); ++i) {
    const internal::Leaf& leaf = tree.leaves.data()[i];
    pe::ResourceNames names;
    check(file.names(tree.idOf(leaf.type), &names) == platform::kErrorNone && names.size() > 0);
    for (size_t n = 0; n < names.size(); ++n) {
      pe::ResourceLanguages languages;
      check(file.languages(tree.idOf(leaf.type), names[n], &languages) == platform::kErrorNone);
    }
    pe::ResourceBytes bytes;
    check(file.read(tree.idOf(leaf.type), tree.idOf(leaf.name), leaf.language, &bytes) == platform::kErrorNone);
    check(bytes.size() == leaf.size && (leaf.size == 0 || std::memcmp(bytes.data(), leaf.data, leaf.size) == 0));
  }
}

// The laid-out section as one buffer (malloc).
unsigned char* materialize(const internal::SectionLayout& layout) {
  auto* out = static_cast<unsigned char*>(std::calloc(layout.size > 0 ? layout.size : 1, 1));
  if (out == nullptr) return nullptr;
  std::memcpy(out, layout.tables.data(), layout.tables.size());
  for (size_t i = 0; i < layout.placements.size(); ++i) {
    const internal::Placement& p = layout.placements.data()[i];
    if (p.size > 0) std::memcpy(out + p.offset, p.data, p.size);
  }
  return out;
}

void rebuild(internal::LoadedImage& image, const uint8_t* data, size_t size) {
  const size_t cut = size < 64 ? size : 64;
  if (internal::setLeaf(&image.tree, pe::ResourceId::fromId(pe::kResourceTypeVersion), pe::ResourceId::fromId(1),
                        0x409, data, cut) != platform::kErrorNone) {
    return;
  }
  const uint32_t rva = image.headers.sections[image.resourceSection].virtualAddress;
  internal::SectionLayout layout;
  platform::ErrorNumber error = platform::kErrorNone;
  if (internal::layOutResourceSection(image.tree, rva, &layout, &error) != nullptr) return;
  unsigned char* section = materialize(layout);
  if (section == nullptr) return;
  internal::ResourceTree again;
  check(internal::readResourceTree(section, layout.size, rva, 0, &again, &error) == nullptr);
  check(again.leaves.size() == image.tree.leaves.size());
  for (size_t i = 0; i < again.leaves.size(); ++i) {
    const internal::Leaf& a = image.tree.leaves.data()[i];
    const internal::Leaf& b = again.leaves.data()[i];
    check(image.tree.idOf(a.type) == again.idOf(b.type) && image.tree.idOf(a.name) == again.idOf(b.name));
    check(a.language == b.language && a.size == b.size && (a.size == 0 || std::memcmp(a.data, b.data, a.size) == 0));
  }
  internal::UpdatePlan plan;
  if (internal::planUpdate(image.headers, image.resourceSection, layout.size, &plan) == nullptr) {
    check(plan.newFileSize >= plan.headersEnd && plan.tailAt <= image.headers.fileSize);
  }
}

// The file held as two spans, the later one listed first, loads the same.
void loadFromPieces(const uint8_t* data, size_t size, const internal::LoadedImage& whole) {
  const size_t cut = size > 0 ? size * data[size - 1] / 255 : 0;
  const pe::HeldSpan spans[] = {{cut, data + cut, size - cut}, {0, data, cut}};
  const pe::HeldFile file{platform::kNoDescriptor, "held.dll", size, spans, 2};
  internal::ByteSource source;
  internal::LoadedImage image;
  platform::ErrorNumber error = platform::kErrorNone;
  check(internal::heldSource(file, &source, &error) == nullptr);
  check(internal::loadImage(source, &image, &error) == nullptr);
  check(image.headers.headersEnd == whole.headers.headersEnd && image.resourceSection == whole.resourceSection);
  check(image.tree.leaves.size() == whole.tree.leaves.size());
  for (size_t i = 0; i < image.tree.leaves.size(); ++i) {
    const internal::Leaf& a = whole.tree.leaves.data()[i];
    const internal::Leaf& b = image.tree.leaves.data()[i];
    check(a.size == b.size && (a.size == 0 || std::memcmp(a.data, b.data, a.size) == 0));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* bytes = size > 0 ? data : reinterpret_cast<const uint8_t*>("");
  internal::LoadedImage image;
  platform::ErrorNumber error = platform::kErrorNone;
  if (internal::loadImage(internal::memorySource(bytes, size), &image, &error) != nullptr) return 0;
  loadFromPieces(bytes, size, image);
  enumerate(data, size, image.tree);
  if (image.resourceSection >= 0) rebuild(image, data, size);
  return 0;
}
