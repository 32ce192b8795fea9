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

// A growable array of trivially copyable items on malloc (or on the
// `kReallocate` given, whose blocks std::free releases). After a failed
// growth through append or reserve it stays failed and ignores further
// appends, so a writer may append a whole record and check once; an array
// that lives on takes items with tryAppend, whose failure is not kept.
template <typename T, Reallocate kReallocate = std::realloc>
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
  // Appends all `count` items, or nothing (false) when the array cannot
  // grow; the array stays usable either way.
  [[nodiscard]] bool tryAppend(const T* items, size_t count) {
    if (!tryReserve(count)) return false;
    if (count != 0) std::memcpy(items_ + size_, items, count * sizeof(T));
    size_ += count;
    return true;
  }
  [[nodiscard]] bool tryPush(T item) { return tryAppend(&item, 1); }
  // Removes `count` items from `at` on (both within the size), keeping the
  // order of the rest.
  void erase(size_t at, size_t count = 1) {
    std::memmove(items_ + at, items_ + at + count, (size_ - at - count) * sizeof(T));
    size_ -= count;
  }
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
    return tryReserve(extra) || fail();
  }
  // Room for `extra` more items; false when the array cannot grow, which
  // leaves it as it was and usable.
  [[nodiscard]] bool tryReserve(size_t extra) {
    if (extra <= capacity_ - size_) return true;
    const size_t capacity = grownCapacity(capacity_, size_, extra, kFirstCapacity, sizeof(T));
    if (capacity == 0 || resizeItems(&items_, capacity, kReallocate) != Resize::kDone) return false;
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
