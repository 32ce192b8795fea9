// A growable array on the C heap for the platform layer, which must not
// allocate through the library's operators (their failures are reported on
// the library's thread records).
#ifndef PLATFORM_SRC_GROWABLE_BUFFER_H
#define PLATFORM_SRC_GROWABLE_BUFFER_H

#include "platform/growth.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform::internal {

// A growable array of trivially copyable items on malloc. After a failed
// growth it stays failed and ignores further appends, so a writer may append
// a whole record and check once.
template <typename T>
class Buffer {
 public:
  Buffer() = default;
  ~Buffer() { std::free(items_); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  void append(const T* items, size_t count) {
    if (count == 0 || !reserve(count)) return;
    std::memcpy(items_ + size_, items, count * sizeof(T));
    size_ += count;
  }
  void push(T item) { append(&item, 1); }
  void truncate(size_t size) {
    if (size < size_) size_ = size;
  }
  void clear() { size_ = 0; }
  T* data() { return items_; }
  const T* data() const { return items_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool failed() const { return failed_; }
  // Takes `size` items (at most the capacity) as written by the caller.
  void setSize(size_t size) {
    if (size <= capacity_) size_ = size;
  }

  // Room for `extra` more items; false (and failed from then on) when the
  // array cannot grow.
  bool reserve(size_t extra) {
    if (failed_) return false;
    if (extra <= capacity_ - size_) return true;
    const size_t capacity = grownCapacity(capacity_, size_, extra, kFirstCapacity, sizeof(T));
    if (capacity == 0 || resizeItems(&items_, capacity, std::realloc) != Resize::kDone) return fail();
    capacity_ = capacity;
    return true;
  }

 private:
  static constexpr size_t kFirstCapacity = 16;

  bool fail() {
    failed_ = true;
    return false;
  }

  T* items_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool failed_ = false;
};

}  // namespace platform::internal

#endif  // PLATFORM_SRC_GROWABLE_BUFFER_H
