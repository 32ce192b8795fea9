// The copy a branding writes, with its headers and resources held back.

#include "engine/held_copy.h"

#include <algorithm>
#include <cstring>

#include "julib/errors.h"
#include "julib/files.h"
#include "julib/object.h"

namespace brandengine {

namespace pe = platform::pe;

HeldCopy::HeldCopy(platform::FileDescriptor descriptor, const char* path, uint64_t expectedSize, bool holdResources)
    : descriptor_(descriptor),
      path_(path),
      expectedSize_(expectedSize),
      holdResources_(holdResources),
      head_(static_cast<unsigned char*>(juMallocChecked(pe::kMaxHeaderBytes))),
      headNeeded_(static_cast<size_t>(std::min<uint64_t>(expectedSize, pe::kMaxHeaderBytes))) {
  // Without room for the headers nothing is held: the bytes go straight on.
  decided_ = head_ == nullptr;
}

HeldCopy::~HeldCopy() {
  juFree(head_);
  juFree(section_);
}

pe::HeldFile HeldCopy::heldFile() const { return {descriptor_, path_, offset_, spans_, spanCount_}; }

int HeldCopy::fail(platform::ErrorNumber error) {
  (void)juPostFileError(error, path_);
  return 1;
}

void HeldCopy::decide() {
  decided_ = true;
  pe::ImageHeaders headers;
  if (pe::parseImageHeaders(head_, headBytes_, expectedSize_, &headers) != nullptr) return;
  peImage_ = true;
  checksumField_ = headers.checksumField;
  spans_[spanCount_++] = {0, head_, headers.headersEnd};
  if (!holdResources_ || headers.directoryCount <= pe::kDirectoryResource) return;
  const pe::DataDirectory& resources = headers.directories[pe::kDirectoryResource];
  const int index = resources.size != 0 ? pe::sectionOfAddress(headers, resources.address) : -1;
  if (index < 0) return;
  const pe::Section& section = headers.sections[index];
  if (section.rawSize == 0 || section.rawOffset < headers.headersEnd) return;
  // A section that cannot be held (no memory) is written as it comes; the
  // update then reads it back from the file.
  section_ = static_cast<unsigned char*>(juMallocChecked(section.rawSize));
  if (section_ != nullptr) spans_[spanCount_++] = {section.rawOffset, section_, section.rawSize};
}

int HeldCopy::route(const unsigned char* bytes, size_t count) {
  while (count > 0) {
    // The span the position lies in, or the next one.
    size_t take = count;
    const pe::HeldSpan* into = nullptr;
    for (size_t i = 0; i < spanCount_; ++i) {
      const pe::HeldSpan& span = spans_[i];
      if (offset_ >= span.offset && offset_ - span.offset < span.size) {
        into = &span;
        take = static_cast<size_t>(std::min<uint64_t>(take, span.offset + span.size - offset_));
      } else if (span.offset > offset_) {
        take = static_cast<size_t>(std::min<uint64_t>(take, span.offset - offset_));
      }
    }
    if (into != nullptr) {
      // The headers' span is head_, the section's section_.
      unsigned char* at = (into == &spans_[0] ? head_ : section_) + (offset_ - into->offset);
      if (at != bytes) std::memcpy(at, bytes, take);
    } else {
      const platform::ErrorNumber error = platform::writeWholeAt(descriptor_, offset_, bytes, take);
      if (error != platform::kErrorNone) return fail(error);
    }
    offset_ += take;
    bytes += take;
    count -= take;
  }
  return 0;
}

int HeldCopy::write(const char* bytes, size_t count) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes);
  sum_.add(data, count);
  if (!decided_) {
    const size_t take = std::min(count, headNeeded_ - headBytes_);
    std::memcpy(head_ + headBytes_, data, take);
    headBytes_ += take;
    data += take;
    count -= take;
    if (headBytes_ < headNeeded_) return 0;
    decide();
    if (route(head_, headBytes_) != 0) return 1;
  }
  return route(data, count);
}

int HeldCopy::writeHeld() {
  // A copy shorter than its source said: what it had is the head.
  if (!decided_) {
    decide();
    if (route(head_, headBytes_) != 0) return 1;
  }
  if (peImage_ && checksumField_ + 4 <= std::min<uint64_t>(spans_[0].size, offset_)) {
    pe::PeChecksum field;
    field.startAt(checksumField_);
    field.add(head_ + checksumField_, 4);
    sum_.removeSpan(field);
    pe::writeLe32(head_ + checksumField_, sum_.finish(offset_));
    pe::PeChecksum right;
    right.startAt(checksumField_);
    right.add(head_ + checksumField_, 4);
    sum_.addSpan(right);
  }
  for (size_t i = 0; i < spanCount_; ++i) {
    // Only what the copy had: a source that shrank while it was read leaves
    // the end of a span unfilled.
    const pe::HeldSpan& span = spans_[i];
    const size_t filled = offset_ > span.offset ? static_cast<size_t>(std::min<uint64_t>(span.size, offset_ - span.offset)) : 0;
    const platform::ErrorNumber error = platform::writeWholeAt(descriptor_, span.offset, span.bytes, filled);
    if (error != platform::kErrorNone) return fail(error);
  }
  return 0;
}

}  // namespace brandengine
