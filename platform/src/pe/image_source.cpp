// Loading a PE file's headers and resource tree from a descriptor or memory.

#include "pe/image_source.h"

#include <cstdlib>
#include <cstring>

namespace platform::pe::internal {
namespace {

const char* failWith(ErrorNumber* error, ErrorNumber number, const char* text) {
  *error = number;
  return text;
}

const char* readFailure(ErrorNumber* error, ErrorNumber number) {
  *error = number;
  return number == kErrorNoMemory ? "out of memory" : "cannot read the file";
}

}  // namespace

ErrorNumber ByteSource::readAt(uint64_t offset, void* out, size_t count) const noexcept {
  if (offset > size || count > size - offset) return kErrorInvalidArgument;
  if (memory != nullptr || count == 0) {
    if (count > 0) std::memcpy(out, memory + offset, count);
    return kErrorNone;
  }
  ErrorNumber error = seekFile(descriptor, offset);
  size_t total = 0;
  while (error == kErrorNone && total < count) {
    size_t done = 0;
    error = readFile(descriptor, static_cast<unsigned char*>(out) + total, count - total, &done);
    if (error == kErrorNone && done == 0) error = kErrorIo;  // the file shrank under us
    total += done;
  }
  return error;
}

const char* openSource(const char* path, ByteSource* source, ErrorNumber* error) noexcept {
  *source = ByteSource();
  *error = openFile(path, 0, &source->descriptor);
  if (*error != kErrorNone) return "cannot open the file";
  *error = fileSize(source->descriptor, &source->size);
  if (*error != kErrorNone) {
    (void)closeFile(source->descriptor);  // the size failure is what counts
    source->descriptor = kNoDescriptor;
    return "cannot read the file";
  }
  return nullptr;
}

const char* loadImage(const ByteSource& source, LoadedImage* image, ErrorNumber* error) noexcept {
  *error = kErrorNone;
  unsigned char* prefix = static_cast<unsigned char*>(std::malloc(kMaxHeaderBytes));
  if (prefix == nullptr) return readFailure(error, kErrorNoMemory);
  const size_t prefixBytes = source.size < kMaxHeaderBytes ? static_cast<size_t>(source.size) : kMaxHeaderBytes;
  *error = source.readAt(0, prefix, prefixBytes);
  const char* text = *error != kErrorNone ? "cannot read the file"
                                          : parseImageHeaders(prefix, prefixBytes, source.size, &image->headers);
  std::free(prefix);
  if (text != nullptr) return failWith(error, *error != kErrorNone ? *error : kErrorInvalidArgument, text);

  const ImageHeaders& h = image->headers;
  if (h.directoryCount <= kDirectoryResource || h.directories[kDirectoryResource].size == 0) return nullptr;
  const uint32_t rva = h.directories[kDirectoryResource].address;
  const int index = sectionOfAddress(h, rva);
  if (index < 0) return failWith(error, kErrorInvalidArgument, "resource directory outside every section");
  const Section& section = h.sections[index];
  if (rva - section.virtualAddress >= section.rawSize) {
    return failWith(error, kErrorInvalidArgument, "resource directory outside the section's data");
  }
  image->resourceSection = index;
  unsigned char* bytes = static_cast<unsigned char*>(std::malloc(section.rawSize));
  if (bytes == nullptr) return readFailure(error, kErrorNoMemory);
  *error = source.readAt(section.rawOffset, bytes, section.rawSize);
  if (*error != kErrorNone) {
    std::free(bytes);
    return readFailure(error, *error);
  }
  return readResourceTree(bytes, section.rawSize, section.virtualAddress, rva - section.virtualAddress, &image->tree,
                          error);
}

}  // namespace platform::pe::internal
