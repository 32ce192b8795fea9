// The dialog layer's heap: realloc with checked results and the arrays and
// single objects built on it. Nothing here relies on a throwing operator
// new: a program may replace the global one by one that returns null.
#ifndef PLATFORM_SRC_DIALOGS_HEAP_H
#define PLATFORM_SRC_DIALOGS_HEAP_H

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string_view>

#include "growable_buffer.h"

namespace platform::dialogs::internal {

// realloc's contract: null when memory runs out (the block then as it was),
// a null block asks for a new one; std::free releases. The test seam's fault
// fires here.
void* reallocate(void* block, size_t bytes) noexcept;

// A growable array on this heap (see platform::internal::Buffer).
template <typename T>
using List = platform::internal::Buffer<T, &reallocate>;

// A new T on this heap, value-initialised; null when memory runs out.
// Released by release().
template <typename T>
T* make() {
  void* block = reallocate(nullptr, sizeof(T));
  return block == nullptr ? nullptr : new (block) T();
}

template <typename T>
void release(T* object) {
  if (object == nullptr) return;
  object->~T();
  std::free(object);
}

// Replaces the items of `list` by `count` items, or changes nothing (false)
// when it cannot hold them.
template <typename T>
[[nodiscard]] bool assign(List<T>* list, const T* items, size_t count) {
  if (count > list->capacity() && !list->tryReserve(count - list->size())) return false;
  list->clear();
  return list->tryAppend(items, count);
}

// Appends the UTF-16 form of UTF-8 `text` (malformed sequences as U+FFFD);
// the list fails as its append does.
void appendUtf16(List<char16_t>* out, std::string_view text);
// Appends the UTF-8 form of UTF-16 `text` (a lone surrogate as U+FFFD).
void appendUtf8(List<char>* out, std::u16string_view text);

}  // namespace platform::dialogs::internal

#endif  // PLATFORM_SRC_DIALOGS_HEAP_H
