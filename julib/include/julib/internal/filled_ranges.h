// The text ranges a parameter string's parameters have filled in, so that
// a later marker is never searched inside a parameter's own text.
#ifndef JULIB_INTERNAL_FILLED_RANGES_H
#define JULIB_INTERNAL_FILLED_RANGES_H

#include <cstddef>

namespace julib::internal {

// [start, end) in characters of the string; an empty range marks where a
// parameter removed its marker, so that no marker forms across that spot.
struct TextRange {
  size_t start;
  size_t end;
};

// Ranges in text order, in a block of the library allocator.
class FilledRanges {
 public:
  FilledRanges() = default;
  FilledRanges(const FilledRanges&) = delete;
  FilledRanges& operator=(const FilledRanges&) = delete;
  ~FilledRanges() { clear(); }

  // Forgets every range and frees the block.
  void clear();
  // Room for one more range: 0, or 1 with out of memory reported.
  int reserveOne();
  // Inserts at `index` (0 to count); needs the room of reserveOne.
  void insert(size_t index, TextRange range);

  TextRange* items = nullptr;
  size_t count = 0;
  size_t capacity = 0;
};

}  // namespace julib::internal

#endif  // JULIB_INTERNAL_FILLED_RANGES_H
