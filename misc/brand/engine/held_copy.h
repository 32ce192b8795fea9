// The copy a branding writes, with the bytes an update of its resources may
// change held back: a PE file's headers and, when its version resource is to
// be rewritten, its resource section stay in memory until the end, so every
// byte of the file is written once, in its final form.
#ifndef BRAND_ENGINE_HELD_COPY_H
#define BRAND_ENGINE_HELD_COPY_H

#include <cstddef>
#include <cstdint>

#include "platform/files.h"
#include "platform/pe/held_file.h"
#include "platform/pe/image.h"
#include "rewrite/rewriting_copy.h"

namespace brandengine {

class HeldCopy final : public brandrewrite::CopySink {
 public:
  // Writes to `descriptor` (of `path`), a copy of `expectedSize` bytes (the
  // source's size: what tells the headers' layout); with `holdResources`
  // the resource section is held too.
  HeldCopy(platform::FileDescriptor descriptor, const char* path, uint64_t expectedSize, bool holdResources);
  ~HeldCopy() override;
  HeldCopy(const HeldCopy&) = delete;
  HeldCopy& operator=(const HeldCopy&) = delete;

  int write(const char* bytes, size_t count) override;

  // After the copy: the PE checksum of its bytes (as they are or will be in
  // the file, the checksum field included: after writeHeld with the field
  // put right).
  const platform::pe::PeChecksum& sum() const { return sum_; }
  // The file with the spans held back, for the PE layer to read and update:
  // an update that commits writes them (with what it changed).
  platform::pe::HeldFile heldFile() const;

  // Writes the held spans into the file, a PE image's checksum put right in
  // its headers first: where no update wrote them. 0, or 1 with the write
  // error posted.
  [[nodiscard]] int writeHeld();

 private:
  // Decides what to hold, from the headers in head_.
  void decide();
  // Routes [offset_, offset_ + count) to the spans and the file.
  int route(const unsigned char* bytes, size_t count);
  int fail(platform::ErrorNumber error);

  platform::FileDescriptor descriptor_;
  const char* path_;
  uint64_t expectedSize_;
  bool holdResources_;
  uint64_t offset_ = 0;       // bytes routed so far
  unsigned char* head_;       // the first bytes, until the spans are decided
  size_t headBytes_ = 0;
  size_t headNeeded_;
  bool decided_ = false;
  bool peImage_ = false;
  uint32_t checksumField_ = 0;
  platform::pe::PeChecksum sum_;
  platform::pe::HeldSpan spans_[2] = {};
  size_t spanCount_ = 0;
  unsigned char* section_ = nullptr;  // the resource section's bytes, spans_[1]'s
};

}  // namespace brandengine

#endif  // BRAND_ENGINE_HELD_COPY_H
