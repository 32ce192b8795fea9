// Reading a PE file's resources: the lists the caller enumerates and the
// bytes of one resource, all from the sorted leaves of the loaded tree.

#include "platform/pe/resources.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "pe/image_source.h"
#include "pe/reasons.h"

namespace platform::pe {

// ---------------------------------------------------------------------------
// Results.
// ---------------------------------------------------------------------------

ResourceNames::~ResourceNames() { clear(); }

void ResourceNames::clear() noexcept {
  std::free(entries_);
  std::free(text_);
  entries_ = nullptr;
  text_ = nullptr;
  count_ = 0;
}

ResourceId ResourceNames::operator[](size_t index) const noexcept {
  const Entry& e = entries_[index];
  return e.isName ? ResourceId::fromName(std::u16string_view(text_ + e.nameStart, e.nameLength))
                  : ResourceId::fromId(e.id);
}

ResourceLanguages::~ResourceLanguages() { clear(); }

void ResourceLanguages::clear() noexcept {
  std::free(languages_);
  languages_ = nullptr;
  count_ = 0;
}

ResourceBytes::~ResourceBytes() { clear(); }

void ResourceBytes::clear() noexcept {
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
}

// ---------------------------------------------------------------------------
// The file.
// ---------------------------------------------------------------------------

ResourceFile::ResourceFile() noexcept = default;

ResourceFile::~ResourceFile() { close(); }

void ResourceFile::close() noexcept {
  delete image_;
  image_ = nullptr;
}

ErrorNumber ResourceFile::fail(ErrorNumber error, const char* text) noexcept {
  errorText_ = text;
  return error;
}

ErrorNumber ResourceFile::checkLoaded(const void* out) noexcept {
  if (image_ == nullptr) return fail(kErrorInvalidArgument, "no file loaded");
  return out == nullptr ? fail(kErrorInvalidArgument, "no place for the result") : kErrorNone;
}

ErrorNumber ResourceFile::open(const char* path) noexcept {
  close();
  if (path == nullptr) return fail(kErrorInvalidArgument, "no file name");
  internal::ByteSource source;
  ErrorNumber error = kErrorNone;
  if (const char* text = internal::openSource(path, &source, &error)) return fail(error, text);
  error = load(source);
  (void)closeFile(source.descriptor);  // read-only: nothing is lost
  return error;
}

ErrorNumber ResourceFile::openBytes(const void* data, size_t size) noexcept {
  if (data == nullptr && size > 0) {
    close();
    return fail(kErrorInvalidArgument, "no data");
  }
  return load(internal::memorySource(static_cast<const unsigned char*>(data != nullptr ? data : ""), size));
}

ErrorNumber ResourceFile::openHeld(const HeldFile& file) noexcept {
  internal::ByteSource source;
  ErrorNumber error = kErrorNone;
  if (const char* text = internal::heldSource(file, &source, &error)) {
    close();
    return fail(error, text);
  }
  return load(source);
}

ErrorNumber ResourceFile::load(const internal::ByteSource& source) noexcept {
  close();
  auto* image = new (std::nothrow) internal::LoadedImage;
  if (image == nullptr) return fail(kErrorNoMemory, "out of memory");
  ErrorNumber error = kErrorNone;
  if (const char* text = internal::loadImage(source, image, &error)) {
    delete image;
    return fail(error, text);
  }
  image_ = image;
  return fail(kErrorNone, "");
}

ErrorNumber ResourceFile::names(ResourceId type, ResourceNames* out) noexcept {
  if (const ErrorNumber error = checkLoaded(out); error != kErrorNone) return error;
  out->clear();
  const internal::ResourceTree& tree = image_->tree;
  const internal::Leaf* leaves = tree.leaves.data();
  size_t count = 0;
  size_t units = 0;
  for (size_t i = 0; i < tree.leaves.size(); ++i) {
    if (!tree.matches(leaves[i].type, type)) continue;
    if (count > 0 && tree.idOf(leaves[i - 1].name) == tree.idOf(leaves[i].name)) continue;
    ++count;
    units += leaves[i].name.nameLength;
  }
  if (count == 0) return fail(kErrorNotFound, internal::missingTypeReason(type));
  out->entries_ = static_cast<ResourceNames::Entry*>(std::malloc(count * sizeof(ResourceNames::Entry)));
  out->text_ = static_cast<char16_t*>(std::malloc((units > 0 ? units : 1) * sizeof(char16_t)));
  if (out->entries_ == nullptr || out->text_ == nullptr) {
    out->clear();
    return fail(kErrorNoMemory, "out of memory");
  }
  size_t at = 0;
  for (size_t i = 0; i < tree.leaves.size(); ++i) {
    if (!tree.matches(leaves[i].type, type)) continue;
    if (out->count_ > 0 && tree.idOf(leaves[i - 1].name) == tree.idOf(leaves[i].name)) continue;
    const internal::IdKey& key = leaves[i].name;
    if (key.nameLength > 0) std::memcpy(out->text_ + at, tree.text.data() + key.nameStart, 2 * key.nameLength);
    out->entries_[out->count_++] = ResourceNames::Entry{key.isName, key.id, at, key.nameLength};
    at += key.nameLength;
  }
  return fail(kErrorNone, "");
}

ErrorNumber ResourceFile::languages(ResourceId type, ResourceId name, ResourceLanguages* out) noexcept {
  if (const ErrorNumber error = checkLoaded(out); error != kErrorNone) return error;
  out->clear();
  const internal::ResourceTree& tree = image_->tree;
  const internal::Leaf* leaves = tree.leaves.data();
  auto isOne = [&](size_t i) { return tree.matches(leaves[i].type, type) && tree.matches(leaves[i].name, name); };
  size_t first = 0;
  while (first < tree.leaves.size() && !isOne(first)) ++first;
  size_t end = first;
  while (end < tree.leaves.size() && isOne(end)) ++end;
  if (end == first) return fail(kErrorNotFound, "no such resource");
  out->languages_ = static_cast<uint16_t*>(std::malloc((end - first) * sizeof(uint16_t)));
  if (out->languages_ == nullptr) return fail(kErrorNoMemory, "out of memory");
  for (size_t i = first; i < end; ++i) out->languages_[out->count_++] = leaves[i].language;
  return fail(kErrorNone, "");
}

ErrorNumber ResourceFile::read(ResourceId type, ResourceId name, uint16_t language, ResourceBytes* out) noexcept {
  if (const ErrorNumber error = checkLoaded(out); error != kErrorNone) return error;
  out->clear();
  const internal::ResourceTree& tree = image_->tree;
  for (size_t i = 0; i < tree.leaves.size(); ++i) {
    const internal::Leaf& leaf = tree.leaves.data()[i];
    if (!tree.matches(leaf.type, type) || !tree.matches(leaf.name, name) || leaf.language != language) continue;
    out->data_ = static_cast<unsigned char*>(std::malloc(leaf.size > 0 ? leaf.size : 1));
    if (out->data_ == nullptr) return fail(kErrorNoMemory, "out of memory");
    if (leaf.size > 0) std::memcpy(out->data_, leaf.data, leaf.size);
    out->size_ = leaf.size;
    return fail(kErrorNone, "");
  }
  return fail(kErrorNotFound, "no such resource");
}

}  // namespace platform::pe
