// Loading a PE file's headers and resource tree from a descriptor, memory,
// or both.

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

// Exactly `count` bytes at `offset` of the file.
ErrorNumber readFromFile(FileDescriptor descriptor, uint64_t offset, unsigned char* out, size_t count) {
  ErrorNumber error = seekFile(descriptor, offset);
  size_t total = 0;
  while (error == kErrorNone && total < count) {
    size_t done = 0;
    error = readFile(descriptor, out + total, count - total, &done);
    if (error == kErrorNone && done == 0) error = kErrorIo;  // the file shrank under us
    total += done;
  }
  return error;
}

}  // namespace

ErrorNumber ByteSource::readAt(uint64_t offset, void* out, size_t count) const noexcept {
  if (offset > size || count > size - offset) return kErrorInvalidArgument;
  auto* to = static_cast<unsigned char*>(out);
  const uint64_t end = offset + count;
  ErrorNumber error = kErrorNone;
  while (error == kErrorNone && offset < end) {
    // The span that holds `offset`, else the file up to the next span.
    const HeldSpan* held = nullptr;
    uint64_t stop = end;
    for (size_t i = 0; i < spanCount && held == nullptr; ++i) {
      const HeldSpan& s = spans[i];
      if (offset >= s.offset && offset - s.offset < s.size) held = &s;
      if (s.offset > offset && s.offset < stop) stop = s.offset;
    }
    if (held != nullptr) {
      stop = held->offset + held->size < end ? held->offset + held->size : end;
      std::memcpy(to, held->bytes + (offset - held->offset), static_cast<size_t>(stop - offset));
    } else {
      error = readFromFile(descriptor, offset, to, static_cast<size_t>(stop - offset));
    }
    to += stop - offset;
    offset = stop;
  }
  return error;
}

size_t ByteSource::heldRun(uint64_t offset, size_t limit) const noexcept {
  size_t run = 0;
  bool grew = true;
  while (grew && run < limit) {
    grew = false;
    for (size_t i = 0; i < spanCount && !grew; ++i) {
      const HeldSpan& s = spans[i];
      const uint64_t at = offset + run;
      if (at < s.offset || at - s.offset >= s.size) continue;
      const uint64_t more = s.offset + s.size - at;
      run += more < limit - run ? static_cast<size_t>(more) : limit - run;
      grew = true;
    }
  }
  return run;
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

ByteSource memorySource(const unsigned char* data, size_t size) noexcept {
  ByteSource source;
  source.size = size;
  source.spans[0] = HeldSpan{0, data, size};
  source.spanCount = 1;
  return source;
}

const char* heldSource(const HeldFile& file, ByteSource* source, ErrorNumber* error) noexcept {
  *source = ByteSource();
  *error = kErrorInvalidArgument;
  if (file.spanCount > kMaxHeldSpans) return "too many held spans";
  if (file.spans == nullptr && file.spanCount > 0) return "the held spans are missing";
  for (size_t i = 0; i < file.spanCount; ++i) {
    const HeldSpan& s = file.spans[i];
    if (s.offset > file.size || s.size > file.size - s.offset) return "a held span lies outside the file";
    if (s.bytes == nullptr && s.size > 0) return "a held span has no bytes";
    source->spans[i] = s;
  }
  source->descriptor = file.descriptor;
  source->size = file.size;
  source->spanCount = file.spanCount;
  *error = kErrorNone;
  return nullptr;
}

const char* loadImage(const ByteSource& source, LoadedImage* image, ErrorNumber* error) noexcept {
  *error = kErrorNone;
  unsigned char* prefix = static_cast<unsigned char*>(std::malloc(kMaxHeaderBytes));
  if (prefix == nullptr) return readFailure(error, kErrorNoMemory);
  const size_t prefixBytes = source.size < kMaxHeaderBytes ? static_cast<size_t>(source.size) : kMaxHeaderBytes;
  // The headers a writer holds are parsed alone first: the file behind
  // them is read only when they do not suffice.
  const size_t held = source.heldRun(0, prefixBytes);
  const size_t first = held > 0 ? held : prefixBytes;
  *error = source.readAt(0, prefix, first);
  const char* text = nullptr;
  if (*error == kErrorNone) text = parseImageHeaders(prefix, first, source.size, &image->headers);
  if (*error == kErrorNone && text != nullptr && first < prefixBytes) {
    *error = source.readAt(first, prefix + first, prefixBytes - first);
    if (*error == kErrorNone) text = parseImageHeaders(prefix, prefixBytes, source.size, &image->headers);
  }
  if (*error != kErrorNone) text = "cannot read the file";
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
